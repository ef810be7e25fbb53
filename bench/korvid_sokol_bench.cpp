// Sokol packing figures for each BK file of the corpus (or of the folder
// given as the argument), and in total: data bytes, image bytes (4-byte BK
// header and stub included), ratio, pack time (processor time, best of
// three), the in-place margin, PDP-11 instructions per unpacked byte and
// the estimated seconds on a 3 MHz BK-0010 (from the K1801VM1 timing table:
// an estimate, see korvid/pdp11/pdp11_timing.h). The image runs in the
// PDP-11 model in data mode, loaded at its own address (at 01000 when it
// would reach past the model's RAM), and must hand back its data intact;
// every image is also unpacked on the PC and compared.
//
//   korvid_sokol_bench [folder]
//   korvid_sokol_bench --profile [folder]
//   korvid_sokol_bench --seeds OUTPUT [folder]
//
// --profile adds, over all files, the instructions executed at each word of
// the decoder block (octal offsets as in korvid/sokol/sokol_stub.cpp), per
// unpacked byte: where the decoder spends its time.
// --seeds writes, for fuzz/run.sh, each file's image as the unpack fuzz
// target takes it (the load address word, then the image) and stops.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "bk/bk_file.h"
#include "bk/memory.h"
#include "corpus_files.h"
#include "pdp11/pdp11_machine.h"
#include "sokol/sokol.h"
#include "sokol/sokol_stub.h"

namespace {

constexpr int kRuns = 3;
// The caller: its JSR PC returns to kCaller, the stack lies below the BK's
// system area, or at the top of the RAM for data that covers that area.
constexpr uint16_t kCaller = 0200;
constexpr uint16_t kHighCaller = 0157500;
constexpr uint16_t kHighStack = 0157400;
constexpr uint64_t kStepsPerByte = 200;
constexpr size_t kRoomAbove = 400;  // for the margin, with room to spare

struct ModelRun {
  bool intact = false;
  uint64_t instructions = 0;
  uint64_t cycles = 0;
};

// Instructions executed per offset in the decoder block, over all runs.
using Profile = std::map<uint32_t, uint64_t>;

// Runs the data-mode image of `data` in the model, entered by a JSR PC from
// the caller; it must return there with the data in place. With `profile`
// it steps one instruction at a time and counts where the block ran.
ModelRun RunInModel(const Bytes& data, uint16_t loadAddress, Profile* profile) {
  ModelRun run;
  // The model's RAM ends at its I/O page, 0160000: a program that would
  // reach beyond it runs from 01000 instead.
  if (loadAddress + data.size() + kRoomAbove > pdp11::kIoPageStart) loadAddress = kSystemAreaEnd;
  sokol::PackOptions options;
  options.dataMode = true;
  const sokol::PackResult packed = sokol::Pack(data, loadAddress, options);
  if (packed.error != sokol::PackError::None) return run;
  const bool low = loadAddress >= kSystemAreaEnd;
  const uint16_t caller = low ? kCaller : kHighCaller;
  const uint16_t stack = low ? kSystemAreaEnd : kHighStack;
  pdp11::Machine machine;
  machine.Load(loadAddress, packed.image);
  machine.SetWord(caller, 0);  // HALT, never reached: the run hands off there
  machine.SetWord(stack - 2u, caller);
  machine.SetRegister(pdp11::kSp, static_cast<uint16_t>(stack - 2u));
  // Below 01000 the stub sits at 01000 and the stack image stays as loaded.
  const size_t split = low ? 0 : kSystemAreaEnd - loadAddress;
  machine.SetRegister(pdp11::kPc, static_cast<uint16_t>(loadAddress + split));
  machine.AddStopAt(caller);
  const uint64_t limit = kStepsPerByte * data.size() + 100000;
  pdp11::RunOutcome outcome;
  if (profile == nullptr) {
    outcome = machine.Run(limit);
  } else {
    // The block lies just below the entry SP, as the set-up code puts it.
    const uint32_t block = stack - 2u - sokol::kBlockSize;
    while (machine.Instructions() < limit) {
      const uint32_t pc = machine.Register(pdp11::kPc);
      outcome = machine.Run(1);
      if (pc >= block && pc < block + sokol::kBlockSize) ++(*profile)[pc - block];
      if (outcome.reason != pdp11::StopReason::StepLimit) break;
    }
  }
  run.instructions = machine.Instructions();
  run.cycles = machine.Cycles();
  run.intact = outcome.HandedOff() && outcome.pc == caller &&
               std::equal(data.begin() + split, data.end(), machine.Memory().begin() + loadAddress + split);
  return run;
}

int WriteSeeds(const std::string& output, const std::string& folder) {
  for (const std::string& name : BinFiles(folder)) {
    const Bytes file = ReadWholeFile(folder + "/" + name);
    if (file.size() < kHeaderSize) continue;
    const uint16_t loadAddress = static_cast<uint16_t>(file[0] | file[1] << 8);
    const sokol::PackResult packed = sokol::Pack(ByteView(file).From(kHeaderSize), loadAddress, {});
    if (packed.error != sokol::PackError::None) continue;
    if (FILE* seed = std::fopen((output + "/" + name + ".skl").c_str(), "wb")) {
      std::fwrite(file.data(), 1, 2, seed);
      std::fwrite(packed.image.data(), 1, packed.image.size(), seed);
      std::fclose(seed);
    }
  }
  return 0;
}

double PerByte(uint64_t count, size_t bytes) { return static_cast<double>(count) / static_cast<double>(bytes); }

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() > 1 && args[0] == "--seeds") return WriteSeeds(args[1], args.size() > 2 ? args[2] : BK_CORPUS_DIR);
  const bool profiling = !args.empty() && args[0] == "--profile";
  if (profiling) args.erase(args.begin());
  const std::string folder = args.empty() ? BK_CORPUS_DIR : args[0];
  const std::vector<std::string> files = BinFiles(folder);
  if (files.empty()) {
    std::printf("no .bin files in %s\n", folder.c_str());
    return 1;
  }
  std::printf("%-22s %7s %7s %7s %8s %6s %10s %6s\n", "file", "data", "image", "ratio", "pack ms", "margin",
              "instr/byte", "BK s");
  size_t totalData = 0;
  size_t totalImage = 0;
  double totalMs = 0;
  double slowestMs = 0;
  uint64_t totalInstructions = 0;
  uint64_t totalCycles = 0;
  double worstPerByte = 0;
  uint32_t marginLow = ~0u;
  uint32_t marginHigh = 0;
  Profile profile;
  bool allIntact = true;
  for (const std::string& name : files) {
    const Bytes file = ReadWholeFile(folder + "/" + name);
    if (file.size() < kHeaderSize) continue;
    const uint16_t loadAddress = static_cast<uint16_t>(file[0] | file[1] << 8);
    const Bytes data(file.begin() + kHeaderSize, file.end());
    sokol::PackResult packed;
    double bestMs = 1e9;
    for (int run = 0; run < kRuns; ++run) {
      const std::clock_t start = std::clock();
      packed = sokol::Pack(data, loadAddress, {});
      bestMs = std::min(bestMs, 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    }
    if (packed.error != sokol::PackError::None) {
      std::printf("%-22s refused (%d), %u bytes missing\n", name.c_str(), static_cast<int>(packed.error),
                  packed.missingBytes);
      allIntact = false;
      continue;
    }
    const sokol::UnpackResult unpacked = sokol::Unpack(packed.image, loadAddress);
    const ModelRun run = RunInModel(data, loadAddress, profiling ? &profile : nullptr);
    const bool intact = unpacked.error == sokol::UnpackError::None && unpacked.data == data && run.intact;
    allIntact = allIntact && intact;
    const size_t imageBytes = packed.image.size() + kHeaderSize;
    const double perByte = PerByte(run.instructions, data.size());
    std::printf("%-22s %7zu %7zu %6.2f%% %8.1f %6u %10.2f %6.2f%s\n", name.c_str(), data.size(), imageBytes,
                100.0 * PerByte(imageBytes, data.size()), bestMs, packed.margin, perByte,
                pdp11::Bk0010Seconds(run.cycles), intact ? "" : "  UNPACKED WRONG");
    totalData += data.size();
    totalImage += imageBytes;
    totalMs += bestMs;
    slowestMs = std::max(slowestMs, bestMs);
    totalInstructions += run.instructions;
    totalCycles += run.cycles;
    worstPerByte = std::max(worstPerByte, perByte);
    marginLow = std::min(marginLow, packed.margin);
    marginHigh = std::max(marginHigh, packed.margin);
  }
  std::printf("%-22s %7zu %7zu %6.2f%% %8.1f %6s %10.2f %6.2f\n", "total", totalData, totalImage,
              100.0 * PerByte(totalImage, totalData), totalMs, "", PerByte(totalInstructions, totalData),
              pdp11::Bk0010Seconds(totalCycles));
  std::printf("slowest single input: %.1f ms; worst instructions per byte %.2f; margins %u..%u; stub %zu bytes\n",
              slowestMs, worstPerByte, marginLow, marginHigh, sokol::kStubSize);
  if (profiling) {
    std::printf("\ninstructions per unpacked byte at each block offset (octal)\n");
    for (const auto& [offset, count] : profile) {
      std::printf("  %04o %8.3f\n", offset, PerByte(count, totalData));
    }
  }
  std::printf("%s\n", allIntact ? "every image unpacked right" : "SOME IMAGES DID NOT UNPACK RIGHT");
  return allIntact ? 0 : 1;
}
