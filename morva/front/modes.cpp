#include "front/modes.h"

#include <cwchar>

#include "common/platform.h"
#include "convert/convert.h"
#include "files/asc_file.h"
#include "files/win_file.h"

namespace {

template <TextFormat format>
std::unique_ptr<CBaseFile> MakePcText(const std::wstring& name) {
  return std::make_unique<CWinFile>(name, format);
}

std::unique_ptr<CBaseFile> MakeBkText(const std::wstring& name) {
  return std::make_unique<CBkFile>(name);
}

std::unique_ptr<CBaseFile> MakeAscSet(const std::wstring& name) {
  return std::make_unique<CBkAscFile>(name);
}

// The set's row makes the output a CBkAscFile.
FileResult ConvertToAscSet(CBaseFile* input, CBaseFile* output) {
  return ConvertToBasicAsc(input, static_cast<CBkAscFile*>(output));
}

// clang-format off
constexpr Mode kModes[] = {
  // letter name                 extension input                          output                           routine                 set    ahead
  {L'A', L"Авто",               nullptr,  MakePcText<TextFormat::Auto>,    nullptr,                         nullptr,                false, false},
  {L'U', L"Unicode UTF-16LE",   L".txt",  MakePcText<TextFormat::Utf16le>, MakePcText<TextFormat::Utf16le>, ConvertToWin,           false, false},
  {L'8', L"Unicode UTF-8",      L".txt",  nullptr,                         MakePcText<TextFormat::Utf8>,    ConvertToWin,           false, false},
  {L'W', L"Windows 1251",       L".txt",  MakePcText<TextFormat::Win1251>, MakePcText<TextFormat::Win1251>, ConvertToWin,           false, false},
  {L'O', L"OEM CP-866",         L".txt",  MakePcText<TextFormat::Oem866>,  MakePcText<TextFormat::Oem866>,  ConvertToWin,           false, false},
  {L'K', L"KOI8R",              L".txt",  MakePcText<TextFormat::Koi8r>,   MakePcText<TextFormat::Koi8r>,   ConvertToWin,           false, false},
  {L'E', L"Edasp",              L".edp",  MakeBkText,                      MakeBkText,                      ConvertToEdasp,         false, false},
  {L'D', L"Edasp (стандарт)",   L".edp",  MakeBkText,                      MakeBkText,                      ConvertToEdaspStandard, false, false},
  {L'V', L"Vortex",             L".vxt",  MakeBkText,                      MakeBkText,                      ConvertToVortex,        false, true},
  {L'B', L"Basic ASC",          nullptr,  MakeAscSet,                      MakeAscSet,                      ConvertToAscSet,        true,  false},
};
// clang-format on

const Mode* FindMode(wchar_t letter) {
  for (const Mode& mode : kModes) {
    if (mode.letter == letter) return &mode;
  }
  return nullptr;
}

}  // namespace

const Mode* FindInputMode(wchar_t letter) {
  const Mode* mode = FindMode(letter);
  return mode != nullptr && mode->makeInput != nullptr ? mode : nullptr;
}

const Mode* FindOutputMode(wchar_t letter) {
  const Mode* mode = FindMode(letter);
  return mode != nullptr && mode->makeOutput != nullptr ? mode : nullptr;
}

void ConversionJob::MakeOutputName() {
  const Mode* mode = FindOutputMode(outMode);
  if (mode != nullptr && mode->fileSet) {
    outName = CBkAscFile::HeaderNameFor(inName);
    return;
  }
  // A letter that is no output mode never gets here: the run refuses it first.
  const std::wstring extension = mode != nullptr ? mode->extension : L".txt";
  outName = inName;
  const size_t nameStart = FileNameStart(outName);
  const size_t dot = outName.rfind(L'.');
  if (dot == std::wstring::npos || dot < nameStart) {
    outName += extension;
  } else if (SameNameText(outName.substr(dot), extension)) {
    outName += extension;  // a.txt stays recognisable as a.txt.txt
  } else {
    outName.replace(dot, std::wstring::npos, extension);
  }
}
