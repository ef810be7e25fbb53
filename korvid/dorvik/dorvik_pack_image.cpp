#include "dorvik/dorvik_pack_image.h"

#include <algorithm>
#include <array>

#include "bk/autostart.h"
#include "bk/memory.h"
#include "bk/words.h"
#include "dorvik/dorvik_stub.h"

namespace dorvik {

namespace {

int32_t RoundUpEven(int32_t value) { return (value + 1) & ~1; }
int32_t ProgramEnd(const Packing& p) { return p.loadAddress + p.inputLength; }
int32_t PaddedLength(const Packing& p) { return RoundUpEven(p.inputLength); }

uint16_t DefaultWorkStart(const Packing& p) {
  const int32_t end = ProgramEnd(p);
  if (end <= kWorkAreaBelowScreen) return kWorkAreaBelowScreen;
  if (end <= kWorkAreaBelowRom) return kWorkAreaBelowRom;
  return kWorkAreaLow;
}

// Everything the stub must not overwrite: the image as loaded and the
// region it unpacks, both from the load address.
int32_t OccupiedLength(const Packing& p) {
  const int32_t image = p.startOffset + p.streamLength + HeaderLength(p);
  return std::max(image, PaddedLength(p));
}

bool WorkAreaIsFree(const Packing& p, uint32_t workStart) {
  return !RangesOverlap(p.loadAddress, static_cast<uint32_t>(OccupiedLength(p)), workStart,
                        kWorkAreaSize);
}

std::array<uint8_t, kStubSize> StubBytes() {
  std::array<uint8_t, kStubSize> bytes{};
  for (int i = 0; i < kStubWords; ++i) WriteBkWord(bytes.data() + 2 * i, kStub[i]);
  return bytes;
}

}  // namespace

uint16_t HeaderLength(const Packing& p) {
  return static_cast<uint16_t>(kStubSize - p.stubSkip + kCodeBitmapSize + p.tableLength);
}

void ChooseWorkArea(Packing& p) {
  if (!p.workEnd) {
    p.workAreaRule = WorkAreaRule::Default;
    p.workStart = DefaultWorkStart(p);
    return;
  }
  const int32_t given = *p.workEnd;
  // -w 0, or an area that would lie inside the program: put it right after.
  if (given == 0 || (p.loadAddress < given - kWorkAreaSize && given < ProgramEnd(p))) {
    p.workAreaRule = WorkAreaRule::AfterProgram;
    p.workStart = static_cast<uint16_t>(RoundUpEven(ProgramEnd(p)));
    return;
  }
  p.workAreaRule = WorkAreaRule::Given;
  p.workStart = static_cast<uint16_t>((given - kWorkAreaSize) & 0xFFFE);
}

PackError SettleWorkArea(Packing& p) {
  switch (p.workAreaRule) {
    case WorkAreaRule::Default: {
      if (WorkAreaIsFree(p, p.workStart)) return PackError::None;
      for (uint16_t candidate : {kWorkAreaBelowScreen, kWorkAreaBelowRom, kWorkAreaLow}) {
        if (!WorkAreaIsFree(p, candidate)) continue;
        p.workStart = candidate;
        return PackError::None;
      }
      return PackError::NoWorkArea;
    }
    case WorkAreaRule::AfterProgram: {
      // After whichever ends last: the program or its (longer) image.
      const int32_t start = RoundUpEven(p.loadAddress + OccupiedLength(p));
      if (RunsPastAddressSpace(static_cast<uint32_t>(start), kWorkAreaSize)) {
        return PackError::WorkAreaOutside;
      }
      p.workStart = static_cast<uint16_t>(start);
      return PackError::None;
    }
    case WorkAreaRule::Given:
      if (*p.workEnd < kWorkAreaSize) return PackError::WorkAreaOutside;
      return WorkAreaIsFree(p, p.workStart) ? PackError::None : PackError::WorkAreaOverlap;
  }
  return PackError::NoWorkArea;
}

void RedirectAutostart(Packing& p) {
  const auto begin = p.buffer.begin();
  const RedirectedStack redirected = ::RedirectAutostart(Bytes(begin, begin + p.startOffset));
  std::copy(redirected.stack.begin(), redirected.stack.end(), begin);
  // A file at 01000 or above starts at its load address.
  p.startAddress = p.startOffset == 0 ? p.loadAddress : redirected.startAddress;
}

namespace {

// The header: the stub from stubSkip on, the code bitmap and the delta list.
using Header = std::array<uint8_t, kStubSize + kCodeBitmapSize + kLongestDeltaList>;
Header AssembleHeader(const Packing& p) {
  Header header{};
  const std::array<uint8_t, kStubSize> stubBytes = StubBytes();
  size_t length = 0;
  for (size_t i = p.stubSkip; i < kStubSize; ++i) header[length++] = stubBytes[i];
  for (uint8_t byte : p.tables.codeBitmap) header[length++] = byte;
  for (size_t i = 0; i < p.tableLength; ++i) header[length++] = p.tables.deltaList[i];
  return header;
}

// The header goes where the stream begins; the bytes it covers move to the
// end. In increasing order, so that a stream shorter than the header still
// comes back whole when the stub copies them down from the top.
void PlaceHeader(Packing& p, const Header& header) {
  const uint32_t start = p.startOffset;
  const uint32_t moved = start + p.streamLength;
  for (uint32_t i = 0; i < p.headerLength; ++i) {
    p.buffer[moved + i] = p.buffer[start + i];
    p.buffer[start + i] = header[i];
  }
  p.imageLength = static_cast<uint16_t>(moved + p.headerLength);
}

// Fills in the stub's operands and templates (dorvik_format.h, stub::).
void PatchStub(Packing& p) {
  // Image offset of stub offset 0: negative for a short stub at offset 0.
  const int32_t stubAt = static_cast<int32_t>(p.startOffset) - p.stubSkip;
  auto patch = [&](uint16_t stubOffset, uint16_t value) {
    WriteBkWord(p.buffer.data() + (stubAt + stubOffset), value);
  };
  auto add = [&](uint16_t stubOffset, uint16_t value) {
    patch(stubOffset, static_cast<uint16_t>(kStub[stubOffset / 2] + value));
  };
  const auto table = static_cast<uint16_t>(p.workStart + kWorkLoopSize);
  if (p.longStub) {
    patch(stub::kInputLength, p.inputLength);
    patch(stub::kChecksum, p.checksum);
  }
  add(stub::kTableEnd, table);
  patch(stub::kOneByteBias, p.oneByteBias);
  patch(stub::kTwoByteBias, p.twoByteBias);
  add(stub::kTableStart, table);
  add(stub::kStreamAdvance, static_cast<uint16_t>(p.tableLength + p.streamLength));
  patch(stub::kHeaderLength, p.headerLength);
  patch(stub::kPackedLength, static_cast<uint16_t>(2 * p.wordCount));
  add(stub::kTableIndexBase, table);
  patch(stub::kBasePlusOne, static_cast<uint16_t>(p.base + 1));
  patch(stub::kExit, p.dataMode ? kOpRtsPc : kOpJmpIndexedR0);
  // JMP n(R0): the stub leaves R0 at the end of the plain prefix, the
  // region's first word not written by the decoder.
  patch(stub::kStartDisplacement,
        static_cast<uint16_t>(p.startAddress - p.loadAddress - 2 * p.rawPrefixEnd));
}

}  // namespace

void BuildImage(Packing& p) {
  p.headerLength = HeaderLength(p);
  PlaceHeader(p, AssembleHeader(p));
  PatchStub(p);
}

}  // namespace dorvik
