#include "support/pdp11.h"

#include <cstdio>
#include <sstream>

#include "support/run_program.h"

namespace {

const char* const kRegisterNames[8] = {"R0", "R1", "R2", "R3", "R4", "R5", "SP", "PC"};

// Octal digits as simh reads them, without a leading 0.
std::string SimhOctal(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%o", value);
  return text;
}

}  // namespace

bool Pdp11Machine::Available() { return !FindOnPath("pdp11").empty(); }

void Pdp11Machine::Load(uint32_t address, const Bytes& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint32_t at = (address + i) & 0xFFFF;
    memory_[at] = bytes[i];
    touched_[at / 2] = true;
  }
}

void Pdp11Machine::SetWord(uint32_t address, uint16_t value) {
  Load(address & 0xFFFE, Bytes{static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)});
}

void Pdp11Machine::SetRegister(int index, uint16_t value) { registers_.at(index) = value; }

void Pdp11Machine::AddBreakpoint(uint16_t address) { breakpoints_.push_back(address); }

void Pdp11Machine::Examine(uint16_t address, uint32_t length) {
  if (length > 0) examine_.emplace_back(address, length);
}

Pdp11Result Pdp11Machine::Run(uint64_t maxInstructions, int timeoutSeconds) const {
  Pdp11Result result;
  TempDir dir;
  std::ostringstream script;
  script << "set cpu 11/03\n";
  for (uint32_t word = 0; word < 32768; ++word) {
    if (!touched_[word]) continue;
    const unsigned value = memory_[word * 2] | (memory_[word * 2 + 1] << 8);
    script << "d " << SimhOctal(word * 2) << ' ' << SimhOctal(value) << '\n';
  }
  for (int i = 0; i < 8; ++i) {
    if (registers_[i] >= 0) script << "d " << kRegisterNames[i] << ' ' << SimhOctal(registers_[i]) << '\n';
  }
  // One instruction first, so that a breakpoint at the entry address (a
  // program that starts where its unpacker did) is not taken at the start.
  script << "step 1\n";
  for (uint16_t address : breakpoints_) script << "break " << SimhOctal(address) << '\n';
  script << "step " << (maxInstructions > 1 ? maxInstructions - 1 : 1) << '\n';
  script << "echo ---registers\n";
  for (const char* name : kRegisterNames) script << "e " << name << '\n';
  script << "echo ---memory\n";
  for (const auto& [address, length] : examine_) {
    const uint32_t first = address & 0xFFFE;
    const uint32_t last = (address + length - 1) & ~1u;
    script << "e " << SimhOctal(first) << '-' << SimhOctal(last > 0xFFFE ? 0xFFFE : last) << '\n';
  }
  script << "quit\n";  // without it simh keeps prompting on an empty stdin
  WriteFileText(dir / "run.sim", script.str());

  RunOptions options;
  options.workingDirectory = dir.path();
  options.timeoutSeconds = timeoutSeconds;
  const RunResult run = RunProgram(FindOnPath("pdp11"), {"run.sim"}, options);
  result.transcript = run.out + run.err;
  if (run.timedOut || run.exitStatus < 0) return result;

  std::istringstream lines(result.transcript);
  std::string line;
  bool afterRegisters = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find("---registers") != std::string::npos) afterRegisters = true;
    const size_t pcAt = line.find(", PC: ");
    if (!afterRegisters && pcAt != std::string::npos) {
      // The stop line of the second step; the first one is a plain step.
      result.stopLine = line;
      result.halted = line.rfind("HALT instruction", 0) == 0;
      result.breakpoint = line.rfind("Breakpoint", 0) == 0;
      result.stepLimit = line.rfind("Step expired", 0) == 0;
      result.ran = true;
      continue;
    }
    const size_t colon = line.find(":\t");
    if (colon == std::string::npos) continue;
    const std::string key = line.substr(0, colon);
    const unsigned value = static_cast<unsigned>(std::stoul(line.substr(colon + 2), nullptr, 8));
    bool isRegister = false;
    for (int i = 0; i < 8; ++i) {
      if (key == kRegisterNames[i]) {
        result.registers[i] = static_cast<uint16_t>(value);
        isRegister = true;
      }
    }
    if (isRegister || key.find_first_not_of("01234567") != std::string::npos) continue;
    const unsigned address = static_cast<unsigned>(std::stoul(key, nullptr, 8));
    if (address < 0xFFFF) {
      result.memory[address] = static_cast<uint8_t>(value & 0xFF);
      result.memory[address + 1] = static_cast<uint8_t>(value >> 8);
    }
  }
  result.pc = result.registers[7];
  return result;
}
