// UTF-8 as both programs read and write it. Only well-formed sequences
// count: no overlong forms, no surrogates, nothing above U+10FFFF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What a lead byte says about the sequence it starts: its length in bytes
// (1 for ASCII, 0 for a byte that cannot start one), the code point bits it
// carries, and the range the second byte must lie in. Every byte after the
// second lies in 0x80..0xBF.
struct Utf8Lead {
  int length;
  char32_t bits;
  uint8_t low;
  uint8_t high;
};

Utf8Lead ClassifyUtf8Lead(uint8_t lead);

// Decodes the sequence at `bytes`, of which `available` bytes may be read.
// Returns its length and sets *codePoint, or returns 0 when the bytes there
// are not a whole well-formed sequence.
int DecodeUtf8(const uint8_t* bytes, size_t available, char32_t* codePoint);

void AppendUtf8(std::string& out, char32_t codePoint);

// True where wchar_t holds UTF-16 code units (Windows), so that characters
// beyond U+FFFF take two of them; elsewhere a wchar_t holds a code point.
inline constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

// Appends one character to wide text: as a surrogate pair where wide text is
// UTF-16 and the character lies beyond U+FFFF.
void AppendWide(std::wstring& out, char32_t codePoint);

// Text whose bytes need not be UTF-8, such as a file name, as characters:
// each well-formed sequence is its character, every other byte b stands
// as U+DC00 + b, so that EncodeEscapingBytes gives the bytes back exactly.
std::wstring DecodeEscapingBytes(const std::string& bytes);
// The other way: UTF-8, U+DC80..U+DCFF as the bytes they stand for, and
// U+FFFD for any other surrogate or value beyond U+10FFFF. Where wide text is
// UTF-16, a surrogate pair is its one character, and the escapes do not
// apply (names there are UTF-16 already): every lone surrogate is U+FFFD.
std::string EncodeEscapingBytes(const std::wstring& text);

// The UTF-16 code units of `text` (characters beyond U+FFFF as pairs).
std::u16string ToUtf16(const std::wstring& text);
