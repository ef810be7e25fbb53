// The vocabulary of morva's formats: one letter per format on the command
// line, a display name on the console, and the rule that names an output
// file after its input.
#pragma once

#include <string>

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
  // A BASIC ASC set is named by the header file it gets: prog.bas gives
  // "prog  .ASC.bin".
  void MakeOutputName();
};

inline constexpr const wchar_t* kInputModeLetters = L"ABUWOKEDV";
inline constexpr const wchar_t* kOutputModeLetters = L"8BUWOKEDV";

// True when inMode is an input letter and outMode an output letter; the
// letters are compared exactly, so they must already be upper case.
bool IsValidModePair(const ConversionJob& job);

// The display name of a mode letter, "Неизвестно" for any other letter.
const wchar_t* ModeName(wchar_t letter);

// The extension of output files of a mode letter: ".asc", ".edp" (E and D),
// ".vxt",
// ".txt" for every other letter.
const wchar_t* OutputExtension(wchar_t letter);
