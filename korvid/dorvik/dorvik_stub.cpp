#include "dorvik/dorvik_stub.h"

namespace dorvik {

// One row per instruction: words, offset, mnemonic; all in octal, as the
// PDP-11 is read. Branch targets are stub offsets. "*" marks a word that the
// image assembly patches.
// clang-format off
const std::array<uint16_t, kStubWords> kStub = {
    // --- long form only: leave length and checksum for the monitor ---------
    0012704, 0000000,           //    0  MOV #inputLength, R4       * word 02
    0010437, 0000266,           //   04  MOV R4, @#266
    0010437, 0000350,           //  010  MOV R4, @#350
    0012737, 0000000, 0000312,  //  014  MOV #checksum, @#312       * word 016
    // --- short form starts here: build the code table ------------------------
    0010704,                    //  022  MOV PC, R4
    0062704, 0000236,           //  024  ADD #236, R4               R4 = delta list (offset 0262)
    0010400,                    //  030  MOV R4, R0                 R0 = end of the bitmap
    0012703, 0001000,           //  032  MOV #workStart+1070, R3    * word 034 (template)
    0005001,                    //  036  CLR R1                     running value
    0012702, 0000020,           //  040  MOV #20, R2                16 bits per bitmap word
    0005740,                    //  044  TST -(R0)                  previous bitmap word
    0005043,                    //  046  CLR -(R3)                  next table entry, downward
    0006110,                    //  050  ROL (R0)                   top bit into C
    0103012,                    //  052  BCC 0100                   not a code byte
    0112405,                    //  054  MOVB (R4)+, R5
    0162705, 0000000,           //  056  SUB #oneByteBias, R5       * word 060
    0100404,                    //  062  BMI 074                    one-byte delta
    0000305,                    //  064  SWAB R5
    0152405,                    //  066  BISB (R4)+, R5
    0162705, 0000000,           //  070  SUB #twoByteBias, R5       * word 072
    0160501,                    //  074  SUB R5, R1                 running value += delta
    0010113,                    //  076  MOV R1, (R3)
    0077216,                    // 0100  SOB R2, 046
    0020327, 0000000,           // 0102  CMP R3, #workStart+70      * word 0104 (template)
    0001354,                    // 0106  BNE 040
    // --- copy the decoding loop to the work area and go there ---------------
    0012702, 0000034,           // 0110  MOV #34, R2                034 words
    0014043,                    // 0114  MOV -(R0), -(R3)           offsets 0132..0221
    0077202,                    // 0116  SOB R2, 0114
    0062700, 0000130,           // 0120  ADD #n, R0                 * word 0122 (template): R0 = image end
    0012702, 0000000,           // 0124  MOV #headerLength, R2      * word 0126
    0000113,                    // 0130  JMP (R3)                   continue at workStart
    // --- runs in the work area: put the displaced stream bytes back ---------
    0114044,                    // 0132  MOVB -(R0), -(R4)
    0077202,                    // 0134  SOB R2, 0132
    0062704, 0000000,           // 0136  ADD #2*wordCount, R4       * word 0140: R4 = end of region
    // --- decode backward ---------------------------------------------------
    0114001,                    // 0142  MOVB -(R0), R1
    0006301,                    // 0144  ASL R1
    0016101, 0000400,           // 0146  MOV table(R1), R1          * word 0150 (template)
    0001410,                    // 0152  BEQ 0174                   not a code byte: plain word
    0005301,                    // 0154  DEC R1
    0001411,                    // 0156  BEQ 0202                   value 1: run group
    0102404,                    // 0160  BVS 0172                   value 0x8000: escape
    0062701, 0000000,           // 0162  ADD #base+1, R1            * word 0164
    0010144,                    // 0166  MOV R1, -(R4)              dictionary word
    0000410,                    // 0170  BR 0212
    0005300,                    // 0172  DEC R0                     skip the escape byte
    0111044,                    // 0174  MOVB (R0), -(R4)           high byte
    0114044,                    // 0176  MOVB -(R0), -(R4)          low byte
    0000760,                    // 0200  BR 0142
    0114002,                    // 0202  MOVB -(R0), R2             count byte
    0011444,                    // 0204  MOV (R4), -(R4)
    0105302,                    // 0206  DECB R2                    count 0 gives 256 copies
    0001375,                    // 0210  BNE 0204
    0020400,                    // 0212  CMP R4, R0
    0001352,                    // 0214  BNE 0142
    // --- leave -------------------------------------------------------------
    0000207,                    // 0216  RTS PC                     * JMP n(R0) (000160) for a program
    0000000,                    // 0220  n: start address - R0      * word 0220
};
// clang-format on

}  // namespace dorvik
