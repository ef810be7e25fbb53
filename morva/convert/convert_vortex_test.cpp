// ConvertToVortex over in-memory files: hard and soft line ends chosen by
// look-ahead, base-8 space codes, and their read-back through ConvertToWin.
#include <gtest/gtest.h>

#include "convert/convert.h"
#include "convert/memory_file_testing.h"

namespace {

constexpr char16_t kSoft = Raw(0x00);
constexpr char16_t kHard = Raw(0x0A);

std::u16string Vortex(const std::u16string& text, int tab = 8) {
  MemoryFile input(text);
  input.SetTabSize(tab);
  MemoryFile output;
  ConvertToVortex(&input, &output, {});
  EXPECT_TRUE(input.closed);
  EXPECT_TRUE(output.closed);
  return output.written;
}

std::u16string Spaces(size_t n) { return std::u16string(n, u' '); }
// Joins pieces with +=: gcc 12 at -O3 takes chains of operator+ on strings
// for overlapping copies and warns.
template <class... Pieces>
std::u16string Join(const Pieces&... pieces) {
  std::u16string text;
  ((text += pieces), ...);
  return text;
}
std::u16string Codes(std::initializer_list<uint8_t> bytes) {
  std::u16string codes;
  for (uint8_t b : bytes) codes += Raw(b);
  return codes;
}

// The worked examples (paragraphs, empty lines, CR LF, space-code digits and
// their read-back) run end to end on the real program; these are the finer
// points of the look-ahead.
TEST(ConvertToVortexTest, IndentationDecidesAfterSentenceEnds) {
  // The normal indentation is the smallest seen: 2 here, so 2 is no deeper.
  EXPECT_EQ(Vortex(u"a\n  b.\n  c.\n    d"),
            Join(u"a", kSoft, Codes({2}), u"b.", kSoft, Codes({2}), u"c.", kHard, Codes({4}), u"d"));
  // Tabs count as indentation, at the input's width.
  EXPECT_EQ(Vortex(u"a\nb!\n\tc", 4), Join(u"a", kSoft, u"b!", kHard, Codes({4}), u"c"));
  // Blanks up to the end of the input make the last line end hard.
  EXPECT_EQ(Vortex(u"ab\ncd\n  \t "), Join(u"ab", kSoft, u"cd", kHard));
  EXPECT_EQ(Vortex(u"\n\n"), Codes({0x0A, 0x0A}));
  // Two codes hold at most 72 spaces; a longer run goes out as plain spaces,
  // at the start of a line too, and never as a third code.
  EXPECT_EQ(Vortex(Join(u"a", Spaces(72), u"b")), Join(u"a", Codes({8, 8}), u"b"));
  EXPECT_EQ(Vortex(Join(u"a", Spaces(73), u"b")), Join(u"a", std::u16string(73, Raw(' ')), u"b"));
  EXPECT_EQ(Vortex(Join(Spaces(200), u"b")), Join(std::u16string(200, Raw(' ')), u"b"));
  EXPECT_EQ(Vortex(Join(u"a\t", Spaces(70), u"b")), Join(u"a", std::u16string(77, Raw(' ')), u"b"));
}

TEST(ChooseVortexLineEndTest, LeavesTheInputWhereItWas) {
  MemoryFile input(u"ab\n    \n.x");
  ASSERT_TRUE(input.Open(false));
  for (int i = 0; i < 3; ++i) input.ReadChar();  // "ab\n"
  const uint32_t state = 2 | kVortexLineStart;
  const long long normal = 0;
  const CodeUnit last = u'.';
  EXPECT_EQ(ChooseVortexLineEnd(&input, state, normal, last), 0x0A);  // \n of the same kind
  EXPECT_EQ(input.Tell(), 3);
  EXPECT_FALSE(input.IsEOF());
  const uint32_t crState = 4;
  EXPECT_EQ(ChooseVortexLineEnd(&input, crState, normal, last), 0x0A);  // LF is a partner of CR;
                                                                      // deeper after '.'
  const CodeUnit letter = u'b';
  EXPECT_EQ(ChooseVortexLineEnd(&input, crState, normal, letter), 0x00);
  EXPECT_EQ(input.Tell(), 3);
  // At the end of the input the look-ahead answers hard and clears the end.
  for (int i = 0; i < 20; ++i) input.ReadChar();
  ASSERT_TRUE(input.IsEOF());
  input.Seek(10, SEEK_SET);
  EXPECT_EQ(ChooseVortexLineEnd(&input, crState, normal, letter), 0x0A);
  EXPECT_EQ(input.Tell(), 10);
  EXPECT_FALSE(input.IsEOF());
}

}  // namespace
