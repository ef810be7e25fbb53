// The first step of DorvikPack, for tests that run the steps one by one.
#pragma once

// Step 1: pads the input to even length and sets up the packed region (the
// words at and above 01000), the work area and the checksum. Prints a
// message and returns false for an input that cannot be packed: too large,
// loading at an odd address, or holding no word at or above 01000.
bool PrepareRegion();
