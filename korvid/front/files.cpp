#include "front/files.h"

#include <cstdio>
#include <vector>

#include "bk/bk_file.h"
#include "bk/memory.h"
#include "common/console.h"
#include "common/platform.h"
#include "front/messages.h"

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

unsigned U(size_t value) { return static_cast<unsigned>(value); }

}  // namespace

bool ReadInputFile(PackerState& state, bool (*isRawImage)(const uint8_t*, size_t)) {
  const std::wstring& name = state.inputName;
  const FileStatus status = QueryFile(name);
  switch (status.kind) {
    case FileKind::Missing: ConsolePrint(kMsgFileNotFound); return false;
    case FileKind::Directory:
    case FileKind::Other: ConsolePrint(kMsgNotRegularFile, name.c_str()); return false;
    case FileKind::Regular: break;
  }
  if (status.size >= kMaxInputSize) {
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

  const bool rawImage = isRawImage != nullptr && isRawImage(bytes.data(), bytes.size());
  BkFile file = ParseBkFile(bytes.data(), bytes.size(), rawImage);
  switch (file.form) {
    case BkFileForm::TooShort: ConsolePrint(kMsgFileTooShort, name.c_str()); return false;
    case BkFileForm::Truncated:
      ConsolePrint(kMsgFileTruncated, U(file.loadAddress), U(file.lengthWord), U(file.extraBytes));
      return false;
    case BkFileForm::PaddedHeader:
      ConsolePrint(kMsgFilePadded, U(file.loadAddress), U(file.lengthWord), U(file.extraBytes));
      break;
    case BkFileForm::Header:
    case BkFileForm::ExtendedHeader:
    case BkFileForm::Raw: break;
  }
  if (!state.unpackMode &&
      RunsPastAddressSpace(file.loadAddress, static_cast<uint32_t>(file.data.size()))) {
    ConsolePrint(kMsgPastAddressSpace, U(file.loadAddress), U(file.data.size()));
    return false;
  }
  state.loadAddress = file.loadAddress;
  state.data = std::move(file.data);
  ConsolePrint(state.unpackMode ? kMsgUnpacking : kMsgPacking, name.c_str());
  return true;
}

std::wstring OutputNameFor(const std::wstring& name, const std::wstring& extension) {
  const size_t baseStart = FileNameStart(name);
  const size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos || dot <= baseStart) return name + extension;
  return name.substr(0, dot) + extension;
}

bool OutputWouldOverwriteInput(const PackerState& state) {
  if (!IsSameFile(state.inputName, state.outputName)) return false;
  ConsolePrint(kMsgOutputIsInput, state.outputName.c_str());
  return true;
}

bool WriteOutputFile(const PackerState& state, const MethodOutcome& outcome) {
  const std::wstring& name = state.outputName;
  OutputFile file;
  switch (file.Open(name)) {
    case OutputFile::Status::Ok: break;
    case OutputFile::Status::WriteProtected:
      ConsolePrint(kMsgWriteProtected, name.c_str());
      return false;
    case OutputFile::Status::CannotCreate:
      ConsolePrint(kMsgCannotCreateIn, name.c_str(), FolderOf(name).c_str(),
                   SystemErrorText(file.Error()).c_str());
      return false;
    default:
      ConsolePrint(kMsgCannotCreate, name.c_str(), SystemErrorText(file.Error()).c_str());
      return false;
  }
  if (!state.rawOutput) {
    const auto header =
        BkFileHeader(outcome.loadAddress, static_cast<uint16_t>(outcome.bytes.size()));
    file.Write(header.data(), header.size());
  }
  if (!outcome.bytes.empty()) file.Write(outcome.bytes.data(), outcome.bytes.size());
  if (file.Commit() != OutputFile::Status::Ok) {
    ConsolePrint(kMsgCannotWrite, name.c_str());
    return false;
  }
  return true;
}
