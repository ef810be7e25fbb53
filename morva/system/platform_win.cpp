// morva's outputs and folder listings on Windows.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <unordered_set>

#include "system/platform.h"

namespace {

// Longest file name component; longer temporary names fall back to a short one.
constexpr size_t kLongestName = 255;
constexpr wchar_t kTemporaryTag[] = L".morva-";
constexpr int kRandomLetters = 6;

// The temporary outputs that exist now. Console events (Ctrl+C, Ctrl+Break,
// closing the window) arrive on a thread of their own: the list changes only
// under this lock, and the handler keeps it once it has removed the files,
// so that nothing is renamed after it ran.
CRITICAL_SECTION temporariesLock;
std::vector<std::wstring> temporaries;

class ListLock {
 public:
  ListLock() { EnterCriticalSection(&temporariesLock); }
  ~ListLock() { LeaveCriticalSection(&temporariesLock); }
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;
};

// InstallInterruptCleanup is called first thing; the tests call the other
// functions without it, so the lock is set up before main as well.
struct LockSetup {
  LockSetup() { InitializeCriticalSection(&temporariesLock); }
} lockSetup;

BOOL WINAPI RemoveTemporariesOnInterrupt(DWORD) {
  EnterCriticalSection(&temporariesLock);  // held until the process ends
  // Open temporaries are created with delete sharing: they go as the
  // process ends and their handles close.
  for (const std::wstring& name : temporaries) DeleteFileW(name.c_str());
  return FALSE;  // the system's handler ends the process
}

void Forget(const std::vector<std::wstring>& names) {
  const std::unordered_set<std::wstring> gone(names.begin(), names.end());
  temporaries.erase(std::remove_if(temporaries.begin(), temporaries.end(),
                                   [&gone](const std::wstring& name) { return gone.count(name) != 0; }),
                    temporaries.end());
}

std::wstring RandomLetters() {
  static uint64_t state = 0;
  if (state == 0) {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    state = (static_cast<uint64_t>(counter.QuadPart) << 16) ^ GetTickCount64() ^
            (static_cast<uint64_t>(GetCurrentProcessId()) << 40) ^ 0x2545F4914F6CDD1Dull;
  }
  constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::wstring letters;
  for (int i = 0; i < kRandomLetters; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    letters += kLetters[state % (sizeof kLetters / sizeof kLetters[0] - 1)];
  }
  return letters;
}

// A new name in the folder of path: the final name behind a dot, so that a
// user who finds one knows what it was meant to be.
std::wstring TemporaryName(const std::wstring& path) {
  const std::wstring folder = path.substr(0, FileNameStart(path));
  const std::wstring name = path.substr(folder.size());
  const size_t tagLength = (sizeof kTemporaryTag / sizeof kTemporaryTag[0] - 1) + kRandomLetters;
  if (name.size() + 1 + tagLength > kLongestName) return folder + kTemporaryTag + RandomLetters();
  return folder + L"." + name + kTemporaryTag + RandomLetters();
}

// A regular file on a disk; links, folders and devices (NUL, CON) are not.
bool IsPlainFile(const std::wstring& name, DWORD attributes) {
  if (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) return false;
  return QueryFile(name).kind == FileKind::Regular;
}

}  // namespace

bool QueryFileSize(const std::wstring& name, uint64_t* size) {
  const FileStatus status = QueryFile(name);
  if (status.kind == FileKind::Missing) return false;
  *size = status.size;
  return true;
}

void RemovePartialOutput(const std::wstring& name) {
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && IsPlainFile(name, attributes)) {
    DeleteFileW(name.c_str());
  }
}

FILE* CreateOutput(const std::wstring& name, PendingOutput* output) {
  output->finalName = name;
  output->tempName.clear();
  const DWORD attributes = GetFileAttributesW(name.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && !IsPlainFile(name, attributes)) return _wfopen(name.c_str(), L"wb");
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) return nullptr;  // stays read-only

  ListLock lock;  // the file and its entry in the list come into being together
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::wstring temporary = TemporaryName(name);
    const HANDLE handle =
        CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
    FILE* stream = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (stream == nullptr) {
      if (fd >= 0) {
        _close(fd);
      } else {
        CloseHandle(handle);
      }
      DeleteFileW(temporary.c_str());
      return nullptr;
    }
    temporaries.push_back(temporary);
    output->tempName = temporary;
    return stream;
  }
  return nullptr;
}

bool CommitOutputs(std::vector<PendingOutput>* outputs, std::wstring* failedName) {
  // A folder in the way of one name would stop the renames halfway: look first.
  size_t blocked = outputs->size();
  for (size_t i = 0; i < outputs->size() && blocked == outputs->size(); ++i) {
    bool isDirectory = false;
    const PendingOutput& output = (*outputs)[i];
    if (!output.tempName.empty() && QueryPath(output.finalName, &isDirectory) && isDirectory) {
      blocked = i;
    }
  }
  ListLock lock;
  std::vector<std::wstring> settled;  // temporaries renamed or removed
  size_t done = 0;
  if (blocked == outputs->size()) {
    for (; done < outputs->size(); ++done) {
      const PendingOutput& output = (*outputs)[done];
      if (output.tempName.empty()) continue;
      if (!MoveFileExW(output.tempName.c_str(), output.finalName.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        break;
      }
      settled.push_back(output.tempName);
    }
  }
  const bool complete = done == outputs->size();
  if (!complete) {
    const size_t failed = blocked != outputs->size() ? blocked : done;
    if (failedName != nullptr) *failedName = (*outputs)[failed].finalName;
    // Outputs put in place already would form an incomplete set: they go too.
    for (size_t i = 0; i < outputs->size(); ++i) {
      const PendingOutput& output = (*outputs)[i];
      if (output.tempName.empty()) continue;
      DeleteFileW(i < done ? output.finalName.c_str() : output.tempName.c_str());
      settled.push_back(output.tempName);
    }
  }
  Forget(settled);
  outputs->clear();
  return complete;
}

void DiscardOutputs(std::vector<PendingOutput>* outputs) {
  ListLock lock;
  std::vector<std::wstring> settled;
  for (const PendingOutput& output : *outputs) {
    if (output.tempName.empty()) continue;
    DeleteFileW(output.tempName.c_str());
    settled.push_back(output.tempName);
  }
  Forget(settled);
  outputs->clear();
}

void InstallInterruptCleanup() { SetConsoleCtrlHandler(RemoveTemporariesOnInterrupt, TRUE); }

bool ReadDirectory(const std::wstring& directory, std::vector<DirectoryEntry>* entries) {
  const bool bare = directory.empty() || FileNameStart(directory) == directory.size();
  const std::wstring search = directory + (bare ? L"*" : L"\\*");
  WIN32_FIND_DATAW found;
  const HANDLE find =
      FindFirstFileExW(search.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    DirectoryEntry entry;
    entry.name = name;
    entry.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entries->push_back(entry);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return true;
}

bool QueryPath(const std::wstring& name, bool* isDirectory) {
  if (name.find_first_of(L"*?") != std::wstring::npos) return false;  // a pattern, not a name
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  *isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return true;
}
