#include "files/encoding_detect.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common/bk_charset.h"
#include "files/code_pages.h"
#include "files/detection_tables.h"
#include "files/previous_detection_testing.h"
#include "files/text_encoding_testing.h"
#include "common/platform.h"
#include "support/temp_dir.h"

namespace {

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

// A DOS program's screen: frames of box drawing around a few words.
const std::u16string kDosScreen =
    u"╔══════════════════════════════════════════════╗\n"
    u"║        Программа учёта книг, версия 2.1      ║\n"
    u"╠══════════════════════════════════════════════╣\n"
    u"║  F1 - помощь          F2 - сохранить список  ║\n"
    u"║  F3 - открыть файл    F10 - выход            ║\n"
    u"╚══════════════════════════════════════════════╝\n"
    u"┌──────────┬────────────────────┬───────┐\n"
    u"│ Шифр     │ Автор              │ Год   │\n"
    u"├──────────┼────────────────────┼───────┤\n"
    u"│ 12-345   │ Пушкин А. С.       │ 1837  │\n"
    u"│ 67-890   │ Толстой Л. Н.      │ 1869  │\n"
    u"└──────────┴────────────────────┴───────┘\n";

// Short notes of 20 to 100 bytes in every encoding.
const std::vector<std::u16string> kShortNotes = {
    u"Купить хлеб и молоко.",
    u"Позвонить Ивану в пятницу вечером.",
    u"Ключ от гаража лежит под ковриком у двери.",
    u"Встреча в среду, зал Б, в 10:00.",
    u"Не забыть: книга, свет, цветы.",
};

// ---------------------------------------------------------------------------

const TextFormat kAllFormats[] = {TextFormat::Koi8r, TextFormat::Oem866, TextFormat::Win1251,
                                  TextFormat::Utf8, TextFormat::Utf16le};
const TextFormat kCodePages[] = {TextFormat::Koi8r, TextFormat::Oem866, TextFormat::Win1251};

std::string Name(TextFormat format) { return NarrowName(EncodingName(format)); }

DetectedEncoding Decide(const Bytes& bytes, DetectionScope scope = DetectionScope::AnyEncoding) {
  return DetectTextEncoding(bytes.data(), bytes.size(), scope);
}

std::string Verdict(const Bytes& bytes, DetectionScope scope = DetectionScope::AnyEncoding) {
  return Name(Decide(bytes, scope).format);
}

UnicodeEvidence Evidence(const Bytes& bytes) {
  return GatherUnicodeEvidence(bytes.data(), bytes.size());
}

struct FileDetection {
  TextFormat format;
  uint64_t bytesRead;
};

FileDetection DetectFile(const Bytes& bytes, TextFormat asked = TextFormat::Auto) {
  TempDir dir;
  WriteFileBytes(dir / "t.txt", bytes);
  CWinFile file(WidenName((dir / "t.txt").c_str()), asked);
  const TextFormat format = file.DetectEncoding();
  EXPECT_TRUE(file.IsEOF()) << "the detection leaves the file closed";
  return {format, file.GetBytesRead()};
}

// ---------------------------------------------------------------------------
// Byte-order marks

TEST(DetectEncodingTest, ByteOrderMarksDecideAtOnce) {
  struct Case {
    Bytes bytes;
    TextFormat format;
    size_t mark;
  };
  const Case cases[] = {
      {{0xFF, 0xFE}, TextFormat::Utf16le, 2},
      {{0xFF, 0xFE, 0xC1, 0xC2, 0xC3}, TextFormat::Utf16le, 2},
      {{0xFE, 0xFF}, TextFormat::Utf16be, 2},
      {{0xFE, 0xFF, 0x04, 0x1F}, TextFormat::Utf16be, 2},
      {{0xEF, 0xBB, 0xBF}, TextFormat::Utf8, 3},
      {{0xEF, 0xBB, 0xBF, 0xCF, 0xF0}, TextFormat::Utf8, 3},
  };
  for (const Case& c : cases) {
    for (DetectionScope scope : {DetectionScope::AnyEncoding, DetectionScope::UnicodeOnly}) {
      const DetectedEncoding d = Decide(c.bytes, scope);
      EXPECT_EQ(Name(d.format), Name(c.format)) << c.bytes.size();
      EXPECT_EQ(d.byteOrderMark, c.mark);
    }
  }
  // Bytes the file does not have never match; what is there is text.
  for (const Bytes& part : {Bytes{0xFF}, Bytes{0xFE}, Bytes{0xEF, 0xBB}}) {
    const DetectedEncoding d = Decide(part);
    EXPECT_NE(d.format, TextFormat::Utf16le);
    EXPECT_NE(d.format, TextFormat::Utf16be);
    EXPECT_NE(d.format, TextFormat::Utf8);
    EXPECT_EQ(d.byteOrderMark, 0u);
  }
}

TEST(DetectEncodingTest, Utf16beIsFoundOnlyByItsMark) {
  const Bytes marked = EncodeText(TextFormat::Utf16be, kProse);
  EXPECT_EQ(Verdict(marked), Name(TextFormat::Utf16be));
  const Bytes bare(marked.begin() + 2, marked.end());
  EXPECT_NE(Verdict(bare), Name(TextFormat::Utf16be));
}

// ---------------------------------------------------------------------------
// Files

TEST(DetectEncodingTest, EmptyAndPlainAsciiFilesAreCodePage866) {
  const FileDetection empty = DetectFile({});
  EXPECT_EQ(empty.format, TextFormat::Oem866);
  EXPECT_EQ(empty.bytesRead, 0u);
  const Bytes ascii = EncodeText(TextFormat::Koi8r, u"Plain ASCII text.\nSecond line.\n");
  const FileDetection plain = DetectFile(ascii);
  EXPECT_EQ(plain.format, TextFormat::Oem866);
  EXPECT_EQ(plain.bytesRead, ascii.size());
}

TEST(DetectEncodingTest, MissingFileGivesNoEncoding) {
  TempDir dir;
  CWinFile file(WidenName((dir / "none").c_str()), TextFormat::Auto);
  EXPECT_EQ(file.DetectEncoding(), TextFormat::Auto);
}

TEST(DetectEncodingTest, ALongFileIsJudgedByItsFirst64KiB) {
  // Cyrillic letters only after the prefix: the detection never sees them.
  std::u16string text(kDetectionPrefix, u'x');
  text += kProse;
  for (TextFormat format : {TextFormat::Koi8r, TextFormat::Win1251}) {
    const Bytes bytes = EncodeText(format, text);
    const FileDetection d = DetectFile(bytes);
    EXPECT_EQ(d.bytesRead, kDetectionPrefix);
    EXPECT_EQ(d.format, TextFormat::Oem866) << "no letter within the prefix";
  }
  // The prose inside the prefix decides, whatever follows.
  std::u16string late = kProse;
  late += std::u16string(3 * kDetectionPrefix, u'y');
  const FileDetection d = DetectFile(EncodeText(TextFormat::Koi8r, late));
  EXPECT_EQ(d.bytesRead, kDetectionPrefix);
  EXPECT_EQ(d.format, TextFormat::Koi8r);
}

TEST(DetectEncodingTest, DeclaredUnicodeChoosesAmongUnicodeFormsOnly) {
  // Asked for Unicode, the file class narrows the choice by itself.
  const Bytes win = EncodeText(TextFormat::Win1251, kProse);
  EXPECT_EQ(DetectFile(win, TextFormat::Utf16le).format, TextFormat::Utf8);
  EXPECT_EQ(DetectFile(win, TextFormat::Auto).format, TextFormat::Win1251);
  EXPECT_EQ(DetectFile(EncodeText(TextFormat::Utf16le, kLatinOnly), TextFormat::Utf16le).format,
            TextFormat::Utf16le);
}

// ---------------------------------------------------------------------------
// The Unicode tests

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
      {"DOS screen with frames", kDosScreen},
  };
  for (const std::u16string& note : kShortNotes) samples.push_back({"short note", note});
  return samples;
}

TEST(DetectEncodingTest, TextsAreFoundInTheirOwnEncoding) {
  for (const Sample& sample : Samples()) {
    for (TextFormat format : kAllFormats) {
      const Bytes bytes = EncodeText(format, sample.text);
      EXPECT_EQ(Verdict(bytes), Name(format)) << sample.what << ", " << bytes.size() << " bytes";
      EXPECT_EQ(Name(DetectFile(bytes).format), Name(format)) << sample.what;
    }
  }
}

TEST(DetectEncodingTest, ShortNotesAreTwentyToAHundredBytes) {
  for (const std::u16string& note : kShortNotes) {
    for (TextFormat format : kAllFormats) {
      const size_t size = EncodeText(format, note).size();
      EXPECT_GE(size, 20u);
      EXPECT_LE(size, 100u);
    }
  }
}

TEST(DetectEncodingTest, CyrillicUtf16leWithoutMarkPassesTheCountTest) {
  const Bytes bytes = EncodeText(TextFormat::Utf16le, kNotice);
  EXPECT_TRUE(PassesUtf16leCountTest(Evidence(bytes)));
  EXPECT_EQ(Verdict(bytes), Name(TextFormat::Utf16le));
}

TEST(DetectEncodingTest, LatinUtf16leWithoutMarkIsFoundByItsShape) {
  const Bytes bytes = EncodeText(TextFormat::Utf16le, kLatinOnly);
  EXPECT_FALSE(PassesUtf16leCountTest(Evidence(bytes)));
  EXPECT_TRUE(LooksLikeUtf16le(Evidence(bytes)));
  EXPECT_EQ(Verdict(bytes), Name(TextFormat::Utf16le));
  // An odd byte at the very end does not spoil it.
  Bytes odd = bytes;
  odd.push_back('x');
  EXPECT_EQ(Verdict(odd), Name(TextFormat::Utf16le));
}

TEST(DetectEncodingTest, Utf8WithCapitalsFailsTheBalanceButIsFound) {
  const Bytes bytes = EncodeText(TextFormat::Utf8, kProse);
  EXPECT_FALSE(PassesUtf8BalanceTest(Evidence(bytes)));
  EXPECT_TRUE(LooksLikeUtf8(Evidence(bytes)));
  EXPECT_EQ(Verdict(bytes), Name(TextFormat::Utf8));
}

TEST(DetectEncodingTest, LowerCaseUtf8PassesTheBalanceTest) {
  const Bytes bytes = EncodeText(TextFormat::Utf8, u"тихо шумит река, и ночь темна над полем.");
  EXPECT_TRUE(PassesUtf8BalanceTest(Evidence(bytes)));
  EXPECT_EQ(Verdict(bytes), Name(TextFormat::Utf8));
}

TEST(DetectEncodingTest, Utf8CutOffByTheEndStillCounts) {
  Bytes bytes = EncodeText(TextFormat::Utf8, u"Ответ: да");
  bytes.push_back(0xD0);  // the first byte of a letter, the rest lost
  EXPECT_EQ(Evidence(bytes).utf8Errors, 0u);
  EXPECT_EQ(Verdict(bytes), Name(TextFormat::Utf8));
}

TEST(DetectEncodingTest, Utf8ErrorsAreCountedOneByOne) {
  struct Case {
    Bytes bytes;
    uint64_t sequences;
    uint64_t errors;
  };
  const Case cases[] = {
      {{0xD0, 0x9F}, 1, 0},
      {{0xC0, 0xAF}, 0, 2},              // overlong lead, then a stray continuation
      {{0xE0, 0x80, 0x80}, 0, 3},        // overlong three-byte form
      {{0xED, 0xA0, 0x80}, 0, 3},        // a surrogate
      {{0xF4, 0x90, 0x80, 0x80}, 0, 4},  // beyond U+10FFFF
      {{0xF0, 0x9F, 0x98, 0x80}, 1, 0},  // U+1F600
      {{0xD0, 0x41, 0xD0, 0x9F}, 1, 1},  // a cut sequence; the next byte starts afresh
      {{0xD0, 0xD0, 0x9F}, 1, 1},
      {{0xFF, 0xFE, 0x80}, 0, 3},
  };
  for (const Case& c : cases) {
    const UnicodeEvidence e = Evidence(c.bytes);
    EXPECT_EQ(e.utf8Sequences, c.sequences) << c.bytes.size();
    EXPECT_EQ(e.utf8Errors, c.errors) << c.bytes.size();
  }
}

TEST(DetectEncodingTest, MalformedUtf8IsNotTakenForUtf8) {
  Bytes bytes = EncodeText(TextFormat::Utf8, u"Ответ: да, ");
  bytes.push_back(0xC0);  // an overlong form
  bytes.push_back(0xAF);
  EXPECT_NE(Verdict(bytes), Name(TextFormat::Utf8));
  EXPECT_NE(Verdict(EncodeText(TextFormat::Utf8, u"only ASCII here")), Name(TextFormat::Utf8));
}

// A text of `sequences` two-byte letters between spaces and `errors` stray
// bytes spread over it.
Bytes Utf8WithStrayBytes(int sequences, int errors) {
  Bytes bytes;
  const int every = errors > 0 ? sequences / errors : sequences + 1;
  int placed = 0;
  for (int i = 0; i < sequences; ++i) {
    const std::string letter = ToUtf8(std::u16string(1, static_cast<char16_t>(u'а' + i % 32)));
    bytes.insert(bytes.end(), letter.begin(), letter.end());
    if (i % 5 == 4) bytes.push_back(' ');
    if (placed < errors && i % every == every - 1) {
      bytes.push_back(0xEE);  // 'о' of code page 1251
      bytes.push_back(' ');
      ++placed;
    }
  }
  return bytes;
}

TEST(DetectEncodingTest, DamagedUtf8IsStillUtf8) {
  // A handful of stray bytes among thousands of sequences.
  Bytes bytes = EncodeText(TextFormat::Utf8, kProse + kNotice + kCSource + kProse + kProse);
  std::mt19937 random(17);
  for (int i = 0; i < 5; ++i) {
    bytes[random() % bytes.size()] = static_cast<uint8_t>(i % 2 == 0 ? 0xFF : 0xE0);
  }
  EXPECT_GT(Evidence(bytes).utf8Errors, 0u);
  EXPECT_EQ(Verdict(bytes), Name(TextFormat::Utf8));

  // The limit: one error per kUtf8SequencesPerError sequences.
  const int sequences = 64 * static_cast<int>(kUtf8SequencesPerError);
  const Bytes atLimit = Utf8WithStrayBytes(sequences, 64);
  ASSERT_EQ(Evidence(atLimit).utf8Errors, 64u);
  ASSERT_EQ(Evidence(atLimit).utf8Sequences, static_cast<uint64_t>(sequences));
  EXPECT_TRUE(LooksLikeUtf8(Evidence(atLimit)));
  const Bytes beyond = Utf8WithStrayBytes(sequences, 65);
  ASSERT_EQ(Evidence(beyond).utf8Errors, 65u);
  EXPECT_FALSE(LooksLikeUtf8(Evidence(beyond)));
}

TEST(DetectEncodingTest, DamagedUtf8ReadsWithReplacementCharacters) {
  Bytes bytes = EncodeText(TextFormat::Utf8, kProse + kProse);
  size_t damaged = 100;  // a continuation byte inside a word, so one letter is lost
  while (bytes[damaged] < 0x80 || bytes[damaged] >= 0xC0) ++damaged;
  bytes[damaged] = 0xFF;
  TempDir dir;
  WriteFileBytes(dir / "t.txt", bytes);
  CWinFile file(WidenName((dir / "t.txt").c_str()), TextFormat::Auto);
  ASSERT_TRUE(file.Open(false));
  std::u16string text;
  for (;;) {
    const CodeUnit c = file.ReadChar();
    if (file.IsEOF()) break;
    if (c != u'\r') text += c;
  }
  EXPECT_EQ(file.GetEncoding(), TextFormat::Utf8);
  // The damaged letter (its lead byte and the stray byte) reads as two
  // replacement characters; everything else is intact.
  EXPECT_EQ(std::count(text.begin(), text.end(), u'\uFFFD'), 2);
  EXPECT_EQ(text.size(), 2 * kProse.size() + 1);
  EXPECT_EQ(text.substr(0, 40), kProse.substr(0, 40));
  EXPECT_EQ(text.substr(text.size() - kProse.size()), kProse);
}

TEST(DetectEncodingTest, DeclaredUnicodeNeverFallsBackToACodePage) {
  for (TextFormat format : kCodePages) {
    const Bytes bytes = EncodeText(format, kProse);
    EXPECT_EQ(Verdict(bytes, DetectionScope::UnicodeOnly), Name(TextFormat::Utf8));
  }
  EXPECT_EQ(Verdict({}, DetectionScope::UnicodeOnly), Name(TextFormat::Utf8));
  EXPECT_EQ(Verdict(EncodeText(TextFormat::Utf16le, kProse), DetectionScope::UnicodeOnly),
            Name(TextFormat::Utf16le));
  EXPECT_EQ(Verdict(EncodeText(TextFormat::Utf16le, kLatinOnly), DetectionScope::UnicodeOnly),
            Name(TextFormat::Utf16le));
  EXPECT_EQ(Verdict(EncodeText(TextFormat::Utf8, kProse), DetectionScope::UnicodeOnly),
            Name(TextFormat::Utf8));
}

// Texts in the single-byte code pages are never taken for Unicode: neither
// shape test fires on them.
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
  const std::u16string alphabet = u"абвгдежзийклмнопрстуфхцчшщъыьэюя";
  // Drawn with the generator the claim was checked with: a text of one
  // short word can be valid UTF-8 in a code page ("том" in CP866 is the
  // three bytes of one UTF-8 character), which no shape test can tell.
  std::mt19937 random(1987);
  for (int round = 0; round < 400; ++round) {
    std::u16string text;
    const int count = 1 + static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) text += words[random() % words.size()] + u" ";
    std::u16string lower;
    for (char16_t c : text) lower += (c >= u'А' && c <= u'Я') ? static_cast<char16_t>(c + 32) : c;
    const bool hasCyrillic = lower.find_first_of(alphabet) != std::u16string::npos;
    for (TextFormat format : kCodePages) {
      const UnicodeEvidence e = Evidence(EncodeText(format, text));
      EXPECT_FALSE(LooksLikeUtf8(e) && hasCyrillic) << round;
      EXPECT_FALSE(LooksLikeUtf16le(e)) << round;
    }
  }
}

// ---------------------------------------------------------------------------
// The code pages

TEST(ChooseCodePageTest, TiesGoTo866ThenTo1251) {
  EXPECT_EQ(ChooseCodePage({5, 5, 5}), TextFormat::Oem866);
  EXPECT_EQ(ChooseCodePage({6, 5, 5}), TextFormat::Win1251);
  EXPECT_EQ(ChooseCodePage({6, 5, 4}), TextFormat::Koi8r);
  EXPECT_EQ(ChooseCodePage({4, 5, 4}), TextFormat::Oem866);
  EXPECT_EQ(ChooseCodePage({7, 6, 7}), TextFormat::Win1251);
}

TEST(ScoreCodePagesTest, AsciiCostsTheSameUnderEveryPage) {
  const Bytes bytes = EncodeText(TextFormat::Win1251, kLatinOnly);
  const CodePageCosts costs = ScoreCodePages(bytes.data(), bytes.size());
  EXPECT_GT(costs[kPage866], 0);
  EXPECT_EQ(costs[kPage866], costs[kPage1251]);
  EXPECT_EQ(costs[kPage866], costs[kPageKoi8r]);
}

TEST(ScoreCodePagesTest, TheRightPageIsCheapestByFar) {
  // Every letter read under a wrong page costs about a factor of e or more.
  for (TextFormat format : kCodePages) {
    const Bytes bytes = EncodeText(format, kProse);
    const CodePageCosts costs = ScoreCodePages(bytes.data(), bytes.size());
    const int right = format == TextFormat::Oem866 ? kPage866
                      : format == TextFormat::Win1251 ? kPage1251 : kPageKoi8r;
    for (int page = 0; page < kDetectedPages; ++page) {
      if (page != right) {
        EXPECT_GT(costs[page] - costs[right], 16 * 300) << Name(format) << page;
      }
    }
  }
}

TEST(DetectEncodingTest, BoxDrawingOfCodePage866) {
  EXPECT_EQ(Verdict(EncodeText(TextFormat::Oem866, kDosScreen)), Name(TextFormat::Oem866));
  // The frames alone, without a single letter.
  std::u16string frames;
  for (char16_t c : kDosScreen) {
    if (!((c >= u'А' && c <= u'я') || c == u'ё')) frames += c;
  }
  EXPECT_EQ(Verdict(EncodeText(TextFormat::Oem866, frames)), Name(TextFormat::Oem866));
  // In 1251 and KOI8R the frames become '?' and spaces; the letters decide.
  EXPECT_EQ(Verdict(EncodeText(TextFormat::Win1251, kDosScreen)), Name(TextFormat::Win1251));
  EXPECT_EQ(Verdict(EncodeText(TextFormat::Koi8r, kDosScreen)), Name(TextFormat::Koi8r));
}

TEST(DetectEncodingTest, NoticesInCapitals) {
  const std::u16string notices[] = {
      kNotice, u"НЕ КУРИТЬ!", u"ВХОД ТОЛЬКО ДЛЯ ПЕРСОНАЛА", u"ОСТОРОЖНО, ОКРАШЕНО",
      u"ПРОГРАММА ДЛЯ БК-0011М. ЗАГРУЗКА С АДРЕСА 1000.",
  };
  for (const std::u16string& text : notices) {
    for (TextFormat format : kCodePages) {
      EXPECT_EQ(Verdict(EncodeText(format, text)), Name(format)) << NarrowName(
          std::wstring(text.begin(), text.end()));
    }
  }
}

TEST(DetectEncodingTest, Koi8rWithYoAsOtherSystemsWriteIt) {
  const std::u16string text =
      u"Ещё раз: всё, что пришлось отложить, ждёт нас в четверг. Её ответ придёт позже.";
  const Bytes bytes = EncodeText(TextFormat::Koi8rStandard, text);
  ASSERT_NE(std::find(bytes.begin(), bytes.end(), 0xA3), bytes.end());
  EXPECT_EQ(Verdict(bytes), Name(TextFormat::Koi8rStandard));
}

// Where standard KOI8-R and the BK's set differ, the bytes decide; where
// they do not, the text is the BK's.
TEST(ChooseKoi8SetTest, TheBytesWhereTheTwoSetsDiffer) {
  const std::pair<Bytes, TextFormat> cases[] = {
      {{0xD7, 0xD3, 0xA3, 0x20}, TextFormat::Koi8rStandard},            // "всё "
      {{0x20, 0xB3, 0xCC, 0xCB, 0xC1}, TextFormat::Koi8rStandard},      // " Ёлка"
      {{'a', 0x9A, 'b', 0x80, 0x81}, TextFormat::Koi8rStandard},        // nothing on the BK
      {{0xAA, 0xB5, 0xB5, 0xA3, 0x0A, 0xA6, 0xB5, 0xB9}, TextFormat::Koi8r},  // the BK's frame
      {{0xD7, 0x20, 0xB3, 0x20, 0xD7, 0xD7, 0xA3}, TextFormat::Koi8r},  // "в ↑ вв┐": one each
      {{0xC1, 0xC2, 0xA7, 0xA7, 0xBF}, TextFormat::Koi8r},  // the same in both
      {{0xC1, 0xC2, 0x20}, TextFormat::Koi8r},
  };
  for (const auto& [bytes, format] : cases) {
    EXPECT_EQ(ChooseKoi8Set(bytes.data(), bytes.size()), format) << ::testing::PrintToString(bytes);
  }
}

TEST(DetectEncodingTest, TypographyOfCodePage1251) {
  const std::u16string text =
      u"«Ёлка» — спектакль для детей… Билеты № 12–14 в кассе; © театр, 2001 г.";
  EXPECT_EQ(Verdict(EncodeText(TextFormat::Win1251, text)), Name(TextFormat::Win1251));
  EXPECT_EQ(Verdict(EncodeText(TextFormat::Oem866, text)), Name(TextFormat::Oem866));
  EXPECT_EQ(Verdict(EncodeText(TextFormat::Koi8r, text)), Name(TextFormat::Koi8r));
}

TEST(DetectEncodingTest, BkCodesMakeABkText) {
  // A BK editor text without one Cyrillic letter: zero bytes end its lines,
  // a space code indents it. Pseudo-graphics at 0xA0..0xBF would be letters
  // in 866.
  Bytes bk = {'M', 'E', 'N', 'U', 0x00, 0x03, 0xAA, 0xB5, 0xB5, 0xA3, 0x00,
              0x03, 0xB7, 'G', 'O', 0xB7, 0x00, 0x03, 0xA6, 0xB5, 0xB5, 0xB9, 0x00};
  EXPECT_EQ(Verdict(bk), Name(TextFormat::Koi8r));
  // An English Edasp text: nothing but the zero bytes tells it from a PC
  // text, which would be taken for 866.
  const Bytes english = {'R', 'E', 'A', 'D', ' ', 'M', 'E', 0x00, 'L', 'O', 'A', 'D', 0x00, 'G', 'O'};
  EXPECT_EQ(Verdict(english), Name(TextFormat::Koi8r));
  const CodePageCosts costs = ScoreCodePages(english.data(), english.size());
  EXPECT_EQ(costs[kPage866] - costs[kPageKoi8r], 2 * kBkCodeCost);
  EXPECT_EQ(costs[kPage1251] - costs[kPageKoi8r], 2 * kBkCodeCost);
  // Zero bytes that pad a PC text at its end are no BK codes.
  Bytes padded = EncodeText(TextFormat::Win1251, kShortNotes[2]);
  padded.resize(padded.size() + 200, 0x00);
  EXPECT_EQ(Verdict(padded), Name(TextFormat::Win1251));
  padded.back() = 0x1A;
  EXPECT_EQ(Verdict(padded), Name(TextFormat::Win1251));
}

TEST(DetectEncodingTest, BkEditorTextsComeOutAsKoi8r) {
  TempDir dir;
  {
    CBkFile bk(WidenName((dir / "t.edp").c_str()));
    ASSERT_TRUE(bk.Open(true));
    for (CodeUnit c : kProse) bk.WriteChar(c == u'\n' ? 0 : c);
  }
  EXPECT_EQ(DetectFile(ReadFileBytes(dir / "t.edp")).format, TextFormat::Koi8r);
}

// ---------------------------------------------------------------------------
// The tables

// The letters the tables assign to each byte are those the code pages hold.
TEST(DetectionTablesTest, LettersAgreeWithTheCharacterTables) {
  const std::u16string small = u"абвгдежзийклмнопрстуфхцчшщъыьэюяёіїєґў";
  const std::u16string capital = u"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯЁІЇЄҐЎ";
  for (int page = 0; page < kDetectedPages; ++page) {
    int letters = 0;
    for (int b = 0x80; b <= 0xFF; ++b) {
      const ByteClass c = CodePageBytes[page][b - 0x80];
      char16_t unicode;
      if (page == kPage866) {
        unicode = FindPcEncoding(TextFormat::Oem866)->Decode(static_cast<uint8_t>(b));
      } else if (page == kPage1251) {
        unicode = FindPcEncoding(TextFormat::Win1251)->Decode(static_cast<uint8_t>(b));
      } else if (b == 0xA3 || b == 0xB3) {
        unicode = b == 0xA3 ? u'ё' : u'Ё';  // KOI8-R's, where the BK has pseudo-graphics
      } else {
        unicode = BkToUnicode(static_cast<uint8_t>(b));
      }
      const size_t inSmall = small.find(unicode);
      const size_t inCapital = capital.find(unicode);
      if (inSmall == std::u16string::npos && inCapital == std::u16string::npos) {
        EXPECT_EQ(c.letterCase, kNoCase) << page << " " << b;
        EXPECT_TRUE(c.symbol < kFirstLetterSymbol || c.symbol >= kFirstLetterSymbol + kLetterSymbols);
        continue;
      }
      ++letters;
      const size_t index = inSmall != std::u16string::npos ? inSmall : inCapital;
      EXPECT_EQ(c.symbol, kFirstLetterSymbol + index) << page << " " << b;
      EXPECT_EQ(c.letterCase, inSmall != std::u16string::npos ? kSmallLetter : kCapitalLetter);
      EXPECT_EQ(c.cost, 0);
    }
    EXPECT_GE(letters, 64) << page;
  }
}

TEST(DetectionTablesTest, CommonPairsAreCheapAndImpossibleOnesDear) {
  auto letter = [](char16_t c) {
    return kFirstLetterSymbol + std::u16string(u"абвгдежзийклмнопрстуфхцчшщъыьэюя").find(c);
  };
  EXPECT_LT(PairCost[letter(u'с')][letter(u'т')], 48);  // "ст": more than one in twenty
  EXPECT_LT(PairCost[letter(u'н')][letter(u'о')], 48);
  EXPECT_GT(PairCost[letter(u'ъ')][letter(u'ы')], 96);  // "ъы": never
  EXPECT_GT(PairCost[kBoundarySymbol][letter(u'ь')], 96);  // no word starts with ь
  EXPECT_GT(PairCost[kBoundarySymbol][letter(u'ы')], PairCost[kBoundarySymbol][letter(u'в')] + 64);
  EXPECT_LT(PairCost[kBoxSymbol][kBoxSymbol], PairCost[kBoxSymbol][letter(u'а')]);
}

// ---------------------------------------------------------------------------
// BK files

#ifdef BK_CORPUS_DIR
std::vector<std::string> CorpusFiles(const std::string& dir, const std::string& suffix) {
  std::vector<std::string> files;
  DIR* listing = opendir(dir.c_str());
  if (listing == nullptr) return files;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(),
                                                    suffix) == 0) {
      files.push_back(dir + "/" + name);
    }
  }
  closedir(listing);
  return files;
}
#endif

// BK programs are no texts, but they must never be taken for Unicode. Most
// of them come out as KOI8R by their zero bytes and space codes, as the
// help text promises for BK files; which code page the others get says
// nothing (a screen picture full of 0xFF reads best as 866's no-break
// spaces).
TEST(DetectEncodingTest, BkProgramsKeepACodePageVerdict) {
#ifndef BK_CORPUS_DIR
  GTEST_SKIP() << "no BK corpus configured";
#else
  const std::vector<std::string> files = CorpusFiles(BK_CORPUS_DIR, ".bin");
  if (files.empty()) GTEST_SKIP() << "BK corpus not found";
  for (const std::string& path : files) {
    const Bytes bytes = ReadFileBytes(path);
    const size_t size = std::min(bytes.size(), kDetectionPrefix);
    const TextFormat format = DetectTextEncoding(bytes.data(), size, DetectionScope::AnyEncoding).format;
    EXPECT_FALSE(IsUnicode(format)) << path;
    EXPECT_FALSE(IsUnicode(previous_detection::Detect(bytes))) << path;
  }
#endif
}

TEST(DetectEncodingTest, BkEditorTextsOfTheCorpusAreKoi8r) {
#ifndef BK_CORPUS_DIR
  GTEST_SKIP() << "no BK corpus configured";
#else
  const std::string dir = std::string(BK_CORPUS_DIR) + "/../bktexts";
  std::vector<std::string> files;
  for (const char* suffix : {".VXT", ".EDP", ".TXT", ".DOC1"}) {
    for (const std::string& f : CorpusFiles(dir, suffix)) files.push_back(f);
  }
  if (files.empty()) GTEST_SKIP() << "BK texts not found";
  for (const std::string& path : files) {
    const Bytes bytes = ReadFileBytes(path);
    EXPECT_EQ(Verdict(bytes), Name(TextFormat::Koi8r)) << path;
    EXPECT_EQ(Name(DetectFile(bytes).format), Name(TextFormat::Koi8r)) << path;
  }
#endif
}

}  // namespace
