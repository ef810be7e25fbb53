// korvid --version.
#pragma once

// Prints "korvid X.Y.Z" and a line feed on standard output. Named for its
// program: the page links korvid and morva into one module.
void PrintKorvidVersion();
