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
#include <functional>
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
// False when the console did not take them all: a pipe whose reader has
// gone (SIGPIPE is ignored by the programs' entry, so this is EPIPE), a full
// device.
bool WriteStandardOutput(const std::string& utf8);
// The same for the error stream.
bool WriteStandardError(const std::string& utf8);

// The system's reason for a failure, in Russian: errno on POSIX systems, a
// GetLastError code on Windows. The common reasons are in our own words;
// any other shows its number (and, on POSIX, the system's own text).
std::wstring SystemErrorText(int code);
// The folder a path names a file in, as the user wrote it and without the
// separator after it; "." for a bare name.
std::wstring FolderOf(const std::wstring& path);

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
// The same rule for one character of a name, as patterns match them: on
// Windows the letters of the Latin, Greek and Cyrillic alphabets in either
// case (by our own table, whatever the locale), elsewhere equal characters.
bool SameNameCharacter(wchar_t first, wchar_t second);
// The extension of the last component of a path, from its last '.' (the dot
// included, a leading one too: common/names.h, LeadingDot::StartsExtension),
// or an empty string when that component has no '.'.
std::wstring PathExtension(const std::wstring& path);

// An output file that appears under its name only when it is complete.
//
// The bytes go to a new temporary file in the same folder, which replaces
// the name in one rename once every byte has reached the disk; a file that
// was there keeps its content until then, and its permission bits and owner
// (on Windows its Hidden and System attributes) pass to the new one. An
// existing write-protected file is not replaced, whoever runs the program:
// on POSIX systems a file with no write permission bit for anyone (root
// too, whom the system would let write), or one the user may not write; on
// Windows a file with the read-only attribute.
// A name that exists as something other than a regular file (a symbolic
// link, a device) is written through instead, so that a link the user set
// up keeps pointing where it did.
//
// While temporary files exist, the signals that end a process from outside
// (SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU
// and SIGPIPE) remove them all before the process ends by that signal, also
// when a second one comes while the first is handled; signals that were
// ignored stay ignored,
// and the earlier handling comes back once no temporary file is left. While
// an output is open, SIGXFSZ is ignored, so that a file-size limit fails the
// write like a full disk instead of killing the process. The destructor
// removes a file that was not committed.
class OutputFile {
 public:
  enum class Status {
    Ok,
    CannotCreate,    // no new file could be made in the output's folder
    CannotOpen,      // the name is a folder, or a device that refused to open
    WriteProtected,  // an existing file that nobody may write: never replaced
    CannotWrite,     // a write, the flush to the disk or the rename failed
    Busy,            // another run kept the folder locked (see CommitOutputs)
  };

  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  Status Open(const std::wstring& name);
  // The system's reason (see SystemErrorText) for the failure of the last
  // Open, 0 when it gave none.
  int Error() const { return error_; }
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
  friend Status CommitOutputs(const std::vector<OutputFile*>& outputs, size_t* failed,
                              const std::function<void()>& whileLocked);
  void Abandon();

  FILE* stream_ = nullptr;
  bool finished_ = false;
  bool failed_ = false;
  bool holdsFileSizeSignal_ = false;
  int error_ = 0;
  std::string target_;     // the name the output must have
  std::string temporary_;  // the file being written; empty when writing through
};

// Puts outputs in place together, so that a set of files that belong
// together appears whole: each is finished, no final name may be a folder,
// and all are renamed while the ending signals wait. When one fails, none
// stays: those renamed already are removed again, the rest are discarded,
// and *failed (when given) is the index of the one that failed.
//
// A set of more than one output, or one with `whileLocked`, goes into its
// folder (that of the first output) under a lock that every run of either
// program takes for the same: the renames of two runs never interleave, so
// the set that comes last stands whole. `whileLocked` runs once every
// output is in place, under the same lock: there a set removes what an
// older set of its name left beyond it. The lock is the system's own
// (flock on the folder; on Windows a lock file beside the set that goes
// when it closes), so a run that is killed leaves nothing locked. Another
// run that holds the lock for longer than kOutputLockWaitSeconds fails the
// set with Status::Busy; where the file system has no locks, the set goes
// in place unlocked.
inline constexpr int kOutputLockWaitSeconds = 10;
OutputFile::Status CommitOutputs(const std::vector<OutputFile*>& outputs, size_t* failed,
                                 const std::function<void()>& whileLocked = nullptr);
