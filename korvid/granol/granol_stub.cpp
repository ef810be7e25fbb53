// kStub: the PDP-11 unpacker carried in front of every Granol image
// (granol_format.h, docs/formats.md).
//
//   size     264 bytes (0410), position-independent: it finds its parameter
//            block from the PC and patches three of its own operands
//   entry    JSR PC to byte 0 of the image; no registers needed
//   exit     RTS PC with R0 = load address; R1..R5 destroyed, SP as on entry
//   effect   decodes the stream backwards, from the last stream word down to
//            word 0204, into load address .. load address + P - 1, writing the
//            highest byte first. The image must lie outside that range.
//
// Offsets are octal byte offsets from the start of the stub. "346:" marks an
// operand that the stub rewrites at run time.
#include "granol/granol_stub.h"

namespace granol {

namespace {

// 0000..0011: entry, then the word that points unpackers at the parameters.
// clang-format off
constexpr uint16_t kEntryCode[] = {
    032737, 000000, 0177716,  // 0000  BIT #0, @#177716   ; touch the BK system register
    000412,                   // 0006  BR 0034            ; over the pointer and the text
    kPointerValue,      // 0010  .WORD 352          ; parameter block = 0010 + 352 + 030
};

// 0012..0033: a text field that nothing reads, 022 bytes of ASCII.
constexpr char kCreditText[] = "korvid BK packer  ";

// 0034..0361: the decoder. GetBit is at 0306, GetBits (R1 bits into R0,
// first bit most significant) at 0272.
constexpr uint16_t kDecoderCode[] = {
    // set-up: read the parameter block
    010702,                   // 0034  MOV PC, R2
    062702, 000344,           // 0036  ADD #344, R2        ; R2 -> word 0201 (byte 0402)
    012200,                   // 0042  MOV (R2)+, R0       ; R0 = load address
    012201,                   // 0044  MOV (R2)+, R1       ; R1 = word 0202
    060201,                   // 0046  ADD R2, R1          ; R1 = end of the image
    014103,                   // 0050  MOV -(R1), R3       ; R3 = valid-bit count
    014105,                   // 0052  MOV -(R1), R5       ; R5 = last stream word
    012204,                   // 0054  MOV (R2)+, R4       ; R4 = P; R2 -> first stream word
    060004,                   // 0056  ADD R0, R4          ; R4 = end of the destination
    010167, 000262,           // 0060  MOV R1, 346         ; current stream word address
    010267, 000234,           // 0064  MOV R2, 324         ; first stream word address
    010046,                   // 0070  MOV R0, -(SP)       ; keep the load address
    010667, 000256,           // 0072  MOV SP, 354         ; keep the stack pointer
    // token loop
    004767, 000204,           // 0076  JSR PC, 306         ; first bit
    0103424,                  // 0102  BCS 154             ; 1..
    012702, 000002,           // 0104  MOV #2, R2          ; 0.: copy of 2 bytes
    012701, 000010,           // 0110  MOV #10, R1         ;     with an 8-bit distance
    004767, 000166,           // 0114  JSR PC, 306         ; second bit
    0103433,                  // 0120  BCS 210             ; 01: copy
    012701, 000003,           // 0122  MOV #3, R1          ; 00: short literal run
    004767, 000140,           // 0126  JSR PC, 272         ; R0 = count - 1
    005200,                   // 0132  INC R0
    010002,                   // 0134  MOV R0, R2          ; R2 = literal count
    012701, 000010,           // 0136  MOV #10, R1
    004767, 000124,           // 0142  JSR PC, 272         ; R0 = literal byte
    0110044,                  // 0146  MOVB R0, -(R4)      ; store downwards
    077206,                   // 0150  SOB R2, 136
    000751,                   // 0152  BR 76
    004767, 000126,           // 0154  JSR PC, 306         ; second bit after 1
    0103421,                  // 0160  BCS 224             ; 11.
    012702, 000003,           // 0162  MOV #3, R2          ; 10.: copy of 3 bytes
    012701, 000011,           // 0166  MOV #11, R1         ;      with a 9-bit distance
    004767, 000110,           // 0172  JSR PC, 306         ; third bit
    0103004,                  // 0176  BCC 210             ; 100: copy
    012702, 000004,           // 0200  MOV #4, R2          ; 101: copy of 4 bytes
    012701, 000012,           // 0204  MOV #12, R1         ;      with a 10-bit distance
    004767, 000056,           // 0210  JSR PC, 272         ; copy: R0 = distance
    060400,                   // 0214  ADD R4, R0          ; R0 = source end
    0114044,                  // 0216  MOVB -(R0), -(R4)
    077202,                   // 0220  SOB R2, 216
    000725,                   // 0222  BR 76
    004767, 000056,           // 0224  JSR PC, 306         ; third bit after 11
    0103007,                  // 0230  BCC 250             ; 110: long copy
    012701, 000010,           // 0232  MOV #10, R1         ; 111: long literal run
    004767, 000030,           // 0236  JSR PC, 272         ; R0 = count - 9
    062700, 000011,           // 0242  ADD #11, R0
    000732,                   // 0246  BR 134
    012701, 000010,           // 0250  MOV #10, R1
    004767, 000012,           // 0254  JSR PC, 272         ; R0 = length - 1
    005200,                   // 0260  INC R0
    010002,                   // 0262  MOV R0, R2          ; R2 = length
    012701, 000014,           // 0264  MOV #14, R1         ; 12-bit distance
    000747,                   // 0270  BR 210
    // GetBits: R0 = next R1 bits
    005000,                   // 0272  CLR R0
    004767, 000006,           // 0274  JSR PC, 306
    006100,                   // 0300  ROL R0              ; carry into bit 0
    077104,                   // 0302  SOB R1, 274
    000207,                   // 0304  RTS PC
    // GetBit: next bit into the carry flag
    005303,                   // 0306  DEC R3
    0100420,                  // 0310  BMI 352             ; stream exhausted
    001402,                   // 0312  BEQ 320             ; last bit of this word
    006005,                   // 0314  ROR R5
    000207,                   // 0316  RTS PC
    026727, 000022, 000000,   // 0320  CMP 346, #0         ; 324: first stream word address
    0101402,                  // 0326  BLOS 334            ; first word: R3 stays 0
    012703, 000020,           // 0330  MOV #20, R3         ; 16 bits in the next word
    0162767, 000002, 000004,  // 0334  SUB #2, 346
    006005,                   // 0342  ROR R5              ; the last bit of this word
    013705, 000000,           // 0344  MOV @#0, R5         ; 346: previous stream word
    000207,                   // 0350  RTS PC
    // finish
    012706, 000000,           // 0352  MOV #0, SP          ; 354: the kept stack pointer
    012600,                   // 0356  MOV (SP)+, R0       ; R0 = load address
    000207,                   // 0360  RTS PC              ; back to the caller
};
// clang-format on

// 0362..0373: the signature; 0374..0407 are zero in the template (extension
// bytes, a spare word, and the parameter words 0201..0203).
constexpr char kSignature[] = "GRANOL7.2 ";

constexpr size_t kCreditOffset = 012;
constexpr size_t kDecoderOffset = 034;
constexpr size_t kSignatureOffset = 0362;

static_assert(sizeof kEntryCode == kCreditOffset, "entry code ends at the text field");
static_assert(sizeof kCreditText - 1 == kDecoderOffset - kCreditOffset, "18-byte text field");
static_assert(kDecoderOffset + sizeof kDecoderCode == kSignatureOffset, "decoder ends at 0362");
static_assert(kSignatureOffset + sizeof kSignature - 1 == kExtensionOffset, "10-byte signature");

constexpr std::array<uint8_t, kStubSize> BuildStub() {
  std::array<uint8_t, kStubSize> stub{};
  size_t at = 0;
  for (uint16_t word : kEntryCode) {
    stub[at++] = static_cast<uint8_t>(word & 0xFF);
    stub[at++] = static_cast<uint8_t>(word >> 8);
  }
  for (size_t i = 0; i + 1 < sizeof kCreditText; ++i)
    stub[at++] = static_cast<uint8_t>(kCreditText[i]);
  for (uint16_t word : kDecoderCode) {
    stub[at++] = static_cast<uint8_t>(word & 0xFF);
    stub[at++] = static_cast<uint8_t>(word >> 8);
  }
  for (size_t i = 0; i + 1 < sizeof kSignature; ++i)
    stub[at++] = static_cast<uint8_t>(kSignature[i]);
  return stub;
}

}  // namespace

const std::array<uint8_t, kStubSize> kStub = BuildStub();

}  // namespace granol
