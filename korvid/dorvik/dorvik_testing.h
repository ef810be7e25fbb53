// Test helpers for the Dorvik method: options by name, packing with the
// progress steps counted, and the facts an unpacking leaves for the notes.
// Header-only, for the unit tests beside this file and the emulator tests.
#pragma once

#include <cstdint>
#include <vector>

#include "dorvik/dorvik.h"
#include "dorvik/dorvik_compressor.h"
#include "support/bk_bytes.h"

namespace dorvik_testing {

// Options by name: Options().Long().Data().Work(040000).
struct Options : DorvikOptions {
  Options& Long() {
    longStub = true;
    return *this;
  }
  Options& Data() {
    dataMode = true;
    return *this;
  }
  Options& Work(int32_t end) {
    workEnd = end;
    return *this;
  }
};

struct Packed : DorvikPackResult {
  int steps = 0;  // how often the method reported progress
  bool ok() const { return error == DorvikPackError::None; }
};

inline Packed Pack(uint16_t loadAddress, const Bytes& data, DorvikOptions options = {}) {
  Packed packed;
  options.onStep = [&packed] { ++packed.steps; };
  static_cast<DorvikPackResult&>(packed) = DorvikPack(data, loadAddress, options);
  return packed;
}

inline DorvikUnpackResult Unpack(uint16_t loadAddress, const Bytes& image) {
  return DorvikUnpack(image, loadAddress);
}

inline bool Unpacked(const DorvikUnpackResult& result) {
  return result.error == DorvikUnpackError::None;
}

// Whether the long stub's words differ from the data: the front notes it.
inline bool LongWordsDiffer(const DorvikUnpackResult& result) {
  return result.longStub && !result.longWords.match;
}

// Nothing to note: the unpacked file says all the image says.
inline bool NothingToNote(const DorvikUnpackResult& result) {
  return !result.startAddressLost && !LongWordsDiffer(result);
}

// The analysis steps of packing, after the region is prepared: high-byte
// statistics up to the delta parameters, as DorvikPack runs them.
inline void RunAnalysisSteps(DorvikPacking& p) {
  CountHighBytes(p);
  CollectCandidates(p);
  SelectDictionary(p);
  ChooseBase(p);
  AddSpecialValues(p);
  ComputeDeltaParameters(p);
}

}  // namespace dorvik_testing
