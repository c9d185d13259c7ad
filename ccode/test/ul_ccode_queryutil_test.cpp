// Query text utilities: code points to UTF-8, Vietnamese conversions and the
// Chinese-query test.
#include "ul_ccode_queryutil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Convert(int (*fn)(unsigned char*, int, unsigned char*), const std::string& in, int outlen,
                    int* result) {
  std::string out(static_cast<size_t>(outlen) + 4, '#');
  *result = fn(reinterpret_cast<unsigned char*>(&out[0]), outlen,
               reinterpret_cast<unsigned char*>(const_cast<char*>(in.c_str())));
  return out.substr(0, out.find('\0'));
}

TEST(QueryUtil, CodePointsToUtf8) {
  struct Case {
    unsigned int cp;
    std::string bytes;
    unsigned int packed;
  } cases[] = {
      {0x41, "A", 0x41},
      {0x80, "\xC2\x80", 0xC280},
      {0x7FF, "\xDF\xBF", 0xDFBF},
      {0x4E2D, "\xE4\xB8\xAD", 0xE4B8AD},
      {0x10000, "\xF0\x90\x80\x80", 0xF0908080},
      {0x3FFFFFF, "\xFB\xBF\xBF\xBF\xBF", 0xBFBFBFBF},
      {0x7FFFFFFF, "\xFD\xBF\xBF\xBF\xBF\xBF", 0xBFBFBFBF},
      {0, "", 0},
  };
  for (const Case& c : cases) {
    unsigned char out[8];
    unsigned int packed = 1;
    ASSERT_EQ(ul_ccode_unicodetoutf8(c.cp, out, &packed), 1) << c.cp;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out)), c.bytes) << c.cp;
    EXPECT_EQ(packed, c.packed) << c.cp;
  }
  unsigned int packed = 0;
  EXPECT_EQ(ul_ccode_unicodetoutf8(0x80000000u, nullptr, &packed), 0);
  EXPECT_EQ(ul_ccode_unicodetoutf8(0x41, nullptr, nullptr), 0);
  EXPECT_EQ(ul_ccode_unicodetoutf8(0x41, nullptr, &packed), 1);
  EXPECT_EQ(packed, 0x41u);
}

TEST(QueryUtil, VietnameseConversions) {
  int r;
  EXPECT_EQ(Convert(ul_ccode_vitone2notone, "Việt Nam đẹp Đà", 64, &r), "Viet Nam dep Da");
  EXPECT_EQ(r, 1);
  EXPECT_EQ(Convert(ul_ccode_vilow2capital, "đa", 4, &r), "ĐA");
  EXPECT_EQ(Convert(ul_ccode_vilow2capital, "đa", 3, &r), "Đ");
  EXPECT_EQ(Convert(ul_ccode_vilow2capital, "đa", 2, &r), "");
  EXPECT_EQ(Convert(ul_ccode_vicaital2low, "ỲỴ x中", 32, &r), "ỳỵ x中");
  // A byte that begins no character ends the copy; what came before stays.
  EXPECT_EQ(Convert(ul_ccode_vilow2capital, "ab\xFF" "cd", 32, &r), "AB");
  EXPECT_EQ(r, 0);
  unsigned char out[4];
  EXPECT_EQ(ul_ccode_vitone2notone(out, 0, out), -1);
  EXPECT_EQ(ul_ccode_vitone2notone(nullptr, 4, out), -1);
  EXPECT_EQ(ul_ccode_vicaital2low(out, 4, nullptr), -1);
  // Every marked letter maps to a plain ASCII letter.
  for (int i = 0; i < vn_ToneNoTone_Utf8_num; ++i) EXPECT_LT(vn_notone_utf8[i], 0x80u) << i;
}

TEST(QueryUtil, ChineseQuery) {
  struct Case {
    const char* text;
    bool chinese;
  } cases[] = {
      {"中文ab", true},           // exactly one half
      {"中abc", false},           // one quarter
      {"", false},
      {"\x80中文", false},        // refused first byte
      {"中文\xE4\xB8", true},     // a cut character ends the walk
      {"\xE4\xB8", false},        // nothing whole: no character, not Chinese
      {"\xE4\xB8\x80" "a", true},   // U+4E00 counts
      {"\xE4\xB7\xBF" "a", false},  // U+4DFF does not
      {"\xE9\xBF\xBF" "a", true},   // U+9FFF counts
      {"\xEA\x80\x80" "a", false},  // U+A000 does not
  };
  for (const Case& c : cases) EXPECT_EQ(is_chinese_query(c.text), c.chinese) << c.text;
  EXPECT_FALSE(is_chinese_query(nullptr));
  char cp[4];
  EXPECT_EQ(enc_utf8_to_unicode_one("\xE4\xB8\xAD", cp), 3);
  EXPECT_EQ(std::string(cp, 4), std::string("\x2D\x4E\x00\x00", 4));
  EXPECT_EQ(enc_utf8_to_unicode_one("\xBF", cp), -1);
  EXPECT_EQ(enc_utf8_to_unicode_one("\xFE\x80", cp), -1);
  EXPECT_EQ(enc_get_utf8_size('\x7F'), 0);
  EXPECT_EQ(enc_get_utf8_size('\xFC'), 6);
}

}  // namespace
