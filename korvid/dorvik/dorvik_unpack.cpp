#include "dorvik/dorvik_unpack.h"

#include <algorithm>
#include <array>
#include <vector>

#include "bk/autostart.h"
#include "bk/checksum.h"
#include "bk/memory.h"
#include "bk/words.h"
#include "dorvik/dorvik.h"
#include "dorvik/dorvik_stub.h"

namespace {

// Table value meanings: no code byte, run group, escaped plain word.
constexpr uint16_t kPlainEntry = 0;
constexpr uint16_t kRunEntry = 1;
constexpr uint16_t kEscapeEntry = 0x8000;

// Every stub finds its delta list through MOV PC, R4 and ADD #236, R4: at
// stub offset 024 + 0236 = 0262, right after the stub and the bitmap. The
// operand is taken from the stub template, not from the image: a loader
// that takes over the stub's first words may have replaced it in the file,
// and puts it back before the stub runs.
int32_t DeltaListStubOffset() {
  return stub::kDeltaListPc + DorvikStub[stub::kDeltaListDisplacement / 2];
}

bool StubWordsMatch(const uint8_t* image, int32_t stubOffset, uint16_t first, uint16_t end) {
  for (uint16_t offset = first; offset < end; offset += 2) {
    if (ReadBkWord(image + stubOffset + offset) != DorvikStub[offset / 2]) return false;
  }
  return true;
}

// The long stub's first words, but for the two it is patched with.
bool LongStubHeadMatches(const uint8_t* image, int32_t stubOffset) {
  for (uint16_t offset = 0; offset < kShortStubSkip; offset += 2) {
    if (offset == stub::kInputLength || offset == stub::kChecksum) continue;
    if (ReadBkWord(image + stubOffset + offset) != DorvikStub[offset / 2]) return false;
  }
  return true;
}

// One unpacking: the image in a buffer as large as the address space, and
// what its stub says.
struct Unpacking {
  std::vector<uint8_t> buffer = std::vector<uint8_t>(kAddressSpaceEnd);
  uint16_t loadAddress = 0;
  int32_t startOffset = 0;      // offset of the packed region (BK address 01000)
  int32_t imageLength = 0;      // the file's, then the image's own
  int32_t stubOffset = 0;       // image offset of stub offset 0 (may be negative)
  int32_t deltaListOffset = 0;  // image offset of the delta list
  int32_t packedLength = 0;     // bytes of the unpacked region
  int32_t headerLength = 0;     // H: the stub's part, bitmap and delta list
  uint16_t oneByteBias = 0;
  uint16_t twoByteBias = 0;
  uint16_t base = 0;
  uint16_t startWord = 0;                 // word 0220: n of JMP n(R0), or the start address itself
  bool absoluteStart = false;             // word 0216 jumps to word 0220 itself
  std::array<uint16_t, 256> codeTable{};  // by slot; 0 means not a code byte

  uint16_t ImageWord(int32_t offset) const { return ReadBkWord(buffer.data() + offset); }
  uint16_t StubWord(uint16_t offset) const { return ImageWord(stubOffset + offset); }
};

// Recognises the stub and reads its patched words. False when the file
// holds no Dorvik stub where one must be.
bool ParseHeader(Unpacking& u, DorvikUnpackResult& result) {
  const DorvikStubPlacement placement =
      FindDorvikStub(u.buffer.data(), u.imageLength, u.startOffset);
  if (!placement.found) return false;
  u.stubOffset = placement.stubOffset;
  result.longStub = placement.longStub;
  if (placement.longStub) {
    result.lengthWord = u.StubWord(stub::kInputLength);
    result.checksumWord = u.StubWord(stub::kChecksum);
  }
  const uint16_t exit = u.StubWord(stub::kExit);
  result.dataMode = exit == kOpRtsPc;
  u.absoluteStart = exit == kOpJmpAbsolute || exit == kOpJsrPcAbsolute;
  u.oneByteBias = u.StubWord(stub::kOneByteBias);
  u.twoByteBias = u.StubWord(stub::kTwoByteBias);
  u.base = static_cast<uint16_t>(u.StubWord(stub::kBasePlusOne) - 1);
  u.headerLength = u.StubWord(stub::kHeaderLength);
  u.deltaListOffset = u.stubOffset + DeltaListStubOffset();
  u.packedLength = u.StubWord(stub::kPackedLength);
  u.startWord = u.StubWord(stub::kStartDisplacement);
  return true;
}

// Rebuilds the code table from the bitmap and the delta list. Returns the
// image offset of the bitmap's first byte, or -1 when the table lies
// outside the file.
int32_t ReadCodeTable(Unpacking& u) {
  const int32_t end = u.imageLength;
  int32_t bitmap = u.deltaListOffset;
  if (bitmap - kCodeBitmapSize < 0 || bitmap > end) return -1;

  u.codeTable.fill(kPlainEntry);
  int32_t read = u.deltaListOffset;
  uint16_t value = 0;
  int slot = 255;
  // Bitmap words from the last to the first, bits from the top: slots 255
  // down to 0. Each set bit takes the next delta of the list.
  for (int i = 0; i < kCodeBitmapSize / 2; ++i) {
    bitmap -= 2;
    const uint16_t bits = u.ImageWord(bitmap);
    for (int bit = 15; bit >= 0; --bit, --slot) {
      if (((bits >> bit) & 1) == 0) continue;
      if (read >= end) return -1;
      const auto first = static_cast<uint16_t>(static_cast<int8_t>(u.buffer[read++]));
      const auto biased = static_cast<uint16_t>(first - u.oneByteBias);
      uint16_t delta;
      if (static_cast<int16_t>(biased) < 0) {
        delta = static_cast<uint16_t>(u.oneByteBias - first);
      } else {
        if (read >= end) return -1;
        const uint8_t second = u.buffer[read++];
        delta = static_cast<uint16_t>(u.twoByteBias - (biased * 256u + second));
      }
      value = static_cast<uint16_t>(value + delta);
      u.codeTable[slot] = value;
    }
  }
  return bitmap;
}

// Puts the displaced stream bytes back and decodes the stream backward in
// place. Returns the start address the stub jumps to, or -1 as soon as a
// damaged stream would read or write outside the image.
int32_t DecodeStream(Unpacking& u) {
  std::vector<uint8_t>& buffer = u.buffer;
  const int32_t start = u.startOffset;
  const int32_t header = u.headerLength;
  const int32_t end = u.imageLength;
  const int32_t top = start + u.packedLength;  // end of the unpacked region
  if (header > end - start || top > 0xFFFF || end - header > top) return -1;

  // The header sat where the stream begins; its first H bytes were moved to
  // the end of the image. Copy them back byte by byte from the top down.
  for (int32_t i = 1; i <= header; ++i) buffer[start + header - i] = buffer[end - i];

  int32_t r = end - header;  // read position: end of the stream
  int32_t w = top;           // write position: end of the unpacked region
  // Each token is read backward; the write position may never drop below
  // the read position (the encoder's output never overtook its input), and
  // the read position never below the region's start.
  do {
    if (r - 1 < start) return -1;
    const uint8_t code = buffer[--r];
    const uint16_t entry = u.codeTable[code ^ 0x80];
    if (entry == kPlainEntry) {
      if (r - 1 < start || w - 2 < r - 1) return -1;
      buffer[--w] = code;
      buffer[--w] = buffer[--r];
    } else if (entry == kRunEntry) {
      if (r - 1 < start) return -1;
      const uint8_t countByte = buffer[--r];
      const int32_t count = countByte == 0 ? 256 : countByte;
      if (w + 2 > top || w - 2 * count < r) return -1;
      for (int32_t i = 0; i < count; ++i) {
        w -= 2;
        buffer[w] = buffer[w + 2];
        buffer[w + 1] = buffer[w + 3];
      }
    } else if (entry == kEscapeEntry) {
      if (r - 2 < start || w - 2 < r - 2) return -1;
      buffer[--w] = buffer[--r];
      buffer[--w] = buffer[--r];
    } else {
      if (w - 2 < r) return -1;
      w -= 2;
      WriteBkWord(buffer.data() + w, static_cast<uint16_t>(entry + u.base));
    }
  } while (w != r);

  // The stub leaves with JMP n(R0), R0 being the read position; a flagged
  // image holds the start address itself.
  return u.absoluteStart ? u.startWord : static_cast<uint16_t>(u.startWord + u.loadAddress + r);
}

DorvikUnpackResult Refuse(DorvikUnpackError error) {
  DorvikUnpackResult result;
  result.error = error;
  return result;
}

}  // namespace

DorvikStubPlacement FindDorvikStub(const uint8_t* image, int32_t length, int32_t startOffset) {
  DorvikStubPlacement placement;
  for (const uint16_t skip : {kLongStubSkip, kShortStubSkip}) {
    const int32_t stubOffset = startOffset - skip;
    if (stubOffset + kDorvikStubSize > length) continue;
    if (StubWordsMatch(image, stubOffset, stub::kRecognisedFirst, stub::kRecognisedFirstEnd) &&
        StubWordsMatch(image, stubOffset, stub::kRecognisedSecond, stub::kRecognisedSecondEnd)) {
      placement.found = true;
      placement.longStub = skip == kLongStubSkip;
      placement.stubOffset = stubOffset;
      return placement;
    }
  }
  return placement;
}

RawDorvikImage FindRawDorvikImage(const uint8_t* bytes, size_t size) {
  RawDorvikImage raw;
  const auto length = static_cast<int32_t>(std::min<size_t>(size, 0xFFFF));
  // Where a BK header in the first two words would put the packed region:
  // such an image has its header, and it is no raw image at 0774 or below.
  int32_t behindHeader = -1;
  if (length >= 4) {
    const uint16_t headerLoad = ReadBkWord(bytes);
    behindHeader = 4 + (headerLoad < kSystemAreaEnd ? kSystemAreaEnd - headerLoad : 0);
  }
  // The packed region from 01000 on: at offset 0, or after a stack image of
  // 01000 - load bytes (a whole number of words: the load address is even).
  for (int32_t region = 0; region <= kSystemAreaEnd; region += 2) {
    const DorvikStubPlacement placement = FindDorvikStub(bytes, length, region);
    if (!placement.found) continue;
    // A long stub whose region begins here has the same recognised words as
    // a short one whose region begins 022 bytes higher: the long stub's own
    // first words tell them apart.
    const bool longStub =
        placement.stubOffset >= 0 && LongStubHeadMatches(bytes, placement.stubOffset);
    const int32_t stubRegion = placement.stubOffset + (longStub ? kLongStubSkip : kShortStubSkip);
    if (stubRegion != region || region == behindHeader) continue;
    raw.found = true;
    raw.addressKnown = region > 0;
    raw.loadAddress = static_cast<uint16_t>(kSystemAreaEnd - region);
    return raw;
  }
  return raw;
}

bool IsRawDorvikImage(const uint8_t* bytes, size_t size) {
  return FindRawDorvikImage(bytes, size).found;
}

DorvikUnpackResult DorvikUnpack(const std::vector<uint8_t>& image, uint16_t loadAddress) {
  DorvikUnpackResult result;
  Unpacking u;
  // The reader takes no file of 65536 bytes or more; a longer one is cut
  // where the address space ends, as it would be in BK memory.
  const size_t length = std::min<size_t>(image.size(), kAddressSpaceEnd - 1);
  std::copy(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(length), u.buffer.begin());
  u.loadAddress = loadAddress;
  u.startOffset = loadAddress < kSystemAreaEnd ? kSystemAreaEnd - loadAddress : 0;
  u.imageLength = static_cast<int32_t>(length);
  if (!ParseHeader(u, result)) return Refuse(DorvikUnpackError::NotRecognised);
  const int32_t bitmap = ReadCodeTable(u);
  if (bitmap < 0) return Refuse(DorvikUnpackError::Damaged);
  // The stub's own arithmetic gives the end of the image: R0 at the bitmap,
  // back over the loop it copied, plus the stream advance of word 0122.
  const auto expected =
      static_cast<uint16_t>(bitmap - kWorkLoopSize + u.StubWord(stub::kStreamAdvance));
  if (expected > u.imageLength) return Refuse(DorvikUnpackError::Truncated);
  u.imageLength = expected;
  const int32_t startAddress = DecodeStream(u);
  if (startAddress < 0) return Refuse(DorvikUnpackError::Damaged);
  result.startAddress = static_cast<uint16_t>(startAddress);

  const auto begin = u.buffer.begin();
  const auto stackEnd = begin + u.startOffset;
  std::vector<uint8_t> stack =
      RestoreAutostart(std::vector<uint8_t>(begin, stackEnd), result.startAddress);
  if (!result.dataMode) {
    FittedStart fitted = FitStartAddress(stack, loadAddress, result.startAddress);
    result.startAddressLost = fitted.fit == StartAddressFit::Lost;
    stack = std::move(fitted.stack);
  }
  std::copy(stack.begin(), stack.end(), begin);
  result.data.assign(begin, begin + u.startOffset + u.packedLength);
  if (result.longStub) {
    result.longWords = CheckLongStubWords(result.data.data(), result.data.size(), result.lengthWord,
                                          result.checksumWord);
  }
  return result;
}

LongStubCheck CheckLongStubWords(const uint8_t* data, size_t length, uint16_t lengthWord,
                                 uint16_t checksumWord) {
  LongStubCheck check;
  check.dataChecksum = EndAroundCarrySum(data, length);
  const bool lengthMatches =
      lengthWord == length || ((lengthWord & 1) != 0 && lengthWord + 1u == length);
  check.dataLength = lengthMatches ? lengthWord : static_cast<uint16_t>(length);
  check.match = lengthMatches && check.dataChecksum == checksumWord;
  return check;
}
