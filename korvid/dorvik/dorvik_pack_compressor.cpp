#include "dorvik/dorvik_pack_compressor.h"

#include <algorithm>
#include <optional>

#include "bk/words.h"

namespace dorvik {

namespace {

// The slot of a code byte: its index in the code bitmap and the stub's table.
unsigned SlotOf(uint8_t codeByte) { return codeByte ^ 0x80u; }

// The packed region as words: word k is the little-endian word at byte
// offset 2k of the buffer.
class RegionWords {
 public:
  explicit RegionWords(Packing& p) : p_(p) {}
  uint16_t At(uint32_t index) const { return ReadBkWord(p_.buffer.data() + 2 * index); }
  void Put(uint32_t index, uint16_t value) { WriteBkWord(p_.buffer.data() + 2 * index, value); }
  uint32_t First() const { return p_.startOffset / 2u; }
  uint32_t Last() const { return p_.endOffset / 2u; }
  // How many words equal to word k follow it without a break inside the region.
  uint32_t EqualAfter(uint32_t k) const {
    const uint16_t word = At(k);
    uint32_t next = k + 1;
    while (next < Last() && At(next) == word) ++next;
    return next - k - 1;
  }

 private:
  Packing& p_;
};

// Code bytes are the reserved two (ranking positions 255 and 254) and one
// per dictionary word, from position 253 downward.
void AssignCodeBytes(Tables& t) {
  const size_t n = t.selectedWords.size();
  t.codeKeys.clear();
  t.codeKeys.push_back(t.highByteRanking[255].key);
  t.codeKeys.push_back(t.highByteRanking[254].key);
  for (size_t i = 0; i < n; ++i) t.codeKeys.push_back(t.highByteRanking[253 - i].key);
  std::sort(t.codeKeys.begin(), t.codeKeys.end());

  t.codeBitmap.fill(0);
  for (uint16_t key : t.codeKeys) {
    const unsigned slot = key - 128u;
    t.codeBitmap[slot / 8] = static_cast<uint8_t>(t.codeBitmap[slot / 8] | (1u << (slot % 8)));
  }
  t.dictionary = t.selectedWords;
  std::sort(t.dictionary.begin(), t.dictionary.end());
}

using SlotValues = std::array<uint16_t, 256>;

// Value of every code byte, by slot, for the rollback's backward decoding.
SlotValues ValuesBySlot(const Tables& t) {
  SlotValues values{};
  const size_t top = t.codeValues.size() - 1;
  for (size_t rank = 0; rank <= top; ++rank)
    values[t.codeKeys[top - rank] - 128u] = t.codeValues[rank];
  return values;
}

// A run of m copies after the first word: groups of 256 (count byte 0),
// then one group for the rest.
uint32_t WriteRunGroups(Packing& p, uint32_t out, uint32_t copies) {
  const auto runCode = static_cast<uint8_t>(p.runCode);
  while (copies > 256) {
    p.buffer[out++] = 0;
    p.buffer[out++] = runCode;
    copies -= 256;
  }
  p.buffer[out++] = static_cast<uint8_t>(copies & 0xFF);
  p.buffer[out++] = runCode;
  return out;
}

// Decodes the stream written since the previous meeting point back into
// plain words, from byte p backward, writing from word `wordEnd` - 1
// backward, until the write position meets p.
void RollBack(Packing& packing, const SlotValues& values, uint32_t p, uint32_t wordEnd) {
  const Bytes& buffer = packing.buffer;
  RegionWords words(packing);
  uint32_t write = wordEnd;  // word index just above the next word written
  do {
    const uint8_t c = buffer[--p];
    if (!IsCodeByte(packing.tables, c)) {
      const uint8_t low = buffer[--p];
      words.Put(--write, static_cast<uint16_t>(low | (c << 8)));
      continue;
    }
    const uint16_t value = values[SlotOf(c)];
    if (value == kRunValue) {
      const uint8_t countByte = buffer[--p];
      const uint32_t count = countByte == 0 ? 256 : countByte;
      for (uint32_t i = 0; i < count; ++i, --write) words.Put(write - 1, words.At(write));
    } else if (value == kEscapeValue) {
      const uint8_t high = buffer[--p];
      const uint8_t low = buffer[--p];
      words.Put(--write, static_cast<uint16_t>(low | (high << 8)));
    } else {
      words.Put(--write, static_cast<uint16_t>(value + packing.base));
    }
  } while (2 * write != p);
}

// The region's last word becomes a dictionary word, taking the next free
// code byte (or, with a full dictionary, the least frequent word's).
void ForceLastWordIntoDictionary(Packing& p) {
  const RegionWords words(p);
  std::vector<uint16_t>& selected = p.tables.selectedWords;
  if (selected.size() == kMaxDictionaryWords) selected.pop_back();
  selected.push_back(words.At(words.Last() - 1));
  AssignCodeBytes(p.tables);
}

}  // namespace

bool RanksBefore(const RankEntry& a, const RankEntry& b) {
  if (a.count != b.count) return a.count > b.count;
  return a.key > b.key;
}

bool IsCodeByte(const Tables& tables, uint8_t byte) {
  const unsigned slot = SlotOf(byte);
  return (tables.codeBitmap[slot / 8] >> (slot % 8)) & 1u;
}

std::optional<uint8_t> CodeByteOf(const Tables& tables, uint16_t value) {
  const std::vector<uint16_t>& values = tables.codeValues;
  const auto found = std::lower_bound(values.begin(), values.end(), value);
  if (found == values.end() || *found != value) return std::nullopt;
  const size_t rank = static_cast<size_t>(found - values.begin());
  return static_cast<uint8_t>(tables.codeKeys[values.size() - 1 - rank] & 0xFF);
}

void CountHighBytes(Packing& p) {
  Tables& t = p.tables;
  const RegionWords words(p);
  t.highByteCount.fill(0);
  for (std::vector<uint8_t>& list : t.lowBytesOf) list.clear();

  uint32_t k = words.First();
  while (k < words.Last()) {
    const uint16_t word = words.At(k);
    t.lowBytesOf[word >> 8].push_back(static_cast<uint8_t>(word & 0xFF));
    ++t.highByteCount[word >> 8];
    // A run of three or more equal words is one token for the encoder.
    const uint32_t following = words.EqualAfter(k);
    k += following >= 2 ? following + 1 : 1;
  }

  for (unsigned h = 0; h < 256; ++h) {
    t.highByteRanking[h] = {t.highByteCount[h], HighByteKey(static_cast<uint8_t>(h))};
  }
  std::sort(t.highByteRanking.begin(), t.highByteRanking.end(), RanksBefore);
}

void CollectCandidates(Packing& p) {
  Tables& t = p.tables;
  t.candidates.clear();
  for (unsigned h = 0; h < 256; ++h) {
    std::array<uint16_t, 256> count{};
    for (uint8_t low : t.lowBytesOf[h]) ++count[low];
    // Distinct low bytes in order of first appearance.
    std::array<bool, 256> seen{};
    for (uint8_t low : t.lowBytesOf[h]) {
      if (seen[low]) continue;
      seen[low] = true;
      if (count[low] >= 2)
        t.candidates.push_back({count[low], static_cast<uint16_t>(h * 256 + low)});
    }
  }
  std::sort(t.candidates.begin(), t.candidates.end(), RanksBefore);
  if (t.candidates.size() > kMaxDictionaryWords) t.candidates.resize(kMaxDictionaryWords);
}

void SelectDictionary(Packing& p) {
  Tables& t = p.tables;
  t.selectedWords.clear();
  // A word earns a code byte only if it occurs at least twice more often
  // than the high byte whose plain words would then need escapes.
  for (size_t i = 0; i < t.candidates.size(); ++i) {
    const uint16_t paired = t.highByteRanking[253 - i].count;
    const auto margin = static_cast<int16_t>(t.candidates[i].count - paired - 1);
    if (margin <= 0) break;
    t.selectedWords.push_back(t.candidates[i].key);
  }
  AssignCodeBytes(t);
}

void ChooseBase(Packing& p) {
  const std::vector<uint16_t>& w = p.tables.dictionary;
  const size_t n = w.size();
  uint16_t above = n == 0 ? 0 : w[0];  // the word just above the widest gap
  if (n > 0) {
    uint16_t best = static_cast<uint16_t>(w[0] - w[n - 1]);  // the gap that wraps around
    for (size_t i = n - 1; i >= 1; --i) {
      const auto gap = static_cast<uint16_t>(w[i] - w[i - 1]);
      if (gap > best) {
        best = gap;
        above = w[i];
      }
    }
  }
  // base and base + 1 lie in the gap, so no word maps to 0 (no code) or 1
  // (run); stepping down also keeps every word off 0x8000 (escape).
  auto candidate = static_cast<uint16_t>(above - 2);
  while (std::binary_search(w.begin(), w.end(), static_cast<uint16_t>(candidate + kEscapeValue))) {
    --candidate;
  }
  p.base = candidate;
}

void AddSpecialValues(Packing& p) {
  Tables& t = p.tables;
  t.codeValues.clear();
  for (uint16_t word : t.dictionary) t.codeValues.push_back(static_cast<uint16_t>(word - p.base));
  t.codeValues.push_back(kRunValue);
  t.codeValues.push_back(kEscapeValue);
  std::sort(t.codeValues.begin(), t.codeValues.end());
  p.dictionarySize = static_cast<uint16_t>(t.codeValues.size());
  p.runCode = CodeByteOf(t, kRunValue).value();
  p.escapeCode = CodeByteOf(t, kEscapeValue).value();
}

void ComputeDeltaParameters(Packing& p) {
  uint16_t maxDelta = 0;
  uint16_t previous = 0;
  for (uint16_t value : p.tables.codeValues) {
    maxDelta = std::max(maxDelta, static_cast<uint16_t>(value - previous));
    previous = value;
  }
  const auto e = static_cast<uint16_t>(256 - maxDelta / 255);
  p.oneByteLimit = e;
  p.oneByteBias = static_cast<uint16_t>(e - 128);
  p.twoByteBias = static_cast<uint16_t>(e * 0xFF01u);

  uint16_t length = 0;
  previous = 0;
  for (uint16_t value : p.tables.codeValues) {
    length = static_cast<uint16_t>(length + (static_cast<uint16_t>(value - previous) <= e ? 1 : 2));
    previous = value;
  }
  p.tableLength = length;
}

void EncodeStream(Packing& p) {
  Bytes& buffer = p.buffer;
  const RegionWords words(p);
  uint32_t out = p.startOffset;
  uint32_t cur = words.First();
  const uint32_t last = words.Last();
  p.rawPrefixEnd = static_cast<uint16_t>(cur);
  const SlotValues values = ValuesBySlot(p.tables);
  // Whenever out equals 2 * cur, everything written so far is the input
  // itself: the plain prefix ends there.
  do {
    const uint16_t word = words.At(cur);
    const uint32_t following = words.EqualAfter(cur);
    const auto value = static_cast<uint16_t>(word - p.base);
    const std::optional<uint8_t> code =
        value == kRunValue || value == kEscapeValue ? std::nullopt : CodeByteOf(p.tables, value);
    if (following >= 2) {
      out = WriteRunGroups(p, out, following);
      cur += following;  // the run's last word is encoded next, on its own
    } else if (code) {
      buffer[out++] = *code;
      ++cur;
    } else if (IsCodeByte(p.tables, static_cast<uint8_t>(word >> 8)) && out != 2 * cur) {
      buffer[out++] = static_cast<uint8_t>(word & 0xFF);
      buffer[out++] = static_cast<uint8_t>(word >> 8);
      buffer[out++] = static_cast<uint8_t>(p.escapeCode);
      ++cur;
      if (out == 2 * cur) {
        // The escape caught up with the input: turn the stream since the
        // last meeting point back into plain words.
        RollBack(p, values, out, cur);
        p.rawPrefixEnd = static_cast<uint16_t>(cur);
      }
      continue;
    } else {
      buffer[out++] = static_cast<uint8_t>(word & 0xFF);
      buffer[out++] = static_cast<uint8_t>(word >> 8);
      ++cur;
    }
    if (out == 2 * cur) p.rawPrefixEnd = static_cast<uint16_t>(cur);
  } while (cur < last);
  p.streamLength = static_cast<uint16_t>(out - p.startOffset);
}

bool RegionStoredPlain(const Packing& p) { return p.rawPrefixEnd == p.endOffset / 2u; }

void EncodeRegion(Packing& p) {
  EncodeStream(p);
  if (!RegionStoredPlain(p)) return;
  // Nothing fell behind the input, so the buffer still holds it unchanged.
  // A stub reading such a stream would never meet its read position and
  // would run on below the region; a dictionary word at the end gives the
  // backward reader a token after which the positions meet.
  ForceLastWordIntoDictionary(p);
  ChooseBase(p);
  AddSpecialValues(p);
  ComputeDeltaParameters(p);
  EncodeStream(p);
}

void WriteDeltaList(Packing& p) {
  uint8_t* list = p.tables.deltaList.data();
  uint16_t previous = 0;
  size_t length = 0;
  for (uint16_t value : p.tables.codeValues) {
    const auto delta = static_cast<uint16_t>(value - previous);
    previous = value;
    if (delta <= p.oneByteLimit) {
      list[length++] = static_cast<uint8_t>(p.oneByteBias - delta);
    } else {
      const auto x = static_cast<uint16_t>(p.twoByteBias - delta);
      list[length++] = static_cast<uint8_t>(x / 256 + p.oneByteBias);
      list[length++] = static_cast<uint8_t>(x % 256);
    }
  }
}

}  // namespace dorvik
