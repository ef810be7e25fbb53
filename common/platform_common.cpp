// The parts of the platform layer that are the same on every system; the
// rest is in platform_posix.cpp and platform_win.cpp.
#include "common/platform.h"

#include "common/names.h"
#include "common/platform_system.h"

bool IsSameFile(const std::wstring& first, const std::wstring& second) {
  const FileStatus a = QueryFile(first);
  const FileStatus b = QueryFile(second);
  return a.kind != FileKind::Missing && b.kind != FileKind::Missing && a.identity == b.identity;
}

std::wstring PathExtension(const std::wstring& path) {
  return path.substr(ExtensionStart(path, LeadingDot::StartsExtension));
}

OutputFile::~OutputFile() { Abandon(); }

bool OutputFile::Write(const uint8_t* bytes, size_t length) {
  if (stream_ == nullptr || finished_) failed_ = true;
  if (!failed_ && length > 0 && std::fwrite(bytes, 1, length, stream_) != length) failed_ = true;
  return !failed_;
}

OutputFile::Status OutputFile::Finish() {
  if (finished_) return failed_ ? Status::CannotWrite : Status::Ok;
  if (stream_ == nullptr) return Status::CannotWrite;
  bool done = !failed_ && std::fflush(stream_) == 0;
  // Written through (no temporary), the file is a device or a FIFO.
  if (done && !temporary_.empty() && !FlushToDisk(stream_)) done = false;
  if (std::fclose(stream_) != 0) done = false;
  stream_ = nullptr;
  finished_ = true;
  failed_ = !done;
  return done ? Status::Ok : Status::CannotWrite;
}

OutputFile::Status OutputFile::Commit() { return CommitOutputs({this}, nullptr); }
