// The Dorvik image around the packed stream: the stub's work area, the
// checksum of the long stub, the autostart redirection for files that load
// below 01000, and the assembly of stub, code table and stream.
//
// Image layout (offset o is loaded at loadAddress + o; docs/formats.md):
//   0 .. startOffset-1        the bytes below 01000, autostart words redirected
//   startOffset .. +H-1       stub (from stubSkip), codeBitmap, delta list
//   .. startOffset+streamLength-1   the packed stream from its byte H on
//   .. +H                     the stream's first H bytes, moved from under the header
#pragma once

#include <cstdint>

#include "dorvik/dorvik_pack_state.h"

namespace dorvik {

// The three work areas tried when -w is not given, in order of preference.
constexpr uint16_t kWorkAreaBelowScreen = 036710;  // up to 040000
constexpr uint16_t kWorkAreaBelowRom = 076710;     // up to 0100000
constexpr uint16_t kWorkAreaLow = 06710;           // up to 010000

// Step 1: the work area from -w or the program's end. An area that follows
// the program starts at an even address, and one that ends at an odd -w
// address starts one byte lower, so the stub's word accesses stay aligned.
void ChooseWorkArea(Packing& p);
// Once the image length is known: moves the work area off the image and the
// unpacked region, or refuses when it cannot.
PackError SettleWorkArea(Packing& p);
// Step 10: for a file below 01000, points the autostart words at the stub
// and takes the start address from them (bk/autostart.h).
void RedirectAutostart(Packing& p);
// Step 11: places the header, moves the displaced stream bytes, patches the
// stub and sets imageLength.
void BuildImage(Packing& p);

// H: stub (without the skipped bytes), code bitmap and delta list.
uint16_t HeaderLength(const Packing& p);

}  // namespace dorvik
