#include "system/platform.h"

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

bool QueryFileSize(const std::wstring& name, uint64_t* size) {
  struct stat info;
  if (stat(NarrowName(name).c_str(), &info) != 0) return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

void RemovePartialOutput(const std::wstring& name) {
  const std::string path = NarrowName(name);
  struct stat info;
  if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) unlink(path.c_str());
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
