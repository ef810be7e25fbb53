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

// The Edasp layout: a line end for each line-end character or pair, runs
// of blanks as tab bytes and space codes (FlushSpaces), blanks at line ends
// dropped.
class EdaspRules {
 public:
  explicit EdaspRules(int tabSize) : m_tabSize(tabSize) {}

  void operator()(CodeUnit c, OutputWriter& out) {
    const int kind = LineEndKind(c);
    if (kind != 0) {
      if (m_kinds == 0 || (m_kinds & kind) != 0) {
        // A new line end, or the same character again: an empty line.
        m_kinds |= kind;
        out.Char(0x00);  // the BK mapping writes a zero code unit as kLineFeed
        m_column = 0;
        m_pending = 0;  // blanks at the end of a line are dropped
      } else {
        m_kinds = 0;  // second character of a CR LF or LF CR pair
      }
      return;
    }
    m_kinds = 0;
    if (c == kPlainSpace) {
      ++m_pending;
      ++m_column;
    } else if (c == kTabByte) {
      const long long target = NextTabStop(m_column, m_tabSize);
      m_pending += target - m_column;
      m_column = target;
    } else {
      FlushSpaces(out, m_pending, m_column);
      m_pending = 0;
      out.Char(c);
      ++m_column;
    }
  }

 private:
  int m_tabSize;
  long long m_pending = 0;  // spaces read and not yet written
  long long m_column = 0;
  int m_kinds = 0;  // line-end characters seen in the current line end
};

// The standard Edasp layout: every line ends with 0x00, blanks are plain
// spaces, space codes and tabs of the input are expanded as the PC outputs
// expand them, other control codes dropped.
class EdaspStandardRules {
 public:
  explicit EdaspStandardRules(int tabSize) : m_tabSize(tabSize) {}

  void operator()(CodeUnit c, OutputWriter& out) {
    const int kind = LineEndKind(c);
    if (kind != 0) {
      if ((m_kinds | kind) == kCrLfKinds) {
        m_kinds = 0;  // second character of a CR LF or LF CR pair
        return;
      }
      m_kinds = kind;
      out.Byte(kStandardLineEnd);
      m_column = 0;
      m_pending = 0;  // blanks at the end of a line are dropped
      m_inRun = false;
      return;
    }
    m_kinds = 0;
    const bool afterCode = m_inRun;
    m_inRun = IsSpaceCode(c);
    long long blanks = 0;
    if (c == kPlainSpace) {
      blanks = 1;
    } else if (m_inRun) {
      blanks = SpacesOfCode(c, afterCode);
    } else if (c == kTabByte) {
      blanks = NextTabStop(m_column, m_tabSize) - m_column;
    } else if (c >= kPlainSpace) {
      out.Spaces(m_pending);
      m_pending = 0;
      out.Char(c);
      ++m_column;
    }  // other control codes are dropped, as in the PC outputs
    m_pending += blanks;
    m_column += blanks;
  }

 private:
  int m_tabSize;
  long long m_pending = 0;  // blanks read and not yet written
  long long m_column = 0;
  bool m_inRun = false;  // the previous character was a space code
  int m_kinds = 0;       // kind of the last line-end character that ended a line
};

}  // namespace

FileResult ConvertToEdasp(CBaseFile* input, CBaseFile* output, const ConversionOptions&) {
  return RunConversion(input, output, TextStart::FirstByte, EdaspRules(input->GetTabSize()));
}

FileResult ConvertToEdaspStandard(CBaseFile* input, CBaseFile* output,
                                  const ConversionOptions&) {
  return RunConversion(input, output, TextStart::AfterEditorHeader,
                       EdaspStandardRules(input->GetTabSize()));
}
