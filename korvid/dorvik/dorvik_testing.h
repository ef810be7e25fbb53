// Test helpers: run DorvikPack and DorvikUnpack on bytes in memory, the way
// korvid's driver runs them on a file, and collect what they print (the
// driver's own result line excepted: it follows the written output).
// Header-only, for the unit tests beside this file and the emulator tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "dorvik/dorvik.h"
#include "dorvik/dorvik_compressor.h"
#include "dorvik/dorvik_context.h"
#include "front/console.h"
#include "front/packer_state.h"

namespace dorvik_testing {

using ByteVector = std::vector<uint8_t>;

struct PackOptions {
  bool longStub = false;  // -l
  bool dataMode = false;  // -d
  int32_t workEnd = -1;   // -w, -1 when not given
};

struct MethodResult {
  bool ok = false;
  std::string console;  // what the method printed (UTF-8)
  ByteVector bytes;     // the image after packing, the data after unpacking
};

inline void LoadBuffer(uint16_t loadAddress, const ByteVector& data) {
  ResetPackerState();
  packerState.loadAddress = loadAddress;
  packerState.dataLength = static_cast<int32_t>(data.size());
  std::copy(data.begin(), data.end(), packerState.fileBuffer.begin());
}

inline MethodResult Pack(uint16_t loadAddress, const ByteVector& data,
                         const PackOptions& options = {}) {
  LoadBuffer(loadAddress, data);
  dorvikContext.longStub = options.longStub;
  dorvikContext.dataMode = options.dataMode;
  packerState.workEnd = options.workEnd;
  MethodResult result;
  SetConsoleSink(&result.console);
  result.ok = DorvikPack();
  SetConsoleSink(nullptr);
  if (result.ok) {
    const auto begin = packerState.fileBuffer.begin();
    result.bytes.assign(begin, begin + dorvikContext.imageLength);
  }
  return result;
}

inline MethodResult Unpack(uint16_t loadAddress, const ByteVector& image) {
  LoadBuffer(loadAddress, image);
  MethodResult result;
  SetConsoleSink(&result.console);
  result.ok = DorvikUnpack();
  // The notes that the driver prints after the result line.
  PrintConsoleNotes();
  SetConsoleSink(nullptr);
  if (result.ok) {
    const auto begin = packerState.fileBuffer.begin();
    result.bytes.assign(begin, begin + dorvikContext.unpackedLength);
  }
  return result;
}

// The analysis steps of packing, after the region is prepared: high-byte
// statistics up to the delta parameters, as DorvikPack runs them.
inline void RunAnalysisSteps() {
  CountHighBytes();
  CollectCandidates();
  SelectDictionary();
  ChooseBase();
  AddSpecialValues();
  ComputeDeltaParameters();
}

inline uint16_t WordOf(const ByteVector& bytes, size_t offset) {
  return static_cast<uint16_t>(bytes.at(offset) | (bytes.at(offset + 1) << 8));
}

inline ByteVector BytesOfWords(const std::vector<uint16_t>& words) {
  ByteVector bytes;
  for (uint16_t word : words) {
    bytes.push_back(static_cast<uint8_t>(word & 0xFF));
    bytes.push_back(static_cast<uint8_t>(word >> 8));
  }
  return bytes;
}

inline void PutWord(ByteVector& bytes, size_t offset, uint16_t word) {
  bytes.at(offset) = static_cast<uint8_t>(word & 0xFF);
  bytes.at(offset + 1) = static_cast<uint8_t>(word >> 8);
}

// What a loader leaves of an image loaded at `load`: the first
// `patchedWords` words from the stub's entry (image offset `stubEntry`)
// replaced by MOV #loader, R0 / JMP (R0) and filler, and a loader after the
// image (at the next even address) that puts them back and jumps to the
// entry. The stub then runs as if nothing had happened.
inline ByteVector WithLoaderInFront(const ByteVector& image, uint16_t load, int32_t stubEntry,
                                    int patchedWords) {
  ByteVector patched = image;
  if (patched.size() & 1) patched.push_back(0);
  const auto loaderAddress = static_cast<uint16_t>(load + patched.size());
  const auto entryAddress = static_cast<uint16_t>(load + stubEntry);
  std::vector<uint16_t> loader;
  for (int i = 0; i < patchedWords; ++i) {
    loader.insert(loader.end(), {012737, WordOf(image, static_cast<size_t>(stubEntry + 2 * i)),
                                 static_cast<uint16_t>(entryAddress + 2 * i)});  // MOV #word, @#address
  }
  loader.insert(loader.end(), {000137, entryAddress});  // JMP @#entry
  const ByteVector loaderBytes = BytesOfWords(loader);
  patched.insert(patched.end(), loaderBytes.begin(), loaderBytes.end());
  std::vector<uint16_t> jump = {012700, loaderAddress, 000110};  // MOV #loader, R0; JMP (R0)
  while (static_cast<int>(jump.size()) < patchedWords) jump.push_back(0177777);
  for (int i = 0; i < patchedWords; ++i) {
    PutWord(patched, static_cast<size_t>(stubEntry + 2 * i), jump[static_cast<size_t>(i)]);
  }
  return patched;
}

// An address as the BK shows it: octal with a leading 0.
inline std::string Octal(unsigned value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + value % 8));
    value /= 8;
  } while (value != 0);
  return "0" + digits;
}

// A small deterministic generator (xorshift), so that failures reproduce.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed * 2654435761u + 1) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint32_t Below(uint32_t limit) { return Next() % limit; }
  uint16_t Word() { return static_cast<uint16_t>(Next()); }

 private:
  uint32_t state_;
};

// Program-like data: a few frequent words, runs of equal words, words with
// rare high bytes, and noise, mixed in random proportions.
inline ByteVector GenerateProgram(Random& random, size_t length) {
  std::vector<uint16_t> frequent(1 + random.Below(40));
  for (uint16_t& word : frequent) word = random.Word();
  const uint32_t noise = random.Below(100);
  const uint32_t runs = random.Below(30);
  std::vector<uint16_t> words;
  while (words.size() * 2 < length) {
    const uint32_t pick = random.Below(100);
    if (pick < runs) {
      const uint16_t word = random.Below(2) ? 0 : random.Word();
      const size_t count = 2 + random.Below(random.Below(8) == 0 ? 600 : 6);
      words.insert(words.end(), count, word);
    } else if (pick < runs + noise / 2) {
      words.push_back(random.Word());
    } else {
      words.push_back(frequent[random.Below(static_cast<uint32_t>(frequent.size()))]);
    }
  }
  ByteVector bytes = BytesOfWords(words);
  bytes.resize(length);
  return bytes;
}

}  // namespace dorvik_testing
