// Sokol images run in our PDP-11 model, many more of them than the
// emulator tests can afford on simh: generated inputs of every shape and
// length, at load addresses across the memory, in both modes, with every
// decoder. Each run must hand off where the mode says, with SP as the mode
// says, the data in place, every byte outside the program, its margin and
// the decoder's stack area as it was (the memory is filled with a pattern
// first), and exactly as many instructions run as the packer counted.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "pdp11/pdp11_machine.h"
#include "sokol/sokol.h"
#include "sokol/sokol_stub.h"
#include "support/random.h"

namespace {


constexpr uint16_t kCaller = 0200;      // the caller's return address
constexpr uint16_t kStack = 01000;      // SP before the caller's JSR PC
constexpr uint32_t kRamEnd = pdp11::kIoPageStart;

uint8_t Pattern(uint32_t address) { return static_cast<uint8_t>(address * 37 + 11); }

const Bytes& PatternedMemory() {
  static const Bytes memory = [] {
    Bytes bytes(kRamEnd);
    for (uint32_t address = 0; address < kRamEnd; ++address) bytes[address] = Pattern(address);
    return bytes;
  }();
  return memory;
}

Bytes Generated(Random& random, size_t length) {
  Bytes data;
  while (data.size() < length) {
    switch (random() % 6) {
      case 0:  // a run
        data.insert(data.end(), 1 + random() % 300, static_cast<uint8_t>(random()));
        break;
      case 1:  // a copy from anywhere before, possibly overlapping
        if (!data.empty()) {
          const size_t offset = 1 + random() % data.size();
          for (size_t i = 0, count = 1 + random() % 600; i < count; ++i) data.push_back(data[data.size() - offset]);
        }
        break;
      case 2:  // PDP-11-like words
        for (int i = static_cast<int>(random() % 30); i >= 0; --i) {
          data.push_back(static_cast<uint8_t>(random() % 8 * 010 + random() % 2));
          data.push_back(static_cast<uint8_t>(random() % 16 | 010));
        }
        break;
      case 3:  // the same few bytes again, at the distances repeat offsets serve
        for (int i = static_cast<int>(random() % 40); i >= 0 && data.size() > 4; --i) data.push_back(data[data.size() - 2 - random() % 3]);
        break;
      default:  // bytes that match nothing
        for (int i = static_cast<int>(random() % 20); i >= 0; --i) data.push_back(static_cast<uint8_t>(random()));
        break;
    }
  }
  data.resize(length);
  return data;
}

// Packs, runs in the model as after JSR PC from kCaller, and checks.
void ExpectRunsInModel(const Bytes& data, uint16_t loadAddress, bool dataMode,
                       std::optional<sokol::Decoder> decoder = std::nullopt) {
  sokol::PackOptions options;
  options.dataMode = dataMode;
  options.decoder = decoder;
  const sokol::PackResult packed = sokol::Pack(data, loadAddress, options);
  ASSERT_EQ(packed.error, sokol::PackError::None);
  // The decoder's stack area: the block and two nested calls below it.
  const uint32_t stackUse = static_cast<uint32_t>(sokol::BlockOf(packed.decoder).size) + 4;
  const uint32_t reach = loadAddress + static_cast<uint32_t>(data.size()) + packed.margin;
  ASSERT_LE(reach, kRamEnd);
  pdp11::Machine machine;
  machine.Load(0, PatternedMemory());
  machine.Load(loadAddress, packed.image);
  machine.SetWord(kCaller, 0);  // HALT: a run that returns but misses the hand-off stops there
  machine.SetWord(kStack - 2, kCaller);
  machine.SetRegister(pdp11::kSp, kStack - 2);
  machine.SetRegister(pdp11::kPc, loadAddress);
  const uint16_t handOff = dataMode ? kCaller : packed.startAddress;
  machine.AddStopAt(handOff);
  const pdp11::RunOutcome outcome = machine.Run(200 * data.size() + 20000);
  ASSERT_TRUE(outcome.HandedOff()) << pdp11::StopReasonName(outcome.reason) << " at " << outcome.pc;
  EXPECT_EQ(outcome.pc, handOff);
  EXPECT_EQ(machine.Register(pdp11::kSp), dataMode ? kStack : kStack - 2);
  EXPECT_EQ(machine.Instructions(), packed.instructions);
  const auto& memory = machine.Memory();
  EXPECT_TRUE(std::equal(data.begin(), data.end(), memory.begin() + loadAddress)) << "unpacked data differ";
  // Outside the program and its margin, only the decoder's stack area and
  // the caller's return address may have changed.
  const uint32_t stackLow = kStack - 2 - stackUse;
  for (uint32_t address = 01000; address < kRamEnd; ++address) {
    if (address >= loadAddress && address < reach) continue;
    if (memory[address] != Pattern(address)) {
      ADD_FAILURE() << "byte " << address << " changed (program " << loadAddress << ".." << reach << ")";
      break;
    }
  }
  for (uint32_t address = 0; address < stackLow; ++address) {
    if (address == kCaller || address == kCaller + 1u) continue;
    if (memory[address] != Pattern(address)) {
      ADD_FAILURE() << "byte " << address << " below the stack area changed";
      break;
    }
  }
}

TEST(SokolModel, GeneratedInputsUnpackInPlace) {
  Random random(1958);
  for (int i = 0; i < 300; ++i) {
    const size_t length = i < 100 ? static_cast<size_t>(i) : random() % (i < 290 ? 2500 : 40000);
    const Bytes data = Generated(random, length);
    const uint32_t room = kRamEnd - 01000 - static_cast<uint32_t>(length) - 512;
    const uint16_t loadAddress = static_cast<uint16_t>((01000 + random() % room) & ~1u);
    // Each decoder in turn, then the packer's choice.
    const int d = i % (sokol::kDecoderCount + 1);
    const auto decoder = d < sokol::kDecoderCount ? std::optional(static_cast<sokol::Decoder>(d)) : std::nullopt;
    SCOPED_TRACE("case " + std::to_string(i) + ", length " + std::to_string(length) + ", load " +
                 std::to_string(loadAddress) + ", decoder " + std::to_string(d));
    ExpectRunsInModel(data, loadAddress, i % 2 == 1, decoder);
    if (HasFailure()) return;
  }
}

// A program that ends right at the top of the model's memory: the stream
// ends there too, and nothing beyond is touched (the model traps on it).
TEST(SokolModel, ProgramEndingAtTheTopOfMemory) {
  Random random(7);
  const Bytes data = Generated(random, 12000);
  const sokol::PackResult packed = sokol::Pack(data, 01000, {});
  ASSERT_EQ(packed.error, sokol::PackError::None);
  const uint32_t loadAddress = kRamEnd - static_cast<uint32_t>(data.size()) - packed.margin;
  ExpectRunsInModel(data, static_cast<uint16_t>(loadAddress & ~1u), false);
}

}  // namespace
