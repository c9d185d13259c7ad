// Query detection answers, pinned by digest: the 14 ranked candidates (code
// type, language, trust) of every query of a set generated from the word
// lists of the library's data, and of the held-out evaluation queries when
// $PBDICT_QUERY_CORPUS names them (tools/gen_query_corpus.py). Any change of
// a candidate, its order or its trust changes the digest.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ul_ccode_conv.h"
#include "ul_ccode_load.h"
#include "ul_ccode_querylang.h"
#include "ul_pack.h"
#include "query_feature_data.h"
#include "support/digest.h"

namespace {

constexpr int kTriples = 14;

using testsupport::Digest;

class QueryAnswers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(ul_ccode_load(ul_ccode_default_path(), 6), 0);
    ASSERT_EQ(ul_ccode_conv_open(), 0);
  }
  static void TearDownTestSuite() {
    ul_ccode_conv_close();
    ul_ccode_del();
  }

  // Feeds the query, the result and its ranked candidates to d. With a
  // package, the same detection into it must name the same candidates.
  static void Answer(const std::string& query, Digest* d, ul_package* pkg = nullptr) {
    std::string copy = query;
    int out[3 * kTriples] = {};
    d->Bytes(query);
    const int rc = ul_ccode_query_detect(reinterpret_cast<unsigned char*>(&copy[0]), nullptr, out, 3 * kTriples, -2);
    d->Int(rc);
    for (int v : out) d->Int(v);
    if (pkg == nullptr || rc != 1) return;
    ul_pack_cleanhead(pkg);
    ASSERT_EQ(ul_ccode_query_detect(reinterpret_cast<unsigned char*>(&copy[0]), pkg, nullptr, 0, -2), 1) << query;
    for (int i = 0; i < kTriples; ++i) {
      const std::string n = std::to_string(i);
      const int code = out[3 * i], lang = out[3 * i + 1];
      char v[64];
      ASSERT_EQ(ul_pack_getvalue_ex(pkg, ("All_CodeTrust_" + n).c_str(), v, sizeof(v)), 1);
      EXPECT_STREQ(v, code < 0 ? "CODETYPE_NONE" : CODE_STRING[code]) << query << " " << i;
      ASSERT_EQ(ul_pack_getvalue_ex(pkg, ("All_LangTrust_" + n).c_str(), v, sizeof(v)), 1);
      EXPECT_STREQ(v, lang < 0 ? "LANGTYPE_NONE" : LANG_STRING[lang]) << query << " " << i;
      ASSERT_EQ(ul_pack_getvalue_ex(pkg, ("All_TRUST_" + n).c_str(), v, sizeof(v)), 1);
      EXPECT_EQ(std::string(v), std::to_string(out[3 * i + 2])) << query << " " << i;
    }
    EXPECT_EQ(pkg->pairnum, 3 * kTriples);
  }
};

// Per language 150 queries: one to three listed words, joined by blanks or
// run together, some cut short by one byte (a broken last character is
// refused as a whole query, which is an answer too) or with a letter
// upper-cased.
TEST_F(QueryAnswers, GeneratedFromTheWordLists) {
  const char* stems[] = {"english",    "simp_chinese", "trad_chinese", "japanese", "thai",    "vietnamese",
                         "malay",      "french",       "arabic",       "portuguese", "spanish", "indonesian"};
  std::mt19937 rng(27);
  std::unique_ptr<ul_package, int (*)(ul_package*)> pkg(ul_pack_init(), ul_pack_free);
  Digest d;
  int queries = 0;
  for (const char* stem : stems) {
    const std::vector<std::string> words = querytest::ListedWords(stem);
    ASSERT_GT(words.size(), 1000u) << stem;
    for (int i = 0; i < 150; ++i) {
      const int n = 1 + static_cast<int>(rng() % 3);
      const bool blanks = rng() % 3 != 0;
      std::string q;
      for (int k = 0; k < n; ++k) {
        if (k > 0 && blanks) q += ' ';
        q += words[rng() % words.size()];
      }
      const unsigned variant = rng() % 6;
      if (variant == 0 && q.size() > 1) q.pop_back();
      if (variant == 1 && q[0] >= 'a' && q[0] <= 'z') q[0] = static_cast<char>(q[0] - 'a' + 'A');
      Answer(q, &d, pkg.get());
      ++queries;
    }
  }
  EXPECT_EQ(1800, queries);
  EXPECT_EQ(0x43ff69f7881b8bceull, d.value()) << std::hex << "0x" << d.value();
}

// The held-out queries "language<TAB>kind<TAB>query" as made today: the
// file's own digest says it is the same file, then the answers must match.
TEST_F(QueryAnswers, HeldOutQueries) {
  const char* file = getenv("PBDICT_QUERY_CORPUS");
  if (file == nullptr || file[0] == '\0') GTEST_SKIP() << "PBDICT_QUERY_CORPUS not set";
  std::ifstream in(file);
  ASSERT_TRUE(in.good()) << file;
  std::stringstream all;
  all << in.rdbuf();
  Digest file_digest;
  file_digest.Bytes(all.str());
  if (file_digest.value() != 0x2d4cdce629ba9931ull) {
    GTEST_SKIP() << "another query file (digest 0x" << std::hex << file_digest.value() << ")";
  }
  Digest d;
  std::istringstream lines(all.str());
  std::string line;
  int queries = 0;
  while (std::getline(lines, line)) {
    const size_t b = line.find('\t', line.find('\t') + 1);
    if (b == std::string::npos) continue;
    Answer(line.substr(b + 1), &d);
    ++queries;
  }
  EXPECT_EQ(4800, queries);
  EXPECT_EQ(0x774d96a025f38243ull, d.value()) << std::hex << "0x" << d.value();
}

}  // namespace
