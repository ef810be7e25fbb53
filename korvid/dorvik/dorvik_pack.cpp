// DorvikPack: the steps of packing, in order. Each step after the first is
// announced by a dot, so a run shows ten dots on the "Пакуем" line; the
// driver ends the line once the image is written.
#include "dorvik/dorvik.h"
#include "dorvik/dorvik_compressor.h"
#include "dorvik/dorvik_context.h"
#include "dorvik/dorvik_image.h"
#include "dorvik/dorvik_pack.h"
#include "dorvik/dorvik_stub.h"
#include "front/console.h"
#include "front/messages.h"
#include "front/packer_state.h"

namespace {

// The largest input the method packs: the whole input, stack area
// included, after padding.
constexpr int32_t kPackingLimit = 074000;  // 30720 bytes
constexpr uint32_t kAddressSpace = 0200000;

void Step(void (*step)()) {
  ConsolePrint(kMsgDorvikProgress);
  step();
}

}  // namespace

bool PrepareRegion() {
  DorvikContext& c = dorvikContext;
  const int32_t length = packerState.dataLength;
  const int32_t padded = length + (length & 1);
  if (padded > kPackingLimit) {
    ConsolePrint(kMsgDorvikTooBig);
    return false;
  }
  const int32_t load = packerState.loadAddress;
  if (load & 1) {
    // The stub and the in-place encoder both work on aligned words.
    ConsolePrint(kMsgDorvikOddLoadAddress, static_cast<unsigned>(load));
    return false;
  }
  const int32_t start = load < kSystemAreaEnd ? kSystemAreaEnd - load : 0;
  const int32_t words = padded / 2 - start / 2;
  if (words <= 0) {
    ConsolePrint(kMsgDorvikNothingToPack);
    return false;
  }
  if (length & 1) packerState.fileBuffer[length] = 0;

  c.stubSkip = c.longStub ? kLongStubSkip : kShortStubSkip;
  c.startOffset = c.skipBytes = static_cast<uint16_t>(start);
  c.wordCount = static_cast<uint16_t>(words);
  c.endOffset = static_cast<uint16_t>(start + 2 * words);
  c.inputLength = static_cast<uint16_t>(length);
  ChooseWorkArea();
  ComputeChecksum();
  return true;
}

bool DorvikPack() {
  if (!PrepareRegion()) return false;
  Step(CountHighBytes);
  Step(CollectCandidates);
  Step(SelectDictionary);
  Step(ChooseBase);
  Step(AddSpecialValues);
  Step(ComputeDeltaParameters);
  Step(EncodeRegion);
  Step(WriteDeltaList);
  if (!SettleWorkArea()) return false;
  Step(RedirectAutostart);
  Step(BuildDorvikImage);
  // The image loads at the input's load address: it must end within the
  // address space, or the BK's loader would wrap it round to address 0.
  const uint32_t imageStart = static_cast<uint16_t>(packerState.loadAddress);
  const uint32_t imageEnd = imageStart + dorvikContext.imageLength;
  if (imageEnd > kAddressSpace) {
    ConsolePrint(kMsgDorvikImagePastTop, static_cast<unsigned>(imageStart), static_cast<unsigned>(imageEnd));
    return false;
  }
  return true;
}
