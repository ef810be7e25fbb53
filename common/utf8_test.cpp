// The one UTF-8 decoder and the byte-keeping form of names.
#include "common/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int Decode(const std::string& bytes, char32_t* c) {
  return DecodeUtf8(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), c);
}

TEST(Utf8, DecodesWellFormedSequencesOnly) {
  char32_t c = 0;
  EXPECT_EQ(Decode("A", &c), 1);
  EXPECT_EQ(c, U'A');
  EXPECT_EQ(Decode("\xD0\xB8", &c), 2);
  EXPECT_EQ(c, U'и');
  EXPECT_EQ(Decode("\xE2\x82\xAC", &c), 3);
  EXPECT_EQ(c, U'€');
  EXPECT_EQ(Decode("\xF0\x9F\x98\x80", &c), 4);
  EXPECT_EQ(c, U'\U0001F600');
  EXPECT_EQ(Decode("\xF4\x8F\xBF\xBF", &c), 4);
  EXPECT_EQ(c, char32_t{0x10FFFF});
  EXPECT_EQ(Decode("\xEF\xBF\xBF", &c), 3);
  // Overlong forms, surrogates, beyond U+10FFFF, stray and cut sequences.
  for (const char* bad :
       {"\xC0\xAF", "\xC1\xBF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF", "\xED\xA0\x80", "\xED\xBF\xBF",
        "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFF", "\x80", "\xBF", "\xD0", "\xE2\x82",
        "\xF0\x9F\x98", "\xD0\x41", "\xE2\x41\x82"}) {
    EXPECT_EQ(Decode(bad, &c), 0) << bad;
  }
  EXPECT_EQ(DecodeUtf8(nullptr, 0, &c), 0);
}

TEST(Utf8, LeadBytesTellLengthAndTheRangeOfTheSecondByte) {
  EXPECT_EQ(ClassifyUtf8Lead('x').length, 1);
  EXPECT_EQ(ClassifyUtf8Lead(0xC2).length, 2);
  EXPECT_EQ(ClassifyUtf8Lead(0xE0).low, 0xA0);
  EXPECT_EQ(ClassifyUtf8Lead(0xED).high, 0x9F);
  EXPECT_EQ(ClassifyUtf8Lead(0xF0).low, 0x90);
  EXPECT_EQ(ClassifyUtf8Lead(0xF4).high, 0x8F);
  for (int lead : {0x80, 0xBF, 0xC0, 0xC1, 0xF5, 0xFF})
    EXPECT_EQ(ClassifyUtf8Lead(static_cast<uint8_t>(lead)).length, 0) << lead;
}

TEST(Utf8, EncodesEveryCodePointBackToItsSequence) {
  for (char32_t c : {char32_t{0}, char32_t{0x7F}, char32_t{0x80}, char32_t{0x7FF}, char32_t{0x800},
                     char32_t{0xFFFF}, char32_t{0x10000}, char32_t{0x10FFFF}}) {
    std::string bytes;
    AppendUtf8(bytes, c);
    char32_t back = 0xFFFFFFFF;
    EXPECT_EQ(Decode(bytes, &back), static_cast<int>(bytes.size())) << c;
    EXPECT_EQ(back, c);
  }
}

TEST(Utf8, NamesKeepTheirBytesExactly) {
  if (kWideIsUtf16) GTEST_SKIP() << "names are UTF-16 on this system: no bytes to keep";
  const char* names[] = {"game.bin", "игра.bin",  "bad\xFF\xFE.bin",
                         "cut\xD0",  "\xC0\xAF",  "\xED\xA0\x80surrogate",
                         "\xE2\x82", "a\x80\x80z"};
  for (const char* name : names) EXPECT_EQ(EncodeEscapingBytes(DecodeEscapingBytes(name)), name);
  EXPECT_EQ(DecodeEscapingBytes("игра"), L"игра");
  EXPECT_EQ(DecodeEscapingBytes("a\xFF"), std::wstring(L"a") + wchar_t{0xDCFF});
  // A broken sequence keeps each of its bytes, and what follows reads on.
  EXPECT_EQ(DecodeEscapingBytes("\xE2\x82z"),
            (std::wstring{wchar_t{0xDCE2}, wchar_t{0xDC82}, L'z'}));
  // Surrogates that stand for no byte, and values beyond Unicode, are U+FFFD.
  EXPECT_EQ(EncodeEscapingBytes(std::wstring{wchar_t{0xD800}, wchar_t{0xDC41}}),
            "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Utf8, Utf16UnitsPairCharactersBeyondTheBasicPlane) {
  EXPECT_EQ(ToUtf16(L"bin"), u"bin");
  EXPECT_EQ(ToUtf16(L"\U0001F600x"), (std::u16string{0xD83D, 0xDE00, u'x'}));
  EXPECT_EQ(ToUtf16(L"бин"), u"бин");
}

// Characters beyond U+FFFF in wide text, whatever the width of wchar_t:
// built one at a time, decoded from UTF-8 and encoded back.
TEST(Utf8, CharactersBeyondTheBasicPlaneInWideText) {
  for (const char32_t c : {U'\U00010000', U'\U0001F600', U'\U0010FFFF'}) {
    std::wstring wide;
    AppendWide(wide, c);
    EXPECT_EQ(wide.size(), kWideIsUtf16 ? 2u : 1u);
    std::string utf8;
    AppendUtf8(utf8, c);
    EXPECT_EQ(DecodeEscapingBytes(utf8), wide);
    EXPECT_EQ(EncodeEscapingBytes(wide + L"x"), utf8 + "x");
    EXPECT_EQ(ToUtf16(wide).size(), 2u);
  }
  std::wstring cyrillic;
  AppendWide(cyrillic, U'ж');
  EXPECT_EQ(cyrillic, L"ж");
}

TEST(Utf8, LoneSurrogatesOfUtf16WideTextBecomeReplacementCharacters) {
  if (!kWideIsUtf16) GTEST_SKIP() << "wide text holds code points on this system";
  const std::string replacement = "\xEF\xBF\xBD";
  // A high surrogate without its low one, at the end and before a letter; a
  // low surrogate alone, also one in the byte-escape range of POSIX names.
  EXPECT_EQ(EncodeEscapingBytes(std::wstring{L'a', wchar_t(0xD83D)}), "a" + replacement);
  EXPECT_EQ(EncodeEscapingBytes(std::wstring{wchar_t(0xD83D), L'b'}), replacement + "b");
  EXPECT_EQ(EncodeEscapingBytes(std::wstring{wchar_t(0xDE00), wchar_t(0xDC80)}),
            replacement + replacement);
  EXPECT_EQ(EncodeEscapingBytes(std::wstring{wchar_t(0xD800), wchar_t(0xDC41)}), "\xF0\x90\x81\x81");
}

}  // namespace
