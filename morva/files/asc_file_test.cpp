// CBkAscFile on real files in a temporary directory: names, the header
// offset of Tell and Seek, the end of a set, sets that replace older ones.
#include "files/asc_file.h"
#include "files/file_testing.h"

#include <gtest/gtest.h>

#include "convert/convert.h"
#include "convert/memory_file_testing.h"
#include "common/platform.h"
#include "support/temp_dir.h"

namespace {

// Names of 2 and 7+ characters and Cyrillic names are checked end to end.
TEST(CBkAscFileTest, BaseNameIsSixCharactersPaddedWithSpaces) {
  EXPECT_EQ(CBkAscFile::BaseNameFor(L"sixsix.asc"), L"sixsix.ASC");
  EXPECT_EQ(CBkAscFile::BaseNameFor(L"noext"), L"noext .ASC");
  // A leading dot hides a name; the set is named by what shows.
  EXPECT_EQ(CBkAscFile::BaseNameFor(L".hidden.bas"), L"hidden.ASC");
  EXPECT_EQ(CBkAscFile::BaseNameFor(L"dir/..asc"), L"dir/asc   .ASC");
  EXPECT_EQ(CBkAscFile::BaseNameFor(L"..."), L"      .ASC");
  EXPECT_EQ(CBkAscFile::BaseNameFor(L"my.dir/listing.v2.asc"), L"my.dir/listin.ASC");
}

TEST(CBkAscFileTest, TellAndSeekSkipThePartHeader) {
  TempDir dir;
  WriteFileBytes(dir / "t.ASC.bin", {0xEE, 0x3D, 0x02, 0x00, 0x00, 0x00});
  Bytes data = {'A', 'B', 'C'};
  data.resize(256, ' ');
  WriteFileBytes(dir / "t.ASC #000.bin", MakeBkFile(kAscLoadAddress, data));
  CBkAscFile file(Wide(dir / "t.ASC.bin"));
  ASSERT_TRUE(file.Open(false));
  EXPECT_EQ(file.Tell(), 0);
  EXPECT_EQ(file.ReadChar(), u'A');
  EXPECT_EQ(file.Tell(), 1);
  EXPECT_EQ(file.Seek(0, SEEK_SET), 0);
  EXPECT_EQ(file.ReadWord(), 'A' | ('B' << 8));  // raw bytes of the data, not the header
  file.Seek(2, SEEK_SET);
  EXPECT_EQ(file.ReadChar(), u'C');
  EXPECT_FALSE(file.IsEOF());
}

TEST(CBkAscFileTest, EndedSetKeepsAnsweringTheEndByte) {
  TempDir dir;
  WriteFileBytes(dir / "e.ASC.bin", {0xEE, 0x3D, 0x02, 0x00, 0x00, 0x00});
  Bytes data = {'x', 0x1A, 'y'};
  data.resize(256, ' ');
  WriteFileBytes(dir / "e.ASC #000.bin", MakeBkFile(kAscLoadAddress, data));
  CBkAscFile file(Wide(dir / "e.ASC.bin"));
  ASSERT_TRUE(file.Open(false));
  EXPECT_EQ(file.ReadChar(), u'x');
  EXPECT_EQ(file.ReadChar(), 0x1A);
  EXPECT_TRUE(file.IsEOF());
  EXPECT_EQ(file.ReadChar(), 0x1A);
  // An object that was never opened ends at once instead of reading zeros.
  CBkAscFile unopened(Wide(dir / "e.ASC.bin"));
  unopened.ReadChar();
  EXPECT_TRUE(unopened.IsEOF());
}

TEST(CBkAscFileTest, FindPartsTakesOnlyTheNamesOfParts) {
  TempDir dir;
  for (const char* name : {"s.ASC #000.bin", "s.ASC #001.bin", "s.ASC #012.bin", "s.ASC #1000.bin",
                           "s.ASC #0005.bin", "s.ASC #01.bin", "s.ASC #00x.bin", "s.ASC.bin",
                           "s.ASC #003.BIN", "t.ASC #004.bin", "s.ASC #004.bin.bak"}) {
    WriteFileBytes(dir / name, {});
  }
  const std::wstring base = Wide(dir / "s.ASC");
  EXPECT_EQ(CBkAscFile::FindParts(base, 0),
            (std::vector<std::wstring>{Wide(dir / "s.ASC #000.bin"), Wide(dir / "s.ASC #001.bin"),
                                       Wide(dir / "s.ASC #012.bin"),
                                       Wide(dir / "s.ASC #1000.bin")}));
  EXPECT_EQ(CBkAscFile::FindParts(base, 2),
            (std::vector<std::wstring>{Wide(dir / "s.ASC #012.bin"),
                                       Wide(dir / "s.ASC #1000.bin")}));
  EXPECT_TRUE(CBkAscFile::FindParts(Wide(dir / "none/s.ASC"), 0).empty());
}

TEST(CBkAscFileTest, CommitReplacesAnOlderLongerSetAndDiscardKeepsIt) {
  TempDir dir;
  const Bytes old = MakeBkFile(kAscLoadAddress, Bytes(256, 'O'));
  for (const char* name : {"p     .ASC #000.bin", "p     .ASC #001.bin", "p     .ASC #002.bin"}) {
    WriteFileBytes(dir / name, old);
  }
  WriteFileBytes(dir / "p     .ASC.bin", {0xEE, 0x3D, 0x02, 0x00, 0x00, 0x00});
  {
    MemoryFile input(u"10 END");
    CBkAscFile output(Wide(dir / "p.asc"));
    EXPECT_TRUE(ConvertToBasicAsc(&input, &output, {}).ok());
    output.Discard();
  }
  EXPECT_EQ(ReadFileBytes(dir / "p     .ASC #002.bin"), old);
  EXPECT_EQ(ListDirectory(dir.path()).size(), 4u);
  {
    MemoryFile input(u"10 END");
    CBkAscFile output(Wide(dir / "p.asc"));
    EXPECT_TRUE(ConvertToBasicAsc(&input, &output, {}).ok());
  }  // destroyed after a successful conversion: the set comes into place
  EXPECT_EQ(ListDirectory(dir.path()),
            (std::vector<std::string>{"p     .ASC #000.bin", "p     .ASC.bin"}));
  Bytes data = {'1', '0', ' ', 'E', 'N', 'D', 0x1A};
  data.resize(256, ' ');
  EXPECT_EQ(ReadFileBytes(dir / "p     .ASC #000.bin"), MakeBkFile(kAscLoadAddress, data));
}

TEST(CBkAscFileTest, ASetThatStopsShortNamesItsPart) {
  TempDir dir;
  WriteFileBytes(dir / "r.ASC.bin", {0xEE, 0x3D, 0x02, 0x00, 0x00, 0x00});
  WriteFileBytes(dir / "r.ASC #000.bin", MakeBkFile(kAscLoadAddress, Bytes(256, 'R')));
  // The reason and the part it names.
  const auto readWhole = [&dir](std::u16string* text) {
    CBkAscFile file(Wide(dir / "r.ASC.bin"));
    if (file.Open(false)) *text = ReadAll(file);
    const FileResult failure = file.ReadFailure();
    return std::make_pair(failure.error, NarrowName(failure.file));
  };
  const std::string part0 = dir / "r.ASC #000.bin";
  const std::string part1 = dir / "r.ASC #001.bin";
  std::u16string text;
  EXPECT_EQ(readWhole(&text), std::make_pair(FileError::PartMissing, part1));
  EXPECT_EQ(text, std::u16string(256, u'R'));

  Bytes shortPart = MakeBkFile(kAscLoadAddress, Bytes(256, 'S'));
  shortPart.resize(4 + 100);  // cut off; the length word still says 256
  WriteFileBytes(dir / "r.ASC #001.bin", shortPart);
  EXPECT_EQ(readWhole(&text), std::make_pair(FileError::PartShort, part1));
  shortPart.push_back(0x1A);  // the end byte before the part runs out: sound
  WriteFileBytes(dir / "r.ASC #001.bin", shortPart);
  EXPECT_EQ(readWhole(&text), std::make_pair(FileError::None, std::string()));
  EXPECT_EQ(text, std::u16string(256, u'R') + std::u16string(100, u'S'));

  WriteFileBytes(dir / "r.ASC #000.bin", MakeBkFile(kAscLoadAddress + 2, Bytes(256, 'R')));
  EXPECT_EQ(readWhole(&text), std::make_pair(FileError::PartDamaged, part0));
  WriteFileBytes(dir / "r.ASC #000.bin", {0xEE, 0x3D});
  EXPECT_EQ(readWhole(&text), std::make_pair(FileError::PartShort, part0));
}

}  // namespace
