// Deciding which PC encoding a text is in, from its first bytes alone.
//
// The decision is a pure function of the bytes: the file class reads them
// and reports the result. In the order tried:
//   1. a byte-order mark (UTF-8, UTF-16LE, UTF-16BE) decides at once;
//   2. the Unicode tests: a third of the bytes 0x04 (the high byte of
//      Cyrillic UTF-16LE units), a balanced third of Cyrillic UTF-8 lead and
//      continuation bytes, UTF-8 whose multi-byte sequences are nearly all
//      well-formed, bytes with the shape of little-endian 16-bit text;
//   3. otherwise the text is scored under each of the three Cyrillic code
//      pages (866, 1251, KOI-8) with the letter-pair statistics of
//      detection_tables.h, and the most likely one wins;
//   4. a KOI-8 text is standard KOI8-R or the BK's own set by the bytes
//      0x80..0xBF, where the two differ (ChooseKoi8Set); a text without
//      them reads the same in both and is taken for the BK's set.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "files/text_format.h"

// The detection looks at no more than the first 64 KiB of a file: enough
// for every statistic to settle, and a file of any size costs the same.
constexpr size_t kDetectionPrefix = 64 * 1024;

// Which encodings the decision may choose from: all five, or (for an input
// that was declared Unicode) UTF-8 and UTF-16 only.
enum class DetectionScope { AnyEncoding, UnicodeOnly };

struct DetectedEncoding {
  TextFormat format = TextFormat::Auto;
  size_t byteOrderMark = 0;  // length of the byte-order mark the bytes start with
};

// The whole decision over the first bytes of a file (at most
// kDetectionPrefix of them; an odd count means that the file ends there).
// Never Auto: an empty or plain ASCII text is taken for code page 866.
DetectedEncoding DetectTextEncoding(const uint8_t* bytes, size_t size, DetectionScope scope);

// UTF-8 (EF BB BF), UTF-16LE (FF FE) or UTF-16BE (FE FF); Auto and 0 when
// the bytes start with none of them.
DetectedEncoding FindByteOrderMark(const uint8_t* bytes, size_t size);

// What the Unicode tests count in one pass over the bytes.
struct UnicodeEvidence {
  uint64_t bytes = 0;
  uint64_t count04 = 0;        // 0x04: high byte of Cyrillic UTF-16 units
  uint64_t countD0 = 0;        // UTF-8 lead byte of А..П, Р..Я, а..п
  uint64_t countD1 = 0;        // UTF-8 lead byte of р..я
  uint64_t count80to9F = 0;    // continuation bytes after 0xD1 (and of А..П)
  uint64_t countB0toCF = 0;    // continuation bytes after 0xD0 for а..п
  uint64_t utf8Sequences = 0;  // well-formed multi-byte UTF-8 sequences
  uint64_t utf8Errors = 0;     // bytes that break the UTF-8 rules
  uint64_t highTextBytes = 0;  // odd offsets holding 0x00 or 0x04
  uint64_t highSignBytes = 0;  // odd offsets holding 0x20, 0x21, 0x22 or 0x25
  uint64_t lowZeroBytes = 0;   // even offsets holding 0x00, but not of U+2500
};

UnicodeEvidence GatherUnicodeEvidence(const uint8_t* bytes, size_t size);

// The Unicode tests, each on its own, in the order they are tried.
bool PassesUtf16leCountTest(const UnicodeEvidence& evidence);
bool PassesUtf8BalanceTest(const UnicodeEvidence& evidence);
bool LooksLikeUtf8(const UnicodeEvidence& evidence);
bool LooksLikeUtf16le(const UnicodeEvidence& evidence);

// At most one UTF-8 error per this many well-formed sequences: stray bytes
// in a UTF-8 text (a cut-and-paste from elsewhere, a damaged sector) do not
// make it a code-page text. Text in a single-byte code page breaks the rules
// at least every other letter and never comes near.
constexpr uint64_t kUtf8SequencesPerError = 16;

// The cost of the bytes read as each code page (the sum of the statistics'
// costs; lower is more likely), indexed by DetectedPage.
using CodePageCosts = std::array<int64_t, 3>;

CodePageCosts ScoreCodePages(const uint8_t* bytes, size_t size);

// The cheapest code page; ties go to 866, then to 1251, so that a text
// without Cyrillic letters is taken for 866.
TextFormat ChooseCodePage(const CodePageCosts& costs);

// For a text found to be KOI-8: standard KOI8-R (Koi8rStandard) or the BK's
// set (Koi8r). Bytes 0x80..0x9F, which are box drawing and signs in KOI8-R
// and nothing on the BK, speak for KOI8-R; so do 0xA3 and 0xB3 next to a
// letter (ё and Ё inside a word), while elsewhere they speak for the BK,
// whose ┐ and ↑ they are (a frame's corner, an arrow). The other bytes are
// box drawing or signs in both and count for neither. KOI8-R only when its
// bytes outnumber the BK's: a text without them is the BK's set.
TextFormat ChooseKoi8Set(const uint8_t* bytes, size_t size);

// Bytes 0x00..0x07 count this much against 866 and 1251 each: BK editor
// texts hold them (Edasp line ends, Vortex soft line ends and space codes),
// PC texts do not. One such byte weighs about as much as one letter, so a BK
// text with few letters still comes out as KOI8R, while a PC text needs many
// of them to be swayed. Zero and 0x1A bytes at the very end are padding and
// do not count.
constexpr int64_t kBkCodeCost = 32;
