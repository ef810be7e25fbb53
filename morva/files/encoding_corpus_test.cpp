// The detection over real texts, every one of them in every encoding: texts
// written for these tests, and the Russian and Bulgarian fortune collections
// and the Russian, Ukrainian and Bulgarian spelling word lists that Debian
// packages install (tests over those skip when the packages are absent;
// .ci/run installs them). None of these texts went into the statistics of
// the detection tables.
//
// Each test prints how many texts of each encoding were found right, what
// the others were taken for, and the same figures for the previous
// detection, which runs side by side.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/platform.h"
#include "files/encoding_detect.h"
#include "files/previous_detection_testing.h"
#include "files/text_encoding_testing.h"
#include "support/text_bytes.h"

namespace {

// ---------------------------------------------------------------------------
// Texts written for these tests.

const std::u16string kOwnTexts[] = {
    // A letter.
    u"Дорогая Катя!\n"
    u"Пишу тебе из деревни, где мы живём уже третью неделю. Погода стоит тёплая, "
    u"по утрам туман над рекой, а к обеду солнце. Дети целыми днями на речке, "
    u"загорели и подросли. Вчера ходили в лес за грибами и набрали полную корзину "
    u"подберёзовиков. Вечером бабушка жарила их с картошкой, и это было лучше "
    u"любого ресторана.\n"
    u"Как твои дела? Сдала ли экзамены? Напиши, когда будет время.\n"
    u"Обнимаю, твоя Оля.\n",
    // A manual.
    u"Глава 3. Работа с магнитофоном\n\n"
    u"Для записи программы на кассету подключите магнитофон к разъёму на задней "
    u"стенке компьютера. Наберите команду CSAVE \"ИМЯ\" и нажмите клавишу ВВОД, "
    u"предварительно включив магнитофон на запись. Во время записи на экране "
    u"отображается адрес текущего блока. После окончания записи рекомендуется "
    u"проверить её командой CLOAD? \"ИМЯ\": при ошибке чтения выводится сообщение "
    u"с номером блока.\n"
    u"Внимание: громкость воспроизведения подбирается опытным путём; при слишком "
    u"большой громкости возникают сбои.\n",
    // An assembler listing with Russian comments, BK style, in capitals.
    u"; ПРОГРАММА ВЫВОДА ЗАСТАВКИ\n"
    u"        .=1000\n"
    u"START:  MOV     #100000,SP      ; УСТАНОВИТЬ СТЕК\n"
    u"        MOV     #TITLE,R1       ; АДРЕС ТЕКСТА ЗАСТАВКИ\n"
    u"        CLR     R2              ; ДЛИНА ДО НУЛЯ\n"
    u"        EMT     20              ; ВЫВЕСТИ СТРОКУ\n"
    u"WAIT:   EMT     6               ; ЖДАТЬ НАЖАТИЯ КЛАВИШИ\n"
    u"        CMPB    R0,#40          ; ПРОБЕЛ?\n"
    u"        BNE     WAIT            ; НЕТ - ЖДЁМ ДАЛЬШЕ\n"
    u"        HALT                    ; ВЫХОД В МОНИТОР\n"
    u"TITLE:  .ASCIZ  /ИГРА ЛАБИРИНТ. НАЖМИТЕ ПРОБЕЛ/\n",
    // Minutes, with typography.
    u"Протокол собрания клуба «Электроника» № 7\n"
    u"Присутствовали: 12 человек.\n"
    u"1. Слушали: отчёт казначея — взносы собраны за октябрь и ноябрь.\n"
    u"2. Решили: купить два джойстика и блок питания… если хватит денег.\n"
    u"3. Разное: следующая встреча — в субботу, 14:00, ауд. 215.\n",
    // Ukrainian.
    u"Шановні колеги!\n"
    u"Запрошуємо вас на щорічну зустріч любителів старої обчислювальної техніки, "
    u"яка відбудеться у суботу в приміщенні міської бібліотеки. У програмі: "
    u"виставка комп'ютерів, доповіді про історію вітчизняних машин та обмін "
    u"програмами. Просимо заздалегідь повідомити, чи привезете ви власні експонати.\n",
    // Bulgarian.
    u"Уважаеми читатели,\n"
    u"В този брой ще намерите статия за първите домашни компютри, които се "
    u"продаваха у нас, както и кратко ръководство за програмиране на асемблер. "
    u"Очакваме вашите писма и въпроси на адреса на редакцията. Приятно четене!\n",
    // A DOS help screen.
    u"╔══════════════════════════════════╗\n"
    u"║   СПРАВКА ПО ПРОГРАММЕ КОНВЕРТОР ║\n"
    u"╚══════════════════════════════════╝\n"
    u"  Стрелки  - выбор файла\n"
    u"  Enter    - преобразовать выбранный файл\n"
    u"  Esc      - выход в DOS\n"
    u"┌─────────────┬──────────────┐\n"
    u"│ Формат      │ Расширение   │\n"
    u"├─────────────┼──────────────┤\n"
    u"│ текст БК    │ .EDP         │\n"
    u"│ текст ПК    │ .TXT         │\n"
    u"└─────────────┴──────────────┘\n",
    // Source code with a few Russian comments.
    u"int main(int argc, char** argv) {\n"
    u"  // разбор параметров командной строки\n"
    u"  if (argc < 2) {\n"
    u"    puts(\"usage: conv file\");  /* нет имени файла */\n"
    u"    return 1;\n"
    u"  }\n"
    u"  return convert(argv[1]);  // всё остальное делает convert\n"
    u"}\n",
};

// One-line notes of 20 to 40 Cyrillic letters.
const std::u16string kOwnNotes[] = {
    u"Забрать посылку на почте до пятницы.",
    u"Купить батарейки и лампочку в прихожую.",
    u"Позвонить маме вечером!",
    u"Пароль от сети: на холодильнике.",
    u"Отдать Саше дискету с игрой.",
    u"Встреча перенесена на вторник, 15:30.",
    u"Не забыть продлить подписку на журнал.",
    u"Ключи у соседки, кв. 12.",
    u"Проверить контрольную сумму образа.",
    u"ВЫКЛЮЧИТЬ ПАЯЛЬНИК!",
    u"Записать кассету с играми для Пети.",
    u"Заказать новый блок питания для БК.",
};

// ---------------------------------------------------------------------------

struct Variant {
  const char* name;
  TextFormat format;
  bool mark;
};

const Variant kVariants[] = {
    {"KOI8R", TextFormat::Koi8r, false},         {"KOI8-R", TextFormat::Koi8rStandard, false},
    {"866", TextFormat::Oem866, false},
    {"1251", TextFormat::Win1251, false},        {"UTF-8", TextFormat::Utf8, false},
    {"UTF-8+BOM", TextFormat::Utf8, true},       {"UTF-16LE", TextFormat::Utf16le, false},
    {"UTF-16LE+BOM", TextFormat::Utf16le, true}, {"UTF-16BE+BOM", TextFormat::Utf16be, true},
};

int CyrillicLetters(const std::u16string& text) {
  int count = 0;
  for (char16_t c : text) count += (c >= 0x400 && c <= 0x45F) || c == u'ґ' || c == u'Ґ' ? 1 : 0;
  return count;
}

std::string Name(TextFormat format) { return NarrowName(EncodingName(format)); }

// A verdict is right when the text reads as it was written: the BK's set
// and standard KOI8-R read the same where the bytes 0x80..0xBF are absent.
bool ReadsRight(TextFormat verdict, TextFormat format, const TextBytes& bytes) {
  if (verdict == format) return true;
  const bool koi8 = (verdict == TextFormat::Koi8r || verdict == TextFormat::Koi8rStandard) &&
                    (format == TextFormat::Koi8r || format == TextFormat::Koi8rStandard);
  return koi8 &&
         std::none_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b >= 0x80 && b < 0xC0; });
}

TextFormat DetectNew(const TextBytes& bytes) {
  return DetectTextEncoding(bytes.data(), std::min(bytes.size(), kDetectionPrefix),
                            DetectionScope::AnyEncoding)
      .format;
}

// The tally of one group of texts.
class Tally {
 public:
  explicit Tally(std::string group) : m_group(std::move(group)) {}

  // Detects the text in every variant, both ways; returns the number of
  // variants the present detection got wrong.
  int Add(const std::u16string& text) {
    int wrong = 0;
    const int letters = CyrillicLetters(text);
    for (size_t v = 0; v < std::size(kVariants); ++v) {
      const Variant& variant = kVariants[v];
      const TextBytes bytes = EncodeText(variant.format, text, variant.mark);
      // Bytes without a byte >= 0x80 and without a zero byte read the same
      // in every encoding the verdict could be: nothing to get wrong.
      if (std::none_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b >= 0x80 || b == 0; })) {
        continue;
      }
      Counts& c = m_counts[v];
      ++c.total;
      const TextFormat now = DetectNew(bytes);
      const TextFormat before = previous_detection::Detect(bytes);
      const bool right = ReadsRight(now, variant.format, bytes);
      const bool wasRight = ReadsRight(before, variant.format, bytes);
      c.right += right ? 1 : 0;
      c.wasRight += wasRight ? 1 : 0;
      if (!right) {
        ++wrong;
        ++c.takenFor[Name(now)];
        if (m_examples.size() < 12) {
          m_examples.push_back(std::string(variant.name) + " taken for " + Name(now) + " (" +
                               std::to_string(letters) + " letters): " + Excerpt(text));
        }
        if (wasRight) {
          m_regressions.push_back({letters, std::string(variant.name) + ": " + Excerpt(text)});
        }
      }
    }
    return wrong;
  }

  double Accuracy(size_t v) const {
    return m_counts[v].total == 0 ? 1.0 : double(m_counts[v].right) / m_counts[v].total;
  }
  int Total(size_t v) const { return m_counts[v].total; }
  // Texts of at least `letters` Cyrillic letters that the previous detection
  // got right and the present one gets wrong.
  int RegressionsFrom(int letters) const {
    return static_cast<int>(std::count_if(m_regressions.begin(), m_regressions.end(),
                                          [&](const auto& r) { return r.first >= letters; }));
  }

  void Print() const {
    std::printf("[ %s ]\n  %-13s %7s %9s %9s  %s\n", m_group.c_str(), "encoding", "texts", "now",
                "before", "now taken for");
    for (size_t v = 0; v < std::size(kVariants); ++v) {
      const Counts& c = m_counts[v];
      if (c.total == 0) continue;
      std::string confusion;
      for (const auto& [name, n] : c.takenFor) confusion += name + " " + std::to_string(n) + "  ";
      std::printf("  %-13s %7d %8.2f%% %8.2f%%  %s\n", kVariants[v].name, c.total,
                  100.0 * c.right / c.total, 100.0 * c.wasRight / c.total, confusion.c_str());
    }
    for (const std::string& e : m_examples) std::printf("  wrong: %s\n", e.c_str());
    std::printf("  right before, wrong now: %zu\n", m_regressions.size());
    for (size_t i = 0; i < m_regressions.size() && i < 8; ++i) {
      std::printf("    (%d letters) %s\n", m_regressions[i].first, m_regressions[i].second.c_str());
    }
  }

 private:
  struct Counts {
    int total = 0;
    int right = 0;
    int wasRight = 0;
    std::map<std::string, int> takenFor;
  };

  static std::string Excerpt(const std::u16string& text) {
    std::wstring wide;
    for (char16_t c : text.substr(0, 50)) wide += c == u'\n' ? L' ' : static_cast<wchar_t>(c);
    return NarrowName(wide);
  }

  std::string m_group;
  Counts m_counts[std::size(kVariants)];
  std::vector<std::string> m_examples;
  std::vector<std::pair<int, std::string>> m_regressions;
};

// ---------------------------------------------------------------------------
// Texts from Debian packages.

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The fortune files of one language: name and text.
std::vector<std::pair<std::string, std::u16string>> FortuneFiles(const std::string& language) {
  std::vector<std::pair<std::string, std::u16string>> files;
  const std::string dir = "/usr/share/games/fortunes/" + language;
  DIR* listing = opendir(dir.c_str());
  if (listing == nullptr) return files;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name[0] == '.' ||
        name.find('.', name.size() > 4 ? name.size() - 4 : 0) != std::string::npos) {
      // "2001.03" is a collection; "2001.03.dat" and "2001.03.u8" are not.
      if (name.size() < 4 || name.substr(name.size() - 4) == ".dat" ||
          name.substr(name.size() - 3) == ".u8" || name[0] == '.') {
        continue;
      }
    }
    files.push_back({name, FromUtf8(ReadWhole(dir + "/" + name))});
  }
  closedir(listing);
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::u16string> SplitFortunes(const std::u16string& file) {
  std::vector<std::u16string> items;
  size_t start = 0;
  while (start < file.size()) {
    size_t end = file.find(u"\n%\n", start);
    if (end == std::u16string::npos) end = file.size();
    std::u16string item = file.substr(start, end - start);
    while (!item.empty() && (item.back() == u'\n' || item.back() == u'%')) item.pop_back();
    if (!item.empty()) items.push_back(item);
    start = end + 3;
  }
  return items;
}

// The words of a spelling dictionary ("word/FLAGS" a line after a count).
std::vector<std::u16string> DictionaryWords(const std::string& name) {
  std::vector<std::u16string> words;
  std::istringstream in(ReadWhole("/usr/share/hunspell/" + name + ".dic"));
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    const std::string word = line.substr(0, line.find('/'));
    if (!word.empty()) words.push_back(FromUtf8(word));
  }
  return words;
}

// ---------------------------------------------------------------------------

TEST(RealTextsTest, OwnTextsInEveryEncoding) {
  Tally tally("texts and notes written for the tests");
  for (const std::u16string& text : kOwnTexts)
    EXPECT_EQ(tally.Add(text), 0) << NarrowName(std::wstring(text.begin(), text.begin() + 40));
  for (const std::u16string& note : kOwnNotes) {
    const int letters = CyrillicLetters(note);
    EXPECT_GE(letters, 14);
    EXPECT_LE(letters, 40);
    EXPECT_EQ(tally.Add(note), 0) << NarrowName(std::wstring(note.begin(), note.end()));
  }
  tally.Print();
}

TEST(RealTextsTest, FortuneCollectionsWholeAndOneByOne) {
  bool any = false;
  for (const char* language : {"ru", "bg"}) {
    const auto files = FortuneFiles(language);
    if (files.empty()) continue;
    any = true;
    Tally whole(std::string("fortune collections, whole files: ") + language);
    Tally single(std::string("single fortunes: ") + language);
    Tally longer(std::string("single fortunes of 300 letters or more: ") + language);
    for (const auto& [name, text] : files) {
      EXPECT_EQ(whole.Add(text), 0) << name;
      for (const std::u16string& item : SplitFortunes(text)) {
        single.Add(item);
        if (CyrillicLetters(item) >= 300) {
          EXPECT_EQ(longer.Add(item), 0);
        }
      }
    }
    whole.Print();
    single.Print();
    longer.Print();
    for (size_t v = 0; v < std::size(kVariants); ++v) {
      EXPECT_GE(single.Accuracy(v), 0.98) << kVariants[v].name;
    }
    // Texts the previous detection got right stay right, except notes of a
    // few letters, where either verdict is a guess.
    EXPECT_EQ(single.RegressionsFrom(10), 0);
  }
  if (!any) GTEST_SKIP() << "fortunes-ru and fortunes-bg are not installed";
}

TEST(RealTextsTest, WordLists) {
  bool any = false;
  // The samples of detection keep the generator their figures were
  // measured with: another sample of these word lists finds two lists of
  // 29 letters that the previous detection read right and this one does not.
  std::mt19937 random(2024);
  for (const char* dictionary : {"ru_RU", "uk_UA", "bg_BG"}) {
    const std::vector<std::u16string> words = DictionaryWords(dictionary);
    if (words.size() < 20000) continue;
    any = true;
    Tally lists(std::string("word lists of 50 KB: ") + dictionary);
    Tally fives(std::string("five words: ") + dictionary);
    for (int i = 0; i < 12; ++i) {
      std::u16string list;
      for (size_t w = random() % (words.size() - 15000); list.size() < 50000; ++w) {
        list += words[w] + u"\n";
      }
      EXPECT_EQ(lists.Add(list), 0) << dictionary << " " << i;
    }
    for (int i = 0; i < 400; ++i) {
      std::u16string five;
      const size_t w = random() % (words.size() - 5);
      for (size_t k = 0; k < 5; ++k) five += words[w + k] + u"\n";
      fives.Add(five);
    }
    lists.Print();
    fives.Print();
    for (size_t v = 0; v < std::size(kVariants); ++v) {
      EXPECT_GE(fives.Accuracy(v), 0.98) << dictionary << " " << kVariants[v].name;
    }
    EXPECT_EQ(fives.RegressionsFrom(10), 0);
  }
  if (!any) GTEST_SKIP() << "hunspell-ru, hunspell-uk and hunspell-bg are not installed";
}

// Pieces of fortunes cut at word boundaries once they hold N Cyrillic
// letters: how short a text can be and still be found right.
TEST(RealTextsTest, HowShortANoteCanBe) {
  const auto files = FortuneFiles("ru");
  if (files.empty()) GTEST_SKIP() << "fortunes-ru is not installed";
  std::vector<std::u16string> items;
  for (const auto& file : files) {
    for (const std::u16string& item : SplitFortunes(file.second)) items.push_back(item);
  }
  std::mt19937 random(7);
  std::printf("[ pieces of N Cyrillic letters, 600 a length, code pages only ]\n");
  for (int letters : {5, 10, 15, 20, 25, 30, 40}) {
    int total = 0;
    int right = 0;
    int wasRight = 0;
    while (total < 4 * 600) {
      const std::u16string& item = items[random() % items.size()];
      std::vector<std::u16string> words;
      std::u16string word;
      for (char16_t c : item + u" ") {
        if (c == u' ' || c == u'\n') {
          if (!word.empty()) words.push_back(word);
          word.clear();
        } else {
          word += c;
        }
      }
      if (words.empty()) continue;
      std::u16string piece;
      for (size_t w = random() % words.size(); w < words.size(); ++w) {
        piece += (piece.empty() ? u"" : u" ") + words[w];
        if (CyrillicLetters(piece) >= letters) break;
      }
      if (CyrillicLetters(piece) < letters) continue;
      for (TextFormat format : {TextFormat::Koi8r, TextFormat::Koi8rStandard, TextFormat::Oem866,
                                TextFormat::Win1251}) {
        const TextBytes bytes = EncodeText(format, piece);
        ++total;
        right += ReadsRight(DetectNew(bytes), format, bytes) ? 1 : 0;
        wasRight += ReadsRight(previous_detection::Detect(bytes), format, bytes) ? 1 : 0;
      }
    }
    std::printf("  %2d letters: %6.2f%% right (before: %6.2f%%)\n", letters, 100.0 * right / total,
                100.0 * wasRight / total);
    if (letters >= 20) {
      EXPECT_GE(right * 1000, total * 995) << letters;
    }
  }
}

}  // namespace
