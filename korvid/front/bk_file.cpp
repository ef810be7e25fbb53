#include "front/bk_file.h"

#include <cstdio>

#include "dorvik/dorvik_context.h"
#include "front/console.h"
#include "front/le16.h"
#include "front/messages.h"
#include "front/packer_state.h"
#include "front/platform.h"

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
  // Closes the stream and reports whether everything reached the file.
  bool Close() {
    FILE* file = file_;
    file_ = nullptr;
    return std::fclose(file) == 0;
  }

 private:
  FILE* file_;
};

bool ReadFailed() {
  ConsolePrint(kMsgCannotRead, packerState.inputName.c_str());
  return false;
}

bool WriteBkBinary(const uint8_t* data, uint16_t length) {
  const std::wstring& name = packerState.outputName;
  FileHandle file(OpenFile(name, "wb"));
  if (file.get() == nullptr) {
    ConsolePrint(kMsgCannotCreate, name.c_str());
    return false;
  }
  bool written = true;
  if (!packerState.rawOutput) {
    uint8_t header[kHeaderSize];
    WriteLE16(header, static_cast<uint16_t>(packerState.loadAddress));
    WriteLE16(header + 2, length);
    written = std::fwrite(header, 1, sizeof header, file.get()) == sizeof header;
  }
  if (written && length > 0) written = std::fwrite(data, 1, length, file.get()) == length;
  written = std::fflush(file.get()) == 0 && written;
  written = file.Close() && written;
  if (!written) {
    RemovePartialOutput(name);
    ConsolePrint(kMsgCannotWrite, name.c_str());
  }
  return written;
}

}  // namespace

bool ReadInputFile() {
  const std::wstring& name = packerState.inputName;
  uint64_t size = 0;
  if (!QueryFileSize(name, &size)) {
    ConsolePrint(kMsgFileNotFound);
    return false;
  }
  if (size >= kMaxInputSize) {
    ConsolePrint(kMsgFileTooBig);
    return false;
  }
  FileHandle file(OpenFile(name, "rb"));
  if (file.get() == nullptr) {
    ConsolePrint(kMsgCannotOpen, name.c_str());
    return false;
  }
  uint8_t header[kHeaderSize];
  if (std::fread(header, 1, sizeof header, file.get()) != sizeof header) return ReadFailed();

  // The length word decides the form: a standard header, an extended header,
  // or no header at all (the whole file is data, loaded at the default).
  const uint64_t lengthWord = ReadLE16(header + 2);
  uint64_t dataOffset = 0;
  uint64_t dataLength = size;
  if (lengthWord + kHeaderSize == size || lengthWord + kExtendedOverhead == size) {
    dataOffset = lengthWord + kHeaderSize == size ? kHeaderSize : kExtendedDataOffset;
    dataLength = lengthWord;
    packerState.loadAddress = ReadLE16(header);
  }
  packerState.dataLength = static_cast<int32_t>(dataLength);
  if (std::fseek(file.get(), static_cast<long>(dataOffset), SEEK_SET) != 0) return ReadFailed();
  if (std::fread(packerState.fileBuffer.data(), 1, dataLength, file.get()) != dataLength) {
    return ReadFailed();
  }
  file.Close();
  ConsolePrint(packerState.unpackMode ? kMsgUnpacking : kMsgPacking, name.c_str());
  return true;
}

void BuildOutputName(int count, const std::vector<std::wstring>& args,
                     const std::wstring& extension) {
  std::wstring name = count >= 1 && !args.empty() ? args[0] : packerState.inputName;
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  packerState.outputName = name + extension;
}

bool OutputWouldOverwriteInput() {
  if (!IsSameFile(packerState.inputName, packerState.outputName)) return false;
  ConsolePrint(kMsgOutputIsInput, packerState.outputName.c_str());
  return true;
}

bool WriteDorvikOutput() {
  const uint16_t length = packerState.unpackMode ? dorvikContext.unpackedLength
                                                  : dorvikContext.imageLength;
  return WriteBkBinary(packerState.fileBuffer.data(), length);
}

bool WriteGranolOutput() {
  return WriteBkBinary(packerState.granolImage.data(),
                       static_cast<uint16_t>(packerState.dataLength));
}
