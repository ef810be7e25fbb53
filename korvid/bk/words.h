// Byte order in one place: BK words are 16-bit little-endian.
#pragma once

#include <cstdint>

inline uint16_t ReadBkWord(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline void WriteBkWord(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value & 0xFF);
  p[1] = static_cast<uint8_t>(value >> 8);
}
