#include "dorvik/dorvik_stub.h"

#include <gtest/gtest.h>

#include <map>

namespace {

uint16_t Word(uint16_t offset) { return DorvikStub.at(offset / 2); }

TEST(DorvikStub, Is146BytesWithTheShortFormStartingAtMovPcR4) {
  EXPECT_EQ(sizeof DorvikStub, 146u);
  EXPECT_EQ(kDorvikStubSize, 146);
  EXPECT_EQ(Word(kShortStubSkip), 0010704);  // MOV PC, R4
  EXPECT_EQ(Word(20), 0062704);              // ADD #n, R4
  // PC at the ADD's operand is offset 20; offset 178 is the delta list.
  EXPECT_EQ(Word(stub::kDeltaListDisplacement), 178 - 20);
}

TEST(DorvikStub, HoldsTheWordsThatRecognitionCompares) {
  const std::map<uint16_t, uint16_t> recognised = {
      {88, 0000113},  {90, 0114044},  {92, 0077202},  {94, 0062704},  {118, 0010144},
      {120, 0000410}, {122, 0005300}, {124, 0111044}, {126, 0114044}, {128, 0000760},
      {130, 0114002}, {132, 0011444}, {134, 0105302}, {136, 0001375}, {138, 0020400},
      {140, 0001352}};
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
  EXPECT_EQ(Word(16), kSystemChecksumAddress);
  EXPECT_EQ(Word(stub::kExit), kOpRtsPc);
}

TEST(DorvikStub, TemplateWordsAndTheCopiedLoop) {
  EXPECT_EQ(Word(stub::kTableEnd), 0001000);  // + workStart + 56: end of the table
  EXPECT_EQ(Word(stub::kTableStart), 0);
  EXPECT_EQ(Word(stub::kStreamAdvance), 0130);  // offset 178 minus offset 90
  EXPECT_EQ(Word(stub::kTableIndexBase), 0400);  // slot 128 of the table
  // MOV #34, R2 copies 28 words: offsets 90 to the end, the work area's loop.
  EXPECT_EQ(Word(74), 034);
  EXPECT_EQ(2 * Word(74), kDorvikStubSize - stub::kLoopStart);
  EXPECT_EQ(2 * Word(74), kWorkLoopSize);
  EXPECT_EQ(kWorkAreaSize, kWorkLoopSize + 512);
}

// Every branch and SOB lands where the annotated table says.
TEST(DorvikStub, BranchesReachTheirDocumentedTargets) {
  const std::map<uint16_t, uint16_t> targets = {
      {42, 64},   {50, 60},   {64, 38},   {70, 32},   {78, 76},   {92, 90},  {106, 124},
      {110, 130}, {112, 122}, {120, 138}, {128, 98},  {136, 132}, {140, 98}};
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
