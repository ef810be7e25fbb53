// Any file given to `korvid -u -t dorvik`: the BK binary file reader, then
// the Dorvik unpacker, recognised image or not. Either gives data or
// refuses; the sanitizers catch any read or write outside the buffers.
#include <cstdint>
#include <cstdlib>

#include "dorvik/dorvik.h"
#include "front/bk_file.h"
#include "korvid_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& console = StartKorvidRun();
  packerState.selectedTool = Tool::Dorvik;
  packerState.unpackMode = true;
  packerState.inputName = WriteScratchFile(data, size);
  if (!ReadInputFile(IsRawDorvikImage)) return 0;
  CheckOneResult(console, DorvikUnpack());
  return 0;
}
