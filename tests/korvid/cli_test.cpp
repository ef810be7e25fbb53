// korvid's command line, run as a user runs it: console text compared
// exactly, and the files it leaves behind.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "project_version.h"
#include "support/korvid_run.h"
#include "support/program_platform.h"
#include "support/temp_dir.h"

namespace {

const std::string kHelp =
    "Кросс мультитул korvid для БК-0010(01) БК-0011(М)\n"
    "\n"
    "Использование:\n"
    "korvid -? (--help)\n"
    "  Вывод этой справки.\n"
    "korvid --version - вывод номера версии.\n"
    "\n"
    "korvid -t<name> [-d][-l][-r][-u][-w<0addr>] <input_file_name> [output_file_name]\n"
    "  -t<name> (--tool name) - выбор необходимого инструмента.\n"
    "      name: DORVIK - упаковщик/распаковщик Dorvik.\n"
    "            BKGRANOL - упаковщик/распаковщик Granoler.\n"
    "            SOKOL - упаковщик/распаковщик Sokol.\n"
    "\n"
    "  -d (--data) - флаг упаковки данных, а не программы.\n"
    "      По умолчанию упаковка программы.\n"
    "\n"
    "  -l (--long) - использовать длинный автораспаковщик.\n"
    "      По умолчанию - обычный короткий. Не знаю, пользовался ли кто либо\n"
    "      когда-нибудь таким, но функционал сохранён.\n"
    "\n"
    "  -r (--raw) - создавать просто файл, не использовать формат '.bin'.\n"
    "\n"
    "  -u (--unpack) - распаковка запакованного файла.\n"
    "\n"
    "  -w<0addr> (--work 0addr) - задать адрес рабочей области. Только для упаковки\n"
    "      Dorvik. Для простоты, задаётся адрес конца рабочей области, например 040000,\n"
    "      если нужно, чтобы рабочая область располагалась выше области экрана.\n"
    "\n"
    "  input_file_name - входной файл.\n"
    "  output_file_name - необязательное имя выходного файла, если нужно задать\n"
    "      своё имя файла создаваемому новому файлу.\n"
    "  По умолчанию, у выходного имени файла заменяется расширение на '.dvk'\n"
    "  (или на '.bkfile' при распаковке) или добавляется, если его не было.\n";

const std::string kNoInput = "Ошибка в командной строке: не задано имя входного файла.\n\n";
const std::string kNoTool = "Забыли задать рабочий инструмент.\n";

constexpr int kWritten = kKorvidWritten;
constexpr int kFailed = kKorvidFailed;
constexpr int kUsage = kKorvidUsage;

class KorvidCli : public ::testing::Test {
 protected:
  RunResult Run(const std::vector<std::string>& args, int status, RunOptions options = {}) {
    RunResult result = RunKorvid(dir_.path(), args, options);
    std::string line;
    for (const std::string& arg : args) line += arg + " ";
    EXPECT_EQ(result.exitStatus, status) << line << "\n" << result.out;
    return result;
  }
  std::vector<std::string> Files() const { return ListDirectory(dir_.path()); }

  TempDir dir_;
};

TEST_F(KorvidCli, NoArgumentsReportsTheMissingInputAndShowsHelp) {
  const RunResult r = Run({}, kUsage);
  EXPECT_EQ(r.out, kNoInput + kHelp);
  EXPECT_EQ(r.err, "");
}

TEST_F(KorvidCli, HelpOptionsShowHelpOnly) {
  for (const char* option : {"-?", "--help", "--he"}) {
    const RunResult r = Run({option, "-t", "dorvik", "game.bin"}, kWritten);
    EXPECT_EQ(r.out, kHelp) << option;
    EXPECT_EQ(r.err, "") << option;
  }
  // Windows' own way to ask, alone on the line; elsewhere a file name.
  const RunResult slash = Run({"/?"}, kProgramsOnWindows ? kWritten : kUsage);
  EXPECT_EQ(slash.out, kProgramsOnWindows ? kHelp : kNoTool + kHelp);
  EXPECT_EQ(slash.err, "");
}

// X.Y.Z, each a run of decimal digits.
bool IsThreeNumbers(const std::string& text) {
  int numbers = 0;
  size_t digits = 0;
  for (const char c : text + ".") {
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '.' && digits > 0) {
      ++numbers;
      digits = 0;
    } else {
      return false;
    }
  }
  return numbers == 3;
}

TEST_F(KorvidCli, VersionIsOneLineAndEndsTheRunLikeHelp) {
  ASSERT_TRUE(IsThreeNumbers(PROJECT_VERSION_TEXT)) << PROJECT_VERSION_TEXT;
  const std::string version = "korvid " PROJECT_VERSION_TEXT "\n";
  WriteFileBytes(dir_ / "game.bin", MakeBkFile(01000, Bytes(10, 1)));
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--version"},
           {"--v"},
           {"--version", "-t", "dorvik", "game.bin"},
           {"game.bin", "-t", "dorvik", "--version", "-x"}}) {
    const RunResult r = Run(args, kWritten);
    EXPECT_EQ(r.out, version) << args.size();
    EXPECT_EQ(r.err, "");
  }
  EXPECT_EQ(Files(), std::vector<std::string>{"game.bin"});
  // A long option only, without an argument; whichever of help and version
  // comes first is printed.
  EXPECT_EQ(Run({"-V"}, kUsage).err, std::string(KORVID_ARGV0) + ": invalid option -- 'V'\n");
  EXPECT_EQ(Run({"--version=1"}, kUsage).err,
            std::string(KORVID_ARGV0) + ": option '--version' doesn't allow an argument\n");
  EXPECT_EQ(Run({"--help", "--version"}, kWritten).out, kHelp);
  EXPECT_EQ(Run({"--version", "-?"}, kWritten).out, version);
}

TEST_F(KorvidCli, ParseErrorsShowTheParserDiagnosticAndHelp) {
  WriteFileBytes(dir_ / "game.bin", MakeBkFile(01000, Bytes(10, 1)));
  const RunResult unknown = Run({"-x", "-t", "dorvik", "game.bin"}, kUsage);
  EXPECT_EQ(unknown.out, kHelp);
  EXPECT_EQ(unknown.err, std::string(KORVID_ARGV0) + ": invalid option -- 'x'\n");

  const RunResult missing = Run({"game.bin", "-t"}, kUsage);
  EXPECT_EQ(missing.out, kHelp);
  EXPECT_EQ(missing.err, std::string(KORVID_ARGV0) + ": option requires an argument -- 't'\n");

  EXPECT_EQ(Run({"game.bin", "--tool"}, kUsage).err,
            std::string(KORVID_ARGV0) + ": option '--tool' requires an argument\n");
  EXPECT_EQ(Run({"--bogus", "game.bin"}, kUsage).err,
            std::string(KORVID_ARGV0) + ": unrecognized option '--bogus'\n");
  EXPECT_EQ(Run({"--raw=1", "game.bin"}, kUsage).err,
            std::string(KORVID_ARGV0) + ": option '--raw' doesn't allow an argument\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"game.bin"});
}

TEST_F(KorvidCli, UnknownKeywordIsNamedBeforeTheHelpEvenAfterAValidOne) {
  for (const char* keyword : {"DORVIKX", "bkgran", "granol", "игра"}) {
    const RunResult r = Run({"-t", "dorvik", "-t", keyword, "absent.bin"}, kUsage);
    EXPECT_EQ(r.out, "Ошибка в командной строке: неизвестный инструмент '" + std::string(keyword) +
                         "'.\n\n" + kHelp);
  }
}

TEST_F(KorvidCli, InputWithoutMethodIsReportedBeforeAnythingIsRead) {
  const RunResult r = Run({"absent.bin"}, kUsage);
  EXPECT_EQ(r.out, kNoTool + kHelp);
  const RunResult options = Run({"-r", "-d", "-w", "40000"}, kUsage);
  EXPECT_EQ(options.out, kNoInput + kHelp);
}

TEST_F(KorvidCli, InputNameMayComeBeforeTheOptions) {
  const RunResult r = Run({"absent.bin", "-t", "bkgranol"}, kFailed);
  EXPECT_EQ(r.out, "Ошибка:: файл не найден.\n");
}

TEST_F(KorvidCli, PosixlyCorrectStopsAtTheFirstFileName) {
  RunOptions options;
  options.environment.push_back({"POSIXLY_CORRECT", "1"});
  const RunResult r = RunKorvid(dir_.path(), {"absent.bin", "-t", "bkgranol"}, options);
  EXPECT_EQ(r.out, kNoTool + kHelp);
  EXPECT_EQ(r.exitStatus, kUsage);
}

TEST_F(KorvidCli, ReadFailuresLeaveNoOutput) {
  for (size_t size = 0; size < 4; ++size) {
    WriteFileBytes(dir_ / "tiny.bin", Bytes(size, 0x55));
    const RunResult r = Run({"-t", "dorvik", "tiny.bin"}, kFailed);
    EXPECT_EQ(r.out, "Ошибка:: файл 'tiny.bin' слишком короткий, в нём меньше 4 байт.\n") << size;
  }
  WriteFileBytes(dir_ / "big.bin", Bytes(57344, 0));
  EXPECT_EQ(Run({"-t", "bkgranol", "big.bin"}, kFailed).out, "Ошибка:: файл слишком большой.\n");
  EXPECT_EQ(Run({"-u", "-t", "dorvik", "missing.dvk"}, kFailed).out, "Ошибка:: файл не найден.\n");
  // A FIFO would block the read for ever, and a folder reads as nothing.
  ASSERT_EQ(mkfifo((dir_ / "pipe.bin").c_str(), 0644), 0);
  EXPECT_EQ(Run({"-t", "dorvik", "pipe.bin"}, kFailed).out,
            "Ошибка:: 'pipe.bin' не является обычным файлом.\n");
  ASSERT_EQ(mkdir((dir_ / "folder.bin").c_str(), 0755), 0);
  EXPECT_EQ(Run({"-t", "bkgranol", "folder.bin"}, kFailed).out,
            "Ошибка:: 'folder.bin' не является обычным файлом.\n");
  EXPECT_EQ(Files(), (std::vector<std::string>{"big.bin", "folder.bin", "pipe.bin", "tiny.bin"}));
}

TEST_F(KorvidCli, OutputThatIsTheInputIsRefusedAndTheInputKept) {
  const Bytes image = MakeBkFile(01000, Bytes(64, 0x11));
  WriteFileBytes(dir_ / "game.bkfile", image);
  const RunResult unpack = Run({"-u", "-t", "dorvik", "game.bkfile"}, kFailed);
  EXPECT_EQ(unpack.out,
            "Распаковываем 'game.bkfile' :: Ошибка:: выходной файл 'game.bkfile' совпадает с "
            "входным, входной файл не будет затёрт.\n");
  WriteFileBytes(dir_ / "game.dvk", image);
  const RunResult pack = Run({"-t", "dorvik", "game.dvk", "./game.txt"}, kFailed);
  EXPECT_EQ(pack.out,
            "Пакуем 'game.dvk' :: Ошибка:: выходной файл './game.dvk' совпадает с входным, "
            "входной файл не будет затёрт.\n");
  EXPECT_EQ(ReadFileBytes(dir_ / "game.bkfile"), image);
  EXPECT_EQ(ReadFileBytes(dir_ / "game.dvk"), image);
}

TEST_F(KorvidCli, ConsoleIsUtf8WithoutAnyLocale) {
  WriteFileBytes(dir_ / "игра.bin", Bytes(2, 0));
  const RunResult r = Run({"-t", "dorvik", "игра.bin"}, kFailed);
  EXPECT_EQ(r.out, "Ошибка:: файл 'игра.bin' слишком короткий, в нём меньше 4 байт.\n");
}

TEST_F(KorvidCli, WorkAddressOptionFollowsItsRules) {
  WriteFileBytes(dir_ / "hello.bin", ReadFileBytes(std::string(EXAMPLES_DIR) + "/hello.bin"));
  auto image = [&](std::vector<std::string> options) {
    options.insert(options.begin(), {"-t", "dorvik"});
    options.insert(options.end(), {"hello.bin", "out.bin"});
    EXPECT_EQ(Run(options, kWritten).out, "Пакуем 'hello.bin' :: .......... OK, Ratio 48%, ~0,0 с на БК-0010\n");
    return ReadFileBytes(dir_ / "out.dvk");
  };
  const Bytes standard = image({});
  ASSERT_FALSE(standard.empty());
  // The example ends far below 036710: its default area ends at 040000.
  EXPECT_EQ(image({"-w", "40000"}), standard);
  EXPECT_EQ(image({"-w", "040000"}), standard);
  EXPECT_EQ(image({"-w", "140000", "-w", "40000"}), standard);  // the last one counts
  EXPECT_NE(image({"-w", "140000"}), standard);
  EXPECT_NE(image({"-w", "0"}), standard);
}

TEST_F(KorvidCli, WorkAddressThatIsNoOctalNumberInRangeIsAUsageError) {
  WriteFileBytes(dir_ / "hello.bin", ReadFileBytes(std::string(EXAMPLES_DIR) + "/hello.bin"));
  auto refusal = [](const std::string& value) {
    return "Ошибка в командной строке: адрес рабочей области '" + value +
           "' должен быть восьмеричным числом от 0 до 0140000.\n\n" + kHelp;
  };
  for (const char* value : {"abc", "0x4000", "08", "-1", "-40000", "140001", "200000", "", "4e4"}) {
    EXPECT_EQ(Run({"-t", "dorvik", "-w", value, "hello.bin"}, kUsage).out, refusal(value));
  }
  // A good value before a wrong one does not save the run.
  EXPECT_EQ(Run({"--work=77", "-t", "dorvik", "--work", "9", "hello.bin"}, kUsage).out, refusal("9"));
  EXPECT_EQ(Files(), std::vector<std::string>{"hello.bin"});
}

TEST_F(KorvidCli, OutputGoesBesideTheGivenNameWhoseLastComponentAloneHasAnExtension) {
  ASSERT_EQ(mkdir((dir_ / "rel.2").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir_ / "my.games").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir_ / "out.d").c_str(), 0755), 0);
  const Bytes program = MakeBkFile(01000, Bytes(100, 7));
  WriteFileBytes(dir_ / "rel.2/game", program);
  WriteFileBytes(dir_ / "my.games/river", program);
  WriteFileBytes(dir_ / "game", program);
  WriteFileBytes(dir_ / ".hidden", program);
  const std::string line = " OK, Ratio 274%, ~0,0 с на БК-0010\n";
  // Extra arguments after the output name are ignored.
  EXPECT_EQ(Run({"-t", "bkgranol", "rel.2/game", "out", "ignored", "also-ignored"}, kWritten).out,
            "Пакуем 'rel.2/game' :: " + line);
  EXPECT_TRUE(FileExists(dir_ / "out.grl"));
  Run({"-t", "bkgranol", "rel.2/game"}, kWritten);
  EXPECT_TRUE(FileExists(dir_ / "rel.2/game.grl"));
  Run({"-t", "dorvik", "my.games/river"}, kWritten);
  EXPECT_TRUE(FileExists(dir_ / "my.games/river.dvk"));
  Run({"-t", "dorvik", "./game"}, kWritten);
  EXPECT_TRUE(FileExists(dir_ / "game.dvk"));
  Run({"-t", "dorvik", "game", "out.d/packed"}, kWritten);
  EXPECT_TRUE(FileExists(dir_ / "out.d/packed.dvk"));
  Run({"-t", "dorvik", ".hidden"}, kWritten);
  EXPECT_TRUE(FileExists(dir_ / ".hidden.dvk"));
  EXPECT_EQ(Files(), (std::vector<std::string>{".hidden", ".hidden.dvk", "game", "game.dvk", "my.games",
                                               "out.d", "out.grl", "rel.2"}));
  EXPECT_EQ(ListDirectory(dir_ / "rel.2"), (std::vector<std::string>{"game", "game.grl"}));
  EXPECT_EQ(ListDirectory(dir_ / "out.d"), (std::vector<std::string>{"packed.dvk"}));
}

TEST_F(KorvidCli, LargestInputIsAccepted) {
  Bytes data(57343);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>("10 PRINT \"BK\"\n"[i % 14]);
  WriteFileBytes(dir_ / "big.bin", data);
  const RunResult pack = Run({"-t", "bkgranol", "big.bin"}, kWritten);
  const size_t image = ReadFileBytes(dir_ / "big.grl").size() - 4;
  EXPECT_EQ(pack.out, "Пакуем 'big.bin' ::  OK, Ratio " + std::to_string(image * 100 / 57343) +
                          "%, ~1,2 с на БК-0010\n");
  EXPECT_EQ(Run({"-u", "-t", "bkgranol", "-r", "big.grl"}, kWritten).out, "Распаковываем 'big.grl' ::  OK\n");
  Bytes padded = data;
  padded.push_back(0);  // odd lengths come back padded to a whole word
  EXPECT_EQ(ReadFileBytes(dir_ / "big.bkfile"), padded);
}

}  // namespace
