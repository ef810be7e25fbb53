// The file family through which morva reads and writes every text. A
// conversion routine sees only this interface: it never learns whether a
// character came from a UTF-8 file, a BK editor file or a BASIC ASC set.
//
// An output is written under a temporary name beside its own and comes into
// place whole: Commit renames it once it is complete, Discard removes it. An
// output destroyed without either is committed when every write succeeded
// and no exception is on its way, and discarded otherwise, so that an object
// used like a stream (open, write, destroy) leaves its file as expected.
//
// Characters cross the interface as 16-bit code units (CodeUnit). Reading
// works "read first, then test": IsEOF turns true only after a read that ran
// into the end, and the value of that read is dropped by the caller.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "files/file_error.h"
#include "files/text_format.h"
#include "system/platform.h"

using CodeUnit = char16_t;

// What opening an input found out that the run reports, since the file
// classes print nothing themselves: for a PC text, the encoding the
// detection found and the one it is read in (Auto: no detection ran).
struct ReadNotes {
  TextFormat detected = TextFormat::Auto;
  TextFormat used = TextFormat::Auto;
  // For a BK text: it starts with the 4-byte header of a BK file, whose
  // words are these, and is read behind it.
  bool bkHeaderSkipped = false;
  uint16_t bkAddress = 0;
  uint16_t bkLength = 0;
};

// The tab stops of the BK editors: every eight columns. A BK text is read
// with them unless the command line gives another width, and the Edasp
// output places its tab bytes on them.
inline constexpr int kBkTabWidth = 8;
// First word of a BK editor text that carries a header of its own; the next
// word is the byte offset at which the text begins.
inline constexpr uint16_t kEditorTextHeader = 006100;

// The tab widths that SetTabSize takes; another -t value is ignored.
inline bool IsAcceptedTabSize(int n) { return n >= 2 && n <= 16; }

class CBaseFile {
 public:
  explicit CBaseFile(const std::wstring& fileName);
  virtual ~CBaseFile();  // closes the stream, settles an output (see above)
  CBaseFile(const CBaseFile&) = delete;
  CBaseFile& operator=(const CBaseFile&) = delete;

  virtual const std::wstring& GetFileName();
  virtual int GetTabSize();
  virtual void SetTabSize(int n);    // accepted only from 2 to 16
  virtual bool Open(bool forWrite);  // the base class opens nothing
  // Closes the stream if one is open. False when a write to it failed or
  // the final flush did, so that a caller can report an incomplete output.
  virtual bool Close();
  virtual CodeUnit ReadChar();
  virtual uint8_t ReadByte();
  virtual uint16_t ReadWord();
  virtual bool WriteChar(CodeUnit c);
  virtual bool WriteByte(uint8_t b);
  virtual long Tell();
  virtual int Seek(long offset, int origin);
  // True when closed, at the end of the file, or after a read error (a
  // stream that cannot be read any further must end a reading loop too).
  virtual bool IsEOF();

  // Closes an output and puts it in place under its name. False when a write
  // or the close failed or the file could not be put in place; the output is
  // then removed, and *failedName (unless null) names the file that failed.
  virtual bool Commit(std::wstring* failedName);
  // Closes an output and removes what was written of it.
  virtual void Discard();
  // Every file name that Commit will put in place.
  virtual std::vector<std::wstring> GetOutputNames();
  // After reading: why the text ended before the end of the file (a read
  // error, a damaged set), or no error when it did not.
  virtual FileResult ReadFailure();
  const ReadNotes& GetReadNotes() const { return m_notes; }
  // After an output failed to open or to go in place: why, when there is
  // more to say than that it failed (the system's reason, a write-protected
  // file, a folder another run held); else no error.
  FileResult OutputFailure() const;

  // Characters written that this file could not hold and wrote as a
  // substitute (a space, '?', е for ё, U+FFFD), and in a Unicode file the
  // U+FFFD that stands for input that could not be decoded: how many, and
  // the first of them (a character beyond the Basic Multilingual Plane as a
  // whole).
  uint64_t GetReplacedCount() const { return m_replacedCount; }
  char32_t GetFirstReplaced() const { return m_firstReplaced; }

 protected:
  // Opens m_file for writing m_fileName; an output not yet committed from
  // an earlier Open is discarded first.
  bool OpenOutputStream();
  // Opens m_file for writing `name` as one more output of this file, put in
  // place with the others by Commit.
  bool OpenOutput(const std::wstring& name);
  // What the destructors do with an output nobody committed or discarded.
  void SettleOutputs();
  // Commit, with `whileLocked` run once the outputs are in place, under the
  // lock they go in with (see CommitOutputs).
  bool CommitAll(std::wstring* failedName, const std::function<void()>& whileLocked);

  // The outputs written and not yet put in place, by their final names.
  struct Output {
    std::wstring name;
    std::unique_ptr<OutputFile> file;
  };
  std::vector<Output> m_outputs;
  bool m_outputFailed = false;           // a write or close of an output failed

  // An output calls this with every code unit it writes, `replaced` when the
  // unit went out as a substitute. The halves of a surrogate pair are one
  // character: a replaced high half takes its low half along.
  void NoteWritten(CodeUnit c, bool replaced);

  ReadNotes m_notes;
  FILE* m_file = nullptr;
  OutputFile* m_writing = nullptr;  // the output m_file belongs to, if any
  std::wstring m_fileName;
  int m_tabSize = kBkTabWidth;

 private:
  // The reason for which an output `name` failed with `status` (and the
  // system's error code); no error where the status says no more than that
  // it failed.
  static FileResult OutputReason(OutputFile::Status status, const std::wstring& name,
                                 int systemError);
  // Why the last output failed to open or to go in place (see OutputFailure).
  FileResult m_outputFailure;

  uint64_t m_replacedCount = 0;
  char32_t m_firstReplaced = 0;
  CodeUnit m_replacedHigh = 0;  // the last unit written, a replaced high surrogate
};

// A BK editor text (Edasp or Vortex): one byte per character in the BK
// character set, opened in binary mode, written without a header. A text
// read from a BK file (the editor saved to tape or disk) may start with the
// file's 4-byte header, load address and length: when the length word is
// the length of the rest of the file (and not 0), the text is read behind
// the header, the read notes say so, and positions (Tell, Seek) count from
// the text's first byte. A first word kEditorTextHeader is the editor's own
// header, whatever the next word says.
class CBkFile : public CBaseFile {
 public:
  explicit CBkFile(const std::wstring& fileName);
  bool Open(bool forWrite) override;
  CodeUnit ReadChar() override;
  bool WriteChar(CodeUnit c) override;
  long Tell() override;
  int Seek(long offset, int origin) override;

 private:
  bool SkipBkHeader();
  long m_textStart = 0;  // 4 behind a BK file header, 0 otherwise
};
