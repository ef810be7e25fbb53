// Expansion of the file arguments: each argument is a pattern whose last
// component may hold the wildcards '*' (any run of characters, also none)
// and '?' (exactly one character). The shell may have expanded the patterns
// already; a quoted pattern is expanded here.
#pragma once

#include <string>
#include <vector>

#include "system/platform.h"

// True when name matches the wildcard pattern as a whole; letters compare
// as the system's names do (SameNameCharacter: on Windows in either case).
bool MatchWildcard(const std::wstring& pattern, const std::wstring& name);

// Everything the pattern designates, directories included (the caller skips
// them), each name with the pattern's directory part in front, so that it
// can be opened where it is. An argument that names an existing file or
// directory as it stands is taken literally. Wildcard matches are sorted by
// name, which gives the same order on every run. Empty when nothing matches.
std::vector<DirectoryEntry> ExpandPattern(const std::wstring& pattern);
