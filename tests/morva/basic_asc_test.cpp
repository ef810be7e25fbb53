// BASIC ASC file sets end to end: the header and part files written, and
// sets read back, including damaged ones.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/morva_run.h"
#include "support/temp_dir.h"
#include "support/text_bytes.h"

namespace {

constexpr uint16_t kAscAddress = 036756;
const Bytes kHeader = {0xEE, 0x3D, 0x02, 0x00, 0x00, 0x00};

Bytes Part(const Bytes& text) {
  Bytes data = text;
  data.resize(256, ' ');
  return MakeBkFile(kAscAddress, data);
}

TEST(MorvaBasicAscWriteTest, EmptyInputGivesHeaderAndOneEndPart) {
  TempDir dir;
  WriteFileBytes(dir / "e.edp", {});
  const RunResult run = RunMorva(dir.path(), {"-ie", "-ob", "e.edp"});
  EXPECT_EQ(run.out, Announce("Edasp", "Basic ASC") + "e.edp -> e     .ASC.bin\n" + Done(1));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(ListDirectory(dir.path()),
            (std::vector<std::string>{"e     .ASC #000.bin", "e     .ASC.bin", "e.edp"}));
  EXPECT_EQ(ReadFileBytes(dir / "e     .ASC.bin"), kHeader);
  EXPECT_EQ(ReadFileBytes(dir / "e     .ASC #000.bin"), Part({0x1A}));
}

TEST(MorvaBasicAscWriteTest, ExactlyOnePartOfTextThenAnEndPart) {
  TempDir dir;
  const Bytes text(256, 'A');
  WriteFileBytes(dir / "full.edp", text);
  RunMorva(dir.path(), {"-ie", "-ob", "full.edp"});
  EXPECT_EQ(ReadFileBytes(dir / "full  .ASC #000.bin"), MakeBkFile(kAscAddress, text));
  EXPECT_EQ(ReadFileBytes(dir / "full  .ASC #001.bin"), Part({0x1A}));
  EXPECT_FALSE(FileExists(dir / "full  .ASC #002.bin"));
}

TEST(MorvaBasicAscWriteTest, TabsCarriageReturnsAndNames) {
  TempDir dir;
  mkdir((dir / "sub").c_str(), 0700);
  WriteFileBytes(dir / "ab.txt", AsBytes("10\tA\r\n20 B\t\r\n"));
  WriteFileBytes(dir / "program.txt", AsBytes("1"));
  WriteFileBytes(dir / "программа.txt", AsBytes("2"));
  WriteFileBytes(dir / "sub/x.y.txt", AsBytes("3"));
  WriteFileBytes(dir / ".hidden.bas", AsBytes("4"));  // named by its visible part
  const RunResult run = RunMorva(dir.path(), {"-iw", "-ob", "ab.txt", "program.txt",
                                              "программа.txt", "sub/x.y.txt", ".hidden.bas"});
  EXPECT_NE(run.out.find(".hidden.bas -> hidden.ASC.bin\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(Done(5)), std::string::npos) << run.out;
  EXPECT_EQ(ReadFileBytes(dir / "hidden.ASC #000.bin"), Part(AsBytes("4\x1A")));
  EXPECT_EQ(ReadFileBytes(dir / "ab    .ASC.bin"), kHeader);
  EXPECT_EQ(ReadFileBytes(dir / "ab    .ASC #000.bin"),
            Part(AsBytes("10  A\n20 B    \n\x1A")));  // PC tab width 4
  EXPECT_EQ(ReadFileBytes(dir / "progra.ASC #000.bin"), Part(AsBytes("1\x1A")));
  EXPECT_EQ(ReadFileBytes(dir / "програ.ASC #000.bin"), Part(AsBytes("2\x1A")));
  EXPECT_EQ(ReadFileBytes(dir / "sub/x     .ASC #000.bin"), Part(AsBytes("3\x1A")));
  EXPECT_TRUE(FileExists(dir / "sub/x     .ASC.bin"));
  // The BK tab width 8 applies to BK input, and -t to any input.
  WriteFileBytes(dir / "t.edp", AsBytes("a\tb\n12345678\tc"));
  RunMorva(dir.path(), {"-ie", "-ob", "t.edp"});
  EXPECT_EQ(ReadFileBytes(dir / "t     .ASC #000.bin"),
            Part(AsBytes("a       b\n12345678        c\x1A")));
  RunMorva(dir.path(), {"-ie", "-ob", "-t3", "t.edp"});
  EXPECT_EQ(ReadFileBytes(dir / "t     .ASC #000.bin"),
            Part(AsBytes("a  b\n12345678 c\x1A")));
}

// A set has at most 999 parts, #000 to #998: the part names would change
// form at #1000, and no BK holds a listing that long. The longest text is
// written and read back; one character more is refused, nothing written.
TEST(MorvaBasicAscRoundTripTest, UpTo999PartsWrittenAndReadBack) {
  TempDir dir;
  std::u16string listing;
  for (int line = 10; listing.size() < 999 * 256; line += 10) {
    listing += FromUtf8(std::to_string(line) + " PRINT \"Строка " + std::to_string(line) + "\"\n");
  }
  listing.resize(999 * 256 - 1);  // with the end byte, 999 full parts
  WriteFileBytes(dir / "big.txt", Utf8File(listing, false, true));
  RunResult run = RunMorva(dir.path(), {"-iu", "-ob", "big.txt"});
  EXPECT_NE(run.out.find("big.txt -> big   .ASC.bin\n"), std::string::npos) << run.out;
  EXPECT_TRUE(FileExists(dir / "big   .ASC #998.bin"));
  EXPECT_FALSE(FileExists(dir / "big   .ASC #999.bin"));
  EXPECT_EQ(ReadFileBytes(dir / "big   .ASC #000.bin").size(), 260u);

  run = RunMorva(dir.path(), {"-ib", "-o8", "big   .ASC.bin"});
  EXPECT_EQ(run.out, Announce("Basic ASC", "Unicode UTF-8") +
                         "big   .ASC.bin -> big   .ASC.txt\n" + Done(1));
  EXPECT_EQ(ReadFileBytes(dir / "big   .ASC.txt"), Utf8File(listing));

  TempDir over;
  WriteFileBytes(over / "long.txt", Utf8File(listing + u"!", false, true));
  run = RunMorva(over.path(), {"-iu", "-ob", "long.txt"});
  EXPECT_EQ(run.out, Announce("Unicode UTF-16LE", "Basic ASC") + "long.txt -> long  .ASC.bin\n" +
                         EncodingReport("Unicode UTF-8", "Unicode UTF-8") +
                         "Ошибка! long.txt не преобразован: набор Basic ASC вмещает не больше 999 "
                         "частей по 256 байт, набор не записан.\n" + Done(0, 1));
  EXPECT_EQ(run.exitStatus, kMorvaFailed);
  EXPECT_EQ(ListDirectory(over.path()), std::vector<std::string>{"long.txt"});
}

// A set written by hand, read back to UTF-16.
std::string ReadSet(TempDir& dir, const std::string& header, Bytes* text) {
  const RunResult run = RunMorva(dir.path(), {"-ib", "-ou", header});
  const std::string output = header.substr(0, header.rfind('.')) + ".txt";
  *text = ReadFileBytes(dir / output);
  return run.out;
}

TEST(MorvaBasicAscReadTest, TextEndsAtTheEndByte) {
  TempDir dir;
  WriteFileBytes(dir / "p     .ASC.bin", kHeader);
  WriteFileBytes(dir / "p     .ASC #000.bin", Part(AsBytes("10 REM\n\x1A" "20 JUNK\n")));
  WriteFileBytes(dir / "p     .ASC #001.bin", Part(AsBytes("30 NEVER\n")));
  Bytes text;
  EXPECT_EQ(ReadSet(dir, "p     .ASC.bin", &text),
            Announce("Basic ASC", "Unicode UTF-16LE") + "p     .ASC.bin -> p     .ASC.txt\n" +
                Done(1));
  EXPECT_EQ(text, Utf16File(u"10 REM\n"));
  const RunResult edasp = RunMorva(dir.path(), {"-ib", "-oe", "p     .ASC.bin"});
  EXPECT_EQ(edasp.out, Announce("Basic ASC", "Edasp") + "p     .ASC.bin -> p     .ASC.edp\n" +
                           Done(1));
  EXPECT_EQ(edasp.exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(dir / "p     .ASC.edp"), AsBytes("10 REM\n"));

  // A last part that ends with its end byte before its 256 bytes is sound.
  WriteFileBytes(dir / "q.ASC.bin", kHeader);
  WriteFileBytes(dir / "q.ASC #000.bin", MakeBkFile(kAscAddress, Bytes(256, 'Q')));
  Bytes last = MakeBkFile(kAscAddress, Bytes(256, 'S'));
  last.resize(4 + 10);
  last.push_back(0x1A);
  WriteFileBytes(dir / "q.ASC #001.bin", last);
  ReadSet(dir, "q.ASC.bin", &text);
  EXPECT_EQ(text, Utf16File(std::u16string(256, u'Q') + std::u16string(10, u'S')));
}

// A set that stops before its end byte would give a cut-off listing that
// looks complete: it is an error that names the part, and nothing is written.
TEST(MorvaBasicAscReadTest, MissingShortOrDamagedPartIsAnError) {
  TempDir dir;
  WriteFileBytes(dir / "q.ASC.bin", kHeader);
  WriteFileBytes(dir / "q.ASC #000.bin", MakeBkFile(kAscAddress, Bytes(256, 'Q')));
  WriteFileBytes(dir / "q.txt", AsBytes("older text"));
  Bytes shortPart = MakeBkFile(kAscAddress, Bytes(256, 'S'));
  shortPart.resize(4 + 10);  // the length word still says 256
  const std::pair<Bytes, std::string> cases[] = {
      {{}, "Ошибка! q.ASC #001.bin не найден, набор файлов неполон.\n"},
      {shortPart, "Ошибка! q.ASC #001.bin короче 256 байт, набор файлов неполон.\n"},
      {MakeBkFile(0, Bytes(256, 'R')),
       "Ошибка! q.ASC #001.bin повреждён, это не часть набора Basic ASC.\n"},
  };
  for (const auto& [part, message] : cases) {
    unlink((dir / "q.ASC #001.bin").c_str());
    if (!part.empty()) WriteFileBytes(dir / "q.ASC #001.bin", part);
    for (const char* mode : {"-ou", "-oe", "-ok"}) {
      const RunResult run = RunMorva(dir.path(), {"-ib", mode, "q.ASC.bin"});
      const std::string out = run.out.substr(run.out.find('\n') + 1);
      EXPECT_EQ(out.substr(out.find('\n') + 1), message + Done(0, 1)) << mode;
      EXPECT_EQ(run.exitStatus, 1) << mode;
    }
    EXPECT_EQ(ReadFileBytes(dir / "q.txt"), AsBytes("older text"));
    EXPECT_FALSE(FileExists(dir / "q.edp"));
    EXPECT_EQ(ListDirectory(dir.path()).size(), part.empty() ? 3u : 4u);
  }
  // A part that is no regular file could hang the run: refused as well.
  unlink((dir / "q.ASC #001.bin").c_str());
  ASSERT_EQ(mkfifo((dir / "q.ASC #001.bin").c_str(), 0600), 0);
  const RunResult run = RunMorva(dir.path(), {"-ib", "-ou", "q.ASC.bin"});
  EXPECT_NE(run.out.find("Ошибка! q.ASC #001.bin не является обычным файлом.\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_FALSE(run.timedOut);
}

TEST(MorvaBasicAscReadTest, BadHeadersDoNotOpen) {
  const std::pair<const char*, Bytes> headers[] = {
      {"short", {0xEE, 0x3D, 0x02, 0x00, 0x00}},
      {"long", {0xEE, 0x3D, 0x02, 0x00, 0x00, 0x00, 0x00}},
      {"address", {0xEF, 0x3D, 0x02, 0x00, 0x00, 0x00}},
      {"length", {0xEE, 0x3D, 0x04, 0x00, 0x00, 0x00}},
      {"data", {0xEE, 0x3D, 0x02, 0x00, 0x01, 0x00}},
  };
  for (const auto& [name, header] : headers) {
    TempDir dir;
    WriteFileBytes(dir / "h.ASC.bin", header);
    WriteFileBytes(dir / "h.ASC #000.bin", Part(AsBytes("10 END\n\x1A")));
    Bytes text;
    EXPECT_EQ(ReadSet(dir, "h.ASC.bin", &text),
              Announce("Basic ASC", "Unicode UTF-16LE") + "h.ASC.bin -> h.ASC.txt\n" +
                  "Ошибка! h.ASC.bin не открывается.\n" + Done(0, 1))
        << name;
    EXPECT_FALSE(FileExists(dir / "h.ASC.txt")) << name;
  }
  TempDir dir;
  Bytes text;
  // Part 000 missing, or with a wrong header: the message names the part.
  WriteFileBytes(dir / "m.ASC.bin", kHeader);
  EXPECT_NE(ReadSet(dir, "m.ASC.bin", &text)
                .find("Ошибка! m.ASC #000.bin не найден, набор файлов неполон.\n"),
            std::string::npos);
  WriteFileBytes(dir / "m.ASC #000.bin", MakeBkFile(kAscAddress, Bytes(255, 'x')));
  EXPECT_NE(ReadSet(dir, "m.ASC.bin", &text)
                .find("Ошибка! m.ASC #000.bin повреждён, это не часть набора Basic ASC.\n"),
            std::string::npos);
  EXPECT_FALSE(FileExists(dir / "m.ASC.txt"));
  // A header whose name does not end in ".bin" leaves no way to its parts.
  WriteFileBytes(dir / "n.ASC", kHeader);
  WriteFileBytes(dir / "n.ASC #000.bin", Part(AsBytes("10 END\n\x1A")));
  EXPECT_NE(ReadSet(dir, "n.ASC", &text).find("Ошибка! n.ASC не открывается.\n"),
            std::string::npos);
  WriteFileBytes(dir / "nodot", kHeader);
  EXPECT_NE(ReadSet(dir, "nodot", &text).find("Ошибка! nodot не открывается.\n"),
            std::string::npos);
}

TEST(MorvaBasicAscWriteTest, PartThatCannotBeCreatedRemovesTheSet) {
  TempDir dir;
  WriteFileBytes(dir / "long.txt", Bytes(600, 'L'));
  mkdir((dir / "long  .ASC #001.bin").c_str(), 0700);  // blocks part 001
  const RunResult run = RunMorva(dir.path(), {"-iw", "-ob", "long.txt"});
  EXPECT_NE(run.out.find("long.txt -> long  .ASC.bin\n"), std::string::npos);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.out.find("Ошибка! long  .ASC #001.bin не записывается, неполный набор файлов "
                         "удалён.\n" + Done(0, 1)),
            std::string::npos)
      << run.out;
  EXPECT_EQ(ListDirectory(dir.path()),
            (std::vector<std::string>{"long  .ASC #001.bin", "long.txt"}));
}

TEST(MorvaBasicAscWriteTest, NewSetRemovesThePartsOfAnOlderLongerSet) {
  TempDir dir;
  WriteFileBytes(dir / "prog  .ASC.bin", kHeader);
  for (int part = 0; part < 5; ++part) {
    WriteFileBytes(dir / ("prog  .ASC #00" + std::to_string(part) + ".bin"), Part({'O'}));
  }
  WriteFileBytes(dir / "prog  .ASC #0005.bin", {'k'});  // no part name: not ours to remove
  WriteFileBytes(dir / "prog.bas", AsBytes("10 END\n"));
  const RunResult run = RunMorva(dir.path(), {"-iw", "-ob", "prog.bas"});
  EXPECT_EQ(run.out, Announce("Windows 1251", "Basic ASC") + "prog.bas -> prog  .ASC.bin\n" +
                         EncodingReport("OEM CP-866", "Windows 1251") + Done(1));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(ListDirectory(dir.path()),
            (std::vector<std::string>{"prog  .ASC #000.bin", "prog  .ASC #0005.bin",
                                      "prog  .ASC.bin", "prog.bas"}));
  EXPECT_EQ(ReadFileBytes(dir / "prog  .ASC #000.bin"), Part(AsBytes("10 END\n\x1A")));
}

TEST(MorvaBasicAscWriteTest, SetThatCannotBeCompletedLeavesTheOlderSet) {
  TempDir dir;
  const Bytes oldPart = Part(AsBytes("10 OLD\n\x1A"));
  WriteFileBytes(dir / "long  .ASC.bin", kHeader);
  WriteFileBytes(dir / "long  .ASC #000.bin", oldPart);
  mkdir((dir / "long  .ASC #002.bin").c_str(), 0700);  // blocks part 002
  WriteFileBytes(dir / "long.txt", Bytes(600, 'L'));
  const RunResult run = RunMorva(dir.path(), {"-iw", "-ob", "long.txt"});
  EXPECT_NE(run.out.find("Ошибка! long  .ASC #002.bin не записывается, неполный набор файлов "
                         "удалён.\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ReadFileBytes(dir / "long  .ASC #000.bin"), oldPart);
  EXPECT_EQ(ReadFileBytes(dir / "long  .ASC.bin"), kHeader);
  EXPECT_EQ(ListDirectory(dir.path()),
            (std::vector<std::string>{"long  .ASC #000.bin", "long  .ASC #002.bin",
                                      "long  .ASC.bin", "long.txt"}));
}

TEST(MorvaBasicAscWriteTest, InputIsNeverOverwrittenBySetFiles) {
  TempDir dir;
  // A text named like the header of the set that its conversion would write.
  WriteFileBytes(dir / "x     .ASC.bin", AsBytes("10 PRINT\n"));
  const RunResult run = RunMorva(dir.path(), {"-iw", "-ob", "x     .ASC.bin"});
  EXPECT_EQ(run.out,
            Announce("Windows 1251", "Basic ASC") +
                "Ошибка! x     .ASC.bin не преобразован: x     .ASC.bin - входной файл, он "
                "не будет перезаписан.\n" +
                Done(0, 1));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ReadFileBytes(dir / "x     .ASC.bin"), AsBytes("10 PRINT\n"));
}

TEST(MorvaBasicAscWriteTest, EndCodeInsideTheTextIsStoredRaw) {
  TempDir dir;
  WriteFileBytes(dir / "z.edp", {'1', 0x1A, '2'});
  RunMorva(dir.path(), {"-ie", "-ob", "z.edp"});
  EXPECT_EQ(ReadFileBytes(dir / "z     .ASC #000.bin"), Part({'1', 0x1A, '2', 0x1A}));
  Bytes text;
  ReadSet(dir, "z     .ASC.bin", &text);
  EXPECT_EQ(text, Utf16File(u"1"));
}

}  // namespace
