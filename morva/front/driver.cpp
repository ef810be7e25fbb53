#include "front/driver.h"

#include <cstdint>
#include <memory>
#include <string>

#include "convert/convert.h"
#include "files/asc_file.h"
#include "files/base_file.h"
#include "files/win_file.h"
#include "front/console.h"
#include "front/file_search.h"
#include "front/messages.h"
#include "front/options.h"
#include "front/platform.h"

namespace {

constexpr int kSmallestTab = 2;
constexpr int kLargestTab = 16;

TextFormat FormatOfLetter(wchar_t letter) {
  switch (letter) {
    case L'U': return TextFormat::Utf16le;
    case L'8': return TextFormat::Utf8;
    case L'W': return TextFormat::Win1251;
    case L'O': return TextFormat::Oem866;
    case L'K': return TextFormat::Koi8r;
    default: return TextFormat::Auto;
  }
}

std::unique_ptr<CBaseFile> CreateInput(wchar_t letter, const std::wstring& name) {
  switch (letter) {
    case L'E':
    case L'V': return std::make_unique<CBKFile>(name);
    case L'B': return std::make_unique<CBKASCFile>(name);
    default: return std::make_unique<CWinFile>(name, FormatOfLetter(letter));
  }
}

// The character as the replacement line shows it: itself, or U+XXXX when
// it would not show (blanks, controls, format characters, lone surrogates).
std::wstring ShowCharacter(char32_t c) {
  const bool invisible = c <= 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0xAD ||
                         (c >= 0x2000 && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) ||
                         (c >= 0x205F && c <= 0x206F) || (c >= 0xD800 && c <= 0xDFFF) ||
                         c == 0xFEFF;
  if (!invisible) return std::wstring(1, static_cast<wchar_t>(c));
  std::wstring code;
  for (int shift = c > 0xFFFF ? 16 : 12; shift >= 0; shift -= 4) {
    code += L"0123456789ABCDEF"[(c >> shift) & 0xF];
  }
  return L"U+" + code;
}

// Runs one conversion routine and destroys the input before the output;
// then says how many characters the output had to replace, if any.
template <class Output, class Routine>
void Run(std::unique_ptr<CBaseFile> input, std::unique_ptr<Output> output, Routine routine) {
  routine(input.get(), output.get());
  input.reset();
  const uint64_t replaced = output->GetReplacedCount();
  const char32_t first = output->GetFirstReplaced();
  output.reset();
  if (replaced > 0) {
    ConsolePrint(kMsgReplaced, std::to_wstring(replaced).c_str(), ShowCharacter(first).c_str());
  }
}

void ConvertFile(const ConversionJob& job, int tabWidth) {
  ConsolePrint(kMsgFilePair, job.inName.c_str(), job.outName.c_str());
  std::unique_ptr<CBaseFile> input = CreateInput(job.inMode, job.inName);
  if (tabWidth >= kSmallestTab && tabWidth <= kLargestTab) input->SetTabSize(tabWidth);
  switch (job.outMode) {
    case L'E':
      Run(std::move(input), std::make_unique<CBKFile>(job.outName), ConvertToEdasp);
      break;
    case L'V':
      Run(std::move(input), std::make_unique<CBKFile>(job.outName), ConvertToVortex);
      break;
    case L'B':
      Run(std::move(input), std::make_unique<CBKASCFile>(job.outName), ConvertToBasicASC);
      break;
    default:
      Run(std::move(input), std::make_unique<CWinFile>(job.outName, FormatOfLetter(job.outMode)),
          ConvertToWin);
      break;
  }
}

}  // namespace

int MorvaMain(int argc, char** argv) {
  // No locale is set: ConsolePrint writes UTF-8 by itself and the code pages
  // come from our own tables, so the run is the same on every system.
  if (argc <= 1) {
    PrintHelp();
    return 0;
  }
  RunSettings settings;
  if (!ParseCommandLine(argc, argv, &settings)) return 0;
  ConversionJob& job = settings.job;
  if (!IsValidModePair(job)) {
    PrintHelp();
    return 0;
  }
  ConsolePrint(kMsgAnnounce, ModeName(job.inMode), ModeName(job.outMode));
  if (job.inMode == job.outMode) {
    ConsolePrint(kMsgMeaningless);
    return 0;
  }
  if (job.inMode == L'B' && job.outMode == L'V') {
    ConsolePrint(kMsgImpossible);
    return 0;
  }

  // Every pattern is expanded before the first conversion, so that the files
  // this run creates are never taken for inputs of the same run.
  std::vector<std::vector<DirectoryEntry>> matches;
  for (const std::wstring& pattern : settings.patterns) matches.push_back(ExpandPattern(pattern));

  unsigned processed = 0;
  for (size_t i = 0; i < settings.patterns.size(); ++i) {
    if (matches[i].empty()) {
      ConsolePrint(kMsgNotFound, settings.patterns[i].c_str());
      continue;
    }
    for (const DirectoryEntry& entry : matches[i]) {
      if (entry.isDirectory) continue;
      job.inName = entry.name;
      job.MakeOutputName();
      ConvertFile(job, settings.tabWidth);
      ++processed;
    }
  }
  ConsolePrint(kMsgDone, static_cast<int>(processed));
  return 0;
}
