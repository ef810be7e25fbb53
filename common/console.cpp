#include "common/console.h"

#include <cstdio>

#include "common/platform.h"
#include "common/utf8.h"

namespace {

std::string* consoleSink = nullptr;
bool consoleFailed = false;

void AppendNumber(std::wstring& out, unsigned long long magnitude, bool negative, unsigned base,
                  bool zeroPad, int width) {
  wchar_t digits[32];
  int count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + magnitude % base);
    magnitude /= base;
  } while (magnitude != 0);
  const int length = count + (negative ? 1 : 0);
  if (!zeroPad) out.append(width > length ? width - length : 0, L' ');
  if (negative) out += L'-';
  if (zeroPad) out.append(width > length ? width - length : 0, L'0');
  while (count > 0) out += digits[--count];
}

}  // namespace

std::wstring FormatTextV(const wchar_t* format, va_list args) {
  std::wstring out;
  for (const wchar_t* p = format; *p != L'\0'; ++p) {
    if (*p != L'%') {
      out += *p;
      continue;
    }
    ++p;
    bool zeroPad = false;
    if (*p == L'0') {
      zeroPad = true;
      ++p;
    }
    int width = 0;
    while (*p >= L'0' && *p <= L'9') width = width * 10 + (*p++ - L'0');
    switch (*p) {
      case L's': {
        const wchar_t* text = va_arg(args, const wchar_t*);
        const std::wstring value = text != nullptr ? text : L"";
        if (static_cast<int>(value.size()) < width) out.append(width - value.size(), L' ');
        out += value;
        break;
      }
      case L'd': {
        const long long value = va_arg(args, int);
        AppendNumber(out, value < 0 ? 0ULL - static_cast<unsigned long long>(value) : value,
                     value < 0, 10, zeroPad, width);
        break;
      }
      case L'u': AppendNumber(out, va_arg(args, unsigned), false, 10, zeroPad, width); break;
      case L'o': AppendNumber(out, va_arg(args, unsigned), false, 8, zeroPad, width); break;
      case L'c': out += static_cast<wchar_t>(va_arg(args, int)); break;
      case L'%': out += L'%'; break;
      case L'\0': return out;
      default:  // not a conversion we know: keep it as it stands
        out += L'%';
        out += *p;
        break;
    }
  }
  return out;
}

std::wstring FormatText(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = FormatTextV(format, args);
  va_end(args);
  return text;
}

void ConsoleWrite(const std::wstring& text) {
  const std::string bytes = EncodeEscapingBytes(text);
  if (consoleSink != nullptr) {
    consoleSink->append(bytes);
  } else if (!consoleFailed && !WriteStandardOutput(bytes)) {
    // What a full or closed console would take later is no use: a line
    // here and there would only mislead.
    consoleFailed = true;
  }
}

void ConsoleWriteError(const std::wstring& text) { WriteStandardError(EncodeEscapingBytes(text)); }

bool ConsoleFailed() { return consoleFailed; }

int ConsolePrint(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const std::wstring text = FormatTextV(format, args);
  va_end(args);
  ConsoleWrite(text);
  return static_cast<int>(text.size());
}

void SetConsoleSink(std::string* sink) { consoleSink = sink; }

const wchar_t* RussianPlural(unsigned long long n, const wchar_t* one, const wchar_t* few,
                             const wchar_t* many) {
  const unsigned long long lastTwo = n % 100;
  if (lastTwo >= 11 && lastTwo <= 14) return many;
  switch (n % 10) {
    case 1: return one;
    case 2:
    case 3:
    case 4: return few;
    default: return many;
  }
}
