// Entry points of the Granol method. Both read packerState.fileBuffer and
// leave their result in packerState.granolImage with its length in
// packerState.dataLength.
#pragma once

#include <cstddef>
#include <cstdint>

// Packs fileBuffer into a self-extracting Granol image. False after printing
// a message when the image could not be used: when no place in the address
// space holds it beside the data it unpacks.
bool GranolPack();

// Unpacks a Granol image and sets loadAddress. False after printing a
// message when the file is not a Granol image or is damaged; nothing is
// written then.
bool GranolUnpack();

// True when `bytes` hold a Granol image without a BK header: the word that
// leads to the parameter block stands at its place.
bool IsRawGranolImage(const uint8_t* bytes, size_t size);

// The stub runs wherever it is loaded, but not over the data it unpacks:
// an image of `imageLength` bytes fits when it can lie wholly below the
// data (from `loadAddress`, `packedLength` bytes) or wholly above it, below
// 0200000. Such an image is also always shorter than the largest file korvid
// reads, so korvid can unpack every image it packs.
bool GranolImageFits(uint32_t loadAddress, uint32_t packedLength, uint32_t imageLength);
