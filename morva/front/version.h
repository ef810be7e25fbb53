// morva --version.
#pragma once

// Prints "morva X.Y.Z" and a line feed on standard output.
void PrintVersion();
