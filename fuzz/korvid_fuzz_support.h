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
#include "common/platform.h"

// Puts korvid back into the state of a new process and collects its
// console text, which is returned.
inline std::string& StartKorvidRun() {
  static std::string console;
  console.clear();
  SetConsoleSink(&console);
  ResetPackerState();
  return console;
}

// Counts the occurrences of `what` in `text`.
inline int CountOf(const std::string& text, const std::string& what) {
  int count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// A run that reads its input prints the progress text and then, when it
// failed, exactly one error message; when it succeeded, no error. Notes (a
// padded file's before the progress text, the method's after the result)
// are whole lines.
inline void CheckOneResult(const std::string& console, bool succeeded) {
  const int errors = CountOf(console, "Ошибка:: ");
  if (succeeded ? errors != 0 : errors != 1) std::abort();
  if (succeeded) {
    PrintConsoleNotes();
    for (size_t at = console.find("Внимание:: "); at != std::string::npos;
         at = console.find("Внимание:: ", at + 1)) {
      if (console.find('\n', at) == std::string::npos) std::abort();
    }
  }
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
