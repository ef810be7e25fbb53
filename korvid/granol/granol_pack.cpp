// The Granol packer: a plain scan of a 4096-byte window for the best match,
// tokens appended to the bit stream behind the stub (granol_format.h).
#include <algorithm>
#include <string>

#include "bk/memory.h"
#include "bk/words.h"
#include "common/bk_charset.h"
#include "granol/granol.h"
#include "granol/granol_format.h"
#include "granol/granol_stub.h"

namespace granol {

namespace {

// Candidates lie in the 4096 bytes from the input position on.
constexpr int kWindowSize = 4096;

// Count codes of literal runs: the prefix sits in the top bits of the field.
constexpr int kShortRunCodeBits = kShortRunPrefixBits + kShortRunCountBits;
constexpr int kLongRunCodeBits = kLongRunPrefixBits + kLongRunCountBits;
constexpr uint32_t kShortRunCodePrefix = kShortRunPrefix << kShortRunCountBits;
constexpr uint32_t kLongRunCodePrefix = kLongRunPrefix << kLongRunCountBits;

// One packing: the input (padded, with a zero byte after it) and the image
// as it grows.
class Encoder {
 public:
  Encoder(const Bytes& data, int packedLength)
      : data_(data), packedLength_(packedLength), image_(kStub.begin(), kStub.end()) {}

  // Encodes the whole input and ends the stream.
  Bytes Encode() {
    while (position_ < packedLength_) {
      pendingLiterals_ += EncodeStep();
      if (pendingLiterals_ == kLongRunLongest) FlushLiterals();
    }
    FlushLiterals();
    StoreFinalWords();
    return std::move(image_);
  }

 private:
  struct Match {
    int length = 1;  // 1: no copy found
    int distance = 0;
    int copyClass = 0;
  };

  void StoreWord(uint16_t value) {
    image_.push_back(static_cast<uint8_t>(value & 0xFF));
    image_.push_back(static_cast<uint8_t>(value >> 8));
  }

  void PutBits(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
      accumulator_ = static_cast<uint16_t>((accumulator_ << 1) | (value & 1));
      value >>= 1;
      if (++pendingBits_ == kWordBits) {
        StoreWord(accumulator_);
        accumulator_ = 1;
        pendingBits_ = 0;
      }
    }
  }

  void FlushLiterals() {
    const int count = pendingLiterals_;
    if (count == 0) return;
    pendingLiterals_ = 0;
    if (count <= kShortRunLongest) {
      PutBits(static_cast<uint32_t>(count - 1) + kShortRunCodePrefix, kShortRunCodeBits);
    } else {
      PutBits(static_cast<uint32_t>(count - kLongRunShortest) + kLongRunCodePrefix,
              kLongRunCodeBits);
    }
  }

  // Takes a candidate of `length` matching bytes at `distance` when it is
  // longer than the best so far and its class reaches that far. The test uses
  // the unlimited length, so among matches longer than 256 bytes the last
  // one found wins, otherwise the nearest of the greatest length.
  static void ConsiderMatch(int length, int distance, Match* best) {
    if (length <= best->length) return;
    const int copyClass = length >= kShortestLongCopy ? kLongCopyClass : length - 2;
    if (distance > LargestDistance(kCopyClasses[copyClass])) return;
    best->length = std::min(length, kLongestCopy);
    best->distance = distance;
    best->copyClass = copyClass;
  }

  // Plain scan of the window for the best earlier-decoded match of the bytes
  // at p. After a candidate that matched m bytes, the candidates inside the
  // compared stretch are skipped.
  Match FindMatch(int p, int windowEnd) const {
    const uint8_t* data = data_.data();
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

  // One token at the input position: a copy, or one more literal byte
  // (returns 1 then, for the literal run being gathered).
  int EncodeStep() {
    const int p = position_;
    const int windowEnd = std::min(p + kWindowSize, packedLength_);
    if (p + 2 < windowEnd) {
      const Match match = FindMatch(p, windowEnd);
      if (match.length > 1) {
        const CopyClass& copy = kCopyClasses[match.copyClass];
        position_ += match.length;
        FlushLiterals();
        PutBits(static_cast<uint32_t>(match.distance), copy.distanceBits);
        if (match.copyClass == kLongCopyClass) {
          PutBits(static_cast<uint32_t>(match.length - 1), kLongCopyLengthBits);
        }
        PutBits(static_cast<uint32_t>(copy.prefix), copy.prefixBits);
        return 0;
      }
    }
    PutBits(data_[static_cast<size_t>(p)], kLiteralBits);
    ++position_;
    return 1;
  }

  // The stream's last words: the partly filled accumulator and its bit count,
  // or just 16 when the last word was full. An empty input has no bits at all:
  // the bare marker with a count of 0 makes the stub stop at its first bit,
  // before it writes anything.
  void StoreFinalWords() {
    const bool emptyStream = packedLength_ == 0;
    if (accumulator_ != 1 || emptyStream) {
      StoreWord(accumulator_);
      StoreWord(static_cast<uint16_t>(pendingBits_));
    } else {
      StoreWord(kWordBits);
    }
  }

  const Bytes& data_;
  const int packedLength_;
  Bytes image_;
  uint16_t accumulator_ = 1;  // the marker bit sits just above the pending bits
  int pendingBits_ = 0;
  int position_ = 0;         // next input byte to encode
  int pendingLiterals_ = 0;  // literal bytes appended but not yet counted
};

}  // namespace

bool ImageFits(uint32_t loadAddress, uint32_t packedLength, uint32_t imageLength) {
  const uint32_t dataEnd = loadAddress + packedLength;
  if (dataEnd > kAddressSpaceEnd) return false;
  return imageLength <= loadAddress || imageLength <= kAddressSpaceEnd - dataEnd;
}

PackResult Pack(ByteView data, uint16_t loadAddress, const PackOptions& options) {
  // An odd length is padded with one zero byte: the stream always describes
  // an even number of bytes. The byte after the packed ones reads as zero.
  Bytes input(data.begin(), data.end());
  if (input.size() % 2 != 0) input.push_back(0);
  const int packedLength = static_cast<int>(input.size());
  input.push_back(0);

  PackResult result;
  Bytes image = Encoder(input, packedLength).Encode();
  // The first three characters of the extension in the BK's character set,
  // zeros after a shorter one; none when one of them has no BK form (a
  // surrogate unit, half of a character beyond the BMP, has none).
  const std::u16string stored = options.extension.substr(0, kExtensionLength);
  if (std::none_of(stored.begin(), stored.end(), IsBkSubstitute)) {
    for (size_t i = 0; i < stored.size(); ++i) image[kExtensionOffset + i] = UnicodeToBk(stored[i]);
  }
  const int words = static_cast<int>(image.size() / 2);
  result.imageLength = 2u * static_cast<uint32_t>(words);
  result.packedLength = static_cast<uint32_t>(packedLength);
  if (!ImageFits(loadAddress, result.packedLength, result.imageLength)) {
    result.error = PackError::DoesNotFit;
    return result;
  }
  WriteBkWord(image.data() + 2 * kLoadAddressWord, loadAddress);
  WriteBkWord(image.data() + 2 * kImageEndWord,
              static_cast<uint16_t>(2 * (words - kPackedLengthWord)));
  WriteBkWord(image.data() + 2 * kPackedLengthWord, static_cast<uint16_t>(packedLength));
  result.image = std::move(image);
  return result;
}

}  // namespace granol
