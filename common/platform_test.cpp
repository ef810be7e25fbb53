// The platform layer on a real folder. OutputFile: an output appears whole
// under its name or not at all, alone or with the others of its set, and an
// earlier file of that name survives every way a run can end early. The
// ways that end the process run in a forked child. A full disk, a file-size
// limit, links and write-protected outputs are tested end to end by both
// programs.
#include "common/platform.h"

#include <gtest/gtest.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/names.h"
#include "common/output_file_testing.h"
#include "support/temp_dir.h"

namespace {

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

class OutputFileTest : public OutputFileFixture {};

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

// A process that handles a signal itself (a test harness's alarm, say)
// goes on after it: the output must not lose its temporary file, nor the
// process its handler, to the cleanup of ending signals.
volatile sig_atomic_t alarmsSeen = 0;
extern "C" void CountAlarm(int) { alarmsSeen = alarmsSeen + 1; }

TEST_F(OutputFileTest, SignalTheProcessHandlesItselfStaysItsOwn) {
  WriteFileBytes(Target(), kOld);
  const int status = InChild([&] {
    signal(SIGALRM, CountAlarm);
    OutputFile file;
    if (file.Open(Wide(Target())) != OutputFile::Status::Ok) return 10;
    file.Write(Pattern(300).data(), 300);
    raise(SIGALRM);
    if (file.Commit() != OutputFile::Status::Ok) return 12;
    raise(SIGALRM);
    struct sigaction now {};
    sigaction(SIGALRM, nullptr, &now);
    return alarmsSeen == 2 && now.sa_handler == CountAlarm ? 0 : 13;
  });
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ExpectOnlyTheTarget(Pattern(300));
}

TEST_F(OutputFileTest, StreamAndWritesGoToTheSameFile) {
  OutputFile file;
  ASSERT_EQ(file.Open(Wide(Target())), OutputFile::Status::Ok);
  ASSERT_NE(file.Stream(), nullptr);
  ASSERT_TRUE(file.Write(Pattern(10).data(), 10));
  ASSERT_EQ(std::fputs("text", file.Stream()), 1);
  ASSERT_TRUE(file.Write(Pattern(3).data(), 3));
  EXPECT_EQ(file.Commit(), OutputFile::Status::Ok);
  Bytes expected = Pattern(10);
  expected.insert(expected.end(), {'t', 'e', 'x', 't'});
  const Bytes tail = Pattern(3);
  expected.insert(expected.end(), tail.begin(), tail.end());
  ExpectOnlyTheTarget(expected);
  EXPECT_EQ(file.Stream(), nullptr);
}

TEST_F(OutputFileTest, ASetAppearsTogether) {
  WriteFileBytes(dir_ / "a", kOld);
  OutputFile a;
  OutputFile b;
  ASSERT_EQ(a.Open(Wide(dir_ / "a")), OutputFile::Status::Ok);
  ASSERT_EQ(b.Open(Wide(dir_ / "b")), OutputFile::Status::Ok);
  a.Write(Pattern(20).data(), 20);
  b.Write(Pattern(30).data(), 30);
  EXPECT_EQ(ListDirectory(dir_.path()).size(), 3u) << "a and two temporary files";
  EXPECT_EQ(CommitOutputs({&a, &b}, nullptr), OutputFile::Status::Ok);
  EXPECT_EQ(ListDirectory(dir_.path()), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(ReadFileBytes(dir_ / "a"), Pattern(20));
  EXPECT_EQ(ReadFileBytes(dir_ / "b"), Pattern(30));
}

TEST_F(OutputFileTest, ASetWithOneOutputThatCannotGoLeavesNoneOfIt) {
  WriteFileBytes(dir_ / "a", kOld);
  OutputFile a;
  OutputFile b;
  OutputFile c;
  ASSERT_EQ(a.Open(Wide(dir_ / "a")), OutputFile::Status::Ok);
  ASSERT_EQ(b.Open(Wide(dir_ / "b")), OutputFile::Status::Ok);
  ASSERT_EQ(c.Open(Wide(dir_ / "c")), OutputFile::Status::Ok);
  for (OutputFile* file : {&a, &b, &c}) file->Write(Pattern(5).data(), 5);
  ASSERT_EQ(mkdir((dir_ / "b").c_str(), 0755), 0);  // a folder took b's name meanwhile
  size_t failed = 99;
  EXPECT_EQ(CommitOutputs({&a, &b, &c}, &failed), OutputFile::Status::CannotWrite);
  EXPECT_EQ(failed, 1u);
  EXPECT_EQ(ListDirectory(dir_.path()), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(ReadFileBytes(dir_ / "a"), kOld);

  // A rename that fails halfway takes back the outputs put in place before it.
  ASSERT_EQ(rmdir((dir_ / "b").c_str()), 0);
  OutputFile d;
  OutputFile e;
  ASSERT_EQ(d.Open(Wide(dir_ / "d")), OutputFile::Status::Ok);
  ASSERT_EQ(mkdir((dir_ / "sub").c_str(), 0755), 0);
  ASSERT_EQ(e.Open(Wide(dir_ / "sub/e")), OutputFile::Status::Ok);
  ASSERT_EQ(e.Finish(), OutputFile::Status::Ok);
  const std::vector<std::string> inSub = ListDirectory(dir_ / "sub");
  ASSERT_EQ(inSub.size(), 1u);
  ASSERT_EQ(unlink((dir_ / "sub/" + inSub[0]).c_str()), 0);  // e's temporary file is gone
  EXPECT_EQ(CommitOutputs({&d, &e}, &failed), OutputFile::Status::CannotWrite);
  EXPECT_EQ(failed, 1u);
  EXPECT_EQ(ListDirectory(dir_.path()), (std::vector<std::string>{"a", "sub"}));
  EXPECT_TRUE(ListDirectory(dir_ / "sub").empty());
}

TEST_F(OutputFileTest, TemporaryFilesOfASetAllGoWithAnEndingSignal) {
  WriteFileBytes(Target(), kOld);
  const int status = InChild([&] {
    OutputFile a;
    OutputFile b;
    if (a.Open(Wide(Target())) != OutputFile::Status::Ok) return 10;
    if (b.Open(Wide(dir_ / "second")) != OutputFile::Status::Ok) return 10;
    a.Write(Pattern(300).data(), 300);
    b.Finish();
    raise(SIGTERM);
    return 11;
  });
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  ExpectOnlyTheTarget(kOld);
}

TEST_F(OutputFileTest, VeryLongNameGetsATemporaryNameTheFolderCanHold) {
  const std::string name(250, 'n');
  OutputFile file;
  ASSERT_EQ(file.Open(Wide(dir_ / name)), OutputFile::Status::Ok);
  const std::vector<std::string> names = ListDirectory(dir_.path());
  ASSERT_EQ(names.size(), 1u);
  EXPECT_LE(names[0].size(), 255u);
  file.Write(kOld.data(), kOld.size());
  EXPECT_EQ(file.Commit(), OutputFile::Status::Ok);
  EXPECT_EQ(ListDirectory(dir_.path()), std::vector<std::string>{name});
}

TEST_F(OutputFileTest, LinksAndDevicesAreWrittenThroughAndNeverRemoved) {
  WriteFileBytes(dir_ / "target", kOld);
  ASSERT_EQ(symlink("target", (dir_ / "link").c_str()), 0);
  {
    OutputFile file;
    ASSERT_EQ(file.Open(Wide(dir_ / "link")), OutputFile::Status::Ok);
    EXPECT_EQ(ListDirectory(dir_.path()), (std::vector<std::string>{"link", "target"}))
        << "no temporary file beside a link";
    file.Write(Pattern(4).data(), 4);
    ASSERT_EQ(file.Finish(), OutputFile::Status::Ok);
  }  // not committed: what was written through stays, and so does the link
  EXPECT_TRUE(S_ISLNK(ModeOf(dir_ / "link")));
  EXPECT_EQ(ReadFileBytes(dir_ / "target"), Pattern(4));

  if (access("/dev/null", W_OK) == 0) {
    OutputFile device;
    ASSERT_EQ(device.Open(L"/dev/null"), OutputFile::Status::Ok);
    device.Write(kOld.data(), kOld.size());
    EXPECT_EQ(device.Commit(), OutputFile::Status::Ok);
    EXPECT_TRUE(S_ISCHR(ModeOf("/dev/null")));
  }
}

TEST_F(OutputFileTest, MissingFolderGivesNoOutput) {
  OutputFile file;
  EXPECT_EQ(file.Open(Wide(dir_ / "missing/a.txt")), OutputFile::Status::CannotCreate);
  EXPECT_EQ(SystemErrorText(file.Error()), L"нет такого файла или папки");
  EXPECT_EQ(file.Stream(), nullptr);
  EXPECT_FALSE(file.Write(kOld.data(), kOld.size()));
  EXPECT_EQ(file.Commit(), OutputFile::Status::CannotWrite);
  EXPECT_TRUE(ListDirectory(dir_.path()).empty());
}

// The lock a set goes into its folder with (see also the two morva runs of
// tests/morva/safe_output_test.cpp): held while the set goes in and its
// leftovers go, and let go by a process that is killed while it holds it.
TEST_F(OutputFileTest, SetsGoInPlaceUnderTheFolderLock) {
  const auto othersCanLock = [this] {
    const int fd = open(dir_.path().c_str(), O_RDONLY | O_DIRECTORY);
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return free;
  };
  for (const bool killed : {false, true}) {
    const int status = InChild([&] {
      OutputFile a;
      OutputFile b;
      if (a.Open(Wide(dir_ / "a")) != OutputFile::Status::Ok) return 10;
      if (b.Open(Wide(dir_ / "b")) != OutputFile::Status::Ok) return 10;
      bool held = false;
      CommitOutputs({&a, &b}, nullptr, [&] {
        held = !othersCanLock();
        if (killed) raise(SIGKILL);
      });
      return held ? 0 : 11;
    });
    EXPECT_EQ(status, killed ? SIGKILL : 0) << "the lock must be held meanwhile";
    EXPECT_TRUE(othersCanLock()) << "nothing stays locked";
  }
  EXPECT_EQ(ListDirectory(dir_.path()), (std::vector<std::string>{"a", "b"}));
}

TEST(SystemErrorTest, ReasonsAndFolders) {
  // A reason we have no words of our own for: its number and the system's text.
  EXPECT_EQ(SystemErrorText(EXDEV).rfind(L"системная ошибка " + std::to_wstring(EXDEV) + L" (", 0),
            0u);
  EXPECT_EQ(FolderOf(L"game.bin"), L".");
  EXPECT_EQ(FolderOf(L"a//b/game.bin"), L"a//b");
  EXPECT_EQ(FolderOf(L"/game.bin"), L"/");
}

TEST(QueryFileTest, KindsSizesAndIdentities) {
  TempDir dir;
  WriteFileText(dir / "a", "abc");
  ASSERT_EQ(link((dir / "a").c_str(), (dir / "b").c_str()), 0);
  const FileStatus a = QueryFile(Wide(dir / "a"));
  const FileStatus b = QueryFile(Wide(dir / "b"));
  EXPECT_EQ(a.kind, FileKind::Regular);
  EXPECT_EQ(a.size, 3u);
  EXPECT_EQ(b.kind, FileKind::Regular);
  EXPECT_EQ(a.identity, b.identity);
  EXPECT_TRUE(IsSameFile(Wide(dir / "a"), Wide(dir.path() + "/./b")));
  const FileStatus folder = QueryFile(Wide(dir.path()));
  EXPECT_EQ(folder.kind, FileKind::Directory);
  EXPECT_FALSE(a.identity == folder.identity);
  EXPECT_EQ(QueryFile(Wide(dir / "none")).kind, FileKind::Missing);
  EXPECT_FALSE(IsSameFile(Wide(dir / "none"), Wide(dir / "none")));
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(QueryFile(Wide(dir / "fifo")).kind, FileKind::Other);
}

TEST(PathTest, LastComponentAndItsExtension) {
  EXPECT_EQ(FileNameStart(L"dir.d/game"), 6u);
  EXPECT_EQ(FileNameStart(L"game"), 0u);
  EXPECT_EQ(PathExtension(L"game.bin"), L".bin");
  EXPECT_EQ(PathExtension(L"a.b.longer"), L".longer");
  EXPECT_EQ(PathExtension(L"dir.d/game"), L"");
  EXPECT_EQ(PathExtension(L"dir/.profile"), L".profile");
  EXPECT_EQ(PathExtension(L"game."), L".");
  // The two readings of a leading dot, korvid's names and morva's.
  EXPECT_EQ(ExtensionStart(L"dir.d/.profile", LeadingDot::PartOfName), 14u);
  EXPECT_EQ(ExtensionStart(L"dir.d/.profile", LeadingDot::StartsExtension), 6u);
  EXPECT_EQ(ExtensionStart(L"dir.d/.a.b", LeadingDot::PartOfName), 8u);
  EXPECT_EQ(ReplaceExtension(L"dir.d/game", L".dvk", LeadingDot::PartOfName), L"dir.d/game.dvk");
  EXPECT_EQ(ReplaceExtension(L".profile", L".txt", LeadingDot::StartsExtension), L".txt");
  EXPECT_EQ(ReplaceExtension(L".profile", L".txt", LeadingDot::PartOfName), L".profile.txt");
}

}  // namespace
