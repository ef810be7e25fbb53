#include "proof/proof.h"

#include <algorithm>
#include <memory>

#include "bk/autostart.h"
#include "bk/checksum.h"
#include "bk/memory.h"
#include "dorvik/dorvik.h"
#include "dorvik/dorvik_format.h"
#include "granol/granol_format.h"
#include "sokol/sokol_stub.h"

namespace proof {

namespace {

// [first, end) in the address space; end may be 0200000.
struct Range {
  uint32_t first;
  uint32_t end;
  bool Contains(uint32_t address) const { return address >= first && address < end; }
};

bool Overlaps(const Range& a, const Range& b) { return a.first < b.end && b.first < a.end; }

bool OverlapsAny(const Range& range, const std::vector<Range>& ranges) {
  for (const Range& other : ranges) {
    if (Overlaps(range, other)) return true;
  }
  return false;
}

bool InsideRam(const Range& range) { return range.first <= range.end && range.end <= kRamEnd; }

uint32_t Even(uint32_t address) { return (address + 1) & ~1u; }

// The caller: JSR PC, @#entry at `caller`, returning to caller + 4, with
// SP = `stack` before the call. The stack the image may use lies below the
// return address that the call pushes at stack - 2.
struct Scene {
  uint16_t caller = 0;
  uint16_t stack = 0;
  uint16_t ReturnAddress() const { return static_cast<uint16_t>(caller + kCallBytes); }
  static constexpr uint16_t kCallBytes = 4;
};

constexpr uint16_t kOpJsrPcAbsolute = 004737;
// The caller's call and the word after it, then the stack.
constexpr uint32_t kCallerBytes = 6;
// The BK's own stack lies below 01000: a caller there is what a BK has.
constexpr uint32_t kBkStackTop = kSystemAreaEnd;

// The bytes a scene takes: the call, the stack the image may use, the
// return address.
uint32_t SceneBytes(uint32_t stackUse) { return kCallerBytes + stackUse + 2; }

// A place for the caller and its stack outside `taken`: the BK's stack
// below 01000 when it is free, else the highest free place in the RAM.
bool FindScene(const std::vector<Range>& taken, uint32_t stackUse, Scene* scene) {
  const uint32_t size = SceneBytes(stackUse);
  std::vector<uint32_t> ends = {kBkStackTop, kRamEnd};
  for (const Range& range : taken) ends.push_back(range.first & ~1u);
  std::sort(ends.begin() + 1, ends.end(), [](uint32_t a, uint32_t b) { return a > b; });
  for (const uint32_t end : ends) {
    if (end < size || end > kRamEnd) continue;
    const Range block{end - size, end};
    if (OverlapsAny(block, taken)) continue;
    scene->caller = static_cast<uint16_t>(block.first);
    scene->stack = static_cast<uint16_t>(block.end);
    return true;
  }
  return false;
}

// A stretch of the run: it executes inside `code` and must leave it for an
// address inside `exit`.
struct Stage {
  Range code;
  Range exit;
};

// One run, set up by a method's Prove function and checked by Execute.
struct Plan {
  const Bytes* image = nullptr;
  uint16_t imageAt = 0;
  Scene scene;
  uint16_t entry = 0;                 // the caller's JSR goes here
  std::vector<Stage> stages;          // after the JSR, in order
  Range region{0, 0};                 // the unpacked data
  const uint8_t* expected = nullptr;  // region.end - region.first bytes
  std::vector<Range> writable;        // besides the region
  uint32_t stackUse = 0;              // stack bytes below the return address
  uint16_t sp = 0;                    // SP at the hand-off
  bool checkR0 = false;
  uint16_t r0 = 0;
  // Words the image must leave in memory: address, value.
  std::vector<std::pair<uint16_t, uint16_t>> words;
  uint64_t stepLimit = 0;
};

// Instructions a run may take per byte of data and image: several times
// the slowest stub's worst case, so that only a stub that loops hits it.
constexpr uint64_t kStepsPerByte = 256;
constexpr uint64_t kStepsBase = 100000;

uint64_t StepLimit(size_t dataBytes, size_t imageBytes) {
  return kStepsPerByte * (dataBytes + imageBytes) + kStepsBase;
}

uint8_t Pattern(uint32_t address) {
  return static_cast<uint8_t>(address * 0245 + 0113 + (address >> 8));
}

const Bytes& PatternedRam() {
  static const Bytes ram = [] {
    Bytes bytes(kRamEnd);
    for (uint32_t address = 0; address < kRamEnd; ++address) bytes[address] = Pattern(address);
    return bytes;
  }();
  return ram;
}

Proof NoRoom() {
  Proof proof;
  proof.verdict = Verdict::NoRoom;
  return proof;
}

Proof Execute(const Plan& plan) {
  Proof proof;
  proof.imageAt = plan.imageAt;
  proof.stackEnd = plan.scene.stack;
  proof.stackFirst = plan.scene.stack - 2u - plan.stackUse;
  auto machine = std::make_unique<pdp11::Machine>(kRamEnd);
  machine->Load(0, PatternedRam());
  machine->Load(plan.imageAt, *plan.image);
  machine->SetWord(plan.scene.caller, kOpJsrPcAbsolute);
  machine->SetWord(static_cast<uint16_t>(plan.scene.caller + 2), plan.entry);
  machine->SetRegister(pdp11::kSp, plan.scene.stack);
  machine->SetRegister(pdp11::kPc, plan.scene.caller);
  const Bytes before(machine->Memory().begin(), machine->Memory().begin() + kRamEnd);

  std::vector<Stage> stages;
  const uint32_t caller = plan.scene.caller;
  stages.push_back({{caller, caller + Scene::kCallBytes}, {plan.entry, plan.entry + 1u}});
  stages.insert(stages.end(), plan.stages.begin(), plan.stages.end());
  uint64_t baseInstructions = 0;
  uint64_t baseCycles = 0;
  for (size_t i = 0; i < stages.size(); ++i) {
    const Stage& stage = stages[i];
    machine->SetAllowedRange(static_cast<uint16_t>(stage.code.first), stage.code.end);
    // The hand-off counts wherever it lies, even inside the last stretch's
    // code (a start address in the work area): the jump there ends the run.
    if (i + 1 == stages.size()) machine->AddStopAt(static_cast<uint16_t>(stage.exit.first));
    const uint64_t used = machine->Instructions() - baseInstructions;
    const uint64_t left = i == 0 ? 1 : (plan.stepLimit > used ? plan.stepLimit - used : 0);
    const pdp11::RunOutcome outcome = machine->Run(left);
    proof.instructions = machine->Instructions() - baseInstructions;
    proof.cycles = machine->Cycles() - baseCycles;
    if (outcome.reason == pdp11::StopReason::StepLimit) {
      proof.verdict = Verdict::StepLimit;
      proof.pc = outcome.pc;
      return proof;
    }
    if (!outcome.HandedOff()) {
      proof.verdict = Verdict::Trap;
      proof.trap = outcome.reason;
      proof.pc = outcome.pc;
      proof.address = outcome.address;
      return proof;
    }
    if (!stage.exit.Contains(outcome.pc)) {
      proof.verdict = Verdict::WrongHandOff;
      proof.address = outcome.pc;
      proof.expected = static_cast<uint16_t>(stage.exit.first);
      return proof;
    }
    if (i == 0) {  // the caller's JSR is not the image's
      baseInstructions = machine->Instructions();
      baseCycles = machine->Cycles();
      proof.instructions = 0;
      proof.cycles = 0;
    }
  }

  const auto& memory = machine->Memory();
  for (uint32_t address = plan.region.first; address < plan.region.end; ++address) {
    const uint8_t expected = plan.expected[address - plan.region.first];
    if (memory[address] != expected) {
      proof.verdict = Verdict::DataDiffers;
      proof.address = static_cast<uint16_t>(address);
      proof.found = memory[address];
      proof.expected = expected;
      return proof;
    }
  }
  for (const auto& [address, value] : plan.words) {
    if (machine->Word(address) != value) {
      proof.verdict = Verdict::DataDiffers;
      proof.address = address;
      proof.found = machine->Word(address);
      proof.expected = value;
      return proof;
    }
  }
  // Outside the areas the run may write, memory must be as before: the
  // gaps between those areas, compared a gap at a time.
  std::vector<Range> writable = plan.writable;
  writable.push_back(plan.region);
  // The caller's JSR pushed the return address.
  writable.push_back({plan.scene.stack - 2u, plan.scene.stack});
  std::sort(writable.begin(), writable.end(),
            [](const Range& a, const Range& b) { return a.first < b.first; });
  uint32_t gap = 0;
  writable.push_back({kRamEnd, kRamEnd});
  for (const Range& range : writable) {
    const uint32_t gapEnd = std::min(range.first, kRamEnd);
    if (gap < gapEnd) {
      const auto differ =
          std::mismatch(memory.begin() + gap, memory.begin() + gapEnd, before.begin() + gap);
      if (differ.first != memory.begin() + gapEnd) {
        const auto address = static_cast<uint32_t>(differ.first - memory.begin());
        proof.verdict = Verdict::StrayWrite;
        proof.address = static_cast<uint16_t>(address);
        proof.found = memory[address];
        proof.expected = before[address];
        return proof;
      }
    }
    gap = std::max(gap, std::min(range.end, kRamEnd));
  }
  if (machine->Register(pdp11::kSp) != plan.sp) {
    proof.verdict = Verdict::WrongRegister;
    proof.reg = pdp11::kSp;
    proof.found = machine->Register(pdp11::kSp);
    proof.expected = plan.sp;
    return proof;
  }
  if (plan.checkR0 && machine->Register(0) != plan.r0) {
    proof.verdict = Verdict::WrongRegister;
    proof.reg = 0;
    proof.found = machine->Register(0);
    proof.expected = plan.r0;
  }
  return proof;
}

Bytes Padded(const Bytes& data) {
  Bytes padded = data;
  if (padded.size() % 2 != 0) padded.push_back(0);
  return padded;
}

// Sokol's decoder block lies below SP, and its subroutines push two words
// below the block.
constexpr uint32_t kSokolStackUse = sokol::kBlockSize + 4;

}  // namespace

Proof ProveDorvik(const Bytes& image, const Bytes& data, uint16_t loadAddress,
                  const DorvikEntry& entry) {
  const Bytes padded = Padded(data);
  const bool below = loadAddress < kSystemAreaEnd;
  const uint32_t regionStart = below ? kSystemAreaEnd : loadAddress;
  const uint32_t dataEnd = loadAddress + static_cast<uint32_t>(padded.size());
  if (dataEnd <= regionStart) return NoRoom();  // nothing to unpack: no image either
  const Range loaded{
      loadAddress, std::max<uint32_t>(loadAddress + static_cast<uint32_t>(image.size()), dataEnd)};
  const Range work{entry.workStart, entry.workStart + static_cast<uint32_t>(dorvik::kWorkAreaSize)};
  if (!InsideRam(loaded) || !InsideRam(work)) return NoRoom();

  // The program starts at its load address, at 01000, or at the
  // autostart address of its stack image; the BK enters the image at the
  // stub, at the packed region's start.
  uint16_t start = static_cast<uint16_t>(regionStart);
  if (below) {
    const size_t stackBytes = std::min<size_t>(padded.size(), kSystemAreaEnd - loadAddress);
    start = RedirectAutostart(Bytes(padded.begin(), padded.begin() + static_cast<long>(stackBytes)))
                .startAddress;
  }

  Plan plan;
  std::vector<Range> taken = {loaded, work};
  plan.writable = {loaded, work};
  if (entry.longStub) {
    for (const uint16_t address :
         {dorvik::kSystemLengthAddressA, dorvik::kSystemChecksumAddress, dorvik::kSystemLengthAddressB}) {
      taken.push_back({address, address + 2u});
      plan.writable.push_back({address, address + 2u});
    }
    const auto length = static_cast<uint16_t>(data.size());
    plan.words = {{dorvik::kSystemLengthAddressA, length},
                  {dorvik::kSystemChecksumAddress, EndAroundCarrySum(data.data(), data.size())},
                  {dorvik::kSystemLengthAddressB, length}};
  }
  if (!FindScene(taken, 0, &plan.scene)) return NoRoom();

  const uint32_t stubBytes = dorvik::kStubSize - (entry.longStub ? dorvik::kLongStubSkip : dorvik::kShortStubSkip);
  const Range loop{entry.workStart, entry.workStart + static_cast<uint32_t>(dorvik::kWorkLoopSize)};
  const uint16_t handOff = entry.dataMode ? plan.scene.ReturnAddress() : start;
  plan.image = &image;
  plan.imageAt = loadAddress;
  plan.entry = static_cast<uint16_t>(regionStart);
  // The stub runs where it was loaded, copies its loop to the work area
  // and goes on there; the loop ends with the jump to the program or the
  // return.
  plan.stages = {{{regionStart, regionStart + stubBytes}, loop}, {loop, {handOff, handOff + 1u}}};
  plan.region = {regionStart, dataEnd};
  plan.expected = padded.data() + (regionStart - loadAddress);
  plan.sp = entry.dataMode ? plan.scene.stack : static_cast<uint16_t>(plan.scene.stack - 2);
  plan.stepLimit = StepLimit(padded.size(), image.size());
  return Execute(plan);
}

Proof ProveGranol(const Bytes& image, const Bytes& data, uint16_t loadAddress) {
  const Bytes padded = Padded(data);
  const Range region{loadAddress, loadAddress + static_cast<uint32_t>(padded.size())};
  const auto size = static_cast<uint32_t>(image.size());
  if (!InsideRam(region) || size < granol::kStubSize) return NoRoom();

  // Beside the data, as the stub's contract asks: above it when it fits,
  // else below.
  std::vector<uint32_t> places = {Even(region.end)};
  if (region.first >= size) places.push_back((region.first - size) & ~1u);
  Plan plan;
  bool placed = false;
  for (const uint32_t at : places) {
    const Range loaded{at, at + size};
    if (!InsideRam(loaded) || Overlaps(loaded, region)) continue;
    if (!FindScene({region, loaded}, granol::kStackUse, &plan.scene)) continue;
    plan.imageAt = static_cast<uint16_t>(at);
    placed = true;
    break;
  }
  if (!placed) return NoRoom();

  const Range loaded{plan.imageAt, plan.imageAt + size};
  const uint16_t handOff = plan.scene.ReturnAddress();
  plan.image = &image;
  plan.entry = plan.imageAt;
  plan.stages = {{{plan.imageAt, plan.imageAt + static_cast<uint32_t>(granol::kStubSize)},
                  {handOff, handOff + 1u}}};
  plan.region = region;
  plan.expected = padded.data();
  // The stub rewrites operands of its own and uses a few words of stack.
  plan.writable = {loaded, {plan.scene.stack - 2u - granol::kStackUse, plan.scene.stack}};
  plan.stackUse = granol::kStackUse;
  plan.sp = plan.scene.stack;
  plan.checkR0 = true;
  plan.r0 = loadAddress;
  plan.stepLimit = StepLimit(padded.size(), image.size());
  return Execute(plan);
}

Proof ProveSokol(const Bytes& image, const Bytes& data, uint16_t loadAddress, bool dataMode,
                 uint32_t margin) {
  // A file below 01000 keeps its stack image as loaded; the set-up code
  // sits at 01000, where the autostart words send the BK, and the program
  // starts where they said.
  const bool below = loadAddress < kSystemAreaEnd;
  const uint32_t split = below ? kSystemAreaEnd - loadAddress : 0;
  if (data.size() <= split && below) return NoRoom();  // nothing to unpack: no image either
  const uint32_t entryAt = loadAddress + split;
  const Range program{entryAt, loadAddress + static_cast<uint32_t>(data.size()) + margin};
  const Range loaded{loadAddress, loadAddress + static_cast<uint32_t>(image.size())};
  const Range rest{entryAt, loaded.end};
  if (!InsideRam(program) || !InsideRam(loaded) || image.size() < split + sokol::kStubSize) {
    return NoRoom();
  }
  uint16_t start = static_cast<uint16_t>(entryAt);
  if (below) start = RedirectAutostart(Bytes(data.begin(), data.begin() + split)).startAddress;

  Plan plan;
  if (!FindScene({program, loaded}, kSokolStackUse, &plan.scene)) return NoRoom();
  // The set-up code copies the decoder block right below the return
  // address and jumps into it; the block ends with the jump to the
  // program or the return.
  const uint32_t spEntry = plan.scene.stack - 2u;
  const Range block{spEntry - static_cast<uint32_t>(sokol::kBlockSize), spEntry};
  const uint16_t handOff = dataMode ? plan.scene.ReturnAddress() : start;
  plan.image = &image;
  plan.imageAt = loadAddress;
  plan.entry = static_cast<uint16_t>(entryAt);
  plan.stages = {{{entryAt, entryAt + static_cast<uint32_t>(sokol::kSetupSize)}, block},
                 {block, {handOff, handOff + 1u}}};
  plan.region = {entryAt, loadAddress + static_cast<uint32_t>(data.size())};
  plan.expected = data.data() + split;
  // The stack image is not the unpacker's to write: it must stay as loaded.
  plan.writable = {program, rest, {spEntry - kSokolStackUse, spEntry}};
  plan.stackUse = kSokolStackUse;
  plan.sp = dataMode ? plan.scene.stack : static_cast<uint16_t>(spEntry);
  plan.stepLimit = StepLimit(data.size(), image.size());
  return Execute(plan);
}

Proof ProveSokol(const sokol::PackResult& packed, const Bytes& data, bool dataMode) {
  return ProveSokol(packed.image, data, packed.loadAddress, dataMode, packed.margin);
}

}  // namespace proof
