// The proof runs images of every method and mode to their hand-off and
// passes them only when they give the input back: good images of every
// layout are proven, and images broken in their data, their stub, their
// exit or their entry are refused for the reason that shows.
#include "proof/proof.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "bk/autostart.h"
#include "bk/memory.h"
#include "dorvik/dorvik.h"
#include "dorvik/dorvik_stub.h"
#include "granol/granol.h"
#include "granol/granol_format.h"
#include "proof/dorvik_plan.h"
#include "proof/granol_plan.h"
#include "proof/sokol_plan.h"
#include "sokol/sokol_stub.h"
#include "support/bk_bytes.h"
#include "support/temp_dir.h"

namespace {

using proof::Proof;
using proof::Verdict;

std::string Describe(const Proof& p) {
  return "verdict " + std::to_string(static_cast<int>(p.verdict)) + " (" +
         pdp11::StopReasonName(p.trap) + "), pc " + Octal(p.pc) + ", address " + Octal(p.address) +
         ", found " + Octal(p.found) + ", expected " + Octal(p.expected);
}

struct DorvikCase {
  uint16_t load;
  Bytes data;
  dorvik::PackOptions options;
};

dorvik::PackResult PackDorvik(const DorvikCase& c) {
  const dorvik::PackResult packed = dorvik::Pack(c.data, c.load, c.options);
  EXPECT_EQ(packed.error, dorvik::PackError::None);
  return packed;
}

Proof ProveDorvik(const DorvikCase& c, const Bytes& image, const dorvik::PackResult& packed) {
  proof::DorvikEntry entry;
  entry.dataMode = c.options.dataMode;
  entry.longStub = c.options.longStub;
  entry.workStart = packed.workStart;
  return proof::ProveDorvik(image, c.data, c.load, entry);
}

Proof ProveDorvik(const DorvikCase& c) {
  const dorvik::PackResult packed = PackDorvik(c);
  return ProveDorvik(c, packed.image, packed);
}

dorvik::PackOptions Options(bool dataMode, bool longStub,
                            std::optional<uint16_t> workEnd = std::nullopt) {
  dorvik::PackOptions options;
  options.dataMode = dataMode;
  options.longStub = longStub;
  options.workEnd = workEnd;
  return options;
}

// A file below 01000 whose stack image holds `start` at its autostart word
// (0744, or the first word for files from 0744 up), then a program.
Bytes StackFile(uint16_t load, uint16_t start, Random& random) {
  Bytes data(kSystemAreaEnd - load, 0);
  const size_t autostart = load <= kAutostartWord ? kAutostartWord - load : 0;
  PutWord(data, autostart, start);
  const Bytes program = GenerateProgram(random, 1500);
  data.insert(data.end(), program.begin(), program.end());
  return data;
}

Proof ProveGranol(const Bytes& data, uint16_t load) {
  const granol::PackResult packed = granol::Pack(data, load, {u"bin"});
  EXPECT_EQ(packed.error, granol::PackError::None);
  return proof::ProveGranol(packed.image, data, load);
}

sokol::PackResult PackSokol(const Bytes& data, uint16_t load, bool dataMode,
                            std::optional<sokol::Decoder> decoder = std::nullopt) {
  sokol::PackOptions options;
  options.dataMode = dataMode;
  options.decoder = decoder;
  const sokol::PackResult packed = sokol::Pack(data, load, options);
  EXPECT_EQ(packed.error, sokol::PackError::None);
  return packed;
}

// Where the decoder block's exit lies in a Sokol image: 8 bytes before
// the block's end, which the set-up code names.
size_t SokolExit(const sokol::PackResult& packed) {
  const size_t region = packed.loadAddress < kSystemAreaEnd ? kSystemAreaEnd - packed.loadAddress : 0;
  const uint16_t blockEnd = WordAt(packed.image, region + sokol::kSetupBlockEnd);
  return region + (blockEnd - (packed.loadAddress + region)) - 8;
}

void ExpectProven(const Proof& p, const std::string& label) {
  EXPECT_TRUE(p.Proven()) << label << ": " << Describe(p);
  EXPECT_GT(p.instructions, 0u) << label;
  // Every K1801VM1 instruction takes at least 12 clocks.
  EXPECT_GE(p.cycles, 12 * p.instructions) << label;
}

TEST(Proof, DorvikImagesOfEveryModeAndLayout) {
  Random random(11);
  const Bytes program = GenerateProgram(random, 3000);
  const Bytes odd = GenerateProgram(random, 1001);
  const DorvikCase cases[] = {
      {01000, program, Options(false, false)},
      {01000, program, Options(true, false)},
      {01000, program, Options(false, true)},
      {01000, program, Options(true, true)},
      {01000, program, Options(false, false, 040000)},
      {01000, program, Options(true, true, 0)},
      {01000, odd, Options(false, false)},
      {037000, program, Options(false, false)},
      {0120000, program, Options(true, false)},
  };
  for (const DorvikCase& c : cases) {
    ExpectProven(ProveDorvik(c),
                 "load " + Octal(c.load) + ", length " + std::to_string(c.data.size()) +
                     (c.options.dataMode ? " -d" : "") + (c.options.longStub ? " -l" : "") +
                     (c.options.workEnd ? " -w " + Octal(*c.options.workEnd) : ""));
  }
}

TEST(Proof, DorvikImagesBelow01000EnterThroughTheirStackImage) {
  Random random(12);
  for (const uint16_t load : std::initializer_list<uint16_t>{0u, 0120u, 0600u, 0744u, 0760u}) {
    for (const uint16_t start : std::initializer_list<uint16_t>{0u, 02000u, 01000u}) {
      const Bytes data = StackFile(load, start, random);
      for (const bool dataMode : {false, true}) {
        ExpectProven(ProveDorvik({load, data, Options(dataMode, false)}),
                     "load " + Octal(load) + ", start " + Octal(start) + (dataMode ? " -d" : ""));
      }
    }
  }
}

TEST(Proof, GranolImagesBesideTheirData) {
  Random random(13);
  // Above the data, at 01000 and high up; odd lengths and an odd load
  // address; empty data returns at once.
  ExpectProven(ProveGranol(GenerateProgram(random, 4000), 01000), "01000");
  ExpectProven(ProveGranol(GenerateProgram(random, 777), 040001), "040001, odd length");
  ExpectProven(ProveGranol(GenerateProgram(random, 300), 0200), "below 01000");
  // No room above the data below the I/O page: the image goes below it.
  const Bytes high = Noise(010000, 5);
  ExpectProven(ProveGranol(high, 0150000), "0150000, image below");
  const Proof empty = ProveGranol({}, 01000);
  EXPECT_TRUE(empty.Proven()) << Describe(empty);
}

TEST(Proof, SokolImagesOfEveryDecoderInBothModes) {
  Random random(14);
  const Bytes program = GenerateProgram(random, 5000);
  for (const bool dataMode : {false, true}) {
    for (const uint16_t load : std::initializer_list<uint16_t>{01000u, 030000u, 0400u}) {
      for (int d = 0; d < sokol::kDecoderCount; ++d) {
        const auto decoder = static_cast<sokol::Decoder>(d);
        ExpectProven(proof::ProveSokol(PackSokol(program, load, dataMode, decoder), program, dataMode),
                     "Sokol decoder " + std::to_string(d) + " at " + Octal(load) + (dataMode ? " -d" : ""));
      }
    }
    const Bytes odd = GenerateProgram(random, 333);
    ExpectProven(proof::ProveSokol(PackSokol(odd, 02000, dataMode), odd, dataMode),
                 "Sokol odd length");
  }
}

TEST(Proof, SokolImagesBelow01000EnterThroughTheirStackImage) {
  Random random(15);
  for (const uint16_t load : std::initializer_list<uint16_t>{0u, 0120u, 0600u, 0744u, 0760u}) {
    for (const uint16_t start : std::initializer_list<uint16_t>{0u, 02000u, 01000u, 01012u}) {
      const Bytes data = StackFile(load, start, random);
      for (const bool dataMode : {false, true}) {
        ExpectProven(proof::ProveSokol(PackSokol(data, load, dataMode), data, dataMode),
                     "Sokol at " + Octal(load) + ", start " + Octal(start) + (dataMode ? " -d" : ""));
      }
    }
  }
  // The exit must jump where the autostart words said.
  const Bytes data = StackFile(0600, 02000, random);
  sokol::PackResult packed = PackSokol(data, 0600, false);
  const size_t exit = SokolExit(packed);
  ASSERT_EQ(WordAt(packed.image, exit + 2), 02000);
  PutWord(packed.image, exit + 2, 01000);
  const Proof p = proof::ProveSokol(packed, data, false);
  EXPECT_EQ(p.verdict, Verdict::WrongHandOff) << Describe(p);
  EXPECT_EQ(p.expected, 02000);
}

// Every program of the corpus, with each method: what korvid packs of
// real BK files must be proven.
TEST(Proof, CorpusImagesOfEveryMethod) {
  int files = 0;
  for (const std::string& name : BkFilesIn(BK_CORPUS_DIR)) {
    const Bytes file = ReadFileBytes(std::string(BK_CORPUS_DIR) + "/" + name);
    if (file.size() < 4) continue;
    ++files;
    const uint16_t load = static_cast<uint16_t>(WordAt(file, 0));
    const Bytes data(file.begin() + 4, file.end());
    const dorvik::PackResult dorvik = dorvik::Pack(data, load, {});
    if (dorvik.error == dorvik::PackError::None) {
      ExpectProven(ProveDorvik({load, data, {}}, dorvik.image, dorvik), "Dorvik " + name);
    }
    const granol::PackResult granol = granol::Pack(data, load, {u"bin"});
    if (granol.error == granol::PackError::None) {
      ExpectProven(proof::ProveGranol(granol.image, data, load), "Granol " + name);
    }
    const sokol::PackResult sokol = sokol::Pack(data, load, {});
    if (sokol.error == sokol::PackError::None && load >= kSystemAreaEnd) {
      ExpectProven(proof::ProveSokol(sokol, data, false), "Sokol " + name);
    }
  }
  if (files == 0) GTEST_SKIP() << "no corpus at " << BK_CORPUS_DIR;
}

// --- refusals -----------------------------------------------------------

TEST(Proof, FlippedDataByteIsFoundWhereItUnpacks) {
  Random random(21);
  // Incompressible data: Dorvik stores it as plain words, Granol as
  // literals, so one flipped bit in the middle of the image changes one
  // unpacked byte and nothing else.
  const Bytes data = Noise(2000, 7);
  const DorvikCase c{01000, data, {}};
  const dorvik::PackResult packed = PackDorvik(c);
  Bytes image = packed.image;
  image[image.size() / 2] ^= 1;
  const Proof dorvik = ProveDorvik(c, image, packed);
  EXPECT_EQ(dorvik.verdict, Verdict::DataDiffers) << Describe(dorvik);
  EXPECT_EQ(dorvik.found ^ dorvik.expected, 1) << Describe(dorvik);
  EXPECT_EQ(dorvik.expected, data[dorvik.address - 01000]);

  const granol::PackResult granol = granol::Pack(data, 01000, {u"bin"});
  Bytes granolImage = granol.image;
  granolImage[granolImage.size() / 2] ^= 1;
  const Proof p = proof::ProveGranol(granolImage, data, 01000);
  EXPECT_EQ(p.verdict, Verdict::DataDiffers) << Describe(p);
  EXPECT_NE(p.found, p.expected);
  EXPECT_EQ(p.expected, data[p.address - 01000]);
}

TEST(Proof, BrokenExitIsAWrongHandOff) {
  Random random(22);
  const Bytes program = GenerateProgram(random, 2000);
  // Dorvik: the start displacement of JMP n(R0) off by one word.
  const DorvikCase c{01000, program, {}};
  const dorvik::PackResult packed = PackDorvik(c);
  Bytes image = packed.image;
  const size_t displacement = dorvik::stub::kStartDisplacement - dorvik::kShortStubSkip;
  PutWord(image, displacement, static_cast<uint16_t>(WordAt(image, displacement) + 2));
  const Proof dorvik = ProveDorvik(c, image, packed);
  EXPECT_EQ(dorvik.verdict, Verdict::WrongHandOff) << Describe(dorvik);
  EXPECT_EQ(dorvik.address, 01002);
  EXPECT_EQ(dorvik.expected, 01000);

  // Sokol: the start address in the exit.
  const sokol::PackResult sokol = PackSokol(program, 02000, false);
  Bytes sokolImage = sokol.image;
  const size_t exit = SokolExit(sokol);
  ASSERT_EQ(WordAt(sokolImage, exit + 2), 02000);
  PutWord(sokolImage, exit + 2, 03000);
  const Proof p = proof::ProveSokol(sokolImage, program, 02000, false, sokol.margin, sokol.decoder);
  EXPECT_EQ(p.verdict, Verdict::WrongHandOff) << Describe(p);
  EXPECT_EQ(p.address, 03000);
  EXPECT_EQ(p.expected, 02000);
}

TEST(Proof, TrapsAndEndlessLoopsEndTheRun) {
  Random random(23);
  const Bytes program = GenerateProgram(random, 2000);
  const DorvikCase c{01000, program, {}};
  const dorvik::PackResult packed = PackDorvik(c);
  struct Broken {
    uint16_t word;
    Verdict verdict;
    pdp11::StopReason trap;
  };
  const Broken cases[] = {
      {0104000, Verdict::Trap, pdp11::StopReason::Emt},
      {0000000, Verdict::Trap, pdp11::StopReason::Halt},
      {0000003, Verdict::Trap, pdp11::StopReason::Bpt},
      {0075000, Verdict::Trap, pdp11::StopReason::ReservedInstruction},  // an EIS opcode
      {0000777, Verdict::StepLimit, pdp11::StopReason::None},            // BR .
  };
  for (const Broken& b : cases) {
    Bytes image = packed.image;
    PutWord(image, 0, b.word);
    const Proof p = ProveDorvik(c, image, packed);
    EXPECT_EQ(p.verdict, b.verdict) << Octal(b.word) << ": " << Describe(p);
    EXPECT_EQ(p.trap, b.trap) << Octal(b.word);
    EXPECT_EQ(p.pc, 01000) << Octal(b.word);
  }
  // MOV @#1, R0: an odd address, named.
  Bytes image = packed.image;
  PutWord(image, 0, 013700);
  PutWord(image, 2, 1);
  const Proof odd = ProveDorvik(c, image, packed);
  EXPECT_EQ(odd.verdict, Verdict::Trap) << Describe(odd);
  EXPECT_EQ(odd.trap, pdp11::StopReason::OddAddress);
  EXPECT_EQ(odd.address, 1);
}

TEST(Proof, WritesOutsideTheMethodsAreasAreRefused) {
  Random random(24);
  const Bytes data = GenerateProgram(random, 3000);
  const granol::PackResult packed = granol::Pack(data, 01000, {u"bin"});
  // The stub's first instruction only sets flags (BIT #0, @#177716); a
  // MOV #7, @#addr of the same length writes where no Granol image may: far
  // from its areas, or the first word past the image (placed above the data).
  ASSERT_EQ(WordAt(packed.image, 0), 032737);
  const auto pastImage = static_cast<uint16_t>(01000 + data.size() + packed.image.size());
  for (const uint16_t address : {uint16_t{0400}, pastImage}) {
    Bytes image = packed.image;
    PutWord(image, 0, 012737);
    PutWord(image, 2, 7);
    PutWord(image, 4, address);
    const Proof p = proof::ProveGranol(image, data, 01000);
    EXPECT_EQ(p.verdict, Verdict::StrayWrite) << Describe(p);
    EXPECT_EQ(p.address, address);
    EXPECT_EQ(p.found, 7);
  }

  // A Dorvik stub told of another work area than the one it uses.
  const DorvikCase c{01000, data, Options(false, false, 040000)};
  const dorvik::PackResult dorvik = PackDorvik(c);
  dorvik::PackResult elsewhere = dorvik;
  elsewhere.workStart = 060000;
  const Proof moved = ProveDorvik(c, dorvik.image, elsewhere);
  EXPECT_NE(moved.verdict, Verdict::Proven);
}

TEST(Proof, LongStubWordsAndRegistersAreChecked) {
  Random random(25);
  const Bytes data = GenerateProgram(random, 1200);
  const DorvikCase c{01000, data, Options(false, true)};
  const dorvik::PackResult packed = PackDorvik(c);
  Bytes image = packed.image;
  PutWord(image, dorvik::stub::kChecksum,
          static_cast<uint16_t>(WordAt(image, dorvik::stub::kChecksum) + 1));
  const Proof checksum = ProveDorvik(c, image, packed);
  EXPECT_EQ(checksum.verdict, Verdict::DataDiffers) << Describe(checksum);
  EXPECT_EQ(checksum.address, dorvik::kSystemChecksumAddress);
  EXPECT_EQ(checksum.found, checksum.expected + 1);

  // Granol must give the load address back in R0: its final MOV (SP)+, R0
  // made TST (SP)+ leaves R0 as the decoder left it.
  const granol::PackResult granol = granol::Pack(data, 01000, {u"bin"});
  Bytes granolImage = granol.image;
  constexpr size_t kPopR0 = 0356;
  ASSERT_EQ(WordAt(granolImage, kPopR0), 012600);
  PutWord(granolImage, kPopR0, 005726);
  const Proof r0 = proof::ProveGranol(granolImage, data, 01000);
  EXPECT_EQ(r0.verdict, Verdict::WrongRegister) << Describe(r0);
  EXPECT_EQ(r0.reg, 0);
  EXPECT_EQ(r0.expected, 01000);

  // Sokol's data-mode exit that marks no argument word (MARK 0 for MARK
  // 1) returns with the return address still on the stack.
  const sokol::PackResult sokol = PackSokol(data, 02000, true);
  Bytes sokolImage = sokol.image;
  const size_t mark = SokolExit(sokol) + 4;
  ASSERT_EQ(WordAt(sokolImage, mark), sokol::kExitDataMark);
  PutWord(sokolImage, mark, sokol::kExitProgramMark);
  const Proof sp = proof::ProveSokol(sokolImage, data, 02000, true, sokol.margin, sokol.decoder);
  EXPECT_NE(sp.verdict, Verdict::Proven) << Describe(sp);
}

TEST(Proof, ImagesBeyondTheModelsMemoryHaveNoRoom) {
  // Data that would unpack over the BK's registers, and a Granol image
  // that fits neither above nor below its data in the RAM.
  const Bytes data = Noise(02000, 3);
  const granol::PackResult high = granol::Pack(data, 0176000, {u"bin"});
  ASSERT_EQ(high.error, granol::PackError::None);
  EXPECT_EQ(proof::ProveGranol(high.image, data, 0176000).verdict, Verdict::NoRoom);
  const Bytes big = Noise(32000, 4);
  const granol::PackResult wide = granol::Pack(big, 02000, {u"bin"});
  ASSERT_EQ(wide.error, granol::PackError::None);
  EXPECT_EQ(proof::ProveGranol(wide.image, big, 02000).verdict, Verdict::NoRoom);
}

}  // namespace
