// The pinned records of the golden tests: one line a case, its name first,
// then `key=value` fields; lines that are empty or start with '#' are notes.
#pragma once

#include <map>
#include <string>
#include <vector>

// The records of the file at `path`, by case name; none when it cannot be
// read. A name that comes twice is kept in `repeated` (once each), and
// neither of its records counts: the file must say one thing per case.
struct GoldenRecords {
  std::map<std::string, std::string> byName;
  std::vector<std::string> repeated;
};
GoldenRecords LoadGoldenRecords(const std::string& path);

// The value of `key` in a record, or "" when the record has none.
std::string RecordField(const std::string& record, const std::string& key);
