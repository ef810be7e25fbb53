// The single-byte PC code pages that morva reads and writes, as exact tables
// of their upper halves (the lower halves are ASCII), and the writers of a
// code unit into each. No locale and no system converter is involved, so
// results are the same on every system. The BK's own KOI-8 set is
// common/bk_charset.h.
#pragma once

#include <cstdint>

// The code point of each byte 0x80..0xFF. 1251 leaves 0x98 unassigned; it
// reads as U+FFFD.
extern const char16_t Cp866Table[128];
extern const char16_t Cp1251Table[128];
// Standard KOI8-R (RFC 1489). Its letters 0xC0..0xFF are the BK's.
extern const char16_t Koi8rTable[128];

// What a character the code page lacks is written as.
constexpr uint8_t kCodePageDefaultByte = '?';

// The byte of the code page that holds c (ASCII as itself), or
// kCodePageDefaultByte with *substitute set when the page lacks c.
uint8_t EncodeCp866(char16_t c, bool* substitute);
uint8_t EncodeCp1251(char16_t c, bool* substitute);
uint8_t EncodeKoi8r(char16_t c, bool* substitute);
// The BK set's byte for c (UnicodeToBk), with *substitute as IsBkSubstitute
// says.
uint8_t EncodeBkKoi8(char16_t c, bool* substitute);
