// The Dorvik compressor: word statistics, the dictionary of one-byte codes,
// the code table and the in-place encoder. Each function is one step of
// Pack; they run in the order declared here, on the packed region
// that PrepareRegion has set up (docs/formats.md, "Dorvik").
//
// Packed stream, written forward and read backward:
//   dictionary word   code byte
//   plain word        low byte, high byte (high byte is not a code byte)
//   escaped word      low byte, high byte, escapeCode
//   run group         count byte (0 = 256), runCode: that many further
//                     copies of the word whose token follows
// The words from the region start up to rawPrefixEnd are stored plain with
// no escapes: the backward reader stops where they begin.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "dorvik/dorvik_pack_state.h"

namespace dorvik {

// The ranking order: higher count first, then higher key (both unsigned).
bool RanksBefore(const RankEntry& a, const RankEntry& b);

// Ranking key of a high byte: the byte read as signed, plus 256. The key
// minus 128 is the byte's slot, h XOR 0x80.
inline uint16_t HighByteKey(uint8_t highByte) {
  return static_cast<uint16_t>(highByte < 0x80 ? highByte + 256 : highByte);
}

// The dictionary never holds more words than there are code bytes to spare.
constexpr size_t kMaxDictionaryWords = 254;

// Step 2: high-byte counts (a run of three or more equal words counts once)
// and the ranking of the 256 high bytes.
void CountHighBytes(Packing& p);
// Step 3: words seen at least twice, ranked, at most 254.
void CollectCandidates(Packing& p);
// Step 4: the dictionary words, their code bytes and codeBitmap.
void SelectDictionary(Packing& p);
// Step 5: base, chosen in the widest gap between dictionary words.
void ChooseBase(Packing& p);
// Step 6: codeValues with the run and escape values; runCode, escapeCode.
void AddSpecialValues(Packing& p);
// Step 7: E, B1, B2 and tableLength of the delta list.
void ComputeDeltaParameters(Packing& p);
// Step 8: encodes the region in place. When the stream would come out as
// nothing but plain words, the region's last word is made a dictionary word
// and the region encoded again, so that the stub's meeting test can fire.
void EncodeRegion(Packing& p);
// Step 9: the delta list bytes into tables.deltaList.
void WriteDeltaList(Packing& p);

// One pass of the encoder, without the all-plain safeguard of EncodeRegion.
void EncodeStream(Packing& p);
// True when the encoder stored the whole region as plain words.
bool RegionStoredPlain(const Packing& p);

// Code byte of a code table value; none when the value has none.
std::optional<uint8_t> CodeByteOf(const Tables& tables, uint16_t value);
bool IsCodeByte(const Tables& tables, uint8_t byte);

}  // namespace dorvik
