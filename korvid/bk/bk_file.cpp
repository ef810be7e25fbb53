#include "bk/bk_file.h"

#include <algorithm>

#include "bk/checksum.h"
#include "bk/memory.h"
#include "bk/words.h"

namespace {

// A name as the BK's tape routines write it: characters of the BK's set
// (0x20..0x7F, 0xA0..0xFF), padded with spaces or, after them, zero bytes.
// Block padding, program code and zero-filled space do not read so.
bool LooksLikeTapeName(const uint8_t* name) {
  const uint8_t* end = name + kTapeNameSize;
  while (end > name && end[-1] == 0) --end;
  if (end == name) return false;
  return std::all_of(name, end, [](uint8_t c) { return (c >= 0x20 && c < 0x80) || c >= 0xA0; });
}

// The extended form: the checksum word after the data, and the name.
bool IsTapeDump(const uint8_t* bytes, uint16_t lengthWord) {
  const uint8_t* data = bytes + kExtendedDataOffset;
  return ReadBkWord(data + lengthWord) == EndAroundCarrySum(data, lengthWord) &&
         LooksLikeTapeName(bytes + kHeaderSize);
}

}  // namespace

BkFile ParseBkFile(ByteView view, bool rawImage) {
  const uint8_t* const bytes = view.data;
  const size_t size = view.size;
  BkFile file;
  if (size < kHeaderSize) {
    file.form = BkFileForm::TooShort;
    return file;
  }
  const uint16_t loadWord = ReadBkWord(bytes);
  const uint16_t lengthWord = ReadBkWord(bytes + 2);
  auto header = [&](BkFileForm form, size_t offset, size_t extraBytes) {
    file.form = form;
    file.loadAddress = loadWord;
    file.lengthWord = lengthWord;
    file.extraBytes = extraBytes;
    if (form != BkFileForm::Truncated)
      file.data.assign(bytes + offset, bytes + offset + lengthWord);
    return file;
  };
  const uint64_t withHeader = lengthWord + kHeaderSize;
  if (withHeader == size) return header(BkFileForm::Header, kHeaderSize, 0);
  const bool nearMissFits = !rawImage && !RunsPastAddressSpace(loadWord, lengthWord);
  if (lengthWord + kExtendedOverhead == size && IsTapeDump(bytes, lengthWord)) {
    std::copy(bytes + kHeaderSize, bytes + kExtendedDataOffset, file.tapeName.begin());
    file.paddingAlsoFits = nearMissFits;
    return header(BkFileForm::ExtendedHeader, kExtendedDataOffset, 0);
  }
  // A near miss: a header whose data fits the address space and whose
  // length is within a block of the file's.
  if (nearMissFits) {
    if (size > withHeader && size - withHeader < kDiskBlockSize) {
      return header(BkFileForm::PaddedHeader, kHeaderSize, static_cast<size_t>(size - withHeader));
    }
    if (size < withHeader && withHeader - size < kDiskBlockSize) {
      return header(BkFileForm::Truncated, kHeaderSize, static_cast<size_t>(withHeader - size));
    }
  }
  file.form = BkFileForm::Raw;
  file.loadAddress = kSystemAreaEnd;
  file.data.assign(bytes, bytes + size);
  return file;
}

std::array<uint8_t, kHeaderSize> BkFileHeader(uint16_t loadAddress, uint16_t length) {
  std::array<uint8_t, kHeaderSize> header{};
  WriteBkWord(header.data(), loadAddress);
  WriteBkWord(header.data() + 2, length);
  return header;
}
