// The PDP-11 code of a Sokol image: the set-up code at the load address and
// the decoder block that the set-up code copies below the caller's stack.
// sokol_stub.cpp holds both as tables, one row per instruction.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sokol/sokol_format.h"

namespace sokol {

// Patched words of the set-up code (byte offsets from the load address).
constexpr size_t kSetupBlockEnd = 002;     // MOV #blockEnd, R4
constexpr size_t kSetupDestEnd = 016;      // MOV #destinationEnd, R1
constexpr size_t kSetupStreamWords = 022;  // MOV #words, R5
constexpr size_t kSetupLoadAddress = 032;  // MOV #loadAddress, R2

// Byte offsets inside the decoder block.
constexpr size_t kBlockEntry = 016;  // where the set-up code jumps in
constexpr size_t kBlockRep1 = 014;   // repeat offset 1 (repeat offset 0 lives in R3)
constexpr size_t kBlockExit = 0240;  // MOV ...,R5; MARK n; then repeat offset 2
constexpr size_t kBlockRep2 = 0246;  // the block's last word, popped by MARK 0
// The block starts with repeat offsets 1 and 2 of kInitialRepeats in REP1
// and REP2.

// The exit's three forms: program mode loads the start address into R5 and
// marks no argument words; data mode loads the caller's return address (the
// word just above the block) and marks one, which RTS PC would pop.
constexpr uint16_t kExitProgramLoad = 012705;  // MOV #start, R5
constexpr uint16_t kExitDataLoad = 016705;     // MOV 4(PC), R5
constexpr uint16_t kExitDataOperand = 4;
constexpr uint16_t kExitProgramMark = 006400;  // MARK 0
constexpr uint16_t kExitDataMark = 006401;     // MARK 1

extern const std::array<uint16_t, kSetupSize / 2> kSetupCode;
extern const std::array<uint16_t, kBlockSize / 2> kBlockCode;

}  // namespace sokol
