// The BK character set: ASCII in the lower half, the BK's pseudo-graphics,
// card suits and arrows at 0xA0..0xBF and the Cyrillic letters at 0xC0..0xFF
// in KOI-8 order. Two pure functions translate between a BK byte and a
// 16-bit code unit; they serve morva's BK editor file, BASIC ASC set and
// KOI8R encoding of a PC text file, and the text korvid stores in an image.
#pragma once

#include <cstdint>

// The code point of each BK byte 0x80..0xFF. 0x80..0x9F hold no character
// on the BK and read as spaces; the table has no ё/Ё.
extern const char16_t BkCharTable[128];

// The BK byte written for each code point 0x00..0x1F: mostly the BK
// character that looks like the symbol PC fonts show for that control code.
// TAB and LF stay themselves, CR becomes 0x00 and U+0000 becomes LF.
extern const uint8_t ControlCharTable[32];

// 0 stays 0, 0x01..0x7E are themselves, 0x7F is U+25A0 (black square),
// 0x80..0xFF come from BkCharTable.
char16_t BkToUnicode(uint8_t b);

// The BK byte for a code unit: control codes through ControlCharTable, ASCII
// as itself, U+25A0 as 0x7F, ё/Ё folded to е/Е, everything else searched in
// BkCharTable over 0xA0..0xFF only. A character the BK lacks becomes a space,
// so 0x80..0x9F are never produced.
uint8_t UnicodeToBk(char16_t c);

// True when UnicodeToBk gives a substitute for c: a space for a character
// the BK lacks, е/Е for ё/Ё. Control codes, which it maps to look-alikes on
// purpose, are not substitutes.
bool IsBkSubstitute(char16_t c);
