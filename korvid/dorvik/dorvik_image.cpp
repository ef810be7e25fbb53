#include "dorvik/dorvik_image.h"

#include <algorithm>
#include <array>

#include "bk/autostart.h"
#include "bk/memory.h"
#include "bk/words.h"
#include "dorvik/dorvik_stub.h"

namespace {

int32_t RoundUpEven(int32_t value) { return (value + 1) & ~1; }
int32_t ProgramEnd(const DorvikPacking& p) { return p.loadAddress + p.inputLength; }
int32_t PaddedLength(const DorvikPacking& p) { return RoundUpEven(p.inputLength); }

uint16_t DefaultWorkStart(const DorvikPacking& p) {
  const int32_t end = ProgramEnd(p);
  if (end <= kWorkAreaBelowScreen) return kWorkAreaBelowScreen;
  if (end <= kWorkAreaBelowRom) return kWorkAreaBelowRom;
  return kWorkAreaLow;
}

// Everything the stub must not overwrite: the image as loaded and the
// region it unpacks, both from the load address.
int32_t OccupiedLength(const DorvikPacking& p) {
  const int32_t image = p.startOffset + p.streamLength + DorvikHeaderLength(p);
  return std::max(image, PaddedLength(p));
}

bool WorkAreaIsFree(const DorvikPacking& p, uint32_t workStart) {
  return !RangesOverlap(p.loadAddress, static_cast<uint32_t>(OccupiedLength(p)), workStart,
                        kWorkAreaSize);
}

std::array<uint8_t, kDorvikStubSize> StubBytes() {
  std::array<uint8_t, kDorvikStubSize> bytes{};
  for (int i = 0; i < kDorvikStubWords; ++i) WriteBkWord(bytes.data() + 2 * i, DorvikStub[i]);
  return bytes;
}

}  // namespace

uint16_t DorvikHeaderLength(const DorvikPacking& p) {
  return static_cast<uint16_t>(kDorvikStubSize - p.stubSkip + kCodeBitmapSize + p.tableLength);
}

void ChooseWorkArea(DorvikPacking& p) {
  const int32_t given = p.workEnd;
  if (given < 0) {
    p.workAreaRule = WorkAreaRule::Default;
    p.workStart = DefaultWorkStart(p);
    return;
  }
  // -w 0, or an area that would lie inside the program: put it right after.
  if (given == 0 || (p.loadAddress < given - kWorkAreaSize && given < ProgramEnd(p))) {
    p.workAreaRule = WorkAreaRule::AfterProgram;
    p.workStart = static_cast<uint16_t>(RoundUpEven(ProgramEnd(p)));
    return;
  }
  p.workAreaRule = WorkAreaRule::Given;
  p.workStart = static_cast<uint16_t>((given - kWorkAreaSize) & 0xFFFE);
}

DorvikPackError SettleWorkArea(DorvikPacking& p) {
  switch (p.workAreaRule) {
    case WorkAreaRule::Default: {
      if (WorkAreaIsFree(p, p.workStart)) return DorvikPackError::None;
      for (uint16_t candidate : {kWorkAreaBelowScreen, kWorkAreaBelowRom, kWorkAreaLow}) {
        if (!WorkAreaIsFree(p, candidate)) continue;
        p.workStart = candidate;
        return DorvikPackError::None;
      }
      return DorvikPackError::NoWorkArea;
    }
    case WorkAreaRule::AfterProgram: {
      // After whichever ends last: the program or its (longer) image.
      const int32_t start = RoundUpEven(p.loadAddress + OccupiedLength(p));
      if (RunsPastAddressSpace(static_cast<uint32_t>(start), kWorkAreaSize)) {
        return DorvikPackError::WorkAreaOutside;
      }
      p.workStart = static_cast<uint16_t>(start);
      return DorvikPackError::None;
    }
    case WorkAreaRule::Given:
      if (p.workEnd < kWorkAreaSize) return DorvikPackError::WorkAreaOutside;
      return WorkAreaIsFree(p, p.workStart) ? DorvikPackError::None
                                            : DorvikPackError::WorkAreaOverlap;
  }
  return DorvikPackError::NoWorkArea;
}

void RedirectAutostart(DorvikPacking& p) {
  const auto begin = p.buffer.begin();
  const RedirectedStack redirected =
      ::RedirectAutostart(std::vector<uint8_t>(begin, begin + p.startOffset));
  std::copy(redirected.stack.begin(), redirected.stack.end(), begin);
  // A file at 01000 or above starts at its load address.
  p.startAddress = p.startOffset == 0 ? p.loadAddress : redirected.startAddress;
}

void BuildDorvikImage(DorvikPacking& p) {
  std::vector<uint8_t>& buffer = p.buffer;
  const uint16_t h = DorvikHeaderLength(p);
  p.headerLength = h;

  std::array<uint8_t, kDorvikStubSize + kCodeBitmapSize + sizeof p.tables.deltaList> header{};
  const std::array<uint8_t, kDorvikStubSize> stubBytes = StubBytes();
  size_t length = 0;
  for (size_t i = p.stubSkip; i < kDorvikStubSize; ++i) header[length++] = stubBytes[i];
  for (uint8_t byte : p.tables.codeBitmap) header[length++] = byte;
  for (size_t i = 0; i < p.tableLength; ++i) header[length++] = p.tables.deltaList[i];

  // The header goes where the stream begins; the bytes it covers move to
  // the end. In increasing order, so that a stream shorter than the header
  // still comes back whole when the stub copies them down from the top.
  const uint32_t start = p.startOffset;
  const uint32_t moved = start + p.streamLength;
  for (uint32_t i = 0; i < h; ++i) {
    buffer[moved + i] = buffer[start + i];
    buffer[start + i] = header[i];
  }
  p.imageLength = static_cast<uint16_t>(moved + h);

  // Image offset of stub offset 0: negative for a short stub at offset 0.
  const int32_t stubAt = static_cast<int32_t>(start) - p.stubSkip;
  auto patch = [&](uint16_t stubOffset, uint16_t value) {
    WriteBkWord(buffer.data() + (stubAt + stubOffset), value);
  };
  auto add = [&](uint16_t stubOffset, uint16_t value) {
    patch(stubOffset, static_cast<uint16_t>(DorvikStub[stubOffset / 2] + value));
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
  patch(stub::kHeaderLength, h);
  patch(stub::kPackedLength, static_cast<uint16_t>(2 * p.wordCount));
  add(stub::kTableIndexBase, table);
  patch(stub::kBasePlusOne, static_cast<uint16_t>(p.base + 1));
  patch(stub::kExit, p.dataMode ? kOpRtsPc : kOpJmpIndexedR0);
  // JMP n(R0): the stub leaves R0 at the end of the plain prefix, the
  // region's first word not written by the decoder.
  patch(stub::kStartDisplacement,
        static_cast<uint16_t>(p.startAddress - p.loadAddress - 2 * p.rawPrefixEnd));
}
