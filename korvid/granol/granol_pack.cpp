// The Granol packer: a backward LZ coder with a bit stream, behind the
// GranolStub that unpacks it on the BK.
//
// Tokens as the unpacker reads them (prefix bits first):
//   00  count-1 (3 bits), count bytes       short literal run, 1..8 bytes
//   111 count-9 (8 bits), count bytes       long literal run, 9..264 bytes
//   01  distance (8 bits)                   copy of 2 bytes
//   100 distance (9 bits)                   copy of 3 bytes
//   101 distance (10 bits)                  copy of 4 bytes
//   110 length-1 (8 bits), distance (12)    copy of 5..256 bytes
// A copy takes each byte from `distance` bytes above it, so the source has
// always been decoded already: the unpacker works from the end downwards.
#include <algorithm>
#include <string>

#include "front/console.h"
#include "front/le16.h"
#include "front/messages.h"
#include "front/packer_state.h"
#include "common/platform.h"
#include "granol/granol.h"
#include "granol/granol_stub.h"

namespace {

constexpr uint32_t kAddressSpaceEnd = 0200000;
// Candidates lie in the 4096 bytes from the input position on.
constexpr int kWindowSize = 4096;
constexpr int kLongestCopy = 256;
constexpr int kMaxLiteralRun = 264;
constexpr int kShortLiteralRun = 8;
constexpr int kWordBits = 16;

// One row per copy class: the match length 2, 3, 4, or 5..256 (class 3).
struct CopyClass {
  int prefix;
  int prefixBits;
  int distanceBits;
  int largestDistance;
};
constexpr CopyClass kCopyClasses[] = {
    {1, 2, 8, 255},    // 01   + distance: 2 bytes
    {4, 3, 9, 511},    // 100  + distance: 3 bytes
    {5, 3, 10, 1023},  // 101  + distance: 4 bytes
    {6, 3, 12, 4095},  // 110  + length-1 + distance: 5..256 bytes
};
constexpr int kLongCopyClass = 3;
constexpr int kLongCopyLengthBits = 8;

// Count codes of literal runs: the prefix sits in the top bits of the field.
constexpr int kShortRunCodeBits = 5;   // 00 + count-1
constexpr int kLongRunCodeBits = 11;   // 111 + count-9
constexpr uint32_t kLongRunPrefix = 0x700;

struct GranolEncoder {
  uint16_t accumulator = 1;  // the marker bit sits just above the pending bits
  int pendingBits = 0;
  int nextWord = kGranolFirstStreamWord;
  int position = 0;          // next input byte to encode
  int pendingLiterals = 0;   // literal bytes appended but not yet counted
  int packedLength = 0;      // P
};

GranolEncoder encoder;

void StoreWord(uint16_t value) {
  WriteLE16(packerState.granolImage.data() + 2 * encoder.nextWord, value);
  ++encoder.nextWord;
}

void PutBits(uint32_t value, int count) {
  for (int i = 0; i < count; ++i) {
    encoder.accumulator = static_cast<uint16_t>((encoder.accumulator << 1) | (value & 1));
    value >>= 1;
    if (++encoder.pendingBits == kWordBits) {
      StoreWord(encoder.accumulator);
      encoder.accumulator = 1;
      encoder.pendingBits = 0;
    }
  }
}

void FlushLiterals() {
  const int count = encoder.pendingLiterals;
  if (count == 0) return;
  encoder.pendingLiterals = 0;
  if (count <= kShortLiteralRun) {
    PutBits(static_cast<uint32_t>(count - 1), kShortRunCodeBits);
  } else {
    PutBits(static_cast<uint32_t>(count - 9) + kLongRunPrefix, kLongRunCodeBits);
  }
}

struct Match {
  int length = 1;  // 1: no copy found
  int distance = 0;
  int copyClass = 0;
};

// Takes a candidate of `length` matching bytes at `distance` when it is
// longer than the best so far and its class reaches that far. The test uses
// the unlimited length, so among matches longer than 256 bytes the last
// one found wins, otherwise the nearest of the greatest length.
void ConsiderMatch(int length, int distance, Match* best) {
  if (length <= best->length) return;
  const int copyClass = length >= 5 ? kLongCopyClass : length - 2;
  if (distance > kCopyClasses[copyClass].largestDistance) return;
  best->length = std::min(length, kLongestCopy);
  best->distance = distance;
  best->copyClass = copyClass;
}

// Plain scan of the window for the best earlier-decoded match of the bytes
// at p. After a candidate that matched m bytes, the candidates inside the
// compared stretch are skipped.
Match FindMatch(const uint8_t* data, int p, int windowEnd) {
  Match best;
  const uint8_t first = data[p];
  const uint8_t second = data[p + 1];
  int j = p + 2;
  while (j < windowEnd) {
    if (data[j] != first || data[j + 1] != second) {
      ++j;
      continue;
    }
    int equal = 0;
    while (j + equal < windowEnd && data[j + equal] == data[p + equal]) ++equal;
    // A match that runs into the window end gives up its last byte and
    // ends the scan.
    const bool atWindowEnd = j + equal >= windowEnd;
    ConsiderMatch(atWindowEnd ? equal - 1 : equal, j - p, &best);
    if (atWindowEnd) break;
    j += equal + 1;
  }
  return best;
}

int GranolEncodeStep() {
  const uint8_t* data = packerState.fileBuffer.data();
  const int p = encoder.position;
  const int windowEnd = std::min(p + kWindowSize, encoder.packedLength);
  if (p + 2 < windowEnd) {
    const Match match = FindMatch(data, p, windowEnd);
    if (match.length > 1) {
      const CopyClass& copy = kCopyClasses[match.copyClass];
      encoder.position += match.length;
      FlushLiterals();
      PutBits(static_cast<uint32_t>(match.distance), copy.distanceBits);
      if (match.copyClass == kLongCopyClass) {
        PutBits(static_cast<uint32_t>(match.length - 1), kLongCopyLengthBits);
      }
      PutBits(static_cast<uint32_t>(copy.prefix), copy.prefixBits);
      return 0;
    }
  }
  PutBits(data[p], 8);
  ++encoder.position;
  return 1;
}

// The stream's last words: the partly filled accumulator and its bit count,
// or just 16 when the last word was full. An empty input has no bits at all:
// the bare marker with a count of 0 makes the stub stop at its first bit,
// before it writes anything.
void StoreFinalWords() {
  const bool emptyStream = encoder.packedLength == 0;
  if (encoder.accumulator != 1 || emptyStream) {
    StoreWord(encoder.accumulator);
    StoreWord(static_cast<uint16_t>(encoder.pendingBits));
  } else {
    StoreWord(kWordBits);
  }
}

// Bytes 0374..0376: the first three characters after the dot of the input's
// extension, each as the low 8 bits of its UTF-16 code unit; zeros after a
// shorter extension. A name without extension leaves them zero.
void PatchExtension() {
  const std::wstring extension = PathExtension(packerState.inputName);
  if (extension.empty()) return;
  std::u16string units;
  for (size_t i = 1; i < extension.size(); ++i) {
    const auto c = static_cast<char32_t>(extension[i]);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(c);
    }
  }
  uint8_t* field = packerState.granolImage.data() + kGranolExtensionOffset;
  for (int i = 0; i < kGranolExtensionLength; ++i) {
    field[i] = i < static_cast<int>(units.size()) ? static_cast<uint8_t>(units[i] & 0xFF) : 0;
  }
}

}  // namespace

bool GranolImageFits(uint32_t loadAddress, uint32_t packedLength, uint32_t imageLength) {
  const uint32_t dataEnd = loadAddress + packedLength;
  if (dataEnd > kAddressSpaceEnd) return false;
  return imageLength <= loadAddress || imageLength <= kAddressSpaceEnd - dataEnd;
}

bool GranolPack() {
  // An odd length is padded with one zero byte: the stream always describes
  // an even number of bytes. The byte after the packed ones reads as zero.
  int packedLength = packerState.dataLength;
  if (packedLength % 2 != 0) packerState.fileBuffer[packedLength++] = 0;
  packerState.fileBuffer[packedLength] = 0;

  std::copy(GranolStub.begin(), GranolStub.end(), packerState.granolImage.begin());
  encoder = GranolEncoder();
  encoder.packedLength = packedLength;

  while (encoder.position < packedLength) {
    encoder.pendingLiterals += GranolEncodeStep();
    if (encoder.pendingLiterals == kMaxLiteralRun) FlushLiterals();
  }
  FlushLiterals();
  StoreFinalWords();
  PatchExtension();

  const int words = encoder.nextWord;
  const auto loadAddress = static_cast<uint16_t>(packerState.loadAddress);
  if (!GranolImageFits(loadAddress, static_cast<uint32_t>(packedLength), 2u * words)) {
    ConsolePrint(kMsgGranolDoesNotFit, 2u * words, static_cast<unsigned>(loadAddress),
                 static_cast<unsigned>(loadAddress + packedLength));
    return false;
  }
  uint8_t* image = packerState.granolImage.data();
  WriteLE16(image + 2 * kGranolLoadAddressWord, static_cast<uint16_t>(packerState.loadAddress));
  WriteLE16(image + 2 * kGranolImageEndWord,
            static_cast<uint16_t>(2 * (words - kGranolPackedLengthWord)));
  WriteLE16(image + 2 * kGranolPackedLengthWord, static_cast<uint16_t>(packedLength));
  packerState.dataLength = 2 * words;
  return true;
}
