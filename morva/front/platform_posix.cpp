#include "front/platform.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr wchar_t kEscapeBase = 0xDC00;

// Length of the well-formed UTF-8 sequence at p (at most `left` bytes
// available) and its code point; 0 when the bytes are not well-formed.
int DecodeSequence(const unsigned char* p, size_t left, char32_t* codePoint) {
  const unsigned char lead = p[0];
  int length;
  char32_t value;
  char32_t minimum;
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2; value = lead & 0x1F; minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3; value = lead & 0x0F; minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4; value = lead & 0x07; minimum = 0x10000;
  } else {
    return 0;
  }
  if (left < static_cast<size_t>(length)) return 0;
  for (int i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (p[i] & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *codePoint = value;
  return length;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::wstring WidenName(const char* bytes) {
  std::wstring name;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  size_t left = 0;
  while (p[left] != 0) ++left;
  while (left > 0) {
    char32_t c;
    const int length = DecodeSequence(p, left, &c);
    if (length == 0) {
      name += static_cast<wchar_t>(kEscapeBase + *p);
      ++p;
      --left;
    } else {
      name += static_cast<wchar_t>(c);
      p += length;
      left -= length;
    }
  }
  return name;
}

std::string NarrowName(const std::wstring& name) {
  std::string bytes;
  for (wchar_t w : name) {
    const auto c = static_cast<char32_t>(w);
    if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF) {
      bytes += static_cast<char>(c - kEscapeBase);
    } else if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      AppendUtf8(bytes, 0xFFFD);
    } else {
      AppendUtf8(bytes, c);
    }
  }
  return bytes;
}

FILE* OpenFile(const std::wstring& name, const char* mode) {
  return std::fopen(NarrowName(name).c_str(), mode);
}

bool QueryFileSize(const std::wstring& name, uint64_t* size) {
  struct stat info;
  if (stat(NarrowName(name).c_str(), &info) != 0) return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

bool IsSameFile(const std::wstring& first, const std::wstring& second) {
  struct stat a;
  struct stat b;
  if (stat(NarrowName(first).c_str(), &a) != 0) return false;
  if (stat(NarrowName(second).c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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
