// Test helpers for the Dorvik method: options by name, packing with the
// progress steps counted, and the facts an unpacking leaves for the notes.
// Header-only, for the unit tests beside this file and the emulator tests.
#pragma once

#include <cstdint>
#include <vector>

#include "dorvik/dorvik.h"
#include "dorvik/dorvik_pack_compressor.h"
#include "support/bk_bytes.h"

namespace dorvik_testing {

// Options by name: Options().Long().Data().Work(040000).
struct Options : dorvik::PackOptions {
  Options& Long() {
    longStub = true;
    return *this;
  }
  Options& Data() {
    dataMode = true;
    return *this;
  }
  Options& Work(uint16_t end) {
    workEnd = end;
    return *this;
  }
};

struct Packed : dorvik::PackResult {
  int steps = 0;  // how often the method reported progress
  bool ok() const { return error == dorvik::PackError::None; }
};

inline Packed Pack(uint16_t loadAddress, const Bytes& data, dorvik::PackOptions options = {}) {
  Packed packed;
  options.onStep = [&packed] { ++packed.steps; };
  static_cast<dorvik::PackResult&>(packed) = dorvik::Pack(data, loadAddress, options);
  return packed;
}

inline dorvik::UnpackResult Unpack(uint16_t loadAddress, const Bytes& image) {
  return dorvik::Unpack(image, loadAddress);
}

inline bool Unpacked(const dorvik::UnpackResult& result) {
  return result.error == dorvik::UnpackError::None;
}

// Whether the long stub's words differ from the data: the front notes it.
inline bool LongWordsDiffer(const dorvik::UnpackResult& result) {
  return result.longStub && !result.longWords.match;
}

// Nothing to note: the unpacked file says all the image says.
inline bool NothingToNote(const dorvik::UnpackResult& result) {
  return !result.startAddressLost && !LongWordsDiffer(result);
}

// The analysis steps of packing, after the region is prepared: high-byte
// statistics up to the delta parameters, as Pack runs them.
inline void RunAnalysisSteps(dorvik::Packing& p) {
  dorvik::CountHighBytes(p);
  dorvik::CollectCandidates(p);
  dorvik::SelectDictionary(p);
  dorvik::ChooseBase(p);
  dorvik::AddSpecialValues(p);
  dorvik::ComputeDeltaParameters(p);
}

}  // namespace dorvik_testing
