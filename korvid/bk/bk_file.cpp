#include "bk/bk_file.h"

#include "bk/memory.h"
#include "bk/words.h"

BkFile ParseBkFile(const uint8_t* bytes, size_t size, bool rawImage) {
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
  if (lengthWord + kExtendedOverhead == size)
    return header(BkFileForm::ExtendedHeader, kExtendedDataOffset, 0);
  // A near miss: a header whose data fits the address space and whose
  // length is within a block of the file's.
  if (!rawImage && !RunsPastAddressSpace(loadWord, lengthWord)) {
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
