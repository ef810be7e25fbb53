#include "files/win_file.h"

#include "files/bk_charset.h"
#include "files/code_pages.h"
#include "front/console.h"
#include "front/platform.h"

namespace {

constexpr CodeUnit kReplacement = 0xFFFD;
// What the UTF-16LE read gives once it runs into the end of the file.
constexpr CodeUnit kUtf16EndOfFile = 0xFFFF;
constexpr int kPcTabSize = 4;

constexpr uint8_t kUtf8Bom[3] = {0xEF, 0xBB, 0xBF};
constexpr uint8_t kUtf16leBom[2] = {0xFF, 0xFE};

// A lead byte that announces this many bytes (itself included) is one that
// no UTF-8 sequence may start with: 0xFE and 0xFF.
constexpr int kOverlongLeadBytes = 7;

bool IsHighSurrogate(CodeUnit c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(CodeUnit c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Decodes one sequence (lead byte and the further bytes its 1-bits ask
// for) into a code point; U+FFFD when it is not well-formed UTF-8.
char32_t DecodeUtf8(const uint8_t* bytes, int count) {
  const uint8_t lead = bytes[0];
  if (lead < 0x80) return count == 1 ? lead : kReplacement;
  int length;
  char32_t value;
  char32_t minimum;
  if (lead >= 0xC0 && lead <= 0xDF) {
    length = 2; value = lead & 0x1F; minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3; value = lead & 0x0F; minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF7) {
    length = 4; value = lead & 0x07; minimum = 0x10000;
  } else {
    return kReplacement;  // a stray continuation byte, or a 5- or 6-byte form
  }
  if (count != length) return kReplacement;
  for (int i = 1; i < length; ++i) {
    if ((bytes[i] & 0xC0) != 0x80) return kReplacement;
    value = (value << 6) | (bytes[i] & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return kReplacement;
  }
  return value;
}

// The number of further bytes a lead byte announces: its 1-bits from bit 6
// downwards up to the first 0-bit.
int AnnouncedBytes(uint8_t lead) {
  if ((lead & 0x80) == 0) return 0;
  int count = 0;
  for (int bit = 6; bit >= 0 && (lead & (1 << bit)) != 0; --bit) ++count;
  return count;
}

}  // namespace

const wchar_t* EncodingName(TextFormat format) {
  switch (format) {
    case TextFormat::Koi8r: return L"KOI8R";
    case TextFormat::Oem866: return L"OEM CP-866";
    case TextFormat::Win1251: return L"Windows 1251";
    case TextFormat::Utf8: return L"Unicode UTF-8";
    case TextFormat::Utf16le: return L"Unicode UTF-16LE";
    default: return L"Неизвестно";
  }
}

CWinFile::CWinFile(const std::wstring& fileName, TextFormat encoding)
    : CBaseFile(fileName), m_encoding(encoding) {
  m_tabSize = kPcTabSize;
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
  if (m_encoding == TextFormat::Auto) m_encoding = TextFormat::Utf16le;
  if (!OpenOutputStream()) return false;
  bool written = true;
  if (m_encoding == TextFormat::Utf8) {
    for (uint8_t b : kUtf8Bom) written = PutByte(b) && written;
  } else if (m_encoding == TextFormat::Utf16le) {
    for (uint8_t b : kUtf16leBom) written = PutByte(b) && written;
  }
  if (!written) {
    Discard();
    return false;
  }
  return true;
}

bool CWinFile::OpenForRead() {
  const TextFormat detected = DetectEncoding();
  if (detected == TextFormat::Auto) return false;  // the file cannot be opened
  // An explicit code page is never overridden; an explicit Unicode request
  // follows the detection between the two Unicode forms only.
  if (m_encoding == TextFormat::Auto ||
      (m_encoding == TextFormat::Utf8 && detected == TextFormat::Utf16le) ||
      (m_encoding == TextFormat::Utf16le && detected == TextFormat::Utf8)) {
    m_encoding = detected;
  }
  ConsolePrint(L"Автоопределение кодировки: %s, преобразование будет из: %s\n",
               EncodingName(detected), EncodingName(m_encoding));
  m_file = OpenFile(m_fileName, "rb");
  if (m_file == nullptr) return false;

  const uint8_t* bom = nullptr;
  size_t bomSize = 0;
  if (m_encoding == TextFormat::Utf16le) {
    bom = kUtf16leBom;
    bomSize = sizeof kUtf16leBom;
  } else if (m_encoding == TextFormat::Utf8) {
    bom = kUtf8Bom;
    bomSize = sizeof kUtf8Bom;
  }
  if (bomSize != 0) {
    uint8_t head[3] = {0, 0, 0};
    const size_t got = std::fread(head, 1, bomSize, m_file);
    bool found = got == bomSize;
    for (size_t i = 0; found && i < bomSize; ++i) found = head[i] == bom[i];
    if (!found) std::fseek(m_file, 0, SEEK_SET);
  }
  return true;
}

bool CWinFile::Close() {
  bool flushed = true;
  if (m_file != nullptr && m_pendingHigh != 0) {
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
  if (m_file == nullptr) return 0;
  switch (m_encoding) {
    case TextFormat::Koi8r:
    case TextFormat::Oem866:
    case TextFormat::Win1251:
      return ReadSingleByte();
    case TextFormat::Utf8:
      return ReadUTF8Char();
    case TextFormat::Utf16le:
      return ReadUtf16Unit();
    default:
      return 0;
  }
}

CodeUnit CWinFile::ReadSingleByte() {
  const int b = std::getc(m_file);
  if (b == EOF) return 0;
  switch (m_encoding) {
    case TextFormat::Koi8r:
      // Unlike a BK editor file, 0x7F stays itself here.
      return b < 0x80 ? static_cast<CodeUnit>(b) : BKCharTable[b - 0x80];
    case TextFormat::Oem866:
      return CodePageToUnicode(CodePage::Oem866, static_cast<uint8_t>(b));
    default:
      return CodePageToUnicode(CodePage::Win1251, static_cast<uint8_t>(b));
  }
}

CodeUnit CWinFile::ReadUtf16Unit() {
  const int low = std::getc(m_file);
  if (low == EOF) return kUtf16EndOfFile;
  const int high = std::getc(m_file);
  if (high == EOF) {
    // A lone byte at the end is half a unit: it reads as U+FFFD, and the
    // end indicator is cleared so that the caller keeps it; the next read
    // runs into the end again.
    std::clearerr(m_file);
    return kReplacement;
  }
  return static_cast<CodeUnit>(low | (high << 8));
}

CodeUnit CWinFile::ReadUTF8Char() {
  if (m_file == nullptr) return 0;
  if (m_pendingLow != 0) {
    const CodeUnit low = m_pendingLow;
    m_pendingLow = 0;
    return low;
  }
  uint8_t buffer[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  const int lead = std::getc(m_file);
  if (lead == EOF) return 0;
  buffer[0] = static_cast<uint8_t>(lead);
  const int announced = AnnouncedBytes(buffer[0]);
  int count = 1;
  for (int i = 0; i < announced; ++i) {
    const int b = std::getc(m_file);
    if (b == EOF) {
      // The file ends inside the sequence: keep it as U+FFFD instead of
      // letting the end indicator drop it (the next read finds the end).
      std::clearerr(m_file);
      return kReplacement;
    }
    buffer[count++] = static_cast<uint8_t>(b);
    if (count == kOverlongLeadBytes) return 0;
  }
  // The sequence counts up to its first zero byte.
  int length = 0;
  while (length < count && buffer[length] != 0) ++length;
  if (length == 0) return 0;
  if (length < count) return kReplacement;
  const char32_t c = DecodeUtf8(buffer, length);
  if (c < 0x10000) return static_cast<CodeUnit>(c);
  m_pendingLow = static_cast<CodeUnit>(0xDC00 + ((c - 0x10000) & 0x3FF));
  return static_cast<CodeUnit>(0xD800 + ((c - 0x10000) >> 10));
}

bool CWinFile::WriteChar(CodeUnit c) {
  if (m_file == nullptr) return false;
  switch (m_encoding) {
    case TextFormat::Koi8r:
    case TextFormat::Oem866:
    case TextFormat::Win1251:
      return WriteSingleByteUnit(c);
    case TextFormat::Utf8:
      return WriteUtf8Unit(c);
    case TextFormat::Utf16le:
      if (c == '\n' && !(PutByte('\r') && PutByte(0))) return false;
      return PutByte(static_cast<uint8_t>(c & 0xFF)) && PutByte(static_cast<uint8_t>(c >> 8));
    default:
      return false;
  }
}

bool CWinFile::WriteSingleByteUnit(CodeUnit c) {
  // A character outside the BMP gets one substitute, written for its high half.
  const bool completesPair = m_afterHighSurrogate && IsLowSurrogate(c);
  m_afterHighSurrogate = IsHighSurrogate(c);
  if (completesPair) return true;
  if (m_encoding == TextFormat::Koi8r) return PutByte(UnicodeToBK(c));  // binary: LF stays LF
  if (c == '\n' && !PutByte('\r')) return false;
  const CodePage page = m_encoding == TextFormat::Oem866 ? CodePage::Oem866 : CodePage::Win1251;
  return PutByte(UnicodeToCodePage(page, c));
}

bool CWinFile::WriteUtf8Unit(CodeUnit c) {
  bool written = true;
  if (m_pendingHigh != 0) {
    const CodeUnit high = m_pendingHigh;
    m_pendingHigh = 0;
    if (IsLowSurrogate(c)) {
      return PutUtf8(0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (c - 0xDC00));
    }
    written = PutUtf8(kReplacement);
  }
  if (IsHighSurrogate(c)) {
    m_pendingHigh = c;
    return written;
  }
  if (IsLowSurrogate(c)) return PutUtf8(kReplacement) && written;  // a lone low half
  if (c == '\n') written = PutByte('\r') && written;
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
