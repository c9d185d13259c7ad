#include "ul_big5_gbk.h"

#include <gtest/gtest.h>

#include <string>

#include "ccode_test_data.h"
#include "ul_ccode_data.h"
#include "ul_ccode_load.h"
#include "ul_special_word.h"

namespace {

using ccodetest::Big5;
using ccodetest::Gbk;
using ccodetest::Has;

typedef int (*conv_t)(const unsigned char*, unsigned char*, int);

// Runs a converter over text (len 0: the whole text) into a buffer
// pre-filled with 'x'; the result and the buffer up to its NUL (or, without
// one, its first text.size() + 1 bytes).
std::string Conv(conv_t f, const std::string& text, int len = 0, int* result = nullptr) {
  std::string out(text.size() + 2, 'x');
  const int r = f(reinterpret_cast<const unsigned char*>(text.c_str()), reinterpret_cast<unsigned char*>(&out[0]), len);
  if (result != nullptr) *result = r;
  const size_t nul = out.find('\0');
  return out.substr(0, nul == std::string::npos ? text.size() + 1 : nul);
}

// Special words of the tests: 乾 becomes 干 unless it stands in 乾坤 (as
// its first character) or after 隆; in BIG5 text 乾坤 gives 乾 and 乾
// alone 干.
class SpecialWords : public ::testing::Test {
 protected:
  void SetUp() override {
    data_.Write("gbk.special", Gbk("乾 干 乾坤 0 1 隆乾 1 0\r\n\n"));
    data_.Write("big5.special", Big5("乾") + " " + Gbk("干") + " " + Gbk("乾") + " " + Big5("乾坤") + " 0 1\n");
    std::string log;
    ASSERT_EQ(ccodetest::Load(data_.path(), 1, &log), 0) << log;
  }
  void TearDown() override { ul_ccode_del(); }
  ccodetest::DataCopy data_;
};

TEST_F(SpecialWords, ContextKeepsTheCharacterAndOtherwiseReplacesIt) {
  const struct {
    const char* text;
    const char* gbi;
  } rows[] = {
      {"乾坤", "乾坤"},
      {"乾燥", "干燥"},
      {"天乾坤", "天乾坤"},
      {"乾", "干"},      // the window runs past the end
      {"隆乾", "隆乾"},  // context before the character
      {"乾隆", "干隆"},  // ... whose window would start before the text
  };
  for (const auto& r : rows) EXPECT_EQ(Conv(ul_gbk_gbi_str, Gbk(r.text)), Gbk(r.gbi)) << r.text;
  // An explicit length cuts the window: 乾坤 with len 2 has no room for 坤.
  EXPECT_EQ(Conv(ul_gbk_gbi_str, Gbk("乾坤"), 2).substr(0, 2), Gbk("干"));

  EXPECT_EQ(Conv(ul_big5_gbi_str, Big5("乾坤")), Gbk("乾") + Gbk("坤"));
  EXPECT_EQ(Conv(ul_big5_gbi_str, Big5("乾燥")), Gbk("干燥"));
  // The other grids keep the character: only the GBI grids were adjusted.
  EXPECT_EQ(Conv(ul_gbk_big5_str, Gbk("乾燥")), Big5("乾燥"));
  EXPECT_EQ(Conv(ul_big5_gbk_str, Big5("乾")), Gbk("乾"));
}

TEST_F(SpecialWords, LaterLinesAddTheirContextsInFrontAndDamagedLinesFailTheLoad) {
  const struct {
    std::string gbk_special;
    bool loads;
    const char* message;
  } rows[] = {
      {Gbk("乾 干 乾坤 0 1\n乾 乾 乾燥 0 1\n"), true, ""},
      {Gbk("乾 干 乾坤 0\n"), false, "parse gbk.special failed!"},     // a group cut short
      {Gbk("乾 干 乾 0 1\n"), false, "parse gbk.special failed!"},     // context under 4 bytes
      {"ab " + Gbk("干 乾坤 0 1\n"), false, "parse gbk.special failed!"},  // not a GBK character
      {"\x81", false, "parse gbk.special failed!"},                       // one byte
  };
  for (const auto& r : rows) {
    data_.Write("gbk.special", r.gbk_special);
    std::string log;
    EXPECT_EQ(ccodetest::Load(data_.path(), 1, &log), r.loads ? 0 : -1) << r.gbk_special;
    EXPECT_TRUE(Has(log, r.message)) << log;
    EXPECT_EQ(Has(log, "load special word fail."), !r.loads) << log;
  }
  // The first row loaded: the second line replaced word_after (乾 stays) and
  // its context is tried first.
  data_.Write("gbk.special", rows[0].gbk_special);
  std::string log;
  ASSERT_EQ(ccodetest::Load(data_.path(), 1, &log), 0);
  EXPECT_EQ(Conv(ul_gbk_gbi_str, Gbk("乾坤乾")), Gbk("乾坤乾"));
  const _special_word_t& slot = g_gbk_hash_table[(0xC7 - 0x81) * 191 + (0xAC - 0x40)];
  ASSERT_NE(slot.context_list, nullptr);
  EXPECT_STREQ(slot.context_list->context, Gbk("乾燥").c_str());

  // A line holds at most 1,022 bytes: exactly that many parse as one line,
  // one more leaves a byte that is a line of its own (and no character).
  std::string line = Gbk("乾 干");
  while (line.size() < 1000) line += " " + Gbk("乾坤") + " 0 1";
  line += " " + Gbk("乾坤") + std::string(1022 - line.size() - 9, 'x') + " 0 1";
  ASSERT_EQ(line.size(), 1022u);
  data_.Write("gbk.special", line + "\n");
  EXPECT_EQ(ccodetest::Load(data_.path(), 1, &log), 0) << log;
  data_.Write("gbk.special", line + "1\n");
  EXPECT_EQ(ccodetest::Load(data_.path(), 1, &log), -1);

  // Both files must open.
  for (const char* name : {"/code/big5.special", "/code/gbk.special"}) {
    std::remove((std::string(data_.path()) + name).c_str());
    EXPECT_EQ(ccodetest::Load(data_.path(), 1, &log), -1);
    EXPECT_TRUE(Has(log, "open ")) << log;
  }
}

// (GBK -> BIG5 on every pair: ul_gb18030_test, through the GB18030 walk.)
TEST(UlBig5Gbk, EveryBig5PairAgreesWithThePlatform) {
  std::string log;
  ASSERT_EQ(ccodetest::Load(ul_ccode_default_path(), 0, &log), 0) << log;
  int agreed = 0;
  for (int lead = 0xA1; lead <= 0xF9; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail > 0x7E && trail < 0xA1) continue;
      const std::string pair = {static_cast<char>(lead), static_cast<char>(trail)};
      const std::string want = ccodetest::Platform("BIG5", "GBK", pair);
      if (want.size() != 2) continue;
      EXPECT_EQ(Conv(ul_big5_gbk_str, pair), want);
      ++agreed;
    }
  }
  EXPECT_GT(agreed, 13000);
  ul_ccode_del();
}

TEST(UlBig5Gbk, BytesOutsideTheGridsAndExplicitLengths) {
  std::string log;
  ASSERT_EQ(ccodetest::Load(ul_ccode_default_path(), 0, &log), 0) << log;
  const struct {
    conv_t f;
    std::string in;
    int len;
    std::string out;
  } rows[] = {
      {ul_big5_gbk_str, "\xA0\x50z", 0, "  z"},            // lead above 9F, not BIG5: blanks
      {ul_big5_gbk_str, "\x81\x40z", 0, "\x81\x40z"},       // another pair is copied
      {ul_big5_gbk_str, "\x9F\x40", 0, "\x9F\x40"},   // lead 9F is copied
      {ul_big5_gbk_str, "\xA0\x3F", 0, "\xA0\x3F"},   // trail 3F is copied
      {ul_gbk_gbi_str, "a\x80z\xFF", 0, "a\x80z\xFF"},
      {ul_gbk_big5_str, Gbk("国家"), 2, Big5("國") + "x"},  // a slice: no terminator
      {ul_gbk_big5_str, Gbk("国") + "a", 3, Big5("國") + "a"},
      {ul_gbk_big5_str, Gbk("国"), 1, "\xB9"},               // a lead at the end of len is alone
  };
  for (const auto& r : rows) {
    EXPECT_EQ(Conv(r.f, r.in, r.len).substr(0, r.out.size()), r.out) << r.in;
  }
  int result = 0;
  Conv(ul_gbk_big5_str, Gbk("国家"), 2, &result);
  EXPECT_EQ(result, 2);
  Conv(ul_gbi_gbk_str, Gbk("国家"), 0, &result);
  EXPECT_EQ(result, 4);
  unsigned char buf[4] = {};
  EXPECT_EQ(ul_gbk_big5_str(nullptr, buf, 0), -1);
  EXPECT_EQ(ul_big5_gbk_str(buf, nullptr, 0), -1);
  ul_ccode_del();

  // Before loading: -1, dst untouched, and each side's message.
  for (conv_t f : {ul_big5_gbi_str, ul_gbi_big5_str}) {
    testsupport::CaptureFd err(2);
    EXPECT_EQ(Conv(f, "ab", 0, &result), "xxx");
    EXPECT_EQ(result, -1);
    log = err.Stop();
    EXPECT_TRUE(Has(log, "FATAL: ")) << log;
    EXPECT_EQ(Has(log, "Fatal error : have not load the maping table.\n"), f == ul_gbi_big5_str) << log;
    EXPECT_TRUE(Has(log, "have not load the maping table.\n")) << log;
  }
}

TEST(UlBig5Gbk, ZeroCellsWithoutSpecialWordsGiveBlanks) {
  std::string log;
  ASSERT_EQ(ccodetest::Load(ul_ccode_default_path(), 0, &log), 0) << log;
  // A cell without a mapping and no special-word slot (flag 0 loads none).
  const std::string guo = Gbk("国");
  const int cell = (static_cast<unsigned char>(guo[0]) - 0x81) * 191 + static_cast<unsigned char>(guo[1]) - 0x40;
  gbk_gbi_map[2 * cell] = 0;
  gbk_gbi_map[2 * cell + 1] = 0;
  EXPECT_EQ(Conv(ul_gbk_gbi_str, guo + "a"), "  a");
  ul_ccode_del();
}

TEST(UlBig5Gbk, TraditionalAndGbkTextTests) {
  std::string log;
  ASSERT_EQ(ccodetest::Load(ul_ccode_default_path(), 8, &log), 0) << log;
  EXPECT_EQ(ul_is_tradgbk_str(Gbk("國們这").c_str()), 1);
  EXPECT_EQ(ul_is_tradgbk_str(Gbk("國这").c_str()), 0);  // equal counts
  EXPECT_EQ(ul_is_tradgbk_str((Gbk("國") + "\xB0").c_str()), 1);
  EXPECT_EQ(ul_is_tradgbk_str(nullptr), 0);

  EXPECT_EQ(is_gbk_str("plain ascii"), 0);
  EXPECT_EQ(is_gbk_str(Gbk("中文").c_str()), 1);  // under 8 GB2312 hanzi
  std::string ah;  // lead B0, the first GB2312 hanzi row; 啊啊 is no bigram
  for (int i = 0; i < 7; ++i) ah += Gbk("啊");
  EXPECT_EQ(is_gbk_str(ah.c_str()), 1);
  EXPECT_EQ(is_gbk_str((ah + Gbk("啊")).c_str()), 0);  // 8: the bigram hits decide
  EXPECT_EQ(is_gbk_str(nullptr), 0);
  // Many leads, few of them GB2312 hanzi: 21 kana, Greek and Cyrillic rows.
  std::string foreign;
  for (int i = 0; i < 11; ++i) foreign += Gbk("ア") + Gbk("α");
  EXPECT_EQ(is_gbk_str(foreign.c_str()), 0);
  // Enough hanzi: the bigram hits decide.
  const std::string common = Gbk("我们的中国人民是这样说的我们的中国人民");
  EXPECT_EQ(is_gbk_str(common.c_str()), 1);
  // More than 128 pairs: only the first 128 are read.
  std::string longtext;
  for (int i = 0; i < 200; ++i) longtext += Gbk("中");
  EXPECT_EQ(is_gbk_str(longtext.c_str()), 0);  // 128 hanzi, no bigram of 中中
  ul_ccode_del();
  EXPECT_EQ(is_gbk_str(common.c_str()), 0);  // no grid
}

TEST(UlBig5Gbk, RowPredicates) {
  const struct {
    const char* pair;
    int gb1;
    int foreign;
  } rows[] = {{"\xB0\xA1", 1, 0}, {"\xD7\xFE", 1, 0}, {"\xD8\xA1", 0, 0}, {"\xAF\xA1", 0, 0}, {"\xB0\xA0", 0, 0},
              {"\xA4\xA1", 0, 1}, {"\xA8\xFE", 0, 1}, {"\xA3\xA1", 0, 0}, {"\xA9\xA1", 0, 0}, {"\xA8\xFF", 0, 0}};
  for (const auto& r : rows) {
    const auto* p = reinterpret_cast<const unsigned char*>(r.pair);
    EXPECT_EQ(is_gb1(p), r.gb1) << r.pair;
    EXPECT_EQ(is_foreign(p), r.foreign) << r.pair;
  }
}

}  // namespace
