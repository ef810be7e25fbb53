// The Dorvik compressor: word statistics, the dictionary of one-byte codes,
// the code table and the in-place encoder. Each function is one step of
// DorvikPack; they run in the order declared here, on the packed region
// that PrepareRegion has set up in dorvikContext.
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

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// (count, key) for high bytes, (count, word) for dictionary candidates.
struct RankEntry {
  uint16_t count;
  uint16_t key;
};

// The ranking order: higher count first, then higher key (both unsigned).
bool RanksBefore(const RankEntry& a, const RankEntry& b);

// Ranking key of a high byte: the byte read as signed, plus 256. The key
// minus 128 is the byte's slot, h XOR 0x80.
inline uint16_t HighByteKey(uint8_t highByte) {
  return static_cast<uint16_t>(highByte < 0x80 ? highByte + 256 : highByte);
}

// Special code table values: a run group and an escaped plain word.
constexpr uint16_t kRunValue = 1;
constexpr uint16_t kEscapeValue = 0x8000;
// The dictionary never holds more words than there are code bytes to spare.
constexpr size_t kMaxDictionaryWords = 254;

struct DorvikTables {
  std::array<uint16_t, 256> highByteCount{};
  std::array<std::vector<uint8_t>, 256> lowBytesOf;  // low bytes per high byte
  std::array<RankEntry, 256> highByteRanking{};      // (count, key), ranked
  std::vector<RankEntry> candidates;                 // (count, word), ranked
  std::vector<uint16_t> selectedWords;               // in order of selection
  std::vector<uint16_t> dictionary;                  // the same, ascending
  std::vector<uint16_t> codeKeys;                    // n + 2 keys, ascending
  std::vector<uint16_t> codeValues;                  // n + 2 values, ascending
  std::array<uint8_t, 32> codeBitmap{};              // bit per slot
  std::array<uint8_t, 512> deltaList{};              // tableLength bytes
};

extern DorvikTables dorvikTables;

// Step 2: high-byte counts (a run of three or more equal words counts once)
// and the ranking of the 256 high bytes.
void CountHighBytes();
// Step 3: words seen at least twice, ranked, at most 254.
void CollectCandidates();
// Step 4: the dictionary words, their code bytes and codeBitmap.
void SelectDictionary();
// Step 5: base, chosen in the widest gap between dictionary words.
void ChooseBase();
// Step 6: codeValues with the run and escape values; runCode, escapeCode.
void AddSpecialValues();
// Step 7: E, B1, B2 and tableLength of the delta list.
void ComputeDeltaParameters();
// Step 8: encodes the region in place. When the stream would come out as
// nothing but plain words, the region's last word is made a dictionary word
// and the region encoded again, so that the stub's meeting test can fire.
void EncodeRegion();
// Step 9: the delta list bytes into dorvikTables.deltaList.
void WriteDeltaList();

// One pass of the encoder, without the all-plain safeguard of EncodeRegion.
void EncodeStream();
// True when the encoder stored the whole region as plain words.
bool RegionStoredPlain();

// Code byte of a code table value, or -1 when the value has none.
int CodeByteOf(uint16_t value);
bool IsCodeByte(uint8_t byte);
