// korvid -t dorvik end to end: the real program, real files, exact console
// text, exact output bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

const std::string kDots = "..........";

RunResult Korvid(const TempDir& dir, const std::vector<std::string>& args) {
  RunOptions options;
  options.workingDirectory = dir.path();
  return RunProgram(KORVID_BINARY, args, options);
}

Bytes Hello() { return ReadFileBytes(std::string(EXAMPLES_DIR) + "/hello.bin"); }

uint16_t WordAt(const Bytes& bytes, size_t offset) {
  return static_cast<uint16_t>(bytes.at(offset) | (bytes.at(offset + 1) << 8));
}

std::string Ratio(size_t image, size_t input) { return std::to_string(image * 100 / input); }

Bytes Noise(size_t length, uint32_t seed) {
  Bytes bytes(length);
  for (uint8_t& byte : bytes) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(seed >> 16);
  }
  return bytes;
}

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
                          Ratio(image.size() - 4, 1412) + "%\n");
  EXPECT_EQ(pack.err, "");
  EXPECT_EQ(pack.exitStatus, 0);

  const RunResult unpack = Korvid(dir, {"-u", "-t", "dorvik", "hello.dvk"});
  EXPECT_EQ(unpack.out, "Распаковываем 'hello.dvk' ::  OK\n");
  EXPECT_EQ(ReadFileBytes(dir / "hello.bkfile"), hello);
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
  EXPECT_EQ(unpack.out, "Распаковываем 'hello.dvk' ::  OK\n");
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
    EXPECT_EQ(run.out, test.out);
    EXPECT_EQ(run.exitStatus, 0);
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
  }
  EXPECT_FALSE(FileExists(dir / "hello.bkfile"));
  EXPECT_FALSE(FileExists(dir / "cut.bkfile"));
  EXPECT_FALSE(FileExists(dir / "bad.bkfile"));
}

}  // namespace
