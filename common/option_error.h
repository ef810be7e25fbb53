// The diagnostic for a command-line element that getopt_long has refused,
// in the same words on every system: the C libraries word their own
// messages differently, so both programs switch them off (opterr = 0) and
// write this one.
#pragma once

#include <getopt.h>

// `element` is the refused element as given, `refused` getopt_long's optopt
// for it (0 for an unknown long option), `longOptions` the table it parsed
// with. Written to the error stream through the console writer, prefixed
// with `program`.
void ReportOptionError(const char* program, const char* element, int refused,
                       const option* longOptions);
