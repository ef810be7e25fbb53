// The vocabulary of morva's formats: one row per mode letter of the command
// line, with everything the run needs to know of that letter, and the rule
// that names an output file after its input.
#pragma once

#include <memory>
#include <string>

#include "convert/convert.h"
#include "files/base_file.h"
#include "files/file_error.h"
#include "files/text_format.h"

// Moves the whole text of an input into an output (see convert/convert.h).
using ConversionRoutine = FileResult (*)(CBaseFile* input, CBaseFile* output,
                                         const ConversionOptions& options);

// What a mode's files are.
enum class ModeKind : uint8_t {
  PcText,  // a PC text file in a PC encoding (CWinFile)
  BkText,  // a BK editor text (CBkFile)
  AscSet,  // a BASIC ASC set: a header file and its parts (CBkAscFile)
};

struct Mode {
  wchar_t letter;  // upper case, as TakeModeLetter gives it
  ModeKind kind;
  TextFormat encoding;        // PcText: the encoding (Auto: detected); otherwise Auto
  const wchar_t* name;        // shown in the line that announces the run; null: the encoding's
  const wchar_t* extension;   // of its output files; null for a set or no output
  bool input;                 // an input mode
  bool output;                // an output mode
  ConversionRoutine convert;  // writes this mode's output
  // The routine looks ahead in its input and comes back, which a set read
  // part by part cannot do.
  bool looksAhead;

  const wchar_t* DisplayName() const;
};

// The row of a letter as input or as output mode; null when the letter is
// not one of that side (the letters are compared exactly, upper case).
const Mode* FindInputMode(wchar_t letter);
const Mode* FindOutputMode(wchar_t letter);

// The file object of a mode for a name; the object opens nothing yet.
std::unique_ptr<CBaseFile> MakeModeFile(const Mode& mode, const std::wstring& name);

// The letters of one run and the names of the file in hand.
struct ConversionJob {
  wchar_t inMode = L'A';   // input mode letter, upper case
  wchar_t outMode = L'U';  // output mode letter, upper case
  std::wstring inName;     // the input file as it is opened
  std::wstring outName;    // built by MakeOutputName

  // Sets outName from inName and outMode: the extension of the output mode
  // replaces the input's extension, or is appended when the input has none
  // or already has exactly that one (a.txt gives a.txt.txt for PC output;
  // on Windows, whose names ignore case, A.TXT gives A.TXT.txt).
  // A directory part of inName is kept, and its dots are not extensions.
  // The extension starts at the last dot of the file name even when that is
  // its first character: .profile gives .txt, .txt gives .txt.txt. This is
  // morva's naming rule from the start, which stored outputs and scripts
  // rely on, so it stays; korvid keeps a leading dot as part of the name.
  // A BASIC ASC set is named by the header file it gets: prog.bas gives
  // "prog  .ASC.bin".
  void MakeOutputName();
};
