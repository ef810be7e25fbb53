// Every image and every unpacked file that korvid makes for a fixed set of
// inputs, with its console text and exit status, pinned by digest in
// goldens.txt. A change of any byte fails here, even when the new image
// would still unpack: packing the same program must give the same image.
//
// Two second sources keep the pinned results honest: every image that
// should give its input back is unpacked and compared with the input, and
// the worked examples are compared with the images worked out by hand. The
// emulator tests run the same images on a PDP-11.
//
// KORVID_GOLDEN_OUT=file writes the records of this run to `file`, for a
// reviewer who has to see what changed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "support/korvid_golden_cases.h"
#include "support/program_platform.h"
#include "support/golden_records.h"
#include "support/temp_dir.h"

namespace {

void WriteRecords(const std::vector<std::string>& records) {
  const char* path = std::getenv("KORVID_GOLDEN_OUT");
  if (path == nullptr || *path == '\0') return;
  std::ofstream out(path, std::ios::app);
  for (const std::string& record : records) out << record << "\n";
}

// Compares the records of the runs with the pinned ones; `belongs` tells the
// records that this set of cases must produce, all of them.
void ExpectGoldens(const std::vector<KorvidGoldenCase>& cases,
                   const std::vector<KorvidGoldenRun>& runs,
                   bool (*belongs)(const std::string& name)) {
  std::vector<std::string> records;
  for (size_t i = 0; i < cases.size(); ++i) records.push_back(GoldenRecord(cases[i], runs[i]));
  WriteRecords(records);
  const GoldenRecords loaded = LoadGoldenRecords(KORVID_GOLDENS);
  for (const std::string& name : loaded.repeated) ADD_FAILURE() << "two golden records for " << name;
  const std::map<std::string, std::string>& goldens = loaded.byName;
  ASSERT_FALSE(goldens.empty()) << "no golden records in " << KORVID_GOLDENS;
  std::set<std::string> seen;
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string& record = records[i];
    seen.insert(cases[i].name);
    const auto golden = goldens.find(cases[i].name);
    if (golden == goldens.end()) {
      ADD_FAILURE() << "no golden record for " << cases[i].name << "; this run gives\n  " << record;
      continue;
    }
    if (RecordField(golden->second, "input") != RecordField(record, "input")) {
      ADD_FAILURE() << cases[i].name << ": the input is not the one the record was made from";
      continue;
    }
    EXPECT_EQ(record, golden->second)
        << cases[i].name << " differs from its golden record\n  korvid said:\n"
        << runs[i].first.out << runs[i].unpack.out;
  }
  for (const auto& [name, record] : goldens) {
    if (!belongs(name)) continue;
    EXPECT_EQ(seen.count(name), 1u) << "the golden case " << name << " was not run";
  }
}

// Cases left out for the Windows programs, by name.
std::set<std::string> leftOut;

bool IsCorpusCase(const std::string& name) { return name.find("/corpus/") != std::string::npos; }
bool IsGeneratedCase(const std::string& name) {
  return !IsCorpusCase(name) && leftOut.count(name) == 0;
}

// Windows drops a last dot or space of a name, and its names are UTF-16:
// bytes that are no UTF-8 name nothing there.
bool WindowsCannotHold(const std::string& name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return true;
  for (size_t i = 0; i < name.size();) {
    const auto lead = static_cast<unsigned char>(name[i]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2
                        : lead >= 0xE0 && lead < 0xF0 ? 3 : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
    if (length == 0 || i + length > name.size()) return true;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(name[i + k]) & 0xC0) != 0x80) return true;
    }
    i += length;
  }
  return false;
}

// The cases the programs under test can run: on Windows, not those whose
// input name it cannot hold, nor the cases built on their images.
std::vector<KorvidGoldenCase> RunnableCases(const std::vector<KorvidGoldenCase>& cases) {
  std::vector<KorvidGoldenCase> runnable;
  for (const KorvidGoldenCase& c : cases) {
    if (kProgramsOnWindows && (WindowsCannotHold(c.inputName) || leftOut.count(c.base) != 0)) {
      leftOut.insert(c.name);
      std::cout << "[   NOTE   ] not for the Windows programs: " << c.name
                << " (a name Windows cannot hold)\n";
      continue;
    }
    runnable.push_back(c);
  }
  return runnable;
}

TEST(KorvidGoldens, GeneratedInputsGiveTheirPinnedImagesAndFiles) {
  const std::vector<KorvidGoldenCase> cases = RunnableCases(GeneratedGoldenCases(EXAMPLES_DIR));
  const std::vector<KorvidGoldenRun> runs = RunGoldenCases(cases, KORVID_BINARY);
  ExpectGoldens(cases, runs, IsGeneratedCase);

  // The second source: what unpacking must give back, and the runs that
  // must fail write nothing at all.
  int roundTrips = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    const KorvidGoldenCase& c = cases[i];
    const KorvidGoldenRun& run = runs[i];
    EXPECT_EQ(run.firstWrote, run.first.exitStatus == 0) << c.name;
    if (!run.packed || !c.roundTrip) continue;
    ASSERT_TRUE(run.firstWrote) << c.name << ": " << run.first.out;
    ASSERT_TRUE(run.unpackWrote) << c.name << ": " << run.unpack.out;
    EXPECT_EQ(run.unpacked, PaddedRoundTrip(c)) << c.name;
    ++roundTrips;
  }
  EXPECT_GT(roundTrips, 200);
}

TEST(KorvidGoldens, CorpusFilesGiveTheirPinnedImagesAndFiles) {
  const std::vector<KorvidGoldenCase> cases = CorpusGoldenCases(BK_CORPUS_DIR);
  if (cases.empty()) GTEST_SKIP() << "no BK files in " << BK_CORPUS_DIR;
  const std::vector<KorvidGoldenRun> runs = RunGoldenCases(cases, KORVID_BINARY);
  ExpectGoldens(cases, runs, IsCorpusCase);
  // Every image the corpus gives unpacks to its program (the data of a BK
  // file, padded to a whole word but by Sokol).
  for (size_t i = 0; i < cases.size(); ++i) {
    if (!runs[i].firstWrote) continue;
    EXPECT_TRUE(runs[i].unpackWrote) << cases[i].name << ": " << runs[i].unpack.out;
    const Bytes& file = cases[i].input;
    if (file.size() != 4u + WordAt(file, 2)) continue;  // not a plain BK file: see its record
    EXPECT_EQ(runs[i].unpacked, PaddedRoundTrip(cases[i])) << cases[i].name;
  }
}

// The images of the worked examples, as worked out by hand.
TEST(KorvidGoldens, WorkedExamplesAreTheImagesWorkedOutByHand) {
  std::vector<KorvidGoldenCase> cases;
  for (KorvidGoldenCase& c : GeneratedGoldenCases(EXAMPLES_DIR)) {
    if (c.name == "dorvik/ten-words" || c.name == "bkgranol/six-zero-bytes")
      cases.push_back(std::move(c));
  }
  ASSERT_EQ(cases.size(), 2u);
  const std::vector<KorvidGoldenRun> runs = RunGoldenCases(cases, KORVID_BINARY);

  // Dorvik: the image worked out step by step.
  EXPECT_EQ(runs[0].firstOutput, MakeBkFile(01000, TenWordExampleImage()));

  // Granol: a copy of 3 bytes at distance 2 and 3 literal zeros, 41 bits in
  // two full words and 9 bits under the marker, then the parameter block.
  const Bytes& grl = runs[1].firstOutput;
  ASSERT_EQ(grl.size(), 4u + 2 * 136);
  EXPECT_EQ(WordAt(grl, 0), 01000);
  EXPECT_EQ(WordAt(grl, 2), 2 * 136);
  const std::vector<uint16_t> tail = {01000, 2 * (136 - 131), 6, 0040020, 0, 001010, 9};
  for (size_t i = 0; i < tail.size(); ++i)
    EXPECT_EQ(WordAt(grl, 4 + 2 * (129 + i)), tail[i]) << 129 + i;
  EXPECT_EQ(std::string(grl.begin() + 4 + 0362, grl.begin() + 4 + 0377), "GRANOL7.2 bin");
}

}  // namespace
