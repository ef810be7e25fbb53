// Writing the Sokol stream for a parse, in exactly the order in which the
// decoder reads it, and measuring how close the decoder's writes come to
// its reads when both share memory.
#pragma once

#include <cstdint>
#include <vector>

#include "sokol/sokol_pack_parse.h"

namespace sokol {

struct EncodedStream {
  std::vector<uint8_t> bytes;
  // The largest (output offset - stream offset) at any write: the bytes
  // written and the bytes read when a literal is copied or a match ends.
  // With the stream placed to end at `end`, writes stay below the unread
  // stream when end - stream size >= load address + this lead.
  int64_t writeLead = 0;
};

EncodedStream EncodeStream(const std::vector<Token>& tokens, const uint8_t* data);

}  // namespace sokol
