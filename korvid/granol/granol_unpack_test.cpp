// The Granol unpacker: round trips through the packer for thousands of
// generated inputs, and damaged files of every kind, each of which must give
// one clear message, no result and no access outside the buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bk/words.h"
#include "granol/granol.h"
#include "granol/granol_stub.h"
#include "support/bk_bytes.h"

namespace granol {

namespace {

PackResult TryPack(const Bytes& data, uint16_t loadAddress) {
  return granol::Pack(data, loadAddress, {u"bin"});
}

Bytes Packed(const Bytes& data, uint16_t loadAddress = 01000) {
  PackResult packed = TryPack(data, loadAddress);
  EXPECT_EQ(packed.error, PackError::None) << "size " << data.size();
  return packed.image;
}

// The image's own load address does not matter to Granol.
UnpackResult UnpackFile(const Bytes& file) { return granol::Unpack(file, 01000); }

bool Unpacked(const UnpackResult& result) { return result.error == UnpackError::None; }

void ExpectRoundTrip(const Bytes& data, uint16_t loadAddress = 01000) {
  const Bytes image = Packed(data, loadAddress);
  const UnpackResult unpacked = UnpackFile(image);
  ASSERT_TRUE(Unpacked(unpacked)) << static_cast<int>(unpacked.error) << " size " << data.size();
  Bytes expected = data;
  if (expected.size() % 2 != 0) expected.push_back(0);
  ASSERT_EQ(unpacked.data.size(), expected.size());
  EXPECT_TRUE(unpacked.data == expected) << "size " << data.size();
  EXPECT_EQ(unpacked.loadAddress, loadAddress);
}

// --- generated inputs --------------------------------------------------------

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  size_t Size(size_t largest) {  // sizes spread evenly on a log scale
    const double scale = std::log(static_cast<double>(largest) + 1);
    return static_cast<size_t>(std::exp(Uniform() * scale)) - 1;
  }
  Bytes Random(size_t size, int alphabet = 256) {
    Bytes data(size);
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(random_() % alphabet);
    return data;
  }
  Bytes Runs(size_t size) {
    Bytes data;
    while (data.size() < size) {
      data.insert(data.end(), 1 + random_() % 300, static_cast<uint8_t>(random_() % 4));
    }
    data.resize(size);
    return data;
  }
  Bytes Text(size_t size) {
    static const char* const kWords[] = {"10 PRINT ", "GOTO ",        "REM ",
                                         "A$=\"",     "\" ",          "FOR I=1 TO 10",
                                         "NEXT I\n",  "DATA 1,2,3\n", "\xF0\xD2\xC9\xD7\xC5\xD4 ",
                                         "\n"};
    Bytes data;
    while (data.size() < size) {
      for (const char* c = kWords[random_() % 10]; *c != '\0'; ++c) data.push_back(uint8_t(*c));
    }
    data.resize(size);
    return data;
  }
  // Code-like words with repeats at every distance the classes can reach.
  Bytes Mixed(size_t size) {
    Bytes data;
    while (data.size() < size) {
      if (data.size() > 8 && random_() % 3 == 0) {
        const size_t length = 2 + random_() % 40;
        const size_t from = random_() % data.size();
        for (size_t i = 0; i < length; ++i) data.push_back(data[from + i % (data.size() - from)]);
      } else {
        data.push_back(static_cast<uint8_t>(random_()));
      }
    }
    data.resize(size);
    return data;
  }
  uint16_t Address() { return static_cast<uint16_t>(random_()); }
  // A load address from which `size` bytes end within the address space.
  uint16_t AddressFor(size_t size) { return static_cast<uint16_t>(random_() % (0200001 - size)); }
  size_t Below(size_t limit) { return random_() % limit; }

 private:
  double Uniform() { return std::uniform_real_distribution<double>(0, 1)(random_); }
  ::Random random_;
};

TEST(GranolRoundTrip, ThousandsOfSmallInputs) {
  Generator generate(1);
  for (int i = 0; i < 3000; ++i) {
    const size_t size = generate.Size(6000);
    Bytes data;
    switch (i % 5) {
      case 0: data = generate.Random(size); break;
      case 1: data = generate.Random(size, 3); break;
      case 2: data = generate.Runs(size); break;
      case 3: data = generate.Text(size); break;
      default: data = generate.Mixed(size); break;
    }
    ExpectRoundTrip(data, generate.AddressFor(size));
    if (HasFailure()) {
      ADD_FAILURE() << "input " << i << " of kind " << i % 5 << ", size " << size;
      return;
    }
  }
}

TEST(GranolRoundTrip, SizesAtTheLimitsOfRunsWindowAndFile) {
  Generator generate(2);
  for (size_t size :
       {0, 1, 2, 3, 4, 5, 8, 9, 263, 264, 265, 527, 528, 529, 4095, 4096, 4097, 4098, 8193}) {
    SCOPED_TRACE(size);
    ExpectRoundTrip(generate.Random(size));
    ExpectRoundTrip(Bytes(size, 0));
    ExpectRoundTrip(generate.Mixed(size));
  }
}

TEST(GranolRoundTrip, LargeInputsUpToTheLimit) {
  Generator generate(3);
  ExpectRoundTrip(generate.Runs(57343));
  ExpectRoundTrip(Bytes(57343, 0377), 020000);
  ExpectRoundTrip(generate.Text(40000), 0);
  for (int i = 0; i < 12; ++i) {
    const size_t size = generate.Below(57344);
    SCOPED_TRACE(size);
    const Bytes data = i % 2 == 0 ? generate.Mixed(size) : generate.Text(size);
    const uint16_t load = generate.AddressFor(size);
    // Mixed data packs poorly: a large input may leave no room for its image.
    const PackResult packed = TryPack(data, load);
    if (packed.error != PackError::None) {
      EXPECT_EQ(i % 2, 0);
      EXPECT_EQ(packed.error, PackError::DoesNotFit);
      EXPECT_TRUE(packed.image.empty());
      EXPECT_GT(size, 0100000u);
      continue;
    }
    ExpectRoundTrip(data, load);
  }
}

// --- where the image must go -------------------------------------------------

TEST(Pack, ImageFitsBelowOrAboveItsDataWithinTheAddressSpace) {
  const struct {
    uint32_t load, packed, image;
    bool fits;
  } cases[] = {
      {01000, 0100, 0200000 - 01100, true},  // exactly up to 0200000
      {01000, 0100, 0200000 - 01100 + 1,
       false},                           // one byte too many, and 01000 is too little below
      {040000, 0100, 040000, true},      // exactly below the data
      {040000, 0100, 040001, true},      // above it there is more room
      {0170000, 010000, 0170000, true},  // data up to 0200000, image below
      {0170000, 010000, 0170001, false},
      {0170000, 010002, 02000, false},  // data past 0200000
      {0, 0, 0200000, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ImageFits(c.load, c.packed, c.image), c.fits)
        << c.load << " " << c.packed << " " << c.image;
  }
}

// Data that does not compress gives an image longer than itself. Its image
// is made to end exactly at 0200000 above the data, then one word further:
// that one is refused, and the one that fits is short enough for -u.
TEST(Pack, IncompressibleDataAtTheBoundaryOfTheAddressSpace) {
  Generator generate(6);
  const Bytes noise = generate.Random(32000);
  const PackResult probe = TryPack(noise, 0);
  ASSERT_EQ(probe.error, PackError::None);
  const size_t image = probe.image.size();
  ASSERT_GT(image, noise.size());
  const auto fitting = static_cast<uint16_t>(0200000 - noise.size() - image);
  ASSERT_LT(fitting, image) << "the image must not fit below the data either";

  const PackResult exact = TryPack(noise, fitting);
  ASSERT_EQ(exact.error, PackError::None);
  EXPECT_LT(exact.image.size() + 4, 57344u) << "korvid -u reads it";
  const UnpackResult unpacked = UnpackFile(exact.image);
  ASSERT_TRUE(Unpacked(unpacked));
  EXPECT_EQ(unpacked.data, noise);

  const auto beyond = static_cast<uint16_t>(fitting + 2);
  const PackResult refused = TryPack(noise, beyond);
  EXPECT_EQ(refused.error, PackError::DoesNotFit);
  EXPECT_EQ(refused.imageLength, image);
  EXPECT_EQ(refused.packedLength, noise.size());
  EXPECT_TRUE(refused.image.empty());

  // The largest input the reader takes, incompressible, never fits: before
  // this check its image was too long for korvid -u to read at all.
  for (const uint16_t load : std::initializer_list<uint16_t>{0, 01000, 020000}) {
    EXPECT_EQ(TryPack(generate.Random(57343 - load), load).error, PackError::DoesNotFit) << load;
  }
}

// --- damaged files ------------------------------------------------------------

// Builds an image whose stream delivers `bits` in this reading order. The
// bits are appended last first, as a packer appends them.
Bytes ImageWithStream(const std::vector<int>& bits, uint16_t packedLength) {
  Bytes image(kStub.begin(), kStub.end());
  auto store = [&](uint16_t word) {
    image.push_back(static_cast<uint8_t>(word & 0xFF));
    image.push_back(static_cast<uint8_t>(word >> 8));
  };
  uint16_t accumulator = 1;
  int pending = 0;
  for (auto bit = bits.rbegin(); bit != bits.rend(); ++bit) {
    accumulator = static_cast<uint16_t>(accumulator << 1 | *bit);
    if (++pending == 16) {
      store(accumulator);
      accumulator = 1;
      pending = 0;
    }
  }
  if (accumulator != 1) {
    store(accumulator);
    store(static_cast<uint16_t>(pending));
  } else {
    store(16);
  }
  const size_t words = image.size() / 2;
  WriteBkWord(image.data() + 2 * kLoadAddressWord, 01000);
  WriteBkWord(image.data() + 2 * kImageEndWord,
              static_cast<uint16_t>(2 * (words - kPackedLengthWord)));
  WriteBkWord(image.data() + 2 * kPackedLengthWord, packedLength);
  return image;
}

std::vector<int> Bits(const std::string& text) {  // "01 00000010" -> 0,1,0,...
  std::vector<int> bits;
  for (char c : text) {
    if (c == '0' || c == '1') bits.push_back(c - '0');
  }
  return bits;
}

TEST(Unpack, HandMadeStreams) {
  // Reading order: literal runs "00 ccc" + bytes, copies "01" + distance.
  const UnpackResult literals = UnpackFile(ImageWithStream(Bits("00 001 01000010 01000001"), 2));
  ASSERT_TRUE(Unpacked(literals));
  EXPECT_EQ(literals.data, (Bytes{'A', 'B'}));  // the last byte comes first

  const UnpackResult copy =
      UnpackFile(ImageWithStream(Bits("00 001 00000010 00000001 01 00000010"), 4));
  ASSERT_TRUE(Unpacked(copy));
  EXPECT_EQ(copy.data, (Bytes{1, 2, 1, 2}));
  EXPECT_EQ(copy.loadAddress, 01000);
}

TEST(Unpack, DamagedFilesGiveOneMessageAndNoResult) {
  const Bytes good = Packed(Bytes(300, 7));
  auto withWord = [&](int index, uint16_t value) {
    Bytes image = good;
    WriteBkWord(image.data() + 2 * index, value);
    return image;
  };
  const size_t last = good.size() / 2 - 1;
  struct Case {
    const char* what;
    Bytes file;
    UnpackError error;
  };
  const Case cases[] = {
      {"too short for word 4", Bytes(good.begin(), good.begin() + 9), UnpackError::NotRecognised},
      {"word 4 is not 000352", withWord(4, 0354), UnpackError::NotRecognised},
      {"no room for the parameters", Bytes(good.begin(), good.begin() + 263),
       UnpackError::NotRecognised},
      {"last word beyond the file", withWord(kImageEndWord, static_cast<uint16_t>(2 * (last - 129))),
       UnpackError::BadParameters},
      {"last word far beyond the file", withWord(kImageEndWord, 0177776),
       UnpackError::BadParameters},
      {"17 valid bits", withWord(static_cast<int>(last), 17), UnpackError::BadParameters},
      {"packed length too small", withWord(kPackedLengthWord, 298), UnpackError::BadToken},
      {"packed length too large", withWord(kPackedLengthWord, 302), UnpackError::Truncated},
      {"copy from beyond the data", ImageWithStream(Bits("01 00000100"), 2), UnpackError::BadToken},
      {"copy of a byte onto itself", ImageWithStream(Bits("00 000 00000001 01 00000000"), 3),
       UnpackError::BadToken},
      {"literal below the data", ImageWithStream(Bits("00 001 00000001 00000010"), 1),
       UnpackError::BadToken},
      {"stream ends inside a count", ImageWithStream(Bits("00 00"), 2), UnpackError::Truncated},
      {"stream ends inside a byte", ImageWithStream(Bits("00 001 00000001 0000"), 2),
       UnpackError::Truncated},
      {"stream ends before the data is full", ImageWithStream(Bits("00 000 00000001"), 2),
       UnpackError::Truncated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const UnpackResult unpacked = UnpackFile(c.file);
    EXPECT_EQ(unpacked.error, c.error);
    EXPECT_TRUE(unpacked.data.empty());
  }
}

TEST(Unpack, EveryTruncationIsRefused) {
  Generator generate(4);
  const Bytes image = Packed(generate.Mixed(700));
  for (size_t length = 0; length < image.size(); ++length) {
    const UnpackResult unpacked = UnpackFile(Bytes(image.begin(), image.begin() + length));
    EXPECT_EQ(unpacked.error,
              length < kStubSize ? UnpackError::NotRecognised : UnpackError::BadParameters)
        << "length " << length;
  }
}

// Whatever the bytes, the unpacker gives data or one reason; the sanitizer
// build turns any access outside the buffers into a failure.
TEST(Unpack, RandomFilesGiveDataOrOneReason) {
  Generator generate(5);
  int seen[5] = {};  // by reason
  auto check = [&](const Bytes& file) {
    const UnpackResult unpacked = UnpackFile(file);
    if (!Unpacked(unpacked)) {
      EXPECT_TRUE(unpacked.data.empty());
    }
    ++seen[static_cast<int>(unpacked.error)];
  };
  for (int i = 0; i < 3000; ++i) {
    Bytes file = generate.Random(generate.Size(4000));
    // Most random files fail at word 4; most get a believable parameter
    // block so that the stream reader and the token loop are exercised.
    if (file.size() >= 264 && i % 4 != 0) {
      const size_t words = file.size() / 2;
      WriteBkWord(file.data() + 8, 0352);
      WriteBkWord(file.data() + 2 * kImageEndWord,
                  static_cast<uint16_t>(2 * (words - kPackedLengthWord)));
      WriteBkWord(file.data() + 2 * (words - 1), static_cast<uint16_t>(i % 19));  // 17, 18: bad
      if (i % 2 == 0) {
        WriteBkWord(file.data() + 2 * kPackedLengthWord, static_cast<uint16_t>(i % 64));
      }
    }
    check(file);
  }
  // A whole file's worth of random bytes behind a valid parameter block.
  Bytes file = generate.Random(57342);
  WriteBkWord(file.data() + 8, 0352);
  WriteBkWord(file.data() + 2 * kImageEndWord, 2 * (28671 - kPackedLengthWord));
  WriteBkWord(file.data() + 2 * 28670, 16);
  check(file);
  // Every way of failing was met, so the token loop ran on random streams.
  for (int reason = 1; reason < 5; ++reason) EXPECT_GT(seen[reason], 20) << reason;
}

// An image with no stream word unpacks to nothing: fine for an empty
// input, a cut-off stream for any other.
TEST(Unpack, ImageWithoutStreamWords) {
  Bytes image(kStub.begin(), kStub.end());
  image.resize(image.size() + 2);  // word 0204: the valid-bit count
  WriteBkWord(image.data() + 2 * kFirstStreamWord, 16);
  WriteBkWord(image.data() + 2 * kImageEndWord, 4);
  const UnpackResult empty = UnpackFile(image);
  ASSERT_TRUE(Unpacked(empty));
  EXPECT_TRUE(empty.data.empty());
  WriteBkWord(image.data() + 2 * kPackedLengthWord, 2);
  EXPECT_EQ(UnpackFile(image).error, UnpackError::Truncated);
}

// The empty input's image has no stream bits; an image made with one
// literal below the destination, as a strict reading of the format gives
// for empty input, also unpacks to nothing, and nothing is stored.
TEST(Unpack, EmptyInputImages) {
  const UnpackResult ours = UnpackFile(Packed(Bytes(), 0123));
  ASSERT_TRUE(Unpacked(ours));
  EXPECT_TRUE(ours.data.empty());
  EXPECT_EQ(ours.loadAddress, 0123);

  const UnpackResult stray = UnpackFile(ImageWithStream(Bits("00 000 00000000"), 0));
  ASSERT_TRUE(Unpacked(stray));
  EXPECT_TRUE(stray.data.empty());

  // Only that one-byte run is tolerated: more below the data is damage.
  EXPECT_EQ(UnpackFile(ImageWithStream(Bits("00 001 00000000 00000000"), 0)).error,
            UnpackError::BadToken);
  EXPECT_EQ(UnpackFile(ImageWithStream(Bits("00 000 00000000 00 000 00000000"), 0)).error,
            UnpackError::BadToken);
}

}  // namespace

}  // namespace granol
