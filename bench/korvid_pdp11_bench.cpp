// Packing and the proof on the PDP-11 model, per method: for each BK file of
// the corpus (or of the folder given) and for generated inputs of the
// largest sizes, each method packs the file and the proof (proof/proof.h)
// runs the image on the model as korvid does before writing it. The
// benchmark prints the instructions per unpacked byte, the estimated time on
// a 3 MHz BK-0010 (from the K1801VM1 timing table: an estimate, see
// korvid/pdp11/pdp11_timing.h) and, on this PC, the time packing took and
// the time the proof took (each the best of three runs), and at the end how
// the proof compares with packing.
//
//   korvid_pdp11_bench [folder]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "dorvik/dorvik.h"
#include "granol/granol.h"
#include "proof/dorvik_plan.h"
#include "proof/granol_plan.h"
#include "proof/sokol_plan.h"
#include "sokol/sokol.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kDorvikLimit = 30720;
constexpr size_t kLargestInput = 56000;
// Incompressible data: with its image it must fit into the RAM.
constexpr size_t kLargestRandom = 26000;
constexpr int kRuns = 3;  // every time is the best of three runs

enum Method { kDorvik, kGranol, kSokol, kMethods };
const char* const kMethodNames[kMethods] = {"Dorvik", "Granol", "Sokol"};

struct Figures {
  bool packed = false;  // the method gave an image
  bool proven = false;
  uint64_t instructions = 0;
  uint64_t cycles = 0;
  double packMs = 0;
  double proofMs = 0;
};

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Runs `work` kRuns times; its fastest run in milliseconds, and in *result
// what it gave. Packing and proof are timed alike, so that their ratio
// compares like with like.
template <typename Work, typename Result>
double FastestOf(Work work, Result* result) {
  double fastest = 1e9;
  for (int run = 0; run < kRuns; ++run) {
    const Clock::time_point start = Clock::now();
    *result = work();
    fastest = std::min(fastest, Milliseconds(Clock::now() - start));
  }
  return fastest;
}

template <typename Prove>
void TimeProof(Figures* f, Prove prove) {
  proof::Proof result;
  f->proofMs = FastestOf(prove, &result);
  f->proven = result.Proven();
  f->instructions = result.instructions;
  f->cycles = result.cycles;
}

Figures Run(Method method, uint16_t loadAddress, const Bytes& data) {
  Figures f;
  switch (method) {
    case kDorvik: {
      if (data.size() + data.size() % 2 > kDorvikLimit) return f;
      dorvik::PackResult packed;
      f.packMs = FastestOf([&] { return dorvik::Pack(data, loadAddress, dorvik::PackOptions()); },
                           &packed);
      if (packed.error != dorvik::PackError::None) return f;
      f.packed = true;
      proof::DorvikEntry entry;
      entry.workStart = packed.workStart;
      TimeProof(&f, [&] { return proof::ProveDorvik(packed.image, data, loadAddress, entry); });
      break;
    }
    case kGranol: {
      granol::PackResult packed;
      f.packMs = FastestOf([&] { return granol::Pack(data, loadAddress, {u"bin"}); }, &packed);
      if (packed.error != granol::PackError::None) return f;
      f.packed = true;
      TimeProof(&f, [&] { return proof::ProveGranol(packed.image, data, loadAddress); });
      break;
    }
    case kSokol: {
      sokol::PackResult packed;
      f.packMs = FastestOf([&] { return sokol::Pack(data, loadAddress, {}); }, &packed);
      if (packed.error != sokol::PackError::None) return f;
      f.packed = true;
      TimeProof(&f, [&] { return proof::ProveSokol(packed, data, false); });
      break;
    }
    case kMethods: break;
  }
  return f;
}

void PrintHeader(const char* title) {
  std::printf("\n%s\n%-22s %6s", title, "", "");
  for (const char* name : kMethodNames) std::printf(" | %-32s", name);
  std::printf("\n%-22s %6s", "file", "input");
  for (int m = 0; m < kMethods; ++m)
    std::printf(" | %6s %6s %8s %9s", "ins/B", "BK s", "pack ms", "proof ms");
  std::printf("\n");
}

void PrintFigures(const Figures& f, size_t bytes) {
  if (!f.packed) {
    std::printf(" | %6s %6s %8s %9s", "-", "-", "-", "-");
  } else if (!f.proven) {
    std::printf(" | %6s %6s %8.1f %9s", "FAILED", "-", f.packMs, "-");
  } else {
    std::printf(" | %6.2f %6.2f %8.1f %9.2f",
                static_cast<double>(f.instructions) / static_cast<double>(bytes),
                pdp11::Bk0010Seconds(f.cycles), f.packMs, f.proofMs);
  }
}

struct Total {
  size_t bytes = 0;
  size_t files = 0;
  size_t failed = 0;
  Figures figures;
  void Add(const Figures& f, size_t size) {
    if (!f.packed) return;
    if (!f.proven) {
      ++failed;
      return;
    }
    ++files;
    bytes += size;
    figures.packed = figures.proven = true;
    figures.instructions += f.instructions;
    figures.cycles += f.cycles;
    figures.packMs += f.packMs;
    figures.proofMs += f.proofMs;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : BK_CORPUS_DIR;

  PrintHeader(("Corpus: " + folder +
               " (ins/B: instructions per unpacked byte; BK s: estimated "
               "seconds on a BK-0010; proof ms: the run on the model with its checks)")
                  .c_str());
  Total totals[kMethods];
  for (const std::string& name : BinFiles(folder)) {
    const Bytes file = ReadWholeFile(folder + "/" + name);
    if (file.size() < 4) continue;
    const uint16_t load = static_cast<uint16_t>(file[0] | file[1] << 8);
    const Bytes data(file.begin() + 4, file.end());
    std::printf("%-22s %6zu", name.c_str(), data.size());
    for (int m = 0; m < kMethods; ++m) {
      const Figures f = Run(static_cast<Method>(m), load, data);
      PrintFigures(f, data.size());
      totals[m].Add(f, data.size());
    }
    std::printf("\n");
  }
  std::printf("%-22s %6s", "total", "");
  for (const Total& total : totals) PrintFigures(total.figures, total.bytes);
  std::printf("\n");
  for (int m = 0; m < kMethods; ++m) {
    const Total& t = totals[m];
    std::printf(
        "%-7s %2zu files, %7zu bytes, %zu failed proofs: packing %8.1f ms, proof %7.1f ms (%.2f of "
        "packing)\n",
        kMethodNames[m], t.files, t.bytes, t.failed, t.figures.packMs, t.figures.proofMs,
        t.figures.packMs > 0 ? t.figures.proofMs / t.figures.packMs : 0.0);
  }

  PrintHeader(
      "Generated inputs of the largest sizes (Dorvik 30720 bytes, others 56000; random 26000)");
  std::mt19937 random(1);
  Bytes noise(kLargestRandom);
  for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
  Bytes text(kLargestInput);
  const char* const words[] = {"PRINT ", "GOTO ", "10 ", "REM ", "BK-0010 ", "\n", "A$=", "X=X+1 "};
  for (size_t i = 0; i < text.size();) {
    for (const char* c = words[random() % 8]; *c != '\0' && i < text.size(); ++c)
      text[i++] = static_cast<uint8_t>(*c);
  }
  for (const auto& [name, data] : {std::pair<const char*, Bytes>{"random", noise},
                                   {"text", text},
                                   {"zeros", Bytes(kLargestInput, 0)}}) {
    std::printf("%-22s %6s", name, "");
    for (int m = 0; m < kMethods; ++m) {
      const Bytes input(
          data.begin(),
          data.begin() + (m == kDorvik ? std::min(kDorvikLimit, data.size()) : data.size()));
      PrintFigures(Run(static_cast<Method>(m), 01000, input), input.size());
    }
    std::printf("\n");
  }
  return 0;
}
