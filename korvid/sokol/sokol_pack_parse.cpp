// Forward dynamic programming over positions. Each position keeps up to
// form.arrivals arrivals: the cheapest known way to reach it for each
// distinct state that matters to later costs (inside a literal run or after
// a match, and the repeat offsets). From every arrival the parser tries one
// more literal, every repeat offset and every candidate of the match table
// at every length that can pay off, at the exact cost in bits.
#include "sokol/sokol_pack_parse.h"

#include <algorithm>
#include <limits>

#include "sokol/sokol_pack_costs.h"

namespace sokol {

namespace {

constexpr uint32_t kNoCost = std::numeric_limits<uint32_t>::max();
// Every match length up to this is tried; beyond it only the longest one.
constexpr uint32_t kAllLengthsUpTo = 32;
constexpr int kMostRepeats = 3;

// Inputs are shorter than 65536 bytes: lengths, offsets and runs fit 16 bits.
struct Arrival {
  uint32_t cost = kNoCost;
  int32_t from = -1;  // position of the previous arrival
  uint16_t reps[kMostRepeats] = {};
  uint16_t literalRun = 0;  // bytes in the literal run that ends here; 0 after a match
  uint16_t length = 0;
  uint16_t offset = 0;
  uint8_t fromSlot = 0;
  TokenKind kind = TokenKind::Literals;
  uint8_t repeat = 0;
};

// The state of an arrival as far as later costs go: the repeat offsets, and
// whether it ends a literal run and how long that run's gamma code is (a
// longer run grows more cheaply, its code lengthening more rarely, so the
// cheaper arrival now is not always the better one). Repeat offsets the
// stream does not keep stay 0.
uint64_t StateKey(const Arrival& a) {
  uint64_t runClass = 0;
  for (uint32_t run = a.literalRun; run != 0; run >>= 1) ++runClass;  // its bit length
  return runClass << 48 | uint64_t{a.reps[2]} << 32 | uint64_t{a.reps[1]} << 16 | a.reps[0];
}

class Arrivals {
 public:
  Arrivals(size_t positions, int perPosition)
      : perPosition_(perPosition),
        slots_(positions * static_cast<size_t>(perPosition)),
        states_(slots_.size()),
        costs_(slots_.size()),
        counts_(positions, 0),
        worst_(positions, 0),
        worstCost_(positions, 0) {}

  Arrival* At(size_t position) { return &slots_[Base(position)]; }
  int Count(size_t position) const { return counts_[position]; }

  // Whether an arrival of this cost could be kept: when full, one no
  // cheaper than the dearest can neither replace it nor improve its own
  // state.
  bool Admits(size_t position, uint32_t cost) const {
    return counts_[position] < perPosition_ || cost < worstCost_[position];
  }

  // Keeps `candidate` if it is the cheapest for its state, or among the
  // cheapest states while there is room. The states and costs of a
  // position's arrivals have arrays of their own, for the search.
  void Offer(size_t position, const Arrival& candidate) {
    if (!Admits(position, candidate.cost)) return;
    const size_t base = Base(position);
    const uint64_t state = StateKey(candidate);
    uint8_t& count = counts_[position];
    for (int i = 0; i < count; ++i) {
      if (states_[base + i] == state) {
        if (candidate.cost < costs_[base + i]) {
          slots_[base + i] = candidate;
          costs_[base + i] = candidate.cost;
          if (i == worst_[position]) FindWorst(position);
        }
        return;
      }
    }
    if (count < perPosition_) {
      const int at = count++;
      slots_[base + at] = candidate;
      states_[base + at] = state;
      costs_[base + at] = candidate.cost;
      if (at == 0 || candidate.cost > worstCost_[position]) {
        worst_[position] = static_cast<uint8_t>(at);
        worstCost_[position] = candidate.cost;
      }
      return;
    }
    const size_t at = base + worst_[position];
    slots_[at] = candidate;
    states_[at] = state;
    costs_[at] = candidate.cost;
    FindWorst(position);
  }

 private:
  size_t Base(size_t position) const { return position * static_cast<size_t>(perPosition_); }

  void FindWorst(size_t position) {
    const uint32_t* costs = &costs_[Base(position)];
    uint8_t worst = 0;
    for (int i = 1; i < counts_[position]; ++i) {
      if (costs[i] > costs[worst]) worst = static_cast<uint8_t>(i);
    }
    worst_[position] = worst;
    worstCost_[position] = costs[worst];
  }

  int perPosition_;
  std::vector<Arrival> slots_;
  std::vector<uint64_t> states_;
  std::vector<uint32_t> costs_;
  std::vector<uint8_t> counts_;
  std::vector<uint8_t> worst_;
  std::vector<uint32_t> worstCost_;
};

// The lengths tried of a match that can reach `longest`: every one up to
// kAllLengthsUpTo, then only the longest.
uint32_t NextLength(uint32_t length, uint32_t longest) {
  return length < kAllLengthsUpTo || length == longest ? length + 1 : longest;
}

uint32_t MatchLength(const uint8_t* data, size_t length, size_t position, uint32_t offset,
                     uint32_t limit) {
  const size_t end = std::min(length, position + limit);
  size_t at = position;
  while (at < end && data[at] == data[at - offset]) ++at;
  return static_cast<uint32_t>(at - position);
}

class Parser {
 public:
  Parser(const uint8_t* data, size_t length, const MatchTable& matches, const ParseForm& form)
      : data_(data),
        length_(length),
        matches_(matches),
        form_(form),
        arrivals_(length + 1, std::min(std::max(form.arrivals, 1), kArrivalsPerPosition)) {}

  std::vector<Token> Run() {
    Arrival start;
    start.cost = 0;
    for (int i = 0; i < form_.repeats; ++i) start.reps[i] = kInitialRepeats[i];
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
    // Stable, so that arrivals of equal cost keep their order and every
    // standard library (the page's too) makes the same parse.
    std::stable_sort(slots, slots + count, [](const Arrival& a, const Arrival& b) { return a.cost < b.cost; });
    for (int slot = 0; slot < count; ++slot) {
      const Arrival from = slots[slot];
      OfferLiteral(position, slot, from);
      OfferRepeats(position, slot, from, kNiceLength);
      if (slot >= form_.newMatchArrivals) continue;
      uint32_t shorter = 1;
      for (const MatchCandidate* match = first; match != last; ++match) {
        for (uint32_t length = shorter + 1; length <= match->length; length = NextLength(length, match->length)) {
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
    const uint32_t run = from.literalRun;
    uint32_t bits = form_.literalBits != nullptr ? form_.literalBits[data_[position]] : 8;
    bits += run == 0 ? kLiteralsSelectorBits + GammaBits(1) : GammaBits(run + 1) - GammaBits(run);
    if (!arrivals_.Admits(position + 1, from.cost + bits)) return;
    Arrival next = Next(from, position, slot);
    next.cost = from.cost + bits;
    next.literalRun = static_cast<uint16_t>(run + 1);
    next.kind = TokenKind::Literals;
    next.length = 1;
    arrivals_.Offer(position + 1, next);
  }

  void OfferRepeats(size_t position, int slot, const Arrival& from, uint32_t limit) {
    for (int repeat = 0; repeat < form_.repeats; ++repeat) {
      if (repeat == 0 && from.literalRun == 0) continue;  // "0" means literals there
      const uint32_t offset = from.reps[repeat];
      if (offset == 0 || offset > position) continue;  // 0: not set yet
      bool seen = false;  // the same offset under a cheaper selector
      for (int other = from.literalRun == 0 ? 1 : 0; other < repeat; ++other) {
        seen = seen || from.reps[other] == offset;
      }
      if (seen) continue;
      const uint32_t longest = CachedLength(position, offset, limit);
      const uint32_t selector = repeat == 0 ? kRepeat0SelectorBits : RepeatSelectorBits(form_.repeats);
      for (uint32_t length = 1; length <= longest; length = NextLength(length, longest)) {
        const uint32_t cost = from.cost + selector + GammaBits(length);
        if (!arrivals_.Admits(position + length, cost)) continue;
        Arrival next = Next(from, position, slot);
        next.cost = cost;
        next.literalRun = 0;
        next.kind = TokenKind::RepeatMatch;
        next.repeat = static_cast<uint8_t>(repeat);
        next.length = static_cast<uint16_t>(length);
        next.offset = static_cast<uint16_t>(offset);
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
    const uint32_t code = form_.evenOffsets ? offset / 2 : offset;
    const uint32_t cost = from.cost + NewMatchSelectorBits(form_.repeats) + GammaBits(OffsetHigh(code)) +
                          kOffsetLowBits + GammaBits(length - 1);
    if (!arrivals_.Admits(position + length, cost)) return;
    Arrival next = Next(from, position, slot);
    next.cost = cost;
    next.literalRun = 0;
    next.kind = TokenKind::NewMatch;
    next.length = static_cast<uint16_t>(length);
    next.offset = static_cast<uint16_t>(offset);
    for (int i = form_.repeats - 1; i > 0; --i) next.reps[i] = from.reps[i - 1];
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

  static constexpr int kCacheSize = kArrivalsPerPosition * kMostRepeats;
  const uint8_t* data_;
  size_t length_;
  const MatchTable& matches_;
  ParseForm form_;
  Arrivals arrivals_;
  size_t cachePosition_ = static_cast<size_t>(-1);
  int cacheCount_ = 0;
  MatchCandidate cache_[kCacheSize] = {};
};

}  // namespace

std::vector<Token> ParseOptimally(const uint8_t* data, size_t length, const MatchTable& matches,
                                  const ParseForm& form) {
  return Parser(data, length, matches, form).Run();
}

}  // namespace sokol
