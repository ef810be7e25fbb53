#include "front/bk_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "dorvik/dorvik_context.h"
#include "front/console.h"
#include "front/le16.h"
#include "front/messages.h"
#include "front/packer_state.h"
#include "common/platform.h"

namespace {

// Owns an open stdio stream and closes it on every path.
class FileHandle {
 public:
  explicit FileHandle(FILE* file) : file_(file) {}
  ~FileHandle() {
    if (file_ != nullptr) std::fclose(file_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  FILE* get() const { return file_; }

 private:
  FILE* file_;
};

// Reads the whole file, at most `limit` bytes and one more so that a file
// that grew since its size was taken still shows as too large.
bool ReadAll(FILE* file, uint64_t limit, std::vector<uint8_t>* bytes) {
  bytes->resize(static_cast<size_t>(limit) + 1);
  const size_t read = std::fread(bytes->data(), 1, bytes->size(), file);
  if (std::ferror(file) != 0) return false;
  bytes->resize(read);
  return true;
}

}  // namespace

BkFileLayout ParseBkFile(const uint8_t* bytes, size_t size, bool rawImage) {
  BkFileLayout layout;
  if (size < kHeaderSize) {
    layout.form = BkFileForm::TooShort;
    return layout;
  }
  const uint16_t loadWord = ReadLE16(bytes);
  const uint16_t lengthWord = ReadLE16(bytes + 2);
  auto header = [&](BkFileForm form, size_t offset) {
    layout.form = form;
    layout.loadAddress = loadWord;
    layout.lengthWord = lengthWord;
    layout.dataOffset = offset;
    layout.dataLength = lengthWord;
    return layout;
  };
  const uint64_t withHeader = lengthWord + kHeaderSize;
  if (withHeader == size) return header(BkFileForm::Header, kHeaderSize);
  if (lengthWord + kExtendedOverhead == size) {
    return header(BkFileForm::ExtendedHeader, kExtendedDataOffset);
  }
  // A near miss: a header whose data fits the address space and whose
  // length is within a block of the file's.
  if (!rawImage && !RunsPastAddressSpace(loadWord, lengthWord)) {
    if (size > withHeader && size - withHeader < kDiskBlockSize) {
      header(BkFileForm::PaddedHeader, kHeaderSize);
      layout.extraBytes = static_cast<size_t>(size - withHeader);
      return layout;
    }
    if (size < withHeader && withHeader - size < kDiskBlockSize) {
      header(BkFileForm::Truncated, kHeaderSize);
      layout.extraBytes = static_cast<size_t>(withHeader - size);
      return layout;
    }
  }
  layout.form = BkFileForm::Raw;
  layout.dataLength = size;
  return layout;
}

bool ReadInputFile(RawImageProbe probe) {
  const std::wstring& name = packerState.inputName;
  const FileStatus status = QueryFile(name);
  switch (status.kind) {
    case FileKind::Missing: ConsolePrint(kMsgFileNotFound); return false;
    case FileKind::Directory:
    case FileKind::Other: ConsolePrint(kMsgNotRegularFile, name.c_str()); return false;
    case FileKind::Regular: break;
  }
  const uint64_t size = status.size;
  if (size >= kMaxInputSize) {
    ConsolePrint(kMsgFileTooBig);
    return false;
  }
  std::vector<uint8_t> bytes;
  {
    FileHandle file(OpenFile(name, "rb"));
    if (file.get() == nullptr) {
      ConsolePrint(kMsgCannotOpen, name.c_str());
      return false;
    }
    if (!ReadAll(file.get(), kMaxInputSize, &bytes)) {
      ConsolePrint(kMsgCannotRead, name.c_str());
      return false;
    }
  }
  if (bytes.size() >= kMaxInputSize) {
    ConsolePrint(kMsgFileTooBig);
    return false;
  }

  const bool rawImage = probe != nullptr && probe(bytes.data(), bytes.size());
  const BkFileLayout layout = ParseBkFile(bytes.data(), bytes.size(), rawImage);
  switch (layout.form) {
    case BkFileForm::TooShort:
      ConsolePrint(kMsgFileTooShort, name.c_str());
      return false;
    case BkFileForm::Truncated:
      ConsolePrint(kMsgFileTruncated, static_cast<unsigned>(layout.loadAddress),
                   static_cast<unsigned>(layout.lengthWord), static_cast<unsigned>(layout.extraBytes));
      return false;
    case BkFileForm::PaddedHeader:
      ConsolePrint(kMsgFilePadded, static_cast<unsigned>(layout.loadAddress),
                   static_cast<unsigned>(layout.lengthWord), static_cast<unsigned>(layout.extraBytes));
      break;
    case BkFileForm::Header:
    case BkFileForm::ExtendedHeader:
    case BkFileForm::Raw:
      break;
  }
  const int32_t loadAddress = layout.form == BkFileForm::Raw ? packerState.loadAddress
                                                              : layout.loadAddress;
  if (!packerState.unpackMode &&
      RunsPastAddressSpace(static_cast<uint32_t>(loadAddress), static_cast<uint32_t>(layout.dataLength))) {
    ConsolePrint(kMsgPastAddressSpace, static_cast<unsigned>(loadAddress),
                 static_cast<unsigned>(layout.dataLength));
    return false;
  }

  // The data from offset 0, and zeros after it: the methods may look at the
  // byte after the data.
  uint8_t* buffer = packerState.fileBuffer.data();
  std::memcpy(buffer, bytes.data() + layout.dataOffset, layout.dataLength);
  std::fill(buffer + layout.dataLength, buffer + packerState.fileBuffer.size(), 0);
  packerState.loadAddress = loadAddress;
  packerState.dataLength = static_cast<int32_t>(layout.dataLength);
  ConsolePrint(packerState.unpackMode ? kMsgUnpacking : kMsgPacking, name.c_str());
  return true;
}

std::wstring OutputNameFor(const std::wstring& name, const std::wstring& extension) {
  const size_t slash = name.rfind(L'/');
  const size_t baseStart = slash == std::wstring::npos ? 0 : slash + 1;
  const size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos || dot <= baseStart) return name + extension;
  return name.substr(0, dot) + extension;
}

void BuildOutputName(int count, const std::vector<std::wstring>& args,
                     const std::wstring& extension) {
  const std::wstring& name = count >= 1 && !args.empty() ? args[0] : packerState.inputName;
  packerState.outputName = OutputNameFor(name, extension);
}

bool OutputWouldOverwriteInput() {
  if (!IsSameFile(packerState.inputName, packerState.outputName)) return false;
  ConsolePrint(kMsgOutputIsInput, packerState.outputName.c_str());
  return true;
}

OutputData DorvikOutputData() {
  OutputData output;
  output.bytes = packerState.fileBuffer.data();
  output.length = packerState.unpackMode ? dorvikContext.unpackedLength : dorvikContext.imageLength;
  return output;
}

OutputData GranolOutputData() {
  OutputData output;
  output.bytes = packerState.granolImage.data();
  output.length = static_cast<uint16_t>(packerState.dataLength);
  return output;
}

bool WriteOutputFile(const OutputData& output) {
  const std::wstring& name = packerState.outputName;
  OutputFile file;
  if (file.Open(name) != OutputFile::Status::Ok) {
    ConsolePrint(kMsgCannotCreate, name.c_str());
    return false;
  }
  if (!packerState.rawOutput) {
    uint8_t header[kHeaderSize];
    WriteLE16(header, static_cast<uint16_t>(packerState.loadAddress));
    WriteLE16(header + 2, output.length);
    file.Write(header, sizeof header);
  }
  if (output.length > 0) file.Write(output.bytes, output.length);
  if (file.Commit() != OutputFile::Status::Ok) {
    ConsolePrint(kMsgCannotWrite, name.c_str());
    return false;
  }
  return true;
}
