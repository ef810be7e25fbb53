#include "convert/conversion_frame.h"
#include "convert/convert.h"

namespace {

constexpr uint8_t kLargestSpaceCode = 7;
// The standard Edasp layout ends every line with a zero byte.
constexpr uint8_t kStandardLineEnd = kZeroLineEnd;

// Writes `pending` spaces that end at `column` (the column of the character
// that follows them): a lone space as itself, a run that ends at a tab stop
// as tab bytes, a short run as one space code.
//
// A run of eight or more that ends between tab stops is written as tab bytes
// up to the last tab stop it crosses and then the rest, never as two space
// codes in a row: readers differ on whether a code that follows another
// counts its own value or eight times it (10 spaces as the codes 7, 3 read
// back as 31 spaces on the PC side), while tabs and a single code mean the
// same to every reader.
void FlushSpaces(OutputWriter& out, long long pending, long long column) {
  constexpr int tabWidth = kBkTabWidth;  // where the reader's tabs stop
  const long long start = column - pending;
  const long long lastStop = column / tabWidth * tabWidth;
  if (pending >= 2 && (column % tabWidth == 0 || pending > kLargestSpaceCode)) {
    for (long long tabs = lastStop / tabWidth - start / tabWidth; tabs > 0 && out.ok(); --tabs) {
      out.Byte(kTabByte);
    }
    pending = column - lastStop;  // what is left after the last tab stop
  }
  if (pending == 1) {
    out.Byte(kPlainSpace);
  } else if (pending >= 2) {
    // At most seven spaces are left (eight only with tab stops wider than
    // eight columns, where several codes cannot be avoided).
    for (; pending > kLargestSpaceCode && out.ok(); pending -= kLargestSpaceCode) {
      out.Byte(kLargestSpaceCode);
    }
    out.Byte(static_cast<uint8_t>(pending));
  }
}

}  // namespace

bool ConvertToEdasp(CBaseFile* input, CBaseFile* output) {
  if (!OpenForConversion(input, output)) return false;
  OutputWriter out(output);
  const int tabSize = input->GetTabSize();
  long long pending = 0;  // spaces read and not yet written
  long long column = 0;
  int kinds = 0;  // line-end characters seen in the current line end
  if (!input->IsEOF()) {
    while (out.ok()) {
      const CodeUnit c = input->ReadChar();
      if (input->IsEOF()) break;
      const int kind = LineEndKind(c);
      if (kind != 0) {
        if (kinds == 0 || (kinds & kind) != 0) {
          // A new line end, or the same character again: an empty line.
          kinds |= kind;
          out.Char(0x00);  // the BK mapping writes a zero code unit as kLineFeed
          column = 0;
          pending = 0;  // blanks at the end of a line are dropped
        } else {
          kinds = 0;  // second character of a CR LF or LF CR pair
        }
        continue;
      }
      kinds = 0;
      if (c == kPlainSpace) {
        ++pending;
        ++column;
      } else if (c == kTabByte) {
        const long long target = NextTabStop(column, tabSize);
        pending += target - column;
        column = target;
      } else {
        FlushSpaces(out, pending, column);
        pending = 0;
        out.Char(c);
        ++column;
      }
    }
  }
  return out.Finish(input);
}

bool ConvertToEdaspStandard(CBaseFile* input, CBaseFile* output) {
  if (!OpenForConversion(input, output)) return false;
  SkipEditorTextHeader(input);
  OutputWriter out(output);
  const int tabSize = input->GetTabSize();
  long long pending = 0;  // blanks read and not yet written
  long long column = 0;
  bool inRun = false;  // the previous character was a space code
  int kinds = 0;       // kind of the last line-end character that ended a line
  if (!input->IsEOF()) {
    while (out.ok()) {
      const CodeUnit c = input->ReadChar();
      if (input->IsEOF()) break;
      const int kind = LineEndKind(c);
      if (kind != 0) {
        if ((kinds | kind) == kCrLfKinds) {
          kinds = 0;  // second character of a CR LF or LF CR pair
          continue;
        }
        kinds = kind;
        out.Byte(kStandardLineEnd);
        column = 0;
        pending = 0;  // blanks at the end of a line are dropped
        inRun = false;
        continue;
      }
      kinds = 0;
      const bool afterCode = inRun;
      inRun = IsSpaceCode(c);
      long long blanks = 0;
      if (c == kPlainSpace) {
        blanks = 1;
      } else if (inRun) {
        blanks = SpacesOfCode(c, afterCode);
      } else if (c == kTabByte) {
        blanks = NextTabStop(column, tabSize) - column;
      } else if (c >= kPlainSpace) {
        out.Spaces(pending);
        pending = 0;
        out.Char(c);
        ++column;
      }  // other control codes are dropped, as in the PC outputs
      pending += blanks;
      column += blanks;
    }
  }
  return out.Finish(input);
}
