// The rows of the method table: how the front hands a run's data and
// options to each method and turns what comes back into console text,
// output bytes and notes.
#include "front/methods.h"

#include <gtest/gtest.h>

#include <string>

#include "common/console.h"
#include "dorvik/dorvik.h"
#include "proof/sokol_plan.h"
#include "support/bk_bytes.h"

namespace {

struct MethodRun {
  MethodOutcome outcome;
  std::string console;
};

MethodRun Pack(const wchar_t* keyword, const PackerState& state) {
  MethodRun run;
  SetConsoleSink(&run.console);
  run.outcome = MethodForKeyword(keyword)->pack(state);
  SetConsoleSink(nullptr);
  return run;
}

MethodRun Unpack(const wchar_t* keyword, const PackerState& state) {
  MethodRun run;
  SetConsoleSink(&run.console);
  run.outcome = MethodForKeyword(keyword)->unpack(state);
  SetConsoleSink(nullptr);
  return run;
}

PackerState StateFor(uint16_t loadAddress, const Bytes& data,
                     const wchar_t* inputName = L"game.bin") {
  PackerState state;
  state.loadAddress = loadAddress;
  state.data = data;
  state.inputName = inputName;
  return state;
}

TEST(GranolRow, StoresTheExtensionOfTheInputNamesLastComponent) {
  struct Case {
    std::wstring name;
    Bytes bytes;
  };
  const Case cases[] = {
      {L"game.bin", {'b', 'i', 'n'}},
      {L"GAME", {0, 0, 0}},
      {L"x.x", {'x', 0, 0}},
      {L"a.b.longer", {'l', 'o', 'n'}},
      {L"game.", {0, 0, 0}},
      {L"dir.d/game", {0, 0, 0}},  // the only dot is in the directory
      {L"dir/.profile", {'p', 'r', 'o'}},
      {L"\u0438\u0433\u0440\u0430.\u0431\u0438\u043d", {0xC2, 0xC9, 0xCE}},  // игра.бин, in KOI-8
      {L"raw.\xDCE9z", {0, 0, 0}},   // a byte that was not UTF-8: no BK form
      {L"a.\U0001F600", {0, 0, 0}},  // beyond the BMP: no BK form
  };
  for (const Case& c : cases) {
    const MethodRun run = Pack(L"BKGRANOL", StateFor(01000, {1, 2, 3, 4}, c.name.c_str()));
    ASSERT_TRUE(run.outcome.done);
    const Bytes stored(run.outcome.bytes.begin() + 0374, run.outcome.bytes.begin() + 0377);
    EXPECT_EQ(stored, c.bytes) << "case " << &c - cases;
    EXPECT_EQ(run.console, "");
  }
}

TEST(GranolRow, ImagesKeepTheLoadAddressOfTheirData) {
  const MethodRun packed = Pack(L"BKGRANOL", StateFor(040000, Noise(100, 1)));
  ASSERT_TRUE(packed.outcome.done);
  EXPECT_EQ(packed.outcome.loadAddress, 040000);
  // The image says where its data goes, whatever address the file had.
  const MethodRun unpacked = Unpack(L"BKGRANOL", StateFor(01000, packed.outcome.bytes));
  ASSERT_TRUE(unpacked.outcome.done);
  EXPECT_EQ(unpacked.outcome.loadAddress, 040000);
  EXPECT_EQ(unpacked.outcome.bytes, Noise(100, 1));
}

TEST(GranolRow, RefusalPrintsItsMessageAndGivesNothing) {
  const MethodRun refused = Pack(L"BKGRANOL", StateFor(01000, Noise(33000, 3)));
  EXPECT_FALSE(refused.outcome.done);
  EXPECT_TRUE(refused.outcome.bytes.empty());
  EXPECT_EQ(refused.console.rfind("Ошибка:: упакованный файл длиной ", 0), 0u) << refused.console;
  EXPECT_NE(refused.console.find("рядом с данными 01000-0101350, упаковка Granol невозможна.\n"),
            std::string::npos)
      << refused.console;
  const MethodRun damaged = Unpack(L"BKGRANOL", StateFor(01000, Noise(300, 2)));
  EXPECT_FALSE(damaged.outcome.done);
  EXPECT_EQ(damaged.console, "Ошибка:: не опознан упаковщик Granol или файл повреждён.\n");
}

TEST(DorvikRow, OptionsOfTheRunReachTheMethodAndStepsShowAsDots) {
  PackerState state = StateFor(01000, TenWordExample());
  const MethodRun plain = Pack(L"DORVIK", state);
  ASSERT_TRUE(plain.outcome.done);
  EXPECT_EQ(plain.console, "..........");
  EXPECT_EQ(WordAt(plain.outcome.bytes, 0), 0010704);  // the short stub
  state.longStub = true;
  state.dataMode = true;
  state.workEnd = 0;
  const MethodRun options = Pack(L"DORVIK", state);
  ASSERT_TRUE(options.outcome.done);
  EXPECT_EQ(WordAt(options.outcome.bytes, 0), 0012704);     // the long stub
  EXPECT_EQ(WordAt(options.outcome.bytes, 0216), 0000207);  // returns: data
  // -w 0: the work area follows the image, which is longer than the data.
  const size_t imageEnd = (options.outcome.bytes.size() + 1) & ~size_t{1};
  EXPECT_EQ(WordAt(options.outcome.bytes, 034), 01000 + imageEnd + 01070);
}

TEST(DorvikRow, RefusalsPrintTheirMessagesAfterTheSteps) {
  PackerState state = StateFor(01000, Noise(2000, 7));
  state.workEnd = 02000;
  const MethodRun inside = Pack(L"DORVIK", state);
  EXPECT_FALSE(inside.outcome.done);
  EXPECT_EQ(inside.console,
            "........Ошибка:: рабочая область 0710-02000 перекрывает упакованный файл, задайте "
            "другой адрес "
            "ключом -w.\n");
  EXPECT_EQ(Pack(L"DORVIK", StateFor(0777, Bytes(100, 0))).console,
            "Ошибка:: нечётный адрес загрузки 0777, упаковка Dorvik невозможна.\n");
  EXPECT_EQ(
      Pack(L"DORVIK", StateFor(0177000, Noise(512, 7))).console,
      "..........Ошибка:: упакованный файл 0177000-0200242 выходит за границу памяти 0200000.\n");
  EXPECT_EQ(Unpack(L"DORVIK", StateFor(01000, Noise(300, 2))).console,
            "Ошибка:: не опознан упаковщик Dorvik или файл повреждён.\n");
}

// What the unpacked file cannot say becomes notes, for the driver to print
// after the result line.
TEST(DorvikRow, NotesOfAnUnpacking) {
  PackerState state = StateFor(02000, Noise(900, 5));
  state.longStub = true;
  Bytes image = Pack(L"DORVIK", state).outcome.bytes;
  PutWord(image, 0220, static_cast<uint16_t>(WordAt(image, 0220) + 0100));  // jumps 0100 further
  PutWord(image, 02, 04000);                                                // another length
  const MethodRun unpacked = Unpack(L"DORVIK", StateFor(02000, image));
  ASSERT_TRUE(unpacked.outcome.done);
  EXPECT_EQ(unpacked.console, "");
  ASSERT_EQ(unpacked.outcome.notes.size(), 2u);
  EXPECT_EQ(
      unpacked.outcome.notes[0],
      L"Внимание:: распаковщик запускает программу с адреса 02100, в распакованный файл этот адрес "
      L"записать нельзя.\n");
  EXPECT_EQ(unpacked.outcome.notes[1].rfind(L"Внимание:: длина 04000 и контрольная сумма ", 0), 0u);
}

// -d, -l and -w shape an image; unpacking takes all it needs from the
// image itself and ignores them.
TEST(DorvikRow, UnpackingIgnoresThePackingOptions) {
  PackerState state = StateFor(0400, Noise(01000 - 0400 + 600, 9));
  for (size_t offset = 0; offset < 01000 - 0400; offset += 2) PutWord(state.data, offset, 037700);
  Bytes image = Pack(L"DORVIK", state).outcome.bytes;
  // Other tools point the whole stack image at the stub at 01000.
  for (size_t offset = 0; offset < 01000 - 0400; offset += 2) PutWord(image, offset, 01000);
  PackerState unpacking = StateFor(0400, image);
  const MethodRun plain = Unpack(L"DORVIK", unpacking);
  unpacking.dataMode = true;
  unpacking.longStub = true;
  unpacking.workEnd = 040000;
  const MethodRun withOptions = Unpack(L"DORVIK", unpacking);
  ASSERT_TRUE(plain.outcome.done);
  ASSERT_TRUE(withOptions.outcome.done);
  EXPECT_EQ(plain.outcome.bytes, state.data);
  EXPECT_EQ(withOptions.outcome.bytes, state.data);
  EXPECT_TRUE(withOptions.outcome.notes.empty());
}

}  // namespace

// Each row's outcome proves what its pack gave, with what packing decided:
// Dorvik's work area and the run's options travel with it, as the margin of
// Sokol; and it proves the image it is handed, which a hook may have broken.
TEST(ProveColumn, EveryOutcomeProvesItsOwnImageWithWhatPackingDecided) {
  Random random(31);
  const Bytes data = GenerateProgram(random, 2500);
  for (const bool dataMode : {false, true}) {
    PackerState state = StateFor(02000, data);
    state.dataMode = dataMode;
    state.longStub = dataMode;
    state.workEnd = dataMode ? 0 : 040000;
    for (const wchar_t* keyword : {L"DORVIK", L"BKGRANOL", L"SOKOL"}) {
      const MethodRun run = Pack(keyword, state);
      ASSERT_TRUE(run.outcome.done);
      const proof::Proof proven = run.outcome.prove(run.outcome.bytes);
      EXPECT_TRUE(proven.Proven()) << static_cast<int>(proven.verdict);
      EXPECT_GT(proven.cycles, 0u);
      Bytes broken = run.outcome.bytes;
      broken[broken.size() / 2] ^= 0x40;
      EXPECT_FALSE(run.outcome.prove(broken).Proven());
    }
    dorvik::PackOptions dorvikOptions;
    dorvikOptions.dataMode = dorvikOptions.longStub = dataMode;
    dorvikOptions.workEnd = state.workEnd;
    const dorvik::PackResult dorvik = dorvik::Pack(data, 02000, dorvikOptions);
    const std::vector<MemoryArea> work = {{"work", dorvik.workStart, dorvik.workStart + 01070u}};
    EXPECT_EQ(Pack(L"DORVIK", state).outcome.areas, work);

    sokol::PackOptions options;
    options.dataMode = dataMode;
    const sokol::PackResult packed = sokol::Pack(data, 02000, options);
    ASSERT_EQ(packed.error, sokol::PackError::None);
    const MethodRun run = Pack(L"SOKOL", state);
    EXPECT_EQ(run.outcome.bytes, packed.image);
    ASSERT_GT(packed.margin, 0u);
    const std::vector<MemoryArea> margin = {
        {"margin", 02000 + 2500u, 02000 + 2500u + packed.margin}};
    EXPECT_EQ(run.outcome.areas, margin);
    EXPECT_EQ(run.outcome.prove(run.outcome.bytes).instructions,
              proof::ProveSokol(packed, data, dataMode).instructions);
  }
}
