#include "files/asc_file.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "common/bk_charset.h"
#include "system/platform.h"

namespace {

constexpr size_t kBaseNameLength = 6;  // characters, not bytes
// A part number takes at least three digits ("%03d"); more than nine would
// be a number no set reaches.
constexpr size_t kPartDigits = 3;
constexpr size_t kMostPartDigits = 9;

uint16_t Word(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

}  // namespace

CBkAscFile::CBkAscFile(const std::wstring& fileName) : CBaseFile(fileName) {
  std::memset(m_buffer, ' ', sizeof m_buffer);
}

CBkAscFile::~CBkAscFile() {
  Close();
  if (m_outputs.empty()) return;
  if (m_outputFailed || std::uncaught_exceptions() > 0) {
    Discard();
  } else {
    Commit(nullptr);
  }
}

std::wstring CBkAscFile::BaseNameFor(const std::wstring& fileName) {
  const std::wstring directory = fileName.substr(0, FileNameStart(fileName));
  std::wstring name = fileName.substr(directory.size());
  name.erase(0, std::min(name.find_first_not_of(L'.'), name.size()));  // .hidden.bas: hidden
  std::wstring stem = name.substr(0, std::min(name.find(L'.'), kBaseNameLength));
  stem.resize(kBaseNameLength, L' ');
  return directory + stem + L".ASC";
}

std::wstring CBkAscFile::HeaderNameFor(const std::wstring& fileName) {
  return BaseNameFor(fileName) + L".bin";
}

std::vector<std::wstring> CBkAscFile::FindParts(const std::wstring& baseName, int firstPart) {
  const std::wstring directory = baseName.substr(0, FileNameStart(baseName));
  const std::wstring prefix = baseName.substr(directory.size()) + L" #";
  const std::wstring suffix = L".bin";
  std::vector<DirectoryEntry> entries;
  std::vector<std::pair<long, std::wstring>> parts;
  if (!ReadDirectory(directory.empty() ? L"." : directory, &entries)) return {};
  for (const DirectoryEntry& entry : entries) {
    const std::wstring& name = entry.name;
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    const std::wstring digits =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const bool canonical = digits.size() >= kPartDigits && digits.size() <= kMostPartDigits &&
                           (digits.size() == kPartDigits || digits[0] != L'0') &&
                           std::all_of(digits.begin(), digits.end(),
                                       [](wchar_t c) { return c >= L'0' && c <= L'9'; });
    if (!canonical) continue;
    long number = 0;
    for (wchar_t c : digits) number = number * 10 + (c - L'0');
    if (number >= firstPart) parts.emplace_back(number, directory + name);
  }
  std::sort(parts.begin(), parts.end());
  std::vector<std::wstring> names;
  for (auto& part : parts) names.push_back(std::move(part.second));
  return names;
}

void CBkAscFile::MakePartName() {
  std::wstring number = std::to_wstring(m_partNo);
  if (number.size() < kPartDigits) number.insert(0, kPartDigits - number.size(), L'0');
  m_partName = m_baseName + L" #" + number + L".bin";
}

bool CBkAscFile::OpenForWrite(const std::wstring& name) {
  if (!m_protectedName.empty() && IsSameFile(name, m_protectedName)) return false;
  return OpenOutput(name);
}

bool CBkAscFile::Open(bool forWrite) {
  if (forWrite) {
    Discard();
    m_baseName = BaseNameFor(m_fileName);
    m_partNo = 0;
    m_ended = false;
    m_tooManyParts = false;
    m_partName = m_baseName + L".bin";
    if (!OpenForWrite(m_partName)) return false;
    bool ok = WriteWord(kAscLoadAddress) && WriteWord(kAscHeaderDataLength) && WriteWord(0);
    ok = Close() && ok;
    if (!ok) {
      Discard();
      return false;
    }
    m_partPos = 0;
    return true;
  }

  m_readFailure = {};
  FILE* header = OpenFile(m_fileName, "rb");
  if (header == nullptr) return false;
  // One byte more than a sound header file holds, to see that it ends there.
  uint8_t bytes[kAscFileHeaderSize + kAscHeaderDataLength + 1];
  const size_t length = std::fread(bytes, 1, sizeof bytes, header);
  std::fclose(header);
  if (length != sizeof bytes - 1 || Word(bytes) != kAscLoadAddress ||
      Word(bytes + 2) != kAscHeaderDataLength || Word(bytes + kAscFileHeaderSize) != 0) {
    return false;
  }
  // The part names come from the header's name without ".bin"; a header
  // named otherwise leaves no way to find its parts.
  const size_t dot = m_fileName.rfind(L'.');
  if (dot == std::wstring::npos || m_fileName.compare(dot, std::wstring::npos, L".bin") != 0) {
    return false;
  }
  m_baseName = m_fileName.substr(0, dot);
  m_partNo = 0;
  MakePartName();
  m_ended = false;
  return OpenPartForRead();
}

bool CBkAscFile::FailPart(FileError error) {
  m_readFailure = {error, m_partName};
  Close();
  return false;
}

bool CBkAscFile::OpenPartForRead() {
  Close();
  m_partPos = 0;
  switch (QueryFile(m_partName).kind) {
    case FileKind::Regular: break;
    case FileKind::Missing: return FailPart(FileError::PartMissing);
    default: return FailPart(FileError::NotRegular);  // a FIFO would hang the run
  }
  m_file = OpenFile(m_partName, "rb");
  if (m_file == nullptr) return FailPart(FileError::CannotOpen);
  uint8_t header[kAscFileHeaderSize];
  if (std::fread(header, 1, sizeof header, m_file) != sizeof header) {
    return FailPart(std::ferror(m_file) != 0 ? FileError::CannotRead : FileError::PartShort);
  }
  if (Word(header) != kAscLoadAddress || Word(header + 2) != kAscPartSize) {
    return FailPart(FileError::PartDamaged);
  }
  return true;
}

CodeUnit CBkAscFile::ReadChar() {
  if (m_ended) return kAscEndOfText;
  if (m_partPos >= kAscPartSize) {
    ++m_partNo;
    MakePartName();
    if (!OpenPartForRead()) {  // the text has not ended, yet its next part is not there
      m_ended = true;
      return kAscEndOfText;
    }
  }
  if (m_file == nullptr) {  // no set open
    m_ended = true;
    return kAscEndOfText;
  }
  const int byte = std::fgetc(m_file);
  if (byte == EOF) {  // the part ends before its 256 bytes and before the end byte
    FailPart(std::ferror(m_file) != 0 ? FileError::CannotRead : FileError::PartShort);
    m_ended = true;
    return kAscEndOfText;
  }
  ++m_partPos;
  if (byte == kAscEndOfText) {
    m_ended = true;
    return kAscEndOfText;
  }
  return BkToUnicode(static_cast<uint8_t>(byte));
}

FileResult CBkAscFile::ReadFailure() {
  return m_readFailure.ok() ? CBaseFile::ReadFailure() : m_readFailure;
}

bool CBkAscFile::WriteChar(CodeUnit c) {
  const bool ok = m_partPos < kAscPartSize || FlushPart();
  NoteWritten(c, c != kAscEndOfText && IsBkSubstitute(c));
  m_buffer[m_partPos++] = c == kAscEndOfText ? kAscEndOfText : UnicodeToBk(c);
  if (c == kAscEndOfText) m_ended = true;
  m_flushed = false;
  return ok;
}

bool CBkAscFile::FlushPart() {
  m_partPos = 0;
  if (m_flushed) return true;
  if (m_partNo >= kAscMostParts) {
    m_tooManyParts = true;
    m_flushed = true;
    return false;
  }
  MakePartName();
  if (!OpenForWrite(m_partName)) {
    m_flushed = true;
    return false;
  }
  bool ok = WriteWord(kAscLoadAddress) && WriteWord(kAscPartSize) &&
            std::fwrite(m_buffer, 1, sizeof m_buffer, m_file) == sizeof m_buffer;
  ok = Close() && ok;
  std::memset(m_buffer, ' ', sizeof m_buffer);
  m_flushed = true;
  if (ok) ++m_partNo;
  return ok;
}

bool CBkAscFile::Commit(std::wstring* failedName) {
  // The parts beyond this set that an older, longer one left go under the
  // lock the set goes in with: another run's set never loses parts to this
  // one, nor keeps parts of it.
  const std::wstring baseName = m_baseName;
  const int parts = m_partNo;
  return CommitAll(failedName, [&baseName, parts] {
    for (const std::wstring& name : FindParts(baseName, parts)) RemovePartialOutput(name);  // regular files only
  });
}

long CBkAscFile::Tell() { return m_file != nullptr ? std::ftell(m_file) - kAscFileHeaderSize : 0; }

int CBkAscFile::Seek(long offset, int origin) {
  if (m_file == nullptr) return 0;
  return std::fseek(m_file, origin == SEEK_SET ? offset + kAscFileHeaderSize : offset, origin);
}

bool CBkAscFile::IsEOF() { return m_ended; }

bool CBkAscFile::WriteWord(uint16_t value) {
  if (m_file == nullptr) return false;
  const uint8_t bytes[2] = {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
  return std::fwrite(bytes, 1, 2, m_file) == 2;
}
