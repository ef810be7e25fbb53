// The PC encodings of a text, as the detection finds them and the PC file
// class reads and writes them: one table with a row for each (kPcEncodings
// in text_format.cpp), as the mode letters have theirs. A new code page is
// one row, its table of the upper half and its detection data.
#pragma once

#include <cstddef>
#include <cstdint>

enum class TextFormat : int32_t {
  Auto = 0,
  Koi8r = 1,
  Oem866 = 2,
  Win1251 = 3,
  Utf8 = 4,
  Utf16le = 5,
  // Found only by its byte-order mark; no mode letter asks for it.
  Utf16be = 6,
  // Standard KOI8-R (RFC 1489): the BK's letters, but box drawing, ё and Ё
  // and signs at 0x80..0xBF where the BK has nothing or pseudo-graphics.
  Koi8rStandard = 7,
};

// How the characters of an encoding are laid out in bytes.
enum class UnitForm : uint8_t { SingleByte, Utf8, Utf16le, Utf16be };

struct PcEncoding {
  TextFormat format;
  const wchar_t* name;  // on the console, for the encoding and for its mode letter
  UnitForm form;
  // A single-byte page: the code point of each byte 0x80..0xFF (the lower
  // half is ASCII), and the byte written for a code unit, with *substitute
  // set when that byte stands for another character than the unit (the page
  // lacks it). Null for the Unicode forms.
  const char16_t* highHalf;
  uint8_t (*encode)(char16_t c, bool* substitute);
  bool crlf;  // a line feed is written as CR LF
  // Written at the start of an output and skipped at the start of an input
  // that the detection finds in this encoding; none for a code page.
  struct Mark {
    const uint8_t* bytes;
    size_t size;
  } byteOrderMark;

  // A byte of a single-byte page as a code unit.
  char16_t Decode(uint8_t b) const { return b < 0x80 ? b : highHalf[b - 0x80]; }
};

// The row of an encoding; null for Auto and any other code.
const PcEncoding* FindPcEncoding(TextFormat format);

// UTF-8 or either form of UTF-16.
bool IsUnicode(TextFormat format);

// The name of the row ("KOI8R", "OEM CP-866", "Windows 1251", "Unicode
// UTF-8", "Unicode UTF-16LE", "Unicode UTF-16BE"); null for a code without
// one.
const wchar_t* EncodingName(TextFormat format);

// The byte-order marks that start a Unicode text.
inline constexpr uint8_t kUtf8ByteOrderMark[3] = {0xEF, 0xBB, 0xBF};
inline constexpr uint8_t kUtf16leByteOrderMark[2] = {0xFF, 0xFE};
inline constexpr uint8_t kUtf16beByteOrderMark[2] = {0xFE, 0xFF};
