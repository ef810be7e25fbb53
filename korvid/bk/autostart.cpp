#include "bk/autostart.h"

#include <algorithm>

#include "bk/memory.h"
#include "bk/words.h"

namespace {

// The word that packing writes over the autostart words: the unpacker's
// address, where the packed region begins.
constexpr uint16_t kRedirected = kSystemAreaEnd;

// Offset in the stack image of the autostart word, or of the first word for
// files that load above it.
int32_t AutostartOffset(const Bytes& stack) {
  return std::max(static_cast<int32_t>(stack.size()) - (kSystemAreaEnd - kAutostartWord), 0);
}

class Words {
 public:
  explicit Words(Bytes& bytes) : bytes_(bytes) {}
  int32_t end() const { return static_cast<int32_t>(bytes_.size()) & ~1; }
  uint16_t at(int32_t offset) const { return ReadBkWord(bytes_.data() + offset); }
  void put(int32_t offset, uint16_t value) { WriteBkWord(bytes_.data() + offset, value); }

 private:
  Bytes& bytes_;
};

// A stack image below 0744 as packing leaves it: from the autostart word
// up, words of 01000 and then the topmost word, which kept the start
// address. Its offset, or -1 when the words do not run so.
int32_t KeptAutostartWord(const Words& words, int32_t probe, uint16_t startAddress) {
  int32_t top = probe;
  while (top < words.end() && words.at(top) == kRedirected) top += 2;
  return top < words.end() && words.at(top) == startAddress ? top : -1;
}

}  // namespace

RedirectedStack RedirectAutostart(const Bytes& stack) {
  RedirectedStack result{stack, kSystemAreaEnd};
  Words words(result.stack);
  const int32_t end = words.end();
  if (end == 0) return result;
  int32_t o = AutostartOffset(result.stack);
  const uint16_t target = words.at(o);
  if (target <= kRedirected) return result;  // no autostart address
  result.startAddress = target;
  // Up to the first word above the run of the start address.
  while (o < end) {
    o += 2;
    if (o >= end || words.at(o) != target) break;
  }
  // The run's topmost word keeps the start address; from the one below it
  // downward the words point at the unpacker instead.
  int32_t q = std::max(o - 4, 0);
  words.put(q, kRedirected);
  for (q -= 2; q > 0 && words.at(q) == target; q -= 2) words.put(q, kRedirected);
  return result;
}

Bytes RestoreAutostart(const Bytes& stack, uint16_t startAddress) {
  Bytes restored = stack;
  Words words(restored);
  const int32_t end = words.end();
  if (end == 0 || startAddress == kRedirected) return restored;
  const int32_t probe = AutostartOffset(restored);
  if (probe == 0) {
    // The file begins at or above 0744: its first word was the probe. A run
    // of one or two words had that word rewritten; a longer run kept it and
    // had the words between it and the top rewritten. 01000 in the second
    // word as well is no run of the packer's but a stack image pointed at
    // the unpacker throughout, which FitStartAddress puts right.
    if (words.at(0) == kRedirected && (end <= 2 || words.at(2) != kRedirected)) {
      words.put(0, startAddress);
      return restored;
    }
    if (words.at(0) != startAddress) return restored;
    int32_t top = 2;
    while (top < end && words.at(top) == kRedirected) top += 2;
    if (top >= end || words.at(top) != startAddress) return restored;
    for (int32_t q = 2; q < top; q += 2) words.put(q, startAddress);
    return restored;
  }
  const int32_t top = KeptAutostartWord(words, probe, startAddress);
  if (top < 0) return restored;  // not the packer's pattern
  // The word below the kept one was rewritten unconditionally; below it the
  // packer went on while it met the start address, never touching offset 0.
  int32_t q = top - 2;
  words.put(q, startAddress);
  for (q -= 2; q > 0 && words.at(q) == kRedirected; q -= 2) words.put(q, startAddress);
  return restored;
}

std::optional<uint16_t> AutostartWordInDoubt(const Bytes& stack, uint16_t startAddress) {
  Bytes bytes = stack;
  Words words(bytes);
  const int32_t probe = AutostartOffset(bytes);
  if (words.end() == 0 || startAddress == kRedirected || probe == 0) return std::nullopt;
  const int32_t top = KeptAutostartWord(words, probe, startAddress);
  if (top < 0) return std::nullopt;
  return static_cast<uint16_t>(top - 2);
}

FittedStart FitStartAddress(const Bytes& stack, uint16_t loadAddress, uint16_t startAddress) {
  FittedStart result{StartAddressFit::Lost, stack};
  Words words(result.stack);
  const int32_t end = words.end();
  if (end == 0) {
    result.fit = startAddress == loadAddress ? StartAddressFit::Carried : StartAddressFit::Lost;
    return result;
  }
  const int32_t probe = AutostartOffset(result.stack);
  const uint16_t autostart = words.at(probe);
  if (autostart == startAddress) {
    result.fit = StartAddressFit::Carried;
  } else if (autostart == kRedirected) {
    int32_t low = probe;
    while (low >= 2 && words.at(low - 2) == kRedirected) low -= 2;
    int32_t high = probe;
    while (high + 2 < end && words.at(high + 2) == kRedirected) high += 2;
    for (int32_t q = low; q <= high; q += 2) words.put(q, startAddress);
    result.fit = StartAddressFit::Restored;
  } else if (startAddress == kRedirected && autostart < kRedirected) {
    result.fit = StartAddressFit::Carried;
  }
  return result;
}
