// The input and output of a run: reading the BK binary file (the parse
// itself is bk/bk_file.h), naming the output, writing it whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "front/methods.h"
#include "front/packer_state.h"

// Reads state.inputName into state.data and state.loadAddress.
// `isRawImage`, when given, tells a headerless image of the method from a
// near-miss header. A program to pack that would run past the address space
// is refused. Prints a note about ignored padding, then the progress text
// that begins the run's console line, or one error message; false on failure.
bool ReadInputFile(PackerState& state, bool (*isRawImage)(const uint8_t*, size_t));

// The output name for `name`: its extension, the text from a '.' in the
// last path component (not a leading one, which belongs to a hidden name),
// replaced by `extension`, or `extension` appended when it has none. The
// folder stays as given.
std::wstring OutputNameFor(const std::wstring& name, const std::wstring& extension);

// True (after printing a message) when the output name designates the input
// file itself, so that writing the output would destroy the input.
bool OutputWouldOverwriteInput(const PackerState& state);

// Writes the outcome's bytes to state.outputName with the BK binary header
// (the outcome's load address and the length), or bare with -r, whole or
// not at all (see OutputFile). On failure a message is printed, an earlier
// file of that name is unchanged, and false is returned.
bool WriteOutputFile(const PackerState& state, const MethodOutcome& outcome);
