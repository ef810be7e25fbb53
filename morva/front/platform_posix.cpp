#include "front/platform.h"

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <unordered_set>

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

// The signals whose default action ends the process and that a user or the
// system sends to stop a run: each removes the temporary outputs first.
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM, SIGPIPE,
                                  SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU};

// Longest file name component; longer temporary names fall back to a short one.
constexpr size_t kLongestName = NAME_MAX;
constexpr char kTemporaryTag[] = ".morva-XXXXXX";

// The temporary outputs that exist now, as the system names them. Changed
// only while the ending signals wait (SignalHold), so the handler always
// finds the list whole.
std::vector<std::string> temporaries;

// Holds the ending signals back for its lifetime; one that arrives meanwhile
// is delivered when the hold ends.
class SignalHold {
 public:
  SignalHold() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kEndingSignals) sigaddset(&set, signal);
    sigprocmask(SIG_BLOCK, &set, &m_previous);
  }
  ~SignalHold() { sigprocmask(SIG_SETMASK, &m_previous, nullptr); }
  SignalHold(const SignalHold&) = delete;
  SignalHold& operator=(const SignalHold&) = delete;

 private:
  sigset_t m_previous;
};

extern "C" void RemoveTemporariesAndEnd(int signal) {
  for (const std::string& name : temporaries) unlink(name.c_str());
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  // The signal is blocked while its handler runs: it ends the process with
  // its default action as soon as the handler returns.
  raise(signal);
}

// Takes names off the list of temporaries in one pass (a set has thousands).
void Forget(const std::vector<std::string>& names) {
  const std::unordered_set<std::string> gone(names.begin(), names.end());
  temporaries.erase(std::remove_if(temporaries.begin(), temporaries.end(),
                                   [&gone](const std::string& name) { return gone.count(name) != 0; }),
                    temporaries.end());
}

mode_t CurrentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// A new name in the folder of path: the final name behind a dot, so that the
// file is hidden and a user who finds one knows what it was meant to be.
std::string TemporaryPattern(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = path.substr(folder.size());
  if (name.size() + 1 + sizeof kTemporaryTag - 1 > kLongestName) return folder + kTemporaryTag;
  return folder + "." + name + kTemporaryTag;
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

FileKind QueryFile(const std::wstring& name, FileIdentity* identity) {
  struct stat info;
  if (stat(NarrowName(name).c_str(), &info) != 0) return FileKind::Missing;
  if (identity != nullptr) {
    identity->device = static_cast<uint64_t>(info.st_dev);
    identity->inode = static_cast<uint64_t>(info.st_ino);
  }
  if (S_ISREG(info.st_mode)) return FileKind::Regular;
  if (S_ISDIR(info.st_mode)) return FileKind::Directory;
  return FileKind::Other;
}

FILE* CreateOutput(const std::wstring& name, PendingOutput* output) {
  const std::string path = NarrowName(name);
  output->finalName = name;
  output->tempName.clear();
  struct stat existing;
  const bool exists = lstat(path.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) return std::fopen(path.c_str(), "wb");

  mode_t mode = 0666 & ~CurrentUmask();
  if (exists) {
    if (access(path.c_str(), W_OK) != 0) return nullptr;  // read-only stays read-only
    mode = existing.st_mode & 0777;
  }
  std::string temporary = TemporaryPattern(path);
  SignalHold hold;  // the file and its entry in the list come into being together
  const int descriptor = mkstemp(temporary.data());
  if (descriptor < 0) return nullptr;
  FILE* stream = fdopen(descriptor, "wb");
  if (stream == nullptr || fchmod(descriptor, mode) != 0) {
    if (stream != nullptr) {
      std::fclose(stream);
    } else {
      close(descriptor);
    }
    unlink(temporary.c_str());
    return nullptr;
  }
  if (exists && (existing.st_uid != geteuid() || existing.st_gid != getegid())) {
    // Only the owner of a file may give it away: for others this fails, and
    // the new file simply belongs to the one who wrote it.
    if (fchown(descriptor, existing.st_uid, existing.st_gid) != 0) errno = 0;
  }
  temporaries.push_back(temporary);
  output->tempName = WidenName(temporary.c_str());
  return stream;
}

bool CommitOutputs(std::vector<PendingOutput>* outputs, std::wstring* failedName) {
  // A folder in the way of one name would stop the renames halfway: look first.
  size_t blocked = outputs->size();
  for (size_t i = 0; i < outputs->size() && blocked == outputs->size(); ++i) {
    bool isDirectory = false;
    const PendingOutput& output = (*outputs)[i];
    if (!output.tempName.empty() && QueryPath(output.finalName, &isDirectory) && isDirectory) {
      blocked = i;
    }
  }
  SignalHold hold;
  std::vector<std::string> settled;  // temporaries renamed or removed
  size_t done = 0;
  if (blocked == outputs->size()) {
    for (; done < outputs->size(); ++done) {
      const PendingOutput& output = (*outputs)[done];
      if (output.tempName.empty()) continue;
      const std::string temporary = NarrowName(output.tempName);
      if (rename(temporary.c_str(), NarrowName(output.finalName).c_str()) != 0) break;
      settled.push_back(temporary);
    }
  }
  const bool complete = done == outputs->size();
  if (!complete) {
    const size_t failed = blocked != outputs->size() ? blocked : done;
    if (failedName != nullptr) *failedName = (*outputs)[failed].finalName;
    // Outputs put in place already would form an incomplete set: they go too.
    for (size_t i = 0; i < outputs->size(); ++i) {
      const PendingOutput& output = (*outputs)[i];
      if (output.tempName.empty()) continue;
      const std::string temporary = NarrowName(output.tempName);
      unlink(i < done ? NarrowName(output.finalName).c_str() : temporary.c_str());
      settled.push_back(temporary);
    }
  }
  Forget(settled);
  outputs->clear();
  return complete;
}

void DiscardOutputs(std::vector<PendingOutput>* outputs) {
  SignalHold hold;
  std::vector<std::string> settled;
  for (const PendingOutput& output : *outputs) {
    if (output.tempName.empty()) continue;
    settled.push_back(NarrowName(output.tempName));
    unlink(settled.back().c_str());
  }
  Forget(settled);
  outputs->clear();
}

void InstallInterruptCleanup() {
  struct sigaction action = {};
  action.sa_handler = RemoveTemporariesAndEnd;
  sigemptyset(&action.sa_mask);
  for (int signal : kEndingSignals) sigaddset(&action.sa_mask, signal);
  for (int signal : kEndingSignals) {
    struct sigaction previous;
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
  signal(SIGXFSZ, SIG_IGN);
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
