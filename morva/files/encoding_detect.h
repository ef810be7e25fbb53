// Deciding which PC encoding a text file without a byte-order mark is in.
//
// One pass over the first bytes of the file gathers byte counts for the two
// Unicode forms and, for the three single-byte Cyrillic code pages (866,
// 1251, KOI8R), the distinct two-letter combinations the text would contain
// under each, checked against the letter pairs that occur in Russian. The
// pass also follows whether the bytes form well-formed UTF-8 and whether
// they have the shape of little-endian 16-bit text.
#pragma once

#include <array>
#include <cstdint>

#include "files/win_file.h"

// Letters are numbered 0..31 in alphabetical order а б в ... э ю я, upper
// and lower case alike; ё has no number.
constexpr int kLetterCount = 32;

// Row r, bit c (the most significant bit of the first byte is c = 0): the
// pair "letter r followed by letter c" may occur in Russian text.
extern const uint8_t LetterPairTable[kLetterCount][4];

// KOI-8 order (ю а б ц д е ф г ...) to alphabetical index.
extern const uint8_t KoiLetterIndex[kLetterCount];

// Which letter pairs a test has seen already: bit c of row r.
using LetterPairMatrix = std::array<uint32_t, kLetterCount>;

enum LetterPairResult { kPairSeen = 0, kPairRussian = 1, kPairForeign = 2 };

// With mark: kPairSeen if the pair is marked in seen already, otherwise it
// is marked. Then (and always without mark, seen unused) kPairRussian or
// kPairForeign by LetterPairTable.
int CheckLetterPair(int first, int second, bool mark, LetterPairMatrix* seen);

// The pass stops once either single-byte test has this many distinct pairs.
constexpr int kMaxLetterPairs = 255;

// Counters of the statistical pass.
struct DetectionCounts {
  double count04 = 0;      // 0x04: high byte of Cyrillic UTF-16 units
  double countD0 = 0;      // UTF-8 lead byte of А..П, Р..Я, а..п
  double countD1 = 0;      // UTF-8 lead byte of р..я
  double count80to9F = 0;  // continuation bytes after 0xD1 (and of А..П)
  double countB0toCF = 0;  // continuation bytes after 0xD0 for а..п
  int pairs866 = 0;
  int bad866 = 0;
  int pairs8 = 0;  // shared by the 1251 and KOI8R tests
  int bad1251 = 0;
  int badKoi = 0;
};

// The shape of the bytes read, for the files that the counters above miss:
// UTF-8 whose capital letters upset the balance test, and UTF-16LE text
// with few Cyrillic letters.
struct TextShape {
  uint64_t bytes = 0;         // bytes read
  bool reachedEnd = false;    // the pass read up to the end of the file
  bool utf8Broken = false;    // a byte broke the UTF-8 rules
  uint64_t utf8Sequences = 0; // complete multi-byte UTF-8 sequences
  int utf8Expected = 0;       // continuation bytes still due
  uint8_t utf8Low = 0x80;     // range of the next continuation byte
  uint8_t utf8High = 0xBF;
  uint64_t highTextBytes = 0; // odd offsets holding 0x00 or 0x04
  uint64_t lowZeroBytes = 0;  // even offsets holding 0x00
};

class EncodingStatistics {
 public:
  // Every byte the pass read, processed or not.
  void NoteRead(uint8_t b);
  // The pass stops before processing a byte once this is true.
  bool IsFull() const;
  // Byte counters and letter-pair tests for one byte (the pass's own
  // end-of-file read gives a 0 here, which changes nothing but the
  // previous byte).
  void Process(uint8_t b);
  void NoteEnd() { m_shape.reachedEnd = true; }

  const DetectionCounts& Counts() const { return m_counts; }
  const TextShape& Shape() const { return m_shape; }

 private:
  void NoteUtf8(uint8_t b);

  DetectionCounts m_counts;
  TextShape m_shape;
  uint8_t m_previous = 0;
  LetterPairMatrix m_seen866{};
  LetterPairMatrix m_seen8{};
};

// The tests of the decision, each on its own, in the order they are tried.
bool PassesUtf16leCountTest(const DetectionCounts& counts, uint64_t bytesRead);
bool PassesUtf8BalanceTest(const DetectionCounts& counts, uint64_t bytesRead);
bool LooksLikeUtf8(const TextShape& shape);
bool LooksLikeUtf16le(const TextShape& shape);
// score = 256 * (255 - penalty) + pairs, penalty = bad when bad > pairs / 32.
int PairScore(int pairs, int bad);
TextFormat ChooseSingleByte(const DetectionCounts& counts);

// The whole decision; bytesRead is the CWinFile's m_bytesRead.
TextFormat DecideEncoding(const DetectionCounts& counts, const TextShape& shape,
                          uint64_t bytesRead);
