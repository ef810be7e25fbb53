// The PDP-11 code carried by every Sokol image.
//
//   size     200 bytes: 32 of set-up code, 168 of decoder block
//   entry    the load address (JMP or JSR PC there); any SP that leaves 172
//            bytes of stack below it
//   exit     program mode: jumps to the start address with SP as on entry;
//            data mode: returns like RTS PC. R0..R5 destroyed either way.
//   memory   writes only the program area [load address, end) , moves the
//            stream inside [load address, end + margin) and uses the 168
//            bytes below SP (plus two words of subroutine calls) for the
//            decoder, which never lies in the program area while it writes.
//
// Set-up code, at the load address A (numbers octal, offsets from A):
//
//   The image is [set-up | stream, padded to words | block | trailer].
//   1. copy the block, last word first, below SP: SP then points at it;
//   2. move the stream up, last word first, so that it ends at
//      destinationEnd = A + program length + margin (even);
//   3. R1 = the stream's new start, R2 = A, R5 = 0 (empty bit buffer), and
//      jump into the block.
//
// Decoder block (offsets from its first word, octal). Registers: R1 stream,
// R2 output, R5 bit buffer (16 bits, a 1 marks its end), R0 counts and
// values, R3 offset, R4 copy source or repeat-offset pointer. The repeat
// offsets live in the block's first three words, addressed through SP.
#include "sokol/sokol_stub.h"

namespace sokol {

// clang-format off
const std::array<uint16_t, kSetupSize / 2> kSetupCode = {
    012703, 000000,   // 000  MOV #blockEnd, R3       ; patched: A + image length - 4
    012700, 000124,   // 004  MOV #124, R0             ; 84 block words
    014346,           // 010  MOV -(R3), -(SP)
    077002,           // 012  SOB R0, 010
    012701, 000000,   // 014  MOV #destinationEnd, R1  ; patched: A + length + margin
    012705, 000000,   // 020  MOV #words, R5           ; patched: stream words
    014341,           // 024  MOV -(R3), -(R1)
    077502,           // 026  SOB R5, 024
    012702, 000000,   // 030  MOV #A, R2               ; patched: load address
    000166, 000030,   // 034  JMP 30(SP)               ; into the block at NEXT
};

const std::array<uint16_t, kBlockSize / 2> kBlockCode = {
    000001,           // 000  .WORD 1                  ; repeat offset 0
    000002,           // 002  .WORD 2                  ; repeat offset 1
    000004,           // 004  .WORD 4                  ; repeat offset 2
    004767, 000164,   // 006  LITS:  JSR PC, GAMMA     ; R0 = literal count
    0112122,          // 012  LC:    MOVB (R1)+, (R2)+
    077002,           // 014         SOB R0, LC
    004767, 000132,   // 016         JSR PC, GETBIT
    0103405,          // 022         BCS MSEL          ; 1: not repeat offset 0
    010604,           // 024         MOV SP, R4        ; 0: repeat offset 0
    000414,           // 026         BR REPI
    004767, 000120,   // 030  NEXT:  JSR PC, GETBIT    ; after a match
    0103364,          // 034         BCC LITS          ; 0: literals
    004767, 000112,   // 036  MSEL:  JSR PC, GETBIT
    0103012,          // 042         BCC NEWM          ; 10: new offset
    010604,           // 044         MOV SP, R4
    005724,           // 046         TST (R4)+         ; R4 -> repeat offset 1
    004767, 000100,   // 050         JSR PC, GETBIT
    0103001,          // 054         BCC REPI          ; 110: repeat offset 1
    005724,           // 056         TST (R4)+         ; 111: repeat offset 2
    011403,           // 060  REPI:  MOV (R4), R3
    004767, 000110,   // 062         JSR PC, GAMMA     ; R0 = length
    000417,           // 066         BR MTF
    004767, 000102,   // 070  NEWM:  JSR PC, GAMMA     ; R0 = high part + 1
    005300,           // 074         DEC R0
    0100460,          // 076         BMI DONE          ; the end marker
    000300,           // 100         SWAB R0
    0106200,          // 102         ASRB R0           ; C = bit 8 of the high part
    0152100,          // 104         BISB (R1)+, R0    ; the offset byte
    006000,           // 106         ROR R0            ; R0 = offset - 1, C = byte bit 0
    005200,           // 110         INC R0
    010003,           // 112         MOV R0, R3
    004767, 000066,   // 114         JSR PC, GAMMAC    ; first flag in C
    005200,           // 120         INC R0            ; R0 = length
    010604,           // 122         MOV SP, R4
    022424,           // 124         CMP (R4)+, (R4)+  ; R4 -> repeat offset 2
    000402,           // 126  MTF:   BR M2             ; move (R4) to the front
    014464, 000002,   // 130  M1:    MOV -(R4), 2(R4)
    020406,           // 134  M2:    CMP R4, SP
    001374,           // 136         BNE M1
    010314,           // 140         MOV R3, (R4)
    010204,           // 142  COPY:  MOV R2, R4
    0160304,          // 144         SUB R3, R4
    0112422,          // 146  C1:    MOVB (R4)+, (R2)+
    077002,           // 150         SOB R0, C1
    000726,           // 152         BR NEXT
    006305,           // 154  GETBIT: ASL R5           ; C = next bit
    001006,           // 156         BNE GRET
    0112105,          // 160  REFILL: MOVB (R1)+, R5   ; two stream bytes, first on top
    000305,           // 162         SWAB R5
    0105005,          // 164         CLRB R5
    0152105,          // 166         BISB (R1)+, R5
    000261,           // 170         SEC
    006105,           // 172         ROL R5            ; C = top bit, marker at bit 0
    000207,           // 174  GRET:  RTS PC
    006305,           // 176  GAMMA: ASL R5            ; first flag
    001002,           // 200         BNE GAMMAC
    004767, 0177752,  // 202         JSR PC, REFILL
    012700, 000001,   // 206  GAMMAC: MOV #1, R0       ; C = first flag
    0103370,          // 212  G1:    BCC GRET          ; flag 0: done
    006305,           // 214         ASL R5
    001002,           // 216         BNE G2
    004767, 0177734,  // 220         JSR PC, REFILL
    006100,           // 224  G2:    ROL R0            ; value = 2 * value + bit
    006305,           // 226         ASL R5
    001370,           // 230         BNE G1
    004767, 0177722,  // 232         JSR PC, REFILL
    000765,           // 236         BR G1
    012705, 000000,   // 240  DONE:  MOV #start, R5    ; patched: or MOV 4(PC), R5
    006400,           // 244         MARK 0            ; patched: MARK 1 in data mode
    000000,           // 246         .WORD 0           ; popped by MARK 0
};
// clang-format on

}  // namespace sokol
