// Any bytes as a Sokol image: the first two give the load address, the rest
// the image. The unpacker either refuses with a reason and no data, or
// gives data that, with the margin, fits below the I/O page. Any bytes as a
// headerless image too: where one is found, the unpacker recognises it. The
// sanitizers catch any read or write outside the buffers.
#include <cstdint>
#include <cstdlib>

#include "sokol/sokol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A headerless image is recognised at the address that was found.
  const RawImage raw = sokol::FindRawImage(ByteView(data, size));
  if (raw.found &&
      (!raw.loadAddress || sokol::Unpack(ByteView(data, size), *raw.loadAddress).error ==
                               sokol::UnpackError::NotAnImage)) {
    std::abort();
  }
  if (size < 2) return 0;
  const uint16_t loadAddress = static_cast<uint16_t>(data[0] | (data[1] << 8));
  const sokol::UnpackResult result = sokol::Unpack(ByteView(data + 2, size - 2), loadAddress);
  if (result.error != sokol::UnpackError::None) {
    if (!result.data.empty()) std::abort();
    return 0;
  }
  if (result.loadAddress != loadAddress ||
      loadAddress + result.data.size() + result.margin > sokol::kMemoryTop) {
    std::abort();
  }
  return 0;
}
