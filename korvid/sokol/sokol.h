// The Sokol method: an LZ77 coder with an optimal parse and a small PDP-11
// stub that unpacks the image in place, on the BK, at the program's own load
// address. Both entry points are pure functions: bytes and options in, an
// image or data (or the reason for refusing) out. Nothing here prints, keeps
// state or touches files.
//
// The image is a BK program loaded at the input's load address:
//
//   offset 0      the set-up code (32 bytes)
//   offset 32     the packed stream, padded to an even length
//   then          the decoder block (96 to 232 bytes, one of six), copied
//                 below the caller's stack and run there
//   then          a CRC-16 of the data (read by the PC unpacker only)
//
// docs/formats.md describes the decoders and the stream bit by bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "bk/bk_file.h"
#include "bk/bytes.h"
#include "sokol/sokol_format.h"

namespace sokol {

// The first address of the I/O page: a program and the memory its image
// needs above it must end at or below this address.
constexpr uint32_t kMemoryTop = 0177600;

struct PackOptions {
  // Data mode: the stub returns to its caller (as RTS PC would, SP as on
  // entry) instead of jumping to the start address.
  bool dataMode = false;
  // The decoder to use; by default Pack chooses (see Pack).
  std::optional<Decoder> decoder;
};

enum class PackError {
  None,
  OddLoadAddress,  // the stub's first instruction would sit at an odd address
  DoesNotFit,      // program + margin reach beyond kMemoryTop (see missingBytes)
  NothingToPack,   // a file below 01000 that has no byte at or above 01000
};

struct PackResult {
  PackError error = PackError::None;
  uint32_t missingBytes = 0;  // DoesNotFit: how far the image would reach beyond kMemoryTop
  Bytes image;                // the image data (without the 4-byte BK header)
  uint16_t loadAddress = 0;   // the image's load address = the input's
  size_t streamSize = 0;      // bytes of the packed stream (without padding)
  uint32_t margin = 0;        // bytes above the program's end that the image needs
  uint16_t startAddress = 0;  // where the program is started (program mode)
  Decoder decoder = Decoder::Fast;
  bool evenOffsets = false;   // new offsets are coded halved
  // PDP-11 instructions the image runs from its first one to the hand-off,
  // as the packer counts them from the decoder's code.
  uint64_t instructions = 0;
};

// Packs `data` that loads at `loadAddress`, with the decoder that
// gives the smallest image, unless a faster one is nearly as small (every
// 3000 instructions the BK saves unpacking are worth a byte) or it would run
// more than 20 instructions per byte (sokol_pack.cpp).
// A file that loads below
// 01000 keeps the part below 01000 (its stack image) as it is, but for a
// program's autostart words, which point at the stub, and its image carries
// the data from 01000 on as an image at 01000 that starts the program at the
// address the autostart words held (see bk/autostart.h). In data mode the
// stack image is carried unchanged; a program's image records the stack
// words it changed, so that Unpack gives them back. On the BK the image runs
// where the data loads and uses the decoder block's size and 4 bytes below
// the stack pointer it is entered with; they must lie outside the program
// and its margin (they do for programs at 01000 and above, entered with the
// BK's stack below 01000).
PackResult Pack(ByteView data, uint16_t loadAddress, const PackOptions& options);

enum class UnpackError {
  None,
  NotAnImage,        // the stub is not there: not a Sokol image
  WrongLoadAddress,  // the stub unpacks at another address than the file loads at
  BadParameters,     // the stub's parameters contradict the file's layout
  DamagedStream,     // the stream breaks a rule or a bound of the format
  WrongLength,       // the stream gives more bytes than the stub leaves room for
  ChecksumMismatch,  // the data differ from the recorded CRC
  MarginTooSmall,    // unpacking in place on the BK would overwrite unread input
};

struct UnpackResult {
  UnpackError error = UnpackError::None;
  Bytes data;
  uint16_t loadAddress = 0;   // WrongLoadAddress: the one the stub records
  uint16_t startAddress = 0;  // program mode only
  bool dataMode = false;
  uint32_t margin = 0;
  Decoder decoder = Decoder::Fast;
};

// `image` is the file's data after the BK header, `loadAddress` the header's.
// For a program's image below 01000 the stack words the packer changed are
// given back, from what the image records.
UnpackResult Unpack(ByteView image, uint16_t loadAddress);

// An image without its BK header: the set-up code at the start of the bytes,
// where it records the load address, or, for a file below 01000, after the
// stack image, where it records 01000 and its offset gives the load address.
// A set-up code that the first two words, read as a BK header, would put
// where it lies belongs to an image with its header, and is not taken.
RawImage FindRawImage(ByteView bytes);
// True when FindRawImage finds an image in `bytes`.
bool IsRawImage(ByteView bytes);

}  // namespace sokol
