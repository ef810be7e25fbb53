// The Granol method end to end: the real korvid packs and unpacks files in
// a temporary directory; console text and output bytes are compared exactly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

const std::string kPacking = "Пакуем '";
const std::string kUnpacking = "Распаковываем '";
const std::string kLineEnd = "' :: ";
const std::string kNotRecognised = "Ошибка:: не опознан упаковщик Granol или файл повреждён.\n";
const std::string kBadParameters =
    "Ошибка:: блок параметров Granol не соответствует файлу. Массив повреждён.\n";

RunResult Korvid(const TempDir& dir, const std::vector<std::string>& args) {
  RunOptions options;
  options.workingDirectory = dir.path();
  return RunProgram(KORVID_BINARY, args, options);
}

uint16_t WordAt(const Bytes& bytes, size_t offset) {
  return static_cast<uint16_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

Bytes Example() { return ReadFileBytes(EXAMPLES_DIR "/hello.bin"); }

// Packs `name` in `dir` and checks the console line of a Granol run, which
// ends without a result text.
void PackQuietly(const TempDir& dir, const std::string& name, std::vector<std::string> extra = {}) {
  std::vector<std::string> args = {"-t", "bkgranol"};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(name);
  const RunResult run = Korvid(dir, args);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, kPacking + name + kLineEnd);
  EXPECT_EQ(run.err, "");
}

void UnpackQuietly(const TempDir& dir, const std::string& name, std::vector<std::string> extra = {}) {
  std::vector<std::string> args = {"-u", "-t", "BkGranol"};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(name);
  const RunResult run = Korvid(dir, args);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, kUnpacking + name + kLineEnd);
  EXPECT_EQ(run.err, "");
}

TEST(GranolCli, ExampleRoundTrip) {
  TempDir dir;
  const Bytes original = Example();
  ASSERT_FALSE(original.empty());
  WriteFileBytes(dir / "hello.bin", original);

  PackQuietly(dir, "hello.bin");
  const Bytes image = ReadFileBytes(dir / "hello.grl");
  ASSERT_GT(image.size(), 4u + 268);
  EXPECT_EQ(WordAt(image, 0), WordAt(original, 0)) << "the input's load address";
  EXPECT_EQ(WordAt(image, 2), image.size() - 4);
  EXPECT_EQ(WordAt(image, 4 + 010), 0352);
  EXPECT_EQ(std::string(image.begin() + 4 + 0362, image.begin() + 4 + 0377), "GRANOL7.2 bin");
  EXPECT_EQ(WordAt(image, 4 + 2 * 129), WordAt(original, 0));
  EXPECT_EQ(WordAt(image, 4 + 2 * 131), original.size() - 4);
  EXPECT_LT(image.size(), original.size()) << "the example has something to pack";

  UnpackQuietly(dir, "hello.grl");
  EXPECT_EQ(ReadFileBytes(dir / "hello.bkfile"), original);
}

TEST(GranolCli, RawOutputOnBothSides) {
  TempDir dir;
  const Bytes original = Example();
  const Bytes data(original.begin() + 4, original.end());
  WriteFileBytes(dir / "hello.bin", original);
  PackQuietly(dir, "hello.bin");
  const Bytes image = ReadFileBytes(dir / "hello.grl");
  WriteFileBytes(dir / "raw.bin", original);
  PackQuietly(dir, "raw.bin", {"-r"});
  const Bytes rawImage = ReadFileBytes(dir / "raw.grl");
  EXPECT_EQ(rawImage, Bytes(image.begin() + 4, image.end())) << "the image without header";

  // A raw image carries its load address inside: both forms unpack alike.
  UnpackQuietly(dir, "raw.grl");
  EXPECT_EQ(ReadFileBytes(dir / "raw.bkfile"), original);
  UnpackQuietly(dir, "raw.grl", {"-r"});
  EXPECT_EQ(ReadFileBytes(dir / "raw.bkfile"), data);
  UnpackQuietly(dir, "hello.grl", {"-r"});
  EXPECT_EQ(ReadFileBytes(dir / "hello.bkfile"), data);
}

TEST(GranolCli, DorvikOptionsChangeNothing) {
  TempDir dir;
  WriteFileBytes(dir / "a.bin", Example());
  WriteFileBytes(dir / "b.bin", Example());
  PackQuietly(dir, "a.bin");
  PackQuietly(dir, "b.bin", {"-d", "-l", "-w", "40000"});
  EXPECT_EQ(ReadFileBytes(dir / "a.grl"), ReadFileBytes(dir / "b.grl"));
}

TEST(GranolCli, OddAndEmptyInputs) {
  TempDir dir;
  WriteFileBytes(dir / "odd.bin", MakeBkFile(02001, {1, 2, 3, 4, 5}));
  PackQuietly(dir, "odd.bin");
  UnpackQuietly(dir, "odd.grl");
  EXPECT_EQ(ReadFileBytes(dir / "odd.bkfile"), MakeBkFile(02001, {1, 2, 3, 4, 5, 0}))
      << "the padding byte comes back";

  WriteFileBytes(dir / "empty.bin", MakeBkFile(01000, {}));
  PackQuietly(dir, "empty.bin");
  EXPECT_EQ(ReadFileBytes(dir / "empty.grl").size(), 4u + 2 * 134);
  UnpackQuietly(dir, "empty.grl");
  EXPECT_EQ(ReadFileBytes(dir / "empty.bkfile"), MakeBkFile(01000, {}));
}

TEST(GranolCli, NamesAndExtensionBytes) {
  TempDir dir;
  const std::string name = "игра.бин";  // UTF-8 name, Cyrillic extension
  WriteFileBytes(dir / name, Example());
  const RunResult run = Korvid(dir, {"-t", "bkgranol", name, "out.x"});
  EXPECT_EQ(run.out, kPacking + name + kLineEnd);
  const Bytes image = ReadFileBytes(dir / "out.grl");
  ASSERT_GT(image.size(), 4u + 0377);
  // б, и, н are U+0431, U+0438, U+043D: their low 8 bits are stored.
  EXPECT_EQ(Bytes(image.begin() + 4 + 0374, image.begin() + 4 + 0377), (Bytes{0x31, 0x38, 0x3D}));
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
      {"noise.grl", noise, kNotRecognised},
      {"program.grl", Example(), kNotRecognised},
      {"short.grl", Bytes(rawImage.begin(), rawImage.begin() + 300), kBadParameters},
      {"cut.grl", Bytes(rawImage.begin(), rawImage.end() - 1), kBadParameters},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(dir / c.name, c.file);
    const RunResult run = Korvid(dir, {"-u", "-t", "bkgranol", c.name});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, kUnpacking + c.name + kLineEnd + c.message);
    const std::string output = std::string(c.name).substr(0, std::string(c.name).size() - 4);
    EXPECT_FALSE(FileExists(dir / (output + ".bkfile")));
  }
}

}  // namespace
