// Query-language scoring: the n-gram walk and its back-off, word scores and
// the top list, the per-language driver, ranking.
#include "ul_ccode_querylang.h"

#include <gtest/gtest.h>
#include <limits.h>

#include <string>
#include <vector>

#include "query_feature_data.h"
#include "support/support.h"

namespace {

using querytest::LangFiles;
using querytest::SharedSet;

struct Top {
  int v[12] = {-1, -1, INT_MIN, -1, -1, INT_MIN, -1, -1, INT_MIN, -1, -1, INT_MIN};
};

int Char(_LANG_T lang, std::string text, bool latin = false) {
  int score = 0;
  const int ok = latin ? ul_ccode_checkcmfeature(SharedSet(), lang, &text[0], &score)
                       : ul_ccode_checkfeature(SharedSet(), lang, &text[0], &score);
  return ok == 1 ? score : -999999;
}

TEST(QueryScore, NgramWalkAndBackOff) {
  ASSERT_NE(SharedSet(), nullptr);
  LangFiles f;
  // Bigram ab, with the context weight of b; trigram context ab; a gram
  // stored below -999.
  f.big = "a b\t-1 -9\nb\t-3 -0.5\nx y\t-7 0\n";
  f.tri = "a b\t-9 -0.3\n";
  f.uni = "c\t-2 0\n";
  ASSERT_TRUE(querytest::Reload(LANGTYPE_ENGLISH, f));
  struct Case {
    const char* text;
    int score;
    const char* why;
  } cases[] = {
      {"a", -69, "one character: the constant only"},
      {"a b", -69, "two one-character words"},
      {"ab", -230 - 69, "one bigram"},
      {"xy", -1000 - 69, "a stored value below -999 counts -1000"},
      // abc: trigram missing, its context ab weighs -69; then bigram bc
      // missing, context b weighs -115; then unigram c -460.
      {"abc", -230 - 69 - 115 - 460 - 69, "the back-off chain"},
      // bcd: bigram bc backs off to c (-115 - 460); then trigram bcd:
      // context bc missing, bigram cd and context c missing, d missing.
      {"bcd", -115 - 460 - 1000 - 1000 - 1000 - 69, "a missing context costs 1000"},
      {"ab\xFF" "ab\tab\nab", 4 * -230 - 69, "bad bytes and separators end words; all lines"},
  };
  for (const Case& c : cases) EXPECT_EQ(Char(LANGTYPE_ENGLISH, c.text), c.score) << c.why;
  // The Latin walk: the first line, blanks are characters, other bytes
  // become blanks in the caller's buffer.
  std::string text = "Ab\r\ncd";
  int score = 0;
  ASSERT_EQ(ul_ccode_checkcmfeature(SharedSet(), LANGTYPE_ENGLISH, &text[0], &score), 1);
  EXPECT_EQ(text, std::string(" b\0\ncd", 6));
  EXPECT_EQ(score, -1000 - 1000 - 69) << "bigram ' b' missing, context ' ' missing, unigram b missing";
  EXPECT_EQ(Char(LANGTYPE_ENGLISH, "\nab", true), -69);
  // Constants of the four scorers by language.
  EXPECT_EQ(Char(LANGTYPE_SIMP_CHINESE, "a"), -230);
  EXPECT_EQ(Char(LANGTYPE_THAI, "a"), -460);
  EXPECT_EQ(Char(LANGTYPE_FRENCH, "a", true), -230);
  EXPECT_EQ(Char(LANGTYPE_MALAY, "a", true), -460);
  EXPECT_EQ(Char(LANGTYPE_ARABIC, "a", true), -529);
  // Refusals: a language without tables is never looked at.
  EXPECT_EQ(Char(LANGTYPE_KOREAN, "ab"), -999999);
  EXPECT_EQ(Char(LANGTYPE_ENGLISH, ""), -999999);
  EXPECT_EQ(ul_ccode_checkfeature(nullptr, LANGTYPE_ENGLISH, &text[0], &score), 0);
  EXPECT_EQ(ul_ccode_checkcmfeature(SharedSet(), LANGTYPE_ENGLISH, &text[0], nullptr), 0);
}

TEST(QueryScore, WordScoresAndTopList) {
  LangFiles f;
  f.words = "the 3\nof 1\n";
  ASSERT_TRUE(querytest::Reload(LANGTYPE_ENGLISH, f));
  f.words = "\xE5\x8C\x97\xE4\xBA\xAC 1\n\xE5\x8C\x97 1\n\xE5\xA4\xA9 2\n";
  ASSERT_TRUE(querytest::Reload(LANGTYPE_SIMP_CHINESE, f));
  LANGFEATURESET* fs = SharedSet();
  Top top;
  std::string text = "the of xyz";
  // the: 3/4 of 1e8 -> -28; of: -138; xyz: -2302.
  EXPECT_EQ(ul_ccode_langcmword(&text[0], fs, 9, LANGTYPE_ENGLISH, top.v), -69 - 28 - 138 - 2302);
  EXPECT_EQ(top.v[2], -2537);
  text = "xyz";
  EXPECT_EQ(ul_ccode_langcmword(&text[0], fs, 9, LANGTYPE_ENGLISH, top.v), INT_MIN) << "no hit";
  text = "the";
  EXPECT_EQ(ul_ccode_langcmword(&text[0], fs, 3, LANGTYPE_ENGLISH, top.v), -97);
  EXPECT_EQ((std::vector<int>(top.v, top.v + 6)), (std::vector<int>{3, 0, -97, 9, 0, -2537}));
  text = "the";
  ul_ccode_langcmword(&text[0], fs, 1, LANGTYPE_ENGLISH, top.v);
  EXPECT_EQ(top.v[3], 1) << "a tie goes after the older entry";
  // A full list of high scores: a scoring that falls below the 4th ends early.
  Top full;
  for (int i = 0; i < 4; ++i) full.v[3 * i + 2] = -400;
  text = "the xyz";
  EXPECT_EQ(ul_ccode_langcmword(&text[0], fs, 9, LANGTYPE_ENGLISH, full.v), INT_MIN);
  EXPECT_EQ(full.v[0], -1);
  // A score equal to the 4th's does not enter a full list.
  struct {
    Top top;
    int past[3] = {7, 7, INT_MIN};
  } tied;
  for (int i = 0; i < 4; ++i) tied.top.v[3 * i + 2] = -97;
  text = "the";
  EXPECT_EQ(ul_ccode_langcmword(&text[0], fs, 9, LANGTYPE_ENGLISH, tied.top.v), -97);
  EXPECT_EQ(tied.top.v[0], -1);
  EXPECT_EQ(tied.past[0], 7);

  // Longest match: 北京 is one word, 天 another; 地 misses (one character).
  bool flags[QUERY_FLAG_NUM] = {};
  Top t2;
  text = "\xE5\x8C\x97\xE4\xBA\xAC \xE5\xA4\xA9";
  EXPECT_EQ(ul_ccode_langcnthword(&text[0], fs, 3, LANGTYPE_SIMP_CHINESE, t2.v, flags), -230 - 138 - 69);
  EXPECT_TRUE(flags[LANGTYPE_SIMP_CHINESE]) << "every word found";
  flags[LANGTYPE_SIMP_CHINESE] = false;
  text = "\xE5\x8C\x97\xE4\xBA\xAC\xE5\xA4\xA9 \xE5\xA4\xA9";  // 北京天 tried first: a miss
  EXPECT_EQ(ul_ccode_langcnthword(&text[0], fs, 3, LANGTYPE_SIMP_CHINESE, t2.v, flags), -230 - 138 - 69 - 69);
  EXPECT_FALSE(flags[LANGTYPE_SIMP_CHINESE]);
  bool flags2[QUERY_FLAG_NUM] = {};
  text = "\xE5\x8C\x97\xE5\x9C\xB0 abc";
  EXPECT_EQ(ul_ccode_langcnthword(&text[0], fs, 3, LANGTYPE_SIMP_CHINESE, t2.v, flags2), -230 - 138 - 2302 - 2302);
  EXPECT_FALSE(flags2[LANGTYPE_SIMP_CHINESE]);
  text = "\xE5\x8C\x97\xFF";
  EXPECT_EQ(ul_ccode_langcnthword(&text[0], fs, 3, LANGTYPE_SIMP_CHINESE, t2.v, flags2), INT_MIN);
  EXPECT_EQ(ul_ccode_langcnthword(nullptr, fs, 3, LANGTYPE_SIMP_CHINESE, t2.v, flags2), INT_MIN);
  EXPECT_EQ(ul_ccode_langcmword(&text[0], fs, 3, LANGTYPE_KOREAN, t2.v), INT_MIN);
  // A candidate is at most 1,024 bytes: a word of that length is found
  // whole, one of 1,025 never.
  fs->m_LangComWords[LANGTYPE_SIMP_CHINESE]->set(std::string(1024, 'a'), 1, 1);
  fs->m_LangComWords[LANGTYPE_SIMP_CHINESE]->set(std::string(1025, 'b'), 1, 1);
  for (char c : {'a', 'b'}) {
    Top t3;
    text.assign(c == 'a' ? 1024 : 1025, c);
    EXPECT_EQ(ul_ccode_langcnthword(&text[0], fs, 3, LANGTYPE_SIMP_CHINESE, t3.v, flags2) != INT_MIN, c == 'a');
  }
}

TEST(QueryScore, DriverAndRanking) {
  LangFiles f;
  f.words = "the 1\n";
  ASSERT_TRUE(querytest::Reload(LANGTYPE_ENGLISH, f));
  LANGFEATURESET* fs = SharedSet();
  CODELANG_VECTOR info(4);
  ASSERT_EQ(ul_ccode_initinfo(&info), 1);
  EXPECT_EQ(static_cast<unsigned char>(info[3].code_type), 255);
  unsigned int count = 0;
  Top top;
  bool flags[QUERY_FLAG_NUM] = {};
  std::string text = "the";
  int eng = PART_ENG;
  auto drive = [&](int lang, int mode, int start = 0) {
    return ul_ccode_langtype_all(&text[0], 9, &eng, fs, &info, count, mode, top.v, flags, lang, start);
  };
  EXPECT_EQ(drive(LANGTYPE_MALAY, WORDS_FEATURE), 1);
  EXPECT_EQ(count, 0u) << "Malay's pre-check: no candidate";
  eng = NONE_ASCII;
  EXPECT_EQ(drive(LANGTYPE_ENGLISH, ALL_FEATURE), 1);
  EXPECT_EQ(count, 1u) << "English makes its candidate before the eng check";
  EXPECT_EQ(info[0].words_trust, INT_MIN);
  eng = ALL_ENG;
  EXPECT_EQ(drive(LANGTYPE_ENGLISH, ALL_FEATURE), 1);
  EXPECT_EQ(count, 1u) << "found again";
  EXPECT_EQ(info[0].words_trust, -69);
  EXPECT_EQ(info[0].trigram_trust, -69 - 1000 - 1000 - 1000 - 1000 - 1000);
  EXPECT_EQ(drive(LANGTYPE_ENGLISH, ALL_FEATURE, 1), 1);
  EXPECT_EQ(count, 2u) << "a search from index 1 misses entry 0";
  EXPECT_EQ(drive(LANGTYPE_THAI, WORDS_FEATURE), 1);
  EXPECT_EQ(drive(LANGTYPE_SIMP_CHINESE, ALL_FEATURE), 1);
  EXPECT_EQ(info[2].trigram_trust, INT_MIN) << "Latin text without a Chinese word: no character score";
  EXPECT_EQ(drive(LANGTYPE_JAPANESE, WORDS_FEATURE), 1);
  testsupport::CaptureFd err(2);
  EXPECT_EQ(drive(LANGTYPE_FRENCH, WORDS_FEATURE), 0);
  EXPECT_EQ(drive(LANGTYPE_KOREAN, WORDS_FEATURE), 0);
  EXPECT_EQ(drive(LANGTYPE_ENGLISH, 3), 0);
  EXPECT_NE(err.Stop().find("vector capacity error in ul_ccode_langtype_french"), std::string::npos);

  // Latin text without a word hit: a Latin language still gets its character
  // score, a Chinese one does not.
  CODELANG_VECTOR fresh(2);
  ASSERT_EQ(ul_ccode_initinfo(&fresh), 1);
  unsigned int used = 0;
  std::string none = "zzq";
  for (int lang : {LANGTYPE_ENGLISH, LANGTYPE_SIMP_CHINESE}) {
    EXPECT_EQ(ul_ccode_langtype_all(&none[0], 9, &eng, fs, &fresh, used, ALL_FEATURE, top.v, flags, lang, 0), 1);
  }
  ASSERT_EQ(used, 2u);
  EXPECT_EQ(fresh[0].words_trust, INT_MIN);
  EXPECT_EQ(fresh[0].trigram_trust, -69 - 1000 - 1000 - 1000 - 1000 - 1000);
  EXPECT_EQ(fresh[1].words_trust, INT_MIN);
  EXPECT_EQ(fresh[1].trigram_trust, INT_MIN);

  // Ranking.
  CODELANG_VECTOR r = {{1, 0, -100, -10, 0}, {1, 1, INT_MIN, -10, 0}, {1, 2, -130, INT_MIN, 0},
                       {(char)255, 0, 5, 5, 0},  {1, 3, -100, -10, 0}};
  unsigned int n = 5;
  ASSERT_EQ(ul_ccode_gettoptrust(&r, n, ALL_FEATURE), 1);
  std::vector<int> trust, lang;
  for (const auto& e : r) {
    trust.push_back(e.TRUST);
    lang.push_back(e.lang_type);
  }
  EXPECT_EQ(trust, (std::vector<int>{-130, -130, -4000030, -4000130, INT_MIN}));
  EXPECT_EQ(lang, (std::vector<int>{0, 3, 1, 2, 0})) << "equal trusts keep their order";
  ASSERT_EQ(ul_ccode_gettoptrust(&r, n, CHARS_FEATURE), 1);
  EXPECT_EQ(r[0].TRUST, -100);
  EXPECT_EQ(r[3].TRUST, INT_MIN) << "no word score in mode 2";
  ASSERT_EQ(ul_ccode_gettoptrust(&r, n, WORDS_FEATURE), 1);
  EXPECT_EQ(r[0].TRUST, -30);
  CODELANG_VECTOR worst = {{1, 0, INT_MIN, INT_MIN, 0}, {1, 0, -4000000, 0, 0}};
  n = 2;
  ul_ccode_gettoptrust(&worst, n, ALL_FEATURE);
  EXPECT_EQ(worst[0].TRUST, -4000000);
  EXPECT_EQ(worst[1].TRUST, INT_MIN);
  // A word score at -3,999,999 still ranks by words alone; at -4,000,000 it
  // excludes the candidate.
  CODELANG_VECTOR edge = {{1, 0, 0, -3999999, 0}, {1, 1, 0, -4000000, 0}};
  ul_ccode_gettoptrust(&edge, n, WORDS_FEATURE);
  EXPECT_EQ(edge[0].TRUST, -11999997);
  EXPECT_EQ(edge[1].TRUST, INT_MIN);
  EXPECT_EQ(ul_ccode_gettoptrust(nullptr, n, 0), 0);
  EXPECT_EQ(ul_ccode_initinfo(nullptr), 0);
}

}  // namespace
