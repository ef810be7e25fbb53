// korvid's run state: what the command line asks for and the input as read.
// One invocation packs or unpacks exactly one file; KorvidMain owns the one
// record of a run and hands it to each step. The methods never see it:
// the front passes them their data and options as arguments.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "bk/bytes.h"
#include "bk/memory.h"

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
  std::optional<uint16_t> workEnd;    // -w (Dorvik packing)
  std::optional<uint16_t> givenAddress;  // -a: the load address of a headerless input
  std::wstring inputName;
  std::wstring outputName;
  uint16_t loadAddress = kSystemAreaEnd;  // of the input's data
  AddressSource addressSource = AddressSource::Header;
  Bytes data;  // the input's data
};
