// korvid -t dorvik end to end: the real program, real files, exact console
// text, exact output bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/korvid_run.h"
#include "support/temp_dir.h"

namespace {

const std::string kDots = "..........";

RunResult Korvid(const TempDir& dir, const std::vector<std::string>& args) {
  return RunKorvid(dir.path(), args);
}

Bytes Hello() { return ReadFileBytes(std::string(EXAMPLES_DIR) + "/hello.bin"); }

std::string Ratio(size_t image, size_t input) { return std::to_string(image * 100 / input); }

TEST(DorvikCli, PacksAndUnpacksTheExampleProgram) {
  TempDir dir;
  const Bytes hello = Hello();
  ASSERT_EQ(hello.size(), 1416u);
  WriteFileBytes(dir / "hello.bin", hello);

  const RunResult pack = Korvid(dir, {"-t", "dorvik", "hello.bin"});
  const Bytes image = ReadFileBytes(dir / "hello.dvk");
  ASSERT_GT(image.size(), 4u);
  EXPECT_EQ(WordAt(image, 0), 01000);
  EXPECT_EQ(WordAt(image, 2), image.size() - 4);
  EXPECT_LT(image.size(), hello.size());
  EXPECT_EQ(pack.out, "Пакуем 'hello.bin' :: " + kDots + " OK, Ratio " +
                          Ratio(image.size() - 4, 1412) + "%, ~0,0 с на БК-0010\n");
  EXPECT_EQ(pack.err, "");
  EXPECT_EQ(pack.exitStatus, 0);

  const RunResult unpack = Korvid(dir, {"-u", "-t", "dorvik", "hello.dvk"});
  EXPECT_EQ(unpack.out, "Распаковываем 'hello.dvk' ::  OK\n");
  EXPECT_EQ(unpack.exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(dir / "hello.bkfile"), hello);
}

TEST(DorvikCli, RatioOfAnImageLongerThanItsProgram) {
  TempDir dir;
  WriteFileBytes(dir / "ten.bin",
                 MakeBkFile(01000, TenWordExample()));
  const RunResult pack = Korvid(dir, {"-t", "dorvik", "ten.bin"});
  EXPECT_EQ(pack.out, "Пакуем 'ten.bin' :: " + kDots + " OK, Ratio 885%, ~0,0 с на БК-0010\n");
  EXPECT_EQ(ReadFileBytes(dir / "ten.dvk").size(), 4u + 177);
}

TEST(DorvikCli, OptionsAndOutputNames) {
  TempDir dir;
  const Bytes hello = Hello();
  WriteFileBytes(dir / "hello.bin", hello);
  const RunResult pack = Korvid(dir, {"-t", "DORVIK", "-l", "-d", "-w", "40000", "hello.bin", "packed.xyz"});
  EXPECT_EQ(pack.out.substr(0, pack.out.find(" OK")), "Пакуем 'hello.bin' :: " + kDots);
  const Bytes image = ReadFileBytes(dir / "packed.dvk");
  ASSERT_GT(image.size(), 4u + 146u);
  EXPECT_EQ(WordAt(image, 4), 0012704);  // long stub: MOV #1412, R4
  EXPECT_EQ(WordAt(image, 6), 1412);
  EXPECT_EQ(WordAt(image, 4 + 142), 0000207);  // data mode: RTS PC

  const RunResult unpack = Korvid(dir, {"--unpack", "--tool", "dorvik", "packed.dvk", "out"});
  EXPECT_EQ(unpack.out, "Распаковываем 'packed.dvk' ::  OK\n");
  EXPECT_EQ(ReadFileBytes(dir / "out.bkfile"), hello);
}

TEST(DorvikCli, RawImagesLoadAt01000) {
  TempDir dir;
  const Bytes hello = Hello();
  WriteFileBytes(dir / "hello.bin", hello);
  Korvid(dir, {"-t", "dorvik", "-r", "hello.bin"});
  const Bytes raw = ReadFileBytes(dir / "hello.dvk");
  ASSERT_FALSE(raw.empty());
  EXPECT_EQ(WordAt(raw, 0), 0010704);  // no header: the stub comes first
  const RunResult unpack = Korvid(dir, {"-u", "-t", "dorvik", "hello.dvk"});
  EXPECT_EQ(
      unpack.out,
      "Распаковываем 'hello.dvk' ::  OK, адрес загрузки 01000 по умолчанию: образ его не хранит, "
      "другой задаётся ключом -a\n");
  EXPECT_EQ(ReadFileBytes(dir / "hello.bkfile"), hello);
}

TEST(DorvikCli, FileBelow01000KeepsItsStackImage) {
  TempDir dir;
  Bytes data = Noise(01000 - 0120 + 3000, 5);
  for (size_t offset = 0; offset < 01000 - 0120; offset += 2) {
    const bool autostart = offset >= 0744 - 0120;
    data[offset] = 0;
    data[offset + 1] = autostart ? 04 : 0;  // 02000 from 0744 up, zero below
  }
  const Bytes file = MakeBkFile(0120, data);
  WriteFileBytes(dir / "auto.bin", file);
  for (const char* mode : {"", "-d"}) {
    std::vector<std::string> args = {"-t", "dorvik", "auto.bin"};
    if (*mode) args.push_back(mode);
    const RunResult pack = Korvid(dir, args);
    ASSERT_NE(pack.out.find(" OK, Ratio"), std::string::npos) << pack.out;
    Korvid(dir, {"-u", "-t", "dorvik", "auto.dvk"});
    EXPECT_EQ(ReadFileBytes(dir / "auto.bkfile"), file) << mode;
  }
}

// Each case: a BK file, the options, and the exact console line. No output
// file may appear.
TEST(DorvikCli, RefusalsWriteNothing) {
  const struct {
    const char* name;
    Bytes file;
    std::vector<std::string> options;
    std::string out;
  } cases[] = {
      {"big.bin", MakeBkFile(01000, Bytes(30721, 0)), {},
       "Пакуем 'big.bin' :: Ошибка:: файл слишком большой для упаковки.\n"},
      {"odd.bin", MakeBkFile(0777, Bytes(100, 0)), {},
       "Пакуем 'odd.bin' :: Ошибка:: нечётный адрес загрузки 0777, упаковка Dorvik невозможна.\n"},
      {"empty.bin", MakeBkFile(01000, {}), {},
       "Пакуем 'empty.bin' :: Ошибка:: в файле нет данных выше адреса 01000, упаковывать нечего.\n"},
      {"stack.bin", MakeBkFile(0400, Bytes(0400, 0)), {},
       "Пакуем 'stack.bin' :: Ошибка:: в файле нет данных выше адреса 01000, упаковывать нечего.\n"},
      {"noise.bin", MakeBkFile(01000, Noise(2000, 1)), {"-w", "5000"},
       "Пакуем 'noise.bin' :: ........Ошибка:: рабочая область 03710-05000 перекрывает "
       "упакованный файл, задайте другой адрес ключом -w.\n"},
  };
  for (const auto& test : cases) {
    TempDir dir;
    WriteFileBytes(dir / test.name, test.file);
    std::vector<std::string> args = {"-t", "dorvik", test.name};
    args.insert(args.end(), test.options.begin(), test.options.end());
    const RunResult run = Korvid(dir, args);
    EXPECT_EQ(run.out, test.out) << test.name << ", on stderr: " << run.err;
    EXPECT_EQ(run.exitStatus, 1) << test.name;
    EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{test.name});
  }
}

TEST(DorvikCli, UnpackRefusesFilesThatAreNotWholeImages) {
  TempDir dir;
  const Bytes hello = Hello();
  WriteFileBytes(dir / "hello.bin", hello);
  Korvid(dir, {"-t", "dorvik", "hello.bin"});
  Bytes image = ReadFileBytes(dir / "hello.dvk");
  ASSERT_GT(image.size(), 200u);

  Bytes truncated(image.begin() + 4, image.end() - 1);
  WriteFileBytes(dir / "cut.dvk", MakeBkFile(01000, truncated));
  Bytes damaged = image;
  damaged[4 + 96 - 18] = 0xFF;  // packed length far beyond the stream
  damaged[4 + 97 - 18] = 0x7F;
  WriteFileBytes(dir / "bad.dvk", damaged);

  const struct {
    const char* name;
    std::string message;
  } cases[] = {
      {"hello.bin", "Ошибка:: не опознан упаковщик Dorvik или файл повреждён.\n"},
      {"cut.dvk", "Ошибка:: оборван конец файла. Массив повреждён.\n"},
      {"bad.dvk", "Ошибка:: упакованные данные повреждены, распаковка прервана.\n"},
  };
  for (const auto& test : cases) {
    const RunResult run = Korvid(dir, {"-u", "-t", "dorvik", test.name});
    EXPECT_EQ(run.out, "Распаковываем '" + std::string(test.name) + "' :: " + test.message);
    EXPECT_EQ(run.exitStatus, 1);
  }
  EXPECT_FALSE(FileExists(dir / "hello.bkfile"));
  EXPECT_FALSE(FileExists(dir / "cut.bkfile"));
  EXPECT_FALSE(FileExists(dir / "bad.bkfile"));
}

// --- how BK files are read ----------------------------------------------------

TEST(DorvikCli, BlockPaddingIsIgnoredWithANote) {
  TempDir dir;
  const Bytes hello = Hello();
  Bytes padded = hello;
  padded.resize(1536, 0);  // three 512-byte blocks
  WriteFileBytes(dir / "hello.bin", hello);
  WriteFileBytes(dir / "blocks.bin", padded);
  ASSERT_EQ(Korvid(dir, {"-t", "dorvik", "hello.bin"}).exitStatus, 0);
  const RunResult pack = Korvid(dir, {"-t", "dorvik", "blocks.bin"});
  EXPECT_EQ(pack.out,
            "Внимание:: файл длиннее, чем сказано в заголовке (адрес 01000, длина 02604), лишние 0170 "
            "байт в конце не взяты.\n"
            "Пакуем 'blocks.bin' :: " + kDots + " OK, Ratio 48%, ~0,0 с на БК-0010\n");
  EXPECT_EQ(pack.exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(dir / "blocks.dvk"), ReadFileBytes(dir / "hello.dvk"));

  // A packed image kept in whole blocks unpacks the same way.
  Bytes image = ReadFileBytes(dir / "hello.dvk");
  image.resize(1024, 0xE5);
  WriteFileBytes(dir / "stored.dvk", image);
  const RunResult unpack = Korvid(dir, {"-u", "-t", "dorvik", "stored.dvk"});
  EXPECT_EQ(unpack.out,
            "Внимание:: файл длиннее, чем сказано в заголовке (адрес 01000, длина 01262), лишние 0512 "
            "байт в конце не взяты.\n"
            "Распаковываем 'stored.dvk' ::  OK\n");
  EXPECT_EQ(ReadFileBytes(dir / "stored.bkfile"), hello);
}

TEST(DorvikCli, TruncatedFilesAndProgramsPastTheAddressSpaceAreRefused) {
  TempDir dir;
  const Bytes hello = Hello();
  WriteFileBytes(dir / "cut.bin", Bytes(hello.begin(), hello.end() - 100));
  WriteFileBytes(dir / "top.bin", MakeBkFile(0170000, Bytes(010002, 1)));
  WriteFileBytes(dir / "noise.bin", MakeBkFile(01000, Noise(512, 7)));
  WriteFileBytes(dir / "high.bin", MakeBkFile(0177000, Noise(512, 7)));
  const struct {
    const char* name;
    std::string out;
  } cases[] = {
      {"cut.bin", "Ошибка:: файл оборван: по заголовку (адрес 01000, длина 02604) в нём не хватает 0144 "
                  "байт.\n"},
      {"top.bin", "Ошибка:: программа с адреса 0170000 длиной 010002 выходит за границу памяти 0200000.\n"},
      // The program fits, ending at 0200000; its image, longer than itself, would not.
      {"high.bin", "Пакуем 'high.bin' :: " + kDots +
                       "Ошибка:: упакованный файл 0177000-0200242 выходит за границу памяти 0200000.\n"},
  };
  for (const auto& test : cases) {
    const RunResult run = Korvid(dir, {"-t", "dorvik", test.name});
    EXPECT_EQ(run.out, test.out) << test.name;
    EXPECT_EQ(run.exitStatus, 1) << test.name;
  }
  ASSERT_EQ(Korvid(dir, {"-t", "dorvik", "noise.bin"}).exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(dir / "noise.dvk").size(), 4u + 01242);  // the image above: 01242 bytes
  EXPECT_EQ(ListDirectory(dir.path()),
            (std::vector<std::string>{"cut.bin", "high.bin", "noise.bin", "noise.dvk", "top.bin"}));
}

// --- images of other tools ----------------------------------------------------

// A file at 0400 whose whole stack image holds its start address.
Bytes StackProgram(uint16_t start) {
  Bytes data = Noise(01000 - 0400 + 2000, 9);
  for (size_t offset = 0; offset < 01000 - 0400; offset += 2) PutWord(data, offset, start);
  return MakeBkFile(0400, data);
}

TEST(DorvikCli, StackImagePointedAtTheStubComesBackWithTheStartAddress) {
  TempDir dir;
  const Bytes program = StackProgram(037700);
  WriteFileBytes(dir / "game.bin", program);
  ASSERT_EQ(Korvid(dir, {"-t", "dorvik", "game.bin", "theirs"}).exitStatus, 0);
  // The way other tools leave it: every stack word points at the stub.
  Bytes image = ReadFileBytes(dir / "theirs.dvk");
  for (size_t offset = 0; offset < 01000 - 0400; offset += 2) PutWord(image, 4 + offset, 01000);
  WriteFileBytes(dir / "theirs.dvk", image);
  const RunResult unpack = Korvid(dir, {"-u", "-t", "dorvik", "theirs.dvk"});
  EXPECT_EQ(unpack.out, "Распаковываем 'theirs.dvk' ::  OK\n");
  EXPECT_EQ(unpack.exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(dir / "theirs.bkfile"), program);
}

// -d, -l and -w shape an image; unpacking takes all it needs from the image
// itself. (They used to reach the unpacker: -l gave a short stub's image a
// note about long-stub words of 00, -d left stack words pointing at the stub.)
TEST(DorvikCli, PackingOptionsChangeNothingWhenUnpacking) {
  TempDir dir;
  const Bytes program = StackProgram(037700);
  WriteFileBytes(dir / "game.bin", program);
  ASSERT_EQ(Korvid(dir, {"-t", "dorvik", "game.bin", "theirs"}).exitStatus, 0);
  Bytes image = ReadFileBytes(dir / "theirs.dvk");
  for (size_t offset = 0; offset < 01000 - 0400; offset += 2) PutWord(image, 4 + offset, 01000);
  WriteFileBytes(dir / "theirs.dvk", image);
  const std::vector<std::vector<std::string>> optionSets = {
      {}, {"-l"}, {"-d"}, {"--long", "--data", "-w", "40000"}};
  for (const std::vector<std::string>& options : optionSets) {
    std::vector<std::string> args = {"-u", "-t", "dorvik"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("theirs.dvk");
    const RunResult unpack = Korvid(dir, args);
    EXPECT_EQ(unpack.out, "Распаковываем 'theirs.dvk' ::  OK\n") << options.size();
    EXPECT_EQ(unpack.exitStatus, 0);
    EXPECT_EQ(ReadFileBytes(dir / "theirs.bkfile"), program) << options.size();
  }
}

TEST(DorvikCli, StartAddressThatTheFileCannotCarryIsNamed) {
  TempDir dir;
  const Bytes program = MakeBkFile(02000, Noise(3000, 10));
  WriteFileBytes(dir / "game.bin", program);
  ASSERT_EQ(Korvid(dir, {"-t", "dorvik", "game.bin"}).exitStatus, 0);
  Bytes image = ReadFileBytes(dir / "game.dvk");
  const size_t word144 = 4 + 144 - 18;
  PutWord(image, word144, static_cast<uint16_t>(WordAt(image, word144) + 0100));
  WriteFileBytes(dir / "game.dvk", image);
  const RunResult unpack = Korvid(dir, {"-u", "-t", "dorvik", "game.dvk"});
  EXPECT_EQ(unpack.out,
            "Распаковываем 'game.dvk' ::  OK\n"
            "Внимание:: распаковщик запускает программу с адреса 02100, в распакованный файл этот "
            "адрес записать нельзя.\n");
  EXPECT_EQ(unpack.exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(dir / "game.bkfile"), program);
}

TEST(DorvikCli, ImageWhoseStubALoaderTookOverUnpacks) {
  TempDir dir;
  const Bytes program = MakeBkFile(01000, Noise(2400, 11));
  WriteFileBytes(dir / "game.bin", program);
  ASSERT_EQ(Korvid(dir, {"-t", "dorvik", "game.bin"}).exitStatus, 0);
  Bytes image = ReadFileBytes(dir / "game.dvk");
  if (image.size() & 1) image.push_back(0);
  // MOV #loader, R0 / JMP (R0) over the stub's first three words; the
  // loader after the image puts them back and enters the stub.
  const auto loader = static_cast<uint16_t>(01000 + image.size() - 4);
  const uint16_t original[] = {WordAt(image, 4), WordAt(image, 6), WordAt(image, 8)};
  const uint16_t jump[] = {012700, loader, 000110};
  for (int i = 0; i < 3; ++i) {
    PutWord(image, 4 + 2 * i, jump[i]);
    for (const uint16_t word : {uint16_t{012737}, original[i], static_cast<uint16_t>(01000 + 2 * i)}) {
      image.push_back(static_cast<uint8_t>(word & 0xFF));
      image.push_back(static_cast<uint8_t>(word >> 8));
    }
  }
  image.insert(image.end(), {0137, 0, 0, 02});  // JMP @#01000
  PutWord(image, 2, static_cast<uint16_t>(image.size() - 4));
  WriteFileBytes(dir / "game.dvk", image);
  const RunResult unpack = Korvid(dir, {"-u", "-t", "dorvik", "game.dvk"});
  EXPECT_EQ(unpack.out, "Распаковываем 'game.dvk' ::  OK\n");
  EXPECT_EQ(unpack.exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(dir / "game.bkfile"), program);
}

TEST(DorvikCli, LongStubWordsThatAreNotTheDataGiveANoteAndTheData) {
  TempDir dir;
  const Bytes hello = Hello();
  WriteFileBytes(dir / "hello.bin", hello);
  ASSERT_EQ(Korvid(dir, {"-t", "dorvik", "-l", "hello.bin"}).exitStatus, 0);
  Bytes image = ReadFileBytes(dir / "hello.dvk");
  const uint16_t checksum = WordAt(image, 4 + 14);
  PutWord(image, 4 + 2, 04000);  // a length some other program had
  WriteFileBytes(dir / "hello.dvk", image);
  const RunResult unpack = Korvid(dir, {"-u", "-t", "dorvik", "hello.dvk"});
  EXPECT_EQ(unpack.out, "Распаковываем 'hello.dvk' ::  OK\n"
                        "Внимание:: длина 04000 и контрольная сумма " + Octal(checksum) +
                            " из образа не совпадают с распакованными данными (длина 02604, сумма " +
                            Octal(checksum) + ").\n");
  EXPECT_EQ(unpack.exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(dir / "hello.bkfile"), hello);
}

}  // namespace
