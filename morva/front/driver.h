// morva's entry point: options, validity of the mode letters, announcement,
// refusals, then every file of every pattern, then the count. Returns the
// exit status, which is always 0: the console text tells what happened.
#pragma once

int MorvaMain(int argc, char** argv);
