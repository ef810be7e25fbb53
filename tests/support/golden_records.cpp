#include "support/golden_records.h"

#include <algorithm>
#include <fstream>

GoldenRecords LoadGoldenRecords(const std::string& path) {
  GoldenRecords records;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::string name = line.substr(0, line.find(' '));
    if (!records.byName.emplace(name, line).second &&
        std::find(records.repeated.begin(), records.repeated.end(), name) == records.repeated.end()) {
      records.repeated.push_back(name);
    }
  }
  for (const std::string& name : records.repeated) records.byName.erase(name);
  return records;
}

std::string RecordField(const std::string& record, const std::string& key) {
  const size_t at = record.find(" " + key + "=");
  if (at == std::string::npos) return "";
  const size_t start = at + key.size() + 2;
  return record.substr(start, record.find(' ', start) - start);
}
