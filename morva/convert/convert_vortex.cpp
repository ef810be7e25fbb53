#include <cstdio>

#include "convert/conversion_frame.h"
#include "convert/convert.h"

namespace {

constexpr uint8_t kHardLineEnd = kLineFeed;     // a paragraph ends
constexpr uint8_t kSoftLineEnd = kZeroLineEnd;  // the paragraph goes on
// No line has been seen yet: any real indentation is smaller.
constexpr long long kNoIndentYet = 1000000;

bool EndsSentence(CodeUnit c) {
  return c == u'.' || c == u'!' || c == u'?' || c == u':' || c == u';';
}

// The longest run that two space codes hold: 8 + 8 * 8.
constexpr long long kLongestCodedRun = kLastSpaceCode + kSpaceCodeBase * kLastSpaceCode;

// A run of n spaces. Up to 72 as one or two space codes, base-8 digits from
// 1 to 8, least significant first (9 gives 1, 1; 16 gives 8, 1; 72 gives
// 8, 8): the second code counts eight times its value. A longer run is
// written as n plain spaces, a form the editor keeps in its own files, and
// never as three codes, whose weight readers do not agree on.
void WriteSpaceRun(OutputWriter& out, long long n) {
  if (n > kLongestCodedRun) {
    for (; n > 0 && out.ok(); --n) out.Byte(kPlainSpace);
    return;
  }
  if (n > kLastSpaceCode) {
    const long long low = n % kSpaceCodeBase == 0 ? kSpaceCodeBase : n % kSpaceCodeBase;
    out.Byte(static_cast<uint8_t>(low));
    n = (n - low) / kSpaceCodeBase;
  }
  out.Byte(static_cast<uint8_t>(n));
}

// The Vortex layout: runs of blanks as space codes (WriteSpaceRun), and
// each line end hard or soft as ChooseVortexLineEnd decides.
class VortexRules {
 public:
  VortexRules(CBaseFile* input, int tabSize) : m_input(input), m_tabSize(tabSize) {}

  void operator()(CodeUnit c, OutputWriter& out) {
    const uint32_t kind = static_cast<uint32_t>(LineEndKind(c));
    if (kind != 0) {
      const uint32_t kinds = m_state & kVortexKindMask;
      if (kinds == 0 || (kinds & kind) != 0) {
        m_state |= kind;
        LineEnd(out);
      } else {
        m_state &= ~kVortexKindMask;  // partner of a CR LF or LF CR pair
      }
      return;
    }
    m_state &= ~kVortexKindMask;
    if (c == kTabByte) {
      const long long target = NextTabStop(m_column, m_tabSize);
      while (m_column < target) Blank();
    } else if (c == kPlainSpace) {
      Blank();
    } else {
      Character(c, out);
    }
  }

 private:
  void LineEnd(OutputWriter& out) {
    const uint8_t byte = m_column == 0
                             ? kHardLineEnd
                             : ChooseVortexLineEnd(m_input, m_state, m_normalIndent, m_lastChar);
    out.Byte(byte);
    m_pending = 0;  // blanks at the end of a line are dropped
    m_leadIndent = 0;
    m_column = 0;
    m_state |= kVortexLineStart;
  }

  void Blank() {
    ++m_column;
    ++m_pending;
    if ((m_state & kVortexLineStart) != 0) ++m_leadIndent;
  }

  void Character(CodeUnit c, OutputWriter& out) {
    if ((m_state & kVortexLineStart) != 0) {
      m_state &= ~kVortexLineStart;
      if (m_leadIndent < m_normalIndent) m_normalIndent = m_leadIndent;
    }
    if (m_pending > 0) {
      WriteSpaceRun(out, m_pending);
      m_pending = 0;
    }
    m_lastChar = c;
    out.Char(c);
    ++m_column;
  }

  CBaseFile* m_input;  // looked ahead in at line ends
  int m_tabSize;
  long long m_pending = 0;     // spaces read and not yet written
  long long m_column = 0;      // column of the next character of the input line
  uint32_t m_state = 0;        // line-end kinds and the line-start flag
  long long m_leadIndent = 0;  // blanks before the first character of the line
  long long m_normalIndent = kNoIndentYet;
  CodeUnit m_lastChar = 0;  // last character written with WriteChar
};

}  // namespace

uint8_t ChooseVortexLineEnd(CBaseFile* input, const uint32_t& state, const long long& normalIndent,
                            const CodeUnit& lastChar) {
  const long start = input->Tell();
  const int tabSize = input->GetTabSize();
  long long nextIndent = 0;
  uint8_t result = kHardLineEnd;
  if (!input->IsEOF()) {
    for (;;) {
      const CodeUnit c = input->ReadChar();
      if (input->IsEOF()) break;  // only blanks up to the end: the text ends here
      const uint32_t kind = static_cast<uint32_t>(LineEndKind(c));
      if (kind != 0) {
        if ((state & kind) != 0) break;  // the next line is empty
        continue;                        // partner of a pair
      }
      if (c == kTabByte) {
        nextIndent = NextTabStop(nextIndent, tabSize);
      } else if (c == kPlainSpace) {
        ++nextIndent;
      } else {
        const bool newParagraph = nextIndent > normalIndent && EndsSentence(lastChar);
        result = newParagraph ? kHardLineEnd : kSoftLineEnd;
        break;
      }
    }
  }
  input->Seek(start, SEEK_SET);
  return result;
}

FileResult ConvertToVortex(CBaseFile* input, CBaseFile* output, const ConversionOptions&) {
  // Spaces still pending at the end are dropped.
  const FileResult result = RunConversion(input, output, TextStart::FirstByte,
                                          VortexRules(input, input->GetTabSize()));
  input->Close();
  return result;
}
