#include "dorvik/dorvik_context.h"

DorvikContext dorvikContext;

void ClearDorvikContext() { dorvikContext = DorvikContext{}; }
