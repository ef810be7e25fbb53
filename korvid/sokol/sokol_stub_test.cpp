// The Sokol stub tables: their sizes, and the words that the packer patches
// and the unpacker recognises, where the other code expects them.
#include <gtest/gtest.h>

#include "sokol/sokol_stub.h"

namespace {

TEST(SokolStub, SizesAndTheCopyCount) {
  EXPECT_EQ(sokol::kSetupCode.size() * 2, sokol::kSetupSize);
  EXPECT_EQ(sokol::kBlockCode.size() * 2, sokol::kBlockSize);
  EXPECT_LE(sokol::kStubSize, 200u);
  // MOV #n, R3 before the copy loop: the block's length in words.
  EXPECT_EQ(sokol::kSetupCode[2], 012703);
  EXPECT_EQ(sokol::kSetupCode[3], sokol::kBlockSize / 2);
  // JMP n(SP) at the end of the set-up code: into the block at its entry.
  EXPECT_EQ(sokol::kSetupCode[14], 000166);
  EXPECT_EQ(sokol::kSetupCode[15], sokol::kBlockEntry);
}

TEST(SokolStub, PatchedWordsAreOperandsOfTheirInstructions) {
  // Each patched set-up word is the immediate of a MOV #n, Rk.
  EXPECT_EQ(sokol::kSetupCode[sokol::kSetupBlockEnd / 2 - 1], 012704);
  EXPECT_EQ(sokol::kSetupCode[sokol::kSetupDestEnd / 2 - 1], 012701);
  EXPECT_EQ(sokol::kSetupCode[sokol::kSetupStreamWords / 2 - 1], 012705);
  EXPECT_EQ(sokol::kSetupCode[sokol::kSetupLoadAddress / 2 - 1], 012702);
  // The exit: MOV #start, R5 and MARK 0 in the template, then the word that
  // MARK 0 pops, the block's last.
  EXPECT_EQ(sokol::kBlockCode[sokol::kBlockExit / 2], sokol::kExitProgramLoad);
  EXPECT_EQ(sokol::kBlockCode[sokol::kBlockExit / 2 + 2], sokol::kExitProgramMark);
  EXPECT_EQ(sokol::kBlockExit + 8, sokol::kBlockSize);
  // Data mode's MOV 4(PC), R5 sits 8 bytes below the block's end: PC + 4 is
  // the word just above the block, the caller's return address.
  EXPECT_EQ(sokol::kBlockSize - sokol::kBlockExit - 4, sokol::kExitDataOperand + 0u);
  // Repeat offsets 1 and 2 start in the block; offset 0 is R3, which the
  // set-up code's copy loop leaves at 0.
  EXPECT_EQ(sokol::kBlockCode[sokol::kBlockRep1 / 2], sokol::kInitialRepeats[1]);
  EXPECT_EQ(sokol::kBlockCode[sokol::kBlockRep2 / 2], sokol::kInitialRepeats[2]);
  EXPECT_EQ(sokol::kInitialRepeats[0], 0);
  EXPECT_EQ(sokol::kSetupCode[5], 077302);  // SOB R3
}

}  // namespace
