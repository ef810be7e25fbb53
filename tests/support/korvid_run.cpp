#include "support/korvid_run.h"

RunResult RunKorvidAt(const std::string& korvid, const std::string& folder,
                      const std::vector<std::string>& args, RunOptions options) {
  options.workingDirectory = folder;
  // The program's own behaviour must not depend on the caller's settings.
  options.environment.insert(options.environment.begin(),
                             {{"POSIXLY_CORRECT", ""}, {"LANG", "C"}, {"LC_ALL", "C"}});
  return RunProgram(korvid, args, options);
}

std::string WithoutUnpackTime(const std::string& out) {
  static const std::string kHead = ", ~";
  static const std::string kTail = " с на БК-0010";
  std::string text = out;
  size_t from = 0;
  while ((from = text.find(kHead, from)) != std::string::npos) {
    size_t at = from + kHead.size();
    const size_t digits = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    const bool number = at > digits && at + 1 < text.size() && text[at] == ',' && text[at + 1] >= '0' &&
                        text[at + 1] <= '9';
    if (number && text.compare(at + 2, kTail.size(), kTail) == 0) {
      text.erase(from, at + 2 + kTail.size() - from);
    } else {
      from += kHead.size();
    }
  }
  return text;
}
