// Every message of morva goes through ConsolePrint (common/console.h): UTF-8
// on standard output, whatever the locale.
#pragma once

#include "common/console.h"
