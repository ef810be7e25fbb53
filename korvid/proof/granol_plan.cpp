#include "proof/granol_plan.h"

#include <vector>

#include "granol/granol_format.h"
#include "proof/run.h"

namespace proof {

Proof ProveGranol(const Bytes& image, const Bytes& data, uint16_t loadAddress) {
  const Bytes padded = Padded(data);
  const Range region{loadAddress, loadAddress + static_cast<uint32_t>(padded.size())};
  const auto size = static_cast<uint32_t>(image.size());
  if (!InsideRam(region) || size < granol::kStubSize) return NoRoom();

  // Beside the data, as the stub's contract asks: above it when it fits,
  // else below.
  std::vector<uint32_t> places = {Even(region.end)};
  if (region.first >= size) places.push_back((region.first - size) & ~1u);
  Plan plan;
  bool placed = false;
  for (const uint32_t at : places) {
    const Range loaded{at, at + size};
    if (!InsideRam(loaded) || Overlaps(loaded, region)) continue;
    const std::optional<Scene> scene = FindScene({region, loaded}, granol::kStackUse);
    if (!scene) continue;
    plan.scene = *scene;
    plan.imageAt = static_cast<uint16_t>(at);
    placed = true;
    break;
  }
  if (!placed) return NoRoom();

  const Range loaded{plan.imageAt, plan.imageAt + size};
  const uint16_t handOff = plan.scene.ReturnAddress();
  plan.image = &image;
  plan.entry = plan.imageAt;
  plan.stages = {{{plan.imageAt, plan.imageAt + static_cast<uint32_t>(granol::kStubSize)},
                  {handOff, handOff + 1u}}};
  plan.region = region;
  plan.expected = padded.data();
  // The stub rewrites operands of its own and uses a few words of stack.
  plan.writable = {loaded, {plan.scene.stack - 2u - granol::kStackUse, plan.scene.stack}};
  plan.stackUse = granol::kStackUse;
  plan.sp = plan.scene.stack;
  plan.r0 = loadAddress;
  plan.stepLimit = StepLimit(padded.size(), image.size());
  return Execute(plan);
}

}  // namespace proof
