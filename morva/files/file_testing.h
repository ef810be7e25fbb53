// Test helpers for the file classes: names of temporary files in the wide
// form the classes take, and reading a whole file the way every conversion
// routine reads it.
#pragma once

#include <string>

#include "common/platform.h"
#include "files/base_file.h"

inline std::wstring Wide(const std::string& path) { return WidenName(path.c_str()); }

// Read, then test: the value of the read that ran into the end is dropped.
// The guard stops a reader that never ends instead of hanging the test.
inline std::u16string ReadAll(CBaseFile& file) {
  std::u16string text;
  for (int guard = 0; guard < 1 << 20; ++guard) {
    const CodeUnit c = file.ReadChar();
    if (file.IsEOF()) break;
    text += c;
  }
  return text;
}
