// Facts of the Sokol format that the packer, the PC unpacker and the proof
// all rely on (docs/formats.md describes the format in full). Each reads
// them in its own way: nothing here decides how to pack or unpack.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sokol {

// The decoders an image can carry. Each reads its own form of the stream
// (docs/formats.md, "Decoders"): how many repeat offsets it keeps, whether
// literal bytes may come from a table that the image carries, and whether
// it reads bits inline for speed or through one subroutine for size.
enum class Decoder : uint8_t {
  Tiny,          // one repeat offset
  Compact,       // two repeat offsets
  CompactTable,  // two repeat offsets, a literal table of 32
  Fast,          // three repeat offsets, bits read inline
  FastTable,     // three repeat offsets, a literal table of 32, bits read inline
  FastNibbles,   // three repeat offsets, a literal table of 16, bits read inline
};
constexpr int kDecoderCount = 6;

// How literal bytes are coded: as they are, or each after a flag bit, 1 for
// an entry of the image's table: a 5-bit index in the bit groups for a
// table of 32, or a nibble of an index byte for a table of 16 (an index
// byte holds two: the low nibble, then the high one for the next literal
// from the table).
enum class Literals : uint8_t { Bytes, TableBits, TableNibbles };

struct StreamForm {
  int repeats = 3;  // repeat offsets kept: 1, 2 or 3
  Literals literals = Literals::Bytes;
};

constexpr StreamForm FormOf(Decoder decoder) {
  switch (decoder) {
    case Decoder::Tiny: return {1, Literals::Bytes};
    case Decoder::Compact: return {2, Literals::Bytes};
    case Decoder::CompactTable: return {2, Literals::TableBits};
    case Decoder::Fast: return {3, Literals::Bytes};
    case Decoder::FastTable: return {3, Literals::TableBits};
    case Decoder::FastNibbles: return {3, Literals::TableNibbles};
  }
  return {};
}

// The repeat offsets at the start, most recent first. Offset 0 means not
// set: a stream may not copy from it.
constexpr uint16_t kInitialRepeats[3] = {0, 2, 4};

// The offset of a new match, offset = (high - 1) * 128 + low: high is a
// gamma code from 1 to 256, low the top seven bits of the offset byte, whose
// bit 0 is the first bit of the length's gamma code; offset 0 is not one.
// With even offsets the same code gives offset / 2.
constexpr uint32_t kOffsetLowBits = 7;
constexpr uint32_t kLargestOffsetCode = 32767;
// The largest high part of an offset, and the end of the stream: a new
// offset whose high part is the gamma value after it.
constexpr uint32_t kLargestOffsetHigh = 256;
constexpr uint32_t kEndMarkerHigh = kLargestOffsetHigh + 1;

// A program's image below 01000 whose stack words the autostart rules
// cannot give back records them after its CRC, in three words: how many
// words pointing its autostart words at 01000 changed, the address of the
// topmost, and its value in the file; the ones below it held the start
// address.
constexpr size_t kStackRecordSize = 6;

// Literal tables: 32 bytes with 5-bit indices (most significant bit
// first), or 16 with nibbles.
constexpr int kLiteralTableSize = 32;
constexpr int kLiteralIndexBits = 5;
constexpr int kNibbleTableSize = 16;
constexpr int kNibbleIndexBits = 4;
constexpr int TableSizeOf(Literals literals) {
  return literals == Literals::TableBits ? kLiteralTableSize : literals == Literals::TableNibbles ? kNibbleTableSize : 0;
}

}  // namespace sokol
