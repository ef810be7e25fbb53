#include "common/console.h"
#include "convert/conversion_frame.h"
#include "convert/convert.h"
#include "files/file_messages.h"

bool ConvertToBasicAsc(CBaseFile* input, CBkAscFile* output) {
  output->ProtectFile(input->GetFileName());
  if (!OpenForConversion(input, output)) return false;
  const int tabSize = input->GetTabSize();
  long long column = 0;
  bool ok = true;
  while (ok) {
    const CodeUnit c = input->ReadChar();
    if (input->IsEOF()) break;
    if (c == kZeroLineEnd || c == kLineFeed) {
      ok = output->WriteChar(kLineFeed);
      column = 0;
    } else if (c == kCarriageReturn) {
      // carriage returns vanish
    } else if (c == kTabByte) {
      const long long target = NextTabStop(column, tabSize);
      for (; column < target && ok; ++column) ok = output->WriteChar(kPlainSpace);
    } else {
      ok = output->WriteChar(c);
      ++column;
    }
  }
  const std::wstring readFailure = input->ReadFailure();
  if (!readFailure.empty()) {
    ConsolePrint(L"%s", readFailure.c_str());
    output->Discard();
    return false;
  }
  // The end byte and the last part are written even for an empty text, so
  // that the header never stands without its part 000.
  if (ok) ok = output->WriteChar(kAscEndOfText);
  if (ok) ok = output->FlushPart();
  if (!ok) {
    ConsolePrint(kMsgCannotWriteSet, output->GetPartName().c_str());
    output->Discard();
  }
  return ok;
}
