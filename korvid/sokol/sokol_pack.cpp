// Sokol packing: parse, encode, then lay out the image and fill in the
// stub's parameters.
#include <algorithm>

#include "bk/autostart.h"
#include "bk/memory.h"
#include "bk/words.h"
#include "sokol/sokol.h"
#include "sokol/sokol_pack_encode.h"
#include "sokol/sokol_pack_parse.h"
#include "sokol/sokol_stub.h"

namespace sokol {

namespace {

// CRC-16 with the polynomial x^16 + x^12 + x^5 + 1, initial value 0xFFFF,
// most significant bit first. The PC unpacker computes it a second time
// with code of its own (Crc16, sokol_unpack.cpp), on purpose: a function
// that both shared could go wrong without either noticing. A test pins the
// check value of both, 0x29B1 for the bytes of "123456789".
uint16_t DataCrc(const uint8_t* data, size_t length) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < length; ++i) {
    crc = static_cast<uint16_t>(crc ^ (data[i] << 8));
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return crc;
}

void PutWord(Bytes& image, size_t offset, uint16_t value) { WriteBkWord(image.data() + offset, value); }

// The image of the data from `loadAddress` (01000 or above) on, which the
// stub starts at `startAddress`; its trailer records `wholeLength` and
// `wholeCrc`, those of the whole file.
PackResult PackRegion(const uint8_t* data, size_t length, uint16_t loadAddress, uint16_t startAddress,
                      const PackOptions& options, size_t wholeLength, uint16_t wholeCrc) {
  PackResult result;
  result.loadAddress = loadAddress;
  result.startAddress = startAddress;
  const EncodedStream stream = EncodeStream(ParseOptimally(data, length), data);
  const size_t streamSize = stream.bytes.size();
  const size_t paddedSize = streamSize + streamSize % 2;
  const size_t imageSize = kStubSize + paddedSize + kTrailerSize;
  result.streamSize = streamSize;

  // The margin: enough for the decoder's writes to stay below the stream it
  // has not read (the stream's end lies at end + margin), for the loaded
  // image itself, and for an even end so that the stream moves by words.
  const int64_t programLength = static_cast<int64_t>(length);
  int64_t margin = std::max<int64_t>(0, stream.writeLead - programLength + static_cast<int64_t>(paddedSize));
  margin = std::max<int64_t>(margin, static_cast<int64_t>(imageSize) - programLength);
  margin += (programLength + margin) % 2;
  result.margin = static_cast<uint32_t>(margin);
  const int64_t reach = loadAddress + programLength + margin;
  if (reach > kMemoryTop) {
    result.error = PackError::DoesNotFit;
    result.missingBytes = static_cast<uint32_t>(reach - kMemoryTop);
    return result;
  }

  Bytes& image = result.image;
  image.assign(imageSize, 0);
  for (size_t i = 0; i < kSetupCode.size(); ++i) PutWord(image, 2 * i, kSetupCode[i]);
  std::copy(stream.bytes.begin(), stream.bytes.end(), image.begin() + kSetupSize);
  const size_t block = kSetupSize + paddedSize;
  for (size_t i = 0; i < kBlockCode.size(); ++i) PutWord(image, block + 2 * i, kBlockCode[i]);

  PutWord(image, kSetupBlockEnd, static_cast<uint16_t>(loadAddress + block + kBlockSize));
  PutWord(image, kSetupDestEnd, static_cast<uint16_t>(reach));
  PutWord(image, kSetupStreamWords, static_cast<uint16_t>(paddedSize / 2));
  PutWord(image, kSetupLoadAddress, loadAddress);
  const size_t exit = block + kBlockExit;
  if (options.dataMode) {
    PutWord(image, exit, kExitDataLoad);
    PutWord(image, exit + 2, kExitDataOperand);
    PutWord(image, exit + 4, kExitDataMark);
  } else {
    PutWord(image, exit, kExitProgramLoad);
    PutWord(image, exit + 2, result.startAddress);
    PutWord(image, exit + 4, kExitProgramMark);
  }
  const size_t trailer = block + kBlockSize;
  PutWord(image, trailer, static_cast<uint16_t>(wholeLength));
  PutWord(image, trailer + 2, wholeCrc);
  return result;
}

}  // namespace

PackResult Pack(ByteView view, uint16_t loadAddress, const PackOptions& options) {
  const uint8_t* const data = view.data;
  const size_t length = view.size;
  PackResult result;
  result.loadAddress = loadAddress;
  result.startAddress = loadAddress;
  if (loadAddress % 2 != 0) {
    result.error = PackError::OddLoadAddress;
    return result;
  }
  if (loadAddress >= kSystemAreaEnd) {
    return PackRegion(data, length, loadAddress, loadAddress, options, length, DataCrc(data, length));
  }
  // Below 01000 the file holds a stack image: it stays as it is in the
  // image, but for a program's autostart words, which point at the stub at
  // 01000.
  // The CRC is that of the data as the image carries it.
  const size_t split = kSystemAreaEnd - loadAddress;
  if (length <= split) {
    result.error = PackError::NothingToPack;
    return result;
  }
  // A data image is called by its user's program, not started by the BK's
  // loader: its stack image is carried exactly as it is.
  const Bytes original(data, data + split);
  const RedirectedStack stack =
      options.dataMode ? RedirectedStack{original, kSystemAreaEnd} : RedirectAutostart(original);
  Bytes carried = stack.stack;
  carried.insert(carried.end(), data + split, data + length);
  result = PackRegion(data + split, length - split, kSystemAreaEnd, stack.startAddress, options,
                      length, DataCrc(carried.data(), carried.size()));
  result.loadAddress = loadAddress;
  if (result.error != PackError::None) return result;
  result.image.insert(result.image.begin(), stack.stack.begin(), stack.stack.end());
  return result;
}

}  // namespace sokol
