// Arbitrary data packed with each method and run on the PDP-11 model
// through the proof: every image a method gives must be proven. The input
// reads like a BK file: the load-address word (kept below 0100000, so that
// every layout fits into the model's memory), then a byte of options where
// the length's low byte stands (method, data mode, long stub and work area,
// or Sokol's decoder), one byte skipped, then the data.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "dorvik/dorvik.h"
#include "granol/granol.h"
#include "proof/dorvik_plan.h"
#include "proof/granol_plan.h"
#include "proof/sokol_plan.h"
#include "sokol/sokol.h"

namespace {

void Require(const proof::Proof& result) {
  if (!result.Proven()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 4) return 0;
  const auto loadAddress = static_cast<uint16_t>((bytes[0] | bytes[1] << 8) & 077777);
  const uint8_t options = bytes[2];
  const std::vector<uint8_t> data(bytes + 4, bytes + size);
  const bool dataMode = (options & 04) != 0;
  switch (options & 03) {
    case 0:
    case 3: {
      dorvik::PackOptions dorvik;
      dorvik.dataMode = dataMode;
      dorvik.longStub = (options & 010) != 0;
      const std::optional<uint16_t> workEnds[] = {std::nullopt, 0, 040000, 0140000};
      dorvik.workEnd = workEnds[(options >> 4) & 3];
      const dorvik::PackResult packed = dorvik::Pack(data, loadAddress, dorvik);
      if (packed.error != dorvik::PackError::None) return 0;
      proof::DorvikEntry entry;
      entry.dataMode = dorvik.dataMode;
      entry.longStub = dorvik.longStub;
      entry.workStart = packed.workStart;
      Require(proof::ProveDorvik(packed.image, data, loadAddress, entry));
      break;
    }
    case 1: {
      const granol::PackResult packed = granol::Pack(data, loadAddress, {u"bin"});
      if (packed.error != granol::PackError::None) return 0;
      Require(proof::ProveGranol(packed.image, data, loadAddress));
      break;
    }
    case 2: {
      sokol::PackOptions sokol;
      sokol.dataMode = dataMode;
      const int decoder = (options >> 3) & 7;  // 6 and 7: the packer's choice
      if (decoder < sokol::kDecoderCount) sokol.decoder = static_cast<sokol::Decoder>(decoder);
      const sokol::PackResult packed = sokol::Pack(data, loadAddress, sokol);
      if (packed.error != sokol::PackError::None) return 0;
      Require(proof::ProveSokol(packed, data, dataMode));
      break;
    }
  }
  return 0;
}
