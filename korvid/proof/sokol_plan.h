// The proof's plan for a Sokol image (proof.h): the stub's contract read
// from the format's facts and the sizes of the set-up code and the decoder
// blocks, not from the code itself.
#pragma once

#include <cstdint>

#include "bk/bytes.h"
#include "proof/proof.h"
#include "sokol/sokol.h"

namespace proof {

// A Sokol image loaded at `loadAddress` and entered there (for files below
// 01000: at 01000, its stack image kept as loaded) with the decoder block's
// size and 4 bytes of stack below SP; the program starts at its load address
// (below 01000: at the autostart address of its stack image), or the image
// returns to the caller in data mode. `margin`: the bytes above the
// program's end that the image was packed to use; `decoder`: the block it
// was packed with.
Proof ProveSokol(const Bytes& image, const Bytes& data, uint16_t loadAddress, bool dataMode,
                 uint32_t margin, sokol::Decoder decoder);
// The same for what sokol::Pack returned for `data`.
Proof ProveSokol(const sokol::PackResult& packed, const Bytes& data, bool dataMode);

}  // namespace proof
