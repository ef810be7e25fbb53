#include "front/driver.h"
#include "common/console.h"
#include "web/binding.h"

extern "C" {

// Runs morva with this command line (argv[0] included); returns its exit
// status. The console text waits for WebConsoleText.
int WebRunMorva(int argc, char** argv) {
  RunConsoleText().clear();
  SetConsoleSink(&RunConsoleText());
  const int status = MorvaMain(argc, argv);
  SetConsoleSink(nullptr);
  return status;
}

}  // extern "C"
