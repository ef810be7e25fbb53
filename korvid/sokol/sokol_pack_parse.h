// The optimal parse: dynamic programming over the exact bit costs of the
// Sokol stream, forward over the input, keeping at each position the
// cheapest ways to arrive there that differ in their repeat offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sokol/sokol_pack_match.h"

namespace sokol {

enum class TokenKind : uint8_t {
  Literals,    // `length` bytes copied from the stream
  NewMatch,    // `length` >= 2 bytes from `offset` back; offset becomes repeat 0
  RepeatMatch  // `length` >= 1 bytes from repeat offset `repeat` (0..2)
};

struct Token {
  TokenKind kind;
  uint8_t repeat;   // RepeatMatch
  uint32_t length;
  uint32_t offset;  // the distance back for both kinds of match
};

// Arrivals kept per position at most: more finds a cheaper parse, at a cost
// in time.
constexpr int kArrivalsPerPosition = 32;

// The stream the parse is for, and how hard it looks.
struct ParseForm {
  int repeats = 3;           // 1, 2 or 3
  bool evenOffsets = false;  // new offsets even (`matches` must hold only those)
  // Bits of a literal byte of each value; null: 8.
  const uint8_t* literalBits = nullptr;
  int arrivals = 16;          // kept per position, at most kArrivalsPerPosition
  int newMatchArrivals = 8;  // of those, the ones that try new matches
};

std::vector<Token> ParseOptimally(const uint8_t* data, size_t length, const MatchTable& matches,
                                  const ParseForm& form);

}  // namespace sokol
