#include "front/version.h"

#include <cstdio>

#include "project_version.h"

// Plain ASCII, so it needs none of the console's UTF-8 handling.
void PrintVersion() {
  std::fputs("morva " PROJECT_VERSION_TEXT "\n", stdout);
  std::fflush(stdout);
}
