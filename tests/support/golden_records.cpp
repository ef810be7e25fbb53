#include "support/golden_records.h"

#include <fstream>

std::map<std::string, std::string> LoadGoldenRecords(const std::string& path) {
  std::map<std::string, std::string> records;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    records[line.substr(0, line.find(' '))] = line;
  }
  return records;
}

std::string RecordField(const std::string& record, const std::string& key) {
  const size_t at = record.find(" " + key + "=");
  if (at == std::string::npos) return "";
  const size_t start = at + key.size() + 2;
  return record.substr(start, record.find(' ', start) - start);
}
