// kStub: the PDP-11 unpacker carried in front of every Granol image
// (granol_format.h). The parameter words and extension bytes are zero in it;
// the packer fills them in.
#pragma once

#include <array>
#include <cstdint>

#include "granol/granol_format.h"

namespace granol {

extern const std::array<uint8_t, kStubSize> kStub;

}  // namespace granol
