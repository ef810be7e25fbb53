#include "front/driver.h"

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/console.h"
#include "common/utf8.h"
#include "files/asc_file.h"
#include "files/base_file.h"
#include "files/file_error.h"
#include "files/text_format.h"
#include "front/file_search.h"
#include "front/messages.h"
#include "front/modes.h"
#include "front/options.h"
#include "system/platform.h"

namespace {

// Exit statuses.
constexpr int kExitConverted = 0;  // every file converted, or the help asked for
constexpr int kExitFailed = 1;     // a file failed or a pattern matched nothing
constexpr int kExitUsage = 2;      // the command line itself is wrong

// The files of one run: what it reads and what it has written, so that no
// output replaces an input of the run or an output of another input.
struct RunFiles {
  std::set<FileIdentity> inputs;  // every file the patterns gave, BASIC ASC parts too
  std::set<FileIdentity> converted;
  std::map<FileIdentity, std::wstring> writtenBy;     // output file -> its input
  std::map<std::wstring, std::wstring> writtenNames;  // output name -> its input

  void AddInput(const std::wstring& name, const Mode& inMode) {
    const FileStatus status = QueryFile(name);
    if (status.kind == FileKind::Missing) return;
    inputs.insert(status.identity);
    if (inMode.kind != ModeKind::AscSet) return;
    // The parts are named after the header without its extension; a dot in
    // a folder's name is none.
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot < FileNameStart(name)) return;
    for (const std::wstring& part : CBkAscFile::FindParts(name.substr(0, dot), 0)) {
      const FileStatus partStatus = QueryFile(part);
      if (partStatus.kind != FileKind::Missing) inputs.insert(partStatus.identity);
    }
  }

  // True when the input may write these names; otherwise prints why not.
  bool MayWrite(const std::wstring& inName, const std::vector<std::wstring>& names) const {
    for (const std::wstring& name : names) {
      const FileStatus status = QueryFile(name);
      const FileIdentity& identity = status.identity;
      const bool exists = status.kind != FileKind::Missing;
      const std::wstring* firstInput = nullptr;
      const auto byName = writtenNames.find(name);
      if (byName != writtenNames.end()) {
        firstInput = &byName->second;
      } else if (exists) {
        const auto byIdentity = writtenBy.find(identity);
        if (byIdentity != writtenBy.end()) firstInput = &byIdentity->second;
      }
      if (firstInput != nullptr) {
        ConsolePrint(kMsgSameOutput, inName.c_str(), name.c_str(), firstInput->c_str());
        return false;
      }
      if (exists && inputs.count(identity) != 0) {
        ConsolePrint(kMsgOutputIsInput, inName.c_str(), name.c_str());
        return false;
      }
    }
    return true;
  }

  void Record(const std::wstring& inName, const std::vector<std::wstring>& names) {
    for (const std::wstring& name : names) {
      writtenNames[name] = inName;
      const FileStatus status = QueryFile(name);
      if (status.kind != FileKind::Missing) writtenBy[status.identity] = inName;
    }
  }
};

// The names an output will take or replace: the file itself, or the header
// of a BASIC ASC set and every part of the set that exists now (the new set
// replaces them or removes them as left over).
std::vector<std::wstring> PlannedOutputNames(const ConversionJob& job, const Mode& outMode) {
  std::vector<std::wstring> names = {job.outName};
  if (outMode.kind == ModeKind::AscSet) {
    for (std::wstring& part : CBkAscFile::FindParts(CBkAscFile::BaseNameFor(job.outName), 0)) {
      names.push_back(std::move(part));
    }
  }
  return names;
}

// The character as the replacement line shows it: itself, or U+XXXX when
// it would not show (blanks, controls, format characters, lone surrogates).
std::wstring ShowCharacter(char32_t c) {
  const bool invisible = c <= 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0xAD ||
                         (c >= 0x2000 && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) ||
                         (c >= 0x205F && c <= 0x206F) || (c >= 0xD800 && c <= 0xDFFF) ||
                         c == 0xFEFF;
  if (!invisible) {
    std::wstring shown;
    AppendWide(shown, c);  // a surrogate pair where wchar_t is 16 bits wide
    return shown;
  }
  std::wstring code;
  for (int shift = c > 0xFFFF ? 16 : 12; shift >= 0; shift -= 4) {
    code += L"0123456789ABCDEF"[(c >> shift) & 0xF];
  }
  return L"U+" + code;
}

// The text of a reason, for the file it names.
const wchar_t* FailureText(FileError error) {
  switch (error) {
    case FileError::None: break;
    case FileError::CannotOpen: return kMsgCannotOpen;
    case FileError::NotRegular: return kMsgNotRegular;
    case FileError::CannotRead: return kMsgCannotRead;
    case FileError::PartMissing: return kMsgPartMissing;
    case FileError::PartShort: return kMsgPartShort;
    case FileError::PartDamaged: return kMsgPartDamaged;
    case FileError::CannotWrite: return kMsgCannotWrite;
    case FileError::CannotWriteSet: return kMsgCannotWriteSet;
    case FileError::TooManyParts: return kMsgTooManyParts;
    case FileError::CannotCreateIn: return kMsgCannotCreateIn;
    case FileError::CannotOpenOutput: return kMsgCannotOpenOutput;
    case FileError::WriteProtected: return kMsgWriteProtected;
    case FileError::OutputBusy: return kMsgOutputBusy;
  }
  return nullptr;
}

// The reason's text with what it takes after the file's name: the folder
// and the system's reason, the reason alone, or the folder and the wait.
void PrintFailure(const FileResult& result) {
  const wchar_t* text = FailureText(result.error);
  if (text == nullptr) return;
  const wchar_t* file = result.file.c_str();
  switch (result.error) {
    case FileError::CannotCreateIn:
      ConsolePrint(text, file, result.folder.c_str(), SystemErrorText(result.systemError).c_str());
      break;
    case FileError::CannotOpenOutput:
      ConsolePrint(text, file, SystemErrorText(result.systemError).c_str());
      break;
    case FileError::OutputBusy:
      ConsolePrint(text, file, result.folder.c_str(), result.waitSeconds);
      break;
    default: ConsolePrint(text, file); break;
  }
}

// What opening the input found out: the encoding report of a PC text, the
// header of a BK file that a BK text was read behind.
void PrintReadNotes(CBaseFile& input) {
  const ReadNotes& notes = input.GetReadNotes();
  if (notes.detected != TextFormat::Auto) {
    ConsolePrint(kMsgEncodingReport, EncodingName(notes.detected), EncodingName(notes.used));
  }
  if (notes.bkHeaderSkipped) {
    ConsolePrint(kMsgBkHeaderSkipped, input.GetFileName().c_str(),
                 static_cast<unsigned>(notes.bkAddress), static_cast<unsigned>(notes.bkLength));
  }
}

// Runs the routine of the output mode; the input's notes come first on the
// console, before the reason of a failure.
FileResult RunRoutine(const Mode& outMode, const ConversionOptions& options, CBaseFile& input,
                      CBaseFile& output) {
  FileResult result;
  try {
    result = outMode.convert(&input, &output, options);
  } catch (const std::bad_alloc&) {
    PrintReadNotes(input);
    throw;
  }
  PrintReadNotes(input);
  return result;
}

// Converts one file that the run has not refused; false when it failed
// (the reason has been printed and nothing of the output is left).
bool ConvertFile(const ConversionJob& job, const Mode& inMode, const Mode& outMode, int tabWidth,
                 RunFiles* files) {
  std::unique_ptr<CBaseFile> input = MakeModeFile(inMode, job.inName);
  input->SetTabSize(tabWidth);  // other widths than 2 to 16 leave the input's own
  std::unique_ptr<CBaseFile> output = MakeModeFile(outMode, job.outName);
  ConversionOptions options;
  // A TSV table or a Makefile keeps its tabs between two PC encodings.
  options.keepTabs = inMode.kind == ModeKind::PcText && outMode.kind == ModeKind::PcText &&
                     !IsAcceptedTabSize(tabWidth);
  const FileResult converted = RunRoutine(outMode, options, *input, *output);
  input.reset();
  if (!converted.ok()) {
    PrintFailure(converted);
    return false;
  }
  const std::vector<std::wstring> names = output->GetOutputNames();
  std::wstring failed;
  if (!output->Commit(&failed)) {
    // The reason the output gives (a folder another run held), or else that
    // the write failed.
    FileResult failure = output->OutputFailure();
    if (failure.ok()) {
      const bool set = outMode.kind == ModeKind::AscSet;
      failure = {set ? FileError::CannotWriteSet : FileError::CannotWrite, failed};
    }
    PrintFailure(failure);
    return false;
  }
  files->Record(job.inName, names);
  // Characters the output could not hold: how many, and the first of them.
  if (output->GetReplacedCount() > 0) {
    ConsolePrint(kMsgReplaced, std::to_wstring(output->GetReplacedCount()).c_str(),
                 ShowCharacter(output->GetFirstReplaced()).c_str());
  }
  return true;
}

// What the command line settles for the whole run.
struct Run {
  RunSettings settings;
  const Mode* inMode = nullptr;
  const Mode* outMode = nullptr;
};

// Reads the command line, checks the mode letters, announces the run and
// refuses the pairs that make no sense. The exit status when the run ends
// there; nothing when its files are to be converted.
std::optional<int> PrepareRun(int argc, char** argv, Run* run) {
  if (argc <= 1) {
    PrintHelp();
    return kExitUsage;
  }
  switch (ParseCommandLine(argc, argv, &run->settings)) {
    case ParseOutcome::Help: return kExitConverted;
    case ParseOutcome::UsageError: PrintHelp(); return kExitUsage;
    case ParseOutcome::Run: break;
  }
  run->inMode = FindInputMode(run->settings.job.inMode);
  run->outMode = FindOutputMode(run->settings.job.outMode);
  if (run->inMode == nullptr || run->outMode == nullptr) {
    PrintHelp();
    return kExitUsage;
  }
  ConsolePrint(kMsgAnnounce, run->inMode->DisplayName(), run->outMode->DisplayName());
  if (run->inMode == run->outMode) {
    ConsolePrint(kMsgMeaningless);
    return kExitUsage;
  }
  if (run->inMode->kind == ModeKind::AscSet && run->outMode->looksAhead) {
    ConsolePrint(kMsgImpossible);
    return kExitUsage;
  }
  return std::nullopt;
}

// Every pattern is expanded before the first conversion, so that the files
// this run creates are never taken for inputs of the same run, and every
// input is known before the first output is written.
std::vector<std::vector<DirectoryEntry>> ExpandPatterns(const Run& run, RunFiles* files) {
  std::vector<std::vector<DirectoryEntry>> matches;
  for (const std::wstring& pattern : run.settings.patterns) {
    matches.push_back(ExpandPattern(pattern));
    for (const DirectoryEntry& entry : matches.back()) {
      if (!entry.isDirectory) files->AddInput(entry.name, *run.inMode);
    }
  }
  return matches;
}

// What the run has done so far.
struct Tally {
  unsigned converted = 0;      // files converted and written
  unsigned failed = 0;         // files refused or failed
  bool patternMissed = false;  // a pattern matched nothing
};

// "N файл", "N файла", "N файлов".
std::wstring FileCount(unsigned n) {
  return std::to_wstring(n) + L" " + RussianPlural(n, kWordFileOne, kWordFileFew, kWordFileMany);
}

// False, with the reason printed, when the file is not to be converted: it
// is no regular file, the output name derived from it is a folder (morva
// writes nothing into it), or its output would replace an input of the run
// or an output of another input.
bool MayConvert(const ConversionJob& job, FileKind kind, const Mode& outMode,
                const RunFiles& files) {
  if (kind == FileKind::Other) {
    PrintFailure({FileError::NotRegular, job.inName});
    return false;
  }
  if (QueryFile(job.outName).kind == FileKind::Directory) {
    ConsolePrint(kMsgOutputIsFolder, job.inName.c_str(), job.outName.c_str());
    return false;
  }
  return files.MayWrite(job.inName, PlannedOutputNames(job, outMode));
}

// One file that a pattern gave: named, checked, announced and converted,
// unless the run has converted it already under this or another name.
void ConvertEntry(Run& run, const DirectoryEntry& entry, RunFiles* files, Tally* tally) {
  const FileStatus status = QueryFile(entry.name);
  const FileKind kind = status.kind;
  // A file given twice, or matched by two patterns, is converted once.
  if (kind != FileKind::Missing && !files->converted.insert(status.identity).second) return;
  ConversionJob& job = run.settings.job;
  job.inName = entry.name;
  job.MakeOutputName();
  if (!MayConvert(job, kind, *run.outMode, *files)) {
    ++tally->failed;
    return;
  }
  ConsolePrint(kMsgFilePair, job.inName.c_str(), job.outName.c_str());
  if (ConvertFile(job, *run.inMode, *run.outMode, run.settings.tabWidth, files)) {
    ++tally->converted;
  } else {
    ++tally->failed;
  }
}

void PrintSummary(const Tally& tally) {
  if (tally.failed == 0) {
    ConsolePrint(kMsgDone, FileCount(tally.converted).c_str());
  } else {
    ConsolePrint(kMsgDoneWithFailures, FileCount(tally.converted).c_str(),
                 FileCount(tally.failed).c_str());
  }
}

int RunMorva(int argc, char** argv) {
  Run run;
  if (const std::optional<int> status = PrepareRun(argc, argv, &run)) return *status;
  RunFiles files;
  const std::vector<std::vector<DirectoryEntry>> matches = ExpandPatterns(run, &files);
  Tally tally;
  for (size_t i = 0; i < matches.size(); ++i) {
    if (matches[i].empty()) {
      ConsolePrint(kMsgNotFound, run.settings.patterns[i].c_str());
      tally.patternMissed = true;
    }
    for (const DirectoryEntry& entry : matches[i]) {
      if (!entry.isDirectory) ConvertEntry(run, entry, &files, &tally);
    }
  }
  PrintSummary(tally);
  return tally.failed > 0 || tally.patternMissed ? kExitFailed : kExitConverted;
}

}  // namespace

int MorvaMain(int argc, char** argv) {
  // No locale is set: ConsolePrint writes UTF-8 by itself and the code pages
  // come from our own tables, so the run is the same on every system.
  try {
    return RunMorva(argc, argv);
  } catch (const std::bad_alloc&) {
    // The objects of the file in hand have removed their outputs on the way.
    ConsolePrint(kMsgNoMemory);
    return kExitFailed;
  }
}
