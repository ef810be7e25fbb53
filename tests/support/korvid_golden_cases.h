// The runs of korvid whose results are pinned byte for byte: generated BK
// files that reach every token class and distance limit of both methods,
// every load-address case and option combination, images changed the way
// other tools and damage change them, and the real BK programs of the corpus.
//
// A golden record holds a digest of the input as well, so that an edit of
// the inputs here shows as a changed input and not as a changed packer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/bk_bytes.h"
#include "support/digest.h"
#include "support/run_program.h"

struct KorvidGoldenCase {
  std::string name;                  // unique, without blanks: the key of its record
  std::string method;                // the -t keyword
  std::vector<std::string> options;  // the other options, before the input name
  std::string inputName;
  Bytes input;  // the input file
  // Unpack cases take the image that the case `base` wrote, changed by
  // `change`, and run korvid -u on it. Pack cases unpack their own image too.
  std::string base;
  std::function<Bytes(const Bytes&)> change;
  // A second source for the unpacked file: unpacking gives the input back
  // (its data padded to a whole word, under the header unless -r was given).
  bool roundTrip = false;
};

// The generated cases, in the order they run (a base before its changes).
std::vector<KorvidGoldenCase> GeneratedGoldenCases(const std::string& examplesDir);
// Each BK program of the corpus packed with both methods; empty without it.
std::vector<KorvidGoldenCase> CorpusGoldenCases(const std::string& corpusDir);

struct KorvidGoldenRun {
  bool packed = false;  // a pack case (the image comes from `first`)
  Bytes input;          // the input file as given to korvid
  RunResult first;      // packing, or the unpacking of an unpack case
  bool firstWrote = false;
  Bytes firstOutput;
  RunResult unpack;  // pack cases that wrote an image: unpacking it again
  bool unpackWrote = false;
  Bytes unpacked;
};

// Runs every case in a folder of its own and gives the results in order.
std::vector<KorvidGoldenRun> RunGoldenCases(const std::vector<KorvidGoldenCase>& cases,
                                            const std::string& korvid);

// The one-line record of a run: the digests of input, console and output.
std::string GoldenRecord(const KorvidGoldenCase& c, const KorvidGoldenRun& run);

// The input with its data padded to a whole word, as unpacking gives it
// back: bare data with -r, else a BK file at the load address.
Bytes PaddedRoundTrip(const KorvidGoldenCase& c);
