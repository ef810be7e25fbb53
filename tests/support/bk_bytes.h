// BK bytes for tests: little-endian words, BK binary files, deterministic
// generated data and the worked examples, shared by every korvid test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/random.h"

using Bytes = std::vector<uint8_t>;

// The little-endian word at `offset`; bounds are checked.
uint16_t WordAt(const Bytes& bytes, size_t offset);
void PutWord(Bytes& bytes, size_t offset, uint16_t word);
Bytes BytesOfWords(const std::vector<uint16_t>& words);

// A BK binary file: load address and length words, then the data.
Bytes MakeBkFile(uint16_t loadAddress, const Bytes& data);

// An address or length as the BK shows it: octal with a leading 0.
std::string Octal(unsigned value);

// Bytes that do not compress, the same for the same seed (a linear
// congruential sequence of its own: the golden records pin these bytes).
Bytes Noise(size_t length, uint32_t seed);

// Program-like data: a few frequent words, runs of equal words, words with
// rare high bytes, and noise, mixed in random proportions.
Bytes GenerateProgram(Random& random, size_t length);

// The stack words of a file loaded at `load` below 01000, in one of the
// shapes that matter to the autostart handling: all zero, arbitrary, the
// start address in every word from 0744 (or the load address) on, or in
// that one word only. No word is 01000 itself: an image cannot tell such a
// word from a redirected one. Writes the words into `data`, which holds the
// file from `load` on.
enum class Stack { Zero, Arbitrary, Filled, Single };
void ShapeStack(Bytes& data, uint16_t load, Stack shape, uint16_t startAddress, Random& random);

// What a loader leaves of an image loaded at `load`: the first
// `patchedWords` words from the stub's entry (image offset `stubEntry`)
// replaced by MOV #loader, R0 / JMP (R0) and filler, and a loader after the
// image (at the next even address) that puts them back and jumps to the
// entry. The stub then runs as if nothing had happened.
Bytes WithLoaderInFront(const Bytes& image, uint16_t load, size_t stubEntry, int patchedWords);

// The ten words whose Dorvik image is worked out by hand in the tests:
// 0x1234 0x0001 0x1234 0x0001 0x1234 0x8002 7 7 7 7, as words and as bytes.
std::vector<uint16_t> TenWordExampleWords();
Bytes TenWordExample();
// Its Dorvik image at 01000, worked out by hand: the short stub with its
// patched words, the code bitmap, the delta list, and the stream with its
// first bytes moved behind it.
Bytes TenWordExampleImage();
