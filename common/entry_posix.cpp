#include <signal.h>

#include "common/console.h"
#include "common/entry.h"

int main(int argc, char** argv) {
  // A closed console must fail a write, not end the run (see entry.h).
  signal(SIGPIPE, SIG_IGN);
  const int status = ProgramMain(argc, argv);
  return status == 0 && ConsoleFailed() ? kExitConsoleFailed : status;
}
