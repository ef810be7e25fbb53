#include "support/pdp11.h"

#include <cstdio>
#include <sstream>

#include "support/run_program.h"

namespace {

const char* const kRegisterNames[8] = {"R0", "R1", "R2", "R3", "R4", "R5", "SP", "PC"};
// Printed between runs of a batch; the number follows.
const char* const kRunMarker = "---run ";

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

void Pdp11Machine::AddBreakpoint(uint16_t address, unsigned passes) {
  breakpoints_.emplace_back(address, passes);
}

void Pdp11Machine::Examine(uint16_t address, uint32_t length) {
  if (length > 0) examine_.emplace_back(address, length);
}

void Pdp11Machine::WriteScript(std::ostream& script, uint64_t maxInstructions) const {
  if (clearFirst_) script << "d 0-157776 0\n";
  for (uint32_t word = 0; word < 32768; ++word) {
    if (!touched_[word]) continue;
    const unsigned value = memory_[word * 2] | (memory_[word * 2 + 1] << 8);
    script << "d " << SimhOctal(word * 2) << ' ' << SimhOctal(value) << '\n';
  }
  for (int i = 0; i < 8; ++i) {
    if (registers_[i] >= 0) script << "d " << kRegisterNames[i] << ' ' << SimhOctal(registers_[i]) << '\n';
  }
  if (psw_ >= 0) script << "d PSW " << SimhOctal(psw_) << '\n';
  script << "show time\n";
  if (breakpoints_.empty()) {
    script << "step " << maxInstructions << '\n';
  } else {
    // One instruction first, so that a breakpoint at the entry address (a
    // program that starts where its unpacker did) is not taken at the start.
    script << "step 1\n";
    for (const auto& [address, passes] : breakpoints_) {
      script << "break " << SimhOctal(address);
      if (passes > 1) script << '[' << passes << ']';
      script << '\n';
    }
    script << "step " << (maxInstructions > 1 ? maxInstructions - 1 : 1) << '\n';
    script << "nobreak all\n";
  }
  script << "show time\n";
  script << "echo ---registers\n";
  for (const char* name : kRegisterNames) script << "e " << name << '\n';
  script << "e PSW\n";
  script << "echo ---memory\n";
  for (const auto& [address, length] : examine_) {
    const uint32_t first = address & 0xFFFE;
    const uint32_t last = (address + length - 1) & ~1u;
    script << "e " << SimhOctal(first) << '-' << SimhOctal(last > 0xFFFE ? 0xFFFE : last) << '\n';
  }
}

// Reads one run's part of the transcript: the stop line of the last step,
// the simulated time before and after (simh counts one unit per
// instruction), registers and memory.
void Pdp11Machine::ParseOutput(const std::string& output, Pdp11Result* result) {
  std::istringstream lines(output);
  std::string line;
  bool afterRegisters = false;
  bool sawStartTime = false;
  uint64_t startTime = 0;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find("---registers") != std::string::npos) afterRegisters = true;
    const size_t pcAt = line.find(", PC: ");
    if (!afterRegisters && pcAt != std::string::npos) {
      // The stop line of the second step; the first one is a plain step.
      result->stopLine = line;
      result->halted = line.rfind("HALT instruction", 0) == 0;
      result->breakpoint = line.rfind("Breakpoint", 0) == 0;
      result->stepLimit = line.rfind("Step expired", 0) == 0;
      result->ran = true;
      continue;
    }
    if (line.rfind("Time:\t", 0) == 0) {
      const uint64_t time = std::stoull(line.substr(6));
      if (!sawStartTime) startTime = time;
      else result->instructions = time - startTime;
      sawStartTime = true;
      continue;
    }
    const size_t colon = line.find(":\t");
    if (colon == std::string::npos) continue;
    const std::string key = line.substr(0, colon);
    const unsigned value = static_cast<unsigned>(std::stoul(line.substr(colon + 2), nullptr, 8));
    bool isRegister = false;
    for (int i = 0; i < 8; ++i) {
      if (key == kRegisterNames[i]) {
        result->registers[i] = static_cast<uint16_t>(value);
        isRegister = true;
      }
    }
    if (key == "PSW") {
      result->psw = static_cast<uint16_t>(value);
      continue;
    }
    if (isRegister || key.find_first_not_of("01234567") != std::string::npos) continue;
    const unsigned address = static_cast<unsigned>(std::stoul(key, nullptr, 8));
    if (address < 0xFFFF) {
      result->memory[address] = static_cast<uint8_t>(value & 0xFF);
      result->memory[address + 1] = static_cast<uint8_t>(value >> 8);
    }
  }
  result->pc = result->registers[7];
}

Pdp11Result Pdp11Machine::Run(uint64_t maxInstructions, int timeoutSeconds) const {
  Pdp11Batch batch;
  batch.Add(*this, maxInstructions);
  return batch.Run(timeoutSeconds).front();
}

void Pdp11Batch::Add(const Pdp11Machine& machine, uint64_t maxInstructions) {
  std::ostringstream script;
  script << "echo " << kRunMarker << size_ << '\n';
  // The LSI-11's line clock interrupts whenever the priority is below 6;
  // "FIE 0" turns that off (again: a RESET instruction turns it back on).
  script << "d clk FIE 0\n";
  machine.WriteScript(script, maxInstructions);
  script_ += script.str();
  ++size_;
}

std::vector<Pdp11Result> Pdp11Batch::Run(int timeoutSeconds) const {
  std::vector<Pdp11Result> results(size_);
  TempDir dir;
  // quit at the end: without it simh keeps prompting on an empty stdin.
  WriteFileText(dir / "run.sim", "set cpu 11/03\n" + script_ + "quit\n");

  RunOptions options;
  options.workingDirectory = dir.path();
  options.timeoutSeconds = timeoutSeconds;
  const RunResult run = RunProgram(FindOnPath("pdp11"), {"run.sim"}, options);
  const std::string transcript = run.out + run.err;
  if (run.timedOut || run.exitStatus < 0) {
    for (Pdp11Result& result : results) result.transcript = transcript;
    return results;
  }
  // Each run's output starts at its marker line.
  const std::string marker = std::string(kRunMarker);
  size_t at = transcript.find(marker + "0\n");
  for (size_t i = 0; i < size_ && at != std::string::npos; ++i) {
    const size_t next = transcript.find(marker + std::to_string(i + 1) + "\n", at);
    results[i].transcript = transcript.substr(at, next == std::string::npos ? std::string::npos : next - at);
    Pdp11Machine::ParseOutput(results[i].transcript, &results[i]);
    at = next;
  }
  return results;
}
