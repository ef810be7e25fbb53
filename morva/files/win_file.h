// A text file on the PC side in one of the encodings of text_format.h
// (UTF-16BE is read when its byte-order mark announces it, and written by
// no mode), presented as a stream of
// 16-bit code units whatever its bytes are. Opened for reading it detects
// the encoding itself and keeps what it found and what it will read in its
// read notes, for the run to report; opened for writing it produces exactly the bytes a PC text file
// of that encoding has: byte-order marks for UTF-8 and UTF-16, CR LF line
// ends everywhere but in KOI8R.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "files/base_file.h"
#include "files/text_format.h"

class CWinFile : public CBaseFile {
 public:
  CWinFile(const std::wstring& fileName, TextFormat encoding);
  ~CWinFile() override;

  // Reading: detects the encoding, settles the one in force, notes both
  // (GetReadNotes), opens the file and skips a byte-order mark of the encoding
  // in force. A code page asked for is kept whatever the detection finds; a
  // Unicode form asked for lets the detection choose among the Unicode forms
  // only. Writing: Auto becomes UTF-16LE; the file starts with the
  // byte-order mark of UTF-8 or UTF-16.
  bool Open(bool forWrite) override;
  // Writes out a surrogate half still waiting for its partner, then closes.
  bool Close() override;
  CodeUnit ReadChar() override;
  bool WriteChar(CodeUnit c) override;
  // Byte positions of the file, byte-order mark included.
  int Seek(long offset, int origin) override;

  // Decides the encoding from the file's first kDetectionPrefix bytes (see
  // encoding_detect.h): among the Unicode forms only when the encoding
  // asked for is one of them. Opens the file by itself and leaves it
  // closed; Auto when the file cannot be opened.
  TextFormat DetectEncoding();
  // One UTF-8 sequence as one code unit; a four-byte sequence comes back
  // as a surrogate pair over two calls. A byte that cannot start a
  // sequence, or a sequence that breaks off, gives one U+FFFD; the byte
  // that broke it starts the next read, so a stray byte never takes the
  // text after it along.
  CodeUnit ReadUtf8Char();

  TextFormat GetEncoding() const { return m_encoding; }
  // Bytes the last detection read.
  uint64_t GetBytesRead() const { return m_bytesRead; }

 private:
  bool OpenForWrite();
  bool OpenForRead();
  bool PutByte(uint8_t b);
  bool PutUtf8(char32_t c);
  bool WriteUtf8Unit(CodeUnit c);
  bool WriteUtf16Unit(CodeUnit c);
  bool WriteSingleByteUnit(CodeUnit c);
  CodeUnit ReadUtf16Unit();
  CodeUnit ReadSingleByte();

  // The encoding in force and its row; null while Auto awaits the detection.
  void SetEncoding(TextFormat encoding);
  TextFormat m_encoding;
  const PcEncoding* m_pc;
  uint64_t m_bytesRead = 0;
  size_t m_byteOrderMark = 0;  // length of the mark the last detection found
  // Reading UTF-8: the low half of a surrogate pair still to be returned.
  CodeUnit m_pendingLow = 0;
  // Writing UTF-8: a high surrogate waiting for its low half.
  CodeUnit m_pendingHigh = 0;
  // Writing a code page: the last unit was a high surrogate, so a low
  // surrogate now completes a character whose substitute is written already.
  bool m_afterHighSurrogate = false;
};
