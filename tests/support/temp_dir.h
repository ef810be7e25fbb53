// A scoped temporary directory for tests that need real files, and small
// helpers to read and write whole files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/bk_bytes.h"

class TempDir {
 public:
  // In `base`; by default in $TMPDIR or /tmp.
  explicit TempDir(const std::string& base = std::string());
  ~TempDir();  // removes the directory and everything in it
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // Full path of a name inside the directory.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

Bytes ReadFileBytes(const std::string& path);  // empty when the file is missing
bool FileExists(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& data);
void WriteFileText(const std::string& path, const std::string& text);
// Names in a directory, sorted, without "." and "..".
std::vector<std::string> ListDirectory(const std::string& path);
// The names of the BK files (*.bin) in a folder, sorted; none when the
// folder cannot be read.
std::vector<std::string> BkFilesIn(const std::string& folder);
