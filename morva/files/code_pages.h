// The two single-byte PC code pages that morva reads and writes, as exact
// tables of their upper halves (the lower halves are ASCII). No locale and
// no system converter is involved, so results are the same on every system.
#pragma once

#include <cstdint>

#include "files/base_file.h"

enum class CodePage { Oem866, Win1251 };

// The code point of each byte 0x80..0xFF. 1251 leaves 0x98 unassigned; it
// reads as U+FFFD.
extern const char16_t Cp866Table[128];
extern const char16_t Cp1251Table[128];

// What a character the code page lacks is written as.
constexpr uint8_t kCodePageDefaultByte = '?';

CodeUnit CodePageToUnicode(CodePage page, uint8_t b);
// The byte for c, or kCodePageDefaultByte when the code page lacks it.
uint8_t UnicodeToCodePage(CodePage page, CodeUnit c);
