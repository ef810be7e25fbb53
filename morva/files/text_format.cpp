#include "files/text_format.h"

bool IsUnicode(TextFormat format) {
  return format == TextFormat::Utf8 || format == TextFormat::Utf16le ||
         format == TextFormat::Utf16be;
}

const wchar_t* EncodingName(TextFormat format) {
  switch (format) {
    case TextFormat::Koi8r: return L"KOI8R";
    case TextFormat::Oem866: return L"OEM CP-866";
    case TextFormat::Win1251: return L"Windows 1251";
    case TextFormat::Utf8: return L"Unicode UTF-8";
    case TextFormat::Utf16le: return L"Unicode UTF-16LE";
    case TextFormat::Utf16be: return L"Unicode UTF-16BE";
    default: return L"Неизвестно";
  }
}
