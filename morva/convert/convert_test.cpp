// ConvertToWin and ConvertToEdasp over in-memory files: layout rules (space
// codes, tabs, line ends, header) and the frame every routine shares.
#include "convert/convert.h"

#include <gtest/gtest.h>

#include "convert/memory_file_testing.h"
#include "support/random.h"

namespace {

using namespace std::string_literals;

using Routine = FileResult (*)(CBaseFile*, CBaseFile*, const ConversionOptions&);

std::u16string Convert(Routine routine, const std::u16string& text, int inputTab = 8,
                       ConversionOptions options = {}) {
  MemoryFile input(text);
  input.SetTabSize(inputTab);
  MemoryFile output;
  EXPECT_TRUE(routine(&input, &output, options).ok());
  EXPECT_FALSE(output.discarded);
  return output.written;
}

std::u16string Win(const std::u16string& text, int tab = 8) {
  return Convert(ConvertToWin, text, tab);
}
std::u16string Edasp(const std::u16string& text, int tab = 8) {
  return Convert(ConvertToEdasp, text, tab);
}
std::u16string Spaces(size_t n) { return std::u16string(n, u' '); }

// The worked examples run end to end on the real program; these are the
// finer points of the layout rules.
TEST(ConvertToWinTest, RunsOfSpaceCodesAndWhatEndsThem) {
  EXPECT_EQ(Win(u"A\x01\x08\x08" u"B"), std::u16string(u"A") + Spaces(1 + 64 + 64) + u"B");
  // A dropped control code or a tab ends the run too.
  EXPECT_EQ(Win(u"\x03\x1B\x02" u"B"), Spaces(5) + u"B");
  EXPECT_EQ(Win(u"\x01\t" u"B"), Spaces(8) + u"B");
  EXPECT_EQ(Win(u"a\x03\t" u"c", 4), std::u16string(u"a") + Spaces(3 + 4) + u"c");  // codes count as columns
  EXPECT_EQ(Win(u"ab\n\tc", 3), std::u16string(u"ab\n") + Spaces(3) + u"c");        // columns restart per line
  EXPECT_EQ(Win(u"\x40\x0D" u"ab"), u"@ab");  // not a header: read from the start
  EXPECT_EQ(Win(u"Z"), u"Z");                  // one byte is no header either
  // Kept tabs still count their columns for the tabs after them.
  ConversionOptions keep;
  keep.keepTabs = true;
  EXPECT_EQ(Convert(ConvertToWin, u"a\tb\x02\tc", 4, keep), u"a\tb  \tc");
}

// What ConvertToEdasp wrote, as a BK editor file gives it back to a reader:
// raw bytes as themselves, the line-end code unit 0 as a line feed.
std::u16string AsBkText(const std::u16string& written) {
  std::u16string text;
  for (char16_t c : written) text += c >= Raw(0) ? static_cast<char16_t>(c - Raw(0)) : c == 0 ? u'\n' : c;
  return text;
}

// Every run of blanks written to an Edasp file reads back as the same number
// of spaces, whichever column it starts at and however long it is.
TEST(ConvertToEdaspTest, RunsOfSpacesReadBackUnchanged) {
  for (size_t start = 1; start <= 17; ++start) {
    for (size_t run = 1; run <= 40; ++run) {
      const std::u16string line = std::u16string(start, u'x') + Spaces(run) + u"y";
      EXPECT_EQ(Win(AsBkText(Edasp(line))), line) << "start " << start << ", run " << run;
    }
  }
}

TEST(ConvertToEdaspTest, PairsAndMixedBlanks) {
  const std::u16string end(1, u'\0');  // the BK mapping turns code unit 0 into 0x0A
  EXPECT_EQ(Edasp(u"a\n\rb"), u"a" + end + u"b");
  EXPECT_EQ(Edasp(u"\r\r"), end + end);
  EXPECT_EQ(Edasp(u"\n\r\nx"), end + end + u"x");  // LF CR, then LF opens a new line end
  EXPECT_EQ(Edasp(std::u16string(u"a") + Spaces(15) + u"b"), std::u16string(u"a") + Raw(9) + Raw(9) + u"b");
  // Eight spaces ending at column 9: a tab to column 8, then the last space.
  EXPECT_EQ(Edasp(u"a \t b"), std::u16string(u"a") + Raw(9) + Raw(' ') + u"b");
  EXPECT_EQ(Edasp(u"abc \t"), u"abc");
  EXPECT_EQ(Edasp(u"a\x03" u"b"), u"a\x03" u"b");  // controls go to the BK mapping
}

std::u16string Standard(const std::u16string& text, int tab = 8) {
  return Convert(ConvertToEdaspStandard, text, tab);
}

TEST(ConvertToEdaspStandardTest, ZeroLineEndsAndPlainSpaces) {
  const std::u16string end(1, Raw(0x00));
  EXPECT_EQ(Standard(u"a\r\nb\n"), u"a" + end + u"b" + end);
  EXPECT_EQ(Standard(u"a\n\rb\rc"), u"a" + end + u"b" + end + u"c");  // LF CR, a lone CR
  EXPECT_EQ(Standard(u"\n\r\n\r\r"), end + end + end);
  // A zero byte pairs with nothing: a Vortex hard line end and a soft one
  // after it are two lines, as in the PC text.
  EXPECT_EQ(Standard(u"a\n\x00\x00" u"b"s), u"a" + end + end + end + u"b");
  // Tabs at the input's width, blanks at line ends and at the end dropped.
  EXPECT_EQ(Standard(u"ab\tc"), std::u16string(u"ab") + Spaces(6) + u"c");
  EXPECT_EQ(Standard(u"ab\tc", 3), std::u16string(u"ab") + Spaces(1) + u"c");
  EXPECT_EQ(Standard(u"  abc \t\n\t\n x \t"), Spaces(2) + u"abc" + end + end + u" x");
  EXPECT_EQ(Standard(std::u16string(u"a") + Spaces(300) + u"b"), std::u16string(u"a") + Spaces(300) + u"b");
  // Space codes of a BK text count as the PC outputs count them; the
  // editors' other control codes (highlighting) have no place here.
  EXPECT_EQ(Standard(u"A\x03\x02" u"B\x08"), std::u16string(u"A") + Spaces(19) + u"B");
  EXPECT_EQ(Standard(u"\x03\x1B\x02" u"B"), Spaces(5) + u"B");
  EXPECT_EQ(Standard(u"\x14x\x10\x01\t" u"y", 4), std::u16string(u"x") + Spaces(3) + u"y");
  EXPECT_EQ(Standard(u"\x40\x0C\x06\x00zzAB"s), u"AB");  // editor text header
  EXPECT_EQ(Standard(u""), u"");
}

// A BK or PC text gives the same standard Edasp file as the PC text that
// morva makes of it: the two ways from a Vortex file agree.
TEST(ConvertToEdaspStandardTest, SameAsThroughThePcText) {
  const char16_t alphabet[] = {u'a', u'я', u' ', u' ', u'\t', 0x01, 0x02, 0x03, 0x07,
                               0x08, 0x00, u'\n', 0x10, 0x14, 0x7F};
  Random random(12345);
  for (int sample = 0; sample < 500; ++sample) {
    std::u16string text;
    const size_t length = 1 + sample % 60;
    for (size_t i = 0; i < length; ++i) {
      text += alphabet[random.Below(sizeof alphabet / sizeof alphabet[0])];
    }
    const std::u16string direct = Standard(text);
    EXPECT_EQ(direct, Standard(Win(text))) << sample;
    // Nothing but characters, plain spaces and zero line ends, and no blank
    // before a line end.
    for (size_t i = 0; i < direct.size(); ++i) {
      const char16_t c = direct[i];
      EXPECT_TRUE(c == Raw(0x00) || c >= 0x20) << sample << " at " << i;
      if (c == Raw(0x00) && i > 0) {
        EXPECT_NE(direct[i - 1], u' ') << sample << " at " << i;
      }
    }
  }
}

// A reason and the file it names, as the driver gets them.
std::pair<FileError, std::wstring> Failure(const FileResult& result) {
  return {result.error, result.file};
}

TEST(ConversionFrameTest, FilesThatDoNotOpen) {
  for (auto routine : {ConvertToWin, ConvertToEdasp, ConvertToEdaspStandard, ConvertToVortex}) {
    MemoryFile badInput(u"x", L"in.txt");
    badInput.failOpen = true;
    MemoryFile output;
    EXPECT_EQ(Failure(routine(&badInput, &output, {})),
              std::make_pair(FileError::CannotOpen, std::wstring(L"in.txt")));
    EXPECT_EQ(output.openCount, 0) << "no output is created for an input that fails";

    MemoryFile input(u"x");
    MemoryFile badOutput(u"", L"out.edp");
    badOutput.failOpen = true;
    EXPECT_EQ(Failure(routine(&input, &badOutput, {})),
              std::make_pair(FileError::CannotOpen, std::wstring(L"out.edp")));

    // An input that names its own failure when it cannot be opened.
    MemoryFile damaged(u"x", L"set.bin");
    damaged.failOpen = true;
    damaged.readFailure = {FileError::PartMissing, L"set #000.bin"};
    EXPECT_EQ(Failure(routine(&damaged, &output, {})),
              std::make_pair(FileError::PartMissing, std::wstring(L"set #000.bin")));
    EXPECT_FALSE(input.openedForWrite);
    EXPECT_TRUE(badOutput.openedForWrite);
  }
}

TEST(ConversionFrameTest, FailedWritesAreReportedAndStopTheRoutine) {
  for (auto routine : {ConvertToWin, ConvertToEdasp, ConvertToEdaspStandard, ConvertToVortex}) {
    MemoryFile input(u"abc\ndef\nghi");
    MemoryFile output(u"", L"/nonexistent-morva-test/out.txt");
    output.writesBeforeFailure = 2;
    EXPECT_EQ(Failure(routine(&input, &output, {})),
              std::make_pair(FileError::CannotWrite, std::wstring(L"/nonexistent-morva-test/out.txt")));
    EXPECT_EQ(output.written.size(), 2u);
    EXPECT_TRUE(output.closed);
    EXPECT_TRUE(output.discarded);

    // Everything was buffered, but pushing it to the file at the close failed.
    MemoryFile input2(u"abc");
    MemoryFile output2(u"", L"/nonexistent-morva-test/full.txt");
    output2.failClose = true;
    EXPECT_EQ(
        Failure(routine(&input2, &output2, {})),
        std::make_pair(FileError::CannotWrite, std::wstring(L"/nonexistent-morva-test/full.txt")));
    EXPECT_TRUE(output2.discarded);
  }
}

TEST(ConversionFrameTest, InputThatStopsShortDiscardsTheOutput) {
  // The text read so far would make a plausible but cut-off output.
  for (auto routine : {ConvertToWin, ConvertToEdasp, ConvertToEdaspStandard, ConvertToVortex}) {
    MemoryFile input(u"abc\ndef");
    input.readFailure = {FileError::CannotRead, L"in.txt"};
    MemoryFile output;
    EXPECT_EQ(Failure(routine(&input, &output, {})),
              std::make_pair(FileError::CannotRead, std::wstring(L"in.txt")));
    EXPECT_TRUE(output.discarded);
  }
}

}  // namespace
