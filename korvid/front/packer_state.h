// korvid's run state: one invocation packs or unpacks exactly one file, so
// the state is a single process-wide record that every step reads and writes.
#pragma once

#include <array>
#include <cstdint>
#include <string>

enum class Tool : int32_t { None = 0, Dorvik = 1, Granol = 2 };

// Size of each working buffer: the whole 16-bit BK address space.
constexpr size_t kBufferSize = 65536;
// Load address of a file that carries no header, and the end of the BK's
// system area and stack.
constexpr int32_t kDefaultLoadAddress = 01000;

struct PackerState {
  Tool selectedTool = Tool::None;
  bool unpackMode = false;
  bool rawOutput = false;  // -r: write the output without the BK binary header
  int32_t workEnd = -1;    // -w: end of the Dorvik work area; -1 when not given
  int32_t loadAddress = kDefaultLoadAddress;  // holds a 16-bit BK word
  int32_t dataLength = 0;  // valid bytes in the working buffer
  std::array<uint8_t, kBufferSize> fileBuffer{};   // input data from offset 0
  std::array<uint8_t, kBufferSize> granolImage{};  // the Granol result
  std::wstring inputName;
  std::wstring outputName;
};

extern PackerState packerState;

// Puts the run state and the Dorvik run state back to their start values.
// The program runs once per process; tests and fuzz targets call this
// between runs so that nothing leaks from one run into the next.
void ResetPackerState();
