// The Granol image format in one place, for the packer, the unpacker and
// the stub (docs/formats.md, "Granol").
//
//   words 0..0200     kStub, with the extension bytes patched
//   words 0201..0203  the parameter block: load address, bytes from word
//                     0203 to the image end, packed length P
//   words 0204..      the stream words in the order the packer filled them
//   word  N-2         the last stream word (partly filled, or a full one)
//   word  N-1         how many bits of word N-2 are valid: 1..16
//
// The stream is read from its last word down to its first, each word from
// bit 0 upward; a field's first bit is its most significant.
#pragma once

#include <cstddef>
#include <cstdint>

namespace granol {

constexpr size_t kStubSize = 0410;  // 264 bytes
// The stub keeps the load address on the stack and calls its bit reader,
// which calls its word loader: three words below the return address.
constexpr uint32_t kStackUse = 6;

// Word 4 holds 0352: the parameter block starts 030 bytes beyond the byte
// that follows that word, at word (0352 + 030) / 2 = 0201. Unpackers find
// the block through it.
constexpr int kPointerWord = 4;
constexpr uint16_t kPointerValue = 0352;
constexpr int kPointerBias = 030;

// Three bytes after the signature text receive the input's extension.
constexpr size_t kExtensionOffset = 0374;
constexpr int kExtensionLength = 3;

// The parameter block.
constexpr int kLoadAddressWord = 0201;   // where the stub puts the data
constexpr int kImageEndWord = 0202;      // bytes from word 0203 to the image end
constexpr int kPackedLengthWord = 0203;  // P, the even length that was packed
constexpr int kFirstStreamWord = 0204;

constexpr int kWordBits = 16;

// Tokens, prefix first:
//   00  count-1 (3 bits), count bytes       short literal run, 1..8 bytes
//   111 count-9 (8 bits), count bytes       long literal run, 9..264 bytes
//   01  distance (8 bits)                   copy of 2 bytes
//   100 distance (9 bits)                   copy of 3 bytes
//   101 distance (10 bits)                  copy of 4 bytes
//   110 length-1 (8 bits), distance (12)    copy of 5..256 bytes
// A copy takes each byte from `distance` bytes above it, so the source has
// always been decoded already: the data is unpacked from its end downwards.
constexpr int kLiteralBits = 8;
constexpr int kShortRunPrefix = 0;  // 00
constexpr int kShortRunPrefixBits = 2;
constexpr int kShortRunCountBits = 3;
constexpr int kShortRunLongest = 8;
constexpr int kLongRunPrefix = 7;  // 111
constexpr int kLongRunPrefixBits = 3;
constexpr int kLongRunCountBits = 8;
constexpr int kLongRunShortest = kShortRunLongest + 1;                            // 9
constexpr int kLongRunLongest = kLongRunShortest + (1 << kLongRunCountBits) - 1;  // 264
constexpr int kLongCopyLengthBits = 8;
constexpr int kLongestCopy = 1 << kLongCopyLengthBits;  // 256

// One row per copy class: the copy of 2, 3, 4, or 5..256 bytes (class 3).
struct CopyClass {
  int prefix;
  int prefixBits;
  int distanceBits;
};
// clang-format off
constexpr CopyClass kCopyClasses[] = {
    {1, 2,  8},  // 01  + distance: 2 bytes
    {4, 3,  9},  // 100 + distance: 3 bytes
    {5, 3, 10},  // 101 + distance: 4 bytes
    {6, 3, 12},  // 110 + length-1 + distance: 5..256 bytes
};
// clang-format on
constexpr int kLongCopyClass = 3;
constexpr int kShortestLongCopy = 5;

// The farthest a copy of the class may reach: its distance field full.
constexpr int LargestDistance(const CopyClass& copy) { return (1 << copy.distanceBits) - 1; }

}  // namespace granol
