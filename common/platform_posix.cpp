#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "common/platform.h"
#include "common/platform_system.h"
#include "common/utf8.h"

std::wstring WidenName(const char* bytes) { return DecodeEscapingBytes(bytes); }

std::string NarrowName(const std::wstring& name) { return EncodeEscapingBytes(name); }

FILE* OpenFile(const std::wstring& name, const char* mode) {
  return std::fopen(NarrowName(name).c_str(), mode);
}

namespace {

// Straight to the descriptor, so that a failure is seen where it happens
// and no half-flushed stdio buffer is left to come out later.
bool WriteDescriptor(std::FILE* stream, int fd, const std::string& utf8) {
  if (std::fflush(stream) != 0) return false;
  const char* p = utf8.data();
  size_t left = utf8.size();
  while (left > 0) {
    const ssize_t written = write(fd, p, left);
    if (written > 0) {
      p += written;
      left -= static_cast<size_t>(written);
    } else if (written < 0 && errno == EAGAIN) {
      // A descriptor another process made non-blocking: wait until it takes more.
      pollfd ready{fd, POLLOUT, 0};
      if (poll(&ready, 1, -1) < 0 && errno != EINTR) return false;
    } else if (written == 0 || errno != EINTR) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool WriteStandardOutput(const std::string& utf8) {
  return WriteDescriptor(stdout, STDOUT_FILENO, utf8);
}

bool WriteStandardError(const std::string& utf8) {
  return WriteDescriptor(stderr, STDERR_FILENO, utf8);
}

std::wstring SystemErrorText(int code) {
  struct Reason {
    int code;
    const wchar_t* text;
  };
  static const Reason kReasons[] = {
      {EACCES, L"нет прав доступа"},
      {EPERM, L"операция не разрешена"},
      {EROFS, L"файловая система только для чтения"},
      {ENOSPC, L"нет места на устройстве"},
      {EDQUOT, L"превышена дисковая квота"},
      {ENOENT, L"нет такого файла или папки"},
      {ENOTDIR, L"часть пути не является папкой"},
      {EISDIR, L"это папка"},
      {ENAMETOOLONG, L"слишком длинное имя"},
      {ELOOP, L"слишком много символических ссылок"},
      {EMFILE, L"открыто слишком много файлов"},
      {ENFILE, L"открыто слишком много файлов в системе"},
      {EFBIG, L"файл слишком большой"},
      {EIO, L"ошибка ввода-вывода"},
      {EEXIST, L"файл уже существует"},
      {ETXTBSY, L"файл занят"},
      {EBUSY, L"устройство или ресурс занято"},
      {ENOMEM, L"недостаточно памяти"},
      {EINVAL, L"недопустимое имя или аргумент"},
      {EPIPE, L"канал закрыт"},
      {ENXIO, L"нет такого устройства или адреса"},
      {ENODEV, L"нет такого устройства"},
      {EAGAIN, L"ресурс временно недоступен"},
      {EINTR, L"прервано сигналом"},
      {ESTALE, L"устаревший дескриптор сетевого файла"},
      {EOPNOTSUPP, L"операция не поддерживается"},
  };
  for (const Reason& reason : kReasons) {
    if (reason.code == code) return reason.text;
  }
  return L"системная ошибка " + std::to_wstring(code) + L" (" +
         DecodeEscapingBytes(std::strerror(code)) + L")";
}

std::wstring FolderOf(const std::wstring& path) {
  std::wstring folder = path.substr(0, FileNameStart(path));
  while (folder.size() > 1 && folder.back() == L'/') folder.pop_back();
  return folder.empty() ? L"." : folder;
}

FileStatus QueryFile(const std::wstring& name) {
  FileStatus status;
  struct stat info;
  if (stat(NarrowName(name).c_str(), &info) != 0) return status;
  status.identity.device = static_cast<uint64_t>(info.st_dev);
  status.identity.inode = static_cast<uint64_t>(info.st_ino);
  if (S_ISREG(info.st_mode)) {
    status.kind = FileKind::Regular;
    status.size = static_cast<uint64_t>(info.st_size);
  } else {
    status.kind = S_ISDIR(info.st_mode) ? FileKind::Directory : FileKind::Other;
  }
  return status;
}

size_t FileNameStart(const std::wstring& path) {
  const size_t slash = path.rfind(L'/');
  return slash == std::wstring::npos ? 0 : slash + 1;
}

bool SameNameText(const std::wstring& first, const std::wstring& second) {
  return first == second;
}

bool SameNameCharacter(wchar_t first, wchar_t second) { return first == second; }

bool FlushToDisk(std::FILE* stream) {
  // EINVAL: the file is on something that cannot be synchronised, a pipe or
  // a device; nothing waits in a cache then.
  return fsync(fileno(stream)) == 0 || errno == EINVAL;
}

// --- whole-or-nothing output ---------------------------------------------------

namespace {

// The signals whose default action ends the process and that a user or the
// system sends to stop a run: each takes the temporary files with it.
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM, SIGPIPE,
                                  SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU};
constexpr size_t kEndingSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];

// The temporary files that exist now. Changed only while the ending signals
// wait (SignalHold), so that the handler always finds the list whole.
// A set, so that a set of thousands of outputs (the parts of a BASIC ASC
// text) comes and goes in n log n.
std::set<std::string> temporaries;
struct sigaction savedEndingActions[kEndingSignalCount];
bool takenOver[kEndingSignalCount] = {};  // the handler below is in place

// Outputs open now, and how SIGXFSZ was handled before the first of them.
int openOutputs = 0;
struct sigaction savedFileSizeAction;

// Holds the ending signals back for its lifetime; one that arrives meanwhile
// is delivered when the hold ends.
class SignalHold {
 public:
  SignalHold() {
    sigset_t set;
    sigemptyset(&set);
    for (int signalNumber : kEndingSignals) sigaddset(&set, signalNumber);
    sigprocmask(SIG_BLOCK, &set, &saved_);
  }
  ~SignalHold() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
  SignalHold(const SignalHold&) = delete;
  SignalHold& operator=(const SignalHold&) = delete;

 private:
  sigset_t saved_;
};

extern "C" void RemoveTemporaryFilesAndEnd(int signalNumber) {
  const int savedErrno = errno;
  for (const std::string& name : temporaries) unlink(name.c_str());
  // Only now the default action comes back. Put back by the system on the
  // way in (SA_RESETHAND), it would let a second signal, sent before the
  // system blocks it for this handler, end the process at once; as it is,
  // every ending signal arrives here, and those that arrive meanwhile wait.
  // The signal, blocked while this handler runs, ends the process as it
  // meant to once the handler returns.
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);
  sigaction(signalNumber, &defaultAction, nullptr);
  raise(signalNumber);
  errno = savedErrno;
}

// Only a signal left to its default action ends the process. One that is
// ignored, or that the process handles itself (a test harness's alarm, for
// one), is left alone: it takes nothing with it.
bool EndsTheProcess(const struct sigaction& action) {
  return (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_DFL;
}

// Called while the signals are held.
void RememberTemporary(const std::string& name) {
  if (temporaries.empty()) {
    struct sigaction action {};
    action.sa_handler = RemoveTemporaryFilesAndEnd;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kEndingSignals) sigaddset(&action.sa_mask, signalNumber);
    action.sa_flags = 0;
    for (size_t i = 0; i < kEndingSignalCount; ++i) {
      sigaction(kEndingSignals[i], nullptr, &savedEndingActions[i]);
      takenOver[i] = EndsTheProcess(savedEndingActions[i]);
      if (takenOver[i]) sigaction(kEndingSignals[i], &action, nullptr);
    }
  }
  temporaries.insert(name);
}

// Called while the signals are held.
void ForgetTemporary(const std::string& name) {
  if (temporaries.erase(name) == 0) return;
  if (!temporaries.empty()) return;
  for (size_t i = 0; i < kEndingSignalCount; ++i) {
    if (takenOver[i]) sigaction(kEndingSignals[i], &savedEndingActions[i], nullptr);
  }
}

// With SIGXFSZ ignored, a write beyond the file-size limit fails with EFBIG
// and takes the ordinary failure path, which cleans up; by default the
// signal would end the process in the middle of the write.
void HoldFileSizeSignal() {
  if (openOutputs++ > 0) return;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, &savedFileSizeAction);
}

void ReleaseFileSizeSignal() {
  if (--openOutputs > 0) return;
  sigaction(SIGXFSZ, &savedFileSizeAction, nullptr);
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
                     target.substr(baseStart, std::min(kLongestBase, target.size() - baseStart)) +
                     ".";
  for (int i = 0; i < 6; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    name += kLetters[state % (sizeof kLetters - 1)];
  }
  return name;
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The lock of a folder while a set of outputs goes into it (see
// CommitOutputs): flock on the folder itself, so that no lock file is ever
// left behind, and the system lets it go with the process however it ends.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock() {
    if (fd_ >= 0) close(fd_);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Waits for the lock of the folder that `target` names a file in. False
  // when another process held it for the whole wait. A folder that cannot
  // be opened, or a file system without locks, gives no lock to take: the
  // set then goes in unlocked, as it would anywhere else.
  bool Take(const std::string& target) {
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    fd_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return true;
    constexpr long kPauseMilliseconds = 10;
    constexpr long kPauses = kOutputLockWaitSeconds * 1000L / kPauseMilliseconds;
    for (long pause = 0;; ++pause) {
      if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) break;  // no locks here
      if (pause == kPauses) return false;
      const timespec wait{0, kPauseMilliseconds * 1000000L};
      nanosleep(&wait, nullptr);
    }
    close(fd_);
    fd_ = -1;
    return true;
  }

 private:
  int fd_ = -1;
};

}  // namespace

OutputFile::Status OutputFile::Open(const std::wstring& name) {
  Abandon();
  target_ = NarrowName(name);
  failed_ = false;
  finished_ = false;
  error_ = 0;
  HoldFileSizeSignal();
  holdsFileSizeSignal_ = true;
  struct stat existing;
  const bool exists = lstat(target_.c_str(), &existing) == 0;
  int fd = -1;
  Status failure = Status::CannotCreate;
  if (exists && !S_ISREG(existing.st_mode)) {
    failure = Status::CannotOpen;
    fd = open(target_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) error_ = errno;
  } else if (exists &&
             ((existing.st_mode & 0222) == 0 ||
              (faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES))) {
    // The permission bits are the owner's word that the file stays as it
    // is; root, whom faccessat lets write anything, keeps to it too. (A
    // read-only file system fails below, with its own reason.)
    failure = Status::WriteProtected;
  } else {
    constexpr int kAttempts = 100;
    SignalHold hold;  // the file and its entry in the list come into being together
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      temporary_ = TemporaryNameBeside(target_);
      fd = open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0 || errno != EEXIST) break;
    }
    if (fd >= 0) {
      RememberTemporary(temporary_);
    } else {
      error_ = errno;
      temporary_.clear();
    }
  }
  if (fd >= 0) {
    stream_ = fdopen(fd, "wb");
    if (stream_ == nullptr) error_ = errno;
  }
  if (stream_ == nullptr) {
    if (fd >= 0) close(fd);
    Abandon();
    return failure;
  }
  if (exists && !temporary_.empty()) {
    // The new file takes the place of the old one with its owner and
    // permission bits; where the owner cannot be given, it stays ours.
    if (fchown(fd, existing.st_uid, existing.st_gid) != 0) errno = 0;
    if (fchmod(fd, existing.st_mode & 0777) != 0) errno = 0;
  }
  return Status::Ok;
}

void OutputFile::Abandon() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!temporary_.empty()) {
    SignalHold hold;
    unlink(temporary_.c_str());
    ForgetTemporary(temporary_);
    temporary_.clear();
  }
  if (holdsFileSizeSignal_) {
    ReleaseFileSizeSignal();
    holdsFileSizeSignal_ = false;
  }
}

OutputFile::Status CommitOutputs(const std::vector<OutputFile*>& outputs, size_t* failed,
                                 const std::function<void()>& whileLocked) {
  size_t failure = outputs.size();
  for (size_t i = 0; i < outputs.size() && failure == outputs.size(); ++i) {
    OutputFile& output = *outputs[i];
    // A folder in the way of one name would stop the renames halfway: look first.
    if (output.Finish() != OutputFile::Status::Ok ||
        (!output.temporary_.empty() && IsDirectory(output.target_))) {
      failure = i;
    }
  }
  FolderLock lock;
  const bool locking = !outputs.empty() && (outputs.size() > 1 || whileLocked);
  if (failure == outputs.size() && locking && !lock.Take(outputs.front()->target_)) {
    for (OutputFile* output : outputs) output->Abandon();
    if (failed != nullptr) *failed = 0;
    return OutputFile::Status::Busy;
  }
  {
    SignalHold hold;
    std::vector<const std::string*> placed;  // renamed from a temporary file
    for (size_t i = 0; i < outputs.size() && failure == outputs.size(); ++i) {
      OutputFile& output = *outputs[i];
      if (output.temporary_.empty()) continue;  // written through
      if (rename(output.temporary_.c_str(), output.target_.c_str()) != 0) {
        failure = i;
        break;
      }
      ForgetTemporary(output.temporary_);
      output.temporary_.clear();
      placed.push_back(&output.target_);
    }
    // Outputs put in place already would form an incomplete set: they go too.
    if (failure != outputs.size()) {
      for (const std::string* target : placed) unlink(target->c_str());
    } else if (whileLocked && !outputs.empty()) {
      whileLocked();
    }
  }
  for (OutputFile* output : outputs) output->Abandon();
  if (failure == outputs.size()) return OutputFile::Status::Ok;
  if (failed != nullptr) *failed = failure;
  return OutputFile::Status::CannotWrite;
}
