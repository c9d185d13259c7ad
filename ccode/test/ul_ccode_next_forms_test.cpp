// The stepping functions over every two-byte input and on buffers of exactly
// the text's size.
#include <gtest/gtest.h>
#include <string.h>

#include <memory>
#include <vector>

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

// The single-byte rows: every byte against the ranges each code type takes
// (ul_ccode_next, then ul_ccode_nextn where the two differ), so that each
// range is checked at both ends and one past.
struct Span {
  unsigned lo, hi;
};

struct SingleRow {
  int codetype;
  std::vector<Span> next;
  std::vector<Span> nextn;  // empty: as next
};

bool Takes(const std::vector<Span>& spans, unsigned b) {
  for (const Span& s : spans) {
    if (b >= s.lo && b <= s.hi) return true;
  }
  return false;
}

TEST(CcodeNextForms, SingleBytePagesAtEveryByte) {
  const std::vector<Span> all = {{0x00, 0xFF}};
  const std::vector<Span> iso1 = {{0x00, 0x80}, {0xA0, 0xFF}};
  const std::vector<Span> iso1n = {{0x20, 0x7E}, {0xA0, 0xFF}};
  const SingleRow rows[] = {
      {CODETYPE_ISO_8859_1, iso1, iso1n},
      {CODETYPE_ISO_8859_9, iso1, iso1n},
      {CODETYPE_WIN1254, {{0x00, 0x80}, {0x82, 0x8C}, {0x91, 0x9C}, {0x9F, 0xFF}}, {}},
      {CODETYPE_IBM857, {{0x20, 0x7E}, {0x80, 0xE6}, {0xE8, 0xF1}, {0xF3, 0xFE}},
       {{0x20, 0x7E}, {0x80, 0xEF}, {0xF1, 0xFE}}},
      {CODETYPE_MACTURKISH, all, {}},
      {CODETYPE_WIN1256, all, {}},
      {CODETYPE_VISCII, all, {}},
      {CODETYPE_ISO_8859_3,
       {{0x20, 0x7E}, {0xA0, 0xA4}, {0xA6, 0xAD}, {0xAF, 0xBD}, {0xBF, 0xC2}, {0xC4, 0xCF}, {0xD1, 0xE2},
        {0xE4, 0xEF}, {0xF1, 0xFF}},
       {}},
      {CODETYPE_ISO_8859_6,
       {{0x20, 0x7E}, {0xA0, 0xA0}, {0xA4, 0xA4}, {0xAC, 0xAD}, {0xBB, 0xBB}, {0xBF, 0xBF}, {0xC1, 0xDA},
        {0xE0, 0xF2}},
       {}},
      {CODETYPE_ISO_8859_11, {{0x20, 0x7E}, {0xA0, 0xDA}, {0xDF, 0xFB}}, {}},
      {CODETYPE_WIN874, {{0x00, 0x80}, {0x85, 0x85}, {0x91, 0x97}, {0xA0, 0xDA}, {0xDF, 0xFB}}, {}},
      {CODETYPE_TIS620, {{0x20, 0x7E}, {0xA1, 0xDA}, {0xDF, 0xFB}}, {}},
      {CODETYPE_WIN1258,
       {{0x00, 0x80}, {0x82, 0x89}, {0x8B, 0x8C}, {0x91, 0x99}, {0x9B, 0x9C}, {0x9F, 0xFF}}, {}},
      {CODETYPE_WIN1251, {{0x00, 0x97}, {0x99, 0xFF}}, {}},
      {CODETYPE_ISO_8859_7, {{0x20, 0x7E}, {0xA0, 0xAD}, {0xAF, 0xD1}, {0xD3, 0xFE}}, {}},
      {CODETYPE_WIN1255,
       {{0x00, 0x80}, {0x82, 0x89}, {0x8B, 0x8B}, {0x91, 0x99}, {0x9B, 0x9B}, {0xA0, 0xC9}, {0xCB, 0xD8},
        {0xE0, 0xFA}, {0xFD, 0xFE}},
       {}},
      {CODETYPE_ASCII, {{0x00, 0x7F}}, {}},
      {CODETYPE_JIS, {{0x00, 0x7F}}, {}},
  };
  for (const SingleRow& r : rows) {
    const std::vector<Span>& bounded = r.nextn.empty() ? r.next : r.nextn;
    for (unsigned b = 0; b < 256; ++b) {
      const char s[2] = {static_cast<char>(b), '\0'};
      EXPECT_EQ(ul_ccode_next(s, r.codetype), Takes(r.next, b) ? 1 : 0) << r.codetype << " " << std::hex << b;
      EXPECT_EQ(ul_ccode_nextn(s, 1, r.codetype), Takes(bounded, b) ? 1 : 0) << r.codetype << " " << std::hex << b;
    }
  }
}

}  // namespace
