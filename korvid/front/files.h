// The input and output of a run: reading the BK binary file (the parse
// itself is bk/bk_file.h), naming the output, writing it whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "front/methods.h"
#include "front/packer_state.h"

// Reads state.inputName into state.data, state.loadAddress and
// state.addressSource. When unpacking, `findRawImage` (the method's) tells a
// headerless image from a near-miss header and gives its load address where
// the image records it; a headerless file that holds no image is refused.
// Elsewhere a headerless file loads at the address of -a, or at 01000. A
// program to pack that would run past the address space is refused. Prints
// notes (ignored padding, the form taken, an -a not used), then the progress
// text that begins the run's console line, or one error message; false on
// failure.
bool ReadInputFile(PackerState& state, RawImage (*findRawImage)(ByteView bytes));

// The output name for `name`: its extension (common/names.h), the text from
// a '.' in the last path component, not a leading one, which belongs to a
// hidden name (LeadingDot::PartOfName), replaced by `extension`, or
// `extension` appended when it has none. The folder stays as given.
std::wstring OutputNameFor(const std::wstring& name, const std::wstring& extension);

// The output name of a run: OutputNameFor the given output name, or for the
// input name when none is given. A given name that is a folder (one that
// exists, ., .., or any name that ends with a separator) gets, inside it,
// the name that the input gives, as cp does.
std::wstring OutputNameForRun(const std::wstring& inputName, const std::wstring* given,
                              const std::wstring& extension);

// True (after printing a message) when the output name designates the input
// file itself, so that writing the output would destroy the input.
bool OutputWouldOverwriteInput(const PackerState& state);

// Writes the outcome's bytes to state.outputName with the BK binary header
// (the outcome's load address and the length), or bare with -r, whole or
// not at all (see OutputFile). On failure a message is printed, an earlier
// file of that name is unchanged, and false is returned.
bool WriteOutputFile(const PackerState& state, const MethodOutcome& outcome);
