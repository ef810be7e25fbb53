// Sokol packing and unpacking of arbitrary data at an arbitrary load
// address and mode: the image must unpack to the same data, mode and
// margin, or packing must refuse for a stated reason.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sokol/sokol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint16_t loadAddress = static_cast<uint16_t>(data[0] | (data[1] << 8));
  sokol::PackOptions options;
  options.dataMode = (data[2] & 1) != 0;
  data += 3;
  size -= 3;
  const sokol::PackResult packed = sokol::Pack(data, size, loadAddress, options);
  if (packed.error == sokol::PackError::OddLoadAddress) {
    if (loadAddress % 2 == 0) std::abort();
    return 0;
  }
  if (packed.error == sokol::PackError::DoesNotFit) {
    if (packed.missingBytes == 0 || loadAddress + size + packed.margin != sokol::kMemoryTop + packed.missingBytes) {
      std::abort();
    }
    return 0;
  }
  const sokol::UnpackResult unpacked = sokol::Unpack(packed.image.data(), packed.image.size(), loadAddress);
  if (unpacked.error != sokol::UnpackError::None) std::abort();
  if (unpacked.data.size() != size || (size > 0 && std::memcmp(unpacked.data.data(), data, size) != 0)) {
    std::abort();
  }
  if (unpacked.dataMode != options.dataMode || unpacked.margin != packed.margin) std::abort();
  return 0;
}
