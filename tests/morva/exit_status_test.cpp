// morva's exit status end to end, one case for every class of outcome: 0
// when every file was converted (and for -h), 1 when any file failed or a
// pattern matched nothing, 2 for a usage error, which touches no file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "support/morva_run.h"
#include "support/temp_dir.h"
#include "support/text_bytes.h"
#include "support/program_platform.h"

namespace {

struct StatusCase {
  const char* what;
  std::function<void(const TempDir&)> prepare;
  std::vector<std::string> args;
  int status;
  std::string message;  // a line the console must hold; empty: none asked for
};

void Good(const TempDir& dir) { WriteFileBytes(dir / "good.edp", {'g', 0x0A}); }

const Bytes kAscHeader = {0xEE, 0x3D, 0x02, 0x00, 0x00, 0x00};

std::vector<StatusCase> Cases() {
  return {
      {"all converted", Good, {"-ie", "good.edp"}, 0,
       "good.edp -> good.txt\nГотово, обработано 1 файл.\n"},
      {"help", Good, {"-ie", "-h", "good.edp"}, 0, "Использование:\n"},
      {"no pattern at all", Good, {"-ie"}, 0, "Готово, обработано 0 файлов.\n"},
      {"a pattern that matches folders only",
       [](const TempDir& dir) { mkdir((dir / "sub.edp").c_str(), 0700); },
       {"-ie", "*.edp"},
       0,
       "Готово, обработано 0 файлов.\n"},

      {"input that cannot be opened",
       [](const TempDir& dir) { EXPECT_EQ(symlink("nowhere", (dir / "gone.edp").c_str()), 0); },
       {"-ie", "*.edp"},
       1,
       "Ошибка! gone.edp не открывается.\n"},
      {"input that cannot be read",
       [](const TempDir& dir) { EXPECT_EQ(symlink("/proc/self/mem", (dir / "mem.edp").c_str()), 0); },
       {"-ie", "mem.edp"},
       1,
       "Ошибка! mem.edp не читается.\n"},
      {"output name that is a folder",
       [](const TempDir& dir) {
         Good(dir);
         mkdir((dir / "good.txt").c_str(), 0700);
       },
       {"-ie", "good.edp"},
       1,
       "Ошибка! good.edp не преобразован: выходное имя good.txt занято папкой.\n"},
      {"output that cannot be written",
       [](const TempDir& dir) {
         Good(dir);
         EXPECT_EQ(symlink("/dev/full", (dir / "good.txt").c_str()), 0);
       },
       {"-ie", "good.edp"},
       1,
       "Ошибка! good.txt не записывается, неполный файл удалён.\n"},
      {"output that cannot be opened",  // written through a link into no folder
       [](const TempDir& dir) {
         Good(dir);
         EXPECT_EQ(symlink("nowhere/x", (dir / "good.txt").c_str()), 0);
       },
       {"-ie", "good.edp"},
       1,
       "Ошибка! good.txt не открывается для записи: нет такого файла или папки.\n"},
      {"output that is an input",
       [](const TempDir& dir) {
         WriteFileBytes(dir / "x", {'x'});
         WriteFileBytes(dir / "x.txt", {'y'});
       },
       {"-ik", "-o8", "x*"},
       1,
       "Ошибка! x не преобразован: x.txt - входной файл, он не будет перезаписан.\n"},
      {"two inputs for one output",
       [](const TempDir& dir) {
         WriteFileBytes(dir / "a.koi", {'a'});
         WriteFileBytes(dir / "a.txt", {'a'});
       },
       {"-ik", "-oe", "a.txt", "a.koi"},
       1,
       "Ошибка! a.koi не преобразован: a.edp уже записан из a.txt.\n"},
      {"input that is not a regular file",
       [](const TempDir& dir) { EXPECT_EQ(mkfifo((dir / "pipe.edp").c_str(), 0600), 0); },
       {"-ie", "pipe.edp"},
       1,
       "Ошибка! pipe.edp не является обычным файлом.\n"},
      {"BASIC ASC set without its part",
       [](const TempDir& dir) { WriteFileBytes(dir / "s.ASC.bin", kAscHeader); },
       {"-ib", "-oe", "s.ASC.bin"},
       1,
       "Ошибка! s.ASC #000.bin не найден, набор файлов неполон.\n"},
      {"pattern that matches nothing", Good, {"-ie", "good.edp", "none*"}, 1,
       "Файл(ы) 'none*' не найден(ы)\n"},

      {"no arguments", Good, {}, 2, "Использование:\n"},
      {"unknown option", Good, {"-ie", "-z", "good.edp"}, 2, "Использование:\n"},
      {"missing option argument", Good, {"good.edp", "-ie", "-t"}, 2, "Использование:\n"},
      {"letter outside its set", Good, {"-ix", "good.edp"}, 2, "Использование:\n"},
      {"meaningless pair", Good, {"-ie", "-oe", "good.edp"}, 2,
       "Бессмысленное преобразование делать не будем.\n"},
      {"impossible pair", Good, {"-ib", "-ov", "good.edp"}, 2,
       "Такое преобразование невозможно по техническим причинам.\n"},
  };
}

TEST(MorvaExitStatusTest, EveryClassOfOutcome) {
  std::string notForWindows;
  for (const StatusCase& c : Cases()) {
    if (std::string(c.what) == "input that cannot be read" && !FileExists("/proc/self/mem")) {
      continue;  // no file here whose reads fail
    }
    const std::string what = c.what;
    if (kProgramsOnWindows &&
        (what == "input that cannot be opened" || what == "output that cannot be opened" ||
         what == "input that is not a regular file")) {
      notForWindows += " '" + what + "'";  // dangling symbolic links, a FIFO
      continue;
    }
    TempDir dir;
    c.prepare(dir);
    const std::vector<std::string> before = ListDirectory(dir.path());
    const RunResult run = RunMorva(dir.path(), c.args);
    EXPECT_EQ(run.exitStatus, c.status) << c.what << "\n" << run.out << run.err;
    EXPECT_NE(run.out.find(c.message), std::string::npos) << c.what << "\n" << run.out;
    if (c.status == 2) {
      EXPECT_EQ(ListDirectory(dir.path()), before) << c.what;
      EXPECT_EQ(run.out.find("good.edp -> "), std::string::npos) << c.what;
    }
    if (c.status == 1) {
      // Nothing is left of the failed file's output, and no temporary file.
      for (const std::string& name : ListDirectory(dir.path())) {
        EXPECT_NE(name[0], '.') << c.what << ": " << name;
      }
    }
  }
  if (!notForWindows.empty()) GTEST_SKIP() << "not for the Windows programs:" << notForWindows;
}

// A failure does not stop the run: the other files are converted, and the
// status still tells that something went wrong.
TEST(MorvaExitStatusTest, OneFailedFileAmongGoodOnesGivesOne) {
  TempDir dir;
  WriteFileBytes(dir / "a.edp", {'a'});
  WriteFileBytes(dir / "c.edp", {'c'});
  ASSERT_EQ(mkfifo((dir / "b.edp").c_str(), 0600), 0);
  const RunResult run = RunMorva(dir.path(), {"-ie", "-ok", "*.edp"});
  EXPECT_EQ(run.out, "Преобразование Edasp -> KOI8R\n"
                     "a.edp -> a.txt\n"
                     "Ошибка! b.edp не является обычным файлом.\n"
                     "c.edp -> c.txt\n" +
                         Done(2, 1));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ReadFileBytes(dir / "a.txt"), Bytes{'a'});
  EXPECT_EQ(ReadFileBytes(dir / "c.txt"), Bytes{'c'});
  EXPECT_FALSE(FileExists(dir / "b.txt"));
}

}  // namespace
