// PDP-11 instruction words for tests: opcodes, operand fields and a
// small program builder, so that test programs read as assembly rather than
// as octal dumps. Header-only.
#pragma once

#include <cstdint>
#include <vector>

namespace pdp11_code {

enum Register : int { R0 = 0, R1, R2, R3, R4, R5, SP, PC };

// An operand field: addressing mode (0..7) and register.
constexpr int Operand(int mode, int reg) { return (mode << 3) | reg; }
constexpr int Reg(int r) { return Operand(0, r); }
constexpr int Deferred(int r) { return Operand(1, r); }        // (R)
constexpr int AutoInc(int r) { return Operand(2, r); }         // (R)+
constexpr int AutoIncDeferred(int r) { return Operand(3, r); } // @(R)+
constexpr int AutoDec(int r) { return Operand(4, r); }         // -(R)
constexpr int AutoDecDeferred(int r) { return Operand(5, r); } // @-(R)
constexpr int Indexed(int r) { return Operand(6, r); }         // X(R)
constexpr int IndexedDeferred(int r) { return Operand(7, r); } // @X(R)
constexpr int kImmediate = Operand(2, PC);                     // #n
constexpr int kAbsolute = Operand(3, PC);                      // @#a
constexpr int kRelative = Operand(6, PC);                      // a
constexpr int kRelativeDeferred = Operand(7, PC);              // @a

// clang-format off
// Double operand (src in bits 11..6, dst in 5..0).
constexpr uint16_t kMov  = 0010000, kMovb = 0110000;
constexpr uint16_t kCmp  = 0020000, kCmpb = 0120000;
constexpr uint16_t kBit  = 0030000, kBitb = 0130000;
constexpr uint16_t kBic  = 0040000, kBicb = 0140000;
constexpr uint16_t kBis  = 0050000, kBisb = 0150000;
constexpr uint16_t kAdd  = 0060000, kSub  = 0160000;
// Register and destination (register in bits 8..6).
constexpr uint16_t kJsr  = 0004000, kXor  = 0074000;
// Single operand (dst in bits 5..0); add 0100000 for the byte form.
constexpr uint16_t kClr = 0005000, kCom = 0005100, kInc = 0005200, kDec = 0005300;
constexpr uint16_t kNeg = 0005400, kAdc = 0005500, kSbc = 0005600, kTst = 0005700;
constexpr uint16_t kRor = 0006000, kRol = 0006100, kAsr = 0006200, kAsl = 0006300;
constexpr uint16_t kByte = 0100000;
constexpr uint16_t kJmp = 0000100, kSwab = 0000300, kSxt = 0006700;
constexpr uint16_t kMtps = 0106400, kMfps = 0106700;
constexpr uint16_t kMark = 0006400, kSob = 0077000, kRts = 0000200;
// Branches (8-bit word offset in the low byte).
constexpr uint16_t kBr  = 0000400, kBne = 0001000, kBeq = 0001400, kBge = 0002000;
constexpr uint16_t kBlt = 0002400, kBgt = 0003000, kBle = 0003400, kBpl = 0100000;
constexpr uint16_t kBmi = 0100400, kBhi = 0101000, kBlos = 0101400, kBvc = 0102000;
constexpr uint16_t kBvs = 0102400, kBcc = 0103000, kBcs = 0103400;
// No operands.
constexpr uint16_t kHalt = 0, kWait = 1, kRti = 2, kBpt = 3, kIot = 4, kReset = 5, kRtt = 6;
constexpr uint16_t kEmt = 0104000, kTrap = 0104400;
constexpr uint16_t kNop = 0000240, kClearCc = 0000257, kSetCc = 0000260;
// clang-format on

constexpr uint16_t Double(uint16_t opcode, int src, int dst) {
  return static_cast<uint16_t>(opcode | (src << 6) | dst);
}
constexpr uint16_t Single(uint16_t opcode, int dst) { return static_cast<uint16_t>(opcode | dst); }
constexpr uint16_t RegDst(uint16_t opcode, int reg, int dst) {
  return static_cast<uint16_t>(opcode | (reg << 6) | dst);
}
constexpr uint16_t Branch(uint16_t opcode, int words) {
  return static_cast<uint16_t>(opcode | (words & 0377));
}
constexpr uint16_t Sob(int reg, int wordsBack) {
  return static_cast<uint16_t>(kSob | (reg << 6) | wordsBack);
}

// Words assembled from an origin; addresses are those the words will have.
class Program {
 public:
  explicit Program(uint16_t origin) : origin_(origin) {}
  Program& operator()(uint16_t word) {
    words_.push_back(word);
    return *this;
  }
  Program& operator()(uint16_t word, uint16_t extra) { return (*this)(word)(extra); }
  Program& operator()(uint16_t word, uint16_t extra1, uint16_t extra2) {
    return (*this)(word)(extra1)(extra2);
  }
  uint16_t Here() const { return static_cast<uint16_t>(origin_ + 2 * words_.size()); }
  uint16_t Origin() const { return origin_; }
  const std::vector<uint16_t>& Words() const { return words_; }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> bytes;
    for (uint16_t word : words_) {
      bytes.push_back(static_cast<uint8_t>(word & 0377));
      bytes.push_back(static_cast<uint8_t>(word >> 8));
    }
    return bytes;
  }
  // Patches the word at `address`.
  void Set(uint16_t address, uint16_t word) { words_.at((address - origin_) / 2) = word; }

 private:
  uint16_t origin_;
  std::vector<uint16_t> words_;
};

}  // namespace pdp11_code
