#include "dorvik/dorvik_unpack.h"

#include <algorithm>
#include <array>

#include "dorvik/dorvik.h"
#include "dorvik/dorvik_context.h"
#include "dorvik/dorvik_stub.h"
#include "front/console.h"
#include "front/le16.h"
#include "front/messages.h"
#include "front/packer_state.h"

namespace {

constexpr int32_t kSystemAreaEnd = 01000;
// Where the BK's loader keeps the return address that an autostarting file
// overwrites: 0744, that is 28 bytes below 01000.
constexpr int32_t kAutostartProbeDepth = 28;
constexpr uint16_t kRedirectedWord = 01000;

// Table value meanings: no code byte, run group, escaped plain word.
constexpr uint16_t kPlainEntry = 0;
constexpr uint16_t kRunEntry = 1;
constexpr uint16_t kEscapeEntry = 0x8000;

// Every stub finds its delta list through MOV PC, R4 and ADD #236, R4: at
// stub offset 20 + 0236 = 178, right after the 146-byte stub and the
// 32-byte bitmap. The operand is taken from the stub template, not from the
// image: a loader that takes over the stub's first words may have replaced
// it in the file, and puts it back before the stub runs.
int32_t DeltaListStubOffset() { return 20 + DorvikStub[stub::kDeltaListDisplacement / 2]; }

// What the header says beyond the context fields.
struct ImageLayout {
  int32_t stubOffset = 0;       // image offset of stub offset 0 (may be negative)
  int32_t deltaListOffset = 0;  // image offset of the delta list
  int32_t packedLength = 0;     // p: bytes of the unpacked region
  bool absoluteStart = false;   // word 144 is the start address itself
  uint16_t lengthWord = 0;      // long stub: the input length it leaves at 0266
  uint16_t checksumWord = 0;    // long stub: the checksum it leaves at 0312
};

ImageLayout layout;
std::array<uint16_t, 256> codeTable;  // by slot; 0 means not a code byte

uint8_t* Buffer() { return packerState.fileBuffer.data(); }
uint16_t ImageWord(int32_t offset) { return ReadLE16(Buffer() + offset); }
uint16_t StubWord(uint16_t stubOffset) { return ImageWord(layout.stubOffset + stubOffset); }

bool StubWordsMatch(const uint8_t* image, int32_t stubOffset, uint16_t first, uint16_t end) {
  for (uint16_t offset = first; offset < end; offset += 2) {
    if (ReadLE16(image + stubOffset + offset) != DorvikStub[offset / 2]) return false;
  }
  return true;
}

// Inverse of the packer's autostart redirection for a file below 01000.
// The packer rewrote with 01000 the words of the start address's run from
// two below its top downward; the topmost word kept the start address.
// Nothing was redirected when the start address is 01000 itself.
void RestoreAutostart(uint16_t startAddress) {
  const int32_t start = dorvikContext.startOffset;
  if (start == 0 || startAddress == kRedirectedWord) return;
  auto word = [](int32_t offset) { return ImageWord(offset); };
  auto put = [startAddress](int32_t offset) { WriteLE16(Buffer() + offset, startAddress); };

  const int32_t probe = start > kAutostartProbeDepth ? start - kAutostartProbeDepth : 0;
  if (probe == 0) {
    // The file begins at or above 0744: its first word was the probe. A run
    // of one or two words had that word rewritten; a longer run kept it and
    // had the words between it and the top rewritten. 01000 in the second
    // word as well is no run of the packer's but a stack image pointed at
    // the stub throughout, which FitStartAddress puts right.
    if (word(0) == kRedirectedWord && (start <= 2 || word(2) != kRedirectedWord)) {
      put(0);
      return;
    }
    if (word(0) != startAddress) return;
    int32_t top = 2;
    while (top < start && word(top) == kRedirectedWord) top += 2;
    if (top >= start || word(top) != startAddress) return;
    for (int32_t q = 2; q < top; q += 2) put(q);
    return;
  }
  int32_t top = probe;
  while (top < start && word(top) == kRedirectedWord) top += 2;
  if (top >= start || word(top) != startAddress) return;  // not the packer's pattern
  // The word below the kept one was rewritten unconditionally; below it the
  // packer went on while it met the start address, never touching offset 0.
  int32_t q = top - 2;
  put(q);
  for (q -= 2; q > 0 && word(q) == kRedirectedWord; q -= 2) put(q);
}

bool Damaged() {
  ConsolePrint(kMsgDorvikDamaged);
  return false;
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

bool IsRawDorvikImage(const uint8_t* bytes, size_t size) {
  return FindDorvikStub(bytes, static_cast<int32_t>(std::min<size_t>(size, 0xFFFF)), 0).found;
}

bool ParseDorvikHeader(int32_t dataLength, int32_t loadAddress) {
  DorvikContext& c = dorvikContext;
  const int32_t start = loadAddress < kSystemAreaEnd ? kSystemAreaEnd - loadAddress : 0;
  c.startOffset = c.skipBytes = static_cast<uint16_t>(start);

  const DorvikStubPlacement placement = FindDorvikStub(Buffer(), dataLength, start);
  if (!placement.found) return false;
  c.stubSkip = placement.longStub ? kLongStubSkip : kShortStubSkip;
  layout = ImageLayout{};
  layout.stubOffset = placement.stubOffset;
  if (placement.longStub) {
    c.longStub = true;
    layout.lengthWord = StubWord(stub::kInputLength);
    layout.checksumWord = StubWord(stub::kChecksum);
  }

  const uint16_t exit = StubWord(stub::kExit);
  if (exit == kOpRtsPc) c.dataMode = true;
  layout.absoluteStart = exit == kOpJmpAbsolute || exit == kOpJsrPcAbsolute;

  c.imageLength = static_cast<uint16_t>(dataLength);
  c.oneByteBias = StubWord(stub::kOneByteBias);
  c.twoByteBias = StubWord(stub::kTwoByteBias);
  c.base = static_cast<uint16_t>(StubWord(stub::kBasePlusOne) - 1);
  c.headerLength = StubWord(stub::kHeaderLength);
  layout.deltaListOffset = layout.stubOffset + DeltaListStubOffset();
  layout.packedLength = StubWord(stub::kPackedLength);
  c.startDisplacement = StubWord(stub::kStartDisplacement);
  return true;
}

int32_t ReadCodeTable() {
  const DorvikContext& c = dorvikContext;
  const int32_t end = c.imageLength;
  int32_t bitmap = layout.deltaListOffset;
  if (bitmap - 32 < 0 || bitmap > end) return -1;

  codeTable.fill(kPlainEntry);
  int32_t read = layout.deltaListOffset;
  uint16_t value = 0;
  int slot = 255;
  // Bitmap words from the last to the first, bits from the top: slots 255
  // down to 0. Each set bit takes the next delta of the list.
  for (int i = 0; i < 16; ++i) {
    bitmap -= 2;
    const uint16_t bits = ImageWord(bitmap);
    for (int bit = 15; bit >= 0; --bit, --slot) {
      if (((bits >> bit) & 1) == 0) continue;
      if (read >= end) return -1;
      const auto first = static_cast<uint16_t>(static_cast<int8_t>(Buffer()[read++]));
      const auto biased = static_cast<uint16_t>(first - c.oneByteBias);
      uint16_t delta;
      if (static_cast<int16_t>(biased) < 0) {
        delta = static_cast<uint16_t>(c.oneByteBias - first);
      } else {
        if (read >= end) return -1;
        const uint8_t second = Buffer()[read++];
        delta = static_cast<uint16_t>(c.twoByteBias - (biased * 256u + second));
      }
      value = static_cast<uint16_t>(value + delta);
      codeTable[slot] = value;
    }
  }
  return bitmap;
}

bool DecodeDorvikStream() {
  DorvikContext& c = dorvikContext;
  uint8_t* buffer = Buffer();
  const int32_t start = c.startOffset;
  const int32_t header = c.headerLength;
  const int32_t end = c.imageLength;
  const int32_t top = start + layout.packedLength;  // end of the unpacked region
  if (header > end - start || top > 0xFFFF || end - header > top) return false;

  // The header sat where the stream begins; its first H bytes were moved to
  // the end of the image. Copy them back byte by byte from the top down.
  for (int32_t i = 1; i <= header; ++i) buffer[start + header - i] = buffer[end - i];

  int32_t r = end - header;  // read position: end of the stream
  int32_t w = top;           // write position: end of the unpacked region
  // Each token is read backward; the write position may never drop below
  // the read position (the encoder's output never overtook its input), and
  // the read position never below the region's start.
  do {
    if (r - 1 < start) return false;
    const uint8_t code = buffer[--r];
    const uint16_t entry = codeTable[code ^ 0x80];
    if (entry == kPlainEntry) {
      if (r - 1 < start || w - 2 < r - 1) return false;
      buffer[--w] = code;
      buffer[--w] = buffer[--r];
    } else if (entry == kRunEntry) {
      if (r - 1 < start) return false;
      const uint8_t countByte = buffer[--r];
      const int32_t count = countByte == 0 ? 256 : countByte;
      if (w + 2 > top || w - 2 * count < r) return false;
      for (int32_t i = 0; i < count; ++i) {
        w -= 2;
        buffer[w] = buffer[w + 2];
        buffer[w + 1] = buffer[w + 3];
      }
    } else if (entry == kEscapeEntry) {
      if (r - 2 < start || w - 2 < r - 2) return false;
      buffer[--w] = buffer[--r];
      buffer[--w] = buffer[--r];
    } else {
      if (w - 2 < r) return false;
      w -= 2;
      WriteLE16(buffer + w, static_cast<uint16_t>(entry + c.base));
    }
  } while (w != r);

  // The stub leaves with JMP n(R0), R0 being the read position; a flagged
  // image holds the start address itself.
  const uint16_t displacement = c.startDisplacement;
  const uint16_t startAddress =
      layout.absoluteStart
          ? displacement
          : static_cast<uint16_t>(displacement + packerState.loadAddress + r);
  c.startDisplacement = startAddress;
  RestoreAutostart(startAddress);
  c.unpackedLength = static_cast<uint16_t>(top);
  return true;
}

bool DorvikUnpack() {
  if (!ParseDorvikHeader(packerState.dataLength, packerState.loadAddress)) {
    ConsolePrint(kMsgDorvikNotRecognised);
    return false;
  }
  const int32_t bitmap = ReadCodeTable();
  if (bitmap < 0) return Damaged();
  // The stub's own arithmetic gives the end of the image: the bitmap, back
  // to the loop, plus the stream advance of word 82.
  const auto expected = static_cast<uint16_t>(bitmap - 56 + StubWord(stub::kStreamAdvance));
  if (expected > dorvikContext.imageLength) {
    ConsolePrint(kMsgDorvikTruncated);
    return false;
  }
  dorvikContext.imageLength = expected;
  if (!DecodeDorvikStream()) return Damaged();

  const DorvikContext& c = dorvikContext;
  uint8_t* data = Buffer();
  const uint16_t startAddress = c.startDisplacement;
  if (!c.dataMode &&
      FitStartAddress(data, c.startOffset, static_cast<uint16_t>(packerState.loadAddress),
                      startAddress) == StartAddressFit::Lost) {
    ConsoleNote(kMsgDorvikStartAddress, static_cast<unsigned>(startAddress));
  }
  if (c.longStub) {
    const LongStubCheck check =
        CheckLongStubWords(data, c.unpackedLength, layout.lengthWord, layout.checksumWord);
    if (!check.match) {
      ConsoleNote(kMsgDorvikLongWords, static_cast<unsigned>(layout.lengthWord),
                  static_cast<unsigned>(layout.checksumWord), static_cast<unsigned>(check.dataLength),
                  static_cast<unsigned>(check.dataChecksum));
    }
  }
  return true;
}

StartAddressFit FitStartAddress(uint8_t* data, int32_t regionStart, uint16_t loadAddress,
                                uint16_t startAddress) {
  if (regionStart == 0) {
    return startAddress == loadAddress ? StartAddressFit::Carried : StartAddressFit::Lost;
  }
  auto word = [data](int32_t offset) { return ReadLE16(data + offset); };
  const int32_t probe = std::max(regionStart - kAutostartProbeDepth, 0);
  const uint16_t autostart = word(probe);
  if (autostart == startAddress) return StartAddressFit::Carried;
  if (autostart == kRedirectedWord) {
    int32_t low = probe;
    while (low >= 2 && word(low - 2) == kRedirectedWord) low -= 2;
    int32_t high = probe;
    while (high + 2 < regionStart && word(high + 2) == kRedirectedWord) high += 2;
    for (int32_t q = low; q <= high; q += 2) WriteLE16(data + q, startAddress);
    return StartAddressFit::Restored;
  }
  if (startAddress == kRedirectedWord && autostart < kRedirectedWord) return StartAddressFit::Carried;
  return StartAddressFit::Lost;
}

LongStubCheck CheckLongStubWords(const uint8_t* data, int32_t length, uint16_t lengthWord,
                                 uint16_t checksumWord) {
  LongStubCheck check;
  uint32_t sum = 0;
  for (int32_t i = 0; i < length; ++i) {
    sum += data[i];
    if (sum > 0xFFFF) sum = (sum & 0xFFFF) + 1;
  }
  check.dataChecksum = static_cast<uint16_t>(sum);
  const bool lengthMatches =
      lengthWord == length || ((lengthWord & 1) != 0 && lengthWord + 1 == length);
  check.dataLength = lengthMatches ? lengthWord : static_cast<uint16_t>(length);
  check.match = lengthMatches && check.dataChecksum == checksumWord;
  return check;
}
