// The BK's memory as every method sees it.
#pragma once

#include <cstdint>

// The 16-bit address space: no program, image or work area may run past it.
constexpr uint32_t kAddressSpaceEnd = 0200000;

// The system area and the stack lie below 01000, and programs start there:
// a file without a header loads at 01000, a packed region begins there, and
// a file that loads lower carries an image of the stack (bk/autostart.h).
constexpr uint16_t kSystemAreaEnd = 01000;

// The BK-0010's screen: 16 KiB of RAM from 040000 that the display shows.
constexpr uint32_t kScreenStart = 040000;
constexpr uint32_t kScreenEnd = 0100000;
// The I/O page: the registers of the processor and the devices, up to the
// end of the address space. No RAM lies there.
constexpr uint32_t kIoPageStart = 0177600;

// True when `length` bytes from `start` would end beyond 0177777.
inline bool RunsPastAddressSpace(uint32_t start, uint32_t length) {
  return start + length > kAddressSpaceEnd;
}

// Whether two ranges of the 16-bit address space share a byte; either may
// wrap round past 0177777.
inline bool RangesOverlap(uint32_t first, uint32_t firstLength, uint32_t second,
                          uint32_t secondLength) {
  const uint32_t secondFromFirst = (second - first) & 0xFFFF;
  const uint32_t firstFromSecond = (first - second) & 0xFFFF;
  return secondFromFirst < firstLength || firstFromSecond < secondLength;
}
