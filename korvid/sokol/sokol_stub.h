// The PDP-11 code of a Sokol image: the set-up code at the load address and
// the decoder block that the set-up code copies below the caller's stack,
// one of six (sokol_format.h). sokol_stub.cpp holds them as tables, one row
// per instruction.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sokol/sokol_format.h"

namespace sokol {

constexpr size_t kSetupSize = 32;  // bytes at the load address
constexpr size_t kCrcSize = 2;     // the data's CRC-16, read by the PC unpacker only

// Patched words of the set-up code (byte offsets from the load address).
constexpr size_t kSetupBlockEnd = 002;     // MOV #blockEnd, R4
constexpr size_t kSetupBlockWords = 006;   // MOV #words, R3: the decoder block's length
constexpr size_t kSetupDestEnd = 016;      // MOV #destinationEnd, R1
constexpr size_t kSetupStreamWords = 022;  // MOV #words, R5
constexpr size_t kSetupLoadAddress = 032;  // MOV #loadAddress, R2
constexpr size_t kSetupEntry = 036;        // JMP entry(SP)

extern const std::array<uint16_t, kSetupSize / 2> kSetupCode;

// What a decoder block runs, in PDP-11 instructions: how the packer weighs
// a decoder's speed (the tests hold it to the PDP-11 model's count). A bit
// costs its site's `read` (with the branch on it, for selector bits), and
// `load` more when it loads the next group, each by the bit's value.
struct BitSite {
  uint8_t read[2];
  uint8_t load[2];
};

struct DecoderTiming {
  BitSite afterMatch;     // the first selector bit after a match
  BitSite afterLiterals;  // the first selector bit after literals
  BitSite matchKind;      // new offset or repeat offset
  BitSite repeatKind;     // repeat offset 1 or 2
  BitSite gammaFirst;     // a gamma code's first flag, read by the gamma routine
  BitSite gammaData;      // a bit below a gamma value's leading one
  BitSite gammaFlag;      // a gamma code's further flags
  BitSite literalFlag;    // table or stream, before each literal
  BitSite literalIndex;   // each of a table index's bits
  uint8_t gammaCall;      // per gamma code, besides its bits
  uint8_t gammaPair;      // per bit below the leading one, besides the bits
  uint8_t rawLiteral;     // per literal from the stream, besides its flag
  uint8_t tableLiteral;   // per literal from the table, besides its bits
  uint8_t tableRunEnd;    // once more when a run ends with a literal from the table
  uint8_t repeatMatch[3];  // per match, besides selectors, its gamma code and 2 per byte
  uint8_t newMatch;
  uint8_t end;            // the end marker, besides its selector and gamma code
};

// A decoder block. Its words are those of a program-mode block with start
// address 0, an empty literal table and offsets that need not be even.
struct DecoderBlock {
  const uint16_t* code;
  size_t size;   // bytes
  size_t entry;  // where the set-up code jumps in: the first literal run,
  size_t next;   // or, for no data, the selector read after a match
  size_t even;   // kOddOffsets, or kEvenOffsets when offsets are even
  size_t table;  // the literal table (kLiteralTableSize bytes), 0 when there is none
  // The data's CRC-16 is the block's last word (which MARK 0 pops), else
  // the word after the block.
  bool crcIsLastWord;
  DecoderTiming timing;
  size_t Crc() const { return crcIsLastWord ? size - 2 : size; }
  // The exit: MOV ..., R5 and MARK n, then the block's last word (a repeat
  // offset, or the CRC), which MARK 0 pops.
  size_t Exit() const { return size - 8; }
};

const DecoderBlock& BlockOf(Decoder decoder);

// Instructions of the set-up code: the two copy loops and six more.
inline uint64_t SetupInstructions(size_t blockWords, size_t streamWords) {
  return 6 + 2 * (blockWords + streamWords);
}

// The word at DecoderBlock::even.
constexpr uint16_t kOddOffsets = 000240;   // NOP
constexpr uint16_t kEvenOffsets = 006303;  // ASL R3: the new offset doubled

// The exit's forms: program mode loads the start address into R5 and
// marks no argument words; data mode loads the caller's return address (the
// word just above the block) and marks one, which RTS PC would pop.
constexpr uint16_t kExitProgramLoad = 012705;  // MOV #start, R5
constexpr uint16_t kExitDataLoad = 016705;     // MOV 4(PC), R5
constexpr uint16_t kExitDataOperand = 4;
constexpr uint16_t kExitProgramMark = 006400;  // MARK 0
constexpr uint16_t kExitDataMark = 006401;     // MARK 1

}  // namespace sokol
