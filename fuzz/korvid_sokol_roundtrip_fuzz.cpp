// Sokol packing and unpacking of arbitrary data at an arbitrary load
// address, mode and decoder (the third byte: bit 0 the mode, the next three
// the decoder, 6 and 7 the packer's choice): the image must unpack to the
// same data, mode, margin and decoder, or packing must refuse for a stated
// reason. Below 01000 a program's image carries its stack image with the
// autostart words pointed at the stub (RedirectAutostart), a data image's
// as it is; both come back exactly.
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
  const int decoder = (data[2] >> 1) & 7;
  if (decoder < sokol::kDecoderCount) options.decoder = static_cast<sokol::Decoder>(decoder);
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
  if (options.decoder && packed.decoder != *options.decoder) std::abort();
  const sokol::UnpackResult unpacked = sokol::Unpack(packed.image, loadAddress);
  if (unpacked.error != sokol::UnpackError::None || unpacked.data.size() != size) std::abort();
  if (size > 0 && std::memcmp(unpacked.data.data(), data, size) != 0) std::abort();
  if (split > 0) {
    const std::vector<uint8_t> stack(data, data + split);
    const std::vector<uint8_t> carried = options.dataMode ? stack : RedirectAutostart(stack).stack;
    if (!std::equal(carried.begin(), carried.end(), packed.image.begin())) std::abort();
  }
  if (unpacked.dataMode != options.dataMode || unpacked.margin != packed.margin ||
      unpacked.decoder != packed.decoder) {
    std::abort();
  }
  return 0;
}
