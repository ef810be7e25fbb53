// Any file given to `korvid -u -t dorvik`: the BK binary file parse, then
// the Dorvik unpacker, all in memory, recognised image or not. Either gives
// data or one reason; a headerless image is recognised where it was found;
// the sanitizers catch any read or write outside the buffers.
#include <cstdint>
#include <cstdlib>

#include "bk/bk_file.h"
#include "bk/memory.h"
#include "dorvik/dorvik.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxImageFileSize) return 0;  // the reader refuses such files
  // A headerless image is recognised where it was found.
  const RawImage raw = dorvik::FindRawImage(ByteView(data, size));
  if (raw.found &&
      dorvik::Unpack(ByteView(data, size), raw.loadAddress.value_or(kSystemAreaEnd)).error ==
          dorvik::UnpackError::NotRecognised) {
    std::abort();
  }
  const BkFile file = ParseBkFile(ByteView(data, size), raw.found);
  if (file.form == BkFileForm::TooShort || file.form == BkFileForm::Truncated) return 0;
  const dorvik::UnpackResult result = dorvik::Unpack(file.data, file.loadAddress);
  if (result.error != dorvik::UnpackError::None) {
    // A refusal gives nothing to write and nothing to note.
    if (!result.data.empty() || result.startAddressLost) std::abort();
    return 0;
  }
  if (result.data.size() > 0xFFFF) std::abort();
  if (result.dataMode && result.startAddressLost) std::abort();  // data has no start
  return 0;
}
