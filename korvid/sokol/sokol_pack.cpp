// Sokol packing: for each decoder that may suit the data, parse and encode
// the stream in its form; then choose one, lay out the image and fill in
// the stub's parameters.
#include <algorithm>
#include <array>
#include <memory>

#include "bk/autostart.h"
#include "bk/memory.h"
#include "bk/words.h"
#include "sokol/sokol.h"
#include "sokol/sokol_pack_encode.h"
#include "sokol/sokol_pack_parse.h"
#include "sokol/sokol_stub.h"

namespace sokol {

namespace {

// How a decoder is chosen: the smallest image wins, but a faster decoder is
// taken over a smaller image when it saves the BK at least this many
// instructions per byte it costs (about 20 ms of a BK-0010's time per byte),
// and no decoder may take more than kMostInstructionsPerByte per byte of
// data while another would not.
constexpr uint64_t kInstructionsPerByte = 3000;
constexpr uint64_t kMostInstructionsPerByte = 20;

// How far the parses look: the arrivals they keep per position, and how
// many of those try new matches. The trial parses that choose the decoder
// and whether offsets are even look less far than the final one.
struct Effort {
  int arrivals;
  int newMatchArrivals;
};
constexpr Effort kTrial{4, 2};
constexpr Effort kFinal{24, 12};

// CRC-16 with the polynomial x^16 + x^12 + x^5 + 1, initial value 0xFFFF,
// most significant bit first. The PC unpacker computes it a second time
// with code of its own (Crc16, sokol_unpack.cpp), on purpose: a function
// that both shared could go wrong without either noticing. A test pins the
// check value of both, 0x29B1 for the bytes of "123456789".
uint16_t DataCrc(const uint8_t* data, size_t length) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < length; ++i) {
    crc = static_cast<uint16_t>(crc ^ (data[i] << 8));
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return crc;
}

void PutWord(Bytes& image, size_t offset, uint16_t value) { WriteBkWord(image.data() + offset, value); }

// One way to pack a region: a decoder, its stream and what it costs.
struct Candidate {
  Decoder decoder = Decoder::Fast;
  bool evenOffsets = false;
  LiteralTable table{};
  std::vector<Token> tokens;
  EncodedStream stream;
  size_t imageSize = 0;       // set-up, padded stream, block and CRC
  uint64_t instructions = 0;  // from the image's first instruction to the hand-off
};

// The matches of a region, found once for every parse that needs them.
class Matches {
 public:
  Matches(const uint8_t* data, size_t length) : data_(data), length_(length) {}
  const MatchTable& For(bool evenOffsets) {
    std::unique_ptr<MatchTable>& table = tables_[evenOffsets ? 1 : 0];
    if (!table) {
      const uint32_t longest = evenOffsets ? 2 * kLargestOffsetCode : kLargestOffsetCode;
      table = std::make_unique<MatchTable>(data_, length_, evenOffsets, longest);
    }
    return *table;
  }

 private:
  const uint8_t* data_;
  size_t length_;
  std::unique_ptr<MatchTable> tables_[2];
};

class Chooser {
 public:
  Chooser(const uint8_t* data, size_t length) : data_(data), length_(length), matches_(data, length) {}

  // The candidate to pack with: the decoder asked for, or the best one, and
  // even offsets when they pay; trial parses choose, the final one looks
  // as far as the parser can.
  Candidate Choose(const std::optional<Decoder>& asked) {
    capped_ = !asked;
    // Every table holds the literals commonest in a parse without one.
    const Candidate fast = Encode(Decoder::Fast, false, nullptr, kTrial);
    const LiteralTable table = CommonLiterals(fast.tokens);
    std::vector<Candidate> trials;
    for (int i = 0; i < kDecoderCount; ++i) {
      const Decoder decoder = static_cast<Decoder>(i);
      if (asked ? *asked != decoder : decoder == Decoder::FastNibbles) continue;
      trials.push_back(decoder == Decoder::Fast ? fast : Encode(decoder, false, &table, kTrial));
    }
    // Nibble indices serve data whose literals the other tables make too
    // slow to unpack.
    const bool tableFits = std::any_of(trials.begin(), trials.end(), [&](const Candidate& c) {
      return FormOf(c.decoder).literals != Literals::Bytes && FastEnough(c);
    });
    if (!asked && !tableFits) trials.push_back(Encode(Decoder::FastNibbles, false, &table, kTrial));
    std::vector<Candidate> parity;
    parity.push_back(Best(std::move(trials)));
    parity.push_back(Encode(parity[0].decoder, true, &table, kTrial));
    const Candidate chosen = Best(std::move(parity));
    Candidate final = Encode(chosen.decoder, chosen.evenOffsets, &table, kFinal);
    // The final parse of a decoder the trial found fast enough may not be;
    // then the fastest decoder serves.
    if (!asked && !FastEnough(final)) {
      std::vector<Candidate> fallback;
      fallback.push_back(std::move(final));
      fallback.push_back(Encode(Decoder::Fast, chosen.evenOffsets, nullptr, kFinal));
      return Best(std::move(fallback));
    }
    return final;
  }

 private:
  bool FastEnough(const Candidate& c) const {
    return c.instructions <= kMostInstructionsPerByte * static_cast<uint64_t>(length_);
  }

  // The smallest image, unless a faster one is worth its bytes; when the
  // decoder is not asked for, decoders too slow for the data only when all
  // are, and then the fastest.
  Candidate Best(std::vector<Candidate> candidates) const {
    auto score = [](const Candidate& c) { return c.imageSize * kInstructionsPerByte + c.instructions; };
    auto better = [&](const Candidate& a, const Candidate& b) {
      if (capped_ && FastEnough(a) != FastEnough(b)) return FastEnough(a);
      if (capped_ && !FastEnough(a)) return a.instructions < b.instructions;
      return score(a) < score(b);
    };
    return std::move(*std::min_element(candidates.begin(), candidates.end(), better));
  }

  // The 32 bytes that come most often as literals of a parse (ties: the
  // smaller byte first).
  LiteralTable CommonLiterals(const std::vector<Token>& tokens) const {
    std::array<uint32_t, 256> counts{};
    size_t position = 0;
    for (const Token& token : tokens) {
      if (token.kind == TokenKind::Literals) {
        for (uint32_t i = 0; i < token.length; ++i) ++counts[data_[position + i]];
      }
      position += token.length;
    }
    std::array<uint8_t, 256> order;
    for (int i = 0; i < 256; ++i) order[i] = static_cast<uint8_t>(i);
    std::stable_sort(order.begin(), order.end(), [&](uint8_t a, uint8_t b) { return counts[a] > counts[b]; });
    LiteralTable table;
    std::copy(order.begin(), order.begin() + kLiteralTableSize, table.begin());
    return table;
  }

  Candidate Encode(Decoder decoder, bool evenOffsets, const LiteralTable* table, const Effort& effort) {
    const StreamForm form = FormOf(decoder);
    const DecoderBlock& block = BlockOf(decoder);
    Candidate candidate;
    candidate.decoder = decoder;
    candidate.evenOffsets = evenOffsets;
    ParseForm parse;
    parse.repeats = form.repeats;
    parse.evenOffsets = evenOffsets;
    parse.arrivals = effort.arrivals;
    parse.newMatchArrivals = effort.newMatchArrivals;
    std::array<uint8_t, 256> literalBits;
    const int tableSize = TableSizeOf(form.literals);
    if (tableSize != 0) {
      candidate.table = *table;
      literalBits.fill(1 + 8);
      const int indexBits = form.literals == Literals::TableBits ? kLiteralIndexBits : kNibbleIndexBits;
      for (int i = 0; i < tableSize; ++i) literalBits[(*table)[i]] = static_cast<uint8_t>(1 + indexBits);
      parse.literalBits = literalBits.data();
    }
    candidate.tokens = ParseOptimally(data_, length_, matches_.For(evenOffsets), parse);
    EncodeForm encode;
    encode.repeats = form.repeats;
    encode.evenOffsets = evenOffsets;
    encode.literals = form.literals;
    encode.table = &candidate.table;
    encode.timing = &block.timing;
    candidate.stream = EncodeStream(candidate.tokens, data_, encode);
    const size_t padded = candidate.stream.bytes.size() + candidate.stream.bytes.size() % 2;
    candidate.imageSize = kSetupSize + padded + block.Crc() + kCrcSize;
    candidate.instructions = SetupInstructions(block.size / 2, padded / 2) + candidate.stream.instructions;
    return candidate;
  }

  const uint8_t* data_;
  size_t length_;
  Matches matches_;
  bool capped_ = true;
};

// What a program's image below 01000 records about its stack image: the
// words that RedirectAutostart changed (Unpack puts them back).
struct StackRecord {
  uint16_t count = 0;
  uint16_t topAddress = 0;
  uint16_t topValue = 0;
};

StackRecord RecordChanges(const Bytes& original, const Bytes& redirected, uint16_t loadAddress) {
  StackRecord record;
  size_t lowest = 0;
  for (size_t at = 0; at + 1 < original.size(); at += 2) {
    const uint16_t was = ReadBkWord(original.data() + at);
    if (was == ReadBkWord(redirected.data() + at)) continue;
    if (record.count == 0) lowest = at;
    record.count = static_cast<uint16_t>((at - lowest) / 2 + 1);
    record.topAddress = static_cast<uint16_t>(loadAddress + at);
    record.topValue = was;
  }
  return record;
}

// The image of the data from `loadAddress` (01000 or above) on, which the
// stub starts at `startAddress`; its CRC is `crc`, that of the whole file,
// and `record`, when given, follows it.
PackResult PackRegion(const uint8_t* data, size_t length, uint16_t loadAddress, uint16_t startAddress,
                      const PackOptions& options, uint16_t crc, const StackRecord* record) {
  PackResult result;
  result.loadAddress = loadAddress;
  result.startAddress = startAddress;
  const Candidate chosen = Chooser(data, length).Choose(options.decoder);
  const DecoderBlock& block = BlockOf(chosen.decoder);
  const EncodedStream& stream = chosen.stream;
  const size_t streamSize = stream.bytes.size();
  const size_t paddedSize = streamSize + streamSize % 2;
  const size_t imageSize = chosen.imageSize + (record != nullptr ? kStackRecordSize : 0);
  result.streamSize = streamSize;
  result.decoder = chosen.decoder;
  result.evenOffsets = chosen.evenOffsets;
  result.instructions = chosen.instructions;

  // The margin: enough for the decoder's writes to stay below the stream it
  // has not read (the stream's end lies at end + margin), for the loaded
  // image itself, and for an even end so that the stream moves by words.
  const int64_t programLength = static_cast<int64_t>(length);
  int64_t margin = std::max<int64_t>(0, stream.writeLead - programLength + static_cast<int64_t>(paddedSize));
  margin = std::max<int64_t>(margin, static_cast<int64_t>(imageSize) - programLength);
  margin += (programLength + margin) % 2;
  result.margin = static_cast<uint32_t>(margin);
  const int64_t reach = loadAddress + programLength + margin;
  if (reach > kMemoryTop) {
    result.error = PackError::DoesNotFit;
    result.missingBytes = static_cast<uint32_t>(reach - kMemoryTop);
    return result;
  }

  Bytes& image = result.image;
  image.assign(imageSize, 0);
  for (size_t i = 0; i < kSetupCode.size(); ++i) PutWord(image, 2 * i, kSetupCode[i]);
  std::copy(stream.bytes.begin(), stream.bytes.end(), image.begin() + kSetupSize);
  const size_t blockAt = kSetupSize + paddedSize;
  for (size_t i = 0; i < block.size / 2; ++i) PutWord(image, blockAt + 2 * i, block.code[i]);
  const int tableSize = TableSizeOf(FormOf(chosen.decoder).literals);
  std::copy(chosen.table.begin(), chosen.table.begin() + tableSize, image.begin() + blockAt + block.table);
  PutWord(image, blockAt + block.even, chosen.evenOffsets ? kEvenOffsets : kOddOffsets);

  PutWord(image, kSetupBlockEnd, static_cast<uint16_t>(loadAddress + blockAt + block.size));
  PutWord(image, kSetupBlockWords, static_cast<uint16_t>(block.size / 2));
  PutWord(image, kSetupDestEnd, static_cast<uint16_t>(reach));
  PutWord(image, kSetupStreamWords, static_cast<uint16_t>(paddedSize / 2));
  PutWord(image, kSetupLoadAddress, loadAddress);
  // A stream starts with literals, but for no data at all.
  PutWord(image, kSetupEntry, static_cast<uint16_t>(length != 0 ? block.entry : block.next));
  const size_t exit = blockAt + block.Exit();
  if (options.dataMode) {
    PutWord(image, exit, kExitDataLoad);
    PutWord(image, exit + 2, kExitDataOperand);
    PutWord(image, exit + 4, kExitDataMark);
  } else {
    PutWord(image, exit, kExitProgramLoad);
    PutWord(image, exit + 2, result.startAddress);
    PutWord(image, exit + 4, kExitProgramMark);
  }
  PutWord(image, blockAt + block.Crc(), crc);
  if (record != nullptr) {
    const size_t at = blockAt + block.Crc() + kCrcSize;
    PutWord(image, at, record->count);
    PutWord(image, at + 2, record->topAddress);
    PutWord(image, at + 4, record->topValue);
  }
  return result;
}

}  // namespace

PackResult Pack(ByteView view, uint16_t loadAddress, const PackOptions& options) {
  const uint8_t* const data = view.data;
  const size_t length = view.size;
  PackResult result;
  result.loadAddress = loadAddress;
  result.startAddress = loadAddress;
  if (loadAddress % 2 != 0) {
    result.error = PackError::OddLoadAddress;
    return result;
  }
  const uint16_t crc = DataCrc(data, length);
  if (loadAddress >= kSystemAreaEnd) {
    return PackRegion(data, length, loadAddress, loadAddress, options, crc, nullptr);
  }
  // Below 01000 the file holds a stack image: it stays as it is in the
  // image, but for a program's autostart words, which point at the stub at
  // 01000; the image records the words that changed when the autostart
  // rules would not give them back as they were.
  const size_t split = kSystemAreaEnd - loadAddress;
  if (length <= split) {
    result.error = PackError::NothingToPack;
    return result;
  }
  // A data image is called by its user's program, not started by the BK's
  // loader: its stack image is carried exactly as it is.
  const Bytes original(data, data + split);
  const RedirectedStack stack =
      options.dataMode ? RedirectedStack{original, kSystemAreaEnd} : RedirectAutostart(original);
  const StackRecord record = RecordChanges(original, stack.stack, loadAddress);
  const bool recorded = !options.dataMode && RestoreAutostart(stack.stack, stack.startAddress) != original;
  result = PackRegion(data + split, length - split, kSystemAreaEnd, stack.startAddress, options, crc,
                      recorded ? &record : nullptr);
  result.loadAddress = loadAddress;
  if (result.error != PackError::None) return result;
  result.image.insert(result.image.begin(), stack.stack.begin(), stack.stack.end());
  return result;
}

}  // namespace sokol
