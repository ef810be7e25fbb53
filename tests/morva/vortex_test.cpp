// Vortex editor texts end to end: hard and soft line ends, space codes,
// and reading them back into PC text.
#include <gtest/gtest.h>

#include "morva_run.h"

namespace {

Bytes ToVortex(const std::string& text) {
  TempDir dir;
  WriteFileBytes(dir / "a.txt", AsBytes(text));
  const RunResult run = Morva(dir, {"-iw", "-ov", "a.txt"});
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
  Morva(dir, {"-iw", "-ov", "runs.txt"});
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
  const RunResult back = Morva(dir, {"-iv", "-o8", "runs.vxt"});
  EXPECT_EQ(back.out, "Преобразование Vortex -> Unicode UTF-8\nruns.vxt -> runs.txt\n" + Done(1));
  EXPECT_EQ(ReadFileBytes(dir / "runs.txt"), Utf8File(FromUtf8(text)));
}

}  // namespace
