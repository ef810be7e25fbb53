#include "common/bk_charset.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// The BK letters 0xC0..0xFF in the KOI-8 order, written out by hand.
const std::u16string kBkLetters =
    u"юабцдефгхийклмнопярстужвьызшэщчъ"
    u"ЮАБЦДЕФГХИЙКЛМНОПЯРСТУЖВЬЫЗШЭЩЧЪ";
const std::u16string kBkSymbols =
    u"¶┴♥┐╡├└═╤♠┌┬╨↓┼║┤←╬↑♣─╫│♦┘╪╥╧╞→▓";

TEST(BkCharTableTest, UpperHalfHoldsTheBkSymbolsAndKoi8Letters) {
  for (int b = 0x80; b <= 0x9F; ++b) EXPECT_EQ(BkToUnicode(static_cast<uint8_t>(b)), u' ') << b;
  for (int b = 0xA0; b <= 0xBF; ++b) EXPECT_EQ(BkToUnicode(static_cast<uint8_t>(b)), kBkSymbols[b - 0xA0]) << b;
  for (int b = 0xC0; b <= 0xFF; ++b) EXPECT_EQ(BkToUnicode(static_cast<uint8_t>(b)), kBkLetters[b - 0xC0]) << b;
}

TEST(BkCharTableTest, SymbolsAndLettersAreDistinctAndNotAscii) {
  std::set<char16_t> seen;
  for (int i = 0x20; i < 0x80; ++i) {
    EXPECT_GE(BkCharTable[i], 0x80) << i;
    EXPECT_TRUE(seen.insert(BkCharTable[i]).second) << i;
  }
  EXPECT_EQ(seen.count(u'ё'), 0u);
  EXPECT_EQ(seen.count(u'Ё'), 0u);
}

TEST(BkCharTableTest, LowerHalfReadsAsItselfExceptDelete) {
  EXPECT_EQ(BkToUnicode(0x00), 0);
  for (int b = 0x01; b <= 0x7E; ++b) EXPECT_EQ(BkToUnicode(static_cast<uint8_t>(b)), b);
  EXPECT_EQ(BkToUnicode(0x7F), 0x25A0);
}

TEST(BkCharTableTest, PrintableBytesSurviveARoundTrip) {
  for (int b = 0x20; b <= 0xFF; ++b) {
    if (b >= 0x80 && b <= 0x9F) continue;
    EXPECT_EQ(UnicodeToBk(BkToUnicode(static_cast<uint8_t>(b))), b) << b;
  }
}

TEST(BkCharTableTest, BytesWithoutACharacterNeverComeBack) {
  // 0x80..0x9F read as spaces and a space is written as 0x20.
  EXPECT_EQ(UnicodeToBk(BkToUnicode(0x85)), 0x20);
  for (int c = 0; c <= 0xFFFF; ++c) {
    const uint8_t b = UnicodeToBk(static_cast<char16_t>(c));
    ASSERT_FALSE(b >= 0x80 && b <= 0x9F) << c;
  }
}

TEST(ControlCharTableTest, ControlCodesBecomeTheirLookAlikes) {
  // Code point -> BK byte, for all 32 control codes.
  const uint8_t expected[32] = {
      0x0A, 0x7F, 0x7F, 0xA2, 0xB8, 0xB4, 0xA9, 0x2E, 0x7F, 0x09, 0x0A,
      0x2B, 0x2B, 0x00, 0x7F, 0x24, 0xBE, 0xB1, 0xB3, 0x21, 0xA0, 0x24,
      0x5F, 0xB3, 0xB3, 0xAD, 0xBE, 0xB1, 0x5F, 0xB5, 0xB3, 0xAD};
  for (int c = 0; c < 32; ++c) EXPECT_EQ(UnicodeToBk(static_cast<char16_t>(c)), expected[c]) << c;
  // The look-alikes: ♥ ♦ ♣ ♠ for 3..6, arrows for 0x10..0x12 and 0x18..0x1B.
  EXPECT_EQ(BkToUnicode(UnicodeToBk(0x03)), u'♥');
  EXPECT_EQ(BkToUnicode(UnicodeToBk(0x06)), u'♠');
  EXPECT_EQ(BkToUnicode(UnicodeToBk(0x10)), u'→');
  EXPECT_EQ(BkToUnicode(UnicodeToBk(0x19)), u'↓');
  EXPECT_EQ(BkToUnicode(UnicodeToBk(0x14)), u'¶');
}

TEST(UnicodeToBkTest, EdgeCases) {
  EXPECT_EQ(UnicodeToBk(0x25A0), 0x7F);
  EXPECT_EQ(UnicodeToBk(0x007F), 0x20);
  EXPECT_EQ(UnicodeToBk(0x0020), 0x20);
  EXPECT_EQ(UnicodeToBk(u'ё'), 0xC5);
  EXPECT_EQ(UnicodeToBk(u'е'), 0xC5);
  EXPECT_EQ(UnicodeToBk(u'Ё'), 0xE5);
  EXPECT_EQ(UnicodeToBk(0x000D), 0x00);
  EXPECT_EQ(UnicodeToBk(0x0000), 0x0A);
  EXPECT_EQ(UnicodeToBk(0x0009), 0x09);
  EXPECT_EQ(UnicodeToBk(0x001A), 0xBE);
  EXPECT_EQ(UnicodeToBk(0x00A9), 0x20);  // KOI8-R's 0xBF
  EXPECT_EQ(UnicodeToBk(0x00A0), 0x20);
  EXPECT_EQ(UnicodeToBk(0x20AC), 0x20);
  EXPECT_EQ(UnicodeToBk(0xD83D), 0x20);  // half of a surrogate pair
}

}  // namespace
