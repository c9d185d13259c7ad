// The stepping functions over every two-byte input and on buffers of exactly
// the text's size.
#include <gtest/gtest.h>
#include <string.h>

#include <memory>

#include "ul_ccode_next.h"
#include "ul_ccode_type.h"

namespace {

TEST(CcodeNextForms, FixedTypeFormsEqualTheGeneralOnesOnAllTwoByteInputs) {
  for (int b0 = 0; b0 < 256; ++b0) {
    for (int b1 = 0; b1 < 256; ++b1) {
      // Two bytes, then the four-byte tail of a GB18030 code so that the
      // four-byte rule is reached too.
      const char s[] = {static_cast<char>(b0), static_cast<char>(b1), '\x81', '0', '\0'};
      ASSERT_EQ(ul_ccode_next_gbk(s), ul_ccode_next(s, CODETYPE_GBK)) << b0 << " " << b1;
      ASSERT_EQ(ul_ccode_next_gb18030(s), ul_ccode_next(s, CODETYPE_GB)) << b0 << " " << b1;
      ASSERT_EQ(ul_ccode_next_utf8(s), ul_ccode_next(s, CODETYPE_UTF8)) << b0 << " " << b1;
      for (int n = 1; n <= 4; ++n) {
        ASSERT_EQ(ul_ccode_nextn_gbk(s, n), ul_ccode_nextn(s, n, CODETYPE_GBK)) << b0 << " " << b1;
        ASSERT_EQ(ul_ccode_nextn_gb18030(s, n), ul_ccode_nextn(s, n, CODETYPE_GB)) << b0 << " " << b1;
        ASSERT_EQ(ul_ccode_nextn_utf8(s, n), ul_ccode_nextn(s, n, CODETYPE_UTF8)) << b0 << " " << b1;
        ASSERT_EQ(ul_ccode_nextn_ascii(s, n), ul_ccode_nextn(s, n, CODETYPE_ASCII)) << b0 << " " << b1;
      }
    }
  }
}

TEST(CcodeNextForms, NextnReadsNothingPastAnExactSizeBuffer) {
  const struct {
    const char* bytes;
    int size;
    int codetype;
    int step;
  } rows[] = {
      {"\x81\x30\x81\x30", 4, CODETYPE_GB, 4},  {"\x81\x30\x81", 3, CODETYPE_GB, 0},
      {"\xE4\xB8\xAD", 3, CODETYPE_UTF8, 3},     {"\xE4\xB8", 2, CODETYPE_UTF8, 0},
      {"\xF0\x90\x80", 3, CODETYPE_UTF8, 0},     {"\x8F\xA1", 2, CODETYPE_EUCJP, 0},
      {"\x93\xFA", 2, CODETYPE_SJIS, 2},         {"\x00\x41", 1, CODETYPE_UTF16LE, 0},
      {"\x00\x00\x00", 3, CODETYPE_UTF32BE, 0},  {"\xA4\xA2", 1, CODETYPE_BIG5, 0},
  };
  for (const auto& r : rows) {
    std::unique_ptr<char[]> exact(new char[r.size]);  // a read past it shows under ASan
    memcpy(exact.get(), r.bytes, r.size);
    EXPECT_EQ(ul_ccode_nextn(exact.get(), r.size, r.codetype), r.step) << r.codetype << " " << r.size;
  }
}

}  // namespace
