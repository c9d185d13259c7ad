// Query detection answers, pinned by digest: the 14 ranked candidates (code
// type, language, trust) of every query of a set generated from the word
// lists of the library's data, of random bytes, and of the held-out
// evaluation queries (in UTF-8 and in their languages' legacy encodings)
// when $PBDICT_QUERY_CORPUS names them (tools/gen_query_corpus.py). Any
// change of a candidate, its order or its trust changes the digest.
#include <gtest/gtest.h>
#include <iconv.h>
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

// 3,000 queries of 1 to 40 random bytes (none 0), every code-type reading
// of them taken and dropped in turn.
TEST_F(QueryAnswers, RandomBytes) {
  std::mt19937 rng(27);
  Digest d;
  for (int i = 0; i < 3000; ++i) {
    std::string q(1 + rng() % 40, 'a');
    // Half the queries from the upper half of the bytes only.
    for (char& c : q) c = static_cast<char>(i % 2 == 0 ? 1 + rng() % 255 : 0x80 + rng() % 128);
    Answer(q, &d);
  }
  EXPECT_EQ(0xb502c4f74b89f216ull, d.value()) << std::hex << "0x" << d.value();
}

// The held-out queries "language<TAB>kind<TAB>query" as made today, or ""
// (skipped) when $PBDICT_QUERY_CORPUS names none or another file.
std::string HeldOut() {
  const char* file = getenv("PBDICT_QUERY_CORPUS");
  if (file == nullptr || file[0] == '\0') return "";
  std::ifstream in(file);
  EXPECT_TRUE(in.good()) << file;
  std::stringstream all;
  all << in.rdbuf();
  Digest file_digest;
  file_digest.Bytes(all.str());
  return file_digest.value() == 0x2d4cdce629ba9931ull ? all.str() : "";
}

// The whole of utf8 in encoding, or "" when a character has no place in it.
std::string Encode(const char* encoding, const std::string& utf8) {
  iconv_t cd = iconv_open(encoding, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "";
  std::string out(4 * utf8.size() + 8, '\0');
  char* in = const_cast<char*>(utf8.data());
  char* to = &out[0];
  size_t inleft = utf8.size(), outleft = out.size();
  const size_t r = iconv(cd, &in, &inleft, &to, &outleft);
  const size_t flushed = r == static_cast<size_t>(-1) ? r : iconv(cd, nullptr, nullptr, &to, &outleft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1) || flushed == static_cast<size_t>(-1)) return "";
  out.resize(out.size() - outleft);
  return out;
}

// The held-out queries with a byte above 0x7F in the legacy encodings of
// their language.
TEST_F(QueryAnswers, HeldOutQueriesInLegacyEncodings) {
  const std::string all = HeldOut();
  if (all.empty()) GTEST_SKIP() << "PBDICT_QUERY_CORPUS names no known query file";
  const std::vector<std::pair<std::string, std::vector<const char*>>> legacy = {
      {"simp_chinese", {"GBK"}},
      {"trad_chinese", {"BIG5"}},
      {"japanese", {"EUC-JP", "SHIFT_JIS"}},
      {"thai", {"TIS-620"}},
      {"vietnamese", {"WINDOWS-1258"}},
      {"french", {"ISO-8859-1"}},
      {"arabic", {"WINDOWS-1256", "ISO-8859-6"}},
      {"portuguese", {"ISO-8859-1"}},
      {"spanish", {"ISO-8859-1"}},
  };
  Digest d;
  std::istringstream lines(all);
  std::string line;
  int queries = 0;
  while (std::getline(lines, line)) {
    const size_t a = line.find('\t'), b = line.find('\t', a + 1);
    if (b == std::string::npos) continue;
    const std::string stem = line.substr(0, a), q = line.substr(b + 1);
    bool ascii = true;
    for (unsigned char c : q) ascii = ascii && c < 0x80;
    for (const auto& [name, encodings] : legacy) {
      if (ascii || name != stem) continue;
      for (const char* encoding : encodings) {
        const std::string bytes = Encode(encoding, q);
        if (bytes.empty()) continue;
        Answer(bytes, &d);
        ++queries;
      }
    }
  }
  EXPECT_EQ(3500, queries);
  EXPECT_EQ(0x00fc6e04a995ba3aull, d.value()) << std::hex << "0x" << d.value();
}

// The held-out queries as they are (UTF-8).
TEST_F(QueryAnswers, HeldOutQueries) {
  const std::string all = HeldOut();
  if (all.empty()) GTEST_SKIP() << "PBDICT_QUERY_CORPUS names no known query file";
  Digest d;
  std::istringstream lines(all);
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
