#include "dorvik/dorvik_unpack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "dorvik/dorvik_compressor.h"
#include "dorvik/dorvik_context.h"
#include "dorvik/dorvik_image.h"
#include "dorvik/dorvik_pack.h"
#include "dorvik/dorvik_testing.h"
#include "front/packer_state.h"

namespace {

using dorvik_testing::ByteVector;
using dorvik_testing::BytesOfWords;
using dorvik_testing::Pack;
using dorvik_testing::PackOptions;
using dorvik_testing::Random;
using dorvik_testing::Unpack;
using dorvik_testing::Octal;
using dorvik_testing::WordOf;

const std::string kNotRecognised = "Ошибка:: не опознан упаковщик Dorvik или файл повреждён.\n";
const std::string kTruncated = "Ошибка:: оборван конец файла. Массив повреждён.\n";
const std::string kDamaged = "Ошибка:: упакованные данные повреждены, распаковка прервана.\n";

// The image of a packing that must succeed.
ByteVector PackedImage(uint16_t load, const ByteVector& data, const PackOptions& options = {}) {
  const auto packed = Pack(load, data, options);
  EXPECT_TRUE(packed.ok) << packed.console;
  return packed.bytes;
}

ByteVector Padded(ByteVector data) {
  if (data.size() & 1) data.push_back(0);
  return data;
}

void PutWord(ByteVector& bytes, size_t offset, uint16_t word) {
  bytes.at(offset) = static_cast<uint8_t>(word & 0xFF);
  bytes.at(offset + 1) = static_cast<uint8_t>(word >> 8);
}

// The stack words of a file below 01000, in one of the shapes that matter to
// the autostart handling. No word is 01000 itself: the image cannot tell
// such a word from a redirected one (see StackWordOf01000BelowTheRun).
enum class Stack { Zero, Arbitrary, Filled, Single };

void ShapeStack(ByteVector& data, uint16_t load, Stack shape, uint16_t startAddress,
                Random& random) {
  const uint16_t probe = std::max<uint16_t>(load, 0744);
  for (uint16_t address = load; address < 01000; address += 2) {
    uint16_t word = 0;
    switch (shape) {
      case Stack::Zero: break;
      case Stack::Arbitrary: word = random.Word(); break;
      case Stack::Filled: word = address >= probe ? startAddress : random.Word(); break;
      case Stack::Single: word = address == probe ? startAddress : random.Word(); break;
    }
    if (word == 01000) word = 01002;
    if (shape == Stack::Single && address != probe && word == startAddress) ++word;
    PutWord(data, address - load, word);
  }
}

// The one word that a file below 01000 cannot get back: when the start
// address stands in a single word at the probe (0744), the packer writes
// 01000 over the word below it, and the unpacker can only put the start
// address there. Returns its offset, or -1.
int LostWordOffset(const ByteVector& data, uint16_t load) {
  if (load >= 01000 || 0744 - load < 2) return -1;
  const size_t probe = 0744 - load;
  const uint16_t start = WordOf(data, probe);
  if (start <= 01000) return -1;
  if (probe + 2 < 01000u - load && WordOf(data, probe + 2) == start) return -1;
  return static_cast<int>(probe - 2);
}

// End-around-carry sum of the bytes, as the long stub carries it.
uint16_t Checksum(const ByteVector& bytes) {
  uint32_t sum = 0;
  for (uint8_t byte : bytes) {
    sum += byte;
    if (sum > 0xFFFF) sum = (sum & 0xFFFF) + 1;
  }
  return static_cast<uint16_t>(sum);
}

std::string LongWordsNote(uint16_t lengthWord, uint16_t checksumWord, uint16_t dataLength,
                          uint16_t dataChecksum) {
  return "Внимание:: длина " + Octal(lengthWord) + " и контрольная сумма " + Octal(checksumWord) +
         " из образа не совпадают с распакованными данными (длина " + Octal(dataLength) + ", сумма " +
         Octal(dataChecksum) + ").\n";
}

std::string StartNote(uint16_t startAddress) {
  return "Внимание:: распаковщик запускает программу с адреса " + Octal(startAddress) +
         ", в распакованный файл этот адрес записать нельзя.\n";
}

// Packs and unpacks; the result must be the input padded to even length,
// except for the documented lost word, which comes back as the start address.
// Nothing is noted about korvid's own images, unless that word changed the
// data that the long stub's checksum covers.
void ExpectRoundTrip(uint16_t load, const ByteVector& data, const PackOptions& options,
                     const std::string& label) {
  const auto packed = Pack(load, data, options);
  ASSERT_TRUE(packed.ok) << label << ": " << packed.console;
  const auto unpacked = Unpack(load, packed.bytes);
  ASSERT_TRUE(unpacked.ok) << label << ": " << unpacked.console;
  ByteVector expected = Padded(data);
  const int lost = LostWordOffset(data, load);
  if (lost >= 0) PutWord(expected, static_cast<size_t>(lost), WordOf(data, 0744 - load));
  const auto length = static_cast<uint16_t>(data.size());
  const bool changed = Checksum(expected) != Checksum(data);
  EXPECT_EQ(unpacked.console, options.longStub && changed
                                  ? LongWordsNote(length, Checksum(data), length, Checksum(expected))
                                  : "")
      << label;
  ASSERT_EQ(unpacked.bytes.size(), expected.size()) << label;
  const auto mismatch = std::mismatch(expected.begin(), expected.end(), unpacked.bytes.begin());
  EXPECT_TRUE(mismatch.first == expected.end())
      << label << ": differs at offset " << (mismatch.first - expected.begin());
}

TEST(DorvikUnpack, RoundTripsOfGeneratedInputsInAllOptionCombinations) {
  Random random(1);
  int packed = 0;
  for (int i = 0; i < 3000; ++i) {
    PackOptions options;
    options.longStub = random.Below(2);
    options.dataMode = random.Below(2);
    const uint32_t work = random.Below(4);
    options.workEnd = work == 0 ? -1 : work == 1 ? 0 : static_cast<int32_t>(random.Below(0140001));
    const bool low = random.Below(3) == 0;
    const uint16_t load = static_cast<uint16_t>(low ? 2 * random.Below(0400) : 01000 + 2 * random.Below(030000));
    const size_t stack = low ? 01000u - load : 0;
    const size_t length = stack + 1 + random.Below(random.Below(10) == 0 ? 12000 : 1500);
    ByteVector data = dorvik_testing::GenerateProgram(random, std::min<size_t>(length, 30720));
    if (low) {
      const auto shape = static_cast<Stack>(random.Below(4));
      ShapeStack(data, load, shape, static_cast<uint16_t>(01002 + 2 * random.Below(040000)), random);
    }
    const std::string label = "case " + std::to_string(i);
    const auto attempt = Pack(load, data, options);
    if (!attempt.ok) {
      // Only a work area that cannot work may refuse an input of this size.
      EXPECT_NE(attempt.console.find("рабоч"), std::string::npos) << label << attempt.console;
      continue;
    }
    ++packed;
    ExpectRoundTrip(load, data, options, label);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(packed, 2500);
}

// Every load address from 0700 to 0776, and a few lower ones, with each
// stack shape, as a program and as data.
TEST(DorvikUnpack, FilesBelow01000ComeBackWithTheirStackImage) {
  std::vector<uint16_t> loads = {0120, 0200, 0500};
  for (uint16_t load = 0700; load <= 0776; load += 2) loads.push_back(load);
  Random random(2);
  for (uint16_t load : loads) {
    for (Stack shape : {Stack::Zero, Stack::Arbitrary, Stack::Filled, Stack::Single}) {
      for (bool dataMode : {false, true}) {
        ByteVector data = dorvik_testing::GenerateProgram(random, 01000 - load + 2 + random.Below(400));
        ShapeStack(data, load, shape, 02000, random);
        const std::string label = "load " + dorvik_testing::Octal(load) + " shape " +
                                  std::to_string(static_cast<int>(shape)) + (dataMode ? " -d" : "");
        ExpectRoundTrip(load, data, {false, dataMode, -1}, label);
      }
    }
  }
}

TEST(DorvikUnpack, StartAddressComesFromTheStub) {
  Random random(4);
  ByteVector data = dorvik_testing::GenerateProgram(random, 01000 - 0400 + 600);
  ShapeStack(data, 0400, Stack::Filled, 02000, random);
  Unpack(0400, PackedImage(0400, data));
  EXPECT_EQ(dorvikContext.startDisplacement, 02000);
  ShapeStack(data, 0400, Stack::Zero, 0, random);
  Unpack(0400, PackedImage(0400, data));
  EXPECT_EQ(dorvikContext.startDisplacement, 01000);
  Unpack(02000, PackedImage(02000, data));
  EXPECT_EQ(dorvikContext.startDisplacement, 02000);
}

TEST(DorvikUnpack, StackWordOf01000BelowTheRunComesBackAsTheStartAddress) {
  // 0744..0776 hold 02000 and 0742 holds 01000: after redirection 0742 looks
  // like one of the redirected words. A documented limit of the image.
  ByteVector data(01000 - 0400 + 100, 0);
  for (uint16_t address = 0744; address < 01000; address += 2) PutWord(data, address - 0400, 02000);
  PutWord(data, 0742 - 0400, 01000);
  const auto unpacked = Unpack(0400, PackedImage(0400, data));
  ASSERT_TRUE(unpacked.ok);
  EXPECT_EQ(WordOf(unpacked.bytes, 0742 - 0400), 02000);
  EXPECT_EQ(WordOf(unpacked.bytes, 0740 - 0400), 0);
  for (uint16_t address = 0744; address < 01000; address += 2) {
    EXPECT_EQ(WordOf(unpacked.bytes, address - 0400), 02000);
  }
}

TEST(DorvikUnpack, RecognisesLongStubAndDataMode) {
  Random seeded6(6);
  const ByteVector data = dorvik_testing::GenerateProgram(seeded6, 3001);
  const auto image = PackedImage(01000, data, {true, true, -1});
  const auto unpacked = Unpack(01000, image);
  ASSERT_TRUE(unpacked.ok);
  EXPECT_TRUE(dorvikContext.longStub);
  EXPECT_TRUE(dorvikContext.dataMode);
  EXPECT_EQ(dorvikContext.stubSkip, 0);
  EXPECT_EQ(unpacked.bytes, Padded(data));
}

TEST(DorvikUnpack, ImageStoredAllPlainStopsAfterItsFirstToken) {
  // Built step by step without the packer's safeguard, as a single
  // encoder pass leaves it: read and write positions start out equal.
  const ByteVector data = BytesOfWords({0x0102, 0x0304, 0x0506, 0x0708});
  dorvik_testing::LoadBuffer(01000, data);
  ASSERT_TRUE(PrepareRegion());
  dorvik_testing::RunAnalysisSteps();
  EncodeStream();
  ASSERT_TRUE(RegionStoredPlain());
  WriteDeltaList();
  ASSERT_TRUE(SettleWorkArea());
  RedirectAutostart();
  BuildDorvikImage();
  const auto begin = packerState.fileBuffer.begin();
  const ByteVector image(begin, begin + dorvikContext.imageLength);
  EXPECT_EQ(Unpack(01000, image).bytes, data);
}

TEST(DorvikUnpack, AbsoluteStartWordIsTheStartAddress) {
  Random seeded7(7);
  ByteVector image = PackedImage(01000, dorvik_testing::GenerateProgram(seeded7, 800));
  const size_t exit = 142 - 18;
  PutWord(image, exit, 0000137);
  PutWord(image, exit + 2, 04000);
  const auto unpacked = Unpack(01000, image);
  ASSERT_TRUE(unpacked.ok);
  EXPECT_EQ(dorvikContext.startDisplacement, 04000);
  // A file at 01000 starts at 01000: the user must hear where this one starts.
  EXPECT_EQ(unpacked.console, StartNote(04000));
}

TEST(DorvikUnpack, ExtraBytesAreIgnoredAndAMissingByteIsReported) {
  Random seeded8(8);
  const ByteVector data = dorvik_testing::GenerateProgram(seeded8, 2000);
  ByteVector image = PackedImage(01000, data);
  ByteVector longer = image;
  longer.insert(longer.end(), {1, 2, 3});
  EXPECT_EQ(Unpack(01000, longer).bytes, data);
  image.pop_back();
  const auto cut = Unpack(01000, image);
  EXPECT_FALSE(cut.ok);
  EXPECT_EQ(cut.console, kTruncated);
}

// Each cut of a valid image fails with one of the three messages.
TEST(DorvikUnpack, EveryTruncationIsRefusedWithOneMessage) {
  struct Source {
    uint16_t load;
    ByteVector data;
    PackOptions options;
  };
  Random random(9);
  ByteVector low = dorvik_testing::GenerateProgram(random, 01000 - 0500 + 1500);
  ShapeStack(low, 0500, Stack::Filled, 02000, random);
  const Source sources[] = {{01000, dorvik_testing::GenerateProgram(random, 1500), {}},
                            {0500, low, {true, false, -1}}};
  for (const Source& source : sources) {
    const ByteVector image = PackedImage(source.load, source.data, source.options);
    ASSERT_GT(image.size(), 200u);
    for (size_t length = 0; length < image.size(); ++length) {
      const auto result = Unpack(source.load, ByteVector(image.begin(), image.begin() + length));
      EXPECT_FALSE(result.ok) << length;
      EXPECT_TRUE(result.console == kNotRecognised || result.console == kTruncated ||
                  result.console == kDamaged)
          << length << ": " << result.console;
    }
  }
}

TEST(DorvikUnpack, DamagedHeaderFieldsAreReported) {
  Random random(10);
  const ByteVector image = PackedImage(01000, dorvik_testing::GenerateProgram(random, 3000));
  // Short stub at 01000: stub offset x lies at image offset x - 18.
  struct Field {
    uint16_t stubOffset;
    uint16_t value;
    std::string message;
  } const fields[] = {
      {86, 0xFFFF, kDamaged},    // header longer than the image
      {96, 0xFFFF, kDamaged},    // region far larger than the stream
      {96, 0, kDamaged},         // region shorter than the stream
      {82, 0x7000, kTruncated},  // image longer than the file
      {140, 0, kNotRecognised},  // a word that recognition compares
  };
  for (const Field& field : fields) {
    ByteVector damaged = image;
    PutWord(damaged, field.stubOffset - 18u, field.value);
    const auto result = Unpack(01000, damaged);
    EXPECT_FALSE(result.ok) << field.stubOffset;
    EXPECT_EQ(result.console, field.message) << field.stubOffset;
  }
  // A bitmap of all ones asks for 256 deltas; the list and the stream
  // behind it make a table that cannot decode the stream.
  ByteVector ones = image;
  std::fill(ones.begin() + 128, ones.begin() + 160, 0xFF);
  const auto result = Unpack(01000, ones);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.console, kDamaged);
}

TEST(DorvikUnpack, RandomCorruptionsNeverEscapeTheBuffer) {
  Random random(11);
  std::set<std::string> seen;
  for (int i = 0; i < 2000; ++i) {
    const bool low = i % 3 == 0;
    const uint16_t load = low ? 0400 : 01000;
    ByteVector data = dorvik_testing::GenerateProgram(random, (low ? 0400 : 0) + 200 + random.Below(800));
    if (low) ShapeStack(data, load, Stack::Filled, 02000, random);
    ByteVector image = PackedImage(load, data, {random.Below(2) == 1, false, -1});
    const uint32_t changes = 1 + random.Below(6);
    for (uint32_t k = 0; k < changes; ++k) {
      image[random.Below(static_cast<uint32_t>(image.size()))] = static_cast<uint8_t>(random.Next());
    }
    const auto result = Unpack(load, image);
    if (result.ok) {
      // Only notes, each a line of its own.
      EXPECT_EQ(result.console.find("Ошибка"), std::string::npos) << result.console;
      EXPECT_TRUE(result.console.empty() || result.console.rfind("Внимание:: ", 0) == 0) << result.console;
      EXPECT_LE(result.bytes.size(), 0xFFFFu);
      seen.insert(result.console.empty() ? "data" : "data and a note");
    } else {
      EXPECT_TRUE(result.console == kNotRecognised || result.console == kTruncated ||
                  result.console == kDamaged)
          << result.console;
      seen.insert(result.console);
    }
  }
  // Corruption reaches every outcome, the decoder's checks and the notes included.
  EXPECT_EQ(seen.count(kDamaged), 1u);
  EXPECT_EQ(seen.count("data"), 1u);
  EXPECT_EQ(seen.count("data and a note"), 1u);
}

TEST(DorvikUnpack, FilesThatAreNoDorvikImageAreNotRecognised) {
  Random random(12);
  for (size_t length : {0, 1, 100, 145, 146, 2000}) {
    ByteVector bytes(length);
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random.Next());
    const auto result = Unpack(01000, bytes);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.console, kNotRecognised);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), packerState.fileBuffer.begin()));
  }
  // An image packed for 01000 but taken to load below it is not found.
  const ByteVector image = PackedImage(01000, ByteVector(500, 7));
  EXPECT_EQ(Unpack(0400, image).console, kNotRecognised);
}

// --- images that other tools make, and korvid's own under damage ------------

// A program below 01000 whose whole stack image holds `fill`, and code above.
ByteVector StackFilledWith(uint16_t load, uint16_t fill, size_t programBytes, uint32_t seed) {
  Random random(seed);
  ByteVector data = dorvik_testing::GenerateProgram(random, 01000u - load + programBytes);
  for (uint16_t address = load; address < 01000; address += 2) PutWord(data, address - load, fill);
  return data;
}

TEST(DorvikUnpack, StackImageAllRedirectedGetsTheStartAddressFromTheStub) {
  // Other tools point every word of the stack image at the stub (01000) and
  // keep the start address only in the stub: all of it comes back.
  for (const uint16_t load : {0120, 0400, 0742, 0744, 0776}) {
    const ByteVector data = StackFilledWith(load, 037700, 700, load);
    ByteVector image = PackedImage(load, data);
    for (uint16_t address = load; address < 01000; address += 2) PutWord(image, address - load, 01000);
    const auto unpacked = Unpack(load, image);
    ASSERT_TRUE(unpacked.ok) << Octal(load);
    EXPECT_EQ(unpacked.bytes, Padded(data)) << Octal(load);
    EXPECT_EQ(unpacked.console, "") << Octal(load);
    EXPECT_EQ(dorvikContext.startDisplacement, 037700);
  }
}

TEST(DorvikUnpack, StartThatTheFileCannotCarryIsNamedAndTheDataWritten) {
  Random random(20);
  const ByteVector program = dorvik_testing::GenerateProgram(random, 900);
  // At 01000 and above the file starts at its load address; this stub jumps
  // 0100 bytes further.
  ByteVector high = PackedImage(02000, program);
  PutWord(high, 144 - 18, static_cast<uint16_t>(WordOf(high, 144 - 18) + 0100));
  auto unpacked = Unpack(02000, high);
  ASSERT_TRUE(unpacked.ok);
  EXPECT_EQ(unpacked.bytes, program);
  EXPECT_EQ(unpacked.console, StartNote(02100));

  // Below 01000 the stack image says "no autostart" (zero at 0744), the stub
  // jumps to 03000: nothing in the data may be changed to say that.
  const ByteVector zeroStack = StackFilledWith(0400, 0, 900, 21);
  ByteVector low = PackedImage(0400, zeroStack);
  const size_t word144 = 01000 - 0400 - 18 + 144;
  PutWord(low, word144, static_cast<uint16_t>(WordOf(low, word144) + 02000));
  unpacked = Unpack(0400, low);
  ASSERT_TRUE(unpacked.ok);
  EXPECT_EQ(unpacked.bytes, zeroStack);
  EXPECT_EQ(unpacked.console, StartNote(03000));

  // The same stub in data mode returns to its caller: no start to speak of.
  PutWord(low, word144 - 2, 0000207);
  unpacked = Unpack(0400, low);
  ASSERT_TRUE(unpacked.ok);
  EXPECT_EQ(unpacked.console, "");
}

TEST(DorvikUnpack, FitStartAddressDecidesByTheAutostartWord) {
  const struct {
    const char* name;
    uint16_t load;
    std::vector<uint16_t> stack;  // the words from the load address up to 01000
    uint16_t start;
    StartAddressFit fit;
    std::vector<uint16_t> after;
  } cases[] = {
      {"at 01000, starts there", 01000, {}, 01000, StartAddressFit::Carried, {}},
      {"at 02000, starts elsewhere", 02000, {}, 02004, StartAddressFit::Lost, {}},
      {"probe holds the start", 0740, {5, 0, 02000, 02000, 02000, 02000, 02000, 02000, 02000, 02000,
                                       02000, 02000, 02000, 02000, 02000, 02000},
       02000, StartAddressFit::Carried, {5, 0, 02000, 02000, 02000, 02000, 02000, 02000, 02000, 02000,
                                         02000, 02000, 02000, 02000, 02000, 02000}},
      // The run of 01000 around the probe, and only that run, takes the start.
      {"run of 01000", 0740, {01000, 7, 01000, 01000, 01000, 9, 01000, 01000, 01000, 01000, 01000, 01000,
                              01000, 01000, 01000, 01000},
       037700, StartAddressFit::Restored, {01000, 7, 037700, 037700, 037700, 9, 01000, 01000, 01000,
                                           01000, 01000, 01000, 01000, 01000, 01000, 01000}},
      {"first word is the probe", 0770, {01000, 01000, 01000, 4}, 04000, StartAddressFit::Restored,
       {04000, 04000, 04000, 4}},
      {"no autostart, start 01000", 0740, {0, 0, 0500, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       01000, StartAddressFit::Carried, {0, 0, 0500, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"autostart elsewhere, start 01000", 0740, {0, 0, 02000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       01000, StartAddressFit::Lost, {0, 0, 02000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"no autostart, start elsewhere", 0740, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 02000,
       StartAddressFit::Lost, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    ByteVector data = BytesOfWords(c.stack);
    const ByteVector program = BytesOfWords({012737, 1, 2, 3});
    data.insert(data.end(), program.begin(), program.end());
    const int32_t regionStart = c.load < 01000 ? 01000 - c.load : 0;
    EXPECT_EQ(FitStartAddress(data.data(), regionStart, c.load, c.start), c.fit) << c.name;
    ByteVector expected = BytesOfWords(c.after);
    expected.insert(expected.end(), program.begin(), program.end());
    EXPECT_EQ(data, expected) << c.name;
  }
}

TEST(DorvikUnpack, LongStubWordsAreComparedWithTheData) {
  const ByteVector data = {1, 2, 3, 0xFF, 0xFF, 0};  // odd input 1 2 3 FF FF, padded
  const uint16_t sum = 1 + 2 + 3 + 0xFF + 0xFF;
  auto check = CheckLongStubWords(data.data(), 6, 5, sum);
  EXPECT_TRUE(check.match);
  EXPECT_EQ(check.dataLength, 5);
  EXPECT_TRUE(CheckLongStubWords(data.data(), 6, 6, sum).match);
  check = CheckLongStubWords(data.data(), 6, 7, sum);
  EXPECT_FALSE(check.match);
  EXPECT_EQ(check.dataLength, 6);
  check = CheckLongStubWords(data.data(), 6, 6, sum + 1);
  EXPECT_FALSE(check.match);
  EXPECT_EQ(check.dataChecksum, sum);
  // The sum carries round: 258 * 0xFF = 0x100FE folds to 0xFE + 1.
  const ByteVector many(0x102, 0xFF);
  EXPECT_EQ(CheckLongStubWords(many.data(), 0x102, 0x102, 0xFF).dataChecksum, 0xFF);
}

TEST(DorvikUnpack, LongStubWordsThatAreNotTheDataGiveANoteAndTheData) {
  Random random(22);
  const ByteVector data = dorvik_testing::GenerateProgram(random, 1501);
  const ByteVector image = PackedImage(01000, data, {true, false, -1});
  ByteVector other = image;
  PutWord(other, 2, 012345);   // length
  PutWord(other, 14, 054321);  // checksum
  const auto unpacked = Unpack(01000, other);
  ASSERT_TRUE(unpacked.ok);
  EXPECT_EQ(unpacked.bytes, Padded(data));
  EXPECT_EQ(unpacked.console, LongWordsNote(012345, 054321, 1502, Checksum(data)));

  // Damage inside korvid's own image that the decoder cannot see shows in
  // the checksum: one stream byte changed, the unpacked data is wrong.
  for (size_t offset = 200; offset < image.size(); ++offset) {
    ByteVector damaged = image;
    damaged[offset] ^= 0x01;
    const auto result = Unpack(01000, damaged);
    if (!result.ok || result.bytes == Padded(data)) continue;
    EXPECT_EQ(result.console,
              LongWordsNote(1501, Checksum(data), static_cast<uint16_t>(result.bytes.size() - 1),
                            Checksum(result.bytes)))
        << offset;
    return;
  }
  FAIL() << "no single changed bit gave wrong data";
}

TEST(DorvikUnpack, StubWhoseFirstWordsALoaderTookOverStillUnpacks) {
  Random random(23);
  const ByteVector program = dorvik_testing::GenerateProgram(random, 2000);
  const ByteVector shortImage = PackedImage(01000, program);
  auto unpacked = Unpack(01000, dorvik_testing::WithLoaderInFront(shortImage, 01000, 0, 3));
  ASSERT_TRUE(unpacked.ok) << unpacked.console;
  EXPECT_EQ(unpacked.bytes, program);
  EXPECT_EQ(unpacked.console, "");

  // The long stub too, with its words at 0266 and 0350 gone as well: the
  // stub is found by its loop and decoder, its length word no longer says
  // the data's length.
  const ByteVector longImage = PackedImage(01000, program, {true, false, -1});
  const ByteVector patched = dorvik_testing::WithLoaderInFront(longImage, 01000, 0, 7);
  EXPECT_NE(WordOf(patched, 6), 0266);
  EXPECT_NE(WordOf(patched, 10), 0350);
  unpacked = Unpack(01000, patched);
  ASSERT_TRUE(unpacked.ok) << unpacked.console;
  EXPECT_TRUE(dorvikContext.longStub);
  EXPECT_EQ(unpacked.bytes, program);
  const auto loaderAddress = static_cast<uint16_t>(01000 + (longImage.size() + 1) / 2 * 2);
  EXPECT_EQ(unpacked.console, LongWordsNote(loaderAddress, Checksum(program), 2000, Checksum(program)));

  // Below 01000 the stub sits at 01000.
  const ByteVector low = StackFilledWith(0600, 02000, 800, 24);
  unpacked = Unpack(0600, dorvik_testing::WithLoaderInFront(PackedImage(0600, low), 0600, 01000 - 0600, 3));
  ASSERT_TRUE(unpacked.ok) << unpacked.console;
  EXPECT_EQ(unpacked.bytes, Padded(low));
}

TEST(DorvikUnpack, RawImagesAreToldFromOtherBytes) {
  Random random(25);
  const ByteVector program = dorvik_testing::GenerateProgram(random, 600);
  for (const bool longStub : {false, true}) {
    const ByteVector image = PackedImage(01000, program, {longStub, false, -1});
    EXPECT_TRUE(IsRawDorvikImage(image.data(), image.size())) << longStub;
    ByteVector withHeader = {0, 2, 0, 0};
    withHeader.insert(withHeader.end(), image.begin(), image.end());
    EXPECT_FALSE(IsRawDorvikImage(withHeader.data(), withHeader.size())) << longStub;
    const size_t stubBytes = longStub ? 146 : 128;  // the image's part of the stub
    EXPECT_TRUE(IsRawDorvikImage(image.data(), stubBytes)) << longStub;
    EXPECT_FALSE(IsRawDorvikImage(image.data(), stubBytes - 1)) << longStub;
  }
  EXPECT_FALSE(IsRawDorvikImage(program.data(), program.size()));
}

}  // namespace
