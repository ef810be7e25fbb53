// Dorvik images run on an emulated LSI-11: the stub must rebuild the
// original data in memory and then start the program at the right address,
// or return to its caller in data mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "dorvik/dorvik_stub.h"
#include "dorvik/dorvik_testing.h"
#include "support/korvid_golden_cases.h"
#include "support/pdp11.h"
#include "support/temp_dir.h"

namespace {

using dorvik_testing::Options;

#define SKIP_WITHOUT_PDP11()         \
  if (!Pdp11Machine::Available()) GTEST_SKIP() << "pdp11 (simh) is not installed"

// A stack for files that cover the BK's own stack area: high in the
// emulator's memory, above every work area that -w accepts.
constexpr uint16_t kHighStack = 0150000;
constexpr uint64_t kInstructionLimit = 20000000;
// The test machine's memory ends where its I/O page begins.
constexpr size_t kMemoryTop = 0160000;

struct Expectation {
  uint16_t startAddress = 0;  // where the stub must jump (program mode)
  bool dataMode = false;
};

struct Outcome {
  Pdp11Result run;
  uint16_t haltAt = 0;  // data mode: the return address, a HALT
};

uint16_t Padded(size_t length) { return static_cast<uint16_t>(length + (length & 1)); }

// Loads the image where the BK's loader would, enters where the BK would
// (the load address, or 01000 through the redirected stack for files that
// load below it) and runs to the start address or, in data mode, to a HALT
// at the return address.
Outcome RunImage(uint16_t loadAddress, const Bytes& image, size_t dataLength,
                 const Expectation& expect) {
  Pdp11Machine machine;
  machine.Load(loadAddress, image);
  const bool belowSystemArea = loadAddress < kSystemAreaEnd;
  const uint16_t entry = belowSystemArea ? kSystemAreaEnd : loadAddress;
  uint16_t sp = belowSystemArea ? kHighStack : kSystemAreaEnd;
  Outcome outcome;
  if (expect.dataMode) {
    // A caller's return address on the stack, pointing at a HALT (the
    // emulator's memory is zero, and 0 is HALT).
    outcome.haltAt = static_cast<uint16_t>(sp - 0100);
    sp = static_cast<uint16_t>(sp - 2);
    machine.SetWord(sp, outcome.haltAt);
  } else {
    machine.AddBreakpoint(expect.startAddress);
  }
  machine.SetRegister(6, sp);
  machine.SetRegister(7, entry);
  const uint16_t regionStart = belowSystemArea ? kSystemAreaEnd : loadAddress;
  const size_t regionLength = Padded(dataLength) - (regionStart - loadAddress);
  machine.Examine(regionStart, static_cast<uint32_t>(regionLength));
  machine.Examine(0266, 2);
  machine.Examine(0312, 2);
  machine.Examine(0350, 2);
  outcome.run = machine.Run(kInstructionLimit, 120);
  return outcome;
}

// Checks that the run stopped where it should and that memory from the
// packed region's start holds the original data, padded to even length.
void ExpectUnpacked(const Outcome& outcome, uint16_t loadAddress, const Bytes& data,
                    const Expectation& expect, const std::string& label) {
  const Pdp11Result& run = outcome.run;
  ASSERT_TRUE(run.ran) << label << "\n" << run.transcript.substr(0, 2000);
  if (expect.dataMode) {
    ASSERT_TRUE(run.halted) << label << ": " << run.stopLine;
    EXPECT_EQ(run.pc, outcome.haltAt + 2) << label << ": " << run.stopLine;
  } else {
    ASSERT_TRUE(run.breakpoint) << label << ": " << run.stopLine;
    EXPECT_EQ(run.pc, expect.startAddress) << label;
  }
  Bytes padded = data;
  if (padded.size() & 1) padded.push_back(0);
  const uint16_t regionStart = std::max<uint16_t>(loadAddress, kSystemAreaEnd);
  const size_t skip = regionStart - loadAddress;
  const Bytes expected(padded.begin() + static_cast<long>(skip), padded.end());
  const Bytes actual = run.Range(regionStart, expected.size());
  const auto mismatch = std::mismatch(expected.begin(), expected.end(), actual.begin());
  EXPECT_TRUE(mismatch.first == expected.end())
      << label << ": memory differs at 0" << std::oct
      << regionStart + (mismatch.first - expected.begin());
}

// Packs with the library, runs the image and compares memory.
void PackAndRun(uint16_t loadAddress, const Bytes& data, const dorvik::PackOptions& options,
                uint16_t startAddress, const std::string& label) {
  const auto packed = dorvik_testing::Pack(loadAddress, data, options);
  ASSERT_TRUE(packed.ok()) << label << ": " << static_cast<int>(packed.error);
  const Expectation expect{startAddress, options.dataMode};
  const Outcome outcome = RunImage(loadAddress, packed.image, data.size(), expect);
  ExpectUnpacked(outcome, loadAddress, data, expect, label);
}

Bytes Words(const std::vector<uint16_t>& words) { return BytesOfWords(words); }

Bytes Hello() {
  const Bytes file = ReadFileBytes(std::string(EXAMPLES_DIR) + "/hello.bin");
  return Bytes(file.begin() + 4, file.end());
}

TEST(DorvikEmulator, WorkedExamplesUnpackAndStart) {
  SKIP_WITHOUT_PDP11();
  PackAndRun(01000, TenWordExample(), {}, 01000, "ten words");
  PackAndRun(01000, Words({0x1234, 0x1234, 0x1234, 0x1234, 0x1234}), {}, 01000, "five words");
  // Two bytes would be stored all plain; the packer makes the word a
  // dictionary word so that the stub stops.
  PackAndRun(01000, Words({0x1234}), {}, 01000, "one word");
  PackAndRun(02000, Words({0x8080}), {}, 02000, "one word with a code byte high");
}

TEST(DorvikEmulator, ShortLongDataModeAndWorkAreas) {
  SKIP_WITHOUT_PDP11();
  const Bytes hello = Hello();
  PackAndRun(01000, hello, {}, 01000, "hello short");
  PackAndRun(01000, hello, Options().Data(), 0, "hello data mode");
  PackAndRun(01000, hello, Options().Work(040000), 01000, "hello -w 040000");
  PackAndRun(01000, hello, Options().Work(0), 01000, "hello -w 0");
  PackAndRun(01000, hello, Options().Long().Data().Work(0120000), 0, "hello long data -w 0120000");
}

TEST(DorvikEmulator, LongStubStoresLengthAndChecksumInTheSystemArea) {
  SKIP_WITHOUT_PDP11();
  const Bytes hello = Hello();
  const auto packed = dorvik_testing::Pack(01000, hello, Options().Long());
  ASSERT_TRUE(packed.ok());
  uint32_t sum = 0;
  for (uint8_t byte : hello) {
    sum += byte;
    if (sum > 0xFFFF) sum = (sum & 0xFFFF) + 1;
  }
  const Expectation expect{01000, false};
  const Outcome outcome = RunImage(01000, packed.image, hello.size(), expect);
  ExpectUnpacked(outcome, 01000, hello, expect, "hello long");
  EXPECT_EQ(outcome.run.Word(0266), hello.size());
  EXPECT_EQ(outcome.run.Word(0350), hello.size());
  EXPECT_EQ(outcome.run.Word(0312), sum);
}

// A program below 01000 whose stack image holds `fill` from `from` up to
// 0776 (and `below` under it), followed by program words.
Bytes StackFile(uint16_t loadAddress, uint16_t from, uint16_t fill, uint16_t below,
                     size_t programBytes, uint32_t seed) {
  Random random(seed);
  Bytes data = GenerateProgram(random, (kSystemAreaEnd - loadAddress) + programBytes);
  for (uint16_t address = loadAddress; address < kSystemAreaEnd; address += 2) {
    const uint16_t word = address >= from ? fill : below;
    data[address - loadAddress] = static_cast<uint8_t>(word & 0xFF);
    data[address - loadAddress + 1] = static_cast<uint8_t>(word >> 8);
  }
  return data;
}

TEST(DorvikEmulator, AutostartFromTheStackImage) {
  SKIP_WITHOUT_PDP11();
  // The loader returns through a redirected word into the stub at 01000;
  // the stub then jumps to the start address the file carried.
  const Bytes file = StackFile(0120, 0744, 02000, 0, 3000, 1);
  PackAndRun(0120, file, {}, 02000, "0120 autostart 02000");
  PackAndRun(0120, file, Options().Long(), 02000, "0120 autostart long");
  PackAndRun(0120, file, Options().Data(), 0, "0120 autostart data");
  // No start address in the stack image: the stub starts the code at 01000.
  PackAndRun(0500, StackFile(0500, 0744, 0, 0, 2000, 2), {}, 01000, "0500 zero stack");
}

TEST(DorvikEmulator, FilesBelow01000AtEveryProbeCase) {
  SKIP_WITHOUT_PDP11();
  const uint16_t loads[] = {0120, 0200, 0500, 0700, 0742, 0744, 0760, 0776};
  int seed = 10;
  for (uint16_t load : loads) {
    const uint16_t first = std::max<uint16_t>(load, 0744);
    struct Case {
      const char* name;
      Bytes data;
      uint16_t start;
    };
    std::vector<Case> cases;
    cases.push_back({"zero", StackFile(load, 0, 0, 0, 600, ++seed), 01000});
    Random random(static_cast<uint32_t>(++seed));
    const Bytes arbitrary = GenerateProgram(random, kSystemAreaEnd - load + 600);
    const uint16_t probeWord = WordAt(arbitrary, first - load);
    cases.push_back({"arbitrary", arbitrary, probeWord > kSystemAreaEnd ? probeWord : kSystemAreaEnd});
    cases.push_back({"filled", StackFile(load, first, 03000, 0, 600, ++seed), 03000});
    Bytes single = StackFile(load, 0, 0, 0, 600, ++seed);
    single[first - load] = 0;
    single[first - load + 1] = 04;  // 02000 at the probe word only
    cases.push_back({"single", single, 02000});
    for (const Case& c : cases) {
      for (bool dataMode : {false, true}) {
        const std::string label = std::string(c.name) + " at " + Octal(load) + (dataMode ? " -d" : "");
        Options options;
        options.dataMode = dataMode;
        PackAndRun(load, c.data, options, c.start, label);
      }
    }
  }
}

TEST(DorvikEmulator, OddLengthsAndOddWorkAddresses) {
  SKIP_WITHOUT_PDP11();
  Random random(77);
  const Bytes odd = GenerateProgram(random, 2001);
  PackAndRun(01000, odd, Options().Work(0), 01000, "odd length -w 0");
  PackAndRun(01000, odd, Options().Long().Work(0), 01000, "odd length long -w 0");
  PackAndRun(01000, odd, Options().Work(040001), 01000, "-w 040001");
  PackAndRun(01000, odd, Options().Data().Work(0100003), 0, "-w 0100003 data");
}

TEST(DorvikEmulator, WorkAreaKeptOffTheImage) {
  SKIP_WITHOUT_PDP11();
  Random random(5);
  // Tiny and incompressible programs have images longer than themselves.
  Bytes noise(900);
  for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random.Next());
  PackAndRun(01000, TenWordExample(), Options().Work(0), 01000, "ten words -w 0");
  PackAndRun(01000, Words({0x4321}), Options().Work(0), 01000, "one word -w 0");
  PackAndRun(01000, noise, Options().Work(0), 01000, "noise -w 0");
  // A program ending just below 036710 whose image runs past it.
  const size_t length = 036700 - 01000;
  Bytes near(length);
  for (uint8_t& byte : near) byte = static_cast<uint8_t>(random.Next());
  PackAndRun(01000, near, {}, 01000, "image past 036710");
  // The -w area given inside the image is refused; just after it, it works.
  const auto refused = dorvik_testing::Pack(01000, noise, Options().Work(02000));
  EXPECT_EQ(refused.error, dorvik::PackError::WorkAreaOverlap);
  PackAndRun(01000, noise, Options().Work(01000 + 2000 + 01070), 01000, "-w after the image");
}

TEST(DorvikEmulator, IncompressibleDataStillStops) {
  SKIP_WITHOUT_PDP11();
  Random random(9);
  for (size_t length : {4, 64, 1000, 5000}) {
    Bytes noise(length);
    for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random.Next());
    PackAndRun(01000, noise, {}, 01000, "noise " + std::to_string(length));
  }
}

TEST(DorvikEmulator, GeneratedProgramsInAllOptionCombinations) {
  SKIP_WITHOUT_PDP11();
  Random random(2024);
  for (int i = 0; i < 32; ++i) {
    const bool longStub = i & 1;
    const bool dataMode = (i >> 1) & 1;
    const std::optional<uint16_t> workEnd = (i >> 2) % 4 == 0   ? std::optional<uint16_t>(0)
                                            : (i >> 2) % 4 == 1 ? std::optional<uint16_t>(0120000)
                                                                : std::nullopt;
    const size_t length = 2 + random.Below(i < 24 ? 3000 : 20000);
    const uint16_t load = static_cast<uint16_t>(01000 + 2 * random.Below(02000));
    const Bytes data = GenerateProgram(random, length);
    Options options;
    options.longStub = longStub;
    options.dataMode = dataMode;
    options.workEnd = workEnd;
    PackAndRun(load, data, options, load, "generated " + std::to_string(i));
  }
}

// The address a program starts at on the BK: a stack image's autostart
// word (the first word for files from 0744 up), else the load address or
// 01000.
uint16_t StartAddressOf(uint16_t load, const Bytes& data) {
  uint16_t start = std::max<uint16_t>(load, kSystemAreaEnd);
  if (load < kSystemAreaEnd) {
    const size_t probe = load <= 0744 ? 0744 - load : 0;
    const uint16_t word = static_cast<uint16_t>(data[probe] | (data[probe + 1] << 8));
    if (word > kSystemAreaEnd) start = word;
  }
  return start;
}

// The images that the golden tests pin, as the korvid program writes them,
// each unpacks its program on the BK and starts it, or returns in data mode.
class DorvikEmulatorGoldens : public testing::TestWithParam<int> {};

TEST_P(DorvikEmulatorGoldens, ImagesRunOnTheBk) {
  SKIP_WITHOUT_PDP11();
  std::vector<KorvidGoldenCase> cases;
  int index = 0;
  for (KorvidGoldenCase& c : GeneratedGoldenCases(EXAMPLES_DIR)) {
    if (c.method != "dorvik" || c.change) continue;
    if (index++ % 4 == GetParam()) cases.push_back(std::move(c));
  }
  const std::vector<KorvidGoldenRun> runs = RunGoldenCases(cases, KORVID_BINARY);
  int ran = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    if (!runs[i].firstWrote) continue;
    const KorvidGoldenCase& c = cases[i];
    const uint16_t load = WordAt(c.input, 0);
    const bool raw = std::find(c.options.begin(), c.options.end(), "-r") != c.options.end();
    if (raw && load != 01000) continue;  // a bare image goes to 01000
    const Bytes data(c.input.begin() + 4, c.input.end());
    const Bytes& output = runs[i].firstOutput;
    const Bytes image(output.begin() + (raw ? 0 : 4), output.end());
    // The test machine has its I/O page at 0160000.
    if (load + std::max(image.size(), data.size()) > kMemoryTop) continue;
    const bool dataMode = std::find(c.options.begin(), c.options.end(), "-d") != c.options.end();
    const Expectation expect{dataMode ? uint16_t{0} : StartAddressOf(load, data), dataMode};
    ExpectUnpacked(RunImage(load, image, data.size(), expect), load, data, expect, c.name);
    ++ran;
  }
  EXPECT_GT(ran, 30);
}

INSTANTIATE_TEST_SUITE_P(Shards, DorvikEmulatorGoldens, testing::Range(0, 4));

TEST(DorvikEmulator, CorpusFilesUnpackOnTheBk) {
  SKIP_WITHOUT_PDP11();
  const std::string dir = BK_CORPUS_DIR;
  const std::vector<std::string> names = ListDirectory(dir);
  if (names.empty()) GTEST_SKIP() << "no corpus at " << dir;
  int ran = 0;
  for (const std::string& name : names) {
    if (name.size() < 4 || name.substr(name.size() - 4) != ".bin") continue;
    const Bytes file = ReadFileBytes(dir + "/" + name);
    if (file.size() < 4) continue;
    const uint16_t load = static_cast<uint16_t>(file[0] | (file[1] << 8));
    const Bytes data(file.begin() + 4, file.end());
    if (Padded(data.size()) > 30720) continue;
    PackAndRun(load, data, {}, StartAddressOf(load, data), name);
    ++ran;
  }
  EXPECT_GT(ran, 0);
}

// --- images shaped as other tools make them -----------------------------------
//
// Each image is made by korvid and then changed the way other tools leave
// their images. The emulator shows where the stub really goes; korvid -u
// must give back the data the stub unpacks and say, or restore, that start.

void PutImageWord(Bytes& image, size_t offset, uint16_t word) {
  PutWord(image, offset, word);
}

// Runs `image` as the BK would and expects a jump to `start` (or, in data
// mode, the return to the caller) with the region from 01000 (or the load
// address) holding `data`; then unpacks it on the PC and returns what
// korvid -u gives.
dorvik::UnpackResult RunThenUnpack(uint16_t load, const Bytes& image, const Bytes& data,
                                           uint16_t start, const std::string& label,
                                           bool dataMode = false) {
  const Expectation expect{start, dataMode};
  const Outcome outcome = RunImage(load, image, data.size(), expect);
  ExpectUnpacked(outcome, load, data, expect, label);
  return dorvik_testing::Unpack(load, image);
}

TEST(DorvikEmulator, StackImagePointedAtTheStubStartsWhereTheStubSays) {
  SKIP_WITHOUT_PDP11();
  for (const uint16_t load : std::initializer_list<uint16_t>{0400, 0744}) {
    // The program's stack image holds its start, 02000, throughout.
    Bytes data = StackFile(load, load, 02000, 0, 1500, 40);
    const auto packed = dorvik_testing::Pack(load, data);
    ASSERT_TRUE(packed.ok());
    Bytes image = packed.image;
    for (uint16_t address = load; address < kSystemAreaEnd; address += 2) {
      PutImageWord(image, address - load, kSystemAreaEnd);  // every word at the stub
    }
    const std::string label = "stack at the stub, load " + Octal(load);
    const auto unpacked = RunThenUnpack(load, image, data, 02000, label);
    ASSERT_TRUE(dorvik_testing::Unpacked(unpacked)) << label;
    EXPECT_EQ(unpacked.data, data) << label << ": every stack word gets the start back";
    EXPECT_TRUE(dorvik_testing::NothingToNote(unpacked)) << label;
  }
}

TEST(DorvikEmulator, StartThatTheFileCannotCarryIsTheOneTheStubTakes) {
  SKIP_WITHOUT_PDP11();
  Random random(41);
  // At 02000: word 144 sends the stub 0100 bytes past the load address.
  const Bytes program = GenerateProgram(random, 1800);
  auto packed = dorvik_testing::Pack(02000, program);
  ASSERT_TRUE(packed.ok());
  Bytes image = packed.image;
  const size_t jump = dorvik::stub::kStartDisplacement - dorvik::kShortStubSkip;
  PutImageWord(image, jump, static_cast<uint16_t>(WordAt(image, jump) + 0100));
  auto unpacked = RunThenUnpack(02000, image, program, 02100, "start 02100 at 02000");
  ASSERT_TRUE(dorvik_testing::Unpacked(unpacked));
  EXPECT_EQ(unpacked.data, program);
  EXPECT_TRUE(unpacked.startAddressLost);
  EXPECT_EQ(unpacked.startAddress, 02100);

  // At 0400 with no autostart in the stack image, a stub that goes to 03000.
  const Bytes low = StackFile(0400, 0400, 0, 0, 1800, 42);
  packed = dorvik_testing::Pack(0400, low);
  ASSERT_TRUE(packed.ok());
  image = packed.image;
  const size_t lowJump = 01000 - 0400 + jump;
  PutImageWord(image, lowJump, static_cast<uint16_t>(WordAt(image, lowJump) + 02000));
  unpacked = RunThenUnpack(0400, image, low, 03000, "start 03000 at 0400");
  ASSERT_TRUE(dorvik_testing::Unpacked(unpacked));
  EXPECT_EQ(unpacked.data, low);
  EXPECT_TRUE(unpacked.startAddressLost);
  EXPECT_EQ(unpacked.startAddress, 03000);
}

TEST(DorvikEmulator, StubWhoseFirstWordsALoaderTookOverRunsAndUnpacks) {
  SKIP_WITHOUT_PDP11();
  Random random(43);
  const Bytes program = GenerateProgram(random, 2500);
  // At 01000 and above the loader goes back to the load address, which is
  // also the program's start: those images are data, which returns to its
  // caller, so that the run does not stop at the stub's own entry.
  const struct {
    const char* name;
    uint16_t load;
    Bytes data;
    bool longStub;
    bool dataMode;
    int patchedWords;
    uint16_t start;
  } cases[] = {
      {"short stub at 01000", 01000, program, false, true, 3, 0},
      {"long stub at 02000, its system words too", 02000, program, true, true, 7, 0},
      {"short stub below 01000", 0600, StackFile(0600, 0744, 02000, 0, 1200, 44), false, false, 3, 02000},
  };
  for (const auto& c : cases) {
    Options options;
    options.longStub = c.longStub;
    options.dataMode = c.dataMode;
    const auto packed = dorvik_testing::Pack(c.load, c.data, options);
    ASSERT_TRUE(packed.ok()) << c.name;
    const size_t entry = c.load < kSystemAreaEnd ? kSystemAreaEnd - c.load : 0;
    const Bytes image = WithLoaderInFront(packed.image, c.load, entry, c.patchedWords);
    const auto unpacked = RunThenUnpack(c.load, image, c.data, c.start, c.name, c.dataMode);
    ASSERT_TRUE(dorvik_testing::Unpacked(unpacked)) << c.name;
    Bytes expected = c.data;
    if (expected.size() & 1) expected.push_back(0);
    EXPECT_EQ(unpacked.data, expected) << c.name;
  }
}

}  // namespace
