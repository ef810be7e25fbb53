// The proof's plan for a Granol image (proof.h): the stub's contract read
// from granol_format.h alone.
#pragma once

#include <cstdint>

#include "bk/bytes.h"
#include "proof/proof.h"

namespace proof {

// A Granol image loaded beside the data (above it when it fits, else
// below), called with JSR PC; it must return with R0 = `loadAddress` and SP
// as before the call, having used no more than a few words of the stack.
Proof ProveGranol(const Bytes& image, const Bytes& data, uint16_t loadAddress);

}  // namespace proof
