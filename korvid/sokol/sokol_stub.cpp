// The PDP-11 code carried by every Sokol image.
//
//   size     32 bytes of set-up code, and a decoder block of 96 to 232
//            bytes, one of six (sokol_format.h names them)
//   entry    the load address (JMP or JSR PC there); any SP that leaves the
//            block's size and 4 bytes of stack below it
//   exit     program mode: jumps to the start address with SP as on entry;
//            data mode: returns like RTS PC. R0..R5 destroyed either way.
//   memory   writes only the program area [load address, end), moves the
//            stream inside [load address, end + margin) and uses the block's
//            bytes below SP (plus two words of subroutine calls) for the
//            decoder, which never lies in the program area while it writes.
//
// Set-up code, at the load address A (numbers octal, offsets from A):
//
//   The image is [set-up | stream, padded to words | block | CRC], the CRC
//   being the tiny block's last word.
//   1. copy the block, last word first, below SP: SP then points at it,
//      and R3 = 0, the unset repeat offset 0;
//   2. move the stream up, last word first, so that it ends at
//      destinationEnd = A + program length + margin (even);
//   3. R1 = the stream's new start, R2 = A, R5 = 0 (no bits), and jump
//      into the block at its first literal run (for no data, at NEXT).
//
// Decoder blocks (offsets from their first word, octal). Registers: R1
// stream, R2 output, R3 repeat offset 0, R4 copy source, R0 counts and
// values, R5 the bit group: the bits not read yet on top, then a 1 that
// marks their end, zeros below. ASLB R5 gives the next bit in C, and Z once
// the marker has gone, C then being 1: the ROLB that takes in the next
// group puts that C below it as its marker. R5 starts at 0, so the first
// group carries its marker as its own lowest bit. Every block starts with
// GETBIT, the routine that reads a bit and loads the next group when none
// is left; while the block runs SP points at it, so reading a bit is one
// word, JSR PC,(SP) (JSR PC,2(SP) from inside a subroutine). The fast
// blocks read inline on their hot paths and call only to load a group: JSR
// PC,4(SP), or JSR PC,6(SP) from inside a subroutine. Repeat offsets other
// than 0 live in the block's words REP1 and REP2; a literal table, in the
// block's TABLE.
#include "sokol/sokol_stub.h"

namespace sokol {

// clang-format off
const std::array<uint16_t, kSetupSize / 2> kSetupCode = {
    012704, 000000,   // 000  MOV #blockEnd, R4       ; patched: A + offset of the block's end
    012703, 000000,   // 004  MOV #words, R3           ; patched: the block's length in words
    014446,           // 010  MOV -(R4), -(SP)
    077302,           // 012  SOB R3, 010              ; R3 = 0: repeat offset 0 not set
    012701, 000000,   // 014  MOV #destinationEnd, R1  ; patched: A + length + margin
    012705, 000000,   // 020  MOV #words, R5           ; patched: stream words
    014441,           // 024  MOV -(R4), -(R1)
    077502,           // 026  SOB R5, 024              ; R5 = 0: no bits yet
    012702, 000000,   // 030  MOV #A, R2               ; patched: load address
    000166, 000000,   // 034  JMP entry(SP)            ; patched: the block's entry
};

namespace {

// Tiny: one repeat offset (R3), bits through GETBIT.
const std::array<uint16_t, 48> kTinyBlock = {
    0106305,                 // 000  GETBIT: ASLB R5           ; SP points here: JSR PC,(SP) reads a bit into C
    001002,                  // 002  BNE GRET
    0112105,                 // 004  MOVB (R1)+, R5            ; the next group
    0106105,                 // 006  ROLB R5                   ; C = its first bit; the marker (C) below the rest
    000207,                  // 010  GRET: RTS PC
    004766, 000002,          // 012  GAMMA: JSR PC, 2(SP)      ; R0 = a gamma value; C = its first flag
    012700, 000001,          // 016  GAMMAC: MOV #1, R0        ; entered with the first flag in C
    0103372,                 // 022  G1: BCC GRET              ; flag 0: done
    004766, 000002,          // 024  JSR PC, 2(SP)
    006100,                  // 030  ROL R0                    ; value = 2 * value + bit
    004766, 000002,          // 032  JSR PC, 2(SP)
    000771,                  // 036  BR G1
    004716,                  // 040  NEXT: JSR PC, (SP)        ; after a match: 0 literals, 1 new offset
    0103415,                 // 042  BCS NEWM
    004767, 0177742,         // 044  LITS: JSR PC, GAMMA       ; entry; R0 = literal count
    0112122,                 // 050  LC: MOVB (R1)+, (R2)+
    077002,                  // 052  SOB R0, LC
    004716,                  // 054  JSR PC, (SP)              ; after literals: 0 repeat offset, 1 new offset
    0103407,                 // 056  BCS NEWM
    004767, 0177726,         // 060  JSR PC, GAMMA             ; R0 = length
    010204,                  // 064  COPY: MOV R2, R4
    0160304,                 // 066  SUB R3, R4
    0112422,                 // 070  C1: MOVB (R4)+, (R2)+
    077002,                  // 072  SOB R0, C1
    000761,                  // 074  BR NEXT
    004767, 0177710,         // 076  NEWM: JSR PC, GAMMA       ; R0 = the high part
    005300,                  // 102  DEC R0
    000300,                  // 104  SWAB R0                   ; C = 0; Z unless the high part was 257
    001010,                  // 106  BNE DONE                  ; the end marker: a high part of 257
    0152100,                 // 110  BISB (R1)+, R0            ; the offset byte
    006000,                  // 112  ROR R0                    ; R0 = offset, C = the byte's bit 0
    010003,                  // 114  MOV R0, R3
    004767, 0177674,         // 116  JSR PC, GAMMAC            ; R0 = length - 1
    000240,                  // 122  EVEN: NOP                 ; ASL R3 when offsets are even
    005200,                  // 124  INC R0
    000756,                  // 126  BR COPY
    012705, 000000,          // 130  DONE: MOV #0, R5          ; MOV #start, R5 or MOV 4(PC), R5
    006400,                  // 134  MARK 0                    ; MARK 0 or MARK 1
    000000,                  // 136  CRC: .WORD 0              ; the CRC-16 of the data; popped by MARK 0
};

// Compact: repeat offsets 0 (R3) and 1 (REP1), bits through GETBIT.
const std::array<uint16_t, 57> kCompactBlock = {
    0106305,                 // 000  GETBIT: ASLB R5           ; SP points here: JSR PC,(SP) reads a bit into C
    001002,                  // 002  BNE GRET
    0112105,                 // 004  MOVB (R1)+, R5            ; the next group
    0106105,                 // 006  ROLB R5                   ; C = its first bit; the marker (C) below the rest
    000207,                  // 010  GRET: RTS PC
    004766, 000002,          // 012  GAMMA: JSR PC, 2(SP)      ; R0 = a gamma value; C = its first flag
    012700, 000001,          // 016  GAMMAC: MOV #1, R0        ; entered with the first flag in C
    0103372,                 // 022  G1: BCC GRET              ; flag 0: done
    004766, 000002,          // 024  JSR PC, 2(SP)
    006100,                  // 030  ROL R0                    ; value = 2 * value + bit
    004766, 000002,          // 032  JSR PC, 2(SP)
    000771,                  // 036  BR G1
    004716,                  // 040  NEXT: JSR PC, (SP)        ; after a match: 0 literals, 1 a match
    0103406,                 // 042  BCS MATCH
    004767, 0177742,         // 044  LITS: JSR PC, GAMMA       ; entry; R0 = literal count
    0112122,                 // 050  LC: MOVB (R1)+, (R2)+
    077002,                  // 052  SOB R0, LC
    004716,                  // 054  JSR PC, (SP)              ; after literals: 0 repeat offset 0, 1 a match
    0103007,                 // 056  BCC REP0
    004716,                  // 060  MATCH: JSR PC, (SP)       ; 10 new offset, 11 repeat offset 1
    0103014,                 // 062  BCC NEWM
    016704, 000070,          // 064  MOV REP1, R4              ; repeat offsets 0 and 1 change places
    010367, 000064,          // 070  MOV R3, REP1
    010403,                  // 074  MOV R4, R3
    004767, 0177710,         // 076  REP0: JSR PC, GAMMA       ; R0 = length
    010204,                  // 102  COPY: MOV R2, R4
    0160304,                 // 104  SUB R3, R4
    0112422,                 // 106  C1: MOVB (R4)+, (R2)+
    077002,                  // 110  SOB R0, C1
    000752,                  // 112  BR NEXT
    004767, 0177672,         // 114  NEWM: JSR PC, GAMMA       ; R0 = the high part
    005300,                  // 120  DEC R0
    000300,                  // 122  SWAB R0                   ; C = 0; Z unless the high part was 257
    001012,                  // 124  BNE DONE                  ; the end marker: a high part of 257
    0152100,                 // 126  BISB (R1)+, R0            ; the offset byte
    006000,                  // 130  ROR R0                    ; R0 = offset, C = the byte's bit 0
    010367, 000022,          // 132  MOV R3, REP1
    010003,                  // 136  MOV R0, R3
    004767, 0177652,         // 140  JSR PC, GAMMAC            ; R0 = length - 1
    000240,                  // 144  EVEN: NOP                 ; ASL R3 when offsets are even
    005200,                  // 146  INC R0
    000754,                  // 150  BR COPY
    012705, 000000,          // 152  DONE: MOV #0, R5          ; MOV #start, R5 or MOV 4(PC), R5
    006400,                  // 156  MARK 0                    ; MARK 0 or MARK 1
    000002,                  // 160  REP1: .WORD 2             ; repeat offset 1; popped by MARK 0
};

// Compact with a literal table, whose bits it reads inline.
const std::array<uint16_t, 92> kCompactTableBlock = {
    0106305,                 // 000  GETBIT: ASLB R5           ; SP points here: JSR PC,(SP) reads a bit into C
    001002,                  // 002  BNE GRET
    0112105,                 // 004  REFILL: MOVB (R1)+, R5    ; the next group; JSR PC,4(SP) loads it
    0106105,                 // 006  ROLB R5                   ; C = its first bit; the marker (C) below the rest
    000207,                  // 010  GRET: RTS PC
    004766, 000002,          // 012  GAMMA: JSR PC, 2(SP)      ; R0 = a gamma value; C = its first flag
    012700, 000001,          // 016  GAMMAC: MOV #1, R0        ; entered with the first flag in C
    0103372,                 // 022  G1: BCC GRET              ; flag 0: done
    004766, 000002,          // 024  JSR PC, 2(SP)
    006100,                  // 030  ROL R0                    ; value = 2 * value + bit
    004766, 000002,          // 032  JSR PC, 2(SP)
    000771,                  // 036  BR G1
    004716,                  // 040  NEXT: JSR PC, (SP)        ; after a match: 0 literals, 1 a match
    0103414,                 // 042  BCS MATCH
    004767, 0177742,         // 044  LITS: JSR PC, GAMMA       ; entry; R0 = literal count
    0106305,                 // 050  LC: ASLB R5               ; 0 a byte of the stream, 1 an entry of the table
    0103004,                 // 052  BCC RAW                   ; (a 0 is never the group's marker)
    001025,                  // 054  BNE CODED
    004766, 000004,          // 056  JSR PC, 4(SP)
    0103422,                 // 062  BCS CODED
    0112122,                 // 064  RAW: MOVB (R1)+, (R2)+
    077010,                  // 066  SOB R0, LC
    004716,                  // 070  LEND: JSR PC, (SP)        ; after literals: 0 repeat offset 0, 1 a match
    0103007,                 // 072  BCC REP0
    004716,                  // 074  MATCH: JSR PC, (SP)       ; 10 new offset, 11 repeat offset 1
    0103031,                 // 076  BCC NEWM
    016704, 000162,          // 100  MOV REP1, R4              ; repeat offsets 0 and 1 change places
    010367, 000156,          // 104  MOV R3, REP1
    010403,                  // 110  MOV R4, R3
    004767, 0177674,         // 112  REP0: JSR PC, GAMMA       ; R0 = length
    010204,                  // 116  COPY: MOV R2, R4
    0160304,                 // 120  SUB R3, R4
    0112422,                 // 122  C1: MOVB (R4)+, (R2)+
    077002,                  // 124  SOB R0, C1
    000744,                  // 126  BR NEXT
    012704, 000010,          // 130  CODED: MOV #10, R4        ; the index's five bits into R4's low byte
    0106305,                 // 134  L4: ASLB R5
    001002,                  // 136  BNE L6
    004766, 000004,          // 140  JSR PC, 4(SP)
    0106104,                 // 144  L6: ROLB R4
    0103372,                 // 146  BCC L4                    ; until the marker bit falls out
    060604,                  // 150  ADD SP, R4
    0116422, 000220,         // 152  MOVB TABLE(R4), (R2)+
    077044,                  // 156  SOB R0, LC
    000743,                  // 160  BR LEND
    004767, 0177624,         // 162  NEWM: JSR PC, GAMMA       ; R0 = the high part
    005300,                  // 166  DEC R0
    000300,                  // 170  SWAB R0                   ; C = 0; Z unless the high part was 257
    001032,                  // 172  BNE DONE                  ; the end marker: a high part of 257
    0152100,                 // 174  BISB (R1)+, R0            ; the offset byte
    006000,                  // 176  ROR R0                    ; R0 = offset, C = the byte's bit 0
    010367, 000062,          // 200  MOV R3, REP1
    010003,                  // 204  MOV R0, R3
    004767, 0177604,         // 206  JSR PC, GAMMAC            ; R0 = length - 1
    000240,                  // 212  EVEN: NOP                 ; ASL R3 when offsets are even
    005200,                  // 214  INC R0
    000737,                  // 216  BR COPY
    000000, 000000, 000000, 000000, 000000, 000000, 000000, 000000, // 220  TABLE: .WORD 0, 0, 0, 0, 0, 0, 0, 0  ; the literal table: 32 bytes
    000000, 000000, 000000, 000000, 000000, 000000, 000000, 000000, // 240  .WORD 0, 0, 0, 0, 0, 0, 0, 0
    012705, 000000,          // 260  DONE: MOV #0, R5          ; MOV #start, R5 or MOV 4(PC), R5
    006400,                  // 264  MARK 0                    ; MARK 0 or MARK 1
    000002,                  // 266  REP1: .WORD 2             ; repeat offset 1; popped by MARK 0
};

// Fast: repeat offsets 0 (R3), 1 (REP1) and 2 (REP2), bits read inline on the hot paths.
const std::array<uint16_t, 80> kFastBlock = {
    0106305,                 // 000  GETBIT: ASLB R5           ; SP points here: JSR PC,(SP) reads a bit into C
    001002,                  // 002  BNE GRET
    0112105,                 // 004  REFILL: MOVB (R1)+, R5    ; JSR PC,4(SP) loads the next group
    0106105,                 // 006  ROLB R5                   ; C = its first bit; the marker (C) below the rest
    000207,                  // 010  GRET: RTS PC
    000002,                  // 012  REP1: .WORD 2             ; repeat offset 1
    0106305,                 // 014  NEXT: ASLB R5             ; after a match: 0 literals, 1 a match
    001002,                  // 016  BNE L1
    004766, 000004,          // 020  JSR PC, 4(SP)
    0103406,                 // 024  L1: BCS MATCH
    004767, 000134,          // 026  LITS: JSR PC, GAMMA       ; entry; R0 = literal count
    0112122,                 // 032  LC: MOVB (R1)+, (R2)+
    077002,                  // 034  SOB R0, LC
    004716,                  // 036  JSR PC, (SP)              ; after literals: 0 repeat offset 0, 1 a match
    0103021,                 // 040  BCC REP0
    0106305,                 // 042  MATCH: ASLB R5            ; 10 new offset
    001002,                  // 044  BNE L2
    004766, 000004,          // 046  JSR PC, 4(SP)
    0103023,                 // 052  L2: BCC NEWM
    016704, 0177732,         // 054  MOV REP1, R4
    004716,                  // 060  JSR PC, (SP)              ; 110 repeat offset 1, 111 repeat offset 2
    0103005,                 // 062  BCC RSW
    016704, 000146,          // 064  MOV REP2, R4
    016767, 0177716, 000140, // 070  MOV REP1, REP2
    010367, 0177710,         // 076  RSW: MOV R3, REP1         ; the offset used goes to the front
    010403,                  // 102  MOV R4, R3
    004767, 000056,          // 104  REP0: JSR PC, GAMMA       ; R0 = length
    010204,                  // 110  COPY: MOV R2, R4
    0160304,                 // 112  SUB R3, R4
    0112422,                 // 114  C1: MOVB (R4)+, (R2)+
    077002,                  // 116  SOB R0, C1
    000735,                  // 120  BR NEXT
    004767, 000040,          // 122  NEWM: JSR PC, GAMMA       ; R0 = the high part
    005300,                  // 126  DEC R0
    000300,                  // 130  SWAB R0                   ; C = 0; Z unless the high part was 257
    001036,                  // 132  BNE DONE                  ; the end marker: a high part of 257
    0152100,                 // 134  BISB (R1)+, R0            ; the offset byte
    006000,                  // 136  ROR R0                    ; R0 = offset, C = the byte's bit 0
    016767, 0177646, 000070, // 140  MOV REP1, REP2
    010367, 0177640,         // 146  MOV R3, REP1
    010003,                  // 152  MOV R0, R3
    004767, 000016,          // 154  JSR PC, GAMMAC            ; R0 = length - 1
    000240,                  // 160  EVEN: NOP                 ; ASL R3 when offsets are even
    005200,                  // 162  INC R0
    000751,                  // 164  BR COPY
    0106305,                 // 166  GAMMA: ASLB R5            ; R0 = a gamma value; its first flag
    001002,                  // 170  BNE GAMMAC
    004766, 000006,          // 172  JSR PC, 6(SP)
    012700, 000001,          // 176  GAMMAC: MOV #1, R0        ; entered with the first flag in C
    0103302,                 // 202  G1: BCC GRET              ; flag 0: done
    0106305,                 // 204  ASLB R5
    001002,                  // 206  BNE L5
    004766, 000006,          // 210  JSR PC, 6(SP)
    006100,                  // 214  L5: ROL R0                ; value = 2 * value + bit
    0106305,                 // 216  ASLB R5
    001370,                  // 220  BNE G1
    004766, 000006,          // 222  JSR PC, 6(SP)
    000765,                  // 226  BR G1
    012705, 000000,          // 230  DONE: MOV #0, R5          ; MOV #start, R5 or MOV 4(PC), R5
    006400,                  // 234  MARK 0                    ; MARK 0 or MARK 1
    000004,                  // 236  REP2: .WORD 4             ; repeat offset 2; popped by MARK 0
};

// Fast with a literal table.
const std::array<uint16_t, 115> kFastTableBlock = {
    0106305,                 // 000  GETBIT: ASLB R5           ; SP points here: JSR PC,(SP) reads a bit into C
    001002,                  // 002  BNE GRET
    0112105,                 // 004  REFILL: MOVB (R1)+, R5    ; JSR PC,4(SP) loads the next group
    0106105,                 // 006  ROLB R5                   ; C = its first bit; the marker (C) below the rest
    000207,                  // 010  GRET: RTS PC
    000002,                  // 012  REP1: .WORD 2             ; repeat offset 1
    0106305,                 // 014  NEXT: ASLB R5             ; after a match: 0 literals, 1 a match
    001002,                  // 016  BNE L1
    004766, 000004,          // 020  JSR PC, 4(SP)
    0103414,                 // 024  L1: BCS MATCH
    004767, 000202,          // 026  LITS: JSR PC, GAMMA       ; entry; R0 = literal count
    0106305,                 // 032  LC: ASLB R5               ; 0 a byte of the stream, 1 an entry of the table
    0103004,                 // 034  BCC RAW                   ; (a 0 is never the group's marker)
    001037,                  // 036  BNE CODED
    004766, 000004,          // 040  JSR PC, 4(SP)
    0103434,                 // 044  BCS CODED
    0112122,                 // 046  RAW: MOVB (R1)+, (R2)+
    077010,                  // 050  SOB R0, LC
    004716,                  // 052  LEND: JSR PC, (SP)        ; after literals: 0 repeat offset 0, 1 a match
    0103021,                 // 054  BCC REP0
    0106305,                 // 056  MATCH: ASLB R5            ; 10 new offset
    001002,                  // 060  BNE L2
    004766, 000004,          // 062  JSR PC, 4(SP)
    0103040,                 // 066  L2: BCC NEWM
    016704, 0177716,         // 070  MOV REP1, R4
    004716,                  // 074  JSR PC, (SP)              ; 110 repeat offset 1, 111 repeat offset 2
    0103005,                 // 076  BCC RSW
    016704, 000240,          // 100  MOV REP2, R4
    016767, 0177702, 000232, // 104  MOV REP1, REP2
    010367, 0177674,         // 112  RSW: MOV R3, REP1         ; the offset used goes to the front
    010403,                  // 116  MOV R4, R3
    004767, 000110,          // 120  REP0: JSR PC, GAMMA       ; R0 = length
    010204,                  // 124  COPY: MOV R2, R4
    0160304,                 // 126  SUB R3, R4
    0112422,                 // 130  C1: MOVB (R4)+, (R2)+
    077002,                  // 132  SOB R0, C1
    000727,                  // 134  BR NEXT
    012704, 000010,          // 136  CODED: MOV #10, R4        ; the index's five bits into R4's low byte
    0106305,                 // 142  L4: ASLB R5
    001002,                  // 144  BNE L6
    004766, 000004,          // 146  JSR PC, 4(SP)
    0106104,                 // 152  L6: ROLB R4
    0103372,                 // 154  BCC L4                    ; until the marker bit falls out
    060604,                  // 156  ADD SP, R4
    0116422, 000276,         // 160  MOVB TABLE(R4), (R2)+
    077056,                  // 164  SOB R0, LC
    000731,                  // 166  BR LEND
    004767, 000040,          // 170  NEWM: JSR PC, GAMMA       ; R0 = the high part
    005300,                  // 174  DEC R0
    000300,                  // 176  SWAB R0                   ; C = 0; Z unless the high part was 257
    001056,                  // 200  BNE DONE                  ; the end marker: a high part of 257
    0152100,                 // 202  BISB (R1)+, R0            ; the offset byte
    006000,                  // 204  ROR R0                    ; R0 = offset, C = the byte's bit 0
    016767, 0177600, 000130, // 206  MOV REP1, REP2
    010367, 0177572,         // 214  MOV R3, REP1
    010003,                  // 220  MOV R0, R3
    004767, 000016,          // 222  JSR PC, GAMMAC            ; R0 = length - 1
    000240,                  // 226  EVEN: NOP                 ; ASL R3 when offsets are even
    005200,                  // 230  INC R0
    000734,                  // 232  BR COPY
    0106305,                 // 234  GAMMA: ASLB R5            ; R0 = a gamma value; its first flag
    001002,                  // 236  BNE GAMMAC
    004766, 000006,          // 240  JSR PC, 6(SP)
    012700, 000001,          // 244  GAMMAC: MOV #1, R0        ; entered with the first flag in C
    0103257,                 // 250  G1: BCC GRET              ; flag 0: done
    0106305,                 // 252  ASLB R5
    001002,                  // 254  BNE L5
    004766, 000006,          // 256  JSR PC, 6(SP)
    006100,                  // 262  L5: ROL R0                ; value = 2 * value + bit
    0106305,                 // 264  ASLB R5
    001370,                  // 266  BNE G1
    004766, 000006,          // 270  JSR PC, 6(SP)
    000765,                  // 274  BR G1
    000000, 000000, 000000, 000000, 000000, 000000, 000000, 000000, // 276  TABLE: .WORD 0, 0, 0, 0, 0, 0, 0, 0  ; the literal table: 32 bytes
    000000, 000000, 000000, 000000, 000000, 000000, 000000, 000000, // 316  .WORD 0, 0, 0, 0, 0, 0, 0, 0
    012705, 000000,          // 336  DONE: MOV #0, R5          ; MOV #start, R5 or MOV 4(PC), R5
    006400,                  // 342  MARK 0                    ; MARK 0 or MARK 1
    000004,                  // 344  REP2: .WORD 4             ; repeat offset 2; popped by MARK 0
};

// Fast with a literal table of 16, its indices in nibbles of the stream.
const std::array<uint16_t, 116> kFastNibbleBlock = {
    0106305,                 // 000  GETBIT: ASLB R5           ; SP points here: JSR PC,(SP) reads a bit into C
    001002,                  // 002  BNE GRET
    0112105,                 // 004  REFILL: MOVB (R1)+, R5    ; JSR PC,4(SP) loads the next group
    0106105,                 // 006  ROLB R5                   ; C = its first bit; the marker (C) below the rest
    000207,                  // 010  GRET: RTS PC
    000002,                  // 012  REP1: .WORD 2             ; repeat offset 1
    0106305,                 // 014  NEXT: ASLB R5             ; after a match: 0 literals, 1 a match
    001002,                  // 016  BNE L1
    004766, 000004,          // 020  JSR PC, 4(SP)
    0103414,                 // 024  L1: BCS MATCH
    004767, 000222,          // 026  LITS: JSR PC, GAMMA       ; entry; R0 = literal count
    0106305,                 // 032  LC: ASLB R5               ; 0 a byte of the stream, 1 an entry of the table
    0103004,                 // 034  BCC RAW                   ; (a 0 is never the group's marker)
    001037,                  // 036  BNE CODED
    004766, 000004,          // 040  JSR PC, 4(SP)
    0103434,                 // 044  BCS CODED
    0112122,                 // 046  RAW: MOVB (R1)+, (R2)+
    077010,                  // 050  SOB R0, LC
    004716,                  // 052  LEND: JSR PC, (SP)        ; after literals: 0 repeat offset 0, 1 a match
    0103021,                 // 054  BCC REP0
    0106305,                 // 056  MATCH: ASLB R5            ; 10 new offset
    001002,                  // 060  BNE L2
    004766, 000004,          // 062  JSR PC, 4(SP)
    0103050,                 // 066  L2: BCC NEWM
    016704, 0177716,         // 070  MOV REP1, R4
    004716,                  // 074  JSR PC, (SP)              ; 110 repeat offset 1, 111 repeat offset 2
    0103005,                 // 076  BCC RSW
    016704, 000242,          // 100  MOV REP2, R4
    016767, 0177702, 000234, // 104  MOV REP1, REP2
    010367, 0177674,         // 112  RSW: MOV R3, REP1         ; the offset used goes to the front
    010403,                  // 116  MOV R4, R3
    004767, 000130,          // 120  REP0: JSR PC, GAMMA       ; R0 = length
    010204,                  // 124  COPY: MOV R2, R4
    0160304,                 // 126  SUB R3, R4
    0112422,                 // 130  C1: MOVB (R4)+, (R2)+
    077002,                  // 132  SOB R0, C1
    000727,                  // 134  BR NEXT
    016704, 000154,          // 136  CODED: MOV NIB, R4        ; an index byte's second index, or negative
    0100007,                 // 142  BPL PEND
    005004,                  // 144  CLR R4
    0152104,                 // 146  BISB (R1)+, R4            ; an index byte: its low nibble now, its high one next
    010467, 000142,          // 150  MOV R4, NIB
    042704, 0177760,         // 154  BIC #177760, R4
    000406,                  // 160  BR LOOK
    006204,                  // 162  PEND: ASR R4
    006204,                  // 164  ASR R4
    006204,                  // 166  ASR R4
    006204,                  // 170  ASR R4
    005167, 000120,          // 172  COM NIB                   ; none left
    060604,                  // 176  LOOK: ADD SP, R4
    0116422, 000320,         // 200  MOVB TABLE(R4), (R2)+
    077066,                  // 204  SOB R0, LC
    000721,                  // 206  BR LEND
    004767, 000040,          // 210  NEWM: JSR PC, GAMMA       ; R0 = the high part
    005300,                  // 214  DEC R0
    000300,                  // 216  SWAB R0                   ; C = 0; Z unless the high part was 257
    001047,                  // 220  BNE DONE                  ; the end marker: a high part of 257
    0152100,                 // 222  BISB (R1)+, R0            ; the offset byte
    006000,                  // 224  ROR R0                    ; R0 = offset, C = the byte's bit 0
    016767, 0177560, 000112, // 226  MOV REP1, REP2
    010367, 0177552,         // 234  MOV R3, REP1
    010003,                  // 240  MOV R0, R3
    004767, 000016,          // 242  JSR PC, GAMMAC            ; R0 = length - 1
    000240,                  // 246  EVEN: NOP                 ; ASL R3 when offsets are even
    005200,                  // 250  INC R0
    000724,                  // 252  BR COPY
    0106305,                 // 254  GAMMA: ASLB R5            ; R0 = a gamma value; its first flag
    001002,                  // 256  BNE GAMMAC
    004766, 000006,          // 260  JSR PC, 6(SP)
    012700, 000001,          // 264  GAMMAC: MOV #1, R0        ; entered with the first flag in C
    0103247,                 // 270  G1: BCC GRET              ; flag 0: done
    0106305,                 // 272  ASLB R5
    001002,                  // 274  BNE L5
    004766, 000006,          // 276  JSR PC, 6(SP)
    006100,                  // 302  L5: ROL R0                ; value = 2 * value + bit
    0106305,                 // 304  ASLB R5
    001370,                  // 306  BNE G1
    004766, 000006,          // 310  JSR PC, 6(SP)
    000765,                  // 314  BR G1
    0177777,                 // 316  NIB: .WORD -1             ; the index byte last read, or -1
    000000, 000000, 000000, 000000, 000000, 000000, 000000, 000000, // 320  TABLE: .WORD 0, 0, 0, 0, 0, 0, 0, 0  ; the literal table: 16 bytes
    012705, 000000,          // 340  DONE: MOV #0, R5          ; MOV #start, R5 or MOV 4(PC), R5
    006400,                  // 344  MARK 0                    ; MARK 0 or MARK 1
    000004,                  // 346  REP2: .WORD 4             ; repeat offset 2; popped by MARK 0
};
// clang-format on

// Bit sites: JSR PC,(SP) or JSR PC,2(SP), and the branch on a selector bit;
// a load adds MOVB and ROLB. Inline: ASLB R5 and BNE, and the branch; a
// load adds JSR PC,4(SP) (or 6(SP)), MOVB, ROLB, RTS, and the BR G1 of the
// gamma loop's flag. A literal's flag in a table block: ASLB R5 and BCC
// for a 0, and BNE for a 1; a load adds BNE (for a 0), JSR PC,4(SP), MOVB,
// ROLB, RTS and BCS.
constexpr BitSite kCalledSelector{{5, 5}, {2, 2}};
constexpr BitSite kCalledBit{{4, 4}, {2, 2}};
constexpr BitSite kInlineSelector{{3, 3}, {4, 4}};
constexpr BitSite kInlineBit{{2, 2}, {4, 4}};
constexpr BitSite kInlineGammaFlag{{2, 2}, {5, 5}};
constexpr BitSite kLiteralFlag{{2, 3}, {6, 5}};
constexpr BitSite kNone{};

// The counts below follow the listings above: gammaCall is JSR, MOV #1, the
// last BCC and RTS; gammaPair the BCC and ROL of the loop (and its BR in
// the compact blocks); a literal MOVB and SOB, or from the table MOV #10,
// five ROLB and BCC, ADD, MOVB and SOB (and BR LEND after the run's last),
// or with nibbles MOV NIB, BPL, five more for either nibble, ADD, MOVB
// and SOB; a new match DEC, SWAB, BNE, BISB, ROR, the MOVs of the repeat
// offsets, the EVEN word, INC R0 and the branches and set-up of the copy;
// the end DEC, SWAB, BNE, MOV and MARK.
constexpr DecoderTiming kTinyTiming = {
    kCalledSelector, kCalledSelector, kNone, kNone, kCalledBit, kCalledBit, kCalledBit, kNone, kNone,
    4, 3, 2, 0, 0, {3, 0, 0}, 12, 5};
constexpr DecoderTiming kCompactTiming = {
    kCalledSelector, kCalledSelector, kCalledSelector, kNone, kCalledBit, kCalledBit, kCalledBit, kNone, kNone,
    4, 3, 2, 0, 0, {3, 6, 0}, 13, 5};
constexpr DecoderTiming kCompactTableTiming = {
    kCalledSelector, kCalledSelector, kCalledSelector, kNone, kCalledBit, kCalledBit, kCalledBit, kLiteralFlag,
    kInlineBit, 4, 3, 2, 14, 1, {3, 6, 0}, 13, 5};
constexpr DecoderTiming kFastTiming = {
    kInlineSelector, kCalledSelector, kInlineSelector, kCalledSelector, kInlineBit, kInlineBit, kInlineGammaFlag,
    kNone, kNone, 4, 2, 2, 0, 0, {3, 6, 8}, 14, 5};
constexpr DecoderTiming kFastTableTiming = {
    kInlineSelector, kCalledSelector, kInlineSelector, kCalledSelector, kInlineBit, kInlineBit, kInlineGammaFlag,
    kLiteralFlag, kInlineBit, 4, 2, 2, 14, 1, {3, 6, 8}, 14, 5};

constexpr DecoderTiming kFastNibbleTiming = {
    kInlineSelector, kCalledSelector, kInlineSelector, kCalledSelector, kInlineBit, kInlineBit, kInlineGammaFlag,
    kLiteralFlag, kNone, 4, 2, 2, 10, 1, {3, 6, 8}, 14, 5};

constexpr DecoderBlock kBlocks[kDecoderCount] = {
    {kTinyBlock.data(), kTinyBlock.size() * 2, 0044, 0040, 0122, 0, true, kTinyTiming},
    {kCompactBlock.data(), kCompactBlock.size() * 2, 0044, 0040, 0144, 0, false, kCompactTiming},
    {kCompactTableBlock.data(), kCompactTableBlock.size() * 2, 0044, 0040, 0212, 0220, false, kCompactTableTiming},
    {kFastBlock.data(), kFastBlock.size() * 2, 0026, 0014, 0160, 0, false, kFastTiming},
    {kFastTableBlock.data(), kFastTableBlock.size() * 2, 0026, 0014, 0226, 0276, false, kFastTableTiming},
    {kFastNibbleBlock.data(), kFastNibbleBlock.size() * 2, 0026, 0014, 0246, 0320, false, kFastNibbleTiming},
};

}  // namespace

const DecoderBlock& BlockOf(Decoder decoder) { return kBlocks[static_cast<int>(decoder)]; }

}  // namespace sokol
