// The Granol packer against worked examples: the token sequence of each
// image is read back with a reader of the test's own and compared with the
// tokens the examples call for, and a few images are checked word by word.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "granol/granol.h"
#include "granol/granol_stub.h"
#include "support/bk_bytes.h"

namespace granol {

namespace {

Bytes Packed(const Bytes& data, uint16_t loadAddress = 01000,
             const std::u16string& extension = u"bin") {
  PackResult packed = granol::Pack(data, loadAddress, {extension});
  EXPECT_EQ(packed.error, PackError::None);
  return packed.image;
}

uint16_t Word(const Bytes& image, size_t index) { return WordAt(image, 2 * index); }

// A token as the data sees it: literal runs with their bytes, copies with
// length, distance and class.
struct Token {
  bool literal;
  int length;
  int distance;   // copies
  int copyClass;  // copies: 0..3
  int countCode;  // literal runs: the count field as stored
  bool operator==(const Token& other) const {
    return literal == other.literal && length == other.length && distance == other.distance &&
           copyClass == other.copyClass;
  }
};

Token Literal(int count) { return {true, count, 0, 0, 0}; }
Token Copy(int length, int distance, int copyClass) {
  return {false, length, distance, copyClass, 0};
}

std::ostream& operator<<(std::ostream& out, const Token& t) {
  if (t.literal) return out << "literal run " << t.length;
  return out << "copy " << t.length << " at " << t.distance << " class " << t.copyClass;
}

// Reads the stream of an image the way the stub does, into tokens listed in
// data order (the reverse of reading order).
std::vector<Token> TokensInDataOrder(const Bytes& image) {
  const size_t words = image.size() / 2;
  std::vector<int> bits;  // reading order
  const int lastBits = Word(image, words - 1);
  for (int b = 0; b < lastBits; ++b) bits.push_back((Word(image, words - 2) >> b) & 1);
  for (size_t w = words - 2; w-- > kFirstStreamWord;) {
    for (int b = 0; b < 16; ++b) bits.push_back((Word(image, w) >> b) & 1);
  }
  size_t at = 0;
  auto take = [&](int width) {
    int value = 0;
    for (int i = 0; i < width; ++i) value = value << 1 | bits.at(at++);
    return value;
  };
  std::vector<Token> tokens;
  while (at < bits.size()) {
    const int prefix = take(2);
    if (prefix == 0) {
      const int code = take(3);
      tokens.push_back({true, code + 1, 0, 0, code});
      at += 8 * (code + 1);
    } else if (prefix == 1) {
      tokens.push_back(Copy(2, take(8), 0));
    } else {
      const int third = take(1);
      if (prefix == 2) {
        tokens.push_back(third == 0 ? Copy(3, take(9), 1) : Copy(4, take(10), 2));
      } else if (third == 0) {
        const int length = take(8) + 1;
        tokens.push_back(Copy(length, take(12), 3));
      } else {
        const int code = take(8);
        tokens.push_back({true, code + 9, 0, 0, 0x700 + code});
        at += 8 * (code + 9);
      }
    }
  }
  EXPECT_EQ(at, bits.size()) << "the stream ends inside a token";
  std::reverse(tokens.begin(), tokens.end());
  return tokens;
}

// Bytes with no pair of neighbours occurring twice: nothing to copy. The
// bytes are drawn from `count` values starting at `first`.
Bytes WithoutRepeatedPairs(size_t size, int first = 0, int count = 256, unsigned seed = 7) {
  Random random(seed);
  std::vector<bool> used(65536, false);
  Bytes data{static_cast<uint8_t>(first)};
  while (data.size() < size) {
    const uint8_t next = static_cast<uint8_t>(first + random() % count);
    const int pair = data.back() << 8 | next;
    if (used[pair]) continue;
    used[pair] = true;
    data.push_back(next);
  }
  return data;
}

TEST(Pack, ThreeHundredZeroBytes) {
  const Bytes image = Packed(Bytes(300, 0));
  const std::vector<Token> expected = {Copy(256, 2, 3), Copy(41, 2, 3), Literal(3)};
  EXPECT_EQ(TokensInDataOrder(image), expected);
  EXPECT_EQ(Word(image, kPackedLengthWord), 300);
}

TEST(Pack, SixZeroBytesWordByWord) {
  const Bytes image = Packed(Bytes(6, 0));
  const std::vector<Token> expected = {Copy(3, 2, 1), Literal(3)};
  EXPECT_EQ(TokensInDataOrder(image), expected);
  // Appended bits: distance 2 in 9 bits (010000000 from bit 0 up), prefix 4 in
  // 3 bits (001), then 24 zero literal bits, then count-1 = 2 in 5 bits
  // (01000): 41 bits, two full words and 9 bits under the marker bit.
  ASSERT_EQ(image.size(), 2u * 136);
  EXPECT_EQ(Word(image, 132), 0040020);
  EXPECT_EQ(Word(image, 133), 0);
  EXPECT_EQ(Word(image, 134), 001010);  // marker, 4 literal bits, 01000
  EXPECT_EQ(Word(image, 135), 9);
  EXPECT_EQ(Word(image, kLoadAddressWord), 01000);
  EXPECT_EQ(Word(image, kImageEndWord), 2 * (136 - 131));
  EXPECT_EQ(Word(image, kPackedLengthWord), 6);
  EXPECT_TRUE(std::equal(kStub.begin(), kStub.begin() + kExtensionOffset, image.begin()));
}

TEST(Pack, AlternatingText) {
  const std::string text = "ABABABABAB";
  const std::vector<Token> expected = {Copy(7, 2, 3), Literal(3)};
  EXPECT_EQ(TokensInDataOrder(Packed(Bytes(text.begin(), text.end()))), expected);
}

TEST(Pack, TwoRampsCopyFromTheSecondHalf) {
  Bytes data(512);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  const std::vector<Token> tokens = TokensInDataOrder(Packed(data));
  const std::vector<Token> expected = {Copy(255, 256, 3), Literal(257)};
  EXPECT_EQ(tokens, expected);
  EXPECT_EQ(tokens.back().countCode, 0x700 + 257 - 9);
}

TEST(Pack, NoRepeatedPairGivesLiteralRunsOf264) {
  const std::vector<Token> tokens = TokensInDataOrder(Packed(WithoutRepeatedPairs(600)));
  const std::vector<Token> expected = {Literal(264), Literal(264), Literal(72)};
  EXPECT_EQ(tokens, expected);
  EXPECT_EQ(tokens.front().countCode, 0x7FF);
}

TEST(Pack, StreamOfWholeWordsEndsWithSixteen) {
  // 264 + 2 literals: 266 * 8 bits + 11 + 5 bits of count codes = 134 words.
  const Bytes image = Packed(WithoutRepeatedPairs(266));
  const size_t words = image.size() / 2;
  EXPECT_EQ(words, 132u + 134 + 1);
  EXPECT_EQ(Word(image, words - 1), 16);
  const std::vector<Token> expected = {Literal(264), Literal(2)};
  EXPECT_EQ(TokensInDataOrder(image), expected);
}

TEST(Pack, OddLengthIsPaddedWithAZeroByte) {
  const PackResult packed = granol::Pack(Bytes{1, 1, 1, 1, 1}, 01000, {u""});
  EXPECT_EQ(packed.packedLength, 6u);
  EXPECT_EQ(Word(packed.image, kPackedLengthWord), 6);
  EXPECT_EQ(packed.image, Packed(Bytes{1, 1, 1, 1, 1, 0}, 01000, u""));
  EXPECT_EQ(packed.imageLength, packed.image.size());
}

// The last three bytes are always literals: a copy ends three bytes before
// the end of the window at the latest. Checked on inputs full of repeats.
TEST(Pack, InputEndsWithAtLeastThreeLiterals) {
  Random random(3);
  for (int round = 0; round < 200; ++round) {
    Bytes data(2 + random() % 700);
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(random() % 3);
    if (data.size() % 2 != 0) data.push_back(0);
    const std::vector<Token> tokens = TokensInDataOrder(Packed(data));
    ASSERT_FALSE(tokens.empty());
    int trailingLiterals = 0;
    for (auto t = tokens.rbegin(); t != tokens.rend() && t->literal; ++t) {
      trailingLiterals += t->length;
    }
    EXPECT_GE(trailingLiterals, std::min<int>(3, static_cast<int>(data.size())))
        << "size " << data.size();
    int total = 0;
    for (const Token& t : tokens) total += t.length;
    EXPECT_EQ(total, static_cast<int>(data.size()));
  }
}

TEST(Pack, CopyClassesRespectTheirDistanceLimits) {
  // A pattern, a gap of bytes that share no pair with it or with each other,
  // the pattern again, and a tail that keeps the window end away. A pair
  // can be copied from 255 bytes away, three bytes from 511, four from
  // 1023, five and more from 4095.
  struct Case {
    Bytes pattern;
    size_t distance;
    bool copied;
  };
  const Case cases[] = {{{0x81, 0x82}, 250, true},
                        {{0x81, 0x82}, 300, false},
                        {{0x81, 0x82, 0x83}, 500, true},
                        {{0x81, 0x82, 0x83}, 600, false},
                        {{0x81, 0x82, 0x83, 0x84}, 1000, true},
                        {{0x81, 0x82, 0x83, 0x84}, 1100, false},
                        {{0x81, 0x82, 0x83, 0x84, 0x85}, 4000, true}};
  for (const Case& c : cases) {
    Bytes data = c.pattern;
    const Bytes gap = WithoutRepeatedPairs(c.distance - c.pattern.size(), 040, 0100);
    data.insert(data.end(), gap.begin(), gap.end());
    data.insert(data.end(), c.pattern.begin(), c.pattern.end());
    data.insert(data.end(), {0xEE, 0xED, 0xEC, 0xEB});
    const std::vector<Token> tokens = TokensInDataOrder(Packed(data));
    ASSERT_FALSE(tokens.empty());
    const int length = static_cast<int>(c.pattern.size());
    const Token copy = Copy(length, static_cast<int>(c.distance), std::min(length - 2, 3));
    EXPECT_EQ(tokens.front() == copy, c.copied) << length << " bytes again after " << c.distance;
  }
}

TEST(Pack, LongestMatchWinsAndTheNearestAmongEqualOnes) {
  auto join = [](std::initializer_list<const char*> parts) {
    Bytes data;
    for (const char* part : parts) data.insert(data.end(), part, part + 5);
    return data;
  };
  // "XYZWV" again at 10 and at 20: the nearer one.
  EXPECT_EQ(TokensInDataOrder(Packed(join({"XYZWV", "abcde", "XYZWV", "fghij", "XYZWV", "klmno"})))
                .front(),
            Copy(5, 10, 3));
  // "XYZW" at 10, "XYZWV" at 20: the longer one, although farther.
  EXPECT_EQ(TokensInDataOrder(Packed(join({"XYZWV", "abcde", "XYZWq", "fghij", "XYZWV", "klmno"})))
                .front(),
            Copy(5, 20, 3));
}

TEST(Pack, AmongMatchesBeyond256BytesTheLastOneWins) {
  // S, S with its byte 280 changed, S again: at the start, the candidate at
  // 300 matches 280 bytes and the one at 600 matches 300. Both exceed the
  // longest copy of 256 bytes; the later one is taken.
  const Bytes s = WithoutRepeatedPairs(300, 040, 0100);
  Bytes changed = s;
  changed[280] = 0x90;
  Bytes data = s;
  data.insert(data.end(), changed.begin(), changed.end());
  data.insert(data.end(), s.begin(), s.end());
  data.insert(data.end(), {0xEE, 0xED, 0xEC, 0xEB});
  const std::vector<Token> tokens = TokensInDataOrder(Packed(data));
  ASSERT_FALSE(tokens.empty());
  EXPECT_EQ(tokens.front(), Copy(256, 600, 3));
}

TEST(Pack, EmptyInputHasAStreamWithoutBits) {
  const Bytes image = Packed(Bytes(), 02000);
  ASSERT_EQ(image.size(), 2u * 134);
  EXPECT_EQ(Word(image, 132), 1);  // the bare marker
  EXPECT_EQ(Word(image, 133), 0);  // no valid bits: the stub stops at once
  EXPECT_EQ(Word(image, kLoadAddressWord), 02000);
  EXPECT_EQ(Word(image, kImageEndWord), 6);
  EXPECT_EQ(Word(image, kPackedLengthWord), 0);
}

TEST(Pack, ExtensionBytesAfterTheSignature) {
  struct Case {
    std::u16string extension;
    Bytes bytes;
  };
  const Case cases[] = {
      {u"bin", {'b', 'i', 'n'}},
      {u"", {0, 0, 0}},
      {u"x", {'x', 0, 0}},
      {u"longer", {'l', 'o', 'n'}},
      {u"\u0431\u0438\u043d", {0xC2, 0xC9, 0xCE}},  // бин in the BK's KOI-8
      {u"\u041f\u0420\u0413", {0xF0, 0xF2, 0xE7}},  // ПРГ
      {u"txt\u0451", {'t', 'x', 't'}},              // only three characters count
      // A character without a BK form leaves the field as the stub has it.
      {u"\u0451\u043b\u043a", {0, 0, 0}},  // ёлк: ё would become е
      {u"\xDCE9z", {0, 0, 0}},
      {u"\xD83D\xDE00", {0, 0, 0}},  // one character, two units
  };
  for (const Case& c : cases) {
    const Bytes image = Packed(Bytes{1, 2, 3, 4}, 01000, c.extension);
    const Bytes stored(image.begin() + kExtensionOffset, image.begin() + kExtensionOffset + 3);
    EXPECT_EQ(stored, c.bytes) << "case " << &c - cases;
  }
}

}  // namespace

}  // namespace granol
