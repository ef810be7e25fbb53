// Every message of korvid goes through ConsolePrint (common/console.h).
#pragma once

#include "common/console.h"

// A note about a result (a warning that goes with the output) waits until
// the result is in place: ConsoleNote keeps the formatted text, the driver
// prints it after the run's result line with PrintConsoleNotes, or drops it
// with DropConsoleNotes when the run fails and there is no result.
void ConsoleNote(const wchar_t* format, ...);
void PrintConsoleNotes();
void DropConsoleNotes();
