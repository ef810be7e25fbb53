// The Granol unpacker on the PC. It follows the BK stub step by step: the
// parameter block found through word 4, the bit reader that walks the
// stream from its last word down to the first, and the token loop that fills
// the destination from its end downwards.
//
// It shares only the format's facts with the packer (granol_format.h), so
// that each checks the other. Every read stays inside the file's data and
// every write and copy source inside the unpacked data; a file that breaks a
// bound is refused and gives no data.
#include <cstdint>

#include "bk/words.h"
#include "granol/granol.h"
#include "granol/granol_format.h"

namespace granol {

namespace {

// The file's data as little-endian words; an odd last byte belongs to none.
class ImageWords {
 public:
  ImageWords(const uint8_t* bytes, long length) : bytes_(bytes), length_(length) {}
  bool Has(long index) const { return index >= 0 && 2 * index + 1 < length_; }
  uint16_t operator[](long index) const { return ReadBkWord(bytes_ + 2 * index); }

 private:
  const uint8_t* bytes_;
  long length_;
};

// The stream is read from its last word down to its first, each word from
// bit 0 upward: the reverse of the order in which it was written.
struct BitReader {
  const ImageWords* words;
  long firstIndex;    // the first stream word: the reader stops after it
  long currentIndex;  // the word being consumed
  uint16_t currentWord;
  int validBits;  // bits of currentWord not yet delivered
};

constexpr int kEndOfStream = -1;

// The next bit, or kEndOfStream. When the last bit of a word goes, the
// word below it is loaded, except below the first stream word: there the
// count stays at 0 and the next request meets the end.
int GetBit(BitReader& reader) {
  if (reader.validBits == 0) return kEndOfStream;
  --reader.validBits;
  const int bit = reader.currentWord & 1;
  reader.currentWord = static_cast<uint16_t>(reader.currentWord >> 1);
  if (reader.validBits == 0 && reader.currentIndex > reader.firstIndex) {
    --reader.currentIndex;
    reader.currentWord = (*reader.words)[reader.currentIndex];
    reader.validBits = kWordBits;
  }
  return bit;
}

// `width` bits, the first one most significant. False at the end of the stream.
bool GetBits(BitReader& reader, int width, int* value) {
  *value = 0;
  for (int i = 0; i < width; ++i) {
    const int bit = GetBit(reader);
    if (bit == kEndOfStream) return false;
    *value = (*value << 1) | bit;
  }
  return true;
}

enum class Outcome { Complete, BadToken, Truncated };

struct Token {
  bool literal = false;
  int count = 0;     // bytes to write
  int distance = 0;  // copies only
};

// Reads the rest of a token whose first bit is `first`. False when the
// stream ends inside it.
bool ReadToken(BitReader& reader, int first, Token* token) {
  const CopyClass* const copies = kCopyClasses;
  int second;
  int third;
  int field;
  if (!GetBits(reader, 1, &second)) return false;
  if (first == 0 && second == 0) {  // 00: short literal run
    token->literal = true;
    if (!GetBits(reader, kShortRunCountBits, &field)) return false;
    token->count = field + 1;
    return true;
  }
  if (first == 0) {  // 01: copy of 2 bytes
    token->count = 2;
    return GetBits(reader, copies[0].distanceBits, &token->distance);
  }
  if (!GetBits(reader, 1, &third)) return false;
  if (second == 0) {  // 100 / 101: copy of 3 / 4 bytes
    token->count = third == 0 ? 3 : 4;
    return GetBits(reader, copies[third == 0 ? 1 : 2].distanceBits, &token->distance);
  }
  if (!GetBits(reader, kLongRunCountBits, &field)) return false;
  if (third == 1) {  // 111: long literal run
    token->literal = true;
    token->count = field + kLongRunShortest;
    return true;
  }
  token->count = field + 1;  // 110: long copy, the length field read above
  return GetBits(reader, copies[kLongCopyClass].distanceBits, &token->distance);
}

// Runs the token loop until the stream ends. `out` receives the bytes
// packedLength - 1 down to 0.
Outcome DecodeStream(BitReader& reader, uint8_t* out, int packedLength) {
  int position = packedLength;  // the next byte goes just below it
  bool firstToken = true;
  for (;;) {
    const int first = GetBit(reader);
    if (first == kEndOfStream) break;
    Token token;
    if (!ReadToken(reader, first, &token)) return Outcome::Truncated;
    if (token.literal) {
      // The image of an empty input carries one literal that belongs below
      // the destination; it is read and dropped, never stored.
      const bool strayByte = packedLength == 0 && firstToken && token.count == 1;
      if (token.count > position && !strayByte) return Outcome::BadToken;
      for (int i = 0; i < token.count; ++i) {
        int byte;
        if (!GetBits(reader, kLiteralBits, &byte)) return Outcome::Truncated;
        if (!strayByte) out[--position] = static_cast<uint8_t>(byte);
      }
    } else {
      // The source must be unpacked already: above the byte written, below
      // the end of the data.
      if (token.count > position || token.distance == 0 ||
          position - 1 + token.distance >= packedLength) {
        return Outcome::BadToken;
      }
      for (int i = 0; i < token.count; ++i) {
        --position;
        out[position] = out[position + token.distance];
      }
    }
    firstToken = false;
  }
  return position == 0 ? Outcome::Complete : Outcome::Truncated;
}

UnpackResult Refuse(UnpackError error) {
  UnpackResult result;
  result.error = error;
  return result;
}

}  // namespace

bool IsRawImage(ByteView bytes) {
  const ImageWords words(bytes.data, static_cast<long>(bytes.size));
  return words.Has(kPointerWord) && words[kPointerWord] == kPointerValue;
}

RawImage FindRawImage(ByteView bytes) {
  RawImage raw;
  raw.found = IsRawImage(bytes);
  if (!raw.found) return raw;
  const ImageWords words(bytes.data, static_cast<long>(bytes.size));
  const long loadAddressIndex = (words[kPointerWord] + kPointerBias) / 2;
  if (words.Has(loadAddressIndex)) raw.loadAddress = words[loadAddressIndex];
  return raw;
}

UnpackResult Unpack(ByteView image, uint16_t /*loadAddress*/) {
  const ImageWords words(image.data, static_cast<long>(image.size));
  if (!words.Has(kPointerWord) || words[kPointerWord] != kPointerValue) {
    return Refuse(UnpackError::NotRecognised);
  }
  const long parameters = (words[kPointerWord] + kPointerBias) / 2;
  const long loadAddressIndex = parameters;
  const long imageEndIndex = parameters + 1;
  const long packedLengthIndex = parameters + 2;
  if (!words.Has(packedLengthIndex)) return Refuse(UnpackError::NotRecognised);

  // The last word holds the valid-bit count of the word below it.
  const long countIndex = imageEndIndex + words[imageEndIndex] / 2;
  if (!words.Has(countIndex) || words[countIndex] > kWordBits) {
    return Refuse(UnpackError::BadParameters);
  }
  BitReader reader{&words, packedLengthIndex + 1, countIndex - 1, 0, 0};
  if (reader.currentIndex >= reader.firstIndex) {  // else there is no stream word
    reader.currentWord = words[reader.currentIndex];
    reader.validBits = words[countIndex];
  }

  UnpackResult result;
  const int packedLength = words[packedLengthIndex];
  result.data.resize(static_cast<size_t>(packedLength));
  switch (DecodeStream(reader, result.data.data(), packedLength)) {
    case Outcome::BadToken: return Refuse(UnpackError::BadToken);
    case Outcome::Truncated: return Refuse(UnpackError::Truncated);
    case Outcome::Complete: break;
  }
  result.loadAddress = words[loadAddressIndex];
  return result;
}

}  // namespace granol
