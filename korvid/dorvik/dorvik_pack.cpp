// Pack: the steps of packing, in order. The caller hears of each step
// after the first through options.onStep: ten for an image.
#include <algorithm>

#include "bk/checksum.h"
#include "bk/memory.h"
#include "dorvik/dorvik.h"
#include "dorvik/dorvik_format.h"
#include "dorvik/dorvik_pack_compressor.h"
#include "dorvik/dorvik_pack_image.h"
#include "dorvik/dorvik_pack_state.h"

namespace dorvik {

PackError PrepareRegion(ByteView data, uint16_t loadAddress, const PackOptions& options,
                        Packing* packing) {
  Packing& p = *packing;
  const size_t length = data.size;
  const size_t padded = length + (length & 1);
  if (padded > kPackingLimit) return PackError::TooBig;
  // The stub and the in-place encoder both work on aligned words.
  if (loadAddress & 1) return PackError::OddLoadAddress;
  const size_t start = loadAddress < kSystemAreaEnd ? kSystemAreaEnd - loadAddress : 0;
  if (padded <= start) return PackError::NothingToPack;

  // The input from offset 0; the padding byte and all after it are zero.
  std::copy(data.begin(), data.end(), p.buffer.begin());
  p.loadAddress = loadAddress;
  p.inputLength = static_cast<uint16_t>(length);
  p.dataMode = options.dataMode;
  p.longStub = options.longStub;
  p.workEnd = options.workEnd;
  p.stubSkip = options.longStub ? kLongStubSkip : kShortStubSkip;
  p.startOffset = static_cast<uint16_t>(start);
  p.wordCount = static_cast<uint16_t>((padded - start) / 2);
  p.endOffset = static_cast<uint16_t>(padded);
  ChooseWorkArea(p);
  p.checksum = EndAroundCarrySum(p.buffer.data(), length);
  return PackError::None;
}

PackResult Pack(ByteView data, uint16_t loadAddress, const PackOptions& options) {
  PackResult result;
  Packing p;
  result.error = PrepareRegion(data, loadAddress, options, &p);
  if (result.error != PackError::None) return result;
  const auto step = [&options] {
    if (options.onStep) options.onStep();
  };
  // clang-format off
  step(); CountHighBytes(p);
  step(); CollectCandidates(p);
  step(); SelectDictionary(p);
  step(); ChooseBase(p);
  step(); AddSpecialValues(p);
  step(); ComputeDeltaParameters(p);
  step(); EncodeRegion(p);
  step(); WriteDeltaList(p);
  // clang-format on
  result.error = SettleWorkArea(p);
  result.workStart = p.workStart;
  result.workEnd = static_cast<uint16_t>(p.workStart + kWorkAreaSize);
  if (result.error != PackError::None) return result;
  step();
  RedirectAutostart(p);
  step();
  BuildImage(p);
  result.startAddress = p.startAddress;
  // The image loads at the input's load address: it must end within the
  // address space, or the BK's loader would wrap it round to address 0.
  result.imageEnd = static_cast<uint32_t>(loadAddress) + p.imageLength;
  if (RunsPastAddressSpace(loadAddress, p.imageLength)) {
    result.error = PackError::ImagePastTop;
    return result;
  }
  result.image.assign(p.buffer.begin(), p.buffer.begin() + p.imageLength);
  return result;
}

}  // namespace dorvik
