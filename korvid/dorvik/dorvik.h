// Entry points of the Dorvik method. Both work in place in
// packerState.fileBuffer and keep their state in dorvikContext.
#pragma once

// Packs fileBuffer into a self-extracting image (length in
// dorvikContext.imageLength); prints progress and the ratio. False after
// printing a message when there is nothing to write.
bool DorvikPack();

// Unpacks a Dorvik image in fileBuffer (length in
// dorvikContext.unpackedLength); prints " OK" or a message. False when
// there is nothing to write.
bool DorvikUnpack();
