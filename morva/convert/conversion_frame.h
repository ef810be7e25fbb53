// What every conversion routine does around its own rules: open the input,
// then the output, find where the text starts, hand each character read to
// the routine, and make sure that an output which could not be written
// completely does not stay behind as if it were a good file.
#pragma once

#include <cstdint>

#include "files/base_file.h"
#include "files/file_error.h"

// Opens the input for reading, then the output for writing. When the input
// fails: its own ReadFailure (such as a missing part of a set), or
// CannotOpen with its name; the output is then not created. An output that
// designates the input file itself is never opened (it would destroy the
// text being read) and fails as CannotOpen; an output that does not open
// fails with its OutputFailure (the system's reason, a write-protected
// file), or CannotOpen when that has no more to say.
FileResult OpenForConversion(CBaseFile* input, CBaseFile* output);

// The output side of a conversion. Writes stop at the first failure, and
// Finish reports a failed input or output and removes what was written.
class OutputWriter {
 public:
  explicit OutputWriter(CBaseFile* output) : m_output(output) {}

  void Char(CodeUnit c) {
    if (m_ok) m_ok = m_output->WriteChar(c);
  }
  void Byte(uint8_t b) {
    if (m_ok) m_ok = m_output->WriteByte(b);
  }
  void Spaces(long long count) {
    for (; count > 0 && m_ok; --count) Char(u' ');
  }
  bool ok() const { return m_ok; }
  // To call after the last write, while the input is still open: closes the
  // output, which pushes out what is still buffered. When the input could
  // not be read to its end, or any write or the close failed, removes the
  // output and returns why (the input's ReadFailure, or CannotWrite with
  // the output's name). Otherwise the complete output is left to be put in
  // place with Commit.
  FileResult Finish(CBaseFile* input);

 private:
  CBaseFile* m_output;
  bool m_ok = true;
};

// Leaves the input at the first character of its text: after an editor text
// header (first word 006100, then the byte offset of the text) if it has one,
// otherwise where it was.
void SkipEditorTextHeader(CBaseFile* input);

// Where the text of an input starts for a routine: at the first byte, or
// behind an editor text header if the input has one (SkipEditorTextHeader).
enum class TextStart { FirstByte, AfterEditorHeader };

// The loop that the routines share: opens both files, finds where the text
// starts, calls take(c, out) with every character read, the OutputWriter
// out, until the input ends or a write fails, then finishes the output
// (OutputWriter::Finish). Reading is "read, then test": the value of the
// read that ran into the end is not handed on.
template <typename Take>
FileResult RunConversion(CBaseFile* input, CBaseFile* output, TextStart start, Take&& take) {
  FileResult opened = OpenForConversion(input, output);
  if (!opened.ok()) return opened;
  if (start == TextStart::AfterEditorHeader) SkipEditorTextHeader(input);
  OutputWriter out(output);
  if (!input->IsEOF()) {
    while (out.ok()) {
      const CodeUnit c = input->ReadChar();
      if (input->IsEOF()) break;
      take(c, out);
    }
  }
  return out.Finish(input);
}

// Column reached by a tab read at `column` with tab width `tabSize`: the next
// multiple of the width, always at least one column further.
inline long long NextTabStop(long long column, int tabSize) {
  if (tabSize < 1) tabSize = 1;
  return (column / tabSize + 1) * tabSize;
}

// The bytes of the BK editors' texts that are not characters of the text.
// 0x00 ends a line: a soft one in Vortex, every line in the standard Edasp
// layout; 0x0A ends a line in Edasp, a hard one in Vortex.
inline constexpr uint8_t kZeroLineEnd = 0x00;
inline constexpr uint8_t kTabByte = 0x09;
inline constexpr uint8_t kLineFeed = 0x0A;
inline constexpr uint8_t kCarriageReturn = 0x0D;
inline constexpr uint8_t kPlainSpace = 0x20;

// The BK editors' space codes 0x01 to 0x08 as the readers count them: a code
// counts its own value, a code right after another eight times its value
// (3, 2 stands for 3 + 16 spaces).
inline constexpr CodeUnit kLastSpaceCode = 0x08;
inline constexpr long long kSpaceCodeBase = 8;
inline bool IsSpaceCode(CodeUnit c) { return c >= 0x01 && c <= kLastSpaceCode; }
inline long long SpacesOfCode(CodeUnit code, bool afterCode) {
  return afterCode ? kSpaceCodeBase * code : code;
}

// The characters that end a line in the editors' texts, as a kind bit, 0
// for any other character; a CR and an LF next to each other end one line.
inline constexpr int kZeroKind = 1;
inline constexpr int kLineFeedKind = 2;
inline constexpr int kCarriageReturnKind = 4;
inline constexpr int kCrLfKinds = kLineFeedKind | kCarriageReturnKind;
inline int LineEndKind(CodeUnit c) {
  switch (c) {
    case kZeroLineEnd: return kZeroKind;
    case kLineFeed: return kLineFeedKind;
    case kCarriageReturn: return kCarriageReturnKind;
    default: return 0;
  }
}
