// morva's entry point: options, validity of the mode letters, announcement,
// refusals, then every file of every pattern, then the count. Returns the
// exit status: 0 when every file was converted (and for -h), 1 when a file
// failed or a pattern matched nothing, 2 for a usage error.
#pragma once

int MorvaMain(int argc, char** argv);
