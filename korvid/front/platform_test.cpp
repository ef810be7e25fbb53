// OutputFile: an output appears whole under its name or not at all, and an
// earlier file of that name survives every way a run can end early. The
// ways that end the process run in a forked child. A full disk, a file-size
// limit, links and write-protected outputs are tested end to end.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "front/platform.h"
#include "support/temp_dir.h"

namespace {

const Bytes kOld = {'o', 'l', 'd'};

Bytes Pattern(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + 7);
  return bytes;
}

std::wstring Wide(const std::string& path) { return WidenName(path.c_str()); }

mode_t ModeOf(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

// Runs `body` in a child process; returns its wait status.
template <typename Body>
int InChild(Body body) {
  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

class OutputFileTest : public ::testing::Test {
 protected:
  std::string Target() const { return dir_ / "out.bin"; }
  // The directory must hold the target alone: no temporary file is left.
  void ExpectOnlyTheTarget(const Bytes& content) {
    EXPECT_EQ(ListDirectory(dir_.path()), std::vector<std::string>{"out.bin"});
    EXPECT_EQ(ReadFileBytes(Target()), content);
  }

  TempDir dir_;
};

TEST_F(OutputFileTest, NewFileAppearsOnlyWhenCommitted) {
  const mode_t mask = umask(022);
  {
    OutputFile file;
    ASSERT_EQ(file.Open(Wide(Target())), OutputFile::Status::Ok);
    ASSERT_TRUE(file.Write(Pattern(5000).data(), 5000));
    EXPECT_FALSE(FileExists(Target()));
    const std::vector<std::string> during = ListDirectory(dir_.path());
    ASSERT_EQ(during.size(), 1u);
    EXPECT_EQ(during[0].rfind(".out.bin.", 0), 0u) << during[0];
    EXPECT_EQ(file.Commit(), OutputFile::Status::Ok);
  }
  umask(mask);
  ExpectOnlyTheTarget(Pattern(5000));
  EXPECT_EQ(ModeOf(Target()) & 0777, 0644u) << "created as fopen would, under the umask";
}

TEST_F(OutputFileTest, EarlierFileStaysUntilTheCommitAndPassesOnItsMode) {
  WriteFileBytes(Target(), kOld);
  chmod(Target().c_str(), 0640);
  struct sigaction before {};
  sigaction(SIGINT, nullptr, &before);
  {
    OutputFile file;
    ASSERT_EQ(file.Open(Wide(Target())), OutputFile::Status::Ok);
    file.Write(Pattern(100).data(), 100);
    EXPECT_EQ(ReadFileBytes(Target()), kOld);
    EXPECT_EQ(file.Commit(), OutputFile::Status::Ok);
  }
  ExpectOnlyTheTarget(Pattern(100));
  EXPECT_EQ(ModeOf(Target()) & 0777, 0640u);
  struct sigaction after {};
  sigaction(SIGINT, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler) << "the signals are given back";
}

TEST_F(OutputFileTest, UncommittedFileIsRemoved) {
  WriteFileBytes(Target(), kOld);
  {
    OutputFile file;
    ASSERT_EQ(file.Open(Wide(Target())), OutputFile::Status::Ok);
    file.Write(Pattern(100).data(), 100);
  }
  ExpectOnlyTheTarget(kOld);
}

TEST_F(OutputFileTest, EndingSignalsRemoveTheTemporaryFileAndStillEndTheRun) {
  WriteFileBytes(Target(), kOld);
  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    const int status = InChild([&] {
      OutputFile file;
      if (file.Open(Wide(Target())) != OutputFile::Status::Ok) return 10;
      file.Write(Pattern(3000).data(), 3000);
      raise(signalNumber);
      return 11;  // the signal must not come back
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << signalNumber << " status " << status;
    EXPECT_EQ(WTERMSIG(status), signalNumber);
    ExpectOnlyTheTarget(kOld);
  }
}

TEST_F(OutputFileTest, IgnoredSignalStaysIgnored) {
  WriteFileBytes(Target(), kOld);
  const int status = InChild([&] {
    signal(SIGHUP, SIG_IGN);  // as nohup leaves it
    OutputFile file;
    if (file.Open(Wide(Target())) != OutputFile::Status::Ok) return 10;
    file.Write(Pattern(300).data(), 300);
    raise(SIGHUP);
    return file.Commit() == OutputFile::Status::Ok ? 0 : 12;
  });
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ExpectOnlyTheTarget(Pattern(300));
}

}  // namespace
