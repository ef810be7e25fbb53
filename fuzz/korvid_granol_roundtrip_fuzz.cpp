// Granol packing and unpacking of arbitrary data at an arbitrary load
// address: the packer refuses only data whose image has no place beside
// it, and the unpacker must give the data back (padded to even length) with
// its load address.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bk/bk_file.h"
#include "granol/granol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const auto loadAddress = static_cast<uint16_t>(data[0] | (data[1] << 8));
  const std::vector<uint8_t> input(data + 2, data + size);
  if (input.size() >= kMaxInputSize) return 0;  // the reader refuses larger files
  const granol::PackResult packed = granol::Pack(input, loadAddress, {u"bin"});
  if (packed.error != granol::PackError::None) {
    if (packed.error != granol::PackError::DoesNotFit || !packed.image.empty()) std::abort();
    if (granol::ImageFits(loadAddress, packed.packedLength, packed.imageLength)) std::abort();
    return 0;
  }
  if (packed.image.size() + kHeaderSize >= kMaxInputSize) std::abort();  // korvid -u reads it

  const granol::UnpackResult unpacked = granol::Unpack(packed.image, loadAddress);
  if (unpacked.error != granol::UnpackError::None) std::abort();
  std::vector<uint8_t> expected = input;
  if (expected.size() % 2 != 0) expected.push_back(0);
  if (unpacked.data != expected || unpacked.loadAddress != loadAddress) std::abort();
  return 0;
}
