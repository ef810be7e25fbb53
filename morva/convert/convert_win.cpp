#include "convert/conversion_frame.h"
#include "convert/convert.h"

namespace {

// The layout of a PC text: space codes and tabs become spaces, 0x00 and
// 0x0A end a line, other control codes (CR among them) are dropped.
class PcTextRules {
 public:
  PcTextRules(int tabSize, bool keepTabs) : m_tabSize(tabSize), m_keepTabs(keepTabs) {}

  void operator()(CodeUnit c, OutputWriter& out) {
    const bool afterCode = m_inRun;
    m_inRun = false;
    if (c == kZeroLineEnd || c == kLineFeed) {
      out.Char(kLineFeed);
      m_column = 0;
    } else if (IsSpaceCode(c)) {
      const long long count = SpacesOfCode(c, afterCode);
      out.Spaces(count);
      m_column += count;
      m_inRun = true;
    } else if (c == kTabByte) {
      const long long target = NextTabStop(m_column, m_tabSize);
      if (m_keepTabs) {
        out.Char(kTabByte);
      } else {
        out.Spaces(target - m_column);
      }
      m_column = target;
    } else if (c >= kPlainSpace) {
      out.Char(c);
      ++m_column;
    }  // other control codes, CR included, are dropped
  }

 private:
  int m_tabSize;
  bool m_keepTabs;
  long long m_column = 0;
  bool m_inRun = false;  // the previous character was a space code
};

}  // namespace

FileResult ConvertToWin(CBaseFile* input, CBaseFile* output, const ConversionOptions& options) {
  return RunConversion(input, output, TextStart::AfterEditorHeader,
                       PcTextRules(input->GetTabSize(), options.keepTabs));
}
