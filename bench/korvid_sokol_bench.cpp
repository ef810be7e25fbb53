// Sokol packing figures for each BK file of the corpus (or of the folder
// given as the argument): data bytes, image bytes (4-byte BK header and stub
// included), ratio, the decoder chosen, pack time (processor time, best of
// three), the in-place margin, PDP-11 instructions per unpacked byte and the
// estimated seconds on a 3 MHz BK-0010 (from the K1801VM1 timing table: an
// estimate, see korvid/pdp11/pdp11_timing.h). The image runs in the PDP-11
// model in data mode, loaded at its own address (at 01000 when it would
// reach past the model's RAM), and must hand back its data intact; every
// image is also unpacked on the PC and compared.
//
// Then the race: the images by size class of the data (under 4 KB, 4-10 KB,
// 10-20 KB, over 20 KB) and in total beside korvid's Granol and Dorvik
// images of the same files (Dorvik takes files up to 30720 bytes) and the
// figures quoted for ZX0 on this corpus; instructions per byte in total and
// for the slowest file; packing time; the decoders' sizes and how often each
// was chosen.
//
//   korvid_sokol_bench [folder]
//   korvid_sokol_bench --decoder N [folder]   every file with decoder N (0-5)
//   korvid_sokol_bench --profile [folder]
//   korvid_sokol_bench --seeds OUTPUT [folder]
//
// --profile adds, over all files, the instructions executed at each word of
// each decoder block (octal offsets as in korvid/sokol/sokol_stub.cpp), per
// unpacked byte: where the decoders spend their time.
// --seeds writes, for fuzz/run.sh, each file's image as the unpack fuzz
// target takes it (the load address word, then the image) and stops.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bk/bk_file.h"
#include "bk/memory.h"
#include "corpus_files.h"
#include "dorvik/dorvik.h"
#include "granol/granol.h"
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
constexpr size_t kDorvikLimit = 30720;

const char* const kDecoderNames[sokol::kDecoderCount] = {"tiny",  "compact",     "compact+table",
                                                          "fast",  "fast+table",  "fast+nibbles"};

// Quoted for this corpus (572,845 bytes of data), not measured here.
constexpr double kZx0Bare = 50.84;
constexpr double kZx0WithDecoder = 51.48;  // its 92-byte PDP-11 decoder and a 4-byte header

struct ModelRun {
  bool intact = false;
  uint64_t instructions = 0;
  uint64_t cycles = 0;
};

// Instructions executed per decoder and offset in its block, over all runs.
using Profile = std::map<std::pair<int, uint32_t>, uint64_t>;

// Runs the data-mode image of `data` in the model, entered by a JSR PC from
// the caller; it must return there with the data in place. With `profile`
// it steps one instruction at a time and counts where the block ran.
ModelRun RunInModel(const Bytes& data, uint16_t loadAddress, const std::optional<sokol::Decoder>& decoder,
                    Profile* profile) {
  ModelRun run;
  // The model's RAM ends at its I/O page, 0160000: a program that would
  // reach beyond it runs from 01000 instead.
  if (loadAddress + data.size() + kRoomAbove > pdp11::kIoPageStart) loadAddress = kSystemAreaEnd;
  sokol::PackOptions options;
  options.dataMode = true;
  options.decoder = decoder;
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
    const uint32_t size = static_cast<uint32_t>(sokol::BlockOf(packed.decoder).size);
    const uint32_t block = stack - 2u - size;
    while (machine.Instructions() < limit) {
      const uint32_t pc = machine.Register(pdp11::kPc);
      outcome = machine.Run(1);
      if (pc >= block && pc < block + size) ++(*profile)[{static_cast<int>(packed.decoder), pc - block}];
      if (outcome.reason != pdp11::StopReason::StepLimit) break;
    }
  }
  run.instructions = machine.Instructions();
  run.cycles = machine.Cycles();
  run.intact = outcome.HandedOff() && outcome.pc == caller && machine.Instructions() == packed.instructions &&
               std::equal(data.begin() + split, data.end(), machine.Memory().begin() + loadAddress + split);
  return run;
}

int WriteSeeds(const std::string& output, const std::string& folder) {
  for (const std::string& name : BinFiles(folder)) {
    const Bytes file = ReadWholeFile(folder + "/" + name);
    if (file.size() < kHeaderSize) continue;
    const uint16_t loadAddress = static_cast<uint16_t>(file[0] | file[1] << 8);
    const sokol::PackResult packed =
        sokol::Pack(ByteView(file).From(kHeaderSize), loadAddress, {});
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
double Percent(size_t part, size_t whole) { return whole == 0 ? 0 : 100.0 * PerByte(part, whole); }

// Image bytes (with the BK header) of each method over a set of files.
struct Race {
  size_t files = 0;
  size_t data = 0;
  size_t sokol = 0;
  size_t granolData = 0;  // of the files Granol takes
  size_t granol = 0;
  size_t dorvikData = 0;  // of the files Dorvik takes
  size_t dorvik = 0;

  void Print(const char* label) const {
    if (files == 0) return;
    std::printf("%-10s %5zu %8zu %8zu %7.2f%% %7.2f%% of %6zu %7.2f%% of %6zu\n", label, files, data, sokol,
                Percent(sokol, data), Percent(granol, granolData), granolData, Percent(dorvik, dorvikData),
                dorvikData);
  }
};

int SizeClass(size_t bytes) { return bytes < 4096 ? 0 : bytes < 10240 ? 1 : bytes < 20480 ? 2 : 3; }

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() > 1 && args[0] == "--seeds") return WriteSeeds(args[1], args.size() > 2 ? args[2] : BK_CORPUS_DIR);
  const bool profiling = !args.empty() && args[0] == "--profile";
  if (profiling) args.erase(args.begin());
  std::optional<sokol::Decoder> forced;
  if (args.size() > 1 && args[0] == "--decoder") {
    const int d = std::atoi(args[1].c_str());
    if (d < 0 || d >= sokol::kDecoderCount) {
      std::printf("decoders are 0 to %d\n", sokol::kDecoderCount - 1);
      return 2;
    }
    forced = static_cast<sokol::Decoder>(d);
    args.erase(args.begin(), args.begin() + 2);
  }
  const std::string folder = args.empty() ? BK_CORPUS_DIR : args[0];
  const std::vector<std::string> files = BinFiles(folder);
  if (files.empty()) {
    std::printf("no .bin files in %s\n", folder.c_str());
    return 1;
  }
  std::printf("%-22s %7s %7s %7s %-14s %8s %6s %10s %6s\n", "file", "data", "image", "ratio", "decoder", "pack ms",
              "margin", "instr/byte", "BK s");
  Race classes[4];
  Race total;
  double totalMs = 0;
  double slowestMs = 0;
  uint64_t totalInstructions = 0;
  uint64_t totalCycles = 0;
  double worstPerByte = 0;
  std::string worstFile;
  uint32_t marginLow = ~0u;
  uint32_t marginHigh = 0;
  int chosen[sokol::kDecoderCount] = {};
  Profile profile;
  bool allIntact = true;
  sokol::PackOptions options;
  options.decoder = forced;
  for (const std::string& name : files) {
    const Bytes file = ReadWholeFile(folder + "/" + name);
    if (file.size() < kHeaderSize) continue;
    const uint16_t loadAddress = static_cast<uint16_t>(file[0] | file[1] << 8);
    const Bytes data(file.begin() + kHeaderSize, file.end());
    sokol::PackResult packed;
    double bestMs = 1e9;
    for (int run = 0; run < kRuns; ++run) {
      const std::clock_t start = std::clock();
      packed = sokol::Pack(data, loadAddress, options);
      bestMs = std::min(bestMs, 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    }
    if (packed.error != sokol::PackError::None) {
      std::printf("%-22s refused (%d), %u bytes missing\n", name.c_str(), static_cast<int>(packed.error),
                  packed.missingBytes);
      allIntact = false;
      continue;
    }
    const sokol::UnpackResult unpacked = sokol::Unpack(packed.image, loadAddress);
    const ModelRun run = RunInModel(data, loadAddress, forced, profiling ? &profile : nullptr);
    const bool intact = unpacked.error == sokol::UnpackError::None && unpacked.data == data && run.intact;
    allIntact = allIntact && intact;
    const size_t imageBytes = packed.image.size() + kHeaderSize;
    const double perByte = PerByte(run.instructions, data.size());
    std::printf("%-22s %7zu %7zu %6.2f%% %-14s %8.1f %6u %10.2f %6.2f%s\n", name.c_str(), data.size(), imageBytes,
                Percent(imageBytes, data.size()), kDecoderNames[static_cast<int>(packed.decoder)], bestMs,
                packed.margin, perByte, pdp11::Bk0010Seconds(run.cycles), intact ? "" : "  UNPACKED WRONG");
    ++chosen[static_cast<int>(packed.decoder)];
    Race& race = classes[SizeClass(data.size())];
    for (Race* r : {&race, &total}) {
      ++r->files;
      r->data += data.size();
      r->sokol += imageBytes;
    }
    granol::PackOptions granolOptions;
    granolOptions.extension = u"bin";
    const granol::PackResult granol = granol::Pack(data, loadAddress, granolOptions);
    if (granol.error == granol::PackError::None) {
      for (Race* r : {&race, &total}) {
        r->granol += granol.image.size() + kHeaderSize;
        r->granolData += data.size();
      }
    }
    if (data.size() + data.size() % 2 <= kDorvikLimit) {
      const dorvik::PackResult dorvik = dorvik::Pack(data, loadAddress, dorvik::PackOptions());
      if (dorvik.error == dorvik::PackError::None) {
        for (Race* r : {&race, &total}) {
          r->dorvik += dorvik.image.size() + kHeaderSize;
          r->dorvikData += data.size();
        }
      }
    }
    totalMs += bestMs;
    slowestMs = std::max(slowestMs, bestMs);
    totalInstructions += run.instructions;
    totalCycles += run.cycles;
    if (perByte > worstPerByte) {
      worstPerByte = perByte;
      worstFile = name;
    }
    marginLow = std::min(marginLow, packed.margin);
    marginHigh = std::max(marginHigh, packed.margin);
  }
  std::printf("%-22s %7zu %7zu %6.2f%% %-14s %8.1f %6s %10.2f %6.2f\n", "total", total.data, total.sokol,
              Percent(total.sokol, total.data), "", totalMs, "", PerByte(totalInstructions, total.data),
              pdp11::Bk0010Seconds(totalCycles));

  std::printf("\nimages / data, 4-byte BK header and stub included\n");
  std::printf("%-10s %5s %8s %8s %8s %17s %17s\n", "data", "files", "bytes", "Sokol", "Sokol", "Granol (of bytes)",
              "Dorvik (of bytes)");
  const char* const labels[4] = {"< 4 KB", "4-10 KB", "10-20 KB", "> 20 KB"};
  for (int c = 0; c < 4; ++c) classes[c].Print(labels[c]);
  total.Print("all");
  std::printf("ZX0 on this corpus (quoted): bare stream %.2f%%, with its 92-byte PDP-11 decoder and a 4-byte header "
              "%.2f%% (not self-extracting)\n",
              kZx0Bare, kZx0WithDecoder);
  std::printf("unpacking: %.2f instructions per byte over all files, worst %.2f (%s); margins %u..%u\n",
              PerByte(totalInstructions, total.data), worstPerByte, worstFile.c_str(), marginLow, marginHigh);
  std::printf("packing: %.0f ms for all files (each the best of %d), slowest file %.1f ms\n", totalMs, kRuns,
              slowestMs);
  std::printf("decoders (set-up %zu bytes, then block; chosen):", sokol::kSetupSize);
  for (int d = 0; d < sokol::kDecoderCount; ++d) {
    std::printf(" %s %zu (%d)", kDecoderNames[d], sokol::BlockOf(static_cast<sokol::Decoder>(d)).size, chosen[d]);
  }
  std::printf("\n");
  if (profiling) {
    std::printf("\ninstructions per unpacked byte at each block offset (octal)\n");
    for (const auto& [where, count] : profile) {
      std::printf("  %-14s %04o %8.3f\n", kDecoderNames[where.first], where.second, PerByte(count, total.data));
    }
  }
  std::printf("%s\n", allIntact ? "every image unpacked right" : "SOME IMAGES DID NOT UNPACK RIGHT");
  return allIntact ? 0 : 1;
}
