// Query-language detection into a package: blocks, hints, fixed candidates,
// output shape, messages, long queries, threads.
#include <gtest/gtest.h>
#include <limits.h>
#include <string.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ccode_test_data.h"
#include "support/support.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_load.h"
#include "ul_ccode_querylang.h"
#include "ul_ccode_type.h"
#include "ul_pack.h"

namespace {

using ccodetest::Has;

class QueryLangDetect : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(ul_ccode_load(ul_ccode_default_path(), 4), 0); }
  static void TearDownTestSuite() { ul_ccode_del(); }
  void SetUp() override { ASSERT_EQ(ul_ccode_conv_open(), 0); }
  void TearDown() override { ul_ccode_conv_close(); }

  struct Result {
    int rc;
    std::vector<int> out;
    std::string code0, lang0, trust0, last_code;
    int pairs = 0;
  };
  static Result Detect(const std::string& query, int hint = -2, int outn = 42) {
    std::unique_ptr<ul_package, int (*)(ul_package*)> pkg(ul_pack_init(), ul_pack_free);
    Result r;
    r.out.assign(static_cast<size_t>(outn), 7);
    std::string q = query;
    r.rc = ul_ccode_query_detect(reinterpret_cast<unsigned char*>(&q[0]), pkg.get(), r.out.data(), outn, hint);
    char v[64];
    ul_pack_getvalue_ex(pkg.get(), "All_CodeTrust_0", v, sizeof(v));
    r.code0 = v;
    ul_pack_getvalue_ex(pkg.get(), "All_LangTrust_0", v, sizeof(v));
    r.lang0 = v;
    ul_pack_getvalue_ex(pkg.get(), "All_TRUST_0", v, sizeof(v));
    r.trust0 = v;
    ul_pack_getvalue_ex(pkg.get(), "All_CodeTrust_13", v, sizeof(v));
    r.last_code = v;
    r.pairs = pkg->pairnum;
    return r;
  }
};

TEST_F(QueryLangDetect, TopLanguageOfRealQueries) {
  struct Case {
    std::string query;
    int code;
    int lang;
  } cases[] = {
      {"the weather today", CODETYPE_ASCII, LANGTYPE_ENGLISH},
      {"北京天气预报", CODETYPE_UTF8, LANGTYPE_SIMP_CHINESE},
      {ccodetest::Gbk("北京天气预报"), CODETYPE_GB, LANGTYPE_SIMP_CHINESE},
      {"東京の天気", CODETYPE_UTF8, LANGTYPE_JAPANESE},
      {"ภาษาไทย", CODETYPE_UTF8, LANGTYPE_THAI},
      {"اللغة العربية", CODETYPE_UTF8, LANGTYPE_ARABIC},
      {"tiếng việt", CODETYPE_UTF8, LANGTYPE_VIETNAMESE},
      {"le fichier de configuration", CODETYPE_ASCII, LANGTYPE_FRENCH},
      {ccodetest::Big5("台灣天氣"), CODETYPE_BIG5, LANGTYPE_TRAD_CHINESE},
  };
  for (const Case& c : cases) {
    const Result r = Detect(c.query);
    ASSERT_EQ(r.rc, 1) << c.query;
    EXPECT_EQ(r.out[0], c.code) << c.query;
    EXPECT_EQ(r.out[1], c.lang) << c.query << " " << r.lang0;
  }
}

TEST_F(QueryLangDetect, FixedCandidatesAndOutputShape) {
  Result r = Detect("www.example.com");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.code0, "CODETYPE_ASCII");
  EXPECT_EQ(r.lang0, "english");
  EXPECT_EQ(r.trust0, "-4");
  EXPECT_EQ(r.last_code, "CODETYPE_NONE");
  EXPECT_EQ(r.pairs, 42) << "14 slots of 3 keys";
  EXPECT_EQ((std::vector<int>(r.out.begin(), r.out.begin() + 6)), (std::vector<int>{9, 0, -4, -1, -1, INT_MIN}));
  r = Detect("12345", CODETYPE_UTF8, 6);
  EXPECT_EQ(r.code0, "CODETYPE_UTF8");
  EXPECT_EQ(r.trust0, "-4");
  EXPECT_EQ(r.out[3], -1);
  EXPECT_EQ(r.out.size(), 6u);
  r = Detect("12345");
  EXPECT_EQ(r.code0, "CODETYPE_ASCII");
  r = Detect("北京", CODETYPE_JPKR);  // a hint without a block: nothing tried
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.code0, "CODETYPE_NONE");
  EXPECT_EQ(r.trust0, "-2147483648");
  // Thai with hint 3: the fixed candidate first, the scored one after it.
  r = Detect("ภาษาไทย", CODETYPE_UTF8);
  EXPECT_EQ(r.out[1], LANGTYPE_THAI);
  EXPECT_EQ(r.out[2], -4);
}

TEST_F(QueryLangDetect, HintsAndTheSecondPhase) {
  // A hint names the only block tried.
  Result r = Detect(ccodetest::Big5("台灣天氣"), CODETYPE_BIG5);
  EXPECT_EQ(r.out[0], CODETYPE_BIG5);
  r = Detect(ccodetest::Big5("台灣天氣"), CODETYPE_UTF8);
  EXPECT_EQ(r.out[0], -1) << "not UTF-8: no block ran";
  r = Detect("the weather", CODETYPE_ENG);
  EXPECT_EQ(r.out[0], -1) << "hint 0 has no block";
  r = Detect("\xE9", CODETYPE_ISO_8859_1);  // é in Latin-1: a one-byte query of a converting block
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out[0], CODETYPE_ISO_8859_1);
  // No word of any language: the first four candidates get character
  // scores, the others stay out of the ranking.
  r = Detect("zzqxv");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out[0], CODETYPE_ASCII);
  EXPECT_NE(r.out[3 * 3 + 2], INT_MIN);
  EXPECT_EQ(r.out[4 * 3 + 2], INT_MIN);
}

// Thai in TIS-620 reads the same through the TIS-620 and WINDOWS-874 blocks:
// equal trusts, so the ranking keeps the blocks' order.
TEST_F(QueryLangDetect, BlockOrder) {
  const std::string thai = ccodetest::Platform("UTF-8", "TIS-620", "ภาษาไทย");
  Result r = Detect(thai);
  ASSERT_EQ(r.rc, 1);
  EXPECT_EQ((std::vector<int>(r.out.begin(), r.out.begin() + 6)),
            (std::vector<int>{CODETYPE_TIS620, LANGTYPE_THAI, r.out[2], CODETYPE_WIN874, LANGTYPE_THAI, r.out[2]}));
  r = Detect(thai, CODETYPE_WIN874);
  EXPECT_EQ(r.out[0], CODETYPE_WIN874);
  EXPECT_EQ(r.out[3], -1) << "only the hinted block";
}

// Short Thai queries are often pieces of words that no word list holds.
// Every Thai character is a word of the Thai list, so the Thai reading has
// word evidence and is not outscored by the same bytes read as GB18030 or
// BIG5 (Chinese characters, each a listed word).
TEST_F(QueryLangDetect, PiecesOfThaiWords) {
  for (char32_t c = 0x0E01; c <= 0x0E2E; ++c) {  // every consonant before sara aa
    std::string q;
    q += static_cast<char>(0xE0);
    q += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    q += static_cast<char>(0x80 | (c & 0x3F));
    q += "\xE0\xB8\xB2";
    const Result r = Detect(q);
    ASSERT_EQ(r.rc, 1) << q;
    EXPECT_EQ(r.out[0], CODETYPE_UTF8) << q;
    EXPECT_EQ(r.out[1], LANGTYPE_THAI) << q;
  }
  for (const char* piece : {"อินเด", "ากมาย", "คสถา", "ี่ว่าง"}) {
    const Result r = Detect(ccodetest::Platform("UTF-8", "TIS-620", piece));
    ASSERT_EQ(r.rc, 1) << piece;
    EXPECT_EQ(r.out[0], CODETYPE_TIS620) << piece;
    EXPECT_EQ(r.out[1], LANGTYPE_THAI) << piece;
  }
}

TEST_F(QueryLangDetect, RefusalsAndMessages) {
  std::unique_ptr<ul_package, int (*)(ul_package*)> pkg(ul_pack_init(), ul_pack_free);
  int out[42];
  unsigned char q[] = "abc", empty[] = "";
  struct Case {
    unsigned char* query;
    ul_package* pkg;
    int* out;
    int outn;
    int hint;
    const char* message;
  } cases[] = {
      {nullptr, pkg.get(), out, 6, -2, "invalid param in func ul_ccode_query_detect."},
      {q, nullptr, nullptr, 6, -2, "invalid param in func"},
      {q, pkg.get(), out, 2, -2, "invalid param in func"},
      {q, pkg.get(), out, 43, -2, "invalid param in func"},
      {q, pkg.get(), out, 6, -3, "invalid param in func"},
      {q, pkg.get(), out, 6, 33, "invalid param in func"},
      {empty, pkg.get(), out, 6, -2, "query'length is no more than 0 in func ul_ccode_query_detect."},
  };
  for (const Case& c : cases) {
    testsupport::CaptureFd err(2);
    EXPECT_EQ(ul_ccode_query_detect(c.query, c.pkg, c.out, c.outn, c.hint), 0);
    EXPECT_TRUE(Has(err.Stop(), c.message)) << c.message;
  }
  EXPECT_EQ(pkg->pairnum, 0) << "early failures leave the package untouched";
  EXPECT_EQ(ul_ccode_query_detect(q, nullptr, out, 42, 9), 1);
  EXPECT_EQ(ul_ccode_query_detect(q, nullptr, out, 3, 9), 1);
  // A UTF-8 query with a lead byte F5: accepted as UTF-8, refused by stepping.
  unsigned char f5[] = "\xE4\xB8\xAD\xF5\x80\x80\x80";
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_ccode_query_detect(f5, pkg.get(), nullptr, 0, CODETYPE_UTF8), 0);
  EXPECT_TRUE(Has(err.Stop(), "ul_ccode_checkeng  is false in func ul_ccode_query_detect UTF8."));
  // A thread without state.
  std::thread([&] {
    testsupport::CaptureFd e(2);
    EXPECT_EQ(ul_ccode_query_detect(q, pkg.get(), nullptr, 0, -2), 0);
    EXPECT_TRUE(Has(e.Stop(), "you should use ul_ccode_conv_open first in func ul_ccode_query_detect!"));
  }).join();
}

TEST_F(QueryLangDetect, Helpers) {
  struct Case {
    const char* text;
    int eng, pct, notthai, notarab, utf8_code, utf8_answer;
  } cases[] = {
      {"Abc 12", ALL_ENG, 100, 1, 1, 3, 1023},
      {"ab\xC3\xA9" "", PART_ENG, 66, 1, 1, 3, 1023},
      {"\xE0\xB8\x81\xE0\xB8\x82" "a", PART_ENG, 33, 0, 1, 3, 1023},
      {"\xD8\xA1\xD9\xA8 \xE0\xB8\x81", NO_ENG, 0, 1, 0, 3, 1023},
      {"\xE0\xB8\x81\xD8\xA1", NO_ENG, 0, 0, 1, 3, 1023},            // equal shares: Thai
      {"\xE0\xB8\x81" "abcdefgh", PART_ENG, 88, 0, 1, 3, 1023},      // one Thai of 9
      {"\xE0\xB8\x81" "abcdefghi", PART_ENG, 90, 1, 1, 3, 1023},     // one of 10: not above 0.1
      {"12 .", NONE_ASCII, -7, 1, 1, 3, 1023},
      {"", NONE_ASCII, -7, 1, 1, -1, 1023},
      {"a\xFF\xFE", -1, -7, 1, 1, -1, 682},
  };
  for (const Case& c : cases) {
    std::string t = c.text;
    int eng = -1, pct = -7, notthai = 1, notarab = 1, code = 0;
    EXPECT_EQ(ul_ccode_checkeng(reinterpret_cast<unsigned char*>(&t[0]), &eng, &pct), c.eng == -1 ? 0 : 1) << c.text;
    if (c.eng != -1) {
      EXPECT_EQ(eng, c.eng) << c.text;
    }
    EXPECT_EQ(pct, c.pct) << c.text;
    t = c.text;
    EXPECT_EQ(ul_ccode_check_thai_and_arab(reinterpret_cast<unsigned char*>(&t[0]), &notthai, &notarab), 1);
    EXPECT_EQ(notthai, c.notthai) << c.text;
    EXPECT_EQ(notarab, c.notarab) << c.text;
    EXPECT_EQ(ul_ccode_codetypeutf8(reinterpret_cast<unsigned char*>(&t[0]), &code), c.utf8_answer) << c.text;
    EXPECT_EQ(code, c.utf8_code) << c.text;
  }
  unsigned char abc[] = "aBc", mixed[] = "ab\xC3\xA9", none[] = "\xC3\xA9", bom[] = "\xEF\xBB\xBF\xFF";
  int eng = 0, code = 0;
  EXPECT_EQ(ul_ccode_checkeng_ascii(abc, &eng), 1);
  EXPECT_EQ(eng, ALL_ENG);
  ul_ccode_checkeng_ascii(mixed, &eng);
  EXPECT_EQ(eng, PART_ENG);
  ul_ccode_checkeng_ascii(none, &eng);
  EXPECT_EQ(eng, NONE_ASCII);
  unsigned char del[] = "a\x7F", high[] = "\x80" "a";  // the last ASCII byte and the first other one
  ul_ccode_checkeng_ascii(del, &eng);
  EXPECT_EQ(eng, ALL_ENG);
  ul_ccode_checkeng_ascii(high, &eng);
  EXPECT_EQ(eng, NONE_ASCII);
  EXPECT_EQ(ul_ccode_codetypeutf8(bom, &code), 1023);
  EXPECT_EQ(code, CODETYPE_UTF8);
  EXPECT_EQ(ul_ccode_Uppertolower(abc), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(abc)), "abc");
  unsigned char ends[] = "@AZ[";  // the bytes around A..Z
  ul_ccode_Uppertolower(ends);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ends)), "@az[");
  EXPECT_EQ(ul_ccode_checkblank(abc), 0);
  EXPECT_EQ(ul_ccode_checkblank(reinterpret_cast<unsigned char*>(const_cast<char*>("a\tb"))), 1);
  for (const char* url : {"x.vn", "a.com", "www.x", "http://x", "x.pt"}) EXPECT_TRUE(ul_ccode_check_url(const_cast<char*>(url))) << url;
  for (const char* text : {"x.de", "www", "https//"}) EXPECT_FALSE(ul_ccode_check_url(const_cast<char*>(text))) << text;
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_ccode_checkeng(nullptr, &eng, nullptr), 0);
  EXPECT_EQ(ul_ccode_checkeng_ascii(nullptr, &eng), 0);
  EXPECT_EQ(ul_ccode_Uppertolower(nullptr), 0);
  EXPECT_EQ(ul_ccode_checkblank(nullptr), -1);
  EXPECT_EQ(ul_ccode_check_thai_and_arab(nullptr, &eng, &eng), 0);
  EXPECT_EQ(ul_ccode_codetypeutf8(nullptr, &code), -1);
  CODELANG_VECTOR one(1);
  unsigned int count = 1;
  int slots[43];
  EXPECT_EQ(ul_ccode_printresult(nullptr, nullptr, 42, &one), 0);
  for (int n : {2, 43}) EXPECT_EQ(ul_ccode_printresult(nullptr, slots, n, &one), 0) << n;
  for (int n : {3, 42}) EXPECT_EQ(ul_ccode_printresult(nullptr, slots, n, &one), 1) << n;
  EXPECT_EQ(ul_ccode_noeng_ascii(NONE_ASCII, &one, count, 3), 0) << "a full list takes no fixed candidate";
  count = 0;
  EXPECT_EQ(ul_ccode_is_arab(0, &one, count, 3), 1);
  EXPECT_EQ(one[0].lang_type, LANGTYPE_ARABIC);
  EXPECT_EQ(ul_ccode_is_thai(1, &one, count, 3), 0);
}

TEST_F(QueryLangDetect, LongQueriesAreCut) {
  std::string words;
  while (words.size() < 12000) words += "the file ";
  const Result whole = Detect(words), cut = Detect(words.substr(0, 10240));
  EXPECT_EQ(whole.rc, 1);
  EXPECT_EQ(whole.out, cut.out);
}

// Every web-address mark at the head, inside and at the end of a text, and
// texts that come one byte short of one.
TEST_F(QueryLangDetect, WebAddressMarks) {
  for (const char* mark : {".vn", ".com", ".cn", ".org", ".net", ".jp", ".th", ".ar", ".tw", ".id", ".my", ".es",
                           ".pt", "www.", "http:"}) {
    for (const std::string& text : {std::string(mark), "ab" + std::string(mark) + "cd", "ab" + std::string(mark)}) {
      EXPECT_TRUE(ul_ccode_check_url(const_cast<char*>(text.c_str()))) << text;
    }
    const std::string cut = "x" + std::string(mark, strlen(mark) - 1);
    EXPECT_FALSE(ul_ccode_check_url(const_cast<char*>(cut.c_str()))) << cut;
  }
  for (const char* text : {"", ".", "a.co", "ww.x", "http//", "HTTP:", ".COM", "wwwx", "a . com"}) {
    EXPECT_FALSE(ul_ccode_check_url(const_cast<char*>(text))) << text;
  }
}

// The thread's candidate list is the detection's work area: what an earlier
// call or a caller left in it changes no answer, and a list only detection
// uses is left empty after the ranked candidates.
TEST_F(QueryLangDetect, LeftoversInTheCandidateListChangeNoAnswer) {
  const Result clean = Detect("bonjour le monde"), clean_cn = Detect("北京天气预报");
  CODELANG_VECTOR* list = get_ccode_query_lang();
  ASSERT_NE(list, nullptr);
  for (size_t at : {size_t{0}, size_t{3}, size_t{13}, size_t{14}, size_t{15}, size_t{200}, list->size() - 1}) {
    (*list)[at] = _CODELANG_INFO{CODETYPE_BIG5, TRAD_CN, 5, 5, 99999};
    EXPECT_EQ(Detect("bonjour le monde").out, clean.out) << at;
    (*list)[at] = _CODELANG_INFO{CODETYPE_BIG5, TRAD_CN, 5, 5, 99999};
    EXPECT_EQ(Detect("北京天气预报").out, clean_cn.out) << at;
  }
  ASSERT_EQ(ul_ccode_initinfo(list), 1);
  Detect("北京天气预报");
  Detect("a");
  size_t filled = 0;
  while (filled < list->size() && static_cast<unsigned char>((*list)[filled].code_type) != 255) ++filled;
  for (size_t i = filled; i < list->size(); ++i) {
    ASSERT_EQ(static_cast<unsigned char>((*list)[i].code_type), 255) << i;
    ASSERT_EQ((*list)[i].TRUST, INT_MIN) << i;
  }
}

// The 42 pairs enter a package exactly as 42 calls of ul_pack_putvalue
// would, whatever it held: pairs of other names, some of the same names, a
// name that only begins like them, no room left, a pair count out of range.
TEST_F(QueryLangDetect, PackageAsPairByPair) {
  typedef std::unique_ptr<ul_package, int (*)(ul_package*)> Pack;
  const std::string query = "北京天气预报";
  // The pairs of the detection, in order, from an empty package.
  Pack fresh(ul_pack_init(), ul_pack_free);
  std::string q = query;
  ASSERT_EQ(ul_ccode_query_detect(reinterpret_cast<unsigned char*>(&q[0]), fresh.get(), nullptr, 0, -2), 1);
  ASSERT_EQ(fresh->pairnum, 42);
  struct State {
    const char* what;
    int fill;      // pairs "p<i>" = "v" entered first
    int pairnum;   // then set, unless INT_MIN
    const char* name;  // then entered, unless NULL
  } states[] = {
      {"empty", 0, INT_MIN, nullptr},
      {"other names", 3, INT_MIN, nullptr},
      {"one of the names", 2, INT_MIN, "All_TRUST_3"},
      {"a name beginning the same", 2, INT_MIN, "All_"},
      {"room for one", 199, INT_MIN, nullptr},
      {"room for none", 200, INT_MIN, nullptr},
      {"one of the names, full", 199, INT_MIN, "All_LangTrust_13"},
      {"count above the limit", 200, 250, nullptr},
      {"negative count", 3, -5, nullptr},
  };
  for (const State& st : states) {
    Pack want(ul_pack_init(), ul_pack_free), got(ul_pack_init(), ul_pack_free);
    for (ul_package* p : {want.get(), got.get()}) {
      for (int i = 0; i < st.fill; ++i) ASSERT_EQ(ul_pack_putvalue(p, ("p" + std::to_string(i)).c_str(), "v"), 0);
      if (st.pairnum != INT_MIN) p->pairnum = st.pairnum;
      if (st.name != nullptr) ul_pack_putvalue(p, st.name, "old");
    }
    for (int i = 0; i < fresh->pairnum; ++i) ul_pack_putvalue(want.get(), fresh->name[i], fresh->value[i]);
    q = query;
    ASSERT_EQ(ul_ccode_query_detect(reinterpret_cast<unsigned char*>(&q[0]), got.get(), nullptr, 0, -2), 1) << st.what;
    EXPECT_EQ(got->pairnum, want->pairnum) << st.what;
    EXPECT_EQ(memcmp(got->name, want->name, sizeof(want->name)), 0) << st.what;
    EXPECT_EQ(memcmp(got->value, want->value, sizeof(want->value)), 0) << st.what;
  }
  // Every code-type and language name the pairs may carry can be entered.
  Pack names(ul_pack_init(), ul_pack_free);
  for (const char* const* table : {&CODE_STRING[0], &LANG_STRING[0]}) {
    const size_t n = table == &CODE_STRING[0] ? sizeof(CODE_STRING) / sizeof(CODE_STRING[0])
                                              : sizeof(LANG_STRING) / sizeof(LANG_STRING[0]);
    for (size_t i = 0; i < n; ++i) {
      if (table[i] == nullptr) continue;
      EXPECT_GE(ul_pack_putvalue(names.get(), "n", table[i]), 0) << table[i];
    }
  }
}

TEST_F(QueryLangDetect, SixteenThreadsAtOnce) {
  const Result want = Detect("北京天气预报"), want_en = Detect("the weather today");
  std::vector<std::thread> threads;
  std::vector<int> ok(16, 0);
  for (int t = 0; t < 16; ++t) {
    threads.emplace_back([&, t] {
      if (ul_ccode_conv_open() != 0) return;
      int good = 1;
      for (int i = 0; i < 20; ++i) {
        const Result r = Detect(t % 2 ? "北京天气预报" : "the weather today");
        good &= r.out == (t % 2 ? want.out : want_en.out);
      }
      ul_ccode_conv_close();
      ok[static_cast<size_t>(t)] = good;
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(ok, std::vector<int>(16, 1));
}

TEST(QueryLangDetectUnloaded, NeedsTheFeatureSet) {
  testsupport::CaptureFd err(2);
  unsigned char q[] = "abc";
  int out[3];
  EXPECT_EQ(ul_ccode_query_detect(q, nullptr, out, 3, -2), 0);
  EXPECT_TRUE(Has(err.Stop(), "you should use ul_ccode_load first in fun ul_ccode_query_detect!"));
}

}  // namespace
