// The detection morva used before the letter-pair statistics, kept for the
// tests only: they run it side by side with the present one to show that
// no text it got right is now got wrong.
//
// It looked at the first bytes of a file until either single-byte test had
// seen 255 distinct letter pairs, and judged the three code pages by how
// many of those pairs a table of the pairs that occur in Russian lacks.
// The Unicode tests before it are those of encoding_detect.h, except that a
// single UTF-8 error ruled UTF-8 out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "files/encoding_detect.h"
#include "files/win_file.h"

namespace previous_detection {

// Letters are numbered 0..31 in alphabetical order а б в ... э ю я, upper
// and lower case alike; ё has no number.
constexpr int kLetterCount = 32;

// Row r, bit c (the most significant bit of the first byte is c = 0): the
// pair "letter r followed by letter c" may occur in Russian text.
// clang-format off
inline constexpr uint8_t LetterPairTable[kLetterCount][4] = {
    {0xFF, 0xFF, 0xFF, 0xC7},  // а
    {0xFE, 0xBE, 0xF7, 0xFB},  // б
    {0xFD, 0xBF, 0xF7, 0xF9},  // в
    {0xFC, 0xBE, 0xF1, 0x80},  // г
    {0xFF, 0xFF, 0xF7, 0xBB},  // д
    {0xFF, 0xFF, 0xFF, 0xCF},  // е
    {0xDE, 0xBF, 0xD1, 0x08},  // ж
    {0xFF, 0xBF, 0xF1, 0xBF},  // з
    {0xFF, 0xFF, 0xFF, 0xC7},  // и
    {0x1D, 0x3F, 0x7F, 0x81},  // й
    {0xA7, 0xB6, 0xF2, 0x82},  // к
    {0xFF, 0xFF, 0x75, 0xDB},  // л
    {0xFC, 0xBF, 0xD7, 0x9D},  // м
    {0xFF, 0xAE, 0xFB, 0xDF},  // н
    {0xFF, 0xFF, 0xFF, 0xC7},  // о
    {0x84, 0xB7, 0xF3, 0x9F},  // п
    {0xFF, 0xFF, 0xFF, 0xDB},  // р
    {0xFF, 0xBF, 0xFF, 0xFF},  // с
    {0xFD, 0xBF, 0xFF, 0xFF},  // т
    {0xFF, 0xFF, 0xE7, 0xC7},  // у
    {0x84, 0x9E, 0xF0, 0x12},  // ф
    {0xBC, 0xBF, 0xF0, 0x84},  // х
    {0xA4, 0xBA, 0x10, 0x10},  // ц
    {0xA4, 0xBE, 0xB8, 0x88},  // ч
    {0xAC, 0xBF, 0xF7, 0x0A},  // ш
    {0x84, 0x86, 0x90, 0x08},  // щ
    {0x04, 0x00, 0x00, 0x03},  // ъ
    {0x7F, 0xFD, 0xF7, 0xC1},  // ы
    {0x7D, 0xAE, 0x6F, 0xCB},  // ь
    {0x15, 0x3D, 0xFC, 0x00},  // э
    {0x7F, 0x7D, 0xE7, 0xC2},  // ю
    {0x7F, 0xFD, 0xF7, 0xC3},  // я
};

// KOI-8 order (ю а б ц д е ф г ...) to alphabetical index.
inline constexpr uint8_t KoiLetterIndex[kLetterCount] = {
    30, 0,  1,  22, 4,  5,  20, 3,  21, 8,  9,  10, 11, 12, 13, 14,
    15, 31, 16, 17, 18, 19, 6,  2,  28, 27, 7,  24, 29, 25, 23, 26,
};
// clang-format on

// Which letter pairs a test has seen already: bit c of row r.
using LetterPairMatrix = std::array<uint32_t, kLetterCount>;

enum LetterPairResult { kPairSeen = 0, kPairRussian = 1, kPairForeign = 2 };

// With mark: kPairSeen if the pair is marked in seen already, otherwise it
// is marked. Then (and always without mark, seen unused) kPairRussian or
// kPairForeign by LetterPairTable.
inline int CheckLetterPair(int first, int second, bool mark, LetterPairMatrix* seen) {
  if (mark) {
    const uint32_t bit = 1u << second;
    if (((*seen)[first] & bit) != 0) return kPairSeen;
    (*seen)[first] |= bit;
  }
  const bool russian = (LetterPairTable[first][second / 8] & (0x80 >> (second % 8))) != 0;
  return russian ? kPairRussian : kPairForeign;
}

// The pass stopped once either single-byte test had this many distinct pairs.
constexpr int kMaxLetterPairs = 255;

struct PairCounts {
  int pairs866 = 0;
  int bad866 = 0;
  int pairs8 = 0;  // shared by the 1251 and KOI8R tests
  int bad1251 = 0;
  int badKoi = 0;
  size_t bytesRead = 0;  // bytes the pass read, the one it stopped at included
};

inline bool Is866Letter(uint8_t b) { return (b >= 0x80 && b <= 0xAF) || (b >= 0xE0 && b <= 0xEF); }
inline int Letter866(uint8_t b) { return (b >= 0xE0 ? b - 0x30 : b) & 0x1F; }

// The pass over the bytes. Its own end-of-file read was processed as a 0.
inline PairCounts CountLetterPairs(const uint8_t* bytes, size_t size) {
  PairCounts c;
  LetterPairMatrix seen866{};
  LetterPairMatrix seen8{};
  uint8_t prev = 0;
  for (size_t i = 0; i <= size; ++i) {
    const uint8_t b = i < size ? bytes[i] : 0;
    if (i < size) ++c.bytesRead;
    if (c.pairs866 >= kMaxLetterPairs || c.pairs8 >= kMaxLetterPairs) break;
    if (Is866Letter(prev) && Is866Letter(b)) {
      const int r = CheckLetterPair(Letter866(prev), Letter866(b), true, &seen866);
      if (r != kPairSeen) ++c.pairs866;
      if (r == kPairForeign) ++c.bad866;
    }
    if (prev >= 0xC0 && b >= 0xC0) {
      const int r = CheckLetterPair(prev & 0x1F, b & 0x1F, true, &seen8);
      if (r != kPairSeen) {
        if (r == kPairForeign) ++c.bad1251;
        const int k =
            CheckLetterPair(KoiLetterIndex[prev & 0x1F], KoiLetterIndex[b & 0x1F], false, nullptr);
        ++c.pairs8;
        if (k == kPairForeign) ++c.badKoi;
      }
    }
    prev = b;
  }
  return c;
}

// score = 256 * (255 - penalty) + pairs, penalty = bad when bad > pairs / 32.
inline int PairScore(int pairs, int bad) {
  const int penalty = bad > pairs / 32 ? bad : 0;
  return 256 * (255 - penalty) + pairs;
}

inline TextFormat ChooseSingleByte(const PairCounts& counts) {
  const int s866 = PairScore(counts.pairs866, counts.bad866);
  const int s1251 = PairScore(counts.pairs8, counts.bad1251);
  const int sKoi = PairScore(counts.pairs8, counts.badKoi);
  if (s866 >= s1251 && s866 >= sKoi) return TextFormat::Oem866;
  if (s1251 >= sKoi) return TextFormat::Win1251;
  return TextFormat::Koi8r;
}

// The whole previous decision: marks of UTF-8 and UTF-16LE, the Unicode
// tests over the bytes the pair pass read, then the pair scores.
inline TextFormat Detect(const uint8_t* bytes, size_t size) {
  if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return TextFormat::Utf16le;
  if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    return TextFormat::Utf8;
  }
  const PairCounts pairs = CountLetterPairs(bytes, size);
  // The pass stopped before processing the byte it had just read.
  const size_t processed = pairs.bytesRead < size ? pairs.bytesRead - 1 : size;
  UnicodeEvidence e = GatherUnicodeEvidence(bytes, processed);
  e.bytes = pairs.bytesRead;
  if (PassesUtf16leCountTest(e)) return TextFormat::Utf16le;
  if (PassesUtf8BalanceTest(e)) return TextFormat::Utf8;
  const UnicodeEvidence shape = GatherUnicodeEvidence(bytes, pairs.bytesRead);
  if (shape.utf8Errors == 0 && shape.utf8Sequences > 0) return TextFormat::Utf8;
  const bool wholeUnits = (pairs.bytesRead & 1) == 0 || pairs.bytesRead == size;
  const uint64_t units = pairs.bytesRead / 2;
  uint64_t lowZeroBytes = 0;
  for (size_t i = 0; i < pairs.bytesRead; i += 2) lowZeroBytes += bytes[i] == 0 ? 1 : 0;
  if (wholeUnits && units > 0 && shape.highTextBytes * 8 >= units * 7 &&
      lowZeroBytes * 16 <= units) {
    return TextFormat::Utf16le;
  }
  return ChooseSingleByte(pairs);
}

inline TextFormat Detect(const std::vector<uint8_t>& bytes) {
  return Detect(bytes.data(), bytes.size());
}

}  // namespace previous_detection
