// korvid's entry point: options, input name, output name, read, method,
// write, result, in that order. Returns the exit status.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "front/packer_state.h"

struct MethodOutcome;
namespace proof {
struct Proof;
}

// Exit statuses: the output was written (or help was asked for); the run
// failed once the command line was understood; the command line was wrong.
constexpr int kExitWritten = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// What a test program may do inside a run; korvid's own main passes none,
// so the program that users run has no such door.
struct RunHooks {
  // Called with a packed image before its proof: a test breaks the image
  // here to see that korvid refuses to write it.
  std::function<void(std::vector<uint8_t>& image)> beforeProof;
  // Called once an image has passed its proof, before it is written, with
  // what packing and the proof placed where: the page draws the BK's memory
  // from it.
  std::function<void(const PackerState& state, const MethodOutcome& packed,
                     const proof::Proof& proven)>
      proven;
};

int KorvidMain(int argc, char** argv, const RunHooks& hooks = RunHooks());

enum class CommandLine { Run, Help, Wrong };

// Parses the options into *state. Help ends the run as a success; a wrong
// option or option argument ends it with a message and the help, both
// printed here. The operands (input and output names) are left to the caller
// from optind on.
CommandLine ParseOptions(int argc, char** argv, PackerState* state);

// The address of -w: octal digits only (a leading 0 is allowed), at most
// 0140000. None for anything else: a sign, blanks, other digits or letters,
// an empty text, or a larger number.
std::optional<uint16_t> WorkEndFromArgument(const char* argument);
// The address of -a: the same rule, at most 0177777.
std::optional<uint16_t> LoadAddressFromArgument(const char* argument);
