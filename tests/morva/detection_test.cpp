// morva's encoding detection end to end: its own outputs read back right,
// input mode u forces Unicode, UTF-16BE by its mark, and the line that says
// how many characters an output could not hold.
#include <gtest/gtest.h>

#include "support/morva_run.h"
#include "support/temp_dir.h"
#include "support/text_bytes.h"

namespace {

const std::u16string kTexts[] = {
    u"Вечером мы сидели у печки и слушали, как за окном шумит ветер.\n",
    u"ПРОГРАММА ДЛЯ БК-0010. ЗАГРУЗКА С АДРЕСА 1000.\n",
    u"Купить хлеб и молоко.\n",
    u"; выход в монитор\n        HALT\n",
    u"Шановний колего, чекаю вас у суботу.\n",
    u"Очакваме вашите писма и въпроси.\n",
};

std::string Line(const std::string& in, const std::string& out) { return in + " -> " + out + "\n"; }

// Every output of morva in a code page is read back, in auto mode, as what
// it is, and converts back to the text it came from.
TEST(MorvaDetectionTest, ItsOwnOutputsReadBackRight) {
  struct Page {
    const char* letter;
    const char* name;
  };
  const Page pages[] = {{"-ow", "Windows 1251"}, {"-oo", "OEM CP-866"}, {"-ok", "KOI8R"}};
  for (const std::u16string& text : kTexts) {
    for (const Page& page : pages) {
      TempDir dir;
      WriteFileBytes(dir / "a.u8", Utf8File(text, true, false));
      const RunResult to = RunMorva(dir.path(), {page.letter, "a.u8"});
      ASSERT_EQ(to.exitStatus, 0);
      ASSERT_TRUE(FileExists(dir / "a.txt")) << to.out;
      const RunResult back = RunMorva(dir.path(), {"-o8", "a.txt"});
      EXPECT_EQ(back.out, std::string("Преобразование Авто -> Unicode UTF-8\n") +
                              Line("a.txt", "a.txt.txt") + EncodingReport(page.name, page.name) +
                              Done(1))
          << ToUtf8(text);
      EXPECT_EQ(ReadFileBytes(dir / "a.txt.txt"), Utf8File(text)) << ToUtf8(text);
    }
  }
}

// Standard KOI8-R (letter r) beside the BK's own KOI-8 (k): its ё, Ё and
// frame lines read right, found by themselves or asked for; written, it
// keeps them; a KOI-8 text without them is the BK's, which reads the same.
TEST(MorvaDetectionTest, StandardKoi8rBesideTheBksSet) {
  const std::u16string text = u"Ещё раз: Ёлка │ всё ─ ждёт.\n";
  const Bytes koi8r = SingleByteFile(text, Charset::Koi8r, false);
  const std::string standard = "KOI8R (стандарт)";
  for (const char* mode : {"-ia", "-ir"}) {
    TempDir dir;
    WriteFileBytes(dir / "r.txt", koi8r);
    const RunResult run = RunMorva(dir.path(), {mode, "-o8", "r.txt"});
    EXPECT_EQ(run.out.substr(run.out.find('\n') + 1),
              Line("r.txt", "r.txt.txt") + EncodingReport(standard, standard) + Done(1));
    EXPECT_EQ(ReadFileBytes(dir / "r.txt.txt"), Utf8File(text)) << mode;
  }
  TempDir dir;
  WriteFileBytes(dir / "u.u8", Utf8File(text, true, false));
  const RunResult to = RunMorva(dir.path(), {"-or", "u.u8"});
  EXPECT_EQ(to.out, "Преобразование Авто -> " + standard + "\n" + Line("u.u8", "u.txt") +
                        EncodingReport("Unicode UTF-8", "Unicode UTF-8") + Done(1));
  EXPECT_EQ(ReadFileBytes(dir / "u.txt"), koi8r);  // LF line ends, as KOI8-R files have
  // The BK's set keeps its own: ┐ and ↑ of a BK frame are no ё and Ё.
  const Bytes bk = {0xAA, 0xB5, 0xB5, 0xA3, 0x0A, 0xB7, 0xF0, 0xD2, 0xC9, 0xB7, 0x20, 0xB3, 0x0A};
  WriteFileBytes(dir / "bk.txt", bk);
  const RunResult run = RunMorva(dir.path(), {"-o8", "bk.txt"});
  EXPECT_NE(run.out.find(EncodingReport("KOI8R", "KOI8R")), std::string::npos) << run.out;
  EXPECT_EQ(ReadFileBytes(dir / "bk.txt.txt"), Utf8File(u"┌──┐\n│При│ ↑\n"));
}

TEST(MorvaDetectionTest, ModeUForcesUnicode) {
  // A UTF-8 text with one stray byte is still UTF-8, in auto mode too; the
  // stray byte alone becomes U+FFFD.
  std::u16string text;
  for (int i = 0; i < 40; ++i) text += kTexts[0];
  Bytes damaged = Utf8File(text, true, false);
  const size_t firstLine = Utf8File(kTexts[0], true, false).size();
  damaged.insert(damaged.begin() + firstLine, 0xFF);
  for (const char* mode : {"-ia", "-iu"}) {
    TempDir dir;
    WriteFileBytes(dir / "d.txt", damaged);
    const RunResult run = RunMorva(dir.path(), {mode, "-o8", "d.txt"});
    EXPECT_NE(run.out.find(EncodingReport("Unicode UTF-8", "Unicode UTF-8")), std::string::npos)
        << run.out;
    const std::u16string expected = kTexts[0] + u'\uFFFD' + text.substr(kTexts[0].size());
    EXPECT_EQ(ReadFileBytes(dir / "d.txt.txt"), Utf8File(expected)) << mode;
  }
  // A code-page text under -iu is read as UTF-8: undecodable bytes become
  // U+FFFD, never another code page.
  TempDir dir;
  WriteFileBytes(dir / "w.txt", SingleByteFile(u"Да!\n", Charset::Cp1251, true));
  const RunResult run = RunMorva(dir.path(), {"-iu", "-o8", "w.txt"});
  EXPECT_EQ(run.out, "Преобразование Unicode UTF-16LE -> Unicode UTF-8\n" +
                         Line("w.txt", "w.txt.txt") +
                         EncodingReport("Unicode UTF-8", "Unicode UTF-8") +
                         "Заменено символов: 2 (первый: \uFFFD).\n" + Done(1));
  EXPECT_EQ(ReadFileBytes(dir / "w.txt.txt"), Utf8File(u"\uFFFD\uFFFD!\n"));
}

TEST(MorvaDetectionTest, Utf16beWithItsMark) {
  const std::u16string text = u"Привет, BK!\n";
  Bytes be = {0xFE, 0xFF};
  for (char16_t c : WithCrLf(text)) {
    be.push_back(static_cast<uint8_t>(c >> 8));
    be.push_back(static_cast<uint8_t>(c & 0xFF));
  }
  TempDir dir;
  WriteFileBytes(dir / "be.txt", be);
  const RunResult run = RunMorva(dir.path(), {"-o8", "be.txt"});
  EXPECT_EQ(run.out, "Преобразование Авто -> Unicode UTF-8\n" + Line("be.txt", "be.txt.txt") +
                         EncodingReport("Unicode UTF-16BE", "Unicode UTF-16BE") + Done(1));
  EXPECT_EQ(ReadFileBytes(dir / "be.txt.txt"), Utf8File(text));
}

TEST(MorvaDetectionTest, EachFileSaysWhatItsOutputCouldNotHold) {
  TempDir dir;
  WriteFileBytes(dir / "a.txt", Utf8File(u"«Ёлка» — і…\n"));
  WriteFileBytes(dir / "b.txt", Utf8File(u"Ёлка\n"));
  WriteFileBytes(dir / "c.txt", Utf8File(u"a\u00A0b\n"));
  const RunResult run = RunMorva(dir.path(), {"-oe", "a.txt", "b.txt", "c.txt"});
  const std::string report = EncodingReport("Unicode UTF-8", "Unicode UTF-8");
  EXPECT_EQ(run.out, "Преобразование Авто -> Edasp\n" +  //
                         Line("a.txt", "a.edp") + report + "Заменено символов: 6 (первый: «).\n" +
                         Line("b.txt", "b.edp") + report + "Заменено символов: 1 (первый: Ё).\n" +
                         Line("c.txt", "c.edp") + report +
                         "Заменено символов: 1 (первый: U+00A0).\n" + Done(3));
  // The conversion itself is as before: spaces, and е for Ё.
  EXPECT_EQ(ReadFileBytes(dir / "a.edp"),
            (Bytes{' ', 0xE5, 0xCC, 0xCB, 0xC1, ' ', ' ', ' ', ' ', ' ', ' ', 0x0A}));
  // In a Unicode output, U+FFFD for bytes that did not decode: stray bytes
  // of a UTF-8 text, the odd last byte of a UTF-16LE one.
  Bytes stray = Utf8File(u"Ёлка и\n");
  stray.insert(stray.begin() + 5, 0xFF);
  stray.push_back(0xC0);
  WriteFileBytes(dir / "s.txt", stray);
  Bytes odd = Utf16File(u"Ёлка\n");
  odd.push_back('x');
  WriteFileBytes(dir / "o.txt", odd);
  const RunResult unicode = RunMorva(dir.path(), {"-o8", "s.txt", "o.txt"});
  EXPECT_EQ(unicode.out, "Преобразование Авто -> Unicode UTF-8\n" + Line("s.txt", "s.txt.txt") +
                             report + "Заменено символов: 2 (первый: \uFFFD).\n" +
                             Line("o.txt", "o.txt.txt") +
                             EncodingReport("Unicode UTF-16LE", "Unicode UTF-16LE") +
                             "Заменено символов: 1 (первый: \uFFFD).\n" + Done(2));
  EXPECT_EQ(ReadFileBytes(dir / "o.txt.txt"), Utf8File(u"Ёлка\n\uFFFD"));
  // Nothing replaced, nothing said.
  WriteFileBytes(dir / "d.txt", Utf8File(u"«Ёлка»\n"));
  const RunResult clean = RunMorva(dir.path(), {"-ow", "d.txt"});
  EXPECT_EQ(clean.out, "Преобразование Авто -> Windows 1251\n" + Line("d.txt", "d.txt.txt") +
                           report + Done(1));
}

}  // namespace
