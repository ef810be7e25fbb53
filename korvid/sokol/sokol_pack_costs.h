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

// The high part of a new match's offset (sokol_format.h).
inline uint32_t OffsetHigh(uint32_t offset) { return ((offset - 1) >> kOffsetLowBits) + 1; }

// Token selectors (docs/formats.md): after literals "0" is repeat offset 0,
// after a match "0" starts literals; "10" is a new offset; "110" and "111"
// are repeat offsets 1 and 2.
constexpr uint32_t kLiteralsSelectorBits = 1;
constexpr uint32_t kRepeat0SelectorBits = 1;
constexpr uint32_t kNewMatchSelectorBits = 2;
constexpr uint32_t kRepeatSelectorBits = 3;  // repeat offsets 1 and 2
constexpr int kRepeatCount = 3;

}  // namespace sokol
