// The query-language feature set: letter tables, number and UTF-8 helpers,
// the four files of a language, release.
#include "ul_langfeature.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <unistd.h>

#include <string>

#include "query_feature_data.h"
#include "support/support.h"

namespace {

using querytest::Get;
using querytest::LangFiles;
using querytest::SharedSet;

TEST(LangFeature, LetterTablesAndActiveLanguages) {
  const int active[] = {0, 1, 2, 3, 6, 7, 8, 10, 13, 34, 42, 48};
  int n = 0;
  for (int lang = 0; lang < LANG_FEATURE_NUM; ++lang) n += ul_ccode_lang_active(lang);
  EXPECT_EQ(n, 12);
  for (int lang : active) EXPECT_TRUE(ul_ccode_lang_active(lang)) << lang;
  EXPECT_FALSE(ul_ccode_lang_active(-1));
  EXPECT_FALSE(ul_ccode_lang_active(85));
  LANGFEATURESET* fs = SharedSet();
  ASSERT_NE(fs, nullptr);
  FeatureSet t;
  ASSERT_EQ(t.create(100), 0);
  struct Letters {
    int lang;
    size_t count;
    const char* member;
    const char* stranger;
  } sets[] = {{EN, 52, "Z", "\xC3\xA9"},        {THAI, 87, "\xE0\xB8\x81", "\xE0\xB8\xBB"},
              {VN, 186, "\xE1\xBB\xB4", "\xC3\xBF"}, {ARABIC, 54, "\xD9\xA9", "\xD9\x80"},
              {FRCH, 80, "\xC5\xB8", "\xC3\xB1"}};
  for (const Letters& l : sets) {
    t.clear();
    ASSERT_TRUE(fs->loadlangutf8(l.lang, &t)) << l.lang;
    EXPECT_EQ(t.size(), l.count) << l.lang;
    EXPECT_EQ(Get(&t, l.member), 1) << l.lang;
    EXPECT_EQ(Get(&t, l.stranger), 12345) << l.lang;
    EXPECT_FALSE(fs->loadlangutf8(l.lang, &t)) << "a repeated letter fails";
  }
  EXPECT_FALSE(fs->loadlangutf8(-1, &t));
  EXPECT_FALSE(fs->loadlangutf8(EN, nullptr));
}

TEST(LangFeature, NumbersAndBytes) {
  LANGFEATURESET fs;
  struct Case {
    const char* text;
    double value;
  } cases[] = {{"+2.50", 2.5}, {"-1.5 x", -1.5}, {"1e5", 1}, {"-.25", -0.25}, {"007", 7}, {"x", 0}};
  for (const Case& c : cases) {
    double v = 99;
    EXPECT_TRUE(fs.char2double(c.text, &v)) << c.text;
    EXPECT_DOUBLE_EQ(v, c.value) << c.text;
  }
  double v = 99;
  EXPECT_FALSE(fs.char2double("", &v));
  EXPECT_EQ(v, 0);
  std::string long_number = "1." + std::string(97, '0') + "9";  // the 9 is byte 100
  EXPECT_TRUE(fs.char2double(long_number.c_str(), &v));
  EXPECT_EQ(v, 1);

  unsigned char out[4] = {9, 9, 9, 9};
  EXPECT_EQ(uint2hexstr(0, out), 1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 9);
  EXPECT_EQ(fs.uint2hexstr(0xE0B881, out), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "\xE0\xB8\x81");
  EXPECT_EQ(uint2hexstr(0x01000000, out), 4);
  EXPECT_EQ(uint2hexstr(1, nullptr), -1);

  struct Utf8 {
    const char* bytes;
    int len;
  } utf8[] = {{"\x01", 1},         {"\x7F", 1},          {"\xC2\x80", 2},         {"\xC1\xBF", -1},
              {"\xDF\xC0", -1},    {"\xE0\xA0\x80", 3},  {"\xE0\x9F\x80", -1},    {"\xEF\xBF\xBF", 3},
              {"\xE4\xB8", -1},    {"\xF0\x90\x80\x80", 4}, {"\xF0\x8F\x80\x80", -1}, {"\xF5\x80\x80\x80", 4},
              {"\xF8\x88\x80\x80\x80", 5}, {"\xF8\x87\x80\x80\x80", -1}, {"\xFB\xBF\xBF\xBF\xBF", 5},
              {"\xFC\x80\x80\x80\x80\x80", -1}, {"", -1}};
  for (const Utf8& u : utf8) {
    EXPECT_EQ(ul_ccode_isutf8(reinterpret_cast<unsigned char*>(const_cast<char*>(u.bytes)), false), u.len)
        << testing::PrintToString(std::string(u.bytes));
  }
  unsigned char bom[] = "\xEF\xBB\xBFx", nobom[] = "\xEF\xBB";
  EXPECT_EQ(fs.isutf8(bom, true), 0);
  EXPECT_EQ(fs.isutf8(nobom, true), -1);
  EXPECT_EQ(ul_ccode_isutf8(nullptr, false), -1);
}

TEST(LangFeature, NgramFiles) {
  LANGFEATURESET* fs = SharedSet();
  ASSERT_NE(fs, nullptr);
  LangFiles f;
  f.uni = "a\t-1 0\nb\t-2\n";                          // a TAB and one number: skipped
  f.big = "a b\t-1.5 -0.3\n<sp> a\t-2.5 0\n"           // "<sp>" is a blank
          "a \xC3\xA9\t-1 0\n"                          // é: not an English letter
          "a b\t-9 -9\n"                                // repeated: first values stay
          "a\xFF\t-1 0\n"                               // no character
          "ab\t-1 0\n"                                  // a token of two characters
          "a b -1 0\n";                                 // no TAB
  f.tri = "<s> a b\t-1500 -0.0\n" + std::string(120, 'x') + "\n" + "x y z\t-1 0\n";
  ASSERT_TRUE(querytest::Reload(LANGTYPE_ENGLISH, f));
  EXPECT_EQ(Get(fs->m_LangUnigram[EN], "a"), -230);
  EXPECT_EQ(fs->m_LangUnigram[EN]->size(), 1u);
  EXPECT_EQ(Get(fs->m_LangBigram[EN], "ab"), -345);
  EXPECT_EQ(Get(fs->m_LangBigBack[EN], "ab"), -69);
  EXPECT_EQ(Get(fs->m_LangBigram[EN], " a"), -575);
  EXPECT_EQ(fs->m_LangBigram[EN]->size(), 2u);
  EXPECT_EQ(Get(fs->m_LangTrigram[EN], "<s>ab"), INT_MIN) << "a value beyond int is clamped";
  EXPECT_EQ(Get(fs->m_LangTriBack[EN], "<s>ab"), 0);
  EXPECT_EQ(Get(fs->m_LangTrigram[EN], "xyz"), -230);

  // French is not filtered: é is kept.
  LangFiles fr;
  fr.tri = "a \xC3\xA9 b\t-1 0\n\xF0\x9F\x98\x80 a b\t-1 0\n";
  ASSERT_TRUE(querytest::Reload(LANGTYPE_FRENCH, fr));
  EXPECT_EQ(Get(fs->m_LangTrigram[FRCH], "a\xC3\xA9" "b"), -230);
  EXPECT_EQ(Get(fs->m_LangTrigram[FRCH], "\xF0\x9F\x98\x80" "ab"), -230) << "a four-byte token is no <sp>";
  EXPECT_EQ(fs->m_LangCharUtf8[FRCH]->size(), 0u);
}

TEST(LangFeature, WordFiles) {
  LANGFEATURESET* fs = SharedSet();
  ASSERT_NE(fs, nullptr);
  LangFiles f;
  f.words = "The 3\n\xC3\x89T\xC3\x89 1\nthe\t\t 2\nnosep\nblank \n of 2x\n";
  ASSERT_TRUE(querytest::Reload(LANGTYPE_ENGLISH, f));
  FeatureSet* w = fs->m_LangComWords[EN];
  // sum 3 + 1 + 2 + 0 (" of" has an empty word and is skipped) = 6
  EXPECT_EQ(Get(w, "the"), 83333333);  // 50000000 + 33333333
  EXPECT_EQ(Get(w, "\xC3\x89t\xC3\x89"), 16666666);
  EXPECT_EQ(w->size(), 2u);
  f.words = "a 0\nb 0\n";
  testsupport::CaptureFd err(2);
  EXPECT_FALSE(querytest::Reload(LANGTYPE_ENGLISH, f));
  EXPECT_NE(err.Stop().find("sum of all words's freqs is 0.000000"), std::string::npos);
}

TEST(LangFeature, LoadFailuresAndRelease) {
  querytest::FeatureDir dir;
  LangFiles f;
  std::string prefix = dir.Write("english", f);
  LANGFEATURESET* fs = SharedSet();
  ASSERT_NE(fs, nullptr);
  ASSERT_EQ(unlink((prefix + "english_hd_big").c_str()), 0);
  testsupport::CaptureFd err(2);
  EXPECT_FALSE(fs->loadlangfeature(prefix.c_str(), LANGTYPE_ENGLISH));
  EXPECT_FALSE(fs->loadfeature(prefix.c_str()));
  EXPECT_FALSE(fs->loadfeature(nullptr));
  EXPECT_FALSE(fs->loadlangfeature(prefix.c_str(), LANGTYPE_KOREAN));
  const std::string long_prefix(1100, 'd');
  EXPECT_FALSE(fs->loadlangfeature(long_prefix.c_str(), LANGTYPE_ENGLISH));
  const std::string log = err.Stop();
  for (const char* m : {"open ", "load lang character bigram false", "load feature of english fail",
                        "invalid param in loadfeature(const char* path)", "load lang word false"}) {
    EXPECT_NE(log.find(m), std::string::npos) << m;
  }
  // Release is safe on a set that never got its tables, and twice.
  LANGFEATURESET empty;
  EXPECT_FALSE(empty.destroy_feature());
  EXPECT_TRUE(empty.delete_feature());
  LANGFEATURESET partial;
  partial.m_LangUnigram = new FeatureSet*[LANG_FEATURE_NUM]();
  EXPECT_FALSE(partial.destroy_feature());
  EXPECT_TRUE(partial.delete_feature());
  EXPECT_EQ(partial.m_LangUnigram, nullptr);
}

}  // namespace
