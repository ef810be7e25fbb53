// Digests for golden records: a result pinned by a short string that any
// change of a byte changes.
#pragma once

#include <string>

#include "support/bk_bytes.h"

// 64-bit FNV-1a over the bytes, as 16 hex digits.
std::string Digest(const std::string& bytes);
std::string Digest(const Bytes& bytes);
