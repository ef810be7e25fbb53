#include "front/driver.h"

#include <getopt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/option_error.h"
#include "common/platform.h"
#include "front/files.h"
#include "front/messages.h"
#include "front/methods.h"
#include "front/version.h"

namespace {

constexpr long kHighestWorkEnd = 0140000;
constexpr long kHighestLoadAddress = 0177777;
// The value getopt_long returns for --help: no short option has it.
constexpr int kHelpOption = 0400;
constexpr int kVersionOption = 0401;  // --version, a long option only

constexpr const wchar_t* kUnpackExtension = L".bkfile";

const option kLongOptions[] = {
    {"help", no_argument, nullptr, kHelpOption},  {"tool", required_argument, nullptr, 't'},
    {"raw", no_argument, nullptr, 'r'},           {"unpack", no_argument, nullptr, 'u'},
    {"data", no_argument, nullptr, 'd'},          {"long", no_argument, nullptr, 'l'},
    {"work", required_argument, nullptr, 'w'},    {"version", no_argument, nullptr, kVersionOption},
    {"address", required_argument, nullptr, 'a'}, {nullptr, 0, nullptr, 0}};

// The help lists the methods of the table and their extensions.
void PrintHelp() {
  std::wstring text = kHelpHead;
  for (size_t i = 0; i < kMethodCount; ++i) {
    text += FormatText(kHelpMethodLine, i == 0 ? kHelpFirstMethod : kHelpNextMethod,
                       kMethods[i].keyword, kMethods[i].name);
  }
  text += kHelpMiddle;
  for (size_t i = 0; i < kMethodCount; ++i) {
    text += FormatText(kHelpExtensionLine, kMethods[i].packExtension, kMethods[i].name);
  }
  text += kHelpTail;
  ConsoleWrite(text);
}

// An option argument that is wrong: its message, and the help.
CommandLine WrongArgument(const wchar_t* message, const char* argument) {
  ConsolePrint(message, WidenName(argument).c_str());
  PrintHelp();
  return CommandLine::Wrong;
}

// An octal address of the command line: digits 0-7 only, at most `highest`;
// none for anything else.
std::optional<uint16_t> OctalArgument(const char* argument, long highest) {
  if (*argument == '\0') return std::nullopt;
  long value = 0;
  for (const char* p = argument; *p != '\0'; ++p) {
    if (*p < '0' || *p > '7') return std::nullopt;
    value = value * 8 + (*p - '0');
    if (value > highest) return std::nullopt;
  }
  return static_cast<uint16_t>(value);
}

// The load address on the result line of an unpacking, for an input
// without a header: where it came from.
const wchar_t* AddressSourceText(AddressSource source) {
  switch (source) {
    case AddressSource::Image: return kMsgAddressOfImage;
    case AddressSource::Option: return kMsgAddressOfOption;
    case AddressSource::Default: return kMsgAddressByDefault;
    case AddressSource::Header: break;
  }
  return nullptr;
}

// The result goes on the run's console line once the output is in place:
// after packing the ratio of output to input (not for an empty input) and
// the estimated unpacking time on a BK-0010, rounded to tenths of a second,
// and what the method adds; " OK" after unpacking; then the notes about what the output cannot say.
void PrintResult(const PackerState& state, size_t inputLength, const MethodOutcome& outcome,
                 const proof::Proof& proven) {
  const auto tenths = static_cast<unsigned>(proven.Seconds() * 10 + 0.5);
  if (state.unpackMode && state.addressSource != AddressSource::Header) {
    ConsolePrint(kMsgUnpackedAt, static_cast<unsigned>(outcome.loadAddress),
                 AddressSourceText(state.addressSource));
  } else if (state.unpackMode) {
    ConsolePrint(kMsgUnpacked);
  } else if (inputLength == 0) {
    ConsolePrint(kMsgPackedEmpty, tenths / 10, tenths % 10);
  } else {
    const auto ratio = static_cast<unsigned>(outcome.bytes.size() * 100u / inputLength);
    ConsolePrint(kMsgPacked, static_cast<int>(ratio), tenths / 10, tenths % 10);
  }
  if (!state.unpackMode) {
    ConsoleWrite(outcome.resultDetails);
    ConsolePrint(kMsgResultEnd);
  }
  for (const std::wstring& note : outcome.notes) ConsoleWrite(note);
}

const wchar_t* StopText(pdp11::StopReason reason) {
  switch (reason) {
    case pdp11::StopReason::OddAddress: return kMsgProofStopOddAddress;
    case pdp11::StopReason::NonExistentMemory: return kMsgProofStopNoMemory;
    case pdp11::StopReason::ReservedInstruction: return kMsgProofStopReserved;
    case pdp11::StopReason::IllegalInstruction: return kMsgProofStopIllegal;
    case pdp11::StopReason::Emt: return kMsgProofStopEmt;
    case pdp11::StopReason::Trap: return kMsgProofStopTrap;
    case pdp11::StopReason::Iot: return kMsgProofStopIot;
    case pdp11::StopReason::Bpt: return kMsgProofStopBpt;
    case pdp11::StopReason::TraceTrap: return kMsgProofStopTrace;
    case pdp11::StopReason::Halt: return kMsgProofStopHalt;
    case pdp11::StopReason::Wait: return kMsgProofStopWait;
    case pdp11::StopReason::None:
    case pdp11::StopReason::HandOff:
    case pdp11::StopReason::StepLimit: break;
  }
  return kMsgProofStopHalt;  // not a trap: Prove never reports these as one
}

// Why an image failed its proof, in place of the result.
void PrintProofFailure(const proof::Proof& failed) {
  auto u = [](uint32_t value) { return static_cast<unsigned>(value); };
  switch (failed.verdict) {
    case proof::Verdict::Proven: break;
    case proof::Verdict::DataDiffers:
      ConsolePrint(kMsgProofDataDiffers, u(failed.address), u(failed.found), u(failed.expected));
      break;
    case proof::Verdict::StrayWrite: ConsolePrint(kMsgProofStrayWrite, u(failed.address)); break;
    case proof::Verdict::Trap:
      if (failed.trap == pdp11::StopReason::OddAddress ||
          failed.trap == pdp11::StopReason::NonExistentMemory) {
        ConsolePrint(kMsgProofMemoryTrap, StopText(failed.trap), u(failed.address), u(failed.pc));
      } else {
        ConsolePrint(kMsgProofTrap, StopText(failed.trap), u(failed.pc));
      }
      break;
    case proof::Verdict::StepLimit: ConsolePrint(kMsgProofStepLimit, u(failed.pc)); break;
    case proof::Verdict::WrongHandOff:
      ConsolePrint(kMsgProofWrongHandOff, u(failed.address), u(failed.expected));
      break;
    case proof::Verdict::WrongRegister:
      ConsolePrint(kMsgProofWrongRegister, failed.reg == pdp11::kSp ? L"SP" : L"R0",
                   u(failed.found), u(failed.expected));
      break;
    case proof::Verdict::NoRoom: ConsolePrint(kMsgProofNoRoom); break;
  }
}

int RunMethod(PackerState& state, const std::vector<std::wstring>& outputArgs,
              const RunHooks& hooks) {
  const Method& method = *state.method;
  const bool unpack = state.unpackMode;
  state.outputName =
      OutputNameForRun(state.inputName, outputArgs.empty() ? nullptr : &outputArgs[0],
                       unpack ? kUnpackExtension : method.packExtension);
  if (!ReadInputFile(state, method.findRawImage)) return kExitFailed;
  if (OutputWouldOverwriteInput(state)) return kExitFailed;
  MethodOutcome outcome = unpack ? method.unpack(state) : method.pack(state);
  if (!outcome.done) return kExitFailed;
  // Only an image that runs on the model and gives the input back is written.
  proof::Proof proven;
  if (!unpack) {
    if (hooks.beforeProof) hooks.beforeProof(outcome.bytes);
    proven = outcome.prove(outcome.bytes);
    if (!proven.Proven()) {
      PrintProofFailure(proven);
      return kExitFailed;
    }
    if (hooks.proven) hooks.proven(state, outcome, proven);
  }
  if (!WriteOutputFile(state, outcome)) return kExitFailed;
  PrintResult(state, state.data.size(), outcome, proven);
  return kExitWritten;
}

}  // namespace

CommandLine ParseOptions(int argc, char** argv, PackerState* state) {
  optind = 0;  // full re-initialisation, POSIXLY_CORRECT included
  opterr = 0;
  int option;
  while ((option = getopt_long(argc, argv, "t:rudlw:a:", kLongOptions, nullptr)) != -1) {
    switch (option) {
      case 'd': state->dataMode = true; break;
      case 'l': state->longStub = true; break;
      case 'r': state->rawOutput = true; break;
      case 'u': state->unpackMode = true; break;
      case 't':
        state->method = MethodForKeyword(WidenName(optarg));
        if (state->method == nullptr) return WrongArgument(kMsgUnknownTool, optarg);
        break;
      case 'w':
        state->workEnd = WorkEndFromArgument(optarg);
        if (!state->workEnd) return WrongArgument(kMsgBadWorkAddress, optarg);
        break;
      case 'a':
        state->givenAddress = LoadAddressFromArgument(optarg);
        if (!state->givenAddress) return WrongArgument(kMsgBadLoadAddress, optarg);
        break;
      case kHelpOption: PrintHelp(); return CommandLine::Help;
      case kVersionOption: PrintKorvidVersion(); return CommandLine::Help;
      default:  // '?': -? ('?' is no option character for getopt_long), or
                // an option getopt_long refused
        if (optopt == '?') {
          PrintHelp();
          return CommandLine::Help;
        }
        ReportOptionError(argv[0], optind > 0 ? argv[optind - 1] : "", optopt, kLongOptions);
        PrintHelp();
        return CommandLine::Wrong;
    }
  }
  return CommandLine::Run;
}

std::optional<uint16_t> WorkEndFromArgument(const char* argument) {
  return OctalArgument(argument, kHighestWorkEnd);
}

std::optional<uint16_t> LoadAddressFromArgument(const char* argument) {
  return OctalArgument(argument, kHighestLoadAddress);
}

int KorvidMain(int argc, char** argv, const RunHooks& hooks) {
  // No locale is set: ConsolePrint writes UTF-8 by itself, so the Russian
  // messages read the same on every system, with or without a Russian locale.
  PackerState state;
  switch (ParseOptions(argc, argv, &state)) {
    case CommandLine::Help: return kExitWritten;
    case CommandLine::Wrong: return kExitUsage;
    case CommandLine::Run: break;
  }

  if (optind >= argc) {
    ConsolePrint(kMsgNoInputName);
    PrintHelp();
    return kExitUsage;
  }
  state.inputName = WidenName(argv[optind]);
  std::vector<std::wstring> outputArgs;
  for (int i = optind + 1; i < argc; ++i) outputArgs.push_back(WidenName(argv[i]));

  if (state.method == nullptr) {
    ConsolePrint(kMsgNoTool);
    PrintHelp();
    return kExitUsage;
  }
  return RunMethod(state, outputArgs, hooks);
}
