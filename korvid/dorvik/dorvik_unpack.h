// The PC-side Dorvik unpacker. It shares no code with the packer: it reads
// the image the way the stub reads it on the BK, so that it checks the
// packer instead of repeating it. Unlike the stub it trusts nothing in the
// file: every position it reads or writes is checked first.
#pragma once

#include <cstdint>

// Where the stub of an image lies, found by the fixed words of DorvikStub
// (the copy loop and the tail of the decoder). The long stub lies at the
// packed region's start, the short one 18 bytes lower; the words that tell
// them apart never match at the other place. Nothing before them is looked
// at: a loader may have taken over the stub's first words.
struct DorvikStubPlacement {
  bool found = false;
  bool longStub = false;
  int32_t stubOffset = 0;  // image offset of stub offset 0 (may be negative)
};
DorvikStubPlacement FindDorvikStub(const uint8_t* image, int32_t length, int32_t startOffset);

// Recognises a Dorvik image in fileBuffer by the fixed words of DorvikStub
// and reads the patched words into dorvikContext. False when the file holds
// no Dorvik stub where one must be; fileBuffer is not changed.
bool ParseDorvikHeader(int32_t dataLength, int32_t loadAddress);

// Rebuilds the code table from the bitmap and the delta list. Returns the
// image offset of the bitmap's first byte, or -1 when the table lies
// outside the file.
int32_t ReadCodeTable();

// Puts the displaced stream bytes back and decodes the stream backward in
// place, then restores the start address and the autostart words. False as
// soon as a damaged stream would read or write outside the image.
bool DecodeDorvikStream();

// How the unpacked data can hold the start address that the stub jumps to.
enum class StartAddressFit {
  Carried,   // the data starts there by itself
  Restored,  // its autostart words pointed at the stub; now they hold the address
  Lost,      // a BK binary file of this data cannot say it
};

// Checks the start address against the unpacked data and, where the
// autostart words can only have been pointed at the stub, puts it there.
// `data` is the unpacked data from the load address; `regionStart` is the
// offset of 01000 in it, 0 for a file at or above 01000. A file at or above
// 01000 starts at its load address. A file below 01000 autostarts through
// the word at 0744 (the first word for files from 0744 up): that word must
// hold the start address, or be at most 01000 when the start is 01000 (no
// autostart). A run of 01000 there, the stub's own address, cannot be the
// program's: the whole run takes the start address.
StartAddressFit FitStartAddress(uint8_t* data, int32_t regionStart, uint16_t loadAddress,
                                uint16_t startAddress);

// The long stub's length and checksum words against the unpacked data (an
// odd length word stands for data with one byte of padding).
struct LongStubCheck {
  bool match = false;
  uint16_t dataLength = 0;    // the data's length in the words' terms
  uint16_t dataChecksum = 0;  // end-around-carry byte sum of the data
};
LongStubCheck CheckLongStubWords(const uint8_t* data, int32_t length, uint16_t lengthWord,
                                 uint16_t checksumWord);
