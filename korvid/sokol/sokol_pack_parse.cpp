// Forward dynamic programming over positions. Each position keeps up to
// kArrivalsPerPosition arrivals: the cheapest known way to reach it for each
// distinct state that matters to later costs (inside a literal run or after
// a match, and the three repeat offsets). From every arrival the parser tries
// one more literal, every repeat offset and every candidate of the match
// table at every length that can pay off, at the exact cost in bits.
#include "sokol/sokol_pack_parse.h"

#include <algorithm>
#include <limits>

#include "sokol/sokol_format.h"
#include "sokol/sokol_pack_costs.h"
#include "sokol/sokol_pack_match.h"

namespace sokol {

namespace {

constexpr uint32_t kNoCost = std::numeric_limits<uint32_t>::max();
// Every match length up to this is tried; beyond it only the longest one.
constexpr uint32_t kAllLengthsUpTo = 32;
// New matches are tried from the cheapest arrivals only: a new offset pushes
// the oldest repeat offset out, so the dearer arrivals rarely lead anywhere
// better. On the corpus, 8 of 16 costs 1.8 s against 1.2 s for 4 of 12 and
// gives 0.11 % less; 12 of 24 gives 0.19 % less for 3.1 s.
constexpr int kNewMatchArrivals = 8;

struct Arrival {
  uint32_t cost = kNoCost;
  uint32_t literalRun = 0;  // bytes in the literal run that ends here; 0 after a match
  uint16_t reps[kRepeatCount] = {};
  int32_t from = -1;        // position of the previous arrival
  uint8_t fromSlot = 0;
  TokenKind kind = TokenKind::Literals;
  uint8_t repeat = 0;
  uint32_t length = 0;
  uint32_t offset = 0;
  uint64_t state = 0;  // StateKey, set when the arrival is offered
};

// The state of an arrival as far as later costs go: the repeat offsets, and
// whether it ends a literal run and how long that run's gamma code is (a
// longer run grows more cheaply, its code lengthening more rarely, so the
// cheaper arrival now is not always the better one).
uint64_t StateKey(const Arrival& a) {
  uint64_t runClass = 0;
  for (uint32_t run = a.literalRun; run != 0; run >>= 1) ++runClass;
  return runClass << 48 | uint64_t{a.reps[2]} << 32 | uint64_t{a.reps[1]} << 16 | a.reps[0];
}

class Arrivals {
 public:
  explicit Arrivals(size_t positions)
      : slots_(positions * kArrivalsPerPosition), counts_(positions, 0), worst_(positions, 0) {}

  Arrival* At(size_t position) { return &slots_[position * kArrivalsPerPosition]; }
  int Count(size_t position) const { return counts_[position]; }

  // Keeps `candidate` if it is the cheapest for its state, or among the
  // cheapest states while there is room.
  void Offer(size_t position, Arrival candidate) {
    Arrival* slots = At(position);
    uint8_t& count = counts_[position];
    // When full, an arrival no cheaper than the dearest one can neither
    // replace it nor improve its own state.
    if (count == kArrivalsPerPosition && candidate.cost >= slots[worst_[position]].cost) return;
    candidate.state = StateKey(candidate);
    for (int i = 0; i < count; ++i) {
      if (slots[i].state == candidate.state) {
        if (candidate.cost < slots[i].cost) {
          slots[i] = candidate;
          FindWorst(position);
        }
        return;
      }
    }
    if (count < kArrivalsPerPosition) {
      slots[count++] = candidate;
    } else {
      slots[worst_[position]] = candidate;
    }
    FindWorst(position);
  }

 private:
  void FindWorst(size_t position) {
    const Arrival* slots = At(position);
    uint8_t worst = 0;
    for (int i = 1; i < counts_[position]; ++i) {
      if (slots[i].cost > slots[worst].cost) worst = static_cast<uint8_t>(i);
    }
    worst_[position] = worst;
  }

  std::vector<Arrival> slots_;
  std::vector<uint8_t> counts_;
  std::vector<uint8_t> worst_;
};

uint32_t MatchLength(const uint8_t* data, size_t length, size_t position, uint32_t offset,
                     uint32_t limit) {
  const size_t end = std::min(length, position + limit);
  size_t at = position;
  while (at < end && data[at] == data[at - offset]) ++at;
  return static_cast<uint32_t>(at - position);
}

class Parser {
 public:
  Parser(const uint8_t* data, size_t length)
      : data_(data), length_(length), matches_(data, length), arrivals_(length + 1) {}

  std::vector<Token> Run() {
    Arrival start;
    start.cost = 0;
    for (int i = 0; i < kRepeatCount; ++i) start.reps[i] = kInitialRepeats[i];
    arrivals_.Offer(0, start);
    size_t position = 0;
    while (position < length_) position = Step(position);
    return Backtrack();
  }

 private:
  // Relaxes every way out of `position`; returns the next position to visit.
  size_t Step(size_t position) {
    const MatchCandidate* first = matches_.begin(position);
    const MatchCandidate* last = matches_.end(position);
    // A match as long as the finder looks is taken whole from every arrival
    // and the positions it covers are not visited: long runs and copies cost
    // almost nothing however they are cut.
    if (first != last && (last - 1)->length >= kNiceLength) {
      const uint32_t offset = (last - 1)->offset;
      const uint32_t length = MatchLength(data_, length_, position, offset, 0xFFFF);
      for (int slot = 0; slot < arrivals_.Count(position); ++slot) {
        const Arrival from = arrivals_.At(position)[slot];
        OfferNewMatch(position, slot, from, offset, length);
        OfferRepeats(position, slot, from, length);
      }
      return position + length;
    }
    Arrival* slots = arrivals_.At(position);
    const int count = arrivals_.Count(position);
    std::sort(slots, slots + count, [](const Arrival& a, const Arrival& b) { return a.cost < b.cost; });
    for (int slot = 0; slot < count; ++slot) {
      const Arrival from = slots[slot];
      OfferLiteral(position, slot, from);
      OfferRepeats(position, slot, from, kNiceLength);
      if (slot >= kNewMatchArrivals) continue;
      uint32_t shorter = 1;
      for (const MatchCandidate* match = first; match != last; ++match) {
        for (uint32_t length = shorter + 1; length <= match->length; ++length) {
          if (length > kAllLengthsUpTo && length < match->length) continue;
          OfferNewMatch(position, slot, from, match->offset, length);
        }
        shorter = match->length;
      }
    }
    return position + 1;
  }

  static Arrival Next(const Arrival& from, size_t position, int slot) {
    Arrival next = from;
    next.from = static_cast<int32_t>(position);
    next.fromSlot = static_cast<uint8_t>(slot);
    return next;
  }

  void OfferLiteral(size_t position, int slot, const Arrival& from) {
    Arrival next = Next(from, position, slot);
    const uint32_t run = from.literalRun;
    uint32_t bits = 8;
    bits += run == 0 ? kLiteralsSelectorBits + GammaBits(1) : GammaBits(run + 1) - GammaBits(run);
    next.cost = from.cost + bits;
    next.literalRun = run + 1;
    next.kind = TokenKind::Literals;
    next.length = 1;
    arrivals_.Offer(position + 1, next);
  }

  void OfferRepeats(size_t position, int slot, const Arrival& from, uint32_t limit) {
    for (int repeat = 0; repeat < kRepeatCount; ++repeat) {
      if (repeat == 0 && from.literalRun == 0) continue;  // "0" means literals there
      const uint32_t offset = from.reps[repeat];
      if (offset == 0 || offset > position) continue;  // 0: not set yet
      bool seen = false;  // the same offset under a cheaper selector
      for (int other = from.literalRun == 0 ? 1 : 0; other < repeat; ++other) {
        seen = seen || from.reps[other] == offset;
      }
      if (seen) continue;
      const uint32_t longest = CachedLength(position, offset, limit);
      const uint32_t selector = repeat == 0 ? kRepeat0SelectorBits : kRepeatSelectorBits;
      for (uint32_t length = 1; length <= longest; ++length) {
        if (length > kAllLengthsUpTo && length < longest) continue;
        Arrival next = Next(from, position, slot);
        next.cost = from.cost + selector + GammaBits(length);
        next.literalRun = 0;
        next.kind = TokenKind::RepeatMatch;
        next.repeat = static_cast<uint8_t>(repeat);
        next.length = length;
        next.offset = offset;
        for (int i = repeat; i > 0; --i) next.reps[i] = from.reps[i - 1];
        next.reps[0] = static_cast<uint16_t>(offset);
        arrivals_.Offer(position + length, next);
      }
    }
  }

  // Repeat offsets are shared by many arrivals: each length is measured once.
  uint32_t CachedLength(size_t position, uint32_t offset, uint32_t limit) {
    if (cachePosition_ != position) {
      cachePosition_ = position;
      cacheCount_ = 0;
    }
    for (int i = 0; i < cacheCount_; ++i) {
      if (cache_[i].offset == offset) return cache_[i].length;
    }
    const uint32_t length = MatchLength(data_, length_, position, offset, limit);
    if (cacheCount_ < kCacheSize) cache_[cacheCount_++] = {length, offset};
    return length;
  }

  void OfferNewMatch(size_t position, int slot, const Arrival& from, uint32_t offset,
                     uint32_t length) {
    Arrival next = Next(from, position, slot);
    next.cost = from.cost + kNewMatchSelectorBits + GammaBits(OffsetHigh(offset)) +
                kOffsetLowBits + GammaBits(length - 1);
    next.literalRun = 0;
    next.kind = TokenKind::NewMatch;
    next.length = length;
    next.offset = offset;
    next.reps[2] = from.reps[1];
    next.reps[1] = from.reps[0];
    next.reps[0] = static_cast<uint16_t>(offset);
    arrivals_.Offer(position + length, next);
  }

  std::vector<Token> Backtrack() {
    std::vector<Token> reversed;
    if (length_ == 0) return reversed;
    Arrival* slots = arrivals_.At(length_);
    int best = 0;
    for (int i = 1; i < arrivals_.Count(length_); ++i) {
      if (slots[i].cost < slots[best].cost) best = i;
    }
    const Arrival* at = &slots[best];
    while (at->from >= 0) {
      if (at->kind == TokenKind::Literals && !reversed.empty() &&
          reversed.back().kind == TokenKind::Literals) {
        ++reversed.back().length;
      } else {
        reversed.push_back({at->kind, at->repeat, at->length, at->offset});
      }
      at = &arrivals_.At(static_cast<size_t>(at->from))[at->fromSlot];
    }
    return std::vector<Token>(reversed.rbegin(), reversed.rend());
  }

  static constexpr int kCacheSize = kArrivalsPerPosition * kRepeatCount;
  const uint8_t* data_;
  size_t length_;
  MatchTable matches_;
  Arrivals arrivals_;
  size_t cachePosition_ = static_cast<size_t>(-1);
  int cacheCount_ = 0;
  MatchCandidate cache_[kCacheSize] = {};
};

}  // namespace

std::vector<Token> ParseOptimally(const uint8_t* data, size_t length) {
  return Parser(data, length).Run();
}

}  // namespace sokol
