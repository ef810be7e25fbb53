// korvid when the file system works against it: a full device, a full disk,
// a directory or a read-only folder where the output should go, an input that
// is missing, unreadable or the output itself. Each run gives a clear message,
// exits with 0, leaves no partial output and never changes its input.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/run_program.h"
#include "support/temp_dir.h"

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

  RunResult Run(const std::vector<std::string>& args, RunOptions options = {}) {
    options.workingDirectory = dir_.path();
    RunResult result = RunProgram(dir_ / "korvid", args, options);
    EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
    EXPECT_EQ(result.err, "");
    return result;
  }

  TempDir dir_;
  Bytes input_;
};

TEST_F(KorvidFaults, FullDeviceIsReportedAndTheDeviceKept) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ASSERT_EQ(symlink("/dev/full", (dir_ / "game.dvk").c_str()), 0);
  const RunResult r = Run({"-t", "dorvik", "game.bin"});
  EXPECT_EQ(r.out,
            "Пакуем 'game.bin' :: .......... OK, Ratio 48%\n"
            "Ошибка:: не удалось записать файл 'game.dvk'.\n");
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
  ASSERT_EQ(Run({"-t", "bkgranol", "game.bin"}).exitStatus, 0);
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
  EXPECT_EQ(r.out, "Пакуем 'game.bin' :: Ошибка:: не удалось открыть файл для записи 'game.grl'.\n");
}

TEST_F(KorvidFaults, ReadOnlyOutputFolderCannotBeWritten) {
  ASSERT_EQ(mkdir((dir_ / "locked").c_str(), 0555), 0);
  RunOptions options;
  options.dropPrivileges = true;
  const RunResult r = Run({"-t", "dorvik", "game.bin", "locked/game.dvk"}, options);
  EXPECT_EQ(r.out,
            "Пакуем 'game.bin' :: .......... OK, Ratio 48%\n"
            "Ошибка:: не удалось открыть файл для записи 'locked/game.dvk'.\n");
  EXPECT_TRUE(ListDirectory(dir_ / "locked").empty());
}

TEST_F(KorvidFaults, UnreadableInputIsReported) {
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
  EXPECT_EQ(r.out, "Ошибка:: файл не найден.\n");
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

}  // namespace
