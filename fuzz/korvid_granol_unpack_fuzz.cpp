// Any file given to `korvid -u -t bkgranol`: the BK binary file reader, then
// the Granol unpacker. Either gives data or refuses; the sanitizers catch
// any read or write outside the buffers.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "front/bk_file.h"
#include "granol/granol.h"
#include "korvid_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& console = StartKorvidRun();
  packerState.selectedTool = Tool::Granol;
  packerState.unpackMode = true;
  packerState.inputName = WriteScratchFile(data, size);
  if (!ReadInputFile(IsRawGranolImage)) return 0;
  CheckOneResult(console, GranolUnpack());
  return 0;
}
