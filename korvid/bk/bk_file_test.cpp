// BK binary files from bytes: the header forms, block padding, truncation
// and raw files.
#include "bk/bk_file.h"

#include <gtest/gtest.h>

#include "support/bk_bytes.h"

namespace {

// One file of each shape: the words, the size, and how it must be read.
struct LayoutCase {
  const char* name;
  uint16_t loadWord;
  uint16_t lengthWord;
  size_t size;
  bool rawImage;
  BkFileForm form;
  size_t dataOffset;
  size_t dataLength;
  size_t extraBytes;
};

TEST(ParseBkFile, HeaderFormsPaddingTruncationAndRawFiles) {
  // clang-format off
  const LayoutCase cases[] = {
      {"exact header",            01000,  100,  104, false, BkFileForm::Header,         4, 100,   0},
      {"exact header, raw image", 01000,  100,  104, true,  BkFileForm::Header,         4, 100,   0},
      {"18 bytes of padding",     01000,  100,  122, false, BkFileForm::PaddedHeader,   4, 100,  18},
      {"one byte of padding",     01000,  100,  105, false, BkFileForm::PaddedHeader,   4, 100,   1},
      {"511 bytes of padding",    01000,  100,  615, false, BkFileForm::PaddedHeader,   4, 100, 511},
      {"512 bytes more: raw",     01000,  100,  616, false, BkFileForm::Raw,            0, 616,   0},
      {"empty file in a block",   0,      0,    512, false, BkFileForm::PaddedHeader,   4, 0,   508},
      {"one byte missing",        01000,  100,  103, false, BkFileForm::Truncated,      0, 0,     1},
      {"511 bytes missing",       01000,  600,   93, false, BkFileForm::Truncated,      0, 0,   511},
      {"512 bytes missing: raw",  01000,  600,   92, false, BkFileForm::Raw,            0, 92,    0},
      {"padded past 0200000",     0177000, 01001, 01200, false, BkFileForm::Raw,        0, 01200, 0},
      {"ends at 0200000, padded", 0177000, 01000, 01200, false, BkFileForm::PaddedHeader, 4, 01000, 0174},
      {"near miss of a raw image", 01000, 100,  105, true,  BkFileForm::Raw,            0, 105,   0},
      {"three bytes",             0,      0,    3,   false, BkFileForm::TooShort,       0, 0,     0},
  };
  // clang-format on
  for (const LayoutCase& c : cases) {
    Bytes bytes(c.size);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    if (c.size >= 4) {
      PutWord(bytes, 0, c.loadWord);
      PutWord(bytes, 2, c.lengthWord);
    }
    const BkFile file = ParseBkFile(bytes.data(), bytes.size(), c.rawImage);
    EXPECT_EQ(file.form, c.form) << c.name;
    const auto data = bytes.begin() + static_cast<std::ptrdiff_t>(c.dataOffset);
    EXPECT_EQ(file.data, Bytes(data, data + static_cast<std::ptrdiff_t>(c.dataLength))) << c.name;
    EXPECT_EQ(file.extraBytes, c.extraBytes) << c.name;
    if (c.form == BkFileForm::Raw) {
      EXPECT_EQ(file.loadAddress, 01000) << c.name << ": raw data loads at 01000";
    } else if (c.form != BkFileForm::TooShort) {
      EXPECT_EQ(file.loadAddress, c.loadWord) << c.name;
      EXPECT_EQ(file.lengthWord, c.lengthWord) << c.name;
    }
  }
}

// A tape dump has the size of a file padded by 18 bytes: its checksum and
// its name tell it.
TEST(ParseBkFile, ExtendedFormOnlyWithItsChecksumAndAName) {
  const Bytes data = Noise(100, 3);
  auto dump = [&](uint16_t load, const std::string& name, int checksumChange) {
    Bytes file = MakeBkFile(load, {});
    file.insert(file.end(), name.begin(), name.end());
    file.resize(4 + 16, 0);
    file.insert(file.end(), data.begin(), data.end());
    uint32_t sum = 0;
    for (const uint8_t byte : data) sum = (sum + byte) > 0xFFFF ? (sum + byte - 0xFFFF) : sum + byte;
    file.push_back(0), file.push_back(0);
    PutWord(file, file.size() - 2, static_cast<uint16_t>(sum + checksumChange));
    PutWord(file, 2, 100);
    return file;
  };
  const struct {
    const char* what;
    Bytes file;
    BkFileForm form;
    bool paddingAlsoFits;
  } cases[] = {
      {"name and checksum", dump(01000, "GAME.BIN        ", 0), BkFileForm::ExtendedHeader, true},
      {"name with zeros, KOI-8", dump(01000, "\xE9\xC7\xD2\xC1", 0), BkFileForm::ExtendedHeader, true},
      {"no padded reading", dump(0177700, "GAME", 0), BkFileForm::ExtendedHeader, false},
      {"wrong checksum", dump(01000, "GAME.BIN        ", 1), BkFileForm::PaddedHeader, false},
      {"empty name", dump(01000, "", 0), BkFileForm::PaddedHeader, false},
      {"control code in the name", dump(01000, "GA\x01ME", 0), BkFileForm::PaddedHeader, false},
      {"zero inside the name", dump(01000, std::string("GA\0ME", 5), 0), BkFileForm::PaddedHeader, false},
  };
  for (const auto& c : cases) {
    const BkFile file = ParseBkFile(c.file.data(), c.file.size(), false);
    EXPECT_EQ(file.form, c.form) << c.what;
    EXPECT_EQ(file.paddingAlsoFits, c.paddingAlsoFits) << c.what;
    const size_t offset = c.form == BkFileForm::ExtendedHeader ? 20 : 4;
    EXPECT_EQ(file.data, Bytes(c.file.begin() + offset, c.file.begin() + offset + 100)) << c.what;
  }
}

TEST(ParseBkFile, HeaderOfAFileIsItsTwoWords) {
  const auto header = BkFileHeader(01234, 0177777);
  EXPECT_EQ(Bytes(header.begin(), header.end()), (Bytes{0234, 02, 0377, 0377}));
  const Bytes file = MakeBkFile(040000, {1, 2, 3});
  const BkFile parsed = ParseBkFile(file.data(), file.size(), false);
  EXPECT_EQ(parsed.form, BkFileForm::Header);
  EXPECT_EQ(parsed.loadAddress, 040000);
  EXPECT_EQ(parsed.data, (Bytes{1, 2, 3}));
}

}  // namespace
