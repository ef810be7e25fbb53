#include "files/text_format.h"

#include "common/bk_charset.h"
#include "files/code_pages.h"

namespace {

// clang-format off
constexpr UnitForm kByte = UnitForm::SingleByte;
constexpr PcEncoding::Mark kNoMark = {nullptr, 0};
constexpr PcEncoding::Mark kUtf8Mark = {kUtf8ByteOrderMark, sizeof kUtf8ByteOrderMark};
constexpr PcEncoding::Mark kUtf16leMark = {kUtf16leByteOrderMark, sizeof kUtf16leByteOrderMark};
constexpr PcEncoding::Mark kUtf16beMark = {kUtf16beByteOrderMark, sizeof kUtf16beByteOrderMark};

constexpr PcEncoding kPcEncodings[] = {
  // format                    name                 form               upper half   encode        CR LF  mark
  // The BK's own KOI-8 set, as BK files hold it: LF line ends, as on the BK.
  {TextFormat::Koi8r,         L"KOI8R",            kByte,             BkCharTable, EncodeBkKoi8, false, kNoMark},
  // Standard KOI8-R, as Unix systems write it: LF line ends too.
  {TextFormat::Koi8rStandard, L"KOI8R (стандарт)", kByte,             Koi8rTable,  EncodeKoi8r,  false, kNoMark},
  {TextFormat::Oem866,        L"OEM CP-866",       kByte,             Cp866Table,  EncodeCp866,  true,  kNoMark},
  {TextFormat::Win1251,       L"Windows 1251",     kByte,             Cp1251Table, EncodeCp1251, true,  kNoMark},
  {TextFormat::Utf8,          L"Unicode UTF-8",    UnitForm::Utf8,    nullptr,     nullptr,      true,  kUtf8Mark},
  {TextFormat::Utf16le,       L"Unicode UTF-16LE", UnitForm::Utf16le, nullptr,     nullptr,      true,  kUtf16leMark},
  {TextFormat::Utf16be,       L"Unicode UTF-16BE", UnitForm::Utf16be, nullptr,     nullptr,      true,  kUtf16beMark},
};
// clang-format on

}  // namespace

const PcEncoding* FindPcEncoding(TextFormat format) {
  for (const PcEncoding& encoding : kPcEncodings) {
    if (encoding.format == format) return &encoding;
  }
  return nullptr;
}

bool IsUnicode(TextFormat format) {
  const PcEncoding* encoding = FindPcEncoding(format);
  return encoding != nullptr && encoding->form != UnitForm::SingleByte;
}

const wchar_t* EncodingName(TextFormat format) {
  const PcEncoding* encoding = FindPcEncoding(format);
  return encoding != nullptr ? encoding->name : nullptr;
}
