#include "files/encoding_detect.h"

#include "common/utf8.h"
#include "files/detection_tables.h"

namespace {

// The two count tests of the Unicode forms, in per cent of the bytes: a
// third of them (the high bytes of Cyrillic UTF-16LE units, or the lead
// bytes of Cyrillic UTF-8), and under a tenth of UTF-8 continuation bytes
// for UTF-16LE.
constexpr double kThirdPercent = 33.3;
constexpr double kUtf8ContinuationPercent = 10.0;

bool StartsWith(const uint8_t* bytes, size_t size, const uint8_t* mark, size_t length) {
  if (size < length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] != mark[i]) return false;
  }
  return true;
}

// Follows the well-formedness rules of UTF-8: no overlong forms, no
// surrogates, nothing above U+10FFFF, continuation bytes only where due.
// After a break it starts again at the byte that broke the sequence.
class Utf8Follower {
 public:
  void Next(uint8_t b, UnicodeEvidence* e) {
    if (m_expected > 0) {
      if (b >= m_low && b <= m_high) {
        m_low = 0x80;
        m_high = 0xBF;
        if (--m_expected == 0) ++e->utf8Sequences;
        return;
      }
      ++e->utf8Errors;  // the sequence ends too early
      m_expected = 0;
      m_low = 0x80;
      m_high = 0xBF;
    }
    if (b < 0x80) return;
    const Utf8Lead lead = ClassifyUtf8Lead(b);
    if (lead.length == 0) {
      ++e->utf8Errors;  // stray continuation byte, C0, C1, F5..FF
      return;
    }
    m_expected = lead.length - 1;
    m_low = lead.low;
    m_high = lead.high;
  }

 private:
  int m_expected = 0;    // continuation bytes still due
  uint8_t m_low = 0x80;  // range of the next continuation byte
  uint8_t m_high = 0xBF;
};

// ASCII reads the same in every code page.
ByteClass AsciiClass(uint8_t b) {
  const bool letter = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
  return {letter ? kLatinSymbol : kBoundarySymbol, kNoCase, 0};
}

int64_t PageCost(const ByteClass* page, const uint8_t* bytes, size_t size) {
  int64_t total = 0;
  uint8_t previousSymbol = kBoundarySymbol;
  int previousByte = -1;
  CaseState state = kAfterNonLetter;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = bytes[i];
    const ByteClass c = b < 0x80 ? AsciiClass(b) : page[b - 0x80];
    total += PairCost[previousSymbol][c.symbol];
    if (c.letterCase == kNoCase) {
      state = kAfterNonLetter;
      total += c.symbol == kBoxSymbol && b == previousByte ? BoxRepeatCost : c.cost;
    } else {
      const bool capital = c.letterCase == kCapitalLetter;
      total += CaseCost[state][capital ? 1 : 0];
      if (!capital) {
        state = kAfterSmall;
      } else {
        state = state == kAfterNonLetter ? kAfterFirstCapital : kAfterCapitals;
      }
    }
    previousSymbol = c.symbol;
    previousByte = b;
  }
  return total;
}

// Where standard KOI8-R and the BK's set differ (see ChooseKoi8Set).
constexpr uint8_t kKoi8rFirstPseudoGraphics = 0xA0;  // 0x80..0x9F: nothing on the BK
constexpr uint8_t kKoi8rSmallYo = 0xA3;              // ┐ on the BK
constexpr uint8_t kKoi8rCapitalYo = 0xB3;            // ↑ on the BK
constexpr uint8_t kKoi8FirstLetter = 0xC0;           // the letters, the same in both

// The bytes that BK editor texts hold and PC texts do not: Edasp line
// ends, Vortex soft line ends and space codes (see kBkCodeCost).
constexpr uint8_t kLastBkCode = 0x07;
// What pads a file to whole blocks after its end: zero bytes, or the end
// byte 0x1A of the BK's and DOS's texts.
bool IsPadding(uint8_t b) { return b == 0x00 || b == 0x1A; }

int64_t CountBkCodes(const uint8_t* bytes, size_t size) {
  size_t end = size;
  while (end > 0 && IsPadding(bytes[end - 1])) --end;
  int64_t count = 0;
  for (size_t i = 0; i < end; ++i) {
    if (bytes[i] <= kLastBkCode) ++count;
  }
  return count;
}

}  // namespace

DetectedEncoding FindByteOrderMark(const uint8_t* bytes, size_t size) {
  if (StartsWith(bytes, size, kUtf8ByteOrderMark, sizeof kUtf8ByteOrderMark)) {
    return {TextFormat::Utf8, sizeof kUtf8ByteOrderMark};
  }
  if (StartsWith(bytes, size, kUtf16leByteOrderMark, sizeof kUtf16leByteOrderMark)) {
    return {TextFormat::Utf16le, sizeof kUtf16leByteOrderMark};
  }
  if (StartsWith(bytes, size, kUtf16beByteOrderMark, sizeof kUtf16beByteOrderMark)) {
    return {TextFormat::Utf16be, sizeof kUtf16beByteOrderMark};
  }
  return {};
}

UnicodeEvidence GatherUnicodeEvidence(const uint8_t* bytes, size_t size) {
  UnicodeEvidence e;
  e.bytes = size;
  Utf8Follower utf8;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = bytes[i];
    if (b == 0x04) {
      ++e.count04;
    } else if (b == 0xD0) {
      ++e.countD0;
    } else if (b == 0xD1) {
      ++e.countD1;
    } else if (b >= 0x80 && b <= 0x9F) {
      ++e.count80to9F;
    } else if (b >= 0xB0 && b <= 0xCF) {
      ++e.countB0toCF;
    }
    if ((i & 1) == 0) {
      // U+2500, the frame line of box drawing, is the one unit with a low
      // zero byte that texts hold in numbers.
      if (b == 0x00 && (i + 1 >= size || bytes[i + 1] != 0x25)) ++e.lowZeroBytes;
    } else if (b == 0x00 || b == 0x04) {
      ++e.highTextBytes;
    } else if (b == 0x20 || b == 0x21 || b == 0x22 || b == 0x25) {
      ++e.highSignBytes;
    }
    utf8.Next(b, &e);
  }
  // A sequence that the end of the bytes cut off counts neither way.
  return e;
}

bool PassesUtf16leCountTest(const UnicodeEvidence& e) {
  const double one = static_cast<double>(e.bytes) / 100.0;
  const double third = one * kThirdPercent;
  return static_cast<double>(e.count04) >= third &&
         one * kUtf8ContinuationPercent > static_cast<double>(e.count80to9F + e.countB0toCF);
}

bool PassesUtf8BalanceTest(const UnicodeEvidence& e) {
  const double one = static_cast<double>(e.bytes) / 100.0;
  const double third = one * kThirdPercent;
  const double d0 = static_cast<double>(e.countD0);
  const double d1 = static_cast<double>(e.countD1);
  const double low = static_cast<double>(e.count80to9F);
  const double high = static_cast<double>(e.countB0toCF);
  return d0 + d1 >= third && (d1 > low ? d1 - low : low - d1) < one &&
         (d0 > high ? d0 - high : high - d0) < one;
}

// At least one well-formed multi-byte sequence, and errors no more than one
// per kUtf8SequencesPerError of them. A Cyrillic letter in a single-byte
// code page is a lone byte >= 0x80, which UTF-8 allows only as the right
// lead byte followed by the right number of continuation bytes; two letters
// in a row (or a letter before a space) break that.
bool LooksLikeUtf8(const UnicodeEvidence& e) {
  return e.utf8Sequences > 0 && e.utf8Errors * kUtf8SequencesPerError <= e.utf8Sequences;
}

// Little-endian 16-bit text: at least 7/8 of the high bytes those of text
// (0x00 or 0x04 for Latin and Cyrillic letters, digits and punctuation;
// 0x20, 0x21, 0x22 or 0x25 for typographic signs, arrows and box drawing),
// at least 1/4 of them 0x00 or 0x04, and at most 1/16 of the low bytes 0x00.
//
// Why these thresholds: typographic signs are a few per cent even of a
// carefully typeset text, so 7/8 leaves room for a short note with one
// other sign in eight characters, and a DOS screen drawn with frames still
// has its spaces and letters. A low byte 0x00 means U+0000, U+0100, U+0400
// or U+2000 (U+2500 is not counted), which text hardly ever holds, so 1/16
// is generous for text but
// turns away binary data full of zero words. Single-byte text holds no 0x00
// and no 0x04 at all, and a BK text far fewer than a quarter.
bool LooksLikeUtf16le(const UnicodeEvidence& e) {
  const uint64_t units = e.bytes / 2;
  if (units == 0) return false;
  return (e.highTextBytes + e.highSignBytes) * 8 >= units * 7 && e.highTextBytes * 4 >= units &&
         e.lowZeroBytes * 16 <= units;
}

CodePageCosts ScoreCodePages(const uint8_t* bytes, size_t size) {
  CodePageCosts costs{};
  for (int page = 0; page < kDetectedPages; ++page) {
    costs[page] = PageCost(CodePageBytes[page], bytes, size);
  }
  const int64_t bk = CountBkCodes(bytes, size) * kBkCodeCost;
  costs[kPage866] += bk;
  costs[kPage1251] += bk;
  return costs;
}

TextFormat ChooseCodePage(const CodePageCosts& costs) {
  if (costs[kPage866] <= costs[kPage1251] && costs[kPage866] <= costs[kPageKoi8r]) {
    return TextFormat::Oem866;
  }
  return costs[kPage1251] <= costs[kPageKoi8r] ? TextFormat::Win1251 : TextFormat::Koi8r;
}

TextFormat ChooseKoi8Set(const uint8_t* bytes, size_t size) {
  size_t standard = 0;
  size_t bk = 0;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = bytes[i];
    if (b >= 0x80 && b < kKoi8rFirstPseudoGraphics) {
      ++standard;  // nothing on the BK
    } else if (b == kKoi8rSmallYo || b == kKoi8rCapitalYo) {
      const bool letterBefore = i > 0 && bytes[i - 1] >= kKoi8FirstLetter;
      const bool letterAfter = i + 1 < size && bytes[i + 1] >= kKoi8FirstLetter;
      ++(letterBefore || letterAfter ? standard : bk);
    }
  }
  return standard > bk ? TextFormat::Koi8rStandard : TextFormat::Koi8r;
}

DetectedEncoding DetectTextEncoding(const uint8_t* bytes, size_t size, DetectionScope scope) {
  const DetectedEncoding mark = FindByteOrderMark(bytes, size);
  if (mark.format != TextFormat::Auto) return mark;
  const UnicodeEvidence evidence = GatherUnicodeEvidence(bytes, size);
  if (PassesUtf16leCountTest(evidence)) return {TextFormat::Utf16le, 0};
  if (PassesUtf8BalanceTest(evidence)) return {TextFormat::Utf8, 0};
  // The two tests above miss UTF-8 text with capital letters (their
  // continuation bytes 0x90..0x9F upset the balance) and UTF-16LE text with
  // few Cyrillic letters; the shape of the bytes catches both.
  if (LooksLikeUtf8(evidence)) return {TextFormat::Utf8, 0};
  if (LooksLikeUtf16le(evidence)) return {TextFormat::Utf16le, 0};
  // Declared Unicode but neither form fits well: UTF-16LE when at least
  // half of the high bytes are those of text, otherwise UTF-8, where every
  // byte that does not fit becomes U+FFFD and nothing else is lost.
  if (scope == DetectionScope::UnicodeOnly) {
    const uint64_t units = evidence.bytes / 2;
    const bool halfText = units > 0 && evidence.highTextBytes * 2 >= units;
    return {halfText ? TextFormat::Utf16le : TextFormat::Utf8, 0};
  }
  const TextFormat page = ChooseCodePage(ScoreCodePages(bytes, size));
  return {page == TextFormat::Koi8r ? ChooseKoi8Set(bytes, size) : page, 0};
}
