// The emulator harness itself: the tests of both stubs rely on it telling a
// HALT, a breakpoint and a runaway program apart.
#include <gtest/gtest.h>

#include "support/pdp11.h"

namespace {

#define SKIP_WITHOUT_PDP11()                                          \
  if (!Pdp11Machine::Available()) GTEST_SKIP() << "pdp11 (simh) is not installed"

TEST(Pdp11Harness, RunsToHaltAndReadsRegistersAndMemory) {
  SKIP_WITHOUT_PDP11();
  Pdp11Machine machine;
  // MOV #1234, R0; MOV R0, @#2000; HALT
  for (auto [address, word] : {std::pair{01000, 012700}, {01002, 01234}, {01004, 010037},
                               {01006, 02000}, {01010, 0}}) {
    machine.SetWord(address, static_cast<uint16_t>(word));
  }
  machine.SetRegister(6, 0700);
  machine.SetRegister(7, 01000);
  machine.Examine(02000, 2);
  const Pdp11Result result = machine.Run(1000);
  ASSERT_TRUE(result.ran) << result.transcript;
  EXPECT_TRUE(result.halted) << result.stopLine;
  EXPECT_EQ(result.registers[0], 01234);
  EXPECT_EQ(result.Word(02000), 01234);
}

TEST(Pdp11Harness, BreakpointAtEntryIsTakenOnlyWhenReachedAgain) {
  SKIP_WITHOUT_PDP11();
  Pdp11Machine machine;
  // 01000: INC R1; CMP R1, #3; BNE 01000 ... once R1 is 3: JMP @#01000
  // The breakpoint at 01000 must stop the second pass, not the start.
  for (auto [address, word] : {std::pair{01000, 005201}, {01002, 020127}, {01004, 3},
                               {01006, 001374}, {01010, 000137}, {01012, 01000}}) {
    machine.SetWord(address, static_cast<uint16_t>(word));
  }
  machine.SetRegister(6, 0700);
  machine.SetRegister(7, 01000);
  machine.AddBreakpoint(01000);
  const Pdp11Result result = machine.Run(1000);
  ASSERT_TRUE(result.ran) << result.transcript;
  EXPECT_TRUE(result.breakpoint) << result.stopLine;
  EXPECT_EQ(result.pc, 01000);
  EXPECT_EQ(result.registers[1], 1);
}

// The instruction count that the benchmarks divide by the unpacked bytes.
TEST(Pdp11Harness, CountsExecutedInstructions) {
  SKIP_WITHOUT_PDP11();
  Pdp11Machine machine;
  // 01000: INC R1; CMP R1, #100; BNE 01000; HALT: 3 per pass, 100 passes.
  for (auto [address, word] : {std::pair{01000, 005201}, {01002, 020127}, {01004, 0144},
                               {01006, 001374}, {01010, 0}}) {
    machine.SetWord(address, static_cast<uint16_t>(word));
  }
  machine.SetRegister(6, 0700);
  machine.SetRegister(7, 01000);
  const Pdp11Result result = machine.Run(10000);
  ASSERT_TRUE(result.halted) << result.stopLine;
  EXPECT_EQ(result.instructions, 301u);
}

TEST(Pdp11Harness, RunawayProgramStopsAtTheInstructionLimit) {
  SKIP_WITHOUT_PDP11();
  Pdp11Machine machine;
  machine.SetWord(01000, 000777);  // BR . (loops forever)
  machine.SetRegister(6, 0700);
  machine.SetRegister(7, 01000);
  const Pdp11Result result = machine.Run(5000);
  ASSERT_TRUE(result.ran) << result.transcript;
  EXPECT_TRUE(result.stepLimit) << result.stopLine;
  EXPECT_FALSE(result.halted);
}

}  // namespace
