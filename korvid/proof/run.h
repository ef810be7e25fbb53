// The runner of proofs, which knows no method: a Plan says where the image
// and its caller lie, the stretches of code the run must go through in
// order, the region it must unpack and what it must leave, and Execute runs
// it on the PDP-11 model and checks it (proof.h says how). Each method's
// plan (<method>_plan.cpp) builds its Plan from its own reading of the
// stub's contract.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "bk/bytes.h"
#include "proof/proof.h"

namespace proof {

// [first, end) in the address space; end may be 0200000.
struct Range {
  uint32_t first;
  uint32_t end;
  bool Contains(uint32_t address) const { return address >= first && address < end; }
};

bool Overlaps(const Range& a, const Range& b);
bool InsideRam(const Range& range);
uint32_t Even(uint32_t address);

// The caller: JSR PC, @#entry at `caller`, returning to caller + 4, with
// SP = `stack` before the call. The stack the image may use lies below the
// return address that the call pushes at stack - 2.
struct Scene {
  uint16_t caller = 0;
  uint16_t stack = 0;
  uint16_t ReturnAddress() const { return static_cast<uint16_t>(caller + kCallBytes); }
  static constexpr uint16_t kCallBytes = 4;
};

// A place for the caller and `stackUse` bytes of stack outside `taken`: the
// BK's stack below 01000 when it is free, else the highest free place in
// the RAM. None when there is no room.
std::optional<Scene> FindScene(const std::vector<Range>& taken, uint32_t stackUse);

// A stretch of the run: it executes inside `code` and must leave it for an
// address inside `exit`.
struct Stage {
  Range code;
  Range exit;
};

// One run, set up by a method's plan and checked by Execute.
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
  std::optional<uint16_t> r0;         // R0 at the hand-off, where the contract says it
  // Words the image must leave in memory: address, value.
  std::vector<std::pair<uint16_t, uint16_t>> words;
  uint64_t stepLimit = 0;
};

// Instructions a run may take for `dataBytes` of data and `imageBytes` of
// image: several times the slowest stub's worst case, so that only a stub
// that loops hits it.
uint64_t StepLimit(size_t dataBytes, size_t imageBytes);

// The data with a zero byte that pads it to a whole word, as the methods
// that unpack whole words leave it.
Bytes Padded(const Bytes& data);

// The verdict for an image, data, areas and caller that do not fit
// together into the model's RAM.
Proof NoRoom();

// Runs the plan on the model and checks what it left.
Proof Execute(const Plan& plan);

}  // namespace proof
