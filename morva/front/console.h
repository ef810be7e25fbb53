// Every message of morva goes through ConsolePrint.
#pragma once

#include <string>

// Formats a wide format string and writes the text to standard output as
// UTF-8, whatever the locale. Conversions: %s (const wchar_t*), %d (int),
// %u (unsigned), %c (wchar_t), %%; a '0' flag and a field width are honoured.
// Returns the number of characters written.
int ConsolePrint(const wchar_t* format, ...);

// Formats like ConsolePrint into a wide string (used for generated names).
std::wstring FormatText(const wchar_t* format, ...);

// Tests and fuzz targets can collect the console text instead of printing
// it: while a sink is set, ConsolePrint appends its UTF-8 output there.
void SetConsoleSink(std::string* sink);
