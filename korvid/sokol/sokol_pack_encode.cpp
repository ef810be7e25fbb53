#include "sokol/sokol_pack_encode.h"

#include <algorithm>

#include "sokol/sokol_pack_costs.h"

namespace sokol {

namespace {

constexpr DecoderTiming kNoTiming{};
constexpr uint64_t kPerByteCopied = 2;  // MOVB and SOB

// Bits go into 8-bit groups, first bit on top; a new group is placed in the
// byte stream at the moment the decoder would load it: when it needs a bit
// and has none left. The first group holds seven bits and a 1 below them,
// the marker that the decoder's empty register cannot give it. Each bit is
// read at a site of the decoder, which counts its instructions.
class StreamWriter {
 public:
  explicit StreamWriter(const DecoderTiming& timing) : timing_(timing) {}

  void Bit(int bit, const BitSite& site) {
    instructions_ += site.read[bit];
    if (bitsLeft_ == 0) {
      const bool first = shift_ < 0;
      shift_ = first ? 1 : 0;
      group_ = bytes_.size();
      bytes_.push_back(first ? 1 : 0);
      bitsLeft_ = 8 - shift_;
      instructions_ += site.load[bit];
    }
    --bitsLeft_;
    if (bit) bytes_[group_] |= static_cast<uint8_t>(1u << (bitsLeft_ + shift_));
  }

  void Byte(uint8_t value) { bytes_.push_back(value); }
  void Patch(size_t at, uint8_t bits) { bytes_[at] |= bits; }

  // The gamma code of value >= 1: for each bit below the leading one a 1
  // and that bit, then a 0; the first flag is already written (in the
  // offset byte) when `firstFlagWritten`.
  void Gamma(uint32_t value, bool firstFlagWritten = false) {
    int top = 31;
    while (top > 0 && !((value >> top) & 1)) --top;
    instructions_ += timing_.gammaCall + static_cast<uint64_t>(top) * timing_.gammaPair;
    for (int bit = top - 1; bit >= 0; --bit) {
      if (bit != top - 1 || !firstFlagWritten) Bit(1, bit == top - 1 ? timing_.gammaFirst : timing_.gammaFlag);
      Bit(static_cast<int>((value >> bit) & 1), timing_.gammaData);
    }
    if (top > 0 || !firstFlagWritten) Bit(0, top > 0 ? timing_.gammaFlag : timing_.gammaFirst);
  }

  void Count(uint64_t instructions) { instructions_ += instructions; }

  size_t Size() const { return bytes_.size(); }
  uint64_t Instructions() const { return instructions_; }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  const DecoderTiming& timing_;
  std::vector<uint8_t> bytes_;
  size_t group_ = 0;
  int bitsLeft_ = 0;
  int shift_ = -1;  // -1 before the first group, 1 in it, then 0
  uint64_t instructions_ = 0;
};

}  // namespace

EncodedStream EncodeStream(const std::vector<Token>& tokens, const uint8_t* data, const EncodeForm& form) {
  const DecoderTiming& timing = form.timing != nullptr ? *form.timing : kNoTiming;
  StreamWriter out(timing);
  int64_t lead = 0;
  size_t produced = 0;
  auto note = [&](size_t outputEnd) {
    lead = std::max(lead, static_cast<int64_t>(outputEnd) - static_cast<int64_t>(out.Size()));
  };
  int tableIndex[256];
  std::fill(std::begin(tableIndex), std::end(tableIndex), -1);
  const bool coded = form.literals != Literals::Bytes;
  for (int i = TableSizeOf(form.literals) - 1; i >= 0; --i) tableIndex[(*form.table)[i]] = i;
  // Nibble indices: the index byte whose high nibble the next literal from
  // the table takes, if one is waiting.
  size_t waitingByte = 0;
  bool waiting = false;
  bool afterLiterals = false;
  // "0" after literals is repeat offset 0 (after a match it would start
  // literals); "1" selects a match: with one repeat offset a new one, else
  // "0" a new offset and "1" a repeat offset, the third bit choosing
  // between repeat offsets 1 and 2 when there are three.
  auto selectMatch = [&](TokenKind kind, int repeat) {
    const BitSite& first = afterLiterals ? timing.afterLiterals : timing.afterMatch;
    if (kind == TokenKind::RepeatMatch && repeat == 0) {
      out.Bit(0, first);
      return;
    }
    out.Bit(1, first);
    if (form.repeats == 1) return;
    if (kind == TokenKind::NewMatch) {
      out.Bit(0, timing.matchKind);
      return;
    }
    out.Bit(1, timing.matchKind);
    if (form.repeats == 3) out.Bit(repeat == 2 ? 1 : 0, timing.repeatKind);
  };
  for (const Token& token : tokens) {
    if (token.kind == TokenKind::Literals) {
      if (produced != 0) out.Bit(0, timing.afterMatch);  // the stream starts with literals
      out.Gamma(token.length);
      for (uint32_t i = 0; i < token.length; ++i) {
        const uint8_t byte = data[produced + i];
        if (!coded) {
          out.Byte(byte);
          out.Count(timing.rawLiteral);
        } else if (tableIndex[byte] >= 0) {
          out.Bit(1, timing.literalFlag);
          const int index = tableIndex[byte];
          if (form.literals == Literals::TableBits) {
            for (int bit = kLiteralIndexBits - 1; bit >= 0; --bit) out.Bit((index >> bit) & 1, timing.literalIndex);
          } else if (waiting) {
            out.Patch(waitingByte, static_cast<uint8_t>(index << 4));
            waiting = false;
          } else {
            waitingByte = out.Size();
            out.Byte(static_cast<uint8_t>(index));
            waiting = true;
          }
          out.Count(timing.tableLiteral);
        } else {
          out.Bit(0, timing.literalFlag);
          out.Byte(byte);
          out.Count(timing.rawLiteral);
        }
        note(produced + i + 1);
      }
      if (coded && tableIndex[data[produced + token.length - 1]] >= 0) out.Count(timing.tableRunEnd);
      produced += token.length;
      afterLiterals = true;
      continue;
    }
    selectMatch(token.kind, token.repeat);
    if (token.kind == TokenKind::NewMatch) {
      const uint32_t code = form.evenOffsets ? token.offset / 2 : token.offset;
      const uint32_t low = code & ((1u << kOffsetLowBits) - 1);
      out.Gamma(OffsetHigh(code));
      const uint32_t lengthCode = token.length - 1;
      const bool firstFlag = lengthCode > 1;
      out.Byte(static_cast<uint8_t>(low << 1 | (firstFlag ? 1 : 0)));
      out.Gamma(lengthCode, true);
      out.Count(timing.newMatch);
    } else {
      out.Gamma(token.length);
      out.Count(timing.repeatMatch[token.repeat]);
    }
    out.Count(kPerByteCopied * token.length);
    produced += token.length;
    note(produced);
    afterLiterals = false;
  }
  selectMatch(TokenKind::NewMatch, 0);  // the end: a new offset whose high part no offset has
  out.Gamma(kEndMarkerHigh);
  out.Count(timing.end);
  EncodedStream result;
  result.writeLead = lead;
  result.instructions = out.Instructions();
  result.bytes = out.Take();
  return result;
}

}  // namespace sokol
