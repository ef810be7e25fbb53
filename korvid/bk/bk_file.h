// BK binary files: a load-address word and a length word (both
// little-endian), then the data as it lies in BK memory from the load
// address upward. korvid reads three forms of it and writes one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "bk/bytes.h"

// A file to pack of this size or more is refused before it is read.
constexpr uint64_t kMaxInputSize = 0160000;  // 57344 bytes
// A file to unpack may be larger: an image is a BK program as long as the
// address space allows, and this is the largest BK binary file (0177777
// bytes and its header) in whole 512-byte blocks. A larger file is refused.
constexpr uint64_t kMaxImageFileSize = 0201000;  // 66048 bytes
// Header lengths of the two header forms. The extended form is a tape dump:
// the two words, a 16-byte name, the data, then the data's checksum (the
// end-around-carry sum of bk/checksum.h).
constexpr size_t kHeaderSize = 4;
constexpr size_t kExtendedOverhead = 22;
constexpr size_t kExtendedDataOffset = 20;
constexpr size_t kTapeNameSize = 16;
// Disk tools and file systems (RT-11 among them) store BK files in whole
// 512-byte blocks: a header whose length falls short of the file by less
// than a block is a header followed by padding.
constexpr size_t kDiskBlockSize = 512;

// How a file's bytes divide into header, data and the rest.
enum class BkFileForm {
  Header,          // load address, length, exactly `length` data bytes
  ExtendedHeader,  // the 22-byte form: a name after the words, the checksum at the end
  PaddedHeader,    // a header, the data, and fewer than 512 bytes of padding
  Raw,             // no header: the whole file is data for 01000
  TooShort,        // fewer than 4 bytes
  Truncated,       // a header whose data ends up to 511 bytes short
};

// What a file holds. TooShort and Truncated files hold no data.
struct BkFile {
  BkFileForm form = BkFileForm::Raw;
  uint16_t loadAddress = 0;  // the header's, or 01000 for a raw file
  uint16_t lengthWord = 0;   // the header's length word; 0 for a raw file
  Bytes data;
  size_t extraBytes = 0;  // PaddedHeader: bytes ignored; Truncated: bytes missing
  // ExtendedHeader: the name field, and whether the file would also have
  // read as a header with 18 bytes of padding.
  std::array<uint8_t, kTapeNameSize> tapeName{};
  bool paddingAlsoFits = false;
};

// The exact header comes first. A file of the extended form's size is read
// in that form only when its last word is the checksum of the data it would
// hold and its name field reads as a name: 18 bytes of block padding give
// the same size. A header that is plausible (its data ends within the
// address space) but misses the file size by less than a block means
// padding or a truncated file, unless `rawImage` says the bytes are a
// packed image without a header.
BkFile ParseBkFile(ByteView bytes, bool rawImage);

// The header that a BK binary file of `length` bytes at `loadAddress` has.
std::array<uint8_t, kHeaderSize> BkFileHeader(uint16_t loadAddress, uint16_t length);

// What a file without a BK header holds of a packed image, as a method
// finds it: whether it is one of its images, and the image's load address
// where the image records it.
struct RawImage {
  bool found = false;
  std::optional<uint16_t> loadAddress;
};
