// The PC-side Dorvik unpacker. It shares no code with the packer: it reads
// the image the way the stub reads it on the BK, so that it checks the
// packer instead of repeating it. Unlike the stub it trusts nothing in the
// file: every position it reads or writes is checked first.
#pragma once

#include <cstdint>

// Where the stub of an image lies, found by the fixed words of DorvikStub
// (the copy loop and the tail of the decoder). The long stub lies at the
// packed region's start, the short one 022 bytes lower; the words that tell
// them apart never match at the other place. Nothing before them is looked
// at: a loader may have taken over the stub's first words.
struct DorvikStubPlacement {
  bool found = false;
  bool longStub = false;
  int32_t stubOffset = 0;  // image offset of stub offset 0 (may be negative)
};
DorvikStubPlacement FindDorvikStub(const uint8_t* image, int32_t length, int32_t startOffset);
