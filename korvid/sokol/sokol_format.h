// Facts of the Sokol format that the packer, the PC unpacker and the proof
// all rely on (docs/formats.md, "Sokol", describes the format in full). Each
// reads them in its own way: nothing here decides how to pack or unpack.
// The stub's code and its patched words are in sokol_stub.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sokol {

// The image: the set-up code at the load address, the stream, the decoder
// block and the trailer (the data length and its CRC-16).
constexpr size_t kSetupSize = 32;   // bytes at the load address
constexpr size_t kBlockSize = 168;  // bytes of the decoder block
constexpr size_t kTrailerSize = 4;  // data length and CRC-16, after the block
constexpr size_t kStubSize = kSetupSize + kBlockSize;

// The stack the image uses below the SP it is entered with: the decoder
// block, and two words of the subroutine calls it makes below the block.
constexpr uint32_t kStackUse = kBlockSize + 4;

// The block's exit: three words that say the mode (sokol_stub.h).
constexpr size_t kExitWords = 3;

// The repeat offsets at the start, most recent first. Offset 0 means not
// set: the decoder starts with R3 = 0, and a stream may not copy from it.
constexpr uint16_t kInitialRepeats[3] = {0, 2, 4};

// The offset of a new match: offset - 1 = (high - 1) * 128 + low, with high
// as a gamma code and low as the top seven bits of the offset byte (its
// bit 0 is the first bit of the length's gamma code).
constexpr uint32_t kOffsetLowBits = 7;
// The largest high part an offset of the 16-bit address space needs.
constexpr uint32_t kLargestOffsetHigh = (0xFFFFu >> kOffsetLowBits) + 1;
// The end of the stream: a new-offset selector whose high part is this
// gamma value (15 bits below the leading one, so no offset has it).
constexpr uint32_t kEndMarkerHigh = 0xFFFF;
// The reader's bound on a gamma value: 17 bits, more than any length or
// high part needs; a longer code is damage.
constexpr uint32_t kLargestGamma = 0x1FFFF;

}  // namespace sokol
