// The shared index of the query-language tables: it answers what every
// language's table answers, its filter never rules out a stored key, its
// limits, and the scoring through it (and through one reading shared by the
// languages) scoring exactly as through the tables.
#include "ul_query_key_index.h"

#include <gtest/gtest.h>
#include <limits.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "query_feature_data.h"
#include "ul_ccode_load.h"
#include "ul_ccode_querylang.h"
#include "ul_ccode_querylang_parts.h"

namespace {

const int kLangs[] = {EN, SIMP_CN, TRAD_CN, JP, THAI, VN, MY, FRCH, ARABIC, POR, SPAN, IN};

class LoadedIndex : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(ul_ccode_load(ul_ccode_default_path(), 4), 0); }
  static void TearDownTestSuite() { ul_ccode_del(); }

  static const QueryKeyIndex::Record* Find(const QueryKeyIndex* index, const std::string& key, int kind) {
    uint64_t h = QueryKeyIndex::Start();
    for (char c : key) h = QueryKeyIndex::Step(h, c);
    return index->Find(index->Locate(h, kind), key);
  }
};

TEST_F(LoadedIndex, AnswersWhatEveryTableAnswers) {
  LANGFEATURESET* fs = g_langfeaset;
  ASSERT_NE(fs->m_WordIndex, nullptr);
  ASSERT_NE(fs->m_GramIndex, nullptr);
  FeatureSet** tables[] = {fs->m_LangComWords, fs->m_LangUnigram, fs->m_LangBigram,
                           fs->m_LangBigBack,  fs->m_LangTrigram, fs->m_LangTriBack};
  size_t checked = 0;
  for (int kind = 0; kind < QueryKeyIndex::kKinds; ++kind) {
    const QueryKeyIndex* index = kind == QueryKeyIndex::kWords ? fs->m_WordIndex : fs->m_GramIndex;
    for (int lang : kLangs) {
      for (auto it = tables[kind][lang]->begin(); it != tables[kind][lang]->end(); ++it) {
        const std::string& key = it->first;
        const QueryKeyIndex::Record* r = Find(index, key, kind);
        int v = 0;
        const bool held = r != nullptr && index->Value(r, kind, lang, &v);
        // Words are held with a value above 0 only.
        ASSERT_EQ(held, kind != QueryKeyIndex::kWords || it->second > 0) << kind << " " << lang << " " << key;
        if (held) {
          ASSERT_EQ(v, it->second) << key;
        }
        for (int other : kLangs) {  // another language holds it only when its table does
          int w = 0;
          const bool in_other = r != nullptr && index->Value(r, kind, other, &w);
          int t = 0;
          const bool stored = tables[kind][other]->get(key, &t) == ccode::CCODE_HASH_EXIST &&
                              (kind != QueryKeyIndex::kWords || t > 0);
          ASSERT_EQ(in_other, stored) << key;
        }
        EXPECT_EQ(Find(index, key + "\x01", kind), nullptr);
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 200000u);
  // Kinds are apart: a word is no unigram.
  ASSERT_NE(Find(fs->m_WordIndex, "the", QueryKeyIndex::kWords), nullptr);
  EXPECT_EQ(Find(fs->m_WordIndex, "the", QueryKeyIndex::kUnigram), nullptr);
  EXPECT_EQ(Find(fs->m_GramIndex, "the", QueryKeyIndex::kUnigram), nullptr);
}

TEST_F(LoadedIndex, TheFilterRulesOutNoStoredWordOrBeginning) {
  const QueryKeyIndex* index = g_langfeaset->m_WordIndex;
  int ruled_out_junk = 0;
  for (int lang : kLangs) {
    for (auto it = g_langfeaset->m_LangComWords[lang]->begin(); it != g_langfeaset->m_LangComWords[lang]->end(); ++it) {
      if (it->second <= 0) continue;
      uint64_t h = QueryKeyIndex::Start();
      for (char c : it->first) {
        h = QueryKeyIndex::Step(h, c);
        ASSERT_NE(index->Filter(h), QueryKeyIndex::kNoKeyBegins) << it->first;
      }
      ASSERT_EQ(index->Filter(h), QueryKeyIndex::kSomeKeyBegins | QueryKeyIndex::kMayBeKey) << it->first;
    }
  }
  // And it does rule out most junk.
  std::mt19937 rng(5);
  for (int i = 0; i < 1000; ++i) {
    uint64_t h = QueryKeyIndex::Start();
    for (int k = 0; k < 6; ++k) h = QueryKeyIndex::Step(h, static_cast<char>(0x80 + rng() % 0x40));
    ruled_out_junk += index->Filter(h) == QueryKeyIndex::kNoKeyBegins;
  }
  EXPECT_GT(ruled_out_junk, 950);
}

TEST_F(LoadedIndex, MemoAnswersAsTheIndexAtItsLimits) {
  const QueryKeyIndex* index = g_langfeaset->m_WordIndex;
  uint64_t h = QueryKeyIndex::Start();
  for (char c : std::string("the")) h = QueryKeyIndex::Step(h, c);
  const QueryKeyIndex::Probe the = index->Locate(h, QueryKeyIndex::kWords);
  ASSERT_NE(index->Find(the, "the"), nullptr);
  // "the" (a word) at the last remembered offset and one past it; "thx" at
  // offset 0, where a place past the limit would land if it were packed.
  std::string text(262150, 'x');
  text.replace(0, 3, "thx");
  for (size_t at : {size_t{262143}, size_t{262144}}) {
    QueryKeyIndex::Memo memo;
    EXPECT_EQ(index->Find(the, std::string_view(text.data(), 3), text.data(), &memo), nullptr);
    text.replace(at, 3, "the");
    for (int round = 0; round < 2; ++round) {
      EXPECT_NE(index->Find(the, std::string_view(text.data() + at, 3), text.data(), &memo), nullptr) << at;
    }
    EXPECT_EQ(index->Find(the, std::string_view(text.data(), 3), text.data(), &memo), nullptr) << at;
    text.replace(at, 3, "xxx");
  }
  // Keys either side of the longest remembered length: answered alike.
  QueryKeyIndex::Memo memo;
  for (size_t len : {size_t{2047}, size_t{2048}}) {
    const std::string_view key(text.data(), len);
    uint64_t k = QueryKeyIndex::Start();
    for (char c : key) k = QueryKeyIndex::Step(k, c);
    EXPECT_EQ(index->Find(index->Locate(k, 0), key, text.data(), &memo), nullptr) << len;
  }
  // Another text at another address starts afresh without Reset; the same
  // text changed in place does after Reset.
  std::string other = "the";
  std::string mine = "thx";
  EXPECT_EQ(index->Find(the, mine, mine.data(), &memo), nullptr);
  EXPECT_NE(index->Find(the, other, other.data(), &memo), nullptr);
  EXPECT_EQ(index->Find(the, mine, mine.data(), &memo), nullptr);
  mine[2] = 'e';
  memo.Reset();
  EXPECT_NE(index->Find(the, mine, mine.data(), &memo), nullptr);
}

// What the per-language driver leaves for a text in every language, as
// detection drives it: each reading's words for all languages, then its
// characters; through the public driver, or through one reading shared by
// the languages.
std::vector<int> ScoreAll(const std::string& text, bool with_index, QueryReading* reading) {
  LANGFEATURESET* fs = g_langfeaset;
  QueryKeyIndex* words = fs->m_WordIndex;
  QueryKeyIndex* grams = fs->m_GramIndex;
  if (!with_index) fs->m_WordIndex = fs->m_GramIndex = nullptr;
  int top[3 * QUERY_TOP_NUM] = {-1, -1, INT_MIN, -1, -1, INT_MIN, -1, -1, INT_MIN, -1, -1, INT_MIN};
  bool flags[QUERY_FLAG_NUM] = {};
  CODELANG_VECTOR info(64, _CODELANG_INFO{static_cast<char>(255), static_cast<char>(255), INT_MIN, INT_MIN, INT_MIN});
  unsigned int count = 0;
  std::vector<int> s;
  for (int eng : {PART_ENG, ALL_ENG}) {
    std::string buffer = text;
    for (int mode : {WORDS_FEATURE, CHARS_FEATURE}) {
      for (int lang : kLangs) {
        s.push_back(reading != nullptr ? ul_ccode_langtype_memo(&buffer[0], CODETYPE_UTF8, &eng, fs, &info, count,
                                                                mode, top, flags, lang, 0, reading)
                                       : ul_ccode_langtype_all(&buffer[0], CODETYPE_UTF8, &eng, fs, &info, count,
                                                               mode, top, flags, lang, 0));
      }
      if (reading != nullptr) reading->Reset();
    }
    s.insert(s.end(), buffer.begin(), buffer.end());
  }
  for (const _CODELANG_INFO& e : info) s.insert(s.end(), {e.code_type, e.lang_type, e.trigram_trust, e.words_trust});
  s.insert(s.end(), top, top + 3 * QUERY_TOP_NUM);
  for (bool f : flags) s.push_back(f);
  fs->m_WordIndex = words;
  fs->m_GramIndex = grams;
  return s;
}

TEST_F(LoadedIndex, ScoringThroughTheIndexEqualsScoringThroughTheTables) {
  std::vector<std::string> words;
  for (const char* stem : {"english", "simp_chinese", "japanese", "thai", "vietnamese", "french", "arabic"}) {
    const std::vector<std::string> w = querytest::ListedWords(stem);
    words.insert(words.end(), w.begin(), w.begin() + std::min<size_t>(w.size(), 400));
  }
  std::mt19937 rng(27);
  std::vector<std::string> texts = {std::string(1023, 'a'), std::string(1024, 'a'), std::string(1025, 'a'),
                                    std::string(1022, 'a') + "中文", std::string(1023, 'a') + "中文", "中",
                                    "a\xE4\xB8", "\xFF the", "the \xE4\xB8\xAD\xE6", " \t\r\n"};
  for (int i = 0; i < 600; ++i) {
    std::string t;
    const int n = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < n; ++k) {
      if (k > 0 && rng() % 2) t += " \t"[rng() % 2];
      t += words[rng() % words.size()];
      if (rng() % 8 == 0) t += static_cast<char>(1 + rng() % 255);  // a junk byte, often broken UTF-8
    }
    texts.push_back(t);
  }
  for (const std::string& t : texts) {
    const std::vector<int> tables = ScoreAll(t, false, nullptr);
    ASSERT_EQ(ScoreAll(t, true, nullptr), tables) << t;
    QueryReading reading;
    ASSERT_EQ(ScoreAll(t, true, &reading), tables) << t;
    ASSERT_EQ(ScoreAll(t, false, &reading), tables) << t;
  }
}

// Any key the tables may hold is indexed up to kMaxKeyBytes; a longer one
// makes the index refuse the set (the scoring then reads the tables).
TEST(QueryKeyIndex, KeyLengthLimit) {
  LANGFEATURESET* fs = querytest::SharedSet();
  ASSERT_NE(fs, nullptr);
  ASSERT_TRUE(querytest::Reload(LANGTYPE_ENGLISH, querytest::LangFiles()));
  FeatureSet* words = fs->m_LangComWords[EN];
  const std::string longest(QueryKeyIndex::kMaxKeyBytes, 'a');
  words->set(longest, 7, 1);
  FeatureSet** const tables[QueryKeyIndex::kKinds] = {fs->m_LangComWords, fs->m_LangUnigram, fs->m_LangBigram,
                                                      fs->m_LangBigBack,  fs->m_LangTrigram, fs->m_LangTriBack};
  QueryKeyIndex* index = QueryKeyIndex::Build(tables, LANG_FEATURE_NUM, QueryKeyIndex::kWords, QueryKeyIndex::kWords, true);
  ASSERT_NE(index, nullptr);
  uint64_t h = QueryKeyIndex::Start();
  for (char c : longest) h = QueryKeyIndex::Step(h, c);
  const QueryKeyIndex::Record* r = index->Find(index->Locate(h, QueryKeyIndex::kWords), longest);
  int v = 0;
  ASSERT_NE(r, nullptr);
  EXPECT_TRUE(index->Value(r, QueryKeyIndex::kWords, EN, &v));
  EXPECT_EQ(v, 7);
  EXPECT_EQ(index->Find(index->Locate(h, QueryKeyIndex::kWords), longest + "a"), nullptr);
  delete index;
  words->set(longest + "a", 7, 1);
  EXPECT_EQ(QueryKeyIndex::Build(tables, LANG_FEATURE_NUM, 0, 0, true), nullptr);
  ASSERT_TRUE(querytest::Reload(LANGTYPE_ENGLISH, querytest::LangFiles()));
  // Loading one language drops an index made earlier.
  fs->m_WordIndex = QueryKeyIndex::Build(tables, LANG_FEATURE_NUM, 0, 0, true);
  ASSERT_NE(fs->m_WordIndex, nullptr);
  ASSERT_TRUE(querytest::Reload(LANGTYPE_ENGLISH, querytest::LangFiles()));
  EXPECT_EQ(fs->m_WordIndex, nullptr);
}

// Up to 16 languages of up to 128 are indexed; a language has every table
// of the kinds indexed or none.
TEST(QueryKeyIndex, LanguageLimits) {
  std::vector<std::unique_ptr<QueryKeyIndex::Table>> owned;
  std::vector<QueryKeyIndex::Table*> words(130, nullptr), unigrams(130, nullptr);
  auto give = [&](std::vector<QueryKeyIndex::Table*>& column, int lang) {
    owned.emplace_back(new QueryKeyIndex::Table());
    owned.back()->create(7);
    owned.back()->set("w" + std::to_string(lang), lang + 1, 0);
    column[static_cast<size_t>(lang)] = owned.back().get();
  };
  QueryKeyIndex::Table** const tables[QueryKeyIndex::kKinds] = {words.data(), unigrams.data(), nullptr,
                                                               nullptr,      nullptr,         nullptr};
  for (int lang = 0; lang < 16; ++lang) give(words, lang * 8 + 7);  // languages 7, 15, ..., 127
  std::unique_ptr<QueryKeyIndex> index(QueryKeyIndex::Build(tables, 128, 0, 0, true));
  ASSERT_NE(index, nullptr);
  for (int lang = 7; lang < 128; lang += 8) {
    const std::string key = "w" + std::to_string(lang);
    uint64_t h = QueryKeyIndex::Start();
    for (char c : key) h = QueryKeyIndex::Step(h, c);
    const QueryKeyIndex::Record* r = index->Find(index->Locate(h, 0), key);
    int v = 0;
    ASSERT_NE(r, nullptr) << lang;
    EXPECT_TRUE(index->Value(r, 0, lang, &v));
    EXPECT_EQ(v, lang + 1);
    EXPECT_FALSE(index->Value(r, 0, lang - 1, &v));
    EXPECT_FALSE(index->Value(r, 0, 128, &v));
    EXPECT_FALSE(index->Value(r, 0, -1, &v));
  }
  EXPECT_EQ(QueryKeyIndex::Build(tables, 129, 0, 0, true), nullptr);
  give(words, 0);  // a 17th language
  EXPECT_EQ(QueryKeyIndex::Build(tables, 128, 0, 0, true), nullptr);
  words[0] = nullptr;
  give(unigrams, 7);  // language 7 has unigrams, 15 none
  EXPECT_EQ(QueryKeyIndex::Build(tables, 128, 0, 1, false), nullptr);
  EXPECT_NE(std::unique_ptr<QueryKeyIndex>(QueryKeyIndex::Build(tables, 128, 1, 1, false)), nullptr);
  EXPECT_EQ(QueryKeyIndex::Build(tables, 128, 0, 2, false), nullptr);  // no bigram array
  EXPECT_EQ(QueryKeyIndex::Build(nullptr, 128, 0, 0, false), nullptr);
  EXPECT_EQ(QueryKeyIndex::Build(tables, 128, 1, 0, false), nullptr);
  EXPECT_EQ(QueryKeyIndex::Build(tables, 128, 0, QueryKeyIndex::kKinds, false), nullptr);
  EXPECT_EQ(QueryKeyIndex::Build(tables, -1, 0, 0, false), nullptr);
}

// A back-off value shares its n-gram's record but stays apart from the
// n-gram's own value, also for a key only one of the two tables holds.
TEST(QueryKeyIndex, BackOffValuesShareTheirNgramRecords) {
  QueryKeyIndex::Table forward[2], backoff[2];
  std::vector<QueryKeyIndex::Table*> fwd = {&forward[0], &forward[1]}, back = {&backoff[0], &backoff[1]};
  for (QueryKeyIndex::Table* t : {&forward[0], &forward[1], &backoff[0], &backoff[1]}) t->create(7);
  forward[0].set("ab", 5, 0);
  backoff[0].set("ab", -7, 0);
  backoff[1].set("ab", 9, 0);
  backoff[1].set("cd", 3, 0);
  QueryKeyIndex::Table** const tables[QueryKeyIndex::kKinds] = {nullptr, nullptr, fwd.data(), back.data(), nullptr,
                                                               nullptr};
  std::unique_ptr<QueryKeyIndex> index(
      QueryKeyIndex::Build(tables, 2, QueryKeyIndex::kBigram, QueryKeyIndex::kBigBack, false));
  ASSERT_NE(index, nullptr);
  EXPECT_EQ(index->records(), 2u);
  auto value = [&](const std::string& key, int kind, int lang) {
    uint64_t h = QueryKeyIndex::Start();
    for (char c : key) h = QueryKeyIndex::Step(h, c);
    const QueryKeyIndex::Record* r = index->Find(index->Locate(h, kind), key);
    int v = 12345;
    return r != nullptr && index->Value(r, kind, lang, &v) ? v : 12345;
  };
  EXPECT_EQ(value("ab", QueryKeyIndex::kBigram, 0), 5);
  EXPECT_EQ(value("ab", QueryKeyIndex::kBigBack, 0), -7);
  EXPECT_EQ(value("ab", QueryKeyIndex::kBigram, 1), 12345);
  EXPECT_EQ(value("ab", QueryKeyIndex::kBigBack, 1), 9);
  EXPECT_EQ(value("cd", QueryKeyIndex::kBigram, 1), 12345);
  EXPECT_EQ(value("cd", QueryKeyIndex::kBigBack, 1), 3);
  EXPECT_EQ(value("cd", QueryKeyIndex::kTriBack, 1), 12345);
}

}  // namespace

// Records are placed in 4-byte units and a slot names at most unit
// kMaxRecordUnit - 1 as a record's beginning: 156 records of 54,120 bytes
// (a one-language word of 54,108 bytes) put the last at unit 2,097,150,
// the last one a slot can name; a 157th is refused.
TEST(QueryKeyIndex, RecordPlaceLimit) {
  static_assert(QueryKeyIndex::kMaxRecordUnit == 2097151, "slot layout");
  const size_t key_bytes = 54108, record_bytes = 8 + 4 + key_bytes;
  ASSERT_EQ(155 * record_bytes / 4, QueryKeyIndex::kMaxRecordUnit - 1);
  for (int n : {156, 157}) {
    QueryKeyIndex::Table words;
    words.create(1024);
    std::vector<std::string> keys;
    for (int i = 0; i < n; ++i) {
      std::string key(key_bytes, 'k');
      key.replace(0, std::to_string(i).size(), std::to_string(i));
      key[key_bytes - 1] = static_cast<char>('a' + i % 26);
      keys.push_back(key);
      words.set(key, i + 1, 1);
    }
    QueryKeyIndex::Table* column[1] = {&words};
    QueryKeyIndex::Table** const tables[QueryKeyIndex::kKinds] = {column, nullptr, nullptr, nullptr, nullptr, nullptr};
    std::unique_ptr<QueryKeyIndex> index(QueryKeyIndex::Build(tables, 1, 0, 0, false));
    if (n == 157) {
      EXPECT_EQ(index, nullptr);
      continue;
    }
    ASSERT_NE(index, nullptr);
    for (int i = 0; i < n; ++i) {
      uint64_t h = QueryKeyIndex::Start();
      for (char c : keys[static_cast<size_t>(i)]) h = QueryKeyIndex::Step(h, c);
      const QueryKeyIndex::Record* r = index->Find(index->Locate(h, 0), keys[static_cast<size_t>(i)]);
      int v = 0;
      ASSERT_NE(r, nullptr) << i;
      EXPECT_TRUE(index->Value(r, 0, 0, &v));
      EXPECT_EQ(v, i + 1);
    }
  }
}
