#include "dorvik/dorvik_image.h"

#include <algorithm>
#include <array>

#include "dorvik/dorvik_compressor.h"
#include "dorvik/dorvik_context.h"
#include "dorvik/dorvik_stub.h"
#include "front/console.h"
#include "front/le16.h"
#include "front/messages.h"
#include "front/packer_state.h"

namespace {

// The loader's return address that an autostarting file overwrites lies at
// 0744 or above: 28 bytes below 01000.
constexpr int32_t kAutostartProbeDepth = 28;
constexpr uint16_t kRedirectTarget = 01000;
constexpr int32_t kAddressSpace = 0200000;

// How the work area was placed in step 1; SettleWorkArea treats each way
// differently once the image length is known.
enum class WorkAreaRule { Default, AfterProgram, Given };
WorkAreaRule workAreaRule = WorkAreaRule::Default;

uint8_t* Buffer() { return packerState.fileBuffer.data(); }
uint16_t WordAt(int32_t offset) { return ReadLE16(Buffer() + offset); }

int32_t RoundUpEven(int32_t value) { return (value + 1) & ~1; }
int32_t ProgramEnd() { return packerState.loadAddress + packerState.dataLength; }
int32_t PaddedLength() { return RoundUpEven(packerState.dataLength); }

uint16_t DefaultWorkStart() {
  const int32_t end = ProgramEnd();
  if (end <= kWorkAreaBelowScreen) return kWorkAreaBelowScreen;
  if (end <= kWorkAreaBelowRom) return kWorkAreaBelowRom;
  return kWorkAreaLow;
}

// Everything the stub must not overwrite: the image as loaded and the
// region it unpacks, both from the load address.
int32_t OccupiedLength() {
  const int32_t image = dorvikContext.startOffset + dorvikContext.streamLength + DorvikHeaderLength();
  return std::max(image, PaddedLength());
}

// Overlap of two ranges in the 16-bit address space (either may wrap).
bool RangesOverlap(int32_t first, int32_t firstLength, int32_t second, int32_t secondLength) {
  const int32_t secondFromFirst = (second - first) & 0xFFFF;
  const int32_t firstFromSecond = (first - second) & 0xFFFF;
  return secondFromFirst < firstLength || firstFromSecond < secondLength;
}

bool WorkAreaIsFree(int32_t workStart) {
  return !RangesOverlap(packerState.loadAddress, OccupiedLength(), workStart, kWorkAreaSize);
}

bool RefuseWorkArea(int32_t workStart) {
  ConsolePrint(kMsgDorvikWorkAreaOverlap, static_cast<unsigned>(workStart & 0xFFFF),
               static_cast<unsigned>((workStart + kWorkAreaSize) & 0xFFFF));
  return false;
}

std::array<uint8_t, kDorvikStubSize> StubBytes() {
  std::array<uint8_t, kDorvikStubSize> bytes{};
  for (int i = 0; i < kDorvikStubWords; ++i) WriteLE16(bytes.data() + 2 * i, DorvikStub[i]);
  return bytes;
}

}  // namespace

uint16_t DorvikHeaderLength() {
  return static_cast<uint16_t>(kDorvikStubSize - dorvikContext.stubSkip +
                               sizeof dorvikTables.codeBitmap + dorvikContext.tableLength);
}

void ChooseWorkArea() {
  DorvikContext& c = dorvikContext;
  const int32_t given = packerState.workEnd;
  if (given < 0) {
    workAreaRule = WorkAreaRule::Default;
    c.workStart = DefaultWorkStart();
    return;
  }
  // -w 0, or an area that would lie inside the program: put it right after.
  if (given == 0 || (packerState.loadAddress < given - kWorkAreaSize && given < ProgramEnd())) {
    workAreaRule = WorkAreaRule::AfterProgram;
    c.workStart = static_cast<uint16_t>(RoundUpEven(ProgramEnd()));
    packerState.workEnd = RoundUpEven(ProgramEnd()) + kWorkAreaSize;
    return;
  }
  workAreaRule = WorkAreaRule::Given;
  c.workStart = static_cast<uint16_t>((given - kWorkAreaSize) & 0xFFFE);
}

void ComputeChecksum() {
  uint32_t sum = 0;
  for (int32_t i = 0; i < packerState.dataLength; ++i) {
    sum += Buffer()[i];
    if (sum > 0xFFFF) sum = (sum & 0xFFFF) + 1;
  }
  dorvikContext.checksum = static_cast<uint16_t>(sum);
}

bool SettleWorkArea() {
  DorvikContext& c = dorvikContext;
  switch (workAreaRule) {
    case WorkAreaRule::Default: {
      if (WorkAreaIsFree(c.workStart)) return true;
      for (uint16_t candidate : {kWorkAreaBelowScreen, kWorkAreaBelowRom, kWorkAreaLow}) {
        if (!WorkAreaIsFree(candidate)) continue;
        c.workStart = candidate;
        return true;
      }
      ConsolePrint(kMsgDorvikNoWorkArea);
      return false;
    }
    case WorkAreaRule::AfterProgram: {
      // After whichever ends last: the program or its (longer) image.
      const int32_t start = RoundUpEven(packerState.loadAddress + OccupiedLength());
      if (start + kWorkAreaSize > kAddressSpace) {
        ConsolePrint(kMsgDorvikWorkAreaOutside);
        return false;
      }
      c.workStart = static_cast<uint16_t>(start);
      packerState.workEnd = start + kWorkAreaSize;
      return true;
    }
    case WorkAreaRule::Given:
      if (packerState.workEnd < kWorkAreaSize) {
        ConsolePrint(kMsgDorvikWorkAreaOutside);
        return false;
      }
      return WorkAreaIsFree(c.workStart) || RefuseWorkArea(c.workStart);
  }
  return false;
}

void RedirectAutostart() {
  DorvikContext& c = dorvikContext;
  c.startDisplacement = 0;
  if (c.skipBytes == 0) return;
  const int32_t start = c.startOffset;
  int32_t o = std::max(start - kAutostartProbeDepth, 0);
  const uint16_t target = WordAt(o);
  if (target <= kRedirectTarget) return;  // no autostart address
  c.startDisplacement = static_cast<uint16_t>(target - kRedirectTarget);

  // Up to the first word above the run of the start address.
  while (o < start) {
    o += 2;
    if (o >= start || WordAt(o) != target) break;
  }
  // The run's topmost word keeps the start address; from the one below it
  // downward the words point at the stub instead.
  int32_t q = std::max(o - 4, 0);
  WriteLE16(Buffer() + q, kRedirectTarget);
  for (q -= 2; q > 0 && WordAt(q) == target; q -= 2) WriteLE16(Buffer() + q, kRedirectTarget);
}

void BuildDorvikImage() {
  DorvikContext& c = dorvikContext;
  uint8_t* buffer = Buffer();
  const uint16_t h = DorvikHeaderLength();
  c.headerLength = h;

  std::array<uint8_t, kDorvikStubSize + 32 + 512> header{};
  const std::array<uint8_t, kDorvikStubSize> stubBytes = StubBytes();
  size_t length = 0;
  for (size_t i = c.stubSkip; i < kDorvikStubSize; ++i) header[length++] = stubBytes[i];
  for (uint8_t byte : dorvikTables.codeBitmap) header[length++] = byte;
  for (size_t i = 0; i < c.tableLength; ++i) header[length++] = dorvikTables.deltaList[i];

  // The header goes where the stream begins; the bytes it covers move to
  // the end. In increasing order, so that a stream shorter than the header
  // still comes back whole when the stub copies them down from the top.
  const uint32_t start = c.startOffset;
  const uint32_t moved = start + c.streamLength;
  for (uint32_t i = 0; i < h; ++i) {
    buffer[moved + i] = buffer[start + i];
    buffer[start + i] = header[i];
  }
  c.imageLength = static_cast<uint16_t>(moved + h);

  // Image offset of stub offset 0: negative for a short stub at offset 0.
  const int32_t stubAt = static_cast<int32_t>(start) - c.stubSkip;
  auto patch = [&](uint16_t stubOffset, uint16_t value) {
    WriteLE16(buffer + (stubAt + stubOffset), value);
  };
  auto add = [&](uint16_t stubOffset, uint16_t value) {
    patch(stubOffset, static_cast<uint16_t>(DorvikStub[stubOffset / 2] + value));
  };
  const auto table = static_cast<uint16_t>(c.workStart + kWorkLoopSize);
  if (c.longStub) {
    patch(stub::kInputLength, c.inputLength);
    patch(stub::kChecksum, c.checksum);
  }
  add(stub::kTableEnd, table);
  patch(stub::kOneByteBias, c.oneByteBias);
  patch(stub::kTwoByteBias, c.twoByteBias);
  add(stub::kTableStart, table);
  add(stub::kStreamAdvance, static_cast<uint16_t>(c.tableLength + c.streamLength));
  patch(stub::kHeaderLength, h);
  patch(stub::kPackedLength, static_cast<uint16_t>(2 * c.wordCount));
  add(stub::kTableIndexBase, table);
  patch(stub::kBasePlusOne, static_cast<uint16_t>(c.base + 1));
  patch(stub::kExit, c.dataMode ? kOpRtsPc : kOpJmpIndexedR0);
  patch(stub::kStartDisplacement,
        static_cast<uint16_t>(c.startDisplacement + c.startOffset - 2 * c.rawPrefixEnd));
}
