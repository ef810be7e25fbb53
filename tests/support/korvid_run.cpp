#include "support/korvid_run.h"

RunResult RunKorvidAt(const std::string& korvid, const std::string& folder,
                      const std::vector<std::string>& args, RunOptions options) {
  options.workingDirectory = folder;
  // The program's own behaviour must not depend on the caller's settings.
  options.environment.insert(options.environment.begin(),
                             {{"POSIXLY_CORRECT", ""}, {"LANG", "C"}, {"LC_ALL", "C"}});
  return RunProgram(korvid, args, options);
}
