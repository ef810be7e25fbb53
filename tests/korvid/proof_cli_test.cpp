// korvid proves every image on its PDP-11 model before writing it: an image
// broken after packing (through the test build's hook, which adds to one
// image word) is refused with a message that says what went wrong, exit
// status 1, no output file and no temporary file, and an earlier output of
// that name stays as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/korvid_run.h"
#include "support/temp_dir.h"

namespace {

const std::string kDots = "..........";
const std::string kFailed = "Ошибка:: образ не прошёл проверку на модели PDP-11: ";
const std::string kNotWritten = ". Файл не записан, это внутренняя ошибка korvid.\n";

class KorvidProof : public ::testing::Test {
 protected:
  void SetUp() override {
    input_ = ReadFileBytes(std::string(EXAMPLES_DIR) + "/hello.bin");
    ASSERT_FALSE(input_.empty());
    WriteFileBytes(dir_ / "game.bin", input_);
  }
  void TearDown() override {
    EXPECT_EQ(ReadFileBytes(dir_ / "game.bin"), input_) << "input changed";
  }

  // The hooked korvid, adding `addend` to the image word at `offset`.
  RunResult RunBroken(const std::vector<std::string>& args, const std::string& offset,
                      const std::string& addend) {
    RunOptions options;
    options.environment.push_back({"KORVID_BREAK_WORD", offset + "," + addend});
    return RunKorvidAt(KORVID_BROKEN_IMAGE_BINARY, dir_.path(), args, options);
  }

  void ExpectOnlyInputs(const std::vector<std::string>& names) {
    EXPECT_EQ(ListDirectory(dir_.path()), names) << "an output or a temporary file was left";
  }

  TempDir dir_;
  Bytes input_;
};

TEST_F(KorvidProof, BrokenDorvikExitIsNotWritten) {
  // The short stub's JMP n(R0) displacement, at image offset 0176, one word
  // further: the stub would start the program at 01002.
  const RunResult r = RunBroken({"-t", "dorvik", "game.bin"}, "0176", "2");
  EXPECT_EQ(r.exitStatus, kKorvidFailed);
  EXPECT_EQ(r.out, "Пакуем 'game.bin' :: " + kDots + kFailed +
                       "управление передано по адресу 001002 вместо 001000" + kNotWritten);
  EXPECT_EQ(r.err, "");
  ExpectOnlyInputs({"game.bin"});
}

TEST_F(KorvidProof, EarlierOutputStaysWhenTheNewImageFails) {
  const Bytes earlier = MakeBkFile(01000, Bytes(20, 7));
  WriteFileBytes(dir_ / "game.dvk", earlier);
  // The stub's first word made a HALT (MOV PC, R4 is 010704).
  const RunResult r = RunBroken({"-t", "dorvik", "game.bin"}, "0", "167074");
  EXPECT_EQ(r.exitStatus, kKorvidFailed);
  EXPECT_EQ(r.out, "Пакуем 'game.bin' :: " + kDots + kFailed + "команда HALT по адресу 001000" +
                       kNotWritten);
  EXPECT_EQ(ReadFileBytes(dir_ / "game.dvk"), earlier);
  ExpectOnlyInputs({"game.bin", "game.dvk"});
}

TEST_F(KorvidProof, BrokenGranolStreamNamesTheFirstWrongByte) {
  // A stream word in the middle of the image: the data comes out wrong.
  const RunResult r = RunBroken({"-t", "bkgranol", "game.bin", "out.grl"}, "01000", "1");
  EXPECT_EQ(r.exitStatus, kKorvidFailed);
  EXPECT_EQ(r.out, "Пакуем 'game.bin' :: " + kFailed +
                       "по адресу 002610 распаковано 0300 вместо 0100" + kNotWritten);
  ExpectOnlyInputs({"game.bin"});
  // The address is the first byte that differs from the input.
  EXPECT_EQ(input_[4 + 02610 - 01000], 0100);
}

TEST_F(KorvidProof, TrapsAndLongStubWordsAreCaught) {
  // Granol's first instruction, BIT #0, @#177716, made BIT #0, @#177720:
  // a read of memory the BK does not have. The image lies above its data,
  // which ends at 03604.
  const RunResult trap = RunBroken({"-t", "bkgranol", "game.bin"}, "4", "2");
  EXPECT_EQ(trap.exitStatus, kKorvidFailed);
  EXPECT_EQ(trap.out, "Пакуем 'game.bin' :: " + kFailed +
                          "обращение к несуществующей памяти по адресу 177720, команда по адресу " +
                          "003604" + kNotWritten);
  // The long stub's checksum operand (offset 016) one higher: the word it
  // leaves at 0312 is not the input's sum.
  const RunResult sum = RunBroken({"-t", "dorvik", "-l", "game.bin"}, "016", "1");
  EXPECT_EQ(sum.exitStatus, kKorvidFailed);
  EXPECT_EQ(
      sum.out.find("Пакуем 'game.bin' :: " + kDots + kFailed + "по адресу 000312 распаковано "), 0u)
      << sum.out;
  ExpectOnlyInputs({"game.bin"});
}

TEST_F(KorvidProof, HookedProgramWithoutItsHookWritesWhatKorvidWrites) {
  for (const auto& [method, extension] :
       {std::pair<std::string, std::string>{"dorvik", ".dvk"}, {"bkgranol", ".grl"}}) {
    const RunResult hooked =
        RunKorvidAt(KORVID_BROKEN_IMAGE_BINARY, dir_.path(), {"-t", method, "game.bin", "a"});
    const RunResult plain = RunKorvid(dir_.path(), {"-t", method, "game.bin", "b"});
    EXPECT_EQ(hooked.exitStatus, kKorvidWritten) << method;
    EXPECT_EQ(hooked.out, plain.out) << method;
    EXPECT_EQ(ReadFileBytes(dir_ / ("a" + extension)), ReadFileBytes(dir_ / ("b" + extension)))
        << method;
    EXPECT_FALSE(ReadFileBytes(dir_ / ("a" + extension)).empty()) << method;
  }
}

}  // namespace
