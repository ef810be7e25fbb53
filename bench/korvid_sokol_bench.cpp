// Sokol packing figures for each BK file of the corpus (or of the folder
// given as the argument), and in total: data bytes, image bytes (4-byte BK
// header and stub included), ratio, pack time (processor time, best of
// three), the in-place margin, and PDP-11 instructions per unpacked byte,
// counted by running the image on simh's pdp11. Every image is also
// unpacked on the PC and compared with its input.
//
//   korvid_sokol_bench [folder]
//   korvid_sokol_bench --seeds OUTPUT [folder]
//
// The second form writes, for fuzz/run.sh, each file's image as the unpack
// fuzz target takes it (the load address word, then the image) and stops.
//
// The emulator column needs the pdp11 simulator; without it (or in a build
// without the tests' support library) it is skipped, and the output says so.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include <dirent.h>

#include "sokol/sokol.h"
#include "sokol/sokol_stub.h"
#ifdef SOKOL_BENCH_EMULATOR
#include "support/pdp11.h"
#endif

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kRuns = 3;
constexpr size_t kHeaderSize = 4;

std::vector<std::string> BinFiles(const std::string& folder) {
  std::vector<std::string> files;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bin") == 0) files.push_back(name);
    }
    closedir(dir);
  }
  std::sort(files.begin(), files.end());
  return files;
}

Bytes ReadWhole(const std::string& path) {
  Bytes bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    uint8_t buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
  }
  return bytes;
}

#ifdef SOKOL_BENCH_EMULATOR
constexpr uint32_t kMachineTop = 0160000;

// Runs a data-mode image on the emulator and returns the instructions it
// took, or 0 when the data did not come out right. The return address on
// the stack points at a HALT; the stack lies below 01000 as on a BK, or at
// the top of the emulator's memory for data that covers that area.
uint64_t EmulatorInstructions(const Bytes& data, uint16_t loadAddress) {
  if (loadAddress + data.size() + 400 > kMachineTop) loadAddress = 01000;
  sokol::PackOptions options;
  options.dataMode = true;
  const sokol::PackResult packed = sokol::Pack(data.data(), data.size(), loadAddress, options);
  if (packed.error != sokol::PackError::None) return 0;
  const uint16_t stack = loadAddress >= 01000 ? 01000 : 0157400;
  const uint16_t halt = loadAddress >= 01000 ? 0200 : 0157500;
  Pdp11Machine machine;
  machine.Load(loadAddress, packed.image);
  machine.SetWord(halt, 0);
  machine.SetWord(stack - 2u, halt);
  machine.SetRegister(6, static_cast<uint16_t>(stack - 2u));
  machine.SetRegister(7, loadAddress);
  machine.Examine(loadAddress, static_cast<uint32_t>(data.size()));
  const Pdp11Result result = machine.Run(100ull * data.size() + 100000, 300);
  if (!result.halted || result.pc != halt + 2u || result.Range(loadAddress, data.size()) != data) return 0;
  return result.instructions;
}
#endif

}  // namespace

int WriteSeeds(const std::string& output, const std::string& folder) {
  for (const std::string& name : BinFiles(folder)) {
    const Bytes file = ReadWhole(folder + "/" + name);
    if (file.size() < kHeaderSize) continue;
    const uint16_t loadAddress = static_cast<uint16_t>(file[0] | file[1] << 8);
    const sokol::PackResult packed =
        sokol::Pack(file.data() + kHeaderSize, file.size() - kHeaderSize, loadAddress, {});
    if (packed.error != sokol::PackError::None) continue;
    if (FILE* seed = std::fopen((output + "/" + name + ".skl").c_str(), "wb")) {
      std::fwrite(file.data(), 1, 2, seed);
      std::fwrite(packed.image.data(), 1, packed.image.size(), seed);
      std::fclose(seed);
    }
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--seeds") return WriteSeeds(argv[2], argc > 3 ? argv[3] : BK_CORPUS_DIR);
  const std::string folder = argc > 1 ? argv[1] : BK_CORPUS_DIR;
  const std::vector<std::string> files = BinFiles(folder);
  if (files.empty()) {
    std::printf("no .bin files in %s\n", folder.c_str());
    return 1;
  }
  bool emulator = false;
#ifdef SOKOL_BENCH_EMULATOR
  emulator = Pdp11Machine::Available();
#endif
  if (!emulator) std::printf("pdp11 (simh) is not available: the instructions column is skipped\n");
  std::printf("%-22s %7s %7s %7s %9s %6s %10s\n", "file", "data", "image", "ratio", "pack ms", "margin",
              emulator ? "instr/byte" : "");
  size_t totalData = 0;
  size_t totalImage = 0;
  double totalMs = 0;
  double slowestMs = 0;
  uint64_t totalInstructions = 0;
  bool allIntact = true;
  for (const std::string& name : files) {
    const Bytes file = ReadWhole(folder + "/" + name);
    if (file.size() < kHeaderSize) continue;
    const uint16_t loadAddress = static_cast<uint16_t>(file[0] | file[1] << 8);
    const Bytes data(file.begin() + kHeaderSize, file.end());
    sokol::PackResult packed;
    double bestMs = 1e9;
    for (int run = 0; run < kRuns; ++run) {
      const std::clock_t start = std::clock();
      packed = sokol::Pack(data.data(), data.size(), loadAddress, {});
      bestMs = std::min(bestMs, 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    }
    if (packed.error != sokol::PackError::None) {
      std::printf("%-22s refused (%d), %u bytes missing\n", name.c_str(), static_cast<int>(packed.error),
                  packed.missingBytes);
      allIntact = false;
      continue;
    }
    const sokol::UnpackResult unpacked = sokol::Unpack(packed.image.data(), packed.image.size(), loadAddress);
    const bool intact = unpacked.error == sokol::UnpackError::None && unpacked.data == data;
    allIntact = allIntact && intact;
    const size_t imageBytes = packed.image.size() + kHeaderSize;
    std::printf("%-22s %7zu %7zu %6.2f%% %9.1f %6u", name.c_str(), data.size(), imageBytes,
                100.0 * static_cast<double>(imageBytes) / static_cast<double>(data.size()), bestMs, packed.margin);
#ifdef SOKOL_BENCH_EMULATOR
    if (emulator) {
      const uint64_t instructions = EmulatorInstructions(data, loadAddress);
      if (instructions == 0) allIntact = false;
      totalInstructions += instructions;
      std::printf(" %10.2f", static_cast<double>(instructions) / static_cast<double>(data.size()));
    }
#endif
    std::printf("%s\n", intact ? "" : "  UNPACKED WRONG");
    totalData += data.size();
    totalImage += imageBytes;
    totalMs += bestMs;
    slowestMs = std::max(slowestMs, bestMs);
  }
  std::printf("%-22s %7zu %7zu %6.2f%% %9.1f %6s", "total", totalData, totalImage,
              100.0 * static_cast<double>(totalImage) / static_cast<double>(totalData), totalMs, "");
  if (emulator) std::printf(" %10.2f", static_cast<double>(totalInstructions) / static_cast<double>(totalData));
  std::printf("\nslowest single input: %.1f ms; stub %zu bytes\n%s\n", slowestMs, sokol::kStubSize,
              allIntact ? "every image unpacked right" : "SOME IMAGES DID NOT UNPACK RIGHT");
  return allIntact ? 0 : 1;
}
