// The Sokol packer: round trips through the PC unpacker (which also checks
// that the BK's decoder could run in place with the reported margin), the
// exact stream of a worked example, the image layout, the margin, and the
// refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "bk/words.h"
#include "sokol/sokol.h"
#include "sokol/sokol_stub.h"
#include "support/random.h"
#include "support/temp_dir.h"

namespace {

using sokol::PackError;
using sokol::UnpackError;

using Chosen = std::optional<sokol::Decoder>;

sokol::PackResult PackBytes(const Bytes& data, uint16_t loadAddress, bool dataMode = false,
                            Chosen decoder = std::nullopt) {
  sokol::PackOptions options;
  options.dataMode = dataMode;
  options.decoder = decoder;
  return sokol::Pack(data, loadAddress, options);
}

// Packs, unpacks and compares; returns the packed result for more checks.
sokol::PackResult ExpectRoundTrip(const Bytes& data, uint16_t loadAddress, bool dataMode = false,
                                  Chosen decoder = std::nullopt) {
  const sokol::PackResult packed = PackBytes(data, loadAddress, dataMode, decoder);
  if (decoder) {
    EXPECT_EQ(packed.decoder, *decoder);
  }
  EXPECT_EQ(packed.error, PackError::None);
  const sokol::UnpackResult unpacked = sokol::Unpack(packed.image, loadAddress);
  EXPECT_EQ(unpacked.error, UnpackError::None);
  EXPECT_TRUE(unpacked.data == data) << "data differ after the round trip, length " << data.size();
  EXPECT_EQ(unpacked.dataMode, dataMode);
  EXPECT_EQ(unpacked.margin, packed.margin);
  EXPECT_EQ(unpacked.decoder, packed.decoder);
  if (!dataMode) {
    // Below 01000 the program starts where its autostart words sent it.
    EXPECT_EQ(unpacked.startAddress, loadAddress >= 01000 ? loadAddress : packed.startAddress);
  }
  return packed;
}

Bytes RandomBytes(Random& random, size_t length, int alphabet) {
  Bytes data(length);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(random() % alphabet);
  return data;
}

// Data with the shapes the format is made for: repeated runs, copies near
// and far, PDP-11-like words, text, and bytes that match nothing.
Bytes GeneratedData(Random& random, size_t length) {
  Bytes data;
  while (data.size() < length) {
    switch (random() % 5) {
      case 0:
        data.insert(data.end(), 1 + random() % 40, static_cast<uint8_t>(random()));
        break;
      case 1:
        if (!data.empty()) {
          const size_t offset = 1 + random() % data.size();
          const size_t count = 1 + random() % 300;
          for (size_t i = 0; i < count; ++i) data.push_back(data[data.size() - offset]);
        }
        break;
      case 2:
        for (int i = static_cast<int>(random() % 20); i >= 0; --i) {
          data.push_back(static_cast<uint8_t>(random() % 8 * 010));
          data.push_back(static_cast<uint8_t>(random() % 4));
        }
        break;
      case 3:
        for (const char* c = random() % 2 ? "PRINT \"BK-0010\"\n" : "10 GOTO 20\n"; *c; ++c) data.push_back(uint8_t(*c));
        break;
      default:
        for (int i = static_cast<int>(random() % 12); i >= 0; --i) data.push_back(static_cast<uint8_t>(random()));
        break;
    }
  }
  data.resize(length);
  return data;
}

// The stack image of a BK file below 01000: the stack filled with the
// start address from 0600 (or the file's start) up to 01000 with 01000 or
// a zero word below; the start address in the autostart word alone, any
// word below it; or no autostart address at 0744. The image records the
// words that pointing the autostart words at 01000 changes: all come back.
void WithStackImage(Random& random, uint16_t loadAddress, Bytes* data) {
  const size_t split = 01000u - loadAddress;
  const uint16_t start = static_cast<uint16_t>(01002 + 2 * (random() % 010000));
  switch (random() % 3) {
    case 0: {
      const size_t from = loadAddress < 0600 ? 0600u - loadAddress : 0;
      if (from >= 2) WriteBkWord(data->data() + from - 2, random() % 2 ? 0 : 01000);
      for (size_t at = from; at + 1 < split; at += 2) WriteBkWord(data->data() + at, start);
      break;
    }
    case 1:
      if (loadAddress <= 0744) WriteBkWord(data->data() + (0744 - loadAddress), start);
      break;
    default:
      if (loadAddress <= 0744) WriteBkWord(data->data() + (0744 - loadAddress), static_cast<uint16_t>(random() % 01001));
      break;
  }
}

TEST(SokolPack, RoundTripsOfGeneratedInputs) {
  Random random(1501);
  for (int i = 0; i < 1200; ++i) {
    const size_t length = i < 600 ? static_cast<size_t>(i) : random() % 2500;
    const uint16_t loadAddress = static_cast<uint16_t>((random() % 060000) & ~1u);
    SCOPED_TRACE("case " + std::to_string(i) + ", load " + std::to_string(loadAddress));
    Bytes data = GeneratedData(random, length);
    if (loadAddress < 01000 && length <= 01000u - loadAddress) {
      EXPECT_EQ(PackBytes(data, loadAddress).error, PackError::NothingToPack);
      continue;
    }
    if (loadAddress < 01000) WithStackImage(random, loadAddress, &data);
    // Each decoder in turn, then the packer's choice.
    const int d = i % (sokol::kDecoderCount + 1);
    ExpectRoundTrip(data, loadAddress, i % 3 == 0, d < sokol::kDecoderCount ? Chosen(static_cast<sokol::Decoder>(d)) : Chosen());
    if (HasFailure()) return;
  }
}

TEST(SokolPack, RoundTripsOfSmallAlphabetsAndOddLengths) {
  Random random(77);
  for (int alphabet : {1, 2, 3, 16, 256}) {
    for (size_t length : {1u, 2u, 3u, 5u, 255u, 256u, 257u, 1001u, 4097u}) {
      SCOPED_TRACE("alphabet " + std::to_string(alphabet) + ", length " + std::to_string(length));
      ExpectRoundTrip(RandomBytes(random, length, alphabet), 01000);
    }
  }
}

TEST(SokolPack, LongCopiesAndFarOffsets) {
  Random random(3);
  // Runs far beyond 255 bytes, and beyond the parser's search length.
  ExpectRoundTrip(Bytes(40000, 0), 01000);
  Bytes words;
  for (int i = 0; i < 10000; ++i) words.insert(words.end(), {0x37, 0x0A});
  ExpectRoundTrip(words, 01000);
  // A block repeated 30000 bytes later: offsets far above 16 KB.
  Bytes far = RandomBytes(random, 30000, 256);
  far.insert(far.end(), far.begin() + 100, far.begin() + 3100);
  const sokol::PackResult packed = ExpectRoundTrip(far, 01000);
  EXPECT_LT(packed.streamSize, 30000u + 200u) << "the far copy was not used";
}

// Bytes that do not compress, as many as the front end reads: the image is
// larger than the data, and the margin covers the image itself.
TEST(SokolPack, IncompressibleInputUpToTheLimit) {
  Random random(9);
  const Bytes data = RandomBytes(random, 57343, 256);
  const sokol::PackResult packed = ExpectRoundTrip(data, 01000);
  EXPECT_LE(packed.streamSize, data.size() + 16);
  EXPECT_EQ(packed.margin, packed.image.size() - data.size());
}

// "AAAA" for the fast decoder: a literal A, then a new offset 1 for three
// bytes (repeat offset 0 is not set at the start), then the end marker.
// Bits in reading order, in 8-bit groups, each loaded when the decoder
// wants a bit and has none (the first holds seven, above its marker 1):
//   group 43: 0 (the first literals, count 1) | byte 'A' | 1 0 (new offset)
//   0 (high part 1) | offset byte 03: offset 1, first flag 1 of gamma(2) |
//   0 0 (the rest of gamma(2): length 3) 1 | group 55: 0 (new offset) and
//   the end marker's high part 257 through groups 55 and 80: seven times
//   1 0, then 1 1 and a 0.
TEST(SokolPack, WorkedExampleStream) {
  const Bytes data{'A', 'A', 'A', 'A'};
  const sokol::PackResult packed = PackBytes(data, 01000, false, sokol::Decoder::Fast);
  ASSERT_EQ(packed.error, PackError::None);
  EXPECT_EQ(packed.streamSize, 6u);
  const Bytes stream(packed.image.begin() + sokol::kSetupSize, packed.image.begin() + sokol::kSetupSize + 6);
  EXPECT_EQ(stream, (Bytes{0x43, 'A', 0x03, 0x55, 0x55, 0x80}));
}

TEST(SokolPack, ImageLayoutAndParameters) {
  Random random(5);
  const Bytes data = GeneratedData(random, 3001);
  for (int d = 0; d < sokol::kDecoderCount; ++d) {
    for (bool dataMode : {false, true}) {
      SCOPED_TRACE("decoder " + std::to_string(d) + (dataMode ? ", data mode" : ""));
      const auto decoder = static_cast<sokol::Decoder>(d);
      const sokol::DecoderBlock& block = sokol::BlockOf(decoder);
      const sokol::PackResult packed = PackBytes(data, 02000, dataMode, decoder);
      ASSERT_EQ(packed.error, PackError::None);
      const Bytes& image = packed.image;
      const size_t padded = packed.streamSize + packed.streamSize % 2;
      const size_t blockAt = sokol::kSetupSize + padded;
      ASSERT_EQ(image.size(), blockAt + block.Crc() + sokol::kCrcSize);
      auto word = [&](size_t offset) { return ReadBkWord(image.data() + offset); };
      EXPECT_EQ(word(0), 012704);  // MOV #blockEnd, R4: the entry at the load address
      EXPECT_EQ(word(sokol::kSetupBlockEnd), 02000 + blockAt + block.size);
      EXPECT_EQ(word(sokol::kSetupBlockWords), block.size / 2);
      EXPECT_EQ(word(sokol::kSetupDestEnd), 02000 + data.size() + packed.margin);
      EXPECT_EQ(word(sokol::kSetupDestEnd) % 2, 0);
      EXPECT_EQ(word(sokol::kSetupStreamWords), padded / 2);
      EXPECT_EQ(word(sokol::kSetupLoadAddress), 02000);
      EXPECT_EQ(word(sokol::kSetupEntry), block.entry);
      EXPECT_EQ(word(blockAt + block.even), packed.evenOffsets ? sokol::kEvenOffsets : sokol::kOddOffsets);
      const size_t exit = blockAt + block.Exit();
      if (dataMode) {
        EXPECT_EQ(word(exit), 016705);  // MOV 4(PC), R5: the caller's return address
        EXPECT_EQ(word(exit + 2), 4);
        EXPECT_EQ(word(exit + 4), 006401);  // MARK 1
      } else {
        EXPECT_EQ(word(exit), 012705);  // MOV #start, R5
        EXPECT_EQ(word(exit + 2), 02000);
        EXPECT_EQ(word(exit + 4), 006400);  // MARK 0
      }
      // The CRC-16 of the data (polynomial 0x1021, initial value 0xFFFF).
      uint32_t crc = 0xFFFF;
      for (uint8_t byte : data) {
        crc ^= static_cast<uint32_t>(byte) << 8;
        for (int i = 0; i < 8; ++i) crc = (crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1) & 0xFFFF;
      }
      EXPECT_EQ(word(blockAt + block.Crc()), crc);
    }
  }
  // No data: the set-up jumps to the selector read after a match.
  const sokol::PackResult empty = PackBytes(Bytes{}, 02000, false, sokol::Decoder::Tiny);
  ASSERT_EQ(empty.error, PackError::None);
  EXPECT_EQ(ReadBkWord(empty.image.data() + sokol::kSetupEntry), sokol::BlockOf(sokol::Decoder::Tiny).next);
}

// The margin covers what the in-place decoder needs and no more than
// 64 bytes of it, unless the image itself reaches further.
TEST(SokolPack, MarginIsSmallForCompressibleData) {
  Random random(21);
  for (int i = 0; i < 40; ++i) {
    const Bytes data = GeneratedData(random, 2000 + random() % 12000);
    const sokol::PackResult packed = PackBytes(data, 01000);
    ASSERT_EQ(packed.error, PackError::None);
    if (packed.image.size() + 64 < data.size()) {
      EXPECT_LE(packed.margin, 64u);
    }
  }
}

TEST(SokolPack, RefusesOddLoadAddresses) {
  const sokol::PackResult packed = PackBytes(Bytes(100, 1), 01001);
  EXPECT_EQ(packed.error, PackError::OddLoadAddress);
  EXPECT_TRUE(packed.image.empty());
}

// A program that fits exactly below the I/O page packs; two bytes higher it
// is refused, with the two bytes it lacks.
TEST(SokolPack, RefusesWhatDoesNotFitBelowTheIoPage) {
  Random random(33);
  const Bytes data = GeneratedData(random, 6000);
  const sokol::PackResult low = PackBytes(data, 01000);
  ASSERT_EQ(low.error, PackError::None);
  const uint32_t highest = sokol::kMemoryTop - static_cast<uint32_t>(data.size()) - low.margin;
  ASSERT_EQ(highest % 2, 0u);
  const sokol::PackResult fits = PackBytes(data, static_cast<uint16_t>(highest));
  EXPECT_EQ(fits.error, PackError::None);
  EXPECT_EQ(fits.margin, low.margin);
  const sokol::PackResult over = PackBytes(data, static_cast<uint16_t>(highest + 2));
  EXPECT_EQ(over.error, PackError::DoesNotFit);
  EXPECT_EQ(over.missingBytes, 2u);
  EXPECT_TRUE(over.image.empty());
  const sokol::PackResult far = PackBytes(data, 0170000);
  EXPECT_EQ(far.missingBytes, 0170000 + data.size() + low.margin - sokol::kMemoryTop);
}

TEST(SokolPack, CorpusRoundTrips) {
  const std::vector<std::string> files = BkFilesIn(BK_CORPUS_DIR);
  if (files.empty()) GTEST_SKIP() << "no BK files in " << BK_CORPUS_DIR;
  for (const std::string& name : files) {
    SCOPED_TRACE(name);
    const Bytes file = ReadFileBytes(std::string(BK_CORPUS_DIR) + "/" + name);
    ASSERT_GE(file.size(), 4u);
    const uint16_t loadAddress = ReadBkWord(file.data());
    const sokol::PackResult packed = ExpectRoundTrip(Bytes(file.begin() + 4, file.end()), loadAddress);
    EXPECT_LE(packed.margin, 64u);
    EXPECT_LT(packed.image.size(), file.size());
  }
}

}  // namespace
