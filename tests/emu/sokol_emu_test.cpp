// Sokol images run on an emulated LSI-11, entered at the load address as
// after a caller's JSR PC; the stub copies its decoder below the stack, moves the stream up
// to end at the program's end plus the margin, unpacks in place and starts
// the program (a breakpoint at the start address) or returns to the caller
// (a HALT after the JSR). Guard bytes below the load address, above the
// margin and below the decoder's stack area must come out as they went in:
// the stub writes nowhere else, and the reported margin is enough. The
// emulator's clock gives the instructions per unpacked byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "sokol/sokol.h"
#include "sokol/sokol_stub.h"
#include "support/pdp11.h"
#include "support/random.h"
#include "support/temp_dir.h"

namespace {

#define SKIP_WITHOUT_PDP11() \
  if (!Pdp11Machine::Available()) GTEST_SKIP() << "pdp11 (simh) is not installed"

constexpr uint32_t kMachineTop = 0160000;  // the emulator's I/O page
constexpr uint16_t kLowCaller = 0200;      // the caller's return address: a HALT
constexpr uint16_t kLowStack = 01000;      // SP before the JSR, as on a BK
constexpr uint16_t kHighCaller = 0157400;  // for data that covers the low stack
constexpr uint16_t kHighStack = 0157400;
constexpr uint32_t kGuard = 16;
constexpr uint8_t kGuardByte = 0245;

struct Scene {
  uint16_t caller;
  uint16_t stack;  // SP before the JSR
};

struct ImageRun {
  Pdp11Result result;
  Scene scene{};
  uint64_t instructions = 0;
};

// Where the caller and the stack go: low, as on a BK, unless the program
// covers that area; then at the top of the emulator's memory.
bool ChooseScene(uint16_t loadAddress, uint32_t reach, uint32_t stackUse, Scene* scene) {
  if (loadAddress >= kLowStack) {
    *scene = {kLowCaller, kLowStack};
    return true;
  }
  if (reach + kGuard <= kHighStack - stackUse - 2 * kGuard) {
    *scene = {kHighCaller, kHighStack};
    return true;
  }
  return false;
}

Bytes Guard(size_t length) { return Bytes(length, kGuardByte); }

// The decoder's stack area: its block and two nested calls.
uint32_t StackUse(const sokol::PackResult& packed) {
  return static_cast<uint32_t>(sokol::BlockOf(packed.decoder).size) + 4;
}

// A program below 01000 may start inside the set-up code at 01000 (its
// autostart words say 01012, say): the breakpoint then lets the set-up's
// own passes by. The two copy loops run block-words and stream-words times.
unsigned PassesBeforeTheStart(const sokol::PackResult& packed) {
  const uint16_t entry = packed.loadAddress < 01000 ? 01000 : packed.loadAddress;
  const uint32_t offset = static_cast<uint32_t>(packed.startAddress) - entry;
  if (packed.startAddress < entry || offset >= sokol::kSetupSize) return 1;
  const unsigned streamWords = static_cast<unsigned>((packed.streamSize + 1) / 2);
  switch (offset) {
    case 004: case 014: case 020: case 030: case 034: return 2;  // run once
    case 010: case 012: return static_cast<unsigned>(sokol::BlockOf(packed.decoder).size / 2) + 1;
    case 024: case 026: return streamWords + 1;
    default: return 1;  // operands, and 000, which runs before breakpoints are set
  }
}

ImageRun RunImage(const sokol::PackResult& packed, size_t length, bool dataMode) {
  const uint16_t load = packed.loadAddress;
  const uint32_t reach = load + static_cast<uint32_t>(length) + packed.margin;
  ImageRun run;
  EXPECT_TRUE(ChooseScene(load, reach, StackUse(packed), &run.scene)) << "no room in the emulator";
  Pdp11Machine machine;
  const uint32_t spEntry = run.scene.stack - 2u;
  const uint32_t stackLow = spEntry - StackUse(packed);
  machine.Load(stackLow - kGuard, Guard(kGuard));
  if (load >= kGuard && load - kGuard >= run.scene.stack) machine.Load(load - kGuard, Guard(kGuard));
  if (reach + kGuard <= kMachineTop) machine.Load(reach, Guard(kGuard));
  machine.Load(load, packed.image);
  // As if the caller's JSR PC, @#load had just run: its return address, a
  // HALT, on the stack, and the PC at the load address (the emulator's
  // first step then runs the stub, so a breakpoint there means the start).
  machine.SetWord(run.scene.caller, 0);  // HALT
  machine.SetWord(spEntry, run.scene.caller);
  machine.SetRegister(6, static_cast<uint16_t>(spEntry));
  // Files below 01000: the stub sits at 01000, where the autostart words send the BK.
  machine.SetRegister(7, std::max<uint16_t>(load, 01000));
  if (!dataMode) machine.AddBreakpoint(packed.startAddress, PassesBeforeTheStart(packed));
  machine.Examine(static_cast<uint16_t>(stackLow - kGuard), kGuard);
  const uint32_t low = load >= kGuard ? load - kGuard : 0;
  const uint32_t high = std::min(reach + kGuard, kMachineTop);
  machine.Examine(static_cast<uint16_t>(low), high - low);
  run.result = machine.Run(60ull * length + 100000, 300);
  run.instructions = run.result.instructions;
  return run;
}

// Runs the image and checks the data, the exit, and every guard byte.
ImageRun ExpectUnpacksOnPdp11(const Bytes& data, uint16_t loadAddress, bool dataMode,
                              std::optional<sokol::Decoder> decoder = std::nullopt) {
  sokol::PackOptions options;
  options.dataMode = dataMode;
  options.decoder = decoder;
  const sokol::PackResult packed = sokol::Pack(data, loadAddress, options);
  EXPECT_EQ(packed.error, sokol::PackError::None);
  if (packed.error != sokol::PackError::None) return {};
  const ImageRun run = RunImage(packed, data.size(), dataMode);
  const Pdp11Result& result = run.result;
  SCOPED_TRACE("load " + std::to_string(loadAddress) + ", length " + std::to_string(data.size()) +
               ", margin " + std::to_string(packed.margin) + ", decoder " +
               std::to_string(static_cast<int>(packed.decoder)) + (dataMode ? ", data mode" : ""));
  EXPECT_TRUE(result.ran) << result.transcript.substr(0, 2000);
  if (!result.ran) return run;
  if (dataMode) {
    EXPECT_TRUE(result.halted) << result.stopLine;
    EXPECT_EQ(result.pc, run.scene.caller + 2u) << "returned to the caller";
    EXPECT_EQ(result.registers[6], run.scene.stack) << "SP as before the JSR";
  } else {
    EXPECT_TRUE(result.breakpoint) << result.stopLine;
    EXPECT_EQ(result.pc, packed.startAddress);
    EXPECT_EQ(result.registers[6], run.scene.stack - 2u) << "SP as on entry";
  }
  // Below 01000 the stack image stays as loaded, with its autostart words
  // pointing at the stub; the program from 01000 on is unpacked.
  const size_t split = loadAddress < 01000 ? 01000u - loadAddress : 0;
  EXPECT_TRUE(result.Range(loadAddress, split) == Bytes(packed.image.begin(), packed.image.begin() + split))
      << "the stack image differs";
  EXPECT_TRUE(result.Range(static_cast<uint16_t>(loadAddress + split), data.size() - split) == Bytes(data.begin() + split, data.end()))
      << "unpacked data differ";
  const uint32_t reach = loadAddress + static_cast<uint32_t>(data.size()) + packed.margin;
  const uint32_t stackLow = run.scene.stack - 2u - StackUse(packed);
  for (uint32_t i = 0; i < kGuard; ++i) {
    EXPECT_EQ(result.memory[stackLow - kGuard + i], kGuardByte) << "below the stack area, " << i;
    if (loadAddress >= kGuard && loadAddress - kGuard >= run.scene.stack) {
      EXPECT_EQ(result.memory[loadAddress - kGuard + i], kGuardByte) << "below the load address, " << i;
    }
    if (reach + kGuard <= kMachineTop) {
      EXPECT_EQ(result.memory[reach + i], kGuardByte) << "above the margin, " << i;
    }
  }
  return run;
}

Bytes RandomBytes(Random& random, size_t length, int alphabet) {
  Bytes data(length);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(random() % alphabet);
  return data;
}

// Every decoder in both modes.
TEST(SokolEmulator, ShortAndEdgeInputs) {
  SKIP_WITHOUT_PDP11();
  Random random(15);
  const Bytes empty;
  const Bytes one{0x5A};
  const Bytes three{1, 2, 3};
  for (int d = 0; d < sokol::kDecoderCount; ++d) {
    const auto decoder = static_cast<sokol::Decoder>(d);
    for (bool dataMode : {false, true}) {
      ExpectUnpacksOnPdp11(empty, 02000, dataMode, decoder);
      ExpectUnpacksOnPdp11(one, 01000, dataMode, decoder);
      ExpectUnpacksOnPdp11(three, 040000, dataMode, decoder);
      ExpectUnpacksOnPdp11(RandomBytes(random, 37, 4), 01000, dataMode, decoder);
    }
  }
}

// Long copies (runs of more than 255 bytes and a whole-window copy), copies
// from beyond 16 KB, repeat offsets, odd lengths and load addresses across
// the memory, in both modes, each with the packer's choice and with one
// decoder of the family in turn.
TEST(SokolEmulator, GeneratedInputs) {
  SKIP_WITHOUT_PDP11();
  Random random(2024);
  Bytes text;
  const char* words[] = {"PRINT ", "GOTO ", "10 ", "REM ", "BK-0010 ", "\n", "A$=", "X=X+1 "};
  while (text.size() < 9001) {
    for (const char* c = words[random() % 8]; *c != '\0'; ++c) text.push_back(uint8_t(*c));
  }
  text.resize(9001);
  Bytes far = RandomBytes(random, 17000, 256);  // then itself again: offset 17000
  far.insert(far.end(), far.begin(), far.begin() + 9000);
  Bytes words16;  // PDP-11-like words: opcodes with a few operands
  for (int i = 0; i < 6000; ++i) {
    const uint16_t word = static_cast<uint16_t>((random() % 8) * 010000 + (random() % 64));
    words16.push_back(static_cast<uint8_t>(word & 0xFF));
    words16.push_back(static_cast<uint8_t>(word >> 8));
  }
  struct Case {
    const char* name;
    Bytes data;
    uint16_t loadAddress;
  };
  const std::vector<Case> cases = {
      {"zeros, copies longer than 255", Bytes(3001, 0), 01000},
      {"random, incompressible", RandomBytes(random, 4000, 256), 020000},
      {"small alphabet", RandomBytes(random, 5000, 3), 040000},
      {"text, odd length", text, 01000},
      {"copy from 17000 back", far, 01000},
      {"words", words16, 0100000},
  };
  int turn = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto decoder = static_cast<sokol::Decoder>(turn++ % sokol::kDecoderCount);
    ExpectUnpacksOnPdp11(c.data, c.loadAddress, false);
    ExpectUnpacksOnPdp11(c.data, c.loadAddress, true, decoder);
  }
}

// Data that does not compress at all, as large as the emulator's memory
// allows above 01000: the image is larger than the data, and the margin
// covers it.
TEST(SokolEmulator, LargeIncompressibleInput) {
  SKIP_WITHOUT_PDP11();
  Random random(7);
  const Bytes data = RandomBytes(random, kMachineTop - 01000 - 400, 256);
  ExpectUnpacksOnPdp11(data, 01000, true);
}

// Files that load below 01000 cover the BK's stack: here the stack lies high
// and the stub copies its decoder there. The stub is entered at 01000; a
// stack image filled with a start address sends the program there.
TEST(SokolEmulator, DataBelowTheSystemArea) {
  SKIP_WITHOUT_PDP11();
  Random random(11);
  ExpectUnpacksOnPdp11(RandomBytes(random, 3000, 5), 0400, false);
  ExpectUnpacksOnPdp11(RandomBytes(random, 3001, 9), 0500, true);
  Bytes autostart = RandomBytes(random, 5000, 7);
  for (size_t at = 0; at < 0200; at += 2) {
    autostart[at] = 0234;  // 01234, little-endian
    autostart[at + 1] = 02;
  }
  const ImageRun run = ExpectUnpacksOnPdp11(autostart, 0600, false);
  EXPECT_EQ(run.result.pc, 01234) << "started where the autostart words said";
  ExpectUnpacksOnPdp11(autostart, 0600, true);
}

constexpr int kCorpusShards = 4;

class SokolEmulatorCorpus : public testing::TestWithParam<int> {};

// Every corpus file at its own load address (a file that would reach past
// the emulator's memory is unpacked at 01000 instead), in program mode.
TEST_P(SokolEmulatorCorpus, UnpacksOnPdp11) {
  SKIP_WITHOUT_PDP11();
  const std::vector<std::string> files = BkFilesIn(BK_CORPUS_DIR);
  if (files.empty()) GTEST_SKIP() << "no BK files in " << BK_CORPUS_DIR;
  for (size_t i = GetParam(); i < files.size(); i += kCorpusShards) {
    SCOPED_TRACE(files[i]);
    const Bytes file = ReadFileBytes(std::string(BK_CORPUS_DIR) + "/" + files[i]);
    ASSERT_GE(file.size(), 4u);
    uint16_t loadAddress = static_cast<uint16_t>(file[0] | file[1] << 8);
    const Bytes data(file.begin() + 4, file.end());
    if (loadAddress + data.size() + 400 > kMachineTop) loadAddress = 01000;
    const ImageRun run = ExpectUnpacksOnPdp11(data, loadAddress, false);
    std::printf("[ sokol    ] %-22s %6zu bytes  %8.2f instructions per byte\n", files[i].c_str(),
                data.size(), static_cast<double>(run.instructions) / static_cast<double>(data.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, SokolEmulatorCorpus, testing::Range(0, kCorpusShards));

}  // namespace
