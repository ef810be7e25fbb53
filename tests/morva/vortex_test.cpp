// Vortex editor texts end to end: hard and soft line ends, space codes,
// and reading them back into PC text.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/morva_run.h"
#include "support/temp_dir.h"
#include "support/text_bytes.h"

namespace {

Bytes ToVortex(const std::string& text) {
  TempDir dir;
  WriteFileBytes(dir / "a.txt", AsBytes(text));
  const RunResult run = RunMorva(dir.path(), {"-iw", "-ov", "a.txt"});
  EXPECT_TRUE(FileExists(dir / "a.vxt")) << run.out;
  return ReadFileBytes(dir / "a.vxt");
}

TEST(MorvaVortexTest, ParagraphsAndLineEnds) {
  EXPECT_EQ(ToVortex("    Xxx.\nyyy.\n    Zzz\n"),
            (Bytes{4, 'X', 'x', 'x', '.', 0x00, 'y', 'y', 'y', '.', 0x0A, 4, 'Z', 'z', 'z', 0x0A}));
  EXPECT_EQ(ToVortex("    Xxx,\nyyy,\n    Zzz"),
            (Bytes{4, 'X', 'x', 'x', ',', 0x00, 'y', 'y', 'y', ',', 0x00, 4, 'Z', 'z', 'z'}));
  EXPECT_EQ(ToVortex("ab\ncd"), (Bytes{'a', 'b', 0x00, 'c', 'd'}));
  EXPECT_EQ(ToVortex("ab\ncd\n"), (Bytes{'a', 'b', 0x00, 'c', 'd', 0x0A}));
  EXPECT_EQ(ToVortex("ab\n\ncd"), (Bytes{'a', 'b', 0x0A, 0x0A, 'c', 'd'}));
  EXPECT_EQ(ToVortex("ab\r\ncd\r\n"), (Bytes{'a', 'b', 0x00, 'c', 'd', 0x0A}));
  EXPECT_EQ(ToVortex("ab\r\n\r\ncd"), (Bytes{'a', 'b', 0x0A, 0x0A, 'c', 'd'}));
  EXPECT_EQ(ToVortex("ab\n   \ncd"), (Bytes{'a', 'b', 0x0A, 0x00, 'c', 'd'}));
  EXPECT_EQ(ToVortex("a          b  "), (Bytes{'a', 2, 1, 'b'}));
  EXPECT_EQ(ToVortex(""), Bytes{});
}

TEST(MorvaVortexTest, SpaceCodesReadBackForRunsUpTo72) {
  TempDir dir;
  std::string text;
  for (int n = 1; n <= 72; ++n) text += "x" + std::string(n, ' ') + "y\n";
  WriteFileBytes(dir / "runs.txt", AsBytes(text));
  RunMorva(dir.path(), {"-iw", "-ov", "runs.txt"});
  const Bytes vortex = ReadFileBytes(dir / "runs.vxt");
  // Spot checks of the digits, least significant first.
  const std::pair<int, Bytes> digits[] = {{5, {5}},     {9, {1, 1}},  {16, {8, 1}},
                                          {19, {3, 2}}, {64, {8, 7}}, {72, {8, 8}}};
  for (const auto& [n, codes] : digits) {
    Bytes line = {'x'};
    line.insert(line.end(), codes.begin(), codes.end());
    line.push_back('y');
    EXPECT_NE(std::search(vortex.begin(), vortex.end(), line.begin(), line.end()), vortex.end())
        << n;
  }
  const RunResult back = RunMorva(dir.path(), {"-iv", "-o8", "runs.vxt"});
  EXPECT_EQ(back.out, "Преобразование Vortex -> Unicode UTF-8\nruns.vxt -> runs.txt\n" + Done(1));
  EXPECT_EQ(ReadFileBytes(dir / "runs.txt"), Utf8File(FromUtf8(text)));
}

// Every run of 1 to 200 spaces, after 0 to 80 characters, comes back from a
// trip to the PC and back exactly as it was: the same codes, or the same
// plain spaces.
TEST(MorvaVortexTest, EveryRunComesBackFromThePc) {
  constexpr int kLongestRun = 200;
  constexpr int kWidestColumn = 80;
  Bytes vortex;
  std::u16string text;
  for (int column = 0; column <= kWidestColumn; ++column) {
    for (int n = 1; n <= kLongestRun; ++n) {
      if (!vortex.empty()) {
        vortex.insert(vortex.end(), {0x0A, 0x0A});  // paragraphs: every line end is hard
        text += u"\n\n";
      }
      vortex.insert(vortex.end(), column, 'x');
      const Bytes run = VortexSpaceRun(n);
      vortex.insert(vortex.end(), run.begin(), run.end());
      vortex.push_back('y');
      text += std::u16string(column, u'x') + std::u16string(n, u' ') + u"y";
    }
  }
  vortex.push_back(0x0A);
  text += u"\n";

  TempDir dir;
  WriteFileBytes(dir / "runs.vxt", vortex);
  EXPECT_EQ(RunMorva(dir.path(), {"-iv", "-o8", "runs.vxt"}).exitStatus, 0);
  ASSERT_EQ(ReadFileBytes(dir / "runs.txt"), Utf8File(text));
  TempDir back;
  WriteFileBytes(back / "runs.txt", ReadFileBytes(dir / "runs.txt"));
  EXPECT_EQ(RunMorva(back.path(), {"-ov", "runs.txt"}).exitStatus, 0);
  const Bytes again = ReadFileBytes(back / "runs.vxt");
  EXPECT_TRUE(again == vortex)
      << "the first difference is at byte "
      << std::mismatch(again.begin(), again.end(), vortex.begin(), vortex.end()).first -
             again.begin();
  // No run anywhere holds three codes in a row.
  for (size_t i = 2; i < again.size(); ++i) {
    const bool threeCodes = again[i - 2] >= 1 && again[i - 2] <= 8 && again[i - 1] >= 1 &&
                            again[i - 1] <= 8 && again[i] >= 1 && again[i] <= 8;
    ASSERT_FALSE(threeCodes) << "at byte " << i;
  }
}

}  // namespace
