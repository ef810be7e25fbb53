#include "dorvik/dorvik_image.h"

#include <gtest/gtest.h>

#include "dorvik/dorvik_context.h"
#include "dorvik/dorvik_stub.h"
#include "dorvik/dorvik_testing.h"
#include "front/packer_state.h"

namespace {

using dorvik_testing::ByteVector;
using dorvik_testing::BytesOfWords;
using dorvik_testing::Pack;
using dorvik_testing::PackOptions;
using dorvik_testing::Random;
using dorvik_testing::WordOf;

const std::string kTenDots = "..........";

// A word of the stub as it lies in a packed image.
uint16_t StubWordIn(const ByteVector& image, uint16_t stubOffset) {
  return WordOf(image, dorvikContext.startOffset - dorvikContext.stubSkip + stubOffset);
}

ByteVector Zeros(size_t length) { return ByteVector(length, 0); }

ByteVector Noise(size_t length, uint32_t seed) {
  Random random(seed);
  ByteVector bytes(length);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random.Next());
  return bytes;
}

TEST(DorvikImage, TenWordExampleIsTheDocumentedImage) {
  const ByteVector data = BytesOfWords({0x1234, 0x0001, 0x1234, 0x0001, 0x1234, 0x8002, 7, 7, 7, 7});
  const auto packed = Pack(01000, data);
  ASSERT_TRUE(packed.ok);
  EXPECT_EQ(packed.console, kTenDots);  // the driver adds the result once the image is written

  // Short stub with its patched words: work area 036710 (table at 037000),
  // B1 18, B2 0x6E92, H 166, 20 packed bytes, base + 1 = 0, a program.
  ByteVector header = BytesOfWords({
      0010704, 0062704, 0000236, 0010400, 0012703, 0040000, 0005001, 0012702, 0000020,
      0005740, 0005043, 0006110, 0103012, 0112405, 0162705, 18,      0100404, 0000305,
      0152405, 0162705, 0x6E92,  0160501, 0010113, 0077216, 0020327, 0037000, 0001354,
      0012702, 0000034, 0014043, 0077202, 0062700, 0000151, 0012702, 166,     0000113,
      0114044, 0077202, 0062704, 20,      0114001, 0006301, 0016101, 0037400, 0001410,
      0005301, 0001411, 0102404, 0062701, 0,       0010144, 0000410, 0005300, 0111044,
      0114044, 0000760, 0114002, 0011444, 0105302, 0001375, 0020400, 0001352, 0000160,
      0});
  ByteVector bitmap(32, 0);
  bitmap[0] = 0x1E;
  header.insert(header.end(), bitmap.begin(), bitmap.end());
  header.insert(header.end(), {0x11, 0x11, 0x6E, 0x5F, 0x12, 0xC7});
  ASSERT_EQ(header.size(), 166u);

  // The stream, with the header swapped in where it begins.
  ByteVector expected = {0x82, 0x83, 0x82, 0x83, 0x82, 0x02, 0x80, 0x03, 0x84, 0x07, 0x00};
  const size_t streamLength = expected.size();
  expected.resize(streamLength + header.size());
  for (size_t i = 0; i < header.size(); ++i) {
    expected[streamLength + i] = expected[i];
    expected[i] = header[i];
  }
  EXPECT_EQ(packed.bytes.size(), 177u);
  EXPECT_EQ(packed.bytes, expected);
}

TEST(DorvikImage, SmallestImages) {
  const auto five = Pack(01000, BytesOfWords({0x1234, 0x1234, 0x1234, 0x1234, 0x1234}));
  EXPECT_EQ(five.bytes.size(), 167u);
  EXPECT_EQ(five.console, kTenDots);
  const auto two = Pack(01000, BytesOfWords({0x1234}));
  EXPECT_EQ(two.bytes.size(), 165u);
  EXPECT_EQ(two.console, kTenDots);
}

TEST(DorvikImage, ShortAndLongStubBeginnings) {
  const ByteVector data = Noise(1001, 3);
  const auto shortImage = Pack(01000, data);
  EXPECT_EQ(WordOf(shortImage.bytes, 0), 0010704);
  EXPECT_EQ(WordOf(shortImage.bytes, 2), 0062704);
  EXPECT_EQ(WordOf(shortImage.bytes, 4), 0000236);

  const auto longImage = Pack(01000, data, {true, false, -1});
  const std::vector<uint16_t> prologue = {0012704, 1001,    0010437, 0000266, 0010437,
                                          0000350, 0012737, dorvikContext.checksum, 0000312,
                                          0010704};
  for (size_t i = 0; i < prologue.size(); ++i) EXPECT_EQ(WordOf(longImage.bytes, 2 * i), prologue[i]) << i;
  EXPECT_EQ(longImage.bytes.size(), shortImage.bytes.size() + 18);
}

TEST(DorvikImage, ChecksumAddsWithEndAroundCarry) {
  // 257 bytes of 0xFF sum to 0xFFFF; the 258th carries out and wraps to 0377.
  Pack(01000, ByteVector(258, 0xFF), {true, false, -1});
  EXPECT_EQ(dorvikContext.checksum, 0377);
  Pack(01000, ByteVector(257, 0xFF), {true, false, -1});
  EXPECT_EQ(dorvikContext.checksum, 0177777);
}

TEST(DorvikImage, DataModeReturnsAndProgramsJump) {
  const ByteVector data = Noise(500, 4);
  const auto dataImage = Pack(01000, data, {false, true, -1});
  EXPECT_EQ(StubWordIn(dataImage.bytes, 142), 0000207);
  const auto program = Pack(01000, data);
  EXPECT_EQ(StubWordIn(program.bytes, 142), 0000160);
  // JMP n(R0): R0 ends at the plain prefix, so n brings it back to 01000.
  EXPECT_EQ(static_cast<uint16_t>(01000 + 2 * dorvikContext.rawPrefixEnd +
                                  StubWordIn(program.bytes, 144)),
            01000);
}

// The work area end that the stub's first table word points at.
uint16_t WorkStartOf(const ByteVector& image) {
  return static_cast<uint16_t>(StubWordIn(image, stub::kTableEnd) - kWorkAreaSize);
}

TEST(DorvikImage, DefaultWorkAreaFollowsTheProgramEnd) {
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(036710 - 01000)).bytes), 036710);
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(036712 - 01000)).bytes), 076710);
  EXPECT_EQ(WorkStartOf(Pack(040000, Zeros(036712)).bytes), 06710);  // ends above 076710
  // A screen picture leaves the first area free, yet the area for programs
  // that end high is kept.
  EXPECT_EQ(WorkStartOf(Pack(040000, Zeros(040000)).bytes), 06710);
}

TEST(DorvikImage, WorkAreaFromTheCommandLine) {
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(2000), {false, false, 040000}).bytes), 036710);
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(2000), {false, false, 0120000}).bytes), 0116710);
  // -w 0: directly after the program, and the new end is kept.
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(2000), {false, false, 0}).bytes), 01000 + 2000);
  EXPECT_EQ(packerState.workEnd, 01000 + 2000 + 568);
  // An area that would lie inside the program moves after it too.
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(8000), {false, false, 010000}).bytes), 01000 + 8000);
}

TEST(DorvikImage, WorkAreaStartsOnAnEvenAddress) {
  // Odd program end: rounded up. Odd -w: rounded down, so the area still
  // ends at or below the address given.
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(2001), {false, false, 0}).bytes), 01000 + 2002);
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(2001), {false, false, 040001}).bytes), 036710);
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(2001), {false, false, 040003}).bytes), 036712);
}

TEST(DorvikImage, WorkAreaNeverOverlapsTheImage) {
  // -w 0 on a program whose image is longer than itself: after the image.
  const auto tiny = Pack(01000, BytesOfWords({0x4321}), {false, false, 0});
  ASSERT_TRUE(tiny.ok);
  EXPECT_EQ(WorkStartOf(tiny.bytes), 01000 + 166);  // image of 165 bytes, rounded up

  // Default choice when the image runs past 036710: the next free area.
  const ByteVector near = Noise(036700 - 01000, 6);
  const auto image = Pack(01000, near);
  ASSERT_TRUE(image.ok);
  ASSERT_GT(01000 + image.bytes.size(), 036710u);
  EXPECT_EQ(WorkStartOf(image.bytes), 076710);
}

TEST(DorvikImage, WorkAreaThatCannotWorkIsRefused) {
  // Inside the image of a 2000-byte incompressible program.
  const auto inside = Pack(01000, Noise(2000, 7), {false, false, 02000});
  EXPECT_FALSE(inside.ok);
  EXPECT_EQ(inside.console, kTenDots.substr(2) +
                                "Ошибка:: рабочая область 0710-02000 перекрывает упакованный "
                                "файл, задайте другой адрес ключом -w.\n");
  const auto overlapping = Pack(01000, Noise(2000, 7), {false, false, 05000});
  EXPECT_FALSE(overlapping.ok);
  EXPECT_EQ(overlapping.console, kTenDots.substr(2) +
                                     "Ошибка:: рабочая область 03710-05000 перекрывает "
                                     "упакованный файл, задайте другой адрес ключом -w.\n");
  EXPECT_EQ(dorvikContext.imageLength, 0);

  // Wrapping below address 0.
  const auto wrapped = Pack(01000, Zeros(100), {false, false, 0100});
  EXPECT_FALSE(wrapped.ok);
  EXPECT_NE(wrapped.console.find("не помещается в память ниже 0200000"), std::string::npos);

  // A program high in memory whose area after it would cross 0200000.
  const auto high = Pack(0170000, Noise(8000, 8), {false, false, 0});
  EXPECT_FALSE(high.ok);
  EXPECT_NE(high.console.find("не помещается в память ниже 0200000"), std::string::npos);

  // No default area is free when the program covers all three.
  const auto covered = Pack(04000, Noise(30720, 9));
  EXPECT_FALSE(covered.ok);
  EXPECT_EQ(covered.console, kTenDots.substr(2) +
                                 "Ошибка:: нет свободного места для рабочей области, задайте её "
                                 "адрес ключом -w.\n");
}

// A file at `load` whose stack words from `from` up to 0776 hold `fill`.
ByteVector StackImage(uint16_t load, uint16_t from, uint16_t fill, size_t above) {
  ByteVector data = Noise(01000 - load + above, load);
  for (uint16_t address = load; address < 01000; address += 2) {
    const uint16_t word = address >= from ? fill : 0;
    data[address - load] = static_cast<uint8_t>(word & 0xFF);
    data[address - load + 1] = static_cast<uint8_t>(word >> 8);
  }
  return data;
}

TEST(DorvikImage, AutostartWordsPointAtTheStub) {
  const ByteVector data = StackImage(0120, 0744, 02000, 3000);
  const auto packed = Pack(0120, data);
  ASSERT_TRUE(packed.ok);
  EXPECT_EQ(dorvikContext.startDisplacement, 01000);
  // From two below the run's top downward the words become 01000; the top
  // word keeps 02000; below the run nothing changes.
  for (uint16_t address = 0120; address < 01000; address += 2) {
    const uint16_t expected = address == 0776 ? 02000 : address >= 0744 ? 01000 : 0;
    EXPECT_EQ(WordOf(packed.bytes, address - 0120), expected) << std::oct << address;
  }
  // The stub sits at 01000 and finally jumps to 02000.
  EXPECT_EQ(WordOf(packed.bytes, 01000 - 0120), 0010704);
  EXPECT_EQ(static_cast<uint16_t>(0120 + 2 * dorvikContext.rawPrefixEnd +
                                  StubWordIn(packed.bytes, 144)),
            02000);
}

TEST(DorvikImage, NoAutostartAddressLeavesTheStackAlone) {
  const ByteVector data = StackImage(0400, 0744, 01000, 500);
  const auto packed = Pack(0400, data);
  ASSERT_TRUE(packed.ok);
  EXPECT_EQ(dorvikContext.startDisplacement, 0);
  EXPECT_EQ(ByteVector(packed.bytes.begin(), packed.bytes.begin() + 0400),
            ByteVector(data.begin(), data.begin() + 0400));
  EXPECT_EQ(static_cast<uint16_t>(0400 + 2 * dorvikContext.rawPrefixEnd +
                                  StubWordIn(packed.bytes, 144)),
            01000);
}

TEST(DorvikImage, SingleWordAutostartRunRewritesTheWordBelow) {
  ByteVector data = StackImage(0400, 0776, 0, 500);
  data[0744 - 0400 + 1] = 04;  // 02000 at 0744 only
  data[0742 - 0400] = 0x55;    // the word below it
  const auto packed = Pack(0400, data);
  EXPECT_EQ(WordOf(packed.bytes, 0744 - 0400), 02000);
  EXPECT_EQ(WordOf(packed.bytes, 0742 - 0400), 01000);
}

TEST(DorvikImage, PackingLimitCountsTheWholeInput) {
  EXPECT_TRUE(Pack(01000, Zeros(30720)).ok);
  EXPECT_TRUE(Pack(01000, Zeros(30719)).ok);
  EXPECT_TRUE(Pack(0400, Zeros(30720)).ok);

  const ByteVector big = Noise(30721, 10);
  const auto refused = Pack(01000, big);
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.console, "Ошибка:: файл слишком большой для упаковки.\n");
  EXPECT_EQ(dorvikContext.imageLength, 0);
  // The input is untouched, padding byte included.
  EXPECT_TRUE(std::equal(big.begin(), big.end(), packerState.fileBuffer.begin()));
  EXPECT_EQ(packerState.fileBuffer[30721], 0);
}

TEST(DorvikImage, InputsWithoutAWorkingImageAreRefused) {
  const struct {
    uint16_t load;
    size_t length;
    const char* message;
  } cases[] = {
      {01000, 0, "Ошибка:: в файле нет данных выше адреса 01000, упаковывать нечего.\n"},
      {0400, 0400, "Ошибка:: в файле нет данных выше адреса 01000, упаковывать нечего.\n"},
      {0776, 1, "Ошибка:: в файле нет данных выше адреса 01000, упаковывать нечего.\n"},
      {0777, 100, "Ошибка:: нечётный адрес загрузки 0777, упаковка Dorvik невозможна.\n"},
      {01001, 100, "Ошибка:: нечётный адрес загрузки 01001, упаковка Dorvik невозможна.\n"},
  };
  for (const auto& test : cases) {
    const auto packed = Pack(test.load, Zeros(test.length));
    EXPECT_FALSE(packed.ok) << std::oct << test.load;
    EXPECT_EQ(packed.console, test.message);
  }
  EXPECT_TRUE(Pack(0776, Zeros(3)).ok);  // one word at 01000
}

}  // namespace
