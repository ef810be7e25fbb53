// Match finding for the Sokol parser: for every position of the input, the
// matches that an optimal parse can use, as a staircase of (length, offset)
// pairs with growing length, each with the smallest offset that reaches it.
// The window is the whole input. For streams whose new offsets are even,
// the table holds only matches at even distances.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sokol {

struct MatchCandidate {
  uint32_t length;
  uint32_t offset;
};

// Matches are searched up to this length; a longer one is reported at this
// length and the parser extends it itself.
constexpr uint32_t kNiceLength = 512;

class MatchTable {
 public:
  // Matches reach back at most `longestOffset` bytes.
  MatchTable(const uint8_t* data, size_t length, bool evenOffsets, uint32_t longestOffset);

  // Candidates at `position`, shortest first; lengths are at least 2.
  const MatchCandidate* begin(size_t position) const { return &matches_[first_[position]]; }
  const MatchCandidate* end(size_t position) const { return &matches_[first_[position + 1]]; }

 private:
  std::vector<MatchCandidate> matches_;
  std::vector<uint32_t> first_;  // index into matches_ per position, plus one
};

}  // namespace sokol
