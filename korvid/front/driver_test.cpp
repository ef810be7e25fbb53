// The rules of the -t keyword and of the -w address, and the text helpers
// the driver relies on.
#include "front/driver.h"

#include <gtest/gtest.h>

#include "dorvik/dorvik_context.h"
#include "front/console.h"
#include "common/platform.h"

namespace {

TEST(ToolKeyword, IsCaseInsensitiveButExactInLength) {
  EXPECT_EQ(ToolFromKeyword(L"DORVIK"), Tool::Dorvik);
  EXPECT_EQ(ToolFromKeyword(L"dorvik"), Tool::Dorvik);
  EXPECT_EQ(ToolFromKeyword(L"Dorvik"), Tool::Dorvik);
  EXPECT_EQ(ToolFromKeyword(L"BkGranol"), Tool::Granol);
  EXPECT_EQ(ToolFromKeyword(L"bkgranol"), Tool::Granol);
  EXPECT_EQ(ToolFromKeyword(L"DORVIKX"), Tool::None);
  EXPECT_EQ(ToolFromKeyword(L"DORVI"), Tool::None);
  EXPECT_EQ(ToolFromKeyword(L"BKGRAN"), Tool::None);
  EXPECT_EQ(ToolFromKeyword(L""), Tool::None);
  EXPECT_EQ(ToolFromKeyword(L"dorvik "), Tool::None);
}

TEST(WorkAddress, IsAnOctalNumberUpTo0140000OrNothing) {
  EXPECT_EQ(WorkEndFromArgument("40000"), 040000);
  EXPECT_EQ(WorkEndFromArgument("040000"), 040000);
  EXPECT_EQ(WorkEndFromArgument("140000"), 0140000);
  EXPECT_EQ(WorkEndFromArgument("0"), 0);
  EXPECT_EQ(WorkEndFromArgument("00000000000000000040001"), 040001);
  EXPECT_EQ(WorkEndFromArgument("7"), 7);
  // Not an octal number in range: refused, never read as some other value.
  for (const char* wrong : {"140001", "200000", "177777", "77777777777777", "-1", "-0", "+37", "",
                            " 40000", "40000 ", "abc", "0x4000", "08", "1778", "4e4", "040000.",
                            "\xD0\xB0"}) {
    EXPECT_EQ(WorkEndFromArgument(wrong), -1) << wrong;
  }
}

}  // namespace

namespace {

// Runs the driver in this process on a command line, with the console
// collected; returns what it printed and keeps the exit status.
std::string RunDriver(std::vector<std::string> args, int* status = nullptr) {
  ResetPackerState();
  args.insert(args.begin(), "korvid");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::string text;
  SetConsoleSink(&text);
  const int exit = KorvidMain(static_cast<int>(args.size()), argv.data());
  SetConsoleSink(nullptr);
  if (status != nullptr) *status = exit;
  return text;
}

TEST(DriverOptions, LastWorkAddressWinsAndAWrongOneEndsTheRun) {
  RunDriver({"-w", "140001", "-w", "40000"});
  EXPECT_EQ(packerState.workEnd, -1) << "the run ended at the wrong value";
  RunDriver({"-w", "40000", "-w", "0"});
  EXPECT_EQ(packerState.workEnd, 0);
  RunDriver({"-w140000"});
  EXPECT_EQ(packerState.workEnd, 0140000);
  RunDriver({"--work=36710"});
  EXPECT_EQ(packerState.workEnd, 036710);
}

TEST(DriverOptions, FlagsStartClearAndAreSetByTheirOptions) {
  RunDriver({});
  EXPECT_FALSE(dorvikContext.dataMode);
  EXPECT_FALSE(dorvikContext.longStub);
  EXPECT_FALSE(packerState.rawOutput);
  EXPECT_FALSE(packerState.unpackMode);
  RunDriver({"-d", "--long", "-ru"});
  EXPECT_TRUE(dorvikContext.dataMode);
  EXPECT_TRUE(dorvikContext.longStub);
  EXPECT_TRUE(packerState.rawOutput);
  EXPECT_TRUE(packerState.unpackMode);
}

TEST(DriverOptions, LongOptionsMayBeAbbreviated) {
  RunDriver({"--to", "bkgranol", "--unp"});
  EXPECT_EQ(packerState.selectedTool, Tool::Granol);
  EXPECT_TRUE(packerState.unpackMode);
}

// -? is no option character for the parser: it must still be help, and an
// error before or after it must still be an error, in one process after
// another (the parser keeps state between runs).
TEST(DriverOptions, HelpIsToldFromParseErrorsInEveryOrder) {
  const struct {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"-?"}, 0},          {{"--help"}, 0},        {{"-r?"}, 0},       {{"-x"}, 2},
      {{"-?", "-x"}, 0},    {{"-x", "-?"}, 2},      {{"--bogus"}, 2},   {{"--bogus", "-?"}, 2},
      {{"-u", "-?x"}, 0},   {{"--help=1"}, 2},      {{"-t"}, 2},        {{"--he"}, 0},
      {{"-t", "dorvik"}, 2},  // no input name
  };
  for (const auto& c : cases) {
    int status = -1;
    RunDriver(c.args, &status);
    std::string line;
    for (const std::string& arg : c.args) line += arg + " ";
    EXPECT_EQ(status, c.status) << line;
  }
}

}  // namespace
