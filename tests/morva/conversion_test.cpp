// morva's conversions end to end: exact output bytes of the PC and Edasp
// writers, and round trips of a Russian text through the BK formats.
#include <gtest/gtest.h>

#include "support/morva_run.h"
#include "support/temp_dir.h"
#include "support/text_bytes.h"

namespace {

std::u16string Spaces(size_t n) { return std::u16string(n, u' '); }

// Converts `input` (written as in.<ext>) and returns the output file.
Bytes Convert(const std::vector<std::string>& options, const std::string& inputName,
              const Bytes& input, const std::string& outputName, std::string* console = nullptr) {
  TempDir dir;
  WriteFileBytes(dir / inputName, input);
  std::vector<std::string> args = options;
  args.push_back(inputName);
  const RunResult run = RunMorva(dir.path(), args);
  if (console != nullptr) *console = run.out;
  EXPECT_TRUE(FileExists(dir / outputName)) << run.out;
  return ReadFileBytes(dir / outputName);
}

Bytes FromEdasp(const Bytes& bk, const std::vector<std::string>& extra = {}) {
  std::vector<std::string> options = {"-ie", "-ou"};
  options.insert(options.end(), extra.begin(), extra.end());
  return Convert(options, "in.edp", bk, "in.txt");
}

TEST(MorvaToPcTest, SpaceCodesTabsAndLineEnds) {
  EXPECT_EQ(FromEdasp({'A', 0x03, 'B'}), Utf16File(u"A" + Spaces(3) + u"B"));
  EXPECT_EQ(FromEdasp({'A', 0x03, 0x02, 'B'}), Utf16File(u"A" + Spaces(19) + u"B"));
  EXPECT_EQ(FromEdasp({'A', 0x03, 0x0A, 0x02, 'B'}),
            Utf16File(u"A" + Spaces(3) + u"\n" + Spaces(2) + u"B"));
  EXPECT_EQ(FromEdasp({'a', 'b', 0x09, 'c'}), Utf16File(u"ab" + Spaces(6) + u"c"));
  EXPECT_EQ(FromEdasp(AsBytes("abcdefgh\tc")), Utf16File(u"abcdefgh" + Spaces(8) + u"c"));
  EXPECT_EQ(FromEdasp({'a', 'b', 0x09, 'c'}, {"-t", "3"}), Utf16File(u"ab" + Spaces(1) + u"c"));
  for (const char* ignored : {"1", "17", "x", "-4"}) {
    EXPECT_EQ(FromEdasp({'a', 0x09, 'c'}, {"-t", ignored}), Utf16File(u"a" + Spaces(7) + u"c"));
  }
  // BK characters, a zero byte as a line end, CRs and other controls dropped.
  EXPECT_EQ(FromEdasp({0xF0, 0xD2, 0xC9, 0x00, 0x7F, 0x0D, 0x0A, 0x1B, 'z'}),
            Utf16File(u"При\n\u25A0\nz"));
  EXPECT_EQ(FromEdasp({}), Utf16File(u""));
}

TEST(MorvaToPcTest, EditorTextHeaderIsSkipped) {
  Bytes withHeader = {0x40, 0x0C, 0x10, 0x00};
  withHeader.resize(16, 0x55);
  withHeader.insert(withHeader.end(), {'T', 'e', 'x', 't'});
  EXPECT_EQ(FromEdasp(withHeader), Utf16File(u"Text"));
  EXPECT_EQ(FromEdasp({0x40, 0x0C, 0xFF, 0x00, 'x'}), Utf16File(u""));
}

// A BK text saved as a BK file keeps the file's header in front: when its
// length word is the rest of the file, the text is read behind it, and a
// line says so. Any other first bytes are text.
TEST(MorvaToPcTest, BkFileHeaderInFrontOfATextIsSkipped) {
  const Bytes text = {0xF0, 0xD2, 0xC9, 0x0A, 'O', 'K'};  // "При\nOK"
  const Bytes saved = Join({{0x00, 0x02, 0x06, 0x00}, text});
  for (const char* mode : {"-ie", "-iv", "-id"}) {
    std::string console;
    EXPECT_EQ(Convert({mode, "-o8"}, "a.bin", saved, "a.txt", &console), Utf8File(u"При\nOK"));
    EXPECT_NE(console.find("a.bin -> a.txt\nФайл a.bin начинается с заголовка БК (адрес 01000, "
                           "длина 06): текст читается без него.\n"),
              std::string::npos)
        << console;
  }
  // Behind the file header, an editor text header still counts from the text.
  const Bytes withEditorHeader = {0x00, 0x02, 0x06, 0x00, 0x40, 0x0C, 0x05, 0x00, 'x', 'Y'};
  EXPECT_EQ(Convert({"-ie", "-o8"}, "b.bin", withEditorHeader, "b.txt"), Utf8File(u"Y"));
  // A length word that is not the rest of the file, or 0, is text.
  std::string console;
  EXPECT_EQ(
      Convert({"-ie", "-o8"}, "c.edp", Join({{'A', 'B', 0x07, 0x00}, text}), "c.txt", &console),
      Utf8File(u"AB" + Spaces(7) + u"\nПри\nOK"));
  EXPECT_EQ(console.find("заголовка"), std::string::npos) << console;
  EXPECT_EQ(Convert({"-ie", "-o8"}, "d.edp", {'A', 'B', 0x00, 0x00}, "d.txt"), Utf8File(u"AB\n\n"));
}

TEST(MorvaToPcTest, OutputEncodingsAndTheirLineEnds) {
  const Bytes bk = {0xF0, 0xD2, 0xC9, 0xD7, 0xC5, 0xD4, 0x0A, 'O', 'K'};  // "Привет\nOK"
  const std::u16string text = u"Привет\nOK";
  EXPECT_EQ(Convert({"-ie", "-o8"}, "a.edp", bk, "a.txt"), Utf8File(text));
  EXPECT_EQ(Convert({"-ie", "-ow"}, "a.edp", bk, "a.txt"),
            SingleByteFile(text, Charset::Cp1251, true));
  EXPECT_EQ(Convert({"-ie", "-oo"}, "a.edp", bk, "a.txt"),
            SingleByteFile(text, Charset::Cp866, true));
  EXPECT_EQ(Convert({"-ie", "-ok"}, "a.edp", bk, "a.txt"), bk);  // LF stays LF in KOI8R
}

// Between two PC encodings a tab stays a tab (a TSV table, a Makefile),
// unless -t asks for spaces at its width; from a BK text, tabs become
// spaces as before.
TEST(MorvaToPcTest, TabsBetweenPcEncodings) {
  const Bytes tsv = AsBytes("name\tsize\r\nprog\t512\r\n\tx\r\n");
  const std::u16string text = u"name\tsize\nprog\t512\n\tx\n";
  EXPECT_EQ(Convert({"-iw", "-oo"}, "a.tsv", tsv, "a.txt"), tsv);
  EXPECT_EQ(Convert({"-o8"}, "a.tsv", tsv, "a.txt"), Utf8File(text));
  EXPECT_EQ(Convert({"-io", "-or"}, "a.tsv", tsv, "a.txt"), AsBytes("name\tsize\nprog\t512\n\tx\n"));
  EXPECT_EQ(Convert({"-iu", "-ok"}, "a.txt", Utf16File(text), "a.txt.txt"),
            AsBytes("name\tsize\nprog\t512\n\tx\n"));
  for (const char* ignored : {"1", "17", "x"}) {
    EXPECT_EQ(Convert({"-iw", "-oo", "-t", ignored}, "a.tsv", tsv, "a.txt"), tsv) << ignored;
  }
  EXPECT_EQ(Convert({"-iw", "-oo", "-t", "4"}, "a.tsv", tsv, "a.txt"),
            AsBytes("name    size\r\nprog    512\r\n    x\r\n"));
  EXPECT_EQ(Convert({"-ie", "-ow"}, "a.edp", AsBytes("name\tsize"), "a.txt"),
            AsBytes("name    size"));
}

TEST(MorvaToPcTest, ByteOrderMarkOfTheInputIsNotCopied) {
  std::string console;
  const Bytes out = Convert({"-iu", "-o8"}, "a.txt", Utf16File(u"Привет\nмир"), "a.txt.txt",
                            &console);
  EXPECT_EQ(out, Utf8File(u"Привет\nмир"));
  EXPECT_NE(console.find(EncodingReport("Unicode UTF-16LE", "Unicode UTF-16LE")),
            std::string::npos) << console;
}

TEST(MorvaToEdaspTest, RunsOfSpacesAndLineEnds) {
  auto edasp = [](const std::u16string& text) {
    return Convert({"-iw", "-oe"}, "a.txt", SingleByteFile(text, Charset::Cp1251, false), "a.edp");
  };
  EXPECT_EQ(edasp(u"a\r\nb"), (Bytes{'a', 0x0A, 'b'}));
  EXPECT_EQ(edasp(u"\n\n"), (Bytes{0x0A, 0x0A}));
  EXPECT_EQ(edasp(u"\r\n\r\n"), (Bytes{0x0A, 0x0A}));
  EXPECT_EQ(edasp(u"ab      c"), (Bytes{'a', 'b', 0x09, 'c'}));
  EXPECT_EQ(edasp(u"a  b"), (Bytes{'a', 0x02, 'b'}));
  EXPECT_EQ(edasp(u"a b"), (Bytes{'a', 0x20, 'b'}));
  // Long runs between tab stops: a tab to the last stop, then one code.
  EXPECT_EQ(edasp(u"a" + Spaces(10) + u"b"), (Bytes{'a', 0x09, 3, 'b'}));
  EXPECT_EQ(edasp(u"a" + Spaces(14) + u"b"), (Bytes{'a', 0x09, 7, 'b'}));
  EXPECT_EQ(edasp(u"abc" + Spaces(22) + u"d"), (Bytes{'a', 'b', 'c', 0x09, 0x09, 0x09, ' ', 'd'}));
  EXPECT_EQ(edasp(u"abc   \nx  "), (Bytes{'a', 'b', 'c', 0x0A, 'x'}));
  EXPECT_EQ(edasp(u"a\tb"), (Bytes{'a', 0x03, 'b'}));  // PC tab width 4
  EXPECT_EQ(edasp(u"ёЁж"), (Bytes{0xC5, 0xE5, 0xD6}));
  EXPECT_EQ(edasp(u""), Bytes{});
  EXPECT_EQ(Convert({"-iw", "-oe", "-t", "3"}, "a.txt", AsBytes("a\tb"), "a.edp"),
            (Bytes{'a', 0x02, 'b'}));
}

// What a text looks like after a trip through a BK format and back: tabs
// expanded at the PC width of 4, ё as е, and blanks at line ends dropped
// by the editor formats (a BASIC listing keeps them).
std::u16string Normalised(const std::u16string& text, bool dropTrailingBlanks) {
  std::u16string out;
  std::u16string line;
  auto endLine = [&]() {
    while (dropTrailingBlanks && !line.empty() && line.back() == u' ') line.pop_back();
    out += line;
    line.clear();
  };
  for (char16_t c : text) {
    if (c == u'\n') {
      endLine();
      out += u'\n';
    } else if (c == u'\t') {
      line.append(4 - line.size() % 4, u' ');
    } else {
      line += c == u'ё' ? u'е' : c == u'Ё' ? u'Е' : c;
    }
  }
  endLine();
  return out;
}

struct Encoded {
  const char* letter;
  const char* detectedName;
  Bytes bytes;
};

std::vector<Encoded> Encodings(const std::u16string& text) {
  return {{"u", "Unicode UTF-8", Utf8File(text, false, false)},
          {"u", "Unicode UTF-8", Utf8File(text, true, true)},
          {"u", "Unicode UTF-16LE", Utf16File(text, false)},
          {"w", "Windows 1251", SingleByteFile(text, Charset::Cp1251, true)},
          {"o", "OEM CP-866", SingleByteFile(text, Charset::Cp866, false)},
          {"k", "KOI8R", SingleByteFile(text, Charset::BkKoi8, true)}};
}

std::u16string Sample() {
  std::u16string text = FromUtf8(std::string(
      reinterpret_cast<const char*>(ReadFileBytes(EXAMPLES_DIR "/privet.txt").data()),
      ReadFileBytes(EXAMPLES_DIR "/privet.txt").size()));
  text += u"Ёлка и ёж:\t\"пусто\"   \n\n  Съешь же ещё этих мягких французских булок.\n";
  return text;
}

TEST(MorvaRoundTripTest, EveryPcEncodingThroughEveryBkFormat) {
  const std::u16string text = Sample();
  ASSERT_GT(text.size(), 200u);
  const std::pair<const char*, const char*> formats[] = {
      {"e", "text.edp"}, {"d", "text.edp"}, {"v", "text.vxt"}, {"b", "text  .ASC.bin"}};
  for (const auto& [format, bkName] : formats) {
    for (bool automatic : {false, true}) {
      for (const Encoded& encoded : Encodings(text)) {
        SCOPED_TRACE(std::string(format) + " from " + encoded.detectedName +
                     (automatic ? " (detected)" : ""));
        TempDir dir;
        WriteFileBytes(dir / "text.pc", encoded.bytes);
        const std::string in = std::string("-i") + (automatic ? "a" : encoded.letter);
        const RunResult there = RunMorva(dir.path(), {in, std::string("-o") + format, "text.pc"});
        EXPECT_NE(there.out.find(EncodingReport(encoded.detectedName, encoded.detectedName)),
                  std::string::npos)
            << there.out;
        const RunResult back = RunMorva(dir.path(), {std::string("-i") + format, "-o8", bkName});
        const std::string result = format[0] == 'b' ? "text  .ASC.txt" : "text.txt";
        EXPECT_EQ(ReadFileBytes(dir / result), Utf8File(Normalised(text, format[0] != 'b')))
            << back.out;
      }
    }
  }
}

}  // namespace
