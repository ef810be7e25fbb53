// The Sokol unpacker on the PC. It recognises the set-up code and the
// decoder block the image carries, takes the stream's place from the set-up
// code's parameters, and then reads the stream the way that decoder does:
// the same bit groups, selectors, gamma codes, repeat offsets and literal
// table, written here a second time from the format's description and
// sharing no code with the packer, so that each checks the other.
//
// It is strict: every read stays inside the stream, every copy inside the
// data written so far, the data may not grow past the room the stub leaves
// it, the stream must end with the end marker exactly at its last group,
// the CRC must match, and the decoder on the BK must be able to run in
// place (its writes stay below the stream bytes it has not read).
#include <algorithm>
#include <cstdint>

#include "bk/autostart.h"
#include "bk/memory.h"
#include "bk/words.h"
#include "sokol/sokol.h"
#include "sokol/sokol_stub.h"
#include "sokol/sokol_unpack_first.h"

namespace sokol {

namespace {

uint16_t Crc16(const Bytes& data) {
  uint32_t crc = 0xFFFF;
  for (uint8_t byte : data) {
    crc ^= static_cast<uint32_t>(byte) << 8;
    for (int i = 0; i < 8; ++i) crc = ((crc << 1) ^ ((crc & 0x8000) ? 0x1021 : 0)) & 0xFFFF;
  }
  return static_cast<uint16_t>(crc);
}

// Reading the stream like the decoder: bytes in order, and bits from an
// 8-bit group loaded from the next byte whenever a bit is wanted and none
// is left. The first group holds seven bits above a 1 (the decoder's empty
// register gives it no marker); a first group without that 1 is damage.
// Running past the end sets `overrun` and yields zeros.
class StreamReader {
 public:
  StreamReader(const uint8_t* bytes, size_t length) : bytes_(bytes), length_(length) {}

  int Bit() {
    if (left_ == 0) {
      group_ = Byte();
      left_ = 8;
      if (first_) {
        first_ = false;
        badFirst_ = (group_ & 1) == 0;
        group_ = static_cast<uint8_t>(group_ >> 1);
        left_ = 7;
      }
    }
    --left_;
    return (group_ >> left_) & 1;
  }

  uint32_t Bits(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value * 2 + static_cast<uint32_t>(Bit());
    return value;
  }

  uint8_t Byte() {
    if (position_ >= length_) {
      overrun_ = true;
      return 0;
    }
    return bytes_[position_++];
  }

  // Gamma value, first flag given: while the flag is 1, value = 2 * value +
  // next bit. A value of more than 17 bits is refused as damage (0).
  uint32_t Gamma(int firstFlag) {
    uint32_t value = 1;
    int flag = firstFlag;
    while (flag == 1) {
      value = value * 2 + static_cast<uint32_t>(Bit());
      if (value > 0x1FFFF) return 0;
      flag = Bit();
    }
    return value;
  }
  uint32_t Gamma() { return Gamma(Bit()); }

  size_t Position() const { return position_; }
  bool Overrun() const { return overrun_ || badFirst_; }
  // Bits of the current group not yet read are all zero.
  bool RestIsZero() const { return left_ == 0 || (group_ & ((1u << left_) - 1)) == 0; }

 private:
  const uint8_t* bytes_;
  size_t length_;
  size_t position_ = 0;
  uint8_t group_ = 0;
  int left_ = 0;
  bool first_ = true;
  bool badFirst_ = false;
  bool overrun_ = false;
};

uint16_t WordAt(const uint8_t* image, size_t offset) { return ReadBkWord(image + offset); }

// What the set-up code and the block say.
struct Layout {
  Decoder decoder = Decoder::Fast;
  size_t blockAt = 0;  // offset of the block in the image
  size_t streamBytes = 0;
  uint32_t destinationEnd = 0;
  bool dataMode = false;
  uint16_t startAddress = 0;
  bool evenOffsets = false;
  bool startsWithLiterals = true;  // entered at the first literal run, not at a selector
  uint8_t table[kLiteralTableSize] = {};
};

bool IsSetup(const uint8_t* image, size_t length) {
  if (length < kSetupSize) return false;
  for (size_t i = 0; i < kSetupCode.size(); ++i) {
    const size_t offset = 2 * i;
    if (offset == kSetupBlockEnd || offset == kSetupBlockWords || offset == kSetupDestEnd ||
        offset == kSetupStreamWords || offset == kSetupLoadAddress || offset == kSetupEntry) {
      continue;
    }
    if (WordAt(image, offset) != kSetupCode[i]) return false;
  }
  return true;
}

// The decoder whose block lies at `blockAt`, ending at `blockEnd`: the words
// that every image of it has (all but the even-offsets word, the table and
// the exit) must be there.
bool FindDecoder(const uint8_t* image, size_t blockAt, size_t blockEnd, Decoder* found) {
  for (int d = 0; d < kDecoderCount; ++d) {
    const DecoderBlock& block = BlockOf(static_cast<Decoder>(d));
    if (blockEnd - blockAt != block.size) continue;
    bool same = true;
    for (size_t offset = 0; offset < block.size && same; offset += 2) {
      const bool exit = offset >= block.Exit() && offset < block.Exit() + 6;
      const size_t tableSize = static_cast<size_t>(TableSizeOf(FormOf(static_cast<Decoder>(d)).literals));
      const bool table = offset >= block.table && offset < block.table + tableSize;
      const bool patched = offset == block.even || offset == block.Crc() || exit || table;
      same = patched || WordAt(image, blockAt + offset) == block.code[offset / 2];
    }
    if (same) {
      *found = static_cast<Decoder>(d);
      return true;
    }
  }
  return false;
}

// How a region of `length` bytes from `image` ends, as ReadLayout reads it:
// the set-up code says where a decoder block of the family ends, and the CRC
// ends the region (None) or is followed by a stack record (Record). Only one
// of the two can fit, so the finder and the unpacker agree on it.
enum class RegionEnd { NotAStub, None, Record };

RegionEnd EndOfRegion(const uint8_t* image, size_t length) {
  if (!IsSetup(image, length) || length % 2 != 0) return RegionEnd::NotAStub;
  const uint32_t load = WordAt(image, kSetupLoadAddress);
  const uint32_t blockEnd = WordAt(image, kSetupBlockEnd);
  const uint32_t blockBytes = 2u * WordAt(image, kSetupBlockWords);
  if (blockEnd < load + kSetupSize + blockBytes || blockEnd - load > length)
    return RegionEnd::NotAStub;
  Decoder decoder;
  if (!FindDecoder(image, blockEnd - load - blockBytes, blockEnd - load, &decoder))
    return RegionEnd::NotAStub;
  const size_t end = blockEnd - load - BlockOf(decoder).size + BlockOf(decoder).Crc() + kCrcSize;
  if (end == length) return RegionEnd::None;
  return end + kStackRecordSize == length ? RegionEnd::Record : RegionEnd::NotAStub;
}

// `length` runs from the load address to the end of the CRC (which ends
// the block in the tiny decoder and follows it in the others); `loaded`, at
// least as long, to the end of what the BK loads there (for a program below
// 01000, the stack record after the CRC).
UnpackError ReadLayout(const uint8_t* image, size_t length, size_t loaded, uint16_t loadAddress, Layout* layout) {
  if (!IsSetup(image, length) || length % 2 != 0) return UnpackError::NotAnImage;
  if (WordAt(image, kSetupLoadAddress) != loadAddress) return UnpackError::WrongLoadAddress;
  const uint32_t blockEnd = WordAt(image, kSetupBlockEnd);
  const uint32_t blockWords = WordAt(image, kSetupBlockWords);
  if (blockEnd < loadAddress + kSetupSize || blockEnd - loadAddress > length ||
      blockEnd - loadAddress < kSetupSize + 2 * blockWords) {
    return UnpackError::BadParameters;
  }
  const size_t end = blockEnd - loadAddress;
  layout->blockAt = end - 2 * blockWords;
  if (!FindDecoder(image, layout->blockAt, end, &layout->decoder)) return UnpackError::NotAnImage;
  const DecoderBlock& block = BlockOf(layout->decoder);
  if (layout->blockAt + block.Crc() + kCrcSize != length) return UnpackError::NotAnImage;
  layout->streamBytes = layout->blockAt - kSetupSize;
  if (WordAt(image, kSetupStreamWords) != layout->streamBytes / 2 ||
      layout->streamBytes == 0 || loadAddress % 2 != 0) {
    return UnpackError::BadParameters;
  }
  const uint16_t entry = WordAt(image, kSetupEntry);
  if (entry != block.entry && entry != block.next) return UnpackError::BadParameters;
  layout->startsWithLiterals = entry == block.entry;
  const size_t exit = layout->blockAt + block.Exit();
  const uint16_t load = WordAt(image, exit);
  const uint16_t operand = WordAt(image, exit + 2);
  const uint16_t mark = WordAt(image, exit + 4);
  if (load == kExitDataLoad && operand == kExitDataOperand && mark == kExitDataMark) {
    layout->dataMode = true;
  } else if (load == kExitProgramLoad && mark == kExitProgramMark) {
    layout->startAddress = operand;
  } else {
    return UnpackError::BadParameters;
  }
  const uint16_t even = WordAt(image, layout->blockAt + block.even);
  if (even != kOddOffsets && even != kEvenOffsets) return UnpackError::BadParameters;
  layout->evenOffsets = even == kEvenOffsets;
  std::copy_n(image + layout->blockAt + block.table, TableSizeOf(FormOf(layout->decoder).literals), layout->table);
  // The end of the moved stream: at or above the image's end, even, and
  // below the I/O page (the program's end is checked once it is known).
  const uint32_t destinationEnd = WordAt(image, kSetupDestEnd);
  if (destinationEnd < static_cast<uint32_t>(loadAddress) + loaded || destinationEnd % 2 != 0 ||
      destinationEnd > kMemoryTop) {
    return UnpackError::BadParameters;
  }
  layout->destinationEnd = destinationEnd;
  return UnpackError::None;
}

// Repeat offsets, most recent first; 0 is not set, and a copy from there is
// damage. Using one moves it to the front; a new one goes in front and the
// last drops out.
class Repeats {
 public:
  explicit Repeats(int count) : count_(count) {}
  int Count() const { return count_; }
  uint32_t Use(int index) {
    const uint32_t offset = offsets_[index];
    for (int i = index; i > 0; --i) offsets_[i] = offsets_[i - 1];
    offsets_[0] = offset;
    return offset;
  }
  void Push(uint32_t offset) {
    for (int i = count_ - 1; i > 0; --i) offsets_[i] = offsets_[i - 1];
    offsets_[0] = offset;
  }

 private:
  int count_;
  uint32_t offsets_[3] = {kInitialRepeats[0], kInitialRepeats[1], kInitialRepeats[2]};
};


// A region's decoding: error None means the stream decoded up to its end
// marker; the CRC is the caller's.
struct Region {
  UnpackResult result;
  uint16_t crc = 0;
};

// How a step of decoding ends.
enum class Step { More, End, Damaged, TooLong };

// The stream of one region decoded as its decoder block reads it on the
// BK: literal runs and matches up to the end marker, with the check that
// the output never overtakes the unread stream when it unpacks in place.
class RegionDecoder {
 public:
  RegionDecoder(const uint8_t* image, const Layout& layout, uint16_t loadAddress)
      : image_(image),
        layout_(layout),
        form_(FormOf(layout.decoder)),
        in_(image + kSetupSize, layout.streamBytes),
        // The data may reach up to the end of the moved stream.
        room_(layout.destinationEnd - loadAddress),
        // On the BK the stream lies at [destinationEnd - streamBytes,
        // destinationEnd) and the output grows from the load address.
        streamStart_(static_cast<int64_t>(layout.destinationEnd) - static_cast<int64_t>(layout.streamBytes) -
                     static_cast<int64_t>(loadAddress)),
        repeats_(form_.repeats) {}

  Step Run() {
    bool afterMatch = true;
    bool first = layout_.startsWithLiterals;
    for (;;) {
      // The stream starts with literals; after a match "0" starts them.
      const int selector = first ? 0 : in_.Bit();
      first = false;
      if (in_.Overrun()) return Step::Damaged;
      const bool literals = selector == 0 && afterMatch;
      const Step step = literals ? ReadLiterals() : ReadMatch(selector);
      if (step != Step::More) return step;
      afterMatch = !literals;
    }
  }

  Bytes TakeOutput() { return std::move(out_); }
  bool InPlace() const { return inPlace_; }

 private:
  Step ReadLiterals() {
    const uint32_t count = in_.Gamma();
    if (count == 0 || in_.Overrun()) return Step::Damaged;
    if (out_.size() + count > room_) return Step::TooLong;
    for (uint32_t i = 0; i < count; ++i) {
      out_.push_back(NextLiteral());
      Wrote();
    }
    return in_.Overrun() ? Step::Damaged : Step::More;
  }

  // A literal from the stream, or, after a flag bit 1, from the table: by a
  // 5-bit index, or by a nibble of an index byte (the low one first).
  uint8_t NextLiteral() {
    const bool fromTable = form_.literals != Literals::Bytes && in_.Bit() == 1;
    if (!fromTable) return in_.Byte();
    if (form_.literals == Literals::TableBits) return layout_.table[in_.Bits(kLiteralIndexBits)];
    if (indexByte_ >= 0) {
      const uint8_t literal = layout_.table[indexByte_ >> 4];
      indexByte_ = -1;
      return literal;
    }
    indexByte_ = in_.Byte();
    return layout_.table[indexByte_ & 15];
  }

  // After literals "0" is repeat offset 0; "1" a match: a new offset with
  // one repeat offset, else "10" a new offset, "11" repeat offset 1 with
  // two, "110" and "111" repeat offsets 1 and 2 with three.
  Step ReadMatch(int selector) {
    uint32_t offset = 0;
    uint32_t count = 0;
    const bool newOffset = selector == 1 && (repeats_.Count() == 1 || in_.Bit() == 0);
    if (selector == 0) {
      offset = repeats_.Use(0);
      count = in_.Gamma();
    } else if (newOffset) {
      const uint32_t high = in_.Gamma();
      if (high == kEndMarkerHigh && !in_.Overrun()) return EndOfStream();
      if (high == 0 || high > kLargestOffsetHigh) return Step::Damaged;
      const uint32_t byte = in_.Byte();
      offset = ((high - 1) << kOffsetLowBits) + (byte >> 1);
      if (layout_.evenOffsets) offset *= 2;
      const uint32_t lengthCode = in_.Gamma(static_cast<int>(byte & 1));
      if (lengthCode == 0) return Step::Damaged;
      count = lengthCode + 1;
      repeats_.Push(offset);
    } else {
      offset = repeats_.Use(repeats_.Count() == 2 || in_.Bit() == 0 ? 1 : 2);
      count = in_.Gamma();
    }
    if (in_.Overrun() || count == 0 || offset == 0 || offset > out_.size()) return Step::Damaged;
    if (out_.size() + count > room_) return Step::TooLong;
    for (uint32_t i = 0; i < count; ++i) out_.push_back(out_[out_.size() - offset]);
    Wrote();
    return Step::More;
  }

  // The end marker ends the stream, but for one zero byte that pads it to
  // words.
  Step EndOfStream() {
    const size_t end = in_.Position();
    const bool padded = end == layout_.streamBytes ||
                        (end + 1 == layout_.streamBytes && image_[kSetupSize + end] == 0);
    return padded && in_.RestIsZero() ? Step::End : Step::Damaged;
  }

  // After each write the output may reach the last stream byte read, not
  // beyond.
  void Wrote() {
    inPlace_ = inPlace_ && static_cast<int64_t>(out_.size()) <= streamStart_ + static_cast<int64_t>(in_.Position());
  }

  const uint8_t* image_;
  const Layout& layout_;
  const StreamForm form_;
  StreamReader in_;
  const size_t room_;
  const int64_t streamStart_;  // from the load address
  Repeats repeats_;
  Bytes out_;
  int indexByte_ = -1;  // an index byte whose high nibble is still to come
  bool inPlace_ = true;
};

// Unpacks the image of the region at `loadAddress` (ReadLayout says what
// `length` and `loaded` are).
Region UnpackRegion(const uint8_t* image, size_t length, size_t loaded, uint16_t loadAddress) {
  Region region;
  UnpackResult& result = region.result;
  result.loadAddress = loadAddress;
  Layout layout;
  result.error = ReadLayout(image, length, loaded, loadAddress, &layout);
  if (result.error == UnpackError::WrongLoadAddress) result.loadAddress = WordAt(image, kSetupLoadAddress);
  if (result.error != UnpackError::None) return region;
  region.crc = WordAt(image, layout.blockAt + BlockOf(layout.decoder).Crc());

  RegionDecoder decoder(image, layout, loadAddress);
  const Step step = decoder.Run();
  Bytes data = decoder.TakeOutput();
  const size_t programEnd = loadAddress + data.size();
  if (step == Step::Damaged) {
    result.error = UnpackError::DamagedStream;
  } else if (step == Step::TooLong || programEnd > layout.destinationEnd) {
    result.error = UnpackError::WrongLength;
  } else if (!decoder.InPlace()) {
    result.error = UnpackError::MarginTooSmall;
  }
  if (result.error != UnpackError::None) return region;
  result.data = std::move(data);
  result.dataMode = layout.dataMode;
  result.startAddress = layout.startAddress;
  result.decoder = layout.decoder;
  result.margin = layout.destinationEnd - static_cast<uint32_t>(programEnd);
  return region;
}

// Gives back the stack words a record names; false when the record does
// not fit the stack image the packer left.
bool RestoreStack(const uint8_t* record, uint16_t loadAddress, uint16_t startAddress, Bytes* stack) {
  const uint32_t count = ReadBkWord(record);
  const uint32_t top = ReadBkWord(record + 2);
  const uint16_t value = ReadBkWord(record + 4);
  if (count == 0) return top == 0 && value == 0;
  if (top % 2 != 0 || top + 2 > kSystemAreaEnd || top < loadAddress + 2 * (count - 1)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t* word = stack->data() + (top - loadAddress - 2 * i);
    if (ReadBkWord(word) != kSystemAreaEnd) return false;  // the packer wrote 01000 there
    WriteBkWord(word, i == 0 ? value : startAddress);
  }
  return true;
}


UnpackResult UnpackOfToday(ByteView view, uint16_t loadAddress) {
  const uint8_t* const image = view.data;
  const size_t length = view.size;
  if (loadAddress >= kSystemAreaEnd || loadAddress % 2 != 0) {
    Region region = UnpackRegion(image, length, length, loadAddress);
    if (region.result.error == UnpackError::None && Crc16(region.result.data) != region.crc) {
      region.result.error = UnpackError::ChecksumMismatch;
      region.result.data.clear();
    }
    return region.result;
  }
  // Below 01000: the stack image, then an image at 01000 (for a program
  // whose stack words the autostart rules cannot give back, with the stack
  // record after its CRC).
  UnpackResult result;
  result.loadAddress = loadAddress;
  const size_t split = kSystemAreaEnd - loadAddress;
  if (length <= split) {
    result.error = UnpackError::NotAnImage;
    return result;
  }
  // The set-up code says where the block and the CRC end: with the record
  // or without it, only one layout fits. Only a program has a record.
  const size_t regionLength = length - split;
  const bool recorded = EndOfRegion(image + split, regionLength) == RegionEnd::Record;
  Region region =
      UnpackRegion(image + split, recorded ? regionLength - kStackRecordSize : regionLength,
                   regionLength, kSystemAreaEnd);
  if (recorded && region.result.error == UnpackError::None && region.result.dataMode) {
    result.error = UnpackError::BadParameters;
    return result;
  }
  if (region.result.error != UnpackError::None) {
    // The region's set-up code always records 01000: another address there
    // is no image of a file at this load address.
    result.error = region.result.error == UnpackError::WrongLoadAddress ? UnpackError::BadParameters
                                                                        : region.result.error;
    return result;
  }
  // A data image carries its stack image as it was; a program's has its
  // autostart words pointed at 01000, which the record or the autostart
  // rules give back.
  Bytes data(image, image + split);
  if (recorded && !RestoreStack(image + length - kStackRecordSize, loadAddress, region.result.startAddress, &data)) {
    result.error = UnpackError::BadParameters;
    return result;
  }
  if (!recorded && !region.result.dataMode) data = RestoreAutostart(data, region.result.startAddress);
  data.insert(data.end(), region.result.data.begin(), region.result.data.end());
  if (Crc16(data) != region.crc) {
    result.error = UnpackError::ChecksumMismatch;
    return result;
  }
  result = region.result;
  result.loadAddress = loadAddress;
  result.data = std::move(data);
  return result;
}

RawImage FindRawImageOfToday(ByteView view) {
  const uint8_t* const bytes = view.data;
  const size_t length = view.size;
  RawImage raw;
  size_t behindHeader = 0;  // where a header in the first words puts the set-up code
  if (length >= 4) {
    const uint16_t headerLoad = WordAt(bytes, 0);
    behindHeader = 4 + (headerLoad < kSystemAreaEnd ? kSystemAreaEnd - headerLoad : 0);
  }
  for (size_t region = 0; region <= kSystemAreaEnd && region < length; region += 2) {
    if (region == behindHeader) continue;
    // A stack record follows only a region behind a stack image.
    const RegionEnd end = EndOfRegion(bytes + region, length - region);
    if (end == RegionEnd::NotAStub || (region == 0 && end == RegionEnd::Record)) continue;
    const uint16_t recorded = WordAt(bytes + region, kSetupLoadAddress);
    if (region == 0 ? recorded < kSystemAreaEnd : recorded != kSystemAreaEnd) continue;
    raw.found = true;
    raw.loadAddress = static_cast<uint16_t>(recorded - region);
    return raw;
  }
  return raw;
}

}  // namespace

// An image of today's form, else one of the first release's.
UnpackResult Unpack(ByteView image, uint16_t loadAddress) {
  UnpackResult result = UnpackOfToday(image, loadAddress);
  if (result.error != UnpackError::NotAnImage) return result;
  UnpackResult firstRelease = first::Unpack(image, loadAddress);
  return firstRelease.error == UnpackError::NotAnImage ? result : firstRelease;
}

RawImage FindRawImage(ByteView bytes) {
  const RawImage raw = FindRawImageOfToday(bytes);
  return raw.found ? raw : first::FindRawImage(bytes);
}

bool IsRawImage(ByteView bytes) { return FindRawImage(bytes).found; }

}  // namespace sokol
