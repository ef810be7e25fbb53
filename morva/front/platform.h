// The services of the operating system that morva needs, in one place, so
// that a port to another system touches only platform_posix.cpp.
//
// File names are kept as wide strings. On POSIX systems a name is the bytes
// that the system gives: they are decoded as UTF-8, and every byte that is
// not part of a well-formed sequence is kept as the code point U+DC00 + byte,
// so that the bytes come back exactly when the name is encoded again.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

std::wstring WidenName(const char* bytes);
// Encodes as UTF-8; U+DC80..U+DCFF give back the raw bytes they stand for.
// Console text goes through the same encoding, so names show as given.
std::string NarrowName(const std::wstring& name);

FILE* OpenFile(const std::wstring& name, const char* mode);
// Size of the file; false when its status cannot be obtained.
bool QueryFileSize(const std::wstring& name, uint64_t* size);
// True when both names exist and designate the same file (device and inode).
bool IsSameFile(const std::wstring& first, const std::wstring& second);
// Removes a half-written output, but only when it is a regular file:
// a device such as /dev/full must never be unlinked.
void RemovePartialOutput(const std::wstring& name);

// One entry of a directory, by its bare name.
struct DirectoryEntry {
  std::wstring name;
  bool isDirectory = false;  // a symbolic link counts as what it points to
};

// Every entry of a directory except "." and "..", in the system's order.
// False when the directory cannot be read.
bool ReadDirectory(const std::wstring& directory, std::vector<DirectoryEntry>* entries);
// True when the name exists; *isDirectory tells whether it is a directory.
bool QueryPath(const std::wstring& name, bool* isDirectory);
