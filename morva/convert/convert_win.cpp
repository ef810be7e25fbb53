#include <cstdio>

#include "convert/conversion_frame.h"
#include "convert/convert.h"

namespace {

// First word of a BK editor text that carries a header; the next word is
// the byte offset at which the text begins.
constexpr uint16_t kEditorTextHeader = 006100;
constexpr CodeUnit kLastSpaceCode = 0x08;

// Leaves the input at the first character of the text.
void SkipEditorTextHeader(CBaseFile* input) {
  const long start = input->Tell();
  if (input->ReadWord() == kEditorTextHeader) {
    input->Seek(input->ReadWord(), SEEK_SET);
  } else {
    input->Seek(start, SEEK_SET);
  }
}

}  // namespace

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
      if (c == 0x00 || c == 0x0A) {
        out.Char(0x0A);
        column = 0;
        inRun = false;
      } else if (c <= kLastSpaceCode) {
        // A first code counts its own value, each code right after it eight
        // times its value: 3, 2 stands for 3 + 16 spaces.
        const long long count = inRun ? 8LL * c : c;
        out.Spaces(count);
        column += count;
        inRun = true;
      } else if (c == 0x09) {
        const long long target = NextTabStop(column, tabSize);
        out.Spaces(target - column);
        column = target;
        inRun = false;
      } else if (c < 0x20) {
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
