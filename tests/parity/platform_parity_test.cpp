// The Linux and the Windows programs on the same inputs: every file they
// write, the console text and the exit status must be the same bytes.
// Windows runs its programs under Wine, through the scripts that the build
// writes; both run in folders of their own with the same relative names.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/korvid_golden_cases.h"
#include "support/korvid_run.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

// Every file a run leaves in its folder, by name, with its bytes.
using Folder = std::vector<std::pair<std::string, Bytes>>;

Folder Contents(const TempDir& dir) {
  Folder files;
  for (const std::string& name : ListDirectory(dir.path())) {
    files.emplace_back(name, ReadFileBytes(dir / name));
  }
  return files;
}

struct Outcome {
  RunResult run;
  Folder files;
};

// The same files in two fresh folders, the same command in each.
struct Twins {
  TempDir linux;
  TempDir windows;

  void Write(const std::string& name, const Bytes& bytes) {
    WriteFileBytes(linux / name, bytes);
    WriteFileBytes(windows / name, bytes);
  }
};

Outcome RunIn(const std::string& program, const TempDir& dir, const std::vector<std::string>& args) {
  RunOptions options;
  options.workingDirectory = dir.path();
  options.environment = {{"POSIXLY_CORRECT", ""}, {"LANG", "C"}};
  Outcome outcome;
  outcome.run = RunProgram(program, args, options);
  outcome.files = Contents(dir);
  return outcome;
}

// Runs both programs and compares everything they gave; returns the Linux
// run for the checks of the caller.
RunResult ExpectSameRun(Twins& twins, const std::string& linuxProgram,
                        const std::string& windowsProgram, const std::vector<std::string>& args) {
  std::string command;
  for (const std::string& arg : args) command += " " + arg;
  const Outcome onLinux = RunIn(linuxProgram, twins.linux, args);
  const Outcome onWindows = RunIn(windowsProgram, twins.windows, args);
  EXPECT_FALSE(onWindows.run.timedOut) << command;
  EXPECT_EQ(onWindows.run.exitStatus, onLinux.run.exitStatus) << command;
  EXPECT_EQ(onWindows.run.out, onLinux.run.out) << command;
  EXPECT_EQ(onWindows.run.err, onLinux.run.err) << command;
  EXPECT_EQ(onWindows.files.size(), onLinux.files.size()) << command;
  for (size_t i = 0; i < onLinux.files.size() && i < onWindows.files.size(); ++i) {
    EXPECT_EQ(onWindows.files[i].first, onLinux.files[i].first) << command;
    EXPECT_TRUE(onWindows.files[i].second == onLinux.files[i].second)
        << command << ": " << onLinux.files[i].first << " differs";
  }
  return onLinux.run;
}

RunResult SameKorvid(Twins& twins, const std::vector<std::string>& args) {
  return ExpectSameRun(twins, LINUX_KORVID, WINDOWS_KORVID, args);
}

RunResult SameMorva(Twins& twins, const std::vector<std::string>& args) {
  return ExpectSameRun(twins, LINUX_MORVA, WINDOWS_MORVA, args);
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Every generated case of the pinned korvid results, for both methods:
// packing with every option, unpacking, damaged and foreign images.
// Windows drops a last dot of a name and holds no bytes that are no UTF-8:
// such input names, and the cases built on their images, are left out.
std::vector<KorvidGoldenCase> WindowsNamedCases(const std::vector<KorvidGoldenCase>& all) {
  std::vector<KorvidGoldenCase> cases;
  std::vector<std::string> leftOut;
  for (const KorvidGoldenCase& c : all) {
    bool utf8 = true;
    for (size_t i = 0; i < c.inputName.size(); ++i) {
      const auto b = static_cast<unsigned char>(c.inputName[i]);
      if (b == 0xE9 || b >= 0xF8) utf8 = false;  // the one Latin-1 name of the cases
    }
    const bool based = std::find(leftOut.begin(), leftOut.end(), c.base) != leftOut.end();
    if (!utf8 || c.inputName.back() == '.' || based) {
      leftOut.push_back(c.name);
    } else {
      cases.push_back(c);
    }
  }
  return cases;
}

TEST(KorvidParity, EveryPinnedCaseGivesTheSameRecord) {
  const std::vector<KorvidGoldenCase> cases = WindowsNamedCases(GeneratedGoldenCases(EXAMPLES_DIR));
  ASSERT_FALSE(cases.empty());
  const std::vector<KorvidGoldenRun> onLinux = RunGoldenCases(cases, LINUX_KORVID);
  const std::vector<KorvidGoldenRun> onWindows = RunGoldenCases(cases, WINDOWS_KORVID);
  ASSERT_EQ(onWindows.size(), onLinux.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(GoldenRecord(cases[i], onWindows[i]), GoldenRecord(cases[i], onLinux[i]))
        << cases[i].name << "\n"
        << onLinux[i].first.out << onWindows[i].first.out;
  }
}

TEST(KorvidParity, RealProgramsPackAndUnpackAlike) {
  const std::vector<KorvidGoldenCase> cases = CorpusGoldenCases(BK_CORPUS_DIR);
  if (cases.empty()) GTEST_SKIP() << "no BK programs in " << BK_CORPUS_DIR;
  const std::vector<KorvidGoldenRun> onLinux = RunGoldenCases(cases, LINUX_KORVID);
  const std::vector<KorvidGoldenRun> onWindows = RunGoldenCases(cases, WINDOWS_KORVID);
  ASSERT_EQ(onWindows.size(), onLinux.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(GoldenRecord(cases[i], onWindows[i]), GoldenRecord(cases[i], onLinux[i]))
        << cases[i].name;
  }
}

TEST(KorvidParity, NamesFailuresAndTheCommandLine) {
  Twins twins;
  const Bytes hello = ReadFileBytes(std::string(EXAMPLES_DIR) + "/hello.bin");
  ASSERT_FALSE(hello.empty());
  twins.Write("игра.bin", hello);
  // A Cyrillic name, packed and unpacked; its output names follow from it.
  EXPECT_EQ(SameKorvid(twins, {"-t", "dorvik", "игра.bin"}).exitStatus, kKorvidWritten);
  EXPECT_EQ(SameKorvid(twins, {"-u", "-tDORVIK", "игра.dvk", "назад"}).exitStatus, kKorvidWritten);
  EXPECT_EQ(SameKorvid(twins, {"--tool=bkgranol", "-r", "игра.bin", "сырой.x"}).exitStatus,
            kKorvidWritten);
  // The output is the input; a missing input; the command line is wrong.
  EXPECT_EQ(SameKorvid(twins, {"-t", "dorvik", "игра.dvk"}).exitStatus, kKorvidFailed);
  EXPECT_EQ(SameKorvid(twins, {"-t", "dorvik", "нет.bin"}).exitStatus, kKorvidFailed);
  EXPECT_EQ(SameKorvid(twins, {"-t", "метод", "игра.bin"}).exitStatus, kKorvidUsage);
  EXPECT_EQ(SameKorvid(twins, {"-w", "9", "-t", "dorvik", "игра.bin"}).exitStatus, kKorvidUsage);
  EXPECT_EQ(SameKorvid(twins, {"игра.bin"}).exitStatus, kKorvidUsage);
  EXPECT_EQ(SameKorvid(twins, {"-?"}).exitStatus, kKorvidWritten);
  EXPECT_EQ(SameKorvid(twins, {"--version"}).exitStatus, kKorvidWritten);
}

// A text with Russian letters, box drawing and a character that no BK
// format has (beyond U+FFFF, so that Windows' 16-bit characters show it as
// one).
const std::string kRussianText =
    "Привет, БК!\r\n\tЁлка и ёж — «кавычки».\r\n┌──┐ 100%\r\nзнак \xF0\x9F\x98\x80 конец\r\n";

TEST(MorvaParity, EveryOutputFormatFromOneText) {
  for (const char* mode : {"u", "8", "w", "o", "k", "e", "d", "v", "b"}) {
    Twins twins;
    twins.Write("привет.txt", Text("\xEF\xBB\xBF" + kRussianText));
    const RunResult run = SameMorva(twins, {"-o", mode, "привет.txt"});
    EXPECT_EQ(run.exitStatus, 0) << mode << "\n" << run.out;
  }
}

TEST(MorvaParity, BkFormatsBackToPcTextsAndAPattern) {
  Twins twins;
  twins.Write("привет.txt", Text("\xEF\xBB\xBF" + kRussianText));
  twins.Write("второй.txt", Text("Второй текст\r\nв CP1251? Нет, UTF-8 без BOM.\r\n"));
  twins.Write("notes.edp", Text("no match"));
  // A pattern of both files, expanded by the programs themselves.
  EXPECT_EQ(SameMorva(twins, {"-o", "e", "*.txt"}).exitStatus, 0);
  EXPECT_EQ(SameMorva(twins, {"-i", "e", "-o", "8", "п*.edp"}).exitStatus, 0);
  EXPECT_EQ(SameMorva(twins, {"-o", "v", "-t", "8", "в?орой.txt"}).exitStatus, 0);
  EXPECT_EQ(SameMorva(twins, {"-i", "v", "-o", "w", "второй.vxt"}).exitStatus, 0);
  EXPECT_EQ(SameMorva(twins, {"-o", "b", "привет.txt"}).exitStatus, 0);
  EXPECT_EQ(SameMorva(twins, {"-i", "b", "-o", "o", "привет.ASC.bin"}).exitStatus, 0);
  // What fails: no match, an output that is an input of the run, usage.
  EXPECT_EQ(SameMorva(twins, {"-o", "e", "*.нет"}).exitStatus, 1);
  EXPECT_EQ(SameMorva(twins, {"-i", "e", "-o", "8", "привет.edp", "привет.txt"}).exitStatus, 1);
  EXPECT_EQ(SameMorva(twins, {"-i", "x", "привет.txt"}).exitStatus, 2);
  EXPECT_EQ(SameMorva(twins, {"-h"}).exitStatus, 0);
  EXPECT_EQ(SameMorva(twins, {}).exitStatus, 2);
}

}  // namespace
