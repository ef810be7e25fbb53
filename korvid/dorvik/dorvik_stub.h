// The PDP-11 self-extractor that every Dorvik image carries in front of its
// code table and packed stream, one word per entry (dorvik_format.h gives
// its size, forms and patched words).
#pragma once

#include <array>
#include <cstdint>

#include "dorvik/dorvik_format.h"

namespace dorvik {

extern const std::array<uint16_t, kStubWords> kStub;

}  // namespace dorvik
