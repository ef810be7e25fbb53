#include "files/encoding_detect.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <random>
#include <string>
#include <vector>

#include "files/bk_charset.h"
#include "files/code_pages.h"
#include "front/platform.h"
#include "support/temp_dir.h"

namespace {

const std::u16string kAlphabet = u"абвгдежзийклмнопрстуфхцчшщъыьэюя";

// ---------------------------------------------------------------------------
// Sample texts, written for these tests.

const std::u16string kProse =
    u"Вечером мы сидели у печки и слушали, как за окном шумит ветер. Бабушка "
    u"рассказывала о том, как в молодости работала на почте в маленьком городе "
    u"на Волге. Письма тогда приходили редко, и каждое ждали неделями. Иван "
    u"Петрович, наш сосед, принёс однажды целую сумку старых газет, и мы до ночи "
    u"читали о событиях, которые давно стали историей.\n"
    u"Утром Москва встретила нас снегом. Поезд опоздал на два часа, но Анна "
    u"Сергеевна всё равно ждала на перроне с горячим чаем в термосе.\n";

const std::u16string kNotice =
    u"ВНИМАНИЕ!\nПРОХОД ЗАКРЫТ. ВЕДУТСЯ РЕМОНТНЫЕ РАБОТЫ.\n"
    u"ПРОСИМ ПОЛЬЗОВАТЬСЯ ЗАПАСНЫМ ВЫХОДОМ СО СТОРОНЫ ДВОРА.\n"
    u"ПРИНОСИМ ИЗВИНЕНИЯ ЗА ВРЕМЕННЫЕ НЕУДОБСТВА. АДМИНИСТРАЦИЯ.\n";

const std::u16string kAssembler =
    u"; Вывод строки на экран через EMT 20\n"
    u"START:  MOV     #MSG, R1        ; адрес сообщения\n"
    u"        CLR     R2              ; длина: до нулевого байта\n"
    u"        EMT     20              ; печать строки\n"
    u"        MOV     #1000, SP       ; стек ниже программы\n"
    u"        HALT                    ; останов\n"
    u"MSG:    .ASCIZ  /PRIVET/\n"
    u"; Конец программы. Проверено на БК-0010-01 и на эмуляторе.\n";

const std::u16string kCSource =
    u"/* Подсчёт контрольной суммы блока данных перед записью на ленту. */\n"
    u"unsigned short Checksum(const unsigned char* data, int length) {\n"
    u"  unsigned sum = 0;  // сумма с переносом, как в мониторе\n"
    u"  for (int i = 0; i < length; ++i) {\n"
    u"    sum += data[i];\n"
    u"    if (sum > 0xFFFF) sum -= 0xFFFF;  // перенос добавляем к сумме\n"
    u"  }\n"
    u"  return (unsigned short)sum;  // готово\n"
    u"}\n";

const std::u16string kLatinWithCyrillic =
    u"The BK-0010 was sold as a home computer. Its name stands for Бытовой "
    u"Компьютер, and the first screen of its manual greets the reader with "
    u"Добро пожаловать. Most programs for it were written in assembler or in "
    u"BASIC, and the machine is still loved by collectors and demo makers.\n";

const std::u16string kLatinOnly =
    u"This note has Latin letters only, digits 0123456789 and punctuation.\n"
    u"It is kept as little-endian 16-bit text without a byte-order mark.\n";

// Short notes of 20 to 100 bytes in every encoding.
const std::vector<std::u16string> kShortNotes = {
    u"Купить хлеб и молоко.",
    u"Позвонить Ивану в пятницу вечером.",
    u"Ключ от гаража лежит под ковриком у двери.",
    u"Встреча в среду, зал Б, в 10:00.",
    u"Не забыть: книга, свет, цветы.",
};

// ---------------------------------------------------------------------------

Bytes Encode(TextFormat format, const std::u16string& text) {
  Bytes bytes;
  for (CodeUnit c : text) {
    switch (format) {
      case TextFormat::Koi8r:
        bytes.push_back(UnicodeToBK(c));
        break;
      case TextFormat::Oem866:
      case TextFormat::Win1251: {
        if (c == u'\n') bytes.push_back('\r');
        const CodePage page = format == TextFormat::Oem866 ? CodePage::Oem866 : CodePage::Win1251;
        bytes.push_back(UnicodeToCodePage(page, c == u'ё' ? u'е' : c));
        break;
      }
      case TextFormat::Utf8:
        if (c == u'\n') bytes.push_back('\r');
        if (c < 0x80) {
          bytes.push_back(static_cast<uint8_t>(c));
        } else if (c < 0x800) {
          bytes.push_back(static_cast<uint8_t>(0xC0 | (c >> 6)));
          bytes.push_back(static_cast<uint8_t>(0x80 | (c & 0x3F)));
        } else {
          bytes.push_back(static_cast<uint8_t>(0xE0 | (c >> 12)));
          bytes.push_back(static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F)));
          bytes.push_back(static_cast<uint8_t>(0x80 | (c & 0x3F)));
        }
        break;
      default:
        if (c == u'\n') bytes.insert(bytes.end(), {'\r', 0});
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
        break;
    }
  }
  return bytes;
}

struct Detection {
  TextFormat format;
  uint64_t bytesRead;
};

Detection Detect(const Bytes& bytes) {
  TempDir dir;
  WriteFileBytes(dir / "t.txt", bytes);
  CWinFile file(WidenName((dir / "t.txt").c_str()), TextFormat::Auto);
  const TextFormat format = file.DetectEncoding();
  EXPECT_TRUE(file.IsEOF()) << "the detection leaves the file closed";
  return {format, file.GetBytesRead()};
}

// The statistics of the pass over some bytes, gathered the way
// DetectEncoding gathers them (no byte-order mark in these tests).
struct Gathered {
  EncodingStatistics statistics;
  uint64_t bytesRead = 0;
};

Gathered Gather(const Bytes& bytes) {
  Gathered g;
  for (uint8_t b : bytes) {
    ++g.bytesRead;
    g.statistics.NoteRead(b);
    if (g.statistics.IsFull()) return g;
    g.statistics.Process(b);
  }
  g.statistics.Process(0);  // the read that runs into the end
  g.statistics.NoteEnd();
  return g;
}

// The decision with the Unicode count tests and the single-byte scores only.
TextFormat DecideWithoutShapes(const Gathered& g) {
  if (PassesUtf16leCountTest(g.statistics.Counts(), g.bytesRead)) return TextFormat::Utf16le;
  if (PassesUtf8BalanceTest(g.statistics.Counts(), g.bytesRead)) return TextFormat::Utf8;
  return ChooseSingleByte(g.statistics.Counts());
}

const TextFormat kAllFormats[] = {TextFormat::Koi8r, TextFormat::Oem866, TextFormat::Win1251,
                                  TextFormat::Utf8, TextFormat::Utf16le};

std::string Name(TextFormat format) { return NarrowName(EncodingName(format)); }

// ---------------------------------------------------------------------------

TEST(LetterPairTableTest, HoldsTheRussianLetterPairs) {
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

TEST(LetterPairTableTest, KoiOrderMapsToTheAlphabet) {
  const std::u16string koiOrder = u"юабцдефгхийклмнопярстужвьызшэщчъ";
  for (int i = 0; i < kLetterCount; ++i) {
    EXPECT_EQ(KoiLetterIndex[i], kAlphabet.find(koiOrder[i])) << i;
    // The same order as the BK letters 0xC0..0xDF.
    EXPECT_EQ(BKToUnicode(static_cast<uint8_t>(0xC0 + i)), koiOrder[i]);
  }
}

TEST(CheckLetterPairTest, MarksEachPairOnce) {
  LetterPairMatrix seen{};
  const int a = 0, b = 1, yeru = 27;  // а, б, ы
  EXPECT_EQ(CheckLetterPair(a, b, true, &seen), kPairRussian);
  EXPECT_EQ(CheckLetterPair(a, b, true, &seen), kPairSeen);
  EXPECT_EQ(CheckLetterPair(b, a, true, &seen), kPairRussian);  // order matters
  EXPECT_EQ(CheckLetterPair(a, yeru, true, &seen), kPairForeign);  // "аы"
  EXPECT_EQ(CheckLetterPair(a, yeru, true, &seen), kPairSeen);
  // Without mark the matrix is neither read nor written.
  EXPECT_EQ(CheckLetterPair(a, b, false, nullptr), kPairRussian);
  EXPECT_EQ(CheckLetterPair(a, yeru, false, nullptr), kPairForeign);
}

TEST(DetectEncodingTest, ByteOrderMarksDecideAtOnce) {
  EXPECT_EQ(Detect({0xFF, 0xFE}).format, TextFormat::Utf16le);
  EXPECT_EQ(Detect({0xFF, 0xFE, 0xC1, 0xC2, 0xC3}).format, TextFormat::Utf16le);
  EXPECT_EQ(Detect({0xEF, 0xBB, 0xBF}).format, TextFormat::Utf8);
  EXPECT_EQ(Detect({0xEF, 0xBB, 0xBF, 0xCF, 0xF0}).format, TextFormat::Utf8);
  // Bytes the file does not have never match.
  EXPECT_EQ(Detect({0xFF}).format, TextFormat::Oem866);
  EXPECT_EQ(Detect({0xEF, 0xBB}).format, TextFormat::Oem866);
}

TEST(DetectEncodingTest, EmptyAndPlainAsciiFilesAreCodePage866) {
  const Detection empty = Detect({});
  EXPECT_EQ(empty.format, TextFormat::Oem866);
  EXPECT_EQ(empty.bytesRead, 0u);
  const Bytes ascii = Encode(TextFormat::Koi8r, u"Plain ASCII text.\nSecond line.\n");
  const Detection plain = Detect(ascii);
  EXPECT_EQ(plain.format, TextFormat::Oem866);
  EXPECT_EQ(plain.bytesRead, ascii.size());
}

TEST(DetectEncodingTest, MissingFileGivesNoEncoding) {
  TempDir dir;
  CWinFile file(WidenName((dir / "none").c_str()), TextFormat::Auto);
  EXPECT_EQ(file.DetectEncoding(), TextFormat::Auto);
}

struct Sample {
  const char* what;
  std::u16string text;
};

std::vector<Sample> Samples() {
  std::vector<Sample> samples = {
      {"prose", kProse},
      {"notice in capitals", kNotice},
      {"assembler source", kAssembler},
      {"C source", kCSource},
      {"Latin text with Cyrillic words", kLatinWithCyrillic},
  };
  for (const std::u16string& note : kShortNotes) samples.push_back({"short note", note});
  return samples;
}

TEST(DetectEncodingTest, TextsAreFoundInTheirOwnEncoding) {
  for (const Sample& sample : Samples()) {
    for (TextFormat format : kAllFormats) {
      const Bytes bytes = Encode(format, sample.text);
      EXPECT_EQ(Name(Detect(bytes).format), Name(format))
          << sample.what << ", " << bytes.size() << " bytes";
    }
  }
}

TEST(DetectEncodingTest, ShortNotesAreTwentyToAHundredBytes) {
  for (const std::u16string& note : kShortNotes) {
    for (TextFormat format : kAllFormats) {
      const size_t size = Encode(format, note).size();
      EXPECT_GE(size, 20u);
      EXPECT_LE(size, 100u);
    }
  }
}

TEST(DetectEncodingTest, CyrillicUtf16leWithoutMarkPassesTheCountTest) {
  const Bytes bytes = Encode(TextFormat::Utf16le, kNotice);
  const Gathered g = Gather(bytes);
  EXPECT_TRUE(PassesUtf16leCountTest(g.statistics.Counts(), g.bytesRead));
  EXPECT_EQ(Detect(bytes).format, TextFormat::Utf16le);
}

TEST(DetectEncodingTest, LatinUtf16leWithoutMarkIsFoundByItsShape) {
  const Bytes bytes = Encode(TextFormat::Utf16le, kLatinOnly);
  const Gathered g = Gather(bytes);
  EXPECT_FALSE(PassesUtf16leCountTest(g.statistics.Counts(), g.bytesRead));
  EXPECT_EQ(DecideWithoutShapes(g), TextFormat::Oem866);  // the old verdict
  EXPECT_EQ(Detect(bytes).format, TextFormat::Utf16le);
  // An odd byte at the very end does not spoil it.
  Bytes odd = bytes;
  odd.push_back('x');
  EXPECT_EQ(Detect(odd).format, TextFormat::Utf16le);
}

TEST(DetectEncodingTest, Utf8WithCapitalsFailsTheBalanceButIsFound) {
  const Bytes bytes = Encode(TextFormat::Utf8, kProse);
  const Gathered g = Gather(bytes);
  EXPECT_FALSE(PassesUtf8BalanceTest(g.statistics.Counts(), g.bytesRead));
  EXPECT_NE(DecideWithoutShapes(g), TextFormat::Utf8);  // the old verdict was a code page
  EXPECT_EQ(Detect(bytes).format, TextFormat::Utf8);
}

TEST(DetectEncodingTest, LowerCaseUtf8PassesTheBalanceTest) {
  const Bytes bytes = Encode(TextFormat::Utf8, u"тихо шумит река, и ночь темна над полем.");
  const Gathered g = Gather(bytes);
  EXPECT_TRUE(PassesUtf8BalanceTest(g.statistics.Counts(), g.bytesRead));
  EXPECT_EQ(Detect(bytes).format, TextFormat::Utf8);
}

TEST(DetectEncodingTest, Utf8CutOffByTheEndStillCounts) {
  Bytes bytes = Encode(TextFormat::Utf8, u"Ответ: да");
  bytes.push_back(0xD0);  // the first byte of a letter, the rest lost
  EXPECT_EQ(Detect(bytes).format, TextFormat::Utf8);
}

TEST(DetectEncodingTest, MalformedUtf8IsNotTakenForUtf8) {
  Bytes bytes = Encode(TextFormat::Utf8, u"Ответ: да, ");
  bytes.push_back(0xC0);  // an overlong form
  bytes.push_back(0xAF);
  EXPECT_NE(Detect(bytes).format, TextFormat::Utf8);
  EXPECT_NE(Detect(Encode(TextFormat::Utf8, u"only ASCII here")).format, TextFormat::Utf8);
}

TEST(DetectEncodingTest, Koi8rAgainst1251) {
  // The same text: its letters read under the wrong code page make pairs
  // that Russian does not have.
  const Gathered koi = Gather(Encode(TextFormat::Koi8r, kProse));
  EXPECT_LT(koi.statistics.Counts().badKoi, koi.statistics.Counts().bad1251);
  EXPECT_EQ(ChooseSingleByte(koi.statistics.Counts()), TextFormat::Koi8r);
  const Gathered win = Gather(Encode(TextFormat::Win1251, kProse));
  EXPECT_LT(win.statistics.Counts().bad1251, win.statistics.Counts().badKoi);
  EXPECT_EQ(ChooseSingleByte(win.statistics.Counts()), TextFormat::Win1251);
}

TEST(DetectEncodingTest, BkEditorTextsComeOutAsKoi8r) {
  TempDir dir;
  {
    CBKFile bk(WidenName((dir / "t.edp").c_str()));
    ASSERT_TRUE(bk.Open(true));
    for (CodeUnit c : kProse) bk.WriteChar(c == u'\n' ? 0 : c);
  }
  EXPECT_EQ(Detect(ReadFileBytes(dir / "t.edp")).format, TextFormat::Koi8r);
}

TEST(DetectEncodingTest, LongTextsAreJudgedByTheirBeginning) {
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
  const Bytes bytes = Encode(TextFormat::Win1251, text);
  const Detection d = Detect(bytes);
  EXPECT_EQ(d.format, TextFormat::Win1251);
  EXPECT_LT(d.bytesRead, bytes.size());
  // The pass stopped at 255 distinct pairs, on the byte it had just read.
  const Gathered g = Gather(bytes);
  EXPECT_EQ(g.bytesRead, d.bytesRead);
  EXPECT_TRUE(g.statistics.IsFull());
  EXPECT_EQ(std::max(g.statistics.Counts().pairs8, g.statistics.Counts().pairs866),
            kMaxLetterPairs);
}

TEST(PairScoreTest, PenaltyStartsAboveOneIn32) {
  EXPECT_EQ(PairScore(0, 0), 65280);
  EXPECT_EQ(PairScore(64, 2), 256 * 255 + 64);  // exactly 64 / 32: no penalty
  EXPECT_EQ(PairScore(64, 3), 256 * 252 + 64);  // one more: all three count
  EXPECT_EQ(PairScore(31, 1), 256 * 254 + 31);  // 31 / 32 is 0
  EXPECT_EQ(PairScore(255, 7), 256 * 255 + 255);
  EXPECT_EQ(PairScore(255, 8), 256 * 247 + 255);
}

TEST(ChooseSingleByteTest, TiesGoTo866ThenTo1251) {
  DetectionCounts counts;
  EXPECT_EQ(ChooseSingleByte(counts), TextFormat::Oem866);  // all three equal
  counts.pairs8 = 10;
  EXPECT_EQ(ChooseSingleByte(counts), TextFormat::Win1251);  // 1251 and KOI8R equal
  counts.pairs866 = 10;
  EXPECT_EQ(ChooseSingleByte(counts), TextFormat::Oem866);
  counts.bad866 = 1;  // 1 > 10 / 32: penalised
  EXPECT_EQ(ChooseSingleByte(counts), TextFormat::Win1251);
  counts.bad1251 = 1;
  EXPECT_EQ(ChooseSingleByte(counts), TextFormat::Koi8r);
  counts.badKoi = 2;
  EXPECT_EQ(ChooseSingleByte(counts), TextFormat::Oem866);  // 866 and 1251 equal
  counts.bad866 = 2;
  EXPECT_EQ(ChooseSingleByte(counts), TextFormat::Win1251);  // fewer bad pairs win
}

TEST(DetectEncodingTest, TieBetween1251AndKoi8rGoesTo1251) {
  // "АА" in 1251 is "юю" in KOI8R: one Russian pair under both, none under 866.
  const Bytes bytes = {0xC0, 0xC0};
  const Gathered g = Gather(bytes);
  EXPECT_EQ(g.statistics.Counts().pairs8, 1);
  EXPECT_EQ(g.statistics.Counts().bad1251, 0);
  EXPECT_EQ(g.statistics.Counts().badKoi, 0);
  EXPECT_EQ(Detect(bytes).format, TextFormat::Win1251);
}

TEST(DetectEncodingTest, EachDistinctPairCountsOnce) {
  const Gathered g = Gather(Encode(TextFormat::Win1251, u"папапапапа"));
  EXPECT_EQ(g.statistics.Counts().pairs8, 2);  // "па" and "ап"
}

// Texts in the single-byte code pages must keep the verdict they had before
// the shape tests existed: neither shape test may fire on them.
TEST(DetectEncodingTest, ShapeTestsNeverFireOnSingleByteTexts) {
  std::vector<std::u16string> words;
  std::u16string word;
  for (CodeUnit c : kProse + kNotice + kLatinWithCyrillic) {
    if (c == u' ' || c == u'\n') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  std::mt19937 random(1987);
  for (int round = 0; round < 400; ++round) {
    std::u16string text;
    const int count = 1 + static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) text += words[random() % words.size()] + u" ";
    for (TextFormat format : {TextFormat::Koi8r, TextFormat::Oem866, TextFormat::Win1251}) {
      const Gathered g = Gather(Encode(format, text));
      const bool hasCyrillic = text.find_first_of(kAlphabet) != std::u16string::npos;
      EXPECT_FALSE(LooksLikeUtf8(g.statistics.Shape()) && hasCyrillic) << round;
      EXPECT_FALSE(LooksLikeUtf16le(g.statistics.Shape())) << round;
    }
  }
}

TEST(DetectEncodingTest, BkProgramsKeepTheirVerdict) {
#ifndef BK_CORPUS_DIR
  GTEST_SKIP() << "no BK corpus configured";
#else
  DIR* dir = opendir(BK_CORPUS_DIR);
  if (dir == nullptr) GTEST_SKIP() << "BK corpus not found";
  int files = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() < 4 || name.substr(name.size() - 4) != ".bin") continue;
    const Bytes bytes = ReadFileBytes(std::string(BK_CORPUS_DIR) + "/" + name);
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) continue;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) continue;
    EXPECT_EQ(Name(Detect(bytes).format), Name(DecideWithoutShapes(Gather(bytes)))) << name;
    ++files;
  }
  closedir(dir);
  if (files == 0) GTEST_SKIP() << "BK corpus is empty";
#endif
}

}  // namespace
