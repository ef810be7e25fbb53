// CBKASCFile on real files in a temporary directory: names, the header
// offset of Tell and Seek, the end of a set, and ConvertToBasicASC from an
// in-memory input.
#include "files/asc_file.h"
#include "files/file_testing.h"

#include <gtest/gtest.h>

#include "convert/memory_file_for_tests.h"
#include "front/console.h"
#include "front/platform.h"
#include "support/temp_dir.h"

namespace {

constexpr uint16_t kAscAddress = 036756;

// Names of 2 and 7+ characters and Cyrillic names are checked end to end.
TEST(CBKASCFileTest, BaseNameIsSixCharactersPaddedWithSpaces) {
  EXPECT_EQ(CBKASCFile::BaseNameFor(L"sixsix.asc"), L"sixsix.ASC");
  EXPECT_EQ(CBKASCFile::BaseNameFor(L"noext"), L"noext .ASC");
  EXPECT_EQ(CBKASCFile::BaseNameFor(L".asc"), L"      .ASC");
  EXPECT_EQ(CBKASCFile::BaseNameFor(L"my.dir/listing.v2.asc"), L"my.dir/listin.ASC");
}

TEST(CBKASCFileTest, TellAndSeekSkipThePartHeader) {
  TempDir dir;
  WriteFileBytes(dir / "t.ASC.bin", {0xEE, 0x3D, 0x02, 0x00, 0x00, 0x00});
  Bytes data = {'A', 'B', 'C'};
  data.resize(256, ' ');
  WriteFileBytes(dir / "t.ASC #000.bin", MakeBkFile(kAscAddress, data));
  CBKASCFile file(Wide(dir / "t.ASC.bin"));
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

TEST(CBKASCFileTest, EndedSetKeepsAnsweringTheEndByte) {
  TempDir dir;
  WriteFileBytes(dir / "e.ASC.bin", {0xEE, 0x3D, 0x02, 0x00, 0x00, 0x00});
  Bytes data = {'x', 0x1A, 'y'};
  data.resize(256, ' ');
  WriteFileBytes(dir / "e.ASC #000.bin", MakeBkFile(kAscAddress, data));
  CBKASCFile file(Wide(dir / "e.ASC.bin"));
  ASSERT_TRUE(file.Open(false));
  EXPECT_EQ(file.ReadChar(), u'x');
  EXPECT_EQ(file.ReadChar(), 0x1A);
  EXPECT_TRUE(file.IsEOF());
  EXPECT_EQ(file.ReadChar(), 0x1A);
  // An object that was never opened ends at once instead of reading zeros.
  CBKASCFile unopened(Wide(dir / "e.ASC.bin"));
  unopened.ReadChar();
  EXPECT_TRUE(unopened.IsEOF());
}

TEST(ConvertToBasicAscTest, FromAnyInputThroughTheCommonInterface) {
  TempDir dir;
  MemoryFile input(u"1" + std::u16string(1, u'\0') + u"ж");
  CBKASCFile output(Wide(dir / "m.asc"));
  std::string console;
  SetConsoleSink(&console);
  ConvertToBasicASC(&input, &output);
  ConvertToBasicASC(nullptr, &output);
  SetConsoleSink(nullptr);
  EXPECT_EQ(console, "Недостаточно памяти.\n");
  Bytes data = {'1', 0x0A, 0xD6, 0x1A};  // a zero code unit ends a line
  data.resize(256, ' ');
  EXPECT_EQ(ReadFileBytes(dir / "m     .ASC #000.bin"), MakeBkFile(kAscAddress, data));
  EXPECT_EQ(output.GetReplacedCount(), 0u);
}

TEST(ConvertToBasicAscTest, CountsTheCharactersItReplaces) {
  TempDir dir;
  MemoryFile input(u"10 PRINT \"Ёлка — 2\"");
  CBKASCFile output(Wide(dir / "r.asc"));
  std::string console;
  SetConsoleSink(&console);
  ConvertToBasicASC(&input, &output);
  SetConsoleSink(nullptr);
  EXPECT_EQ(output.GetReplacedCount(), 2u);  // Ё and the dash; the end byte is no character
  EXPECT_EQ(output.GetFirstReplaced(), U'Ё');
}

TEST(ConvertToBasicAscTest, HeaderThatCannotBeCreated) {
  MemoryFile input(u"10 END");
  CBKASCFile output(L"/nonexistent-morva-test/x.asc");
  std::string console;
  SetConsoleSink(&console);
  ConvertToBasicASC(&input, &output);
  SetConsoleSink(nullptr);
  EXPECT_EQ(console, "Ошибка! /nonexistent-morva-test/x.asc не открывается.\n");
}

}  // namespace
