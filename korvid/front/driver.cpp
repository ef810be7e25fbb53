#include "front/driver.h"

#include <getopt.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "dorvik/dorvik.h"
#include "dorvik/dorvik_context.h"
#include "front/bk_file.h"
#include "front/console.h"
#include "front/messages.h"
#include "front/packer_state.h"
#include "front/platform.h"
#include "granol/granol.h"

namespace {

constexpr int32_t kHighestWorkEnd = 0140000;

void PrintHelp() { ConsolePrint(kHelpText); }

// Parses the options into packerState. Returns false when the run ends here
// (help asked for, a parse error, or an unknown method keyword).
bool ParseOptions(int argc, char** argv) {
  static const option kLongOptions[] = {
      {"help", no_argument, nullptr, '?'},   {"tool", required_argument, nullptr, 't'},
      {"raw", no_argument, nullptr, 'r'},    {"unpack", no_argument, nullptr, 'u'},
      {"data", no_argument, nullptr, 'd'},   {"long", no_argument, nullptr, 'l'},
      {"work", required_argument, nullptr, 'w'}, {nullptr, 0, nullptr, 0}};
  optind = 0;  // full re-initialisation, POSIXLY_CORRECT included
  int option;
  while ((option = getopt_long(argc, argv, "?t:rudlw:", kLongOptions, nullptr)) != -1) {
    switch (option) {
      case 'd': dorvikContext.dataMode = true; break;
      case 'l': dorvikContext.longStub = true; break;
      case 'r': packerState.rawOutput = true; break;
      case 'u': packerState.unpackMode = true; break;
      case 't': {
        packerState.selectedTool = ToolFromKeyword(WidenName(optarg).c_str());
        if (packerState.selectedTool == Tool::None) {
          PrintHelp();
          return false;
        }
        break;
      }
      case 'w': {
        const long value = WorkEndFromArgument(optarg);
        if (value >= 0) packerState.workEnd = static_cast<int32_t>(value);
        break;
      }
      default:  // '?': -?, --help, or getopt_long's own diagnostic
        PrintHelp();
        return false;
    }
  }
  return true;
}

void RunMethod(const wchar_t* unpackExtension, const wchar_t* packExtension,
               const std::vector<std::wstring>& outputArgs, bool (*unpack)(), bool (*pack)(),
               bool (*write)()) {
  BuildOutputName(static_cast<int>(outputArgs.size()), outputArgs,
                  packerState.unpackMode ? unpackExtension : packExtension);
  if (!ReadInputFile()) return;
  if (OutputWouldOverwriteInput()) return;
  const bool done = packerState.unpackMode ? unpack() : pack();
  if (done) write();
}

}  // namespace

Tool ToolFromKeyword(const wchar_t* keyword) {
  std::wstring upper = keyword;
  for (wchar_t& c : upper) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  if (upper == L"DORVIK") return Tool::Dorvik;
  if (upper == L"BKGRANOL") return Tool::Granol;
  return Tool::None;
}

long WorkEndFromArgument(const char* argument) {
  // The value is read as a 32-bit long would read it: out-of-range numbers
  // saturate, and only then are the low 16 bits kept.
  long long value = std::strtoll(argument, nullptr, 8);
  if (value > INT32_MAX) value = INT32_MAX;
  if (value < INT32_MIN) value = INT32_MIN;
  const long word = static_cast<long>(static_cast<unsigned long long>(value) & 0xFFFF);
  return word <= kHighestWorkEnd ? word : -1;
}

int KorvidMain(int argc, char** argv) {
  // No locale is set: ConsolePrint writes UTF-8 by itself, so the Russian
  // messages read the same on every system, with or without a Russian locale.
  ClearDorvikContext();
  if (!ParseOptions(argc, argv)) return 0;

  if (optind >= argc) {
    ConsolePrint(kMsgNoInputName);
    PrintHelp();
    return 0;
  }
  packerState.inputName = WidenName(argv[optind]);
  std::vector<std::wstring> outputArgs;
  for (int i = optind + 1; i < argc; ++i) outputArgs.push_back(WidenName(argv[i]));

  switch (packerState.selectedTool) {
    case Tool::Dorvik:
      RunMethod(L".bkfile", L".dvk", outputArgs, DorvikUnpack, DorvikPack, WriteDorvikOutput);
      break;
    case Tool::Granol:
      RunMethod(L".bkfile", L".grl", outputArgs, GranolUnpack, GranolPack, WriteGranolOutput);
      break;
    case Tool::None:
      ConsolePrint(kMsgNoTool);
      PrintHelp();
      break;
  }
  return 0;
}
