// Runs PDP-11 code on simh's pdp11 simulator (Debian package simh), set up as
// an LSI-11 (no EIS/FIS, like the BK's processor) with 56 KiB of memory and
// the I/O page above 0160000. The machine is described in memory words,
// registers and breakpoints; one call writes a simh script, runs it with an
// instruction limit and a wall-clock limit, and reads back the registers,
// the status word, the instructions executed and the memory ranges asked
// for. A batch runs many such machines one after another in one simulator
// process, which saves its start-up time.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

struct Pdp11Result {
  bool ran = false;          // the simulator started and reported a stop
  bool halted = false;       // stopped at a HALT instruction
  bool breakpoint = false;   // stopped at one of the breakpoints
  bool stepLimit = false;    // the instruction limit ran out
  uint16_t pc = 0;
  std::array<uint16_t, 8> registers{};  // R0..R5, SP, PC
  uint16_t psw = 0;
  uint64_t instructions = 0;  // executed, a HALT included, a breakpoint's not
  std::array<uint8_t, 65536> memory{};  // only the examined ranges are filled
  std::string stopLine;      // simh's own stop message
  std::string transcript;    // everything the simulator printed

  uint16_t Word(uint16_t address) const {
    return static_cast<uint16_t>(memory[address] | (memory[address + 1] << 8));
  }
  Bytes Range(uint16_t address, size_t length) const {
    return Bytes(memory.begin() + address, memory.begin() + address + length);
  }
};

class Pdp11Machine {
 public:
  // True when the pdp11 simulator is installed; tests skip otherwise.
  static bool Available();

  // Puts bytes into memory from `address` (odd addresses and lengths allowed).
  void Load(uint32_t address, const Bytes& bytes);
  void SetWord(uint32_t address, uint16_t value);
  void SetRegister(int index, uint16_t value);  // 0..5, 6 = SP, 7 = PC
  void SetPsw(uint16_t value) { psw_ = value; }
  // `passes`: the run stops at the address's passes-th execution (counted
  // after the first instruction).
  void AddBreakpoint(uint16_t address, unsigned passes = 1);
  // Memory to read back after the run (inclusive start, byte length).
  void Examine(uint16_t address, uint32_t length);
  // Clears the 56 KiB of RAM before the words are put in: in a batch, the
  // run then starts from zero memory whatever earlier runs left.
  void ClearMemoryFirst() { clearFirst_ = true; }

  Pdp11Result Run(uint64_t maxInstructions, int timeoutSeconds = 120) const;

 private:
  friend class Pdp11Batch;
  // The simh commands of one run, and its results from simh's output.
  void WriteScript(std::ostream& script, uint64_t maxInstructions) const;
  static void ParseOutput(const std::string& output, Pdp11Result* result);

  std::array<uint8_t, 65536> memory_{};
  std::vector<bool> touched_ = std::vector<bool>(32768, false);  // per word
  std::array<int32_t, 8> registers_{-1, -1, -1, -1, -1, -1, -1, -1};
  int32_t psw_ = -1;
  bool clearFirst_ = false;
  std::vector<std::pair<uint16_t, unsigned>> breakpoints_;
  std::vector<std::pair<uint16_t, uint32_t>> examine_;
};

// Machines run one after another in one simulator process. Memory carries
// over from run to run: a machine sees what earlier runs left in the words
// it does not set itself. Registers not set keep their values too.
class Pdp11Batch {
 public:
  void Add(const Pdp11Machine& machine, uint64_t maxInstructions);
  size_t Size() const { return size_; }
  // One result per machine, in order; all of them not `ran` when the
  // simulator could not be started or ran out of time.
  std::vector<Pdp11Result> Run(int timeoutSeconds = 120) const;

 private:
  std::string script_;  // the commands of every run so far
  size_t size_ = 0;
};
