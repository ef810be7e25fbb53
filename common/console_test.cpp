// The console text: formatting and UTF-8 output whatever the locale.
#include "common/console.h"

#include <gtest/gtest.h>

#include <clocale>

#include "common/utf8.h"

namespace {

class ConsoleCapture {
 public:
  ConsoleCapture() { SetConsoleSink(&text_); }
  ~ConsoleCapture() { SetConsoleSink(nullptr); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

TEST(ConsolePrint, FormatsWideStringsAndNumbersAsUtf8) {
  ConsoleCapture console;
  EXPECT_EQ(ConsolePrint(L"Пакуем '%s' :: ", L"игра.bin"), 21);
  ConsolePrint(L" OK, Ratio %d%%\n", 8250);
  ConsolePrint(L"[%03d|%5s|%o|%d|%u|%c|%06o]", 7, L"ab", 01000u, -12, 4000000000u, L'ё', 0177u);
  EXPECT_EQ(console.text(),
            "Пакуем 'игра.bin' ::  OK, Ratio 8250%\n[007|   ab|1000|-12|4000000000|ё|000177]");
}

TEST(ConsolePrint, LocaleChangesNothing) {
  std::setlocale(LC_ALL, "C");
  ConsoleCapture console;
  ConsolePrint(L"%s", L"Ошибка:: файл не найден.\n");
  EXPECT_EQ(console.text(), "Ошибка:: файл не найден.\n");
}

TEST(FormatText, UnknownConversionsAndNamesThatAreNoUtf8StayAsTheyStand) {
  EXPECT_EQ(FormatText(L"%x %q 100%"), L"%x %q 100");
  EXPECT_EQ(FormatText(L"%s|%s", L"", static_cast<const wchar_t*>(nullptr)), L"|");
  // A missing argument or one of the wrong kind is shown, never read past.
  EXPECT_EQ(FormatText(L"%d|%s|%o|%s|%c|%d", L"x", 5, -1, std::wstring(L"ok"), L"y"),
            L"%?|%?|%?|ok|%?|%?");
  EXPECT_EQ(FormatText(L"%d %u %c", 5ULL, 07L, 0x451), L"5 7 ё");
  ConsoleCapture console;
  ConsoleWrite(std::wstring(L"'") + wchar_t{0xDCFF} + L"'");
  // POSIX names keep their bytes; UTF-16 names have none to keep.
  EXPECT_EQ(console.text(), kWideIsUtf16 ? "'\xEF\xBF\xBD'" : "'\xFF'");
}

TEST(ConsolePrint, CharactersBeyondTheBasicPlaneAreOneSequence) {
  ConsoleCapture console;
  std::wstring smile;
  AppendWide(smile, U'\U0001F600');
  ConsolePrint(L"(%s)\n", smile.c_str());
  EXPECT_EQ(console.text(), "(\xF0\x9F\x98\x80)\n");
}

TEST(RussianPlural, TheLastTwoDigitsChooseTheForm) {
  const std::wstring forms[] = {L"файл", L"файла", L"файлов"};
  const std::pair<unsigned long long, int> cases[] = {
      {0, 2},  {1, 0},   {2, 1},   {4, 1},   {5, 2},   {11, 2},  {12, 2},   {14, 2},
      {20, 2}, {21, 0},  {22, 1},  {25, 2},  {101, 0}, {111, 2}, {112, 2},  {1000001, 0}};
  for (const auto& [n, form] : cases) {
    EXPECT_EQ(RussianPlural(n, forms[0].c_str(), forms[1].c_str(), forms[2].c_str()), forms[form])
        << n;
  }
}

}  // namespace
