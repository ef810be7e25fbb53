// morva on Windows paths and files: stale parts removed but devices left
// alone, folder listings, and patterns and output names whose folders end in
// '\', '/' or a drive.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "files/asc_file.h"
#include "front/file_search.h"
#include "front/modes.h"
#include "system/platform.h"
#include "support/temp_dir.h"

namespace {

std::wstring Wide(const std::string& path) { return WidenName(path.c_str()); }

std::wstring Backslashed(std::wstring path) {
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

std::vector<std::wstring> Names(const std::vector<DirectoryEntry>& entries) {
  std::vector<std::wstring> names;
  for (const DirectoryEntry& entry : entries) names.push_back(entry.name);
  return names;
}

// Runs with the given folder as the current one, then goes back.
class InFolder {
 public:
  explicit InFolder(const std::string& folder) {
    GetCurrentDirectoryW(MAX_PATH, previous_);
    SetCurrentDirectoryW(Wide(folder).c_str());
  }
  ~InFolder() { SetCurrentDirectoryW(previous_); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  wchar_t previous_[MAX_PATH] = {};
};

TEST(WindowsStalePartTest, OnlyPlainFilesAreRemoved) {
  RemovePartialOutput(L"NUL");
  EXPECT_EQ(QueryFile(L"NUL").kind, FileKind::Other);

  TempDir dir;
  WriteFileText(dir / "half.txt", "ha");
  ASSERT_TRUE(CreateDirectoryW(Wide(dir / "folder").c_str(), nullptr));
  RemovePartialOutput(Wide(dir / "half.txt"));
  RemovePartialOutput(Wide(dir / "folder"));
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"folder"});
}

TEST(WindowsFolderTest, ListingsAndQueriesUnderEverySeparator) {
  TempDir dir;
  ASSERT_TRUE(CreateDirectoryW(Wide(dir / "sub").c_str(), nullptr));
  WriteFileText(dir / "sub/б.txt", "b");
  WriteFileText(dir / "sub/a.txt", "a");
  ASSERT_TRUE(CreateDirectoryW(Wide(dir / "sub/inner").c_str(), nullptr));
  for (const std::wstring& folder :
       {Wide(dir / "sub"), Wide(dir / "sub/"), Backslashed(Wide(dir / "sub")) + L"\\"}) {
    std::vector<DirectoryEntry> entries;
    ASSERT_TRUE(ReadDirectory(folder, &entries));
    std::vector<std::wstring> names = Names(entries);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"a.txt", L"inner", L"б.txt"}));
    for (const DirectoryEntry& entry : entries) EXPECT_EQ(entry.isDirectory, entry.name == L"inner");
  }
  std::vector<DirectoryEntry> none;
  EXPECT_FALSE(ReadDirectory(Wide(dir / "missing"), &none));
  bool isDirectory = true;
  EXPECT_TRUE(QueryPath(Backslashed(Wide(dir / "sub/a.txt")), &isDirectory));
  EXPECT_FALSE(isDirectory);
  EXPECT_TRUE(QueryPath(Backslashed(Wide(dir / "sub/inner")), &isDirectory));
  EXPECT_TRUE(isDirectory);
  EXPECT_FALSE(QueryPath(Wide(dir / "sub/*.txt"), &isDirectory));
  uint64_t size = 0;
  EXPECT_TRUE(QueryFileSize(Wide(dir / "sub/б.txt"), &size));
  EXPECT_EQ(size, 1u);
}

TEST(WindowsPatternTest, FolderPartEndsInBackslashSlashOrDrive) {
  TempDir dir;
  ASSERT_TRUE(CreateDirectoryW(Wide(dir / "my.texts").c_str(), nullptr));
  WriteFileText(dir / "my.texts/one.txt", "1");
  WriteFileText(dir / "my.texts/два.txt", "2");
  WriteFileText(dir / "my.texts/skip.edp", "3");
  const std::wstring backslashed = Backslashed(Wide(dir / "my.texts")) + L"\\";
  EXPECT_EQ(Names(ExpandPattern(backslashed + L"*.txt")),
            (std::vector<std::wstring>{backslashed + L"one.txt", backslashed + L"два.txt"}));

  InFolder inside(dir / "my.texts");
  wchar_t current[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 2u);
  const std::wstring drive(current, 2);  // such as Z:
  ASSERT_EQ(drive[1], L':');
  EXPECT_EQ(Names(ExpandPattern(drive + L"*.txt")),
            (std::vector<std::wstring>{drive + L"one.txt", drive + L"два.txt"}));
  EXPECT_EQ(Names(ExpandPattern(drive + L"on?.txt")), std::vector<std::wstring>{drive + L"one.txt"});
}

TEST(WindowsPatternTest, TheNamePartIgnoresLetterCaseInEveryAlphabet) {
  TempDir dir;
  for (const char* name : {"ALTHELP.EDP", "DBASIC.EDP", "Readme.Txt", "ЁЛКА.ТХТ", "x.edp2"}) {
    WriteFileText(dir / name, "x");
  }
  const std::wstring base = Backslashed(Wide(dir.path())) + L"\\";
  EXPECT_EQ(Names(ExpandPattern(base + L"*.edp")),
            (std::vector<std::wstring>{base + L"ALTHELP.EDP", base + L"DBASIC.EDP"}));
  EXPECT_EQ(Names(ExpandPattern(base + L"readme.*")), std::vector<std::wstring>{base + L"Readme.Txt"});
  EXPECT_EQ(Names(ExpandPattern(base + L"ёл?а.*т")), std::vector<std::wstring>{base + L"ЁЛКА.ТХТ"});
  // Small letters and their capitals: Latin, Greek, Cyrillic, whatever the
  // locale; nothing else is a pair.
  const std::pair<wchar_t, wchar_t> pairs[] = {
      {L'z', L'Z'}, {L'ä', L'Ä'}, {L'ÿ', L'Ÿ'}, {L'ł', L'Ł'}, {L'ω', L'Ω'}, {L'ς', L'Σ'},
      {L'ά', L'Ά'}, {L'я', L'Я'}, {L'ё', L'Ё'}, {L'ў', L'Ў'}, {L'ґ', L'Ґ'}, {L'ӏ', L'Ӏ'}};
  for (const auto& [small, capital] : pairs) {
    EXPECT_TRUE(SameNameCharacter(small, capital)) << int(small);
    EXPECT_TRUE(SameNameCharacter(capital, small)) << int(small);
  }
  for (const auto& [one, other] : std::vector<std::pair<wchar_t, wchar_t>>{
           {L'[', L'{'}, {L'×', L'÷'}, {L'Ё', L'Е'}, {L'ё', L'е'}, {L'1', L'!'}}) {
    EXPECT_FALSE(SameNameCharacter(one, other)) << int(one);
  }
}

TEST(WindowsOutputNameTest, DotsInFoldersAreNoExtensions) {
  ConversionJob job;
  job.outMode = L'E';
  for (const std::wstring folder : {L"my.texts\\", L"my.texts/", L"C:", L"c:\\my.texts\\"}) {
    job.inName = folder + L"notes";
    job.MakeOutputName();
    EXPECT_EQ(job.outName, folder + L"notes.edp");
    job.inName = folder + L"notes.txt";
    job.MakeOutputName();
    EXPECT_EQ(job.outName, folder + L"notes.edp");
  }
  // Windows names ignore case: the same extension in capitals is appended to.
  job.inName = L"ALTHELP.EDP";
  job.MakeOutputName();
  EXPECT_EQ(job.outName, L"ALTHELP.EDP.edp");
  EXPECT_TRUE(SameNameText(L".Тxt", L".тXT"));
  EXPECT_FALSE(SameNameText(L".txt", L".txt2"));
  job.outMode = L'B';
  job.inName = L"C:my.progs\\prog.bas";
  job.MakeOutputName();
  EXPECT_EQ(job.outName, L"C:my.progs\\prog  .ASC.bin");
  EXPECT_EQ(CBkAscFile::BaseNameFor(L"a.b\\programme.bas"), L"a.b\\progra.ASC");
  EXPECT_EQ(CBkAscFile::BaseNameFor(L"D:x.y"), L"D:x     .ASC");
}

}  // namespace
