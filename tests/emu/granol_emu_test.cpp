// Granol images run on an emulated PDP-11: the stub carried in each image
// must rebuild the packed data in memory and return to its caller. The PC
// unpacker is run on the same images, so that real files go through both.
//
// A tiny caller does JSR PC to the image and HALTs on return. The image lies
// outside the destination range (its usual place on a BK), the bytes around
// the destination are known beforehand, and after the run the destination
// must hold the data and its neighbours must be untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "granol/granol.h"
#include "granol/granol_stub.h"
#include "support/random.h"
#include "support/korvid_golden_cases.h"
#include "support/pdp11.h"
#include "support/temp_dir.h"

namespace {

#define SKIP_WITHOUT_PDP11() \
  if (!Pdp11Machine::Available()) GTEST_SKIP() << "pdp11 (simh) is not installed"

// Low memory of the test machine: vectors, the caller, the stack below 0760,
// so that data loaded at the usual 01000 keeps its place.
constexpr uint16_t kBusErrorVector = 04;
constexpr uint16_t kCaller = 0500;           // JSR PC, @#image; HALT
constexpr uint16_t kHaltAddress = kCaller + 4;
constexpr uint16_t kTrapHandler = 0520;      // INC @#kTrapCount; RTI
constexpr uint16_t kTrapCount = 0540;
constexpr uint16_t kStackTop = 0760;
constexpr uint32_t kMemoryTop = 0160000;     // 56 KiB, then the I/O page
constexpr uint32_t kGuard = 8;               // known bytes checked on both sides
constexpr uint8_t kGuardByte = 0245;

Bytes PackWithLibrary(const Bytes& data, uint16_t loadAddress) {
  granol::PackResult packed = granol::Pack(data, loadAddress, {u"bin"});
  EXPECT_EQ(packed.error, granol::PackError::None);
  return packed.image;
}

// Where the destination and the image go in the 56 KiB of the test machine.
struct Placement {
  uint32_t destination;
  uint32_t image;
  const char* how;
};

uint32_t Even(uint32_t address) { return (address + 1) & ~1u; }

Placement ChoosePlacement(uint16_t loadAddress, uint32_t length, uint32_t imageSize) {
  const uint32_t lowest = kStackTop + kGuard;
  // The file's own load address, with the image above or below the data.
  if (loadAddress >= lowest && loadAddress + length + kGuard <= kMemoryTop) {
    const uint32_t above = Even(loadAddress + length + kGuard);
    if (above + imageSize <= kMemoryTop) return {loadAddress, above, "load address, image above"};
    if (kStackTop + imageSize + kGuard <= loadAddress) {
      return {loadAddress, kStackTop, "load address, image below"};
    }
  }
  // Elsewhere: the test patches the image's load-address word so that the
  // stub decodes into a range of the test machine (odd addresses stay odd).
  const uint32_t moved = lowest + (loadAddress & 1u);
  if (Even(moved + length + kGuard) + imageSize <= kMemoryTop) {
    return {moved, Even(moved + length + kGuard), "moved, image above"};
  }
  // Data and image together exceed the machine: the image goes at the
  // bottom and the data at the top, overlapping the image's last words.
  // The stub reads those words first and writes the start of the data
  // last, so the overlap is harmless while the decoded bytes stay above the
  // stream words still unread; a clash would corrupt the result and fail.
  return {kMemoryTop - kGuard - length, kStackTop, "moved, overlapping the image's end"};
}

struct EmulatorRun {
  Pdp11Result result;
  Placement placement;
  Bytes image;  // as loaded, with the patched load address
};

EmulatorRun RunOnPdp11(const Bytes& image, uint16_t loadAddress, uint32_t length) {
  EmulatorRun run;
  run.image = image;
  run.placement = ChoosePlacement(loadAddress, length, static_cast<uint32_t>(run.image.size()));
  const uint32_t destination = run.placement.destination;
  run.image[2 * granol::kLoadAddressWord] = static_cast<uint8_t>(destination & 0xFF);
  run.image[2 * granol::kLoadAddressWord + 1] = static_cast<uint8_t>(destination >> 8);

  Pdp11Machine machine;
  machine.Load(destination - kGuard, Bytes(length + 2 * kGuard, kGuardByte));
  machine.Load(run.placement.image, run.image);
  // The stub's first instruction, BIT #0, @#177716, reads the BK's system
  // register, which this machine lacks: the access times out and traps to
  // vector 4. The handler counts the trap and returns with RTI to the
  // instruction after the BIT, as the BK would have gone on after the read:
  // the BIT only sets flags that the stub never looks at.
  machine.SetWord(kBusErrorVector, kTrapHandler);
  machine.SetWord(kBusErrorVector + 2, 0340);
  machine.SetWord(kTrapHandler, 005237);  // INC @#kTrapCount
  machine.SetWord(kTrapHandler + 2, kTrapCount);
  machine.SetWord(kTrapHandler + 4, 000002);  // RTI
  machine.SetWord(kTrapCount, 0);
  machine.SetWord(kCaller, 004737);  // JSR PC, @#image
  machine.SetWord(kCaller + 2, static_cast<uint16_t>(run.placement.image));
  machine.SetWord(kHaltAddress, 000000);  // HALT
  machine.SetRegister(6, kStackTop);
  machine.SetRegister(7, kCaller);
  machine.Examine(static_cast<uint16_t>(destination - kGuard), length + 2 * kGuard);
  machine.Examine(kTrapCount, 2);
  // About 70 instructions per byte for literals, fewer for copies: a stub
  // that loops or runs away stops at the limit.
  run.result = machine.Run(100ull * length + 20000);
  return run;
}

// The PC unpacker, for comparison, gives the same data from the same image.
void ExpectUnpackedOnPc(const Bytes& image, const Bytes& expected, uint16_t loadAddress) {
  const granol::UnpackResult unpacked = granol::Unpack(image, 01000);
  ASSERT_EQ(unpacked.error, granol::UnpackError::None);
  EXPECT_EQ(unpacked.loadAddress, loadAddress);
  EXPECT_TRUE(unpacked.data == expected) << "the PC unpacker differs";
}

// The run halted in the caller, the stub returned with R0 = the load
// address and the stack as it was, the destination holds the data, and the
// bytes on both sides hold what was there before.
void ExpectImageUnpacksOnPdp11(const Bytes& image, const Bytes& data, uint16_t loadAddress) {
  Bytes expected = data;
  if (expected.size() % 2 != 0) expected.push_back(0);  // the padding byte
  const EmulatorRun run =
      RunOnPdp11(image, loadAddress, static_cast<uint32_t>(expected.size()));
  const Pdp11Result& result = run.result;
  const uint32_t destination = run.placement.destination;
  SCOPED_TRACE(std::string(run.placement.how) + ", destination " + std::to_string(destination) +
               ", image " + std::to_string(run.placement.image));
  ASSERT_TRUE(result.ran) << result.transcript;
  ASSERT_TRUE(result.halted) << result.stopLine;
  EXPECT_EQ(result.pc, kHaltAddress + 2);
  EXPECT_EQ(result.registers[0], destination);
  EXPECT_EQ(result.registers[6], kStackTop);
  EXPECT_EQ(result.Word(kTrapCount), 1) << "the read of 0177716 trapped once";
  EXPECT_TRUE(result.Range(static_cast<uint16_t>(destination), expected.size()) == expected)
      << "destination differs from the data";

  // Below the destination: the guard bytes, or the image's own words where
  // the image overlaps; above it: the guard bytes.
  for (uint32_t i = 1; i <= kGuard; ++i) {
    const uint32_t address = destination - i;
    const bool inImage = address >= run.placement.image &&
                         address < run.placement.image + run.image.size();
    const uint8_t before = inImage ? run.image[address - run.placement.image] : kGuardByte;
    EXPECT_EQ(result.memory[address], before) << "byte below the destination at " << address;
    EXPECT_EQ(result.memory[destination + expected.size() + i - 1], kGuardByte)
        << "byte above the destination, offset " << i - 1;
  }
}

// Packed with the library, unpacked on the PC and on the PDP-11.
void ExpectUnpackedOnPdp11(const Bytes& data, uint16_t loadAddress) {
  Bytes expected = data;
  if (expected.size() % 2 != 0) expected.push_back(0);
  const Bytes image = PackWithLibrary(data, loadAddress);
  ExpectUnpackedOnPc(image, expected, loadAddress);
  ExpectImageUnpacksOnPdp11(image, data, loadAddress);
}

Bytes ReadBkData(const std::string& path, uint16_t* loadAddress) {
  const Bytes file = ReadFileBytes(path);
  if (file.size() >= 4 && size_t(file[2] | file[3] << 8) == file.size() - 4) {
    *loadAddress = static_cast<uint16_t>(file[0] | file[1] << 8);
    return Bytes(file.begin() + 4, file.end());
  }
  *loadAddress = 01000;
  return file;
}

TEST(GranolEmulator, ExampleProgram) {
  SKIP_WITHOUT_PDP11();
  uint16_t loadAddress = 0;
  const Bytes data = ReadBkData(EXAMPLES_DIR "/hello.bin", &loadAddress);
  ASSERT_FALSE(data.empty());
  ExpectUnpackedOnPdp11(data, loadAddress);
}

// The empty input's image must return without writing a single byte.
TEST(GranolEmulator, EmptyInputWritesNothing) {
  SKIP_WITHOUT_PDP11();
  ExpectUnpackedOnPdp11(Bytes(), 02000);
}

TEST(GranolEmulator, GeneratedInputs) {
  SKIP_WITHOUT_PDP11();
  Random random(20240611);
  auto randomBytes = [&](size_t size, int alphabet) {
    Bytes data(size);
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(random() % alphabet);
    return data;
  };
  Bytes text;
  const char* words[] = {"PRINT ", "GOTO ", "10 ", "REM ", "BK-0010 ", "\n", "A$=", "X=X+1 "};
  while (text.size() < 9001) {
    for (const char* c = words[random() % 8]; *c != '\0'; ++c) text.push_back(uint8_t(*c));
  }
  text.resize(9001);  // odd length: the stub also writes the padding byte
  Bytes periodic(6000);
  for (size_t i = 0; i < periodic.size(); ++i) periodic[i] = uint8_t((i % 4099) * 7);

  struct Case {
    const char* name;
    Bytes data;
    uint16_t loadAddress;
  };
  const std::vector<Case> cases = {
      {"one byte", Bytes{0x5A}, 01000},
      {"zeros, long copies", Bytes(3000, 0), 01000},
      {"random, literals only", randomBytes(2000, 256), 020000},
      {"random, large", randomBytes(24000, 256), 01000},
      {"small alphabet, short copies", randomBytes(5000, 4), 040000},
      {"text, odd load address", text, 01001},
      {"periodic beyond the window", periodic, 0100000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectUnpackedOnPdp11(c.data, c.loadAddress);
  }
}

// The corpus is listed when the test runs, split into a few shards so that
// the emulator runs can go in parallel.
constexpr int kCorpusShards = 4;

class GranolEmulatorCorpus : public testing::TestWithParam<int> {};

TEST_P(GranolEmulatorCorpus, UnpacksOnPdp11) {
  SKIP_WITHOUT_PDP11();
  const std::vector<std::string> files = BkFilesIn(BK_CORPUS_DIR);
  if (files.empty()) GTEST_SKIP() << "no BK files in " << BK_CORPUS_DIR;
  for (size_t i = GetParam(); i < files.size(); i += kCorpusShards) {
    SCOPED_TRACE(files[i]);
    uint16_t loadAddress = 0;
    const Bytes data = ReadBkData(std::string(BK_CORPUS_DIR) + "/" + files[i], &loadAddress);
    ASSERT_FALSE(data.empty());
    // A program whose image cannot lie beside it in the address space is
    // refused with a message, and there is nothing to run.
    if (granol::Pack(data, loadAddress, {u"bin"}).error == granol::PackError::DoesNotFit) {
      EXPECT_GT(2 * data.size() + loadAddress, 0200000u - 02000) << "a program that small always fits";
      continue;
    }
    ExpectUnpackedOnPdp11(data, loadAddress);
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, GranolEmulatorCorpus, testing::Range(0, kCorpusShards));

// The images that the golden tests pin, as the korvid program writes them,
// each unpacks its data on the PDP-11.
TEST(GranolEmulator, GoldenImagesRunOnThePdp11) {
  SKIP_WITHOUT_PDP11();
  std::vector<KorvidGoldenCase> cases;
  for (KorvidGoldenCase& c : GeneratedGoldenCases(EXAMPLES_DIR)) {
    if (c.method == "bkgranol" && !c.change && c.input.size() >= 4 && WordAt(c.input, 2) + 4u == c.input.size()) {
      cases.push_back(std::move(c));
    }
  }
  const std::vector<KorvidGoldenRun> runs = RunGoldenCases(cases, KORVID_BINARY);
  int ran = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    if (!runs[i].firstWrote) continue;
    const KorvidGoldenCase& c = cases[i];
    SCOPED_TRACE(c.name);
    // The test machine has 56 KiB of memory below its I/O page.
    if (kStackTop + 2 * kGuard + c.input.size() > kMemoryTop) continue;
    const bool raw = std::find(c.options.begin(), c.options.end(), "-r") != c.options.end();
    const Bytes& output = runs[i].firstOutput;
    const Bytes image(output.begin() + (raw ? 0 : 4), output.end());
    ExpectImageUnpacksOnPdp11(image, Bytes(c.input.begin() + 4, c.input.end()), WordAt(c.input, 0));
    ++ran;
  }
  EXPECT_GT(ran, 60);
}

}  // namespace
