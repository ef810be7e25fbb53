// Test helper: a text in the bytes that morva writes for each encoding
// (CR LF line ends except in the two KOI8R sets), with
// or without a byte-order mark, built from the character tables directly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/bk_charset.h"
#include "files/code_pages.h"
#include "files/win_file.h"
#include "support/text_bytes.h"

using TextBytes = Bytes;

// The mark is written for UTF-8 and UTF-16 only; UTF-16BE always has it.
inline TextBytes EncodeText(TextFormat format, const std::u16string& text, bool withMark = false) {
  TextBytes out;
  if (withMark && format == TextFormat::Utf8) out = {0xEF, 0xBB, 0xBF};
  if (withMark && format == TextFormat::Utf16le) out = {0xFF, 0xFE};
  if (format == TextFormat::Utf16be) out = {0xFE, 0xFF};
  bool substitute = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    switch (format) {
      case TextFormat::Koi8r: out.push_back(UnicodeToBk(c)); break;
      case TextFormat::Koi8rStandard: out.push_back(EncodeKoi8r(c, &substitute)); break;
      case TextFormat::Oem866:
      case TextFormat::Win1251:
        if (c == u'\n') out.push_back('\r');
        out.push_back(format == TextFormat::Oem866 ? EncodeCp866(c, &substitute)
                                                   : EncodeCp1251(c, &substitute));
        break;
      case TextFormat::Utf8: {
        if (c == u'\n') out.push_back('\r');
        const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
                          text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        const std::string utf8 = ToUtf8(text.substr(i, pair ? 2 : 1));
        out.insert(out.end(), utf8.begin(), utf8.end());
        if (pair) ++i;
        break;
      }
      case TextFormat::Utf16be:
        if (c == u'\n') out.insert(out.end(), {0, '\r'});
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        break;
      default:
        if (c == u'\n') out.insert(out.end(), {'\r', 0});
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
        break;
    }
  }
  return out;
}
