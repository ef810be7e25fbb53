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

std::wstring FormatTextArgs(const wchar_t* format, const FormatArg* args, size_t count) {
  std::wstring out;
  size_t next = 0;
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
    if (*p == L'\0') return out;
    if (*p == L'%') {
      out += L'%';
      continue;
    }
    if (*p != L's' && *p != L'd' && *p != L'u' && *p != L'o' && *p != L'c') {
      out += L'%';  // not a conversion we know: keep it as it stands
      out += *p;
      continue;
    }
    if (next == count) {
      out += L"%?";
      continue;
    }
    const FormatArg& arg = args[next++];
    const bool isNumber =
        arg.kind() == FormatArg::Kind::kSigned || arg.kind() == FormatArg::Kind::kUnsigned;
    const bool negative = arg.kind() == FormatArg::Kind::kSigned && arg.signedValue() < 0;
    const unsigned long long magnitude =
        arg.kind() == FormatArg::Kind::kSigned
            ? (negative ? 0ULL - static_cast<unsigned long long>(arg.signedValue())
                        : static_cast<unsigned long long>(arg.signedValue()))
            : arg.unsignedValue();
    switch (*p) {
      case L's':
        if (arg.kind() != FormatArg::Kind::kText) {
          out += L"%?";
        } else {
          const std::wstring value = arg.text();
          if (static_cast<int>(value.size()) < width) out.append(width - value.size(), L' ');
          out += value;
        }
        break;
      case L'd':
        if (isNumber) {
          AppendNumber(out, magnitude, negative, 10, zeroPad, width);
        } else {
          out += L"%?";
        }
        break;
      case L'u':
      case L'o':
        if (isNumber && !negative) {
          AppendNumber(out, magnitude, false, *p == L'o' ? 8 : 10, zeroPad, width);
        } else {
          out += L"%?";
        }
        break;
      default:  // L'c': a character, or a number that is its code
        if (arg.kind() == FormatArg::Kind::kText || negative) {
          out += L"%?";
        } else {
          out += static_cast<wchar_t>(magnitude);
        }
        break;
    }
  }
  return out;
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
