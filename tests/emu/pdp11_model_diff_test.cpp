// The PDP-11 model against simh's LSI-11 on generated programs.
//
// Every double-operand instruction (word and byte forms) runs with every
// source kind against every destination kind: the eight addressing modes on
// R0..R5 and SP, and PC as register source, immediate, absolute, relative
// and relative deferred. Every single-operand instruction, SWAB, SXT, XOR,
// MTPS and MFPS runs on every destination kind; every branch under all
// sixteen flag settings, forward, backward and at full reach; JMP and JSR
// in every memory mode, RTS, SOB, MARK, RTI, RTT, the condition-code
// instructions and computed jumps through the PC. Each tested
// instruction gets its registers set, random flags, then logs the status
// word and the registers it used to memory, so that an error cannot be
// hidden by a later instruction. Programs of about sixty such cases run in
// the model and in simh, batched into one simh process per shard; registers,
// status word, instruction counts and every memory area are compared.
// The traps run apart, one short program each: simh must take the vector
// that belongs to the reason the model stops with.
//
// Where the LSI-11 differs from the K1801VM1 the programs keep to the common
// ground and the differences are tested in the model's own unit tests:
// - the LSI-11 has no odd-address trap (a word access ignores bit 0), the
//   K1801VM1 traps: word operands and jump targets here are always even;
// - simh has nothing at 0177716 and traps, the BK reads its system register;
// - WAIT waits for an interrupt in simh and ends the run in the model.
// RESET is left out too: in simh it resets the devices, which turns the
// LSI-11's line clock interrupt back on.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "pdp11/pdp11_machine.h"
#include "support/random.h"
#include "support/pdp11.h"
#include "support/pdp11_code.h"

namespace {

using namespace pdp11_code;

#define SKIP_WITHOUT_PDP11() \
  if (!Pdp11Machine::Available()) GTEST_SKIP() << "pdp11 (simh) is not installed"

// The memory of every generated program.
// clang-format off
constexpr uint16_t kHaltCells   = 0400;    // vector v points to a HALT at kHaltCells + v
constexpr uint16_t kStackTop    = 01000;   // the stack grows down to 0500 at most
constexpr uint16_t kCode        = 01000;   // up to kCodeLimit
constexpr uint16_t kCodeLimit   = 014000;
constexpr uint16_t kPointers    = 020000;  // slots: even data addresses, then odd ones
constexpr int      kPointerSlots = 64;
constexpr uint16_t kData        = 021000;
constexpr int      kDataWords   = 256;
constexpr uint16_t kJumpTable   = 022000;  // code addresses for deferred jumps
constexpr int      kJumpSlots   = 64;
constexpr uint16_t kLog         = 023000;
constexpr uint16_t kLogLimit    = 025000;
// clang-format on
constexpr int kCasesPerProgram = 60;
constexpr uint64_t kStepLimit = 200000;
constexpr int kShards = 4;
// The vectors a program can trap through, each to its own HALT.
constexpr uint16_t kVectors[] = {04, 010, 014, 020, 024, 030, 034};

// What one generated case tests.
enum class Kind {
  Double,       // opcode with source and destination
  Single,       // opcode with destination (MTPS: source)
  Xor,          // register and destination
  Branch,       // short forward or backward, or at full reach
  Jump,         // JMP through a memory mode
  Call,         // JSR and RTS
  Sob,
  Mark,
  Return,       // RTI or RTT
  Condition,    // CLC..SCC
  ComputedJump, // ADD, SUB or MOV to the PC
};

struct Case {
  Kind kind;
  uint16_t opcode = 0;
  int src = -1;      // operand field, or the register of XOR/JSR/SOB
  int dst = -1;
  int variant = 0;   // branch direction, SOB body, MARK count, ...
};

std::string Octal(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0%o", value);
  return text;
}

const char* const kRegisterNames[8] = {"R0", "R1", "R2", "R3", "R4", "R5", "SP", "PC"};

std::string OperandText(int operand) {
  const int mode = operand >> 3;
  const std::string r = kRegisterNames[operand & 7];
  if ((operand & 7) == PC && mode >= 2) {
    const char* const pcForms[8] = {"", "", "#n", "@#a", "", "", "a", "@a"};
    return pcForms[mode];
  }
  const char* const forms[8] = {"", "(", "(", "@(", "-(", "@-(", "X(", "@X("};
  const char* const ends[8] = {"", ")", ")+", ")+", ")", ")", ")", ")"};
  return mode == 0 ? r : forms[mode] + r + ends[mode];
}

std::string CaseText(const Case& c) {
  std::string text = "opcode " + Octal(c.opcode);
  if (c.kind == Kind::Double) text += " " + OperandText(c.src) + "," + OperandText(c.dst);
  if (c.kind == Kind::Single || c.kind == Kind::Jump) text += " " + OperandText(c.dst >= 0 ? c.dst : c.src);
  if (c.kind == Kind::Xor || c.kind == Kind::Call) {
    text += std::string(" ") + kRegisterNames[c.src] + "," + OperandText(c.dst);
  }
  if (c.kind == Kind::Sob) text += std::string(" ") + kRegisterNames[c.src];
  return text + " variant " + std::to_string(c.variant);
}

// --- the list of cases -------------------------------------------------------

// Source kinds: all modes on R0..R5 and SP; PC as register, #, @#, a, @a.
std::vector<int> SourceKinds() {
  std::vector<int> kinds;
  for (int r = R0; r <= SP; ++r) {
    for (int mode = 0; mode < 8; ++mode) kinds.push_back(Operand(mode, r));
  }
  for (int mode : {0, 2, 3, 6, 7}) kinds.push_back(Operand(mode, PC));
  return kinds;
}

// Destination kinds: the same without PC as a register (a jump, tested apart).
std::vector<int> DestinationKinds() {
  std::vector<int> kinds = SourceKinds();
  kinds.erase(std::find(kinds.begin(), kinds.end(), Operand(0, PC)));
  return kinds;
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  const std::vector<int> sources = SourceKinds();
  const std::vector<int> destinations = DestinationKinds();
  for (uint16_t op : {kMov, kMovb, kCmp, kCmpb, kBit, kBitb, kBic, kBicb, kBis, kBisb, kAdd, kSub}) {
    for (int src : sources) {
      for (int dst : destinations) cases.push_back({Kind::Double, op, src, dst});
    }
  }
  std::vector<uint16_t> singles;
  for (uint16_t op : {kClr, kCom, kInc, kDec, kNeg, kAdc, kSbc, kTst, kRor, kRol, kAsr, kAsl}) {
    singles.push_back(op);
    singles.push_back(static_cast<uint16_t>(op | kByte));
  }
  for (uint16_t op : {kSwab, kSxt, kMfps}) singles.push_back(op);
  // Three times each: flags depend on fewer values than with two operands.
  for (int repeat = 0; repeat < 3; ++repeat) {
    for (int dst : destinations) {
      for (uint16_t op : singles) cases.push_back({Kind::Single, op, -1, dst});
    }
    for (int src : sources) cases.push_back({Kind::Single, kMtps, src, -1});
  }
  for (int dst : destinations) {
    for (int r = R0; r <= PC; ++r) cases.push_back({Kind::Xor, kXor, r, dst});
  }
  for (uint16_t op : {kBr, kBne, kBeq, kBge, kBlt, kBgt, kBle, kBpl, kBmi, kBhi, kBlos, kBvc, kBvs, kBcc,
                      kBcs}) {
    for (int flags = 0; flags < 16; ++flags) {
      for (int direction = 0; direction < 2; ++direction) {
        cases.push_back({Kind::Branch, op, -1, -1, flags | direction << 4});
      }
    }
    for (int direction = 2; direction < 4; ++direction) cases.push_back({Kind::Branch, op, -1, -1, direction << 4});
  }
  for (int mode = 1; mode < 8; ++mode) {
    for (int r = R0; r <= PC; ++r) {
      if (r == PC && (mode == 1 || mode == 4 || mode == 5)) continue;
      for (int repeat = 0; repeat < 2; ++repeat) cases.push_back({Kind::Jump, kJmp, -1, Operand(mode, r)});
      if (r == SP || (r == PC && mode == 2)) continue;
      for (int link : {R0, R1, R2, R3, R4, R5, PC}) cases.push_back({Kind::Call, kJsr, link, Operand(mode, r)});
    }
  }
  for (int r = R0; r <= SP; ++r) {
    for (int body = 0; body < 6; ++body) cases.push_back({Kind::Sob, kSob, r, -1, body});
  }
  cases.push_back({Kind::Sob, kSob, R3, -1, 076});  // the longest reach back
  for (int n : {0, 1, 2, 3, 4, 5, 6, 7, 037, 040, 077}) cases.push_back({Kind::Mark, kMark, -1, -1, n});
  for (int repeat = 0; repeat < 8; ++repeat) {
    cases.push_back({Kind::Return, kRti});
    cases.push_back({Kind::Return, kRtt});
  }
  for (uint16_t op = 0240; op < 0300; ++op) {
    for (int repeat = 0; repeat < 4; ++repeat) cases.push_back({Kind::Condition, op});
  }
  for (uint16_t op : {kAdd, kSub, kMov}) {
    for (int skip = 0; skip < 3; ++skip) cases.push_back({Kind::ComputedJump, op, -1, -1, skip});
  }
  return cases;
}

// --- programs ------------------------------------------------------------------

struct TestProgram {
  Program code{kCode};
  std::array<uint16_t, kPointerSlots> pointers{};
  std::array<uint16_t, kDataWords> data{};
  std::array<uint16_t, kJumpSlots> jumpTable{};
  int jumpSlotsUsed = 0;
  uint16_t logEnd = kLog;
  std::vector<Case> cases;
  std::vector<uint16_t> logStarts;  // where each case's log begins
  std::vector<uint16_t> codeStarts; // where each case's code begins
  uint16_t haltAddress = 0;         // the final HALT
};

// Builds programs from cases, with a deterministic generator.
class Generator {
 public:
  explicit Generator(uint32_t seed) : random_(seed) {}

  uint32_t Below(uint32_t limit) { return static_cast<uint32_t>(random_() % limit); }

  // A data word: often a value at an edge of signed or unsigned arithmetic.
  uint16_t Value() {
    static const uint16_t kEdges[] = {0,       1,       2,       0177777, 0177776, 0100000, 0100001, 077777,
                                      077776,  0177,    0200,    0201,    0377,    0400,    0177600, 0177577,
                                      0177400, 0177401, 0100377, 0077400, 0125252, 0052525};
    if (Below(3) == 0) return kEdges[Below(sizeof kEdges / sizeof kEdges[0])];
    return static_cast<uint16_t>(random_());
  }

  TestProgram Start() {
    TestProgram p;
    for (int i = 0; i < kPointerSlots; ++i) {
      const uint16_t target = static_cast<uint16_t>(kData + 2 * Below(kDataWords));
      p.pointers[i] = i < kPointerSlots / 2 ? target : static_cast<uint16_t>(target + 1);
    }
    for (uint16_t& word : p.data) word = Value();
    return p;
  }

  // False when the case does not fit into the program any more.
  bool Emit(TestProgram& p, const Case& c) {
    if (p.code.Here() > kCodeLimit - 0600 || p.logEnd > kLogLimit - 040 || p.jumpSlotsUsed + 2 > kJumpSlots) {
      return false;
    }
    p.cases.push_back(c);
    p.logStarts.push_back(p.logEnd);
    p.codeStarts.push_back(p.code.Here());
    program_ = &p;
    switch (c.kind) {
      case Kind::Double: EmitOperate(c.opcode, c.src, c.dst, (c.opcode & kByte) && c.opcode != kSub); break;
      case Kind::Single:
        if (c.opcode == kMtps) EmitOperate(c.opcode, c.src, -1, true);
        else EmitOperate(c.opcode, -1, c.dst, (c.opcode & kByte) != 0);
        break;
      case Kind::Xor: EmitOperate(c.opcode, Reg(c.src), c.dst, false); break;
      case Kind::Branch: EmitBranch(c.opcode, c.variant); break;
      case Kind::Jump: EmitJump(c.dst); break;
      case Kind::Call: EmitCall(c.src, c.dst); break;
      case Kind::Sob: EmitSob(c.src, c.variant); break;
      case Kind::Mark: EmitMark(c.variant); break;
      case Kind::Return: EmitReturn(c.opcode); break;
      case Kind::Condition: EmitCondition(c.opcode); break;
      case Kind::ComputedJump: EmitComputedJump(c.opcode, c.variant); break;
    }
    return true;
  }

  void Finish(TestProgram& p) {
    p.haltAddress = p.code.Here();
    p.code(kHalt);
  }

 private:
  // How one operand is reached: the words after the instruction and the
  // register values it needs.
  struct OperandPlan {
    bool hasExtra = false;
    bool pcRelative = false;  // extra = target - address after the extra word
    uint16_t extra = 0;
  };
  using Registers = std::array<int32_t, 7>;  // R0..SP, -1 while free

  Program& Code() { return program_->code; }

  uint16_t DataTarget(bool byte) {
    return static_cast<uint16_t>(kData + 2 * Below(kDataWords) + (byte ? Below(2) : 0));
  }
  uint16_t PointerSlot(bool byte) {
    return static_cast<uint16_t>(kPointers + 2 * Below(byte ? kPointerSlots : kPointerSlots / 2));
  }
  static bool IsData(int32_t address, bool byte) {
    return address >= kData && address < kData + 2 * kDataWords && (byte || address % 2 == 0);
  }
  static bool IsPointerSlot(int32_t address, bool byte) {
    return address >= kPointers && address < kPointers + 2 * (byte ? kPointerSlots : kPointerSlots / 2) &&
           address % 2 == 0;
  }

  // Plans an operand; the register's value is chosen when it is still free,
  // else it must already lead somewhere valid. Applies the side effects to
  // `current`. False when the register's value does not fit the mode.
  bool PlanOperand(int operand, bool byte, Registers& initial, Registers& current, OperandPlan& plan) {
    const int mode = operand >> 3;
    const int r = operand & 7;
    plan = OperandPlan{};
    if (r == PC) {
      plan.hasExtra = mode != 0;
      plan.pcRelative = mode == 6 || mode == 7;
      plan.extra = mode == 2 ? Value() : mode == 3 || mode == 6 ? DataTarget(byte) : PointerSlot(byte);
      return true;
    }
    const int step = byte && r != SP ? 1 : 2;
    int32_t value = current[r];
    if (value < 0) {
      switch (mode) {
        case 0: value = Value(); break;
        case 1: case 2: value = DataTarget(byte); break;
        case 3: value = PointerSlot(byte); break;
        case 4: value = DataTarget(byte) + step; break;
        case 5: value = PointerSlot(byte) + 2; break;
        default: value = Value(); break;
      }
      value &= 0177777;
      initial[r] = value;
    } else {
      const bool fits = mode == 0 || mode >= 6 || ((mode == 1 || mode == 2) && IsData(value, byte)) ||
                        (mode == 3 && IsPointerSlot(value, byte)) || (mode == 4 && IsData(value - step, byte)) ||
                        (mode == 5 && IsPointerSlot(value - 2, byte));
      if (!fits) return false;
    }
    if (mode >= 6) {
      plan.hasExtra = true;
      plan.extra = static_cast<uint16_t>((mode == 6 ? DataTarget(byte) : PointerSlot(byte)) - value);
    }
    const int32_t change[8] = {0, 0, step, 2, -step, -2, 0, 0};
    current[r] = (value + change[mode]) & 0177777;
    return true;
  }

  void EmitSetup(const Registers& initial) {
    for (int r = R0; r <= SP; ++r) {
      if (initial[r] >= 0) Code()(Double(kMov, kImmediate, Reg(r)), static_cast<uint16_t>(initial[r]));
    }
  }

  // Random flags, two words: MTPS #x (priority bits too, never T) or CCC and a SEx.
  void SetFlags() {
    if (Below(2) == 0) {
      Code()(Single(kMtps, kImmediate), static_cast<uint16_t>(Below(0400) & 0357));
    } else {
      Code()(kClearCc)(static_cast<uint16_t>(kSetCc | Below(16)));
    }
  }

  void LogFlagsAndRegisters(const std::vector<int>& registers) {
    Code()(Single(kMfps, kAbsolute), program_->logEnd);
    program_->logEnd = static_cast<uint16_t>(program_->logEnd + 2);
    for (int r : registers) {
      Code()(Double(kMov, Reg(r), kAbsolute), program_->logEnd);
      program_->logEnd = static_cast<uint16_t>(program_->logEnd + 2);
    }
  }

  void EmitExtra(const OperandPlan& plan) {
    if (!plan.hasExtra) return;
    const uint16_t after = static_cast<uint16_t>(Code().Here() + 2);
    Code()(plan.pcRelative ? static_cast<uint16_t>(plan.extra - after) : plan.extra);
  }

  // An instruction with an optional source and destination (operand fields,
  // -1 for none). A destination on the source's register is planned first
  // when the source leaves that register alone (register, X(R), @X(R)), so
  // that cases like MOV R0,(R0)+ are made; when the register cannot serve
  // both, the destination moves to another free register.
  void EmitOperate(uint16_t opcode, int src, int dst, bool byte) {
    Registers initial;
    initial.fill(-1);
    Registers current = initial;
    OperandPlan srcPlan, dstPlan;
    int usedDst = dst;
    const bool sameRegister = src >= 0 && dst >= 0 && (src & 7) == (dst & 7) && (src & 7) != PC;
    if (sameRegister && ((src >> 3) == 0 || (src >> 3) >= 6)) {
      PlanOperand(dst, byte, initial, current, dstPlan);
      Registers atStart = initial;
      PlanOperand(src, byte, initial, atStart, srcPlan);
    } else {
      if (src >= 0) PlanOperand(src, byte, initial, current, srcPlan);
      if (dst >= 0 && !PlanOperand(dst, byte, initial, current, dstPlan)) {
        int r = static_cast<int>(Below(7));
        while (r == (src & 7)) r = static_cast<int>(Below(7));
        usedDst = Operand(dst >> 3, r);
        PlanOperand(usedDst, byte, initial, current, dstPlan);
      }
    }
    EmitSetup(initial);
    SetFlags();
    // A lone source (MTPS) sits in the low six bits like a destination.
    const int fields = dst < 0 ? src : (src >= 0 ? (src & 077) << 6 : 0) | usedDst;
    Code()(static_cast<uint16_t>(opcode | fields));
    if (src >= 0) EmitExtra(srcPlan);
    if (dst >= 0) EmitExtra(dstPlan);
    std::vector<int> used;
    for (int r = R0; r <= SP; ++r) {
      if (initial[r] >= 0) used.push_back(r);
    }
    LogFlagsAndRegisters(used);
  }

  // R5 counts taken branches. Direction 0: forward over INC R5; 1: back to
  // an INC R5; 2 and 3: the same at the full reach of +127 and -128 words.
  void EmitBranch(uint16_t opcode, int variant) {
    const int direction = variant >> 4;
    const int flags = direction >= 2 ? static_cast<int>(Below(16)) : variant & 017;
    Code()(Single(kClr, Reg(R5)))(kClearCc)(static_cast<uint16_t>(kSetCc | flags));
    if (direction == 0) {
      Code()(Branch(opcode, 1))(Single(kInc, Reg(R5)))(Single(kInc, Reg(R5)));
    } else if (direction == 1) {
      Code()(Branch(kBr, 2))(Single(kInc, Reg(R5)))(Branch(kBr, 1))(Branch(opcode, -3));
    } else if (direction == 2) {
      // Bxx +127; BR +127 (not taken: past the target); 126 HALTs; INC R5.
      Code()(Branch(opcode, 127))(Branch(kBr, 127));
      for (int i = 0; i < 126; ++i) Code()(kHalt);
      Code()(Single(kInc, Reg(R5)));
    } else {
      // BR +127 to the Bxx; target: INC R5; BR past the Bxx; 125 HALTs; Bxx -128.
      Code()(Branch(kBr, 127))(Single(kInc, Reg(R5)))(Branch(kBr, 126));
      for (int i = 0; i < 125; ++i) Code()(kHalt);
      Code()(Branch(opcode, -128));
    }
    LogFlagsAndRegisters({R5});
  }

  // JMP through `operand` to the word after a HALT.
  void EmitJump(int operand) {
    const int mode = operand >> 3;
    const int r = operand & 7;
    const int setupWords = r == PC ? 0 : 2;
    const uint16_t at = static_cast<uint16_t>(Code().Here() + 2 * setupWords + 4);  // the JMP
    const bool hasExtra = mode >= 6 || (r == PC && mode == 3);
    const uint16_t target = static_cast<uint16_t>(at + (hasExtra ? 4 : 2) + (r == PC && mode == 2 ? 0 : 2));
    uint16_t slot = 0;
    if (mode == 3 || mode == 5 || mode == 7) {
      slot = static_cast<uint16_t>(kJumpTable + 2 * program_->jumpSlotsUsed);
      program_->jumpTable[program_->jumpSlotsUsed++] = target;
    }
    const uint16_t x = Value();
    if (r != PC) {
      const uint16_t value[8] = {0, target, target, slot, static_cast<uint16_t>(target + 2),
                                 static_cast<uint16_t>(slot + 2), static_cast<uint16_t>(target - x),
                                 static_cast<uint16_t>(slot - x)};
      Code()(Double(kMov, kImmediate, Reg(r)), value[mode]);
    }
    SetFlags();
    Code()(Single(kJmp, operand));
    if (r == PC) {
      if (mode == 2) Code()(kNop);  // JMP (PC)+ runs the word after it
      if (mode == 3) Code()(target);
      if (mode == 6) Code()(static_cast<uint16_t>(target - (at + 4)));
      if (mode == 7) Code()(static_cast<uint16_t>(slot - (at + 4)));
    } else if (mode >= 6) {
      Code()(x);
    }
    if (!(r == PC && mode == 2)) Code()(kHalt);
    LogFlagsAndRegisters(r == PC ? std::vector<int>{} : std::vector<int>{r});
  }

  // JSR link, operand to a routine (INC of a log word; RTS link) placed after
  // a BR that skips it on the way back. The word the JSR pushed is logged.
  void EmitCall(int link, int operand) {
    const int mode = operand >> 3;
    const int r = operand & 7;
    const bool setLink = link != PC && link != r;
    const int setupWords = 2 + (r != PC ? 2 : 0) + (setLink ? 2 : 0);
    const uint16_t at = static_cast<uint16_t>(Code().Here() + 2 * setupWords + 4);
    const bool hasExtra = mode >= 6 || (r == PC && mode == 3);
    const uint16_t routine = static_cast<uint16_t>(at + (hasExtra ? 4 : 2) + 2);
    uint16_t slot = 0;
    if (mode == 3 || mode == 5 || mode == 7) {
      slot = static_cast<uint16_t>(kJumpTable + 2 * program_->jumpSlotsUsed);
      program_->jumpTable[program_->jumpSlotsUsed++] = routine;
    }
    const uint16_t x = Value();
    Code()(Double(kMov, kImmediate, Reg(SP)), kStackTop);
    if (r != PC) {
      const uint16_t value[8] = {0, routine, routine, slot, static_cast<uint16_t>(routine + 2),
                                 static_cast<uint16_t>(slot + 2), static_cast<uint16_t>(routine - x),
                                 static_cast<uint16_t>(slot - x)};
      Code()(Double(kMov, kImmediate, Reg(r)), value[mode]);
    }
    if (setLink) Code()(Double(kMov, kImmediate, Reg(link)), Value());
    SetFlags();
    EXPECT_EQ(Code().Here(), at);
    Code()(RegDst(kJsr, link, operand));
    if (r == PC && mode == 3) Code()(routine);
    if (r == PC && mode == 6) Code()(static_cast<uint16_t>(routine - (at + 4)));
    if (r == PC && mode == 7) Code()(static_cast<uint16_t>(slot - (at + 4)));
    if (r != PC && mode >= 6) Code()(x);
    const uint16_t counter = program_->logEnd;
    program_->logEnd = static_cast<uint16_t>(program_->logEnd + 2);
    Code()(Branch(kBr, 3))(Single(kInc, kAbsolute), counter)(Single(kRts, link));
    std::vector<int> logged = {SP};
    if (link != PC) logged.push_back(link);
    if (r != PC && r != link) logged.push_back(r);
    LogFlagsAndRegisters(logged);
    Code()(Double(kMov, kAbsolute, kAbsolute), kStackTop - 2, program_->logEnd);
    program_->logEnd = static_cast<uint16_t>(program_->logEnd + 2);
  }

  // SOB r back over `body` NOPs, 1..5 rounds (body 076: the longest reach).
  void EmitSob(int r, int body) {
    const uint16_t rounds = static_cast<uint16_t>(1 + Below(5));
    Code()(Double(kMov, kImmediate, Reg(r)), body == 076 ? 2 : rounds);
    SetFlags();
    for (int i = 0; i < body; ++i) Code()(kNop);
    Code()(Sob(r, body + 1));
    LogFlagsAndRegisters({r});
  }

  // The standard MARK call with n arguments; the routine reads the last one.
  void EmitMark(int n) {
    Code()(Double(kMov, kImmediate, Reg(SP)), kStackTop)(Double(kMov, kImmediate, Reg(R5)), Value())
        (Double(kMov, Reg(R5), AutoDec(SP)));
    for (int i = 0; i < n; ++i) Code()(Double(kMov, kImmediate, AutoDec(SP)), Value());
    Code()(Double(kMov, kImmediate, AutoDec(SP)), static_cast<uint16_t>(kMark | n))
        (Double(kMov, Reg(SP), Reg(R5)))(Single(kClr, Reg(R1)));
    SetFlags();
    Code()(RegDst(kJsr, PC, kRelative), 2)(Branch(kBr, n > 0 ? 3 : 1));
    if (n > 0) Code()(Double(kMov, Indexed(R5), Reg(R1)), 2);
    Code()(Single(kRts, R5));
    LogFlagsAndRegisters({R1, R5, SP});
  }

  void EmitReturn(uint16_t opcode) {
    const uint16_t psw = static_cast<uint16_t>(Below(0400) & 0357);
    // Six words of pushes, CCC and the RTI come before the HALT it skips.
    const uint16_t halt = static_cast<uint16_t>(Code().Here() + 16);
    Code()(Double(kMov, kImmediate, Reg(SP)), kStackTop)(Double(kMov, kImmediate, AutoDec(SP)), psw)
        (Double(kMov, kImmediate, AutoDec(SP)), static_cast<uint16_t>(halt + 2))(kClearCc)(opcode)(kHalt);
    LogFlagsAndRegisters({SP});
  }

  void EmitCondition(uint16_t opcode) {
    SetFlags();
    Code()(opcode);
    LogFlagsAndRegisters({});
  }

  // ADD #2n,PC / SUB #-2n,PC / MOV #a,PC over n HALTs.
  void EmitComputedJump(uint16_t opcode, int skip) {
    SetFlags();
    const uint16_t after = static_cast<uint16_t>(Code().Here() + 4);
    const uint16_t operand = opcode == kAdd ? static_cast<uint16_t>(2 * skip)
                             : opcode == kSub ? static_cast<uint16_t>(-2 * skip)
                                              : static_cast<uint16_t>(after + 2 * skip);
    Code()(Double(opcode, kImmediate, Reg(PC)), operand);
    for (int i = 0; i < skip; ++i) Code()(kHalt);
    LogFlagsAndRegisters({});
  }

  Random random_;
  TestProgram* program_ = nullptr;
};

std::vector<TestProgram> BuildPrograms(std::vector<Case> cases, uint32_t seed) {
  Generator generator(seed);
  Random shuffle(seed);
  for (size_t i = cases.size(); i > 1; --i) std::swap(cases[i - 1], cases[shuffle() % i]);
  std::vector<TestProgram> programs;
  size_t next = 0;
  while (next < cases.size()) {
    programs.push_back(generator.Start());
    TestProgram& p = programs.back();
    while (next < cases.size() && p.cases.size() < kCasesPerProgram && generator.Emit(p, cases[next])) ++next;
    generator.Finish(p);
  }
  return programs;
}

// --- running -----------------------------------------------------------------

std::vector<uint8_t> WordBytes(const uint16_t* words, size_t count) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < count; ++i) {
    bytes.push_back(static_cast<uint8_t>(words[i] & 0377));
    bytes.push_back(static_cast<uint8_t>(words[i] >> 8));
  }
  return bytes;
}

struct Area {
  uint16_t address;
  std::vector<uint8_t> bytes;
};

// Every area a program uses, with its initial contents. Loading all of them
// in full also clears what the previous program of a batch left there.
std::vector<Area> Areas(const TestProgram& p) {
  std::vector<Area> areas;
  std::vector<uint16_t> low(0400 / 2, 0);
  for (uint16_t vector : kVectors) {
    low[vector / 2] = static_cast<uint16_t>(kHaltCells + vector);
    low[vector / 2 + 1] = 0340;
  }
  areas.push_back({0, WordBytes(low.data(), low.size())});
  areas.push_back({kHaltCells, std::vector<uint8_t>(kStackTop - kHaltCells, 0)});
  areas.push_back({kCode, p.code.Bytes()});
  areas.push_back({kPointers, WordBytes(p.pointers.data(), p.pointers.size())});
  areas.push_back({kData, WordBytes(p.data.data(), p.data.size())});
  areas.push_back({kJumpTable, WordBytes(p.jumpTable.data(), p.jumpTable.size())});
  areas.push_back({kLog, std::vector<uint8_t>(p.logEnd - kLog, 0)});
  return areas;
}

struct ModelRun {
  pdp11::RunOutcome outcome;
  std::array<uint16_t, 8> registers{};
  uint16_t psw = 0;
  uint64_t instructions = 0;
  std::vector<uint8_t> memory;
};

ModelRun RunInModel(const std::vector<Area>& areas, uint16_t start, uint16_t sp = kStackTop) {
  pdp11::Machine machine;
  for (const Area& area : areas) machine.Load(area.address, area.bytes);
  machine.SetRegister(pdp11::kSp, sp);
  machine.SetRegister(pdp11::kPc, start);
  ModelRun run;
  run.outcome = machine.Run(kStepLimit);
  for (int r = 0; r < 8; ++r) run.registers[r] = machine.Register(r);
  run.psw = machine.Psw();
  run.instructions = machine.Instructions();
  run.memory.assign(machine.Memory().begin(), machine.Memory().end());
  return run;
}

void AddToBatch(Pdp11Batch& batch, const std::vector<Area>& areas, uint16_t start, uint16_t sp = kStackTop) {
  Pdp11Machine machine;
  for (const Area& area : areas) {
    machine.Load(area.address, area.bytes);
    machine.Examine(area.address, static_cast<uint32_t>(area.bytes.size()));
  }
  for (int r = 0; r < 6; ++r) machine.SetRegister(r, 0);
  machine.SetRegister(6, sp);
  machine.SetRegister(7, start);
  machine.SetPsw(0);
  batch.Add(machine, kStepLimit);
}

// The case whose log or code holds `address`, for the failure message.
std::string CaseAt(const TestProgram& p, const std::vector<uint16_t>& starts, uint16_t address) {
  for (size_t i = p.cases.size(); i-- > 0;) {
    if (address >= starts[i]) return "case " + std::to_string(i) + ": " + CaseText(p.cases[i]);
  }
  return "?";
}

// Compares one program's model run with simh's; returns a description of
// the first difference, or an empty string.
std::string Compare(const TestProgram& p, const std::vector<Area>& areas, const ModelRun& model,
                    const Pdp11Result& simh) {
  std::ostringstream out;
  if (!simh.ran || !simh.halted) return "simh did not halt: " + simh.stopLine;
  if (model.outcome.reason != pdp11::StopReason::Halt) {
    return std::string("model stopped with ") + pdp11::StopReasonName(model.outcome.reason) + " at " +
           Octal(model.outcome.pc) + " (" + CaseAt(p, p.codeStarts, model.outcome.pc) + ")";
  }
  if (model.outcome.pc != p.haltAddress) return "model halted early at " + Octal(model.outcome.pc);
  for (int r = 0; r < 8; ++r) {
    if (model.registers[r] != simh.registers[r]) {
      out << kRegisterNames[r] << ": model " << Octal(model.registers[r]) << ", simh " << Octal(simh.registers[r]);
      return out.str();
    }
  }
  if (model.psw != simh.psw) return "PSW: model " + Octal(model.psw) + ", simh " + Octal(simh.psw);
  if (model.instructions + 1 != simh.instructions) {
    out << "instructions: model " << model.instructions << " + HALT, simh " << simh.instructions;
    return out.str();
  }
  for (const Area& area : areas) {
    for (size_t i = 0; i < area.bytes.size(); ++i) {
      const uint16_t address = static_cast<uint16_t>(area.address + i);
      if (model.memory[address] != simh.memory[address]) {
        out << "byte " << Octal(address) << ": model " << Octal(model.memory[address]) << ", simh "
            << Octal(simh.memory[address]);
        if (address >= kLog) out << " (" << CaseAt(p, p.logStarts, address) << ")";
        return out.str();
      }
    }
  }
  return "";
}

class Pdp11ModelDifferential : public testing::TestWithParam<int> {};

TEST_P(Pdp11ModelDifferential, GeneratedProgramsMatchSimh) {
  SKIP_WITHOUT_PDP11();
  const std::vector<Case> all = AllCases();
  std::vector<Case> mine;
  for (size_t i = GetParam(); i < all.size(); i += kShards) mine.push_back(all[i]);
  const std::vector<TestProgram> programs = BuildPrograms(mine, 1103u + static_cast<uint32_t>(GetParam()));

  Pdp11Batch batch;
  std::vector<ModelRun> models;
  std::vector<std::vector<Area>> areas;
  uint64_t instructions = 0;
  for (const TestProgram& p : programs) {
    areas.push_back(Areas(p));
    models.push_back(RunInModel(areas.back(), kCode));
    instructions += models.back().instructions;
    AddToBatch(batch, areas.back(), kCode);
  }
  const std::vector<Pdp11Result> results = batch.Run(300);
  int failures = 0;
  for (size_t i = 0; i < programs.size() && failures < 5; ++i) {
    const std::string difference = Compare(programs[i], areas[i], models[i], results[i]);
    if (!difference.empty()) {
      ++failures;
      ADD_FAILURE() << "program " << i << ": " << difference;
    }
  }
  std::printf("shard %d: %zu cases in %zu programs, %llu instructions\n", GetParam(), mine.size(),
              programs.size(), static_cast<unsigned long long>(instructions));
}

INSTANTIATE_TEST_SUITE_P(Shards, Pdp11ModelDifferential, testing::Range(0, kShards));

// --- traps -------------------------------------------------------------------

// The vector simh takes for each reason the model stops with.
uint16_t VectorOf(pdp11::StopReason reason) {
  using pdp11::StopReason;
  switch (reason) {
    case StopReason::NonExistentMemory:
    case StopReason::IllegalInstruction:
    case StopReason::OddAddress: return 04;
    case StopReason::ReservedInstruction: return 010;
    case StopReason::Bpt:
    case StopReason::TraceTrap: return 014;
    case StopReason::Iot: return 020;
    case StopReason::Emt: return 030;
    case StopReason::Trap: return 034;
    default: return 0;
  }
}

struct TrapCase {
  std::string name;
  Program code{kCode};
  pdp11::StopReason reason;
  uint16_t sp = kStackTop;
  bool fetch = false;  // the fault is in fetching an instruction
};

// Addresses in the I/O page where simh's LSI-11 has no device either.
uint16_t EmptyIoAddress(Random& random, bool even) {
  const uint16_t address = random() % 2 ? static_cast<uint16_t>(0160000 + random() % 0100)
                                        : static_cast<uint16_t>(0160200 + random() % (0172000 - 0160200));
  return even ? static_cast<uint16_t>(address & ~1) : address;
}

std::vector<TrapCase> TrapCases() {
  using pdp11::StopReason;
  Random random(4);
  std::vector<TrapCase> cases;
  auto add = [&](const std::string& name, std::vector<uint16_t> words, StopReason reason, uint16_t sp = kStackTop) {
    TrapCase c{name, Program(kCode), reason, sp, false};
    c.code(Double(kMov, kImmediate, Reg(R1)), kData)(Single(kInc, Reg(R2)));  // something before the trap
    for (uint16_t word : words) c.code(word);
    c.code(kHalt);
    cases.push_back(c);
  };
  // Every reserved range, a few opcodes from each.
  const std::pair<uint16_t, uint16_t> reserved[] = {
      {0000007, 0000010}, {0000010, 0000100}, {0000210, 0000240}, {0006500, 0006700}, {0007000, 0010000},
      {0070000, 0074000}, {0075000, 0077000}, {0106500, 0106700}, {0107000, 0110000}, {0170000, 0177777}};
  for (const auto& [first, end] : reserved) {
    for (int i = 0; i < 6; ++i) {
      const uint16_t op = static_cast<uint16_t>(first + random() % (end - first));
      add("reserved " + Octal(op), {op}, StopReason::ReservedInstruction);
    }
  }
  for (int i = 0; i < 4; ++i) {
    add("EMT", {static_cast<uint16_t>(kEmt | (random() & 0377))}, StopReason::Emt);
    add("TRAP", {static_cast<uint16_t>(kTrap | (random() & 0377))}, StopReason::Trap);
  }
  add("IOT", {kIot}, StopReason::Iot);
  add("BPT", {kBpt}, StopReason::Bpt);
  for (int r = R0; r <= PC; ++r) {
    add("JMP R", {Single(kJmp, Reg(r))}, StopReason::IllegalInstruction);
    add("JSR R", {RegDst(kJsr, static_cast<int>(random() % 8), Reg(r))}, StopReason::IllegalInstruction);
  }
  for (int i = 0; i < 6; ++i) {
    const uint16_t word = EmptyIoAddress(random, true);
    const uint16_t byte = EmptyIoAddress(random, false);
    add("read " + Octal(word), {Double(kMov, kAbsolute, Reg(R0)), word}, StopReason::NonExistentMemory);
    add("write " + Octal(word), {Double(kAdd, Reg(R1), kAbsolute), word}, StopReason::NonExistentMemory);
    add("byte read " + Octal(byte), {Double(kMovb, kAbsolute, Reg(R0)), byte}, StopReason::NonExistentMemory);
    add("byte write " + Octal(byte), {Double(kMovb, Reg(R1), kAbsolute), byte}, StopReason::NonExistentMemory);
    add("pointer in the I/O page", {Double(kMov, kImmediate, Reg(R3)), word, Double(kClr, 0, IndexedDeferred(R3)), 0},
        StopReason::NonExistentMemory);
    add("jump into the I/O page", {Single(kJmp, kAbsolute), word}, StopReason::NonExistentMemory);
    cases.back().fetch = true;
  }
  // The push goes to 0160000; simh's trap frame then still fits below it.
  add("push into the I/O page", {RegDst(kJsr, PC, kRelative), 0}, StopReason::NonExistentMemory, 0160002);
  // The trace bit: at once after RTI, one instruction later after RTT.
  for (uint16_t op : {kRti, kRtt}) {
    const uint16_t psw = static_cast<uint16_t>(pdp11::kTraceBit | (random() & 017));
    const uint16_t back = static_cast<uint16_t>(kCode + 6 + 12);  // the INC after the RTI
    add(op == kRti ? "RTI with T" : "RTT with T",
        {Double(kMov, kImmediate, AutoDec(SP)), psw, Double(kMov, kImmediate, AutoDec(SP)), back, op,
         Single(kInc, Reg(R4)), Single(kInc, Reg(R4))},
        StopReason::TraceTrap);
  }
  return cases;
}

// Each trap ends the model's run with its reason; simh takes the vector of
// that reason to its own HALT. Instruction counts: simh also counts the
// trapping instruction (the model counts only the completed ones; a traced
// instruction completes, a failed fetch is no instruction) and the HALT.
TEST(Pdp11ModelTraps, EveryTrapMatchesSimhsVector) {
  SKIP_WITHOUT_PDP11();
  const std::vector<TrapCase> cases = TrapCases();
  Pdp11Batch batch;
  std::vector<ModelRun> models;
  for (const TrapCase& c : cases) {
    TestProgram p = Generator(1).Start();
    p.code = c.code;
    const std::vector<Area> areas = Areas(p);
    models.push_back(RunInModel(areas, kCode, c.sp));
    AddToBatch(batch, areas, kCode, c.sp);
  }
  const std::vector<Pdp11Result> results = batch.Run(120);
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    const Pdp11Result& simh = results[i];
    ASSERT_TRUE(simh.ran && simh.halted) << simh.stopLine;
    EXPECT_EQ(models[i].outcome.reason, cases[i].reason) << pdp11::StopReasonName(models[i].outcome.reason);
    EXPECT_EQ(simh.pc, kHaltCells + VectorOf(cases[i].reason) + 2) << simh.stopLine;
    const uint64_t counted = cases[i].reason == pdp11::StopReason::TraceTrap || cases[i].fetch ? 1 : 2;
    EXPECT_EQ(models[i].instructions + counted, simh.instructions);
  }
}

}  // namespace
