// morva's command line: the mode letters, the tab width and the patterns.
#pragma once

#include <string>
#include <vector>

#include "front/modes.h"

// What the command line asks for.
struct RunSettings {
  ConversionJob job;
  int tabWidth = 0;  // applied to the input only when 2 to 16
  std::vector<std::wstring> patterns;
};

enum class ParseOutcome {
  Run,         // the settings are complete
  Help,        // -h, --help or --version: the help text or the version has been printed
  UsageError,  // an unknown option or a missing option argument, reported by getopt_long
};

// Parses the options (GNU getopt_long: options and patterns in any order,
// "--" ends the options) and collects the patterns. Parsing stops at -h,
// at --version and at the first option that is unknown or lacks its argument.
ParseOutcome ParseCommandLine(int argc, char** argv, RunSettings* settings);

void PrintHelp();

// The letter of a mode argument: its first character in upper case. An
// empty argument leaves *mode as it was.
void TakeModeLetter(const char* argument, wchar_t* mode);

// The value of -t: a decimal number with optional leading blanks and sign,
// read up to the first other character; 0 when there are no digits.
int TabWidthFromArgument(const char* argument);
