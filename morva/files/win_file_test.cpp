#include "files/win_file.h"
#include "files/file_testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/platform.h"
#include "support/random.h"
#include "support/temp_dir.h"

namespace {

std::string ReportLine(const std::string& detected, const std::string& used) {
  return "Автоопределение кодировки: " + detected + ", преобразование будет из: " + used + "\n";
}

// The report line the run prints from the file's read notes; empty when no
// detection ran.
std::string Report(const CWinFile& file) {
  const ReadNotes& notes = file.GetReadNotes();
  if (notes.detected == TextFormat::Auto) return "";
  return ReportLine(NarrowName(EncodingName(notes.detected)), NarrowName(EncodingName(notes.used)));
}

Bytes WriteText(TextFormat format, const std::u16string& text, TextFormat* used = nullptr) {
  TempDir dir;
  {
    CWinFile file(Wide(dir / "out.txt"), format);
    EXPECT_TRUE(file.Open(true));
    for (CodeUnit c : text) EXPECT_TRUE(file.WriteChar(c));
    if (used != nullptr) *used = file.GetEncoding();
    EXPECT_TRUE(file.Close());
  }
  return ReadFileBytes(dir / "out.txt");
}

std::u16string ReadBytes(TextFormat format, const Bytes& bytes) {
  TempDir dir;
  WriteFileBytes(dir / "in.txt", bytes);
  CWinFile file(Wide(dir / "in.txt"), format);
  EXPECT_TRUE(file.Open(false));
  return ReadAll(file);
}

TEST(EncodingNameTest, NamesEveryCode) {
  EXPECT_STREQ(EncodingName(TextFormat::Koi8r), L"KOI8R");
  EXPECT_STREQ(EncodingName(TextFormat::Oem866), L"OEM CP-866");
  EXPECT_STREQ(EncodingName(TextFormat::Win1251), L"Windows 1251");
  EXPECT_STREQ(EncodingName(TextFormat::Utf8), L"Unicode UTF-8");
  EXPECT_STREQ(EncodingName(TextFormat::Utf16le), L"Unicode UTF-16LE");
  EXPECT_STREQ(EncodingName(TextFormat::Utf16be), L"Unicode UTF-16BE");
  EXPECT_EQ(EncodingName(TextFormat::Auto), nullptr);
  EXPECT_EQ(EncodingName(static_cast<TextFormat>(9)), nullptr);
}

TEST(CWinFileTest, PcTabWidthIsFour) {
  CWinFile file(L"x", TextFormat::Auto);
  EXPECT_EQ(file.GetTabSize(), 4);
  file.SetTabSize(17);
  EXPECT_EQ(file.GetTabSize(), 4);
}

TEST(CWinFileWriteTest, EachEncodingWritesItsBytes) {
  const std::u16string text = u"Пр\nA";
  TextFormat used = TextFormat::Auto;
  EXPECT_EQ(WriteText(TextFormat::Auto, text, &used),
            (Bytes{0xFF, 0xFE, 0x1F, 0x04, 0x40, 0x04, 0x0D, 0x00, 0x0A, 0x00, 0x41, 0x00}));
  EXPECT_EQ(used, TextFormat::Utf16le);
  EXPECT_EQ(WriteText(TextFormat::Utf16le, text),
            (Bytes{0xFF, 0xFE, 0x1F, 0x04, 0x40, 0x04, 0x0D, 0x00, 0x0A, 0x00, 0x41, 0x00}));
  EXPECT_EQ(WriteText(TextFormat::Utf8, text),
            (Bytes{0xEF, 0xBB, 0xBF, 0xD0, 0x9F, 0xD1, 0x80, 0x0D, 0x0A, 0x41}));
  EXPECT_EQ(WriteText(TextFormat::Oem866, text), (Bytes{0x8F, 0xE0, 0x0D, 0x0A, 0x41}));
  EXPECT_EQ(WriteText(TextFormat::Win1251, text), (Bytes{0xCF, 0xF0, 0x0D, 0x0A, 0x41}));
  EXPECT_EQ(WriteText(TextFormat::Koi8r, text), (Bytes{0xF0, 0xD2, 0x0A, 0x41}));
  EXPECT_EQ(WriteText(TextFormat::Koi8rStandard, text), (Bytes{0xF0, 0xD2, 0x0A, 0x41}));
}

TEST(CWinFileWriteTest, EmptyOutputsHoldOnlyTheByteOrderMark) {
  EXPECT_EQ(WriteText(TextFormat::Utf8, u""), (Bytes{0xEF, 0xBB, 0xBF}));
  EXPECT_EQ(WriteText(TextFormat::Utf16le, u""), (Bytes{0xFF, 0xFE}));
  EXPECT_EQ(WriteText(TextFormat::Win1251, u""), Bytes{});
  EXPECT_EQ(WriteText(TextFormat::Koi8r, u""), Bytes{});
}

TEST(CWinFileWriteTest, CharactersTheEncodingLacks) {
  EXPECT_EQ(WriteText(TextFormat::Oem866, u"€ё№\r"), (Bytes{'?', 0xF1, 0xFC, 0x0D}));
  EXPECT_EQ(WriteText(TextFormat::Win1251, u"€ё░"), (Bytes{0x88, 0xB8, '?'}));
  // KOI8R is the BK set: ё is written as е, a carriage return as 0x00.
  EXPECT_EQ(WriteText(TextFormat::Koi8r, u"ё€\r\t"), (Bytes{0xC5, 0x20, 0x00, 0x09}));
  // Standard KOI8-R has ё, and its control codes are themselves.
  EXPECT_EQ(WriteText(TextFormat::Koi8rStandard, u"ёЁ€\r\t═"),
            (Bytes{0xA3, 0xB3, '?', 0x0D, 0x09, 0xA0}));
}

TEST(CWinFileWriteTest, CharactersOutsideTheBasicPlane) {
  const std::u16string smile = u"\U0001F600";  // a surrogate pair
  ASSERT_EQ(smile.size(), 2u);
  EXPECT_EQ(WriteText(TextFormat::Utf8, u"a" + smile + u"b"),
            (Bytes{0xEF, 0xBB, 0xBF, 'a', 0xF0, 0x9F, 0x98, 0x80, 'b'}));
  EXPECT_EQ(WriteText(TextFormat::Utf16le, smile), (Bytes{0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}));
  // One character, one substitute.
  EXPECT_EQ(WriteText(TextFormat::Win1251, u"a" + smile + u"b"), (Bytes{'a', '?', 'b'}));
  EXPECT_EQ(WriteText(TextFormat::Koi8r, u"a" + smile + u"b"), (Bytes{'a', ' ', 'b'}));
}

TEST(CWinFileWriteTest, LoneSurrogatesBecomeReplacementCharacters) {
  const Bytes bom = {0xEF, 0xBB, 0xBF};
  const Bytes fffd = {0xEF, 0xBF, 0xBD};
  auto utf8 = [&](std::initializer_list<Bytes> parts) {
    Bytes all = bom;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  EXPECT_EQ(WriteText(TextFormat::Utf8, u"\xD83D" u"A"), utf8({fffd, {'A'}}));
  EXPECT_EQ(WriteText(TextFormat::Utf8, u"\xDE00" u"A"), utf8({fffd, {'A'}}));
  EXPECT_EQ(WriteText(TextFormat::Utf8, u"\xD83D\xD83D\xDE00"),
            utf8({fffd, {0xF0, 0x9F, 0x98, 0x80}}));
  EXPECT_EQ(WriteText(TextFormat::Utf8, u"\xD83D\n"), utf8({fffd, {0x0D, 0x0A}}));
  EXPECT_EQ(WriteText(TextFormat::Utf8, u"A\xD83D"), utf8({{'A'}, fffd}));  // flushed on close
  EXPECT_EQ(WriteText(TextFormat::Win1251, u"\xDE00\xD83D"), (Bytes{'?', '?'}));
}

TEST(CWinFileWriteTest, CountsTheCharactersItReplaces) {
  struct Case {
    TextFormat format;
    std::u16string text;
    uint64_t count;
    char32_t first;
  };
  const std::u16string lonely = std::u16string(u"a") + u'\xD800' + u"b" + u'\xDC00';
  const Case cases[] = {
      {TextFormat::Oem866, u"«Ёж» — №1 ☺", 4, U'«'},       // № and Ё are in 866
      {TextFormat::Win1251, u"«Ёж» — №1 ☺", 1, U'☺'},
      {TextFormat::Win1251, u"Ḁ\U0001F600", 2, U'Ḁ'},
      {TextFormat::Oem866, u"?\U0001F600?", 1, U'\U0001F600'},  // a real '?' is no substitute
      {TextFormat::Koi8r, u"Ёлка ёлка і", 3, U'Ё'},
      {TextFormat::Koi8rStandard, u"Ёлка ёлка і", 1, U'і'},
      {TextFormat::Utf8, u"«Ёж» \U0001F600", 0, 0},
      {TextFormat::Utf8, lonely, 2, 0xD800},
      {TextFormat::Utf16le, lonely, 0, 0},  // UTF-16 holds any unit
      // U+FFFD stands for input that did not decode.
      {TextFormat::Utf8, u"a\uFFFDb\uFFFD", 2, 0xFFFD},
      {TextFormat::Utf16le, u"\uFFFD\n", 1, 0xFFFD},
      {TextFormat::Utf16be, u"«Ёж»", 0, 0},
  };
  for (const Case& c : cases) {
    TempDir dir;
    CWinFile file(Wide(dir / "o"), c.format);
    ASSERT_TRUE(file.Open(true));
    for (CodeUnit u : c.text) file.WriteChar(u);
    file.Close();
    EXPECT_EQ(file.GetReplacedCount(), c.count) << static_cast<int>(c.format);
    EXPECT_EQ(file.GetFirstReplaced(), c.first) << static_cast<int>(c.format);
  }
  // A high half left over at the close is replaced there.
  TempDir dir;
  CWinFile file(Wide(dir / "o"), TextFormat::Utf8);
  ASSERT_TRUE(file.Open(true));
  file.WriteChar(u'x');
  file.WriteChar(0xD83D);
  EXPECT_EQ(file.GetReplacedCount(), 0u);
  file.Close();
  EXPECT_EQ(file.GetReplacedCount(), 1u);
}

TEST(CWinFileWriteTest, AFullDiskIsReported) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  for (TextFormat format : {TextFormat::Koi8r, TextFormat::Oem866, TextFormat::Win1251,
                            TextFormat::Utf8, TextFormat::Utf16le}) {
    CWinFile file(L"/dev/full", format);
    ASSERT_TRUE(file.Open(true));
    bool allWritten = true;
    for (int i = 0; i < 1 << 16; ++i) allWritten = file.WriteChar(u'ж') && allWritten;
    EXPECT_FALSE(allWritten) << static_cast<int>(format);
    EXPECT_FALSE(file.Close()) << static_cast<int>(format);
  }
  CWinFile pending(L"/dev/full", TextFormat::Utf8);
  ASSERT_TRUE(pending.Open(true));
  EXPECT_TRUE(pending.WriteChar(0xD83D));
  EXPECT_FALSE(pending.Close());
}

TEST(CWinFileWriteTest, UnwritableOutputDoesNotOpen) {
  TempDir dir;
  CWinFile file(Wide(dir / "no/such/dir.txt"), TextFormat::Utf8);
  EXPECT_FALSE(file.Open(true));
  EXPECT_FALSE(file.WriteChar(u'a'));
}

TEST(CWinFileReadTest, SingleByteEncodings) {
  const Bytes bytes = {'A', 0x7F, 0x8F, 0xA3, 0xC1, 0xE0, 0xF1, 0x0D, 0x0A};
  EXPECT_EQ(ReadBytes(TextFormat::Koi8r, bytes), u"A\x7F ┐аЮЯ\r\n");
  EXPECT_EQ(ReadBytes(TextFormat::Koi8rStandard, bytes), u"A\x7F▐ёаЮЯ\r\n");
  EXPECT_EQ(ReadBytes(TextFormat::Oem866, bytes), u"A\x7FПг┴рё\r\n");
  EXPECT_EQ(ReadBytes(TextFormat::Win1251, bytes), u"A\x7FЏЈБас\r\n");
  EXPECT_EQ(ReadBytes(TextFormat::Win1251, {0x98}), u"\uFFFD");
}

TEST(CWinFileReadTest, Utf16le) {
  EXPECT_EQ(ReadBytes(TextFormat::Utf16le, {0xFF, 0xFE, 0x1F, 0x04, 0x0D, 0x00, 0x0A, 0x00}),
            u"П\r\n");
  // A byte-order mark is skipped only at the start.
  EXPECT_EQ(ReadBytes(TextFormat::Utf16le, {0x41, 0x00, 0xFF, 0xFE}), u"A\uFEFF");
  EXPECT_EQ(ReadBytes(TextFormat::Utf16le, {0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}),
            u"\U0001F600");
}

TEST(CWinFileReadTest, Utf16beByItsMark) {
  const Bytes bytes = {0xFE, 0xFF, 0x04, 0x1F, 0x00, 0x0D, 0x00, 0x0A,
                       0xD8, 0x3D, 0xDE, 0x00, 0x00, 0x41};
  for (TextFormat asked : {TextFormat::Auto, TextFormat::Utf16le, TextFormat::Utf8}) {
    TempDir dir;
    WriteFileBytes(dir / "be", bytes);
    CWinFile file(Wide(dir / "be"), asked);
    ASSERT_TRUE(file.Open(false));
    EXPECT_EQ(Report(file), ReportLine("Unicode UTF-16BE", "Unicode UTF-16BE"));
    EXPECT_EQ(file.GetEncoding(), TextFormat::Utf16be);
    EXPECT_EQ(file.Tell(), 2);
    EXPECT_EQ(ReadAll(file), u"П\r\n\U0001F600A");
  }
  // An explicit code page reads the mark as two characters of its own.
  TempDir dir;
  WriteFileBytes(dir / "be", bytes);
  CWinFile file(Wide(dir / "be"), TextFormat::Win1251);
  ASSERT_TRUE(file.Open(false));
  EXPECT_EQ(Report(file), ReportLine("Unicode UTF-16BE", "Windows 1251"));
  EXPECT_EQ(ReadAll(file).substr(0, 2), u"юя");
}

TEST(CWinFileWriteTest, Utf16beWritesItsMarkAndBigEndianUnits) {
  EXPECT_EQ(WriteText(TextFormat::Utf16be, u"Пр\nA"),
            (Bytes{0xFE, 0xFF, 0x04, 0x1F, 0x04, 0x40, 0x00, 0x0D, 0x00, 0x0A, 0x00, 0x41}));
  EXPECT_EQ(ReadBytes(TextFormat::Auto, WriteText(TextFormat::Utf16be, u"\U0001F600 ё")),
            u"\U0001F600 ё");
}

TEST(CWinFileReadTest, Utf16leEndOfFile) {
  TempDir dir;
  WriteFileBytes(dir / "u", {0xFF, 0xFE, 0x41, 0x00, 0x42});
  CWinFile file(Wide(dir / "u"), TextFormat::Utf16le);
  ASSERT_TRUE(file.Open(false));
  EXPECT_EQ(file.Tell(), 2);
  EXPECT_EQ(file.ReadChar(), u'A');
  // Half a unit at the end is not dropped silently.
  EXPECT_EQ(file.ReadChar(), 0xFFFD);
  EXPECT_FALSE(file.IsEOF());
  EXPECT_EQ(file.ReadChar(), 0xFFFF);
  EXPECT_TRUE(file.IsEOF());
}

TEST(CWinFileReadTest, Utf8ByteOrderMarkUnderModeU) {
  TempDir dir;
  WriteFileBytes(dir / "u8", {0xEF, 0xBB, 0xBF, 0xD0, 0x96, 'z'});
  CWinFile file(Wide(dir / "u8"), TextFormat::Utf16le);
  ASSERT_TRUE(file.Open(false));
  EXPECT_EQ(Report(file), ReportLine("Unicode UTF-8", "Unicode UTF-8"));
  EXPECT_EQ(file.GetEncoding(), TextFormat::Utf8);
  EXPECT_EQ(file.Tell(), 3);
  EXPECT_EQ(file.ReadChar(), u'Ж');
  EXPECT_EQ(file.Seek(0, SEEK_SET), 0);
  EXPECT_EQ(file.ReadChar(), 0xFEFF);  // the mark itself, read from the very start
}

TEST(CWinFileReadTest, ExplicitCodePagesAreNeverOverridden) {
  TempDir dir;
  // "Привет, мир" in 1251: detected as 1251.
  WriteFileBytes(dir / "w", {0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2, 0x2C, 0x20, 0xEC, 0xE8, 0xF0});
  for (TextFormat requested : {TextFormat::Oem866, TextFormat::Koi8r}) {
    CWinFile file(Wide(dir / "w"), requested);
    ASSERT_TRUE(file.Open(false));
    EXPECT_EQ(file.GetEncoding(), requested);
    EXPECT_EQ(Report(file), ReportLine("Windows 1251", NarrowName(EncodingName(requested))));
  }
  // Asked for Unicode, the detection never falls back to a code page: the
  // bytes read as UTF-8, each one that does not fit as U+FFFD.
  for (TextFormat requested : {TextFormat::Utf8, TextFormat::Utf16le}) {
    CWinFile file(Wide(dir / "w"), requested);
    ASSERT_TRUE(file.Open(false));
    EXPECT_EQ(file.GetEncoding(), TextFormat::Utf8);
    EXPECT_EQ(Report(file), ReportLine("Unicode UTF-8", "Unicode UTF-8"));
    EXPECT_EQ(ReadAll(file), u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD, \uFFFD\uFFFD\uFFFD");
  }
  CWinFile file(Wide(dir / "w"), TextFormat::Auto);
  ASSERT_TRUE(file.Open(false));
  EXPECT_EQ(Report(file), ReportLine("Windows 1251", "Windows 1251"));
  EXPECT_EQ(ReadAll(file), u"Привет, мир");
}

TEST(CWinFileReadTest, ExplicitUnicodeFollowsTheOtherUnicodeForm) {
  TempDir dir;
  WriteFileBytes(dir / "u16", {0xFF, 0xFE, 0x41, 0x00});
  CWinFile file(Wide(dir / "u16"), TextFormat::Utf8);
  ASSERT_TRUE(file.Open(false));
  EXPECT_EQ(file.GetEncoding(), TextFormat::Utf16le);
  EXPECT_EQ(Report(file), ReportLine("Unicode UTF-16LE", "Unicode UTF-16LE"));
  EXPECT_EQ(ReadAll(file), u"A");
}

TEST(CWinFileReadTest, MissingFileDoesNotOpenAndReportsNothing) {
  TempDir dir;
  CWinFile file(Wide(dir / "missing.txt"), TextFormat::Auto);
  EXPECT_FALSE(file.Open(false));
  EXPECT_EQ(Report(file), "");
  EXPECT_TRUE(file.IsEOF());
  EXPECT_EQ(file.ReadChar(), 0);
}

// Bytes of a UTF-8 input (no byte-order mark) and the code units read.
struct Utf8Case {
  Bytes bytes;
  std::u16string units;
};

TEST(ReadUtf8CharTest, WellFormedAndMalformedSequences) {
  const std::vector<Utf8Case> cases = {
      {{'A', 0xC3, 0xA9, 0xE2, 0x82, 0xAC}, u"Aé€"},
      {{0xF0, 0x9F, 0x98, 0x80, 'x'}, u"\U0001F600x"},
      {{0xF4, 0x8F, 0xBF, 0xBF}, u"\U0010FFFF"},
      {{0x80, 'a'}, u"\uFFFDa"},                    // stray continuation byte
      {{0xBF, 0xBF}, u"\uFFFD\uFFFD"},
      // Each maximal broken piece is one U+FFFD; the byte that breaks a
      // sequence starts the next, so nothing after a stray byte is lost.
      {{0xC0, 0x80, 'a'}, u"\uFFFD\uFFFDa"},            // overlong NUL
      {{0xC1, 0xBF}, u"\uFFFD\uFFFD"},                  // overlong
      {{0xE0, 0x80, 0x80, 'a'}, u"\uFFFD\uFFFD\uFFFDa"},  // overlong
      {{0xED, 0xA0, 0x80, 'a'}, u"\uFFFD\uFFFD\uFFFDa"},  // encoded surrogate
      {{0xF4, 0x90, 0x80, 0x80, 'a'}, u"\uFFFD\uFFFD\uFFFD\uFFFDa"},  // above U+10FFFF
      {{0xF8, 0x88, 0x80, 0x80, 0x80, 'a'}, u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDa"},
      {{0xE2, 0x82, 0xFF, 'a'}, u"\uFFFD\uFFFDa"},
      {{0xD0, 'A', 'B'}, u"\uFFFDAB"},
      {{0xE2, 0x82, 'A', 'B'}, u"\uFFFDAB"},
      {{0xD0, 0x00, 'B'}, u"\uFFFD" + std::u16string(1, u'\0') + u"B"},
      {{0xF0, 0x9F, 0xD0, 0x96}, u"\uFFFDЖ"},
      {{0xFE, '1', '2', '3', '4', '5', '6', 'x'}, u"\uFFFD123456x"},
      {{0xFF, 0x80, 0x80}, u"\uFFFD\uFFFD\uFFFD"},
      {{0x00, 'a'}, std::u16string(1, u'\0') + u"a"},
      // Cut off by the end of the file: one replacement, nothing more.
      {{'a', 0xD0}, u"a\uFFFD"},
      {{0xF0, 0x9F, 0x98}, u"\uFFFD"},
      {{0xFE, '1', '2'}, u"\uFFFD12"},
  };
  for (const Utf8Case& c : cases) {
    TempDir dir;
    WriteFileBytes(dir / "u8", c.bytes);
    CWinFile file(Wide(dir / "u8"), TextFormat::Koi8r);  // opens without skipping anything
    ASSERT_TRUE(file.Open(false));
    std::u16string units;
    for (int guard = 0; guard < 100; ++guard) {
      const CodeUnit u = file.ReadUtf8Char();
      if (file.IsEOF()) break;
      units += u;
    }
    EXPECT_EQ(units, c.units) << ::testing::PrintToString(c.bytes);
  }
}

TEST(ReadUtf8CharTest, SurrogatePairsSurviveUtf8ToUtf16AndBack) {
  const Bytes bytes = {0xF0, 0x9F, 0x98, 0x80, 0xF0, 0x90, 0x80, 0x80, 0xD0, 0x96};
  const Bytes withBom = {0xEF, 0xBB, 0xBF, 0xF0, 0x9F, 0x98, 0x80, 0xF0, 0x90, 0x80, 0x80, 0xD0, 0x96};
  ASSERT_TRUE(std::equal(bytes.begin(), bytes.end(), withBom.begin() + 3));
  const std::u16string units = ReadBytes(TextFormat::Utf8, withBom);
  EXPECT_EQ(units, u"\U0001F600\U00010000Ж");
  EXPECT_EQ(WriteText(TextFormat::Utf8, units), withBom);
}

TEST(CWinFileReadTest, AnyBytesReadWithoutHarmInEveryEncoding) {
  Random random(20240607);
  for (int round = 0; round < 300; ++round) {
    Bytes bytes(random() % 48);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    if (round % 3 == 0) {  // mostly lead and continuation bytes
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(0x80 | (b & 0x7F));
    }
    TempDir dir;
    WriteFileBytes(dir / "r", bytes);
    for (TextFormat format : {TextFormat::Auto, TextFormat::Koi8r, TextFormat::Oem866,
                              TextFormat::Win1251, TextFormat::Utf8, TextFormat::Utf16le}) {
      CWinFile file(Wide(dir / "r"), format);
      ASSERT_TRUE(file.Open(false));
      // Every unit comes from at least one byte, or is the second half of a
      // pair made of four bytes, or the replacement of a cut-off tail.
      EXPECT_LE(ReadAll(file).size(), bytes.size() + 1);
    }
  }
}

}  // namespace
