// The Windows platform layer on real files: identities by volume and file
// index, the separators of Windows paths, names that keep every UTF-16 unit,
// devices that are written through and never removed, and outputs that
// appear whole under their name.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/platform.h"
#include "common/output_file_testing.h"
#include "support/temp_dir.h"

namespace {

std::wstring Wide(const std::string& path) { return WidenName(path.c_str()); }

std::wstring Backslashed(std::wstring path) {
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

TEST(WindowsNamesTest, EveryUtf16UnitComesBackThroughTheArgumentForm) {
  const std::vector<std::wstring> names = {
      L"game.bin", L"игра.bin", L"Ёжик ёлка.txt", std::wstring(L"smile") + L"\U0001F600",
      // Windows allows lone surrogates in names: they must survive too.
      std::wstring{L'a', wchar_t(0xD800), L'b'}, std::wstring{wchar_t(0xDC80), L'z'},
      std::wstring{wchar_t(0xDFFF)}};
  for (const std::wstring& name : names) EXPECT_EQ(WidenName(NarrowName(name).c_str()), name);
  EXPECT_EQ(NarrowName(L"игра"), "игра");
  EXPECT_EQ(WidenName("\xD0\xB8\xD0\xB3\xD1\x80\xD0\xB0"), L"игра");
  // Bytes that no UTF-16 text gives read as U+FFFD, and what follows reads on.
  EXPECT_EQ(WidenName("a\xFF" "b"), (std::wstring{L'a', wchar_t(0xFFFD), L'b'}));
  EXPECT_EQ(WidenName("\xE2\x82z"), (std::wstring{wchar_t(0xFFFD), L'z'}));
  EXPECT_EQ(WidenName("\xC0\xAF"), (std::wstring{wchar_t(0xFFFD), wchar_t(0xFFFD)}));
}

TEST(WindowsPathTest, BackslashSlashAndDriveEndAFolder) {
  EXPECT_EQ(FileNameStart(L"dir.d\\game"), 6u);
  EXPECT_EQ(FileNameStart(L"dir.d/game"), 6u);
  EXPECT_EQ(FileNameStart(L"a/b\\c"), 4u);
  EXPECT_EQ(FileNameStart(L"a\\b/c"), 4u);
  EXPECT_EQ(FileNameStart(L"C:game.bin"), 2u);
  EXPECT_EQ(FileNameStart(L"c:\\games\\river"), 9u);
  EXPECT_EQ(FileNameStart(L"\\\\server\\share\\x"), 15u);
  EXPECT_EQ(FileNameStart(L"game"), 0u);
  EXPECT_EQ(FileNameStart(L"1:game"), 0u);  // no drive letter
  EXPECT_EQ(PathExtension(L"my.games\\river"), L"");
  EXPECT_EQ(PathExtension(L"D:.profile"), L".profile");
  EXPECT_EQ(PathExtension(L"C:river.bin"), L".bin");
  EXPECT_EQ(PathExtension(L"x.d\\y.e/game.bin"), L".bin");
}

TEST(WindowsQueryFileTest, OneFileByEveryNameAndDistinctFilesApart) {
  TempDir dir;
  WriteFileText(dir / "a.bin", "abc");
  WriteFileText(dir / "same.bin", "abc");  // the same bytes, another file
  ASSERT_TRUE(CreateDirectoryW(Wide(dir / "sub").c_str(), nullptr));
  const std::wstring a = Wide(dir / "a.bin");
  const FileStatus status = QueryFile(a);
  EXPECT_EQ(status.kind, FileKind::Regular);
  EXPECT_EQ(status.size, 3u);

  // Case, separators, dot folders and a hard link all reach the same file.
  std::wstring upper = a;
  upper.replace(upper.size() - 5, 5, L"A.BIN");
  EXPECT_TRUE(IsSameFile(a, upper));
  EXPECT_TRUE(IsSameFile(a, Backslashed(Wide(dir / "sub/../a.bin"))));
  EXPECT_TRUE(IsSameFile(a, Wide(dir.path() + "/./a.bin")));
  const std::wstring linked = Wide(dir / "link.bin");
  if (CreateHardLinkW(linked.c_str(), a.c_str(), nullptr)) {
    EXPECT_TRUE(IsSameFile(a, linked));
  }

  // What a C runtime stat cannot tell apart: two files, a file and a folder.
  EXPECT_FALSE(IsSameFile(a, Wide(dir / "same.bin")));
  EXPECT_FALSE(QueryFile(a).identity == QueryFile(Wide(dir / "same.bin")).identity);
  EXPECT_EQ(QueryFile(Wide(dir / "sub")).kind, FileKind::Directory);
  EXPECT_FALSE(IsSameFile(a, Wide(dir / "sub")));
  EXPECT_EQ(QueryFile(Wide(dir / "none.bin")).kind, FileKind::Missing);
  EXPECT_FALSE(IsSameFile(Wide(dir / "none.bin"), Wide(dir / "none.bin")));
}

TEST(WindowsQueryFileTest, DevicesAreNeitherFilesNorEachOther) {
  EXPECT_EQ(QueryFile(L"NUL").kind, FileKind::Other);
  EXPECT_TRUE(IsSameFile(L"NUL", L"nul"));
  TempDir dir;
  WriteFileText(dir / "a.bin", "abc");
  EXPECT_FALSE(IsSameFile(L"NUL", Wide(dir / "a.bin")));
}

TEST(WindowsQueryFileTest, CyrillicAndAstralNamesAreOpenedByTheirCharacters) {
  TempDir dir;
  const std::string name = dir / "привет \xF0\x9F\x98\x80.txt";
  WriteFileText(name, "text");
  EXPECT_EQ(QueryFile(Wide(name)).size, 4u);
  FILE* file = OpenFile(Wide(name), "rb");
  ASSERT_NE(file, nullptr);
  char buffer[8] = {};
  EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, file), 4u);
  std::fclose(file);
  EXPECT_EQ(std::string(buffer), "text");
}

class WindowsOutputFileTest : public OutputFileFixture {};

TEST_F(WindowsOutputFileTest, EarlierFileStaysUntilTheCommitThenIsReplaced) {
  WriteFileBytes(Target(), kOld);
  OutputFile output;
  ASSERT_EQ(output.Open(Wide(Target())), OutputFile::Status::Ok);
  const Bytes data = {'\n', 'n', 'e', 'w', '\r', '\n', 0x1A, 0};
  ASSERT_TRUE(output.Write(data.data(), data.size()));
  ASSERT_EQ(output.Finish(), OutputFile::Status::Ok);
  // The temporary file lies beside the target until then.
  const std::vector<std::string> during = ListDirectory(dir_.path());
  ASSERT_EQ(during.size(), 2u);
  EXPECT_EQ(during[0].rfind(".out.bin.", 0), 0u) << during[0];
  EXPECT_EQ(ReadFileBytes(Target()), kOld);
  ASSERT_EQ(output.Commit(), OutputFile::Status::Ok);
  ExpectOnlyTheTarget(data);  // binary: no byte added or changed
}

TEST_F(WindowsOutputFileTest, AReplacedFileKeepsItsHiddenAndSystemAttributes) {
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  for (const DWORD attributes : {kKept, DWORD{FILE_ATTRIBUTE_SYSTEM}, DWORD{FILE_ATTRIBUTE_NORMAL}}) {
    const std::string target = dir_ / ("out" + std::to_string(attributes) + ".bin");
    WriteFileBytes(target, kOld);
    ASSERT_TRUE(SetFileAttributesW(Wide(target).c_str(), attributes));
    OutputFile output;
    ASSERT_EQ(output.Open(Wide(target)), OutputFile::Status::Ok);
    ASSERT_TRUE(output.Write(kOld.data(), 1));
    ASSERT_EQ(output.Commit(), OutputFile::Status::Ok);
    EXPECT_EQ(GetFileAttributesW(Wide(target).c_str()) & kKept, attributes & kKept) << attributes;
    EXPECT_EQ(ReadFileBytes(target), Bytes{'o'});
  }
}

TEST_F(WindowsOutputFileTest, UncommittedFileIsRemovedAndTheEarlierOneKept) {
  WriteFileBytes(Target(), kOld);
  {
    OutputFile output;
    ASSERT_EQ(output.Open(Wide(Target())), OutputFile::Status::Ok);
    ASSERT_TRUE(output.Write(kOld.data(), 2));
  }
  ExpectOnlyTheTarget(kOld);
}

TEST_F(WindowsOutputFileTest, ReadOnlyFileIsNotReplaced) {
  WriteFileBytes(Target(), kOld);
  ASSERT_TRUE(SetFileAttributesW(Wide(Target()).c_str(), FILE_ATTRIBUTE_READONLY));
  OutputFile output;
  EXPECT_EQ(output.Open(Wide(Target())), OutputFile::Status::WriteProtected);
  ExpectOnlyTheTarget(kOld);
}

TEST_F(WindowsOutputFileTest, DeviceIsWrittenThroughAndStays) {
  OutputFile output;
  ASSERT_EQ(output.Open(L"NUL"), OutputFile::Status::Ok);
  ASSERT_TRUE(output.Write(kOld.data(), kOld.size()));
  EXPECT_EQ(output.Commit(), OutputFile::Status::Ok);
  EXPECT_EQ(QueryFile(L"NUL").kind, FileKind::Other);
  EXPECT_TRUE(ListDirectory(dir_.path()).empty());
}

TEST_F(WindowsOutputFileTest, ASetWithAFolderInTheWayLeavesNoneOfIt) {
  OutputFile first;
  OutputFile second;
  ASSERT_EQ(first.Open(Wide(dir_ / "a.bin")), OutputFile::Status::Ok);
  ASSERT_EQ(second.Open(Wide(dir_ / "b.bin")), OutputFile::Status::Ok);
  ASSERT_TRUE(CreateDirectoryW(Wide(dir_ / "b.bin").c_str(), nullptr));
  ASSERT_TRUE(first.Write(kOld.data(), kOld.size()));
  ASSERT_TRUE(second.Write(kOld.data(), kOld.size()));
  size_t failed = 99;
  EXPECT_EQ(CommitOutputs({&first, &second}, &failed), OutputFile::Status::CannotWrite);
  EXPECT_EQ(failed, 1u);
  EXPECT_EQ(ListDirectory(dir_.path()), std::vector<std::string>{"b.bin"});
}

TEST_F(WindowsOutputFileTest, ASetAppearsTogetherUnderBackslashedNames) {
  ASSERT_TRUE(CreateDirectoryW(Wide(dir_ / "папка").c_str(), nullptr));
  OutputFile first;
  OutputFile second;
  const std::wstring folder = Backslashed(Wide(dir_ / "папка")) + L"\\";
  ASSERT_EQ(first.Open(folder + L"один.bin"), OutputFile::Status::Ok);
  ASSERT_EQ(second.Open(folder + L"два.bin"), OutputFile::Status::Ok);
  ASSERT_TRUE(first.Write(kOld.data(), kOld.size()));
  ASSERT_TRUE(second.Write(kOld.data(), 1));
  // While the set goes in, its lock file beside it is open to no one else;
  // afterwards it is gone.
  DWORD lockedOut = 0;
  EXPECT_EQ(CommitOutputs({&first, &second}, nullptr,
                          [&] {
                            const HANDLE other = CreateFileW(
                                (folder + L".один.bin.lock").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
                            lockedOut = other == INVALID_HANDLE_VALUE ? GetLastError() : 0;
                            if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
                          }),
            OutputFile::Status::Ok);
  EXPECT_EQ(lockedOut, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(ListDirectory(dir_ / "папка"), (std::vector<std::string>{"два.bin", "один.bin"}));
  EXPECT_EQ(ReadFileBytes(dir_ / "папка/один.bin"), kOld);
  EXPECT_EQ(ReadFileBytes(dir_ / "папка/два.bin"), Bytes{'o'});
}

TEST(WindowsSystemErrorTest, ReasonsAndFolders) {
  EXPECT_EQ(SystemErrorText(ERROR_ACCESS_DENIED), L"нет прав доступа");
  EXPECT_EQ(SystemErrorText(ERROR_PATH_NOT_FOUND), L"нет такого файла или папки");
  EXPECT_EQ(SystemErrorText(4242), L"системная ошибка 4242");
  EXPECT_EQ(FolderOf(L"game.bin"), L".");
  EXPECT_EQ(FolderOf(L"out\\game.bin"), L"out");
  EXPECT_EQ(FolderOf(L"out/sub\\\\game.bin"), L"out/sub");
  EXPECT_EQ(FolderOf(L"C:game.bin"), L"C:");
  EXPECT_EQ(FolderOf(L"C:\\game.bin"), L"C:\\");
  EXPECT_EQ(FolderOf(L"\\game.bin"), L"\\");
}

}  // namespace
