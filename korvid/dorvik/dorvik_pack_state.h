// One packing run of the Dorvik method: the input, the options, and what
// each step of Pack finds out. It lives for one call; the steps take
// it by reference, so that tests can run them one by one and look at what
// each leaves. All 16-bit fields wrap modulo 65536; offsets are byte offsets
// into `buffer`, where offset o stands for BK address loadAddress + o.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "bk/bytes.h"
#include "bk/memory.h"
#include "dorvik/dorvik.h"
#include "dorvik/dorvik_format.h"

namespace dorvik {

// (count, key) for high bytes, (count, word) for dictionary candidates.
struct RankEntry {
  uint16_t count;
  uint16_t key;
};

struct Tables {
  std::array<uint16_t, 256> highByteCount{};
  std::array<std::vector<uint8_t>, 256> lowBytesOf;    // low bytes per high byte
  std::array<RankEntry, 256> highByteRanking{};        // (count, key), ranked
  std::vector<RankEntry> candidates;                   // (count, word), ranked
  std::vector<uint16_t> selectedWords;                 // in order of selection
  std::vector<uint16_t> dictionary;                    // the same, ascending
  std::vector<uint16_t> codeKeys;                      // n + 2 keys, ascending
  std::vector<uint16_t> codeValues;                    // n + 2 values, ascending
  std::array<uint8_t, kCodeBitmapSize> codeBitmap{};   // bit per slot
  std::array<uint8_t, kLongestDeltaList> deltaList{};  // tableLength bytes
};

// How the work area was placed in step 1; SettleWorkArea treats each way
// differently once the image length is known.
enum class WorkAreaRule { Default, AfterProgram, Given };

struct Packing {
  // The whole address space: the input from offset 0, zeros after it; the
  // stream is written over the input and the image is built in place.
  Bytes buffer = Bytes(kAddressSpaceEnd);
  uint16_t loadAddress = 0;
  uint16_t inputLength = 0;  // unpadded
  bool dataMode = false;
  bool longStub = false;
  std::optional<uint16_t> workEnd;  // as given

  uint16_t stubSkip = 0;        // leading stub bytes left out: 0 long stub, 022 short
  uint16_t startOffset = 0;     // offset of the packed region (BK address 01000)
  uint16_t wordCount = 0;       // words in the packed region
  uint16_t endOffset = 0;       // startOffset + 2 * wordCount
  uint16_t dictionarySize = 0;  // dictionary words n, then n + 2 with the specials
  uint16_t base = 0;            // subtracted from every dictionary word
  uint16_t runCode = 0;         // code byte of a run group
  uint16_t escapeCode = 0;      // code byte of an escaped plain word
  uint16_t oneByteLimit = 0;    // E: largest delta stored in one byte
  uint16_t oneByteBias = 0;     // B1 = E - 128
  uint16_t twoByteBias = 0;     // B2 = E * 0xFF01
  uint16_t tableLength = 0;     // bytes of the code table's delta list
  uint16_t rawPrefixEnd = 0;    // word index: words before it are stored plain
  uint16_t streamLength = 0;    // bytes of the packed stream from startOffset
  WorkAreaRule workAreaRule = WorkAreaRule::Default;
  uint16_t workStart = 0;     // BK address of the stub's work area
  uint16_t checksum = 0;      // end-around-carry sum of the input (long stub)
  uint16_t startAddress = 0;  // where the stub starts the program
  uint16_t headerLength = 0;  // H: stub, code bitmap and delta list in the image
  uint16_t imageLength = 0;   // bytes of the image from offset 0

  Tables tables;
};

// The largest input the method packs: the whole input, stack area
// included, after padding.
constexpr size_t kPackingLimit = 074000;  // 30720 bytes

// Step 1: copies the input, pads it to even length and sets up the packed
// region (the words at and above 01000), the work area and the checksum.
// Refuses an input that cannot be packed: too large, loading at an odd
// address, or holding no word at or above 01000.
PackError PrepareRegion(ByteView data, uint16_t loadAddress, const PackOptions& options,
                        Packing* packing);

}  // namespace dorvik
