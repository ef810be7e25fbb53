// Every message of korvid goes through ConsolePrint.
#pragma once

#include <string>

// Formats a wide format string and writes the text to standard output as
// UTF-8, whatever the locale. Conversions: %s (const wchar_t*), %d (int),
// %u (unsigned), %o (unsigned, octal), %c (wchar_t), %%; a '0' flag and a
// field width are honoured. Returns the number of characters written.
int ConsolePrint(const wchar_t* format, ...);

// A note about a result (a warning that goes with the output) waits until
// the result is in place: ConsoleNote keeps the formatted text, the driver
// prints it after the run's result line with PrintConsoleNotes, or drops it
// with DropConsoleNotes when the run fails and there is no result.
void ConsoleNote(const wchar_t* format, ...);
void PrintConsoleNotes();
void DropConsoleNotes();

// Tests and fuzz targets can collect the console text instead of printing
// it: while a sink is set, ConsolePrint appends its UTF-8 output there.
void SetConsoleSink(std::string* sink);
