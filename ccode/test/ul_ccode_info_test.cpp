#include "ul_ccode_info.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "ccode_test_data.h"
#include "support/support.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_info_parts.h"
#include "ul_ccode_type.h"

namespace {

const auto* const kData = ::testing::AddGlobalTestEnvironment(new ccodetest::DefaultData);

using ccodetest::Repeat;

_ccode_info_t* Stats(const std::string& page, const char* charset = nullptr, const char* content = nullptr) {
  _ccode_info_t* info = get_ccode_info();
  ccode_info_clean(info);
  EXPECT_EQ(ccode_info_compute(info, page.c_str(), "http://stats.test/", charset, content), 1);
  return info;
}

TEST(CcodeInfo, CleanSetsTheNoneFieldsToMinusOne) {
  _ccode_info_t info;
  memset(&info, 0x5A, sizeof(info));
  ccode_info_clean(&info);
  EXPECT_EQ(info.content_len, 0);
  EXPECT_EQ(info.page, nullptr);
  EXPECT_EQ(info.charset_codetype, -1);
  EXPECT_EQ(info.ginfo.gbkjp_bigram, -1);
  EXPECT_EQ(info.uinfo.utf8_cn_jp_title_lang, -1);
  EXPECT_EQ(info.ucont_info.utf8_cn_jp_title_lang, 0);
  EXPECT_EQ(info.title_seclang, -1);
  EXPECT_EQ(info.max_confidence_lang, -1);
}

TEST(CcodeInfo, ReferencesPairsAndTheLastByte) {
  const std::string page = "ab&#x4E2D;cd&#233;ef&#;gh" + Repeat("\xD6\xD0", 3) + "x\xB0";
  _ccode_info_t* info = Stats(page);
  EXPECT_EQ(info->rinfo.ref_count, 3);
  EXPECT_EQ(info->rinfo.ref_cn_simp_count, 1);
  EXPECT_EQ(info->rinfo.ref_latin_count, 1);
  EXPECT_EQ(info->rinfo.ref_ascii_count, 1);
  EXPECT_EQ(info->twobyte_count, 3);
  EXPECT_EQ(info->real_count, 1);
  EXPECT_EQ(info->sole_count, 0);
  EXPECT_EQ(info->content_len, 6);  // the lone last byte is never taken
  EXPECT_EQ(info->ginfo.gbk_count, 3);
  EXPECT_EQ(info->ginfo.gbk_simp_count, 3);
  EXPECT_EQ(info->ginfo.gbk_jp_hanzi + info->ginfo.gbk_cn_hanzi_unq, 3);
  EXPECT_EQ(info->big5_count, 3);
  EXPECT_EQ(info->eucjp_count, 3);
  EXPECT_EQ(info->euckr_count, 3);
  EXPECT_EQ(info->sjis_count, 0);
  EXPECT_EQ(info->page_length, static_cast<int>(page.size()));

  // Kana, traditional and signed or over-long references.
  info = Stats("&#x3042;&#x570B;&#-5;&#99999999999999999999;&#xFFFFFFFF;&#x41");
  EXPECT_EQ(info->rinfo.ref_count, 6);
  EXPECT_EQ(info->rinfo.ref_jp_count, 1);
  EXPECT_EQ(info->rinfo.ref_cn_trad_count, 1);
  EXPECT_EQ(info->rinfo.ref_ascii_count, 1);  // the last, without its ';'
  EXPECT_EQ(info->rinfo.ref_latin_count, 0);

  // A lone high byte pairs with the ASCII byte after it.
  info = Stats("a\xE9z\xE9z\xE9\xE9");
  EXPECT_EQ(info->twobyte_count, 3);
  EXPECT_EQ(info->sole_count, 2);
  EXPECT_EQ(info->real_count, 2);
  EXPECT_EQ(Stats("\x7F" "A")->twobyte_count, 0);  // the last ASCII byte and the first pair lead
  EXPECT_EQ(Stats("\x80" "A")->twobyte_count, 1);
}

TEST(CcodeInfo, CollectionStopsAt512Bytes) {
  _ccode_info_t* info = Stats(Repeat("\xB0\xA1\xB0\xA2", 150));
  EXPECT_EQ(info->twobyte_count, 256);
  EXPECT_EQ(info->content_len, 512);
  EXPECT_EQ(info->real_count, 256);
  info = Stats(Repeat("\xB0\xA1", 255) + "a\xB0\xA1\xB0\xA1");
  EXPECT_EQ(info->content_len, 512);
}

TEST(CcodeInfo, EscapesBomsAndFrontPage) {
  _ccode_info_t* info = Stats("\x1B$B\x1B(J\x1B(I\x1B$@\x1B(B\x1B$A x");
  EXPECT_EQ(info->jis_flag_count, 5);
  EXPECT_EQ(info->twobyte_count, 0);
  info = Stats("ab\xEF\xBB\xBF" "cd\xEF\xBB\xBF");
  EXPECT_EQ(info->bom_count, 2);
  EXPECT_EQ(info->twobyte_count, 0);
  EXPECT_TRUE(Stats("VTI_ENCODING:SR|utf8-nl")->frontpage_flag);
  EXPECT_FALSE(Stats("vti_encodin")->frontpage_flag);
}

TEST(CcodeInfo, CharsetFromHeaderOrPage) {
  const std::string page = "<meta content=\"charset=big5\">\xA4\xA4";
  EXPECT_STREQ(Stats(page)->charset, "big5");
  _ccode_info_t* info = Stats(page, "GBK");
  EXPECT_STREQ(info->charset, "gbk");
  EXPECT_EQ(info->charset_codetype, CODETYPE_GB);
  EXPECT_EQ(info->charset_confidence, 1023);
  const std::string at_limit(128, 'U'), past(129, 'U');
  EXPECT_EQ(std::string(Stats(page, at_limit.c_str())->charset), std::string(128, 'u'));
  EXPECT_STREQ(Stats(page, past.c_str())->charset, "big5");
  EXPECT_STREQ(Stats(page, "")->charset, "big5");
  EXPECT_EQ(Stats("x")->charset_codetype, -1);
}

TEST(CcodeInfo, TitleAndItsLanguage) {
  const struct {
    std::string page;
    std::string title;
    int lang;
  } rows[] = {
      {"<title>Hi</title>", "Hi", -1}, {"<TITLE>Up</TITLE>", "Up", -1}, {"<Title>x</Title>", "", -1},
      {"<title lang=zh>\xE7\xAE\x80\xE4\xBD\x93\xE4\xB8\xAD\xE6\x96\x87\xE7\x9A\x84\xE6\xA0\x87\xE9\xA2\x98</title>",
       "\xE7\xAE\x80\xE4\xBD\x93\xE4\xB8\xAD\xE6\x96\x87\xE7\x9A\x84\xE6\xA0\x87\xE9\xA2\x98", 1},
      {"<title>\xE7\xB9\x81\xE9\xAB\x94\xE4\xB8\xAD\xE6\x96\x87\xE6\xA8\x99\xE9\xA1\x8C</title>",
       "\xE7\xB9\x81\xE9\xAB\x94\xE4\xB8\xAD\xE6\x96\x87\xE6\xA8\x99\xE9\xA1\x8C", 2},
      {"<title>" + Repeat("\xE3\x81\xB2\xE3\x82\xAB", 3) + "</title>", Repeat("\xE3\x81\xB2\xE3\x82\xAB", 3), 3},
      // Simplified, traditional, simplified, simplified, simplified: as many
      // pure simplified as traditional characters.
      {"<title>\xE7\xAE\x80\xE9\xAB\x94\xE4\xB8\xAD\xE6\x96\x87\xE7\x9A\x84</title>",
       "\xE7\xAE\x80\xE9\xAB\x94\xE4\xB8\xAD\xE6\x96\x87\xE7\x9A\x84", 1},
      {"<title>\xE3\x81\xB2\xE3\x82\xAB</title>", "\xE3\x81\xB2\xE3\x82\xAB", -1},  // two kana
      {"<title>" + std::string(200, 't') + "</title>", std::string(127, 't'), -1}, {"<title>open", "", -1},
  };
  for (const auto& r : rows) {
    _ccode_info_t* info = Stats(r.page);
    EXPECT_EQ(std::string(info->title), r.title) << r.page;
    EXPECT_EQ(info->uinfo.utf8_cn_jp_title_lang, r.lang) << r.page;
  }
}

TEST(CcodeInfo, GbTitleVoteIsStricter) {
  // Three simplified and one traditional character: simplified in the UTF-8
  // vote, undecided in the GB one (it needs more than three simplified).
  _utf8_info_t u = {};
  u.utf8_cn_jp_title_lang = -1;
  utf8_title_compute("\xE7\xAE\x80\xE6\xA0\x87\xE9\xA2\x98\xE9\xAB\x94", &u);
  EXPECT_EQ(u.utf8_cn_jp_title_lang, 1);
  _utf8_info_t g = {};
  g.utf8_cn_jp_title_lang = -1;
  gb_title_compute("\xBC\xF2\xB1\xEA\xCC\xE2\xF3\x77", &g);
  EXPECT_EQ(g.utf8_cn_simp_title_chars, u.utf8_cn_simp_title_chars);
  EXPECT_EQ(g.utf8_cn_trad_title_chars, 1);
  EXPECT_EQ(g.utf8_cn_jp_title_lang, -1);
  // Kana rows A4 and A5 count as Japanese.
  gb_title_compute("\xA4\xA2\xA4\xA4\xA5\xA2\xA5\xA4", &g);
  EXPECT_EQ(g.utf8_cn_jp_title_lang, 3);
  // The vote at its thresholds, on counts set by hand (an empty title adds
  // none): simplified, traditional, Japanese, pure simplified, pure kana.
  const struct {
    int s, t, j, p, k;
    bool gb;
    int lang;
  } votes[] = {
      {5, 0, 4, 0, 2, false, 3},  {5, 0, 4, 0, 1, false, 1},  {5, 0, 3, 0, 2, false, 1},  {5, 0, 5, 0, 0, false, -1},
      {10, 1, 0, 1, 0, false, 1}, {11, 1, 0, 1, 0, false, 2}, {10, 2, 0, 1, 0, false, 2}, {11, 0, 0, 1, 0, false, 1},
      {4, 0, 0, 0, 0, false, 1},  {3, 0, 0, 0, 0, false, -1}, {4, 0, 0, 0, 0, true, 1},   {3, 0, 0, 0, 0, true, -1},
      {4, 4, 0, 4, 0, false, 1},  {4, 4, 0, 4, 0, true, -1},  {0, 4, 0, 0, 0, false, 2},  {0, 3, 0, 0, 0, false, -1},
      {0, 4, 0, 0, 0, true, 2},   {1, 3, 0, 0, 0, true, -1},  {0, 5, 5, 0, 0, false, -1}, {0, 5, 4, 0, 0, false, 2},
      {0, 0, 4, 0, 0, false, 3},  {4, 0, 4, 0, 0, false, -1},
  };
  for (const auto& v : votes) {
    _utf8_info_t c = {};
    c.utf8_cn_simp_title_chars = v.s, c.utf8_cn_trad_title_chars = v.t, c.utf8_jp_title_chars = v.j;
    c.utf8_cn_simp_pure_title_chars = v.p, c.utf8_jp_pure_title_chars = v.k, c.utf8_cn_jp_title_lang = -1;
    (v.gb ? gb_title_compute : utf8_title_compute)("", &c);
    EXPECT_EQ(c.utf8_cn_jp_title_lang, v.lang) << v.s << " " << v.t << " " << v.j << " " << v.p << " " << v.k << " " << v.gb;
  }
}

TEST(CcodeInfo, Utf8ClassesOfContentAndMainText) {
  // Chinese, Cyrillic, Hangul, Latin and kana, collected as pairs.
  const std::string text = "\xE4\xB8\xAD\xE6\x96\x87 \xD0\x9F\xD1\x80\xD0\xB8 \xED\x95\x9C \xC3\xA9 \xE3\x81\x82 x";
  _ccode_info_t* info = Stats(text, nullptr, "\xE4\xB8\xAD ab");
  const _utf8_info_t& u = info->uinfo;
  EXPECT_EQ(u.utf8_goodbytes, 6 + 6 + 3 + 2 + 3);
  EXPECT_EQ(u.utf8_cn_chars, 2);
  EXPECT_EQ(u.utf8_cn_simp_chars, 2);
  EXPECT_EQ(u.utf8_ru_chars, 3);
  EXPECT_EQ(u.utf8_ko_chars, 1);
  EXPECT_EQ(u.utf8_latin_chars, 1);
  EXPECT_EQ(u.utf8_jp_chars, 1);
  EXPECT_EQ(u.utf8_cn_pure_chars, 0);
  EXPECT_EQ(info->ucont_info.utf8_cn_chars, 1);
  EXPECT_EQ(info->ucont_info.utf8_ascii, 3);
  EXPECT_EQ(Stats(text)->ucont_info.utf8_ascii, 0);
  // The Cyrillic range D0 90 .. D1 8F at both ends and one past; Latin
  // pairs with the same trail bytes.
  const std::pair<const char*, int> ru[] = {{"\xD0\x8F", 0}, {"\xD0\x90", 1}, {"\xD0\xBF", 1}, {"\xD1\x80", 1},
                                            {"\xD1\x8F", 1}, {"\xD1\x90", 0}, {"\xC3\x80", 0}, {"\xC3\xA9", 0}};
  for (const auto& r : ru) {
    _utf8_info_t one = {};
    utf8_info_compute(r.first, &one);
    EXPECT_EQ(one.utf8_ru_chars, r.second) << r.first;
  }
  // Only the first 32,768 bytes are read: a character across the limit is not.
  const std::string limit = std::string(32767, 'a') + "\xC3\xA9";
  info = Stats("x", nullptr, limit.c_str());
  EXPECT_EQ(info->ucont_info.utf8_ascii, 32767);
  EXPECT_EQ(info->ucont_info.utf8_goodbytes, 0);
  const std::string within = std::string(32766, 'a') + "\xC3\xA9";  // the last two bytes read
  EXPECT_EQ(Stats("x", nullptr, within.c_str())->ucont_info.utf8_goodbytes, 2);
}

TEST(CcodeInfo, Gb18030VariantAgainstTheGbkPath) {
  // Zhong, wen, ri, ben: in BIG5, Shift_JIS, EUC-JP and EUC-KR alike.
  const std::string gb = Repeat("\xD6\xD0\xCE\xC4\xC8\xD5\xB1\xBE", 2);
  const _ccode_info_t gbk = *Stats(gb);
  _ccode_info_t* info = get_ccode_info();
  ccode_info_clean(info);
  int code = CODETYPE_GB;
  const std::string page = gb + "\x81\x30\x81\x30" "\xEF\xBB\xBF" "&#x4E2D;\x1B$B";
  ASSERT_EQ(ccode_info_compute_gb(info, page.c_str(), "http://gb.test/", &code, nullptr), 1);
  EXPECT_EQ(info->ginfo.gbk_count, gbk.ginfo.gbk_count);
  EXPECT_EQ(info->ginfo.gbk_simp_count, gbk.ginfo.gbk_simp_count);
  EXPECT_EQ(info->real_count, gbk.real_count + 1);
  EXPECT_EQ(info->twobyte_count, gbk.twobyte_count + 1);  // and the four-byte character
  EXPECT_EQ(info->sole_count, 1);                         // its second byte is a digit
  EXPECT_EQ(info->content_len, gbk.content_len + 4);
  EXPECT_EQ(info->big5_count, 8);
  EXPECT_EQ(info->sjis_count, 8);
  EXPECT_EQ(info->eucjp_count, 8);
  EXPECT_EQ(info->euckr_count, 8);
  EXPECT_EQ(info->bom_count, 1);
  EXPECT_EQ(info->rinfo.ref_count, 1);
  EXPECT_EQ(info->jis_flag_count, 1);
  EXPECT_EQ(info->charset_out, nullptr);
  EXPECT_TRUE(info->computed_flag);
  ccode_info_clean(info);
  ASSERT_EQ(ccode_info_compute_gb(info, Repeat("\xB0\xA1", 300).c_str(), "u", &code, nullptr), 1);
  EXPECT_EQ(info->content_len, 512);
  ccode_info_clean(info);
  ASSERT_EQ(ccode_info_compute_gb(info, (Repeat("\xB0\xA1", 255) + "\x81\x30\x81\x30").c_str(), "u", &code, nullptr), 1);
  EXPECT_EQ(info->content_len, 514);
}

TEST(CcodeInfo, NullArgumentsAndPredicates) {
  _ccode_info_t info;
  int code = CODETYPE_UTF8;
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ccode_info_compute(&info, nullptr, "u", nullptr, nullptr), -1);
  EXPECT_EQ(ccode_info_compute(&info, "p", nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(ccode_info_compute_gb(&info, "p", "u", &code, nullptr), -1);
  EXPECT_EQ(ccode_info_compute_gb(&info, "p", "u", nullptr, nullptr), -1);
  const std::string log = err.Stop();
  EXPECT_NE(log.find("invalid parameter in function 'ccode_info_compute'."), std::string::npos);
  EXPECT_NE(log.find("invalid parameter in function 'ccode_info_compute_gb'."), std::string::npos);

  auto P = [](const char* s) { return reinterpret_cast<const unsigned char*>(s); };
  const struct {
    int (*fn)(const unsigned char*);
    const char* pair;
    int expect;
  } rows[] = {
      {is_gbk, "\x81\x40", 1},  {is_gbk, "\x81\x7F", 0},  {is_gbk, "\xFF\x40", 0},  {is_gb, "\xB0\xA1", 1},
      {is_gb, "\xF7\xFE", 1},   {is_gb, "\xF8\xA1", 0},   {is_gb, "\xAF\xA1", 0},   {is_big5, "\xF9\x7E", 1},
      {is_big5, "\xFA\x40", 0}, {is_big5, "\xA1\x7F", 0}, {is_big5, "\xA1\xA0", 0}, {is_euckr, "\xA1\xA1", 1},
      {is_euckr, "\xA1\xFF", 0}, {is_sjis, "\xFB\xFC", 1}, {is_sjis, "\xFC\x40", 0}, {is_sjis, "\x81\x7F", 0},
      {is_sjis, "\xA0\x40", 0}, {is_eucjp, "\x8E\xDF", 1}, {is_eucjp, "\x8E\xE0", 0}, {is_eucjp, "\x8F\xA1", 0},
      {is_gbk_jm, "\xA5\xF6", 1}, {is_gbk_jm, "\xA5\xF7", 0}, {is_gbk_jm, "\xA6\xA1", 0},
      {is_big5_jp, "\xC6\xDB", 1}, {is_big5_jp, "\xC6\xDA", 0}, {is_big5_jp, "\xC7\x7E", 1},
      {is_big5_jp, "\xC7\x7F", 0},
  };
  for (const auto& r : rows) EXPECT_EQ(r.fn(P(r.pair)), r.expect) << r.pair;
  EXPECT_EQ(ul_is_gb18030_4bytes(P("\x81\x30\x81\x30")), 1);
  EXPECT_EQ(ul_is_gb18030_4bytes(P("\x81\x30\x81\x3A")), 0);
  EXPECT_EQ(ul_is_gb18030_4bytes(nullptr), 0);
}

}  // namespace
