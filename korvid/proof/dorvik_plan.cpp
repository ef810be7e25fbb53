#include "proof/dorvik_plan.h"

#include <algorithm>
#include <vector>

#include "bk/autostart.h"
#include "bk/checksum.h"
#include "bk/memory.h"
#include "dorvik/dorvik_format.h"
#include "proof/run.h"

namespace proof {

namespace {

// Where the program starts: at its load address, at 01000, or at the
// autostart address of its stack image (`padded` is the data from the load
// address on).
uint16_t ProgramStart(const Bytes& padded, uint16_t loadAddress, uint32_t regionStart) {
  if (loadAddress >= kSystemAreaEnd) return static_cast<uint16_t>(regionStart);
  const size_t stackBytes = std::min<size_t>(padded.size(), kSystemAreaEnd - loadAddress);
  return RedirectAutostart(Bytes(padded.begin(), padded.begin() + static_cast<long>(stackBytes)))
      .startAddress;
}

// The long stub leaves the input's length and checksum in the system area:
// the run may write those words and must leave them so.
void LongStubWords(const Bytes& data, std::vector<Range>& taken, Plan& plan) {
  for (const uint16_t address : {dorvik::kSystemLengthAddressA, dorvik::kSystemChecksumAddress,
                                 dorvik::kSystemLengthAddressB}) {
    taken.push_back({address, address + 2u});
    plan.writable.push_back({address, address + 2u});
  }
  const auto length = static_cast<uint16_t>(data.size());
  plan.words = {{dorvik::kSystemLengthAddressA, length},
                {dorvik::kSystemChecksumAddress, EndAroundCarrySum(data.data(), data.size())},
                {dorvik::kSystemLengthAddressB, length}};
}

}  // namespace

Proof ProveDorvik(const Bytes& image, const Bytes& data, uint16_t loadAddress,
                  const DorvikEntry& entry) {
  const Bytes padded = Padded(data);
  const uint32_t regionStart = std::max<uint32_t>(loadAddress, kSystemAreaEnd);
  const uint32_t dataEnd = loadAddress + static_cast<uint32_t>(padded.size());
  if (dataEnd <= regionStart) return NoRoom();  // nothing to unpack: no image either
  const Range loaded{
      loadAddress, std::max<uint32_t>(loadAddress + static_cast<uint32_t>(image.size()), dataEnd)};
  const Range work{entry.workStart, entry.workStart + uint32_t{dorvik::kWorkAreaSize}};
  if (!InsideRam(loaded) || !InsideRam(work)) return NoRoom();

  Plan plan;
  std::vector<Range> taken = {loaded, work};
  plan.writable = {loaded, work};
  if (entry.longStub) LongStubWords(data, taken, plan);
  const std::optional<Scene> scene = FindScene(taken, 0);
  if (!scene) return NoRoom();
  plan.scene = *scene;

  // The BK enters the image at the stub, at the packed region's start. The
  // stub runs where it was loaded, copies its loop to the work area and
  // goes on there; the loop ends with the jump to the program or the return.
  const uint32_t stubBytes =
      dorvik::kStubSize - (entry.longStub ? dorvik::kLongStubSkip : dorvik::kShortStubSkip);
  const Range loop{entry.workStart, entry.workStart + uint32_t{dorvik::kWorkLoopSize}};
  const uint16_t handOff =
      entry.dataMode ? plan.scene.ReturnAddress() : ProgramStart(padded, loadAddress, regionStart);
  plan.image = &image;
  plan.imageAt = loadAddress;
  plan.entry = static_cast<uint16_t>(regionStart);
  plan.stages = {{{regionStart, regionStart + stubBytes}, loop}, {loop, {handOff, handOff + 1u}}};
  plan.region = {regionStart, dataEnd};
  plan.expected = padded.data() + (regionStart - loadAddress);
  plan.sp = entry.dataMode ? plan.scene.stack : static_cast<uint16_t>(plan.scene.stack - 2);
  plan.stepLimit = StepLimit(padded.size(), image.size());
  return Execute(plan);
}

}  // namespace proof
