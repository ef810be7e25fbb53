// A PDP-11 of the BK-0010's kind, as a plain library: the basic instruction
// set of the K1801VM1 (the LSI-11 set without EIS and FPU, with SOB, XOR,
// SXT, MARK, MTPS, MFPS and RTT), 64 KiB of byte-addressed memory with RAM
// up to the I/O page, and the BK's system register at 0177716, which reads
// as a constant.
//
// It exists to run a self-extractor from the outside: load bytes, set the
// registers, say where the run hands off (the PC reaching an address, or
// leaving a range), run, and read back memory, registers, the instruction
// count, the estimated CPU cycles and why the run stopped. There are no
// devices and no interrupts: every trap (odd address, non-existent memory,
// reserved or illegal instruction, EMT, TRAP, IOT, BPT, the trace bit),
// HALT, WAIT and the step limit end the run, with the reason, the address of
// the instruction and, for memory faults, the address it touched.
//
// The cycle count is an estimate from a published timing table (see
// pdp11_timing.h), not a measurement.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pdp11 {

constexpr uint32_t kMemorySize = 0200000;
// The I/O page of the LSI-11 (and of simh's): by default no RAM from here
// up; only the system register answers.
constexpr uint16_t kIoPageStart = 0160000;
// The BK's own registers begin here; below them a BK-0011M program may
// have memory all the way up, so a machine may be given RAM up to this.
constexpr uint16_t kRegisterPageStart = 0177600;
// The BK's system register. A read gives kSystemRegisterValue: the high
// byte 0200 names the start address 0100000 of the BK-0010's monitor, bit 7
// is set as on the BK-0010, bit 6 set means that no key is held down, and
// the tape input (bit 5) and the written-since-read flag (bit 2) are clear.
// Writes (tape and speaker bits) are accepted and change nothing here.
constexpr uint16_t kSystemRegister = 0177716;
constexpr uint16_t kSystemRegisterValue = 0100300;

constexpr int kSp = 6;
constexpr int kPc = 7;

// Processor status word bits.
constexpr uint16_t kFlagC = 01;
constexpr uint16_t kFlagV = 02;
constexpr uint16_t kFlagZ = 04;
constexpr uint16_t kFlagN = 010;
constexpr uint16_t kTraceBit = 020;

enum class StopReason : uint8_t {
  None,                 // not run yet
  HandOff,              // the PC reached a hand-off address or left the allowed range
  StepLimit,            // the run used up its instructions
  OddAddress,           // a word access or an instruction fetch at an odd address
  NonExistentMemory,    // an access above the RAM, other than to the system register
  ReservedInstruction,  // an opcode the K1801VM1 lacks (EIS, FPU, MFPT, SPL, ...): vector 010
  IllegalInstruction,   // JMP or JSR with a register operand: vector 4
  Emt,
  Trap,
  Iot,
  Bpt,
  TraceTrap,            // the T bit of the status word was set
  Halt,
  Wait,
};

// A short English name of the reason, for test and benchmark output.
const char* StopReasonName(StopReason reason);

struct RunOutcome {
  StopReason reason = StopReason::None;
  // HandOff: the address reached. StepLimit: the next instruction. Any
  // other reason: the address of the instruction that stopped the run.
  uint16_t pc = 0;
  uint16_t instruction = 0;  // the first word of that instruction (not for HandOff/StepLimit)
  uint16_t address = 0;      // OddAddress, NonExistentMemory: the address accessed

  bool HandedOff() const { return reason == StopReason::HandOff; }
};

class Machine {
 public:
  // RAM covers 0 up to ramEnd (at most kRegisterPageStart); everything
  // above it, except the system register, is non-existent memory.
  explicit Machine(uint32_t ramEnd = kIoPageStart);

  // Puts bytes into memory from `address` (any address; wraps at 64 KiB),
  // whatever lies there, as a loader would.
  void Load(uint16_t address, const uint8_t* bytes, size_t count);
  void Load(uint16_t address, const std::vector<uint8_t>& bytes);
  void SetWord(uint16_t address, uint16_t value);  // address rounded down to even
  uint8_t Byte(uint16_t address) const { return memory_[address]; }
  uint16_t Word(uint16_t address) const;  // address rounded down to even
  const std::array<uint8_t, kMemorySize>& Memory() const { return memory_; }

  void SetRegister(int index, uint16_t value);  // 0..5, kSp, kPc
  uint16_t Register(int index) const;
  void SetPsw(uint16_t value) { psw_ = static_cast<uint16_t>(value & 0377); }
  uint16_t Psw() const { return psw_; }

  // Hand-off conditions, checked after every instruction (never before the
  // first one of a run, so a program may start where it hands off): the PC
  // equals one of the stop addresses, or lies outside [first, end).
  void AddStopAt(uint16_t address);
  void SetAllowedRange(uint16_t first, uint32_t end);

  // Runs at most `stepLimit` further instructions. Counters accumulate over
  // runs; a run may continue after a hand-off.
  RunOutcome Run(uint64_t stepLimit);

  // Instructions completed (the one that failed is not counted) and their
  // estimated K1801VM1 clock cycles.
  uint64_t Instructions() const { return instructions_; }
  uint64_t Cycles() const { return cycles_; }

 private:
  // An operand after its address is resolved: a register or a memory address.
  struct Location {
    bool isRegister;
    uint16_t where;
  };

  bool Failed() const { return outcome_.reason != StopReason::None; }
  void Fail(StopReason reason, uint16_t address = 0);

  uint16_t ReadWord(uint16_t address);
  uint8_t ReadByte(uint16_t address);
  void WriteWord(uint16_t address, uint16_t value);
  void WriteByte(uint16_t address, uint8_t value);
  uint16_t FetchWord();
  void Push(uint16_t value);
  uint16_t Pop();

  Location Resolve(int operand, bool byte);
  uint16_t ReadAt(Location at, bool byte);
  void WriteAt(Location at, bool byte, uint16_t value);

  void Step();
  void ExecuteGroup0(uint16_t op);
  void ExecuteGroup07(uint16_t op);
  void ExecuteGroup10(uint16_t op);
  void ExecuteDoubleOperand(uint16_t op);
  void ExecuteSingleOperand(uint16_t op, bool byte);
  void ExecuteMiscellaneous(uint16_t op);
  void ExecuteBranch(uint16_t op);
  void ExecuteJump(uint16_t op);
  void ExecuteSubroutineCall(uint16_t op);
  void ExecuteReturnFromInterrupt(bool trace);
  void ExecuteStatusMove(uint16_t op);

  void SetNZ(uint16_t value, bool byte);
  void SetFlag(uint16_t flag, bool on);

  std::array<uint8_t, kMemorySize> memory_{};
  std::array<uint16_t, 8> registers_{};
  uint16_t psw_ = 0;
  uint32_t ramEnd_;
  std::array<uint64_t, kMemorySize / 64> stopAt_{};  // one bit per byte address
  bool hasStops_ = false;
  uint16_t allowedFirst_ = 0;
  uint32_t allowedEnd_ = kMemorySize;
  uint64_t instructions_ = 0;
  uint64_t cycles_ = 0;
  uint16_t instructionPc_ = 0;  // where the current instruction starts
  uint16_t instruction_ = 0;
  bool traceAfter_ = false;     // a trace trap follows the current instruction
  RunOutcome outcome_;
};

// Seconds that `cycles` take on a BK-0010, whose K1801VM1 runs at 3 MHz.
constexpr double kBk0010ClockHz = 3.0e6;
inline double Bk0010Seconds(uint64_t cycles) { return static_cast<double>(cycles) / kBk0010ClockHz; }

}  // namespace pdp11
