// A text file on the PC side in one of five encodings, presented as a
// stream of 16-bit code units whatever its bytes are. Opened for reading it
// detects the encoding itself and reports on the console what it found and
// what it will read; opened for writing it produces exactly the bytes a PC
// text file of that encoding has: byte-order marks for UTF-8 and UTF-16LE,
// CR LF line ends everywhere but in KOI8R.
#pragma once

#include <cstdint>
#include <string>

#include "files/base_file.h"

enum class TextFormat : int32_t {
  Auto = 0,
  Koi8r = 1,
  Oem866 = 2,
  Win1251 = 3,
  Utf8 = 4,
  Utf16le = 5,
};

// "KOI8R", "OEM CP-866", "Windows 1251", "Unicode UTF-8", "Unicode UTF-16LE",
// and "Неизвестно" for any other code.
const wchar_t* EncodingName(TextFormat format);

class CWinFile : public CBaseFile {
 public:
  CWinFile(const std::wstring& fileName, TextFormat encoding);
  ~CWinFile() override;

  // Reading: detects the encoding, settles the one in force, prints the
  // report line, opens the file and skips a byte-order mark of the encoding
  // in force. Writing: Auto becomes UTF-16LE; the file starts with the
  // byte-order mark of UTF-8 or UTF-16LE.
  bool Open(bool forWrite) override;
  // Writes out a surrogate half still waiting for its partner, then closes.
  bool Close() override;
  CodeUnit ReadChar() override;
  bool WriteChar(CodeUnit c) override;
  // Byte positions of the file, byte-order mark included.
  int Seek(long offset, int origin) override;

  // Decides the encoding from a byte-order mark or from the statistics of
  // the file's first bytes. Opens the file by itself and leaves it closed;
  // Auto when the file cannot be opened.
  TextFormat DetectEncoding();
  // One UTF-8 sequence as one code unit; a four-byte sequence comes back
  // as a surrogate pair over two calls. Malformed sequences give U+FFFD,
  // the lead bytes 0xFE and 0xFF give 0 and consume seven bytes.
  CodeUnit ReadUTF8Char();

  TextFormat GetEncoding() const { return m_encoding; }
  // Bytes the statistical pass of the last detection read.
  uint64_t GetBytesRead() const { return m_bytesRead; }

 private:
  // The next byte for the detection: -1 once the stream is at its end (or
  // failed), otherwise the byte read, 0 when the read ran into the end.
  int ReadDetectByte();
  bool OpenForWrite();
  bool OpenForRead();
  bool PutByte(uint8_t b);
  bool PutUtf8(char32_t c);
  bool WriteUtf8Unit(CodeUnit c);
  bool WriteSingleByteUnit(CodeUnit c);
  CodeUnit ReadUtf16Unit();
  CodeUnit ReadSingleByte();

  TextFormat m_encoding;
  uint64_t m_bytesRead = 0;
  bool m_detectAtEnd = false;  // the detection pass has run into the end
  // Reading UTF-8: the low half of a surrogate pair still to be returned.
  CodeUnit m_pendingLow = 0;
  // Writing UTF-8: a high surrogate waiting for its low half.
  CodeUnit m_pendingHigh = 0;
  // Writing a code page: the last unit was a high surrogate, so a low
  // surrogate now completes a character whose substitute is written already.
  bool m_afterHighSurrogate = false;
};
