// A BASIC listing kept on the BK in text form: a 6-byte header file and
// numbered part files of 256 bytes each, all of them BK binary files with
// the load address 036756. CBkAscFile makes such a set look like one
// character stream; the text ends with the byte 0x1A.
//
//   header  "NAME  .ASC.bin"        036756, 2, 0
//   part k  "NAME  .ASC #00k.bin"   036756, 0400, 256 bytes of BK characters
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/base_file.h"

// The format of a set. Every file of it is a BK binary file: a load-address
// word and a length word, then the data.
inline constexpr uint16_t kAscLoadAddress = 036756;
inline constexpr int kAscFileHeaderSize = 4;         // the two words before the data
inline constexpr uint16_t kAscHeaderDataLength = 2;  // the header file's data: one zero word
inline constexpr int kAscPartSize = 256;             // the data of every part
inline constexpr uint8_t kAscEndOfText = 0x1A;       // the byte after the last character
// The most parts a set that morva writes has: #000 to #998. From #1000 the
// part names would change form, and no BK holds a listing that long.
inline constexpr int kAscMostParts = 999;

class CBkAscFile : public CBaseFile {
 public:
  explicit CBkAscFile(const std::wstring& fileName);
  ~CBkAscFile() override;  // settles a set nobody committed or discarded

  // For reading, the name is that of the header file and must end in
  // ".bin"; the header and part 000 must be sound. For writing, the name is
  // that of any file of the set; the header file is named after the first
  // six characters of the file name before its first dot (padded with
  // spaces; dots that start the name are skipped) plus ".ASC.bin". Every
  // file of the set is written under a temporary name, and Commit puts them
  // all in place together.
  bool Open(bool forWrite) override;
  // A missing, short or damaged part ends the text and leaves its reason
  // for ReadFailure; only the end byte 0x1A ends a sound set.
  CodeUnit ReadChar() override;
  // Buffers one character; every 257th character first writes the full
  // buffer as the next part. False when that part could not be written.
  // kAscEndOfText is written as itself and ends the text.
  bool WriteChar(CodeUnit c) override;
  // Positions inside the data of the part that is open (its header skipped).
  long Tell() override;
  int Seek(long offset, int origin) override;
  bool IsEOF() override;
  // Puts the header and every part in place, then removes the parts that an
  // older, longer set of the same name left behind.
  bool Commit(std::wstring* failedName) override;
  FileResult ReadFailure() override;

  // Writes the buffered characters as the next part, unless nothing new has
  // been buffered since the last part. False when the part file could not
  // be created or written completely, or when it would be one part more
  // than kAscMostParts (then TooManyParts is true and nothing is written).
  bool FlushPart();
  bool TooManyParts() const { return m_tooManyParts; }

  // The file that the set must never overwrite (the input being read).
  void ProtectFile(const std::wstring& name) { m_protectedName = name; }
  // Name of the part or header file that was written last or failed.
  const std::wstring& GetPartName() const { return m_partName; }

  // The base name of a set written under this output name: the directory
  // part as given, then up to six characters of the file name before its
  // first dot, padded with spaces, then ".ASC". A name that starts with dots
  // gives its visible part: .hidden.bas gives "hidden.ASC".
  static std::wstring BaseNameFor(const std::wstring& fileName);
  // The header file of that set: the base name and ".bin".
  static std::wstring HeaderNameFor(const std::wstring& fileName);
  // The part files of the set with this base name that exist now, numbered
  // from firstPart up, in the order of their numbers. Only names that
  // MakePartName gives count ("#007", "#1000", not "#0007").
  static std::vector<std::wstring> FindParts(const std::wstring& baseName, int firstPart);

 private:
  bool WriteWord(uint16_t value);
  // Sets m_partName to the name of part m_partNo.
  void MakePartName();
  // Opens part m_partName and skips its header; false, with the reason for
  // ReadFailure, when the part is missing, short or not a part of a set.
  bool OpenPartForRead();
  bool OpenForWrite(const std::wstring& name);
  bool FailPart(FileError error);

  bool m_ended = false;
  int m_partNo = 0;
  int m_partPos = 0;
  std::wstring m_baseName;
  std::wstring m_partName;
  uint8_t m_buffer[kAscPartSize];
  bool m_flushed = false;
  bool m_tooManyParts = false;
  std::wstring m_protectedName;
  FileResult m_readFailure;  // why reading the set stopped short
};
