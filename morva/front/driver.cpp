#include "front/driver.h"

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/console.h"
#include "common/utf8.h"
#include "files/asc_file.h"
#include "files/base_file.h"
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
    if (!inMode.fileSet) return;
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
        ConsolePrint(kMsgOutputIsInput, name.c_str());
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
  if (outMode.fileSet) {
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

// Converts one file; false when it failed (the message has been printed and
// nothing of the output is left).
bool ConvertFile(const ConversionJob& job, const Mode& inMode, const Mode& outMode, int tabWidth,
                 RunFiles* files) {
  if (!files->MayWrite(job.inName, PlannedOutputNames(job, outMode))) return false;
  std::unique_ptr<CBaseFile> input = inMode.makeInput(job.inName);
  input->SetTabSize(tabWidth);  // other widths than 2 to 16 leave the input's own
  std::unique_ptr<CBaseFile> output = outMode.makeOutput(job.outName);
  const bool converted = outMode.convert(input.get(), output.get());
  input.reset();
  if (!converted) return false;
  const std::vector<std::wstring> names = output->GetOutputNames();
  std::wstring failed;
  if (!output->Commit(&failed)) {
    const std::wstring failure = output->OutputFailure();
    if (failure.empty()) {
      ConsolePrint(outMode.fileSet ? kMsgCannotWriteSet : kMsgCannotWrite, failed.c_str());
    } else {
      ConsolePrint(L"%s", failure.c_str());
    }
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

int RunMorva(int argc, char** argv) {
  if (argc <= 1) {
    PrintHelp();
    return kExitUsage;
  }
  RunSettings settings;
  switch (ParseCommandLine(argc, argv, &settings)) {
    case ParseOutcome::Help: return kExitConverted;
    case ParseOutcome::UsageError: PrintHelp(); return kExitUsage;
    case ParseOutcome::Run: break;
  }
  ConversionJob& job = settings.job;
  const Mode* inMode = FindInputMode(job.inMode);
  const Mode* outMode = FindOutputMode(job.outMode);
  if (inMode == nullptr || outMode == nullptr) {
    PrintHelp();
    return kExitUsage;
  }
  ConsolePrint(kMsgAnnounce, inMode->name, outMode->name);
  if (inMode == outMode) {
    ConsolePrint(kMsgMeaningless);
    return kExitUsage;
  }
  if (inMode->fileSet && outMode->looksAhead) {
    ConsolePrint(kMsgImpossible);
    return kExitUsage;
  }

  // Every pattern is expanded before the first conversion, so that the files
  // this run creates are never taken for inputs of the same run, and every
  // input is known before the first output is written.
  std::vector<std::vector<DirectoryEntry>> matches;
  RunFiles files;
  for (const std::wstring& pattern : settings.patterns) {
    matches.push_back(ExpandPattern(pattern));
    for (const DirectoryEntry& entry : matches.back()) {
      if (!entry.isDirectory) files.AddInput(entry.name, *inMode);
    }
  }

  unsigned processed = 0;
  bool failed = false;
  for (size_t i = 0; i < settings.patterns.size(); ++i) {
    if (matches[i].empty()) {
      ConsolePrint(kMsgNotFound, settings.patterns[i].c_str());
      failed = true;
      continue;
    }
    for (const DirectoryEntry& entry : matches[i]) {
      if (entry.isDirectory) continue;
      const FileStatus status = QueryFile(entry.name);
      const FileKind kind = status.kind;
      // A file given twice, or matched by two patterns, is converted once.
      if (kind != FileKind::Missing && !files.converted.insert(status.identity).second) continue;
      job.inName = entry.name;
      job.MakeOutputName();
      ConsolePrint(kMsgFilePair, job.inName.c_str(), job.outName.c_str());
      ++processed;
      if (kind == FileKind::Other) {
        ConsolePrint(kMsgNotRegular, job.inName.c_str());
        failed = true;
      } else if (!ConvertFile(job, *inMode, *outMode, settings.tabWidth, &files)) {
        failed = true;
      }
    }
  }
  ConsolePrint(kMsgDone, static_cast<int>(processed));
  return failed ? kExitFailed : kExitConverted;
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
