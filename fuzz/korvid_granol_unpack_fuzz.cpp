// Any file given to `korvid -u -t bkgranol`: the BK binary file parse, then
// the Granol unpacker, all in memory. Either gives data or one reason; the
// sanitizers catch any read or write outside the buffers.
#include <cstdint>
#include <cstdlib>

#include "bk/bk_file.h"
#include "granol/granol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxImageFileSize) return 0;  // the reader refuses such files
  const BkFile file = ParseBkFile(ByteView(data, size), granol::IsRawImage(ByteView(data, size)));
  if (file.form == BkFileForm::TooShort || file.form == BkFileForm::Truncated) return 0;
  const granol::UnpackResult result = granol::Unpack(file.data, file.loadAddress);
  if (result.error != granol::UnpackError::None && !result.data.empty()) std::abort();
  return 0;
}
