#include "front/files.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "bk/bk_file.h"
#include "bk/memory.h"
#include "common/bk_charset.h"
#include "common/console.h"
#include "common/names.h"
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
bool ReadAll(FILE* file, uint64_t limit, Bytes* bytes) {
  bytes->resize(static_cast<size_t>(limit) + 1);
  const size_t read = std::fread(bytes->data(), 1, bytes->size(), file);
  if (std::ferror(file) != 0) return false;
  bytes->resize(read);
  return true;
}

unsigned U(size_t value) { return static_cast<unsigned>(value); }

// The name field of a tape dump as the BK shows it, without the spaces and
// zero bytes that pad it.
std::wstring TapeNameText(const std::array<uint8_t, kTapeNameSize>& name) {
  size_t end = name.size();
  while (end > 0 && (name[end - 1] == 0 || name[end - 1] == ' ')) --end;
  std::wstring text;
  for (size_t i = 0; i < end; ++i) text += static_cast<wchar_t>(BkToUnicode(name[i]));
  return text;
}

// The load address of a headerless input: the image's own where it records
// one, else that of -a, else 01000.
void PlaceHeaderlessInput(PackerState& state, const RawImage& raw) {
  if (raw.loadAddress) {
    state.loadAddress = *raw.loadAddress;
    state.addressSource = AddressSource::Image;
  } else if (state.givenAddress) {
    state.loadAddress = *state.givenAddress;
    state.addressSource = AddressSource::Option;
  } else {
    state.loadAddress = kSystemAreaEnd;
    state.addressSource = AddressSource::Default;
  }
}

// Reads the whole of a regular file of at most `largest` bytes; prints why
// not and gives nothing otherwise.
std::optional<Bytes> ReadWholeFile(const std::wstring& name, uint64_t largest) {
  const FileStatus status = QueryFile(name);
  switch (status.kind) {
    case FileKind::Missing: ConsolePrint(kMsgFileNotFound, name.c_str()); return std::nullopt;
    case FileKind::Directory:
    case FileKind::Other: ConsolePrint(kMsgNotRegularFile, name.c_str()); return std::nullopt;
    case FileKind::Regular: break;
  }
  if (status.size > largest) {
    ConsolePrint(kMsgFileTooBig, name.c_str());
    return std::nullopt;
  }
  Bytes bytes;
  {
    FileHandle file(OpenFile(name, "rb"));
    if (file.get() == nullptr) {
      ConsolePrint(kMsgCannotOpen, name.c_str());
      return std::nullopt;
    }
    if (!ReadAll(file.get(), largest, &bytes)) {
      ConsolePrint(kMsgCannotRead, name.c_str());
      return std::nullopt;
    }
  }
  if (bytes.size() > largest) {
    ConsolePrint(kMsgFileTooBig, name.c_str());
    return std::nullopt;
  }
  return bytes;
}

// What the form of the file says on the console: a refusal (false) for a
// file too short or cut off, a note for padding or a tape dump.
bool ReportForm(const std::wstring& name, const BkFile& file) {
  switch (file.form) {
    case BkFileForm::TooShort: ConsolePrint(kMsgFileTooShort, name.c_str()); return false;
    case BkFileForm::Truncated: {
      const unsigned missing = U(file.extraBytes);
      ConsolePrint(PluralFor(kMsgFileTruncated, OctalAsWritten(missing)), U(file.loadAddress),
                   U(file.lengthWord), missing);
      return false;
    }
    case BkFileForm::PaddedHeader: {
      const unsigned extra = U(file.extraBytes);
      ConsolePrint(PluralFor(kMsgFilePadded, OctalAsWritten(extra)), U(file.loadAddress),
                   U(file.lengthWord), extra);
      break;
    }
    case BkFileForm::ExtendedHeader:
      if (file.paddingAlsoFits) ConsolePrint(kMsgTapeDump, TapeNameText(file.tapeName).c_str());
      break;
    case BkFileForm::Header:
    case BkFileForm::Raw: break;
  }
  return true;
}

// The load address from the header, the image, -a or the default, and a
// note when -a gave another one than the input takes.
void PlaceInput(PackerState& state, const BkFile& file, const RawImage& raw) {
  state.loadAddress = file.loadAddress;
  state.addressSource = AddressSource::Header;
  if (file.form == BkFileForm::Raw) PlaceHeaderlessInput(state, raw);
  if (state.givenAddress && state.loadAddress != *state.givenAddress) {
    ConsolePrint(
        state.addressSource == AddressSource::Header ? kMsgAddressFromHeader : kMsgAddressFromImage,
        U(*state.givenAddress), U(state.loadAddress));
  }
}

}  // namespace

bool ReadInputFile(PackerState& state, RawImage (*findRawImage)(ByteView bytes)) {
  const std::wstring& name = state.inputName;
  // An image may be longer than any program korvid packs.
  const uint64_t largest = state.unpackMode ? kMaxImageFileSize : kMaxInputSize - 1;
  const std::optional<Bytes> bytes = ReadWholeFile(name, largest);
  if (!bytes) return false;
  RawImage raw;
  if (state.unpackMode && findRawImage != nullptr) raw = findRawImage(*bytes);
  BkFile file = ParseBkFile(*bytes, raw.found);
  if (!ReportForm(name, file)) return false;
  PlaceInput(state, file, raw);
  if (!state.unpackMode &&
      RunsPastAddressSpace(state.loadAddress, static_cast<uint32_t>(file.data.size()))) {
    ConsolePrint(kMsgPastAddressSpace, U(state.loadAddress), U(file.data.size()));
    return false;
  }
  state.data = std::move(file.data);
  ConsolePrint(state.unpackMode ? kMsgUnpacking : kMsgPacking, name.c_str());
  if (findRawImage != nullptr && state.unpackMode && file.form == BkFileForm::Raw && !raw.found) {
    ConsolePrint(kMsgNoHeaderNoImage, state.method->name);
    return false;
  }
  return true;
}

std::wstring OutputNameFor(const std::wstring& name, const std::wstring& extension) {
  return ReplaceExtension(name, extension, LeadingDot::PartOfName);
}

std::wstring OutputNameForRun(const std::wstring& inputName, const std::wstring* given,
                              const std::wstring& extension) {
  if (given == nullptr) return OutputNameFor(inputName, extension);
  const size_t start = FileNameStart(*given);
  const std::wstring last = given->substr(start);
  const bool endsInSeparator = start == given->size() && !given->empty();
  if (!endsInSeparator && last != L"." && last != L".." &&
      QueryFile(*given).kind != FileKind::Directory) {
    return OutputNameFor(*given, extension);
  }
  const std::wstring inside = OutputNameFor(inputName.substr(FileNameStart(inputName)), extension);
  return endsInSeparator ? *given + inside : *given + L"/" + inside;
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
