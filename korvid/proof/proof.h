// The proof of an image: before korvid writes an image, it runs it on the
// PDP-11 model (pdp11/pdp11_machine.h) the way a BK runs it and checks that
// it gives the input back. Each method has its plan (<method>_plan.h), a
// pure function: the image, the input's data and load address and what
// shapes the run (data mode, the areas the packer chose) in, a Proof out.
// The plans read each stub's contract on their own, from the method's
// format facts only; the runner (run.h) that carries them out knows no
// method. The front decides what to print.
//
// A run, for every method:
//   - the model's RAM (0 up to 0177600) is filled with a pattern, so that
//     a stray write of any value shows;
//   - the image is loaded where a BK has it, and a caller's JSR PC enters
//     it (the stack the method expects, below 01000 as on a BK whenever that
//     is free, else in the highest free place);
//   - the run must go through the stub's code in order (for Dorvik the
//     stub, then its loop copied to the work area; for Sokol the set-up
//     code, then the decoder block below the stack; for Granol the stub)
//     and leave it exactly at the hand-off: the program's start address,
//     or the caller's return address in data mode;
//   - then the unpacked region must hold the input (padded to a whole word
//     where the method unpacks whole words), SP must be where the method's
//     contract leaves it, and no byte outside the method's areas may have
//     changed.
// Any trap, HALT or WAIT of the model, or the step limit, ends the run
// unproven.
//
// The instruction count is exact; the cycles and seconds are an estimate
// from the K1801VM1 timing table (pdp11/pdp11_timing.h) at the BK-0010's
// 3 MHz.
#pragma once

#include <cstdint>

#include "pdp11/pdp11_machine.h"

namespace proof {

// The model's RAM ends where the BK's registers begin (a BK-0011M program
// may reach that high): an image, its data, its work areas and its caller
// must all lie below.
constexpr uint32_t kRamEnd = pdp11::kRegisterPageStart;

enum class Verdict : uint8_t {
  Proven,
  // address: the first byte of the unpacked region, or a word the long
  // Dorvik stub leaves in the system area, that differs; found, expected:
  // its value after the run and the input's.
  DataDiffers,
  // address: the first byte outside the method's areas that changed;
  // found, expected: after and before the run.
  StrayWrite,
  // trap: why the model stopped; pc: the instruction; address: the memory
  // it touched (odd address, non-existent memory).
  Trap,
  // pc: where the run was when its instructions ran out.
  StepLimit,
  // address: where control went (the BK's entry, a jump out of the stub);
  // expected: where it had to go.
  WrongHandOff,
  // reg: the register (pdp11::kSp, 0..5); found, expected: its value.
  WrongRegister,
  // The image, its data, its areas and a caller do not fit together into
  // the model's RAM.
  NoRoom,
};

struct Proof {
  Verdict verdict = Verdict::Proven;
  pdp11::StopReason trap = pdp11::StopReason::None;
  uint16_t pc = 0;
  uint16_t address = 0;
  uint16_t found = 0;
  uint16_t expected = 0;
  int reg = 0;
  // From the image's first instruction to its hand-off (the caller's JSR
  // not counted); for an unproven image, as far as it ran.
  uint64_t instructions = 0;
  uint64_t cycles = 0;
  // Where the run had the image, and the caller's stack the image could use:
  // [stackFirst, stackEnd), the return address of the call at its top.
  uint16_t imageAt = 0;
  uint32_t stackFirst = 0;
  uint32_t stackEnd = 0;

  bool Proven() const { return verdict == Verdict::Proven; }
  // Estimated seconds on a BK-0010.
  double Seconds() const { return pdp11::Bk0010Seconds(cycles); }
};

}  // namespace proof
