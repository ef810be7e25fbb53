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
  const GranolPackResult packed = GranolPack(input, loadAddress, u"bin");
  if (packed.error != GranolPackError::None) {
    if (packed.error != GranolPackError::DoesNotFit || !packed.image.empty()) std::abort();
    if (GranolImageFits(loadAddress, packed.packedLength, packed.imageLength)) std::abort();
    return 0;
  }
  if (packed.image.size() + kHeaderSize >= kMaxInputSize) std::abort();  // korvid -u reads it

  const GranolUnpackResult unpacked = GranolUnpack(packed.image);
  if (unpacked.error != GranolUnpackError::None) std::abort();
  std::vector<uint8_t> expected = input;
  if (expected.size() % 2 != 0) expected.push_back(0);
  if (unpacked.data != expected || unpacked.loadAddress != loadAddress) std::abort();
  return 0;
}
