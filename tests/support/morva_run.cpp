#include "support/morva_run.h"

RunResult RunMorvaAt(const std::string& morva, const std::string& folder,
                     const std::vector<std::string>& args, RunOptions options) {
  options.workingDirectory = folder;
  // The program's own behaviour must not depend on the caller's settings.
  options.environment.insert(options.environment.begin(),
                             {{"POSIXLY_CORRECT", ""}, {"LANG", "C"}, {"LC_ALL", "C"}});
  return RunProgram(morva, args, options);
}

std::string Announce(const std::string& in, const std::string& out) {
  return "Преобразование " + in + " -> " + out + "\n";
}

std::string Done(int count) { return "Готово, обработано " + std::to_string(count) + " файлов.\n"; }

std::string EncodingReport(const std::string& detected, const std::string& used) {
  return "Автоопределение кодировки: " + detected + ", преобразование будет из: " + used + "\n";
}
