// Sokol packing and unpacking of arbitrary data at an arbitrary load
// address and mode: the image must unpack to the same data, mode and
// margin, or packing must refuse for a stated reason. Below 01000 the stack
// image of a program comes back as the autostart rules give it back
// (RestoreAutostart), a data image's exactly.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <vector>

#include "bk/autostart.h"
#include "sokol/sokol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint16_t loadAddress = static_cast<uint16_t>(data[0] | (data[1] << 8));
  sokol::PackOptions options;
  options.dataMode = (data[2] & 1) != 0;
  data += 3;
  size -= 3;
  const sokol::PackResult packed = sokol::Pack(ByteView(data, size), loadAddress, options);
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
  const size_t split = loadAddress < 01000 ? 01000u - loadAddress : 0;
  if (packed.error == sokol::PackError::NothingToPack) {
    if (size > split) std::abort();
    return 0;
  }
  const sokol::UnpackResult unpacked = sokol::Unpack(packed.image, loadAddress);
  if (unpacked.error != sokol::UnpackError::None || unpacked.data.size() != size) std::abort();
  if (std::memcmp(unpacked.data.data() + split, data + split, size - split) != 0) std::abort();
  if (split > 0) {
    const std::vector<uint8_t> stack(data, data + split);
    if (options.dataMode) {
      if (!std::equal(stack.begin(), stack.end(), unpacked.data.begin()) ||
          !std::equal(stack.begin(), stack.end(), packed.image.begin())) {
        std::abort();
      }
    } else {
      const RedirectedStack redirected = RedirectAutostart(stack);
      if (!std::equal(redirected.stack.begin(), redirected.stack.end(), packed.image.begin())) std::abort();
      const std::vector<uint8_t> expected = RestoreAutostart(redirected.stack, redirected.startAddress);
      if (!std::equal(expected.begin(), expected.end(), unpacked.data.begin())) std::abort();
    }
  }
  if (unpacked.dataMode != options.dataMode || unpacked.margin != packed.margin) std::abort();
  return 0;
}
