#include "proof/sokol_plan.h"

#include "bk/autostart.h"
#include "bk/memory.h"
#include "proof/run.h"
#include "sokol/sokol_format.h"
#include "sokol/sokol_stub.h"

namespace proof {

Proof ProveSokol(const Bytes& image, const Bytes& data, uint16_t loadAddress, bool dataMode,
                 uint32_t margin, sokol::Decoder decoder) {
  // A file below 01000 keeps its stack image as loaded; the set-up code
  // sits at 01000, where the autostart words send the BK, and the program
  // starts where they said.
  const bool below = loadAddress < kSystemAreaEnd;
  const uint32_t split = below ? kSystemAreaEnd - loadAddress : 0;
  if (data.size() <= split && below) return NoRoom();  // nothing to unpack: no image either
  const uint32_t entryAt = loadAddress + split;
  const Range program{entryAt, loadAddress + static_cast<uint32_t>(data.size()) + margin};
  const Range loaded{loadAddress, loadAddress + static_cast<uint32_t>(image.size())};
  const Range rest{entryAt, loaded.end};
  // The set-up code copies the decoder block below the return address; the
  // block's subroutines push two words below it.
  const uint32_t blockSize = static_cast<uint32_t>(sokol::BlockOf(decoder).size);
  const uint32_t stackUse = blockSize + 4;
  if (!InsideRam(program) || !InsideRam(loaded) ||
      image.size() < split + sokol::kSetupSize + blockSize) {
    return NoRoom();
  }
  uint16_t start = static_cast<uint16_t>(entryAt);
  if (below) start = RedirectAutostart(Bytes(data.begin(), data.begin() + split)).startAddress;

  Plan plan;
  const std::optional<Scene> scene = FindScene({program, loaded}, stackUse);
  if (!scene) return NoRoom();
  plan.scene = *scene;
  // The set-up code copies the decoder block right below the return
  // address and jumps into it; the block ends with the jump to the
  // program or the return.
  const uint32_t spEntry = plan.scene.stack - 2u;
  const Range block{spEntry - blockSize, spEntry};
  const uint16_t handOff = dataMode ? plan.scene.ReturnAddress() : start;
  plan.image = &image;
  plan.imageAt = loadAddress;
  plan.entry = static_cast<uint16_t>(entryAt);
  plan.stages = {{{entryAt, entryAt + static_cast<uint32_t>(sokol::kSetupSize)}, block},
                 {block, {handOff, handOff + 1u}}};
  plan.region = {entryAt, loadAddress + static_cast<uint32_t>(data.size())};
  plan.expected = data.data() + split;
  // The stack image is not the unpacker's to write: it must stay as loaded.
  plan.writable = {program, rest, {spEntry - stackUse, spEntry}};
  plan.stackUse = stackUse;
  plan.sp = dataMode ? plan.scene.stack : static_cast<uint16_t>(spEntry);
  plan.stepLimit = StepLimit(data.size(), image.size());
  return Execute(plan);
}

Proof ProveSokol(const sokol::PackResult& packed, const Bytes& data, bool dataMode) {
  return ProveSokol(packed.image, data, packed.loadAddress, dataMode, packed.margin,
                    packed.decoder);
}

}  // namespace proof
