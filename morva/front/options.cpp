#include "front/options.h"

#include <getopt.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "common/console.h"
#include "common/option_error.h"
#include "front/messages.h"
#include "front/version.h"
#include "system/platform.h"

namespace {

constexpr int kVersionOption = 0400;  // --version, a long option only

const option kLongOptions[] = {{"help", no_argument, nullptr, 'h'},
                               {"input", required_argument, nullptr, 'i'},
                               {"output", required_argument, nullptr, 'o'},
                               {"tab", required_argument, nullptr, 't'},
                               {"version", no_argument, nullptr, kVersionOption},
                               {nullptr, 0, nullptr, 0}};

}  // namespace

void PrintHelp() { ConsolePrint(kHelpText); }

void TakeModeLetter(const char* argument, wchar_t* mode) {
  const std::wstring text = WidenName(argument);
  if (text.empty()) return;
  wchar_t letter = text[0];
  if (letter >= L'a' && letter <= L'z') letter = static_cast<wchar_t>(letter - L'a' + L'A');
  *mode = letter;
}

int TabWidthFromArgument(const char* argument) {
  const long value = std::strtol(argument, nullptr, 10);
  // Read as a 32-bit number would read it: out-of-range values saturate.
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

ParseOutcome ParseCommandLine(int argc, char** argv, RunSettings* settings) {
  optind = 0;  // full re-initialisation, POSIXLY_CORRECT included
  opterr = 0;
  int option;
  while ((option = getopt_long(argc, argv, "hi:o:t:", kLongOptions, nullptr)) != -1) {
    switch (option) {
      case 'h': PrintHelp(); return ParseOutcome::Help;
      case kVersionOption: PrintVersion(); return ParseOutcome::Help;
      case 'i': TakeModeLetter(optarg, &settings->job.inMode); break;
      case 'o': TakeModeLetter(optarg, &settings->job.outMode); break;
      case 't': settings->tabWidth = TabWidthFromArgument(optarg); break;
      default:
        ReportOptionError(argv[0], optind > 0 ? argv[optind - 1] : "", optopt, kLongOptions);
        return ParseOutcome::UsageError;
    }
  }
  for (int i = optind; i < argc; ++i) settings->patterns.push_back(WidenName(argv[i]));
  return ParseOutcome::Run;
}
