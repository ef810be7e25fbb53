// The Sokol stub tables: their sizes, and the words that the packer patches
// and the unpacker recognises, where the other code expects them. (That
// each block runs as its timing says is the model tests'.)
#include <gtest/gtest.h>

#include "sokol/sokol_stub.h"

namespace {

TEST(SokolStub, PatchedSetupWordsAreOperandsOfTheirInstructions) {
  EXPECT_EQ(sokol::kSetupCode.size() * 2, sokol::kSetupSize);
  // Each patched set-up word is the immediate of a MOV #n, Rk, or the index
  // of the JMP n(SP) into the block.
  EXPECT_EQ(sokol::kSetupCode[sokol::kSetupBlockEnd / 2 - 1], 012704);
  EXPECT_EQ(sokol::kSetupCode[sokol::kSetupBlockWords / 2 - 1], 012703);
  EXPECT_EQ(sokol::kSetupCode[sokol::kSetupDestEnd / 2 - 1], 012701);
  EXPECT_EQ(sokol::kSetupCode[sokol::kSetupStreamWords / 2 - 1], 012705);
  EXPECT_EQ(sokol::kSetupCode[sokol::kSetupLoadAddress / 2 - 1], 012702);
  EXPECT_EQ(sokol::kSetupCode[sokol::kSetupEntry / 2 - 1], 000166);
  EXPECT_EQ(sokol::kSetupEntry + 2, sokol::kSetupSize);
  EXPECT_EQ(sokol::kSetupCode[5], 077302);  // SOB R3: leaves R3, repeat offset 0, at 0
}

TEST(SokolStub, EveryBlockKeepsTheContract) {
  for (int d = 0; d < sokol::kDecoderCount; ++d) {
    SCOPED_TRACE("decoder " + std::to_string(d));
    const sokol::DecoderBlock& block = sokol::BlockOf(static_cast<sokol::Decoder>(d));
    auto word = [&](size_t offset) { return block.code[offset / 2]; };
    ASSERT_EQ(block.size % 2, 0u);
    // JSR PC,(SP) reads a bit: GETBIT first; JSR PC,4(SP) loads a group.
    EXPECT_EQ(word(0), 0106305);  // ASLB R5
    EXPECT_EQ(word(4), 0112105);  // MOVB (R1)+, R5
    EXPECT_LT(block.entry, block.size);
    EXPECT_EQ(word(block.even), sokol::kOddOffsets);
    // The exit: MOV #start, R5 and MARK 0 in the table, then the block's
    // last word; data mode's MOV 4(PC), R5 reads the word just above the block.
    EXPECT_EQ(word(block.Exit()), sokol::kExitProgramLoad);
    EXPECT_EQ(word(block.Exit() + 4), sokol::kExitProgramMark);
    EXPECT_EQ(block.size - block.Exit() - 4, sokol::kExitDataOperand + 0u);
    const int tableSize = sokol::TableSizeOf(sokol::FormOf(static_cast<sokol::Decoder>(d)).literals);
    if (tableSize != 0) {
      EXPECT_LE(block.table + tableSize, block.Exit());
      for (int i = 0; i < tableSize; i += 2) EXPECT_EQ(word(block.table + i), 0);
    }
    // The CRC is the tiny block's last word, else the word after the block.
    EXPECT_EQ(block.Crc(), block.crcIsLastWord ? block.size - 2 : block.size);
  }
  EXPECT_TRUE(sokol::BlockOf(sokol::Decoder::Tiny).crcIsLastWord);
}

}  // namespace
