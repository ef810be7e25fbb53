#include "support/bk_bytes.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <stdexcept>

uint16_t WordAt(const Bytes& bytes, size_t offset) {
  return static_cast<uint16_t>(bytes.at(offset) | (bytes.at(offset + 1) << 8));
}

void PutWord(Bytes& bytes, size_t offset, uint16_t word) {
  bytes.at(offset) = static_cast<uint8_t>(word & 0xFF);
  bytes.at(offset + 1) = static_cast<uint8_t>(word >> 8);
}

Bytes BytesOfWords(const std::vector<uint16_t>& words) {
  Bytes bytes;
  bytes.reserve(2 * words.size());
  for (uint16_t word : words) {
    bytes.push_back(static_cast<uint8_t>(word & 0xFF));
    bytes.push_back(static_cast<uint8_t>(word >> 8));
  }
  return bytes;
}

Bytes MakeBkFile(uint16_t loadAddress, const Bytes& data) {
  if (data.size() > 0xFFFF) throw std::length_error("a BK file holds at most 0177777 bytes");
  Bytes file = BytesOfWords({loadAddress, static_cast<uint16_t>(data.size())});
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

std::string Octal(unsigned value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + value % 8));
    value /= 8;
  } while (value != 0);
  return "0" + digits;
}

Bytes Noise(size_t length, uint32_t seed) {
  Bytes bytes(length);
  for (uint8_t& byte : bytes) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(seed >> 16);
  }
  return bytes;
}

void ShapeStack(Bytes& data, uint16_t load, Stack shape, uint16_t startAddress, Random& random) {
  const uint16_t probe = std::max<uint16_t>(load, 0744);
  for (uint16_t address = load; address < 01000; address += 2) {
    uint16_t word = 0;
    switch (shape) {
      case Stack::Zero: break;
      case Stack::Arbitrary: word = random.Word(); break;
      case Stack::Filled: word = address >= probe ? startAddress : random.Word(); break;
      case Stack::Single: word = address == probe ? startAddress : random.Word(); break;
    }
    if (word == 01000) word = 01002;
    if (shape == Stack::Single && address != probe && word == startAddress) ++word;
    PutWord(data, address - load, word);
  }
}

Bytes GenerateProgram(Random& random, size_t length) {
  std::vector<uint16_t> frequent(1 + random.Below(40));
  for (uint16_t& word : frequent) word = random.Word();
  const uint32_t noise = random.Below(100);
  const uint32_t runs = random.Below(30);
  std::vector<uint16_t> words;
  while (words.size() * 2 < length) {
    const uint32_t pick = random.Below(100);
    if (pick < runs) {
      const uint16_t word = random.Below(2) ? 0 : random.Word();
      const size_t count = 2 + random.Below(random.Below(8) == 0 ? 600 : 6);
      words.insert(words.end(), count, word);
    } else if (pick < runs + noise / 2) {
      words.push_back(random.Word());
    } else {
      words.push_back(frequent[random.Below(static_cast<uint32_t>(frequent.size()))]);
    }
  }
  Bytes bytes = BytesOfWords(words);
  bytes.resize(length);
  return bytes;
}

Bytes WithLoaderInFront(const Bytes& image, uint16_t load, size_t stubEntry, int patchedWords) {
  Bytes patched = image;
  if (patched.size() & 1) patched.push_back(0);
  const auto loaderAddress = static_cast<uint16_t>(load + patched.size());
  const auto entryAddress = static_cast<uint16_t>(load + stubEntry);
  std::vector<uint16_t> loader;
  for (int i = 0; i < patchedWords; ++i) {
    // MOV #word, @#address
    loader.insert(loader.end(), {012737, WordAt(image, stubEntry + 2 * static_cast<size_t>(i)),
                                 static_cast<uint16_t>(entryAddress + 2 * i)});
  }
  loader.insert(loader.end(), {000137, entryAddress});  // JMP @#entry
  const Bytes loaderBytes = BytesOfWords(loader);
  patched.insert(patched.end(), loaderBytes.begin(), loaderBytes.end());
  std::vector<uint16_t> jump = {012700, loaderAddress, 000110};  // MOV #loader, R0; JMP (R0)
  while (static_cast<int>(jump.size()) < patchedWords) jump.push_back(0177777);
  for (int i = 0; i < patchedWords; ++i) {
    PutWord(patched, stubEntry + 2 * static_cast<size_t>(i), jump[static_cast<size_t>(i)]);
  }
  return patched;
}

std::vector<uint16_t> TenWordExampleWords() {
  return {0x1234, 0x0001, 0x1234, 0x0001, 0x1234, 0x8002, 0x0007, 0x0007, 0x0007, 0x0007};
}

Bytes TenWordExample() { return BytesOfWords(TenWordExampleWords()); }

Bytes TenWordExampleImage() {
  // Short stub with its patched words: work area 036710 (table at 037000),
  // B1 18, B2 0x6E92, H 166, 20 packed bytes, base + 1 = 0, a program.
  Bytes header = BytesOfWords(
      {0010704, 0062704, 0000236, 0010400, 0012703, 0040000, 0005001, 0012702, 0000020, 0005740,
       0005043, 0006110, 0103012, 0112405, 0162705, 18,      0100404, 0000305, 0152405, 0162705,
       0x6E92,  0160501, 0010113, 0077216, 0020327, 0037000, 0001354, 0012702, 0000034, 0014043,
       0077202, 0062700, 0000151, 0012702, 166,     0000113, 0114044, 0077202, 0062704, 20,
       0114001, 0006301, 0016101, 0037400, 0001410, 0005301, 0001411, 0102404, 0062701, 0,
       0010144, 0000410, 0005300, 0111044, 0114044, 0000760, 0114002, 0011444, 0105302, 0001375,
       0020400, 0001352, 0000160, 0});
  Bytes bitmap(32, 0);
  bitmap[0] = 0x1E;
  header.insert(header.end(), bitmap.begin(), bitmap.end());
  header.insert(header.end(), {0x11, 0x11, 0x6E, 0x5F, 0x12, 0xC7});

  // The stream, with the header swapped in where it begins.
  const Bytes stream = {0x82, 0x83, 0x82, 0x83, 0x82, 0x02, 0x80, 0x03, 0x84, 0x07, 0x00};
  const size_t streamLength = stream.size();
  Bytes image(streamLength + header.size(), 0);
  std::copy(stream.begin(), stream.end(), image.begin());
  for (size_t i = 0; i < header.size(); ++i) {
    image[streamLength + i] = image[i];
    image[i] = header[i];
  }
  return image;
}

std::vector<std::string> BkFilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const std::string& name : ListDirectory(folder)) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bin") == 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}
