#include <cstdint>
#include <string>

#include "bk/bk_file.h"
#include "bk/memory.h"
#include "common/console.h"
#include "front/driver.h"
#include "front/methods.h"
#include "proof/proof.h"
#include "web/binding.h"

namespace {

std::string layout;  // of the last proven image, as JSON; empty when none

// A range [first, end) as a JSON pair.
std::string Pair(uint32_t first, uint32_t end) {
  return "[" + std::to_string(first) + "," + std::to_string(end) + "]";
}

// What the map of the BK's memory shows for one proven image: the places
// that packing and the proof chose, and the BK's own areas.
void RecordLayout(const PackerState& state, const MethodOutcome& packed,
                  const proof::Proof& proven) {
  const uint32_t load = state.loadAddress;
  const uint32_t dataEnd = load + static_cast<uint32_t>(state.data.size());
  std::string keyword;
  for (const wchar_t* c = state.method->keyword; *c != L'\0'; ++c) {
    keyword += static_cast<char>(*c);
  }
  layout = "{\"method\":\"" + keyword + "\"";
  layout += ",\"data\":" + Pair(load, dataEnd);
  layout += ",\"image\":" +
            Pair(proven.imageAt, proven.imageAt + static_cast<uint32_t>(packed.bytes.size()));
  layout += ",\"stack\":" + Pair(proven.stackFirst, proven.stackEnd);
  // Dorvik's work area ("work"), Sokol's margin ("margin").
  for (const MemoryArea& area : packed.areas) {
    layout += ",\"" + std::string(area.name) + "\":" + Pair(area.first, area.end);
  }
  layout += ",\"system\":" + Pair(0, kSystemAreaEnd);
  layout += ",\"screen\":" + Pair(kScreenStart, kScreenEnd);
  layout += ",\"io\":" + Pair(kIoPageStart, kAddressSpaceEnd) + "}";
}

}  // namespace

std::string& RunConsoleText() {
  static std::string text;
  return text;
}

extern "C" {

// Runs korvid with this command line (argv[0] included); returns its exit
// status. The console text and the layout wait for the calls below.
int WebRunKorvid(int argc, char** argv) {
  RunConsoleText().clear();
  layout.clear();
  RunHooks hooks;
  hooks.proven = RecordLayout;
  SetConsoleSink(&RunConsoleText());
  const int status = KorvidMain(argc, argv, hooks);
  SetConsoleSink(nullptr);
  return status;
}

const char* WebConsoleText() { return RunConsoleText().c_str(); }

// The last pack's layout as JSON: ranges [first, end) of the data, the image
// as loaded, the caller's stack, Dorvik's work area and Sokol's margin where
// the method has them, and the BK's system area, screen and I/O page.
const char* WebLayout() { return layout.c_str(); }

// korvid refuses a file of this size or more before it reads it: a program
// to pack, or (unpack != 0) an image to unpack, which may be longer.
uint32_t WebKorvidInputLimit(int unpack) {
  return static_cast<uint32_t>(unpack != 0 ? kMaxImageFileSize + 1 : kMaxInputSize);
}

}  // extern "C"
