#include "convert/conversion_frame.h"

#include <cstdio>

#include "common/console.h"
#include "common/platform.h"
#include "files/file_messages.h"

namespace {

// First word of a BK editor text that carries a header; the next word is
// the byte offset at which the text begins.
constexpr uint16_t kEditorTextHeader = 006100;

}  // namespace

void SkipEditorTextHeader(CBaseFile* input) {
  const long start = input->Tell();
  if (input->ReadWord() == kEditorTextHeader) {
    input->Seek(input->ReadWord(), SEEK_SET);
  } else {
    input->Seek(start, SEEK_SET);
  }
}

bool OpenForConversion(CBaseFile* input, CBaseFile* output) {
  if (!input->Open(false)) {
    const std::wstring failure = input->ReadFailure();
    if (failure.empty()) {
      ConsolePrint(kMsgCannotOpen, input->GetFileName().c_str());
    } else {
      ConsolePrint(L"%s", failure.c_str());
    }
    return false;
  }
  if (IsSameFile(input->GetFileName(), output->GetFileName()) || !output->Open(true)) {
    const std::wstring failure = output->OutputFailure();
    if (failure.empty()) {
      ConsolePrint(kMsgCannotOpen, output->GetFileName().c_str());
    } else {
      ConsolePrint(L"%s", failure.c_str());
    }
    return false;
  }
  return true;
}

bool OutputWriter::Finish(CBaseFile* input) {
  const std::wstring readFailure = input->ReadFailure();
  if (!readFailure.empty()) {
    ConsolePrint(L"%s", readFailure.c_str());
    m_output->Discard();
    m_ok = false;
    return false;
  }
  m_ok = m_output->Close() && m_ok;
  if (m_ok) return true;
  ConsolePrint(kMsgCannotWrite, m_output->GetFileName().c_str());
  m_output->Discard();
  return false;
}
