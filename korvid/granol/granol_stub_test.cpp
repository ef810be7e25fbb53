// The stub table is typed by hand from a listing: these tests check the
// words that unpackers rely on and that every branch, call and PC-relative
// operand in the table lands where the listing says.
#include "granol/granol_stub.h"

#include <gtest/gtest.h>

#include <string>

#include "bk/words.h"

namespace granol {

namespace {

uint16_t StubWord(size_t offset) { return ReadBkWord(kStub.data() + offset); }

TEST(kStub, SizeAndTheWordsThatFindTheParameters) {
  EXPECT_EQ(kStub.size(), 264u);
  EXPECT_EQ(StubWord(0), 032737);  // BIT #0, @#177716
  EXPECT_EQ(StubWord(4), 0177716);
  EXPECT_EQ(StubWord(010), 0352);  // word 4: parameters at (0352 + 030) / 2 = 0201
  EXPECT_EQ((StubWord(010) + 030) / 2, kLoadAddressWord);
  // The template's parameter words, extension bytes and spare word are zero.
  for (size_t offset = 0374; offset < 0410; ++offset) EXPECT_EQ(kStub[offset], 0) << offset;
}

TEST(kStub, TextFieldAndSignature) {
  const std::string text(kStub.begin() + 012, kStub.begin() + 034);
  for (char c : text) EXPECT_TRUE(c >= 040 && c < 0177) << "printable ASCII: " << text;
  EXPECT_EQ(std::string(kStub.begin() + 0362, kStub.begin() + 0374), "GRANOL7.2 ");
}

// Branch instructions: the target is the next word plus twice the signed
// 8-bit offset; SOB counts backwards with a 6-bit offset.
uint32_t BranchTarget(size_t at) {
  const uint16_t word = StubWord(at);
  if ((word & 0177000) == 077000) return static_cast<uint32_t>(at + 2 - 2 * (word & 077));
  return static_cast<uint32_t>(at + 2 + 2 * static_cast<int8_t>(word & 0377));
}

TEST(kStub, BranchesLandOnTheListedInstructions) {
  const std::pair<size_t, size_t> branches[] = {
      {0006, 0034}, {0102, 0154}, {0120, 0210}, {0150, 0136}, {0152, 0076}, {0160, 0224},
      {0176, 0210}, {0220, 0216}, {0222, 0076}, {0230, 0250}, {0246, 0134}, {0270, 0210},
      {0302, 0274}, {0310, 0352}, {0312, 0320}, {0326, 0334}};
  for (const auto& [at, target] : branches) EXPECT_EQ(BranchTarget(at), target) << "at " << at;
}

// JSR PC, X(PC) and the other PC-relative operands: the target is the
// offset word plus the address just after it.
TEST(kStub, CallsAndSelfPatchedOperandsAreConsistent) {
  const std::pair<size_t, size_t> calls[] = {{0076, 0306}, {0114, 0306}, {0126, 0272}, {0142, 0272},
                                             {0154, 0306}, {0172, 0306}, {0210, 0272}, {0224, 0306},
                                             {0236, 0272}, {0254, 0272}, {0274, 0306}};
  for (const auto& [at, target] : calls) {
    EXPECT_EQ(StubWord(at), 004767) << "JSR PC at " << at;
    EXPECT_EQ(at + 4 + StubWord(at + 2), target) << "call at " << at;
  }
  // The operands that the stub rewrites: the current stream word (0346),
  // the first stream word (0324) and the kept stack pointer (0354).
  EXPECT_EQ(0064 + StubWord(0062), 0346u);  // MOV R1, 346
  EXPECT_EQ(0070 + StubWord(0066), 0324u);  // MOV R2, 324
  EXPECT_EQ(0076 + StubWord(0074), 0354u);  // MOV SP, 354
  EXPECT_EQ(0324 + StubWord(0322), 0346u);  // CMP 346, #first
  EXPECT_EQ(0342 + StubWord(0340), 0346u);  // SUB #2, 346
  EXPECT_EQ(StubWord(0344), 013705);        // MOV @#(346), R5
  EXPECT_EQ(StubWord(0352), 012706);        // MOV #(354), SP
  // MOV PC, R2 at 0034 leaves 0036; adding 0344 reaches the parameter block.
  EXPECT_EQ(0036 + StubWord(0040), 2u * kLoadAddressWord);
}

}  // namespace

}  // namespace granol
