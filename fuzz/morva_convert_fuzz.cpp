// Arbitrary bytes through morva: encoding detection, then reading through
// every input class (a PC text file in each encoding, a BK editor file, a
// BASIC ASC set made of generated part files) into every conversion routine.
// Nothing may crash, hang, or touch memory outside its buffers.
//
// Input layout: a selector byte (input class, output routine), a tab-width
// byte (its high bit: tabs kept), then the file's bytes.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/platform.h"
#include "convert/convert.h"
#include "files/asc_file.h"
#include "files/base_file.h"
#include "files/win_file.h"

namespace {

const std::string& ScratchDirectory() {
  static const std::string dir = [] {
    const char* base = std::getenv("TMPDIR");
    std::string path = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                       "/morva-fuzz-" + std::to_string(getpid());
    mkdir(path.c_str(), 0700);
    return path;
  }();
  return dir;
}

void EmptyScratchDirectory() {
  const std::string& dir = ScratchDirectory();
  DIR* listing = opendir(dir.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") unlink((dir + "/" + name).c_str());
  }
  closedir(listing);
}

void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  if (std::fclose(file) != 0) std::abort();
}

void WriteBkWords(FILE* file, uint16_t first, uint16_t second) {
  const uint8_t header[4] = {static_cast<uint8_t>(first), static_cast<uint8_t>(first >> 8),
                             static_cast<uint8_t>(second), static_cast<uint8_t>(second >> 8)};
  if (std::fwrite(header, 1, 4, file) != 4) std::abort();
}

// A BASIC ASC set holding the bytes: a sound header file and part files of
// 256 bytes; the selector may damage one part's header or drop the last part.
std::string WriteAscSet(const uint8_t* data, size_t size, uint8_t damage) {
  const std::string base = ScratchDirectory() + "/FUZZ  .ASC";
  FILE* header = std::fopen((base + ".bin").c_str(), "wb");
  if (header == nullptr) std::abort();
  WriteBkWords(header, 036756, 2);
  const uint8_t zero[2] = {0, 0};
  if (std::fwrite(zero, 1, 2, header) != 2 || std::fclose(header) != 0) std::abort();
  const size_t parts = (size + 255) / 256;
  for (size_t part = 0; part < parts; ++part) {
    if ((damage & 0x80) != 0 && part + 1 == parts && part > 0) break;  // a missing part
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, " #%03zu.bin", part);
    FILE* file = std::fopen((base + suffix).c_str(), "wb");
    if (file == nullptr) std::abort();
    const bool bad = (damage & 0x40) != 0 && part == (damage & 0x0F) % parts;
    WriteBkWords(file, bad ? 036754 : 036756, 256);
    const size_t count = size - part * 256 < 256 ? size - part * 256 : 256;
    if (std::fwrite(data + part * 256, 1, count, file) != count || std::fclose(file) != 0) {
      std::abort();
    }
  }
  return base + ".bin";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t selector = data[0];
  const int tabWidth = data[1] % 20;  // values outside 2..16 must be ignored
  ConversionOptions options;
  options.keepTabs = (data[1] & 0x80) != 0;
  data += 2;
  size -= 2;
  EmptyScratchDirectory();

  const int inputKind = selector % 8;
  const int outputKind = (selector / 8) % 9;
  std::string inputPath = ScratchDirectory() + "/input.bin";
  if (inputKind == 7) {
    inputPath = WriteAscSet(data, size, selector);
  } else {
    WriteBytes(inputPath, data, size);
  }
  const std::wstring inputName = WidenName(inputPath.c_str());

  std::unique_ptr<CBaseFile> input;
  if (inputKind <= 5) {
    input = std::make_unique<CWinFile>(inputName, static_cast<TextFormat>(inputKind));
  } else if (inputKind == 6) {
    input = std::make_unique<CBkFile>(inputName);
  } else {
    input = std::make_unique<CBkAscFile>(inputName);
  }
  input->SetTabSize(tabWidth);

  const std::wstring outputName = WidenName((ScratchDirectory() + "/output.out").c_str());
  if (outputKind <= 4) {
    CWinFile output(outputName, static_cast<TextFormat>(outputKind + 1));
    ConvertToWin(input.get(), &output, options);
  } else if (outputKind == 5) {
    CBkFile output(outputName);
    ConvertToEdasp(input.get(), &output, options);
  } else if (outputKind == 6 && inputKind != 7) {  // the driver refuses Basic ASC to Vortex
    CBkFile output(outputName);
    ConvertToVortex(input.get(), &output, options);
  } else if (outputKind == 7) {
    CBkFile output(outputName);
    ConvertToEdaspStandard(input.get(), &output, options);
  } else {
    CBkAscFile output(outputName);
    ConvertToBasicAsc(input.get(), &output, options);
  }
  return 0;
}
