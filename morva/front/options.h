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

// Parses the options (GNU getopt_long: options and patterns in any order,
// "--" ends the options) and collects the patterns. Returns false when the
// run ends here because the help text has been printed (-h or --help).
bool ParseCommandLine(int argc, char** argv, RunSettings* settings);

void PrintHelp();

// The letter of a mode argument: its first character in upper case. An
// empty argument leaves *mode as it was.
void TakeModeLetter(const char* argument, wchar_t* mode);

// The value of -t: a decimal number with optional leading blanks and sign,
// read up to the first other character; 0 when there are no digits.
int TabWidthFromArgument(const char* argument);
