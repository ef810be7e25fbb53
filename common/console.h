// Console text of both programs: formatted from wide format strings and
// written to standard output (or the error stream) as UTF-8, whatever the
// locale, so that Russian messages read the same on every system. A file
// name shows as the bytes the system gave (see EncodeEscapingBytes).
#pragma once

#include <cstdarg>
#include <string>

// Formats a wide format string. Conversions: %s (const wchar_t*), %d (int),
// %u (unsigned), %o (unsigned, octal), %c (wchar_t), %%; a '0' flag and a
// field width are honoured. An unknown conversion stays as it stands.
std::wstring FormatText(const wchar_t* format, ...);
std::wstring FormatTextV(const wchar_t* format, va_list args);

// The Russian form of a noun that follows the number n: `one` for 1, 21,
// 101 (файл, байт), `few` for 2-4, 22-24 (файла, байта), `many` for 0, 5-20,
// 25-30, 111-114 (файлов, байт).
const wchar_t* RussianPlural(unsigned long long n, const wchar_t* one, const wchar_t* few,
                             const wchar_t* many);

// Formats and writes the text; returns the number of characters written.
int ConsolePrint(const wchar_t* format, ...);
// Writes text that is formatted already.
void ConsoleWrite(const std::wstring& text);
// Writes text to the error stream the same way: UTF-8 to a file or a pipe,
// characters to a console window. Not collected by a sink, and a failure
// there changes no exit status.
void ConsoleWriteError(const std::wstring& text);
// True once the console did not take some text (a closed pipe, a full
// device). The run goes on without it: nothing more is written there, and
// the programs' entry turns a success into exit status 1 (see entry.h).
bool ConsoleFailed();

// Tests can collect the console text instead of printing it: while a sink
// is set, the UTF-8 bytes are appended there.
void SetConsoleSink(std::string* sink);
