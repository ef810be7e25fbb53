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
#include <cstring>
#include <vector>

#include "dorvik/dorvik.h"
#include "dorvik/dorvik_context.h"
#include "korvid_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const uint16_t loadAddress = static_cast<uint16_t>(data[0] | (data[1] << 8));
  const uint8_t options = data[2];
  const uint16_t workEnd = static_cast<uint16_t>(data[3] | (data[4] << 8));
  data += 5;
  size -= 5;
  if (size >= 0160000) return 0;

  StartKorvidRun();
  packerState.inputName = L"fuzz.bin";
  packerState.loadAddress = loadAddress;
  packerState.dataLength = static_cast<int32_t>(size);
  if (size > 0) std::memcpy(packerState.fileBuffer.data(), data, size);
  dorvikContext.longStub = (options & 1) != 0;
  dorvikContext.dataMode = (options & 2) != 0;
  if (options & 4) packerState.workEnd = workEnd <= 0140000 ? workEnd : 0;
  if (!DorvikPack()) return 0;  // refused with a message: nothing to check

  const uint16_t imageLength = dorvikContext.imageLength;
  std::vector<uint8_t> image(packerState.fileBuffer.begin(),
                             packerState.fileBuffer.begin() + imageLength);
  StartKorvidRun();
  packerState.unpackMode = true;
  packerState.loadAddress = loadAddress;
  packerState.dataLength = imageLength;
  std::memcpy(packerState.fileBuffer.data(), image.data(), image.size());
  if (!DorvikUnpack()) std::abort();

  std::vector<uint8_t> expected(data, data + size);
  if (expected.size() % 2 != 0) expected.push_back(0);
  if (dorvikContext.unpackedLength != expected.size()) std::abort();
  const uint8_t* result = packerState.fileBuffer.data();
  const size_t systemArea = loadAddress < 01000 ? 01000u - loadAddress : 0;
  const uint16_t start = dorvikContext.startDisplacement;
  for (size_t offset = 0; offset < expected.size(); offset += 2) {
    if (result[offset] == expected[offset] && result[offset + 1] == expected[offset + 1]) continue;
    const uint16_t word = static_cast<uint16_t>(result[offset] | (result[offset + 1] << 8));
    if (offset >= systemArea || word != start) std::abort();
  }
  return 0;
}
