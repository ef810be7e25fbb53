// Reading and writing BK binary files, and deriving the output name.
#include "front/bk_file.h"

#include <gtest/gtest.h>

#include "dorvik/dorvik_context.h"
#include "front/console.h"
#include "front/packer_state.h"
#include "front/platform.h"
#include "support/temp_dir.h"

namespace {

class BkFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPackerState();
    SetConsoleSink(&console_);
  }
  void TearDown() override { SetConsoleSink(nullptr); }

  bool Read(const Bytes& file) {
    WriteFileBytes(dir_ / "input.bin", file);
    packerState.inputName = WidenName((dir_ / "input.bin").c_str());
    return ReadInputFile();
  }
  Bytes Data() const {
    return Bytes(packerState.fileBuffer.begin(),
                 packerState.fileBuffer.begin() + packerState.dataLength);
  }

  TempDir dir_;
  std::string console_;
};

Bytes Pattern(size_t size) {
  Bytes data;
  data.reserve(size);
  while (data.size() < size) data.push_back(static_cast<uint8_t>(data.size() * 7 + 3));
  return data;
}

TEST_F(BkFileTest, StandardHeaderGivesLoadAddressAndData) {
  const Bytes data = Pattern(996);
  ASSERT_TRUE(Read(MakeBkFile(040000, data)));
  EXPECT_EQ(packerState.loadAddress, 040000);
  EXPECT_EQ(Data(), data);
  EXPECT_EQ(console_, "Пакуем '" + (dir_ / "input.bin") + "' :: ");
}

TEST_F(BkFileTest, ExtendedHeaderSkipsSixteenBytesAndTheTrailingTwo) {
  Bytes file = Pattern(1000);
  file[0] = 0x00, file[1] = 0x04;  // load address 02000
  file[2] = 978 & 0xFF, file[3] = 978 >> 8;
  ASSERT_TRUE(Read(file));
  EXPECT_EQ(packerState.loadAddress, 02000);
  EXPECT_EQ(Data(), Bytes(file.begin() + 20, file.begin() + 998));
}

TEST_F(BkFileTest, AnyOtherLengthWordMeansRawDataAtTheDefaultAddress) {
  Bytes file = Pattern(1000);
  file[2] = 977 & 0xFF, file[3] = 977 >> 8;
  ASSERT_TRUE(Read(file));
  EXPECT_EQ(packerState.loadAddress, 01000);
  EXPECT_EQ(Data(), file);
}

TEST_F(BkFileTest, EmptyBkFileIsValid) {
  ASSERT_TRUE(Read(MakeBkFile(01000, {})));
  EXPECT_EQ(packerState.dataLength, 0);
}

TEST_F(BkFileTest, OddLoadAddressIsAccepted) {
  ASSERT_TRUE(Read(MakeBkFile(01001, Pattern(10))));
  EXPECT_EQ(packerState.loadAddress, 01001);
}

TEST_F(BkFileTest, FilesShorterThanFourBytesCannotBeRead) {
  for (size_t size = 0; size < 4; ++size) {
    console_.clear();
    EXPECT_FALSE(Read(Pattern(size))) << size;
    EXPECT_EQ(console_, "Ошибка:: не удалось прочитать файл '" + (dir_ / "input.bin") + "'.\n");
  }
}

TEST_F(BkFileTest, SizeLimitIs57343Bytes) {
  ASSERT_TRUE(Read(Pattern(57343)));
  EXPECT_EQ(packerState.dataLength, 57343);
  console_.clear();
  EXPECT_FALSE(Read(Pattern(57344)));
  EXPECT_EQ(console_, "Ошибка:: файл слишком большой.\n");
}

TEST_F(BkFileTest, MissingFileIsReportedAsNotFound) {
  packerState.inputName = WidenName((dir_ / "absent.bin").c_str());
  EXPECT_FALSE(ReadInputFile());
  EXPECT_EQ(console_, "Ошибка:: файл не найден.\n");
}

TEST_F(BkFileTest, UnpackModeAnnouncesUnpacking) {
  packerState.unpackMode = true;
  ASSERT_TRUE(Read(MakeBkFile(01000, Pattern(8))));
  EXPECT_EQ(console_, "Распаковываем '" + (dir_ / "input.bin") + "' :: ");
}

struct NameCase {
  const wchar_t* input;
  const wchar_t* given;  // explicit output name, or nullptr
  const wchar_t* extension;
  const wchar_t* expected;
};

TEST(BuildOutputName, ReplacesOrAppendsTheExtension) {
  const NameCase cases[] = {
      {L"game.bin", nullptr, L".dvk", L"game.dvk"},
      {L"GAME", nullptr, L".dvk", L"GAME.dvk"},
      {L"a.b.c", nullptr, L".dvk", L"a.b.dvk"},
      {L"game.bin", L"x.dat", L".dvk", L"x.dvk"},
      {L"game.grl", nullptr, L".bkfile", L"game.bkfile"},
      {L"rel.2/game", nullptr, L".dvk", L"rel.dvk"},  // the last '.' anywhere counts
      {L".profile", nullptr, L".grl", L".grl"},
      {L"out/", L"dir.v1/result", L".grl", L"dir.grl"},
  };
  for (const NameCase& c : cases) {
    ResetPackerState();
    packerState.inputName = c.input;
    std::vector<std::wstring> args;
    if (c.given != nullptr) args.push_back(c.given);
    BuildOutputName(static_cast<int>(args.size()), args, c.extension);
    EXPECT_EQ(packerState.outputName, c.expected) << NarrowName(c.input);
  }
}

class WriterTest : public BkFileTest {
 protected:
  void PrepareGranolResult(const Bytes& data) {
    std::copy(data.begin(), data.end(), packerState.granolImage.begin());
    packerState.dataLength = static_cast<int32_t>(data.size());
    packerState.loadAddress = 01234;
  }
};

TEST_F(WriterTest, HeaderWordsMatchTheData) {
  PrepareGranolResult(Pattern(300));
  packerState.outputName = WidenName((dir_ / "out.grl").c_str());
  ASSERT_TRUE(WriteGranolOutput());
  EXPECT_EQ(ReadFileBytes(dir_ / "out.grl"), MakeBkFile(01234, Pattern(300)));
}

TEST_F(WriterTest, RawOutputHasNoHeader) {
  PrepareGranolResult(Pattern(300));
  packerState.rawOutput = true;
  packerState.outputName = WidenName((dir_ / "out.grl").c_str());
  ASSERT_TRUE(WriteGranolOutput());
  EXPECT_EQ(ReadFileBytes(dir_ / "out.grl"), Pattern(300));
}

TEST_F(WriterTest, DorvikWriterTakesTheLengthOfTheDirection) {
  const Bytes data = Pattern(40);
  std::copy(data.begin(), data.end(), packerState.fileBuffer.begin());
  dorvikContext.imageLength = 30;
  dorvikContext.unpackedLength = 40;
  packerState.outputName = WidenName((dir_ / "out.dvk").c_str());
  ASSERT_TRUE(WriteDorvikOutput());
  EXPECT_EQ(ReadFileBytes(dir_ / "out.dvk"), MakeBkFile(01000, Bytes(data.begin(), data.begin() + 30)));
  packerState.unpackMode = true;
  ASSERT_TRUE(WriteDorvikOutput());
  EXPECT_EQ(ReadFileBytes(dir_ / "out.dvk"), MakeBkFile(01000, data));
}

TEST_F(WriterTest, OutputThatCannotBeCreatedIsReported) {
  PrepareGranolResult(Pattern(10));
  packerState.outputName = WidenName((dir_ / "missing-dir/out.grl").c_str());
  EXPECT_FALSE(WriteGranolOutput());
  EXPECT_EQ(console_, "Ошибка:: не удалось открыть файл для записи '" + (dir_ / "missing-dir/out.grl") +
                          "'.\n");
}

TEST_F(WriterTest, FullDeviceIsAFailureAndTheDeviceStays) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  PrepareGranolResult(Pattern(5000));
  packerState.outputName = L"/dev/full";
  EXPECT_FALSE(WriteGranolOutput());
  EXPECT_EQ(console_, "Ошибка:: не удалось записать файл '/dev/full'.\n");
  EXPECT_TRUE(FileExists("/dev/full"));
}

TEST_F(BkFileTest, OutputNamingTheInputIsDetectedByIdentityNotSpelling) {
  WriteFileBytes(dir_ / "game.bin", Pattern(10));
  packerState.inputName = WidenName((dir_ / "game.bin").c_str());
  packerState.outputName = WidenName((dir_.path() + "/./game.bin").c_str());
  EXPECT_TRUE(OutputWouldOverwriteInput());
  EXPECT_NE(console_.find("совпадает с входным"), std::string::npos);
  packerState.outputName = WidenName((dir_ / "game.dvk").c_str());
  EXPECT_FALSE(OutputWouldOverwriteInput());
}

}  // namespace
