// Packs every BK file of the corpus with the Dorvik method and prints, per
// file, the data size, the image size, korvid's ratio and the packing time,
// then the totals. Files above the packing limit are listed as refused.
//
//   korvid_dorvik_bench [corpus folder]   (default: BK_CORPUS_DIR)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bk/bk_file.h"
#include "corpus_files.h"
#include "dorvik/dorvik.h"

namespace {

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : BK_CORPUS_DIR;
  const std::vector<std::string> names = BinFiles(dir);
  if (names.empty()) {
    std::printf("no .bin files in %s\n", dir.c_str());
    return 0;
  }
  std::printf("%-22s %7s %8s %7s %7s %9s\n", "file", "load", "input", "image", "ratio", "time, ms");
  long inputTotal = 0;
  long imageTotal = 0;
  double timeTotal = 0;
  int packed = 0;
  for (const std::string& name : names) {
    const std::vector<uint8_t> bytes = ReadWholeFile(dir + "/" + name);
    const BkFile file = ParseBkFile(bytes, false);
    if (file.data.empty()) continue;
    const auto start = std::chrono::steady_clock::now();
    const dorvik::PackResult result =
        dorvik::Pack(file.data, file.loadAddress, dorvik::PackOptions());
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const long input = static_cast<long>(file.data.size());
    if (result.error != dorvik::PackError::None) {
      std::printf("%-22s %07o %8ld %7s %7s %9.2f  refused\n", name.c_str(),
                  static_cast<unsigned>(file.loadAddress), input, "-", "-", ms);
      continue;
    }
    const long image = static_cast<long>(result.image.size());
    std::printf("%-22s %07o %8ld %7ld %6ld%% %9.2f\n", name.c_str(),
                static_cast<unsigned>(file.loadAddress), input, image, image * 100 / input, ms);
    inputTotal += input;
    imageTotal += image;
    timeTotal += ms;
    ++packed;
  }
  if (packed > 0) {
    std::printf("%-22s %7s %8ld %7ld %6ld%% %9.2f   (%d files packed)\n", "total", "", inputTotal,
                imageTotal, imageTotal * 100 / inputTotal, timeTotal, packed);
  }
  return 0;
}
