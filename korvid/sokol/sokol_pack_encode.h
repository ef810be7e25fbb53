// Writing the Sokol stream for a parse, in exactly the order in which the
// decoder reads it, and measuring how close the decoder's writes come to
// its reads when both share memory.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sokol/sokol_format.h"
#include "sokol/sokol_pack_parse.h"
#include "sokol/sokol_stub.h"

namespace sokol {

using LiteralTable = std::array<uint8_t, kLiteralTableSize>;

// The form of the stream to write: the repeat offsets its decoder keeps,
// whether new offsets are even, the literal table, if it has one, and how
// the decoder's instructions are counted.
struct EncodeForm {
  int repeats = 3;
  bool evenOffsets = false;
  Literals literals = Literals::Bytes;
  const LiteralTable* table = nullptr;  // the first TableSizeOf(literals) entries
  const DecoderTiming* timing = nullptr;
};

struct EncodedStream {
  std::vector<uint8_t> bytes;
  // The largest (output offset - stream offset) after any write: the bytes
  // written and the bytes the decoder has read by then. With the stream
  // placed to end at `end`, writes stay below the unread stream when
  // end - stream size >= load address + this lead.
  int64_t writeLead = 0;
  // Instructions the decoder block runs on it, from its entry to the end
  // marker's exit (EncodeForm::timing; 0 without).
  uint64_t instructions = 0;
};

EncodedStream EncodeStream(const std::vector<Token>& tokens, const uint8_t* data, const EncodeForm& form);

}  // namespace sokol
