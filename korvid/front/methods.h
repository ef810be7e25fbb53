// korvid's methods, one row each: the keyword of -t, its line in the help,
// the extension of its images, and how the front runs each direction. The
// keyword rule, the dispatch and the help read this table and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bk/bk_file.h"
#include "bk/bytes.h"
#include "front/packer_state.h"
#include "proof/proof.h"

// A part of the BK's memory that packing chose and that the image may write
// besides itself and its data (Dorvik's work area, Sokol's margin), named
// for the page's map of the BK's memory: [first, end).
struct MemoryArea {
  const char* name;
  uint32_t first;
  uint32_t end;
  bool operator==(const MemoryArea& other) const {
    return std::string(name) == other.name && first == other.first && end == other.end;
  }
};

// What a method run leaves for the output file; nothing when the method
// refused, its message printed.
struct MethodOutcome {
  bool done = false;
  Bytes bytes;
  uint16_t loadAddress = 0;    // for the output's header
  std::wstring resultDetails;  // the method's addition to the result line
  // What the output cannot say, or what packing changed for good: lines
  // printed after the result.
  std::vector<std::wstring> notes;
  // Packing: runs an image on the PDP-11 model as a BK would, the method's
  // plan (proof/) with all that packing decided; only a proven image is
  // written. It proves the image it is given, which a test hook may have
  // broken on the way.
  std::function<proof::Proof(const Bytes& image)> prove;
  // Packing: the areas besides the image and the data that the image uses.
  std::vector<MemoryArea> areas;
};

struct Method {
  const wchar_t* keyword;  // -t takes it in any case, at its exact length
  const wchar_t* name;     // as the help and the messages name it
  const wchar_t* packExtension;
  // Run the method on the state's data and options; print progress and the
  // message of a refusal.
  MethodOutcome (*pack)(const PackerState& state);
  MethodOutcome (*unpack)(const PackerState& state);
  // An image of the method in bytes without a BK header, and its load
  // address where the image records it.
  RawImage (*findRawImage)(ByteView bytes);
};

extern const Method kMethods[];
extern const size_t kMethodCount;

// The row whose keyword `keyword` is, upper-cased; null for none.
const Method* MethodForKeyword(const std::wstring& keyword);
