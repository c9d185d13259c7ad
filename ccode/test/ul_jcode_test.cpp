#include "ul_jcode.h"

#include <gtest/gtest.h>

#include <string>

#include "ccode_test_data.h"
#include "ul_ccode_iconv.h"
#include "ul_ccode_load.h"
#include "ul_ccode_type.h"
#include "ul_jcode_table.h"

namespace {

using ccodetest::Gb;
using ccodetest::Has;
using ccodetest::Platform;

typedef int (*conv_t)(const char*, char*, int);

struct Converted {
  std::string out;
  int result;
};

// A converter of the thread into destlen bytes (pre-filled with 'x').
Converted Conv(conv_t f, const std::string& in, int destlen = 64) {
  std::string out(static_cast<size_t>(destlen > 0 ? destlen : 1), 'x');
  const int r = f(in.c_str(), &out[0], destlen);
  return {out.substr(0, out.find('\0')), r};
}

std::string Sjis(const std::string& utf8) { return Platform("UTF-8", "SHIFT_JIS", utf8); }
std::string Eucjp(const std::string& utf8) { return Platform("UTF-8", "EUC-JP", utf8); }
std::string Jis(const std::string& utf8) { return Platform("UTF-8", "ISO-2022-JP", utf8); }

class Jcode : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string log;
    ASSERT_EQ(ccodetest::Load(ul_ccode_default_path(), 0, &log), 0) << log;
    ASSERT_EQ(ul_ccode_conv_open(), 0);
  }
  void TearDown() override {
    ul_ccode_conv_close();
    ul_ccode_del();
  }
};

TEST_F(Jcode, EachConverterOnTextItKnows) {
  const std::string text = "日本語のテキスト, ASCII 123";
  const struct {
    conv_t f;
    std::string in;
    std::string out;
  } rows[] = {
      {ul_sjis_gb_str, Sjis(text), Gb(text)},   {ul_eucjp_gb_str, Eucjp(text), Gb(text)},
      {ul_jis_gb_str, Jis(text), Gb(text)},     {ul_utf8_gb_str, text, Gb(text)},
      {ul_gb_sjis_str, Gb(text), Sjis(text)},   {ul_gb_eucjp_str, Gb(text), Eucjp(text)},
      {ul_gb_jis_str, Gb(text), Jis(text)},     {ul_gb_utf8_str, Gb(text), text},
  };
  for (const auto& r : rows) {
    Converted c = Conv(r.f, r.in);
    EXPECT_EQ(c.out, r.out) << r.in;
    EXPECT_EQ(c.result, 0) << r.in;
  }
  // The shift state is reset: the same text twice gives the same bytes, and
  // ISO-2022-JP output ends in ASCII.
  EXPECT_EQ(Conv(ul_gb_jis_str, Gb("日本")).out, Conv(ul_gb_jis_str, Gb("日本")).out);
  EXPECT_EQ(Conv(ul_gb_jis_str, Gb("日本")).out.substr(3 + 4), "\x1B(B");
}

TEST_F(Jcode, VendorCharactersTheConverterRejects) {
  const struct {
    conv_t f;
    std::string in;
    std::string out;
  } rows[] = {
      {ul_sjis_gb_str, "\x87\x40", Gb("①")},       // NEC special row
      {ul_sjis_gb_str, "\xFA\x40", Gb("ⅰ")},       // IBM extension
      {ul_sjis_gb_str, "\xED\x40", Gb("纊")},      // NEC-selected IBM extension
      {ul_eucjp_gb_str, "\xAD\xA1", Gb("①")},
      {ul_eucjp_gb_str, "\xF9\xA1", Gb("纊")},
      {ul_gb_sjis_str, Gb("①"), "\x87\x40"},
      {ul_gb_sjis_str, Gb("ⅰ"), "\xEE\xEF"},  // rows 89..92 come first
      {ul_gb_eucjp_str, Gb("①"), "\xAD\xA1"},
  };
  for (const auto& r : rows) {
    Converted c = Conv(r.f, "a" + r.in + "b");
    EXPECT_EQ(c.out, "a" + r.out + "b") << r.in;
    EXPECT_EQ(c.result, 0) << r.in;
  }
  // The IBM rows fill only what the NEC rows left in Shift_JIS.
  EXPECT_EQ(unicode2eucjp[0x2460], 0xADA1);
  EXPECT_EQ(unicode2sjis[0x2170], 0xEEEF);  // also FA 40
  EXPECT_EQ(unicode2sjis[0x2160], 0x8754);  // also FA 4A
  EXPECT_EQ(unicode2sjis[0x6801] >> 8, 0xED);  // also in FA/FB
  EXPECT_EQ(ul_jcode_transfer_init(), 0);  // built once, kept
}

TEST_F(Jcode, BlanksForWhatCannotBeConverted) {
  const struct {
    conv_t f;
    std::string in;
    int destlen;
    std::string out;
    int result;
  } rows[] = {
      // A GB character the target lacks is two blanks, its trail byte is
      // never read as the start of another character (这 then A: E2 41
      // would read as 釧).
      {ul_gb_sjis_str, Gb("这") + "A", 64, "  A", 2},
      {ul_gb_eucjp_str, Gb("这") + "A", 64, "  A", 2},
      {ul_gb_jis_str, "a\xFF" "b", 64, "a b", 1},
      {ul_gb_sjis_str, "\x84\x31\xA4\x39", 64, "  ", 4},  // U+FFFF
      {ul_sjis_gb_str, "a\x85\x40" "b", 64, "a  b", 2},    // a Shift_JIS pair nobody knows
      {ul_sjis_gb_str, "a\xA0" "bc", 64, "a bc", 1},
      {ul_sjis_gb_str, "a\x85\x7E", 64, "a  ", 2},
      {ul_sjis_gb_str, "a\x85\x30", 64, "a 0", 1},           // no pair: one blank
      {ul_sjis_gb_str, "\x81\xAD", 64, "  ", 2},             // lead 81, an unassigned cell
      {ul_eucjp_gb_str, "\x8F\xFE\xFE" "a", 64, "  a", 3},
      {ul_eucjp_gb_str, "a\x8F\xFE\xFE", 64, "a  ", 3},
      {ul_eucjp_gb_str, "\xA9\xA1" "a", 64, "  a", 2},
      {ul_utf8_gb_str, "ab\xFF", 64, "ab", 1},             // a last bad byte is left over
      {ul_jis_gb_str, "a\x80" "b", 64, "a b", 1},
      // Full destinations stop on a character boundary.
      {ul_utf8_gb_str, "a日本", 4, "a" + Gb("日"), 3},
      {ul_gb_utf8_str, Gb("日本"), 6, "日", 2},
      {ul_gb_sjis_str, Gb("日本"), 2, "", 4},
      {ul_gb_sjis_str, Gb("日本"), 3, Sjis("日"), 2},
  };
  for (const auto& r : rows) {
    Converted c = Conv(r.f, r.in, r.destlen);
    EXPECT_EQ(c.out, r.out) << r.in;
    EXPECT_EQ(c.result, r.result) << r.in;
  }
  const conv_t all[] = {ul_jis_gb_str,  ul_sjis_gb_str,  ul_eucjp_gb_str, ul_utf8_gb_str,
                        ul_gb_jis_str,  ul_gb_sjis_str,  ul_gb_eucjp_str, ul_gb_utf8_str};
  for (conv_t f : all) {
    EXPECT_EQ(Conv(f, "").result, -1);
  }
  EXPECT_EQ(Conv(ul_gb_sjis_str, "a", 0).result, -1);
}

TEST_F(Jcode, EveryShiftJisPairAgreesWithThePlatform) {
  int agreed = 0;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      const std::string pair = {static_cast<char>(lead), static_cast<char>(trail)};
      const std::string want = Platform("SHIFT_JIS", "GB18030", pair);
      if (want == "<none>") continue;
      ++agreed;
      EXPECT_EQ(Conv(ul_sjis_gb_str, pair).out, want);
      EXPECT_EQ(Conv(ul_gb_sjis_str, want).out, Platform("GB18030", "SHIFT_JIS", want));
    }
  }
  EXPECT_GT(agreed, 6800);
}

TEST_F(Jcode, ThreadFormsNeedState) {
  ul_ccode_conv_close();
  testsupport::CaptureFd err(2);
  EXPECT_EQ(Conv(ul_gb_utf8_str, "a").result, -1);
  EXPECT_EQ(Conv(ul_jis_gb_str, "a").result, -1);
  char out[8];
  EXPECT_EQ(ul_ccode_to_gb18030("a", out, 8, CODETYPE_GBK), -1);
  EXPECT_EQ(ul_ccode_from_gb18030_str("", out, 8, CODETYPE_GBK), -1);
  EXPECT_EQ(ul_iconv(CODETYPE_GB, CODETYPE_UTF8, "a", out, 1, 8, nullptr), -1);
  EXPECT_TRUE(Has(err.Stop(), "get ccode conv error!"));
}

TEST_F(Jcode, DispatchTable) {
  const struct {
    int from, to;
    std::string in;
    int srclen, dstlen;
    std::string out;
    int result;
  } rows[] = {
      {CODETYPE_BIG5, CODETYPE_UTF8, "a", 1, 8, "", -1},  // an empty cell
      {12, CODETYPE_GB, "a", 1, 8, "", -1},
      {CODETYPE_GB, -1, "a", 1, 8, "", -1},
      {CODETYPE_EUCKR, CODETYPE_EUCKR, "abcdef", 3, 8, "abc", 1},  // copies srclen bytes
      {CODETYPE_ENG, CODETYPE_ASCII, "abcdef", 6, 4, "abc", 1},    // ... cut to dstlen - 1
      {CODETYPE_UTF8JP, CODETYPE_UTF8, "ab", 2, 8, "ab", 1},
      {CODETYPE_GB, CODETYPE_BIG5, Gb("国家"), 0, 8, ccodetest::Big5("國家"), 1},
      {CODETYPE_GB, CODETYPE_BIG5, Gb("国家"), 2, 8, ccodetest::Big5("國"), 1},
      {CODETYPE_GB, CODETYPE_BIG5, "ab", 1, 8, "a", 1},
      {CODETYPE_BIG5, CODETYPE_GB, "ab", 1, 8, "a", 1},
      {CODETYPE_ENG, CODETYPE_ASCII, "abcdef", 4, 4, "abc", 1},
      {CODETYPE_GB, CODETYPE_BIG5, Gb("国家"), 0, 4, ccodetest::Big5("國"), -1},  // does not fit
      {CODETYPE_BIG5, CODETYPE_GB, ccodetest::Big5("國家"), 0, 3, Gb("國"), -1},
      {CODETYPE_GB, CODETYPE_UTF8JP, Gb("日本"), 0, 8, "日本", 0},
      {CODETYPE_SJIS, CODETYPE_GB, Sjis("日本"), 0, 8, Gb("日本"), 0},
  };
  for (const auto& r : rows) {
    char out[16];
    memset(out, 0, sizeof(out));
    EXPECT_EQ(ul_iconv(r.from, r.to, r.in.c_str(), out, r.srclen, r.dstlen, nullptr), r.result) << r.from << r.to;
    EXPECT_EQ(std::string(out), r.out) << r.from << r.to;
  }
  // An explicit record.
  _ccode_conv_t conv;
  ASSERT_EQ(ul_ccode_conv_open(&conv), 0);
  char out[16];
  EXPECT_EQ(ul_iconv(CODETYPE_UTF8, CODETYPE_GB, "日本", out, 0, 16, &conv), 0);
  EXPECT_EQ(std::string(out), Gb("日本"));
  ul_ccode_conv_close(&conv);

  // A page converter the thread has closed is refused in both directions.
  testsupport::CaptureFd err(2);
  _ccode_conv_t* state = get_ccode_conv();
  ASSERT_EQ(ul_tr2gb_close(state), 0);
  ASSERT_EQ(ul_gb2tr_close(state), 0);
  EXPECT_EQ(ul_ccode_to_gb18030("a", out, 16, CODETYPE_ISO_8859_1), -1);
  EXPECT_EQ(ul_ccode_from_gb18030("a", out, 16, CODETYPE_ISO_8859_1), -1);
  ASSERT_EQ(ul_tr2gb_open(state), 0);
  ASSERT_EQ(ul_gb2tr_open(state), 0);
  EXPECT_EQ(ul_ccode_from_gb18030("a", out, 16, CODETYPE_ISO_8859_1), 0);
  EXPECT_STREQ(out, "a");
  // Without the grids the table cells refuse.
  ul_ccode_conv_close();
  ul_ccode_del();
  EXPECT_EQ(ul_iconv(CODETYPE_GB, CODETYPE_BIG5, "a", out, 1, 16, nullptr), -1);
  EXPECT_EQ(ul_iconv(CODETYPE_BIG5, CODETYPE_GB, "a", out, 1, 16, nullptr), -1);
  EXPECT_TRUE(Has(err.Stop(), "have not load the maping table: gbk_big5_map")) << "log";
}

TEST_F(Jcode, ToAndFromGb18030ByCodeType) {
  const struct {
    bool to_gb;
    int type;
    std::string in;
    int outlen;
    std::string out;
    int result;
  } rows[] = {
      {true, CODETYPE_WIN1258, "ab", 16, "ab", 0},  // the held-back last character comes out
      {true, CODETYPE_ISO_8859_1, "\xE9t\xE9", 16, Gb("été"), 0},
      {true, CODETYPE_ISO_8859_1, "\xE9t\xE9", 1, "", 3},
      {true, CODETYPE_ISO_8859_1, "\xE9t\xE9", 4, Gb("é") + "t", 1},
      {true, CODETYPE_ISO_8859_6, "a\xA1" "b", 16, "a b", 1},
      {true, CODETYPE_WIN1251, "\xC0", 16, Gb("А"), 0},
      {true, CODETYPE_EUCKR, Platform("UTF-8", "EUC-KR", "한국어"), 16, Gb("한국어"), 0},
      {true, CODETYPE_BIG5, ccodetest::Big5("國家"), 16, Gb("國家"), 0},
      {true, CODETYPE_BIG5, ccodetest::Big5("國家"), 4, Gb("國"), 2},
      {true, CODETYPE_UTF8, "é", 16, Gb("é"), 0},
      {true, CODETYPE_SJIS, Sjis("日本"), 16, Gb("日本"), 0},
      {true, CODETYPE_GBK, "abcdef", 4, "abc", 0},
      {false, CODETYPE_GBK, "abcdef", 4, "abc", 0},
      {false, CODETYPE_GBK, "abcd", 4, "abc", 0},
      {false, CODETYPE_ISO_8859_1, "\x81\x40" "a", 16, "  a", 2},
      {false, CODETYPE_ISO_8859_1, "\xFE\x40" "a", 16, "  a", 2},
      {false, CODETYPE_ISO_8859_1, Gb("啊é") + "a", 16, "  \xE9" "a", 2},
      {false, CODETYPE_TIS620, Gb("ก"), 16, "\xA1", 0},
      {false, CODETYPE_BIG5, Gb("国") + Gb("😀"), 16, ccodetest::Big5("國") + "  ", 4},
      {false, CODETYPE_UTF8, Gb("é"), 16, "é", 0},
      {false, CODETYPE_EUCJP, Gb("日本"), 16, Eucjp("日本"), 0},
      {false, CODETYPE_JIS, Gb("日本"), 16, Jis("日本"), 0},
  };
  for (const auto& r : rows) {
    char out[16];
    memset(out, 'x', sizeof(out));
    auto f = r.to_gb ? ul_ccode_to_gb18030 : ul_ccode_from_gb18030;
    EXPECT_EQ(f(r.in.c_str(), out, r.outlen, r.type), r.result) << r.type << " " << r.in;
    EXPECT_EQ(std::string(out, strnlen(out, sizeof(out))), r.out) << r.type << " " << r.in;
  }
  char out[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(ul_ccode_to_gb18030_str("", out, 4, CODETYPE_UTF8), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(ul_ccode_from_gb18030_str("a", out, 4, CODETYPE_UTF8), 0);
  EXPECT_STREQ(out, "a");
  EXPECT_EQ(ul_ccode_to_gb18030_str("a", out, 1, CODETYPE_GBK), 0);
  EXPECT_STREQ(out, "");
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_ccode_to_gb18030("", out, 4, CODETYPE_UTF8), -1);  // empty UTF-8 text
  EXPECT_EQ(ul_ccode_to_gb18030(nullptr, out, 4, CODETYPE_GBK), -1);
  EXPECT_EQ(ul_ccode_from_gb18030("a", out, 0, CODETYPE_GBK), -1);
  EXPECT_EQ(ul_ccode_to_gb18030_str("a", out, 0, CODETYPE_GBK), -1);
  const std::string log = err.Stop();
  EXPECT_TRUE(Has(log, "invalid parameter in function 'ul_ccode_to_gb18030'.\n")) << log;
  EXPECT_TRUE(Has(log, "invalid parameter in function 'ul_ccode_from_gb18030'.\n")) << log;
  EXPECT_TRUE(Has(log, "invalid parameter in function ul_ccode_to_gb18030_str.\n")) << log;
}

TEST(HalfWidthKatakana, FoldsAndMergesMarks) {
  const struct {
    std::string in;
    std::string out;
  } rows[] = {
      {Gb("ｶﾞ"), Gb("ガ")},
      {Gb("ｳﾞ"), Gb("ヴ")},
      {Gb("ﾊﾟ"), Gb("パ")},
      {Gb("ﾊﾞ"), Gb("バ")},
      {Gb("ｱﾞ"), Gb("ア゛")},               // no voiced form
      {Gb("ｶﾟ"), Gb("カ゜")},               // no semi-voiced form
      {Gb("ｶ") + "a" + Gb("ﾞ"), Gb("カa゛")},  // only right after the kana
      {Gb("｣ﾞ"), Gb("」゛")},               // only after a kana row
      {Gb("･｡ｰ"), "\x81\x39\xA7\x39" + Gb("。ー")},
      {Gb("ぁﾞ"), Gb("ぁ゛")},             // a trail outside the kana table
      {"\x84\x31\x95\x30", "\x84\x31\x95\x30"},  // just below the range
      {"a" + Gb("中"), "a" + Gb("中")},
      {"a\x81\x30\x81", "a"},                // an incomplete character at the end
      {"a\x81\x30", "a"},
      {"a\x81", "a"},
      {"a\xFE", "a"},
      {"a\x81\x30" "b", "a\x81" "0b"},
  };
  for (const auto& r : rows) {
    char out[32];
    EXPECT_EQ(ul_gb_jm_bj2qj(r.in.c_str(), out, sizeof(out)), static_cast<int>(r.out.size())) << r.in;
    EXPECT_EQ(std::string(out), r.out) << r.in;
  }
  char out[4];
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_gb_jm_bj2qj("abcd", out, 4), -1);
  EXPECT_EQ(ul_gb_jm_bj2qj("abc", out, 4), 3);
  EXPECT_TRUE(Has(err.Stop(), "ul_gb_jm_bj2qj parameter error!"));
}

}  // namespace
