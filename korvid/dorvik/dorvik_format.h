// The Dorvik image format in one place, for the packer, the unpacker and
// the proof (docs/formats.md, "Dorvik"): the stub's size and forms, the
// words the packer patches, the tables after the stub and the memory the
// stub uses. The stub's code itself is in dorvik_stub.cpp.
//
//   size      0222 bytes (0111 words); the short form leaves out the first 022
//   entry     at its first word, wherever it was loaded: it finds its own
//             tables through PC, so it needs no relocation
//   work area 01070 bytes from workStart: 070 bytes receive a copy of the
//             decoding loop (offsets 0132..0221), 01000 bytes the 256-word
//             code table, one entry per slot (code byte XOR 0200)
//   exit      JMP n(R0) to the program's start address, or RTS PC in data
//             mode; R0..R5 are destroyed, the stack is not touched
//   long form first leaves the input length at 0266 and 0350 and the
//             checksum at 0312, in the BK's system area
//
// Offsets below are byte offsets from the stub's first word (long form).
#pragma once

#include <cstdint>

namespace dorvik {

constexpr int kStubWords = 0111;
constexpr uint16_t kStubSize = 2 * kStubWords;  // 0222

// Bytes of the stub left out of the image: the short form starts at MOV PC, R4.
constexpr uint16_t kLongStubSkip = 0;
constexpr uint16_t kShortStubSkip = 022;

// After the stub: the code bitmap, one bit per slot (slot = code byte XOR
// 0200), then the delta list, one or two bytes per code byte.
constexpr uint16_t kCodeBitmapSize = 040;
constexpr uint16_t kLongestDeltaList = 2 * 256;

// What a code table entry means: no code byte (the byte is the high byte of
// a plain word), a run group, an escaped plain word; any other value is a
// dictionary word less `base`.
constexpr uint16_t kPlainValue = 0;
constexpr uint16_t kRunValue = 1;
constexpr uint16_t kEscapeValue = 0x8000;

// Patched words (byte offsets). "Operand" words are replaced; "template"
// words get a value added to the word that kStub holds.
namespace stub {
// clang-format off
constexpr uint16_t kInputLength = 02;            // operand: inputLength (long form)
constexpr uint16_t kSystemLengthA = 06;          // absolute address 0266
constexpr uint16_t kSystemLengthB = 012;         // absolute address 0350
constexpr uint16_t kChecksum = 016;              // operand: checksum (long form)
constexpr uint16_t kDeltaListPc = 024;           // what MOV PC, R4 leaves in R4: the ADD
constexpr uint16_t kDeltaListDisplacement = 026; // ADD #236, R4: delta list is PC + 236
constexpr uint16_t kTableEnd = 034;              // template 001000 += workStart + 070
constexpr uint16_t kOneByteBias = 060;           // operand: oneByteBias
constexpr uint16_t kTwoByteBias = 072;           // operand: twoByteBias
constexpr uint16_t kTableStart = 0104;           // template 0 += workStart + 070
constexpr uint16_t kStreamAdvance = 0122;        // template 000130 += tableLength + streamLength
constexpr uint16_t kHeaderLength = 0126;         // operand: headerLength
constexpr uint16_t kLoopStart = 0132;            // first byte copied to the work area
constexpr uint16_t kPackedLength = 0140;         // operand: 2 * wordCount
constexpr uint16_t kTableIndexBase = 0150;       // template 000400 += workStart + 070
constexpr uint16_t kBasePlusOne = 0164;          // operand: base + 1
constexpr uint16_t kExit = 0216;                 // RTS PC, or JMP n(R0) for a program
constexpr uint16_t kStartDisplacement = 0220;    // operand of JMP n(R0)

// Words that recognition compares: the move loop and the tail of the decoder.
constexpr uint16_t kRecognisedFirst = 0130;
constexpr uint16_t kRecognisedFirstEnd = 0140;   // 4 words: 0130 .. 0136
constexpr uint16_t kRecognisedSecond = 0166;
constexpr uint16_t kRecognisedSecondEnd = 0216;  // 12 words: 0166 .. 0214
// clang-format on
}  // namespace stub

// Instructions that word 0216 may hold.
constexpr uint16_t kOpRtsPc = 0000207;          // data mode: return to the caller
constexpr uint16_t kOpJmpIndexedR0 = 0000160;   // program: JMP n(R0)
constexpr uint16_t kOpJmpAbsolute = 0000137;    // JMP @#n: n is the start address itself
constexpr uint16_t kOpJsrPcAbsolute = 0004737;  // JSR PC, @#n: likewise

// Where the long form leaves the input length and checksum.
constexpr uint16_t kSystemLengthAddressA = 0266;
constexpr uint16_t kSystemChecksumAddress = 0312;
constexpr uint16_t kSystemLengthAddressB = 0350;

// The stub's work area: the copied decoding loop (offsets 0132 to the end),
// then the code table of 256 words.
constexpr uint16_t kWorkLoopSize = kStubSize - stub::kLoopStart;  // 070
constexpr uint16_t kCodeTableSize = 01000;
constexpr uint16_t kWorkAreaSize = kWorkLoopSize + kCodeTableSize;  // 01070

}  // namespace dorvik
