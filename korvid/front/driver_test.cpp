// The rules of the -t keyword and of the -w address, and the text helpers
// the driver relies on.
#include "front/driver.h"

#include <gtest/gtest.h>

#include "dorvik/dorvik_context.h"
#include "front/console.h"
#include "front/platform.h"

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

TEST(WorkAddress, IsOctalCutToSixteenBitsAndLimitedTo0140000) {
  EXPECT_EQ(WorkEndFromArgument("40000"), 040000);
  EXPECT_EQ(WorkEndFromArgument("040000"), 040000);
  EXPECT_EQ(WorkEndFromArgument("140000"), 0140000);
  EXPECT_EQ(WorkEndFromArgument("140001"), -1);
  EXPECT_EQ(WorkEndFromArgument("200000"), 0);  // wraps to 0, which is accepted
  EXPECT_EQ(WorkEndFromArgument("-1"), -1);     // 0177777 after truncation
  EXPECT_EQ(WorkEndFromArgument("0"), 0);
  EXPECT_EQ(WorkEndFromArgument("xyz"), 0);     // no digits read as 0
  EXPECT_EQ(WorkEndFromArgument("  1778"), 0177);  // blanks skipped, stops at 8
  EXPECT_EQ(WorkEndFromArgument("+37"), 037);
  // Numbers beyond a 32-bit long saturate before the low 16 bits are kept.
  EXPECT_EQ(WorkEndFromArgument("77777777777777"), -1);
  EXPECT_EQ(WorkEndFromArgument("-77777777777777"), 0);
}

TEST(FileNames, BytesSurviveTheWideFormExactly) {
  const char* names[] = {"game.bin", "игра.bin", "bad\xFF\xFE.bin", "cut\xD0", "\xC0\xAF",
                         "\xED\xA0\x80surrogate"};
  for (const char* name : names) EXPECT_EQ(NarrowName(WidenName(name)), name);
  EXPECT_EQ(WidenName("игра"), L"игра");
  EXPECT_EQ(WidenName("a\xFF").back(), static_cast<wchar_t>(0xDCFF));
}

TEST(ConsolePrint, FormatsWideStringsAndNumbersAsUtf8) {
  std::string text;
  SetConsoleSink(&text);
  ConsolePrint(L"Пакуем '%s' :: ", L"игра.bin");
  ConsolePrint(L" OK, Ratio %d%%\n", 8250);
  ConsolePrint(L"[%03d|%5s|%o|%d]", 7, L"ab", 01000u, -12);
  SetConsoleSink(nullptr);
  EXPECT_EQ(text, "Пакуем 'игра.bin' ::  OK, Ratio 8250%\n[007|   ab|1000|-12]");
}

}  // namespace

namespace {

// Runs the driver in this process on a command line, with the console
// collected, and returns what it printed.
std::string RunDriver(std::vector<std::string> args) {
  ResetPackerState();
  args.insert(args.begin(), "korvid");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::string text;
  SetConsoleSink(&text);
  EXPECT_EQ(KorvidMain(static_cast<int>(args.size()), argv.data()), 0);
  SetConsoleSink(nullptr);
  return text;
}

TEST(DriverOptions, LastAcceptedWorkAddressWins) {
  RunDriver({"-w", "40000", "-w", "140001"});
  EXPECT_EQ(packerState.workEnd, 040000);
  RunDriver({"-w140000"});
  EXPECT_EQ(packerState.workEnd, 0140000);
  RunDriver({"--work=200000"});
  EXPECT_EQ(packerState.workEnd, 0);
  RunDriver({"-w", "140001"});
  EXPECT_EQ(packerState.workEnd, -1);
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

}  // namespace
