#include "ul_charset_detect.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/support.h"

namespace {

const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.c_str()); }

// Another static initialiser uses the detector.
const int kStaticGuess = [] {
  int confidence = 0;
  return l_detect.guess(U("\xD2\xBB"), confidence) * 1000 + confidence;
}();

TEST(CharsetDetect, UsableFromStaticInitialisers) { EXPECT_EQ(kStaticGuess, 1119); }

TEST(CharsetDetect, AnchorCells) {
  const struct {
    int table;  // 0 GB2312, 1 BIG5, 2 GBK
    unsigned code;
    int rank;
  } cells[] = {{0, 0xB5C4, 599}, {0, 0xD2BB, 598}, {0, 0xCAC7, 597}, {0, 0xB2BB, 596}, {0, 0xCEB4, 201},
               {0, 0xB3D6, 200}, {1, 0xAABA, 600}, {1, 0xAC4F, 599}, {1, 0xA4A3, 598}, {1, 0xA7DA, 597},
               {1, 0xA553, 202}, {1, 0xAAF9, 201}, {2, 0xB5C4, 600}, {2, 0xCAC7, 599}, {2, 0xB2BB, 598},
               {2, 0xCED2, 597}, {2, 0xD1D0, 300}, {2, 0xD6B1, 299}};
  for (const auto& c : cells) {
    const unsigned lead = c.code >> 8, trail = c.code & 0xFF;
    const int got = c.table == 0   ? l_detect.m_ayGBFreq[lead - 0xA1][trail - 0xA1]
                    : c.table == 1 ? l_detect.m_ayBig5Freq[lead - 0xA1][trail <= 0x7E ? trail - 0x40 : trail - 0x61]
                                   : l_detect.m_ayGBKFreq[lead - 0x81][trail - 0x40];
    EXPECT_EQ(got, c.rank) << std::hex << c.code;
  }
}

// Texts built from anchor cells and cells no list may fill (GB2312 rows
// outside B0..D7, BIG5 leads outside A4..C6).
TEST(CharsetDetect, GuessAndMargin) {
  const struct {
    std::string text;
    int gbk, big5, result, confidence;
  } cases[] = {
      {"\xD2\xBB", 119, 0, 1, 119},
      {"\xAA\xBA", 39, 119, 2, 119},                                        // a symbol row counts 200
      {"\xAA\xBA\xAA\xBA\xD2\xBB\xD2\xBB\xAA\xF9", 71, 56, 1, 71},          // 15 apart: the winner's score
      {"\xCE\xB4\xAA\xF9\xAA\xF9", 40, 26, 1, 14},                          // 14 apart: the difference
      {"\xA4\xA3\xA4\xA3\xCE\xB4\xCE\xB4\xD8\xA1", 32, 47, 2, 47},
      {"\xAA\xBA\xAA\xBA\xCE\xB4\xCE\xB4", 40, 59, 2, 59},
      {"\x80\x41\xB5\xC4", 0, 0, -1, 55},                                   // a lead 80 costs 5000
      {"\xB5\xC4\xFF\xA1", 0, 0, -1, 55},                                   // so does a lead FF
      {"hello", 0, 0, -1, 55},
      {"", 0, 0, 0, 100},
  };
  for (const auto& c : cases) {
    const int len = static_cast<int>(c.text.size());
    EXPECT_EQ(l_detect.gbk_probability(U(c.text), len), c.gbk) << c.text;
    EXPECT_EQ(l_detect.big5_probability(U(c.text), len), c.big5) << c.text;
    int confidence = 55;
    EXPECT_EQ(l_detect.guess(U(c.text), confidence), c.result) << c.text;
    EXPECT_EQ(confidence, c.confidence) << c.text;
  }
  int confidence = 55;
  EXPECT_EQ(l_detect.guess(nullptr, confidence), 0);
  EXPECT_EQ(confidence, 100);
  EXPECT_EQ(l_detect.gbk_probability(U("\xD2\xBB\xD2"), 3), 119);  // a last lone lead byte is not read
  // A GBK pair outside the GB2312 area scores through the GBK table (here a
  // traditional character, which BIG5 reads as a pair without a rank).
  EXPECT_GT(l_detect.gbk_probability(U("\xDF\x40"), 2), 100);
  EXPECT_EQ(l_detect.big5_probability(U("\xDF\x40"), 2), 0);
}

TEST(CharsetDetect, Utf8Probability) {
  const std::string han = "\xE4\xB8\x80", bom = "\xEF\xBB\xBF";
  auto repeat = [](const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };
  const struct {
    std::string text;
    int p;
  } cases[] = {
      {bom + han, -1000},
      {bom + han + han, 1000},
      {bom + "\x80\x80\x80" + han + han, 1000},
      {"ab" + han + han, 100},
      {"\xC3\xA9" + han + han, 100},
      {"\xC3\xA9\xC3\xA9", 0},                              // fewer than two CJK characters
      {"abc", 0},
      {"", 0},
      {repeat(han, 22) + repeat("\x80", 7), 90},            // 66 / 73
      {repeat(han, 22) + repeat("\x80", 8), 0},             // 66 / 74 is 89
      {repeat(han, 10) + "\x80\x80", 93},                   // 30 good bytes
      {repeat(han, 9) + "\x80\x80", 0},                     // 27 good bytes under 95
      {repeat(han, 2) + "\xE4\xB8", 0},                     // a cut character is not good
      {"\xF0\x9F\x98\x80" + han + han, 0},                  // four-byte characters are not counted good
  };
  for (const auto& c : cases) {
    EXPECT_EQ(l_detect.utf8_probability(U(c.text), static_cast<int>(c.text.size())), c.p) << c.text;
  }
}

// The committed lists are what the generator makes from the packages; run
// when the generator's package cache is named (CI names one: .ci/run).
TEST(CharsetDetect, GeneratorReproducesTheLists) {
  const char* cache = getenv("PBDICT_CCODE_DATA_CACHE");
  if (cache == nullptr) GTEST_SKIP() << "PBDICT_CCODE_DATA_CACHE names no package cache";
  const auto r = testsupport::RunProgram(
      {"/usr/bin/python3", testsupport::SourceDir() + "/tools/gen_charset_freq.py", "--cache", cache, "--check"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

}  // namespace
