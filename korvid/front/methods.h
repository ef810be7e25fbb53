// korvid's methods, one row each: the keyword of -t, its line in the help,
// the extension of its images, and how the front runs each direction. The
// keyword rule, the dispatch and the help read this table and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bk/bk_file.h"
#include "bk/bytes.h"
#include "front/packer_state.h"
#include "proof/proof.h"

// What a method run leaves for the output file; nothing when the method
// refused, its message printed.
struct MethodOutcome {
  bool done = false;
  std::vector<uint8_t> bytes;
  uint16_t loadAddress = 0;         // for the output's header
  std::wstring resultDetails;       // the method's addition to the result line
  // What the output cannot say, or what packing changed for good: lines
  // printed after the result.
  std::vector<std::wstring> notes;
  // Packing with Dorvik: the stub's work area as the packer placed it, the
  // one place besides the image and the data that the proof lets it write.
  uint16_t workStart = 0;
  // Packing with Sokol: the bytes above the program that unpacking in place
  // needs, which the proof lets it write.
  uint32_t margin = 0;
};

struct Method {
  const wchar_t* keyword;  // -t takes it in any case, at its exact length
  const wchar_t* name;     // as the help and the messages name it
  const wchar_t* packExtension;
  // Run the method on the state's data and options; print progress and the
  // message of a refusal.
  MethodOutcome (*pack)(const PackerState& state);
  // Run a packed image on the PDP-11 model as a BK would (proof/proof.h):
  // only a proven image is written.
  proof::Proof (*prove)(const PackerState& state, const MethodOutcome& packed);
  MethodOutcome (*unpack)(const PackerState& state);
  // An image of the method in bytes without a BK header, and its load
  // address where the image records it.
  RawImage (*findRawImage)(ByteView bytes);
};

extern const Method kMethods[];
extern const size_t kMethodCount;

// The row whose keyword `keyword` is, upper-cased; null for none.
const Method* MethodForKeyword(const std::wstring& keyword);
