// morva's command line end to end: help, options, mode letters, refusals,
// patterns, output naming and the handling of files that fail.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>


#include "support/morva_run.h"
#include "support/temp_dir.h"
#include "support/text_bytes.h"
#include "project_version.h"
#include "support/program_platform.h"

namespace {

const std::string kHelp = R"(
Конвертор текстов Win <--> БК
Использование:
morva -h (--help)
  Вывод этой справки.
morva --version - вывод номера версии.
morva [-i<in_mode>] [-o<out_mode>] [-t<n>] <InputFile1.ext> {<InputFileN.ext> ...}
  -i<in_mode> (--input <in_mode>) - задать формат входного файла.
  Возможные режимы: a - автоопределение (по умолчанию, если параметр
      отсутствует). Не работает для БКшных файлов. Они опознаются как
      файл в KOI8R, и будут обработаны неправильно.
                    b - Basic ASC файлы. InputFile1.ext должен быть
      заголовочным .ASC файлом в .bin формате.
                    u - Unicode UTF-16LE или Unicode UTF-8, форматы
      корректно определяются даже без BOM.
                    w - Windows CP-1251
                    o - OEM CP-866
                    k - KOI8R (набор символов БК)
                    r - KOI8R (стандарт, с буквой ё)
                    e - БКшный файл в формате Edasp
                    d - БКшный файл в стандарте Edasp (читается как e)
                    v - БКшный файл в формате Vortex

  -o<out_mode> (--output <out_mode>) - задать формат выходного файла.
  Возможные режимы: u - Unicode UTF-16LE (по умолчанию, если параметр
      отсутствует)
                    8 - Unicode UTF-8
                    w - Windows CP-1251
                    o - OEM CP-866
                    k - KOI8R (набор символов БК)
                    r - KOI8R (стандарт, с буквой ё)
                    e - БКшный файл в формате Edasp
                    d - БКшный файл в стандарте Edasp (без сжатия пробелов)
                    v - БКшный файл в формате Vortex
                    b - Basic ASC файлы (Имеет смысл только для листингов
      текстов на Бейсике).

  -t<n> (--tab <n>) - задать ширину табулятора для входного файла.
      Допускаются значения от 2 до 16, остальные игнорируются.
      Принятые значения по умолчанию: для файлов Windows tab = 4,
      для файлов БК tab = 8.

  InputFile1.ext - входной файл. Допускается использование масок файлов.
)";

std::string Help() { return kHelp.substr(1); }  // the literal starts after a line feed

TEST(MorvaCommandLineTest, HelpWithoutArgumentsOrWithHelpAnywhere) {
  TempDir dir;
  WriteFileBytes(dir / "x.edp", {'a'});
  const std::vector<std::vector<std::string>> commands = {
      {"-h"},
      {"--help"},
      {"--he"},
      {"x.edp", "-h"},
      {"-ie", "-ou", "x.edp", "-h", "-q"},
      {"-ie", "-h", "-i", "q"},
  };
  for (const auto& args : commands) {
    const RunResult run = RunMorva(dir.path(), args);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, Help()) << testing::PrintToString(args);
    EXPECT_EQ(run.err, "");
  }
  // Windows' own way to ask, alone on the line (elsewhere a pattern).
  if (kProgramsOnWindows) {
    const RunResult slash = RunMorva(dir.path(), {"/?"});
    EXPECT_EQ(slash.out, Help());
    EXPECT_EQ(slash.exitStatus, 0);
  }
  // Nothing at all to do is a usage error, with the same help text.
  const RunResult bare = RunMorva(dir.path(), {});
  EXPECT_EQ(bare.out, Help());
  EXPECT_EQ(bare.exitStatus, 2);
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"x.edp"});
}

TEST(MorvaCommandLineTest, VersionIsOneLineAndEndsTheRunLikeHelp) {
  // The version's form (X.Y.Z) is korvid's test's: both show the project's.
  const std::string version = "morva " PROJECT_VERSION_TEXT "\n";
  TempDir dir;
  WriteFileBytes(dir / "x.txt", {'a'});
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--version"}, {"--ver"}, {"-o", "e", "x.txt", "--version"}, {"--version", "-i", "q"}}) {
    const RunResult run = RunMorva(dir.path(), args);
    EXPECT_EQ(run.out, version) << testing::PrintToString(args);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitStatus, 0);
  }
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"x.txt"});
  // A long option only, without an argument.
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"-V", "x.txt"}, {"--version=1", "x.txt"}}) {
    const RunResult run = RunMorva(dir.path(), args);
    EXPECT_EQ(run.out, Help()) << testing::PrintToString(args);
    EXPECT_NE(run.err, "");
    EXPECT_EQ(run.exitStatus, 2);
  }
  EXPECT_EQ(RunMorva(dir.path(), {"-h", "--version"}).out, Help());
}

TEST(MorvaCommandLineTest, LettersOutsideTheirSetGiveTheHelp) {
  TempDir dir;
  WriteFileBytes(dir / "x.txt", {'a'});
  for (const auto& args : std::vector<std::vector<std::string>>{{"-i", "q", "x.txt"},
                                                                {"-o", "a", "x.txt"},
                                                                {"-i", "8", "x.txt"},
                                                                {"--output=ё", "x.txt"},
                                                                {"-o", " u", "x.txt"}}) {
    const RunResult run = RunMorva(dir.path(), args);
    EXPECT_EQ(run.out, Help()) << testing::PrintToString(args);
    EXPECT_EQ(run.exitStatus, 2);
  }
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"x.txt"});
}

TEST(MorvaCommandLineTest, RefusedPairsAreAnnouncedFirst) {
  TempDir dir;
  WriteFileBytes(dir / "a.txt", {'a'});
  RunResult run = RunMorva(dir.path(), {"-i", "w", "-o", "w", "a.txt"});
  EXPECT_EQ(run.out, Announce("Windows 1251", "Windows 1251") +
                         "Бессмысленное преобразование делать не будем.\n");
  EXPECT_EQ(run.exitStatus, 2);
  for (const char* letter : {"u", "o", "k", "r", "e", "d", "v", "b"}) {
    run = RunMorva(dir.path(), {std::string("-i") + letter, std::string("--output=") + letter, "a.txt"});
    EXPECT_NE(run.out.find("Бессмысленное преобразование делать не будем.\n"), std::string::npos)
        << letter;
    EXPECT_EQ(run.out.find("Готово"), std::string::npos);
    EXPECT_EQ(run.exitStatus, 2);
  }
  run = RunMorva(dir.path(), {"-ib", "-ov", "x"});
  EXPECT_EQ(run.out, Announce("Basic ASC", "Vortex") +
                         "Такое преобразование невозможно по техническим причинам.\n");
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"a.txt"});
}

TEST(MorvaCommandLineTest, OptionForms) {
  TempDir dir;
  const std::string edasp = Announce("Edasp", "Unicode UTF-16LE") + Done(0);
  // Case of the letter, long names, abbreviations, "=" forms, only the first
  // character counts, a later option wins, an empty argument keeps the mode.
  for (const auto& args : std::vector<std::vector<std::string>>{{"-ie"},
                                                                {"-i", "E"},
                                                                {"--input", "edasp"},
                                                                {"--in=e"},
                                                                {"-iw", "-ie"},
                                                                {"-ie", "-i", ""},
                                                                {"-ie", "--input="},
                                                                {"-ie", "-ou", "-t", "3"}}) {
    const RunResult run = RunMorva(dir.path(), args);
    EXPECT_EQ(run.out, edasp) << testing::PrintToString(args);
    EXPECT_EQ(run.err, "");
  }
  EXPECT_EQ(RunMorva(dir.path(), {"-o8", "--tab=5"}).out, Announce("Авто", "Unicode UTF-8") + Done(0));
  EXPECT_EQ(RunMorva(dir.path(), {"--output", "KOI"}).out, Announce("Авто", "KOI8R") + Done(0));
}

TEST(MorvaCommandLineTest, UnknownOptionOrMissingArgumentEndsTheRunBeforeAnyFile) {
  TempDir dir;
  WriteFileBytes(dir / "a.edp", {'a'});
  // getopt_long reports the option on the error stream; the help follows.
  const std::vector<std::pair<std::vector<std::string>, std::string>> commands = {
      {{"-x", "-ie", "a.edp"}, "-- 'x'"},
      {{"-ie", "a.edp", "--bogus"}, "bogus"},
      {{"-ie", "a.edp", "-o"}, "-- 'o'"},
      {{"a.edp", "--input"}, "input"},
      {{"-ie", "a.edp", "-x", "-h"}, "-- 'x'"},  // the first error ends the parsing
  };
  for (const auto& [args, diagnostic] : commands) {
    const RunResult run = RunMorva(dir.path(), args);
    EXPECT_EQ(run.out, Help()) << testing::PrintToString(args);
    EXPECT_NE(run.err.find(diagnostic), std::string::npos) << run.err;
    EXPECT_EQ(run.exitStatus, 2);
  }
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"a.edp"});
}

TEST(MorvaCommandLineTest, AConsoleWindowShowsBothStreamsAsCharacters) {
  if (!kProgramsOnWindows) GTEST_SKIP() << "a terminal on Linux shows the bytes as they are";
  const std::string script = FindOnPath("script");
  if (script.empty()) GTEST_SKIP() << "no script(1) to give the program a terminal";
  // On a terminal Wine gives the program a console window whose code page is
  // not UTF-8: text that went there as bytes would show as '╨▓╤Е╨╛╨┤'. A
  // wide terminal, so that no line is broken.
  TempDir dir;
  RunOptions options;
  options.workingDirectory = dir.path();
  const RunResult run = RunProgram(
      script, {"-qec", "stty cols 400; '" MORVA_BINARY "' --вход=e", "/dev/null"}, options);
  EXPECT_NE(run.out.find(": unrecognized option '--вход=e'"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Конвертор текстов Win <--> БК"), std::string::npos) << run.out;
  EXPECT_EQ(run.exitStatus, kMorvaUsage);
}

TEST(MorvaCommandLineTest, DoubleDashAndPosixlyCorrect) {
  TempDir dir;
  WriteFileBytes(dir / "a.edp", {'a'});
  RunResult run = RunMorva(dir.path(), {"-ie", "--", "-h"});
  EXPECT_EQ(run.out,
            Announce("Edasp", "Unicode UTF-16LE") + "Файл(ы) '-h' не найден(ы)\n" + Done(0));
  // Options after a pattern count, unless POSIXLY_CORRECT stops at the first one.
  run = RunMorva(dir.path(), {"a.edp", "-ie"});
  EXPECT_EQ(run.out, Announce("Edasp", "Unicode UTF-16LE") + "a.edp -> a.txt\n" + Done(1));
  RunOptions posix;
  posix.environment = {{"POSIXLY_CORRECT", "1"}};
  run = RunMorva(dir.path(), {"-ov", "a.edp", "-ie"}, posix);
  EXPECT_EQ(run.out.substr(0, run.out.find('\n') + 1), Announce("Авто", "Vortex"));
  EXPECT_NE(run.out.find("Файл(ы) '-ie' не найден(ы)\n" + Done(1)), std::string::npos) << run.out;
}

TEST(MorvaPatternTest, NamingPerFileLinesAndCount) {
  TempDir dir;
  for (const char* name : {"prog.bas", "notes", "a.b.c", "readme.txt", "readme.TXT"}) {
    WriteFileBytes(dir / name, {'a'});
  }
  const RunResult run =
      RunMorva(dir.path(), {"-ie", "prog.bas", "notes", "a.b.c", "readme.txt", "readme.TXT"});
  // Windows names ignore case: there .TXT is the output's own extension, and
  // readme.TXT.txt is the file readme.txt has written.
  // A refused file gets no "NAME -> OUT" line; its message names it, and
  // the count says that one file was not converted.
  const std::string secondReadme =
      kProgramsOnWindows
          ? "Ошибка! readme.TXT не преобразован: readme.TXT.txt уже записан из readme.txt.\n"
          : "Ошибка! readme.TXT не преобразован: readme.txt - входной файл, он не будет "
            "перезаписан.\n";
  EXPECT_EQ(run.out, Announce("Edasp", "Unicode UTF-16LE") + "prog.bas -> prog.txt\n" +
                         "notes -> notes.txt\n" + "a.b.c -> a.b.txt\n" +
                         "readme.txt -> readme.txt.txt\n" + secondReadme + Done(4, 1));
  EXPECT_EQ(run.exitStatus, 1);
  // readme.TXT -> readme.txt would overwrite the input of the line before;
  // the output of readme.txt itself went to readme.txt.txt.
  EXPECT_EQ(ReadFileBytes(dir / "readme.txt"), Bytes{'a'});
  EXPECT_EQ(ReadFileBytes(dir / "readme.txt.txt"), Utf16File(u"a"));
  EXPECT_EQ(ReadFileBytes(dir / "a.b.txt"), Utf16File(u"a"));

  TempDir other;
  WriteFileBytes(other / "x.txt", {'a'});
  for (const auto& [mode, name] : std::vector<std::pair<std::string, std::string>>{
           {"-oe", "x.edp"},
           {"-od", "x.edp"},
           {"-ov", "x.vxt"},
           {"-ob", "x     .ASC.bin"},
           {"-o8", "x.txt.txt"}}) {
    const RunResult named = RunMorva(other.path(), {"-iw", mode, "x.txt"});
    EXPECT_NE(named.out.find("x.txt -> " + name + "\n"), std::string::npos) << named.out;
  }
}

TEST(MorvaPatternTest, WildcardsDirectoriesAndMissingFiles) {
  TempDir dir;
  WriteFileBytes(dir / "b.edp", {'b'});
  WriteFileBytes(dir / "a.edp", {'a'});
  WriteFileBytes(dir / "c.txt", {'c'});
  WriteFileBytes(dir / "C.EDP", {'C'});  // a BK disk's name: Windows matches it to *.edp
  mkdir((dir / "sub.edp").c_str(), 0700);
  mkdir((dir / "only").c_str(), 0700);
  mkdir((dir / "only/d1.edp").c_str(), 0700);
  const RunResult run =
      RunMorva(dir.path(), {"-ie", "-o8", "*.edp", "none*.edp", "?.edp", "only/*", "only", "missing.edp"});
  // "?.edp" matches the files of "*.edp" again: each is converted once.
  EXPECT_EQ(run.out, Announce("Edasp", "Unicode UTF-8") +
                         (kProgramsOnWindows ? "C.EDP -> C.txt\n" : "") + "a.edp -> a.txt\n" +
                         "b.edp -> b.txt\n" + "Файл(ы) 'none*.edp' не найден(ы)\n" +
                         "Файл(ы) 'missing.edp' не найден(ы)\n" + Done(kProgramsOnWindows ? 3 : 2));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ReadFileBytes(dir / "b.txt"), Utf8File(u"b"));
}

TEST(MorvaPatternTest, OutputsOfTheRunAreNeverItsInputs) {
  TempDir dir;
  WriteFileBytes(dir / "a.edp", {'a'});
  WriteFileBytes(dir / "b.edp", {'b'});
  const RunResult run = RunMorva(dir.path(), {"-ie", "-ov", "*.edp", "*"});
  EXPECT_EQ(run.out, Announce("Edasp", "Vortex") + "a.edp -> a.vxt\n" + "b.edp -> b.vxt\n" +
                         Done(2));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(ListDirectory(dir.path()),
            (std::vector<std::string>{"a.edp", "a.vxt", "b.edp", "b.vxt"}));
}

TEST(MorvaPatternTest, PatternWithADirectoryPartWritesBesideTheInput) {
  TempDir dir;
  mkdir((dir / "texts").c_str(), 0700);
  WriteFileBytes(dir / "texts/x.edp", {'x', 0x0A, 'y'});
  WriteFileBytes(dir / "x.edp", {'w', 'r', 'o', 'n', 'g'});
  const RunResult run = RunMorva(dir.path(), {"-ie", "texts/*.edp", "texts/x.edp"});
  EXPECT_EQ(run.out, Announce("Edasp", "Unicode UTF-16LE") + "texts/x.edp -> texts/x.txt\n" +
                         Done(1));
  EXPECT_EQ(ReadFileBytes(dir / "texts/x.txt"), Utf16File(u"x\ny"));
  EXPECT_FALSE(FileExists(dir / "x.txt"));
  // Absolute patterns work the same way.
  const RunResult absolute = RunMorva(dir.path(), {"-ie", "-ov", dir / "texts/?.edp"});
  EXPECT_NE(absolute.out.find(dir / "texts/x.edp -> " + dir / "texts/x.vxt\n"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(dir / "texts/x.vxt"), (Bytes{'x', 0x00, 'y'}));
}

TEST(MorvaFailureTest, InputThatCannotBeOpenedIsCountedAsFailed) {
  SKIP_FOR_WINDOWS_PROGRAMS("a dangling symbolic link");
  TempDir dir;
  ASSERT_EQ(symlink("nowhere.edp", (dir / "dangling.edp").c_str()), 0);
  WriteFileBytes(dir / "good.edp", {'g'});
  const RunResult run = RunMorva(dir.path(), {"-ie", "-ok", "*.edp"});
  EXPECT_EQ(run.out, Announce("Edasp", "KOI8R") + "dangling.edp -> dangling.txt\n" +
                         "Ошибка! dangling.edp не открывается.\n" + "good.edp -> good.txt\n" +
                         Done(1, 1));
  EXPECT_FALSE(FileExists(dir / "dangling.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "good.txt"), Bytes{'g'});
}

// A FIFO would hang the run, and a pipe or a device would give an output
// that looks converted; only regular files are read.
TEST(MorvaFailureTest, InputsThatAreNoRegularFilesAreRefused) {
  SKIP_FOR_WINDOWS_PROGRAMS("FIFOs and /dev");
  TempDir dir;
  ASSERT_EQ(mkfifo((dir / "fifo.edp").c_str(), 0600), 0);
  ASSERT_EQ(symlink("/dev/zero", (dir / "zero.edp").c_str()), 0);  // would never end
  WriteFileBytes(dir / "text.edp", {'t'});
  RunOptions quick;
  quick.timeoutSeconds = 20;
  const RunResult run = RunMorva(dir.path(), {"-ie", "*.edp", "/dev/stdin"}, quick);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.out, Announce("Edasp", "Unicode UTF-16LE") +
                         "Ошибка! fifo.edp не является обычным файлом.\n" +
                         "text.edp -> text.txt\n" +
                         "Ошибка! zero.edp не является обычным файлом.\n" +
                         "Ошибка! /dev/stdin не является обычным файлом.\n" + Done(1, 3));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ListDirectory(dir.path()),
            (std::vector<std::string>{"fifo.edp", "text.edp", "text.txt", "zero.edp"}));
}

TEST(MorvaFailureTest, OutputThatIsTheInputIsNeverOpened) {
  TempDir dir;
  const Bytes text = {'t', 'e', 'x', 't'};
  WriteFileBytes(dir / "a.edp", text);
  // Like readme.TXT and readme.txt on a file system that ignores case.
  ASSERT_EQ(link((dir / "a.edp").c_str(), (dir / "a.txt").c_str()), 0);
  const RunResult run = RunMorva(dir.path(), {"-ie", "a.edp"});
  EXPECT_EQ(run.out, Announce("Edasp", "Unicode UTF-16LE") +
                         "Ошибка! a.edp не преобразован: a.txt - входной файл, он не будет "
                         "перезаписан.\n" + Done(0, 1));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ReadFileBytes(dir / "a.edp"), text);
}

TEST(MorvaFailureTest, FailedWriteIsReportedAndThePartialOutputRemoved) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  WriteFileBytes(dir / "a.edp", {'a', 'b'});
  ASSERT_EQ(symlink("/dev/full", (dir / "a.txt").c_str()), 0);
  RunResult run = RunMorva(dir.path(), {"-ie", "a.edp"});
  EXPECT_EQ(run.out, Announce("Edasp", "Unicode UTF-16LE") + "a.edp -> a.txt\n" +
                         "Ошибка! a.txt не записывается, неполный файл удалён.\n" + Done(0, 1));

  // A regular file cut off by the file size limit is removed.
  Bytes big(100000, 'x');
  WriteFileBytes(dir / "big.edp", big);
  run = RunProgram("/bin/sh",
                   {"-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\"", MORVA_BINARY, "-ie",
                    "-o8", "big.edp"},
                   RunOptions{dir.path(), {}, 60});
  EXPECT_EQ(run.out, Announce("Edasp", "Unicode UTF-8") + "big.edp -> big.txt\n" +
                         "Ошибка! big.txt не записывается, неполный файл удалён.\n" + Done(0, 1));
  EXPECT_FALSE(FileExists(dir / "big.txt"));
}

}  // namespace
