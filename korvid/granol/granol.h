// Entry points of the Granol method. Both read packerState.fileBuffer and
// leave their result in packerState.granolImage with its length in
// packerState.dataLength.
#pragma once

// Packs fileBuffer into a self-extracting Granol image. Always succeeds for
// an input that the reader accepted; prints nothing.
bool GranolPack();

// Unpacks a Granol image and sets loadAddress. False after printing a
// message when the file is not a Granol image or is damaged; nothing is
// written then.
bool GranolUnpack();
