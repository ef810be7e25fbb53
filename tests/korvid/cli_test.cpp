// korvid's command line, run as a user runs it: console text compared
// exactly, and the files it leaves behind.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

const std::string kHelp =
    "Кросс мультитул korvid для БК-0010(01) БК-0011(М)\n"
    "\n"
    "Использование:\n"
    "korvid -? (--help)\n"
    "  Вывод этой справки.\n"
    "\n"
    "korvid -t<name> [-d][-l][-r][-u][-w<0addr>] <input_file_name> [output_file_name]\n"
    "  -t<name> (--tool name) - выбор необходимого инструмента.\n"
    "      name: DORVIK - упаковщик/распаковщик Dorvik.\n"
    "            BKGRANOL - упаковщик/распаковщик Granoler.\n"
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

class KorvidCli : public ::testing::Test {
 protected:
  RunResult Run(const std::vector<std::string>& args, RunOptions options = {}) {
    options.workingDirectory = dir_.path();
    // The program's own behaviour must not depend on the caller's settings.
    options.environment.push_back({"POSIXLY_CORRECT", ""});
    options.environment.push_back({"LANG", "C"});
    options.environment.push_back({"LC_ALL", "C"});
    RunResult result = RunProgram(KORVID_BINARY, args, options);
    EXPECT_EQ(result.exitStatus, 0);
    return result;
  }
  std::vector<std::string> Files() const { return ListDirectory(dir_.path()); }

  TempDir dir_;
};

TEST_F(KorvidCli, NoArgumentsReportsTheMissingInputAndShowsHelp) {
  const RunResult r = Run({});
  EXPECT_EQ(r.out, kNoInput + kHelp);
  EXPECT_EQ(r.err, "");
}

TEST_F(KorvidCli, HelpOptionsShowHelpOnly) {
  for (const char* option : {"-?", "--help", "--he"}) {
    const RunResult r = Run({option, "-t", "dorvik", "game.bin"});
    EXPECT_EQ(r.out, kHelp) << option;
    EXPECT_EQ(r.err, "") << option;
  }
}

TEST_F(KorvidCli, ParseErrorsShowTheParserDiagnosticAndHelp) {
  WriteFileBytes(dir_ / "game.bin", MakeBkFile(01000, Bytes(10, 1)));
  const RunResult unknown = Run({"-x", "-t", "dorvik", "game.bin"});
  EXPECT_EQ(unknown.out, kHelp);
  EXPECT_NE(unknown.err.find("invalid option"), std::string::npos) << unknown.err;

  const RunResult missing = Run({"game.bin", "-t"});
  EXPECT_EQ(missing.out, kHelp);
  EXPECT_NE(missing.err.find("requires an argument"), std::string::npos) << missing.err;
  EXPECT_EQ(Files(), std::vector<std::string>{"game.bin"});
}

TEST_F(KorvidCli, UnknownKeywordShowsHelpEvenAfterAValidOne) {
  for (const char* keyword : {"DORVIKX", "bkgran", "granol"}) {
    const RunResult r = Run({"-t", "dorvik", "-t", keyword, "absent.bin"});
    EXPECT_EQ(r.out, kHelp) << keyword;
  }
}

TEST_F(KorvidCli, InputWithoutMethodIsReportedBeforeAnythingIsRead) {
  const RunResult r = Run({"absent.bin"});
  EXPECT_EQ(r.out, kNoTool + kHelp);
  const RunResult options = Run({"-r", "-d", "-w", "40000"});
  EXPECT_EQ(options.out, kNoInput + kHelp);
}

TEST_F(KorvidCli, InputNameMayComeBeforeTheOptions) {
  const RunResult r = Run({"absent.bin", "-t", "bkgranol"});
  EXPECT_EQ(r.out, "Ошибка:: файл не найден.\n");
}

TEST_F(KorvidCli, PosixlyCorrectStopsAtTheFirstFileName) {
  RunOptions options;
  options.environment.push_back({"POSIXLY_CORRECT", "1"});
  options.workingDirectory = dir_.path();
  const RunResult r = RunProgram(KORVID_BINARY, {"absent.bin", "-t", "bkgranol"}, options);
  EXPECT_EQ(r.out, kNoTool + kHelp);
}

TEST_F(KorvidCli, ReadFailuresLeaveNoOutput) {
  for (size_t size = 0; size < 4; ++size) {
    WriteFileBytes(dir_ / "tiny.bin", Bytes(size, 0x55));
    const RunResult r = Run({"-t", "dorvik", "tiny.bin"});
    EXPECT_EQ(r.out, "Ошибка:: не удалось прочитать файл 'tiny.bin'.\n") << size;
  }
  WriteFileBytes(dir_ / "big.bin", Bytes(57344, 0));
  EXPECT_EQ(Run({"-t", "bkgranol", "big.bin"}).out, "Ошибка:: файл слишком большой.\n");
  EXPECT_EQ(Run({"-u", "-t", "dorvik", "missing.dvk"}).out, "Ошибка:: файл не найден.\n");
  EXPECT_EQ(Files(), (std::vector<std::string>{"big.bin", "tiny.bin"}));
}

TEST_F(KorvidCli, OutputThatIsTheInputIsRefusedAndTheInputKept) {
  const Bytes image = MakeBkFile(01000, Bytes(64, 0x11));
  WriteFileBytes(dir_ / "game.bkfile", image);
  const RunResult unpack = Run({"-u", "-t", "dorvik", "game.bkfile"});
  EXPECT_EQ(unpack.out,
            "Распаковываем 'game.bkfile' :: Ошибка:: выходной файл 'game.bkfile' совпадает с "
            "входным, входной файл не будет затёрт.\n");
  WriteFileBytes(dir_ / "game.dvk", image);
  const RunResult pack = Run({"-t", "dorvik", "game.dvk", "./game.txt"});
  EXPECT_EQ(pack.out,
            "Пакуем 'game.dvk' :: Ошибка:: выходной файл './game.dvk' совпадает с входным, "
            "входной файл не будет затёрт.\n");
  EXPECT_EQ(ReadFileBytes(dir_ / "game.bkfile"), image);
  EXPECT_EQ(ReadFileBytes(dir_ / "game.dvk"), image);
}

TEST_F(KorvidCli, ConsoleIsUtf8WithoutAnyLocale) {
  WriteFileBytes(dir_ / "игра.bin", Bytes(2, 0));
  const RunResult r = Run({"-t", "dorvik", "игра.bin"});
  EXPECT_EQ(r.out, "Ошибка:: не удалось прочитать файл 'игра.bin'.\n");
}

TEST_F(KorvidCli, WorkAddressOptionFollowsItsRules) {
  WriteFileBytes(dir_ / "hello.bin", ReadFileBytes(std::string(EXAMPLES_DIR) + "/hello.bin"));
  auto image = [&](std::vector<std::string> options) {
    options.insert(options.begin(), {"-t", "dorvik"});
    options.insert(options.end(), {"hello.bin", "out.bin"});
    EXPECT_EQ(Run(options).out, "Пакуем 'hello.bin' :: .......... OK, Ratio 48%\n");
    return ReadFileBytes(dir_ / "out.dvk");
  };
  const Bytes standard = image({});
  ASSERT_FALSE(standard.empty());
  // The example ends far below 036710: its default area ends at 040000.
  EXPECT_EQ(image({"-w", "40000"}), standard);
  EXPECT_EQ(image({"-w", "140001"}), standard);  // above 0140000: ignored
  EXPECT_EQ(image({"-w", "140000", "-w", "140001"}), image({"-w", "140000"}));
  EXPECT_NE(image({"-w", "140000"}), standard);
  EXPECT_EQ(image({"-w", "200000"}), image({"-w", "0"}));  // wraps to 0
  EXPECT_NE(image({"-w", "0"}), standard);
}

TEST_F(KorvidCli, ExtraArgumentsAndDotsInFolderNames) {
  ASSERT_EQ(mkdir((dir_ / "rel.2").c_str(), 0755), 0);
  WriteFileBytes(dir_ / "rel.2/game", MakeBkFile(01000, Bytes(100, 7)));
  const RunResult r = Run({"-t", "bkgranol", "rel.2/game", "out", "ignored", "also-ignored"});
  EXPECT_EQ(r.out, "Пакуем 'rel.2/game' :: ");
  EXPECT_EQ(Files(), (std::vector<std::string>{"out.grl", "rel.2"}));
  Run({"-t", "bkgranol", "rel.2/game"});  // the last '.' is the folder's
  EXPECT_TRUE(FileExists(dir_ / "rel.grl"));
}

TEST_F(KorvidCli, LargestInputIsAccepted) {
  Bytes data(57343);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  WriteFileBytes(dir_ / "big.bin", data);
  EXPECT_EQ(Run({"-t", "bkgranol", "big.bin"}).out, "Пакуем 'big.bin' :: ");
  EXPECT_EQ(Run({"-u", "-t", "bkgranol", "-r", "big.grl"}).out, "Распаковываем 'big.grl' :: ");
  Bytes padded = data;
  padded.push_back(0);  // odd lengths come back padded to a whole word
  EXPECT_EQ(ReadFileBytes(dir_ / "big.bkfile"), padded);
}

}  // namespace
