// The Sokol unpacker on the PC against images it did not make: a worked
// example built by hand, damaged parameters and streams, every truncation,
// random corruption and foreign files. Each gives its reason and no data.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "bk/words.h"
#include "sokol/sokol.h"
#include "sokol/sokol_stub.h"

namespace {

using sokol::UnpackError;

constexpr uint16_t kLoad = 01000;

void PutWord(Bytes& image, size_t offset, uint16_t value) { WriteBkWord(image.data() + offset, value); }

// An image assembled here from the stub tables and a given stream, with the
// parameters worked out as the format describes them.
Bytes BuildImage(const Bytes& stream, uint16_t length, uint16_t crc, uint16_t margin, bool dataMode = false) {
  Bytes padded = stream;
  if (padded.size() % 2) padded.push_back(0);
  Bytes image(sokol::kSetupSize, 0);
  for (size_t i = 0; i < sokol::kSetupCode.size(); ++i) PutWord(image, 2 * i, sokol::kSetupCode[i]);
  image.insert(image.end(), padded.begin(), padded.end());
  const size_t block = image.size();
  image.resize(block + sokol::kBlockSize + sokol::kTrailerSize);
  for (size_t i = 0; i < sokol::kBlockCode.size(); ++i) PutWord(image, block + 2 * i, sokol::kBlockCode[i]);
  PutWord(image, sokol::kSetupBlockEnd, static_cast<uint16_t>(kLoad + block + sokol::kBlockSize));
  PutWord(image, sokol::kSetupDestEnd, static_cast<uint16_t>(kLoad + length + margin));
  PutWord(image, sokol::kSetupStreamWords, static_cast<uint16_t>(padded.size() / 2));
  PutWord(image, sokol::kSetupLoadAddress, kLoad);
  const size_t exit = block + sokol::kBlockExit;
  PutWord(image, exit, dataMode ? 016705 : 012705);
  PutWord(image, exit + 2, dataMode ? 4 : 02000);
  PutWord(image, exit + 4, dataMode ? 006401 : 006400);
  PutWord(image, block + sokol::kBlockSize, length);
  PutWord(image, block + sokol::kBlockSize + 2, crc);
  return image;
}

sokol::UnpackResult UnpackImage(const Bytes& image, uint16_t loadAddress = kLoad) {
  return sokol::Unpack(image, loadAddress);
}

// The stream of "AAAA" (see the packer's worked example), and its CRC-16
// (polynomial 0x1021, initial 0xFFFF), the value the packer's test pins too.
const Bytes kAaaaStream{0x21, 'A', 0x01, 0x7F, 0xFF, 0xFF, 0xFE};
constexpr uint16_t kAaaaCrc = 0xD06D;

uint16_t ImageMarginForAaaa() {
  // The image is longer than the data: the margin covers the image.
  return static_cast<uint16_t>(sokol::kStubSize + 8 + sokol::kTrailerSize - 4);
}

TEST(SokolUnpack, HandBuiltImage) {
  const Bytes image = BuildImage(kAaaaStream, 4, kAaaaCrc, ImageMarginForAaaa());
  const sokol::UnpackResult result = UnpackImage(image);
  ASSERT_EQ(result.error, UnpackError::None);
  EXPECT_EQ(result.data, (Bytes{'A', 'A', 'A', 'A'}));
  EXPECT_FALSE(result.dataMode);
  EXPECT_EQ(result.startAddress, 02000);
  EXPECT_EQ(result.margin, ImageMarginForAaaa());
  const sokol::UnpackResult data = UnpackImage(BuildImage(kAaaaStream, 4, kAaaaCrc, ImageMarginForAaaa(), true));
  ASSERT_EQ(data.error, UnpackError::None);
  EXPECT_TRUE(data.dataMode);
}

// Streams and parameters that break one rule each.
TEST(SokolUnpack, DamagedHandBuiltImages) {
  const uint16_t margin = ImageMarginForAaaa();
  struct Case {
    const char* name;
    Bytes image;
    uint16_t loadAddress;
    UnpackError expected;
  };
  Bytes wrongExit = BuildImage(kAaaaStream, 4, kAaaaCrc, margin);
  PutWord(wrongExit, wrongExit.size() - 4 - sokol::kBlockSize + sokol::kBlockExit + 4, 006401);
  Bytes oddEnd = BuildImage(kAaaaStream, 4, kAaaaCrc, static_cast<uint16_t>(margin + 1));
  // A copy from before the data: 1 1 0 (repeat offset 1, which is 2) 0
  // (length 1) at the very start.
  const Bytes copyBeforeStart{0xC0};
  // 0 0 (one literal) 'A', then 0 (repeat offset 0, not set yet) 0 (length 1).
  const Bytes unsetRepeat{0x00, 'A'};
  // Literal count 1, then the stream ends before the literal byte.
  const Bytes endsEarly{0x00, 0x00};
  // The end marker's group is followed by a stray byte.
  Bytes trailingByte = kAaaaStream;
  trailingByte.push_back(0x01);
  const std::vector<Case> cases = {
      {"other load address", BuildImage(kAaaaStream, 4, kAaaaCrc, margin), 02000, UnpackError::WrongLoadAddress},
      {"unknown exit", wrongExit, kLoad, UnpackError::BadParameters},
      {"odd stream end", oddEnd, kLoad, UnpackError::BadParameters},
      {"stream end below the image", BuildImage(kAaaaStream, 4, kAaaaCrc, 0), kLoad, UnpackError::BadParameters},
      {"wrong checksum", BuildImage(kAaaaStream, 4, kAaaaCrc ^ 1, margin), kLoad, UnpackError::ChecksumMismatch},
      {"recorded length too long", BuildImage(kAaaaStream, 5, kAaaaCrc, margin + 1), kLoad, UnpackError::WrongLength},
      {"recorded length too short", BuildImage(kAaaaStream, 3, kAaaaCrc, margin + 1), kLoad, UnpackError::DamagedStream},
      {"copy before the start", BuildImage(copyBeforeStart, 4, 0, margin), kLoad, UnpackError::DamagedStream},
      {"unset repeat offset", BuildImage(unsetRepeat, 4, 0, margin), kLoad, UnpackError::DamagedStream},
      {"stream ends early", BuildImage(endsEarly, 4, 0, margin), kLoad, UnpackError::DamagedStream},
      {"byte after the end", BuildImage(trailingByte, 4, kAaaaCrc, margin), kLoad, UnpackError::DamagedStream},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const sokol::UnpackResult result = UnpackImage(c.image, c.loadAddress);
    EXPECT_EQ(result.error, c.expected);
    EXPECT_TRUE(result.data.empty());
  }
}

Bytes PackedSample(size_t length, uint32_t seed, sokol::PackResult* packed = nullptr) {
  std::mt19937 random(seed);
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
// writes reach stream bytes it has not read yet: refused.
TEST(SokolUnpack, MarginTooSmallForTheInPlaceDecoder) {
  sokol::PackResult packed;
  Bytes image = PackedSample(6000, 4, &packed);
  ASSERT_GE(packed.margin, 2u);
  ASSERT_EQ(UnpackImage(image).error, UnpackError::None);
  PutWord(image, sokol::kSetupDestEnd, static_cast<uint16_t>(ReadBkWord(image.data() + sokol::kSetupDestEnd) - 2));
  EXPECT_EQ(UnpackImage(image).error, UnpackError::MarginTooSmall);
}

TEST(SokolUnpack, EveryTruncationIsRefused) {
  const Bytes image = PackedSample(3000, 8);
  for (size_t length = 0; length < image.size(); ++length) {
    const sokol::UnpackResult result = sokol::Unpack(ByteView(image.data(), length), kLoad);
    EXPECT_NE(result.error, UnpackError::None) << "length " << length;
    EXPECT_TRUE(result.data.empty());
  }
}

// A single-bit flip in the stream or the trailer, or random damage
// anywhere, gives a reason, or (when the flip leaves an equivalent stream,
// say a repeat offset chosen that holds the same value as another) the very
// same data: never other data, never a crash.
TEST(SokolUnpack, CorruptionIsRefused) {
  sokol::PackResult packed;
  const Bytes image = PackedSample(1500, 12, &packed);
  const Bytes original = sokol::Unpack(image, kLoad).data;
  ASSERT_EQ(original.size(), 1500u);
  int refused = 0;
  int flips = 0;
  const size_t streamEnd = image.size() - sokol::kTrailerSize - sokol::kBlockSize;
  for (size_t at = sokol::kSetupSize; at < image.size(); ++at) {
    if (at >= streamEnd && at < image.size() - sokol::kTrailerSize) continue;
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
  std::mt19937 random(99);
  for (int i = 0; i < 3000; ++i) {
    Bytes damaged = image;
    for (int n = 1 + random() % 4; n > 0; --n) damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
    const sokol::UnpackResult result = UnpackImage(damaged);
    if (result.error == UnpackError::None) {
      EXPECT_EQ(result.data, original);
    }
  }
}

TEST(SokolUnpack, ForeignFilesAreNotImages) {
  std::mt19937 random(5);
  Bytes noise(5000);
  for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
  Bytes zeros(400, 0);
  Bytes almost = PackedSample(800, 3);
  almost[10] ^= 0x40;  // an instruction of the set-up code
  Bytes blockChanged = PackedSample(800, 3);
  blockChanged[blockChanged.size() - 4 - 40] ^= 1;  // a word of the decoder's code
  for (const Bytes& file : {noise, zeros, almost, blockChanged, Bytes{}, Bytes(201, 0)}) {
    EXPECT_EQ(UnpackImage(file).error, UnpackError::NotAnImage);
  }
}

}  // namespace
