// The Sokol method end to end: the real korvid packs and unpacks files in a
// temporary directory; console text, exit statuses and output bytes are
// compared exactly. The in-place margin and the decoder of the result line
// are checked against the stub's own parameters: the end of the moved
// stream, and the length of the decoder block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/bk_bytes.h"
#include "support/korvid_run.h"
#include "support/temp_dir.h"

namespace {

const std::string kPacking = "Пакуем '";
const std::string kUnpacking = "Распаковываем '";
const std::string kLineEnd = "' :: ";
const std::string kNotAnImage = "Ошибка:: не опознан упаковщик Sokol или файл повреждён.\n";

// Byte offsets in the set-up code of the operands that hold the decoder
// block's length in words and the end of the moved stream: load address +
// length + margin.
constexpr size_t kBlockWordsWord = 006;
constexpr size_t kDestinationEndWord = 016;

// The decoders' names on the result line, by their blocks' lengths.
std::string DecoderName(unsigned blockWords) {
  switch (blockWords) {
    case 48: return "малый";
    case 57: return "компактный";
    case 92: return "компактный с таблицей";
    case 80: return "быстрый";
    case 115: return "быстрый с таблицей";
    case 116: return "быстрый с малой таблицей";
    default: return "?";
  }
}

RunResult Korvid(const TempDir& dir, const std::vector<std::string>& args) {
  return RunKorvid(dir.path(), args);
}

// The margin that the image file's stub works with; the set-up code sits at
// `regionLoad` (01000 for files below it).
unsigned MarginOf(const Bytes& imageFile, uint16_t regionLoad, size_t regionLength) {
  const size_t setup = 4 + (regionLoad - WordAt(imageFile, 0));
  return WordAt(imageFile, setup + kDestinationEndWord) - regionLoad - static_cast<unsigned>(regionLength);
}

// A number and the Russian form of its noun: after 1, 21, ...; after 2-4,
// 22-24, ...; after the rest.
std::string Counted(unsigned n, const std::string& one, const std::string& few,
                    const std::string& many) {
  const unsigned tens = n % 100 / 10;
  const std::string& form = tens == 1                    ? many
                            : n % 10 == 1                ? one
                            : n % 10 >= 2 && n % 10 <= 4 ? few
                                                         : many;
  return std::to_string(n) + " " + form;
}

// The result line: the ratio, the estimated time on a BK-0010 (from the
// PDP-11 model; here only its form is checked, and that it is not zero for
// a program of a few kilobytes), the margin and the decoder.
void ExpectResultLine(const std::string& line, size_t imageLength, size_t inputLength, unsigned margin,
                      const std::string& decoder) {
  const std::string head = " OK, Ratio " + std::to_string(imageLength * 100 / inputLength) + "%, ~";
  const std::string tail = " с на БК-0010, запас " + Counted(margin, "байт", "байта", "байт") +
                           ", распаковщик " + decoder + "\n";
  ASSERT_GT(line.size(), head.size() + tail.size()) << line;
  EXPECT_EQ(line.substr(0, head.size()), head) << line;
  EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << line;
  const std::string time = line.substr(head.size(), line.size() - head.size() - tail.size());
  const size_t comma = time.find(',');
  ASSERT_NE(comma, std::string::npos) << line;
  EXPECT_EQ(time.size(), comma + 2) << "one decimal: " << line;
  EXPECT_EQ(time.find_first_not_of("0123456789,"), std::string::npos) << line;
  if (inputLength >= 4000) {
    EXPECT_NE(time, "0,0") << line;
  }
}

// Packs `name` with the extra options and unpacks the image again; the
// unpacked file must be the input, byte for byte. `unpackNote`: the line
// that unpacking adds.
void RoundTrip(const TempDir& dir, const std::string& name, const Bytes& file,
               std::vector<std::string> extra = {}, const std::string& unpackNote = "") {
  WriteFileBytes(dir / name, file);
  const std::string base = name.substr(0, name.find('.'));
  std::vector<std::string> args = {"-t", "SOKOL"};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(name);
  const RunResult pack = Korvid(dir, args);
  const Bytes image = ReadFileBytes(dir / (base + ".skl"));
  ASSERT_GE(image.size(), 4u + 130);
  EXPECT_EQ(WordAt(image, 0), WordAt(file, 0)) << "the image loads where the program does";
  EXPECT_EQ(WordAt(image, 2), image.size() - 4);
  const uint16_t load = WordAt(file, 0);
  const uint16_t regionLoad = load < 01000 ? 01000 : load;
  const size_t regionLength = file.size() - 4 - (regionLoad - load);
  EXPECT_EQ(pack.exitStatus, kKorvidWritten);
  const std::string head = kPacking + name + kLineEnd;
  ASSERT_EQ(pack.out.substr(0, head.size()), head);
  const size_t setup = 4 + (regionLoad - load);
  ExpectResultLine(pack.out.substr(head.size()), image.size() - 4, file.size() - 4,
                   MarginOf(image, regionLoad, regionLength), DecoderName(WordAt(image, setup + kBlockWordsWord)));
  EXPECT_EQ(pack.err, "");

  const RunResult unpack = Korvid(dir, {"-u", "-t", "sokol", base + ".skl"});
  EXPECT_EQ(unpack.exitStatus, kKorvidWritten);
  EXPECT_EQ(unpack.out, kUnpacking + base + ".skl" + kLineEnd + " OK\n" + unpackNote);
  EXPECT_EQ(ReadFileBytes(dir / (base + ".bkfile")), file);
}

TEST(SokolCli, ProgramsAndDataRoundTripAtEveryKindOfLoadAddress) {
  TempDir dir;
  const Bytes example = ReadFileBytes(EXAMPLES_DIR "/hello.bin");
  ASSERT_FALSE(example.empty());
  RoundTrip(dir, "hello.bin", example);
  RoundTrip(dir, "data.bin", example, {"-d"});
  // -l and -w shape Dorvik's stubs only: the Sokol image is the same.
  const Bytes plain = ReadFileBytes(dir / "hello.skl");
  RoundTrip(dir, "hello.bin", example, {"-l", "-w", "0"});
  EXPECT_EQ(ReadFileBytes(dir / "hello.skl"), plain);

  Random random(15);
  RoundTrip(dir, "high.bin", MakeBkFile(0100000, GenerateProgram(random, 9000)));
  RoundTrip(dir, "noise.bin", MakeBkFile(01000, Noise(3001, 7)));
  RoundTrip(dir, "one.bin", MakeBkFile(02000, {0x42}));
}

// Images that korvid 1.1.0 wrote (one 168-byte decoder and a trailer,
// tests/korvid/first-release) still give their files back.
TEST(SokolCli, ImagesOfTheFirstReleaseStillUnpack) {
  TempDir dir;
  const Bytes hello = ReadFileBytes(EXAMPLES_DIR "/hello.bin");
  const Bytes low = ReadFileBytes(KORVID_FIRST_RELEASE_DIR "/low.bin");
  ASSERT_FALSE(hello.empty());
  ASSERT_FALSE(low.empty());
  const struct {
    const char* image;
    const Bytes& file;
    std::string note;
  } cases[] = {
      {"hello.skl", hello, ""},
      {"hello-d.skl", hello, ""},                                // data mode
      {"low.skl", low, ""},                                      // a stack image at 0600
      {"hello-r.skl", hello, ", адрес загрузки 01000 взят из образа"},  // -r, no header
  };
  for (const auto& c : cases) {
    WriteFileBytes(dir / c.image, ReadFileBytes(std::string(KORVID_FIRST_RELEASE_DIR "/") + c.image));
    const RunResult unpack = Korvid(dir, {"-u", "-t", "sokol", c.image});
    EXPECT_EQ(unpack.exitStatus, kKorvidWritten) << c.image;
    EXPECT_EQ(unpack.out, kUnpacking + c.image + kLineEnd + " OK" + c.note + "\n");
    const std::string base(c.image, std::string(c.image).size() - 4);
    EXPECT_EQ(ReadFileBytes(dir / (base + ".bkfile")), c.file) << c.image;
  }
}

TEST(SokolCli, FilesBelow01000KeepTheirStackImageAndAutostart) {
  TempDir dir;
  Random random(16);
  // The stack from 0600 up filled with the start address 01234, as BK
  // programs that start themselves do, and a program from 01000.
  Bytes data(0200, 0);
  for (size_t at = 0; at < data.size(); at += 2) PutWord(data, at, 01234);
  const Bytes program = GenerateProgram(random, 4000);
  data.insert(data.end(), program.begin(), program.end());
  const Bytes file = MakeBkFile(0600, data);
  // Every stack word comes back as the file had it, and no note doubts it.
  RoundTrip(dir, "auto.bin", file);
  // In the image the autostart words below the topmost point at the stub.
  const Bytes image = ReadFileBytes(dir / "auto.skl");
  EXPECT_EQ(WordAt(image, 4 + 0776 - 0600), 01234) << "the topmost word keeps the address";
  EXPECT_EQ(WordAt(image, 4 + 0744 - 0600), 01000);
  EXPECT_EQ(WordAt(image, 4 + 0602 - 0600), 01000);
  RoundTrip(dir, "autodata.bin", file, {"-d"});
  // The start address in the autostart word alone: the word below it must
  // point at the stub too, and comes back as the file had it.
  Bytes single = data;
  for (size_t at = 0; at < 0200; at += 2) PutWord(single, at, static_cast<uint16_t>(0100 + at));
  PutWord(single, 0744 - 0600, 01234);
  RoundTrip(dir, "single.bin", MakeBkFile(0600, single));
  EXPECT_EQ(WordAt(ReadFileBytes(dir / "single.skl"), 4 + 0742 - 0600), 01000);

  // Without an autostart address the stack image is carried unchanged.
  Bytes quiet = data;
  for (size_t at = 0; at < 0200; at += 2) PutWord(quiet, at, static_cast<uint16_t>(at));
  RoundTrip(dir, "quiet.bin", MakeBkFile(0600, quiet));
  const Bytes quietImage = ReadFileBytes(dir / "quiet.skl");
  ASSERT_GT(quietImage.size(), 4u + 0200);
  EXPECT_EQ(Bytes(quietImage.begin() + 4, quietImage.begin() + 4 + 0200), Bytes(quiet.begin(), quiet.begin() + 0200));
}

TEST(SokolCli, RefusedPackingsWriteNothing) {
  TempDir dir;
  struct Case {
    const char* name;
    Bytes file;
    std::string message;
  };
  Random random(17);
  const Bytes noise = Noise(0400, 3);
  // The margin depends on the data alone: pack it low to learn it.
  WriteFileBytes(dir / "low.bin", MakeBkFile(01000, noise));
  ASSERT_EQ(Korvid(dir, {"-t", "sokol", "low.bin"}).exitStatus, kKorvidWritten);
  const unsigned margin = MarginOf(ReadFileBytes(dir / "low.skl"), 01000, noise.size());
  const unsigned missing = 0177000 + 0400 + margin - 0177600;
  const std::vector<Case> cases = {
      {"odd.bin", MakeBkFile(01001, GenerateProgram(random, 100)),
       "Ошибка:: нечётный адрес загрузки 01001, упаковка Sokol невозможна.\n"},
      {"stack.bin", MakeBkFile(0400, Bytes(0400, 1)),
       "Ошибка:: в файле нет данных выше адреса 01000, упаковывать нечего.\n"},
      {"top.bin", MakeBkFile(0177000, noise),
       "Ошибка:: программе вместе с запасом для распаковки на месте не хватает " +
           Counted(missing, "байта", "байт", "байт") +
           " памяти ниже 0177600, упаковка Sokol невозможна.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(dir / c.name, c.file);
    const RunResult run = Korvid(dir, {"-t", "Sokol", c.name});
    EXPECT_EQ(run.exitStatus, kKorvidFailed);
    EXPECT_EQ(run.out, kPacking + c.name + kLineEnd + c.message);
    const std::string name = c.name;
    EXPECT_FALSE(FileExists(dir / (name.substr(0, name.find('.')) + ".skl")));
  }
}

TEST(SokolCli, DamagedAndForeignImagesAreRefusedWithoutOutput) {
  TempDir dir;
  Random random(18);
  WriteFileBytes(dir / "prog.bin", MakeBkFile(01000, GenerateProgram(random, 6000)));
  ASSERT_EQ(Korvid(dir, {"-t", "sokol", "prog.bin"}).exitStatus, kKorvidWritten);
  const Bytes image = ReadFileBytes(dir / "prog.skl");

  struct Case {
    std::string name;
    Bytes file;
    std::vector<std::string> messages;  // any of them
  };
  Bytes flipped = image;
  flipped[4 + 32 + 100] ^= 0x10;  // a stream byte
  Bytes crc = image;
  crc[crc.size() - 1] ^= 0x01;  // the CRC, the image's last word
  Bytes cut = image;
  cut.resize(cut.size() - 2);
  PutWord(cut, 2, static_cast<uint16_t>(cut.size() - 4));
  Bytes moved = image;  // whole, but given another load address
  PutWord(moved, 0, 02000);
  const std::vector<Case> cases = {
      {"moved.skl",
       moved,
       {"Ошибка:: образ Sokol распаковывается с адреса 01000, а по заголовку файл загружается с "
        "адреса "
        "02000.\n"}},
      {"flipped.skl",
       flipped,
       {"Ошибка:: поток Sokol нарушает формат. Массив повреждён.\n",
        "Ошибка:: поток Sokol даёт не столько байт, сколько записано в образе. Массив повреждён.\n",
        "Ошибка:: контрольная сумма данных Sokol не совпадает. Массив повреждён.\n"}},
      {"crc.skl",
       crc,
       {"Ошибка:: контрольная сумма данных Sokol не совпадает. Массив повреждён.\n"}},
      {"cut.skl",
       cut,
       {"Ошибка:: параметры распаковщика Sokol не соответствуют файлу. Массив повреждён.\n"}},
      {"plain.skl", ReadFileBytes(dir / "prog.bin"), {kNotAnImage}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(dir / c.name, c.file);
    const RunResult run = Korvid(dir, {"-u", "-t", "sokol", c.name});
    EXPECT_EQ(run.exitStatus, kKorvidFailed);
    bool known = false;
    for (const std::string& message : c.messages) {
      known = known || run.out == kUnpacking + c.name + kLineEnd + message;
    }
    EXPECT_TRUE(known) << run.out;
    EXPECT_FALSE(FileExists(dir / (c.name.substr(0, c.name.find('.')) + ".bkfile")));
  }
}

}  // namespace
