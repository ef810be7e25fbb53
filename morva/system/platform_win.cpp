// morva's file sizes, partial outputs and folder listings on Windows.
#include <windows.h>

#include "system/platform.h"

namespace {

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
