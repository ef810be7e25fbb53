// korvid when the file system works against it: a full device, a full disk,
// a directory or a read-only folder where the output should go, an input that
// is missing, unreadable or the output itself. Each run gives a clear message,
// exits with 1, leaves no partial output, keeps an earlier output as it was
// and never changes its input.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "support/korvid_run.h"
#include "support/temp_dir.h"
#include "support/program_platform.h"

namespace {

class KorvidFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    // The folder and a copy of the program are open to an unprivileged user,
    // so that the permission cases run the same as root and as a user.
    chmod(dir_.path().c_str(), 0777);
    WriteFileBytes(dir_ / "korvid", ReadFileBytes(KORVID_BINARY));
    chmod((dir_ / "korvid").c_str(), 0755);
    input_ = ReadFileBytes(std::string(EXAMPLES_DIR) + "/hello.bin");
    ASSERT_FALSE(input_.empty());
    WriteFileBytes(dir_ / "game.bin", input_);
    chmod((dir_ / "game.bin").c_str(), 0644);
  }
  void TearDown() override { EXPECT_EQ(ReadFileBytes(dir_ / "game.bin"), input_) << "input changed"; }

  RunResult Run(const std::vector<std::string>& args, RunOptions options = {}, int status = 1) {
    RunResult result = RunKorvidAt(dir_ / "korvid", dir_.path(), args, options);
    EXPECT_EQ(result.exitStatus, status) << result.out << result.err;
    EXPECT_EQ(result.err, "");
    return result;
  }
  // Runs korvid under a file-size limit of 512 bytes set by the shell, which
  // leaves SIGXFSZ at its default action: ending the process.
  RunResult RunLimited(std::vector<std::string> args) {
    args.insert(args.begin(), {"-c", "ulimit -f 1 && exec \"$0\" \"$@\"", dir_ / "korvid"});
    RunOptions options;
    options.workingDirectory = dir_.path();
    return RunProgram("/bin/sh", args, options);
  }

  TempDir dir_;
  Bytes input_;
};

TEST_F(KorvidFaults, FullDeviceIsReportedAndTheDeviceKept) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ASSERT_EQ(symlink("/dev/full", (dir_ / "game.dvk").c_str()), 0);
  const RunResult r = Run({"-t", "dorvik", "game.bin"});
  // No result before the file is in place: the error instead.
  EXPECT_EQ(r.out, "Пакуем 'game.bin' :: ..........Ошибка:: не удалось записать файл 'game.dvk'.\n");
  EXPECT_TRUE(FileExists("/dev/full"));
}

TEST_F(KorvidFaults, FullDiskLeavesNoPartialOutput) {
  for (const char* method : {"dorvik", "bkgranol"}) {
    RunOptions options;
    options.fileSizeLimit = 100;  // the image needs several hundred bytes
    const RunResult r = Run({"-t", method, "game.bin", "out.img"}, options);
    const std::string name = std::string(method) == "dorvik" ? "out.dvk" : "out.grl";
    EXPECT_NE(r.out.find("Ошибка:: не удалось записать файл '" + name + "'.\n"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(FileExists(dir_ / name)) << method;
  }
}

TEST_F(KorvidFaults, UnpackingOntoAFullDiskLeavesNoPartialOutput) {
  ASSERT_EQ(Run({"-t", "bkgranol", "game.bin"}, {}, 0).exitStatus, 0);
  RunOptions options;
  options.fileSizeLimit = 200;
  const RunResult r = Run({"-u", "-t", "bkgranol", "game.grl"}, options);
  EXPECT_EQ(r.out,
            "Распаковываем 'game.grl' :: "
            "Ошибка:: не удалось записать файл 'game.bkfile'.\n");
  EXPECT_FALSE(FileExists(dir_ / "game.bkfile"));
}

TEST_F(KorvidFaults, OutputPathThatIsADirectoryCannotBeCreated) {
  ASSERT_EQ(mkdir((dir_ / "game.grl").c_str(), 0755), 0);
  const RunResult r = Run({"-t", "bkgranol", "game.bin"});
  EXPECT_EQ(r.out,
            "Пакуем 'game.bin' :: Ошибка:: не удалось открыть файл для записи 'game.grl': это "
            "папка.\n");
}

// An output that cannot be created names its folder and the system's reason.
TEST_F(KorvidFaults, OutputFolderThatTakesNoFileIsNamedWithTheReason) {
  SKIP_FOR_WINDOWS_PROGRAMS("POSIX permissions and reasons");
  ASSERT_EQ(mkdir((dir_ / "locked").c_str(), 0555), 0);
  WriteFileBytes(dir_ / "plain", input_);
  const struct {
    const char* output;
    const char* reason;
  } cases[] = {
      {"locked/game.dvk", "'locked': нет прав доступа"},
      {"missing/game.dvk", "'missing': нет такого файла или папки"},
      {"plain/game.dvk", "'plain': часть пути не является папкой"},
  };
  for (const auto& c : cases) {
    RunOptions options;
    options.dropPrivileges = true;  // root may write into a read-only folder
    const RunResult r = Run({"-t", "dorvik", "game.bin", c.output}, options);
    EXPECT_EQ(r.out,
              std::string("Пакуем 'game.bin' :: ..........Ошибка:: не удалось создать файл '") +
                  c.output + "' в папке " + c.reason + ".\n");
  }
  EXPECT_TRUE(ListDirectory(dir_ / "locked").empty());
  EXPECT_EQ(ListDirectory(dir_.path()),
            (std::vector<std::string>{"game.bin", "korvid", "locked", "plain"}));
}

// A console that takes nothing, closed (`| head -1`) or full: the work is
// done all the same, and the exit status tells that the messages were lost.
TEST_F(KorvidFaults, ClosedOrFullConsoleStopsNoWork) {
  SKIP_FOR_WINDOWS_PROGRAMS("a closed pipe and /dev/full");
  ASSERT_EQ(Run({"-t", "sokol", "game.bin", "expected.skl"}, {}, 0).exitStatus, 0);
  const Bytes image = ReadFileBytes(dir_ / "expected.skl");
  for (const auto console : {RunOptions::Console::ClosedPipe, RunOptions::Console::Full}) {
    RunOptions options;
    options.console = console;
    Run({"-t", "sokol", "game.bin"}, options, 1);
    EXPECT_EQ(ReadFileBytes(dir_ / "game.skl"), image);
    Run({"-u", "-t", "sokol", "game.skl"}, options, 1);
    EXPECT_EQ(ReadFileBytes(dir_ / "game.bkfile"), input_);
    Run({"--version"}, options, 1);
    Run({"-t", "none", "game.bin"}, options, 2);  // a wrong command line stays one
    for (const char* name : {"game.skl", "game.bkfile"}) unlink((dir_ / name).c_str());
  }
}

TEST_F(KorvidFaults, UnreadableInputIsReported) {
  SKIP_FOR_WINDOWS_PROGRAMS("POSIX permissions of a file");
  WriteFileBytes(dir_ / "secret.bin", input_);
  chmod((dir_ / "secret.bin").c_str(), 0);
  RunOptions options;
  options.dropPrivileges = true;
  const RunResult r = Run({"-t", "bkgranol", "secret.bin"}, options);
  EXPECT_EQ(r.out, "Ошибка:: не удалось открыть файл 'secret.bin'.\n");
  EXPECT_FALSE(FileExists(dir_ / "secret.grl"));
}

TEST_F(KorvidFaults, VanishedInputIsNotFound) {
  ASSERT_EQ(symlink("gone.bin", (dir_ / "dangling.bin").c_str()), 0);
  const RunResult r = Run({"-t", "dorvik", "dangling.bin"});
  EXPECT_EQ(r.out, "Ошибка:: файл 'dangling.bin' не найден.\n");
  EXPECT_FALSE(FileExists(dir_ / "dangling.dvk"));
}

TEST_F(KorvidFaults, InputThatIsAlsoTheOutputIsNeverWritten) {
  // A hard link gives the input a second name, so only the file's identity
  // tells that the output would overwrite it.
  ASSERT_EQ(link((dir_ / "game.bin").c_str(), (dir_ / "same.dvk").c_str()), 0);
  const RunResult r = Run({"-t", "dorvik", "game.bin", "same.bin"});
  EXPECT_EQ(r.out,
            "Пакуем 'game.bin' :: Ошибка:: выходной файл 'same.dvk' совпадает с входным, "
            "входной файл не будет затёрт.\n");
  EXPECT_EQ(ReadFileBytes(dir_ / "same.dvk"), input_);
}

// An earlier output survives a write that fails half way, for every kind of
// output, and no temporary file is left beside it.
TEST_F(KorvidFaults, FileSizeLimitKeepsTheEarlierOutputWhole) {
  SKIP_FOR_WINDOWS_PROGRAMS("a file-size limit (RLIMIT_FSIZE)");
  const Bytes old = MakeBkFile(01000, Bytes(40, 0x77));
  ASSERT_EQ(Run({"-t", "dorvik", "game.bin", "packed.dvk"}, {}, 0).exitStatus, 0);
  const Bytes packed = ReadFileBytes(dir_ / "packed.dvk");
  const struct {
    std::vector<std::string> args;
    const char* output;
    std::string out;
  } cases[] = {
      {{"-t", "dorvik", "game.bin"}, "game.dvk",
       "Пакуем 'game.bin' :: ..........Ошибка:: не удалось записать файл 'game.dvk'.\n"},
      {{"-t", "bkgranol", "game.bin"}, "game.grl",
       "Пакуем 'game.bin' :: Ошибка:: не удалось записать файл 'game.grl'.\n"},
      {{"-u", "-t", "dorvik", "packed.dvk"}, "packed.bkfile",
       "Распаковываем 'packed.dvk' :: Ошибка:: не удалось записать файл 'packed.bkfile'.\n"},
  };
  for (const auto& c : cases) {
    WriteFileBytes(dir_ / c.output, old);
    const RunResult r = RunLimited(c.args);
    EXPECT_EQ(r.exitStatus, 1) << c.output << ": the limit's signal must not end the run";
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(ReadFileBytes(dir_ / c.output), old) << c.output;
    std::vector<std::string> files = {"game.bin", c.output, "korvid", "packed.dvk"};
    std::sort(files.begin(), files.end());
    EXPECT_EQ(ListDirectory(dir_.path()), files) << c.output;
    ASSERT_EQ(unlink((dir_ / c.output).c_str()), 0);
  }
  EXPECT_EQ(ReadFileBytes(dir_ / "packed.dvk"), packed);
}

TEST_F(KorvidFaults, EarlierOutputIsReplacedWholeWithItsPermissions) {
  SKIP_FOR_WINDOWS_PROGRAMS("POSIX permission bits");
  WriteFileBytes(dir_ / "game.grl", MakeBkFile(01000, Bytes(40000, 0x77)));
  chmod((dir_ / "game.grl").c_str(), 0600);
  const RunResult r = Run({"-t", "bkgranol", "game.bin"}, {}, 0);
  EXPECT_EQ(r.out, "Пакуем 'game.bin' ::  OK, Ratio 57%, ~0,3 с на БК-0010\n");
  EXPECT_EQ(ReadFileBytes(dir_ / "game.grl").size(), 810u);
  struct stat info;
  ASSERT_EQ(stat((dir_ / "game.grl").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ListDirectory(dir_.path()), (std::vector<std::string>{"game.bin", "game.grl", "korvid"}));
}

TEST_F(KorvidFaults, OutputThatIsALinkIsWrittenThroughAndStaysALink) {
  SKIP_FOR_WINDOWS_PROGRAMS("symbolic links");
  ASSERT_EQ(mkdir((dir_ / "images").c_str(), 0755), 0);
  ASSERT_EQ(symlink("images/current.dvk", (dir_ / "game.dvk").c_str()), 0);
  const RunResult r = Run({"-t", "dorvik", "game.bin"}, {}, 0);
  EXPECT_EQ(r.out, "Пакуем 'game.bin' :: .......... OK, Ratio 48%, ~0,0 с на БК-0010\n");
  struct stat info;
  ASSERT_EQ(lstat((dir_ / "game.dvk").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ReadFileBytes(dir_ / "images/current.dvk").size(), 694u);
}

// Whoever runs korvid: root, whom the system lets write anything, too.
TEST_F(KorvidFaults, WriteProtectedOutputIsNotReplaced) {
  SKIP_FOR_WINDOWS_PROGRAMS("POSIX permission bits (the read-only attribute is a unit test there)");
  WriteFileBytes(dir_ / "game.dvk", MakeBkFile(01000, Bytes(10, 1)));
  chmod((dir_ / "game.dvk").c_str(), 0444);
  for (const bool dropPrivileges : {false, true}) {
    RunOptions options;
    options.dropPrivileges = dropPrivileges;
    const RunResult r = Run({"-t", "dorvik", "game.bin"}, options);
    EXPECT_EQ(r.out,
              "Пакуем 'game.bin' :: ..........Ошибка:: файл 'game.dvk' защищён от записи, он не "
              "будет заменён.\n");
    EXPECT_EQ(ReadFileBytes(dir_ / "game.dvk"), MakeBkFile(01000, Bytes(10, 1)));
  }
}

}  // namespace
