// Reading and writing BK binary files, and deriving the output name.
#include "front/bk_file.h"

#include <gtest/gtest.h>

#include "dorvik/dorvik_context.h"
#include "front/console.h"
#include "front/packer_state.h"
#include "common/platform.h"
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

TEST_F(BkFileTest, LengthWordFarFromTheSizeMeansRawDataAtTheDefaultAddress) {
  for (const uint16_t lengthWord : {484, 1509}) {  // 512 bytes short of or beyond the file
    Bytes file = Pattern(1000);
    file[2] = lengthWord & 0xFF, file[3] = lengthWord >> 8;
    ASSERT_TRUE(Read(file));
    EXPECT_EQ(packerState.loadAddress, 01000);
    EXPECT_EQ(Data(), file);
  }
}

TEST_F(BkFileTest, ProgramPastTheAddressSpaceIsRefusedForPackingOnly) {
  const Bytes file = MakeBkFile(0177000, Pattern(01002));
  EXPECT_FALSE(Read(file));
  EXPECT_EQ(console_, "Ошибка:: программа с адреса 0177000 длиной 01002 выходит за границу памяти 0200000.\n");
  console_.clear();
  ASSERT_TRUE(Read(MakeBkFile(0177000, Pattern(01000))));  // ends exactly at 0200000
  packerState.unpackMode = true;  // an image is not a program: the method judges it
  ASSERT_TRUE(Read(file));
  EXPECT_EQ(packerState.dataLength, 01002);
}

TEST_F(BkFileTest, EmptyBkFileIsValid) {
  ASSERT_TRUE(Read(MakeBkFile(01000, {})));
  EXPECT_EQ(packerState.dataLength, 0);
}

TEST_F(BkFileTest, OddLoadAddressIsAccepted) {
  ASSERT_TRUE(Read(MakeBkFile(01001, Pattern(10))));
  EXPECT_EQ(packerState.loadAddress, 01001);
}

TEST_F(BkFileTest, FilesShorterThanFourBytesAreTooShort) {
  for (size_t size = 0; size < 4; ++size) {
    console_.clear();
    EXPECT_FALSE(Read(Pattern(size))) << size;
    EXPECT_EQ(console_, "Ошибка:: файл '" + (dir_ / "input.bin") + "' слишком короткий, в нём меньше 4 байт.\n");
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

// One file of each shape: the words, the size, and how it must be read.
struct LayoutCase {
  const char* name;
  uint16_t loadWord;
  uint16_t lengthWord;
  size_t size;
  bool rawImage;
  BkFileForm form;
  size_t dataOffset;
  size_t dataLength;
  size_t extraBytes;
};

TEST(ParseBkFile, HeaderFormsPaddingTruncationAndRawFiles) {
  // clang-format off
  const LayoutCase cases[] = {
      {"exact header",            01000,  100,  104, false, BkFileForm::Header,         4, 100,   0},
      {"exact header, raw image", 01000,  100,  104, true,  BkFileForm::Header,         4, 100,   0},
      {"extended header",         01000,  100,  122, false, BkFileForm::ExtendedHeader, 20, 100,  0},
      {"one byte of padding",     01000,  100,  105, false, BkFileForm::PaddedHeader,   4, 100,   1},
      {"511 bytes of padding",    01000,  100,  615, false, BkFileForm::PaddedHeader,   4, 100, 511},
      {"512 bytes more: raw",     01000,  100,  616, false, BkFileForm::Raw,            0, 616,   0},
      {"empty file in a block",   0,      0,    512, false, BkFileForm::PaddedHeader,   4, 0,   508},
      {"one byte missing",        01000,  100,  103, false, BkFileForm::Truncated,      4, 100,   1},
      {"511 bytes missing",       01000,  600,   93, false, BkFileForm::Truncated,      4, 600, 511},
      {"512 bytes missing: raw",  01000,  600,   92, false, BkFileForm::Raw,            0, 92,    0},
      {"padded past 0200000",     0177000, 01001, 01200, false, BkFileForm::Raw,        0, 01200, 0},
      {"ends at 0200000, padded", 0177000, 01000, 01200, false, BkFileForm::PaddedHeader, 4, 01000, 0174},
      {"near miss of a raw image", 01000, 100,  105, true,  BkFileForm::Raw,            0, 105,   0},
      {"three bytes",             0,      0,    3,   false, BkFileForm::TooShort,       0, 0,     0},
  };
  // clang-format on
  for (const LayoutCase& c : cases) {
    Bytes bytes(c.size, 0x5A);
    if (c.size >= 4) {
      bytes[0] = c.loadWord & 0xFF, bytes[1] = c.loadWord >> 8;
      bytes[2] = c.lengthWord & 0xFF, bytes[3] = c.lengthWord >> 8;
    }
    const BkFileLayout layout = ParseBkFile(bytes.data(), bytes.size(), c.rawImage);
    EXPECT_EQ(layout.form, c.form) << c.name;
    EXPECT_EQ(layout.dataOffset, c.dataOffset) << c.name;
    EXPECT_EQ(layout.dataLength, c.dataLength) << c.name;
    EXPECT_EQ(layout.extraBytes, c.extraBytes) << c.name;
    if (c.form != BkFileForm::Raw && c.form != BkFileForm::TooShort) {
      EXPECT_EQ(layout.loadAddress, c.loadWord) << c.name;
    }
  }
}

struct NameCase {
  const wchar_t* input;
  const wchar_t* given;  // explicit output name, or nullptr
  const wchar_t* extension;
  const wchar_t* expected;
};

TEST(BuildOutputName, ReplacesOrAppendsTheExtensionOfTheLastPathComponent) {
  const NameCase cases[] = {
      {L"game.bin", nullptr, L".dvk", L"game.dvk"},
      {L"GAME", nullptr, L".dvk", L"GAME.dvk"},
      {L"a.b.c", nullptr, L".dvk", L"a.b.dvk"},
      {L"game.bin", L"x.dat", L".dvk", L"x.dvk"},
      {L"game.grl", nullptr, L".bkfile", L"game.bkfile"},
      {L"rel.2/game", nullptr, L".dvk", L"rel.2/game.dvk"},  // a dot in a folder is no extension
      {L"my.games/river", nullptr, L".dvk", L"my.games/river.dvk"},
      {L"./game", nullptr, L".dvk", L"./game.dvk"},
      {L"../out.d/game.bin", nullptr, L".grl", L"../out.d/game.grl"},
      {L"game.bin", L"out.d/packed", L".dvk", L"out.d/packed.dvk"},
      {L".profile", nullptr, L".grl", L".profile.grl"},  // a hidden name, not an extension
      {L"dir/.hidden.bin", nullptr, L".grl", L"dir/.hidden.grl"},
      {L"game.", nullptr, L".dvk", L"game.dvk"},
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
  ASSERT_TRUE(WriteOutputFile(GranolOutputData()));
  EXPECT_EQ(ReadFileBytes(dir_ / "out.grl"), MakeBkFile(01234, Pattern(300)));
  EXPECT_EQ(ListDirectory(dir_.path()), std::vector<std::string>{"out.grl"});
}

TEST_F(WriterTest, RawOutputHasNoHeader) {
  PrepareGranolResult(Pattern(300));
  packerState.rawOutput = true;
  packerState.outputName = WidenName((dir_ / "out.grl").c_str());
  ASSERT_TRUE(WriteOutputFile(GranolOutputData()));
  EXPECT_EQ(ReadFileBytes(dir_ / "out.grl"), Pattern(300));
}

TEST_F(WriterTest, DorvikWriterTakesTheLengthOfTheDirection) {
  const Bytes data = Pattern(40);
  std::copy(data.begin(), data.end(), packerState.fileBuffer.begin());
  dorvikContext.imageLength = 30;
  dorvikContext.unpackedLength = 40;
  packerState.outputName = WidenName((dir_ / "out.dvk").c_str());
  ASSERT_TRUE(WriteOutputFile(DorvikOutputData()));
  EXPECT_EQ(ReadFileBytes(dir_ / "out.dvk"), MakeBkFile(01000, Bytes(data.begin(), data.begin() + 30)));
  packerState.unpackMode = true;
  ASSERT_TRUE(WriteOutputFile(DorvikOutputData()));
  EXPECT_EQ(ReadFileBytes(dir_ / "out.dvk"), MakeBkFile(01000, data));
}

TEST_F(WriterTest, OutputThatCannotBeCreatedIsReported) {
  PrepareGranolResult(Pattern(10));
  packerState.outputName = WidenName((dir_ / "missing-dir/out.grl").c_str());
  EXPECT_FALSE(WriteOutputFile(GranolOutputData()));
  EXPECT_EQ(console_, "Ошибка:: не удалось открыть файл для записи '" + (dir_ / "missing-dir/out.grl") +
                          "'.\n");
}

TEST_F(WriterTest, FullDeviceIsAFailureAndTheDeviceStays) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  PrepareGranolResult(Pattern(5000));
  packerState.outputName = L"/dev/full";
  EXPECT_FALSE(WriteOutputFile(GranolOutputData()));
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
