#include "dorvik/dorvik_pack_image.h"

#include <gtest/gtest.h>

#include "bk/checksum.h"
#include "dorvik/dorvik_stub.h"
#include "dorvik/dorvik_testing.h"

namespace dorvik {

namespace {

using dorvik_testing::Options;
using dorvik_testing::Pack;
using dorvik_testing::Unpack;

// A word of the stub as it lies in an image loaded at `load`.
uint16_t StubWordIn(const Bytes& image, uint16_t load, bool longStub, uint16_t stubOffset) {
  const size_t regionStart = load < 01000 ? 01000u - load : 0;
  return WordAt(image, regionStart - (longStub ? kLongStubSkip : kShortStubSkip) + stubOffset);
}
uint16_t StubWordIn(const Bytes& image, uint16_t stubOffset) {
  return StubWordIn(image, 01000, false, stubOffset);
}

Bytes Zeros(size_t length) { return Bytes(length, 0); }

TEST(DorvikImage, TenWordExampleIsTheDocumentedImage) {
  const auto packed = Pack(01000, TenWordExample());
  ASSERT_TRUE(packed.ok());
  EXPECT_EQ(packed.steps, 10);

  EXPECT_EQ(packed.image.size(), 177u);
  EXPECT_EQ(packed.image, TenWordExampleImage());
  EXPECT_EQ(packed.startAddress, 01000);
  EXPECT_EQ(packed.workStart, 036710);
}

TEST(DorvikImage, SmallestImages) {
  const auto five = Pack(01000, BytesOfWords({0x1234, 0x1234, 0x1234, 0x1234, 0x1234}));
  EXPECT_EQ(five.image.size(), 167u);
  EXPECT_EQ(five.steps, 10);
  const auto two = Pack(01000, BytesOfWords({0x1234}));
  EXPECT_EQ(two.image.size(), 165u);
  EXPECT_EQ(two.steps, 10);
}

TEST(DorvikImage, ShortAndLongStubBeginnings) {
  const Bytes data = Noise(1001, 3);
  const auto shortImage = Pack(01000, data);
  EXPECT_EQ(WordAt(shortImage.image, 0), 0010704);
  EXPECT_EQ(WordAt(shortImage.image, 2), 0062704);
  EXPECT_EQ(WordAt(shortImage.image, 4), 0000236);

  const auto longImage = Pack(01000, data, Options().Long());
  const std::vector<uint16_t> prologue = {
      0012704, 1001,    0010437, 0000266,
      0010437, 0000350, 0012737, EndAroundCarrySum(data.data(), data.size()),
      0000312, 0010704};
  for (size_t i = 0; i < prologue.size(); ++i)
    EXPECT_EQ(WordAt(longImage.image, 2 * i), prologue[i]) << i;
  EXPECT_EQ(longImage.image.size(), shortImage.image.size() + 18);
}

TEST(DorvikImage, ChecksumAddsWithEndAroundCarry) {
  // 257 bytes of 0xFF sum to 0xFFFF; the 258th carries out and wraps to 0377.
  EXPECT_EQ(StubWordIn(Pack(01000, Bytes(258, 0xFF), Options().Long()).image, 01000, true,
                       stub::kChecksum),
            0377);
  EXPECT_EQ(StubWordIn(Pack(01000, Bytes(257, 0xFF), Options().Long()).image, 01000, true,
                       stub::kChecksum),
            0177777);
}

TEST(DorvikImage, DataModeReturnsAndProgramsJump) {
  const Bytes data = Noise(500, 4);
  const auto dataImage = Pack(01000, data, Options().Data());
  EXPECT_EQ(StubWordIn(dataImage.image, stub::kExit), 0000207);
  const auto program = Pack(01000, data);
  EXPECT_EQ(StubWordIn(program.image, stub::kExit), 0000160);
  // JMP n(R0): R0 ends at the plain prefix, and n brings it back to 01000.
  EXPECT_EQ(program.startAddress, 01000);
  EXPECT_EQ(Unpack(01000, program.image).startAddress, 01000);
}

// The work area that the stub's first table word points at.
uint16_t WorkStartOf(const Bytes& image) {
  return static_cast<uint16_t>(StubWordIn(image, stub::kTableEnd) - kWorkAreaSize);
}

TEST(DorvikImage, DefaultWorkAreaFollowsTheProgramEnd) {
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(036710 - 01000)).image), 036710);
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(036712 - 01000)).image), 076710);
  EXPECT_EQ(WorkStartOf(Pack(040000, Zeros(036712)).image), 06710);  // ends above 076710
  // A screen picture leaves the first area free, yet the area for programs
  // that end high is kept.
  EXPECT_EQ(WorkStartOf(Pack(040000, Zeros(040000)).image), 06710);
}

TEST(DorvikImage, WorkAreaFromTheCommandLine) {
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(2000), Options().Work(040000)).image), 036710);
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(2000), Options().Work(0120000)).image), 0116710);
  // -w 0: directly after the program; the area ends 568 bytes further on.
  const auto after = Pack(01000, Zeros(2000), Options().Work(0));
  EXPECT_EQ(WorkStartOf(after.image), 01000 + 2000);
  EXPECT_EQ(StubWordIn(after.image, stub::kTableEnd), 01000 + 2000 + 568);
  EXPECT_EQ(after.workEnd, 01000 + 2000 + 568);
  // An area that would lie inside the program moves after it too.
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(8000), Options().Work(010000)).image), 01000 + 8000);
}

TEST(DorvikImage, WorkAreaStartsOnAnEvenAddress) {
  // Odd program end: rounded up. Odd -w: rounded down, so the area still
  // ends at or below the address given.
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(2001), Options().Work(0)).image), 01000 + 2002);
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(2001), Options().Work(040001)).image), 036710);
  EXPECT_EQ(WorkStartOf(Pack(01000, Zeros(2001), Options().Work(040003)).image), 036712);
}

TEST(DorvikImage, WorkAreaNeverOverlapsTheImage) {
  // -w 0 on a program whose image is longer than itself: after the image.
  const auto tiny = Pack(01000, BytesOfWords({0x4321}), Options().Work(0));
  ASSERT_TRUE(tiny.ok());
  EXPECT_EQ(WorkStartOf(tiny.image), 01000 + 166);  // image of 165 bytes, rounded up

  // Default choice when the image runs past 036710: the next free area.
  const Bytes near = Noise(036700 - 01000, 6);
  const auto image = Pack(01000, near);
  ASSERT_TRUE(image.ok());
  ASSERT_GT(01000 + image.image.size(), 036710u);
  EXPECT_EQ(WorkStartOf(image.image), 076710);
}

TEST(DorvikImage, WorkAreaThatCannotWorkIsRefused) {
  // Inside the image of a 2000-byte incompressible program: refused after
  // the eight steps that make the stream.
  const auto inside = Pack(01000, Noise(2000, 7), Options().Work(02000));
  EXPECT_EQ(inside.error, PackError::WorkAreaOverlap);
  EXPECT_EQ(inside.steps, 8);
  EXPECT_EQ(inside.workStart, 0710);
  EXPECT_EQ(inside.workEnd, 02000);
  const auto overlapping = Pack(01000, Noise(2000, 7), Options().Work(05000));
  EXPECT_EQ(overlapping.error, PackError::WorkAreaOverlap);
  EXPECT_EQ(overlapping.steps, 8);
  EXPECT_EQ(overlapping.workStart, 03710);
  EXPECT_EQ(overlapping.workEnd, 05000);
  EXPECT_TRUE(overlapping.image.empty());

  // Wrapping below address 0.
  EXPECT_EQ(Pack(01000, Zeros(100), Options().Work(0100)).error, PackError::WorkAreaOutside);
  // A program high in memory whose area after it would cross 0200000.
  EXPECT_EQ(Pack(0170000, Noise(8000, 8), Options().Work(0)).error, PackError::WorkAreaOutside);

  // No default area is free when the program covers all three.
  const auto covered = Pack(04000, Noise(30720, 9));
  EXPECT_EQ(covered.error, PackError::NoWorkArea);
  EXPECT_EQ(covered.steps, 8);
}

// A file at `load` whose stack words from `from` up to 0776 hold `fill`.
Bytes StackImage(uint16_t load, uint16_t from, uint16_t fill, size_t above) {
  Bytes data = Noise(01000 - load + above, load);
  for (uint16_t address = load; address < 01000; address += 2) {
    PutWord(data, address - load, address >= from ? fill : 0);
  }
  return data;
}

TEST(DorvikImage, AutostartWordsPointAtTheStub) {
  const Bytes data = StackImage(0120, 0744, 02000, 3000);
  const auto packed = Pack(0120, data);
  ASSERT_TRUE(packed.ok());
  EXPECT_EQ(packed.startAddress, 02000);
  // From two below the run's top downward the words become 01000; the top
  // word keeps 02000; below the run nothing changes.
  for (uint16_t address = 0120; address < 01000; address += 2) {
    const uint16_t expected = address == 0776 ? 02000 : address >= 0744 ? 01000 : 0;
    EXPECT_EQ(WordAt(packed.image, address - 0120), expected) << std::oct << address;
  }
  // The stub sits at 01000 and finally jumps to 02000.
  EXPECT_EQ(WordAt(packed.image, 01000 - 0120), 0010704);
  EXPECT_EQ(Unpack(0120, packed.image).startAddress, 02000);
}

TEST(DorvikImage, NoAutostartAddressLeavesTheStackAlone) {
  const Bytes data = StackImage(0400, 0744, 01000, 500);
  const auto packed = Pack(0400, data);
  ASSERT_TRUE(packed.ok());
  EXPECT_EQ(packed.startAddress, 01000);
  EXPECT_EQ(Bytes(packed.image.begin(), packed.image.begin() + 0400),
            Bytes(data.begin(), data.begin() + 0400));
  EXPECT_EQ(Unpack(0400, packed.image).startAddress, 01000);
}

TEST(DorvikImage, SingleWordAutostartRunRewritesTheWordBelow) {
  Bytes data = StackImage(0400, 0776, 0, 500);
  data[0744 - 0400 + 1] = 04;  // 02000 at 0744 only
  data[0742 - 0400] = 0x55;    // the word below it
  const auto packed = Pack(0400, data);
  EXPECT_EQ(WordAt(packed.image, 0744 - 0400), 02000);
  EXPECT_EQ(WordAt(packed.image, 0742 - 0400), 01000);
}

TEST(DorvikImage, PackingLimitCountsTheWholeInput) {
  EXPECT_TRUE(Pack(01000, Zeros(30720)).ok());
  EXPECT_TRUE(Pack(01000, Zeros(30719)).ok());
  EXPECT_TRUE(Pack(0400, Zeros(30720)).ok());

  const auto refused = Pack(01000, Noise(30721, 10));
  EXPECT_EQ(refused.error, PackError::TooBig);
  EXPECT_EQ(refused.steps, 0);
  EXPECT_TRUE(refused.image.empty());
}

TEST(DorvikImage, InputsWithoutAWorkingImageAreRefused) {
  const struct {
    uint16_t load;
    size_t length;
    PackError error;
  } cases[] = {
      {01000, 0, PackError::NothingToPack},    {0400, 0400, PackError::NothingToPack},
      {0776, 1, PackError::NothingToPack},     {0777, 100, PackError::OddLoadAddress},
      {01001, 100, PackError::OddLoadAddress},
  };
  for (const auto& test : cases) {
    const auto packed = Pack(test.load, Zeros(test.length));
    EXPECT_EQ(packed.error, test.error) << std::oct << test.load;
    EXPECT_EQ(packed.steps, 0);
  }
  EXPECT_TRUE(Pack(0776, Zeros(3)).ok());  // one word at 01000
}

// An image that would wrap round past 0177777 from its load address.
TEST(DorvikImage, ImagePastTheAddressSpaceIsRefused) {
  const auto high = Pack(0177000, Noise(512, 7));
  EXPECT_EQ(high.error, PackError::ImagePastTop);
  EXPECT_EQ(high.steps, 10);
  EXPECT_EQ(high.imageEnd, 0200242u);
  EXPECT_TRUE(high.image.empty());
}

}  // namespace

}  // namespace dorvik
