// Wildcard matching and the expansion of file arguments on a real directory.
#include "front/file_search.h"

#include <gtest/gtest.h>
#include <filesystem>

#include "support/temp_dir.h"

namespace {

TEST(MatchWildcardTest, StarsAndQuestionMarks) {
  EXPECT_TRUE(MatchWildcard(L"*", L""));
  EXPECT_TRUE(MatchWildcard(L"*.txt", L"a.txt"));
  EXPECT_TRUE(MatchWildcard(L"*.txt", L".txt"));
  EXPECT_TRUE(MatchWildcard(L"*.txt", L"a.txt.txt"));
  EXPECT_FALSE(MatchWildcard(L"*.txt", L"a.txt.bak"));
#ifndef _WIN32  // Windows names ignore case (system/platform_win_test.cpp)
  EXPECT_FALSE(MatchWildcard(L"*.txt", L"a.TXT"));
#endif
  EXPECT_TRUE(MatchWildcard(L"a?c", L"abc"));
  EXPECT_FALSE(MatchWildcard(L"a?c", L"ac"));
  EXPECT_TRUE(MatchWildcard(L"т?кст*", L"текст.edp"));
  EXPECT_TRUE(MatchWildcard(L"*a*b*c*", L"xxaxxbxxcxx"));
  EXPECT_FALSE(MatchWildcard(L"*a*b*c*", L"xxaxxcxxbxx"));
  EXPECT_TRUE(MatchWildcard(L"abc", L"abc"));
  EXPECT_FALSE(MatchWildcard(L"abc", L"abcd"));
  EXPECT_FALSE(MatchWildcard(L"", L"a"));
  // Many stars against a long name that does not match: no blow-up.
  EXPECT_FALSE(MatchWildcard(std::wstring(30, L'*') + L"b", std::wstring(5000, L'a')));
}

std::vector<std::wstring> Names(const std::vector<DirectoryEntry>& entries) {
  std::vector<std::wstring> names;
  for (const DirectoryEntry& entry : entries) {
    names.push_back(entry.name + (entry.isDirectory ? L"/" : L""));
  }
  return names;
}

TEST(ExpandPatternTest, MatchesSortedWithTheDirectoryPart) {
  TempDir dir;
  for (const char* name : {"b.txt", "a.txt", "c.edp", "a.txt.txt", "Я.txt"}) {
    WriteFileText(dir / name, "x");
  }
  std::filesystem::create_directory(dir / "d.txt");
  const std::wstring base = WidenName(dir.path().c_str()) + L"/";
  std::vector<std::wstring> expected = {base + L"a.txt", base + L"a.txt.txt", base + L"b.txt",
                                        base + L"d.txt/", base + L"Я.txt"};
  EXPECT_EQ(Names(ExpandPattern(base + L"*.txt")), expected);
  EXPECT_EQ(Names(ExpandPattern(base + L"?.edp")), std::vector<std::wstring>{base + L"c.edp"});
  EXPECT_TRUE(ExpandPattern(base + L"*.vxt").empty());
  EXPECT_TRUE(ExpandPattern(base + L"missing.txt").empty());
  EXPECT_TRUE(ExpandPattern(base + L"nodir/*.txt").empty());
  EXPECT_TRUE(ExpandPattern(L"").empty());
  // A name given as it stands is taken literally, a directory too.
  EXPECT_EQ(Names(ExpandPattern(base + L"b.txt")), std::vector<std::wstring>{base + L"b.txt"});
  EXPECT_EQ(Names(ExpandPattern(base + L"d.txt")), std::vector<std::wstring>{base + L"d.txt/"});
}

TEST(ExpandPatternTest, AnExistingNameWithWildcardCharactersIsTakenLiterally) {
#ifdef _WIN32
  GTEST_SKIP() << "'*' and '?' cannot stand in a Windows file name";
#endif
  TempDir dir;
  WriteFileText(dir / "a*b.txt", "x");
  WriteFileText(dir / "ab.txt", "x");
  const std::wstring base = WidenName(dir.path().c_str()) + L"/";
  EXPECT_EQ(Names(ExpandPattern(base + L"a*b.txt")), std::vector<std::wstring>{base + L"a*b.txt"});
  EXPECT_EQ(ExpandPattern(base + L"a*.txt").size(), 2u);
}

}  // namespace
