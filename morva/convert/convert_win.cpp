#include "convert/conversion_frame.h"
#include "convert/convert.h"

bool ConvertToWin(CBaseFile* input, CBaseFile* output) {
  if (!OpenForConversion(input, output)) return false;
  SkipEditorTextHeader(input);
  OutputWriter out(output);
  const int tabSize = input->GetTabSize();
  long long column = 0;
  bool inRun = false;  // the previous character was a space code
  if (!input->IsEOF()) {
    while (out.ok()) {
      const CodeUnit c = input->ReadChar();
      if (input->IsEOF()) break;
      if (c == kZeroLineEnd || c == kLineFeed) {
        out.Char(kLineFeed);
        column = 0;
        inRun = false;
      } else if (IsSpaceCode(c)) {
        const long long count = SpacesOfCode(c, inRun);
        out.Spaces(count);
        column += count;
        inRun = true;
      } else if (c == kTabByte) {
        const long long target = NextTabStop(column, tabSize);
        out.Spaces(target - column);
        column = target;
        inRun = false;
      } else if (c < kPlainSpace) {
        inRun = false;  // other control codes, CR included, are dropped
      } else {
        out.Char(c);
        ++column;
        inRun = false;
      }
    }
  }
  return out.Finish(input);
}
