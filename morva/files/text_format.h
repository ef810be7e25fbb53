// The PC encodings of a text, as the detection finds them and the PC file
// class reads and writes them, with the facts that name them.
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
};

// UTF-8 or either form of UTF-16.
bool IsUnicode(TextFormat format);

// "KOI8R", "OEM CP-866", "Windows 1251", "Unicode UTF-8", "Unicode UTF-16LE",
// "Unicode UTF-16BE", and "Неизвестно" for any other code.
const wchar_t* EncodingName(TextFormat format);

// The byte-order marks that start a Unicode text.
inline constexpr uint8_t kUtf8ByteOrderMark[3] = {0xEF, 0xBB, 0xBF};
inline constexpr uint8_t kUtf16leByteOrderMark[2] = {0xFF, 0xFE};
inline constexpr uint8_t kUtf16beByteOrderMark[2] = {0xFE, 0xFF};
