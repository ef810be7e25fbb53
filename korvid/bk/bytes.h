// Bytes as every part of korvid passes them: Bytes owns them, ByteView
// looks at bytes that the caller owns and keeps (C++17 has no std::span).
// Methods take their input as a ByteView and give their output as Bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct ByteView {
  const uint8_t* data = nullptr;
  size_t size = 0;

  ByteView() = default;
  ByteView(const uint8_t* bytes, size_t length) : data(bytes), size(length) {}
  // Implicit, so that Bytes go wherever a view is taken.
  ByteView(const Bytes& bytes) : data(bytes.data()), size(bytes.size()) {}

  const uint8_t* begin() const { return data; }
  const uint8_t* end() const { return data + size; }
  uint8_t operator[](size_t index) const { return data[index]; }
  // The bytes from `offset` on; `offset` is at most `size`.
  ByteView From(size_t offset) const { return {data + offset, size - offset}; }
};
