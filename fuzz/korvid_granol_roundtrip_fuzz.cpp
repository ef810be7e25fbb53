// Granol packing and unpacking of arbitrary data at an arbitrary load
// address: the packer refuses only with its message, and the unpacker must
// give the data back (padded to even length).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "granol/granol.h"
#include "korvid_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint16_t loadAddress = static_cast<uint16_t>(data[0] | (data[1] << 8));
  data += 2;
  size -= 2;
  if (size >= 0160000) return 0;  // the reader refuses larger files
  const std::string& console = StartKorvidRun();
  packerState.inputName = L"fuzz.bin";
  packerState.loadAddress = loadAddress;
  packerState.dataLength = static_cast<int32_t>(size);
  if (size > 0) std::memcpy(packerState.fileBuffer.data(), data, size);
  if (!GranolPack()) {
    // Refused only when the image has no place beside its data.
    if (console.rfind("Ошибка:: упакованный файл длиной ", 0) != 0) std::abort();
    return 0;
  }
  const size_t padded = size + (size & 1);

  const size_t imageLength = static_cast<size_t>(packerState.dataLength);
  std::memcpy(packerState.fileBuffer.data(), packerState.granolImage.data(), imageLength);
  packerState.granolImage.fill(0);
  packerState.loadAddress = 01000;
  if (!GranolUnpack()) std::abort();

  if (static_cast<size_t>(packerState.dataLength) != padded) std::abort();
  if (packerState.loadAddress != loadAddress) std::abort();
  if (size > 0 && std::memcmp(packerState.granolImage.data(), data, size) != 0) std::abort();
  if (padded != size && packerState.granolImage[size] != 0) std::abort();
  return 0;
}
