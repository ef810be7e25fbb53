// morva when the file system works against it: outputs that cannot be
// created, inputs that cannot be read or are gone, and a pattern that
// matches hundreds of files. Each run reports clearly, exits with 1 when a
// file failed, leaves no partial output and never changes an input.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>

#include "support/morva_run.h"
#include "support/temp_dir.h"
#include "support/text_bytes.h"
#include "support/program_platform.h"

namespace {

const std::string kText = "Привет, БК!\n\tВторая строка.\n";

class MorvaFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    // The folder and a copy of the program are open to an unprivileged user,
    // so that the permission cases run the same as root and as a user.
    chmod(dir_.path().c_str(), 0777);
    WriteFileBytes(dir_ / "morva", ReadFileBytes(MORVA_BINARY));
    chmod((dir_ / "morva").c_str(), 0755);
  }

  RunResult Run(const std::vector<std::string>& args, int exitStatus, RunOptions options = {}) {
    RunResult result = RunMorvaAt(dir_ / "morva", dir_.path(), args, options);
    EXPECT_EQ(result.exitStatus, exitStatus) << result.out << result.err;
    EXPECT_EQ(result.err, "");
    return result;
  }

  // Writes an input file and remembers its bytes, checked after the test.
  void AddInput(const std::string& name, const std::string& text) {
    WriteFileText(dir_ / name, text);
    chmod((dir_ / name).c_str(), 0644);
    inputs_[name] = AsBytes(text);
  }
  void TearDown() override {
    for (const auto& [name, bytes] : inputs_) {
      EXPECT_EQ(ReadFileBytes(dir_ / name), bytes) << name << " changed";
    }
  }

  TempDir dir_;
  std::map<std::string, Bytes> inputs_;
};

const std::string kUtf8Report = EncodingReport("Unicode UTF-8", "Unicode UTF-8");

// morva takes no output name: the one it derives may be a folder, and
// nothing is written into it. The message names the folder.
TEST_F(MorvaFaults, OutputPathThatIsADirectoryIsReportedAndTheRunGoesOn) {
  AddInput("a.txt", kText);
  AddInput("b.txt", kText);
  AddInput("prog.bas", kText);
  ASSERT_EQ(mkdir((dir_ / "a.edp").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir_ / "prog  .ASC.bin").c_str(), 0755), 0);
  const RunResult r = Run({"-o", "e", "*.txt"}, 1);
  EXPECT_EQ(r.out, "Преобразование Авто -> Edasp\n"
                   "Ошибка! a.txt не преобразован: выходное имя a.edp занято папкой.\n"
                   "b.txt -> b.edp\n" + kUtf8Report + Done(1, 1));
  EXPECT_TRUE(FileExists(dir_ / "b.edp"));
  const RunResult set = Run({"-o", "b", "prog.bas"}, 1);
  EXPECT_EQ(set.out, "Преобразование Авто -> Basic ASC\n"
                     "Ошибка! prog.bas не преобразован: выходное имя prog  .ASC.bin занято "
                     "папкой.\n" + Done(0, 1));
  EXPECT_EQ(ListDirectory(dir_ / "a.edp"), std::vector<std::string>{});
  EXPECT_EQ(ListDirectory(dir_ / "prog  .ASC.bin"), std::vector<std::string>{});
}

// The message names the folder and the system's reason, for a file and for
// the first file of a BASIC ASC set.
TEST_F(MorvaFaults, ReadOnlyOutputFolderCannotBeWritten) {
  SKIP_FOR_WINDOWS_PROGRAMS("POSIX permissions of a folder");
  ASSERT_EQ(mkdir((dir_ / "locked").c_str(), 0777), 0);
  AddInput("locked/a.txt", kText);
  chmod((dir_ / "locked").c_str(), 0555);
  RunOptions options;
  options.dropPrivileges = true;
  RunResult r = Run({"-o", "e", "locked/*.txt"}, 1, options);
  EXPECT_EQ(r.out, "Преобразование Авто -> Edasp\n"
                   "locked/a.txt -> locked/a.edp\n" + kUtf8Report +
                   "Ошибка! locked/a.edp не создаётся в папке locked: нет прав доступа.\n" +
                   Done(0, 1));
  r = Run({"-o", "b", "locked/a.txt"}, 1, options);
  EXPECT_EQ(r.out, "Преобразование Авто -> Basic ASC\n"
                   "locked/a.txt -> locked/a     .ASC.bin\n" + kUtf8Report +
                   "Ошибка! locked/a     .ASC.bin не создаётся в папке locked: нет прав "
                   "доступа.\n" + Done(0, 1));
  EXPECT_EQ(ListDirectory(dir_ / "locked"), std::vector<std::string>{"a.txt"});
}

// A console that takes nothing, closed (`| head -1`) or full: every file is
// converted all the same, and the exit status tells that the messages were
// lost.
TEST_F(MorvaFaults, ClosedOrFullConsoleStopsNoWork) {
  SKIP_FOR_WINDOWS_PROGRAMS("a closed pipe and /dev/full");
  AddInput("a.txt", kText);
  AddInput("b.txt", kText + "b\n");
  Run({"-o", "e", "*.txt"}, 0);
  const Bytes a = ReadFileBytes(dir_ / "a.edp");
  const Bytes b = ReadFileBytes(dir_ / "b.edp");
  for (const auto console : {RunOptions::Console::ClosedPipe, RunOptions::Console::Full}) {
    for (const char* name : {"a.edp", "b.edp"}) unlink((dir_ / name).c_str());
    RunOptions options;
    options.console = console;
    Run({"-o", "e", "*.txt"}, 1, options);
    EXPECT_EQ(ReadFileBytes(dir_ / "a.edp"), a);
    EXPECT_EQ(ReadFileBytes(dir_ / "b.edp"), b);
    Run({"--version"}, 1, options);
    Run({"-o", "e", "-i", "e", "a.txt"}, 2, options);  // a wrong command line stays one
  }
  EXPECT_EQ(ListDirectory(dir_.path()),
            (std::vector<std::string>{"a.edp", "a.txt", "b.edp", "b.txt", "morva"}));
}

TEST_F(MorvaFaults, UnreadableInputIsReportedAndNoOutputCreated) {
  SKIP_FOR_WINDOWS_PROGRAMS("POSIX permissions of a file");
  AddInput("secret.txt", kText);
  chmod((dir_ / "secret.txt").c_str(), 0);
  RunOptions options;
  options.dropPrivileges = true;
  const RunResult r = Run({"-i", "w", "-o", "e", "secret.txt"}, 1, options);
  EXPECT_EQ(r.out, "Преобразование Windows 1251 -> Edasp\n"
                   "secret.txt -> secret.edp\n"
                   "Ошибка! secret.txt не открывается.\n" + Done(0, 1));
  EXPECT_FALSE(FileExists(dir_ / "secret.edp"));
  chmod((dir_ / "secret.txt").c_str(), 0644);
}

TEST_F(MorvaFaults, VanishedInputIsNotFound) {
  ASSERT_EQ(symlink("gone.txt", (dir_ / "dangling.txt").c_str()), 0);
  const RunResult r = Run({"-o", "e", "dangling.txt"}, 1);
  EXPECT_EQ(r.out, "Преобразование Авто -> Edasp\n"
                   "Файл(ы) 'dangling.txt' не найден(ы)\n" + Done(0));
  EXPECT_FALSE(FileExists(dir_ / "dangling.edp"));
}

TEST_F(MorvaFaults, FileGivenTwiceIsConvertedOnce) {
  AddInput("a.txt", kText);
  const RunResult r = Run({"-o", "8", "a.txt", "a.txt", "./a.txt", "?.txt"}, 0);
  const std::string report = EncodingReport("Unicode UTF-8", "Unicode UTF-8");
  EXPECT_EQ(r.out, "Преобразование Авто -> Unicode UTF-8\n"
                   "a.txt -> a.txt.txt\n" + report + Done(1));
  EXPECT_EQ(ReadFileBytes(dir_ / "a.txt.txt"), Utf8File(FromUtf8(kText), true, true));
}

TEST_F(MorvaFaults, PatternMatchingHundredsOfFiles) {
  constexpr int kFiles = 300;
  std::string expected = "Преобразование Авто -> Edasp\n";
  std::vector<std::string> names;
  for (int i = 0; i < kFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "note%03d.txt", i);
    names.push_back(name);
  }
  for (const std::string& name : names) {
    AddInput(name, kText + name + "\n");
    expected += name + " -> " + name.substr(0, 7) + ".edp\n" + kUtf8Report;
  }
  expected += Done(kFiles);
  const RunResult r = Run({"-o", "e", "note*"}, 0);
  EXPECT_EQ(r.out, expected);
  EXPECT_NE(r.out.find("Готово, обработано 300 файлов.\n"), std::string::npos);
  EXPECT_EQ(ListDirectory(dir_.path()).size(), 2u * kFiles + 1);  // inputs, outputs, program
  // The outputs of a run are never its inputs, though they match its
  // pattern; and noteNNN.edp and noteNNN.txt would both write noteNNN.vxt:
  // the second of each pair is refused.
  const RunResult again = Run({"-i", "e", "-o", "v", "note*"}, 1);
  expected = "Преобразование Edasp -> Vortex\n";
  for (const std::string& name : names) {
    const std::string stem = name.substr(0, 7);
    expected += stem + ".edp -> " + stem + ".vxt\n" + "Ошибка! " + name + " не преобразован: " +
                stem + ".vxt уже записан из " + stem + ".edp.\n";
  }
  EXPECT_EQ(again.out, expected + Done(kFiles, kFiles));
  EXPECT_EQ(ListDirectory(dir_.path()).size(), 3u * kFiles + 1);
}

}  // namespace
