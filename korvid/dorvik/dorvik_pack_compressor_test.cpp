#include "dorvik/dorvik_pack_compressor.h"

#include <gtest/gtest.h>

#include "dorvik/dorvik_pack_state.h"
#include "dorvik/dorvik_testing.h"

namespace dorvik {

namespace {

// Runs step 1 and the analysis steps 2 to 7 on the words, loaded at `load`.
Packing Analyse(const std::vector<uint16_t>& words, uint16_t load = 01000) {
  Packing p;
  EXPECT_EQ(PrepareRegion(BytesOfWords(words), load, {}, &p), PackError::None);
  dorvik_testing::RunAnalysisSteps(p);
  return p;
}

Bytes Stream(const Packing& p) {
  const auto begin = p.buffer.begin() + p.startOffset;
  return Bytes(begin, begin + p.streamLength);
}

Bytes DeltaList(Packing& p) {
  WriteDeltaList(p);
  const auto begin = p.tables.deltaList.begin();
  return Bytes(begin, begin + p.tableLength);
}

TEST(DorvikCompressor, TenWordExampleStatisticsAndDictionary) {
  Packing p = Analyse(TenWordExampleWords());
  const Tables& t = p.tables;
  EXPECT_EQ(t.highByteCount[0x12], 3);
  EXPECT_EQ(t.highByteCount[0x00], 3);  // the run of 7s counts once
  EXPECT_EQ(t.highByteCount[0x80], 1);
  // The ranking ends with 0x84, 0x83, 0x82, 0x81; 0x81 and 0x82 are reserved.
  EXPECT_EQ(t.highByteRanking[252].key, HighByteKey(0x84));
  EXPECT_EQ(t.highByteRanking[253].key, HighByteKey(0x83));
  EXPECT_EQ(t.highByteRanking[254].key, HighByteKey(0x82));
  EXPECT_EQ(t.highByteRanking[255].key, HighByteKey(0x81));
  ASSERT_EQ(t.candidates.size(), 2u);
  EXPECT_EQ(t.candidates[0].key, 0x1234);
  EXPECT_EQ(t.candidates[0].count, 3);
  EXPECT_EQ(t.candidates[1].key, 0x0001);
  EXPECT_EQ(t.candidates[1].count, 2);
  EXPECT_EQ(t.dictionary, (std::vector<uint16_t>{0x0001, 0x1234}));
  EXPECT_EQ(t.codeBitmap[0], 0x1E);
  for (size_t i = 1; i < 32; ++i) EXPECT_EQ(t.codeBitmap[i], 0) << i;
}

TEST(DorvikCompressor, TenWordExampleCodesDeltasAndStream) {
  Packing c = Analyse(TenWordExampleWords());
  EXPECT_EQ(c.base, 0xFFFF);
  EXPECT_EQ(c.tables.codeValues, (std::vector<uint16_t>{1, 2, 0x1235, 0x8000}));
  EXPECT_EQ(c.dictionarySize, 4);
  EXPECT_EQ(c.runCode, 0x84);
  EXPECT_EQ(CodeByteOf(c.tables, 2), 0x83);       // 0x0001
  EXPECT_EQ(CodeByteOf(c.tables, 0x1235), 0x82);  // 0x1234
  EXPECT_EQ(c.escapeCode, 0x81);
  EXPECT_EQ(c.oneByteLimit, 146);
  EXPECT_EQ(c.oneByteBias, 18);
  EXPECT_EQ(c.twoByteBias, 0x6E92);
  EXPECT_EQ(c.tableLength, 6);
  EncodeRegion(c);
  // 0x8002 is plain (0x80 is no code byte); the four 7s are a run group of
  // three copies followed by the plain word.
  EXPECT_EQ(Stream(c), (Bytes{0x82, 0x83, 0x82, 0x83, 0x82, 0x02, 0x80, 0x03, 0x84, 0x07, 0x00}));
  EXPECT_EQ(c.rawPrefixEnd, 0);
  EXPECT_EQ(DeltaList(c), (Bytes{0x11, 0x11, 0x6E, 0x5F, 0x12, 0xC7}));
}

TEST(DorvikCompressor, NoRepeatedWordSelectsNoDictionary) {
  Packing p = Analyse({0x0102, 0x0304, 0x0506, 0x0708});
  EXPECT_TRUE(p.tables.dictionary.empty());
  EXPECT_EQ(p.base, 0xFFFE);
  EXPECT_EQ(p.tables.codeValues, (std::vector<uint16_t>{1, 0x8000}));
  EXPECT_EQ(p.oneByteLimit, 128);
  EXPECT_EQ(p.oneByteBias, 0);
  EXPECT_EQ(p.twoByteBias, 0x8080);
  EXPECT_EQ(DeltaList(p), (Bytes{0xFF, 0x00, 0x81}));
  // When all counts tie, 0x80 and 0x81 are the reserved code bytes.
  EXPECT_EQ(p.tables.codeBitmap[0], 0x03);
}

TEST(DorvikCompressor, FiveEqualWordsAreOneRunGroup) {
  Packing p = Analyse({0x1234, 0x1234, 0x1234, 0x1234, 0x1234});
  EXPECT_TRUE(p.tables.dictionary.empty());
  EXPECT_EQ(p.tables.codeBitmap[0], 0x03);
  EXPECT_EQ(p.escapeCode, 0x80);
  EXPECT_EQ(p.runCode, 0x81);
  EncodeRegion(p);
  EXPECT_EQ(Stream(p), (Bytes{0x04, 0x81, 0x34, 0x12}));
  EXPECT_EQ(DeltaList(p), (Bytes{0xFF, 0x00, 0x81}));
}

TEST(DorvikCompressor, RunsSplitIntoGroupsOf256) {
  struct Case {
    size_t equalWords;
    Bytes groups;  // the run groups before the word's own token
  };
  const Case cases[] = {{3, {0x02, 0x81}},
                        {256, {0xFF, 0x81}},
                        {257, {0x00, 0x81}},
                        {258, {0x00, 0x81, 0x01, 0x81}},
                        {600, {0x00, 0x81, 0x00, 0x81, 0x57, 0x81}}};
  for (const Case& test : cases) {
    std::vector<uint16_t> words(test.equalWords, 0x5555);
    words.insert(words.begin(), {0x1111, 0x1111, 0x1111});  // out falls behind at once
    Packing p = Analyse(words);
    EncodeRegion(p);
    Bytes expected = {0x02, 0x81, 0x11, 0x11};
    expected.insert(expected.end(), test.groups.begin(), test.groups.end());
    expected.insert(expected.end(), {0x55, 0x55});
    EXPECT_EQ(Stream(p), expected) << test.equalWords << " equal words";
  }
}

TEST(DorvikCompressor, TwoEqualWordsAreTwoTokens) {
  // Counted twice, 0x5555 becomes a dictionary word (code 0x81; the run
  // code is then 0x82).
  Packing p = Analyse({0x1111, 0x1111, 0x1111, 0x5555, 0x5555});
  EncodeRegion(p);
  EXPECT_EQ(Stream(p), (Bytes{0x02, 0x82, 0x11, 0x11, 0x81, 0x81}));
}

TEST(DorvikCompressor, WordsAtBasePlusOneAndPlus8000AreNeverLookedUp) {
  // Dictionary {0x1000}: base = 0x0FFE, so 0x0FFF maps to the run value and
  // 0x8FFE to the escape value; both must stay plain words.
  Packing p = Analyse({0x1000, 0x0FFF, 0x1000, 0x8FFE, 0x1000});
  ASSERT_EQ(p.base, 0x0FFE);
  EncodeRegion(p);
  EXPECT_EQ(Stream(p), (Bytes{0x81, 0xFF, 0x0F, 0x81, 0xFE, 0x8F, 0x81}));
}

// Two words of every high byte except 0x12 and `skipped`, so that 0x80 is a
// reserved code byte that occurs in the data; then 0x1234 `times` times,
// spread out, which becomes a dictionary word.
std::vector<uint16_t> WithEveryHighByte(std::vector<uint16_t> words, unsigned skipped, int times) {
  for (unsigned h = 0; h < 256; ++h) {
    if (h == 0x12 || h == skipped) continue;
    words.push_back(static_cast<uint16_t>(h << 8 | 0x01));
    words.push_back(static_cast<uint16_t>(h << 8 | 0x03));
  }
  for (int i = 0; i < times; ++i) words.insert(words.begin() + 20 + 9 * i, 0x1234);
  return words;
}

TEST(DorvikCompressor, FirstWordWithACodeByteHighIsPlainAndExtendsThePrefix) {
  // 0x8005 first, 0x8007 later: 0x80 occurs twice like every other byte.
  std::vector<uint16_t> words = WithEveryHighByte({0x8005}, 0x80, 5);
  words.push_back(0x8007);
  Packing p = Analyse(words);
  ASSERT_TRUE(IsCodeByte(p.tables, 0x80));
  EncodeRegion(p);
  const Bytes stream = Stream(p);
  EXPECT_EQ(stream[0], 0x05);
  EXPECT_EQ(stream[1], 0x80);
  EXPECT_EQ(stream[2], words[1] & 0xFF);  // no escape byte after it
  EXPECT_GE(p.rawPrefixEnd, 1);
}

TEST(DorvikCompressor, EscapeThatCatchesUpRollsTheStreamBack) {
  // A dictionary word (1 byte) and an escaped word (3 bytes) meet the input
  // after 4 bytes.
  std::vector<uint16_t> words = WithEveryHighByte({0x1234, 0x8003}, 0x80, 4);
  words.push_back(0x8007);
  Packing p = Analyse(words);
  ASSERT_GE(CodeByteOf(p.tables, static_cast<uint16_t>(0x1234 - p.base)), 0);
  ASSERT_TRUE(IsCodeByte(p.tables, 0x80));
  EncodeRegion(p);
  const Bytes stream = Stream(p);
  EXPECT_EQ(Bytes(stream.begin(), stream.begin() + 4), (Bytes{0x34, 0x12, 0x03, 0x80}));
  EXPECT_GE(p.rawPrefixEnd, 2);
  const auto packed = dorvik_testing::Pack(01000, BytesOfWords(words));
  EXPECT_EQ(dorvik_testing::Unpack(01000, packed.image).data, BytesOfWords(words));
}

TEST(DorvikCompressor, StreamThatWouldBeAllPlainGetsADictionaryWordAtTheEnd) {
  Packing single = Analyse({0x0102, 0x0304, 0x0506, 0x0708});
  EncodeStream(single);
  EXPECT_TRUE(RegionStoredPlain(single));  // what a single pass gives
  Packing p = Analyse({0x0102, 0x0304, 0x0506, 0x0708});
  EncodeRegion(p);
  EXPECT_FALSE(RegionStoredPlain(p));
  EXPECT_EQ(p.tables.dictionary, (std::vector<uint16_t>{0x0708}));
  EXPECT_EQ(CodeByteOf(p.tables, static_cast<uint16_t>(0x0708 - p.base)), 0x81);
  EXPECT_EQ(Stream(p), (Bytes{0x02, 0x01, 0x04, 0x03, 0x06, 0x05, 0x81}));
  EXPECT_EQ(p.rawPrefixEnd, 3);
}

TEST(DorvikCompressor, OddLengthIsPaddedWithAZeroByte) {
  Packing p;
  ASSERT_EQ(PrepareRegion(Bytes{0x11, 0x22, 0x33}, 01000, {}, &p), PackError::None);
  EXPECT_EQ(p.buffer[3], 0);
  EXPECT_EQ(p.inputLength, 3);
  EXPECT_EQ(p.wordCount, 2);
  EXPECT_EQ(p.endOffset, 4);
}

}  // namespace

}  // namespace dorvik
