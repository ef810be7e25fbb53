// Sokol images of korvid 1.1.0 (one 168-byte decoder and a trailer), read
// on the PC so that -u gives their data back: sokol::Unpack and
// sokol::FindRawImage turn here when an image is not of today's form.
#pragma once

#include <cstdint>

#include "bk/bk_file.h"
#include "bk/bytes.h"
#include "sokol/sokol.h"

namespace sokol {
namespace first {

UnpackResult Unpack(ByteView image, uint16_t loadAddress);
RawImage FindRawImage(ByteView bytes);

}  // namespace first
}  // namespace sokol
