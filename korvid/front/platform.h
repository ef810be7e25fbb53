// The few services of the operating system that korvid needs, in one place,
// so that a port to another system touches only platform_posix.cpp.
//
// File names are kept as wide strings. On POSIX systems a name is the bytes
// that the system gives: they are decoded as UTF-8, and every byte that is
// not part of a well-formed sequence is kept as the code point U+DC00 + byte,
// so that the bytes come back exactly when the name is encoded again.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

std::wstring WidenName(const char* bytes);
// Encodes as UTF-8; U+DC80..U+DCFF give back the raw bytes they stand for.
std::string NarrowName(const std::wstring& name);
// Console text is UTF-8 with the same rule, so a file name is shown as given.
inline std::string ToConsoleBytes(const std::wstring& text) { return NarrowName(text); }

FILE* OpenFile(const std::wstring& name, const char* mode);
// Size of the file; false when its status cannot be obtained.
bool QueryFileSize(const std::wstring& name, uint64_t* size);
// True when both names exist and designate the same file (device and inode).
bool IsSameFile(const std::wstring& first, const std::wstring& second);
// Removes a half-written output, but only when it is a regular file:
// a device such as /dev/full must never be unlinked.
void RemovePartialOutput(const std::wstring& name);

// The extension of the file-name part of a path, from its last '.' (the dot
// included), or an empty string when that part has no '.'. Only the system's
// own directory separators divide the path.
std::wstring PathExtension(const std::wstring& name);
