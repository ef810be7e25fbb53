// The BK's 16-bit checksum of a block: the sum of its bytes, each carry past
// 16 bits added back in.
#pragma once

#include <cstddef>
#include <cstdint>

inline uint16_t EndAroundCarrySum(const uint8_t* bytes, size_t length) {
  uint32_t sum = 0;
  for (size_t i = 0; i < length; ++i) {
    sum += bytes[i];
    if (sum > 0xFFFF) sum = (sum & 0xFFFF) + 1;
  }
  return static_cast<uint16_t>(sum);
}
