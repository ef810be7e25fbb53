#include "convert/conversion_frame.h"
#include "convert/convert.h"

FileResult ConvertToBasicAsc(CBaseFile* input, CBkAscFile* output, const ConversionOptions&) {
  output->ProtectFile(input->GetFileName());
  const FileResult opened = OpenForConversion(input, output);
  if (!opened.ok()) return opened;
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
  const FileResult readFailure = input->ReadFailure();
  if (!readFailure.ok()) {
    output->Discard();
    return readFailure;
  }
  // The end byte and the last part are written even for an empty text, so
  // that the header never stands without its part 000.
  if (ok) ok = output->WriteChar(kAscEndOfText);
  if (ok) ok = output->FlushPart();
  if (ok) return {};
  const FileResult failure = output->TooManyParts()
                                 ? FileResult{FileError::TooManyParts, input->GetFileName()}
                                 : FileResult{FileError::CannotWriteSet, output->GetPartName()};
  output->Discard();
  return failure;
}
