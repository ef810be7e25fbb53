// An in-memory file for unit tests of the conversion routines: the same
// interface as the real files, over a buffer instead of the disk.
//
// Each cell of the buffer is one character for ReadChar and, through its low
// byte, one byte for ReadByte and ReadWord, as in a BK editor file. Written
// characters are recorded as they are; raw bytes as Raw(byte), so that a test
// sees which operation wrote what.
#pragma once

#include <cstdio>
#include <string>

#include "files/base_file.h"

inline constexpr char16_t Raw(uint8_t byte) { return static_cast<char16_t>(0xF000 + byte); }

class MemoryFile : public CBaseFile {
 public:
  // A name that cannot exist on disk, so the file checks of the routines
  // (same file, removal of a partial output) never touch a real file.
  explicit MemoryFile(std::u16string content = u"",
                      const std::wstring& name = L"/nonexistent-morva-test/memory")
      : CBaseFile(name), m_content(std::move(content)) {}

  bool failOpen = false;
  int writesBeforeFailure = -1;  // -1: writes never fail
  bool failClose = false;  // a write still buffered fails when the file is closed
  FileResult readFailure;  // what ReadFailure reports
  int openCount = 0;
  bool openedForWrite = false;
  bool closed = false;
  bool discarded = false;
  std::u16string written;

  bool Open(bool forWrite) override {
    ++openCount;
    openedForWrite = forWrite;
    m_open = !failOpen;
    return m_open;
  }
  bool Close() override {
    const bool wasOpen = m_open;
    m_open = false;
    closed = true;
    return !(wasOpen && failClose);
  }
  void Discard() override {
    Close();
    discarded = true;
  }
  FileResult ReadFailure() override { return readFailure; }
  CodeUnit ReadChar() override { return Next(); }
  uint8_t ReadByte() override { return static_cast<uint8_t>(Next()); }
  uint16_t ReadWord() override {
    if (m_pos + 2 > m_content.size()) {
      m_pos = m_content.size();
      m_eof = true;
      return 0;
    }
    const uint16_t low = static_cast<uint8_t>(m_content[m_pos]);
    const uint16_t high = static_cast<uint8_t>(m_content[m_pos + 1]);
    m_pos += 2;
    return static_cast<uint16_t>(low | (high << 8));
  }
  bool WriteChar(CodeUnit c) override { return Record(c); }
  bool WriteByte(uint8_t b) override { return Record(Raw(b)); }
  long Tell() override { return static_cast<long>(m_pos); }
  int Seek(long offset, int origin) override {
    long base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? static_cast<long>(m_pos)
                                                             : static_cast<long>(m_content.size());
    if (base + offset < 0) return -1;
    m_pos = static_cast<size_t>(base + offset);
    m_eof = false;  // like fseek, a seek clears the end-of-file indicator
    return 0;
  }
  bool IsEOF() override { return !m_open || m_eof; }

 private:
  CodeUnit Next() {
    if (!m_open || m_pos >= m_content.size()) {
      m_eof = true;
      return 0;
    }
    return m_content[m_pos++];
  }
  bool Record(char16_t value) {
    if (!m_open || writesBeforeFailure == 0) return false;
    if (writesBeforeFailure > 0) --writesBeforeFailure;
    written += value;
    return true;
  }

  std::u16string m_content;
  size_t m_pos = 0;
  bool m_open = false;
  bool m_eof = false;
};
