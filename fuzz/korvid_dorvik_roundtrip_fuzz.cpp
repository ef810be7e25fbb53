// Dorvik packing and unpacking of arbitrary data at an arbitrary load
// address, with the short or long stub, as a program or as data, with or
// without a work address. When the packer accepts the input, the unpacker
// must give it back, padded to even length. Below 01000 only the autostart
// words may differ, and only by holding the start address the image records.
//
// Input layout: load address (2 bytes), options (1 byte), work end (2 bytes),
// then the data.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "bk/bk_file.h"
#include "bk/memory.h"
#include "dorvik/dorvik.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const auto loadAddress = static_cast<uint16_t>(data[0] | (data[1] << 8));
  const uint8_t flags = data[2];
  const auto workEnd = static_cast<uint16_t>(data[3] | (data[4] << 8));
  const std::vector<uint8_t> input(data + 5, data + size);
  if (input.size() >= kMaxInputSize) return 0;

  dorvik::PackOptions options;
  options.longStub = (flags & 1) != 0;
  options.dataMode = (flags & 2) != 0;
  if (flags & 4) options.workEnd = workEnd <= 0140000 ? workEnd : 0;
  int steps = 0;
  options.onStep = [&steps] { ++steps; };
  const dorvik::PackResult packed = dorvik::Pack(input, loadAddress, options);
  if (packed.error != dorvik::PackError::None) {
    if (!packed.image.empty()) std::abort();
    return 0;  // refused with a reason: nothing to check
  }
  if (steps != 10) std::abort();

  const dorvik::UnpackResult unpacked = dorvik::Unpack(packed.image, loadAddress);
  if (unpacked.error != dorvik::UnpackError::None) std::abort();
  if (unpacked.longStub != options.longStub || unpacked.dataMode != options.dataMode) std::abort();
  std::vector<uint8_t> expected = input;
  if (expected.size() % 2 != 0) expected.push_back(0);
  if (unpacked.data.size() != expected.size()) std::abort();
  const size_t systemArea = loadAddress < kSystemAreaEnd ? kSystemAreaEnd - loadAddress : 0u;
  for (size_t offset = 0; offset < expected.size(); offset += 2) {
    if (unpacked.data[offset] == expected[offset] &&
        unpacked.data[offset + 1] == expected[offset + 1])
      continue;
    const auto word =
        static_cast<uint16_t>(unpacked.data[offset] | (unpacked.data[offset + 1] << 8));
    if (offset >= systemArea || word != unpacked.startAddress) std::abort();
  }
  return 0;
}
