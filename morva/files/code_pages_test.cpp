#include "files/code_pages.h"
#include "files/text_format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

char16_t Decode(TextFormat page, int b) {
  return FindPcEncoding(page)->Decode(static_cast<uint8_t>(b));
}
uint8_t Encode(TextFormat page, char16_t c) {
  bool substitute = false;
  const uint8_t b = FindPcEncoding(page)->encode(c, &substitute);
  EXPECT_EQ(substitute, c >= 0x80 && b == '?') << int(c);
  return b;
}

// Upper halves written out by hand, byte 0x80 first.
const std::u16string k866 =
    u"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмноп"
    u"░▒▓│┤╡╢╖╕╣║╗╝╜╛┐└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"
    u"рстуфхцчшщъыьэюяЁёЄєЇїЎў°∙·√№¤■\u00A0";
const std::u16string k1251 =
    u"ЂЃ‚ѓ„…†‡€‰Љ‹ЊЌЋЏђ‘’“”•–—\uFFFD™љ›њќћџ"
    u"\u00A0ЎўЈ¤Ґ¦§Ё©Є«¬\u00AD®Ї°±Ііґµ¶·ё№є»јЅѕї"
    u"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя";

TEST(CodePagesTest, TablesHoldTheCodePages) {
  ASSERT_EQ(k866.size(), 128u);
  ASSERT_EQ(k1251.size(), 128u);
  for (int b = 0; b < 0x80; ++b) {
    EXPECT_EQ(Decode(TextFormat::Oem866, b), b);
    EXPECT_EQ(Decode(TextFormat::Win1251, b), b);
  }
  for (int b = 0x80; b <= 0xFF; ++b) {
    EXPECT_EQ(Decode(TextFormat::Oem866, b), k866[b - 0x80]) << b;
    EXPECT_EQ(Decode(TextFormat::Win1251, b), k1251[b - 0x80]) << b;
  }
}

TEST(CodePagesTest, EveryAssignedByteSurvivesARoundTrip) {
  for (int b = 0; b <= 0xFF; ++b) {
    EXPECT_EQ(Encode(TextFormat::Oem866, Decode(TextFormat::Oem866, b)), b);
    if (b == 0x98) continue;  // unassigned in 1251
    EXPECT_EQ(Encode(TextFormat::Win1251, Decode(TextFormat::Win1251, b)), b);
  }
}

TEST(CodePagesTest, MissingCharactersBecomeQuestionMarks) {
  EXPECT_EQ(Encode(TextFormat::Win1251, 0xFFFD), '?');  // 0x98 does not come back
  EXPECT_EQ(Encode(TextFormat::Win1251, u'░'), '?');
  EXPECT_EQ(Encode(TextFormat::Oem866, u'€'), '?');
  EXPECT_EQ(Encode(TextFormat::Oem866, u'«'), '?');
  EXPECT_EQ(Encode(TextFormat::Oem866, 0xD83D), '?');
  EXPECT_EQ(Encode(TextFormat::Win1251, 0x0100), '?');
}

}  // namespace
