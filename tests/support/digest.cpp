#include "support/digest.h"

#include <cstdio>

namespace {

std::string Hex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

uint64_t Fnv1a(const uint8_t* bytes, size_t size) {
  uint64_t hash = 14695981039346656037ull;
  for (size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace

std::string Digest(const Bytes& bytes) { return Hex(Fnv1a(bytes.data(), bytes.size())); }

std::string Digest(const std::string& bytes) {
  return Hex(Fnv1a(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}
