#include "common/utf8.h"

namespace {

// A byte that is not part of a well-formed sequence is kept as this plus itself.
constexpr char32_t kEscapeBase = 0xDC00;
constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

}  // namespace

Utf8Lead ClassifyUtf8Lead(uint8_t lead) {
  if (lead < 0x80) return {1, lead, 0, 0};
  if (lead >= 0xC2 && lead <= 0xDF) return {2, static_cast<char32_t>(lead & 0x1F), 0x80, 0xBF};
  // The range of the second byte rules out overlong forms (after E0 and F0),
  // surrogates (after ED) and values beyond U+10FFFF (after F4).
  if (lead >= 0xE0 && lead <= 0xEF) {
    return {3, static_cast<char32_t>(lead & 0x0F), static_cast<uint8_t>(lead == 0xE0 ? 0xA0 : 0x80),
            static_cast<uint8_t>(lead == 0xED ? 0x9F : 0xBF)};
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return {4, static_cast<char32_t>(lead & 0x07), static_cast<uint8_t>(lead == 0xF0 ? 0x90 : 0x80),
            static_cast<uint8_t>(lead == 0xF4 ? 0x8F : 0xBF)};
  }
  return {0, 0, 0, 0};  // a stray continuation byte, C0, C1, F5..FF
}

int DecodeUtf8(const uint8_t* bytes, size_t available, char32_t* codePoint) {
  if (available == 0) return 0;
  const Utf8Lead lead = ClassifyUtf8Lead(bytes[0]);
  if (lead.length == 0 || available < static_cast<size_t>(lead.length)) return 0;
  char32_t value = lead.bits;
  uint8_t low = lead.low;
  uint8_t high = lead.high;
  for (int i = 1; i < lead.length; ++i) {
    if (bytes[i] < low || bytes[i] > high) return 0;
    value = (value << 6) | (bytes[i] & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  *codePoint = value;
  return lead.length;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendWide(std::wstring& out, char32_t c) {
  if (kWideIsUtf16 && c >= 0x10000 && c <= 0x10FFFF) {
    out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
    out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  } else {
    out += static_cast<wchar_t>(c);
  }
}

std::wstring DecodeEscapingBytes(const std::string& bytes) {
  std::wstring text;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t left = bytes.size();
  while (left > 0) {
    char32_t c;
    const int length = DecodeUtf8(p, left, &c);
    if (length == 0) {
      text += static_cast<wchar_t>(kEscapeBase + *p);
      ++p;
      --left;
    } else {
      AppendWide(text, c);
      p += length;
      left -= static_cast<size_t>(length);
    }
  }
  return text;
}

std::string EncodeEscapingBytes(const std::wstring& text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<char32_t>(text[i]);
    if (kWideIsUtf16) {
      // wchar_t is unsigned there: c is the code unit itself.
      const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
                        static_cast<char32_t>(text[i + 1]) >= 0xDC00 &&
                        static_cast<char32_t>(text[i + 1]) <= 0xDFFF;
      if (pair) {
        c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
      }
      AppendUtf8(bytes, IsSurrogate(c) ? kReplacement : c);
    } else if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF) {
      bytes += static_cast<char>(c - kEscapeBase);
    } else if (c > 0x10FFFF || IsSurrogate(c)) {
      AppendUtf8(bytes, kReplacement);
    } else {
      AppendUtf8(bytes, c);
    }
  }
  return bytes;
}

std::u16string ToUtf16(const std::wstring& text) {
  std::u16string units;
  for (wchar_t w : text) {
    const auto c = static_cast<char32_t>(w);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(c);
    }
  }
  return units;
}
