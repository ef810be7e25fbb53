#include "front/modes.h"

#include <cwchar>

#include "common/platform.h"
#include "files/asc_file.h"

namespace {

struct ModeInfo {
  wchar_t letter;
  const wchar_t* name;
};

constexpr ModeInfo kModes[] = {
    {L'A', L"Авто"},          {L'U', L"Unicode UTF-16LE"}, {L'8', L"Unicode UTF-8"},
    {L'W', L"Windows 1251"},  {L'O', L"OEM CP-866"},       {L'K', L"KOI8R"},
    {L'E', L"Edasp"},         {L'D', L"Edasp (стандарт)"}, {L'V', L"Vortex"},
    {L'B', L"Basic ASC"},
};

bool IsOneOf(wchar_t letter, const wchar_t* letters) {
  return letter != L'\0' && std::wcschr(letters, letter) != nullptr;
}

}  // namespace

bool IsValidModePair(const ConversionJob& job) {
  return IsOneOf(job.inMode, kInputModeLetters) && IsOneOf(job.outMode, kOutputModeLetters);
}

const wchar_t* ModeName(wchar_t letter) {
  for (const ModeInfo& mode : kModes) {
    if (mode.letter == letter) return mode.name;
  }
  return L"Неизвестно";
}

const wchar_t* OutputExtension(wchar_t letter) {
  switch (letter) {
    case L'B': return L".asc";
    case L'E':
    case L'D': return L".edp";
    case L'V': return L".vxt";
    default: return L".txt";
  }
}

void ConversionJob::MakeOutputName() {
  const std::wstring extension = OutputExtension(outMode);
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
  if (outMode == L'B') outName = CBKASCFile::HeaderNameFor(outName);
}
