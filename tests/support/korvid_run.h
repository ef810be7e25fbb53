// Running the korvid program the way a user runs it, for every test that
// runs it: in a folder of the test's choosing, with the caller's locale and
// POSIXLY_CORRECT out of the way (a test may set them again).
#pragma once

#include <string>
#include <vector>

#include "support/run_program.h"

// korvid's exit statuses: written (or help), failed, wrong command line.
constexpr int kKorvidWritten = 0;
constexpr int kKorvidFailed = 1;
constexpr int kKorvidUsage = 2;

// Runs the korvid program at `korvid` in `folder`.
RunResult RunKorvidAt(const std::string& korvid, const std::string& folder,
                      const std::vector<std::string>& args, RunOptions options = {});

// `out` with the estimated unpacking time taken out of each packing result:
// " OK, Ratio 48%, ~0,3 с на БК-0010" becomes " OK, Ratio 48%", " OK, ~0,0 с
// на БК-0010" (an empty input) " OK". Only the exact form is taken out (a
// tilde, digits, a decimal comma, one digit), so a test that compares the
// rest still sees a time that is missing or malformed.
std::string WithoutUnpackTime(const std::string& out);

#ifdef KORVID_BINARY
// The korvid of this build.
inline RunResult RunKorvid(const std::string& folder, const std::vector<std::string>& args,
                           RunOptions options = {}) {
  return RunKorvidAt(KORVID_BINARY, folder, args, std::move(options));
}
#endif
