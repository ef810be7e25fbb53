// The runs of morva whose results are pinned byte for byte: generated texts
// that reach every character class, tab stops, space runs at every column,
// every kind of line end and the splitting of BASIC ASC sets, each through
// every pair of input and output mode letters, and the real BK editor texts
// when they are there.
//
// A golden record holds a digest of the input files as well, so that an
// edit of the texts here shows as a changed input and not as a changed
// converter.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/bk_bytes.h"
#include "support/run_program.h"

struct MorvaGoldenText {
  std::string name;  // without blanks or dots: it names the cases and the input file
  Bytes bytes;
};

// The generated texts.
std::vector<MorvaGoldenText> GeneratedGoldenTexts();
// The files of the real BK texts folder listed in its MANIFEST.tsv; empty
// when it is absent.
std::vector<MorvaGoldenText> RealGoldenTexts(const std::string& textsDir);

using NamedFiles = std::vector<std::pair<std::string, Bytes>>;

struct MorvaGoldenCase {
  std::string name;  // unique, without blanks: the key of its record
  char in = 'a';     // the mode letters
  char out = 'u';
  int tab = 0;          // -t, when not 0
  NamedFiles inputs;    // the files in the folder before the run
  std::string pattern;  // the file argument
};

// The input letters other than b take the text as one file; b takes a
// BASIC ASC set made of the text's bytes. Every valid pair of letters
// (equal letters and b -> v are refused and not run).
std::vector<MorvaGoldenCase> GeneratedGoldenCases();
std::vector<MorvaGoldenCase> RealTextGoldenCases(const std::string& textsDir);

struct MorvaGoldenRun {
  RunResult result;
  NamedFiles outputs;  // every file of the folder after the run that was not an input, by name
};

MorvaGoldenRun RunGoldenCase(const MorvaGoldenCase& c, const std::string& morva);

// The one-line record: the case, the digest of its inputs, exit status and
// digest of the console text, number of output files and digest of their
// names and bytes.
std::string GoldenRecord(const MorvaGoldenCase& c, const MorvaGoldenRun& run);
