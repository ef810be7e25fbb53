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

#include "front/console.h"
#include "front/le16.h"
#include "front/messages.h"
#include "front/packer_state.h"
#include "common/platform.h"
#include "granol/granol.h"
#include "granol/granol_stub.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Packed {
  bool ok = false;
  std::string console;
  Bytes image;
};

Packed TryPack(const Bytes& data, uint16_t loadAddress) {
  ResetPackerState();
  std::copy(data.begin(), data.end(), packerState.fileBuffer.begin());
  packerState.dataLength = static_cast<int32_t>(data.size());
  packerState.loadAddress = loadAddress;
  packerState.inputName = L"data.bin";
  Packed result;
  SetConsoleSink(&result.console);
  result.ok = GranolPack();
  SetConsoleSink(nullptr);
  if (result.ok) {
    result.image.assign(packerState.granolImage.begin(),
                        packerState.granolImage.begin() + packerState.dataLength);
  }
  return result;
}

Bytes Pack(const Bytes& data, uint16_t loadAddress = 01000) {
  const Packed packed = TryPack(data, loadAddress);
  EXPECT_TRUE(packed.ok) << packed.console;
  return packed.image;
}

struct Unpacked {
  bool ok = false;
  std::string console;
  Bytes data;
  uint16_t loadAddress = 0;
};

// Runs GranolUnpack on `file` as ReadInputFile would leave it. The rest of
// granolImage is filled with a pattern so that stray writes show.
Unpacked Unpack(const Bytes& file) {
  ResetPackerState();
  std::copy(file.begin(), file.end(), packerState.fileBuffer.begin());
  packerState.dataLength = static_cast<int32_t>(file.size());
  packerState.granolImage.fill(0x5A);
  Unpacked result;
  SetConsoleSink(&result.console);
  result.ok = GranolUnpack();
  SetConsoleSink(nullptr);
  if (result.ok) {
    result.data.assign(packerState.granolImage.begin(),
                       packerState.granolImage.begin() + packerState.dataLength);
    result.loadAddress = static_cast<uint16_t>(packerState.loadAddress);
  }
  return result;
}

std::string Utf8(const wchar_t* message) { return NarrowName(message); }

void ExpectRoundTrip(const Bytes& data, uint16_t loadAddress = 01000) {
  const Bytes image = Pack(data, loadAddress);
  const Unpacked unpacked = Unpack(image);
  ASSERT_TRUE(unpacked.ok) << unpacked.console << " size " << data.size();
  EXPECT_EQ(unpacked.console, "");
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
    static const char* const kWords[] = {"10 PRINT ", "GOTO ", "REM ", "A$=\"", "\" ",
                                         "FOR I=1 TO 10", "NEXT I\n", "DATA 1,2,3\n",
                                         "\xF0\xD2\xC9\xD7\xC5\xD4 ", "\n"};
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
  std::mt19937 random_;
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
  for (size_t size : {0, 1, 2, 3, 4, 5, 8, 9, 263, 264, 265, 527, 528, 529, 4095, 4096, 4097,
                      4098, 8193}) {
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
    const Packed packed = TryPack(data, load);
    if (!packed.ok) {
      EXPECT_EQ(i % 2, 0);
      EXPECT_EQ(packed.console.find("Ошибка:: упакованный файл длиной "), 0u) << packed.console;
      EXPECT_GT(size, 0100000u);
      continue;
    }
    ExpectRoundTrip(data, load);
  }
}

// --- where the image must go -------------------------------------------------

TEST(GranolPack, ImageFitsBelowOrAboveItsDataWithinTheAddressSpace) {
  const struct {
    uint32_t load, packed, image;
    bool fits;
  } cases[] = {
      {01000, 0100, 0200000 - 01100, true},       // exactly up to 0200000
      {01000, 0100, 0200000 - 01100 + 1, false},  // one byte too many, and 01000 is too little below
      {040000, 0100, 040000, true},               // exactly below the data
      {040000, 0100, 040001, true},               // above it there is more room
      {0170000, 010000, 0170000, true},           // data up to 0200000, image below
      {0170000, 010000, 0170001, false},
      {0170000, 010002, 02000, false},            // data past 0200000
      {0, 0, 0200000, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GranolImageFits(c.load, c.packed, c.image), c.fits) << c.load << " " << c.packed << " " << c.image;
  }
}

// Data that does not compress gives an image longer than itself. Its image
// is made to end exactly at 0200000 above the data, then one word further:
// that one is refused, and the one that fits is short enough for -u.
TEST(GranolPack, IncompressibleDataAtTheBoundaryOfTheAddressSpace) {
  Generator generate(6);
  const Bytes noise = generate.Random(32000);
  const Packed probe = TryPack(noise, 0);
  ASSERT_TRUE(probe.ok) << probe.console;
  const size_t image = probe.image.size();
  ASSERT_GT(image, noise.size());
  const auto fitting = static_cast<uint16_t>(0200000 - noise.size() - image);
  ASSERT_LT(fitting, image) << "the image must not fit below the data either";

  const Packed exact = TryPack(noise, fitting);
  ASSERT_TRUE(exact.ok) << exact.console;
  EXPECT_EQ(exact.console, "");
  EXPECT_LT(exact.image.size() + 4, 57344u) << "korvid -u reads it";
  const Unpacked unpacked = Unpack(exact.image);
  ASSERT_TRUE(unpacked.ok);
  EXPECT_EQ(unpacked.data, noise);

  const auto beyond = static_cast<uint16_t>(fitting + 2);
  const Packed refused = TryPack(noise, beyond);
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.console, "Ошибка:: упакованный файл длиной 0" + [&] {
    char text[16];
    std::snprintf(text, sizeof text, "%o", static_cast<unsigned>(image));
    return std::string(text);
  }() + " байт не поместится в памяти БК рядом с данными 0" + [&] {
    char text[32];
    std::snprintf(text, sizeof text, "%o-0%o", beyond, static_cast<unsigned>(beyond + noise.size()));
    return std::string(text);
  }() + ", упаковка Granol невозможна.\n");

  // The largest input the reader takes, incompressible, never fits: before
  // this check its image was too long for korvid -u to read at all.
  for (const uint16_t load : {0, 01000, 020000}) {
    EXPECT_FALSE(TryPack(generate.Random(57343 - load), load).ok) << load;
  }
}

// --- damaged files ------------------------------------------------------------

// Builds an image whose stream delivers `bits` in this reading order. The
// bits are appended last first, as a packer appends them.
Bytes ImageWithStream(const std::vector<int>& bits, uint16_t packedLength) {
  Bytes image(GranolStub.begin(), GranolStub.end());
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
  WriteLE16(image.data() + 2 * kGranolLoadAddressWord, 01000);
  WriteLE16(image.data() + 2 * kGranolImageEndWord, static_cast<uint16_t>(2 * (words - 131)));
  WriteLE16(image.data() + 2 * kGranolPackedLengthWord, packedLength);
  return image;
}

std::vector<int> Bits(const std::string& text) {  // "01 00000010" -> 0,1,0,...
  std::vector<int> bits;
  for (char c : text) {
    if (c == '0' || c == '1') bits.push_back(c - '0');
  }
  return bits;
}

TEST(GranolUnpack, HandMadeStreams) {
  // Reading order: literal runs "00 ccc" + bytes, copies "01" + distance.
  const Unpacked literals = Unpack(ImageWithStream(Bits("00 001 01000010 01000001"), 2));
  ASSERT_TRUE(literals.ok) << literals.console;
  EXPECT_EQ(literals.data, (Bytes{'A', 'B'}));  // the last byte comes first

  const Unpacked copy = Unpack(ImageWithStream(Bits("00 001 00000010 00000001 01 00000010"), 4));
  ASSERT_TRUE(copy.ok) << copy.console;
  EXPECT_EQ(copy.data, (Bytes{1, 2, 1, 2}));
  EXPECT_EQ(copy.loadAddress, 01000);
}

TEST(GranolUnpack, DamagedFilesGiveOneMessageAndNoResult) {
  const Bytes good = Pack(Bytes(300, 7));
  auto withWord = [&](int index, uint16_t value) {
    Bytes image = good;
    WriteLE16(image.data() + 2 * index, value);
    return image;
  };
  const size_t last = good.size() / 2 - 1;
  struct Case {
    const char* what;
    Bytes file;
    const wchar_t* message;
  };
  const Case cases[] = {
      {"too short for word 4", Bytes(good.begin(), good.begin() + 9), kMsgGranolNotRecognised},
      {"word 4 is not 000352", withWord(4, 0354), kMsgGranolNotRecognised},
      {"no room for the parameters", Bytes(good.begin(), good.begin() + 263),
       kMsgGranolNotRecognised},
      {"last word beyond the file", withWord(kGranolImageEndWord, 2 * (last - 129)),
       kMsgGranolBadParameters},
      {"last word far beyond the file", withWord(kGranolImageEndWord, 0177776),
       kMsgGranolBadParameters},
      {"17 valid bits", withWord(static_cast<int>(last), 17), kMsgGranolBadParameters},
      {"packed length too small", withWord(kGranolPackedLengthWord, 298), kMsgGranolBadToken},
      {"packed length too large", withWord(kGranolPackedLengthWord, 302), kMsgGranolTruncated},
      {"copy from beyond the data", ImageWithStream(Bits("01 00000100"), 2), kMsgGranolBadToken},
      {"copy of a byte onto itself", ImageWithStream(Bits("00 000 00000001 01 00000000"), 3),
       kMsgGranolBadToken},
      {"literal below the data", ImageWithStream(Bits("00 001 00000001 00000010"), 1),
       kMsgGranolBadToken},
      {"stream ends inside a count", ImageWithStream(Bits("00 00"), 2), kMsgGranolTruncated},
      {"stream ends inside a byte", ImageWithStream(Bits("00 001 00000001 0000"), 2),
       kMsgGranolTruncated},
      {"stream ends before the data is full", ImageWithStream(Bits("00 000 00000001"), 2),
       kMsgGranolTruncated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Unpacked unpacked = Unpack(c.file);
    EXPECT_FALSE(unpacked.ok);
    EXPECT_EQ(unpacked.console, Utf8(c.message));
  }
}

TEST(GranolUnpack, EveryTruncationIsRefused) {
  Generator generate(4);
  const Bytes image = Pack(generate.Mixed(700));
  for (size_t length = 0; length < image.size(); ++length) {
    const Unpacked unpacked = Unpack(Bytes(image.begin(), image.begin() + length));
    EXPECT_FALSE(unpacked.ok) << "length " << length;
    const std::string expected =
        Utf8(length < 264 ? kMsgGranolNotRecognised : kMsgGranolBadParameters);
    EXPECT_EQ(unpacked.console, expected) << "length " << length;
  }
}

// Whatever the bytes, the unpacker gives data or one of its messages; the
// sanitizer build turns any access outside the buffers into a failure.
TEST(GranolUnpack, RandomFilesGiveDataOrOneMessage) {
  Generator generate(5);
  const std::string messages[] = {Utf8(kMsgGranolNotRecognised), Utf8(kMsgGranolBadParameters),
                                  Utf8(kMsgGranolBadToken), Utf8(kMsgGranolTruncated)};
  int seen[4] = {};
  auto check = [&](const Bytes& file) {
    const Unpacked unpacked = Unpack(file);
    if (unpacked.ok) {
      EXPECT_EQ(unpacked.console, "");
      return;
    }
    const auto found = std::find(std::begin(messages), std::end(messages), unpacked.console);
    ASSERT_NE(found, std::end(messages)) << unpacked.console;
    ++seen[found - std::begin(messages)];
  };
  for (int i = 0; i < 3000; ++i) {
    Bytes file = generate.Random(generate.Size(4000));
    // Most random files fail at word 4; most get a believable parameter
    // block so that the stream reader and the token loop are exercised.
    if (file.size() >= 264 && i % 4 != 0) {
      const size_t words = file.size() / 2;
      WriteLE16(file.data() + 8, 0352);
      WriteLE16(file.data() + 2 * kGranolImageEndWord, static_cast<uint16_t>(2 * (words - 131)));
      WriteLE16(file.data() + 2 * (words - 1), static_cast<uint16_t>(i % 19));  // 17, 18: bad
      if (i % 2 == 0) {
        WriteLE16(file.data() + 2 * kGranolPackedLengthWord, static_cast<uint16_t>(i % 64));
      }
    }
    check(file);
  }
  // A whole file's worth of random bytes behind a valid parameter block.
  Bytes file = generate.Random(57342);
  WriteLE16(file.data() + 8, 0352);
  WriteLE16(file.data() + 2 * kGranolImageEndWord, 2 * (28671 - 131));
  WriteLE16(file.data() + 2 * 28670, 16);
  check(file);
  // Every way of failing was met, so the token loop ran on random streams.
  for (int count : seen) EXPECT_GT(count, 20);
}

// An image with no stream word unpacks to nothing: fine for an empty
// input, a cut-off stream for any other.
TEST(GranolUnpack, ImageWithoutStreamWords) {
  Bytes image(GranolStub.begin(), GranolStub.end());
  image.insert(image.end(), {16, 0});  // word 132: the valid-bit count
  WriteLE16(image.data() + 2 * kGranolImageEndWord, 4);
  const Unpacked empty = Unpack(image);
  ASSERT_TRUE(empty.ok) << empty.console;
  EXPECT_TRUE(empty.data.empty());
  WriteLE16(image.data() + 2 * kGranolPackedLengthWord, 2);
  EXPECT_EQ(Unpack(image).console, Utf8(kMsgGranolTruncated));
}

// The empty input's image has no stream bits; an image made with one
// literal below the destination, as a strict reading of the format gives
// for empty input, also unpacks to nothing, and nothing is stored.
TEST(GranolUnpack, EmptyInputImages) {
  const Unpacked ours = Unpack(Pack(Bytes(), 0123));
  ASSERT_TRUE(ours.ok) << ours.console;
  EXPECT_TRUE(ours.data.empty());
  EXPECT_EQ(ours.loadAddress, 0123);

  const Unpacked stray = Unpack(ImageWithStream(Bits("00 000 00000000"), 0));
  ASSERT_TRUE(stray.ok) << stray.console;
  EXPECT_TRUE(stray.data.empty());
  EXPECT_TRUE(std::all_of(packerState.granolImage.begin(), packerState.granolImage.end(),
                          [](uint8_t byte) { return byte == 0x5A; }))
      << "the stray literal must not be stored anywhere";

  // Only that one-byte run is tolerated: more below the data is damage.
  EXPECT_FALSE(Unpack(ImageWithStream(Bits("00 001 00000000 00000000"), 0)).ok);
  EXPECT_FALSE(Unpack(ImageWithStream(Bits("00 000 00000000 00 000 00000000"), 0)).ok);
}

}  // namespace
