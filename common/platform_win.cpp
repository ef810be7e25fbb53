// The Windows platform layer: names are UTF-16, files are opened by their
// wide names, a file's identity is its volume and file index, and console
// text goes to a console window as characters.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <set>

#include "common/platform.h"
#include "common/platform_system.h"
#include "common/utf8.h"

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Opens a name only to ask about the file: no access to its content, any
// sharing, folders too, symbolic links followed.
HANDLE OpenForQuery(const std::wstring& name) {
  return CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Devices (NUL, CON, COM1) have no file index: each is known by its name,
// in capitals, beside the identities of real files (no volume has serial
// number 2^64 - 1).
FileIdentity DeviceIdentity(const std::wstring& name) {
  std::wstring full(MAX_PATH, L'\0');
  const DWORD length = GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(),
                                        nullptr);
  full.resize(length > 0 && length < full.size() ? length : 0);
  if (full.empty()) full = name;
  uint64_t hash = 0xCBF29CE484222325ull;  // FNV-1a over the upper-case name
  for (wchar_t c : full) {
    const wchar_t upper = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    hash = (hash ^ static_cast<uint64_t>(upper)) * 0x100000001B3ull;
  }
  FileIdentity identity;
  identity.device = ~uint64_t{0};
  identity.inode = hash;
  return identity;
}

std::wstring Wide(const std::string& name) { return WidenName(name.c_str()); }

}  // namespace

// The arguments and names that pass as bytes are UTF-8 whose three-byte
// forms may also hold surrogates (as the entry point writes lone ones), so
// that every UTF-16 name comes back unit for unit. A byte that starts no
// sequence is U+FFFD.
std::wstring WidenName(const char* bytes) {
  std::wstring name;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes);
  while (*p != 0) {
    const uint8_t lead = *p;
    int length = 0;
    char32_t c = 0;
    if (lead < 0x80) {
      length = 1;
      c = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      c = lead & 0x07;
    }
    int taken = length == 0 ? 0 : 1;
    while (taken > 0 && taken < length && (p[taken] & 0xC0) == 0x80) {
      c = (c << 6) | (p[taken] & 0x3F);
      ++taken;
    }
    const bool wellFormed = length > 0 && taken == length &&
                            !(length == 3 && c < 0x800) && !(length == 4 && (c < 0x10000 || c > 0x10FFFF));
    if (!wellFormed) {
      name += kReplacement;
      p += taken > 0 ? taken : 1;
      continue;
    }
    AppendWide(name, c);
    p += length;
  }
  return name;
}

std::string NarrowName(const std::wstring& name) {
  std::string bytes;
  for (size_t i = 0; i < name.size(); ++i) {
    char32_t c = static_cast<char32_t>(name[i]);
    if (IsHighSurrogate(c) && i + 1 < name.size() && IsLowSurrogate(name[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(name[++i]) - 0xDC00);
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      // A lone surrogate, as Windows allows in names: its three-byte form.
      bytes += static_cast<char>(0xE0 | (c >> 12));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      AppendUtf8(bytes, c);
    }
  }
  return bytes;
}

FILE* OpenFile(const std::wstring& name, const char* mode) {
  return _wfopen(name.c_str(), WidenName(mode).c_str());
}

namespace {

// Console text to one of the standard streams: in a console window as the
// characters the UTF-8 encodes, whatever the console's code page; to a file
// or a pipe as the bytes themselves.
bool WriteStandardStream(DWORD which, std::FILE* stream, const std::string& utf8) {
  const HANDLE handle = GetStdHandle(which);
  DWORD consoleMode = 0;
  if (handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &consoleMode)) {
    std::fflush(stream);
    const std::wstring text = Wide(utf8);
    const wchar_t* p = text.data();
    size_t left = text.size();
    while (left > 0) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(left, 8192));
      if (!WriteConsoleW(handle, p, chunk, &written, nullptr) || written == 0) return false;
      p += written;
      left -= written;
    }
    return true;
  }
  const bool written = std::fwrite(utf8.data(), 1, utf8.size(), stream) == utf8.size();
  return std::fflush(stream) == 0 && written;
}

}  // namespace

bool WriteStandardOutput(const std::string& utf8) {
  return WriteStandardStream(STD_OUTPUT_HANDLE, stdout, utf8);
}

bool WriteStandardError(const std::string& utf8) {
  return WriteStandardStream(STD_ERROR_HANDLE, stderr, utf8);
}

// ERROR_DIRECTORY_NOT_SUPPORTED, which not every SDK's headers name: what
// an output that is a folder fails with.
constexpr DWORD kErrorIsFolder = 336;

std::wstring SystemErrorText(int code) {
  struct Reason {
    int code;
    const wchar_t* text;
  };
  static const Reason kReasons[] = {
      {ERROR_ACCESS_DENIED, L"нет прав доступа"},
      {ERROR_WRITE_PROTECT, L"носитель защищён от записи"},
      {ERROR_DISK_FULL, L"нет места на устройстве"},
      {ERROR_HANDLE_DISK_FULL, L"нет места на устройстве"},
      {ERROR_FILE_NOT_FOUND, L"нет такого файла или папки"},
      {ERROR_PATH_NOT_FOUND, L"нет такого файла или папки"},
      {ERROR_DIRECTORY, L"часть пути не является папкой"},
      {static_cast<int>(kErrorIsFolder), L"это папка"},
      {ERROR_FILENAME_EXCED_RANGE, L"слишком длинное имя"},
      {ERROR_INVALID_NAME, L"недопустимое имя"},
      {ERROR_TOO_MANY_OPEN_FILES, L"открыто слишком много файлов"},
      {ERROR_SHARING_VIOLATION, L"файл занят другой программой"},
      {ERROR_LOCK_VIOLATION, L"файл заблокирован другой программой"},
      {ERROR_FILE_EXISTS, L"файл уже существует"},
      {ERROR_ALREADY_EXISTS, L"файл уже существует"},
      {ERROR_NOT_ENOUGH_MEMORY, L"недостаточно памяти"},
      {ERROR_OUTOFMEMORY, L"недостаточно памяти"},
      {ERROR_NOT_READY, L"устройство не готово"},
      {ERROR_NETWORK_ACCESS_DENIED, L"нет прав доступа к сетевому ресурсу"},
      {ERROR_BAD_NETPATH, L"сетевой путь не найден"},
  };
  for (const Reason& reason : kReasons) {
    if (reason.code == code) return reason.text;
  }
  return L"системная ошибка " + std::to_wstring(code);
}

std::wstring FolderOf(const std::wstring& path) {
  std::wstring folder = path.substr(0, FileNameStart(path));
  const auto isSeparator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  // A root (a lone separator, or one after a drive) keeps its separator:
  // without it, the name means another folder.
  const size_t rootLength = folder.size() >= 2 && folder[1] == L':' ? 3 : 1;
  while (folder.size() > rootLength && isSeparator(folder.back())) folder.pop_back();
  return folder.empty() ? L"." : folder;
}

FileStatus QueryFile(const std::wstring& name) {
  FileStatus status;
  const HANDLE handle = OpenForQuery(name);
  if (handle == INVALID_HANDLE_VALUE) return status;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) {
    status.kind = FileKind::Other;
    status.identity = DeviceIdentity(name);
  } else {
    status.identity.device = info.dwVolumeSerialNumber;
    status.identity.inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      status.kind = FileKind::Directory;
    } else {
      status.kind = FileKind::Regular;
      status.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    }
  }
  CloseHandle(handle);
  return status;
}

size_t FileNameStart(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  if (separator != std::wstring::npos) return separator + 1;
  // A drive without a folder: C:name is name in the current folder of C:.
  const bool drive = path.size() >= 2 && path[1] == L':' &&
                     ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
  return drive ? 2 : 0;
}

namespace {

// The capital of a letter as names compare here: our own table, so that
// patterns match the same whatever the locale of the C library (whose
// towupper knows only ASCII in the "C" locale) and the Windows version.
// Each range maps its letters by a fixed offset, or, where capitals and
// small letters alternate (the range begins with a capital), a small
// letter to the capital before it.
wchar_t FoldNameCase(wchar_t c) {
  struct Range {
    wchar_t first;
    wchar_t last;
    int offset;  // 0: alternating pairs
  };
  static const Range kRanges[] = {
      {L'a', L'z', -32},
      {0x00E0, 0x00F6, -32}, {0x00F8, 0x00FE, -32}, {0x00FF, 0x00FF, 0x0178 - 0x00FF},
      {0x0100, 0x012F, 0},   {0x0132, 0x0137, 0},   {0x0139, 0x0148, 0},
      {0x014A, 0x0177, 0},   {0x0179, 0x017E, 0},
      {0x03AC, 0x03AC, 0x0386 - 0x03AC}, {0x03AD, 0x03AF, 0x0388 - 0x03AD},
      {0x03B1, 0x03C1, -32}, {0x03C2, 0x03C2, 0x03A3 - 0x03C2}, {0x03C3, 0x03CB, -32},
      {0x03CC, 0x03CC, 0x038C - 0x03CC}, {0x03CD, 0x03CE, 0x038E - 0x03CD},
      {0x0430, 0x044F, -32}, {0x0450, 0x045F, -80},
      {0x0460, 0x0481, 0},   {0x048A, 0x04BF, 0},   {0x04C1, 0x04CE, 0},
      {0x04CF, 0x04CF, 0x04C0 - 0x04CF}, {0x04D0, 0x052F, 0},
  };
  for (const Range& range : kRanges) {
    if (c < range.first || c > range.last) continue;
    if (range.offset != 0) return static_cast<wchar_t>(c + range.offset);
    return (c - range.first) % 2 == 1 ? static_cast<wchar_t>(c - 1) : c;
  }
  return c;
}

}  // namespace

bool SameNameCharacter(wchar_t first, wchar_t second) {
  return first == second || FoldNameCase(first) == FoldNameCase(second);
}

bool SameNameText(const std::wstring& first, const std::wstring& second) {
  return first.size() == second.size() &&
         std::equal(first.begin(), first.end(), second.begin(), SameNameCharacter);
}

bool FlushToDisk(std::FILE* stream) {
  return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)))) != 0;
}

// --- whole-or-nothing output ---------------------------------------------------

namespace {

// The temporary files that exist now, as wide names. The console's Ctrl+C,
// Ctrl+Break and close events come on a thread of their own: the list
// changes only under this lock, and the handler that removes the files
// keeps it, so that nothing is renamed or created after it ran.
CRITICAL_SECTION temporariesLock;
bool lockReady = false;
// A set, so that a set of thousands of outputs (the parts of a BASIC ASC
// text) comes and goes in n log n.
std::set<std::wstring> temporaries;

void Lock() {
  if (!lockReady) {
    InitializeCriticalSection(&temporariesLock);
    lockReady = true;
  }
  EnterCriticalSection(&temporariesLock);
}

void Unlock() { LeaveCriticalSection(&temporariesLock); }

class ListLock {
 public:
  ListLock() { Lock(); }
  ~ListLock() { Unlock(); }
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;
};

BOOL WINAPI RemoveTemporaryFilesOnInterrupt(DWORD) {
  Lock();  // held until the process ends
  // The files are open with delete sharing: each goes when its handle
  // closes, as the process ends.
  for (const std::wstring& name : temporaries) DeleteFileW(name.c_str());
  return FALSE;  // the next handler, at last the system's, ends the process
}

// Called under the lock.
void RememberTemporary(const std::wstring& name) {
  if (temporaries.empty()) SetConsoleCtrlHandler(RemoveTemporaryFilesOnInterrupt, TRUE);
  temporaries.insert(name);
}

// Called under the lock.
void ForgetTemporary(const std::wstring& name) {
  if (temporaries.erase(name) == 0) return;
  if (temporaries.empty()) SetConsoleCtrlHandler(RemoveTemporaryFilesOnInterrupt, FALSE);
}

// A fresh name in the folder of `target`: the target's own name behind a
// dot and six random characters, within the 255 characters of one name.
std::wstring TemporaryNameBeside(const std::wstring& target) {
  static uint64_t state = 0;
  if (state == 0) {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    state = (static_cast<uint64_t>(counter.QuadPart) << 20) ^ GetTickCount64() ^
            (static_cast<uint64_t>(GetCurrentProcessId()) << 40) ^ 0x9E3779B97F4A7C15ull;
  }
  constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  constexpr size_t kLongestBase = 240;
  const size_t baseStart = FileNameStart(target);
  std::wstring name = target.substr(0, baseStart) + L"." +
                      target.substr(baseStart, std::min(kLongestBase, target.size() - baseStart)) +
                      L".";
  for (int i = 0; i < 6; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    name += kLetters[state % (sizeof kLetters / sizeof kLetters[0] - 1)];
  }
  return name;
}

// A name that exists as a link or as something other than a file on a disk
// (a device such as NUL) is written through, never replaced or removed.
bool IsPlainFile(const std::wstring& name, DWORD attributes) {
  if (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) return false;
  return QueryFile(name).kind == FileKind::Regular;
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A new file opened for writing as a stdio stream, with the given
// attributes; it may be removed while open (the removal takes effect when
// it closes).
FILE* CreateNewFile(const std::wstring& name, DWORD attributes, DWORD* error) {
  const HANDLE handle =
      CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                  CREATE_NEW, attributes, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
  if (fd < 0) {
    CloseHandle(handle);
    *error = ERROR_TOO_MANY_OPEN_FILES;
    return nullptr;
  }
  FILE* stream = _fdopen(fd, "wb");
  if (stream == nullptr) _close(fd);
  return stream;
}

// The lock of a set while it goes into its folder (see CommitOutputs): a
// hidden file beside the set, named after its first output, that only one
// process can hold open and that goes when it closes, also when the
// process is ended.
class SetLock {
 public:
  SetLock() = default;
  ~SetLock() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  SetLock(const SetLock&) = delete;
  SetLock& operator=(const SetLock&) = delete;

  // False when another process held it for the whole wait. Where no lock
  // file can be made, the set goes in unlocked, as it would anywhere else.
  bool Take(const std::wstring& target) {
    const size_t baseStart = FileNameStart(target);
    const std::wstring name =
        target.substr(0, baseStart) + L"." + target.substr(baseStart) + L".lock";
    constexpr DWORD kPauseMilliseconds = 10;
    constexpr long kPauses = kOutputLockWaitSeconds * 1000L / kPauseMilliseconds;
    for (long pause = 0;; ++pause) {
      handle_ =
          CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
      if (handle_ != INVALID_HANDLE_VALUE) return true;
      // Held by another run, or on its way out after that run closed it.
      const DWORD error = GetLastError();
      if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) return true;
      if (pause == kPauses) return false;
      Sleep(kPauseMilliseconds);
    }
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

OutputFile::Status OutputFile::Open(const std::wstring& name) {
  Abandon();
  target_ = NarrowName(name);
  failed_ = false;
  finished_ = false;
  error_ = 0;
  const DWORD attributes = GetFileAttributesW(name.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  Status failure = Status::CannotCreate;
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    failure = Status::CannotOpen;
    error_ = static_cast<int>(kErrorIsFolder);
  } else if (exists && !IsPlainFile(name, attributes)) {
    failure = Status::CannotOpen;
    stream_ = _wfopen(name.c_str(), L"wb");
    if (stream_ == nullptr) error_ = static_cast<int>(_doserrno);
  } else if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) {
    failure = Status::WriteProtected;
  } else {
    // A hidden or system file that is replaced stays hidden or system, as
    // a replaced file keeps its permission bits on POSIX systems.
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD created = exists && (attributes & kKept) ? attributes & kKept : FILE_ATTRIBUTE_NORMAL;
    constexpr int kAttempts = 100;
    ListLock lock;  // the file and its entry in the list come into being together
    for (int attempt = 0; attempt < kAttempts && stream_ == nullptr; ++attempt) {
      const std::wstring temporary = TemporaryNameBeside(name);
      DWORD error = 0;
      stream_ = CreateNewFile(temporary, created, &error);
      if (stream_ != nullptr) {
        temporary_ = NarrowName(temporary);
        RememberTemporary(temporary);
      } else if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
        error_ = static_cast<int>(error);
        break;
      }
    }
  }
  if (stream_ == nullptr) {
    Abandon();
    return failure;
  }
  return Status::Ok;
}

void OutputFile::Abandon() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!temporary_.empty()) {
    const std::wstring temporary = Wide(temporary_);
    ListLock lock;
    DeleteFileW(temporary.c_str());
    ForgetTemporary(temporary);
    temporary_.clear();
  }
}

OutputFile::Status CommitOutputs(const std::vector<OutputFile*>& outputs, size_t* failed,
                                 const std::function<void()>& whileLocked) {
  size_t failure = outputs.size();
  for (size_t i = 0; i < outputs.size() && failure == outputs.size(); ++i) {
    OutputFile& output = *outputs[i];
    // A folder in the way of one name would stop the renames halfway: look first.
    if (output.Finish() != OutputFile::Status::Ok ||
        (!output.temporary_.empty() && IsDirectory(Wide(output.target_)))) {
      failure = i;
    }
  }
  SetLock setLock;
  const bool locking = !outputs.empty() && (outputs.size() > 1 || whileLocked);
  if (failure == outputs.size() && locking && !setLock.Take(Wide(outputs.front()->target_))) {
    for (OutputFile* output : outputs) output->Abandon();
    if (failed != nullptr) *failed = 0;
    return OutputFile::Status::Busy;
  }
  {
    ListLock lock;
    std::vector<std::wstring> placed;  // renamed from a temporary file
    for (size_t i = 0; i < outputs.size() && failure == outputs.size(); ++i) {
      OutputFile& output = *outputs[i];
      if (output.temporary_.empty()) continue;  // written through
      const std::wstring temporary = Wide(output.temporary_);
      const std::wstring target = Wide(output.target_);
      if (!MoveFileExW(temporary.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        failure = i;
        break;
      }
      ForgetTemporary(temporary);
      output.temporary_.clear();
      placed.push_back(target);
    }
    // Outputs put in place already would form an incomplete set: they go too.
    if (failure != outputs.size()) {
      for (const std::wstring& target : placed) DeleteFileW(target.c_str());
    } else if (whileLocked && !outputs.empty()) {
      whileLocked();
    }
  }
  for (OutputFile* output : outputs) output->Abandon();
  if (failure == outputs.size()) return OutputFile::Status::Ok;
  if (failed != nullptr) *failed = failure;
  return OutputFile::Status::CannotWrite;
}
