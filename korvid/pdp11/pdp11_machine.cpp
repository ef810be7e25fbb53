#include "pdp11/pdp11_machine.h"

#include "pdp11/pdp11_timing.h"

namespace pdp11 {

namespace {

using timing::Access;

constexpr uint16_t kSignWord = 0100000;
constexpr uint16_t kSignByte = 0200;
constexpr uint16_t kFlagsNZVC = kFlagN | kFlagZ | kFlagV | kFlagC;

constexpr int Mode(int operand) { return (operand >> 3) & 7; }
constexpr int Reg(int operand) { return operand & 7; }
constexpr uint16_t Sign(bool byte) { return byte ? kSignByte : kSignWord; }
constexpr uint16_t Mask(bool byte) { return byte ? 0377 : 0177777; }

// Double-operand opcodes (bits 14..12 of the word); byte forms set bit 15.
enum DoubleOpcode { kMov = 1, kCmp = 2, kBit = 3, kBic = 4, kBis = 5, kAddSub = 6 };

// Single-operand opcodes: bits 11..6 of 0050dd..0067dd and 1050dd..1063dd,
// less 050.
enum SingleOpcode {
  kClr = 0, kCom, kInc, kDec, kNeg, kAdc, kSbc, kTst, kRor, kRol, kAsr, kAsl,
  kMark, kMfpi, kMtpi, kSxt
};

// What an instruction of the arithmetic unit gives: the result and the new
// V and C (N and Z follow from the result).
struct AluResult {
  uint16_t result;
  bool v;
  bool c;
};

// COM, INC, DEC, NEG, ADC, SBC and TST of `value`, with the carry in.
AluResult OneOperandArithmetic(int code, uint16_t value, bool carry, uint16_t sign, uint16_t mask) {
  AluResult out{value, false, carry};
  switch (code) {
    case kCom:
      out.result = ~value & mask;
      out.c = true;
      break;
    case kInc:
      out.result = (value + 1) & mask;
      out.v = value == sign - 1;
      break;
    case kDec:
      out.result = (value - 1) & mask;
      out.v = value == sign;
      break;
    case kNeg:
      out.result = -value & mask;
      out.v = out.result == sign;
      out.c = out.result != 0;
      break;
    case kAdc:
      out.result = (value + carry) & mask;
      out.v = carry && value == sign - 1;
      out.c = carry && value == mask;
      break;
    case kSbc:
      out.result = (value - carry) & mask;
      out.v = carry && value == sign;
      out.c = carry && value == 0;
      break;
    case kTst: out.c = false; break;
    default: break;
  }
  return out;
}

// ROR, ROL, ASR and ASL of `value`, with the carry in; V = N xor C.
AluResult OneOperandShift(int code, uint16_t value, bool carry, uint16_t sign, uint16_t mask) {
  AluResult out{value, false, carry};
  switch (code) {
    case kRor:
      out.result = static_cast<uint16_t>((value >> 1) | (carry ? sign : 0));
      out.c = value & 1;
      break;
    case kRol:
      out.result = static_cast<uint16_t>(((value << 1) | carry) & mask);
      out.c = value & sign;
      break;
    case kAsr:
      out.result = static_cast<uint16_t>((value >> 1) | (value & sign));
      out.c = value & 1;
      break;
    case kAsl:
      out.result = static_cast<uint16_t>((value << 1) & mask);
      out.c = value & sign;
      break;
    default: break;
  }
  out.v = ((out.result & sign) != 0) != out.c;
  return out;
}

// CMP, BIT, BIC, BIS, ADD and SUB (`subtract`) of `source` and `dest`, with
// the carry in; BIT, BIC and BIS clear V and keep C.
AluResult TwoOperandArithmetic(int opcode, bool subtract, uint16_t source, uint16_t dest,
                               bool carry, uint16_t sign, uint16_t mask) {
  AluResult out{0, false, carry};
  switch (opcode) {
    case kCmp:
      out.result = (source - dest) & mask;
      out.v = ((source ^ dest) & (source ^ out.result)) & sign;
      out.c = source < dest;
      break;
    case kBit: out.result = source & dest; break;
    case kBic: out.result = static_cast<uint16_t>(~source & dest); break;
    case kBis: out.result = source | dest; break;
    default:  // ADD, SUB
      if (subtract) {
        out.result = static_cast<uint16_t>(dest - source);
        out.v = ((source ^ dest) & (dest ^ out.result)) & sign;
        out.c = dest < source;
      } else {
        out.result = static_cast<uint16_t>(dest + source);
        out.v = (~(source ^ dest) & (source ^ out.result)) & sign;
        out.c = static_cast<uint32_t>(dest) + source > 0177777;
      }
      break;
  }
  return out;
}

}  // namespace

const char* StopReasonName(StopReason reason) {
  switch (reason) {
    case StopReason::None: return "not run";
    case StopReason::HandOff: return "hand-off";
    case StopReason::StepLimit: return "step limit";
    case StopReason::OddAddress: return "odd address";
    case StopReason::NonExistentMemory: return "non-existent memory";
    case StopReason::ReservedInstruction: return "reserved instruction";
    case StopReason::IllegalInstruction: return "illegal instruction";
    case StopReason::Emt: return "EMT";
    case StopReason::Trap: return "TRAP";
    case StopReason::Iot: return "IOT";
    case StopReason::Bpt: return "BPT";
    case StopReason::TraceTrap: return "trace trap";
    case StopReason::Halt: return "HALT";
    case StopReason::Wait: return "WAIT";
  }
  return "?";
}

Machine::Machine(uint32_t ramEnd) : ramEnd_(ramEnd < kRegisterPageStart ? ramEnd : kRegisterPageStart) {}

void Machine::Load(uint16_t address, const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) memory_[(address + i) & 0177777] = bytes[i];
}

void Machine::Load(uint16_t address, const std::vector<uint8_t>& bytes) {
  Load(address, bytes.data(), bytes.size());
}

void Machine::SetWord(uint16_t address, uint16_t value) {
  address &= 0177776;
  memory_[address] = static_cast<uint8_t>(value);
  memory_[address + 1] = static_cast<uint8_t>(value >> 8);
}

uint16_t Machine::Word(uint16_t address) const {
  address &= 0177776;
  return static_cast<uint16_t>(memory_[address] | memory_[address + 1] << 8);
}

void Machine::SetRegister(int index, uint16_t value) { registers_.at(index) = value; }
uint16_t Machine::Register(int index) const { return registers_.at(index); }

void Machine::AddStopAt(uint16_t address) {
  stopAt_[address >> 6] |= uint64_t{1} << (address & 077);
  hasStops_ = true;
}

void Machine::SetAllowedRange(uint16_t first, uint32_t end) {
  allowedFirst_ = first;
  allowedEnd_ = end;
}

RunOutcome Machine::Run(uint64_t stepLimit) {
  outcome_ = RunOutcome{};
  for (uint64_t step = 0;; ++step) {
    if (step == stepLimit) {
      outcome_.reason = StopReason::StepLimit;
      outcome_.pc = registers_[kPc];
      return outcome_;
    }
    Step();
    if (Failed()) return outcome_;
    ++instructions_;
    if (traceAfter_) {
      // The trap follows the instruction that ran with the T bit set; the
      // report names that instruction.
      Fail(StopReason::TraceTrap);
      return outcome_;
    }
    const uint16_t pc = registers_[kPc];
    const bool stop = (hasStops_ && (stopAt_[pc >> 6] >> (pc & 077) & 1)) || pc < allowedFirst_ ||
                      pc >= allowedEnd_;
    if (stop) {
      outcome_.reason = StopReason::HandOff;
      outcome_.pc = pc;
      return outcome_;
    }
  }
}

void Machine::Fail(StopReason reason, uint16_t address) {
  if (Failed()) return;
  outcome_.reason = reason;
  outcome_.pc = instructionPc_;
  outcome_.instruction = instruction_;
  outcome_.address = address;
}

// --- memory --------------------------------------------------------------

uint16_t Machine::ReadWord(uint16_t address) {
  if (address & 1) {
    Fail(StopReason::OddAddress, address);
    return 0;
  }
  if (address < ramEnd_) return static_cast<uint16_t>(memory_[address] | memory_[address + 1] << 8);
  if (address == kSystemRegister) return kSystemRegisterValue;
  Fail(StopReason::NonExistentMemory, address);
  return 0;
}

uint8_t Machine::ReadByte(uint16_t address) {
  if (address < ramEnd_) return memory_[address];
  if ((address & 0177776) == kSystemRegister) {
    return static_cast<uint8_t>(address & 1 ? kSystemRegisterValue >> 8 : kSystemRegisterValue);
  }
  Fail(StopReason::NonExistentMemory, address);
  return 0;
}

void Machine::WriteWord(uint16_t address, uint16_t value) {
  if (address & 1) {
    Fail(StopReason::OddAddress, address);
  } else if (address < ramEnd_) {
    memory_[address] = static_cast<uint8_t>(value);
    memory_[address + 1] = static_cast<uint8_t>(value >> 8);
  } else if (address != kSystemRegister) {
    Fail(StopReason::NonExistentMemory, address);
  }
}

void Machine::WriteByte(uint16_t address, uint8_t value) {
  if (address < ramEnd_) {
    memory_[address] = value;
  } else if ((address & 0177776) != kSystemRegister) {
    Fail(StopReason::NonExistentMemory, address);
  }
}

uint16_t Machine::FetchWord() {
  const uint16_t word = ReadWord(registers_[kPc]);
  registers_[kPc] = static_cast<uint16_t>(registers_[kPc] + 2);
  return word;
}

void Machine::Push(uint16_t value) {
  registers_[kSp] = static_cast<uint16_t>(registers_[kSp] - 2);
  WriteWord(registers_[kSp], value);
}

uint16_t Machine::Pop() {
  const uint16_t value = ReadWord(registers_[kSp]);
  registers_[kSp] = static_cast<uint16_t>(registers_[kSp] + 2);
  return value;
}

// --- operands --------------------------------------------------------------

// Resolves a six-bit operand field and applies its register side
// effects. Byte operands step R0..R5 by one, SP and PC always by two.
Machine::Location Machine::Resolve(int operand, bool byte) {
  const int r = Reg(operand);
  uint16_t& reg = registers_[r];
  const uint16_t step = byte && r < kSp ? 1 : 2;
  switch (Mode(operand)) {
    case 0:
      return {true, static_cast<uint16_t>(r)};
    case 1:
      return {false, reg};
    case 2: {
      const uint16_t address = reg;
      reg = static_cast<uint16_t>(reg + step);
      return {false, address};
    }
    case 3: {
      const uint16_t pointer = reg;
      reg = static_cast<uint16_t>(reg + 2);
      return {false, ReadWord(pointer)};
    }
    case 4:
      reg = static_cast<uint16_t>(reg - step);
      return {false, reg};
    case 5:
      reg = static_cast<uint16_t>(reg - 2);
      return {false, ReadWord(reg)};
    case 6: {
      const uint16_t index = FetchWord();  // for PC, the index is read first
      return {false, static_cast<uint16_t>(index + reg)};
    }
    default: {
      const uint16_t index = FetchWord();
      return {false, ReadWord(static_cast<uint16_t>(index + reg))};
    }
  }
}

uint16_t Machine::ReadAt(Location at, bool byte) {
  if (at.isRegister) return byte ? registers_[at.where] & 0377 : registers_[at.where];
  return byte ? ReadByte(at.where) : ReadWord(at.where);
}

// A byte written to a register replaces its low byte only.
void Machine::WriteAt(Location at, bool byte, uint16_t value) {
  if (at.isRegister) {
    uint16_t& reg = registers_[at.where];
    reg = byte ? static_cast<uint16_t>((reg & 0177400) | (value & 0377)) : value;
  } else if (byte) {
    WriteByte(at.where, static_cast<uint8_t>(value));
  } else {
    WriteWord(at.where, value);
  }
}

// --- condition codes -------------------------------------------------------

void Machine::SetFlag(uint16_t flag, bool on) {
  psw_ = static_cast<uint16_t>(on ? psw_ | flag : psw_ & ~flag);
}

void Machine::SetNZ(uint16_t value, bool byte) {
  SetFlag(kFlagN, value & Sign(byte));
  SetFlag(kFlagZ, (value & Mask(byte)) == 0);
}

// --- execution -------------------------------------------------------------

void Machine::Step() {
  instructionPc_ = registers_[kPc];
  traceAfter_ = psw_ & kTraceBit;
  instruction_ = 0;
  const uint16_t op = FetchWord();
  if (Failed()) return;
  instruction_ = op;
  switch (op >> 12) {
    case 000:
      ExecuteGroup0(op);
      break;
    case 007:
      ExecuteGroup07(op);
      break;
    case 010:
      ExecuteGroup10(op);
      break;
    case 017:
      Fail(StopReason::ReservedInstruction);  // floating point
      break;
    default:
      ExecuteDoubleOperand(op);
      break;
  }
}

// 000000..007777: operate instructions, JMP, RTS, condition codes, SWAB,
// the first branches, JSR and the word single-operand instructions.
void Machine::ExecuteGroup0(uint16_t op) {
  if (op < 0100) {
    ExecuteMiscellaneous(op);
  } else if (op < 0200) {
    ExecuteJump(op);
  } else if (op < 0210) {  // RTS
    const int r = op & 7;
    const uint16_t link = Pop();
    if (Failed()) return;
    registers_[kPc] = registers_[r];
    registers_[r] = link;
    cycles_ += timing::kReturn;
  } else if (op < 0240) {
    Fail(StopReason::ReservedInstruction);  // 000210..000237, SPL among them
  } else if (op < 0300) {  // CLC..SCC: set or clear the flags named in the low bits
    psw_ = static_cast<uint16_t>(op & 020 ? psw_ | (op & kFlagsNZVC) : psw_ & ~(op & kFlagsNZVC));
    cycles_ += timing::kConditionCodes;
  } else if (op < 0400) {  // SWAB
    const Location at = Resolve(op & 077, false);
    const uint16_t value = ReadAt(at, false);
    if (Failed()) return;
    const uint16_t result = static_cast<uint16_t>((value << 8) | (value >> 8));
    WriteAt(at, false, result);
    SetNZ(result, true);
    psw_ &= ~(kFlagV | kFlagC);
    cycles_ += timing::SingleOperand(Access::Modify, Mode(op));
  } else if (op < 04000) {
    ExecuteBranch(op);
  } else if (op < 05000) {
    ExecuteSubroutineCall(op);
  } else if (op < 07000) {
    ExecuteSingleOperand(op, false);
  } else {
    Fail(StopReason::ReservedInstruction);  // 007000..007777
  }
}

// 070000..077777: of EIS, FIS and CIS only XOR and SOB are here.
void Machine::ExecuteGroup07(uint16_t op) {
  const int r = (op >> 6) & 7;
  switch ((op >> 9) & 7) {
    case 4: {  // XOR R, dst
      const uint16_t source = registers_[r];
      const Location at = Resolve(op & 077, false);
      const uint16_t value = ReadAt(at, false);
      if (Failed()) return;
      const uint16_t result = source ^ value;
      WriteAt(at, false, result);
      SetNZ(result, false);
      psw_ &= ~kFlagV;
      cycles_ += timing::SingleOperand(Access::Modify, Mode(op));
      break;
    }
    case 7:  // SOB R, back
      registers_[r] = static_cast<uint16_t>(registers_[r] - 1);
      if (registers_[r] != 0) registers_[kPc] = static_cast<uint16_t>(registers_[kPc] - 2 * (op & 077));
      cycles_ += timing::kSob;
      break;
    default:
      Fail(StopReason::ReservedInstruction);
      break;
  }
}

// 100000..107777: the other branches, EMT, TRAP, the byte single-operand
// instructions, MTPS and MFPS.
void Machine::ExecuteGroup10(uint16_t op) {
  if (op < 0104000) {
    ExecuteBranch(op);
  } else if (op < 0104400) {
    Fail(StopReason::Emt);
  } else if (op < 0105000) {
    Fail(StopReason::Trap);
  } else if (op < 0106400) {
    ExecuteSingleOperand(op, true);
  } else {
    ExecuteStatusMove(op);
  }
}

void Machine::ExecuteMiscellaneous(uint16_t op) {
  switch (op) {
    case 0: Fail(StopReason::Halt); break;
    case 1: Fail(StopReason::Wait); break;
    case 2: ExecuteReturnFromInterrupt(false); break;
    case 3: Fail(StopReason::Bpt); break;
    case 4: Fail(StopReason::Iot); break;
    case 5: cycles_ += timing::kReset; break;  // no devices to reset
    case 6: ExecuteReturnFromInterrupt(true); break;
    default: Fail(StopReason::ReservedInstruction); break;
  }
}

// RTI and RTT. A status word with the T bit set traps at once after RTI,
// and only after the next instruction after RTT.
void Machine::ExecuteReturnFromInterrupt(bool trace) {
  const uint16_t pc = Pop();
  const uint16_t psw = Pop();
  if (Failed()) return;
  registers_[kPc] = pc;
  psw_ = psw & 0377;
  traceAfter_ = trace ? false : (psw_ & kTraceBit) != 0;
  cycles_ += timing::kInterruptReturn;
}

void Machine::ExecuteBranch(uint16_t op) {
  const uint16_t p = psw_;
  const bool n = p & kFlagN, z = p & kFlagZ, v = p & kFlagV, c = p & kFlagC;
  bool taken = false;
  // Bits 15 and 10..8 select the condition.
  switch (((op >> 12) & 010) | ((op >> 8) & 7)) {
    case 001: taken = true; break;             // BR
    case 002: taken = !z; break;               // BNE
    case 003: taken = z; break;                // BEQ
    case 004: taken = n == v; break;           // BGE
    case 005: taken = n != v; break;           // BLT
    case 006: taken = !z && n == v; break;     // BGT
    case 007: taken = z || n != v; break;      // BLE
    case 010: taken = !n; break;               // BPL
    case 011: taken = n; break;                // BMI
    case 012: taken = !c && !z; break;         // BHI
    case 013: taken = c || z; break;           // BLOS
    case 014: taken = !v; break;               // BVC
    case 015: taken = v; break;                // BVS
    case 016: taken = !c; break;               // BCC
    case 017: taken = c; break;                // BCS
    default: break;
  }
  if (taken) {
    const int offset = static_cast<int8_t>(op & 0377);
    registers_[kPc] = static_cast<uint16_t>(registers_[kPc] + 2 * offset);
  }
  cycles_ += timing::kBranch;
}

void Machine::ExecuteJump(uint16_t op) {
  if (Mode(op) == 0) {
    Fail(StopReason::IllegalInstruction);
    return;
  }
  const Location at = Resolve(op & 077, false);
  if (Failed()) return;
  registers_[kPc] = at.where;
  cycles_ += timing::kJump + timing::kJumpAddress[Mode(op)];
}

// JSR R, dst: the address first (with its side effects), then R is pushed,
// R takes the return address and the PC the destination.
void Machine::ExecuteSubroutineCall(uint16_t op) {
  if (Mode(op) == 0) {
    Fail(StopReason::IllegalInstruction);
    return;
  }
  const int r = (op >> 6) & 7;
  const Location at = Resolve(op & 077, false);
  if (Failed()) return;
  Push(registers_[r]);
  if (Failed()) return;
  registers_[r] = registers_[kPc];
  registers_[kPc] = at.where;
  cycles_ += timing::kCall + timing::kJumpAddress[Mode(op)];
}

// 0050dd..0067dd and 1050dd..1063dd. The byte range ends at ASLB: 1064xx
// and up are MTPS, MFPS and reserved codes.
void Machine::ExecuteSingleOperand(uint16_t op, bool byte) {
  const int code = ((op >> 6) & 077) - 050;
  if (code == kMark) {  // MARK n: drop n words, return through R5
    registers_[kSp] = static_cast<uint16_t>(registers_[kPc] + 2 * (op & 077));
    registers_[kPc] = registers_[5];
    registers_[5] = Pop();
    cycles_ += timing::kMark;
    return;
  }
  if (code == kMfpi || code == kMtpi) {
    Fail(StopReason::ReservedInstruction);
    return;
  }
  const uint16_t sign = Sign(byte);
  const uint16_t mask = Mask(byte);
  const Location at = Resolve(op & 077, byte);
  if (Failed()) return;
  if (code == kClr || code == kSxt) {  // write only
    const uint16_t result = code == kSxt && (psw_ & kFlagN) ? mask : 0;
    WriteAt(at, byte, result);
    // CLR clears N, V, C; SXT keeps N and C.
    psw_ &= static_cast<uint16_t>(code == kClr ? ~kFlagsNZVC : ~(kFlagZ | kFlagV));
    if (result == 0) psw_ |= kFlagZ;
    cycles_ += timing::SingleOperand(Access::Write, Mode(op));
    return;
  }
  const uint16_t value = ReadAt(at, byte) & mask;
  if (Failed()) return;
  const bool carry = psw_ & kFlagC;
  const AluResult alu = code >= kRor ? OneOperandShift(code, value, carry, sign, mask)
                                     : OneOperandArithmetic(code, value, carry, sign, mask);
  if (code != kTst) WriteAt(at, byte, alu.result);
  SetNZ(alu.result, byte);
  SetFlag(kFlagV, alu.v);
  SetFlag(kFlagC, alu.c);
  cycles_ += timing::SingleOperand(code == kTst ? Access::Read : Access::Modify, Mode(op));
}

// MTPS src (1064ss) and MFPS dst (1067dd); 1065xx and 1066xx are reserved.
void Machine::ExecuteStatusMove(uint16_t op) {
  const int code = (op >> 6) & 077;
  if (code == 064) {  // MTPS: the T bit stays as it was
    const Location at = Resolve(op & 077, true);
    const uint16_t value = ReadAt(at, true);
    if (Failed()) return;
    psw_ = static_cast<uint16_t>((psw_ & kTraceBit) | (value & ~kTraceBit & 0377));
    cycles_ += timing::kMoveToPsw + timing::kSource[Mode(op)];
  } else if (code == 067) {  // MFPS: to a register sign-extended, like MOVB
    const Location at = Resolve(op & 077, true);
    if (Failed()) return;
    const uint16_t value = psw_ & 0377;
    if (at.isRegister) registers_[at.where] = static_cast<uint16_t>(static_cast<int8_t>(value));
    else WriteAt(at, true, value);
    SetNZ(value, true);
    psw_ &= ~kFlagV;
    cycles_ += timing::SingleOperand(Access::Write, Mode(op));
  } else {
    Fail(StopReason::ReservedInstruction);
  }
}

void Machine::ExecuteDoubleOperand(uint16_t op) {
  const bool subtract = (op >> 12) == 016;
  const bool byte = (op & 0100000) && !subtract;
  const int opcode = (op >> 12) & 7;
  const uint16_t sign = Sign(byte);
  const uint16_t mask = Mask(byte);
  const int srcMode = Mode(op >> 6);
  const int dstMode = Mode(op);
  const uint16_t source = ReadAt(Resolve((op >> 6) & 077, byte), byte) & mask;
  if (Failed()) return;
  const Location at = Resolve(op & 077, byte);
  if (Failed()) return;

  if (opcode == kMov) {
    // MOVB to a register sign-extends into the whole register.
    if (byte && at.isRegister) registers_[at.where] = static_cast<uint16_t>(static_cast<int8_t>(source));
    else WriteAt(at, byte, source);
    SetNZ(source, byte);
    psw_ &= ~kFlagV;
    cycles_ += timing::DoubleOperand(Access::Write, srcMode, dstMode);
    return;
  }
  const uint16_t dest = ReadAt(at, byte) & mask;
  if (Failed()) return;
  const AluResult alu =
      TwoOperandArithmetic(opcode, subtract, source, dest, psw_ & kFlagC, sign, mask);
  const uint16_t result = alu.result;
  SetFlag(kFlagV, alu.v);
  SetFlag(kFlagC, alu.c);
  SetNZ(result, byte);
  const bool readOnly = opcode == kCmp || opcode == kBit;
  if (!readOnly) WriteAt(at, byte, result);
  cycles_ += timing::DoubleOperand(readOnly ? Access::Read : Access::Modify, srcMode, dstMode);
}

}  // namespace pdp11
