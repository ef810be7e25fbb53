// Unpacking on the BK, estimated with the PDP-11 model: for each BK file of
// the corpus (or of the folder given) and for generated inputs of the
// largest sizes, the Dorvik and the Granol image are run in the model to
// their hand-off, and the benchmark prints the instructions per unpacked
// byte, the estimated time on a 3 MHz BK-0010 (from the K1801VM1 timing
// table: an estimate, see korvid/pdp11/pdp11_timing.h), and, on this PC,
// the time packing took and the time the model took to run the image.
//
//   korvid_pdp11_bench [folder]
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "dorvik/dorvik.h"
#include "granol/granol.h"
#include "granol/granol_stub.h"
#include "pdp11/pdp11_machine.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kSystemAreaEnd = 01000;
constexpr uint16_t kHighStack = 0150000;
constexpr uint32_t kRamEnd = 0160000;
constexpr size_t kDorvikLimit = 30720;
// About the most data that fits below the I/O page with Granol's image
// under it: the image's stream may overlap the data's start, its stub not.
constexpr size_t kLargestInput = 56000;
// Incompressible data: with its image it must fit into the RAM.
constexpr size_t kLargestRandom = 26000;
constexpr uint64_t kStepLimit = 100000000;
// Granol's caller: JSR PC, @#image at 0500, returning to 0504; stack below 0760.
constexpr uint16_t kCaller = 0500;
constexpr uint16_t kGranolStack = 0760;

struct Figures {
  bool ran = false;      // packed, and the image handed off with the data in place
  uint64_t instructions = 0;
  uint64_t cycles = 0;
  double packMs = 0;
  double modelMs = 0;
};

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

Bytes Padded(Bytes data) {
  if (data.size() % 2 != 0) data.push_back(0);
  return data;
}

constexpr int kRuns = 3;  // the model's time is the best of three runs

// Runs the machine to `handOff` and checks the unpacked bytes.
Figures RunAndCheck(const pdp11::Machine& loaded, uint16_t handOff, uint16_t region, const Bytes& expected,
                    double packMs) {
  Figures f;
  f.packMs = packMs;
  f.modelMs = 1e9;
  pdp11::Machine machine = loaded;
  pdp11::RunOutcome outcome;
  for (int run = 0; run < kRuns; ++run) {
    machine = loaded;
    machine.AddStopAt(handOff);
    const Clock::time_point start = Clock::now();
    outcome = machine.Run(kStepLimit);
    f.modelMs = std::min(f.modelMs, Milliseconds(Clock::now() - start));
  }
  f.instructions = machine.Instructions();
  f.cycles = machine.Cycles();
  f.ran = outcome.HandedOff() && outcome.pc == handOff &&
          std::equal(expected.begin(), expected.end(), machine.Memory().begin() + region);
  return f;
}

Figures Dorvik(uint16_t loadAddress, const Bytes& data) {
  if (data.size() + data.size() % 2 > kDorvikLimit) return {};
  const Clock::time_point start = Clock::now();
  const DorvikPackResult packed = DorvikPack(data, loadAddress, DorvikOptions());
  const double packMs = Milliseconds(Clock::now() - start);
  if (packed.error != DorvikPackError::None) return {};
  const Bytes& image = packed.image;

  // Loaded at the load address and entered there (files below 01000: at
  // 01000, and the start address comes from the stack image).
  pdp11::Machine machine;
  machine.Load(loadAddress, image);
  const bool below = loadAddress < kSystemAreaEnd;
  uint16_t startAddress = below ? kSystemAreaEnd : loadAddress;
  if (below) {
    const size_t probe = loadAddress <= 0744 ? 0744 - loadAddress : 0;
    const uint16_t word = static_cast<uint16_t>(data[probe] | data[probe + 1] << 8);
    if (word > kSystemAreaEnd) startAddress = word;
  }
  machine.SetRegister(pdp11::kPc, below ? kSystemAreaEnd : loadAddress);
  machine.SetRegister(pdp11::kSp, below ? kHighStack : kSystemAreaEnd);
  const Bytes padded = Padded(data);
  const uint16_t region = std::max(loadAddress, kSystemAreaEnd);
  return RunAndCheck(machine, startAddress, region,
                     Bytes(padded.begin() + (region - loadAddress), padded.end()), packMs);
}

Figures Granol(uint16_t loadAddress, const Bytes& data) {
  const Clock::time_point start = Clock::now();
  const GranolPackResult packed = GranolPack(data, loadAddress, u"bin");
  const double packMs = Milliseconds(Clock::now() - start);
  if (packed.error != GranolPackError::None) return {};
  Bytes image = packed.image;

  // The data at its load address and the image above it when both fit,
  // else the data from 01000 (or at the top, the image at the bottom).
  const Bytes expected = Padded(data);
  const uint32_t length = static_cast<uint32_t>(expected.size());
  uint32_t destination = loadAddress;
  uint32_t at = (destination + length + 1) & ~1u;
  if (destination < kSystemAreaEnd || at + image.size() > kRamEnd) {
    destination = kSystemAreaEnd;
    at = (destination + length + 1) & ~1u;
    if (at + image.size() > kRamEnd) {
      destination = kRamEnd - length;
      at = kGranolStack;
    }
  }
  image[2 * kGranolLoadAddressWord] = static_cast<uint8_t>(destination & 0377);
  image[2 * kGranolLoadAddressWord + 1] = static_cast<uint8_t>(destination >> 8);
  pdp11::Machine machine;
  machine.Load(static_cast<uint16_t>(at), image);
  machine.SetWord(kCaller, 004737);  // JSR PC, @#image
  machine.SetWord(kCaller + 2, static_cast<uint16_t>(at));
  machine.SetRegister(pdp11::kPc, kCaller);
  machine.SetRegister(pdp11::kSp, kGranolStack);
  return RunAndCheck(machine, kCaller + 4, static_cast<uint16_t>(destination), expected, packMs);
}

void PrintHeader(const char* title) {
  std::printf("\n%s\n%-22s %7s | %-33s | %-33s\n", title, "", "", "Dorvik", "Granol");
  std::printf("%-22s %7s | %7s %8s %7s %8s | %7s %8s %7s %8s\n", "file", "input", "ins/B", "BK s", "pack ms",
              "model ms", "ins/B", "BK s", "pack ms", "model ms");
}

void PrintFigures(const Figures& f, size_t bytes) {
  if (!f.ran) {
    std::printf(" | %7s %8s %7s %8s", "-", "-", "-", "-");
    return;
  }
  std::printf(" | %7.2f %8.2f %7.1f %8.2f", static_cast<double>(f.instructions) / static_cast<double>(bytes),
              pdp11::Bk0010Seconds(f.cycles), f.packMs, f.modelMs);
}

struct Total {
  size_t bytes = 0;
  Figures figures;
  void Add(const Figures& f, size_t size) {
    if (!f.ran) return;
    bytes += size;
    figures.ran = true;
    figures.instructions += f.instructions;
    figures.cycles += f.cycles;
    figures.packMs += f.packMs;
    figures.modelMs += f.modelMs;
  }
};

void PrintRow(const std::string& name, size_t size, const Figures& dorvik, const Figures& granol) {
  std::printf("%-22s %7zu", name.c_str(), size);
  PrintFigures(dorvik, size);
  PrintFigures(granol, size);
  std::printf("\n");
}

std::vector<std::string> BinFiles(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bin") == 0) names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

Bytes ReadFile(const std::string& path) {
  Bytes bytes;
  if (FILE* in = std::fopen(path.c_str(), "rb")) {
    int c;
    while ((c = std::fgetc(in)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(in);
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : BK_CORPUS_DIR;

  PrintHeader(("Corpus: " + folder + " (ins/B: instructions per unpacked byte; BK s: estimated "
               "seconds on a BK-0010)").c_str());
  Total dorvikTotal, granolTotal;
  bool dorvikAll = true;
  for (const std::string& name : BinFiles(folder)) {
    const Bytes file = ReadFile(folder + "/" + name);
    if (file.size() < 4) continue;
    const uint16_t load = static_cast<uint16_t>(file[0] | file[1] << 8);
    const Bytes data(file.begin() + 4, file.end());
    const Figures dorvik = Dorvik(load, data);
    const Figures granol = Granol(load, data);
    PrintRow(name, data.size(), dorvik, granol);
    dorvikTotal.Add(dorvik, data.size());
    granolTotal.Add(granol, data.size());
    dorvikAll = dorvikAll && dorvik.ran;
  }
  std::printf("%-22s %7s", "total", "");
  PrintFigures(dorvikTotal.figures, dorvikTotal.bytes);
  PrintFigures(granolTotal.figures, granolTotal.bytes);
  std::printf("\n(Dorvik over %zu bytes%s, Granol over %zu bytes)\n", dorvikTotal.bytes,
              dorvikAll ? "" : ", files it refuses left out", granolTotal.bytes);

  PrintHeader("Generated inputs of the largest sizes (Dorvik 30720 bytes, Granol 56000; random 26000)");
  std::mt19937 random(1);
  Bytes noise(kLargestRandom);
  for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
  Bytes text(kLargestInput);
  const char* const words[] = {"PRINT ", "GOTO ", "10 ", "REM ", "BK-0010 ", "\n", "A$=", "X=X+1 "};
  for (size_t i = 0; i < text.size();) {
    for (const char* c = words[random() % 8]; *c != '\0' && i < text.size(); ++c) text[i++] = static_cast<uint8_t>(*c);
  }
  for (const auto& [name, data] : {std::pair<const char*, Bytes>{"random", noise}, {"text", text},
                                   {"zeros", Bytes(kLargestInput, 0)}}) {
    const Bytes forDorvik(data.begin(), data.begin() + std::min(kDorvikLimit, data.size()));
    std::printf("%-22s %7s", name, "");
    PrintFigures(Dorvik(01000, forDorvik), forDorvik.size());
    PrintFigures(Granol(01000, data), data.size());
    std::printf("\n");
  }
  return 0;
}
