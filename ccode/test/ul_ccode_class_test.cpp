#include "ul_ccode_class.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "ul_ccode_type.h"
#include "ul_ccode_unicode.h"

namespace {

constexpr int kUtf8 = CODETYPE_UTF8, kGb = CODETYPE_GB, kGbk = CODETYPE_GBK, kAscii = CODETYPE_ASCII;

std::string U8(unsigned cp) {
  char buf[8];
  ul_ccode_unicode_to_utf8(cp, buf, sizeof(buf));
  return buf;
}

std::string Be(unsigned v, int n) {
  std::string s;
  for (int i = n - 1; i >= 0; --i) s.push_back(static_cast<char>(v >> (8 * i)));
  return s;
}

struct Row {
  const char* what;
  int (*fn)(const char*, int);
  std::string bytes;
  int codetype;
  int expect;
};

// Each list at both ends and one past, the exceptions inside ranges, and the
// code types a test does not handle.
const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"space", ul_ccode_isspace, "\t", kAscii, 1}, {"space", ul_ccode_isspace, U8(0x3000), kUtf8, 1},
      {"space", ul_ccode_isspace, U8(0x3000), kAscii, 0}, {"space", ul_ccode_isspace, "\xA1\xA1", kGbk, 1},
      {"space", ul_ccode_isspace, "\xA1\xA1", kAscii, 0}, {"space", ul_ccode_isspace, "\xA1\xA2", kGb, 0},
      {"space", ul_ccode_isspace, " ", CODETYPE_BIG5, 0}, {"punct", ul_ccode_ispunct, "-", kAscii, 1},
      {"punct", ul_ccode_ispunct, "\xA1\xA2", kGb, 1}, {"punct", ul_ccode_ispunct, "\xA1\xA1", kGb, 0},
      {"punct", ul_ccode_ispunct, "\xA1\xA9", kGbk, 0}, {"punct", ul_ccode_ispunct, "\xA1\xFE", kGbk, 1},
      {"punct", ul_ccode_ispunct, "\xA3\xA0", kGbk, 0}, {"punct", ul_ccode_ispunct, "\xA3\xFE", kGbk, 1},
      {"punct", ul_ccode_ispunct, U8(0x200F), kUtf8, 0}, {"punct", ul_ccode_ispunct, U8(0x2010), kUtf8, 1},
      {"punct", ul_ccode_ispunct, U8(0x2028), kUtf8, 0}, {"punct", ul_ccode_ispunct, U8(0x3000), kUtf8, 0},
      {"punct", ul_ccode_ispunct, U8(0x3001), kUtf8, 1}, {"punct", ul_ccode_ispunct, U8(0xFF65), kUtf8, 1},
      {"punct", ul_ccode_ispunct, U8(0xFF66), kUtf8, 0},
      // A two-byte character followed by a blank is not read as U+3020.
      {"punct", ul_ccode_ispunct, "\xC3\x80 ", kUtf8, 0},
      {"punct", ul_ccode_ispunct, U8(0x3001), CODETYPE_SJIS, 0}, {"special", ul_ccode_isspecial, "\x01", kGb, 1},
      {"special", ul_ccode_isspecial, "\x09", kGb, 0}, {"special", ul_ccode_isspecial, "\x1B", kAscii, 1},
      {"special", ul_ccode_isspecial, "\x1C", kAscii, 0}, {"special", ul_ccode_isspecial, "\x7F", kUtf8, 1},
      {"special", ul_ccode_isspecial, U8(0x80), kUtf8, 1}, {"special", ul_ccode_isspecial, U8(0x9F), kUtf8, 1},
      {"special", ul_ccode_isspecial, U8(0xA0), kUtf8, 0},
      {"special", ul_ccode_isspecial, "\x01", CODETYPE_BIG5, 0},
      {"cn digit", ul_ccode_is_cn_digit, "\xCA\xAE", kGb, 1},
      {"cn digit", ul_ccode_is_cn_digit, "\xCA\xAF", kGb, 0},
      {"cn digit", ul_ccode_is_cn_digit, U8(0x96F6), kUtf8, 1},
      {"cn digit", ul_ccode_is_cn_digit, U8(0x5341), kUtf8, 1},
      {"cn digit", ul_ccode_is_cn_digit, U8(0x5342), kUtf8, 0},
      {"cn char", ul_ccode_is_single_cnchar, "\xB0\xA1", kGbk, 1},
      {"cn char", ul_ccode_is_single_cnchar, "\xA1\xA2", kGbk, 0},
      {"cn char", ul_ccode_is_single_cnchar, "\x81\x40", kGbk, 1},
      {"cn char", ul_ccode_is_single_cnchar, "\xA9\xFE", kGbk, 0},
      {"cn char", ul_ccode_is_single_cnchar, "\xAA\x40", kGbk, 1},
      {"cn char", ul_ccode_is_single_cnchar, "\x81\x7F", kGbk, 0},
      {"cn char", ul_ccode_is_single_cnchar, Be(0x8139EE38, 4), kGb, 0},
      {"cn char", ul_ccode_is_single_cnchar, Be(0x8139EE39, 4), kGb, 1},
      {"cn char", ul_ccode_is_single_cnchar, Be(0x82358738, 4), kGb, 1},
      {"cn char", ul_ccode_is_single_cnchar, Be(0x82358739, 4), kGb, 0},
      {"cn char", ul_ccode_is_single_cnchar, Be(0x8139EE39, 4), kGbk, 0},
      {"cn char", ul_ccode_is_single_cnchar, U8(0x33FF), kUtf8, 0},
      {"cn char", ul_ccode_is_single_cnchar, U8(0x3400), kUtf8, 1},
      {"cn char", ul_ccode_is_single_cnchar, U8(0x9FCB), kUtf8, 1},
      {"cn char", ul_ccode_is_single_cnchar, U8(0x9FCC), kUtf8, 0},
      {"cn char", ul_ccode_is_single_cnchar, U8(0x2A6D6), kUtf8, 1},
      {"cn char", ul_ccode_is_single_cnchar, U8(0x2A6D7), kUtf8, 0},
      {"katakana", ul_ccode_is_pajm, U8(0x309F), kUtf8, 0}, {"katakana", ul_ccode_is_pajm, U8(0x30A0), kUtf8, 1},
      {"katakana", ul_ccode_is_pajm, U8(0x30F6), kUtf8, 1}, {"katakana", ul_ccode_is_pajm, U8(0x30F7), kUtf8, 0},
      {"katakana", ul_ccode_is_pajm, "\xA5\xF7", kGbk, 0}, {"hiragana", ul_ccode_is_pijm, U8(0x3041), kUtf8, 1},
      {"hiragana", ul_ccode_is_pijm, U8(0x3097), kUtf8, 0}, {"hiragana", ul_ccode_is_pijm, U8(0x3099), kUtf8, 1},
      {"hiragana", ul_ccode_is_pijm, U8(0x30A0), kUtf8, 0}, {"hiragana", ul_ccode_is_pijm, "\xA4\xF3", kGbk, 1},
      {"hiragana", ul_ccode_is_pijm, "\xA4\xF4", kGbk, 0}, {"mark", ul_ccode_is_mark, "-", kAscii, 1},
      {"mark", ul_ccode_is_mark, "5", kAscii, 0}, {"mark", ul_ccode_is_mark, "\xE9", kAscii, 0},
      {"mark", ul_ccode_is_mark, "\xA1\xA1", kGb, 1}, {"mark", ul_ccode_is_mark, "\xA1\xA9", kGb, 0},
      {"mark", ul_ccode_is_mark, "\xA6\xEC", kGbk, 0}, {"mark", ul_ccode_is_mark, "\xA6\xF5", kGbk, 1},
      {"mark", ul_ccode_is_mark, "\xA9\xEF", kGbk, 1}, {"mark", ul_ccode_is_mark, "\xA9\xF0", kGbk, 0},
      {"mark", ul_ccode_is_mark, "\xB0\xA1", kGbk, 0}, {"mark", ul_ccode_is_mark, Be(0x8136A532, 4), kGb, 1},
      {"mark", ul_ccode_is_mark, Be(0x8136A531, 4), kGb, 0},
      {"mark", ul_ccode_is_mark, Be(0x8136A838, 4), kGb, 0},
      {"mark", ul_ccode_is_mark, Be(0x84319B39, 4), kGb, 1},
      {"mark", ul_ccode_is_mark, Be(0x81308439, 4), kGbk, 0}, {"mark", ul_ccode_is_mark, U8(0xA1), kUtf8, 1},
      {"mark", ul_ccode_is_mark, U8(0xA0), kUtf8, 0}, {"mark", ul_ccode_is_mark, U8(0x2614), kUtf8, 0},
      {"mark", ul_ccode_is_mark, U8(0x2610), kUtf8, 1}, {"mark", ul_ccode_is_mark, U8(0x2728), kUtf8, 0},
      {"mark", ul_ccode_is_mark, U8(0xFE53), kUtf8, 0}, {"mark", ul_ccode_is_mark, U8(0xFFEE), kUtf8, 1},
      {"mark", ul_ccode_is_mark, U8(0xFFE6), kUtf8, 0}, {"mark", ul_ccode_is_mark, U8(0x1F600), kUtf8, 0},
      {"mark", ul_ccode_is_mark, "\xE4\xB8", kUtf8, -1}, {"mark", ul_ccode_is_mark, "\x81\x7F", kGb, -1},
      {"mark", ul_ccode_is_mark, "", kUtf8, -1}, {"mark", ul_ccode_is_mark, "-", CODETYPE_BIG5, -1},
  };
  return rows;
}

TEST(CcodeClass, SingleCharacterTests) {
  for (const Row& r : Rows()) {
    EXPECT_EQ(r.fn(r.bytes.c_str(), r.codetype), r.expect) << r.what << " " << r.codetype << " " << r.bytes;
  }
  for (const Row& r : Rows()) {
    errno = 0;
    EXPECT_EQ(r.fn(nullptr, r.codetype), -1) << r.what;
    EXPECT_EQ(errno, EINVAL) << r.what;
  }
}

TEST(CcodeClass, GbkOnlyTests) {
  EXPECT_EQ(ul_ccode_is_EnAscii("z"), 1);
  EXPECT_EQ(ul_ccode_is_EnAscii("["), 0);
  EXPECT_EQ(ul_ccode_is_gb_mark("\xA1\xA2"), 1);
  EXPECT_EQ(ul_ccode_is_gb_mark("\xA9\xA4"), 1);
  EXPECT_EQ(ul_ccode_is_gb_mark("\xAA\xA1"), 0);
  EXPECT_EQ(ul_ccode_is_gb_mark("\xA1"), 0);
  for (const char* s : {"\xA1\xA1", "\xA3\xAC", "\xA1\xA3", "\xA3\xAE"}) EXPECT_EQ(ul_ccode_is_gb_space(s), 1);
  EXPECT_EQ(ul_ccode_is_gb_space("\xA3\xAD"), 0);
  EXPECT_EQ(ul_ccode_2bytes_iscn("\xA0\xA1"), 1);
  EXPECT_EQ(ul_ccode_2bytes_iscn("\xA1\xA1"), 0);
  EXPECT_EQ(ul_ccode_2bytes_iscn("\xAA\xA1"), 1);
  EXPECT_EQ(ul_ccode_is_gb_space(nullptr), -1);
}

TEST(CcodeClass, LanguageMaskTellingRowsAndLanguages) {
  for (const auto& [index, bits] : {std::pair{0x4E2D, 0x0F}, {0x570B, 0x07}, {0x56FD, 0x0E}, {0xD6D0, 0xF0}, {0xB9FA, 0xE0}}) {
    EXPECT_EQ(g_lang_mask[index], bits) << std::hex << index;
  }
  const struct {
    std::string bytes;
    int charlen, langtype, codetype, expect;
  } rows[] = {
      {U8(0x570B), 3, 1, kUtf8, 0}, {U8(0x570B), 3, 2, kUtf8, 1}, {U8(0x56FD), 3, 4, kUtf8, 0},
      {U8(0x3042), 3, 3, kUtf8, 1},  // hiragana: by range, not the mask
      {U8(0x3097), 3, 3, kUtf8, 0}, {U8(0xAC00), 3, 4, kUtf8, 1}, {U8(0xD7B0), 3, 4, kUtf8, 0},
      {U8(0x20000), 4, 2, kUtf8, 1}, {U8(0x20000), 4, 3, kUtf8, 0}, {"\xB9\xFA", 2, 4, kGbk, 0},
      {"\xB9\xFA", 2, 2, kGb, 1}, {"\xA4\xA2", 2, 3, kGbk, 1},  // the kana rows
      {Be(0x81339D36, 4), 4, 4, kGb, 1}, {Be(0x81339D35, 4), 4, 4, kGb, 0}, {Be(0x95328236, 4), 4, 1, kGb, 1},
      {"a", 1, 0, kAscii, 1}, {U8(0x4E2D), 3, 1, kAscii, 0},
      // Languages outside 0..4 index nothing; a wrong length reads nothing past it.
      {U8(0x4E2D), 3, -1, kUtf8, 0}, {U8(0x4E2D), 3, 5, kUtf8, 0}, {U8(0x4E2D), 2, 1, kUtf8, 0},
      {U8(0x4E2D), 3, 1, CODETYPE_BIG5, 0},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(ul_ccode_is_lang(r.bytes.c_str(), r.charlen, r.langtype, r.codetype), r.expect)
        << r.bytes << " " << r.langtype << " " << r.codetype;
  }
  errno = 0;
  EXPECT_EQ(ul_ccode_is_lang(nullptr, 3, 1, kUtf8), -1);
  EXPECT_EQ(errno, EINVAL);
}

TEST(CcodeClass, StringTestsStopAtTheLengthAndTheNul) {
  const std::string gbk = "\xD6\xD0" "a";  // zhong and a letter
  EXPECT_EQ(ul_ccode_include_lang(gbk.c_str(), 3, 0x3, kGbk), 3);
  EXPECT_EQ(ul_ccode_include_lang(gbk.c_str(), 2, 0x3, kGbk), 2);
  EXPECT_EQ(ul_ccode_include_lang("ab", 2, 0x1E, kGbk), 0);
  EXPECT_EQ(ul_ccode_include_lang("\xFF" "a", 2, 0x1, kGbk), 0);  // an invalid character ends it
  EXPECT_EQ(ul_ccode_pure_lang(gbk.c_str(), 2, 1, kGbk), 1);
  EXPECT_EQ(ul_ccode_pure_lang(gbk.c_str(), 3, 1, kGbk), 0);
  EXPECT_EQ(ul_ccode_pure_lang("\xD6\xD0\xFF", 3, 1, kGbk), 1);
  EXPECT_EQ(ul_ccode_pure_ascii("ab\x80", 2), 1);
  EXPECT_EQ(ul_ccode_pure_ascii("ab\x80", 3), 0);
  EXPECT_EQ(ul_ccode_pure_ascii("ab\0\x80", 4), 1);
  EXPECT_EQ(ul_ccode_pure_digit("0129", 4), 1);
  EXPECT_EQ(ul_ccode_pure_digit("01a", 3), 0);
  EXPECT_EQ(ul_ccode_include_alpha("12z", 3), 1);
  EXPECT_EQ(ul_ccode_include_alpha("12z", 2), 0);
  EXPECT_EQ(ul_ccode_include_digit("ab9", 3), 1);
  EXPECT_EQ(ul_ccode_include_punct("ab~", 3), 1);
  EXPECT_EQ(ul_ccode_include_punct("ab ", 3), 0);
  EXPECT_EQ(ul_ccode_include_special("ab\x01", 3, kGb), 1);
  EXPECT_EQ(ul_ccode_include_special("\x81\x30\x81\x30\x01", 5, kGb), 0);  // a four-byte character ends it
  EXPECT_EQ(ul_ccode_include_special("\xC2\x85", 2, kUtf8), 1);
  for (auto fn : {ul_ccode_pure_ascii, ul_ccode_pure_digit, ul_ccode_include_alpha, ul_ccode_include_digit,
                  ul_ccode_include_punct}) {
    errno = 0;
    EXPECT_EQ(fn("a", 0), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(fn(nullptr, 1), -1);
  }
}

TEST(CcodeClass, CountsOnExactSizeBuffers) {
  const std::string text = "a" + U8(0x4E2D) + ",";
  std::unique_ptr<char[]> exact(new char[text.size()]);  // no NUL: a read past it shows under ASan
  memcpy(exact.get(), text.data(), text.size());
  const int n = static_cast<int>(text.size());
  EXPECT_EQ(ul_ccode_word_len(exact.get(), n, kUtf8), 3);
  EXPECT_EQ(ul_ccode_valid_word_len(exact.get(), n, kUtf8), 2);
  EXPECT_EQ(ul_ccode_len(exact.get(), n, kUtf8), 3);
  EXPECT_EQ(ul_ccode_len(exact.get(), n - 2, kUtf8), 1);  // a cut character ends the count
  EXPECT_EQ(ul_ccode_len(exact.get(), 0, kUtf8), 0);
  EXPECT_EQ(ul_ccode_len(exact.get(), -1, kUtf8), -1);
  EXPECT_EQ(ul_ccode_len_nospace(" a\xA1\xA1", 4, kGbk), 1);
  EXPECT_EQ(ul_ccode_len_nospace(" a\xA1\xA1", 0, kGbk), -1);
  EXPECT_EQ(ul_ccode_word_len("a\xE9 b", 4, kAscii), 3);  // the high byte is skipped
  EXPECT_EQ(ul_ccode_valid_word_len("a\xE9 b", 4, kAscii), 2);
  EXPECT_EQ(ul_ccode_valid_word_len("\xA1\xA1\xB0\xA1", 4, kGbk), 1);
  EXPECT_EQ(ul_ccode_valid_word_len(Be(0x8139EE39, 4).c_str(), 4, kGb), 1);
  EXPECT_EQ(ul_ccode_word_len("abc", 3, CODETYPE_BIG5), 0);
}

}  // namespace
