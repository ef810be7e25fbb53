// Runs a program the way a user would, in a given directory, and captures
// what it prints. Used by the end-to-end and emulator tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct RunResult {
  int exitStatus = -1;   // exit code, or -1 when the program did not exit normally
  bool timedOut = false;
  std::string out;       // standard output
  std::string err;       // standard error
};

struct RunOptions {
  std::string workingDirectory;  // empty: the test's own
  // Variables to set ("NAME", "value") or, with an empty value, to remove.
  std::vector<std::pair<std::string, std::string>> environment;
  int timeoutSeconds = 60;
  // Largest file the program may write, in bytes; a write beyond it fails
  // as on a full disk. Negative: no limit.
  long long fileSizeLimit = -1;
  // Run as an unprivileged user when the tests run as root, so that file
  // permissions apply to the program as they apply to a user.
  bool dropPrivileges = false;
  // Where standard output goes: captured in RunResult::out, or a console
  // that takes nothing: a pipe whose reader has gone (as after `| head`),
  // or a full device (/dev/full).
  enum class Console { Captured, ClosedPipe, Full } console = Console::Captured;
};

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options = {});

// Full path of a program found on PATH, or an empty string.
std::string FindOnPath(const std::string& name);
