// Query code-type detection: classifiers, the fifteen rules on hand-written
// frequency files, length limits, overrides, UCS-2 conversion.
#include "ul_ccode_querydetect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ccode_test_data.h"
#include "support/support.h"
#include "ul_ccode_type.h"
#include "ul_query_data.h"

namespace {

using ccodetest::Has;

// 中 and 文 common (60000), 们 rare (5000); one GBK-only and one UTF-8-only
// character.
const char kGbk[] = "# gbk\n\xD6\xD0 60000\n\xCE\xC4 60000\n\xC3\xC7 5000\n\xB0\xA1 60000\n\xCA\xB1 60000\n";
const char kUtf8[] = "# utf8\n\xE4\xB8\xAD 60000\n\xE6\x96\x87 60000\n\xE4\xBB\xAC 5000\n\xC3\xA9 60000\n";

class QueryDetect : public testing::Test {
 protected:
  void SetUp() override { Write(kGbk, kUtf8, ""); }
  void TearDown() override {
    DestroyQueryUnigramData();
    destroy_query_detect_config();
  }
  void Write(const std::string& gbk, const std::string& utf8, const std::string& conf) {
    testsupport::WriteFile(dir_.file("g.txt"), gbk);
    testsupport::WriteFile(dir_.file("u.txt"), utf8);
    testsupport::WriteFile(dir_.file("q.conf"), conf);
    loaded_ = LoadQueryUnigramData(dir_.path().c_str(), "g.txt", "u.txt");
    load_query_detect_config(dir_.path().c_str(), "q.conf");
  }
  static int Detect(const std::string& q, int len = 0) { return ul_ccode_query_detect(const_cast<char*>(q.c_str()), len); }
  static _ccode_query_info_t Stats(const std::string& q) {
    _ccode_query_info_t s;
    ccode_query_info_reset(&s);
    s.query = q.c_str();
    s.query_len = static_cast<int>(q.size());
    check_charsetv2(&s);
    JudgeGBKorUTF8(q.c_str(), s.query_len, &s, punistat);
    return s;
  }
  testsupport::TempDir dir_;
  int loaded_ = 0;
};

TEST_F(QueryDetect, Classifiers) {
  int st = 0;
  EXPECT_EQ(is_ok_gbk_byte(0x41, &st), CBF_ASCII);
  EXPECT_EQ(is_ok_gbk_byte(0x80, &st), CBF_ERRFIRST);
  EXPECT_EQ(is_ok_gbk_byte(0x81, &st), CBF_OKFIRST);
  EXPECT_EQ(is_ok_gbk_byte(0x7F, &st), CBF_OKSEC);
  EXPECT_EQ(is_ok_gbk_byte(0xFE, &st), CBF_OKFIRST);
  EXPECT_EQ(is_ok_gbk_byte(0x3F, &st), CBF_ERRSEC);
  EXPECT_EQ(is_ok_gb2312_byte(0xA0, &st), CBF_ERRFIRST);
  EXPECT_EQ(is_ok_gb2312_byte(0xA1, &st), CBF_OKFIRST);
  EXPECT_EQ(is_ok_gb2312_byte(0xA0, &st), CBF_ERRSEC);
  int pos = 0, len = 0;
  EXPECT_EQ(is_ok_utf_byte(0x80, &pos, &len), CBF_ERRFIRST);
  EXPECT_EQ(is_ok_utf_byte('A', &pos, &len), CBF_INVALIDBYTE) << "the byte after a stray one is swallowed";
  EXPECT_EQ(is_ok_utf_byte(0xFD, &pos, &len), CBF_OKFIRST);
  EXPECT_EQ(len, 6);
  pos = len = 0;
  EXPECT_EQ(is_ok_utf_byte(0xFE, &pos, &len), CBF_ERRFIRST);
  EXPECT_EQ(len, 7);
  struct Counts {
    std::string q;
    int gbkok, gbkerr, gb2312ok, utfok, utferr, all3, unseen;
  } rows[] = {
      {"\xC3" "A", 1, 0, 0, 0, 1, 0, 0},              // A is a GBK trail, a broken UTF-8 second byte
      {"\xE4\xB8\xAD\xD6", 2, 0, 2, 1, 0, 1, 0},   // a cut character counts nowhere
      {"a\tb\r\n", 0, 0, 0, 0, 0, 0, 1},             // TAB is unseen, CR and LF are not
      {"\x81\x40\xC3\xA9", 2, 0, 1, 1, 1, 0, 0},
      {"\x80" "A\xC3\xA9", 1, 0, 1, 1, 1, 0, 0},     // the byte after a stray 80 is an error
  };
  for (const Counts& c : rows) {
    const _ccode_query_info_t s = Stats(c.q);
    EXPECT_EQ(s.gbkoknum, c.gbkok) << testing::PrintToString(c.q);
    EXPECT_EQ(s.gbkerrnum, c.gbkerr) << testing::PrintToString(c.q);
    EXPECT_EQ(s.gb2312oknum, c.gb2312ok) << testing::PrintToString(c.q);
    EXPECT_EQ(s.utfoknum, c.utfok) << testing::PrintToString(c.q);
    EXPECT_EQ(s.utferrnum, c.utferr) << testing::PrintToString(c.q);
    EXPECT_EQ(s.utfall3byte, c.all3) << testing::PrintToString(c.q);
    EXPECT_EQ(s.unseenum, c.unseen) << testing::PrintToString(c.q);
  }
  const int freqs[] = {1, 3};
  EXPECT_FLOAT_EQ(CalculateDivDiff(freqs, 2, 4), 1.0f);
  EXPECT_EQ(CalculateDivDiff(freqs, 0, 4), 0.0f);
  EXPECT_EQ(CalculateDivDiff(freqs, 2, 0), 0.0f);
  const std::vector<int> many(1024, 2);
  EXPECT_FLOAT_EQ(CalculateDivDiff(many.data(), 2048, 2048), 0.5f) << "divided by n, not by the recorded count";
}

TEST_F(QueryDetect, Rules) {
  ASSERT_EQ(loaded_, 1);
  struct Case {
    std::string q;
    int rule, code;
  } cases[] = {
      {"a", 1, CODETYPE_GB},
      {"\xD6\xD0", 2, CODETYPE_GB},
      {"\x2D\x4E\x87\x65", 3, CODETYPE_UCS2},
      {"\t", 4, CODETYPE_UTF8},
      {"\x80" "a", 5, CODETYPE_GB},
      {"\xE4\xB8\xAD", 6, CODETYPE_UTF8},
      {"\xE4\xB8\xAD\xE6\x96\x87", 6, CODETYPE_UTF8},
      {"\xCA\xB1\x80", 7, CODETYPE_GB},
      {"a\xC3\xA9", 8, CODETYPE_UTF8},
      {"a\xCA\xB1", 9, CODETYPE_GB},
      {"\xE4\xBB\xAC" "a", 10, CODETYPE_UTF8},
      {"a\xE4\xB8", 11, CODETYPE_GB},
      {"\xE4\t", 12, CODETYPE_UTF8},
      {"\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xBB\xAC\xE4\xBB\xAC\xC3\xA9", 13, CODETYPE_UTF8},
      {"\xCA\xB1\xCA\xB1\xCA\xB1\xC3\xA9", 14, CODETYPE_GB},
      {"\xCA\xB1\xC3\x80", 15, CODETYPE_GB},
      {"\xC3\x81@", 15, CODETYPE_UTF8},
  };
  for (const Case& c : cases) {
    const _ccode_query_info_t s = Stats(c.q);
    int code = -1;
    EXPECT_EQ(query_detect_rule(&s, &code), c.rule) << testing::PrintToString(c.q);
    EXPECT_EQ(code, c.code) << c.rule;
    EXPECT_EQ(Detect(c.q), c.code) << c.rule;
  }
  EXPECT_EQ(Detect("\xB0", 5), CODETYPE_GB) << "len past the NUL reads nothing after it";
  EXPECT_EQ(Detect("\xE4", 5), CODETYPE_GB);
  const _ccode_query_info_t s = Stats("\xE4\xB8\xAD\xD6");
  EXPECT_EQ(s.utf8ishf, 1);
  EXPECT_EQ(s.gbkishf, 0);
  EXPECT_EQ(Stats("\xD6\xD0\xCE").gbkishf, 1);
  _ccode_query_info_t cut;
  ccode_query_info_reset(&cut);
  ASSERT_EQ(JudgeGBKorUTF8("\xD6\xD0", 1, &cut, punistat), 1);
  EXPECT_EQ(cut.gbkishf, 1) << "a lead byte at len - 1 is a half character";
  EXPECT_EQ(cut.gbkwnum, 0);
  EXPECT_EQ(JudgeGBKorUTF8("\xD6\xD0", 0, &cut, punistat), -1) << "no length, no reading";
}

// Each rule at its thresholds, on statistics set by hand: a base that falls
// through to rule 15 (UTF-8), changed by one row's fields.
TEST(QueryDetectRules, AtTheirThresholds) {
  using S = _ccode_query_info_t;
  const struct {
    void (*set)(S&);
    int rule;
  } rows[] = {
      {[](S&) {}, 15},
      {[](S& s) { s.us2gbkwnum = 1, s.ucs2avefreq = 501, s.avegbkfreq = s.aveutf8freq = 100; }, 3},
      {[](S& s) { s.us2gbkwnum = 1, s.ucs2avefreq = 500, s.avegbkfreq = 100; }, 15},  // 5 x GBK
      {[](S& s) { s.us2gbkwnum = 1, s.ucs2avefreq = 500, s.aveutf8freq = 100; }, 15},  // 5 x UTF-8
      {[](S& s) { s.us2gbkwnum = 1, s.ucs2avefreq = 501, s.us2gbkunhum = 1; }, 15},
      {[](S& s) { s.utfall3byte = 1, s.gbklowseqlen = 2; }, 6},
      {[](S& s) { s.utfall3byte = 1, s.gbklowseqlen = 1; }, 10},
      {[](S& s) { s.utfall3byte = 1, s.gbklowfreqnum = 2, s.gbkoknum = 4; }, 6},
      {[](S& s) { s.utfall3byte = 1, s.gbklowfreqnum = 2, s.gbkoknum = 5; }, 10},
      {[](S& s) { s.utfall3byte = 1, s.gbklowfreqnum = 1, s.gbkerrnum = 1; }, 6},
      {[](S& s) { s.utfall3byte = 1, s.utf8lowfreqnum = 1, s.gbklowfreqnum = 3; }, 6},
      {[](S& s) { s.utfall3byte = 1, s.utf8lowfreqnum = 1, s.gbklowfreqnum = 2; }, 10},
      {[](S& s) { s.utfall3byte = 1, s.utf8lowfreqnum = 1, s.gbkishf = 1; }, 6},
      {[](S& s) { s.utf8lowfreqnum = 2; }, 7},
      {[](S& s) { s.utf8lowfreqnum = 1; }, 15},
      {[](S& s) { s.gbklowfreqnum = 1, s.utf8lowfreqnum = 5; }, 7},
      {[](S& s) { s.gbklowfreqnum = 1, s.utf8lowfreqnum = 4; }, 15},
      {[](S& s) { s.gbkoknum = 2, s.gbkdiv = 7, s.utf8div = 1, s.aveutf8freq = 50001, s.avegbkfreq = 5000; }, 8},
      {[](S& s) { s.gbkoknum = 2, s.gbkdiv = 6.9f, s.utf8div = 1, s.aveutf8freq = 50001; }, 15},
      {[](S& s) { s.gbkoknum = 2, s.gbkdiv = 7, s.utf8div = 1, s.aveutf8freq = 50000; }, 15},
      {[](S& s) { s.gbkoknum = 2, s.gbkdiv = 7, s.utf8div = 1, s.aveutf8freq = 50001, s.avegbkfreq = 5001; }, 15},
      {[](S& s) { s.aveutf8freq = 10001, s.avegbkfreq = 1000; }, 8},
      {[](S& s) { s.aveutf8freq = 10000; }, 15},
      {[](S& s) { s.aveutf8freq = 20000, s.avegbkfreq = 2000; }, 15},
      {[](S& s) { s.utfoknum = 2, s.utf8div = 7, s.gbkdiv = 1, s.avegbkfreq = 50001, s.aveutf8freq = 5000; }, 9},
      {[](S& s) { s.utfoknum = 2, s.utf8div = 7, s.gbkdiv = 1, s.avegbkfreq = 50000; }, 15},
      {[](S& s) { s.avegbkfreq = 10001, s.aveutf8freq = 1000; }, 9},
      {[](S& s) { s.avegbkfreq = 10000, s.aveutf8freq = 1000; }, 15},
      {[](S& s) { s.utfall3byte = 1; }, 10},
      {[](S& s) { s.utfall3byte = 1, s.utf8uhnum = 1; }, 15},
      {[](S& s) { s.utferrnum = 1; }, 11},
      {[](S& s) { s.gbkerrnum = 1; }, 12},
      {[](S& s) { s.gbkerrnum = 1, s.utferrnum = 1; }, 15},
      {[](S& s) { s.utfoknum = 6, s.utfall3byte = 4; }, 13},
      {[](S& s) { s.utfoknum = 7, s.utfall3byte = 4; }, 15},  // 4 is not above 0.6 x 7
      {[](S& s) { s.gbkwnum = 3, s.utf8uhnum = 1; }, 14},
      {[](S& s) { s.gbkwnum = 2, s.utf8uhnum = 1; }, 15},
      {[](S& s) { s.gbkwnum = 3, s.utf8uhnum = 1, s.gbkuhnum = 2; }, 15},
      {[](S& s) { s.gbkwnum = 3, s.utf8uhnum = 1, s.utf8wnum = 2; }, 15},
  };
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    S s;
    ccode_query_info_reset(&s);
    s.query_len = 10, s.utfoknum = 1, s.gbkoknum = 1, s.gbkwnum = 1;
    rows[i].set(s);
    int code = -1;
    EXPECT_EQ(query_detect_rule(&s, &code), rows[i].rule) << "row " << i;
  }
}

TEST_F(QueryDetect, LengthsAndOverrides) {
  std::string log;
  {
    testsupport::CaptureFd err(2);
    Write(kGbk, kUtf8, "a b\t12\nx\t0\ny\t-1\na b\t3\nz\t99999999999\nw\t2147483647\n# c\t5\n");
    log = err.Stop();
  }
  EXPECT_FALSE(Has(log, "[x\t0]")) << log;
  EXPECT_EQ(Detect("w"), 2147483647) << "the largest int is taken";
  EXPECT_TRUE(Has(log, "load_query_detect_config read invalid line [y\t-1]")) << log;
  EXPECT_TRUE(Has(log, "read invalid line [z\t99999999999]")) << log;
  EXPECT_EQ(Detect("a b"), 12) << "an unknown code type is returned as it is";
  EXPECT_EQ(Detect("x"), CODETYPE_GB) << "code type 0 does not override";
  testsupport::CaptureFd err(2);
  EXPECT_EQ(Detect(""), -2);
  EXPECT_EQ(ul_ccode_query_detect(nullptr), -2);
  const std::string max(102399, 'a'), over(102400, 'a');
  EXPECT_EQ(Detect(max), CODETYPE_GB);
  EXPECT_EQ(Detect(over), -2);
  log = err.Stop();
  EXPECT_TRUE(Has(log, "too short or longer than 102400, in ul_ccode_query_detect"));
  EXPECT_TRUE(Has(log, "invalid query [NULL] in ul_ccode_query_detect"));
  EXPECT_EQ(load_query_detect_config(dir_.path().c_str(), "missing.conf"), -1);
  EXPECT_EQ(Detect("a b"), CODETYPE_GB) << "a failed load leaves no overrides";
}

TEST_F(QueryDetect, FrequencyFiles) {
  testsupport::CaptureFd err(2);
  // A word filling the longest line and a frequency one past the int limit
  // are skipped like the other bad lines.
  Write(std::string(kGbk) + "\xD6\xD0\xCE\xC4\xB0 9\n\xB0\xA2 -1\n\xB0\xA3\n" + std::string(1020, 'w') +
            " 9\n\xB0\xA4 2147483648\n",
        kUtf8, "");
  EXPECT_EQ(loaded_, 1);
  EXPECT_EQ(punistat->gbkwordnum, 5);
  EXPECT_EQ(search_sdict_value(punistat->gbkdict, "\xB0\xA4"), -2);
  // Frequencies at the int limit: their sum needs more than 32 bits.
  Write("\xD6\xD0 2147483647\n\xCE\xC4 2147483647\n", "\xE4\xB8\xAD 2147483647\n", "");
  const _ccode_query_info_t big = Stats("\xD6\xD0\xCE\xC4\xD6\xD0");
  EXPECT_EQ(big.gbkfreq, 3LL * 2147483647);
  EXPECT_FLOAT_EQ(big.avegbkfreq, 2147483647.0f);
  EXPECT_EQ(big.gbkminfreq, 2147483647);
  Write(kGbk, "\xE4\xB8\xAD 1\n", "");
  EXPECT_EQ(loaded_, 1) << "one entry is enough";
  Write("# only comments\n", kUtf8, "");
  EXPECT_EQ(loaded_, -1);
  EXPECT_EQ(Detect("abc"), -2) << "no half-loaded tables are used";
  _ccode_query_info_t none;
  ccode_query_info_reset(&none);
  EXPECT_EQ(JudgeGBKorUTF8("a", 1, &none, nullptr), -1);
  const std::string log = err.Stop();
  EXPECT_TRUE(Has(log, "LoadQueryUnigramFile invalid word or freq! word:\xD6\xD0\xCE\xC4\xB0 freq:9")) << log;
  EXPECT_TRUE(Has(log, "freq:-1 line:\xB0\xA2 -1"));
  EXPECT_TRUE(Has(log, "LoadQueryUnigramFile invalid line:\xB0\xA3"));
  EXPECT_TRUE(Has(log, "word:" + std::string(1020, 'w') + " freq:9")) << "the whole word is read";
  EXPECT_TRUE(Has(log, "freq:2147483647 line:\xB0\xA4 2147483648"));
  EXPECT_TRUE(Has(log, "LoadQueryUnigramData load gbk file fail"));
  EXPECT_TRUE(Has(log, "invalid dict, please check if dict initialized, in JudgeGBKorUTF8 "));
}

TEST_F(QueryDetect, Ucs2ToGbk) {
  char src[] = "\x2D\x4E\x87\x65", dst[16];
  EXPECT_EQ(ul_ucs2_gbk_str(src, 4, dst, 7), 4);
  EXPECT_EQ(std::string(dst), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(ul_ucs2_gbk_str(src, dst, 6), -1);
  EXPECT_EQ(ul_ucs2_gbk_str(src, 3, dst, 16), -1);
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_ucs2_gbk_str(nullptr, 4, dst, 16), -1);
  EXPECT_EQ(ul_ucs2_gbk_str(src, 4, nullptr, 16), -1);
  EXPECT_TRUE(Has(err.Stop(), "invalid param dst, NULL or buffer too short, in ul_ucs2_gbk_str"));
  char out[8];
  const unsigned char unit[] = {0x00, 0x41};
  EXPECT_EQ(ConvUTS2UTF8_str(unit, 1, out, 4), -1 + 4) << "three bytes and the NUL fit";
  EXPECT_EQ(std::string(out), "\xE0\x81\x81");
  EXPECT_EQ(ConvUTS2UTF8_str(unit, 1, out, 3), 0);
}

}  // namespace
