// The Dorvik method: frequent 16-bit words become one-byte codes and runs of
// equal words counts, behind a PDP-11 stub that unpacks the image in place
// on the BK. The image format is described in docs/formats.md, "Dorvik",
// and its facts are in dorvik_format.h.
//
// Both directions are plain functions: data and options in, a result out.
// Nothing is kept between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "bk/bk_file.h"
#include "bk/bytes.h"

namespace dorvik {

struct PackOptions {
  bool dataMode = false;  // -d: the stub returns to its caller instead of starting the program
  bool longStub = false;  // -l: the long stub, which leaves length and checksum in the system area
  // -w: the end of the stub's work area; 0 puts the area right after the
  // program or its image, whichever ends later. None: the area follows
  // from the program's end.
  std::optional<uint16_t> workEnd;
  // Called before each step of packing; an image takes ten.
  std::function<void()> onStep;
};

// Why an input gives no image.
enum class PackError {
  None,
  TooBig,           // more than 30720 bytes, padding included
  OddLoadAddress,   // the stub and the encoder work on aligned words
  NothingToPack,    // no word at or above 01000
  WorkAreaOverlap,  // the area given with -w overlaps the image or the data
  WorkAreaOutside,  // the area would not end below 0200000
  NoWorkArea,       // no default area is free
  ImagePastTop,     // the image would run past 0177777 from the load address
};

struct PackResult {
  PackError error = PackError::None;
  Bytes image;                // loads at the input's load address
  uint16_t startAddress = 0;  // where the stub starts the program
  // The stub's work area, from workStart up to workEnd (WorkAreaOverlap: the
  // one refused); both wrap modulo 0200000.
  uint16_t workStart = 0;
  uint16_t workEnd = 0;
  uint32_t imageEnd = 0;  // where the image ends (ImagePastTop: beyond 0177777)
};

// Packs `data` that loads at `loadAddress`.
PackResult Pack(ByteView data, uint16_t loadAddress, const PackOptions& options);

// The long stub's length and checksum words against the unpacked data (an
// odd length word stands for data with one byte of padding).
struct LongStubCheck {
  bool match = false;
  uint16_t dataLength = 0;    // the data's length in the words' terms
  uint16_t dataChecksum = 0;  // end-around-carry byte sum of the data
};
LongStubCheck CheckLongStubWords(ByteView data, uint16_t lengthWord, uint16_t checksumWord);

enum class UnpackError {
  None,
  NotRecognised,  // no Dorvik stub where one must be
  Truncated,      // the file ends before the image does
  Damaged,        // the tables or the stream point outside the image
};

struct UnpackResult {
  UnpackError error = UnpackError::None;
  Bytes data;  // from the load address, padded to a whole word
  bool longStub = false;
  bool dataMode = false;      // the stub returns instead of starting anything
  uint16_t startAddress = 0;  // where the stub jumps (programs)
  // A program whose start address a BK binary file of its data cannot say.
  bool startAddressLost = false;
  // The long stub's words and how they compare with the data.
  uint16_t lengthWord = 0;
  uint16_t checksumWord = 0;
  LongStubCheck longWords;
};

// Unpacks an image that loads at `loadAddress`. What the data cannot say
// (the start address, long-stub words that are not the data's) comes back
// in the fields that tell it.
UnpackResult Unpack(ByteView image, uint16_t loadAddress);

// A Dorvik image without a BK header. The packed region begins at 01000 or
// at the load address, whichever is higher, so the stub lies either at the
// start of the bytes (an image at 01000 or above: the image does not record
// where) or where 01000 falls after the stack image of a file below 01000,
// which gives its load address.
RawImage FindRawImage(ByteView bytes);
// True when FindRawImage finds an image in `bytes`.
bool IsRawImage(ByteView bytes);

}  // namespace dorvik
