#include "ul_ccode_detect.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ccode_test_data.h"
#include "support/support.h"
#include "ul_ccode_codetype.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_load.h"
#include "ul_ccode_type.h"
#include "ul_whiteurl.h"

namespace {

const auto* const kData = ::testing::AddGlobalTestEnvironment(new ccodetest::DefaultData);

using ccodetest::Has;
using ccodetest::Repeat;

const std::string kSimp = "中华人民共和国的首都是北京，这是一个历史悠久的城市，每年都有很多人来这里旅游和学习。";
const std::string kTrad = "中華人民共和國的首都是北京，這是一個歷史悠久的城市，每年都有很多人來這裡旅遊和學習。";
const std::string kJapanese = "これは日本語の文章です。私たちは毎日学校で勉強しています。今日はとても良い天気ですね。";
const std::string kEnglish = "The quick brown fox jumps over the lazy dog while the children play in the garden. ";

std::string Html(const std::string& body) { return "<html><body><p>" + body + "</p></body></html>"; }

// A record reset, then changed by set.
_ccode_info_t Record(const std::function<void(_ccode_info_t*)>& set) {
  _ccode_info_t info;
  ccode_info_clean(&info);
  set(&info);
  return info;
}

struct RuleCase {
  const char* what;
  int code;
  std::function<void(_ccode_info_t*)> set;
  int plain, prob;  // ccode_detect_langtype and its _prob form
};

TEST(CcodeDetect, RulesAtTheirBoundaries) {
  auto refs = [](_ccode_info_t* i, int simp, int trad, int jp, int page) {
    i->rinfo.ref_count = 1;
    i->rinfo.ref_cn_simp_count = simp;
    i->rinfo.ref_cn_trad_count = trad;
    i->rinfo.ref_jp_count = jp;
    i->page_length = page;
  };
  const RuleCase cases[] = {
      // References: 400 x refs against the page; weights 1, 2, 4.
      {"refs simp", CODETYPE_ASCII, [&](_ccode_info_t* i) { refs(i, 3, 1, 0, 399); }, 1, 1},
      {"refs simp = 4 jp", CODETYPE_ASCII, [&](_ccode_info_t* i) { refs(i, 4, 0, 1, 399); }, 3, 3},
      {"refs mixed", CODETYPE_ASCII, [&](_ccode_info_t* i) { refs(i, 0, 0, 0, 399); }, -1, -1},
      {"refs trad", CODETYPE_ASCII, [&](_ccode_info_t* i) { refs(i, 3, 2, 0, 399); }, 2, 2},
      {"refs jp", CODETYPE_ASCII, [&](_ccode_info_t* i) { refs(i, 0, 0, 1, 399); }, 3, 3},
      {"refs latin", CODETYPE_ASCII,
       [&](_ccode_info_t* i) {
         refs(i, 0, 0, 0, 399);
         i->rinfo.ref_latin_count = 1;
       },
       0, 0},
      {"ascii page at 400 x refs", CODETYPE_ASCII, [&](_ccode_info_t* i) { refs(i, 0, 0, 1, 400); }, 0, 0},
      // ISO-8859-1: the _prob form needs 40 x refs and an ASCII score of 1023.
      {"iso refs", CODETYPE_ISO_8859_1, [&](_ccode_info_t* i) { refs(i, 0, 0, 1, 39); }, 3, 3},
      {"iso refs 40x", CODETYPE_ISO_8859_1, [&](_ccode_info_t* i) { refs(i, 0, 0, 1, 40); }, 3, 0},
      {"iso lone bytes", CODETYPE_ISO_8859_1,
       [](_ccode_info_t* i) {
         i->twobyte_count = 10, i->sole_count = 8, i->page_length = 4999;
       },
       -1, 0},
      {"iso 79 % lone", CODETYPE_ISO_8859_1,
       [](_ccode_info_t* i) { i->twobyte_count = 10, i->sole_count = 7, i->page_length = 4999; }, 0, 0},
      {"iso at 500 x pairs", CODETYPE_ISO_8859_1,
       [](_ccode_info_t* i) { i->twobyte_count = 10, i->sole_count = 8, i->page_length = 5000; }, 0, 0},
      // GB: few pairs on a long page is English; Japanese and traditional weights.
      {"gb 79 pairs", CODETYPE_GB, [](_ccode_info_t* i) { i->twobyte_count = 79, i->page_length = 63201; }, 0, 0},
      {"gb 79 pairs 800x", CODETYPE_GB, [](_ccode_info_t* i) { i->twobyte_count = 79, i->page_length = 63200; }, 1, 1},
      {"gb 80 pairs", CODETYPE_GB, [](_ccode_info_t* i) { i->twobyte_count = 80, i->page_length = 90000; }, 1, 1},
      {"gb kana", CODETYPE_GB, [](_ccode_info_t* i) { i->twobyte_count = 80, i->ginfo.gbk_jp_count = 1; }, 3, 3},
      {"gb kana = chinese", CODETYPE_GB,
       [](_ccode_info_t* i) {
         i->twobyte_count = 80, i->ginfo.gbk_jp_count = 1, i->ginfo.gbk_simp_count = 1;
       },
       1, 1},
      {"gb 5 x trad", CODETYPE_GB,
       [](_ccode_info_t* i) { i->twobyte_count = 80, i->ginfo.gbk_trad_count = 1, i->ginfo.gbk_simp_count = 4; }, 2, 2},
      {"gb 5 x trad = simp", CODETYPE_GB,
       [](_ccode_info_t* i) { i->twobyte_count = 80, i->ginfo.gbk_trad_count = 1, i->ginfo.gbk_simp_count = 5; }, 1, 1},
      // BIG5: the plain rule also needs more words than pairs.
      {"big5 words", CODETYPE_BIG5,
       [](_ccode_info_t* i) { i->twobyte_count = 79, i->word_num = 80, i->page_length = 63201; }, 0, 0},
      {"big5 few words", CODETYPE_BIG5,
       [](_ccode_info_t* i) { i->twobyte_count = 79, i->word_num = 79, i->page_length = 63201; }, 2, 0},
      {"big5 kana", CODETYPE_BIG5, [](_ccode_info_t* i) { i->twobyte_count = 80, i->big5_jp_count = 2, i->big5_count = 3; }, 3, 3},
      {"big5 half kana", CODETYPE_BIG5,
       [](_ccode_info_t* i) { i->twobyte_count = 80, i->big5_jp_count = 2, i->big5_count = 4; }, 2, 2},
      // UTF-8, the references and letters looked at (no content to convert:
      // undecided after them).
      {"utf8 refs", CODETYPE_UTF8,
       [](_ccode_info_t* i) {
         i->rinfo.ref_count = 21, i->rinfo.ref_jp_count = 21, i->page_length = 4199, i->real_page_length = 4199;
       },
       3, 3},
      {"utf8 refs real length", CODETYPE_UTF8,
       [](_ccode_info_t* i) {
         i->rinfo.ref_count = 21, i->rinfo.ref_jp_count = 21, i->page_length = 4199, i->real_page_length = 4200;
       },
       0, 0},
      {"utf8 20 refs", CODETYPE_UTF8,
       [](_ccode_info_t* i) { i->rinfo.ref_count = 20, i->rinfo.ref_jp_count = 20, i->page_length = 10; }, 0, 0},
      {"utf8 good x 600", CODETYPE_UTF8, [](_ccode_info_t* i) { i->uinfo.utf8_goodbytes = 2, i->page_length = 1199; }, -1, -1},
      {"utf8 good x 600 = page", CODETYPE_UTF8,
       [](_ccode_info_t* i) { i->uinfo.utf8_goodbytes = 2, i->page_length = 1200; }, 0, 0},
      {"utf8 latin quarter", CODETYPE_UTF8,
       [](_ccode_info_t* i) { i->uinfo.utf8_goodbytes = 4, i->uinfo.utf8_latin_chars = 1, i->page_length = 100; }, -1, -1},
      {"utf8 latin over", CODETYPE_UTF8,
       [](_ccode_info_t* i) { i->uinfo.utf8_goodbytes = 3, i->uinfo.utf8_latin_chars = 1, i->page_length = 100; }, 0, 0},
      {"utf8 4 MB page", CODETYPE_UTF8,  // 600 x 4,000,000 overflows an int
       [](_ccode_info_t* i) { i->uinfo.utf8_goodbytes = 400, i->page_length = 4000000; }, -1, -1},
      {"utf8 russian", CODETYPE_UTF8,
       [](_ccode_info_t* i) { i->uinfo.utf8_ru_chars = 200, i->uinfo.utf8_goodbytes = 571, i->page_length = 1000; }, 11, -1},
      {"utf8 russian share", CODETYPE_UTF8,
       [](_ccode_info_t* i) { i->uinfo.utf8_ru_chars = 200, i->uinfo.utf8_goodbytes = 572, i->page_length = 1000; }, -1, -1},
      {"utf8 199 russian", CODETYPE_UTF8,
       [](_ccode_info_t* i) { i->uinfo.utf8_ru_chars = 199, i->uinfo.utf8_goodbytes = 400, i->page_length = 1000; }, -1, -1},
      {"utf8 korean", CODETYPE_UTF8,
       [](_ccode_info_t* i) { i->uinfo.utf8_ko_chars = 200, i->uinfo.utf8_goodbytes = 428, i->page_length = 1000; }, 4, -1},
      {"utf8 korean share", CODETYPE_UTF8,
       [](_ccode_info_t* i) { i->uinfo.utf8_ko_chars = 200, i->uinfo.utf8_goodbytes = 429, i->page_length = 1000; }, -1, -1},
      // Code types decided without the text, and unknown ones.
      {"sjis", CODETYPE_SJIS, [](_ccode_info_t*) {}, 3, 3},
      {"euckr", CODETYPE_EUCKR, [](_ccode_info_t*) {}, -1, -1},
      {"none", CODETYPE_NONE, [](_ccode_info_t*) {}, -1, -1},
      {"eng", CODETYPE_ENG, [](_ccode_info_t*) {}, -1, -1},
      {"gbk", CODETYPE_GBK, [](_ccode_info_t*) {}, -1, -1},
      {"utf8jp", CODETYPE_UTF8JP, [](_ccode_info_t*) {}, -1, -1},
  };
  for (const RuleCase& c : cases) {
    _ccode_info_t info = Record(c.set);
    EXPECT_EQ(ccode_detect_langtype(&info, c.code, nullptr), c.plain) << c.what;
    _langtype_t lt;
    reset_langtype(&lt);
    EXPECT_EQ(ccode_detect_langtype_prob(&info, c.code, &lt, nullptr), c.prob) << c.what;
    EXPECT_EQ(lt.main_lang, c.prob) << c.what;
  }
}

TEST(CcodeDetect, UnknownCodeTypesAndNullRecords) {
  _ccode_info_t info = Record([](_ccode_info_t*) {});
  _langtype_t lt;
  testsupport::CaptureFd err(2);
  ccode_detect_langtype(&info, CODETYPE_ENG, nullptr);
  ccode_detect_langtype_prob(&info, CODETYPE_UCS2, &lt, nullptr);
  ccode_detect_langtype_prob(&info, CODETYPE_EUCKR, &lt, nullptr);  // known: no message
  EXPECT_EQ(ccode_detect_langtype(nullptr, CODETYPE_SJIS, nullptr), -1);
  EXPECT_EQ(ccode_detect_langtype_prob(nullptr, CODETYPE_SJIS, &lt, nullptr), -1);
  const std::string log = err.Stop();
  EXPECT_TRUE(Has(log, "unknown codetype value [0], LANGTYPE_NONE returned\n"));
  EXPECT_TRUE(Has(log, "unknown codetype value [12], LANGTYPE_NONE returned\n"));
  EXPECT_FALSE(Has(log, "[11]"));
  EXPECT_TRUE(Has(log, "invalid parameter in function 'ccode_detect_langtype'.\n"));
  EXPECT_TRUE(Has(log, "invalid parameter in function 'ccode_detect_langtype_prob'.\n"));
}

TEST(CcodeDetect, TrustArrays) {
  _ccode_info_t info = Record([](_ccode_info_t* i) {
    i->content_len = 200;
    i->ginfo.gbk_simp_count = 100;
    i->uinfo.utf8_cn_simp_chars = 100;
    i->uinfo.utf8_cn_chars = 100;
  });
  int trust[kCcodeTrustLen];
  lang_trust_for_gbk(&info, trust);
  EXPECT_EQ(std::vector<int>(trust, trust + 5), std::vector<int>({-1, 98, 0, 0, 200}));  // float, division first
  lang_trust_for_utf8(&info, trust);
  EXPECT_EQ(std::vector<int>(trust, trust + 5), std::vector<int>({0, 98, 100, 0, 200}));  // entry 2 held to 100
  lang_trust_for_gbk(&info, nullptr);
  // The GB rule fills the array only past its English test.
  info.twobyte_count = 79;
  info.page_length = 63201;
  trust[1] = 7;
  EXPECT_EQ(langtype_for_gbk(&info, trust), 0);
  EXPECT_EQ(trust[1], 7);
}

TEST(CcodeDetect, FilterNonGbk) {
  // Pairs are kept; ASCII, four-byte sequences and a lone lead are dropped.
  const std::string src = "a\xD6\xD0" "b\x81\x30\x81\x30\xCE\xC4\xB5";
  char dst[8];
  EXPECT_EQ(filter_non_gbk(src.c_str(), dst, sizeof(dst)), 4);
  EXPECT_STREQ(dst, "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(filter_non_gbk(src.c_str(), dst, 5), 4);  // exactly room for both
  EXPECT_EQ(filter_non_gbk(src.c_str(), dst, 4), 2);
  EXPECT_EQ(filter_non_gbk(src.c_str(), dst, 1), 0);
  EXPECT_EQ(filter_non_gbk(nullptr, dst, 8), 0);
}

TEST(CcodeDetect, LanguageRecords) {
  _langtype_t lt = {5, 5, 0};
  set_sec_lang(&lt, 2);  // no main yet
  EXPECT_EQ(lt.flag, 0);
  reset_langtype(&lt);
  EXPECT_EQ(std::vector<int>({lt.main_lang, lt.sec_lang, lt.flag}), std::vector<int>({-1, -1, 1}));
  set_main_lang(&lt, 1);
  set_sec_lang(&lt, 1);  // same as the main
  EXPECT_EQ(lt.flag, 1);
  set_sec_lang(&lt, 0);
  EXPECT_EQ(std::vector<int>({lt.main_lang, lt.sec_lang, lt.flag}), std::vector<int>({1, 0, 3}));
}

struct PageCase {
  std::string page;
  const char* charset;
  int code, lang;
};

TEST(CcodeDetect, PagesThroughTheEntryPoints) {
  const PageCase cases[] = {
      {Html(Repeat(kEnglish, 4)), nullptr, CODETYPE_ASCII, LANGTYPE_ENGLISH},
      {ccodetest::Gbk(Html(Repeat(kSimp, 4))), nullptr, CODETYPE_GB, LANGTYPE_SIMP_CHINESE},
      {ccodetest::Big5(Html(Repeat(kTrad, 4))), nullptr, CODETYPE_BIG5, LANGTYPE_TRAD_CHINESE},
      {Html(Repeat(kSimp, 4)), nullptr, CODETYPE_UTF8, LANGTYPE_SIMP_CHINESE},
      {Html(Repeat(kTrad, 4)), nullptr, CODETYPE_UTF8, LANGTYPE_TRAD_CHINESE},
      {Html(Repeat(kJapanese, 4)), nullptr, CODETYPE_UTF8, LANGTYPE_JAPANESE},
      {ccodetest::Platform("UTF-8", "SHIFT_JIS", Html(Repeat(kJapanese, 4))), "shift_jis", CODETYPE_SJIS,
       LANGTYPE_JAPANESE},
  };
  int serial = 0;
  for (const PageCase& c : cases) {
    const std::string url = "http://pages.test/" + std::to_string(serial++);
    int code = -3, lang = -3;
    EXPECT_EQ(ul_ccode_detect(c.page.c_str(), url.c_str(), c.charset, nullptr, &code, &lang, nullptr), 1);
    EXPECT_EQ(code * 100 + lang, c.code * 100 + c.lang) << serial;
    lang = -3;
    EXPECT_EQ(ul_ccode_detect_langtype(c.page.c_str(), url.c_str(), c.charset, nullptr, &c.code, &lang, nullptr), 1);
    EXPECT_EQ(lang, c.lang) << serial;
  }
}

TEST(CcodeDetect, JapaneseBigramShare) {
  // Japanese needs a bigram hit for every 40 kana: at exactly 40 per hit it
  // stays Japanese, one kana more and it is undecided.
  const std::string page = Html(Repeat(kJapanese, 4));
  _ccode_info_t info;
  ccode_info_clean(&info);
  ASSERT_EQ(ccode_info_compute(&info, page.c_str(), "http://share.test/", nullptr, nullptr), 1);
  ASSERT_EQ(langtype_for_utf8(&info, nullptr), LANGTYPE_JAPANESE);
  const int hits = info.uinfo.utf8_jp_bigram;
  ASSERT_GT(hits, 0);
  info.uinfo.utf8_jp_chars = 40 * hits;
  EXPECT_EQ(langtype_for_utf8(&info, nullptr), LANGTYPE_JAPANESE);
  info.uinfo.utf8_jp_chars = 40 * hits + 1;
  EXPECT_EQ(langtype_for_utf8(&info, nullptr), LANGTYPE_NONE);
}

TEST(CcodeDetect, TraditionalSimplifiedDifference) {
  // A Chinese page's counts replaced by hand: traditional T, simplified S
  // and pure simplified P at each rule's threshold, for the plain decision
  // and the probable one.
  const std::string page = Html(Repeat(kSimp, 4));
  _ccode_info_t info;
  ccode_info_clean(&info);
  ASSERT_EQ(ccode_info_compute(&info, page.c_str(), "http://diff.test/", nullptr, nullptr), 1);
  const int S = LANGTYPE_SIMP_CHINESE, T = LANGTYPE_TRAD_CHINESE;
  const struct {
    int t, s, p, plain, probable;
  } rows[] = {{1, 10, 2, S, S},   {1, 9, 2, T, S},    {1, 9, 1, S, S}, {2, 10, 1, T, S},
              {2, 9, 1, T, T},    {10, 100, 1, S, S}, {11, 100, 1, T, T}};
  for (const auto& r : rows) {
    info.uinfo.utf8_cn_trad_chars = r.t, info.uinfo.utf8_cn_simp_chars = r.s, info.uinfo.utf8_cn_simp_pure_chars = r.p;
    EXPECT_EQ(langtype_for_utf8(&info, nullptr), r.plain) << r.t << " " << r.s << " " << r.p;
    _langtype_t lt = {};
    langtype_for_utf8_prob(&info, &lt, nullptr);
    EXPECT_EQ(lt.main_lang, r.probable) << r.t << " " << r.s << " " << r.p;
  }
}

TEST(CcodeDetect, ThreadRecordReuseByUrl) {
  // A repeated URL reuses the record (the page is not read again); the URL
  // is compared with the record's own copy, so a caller's buffer that now
  // holds another URL is a new page.
  char url[] = "http://reuse.test/a";
  const std::string english = Html(Repeat(kEnglish, 4)), chinese = Html(Repeat(kSimp, 4));
  const int utf8 = CODETYPE_UTF8;
  int lang;
  ASSERT_EQ(ul_ccode_detect_langtype(english.c_str(), url, nullptr, nullptr, &utf8, &lang, nullptr), 1);
  EXPECT_EQ(lang, LANGTYPE_ENGLISH);
  ul_ccode_detect_langtype(chinese.c_str(), url, nullptr, nullptr, &utf8, &lang, nullptr);
  EXPECT_EQ(lang, LANGTYPE_ENGLISH);
  url[sizeof(url) - 2] = 'b';
  ul_ccode_detect_langtype(chinese.c_str(), url, nullptr, nullptr, &utf8, &lang, nullptr);
  EXPECT_EQ(lang, LANGTYPE_SIMP_CHINESE);
  // A URL of 1,024 bytes or more is never reused.
  const std::string long_url = "http://reuse.test/" + std::string(1010, 'x');
  ul_ccode_detect_langtype(english.c_str(), long_url.c_str(), nullptr, nullptr, &utf8, &lang, nullptr);
  ul_ccode_detect_langtype(chinese.c_str(), long_url.c_str(), nullptr, nullptr, &utf8, &lang, nullptr);
  EXPECT_EQ(lang, LANGTYPE_SIMP_CHINESE);
}

TEST(CcodeDetect, WhiteListedUrlOverridesTheBytes) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir.path() + "/list.txt", "http://listed.test/ code=big5 lang=japanese\n");
  whiteUrl_dict = ul_whiteUrl_load(dir.path().c_str(), "list.txt");
  const std::string page = Html(Repeat(kEnglish, 4));
  int code, lang;
  EXPECT_EQ(ul_ccode_detect(page.c_str(), "http://listed.test/", nullptr, nullptr, &code, &lang, nullptr), 1);
  EXPECT_EQ(code * 100 + lang, CODETYPE_BIG5 * 100 + LANGTYPE_JAPANESE);
  EXPECT_EQ(ul_ccode_detect(page.c_str(), "http://other.test/", nullptr, nullptr, &code, &lang, nullptr), 1);
  EXPECT_EQ(code * 100 + lang, CODETYPE_ASCII * 100 + LANGTYPE_ENGLISH);
  db_del(whiteUrl_dict);
  whiteUrl_dict = nullptr;
}

TEST(CcodeDetect, JapaneseModeInItsOwnProcess) {
  const std::string japanese = Html(Repeat(kJapanese, 4)), chinese = Html(Repeat(kSimp, 4));
  const std::string english = Html(Repeat(kEnglish, 4));
  const std::string euc = ccodetest::Platform("UTF-8", "EUC-JP", Html(Repeat(kJapanese, 4)));
  EXPECT_EQ(testsupport::RunInChild([&] {
              struct Case {
                const std::string& page;
                int code;
              };
              const Case cases[] = {{japanese, CODETYPE_UTF8JP}, {chinese, -1}, {english, CODETYPE_ENG}, {euc, CODETYPE_EUCJP}};
              int bad = 0;
              for (const Case& c : cases) {
                int code = -3;
                if (ul_jcode_detect(c.page.c_str(), "http://j.test/", nullptr, nullptr, &code) != 1 || code != c.code) {
                  bad = bad * 10 + 1;
                }
              }
              // The ISO-8859-1 rule now refuses undeclared pages with Japanese pairs.
              _ccode_info_t info;
              ccode_info_clean(&info);
              info.twobyte_count = info.sole_count = 1;
              info.sjis_count = 1;
              return bad * 10 + (g_for_jp == 1 && codetype_iso_8859_1(&info) == 0 ? 0 : 1);
            }),
            0);
  EXPECT_EQ(g_for_jp, 0);  // the parent is untouched
}

TEST(CcodeDetect, PageWithExtracts) {
  // The main text is read only when the page has more than 2,047 bytes and
  // the main text is longer than the title.
  const std::string page = Html(Repeat(kTrad, 4)), main = Repeat(kJapanese, 4);
  for (int len_page : {2047, 2048}) {
    const _ccode_page_info_t info = {page.c_str(), main.c_str(), page.c_str(), "t", len_page,
                                     static_cast<int>(main.size()), static_cast<int>(page.size()), 1};
    const std::string url = "http://extract.test/" + std::to_string(len_page);
    int code = CODETYPE_UTF8, lang = -3;
    int trust[kCcodeTrustLen];
    EXPECT_EQ(ul_ccode_page_detect_langtype(&info, url.c_str(), nullptr, nullptr, &code, &lang, trust), 1);
    EXPECT_EQ(lang, len_page == 2047 ? LANGTYPE_TRAD_CHINESE : LANGTYPE_JAPANESE) << len_page;
    code = lang = -3;
    EXPECT_EQ(ul_ccode_page_detect(&info, (url + "/p").c_str(), nullptr, nullptr, &code, &lang, nullptr), 1);
    EXPECT_EQ(code * 100 + lang, CODETYPE_UTF8 * 100 + (len_page == 2047 ? LANGTYPE_TRAD_CHINESE : LANGTYPE_JAPANESE));
  }
  // A main text in a language of its own (not one of the four trusted)
  // wins over the page's.
  const std::string russian = Repeat("Это файл для проверки работы программы ", 10);
  const _ccode_page_info_t ru = {page.c_str(), russian.c_str(), page.c_str(), "t", 2048,
                                 static_cast<int>(russian.size()), static_cast<int>(page.size()), 1};
  int ru_code = CODETYPE_UTF8, ru_lang = -3;
  EXPECT_EQ(ul_ccode_page_detect_langtype(&ru, "http://extract.test/ru", nullptr, nullptr, &ru_code, &ru_lang, nullptr), 1);
  EXPECT_EQ(ru_lang, LANGTYPE_RUSSIAN);
  // An undecided page: the title with the page text decides.
  const std::string text = ccodetest::Gbk(Repeat(kSimp, 4));
  const _ccode_page_info_t bare = {"", "", text.c_str(), "", 0, 0, static_cast<int>(text.size()), 0};
  int code = -3, lang = -3;
  EXPECT_EQ(ul_ccode_page_detect(&bare, "http://extract.test/bare", nullptr, nullptr, &code, &lang, nullptr), 1);
  EXPECT_EQ(code * 100 + lang, CODETYPE_GB * 100 + LANGTYPE_SIMP_CHINESE);
}

TEST(CcodeDetect, BadArgumentsAndLoadFlag) {
  int code = CODETYPE_NONE, lang;
  const _ccode_page_info_t info = {"x", "", "", "", 1, 0, 0, 0};
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_ccode_detect(nullptr, "u", nullptr, nullptr, &code, &lang, nullptr), -1);
  EXPECT_EQ(ul_jcode_detect("p", "u", nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(ul_ccode_detect_langtype("p", nullptr, nullptr, nullptr, &code, &lang, nullptr), -1);
  EXPECT_EQ(ul_ccode_page_detect(nullptr, "u", nullptr, nullptr, &code, &lang, nullptr), -1);
  EXPECT_EQ(ul_ccode_page_detect_langtype(&info, "u", nullptr, nullptr, &code, &lang, nullptr), -1);
  const int saved = CCODE_LOAD_FLAG;
  CCODE_LOAD_FLAG = 4;
  EXPECT_EQ(ul_ccode_detect("p", "u", nullptr, nullptr, &code, &lang, nullptr), -1);
  CCODE_LOAD_FLAG = saved;
  // A thread without state has no record.
  std::thread([&] {
    const int c = CODETYPE_UTF8;
    int l;
    EXPECT_EQ(ul_ccode_detect_langtype("p", "u", nullptr, nullptr, &c, &l, nullptr), -1);
  }).join();
  const std::string log = err.Stop();
  for (const char* msg : {"invalid parameter in function 'ul_ccode_detect'.\n",
                          "invalid parameter in function 'ul_jcode_detect'.\n",
                          "invalid parameter in function 'ccode_detect_langtype'.\n",
                          "invalid parameter is NULL in function 'ul_ccode_page_detect'.\n",
                          "invalid parameter codetype in function 'ul_ccode_page_detect_langtype'.\n",
                          "the 2nd parameter flag error @ul_ccode_load.you need FLAG_PAGE_LANG_DETECT."}) {
    EXPECT_TRUE(Has(log, msg)) << msg;
  }
}

TEST(CcodeDetect, JapaneseModeTakesTheWhiteList) {
  // ul_jcode_detect consults the white-URL list as ul_ccode_detect does and
  // maps the listed values as it maps detected ones.
  const std::string english = Html(Repeat(kEnglish, 4));
  testsupport::TempDir dir;
  testsupport::WriteFile(dir.path() + "/list.txt", "http://jlisted.test/ code=utf8 lang=japanese\n");
  EXPECT_EQ(testsupport::RunInChild([&] {
              whiteUrl_dict = ul_whiteUrl_load(dir.path().c_str(), "list.txt");
              int listed = -3, other = -3;
              ul_jcode_detect(english.c_str(), "http://jlisted.test/", nullptr, nullptr, &listed);
              ul_jcode_detect(english.c_str(), "http://jother.test/", nullptr, nullptr, &other);
              return listed == CODETYPE_UTF8JP && other == CODETYPE_ENG ? 0 : 1;
            }),
            0);
}

}  // namespace
