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

// Packs and unpacks; the result must be the input padded to even length,
// except for the documented lost word, which comes back as the start address.
void ExpectRoundTrip(uint16_t load, const ByteVector& data, const PackOptions& options,
                     const std::string& label) {
  const auto packed = Pack(load, data, options);
  ASSERT_TRUE(packed.ok) << label << ": " << packed.console;
  const auto unpacked = Unpack(load, packed.bytes);
  ASSERT_TRUE(unpacked.ok) << label << ": " << unpacked.console;
  EXPECT_EQ(unpacked.console, " OK\n") << label;
  ByteVector expected = Padded(data);
  const int lost = LostWordOffset(data, load);
  if (lost >= 0) PutWord(expected, static_cast<size_t>(lost), WordOf(data, 0744 - load));
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
  ASSERT_TRUE(Unpack(01000, image).ok);
  EXPECT_EQ(dorvikContext.startDisplacement, 04000);
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
      {22, 0x7000, kDamaged},    // delta list outside the file
      {22, 0, kDamaged},         // bitmap before the file's start
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
      EXPECT_EQ(result.console, " OK\n");
      EXPECT_LE(result.bytes.size(), 0xFFFFu);
    } else {
      EXPECT_TRUE(result.console == kNotRecognised || result.console == kTruncated ||
                  result.console == kDamaged)
          << result.console;
    }
    seen.insert(result.console);
  }
  // Corruption reaches every outcome, the decoder's checks included.
  EXPECT_EQ(seen.count(kDamaged), 1u);
  EXPECT_EQ(seen.count(" OK\n"), 1u);
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

}  // namespace
