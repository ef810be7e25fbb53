// The proof's plan for a Dorvik image (proof.h): the stub's contract read
// from dorvik_format.h alone.
#pragma once

#include <cstdint>

#include "bk/bytes.h"
#include "proof/proof.h"

namespace proof {

struct DorvikEntry {
  bool dataMode = false;  // the stub returns to its caller
  bool longStub = false;  // the stub leaves length and checksum at 0266, 0312, 0350
  // The stub's work area as packing placed it (dorvik::PackResult::workStart):
  // the only memory besides the image and the data it may write.
  uint16_t workStart = 0;
};

// A Dorvik image loaded at `loadAddress` and entered there, or, for files
// below 01000, at 01000 through the autostart word of its stack image; the
// program's start address is the load address, 01000, or the stack image's
// autostart address.
Proof ProveDorvik(const Bytes& image, const Bytes& data, uint16_t loadAddress,
                  const DorvikEntry& entry);

}  // namespace proof
