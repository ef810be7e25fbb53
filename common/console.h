// Console text of both programs: formatted from wide format strings and
// written to standard output (or the error stream) as UTF-8, whatever the
// locale, so that Russian messages read the same on every system. A file
// name shows as the bytes the system gave (see EncodeEscapingBytes).
#pragma once

#include <cstddef>
#include <string>

// One argument of a formatted text: a text, a whole number or a
// character. Only these kinds convert to it, so that a format's argument of
// another kind (a narrow string, a floating-point number, an enumeration)
// does not build.
class FormatArg {
 public:
  enum class Kind { kText, kSigned, kUnsigned, kCharacter };

  FormatArg(const wchar_t* text) : kind_(Kind::kText), text_(text != nullptr ? text : L"") {}
  FormatArg(const std::wstring& text) : kind_(Kind::kText), text_(text.c_str()) {}
  FormatArg(int value) : kind_(Kind::kSigned), signed_(value) {}
  FormatArg(long value) : kind_(Kind::kSigned), signed_(value) {}
  FormatArg(long long value) : kind_(Kind::kSigned), signed_(value) {}
  FormatArg(unsigned value) : kind_(Kind::kUnsigned), unsigned_(value) {}
  FormatArg(unsigned long value) : kind_(Kind::kUnsigned), unsigned_(value) {}
  FormatArg(unsigned long long value) : kind_(Kind::kUnsigned), unsigned_(value) {}
  FormatArg(wchar_t value) : kind_(Kind::kCharacter), unsigned_(static_cast<unsigned>(value)) {}
  FormatArg(const char*) = delete;
  FormatArg(double) = delete;

  Kind kind() const { return kind_; }
  const wchar_t* text() const { return text_; }
  long long signedValue() const { return signed_; }
  unsigned long long unsignedValue() const { return unsigned_; }

 private:
  Kind kind_;
  const wchar_t* text_ = L"";
  long long signed_ = 0;
  unsigned long long unsigned_ = 0;
};

// Formats a wide format string. Conversions: %s (a text), %d (a number),
// %u and %o (a number that is not negative; %o in octal), %c (a character),
// %%; a '0' flag and a field width are honoured. An unknown conversion
// stays as it stands. A conversion whose argument is missing or of the
// wrong kind (a text for %d, a negative number for %o) shows as "%?" and
// the argument is used up, so that a faulty message is seen, never read
// from memory that is not its argument.
std::wstring FormatTextArgs(const wchar_t* format, const FormatArg* args, size_t count);

template <typename... Args>
std::wstring FormatText(const wchar_t* format, const Args&... args) {
  const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
  return FormatTextArgs(format, list, sizeof...(Args));
}

// The Russian form of a noun that follows the number n: `one` for 1, 21,
// 101 (файл, байт), `few` for 2-4, 22-24 (файла, байта), `many` for 0, 5-20,
// 25-30, 111-114 (файлов, байт).
const wchar_t* RussianPlural(unsigned long long n, const wchar_t* one, const wchar_t* few,
                             const wchar_t* many);

// Writes text that is formatted already.
void ConsoleWrite(const std::wstring& text);
// Formats and writes the text; returns the number of characters written.
template <typename... Args>
int ConsolePrint(const wchar_t* format, const Args&... args) {
  const std::wstring text = FormatText(format, args...);
  ConsoleWrite(text);
  return static_cast<int>(text.size());
}
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
