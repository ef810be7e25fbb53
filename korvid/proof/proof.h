// The proof of an image: before korvid writes an image, it runs it on the
// PDP-11 model (pdp11/pdp11_machine.h) the way a BK runs it and checks that
// it gives the input back. Pure functions: the image, the input's data and
// load address and what shapes the run (data mode, the areas the packer
// chose) in, a Proof out. The front decides what to print.
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
#include <vector>

#include "pdp11/pdp11_machine.h"
#include "sokol/sokol.h"

namespace proof {

using Bytes = std::vector<uint8_t>;

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

struct DorvikEntry {
  bool dataMode = false;  // the stub returns to its caller
  bool longStub = false;  // the stub leaves length and checksum at 0266, 0312, 0350
  // The stub's work area as packing placed it (dorvik::PackResult::workStart):
  // the only memory besides the image and the data it may write.
  uint16_t workStart = 0;
};

// A Dorvik image loaded at `loadAddress` and entered there, or, for files
// below 01000, at 01000 through the autostart word of its stack image; the
// program's start address is the load address, 01000, or the stack image's
// autostart address.
Proof ProveDorvik(const Bytes& image, const Bytes& data, uint16_t loadAddress,
                  const DorvikEntry& entry);

// A Granol image loaded beside the data (above it when it fits, else
// below), called with JSR PC; it must return with R0 = `loadAddress` and SP
// as before the call, having used no more than a few words of the stack.
Proof ProveGranol(const Bytes& image, const Bytes& data, uint16_t loadAddress);

// A Sokol image loaded at `loadAddress` and entered there (for files below
// 01000: at 01000, its stack image kept as loaded) with 172 bytes of stack
// below SP; the program starts at its load address (below 01000: at the
// autostart address of its stack image), or the image returns to the caller
// in data mode. `margin`: the bytes above the
// program's end that the image was packed to use.
Proof ProveSokol(const Bytes& image, const Bytes& data, uint16_t loadAddress, bool dataMode,
                 uint32_t margin);
// The same for what sokol::Pack returned for `data`.
Proof ProveSokol(const sokol::PackResult& packed, const Bytes& data, bool dataMode);

}  // namespace proof
