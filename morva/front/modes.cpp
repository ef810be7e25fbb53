#include "front/modes.h"

#include <cwchar>

#include "common/platform.h"
#include "convert/convert.h"
#include "files/asc_file.h"
#include "files/win_file.h"

namespace {

// The set's row makes the output a CBkAscFile.
FileResult ConvertToAscSet(CBaseFile* input, CBaseFile* output, const ConversionOptions& options) {
  return ConvertToBasicAsc(input, static_cast<CBkAscFile*>(output), options);
}

constexpr ModeKind kPc = ModeKind::PcText;
constexpr ModeKind kBk = ModeKind::BkText;
constexpr ModeKind kSet = ModeKind::AscSet;

// clang-format off
constexpr Mode kModes[] = {
  // letter kind  encoding                   name                 extension in     out    routine                 ahead
  {L'A',   kPc,  TextFormat::Auto,          L"Авто",             nullptr,  true,  false, nullptr,                false},
  {L'U',   kPc,  TextFormat::Utf16le,       nullptr,             L".txt",  true,  true,  ConvertToWin,           false},
  {L'8',   kPc,  TextFormat::Utf8,          nullptr,             L".txt",  false, true,  ConvertToWin,           false},
  {L'W',   kPc,  TextFormat::Win1251,       nullptr,             L".txt",  true,  true,  ConvertToWin,           false},
  {L'O',   kPc,  TextFormat::Oem866,        nullptr,             L".txt",  true,  true,  ConvertToWin,           false},
  {L'K',   kPc,  TextFormat::Koi8r,         nullptr,             L".txt",  true,  true,  ConvertToWin,           false},
  {L'R',   kPc,  TextFormat::Koi8rStandard, nullptr,             L".txt",  true,  true,  ConvertToWin,           false},
  {L'E',   kBk,  TextFormat::Auto,          L"Edasp",            L".edp",  true,  true,  ConvertToEdasp,         false},
  {L'D',   kBk,  TextFormat::Auto,          L"Edasp (стандарт)", L".edp",  true,  true,  ConvertToEdaspStandard, false},
  {L'V',   kBk,  TextFormat::Auto,          L"Vortex",           L".vxt",  true,  true,  ConvertToVortex,        true},
  {L'B',   kSet, TextFormat::Auto,          L"Basic ASC",        nullptr,  true,  true,  ConvertToAscSet,        false},
};
// clang-format on

const Mode* FindMode(wchar_t letter) {
  for (const Mode& mode : kModes) {
    if (mode.letter == letter) return &mode;
  }
  return nullptr;
}

}  // namespace

const wchar_t* Mode::DisplayName() const { return name != nullptr ? name : EncodingName(encoding); }

const Mode* FindInputMode(wchar_t letter) {
  const Mode* mode = FindMode(letter);
  return mode != nullptr && mode->input ? mode : nullptr;
}

const Mode* FindOutputMode(wchar_t letter) {
  const Mode* mode = FindMode(letter);
  return mode != nullptr && mode->output ? mode : nullptr;
}

std::unique_ptr<CBaseFile> MakeModeFile(const Mode& mode, const std::wstring& name) {
  switch (mode.kind) {
    case ModeKind::PcText: return std::make_unique<CWinFile>(name, mode.encoding);
    case ModeKind::BkText: return std::make_unique<CBkFile>(name);
    case ModeKind::AscSet: return std::make_unique<CBkAscFile>(name);
  }
  return nullptr;
}

void ConversionJob::MakeOutputName() {
  const Mode* mode = FindOutputMode(outMode);
  if (mode != nullptr && mode->kind == ModeKind::AscSet) {
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
