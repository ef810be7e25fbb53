// Edasp texts in the standard layout (output mode d) end to end: zero line
// ends, plain spaces, no tabs and no space codes; read back like any Edasp
// text; the run rules hold for them as for every output.
#include <gtest/gtest.h>

#include "support/morva_run.h"
#include "support/temp_dir.h"
#include "support/text_bytes.h"
#include "support/program_platform.h"

namespace {

// The console text without the lines that report the detected encoding of
// PC inputs, which the detection's own tests cover.
std::string WithoutReports(const std::string& out) {
  std::string kept;
  for (size_t start = 0; start < out.size();) {
    const size_t end =
        out.find('\n', start) == std::string::npos ? out.size() : out.find('\n', start) + 1;
    const std::string line = out.substr(start, end - start);
    if (line.rfind("Автоопределение кодировки: ", 0) != 0) kept += line;
    start = end;
  }
  return kept;
}

TEST(MorvaEdaspStandardTest, PcTextInTheStandardLayout) {
  TempDir dir;
  const std::u16string text =
      u"  Заголовок  \n\tа\tб   в\n\nеж" + std::u16string(100, u' ') + u"x  \n \t ";
  WriteFileBytes(dir / "a.txt", SingleByteFile(text, Charset::Cp1251, true));
  RunResult run = RunMorva(dir.path(), {"-iw", "-od", "a.txt"});
  EXPECT_EQ(WithoutReports(run.out),
            Announce("Windows 1251", "Edasp (стандарт)") + "a.txt -> a.edp\n" + Done(1));
  EXPECT_EQ(run.exitStatus, 0);
  // Tabs at the PC width of 4, blanks at line ends and at the end dropped,
  // and a line end after the last line that held only blanks.
  const Bytes expected = Join({Blanks(2),
                               Bk(u"Заголовок"),
                               {0x00},
                               Blanks(4),
                               Bk(u"а"),
                               Blanks(3),
                               Bk(u"б"),
                               Blanks(3),
                               Bk(u"в"),
                               {0x00, 0x00},
                               Bk(u"еж"),
                               Blanks(100),
                               Bk(u"x"),
                               {0x00}});
  EXPECT_EQ(ReadFileBytes(dir / "a.edp"), expected);

  // The input's tab width is the one given with -t.
  WriteFileBytes(dir / "t.txt", AsBytes("a\tb\r\n"));
  EXPECT_EQ(RunMorva(dir.path(), {"-iw", "-od", "-t", "8", "t.txt"}).exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(dir / "t.edp"), Join({Bk(u"a"), Blanks(7), Bk(u"b"), {0x00}}));
}

TEST(MorvaEdaspStandardTest, ReadBackLikeAnyEdaspText) {
  TempDir dir;
  // One text in the standard layout, one with LF line ends, a tab and codes.
  WriteFileBytes(dir / "std.edp", {'a', 0x00, ' ', ' ', 'b', 0x00});
  WriteFileBytes(dir / "tab.edp", {'a', 0x0A, 0x02, 'b', 0x0A, 0x09, 'c', 0x03, 0x01, 'd'});
  const RunResult run = RunMorva(dir.path(), {"-i", "d", "-o8", "std.edp", "tab.edp"});
  EXPECT_EQ(run.out, Announce("Edasp (стандарт)", "Unicode UTF-8") + "std.edp -> std.txt\n" +
                         "tab.edp -> tab.txt\n" + Done(2));
  EXPECT_EQ(ReadFileBytes(dir / "std.txt"), Utf8File(u"a\n  b\n"));
  const Bytes tab = Utf8File(u"a\n  b\n        c" + std::u16string(11, u' ') + u"d");
  EXPECT_EQ(ReadFileBytes(dir / "tab.txt"), tab);
  // Exactly as -i e reads them.
  EXPECT_EQ(RunMorva(dir.path(), {"-ie", "-o8", "tab.edp"}).exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(dir / "tab.txt"), tab);
}

// A Vortex or Edasp text goes straight into the standard layout, as it would
// through its PC text: codes and tabs become spaces, highlighting goes, and
// a hard line end followed by a soft one stays two lines.
TEST(MorvaEdaspStandardTest, BkTextsGiveWhatTheirPcTextGives) {
  TempDir dir;
  const Bytes vortex = {0x14, 'V', 0x10, 0x0A, 0x00, 0x02, 'a',  0x03, 0x01, 'b',
                        0x00, 'c', 0x05, 0x0A, 0x0A, 0x08, 0x08, 0x07, 'd',  0x0A};
  WriteFileBytes(dir / "t.vxt", vortex);
  EXPECT_EQ(RunMorva(dir.path(), {"-iv", "-od", "t.vxt"}).exitStatus, 0);
  const Bytes expected = {'V', 0x00, 0x00, ' ', ' ', 'a'};
  const Bytes direct = ReadFileBytes(dir / "t.edp");
  EXPECT_EQ(
      direct,
      Join({expected, Blanks(11), {'b', 0x00, 'c', 0x00, 0x00}, Blanks(8 + 64 + 56), {'d', 0x00}}));
  EXPECT_EQ(RunMorva(dir.path(), {"-iv", "-o8", "t.vxt"}).exitStatus, 0);
  EXPECT_EQ(RunMorva(dir.path(), {"-iu", "-od", "t.txt"}).exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(dir / "t.edp"), direct);

  // An Edasp text with a tab and a code into the standard layout, and back.
  const Bytes packed = {'x', 0x09, 'y', 0x04, 'z', 0x0A};
  WriteFileBytes(dir / "e.src", packed);
  EXPECT_EQ(RunMorva(dir.path(), {"-ie", "-od", "e.src"}).exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(dir / "e.edp"), Join({{'x'}, Blanks(7), {'y'}, Blanks(4), {'z', 0x00}}));
  EXPECT_EQ(RunMorva(dir.path(), {"-id", "-oe", "e.edp"}).exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(dir / "e.edp.edp"), packed);
}

TEST(MorvaEdaspStandardTest, RefusalsAndRunRules) {
  TempDir dir;
  WriteFileBytes(dir / "a.txt", AsBytes("text"));
  WriteFileBytes(dir / "a.edp", AsBytes("old"));
  RunResult run = RunMorva(dir.path(), {"-id", "-od", "a.edp"});
  EXPECT_EQ(run.out, Announce("Edasp (стандарт)", "Edasp (стандарт)") +
                         "Бессмысленное преобразование делать не будем.\n");
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_EQ(RunMorva(dir.path(), {"-iD", "-x", "a.edp"}).exitStatus, 2);

  // a.txt would write a.edp, an input of the same run.
  run = RunMorva(dir.path(), {"-iw", "-od", "a*"});
  EXPECT_EQ(WithoutReports(run.out),
            Announce("Windows 1251", "Edasp (стандарт)") + "a.edp -> a.edp.edp\n" +
                "Ошибка! a.txt не преобразован: a.edp - входной файл, он не будет перезаписан.\n" +
                Done(1, 1));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ReadFileBytes(dir / "a.edp"), AsBytes("old"));
  EXPECT_EQ(ReadFileBytes(dir / "a.edp.edp"), AsBytes("old"));

  // An output that cannot be written whole leaves the older file as it was.
  SKIP_FOR_WINDOWS_PROGRAMS("the rest needs a file-size limit (ulimit -f)");
  WriteFileText(dir / "big.txt", std::string(100000, 'x'));
  run = RunProgram("/bin/sh",
                   {"-c", "trap - XFSZ; ulimit -f 16; exec \"$0\" \"$@\"", MORVA_BINARY, "-iw",
                    "-od", "big.txt", "a.txt"},
                   RunOptions{dir.path(), {}, 60});
  EXPECT_NE(run.out.find("Ошибка! big.edp не записывается, неполный файл удалён.\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ReadFileBytes(dir / "a.edp"), AsBytes("text"));  // the other file still converted
  EXPECT_EQ(ListDirectory(dir.path()),
            (std::vector<std::string>{"a.edp", "a.edp.edp", "a.txt", "big.txt"}));
}

}  // namespace
