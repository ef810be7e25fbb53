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
    "korvid -t<name> [-a<0addr>][-d][-l][-r][-u][-w<0addr>] <input_file_name> [output_file_name]\n"
    "  -t<name> (--tool name) - выбор необходимого инструмента.\n"
    "      name: DORVIK - упаковщик/распаковщик Dorvik.\n"
    "            BKGRANOL - упаковщик/распаковщик Granol.\n"
    "            SOKOL - упаковщик/распаковщик Sokol.\n"
    "\n"
    "  -a<0addr> (--address 0addr) - адрес загрузки входного файла без заголовка,\n"
    "      восьмеричный. При распаковке нужен, только если образ сам его не задаёт;\n"
    "      по умолчанию 01000.\n"
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
    "      своё имя файла создаваемому новому файлу, или папка для него.\n"
    "  У выходного имени файла заменяется расширение (или добавляется, если его\n"
    "  не было):\n"
    "      '.dvk' - упаковка Dorvik\n"
    "      '.grl' - упаковка Granol\n"
    "      '.skl' - упаковка Sokol\n"
    "      '.bkfile' - распаковка\n";

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
  EXPECT_EQ(r.out, "Ошибка:: файл 'absent.bin' не найден.\n");
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
  EXPECT_EQ(Run({"-t", "bkgranol", "big.bin"}, kFailed).out,
            "Ошибка:: файл 'big.bin' слишком большой.\n");
  WriteFileBytes(dir_ / "huge.skl", Bytes(66049, 0));  // more than an image can be
  EXPECT_EQ(Run({"-u", "-t", "sokol", "huge.skl"}, kFailed).out,
            "Ошибка:: файл 'huge.skl' слишком большой.\n");
  EXPECT_EQ(Run({"-u", "-t", "dorvik", "missing.dvk"}, kFailed).out,
            "Ошибка:: файл 'missing.dvk' не найден.\n");
  // A FIFO would block the read for ever, and a folder reads as nothing.
  ASSERT_EQ(mkfifo((dir_ / "pipe.bin").c_str(), 0644), 0);
  EXPECT_EQ(Run({"-t", "dorvik", "pipe.bin"}, kFailed).out,
            "Ошибка:: 'pipe.bin' не является обычным файлом.\n");
  ASSERT_EQ(mkdir((dir_ / "folder.bin").c_str(), 0755), 0);
  EXPECT_EQ(Run({"-t", "bkgranol", "folder.bin"}, kFailed).out,
            "Ошибка:: 'folder.bin' не является обычным файлом.\n");
  EXPECT_EQ(Files(), (std::vector<std::string>{"big.bin", "folder.bin", "huge.skl", "pipe.bin",
                                               "tiny.bin"}));
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

  // A folder as the output name takes the name the input gives, as cp does
  // (outdir/ used to give outdir/.skl, outdir ./outdir.skl, . ..bkfile).
  WriteFileBytes(dir_ / "rel.2/p.bin", program);
  for (const char* folder : {"out.d/", "out.d", "./out.d/"})
    Run({"-t", "sokol", "rel.2/p.bin", folder}, kWritten);
  Run({"-t", "sokol", "rel.2/p.bin", "."}, kWritten);
  EXPECT_EQ(RunKorvid(dir_ / "rel.2", {"-u", "-t", "sokol", "../out.d/p.skl", ".."}).exitStatus,
            kWritten);
  EXPECT_EQ(ListDirectory(dir_ / "out.d"), (std::vector<std::string>{"p.skl", "packed.dvk"}));
  EXPECT_EQ(ReadFileBytes(dir_ / "p.skl"), ReadFileBytes(dir_ / "out.d/p.skl"));
  EXPECT_EQ(ReadFileBytes(dir_ / "p.bkfile"), program);
}

// Each method's keyword and the extension of its images.
struct MethodName {
  std::string keyword;
  std::string extension;
};
const MethodName kMethodNames[] = {{"dorvik", "dvk"}, {"bkgranol", "grl"}, {"sokol", "skl"}};

// Disk tools may pad a BK file by exactly 18 bytes: the size of a tape dump
// (22 bytes more than the data). Programs and images padded so are read by
// their header, with the padding note; their first 16 bytes used to be
// dropped as a dump's name, every method reporting success.
TEST_F(KorvidCli, EighteenBytesOfPaddingAreNoTapeDump) {
  const Bytes hello = ReadFileBytes(std::string(EXAMPLES_DIR) + "/hello.bin");
  WriteFileBytes(dir_ / "hello.bin", hello);
  auto padded = [](Bytes file) {
    const std::string note = "Внимание:: файл длиннее, чем сказано в заголовке (адрес " +
                             Octal(WordAt(file, 0)) + ", длина " + Octal(WordAt(file, 2)) +
                             "), лишние 022 байта в конце не взяты.\n";
    file.resize(file.size() + 18, 0);
    return std::make_pair(file, note);
  };
  WriteFileBytes(dir_ / "padded.bin", padded(hello).first);
  for (const MethodName& m : kMethodNames) {
    SCOPED_TRACE(m.keyword);
    Run({"-t", m.keyword, "hello.bin"}, kWritten);
    const RunResult pack = Run({"-t", m.keyword, "padded.bin"}, kWritten);
    EXPECT_EQ(pack.out.substr(0, pack.out.find('\n') + 1), padded(hello).second);
    EXPECT_EQ(ReadFileBytes(dir_ / ("padded." + m.extension)),
              ReadFileBytes(dir_ / ("hello." + m.extension)));
    const auto image = padded(ReadFileBytes(dir_ / ("hello." + m.extension)));
    WriteFileBytes(dir_ / ("stored." + m.extension), image.first);
    EXPECT_EQ(Run({"-u", "-t", m.keyword, "stored." + m.extension}, kWritten).out,
              image.second + "Распаковываем 'stored." + m.extension + "' ::  OK\n");
    EXPECT_EQ(ReadFileBytes(dir_ / "stored.bkfile"), hello);
  }
}

// Images written with -r, of every method, at load addresses below, at and
// above 01000: korvid -u takes the load address from the image where it
// records it (-a gives it where not) and gives back the file it packed, byte
// for byte. They used to be read as loading at 01000: Dorvik images below
// 01000 were not recognised, Sokol images elsewhere than 01000 damaged.
TEST_F(KorvidCli, RawImagesUnpackAtTheirOwnLoadAddress) {
  Random random(41);
  const struct {
    MethodName method;
    uint16_t load;
    std::vector<std::string> address;  // -a, where the image does not say
    const char* source;
  } cases[] = {
      {kMethodNames[0], 0400, {}, "взят из образа"},
      {kMethodNames[0], 0744, {}, "взят из образа"},
      {kMethodNames[0], 02000, {"-a", "2000"}, "задан ключом -a"},
      {kMethodNames[0], 0100000, {"--address=0100000"}, "задан ключом -a"},
      {kMethodNames[1], 0400, {}, "взят из образа"},
      {kMethodNames[1], 0100000, {"-a", "2000"}, "взят из образа"},
      {kMethodNames[2], 0400, {}, "взят из образа"},
      {kMethodNames[2], 0776, {}, "взят из образа"},
      {kMethodNames[2], 01000, {}, "взят из образа"},
      {kMethodNames[2], 0100000, {}, "взят из образа"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method.keyword + " " + Octal(c.load));
    // Below 01000 the stack image holds the start address from 0744 up,
    // which packing and unpacking give back exactly.
    const size_t stack = c.load < 01000 ? 01000 - c.load : 0;
    Bytes data = GenerateProgram(random, stack + 3000);
    if (stack > 0) ShapeStack(data, c.load, Stack::Filled, 02000, random);
    WriteFileBytes(dir_ / "game.bin", MakeBkFile(c.load, data));
    Run({"-r", "-t", c.method.keyword, "game.bin"}, kWritten);
    std::vector<std::string> args = {"-u", "-t", c.method.keyword, "game." + c.method.extension};
    args.insert(args.end(), c.address.begin(), c.address.end());
    const std::string out = Run(args, kWritten).out;
    const std::string ignored =
        c.address.empty() || c.method.keyword == "dorvik"
            ? ""
            : "Внимание:: ключ -a 02000 не учтён: образ сам задаёт адрес загрузки " +
                  Octal(c.load) + ".\n";
    // (Below 0744 a note about the word below the topmost autostart word follows.)
    EXPECT_EQ(out.substr(0, out.find('\n', ignored.size()) + 1),
              ignored + "Распаковываем 'game." + c.method.extension + "' ::  OK, адрес загрузки " +
                  Octal(c.load) + " " + c.source + "\n");
    EXPECT_EQ(ReadFileBytes(dir_ / "game.bkfile"), MakeBkFile(c.load, data));
  }
  // Without a header and without an image: said so, not "damaged".
  WriteFileBytes(dir_ / "text.img", Bytes(1000, 'A'));
  for (const char* name : {"Dorvik", "Granol", "Sokol"}) {
    EXPECT_EQ(Run({"-u", "-t", name[0] == 'G' ? "bkgranol" : name, "text.img"}, kFailed).out,
              "Распаковываем 'text.img' :: Ошибка:: у файла нет заголовка БК, и это не образ " +
                  std::string(name) + " без заголовка.\n");
  }
  // -a places a headerless file to pack, not one with a header.
  Run({"-t", "sokol", "-a", "40000", "text.img"}, kWritten);
  EXPECT_EQ(WordAt(ReadFileBytes(dir_ / "text.skl"), 0), 040000);
  const std::string notUsed = Run({"-t", "sokol", "-a", "40000", "game.bin"}, kWritten).out;
  EXPECT_EQ(
      notUsed.substr(0, notUsed.find('\n') + 1),
      "Внимание:: ключ -a 040000 не учтён: у файла есть заголовок с адресом загрузки 0100000.\n");
  EXPECT_EQ(
      Run({"-t", "sokol", "-a", "200000", "game.bin"}, kUsage).out,
      "Ошибка в командной строке: адрес загрузки '200000' должен быть восьмеричным числом от 0 до "
      "0177777.\n\n" +
          kHelp);
}

// Every image korvid writes is one its own -u unpacks, at each method's
// limits: inputs that do not compress, as long as the method takes. Sokol
// images of such inputs from about 57,128 bytes on used to be refused by -u
// as too large: an image may be longer than any input to pack.
TEST_F(KorvidCli, ImagesOfIncompressibleInputsAtTheLimitsUnpack) {
  const size_t longest[] = {30720, 31000, 57338};  // Granol: the image must fit beside the data
  for (size_t i = 0; i < 3; ++i) {
    for (const bool raw : {false, true}) {
      // An image without its header, or a data image with it.
      SCOPED_TRACE(kMethodNames[i].keyword + (raw ? " -r" : " -d"));
      const Bytes data = Noise(longest[i], 7);
      WriteFileBytes(dir_ / "noise.bin", MakeBkFile(01000, data));
      Run({raw ? "-r" : "-d", "-t", kMethodNames[i].keyword, "noise.bin"}, kWritten);
      Run({"-u", "-r", "-t", kMethodNames[i].keyword, "noise." + kMethodNames[i].extension},
          kWritten);
      EXPECT_EQ(ReadFileBytes(dir_ / "noise.bkfile"), data);
    }
  }
}

// Packing a program below 01000 whose start address stands in its autostart
// word alone overwrites the word below it: both runs name that word.
TEST_F(KorvidCli, StackWordThatPackingChangesIsNamed) {
  Random random(43);
  Bytes data = GenerateProgram(random, 0400 + 2000);
  ShapeStack(data, 0400, Stack::Zero, 0, random);
  PutWord(data, 0742 - 0400, 04321);
  PutWord(data, 0744 - 0400, 01234);
  const Bytes file = MakeBkFile(0400, data);
  WriteFileBytes(dir_ / "single.bin", file);
  // Dorvik's image cannot hold the word; Sokol's records it and gives the
  // file back exactly, with no note either way.
  const RunResult dorvik = Run({"-t", "dorvik", "single.bin"}, kWritten);
  EXPECT_EQ(dorvik.out.substr(dorvik.out.find('\n') + 1),
            "Внимание:: слово стека по адресу 0742 было 04321, в образе оно 01000, korvid -u "
            "вернёт 01234.\n");
  EXPECT_EQ(Run({"-u", "-t", "dorvik", "single.dvk"}, kWritten).out,
            "Распаковываем 'single.dvk' ::  OK\nВнимание:: слово стека по адресу 0742 записано как 01234 "
            "(в образе 01000): если адрес запуска стоял только в слове 0744, до упаковки здесь было "
            "другое значение, и образ его не хранит.\n");
  Bytes back = data;
  PutWord(back, 0742 - 0400, 01234);
  EXPECT_EQ(ReadFileBytes(dir_ / "single.bkfile"), MakeBkFile(0400, back));
  const RunResult sokol = Run({"-t", "sokol", "single.bin"}, kWritten);
  EXPECT_EQ(sokol.out.find("Внимание"), std::string::npos) << sokol.out;
  EXPECT_EQ(Run({"-u", "-t", "sokol", "single.skl"}, kWritten).out, "Распаковываем 'single.skl' ::  OK\n");
  EXPECT_EQ(ReadFileBytes(dir_ / "single.bkfile"), file);
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
