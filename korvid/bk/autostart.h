// The stack image of a file that loads below 01000, and how a packed image
// keeps its start address there. Every method whose image loads at the
// input's load address and unpacks from 01000 needs these rules.
//
// The BK's loader keeps its return address at 0744 (the autostart word). A
// file that loads over it and puts an address above 01000 there starts at
// that address once it is loaded; at 01000 or below, nothing starts. A
// packed image must enter its unpacker at 01000 instead, so when packing
// the autostart words are pointed at 01000 and the start address goes into
// the unpacker; when unpacking they are given back.
//
// `stack` is always the part of the file below 01000: the bytes from its
// load address up to 01000 (empty for a file at 01000 or above). For files
// that load from 0744 up, their first word takes the place of 0744.
#pragma once

#include <cstdint>
#include <optional>

#include "bk/bytes.h"

constexpr uint16_t kAutostartWord = 0744;

struct RedirectedStack {
  Bytes stack;                 // with the autostart words pointed at 01000
  uint16_t startAddress = 0;   // the autostart address, or 01000 when there is none
};

// Packing. The run of words around 0744 that hold the start address is
// pointed at 01000, from the word below its topmost one downward; the
// topmost keeps the start address. A run of one word also costs the word
// below it, which becomes 01000 whatever it held. Without an autostart
// address nothing changes.
RedirectedStack RedirectAutostart(const Bytes& stack);

// Unpacking: the inverse of RedirectAutostart for an image that records
// `startAddress`. Words that the packer's pattern does not explain stay.
Bytes RestoreAutostart(const Bytes& stack, uint16_t startAddress);

// Unpacking: the offset of the word that RestoreAutostart gives the start
// address although the image cannot say what it held before packing: the
// word just below the topmost autostart word, which packing overwrites
// whatever it held when the start address stands in that one word only.
// None when RestoreAutostart rewrites no such word (files that load from
// 0744 up come back exactly).
std::optional<uint16_t> AutostartWordInDoubt(const Bytes& stack, uint16_t startAddress);

// How the unpacked data can say the start address that the unpacker jumps to.
enum class StartAddressFit {
  Carried,   // the data starts there by itself
  Restored,  // its autostart words pointed at the unpacker; now they hold the address
  Lost,      // a BK binary file of this data cannot say it
};

struct FittedStart {
  StartAddressFit fit = StartAddressFit::Lost;
  Bytes stack;
};

// A file at 01000 or above starts at its load address. A file below 01000
// starts through its autostart word: that word must hold the start address,
// or be at most 01000 when the start is 01000 (no autostart). A run of 01000
// around the autostart word, the unpacker's own address as other tools
// leave it, cannot be the program's: the whole run takes the start address.
FittedStart FitStartAddress(const Bytes& stack, uint16_t loadAddress, uint16_t startAddress);
