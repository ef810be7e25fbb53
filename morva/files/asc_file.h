// A BASIC listing kept on the BK in text form: a 6-byte header file and
// numbered part files of 256 bytes each, all of them BK binary files with
// the load address 036756. CBKASCFile makes such a set look like one
// character stream; the text ends with the byte 0x1A.
//
//   header  "NAME  .ASC.bin"        036756, 2, 0
//   part k  "NAME  .ASC #00k.bin"   036756, 0400, 256 bytes of BK characters
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/base_file.h"

class CBKASCFile : public CBaseFile {
 public:
  explicit CBKASCFile(const std::wstring& fileName);
  ~CBKASCFile() override;

  // For reading, the name is that of the header file and must end in
  // ".bin"; the header and part 000 must be sound. For writing, the header
  // file is written at once, named after the first six characters of the
  // file name before its first dot (padded with spaces) plus ".ASC.bin".
  bool Open(bool forWrite) override;
  CodeUnit ReadChar() override;
  // Buffers one character; every 257th character first writes the full
  // buffer as the next part. False when that part could not be written.
  bool WriteChar(CodeUnit c) override;
  // Positions inside the data of the part that is open (its header skipped).
  long Tell() override;
  int Seek(long offset, int origin) override;
  bool IsEOF() override;
  bool WriteWord(uint16_t value);

  // Writes the buffered characters as the next part, unless nothing new has
  // been buffered since the last part. False when the part file could not
  // be created or written completely.
  bool FlushPart();
  void MakePartName();
  bool OpenPartForRead();

  // The file that the set must never overwrite (the input being read).
  void ProtectFile(const std::wstring& name) { m_protectedName = name; }
  // Name of the part or header file that was written last or failed.
  const std::wstring& GetPartName() const { return m_partName; }
  // Removes the header and every part that this object has written.
  void RemoveWrittenFiles();

  // The base name of a set written under this output name: the directory
  // part as given, then six characters of the file name, then ".ASC".
  static std::wstring BaseNameFor(const std::wstring& fileName);

 private:
  static constexpr int kPartSize = 256;

  bool OpenForWrite(const std::wstring& name);

  bool m_ended = false;
  int m_partNo = 0;
  int m_partPos = 0;
  std::wstring m_baseName;
  std::wstring m_partName;
  uint8_t m_buffer[kPartSize];
  bool m_flushed = false;
  std::wstring m_protectedName;
  std::vector<std::wstring> m_written;  // header and parts created so far
};

// Copies any input into a BASIC ASC set: line ends become 0x0A, carriage
// returns vanish, tabs become spaces, and the text ends with 0x1A. A set that
// could not be written completely is reported and removed.
void ConvertToBasicASC(CBaseFile* input, CBKASCFile* output);
