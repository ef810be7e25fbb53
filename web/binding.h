// The page's door to the two programs (korvid_binding.cpp, morva_binding.cpp):
// each runs its program's own entry function, KorvidMain or MorvaMain, with a
// command line as the console gets it, on the in-memory file system the page
// has filled, and collects the console text instead of printing it. Every
// byte written, every name and every message is therefore the console's.
// The two halves are compiled apart because both programs have a
// front/driver.h of their own.
#pragma once

#include <string>

// The console text of the run in progress or the last one, UTF-8.
std::string& RunConsoleText();
