#include "files/win_file.h"

#include <vector>

#include "common/utf8.h"

#include "files/encoding_detect.h"
#include "common/platform.h"

namespace {

constexpr CodeUnit kReplacement = 0xFFFD;
// What the UTF-16LE read gives once it runs into the end of the file.
constexpr CodeUnit kUtf16EndOfFile = 0xFFFF;
constexpr int kPcTabSize = 4;

bool IsHighSurrogate(CodeUnit c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(CodeUnit c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

CWinFile::CWinFile(const std::wstring& fileName, TextFormat encoding)
    : CBaseFile(fileName), m_encoding(encoding), m_pc(FindPcEncoding(encoding)) {
  m_tabSize = kPcTabSize;
}

void CWinFile::SetEncoding(TextFormat encoding) {
  m_encoding = encoding;
  m_pc = FindPcEncoding(encoding);
}

CWinFile::~CWinFile() { CWinFile::Close(); }

bool CWinFile::Open(bool forWrite) {
  Close();
  m_pendingLow = 0;
  m_pendingHigh = 0;
  m_afterHighSurrogate = false;
  return forWrite ? OpenForWrite() : OpenForRead();
}

bool CWinFile::OpenForWrite() {
  if (m_pc == nullptr) SetEncoding(TextFormat::Utf16le);
  if (!OpenOutputStream()) return false;
  bool written = true;
  for (size_t i = 0; i < m_pc->byteOrderMark.size; ++i) {
    written = PutByte(m_pc->byteOrderMark.bytes[i]) && written;
  }
  if (!written) {
    Discard();
    return false;
  }
  return true;
}

bool CWinFile::OpenForRead() {
  m_notes = {};
  const TextFormat detected = DetectEncoding();
  if (detected == TextFormat::Auto) return false;  // the file cannot be opened
  // An explicit code page is never overridden; an explicit Unicode request
  // follows the detection, which chose among the Unicode forms only.
  if (m_encoding == TextFormat::Auto || IsUnicode(m_encoding)) SetEncoding(detected);
  m_notes = {detected, m_encoding};
  m_file = OpenFile(m_fileName, "rb");
  if (m_file == nullptr) return false;
  // The byte-order mark belongs to the encoding it announces; read under a
  // code page, its bytes are text.
  if (m_encoding == detected && m_byteOrderMark != 0 &&
      std::fseek(m_file, static_cast<long>(m_byteOrderMark), SEEK_SET) != 0) {
    CBaseFile::Close();
    return false;
  }
  return true;
}

TextFormat CWinFile::DetectEncoding() {
  CBaseFile::Close();
  m_byteOrderMark = 0;
  m_bytesRead = 0;
  m_file = OpenFile(m_fileName, "rb");
  if (m_file == nullptr) return TextFormat::Auto;
  std::vector<uint8_t> prefix(kDetectionPrefix);
  const size_t got = std::fread(prefix.data(), 1, prefix.size(), m_file);
  CBaseFile::Close();
  m_bytesRead = got;
  const DetectionScope scope =
      IsUnicode(m_encoding) ? DetectionScope::UnicodeOnly : DetectionScope::AnyEncoding;
  const DetectedEncoding result = DetectTextEncoding(prefix.data(), got, scope);
  m_byteOrderMark = result.byteOrderMark;
  return result.format;
}

bool CWinFile::Close() {
  bool flushed = true;
  if (m_file != nullptr && m_pendingHigh != 0) {
    NoteWritten(m_pendingHigh, true);
    m_pendingHigh = 0;
    flushed = PutUtf8(kReplacement);  // a high surrogate that never got its partner
  }
  const bool closed = CBaseFile::Close();
  return flushed && closed;
}

int CWinFile::Seek(long offset, int origin) {
  m_pendingLow = 0;
  return CBaseFile::Seek(offset, origin);
}

CodeUnit CWinFile::ReadChar() {
  if (m_file == nullptr || m_pc == nullptr) return 0;
  switch (m_pc->form) {
    case UnitForm::SingleByte: return ReadSingleByte();
    case UnitForm::Utf8: return ReadUtf8Char();
    case UnitForm::Utf16le:
    case UnitForm::Utf16be: return ReadUtf16Unit();
  }
  return 0;
}

CodeUnit CWinFile::ReadSingleByte() {
  // Unlike a BK editor file, 0x7F stays itself here in the BK's set too.
  const int b = std::getc(m_file);
  return b == EOF ? 0 : m_pc->Decode(static_cast<uint8_t>(b));
}

CodeUnit CWinFile::ReadUtf16Unit() {
  const int low = std::getc(m_file);  // the first byte of the unit
  if (low == EOF) return kUtf16EndOfFile;
  const int high = std::getc(m_file);
  if (high == EOF) {
    // A lone byte at the end is half a unit: it reads as U+FFFD, and the
    // end indicator is cleared so that the caller keeps it; the next read
    // runs into the end again.
    std::clearerr(m_file);
    return kReplacement;
  }
  if (m_pc->form == UnitForm::Utf16be) return static_cast<CodeUnit>((low << 8) | high);
  return static_cast<CodeUnit>(low | (high << 8));
}

CodeUnit CWinFile::ReadUtf8Char() {
  if (m_file == nullptr) return 0;
  if (m_pendingLow != 0) {
    const CodeUnit low = m_pendingLow;
    m_pendingLow = 0;
    return low;
  }
  const int lead = std::getc(m_file);
  if (lead == EOF) return 0;
  if (lead < 0x80) return static_cast<CodeUnit>(lead);
  const Utf8Lead start = ClassifyUtf8Lead(static_cast<uint8_t>(lead));
  if (start.length == 0) return kReplacement;
  char32_t c = start.bits;
  int low = start.low;
  int high = start.high;
  for (int i = 1; i < start.length; ++i) {
    const int b = std::getc(m_file);
    if (b == EOF) {
      // The file ends inside the sequence: keep it as U+FFFD instead of
      // letting the end indicator drop it (the next read finds the end).
      std::clearerr(m_file);
      return kReplacement;
    }
    if (b < low || b > high) {
      // The sequence breaks off: what was read of it is one U+FFFD, and
      // the byte that broke it is read again as the start of the next.
      std::ungetc(b, m_file);
      return kReplacement;
    }
    c = (c << 6) | static_cast<char32_t>(b & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  if (c < 0x10000) return static_cast<CodeUnit>(c);
  m_pendingLow = static_cast<CodeUnit>(0xDC00 + ((c - 0x10000) & 0x3FF));
  return static_cast<CodeUnit>(0xD800 + ((c - 0x10000) >> 10));
}

bool CWinFile::WriteChar(CodeUnit c) {
  if (m_file == nullptr || m_pc == nullptr) return false;
  switch (m_pc->form) {
    case UnitForm::SingleByte: return WriteSingleByteUnit(c);
    case UnitForm::Utf8: return WriteUtf8Unit(c);
    case UnitForm::Utf16le:
    case UnitForm::Utf16be: return WriteUtf16Unit(c);
  }
  return false;
}

bool CWinFile::WriteUtf16Unit(CodeUnit c) {
  // U+FFFD stands for what the input could not decode: a replacement too.
  NoteWritten(c, c == kReplacement);
  if (c == '\n' && m_pc->crlf && !WriteUtf16Unit('\r')) return false;
  const uint8_t low = static_cast<uint8_t>(c & 0xFF);
  const uint8_t high = static_cast<uint8_t>(c >> 8);
  if (m_pc->form == UnitForm::Utf16be) return PutByte(high) && PutByte(low);
  return PutByte(low) && PutByte(high);
}

bool CWinFile::WriteSingleByteUnit(CodeUnit c) {
  // A character outside the BMP gets one substitute, written for its high half.
  const bool completesPair = m_afterHighSurrogate && IsLowSurrogate(c);
  m_afterHighSurrogate = IsHighSurrogate(c);
  if (completesPair) {
    NoteWritten(c, true);
    return true;
  }
  if (c == '\n' && m_pc->crlf && !PutByte('\r')) return false;
  bool substitute = false;
  const uint8_t b = m_pc->encode(c, &substitute);
  NoteWritten(c, substitute);
  return PutByte(b);
}

bool CWinFile::WriteUtf8Unit(CodeUnit c) {
  bool written = true;
  if (m_pendingHigh != 0) {
    const CodeUnit high = m_pendingHigh;
    m_pendingHigh = 0;
    if (IsLowSurrogate(c)) {
      return PutUtf8(0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (c - 0xDC00));
    }
    NoteWritten(high, true);
    NoteWritten(c, false);  // a lone high half is no pair with what follows
    written = PutUtf8(kReplacement);
  }
  if (IsHighSurrogate(c)) {
    m_pendingHigh = c;
    return written;
  }
  if (IsLowSurrogate(c)) {  // a lone low half
    NoteWritten(c, true);
    return PutUtf8(kReplacement) && written;
  }
  NoteWritten(c, c == kReplacement);  // what the input could not decode
  if (c == '\n' && m_pc->crlf) written = PutByte('\r') && written;
  return PutUtf8(c) && written;
}

bool CWinFile::PutByte(uint8_t b) { return std::putc(b, m_file) != EOF; }

bool CWinFile::PutUtf8(char32_t c) {
  if (c < 0x80) return PutByte(static_cast<uint8_t>(c));
  if (c < 0x800) {
    return PutByte(static_cast<uint8_t>(0xC0 | (c >> 6))) &&
           PutByte(static_cast<uint8_t>(0x80 | (c & 0x3F)));
  }
  if (c < 0x10000) {
    return PutByte(static_cast<uint8_t>(0xE0 | (c >> 12))) &&
           PutByte(static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F))) &&
           PutByte(static_cast<uint8_t>(0x80 | (c & 0x3F)));
  }
  return PutByte(static_cast<uint8_t>(0xF0 | (c >> 18))) &&
         PutByte(static_cast<uint8_t>(0x80 | ((c >> 12) & 0x3F))) &&
         PutByte(static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F))) &&
         PutByte(static_cast<uint8_t>(0x80 | (c & 0x3F)));
}
