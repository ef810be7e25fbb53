// Entry points of the Dorvik method. Both work in place in
// packerState.fileBuffer and keep their state in dorvikContext.
#pragma once

#include <cstddef>
#include <cstdint>

// Packs fileBuffer into a self-extracting image (length in
// dorvikContext.imageLength); prints a progress dot per step. False after
// printing a message when there is nothing to write.
bool DorvikPack();

// Unpacks a Dorvik image in fileBuffer (length in
// dorvikContext.unpackedLength). False after printing a message when there
// is nothing to write; on success, what the data cannot say about the image
// (its start address, the long stub's words) is left as console notes.
bool DorvikUnpack();

// True when `bytes` hold a Dorvik image without a BK header, that is, one
// taken to load at 01000: its stub lies at the start of the bytes.
bool IsRawDorvikImage(const uint8_t* bytes, size_t size);
