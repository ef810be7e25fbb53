// Sokol images of korvid 1.1.0, the first release of the method: one
// decoder block of 168 bytes, the stream in a form of its own, and a
// trailer with the data's length and CRC after the block. The BK runs them
// as it always did; this reader lets korvid -u give their data back on the
// PC. It is the first release's PC unpacker as it stood, with that
// release's facts and stub code, apart from everything the packer of today
// writes: nothing here packs.
#include "sokol/sokol_unpack_first.h"

#include <algorithm>
#include <cstdint>

#include "bk/autostart.h"
#include "bk/memory.h"
#include "bk/words.h"

namespace sokol {
namespace first {

namespace {

// The first release's facts (they hide today's names of sokol_format.h).
constexpr size_t kSetupSize = 32;
constexpr size_t kBlockSize = 168;
constexpr size_t kTrailerSize = 4;  // data length and CRC-16, after the block
constexpr size_t kStubSize = kSetupSize + kBlockSize;
constexpr size_t kExitWords = 3;
constexpr uint32_t kLargestOffsetHigh = (0xFFFFu >> kOffsetLowBits) + 1;
constexpr uint32_t kEndMarkerHigh = 0xFFFF;
constexpr uint32_t kLargestGamma = 0x1FFFF;

// Patched words of the set-up code and the block's exit.
constexpr size_t kSetupBlockEnd = 002;
constexpr size_t kSetupDestEnd = 016;
constexpr size_t kSetupStreamWords = 022;
constexpr size_t kSetupLoadAddress = 032;
constexpr size_t kBlockExit = 0240;
constexpr uint16_t kExitProgramLoad = 012705;
constexpr uint16_t kExitDataLoad = 016705;
constexpr uint16_t kExitDataOperand = 4;
constexpr uint16_t kExitProgramMark = 006400;
constexpr uint16_t kExitDataMark = 006401;

// The stub code of the first release, as its images carry it.
// clang-format off
constexpr std::array<uint16_t, kSetupSize / 2> kSetupCode = {
    012704, 000000,   // 000  MOV #blockEnd, R4       ; patched: A + image length - 4
    012703, 000124,   // 004  MOV #124, R3             ; 84 block words
    014446,           // 010  MOV -(R4), -(SP)
    077302,           // 012  SOB R3, 010              ; R3 = 0: repeat offset 0 not set
    012701, 000000,   // 014  MOV #destinationEnd, R1  ; patched: A + length + margin
    012705, 000000,   // 020  MOV #words, R5           ; patched: stream words
    014441,           // 024  MOV -(R4), -(R1)
    077502,           // 026  SOB R5, 024              ; R5 = 0: no bits yet
    012702, 000000,   // 030  MOV #A, R2               ; patched: load address
    000166, 000016,   // 034  JMP 16(SP)               ; into the block at NEXT
};

constexpr std::array<uint16_t, kBlockSize / 2> kBlockCode = {
    0106305,                 // 000  GETBIT: ASLB R5        ; SP points here: JSR PC,(SP) reads a bit into C
    001003,                  // 002  BNE GRET
    0112105,                 // 004  REFILL: MOVB (R1)+, R5 ; JSR PC,4(SP) loads the next group
    000261,                  // 006  SEC
    0106105,                 // 010  ROLB R5                ; C = its first bit; the marker below the rest
    000207,                  // 012  GRET: RTS PC
    000002,                  // 014  REP1: .WORD 2
    0106305,                 // 016  NEXT: ASLB R5          ; after a match: 0 literals, 1 match
    001002,                  // 020  BNE 1$
    004766, 000004,          // 022  JSR PC, 4(SP)
    0103406,                 // 026  1$: BCS MATCH
    004767, 000142,          // 030  JSR PC, GAMMA          ; R0 = literal count
    0112122,                 // 034  LC: MOVB (R1)+, (R2)+
    077002,                  // 036  SOB R0, LC
    004716,                  // 040  JSR PC, (SP)           ; after literals: 0 repeat offset 0
    0103021,                 // 042  BCC REP0
    0106305,                 // 044  MATCH: ASLB R5         ; 10 new offset
    001002,                  // 046  BNE 2$
    004766, 000004,          // 050  JSR PC, 4(SP)
    0103023,                 // 054  2$: BCC NEWM
    016704, 0177732,         // 056  MOV REP1, R4
    004716,                  // 062  JSR PC, (SP)           ; 110 repeat offset 1, 111 repeat offset 2
    0103005,                 // 064  BCC RSW
    016704, 000154,          // 066  MOV REP2, R4
    016767, 0177716, 000146, // 072  MOV REP1, REP2
    010367, 0177710,         // 100  RSW: MOV R3, REP1      ; the used offset to the front
    010403,                  // 104  MOV R4, R3
    004767, 000064,          // 106  REP0: JSR PC, GAMMA    ; R0 = length
    010204,                  // 112  COPY: MOV R2, R4
    0160304,                 // 114  SUB R3, R4
    0112422,                 // 116  C1: MOVB (R4)+, (R2)+
    077002,                  // 120  SOB R0, C1
    000735,                  // 122  BR NEXT
    004767, 000046,          // 124  NEWM: JSR PC, GAMMA    ; R0 = high part + 1
    005300,                  // 130  DEC R0
    0100442,                 // 132  BMI DONE               ; the end marker
    000300,                  // 134  SWAB R0
    0106200,                 // 136  ASRB R0                ; C = bit 8 of the high part
    0152100,                 // 140  BISB (R1)+, R0         ; the offset byte
    006000,                  // 142  ROR R0                 ; R0 = offset - 1, C = the byte's bit 0
    005200,                  // 144  INC R0
    016767, 0177642, 000072, // 146  MOV REP1, REP2
    010367, 0177634,         // 154  MOV R3, REP1
    010003,                  // 160  MOV R0, R3
    010204,                  // 162  MOV R2, R4
    004767, 000016,          // 164  JSR PC, GAMMAC         ; R0 = length - 1, its first flag in C
    0160304,                 // 170  SUB R3, R4
    0112422,                 // 172  MOVB (R4)+, (R2)+
    000750,                  // 174  BR C1
    0106305,                 // 176  GAMMA: ASLB R5         ; the first flag
    001002,                  // 200  BNE GAMMAC
    004766, 000006,          // 202  JSR PC, 6(SP)
    012700, 000001,          // 206  GAMMAC: MOV #1, R0
    0103277,                 // 212  G1: BCC GRET           ; flag 0: done
    0106305,                 // 214  ASLB R5
    001002,                  // 216  BNE 5$
    004766, 000006,          // 220  JSR PC, 6(SP)
    006100,                  // 224  5$: ROL R0             ; value = 2 * value + bit
    0106305,                 // 226  ASLB R5
    001370,                  // 230  BNE G1
    004766, 000006,          // 232  JSR PC, 6(SP)
    000765,                  // 236  BR G1
    012705, 000000,          // 240  DONE: MOV #0, R5
    006400,                  // 244  MARK 0
    000004,                  // 246  REP2: .WORD 4          ; popped by MARK 0
};
// clang-format on



// The trailer's CRC-16 (x^16 + x^12 + x^5 + 1, initial value 0xFFFF, most
// significant bit first), written here a second time, apart from the
// packer's DataCrc (sokol_pack.cpp), on purpose: a function that both
// shared could go wrong without either noticing. A test pins the check
// value of both, 0x29B1 for the bytes of "123456789".
uint16_t Crc16(const Bytes& data) {
  uint32_t crc = 0xFFFF;
  for (uint8_t byte : data) {
    crc ^= static_cast<uint32_t>(byte) << 8;
    for (int i = 0; i < 8; ++i) crc = ((crc << 1) ^ ((crc & 0x8000) ? 0x1021 : 0)) & 0xFFFF;
  }
  return static_cast<uint16_t>(crc);
}

// Reading the stream like the decoder (docs/formats.md, "Stream"): bytes in
// order, and bits from an 8-bit group, the next stream byte, loaded whenever
// a bit is wanted and none is left. Running past the end sets `overrun` and
// yields zeros.
class StreamReader {
 public:
  StreamReader(const uint8_t* bytes, size_t length) : bytes_(bytes), length_(length) {}

  int Bit() {
    if (left_ == 0) {
      group_ = Byte();
      left_ = 8;
    }
    --left_;
    return (group_ >> left_) & 1;
  }

  uint8_t Byte() {
    if (position_ >= length_) {
      overrun_ = true;
      return 0;
    }
    return bytes_[position_++];
  }

  // Gamma value, first bit given: while the flag is 1, value = 2 * value +
  // next bit. A value of more than 17 bits is refused as damage (0).
  uint32_t Gamma(int firstFlag) {
    uint32_t value = 1;
    int flag = firstFlag;
    while (flag == 1) {
      value = value * 2 + static_cast<uint32_t>(Bit());
      if (value > kLargestGamma) return 0;
      flag = Bit();
    }
    return value;
  }
  uint32_t Gamma() { return Gamma(Bit()); }

  size_t Position() const { return position_; }
  bool Overrun() const { return overrun_; }
  // Bits of the current group not yet read are all zero.
  bool RestIsZero() const { return left_ == 0 || (group_ & ((1u << left_) - 1)) == 0; }

 private:
  const uint8_t* bytes_;
  size_t length_;
  size_t position_ = 0;
  uint16_t group_ = 0;
  int left_ = 0;
  bool overrun_ = false;
};

struct Layout {
  size_t streamWords = 0;
  uint32_t destinationEnd = 0;
  uint16_t length = 0;
  uint16_t crc = 0;
  bool dataMode = false;
  uint16_t startAddress = 0;
};

uint16_t WordAt(const uint8_t* image, size_t offset) { return ReadBkWord(image + offset); }

bool IsStub(const uint8_t* image, size_t length) {
  if (length < kStubSize + kTrailerSize || length % 2 != 0) return false;
  for (size_t i = 0; i < kSetupCode.size(); ++i) {
    const size_t offset = 2 * i;
    if (offset == kSetupBlockEnd || offset == kSetupDestEnd || offset == kSetupStreamWords ||
        offset == kSetupLoadAddress) {
      continue;
    }
    if (WordAt(image, offset) != kSetupCode[i]) return false;
  }
  const size_t block = length - kTrailerSize - kBlockSize;
  for (size_t i = 0; i < kBlockCode.size(); ++i) {
    const size_t offset = 2 * i;
    if (offset >= kBlockExit && offset < kBlockExit + 2 * kExitWords) continue;
    if (WordAt(image, block + offset) != kBlockCode[i]) return false;
  }
  return true;
}

// `skipped`: bytes of the file below the load address of this image (its
// stack image, for files below 01000), which the trailer's length counts.
UnpackError ReadLayout(const uint8_t* image, size_t length, uint16_t loadAddress, size_t skipped,
                       Layout* layout) {
  const size_t block = length - kTrailerSize - kBlockSize;
  const size_t streamBytes = block - kSetupSize;
  if (WordAt(image, kSetupLoadAddress) != loadAddress) return UnpackError::WrongLoadAddress;
  if (WordAt(image, kSetupBlockEnd) != static_cast<uint16_t>(loadAddress + block + kBlockSize) ||
      WordAt(image, kSetupStreamWords) != streamBytes / 2 || streamBytes == 0 ||
      loadAddress % 2 != 0) {
    return UnpackError::BadParameters;
  }
  const size_t exit = block + kBlockExit;
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
  layout->streamWords = streamBytes / 2;
  const uint16_t wholeLength = WordAt(image, length - kTrailerSize);
  if (skipped > 0 && wholeLength <= skipped) return UnpackError::BadParameters;
  layout->length = static_cast<uint16_t>(wholeLength - skipped);
  layout->crc = WordAt(image, length - kTrailerSize + 2);
  // The end of the moved stream: at or above the program's end and the
  // image's, even, and below the I/O page.
  const uint32_t destinationEnd = WordAt(image, kSetupDestEnd);
  const uint32_t programEnd = static_cast<uint32_t>(loadAddress) + layout->length;
  const uint32_t imageEnd = static_cast<uint32_t>(loadAddress) + static_cast<uint32_t>(length);
  if (destinationEnd < programEnd || destinationEnd < imageEnd || destinationEnd % 2 != 0 ||
      destinationEnd > kMemoryTop) {
    return UnpackError::BadParameters;
  }
  layout->destinationEnd = destinationEnd;
  return UnpackError::None;
}

// The three repeat offsets, most recent first, as the block starts them;
// 0 is not set, and a copy from there is damage.
struct Repeats {
  uint32_t offsets[3] = {kInitialRepeats[0], kInitialRepeats[1], kInitialRepeats[2]};
  uint32_t Use(int index) {
    const uint32_t offset = offsets[index];
    for (int i = index; i > 0; --i) offsets[i] = offsets[i - 1];
    offsets[0] = offset;
    return offset;
  }
  void Push(uint32_t offset) {
    offsets[2] = offsets[1];
    offsets[1] = offsets[0];
    offsets[0] = offset;
  }
};

// A region's stream being decoded: the reader, the data so far, the repeat
// offsets, the decoder's state, and whether its writes stayed below the
// stream bytes it had not read. On the BK the stream lies at
// [destinationEnd - streamBytes, destinationEnd) and the output grows from
// the load address.
struct Decoding {
  Decoding(const uint8_t* bytes, const Layout& layout, uint16_t load)
      : stream(bytes),
        streamBytes(2 * layout.streamWords),
        total(layout.length),
        streamStart(static_cast<int64_t>(layout.destinationEnd) -
                    static_cast<int64_t>(streamBytes)),
        loadAddress(load),
        in(bytes, streamBytes) {
    out.reserve(total);
  }

  // A write that ends the output here lands on a stream byte not read yet.
  bool Overtakes() const {
    return static_cast<int64_t>(loadAddress) + static_cast<int64_t>(out.size()) >
           streamStart + static_cast<int64_t>(in.Position());
  }

  const uint8_t* stream;
  size_t streamBytes;
  size_t total;  // the recorded length
  int64_t streamStart;
  uint16_t loadAddress;
  StreamReader in;
  Bytes out;
  Repeats repeats;
  bool afterMatch = true;
  bool inPlace = true;
};

// Literals, after their selector: false when the stream breaks a bound.
bool ReadLiterals(Decoding& d) {
  const uint32_t count = d.in.Gamma();
  if (count == 0 || d.in.Overrun() || d.out.size() + count > d.total) return false;
  // A literal may land on the very byte it is read from.
  d.inPlace = d.inPlace && !d.Overtakes();
  for (uint32_t i = 0; i < count; ++i) d.out.push_back(d.in.Byte());
  if (d.in.Overrun()) return false;
  d.afterMatch = false;
  return true;
}

// A match as its selector and codes give it, or the end marker.
struct Match {
  uint32_t offset = 0;
  uint32_t count = 0;
  bool endMarker = false;
};

// Reads a match whose selector began with `first`: false when the stream
// breaks a rule of the format.
bool ReadMatch(Decoding& d, int first, Match* match) {
  if (first == 0) {
    match->offset = d.repeats.Use(0);
    match->count = d.in.Gamma();
    return true;
  }
  if (d.in.Bit() != 0) {
    match->offset = d.repeats.Use(d.in.Bit() == 0 ? 1 : 2);
    match->count = d.in.Gamma();
    return true;
  }
  const uint32_t high = d.in.Gamma();
  if (high == kEndMarkerHigh && !d.in.Overrun()) {
    match->endMarker = true;
    return true;
  }
  if (high == 0 || high > kLargestOffsetHigh) return false;
  const uint32_t byte = d.in.Byte();
  match->offset = ((high - 1) << kOffsetLowBits) + (byte >> 1) + 1;
  const uint32_t lengthCode = d.in.Gamma(static_cast<int>(byte & 1));
  if (lengthCode == 0) return false;
  match->count = lengthCode + 1;
  d.repeats.Push(match->offset);
  return true;
}

// Copies a match: false when it reaches before the data or past its length.
bool CopyMatch(Decoding& d, const Match& match) {
  if (d.in.Overrun() || match.count == 0 || match.offset == 0 || match.offset > d.out.size() ||
      d.out.size() + match.count > d.total) {
    return false;
  }
  for (uint32_t i = 0; i < match.count; ++i) d.out.push_back(d.out[d.out.size() - match.offset]);
  d.inPlace = d.inPlace && !d.Overtakes();
  d.afterMatch = true;
  return true;
}

// At the end marker the stream ends, but for one zero byte that pads it to
// words, and the data is complete.
UnpackError AtEndMarker(const Decoding& d) {
  const size_t end = d.in.Position();
  const bool padded = end == d.streamBytes || (end + 1 == d.streamBytes && d.stream[end] == 0);
  if (padded && d.in.RestIsZero() && d.out.size() == d.total) return UnpackError::None;
  return d.out.size() != d.total ? UnpackError::WrongLength : UnpackError::DamagedStream;
}

// The token loop, up to the end marker: None when the stream decoded to
// the recorded length, else why it is refused.
UnpackError DecodeStream(Decoding& d) {
  for (;;) {
    const int first = d.in.Bit();
    if (d.in.Overrun()) break;
    if (first == 0 && d.afterMatch) {
      if (!ReadLiterals(d)) break;
      continue;
    }
    Match match;
    if (!ReadMatch(d, first, &match)) break;
    if (match.endMarker) return AtEndMarker(d);
    if (!CopyMatch(d, match)) break;
  }
  return d.out.size() >= d.total && !d.in.Overrun() ? UnpackError::WrongLength
                                                    : UnpackError::DamagedStream;
}

// A region's decoding: error None means the stream decoded to the recorded
// length; the CRC and the in-place check are the caller's.
struct Region {
  UnpackResult result;
  uint16_t crc = 0;
  bool inPlace = true;
};

Region UnpackRegion(const uint8_t* image, size_t length, uint16_t loadAddress, size_t skipped) {
  Region region;
  UnpackResult& result = region.result;
  result.loadAddress = loadAddress;
  if (!IsStub(image, length)) {
    result.error = UnpackError::NotAnImage;
    return region;
  }
  Layout layout;
  result.error = ReadLayout(image, length, loadAddress, skipped, &layout);
  if (result.error == UnpackError::WrongLoadAddress)
    result.loadAddress = WordAt(image, kSetupLoadAddress);
  if (result.error != UnpackError::None) return region;
  region.crc = layout.crc;

  Decoding decoding(image + kSetupSize, layout, loadAddress);
  result.error = DecodeStream(decoding);
  if (result.error != UnpackError::None) return region;
  region.inPlace = decoding.inPlace;
  result.data = std::move(decoding.out);
  result.dataMode = layout.dataMode;
  result.startAddress = layout.startAddress;
  result.margin = layout.destinationEnd - loadAddress - static_cast<uint32_t>(layout.length);
  return region;
}

// The whole file's checks: its CRC, then room for unpacking in place.
UnpackError Checked(const Region& region, const Bytes& data) {
  if (Crc16(data) != region.crc) return UnpackError::ChecksumMismatch;
  return region.inPlace ? UnpackError::None : UnpackError::MarginTooSmall;
}

}  // namespace

UnpackResult Unpack(ByteView view, uint16_t loadAddress) {
  const uint8_t* const image = view.data;
  const size_t length = view.size;
  if (loadAddress >= kSystemAreaEnd || loadAddress % 2 != 0) {
    Region region = UnpackRegion(image, length, loadAddress, 0);
    if (region.result.error == UnpackError::None) {
      region.result.error = Checked(region, region.result.data);
      if (region.result.error != UnpackError::None) region.result.data.clear();
    }
    return region.result;
  }
  // Below 01000: the stack image as it is, then an image at 01000.
  UnpackResult result;
  result.loadAddress = loadAddress;
  const size_t split = kSystemAreaEnd - loadAddress;
  if (length <= split) {
    result.error = UnpackError::NotAnImage;
    return result;
  }
  Region region = UnpackRegion(image + split, length - split, kSystemAreaEnd, split);
  if (region.result.error != UnpackError::None) {
    // The region's set-up code always records 01000: another address there
    // is no image of a file at this load address.
    result.error = region.result.error == UnpackError::WrongLoadAddress ? UnpackError::BadParameters
                                                                        : region.result.error;
    return result;
  }
  // The CRC covers the data as the image carries it; then a program's
  // autostart words are given back (a data image carries its stack image
  // as it was).
  Bytes data(image, image + split);
  data.insert(data.end(), region.result.data.begin(), region.result.data.end());
  result = region.result;
  result.loadAddress = loadAddress;
  result.data.clear();
  result.error = Checked(region, data);
  if (result.error != UnpackError::None) return result;
  if (!result.dataMode) {
    const Bytes restored = RestoreAutostart(Bytes(image, image + split), result.startAddress);
    std::copy(restored.begin(), restored.end(), data.begin());
  }
  result.data = std::move(data);
  return result;
}

RawImage FindRawImage(ByteView view) {
  const uint8_t* const bytes = view.data;
  const size_t length = view.size;
  RawImage raw;
  size_t behindHeader = 0;  // where a header in the first words puts the set-up code
  if (length >= 4) {
    const uint16_t headerLoad = WordAt(bytes, 0);
    behindHeader = 4 + (headerLoad < kSystemAreaEnd ? kSystemAreaEnd - headerLoad : 0);
  }
  for (size_t region = 0; region <= kSystemAreaEnd && region < length; region += 2) {
    if (region == behindHeader || !IsStub(bytes + region, length - region)) continue;
    const uint16_t recorded = WordAt(bytes + region, kSetupLoadAddress);
    if (region == 0 ? recorded < kSystemAreaEnd : recorded != kSystemAreaEnd) continue;
    raw.found = true;
    raw.loadAddress = static_cast<uint16_t>(recorded - region);
    return raw;
  }
  return raw;
}

}  // namespace first
}  // namespace sokol
