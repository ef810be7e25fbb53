#include "files/encoding_detect.h"

#include <cmath>

#include "front/platform.h"

const uint8_t LetterPairTable[kLetterCount][4] = {
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

const uint8_t KoiLetterIndex[kLetterCount] = {
    30, 0,  1,  22, 4,  5,  20, 3,  21, 8,  9,  10, 11, 12, 13, 14,
    15, 31, 16, 17, 18, 19, 6,  2,  28, 27, 7,  24, 29, 25, 23, 26,
};

namespace {

bool Is866Letter(uint8_t b) { return (b >= 0x80 && b <= 0xAF) || (b >= 0xE0 && b <= 0xEF); }

int Letter866(uint8_t b) { return (b >= 0xE0 ? b - 0x30 : b) & 0x1F; }

// A Cyrillic letter in 1251 and in KOI8R alike.
bool IsUpperHalfLetter(uint8_t b) { return b >= 0xC0; }

}  // namespace

int CheckLetterPair(int first, int second, bool mark, LetterPairMatrix* seen) {
  if (mark) {
    const uint32_t bit = 1u << second;
    if (((*seen)[first] & bit) != 0) return kPairSeen;
    (*seen)[first] |= bit;
  }
  const bool russian = (LetterPairTable[first][second / 8] & (0x80 >> (second % 8))) != 0;
  return russian ? kPairRussian : kPairForeign;
}

void EncodingStatistics::NoteRead(uint8_t b) {
  if ((m_shape.bytes & 1) == 0) {
    if (b == 0x00) ++m_shape.lowZeroBytes;
  } else if (b == 0x00 || b == 0x04) {
    ++m_shape.highTextBytes;
  }
  ++m_shape.bytes;
  NoteUtf8(b);
}

// Follows the well-formedness rules of UTF-8: no overlong forms, no
// surrogates, nothing above U+10FFFF, continuation bytes only where due.
void EncodingStatistics::NoteUtf8(uint8_t b) {
  TextShape& s = m_shape;
  if (s.utf8Broken) return;
  if (s.utf8Expected > 0) {
    if (b < s.utf8Low || b > s.utf8High) {
      s.utf8Broken = true;
      return;
    }
    s.utf8Low = 0x80;
    s.utf8High = 0xBF;
    if (--s.utf8Expected == 0) ++s.utf8Sequences;
    return;
  }
  if (b < 0x80) return;
  if (b >= 0xC2 && b <= 0xDF) {
    s.utf8Expected = 1;
  } else if (b >= 0xE0 && b <= 0xEF) {
    s.utf8Expected = 2;
    if (b == 0xE0) s.utf8Low = 0xA0;   // below: overlong
    if (b == 0xED) s.utf8High = 0x9F;  // above: surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    s.utf8Expected = 3;
    if (b == 0xF0) s.utf8Low = 0x90;   // below: overlong
    if (b == 0xF4) s.utf8High = 0x8F;  // above: beyond U+10FFFF
  } else {
    s.utf8Broken = true;  // stray continuation byte, C0, C1, F5..FF
  }
}

bool EncodingStatistics::IsFull() const {
  return m_counts.pairs866 >= kMaxLetterPairs || m_counts.pairs8 >= kMaxLetterPairs;
}

void EncodingStatistics::Process(uint8_t b) {
  DetectionCounts& c = m_counts;
  if (b == 0x04) {
    c.count04 += 1;
  } else if (b == 0xD0) {
    c.countD0 += 1;
  } else if (b == 0xD1) {
    c.countD1 += 1;
  } else if (b >= 0x80 && b <= 0x9F) {
    c.count80to9F += 1;
  } else if (b >= 0xB0 && b <= 0xCF) {
    c.countB0toCF += 1;
  }

  const uint8_t prev = m_previous;
  if (Is866Letter(prev) && Is866Letter(b)) {
    const int r = CheckLetterPair(Letter866(prev), Letter866(b), true, &m_seen866);
    if (r != kPairSeen) ++c.pairs866;
    if (r == kPairForeign) ++c.bad866;
  }
  if (IsUpperHalfLetter(prev) && IsUpperHalfLetter(b)) {
    const int r = CheckLetterPair(prev & 0x1F, b & 0x1F, true, &m_seen8);
    if (r != kPairSeen) {
      if (r == kPairForeign) ++c.bad1251;
      const int k = CheckLetterPair(KoiLetterIndex[prev & 0x1F], KoiLetterIndex[b & 0x1F],
                                    false, nullptr);
      ++c.pairs8;
      if (k == kPairForeign) ++c.badKoi;
    }
  }
  m_previous = b;
}

bool PassesUtf16leCountTest(const DetectionCounts& counts, uint64_t bytesRead) {
  const double total = static_cast<double>(bytesRead);
  const double one = total / 100.0;
  const double third = one * 33.3;
  return counts.count04 >= third && one * 10.0 > counts.count80to9F + counts.countB0toCF;
}

bool PassesUtf8BalanceTest(const DetectionCounts& counts, uint64_t bytesRead) {
  const double total = static_cast<double>(bytesRead);
  const double one = total / 100.0;
  const double third = one * 33.3;
  return counts.countD0 + counts.countD1 >= third &&
         std::fabs(counts.countD1 - counts.count80to9F) < one &&
         std::fabs(counts.countD0 - counts.countB0toCF) < one;
}

// Well-formed UTF-8 with at least one multi-byte sequence. A sequence that
// the stop of the pass or the end of the file cut off does not count
// against it. Real text in the single-byte code pages practically never
// passes: a Cyrillic letter there is a lone byte >= 0x80, which UTF-8 allows
// only as the right lead byte followed by the right number of continuation
// bytes, and two letters in a row (or a letter before a space) break that.
bool LooksLikeUtf8(const TextShape& shape) {
  return !shape.utf8Broken && shape.utf8Sequences > 0;
}

// Little-endian 16-bit text: whole units (one odd byte allowed only at the
// end of the file), at least 7/8 of the high bytes 0x00 or 0x04, at most
// 1/16 of the low bytes 0x00.
//
// Why these thresholds: in UTF-16LE text of Latin and Cyrillic letters,
// digits and punctuation every high byte is 0x00 or 0x04; only typographic
// signs (dashes, quotes, ellipsis, №) have others, a few per cent even in
// carefully typeset text, so 7/8 leaves room for a short note with one dash
// in eight characters. A low byte 0x00 means U+0000, U+0100, U+0400 or
// U+2000, which text hardly ever holds, so 1/16 is generous for text but
// turns away binary data full of zero words. Single-byte text, on the other
// hand, holds no 0x00 and no 0x04 at all: it can never have half of its
// bytes so.
bool LooksLikeUtf16le(const TextShape& shape) {
  if ((shape.bytes & 1) != 0 && !shape.reachedEnd) return false;
  const uint64_t units = shape.bytes / 2;
  if (units == 0) return false;
  return shape.highTextBytes * 8 >= units * 7 && shape.lowZeroBytes * 16 <= units;
}

int PairScore(int pairs, int bad) {
  const int penalty = bad > pairs / 32 ? bad : 0;
  return 256 * (255 - penalty) + pairs;
}

TextFormat ChooseSingleByte(const DetectionCounts& counts) {
  const int s866 = PairScore(counts.pairs866, counts.bad866);
  const int s1251 = PairScore(counts.pairs8, counts.bad1251);
  const int sKoi = PairScore(counts.pairs8, counts.badKoi);
  if (s866 >= s1251 && s866 >= sKoi) return TextFormat::Oem866;
  if (s1251 >= sKoi) return TextFormat::Win1251;
  return TextFormat::Koi8r;
}

TextFormat DecideEncoding(const DetectionCounts& counts, const TextShape& shape,
                          uint64_t bytesRead) {
  if (PassesUtf16leCountTest(counts, bytesRead)) return TextFormat::Utf16le;
  if (PassesUtf8BalanceTest(counts, bytesRead)) return TextFormat::Utf8;
  // The two tests above miss UTF-8 text with capital letters (their
  // continuation bytes 0x90..0x9F upset the balance) and UTF-16LE text with
  // few Cyrillic letters; the shape of the bytes catches both.
  if (LooksLikeUtf8(shape)) return TextFormat::Utf8;
  if (LooksLikeUtf16le(shape)) return TextFormat::Utf16le;
  return ChooseSingleByte(counts);
}

int CWinFile::ReadDetectByte() {
  // The stream's end (or error) indicator is set exactly when a read gives
  // EOF; remembering that spares a query of the indicator per byte.
  if (m_detectAtEnd) return -1;
  const int b = std::getc(m_file);
  if (b == EOF) {
    m_detectAtEnd = true;
    return 0;
  }
  ++m_bytesRead;
  return b;
}

TextFormat CWinFile::DetectEncoding() {
  CBaseFile::Close();
  m_file = OpenFile(m_fileName, "rb");
  if (m_file == nullptr) return TextFormat::Auto;

  uint8_t head[3] = {0, 0, 0};
  const size_t got = std::fread(head, 1, sizeof head, m_file);
  TextFormat result = TextFormat::Auto;
  if (got >= 2 && head[0] == 0xFF && head[1] == 0xFE) {
    result = TextFormat::Utf16le;
  } else if (got == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
    result = TextFormat::Utf8;
  } else {
    std::fseek(m_file, 0, SEEK_SET);
    m_bytesRead = 0;
    m_detectAtEnd = false;
    EncodingStatistics statistics;
    for (;;) {
      const uint64_t before = m_bytesRead;
      const int b = ReadDetectByte();
      if (b < 0) {
        statistics.NoteEnd();
        break;
      }
      if (m_bytesRead != before) statistics.NoteRead(static_cast<uint8_t>(b));
      if (statistics.IsFull()) break;
      statistics.Process(static_cast<uint8_t>(b));
    }
    result = DecideEncoding(statistics.Counts(), statistics.Shape(), m_bytesRead);
  }
  CBaseFile::Close();
  return result;
}
