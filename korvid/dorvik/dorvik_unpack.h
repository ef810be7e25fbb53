// The PC-side Dorvik unpacker. It shares no code with the packer: it reads
// the image the way the stub reads it on the BK, so that it checks the
// packer instead of repeating it. Unlike the stub it trusts nothing in the
// file: every position it reads or writes is checked first.
#pragma once

#include <cstdint>

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
