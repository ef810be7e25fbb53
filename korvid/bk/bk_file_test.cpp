// BK binary files from bytes: the header forms, block padding, truncation
// and raw files.
#include "bk/bk_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

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
  // A tape dump's name field, followed by the data's checksum at the end;
  // nullptr for none.
  const char* tapeName = nullptr;
};

TEST(ParseBkFile, HeaderFormsPaddingTruncationAndRawFiles) {
  // clang-format off
  const LayoutCase cases[] = {
      {"exact header",            01000,  100,  104, false, BkFileForm::Header,         4, 100,   0},
      {"exact header, raw image", 01000,  100,  104, true,  BkFileForm::Header,         4, 100,   0},
      {"18 bytes of padding",     01000,  100,  122, false, BkFileForm::PaddedHeader,   4, 100,  18},
      {"tape dump",               01000,  100,  122, false, BkFileForm::ExtendedHeader, 20, 100,  0, "GAME.BIN    \xE9\xE7"},
      {"dump, zeros after a name", 01000, 100,  122, false, BkFileForm::ExtendedHeader, 20, 100,  0, "A"},
      {"checksum, no name",       01000,  100,  122, false, BkFileForm::PaddedHeader,   4, 100,  18, ""},
      {"checksum, control code",  01000,  100,  122, false, BkFileForm::PaddedHeader,   4, 100,  18, "GAME\x01"},
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
    if (c.tapeName != nullptr) {
      std::fill(bytes.begin() + 4, bytes.begin() + 20, 0);
      std::copy(c.tapeName, c.tapeName + std::strlen(c.tapeName), bytes.begin() + 4);
      uint32_t sum = 0;  // of the data, each carry past 16 bits added back in
      for (size_t i = 20; i < 20u + c.lengthWord; ++i) sum = (sum + bytes[i]) % 0xFFFF;
      PutWord(bytes, c.size - 2, static_cast<uint16_t>(sum));
    }
    const BkFile file = ParseBkFile(bytes, c.rawImage);
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

TEST(ParseBkFile, HeaderOfAFileIsItsTwoWords) {
  const auto header = BkFileHeader(01234, 0177777);
  EXPECT_EQ(Bytes(header.begin(), header.end()), (Bytes{0234, 02, 0377, 0377}));
  const Bytes file = MakeBkFile(040000, {1, 2, 3});
  const BkFile parsed = ParseBkFile(file, false);
  EXPECT_EQ(parsed.form, BkFileForm::Header);
  EXPECT_EQ(parsed.loadAddress, 040000);
  EXPECT_EQ(parsed.data, (Bytes{1, 2, 3}));
}

}  // namespace
