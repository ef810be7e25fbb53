// The files a korvid benchmark reads: the BK programs of a corpus folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The names of the .bin files in `folder`, sorted; none when it cannot be
// read.
std::vector<std::string> BinFiles(const std::string& folder);

// The bytes of the file at `path`; none when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);
