// The PC-side Dorvik unpacker. It shares no code with the packer, only the
// format's facts (dorvik_format.h): it reads the image the way the stub
// reads it on the BK, so that it checks the packer instead of repeating it.
// Unlike the stub it trusts nothing in the file: every position it reads or
// writes is checked first.
#include <algorithm>
#include <array>
#include <optional>

#include "bk/autostart.h"
#include "bk/checksum.h"
#include "bk/memory.h"
#include "bk/words.h"
#include "dorvik/dorvik.h"
#include "dorvik/dorvik_format.h"
#include "dorvik/dorvik_stub.h"

namespace dorvik {

namespace {

// Where the stub of an image lies, found by the fixed words of kStub
// (the copy loop and the tail of the decoder). The long stub lies at the
// packed region's start, the short one 022 bytes lower; the words that tell
// them apart never match at the other place. Nothing before them is looked
// at: a loader may have taken over the stub's first words.
struct StubPlacement {
  bool found = false;
  bool longStub = false;
  int32_t stubOffset = 0;  // image offset of stub offset 0 (may be negative)
};

// Every stub finds its delta list through MOV PC, R4 and ADD #236, R4: at
// stub offset 024 + 0236 = 0262, right after the stub and the bitmap. The
// operand is taken from the stub template, not from the image: a loader
// that takes over the stub's first words may have replaced it in the file,
// and puts it back before the stub runs.
int32_t DeltaListStubOffset() {
  return stub::kDeltaListPc + kStub[stub::kDeltaListDisplacement / 2];
}

bool StubWordsMatch(const uint8_t* image, int32_t stubOffset, uint16_t first, uint16_t end) {
  for (uint16_t offset = first; offset < end; offset += 2) {
    if (ReadBkWord(image + stubOffset + offset) != kStub[offset / 2]) return false;
  }
  return true;
}

// The long stub's first words, but for the two it is patched with.
bool LongStubHeadMatches(const uint8_t* image, int32_t stubOffset) {
  for (uint16_t offset = 0; offset < kShortStubSkip; offset += 2) {
    if (offset == stub::kInputLength || offset == stub::kChecksum) continue;
    if (ReadBkWord(image + stubOffset + offset) != kStub[offset / 2]) return false;
  }
  return true;
}

// One unpacking: the image in a buffer as large as the address space, and
// what its stub says.
struct Unpacking {
  Bytes buffer = Bytes(kAddressSpaceEnd);
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

StubPlacement FindStub(const uint8_t* image, int32_t length, int32_t startOffset) {
  StubPlacement placement;
  for (const uint16_t skip : {kLongStubSkip, kShortStubSkip}) {
    const int32_t stubOffset = startOffset - skip;
    if (stubOffset + kStubSize > length) continue;
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

// Recognises the stub and reads its patched words. False when the file
// holds no Dorvik stub where one must be.
bool ParseHeader(Unpacking& u, UnpackResult& result) {
  const StubPlacement placement = FindStub(u.buffer.data(), u.imageLength, u.startOffset);
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
// image offset of the bitmap's first byte; none when the table lies
// outside the file.
std::optional<int32_t> ReadCodeTable(Unpacking& u) {
  const int32_t end = u.imageLength;
  int32_t bitmap = u.deltaListOffset;
  if (bitmap - kCodeBitmapSize < 0 || bitmap > end) return std::nullopt;

  u.codeTable.fill(kPlainValue);
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
      if (read >= end) return std::nullopt;
      const auto first = static_cast<uint16_t>(static_cast<int8_t>(u.buffer[read++]));
      const auto biased = static_cast<uint16_t>(first - u.oneByteBias);
      uint16_t delta;
      if (static_cast<int16_t>(biased) < 0) {
        delta = static_cast<uint16_t>(u.oneByteBias - first);
      } else {
        if (read >= end) return std::nullopt;
        const uint8_t second = u.buffer[read++];
        delta = static_cast<uint16_t>(u.twoByteBias - (biased * 256u + second));
      }
      value = static_cast<uint16_t>(value + delta);
      u.codeTable[slot] = value;
    }
  }
  return bitmap;
}

// The header sat where the stream begins; its first H bytes were moved to
// the end of the image. Copies them back byte by byte from the top down;
// false when the header, the stream and the region do not fit together.
bool RestoreDisplacedBytes(Unpacking& u) {
  const int32_t start = u.startOffset;
  const int32_t header = u.headerLength;
  const int32_t end = u.imageLength;
  const int32_t top = start + u.packedLength;  // end of the unpacked region
  if (header > end - start || top > 0xFFFF || end - header > top) return false;
  for (int32_t i = 1; i <= header; ++i) u.buffer[start + header - i] = u.buffer[end - i];
  return true;
}

// The read and write positions of the backward decoding.
struct Cursor {
  int32_t r;  // read position: the next token ends below it
  int32_t w;  // write position: the next word ends below it
};

// Decodes the token that ends at c.r. False as soon as a damaged stream
// would read below the region's start or write below the read position
// (the encoder's output never overtook its input).
bool DecodeToken(Unpacking& u, Cursor& c) {
  Bytes& buffer = u.buffer;
  const int32_t start = u.startOffset;
  const int32_t top = start + u.packedLength;
  if (c.r - 1 < start) return false;
  const uint8_t code = buffer[--c.r];
  const uint16_t entry = u.codeTable[code ^ 0x80];
  if (entry == kPlainValue) {
    if (c.r - 1 < start || c.w - 2 < c.r - 1) return false;
    buffer[--c.w] = code;
    buffer[--c.w] = buffer[--c.r];
  } else if (entry == kRunValue) {
    if (c.r - 1 < start) return false;
    const uint8_t countByte = buffer[--c.r];
    const int32_t count = countByte == 0 ? 256 : countByte;
    if (c.w + 2 > top || c.w - 2 * count < c.r) return false;
    for (int32_t i = 0; i < count; ++i) {
      c.w -= 2;
      buffer[c.w] = buffer[c.w + 2];
      buffer[c.w + 1] = buffer[c.w + 3];
    }
  } else if (entry == kEscapeValue) {
    if (c.r - 2 < start || c.w - 2 < c.r - 2) return false;
    buffer[--c.w] = buffer[--c.r];
    buffer[--c.w] = buffer[--c.r];
  } else {
    if (c.w - 2 < c.r) return false;
    c.w -= 2;
    WriteBkWord(buffer.data() + c.w, static_cast<uint16_t>(entry + u.base));
  }
  return true;
}

// Puts the displaced stream bytes back and decodes the stream backward in
// place, token by token, until the write position meets the read position.
// Returns the start address the stub jumps to; none as soon as a damaged
// stream would read or write outside the image.
std::optional<uint16_t> DecodeStream(Unpacking& u) {
  if (!RestoreDisplacedBytes(u)) return std::nullopt;
  Cursor c{u.imageLength - u.headerLength, u.startOffset + u.packedLength};
  do {
    if (!DecodeToken(u, c)) return std::nullopt;
  } while (c.w != c.r);
  // The stub leaves with JMP n(R0), R0 being the read position; a flagged
  // image holds the start address itself.
  return u.absoluteStart ? u.startWord : static_cast<uint16_t>(u.startWord + u.loadAddress + c.r);
}

UnpackResult Refuse(UnpackError error) {
  UnpackResult result;
  result.error = error;
  return result;
}

}  // namespace

RawImage FindRawImage(ByteView view) {
  const uint8_t* const bytes = view.data;
  RawImage raw;
  const auto length = static_cast<int32_t>(std::min<size_t>(view.size, 0xFFFF));
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
    const StubPlacement placement = FindStub(bytes, length, region);
    if (!placement.found) continue;
    // A long stub whose region begins here has the same recognised words as
    // a short one whose region begins 022 bytes higher: the long stub's own
    // first words tell them apart.
    const bool longStub =
        placement.stubOffset >= 0 && LongStubHeadMatches(bytes, placement.stubOffset);
    const int32_t stubRegion = placement.stubOffset + (longStub ? kLongStubSkip : kShortStubSkip);
    if (stubRegion != region || region == behindHeader) continue;
    raw.found = true;
    if (region > 0) raw.loadAddress = static_cast<uint16_t>(kSystemAreaEnd - region);
    return raw;
  }
  return raw;
}

bool IsRawImage(ByteView bytes) { return FindRawImage(bytes).found; }

UnpackResult Unpack(ByteView image, uint16_t loadAddress) {
  UnpackResult result;
  Unpacking u;
  // The reader takes no file of 65536 bytes or more; a longer one is cut
  // where the address space ends, as it would be in BK memory.
  const size_t length = std::min<size_t>(image.size, kAddressSpaceEnd - 1);
  std::copy(image.begin(), image.begin() + length, u.buffer.begin());
  u.loadAddress = loadAddress;
  u.startOffset = loadAddress < kSystemAreaEnd ? kSystemAreaEnd - loadAddress : 0;
  u.imageLength = static_cast<int32_t>(length);
  if (!ParseHeader(u, result)) return Refuse(UnpackError::NotRecognised);
  const std::optional<int32_t> bitmap = ReadCodeTable(u);
  if (!bitmap) return Refuse(UnpackError::Damaged);
  // The stub's own arithmetic gives the end of the image: R0 at the bitmap,
  // back over the loop it copied, plus the stream advance of word 0122.
  const auto expected =
      static_cast<uint16_t>(*bitmap - kWorkLoopSize + u.StubWord(stub::kStreamAdvance));
  if (expected > u.imageLength) return Refuse(UnpackError::Truncated);
  u.imageLength = expected;
  const std::optional<uint16_t> startAddress = DecodeStream(u);
  if (!startAddress) return Refuse(UnpackError::Damaged);
  result.startAddress = *startAddress;

  const auto begin = u.buffer.begin();
  const auto stackEnd = begin + u.startOffset;
  Bytes stack = RestoreAutostart(Bytes(begin, stackEnd), result.startAddress);
  if (!result.dataMode) {
    FittedStart fitted = FitStartAddress(stack, loadAddress, result.startAddress);
    result.startAddressLost = fitted.fit == StartAddressFit::Lost;
    stack = std::move(fitted.stack);
  }
  std::copy(stack.begin(), stack.end(), begin);
  result.data.assign(begin, begin + u.startOffset + u.packedLength);
  if (result.longStub) {
    result.longWords = CheckLongStubWords(result.data, result.lengthWord, result.checksumWord);
  }
  return result;
}

LongStubCheck CheckLongStubWords(ByteView data, uint16_t lengthWord, uint16_t checksumWord) {
  const size_t length = data.size;
  LongStubCheck check;
  check.dataChecksum = EndAroundCarrySum(data.data, length);
  const bool lengthMatches =
      lengthWord == length || ((lengthWord & 1) != 0 && lengthWord + 1u == length);
  check.dataLength = lengthMatches ? lengthWord : static_cast<uint16_t>(length);
  check.match = lengthMatches && check.dataChecksum == checksumWord;
  return check;
}

}  // namespace dorvik
