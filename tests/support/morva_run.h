// Running the morva program the way a user runs it, for every test that
// runs it: in a folder of the test's choosing, with the caller's locale and
// POSIXLY_CORRECT out of the way (a test may set them again), and the lines
// that every run prints.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/run_program.h"

// morva's exit statuses: every file converted, a file failed, usage error.
constexpr int kMorvaConverted = 0;
constexpr int kMorvaFailed = 1;
constexpr int kMorvaUsage = 2;

// Runs the morva program at `morva` in `folder`.
RunResult RunMorvaAt(const std::string& morva, const std::string& folder,
                     const std::vector<std::string>& args, RunOptions options = {});

#ifdef MORVA_BINARY
// The morva of this build.
inline RunResult RunMorva(const std::string& folder, const std::vector<std::string>& args,
                          RunOptions options = {}) {
  return RunMorvaAt(MORVA_BINARY, folder, args, std::move(options));
}
#endif

// The first line of a run: the display names of the two modes.
std::string Announce(const std::string& in, const std::string& out);
// The last line: the number of files converted, and of those that failed
// or were refused when there are any ("1 файл", "2 файла", "5 файлов").
std::string Done(int converted, int failed = 0);
// The line of a PC input: the encoding found and the one read.
std::string EncodingReport(const std::string& detected, const std::string& used);
