// A binary tree of all earlier suffixes, ordered lexicographically, with the
// newest position at its root. Inserting a position walks down from the root
// while it re-links the tree around the new root; the nodes it passes are
// exactly the nearest positions that share each prefix length with it, so
// the walk yields the staircase of matches for free. Even offsets only: one
// tree for the even positions and one for the odd, each position searched
// in its own.
#include "sokol/sokol_pack_match.h"

#include <algorithm>

namespace sokol {

namespace {

constexpr int32_t kNone = -1;

}  // namespace

MatchTable::MatchTable(const uint8_t* data, size_t length, bool evenOffsets, uint32_t longestOffset) {
  const int32_t n = static_cast<int32_t>(length);
  std::vector<int32_t> smaller(length, kNone);  // left child: lexicographically smaller
  std::vector<int32_t> larger(length, kNone);
  first_.reserve(length + 1);
  matches_.reserve(length * 4);
  int32_t roots[2] = {kNone, kNone};
  for (int32_t position = 0; position < n; ++position) {
    first_.push_back(static_cast<uint32_t>(matches_.size()));
    const uint32_t limit = std::min<uint32_t>(kNiceLength, static_cast<uint32_t>(n - position));
    int32_t* smallerLink = &smaller[position];
    int32_t* largerLink = &larger[position];
    uint32_t smallerLength = 0;  // common prefix with the smaller side's bound
    uint32_t largerLength = 0;
    uint32_t best = 1;
    int32_t& root = roots[evenOffsets ? position % 2 : 0];
    int32_t node = root;
    root = position;
    while (node != kNone) {
      uint32_t common = std::min(smallerLength, largerLength);
      while (common < limit && data[node + common] == data[position + common]) ++common;
      if (common > best && static_cast<uint32_t>(position - node) <= longestOffset) {
        best = common;
        matches_.push_back({common, static_cast<uint32_t>(position - node)});
      }
      if (common >= limit) {
        // Equal as far as we look: the node's subtrees become the new root's.
        *smallerLink = smaller[node];
        *largerLink = larger[node];
        node = kNone;
        smallerLink = largerLink = nullptr;
        break;
      }
      if (data[node + common] < data[position + common]) {
        *smallerLink = node;
        smallerLink = &larger[node];
        smallerLength = common;
        node = larger[node];
      } else {
        *largerLink = node;
        largerLink = &smaller[node];
        largerLength = common;
        node = smaller[node];
      }
    }
    if (smallerLink != nullptr) {
      *smallerLink = kNone;
      *largerLink = kNone;
    }
  }
  first_.push_back(static_cast<uint32_t>(matches_.size()));
}

}  // namespace sokol
