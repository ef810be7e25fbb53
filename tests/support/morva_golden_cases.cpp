#include "support/morva_golden_cases.h"

#include <algorithm>
#include <fstream>
#include <set>

#include "support/digest.h"
#include "support/morva_run.h"
#include "support/temp_dir.h"
#include "support/text_bytes.h"

namespace {

const std::string kInputLetters = "auwokredvb";
const std::string kOutputLetters = "u8wokredvb";

Bytes Repeat(const std::string& text, size_t times) {
  Bytes bytes;
  for (size_t i = 0; i < times; ++i) bytes.insert(bytes.end(), text.begin(), text.end());
  return bytes;
}

void Append(Bytes& bytes, const Bytes& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
}
void Append(Bytes& bytes, const std::string& more) { Append(bytes, AsBytes(more)); }

const std::u16string kProse =
    u"Съешь же ещё этих мягких французских булок, да выпей чаю.\n"
    u"Широкая электрификация южных губерний даст мощный толчок подъёму сельского хозяйства.\n"
    u"В чащах юга жил бы цитрус? Да, но фальшивый экземпляр!\n"
    u"ЭХ, ЧУЖАК! ОБЩИЙ СЪЁМ ЦЕН ШЛЯП (ЮФТЬ) - ВДРЫЗГ.\n"
    u"The quick brown fox jumps over the lazy dog: 0123456789.\n";

// Every character class a PC text can bring: ASCII, Russian and Ukrainian
// letters, ё, box drawing, the BK's own signs, signs that no BK byte holds,
// a character beyond the BMP, control codes.
const std::string kClasses =
    "Latin ABC xyz 0123456789 !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~\n"
    "Кириллица: АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ абвгдеёжзийклмнопрстуфхцчшщъыьэюя\n"
    "Українська: ІіЇїЄєҐґ\n"
    "Рамки: ─│┌┐└┘├┤┬┴┼ ═║╔╗╚╝ ░▒▓█▄▀ ■\n"
    "Знаки: ←↑→↓ ♠♣♥♦ ° · « » — – № € ™ ©\n"
    "Не на БК: \xC2\xA0|\xC2\xAD|\xE2\x80\x8B| 😀 \xEF\xBF\xBD\n"
    "Коды: \x01\x02\x03\x04\x05\x06\x07\x08|\x0B|\x0C|\x1B|\x1A|\x7F|\n";

// UTF-16 units of a UTF-8 text, little or big endian.
Bytes Utf16Units(const std::u16string& units, bool bigEndian) {
  Bytes bytes;
  for (char16_t c : units) {
    const uint8_t low = static_cast<uint8_t>(c & 0xFF);
    const uint8_t high = static_cast<uint8_t>(c >> 8);
    bytes.push_back(bigEndian ? high : low);
    bytes.push_back(bigEndian ? low : high);
  }
  return bytes;
}

Bytes EveryByte() {
  Bytes bytes;
  for (int row = 0; row < 16; ++row) {
    for (int b = 0; b < 16; ++b) bytes.push_back(static_cast<uint8_t>(row * 16 + b));
    bytes.push_back(0x0A);
  }
  return bytes;
}

// Runs of spaces of many lengths, starting at every column up to two tab
// widths, between letters, at line ends and on lines of their own.
Bytes SpaceRuns() {
  static const int kLengths[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 15, 16, 17,
                                 23, 24, 25, 31, 32, 33, 63, 64, 65, 71, 72, 73, 80, 100};
  Bytes bytes;
  for (int column = 0; column <= 17; ++column) {
    for (int n : kLengths) {
      Append(bytes, std::string(column, 'x') + std::string(n, ' ') + "y.\n");
    }
    Append(bytes, std::string(column, 'z') + std::string(column + 1, ' ') + "\n");
    Append(bytes, std::string(column + 3, ' ') + "\n");
  }
  return bytes;
}

// Tabs at every column, after and before spaces, in runs and at line ends.
Bytes Tabs() {
  Bytes bytes;
  for (int column = 0; column <= 17; ++column) {
    const std::string lead(column, 'x');
    Append(bytes, lead + "\ty\t\tz \tw\t v  \t\tu\n");
    Append(bytes, "\t" + lead + "\t\n");
    Append(bytes, std::string(column, ' ') + "\t" + lead + "\n");
  }
  return bytes;
}

Bytes LineEnds() {
  return AsBytes(std::string("a\r\nb\n\rc\rd\ne\r\r\nf\n\ng\r\n\r\nh") + '\0' + "i" + '\0' + '\0' +
                 "j\n\r\n\rk\r\r\n\n\rl  \r\n  m\t\r\n\n" + '\0' + "\n" + "n");
}

// Paragraphs as Vortex marks them: sentence ends before deeper lines, equal
// indentation, empty and blank lines, blank lines at the end.
Bytes Paragraphs() {
  std::string text;
  for (const char* end : {".", "!", "?", ":", ";", ",", "-", ")"}) {
    text += "    Абзац кончается знаком" + std::string(end) + "\n";
    text += "  и строка с меньшим отступом" + std::string(end) + "\n";
    text += "      глубже" + std::string(end) + "\n";
    text += "не глубже" + std::string(end) + "\n\n";
    text += "\tТабулятор" + std::string(end) + "\n   \n";
  }
  text += "Конец.\n  \n \t\n";
  return AsBytes(text);
}

// A BK editor text with the BK's space codes: single, paired, three in a
// row, at line starts and ends, next to tabs; 0x0A and 0x00 line ends.
Bytes SpaceCodes() {
  Bytes bytes;
  for (uint8_t code = 1; code <= 8; ++code) {
    Append(bytes, Bytes{'a', code, 'b', code, 1, 'c', code, 8, 'd', 7, code, 3, 'e', 0x0A});
    Append(bytes, Bytes{code, 'f', 0x09, code, 'g', code, 0x09, 'h', code, 0x00});
    Append(bytes, Bytes{0x09, code, code, 'i', ' ', code, 'j', code, 0x0A, code, 0x0A});
  }
  Append(bytes, Bk(u"Текст БК\n"));
  return bytes;
}

// A BK editor text behind a header: 006100 and the offset of the text.
Bytes WithEditorHeader() {
  Bytes bytes = {0x40, 0x0C, 0x0A, 0x00, 'H', 'E', 'A', 'D', 0x01, 0x00};
  Append(bytes, Bk(u"Текст за заголовком\n\tс табулятором\n"));
  Append(bytes, Bytes{'x', 3, 2, 'y', 0x00});
  return bytes;
}

// A BASIC listing of exactly `length` bytes in BK bytes: the set's parts
// split it where the end byte lands at 255, 256, 257 and further on.
Bytes BasicListing(size_t length) {
  Bytes bytes;
  for (int line = 10; bytes.size() < length; line += 10) {
    Append(bytes, std::to_string(line) + " ");
    Append(bytes, Bk(u"PRINT \"ПРИВЕТ, БК\";A$\n"));
  }
  bytes.resize(length);
  if (length > 0) bytes.back() = 0x0A;
  return bytes;
}

class CaseList {
 public:
  // The cases of one text, named prefix + text name + "/" + letters.
  void AddText(const std::string& prefix, const MorvaGoldenText& text, const std::string& inputs,
               const std::vector<int>& tabs) {
    for (int tab : tabs) {
      for (char in : inputs) {
        for (char out : kOutputLetters) {
          if (in == out || (in == 'b' && out == 'v')) continue;
          MorvaGoldenCase c;
          c.name =
              prefix + text.name + "/" + in + out + (tab != 0 ? "/t" + std::to_string(tab) : "");
          c.in = in;
          c.out = out;
          c.tab = tab;
          if (in == 'b') {
            c.pattern = AscHeaderName("set");
            c.inputs.emplace_back(c.pattern, AscHeaderFile());
            const std::vector<Bytes> parts = AscParts(text.bytes);
            for (size_t i = 0; i < parts.size(); ++i) {
              c.inputs.emplace_back(AscPartName("set", static_cast<int>(i)), parts[i]);
            }
          } else {
            c.pattern = text.name + ".in";
            c.inputs.emplace_back(c.pattern, text.bytes);
          }
          cases_.push_back(std::move(c));
        }
      }
    }
  }
  std::vector<MorvaGoldenCase> Take() { return std::move(cases_); }

 private:
  std::vector<MorvaGoldenCase> cases_;
};

}  // namespace

std::vector<MorvaGoldenText> GeneratedGoldenTexts() {
  const std::u16string classes = FromUtf8(kClasses);
  const std::u16string prose = FromUtf8(ToUtf8(kProse));
  std::vector<MorvaGoldenText> texts;
  texts.push_back({"empty", {}});
  texts.push_back({"every-byte", EveryByte()});
  texts.push_back({"utf8-classes", Utf8File(classes)});
  // Broken UTF-8 among good sequences: a cut sequence, a stray
  // continuation byte, an overlong form, a surrogate, a cut end.
  Bytes broken = Utf8File(prose, false, false);
  Append(broken, Bytes{0xD0, 0x20, 0x80, 0x41, 0xC0, 0xAF, 0xED, 0xA0, 0x80, 0x0A, 0xE2, 0x94});
  texts.push_back({"utf8-prose-broken", broken});
  texts.push_back({"utf8-prose", Utf8File(prose, false, false)});
  Bytes utf16 = {0xFF, 0xFE};
  Append(utf16, Utf16Units(WithCrLf(classes) + u'\xD800' + u"x" + u'\xDC00' + u"\r\n", false));
  utf16.push_back(0x41);  // half a unit at the end
  texts.push_back({"utf16le-classes", utf16});
  texts.push_back({"utf16le-prose", Utf16Units(WithCrLf(prose), false)});
  Bytes utf16be = {0xFE, 0xFF};
  Append(utf16be, Utf16Units(WithCrLf(classes), true));
  texts.push_back({"utf16be-classes", utf16be});
  Bytes cp1251 = SingleByteFile(prose, Charset::Cp1251, true);
  for (int b = 0x80; b < 0xC0; ++b) cp1251.push_back(static_cast<uint8_t>(b));
  texts.push_back({"cp1251-prose", cp1251});
  Bytes cp866 = SingleByteFile(prose, Charset::Cp866, true);
  for (int b = 0xB0; b < 0xE0; ++b) cp866.push_back(static_cast<uint8_t>(b));
  Append(cp866, Bytes{0xF0, 0xF1, 0xF2, 0xF8, 0xFC, 0xFF, 0x0D, 0x0A});
  texts.push_back({"cp866-prose", cp866});
  texts.push_back({"koi8-prose", SingleByteFile(prose, Charset::BkKoi8, false)});
  texts.push_back(
      {"koi8r-prose", SingleByteFile(prose + u"─│─\n", Charset::Koi8r, false)});
  texts.push_back({"space-runs", SpaceRuns()});
  texts.push_back({"tabs", Tabs()});
  texts.push_back({"line-ends", LineEnds()});
  texts.push_back({"paragraphs", Paragraphs()});
  texts.push_back({"space-codes", SpaceCodes()});
  texts.push_back({"editor-header", WithEditorHeader()});
  for (size_t length : {254, 255, 256, 511, 512, 1000}) {
    texts.push_back({"basic-" + std::to_string(length), BasicListing(length)});
  }
  texts.push_back({"ascii-lines", Repeat("10 REM A LINE OF PLAIN ASCII\n", 12)});
  return texts;
}

std::vector<MorvaGoldenText> RealGoldenTexts(const std::string& textsDir) {
  std::vector<MorvaGoldenText> texts;
  std::ifstream manifest(textsDir + "/MANIFEST.tsv");
  if (!manifest) return texts;
  std::string line;
  std::getline(manifest, line);  // the header
  while (std::getline(manifest, line)) {
    const std::string file = line.substr(0, line.find('\t'));
    if (file.empty() || !FileExists(textsDir + "/" + file)) continue;
    std::string name = file;
    std::replace(name.begin(), name.end(), '.', '_');
    texts.push_back({name, ReadFileBytes(textsDir + "/" + file)});
  }
  return texts;
}

std::vector<MorvaGoldenCase> GeneratedGoldenCases() {
  CaseList list;
  for (const MorvaGoldenText& text : GeneratedGoldenTexts()) {
    list.AddText("", text, kInputLetters, {0});
    // The tab width of the input: the smallest, an odd one, the BK's, the largest.
    if (text.name == "space-runs" || text.name == "tabs" || text.name == "space-codes" ||
        text.name == "paragraphs") {
      list.AddText("", text, "aev", {2, 3, 8, 16});
    }
  }
  return list.Take();
}

std::vector<MorvaGoldenCase> RealTextGoldenCases(const std::string& textsDir) {
  CaseList list;
  for (const MorvaGoldenText& text : RealGoldenTexts(textsDir)) {
    list.AddText("real/", text, "akev", {0});
  }
  return list.Take();
}

MorvaGoldenRun RunGoldenCase(const MorvaGoldenCase& c, const std::string& morva) {
  TempDir dir;
  std::set<std::string> inputNames;
  for (const auto& [name, bytes] : c.inputs) {
    WriteFileBytes(dir / name, bytes);
    inputNames.insert(name);
  }
  std::vector<std::string> args = {std::string("-i") + c.in, std::string("-o") + c.out};
  if (c.tab != 0) args.push_back("-t" + std::to_string(c.tab));
  args.push_back(c.pattern);
  MorvaGoldenRun run;
  run.result = RunMorvaAt(morva, dir.path(), args);
  for (const std::string& name : ListDirectory(dir.path())) {
    if (inputNames.count(name) == 0) run.outputs.emplace_back(name, ReadFileBytes(dir / name));
  }
  return run;
}

std::string GoldenRecord(const MorvaGoldenCase& c, const MorvaGoldenRun& run) {
  std::string inputs;
  for (const auto& [name, bytes] : c.inputs) inputs += name + '\0' + Digest(bytes) + '\0';
  std::string outputs;
  for (const auto& [name, bytes] : run.outputs) outputs += name + '\0' + Digest(bytes) + '\0';
  return c.name + " input=" + Digest(inputs) + " run=" + std::to_string(run.result.exitStatus) +
         "," + Digest(run.result.out + '\0' + run.result.err) +
         " out=" + std::to_string(run.outputs.size()) + "," + Digest(outputs);
}
