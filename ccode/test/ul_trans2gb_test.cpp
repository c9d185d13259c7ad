// The dispatchers of ul_transch.h that bring text to GBK, GBI or GB18030.
#include <gtest/gtest.h>

#include <string>

#include "ccode_test_data.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_load.h"
#include "ul_ccode_type.h"
#include "ul_transch.h"

namespace {

using ccodetest::Big5;
using ccodetest::Gb;
using ccodetest::Gbk;
using ccodetest::Has;

class Trans2Gb : public ::testing::Test {
 protected:
  void SetUp() override {
    // 乾 stays after 國, which the conversion itself changes.
    data_.Write("gbk.special", Gbk("乾 干 國乾 1 0\n"));
    std::string log;
    ASSERT_EQ(ccodetest::Load(data_.path(), 1, &log), 0) << log;
    ASSERT_EQ(ul_ccode_conv_open(), 0);
  }
  void TearDown() override {
    ul_ccode_conv_close();
    ul_ccode_del();
  }
  ccodetest::DataCopy data_;
};

TEST_F(Trans2Gb, ByCodeType) {
  typedef int (*sized_t)(const char*, char*, int, int);
  const sized_t gbi = ul_trans2gbi, gb18030 = ul_trans2gb18030, gbi_str = ul_trans2gbi_str,
                gb18030_str = ul_trans2gb18030_str;
  const std::string four = Gb("😀");
  const struct {
    sized_t f;  // NULL: ul_trans2gb
    int type;
    std::string in;
    int size;
    std::string out;
    int result;
  } rows[] = {
      {nullptr, CODETYPE_GB, Gbk("國乾乾"), 0, Gbk("国乾干"), 0},
      {nullptr, CODETYPE_BIG5, Big5("國"), 0, Gbk("国"), 0},
      {nullptr, CODETYPE_UTF8, "國乾", 0, Gbk("国乾"), 0},  // the context is read before conversion
      {nullptr, CODETYPE_UTF8, "a\xF0\x90\x80\x80" "b", 0, "a b", 0},  // U+10000: no NUL cuts the text
      {nullptr, CODETYPE_UTF8, "\xE4" "AB", 0, " AB", 0},                // a lead byte alone keeps what follows
      {nullptr, CODETYPE_SJIS, "as is", 0, "as is", 0},
      {gbi, CODETYPE_GB, Gb("國") + four, 16, Gb("国") + four, 0},
      {gbi, CODETYPE_BIG5, Big5("國"), 16, Gbk("国"), 0},
      {gbi, CODETYPE_UTF8, "國乾😀", 16, Gbk("国乾") + four, 0},
      {gbi, CODETYPE_GB, Gb("國"), 2, "", -1},  // too small for the text
      {gbi, CODETYPE_ENG, "abc", 3, "", -1},
      {gbi, CODETYPE_ENG, "abc", 4, "abc", 0},
      {gbi, CODETYPE_ENG, "", 1, "", 0},
      {gb18030, CODETYPE_BIG5, Big5("國€"), 16, Gb("國€"), 0},
      {gb18030, CODETYPE_UTF8, "國", 16, Gb("國"), 0},
      {gb18030, CODETYPE_UTF8, "國國", 4, Gb("國"), 0},  // cut, still 0
      {gb18030, CODETYPE_SJIS, ccodetest::Platform("UTF-8", "SHIFT_JIS", "日本"), 16, Gb("日本"), 0},
      {gb18030, CODETYPE_EUCJP, ccodetest::Platform("UTF-8", "EUC-JP", "日本"), 16, Gb("日本"), 0},
      {gb18030, CODETYPE_JIS, ccodetest::Platform("UTF-8", "ISO-2022-JP", "日本"), 16, Gb("日本"), 0},
      {gb18030, CODETYPE_GB, Gb("國"), 3, Gb("國"), 0},
      {gb18030_str, CODETYPE_UTF8, "", 16, "", 0},
      {gbi_str, CODETYPE_UTF8, "", 1, "", 0},
      {gbi_str, CODETYPE_UTF8, "國", 16, Gbk("国"), 0},
      {gb18030_str, CODETYPE_UTF8, "a", 0, "", -1},
  };
  for (const auto& r : rows) {
    char out[16] = {0};
    const int result = r.f == nullptr ? ul_trans2gb(r.in.c_str(), out, r.type) : r.f(r.in.c_str(), out, r.size, r.type);
    EXPECT_EQ(result, r.result) << r.type << " " << r.in;
    if (r.result == 0) {
      EXPECT_EQ(std::string(out), r.out) << r.type << " " << r.in;
    }
  }
  EXPECT_EQ(ul_trans2gb(nullptr, nullptr, CODETYPE_GB), -1);
  EXPECT_EQ(ul_trans2gb("a", nullptr, CODETYPE_GB), -1);
}

TEST_F(Trans2Gb, MessagesAndStateForms) {
  char out[8];
  _ccode_conv_t* state = get_ccode_conv();
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_trans2gbi("a", out, 8, CODETYPE_GB, nullptr), -1);
  EXPECT_EQ(ul_trans2gb18030("a", out, 0, CODETYPE_GB, state), -1);
  EXPECT_EQ(ul_trans2gbi_str("a", nullptr, 8, CODETYPE_GB, state), -1);
  EXPECT_EQ(ul_trans2gb18030_str("a", out, 0, CODETYPE_GB, state), -1);
  ul_ccode_conv_close();
  EXPECT_EQ(ul_trans2gb18030_str("a", out, 8, CODETYPE_GB), -1);
  const std::string log = err.Stop();
  EXPECT_TRUE(Has(log, "invalid parameter in function 'ul_trans2gbi'.\n")) << log;
  EXPECT_TRUE(Has(log, "invalid parameter in function 'ul_trans2gb18030'.\n")) << log;
  EXPECT_TRUE(Has(log, "invalid parameter in function ul_trans2gbi_str.")) << log;
  EXPECT_TRUE(Has(log, "invalid parameter in ul_trans2gb18030_str.")) << log;
  EXPECT_TRUE(Has(log, "get ccode conv error!")) << log;
  // A caller-owned record works without the thread's state.
  _ccode_conv_t conv;
  ASSERT_EQ(ul_ccode_conv_open(&conv), 0);
  EXPECT_EQ(ul_trans2gb18030("國", out, 8, CODETYPE_UTF8, &conv), 0);
  EXPECT_EQ(std::string(out), Gb("國"));
  ul_ccode_conv_close(&conv);
}

}  // namespace
