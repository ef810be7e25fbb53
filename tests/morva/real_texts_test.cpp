// morva on real BK editor texts: the files and their MANIFEST.tsv in
// BK_TEXTS_DIR (skipped when it is absent). Each file goes to UTF-8 whole
// and readable; Vortex texts come back from the PC with the same space
// codes, Edasp texts in the standard layout with the same bytes. Every test
// prints its figures per file.
#include <gtest/gtest.h>

#include <cctype>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "support/morva_run.h"
#include "support/temp_dir.h"
#include "support/text_bytes.h"
#include "support/program_platform.h"

namespace {

struct RealText {
  std::string name;
  std::string kind;  // vortex, edasp, edasp-like, tab-single
  Bytes bytes;
};

// The texts the manifest lists, with their kinds; empty when there are none.
std::vector<RealText> RealTexts() {
  std::ifstream manifest(std::string(BK_TEXTS_DIR) + "/MANIFEST.tsv");
  std::vector<RealText> texts;
  if (!manifest) return texts;
  auto fields = [](const std::string& line) {
    std::vector<std::string> cells;
    std::stringstream row(line);
    for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
    return cells;
  };
  std::string line;
  std::getline(manifest, line);
  const std::vector<std::string> header = fields(line);
  const size_t fileColumn = std::find(header.begin(), header.end(), "file") - header.begin();
  const size_t kindColumn = std::find(header.begin(), header.end(), "kind") - header.begin();
  if (fileColumn == header.size() || kindColumn == header.size()) {
    ADD_FAILURE() << "MANIFEST.tsv has no file and kind columns";
    return texts;
  }
  while (std::getline(manifest, line)) {
    const std::vector<std::string> cells = fields(line);
    if (cells.size() <= std::max(fileColumn, kindColumn)) continue;
    const std::string path = std::string(BK_TEXTS_DIR) + "/" + cells[fileColumn];
    EXPECT_TRUE(FileExists(path)) << path << " is listed but missing";
    texts.push_back({cells[fileColumn], cells[kindColumn], ReadFileBytes(path)});
  }
  return texts;
}

#define REQUIRE_REAL_TEXTS(texts)                                          \
  if ((texts).empty()) {                                                   \
    GTEST_SKIP() << "no real BK texts in " BK_TEXTS_DIR " (BK_TEXTS_DIR)"; \
  }

bool IsVortex(const RealText& text) { return text.kind == "vortex"; }
bool IsEdaspStandard(const RealText& text) {
  return text.kind == "edasp" || text.kind == "edasp-like";
}

// The bytes that end a line in the file's layout: soft 0x00 and hard 0x0A
// in Vortex, 0x00 in the Edasp standard, 0x0A in a text with tabs.
std::vector<uint8_t> LineEnds(const RealText& text) {
  if (IsVortex(text)) return {0x00, 0x0A};
  if (IsEdaspStandard(text)) return {0x00};
  if (text.kind == "tab-single") return {0x0A};
  ADD_FAILURE() << text.name << ": unknown kind " << text.kind;
  return {};
}

std::string InputOption(const RealText& text) { return IsVortex(text) ? "-iv" : "-ie"; }
std::string ModeName(const RealText& text) { return IsVortex(text) ? "Vortex" : "Edasp"; }
std::string BaseName(const std::string& name) { return name.substr(0, name.rfind('.')); }

// The output name morva gives: the extension replaced; appended to where the
// input has it already, which on Windows, whose names ignore case, includes
// the same extension in capitals.
std::string OutputName(const std::string& name, const std::string& extension) {
  const size_t dot = name.rfind('.');
  std::string own = dot == std::string::npos ? "" : name.substr(dot);
  if (kProgramsOnWindows) {
    for (char& c : own) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return own == extension ? name + extension : BaseName(name) + extension;
}

// Lines of a file: one per line-end byte of its layout, and one more for
// text after the last line end.
size_t LineCount(const Bytes& bytes, const std::vector<uint8_t>& ends) {
  size_t lines = 0;
  for (uint8_t b : bytes) lines += std::count(ends.begin(), ends.end(), b);
  if (!bytes.empty() && std::count(ends.begin(), ends.end(), bytes.back()) == 0) ++lines;
  return lines;
}

// Runs morva in dir and returns the output file; a failed run is a failure.
Bytes Converted(const TempDir& dir, const std::vector<std::string>& args,
                const std::string& output) {
  const RunResult run = RunMorva(dir.path(), args);
  EXPECT_EQ(run.exitStatus, 0) << testing::PrintToString(args) << "\n" << run.out;
  EXPECT_TRUE(FileExists(dir / output)) << output << "\n" << run.out;
  return ReadFileBytes(dir / output);
}

// The UTF-8 text of a real file, as morva writes it.
Bytes ToUtf8(const RealText& text) {
  TempDir dir;
  WriteFileBytes(dir / text.name, text.bytes);
  return Converted(dir, {InputOption(text), "-o8", text.name}, OutputName(text.name, ".txt"));
}

// Converts a UTF-8 text, given under the name NAME.txt, with the output option.
Bytes FromUtf8(const RealText& text, const Bytes& utf8, const std::string& outputOption,
               const std::string& extension) {
  TempDir dir;
  const std::string base = BaseName(text.name);
  WriteFileBytes(dir / (base + ".txt"), utf8);
  return Converted(dir, {outputOption, base + ".txt"}, base + extension);
}

struct Utf8Figures {
  bool wellFormed = true;
  size_t replacements = 0;  // U+FFFD
  size_t controls = 0;      // control characters besides the CR LF line ends
  size_t lines = 0;
  size_t characters = 0;
};

// Reads a UTF-8 file with a byte-order mark and CR LF line ends.
Utf8Figures ReadUtf8(const Bytes& file) {
  Utf8Figures figures;
  const Bytes bom = {0xEF, 0xBB, 0xBF};
  if (file.size() < 3 || !std::equal(bom.begin(), bom.end(), file.begin())) {
    figures.wellFormed = false;
    return figures;
  }
  bool lineOpen = false;
  for (size_t i = 3; i < file.size();) {
    const uint8_t lead = file[i];
    const size_t length = lead < 0x80             ? 1
                          : (lead & 0xE0) == 0xC0 ? 2
                          : (lead & 0xF0) == 0xE0 ? 3
                                                  : 0;
    if (length == 0 || i + length > file.size()) {
      figures.wellFormed = false;
      return figures;
    }
    uint32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : lead & 0x0F;
    for (size_t k = 1; k < length; ++k) {
      if ((file[i + k] & 0xC0) != 0x80) figures.wellFormed = false;
      c = (c << 6) | (file[i + k] & 0x3F);
    }
    i += length;
    if (c == u'\r' && i < file.size() && file[i] == '\n') {
      ++i;
      ++figures.lines;
      lineOpen = false;
      continue;
    }
    if (c < 0x20 || c == 0x7F) ++figures.controls;
    if (c == 0xFFFD) ++figures.replacements;
    ++figures.characters;
    lineOpen = true;
  }
  if (lineOpen) ++figures.lines;
  return figures;
}

TEST(MorvaRealTextsTest, EveryTextReadsIntoUtf8WholeAndReadable) {
  const std::vector<RealText> texts = RealTexts();
  REQUIRE_REAL_TEXTS(texts);
  for (const RealText& text : texts) {
    SCOPED_TRACE(text.name);
    TempDir dir;
    WriteFileBytes(dir / text.name, text.bytes);
    const std::string output = OutputName(text.name, ".txt");
    const RunResult run = RunMorva(dir.path(), {InputOption(text), "-o8", text.name});
    EXPECT_EQ(run.out, "Преобразование " + ModeName(text) + " -> Unicode UTF-8\n" + text.name +
                           " -> " + output + "\n" + Done(1));
    EXPECT_EQ(run.exitStatus, 0);
    const Utf8Figures figures = ReadUtf8(ReadFileBytes(dir / output));
    const size_t lines = LineCount(text.bytes, LineEnds(text));
    EXPECT_TRUE(figures.wellFormed);
    EXPECT_EQ(figures.replacements, 0u);
    EXPECT_EQ(figures.controls, 0u) << "space codes, tabs or control codes left in the text";
    EXPECT_EQ(figures.lines, lines);
    std::printf("%-20s %-10s %6zu bytes, %4zu lines, %6zu characters, %zu U+FFFD\n",
                text.name.c_str(), text.kind.c_str(), text.bytes.size(), figures.lines,
                figures.characters, figures.replacements);
  }
}

struct Line {
  Bytes text;
  int end = -1;  // the line-end byte, -1 for text after the last line end
};

std::vector<Line> SplitLines(const Bytes& bytes) {
  std::vector<Line> lines;
  Line line;
  for (uint8_t b : bytes) {
    if (b == 0x00 || b == 0x0A) {
      line.end = b;
      lines.push_back(line);
      line = Line();
    } else {
      line.text.push_back(b);
    }
  }
  if (!line.text.empty()) lines.push_back(line);
  return lines;
}

// What a trip to the PC and back may change in a Vortex text, counted.
struct VortexFigures {
  size_t codeRuns = 0;       // runs of space codes, which must come back byte for byte
  size_t plainRuns = 0;      // runs with plain spaces (or broken by a dropped byte), re-coded
  size_t trailing = 0;       // spaces at line ends, dropped
  size_t noPcCharacter = 0;  // highlight and other control bytes, and 0x80-0x9F
  size_t lineEndKinds = 0;   // line ends whose kind (hard or soft) changed
};

std::string Hex(const Bytes& bytes) {
  std::string out;
  char cell[4];
  for (uint8_t b : bytes) {
    std::snprintf(cell, sizeof cell, "%02X ", b);
    out += cell;
  }
  return out;
}

// The line as it must come back: runs of codes as they are, other blank
// runs as the codes of their length, bytes without a PC character left out,
// blanks at the end dropped.
Bytes ExpectedVortexLine(const Bytes& line, VortexFigures* figures) {
  Bytes expected;
  Bytes run;  // the bytes of the blank run in hand
  long long spaces = 0;
  bool onlyCodes = true;
  bool afterCode = false;  // the previous byte was a code, which weights the next one by 8
  bool brokenRun = false;  // a dropped byte came after blanks of the run
  long long column = 0;
  for (uint8_t b : line) {
    const bool code = b >= 0x01 && b <= 0x08;
    const bool noPc = (b >= 0x0B && b <= 0x1F) || (b >= 0x80 && b <= 0x9F);
    if (noPc) ++figures->noPcCharacter;
    if (b >= 0x0B && b <= 0x1F) {  // dropped
      brokenRun = spaces > 0;
      afterCode = false;
      continue;
    }
    long long blanks = 0;
    if (code) {
      blanks = afterCode ? 8LL * b : b;
    } else if (b == 0x09) {
      blanks = (column / 8 + 1) * 8 - column;
    } else if (b == 0x20 || (b >= 0x80 && b <= 0x9F)) {
      blanks = 1;
    }
    afterCode = code;
    if (blanks > 0) {
      onlyCodes = onlyCodes && code && !brokenRun;
      run.push_back(b);
      spaces += blanks;
      column += blanks;
      continue;
    }
    if (spaces > 0) {
      const Bytes written = onlyCodes ? run : VortexSpaceRun(spaces);
      ++(onlyCodes ? figures->codeRuns : figures->plainRuns);
      expected.insert(expected.end(), written.begin(), written.end());
    }
    run.clear();
    spaces = 0;
    onlyCodes = true;
    brokenRun = false;
    expected.push_back(b);
    ++column;
  }
  figures->trailing += spaces;
  return expected;
}

TEST(MorvaRealTextsTest, VortexTextsComeBackFromThePcWithTheirSpaceCodes) {
  const std::vector<RealText> texts = RealTexts();
  REQUIRE_REAL_TEXTS(texts);
  for (const RealText& text : texts) {
    if (!IsVortex(text)) continue;
    SCOPED_TRACE(text.name);
    const Bytes back = FromUtf8(text, ToUtf8(text), "-ov", ".vxt");
    const std::vector<Line> original = SplitLines(text.bytes);
    const std::vector<Line> copy = SplitLines(back);
    ASSERT_EQ(copy.size(), original.size());
    VortexFigures figures;
    for (size_t i = 0; i < original.size(); ++i) {
      const Bytes expected = ExpectedVortexLine(original[i].text, &figures);
      EXPECT_EQ(Hex(copy[i].text), Hex(expected)) << "line " << i + 1;
      EXPECT_EQ(copy[i].end == -1, original[i].end == -1) << "line " << i + 1;
      if (copy[i].end != original[i].end) ++figures.lineEndKinds;
    }
    std::printf(
        "%-20s %5zu lines: %5zu code runs back as they were, %3zu plain-space runs "
        "re-coded, %zu trailing blanks, %zu bytes without a PC character, %4zu line "
        "ends of another kind\n",
        text.name.c_str(), original.size(), figures.codeRuns, figures.plainRuns, figures.trailing,
        figures.noPcCharacter, figures.lineEndKinds);
  }
}

// What a trip to the PC and back in the standard layout may change in an
// Edasp text, counted.
struct EdaspFigures {
  size_t trailing = 0;       // blanks at line ends, dropped
  size_t noPcCharacter = 0;  // control bytes (dropped) and 0x80-0x9F (spaces)
  size_t layoutBytes = 0;    // space codes, tabs, LF: not the standard layout
};

Bytes ExpectedEdaspText(const Bytes& bytes, EdaspFigures* figures) {
  Bytes expected;
  size_t blanks = 0;  // blanks written since the last other character
  for (uint8_t b : bytes) {
    if (b >= 0x01 && b <= 0x0A) ++figures->layoutBytes;
    if (b == 0x00) {
      expected.resize(expected.size() - blanks);
      figures->trailing += blanks;
      blanks = 0;
      expected.push_back(0x00);
    } else if (b >= 0x0B && b <= 0x1F) {
      ++figures->noPcCharacter;  // dropped
    } else if (b == 0x20 || (b >= 0x80 && b <= 0x9F)) {
      if (b != 0x20) ++figures->noPcCharacter;
      expected.push_back(0x20);
      ++blanks;
    } else {
      expected.push_back(b);
      blanks = 0;
    }
  }
  expected.resize(expected.size() - blanks);
  figures->trailing += blanks;
  return expected;
}

TEST(MorvaRealTextsTest, EdaspTextsComeBackInTheStandardLayout) {
  const std::vector<RealText> texts = RealTexts();
  REQUIRE_REAL_TEXTS(texts);
  for (const RealText& text : texts) {
    if (!IsEdaspStandard(text)) continue;
    SCOPED_TRACE(text.name);
    const Bytes back = FromUtf8(text, ToUtf8(text), "-od", ".edp");
    EdaspFigures figures;
    const Bytes expected = ExpectedEdaspText(text.bytes, &figures);
    EXPECT_EQ(figures.layoutBytes, 0u) << "space codes, tabs or LF: not the standard layout";
    EXPECT_TRUE(back == expected)
        << "first difference at byte "
        << std::mismatch(back.begin(), back.end(), expected.begin(), expected.end()).first -
               back.begin();
    const size_t same = text.bytes.size() - figures.trailing - figures.noPcCharacter;
    std::printf(
        "%-20s %5zu bytes: %5zu back as they were, %3zu trailing blanks dropped, "
        "%zu bytes without a PC character\n",
        text.name.c_str(), text.bytes.size(), same, figures.trailing, figures.noPcCharacter);
  }
}

// Every text goes into the standard layout directly just as it does through
// its PC text.
TEST(MorvaRealTextsTest, StandardLayoutDirectlyOrThroughThePc) {
  const std::vector<RealText> texts = RealTexts();
  REQUIRE_REAL_TEXTS(texts);
  for (const RealText& text : texts) {
    SCOPED_TRACE(text.name);
    TempDir dir;
    WriteFileBytes(dir / text.name, text.bytes);
    const std::string output = OutputName(text.name, ".edp");
    const Bytes direct = Converted(dir, {InputOption(text), "-od", text.name}, output);
    EXPECT_EQ(direct, FromUtf8(text, ToUtf8(text), "-od", ".edp"));
    EXPECT_EQ(LineCount(direct, {0x00}), LineCount(text.bytes, LineEnds(text)));
    EXPECT_EQ(std::count_if(direct.begin(), direct.end(),
                            [](uint8_t b) { return b >= 0x01 && b <= 0x1F; }),
              0);
  }
}

}  // namespace
