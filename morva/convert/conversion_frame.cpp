#include "convert/conversion_frame.h"

#include <cstdio>

#include "common/platform.h"

void SkipEditorTextHeader(CBaseFile* input) {
  const long start = input->Tell();
  if (input->ReadWord() == kEditorTextHeader) {
    input->Seek(input->ReadWord(), SEEK_SET);
  } else {
    input->Seek(start, SEEK_SET);
  }
}

FileResult OpenForConversion(CBaseFile* input, CBaseFile* output) {
  if (!input->Open(false)) {
    const FileResult failure = input->ReadFailure();
    return failure.ok() ? FileResult{FileError::CannotOpen, input->GetFileName()} : failure;
  }
  if (IsSameFile(input->GetFileName(), output->GetFileName()) || !output->Open(true)) {
    const FileResult failure = output->OutputFailure();
    return failure.ok() ? FileResult{FileError::CannotOpen, output->GetFileName()} : failure;
  }
  return {};
}

FileResult OutputWriter::Finish(CBaseFile* input) {
  const FileResult readFailure = input->ReadFailure();
  if (!readFailure.ok()) {
    m_output->Discard();
    m_ok = false;
    return readFailure;
  }
  m_ok = m_output->Close() && m_ok;
  if (m_ok) return {};
  m_output->Discard();
  return {FileError::CannotWrite, m_output->GetFileName()};
}
