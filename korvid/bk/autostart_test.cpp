// The stack image of files that load below 01000: the autostart words
// pointed at 01000 when packing, and given back when unpacking.
#include "bk/autostart.h"

#include <gtest/gtest.h>

#include "support/bk_bytes.h"

namespace {

// The stack image of a file at `load`: `below` from the load address up to
// `from`, `fill` from there up to 01000.
Bytes Stack(uint16_t load, uint16_t from, uint16_t fill, uint16_t below = 0) {
  Bytes stack(01000u - load);
  for (uint16_t address = load; address < 01000; address += 2) {
    PutWord(stack, address - load, address >= from ? fill : below);
  }
  return stack;
}

TEST(Autostart, RedirectPointsTheRunAtTheUnpackerAndKeepsItsTopWord) {
  const RedirectedStack redirected = RedirectAutostart(Stack(0400, 0744, 02000, 7));
  EXPECT_EQ(redirected.startAddress, 02000);
  for (uint16_t address = 0400; address < 01000; address += 2) {
    const uint16_t expected = address == 0776 ? 02000 : address >= 0744 ? 01000 : 7;
    EXPECT_EQ(WordAt(redirected.stack, address - 0400), expected) << std::oct << address;
  }
}

TEST(Autostart, RedirectWithoutAnAutostartAddressChangesNothing) {
  for (const uint16_t word : std::initializer_list<uint16_t>{0, 0500, 01000}) {
    const Bytes stack = Stack(0400, 0744, word, 3);
    const RedirectedStack redirected = RedirectAutostart(stack);
    EXPECT_EQ(redirected.startAddress, 01000) << word;
    EXPECT_EQ(redirected.stack, stack) << word;
  }
  const RedirectedStack none = RedirectAutostart({});
  EXPECT_EQ(none.startAddress, 01000);
  EXPECT_TRUE(none.stack.empty());
}

TEST(Autostart, RedirectOfASingleWordCostsTheWordBelowIt) {
  Bytes stack = Stack(0400, 01000, 0, 0);
  PutWord(stack, 0744 - 0400, 02000);
  PutWord(stack, 0742 - 0400, 055);
  const RedirectedStack redirected = RedirectAutostart(stack);
  EXPECT_EQ(WordAt(redirected.stack, 0744 - 0400), 02000);
  EXPECT_EQ(WordAt(redirected.stack, 0742 - 0400), 01000);
  // Given back, that word holds the start address: what it held is lost.
  EXPECT_EQ(WordAt(RestoreAutostart(redirected.stack, 02000), 0742 - 0400), 02000);
}

// Every load address from 0 to 0776 with runs up to 01000 from everywhere
// at or below the autostart word: RestoreAutostart gives back the stack
// image that packing started from.
TEST(Autostart, RestoreUndoesRedirectAtEveryLoadAddressAndRunLength) {
  int checked = 0;
  for (uint16_t load = 0; load < 01000; load += 2) {
    const uint16_t probe = load > kAutostartWord ? load : kAutostartWord;
    for (uint16_t from = load; from <= probe; from += 2) {
      const Bytes stack = Stack(load, from, 037700, 0123);
      const RedirectedStack redirected = RedirectAutostart(stack);
      ASSERT_EQ(redirected.startAddress, 037700);
      ASSERT_NE(redirected.stack, stack);
      EXPECT_EQ(RestoreAutostart(redirected.stack, 037700), stack)
          << std::oct << load << " " << from;
      ++checked;
    }
  }
  EXPECT_GT(checked, 1000);
}

TEST(Autostart, RestoreLeavesTheFirstWordThatPackingNeverTouches) {
  // 01000 in the file's first word, the start address from the second up:
  // packing points the run down to the second word, and only that far back.
  Bytes stack = Stack(0400, 0402, 02000);
  PutWord(stack, 0, 01000);
  const RedirectedStack redirected = RedirectAutostart(stack);
  EXPECT_EQ(WordAt(redirected.stack, 0), 01000);
  EXPECT_EQ(WordAt(redirected.stack, 2), 01000);
  EXPECT_EQ(RestoreAutostart(redirected.stack, 02000), stack);
}

TEST(Autostart, RestoreLeavesWhatThePackerDidNotWrite) {
  // The start address 01000 was never redirected; a stack without the
  // packer's pattern stays as it is.
  const Bytes plain = Stack(0400, 0744, 01000, 5);
  EXPECT_EQ(RestoreAutostart(plain, 01000), plain);
  const Bytes other = Stack(0400, 0744, 04000, 5);
  EXPECT_EQ(RestoreAutostart(other, 02000), other);
  EXPECT_TRUE(RestoreAutostart({}, 02000).empty());
}

TEST(Autostart, FitStartAddressDecidesByTheAutostartWord) {
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
      {"probe holds the start",
       0740,
       {5, 0, 02000, 02000, 02000, 02000, 02000, 02000, 02000, 02000, 02000, 02000, 02000, 02000,
        02000, 02000},
       02000,
       StartAddressFit::Carried,
       {5, 0, 02000, 02000, 02000, 02000, 02000, 02000, 02000, 02000, 02000, 02000, 02000, 02000,
        02000, 02000}},
      // The run of 01000 around the probe, and only that run, takes the start.
      {"run of 01000",
       0740,
       {01000, 7, 01000, 01000, 01000, 9, 01000, 01000, 01000, 01000, 01000, 01000, 01000, 01000,
        01000, 01000},
       037700,
       StartAddressFit::Restored,
       {01000, 7, 037700, 037700, 037700, 9, 01000, 01000, 01000, 01000, 01000, 01000, 01000, 01000,
        01000, 01000}},
      {"first word is the probe",
       0770,
       {01000, 01000, 01000, 4},
       04000,
       StartAddressFit::Restored,
       {04000, 04000, 04000, 4}},
      {"no autostart, start 01000",
       0740,
       {0, 0, 0500, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       01000,
       StartAddressFit::Carried,
       {0, 0, 0500, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"autostart elsewhere, start 01000",
       0740,
       {0, 0, 02000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       01000,
       StartAddressFit::Lost,
       {0, 0, 02000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"no autostart, start elsewhere",
       0740,
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       02000,
       StartAddressFit::Lost,
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    const FittedStart fitted = FitStartAddress(BytesOfWords(c.stack), c.load, c.start);
    EXPECT_EQ(fitted.fit, c.fit) << c.name;
    EXPECT_EQ(fitted.stack, BytesOfWords(c.after)) << c.name;
  }
}

}  // namespace
