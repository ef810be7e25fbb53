#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/entry.h"
#include "common/platform.h"

// The C runtime would expand wildcards in the arguments before wmain; morva
// expands its patterns itself, with its own rules, so they must arrive as
// typed.
extern "C" {
int _dowildcard = 0;
}

int wmain(int argc, wchar_t** wargv) {
  // Console text and diagnostics are bytes as on every other system: no
  // "\n" becomes "\r\n" on the way out.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) arguments.push_back(NarrowName(wargv[i]));
  // "/?" alone is how Windows programs are asked for their help.
  if (argc == 2 && arguments[1] == "/?") arguments[1] = "--help";
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int status = ProgramMain(argc, argv.data());
  return status == 0 && ConsoleFailed() ? kExitConsoleFailed : status;
}
