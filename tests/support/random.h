// The random generator of every test: small, deterministic on every
// platform, so that a failure reproduces from its seed. It meets the
// standard's uniform random bit generator, so the distributions and
// std::shuffle take it too.
#pragma once

#include <cstdint>
#include <limits>

class Random {
 public:
  using result_type = uint32_t;

  explicit Random(uint32_t seed = 1) : state_(seed * 2654435761u + 1) {
    if (state_ == 0) state_ = 1;  // the one state xorshift never leaves
  }

  // xorshift32
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint32_t Below(uint32_t limit) { return Next() % limit; }
  uint16_t Word() { return static_cast<uint16_t>(Next()); }

  uint32_t operator()() { return Next(); }
  static constexpr uint32_t min() { return 1; }
  static constexpr uint32_t max() { return std::numeric_limits<uint32_t>::max(); }

 private:
  uint32_t state_;
};
