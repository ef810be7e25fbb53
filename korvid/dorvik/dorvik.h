// The Dorvik method: frequent 16-bit words become one-byte codes and runs of
// equal words counts, behind a PDP-11 stub that unpacks the image in place
// on the BK. The image format is described in docs/formats.md, "Dorvik".
//
// Both directions are plain functions: data and options in, a result out.
// Nothing is kept between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// -w not given: the work area follows from the program's end.
constexpr int32_t kDefaultWorkEnd = -1;

struct DorvikOptions {
  bool dataMode = false;  // -d: the stub returns to its caller instead of starting the program
  bool longStub = false;  // -l: the long stub, which leaves length and checksum in the system area
  // -w: the end of the stub's work area; 0 puts the area right after the
  // program or its image, whichever ends later.
  int32_t workEnd = kDefaultWorkEnd;
  // Called before each step of packing; an image takes ten.
  std::function<void()> onStep;
};

// Why an input gives no image.
enum class DorvikPackError {
  None,
  TooBig,           // more than 30720 bytes, padding included
  OddLoadAddress,   // the stub and the encoder work on aligned words
  NothingToPack,    // no word at or above 01000
  WorkAreaOverlap,  // the area given with -w overlaps the image or the data
  WorkAreaOutside,  // the area would not end below 0200000
  NoWorkArea,       // no default area is free
  ImagePastTop,     // the image would run past 0177777 from the load address
};

struct DorvikPackResult {
  DorvikPackError error = DorvikPackError::None;
  std::vector<uint8_t> image;  // loads at the input's load address
  uint16_t startAddress = 0;   // where the stub starts the program
  // The stub's work area, from workStart up to workEnd (WorkAreaOverlap: the
  // one refused); both wrap modulo 0200000.
  uint16_t workStart = 0;
  uint16_t workEnd = 0;
  uint32_t imageEnd = 0;  // where the image ends (ImagePastTop: beyond 0177777)
};

// Packs `data` that loads at `loadAddress`.
DorvikPackResult DorvikPack(const std::vector<uint8_t>& data, uint16_t loadAddress,
                            const DorvikOptions& options);

// The long stub's length and checksum words against the unpacked data (an
// odd length word stands for data with one byte of padding).
struct LongStubCheck {
  bool match = false;
  uint16_t dataLength = 0;    // the data's length in the words' terms
  uint16_t dataChecksum = 0;  // end-around-carry byte sum of the data
};
LongStubCheck CheckLongStubWords(const uint8_t* data, size_t length, uint16_t lengthWord,
                                 uint16_t checksumWord);

enum class DorvikUnpackError {
  None,
  NotRecognised,  // no Dorvik stub where one must be
  Truncated,      // the file ends before the image does
  Damaged,        // the tables or the stream point outside the image
};

struct DorvikUnpackResult {
  DorvikUnpackError error = DorvikUnpackError::None;
  std::vector<uint8_t> data;  // from the load address, padded to a whole word
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
DorvikUnpackResult DorvikUnpack(const std::vector<uint8_t>& image, uint16_t loadAddress);

// A Dorvik image without a BK header. The packed region begins at 01000 or
// at the load address, whichever is higher, so the stub lies either at the
// start of the bytes (an image at 01000 or above: the image does not record
// where) or where 01000 falls after the stack image of a file below 01000,
// which gives its load address.
struct RawDorvikImage {
  bool found = false;
  bool addressKnown = false;  // below 01000: the stub's place gives the address
  uint16_t loadAddress = 0;
};
RawDorvikImage FindRawDorvikImage(const uint8_t* bytes, size_t size);

// True when FindRawDorvikImage finds an image in `bytes`.
bool IsRawDorvikImage(const uint8_t* bytes, size_t size);
