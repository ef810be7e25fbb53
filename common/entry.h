// The entry point of both programs. Each program defines ProgramMain; the
// system's own entry (entry_posix.cpp, entry_win.cpp, chosen by CMake) calls
// it with the command line as the drivers take it: NUL-terminated byte
// strings that WidenName turns into names. On POSIX systems they are the
// bytes the system gives; on Windows the UTF-16 arguments arrive encoded as
// UTF-8 (lone surrogates as their three-byte forms, so that every name comes
// back exactly), and the C runtime expands no wildcards.
#pragma once

int ProgramMain(int argc, char** argv);
