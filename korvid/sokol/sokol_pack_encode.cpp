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

// Writes the tokens of one stream in a decoder's form, counting the
// instructions its block runs for each bit and keeping how far the output
// runs ahead of the stream (the margin unpacking in place needs).
class StreamEncoder {
 public:
  StreamEncoder(const uint8_t* data, const EncodeForm& form)
      : data_(data),
        form_(form),
        timing_(form.timing != nullptr ? *form.timing : kNoTiming),
        out_(timing_),
        coded_(form.literals != Literals::Bytes) {
    std::fill(std::begin(tableIndex_), std::end(tableIndex_), -1);
    for (int i = TableSizeOf(form.literals) - 1; i >= 0; --i) tableIndex_[(*form.table)[i]] = i;
  }

  void Add(const Token& token) {
    if (token.kind == TokenKind::Literals) {
      AddLiterals(token.length);
    } else {
      AddMatch(token);
    }
  }

  EncodedStream Finish() {
    SelectMatch(TokenKind::NewMatch, 0);  // the end: a new offset whose high part no offset has
    out_.Gamma(kEndMarkerHigh);
    out_.Count(timing_.end);
    EncodedStream result;
    result.writeLead = lead_;
    result.instructions = out_.Instructions();
    result.bytes = out_.Take();
    return result;
  }

 private:
  void AddLiterals(uint32_t length) {
    if (produced_ != 0) out_.Bit(0, timing_.afterMatch);  // the stream starts with literals
    out_.Gamma(length);
    for (uint32_t i = 0; i < length; ++i) {
      AddLiteral(data_[produced_ + i]);
      Note(produced_ + i + 1);
    }
    if (coded_ && tableIndex_[data_[produced_ + length - 1]] >= 0) out_.Count(timing_.tableRunEnd);
    produced_ += length;
    afterLiterals_ = true;
  }

  // A literal as it is, or, after a flag bit, from the table: by a 5-bit
  // index, or by a nibble of an index byte (the low one first).
  void AddLiteral(uint8_t byte) {
    if (!coded_) {
      out_.Byte(byte);
      out_.Count(timing_.rawLiteral);
      return;
    }
    const int index = tableIndex_[byte];
    if (index < 0) {
      out_.Bit(0, timing_.literalFlag);
      out_.Byte(byte);
      out_.Count(timing_.rawLiteral);
      return;
    }
    out_.Bit(1, timing_.literalFlag);
    if (form_.literals == Literals::TableBits) {
      for (int bit = kLiteralIndexBits - 1; bit >= 0; --bit) out_.Bit((index >> bit) & 1, timing_.literalIndex);
    } else if (waiting_) {
      out_.Patch(waitingByte_, static_cast<uint8_t>(index << 4));
      waiting_ = false;
    } else {
      waitingByte_ = out_.Size();
      out_.Byte(static_cast<uint8_t>(index));
      waiting_ = true;
    }
    out_.Count(timing_.tableLiteral);
  }

  void AddMatch(const Token& token) {
    SelectMatch(token.kind, token.repeat);
    if (token.kind == TokenKind::NewMatch) {
      const uint32_t code = form_.evenOffsets ? token.offset / 2 : token.offset;
      const uint32_t low = code & ((1u << kOffsetLowBits) - 1);
      out_.Gamma(OffsetHigh(code));
      const uint32_t lengthCode = token.length - 1;
      const bool firstFlag = lengthCode > 1;
      out_.Byte(static_cast<uint8_t>(low << 1 | (firstFlag ? 1 : 0)));
      out_.Gamma(lengthCode, true);
      out_.Count(timing_.newMatch);
    } else {
      out_.Gamma(token.length);
      out_.Count(timing_.repeatMatch[token.repeat]);
    }
    out_.Count(kPerByteCopied * token.length);
    produced_ += token.length;
    Note(produced_);
    afterLiterals_ = false;
  }

  // "0" after literals is repeat offset 0 (after a match it would start
  // literals); "1" selects a match: with one repeat offset a new one, else
  // "0" a new offset and "1" a repeat offset, the third bit choosing
  // between repeat offsets 1 and 2 when there are three.
  void SelectMatch(TokenKind kind, int repeat) {
    const BitSite& first = afterLiterals_ ? timing_.afterLiterals : timing_.afterMatch;
    if (kind == TokenKind::RepeatMatch && repeat == 0) {
      out_.Bit(0, first);
      return;
    }
    out_.Bit(1, first);
    if (form_.repeats == 1) return;
    if (kind == TokenKind::NewMatch) {
      out_.Bit(0, timing_.matchKind);
      return;
    }
    out_.Bit(1, timing_.matchKind);
    if (form_.repeats == 3) out_.Bit(repeat == 2 ? 1 : 0, timing_.repeatKind);
  }

  void Note(size_t outputEnd) {
    lead_ = std::max(lead_, static_cast<int64_t>(outputEnd) - static_cast<int64_t>(out_.Size()));
  }

  const uint8_t* data_;
  const EncodeForm& form_;
  const DecoderTiming& timing_;
  StreamWriter out_;
  const bool coded_;
  int tableIndex_[256];
  int64_t lead_ = 0;
  size_t produced_ = 0;
  // Nibble indices: the index byte whose high nibble the next literal from
  // the table takes, if one is waiting.
  size_t waitingByte_ = 0;
  bool waiting_ = false;
  bool afterLiterals_ = false;
};

}  // namespace

EncodedStream EncodeStream(const std::vector<Token>& tokens, const uint8_t* data, const EncodeForm& form) {
  StreamEncoder encoder(data, form);
  for (const Token& token : tokens) encoder.Add(token);
  return encoder.Finish();
}

}  // namespace sokol
