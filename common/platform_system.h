// What the shared part of the platform layer (platform_common.cpp) needs
// from the file of each system. Not for the programs: they use platform.h.
#pragma once

#include <cstdio>

// The bytes already flushed from `stream` are on the disk, not only in the
// system's cache.
bool FlushToDisk(std::FILE* stream);
