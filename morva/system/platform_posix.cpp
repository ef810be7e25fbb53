#include "system/platform.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

bool QueryFileSize(const std::wstring& name, uint64_t* size) {
  struct stat info;
  if (stat(NarrowName(name).c_str(), &info) != 0) return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

void RemovePartialOutput(const std::wstring& name) {
  const std::string path = NarrowName(name);
  struct stat info;
  if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) unlink(path.c_str());
}

bool ReadDirectory(const std::wstring& directory, std::vector<DirectoryEntry>* entries) {
  const std::string path = NarrowName(directory);
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return false;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    DirectoryEntry found;
    found.name = WidenName(name.c_str());
    struct stat info;
    const std::string full = path.empty() || path.back() == '/' ? path + name : path + "/" + name;
    found.isDirectory = stat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    entries->push_back(found);
  }
  closedir(dir);
  return true;
}

bool QueryPath(const std::wstring& name, bool* isDirectory) {
  struct stat info;
  if (stat(NarrowName(name).c_str(), &info) != 0) return false;
  *isDirectory = S_ISDIR(info.st_mode);
  return true;
}
