#include "front/version.h"

#include "common/console.h"
#include "common/platform.h"
#include "project_version.h"

// Through the console, so that a console that fails is noticed here too.
void PrintKorvidVersion() { ConsoleWrite(WidenName("korvid " PROJECT_VERSION_TEXT "\n")); }
