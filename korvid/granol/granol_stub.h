// The Granol image: a fixed 264-byte PDP-11 program, GranolStub, that ends
// in a small parameter block, followed by the packed bit stream.
//
//   words 0..131   GranolStub, with the extension bytes and parameters patched
//   words 132..    the stream words in the order the packer filled them
//   word  N-2      the last stream word (partly filled, or a full one)
//   word  N-1      how many bits of word N-2 are valid: 1..16
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr size_t kGranolStubSize = 264;
constexpr int kGranolStubWords = static_cast<int>(kGranolStubSize / 2);

// Byte 010 holds 000352: the parameter block starts 030 bytes further on,
// at word (000352 + 030) / 2 = 129. Unpackers find the block through it.
constexpr int kGranolPointerWord = 4;
constexpr uint16_t kGranolPointerValue = 0352;

// Three bytes after the signature text receive the input's extension.
constexpr size_t kGranolExtensionOffset = 0374;
constexpr int kGranolExtensionLength = 3;

// The parameter block.
constexpr int kGranolLoadAddressWord = 129;  // where the stub puts the data
constexpr int kGranolImageEndWord = 130;     // bytes from word 131 to the image end
constexpr int kGranolPackedLengthWord = 131; // P, the even length that was packed
constexpr int kGranolFirstStreamWord = 132;

extern const std::array<uint8_t, kGranolStubSize> GranolStub;
