// The previous detection is the yardstick of the side-by-side tests; these
// tests pin it to what morva did before, so that the comparison means
// something.
#include "files/previous_detection_testing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/bk_charset.h"
#include "files/text_encoding_testing.h"

namespace {

using namespace previous_detection;

const std::u16string kAlphabet = u"абвгдежзийклмнопрстуфхцчшщъыьэюя";

const std::u16string kProse =
    u"Вечером мы сидели у печки и слушали, как за окном шумит ветер. Бабушка "
    u"рассказывала о том, как в молодости работала на почте в маленьком городе "
    u"на Волге.\n";

TEST(PreviousDetectionTest, LetterPairTableHoldsTheRussianLetterPairs) {
  // Second letters allowed after each first letter а..я.
  const std::vector<std::u16string> allowed = {
      u"абвгдежзийклмнопрстуфхцчшщэюя", u"абвгдежиклмнорстухцчшщъыьюя",
      u"абвгдезиклмнопрстухцчшщъыья",   u"абвгдеиклмнорстучш",
      u"абвгдежзийклмнопрстухцчшъыьюя", u"абвгдежзийклмнопрстуфхцчшщьэюя",
      u"абгдежиклмнопрсучь",            u"абвгдежзиклмнопрстучшъыьэюя",
      u"абвгдежзийклмнопрстуфхцчшщэюя", u"гдезклмнопстуфхцчшя",
      u"авежзиклнорстуцшю",             u"абвгдежзийклмнопстухчшщыьюя",
      u"абвгдеиклмнопрсухцчшыьэя",      u"абвгдежзикмнорстуфцчшщыьэюя",
      u"абвгдежзийклмнопрстуфхцчшщэюя", u"аеиклнопрстуцчшыьэюя",
      u"абвгдежзийклмнопрстуфхцчшщыьюя", u"абвгдежзиклмнопрстуфхцчшщъыьэюя",
      u"абвгдезиклмнопрстуфхцчшщъыьэюя", u"абвгдежзийклмнопрстхцчшщэюя",
      u"аеилмнорстуыю",                 u"авгдеиклмнопрстушэ",
      u"авеиклмоуы",                    u"авеиклмнортуфшь",
      u"авдеиклмнопрстухцчью",          u"аеиноруь",
      u"еюя",                           u"бвгдежзийклмнпрстухцчшщя",
      u"бвгдезикмностфхцчшщьюя",        u"гезклмнпрстуфх",
      u"бвгдежзйклмнпрстхцчшщю",        u"бвгдежзийклмнпрстухцчшщюя",
  };
  int setBits = 0;
  for (int first = 0; first < kLetterCount; ++first) {
    for (int second = 0; second < kLetterCount; ++second) {
      const bool inTable = (LetterPairTable[first][second / 8] & (0x80 >> (second % 8))) != 0;
      const bool listed = allowed[first].find(kAlphabet[second]) != std::u16string::npos;
      EXPECT_EQ(inTable, listed) << first << " " << second;
      setBits += inTable ? 1 : 0;
    }
  }
  EXPECT_EQ(setBits, 709);
}

TEST(PreviousDetectionTest, KoiOrderMapsToTheAlphabet) {
  const std::u16string koiOrder = u"юабцдефгхийклмнопярстужвьызшэщчъ";
  for (int i = 0; i < kLetterCount; ++i) {
    EXPECT_EQ(KoiLetterIndex[i], kAlphabet.find(koiOrder[i])) << i;
    EXPECT_EQ(BkToUnicode(static_cast<uint8_t>(0xC0 + i)), koiOrder[i]);
  }
}

TEST(PreviousDetectionTest, CheckLetterPairMarksEachPairOnce) {
  LetterPairMatrix seen{};
  const int a = 0, b = 1, yeru = 27;  // а, б, ы
  EXPECT_EQ(CheckLetterPair(a, b, true, &seen), kPairRussian);
  EXPECT_EQ(CheckLetterPair(a, b, true, &seen), kPairSeen);
  EXPECT_EQ(CheckLetterPair(b, a, true, &seen), kPairRussian);  // order matters
  EXPECT_EQ(CheckLetterPair(a, yeru, true, &seen), kPairForeign);  // "аы"
  EXPECT_EQ(CheckLetterPair(a, yeru, true, &seen), kPairSeen);
  EXPECT_EQ(CheckLetterPair(a, b, false, nullptr), kPairRussian);
  EXPECT_EQ(CheckLetterPair(a, yeru, false, nullptr), kPairForeign);
}

TEST(PreviousDetectionTest, PairScorePenaltyStartsAboveOneIn32) {
  EXPECT_EQ(PairScore(0, 0), 65280);
  EXPECT_EQ(PairScore(64, 2), 256 * 255 + 64);  // exactly 64 / 32: no penalty
  EXPECT_EQ(PairScore(64, 3), 256 * 252 + 64);  // one more: all three count
  EXPECT_EQ(PairScore(31, 1), 256 * 254 + 31);  // 31 / 32 is 0
  EXPECT_EQ(PairScore(255, 8), 256 * 247 + 255);
}

TEST(PreviousDetectionTest, ChooseSingleByteTiesGoTo866ThenTo1251) {
  PairCounts counts;
  EXPECT_EQ(ChooseSingleByte(counts), TextFormat::Oem866);
  counts.pairs8 = 10;
  EXPECT_EQ(ChooseSingleByte(counts), TextFormat::Win1251);
  counts.pairs866 = 10;
  EXPECT_EQ(ChooseSingleByte(counts), TextFormat::Oem866);
  counts.bad866 = 1;
  EXPECT_EQ(ChooseSingleByte(counts), TextFormat::Win1251);
  counts.bad1251 = 1;
  EXPECT_EQ(ChooseSingleByte(counts), TextFormat::Koi8r);
  counts.badKoi = 2;
  EXPECT_EQ(ChooseSingleByte(counts), TextFormat::Oem866);
}

TEST(PreviousDetectionTest, EachDistinctPairCountsOnceAndThePassStopsAt255) {
  const TextBytes papa = EncodeText(TextFormat::Win1251, u"папапапапа");
  EXPECT_EQ(CountLetterPairs(papa.data(), papa.size()).pairs8, 2);  // "па" and "ап"
  // Every Russian letter pair once, as two-letter words, then the prose.
  std::u16string text;
  for (int first = 0; first < kLetterCount; ++first) {
    for (int second = 0; second < kLetterCount; ++second) {
      if (CheckLetterPair(first, second, false, nullptr) != kPairRussian) continue;
      text += kAlphabet[first];
      text += kAlphabet[second];
      text += u' ';
    }
  }
  text += kProse;
  const TextBytes bytes = EncodeText(TextFormat::Win1251, text);
  const PairCounts counts = CountLetterPairs(bytes.data(), bytes.size());
  EXPECT_EQ(counts.pairs8, kMaxLetterPairs);
  EXPECT_LT(counts.bytesRead, bytes.size());
  EXPECT_EQ(Detect(bytes), TextFormat::Win1251);
}

TEST(PreviousDetectionTest, ItsVerdictsOnPlainCases) {
  EXPECT_EQ(Detect(TextBytes{}), TextFormat::Oem866);
  EXPECT_EQ(Detect(TextBytes{0xFF, 0xFE}), TextFormat::Utf16le);
  EXPECT_EQ(Detect(EncodeText(TextFormat::Utf16be, kProse)), TextFormat::Utf16le)
      << "UTF-16BE was taken for UTF-16LE by its 0x04 bytes";
  EXPECT_EQ(Detect(EncodeText(TextFormat::Koi8r, kProse)), TextFormat::Koi8r);
  EXPECT_EQ(Detect(EncodeText(TextFormat::Win1251, kProse)), TextFormat::Win1251);
  EXPECT_EQ(Detect(EncodeText(TextFormat::Utf8, kProse)), TextFormat::Utf8);
  TextBytes damaged = EncodeText(TextFormat::Utf8, kProse + kProse + kProse);
  damaged[200] = 0xFF;
  EXPECT_NE(Detect(damaged), TextFormat::Utf8) << "one stray byte ruled UTF-8 out";
}

}  // namespace
