// Bit costs of the Sokol stream, in the packer's terms (docs/formats.md).
#pragma once

#include <cstdint>

#include "sokol/sokol_format.h"

namespace sokol {

// Interlaced Elias gamma: a value v >= 1 with k bits below its leading one
// costs 2k + 1 bits.
inline uint32_t GammaBits(uint32_t value) {
  uint32_t bits = 1;
  while (value > 1) {
    value >>= 1;
    bits += 2;
  }
  return bits;
}

// The high part of a new match's offset (its code: the offset, or half of
// it when offsets are even), coded as a gamma value.
inline uint32_t OffsetHigh(uint32_t code) { return (code >> kOffsetLowBits) + 1; }

// Token selectors (docs/formats.md): "0" starts literals after a match and
// is repeat offset 0 after literals; the rest depend on how many repeat
// offsets the stream keeps.
//   one:   1 new offset
//   two:   10 new offset, 11 repeat offset 1
//   three: 10 new offset, 110 repeat offset 1, 111 repeat offset 2
constexpr uint32_t kLiteralsSelectorBits = 1;
constexpr uint32_t kRepeat0SelectorBits = 1;
inline uint32_t NewMatchSelectorBits(int repeats) { return repeats == 1 ? 1 : 2; }
inline uint32_t RepeatSelectorBits(int repeats) { return repeats == 2 ? 2 : 3; }

}  // namespace sokol
