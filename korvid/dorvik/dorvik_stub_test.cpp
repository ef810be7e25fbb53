#include "dorvik/dorvik_stub.h"

#include <gtest/gtest.h>

#include <map>

namespace dorvik {

namespace {

uint16_t Word(uint16_t offset) { return kStub.at(offset / 2); }

TEST(kStub, Is0222BytesWithTheShortFormStartingAtMovPcR4) {
  EXPECT_EQ(sizeof kStub, 0222u);
  EXPECT_EQ(kStubSize, 0222);
  EXPECT_EQ(Word(kShortStubSkip), 0010704);      // MOV PC, R4
  EXPECT_EQ(Word(stub::kDeltaListPc), 0062704);  // ADD #n, R4
  EXPECT_EQ(stub::kDeltaListDisplacement, stub::kDeltaListPc + 2);
  // MOV PC, R4 leaves 024 in R4; the delta list follows the stub and the bitmap.
  EXPECT_EQ(stub::kDeltaListPc + Word(stub::kDeltaListDisplacement), kStubSize + kCodeBitmapSize);
}

TEST(kStub, HoldsTheWordsThatRecognitionCompares) {
  const std::map<uint16_t, uint16_t> recognised = {
      {0130, 0000113}, {0132, 0114044}, {0134, 0077202}, {0136, 0062704},
      {0166, 0010144}, {0170, 0000410}, {0172, 0005300}, {0174, 0111044},
      {0176, 0114044}, {0200, 0000760}, {0202, 0114002}, {0204, 0011444},
      {0206, 0105302}, {0210, 0001375}, {0212, 0020400}, {0214, 0001352}};
  for (uint16_t offset = stub::kRecognisedFirst; offset < stub::kRecognisedFirstEnd; offset += 2) {
    EXPECT_EQ(Word(offset), recognised.at(offset)) << offset;
  }
  for (uint16_t offset = stub::kRecognisedSecond; offset < stub::kRecognisedSecondEnd;
       offset += 2) {
    EXPECT_EQ(Word(offset), recognised.at(offset)) << offset;
  }
  // The long form is told apart by its absolute addresses.
  EXPECT_EQ(Word(stub::kSystemLengthA), kSystemLengthAddressA);
  EXPECT_EQ(Word(stub::kSystemLengthB), kSystemLengthAddressB);
  EXPECT_EQ(Word(stub::kChecksum + 2), kSystemChecksumAddress);
  EXPECT_EQ(Word(stub::kExit), kOpRtsPc);
}

TEST(kStub, TemplateWordsAndTheCopiedLoop) {
  EXPECT_EQ(Word(stub::kTableEnd), 0001000);  // + workStart + 070: end of the table
  EXPECT_EQ(Word(stub::kTableStart), 0);
  EXPECT_EQ(Word(stub::kStreamAdvance), 0130);   // offset 0262 minus offset 0132
  EXPECT_EQ(Word(stub::kTableIndexBase), 0400);  // slot 128 of the table
  // MOV #34, R2 copies 034 words: offsets 0132 to the end, the work area's loop.
  EXPECT_EQ(Word(0112), 034);
  EXPECT_EQ(2 * Word(0112), kStubSize - stub::kLoopStart);
  EXPECT_EQ(2 * Word(0112), kWorkLoopSize);
  EXPECT_EQ(kWorkAreaSize, 01070);
}

// Every branch and SOB lands where the annotated table says.
TEST(kStub, BranchesReachTheirDocumentedTargets) {
  const std::map<uint16_t, uint16_t> targets = {
      {052, 0100},  {062, 074},   {0100, 046},  {0106, 040},  {0116, 0114},
      {0134, 0132}, {0152, 0174}, {0156, 0202}, {0160, 0172}, {0170, 0212},
      {0200, 0142}, {0210, 0204}, {0214, 0142}};
  for (const auto& [offset, target] : targets) {
    const uint16_t word = Word(offset);
    int reached;
    if ((word & 0177000) == 0077000) {  // SOB: backward by the low six bits
      reached = offset + 2 - 2 * (word & 077);
    } else {  // branch: signed 8-bit word displacement
      reached = offset + 2 + 2 * static_cast<int8_t>(word & 0377);
    }
    EXPECT_EQ(reached, target) << "branch at " << offset;
  }
}

}  // namespace

}  // namespace dorvik
