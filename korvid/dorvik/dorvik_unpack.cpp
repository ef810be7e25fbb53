#include "dorvik/dorvik_unpack.h"

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

// What the header says beyond the context fields.
struct ImageLayout {
  int32_t stubOffset = 0;       // image offset of stub offset 0 (may be negative)
  int32_t deltaListOffset = 0;  // image offset of the delta list
  int32_t packedLength = 0;     // p: bytes of the unpacked region
  bool absoluteStart = false;   // word 144 is the start address itself
};

ImageLayout layout;
std::array<uint16_t, 256> codeTable;  // by slot; 0 means not a code byte

uint8_t* Buffer() { return packerState.fileBuffer.data(); }
uint16_t ImageWord(int32_t offset) { return ReadLE16(Buffer() + offset); }
uint16_t StubWord(uint16_t stubOffset) { return ImageWord(layout.stubOffset + stubOffset); }

bool StubWordsMatch(uint16_t first, uint16_t end) {
  for (uint16_t offset = first; offset < end; offset += 2) {
    if (StubWord(offset) != DorvikStub[offset / 2]) return false;
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
    // had the words between it and the top rewritten.
    if (word(0) == kRedirectedWord) {
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

bool ParseDorvikHeader(int32_t dataLength, int32_t loadAddress) {
  DorvikContext& c = dorvikContext;
  const int32_t start = loadAddress < kSystemAreaEnd ? kSystemAreaEnd - loadAddress : 0;
  c.startOffset = c.skipBytes = static_cast<uint16_t>(start);

  const bool longStub = dataLength >= start + 12 &&
                        ImageWord(start + stub::kSystemLengthA) == kSystemLengthAddressA &&
                        ImageWord(start + stub::kSystemLengthB) == kSystemLengthAddressB;
  c.stubSkip = longStub ? kLongStubSkip : kShortStubSkip;
  layout = ImageLayout{};
  layout.stubOffset = start - c.stubSkip;
  if (layout.stubOffset + kDorvikStubSize > dataLength) return false;
  if (!StubWordsMatch(stub::kRecognisedFirst, stub::kRecognisedFirstEnd) ||
      !StubWordsMatch(stub::kRecognisedSecond, stub::kRecognisedSecondEnd)) {
    return false;
  }
  if (longStub) c.longStub = true;

  const uint16_t exit = StubWord(stub::kExit);
  if (exit == kOpRtsPc) c.dataMode = true;
  layout.absoluteStart = exit == kOpJmpAbsolute || exit == kOpJsrPcAbsolute;

  c.imageLength = static_cast<uint16_t>(dataLength);
  c.oneByteBias = StubWord(stub::kOneByteBias);
  c.twoByteBias = StubWord(stub::kTwoByteBias);
  c.base = static_cast<uint16_t>(StubWord(stub::kBasePlusOne) - 1);
  c.headerLength = StubWord(stub::kHeaderLength);
  layout.deltaListOffset = layout.stubOffset + 20 + StubWord(stub::kDeltaListDisplacement);
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
  ConsolePrint(kMsgUnpacked);
  return true;
}
