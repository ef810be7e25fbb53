// The PDP-11 code carried by every Sokol image.
//
//   size     200 bytes: 32 of set-up code, 168 of decoder block
//   entry    the load address (JMP or JSR PC there); any SP that leaves 172
//            bytes of stack below it
//   exit     program mode: jumps to the start address with SP as on entry;
//            data mode: returns like RTS PC. R0..R5 destroyed either way.
//   memory   writes only the program area [load address, end), moves the
//            stream inside [load address, end + margin) and uses the 168
//            bytes below SP (plus two words of subroutine calls) for the
//            decoder, which never lies in the program area while it writes.
//
// Set-up code, at the load address A (numbers octal, offsets from A):
//
//   The image is [set-up | stream, padded to words | block | trailer].
//   1. copy the block, last word first, below SP: SP then points at it,
//      and R3 = 0, the unset repeat offset 0;
//   2. move the stream up, last word first, so that it ends at
//      destinationEnd = A + program length + margin (even);
//   3. R1 = the stream's new start, R2 = A, R5 = 0 (no bits), and jump
//      into the block.
//
// Decoder block (offsets from its first word, octal). Registers: R1 stream,
// R2 output, R3 repeat offset 0, R4 copy source, R0 counts and values, R5
// the bit group: the bits not read yet on top, then a 1 that marks their
// end, zeros below (ASLB R5 gives the next bit in C, and Z once the marker
// has gone). The block starts with the routine that reads a bit, whose
// second half loads the next group; while the block runs SP points at it,
// so reading a bit is one word, JSR PC,(SP), and the hot paths read inline
// and call JSR PC,4(SP) (JSR PC,6(SP) from inside a subroutine) only to
// load a group. Repeat offsets 1 and 2 live in the block's words REP1 and
// REP2.
#include "sokol/sokol_stub.h"

namespace sokol {

// clang-format off
const std::array<uint16_t, kSetupSize / 2> kSetupCode = {
    012704, 000000,   // 000  MOV #blockEnd, R4       ; patched: A + image length - 4
    012703, 000124,   // 004  MOV #124, R3             ; 84 block words
    014446,           // 010  MOV -(R4), -(SP)
    077302,           // 012  SOB R3, 010              ; R3 = 0: repeat offset 0 not set
    012701, 000000,   // 014  MOV #destinationEnd, R1  ; patched: A + length + margin
    012705, 000000,   // 020  MOV #words, R5           ; patched: stream words
    014441,           // 024  MOV -(R4), -(R1)
    077502,           // 026  SOB R5, 024              ; R5 = 0: no bits yet
    012702, 000000,   // 030  MOV #A, R2               ; patched: load address
    000166, 000016,   // 034  JMP 16(SP)               ; into the block at NEXT
};

const std::array<uint16_t, kBlockSize / 2> kBlockCode = {
    0106305,                 // 000  GETBIT: ASLB R5        ; SP points here: JSR PC,(SP) reads a bit into C
    001003,                  // 002  BNE GRET
    0112105,                 // 004  REFILL: MOVB (R1)+, R5 ; JSR PC,4(SP) loads the next group
    000261,                  // 006  SEC
    0106105,                 // 010  ROLB R5                ; C = its first bit; the marker below the rest
    000207,                  // 012  GRET: RTS PC
    000002,                  // 014  REP1: .WORD 2
    0106305,                 // 016  NEXT: ASLB R5          ; after a match: 0 literals, 1 match
    001002,                  // 020  BNE 1$
    004766, 000004,          // 022  JSR PC, 4(SP)
    0103406,                 // 026  1$: BCS MATCH
    004767, 000142,          // 030  JSR PC, GAMMA          ; R0 = literal count
    0112122,                 // 034  LC: MOVB (R1)+, (R2)+
    077002,                  // 036  SOB R0, LC
    004716,                  // 040  JSR PC, (SP)           ; after literals: 0 repeat offset 0
    0103021,                 // 042  BCC REP0
    0106305,                 // 044  MATCH: ASLB R5         ; 10 new offset
    001002,                  // 046  BNE 2$
    004766, 000004,          // 050  JSR PC, 4(SP)
    0103023,                 // 054  2$: BCC NEWM
    016704, 0177732,         // 056  MOV REP1, R4
    004716,                  // 062  JSR PC, (SP)           ; 110 repeat offset 1, 111 repeat offset 2
    0103005,                 // 064  BCC RSW
    016704, 000154,          // 066  MOV REP2, R4
    016767, 0177716, 000146, // 072  MOV REP1, REP2
    010367, 0177710,         // 100  RSW: MOV R3, REP1      ; the used offset to the front
    010403,                  // 104  MOV R4, R3
    004767, 000064,          // 106  REP0: JSR PC, GAMMA    ; R0 = length
    010204,                  // 112  COPY: MOV R2, R4
    0160304,                 // 114  SUB R3, R4
    0112422,                 // 116  C1: MOVB (R4)+, (R2)+
    077002,                  // 120  SOB R0, C1
    000735,                  // 122  BR NEXT
    004767, 000046,          // 124  NEWM: JSR PC, GAMMA    ; R0 = high part + 1
    005300,                  // 130  DEC R0
    0100442,                 // 132  BMI DONE               ; the end marker
    000300,                  // 134  SWAB R0
    0106200,                 // 136  ASRB R0                ; C = bit 8 of the high part
    0152100,                 // 140  BISB (R1)+, R0         ; the offset byte
    006000,                  // 142  ROR R0                 ; R0 = offset - 1, C = the byte's bit 0
    005200,                  // 144  INC R0
    016767, 0177642, 000072, // 146  MOV REP1, REP2
    010367, 0177634,         // 154  MOV R3, REP1
    010003,                  // 160  MOV R0, R3
    010204,                  // 162  MOV R2, R4
    004767, 000016,          // 164  JSR PC, GAMMAC         ; R0 = length - 1, its first flag in C
    0160304,                 // 170  SUB R3, R4
    0112422,                 // 172  MOVB (R4)+, (R2)+
    000750,                  // 174  BR C1
    0106305,                 // 176  GAMMA: ASLB R5         ; the first flag
    001002,                  // 200  BNE GAMMAC
    004766, 000006,          // 202  JSR PC, 6(SP)
    012700, 000001,          // 206  GAMMAC: MOV #1, R0
    0103277,                 // 212  G1: BCC GRET           ; flag 0: done
    0106305,                 // 214  ASLB R5
    001002,                  // 216  BNE 5$
    004766, 000006,          // 220  JSR PC, 6(SP)
    006100,                  // 224  5$: ROL R0             ; value = 2 * value + bit
    0106305,                 // 226  ASLB R5
    001370,                  // 230  BNE G1
    004766, 000006,          // 232  JSR PC, 6(SP)
    000765,                  // 236  BR G1
    012705, 000000,          // 240  DONE: MOV #0, R5
    006400,                  // 244  MARK 0
    000004,                  // 246  REP2: .WORD 4          ; popped by MARK 0
};
// clang-format on

}  // namespace sokol
