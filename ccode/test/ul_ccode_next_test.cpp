#include "ul_ccode_next.h"

#include <gtest/gtest.h>

#include <string>

#include "support/support.h"
#include "ul_ccode_type.h"
#include "ul_ccode_unicode.h"

namespace {

// One character rule: the bytes, the code type, ul_ccode_next, and
// ul_ccode_nextn over exactly these bytes.
struct Row {
  std::string bytes;
  int type;
  int next;
  int nextn;
};

const Row kRows[] = {
    {"a", CODETYPE_GB, 1, 1},
    {"\xB0\xA1", CODETYPE_GB, 2, 2},
    {"\x81\x7F", CODETYPE_GB, 0, 0},
    {"\x81\x30\x81\x30", CODETYPE_GB, 4, 4},
    {"\x81\x30\x81", CODETYPE_GB, 0, 0},
    {"\xFF\x40", CODETYPE_GB, 0, 0},
    {"\x81\x30\x81\x30", CODETYPE_GBK, 0, 0},
    {"\xFE\xFE", CODETYPE_GBK, 2, 2},
    {"\xA3\xBF", CODETYPE_BIG5, 2, 2},
    {"\xA3\xC0", CODETYPE_BIG5, 0, 0},
    {"\xA4\x7F", CODETYPE_BIG5, 0, 0},
    {"\x80", CODETYPE_BIG5, 0, 0},
    {"\xE0\x9F\x80", CODETYPE_UTF8, 0, 0},
    {"\xE0\xA0\x80", CODETYPE_UTF8, 3, 3},
    {"\xF0\x8F\x80\x80", CODETYPE_UTF8, 0, 0},
    {"\xF0\x90\x80\x80", CODETYPE_UTF8, 4, 4},
    {"\xF4\x8F\xBF\xBF", CODETYPE_UTF8, 4, 4},
    {"\xF5\x80\x80\x80", CODETYPE_UTF8, 0, 0},
    {"\xC1\xBF", CODETYPE_UTF8, 0, 0},
    {"\xC2\x80", CODETYPE_UTF8, 2, 2},
    {"\xED\xA0\x80", CODETYPE_UTF8, 3, 3},  // surrogates are accepted
    {"\xC2" "a", CODETYPE_UTF8, 0, 0},
    // Shift_JIS: any trail 40..7E or 80..FC after a lead 81..9F or E0..EF.
    {"\x82\xA0", CODETYPE_SJIS, 2, 2},
    {"\x82\x60", CODETYPE_SJIS, 2, 2},
    {"\x81\x40", CODETYPE_SJIS, 2, 2},
    {"\x88\x9F", CODETYPE_SJIS, 2, 2},
    {"\x81\x7F", CODETYPE_SJIS, 0, 0},
    {"\x81\xFD", CODETYPE_SJIS, 0, 0},
    {"\xF0\x40", CODETYPE_SJIS, 0, 0},
    {"\xB1", CODETYPE_SJIS, 1, 1},
    {"\x8E\xA1", CODETYPE_EUCJP, 2, 2},
    {"\x8E\xE0", CODETYPE_EUCJP, 0, 0},
    {"\x8F\xA1\xA1", CODETYPE_EUCJP, 3, 3},
    {"\xA1\xFE", CODETYPE_EUCJP, 2, 2},
    {"\xB0\xA1", CODETYPE_EUCKR, 2, 2},
    {"\x81\xA1", CODETYPE_EUCKR, 0, 0},
    {"\x1B", CODETYPE_JIS, 1, 1},
    {"\x80", CODETYPE_ASCII, 0, 0},
    {std::string(2, '\0'), CODETYPE_UTF16LE, 2, 2},
    {std::string(4, '\0'), CODETYPE_UTF32BE, 4, 4},
    {"\x0A", CODETYPE_ISO_8859_1, 1, 0},
    {"\x9F", CODETYPE_ISO_8859_1, 0, 0},
    {"\xE7", CODETYPE_IBM857, 0, 1},
    {"\xF0", CODETYPE_IBM857, 1, 0},
    {"\x9E", CODETYPE_WIN1254, 0, 0},
    {"\x9F", CODETYPE_WIN1254, 1, 1},
    {"\xA5", CODETYPE_ISO_8859_3, 0, 0},
    {"\xC0", CODETYPE_ISO_8859_6, 0, 0},
    {"\xDC", CODETYPE_ISO_8859_11, 0, 0},
    {"\x85", CODETYPE_WIN874, 1, 1},
    {"\xA0", CODETYPE_TIS620, 0, 0},
    {"\x8A", CODETYPE_WIN1258, 0, 0},
    {"\x9F", CODETYPE_WIN1258, 1, 1},
    {"\x98", CODETYPE_WIN1251, 0, 0},
    {"\xD2", CODETYPE_ISO_8859_7, 0, 0},
    {"\xCA", CODETYPE_WIN1255, 0, 0},
    {"\xFD", CODETYPE_WIN1255, 1, 1},
    {"\xFF", CODETYPE_VISCII, 1, 1},
    // The multi-byte rows at the ends of their lead and trail ranges.
    {"\x80", CODETYPE_GB, 0, 0},
    {"\x81\x40", CODETYPE_GB, 2, 2},
    {"\x81\x3F", CODETYPE_GB, 0, 0},
    {"\xFE\xFE", CODETYPE_GB, 2, 2},
    {"\x81\xFF", CODETYPE_GB, 0, 0},
    {"\xFE\x39\xFE\x39", CODETYPE_GB, 4, 4},
    {"\x81\x3A\x81\x30", CODETYPE_GB, 0, 0},
    {"\x81\x30\x80\x30", CODETYPE_GB, 0, 0},
    {"\x81\x30\xFF\x30", CODETYPE_GB, 0, 0},
    {"\x81\x30\x81\x2F", CODETYPE_GB, 0, 0},
    {"\x81\x30\x81\x3A", CODETYPE_GB, 0, 0},
    {"\x81\x40", CODETYPE_BIG5, 2, 2},
    {"\xFE\xFE", CODETYPE_BIG5, 2, 2},
    {"\xFF\x40", CODETYPE_BIG5, 0, 0},
    {"\xA4\x3F", CODETYPE_BIG5, 0, 0},
    {"\xA4\x7E", CODETYPE_BIG5, 2, 2},
    {"\xA4\xA0", CODETYPE_BIG5, 0, 0},
    {"\xA4\xA1", CODETYPE_BIG5, 2, 2},
    {"\xA4\xFF", CODETYPE_BIG5, 0, 0},
    {"\xA2\xC0", CODETYPE_BIG5, 2, 2},
    {"\xA3\xFE", CODETYPE_BIG5, 0, 0},
    {"\xC1\x80", CODETYPE_UTF8, 0, 0},
    {"\xDF\xBF", CODETYPE_UTF8, 2, 2},
    {"\xC2\x7F", CODETYPE_UTF8, 0, 0},
    {"\xC2\xC0", CODETYPE_UTF8, 0, 0},
    {"\xEF\xBF\xBF", CODETYPE_UTF8, 3, 3},
    {"\xE1\x80\xC0", CODETYPE_UTF8, 0, 0},
    {"\xF4\x90\x80\x80", CODETYPE_UTF8, 4, 4},  // accepted past U+10FFFF, as surrogates are
    {"\xF0\x90\x80\x7F", CODETYPE_UTF8, 0, 0},
    {"\x80\x40", CODETYPE_SJIS, 0, 0},
    {"\xA0", CODETYPE_SJIS, 0, 0},
    {"\xA1", CODETYPE_SJIS, 1, 1},
    {"\xDF", CODETYPE_SJIS, 1, 1},
    {"\x9F\xFC", CODETYPE_SJIS, 2, 2},
    {"\xE0\x40", CODETYPE_SJIS, 2, 2},
    {"\xEF\x7E", CODETYPE_SJIS, 2, 2},
    {"\xEF\x80", CODETYPE_SJIS, 2, 2},
    {"\x81\x3F", CODETYPE_SJIS, 0, 0},
    {"\x80", CODETYPE_EUCJP, 0, 0},
    {"\x8E\xDF", CODETYPE_EUCJP, 2, 2},
    {"\x8E\xA0", CODETYPE_EUCJP, 0, 0},
    {"\x8F\xFE\xFE", CODETYPE_EUCJP, 3, 3},
    {"\x8F\xA1\xA0", CODETYPE_EUCJP, 0, 0},
    {"\x8F\xA0\xA1", CODETYPE_EUCJP, 0, 0},
    {"\xA0\xA1", CODETYPE_EUCJP, 0, 0},
    {"\xFE\xFE", CODETYPE_EUCJP, 2, 2},
    {"\xFF\xA1", CODETYPE_EUCJP, 0, 0},
    {"\xA1\xA0", CODETYPE_EUCJP, 0, 0},
    {"\x80", CODETYPE_EUCKR, 0, 0},
    {"\x7F", CODETYPE_EUCKR, 1, 1},
    {"\xA1\xA1", CODETYPE_EUCKR, 2, 2},
    {"\xFE\xFE", CODETYPE_EUCKR, 2, 2},
    {"\xA0\xA1", CODETYPE_EUCKR, 0, 0},
    {"\xFF\xA1", CODETYPE_EUCKR, 0, 0},
    {"\xA1\xA0", CODETYPE_EUCKR, 0, 0},
    {"\xA1\xFF", CODETYPE_EUCKR, 0, 0},
    {"a", CODETYPE_ENG, 0, 0},
    {"a", CODETYPE_UTF8JP, 0, 0},
    {"a", CODETYPE_END, 0, 0},
};

TEST(UlCcodeNext, RulesByCodeType) {
  for (const Row& r : kRows) {
    const std::string text = r.bytes + '\0';
    EXPECT_EQ(ul_ccode_next(text.c_str(), r.type), r.next) << r.type << " " << r.bytes;
    EXPECT_EQ(ul_ccode_nextn(text.c_str(), static_cast<int>(r.bytes.size()), r.type), r.nextn)
        << r.type << " " << r.bytes;
    // One byte short of the character: nothing.
    if (r.nextn > 1) {
      EXPECT_EQ(ul_ccode_nextn(text.c_str(), r.nextn - 1, r.type), 0) << r.type << " " << r.bytes;
    }
  }
  EXPECT_EQ(ul_ccode_nextn("a", 0, CODETYPE_GB), 0);
  EXPECT_EQ(ul_ccode_nextn("a", 1, -1), 0);
  EXPECT_EQ(ul_ccode_next(nullptr, CODETYPE_GB), 0);
}

TEST(UlCcodeNext, FixedTypeForms) {
  const char four[] = "\x81\x30\x81\x30";
  EXPECT_EQ(ul_ccode_next_gb18030(four), 4);
  EXPECT_EQ(ul_ccode_next_gbk(four), 0);
  EXPECT_EQ(ul_ccode_next_utf8("\xE4\xB8\xAD"), 3);
  EXPECT_EQ(ul_ccode_nextn_gb18030(four, 3), 0);
  EXPECT_EQ(ul_ccode_nextn_gbk("\xB0\xA1", 2), 2);
  EXPECT_EQ(ul_ccode_nextn_utf8("\xE4\xB8\xAD", 2), 0);
  EXPECT_EQ(ul_ccode_nextn_ascii("\xB0", 1), 0);
  EXPECT_EQ(ul_ccode_next_gbk(nullptr), 0);

  EXPECT_EQ(get_uint("\xA1\xA1", 2), 0xA1A1u);
  EXPECT_EQ(get_uint("\x81\x30\x81\x30", 4), 0x81308130u);
  EXPECT_EQ(get_unicode("\xE4\xB8\xAD"), 0x4E2Du);
  EXPECT_EQ(get_exact_len("ab\0cd", 5), 2);
  EXPECT_EQ(get_exact_len("abcd", 3), 3);
  EXPECT_EQ(get_exact_len("abcd", 0), 0);
}

TEST(UlCcodeUnicodeToUtf8, SixByteSchemeAtEveryBoundary) {
  const struct {
    unsigned int cp;
    const char* utf8;
  } rows[] = {
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x1FFFFF, "\xF7\xBF\xBF\xBF"},
      {0x200000, "\xF8\x88\x80\x80\x80"},
      {0x3FFFFFF, "\xFB\xBF\xBF\xBF\xBF"},
      {0x4000000, "\xFC\x84\x80\x80\x80\x80"},
      {0x7FFFFFFF, "\xFD\xBF\xBF\xBF\xBF\xBF"},
      {0x80000000u, ""},
  };
  for (const auto& r : rows) {
    const int n = static_cast<int>(strlen(r.utf8));
    char buf[8];
    EXPECT_EQ(ul_ccode_unicode_to_utf8(r.cp, buf, n + 1), n) << std::hex << r.cp;
    EXPECT_STREQ(buf, r.utf8) << std::hex << r.cp;
    testsupport::CaptureFd err(2);
    EXPECT_EQ(ul_ccode_unicode_to_utf8(r.cp, buf, n), -1) << std::hex << r.cp;
    const std::string log = err.Stop();
    EXPECT_NE(log.find(n == 0 ? "invalid parm  in ul_ccode_unicode_to_utf8"
                              : "buf_size is too small  in ul_ccode_unicode_to_utf8"),
              std::string::npos)
        << log;
  }
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_ccode_unicode_to_utf8('a', nullptr, 4), -1);
  EXPECT_NE(err.Stop().find("invalid parm  in ul_ccode_unicode_to_utf8"), std::string::npos);
}

}  // namespace
