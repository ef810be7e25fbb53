// Reading the input, naming and writing the output of a run.
#include "front/files.h"

#include <gtest/gtest.h>

#include "common/console.h"
#include "common/platform.h"
#include "support/temp_dir.h"

namespace {

class BkFileTest : public ::testing::Test {
 protected:
  void SetUp() override { SetConsoleSink(&console_); }
  void TearDown() override { SetConsoleSink(nullptr); }

  bool Read(const Bytes& file) {
    WriteFileBytes(dir_ / "input.bin", file);
    state_.inputName = WidenName((dir_ / "input.bin").c_str());
    return ReadInputFile(state_, nullptr);
  }
  const Bytes& Data() const { return state_.data; }

  TempDir dir_;
  std::string console_;
  PackerState state_;
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
  EXPECT_EQ(state_.loadAddress, 040000);
  EXPECT_EQ(Data(), data);
  EXPECT_EQ(console_, "Пакуем '" + (dir_ / "input.bin") + "' :: ");
}

TEST_F(BkFileTest, ExtendedHeaderSkipsTheNameAndTheChecksumAndSaysSo) {
  Bytes file = Pattern(1000);
  file[0] = 0x00, file[1] = 0x04;  // load address 02000
  file[2] = 978 & 0xFF, file[3] = 978 >> 8;
  const std::string name = "\xE9\xE7\xF2\xE1 1          ";  // ИГРА 1, KOI-8
  std::copy(name.begin(), name.end(), file.begin() + 4);
  uint32_t sum = 0;
  for (size_t i = 20; i < 998; ++i) sum += file[i];
  sum = (sum & 0xFFFF) + (sum >> 16);
  file[998] = static_cast<uint8_t>(sum), file[999] = static_cast<uint8_t>(sum >> 8);
  ASSERT_TRUE(Read(file));
  EXPECT_EQ(state_.loadAddress, 02000);
  EXPECT_EQ(Data(), Bytes(file.begin() + 20, file.begin() + 998));
  EXPECT_EQ(console_,
            "Внимание:: файл прочитан как запись с магнитофона: заголовок 20 байт с именем "
            "'ИГРА 1', данные и их контрольная сумма; не как файл с 18 лишними байтами в "
            "конце.\nПакуем '" +
                (dir_ / "input.bin") + "' :: ");
}

TEST_F(BkFileTest, LengthWordFarFromTheSizeMeansRawDataAtTheDefaultAddress) {
  for (const uint16_t lengthWord : std::initializer_list<uint16_t>{484, 1509}) {  // 512 bytes short of or beyond the file
    Bytes file = Pattern(1000);
    file[2] = static_cast<uint8_t>(lengthWord & 0xFF), file[3] = static_cast<uint8_t>(lengthWord >> 8);
    ASSERT_TRUE(Read(file));
    EXPECT_EQ(state_.loadAddress, 01000);
    EXPECT_EQ(Data(), file);
  }
}

TEST_F(BkFileTest, ProgramPastTheAddressSpaceIsRefusedForPackingOnly) {
  const Bytes file = MakeBkFile(0177000, Pattern(01002));
  EXPECT_FALSE(Read(file));
  EXPECT_EQ(
      console_,
      "Ошибка:: программа с адреса 0177000 длиной 01002 выходит за границу памяти 0200000.\n");
  console_.clear();
  ASSERT_TRUE(Read(MakeBkFile(0177000, Pattern(01000))));  // ends exactly at 0200000
  state_.unpackMode = true;  // an image is not a program: the method judges it
  ASSERT_TRUE(Read(file));
  EXPECT_EQ(state_.data.size(), 01002u);
}

TEST_F(BkFileTest, EmptyBkFileIsValid) {
  ASSERT_TRUE(Read(MakeBkFile(01000, {})));
  EXPECT_TRUE(state_.data.empty());
}

TEST_F(BkFileTest, OddLoadAddressIsAccepted) {
  ASSERT_TRUE(Read(MakeBkFile(01001, Pattern(10))));
  EXPECT_EQ(state_.loadAddress, 01001);
}

TEST_F(BkFileTest, FilesShorterThanFourBytesAreTooShort) {
  for (size_t size = 0; size < 4; ++size) {
    console_.clear();
    EXPECT_FALSE(Read(Pattern(size))) << size;
    EXPECT_EQ(console_, "Ошибка:: файл '" + (dir_ / "input.bin") +
                            "' слишком короткий, в нём меньше 4 байт.\n");
  }
}

// A program to pack has fewer than 57344 bytes; an image to unpack may be
// a whole BK file of the address space in 512-byte blocks.
TEST_F(BkFileTest, SizeLimitIs57343BytesForPackingAnd66048ForUnpacking) {
  ASSERT_TRUE(Read(Pattern(57343)));
  EXPECT_EQ(state_.data.size(), 57343u);
  console_.clear();
  EXPECT_FALSE(Read(Pattern(57344)));
  EXPECT_EQ(console_, "Ошибка:: файл '" + (dir_ / "input.bin") + "' слишком большой.\n");
  state_.unpackMode = true;
  ASSERT_TRUE(Read(Pattern(66048)));
  EXPECT_EQ(state_.data.size(), 66048u);
  EXPECT_FALSE(Read(Pattern(66049)));
}

TEST_F(BkFileTest, MissingFileIsReportedAsNotFound) {
  state_.inputName = WidenName((dir_ / "absent.bin").c_str());
  EXPECT_FALSE(ReadInputFile(state_, nullptr));
  EXPECT_EQ(console_, "Ошибка:: файл '" + (dir_ / "absent.bin") + "' не найден.\n");
}

TEST_F(BkFileTest, UnpackModeAnnouncesUnpacking) {
  state_.unpackMode = true;
  ASSERT_TRUE(Read(MakeBkFile(01000, Pattern(8))));
  EXPECT_EQ(console_, "Распаковываем '" + (dir_ / "input.bin") + "' :: ");
}

struct NameCase {
  const wchar_t* input;
  const wchar_t* given;  // explicit output name, or nullptr
  const wchar_t* extension;
  const wchar_t* expected;
};

TEST(OutputNameFor, ReplacesOrAppendsTheExtensionOfTheLastPathComponent) {
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
    EXPECT_EQ(OutputNameFor(c.given != nullptr ? c.given : c.input, c.extension), c.expected)
        << NarrowName(c.input);
  }
}

class WriterTest : public BkFileTest {
 protected:
  MethodOutcome Outcome(const Bytes& bytes, uint16_t loadAddress = 01234) {
    MethodOutcome outcome;
    outcome.done = true;
    outcome.bytes = bytes;
    outcome.loadAddress = loadAddress;
    return outcome;
  }
};

TEST_F(WriterTest, HeaderWordsMatchTheData) {
  state_.outputName = WidenName((dir_ / "out.grl").c_str());
  ASSERT_TRUE(WriteOutputFile(state_, Outcome(Pattern(300))));
  EXPECT_EQ(ReadFileBytes(dir_ / "out.grl"), MakeBkFile(01234, Pattern(300)));
  EXPECT_EQ(ListDirectory(dir_.path()), std::vector<std::string>{"out.grl"});
  EXPECT_EQ(console_, "");
}

TEST_F(WriterTest, RawOutputHasNoHeader) {
  state_.rawOutput = true;
  state_.outputName = WidenName((dir_ / "out.grl").c_str());
  ASSERT_TRUE(WriteOutputFile(state_, Outcome(Pattern(300))));
  EXPECT_EQ(ReadFileBytes(dir_ / "out.grl"), Pattern(300));
}

TEST_F(WriterTest, EmptyOutputIsAHeaderAlone) {
  state_.outputName = WidenName((dir_ / "out.bkfile").c_str());
  ASSERT_TRUE(WriteOutputFile(state_, Outcome({}, 02000)));
  EXPECT_EQ(ReadFileBytes(dir_ / "out.bkfile"), MakeBkFile(02000, {}));
}

TEST_F(WriterTest, OutputThatCannotBeCreatedIsReported) {
  state_.outputName = WidenName((dir_ / "missing-dir/out.grl").c_str());
  EXPECT_FALSE(WriteOutputFile(state_, Outcome(Pattern(10))));
  EXPECT_EQ(console_, "Ошибка:: не удалось создать файл '" + (dir_ / "missing-dir/out.grl") +
                          "' в папке '" + (dir_ / "missing-dir") +
                          "': нет такого файла или папки.\n");
}

TEST_F(WriterTest, FullDeviceIsAFailureAndTheDeviceStays) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  state_.outputName = L"/dev/full";
  EXPECT_FALSE(WriteOutputFile(state_, Outcome(Pattern(5000))));
  EXPECT_EQ(console_, "Ошибка:: не удалось записать файл '/dev/full'.\n");
  EXPECT_TRUE(FileExists("/dev/full"));
}

TEST_F(BkFileTest, OutputNamingTheInputIsDetectedByIdentityNotSpelling) {
  WriteFileBytes(dir_ / "game.bin", Pattern(10));
  state_.inputName = WidenName((dir_ / "game.bin").c_str());
  state_.outputName = WidenName((dir_.path() + "/./game.bin").c_str());
  EXPECT_TRUE(OutputWouldOverwriteInput(state_));
  EXPECT_NE(console_.find("совпадает с входным"), std::string::npos);
  state_.outputName = WidenName((dir_ / "game.dvk").c_str());
  EXPECT_FALSE(OutputWouldOverwriteInput(state_));
}

}  // namespace
