// Mode letters, display names and output naming.
#include "front/modes.h"

#include <gtest/gtest.h>

#include "files/asc_file.h"
#include "files/win_file.h"
#include "front/options.h"

namespace {

// What the run checks before it announces anything.
bool IsValidModePair(const ConversionJob& job) {
  return FindInputMode(job.inMode) != nullptr && FindOutputMode(job.outMode) != nullptr;
}

// The name the run announces a letter by.
std::wstring Name(wchar_t letter) {
  const Mode* mode =
      FindInputMode(letter) != nullptr ? FindInputMode(letter) : FindOutputMode(letter);
  return mode != nullptr ? mode->DisplayName() : L"";
}

std::wstring OutputName(const std::wstring& input, wchar_t mode) {
  ConversionJob job;
  job.inName = input;
  job.outMode = mode;
  job.MakeOutputName();
  return job.outName;
}

// The worked naming examples run end to end; these are the odd names.
TEST(MakeOutputNameTest, NamesStartingWithADotAndNonLatinNames) {
  EXPECT_EQ(OutputName(L".profile", L'U'), L".txt");
  EXPECT_EQ(OutputName(L".txt", L'U'), L".txt.txt");
  EXPECT_EQ(OutputName(L"x.edp", L'8'), L"x.txt");
  EXPECT_EQ(OutputName(L"текст.edp", L'K'), L"текст.txt");
}

TEST(MakeOutputNameTest, DirectoryPartIsKeptAndItsDotsAreNoExtension) {
  EXPECT_EQ(OutputName(L"texts/a.edp", L'U'), L"texts/a.txt");
  EXPECT_EQ(OutputName(L"my.texts/notes", L'E'), L"my.texts/notes.edp");
  EXPECT_EQ(OutputName(L"my.texts/notes.vxt", L'D'), L"my.texts/notes.edp");
  EXPECT_EQ(OutputName(L"notes.edp", L'D'), L"notes.edp.edp");
  EXPECT_EQ(OutputName(L"./a.txt", L'W'), L"./a.txt.txt");
  EXPECT_EQ(OutputName(L"../v1.2/.txt", L'U'), L"../v1.2/.txt.txt");
}

TEST(ModeTest, ValidPairsAndNames) {
  ConversionJob job;
  EXPECT_TRUE(IsValidModePair(job));  // A -> U, the defaults
  for (wchar_t in : std::wstring(L"ABUWOKREDV")) {
    for (wchar_t out : std::wstring(L"8BUWOKREDV")) {
      job.inMode = in;
      job.outMode = out;
      EXPECT_TRUE(IsValidModePair(job)) << char(in) << char(out);
    }
  }
  const std::pair<wchar_t, wchar_t> invalid[] = {{L'8', L'U'}, {L'A', L'A'}, {L'u', L'E'},
                                                 {L'U', L'e'}, {L'Q', L'U'}, {L'\0', L'U'}};
  for (const auto& [in, out] : invalid) {
    job.inMode = in;
    job.outMode = out;
    EXPECT_FALSE(IsValidModePair(job)) << int(in) << " " << int(out);
  }
  EXPECT_EQ(Name(L'A'), L"Авто");
  EXPECT_EQ(Name(L'U'), L"Unicode UTF-16LE");
  EXPECT_EQ(Name(L'8'), L"Unicode UTF-8");
  EXPECT_EQ(Name(L'W'), L"Windows 1251");
  EXPECT_EQ(Name(L'O'), L"OEM CP-866");
  EXPECT_EQ(Name(L'K'), L"KOI8R");
  EXPECT_EQ(Name(L'R'), L"KOI8R (стандарт)");
  EXPECT_EQ(Name(L'E'), L"Edasp");
  EXPECT_EQ(Name(L'D'), L"Edasp (стандарт)");
  EXPECT_EQ(Name(L'V'), L"Vortex");
  EXPECT_EQ(Name(L'B'), L"Basic ASC");
}

// The file each letter reads and writes: a wrong row would read a text in
// the wrong encoding or as the wrong kind of file.
TEST(ModeTableTest, EachLetterMakesItsFilesAndHasItsRoutine) {
  const std::pair<wchar_t, TextFormat> pcTexts[] = {
      {L'A', TextFormat::Auto},    {L'U', TextFormat::Utf16le}, {L'8', TextFormat::Utf8},
      {L'W', TextFormat::Win1251}, {L'O', TextFormat::Oem866},  {L'K', TextFormat::Koi8r},
      {L'R', TextFormat::Koi8rStandard}};
  for (const auto& [letter, format] : pcTexts) {
    for (const Mode* mode : {FindInputMode(letter), FindOutputMode(letter)}) {
      if (mode == nullptr) continue;
      const std::unique_ptr<CBaseFile> file = MakeModeFile(*mode, L"x");
      const auto* pc = dynamic_cast<const CWinFile*>(file.get());
      ASSERT_NE(pc, nullptr) << char(letter);
      EXPECT_EQ(pc->GetEncoding(), format) << char(letter);
    }
  }
  for (wchar_t letter : std::wstring(L"EDV")) {
    const std::unique_ptr<CBaseFile> in = MakeModeFile(*FindInputMode(letter), L"x");
    const std::unique_ptr<CBaseFile> out = MakeModeFile(*FindOutputMode(letter), L"x");
    for (CBaseFile* file : {in.get(), out.get()}) {
      EXPECT_NE(dynamic_cast<CBkFile*>(file), nullptr) << char(letter);
      EXPECT_EQ(dynamic_cast<CBkAscFile*>(file), nullptr) << char(letter);
    }
  }
  EXPECT_NE(dynamic_cast<CBkAscFile*>(MakeModeFile(*FindOutputMode(L'B'), L"x").get()), nullptr);
  EXPECT_NE(dynamic_cast<CBkAscFile*>(MakeModeFile(*FindInputMode(L'B'), L"x").get()), nullptr);

  // Only the set is a set, and only Vortex looks ahead; every output has
  // its routine.
  for (wchar_t letter : std::wstring(L"U8WOKREDVB")) {
    const Mode* mode = FindOutputMode(letter);
    ASSERT_NE(mode, nullptr) << char(letter);
    EXPECT_NE(mode->convert, nullptr) << char(letter);
    EXPECT_EQ(mode->kind == ModeKind::AscSet, letter == L'B') << char(letter);
    EXPECT_EQ(mode->looksAhead, letter == L'V') << char(letter);
  }
  EXPECT_EQ(FindOutputMode(L'A'), nullptr);
  EXPECT_EQ(FindInputMode(L'8'), nullptr);
}

TEST(CommandLineTest, ModeLettersAndTabWidth) {
  wchar_t mode = L'A';
  TakeModeLetter("edasp", &mode);
  EXPECT_EQ(mode, L'E');
  TakeModeLetter("", &mode);
  EXPECT_EQ(mode, L'E');
  TakeModeLetter("8", &mode);
  EXPECT_EQ(mode, L'8');
  TakeModeLetter("ё", &mode);
  EXPECT_EQ(mode, L'ё');

  EXPECT_EQ(TabWidthFromArgument("3"), 3);
  EXPECT_EQ(TabWidthFromArgument("  +12x"), 12);
  EXPECT_EQ(TabWidthFromArgument("-5"), -5);
  EXPECT_EQ(TabWidthFromArgument("x"), 0);
  EXPECT_EQ(TabWidthFromArgument(""), 0);
  // A 32-bit reading saturates; it must not wrap round to a small width.
  EXPECT_EQ(TabWidthFromArgument("4294967299"), 2147483647);
  EXPECT_EQ(TabWidthFromArgument("-4294967294"), -2147483647 - 1);
}

}  // namespace
