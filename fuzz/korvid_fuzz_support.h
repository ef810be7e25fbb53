// Shared by korvid's fuzz targets: a fresh run state for every input, the
// console collected instead of printed, and a scratch file for the reader.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "front/console.h"
#include "front/packer_state.h"
#include "front/platform.h"

// Puts korvid back into the state of a new process and silences it.
inline void StartKorvidRun() {
  static std::string console;
  console.clear();
  SetConsoleSink(&console);
  ResetPackerState();
}

// A file that holds the fuzz input, so that the BK file reader runs on it.
inline std::wstring WriteScratchFile(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/korvid-fuzz-" +
           std::to_string(getpid()) + ".bin";
  }();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  if (std::fclose(file) != 0) std::abort();
  return WidenName(path.c_str());
}
