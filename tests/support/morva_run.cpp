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

namespace {

std::string Files(int n) {
  const int lastTwo = n % 100;
  const int last = n % 10;
  const char* noun = lastTwo >= 11 && lastTwo <= 14 ? "файлов"
                     : last == 1                    ? "файл"
                     : last >= 2 && last <= 4       ? "файла"
                                                    : "файлов";
  return std::to_string(n) + " " + noun;
}

}  // namespace

std::string Done(int converted, int failed) {
  return "Готово, обработано " + Files(converted) +
         (failed > 0 ? ", не удалось обработать " + Files(failed) : "") + ".\n";
}

std::string EncodingReport(const std::string& detected, const std::string& used) {
  return "Автоопределение кодировки: " + detected + ", преобразование будет из: " + used + "\n";
}
