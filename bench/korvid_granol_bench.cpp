// Granol packing figures: for each BK file of the corpus (or of the folder
// given as the argument) and for generated worst cases of the largest size,
// the input size, the image size (4-byte BK header included, as the Sokol
// figures count it), the ratio, and the pack and unpack times (best of three
// runs). Every image is unpacked and compared with its input. An input that
// Granol refuses is listed as such and left out of the total, which counts
// the files Granol packs.
//
//   korvid_granol_bench [folder]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bk/bk_file.h"
#include "corpus_files.h"
#include "granol/granol.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 3;
constexpr size_t kLargestInput = 57343;

constexpr size_t kHeaderSize = 4;

struct Figures {
  size_t input = 0;
  size_t image = 0;
  double packMs = 0;
  double unpackMs = 0;
  bool intact = false;
  bool refused = false;
};

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

Figures Measure(const Bytes& data) {
  Figures figures;
  figures.input = data.size();
  figures.packMs = figures.unpackMs = 1e9;
  Bytes image;
  for (int run = 0; run < kRuns; ++run) {
    const Clock::time_point start = Clock::now();
    granol::PackResult packed = granol::Pack(data, 01000, {u"bin"});
    figures.packMs = std::min(figures.packMs, Milliseconds(Clock::now() - start));
    figures.refused = packed.error != granol::PackError::None;
    image = std::move(packed.image);
  }
  if (figures.refused) return figures;
  figures.image = image.size() + kHeaderSize;
  for (int run = 0; run < kRuns; ++run) {
    const Clock::time_point start = Clock::now();
    const granol::UnpackResult unpacked = granol::Unpack(image, 01000);
    figures.unpackMs = std::min(figures.unpackMs, Milliseconds(Clock::now() - start));
    Bytes expected = data;
    if (expected.size() % 2 != 0) expected.push_back(0);
    figures.intact = unpacked.error == granol::UnpackError::None && unpacked.data == expected;
  }
  return figures;
}

void PrintRow(const std::string& name, const Figures& f) {
  if (f.refused) {
    std::printf("%-22s %8zu  refused: does not fit beside its data\n", name.c_str(), f.input);
    return;
  }
  std::printf("%-22s %8zu %8zu %6.1f%% %9.2f %9.2f %s\n", name.c_str(), f.input, f.image,
              f.input == 0 ? 0.0 : 100.0 * f.image / f.input, f.packMs, f.unpackMs,
              f.intact ? "" : "  UNPACKED DATA DIFFERS");
}

void PrintHeader(const char* title) {
  std::printf("\n%s\n%-22s %8s %8s %7s %9s %9s\n", title, "file", "input", "image", "ratio",
              "pack ms", "unpack ms");
}

// The data of a BK file, as korvid reads it.
Bytes ReadBkData(const std::string& path) {
  const Bytes bytes = ReadWholeFile(path);
  return ParseBkFile(bytes, false).data;
}

// Inputs of the largest size that stress the plain window scan: random
// bytes (a full scan and a literal for every byte), pairs that recur only
// beyond the reach of short copies, and easy cases for comparison.
std::vector<std::pair<std::string, Bytes>> GeneratedInputs() {
  std::mt19937 random(1);
  std::vector<std::pair<std::string, Bytes>> inputs;
  Bytes data(kLargestInput);
  for (uint8_t& b : data) b = static_cast<uint8_t>(random());
  inputs.emplace_back("random", data);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = i % 2 == 0 ? 0 : static_cast<uint8_t>(random());
  inputs.emplace_back("zero, random, ...", data);
  for (uint8_t& b : data) b = static_cast<uint8_t>(random() % 2);
  inputs.emplace_back("two values", data);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 1031 % 251);
  inputs.emplace_back("period 1031", data);
  inputs.emplace_back("zeros", Bytes(kLargestInput, 0));
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : BK_CORPUS_DIR;

  PrintHeader(("Corpus: " + folder).c_str());
  Figures total;
  total.intact = true;
  int packed = 0;
  for (const std::string& name : BinFiles(folder)) {
    const Figures f = Measure(ReadBkData(folder + "/" + name));
    PrintRow(name, f);
    if (f.refused) continue;
    ++packed;
    total.input += f.input;
    total.image += f.image;
    total.packMs += f.packMs;
    total.unpackMs += f.unpackMs;
    total.intact = total.intact && f.intact;
  }
  PrintRow("total (" + std::to_string(packed) + " files)", total);

  PrintHeader("Generated inputs of 57343 bytes");
  double slowest = 0;
  for (const auto& [name, data] : GeneratedInputs()) {
    const Figures f = Measure(data);
    PrintRow(name, f);
    slowest = std::max(slowest, f.packMs);
  }
  std::printf("\nslowest pack of a 57343-byte input: %.1f ms\n", slowest);
  return 0;
}
