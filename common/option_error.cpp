#include "common/option_error.h"

#include <cstdio>

void ReportOptionError(const char* program, const char* element, int refused,
                       const option* longOptions) {
  const bool longForm = element[0] == '-' && element[1] == '-';
  const option* known = nullptr;
  for (const option* o = longOptions; refused != 0 && o->name != nullptr; ++o) {
    if (o->val == refused) known = o;
  }
  if (refused == 0) {
    std::fprintf(stderr, "%s: unrecognized option '%s'\n", program, element);
  } else if (known == nullptr) {
    std::fprintf(stderr, "%s: invalid option -- '%c'\n", program, refused);
  } else if (known->has_arg == no_argument) {
    std::fprintf(stderr, "%s: option '--%s' doesn't allow an argument\n", program, known->name);
  } else if (longForm) {
    std::fprintf(stderr, "%s: option '--%s' requires an argument\n", program, known->name);
  } else {
    std::fprintf(stderr, "%s: option requires an argument -- '%c'\n", program, refused);
  }
}
