#include "common/option_error.h"

#include <string>

#include "common/console.h"
#include "common/platform.h"

void ReportOptionError(const char* program, const char* element, int refused,
                       const option* longOptions) {
  const bool longForm = element[0] == '-' && element[1] == '-';
  const option* known = nullptr;
  for (const option* o = longOptions; refused != 0 && o->name != nullptr; ++o) {
    if (o->val == refused) known = o;
  }
  // The names come as the system gave them; the refused character as the
  // byte getopt_long saw.
  const std::wstring name = WidenName(program);
  const std::wstring character = WidenName(std::string(1, static_cast<char>(refused)).c_str());
  const std::wstring optionName = known != nullptr ? WidenName(known->name) : std::wstring();
  std::wstring text;
  if (refused == 0) {
    text = FormatText(L"%s: unrecognized option '%s'\n", name.c_str(), WidenName(element).c_str());
  } else if (known == nullptr) {
    text = FormatText(L"%s: invalid option -- '%s'\n", name.c_str(), character.c_str());
  } else if (known->has_arg == no_argument) {
    text = FormatText(L"%s: option '--%s' doesn't allow an argument\n", name.c_str(),
                      optionName.c_str());
  } else if (longForm) {
    text = FormatText(L"%s: option '--%s' requires an argument\n", name.c_str(), optionName.c_str());
  } else {
    text = FormatText(L"%s: option requires an argument -- '%s'\n", name.c_str(),
                      character.c_str());
  }
  ConsoleWriteError(text);
}
