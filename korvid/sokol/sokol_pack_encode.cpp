#include "sokol/sokol_pack_encode.h"

#include <algorithm>

#include "sokol/sokol_pack_costs.h"

namespace sokol {

namespace {

// The stream as docs/formats.md ("Stream") has it: bytes in order, and bits
// in 8-bit groups, top bit first; a new group is one byte, placed in the
// stream at the moment the decoder would load it: when it needs a bit and
// has none left.
class StreamWriter {
 public:
  void Bit(int bit) {
    if (bitsLeft_ == 0) {
      group_ = bytes_.size();
      bytes_.push_back(0);
      bitsLeft_ = 8;
    }
    --bitsLeft_;
    if (bit) bytes_[group_] |= static_cast<uint8_t>(1u << bitsLeft_);
  }

  void Byte(uint8_t value) { bytes_.push_back(value); }

  // The gamma code of value >= 1 from its second bit on: the bits below the
  // leading one, each after a 1, then a 0. `Gamma` adds the first bit.
  void GammaTail(uint32_t value, bool firstBitWritten) {
    int top = 31;
    while (top > 0 && !((value >> top) & 1)) --top;
    bool flagPending = !firstBitWritten;
    for (int bit = top - 1; bit >= 0; --bit) {
      if (flagPending) Bit(1);
      Bit((value >> bit) & 1);
      flagPending = true;
    }
    if (flagPending) Bit(0);
  }
  void Gamma(uint32_t value) { GammaTail(value, false); }

  size_t Size() const { return bytes_.size(); }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
  size_t group_ = 0;
  int bitsLeft_ = 0;
};

// A match's selector: "0" after literals is repeat offset 0 (after a match
// it would start literals); "1" selects a match, and then "0" a new offset,
// "10" and "11" repeat offsets 1 and 2.
void WriteSelector(StreamWriter& out, const Token& token) {
  if (token.kind == TokenKind::RepeatMatch && token.repeat == 0) {
    out.Bit(0);
    return;
  }
  out.Bit(1);
  if (token.kind == TokenKind::NewMatch) {
    out.Bit(0);
    return;
  }
  out.Bit(1);
  out.Bit(token.repeat == 2);
}

// A match after its selector: a new offset's high part, offset byte and
// length, or a repeat offset's length.
void WriteMatch(StreamWriter& out, const Token& token) {
  if (token.kind != TokenKind::NewMatch) {
    out.Gamma(token.length);
    return;
  }
  const uint32_t low = (token.offset - 1) & ((1u << kOffsetLowBits) - 1);
  out.Gamma(OffsetHigh(token.offset));
  const uint32_t lengthCode = token.length - 1;
  const bool firstFlag = lengthCode > 1;
  out.Byte(static_cast<uint8_t>(low << 1 | (firstFlag ? 1 : 0)));
  out.GammaTail(lengthCode, true);
}

}  // namespace

EncodedStream EncodeStream(const std::vector<Token>& tokens, const uint8_t* data) {
  StreamWriter out;
  int64_t lead = 0;
  size_t produced = 0;
  auto note = [&](size_t outputOffset) {
    lead = std::max(lead, static_cast<int64_t>(outputOffset) - static_cast<int64_t>(out.Size()));
  };
  for (const Token& token : tokens) {
    if (token.kind == TokenKind::Literals) {
      out.Bit(0);  // after a match, "0" starts literals
      out.Gamma(token.length);
      note(produced);
      for (uint32_t i = 0; i < token.length; ++i) out.Byte(data[produced + i]);
      produced += token.length;
      continue;
    }
    WriteSelector(out, token);
    WriteMatch(out, token);
    produced += token.length;
    note(produced);
  }
  out.Bit(1);  // the end: a new offset whose high part no offset has
  out.Bit(0);
  out.Gamma(kEndMarkerHigh);
  EncodedStream result;
  result.writeLead = lead;
  result.bytes = out.Take();
  return result;
}

}  // namespace sokol
