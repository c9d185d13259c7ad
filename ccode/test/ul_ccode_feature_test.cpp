#include "ul_ccode_feature.h"

#include <gtest/gtest.h>
#include <math.h>

#include <string>

#include "ccode_test_data.h"
#include "support/support.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_info.h"
#include "ul_ccode_load.h"

namespace {

const char kThaiUtf8[] = "\xE0\xB8\xAA\xE0\xB8\xA7\xE0\xB8\xB1\xE0\xB8\xAA\xE0\xB8\x94\xE0\xB8\xB5";
const char kThai874[] = "\xCA\xC7\xD1\xCA\xB4\xD5";

// The library's data with hand-written word models.
class Models : public ::testing::Environment {
 public:
  void SetUp() override {
    const std::string models[15] = {
        "the\t-1.0\nhello\t-2.0\nworld\t-2.6\n",  // English
        "bonjour\t-3.0\nle\t-1.2\n",              // French
        "ciao\t-2.0\n",
        "hola\t-2.0\nola\t-2.5\ndos\t-2.0\n",     // Spanish
        "und\t-1.0\n",
        "bir\t-1.0\n",
        "een\t-1.0\n",
        "the\t-5.0\n",                            // Vietnamese: an English word too
        "zzarabic\t-1.0\n",
        "og\t-1.0\n",
        "ja\t-1.0\nog\t-1.0\n",                  // Finnish: a Danish word too
        "ola\t-2.4\ndos\t-3.0\nobrigado\t-2.0\n",  // Portuguese
        std::string(kThaiUtf8) + "\t-2.0\n",     // Thai
        "dan\t-1.0\n",
        "yang\t-1.0\n",
    };
    for (int i = 0; i < 15; ++i) data_.Write("unigram/" + std::to_string(i) + ".unigram", models[i]);
    ASSERT_EQ(ul_ccode_load(data_.path(), 0), 0);
    ASSERT_EQ(ul_ccode_conv_open(), 0);
  }
  void TearDown() override {
    ul_ccode_conv_close();
    ul_ccode_del();
  }

 private:
  ccodetest::DataCopy data_;
};
const auto* const kModels = ::testing::AddGlobalTestEnvironment(new Models);

_ccode_info_t* Features(const std::string& page, const char* url = "http://www.site.test/") {
  _ccode_info_t* info = get_ccode_info();
  ccode_info_clean(info);
  EXPECT_EQ(ccode_info_compute(info, page.c_str(), "u", nullptr, nullptr), 1);
  EXPECT_EQ(ccode_feature_compute(info, page.c_str(), url), 0);
  return info;
}

TEST(CcodeFeature, WordsAndTheirLimits) {
  const struct {
    std::string page;
    int words;
    const char* content;
  } rows[] = {
      {"<p>123 456</p>", 0, ""},
      {"<p>hi there <script>var x", 2, "hi there "},  // an open element ends the walk
      {"foonbspbar ", 2, "foo bar "},
      {"AT&amp;T", 1, "t "},                            // an entity drops the word before it
      {"caf&#xE9; x", 2, "caf\xC3\xA9 x "},            // a reference joins it as UTF-8
      {"a&#0;b", 1, "b "},                              // code point 0 is no reference
      {"&abcdefghi;x", 1, "x "},                        // ';' at most 10 bytes on
      {"&abcdefghij;x", 2, "abcdefghij x "}, {"<STYLE>p{}</style>x<option>y</OPTION>z", 2, "x z "},
      {std::string(510, 'a'), 1, nullptr},
      {std::string(511, 'a'), 170, nullptr},            // dropped; counted as 170
      {std::string(600, 'a'), 171, nullptr},            // the bytes after it start a new word
      {std::string(509, 'a') + "&#xE9;", 170, nullptr},  // the reference does not fit
  };
  const std::string a(510, 'a'), b(510, 'b');
  // The content extract holds 1,023 bytes: a blank that just fits, then a
  // blank and a word cut at the limit.
  const struct {
    std::string page, content;
  } extracts[] = {
      {a + " " + b.substr(1) + " c d", a + " " + b.substr(1) + " c "},
      {a + " " + b + " c d", a + " " + b + " c"},
      {a + " " + b + " cd", a + " " + b + " c"},
  };
  for (const auto& e : extracts) {
    EXPECT_EQ(Features(e.page)->str_content, e.content) << e.page.size();
  }
  for (const auto& r : rows) {
    _ccode_info_t* info = Features(r.page);
    EXPECT_EQ(info->word_num, r.words) << r.page.substr(0, 40);
    if (r.content != nullptr) {
      EXPECT_STREQ(info->str_content, r.content) << r.page;
    }
  }
  EXPECT_EQ(Features("<p>123 456</p>")->guess_lang, -1);
}

TEST(CcodeFeature, IllegalBytesPerCharset) {
  _ccode_info_t* info = Features("caf\xE9 x\x81y");
  EXPECT_EQ(info->charlen, 7);
  const int expect[12] = {2, 1, 1, 1, 1, 1, 1, 0, 1, 0, 1, 1};
  for (int k = 0; k < 12; ++k) EXPECT_EQ(info->single_illegal[k], expect[k]) << k;
  const struct {
    int row, byte, illegal;
  } edges[] = {{0, 0x7F, 0}, {0, 0x80, 1}, {4, 0xC0, 1}, {4, 0xC1, 0}, {6, 0xA0, 1}, {6, 0xA1, 0},
               {7, 0x97, 0}, {7, 0x98, 1}, {9, 0x98, 1}, {10, 0x1F, 1}, {10, 0x20, 0}, {11, 0xFC, 1}, {11, 0xFD, 0}};
  for (const auto& e : edges) EXPECT_EQ(illegal[e.row][e.byte], e.illegal) << e.row << " " << e.byte;
}

TEST(CcodeFeature, TitleAndLanguages) {
  _ccode_info_t* info = Features("<title>bonjour</title><body>le le</body>", "http://www.site.fr/");
  EXPECT_TRUE(info->title_flag[1]);
  EXPECT_EQ(info->title_lang, 10);
  EXPECT_STREQ(info->url_suffix, "fr");
  EXPECT_EQ(info->word_num, 3);
  EXPECT_EQ(info->guess_lang, 1);  // a slot
  EXPECT_EQ(info->max_lang, 10);   // a language
  EXPECT_EQ(info->word_unique[1], 3);
  // A title tag after the title is an ordinary tag.
  info = Features("<title>bonjour</title> le <title>hello</title>");
  EXPECT_FALSE(info->title_flag[0]);
  // English: unique when 100 v >= -249; Vietnamese loses 1.0 on an English word.
  info = Features("hello world the");
  EXPECT_EQ(info->word_unique[0], 2);
  EXPECT_EQ(info->word_common[7], 1);
  EXPECT_NEAR(info->word_freq[7], (-5.0 - 1.0 - 8.5 * 2) / 4 + 1.5 * log10(0.5), 1e-9);
  // Thai in the title, in UTF-8 and in Windows-874.
  info = Features(std::string("<title>") + kThaiUtf8 + " " + kThai874 + "</title>");
  EXPECT_EQ(info->thai_title_num, 6);
  EXPECT_EQ(info->w874_num, 1);
  EXPECT_EQ(info->title_lang, 6);
  // Portuguese title, Spanish body: Spanish.
  std::string spanish = "<title>ola</title>";
  for (int i = 0; i < 10; ++i) spanish += " hola";
  info = Features(spanish);
  EXPECT_EQ(info->word_unique[3], 10);
  EXPECT_EQ(info->title_lang, 42);
  // Spanish title, Portuguese body, at both limits of the second rule: the
  // title scores 1.0 apart and three Portuguese words for one Spanish.
  info = Features("<title>dos</title> obrigado obrigado obrigado hola");
  EXPECT_EQ(info->title_lang, 34);
  // Equal scores: the first slot (Danish before Finnish).
  info = Features("og og");
  EXPECT_EQ(info->guess_lang, 9);
  EXPECT_EQ(info->max_lang, 21);
  // Only a non-ASCII title word marks the title.
  EXPECT_FALSE(Features("<title>hello</title> caf\xC3\xA9")->title_multiflag);
  EXPECT_TRUE(Features("<title>caf\xC3\xA9</title>")->title_multiflag);
}

TEST(CcodeFeature, TagFilter) {
  const struct {
    const char* text;
    bool title_flag;
    int result;
    int moved;
  } rows[] = {
      {"a", false, 0, 0},           {"5", false, 1, 1},          {"nbsp;", false, 1, 4},
      {"<SCRIPT>x</script>y", false, 1, 18}, {"<script>x", false, -1, 0}, {"<title>", false, 2, 7},
      {"<title>", true, 1, 7},      {"</TITLE>", false, 3, 8},   {"<Title>", false, 1, 7},
      {"<b", false, -1, 0},         {"\xE9", false, 0, 0},
  };
  for (const auto& r : rows) {
    const char* p = r.text;
    EXPECT_EQ(html_tag_filter(p, r.title_flag), r.result) << r.text;
    EXPECT_EQ(p - r.text, r.moved) << r.text;
  }
}

TEST(CcodeFeature, UrlSuffix) {
  _ccode_info_t info;
  const struct {
    const char* url;
    const char* suffix;
  } rows[] = {
      {"http://www.site.th/x", "th"}, {"http://www.site.fr", ""}, {"https://x.com/", ""},
      {"http://a.b", ""},             {"http://a.bc/", "bc"},     {"http://nodot/x", ""},
  };
  for (const auto& r : rows) {
    double prob[15] = {};
    ccode_info_clean(&info);
    EXPECT_EQ(get_url_suffix(&info, r.url, prob), 0);
    EXPECT_STREQ(info.url_suffix, r.suffix) << r.url;
    EXPECT_EQ(prob[12], std::string(r.suffix) == "th" ? 0.4 : 0.0) << r.url;
  }
  const std::string long_url = "http://x." + std::string(70, 'q') + "/";
  EXPECT_EQ(get_url_suffix(&info, long_url.c_str(), nullptr), 0);
  EXPECT_EQ(std::string(info.url_suffix), std::string(63, 'q'));
  testsupport::CaptureFd err(2);
  EXPECT_EQ(get_url_suffix(&info, nullptr, nullptr), -1);
  EXPECT_EQ(ccode_feature_compute(nullptr, "p", "u"), -1);
  EXPECT_EQ(ccode_feature_compute(&info, "hello", nullptr), 0);  // a NULL url only loses the suffix
  const std::string log = err.Stop();
  EXPECT_NE(log.find("invalid parameter in function 'get_url_suffix'."), std::string::npos);
  EXPECT_NE(log.find("invalid parameter in function 'ccode_feature_compute'."), std::string::npos);
}

}  // namespace
