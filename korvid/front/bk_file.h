// BK binary files: a load-address word and a length word (both
// little-endian), then the data as it lies in BK memory from the load
// address upward. korvid reads three forms of it and writes one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An input of this size or more is refused before it is opened.
constexpr uint64_t kMaxInputSize = 0160000;  // 57344 bytes
// Header lengths of the two header forms, and the offset of the data in the
// extended form (16 skipped bytes after the two words, 2 trailing bytes).
constexpr uint64_t kHeaderSize = 4;
constexpr uint64_t kExtendedOverhead = 22;
constexpr uint64_t kExtendedDataOffset = 20;

// Reads packerState.inputName into fileBuffer from offset 0, sets dataLength
// and, for a file with a header, loadAddress. Prints the progress text that
// begins the run's console line, or one error message; false on failure.
bool ReadInputFile();

// Sets packerState.outputName: the first of `args` (the optional output name
// of the command line) or else the input name, with its text from the last
// '.' replaced by `extension`, or with `extension` appended when there is no
// '.' at all.
void BuildOutputName(int count, const std::vector<std::wstring>& args,
                     const std::wstring& extension);

// True (after printing a message) when the output name designates the input
// file itself, so that writing the output would destroy the input.
bool OutputWouldOverwriteInput();

// Create outputName and write the method's result with the BK binary header,
// or bare with -r. Every write and the close are checked: on failure a
// message is printed, the partial file is removed and false is returned.
bool WriteDorvikOutput();
bool WriteGranolOutput();
