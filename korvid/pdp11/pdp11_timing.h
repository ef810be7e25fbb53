// Estimated clock cycles of the K1801VM1 per instruction.
//
// The figures follow the structure of the per-instruction execution-time
// table for the K1801VM1 published in the handbook "Микропроцессоры и
// микропроцессорные комплекты интегральных микросхем" (vol. 1, ed.
// V. A. Shakhnov, Moscow: Radio i svyaz', 1988): a base time per
// instruction class, in clock periods, plus a time for each memory operand
// that depends on its addressing mode and on whether the operand is read,
// written, or read and written back. They are rounded to the usual figures:
// 12 clocks for a register-to-register operation, 8 for each memory access,
// 16 for a branch.
//
// The result is an ESTIMATE, good to perhaps a quarter either way:
// - byte and word forms are taken to cost the same, and PC modes (#, @#,
//   relative) the same as the register modes they are;
// - the BK-0010's display refresh shares the RAM with the CPU and stretches
//   some memory cycles, which no table can show;
// - timer and keyboard interrupts, absent here, would add their own time.
// Instruction counts are exact; cycles and the seconds derived from them
// are not.
#pragma once

#include <cstdint>

namespace pdp11::timing {

// How an instruction uses its destination operand.
enum class Access : uint8_t { Read, Write, Modify };

// clang-format off
// Addressing mode:                 0   1   2   3   4   5   6   7
constexpr uint8_t kSource[8]     = {0,  8,  8, 16,  8, 16, 16, 24};
constexpr uint8_t kDestRead[8]   = {0,  8,  8, 16,  8, 16, 16, 24};
constexpr uint8_t kDestWrite[8]  = {0,  8,  8, 16,  8, 16, 16, 24};
constexpr uint8_t kDestModify[8] = {0, 12, 12, 20, 12, 20, 20, 28};
// JMP and JSR compute an address and read nothing there (mode 0 traps).
constexpr uint8_t kJumpAddress[8] = {0, 0,  4,  8,  4,  8,  8, 16};

// Base times, operand times not included.
constexpr uint16_t kOperate    = 12;  // double and single operand, XOR, SXT, MFPS
constexpr uint16_t kMoveToPsw  = 16;  // MTPS
constexpr uint16_t kBranch     = 16;  // every Bxx, taken or not
constexpr uint16_t kSob        = 20;
constexpr uint16_t kJump       = 16;
constexpr uint16_t kCall       = 32;  // JSR: push, link, jump
constexpr uint16_t kReturn     = 24;  // RTS
constexpr uint16_t kInterruptReturn = 32;  // RTI, RTT
constexpr uint16_t kMark       = 36;
constexpr uint16_t kConditionCodes = 12;  // CLC ... SCC, NOP
constexpr uint16_t kReset      = 1024;  // mostly the bus INIT pulse
// clang-format on

constexpr uint16_t Destination(Access access, int mode) {
  return access == Access::Read ? kDestRead[mode] : access == Access::Write ? kDestWrite[mode] : kDestModify[mode];
}

constexpr uint16_t DoubleOperand(Access access, int sourceMode, int destMode) {
  return static_cast<uint16_t>(kOperate + kSource[sourceMode] + Destination(access, destMode));
}

constexpr uint16_t SingleOperand(Access access, int mode) {
  return static_cast<uint16_t>(kOperate + Destination(access, mode));
}

}  // namespace pdp11::timing
