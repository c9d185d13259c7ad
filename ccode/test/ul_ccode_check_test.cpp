// The older text code checks on a fixture data directory: the library's
// data with small bigram and character sets whose every entry is known.
#include "ul_ccode_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ccode_test_data.h"
#include "ul_ccode_load.h"
#include "ul_charset_freq.h"

namespace {

using ccodetest::Big5;
using ccodetest::Gbk;
using ccodetest::Repeat;

const std::string kSentence = "我们今天去北京大学看看老朋友";  // 14 characters
// The first GB2312 ranks with leads C7 and above, which BIG5 gives no rank.
std::string Ranked(int from, int n) {
  std::string out;
  for (int i = 0, found = 0; found < from + n; ++i) {
    const unsigned c = kCharsetFreqGb[i];
    if ((c >> 8) < 0xC7) continue;
    if (found++ >= from) out += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
  }
  return out;
}
std::string Symbols(int n) { return Repeat("\xA1\xA2\xA1\xA3", n / 2) + (n % 2 ? "\xA1\xA2" : ""); }
// Eleven pairs of GBK-only characters that no list ranks.
const std::string kRare = "\x81\x40\x81\x41\x81\x42\x81\x43\x81\x44\x81\x45\x81\x46\x81\x48\x81\x49\x81\x4A\x81\x4C";

// bigram.dic: the adjacent pairs of the sentence, the first two ranked
// characters and the first two rare ones; gbkwords.txt: the sentence's
// characters; bigram_krjp.dic: one pair of symbols.
class Fixture : public ::testing::Environment {
 public:
  void SetUp() override {
    const std::string s = Gbk(kSentence);
    std::string bigrams, words;
    for (size_t i = 0; i + 4 <= s.size(); i += 2) bigrams += s.substr(i, 4) + "\n";
    for (size_t i = 0; i < s.size(); i += 2) words += s.substr(i, 2) + "\n";
    bigrams += Ranked(0, 2) + "\n" + kRare.substr(0, 4) + "\n";
    data_.Write("bigram.dic", bigrams);
    data_.Write("gbkwords.txt", words);
    data_.Write("bigram_krjp.dic", "\xA1\xA4\xA1\xA5\n");
    ASSERT_EQ(ul_ccode_load(data_.path(), 0), 0);
  }
  void TearDown() override { ul_ccode_del(); }

 private:
  ccodetest::DataCopy data_;
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new Fixture);

struct Case {
  const char* what;
  std::string text;
  int result, rule;
};

TEST(OlderChecks, EveryRuleInOrder) {
  const std::string ascii3000(3000, 'a'), hit5 = Ranked(0, 5), nohit5 = Ranked(1, 1) + Ranked(0, 1) + Ranked(2, 3);
  const std::string close = hit5 + Symbols(60);  // both scores near the symbols' 200: a small confidence
  const Case cases[] = {
      {"empty", "", -1, 1},
      {"front-page file", "vti_encoding:SR|utf8-nl\n" + Gbk(kSentence), -1, 2},
      {"Korean charset before any statistics", "<meta charset=euc-kr>" + Gbk(kSentence), -1, 3},
      {"Japanese charset", "<meta content=\"text/html; charset=shift_jis\">", -1, 3},
      {"no pairs", "hello", 0, 4},
      {"GBK bigrams", Gbk(kSentence), 1, 5},
      {"BIG5 bigrams", Big5("我們今天去北京大學看看老朋友"), 2, 5},
      {"UTF-8", kSentence, 3, 6},
      {"UTF-8 mark with few hanzi", "\xEF\xBB" "a\xBF\xA1", -1, 7},
      {"no bigram", ascii3000 + nohit5 + Symbols(5), -1, 8},
      {"few BIG5 bigrams", Big5("北京天地人山水火木金土日月星雲風雨春夏秋冬東西南中上下左右前後大小多少高長方圓紅黃白黑"), -1, 9},
      {"mostly ASCII", ascii3000 + hit5 + Symbols(5), 0, 10},
      {"mostly ASCII, longer", std::string(5500, 'a') + hit5 + Symbols(6), 0, 20},
      {"declared UTF-8, mostly ASCII", "<meta charset=utf-8>" + std::string(6000, 'a') + hit5 + Symbols(15), 3, 21},
      {"guess with many hanzi", hit5 + Symbols(5), 1, 12},
      {"guess", hit5 + Symbols(8), 1, 15},
      {"undecided, few bigrams", Ranked(0, 12) + Symbols(100), -1, 17},
      {"GB", close, 1, 18},
      {"BIG5", Big5("北京天地人") + Symbols(60), 2, 19},
      {"Korean-Japanese bigrams", close + Repeat("\xA1\xA4\xA1\xA5", 2), -1, 14},
      {"declared unknown charset", "<meta charset=windows-1252>" + close, -1, 13},
      {"declared ISO", "<meta charset=iso-8859-1>" + close, 0, 13},
      {"declared BIG5", "<meta charset=big5>" + close, 2, 13},
      {"charset letter 14 after the key's end", "charset=1234567890123gb>" + close, 1, 13},
      {"charset letter 15 after it: none", "charset=12345678901234gb>" + close, 1, 18},
      {"declared ISO, no guess", "<meta charset=iso-8859-1>" + kRare + std::string(5000, 'a'), 0, 22},
      {"no guess", kRare + std::string(5000, 'a'), -1, 11},
  };
  for (const Case& c : cases) {
    int rule = 0;
    EXPECT_EQ(ul_ccode_check_notetype(const_cast<char*>(c.text.c_str()), &rule), c.result) << c.what;
    EXPECT_EQ(rule, c.rule) << c.what;
    EXPECT_EQ(ul_ccode_check(const_cast<char*>(c.text.c_str())), c.result) << c.what;
  }
  EXPECT_EQ(ul_ccode_check_notetype(nullptr, nullptr), -1);
}

// A side whose GBI grid is missing counts no bigram: the text is judged by
// the other side alone, and with both missing by neither.
TEST(OlderChecks, MissingGrids) {
  const std::string gb = Gbk(kSentence), big5 = Big5("我們今天去北京大學看看老朋友");
  unsigned char* const saved[2] = {gbk_gbi_map, big5_gbi_map};
  const struct {
    const char* what;
    bool gbk_grid, big5_grid;
    const std::string& text;
    int result, rule;
  } cases[] = {
      {"GBK text without the BIG5 grid", true, false, gb, 1, 5},
      {"BIG5 text without the GBK grid", false, true, big5, 2, 5},
      {"GBK text without its grid", false, true, gb, -1, 8},
      {"GBK text without either grid", false, false, gb, -1, 8},
  };
  for (const auto& c : cases) {
    gbk_gbi_map = c.gbk_grid ? saved[0] : nullptr;
    big5_gbi_map = c.big5_grid ? saved[1] : nullptr;
    int rule = 0;
    const int result = ul_ccode_check_notetype(const_cast<char*>(c.text.c_str()), &rule);
    gbk_gbi_map = saved[0];
    big5_gbi_map = saved[1];
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(rule, c.rule) << c.what;
  }
}

TEST(OlderChecks, RealText) {
  const std::string pad(40, 'x'), wo = Gbk("我"), men = Gbk("们");
  EXPECT_EQ(ul_ccode_check_realtext(""), 0);
  EXPECT_EQ(ul_ccode_check_realtext(nullptr), 0);
  EXPECT_EQ(ul_ccode_check_realtext((pad + wo).c_str()), 0);                 // 40 / 45 single
  EXPECT_EQ(ul_ccode_check_realtext((pad + wo + men).c_str()), 1);           // two common characters in a row
  EXPECT_EQ(ul_ccode_check_realtext((wo + " " + men + pad).c_str()), 0);     // a blank between them
  EXPECT_EQ(ul_ccode_check_realtext((std::string(8, 'x') + wo + men).c_str()), 1);  // 8 / 18 single
}

TEST(OlderChecks, ContentByOldCodeType) {
  const std::string chinese = Repeat(Gbk(kSentence), 8), english = Repeat("hello world ", 40);
  const std::string few = Repeat("1", 100) + "\xA3\xAC\xA3\xAC";         // digits and two other pairs
  const std::string mixed = Gbk("我们今天去北京大学看") + std::string(100, 'x');  // G 11, A 100
  const std::string some = Repeat(Gbk("我们今天去"), 4) + std::string(300, 'x');  // G 21, A 300
  const struct {
    const char* what;
    const char* title;
    std::string content;
    const char* url;
    int old_codetype, result, rule;
  } cases[] = {
      {"no url", "t", chinese, nullptr, 1, -1, 101},
      {"little content", "t", Gbk("我们") + "abc", "http://a.com/", 1, 1, 102},
      {"no content", "t", "", "http://a.com/", 3, 3, 102},
      {"unknown: ASCII", "Title", english, "http://a.com/", -1, 0, 106},
      {"unknown: GB", "t", chinese, "http://a.com/", -1, 1, 109},
      {"unknown: 99 GB hanzi are too few", "t", Repeat(Gbk(kSentence), 7), "http://a.com/", -1, -1, 107},
      {"unknown: 100 are enough", "t", Repeat(Gbk(kSentence), 7) + Gbk("我"), "http://a.com/", -1, 1, 109},
      {"unknown: a Japanese host", "t", chinese, "http://a.jp/", -1, -1, 107},
      {"English said Chinese", "t", chinese, "http://a.com/", 0, 1, 103},
      {"English stays", "t", english, "http://a.com/", 0, 0, 107},
      {"GB said English", "t", english, "http://a.com/", 1, 0, 104},
      {"BIG5 stays", "t", chinese, "http://a.com/", 2, 2, 107},
      {"UTF-8 said English", "t", english, "http://a.com/", 3, 0, 108},
      {"UTF-8 stays Chinese", "t", chinese, "http://a.com/", 3, 3, 107},
      {"UTF-8 refused", "t", few, "http://a.com/", 3, -1, 105},
      {"UTF-8 kept by its hanzi", "", mixed, "http://a.de/", 3, 3, 107},
      {"UTF-8 kept with one other pair", "", mixed + "\xA1\xA2", "http://a.de/", 3, 3, 107},
      {"UTF-8 refused for its ASCII", "", mixed + std::string(100, 'x'), "http://a.de/", 3, -1, 105},
      {"other code types unchanged", "t", chinese, "http://a.com/", 5, 5, 107},
      {"a Chinese domain", "", some, "http://www.example.cn:8080/x", 0, 1, 103},
      {"a dotted address is one too", "", some, "http://10.1.2.3/", 0, 1, 103},
      {"not a Chinese domain", "", some, "http://example.de/", 0, 0, 107},
      {"the blog host", "", some, "http://me.blog.sina.com.cn/", 0, 0, 107},
  };
  for (const auto& c : cases) {
    int rule = 0;
    EXPECT_EQ(ul_ccode_check_content_notetype(c.title, c.content.c_str(), c.url, c.old_codetype, &rule), c.result)
        << c.what;
    EXPECT_EQ(rule, c.rule) << c.what;
    EXPECT_EQ(ul_ccode_check_content(c.title, c.content.c_str(), c.url, c.old_codetype), c.result) << c.what;
  }
}

TEST(OlderChecks, GbMessy) {
  const std::string gb = Gbk(kSentence);
  EXPECT_DOUBLE_EQ(ul_ccode_gb_messy(const_cast<char*>("\x80"), 1), 0.15);
  EXPECT_DOUBLE_EQ(ul_ccode_gb_messy(nullptr, 5), -1.0);
  EXPECT_DOUBLE_EQ(ul_ccode_gb_messy(const_cast<char*>("a"), 0), -1.0);
  EXPECT_DOUBLE_EQ(ul_ccode_gb_messy(const_cast<char*>(""), 1), 0.0);
  EXPECT_DOUBLE_EQ(ul_ccode_gb_messy(const_cast<char*>("?????"), 5), 0.25);  // scaled by 0.05 x 5
  EXPECT_DOUBLE_EQ(ul_ccode_gb_messy(const_cast<char*>("??????"), 6), 1.0);
  EXPECT_DOUBLE_EQ(ul_ccode_gb_messy(const_cast<char*>("?? ,"), 4), 0.1);  // blanks and commas are not counted
  // 14 known characters, 13 bigrams.
  EXPECT_NEAR(ul_ccode_gb_messy(const_cast<char*>(gb.c_str()), static_cast<int>(gb.size())), (-1.4 - 13) / 14, 1e-9);
  // Unknown characters, a symbol row not counted, one of A3..A8 counted, a four-byte code known.
  const std::string other = Gbk("丁丂") + "\xA1\xA2\xA3\xA1\x81\x30\x81\x30";
  EXPECT_NEAR(ul_ccode_gb_messy(const_cast<char*>(other.c_str()), static_cast<int>(other.size())),
              (4 - 0.1) / 4 * 0.2, 1e-9);
}

TEST(OlderChecks, Helpers) {
  char out[8];
  EXPECT_EQ(gbk2gbi("ab\xB0\xA1", out, 5), 4);
  EXPECT_EQ(gbk2gbi("ab\xB0\xA1", out, 4), 2);  // the pair does not fit
  EXPECT_STREQ(out, "ab");
  EXPECT_EQ(gbk2gbi("", out, 8), -1);
  // A pair whose cell is empty is copied, not written as two NULs.
  unsigned char* cell = gbk_gbi_map + 2 * ((0xB0 - 0x81) * 191 + (0xA1 - 0x40));
  const unsigned char saved[2] = {cell[0], cell[1]};
  cell[0] = cell[1] = 0;
  EXPECT_EQ(gbk2gbi("\xB0\xA1" "c", out, 8), 3);
  EXPECT_STREQ(out, "\xB0\xA1" "c");
  cell[0] = saved[0];
  cell[1] = saved[1];
  EXPECT_EQ(is_english_url(nullptr), 1);
  EXPECT_EQ(is_english_url("http://a/\xB0\xA1\xB0?\xB0\xA1\xB0\xA1"), 1);
  EXPECT_EQ(is_english_url("http://a/\xB0\xA1\xB0\xA1"), 0);
  int ascii = -1, pairs = -1;
  get_str_info("ab\xB0\xA1\xB0", &ascii, &pairs);
  EXPECT_EQ(ascii, 2);
  EXPECT_EQ(pairs, 1);
  EXPECT_EQ(is_ascii_title(""), 0);
  EXPECT_EQ(is_ascii_title("abcd"), 1);
  EXPECT_EQ(is_ascii_title("abcd\xB0\xA1"), 0);   // 4 is not fewer than 4
  EXPECT_EQ(is_ascii_title("abcde\xB0\xA1"), 1);
}

}  // namespace
