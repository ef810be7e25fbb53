#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "bk/checksum.h"
#include "dorvik/dorvik.h"
#include "dorvik/dorvik_pack_compressor.h"
#include "dorvik/dorvik_pack_image.h"
#include "dorvik/dorvik_pack_state.h"
#include "dorvik/dorvik_stub.h"
#include "dorvik/dorvik_testing.h"

namespace dorvik {

namespace {

using dorvik_testing::NothingToNote;
using dorvik_testing::Options;
using dorvik_testing::Pack;
using dorvik_testing::Unpack;
using dorvik_testing::Unpacked;

// The image of a packing that must succeed.
Bytes PackedImage(uint16_t load, const Bytes& data, const PackOptions& options = {}) {
  const auto packed = Pack(load, data, options);
  EXPECT_TRUE(packed.ok()) << static_cast<int>(packed.error);
  return packed.image;
}

Bytes Padded(Bytes data) {
  if (data.size() & 1) data.push_back(0);
  return data;
}

// The start address the file cannot carry, and only that, is noted.
void ExpectStartNote(const UnpackResult& result, uint16_t startAddress) {
  EXPECT_TRUE(result.startAddressLost);
  EXPECT_EQ(result.startAddress, startAddress);
  EXPECT_FALSE(dorvik_testing::LongWordsDiffer(result));
}

// The long stub's words differ from the data's, and only that is noted.
void ExpectLongWordsNote(const UnpackResult& result, uint16_t lengthWord, uint16_t checksumWord,
                         uint16_t dataLength, uint16_t dataChecksum) {
  EXPECT_FALSE(result.startAddressLost);
  EXPECT_TRUE(result.longStub);
  EXPECT_FALSE(result.longWords.match);
  EXPECT_EQ(result.lengthWord, lengthWord);
  EXPECT_EQ(result.checksumWord, checksumWord);
  EXPECT_EQ(result.longWords.dataLength, dataLength);
  EXPECT_EQ(result.longWords.dataChecksum, dataChecksum);
}

// The one word that a file below 01000 cannot get back: when the start
// address stands in a single word at the probe (0744), the packer writes
// 01000 over the word below it, and the unpacker can only put the start
// address there. Returns its offset, or -1.
int LostWordOffset(const Bytes& data, uint16_t load) {
  if (load >= 01000 || 0744 - load < 2) return -1;
  const size_t probe = 0744 - load;
  const uint16_t start = WordAt(data, probe);
  if (start <= 01000) return -1;
  if (probe + 2 < 01000u - load && WordAt(data, probe + 2) == start) return -1;
  return static_cast<int>(probe - 2);
}

// End-around-carry sum of the bytes, as the long stub carries it.
uint16_t Checksum(const Bytes& bytes) { return EndAroundCarrySum(bytes.data(), bytes.size()); }

// Packs and unpacks; the result must be the input padded to even length,
// except for the documented lost word, which comes back as the start address.
// Nothing is noted about korvid's own images, unless that word changed the
// data that the long stub's checksum covers.
void ExpectRoundTrip(uint16_t load, const Bytes& data, const PackOptions& options,
                     const std::string& label) {
  const auto packed = Pack(load, data, options);
  ASSERT_TRUE(packed.ok()) << label << ": " << static_cast<int>(packed.error);
  const auto unpacked = Unpack(load, packed.image);
  ASSERT_TRUE(Unpacked(unpacked)) << label << ": " << static_cast<int>(unpacked.error);
  Bytes expected = Padded(data);
  const int lost = LostWordOffset(data, load);
  if (lost >= 0) PutWord(expected, static_cast<size_t>(lost), WordAt(data, 0744 - load));
  const auto length = static_cast<uint16_t>(data.size());
  if (options.longStub && Checksum(expected) != Checksum(data)) {
    ExpectLongWordsNote(unpacked, length, Checksum(data), length, Checksum(expected));
  } else {
    EXPECT_TRUE(NothingToNote(unpacked)) << label;
  }
  ASSERT_EQ(unpacked.data.size(), expected.size()) << label;
  const auto mismatch = std::mismatch(expected.begin(), expected.end(), unpacked.data.begin());
  EXPECT_TRUE(mismatch.first == expected.end())
      << label << ": differs at offset " << (mismatch.first - expected.begin());
}

TEST(Unpack, RoundTripsOfGeneratedInputsInAllOptionCombinations) {
  Random random(1);
  int packed = 0;
  for (int i = 0; i < 3000; ++i) {
    Options options;
    options.longStub = random.Below(2);
    options.dataMode = random.Below(2);
    const uint32_t work = random.Below(4);
    if (work > 0) options.workEnd = static_cast<uint16_t>(work == 1 ? 0 : random.Below(0140001));
    const bool low = random.Below(3) == 0;
    const uint16_t load =
        static_cast<uint16_t>(low ? 2 * random.Below(0400) : 01000 + 2 * random.Below(030000));
    const size_t stack = low ? 01000u - load : 0;
    const size_t length = stack + 1 + random.Below(random.Below(10) == 0 ? 12000 : 1500);
    Bytes data = GenerateProgram(random, std::min<size_t>(length, 30720));
    if (low) {
      const auto shape = static_cast<Stack>(random.Below(4));
      ShapeStack(data, load, shape, static_cast<uint16_t>(01002 + 2 * random.Below(040000)),
                 random);
    }
    const std::string label = "case " + std::to_string(i);
    const auto attempt = Pack(load, data, options);
    if (!attempt.ok()) {
      // Only a work area that cannot work may refuse an input of this size.
      EXPECT_TRUE(attempt.error == PackError::WorkAreaOverlap ||
                  attempt.error == PackError::WorkAreaOutside ||
                  attempt.error == PackError::NoWorkArea)
          << label << static_cast<int>(attempt.error);
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
TEST(Unpack, FilesBelow01000ComeBackWithTheirStackImage) {
  std::vector<uint16_t> loads = {0120, 0200, 0500};
  for (uint16_t load = 0700; load <= 0776; load += 2) loads.push_back(load);
  Random random(2);
  for (uint16_t load : loads) {
    for (Stack shape : {Stack::Zero, Stack::Arbitrary, Stack::Filled, Stack::Single}) {
      for (bool dataMode : {false, true}) {
        Bytes data = GenerateProgram(random, 01000 - load + 2 + random.Below(400));
        ShapeStack(data, load, shape, 02000, random);
        const std::string label = "load " + Octal(load) + " shape " +
                                  std::to_string(static_cast<int>(shape)) + (dataMode ? " -d" : "");
        Options options;
        options.dataMode = dataMode;
        ExpectRoundTrip(load, data, options, label);
      }
    }
  }
}

TEST(Unpack, StartAddressComesFromTheStub) {
  Random random(4);
  Bytes data = GenerateProgram(random, 01000 - 0400 + 600);
  ShapeStack(data, 0400, Stack::Filled, 02000, random);
  EXPECT_EQ(Unpack(0400, PackedImage(0400, data)).startAddress, 02000);
  ShapeStack(data, 0400, Stack::Zero, 0, random);
  EXPECT_EQ(Unpack(0400, PackedImage(0400, data)).startAddress, 01000);
  EXPECT_EQ(Unpack(02000, PackedImage(02000, data)).startAddress, 02000);
}

TEST(Unpack, StackWordOf01000BelowTheRunComesBackAsTheStartAddress) {
  // 0744..0776 hold 02000 and 0742 holds 01000: after redirection 0742 looks
  // like one of the redirected words. A documented limit of the image.
  Bytes data(01000 - 0400 + 100, 0);
  for (uint16_t address = 0744; address < 01000; address += 2) PutWord(data, address - 0400, 02000);
  PutWord(data, 0742 - 0400, 01000);
  const auto unpacked = Unpack(0400, PackedImage(0400, data));
  ASSERT_TRUE(Unpacked(unpacked));
  EXPECT_EQ(WordAt(unpacked.data, 0742 - 0400), 02000);
  EXPECT_EQ(WordAt(unpacked.data, 0740 - 0400), 0);
  for (uint16_t address = 0744; address < 01000; address += 2) {
    EXPECT_EQ(WordAt(unpacked.data, address - 0400), 02000);
  }
}

TEST(Unpack, RecognisesLongStubAndDataMode) {
  Random seeded6(6);
  const Bytes data = GenerateProgram(seeded6, 3001);
  const auto image = PackedImage(01000, data, Options().Long().Data());
  const auto unpacked = Unpack(01000, image);
  ASSERT_TRUE(Unpacked(unpacked));
  EXPECT_TRUE(unpacked.longStub);
  EXPECT_TRUE(unpacked.dataMode);
  EXPECT_EQ(unpacked.data, Padded(data));
  const auto shortData = Unpack(01000, PackedImage(01000, data, Options().Data()));
  EXPECT_FALSE(shortData.longStub);
  EXPECT_TRUE(shortData.dataMode);
}

TEST(Unpack, ImageStoredAllPlainStopsAfterItsFirstToken) {
  // Built step by step without the packer's safeguard, as a single
  // encoder pass leaves it: read and write positions start out equal.
  const Bytes data = BytesOfWords({0x0102, 0x0304, 0x0506, 0x0708});
  Packing p;
  ASSERT_EQ(PrepareRegion(data, 01000, {}, &p), PackError::None);
  dorvik_testing::RunAnalysisSteps(p);
  EncodeStream(p);
  ASSERT_TRUE(RegionStoredPlain(p));
  WriteDeltaList(p);
  ASSERT_EQ(SettleWorkArea(p), PackError::None);
  RedirectAutostart(p);
  BuildImage(p);
  const Bytes image(p.buffer.begin(), p.buffer.begin() + p.imageLength);
  EXPECT_EQ(Unpack(01000, image).data, data);
}

TEST(Unpack, AbsoluteStartWordIsTheStartAddress) {
  Random seeded7(7);
  Bytes image = PackedImage(01000, GenerateProgram(seeded7, 800));
  const size_t exit = stub::kExit - kShortStubSkip;
  PutWord(image, exit, 0000137);
  PutWord(image, exit + 2, 04000);
  const auto unpacked = Unpack(01000, image);
  ASSERT_TRUE(Unpacked(unpacked));
  // A file at 01000 starts at 01000: the user must hear where this one starts.
  ExpectStartNote(unpacked, 04000);
}

TEST(Unpack, ExtraBytesAreIgnoredAndAMissingByteIsReported) {
  Random seeded8(8);
  const Bytes data = GenerateProgram(seeded8, 2000);
  Bytes image = PackedImage(01000, data);
  Bytes longer = image;
  longer.insert(longer.end(), {1, 2, 3});
  EXPECT_EQ(Unpack(01000, longer).data, data);
  image.pop_back();
  const auto cut = Unpack(01000, image);
  EXPECT_EQ(cut.error, UnpackError::Truncated);
  EXPECT_TRUE(cut.data.empty());
}

// Each cut of a valid image is refused, for one of the three reasons.
TEST(Unpack, EveryTruncationIsRefusedWithOneMessage) {
  struct Source {
    uint16_t load;
    Bytes data;
    Options options;
  };
  Random random(9);
  Bytes low = GenerateProgram(random, 01000 - 0500 + 1500);
  ShapeStack(low, 0500, Stack::Filled, 02000, random);
  const Source sources[] = {{01000, GenerateProgram(random, 1500), {}},
                            {0500, low, Options().Long()}};
  for (const Source& source : sources) {
    const Bytes image = PackedImage(source.load, source.data, source.options);
    ASSERT_GT(image.size(), 200u);
    for (size_t length = 0; length < image.size(); ++length) {
      const auto result = Unpack(source.load, Bytes(image.begin(), image.begin() + length));
      EXPECT_NE(result.error, UnpackError::None) << length;
      EXPECT_TRUE(result.data.empty()) << length;
    }
  }
}

TEST(Unpack, DamagedHeaderFieldsAreReported) {
  Random random(10);
  const Bytes image = PackedImage(01000, GenerateProgram(random, 3000));
  // Short stub at 01000: stub offset x lies at image offset x - 022.
  struct Field {
    uint16_t stubOffset;
    uint16_t value;
    UnpackError error;
  } const fields[] = {
      {stub::kHeaderLength, 0xFFFF, UnpackError::Damaged},     // header longer than the image
      {stub::kPackedLength, 0xFFFF, UnpackError::Damaged},     // region far larger than the stream
      {stub::kPackedLength, 0, UnpackError::Damaged},          // region shorter than the stream
      {stub::kStreamAdvance, 0x7000, UnpackError::Truncated},  // image longer than the file
      {stub::kRecognisedSecond, 0, UnpackError::NotRecognised},  // a word that recognition compares
  };
  for (const Field& field : fields) {
    Bytes damaged = image;
    PutWord(damaged, field.stubOffset - kShortStubSkip, field.value);
    EXPECT_EQ(Unpack(01000, damaged).error, field.error) << field.stubOffset;
  }
  // A bitmap of all ones asks for 256 deltas; the list and the stream
  // behind it make a table that cannot decode the stream.
  Bytes ones = image;
  const size_t bitmap = kStubSize - kShortStubSkip;
  std::fill(ones.begin() + bitmap, ones.begin() + bitmap + kCodeBitmapSize, 0xFF);
  EXPECT_EQ(Unpack(01000, ones).error, UnpackError::Damaged);
}

TEST(Unpack, RandomCorruptionsNeverEscapeTheBuffer) {
  Random random(11);
  std::set<std::string> seen;
  const char* const kErrors[] = {"data", "not recognised", "truncated", "damaged"};
  for (int i = 0; i < 2000; ++i) {
    const bool low = i % 3 == 0;
    const uint16_t load = low ? 0400 : 01000;
    Bytes data = GenerateProgram(random, (low ? 0400 : 0) + 200 + random.Below(800));
    if (low) ShapeStack(data, load, Stack::Filled, 02000, random);
    Options options;
    options.longStub = random.Below(2) == 1;
    Bytes image = PackedImage(load, data, options);
    const uint32_t changes = 1 + random.Below(6);
    for (uint32_t k = 0; k < changes; ++k) {
      image[random.Below(static_cast<uint32_t>(image.size()))] =
          static_cast<uint8_t>(random.Next());
    }
    const auto result = Unpack(load, image);
    if (Unpacked(result)) {
      EXPECT_LE(result.data.size(), 0xFFFFu);
      seen.insert(NothingToNote(result) ? "data" : "data and a note");
    } else {
      EXPECT_TRUE(result.data.empty());
      seen.insert(kErrors[static_cast<int>(result.error)]);
    }
  }
  // Corruption reaches every outcome, the decoder's checks and the notes included.
  EXPECT_EQ(seen.count("damaged"), 1u);
  EXPECT_EQ(seen.count("data"), 1u);
  EXPECT_EQ(seen.count("data and a note"), 1u);
}

TEST(Unpack, FilesThatAreNoDorvikImageAreNotRecognised) {
  Random random(12);
  for (size_t length : {0, 1, 100, 145, 146, 2000}) {
    Bytes bytes(length);
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random.Next());
    const auto result = Unpack(01000, bytes);
    EXPECT_EQ(result.error, UnpackError::NotRecognised);
    EXPECT_TRUE(result.data.empty());
  }
  // An image packed for 01000 but taken to load below it is not found.
  const Bytes image = PackedImage(01000, Bytes(500, 7));
  EXPECT_EQ(Unpack(0400, image).error, UnpackError::NotRecognised);
}

// --- images that other tools make, and korvid's own under damage ------------

// A program below 01000 whose whole stack image holds `fill`, and code above.
Bytes StackFilledWith(uint16_t load, uint16_t fill, size_t programBytes, uint32_t seed) {
  Random random(seed);
  Bytes data = GenerateProgram(random, 01000u - load + programBytes);
  for (uint16_t address = load; address < 01000; address += 2) PutWord(data, address - load, fill);
  return data;
}

TEST(Unpack, StackImageAllRedirectedGetsTheStartAddressFromTheStub) {
  // Other tools point every word of the stack image at the stub (01000) and
  // keep the start address only in the stub: all of it comes back.
  for (const uint16_t load : std::initializer_list<uint16_t>{0120, 0400, 0742, 0744, 0776}) {
    const Bytes data = StackFilledWith(load, 037700, 700, load);
    Bytes image = PackedImage(load, data);
    for (uint16_t address = load; address < 01000; address += 2)
      PutWord(image, address - load, 01000);
    const auto unpacked = Unpack(load, image);
    ASSERT_TRUE(Unpacked(unpacked)) << Octal(load);
    EXPECT_EQ(unpacked.data, Padded(data)) << Octal(load);
    EXPECT_TRUE(NothingToNote(unpacked)) << Octal(load);
    EXPECT_EQ(unpacked.startAddress, 037700);
  }
}

TEST(Unpack, StartThatTheFileCannotCarryIsNamedAndTheDataWritten) {
  Random random(20);
  const Bytes program = GenerateProgram(random, 900);
  // At 01000 and above the file starts at its load address; this stub jumps
  // 0100 bytes further.
  Bytes high = PackedImage(02000, program);
  const size_t jump = stub::kStartDisplacement - kShortStubSkip;
  PutWord(high, jump, static_cast<uint16_t>(WordAt(high, jump) + 0100));
  auto unpacked = Unpack(02000, high);
  ASSERT_TRUE(Unpacked(unpacked));
  EXPECT_EQ(unpacked.data, program);
  ExpectStartNote(unpacked, 02100);

  // Below 01000 the stack image says "no autostart" (zero at 0744), the stub
  // jumps to 03000: nothing in the data may be changed to say that.
  const Bytes zeroStack = StackFilledWith(0400, 0, 900, 21);
  Bytes low = PackedImage(0400, zeroStack);
  const size_t lowJump = 01000 - 0400 + jump;
  PutWord(low, lowJump, static_cast<uint16_t>(WordAt(low, lowJump) + 02000));
  unpacked = Unpack(0400, low);
  ASSERT_TRUE(Unpacked(unpacked));
  EXPECT_EQ(unpacked.data, zeroStack);
  ExpectStartNote(unpacked, 03000);

  // The same stub in data mode returns to its caller: no start to speak of.
  PutWord(low, lowJump - 2, 0000207);
  unpacked = Unpack(0400, low);
  ASSERT_TRUE(Unpacked(unpacked));
  EXPECT_TRUE(NothingToNote(unpacked));
}

TEST(Unpack, LongStubWordsAreComparedWithTheData) {
  const Bytes data = {1, 2, 3, 0xFF, 0xFF, 0};  // odd input 1 2 3 FF FF, padded
  const uint16_t sum = 1 + 2 + 3 + 0xFF + 0xFF;
  auto check = CheckLongStubWords(ByteView(data.data(), 6), 5, sum);
  EXPECT_TRUE(check.match);
  EXPECT_EQ(check.dataLength, 5);
  EXPECT_TRUE(CheckLongStubWords(ByteView(data.data(), 6), 6, sum).match);
  check = CheckLongStubWords(ByteView(data.data(), 6), 7, sum);
  EXPECT_FALSE(check.match);
  EXPECT_EQ(check.dataLength, 6);
  check = CheckLongStubWords(ByteView(data.data(), 6), 6, sum + 1);
  EXPECT_FALSE(check.match);
  EXPECT_EQ(check.dataChecksum, sum);
  // The sum carries round: 258 * 0xFF = 0x100FE folds to 0xFE + 1.
  const Bytes many(0x102, 0xFF);
  EXPECT_EQ(CheckLongStubWords(ByteView(many.data(), 0x102), 0x102, 0xFF).dataChecksum, 0xFF);
}

TEST(Unpack, LongStubWordsThatAreNotTheDataGiveANoteAndTheData) {
  Random random(22);
  const Bytes data = GenerateProgram(random, 1501);
  const Bytes image = PackedImage(01000, data, Options().Long());
  Bytes other = image;
  PutWord(other, stub::kInputLength, 012345);
  PutWord(other, stub::kChecksum, 054321);
  const auto unpacked = Unpack(01000, other);
  ASSERT_TRUE(Unpacked(unpacked));
  EXPECT_EQ(unpacked.data, Padded(data));
  ExpectLongWordsNote(unpacked, 012345, 054321, 1502, Checksum(data));

  // Damage inside korvid's own image that the decoder cannot see shows in
  // the checksum: one stream byte changed, the unpacked data is wrong.
  for (size_t offset = 200; offset < image.size(); ++offset) {
    Bytes damaged = image;
    damaged[offset] ^= 0x01;
    const auto result = Unpack(01000, damaged);
    if (!Unpacked(result) || result.data == Padded(data)) continue;
    SCOPED_TRACE(offset);
    ExpectLongWordsNote(result, 1501, Checksum(data), static_cast<uint16_t>(result.data.size() - 1),
                        Checksum(result.data));
    return;
  }
  FAIL() << "no single changed bit gave wrong data";
}

TEST(Unpack, StubWhoseFirstWordsALoaderTookOverStillUnpacks) {
  Random random(23);
  const Bytes program = GenerateProgram(random, 2000);
  const Bytes shortImage = PackedImage(01000, program);
  auto unpacked = Unpack(01000, WithLoaderInFront(shortImage, 01000, 0, 3));
  ASSERT_TRUE(Unpacked(unpacked));
  EXPECT_EQ(unpacked.data, program);
  EXPECT_TRUE(NothingToNote(unpacked));

  // The long stub too, with its words at 0266 and 0350 gone as well: the
  // stub is found by its loop and decoder, its length word no longer says
  // the data's length.
  const Bytes longImage = PackedImage(01000, program, Options().Long());
  const Bytes patched = WithLoaderInFront(longImage, 01000, 0, 7);
  EXPECT_NE(WordAt(patched, stub::kSystemLengthA), 0266);
  EXPECT_NE(WordAt(patched, stub::kSystemLengthB), 0350);
  unpacked = Unpack(01000, patched);
  ASSERT_TRUE(Unpacked(unpacked));
  EXPECT_TRUE(unpacked.longStub);
  EXPECT_EQ(unpacked.data, program);
  const auto loaderAddress = static_cast<uint16_t>(01000 + (longImage.size() + 1) / 2 * 2);
  ExpectLongWordsNote(unpacked, loaderAddress, Checksum(program), 2000, Checksum(program));

  // Below 01000 the stub sits at 01000.
  const Bytes low = StackFilledWith(0600, 02000, 800, 24);
  unpacked = Unpack(0600, WithLoaderInFront(PackedImage(0600, low), 0600, 01000 - 0600, 3));
  ASSERT_TRUE(Unpacked(unpacked));
  EXPECT_EQ(unpacked.data, Padded(low));
}

TEST(Unpack, RawImagesAreToldFromOtherBytes) {
  Random random(25);
  const Bytes program = GenerateProgram(random, 600);
  for (const bool longStub : {false, true}) {
    Options options;
    options.longStub = longStub;
    const Bytes image = PackedImage(01000, program, options);
    EXPECT_TRUE(IsRawImage(image)) << longStub;
    Bytes withHeader = {0, 2, 0, 0};
    withHeader.insert(withHeader.end(), image.begin(), image.end());
    EXPECT_FALSE(IsRawImage(withHeader)) << longStub;
    const size_t stubBytes = kStubSize - (longStub ? kLongStubSkip : kShortStubSkip);
    EXPECT_TRUE(IsRawImage(ByteView(image.data(), stubBytes))) << longStub;
    EXPECT_FALSE(IsRawImage(ByteView(image.data(), stubBytes - 1))) << longStub;
  }
  EXPECT_FALSE(IsRawImage(program));
}

}  // namespace

}  // namespace dorvik
