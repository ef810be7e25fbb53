#include "front/file_search.h"

#include <algorithm>

namespace {

bool HasWildcard(const std::wstring& text) {
  return text.find_first_of(L"*?") != std::wstring::npos;
}

}  // namespace

bool MatchWildcard(const std::wstring& pattern, const std::wstring& name) {
  // Greedy matching with one backtrack point: the last '*' seen takes one
  // more character whenever the rest fails. Linear in practice, never
  // exponential however many stars the pattern holds.
  size_t p = 0;
  size_t n = 0;
  size_t starPattern = std::wstring::npos;
  size_t starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == L'*') {
      starPattern = p++;
      starName = n;
    } else if (p < pattern.size() &&
               (pattern[p] == L'?' || SameNameCharacter(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (starPattern != std::wstring::npos) {
      p = starPattern + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

std::vector<DirectoryEntry> ExpandPattern(const std::wstring& pattern) {
  std::vector<DirectoryEntry> matches;
  if (pattern.empty()) return matches;
  bool isDirectory = false;
  if (QueryPath(pattern, &isDirectory)) {
    matches.push_back({pattern, isDirectory});
    return matches;
  }
  const std::wstring directory = pattern.substr(0, FileNameStart(pattern));
  const std::wstring namePattern = pattern.substr(directory.size());
  if (!HasWildcard(namePattern)) return matches;

  std::vector<DirectoryEntry> entries;
  if (!ReadDirectory(directory.empty() ? L"." : directory, &entries)) return matches;
  for (DirectoryEntry& entry : entries) {
    if (MatchWildcard(namePattern, entry.name)) {
      matches.push_back({directory + entry.name, entry.isDirectory});
    }
  }
  // Byte order of the names as the system stores them, like "ls" in the C locale.
  std::sort(matches.begin(), matches.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
    return NarrowName(a.name) < NarrowName(b.name);
  });
  return matches;
}
