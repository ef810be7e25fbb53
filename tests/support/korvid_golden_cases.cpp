#include "support/korvid_golden_cases.h"

#include <algorithm>
#include <map>
#include <random>
#include <stdexcept>

#include "support/digest.h"
#include "support/korvid_run.h"
#include "support/temp_dir.h"

namespace {

using Options = std::vector<std::string>;

const std::string kDorvik = "dorvik";
const std::string kGranol = "bkgranol";
const std::string kSokol = "sokol";

bool Has(const Options& options, const std::string& option) {
  return std::find(options.begin(), options.end(), option) != options.end();
}

std::string Joined(const Options& options) {
  std::string text;
  for (const std::string& option : options) text += (text.empty() ? "" : ",") + option;
  return text.empty() ? "default" : text;
}

class CaseList {
 public:
  // A case that packs `data` loaded at `load` (a BK file is made of them).
  void Pack(const std::string& name, const std::string& method, uint16_t load, const Bytes& data,
            const Options& options = {}, bool roundTrip = true,
            const std::string& inputName = "input.bin") {
    PackFile(name, method, MakeBkFile(load, data), options, roundTrip, inputName);
  }
  void PackFile(const std::string& name, const std::string& method, const Bytes& file,
                const Options& options = {}, bool roundTrip = true,
                const std::string& inputName = "input.bin") {
    KorvidGoldenCase c;
    c.name = method + "/" + name;
    c.method = method;
    c.options = options;
    c.inputName = inputName;
    c.input = file;
    c.roundTrip = roundTrip;
    Add(std::move(c));
  }
  // A case that unpacks the image of `base` after `change`.
  void Unpack(const std::string& name, const std::string& method, const std::string& base,
              std::function<Bytes(const Bytes&)> change, const Options& options = {}) {
    KorvidGoldenCase c;
    c.name = method + "/unpack/" + name;
    c.method = method;
    c.options = options;
    c.inputName = "image.img";
    c.base = method + "/" + base;
    c.change = std::move(change);
    Add(std::move(c));
  }
  // A case that unpacks `file` as it is.
  void UnpackFile(const std::string& name, const std::string& method, const Bytes& file) {
    KorvidGoldenCase c;
    c.name = method + "/unpack/" + name;
    c.method = method;
    c.inputName = "image.img";
    c.input = file;
    c.change = [](const Bytes& bytes) { return bytes; };
    Add(std::move(c));
  }

  std::vector<KorvidGoldenCase> Take() { return std::move(cases_); }

 private:
  void Add(KorvidGoldenCase c) {
    for (char& ch : c.name) {
      if (ch == ' ') ch = '_';
    }
    for (const KorvidGoldenCase& other : cases_) {
      if (other.name == c.name) throw std::logic_error("two golden cases named " + c.name);
    }
    cases_.push_back(std::move(c));
  }

  std::vector<KorvidGoldenCase> cases_;
};

Bytes Repeat(size_t count, uint16_t word) {
  return BytesOfWords(std::vector<uint16_t>(count, word));
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// --- Dorvik inputs ----------------------------------------------------------------

const char* const kStackNames[] = {"zero", "arbitrary", "filled", "single"};

Bytes StackFile(uint16_t load, Stack shape, uint16_t startAddress, size_t above, uint32_t seed) {
  Random random(seed);
  Bytes data = GenerateProgram(random, 01000u - load + above);
  ShapeStack(data, load, shape, startAddress, random);
  return data;
}

// The one stack word that cannot come back: with the start address in a
// single word at 0744, the word below it is overwritten when packing.
bool LosesAStackWord(uint16_t load, const Bytes& data) {
  if (load >= 01000 || 0744 - load < 2) return false;
  const size_t probe = 0744u - load;
  const uint16_t start = WordAt(data, probe);
  if (start <= 01000) return false;
  return !(probe + 2 < 01000u - load && WordAt(data, probe + 2) == start);
}

// Two words of every high byte but 0x12 and `skipped`, so that a reserved
// code byte occurs in the data; 0x1234 `times` times, spread out.
Bytes WithEveryHighByte(std::vector<uint16_t> words, unsigned skipped, int times) {
  for (unsigned h = 0; h < 256; ++h) {
    if (h == 0x12 || h == skipped) continue;
    words.push_back(static_cast<uint16_t>(h << 8 | 0x01));
    words.push_back(static_cast<uint16_t>(h << 8 | 0x03));
  }
  for (int i = 0; i < times; ++i) words.insert(words.begin() + 20 + 9 * i, 0x1234);
  return BytesOfWords(words);
}

// An image as some tools leave it: a loader took over the stub's first
// words (see WithLoaderInFront). `file` is a BK file whose stub starts at
// image offset `stubEntry`.
Bytes FileWithLoaderInFront(const Bytes& file, size_t stubEntry, int patchedWords) {
  const uint16_t load = WordAt(file, 0);
  return MakeBkFile(
      load, WithLoaderInFront(Bytes(file.begin() + 4, file.end()), load, stubEntry, patchedWords));
}

void AddDorvikCases(CaseList& list, const Bytes& hello) {
  const std::string& m = kDorvik;
  // The worked examples and the token classes of the stream.
  list.Pack("ten-words", m, 01000, TenWordExample());
  list.Pack("five-equal-words", m, 01000, Repeat(5, 0x1234));
  list.Pack("one-word", m, 01000, BytesOfWords({0x1234}));
  list.Pack("one-word-code-byte-high", m, 02000, BytesOfWords({0x8080}));
  for (size_t equal : {3, 256, 257, 258, 600}) {
    list.Pack("run-of-" + std::to_string(equal), m, 01000,
              Concat({Repeat(3, 0x1111), Repeat(equal, 0x5555)}));
  }
  list.Pack("two-equal-words", m, 01000, BytesOfWords({0x1111, 0x1111, 0x1111, 0x5555, 0x5555}));
  list.Pack("base-plus-one-and-escape-value", m, 01000,
            BytesOfWords({0x1000, 0x0FFF, 0x1000, 0x8FFE, 0x1000}));
  {
    std::vector<uint16_t> words = {0x8005};
    Bytes data = WithEveryHighByte(words, 0x80, 5);
    const Bytes tail = BytesOfWords({0x8007});
    data.insert(data.end(), tail.begin(), tail.end());
    list.Pack("plain-first-word-with-code-byte-high", m, 01000, data);
    Bytes rollback = WithEveryHighByte({0x1234, 0x8003}, 0x80, 4);
    rollback.insert(rollback.end(), tail.begin(), tail.end());
    list.Pack("escape-catches-up-and-rolls-back", m, 01000, rollback);
  }
  list.Pack("all-plain-four-words", m, 01000, BytesOfWords({0x0102, 0x0304, 0x0506, 0x0708}));
  {
    std::vector<uint16_t> distinct;
    for (uint16_t i = 0; i < 1000; ++i) distinct.push_back(static_cast<uint16_t>(i * 0x3F1 + 7));
    list.Pack("all-plain-1000-distinct-words", m, 01000, BytesOfWords(distinct));
    // 256 words of one high byte, three times each: the largest dictionary.
    std::vector<uint16_t> many;
    for (int round = 0; round < 3; ++round) {
      for (uint16_t low = 0; low < 256; ++low)
        many.push_back(static_cast<uint16_t>(low * 0x4D % 256));
    }
    list.Pack("largest-dictionary", m, 01000, BytesOfWords(many));
    // Dictionary words far apart: deltas of two bytes in the code table.
    std::vector<uint16_t> far;
    for (int i = 0; i < 400; ++i) far.push_back(static_cast<uint16_t>((i % 5) * 0x3700 + (i % 3)));
    list.Pack("two-byte-deltas", m, 01000, BytesOfWords(far));
  }
  for (size_t length : {4, 64, 1000, 5000}) {
    list.Pack("noise-" + std::to_string(length), m, 01000,
              Noise(length, static_cast<uint32_t>(length)));
  }
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    Random random(seed);
    const size_t length = seed < 5 ? 100 + 1500 * seed : 12000 * (seed - 4);
    list.Pack("generated-" + std::to_string(seed), m, 01000, GenerateProgram(random, length));
  }
  // The packing limit counts the whole input.
  list.Pack("limit-zeros-30720", m, 01000, Bytes(30720, 0));
  list.Pack("limit-zeros-30719", m, 01000, Bytes(30719, 0));
  list.Pack("limit-zeros-30720-at-0400", m, 0400, Bytes(30720, 0));
  list.Pack("limit-noise-30720", m, 01000, Noise(30720, 17));
  list.Pack("refused-30721", m, 01000, Noise(30721, 10), {}, false);

  // Load addresses below 01000: every stack shape, as a program and as data.
  uint32_t seed = 100;
  for (uint16_t load : std::initializer_list<uint16_t>{0120, 0400, 0740, 0742, 0744, 0746, 0770, 0776}) {
    for (int shape = 0; shape < 4; ++shape) {
      const Bytes data =
          StackFile(load, static_cast<Stack>(shape), shape == 2 ? 037700 : 02000, 600, ++seed);
      for (const bool dataMode : {false, true}) {
        const Options options = dataMode ? Options{"-d"} : Options{};
        list.Pack("stack-" + Octal(load) + "-" + kStackNames[shape] + (dataMode ? "-data" : ""), m,
                  load, data, options, !LosesAStackWord(load, data));
      }
    }
  }
  {
    // 01000 just below a run of the start address: it comes back as the start.
    Bytes data(01000 - 0400 + 100, 0);
    for (uint16_t address = 0744; address < 01000; address += 2)
      PutWord(data, address - 0400, 02000);
    PutWord(data, 0742 - 0400, 01000);
    list.Pack("stack-01000-below-the-run", m, 0400, data, {}, false);
    // 01000 in the first word, below a run that reaches down to the second.
    Bytes first(01000 - 0400 + 300, 0);
    for (uint16_t address = 0402; address < 01000; address += 2)
      PutWord(first, address - 0400, 02000);
    PutWord(first, 0, 01000);
    list.Pack("stack-01000-in-the-first-word", m, 0400, first);
    list.Pack("stack-01000-in-the-first-word-data", m, 0400, first, {"-d"});
    Bytes none = StackFile(0400, Stack::Zero, 0, 500, 7);
    PutWord(none, 0744 - 0400, 01000);
    list.Pack("stack-01000-at-0744", m, 0400, none);
    PutWord(none, 0744 - 0400, 0500);
    list.Pack("stack-0500-at-0744", m, 0400, none);
  }
  // Load addresses from 01000 up, odd ones and those near the top.
  {
    Random random(55);
    const Bytes program = GenerateProgram(random, 2000);
    for (uint16_t load : std::initializer_list<uint16_t>{01000, 01002, 02000, 040000, 0100000, 0160000}) {
      list.Pack("load-" + Octal(load), m, load, program);
    }
    list.Pack("odd-load-0777", m, 0777, Bytes(100, 0), {}, false);
    list.Pack("odd-load-01001", m, 01001, program, {}, false);
    // Data up to 0200000 covers the BK's registers: the proof refuses it.
    list.Pack("top-0170000-zeros", m, 0170000, Bytes(4096, 0), {}, false);
    list.Pack("top-0177000-noise-image-past-top", m, 0177000, Noise(512, 7), {}, false);
    list.Pack("top-0170000-noise-image-past-top", m, 0170000, Noise(010000, 8), {}, false);
    list.Pack("nothing-at-01000", m, 01000, Bytes(), {}, false);
    list.Pack("nothing-above-01000", m, 0400, Bytes(0400, 0), {}, false);
    list.Pack("one-byte-at-0776", m, 0776, Bytes(1, 5), {}, false);
    list.Pack("three-bytes-at-0776", m, 0776, Bytes{1, 2, 3});
  }
  // Every option combination on three programs.
  {
    Random random(31);
    const Bytes program = GenerateProgram(random, 3000);
    const Bytes stack = StackFile(0400, Stack::Filled, 02000, 2500, 32);
    const Options combinations[] = {{},
                                    {"-d"},
                                    {"-l"},
                                    {"-l", "-d"},
                                    {"-r"},
                                    {"-r", "-l", "-d"},
                                    {"-w", "0"},
                                    {"-w", "40000"},
                                    {"-w", "40001"},
                                    {"-w", "120000"},
                                    {"-w", "140000"},
                                    {"-l", "-w", "0"},
                                    {"-d", "-w", "120000"},
                                    {"-w", "10000"}};
    for (const Options& options : combinations) {
      const bool raw = Has(options, "-r");
      list.PackFile("hello-" + Joined(options), m, hello, options);
      list.Pack("program-" + Joined(options), m, 01000, program, options);
      list.Pack("stack-0400-" + Joined(options), m, 0400, stack, options, !raw);
    }
  }
  // Where the work area goes, and the areas that cannot work.
  list.Pack("work-default-below-screen", m, 01000, Bytes(036710 - 01000, 0));
  list.Pack("work-default-below-rom", m, 01000, Bytes(036712 - 01000, 0));
  list.Pack("work-default-low", m, 040000, Bytes(036712, 0));
  list.Pack("work-default-screen-picture", m, 040000, Bytes(040000, 0));
  list.Pack("work-image-past-036710", m, 01000, Noise(036700 - 01000, 6));
  list.Pack("work-after-image", m, 01000, BytesOfWords({0x4321}), {"-w", "0"});
  list.Pack("work-inside-program", m, 01000, Bytes(8000, 0), {"-w", "10000"});
  list.Pack("work-just-after-noise-image", m, 01000, Noise(2000, 7), {"-w", "7760"});
  list.Pack("refused-work-inside-image", m, 01000, Noise(2000, 7), {"-w", "2000"}, false);
  list.Pack("refused-work-overlapping", m, 01000, Noise(2000, 7), {"-w", "5000"}, false);
  list.Pack("refused-work-wrapping", m, 01000, Bytes(100, 0), {"-w", "100"}, false);
  list.Pack("refused-work-past-top", m, 0170000, Noise(8000, 8), {"-w", "0"}, false);
  list.Pack("refused-no-work-area", m, 04000, Noise(30720, 9), {}, false);
  {
    Random random(77);
    const Bytes odd = GenerateProgram(random, 2001);
    list.Pack("odd-length-work-0", m, 01000, odd, {"-w", "0"});
    list.Pack("odd-length-long-work-0", m, 01000, odd, {"-l", "-w", "0"});
    list.Pack("odd-length-work-40001", m, 01000, odd, {"-w", "40001"});
    list.Pack("odd-length-data-work-100003", m, 01000, odd, {"-d", "-w", "100003"});
  }

  // Images as other tools and damage leave them (the header comes first).
  auto putImageWord = [](size_t offset, uint16_t word) {
    return [offset, word](const Bytes& file) {
      Bytes changed = file;
      PutWord(changed, 4 + offset, word);
      return changed;
    };
  };
  list.Unpack("stack-pointed-at-the-stub", m, "stack-0400-default", [](const Bytes& file) {
    Bytes changed = file;
    for (size_t offset = 0; offset < 01000 - 0400; offset += 2) PutWord(changed, 4 + offset, 01000);
    return changed;
  });
  list.Unpack("start-the-file-cannot-carry", m, "load-02000", [](const Bytes& file) {
    Bytes changed = file;
    PutWord(changed, 4 + 144 - 18, static_cast<uint16_t>(WordAt(file, 4 + 144 - 18) + 0100));
    return changed;
  });
  list.Unpack("start-the-stack-cannot-carry", m, "stack-0400-zero", [](const Bytes& file) {
    Bytes changed = file;
    const size_t word144 = 4 + 01000 - 0400 - 18 + 144;
    PutWord(changed, word144, static_cast<uint16_t>(WordAt(file, word144) + 02000));
    return changed;
  });
  list.Unpack("loader-in-front-short", m, "program-default",
              [](const Bytes& file) { return FileWithLoaderInFront(file, 0, 3); });
  list.Unpack("loader-in-front-long", m, "program--l",
              [](const Bytes& file) { return FileWithLoaderInFront(file, 0, 7); });
  list.Unpack("loader-in-front-below-01000", m, "stack-0400-default",
              [](const Bytes& file) { return FileWithLoaderInFront(file, 01000 - 0400, 3); });
  list.Unpack("long-words-of-another-program", m, "hello--l", putImageWord(2, 04000));
  list.Unpack("absolute-start-word", m, "program-default", [](const Bytes& file) {
    Bytes changed = file;
    PutWord(changed, 4 + 142 - 18, 0000137);
    PutWord(changed, 4 + 144 - 18, 04000);
    return changed;
  });
  list.Unpack("truncated", m, "program-default", [](const Bytes& file) {
    Bytes cut(file.begin() + 4, file.end() - 1);
    return MakeBkFile(WordAt(file, 0), cut);
  });
  list.Unpack("damaged-packed-length", m, "program-default", putImageWord(96 - 18, 0x7FFF));
  list.Unpack("damaged-header-length", m, "program-default", putImageWord(86 - 18, 0xFFFF));
  list.Unpack("damaged-bitmap", m, "program-default", [](const Bytes& file) {
    Bytes changed = file;
    std::fill(changed.begin() + 4 + 128, changed.begin() + 4 + 160, 0xFF);
    return changed;
  });
  list.Unpack("not-recognised-word", m, "program-default", putImageWord(140 - 18, 0));
  list.Unpack("padded-to-blocks", m, "hello-default", [](const Bytes& file) {
    Bytes changed = file;
    changed.resize((file.size() + 511) / 512 * 512, 0xE5);
    return changed;
  });
  list.UnpackFile("not-an-image", m, hello);
}

// --- Granol inputs ----------------------------------------------------------------

// Bytes with no pair of neighbours occurring twice, drawn from `count`
// values from `first` on: nothing to copy.
Bytes WithoutRepeatedPairs(size_t size, int first = 0, int count = 256, unsigned seed = 7) {
  // The records pin these bytes, so they keep the generator they were made
  // with (as Noise does).
  std::mt19937 random(seed);
  std::vector<bool> used(65536, false);
  Bytes data{static_cast<uint8_t>(first)};
  while (data.size() < size) {
    const auto next = static_cast<uint8_t>(first + random() % static_cast<unsigned>(count));
    const int pair = data.back() << 8 | next;
    if (used[static_cast<size_t>(pair)]) continue;
    used[static_cast<size_t>(pair)] = true;
    data.push_back(next);
  }
  return data;
}

// A pattern, bytes below any of its bytes, the pattern again at `distance`,
// and a tail that keeps the window end away.
Bytes RepeatedAfter(size_t length, size_t distance) {
  const Bytes pattern = WithoutRepeatedPairs(length, 0200, 0200, 11);
  Bytes data = pattern;
  Bytes gap = Noise(distance - length, static_cast<uint32_t>(distance));
  for (uint8_t& byte : gap) byte = static_cast<uint8_t>(040 + byte % 0100);
  data.insert(data.end(), gap.begin(), gap.end());
  data.insert(data.end(), pattern.begin(), pattern.end());
  data.insert(data.end(), {0xEE, 0xED, 0xEC, 0xEB});
  return data;
}

Bytes Text(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"10 PRINT ", "GOTO ",        "REM ",
                                       "A$=\"",     "\" ",          "FOR I=1 TO 10",
                                       "NEXT I\n",  "DATA 1,2,3\n", "\xF0\xD2\xC9\xD7\xC5\xD4 ",
                                       "\n"};
  Random random(seed);
  Bytes data;
  while (data.size() < size) {
    for (const char* c = kWords[random.Below(10)]; *c != '\0'; ++c)
      data.push_back(static_cast<uint8_t>(*c));
  }
  data.resize(size);
  return data;
}

void AddGranolCases(CaseList& list, const Bytes& hello) {
  const std::string& m = kGranol;
  // Worked examples, literal runs and the stream's end.
  list.Pack("six-zero-bytes", m, 01000, Bytes(6, 0));
  list.Pack("three-hundred-zero-bytes", m, 01000, Bytes(300, 0));
  list.Pack("alternating-text", m, 01000, Bytes{'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B'});
  {
    Bytes ramps(512);
    for (size_t i = 0; i < ramps.size(); ++i) ramps[i] = static_cast<uint8_t>(i);
    list.Pack("two-ramps", m, 01000, ramps);
  }
  for (size_t size : {0, 1, 2, 3, 8, 9, 264, 265, 266, 528, 529, 600}) {
    list.Pack("no-repeated-pair-" + std::to_string(size), m, 01000, WithoutRepeatedPairs(size));
  }
  list.Pack("five-ones", m, 01000, Bytes(5, 1));
  // Each copy class at its largest distance and one beyond.
  const struct {
    size_t length;
    size_t largest;
  } classes[] = {{2, 255},
                 {3, 511},
                 {4, 1023},
                 {5, 4095},
                 {40, 4095},
                 {256, 4095},
                 // A match is cut where the 4096-byte window ends and gives up its
                 // last byte: these are the farthest copies of 5, 40 and 256 bytes.
                 {5, 4090},
                 {40, 4055},
                 {256, 3839}};
  for (const auto& c : classes) {
    for (size_t distance : {c.largest - 1, c.largest, c.largest + 1}) {
      list.Pack("copy-" + std::to_string(c.length) + "-at-" + std::to_string(distance), m, 01000,
                RepeatedAfter(c.length, distance));
    }
  }
  {
    // Among matches longer than 256 bytes the last one found wins.
    const Bytes s = WithoutRepeatedPairs(300, 040, 0100);
    Bytes changed = s;
    changed[280] = 0x90;
    list.Pack("longest-matches-last-wins", m, 01000,
              Concat({s, changed, s, Bytes{0xEE, 0xED, 0xEC, 0xEB}}));
    auto join = [](std::initializer_list<const char*> parts) {
      Bytes data;
      for (const char* part : parts) data.insert(data.end(), part, part + 5);
      return data;
    };
    list.Pack("nearest-of-equal-matches", m, 01000,
              join({"XYZWV", "abcde", "XYZWV", "fghij", "XYZWV", "klmno"}));
    list.Pack("longer-match-farther", m, 01000,
              join({"XYZWV", "abcde", "XYZWq", "fghij", "XYZWV", "klmno"}));
  }
  // The window of 4096 bytes and larger inputs.
  for (size_t size : {4095, 4096, 4097, 4098, 8193, 20000}) {
    Random random(static_cast<uint32_t>(size));
    list.Pack("generated-" + std::to_string(size), m, 01000, GenerateProgram(random, size));
  }
  // The largest files korvid reads: 57343 bytes with the header, or raw.
  list.Pack("text-40000-at-0", m, 0, Text(40000, 3));
  list.Pack("refused-text-57339", m, 01000, Text(57339, 3), {}, false);
  // Up to 0177773: over the BK's registers, refused by the proof.
  list.Pack("ones-57339-at-020000", m, 020000, Bytes(57339, 0377), {}, false);
  list.PackFile("refused-raw-text-57343", m, Text(57343, 4), {}, false);
  list.PackFile("example", m, hello);
  // Load addresses, and images that must find a place beside their data.
  {
    Random random(91);
    const Bytes program = GenerateProgram(random, 1500);
    // Data at 0177776 and up to 0200000 lies over the BK's registers: the
    // proof refuses both.
    for (uint16_t load : std::initializer_list<uint16_t>{0, 01, 01000, 01001, 0100000, 0177776}) {
      const Bytes data = load == 0177776 ? Bytes{7, 9} : program;
      list.Pack("load-" + Octal(load), m, load, data, {}, load != 0177776);
    }
    list.Pack("data-up-to-0200000", m, 0170000, GenerateProgram(random, 010000), {}, false);
    list.Pack("noise-32000-at-0", m, 0, Noise(32000, 3));
    list.Pack("noise-31000-at-01000", m, 01000, Noise(31000, 3));
    list.Pack("noise-32000-at-01000", m, 01000, Noise(32000, 3));
    list.Pack("refused-noise-33000-at-01000", m, 01000, Noise(33000, 3), {}, false);
    list.Pack("refused-noise-57000", m, 01000, Noise(57000, 4), {}, false);
    list.PackFile("refused-raw-noise-57000", m, Noise(57000, 4), {}, false);
  }
  // The extension after the signature, and the options that change nothing.
  {
    const Bytes data = Bytes{1, 2, 3, 4, 5, 6, 7};
    const char* const names[] = {"game.bin",
                                 "GAME",
                                 "x.x",
                                 "a.b.longer",
                                 "game.",
                                 ".profile",
                                 "\xD0\xB8\xD0\xB3\xD1\x80\xD0\xB0.\xD0\xB1\xD0\xB8\xD0\xBD",
                                 "raw.\xE9z"};
    int index = 0;
    for (const char* name : names) {
      list.Pack("extension-" + std::to_string(index++), m, 01000, data, {}, true, name);
    }
  }
  list.PackFile("options-d-l-w", m, hello, {"-d", "-l", "-w", "0"});
  list.PackFile("raw-example", m, hello, {"-r"});
  list.Pack("raw-tiny", m, 02000, Bytes{1, 2, 3, 4}, {"-r"});

  // Damaged images and images kept in whole blocks.
  auto putImageWord = [](size_t index, uint16_t word) {
    return [index, word](const Bytes& file) {
      Bytes changed = file;
      PutWord(changed, 4 + 2 * index, word);
      return changed;
    };
  };
  list.Unpack("pointer-word-changed", m, "three-hundred-zero-bytes", putImageWord(4, 0354));
  list.Unpack("last-word-beyond-the-file", m, "three-hundred-zero-bytes",
              putImageWord(130, 0177776));
  list.Unpack("packed-length-too-small", m, "three-hundred-zero-bytes", putImageWord(131, 298));
  list.Unpack("packed-length-too-large", m, "three-hundred-zero-bytes", putImageWord(131, 302));
  list.Unpack("cut-in-the-stub", m, "example", [](const Bytes& file) {
    return MakeBkFile(WordAt(file, 0), Bytes(file.begin() + 4, file.begin() + 4 + 263));
  });
  list.Unpack("padded-to-blocks", m, "example", [](const Bytes& file) {
    Bytes changed = file;
    changed.resize((file.size() + 511) / 512 * 512, 0);
    return changed;
  });
  list.UnpackFile("not-an-image", m, hello);
}

void AddSokolCases(CaseList& list, const Bytes& hello) {
  const std::string& m = kSokol;
  list.PackFile("hello", m, hello, {}, true, "hello.bin");
  list.PackFile("hello--d", m, hello, {"-d"}, true, "hello.bin");
  list.PackFile("hello--r", m, hello, {"-r"}, true, "hello.bin");
  // Lengths at the edges, runs far longer than 255 bytes, copies from far
  // away, and data that does not compress.
  for (size_t size : {0, 1, 2, 3, 255, 256, 257}) {
    list.Pack("no-repeated-pair-" + std::to_string(size), m, 01000, WithoutRepeatedPairs(size));
  }
  list.Pack("zeros-20000", m, 01000, Bytes(20000, 0));
  {
    // A copy 25000 bytes back, beyond 16 KB.
    Bytes far = Noise(30000, 45);
    std::copy(far.begin(), far.begin() + 3000, far.begin() + 25000);
    list.Pack("noise-far-copy", m, 01000, far);
  }
  list.Pack("noise-3001", m, 02000, Noise(3001, 41));
  list.Pack("program-high", m, 0100000, Text(12000, 42));
  // Files below 01000 with every stack shape and at every kind of address.
  for (const uint16_t load : std::initializer_list<uint16_t>{0u, 0400u, 0744u, 0760u}) {
    for (const Stack shape : {Stack::Zero, Stack::Filled, Stack::Arbitrary, Stack::Single}) {
      const Bytes data = StackFile(load, shape, 02000, 3000, 43 + load);
      const std::string name =
          "stack-" + Octal(load) + "-" + kStackNames[static_cast<int>(shape)];
      list.Pack(name, m, load, data, {}, !LosesAStackWord(load, data));
      list.Pack(name + "--d", m, load, data, {"-d"}, !LosesAStackWord(load, data));
    }
  }
  // Refusals: nothing is written.
  list.Pack("odd-load-address", m, 01001, Bytes(100, 7), {}, false);
  list.Pack("nothing-above-01000", m, 0400, Bytes(0400, 1), {}, false);
  list.Pack("no-room-for-the-margin", m, 0177000, Noise(0400, 44), {}, false);
  // Damaged images: a stream byte and the checksum.
  list.Unpack("flipped-stream-byte", m, "noise-3001", [](const Bytes& file) {
    Bytes changed = file;
    changed[4 + 32 + 50] ^= 0x20;
    return changed;
  });
  list.Unpack("flipped-checksum", m, "zeros-20000", [](const Bytes& file) {
    Bytes changed = file;
    changed.back() ^= 1;
    return changed;
  });
}

std::string Console(const RunResult& run) { return run.out + '\0' + run.err; }

std::string OutputExtension(const KorvidGoldenCase& c) {
  if (c.method == kDorvik) return ".dvk";
  return c.method == kGranol ? ".grl" : ".skl";
}

std::string Record(const RunResult& run, bool wrote, const Bytes& output) {
  return std::to_string(run.exitStatus) + "," + Digest(Console(run)) + "," +
         (wrote ? std::to_string(output.size()) + "," + Digest(output) : std::string("-,-"));
}

}  // namespace

std::vector<KorvidGoldenCase> GeneratedGoldenCases(const std::string& examplesDir) {
  const Bytes hello = ReadFileBytes(examplesDir + "/hello.bin");
  if (hello.empty()) throw std::runtime_error("no " + examplesDir + "/hello.bin");
  CaseList list;
  AddDorvikCases(list, hello);
  AddGranolCases(list, hello);
  AddSokolCases(list, hello);
  return list.Take();
}

std::vector<KorvidGoldenCase> CorpusGoldenCases(const std::string& corpusDir) {
  CaseList list;
  for (const std::string& name : ListDirectory(corpusDir)) {
    if (name.size() < 5 || name.substr(name.size() - 4) != ".bin") continue;
    const Bytes file = ReadFileBytes(corpusDir + "/" + name);
    list.PackFile("corpus/" + name, kDorvik, file, {}, false, name);
    list.PackFile("corpus/" + name + "/-l,-d", kDorvik, file, {"-l", "-d"}, false, name);
    list.PackFile("corpus/" + name, kGranol, file, {}, false, name);
    list.PackFile("corpus/" + name, kSokol, file, {}, false, name);
    list.PackFile("corpus/" + name + "/-d", kSokol, file, {"-d"}, false, name);
  }
  return list.Take();
}

std::vector<KorvidGoldenRun> RunGoldenCases(const std::vector<KorvidGoldenCase>& cases,
                                            const std::string& korvid) {
  std::vector<KorvidGoldenRun> runs;
  std::map<std::string, Bytes> images;  // by case name: the image each pack case wrote
  for (const KorvidGoldenCase& c : cases) {
    KorvidGoldenRun run;
    TempDir dir;
    const bool raw = Has(c.options, "-r");
    if (c.change) {
      Bytes input = c.input;
      if (!c.base.empty()) {
        const auto base = images.find(c.base);
        if (base == images.end()) throw std::logic_error(c.name + ": no image of " + c.base);
        input = c.change(base->second);
      }
      WriteFileBytes(dir / c.inputName, input);
      run.input = input;
      std::vector<std::string> args = {"-u", "-t", c.method};
      args.insert(args.end(), c.options.begin(), c.options.end());
      args.insert(args.end(), {c.inputName, "unpacked"});
      run.first = RunKorvidAt(korvid, dir.path(), args);
      run.firstWrote = FileExists(dir / "unpacked.bkfile");
      run.firstOutput = ReadFileBytes(dir / "unpacked.bkfile");
    } else {
      run.packed = true;
      WriteFileBytes(dir / c.inputName, c.input);
      run.input = c.input;
      std::vector<std::string> args = {"-t", c.method};
      args.insert(args.end(), c.options.begin(), c.options.end());
      args.insert(args.end(), {c.inputName, "packed"});
      run.first = RunKorvidAt(korvid, dir.path(), args);
      const std::string image = "packed" + OutputExtension(c);
      run.firstWrote = FileExists(dir / image);
      run.firstOutput = ReadFileBytes(dir / image);
      if (run.firstWrote) {
        images[c.name] = run.firstOutput;
        std::vector<std::string> back = {"-u", "-t", c.method};
        if (raw) back.push_back("-r");
        back.insert(back.end(), {image, "unpacked"});
        run.unpack = RunKorvidAt(korvid, dir.path(), back);
        run.unpackWrote = FileExists(dir / "unpacked.bkfile");
        run.unpacked = ReadFileBytes(dir / "unpacked.bkfile");
      }
    }
    runs.push_back(std::move(run));
  }
  return runs;
}

std::string GoldenRecord(const KorvidGoldenCase& c, const KorvidGoldenRun& run) {
  std::string line = c.name + " input=" + Digest(run.input);
  if (!run.packed) return line + " unpack=" + Record(run.first, run.firstWrote, run.firstOutput);
  line += " pack=" + Record(run.first, run.firstWrote, run.firstOutput);
  if (run.firstWrote) line += " unpack=" + Record(run.unpack, run.unpackWrote, run.unpacked);
  return line;
}

Bytes PaddedRoundTrip(const KorvidGoldenCase& c) {
  Bytes data(c.input.begin() + 4, c.input.end());
  // Sokol gives odd lengths back as they were; the others add a zero byte.
  if ((data.size() & 1) && c.method != kSokol) data.push_back(0);
  if (Has(c.options, "-r")) return data;
  return MakeBkFile(WordAt(c.input, 0), data);
}
