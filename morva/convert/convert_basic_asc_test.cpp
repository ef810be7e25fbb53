// ConvertToBasicAsc from an in-memory input into a set on real files in a
// temporary directory.
#include <gtest/gtest.h>

#include "convert/convert.h"
#include "convert/memory_file_testing.h"
#include "files/file_testing.h"
#include "support/temp_dir.h"

namespace {

TEST(ConvertToBasicAscTest, FromAnyInputThroughTheCommonInterface) {
  TempDir dir;
  MemoryFile input(u"1" + std::u16string(1, u'\0') + u"ж");
  CBkAscFile output(Wide(dir / "m.asc"));
  EXPECT_TRUE(ConvertToBasicAsc(&input, &output, {}).ok());
  // Written, but only under temporary names until the set is committed.
  EXPECT_EQ(
      output.GetOutputNames(),
      (std::vector<std::wstring>{Wide(dir / "m     .ASC.bin"), Wide(dir / "m     .ASC #000.bin")}));
  EXPECT_FALSE(FileExists(dir / "m     .ASC.bin"));
  EXPECT_EQ(ListDirectory(dir.path()).size(), 2u);
  EXPECT_TRUE(output.Commit(nullptr));
  Bytes data = {'1', 0x0A, 0xD6, 0x1A};  // a zero code unit ends a line
  data.resize(256, ' ');
  EXPECT_EQ(ReadFileBytes(dir / "m     .ASC #000.bin"), MakeBkFile(kAscLoadAddress, data));
  EXPECT_EQ(ListDirectory(dir.path()),
            (std::vector<std::string>{"m     .ASC #000.bin", "m     .ASC.bin"}));
  EXPECT_EQ(output.GetReplacedCount(), 0u);
}

TEST(ConvertToBasicAscTest, CountsTheCharactersItReplaces) {
  TempDir dir;
  MemoryFile input(u"10 PRINT \"Ёлка — 2\"");
  CBkAscFile output(Wide(dir / "r.asc"));
  ConvertToBasicAsc(&input, &output, {});
  EXPECT_EQ(output.GetReplacedCount(), 2u);  // Ё and the dash; the end byte is no character
  EXPECT_EQ(output.GetFirstReplaced(), U'Ё');
}

TEST(ConvertToBasicAscTest, HeaderThatCannotBeCreated) {
  MemoryFile input(u"10 END");
  CBkAscFile output(L"/nonexistent-morva-test/x.asc");
  const FileResult result = ConvertToBasicAsc(&input, &output, {});
  // The header is the output that fails, in the folder that does not exist.
  EXPECT_EQ(result.error, FileError::CannotCreateIn);
  EXPECT_EQ(result.file, L"/nonexistent-morva-test/x     .ASC.bin");
  EXPECT_EQ(result.folder, L"/nonexistent-morva-test");
  EXPECT_EQ(SystemErrorText(result.systemError), L"нет такого файла или папки");
}

}  // namespace
