// The services of the operating system that morva needs beyond those of
// common/platform.h (names, files, their kinds and identities, outputs
// written whole): file sizes, and the folder listing of patterns.
// A port to another system touches only platform_posix.cpp and the common
// library.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/platform.h"

// Size of the file; false when its status cannot be obtained.
bool QueryFileSize(const std::wstring& name, uint64_t* size);
// Removes a file that an earlier output left (a stale part of a BASIC ASC
// set), but only when it is a regular file: a device such as /dev/full must
// never be unlinked.
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
