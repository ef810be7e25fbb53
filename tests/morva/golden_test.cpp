// Every output file that morva writes for a fixed set of texts, through
// every pair of mode letters, with its console text and exit status, pinned
// by digest in goldens.txt. A change of any byte fails here, even when the
// new output would still read back the same.
//
// Second sources keep the pinned results honest: texts whose bytes in each
// encoding are built independently (tests/support/text_bytes.h) must come
// out as exactly those bytes, BASIC ASC sets as the sets built here, and BK
// texts written by morva must read back as the text they came from.
//
// MORVA_GOLDEN_OUT=file writes the records of this run to `file`, for a
// reviewer who has to see what changed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>

#include "support/morva_golden_cases.h"
#include "support/morva_run.h"
#include "support/golden_records.h"
#include "support/temp_dir.h"
#include "support/text_bytes.h"

namespace {

bool IsRealTextCase(const std::string& name) { return name.rfind("real/", 0) == 0; }
bool IsGeneratedCase(const std::string& name) { return !IsRealTextCase(name); }

// What a case must give besides its record, from a second source.
using Check = std::function<void(const MorvaGoldenCase&, const MorvaGoldenRun&)>;

// Runs the cases, compares each record with the pinned one and applies the
// checks; `belongs` tells the records that these cases must produce, all of
// them.
void ExpectGoldens(const std::vector<MorvaGoldenCase>& cases, bool (*belongs)(const std::string&),
                   const Check& check) {
  const GoldenRecords loaded = LoadGoldenRecords(MORVA_GOLDENS);
  for (const std::string& name : loaded.repeated) ADD_FAILURE() << "two golden records for " << name;
  const std::map<std::string, std::string>& goldens = loaded.byName;
  const char* outPath = std::getenv("MORVA_GOLDEN_OUT");
  std::ofstream out;
  if (outPath != nullptr && *outPath != '\0') out.open(outPath, std::ios::app);
  std::set<std::string> seen;
  for (const MorvaGoldenCase& c : cases) {
    const MorvaGoldenRun run = RunGoldenCase(c, MORVA_BINARY);
    const std::string record = GoldenRecord(c, run);
    if (out.is_open()) out << record << "\n";
    EXPECT_TRUE(seen.insert(c.name).second) << "two cases named " << c.name;
    // Whole or nothing: a run that fails leaves no file behind.
    if (run.result.exitStatus != kMorvaConverted) {
      EXPECT_TRUE(run.outputs.empty()) << c.name << " failed and left files:\n" << run.result.out;
    } else {
      EXPECT_FALSE(run.outputs.empty()) << c.name << " wrote nothing:\n" << run.result.out;
    }
    check(c, run);
    const auto golden = goldens.find(c.name);
    if (golden == goldens.end()) {
      ADD_FAILURE() << "no golden record for " << c.name << "; this run gives\n  " << record;
      continue;
    }
    if (RecordField(golden->second, "input") != RecordField(record, "input")) {
      ADD_FAILURE() << c.name << ": the input is not the one the record was made from";
      continue;
    }
    EXPECT_EQ(record, golden->second)
        << c.name << " differs from its golden record\n  morva said:\n"
        << run.result.out;
  }
  EXPECT_FALSE(goldens.empty()) << "no golden records in " << MORVA_GOLDENS;
  for (const auto& [name, record] : goldens) {
    if (!belongs(name)) continue;
    EXPECT_EQ(seen.count(name), 1u) << "the golden case " << name << " was not run";
  }
}

const Bytes* Output(const MorvaGoldenRun& run, const std::string& name) {
  for (const auto& [outName, bytes] : run.outputs) {
    if (outName == name) return &bytes;
  }
  return nullptr;
}

void ExpectOutput(const MorvaGoldenCase& c, const MorvaGoldenRun& run, const std::string& name,
                  const Bytes& expected) {
  const Bytes* output = Output(run, name);
  ASSERT_NE(output, nullptr) << c.name << ": no " << name << "\n" << run.result.out;
  EXPECT_EQ(*output, expected) << c.name << ": " << name;
}

// The text of a BK output, read back by morva as UTF-8 without BOM lines.
Bytes ReadBack(const Bytes& bk, char mode) {
  TempDir dir;
  WriteFileBytes(dir / "back.bk", bk);
  const RunResult run = RunMorva(dir.path(), {std::string("-i") + mode, "-o8", "back.bk"});
  EXPECT_EQ(run.exitStatus, kMorvaConverted) << run.out;
  return ReadFileBytes(dir / "back.txt");
}

// A text without blanks at its line ends, with CR LF line ends and the
// UTF-8 mark, as a BK text of it reads back on the PC.
Bytes WithoutTrailingBlanks(const Bytes& text) {
  std::string lines;
  std::string line;
  for (uint8_t b : text) {
    if (b == '\n') {
      line.erase(line.find_last_not_of(' ') == std::string::npos ? 0
                                                                 : line.find_last_not_of(' ') + 1);
      lines += line + "\n";
      line.clear();
    } else {
      line += static_cast<char>(b);
    }
  }
  return Utf8File(FromUtf8(lines + line));
}

void CheckGeneratedCase(const MorvaGoldenCase& c, const MorvaGoldenRun& run) {
  const std::string text = c.name.substr(0, c.name.find('/'));
  const std::string letters = c.name.substr(text.size() + 1);
  // A Russian text in every PC encoding, as built independently.
  if (text == "utf8-prose" && c.in == 'a') {
    const Bytes utf8 = c.inputs[0].second;
    const std::u16string prose = FromUtf8(std::string(utf8.begin(), utf8.end()));
    switch (c.out) {
      case 'u': ExpectOutput(c, run, "utf8-prose.txt", Utf16File(prose)); break;
      case '8': ExpectOutput(c, run, "utf8-prose.txt", Utf8File(prose)); break;
      case 'w':
        ExpectOutput(c, run, "utf8-prose.txt", SingleByteFile(prose, Charset::Cp1251, true));
        break;
      case 'o':
        ExpectOutput(c, run, "utf8-prose.txt", SingleByteFile(prose, Charset::Cp866, true));
        break;
      case 'k':
        ExpectOutput(c, run, "utf8-prose.txt", SingleByteFile(prose, Charset::BkKoi8, false));
        break;
      case 'r':
        ExpectOutput(c, run, "utf8-prose.txt", SingleByteFile(prose, Charset::Koi8r, false));
        break;
      default: break;
    }
  }
  // BASIC listings: the set is the one built here, and the set reads back
  // as the listing.
  if (text.rfind("basic-", 0) == 0 && letters == "kb") {
    const Bytes& listing = c.inputs[0].second;
    ExpectOutput(c, run, AscHeaderName("basic-"), AscHeaderFile());
    const std::vector<Bytes> parts = AscParts(listing);
    EXPECT_EQ(run.outputs.size(), parts.size() + 1) << c.name;
    for (size_t i = 0; i < parts.size(); ++i) {
      ExpectOutput(c, run, AscPartName("basic-", static_cast<int>(i)), parts[i]);
    }
  }
  if (text.rfind("basic-", 0) == 0 && letters == "bk") {
    // The set's parts hold the listing, the end byte and padding.
    Bytes listing;
    for (size_t i = 1; i < c.inputs.size(); ++i) {
      const Bytes& part = c.inputs[i].second;
      listing.insert(listing.end(), part.begin() + 4, part.end());
    }
    listing.resize(std::find(listing.begin(), listing.end(), 0x1A) - listing.begin());
    ExpectOutput(c, run, "set   .ASC.txt", listing);
  }
  // BK texts that morva writes read back as the text, blanks at line ends
  // dropped: every run of spaces at every column keeps its length.
  if ((text == "space-runs" || text == "ascii-lines") && c.in == 'a' && c.tab == 0) {
    const char* extension = c.out == 'v' ? ".vxt" : ".edp";
    if (c.out == 'e' || c.out == 'd' || c.out == 'v') {
      const Bytes* bk = Output(run, text + extension);
      ASSERT_NE(bk, nullptr) << c.name;
      EXPECT_EQ(ReadBack(*bk, c.out == 'v' ? 'v' : 'e'), WithoutTrailingBlanks(c.inputs[0].second))
          << c.name;
    }
  }
}

TEST(MorvaGoldens, GeneratedTextsGiveTheirPinnedOutputs) {
  const std::vector<MorvaGoldenCase> cases = GeneratedGoldenCases();
  EXPECT_GT(cases.size(), 1500u);
  ExpectGoldens(cases, IsGeneratedCase, CheckGeneratedCase);
}

TEST(MorvaGoldens, RealBkTextsGiveTheirPinnedOutputs) {
  const std::vector<MorvaGoldenCase> cases = RealTextGoldenCases(BK_TEXTS_DIR);
  if (cases.empty()) GTEST_SKIP() << "no real BK texts in " << BK_TEXTS_DIR << " (BK_TEXTS_DIR)";
  ExpectGoldens(cases, IsRealTextCase, [](const MorvaGoldenCase&, const MorvaGoldenRun&) {});
}

}  // namespace
