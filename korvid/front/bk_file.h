// BK binary files: a load-address word and a length word (both
// little-endian), then the data as it lies in BK memory from the load
// address upward. korvid reads three forms of it and writes one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An input of this size or more is refused before it is opened.
constexpr uint64_t kMaxInputSize = 0160000;  // 57344 bytes
// Header lengths of the two header forms, and the offset of the data in the
// extended form (16 skipped bytes after the two words, 2 trailing bytes).
constexpr uint64_t kHeaderSize = 4;
constexpr uint64_t kExtendedOverhead = 22;
constexpr uint64_t kExtendedDataOffset = 20;
// Disk tools and file systems (RT-11 among them) store BK files in whole
// 512-byte blocks: a header whose length falls short of the file by less
// than a block is a header followed by padding.
constexpr uint64_t kDiskBlockSize = 512;
// The BK's 16-bit address space: no program may run past its end.
constexpr uint32_t kAddressSpaceEnd = 0200000;

// How a file's bytes divide into header, data and the rest.
enum class BkFileForm {
  Header,          // load address, length, exactly `length` data bytes
  ExtendedHeader,  // the 22-byte form: 16 bytes after the words, 2 at the end
  PaddedHeader,    // a header, the data, and fewer than 512 bytes of padding
  Raw,             // no header: the whole file is data for the default address
  TooShort,        // fewer than 4 bytes
  Truncated,       // a header whose data ends up to 511 bytes short
};

struct BkFileLayout {
  BkFileForm form = BkFileForm::Raw;
  uint16_t loadAddress = 0;  // the header's; not set for Raw
  uint16_t lengthWord = 0;   // the header's length word; not set for Raw
  size_t dataOffset = 0;
  size_t dataLength = 0;
  size_t extraBytes = 0;     // PaddedHeader: bytes ignored; Truncated: bytes missing
};

// Whether `bytes` are a whole packed image with no header in front: set
// when unpacking, so that a raw image whose first words happen to read as
// a near-miss header is not taken for a padded or truncated BK file.
using RawImageProbe = bool (*)(const uint8_t* bytes, size_t size);

// The layout of a file of `size` bytes. The exact header forms come first,
// as always; a header that is plausible (its data ends within the address
// space) but misses the file size by less than a block means padding or a
// truncated file, unless `rawImage` says the bytes are a headerless image.
BkFileLayout ParseBkFile(const uint8_t* bytes, size_t size, bool rawImage);

// True when data of `length` bytes at `loadAddress` would end beyond 0177777.
inline bool RunsPastAddressSpace(uint32_t loadAddress, uint32_t length) {
  return loadAddress + length > kAddressSpaceEnd;
}

// Reads packerState.inputName into fileBuffer from offset 0, sets dataLength
// and, for a file with a header, loadAddress. `probe`, when given, tells a
// headerless image of the method from a near-miss header. A program to pack
// that would run past the address space is refused. Prints a note about
// ignored padding, then the progress text that begins the run's console
// line, or one error message; false on failure.
bool ReadInputFile(RawImageProbe probe = nullptr);

// The output name for `name`: its extension, the text from a '.' in the
// last path component (not a leading one, which belongs to a hidden name),
// replaced by `extension`, or `extension` appended when it has none. The
// folder stays as given.
std::wstring OutputNameFor(const std::wstring& name, const std::wstring& extension);

// Sets packerState.outputName: OutputNameFor the first of `args` (the
// optional output name of the command line) or else the input name.
void BuildOutputName(int count, const std::vector<std::wstring>& args,
                     const std::wstring& extension);

// True (after printing a message) when the output name designates the input
// file itself, so that writing the output would destroy the input.
bool OutputWouldOverwriteInput();

// The bytes a method leaves for the output file.
struct OutputData {
  const uint8_t* bytes = nullptr;
  uint16_t length = 0;
};
OutputData DorvikOutputData();
OutputData GranolOutputData();

// Writes `output` to outputName with the BK binary header (loadAddress and
// the length), or bare with -r, whole or not at all (see OutputFile). On
// failure a message is printed, an earlier file of that name is unchanged,
// and false is returned.
bool WriteOutputFile(const OutputData& output);
