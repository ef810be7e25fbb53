// korvid with a test hook: the same program, but with the environment
// variable KORVID_BREAK_WORD=OFFSET,ADDEND (both octal) it adds ADDEND to
// the image word at byte offset OFFSET after packing and before the proof,
// so that the end-to-end tests can see korvid refuse a broken image. Built
// for the tests only; the korvid that users run has no such hook.
#include <cstdlib>
#include <cstring>

#include "front/driver.h"

int main(int argc, char** argv) {
  RunHooks hooks;
  if (const char* request = std::getenv("KORVID_BREAK_WORD")) {
    char* end = nullptr;
    const unsigned long offset = std::strtoul(request, &end, 8);
    const unsigned long addend = *end == ',' ? std::strtoul(end + 1, nullptr, 8) : 1;
    hooks.beforeProof = [offset, addend](std::vector<uint8_t>& image) {
      if (offset + 1 >= image.size()) return;
      const unsigned word =
          (image[offset] | image[offset + 1] << 8) + static_cast<unsigned>(addend);
      image[offset] = static_cast<uint8_t>(word);
      image[offset + 1] = static_cast<uint8_t>(word >> 8);
    };
  }
  return KorvidMain(argc, argv, hooks);
}
