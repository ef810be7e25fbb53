#include "support/text_bytes.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

std::u16string FromUtf8(const std::string& text) {
  std::u16string units;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1   ? lead
                 : length == 2 ? lead & 0x1F
                 : length == 3 ? lead & 0x0F
                               : lead & 0x07;
    for (int k = 1; k < length && i + k < text.size(); ++k) {
      c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    if (c >= 0x10000) {
      units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(c);
    }
    i += length;
  }
  return units;
}

std::string ToUtf8(const std::u16string& units) {
  std::string text;
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if (c < 0x800) {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      text += static_cast<char>(0xE0 | (c >> 12));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | (c >> 18));
      text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes joined;
  for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

Bytes VortexSpaceRun(long long n) {
  if (n <= 8) return Bytes{static_cast<uint8_t>(n)};
  if (n <= 72) {
    const long long low = (n - 1) % 8 + 1;
    return Bytes{static_cast<uint8_t>(low), static_cast<uint8_t>((n - low) / 8)};
  }
  return Bytes(static_cast<size_t>(n), 0x20);
}

std::u16string WithCrLf(const std::u16string& text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c == u'\n') out += u'\r';
    out += c;
  }
  return out;
}

Bytes Utf16File(const std::u16string& text, bool crLf) {
  Bytes bytes = {0xFF, 0xFE};
  for (char16_t c : crLf ? WithCrLf(text) : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

Bytes Utf8File(const std::u16string& text, bool crLf, bool bom) {
  Bytes bytes = bom ? Bytes{0xEF, 0xBB, 0xBF} : Bytes{};
  const std::string utf8 = ToUtf8(crLf ? WithCrLf(text) : text);
  bytes.insert(bytes.end(), utf8.begin(), utf8.end());
  return bytes;
}

Bytes SingleByteFile(const std::u16string& text, Charset charset, bool crLf) {
  static const std::u16string kBkLower = u"юабцдефгхийклмнопярстужвьызшэщчъ";
  static const std::u16string kBkUpper = u"ЮАБЦДЕФГХИЙКЛМНОПЯРСТУЖВЬЫЗШЭЩЧЪ";
  Bytes bytes;
  for (char16_t c : crLf ? WithCrLf(text) : text) {
    int byte = -1;
    if (c < 0x80) {
      byte = c;
    } else if (charset == Charset::Cp1251) {
      if (c >= u'А' && c <= u'я') byte = 0xC0 + (c - u'А');
      if (c == u'Ё') byte = 0xA8;
      if (c == u'ё') byte = 0xB8;
    } else if (charset == Charset::Cp866) {
      if (c >= u'А' && c <= u'п') byte = 0x80 + (c - u'А');
      if (c >= u'р' && c <= u'я') byte = 0xE0 + (c - u'р');
      if (c == u'Ё') byte = 0xF0;
      if (c == u'ё') byte = 0xF1;
    } else {
      if (charset == Charset::Koi8r && c == u'ё') byte = 0xA3;
      if (charset == Charset::Koi8r && c == u'Ё') byte = 0xB3;
      if (charset == Charset::Koi8r && c == u'─') byte = 0x80;
      if (charset == Charset::Koi8r && c == u'│') byte = 0x81;
      if (c == u'ё') c = u'е';
      if (c == u'Ё') c = u'Е';
      if (byte < 0 && kBkLower.find(c) != std::u16string::npos) byte = 0xC0 + static_cast<int>(kBkLower.find(c));
      if (byte < 0 && kBkUpper.find(c) != std::u16string::npos) byte = 0xE0 + static_cast<int>(kBkUpper.find(c));
    }
    if (byte < 0) throw std::invalid_argument("character outside the test charset");
    bytes.push_back(static_cast<uint8_t>(byte));
  }
  return bytes;
}

Bytes AscHeaderFile() { return MakeBkFile(kAscLoadAddress, {0, 0}); }

std::vector<Bytes> AscParts(const Bytes& bkText) {
  Bytes text = bkText;
  text.push_back(0x1A);
  std::vector<Bytes> parts;
  for (size_t at = 0; at < text.size(); at += 256) {
    Bytes data(text.begin() + at, text.begin() + std::min(text.size(), at + 256));
    data.resize(256, ' ');
    parts.push_back(MakeBkFile(kAscLoadAddress, data));
  }
  return parts;
}

std::string AscHeaderName(const std::string& base) {
  return base + std::string(6 - base.size(), ' ') + ".ASC.bin";
}

std::string AscPartName(const std::string& base, int number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%03d", number);
  return base + std::string(6 - base.size(), ' ') + ".ASC #" + digits + ".bin";
}
