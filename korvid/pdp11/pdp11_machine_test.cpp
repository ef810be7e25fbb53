// The PDP-11 model on its own: how a run stops (hand-off, step limit, every
// trap), the memory map, the byte rules of the addressing modes and the
// flags at the edges. The differential test under tests/emu compares the
// whole instruction set with simh; these cases also hold the rules where
// the BK's K1801VM1 and simh's LSI-11 differ (odd addresses, the system
// register), and run without simh.
#include "pdp11/pdp11_machine.h"

#include <gtest/gtest.h>

#include "pdp11/pdp11_timing.h"
#include "support/pdp11_code.h"

namespace {

using namespace pdp11_code;
using pdp11::Machine;
using pdp11::RunOutcome;
using pdp11::StopReason;

}  // namespace

namespace pdp11 {
// Names the reason in failure messages.
void PrintTo(StopReason reason, std::ostream* out) { *out << StopReasonName(reason); }
}  // namespace pdp11

namespace {

constexpr uint16_t kOrigin = 01000;
constexpr uint16_t kStack = 0700;

Machine Loaded(const Program& program) {
  Machine machine;
  machine.Load(program.Origin(), program.Bytes());
  machine.SetRegister(pdp11::kPc, program.Origin());
  machine.SetRegister(pdp11::kSp, kStack);
  return machine;
}

// Runs a program that ends in HALT and checks that it got there.
Machine RunToHalt(const Program& program, uint16_t psw = 0) {
  Machine machine = Loaded(program);
  machine.SetPsw(psw);
  const RunOutcome outcome = machine.Run(10000);
  EXPECT_EQ(outcome.reason, StopReason::Halt) << pdp11::StopReasonName(outcome.reason) << " at 0"
                                              << std::oct << outcome.pc;
  EXPECT_EQ(outcome.pc, program.Here() - 2) << "the last word is the HALT";
  return machine;
}

TEST(Pdp11Machine, HaltEndsTheRunUncountedAndNamesItsAddress) {
  Program p(kOrigin);
  p(Double(kMov, kImmediate, Reg(R0)), 01234)(Single(kInc, Reg(R0)))(kHalt);
  Machine machine = RunToHalt(p);
  EXPECT_EQ(machine.Register(R0), 01235);
  EXPECT_EQ(machine.Instructions(), 2u);
  EXPECT_EQ(machine.Register(pdp11::kPc), 01010) << "the PC is past the HALT";
}

TEST(Pdp11Machine, HandOffIsCheckedAfterEachInstructionOnly) {
  // The program starts at its own hand-off address, loops back there once
  // through a counter and stops on the second arrival.
  Program p(kOrigin);
  p(Single(kInc, Reg(R1)))(Double(kCmp, Reg(R1), kImmediate), 2)(Branch(kBne, -4))
      (Single(kJmp, kAbsolute), kOrigin);
  Machine machine = Loaded(p);
  machine.AddStopAt(kOrigin);
  const RunOutcome outcome = machine.Run(100);
  EXPECT_EQ(outcome.reason, StopReason::HandOff);
  EXPECT_EQ(outcome.pc, kOrigin);
  EXPECT_EQ(machine.Register(R1), 1);
  EXPECT_EQ(machine.Instructions(), 3u);  // INC, CMP, BNE back

  // Continuing from the hand-off runs the second pass.
  const RunOutcome again = machine.Run(100);
  EXPECT_EQ(again.reason, StopReason::HandOff);
  EXPECT_EQ(again.pc, kOrigin);
  EXPECT_EQ(machine.Register(R1), 2);
  EXPECT_EQ(machine.Instructions(), 3u + 4u);  // INC, CMP, BNE, JMP
}

TEST(Pdp11Machine, HandOffWhenThePcLeavesTheAllowedRange) {
  Program p(kOrigin);
  p(Double(kMov, kImmediate, Reg(R0)), 2)(Single(kDec, Reg(R0)))(Branch(kBne, -2))
      (Single(kJmp, kAbsolute), 02000);
  Machine machine = Loaded(p);
  machine.SetAllowedRange(kOrigin, p.Here());
  const RunOutcome outcome = machine.Run(100);
  EXPECT_EQ(outcome.reason, StopReason::HandOff);
  EXPECT_EQ(outcome.pc, 02000);
  EXPECT_EQ(machine.Instructions(), 6u);

  // A return to a caller below the range stops there too.
  Program routine(02000);
  routine(Single(kRts, PC));
  Machine caller = Loaded(routine);
  caller.SetWord(kStack - 2, 0500);
  caller.SetRegister(pdp11::kSp, kStack - 2);
  caller.SetAllowedRange(02000, 02002);
  const RunOutcome back = caller.Run(10);
  EXPECT_EQ(back.reason, StopReason::HandOff);
  EXPECT_EQ(back.pc, 0500);
  EXPECT_EQ(caller.Register(pdp11::kSp), kStack);
}

TEST(Pdp11Machine, StepLimitStopsARunawayLoopAtTheExactCount) {
  Program p(kOrigin);
  p(Single(kInc, Reg(R2)))(Branch(kBr, -2));
  Machine machine = Loaded(p);
  const RunOutcome outcome = machine.Run(1001);
  EXPECT_EQ(outcome.reason, StopReason::StepLimit);
  EXPECT_EQ(machine.Instructions(), 1001u);
  EXPECT_EQ(machine.Register(R2), 501);
  EXPECT_EQ(outcome.pc, kOrigin + 2) << "the next instruction is the BR";
}

struct TrapCase {
  const char* name;
  std::vector<uint16_t> words;  // at kOrigin
  StopReason reason;
  uint16_t pc;       // the failing instruction
  uint16_t address;  // memory faults only
};

TEST(Pdp11Machine, EveryTrapEndsTheRunWithItsReasonAndAddress) {
  const TrapCase cases[] = {
      {"word read at an odd address", {Double(kMov, kAbsolute, Reg(R0)), 02001}, StopReason::OddAddress,
       kOrigin, 02001},
      {"word write through an odd register", {Double(kMov, Reg(R1), Deferred(R1))}, StopReason::OddAddress,
       kOrigin, 01},
      {"fetch at an odd address", {Single(kJmp, kAbsolute), 02001}, StopReason::OddAddress, 02001, 02001},
      {"read in the I/O page", {Double(kMov, kAbsolute, Reg(R0)), 0160000},
       StopReason::NonExistentMemory, kOrigin, 0160000},
      {"byte write in the I/O page", {Double(kMovb, Reg(R0), kAbsolute), 0177715},
       StopReason::NonExistentMemory, kOrigin, 0177715},
      {"stack pushed into the I/O page", {Single(kJsr | (PC << 6), kAbsolute), 01010},
       StopReason::NonExistentMemory, kOrigin, 0177776},
      {"JMP to a register", {Single(kJmp, Reg(R3))}, StopReason::IllegalInstruction, kOrigin, 0},
      {"JSR to a register", {RegDst(kJsr, PC, Reg(R3))}, StopReason::IllegalInstruction, kOrigin, 0},
      {"MUL", {0070001}, StopReason::ReservedInstruction, kOrigin, 0},
      {"ASHC", {0073002}, StopReason::ReservedInstruction, kOrigin, 0},
      {"FADD", {0075001}, StopReason::ReservedInstruction, kOrigin, 0},
      {"floating point", {0170000}, StopReason::ReservedInstruction, kOrigin, 0},
      {"MFPT", {0000007}, StopReason::ReservedInstruction, kOrigin, 0},
      {"000010", {0000010}, StopReason::ReservedInstruction, kOrigin, 0},
      {"000210", {0000210}, StopReason::ReservedInstruction, kOrigin, 0},
      {"SPL", {0000230}, StopReason::ReservedInstruction, kOrigin, 0},
      {"MFPI", {0006500}, StopReason::ReservedInstruction, kOrigin, 0},
      {"MTPI", {0006600}, StopReason::ReservedInstruction, kOrigin, 0},
      {"007000", {0007000}, StopReason::ReservedInstruction, kOrigin, 0},
      {"MFPD", {0106500}, StopReason::ReservedInstruction, kOrigin, 0},
      {"MTPD", {0106600}, StopReason::ReservedInstruction, kOrigin, 0},
      {"107000", {0107000}, StopReason::ReservedInstruction, kOrigin, 0},
      {"EMT", {Single(kNop, 0), kEmt | 0377}, StopReason::Emt, kOrigin + 2, 0},
      {"TRAP", {kTrap}, StopReason::Trap, kOrigin, 0},
      {"IOT", {kIot}, StopReason::Iot, kOrigin, 0},
      {"BPT", {kBpt}, StopReason::Bpt, kOrigin, 0},
      {"WAIT", {kWait}, StopReason::Wait, kOrigin, 0},
  };
  for (const TrapCase& c : cases) {
    SCOPED_TRACE(c.name);
    Program p(kOrigin);
    for (uint16_t word : c.words) p(word);
    Machine machine = Loaded(p);
    machine.SetRegister(R1, 1);
    machine.SetRegister(R3, 02000);
    if (c.reason == StopReason::NonExistentMemory && c.address == 0177776) {
      machine.SetRegister(pdp11::kSp, 0);
    }
    const RunOutcome outcome = machine.Run(100);
    EXPECT_EQ(outcome.reason, c.reason) << pdp11::StopReasonName(outcome.reason);
    EXPECT_EQ(outcome.pc, c.pc);
    EXPECT_EQ(outcome.address, c.address);
    if (c.pc == kOrigin) {
      EXPECT_EQ(outcome.instruction, c.words[0]);
    }
  }
}

TEST(Pdp11Machine, AFaultStopsTheInstructionBeforeItWrites) {
  // MOV @#160000, (R2)+ : the source read fails, so neither the write nor
  // the destination's increment happens.
  Program p(kOrigin);
  p(Double(kMov, kAbsolute, AutoInc(R2)), 0160000);
  Machine machine = Loaded(p);
  machine.SetRegister(R2, 02000);
  machine.SetWord(02000, 0123);
  EXPECT_EQ(machine.Run(10).reason, StopReason::NonExistentMemory);
  EXPECT_EQ(machine.Register(R2), 02000);
  EXPECT_EQ(machine.Word(02000), 0123);
  EXPECT_EQ(machine.Instructions(), 0u);
}

TEST(Pdp11Machine, RamEndsWhereTheCallerSays) {
  Program p(kOrigin);
  p(Double(kMov, Reg(R0), kAbsolute), 077776)(Double(kMov, Reg(R0), kAbsolute), 0100000)(kHalt);
  Machine machine(0100000);
  machine.Load(kOrigin, p.Bytes());
  machine.SetRegister(pdp11::kPc, kOrigin);
  const RunOutcome outcome = machine.Run(10);
  EXPECT_EQ(outcome.reason, StopReason::NonExistentMemory);
  EXPECT_EQ(outcome.address, 0100000);
  EXPECT_EQ(outcome.pc, kOrigin + 4);

  // Up to the BK's registers at most, whatever the caller asks: 0177576 is
  // RAM then, 0177600 is not.
  for (const uint32_t asked : {uint32_t{pdp11::kRegisterPageStart}, uint32_t{pdp11::kMemorySize}}) {
    Program high(kOrigin);
    high(Double(kMov, Reg(R0), kAbsolute), 0177576)(Double(kMov, Reg(R0), kAbsolute), 0177600)(kHalt);
    Machine top(asked);
    top.Load(kOrigin, high.Bytes());
    top.SetRegister(pdp11::kPc, kOrigin);
    top.SetRegister(R0, 0123);
    const RunOutcome stop = top.Run(10);
    EXPECT_EQ(stop.reason, StopReason::NonExistentMemory) << asked;
    EXPECT_EQ(stop.address, 0177600) << asked;
    EXPECT_EQ(top.Word(0177576), 0123) << asked;
  }
}

TEST(Pdp11Machine, SystemRegisterReadsItsConstantAndIgnoresWrites) {
  Program p(kOrigin);
  p(Double(kMov, kAbsolute, Reg(R0)), pdp11::kSystemRegister)
      (Double(kMovb, kAbsolute, Reg(R1)), pdp11::kSystemRegister + 1)
      (Double(kMovb, kAbsolute, Reg(R2)), pdp11::kSystemRegister)
      (Double(kBit, kImmediate, kAbsolute), 0, pdp11::kSystemRegister)  // as the Granol stub does
      (Double(kMov, kImmediate, kAbsolute), 0777, pdp11::kSystemRegister)
      (Double(kBisb, kImmediate, kAbsolute), 0100, pdp11::kSystemRegister)
      (Double(kMov, kAbsolute, Reg(R3)), pdp11::kSystemRegister)(kHalt);
  Machine machine = RunToHalt(p);
  EXPECT_EQ(machine.Register(R0), pdp11::kSystemRegisterValue);
  EXPECT_EQ(machine.Register(R1), 0177600) << "high byte 0200, sign-extended";
  EXPECT_EQ(machine.Register(R2), 0177700) << "low byte 0300, sign-extended";
  EXPECT_EQ(machine.Register(R3), pdp11::kSystemRegisterValue);
  EXPECT_EQ(machine.Instructions(), 7u);
}

TEST(Pdp11Machine, ByteModesStepSpAndPcByTwo) {
  Program p(kOrigin);
  p(Double(kMovb, kImmediate, Reg(R0)), 0177601)  // MOVB #..., R0: the immediate takes a word
      (Double(kMovb, AutoInc(SP), Reg(R1)))        // SP += 2
      (Double(kMovb, AutoInc(R2), Reg(R3)))        // R2 += 1
      (Double(kMovb, Reg(R3), AutoDec(SP)))        // SP -= 2, writes the low byte only
      (Double(kMovb, Reg(R3), AutoDec(R4)))        // R4 -= 1
      (Double(kMovb, AutoIncDeferred(R5), kAbsolute), 02010)  // deferred: R5 += 2
      (kHalt);
  Machine machine = Loaded(p);
  machine.SetWord(kStack, 0177777);
  machine.SetWord(02000, 0x3480);
  machine.SetWord(03000, 03003);
  machine.Load(03003, {0177});
  machine.SetRegister(R2, 02000);
  machine.SetRegister(R4, 02003);
  machine.SetRegister(R5, 03000);
  EXPECT_EQ(machine.Run(100).reason, StopReason::Halt);
  EXPECT_EQ(machine.Register(R0), 0177601) << "MOVB #201 sign-extends";
  EXPECT_EQ(machine.Register(R1), 0177777);
  EXPECT_EQ(machine.Register(R2), 02001);
  EXPECT_EQ(machine.Register(R3), 0177600);
  EXPECT_EQ(machine.Register(pdp11::kSp), kStack);
  EXPECT_EQ(machine.Word(kStack), 0177600) << "low byte replaced, high byte kept";
  EXPECT_EQ(machine.Register(R4), 02002);
  EXPECT_EQ(machine.Byte(02002), 0200);
  EXPECT_EQ(machine.Register(R5), 03002);
  EXPECT_EQ(machine.Byte(02010), 0177);
}

TEST(Pdp11Machine, PcRelativeModesAddressFromTheEndOfTheInstruction) {
  Program p(kOrigin);
  // MOV rel, R0 at 01000: the index word at 01002, relative to 01004.
  p(Double(kMov, kRelative, Reg(R0)), 02000 - 01004)
      // MOV @rel, R1: pointer at 02002 holds 02004.
      (Double(kMov, kRelativeDeferred, Reg(R1)), 02002 - 01010)
      // MOV #1, rel: index after the immediate, relative to 01016.
      (Double(kMov, kImmediate, kRelative), 1, 02006 - 01016)
      // MOV PC, R2: the PC past this word.
      (Double(kMov, Reg(PC), Reg(R2)))(kHalt);
  Machine machine = Loaded(p);
  machine.SetWord(02000, 0111);
  machine.SetWord(02002, 02004);
  machine.SetWord(02004, 0222);
  EXPECT_EQ(machine.Run(10).reason, StopReason::Halt);
  EXPECT_EQ(machine.Register(R0), 0111);
  EXPECT_EQ(machine.Register(R1), 0222);
  EXPECT_EQ(machine.Word(02006), 1);
  EXPECT_EQ(machine.Register(R2), 01020);
}

struct FlagCase {
  const char* name;
  uint16_t op;  // single operand on R0, or double operand R1 -> R0
  uint16_t r0, r1, pswIn;
  uint16_t result, pswOut;
};

TEST(Pdp11Machine, FlagsAtTheEdges) {
  constexpr uint16_t N = pdp11::kFlagN, Z = pdp11::kFlagZ, V = pdp11::kFlagV, C = pdp11::kFlagC;
  const FlagCase cases[] = {
      {"ADD to overflow", Double(kAdd, Reg(R1), Reg(R0)), 077777, 1, 0, 0100000, N | V},
      {"ADD with carry out", Double(kAdd, Reg(R1), Reg(R0)), 0177777, 1, 0, 0, Z | C},
      {"SUB with borrow", Double(kSub, Reg(R1), Reg(R0)), 1, 2, 0, 0177777, N | C},
      {"SUB to overflow", Double(kSub, Reg(R1), Reg(R0)), 0100000, 1, 0, 077777, V},
      {"CMP src-dst", Double(kCmp, Reg(R1), Reg(R0)), 2, 1, 0, 2, N | C},
      {"CMP overflow", Double(kCmp, Reg(R1), Reg(R0)), 1, 0100000, 0, 1, V},
      {"CMPB bytes only", Double(kCmpb, Reg(R1), Reg(R0)), 0177401, 0177600, C, 0177401, V},
      {"BIT keeps C", Double(kBit, Reg(R1), Reg(R0)), 0100000, 0100001, C | V, 0100000, N | C},
      {"BICB high byte kept", Double(kBicb, Reg(R1), Reg(R0)), 0177777, 0177, 0, 0177600, N},
      {"BISB", Double(kBisb, Reg(R1), Reg(R0)), 0400, 0, V, 0400, Z},
      {"MOVB to a register", Double(kMovb, Reg(R1), Reg(R0)), 0, 0377, C | V, 0177777, N | C},
      {"MOV keeps C", Double(kMov, Reg(R1), Reg(R0)), 5, 0, C | V | N, 0, Z | C},
      {"XOR", RegDst(kXor, R1, Reg(R0)), 0177400, 0177777, C | V, 0377, C},
      {"CLR", Single(kClr, Reg(R0)), 7, 0, N | V | C, 0, Z},
      {"CLRB", Single(kClr | kByte, Reg(R0)), 0177777, 0, 0, 0177400, Z},
      {"COM", Single(kCom, Reg(R0)), 0, 0, V, 0177777, N | C},
      {"INC to overflow, C kept", Single(kInc, Reg(R0)), 077777, 0, C, 0100000, N | V | C},
      {"INCB wraps", Single(kInc | kByte, Reg(R0)), 01377, 0, 0, 01000, Z},
      {"DEC to overflow", Single(kDec, Reg(R0)), 0100000, 0, 0, 077777, V},
      {"DECB to overflow", Single(kDec | kByte, Reg(R0)), 0200, 0, 0, 0177, V},
      {"NEG 0", Single(kNeg, Reg(R0)), 0, 0, C, 0, Z},
      {"NEG 100000", Single(kNeg, Reg(R0)), 0100000, 0, 0, 0100000, N | V | C},
      {"NEGB 200", Single(kNeg | kByte, Reg(R0)), 0200, 0, 0, 0200, N | V | C},
      {"ADC to overflow", Single(kAdc, Reg(R0)), 077777, 0, C, 0100000, N | V},
      {"ADC carry out", Single(kAdc, Reg(R0)), 0177777, 0, C, 0, Z | C},
      {"ADC without C", Single(kAdc, Reg(R0)), 0177777, 0, 0, 0177777, N},
      {"SBC borrow", Single(kSbc, Reg(R0)), 0, 0, C, 0177777, N | C},
      {"SBC to overflow", Single(kSbc, Reg(R0)), 0100000, 0, C, 077777, V},
      {"TST clears V and C", Single(kTst, Reg(R0)), 0100000, 0, V | C, 0100000, N},
      {"ROR", Single(kRor, Reg(R0)), 1, 0, 0, 0, Z | V | C},
      {"ROR carry in", Single(kRor, Reg(R0)), 0, 0, C, 0100000, N | V},
      {"RORB", Single(kRor | kByte, Reg(R0)), 0401, 0, C, 0600, N | C},
      {"ROL", Single(kRol, Reg(R0)), 0100000, 0, 0, 0, Z | V | C},
      {"ASR keeps the sign", Single(kAsr, Reg(R0)), 0100001, 0, 0, 0140000, N | C},
      {"ASRB", Single(kAsr | kByte, Reg(R0)), 0177601, 0, 0, 0177700, N | C},
      {"ASL", Single(kAsl, Reg(R0)), 040000, 0, C, 0100000, N | V},
      {"SWAB flags from the low byte", Single(kSwab, Reg(R0)), 0100377, 0, V | C, 0177600, N},
      {"SWAB zero low byte", Single(kSwab, Reg(R0)), 0377, 0, 0, 0177400, Z},
      {"SXT with N", Single(kSxt, Reg(R0)), 5, 0, N | V | C, 0177777, N | C},
      {"SXT without N", Single(kSxt, Reg(R0)), 5, 0, V, 0, Z},
  };
  for (const FlagCase& c : cases) {
    SCOPED_TRACE(c.name);
    Program p(kOrigin);
    p(c.op)(kHalt);
    Machine machine = Loaded(p);
    machine.SetRegister(R0, c.r0);
    machine.SetRegister(R1, c.r1);
    machine.SetPsw(c.pswIn);
    EXPECT_EQ(machine.Run(10).reason, StopReason::Halt);
    EXPECT_EQ(machine.Register(R0), c.result) << std::oct << machine.Register(R0);
    EXPECT_EQ(machine.Psw(), c.pswOut) << std::oct << machine.Psw();
  }
}

TEST(Pdp11Machine, StatusWordMovesKeepTheTraceBit) {
  Program p(kOrigin);
  p(Single(kMtps, kImmediate), 0377)(Single(kMfps, Reg(R0)))(Single(kMfps, kAbsolute), 02001)
      (Single(kMtps, kImmediate), 0)(Single(kMfps, Reg(R1)))(kHalt);
  Machine machine = RunToHalt(p);
  EXPECT_EQ(machine.Register(R0), 0177757) << "0357 sign-extended; MTPS leaves T alone";
  EXPECT_EQ(machine.Byte(02001), 0351) << "N and C of 0357, V and Z cleared by the MFPS before";
  EXPECT_EQ(machine.Register(R1), 0);
  EXPECT_EQ(machine.Psw(), pdp11::kFlagZ);
}

TEST(Pdp11Machine, TraceBitTrapsAfterRtiAtOnceAndAfterRttOneInstructionLater) {
  for (const bool rtt : {false, true}) {
    SCOPED_TRACE(rtt ? "RTT" : "RTI");
    Program p(kOrigin);
    p(Double(kMov, kImmediate, AutoDec(SP)), pdp11::kTraceBit)
        (Double(kMov, kImmediate, AutoDec(SP)), kOrigin + 012)(rtt ? kRtt : kRti)
        (Single(kInc, Reg(R0)))(Single(kInc, Reg(R0)))(kHalt);
    Machine machine = Loaded(p);
    const RunOutcome outcome = machine.Run(100);
    EXPECT_EQ(outcome.reason, StopReason::TraceTrap);
    EXPECT_EQ(machine.Register(R0), rtt ? 1 : 0);
    EXPECT_EQ(outcome.pc, rtt ? kOrigin + 012 : kOrigin + 010);
    EXPECT_EQ(machine.Instructions(), rtt ? 4u : 3u);
  }
}

TEST(Pdp11Machine, SubroutinesMarkAndSob) {
  // The standard MARK call: push R5, two arguments and MARK 2; R5 = SP;
  // JSR PC; the routine returns with RTS R5 into the MARK on the stack.
  Program p(kOrigin);
  p(Double(kMov, kImmediate, Reg(R5)), 0555)
      (Double(kMov, Reg(R5), AutoDec(SP)))
      (Double(kMov, kImmediate, AutoDec(SP)), 0111)
      (Double(kMov, kImmediate, AutoDec(SP)), 0222)
      (Double(kMov, kImmediate, AutoDec(SP)), kMark | 2)
      (Double(kMov, Reg(SP), Reg(R5)))
      (RegDst(kJsr, PC, kRelative), 2)  // to the routine after the BR
      (Branch(kBr, 3));
  const uint16_t routine = p.Here();
  p(Double(kMov, Indexed(R5), Reg(R1)), 2)  // the argument pushed last
      (Single(kRts, R5));
  ASSERT_EQ(routine, kOrigin + 032);
  p(Double(kMov, kImmediate, Reg(R2)), 5)(Single(kInc, Reg(R3)))(Sob(R2, 2))
      (RegDst(kJsr, R4, kRelative), 4)(kHalt)(kHalt)(Single(kRts, R4));
  Machine machine = Loaded(p);
  const RunOutcome outcome = machine.Run(1000);
  ASSERT_EQ(outcome.reason, StopReason::Halt);
  EXPECT_EQ(outcome.pc, p.Here() - 6) << "RTS R4 returns to the first HALT";
  EXPECT_EQ(machine.Register(R1), 0222);
  EXPECT_EQ(machine.Register(R5), 0555);
  EXPECT_EQ(machine.Register(pdp11::kSp), kStack);
  EXPECT_EQ(machine.Register(R2), 0);
  EXPECT_EQ(machine.Register(R3), 5);
  // 6 MOVs, JSR, MOV, RTS, MARK, BR; MOV, 5 x (INC, SOB); JSR, RTS.
  EXPECT_EQ(machine.Instructions(), 11u + 11u + 2u);
}

TEST(Pdp11Machine, CyclesAddUpFromTheTable) {
  namespace t = pdp11::timing;
  using t::Access;
  Program p(kOrigin);
  p(Double(kMov, AutoInc(R0), AutoInc(R1)))     // read (R)+, write (R)+
      (Double(kAdd, kImmediate, IndexedDeferred(R2)), 1, 0)  // read #, modify @X(R)
      (Double(kCmp, Reg(R1), kAbsolute), 02000)  // read @#
      (Single(kInc, AutoDecDeferred(R3)))        // modify @-(R)
      (Single(kTst, Reg(R3)))                    // read register
      (Single(kJmp, kRelative), 0)               // jump relative, to the next word
      (Branch(kBeq, 0))(kNop)(kHalt);
  Machine machine = Loaded(p);
  machine.SetRegister(R0, 02000);
  machine.SetRegister(R1, 02002);
  machine.SetRegister(R2, 02004);
  machine.SetRegister(R3, 02006);
  machine.SetWord(02004, 02000);
  EXPECT_EQ(machine.Run(100).reason, StopReason::Halt);
  const uint64_t expected = t::DoubleOperand(Access::Write, 2, 2) + t::DoubleOperand(Access::Modify, 2, 7) +
                            t::DoubleOperand(Access::Read, 0, 3) + t::SingleOperand(Access::Modify, 5) +
                            t::SingleOperand(Access::Read, 0) + t::kJump + t::kJumpAddress[6] +
                            t::kBranch + t::kConditionCodes;
  EXPECT_EQ(machine.Cycles(), expected);
  EXPECT_EQ(machine.Instructions(), 8u);
  // Register to register is the table's cheapest operation; at 3 MHz a
  // million cycles take a third of a second.
  EXPECT_EQ(t::DoubleOperand(Access::Write, 0, 0), 12);
  EXPECT_DOUBLE_EQ(pdp11::Bk0010Seconds(3000000), 1.0);
}

}  // namespace
