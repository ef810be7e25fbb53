// korvid's run state: what the command line asks for and the input as read.
// One invocation packs or unpacks exactly one file; KorvidMain owns the one
// record of a run and hands it to each step. The methods never see it:
// the front passes them their data and options as arguments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bk/memory.h"
#include "dorvik/dorvik.h"

struct Method;

// Where the load address of the input came from: its BK header, the image
// itself (a headerless image that records it), -a, or the default 01000.
enum class AddressSource { Header, Image, Option, Default };

struct PackerState {
  const Method* method = nullptr;     // -t
  bool unpackMode = false;            // -u
  bool rawOutput = false;             // -r: write the output without the BK binary header
  bool dataMode = false;              // -d (Dorvik packing)
  bool longStub = false;              // -l (Dorvik packing)
  int32_t workEnd = kDefaultWorkEnd;  // -w (Dorvik packing)
  int32_t givenAddress = -1;          // -a: the load address of a headerless input; -1 for none
  std::wstring inputName;
  std::wstring outputName;
  uint16_t loadAddress = kSystemAreaEnd;  // of the input's data
  AddressSource addressSource = AddressSource::Header;
  std::vector<uint8_t> data;              // the input's data
};
