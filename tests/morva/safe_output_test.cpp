// Outputs are written whole or not at all: an interrupted run, a file-size
// limit or a failed write leaves the old output as it was and nothing half
// written; and within one run no output replaces an input or the output of
// another input.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>

#include "support/morva_run.h"
#include "support/temp_dir.h"
#include "support/text_bytes.h"
#include "support/program_platform.h"

namespace {

// Names in dir that are temporary outputs: hidden names, as no input of
// these tests has one.
std::vector<std::string> Temporaries(const std::string& dir) {
  std::vector<std::string> found;
  for (const std::string& name : ListDirectory(dir)) {
    if (name[0] == '.') found.push_back(name);
  }
  return found;
}

uint64_t FileSize(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

void Sleep(long milliseconds) {
  const timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000000};
  nanosleep(&pause, nullptr);
}

// Starts morva in dir, its console going nowhere; returns its process id
// (-1 when it could not start). `stopped`: it stops before it starts, until
// SIGCONT, so that two runs can start together.
pid_t StartMorva(const TempDir& dir, const std::vector<std::string>& args, bool stopped = false) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (stopped) raise(SIGSTOP);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, STDIN_FILENO);
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    if (chdir(dir.path().c_str()) != 0) _exit(126);
    std::vector<char*> argv = {const_cast<char*>(MORVA_BINARY)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(MORVA_BINARY, argv.data());
    _exit(127);
  }
  return pid;
}

// Runs morva in dir, waits until it is writing its outputs (at least
// `temporaries` temporary files, the first of them holding data), sends the
// signal (`times` times in a row, as `timeout` does to the child and then
// its group) and returns the wait status. -1 when morva ended before that.
int InterruptMorva(const TempDir& dir, const std::vector<std::string>& args, int signal,
                   size_t temporaries, int times = 1) {
  const pid_t pid = StartMorva(dir, args);
  if (pid < 0) return -1;
  constexpr int kPolls = 60000;  // a minute at most
  bool writing = false;
  int status = 0;
  for (int i = 0; i < kPolls && !writing; ++i) {
    const std::vector<std::string> found = Temporaries(dir.path());
    writing = found.size() >= temporaries && FileSize(dir / found.front()) > 0;
    if (!writing) {
      if (waitpid(pid, &status, WNOHANG) == pid) return -1;
      Sleep(1);
    }
  }
  for (int i = 0; i < (writing ? times : 1); ++i) kill(pid, writing ? signal : SIGKILL);
  waitpid(pid, &status, 0);
  return writing ? status : -1;
}

// Several megabytes of text: long enough that the signal comes mid-way.
std::string LongText(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    text += std::to_string(i) + " PRINT \"Строка текста номер " + std::to_string(i) + "\"\t!\n";
  }
  return text;
}

// Keeps every processor busy for its lifetime, as on a loaded machine.
struct BusyLoad {
  BusyLoad() {
    for (long i = sysconf(_SC_NPROCESSORS_ONLN); i > 0; --i) {
      const pid_t pid = fork();
      if (pid == 0) {
        alarm(120);  // never outlives a test that goes wrong
        for (volatile unsigned long spin = 0;; spin = spin + 1) {
        }
      }
      if (pid > 0) children.push_back(pid);
    }
  }
  ~BusyLoad() {
    for (pid_t pid : children) kill(pid, SIGKILL);
    for (pid_t pid : children) waitpid(pid, nullptr, 0);
  }
  std::vector<pid_t> children;
};

// Every ending signal, also one sent twice in a row (as `timeout` sends it
// to the program and then to its group), leaves the old output and nothing
// else. The second one could strike only while the system enters the
// handler, a narrow race: each is sent many times, on a busy machine.
TEST(MorvaInterruptTest, InterruptedConversionLeavesTheOldOutputAndNothingElse) {
  SKIP_FOR_WINDOWS_PROGRAMS("POSIX signals");
  TempDir dir;
  WriteFileText(dir / "long.txt", LongText(400000));
  const Bytes old = AsBytes("an older Edasp text");
  WriteFileBytes(dir / "long.edp", old);
  const std::vector<std::string> before = ListDirectory(dir.path());
  BusyLoad load;
  constexpr int kRounds = 40;
  for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU}) {
    int spoilt = 0;
    for (int round = 0; round < kRounds; ++round) {
      const int times = round == 0 ? 1 : 2;
      const int status = InterruptMorva(dir, {"-o", "e", "long.txt"}, signal, 1, times);
      ASSERT_NE(status, -1) << "the conversion ended before it could be interrupted";
      // The process ends by the signal itself, so that its caller sees it.
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << " " << status;
      if (ListDirectory(dir.path()) != before || ReadFileBytes(dir / "long.edp") != old) ++spoilt;
      for (const std::string& name : Temporaries(dir.path())) unlink((dir / name).c_str());
    }
    EXPECT_EQ(spoilt, 0) << "signal " << signal << ": " << spoilt << " of " << kRounds
                         << " runs left a temporary file or changed the old output";
  }
}

TEST(MorvaInterruptTest, InterruptedBasicAscSetLeavesTheOlderSetWhole) {
  SKIP_FOR_WINDOWS_PROGRAMS("POSIX signals");
  TempDir dir;
  WriteFileText(dir / "prog.bas", LongText(100000));
  // An older set of the same name: header and two parts.
  const Bytes header = {0xEE, 0x3D, 0x02, 0x00, 0x00, 0x00};
  Bytes part = MakeBkFile(036756, Bytes(256, 'O'));
  WriteFileBytes(dir / "prog  .ASC.bin", header);
  WriteFileBytes(dir / "prog  .ASC #000.bin", part);
  part[4] = 0x1A;
  WriteFileBytes(dir / "prog  .ASC #001.bin", part);
  const std::vector<std::string> before = ListDirectory(dir.path());
  const int status = InterruptMorva(dir, {"-o", "b", "prog.bas"}, SIGTERM, 20);
  ASSERT_NE(status, -1) << "the conversion ended before it could be interrupted";
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(ListDirectory(dir.path()), before);
  EXPECT_EQ(ReadFileBytes(dir / "prog  .ASC.bin"), header);
  EXPECT_EQ(ReadFileBytes(dir / "prog  .ASC #001.bin"), part);
}

// A limit on the size of files (RLIMIT_FSIZE, "ulimit -f") that the caller
// did not arrange to be ignored: morva ignores SIGXFSZ itself, so the write
// fails like one on a full disk, is reported, and the run goes on.
TEST(MorvaFileSizeLimitTest, WriteBeyondTheLimitFailsAndTheRunGoesOn) {
  SKIP_FOR_WINDOWS_PROGRAMS("a file-size limit (RLIMIT_FSIZE)");
  TempDir dir;
  WriteFileBytes(dir / "big.edp", Bytes(100000, 'x'));
  WriteFileBytes(dir / "small.edp", {'s'});
  const Bytes old = AsBytes("an older text");
  WriteFileBytes(dir / "big.txt", old);
  const RunResult run =
      RunProgram("/bin/sh",
                 {"-c", "trap - XFSZ; ulimit -f 16; exec \"$0\" \"$@\"", MORVA_BINARY, "-ie",
                  "-o8", "big.edp", "small.edp"},
                 RunOptions{dir.path(), {}, 60});
  EXPECT_EQ(run.out, Announce("Edasp", "Unicode UTF-8") + "big.edp -> big.txt\n" +
                         "Ошибка! big.txt не записывается, неполный файл удалён.\n" +
                         "small.edp -> small.txt\n" + Done(1, 1));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ReadFileBytes(dir / "big.txt"), old);
  EXPECT_EQ(ReadFileBytes(dir / "small.txt"), Utf8File(u"s"));
  EXPECT_EQ(ListDirectory(dir.path()),
            (std::vector<std::string>{"big.edp", "big.txt", "small.edp", "small.txt"}));
}

TEST(MorvaOutputFileTest, ExistingOutputIsReplacedWithItsPermissions) {
  SKIP_FOR_WINDOWS_PROGRAMS("POSIX permission bits");
  TempDir dir;
  WriteFileBytes(dir / "a.edp", {'n', 'e', 'w'});
  WriteFileBytes(dir / "a.txt", AsBytes("old"));
  ASSERT_EQ(chmod((dir / "a.txt").c_str(), 0640), 0);
  const RunResult run = RunMorva(dir.path(), {"-ie", "-ok", "a.edp"});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(dir / "a.txt"), AsBytes("new"));
  struct stat info;
  ASSERT_EQ(stat((dir / "a.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  // A new output gets the permissions that the umask leaves.
  WriteFileBytes(dir / "b.edp", {'b'});
  const mode_t mask = umask(022);
  RunMorva(dir.path(), {"-ie", "-ok", "b.edp"});
  umask(mask);
  ASSERT_EQ(stat((dir / "b.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  EXPECT_TRUE(Temporaries(dir.path()).empty());
}

TEST(MorvaOutputFileTest, LinkNamedAsTheOutputIsWrittenThrough) {
  SKIP_FOR_WINDOWS_PROGRAMS("symbolic links");
  TempDir dir;
  mkdir((dir / "kept").c_str(), 0700);
  WriteFileBytes(dir / "kept/target.txt", AsBytes("old"));
  ASSERT_EQ(symlink("kept/target.txt", (dir / "a.txt").c_str()), 0);
  WriteFileBytes(dir / "a.edp", {'n', 'e', 'w'});
  const RunResult run = RunMorva(dir.path(), {"-ie", "-ok", "a.edp"});
  EXPECT_EQ(run.exitStatus, 0);
  struct stat info;
  ASSERT_EQ(lstat((dir / "a.txt").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ReadFileBytes(dir / "kept/target.txt"), AsBytes("new"));
}

// Whoever runs morva: root, whom the system lets write anything, too.
TEST(MorvaOutputFileTest, ReadOnlyOutputStaysAsItIs) {
  SKIP_FOR_WINDOWS_PROGRAMS("POSIX permissions");
  TempDir dir;
  chmod(dir.path().c_str(), 0777);
  WriteFileBytes(dir / "a.edp", {'n', 'e', 'w'});
  chmod((dir / "a.edp").c_str(), 0644);
  WriteFileBytes(dir / "a.txt", AsBytes("old"));
  chmod((dir / "a.txt").c_str(), 0444);
  for (const bool dropPrivileges : {false, true}) {
    RunOptions options;
    options.dropPrivileges = dropPrivileges;
    const RunResult run = RunMorva(dir.path(), {"-ie", "-ok", "a.edp"}, options);
    EXPECT_EQ(run.out, Announce("Edasp", "KOI8R") + "a.edp -> a.txt\n" +
                           "Ошибка! a.txt защищён от записи, он не будет заменён.\n" + Done(0, 1));
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(ReadFileBytes(dir / "a.txt"), AsBytes("old"));
    EXPECT_EQ(ListDirectory(dir.path()), (std::vector<std::string>{"a.edp", "a.txt"}));
  }
}

// `morva -o 8 "x*"` with the files x and x.txt would write x's text over
// x.txt, which the same run still has to convert (or has converted).
TEST(MorvaRunRulesTest, OutputNeverReplacesAnInputOfTheRun) {
  TempDir dir;
  WriteFileBytes(dir / "x", {'1'});
  WriteFileBytes(dir / "x.txt", {'2'});
  RunResult run = RunMorva(dir.path(), {"-ik", "-o8", "x*"});
  EXPECT_EQ(run.out, Announce("KOI8R", "Unicode UTF-8") +
                         "Ошибка! x не преобразован: x.txt - входной файл, он не будет "
                         "перезаписан.\n" +
                         "x.txt -> x.txt.txt\n" + EncodingReport("OEM CP-866", "KOI8R") +
                         Done(1, 1));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ReadFileBytes(dir / "x.txt"), Bytes{'2'});
  EXPECT_EQ(ReadFileBytes(dir / "x.txt.txt"), Utf8File(u"2"));

  // The same when the input has been converted already.
  unlink((dir / "x.txt.txt").c_str());
  run = RunMorva(dir.path(), {"-ik", "-o8", "x.txt", "x"});
  EXPECT_EQ(run.out, Announce("KOI8R", "Unicode UTF-8") + "x.txt -> x.txt.txt\n" +
                         EncodingReport("OEM CP-866", "KOI8R") +
                         "Ошибка! x не преобразован: x.txt - входной файл, он не будет "
                         "перезаписан.\n" + Done(1, 1));
  EXPECT_EQ(ReadFileBytes(dir / "x.txt"), Bytes{'2'});
  EXPECT_EQ(ListDirectory(dir.path()), (std::vector<std::string>{"x", "x.txt", "x.txt.txt"}));
}

TEST(MorvaRunRulesTest, TwoInputsNeverWriteTheSameOutput) {
  TempDir dir;
  WriteFileBytes(dir / "a.txt", {'t'});
  WriteFileBytes(dir / "a.koi", {'k'});
  RunResult run = RunMorva(dir.path(), {"-ik", "-oe", "a.txt", "a.koi"});
  EXPECT_EQ(run.out, Announce("KOI8R", "Edasp") + "a.txt -> a.edp\n" +
                         EncodingReport("OEM CP-866", "KOI8R") +
                         "Ошибка! a.koi не преобразован: a.edp уже записан из a.txt.\n" +
                         Done(1, 1));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ReadFileBytes(dir / "a.edp"), Bytes{'t'});

  // Another name for the same file: a link to the output of a.txt.
  WriteFileBytes(dir / "b.txt", {'b'});
  ASSERT_EQ(symlink("a.edp", (dir / "b.edp").c_str()), 0);
  run = RunMorva(dir.path(), {"-ik", "-oe", "a.txt", "b.txt"});
  EXPECT_NE(run.out.find("Ошибка! b.txt не преобразован: b.edp уже записан из a.txt.\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ReadFileBytes(dir / "a.edp"), Bytes{'t'});
}

// Texts whose names share their first six characters name the same BASIC
// ASC set: the first one writes it, the others are refused.
TEST(MorvaRunRulesTest, TextsNamingTheSameBasicAscSet) {
  TempDir dir;
  WriteFileBytes(dir / "listing1.bas", AsBytes("10 PRINT 1\n"));
  WriteFileBytes(dir / "listing2.bas", AsBytes("20 PRINT 2\n"));
  const RunResult run = RunMorva(dir.path(), {"-ik", "-ob", "listing*.bas"});
  EXPECT_EQ(run.out, Announce("KOI8R", "Basic ASC") + "listing1.bas -> listin.ASC.bin\n" +
                         EncodingReport("OEM CP-866", "KOI8R") +
                         "Ошибка! listing2.bas не преобразован: listin.ASC.bin уже записан из "
                         "listing1.bas.\n" +
                         Done(1, 1));
  EXPECT_EQ(run.exitStatus, 1);
  Bytes data = AsBytes("10 PRINT 1\n\x1A");
  data.resize(256, ' ');
  EXPECT_EQ(ReadFileBytes(dir / "listin.ASC #000.bin"), MakeBkFile(036756, data));
  EXPECT_EQ(ListDirectory(dir.path()),
            (std::vector<std::string>{"listin.ASC #000.bin", "listin.ASC.bin", "listing1.bas",
                                      "listing2.bas"}));
}

// The files of the BASIC ASC set "prog  .ASC" in dir, by name.
std::map<std::string, Bytes> SetFiles(const TempDir& dir) {
  std::map<std::string, Bytes> files;
  for (const std::string& name : ListDirectory(dir.path())) {
    if (name.rfind("prog  .ASC", 0) == 0) files[name] = ReadFileBytes(dir / name);
  }
  return files;
}

// Two runs at once that write the same BASIC ASC set, from texts of
// different lengths: whichever puts its set in place last, that set stands
// whole, with no part of the other and none missing. They start together,
// in a memory file system where there is one: there no flush to the disk
// sets them apart. A run that holds the folder past the wait makes the
// other give up, with its message.
TEST(MorvaRunRulesTest, TwoRunsWritingOneBasicAscSetLeaveOneWholeSet) {
  SKIP_FOR_WINDOWS_PROGRAMS("processes started side by side");
  TempDir dir(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "");
  WriteFileText(dir / "prog.bas", LongText(600));
  std::string other;
  for (int i = 0; i < 600; ++i) other += std::to_string(i) + " PRINT \"Другая строка\"\n";
  WriteFileText(dir / "prog.txt", other);
  const char* inputs[2] = {"prog.bas", "prog.txt"};
  std::map<std::string, Bytes> sets[2];
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(RunMorva(dir.path(), {"-o", "b", inputs[i]}).exitStatus, 0);
    sets[i] = SetFiles(dir);
  }
  ASSERT_NE(sets[0].size(), sets[1].size());
  for (int round = 0; round < 30; ++round) {
    pid_t pids[2];
    for (int i = 0; i < 2; ++i) {
      pids[i] = StartMorva(dir, {"-o", "b", inputs[i]}, true);
      ASSERT_EQ(waitpid(pids[i], nullptr, WUNTRACED), pids[i]);
    }
    for (pid_t pid : pids) kill(pid, SIGCONT);
    for (pid_t pid : pids) {
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    const std::map<std::string, Bytes> found = SetFiles(dir);
    EXPECT_TRUE(found == sets[0] || found == sets[1])
        << "round " << round << ": a mixed set of " << found.size() << " files";
    EXPECT_TRUE(Temporaries(dir.path()).empty());
  }

  const std::map<std::string, Bytes> before = SetFiles(dir);
  const int lock = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  const RunResult run = RunMorva(dir.path(), {"-o", "b", "prog.bas"});
  close(lock);
  EXPECT_EQ(run.out, Announce("Авто", "Basic ASC") + "prog.bas -> prog  .ASC.bin\n" +
                         EncodingReport("Unicode UTF-8", "Unicode UTF-8") +
                         "Ошибка! prog  .ASC.bin не записан: папку . дольше 10 с занимает "
                         "другой запуск.\n" + Done(0, 1));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(SetFiles(dir), before);
  EXPECT_TRUE(Temporaries(dir.path()).empty());
}

TEST(MorvaRunRulesTest, RerunReplacesTheOutputsOfAnEarlierRun) {
  TempDir dir;
  WriteFileBytes(dir / "a.edp", {'1'});
  EXPECT_EQ(RunMorva(dir.path(), {"-ie", "-ok", "a.edp"}).exitStatus, 0);
  WriteFileBytes(dir / "a.edp", {'2'});
  EXPECT_EQ(RunMorva(dir.path(), {"-ie", "-ok", "a.edp"}).exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(dir / "a.txt"), Bytes{'2'});
}

}  // namespace
