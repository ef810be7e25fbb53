// The Granol method: a backward LZ coder with a bit stream, behind a
// position-independent PDP-11 stub that unpacks the data to its load
// address and returns (granol_format.h, docs/formats.md "Granol").
//
// Both directions are plain functions: data and options in, a result out.
// Nothing is kept between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bk/bk_file.h"
#include "bk/bytes.h"

namespace granol {

struct PackOptions {
  // The input's extension without its dot. The image stores its first
  // three characters after its signature, in the BK's character set; when
  // one of them has no BK form, the field keeps its zero bytes, as for a
  // name without one.
  std::u16string extension;
};

enum class PackError {
  None,
  // No place in the 16-bit address space holds the image beside its data.
  DoesNotFit,
};

struct PackResult {
  PackError error = PackError::None;
  Bytes image;                // loads anywhere outside the data it unpacks
  uint32_t imageLength = 0;   // also for DoesNotFit
  uint32_t packedLength = 0;  // P: the data's length, padded to a whole word
};

// Packs `data` that loads at `loadAddress`.
PackResult Pack(ByteView data, uint16_t loadAddress, const PackOptions& options);

enum class UnpackError {
  None,
  NotRecognised,  // word 4 is not 0352, or the file cannot hold the parameter block
  BadParameters,  // the block names a last word outside the file, or more than 16 valid bits
  BadToken,       // a token would write outside the data or copy from bytes not yet unpacked
  Truncated,      // the stream ends before the data is complete, or inside a token
};

struct UnpackResult {
  UnpackError error = UnpackError::None;
  Bytes data;                // P bytes
  uint16_t loadAddress = 0;  // from the parameter block
};

// Unpacks an image. The image records where its data goes; where the image
// itself loads (`loadAddress`, its file's) does not matter to it.
UnpackResult Unpack(ByteView image, uint16_t loadAddress);

// A Granol image without a BK header: the word that leads to the parameter
// block stands at its place, and the block, when the bytes hold it, gives
// the load address of the data.
RawImage FindRawImage(ByteView bytes);
// True when `bytes` hold a Granol image without a BK header.
bool IsRawImage(ByteView bytes);

// The stub runs wherever it is loaded, but not over the data it unpacks:
// an image of `imageLength` bytes fits when it can lie wholly below the
// data (from `loadAddress`, `packedLength` bytes) or wholly above it, below
// 0200000. Such an image is also always shorter than the largest file korvid
// reads, so korvid can unpack every image it packs.
bool ImageFits(uint32_t loadAddress, uint32_t packedLength, uint32_t imageLength);

}  // namespace granol
