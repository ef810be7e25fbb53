// korvid --version.
#pragma once

// Prints "korvid X.Y.Z" and a line feed on standard output.
void PrintVersion();
