// The Granol method end to end: the real korvid packs and unpacks files in
// a temporary directory; console text and output bytes are compared exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/korvid_run.h"
#include "support/temp_dir.h"

namespace {

const std::string kPacking = "Пакуем '";
const std::string kUnpacking = "Распаковываем '";
const std::string kLineEnd = "' :: ";
const std::string kNotRecognised = "Ошибка:: не опознан упаковщик Granol или файл повреждён.\n";
const std::string kBadParameters =
    "Ошибка:: блок параметров Granol не соответствует файлу. Массив повреждён.\n";

RunResult Korvid(const TempDir& dir, const std::vector<std::string>& args) {
  return RunKorvid(dir.path(), args);
}

Bytes Example() { return ReadFileBytes(EXAMPLES_DIR "/hello.bin"); }

// Packs `name` in `dir` into `output` and checks the console line: the ratio
// of image to input length, once the image is written.
void PackOk(const TempDir& dir, const std::string& name, const std::string& output,
            std::vector<std::string> extra = {}) {
  std::vector<std::string> args = {"-t", "bkgranol"};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(name);
  const RunResult run = Korvid(dir, args);
  const bool raw = std::find(extra.begin(), extra.end(), "-r") != extra.end();
  const Bytes input = ReadFileBytes(dir / name);
  const size_t inputLength = input.size() - 4;  // the tests' inputs have a header
  const size_t imageLength = ReadFileBytes(dir / output).size() - (raw ? 0 : 4);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(WithoutUnpackTime(run.out),
            kPacking + name + kLineEnd +
                (inputLength == 0 ? std::string(" OK\n")
                                  : " OK, Ratio " + std::to_string(imageLength * 100 / inputLength) + "%\n"));
  EXPECT_NE(run.out.find(" с на БК-0010\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "");
}

// `result`: what follows " OK" on the line: the load address of an image
// without a header.
void UnpackOk(const TempDir& dir, const std::string& name, std::vector<std::string> extra = {},
              const std::string& result = "") {
  std::vector<std::string> args = {"-u", "-t", "BkGranol"};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(name);
  const RunResult run = Korvid(dir, args);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, kUnpacking + name + kLineEnd + " OK" + result + "\n");
  EXPECT_EQ(run.err, "");
}

TEST(GranolCli, ExampleRoundTrip) {
  TempDir dir;
  const Bytes original = Example();
  ASSERT_FALSE(original.empty());
  WriteFileBytes(dir / "hello.bin", original);

  PackOk(dir, "hello.bin", "hello.grl");
  const Bytes image = ReadFileBytes(dir / "hello.grl");
  ASSERT_GT(image.size(), 4u + 268);
  EXPECT_EQ(WordAt(image, 0), WordAt(original, 0)) << "the input's load address";
  EXPECT_EQ(WordAt(image, 2), image.size() - 4);
  EXPECT_EQ(WordAt(image, 4 + 010), 0352);
  EXPECT_EQ(std::string(image.begin() + 4 + 0362, image.begin() + 4 + 0377), "GRANOL7.2 bin");
  EXPECT_EQ(WordAt(image, 4 + 2 * 129), WordAt(original, 0));
  EXPECT_EQ(WordAt(image, 4 + 2 * 131), original.size() - 4);
  EXPECT_LT(image.size(), original.size()) << "the example has something to pack";

  UnpackOk(dir, "hello.grl");
  EXPECT_EQ(ReadFileBytes(dir / "hello.bkfile"), original);
}

TEST(GranolCli, RawOutputOnBothSides) {
  TempDir dir;
  const Bytes original = Example();
  const Bytes data(original.begin() + 4, original.end());
  WriteFileBytes(dir / "hello.bin", original);
  PackOk(dir, "hello.bin", "hello.grl");
  const Bytes image = ReadFileBytes(dir / "hello.grl");
  WriteFileBytes(dir / "raw.bin", original);
  PackOk(dir, "raw.bin", "raw.grl", {"-r"});
  const Bytes rawImage = ReadFileBytes(dir / "raw.grl");
  EXPECT_EQ(rawImage, Bytes(image.begin() + 4, image.end())) << "the image without header";

  // A raw image carries its load address inside: both forms unpack alike.
  UnpackOk(dir, "raw.grl", {}, ", адрес загрузки 01000 взят из образа");
  EXPECT_EQ(ReadFileBytes(dir / "raw.bkfile"), original);
  UnpackOk(dir, "raw.grl", {"-r"}, ", адрес загрузки 01000 взят из образа");
  EXPECT_EQ(ReadFileBytes(dir / "raw.bkfile"), data);
  UnpackOk(dir, "hello.grl", {"-r"});
  EXPECT_EQ(ReadFileBytes(dir / "hello.bkfile"), data);
}

TEST(GranolCli, DorvikOptionsChangeNothing) {
  TempDir dir;
  WriteFileBytes(dir / "a.bin", Example());
  WriteFileBytes(dir / "b.bin", Example());
  PackOk(dir, "a.bin", "a.grl");
  PackOk(dir, "b.bin", "b.grl", {"-d", "-l", "-w", "40000"});
  EXPECT_EQ(ReadFileBytes(dir / "a.grl"), ReadFileBytes(dir / "b.grl"));
}

TEST(GranolCli, OddAndEmptyInputs) {
  TempDir dir;
  WriteFileBytes(dir / "odd.bin", MakeBkFile(02001, {1, 2, 3, 4, 5}));
  PackOk(dir, "odd.bin", "odd.grl");
  UnpackOk(dir, "odd.grl");
  EXPECT_EQ(ReadFileBytes(dir / "odd.bkfile"), MakeBkFile(02001, {1, 2, 3, 4, 5, 0}))
      << "the padding byte comes back";

  WriteFileBytes(dir / "empty.bin", MakeBkFile(01000, {}));
  PackOk(dir, "empty.bin", "empty.grl");
  EXPECT_EQ(ReadFileBytes(dir / "empty.grl").size(), 4u + 2 * 134);
  UnpackOk(dir, "empty.grl");
  EXPECT_EQ(ReadFileBytes(dir / "empty.bkfile"), MakeBkFile(01000, {}));
}

TEST(GranolCli, NamesAndExtensionBytes) {
  TempDir dir;
  const std::string name = "игра.бин";  // UTF-8 name, Cyrillic extension
  WriteFileBytes(dir / name, Example());
  const RunResult run = Korvid(dir, {"-t", "bkgranol", name, "out.x"});
  EXPECT_EQ(run.out, kPacking + name + kLineEnd + " OK, Ratio 57%, ~0,3 с на БК-0010\n");
  const Bytes image = ReadFileBytes(dir / "out.grl");
  ASSERT_GT(image.size(), 4u + 0377);
  // б, и, н in the BK's KOI-8 (their code points' low bytes used to be stored: 1 8 =).
  EXPECT_EQ(Bytes(image.begin() + 4 + 0374, image.begin() + 4 + 0377), (Bytes{0xC2, 0xC9, 0xCE}));
  EXPECT_FALSE(FileExists(dir / "игра.grl"));
}

TEST(GranolCli, FilesThatAreNotImagesLeaveNoOutput) {
  TempDir dir;
  WriteFileBytes(dir / "hello.bin", Example());
  Korvid(dir, {"-r", "-t", "bkgranol", "hello.bin"});
  const Bytes rawImage = ReadFileBytes(dir / "hello.grl");
  ASSERT_FALSE(rawImage.empty());

  Bytes noise(1000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 37 + 11);
  struct Case {
    const char* name;
    Bytes file;
    std::string message;
  };
  const Case cases[] = {
      {"noise.grl", noise,
       "Ошибка:: у файла нет заголовка БК, и это не образ Granol без заголовка.\n"},
      {"program.grl", Example(), kNotRecognised},
      {"short.grl", Bytes(rawImage.begin(), rawImage.begin() + 300), kBadParameters},
      {"cut.grl", Bytes(rawImage.begin(), rawImage.end() - 1), kBadParameters},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(dir / c.name, c.file);
    const RunResult run = Korvid(dir, {"-u", "-t", "bkgranol", c.name});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out, kUnpacking + c.name + kLineEnd + c.message);
    const std::string output = std::string(c.name).substr(0, std::string(c.name).size() - 4);
    EXPECT_FALSE(FileExists(dir / (output + ".bkfile")));
  }
}

// A raw image of a tiny input: its first words read as a header of length 0
// that misses the file by fewer than 512 bytes, which is not taken for one.
TEST(GranolCli, SmallRawImageIsNotTakenForAPaddedFile) {
  TempDir dir;
  WriteFileBytes(dir / "tiny.bin", MakeBkFile(02000, {1, 2, 3, 4}));
  PackOk(dir, "tiny.bin", "tiny.grl", {"-r"});
  ASSERT_LT(ReadFileBytes(dir / "tiny.grl").size(), 512u);
  UnpackOk(dir, "tiny.grl", {}, ", адрес загрузки 02000 взят из образа");
  EXPECT_EQ(ReadFileBytes(dir / "tiny.bkfile"), MakeBkFile(02000, {1, 2, 3, 4}));
}

// Data that does not compress: its image is longer than itself and must lie
// beside it. The image is made to end exactly at 0177600 above the data,
// below the BK's registers; then at 0200000, where packing finds a place
// but the image would cover the registers, so the proof on the model
// refuses it; then the data moves up one word more and the image no longer
// fits anywhere.
TEST(GranolCli, ImageMustFitBesideItsDataAndBeReadableByUnpacking) {
  TempDir dir;
  const Bytes data = Noise(30000, 3);
  WriteFileBytes(dir / "probe.bin", MakeBkFile(0, data));
  PackOk(dir, "probe.bin", "probe.grl");
  const size_t image = ReadFileBytes(dir / "probe.grl").size() - 4;
  const auto below = static_cast<uint16_t>(0177600 - data.size() - image);
  ASSERT_LT(below, image) << "nor may the image fit below the data";

  WriteFileBytes(dir / "fits.bin", MakeBkFile(below, data));
  PackOk(dir, "fits.bin", "fits.grl");
  UnpackOk(dir, "fits.grl");
  EXPECT_EQ(ReadFileBytes(dir / "fits.bkfile"), MakeBkFile(below, data));

  const auto fitting = static_cast<uint16_t>(0200000 - data.size() - image);
  WriteFileBytes(dir / "top.bin", MakeBkFile(fitting, data));
  const RunResult top = Korvid(dir, {"-t", "bkgranol", "top.bin"});
  EXPECT_EQ(top.out, kPacking + "top.bin" + kLineEnd +
                         "Ошибка:: образ, его данные и рабочие области вместе не помещаются в память БК ниже "
                         "адреса 0177600, образ не может работать. Файл не записан.\n");
  EXPECT_EQ(top.exitStatus, 1);
  EXPECT_FALSE(FileExists(dir / "top.grl"));

  const auto beyond = static_cast<uint16_t>(fitting + 2);
  WriteFileBytes(dir / "beyond.bin", MakeBkFile(beyond, data));
  const RunResult refused = Korvid(dir, {"-t", "bkgranol", "beyond.bin"});
  EXPECT_EQ(refused.out, kPacking + "beyond.bin" + kLineEnd + "Ошибка:: упакованный файл длиной " +
                             Octal(static_cast<unsigned>(image)) + " байт не поместится в памяти БК рядом с данными " +
                             Octal(beyond) + "-" + Octal(static_cast<unsigned>(beyond + data.size())) +
                             ", упаковка Granol невозможна.\n");
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_FALSE(FileExists(dir / "beyond.grl"));

  // The largest raw input that does not compress: its image would have been
  // longer than any file korvid reads.
  WriteFileBytes(dir / "big.bin", Noise(57000, 4));
  const RunResult big = Korvid(dir, {"-t", "bkgranol", "big.bin"});
  EXPECT_EQ(big.exitStatus, 1);
  EXPECT_EQ(big.out.find(kPacking + "big.bin" + kLineEnd + "Ошибка:: упакованный файл длиной "), 0u) << big.out;
  EXPECT_NE(big.out.find(" байт не поместится в памяти БК рядом с данными 01000-0160250, упаковка Granol "
                         "невозможна.\n"),
            std::string::npos)
      << big.out;
  EXPECT_FALSE(FileExists(dir / "big.grl"));
}

}  // namespace
