#include "front/console.h"

#include <cstdarg>

namespace {

std::wstring pendingNotes;

}  // namespace

void ConsoleNote(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  pendingNotes += FormatTextV(format, args);
  va_end(args);
}

void PrintConsoleNotes() {
  if (!pendingNotes.empty()) ConsoleWrite(pendingNotes);
  pendingNotes.clear();
}

void DropConsoleNotes() { pendingNotes.clear(); }
