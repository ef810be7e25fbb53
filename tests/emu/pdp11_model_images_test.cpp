// The PDP-11 model runs the real Dorvik and Granol images exactly as simh
// does: the example program and every corpus file are packed, each image is
// run in both from the same memory, registers and status word, and the
// instruction count, the registers, the status word and the whole RAM must
// agree at the hand-off, and the unpacked region must hold the input.
//
// The one place where the two machines differ by design is the BK's system
// register: the Granol stub's first instruction reads 0177716, which the
// model answers and simh does not have. simh takes the bus error to a
// two-instruction handler (INC, RTI) that counts it, so its count is two
// higher per trap, and its trap frame leaves two stack words that the
// model does not write.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "dorvik/dorvik_testing.h"
#include "granol/granol.h"
#include "granol/granol_stub.h"
#include "pdp11/pdp11_machine.h"
#include "support/pdp11.h"
#include "support/temp_dir.h"

namespace {

#define SKIP_WITHOUT_PDP11() \
  if (!Pdp11Machine::Available()) GTEST_SKIP() << "pdp11 (simh) is not installed"

constexpr uint16_t kSystemAreaEnd = 01000;
constexpr uint16_t kHighStack = 0150000;  // for Dorvik files that cover the BK's stack
constexpr uint32_t kRamEnd = 0160000;
constexpr uint64_t kStepLimit = 20000000;
constexpr int kHandlerInstructions = 2;  // INC @#count; RTI

// Granol's test machine: a caller at 0500 (JSR PC,@#image; HALT) with its
// stack below 0760, and a bus-error handler for simh at 0520.
constexpr uint16_t kBusErrorVector = 04;
constexpr uint16_t kCaller = 0500;
constexpr uint16_t kReturnAddress = kCaller + 4;
constexpr uint16_t kTrapHandler = 0520;
constexpr uint16_t kTrapCount = 0540;
constexpr uint16_t kGranolStack = 0760;

struct Placed {
  uint16_t address;
  Bytes bytes;
};

// One image run, set up the same way in the model and in simh.
struct ImageRun {
  std::string label;
  std::vector<Placed> memory;
  uint16_t pc = 0;
  uint16_t sp = 0;
  uint16_t handOff = 0;        // where the unpacker hands over
  bool haltAtHandOff = false;  // simh executes a HALT there (one more instruction)
  bool systemRegisterTrap = false;
  uint16_t regionStart = 0;    // the unpacked data, padded to even length
  Bytes expected;
};

struct ModelResult {
  pdp11::RunOutcome outcome;
  std::array<uint16_t, 8> registers{};
  uint16_t psw = 0;
  uint64_t instructions = 0;
  uint64_t cycles = 0;
  std::vector<uint8_t> memory;
};

ModelResult RunInModel(const ImageRun& run) {
  pdp11::Machine machine;
  for (const Placed& p : run.memory) machine.Load(p.address, p.bytes);
  machine.SetRegister(pdp11::kSp, run.sp);
  machine.SetRegister(pdp11::kPc, run.pc);
  machine.AddStopAt(run.handOff);
  ModelResult result;
  result.outcome = machine.Run(kStepLimit);
  for (int r = 0; r < 8; ++r) result.registers[r] = machine.Register(r);
  result.psw = machine.Psw();
  result.instructions = machine.Instructions();
  result.cycles = machine.Cycles();
  result.memory.assign(machine.Memory().begin(), machine.Memory().end());
  return result;
}

void AddToBatch(Pdp11Batch& batch, const ImageRun& run) {
  Pdp11Machine machine;
  machine.ClearMemoryFirst();
  for (const Placed& p : run.memory) machine.Load(p.address, p.bytes);
  for (int r = 0; r < 6; ++r) machine.SetRegister(r, 0);
  machine.SetRegister(6, run.sp);
  machine.SetRegister(7, run.pc);
  machine.SetPsw(0);
  if (!run.haltAtHandOff) machine.AddBreakpoint(run.handOff);
  machine.Examine(0, kRamEnd);
  batch.Add(machine, kStepLimit);
}

Bytes Padded(Bytes data) {
  if (data.size() % 2 != 0) data.push_back(0);
  return data;
}

std::string Octal(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0%o", value);
  return text;
}

void ExpectSameRun(const ImageRun& run, const ModelResult& model, const Pdp11Result& simh) {
  SCOPED_TRACE(run.label);
  ASSERT_TRUE(simh.ran) << simh.transcript.substr(0, 2000);
  ASSERT_EQ(model.outcome.reason, pdp11::StopReason::HandOff)
      << pdp11::StopReasonName(model.outcome.reason) << " at " << Octal(model.outcome.pc);
  EXPECT_EQ(model.outcome.pc, run.handOff);
  if (run.haltAtHandOff) {
    ASSERT_TRUE(simh.halted) << simh.stopLine;
    EXPECT_EQ(simh.pc, run.handOff + 2);
  } else {
    ASSERT_TRUE(simh.breakpoint) << simh.stopLine;
    EXPECT_EQ(simh.pc, run.handOff);
  }
  const uint64_t traps = run.systemRegisterTrap ? simh.Word(kTrapCount) : 0;
  EXPECT_EQ(traps, run.systemRegisterTrap ? 1u : 0u);
  EXPECT_EQ(model.instructions + (run.haltAtHandOff ? 1 : 0) + kHandlerInstructions * traps, simh.instructions);
  for (int r = 0; r < 7; ++r) EXPECT_EQ(model.registers[r], simh.registers[r]) << "register " << r;
  EXPECT_EQ(model.psw, simh.psw);

  // The whole RAM, but for what simh's bus-error handling wrote: the count
  // and the trap frame (PC and status word pushed below the caller's return
  // address) where nothing overwrote it later.
  std::vector<bool> skip(kRamEnd, false);
  if (run.systemRegisterTrap) {
    skip[kTrapCount] = skip[kTrapCount + 1] = true;
    for (uint32_t a = kGranolStack - 6; a < kGranolStack - 2; ++a) skip[a] = true;
  }
  for (uint32_t a = 0; a < kRamEnd; ++a) {
    if (!skip[a] && model.memory[a] != simh.memory[a]) {
      ADD_FAILURE() << "memory differs at " << Octal(a) << ": model " << Octal(model.memory[a]) << ", simh "
                    << Octal(simh.memory[a]);
      break;
    }
  }
  const auto region = model.memory.begin() + run.regionStart;
  EXPECT_TRUE(std::equal(run.expected.begin(), run.expected.end(), region)) << "unpacked data differs";
}

// Runs every image in the model and, batched, in simh, and compares.
void RunAll(const std::vector<ImageRun>& runs) {
  Pdp11Batch batch;
  std::vector<ModelResult> models;
  for (const ImageRun& run : runs) {
    models.push_back(RunInModel(run));
    AddToBatch(batch, run);
  }
  const std::vector<Pdp11Result> results = batch.Run(300);
  uint64_t instructions = 0;
  size_t bytes = 0;
  for (size_t i = 0; i < runs.size(); ++i) {
    ExpectSameRun(runs[i], models[i], results[i]);
    instructions += models[i].instructions;
    bytes += runs[i].expected.size();
  }
  std::printf("%zu images, %zu bytes unpacked, %llu instructions, the same in both\n", runs.size(), bytes,
              static_cast<unsigned long long>(instructions));
}

struct BkFile {
  std::string name;
  uint16_t loadAddress;
  Bytes data;
};

// The example program and the corpus (empty when the corpus is absent).
std::vector<BkFile> Inputs(bool* haveCorpus) {
  std::vector<BkFile> files;
  const Bytes hello = ReadFileBytes(std::string(EXAMPLES_DIR) + "/hello.bin");
  files.push_back({"hello.bin", static_cast<uint16_t>(hello[0] | hello[1] << 8), Bytes(hello.begin() + 4, hello.end())});
  *haveCorpus = false;
  for (const std::string& name : BkFilesIn(BK_CORPUS_DIR)) {
    const Bytes file = ReadFileBytes(std::string(BK_CORPUS_DIR) + "/" + name);
    if (file.size() < 4) continue;
    *haveCorpus = true;
    files.push_back({name, static_cast<uint16_t>(file[0] | file[1] << 8), Bytes(file.begin() + 4, file.end())});
  }
  return files;
}

// A Dorvik image loaded where the BK's loader puts it and entered where the
// BK enters it (see tests/emu/dorvik_emu_test.cpp); the hand-off is the
// start address or, in data mode, a HALT at the return address.
bool DorvikRun(const BkFile& file, const dorvik::PackOptions& options, const std::string& label,
               ImageRun* run) {
  if (file.data.size() + file.data.size() % 2 > 30720) return false;
  const auto packed = dorvik_testing::Pack(file.loadAddress, file.data, options);
  if (!packed.ok()) return false;
  const bool below = file.loadAddress < kSystemAreaEnd;
  run->label = "Dorvik " + label;
  run->memory.push_back({file.loadAddress, packed.image});
  run->pc = below ? kSystemAreaEnd : file.loadAddress;
  run->sp = below ? kHighStack : kSystemAreaEnd;
  if (options.dataMode) {
    run->handOff = static_cast<uint16_t>(run->sp - 0100);
    run->haltAtHandOff = true;
    run->sp = static_cast<uint16_t>(run->sp - 2);
    run->memory.push_back({run->sp, {static_cast<uint8_t>(run->handOff & 0377), static_cast<uint8_t>(run->handOff >> 8)}});
  } else {
    uint16_t start = below ? kSystemAreaEnd : file.loadAddress;
    if (below) {
      const size_t probe = file.loadAddress <= 0744 ? 0744 - file.loadAddress : 0;
      const uint16_t word = static_cast<uint16_t>(file.data[probe] | file.data[probe + 1] << 8);
      if (word > kSystemAreaEnd) start = word;
    }
    run->handOff = start;
  }
  const Bytes padded = Padded(file.data);
  run->regionStart = std::max(file.loadAddress, kSystemAreaEnd);
  run->expected.assign(padded.begin() + (run->regionStart - file.loadAddress), padded.end());
  return true;
}

// The image, or nothing when the packer refuses data whose image has no
// place beside it in the address space (tested in granol_emu_test.cpp).
bool GranolPackBytes(const Bytes& data, uint16_t loadAddress, Bytes* image) {
  granol::PackResult packed = granol::Pack(data, loadAddress, {u"bin"});
  if (packed.error != granol::PackError::None) return false;
  *image = std::move(packed.image);
  return true;
}

// A Granol image called with JSR PC from outside its destination (see
// tests/emu/granol_emu_test.cpp): the data at its load address with the
// image above when both fit, else moved down to 01000 (the load-address
// word patched), else the image at the bottom and the data at the top.
bool GranolRun(const BkFile& file, ImageRun* run) {
  const Bytes expected = Padded(file.data);
  Bytes image;
  if (!GranolPackBytes(file.data, file.loadAddress, &image)) return false;
  const uint32_t length = static_cast<uint32_t>(expected.size());
  const uint32_t size = static_cast<uint32_t>(image.size());
  uint32_t destination = file.loadAddress;
  uint32_t at = (destination + length + 1) & ~1u;
  if (destination < kSystemAreaEnd || at + size > kRamEnd) {
    destination = kSystemAreaEnd;
    at = (destination + length + 1) & ~1u;
    if (at + size > kRamEnd) {
      destination = kRamEnd - length;
      at = kGranolStack;
    }
  }
  image[2 * granol::kLoadAddressWord] = static_cast<uint8_t>(destination & 0377);
  image[2 * granol::kLoadAddressWord + 1] = static_cast<uint8_t>(destination >> 8);

  run->label = "Granol " + file.name;
  run->memory.push_back({static_cast<uint16_t>(at), image});
  auto word = [](uint16_t value) { return Bytes{static_cast<uint8_t>(value & 0377), static_cast<uint8_t>(value >> 8)}; };
  run->memory.push_back({kBusErrorVector, word(kTrapHandler)});
  run->memory.push_back({kBusErrorVector + 2, word(0340)});
  run->memory.push_back({kTrapHandler, word(005237)});  // INC @#kTrapCount
  run->memory.push_back({kTrapHandler + 2, word(kTrapCount)});
  run->memory.push_back({kTrapHandler + 4, word(000002)});  // RTI
  run->memory.push_back({kCaller, word(004737)});           // JSR PC, @#image
  run->memory.push_back({kCaller + 2, word(static_cast<uint16_t>(at))});
  run->pc = kCaller;
  run->sp = kGranolStack;
  run->handOff = kReturnAddress;  // a HALT (zero memory)
  run->haltAtHandOff = true;
  run->systemRegisterTrap = true;
  run->regionStart = static_cast<uint16_t>(destination);
  run->expected = expected;
  return true;
}

TEST(Pdp11ModelImages, DorvikImagesRunAlikeInTheModelAndInSimh) {
  SKIP_WITHOUT_PDP11();
  bool haveCorpus = false;
  const std::vector<BkFile> files = Inputs(&haveCorpus);
  std::vector<ImageRun> runs;
  ImageRun run;
  ASSERT_TRUE(DorvikRun(files[0], {}, "hello", &run));
  runs.push_back(run);
  run = {};
  ASSERT_TRUE(DorvikRun(files[0], dorvik_testing::Options().Data(), "hello -d", &run));
  runs.push_back(run);
  run = {};
  ASSERT_TRUE(DorvikRun(files[0], dorvik_testing::Options().Long().Work(0), "hello -l -w 0", &run));
  runs.push_back(run);
  for (size_t i = 1; i < files.size(); ++i) {
    run = {};
    if (DorvikRun(files[i], {}, files[i].name, &run)) runs.push_back(run);
  }
  RunAll(runs);
  if (!haveCorpus) GTEST_SKIP() << "only the example: no corpus at " << BK_CORPUS_DIR;
}

TEST(Pdp11ModelImages, GranolImagesRunAlikeInTheModelAndInSimh) {
  SKIP_WITHOUT_PDP11();
  bool haveCorpus = false;
  std::vector<ImageRun> runs;
  for (const BkFile& file : Inputs(&haveCorpus)) {
    ImageRun run;
    if (GranolRun(file, &run)) runs.push_back(run);
  }
  ASSERT_FALSE(runs.empty());
  RunAll(runs);
  if (!haveCorpus) GTEST_SKIP() << "only the example: no corpus at " << BK_CORPUS_DIR;
}

}  // namespace
