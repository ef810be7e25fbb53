// The PDP-11 code carried by every Sokol image.
//
//   size     32 bytes of set-up code, and a decoder block of 102 to 236
//            bytes (sokol_format.h names the five)
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
//   The image is [set-up | stream, padded to words | block | CRC].
//   1. copy the block, last word first, below SP: SP then points at it,
//      and R3 = 0, the unset repeat offset 0;
//   2. move the stream up, last word first, so that it ends at
//      destinationEnd = A + program length + margin (even);
//   3. R1 = the stream's new start, R2 = A, R5 = 0 (no bits), and jump
//      into the block at its first literal run.
//
// Decoder blocks (offsets from their first word, octal). Registers: R1
// stream, R2 output, R3 repeat offset 0, R4 copy source, R0 counts and
// values, R5 the bit group: the bits not read yet on top, then a 1 that
// marks their end, zeros below (ASLB R5 gives the next bit in C, and Z once
// the marker has gone). Every block starts with GETBIT, the routine that
// reads a bit and loads the next group when none is left; while the block
// runs SP points at it, so reading a bit is one word, JSR PC,(SP) (JSR
// PC,2(SP) from inside a subroutine). The fast blocks read inline on their
// hot paths and call only to load a group: JSR PC,4(SP), or JSR PC,6(SP)
// from inside a subroutine. Repeat offsets other than 0 live in the
// block's words REP1 and REP2; a literal table, in the block's TABLE.
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
const std::array<uint16_t, 49> kTinyBlock = {
    0106305,                 // 000  GETBIT: ASLB R5           ; SP points here: JSR PC,(SP) reads a bit into C
    001003,                  // 002  BNE GRET
    0112105,                 // 004  MOVB (R1)+, R5            ; the next group
    000261,                  // 006  SEC
    0106105,                 // 010  ROLB R5                   ; C = its first bit; the marker below the rest
    000207,                  // 012  GRET: RTS PC
    004766, 000002,          // 014  GAMMA: JSR PC, 2(SP)      ; R0 = a gamma value; C = its first flag
    012700, 000001,          // 020  GAMMAC: MOV #1, R0        ; entered with the first flag in C
    0103372,                 // 024  G1: BCC GRET              ; flag 0: done
    004766, 000002,          // 026  JSR PC, 2(SP)
    006100,                  // 032  ROL R0                    ; value = 2 * value + bit
    004766, 000002,          // 034  JSR PC, 2(SP)
    000771,                  // 040  BR G1
    004716,                  // 042  NEXT: JSR PC, (SP)        ; after a match: 0 literals, 1 new offset
    0103415,                 // 044  BCS NEWM
    004767, 0177742,         // 046  LITS: JSR PC, GAMMA       ; entry; R0 = literal count
    0112122,                 // 052  LC: MOVB (R1)+, (R2)+
    077002,                  // 054  SOB R0, LC
    004716,                  // 056  JSR PC, (SP)              ; after literals: 0 repeat offset, 1 new offset
    0103407,                 // 060  BCS NEWM
    004767, 0177726,         // 062  JSR PC, GAMMA             ; R0 = length
    010204,                  // 066  COPY: MOV R2, R4
    0160304,                 // 070  SUB R3, R4
    0112422,                 // 072  C1: MOVB (R4)+, (R2)+
    077002,                  // 074  SOB R0, C1
    000761,                  // 076  BR NEXT
    004767, 0177710,         // 100  NEWM: JSR PC, GAMMA       ; R0 = high part + 1
    005300,                  // 104  DEC R0
    000300,                  // 106  SWAB R0                   ; C = 0
    001010,                  // 110  BNE DONE                  ; the end marker: a high part of 256
    0152100,                 // 112  BISB (R1)+, R0            ; the offset byte
    006000,                  // 114  ROR R0                    ; R0 = offset, C = the byte's bit 0
    010003,                  // 116  MOV R0, R3
    004767, 0177674,         // 120  JSR PC, GAMMAC            ; R0 = length - 1
    000240,                  // 124  EVEN: NOP                 ; ASL R3 when offsets are even
    005200,                  // 126  INC R0
    000756,                  // 130  BR COPY
    012705, 000000,          // 132  DONE: MOV #0, R5          ; MOV #start, R5 or MOV 4(PC), R5
    006400,                  // 136  MARK 0                    ; MARK 0 or MARK 1
    000000,                  // 140  CRC: .WORD 0              ; the CRC-16 of the data; popped by MARK 0
};

// Compact: repeat offsets 0 (R3) and 1 (REP1), bits through GETBIT.
const std::array<uint16_t, 58> kCompactBlock = {
    0106305,                 // 000  GETBIT: ASLB R5           ; SP points here: JSR PC,(SP) reads a bit into C
    001003,                  // 002  BNE GRET
    0112105,                 // 004  MOVB (R1)+, R5            ; the next group
    000261,                  // 006  SEC
    0106105,                 // 010  ROLB R5                   ; C = its first bit; the marker below the rest
    000207,                  // 012  GRET: RTS PC
    004766, 000002,          // 014  GAMMA: JSR PC, 2(SP)      ; R0 = a gamma value; C = its first flag
    012700, 000001,          // 020  GAMMAC: MOV #1, R0        ; entered with the first flag in C
    0103372,                 // 024  G1: BCC GRET              ; flag 0: done
    004766, 000002,          // 026  JSR PC, 2(SP)
    006100,                  // 032  ROL R0                    ; value = 2 * value + bit
    004766, 000002,          // 034  JSR PC, 2(SP)
    000771,                  // 040  BR G1
    004716,                  // 042  NEXT: JSR PC, (SP)        ; after a match: 0 literals, 1 a match
    0103406,                 // 044  BCS MATCH
    004767, 0177742,         // 046  LITS: JSR PC, GAMMA       ; entry; R0 = literal count
    0112122,                 // 052  LC: MOVB (R1)+, (R2)+
    077002,                  // 054  SOB R0, LC
    004716,                  // 056  JSR PC, (SP)              ; after literals: 0 repeat offset 0, 1 a match
    0103007,                 // 060  BCC REP0
    004716,                  // 062  MATCH: JSR PC, (SP)       ; 10 new offset, 11 repeat offset 1
    0103014,                 // 064  BCC NEWM
    016704, 000070,          // 066  MOV REP1, R4              ; repeat offsets 0 and 1 change places
    010367, 000064,          // 072  MOV R3, REP1
    010403,                  // 076  MOV R4, R3
    004767, 0177710,         // 100  REP0: JSR PC, GAMMA       ; R0 = length
    010204,                  // 104  COPY: MOV R2, R4
    0160304,                 // 106  SUB R3, R4
    0112422,                 // 110  C1: MOVB (R4)+, (R2)+
    077002,                  // 112  SOB R0, C1
    000752,                  // 114  BR NEXT
    004767, 0177672,         // 116  NEWM: JSR PC, GAMMA       ; R0 = high part + 1
    005300,                  // 122  DEC R0
    000300,                  // 124  SWAB R0                   ; C = 0
    001012,                  // 126  BNE DONE                  ; the end marker: a high part of 256
    0152100,                 // 130  BISB (R1)+, R0            ; the offset byte
    006000,                  // 132  ROR R0                    ; R0 = offset, C = the byte's bit 0
    010367, 000022,          // 134  MOV R3, REP1
    010003,                  // 140  MOV R0, R3
    004767, 0177652,         // 142  JSR PC, GAMMAC            ; R0 = length - 1
    000240,                  // 146  EVEN: NOP                 ; ASL R3 when offsets are even
    005200,                  // 150  INC R0
    000754,                  // 152  BR COPY
    012705, 000000,          // 154  DONE: MOV #0, R5          ; MOV #start, R5 or MOV 4(PC), R5
    006400,                  // 160  MARK 0                    ; MARK 0 or MARK 1
    000002,                  // 162  REP1: .WORD 2             ; repeat offset 1; popped by MARK 0
};

// Compact with a literal table, whose bits it reads inline.
const std::array<uint16_t, 93> kCompactTableBlock = {
    0106305,                 // 000  GETBIT: ASLB R5           ; SP points here: JSR PC,(SP) reads a bit into C
    001003,                  // 002  BNE GRET
    0112105,                 // 004  REFILL: MOVB (R1)+, R5    ; the next group; JSR PC,4(SP) loads it
    000261,                  // 006  SEC
    0106105,                 // 010  ROLB R5                   ; C = its first bit; the marker below the rest
    000207,                  // 012  GRET: RTS PC
    004766, 000002,          // 014  GAMMA: JSR PC, 2(SP)      ; R0 = a gamma value; C = its first flag
    012700, 000001,          // 020  GAMMAC: MOV #1, R0        ; entered with the first flag in C
    0103372,                 // 024  G1: BCC GRET              ; flag 0: done
    004766, 000002,          // 026  JSR PC, 2(SP)
    006100,                  // 032  ROL R0                    ; value = 2 * value + bit
    004766, 000002,          // 034  JSR PC, 2(SP)
    000771,                  // 040  BR G1
    004716,                  // 042  NEXT: JSR PC, (SP)        ; after a match: 0 literals, 1 a match
    0103414,                 // 044  BCS MATCH
    004767, 0177742,         // 046  LITS: JSR PC, GAMMA       ; entry; R0 = literal count
    0106305,                 // 052  LC: ASLB R5               ; 0 a byte of the stream, 1 an entry of the table
    0103004,                 // 054  BCC RAW                   ; (a 0 is never the group's marker)
    001025,                  // 056  BNE CODED
    004766, 000004,          // 060  JSR PC, 4(SP)
    0103422,                 // 064  BCS CODED
    0112122,                 // 066  RAW: MOVB (R1)+, (R2)+
    077010,                  // 070  SOB R0, LC
    004716,                  // 072  LEND: JSR PC, (SP)        ; after literals: 0 repeat offset 0, 1 a match
    0103007,                 // 074  BCC REP0
    004716,                  // 076  MATCH: JSR PC, (SP)       ; 10 new offset, 11 repeat offset 1
    0103031,                 // 100  BCC NEWM
    016704, 000162,          // 102  MOV REP1, R4              ; repeat offsets 0 and 1 change places
    010367, 000156,          // 106  MOV R3, REP1
    010403,                  // 112  MOV R4, R3
    004767, 0177674,         // 114  REP0: JSR PC, GAMMA       ; R0 = length
    010204,                  // 120  COPY: MOV R2, R4
    0160304,                 // 122  SUB R3, R4
    0112422,                 // 124  C1: MOVB (R4)+, (R2)+
    077002,                  // 126  SOB R0, C1
    000744,                  // 130  BR NEXT
    012704, 000010,          // 132  CODED: MOV #10, R4        ; the index's five bits into R4's low byte
    0106305,                 // 136  L4: ASLB R5
    001002,                  // 140  BNE L6
    004766, 000004,          // 142  JSR PC, 4(SP)
    0106104,                 // 146  L6: ROLB R4
    0103372,                 // 150  BCC L4                    ; until the marker bit falls out
    060604,                  // 152  ADD SP, R4
    0116422, 000222,         // 154  MOVB TABLE(R4), (R2)+
    077044,                  // 160  SOB R0, LC
    000743,                  // 162  BR LEND
    004767, 0177624,         // 164  NEWM: JSR PC, GAMMA       ; R0 = high part + 1
    005300,                  // 170  DEC R0
    000300,                  // 172  SWAB R0                   ; C = 0
    001032,                  // 174  BNE DONE                  ; the end marker: a high part of 256
    0152100,                 // 176  BISB (R1)+, R0            ; the offset byte
    006000,                  // 200  ROR R0                    ; R0 = offset, C = the byte's bit 0
    010367, 000062,          // 202  MOV R3, REP1
    010003,                  // 206  MOV R0, R3
    004767, 0177604,         // 210  JSR PC, GAMMAC            ; R0 = length - 1
    000240,                  // 214  EVEN: NOP                 ; ASL R3 when offsets are even
    005200,                  // 216  INC R0
    000737,                  // 220  BR COPY
    000000, 000000, 000000, 000000, 000000, 000000, 000000, 000000, // 222  TABLE: .WORD 0, 0, 0, 0, 0, 0, 0, 0  ; the literal table: 32 bytes
    000000, 000000, 000000, 000000, 000000, 000000, 000000, 000000, // 242  .WORD 0, 0, 0, 0, 0, 0, 0, 0
    012705, 000000,          // 262  DONE: MOV #0, R5          ; MOV #start, R5 or MOV 4(PC), R5
    006400,                  // 266  MARK 0                    ; MARK 0 or MARK 1
    000002,                  // 270  REP1: .WORD 2             ; repeat offset 1; popped by MARK 0
};

// Fast: repeat offsets 0 (R3), 1 (REP1) and 2 (REP2), bits read inline on the hot paths.
const std::array<uint16_t, 81> kFastBlock = {
    0106305,                 // 000  GETBIT: ASLB R5           ; SP points here: JSR PC,(SP) reads a bit into C
    001003,                  // 002  BNE GRET
    0112105,                 // 004  REFILL: MOVB (R1)+, R5    ; JSR PC,4(SP) loads the next group
    000261,                  // 006  SEC
    0106105,                 // 010  ROLB R5                   ; C = its first bit; the marker below the rest
    000207,                  // 012  GRET: RTS PC
    000002,                  // 014  REP1: .WORD 2             ; repeat offset 1
    0106305,                 // 016  NEXT: ASLB R5             ; after a match: 0 literals, 1 a match
    001002,                  // 020  BNE L1
    004766, 000004,          // 022  JSR PC, 4(SP)
    0103406,                 // 026  L1: BCS MATCH
    004767, 000134,          // 030  LITS: JSR PC, GAMMA       ; entry; R0 = literal count
    0112122,                 // 034  LC: MOVB (R1)+, (R2)+
    077002,                  // 036  SOB R0, LC
    004716,                  // 040  JSR PC, (SP)              ; after literals: 0 repeat offset 0, 1 a match
    0103021,                 // 042  BCC REP0
    0106305,                 // 044  MATCH: ASLB R5            ; 10 new offset
    001002,                  // 046  BNE L2
    004766, 000004,          // 050  JSR PC, 4(SP)
    0103023,                 // 054  L2: BCC NEWM
    016704, 0177732,         // 056  MOV REP1, R4
    004716,                  // 062  JSR PC, (SP)              ; 110 repeat offset 1, 111 repeat offset 2
    0103005,                 // 064  BCC RSW
    016704, 000146,          // 066  MOV REP2, R4
    016767, 0177716, 000140, // 072  MOV REP1, REP2
    010367, 0177710,         // 100  RSW: MOV R3, REP1         ; the offset used goes to the front
    010403,                  // 104  MOV R4, R3
    004767, 000056,          // 106  REP0: JSR PC, GAMMA       ; R0 = length
    010204,                  // 112  COPY: MOV R2, R4
    0160304,                 // 114  SUB R3, R4
    0112422,                 // 116  C1: MOVB (R4)+, (R2)+
    077002,                  // 120  SOB R0, C1
    000735,                  // 122  BR NEXT
    004767, 000040,          // 124  NEWM: JSR PC, GAMMA       ; R0 = high part + 1
    005300,                  // 130  DEC R0
    000300,                  // 132  SWAB R0                   ; C = 0
    001036,                  // 134  BNE DONE                  ; the end marker: a high part of 256
    0152100,                 // 136  BISB (R1)+, R0            ; the offset byte
    006000,                  // 140  ROR R0                    ; R0 = offset, C = the byte's bit 0
    016767, 0177646, 000070, // 142  MOV REP1, REP2
    010367, 0177640,         // 150  MOV R3, REP1
    010003,                  // 154  MOV R0, R3
    004767, 000016,          // 156  JSR PC, GAMMAC            ; R0 = length - 1
    000240,                  // 162  EVEN: NOP                 ; ASL R3 when offsets are even
    005200,                  // 164  INC R0
    000751,                  // 166  BR COPY
    0106305,                 // 170  GAMMA: ASLB R5            ; R0 = a gamma value; its first flag
    001002,                  // 172  BNE GAMMAC
    004766, 000006,          // 174  JSR PC, 6(SP)
    012700, 000001,          // 200  GAMMAC: MOV #1, R0        ; entered with the first flag in C
    0103302,                 // 204  G1: BCC GRET              ; flag 0: done
    0106305,                 // 206  ASLB R5
    001002,                  // 210  BNE L5
    004766, 000006,          // 212  JSR PC, 6(SP)
    006100,                  // 216  L5: ROL R0                ; value = 2 * value + bit
    0106305,                 // 220  ASLB R5
    001370,                  // 222  BNE G1
    004766, 000006,          // 224  JSR PC, 6(SP)
    000765,                  // 230  BR G1
    012705, 000000,          // 232  DONE: MOV #0, R5          ; MOV #start, R5 or MOV 4(PC), R5
    006400,                  // 236  MARK 0                    ; MARK 0 or MARK 1
    000004,                  // 240  REP2: .WORD 4             ; repeat offset 2; popped by MARK 0
};

// Fast with a literal table.
const std::array<uint16_t, 116> kFastTableBlock = {
    0106305,                 // 000  GETBIT: ASLB R5           ; SP points here: JSR PC,(SP) reads a bit into C
    001003,                  // 002  BNE GRET
    0112105,                 // 004  REFILL: MOVB (R1)+, R5    ; JSR PC,4(SP) loads the next group
    000261,                  // 006  SEC
    0106105,                 // 010  ROLB R5                   ; C = its first bit; the marker below the rest
    000207,                  // 012  GRET: RTS PC
    000002,                  // 014  REP1: .WORD 2             ; repeat offset 1
    0106305,                 // 016  NEXT: ASLB R5             ; after a match: 0 literals, 1 a match
    001002,                  // 020  BNE L1
    004766, 000004,          // 022  JSR PC, 4(SP)
    0103414,                 // 026  L1: BCS MATCH
    004767, 000202,          // 030  LITS: JSR PC, GAMMA       ; entry; R0 = literal count
    0106305,                 // 034  LC: ASLB R5               ; 0 a byte of the stream, 1 an entry of the table
    0103004,                 // 036  BCC RAW                   ; (a 0 is never the group's marker)
    001037,                  // 040  BNE CODED
    004766, 000004,          // 042  JSR PC, 4(SP)
    0103434,                 // 046  BCS CODED
    0112122,                 // 050  RAW: MOVB (R1)+, (R2)+
    077010,                  // 052  SOB R0, LC
    004716,                  // 054  LEND: JSR PC, (SP)        ; after literals: 0 repeat offset 0, 1 a match
    0103021,                 // 056  BCC REP0
    0106305,                 // 060  MATCH: ASLB R5            ; 10 new offset
    001002,                  // 062  BNE L2
    004766, 000004,          // 064  JSR PC, 4(SP)
    0103040,                 // 070  L2: BCC NEWM
    016704, 0177716,         // 072  MOV REP1, R4
    004716,                  // 076  JSR PC, (SP)              ; 110 repeat offset 1, 111 repeat offset 2
    0103005,                 // 100  BCC RSW
    016704, 000240,          // 102  MOV REP2, R4
    016767, 0177702, 000232, // 106  MOV REP1, REP2
    010367, 0177674,         // 114  RSW: MOV R3, REP1         ; the offset used goes to the front
    010403,                  // 120  MOV R4, R3
    004767, 000110,          // 122  REP0: JSR PC, GAMMA       ; R0 = length
    010204,                  // 126  COPY: MOV R2, R4
    0160304,                 // 130  SUB R3, R4
    0112422,                 // 132  C1: MOVB (R4)+, (R2)+
    077002,                  // 134  SOB R0, C1
    000727,                  // 136  BR NEXT
    012704, 000010,          // 140  CODED: MOV #10, R4        ; the index's five bits into R4's low byte
    0106305,                 // 144  L4: ASLB R5
    001002,                  // 146  BNE L6
    004766, 000004,          // 150  JSR PC, 4(SP)
    0106104,                 // 154  L6: ROLB R4
    0103372,                 // 156  BCC L4                    ; until the marker bit falls out
    060604,                  // 160  ADD SP, R4
    0116422, 000300,         // 162  MOVB TABLE(R4), (R2)+
    077056,                  // 166  SOB R0, LC
    000731,                  // 170  BR LEND
    004767, 000040,          // 172  NEWM: JSR PC, GAMMA       ; R0 = high part + 1
    005300,                  // 176  DEC R0
    000300,                  // 200  SWAB R0                   ; C = 0
    001056,                  // 202  BNE DONE                  ; the end marker: a high part of 256
    0152100,                 // 204  BISB (R1)+, R0            ; the offset byte
    006000,                  // 206  ROR R0                    ; R0 = offset, C = the byte's bit 0
    016767, 0177600, 000130, // 210  MOV REP1, REP2
    010367, 0177572,         // 216  MOV R3, REP1
    010003,                  // 222  MOV R0, R3
    004767, 000016,          // 224  JSR PC, GAMMAC            ; R0 = length - 1
    000240,                  // 230  EVEN: NOP                 ; ASL R3 when offsets are even
    005200,                  // 232  INC R0
    000734,                  // 234  BR COPY
    0106305,                 // 236  GAMMA: ASLB R5            ; R0 = a gamma value; its first flag
    001002,                  // 240  BNE GAMMAC
    004766, 000006,          // 242  JSR PC, 6(SP)
    012700, 000001,          // 246  GAMMAC: MOV #1, R0        ; entered with the first flag in C
    0103257,                 // 252  G1: BCC GRET              ; flag 0: done
    0106305,                 // 254  ASLB R5
    001002,                  // 256  BNE L5
    004766, 000006,          // 260  JSR PC, 6(SP)
    006100,                  // 264  L5: ROL R0                ; value = 2 * value + bit
    0106305,                 // 266  ASLB R5
    001370,                  // 270  BNE G1
    004766, 000006,          // 272  JSR PC, 6(SP)
    000765,                  // 276  BR G1
    000000, 000000, 000000, 000000, 000000, 000000, 000000, 000000, // 300  TABLE: .WORD 0, 0, 0, 0, 0, 0, 0, 0  ; the literal table: 32 bytes
    000000, 000000, 000000, 000000, 000000, 000000, 000000, 000000, // 320  .WORD 0, 0, 0, 0, 0, 0, 0, 0
    012705, 000000,          // 340  DONE: MOV #0, R5          ; MOV #start, R5 or MOV 4(PC), R5
    006400,                  // 344  MARK 0                    ; MARK 0 or MARK 1
    000004,                  // 346  REP2: .WORD 4             ; repeat offset 2; popped by MARK 0
};

// Fast with a literal table of 16, its indices in nibbles of the stream.
const std::array<uint16_t, 117> kFastNibbleBlock = {
    0106305,                 // 000  GETBIT: ASLB R5           ; SP points here: JSR PC,(SP) reads a bit into C
    001003,                  // 002  BNE GRET
    0112105,                 // 004  REFILL: MOVB (R1)+, R5    ; JSR PC,4(SP) loads the next group
    000261,                  // 006  SEC
    0106105,                 // 010  ROLB R5                   ; C = its first bit; the marker below the rest
    000207,                  // 012  GRET: RTS PC
    000002,                  // 014  REP1: .WORD 2             ; repeat offset 1
    0106305,                 // 016  NEXT: ASLB R5             ; after a match: 0 literals, 1 a match
    001002,                  // 020  BNE L1
    004766, 000004,          // 022  JSR PC, 4(SP)
    0103414,                 // 026  L1: BCS MATCH
    004767, 000222,          // 030  LITS: JSR PC, GAMMA       ; entry; R0 = literal count
    0106305,                 // 034  LC: ASLB R5               ; 0 a byte of the stream, 1 an entry of the table
    0103004,                 // 036  BCC RAW                   ; (a 0 is never the group's marker)
    001037,                  // 040  BNE CODED
    004766, 000004,          // 042  JSR PC, 4(SP)
    0103434,                 // 046  BCS CODED
    0112122,                 // 050  RAW: MOVB (R1)+, (R2)+
    077010,                  // 052  SOB R0, LC
    004716,                  // 054  LEND: JSR PC, (SP)        ; after literals: 0 repeat offset 0, 1 a match
    0103021,                 // 056  BCC REP0
    0106305,                 // 060  MATCH: ASLB R5            ; 10 new offset
    001002,                  // 062  BNE L2
    004766, 000004,          // 064  JSR PC, 4(SP)
    0103050,                 // 070  L2: BCC NEWM
    016704, 0177716,         // 072  MOV REP1, R4
    004716,                  // 076  JSR PC, (SP)              ; 110 repeat offset 1, 111 repeat offset 2
    0103005,                 // 100  BCC RSW
    016704, 000242,          // 102  MOV REP2, R4
    016767, 0177702, 000234, // 106  MOV REP1, REP2
    010367, 0177674,         // 114  RSW: MOV R3, REP1         ; the offset used goes to the front
    010403,                  // 120  MOV R4, R3
    004767, 000130,          // 122  REP0: JSR PC, GAMMA       ; R0 = length
    010204,                  // 126  COPY: MOV R2, R4
    0160304,                 // 130  SUB R3, R4
    0112422,                 // 132  C1: MOVB (R4)+, (R2)+
    077002,                  // 134  SOB R0, C1
    000727,                  // 136  BR NEXT
    016704, 000154,          // 140  CODED: MOV NIB, R4        ; an index byte's second index, or negative
    0100007,                 // 144  BPL PEND
    005004,                  // 146  CLR R4
    0152104,                 // 150  BISB (R1)+, R4            ; an index byte: its low nibble now, its high one next
    010467, 000142,          // 152  MOV R4, NIB
    042704, 0177760,         // 156  BIC #177760, R4
    000406,                  // 162  BR LOOK
    006204,                  // 164  PEND: ASR R4
    006204,                  // 166  ASR R4
    006204,                  // 170  ASR R4
    006204,                  // 172  ASR R4
    005167, 000120,          // 174  COM NIB                   ; none left
    060604,                  // 200  LOOK: ADD SP, R4
    0116422, 000322,         // 202  MOVB TABLE(R4), (R2)+
    077066,                  // 206  SOB R0, LC
    000721,                  // 210  BR LEND
    004767, 000040,          // 212  NEWM: JSR PC, GAMMA       ; R0 = high part + 1
    005300,                  // 216  DEC R0
    000300,                  // 220  SWAB R0                   ; C = 0
    001047,                  // 222  BNE DONE                  ; the end marker: a high part of 256
    0152100,                 // 224  BISB (R1)+, R0            ; the offset byte
    006000,                  // 226  ROR R0                    ; R0 = offset, C = the byte's bit 0
    016767, 0177560, 000112, // 230  MOV REP1, REP2
    010367, 0177552,         // 236  MOV R3, REP1
    010003,                  // 242  MOV R0, R3
    004767, 000016,          // 244  JSR PC, GAMMAC            ; R0 = length - 1
    000240,                  // 250  EVEN: NOP                 ; ASL R3 when offsets are even
    005200,                  // 252  INC R0
    000724,                  // 254  BR COPY
    0106305,                 // 256  GAMMA: ASLB R5            ; R0 = a gamma value; its first flag
    001002,                  // 260  BNE GAMMAC
    004766, 000006,          // 262  JSR PC, 6(SP)
    012700, 000001,          // 266  GAMMAC: MOV #1, R0        ; entered with the first flag in C
    0103247,                 // 272  G1: BCC GRET              ; flag 0: done
    0106305,                 // 274  ASLB R5
    001002,                  // 276  BNE L5
    004766, 000006,          // 300  JSR PC, 6(SP)
    006100,                  // 304  L5: ROL R0                ; value = 2 * value + bit
    0106305,                 // 306  ASLB R5
    001370,                  // 310  BNE G1
    004766, 000006,          // 312  JSR PC, 6(SP)
    000765,                  // 316  BR G1
    0177777,                 // 320  NIB: .WORD -1             ; the index byte last read, or -1
    000000, 000000, 000000, 000000, 000000, 000000, 000000, 000000, // 322  TABLE: .WORD 0, 0, 0, 0, 0, 0, 0, 0  ; the literal table: 16 bytes
    012705, 000000,          // 342  DONE: MOV #0, R5          ; MOV #start, R5 or MOV 4(PC), R5
    006400,                  // 346  MARK 0                    ; MARK 0 or MARK 1
    000004,                  // 350  REP2: .WORD 4             ; repeat offset 2; popped by MARK 0
};
// clang-format on

// Bit sites: JSR PC,(SP) or JSR PC,2(SP), and the branch on a selector bit;
// a load adds MOVB, SEC, ROLB. Inline: ASLB R5 and BNE, and the branch; a
// load adds JSR PC,4(SP) (or 6(SP)), MOVB, SEC, ROLB, RTS, and the BR G1
// of the gamma loop's flag. A literal's flag in a table block: ASLB R5 and
// BCC for a 0, and BNE for a 1; a load adds BNE (for a 0), JSR PC,4(SP),
// MOVB, SEC, ROLB, RTS and BCS.
constexpr BitSite kCalledSelector{{5, 5}, {3, 3}};
constexpr BitSite kCalledBit{{4, 4}, {3, 3}};
constexpr BitSite kInlineSelector{{3, 3}, {5, 5}};
constexpr BitSite kInlineBit{{2, 2}, {5, 5}};
constexpr BitSite kInlineGammaFlag{{2, 2}, {6, 6}};
constexpr BitSite kLiteralFlag{{2, 3}, {7, 6}};
constexpr BitSite kNone{};

// The counts below follow the listings above: gammaCall is JSR, MOV #1, the
// last BCC and RTS; gammaPair the BCC and ROL of the loop (and its BR in
// the compact blocks); a literal MOVB and SOB, or from the table MOV #10,
// five ROLB and BCC, ADD, MOVB and SOB (and BR LEND after the run's last);
// a new match DEC, SWAB, BNE, BISB, ROR, the MOVs of the repeat offsets,
// the EVEN word, INC R0 and the branches and set-up of the copy; the end
// DEC, SWAB, BNE, MOV and MARK.
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
    {kTinyBlock.data(), kTinyBlock.size() * 2, 0046, 0042, 0124, 0, true, kTinyTiming},
    {kCompactBlock.data(), kCompactBlock.size() * 2, 0046, 0042, 0146, 0, false, kCompactTiming},
    {kCompactTableBlock.data(), kCompactTableBlock.size() * 2, 0046, 0042, 0214, 0222, false, kCompactTableTiming},
    {kFastBlock.data(), kFastBlock.size() * 2, 0030, 0016, 0162, 0, false, kFastTiming},
    {kFastTableBlock.data(), kFastTableBlock.size() * 2, 0030, 0016, 0230, 0300, false, kFastTableTiming},
    {kFastNibbleBlock.data(), kFastNibbleBlock.size() * 2, 0030, 0016, 0250, 0322, false, kFastNibbleTiming},
};

}  // namespace

const DecoderBlock& BlockOf(Decoder decoder) { return kBlocks[static_cast<int>(decoder)]; }

}  // namespace sokol
