// Helpers of morva's end-to-end tests: running the real program in a
// temporary directory, and building the exact bytes of text files in each
// encoding independently of morva's own tables.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

inline RunResult Morva(const TempDir& dir, const std::vector<std::string>& args,
                       const RunOptions& extra = {}) {
  RunOptions options = extra;
  options.workingDirectory = dir.path();
  return RunProgram(MORVA_BINARY, args, options);
}

inline std::string Done(int count) {
  return "Готово, обработано " + std::to_string(count) + " файлов.\n";
}

inline std::string EncodingReport(const std::string& detected, const std::string& used) {
  return "Автоопределение кодировки: " + detected + ", преобразование будет из: " + used + "\n";
}

// UTF-8 text (BMP only) as UTF-16 code units.
inline std::u16string FromUtf8(const std::string& text) {
  std::u16string units;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : 3;
    char16_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : lead & 0x0F;
    for (int k = 1; k < length; ++k) c = static_cast<char16_t>((c << 6) | (text[i + k] & 0x3F));
    units += c;
    i += length;
  }
  return units;
}

inline std::string ToUtf8(const std::u16string& units) {
  std::string text;
  for (char16_t c : units) {
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if (c < 0x800) {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      text += static_cast<char>(0xE0 | (c >> 12));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

inline Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline std::u16string WithCrLf(const std::u16string& text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c == u'\n') out += u'\r';
    out += c;
  }
  return out;
}

// A PC text file as morva writes it: byte-order mark and CR LF line ends.
inline Bytes Utf16File(const std::u16string& text, bool crLf = true) {
  Bytes bytes = {0xFF, 0xFE};
  for (char16_t c : crLf ? WithCrLf(text) : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}
inline Bytes Utf8File(const std::u16string& text, bool crLf = true, bool bom = true) {
  Bytes bytes = bom ? Bytes{0xEF, 0xBB, 0xBF} : Bytes{};
  const std::string utf8 = ToUtf8(crLf ? WithCrLf(text) : text);
  bytes.insert(bytes.end(), utf8.begin(), utf8.end());
  return bytes;
}

enum class Charset { Cp1251, Cp866, BkKoi8 };

// Single-byte encodings of ASCII and the Russian letters.
inline Bytes SingleByteFile(const std::u16string& text, Charset charset, bool crLf) {
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
      if (c == u'ё') c = u'е';
      if (c == u'Ё') c = u'Е';
      if (kBkLower.find(c) != std::u16string::npos) byte = 0xC0 + kBkLower.find(c);
      if (kBkUpper.find(c) != std::u16string::npos) byte = 0xE0 + kBkUpper.find(c);
    }
    if (byte < 0) throw std::invalid_argument("character outside the test charset");
    bytes.push_back(static_cast<uint8_t>(byte));
  }
  return bytes;
}
