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
enum class InputKind { Missing, Regular, Other };
// What the name designates and, for a regular file, its size. A FIFO, a
// device or a folder is Other: reading one could hang or give nothing.
InputKind QueryInputFile(const std::wstring& name, uint64_t* size);
// True when both names exist and designate the same file (device and inode).
bool IsSameFile(const std::wstring& first, const std::wstring& second);

// An output file that appears under its name only when it is complete.
//
// The bytes go to a new temporary file in the same folder, which replaces
// the name in one rename once every byte has reached the disk; a file that
// was there keeps its content until then, and its permission bits and owner
// pass to the new one. An existing write-protected file is not replaced.
// A name that exists as something other than a regular file (a symbolic
// link, a device) is written through instead, so that a link the user set
// up keeps pointing where it did.
//
// While the temporary file exists, SIGINT, SIGTERM, SIGHUP and SIGQUIT
// remove it before they end the process (signals that were ignored stay
// ignored), and SIGXFSZ is ignored, so that a file-size limit fails the
// write instead of killing the process. The destructor removes a file that
// was not committed.
class OutputFile {
 public:
  enum class Status { Ok, CannotCreate, CannotWrite };

  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  Status Open(const std::wstring& name);
  // False when the bytes could not be written; Commit then fails too.
  bool Write(const uint8_t* bytes, size_t length);
  // Flushes the bytes to the disk and puts the file in place.
  Status Commit();

 private:
  void Abandon();

  int fd_ = -1;
  std::string target_;     // the name the output must have
  std::string temporary_;  // the file being written; empty when writing through
  bool failed_ = false;
};

// The extension of the file-name part of a path, from its last '.' (the dot
// included), or an empty string when that part has no '.'. Only the system's
// own directory separators divide the path.
std::wstring PathExtension(const std::wstring& name);
