#include "front/platform.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

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

InputKind QueryInputFile(const std::wstring& name, uint64_t* size) {
  struct stat info;
  if (stat(NarrowName(name).c_str(), &info) != 0) return InputKind::Missing;
  if (!S_ISREG(info.st_mode)) return InputKind::Other;
  *size = static_cast<uint64_t>(info.st_size);
  return InputKind::Regular;
}

bool IsSameFile(const std::wstring& first, const std::wstring& second) {
  struct stat a;
  struct stat b;
  if (stat(NarrowName(first).c_str(), &a) != 0) return false;
  if (stat(NarrowName(second).c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// --- whole-or-nothing output ---------------------------------------------------

namespace {

// Signals that end a run from outside; each takes the temporary output with it.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kEndingSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];

// The temporary file that an ending signal removes; null while there is none.
const char* volatile temporaryToRemove = nullptr;
struct sigaction savedEndingActions[kEndingSignalCount];
struct sigaction savedFileSizeAction;
bool fileSizeSignalIgnored = false;

extern "C" void RemoveTemporaryAndEnd(int signalNumber) {
  const char* path = temporaryToRemove;
  if (path != nullptr) unlink(path);
  // SA_RESETHAND has put the default action back and SA_NODEFER lets the
  // signal through at once: the process ends as the signal meant it to.
  raise(signalNumber);
}

// Holds the ending signals back while the temporary file and the record of
// it change together, so that no signal sees one without the other.
class EndingSignalsHeld {
 public:
  EndingSignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int signalNumber : kEndingSignals) sigaddset(&set, signalNumber);
    sigprocmask(SIG_BLOCK, &set, &saved_);
  }
  ~EndingSignalsHeld() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
  EndingSignalsHeld(const EndingSignalsHeld&) = delete;
  EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

 private:
  sigset_t saved_;
};

bool IsIgnored(const struct sigaction& action) {
  return (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_IGN;
}

// Called with the ending signals held.
void RemoveOnEndingSignals(const char* temporary) {
  temporaryToRemove = temporary;
  struct sigaction action {};
  action.sa_handler = RemoveTemporaryAndEnd;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND | SA_NODEFER;
  for (int i = 0; i < kEndingSignalCount; ++i) {
    sigaction(kEndingSignals[i], nullptr, &savedEndingActions[i]);
    if (!IsIgnored(savedEndingActions[i])) sigaction(kEndingSignals[i], &action, nullptr);
  }
}

// Called with the ending signals held.
void RestoreEndingSignals() {
  for (int i = 0; i < kEndingSignalCount; ++i) {
    sigaction(kEndingSignals[i], &savedEndingActions[i], nullptr);
  }
  temporaryToRemove = nullptr;
}

// With SIGXFSZ ignored, a write beyond the file-size limit fails with EFBIG
// and takes the ordinary failure path, which cleans up; by default the
// signal would end the process in the middle of the write.
void IgnoreFileSizeSignal() {
  if (fileSizeSignalIgnored) return;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, &savedFileSizeAction);
  fileSizeSignalIgnored = true;
}

void RestoreFileSizeSignal() {
  if (!fileSizeSignalIgnored) return;
  sigaction(SIGXFSZ, &savedFileSizeAction, nullptr);
  fileSizeSignalIgnored = false;
}

// A fresh name in the folder of `target`: a hidden name made of the
// target's own and six random characters, kept within the 255-byte limit
// that file systems put on one name.
std::string TemporaryNameBeside(const std::string& target) {
  static uint64_t state = 0;
  if (state == 0) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    state = (static_cast<uint64_t>(now.tv_nsec) << 20) ^ static_cast<uint64_t>(now.tv_sec) ^
            (static_cast<uint64_t>(getpid()) << 40) ^ 0x9E3779B97F4A7C15ull;
  }
  constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  constexpr size_t kLongestBase = 240;
  const size_t slash = target.rfind('/');
  const size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
  std::string name = target.substr(0, baseStart) + "." +
                     target.substr(baseStart, std::min(kLongestBase, target.size() - baseStart)) + ".";
  for (int i = 0; i < 6; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    name += kLetters[state % (sizeof kLetters - 1)];
  }
  return name;
}

}  // namespace

OutputFile::~OutputFile() { Abandon(); }

OutputFile::Status OutputFile::Open(const std::wstring& name) {
  Abandon();
  target_ = NarrowName(name);
  failed_ = false;
  IgnoreFileSizeSignal();
  struct stat existing;
  const bool exists = lstat(target_.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) {
    fd_ = open(target_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
      RestoreFileSizeSignal();
      return Status::CannotCreate;
    }
    return Status::Ok;
  }
  if (exists && faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
    RestoreFileSizeSignal();
    return Status::CannotCreate;
  }
  constexpr int kAttempts = 100;
  EndingSignalsHeld held;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    temporary_ = TemporaryNameBeside(target_);
    fd_ = open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0 || errno != EEXIST) break;
  }
  if (fd_ < 0) {
    temporary_.clear();
    RestoreFileSizeSignal();
    return Status::CannotCreate;
  }
  RemoveOnEndingSignals(temporary_.c_str());
  if (exists) {
    // The new file takes the place of the old one with its owner and
    // permission bits; where the owner cannot be given, it stays ours.
    if (fchown(fd_, existing.st_uid, existing.st_gid) != 0) {
    }
    if (fchmod(fd_, existing.st_mode & 0777) != 0) {
    }
  }
  return Status::Ok;
}

bool OutputFile::Write(const uint8_t* bytes, size_t length) {
  if (fd_ < 0) failed_ = true;
  while (!failed_ && length > 0) {
    const ssize_t written = write(fd_, bytes, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      break;
    }
    bytes += written;
    length -= static_cast<size_t>(written);
  }
  return !failed_;
}

OutputFile::Status OutputFile::Commit() {
  if (fd_ < 0) return Status::CannotWrite;
  bool done = !failed_;
  if (done && !temporary_.empty() && fsync(fd_) != 0 && errno != EINVAL) done = false;
  if (close(fd_) != 0) done = false;
  fd_ = -1;
  if (done && !temporary_.empty()) {
    EndingSignalsHeld held;
    done = rename(temporary_.c_str(), target_.c_str()) == 0;
    if (!done) unlink(temporary_.c_str());
    RestoreEndingSignals();
    temporary_.clear();
  }
  Abandon();
  return done ? Status::Ok : Status::CannotWrite;
}

void OutputFile::Abandon() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  if (!temporary_.empty()) {
    EndingSignalsHeld held;
    unlink(temporary_.c_str());
    RestoreEndingSignals();
    temporary_.clear();
  }
  RestoreFileSizeSignal();
}

std::wstring PathExtension(const std::wstring& name) {
  const size_t slash = name.rfind(L'/');
  const size_t start = slash == std::wstring::npos ? 0 : slash + 1;
  const size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos || dot < start) return std::wstring();
  return name.substr(dot);
}
