// The entry point of both programs. Each program defines ProgramMain; the
// system's own entry (entry_posix.cpp, entry_win.cpp, chosen by CMake) calls
// it with the command line as the drivers take it: NUL-terminated byte
// strings that WidenName turns into names. On POSIX systems they are the
// bytes the system gives; on Windows the UTF-16 arguments arrive encoded as
// UTF-8 (lone surrogates as their three-byte forms, so that every name comes
// back exactly), the C runtime expands no wildcards, and "/?" alone, the
// Windows way to ask for help, arrives as "--help".
//
// ProgramMain returns the exit status: 0 done, 1 failed, 2 a wrong command
// line, in both programs. A console that did not take the run's text (a
// pipe whose reader has gone, as after `| head -1`, or a full device) stops
// no work: SIGPIPE is ignored, so that the write fails instead of ending
// the process, every file is still written, and a run that would exit
// with 0 exits with 1, since its messages were lost.
#pragma once

inline constexpr int kExitConsoleFailed = 1;

int ProgramMain(int argc, char** argv);
