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

struct VortexWriter {
  CBaseFile* input;
  OutputWriter out;
  int tabSize;
  long long pending = 0;     // spaces read and not yet written
  long long column = 0;      // column of the next character of the input line
  uint32_t state = 0;        // line-end kinds and the line-start flag
  long long leadIndent = 0;  // blanks before the first character of the line
  long long normalIndent = kNoIndentYet;
  CodeUnit lastChar = 0;  // last character written with WriteChar

  void LineEnd() {
    const uint8_t byte =
        column == 0 ? kHardLineEnd : ChooseVortexLineEnd(input, state, normalIndent, lastChar);
    out.Byte(byte);
    pending = 0;  // blanks at the end of a line are dropped
    leadIndent = 0;
    column = 0;
    state |= kVortexLineStart;
  }

  void Blank() {
    ++column;
    ++pending;
    if ((state & kVortexLineStart) != 0) ++leadIndent;
  }

  void Character(CodeUnit c) {
    if ((state & kVortexLineStart) != 0) {
      state &= ~kVortexLineStart;
      if (leadIndent < normalIndent) normalIndent = leadIndent;
    }
    if (pending > 0) {
      WriteSpaceRun(out, pending);
      pending = 0;
    }
    lastChar = c;
    out.Char(c);
    ++column;
  }

  void Take(CodeUnit c) {
    const uint32_t kind = static_cast<uint32_t>(LineEndKind(c));
    if (kind != 0) {
      const uint32_t kinds = state & kVortexKindMask;
      if (kinds == 0 || (kinds & kind) != 0) {
        state |= kind;
        LineEnd();
      } else {
        state &= ~kVortexKindMask;  // partner of a CR LF or LF CR pair
      }
      return;
    }
    state &= ~kVortexKindMask;
    if (c == kTabByte) {
      const long long target = NextTabStop(column, tabSize);
      while (column < target) Blank();
    } else if (c == kPlainSpace) {
      Blank();
    } else {
      Character(c);
    }
  }
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

bool ConvertToVortex(CBaseFile* input, CBaseFile* output) {
  if (!OpenForConversion(input, output)) return false;
  VortexWriter writer{input, OutputWriter(output), input->GetTabSize()};
  if (!input->IsEOF()) {
    while (writer.out.ok()) {
      const CodeUnit c = input->ReadChar();
      if (input->IsEOF()) break;
      writer.Take(c);
    }
  }
  // Spaces still pending at the end are dropped.
  const bool finished = writer.out.Finish(input);  // closes the output
  input->Close();
  return finished;
}
