// korvid's entry point: options, input name, output name, read, method,
// write, in that order. Returns the exit status, which is always 0: success
// or failure shows in the console text and in the presence of the output.
#pragma once

#include <cstdint>

#include "front/packer_state.h"

int KorvidMain(int argc, char** argv);

// The keyword of -t: upper-cased, it must be exactly DORVIK or BKGRANOL.
// Returns Tool::None for anything else.

Tool ToolFromKeyword(const wchar_t* keyword);

// The address of -w: octal with strtol rules, cut to 16 bits. Returns the
// value, or -1 when it is above 0140000 and has to be ignored.
long WorkEndFromArgument(const char* argument);
