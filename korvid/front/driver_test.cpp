// The command line: the method table behind -t and the help, the rules of
// the -w address, and how the parser tells help from errors.
#include "front/driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/console.h"
#include "front/methods.h"

namespace {

std::string KeywordOf(const wchar_t* keyword) {
  const Method* method = MethodForKeyword(keyword);
  if (method == nullptr) return "none";
  return std::string(method->keyword, method->keyword + std::wcslen(method->keyword));
}

TEST(ToolKeyword, IsCaseInsensitiveButExactInLength) {
  EXPECT_EQ(KeywordOf(L"DORVIK"), "DORVIK");
  EXPECT_EQ(KeywordOf(L"dorvik"), "DORVIK");
  EXPECT_EQ(KeywordOf(L"Dorvik"), "DORVIK");
  EXPECT_EQ(KeywordOf(L"BkGranol"), "BKGRANOL");
  EXPECT_EQ(KeywordOf(L"bkgranol"), "BKGRANOL");
  EXPECT_EQ(KeywordOf(L"DORVIKX"), "none");
  EXPECT_EQ(KeywordOf(L"DORVI"), "none");
  EXPECT_EQ(KeywordOf(L"BKGRAN"), "none");
  EXPECT_EQ(KeywordOf(L""), "none");
  EXPECT_EQ(KeywordOf(L"dorvik "), "none");
  EXPECT_EQ(KeywordOf(L"ДОРВИК"), "none");
}

TEST(MethodTable, EveryRowHasItsOwnKeywordAndExtension) {
  ASSERT_EQ(kMethodCount, 3u);
  for (size_t i = 0; i < kMethodCount; ++i) {
    const Method& method = kMethods[i];
    EXPECT_EQ(MethodForKeyword(method.keyword), &method);
    EXPECT_EQ(method.packExtension[0], L'.');
    EXPECT_NE(std::wstring(method.packExtension), L".bkfile");
    EXPECT_TRUE(method.pack != nullptr && method.unpack != nullptr);
    for (size_t j = 0; j < i; ++j) {
      EXPECT_NE(std::wstring(method.packExtension), kMethods[j].packExtension);
    }
  }
}

TEST(WorkAddress, IsAnOctalNumberUpTo0140000OrNothing) {
  EXPECT_EQ(WorkEndFromArgument("40000"), 040000);
  EXPECT_EQ(WorkEndFromArgument("040000"), 040000);
  EXPECT_EQ(WorkEndFromArgument("140000"), 0140000);
  EXPECT_EQ(WorkEndFromArgument("0"), 0);
  EXPECT_EQ(WorkEndFromArgument("00000000000000000040001"), 040001);
  EXPECT_EQ(WorkEndFromArgument("7"), 7);
  // Not an octal number in range: refused, never read as some other value.
  for (const char* wrong :
       {"140001", "200000", "177777", "77777777777777", "-1", "-0", "+37", "", " 40000", "40000 ",
        "abc", "0x4000", "08", "1778", "4e4", "040000.", "\xD0\xB0"}) {
    EXPECT_EQ(WorkEndFromArgument(wrong), std::nullopt) << wrong;
  }
  // -a takes the same digits up to the top of the address space.
  EXPECT_EQ(LoadAddressFromArgument("177777"), 0177777);
  EXPECT_EQ(LoadAddressFromArgument("0400"), 0400);
  for (const char* wrong : {"200000", "-2", "", "08", "0x400"})
    EXPECT_EQ(LoadAddressFromArgument(wrong), std::nullopt) << wrong;
}

// The parser on a command line, with the console collected.
struct Parsed {
  CommandLine outcome = CommandLine::Wrong;
  PackerState state;
  std::string console;
};

Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "korvid");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  Parsed parsed;
  SetConsoleSink(&parsed.console);
  parsed.outcome = ParseOptions(static_cast<int>(args.size()), argv.data(), &parsed.state);
  SetConsoleSink(nullptr);
  return parsed;
}

TEST(DriverOptions, LastWorkAddressWinsAndAWrongOneEndsTheRun) {
  const Parsed wrong = Parse({"-w", "140001", "-w", "40000"});
  EXPECT_EQ(wrong.outcome, CommandLine::Wrong);
  EXPECT_EQ(wrong.state.workEnd, std::nullopt) << "the run ended at the wrong value";
  EXPECT_EQ(Parse({"-w", "40000", "-w", "0"}).state.workEnd, 0);
  EXPECT_EQ(Parse({"-w140000"}).state.workEnd, 0140000);
  EXPECT_EQ(Parse({"--work=36710"}).state.workEnd, 036710);
}

TEST(DriverOptions, FlagsStartClearAndAreSetByTheirOptions) {
  const Parsed none = Parse({});
  EXPECT_EQ(none.outcome, CommandLine::Run);
  EXPECT_FALSE(none.state.dataMode);
  EXPECT_FALSE(none.state.longStub);
  EXPECT_FALSE(none.state.rawOutput);
  EXPECT_FALSE(none.state.unpackMode);
  EXPECT_EQ(none.state.method, nullptr);
  const Parsed all = Parse({"-d", "--long", "-ru"});
  EXPECT_TRUE(all.state.dataMode);
  EXPECT_TRUE(all.state.longStub);
  EXPECT_TRUE(all.state.rawOutput);
  EXPECT_TRUE(all.state.unpackMode);
}

TEST(DriverOptions, LongOptionsMayBeAbbreviated) {
  const Parsed parsed = Parse({"--to", "bkgranol", "--unp"});
  ASSERT_NE(parsed.state.method, nullptr);
  EXPECT_EQ(std::wstring(parsed.state.method->keyword), L"BKGRANOL");
  EXPECT_TRUE(parsed.state.unpackMode);
}

// The help lists the methods of the table, in its order, in the shape the
// help has always had.
TEST(DriverOptions, HelpListsTheMethodsOfTheTable) {
  const Parsed help = Parse({"--help"});
  EXPECT_EQ(help.outcome, CommandLine::Help);
  const std::string lines =
      "  -t<name> (--tool name) - выбор необходимого инструмента.\n"
      "      name: DORVIK - упаковщик/распаковщик Dorvik.\n"
      "            BKGRANOL - упаковщик/распаковщик Granol.\n"
      "            SOKOL - упаковщик/распаковщик Sokol.\n"
      "\n"
      "  -a<0addr> (--address 0addr)";
  EXPECT_NE(help.console.find(lines), std::string::npos) << help.console;
}

// Runs the whole driver in this process and gives its exit status.
int RunDriver(std::vector<std::string> args) {
  args.insert(args.begin(), "korvid");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::string console;
  SetConsoleSink(&console);
  const int status = KorvidMain(static_cast<int>(args.size()), argv.data());
  SetConsoleSink(nullptr);
  return status;
}

// -? is no option character for the parser: it must still be help, and an
// error before or after it must still be an error, in one process after
// another (the parser keeps state between runs).
TEST(DriverOptions, HelpIsToldFromParseErrorsInEveryOrder) {
  const struct {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"-?"}, 0},           {{"--help"}, 0},   {{"-r?"}, 0},     {{"-x"}, 2},
      {{"-?", "-x"}, 0},     {{"-x", "-?"}, 2}, {{"--bogus"}, 2}, {{"--bogus", "-?"}, 2},
      {{"-u", "-?x"}, 0},    {{"--help=1"}, 2}, {{"-t"}, 2},      {{"--he"}, 0},
      {{"-t", "dorvik"}, 2},  // no input name
  };
  for (const auto& c : cases) {
    std::string line;
    for (const std::string& arg : c.args) line += arg + " ";
    EXPECT_EQ(RunDriver(c.args), c.status) << line;
  }
}

}  // namespace
