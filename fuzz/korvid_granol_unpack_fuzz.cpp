// Any file given to `korvid -u -t bkgranol`: the BK binary file reader, then
// the Granol unpacker. Either gives data or refuses; the sanitizers catch
// any read or write outside the buffers.
#include <cstdint>
#include <cstdlib>

#include "front/bk_file.h"
#include "granol/granol.h"
#include "korvid_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StartKorvidRun();
  packerState.selectedTool = Tool::Granol;
  packerState.unpackMode = true;
  packerState.inputName = WriteScratchFile(data, size);
  if (!ReadInputFile()) return 0;
  if (GranolUnpack()) {
    // A result always fits the 16-bit length of a BK binary file.
    if (packerState.dataLength < 0 || packerState.dataLength > 0xFFFF) std::abort();
  }
  return 0;
}
