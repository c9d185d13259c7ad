// The byte tables of single-byte code-page readings give the text the two
// conversions give (code page to GB18030, GB18030 to UTF-8), and drop a
// reading exactly when they would; a text with a combining accent is left
// to the conversions.
#include "ul_query_page_reading.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ul_ccode_conv.h"
#include "ul_ccode_iconv.h"
#include "ul_ccode_load.h"
#include "ul_ccode_type.h"
#include "ul_gb18030.h"

namespace {

class QueryPageReadingTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(ul_ccode_load(ul_ccode_default_path(), 4), 0); }
  static void TearDownTestSuite() { ul_ccode_del(); }
  void SetUp() override { ASSERT_EQ(ul_ccode_conv_open(), 0); }
  void TearDown() override { ul_ccode_conv_close(); }

  // The two conversions: 0 with the text, 1 when one of them left a byte
  // unconverted.
  static int Convert(const std::string& text, int code, std::string* out) {
    const int size = 5 * (static_cast<int>(text.size()) + 1) + 1;
    std::vector<char> gb(static_cast<size_t>(size)), utf8(static_cast<size_t>(size));
    int r = ul_ccode_to_gb18030(text.c_str(), gb.data(), size, code);
    EXPECT_GE(r, 0);
    if (r != 0) return 1;
    r = ul_gb18030_utf8_str(gb.data(), utf8.data(), size - 1);
    EXPECT_GE(r, 0);
    if (r != 0) return 1;
    *out = utf8.data();
    return 0;
  }

  // Whether the table read text (false: it left it to the conversions).
  static bool ExpectSame(const QueryPageReading* page, const std::string& text, int code) {
    std::string want;
    const int want_r = Convert(text, code, &want);
    std::vector<char> got(5 * (text.size() + 1) + 1);
    const int got_r = page->Read(text.c_str(), got.data());
    if (got_r < 0) return false;
    EXPECT_EQ(got_r, want_r) << code << " " << testing::PrintToString(text);
    if (want_r == 0 && got_r == 0) {
      EXPECT_EQ(std::string(got.data()), want) << code << " " << testing::PrintToString(text);
    }
    return true;
  }
};

const int kCovered[] = {CODETYPE_ISO_8859_1, CODETYPE_WIN1256, CODETYPE_ISO_8859_6, CODETYPE_WIN874,
                        CODETYPE_TIS620,     CODETYPE_WIN1258};

// Made once, by whichever thread asks first: eight threads asking at once
// (each with its own converters) get the same tables. (First in this file,
// so that no table exists before.)
TEST_F(QueryPageReadingTest, ThreadsAskingAtOnceShareOneTable) {
  std::vector<std::vector<const QueryPageReading*>> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] {
      if (ul_ccode_conv_open() != 0) return;
      for (int code : kCovered) seen[i].push_back(QueryPageReading::Of(code));
      ul_ccode_conv_close();
    });
  }
  for (std::thread& t : threads) t.join();
  for (const auto& tables : seen) {
    ASSERT_EQ(tables.size(), sizeof(kCovered) / sizeof(kCovered[0]));
    EXPECT_EQ(tables, seen[0]);
    for (const QueryPageReading* t : tables) EXPECT_NE(t, nullptr);
  }
}

TEST_F(QueryPageReadingTest, EveryByteAndPairAndLongerTexts) {
  std::mt19937 rng(27);
  for (int code : kCovered) {
    const QueryPageReading* page = QueryPageReading::Of(code);
    ASSERT_NE(page, nullptr) << code;
    EXPECT_TRUE(QueryPageReading::Covers(code));
    int dropped = 0;
    std::vector<char> accents;  // bytes left to the conversions
    for (int a = 1; a < 256; ++a) {
      if (!ExpectSame(page, std::string(1, static_cast<char>(a)), code)) accents.push_back(static_cast<char>(a));
      std::string ignored;
      dropped += Convert(std::string(1, static_cast<char>(a)), code, &ignored);
      for (int b = 1; b < 256; ++b) ExpectSame(page, {static_cast<char>(a), static_cast<char>(b)}, code);
    }
    // Only WINDOWS-1258 has accents; a text holding one anywhere is left.
    EXPECT_EQ(accents.empty(), code != CODETYPE_WIN1258) << code;
    for (char accent : accents) {
      EXPECT_FALSE(ExpectSame(page, std::string("abc") + accent, code));
      EXPECT_FALSE(ExpectSame(page, accent + std::string("abc"), code));
    }
    // ISO-8859-1 and WINDOWS-1256 read every byte; the others leave some out.
    EXPECT_EQ(dropped == 0, code == CODETYPE_ISO_8859_1 || code == CODETYPE_WIN1256) << code;
    for (int i = 0; i < 2000; ++i) {
      std::string text(1 + rng() % 40, 'a');
      for (char& c : text) {
        do c = static_cast<char>(1 + rng() % 255);
        while (i % 2 == 0 && std::find(accents.begin(), accents.end(), c) != accents.end());
      }
      ExpectSame(page, text, code);
    }
    // Only the last byte without a reading.
    for (int a = 0x80; a < 256; ++a) {
      std::string ignored;
      if (Convert(std::string(1, static_cast<char>(a)), code, &ignored) == 0) continue;
      ExpectSame(page, "abc" + std::string(1, static_cast<char>(a)), code);
      break;
    }
  }
}

// The combining accents run from U+0300 (CC 80) to U+036F (CD AF).
TEST(QueryPageAccent, RangeEnds) {
  struct Row {
    const char* utf8;
    size_t n;
    bool accent;
  } rows[] = {{"\xCB\xBF", 2, false},      {"\xCC\x80", 2, true},  {"\xCC\xBF", 2, true},
              {"\xCD\x80", 2, true},       {"\xCD\xAF", 2, true},  {"\xCD\xB0", 2, false},
              {"\xCC\x80\x80", 3, false}, {"a", 1, false}};
  for (const Row& r : rows) EXPECT_EQ(QueryPageReading::IsAccent(r.utf8, r.n), r.accent) << r.utf8;
}

TEST_F(QueryPageReadingTest, OtherCodeTypesHaveNoTable) {
  // Code pages the detection does not read and the multibyte code types
  // convert as before.
  for (int code : std::vector<int>{CODETYPE_WIN1251, CODETYPE_VISCII, CODETYPE_BIG5, CODETYPE_EUCJP, CODETYPE_SJIS, CODETYPE_UTF8, CODETYPE_GB, -1,
                   CODETYPE_END}) {
    EXPECT_EQ(QueryPageReading::Of(code), nullptr) << code;
    EXPECT_FALSE(QueryPageReading::Covers(code)) << code;
  }
}

}  // namespace
