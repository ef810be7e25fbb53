#include "proof/run.h"

#include <algorithm>
#include <memory>

#include "bk/memory.h"
#include "pdp11/pdp11_machine.h"

namespace proof {

namespace {

bool OverlapsAny(const Range& range, const std::vector<Range>& ranges) {
  for (const Range& other : ranges) {
    if (Overlaps(range, other)) return true;
  }
  return false;
}

constexpr uint16_t kOpJsrPcAbsolute = 004737;
// The caller's call and the word after it, then the stack.
constexpr uint32_t kCallerBytes = 6;
// The BK's own stack lies below 01000: a caller there is what a BK has.
constexpr uint32_t kBkStackTop = kSystemAreaEnd;

// The bytes a scene takes: the call, the stack the image may use, the
// return address.
uint32_t SceneBytes(uint32_t stackUse) { return kCallerBytes + stackUse + 2; }

// Instructions a run may take per byte of data and image.
constexpr uint64_t kStepsPerByte = 256;
constexpr uint64_t kStepsBase = 100000;

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

// The model with its RAM patterned, the image loaded where the plan has it
// and the caller's JSR ready to run.
std::unique_ptr<pdp11::Machine> LoadedMachine(const Plan& plan) {
  auto machine = std::make_unique<pdp11::Machine>(kRamEnd);
  machine->Load(0, PatternedRam());
  machine->Load(plan.imageAt, *plan.image);
  machine->SetWord(plan.scene.caller, kOpJsrPcAbsolute);
  machine->SetWord(static_cast<uint16_t>(plan.scene.caller + 2), plan.entry);
  machine->SetRegister(pdp11::kSp, plan.scene.stack);
  machine->SetRegister(pdp11::kPc, plan.scene.caller);
  return machine;
}

// A run that got to its hand-off: the model as it was left, the memory as
// it was before, and the proof so far (the counts and the places).
struct Run {
  const pdp11::Machine& machine;
  const Bytes& before;
  const Proof& proof;
};

// Runs the caller's JSR and then the plan's stages in order, each inside its
// code and out through its exit. The proof has the image's instruction and
// cycle counts (the JSR not counted), and a verdict other than Proven when
// a stage did not end at its exit.
Proof RunStages(const Plan& plan, pdp11::Machine& machine) {
  Proof proof;
  proof.imageAt = plan.imageAt;
  proof.stackEnd = plan.scene.stack;
  proof.stackFirst = plan.scene.stack - 2u - plan.stackUse;
  std::vector<Stage> stages;
  const uint32_t caller = plan.scene.caller;
  stages.push_back({{caller, caller + Scene::kCallBytes}, {plan.entry, plan.entry + 1u}});
  stages.insert(stages.end(), plan.stages.begin(), plan.stages.end());
  uint64_t baseInstructions = 0;
  uint64_t baseCycles = 0;
  for (size_t i = 0; i < stages.size(); ++i) {
    const Stage& stage = stages[i];
    machine.SetAllowedRange(static_cast<uint16_t>(stage.code.first), stage.code.end);
    // The hand-off counts wherever it lies, even inside the last stretch's
    // code (a start address in the work area): the jump there ends the run.
    if (i + 1 == stages.size()) machine.AddStopAt(static_cast<uint16_t>(stage.exit.first));
    const uint64_t used = machine.Instructions() - baseInstructions;
    const uint64_t left = i == 0 ? 1 : (plan.stepLimit > used ? plan.stepLimit - used : 0);
    const pdp11::RunOutcome outcome = machine.Run(left);
    proof.instructions = machine.Instructions() - baseInstructions;
    proof.cycles = machine.Cycles() - baseCycles;
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
      baseInstructions = machine.Instructions();
      baseCycles = machine.Cycles();
      proof.instructions = 0;
      proof.cycles = 0;
    }
  }
  return proof;
}

// A check's finding: the run's proof with the verdict and what was found.
Proof Finding(const Run& run, Verdict verdict, uint16_t address, uint16_t found,
              uint16_t expected) {
  Proof proof = run.proof;
  proof.verdict = verdict;
  proof.address = address;
  proof.found = found;
  proof.expected = expected;
  return proof;
}

// The unpacked region holds the input.
std::optional<Proof> CheckRegion(const Plan& plan, const Run& run) {
  const auto& memory = run.machine.Memory();
  for (uint32_t address = plan.region.first; address < plan.region.end; ++address) {
    const uint8_t expected = plan.expected[address - plan.region.first];
    if (memory[address] != expected) {
      return Finding(run, Verdict::DataDiffers, static_cast<uint16_t>(address), memory[address],
                     expected);
    }
  }
  return std::nullopt;
}

// The words the image must leave hold their values.
std::optional<Proof> CheckWords(const Plan& plan, const Run& run) {
  for (const auto& [address, value] : plan.words) {
    const uint16_t found = run.machine.Word(address);
    if (found != value) return Finding(run, Verdict::DataDiffers, address, found, value);
  }
  return std::nullopt;
}

// Outside the areas the run may write, memory is as before: the gaps
// between those areas, compared a gap at a time.
std::optional<Proof> CheckUntouched(const Plan& plan, const Run& run) {
  const auto& memory = run.machine.Memory();
  std::vector<Range> writable = plan.writable;
  writable.push_back(plan.region);
  // The caller's JSR pushed the return address.
  writable.push_back({plan.scene.stack - 2u, plan.scene.stack});
  std::sort(writable.begin(), writable.end(),
            [](const Range& a, const Range& b) { return a.first < b.first; });
  writable.push_back({kRamEnd, kRamEnd});
  uint32_t gap = 0;
  for (const Range& range : writable) {
    const uint32_t gapEnd = std::min(range.first, kRamEnd);
    if (gap < gapEnd) {
      const auto differ =
          std::mismatch(memory.begin() + gap, memory.begin() + gapEnd, run.before.begin() + gap);
      if (differ.first != memory.begin() + gapEnd) {
        const auto address = static_cast<uint32_t>(differ.first - memory.begin());
        return Finding(run, Verdict::StrayWrite, static_cast<uint16_t>(address), memory[address],
                       run.before[address]);
      }
    }
    gap = std::max(gap, std::min(range.end, kRamEnd));
  }
  return std::nullopt;
}

// SP, and R0 where the contract says it, as the stub must leave them.
std::optional<Proof> CheckRegisters(const Plan& plan, const Run& run) {
  const auto wrong = [&run](int reg, uint16_t expected) {
    Proof proof = Finding(run, Verdict::WrongRegister, 0, run.machine.Register(reg), expected);
    proof.reg = reg;
    return proof;
  };
  if (run.machine.Register(pdp11::kSp) != plan.sp) return wrong(pdp11::kSp, plan.sp);
  if (plan.r0 && run.machine.Register(0) != *plan.r0) return wrong(0, *plan.r0);
  return std::nullopt;
}

}  // namespace

bool Overlaps(const Range& a, const Range& b) { return a.first < b.end && b.first < a.end; }

bool InsideRam(const Range& range) { return range.first <= range.end && range.end <= kRamEnd; }

uint32_t Even(uint32_t address) { return (address + 1) & ~1u; }

std::optional<Scene> FindScene(const std::vector<Range>& taken, uint32_t stackUse) {
  const uint32_t size = SceneBytes(stackUse);
  std::vector<uint32_t> ends = {kBkStackTop, kRamEnd};
  for (const Range& range : taken) ends.push_back(range.first & ~1u);
  std::sort(ends.begin() + 1, ends.end(), [](uint32_t a, uint32_t b) { return a > b; });
  for (const uint32_t end : ends) {
    if (end < size || end > kRamEnd) continue;
    const Range block{end - size, end};
    if (OverlapsAny(block, taken)) continue;
    Scene scene;
    scene.caller = static_cast<uint16_t>(block.first);
    scene.stack = static_cast<uint16_t>(block.end);
    return scene;
  }
  return std::nullopt;
}

uint64_t StepLimit(size_t dataBytes, size_t imageBytes) {
  return kStepsPerByte * (dataBytes + imageBytes) + kStepsBase;
}

Bytes Padded(const Bytes& data) {
  Bytes padded = data;
  if (padded.size() % 2 != 0) padded.push_back(0);
  return padded;
}

Proof NoRoom() {
  Proof proof;
  proof.verdict = Verdict::NoRoom;
  return proof;
}

Proof Execute(const Plan& plan) {
  const std::unique_ptr<pdp11::Machine> machine = LoadedMachine(plan);
  const Bytes before(machine->Memory().begin(), machine->Memory().begin() + kRamEnd);
  const Proof ran = RunStages(plan, *machine);
  if (!ran.Proven()) return ran;
  const Run run{*machine, before, ran};
  using Check = std::optional<Proof> (*)(const Plan&, const Run&);
  for (const Check check : {CheckRegion, CheckWords, CheckUntouched, CheckRegisters}) {
    if (std::optional<Proof> failed = check(plan, run)) return *failed;
  }
  return ran;
}

}  // namespace proof
