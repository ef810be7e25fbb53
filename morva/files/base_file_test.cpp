#include "files/base_file.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/platform.h"
#include "files/file_testing.h"
#include "support/temp_dir.h"

namespace {

TEST(CBaseFileTest, BaseOpensNothingAndReadsNothing) {
  TempDir dir;
  WriteFileText(dir / "a", "abc");
  CBaseFile file(Wide(dir / "a"));
  EXPECT_EQ(file.GetFileName(), Wide(dir / "a"));
  EXPECT_FALSE(file.Open(false));
  EXPECT_EQ(file.ReadChar(), 0);
  EXPECT_EQ(file.ReadByte(), 0);
  EXPECT_EQ(file.ReadWord(), 0);
  EXPECT_FALSE(file.WriteChar(u'a'));
  EXPECT_FALSE(file.WriteByte('a'));
  EXPECT_EQ(file.Tell(), 0);
  EXPECT_EQ(file.Seek(1, SEEK_SET), 0);
  EXPECT_TRUE(file.IsEOF());
  EXPECT_TRUE(file.Close());
}

TEST(CBaseFileTest, TabSizeAcceptsTwoToSixteenOnly) {
  CBkFile file(L"x");
  EXPECT_EQ(file.GetTabSize(), 8);
  for (int rejected : {0, 1, 17, -4}) {
    file.SetTabSize(rejected);
    EXPECT_EQ(file.GetTabSize(), 8) << rejected;
  }
  file.SetTabSize(2);
  EXPECT_EQ(file.GetTabSize(), 2);
  file.SetTabSize(16);
  EXPECT_EQ(file.GetTabSize(), 16);
}

TEST(CBkFileTest, ReadsThroughTheBkCharacterSet) {
  TempDir dir;
  WriteFileBytes(dir / "t.edp", {0x41, 0x7F, 0xC1, 0x0A, 0x85});
  CBkFile file(Wide(dir / "t.edp"));
  ASSERT_TRUE(file.Open(false));
  EXPECT_EQ(ReadAll(file), u"A\u25A0а\n ");
}

TEST(CBkFileTest, EmptyFileEndsAtTheFirstRead) {
  TempDir dir;
  WriteFileBytes(dir / "e", {});
  CBkFile file(Wide(dir / "e"));
  ASSERT_TRUE(file.Open(false));
  EXPECT_FALSE(file.IsEOF());  // nothing has run into the end yet
  EXPECT_EQ(file.ReadChar(), 0);
  EXPECT_TRUE(file.IsEOF());
}

TEST(CBkFileTest, WritesThroughTheBkCharacterSet) {
  TempDir dir;
  {
    CBkFile file(Wide(dir / "o"));
    ASSERT_TRUE(file.Open(true));
    for (CodeUnit c : std::u16string(u"Aё€\r\n\0е", 7)) EXPECT_TRUE(file.WriteChar(c));
    EXPECT_TRUE(file.WriteByte(0x1A));  // raw, not mapped
  }
  EXPECT_EQ(ReadFileBytes(dir / "o"), (Bytes{0x41, 0xC5, 0x20, 0x00, 0x0A, 0x0A, 0xC5, 0x1A}));
}

TEST(CBkFileTest, CountsTheCharactersItReplaces) {
  TempDir dir;
  CBkFile file(Wide(dir / "o"));
  ASSERT_TRUE(file.Open(true));
  EXPECT_EQ(file.GetReplacedCount(), 0u);
  // Control codes become look-alikes on purpose and count as nothing; ё
  // becomes е, « and € spaces, a character beyond the BMP two spaces but
  // one replacement.
  for (CodeUnit c : std::u16string(u"A\x01\t ЖЁ«ё€\U0001F600 ") + u"\u25A0") file.WriteChar(c);
  EXPECT_EQ(file.GetReplacedCount(), 5u);
  EXPECT_EQ(file.GetFirstReplaced(), U'Ё');
  ASSERT_TRUE(file.Commit(nullptr));
  EXPECT_EQ(ReadFileBytes(dir / "o"),
            (Bytes{0x41, 0x7F, 0x09, 0x20, 0xF6, 0xE5, 0x20, 0xC5, 0x20, 0x20, 0x20, 0x20, 0x7F}));

  CBkFile first(Wide(dir / "p"));
  ASSERT_TRUE(first.Open(true));
  for (CodeUnit c : std::u16string(u"ok \U0001F600«")) first.WriteChar(c);
  EXPECT_EQ(first.GetReplacedCount(), 2u);
  EXPECT_EQ(first.GetFirstReplaced(), U'\U0001F600');
}

TEST(CBkFileTest, MissingFileDoesNotOpen) {
  TempDir dir;
  CBkFile file(Wide(dir / "missing"));
  EXPECT_FALSE(file.Open(false));
  EXPECT_TRUE(file.IsEOF());
  EXPECT_EQ(file.ReadChar(), 0);
  EXPECT_FALSE(file.WriteChar(u'a'));
}

TEST(CBkFileTest, RawWordsAndPositions) {
  TempDir dir;
  WriteFileBytes(dir / "h", {0x40, 0x0C, 0x10, 0x00, 0x7A});
  CBkFile file(Wide(dir / "h"));
  ASSERT_TRUE(file.Open(false));
  EXPECT_EQ(file.ReadWord(), 006100);
  EXPECT_EQ(file.Tell(), 2);
  EXPECT_EQ(file.ReadWord(), 0x0010);
  EXPECT_EQ(file.ReadByte(), 0x7A);
  EXPECT_FALSE(file.IsEOF());
  EXPECT_EQ(file.ReadWord(), 0);  // nothing left
  EXPECT_TRUE(file.IsEOF());
  EXPECT_EQ(file.Seek(0, SEEK_SET), 0);
  EXPECT_FALSE(file.IsEOF());
  EXPECT_EQ(file.ReadByte(), 0x40);
}

TEST(CBkFileTest, OddByteAtTheEndGivesAZeroWord) {
  TempDir dir;
  WriteFileBytes(dir / "odd", {0x41});
  CBkFile file(Wide(dir / "odd"));
  ASSERT_TRUE(file.Open(false));
  EXPECT_EQ(file.ReadWord(), 0);
  EXPECT_TRUE(file.IsEOF());
}

TEST(CBkFileTest, AReadingLoopOverAnUnreadableStreamEnds) {
  // A directory opens for reading on POSIX systems, but every read fails.
  TempDir dir;
  CBkFile file(Wide(dir.path()));
  if (!file.Open(false)) GTEST_SKIP() << "directories do not open as files here";
  EXPECT_EQ(ReadAll(file), u"");
  EXPECT_TRUE(file.IsEOF());
}

TEST(CBkFileTest, OutputComesIntoPlaceOnlyWhole) {
  TempDir dir;
  WriteFileBytes(dir / "o", {'o', 'l', 'd'});
  const auto writeNew = [&dir](CBkFile& file) {
    ASSERT_TRUE(file.Open(true));
    for (CodeUnit c : std::u16string(u"new")) EXPECT_TRUE(file.WriteChar(c));
    EXPECT_EQ(ReadFileBytes(dir / "o"), (Bytes{'o', 'l', 'd'}));  // still the old file
  };
  {
    CBkFile file(Wide(dir / "o"));
    writeNew(file);
    file.Discard();
  }
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"o"});
  EXPECT_EQ(ReadFileBytes(dir / "o"), (Bytes{'o', 'l', 'd'}));
  try {
    CBkFile file(Wide(dir / "o"));
    writeNew(file);
    throw std::runtime_error("the conversion broke off");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"o"});
  EXPECT_EQ(ReadFileBytes(dir / "o"), (Bytes{'o', 'l', 'd'}));
  {
    CBkFile file(Wide(dir / "o"));
    writeNew(file);
    EXPECT_EQ(file.GetOutputNames(), std::vector<std::wstring>{Wide(dir / "o")});
    std::wstring failed;
    EXPECT_TRUE(file.Commit(&failed));
    EXPECT_EQ(ReadFileBytes(dir / "o"), (Bytes{'n', 'e', 'w'}));
  }
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"o"});
}

TEST(CBkFileTest, AFullDiskIsReported) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  CBkFile file(L"/dev/full");
  ASSERT_TRUE(file.Open(true));
  // stdio buffers the bytes; the failure shows once the buffer is flushed
  // (a write returns false) or at the latest when the file is closed.
  bool allWritten = true;
  for (int i = 0; i < 1 << 16; ++i) allWritten = file.WriteChar(u'a') && allWritten;
  EXPECT_FALSE(allWritten);
  EXPECT_FALSE(file.Close());

  CBkFile small(L"/dev/full");
  ASSERT_TRUE(small.Open(true));
  EXPECT_TRUE(small.WriteByte(1));  // still in the buffer
  EXPECT_FALSE(small.Close());
}

}  // namespace
