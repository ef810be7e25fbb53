// DorvikContext: the state of one run of the Dorvik method, packing or
// unpacking. All fields are 16-bit and wrap modulo 65536; offsets are byte
// offsets into packerState.fileBuffer, where offset o stands for BK address
// loadAddress + o. The driver clears the block before it parses the options,
// so the option flags kept here (-d, -l) start false.
#pragma once

#include <cstdint>

struct DorvikContext {
  uint16_t stubSkip;          // leading stub bytes left out: 0 long stub, 18 short
  uint16_t startOffset;       // offset of the packed region (BK address 01000)
  uint16_t skipBytes;         // same value; non-zero: the file loads below 01000
  uint16_t wordCount;         // words in the packed region
  uint16_t endOffset;         // startOffset + 2 * wordCount
  uint16_t inputLength;       // unpadded input length
  uint16_t dictionarySize;    // dictionary words n, then n + 2 with the specials
  uint16_t base;              // subtracted from every dictionary word
  uint16_t runCode;           // code byte of a run group
  uint16_t escapeCode;        // code byte of an escaped plain word
  uint16_t oneByteLimit;      // E: largest delta stored in one byte
  uint16_t oneByteBias;       // B1 = E - 128
  uint16_t twoByteBias;       // B2 = E * 0xFF01
  uint16_t tableLength;       // bytes of the code table's delta list
  uint16_t rawPrefixEnd;      // word index: words before it are stored plain
  uint16_t streamLength;      // bytes of the packed stream from startOffset
  uint16_t workStart;         // BK address of the stub's 568-byte work area
  uint16_t checksum;          // end-around-carry sum of the input (long stub)
  uint16_t startDisplacement; // autostart address - 01000; after unpacking the start address
  uint16_t headerLength;      // H: stub, code bitmap and delta list in the image
  uint16_t imageLength;       // bytes of the image from offset 0
  uint16_t unpackedLength;    // bytes of the unpacked result from offset 0
  bool dataMode;              // -d: the file is data; the stub returns
  bool longStub;              // -l: the long self-extractor
};

extern DorvikContext dorvikContext;

// Sets every field to zero, the option flags included.
void ClearDorvikContext();
