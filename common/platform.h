// The services of the operating system that both programs need, in one
// place: a port to another system adds its own platform_*.cpp and touches
// nothing else.
//
// File names are kept as wide strings. On POSIX systems a name is the bytes
// that the system gives: they are decoded as UTF-8, and every byte that is
// not part of a well-formed sequence is kept as the code point U+DC00 + byte,
// so that the bytes come back exactly when the name is encoded again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

std::wstring WidenName(const char* bytes);
// Encodes as UTF-8; U+DC80..U+DCFF give back the raw bytes they stand for.
std::string NarrowName(const std::wstring& name);

FILE* OpenFile(const std::wstring& name, const char* mode);

// Writes console text, UTF-8, to standard output and flushes it: the bytes
// as they are when the output is a file or a pipe, so that a redirected run
// gives the same bytes on every system; on a console window that takes
// characters rather than bytes (Windows), the characters they encode.
void WriteStandardOutput(const std::string& utf8);

// What a name designates, symbolic links followed.
enum class FileKind { Missing, Regular, Directory, Other };

// A file as the system knows it, whatever name reaches it.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator<(const FileIdentity& other) const {
    return device != other.device ? device < other.device : inode < other.inode;
  }
  bool operator==(const FileIdentity& other) const {
    return device == other.device && inode == other.inode;
  }
};

struct FileStatus {
  FileKind kind = FileKind::Missing;
  uint64_t size = 0;      // regular files
  FileIdentity identity;  // unless Missing
};

FileStatus QueryFile(const std::wstring& name);
// True when both names exist and designate the same file.
bool IsSameFile(const std::wstring& first, const std::wstring& second);

// Where the last component of a path begins: after the last of the system's
// directory separators ('/'; on Windows '\\' and '/', and the ':' of a drive
// such as C:), or 0.
size_t FileNameStart(const std::wstring& path);
// True when two names, or ends of names, name the same thing on this
// system: the same characters on POSIX, the same up to letter case on
// Windows, whose file systems ignore it.
bool SameNameText(const std::wstring& first, const std::wstring& second);
// The extension of the last component of a path, from its last '.' (the dot
// included), or an empty string when that component has no '.'.
std::wstring PathExtension(const std::wstring& path);

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
// While temporary files exist, the signals that end a process from outside
// (SIGINT, SIGTERM, SIGHUP, SIGQUIT and the like) remove them all before
// the process ends by that signal; signals that were ignored stay ignored,
// and the earlier handling comes back once no temporary file is left. While
// an output is open, SIGXFSZ is ignored, so that a file-size limit fails the
// write like a full disk instead of killing the process. The destructor
// removes a file that was not committed.
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
  // The open output as a stdio stream, for writers that work through one.
  // It stays owned by the OutputFile: Finish and Commit close it.
  FILE* Stream() const { return stream_; }
  // Every byte to the disk and the file closed; it is put in place by
  // CommitOutputs, or removed by the destructor.
  Status Finish();
  // Finish, then put in place.
  Status Commit();

 private:
  friend Status CommitOutputs(const std::vector<OutputFile*>& outputs, size_t* failed);
  void Abandon();

  FILE* stream_ = nullptr;
  bool finished_ = false;
  bool failed_ = false;
  bool holdsFileSizeSignal_ = false;
  std::string target_;     // the name the output must have
  std::string temporary_;  // the file being written; empty when writing through
};

// Puts outputs in place together, so that a set of files that belong
// together appears whole: each is finished, no final name may be a folder,
// and all are renamed while the ending signals wait. When one fails, none
// stays: those renamed already are removed again, the rest are discarded,
// and *failed (when given) is the index of the one that failed.
OutputFile::Status CommitOutputs(const std::vector<OutputFile*>& outputs, size_t* failed);
