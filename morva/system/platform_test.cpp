// Outputs under temporary names on a real directory: where the temporary
// lives, what putting outputs in place does when one of them cannot go, and
// the names that are written in place.
#include "system/platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace {

std::wstring Wide(const std::string& path) { return WidenName(path.c_str()); }

bool WriteAndClose(FILE* stream, const std::string& text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  return std::fclose(stream) == 0 && written;
}

TEST(PendingOutputTest, TemporaryBesideTheFinalNameUntilCommitted) {
  TempDir dir;
  mkdir((dir / "sub").c_str(), 0700);
  WriteFileText(dir / "sub/a.txt", "old");
  std::vector<PendingOutput> outputs(1);
  FILE* stream = CreateOutput(Wide(dir / "sub/a.txt"), &outputs[0]);
  ASSERT_NE(stream, nullptr);
  ASSERT_TRUE(WriteAndClose(stream, "new"));
  EXPECT_EQ(outputs[0].finalName, Wide(dir / "sub/a.txt"));
  const std::string temporary = NarrowName(outputs[0].tempName);
  EXPECT_EQ(temporary.rfind(dir / "sub/.a.txt.morva-", 0), 0u) << temporary;
  EXPECT_EQ(ReadFileBytes(dir / "sub/a.txt"), Bytes({'o', 'l', 'd'}));
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"sub"});

  std::wstring failed;
  EXPECT_TRUE(CommitOutputs(&outputs, &failed));
  EXPECT_TRUE(outputs.empty());
  EXPECT_EQ(ReadFileBytes(dir / "sub/a.txt"), Bytes({'n', 'e', 'w'}));
  EXPECT_EQ(ListDirectory(dir / "sub"), std::vector<std::string>{"a.txt"});
}

TEST(PendingOutputTest, VeryLongNameGetsAShortTemporary) {
  TempDir dir;
  const std::string name(250, 'n');
  PendingOutput output;
  FILE* stream = CreateOutput(Wide(dir / name), &output);
  ASSERT_NE(stream, nullptr);
  std::fclose(stream);
  EXPECT_EQ(NarrowName(output.tempName).rfind(dir / ".morva-", 0), 0u);
  std::vector<PendingOutput> outputs = {output};
  DiscardOutputs(&outputs);
  EXPECT_TRUE(ListDirectory(dir.path()).empty());
}

std::vector<PendingOutput> ThreeOutputs(const TempDir& dir) {
  std::vector<PendingOutput> outputs(3);
  for (int i = 0; i < 3; ++i) {
    FILE* stream = CreateOutput(Wide(dir / ("p" + std::to_string(i + 1))), &outputs[i]);
    EXPECT_NE(stream, nullptr);
    if (stream != nullptr) {
      EXPECT_TRUE(WriteAndClose(stream, "new"));
    }
  }
  return outputs;
}

TEST(PendingOutputTest, ASetGoesInWholeOrNotAtAll) {
  TempDir dir;
  WriteFileText(dir / "p1", "old 1");
  std::vector<PendingOutput> outputs = ThreeOutputs(dir);
  mkdir((dir / "p3").c_str(), 0700);  // a folder comes in the way of the last one
  std::wstring failed;
  EXPECT_FALSE(CommitOutputs(&outputs, &failed));
  EXPECT_EQ(failed, Wide(dir / "p3"));
  EXPECT_TRUE(outputs.empty());
  // Nothing was renamed: the old file is intact and no temporary is left.
  EXPECT_EQ(ListDirectory(dir.path()), (std::vector<std::string>{"p1", "p3"}));
  EXPECT_EQ(ReadFileBytes(dir / "p1"), Bytes({'o', 'l', 'd', ' ', '1'}));

  // A rename that fails halfway (here the temporary of p2 has vanished): p1,
  // already in place, goes again, so that no incomplete set stays behind.
  rmdir((dir / "p3").c_str());
  outputs = ThreeOutputs(dir);
  ASSERT_EQ(unlink(NarrowName(outputs[1].tempName).c_str()), 0);
  EXPECT_FALSE(CommitOutputs(&outputs, &failed));
  EXPECT_EQ(failed, Wide(dir / "p2"));
  EXPECT_TRUE(ListDirectory(dir.path()).empty());
}

TEST(PendingOutputTest, LinksAndDevicesAreWrittenInPlace) {
  TempDir dir;
  WriteFileText(dir / "target", "old");
  ASSERT_EQ(symlink("target", (dir / "link").c_str()), 0);
  std::vector<PendingOutput> outputs(1);
  FILE* stream = CreateOutput(Wide(dir / "link"), &outputs[0]);
  ASSERT_NE(stream, nullptr);
  EXPECT_TRUE(outputs[0].tempName.empty());
  ASSERT_TRUE(WriteAndClose(stream, "new"));
  EXPECT_EQ(ReadFileBytes(dir / "target"), Bytes({'n', 'e', 'w'}));
  DiscardOutputs(&outputs);  // never removes what it did not create
  struct stat info;
  ASSERT_EQ(lstat((dir / "link").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ReadFileBytes(dir / "target"), Bytes({'n', 'e', 'w'}));

  if (access("/dev/null", W_OK) == 0) {
    PendingOutput device;
    stream = CreateOutput(L"/dev/null", &device);
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(device.tempName.empty());
    std::fclose(stream);
  }
}

TEST(PendingOutputTest, FolderThatCannotBeWrittenGivesNoOutput) {
  TempDir dir;
  PendingOutput output;
  EXPECT_EQ(CreateOutput(Wide(dir / "missing/a.txt"), &output), nullptr);
  EXPECT_TRUE(output.tempName.empty());
}

}  // namespace
