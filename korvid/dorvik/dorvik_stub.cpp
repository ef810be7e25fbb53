#include "dorvik/dorvik_stub.h"

// One row per instruction: offset, words (octal), mnemonic. Branch targets
// are stub offsets. "*" marks a word that the image assembly patches.
const std::array<uint16_t, kDorvikStubWords> DorvikStub = {
    // --- long form only: leave length and checksum for the monitor ---------
    0012704, 0000000,           //   0  MOV #inputLength, R4        * word 2
    0010437, 0000266,           //   4  MOV R4, @#266
    0010437, 0000350,           //   8  MOV R4, @#350
    0012737, 0000000, 0000312,  //  12  MOV #checksum, @#312        * word 14
    // --- short form starts here: build the code table ------------------------
    0010704,                    //  18  MOV PC, R4
    0062704, 0000236,           //  20  ADD #236, R4                R4 = delta list (offset 178)
    0010400,                    //  24  MOV R4, R0                  R0 = end of the bitmap
    0012703, 0001000,           //  26  MOV #workStart+568, R3      * word 28 (template)
    0005001,                    //  30  CLR R1                      running value
    0012702, 0000020,           //  32  MOV #20, R2                 16 bits per bitmap word
    0005740,                    //  36  TST -(R0)                   previous bitmap word
    0005043,                    //  38  CLR -(R3)                   next table entry, downward
    0006110,                    //  40  ROL (R0)                    top bit into C
    0103012,                    //  42  BCC 64                      not a code byte
    0112405,                    //  44  MOVB (R4)+, R5
    0162705, 0000000,           //  46  SUB #oneByteBias, R5        * word 48
    0100404,                    //  50  BMI 60                      one-byte delta
    0000305,                    //  52  SWAB R5
    0152405,                    //  54  BISB (R4)+, R5
    0162705, 0000000,           //  56  SUB #twoByteBias, R5        * word 58
    0160501,                    //  60  SUB R5, R1                  running value += delta
    0010113,                    //  62  MOV R1, (R3)
    0077216,                    //  64  SOB R2, 38
    0020327, 0000000,           //  66  CMP R3, #workStart+56       * word 68 (template)
    0001354,                    //  70  BNE 32
    // --- copy the decoding loop to the work area and go there ---------------
    0012702, 0000034,           //  72  MOV #34, R2                 28 words
    0014043,                    //  76  MOV -(R0), -(R3)            offsets 90..145
    0077202,                    //  78  SOB R2, 76
    0062700, 0000130,           //  80  ADD #n, R0                  * word 82 (template): R0 = image end
    0012702, 0000000,           //  84  MOV #headerLength, R2       * word 86
    0000113,                    //  88  JMP (R3)                    continue at workStart
    // --- runs in the work area: put the displaced stream bytes back ---------
    0114044,                    //  90  MOVB -(R0), -(R4)
    0077202,                    //  92  SOB R2, 90
    0062704, 0000000,           //  94  ADD #2*wordCount, R4        * word 96: R4 = end of region
    // --- decode backward ---------------------------------------------------
    0114001,                    //  98  MOVB -(R0), R1
    0006301,                    // 100  ASL R1
    0016101, 0000400,           // 102  MOV table(R1), R1           * word 104 (template)
    0001410,                    // 106  BEQ 124                     not a code byte: plain word
    0005301,                    // 108  DEC R1
    0001411,                    // 110  BEQ 130                     value 1: run group
    0102404,                    // 112  BVS 122                     value 0x8000: escape
    0062701, 0000000,           // 114  ADD #base+1, R1             * word 116
    0010144,                    // 118  MOV R1, -(R4)               dictionary word
    0000410,                    // 120  BR 138
    0005300,                    // 122  DEC R0                      skip the escape byte
    0111044,                    // 124  MOVB (R0), -(R4)            high byte
    0114044,                    // 126  MOVB -(R0), -(R4)           low byte
    0000760,                    // 128  BR 98
    0114002,                    // 130  MOVB -(R0), R2              count byte
    0011444,                    // 132  MOV (R4), -(R4)
    0105302,                    // 134  DECB R2                     count 0 gives 256 copies
    0001375,                    // 136  BNE 132
    0020400,                    // 138  CMP R4, R0
    0001352,                    // 140  BNE 98
    // --- leave -------------------------------------------------------------
    0000207,                    // 142  RTS PC                      * JMP n(R0) (000160) for a program
    0000000,                    // 144  n: start address - R0       * word 144
};
