// DorvikStub: the PDP-11 self-extractor that every Dorvik image carries in
// front of its code table and packed stream.
//
//   size      146 bytes (73 words); the short form leaves out the first 18
//   entry     at its first word, wherever it was loaded: it finds its own
//             tables through PC, so it needs no relocation
//   work area 568 bytes from workStart: 56 bytes receive a copy of the
//             decoding loop (offsets 90..145), 512 bytes the 256-word code
//             table, one entry per slot (code byte XOR 0x80)
//   exit      JMP n(R0) to the program's start address, or RTS PC in data
//             mode; R0..R5 are destroyed, the stack is not touched
//   long form first leaves the input length at 0266 and 0350 and the
//             checksum at 0312, in the BK's system area
//
// Offsets below are byte offsets from the stub's first word (long form).
#pragma once

#include <array>
#include <cstdint>

constexpr int kDorvikStubWords = 73;
constexpr uint16_t kDorvikStubSize = 2 * kDorvikStubWords;  // 146
extern const std::array<uint16_t, kDorvikStubWords> DorvikStub;

// Bytes of the stub left out of the image: the short form starts at MOV PC, R4.
constexpr uint16_t kLongStubSkip = 0;
constexpr uint16_t kShortStubSkip = 18;

// Patched words (byte offsets). "Operand" words are replaced; "template"
// words get a value added to the word that DorvikStub holds.
namespace stub {
constexpr uint16_t kInputLength = 2;            // operand: inputLength (long form)
constexpr uint16_t kSystemLengthA = 6;          // absolute address 0266
constexpr uint16_t kSystemLengthB = 10;         // absolute address 0350
constexpr uint16_t kChecksum = 14;              // operand: checksum (long form)
constexpr uint16_t kDeltaListDisplacement = 22; // ADD #236, R4: delta list is PC + 236
constexpr uint16_t kTableEnd = 28;              // template 001000 += workStart + 56
constexpr uint16_t kOneByteBias = 48;           // operand: oneByteBias
constexpr uint16_t kTwoByteBias = 58;           // operand: twoByteBias
constexpr uint16_t kTableStart = 68;            // template 0 += workStart + 56
constexpr uint16_t kStreamAdvance = 82;         // template 000130 += tableLength + streamLength
constexpr uint16_t kHeaderLength = 86;          // operand: headerLength
constexpr uint16_t kLoopStart = 90;             // first byte copied to the work area
constexpr uint16_t kPackedLength = 96;          // operand: 2 * wordCount
constexpr uint16_t kTableIndexBase = 104;       // template 000400 += workStart + 56
constexpr uint16_t kBasePlusOne = 116;          // operand: base + 1
constexpr uint16_t kExit = 142;                 // RTS PC, or JMP n(R0) for a program
constexpr uint16_t kStartDisplacement = 144;    // operand of JMP n(R0)

// Words that recognition compares: the move loop and the tail of the decoder.
constexpr uint16_t kRecognisedFirst = 88;
constexpr uint16_t kRecognisedFirstEnd = 96;    // 4 words: 88, 90, 92, 94
constexpr uint16_t kRecognisedSecond = 118;
constexpr uint16_t kRecognisedSecondEnd = 142;  // 12 words: 118 .. 140
}  // namespace stub

// Instructions that word 142 may hold.
constexpr uint16_t kOpRtsPc = 0000207;         // data mode: return to the caller
constexpr uint16_t kOpJmpIndexedR0 = 0000160;  // program: JMP n(R0)
constexpr uint16_t kOpJmpAbsolute = 0000137;   // JMP @#n: n is the start address itself
constexpr uint16_t kOpJsrPcAbsolute = 0004737; // JSR PC, @#n: likewise

// Where the long form leaves the input length and checksum.
constexpr uint16_t kSystemLengthAddressA = 0266;
constexpr uint16_t kSystemChecksumAddress = 0312;
constexpr uint16_t kSystemLengthAddressB = 0350;

// The stub's work area: the copied decoding loop, then the code table.
constexpr uint16_t kWorkLoopSize = 56;
constexpr uint16_t kWorkAreaSize = 01070;  // 568 bytes
