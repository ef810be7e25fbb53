// The Sokol unpacker on the PC against images it did not make: a worked
// example built by hand, damaged parameters and streams, every truncation,
// random corruption and foreign files. Each gives its reason and no data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bk/words.h"
#include "sokol/sokol.h"
#include "sokol/sokol_stub.h"
#include "support/random.h"

namespace {

using sokol::UnpackError;

constexpr uint16_t kLoad = 01000;

void PutWord(Bytes& image, size_t offset, uint16_t value) { WriteBkWord(image.data() + offset, value); }

// An image for the fast decoder assembled here from the stub tables and a
// given stream, with the parameters worked out as the format describes them.
Bytes BuildImage(const Bytes& stream, uint16_t crc, uint16_t destinationEnd, bool dataMode = false) {
  const sokol::DecoderBlock& block = sokol::BlockOf(sokol::Decoder::Fast);
  Bytes padded = stream;
  if (padded.size() % 2) padded.push_back(0);
  Bytes image(sokol::kSetupSize, 0);
  for (size_t i = 0; i < sokol::kSetupCode.size(); ++i) PutWord(image, 2 * i, sokol::kSetupCode[i]);
  image.insert(image.end(), padded.begin(), padded.end());
  const size_t blockAt = image.size();
  image.resize(blockAt + block.size + sokol::kCrcSize);
  for (size_t i = 0; i < block.size / 2; ++i) PutWord(image, blockAt + 2 * i, block.code[i]);
  PutWord(image, sokol::kSetupBlockEnd, static_cast<uint16_t>(kLoad + blockAt + block.size));
  PutWord(image, sokol::kSetupBlockWords, static_cast<uint16_t>(block.size / 2));
  PutWord(image, sokol::kSetupDestEnd, destinationEnd);
  PutWord(image, sokol::kSetupStreamWords, static_cast<uint16_t>(padded.size() / 2));
  PutWord(image, sokol::kSetupLoadAddress, kLoad);
  PutWord(image, sokol::kSetupEntry, static_cast<uint16_t>(block.entry));
  const size_t exit = blockAt + block.Exit();
  PutWord(image, exit, dataMode ? 016705 : 012705);
  PutWord(image, exit + 2, dataMode ? 4 : 02000);
  PutWord(image, exit + 4, dataMode ? 006401 : 006400);
  PutWord(image, blockAt + block.size, crc);
  return image;
}

sokol::UnpackResult UnpackImage(const Bytes& image, uint16_t loadAddress = kLoad) {
  return sokol::Unpack(image, loadAddress);
}

// The stream of "AAAA" (see the packer's worked example), and its CRC-16
// (polynomial 0x1021, initial 0xFFFF).
const Bytes kAaaaStream{0x43, 'A', 0x03, 0x55, 0x55, 0x80};
constexpr uint16_t kAaaaCrc = 0xD06D;

// The image is longer than the data: the stream's end lies at the image's.
uint16_t AaaaEnd() { return static_cast<uint16_t>(kLoad + BuildImage(kAaaaStream, 0, 0).size()); }

TEST(SokolUnpack, HandBuiltImage) {
  const Bytes image = BuildImage(kAaaaStream, kAaaaCrc, AaaaEnd());
  const sokol::UnpackResult result = UnpackImage(image);
  ASSERT_EQ(result.error, UnpackError::None);
  EXPECT_EQ(result.data, (Bytes{'A', 'A', 'A', 'A'}));
  EXPECT_FALSE(result.dataMode);
  EXPECT_EQ(result.startAddress, 02000);
  EXPECT_EQ(result.decoder, sokol::Decoder::Fast);
  EXPECT_EQ(result.margin, image.size() - 4);
  const sokol::UnpackResult data = UnpackImage(BuildImage(kAaaaStream, kAaaaCrc, AaaaEnd(), true));
  ASSERT_EQ(data.error, UnpackError::None);
  EXPECT_TRUE(data.dataMode);
}

// Streams and parameters that break one rule each.
TEST(SokolUnpack, DamagedHandBuiltImages) {
  const uint16_t end = AaaaEnd();
  struct Case {
    const char* name;
    Bytes image;
    uint16_t loadAddress;
    UnpackError expected;
  };
  const size_t exitMark = BuildImage(kAaaaStream, 0, 0).size() - sokol::kCrcSize - 8 + 4;
  Bytes wrongExit = BuildImage(kAaaaStream, kAaaaCrc, end);
  PutWord(wrongExit, exitMark, 006401);
  Bytes wrongEntry = BuildImage(kAaaaStream, kAaaaCrc, end);
  PutWord(wrongEntry, sokol::kSetupEntry, 2);
  // 0 (literals, count 1) 'A', then 1 1 0 (repeat offset 1, which is 2) 0
  // (length 1): a copy from before the data. (The first group's lowest bit
  // is its marker.)
  const Bytes copyBeforeStart{0x61, 'A'};
  // 0 (literals, count 1) 'A', then 0 (repeat offset 0, not set yet) 0.
  const Bytes unsetRepeat{0x01, 'A'};
  // Literal count 2, but only the padding byte follows.
  const Bytes endsEarly{0x81};
  // The first group without its marker.
  Bytes noMarker = kAaaaStream;
  noMarker[0] ^= 1;
  // The end marker's group is followed by a stray byte.
  Bytes trailingByte = kAaaaStream;
  trailingByte.push_back(0x01);
  const std::vector<Case> cases = {
      {"other load address", BuildImage(kAaaaStream, kAaaaCrc, end), 02000, UnpackError::WrongLoadAddress},
      {"unknown exit", wrongExit, kLoad, UnpackError::BadParameters},
      {"unknown entry", wrongEntry, kLoad, UnpackError::BadParameters},
      {"odd stream end", BuildImage(kAaaaStream, kAaaaCrc, end + 1), kLoad, UnpackError::BadParameters},
      {"stream end below the image", BuildImage(kAaaaStream, kAaaaCrc, end - 2), kLoad, UnpackError::BadParameters},
      {"wrong checksum", BuildImage(kAaaaStream, kAaaaCrc ^ 1, end), kLoad, UnpackError::ChecksumMismatch},
      {"copy before the start", BuildImage(copyBeforeStart, 0, end), kLoad, UnpackError::DamagedStream},
      {"unset repeat offset", BuildImage(unsetRepeat, 0, end), kLoad, UnpackError::DamagedStream},
      {"stream ends early", BuildImage(endsEarly, 0, end), kLoad, UnpackError::DamagedStream},
      {"first group without its marker", BuildImage(noMarker, kAaaaCrc, end), kLoad, UnpackError::DamagedStream},
      {"byte after the end", BuildImage(trailingByte, kAaaaCrc, end + 2), kLoad, UnpackError::DamagedStream},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const sokol::UnpackResult result = UnpackImage(c.image, c.loadAddress);
    EXPECT_EQ(result.error, c.expected);
    EXPECT_TRUE(result.data.empty());
  }
}

Bytes PackedSample(size_t length, uint32_t seed, sokol::PackResult* packed = nullptr) {
  Random random(seed);
  Bytes data;
  while (data.size() < length) {
    const char* words[] = {"MOV R0,R1\n", "SOB R2,1$\n", "\x37\x0A\x00\x10", "BK-0010 "};
    for (const char* c = words[random() % 4]; *c; ++c) data.push_back(uint8_t(*c));
    if (random() % 3 == 0) data.push_back(static_cast<uint8_t>(random()));
  }
  data.resize(length);
  sokol::PackResult result = sokol::Pack(data, kLoad, {});
  EXPECT_EQ(result.error, sokol::PackError::None);
  if (packed) *packed = result;
  return result.image;
}

// A margin one word smaller than the packer reported lets the decoder's
// writes reach stream bytes it has not read yet; a stream end below the
// data's leaves it no room at all. Both are refused.
TEST(SokolUnpack, MarginTooSmallForTheInPlaceDecoder) {
  sokol::PackResult packed;
  Bytes image = PackedSample(6000, 4, &packed);
  ASSERT_GE(packed.margin, 2u);
  ASSERT_EQ(UnpackImage(image).error, UnpackError::None);
  const uint16_t end = ReadBkWord(image.data() + sokol::kSetupDestEnd);
  PutWord(image, sokol::kSetupDestEnd, static_cast<uint16_t>(end - 2));
  EXPECT_EQ(UnpackImage(image).error, UnpackError::MarginTooSmall);
  PutWord(image, sokol::kSetupDestEnd, static_cast<uint16_t>(kLoad + image.size() + image.size() % 2));
  EXPECT_EQ(UnpackImage(image).error, UnpackError::WrongLength);
}

TEST(SokolUnpack, EveryTruncationIsRefused) {
  const Bytes image = PackedSample(3000, 8);
  for (size_t length = 0; length < image.size(); ++length) {
    const sokol::UnpackResult result = sokol::Unpack(ByteView(image.data(), length), kLoad);
    EXPECT_NE(result.error, UnpackError::None) << "length " << length;
    EXPECT_TRUE(result.data.empty());
  }
}

// A single-bit flip in the stream or the CRC, or random damage anywhere,
// gives a reason, or (when the flip leaves an equivalent stream, say a
// repeat offset chosen that holds the same value as another) the very same
// data: never other data, never a crash.
TEST(SokolUnpack, CorruptionIsRefused) {
  sokol::PackResult packed;
  const Bytes image = PackedSample(1500, 12, &packed);
  const Bytes original = sokol::Unpack(image, kLoad).data;
  ASSERT_EQ(original.size(), 1500u);
  int refused = 0;
  int flips = 0;
  const sokol::DecoderBlock& block = sokol::BlockOf(packed.decoder);
  const size_t blockAt = sokol::kSetupSize + packed.streamSize + packed.streamSize % 2;
  for (size_t at = sokol::kSetupSize; at < image.size(); ++at) {
    // The stream, and the CRC (the table's entries may hold any byte).
    if (at >= blockAt && at - blockAt != block.Crc() && at - blockAt != block.Crc() + 1) continue;
    for (int bit = 0; bit < 8; ++bit) {
      ++flips;
      Bytes damaged = image;
      damaged[at] ^= static_cast<uint8_t>(1 << bit);
      const sokol::UnpackResult result = UnpackImage(damaged);
      if (result.error == UnpackError::None) {
        EXPECT_EQ(result.data, original) << "byte " << at << " bit " << bit;
      } else {
        ++refused;
      }
    }
  }
  EXPECT_GT(refused, flips * 9 / 10) << "most flips change the data or break the stream";
  Random random(99);
  for (int i = 0; i < 3000; ++i) {
    Bytes damaged = image;
    for (int n = 1 + random() % 4; n > 0; --n) damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
    const sokol::UnpackResult result = UnpackImage(damaged);
    if (result.error == UnpackError::None) {
      EXPECT_EQ(result.data, original);
    }
  }
}

// An image without its header is found at its own load address, a stack
// image before it included (and the stack record after it); the bytes that
// Unpack would not read as an image (one byte more) are not taken for one.
TEST(SokolUnpack, HeaderlessImagesAreFoundWhereUnpackReadsThem) {
  Random random(8);
  Bytes data(2000);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(random() % 7);
  WriteBkWord(data.data() + (0744 - 0400), 01234);  // one autostart word: the image records its neighbour
  for (const uint16_t load : {uint16_t{02000}, uint16_t{0400}}) {
    const sokol::PackResult packed = sokol::Pack(data, load, {});
    ASSERT_EQ(packed.error, sokol::PackError::None);
    const RawImage raw = sokol::FindRawImage(packed.image);
    EXPECT_TRUE(raw.found);
    ASSERT_EQ(raw.loadAddress, load);
    EXPECT_EQ(UnpackImage(packed.image, *raw.loadAddress).data, data);
    Bytes longer = packed.image;
    longer.push_back(0);
    EXPECT_FALSE(sokol::FindRawImage(longer).found) << load;
    // Damage in the stream leaves an image that Unpack reads as one (with
    // its stack record, where it has one) and refuses for the damage.
    Bytes damaged = packed.image;
    const size_t region = load < 01000 ? 01000u - load : 0u;
    for (size_t at = region + sokol::kSetupSize; at < region + sokol::kSetupSize + 16; ++at)
      damaged[at] ^= 0x5A;
    ASSERT_TRUE(sokol::FindRawImage(damaged).found) << load;
    const UnpackError error = UnpackImage(damaged, load).error;
    EXPECT_NE(error, UnpackError::None) << load;
    EXPECT_NE(error, UnpackError::NotAnImage) << load;
  }
}

TEST(SokolUnpack, ForeignFilesAreNotImages) {
  Random random(5);
  Bytes noise(5000);
  for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
  Bytes zeros(400, 0);
  Bytes almost = PackedSample(800, 3);
  almost[10] ^= 0x40;  // an instruction of the set-up code
  sokol::PackResult packed;
  Bytes blockChanged = PackedSample(800, 3, &packed);
  const size_t blockAt = sokol::kSetupSize + packed.streamSize + packed.streamSize % 2;
  blockChanged[blockAt + 040] ^= 1;  // a word of the decoder's code
  for (const Bytes& file : {noise, zeros, almost, blockChanged, Bytes{}, Bytes(201, 0)}) {
    EXPECT_EQ(UnpackImage(file).error, UnpackError::NotAnImage);
  }
}

}  // namespace
