#include "common/entry.h"
#include "front/driver.h"

int ProgramMain(int argc, char** argv) { return KorvidMain(argc, argv); }
