#include "files/base_file.h"

#include <exception>
#include <memory>

#include "common/bk_charset.h"
#include "system/platform.h"

CBaseFile::CBaseFile(const std::wstring& fileName) : m_fileName(fileName) {}

CBaseFile::~CBaseFile() {
  CBaseFile::Close();
  SettleOutputs();
}

void CBaseFile::SettleOutputs() {
  if (m_outputs.empty()) return;
  if (m_outputFailed || std::uncaught_exceptions() > 0) {
    Discard();
  } else {
    Commit(nullptr);
  }
  m_outputFailed = false;
}

bool CBaseFile::OpenOutput(const std::wstring& name) {
  auto file = std::make_unique<OutputFile>();
  const OutputFile::Status status = file->Open(name);
  m_outputFailure = OutputReason(status, name, file->Error());
  if (status != OutputFile::Status::Ok) return false;
  m_file = file->Stream();
  m_writing = file.get();
  m_outputs.push_back({name, std::move(file)});
  return true;
}

bool CBaseFile::OpenOutputStream() {
  Discard();
  return OpenOutput(m_fileName);
}

bool CBaseFile::Commit(std::wstring* failedName) { return CommitAll(failedName, nullptr); }

bool CBaseFile::CommitAll(std::wstring* failedName, const std::function<void()>& whileLocked) {
  const bool closed = Close();
  if (!closed || m_outputFailed) {
    if (failedName != nullptr) *failedName = m_fileName;
    Discard();
    return false;
  }
  std::vector<OutputFile*> files;
  for (const Output& output : m_outputs) files.push_back(output.file.get());
  size_t failed = 0;
  const OutputFile::Status status = CommitOutputs(files, &failed, whileLocked);
  const bool committed = status == OutputFile::Status::Ok;
  m_outputFailure = committed ? FileResult{} : OutputReason(status, m_outputs[failed].name, 0);
  if (!committed && failedName != nullptr) *failedName = m_outputs[failed].name;
  m_outputs.clear();
  return committed;
}

FileResult CBaseFile::OutputReason(OutputFile::Status status, const std::wstring& name,
                                   int systemError) {
  switch (status) {
    case OutputFile::Status::CannotCreate:
      return {FileError::CannotCreateIn, name, FolderOf(name), systemError};
    case OutputFile::Status::CannotOpen:
      return {FileError::CannotOpenOutput, name, {}, systemError};
    case OutputFile::Status::WriteProtected: return {FileError::WriteProtected, name};
    case OutputFile::Status::Busy:
      return {FileError::OutputBusy, name, FolderOf(name), 0, kOutputLockWaitSeconds};
    case OutputFile::Status::Ok:
    case OutputFile::Status::CannotWrite: break;  // the caller's own reason says it all
  }
  return {};
}

FileResult CBaseFile::OutputFailure() const { return m_outputFailure; }

void CBaseFile::Discard() {
  Close();
  m_outputs.clear();  // each output removes what was written of it
  m_outputFailed = false;
}

std::vector<std::wstring> CBaseFile::GetOutputNames() {
  std::vector<std::wstring> names;
  for (const Output& output : m_outputs) names.push_back(output.name);
  return names;
}

FileResult CBaseFile::ReadFailure() {
  if (m_file == nullptr || !m_outputs.empty() || std::ferror(m_file) == 0) return {};
  return {FileError::CannotRead, m_fileName};
}

const std::wstring& CBaseFile::GetFileName() { return m_fileName; }

int CBaseFile::GetTabSize() { return m_tabSize; }

void CBaseFile::SetTabSize(int n) {
  if (IsAcceptedTabSize(n)) m_tabSize = n;
}

bool CBaseFile::Open(bool /*forWrite*/) { return false; }

bool CBaseFile::Close() {
  if (m_file == nullptr) return true;
  const bool streamFailed = std::ferror(m_file) != 0;
  bool closed;
  if (m_writing != nullptr) {
    // An output's stream belongs to its OutputFile, which flushes it to the
    // disk and closes it.
    closed = m_writing->Finish() == OutputFile::Status::Ok;
    m_writing = nullptr;
  } else {
    closed = std::fclose(m_file) == 0;
  }
  m_file = nullptr;
  const bool ok = !streamFailed && closed;
  if (!ok && !m_outputs.empty()) m_outputFailed = true;
  return ok;
}

CodeUnit CBaseFile::ReadChar() { return 0; }

uint8_t CBaseFile::ReadByte() {
  if (m_file == nullptr) return 0;
  const int b = std::getc(m_file);
  return b == EOF ? 0 : static_cast<uint8_t>(b);
}

uint16_t CBaseFile::ReadWord() {
  if (m_file == nullptr) return 0;
  uint8_t bytes[2] = {0, 0};
  if (std::fread(bytes, 1, 2, m_file) != 2) return 0;
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

bool CBaseFile::WriteChar(CodeUnit /*c*/) { return false; }

bool CBaseFile::WriteByte(uint8_t b) {
  if (m_file == nullptr) return false;
  return std::putc(b, m_file) != EOF;
}

long CBaseFile::Tell() {
  if (m_file == nullptr) return 0;
  return std::ftell(m_file);
}

int CBaseFile::Seek(long offset, int origin) {
  if (m_file == nullptr) return 0;
  return std::fseek(m_file, offset, origin);
}

bool CBaseFile::IsEOF() {
  if (m_file == nullptr) return true;
  return std::feof(m_file) != 0 || std::ferror(m_file) != 0;
}

void CBaseFile::NoteWritten(CodeUnit c, bool replaced) {
  const CodeUnit high = m_replacedHigh;
  m_replacedHigh = 0;
  if (high != 0 && c >= 0xDC00 && c <= 0xDFFF) {
    if (m_replacedCount == 1 && m_firstReplaced == high) {
      m_firstReplaced = 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (c - 0xDC00);
    }
    return;  // counted with its high half
  }
  if (!replaced) return;
  if (c >= 0xD800 && c <= 0xDBFF) m_replacedHigh = c;
  if (m_replacedCount++ == 0) m_firstReplaced = c;
}

CBkFile::CBkFile(const std::wstring& fileName) : CBaseFile(fileName) {}

bool CBkFile::Open(bool forWrite) {
  Close();  // an object is opened once; a second Open starts afresh
  m_textStart = 0;
  m_notes = {};
  if (forWrite) return OpenOutputStream();
  m_file = OpenFile(m_fileName, "rb");
  if (m_file == nullptr) return false;
  if (SkipBkHeader()) return true;
  if (std::fseek(m_file, 0, SEEK_SET) == 0) return true;
  Close();
  return false;
}

bool CBkFile::SkipBkHeader() {
  constexpr long kHeaderSize = 4;
  uint8_t header[kHeaderSize];
  if (std::fread(header, 1, sizeof header, m_file) != sizeof header) return false;
  if (std::fseek(m_file, 0, SEEK_END) != 0) return false;
  const long size = std::ftell(m_file);
  const uint16_t address = static_cast<uint16_t>(header[0] | (header[1] << 8));
  const uint16_t length = static_cast<uint16_t>(header[2] | (header[3] << 8));
  if (address == kEditorTextHeader || length == 0 || size != length + kHeaderSize) return false;
  if (std::fseek(m_file, kHeaderSize, SEEK_SET) != 0) return false;
  m_textStart = kHeaderSize;
  m_notes.bkHeaderSkipped = true;
  m_notes.bkAddress = address;
  m_notes.bkLength = length;
  return true;
}

long CBkFile::Tell() { return CBaseFile::Tell() - (m_file != nullptr ? m_textStart : 0); }

int CBkFile::Seek(long offset, int origin) {
  return CBaseFile::Seek(origin == SEEK_SET ? offset + m_textStart : offset, origin);
}

CodeUnit CBkFile::ReadChar() {
  if (m_file == nullptr) return 0;
  return BkToUnicode(ReadByte());
}

bool CBkFile::WriteChar(CodeUnit c) {
  if (m_file == nullptr) return false;
  NoteWritten(c, IsBkSubstitute(c));
  return WriteByte(UnicodeToBk(c));
}
