#include "front/driver.h"

#include <getopt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dorvik/dorvik.h"
#include "dorvik/dorvik_context.h"
#include "front/bk_file.h"
#include "front/console.h"
#include "front/messages.h"
#include "front/packer_state.h"
#include "common/platform.h"
#include "granol/granol.h"

namespace {

constexpr long kHighestWorkEnd = 0140000;
// The value getopt_long returns for --help: no short option has it.
constexpr int kHelpOption = 0400;

enum class CommandLine { Run, Help, Wrong };

// One row per method: the extension of its images, its two directions, the
// bytes it leaves for the output, and how a headerless image of it looks.
struct Method {
  Tool tool;
  const wchar_t* packExtension;
  bool (*pack)();
  bool (*unpack)();
  OutputData (*output)();
  RawImageProbe rawImage;
};

// clang-format off
constexpr Method kMethods[] = {
    {Tool::Dorvik, L".dvk", DorvikPack, DorvikUnpack, DorvikOutputData, IsRawDorvikImage},
    {Tool::Granol, L".grl", GranolPack, GranolUnpack, GranolOutputData, IsRawGranolImage},
};
// clang-format on
constexpr const wchar_t* kUnpackExtension = L".bkfile";

const option kLongOptions[] = {
    {"help", no_argument, nullptr, kHelpOption}, {"tool", required_argument, nullptr, 't'},
    {"raw", no_argument, nullptr, 'r'},          {"unpack", no_argument, nullptr, 'u'},
    {"data", no_argument, nullptr, 'd'},         {"long", no_argument, nullptr, 'l'},
    {"work", required_argument, nullptr, 'w'},   {nullptr, 0, nullptr, 0}};

void PrintHelp() { ConsolePrint(kHelpText); }

const option* LongOptionFor(int value) {
  for (const option* o = kLongOptions; o->name != nullptr; ++o) {
    if (o->val == value) return o;
  }
  return nullptr;
}

// The parser's diagnostic, in the parser's own words, for the element that
// getopt_long has just refused. korvid writes it itself: for getopt_long
// '?' is no option character, so that -? arrives as an unknown option '?'
// and can be told from the real ones.
void ReportOptionError(char** argv) {
  const char* program = argv[0];
  const char* element = optind > 0 ? argv[optind - 1] : "";
  const bool longForm = element[0] == '-' && element[1] == '-';
  const option* known = LongOptionFor(optopt);
  if (optopt == 0) {
    std::fprintf(stderr, "%s: unrecognized option '%s'\n", program, element);
  } else if (known == nullptr) {
    std::fprintf(stderr, "%s: invalid option -- '%c'\n", program, optopt);
  } else if (known->has_arg == no_argument) {
    std::fprintf(stderr, "%s: option '--%s' doesn't allow an argument\n", program, known->name);
  } else if (longForm) {
    std::fprintf(stderr, "%s: option '--%s' requires an argument\n", program, known->name);
  } else {
    std::fprintf(stderr, "%s: option requires an argument -- '%c'\n", program, optopt);
  }
}

// Parses the options into packerState. Help ends the run as a success; a
// wrong option or option argument ends it with a message and the help.
CommandLine ParseOptions(int argc, char** argv) {
  optind = 0;  // full re-initialisation, POSIXLY_CORRECT included
  opterr = 0;
  int option;
  while ((option = getopt_long(argc, argv, "t:rudlw:", kLongOptions, nullptr)) != -1) {
    switch (option) {
      case 'd': dorvikContext.dataMode = true; break;
      case 'l': dorvikContext.longStub = true; break;
      case 'r': packerState.rawOutput = true; break;
      case 'u': packerState.unpackMode = true; break;
      case 't': {
        const std::wstring keyword = WidenName(optarg);
        packerState.selectedTool = ToolFromKeyword(keyword.c_str());
        if (packerState.selectedTool == Tool::None) {
          ConsolePrint(kMsgUnknownTool, keyword.c_str());
          PrintHelp();
          return CommandLine::Wrong;
        }
        break;
      }
      case 'w': {
        const long value = WorkEndFromArgument(optarg);
        if (value < 0) {
          ConsolePrint(kMsgBadWorkAddress, WidenName(optarg).c_str());
          PrintHelp();
          return CommandLine::Wrong;
        }
        packerState.workEnd = static_cast<int32_t>(value);
        break;
      }
      case kHelpOption:
        PrintHelp();
        return CommandLine::Help;
      default:  // '?': -?, or an option getopt_long refused
        if (optopt == '?') {
          PrintHelp();
          return CommandLine::Help;
        }
        ReportOptionError(argv);
        PrintHelp();
        return CommandLine::Wrong;
    }
  }
  return CommandLine::Run;
}

// The result goes on the run's console line once the output is in place:
// the ratio of output to input after packing (not for an empty input),
// " OK" after unpacking; then the notes the method left about the result.
void PrintResult(int32_t inputLength, uint16_t outputLength) {
  if (packerState.unpackMode || inputLength == 0) {
    ConsolePrint(kMsgUnpacked);
  } else {
    const unsigned ratio = outputLength * 100u / static_cast<unsigned>(inputLength);
    ConsolePrint(kMsgPacked, static_cast<int>(ratio));
  }
  PrintConsoleNotes();
}

int RunMethod(const Method& method, const std::vector<std::wstring>& outputArgs) {
  const bool unpack = packerState.unpackMode;
  BuildOutputName(static_cast<int>(outputArgs.size()), outputArgs,
                  unpack ? kUnpackExtension : method.packExtension);
  if (!ReadInputFile(unpack ? method.rawImage : nullptr)) return kExitFailed;
  if (OutputWouldOverwriteInput()) return kExitFailed;
  const int32_t inputLength = packerState.dataLength;
  const bool done = unpack ? method.unpack() : method.pack();
  const OutputData output = method.output();
  if (!done || !WriteOutputFile(output)) {
    DropConsoleNotes();
    return kExitFailed;
  }
  PrintResult(inputLength, output.length);
  return kExitWritten;
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
  if (*argument == '\0') return -1;
  long value = 0;
  for (const char* p = argument; *p != '\0'; ++p) {
    if (*p < '0' || *p > '7') return -1;
    value = value * 8 + (*p - '0');
    if (value > kHighestWorkEnd) return -1;
  }
  return value;
}

int KorvidMain(int argc, char** argv) {
  // No locale is set: ConsolePrint writes UTF-8 by itself, so the Russian
  // messages read the same on every system, with or without a Russian locale.
  ClearDorvikContext();
  switch (ParseOptions(argc, argv)) {
    case CommandLine::Help: return kExitWritten;
    case CommandLine::Wrong: return kExitUsage;
    case CommandLine::Run: break;
  }

  if (optind >= argc) {
    ConsolePrint(kMsgNoInputName);
    PrintHelp();
    return kExitUsage;
  }
  packerState.inputName = WidenName(argv[optind]);
  std::vector<std::wstring> outputArgs;
  for (int i = optind + 1; i < argc; ++i) outputArgs.push_back(WidenName(argv[i]));

  for (const Method& method : kMethods) {
    if (method.tool == packerState.selectedTool) return RunMethod(method, outputArgs);
  }
  ConsolePrint(kMsgNoTool);
  PrintHelp();
  return kExitUsage;
}
