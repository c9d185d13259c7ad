#include "ul_ccode_class.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ul_ccode_next.h"
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

// A range of a class list, as the list gives it: lo..hi without the
// numbers in except.
struct Listed {
  unsigned lo, hi;
  std::vector<unsigned> except;
};

bool InListed(const std::vector<Listed>& list, unsigned v) {
  for (const Listed& r : list) {
    if (v >= r.lo && v <= r.hi && std::find(r.except.begin(), r.except.end(), v) == r.except.end()) return true;
  }
  return false;
}

// The GB18030 four-byte code n steps after v (n may be negative).
unsigned Gb4Step(unsigned v, int n) {
  const unsigned b0 = v >> 24, b1 = v >> 16 & 0xFF, b2 = v >> 8 & 0xFF, b3 = v & 0xFF;
  const long idx = (((b0 - 0x81L) * 10 + (b1 - 0x30)) * 126 + (b2 - 0x81)) * 10 + (b3 - 0x30) + n;
  return static_cast<unsigned>((0x81 + idx / 12600) << 24 | (0x30 + idx / 1260 % 10) << 16 |
                               (0x81 + idx / 10 % 126) << 8 | (0x30 + idx % 10));
}

// One class list: each range at both ends and one past, and each exception
// with its neighbours. A number whose bytes are no character of the code
// type is passed over; fn answers 1 exactly for the numbers the list (or
// also) holds.
struct ClassList {
  const char* what;
  std::vector<Listed> list;
  int codetype;  // CODETYPE_UTF8: code points; CODETYPE_GBK: pairs; CODETYPE_GB: four-byte codes
  std::function<int(const char*)> fn;
  std::vector<Listed> also;  // numbers another test answers 1 for first
};

void CheckEnds(const ClassList& c) {
  auto step = [&](unsigned v, int n) { return c.codetype == CODETYPE_GB ? Gb4Step(v, n) : v + n; };
  auto bytes = [&](unsigned v) {
    const std::string s = c.codetype == CODETYPE_UTF8 ? U8(v) : Be(v, c.codetype == CODETYPE_GB ? 4 : 2);
    return ul_ccode_next(s.c_str(), c.codetype) == static_cast<int>(s.size()) ? s : std::string();
  };
  for (const Listed& r : c.list) {
    std::vector<unsigned> probes = {r.lo, r.hi, step(r.lo, -1), step(r.hi, 1)};
    for (unsigned e : r.except) probes.insert(probes.end(), {e, step(e, -1), step(e, 1)});
    int checked = 0;
    for (unsigned v : probes) {
      const std::string s = bytes(v);
      if (s.empty()) continue;
      ++checked;
      const int expect = InListed(c.list, v) || InListed(c.also, v) ? 1 : 0;
      EXPECT_EQ(c.fn(s.c_str()), expect) << c.what << " " << std::hex << v;
    }
    EXPECT_GE(checked, 2) << c.what << " " << std::hex << r.lo;  // both ends are characters
  }
}

TEST(CcodeClass, EveryRangeListAtItsEnds) {
  const std::vector<Listed> punct_gb = {
      {0xA1A2, 0xA1FE, {0xA1A9}}, {0xA3A1, 0xA3AF, {}}, {0xA3BA, 0xA3C0, {}}, {0xA3DB, 0xA3E0, {}}, {0xA3FB, 0xA3FE, {}}};
  const std::vector<Listed> punct_utf8 = {
      {0x2010, 0x2027, {}}, {0x2030, 0x205E, {}}, {0x2062, 0x2064, {}}, {0x3001, 0x3020, {}}, {0xFE10, 0xFE19, {}},
      {0xFE30, 0xFE4F, {}}, {0xFF01, 0xFF0F, {}}, {0xFF1A, 0xFF20, {}}, {0xFF3B, 0xFF40, {}}, {0xFF5B, 0xFF65, {}}};
  const std::vector<Listed> mark_utf8 = {
      {0x00A1, 0x00A9, {}}, {0x00AB, 0x00AC, {}}, {0x00AE, 0x00B1, {}}, {0x00B4, 0x00B4, {}}, {0x00B6, 0x00BB, {}},
      {0x00D7, 0x00D7, {}}, {0x00F7, 0x00F7, {}}, {0x02C7, 0x02C7, {}}, {0x02C9, 0x02CB, {}}, {0x02D9, 0x02D9, {}},
      {0xFF9E, 0xFF9F, {}}, {0xFE30, 0xFE44, {0xFE32}}, {0xFE49, 0xFE6B, {0xFE53, 0xFE58, 0xFE67}},
      {0xFF01, 0xFF0F, {}}, {0xFF1A, 0xFF20, {}}, {0xFF3B, 0xFF40, {}}, {0xFF5B, 0xFF5E, {}},
      {0xFFE0, 0xFFEE, {0xFFE6, 0xFFE7}}, {0x21A0, 0x21EA, {}}, {0x22A0, 0x22F1, {}}, {0x25A0, 0x25EF, {}},
      {0x27A0, 0x27BE, {0x27B0}}, {0x30FB, 0x30FB, {}}, {0x201A, 0x201F, {}}, {0x203A, 0x203F, {}},
      {0x219A, 0x219F, {}}, {0x2440, 0x244A, {}}, {0x270C, 0x270F, {}}, {0x279A, 0x279F, {}}, {0x303F, 0x303F, {}},
      {0x309A, 0x309A, {}}, {0x2040, 0x2046, {0x2044}}, {0x2103, 0x2103, {}}, {0x2105, 0x2105, {}},
      {0x2109, 0x2109, {}}, {0x2116, 0x2116, {}}, {0x2190, 0x2199, {}}, {0x2370, 0x2373, {}}, {0x2590, 0x2595, {}},
      {0x2610, 0x2613, {}}, {0x261A, 0x261F, {}}, {0x2701, 0x2709, {0x2705}}, {0x2761, 0x2767, {}},
      {0x2794, 0x2794, {}}, {0x2798, 0x2799, {}}, {0x3000, 0x3009, {0x3005, 0x3006}}, {0x3010, 0x3019, {}},
      {0x3020, 0x3020, {}}, {0x3099, 0x3099, {}}, {0x3030, 0x3037, {}}, {0x2200, 0x229F, {}},
      {0x2300, 0x236F, {0x2301}}, {0x2500, 0x258F, {}},
      {0x2600, 0x266F, {0x2610, 0x2611, 0x2612, 0x2613, 0x2614, 0x2615, 0x2616, 0x2617, 0x2618, 0x2619, 0x261A,
                        0x261B, 0x261C, 0x261D, 0x261E, 0x261F}},
      {0x2710, 0x275F, {0x2728, 0x2753, 0x2754, 0x2755, 0x2757, 0x275C, 0x275E, 0x275F}},
      {0x300A, 0x300F, {}}, {0x301A, 0x301F, {}}, {0x302A, 0x302F, {}}, {0x2010, 0x2019, {}},
      {0x2020, 0x2027, {}}, {0x2030, 0x2039, {}}};
  const std::vector<Listed> mark_gb = {
      {0xA1A1, 0xA1FE, {0xA1A9}}, {0xA3A1, 0xA3AF, {}}, {0xA3BA, 0xA3C0, {}}, {0xA3DB, 0xA3E0, {}},
      {0xA3FB, 0xA3FE, {}}, {0xA6E0, 0xA6F5, {0xA6EC, 0xA6ED, 0xA6F3}}, {0xA840, 0xA895, {}},
      {0xA955, 0xA957, {}}, {0xA95C, 0xA95C, {}}, {0xA968, 0xA988, {}}, {0xA996, 0xA996, {}}, {0xA9A4, 0xA9EF, {}}};
  const std::vector<Listed> mark_gb4 = {
      {0x8136A532, 0x8136A539, {}}, {0x8136A630, 0x8136A634, {}}, {0x8136A733, 0x8136A739, {}},
      {0x8136A830, 0x8136A839, {0x8136A838}}, {0x8136A930, 0x8136A930, {}}, {0x8136C732, 0x8136CF34, {}},
      {0x8136D136, 0x8136E630, {}}, {0x8136E735, 0x8136F239, {0x8136E736, 0x8136F232}},
      {0x81378934, 0x81378A34, {}}, {0x81379736, 0x81379935, {}}, {0x81379A36, 0x8137A130, {}},
      {0x8137A237, 0x8137A433, {}}, {0x8137A530, 0x8137AD33, {}}, {0x8137BB39, 0x8137BB39, {}},
      {0x8137BC30, 0x8137BC32, {}}, {0x8137BC34, 0x8137BC37, {}},
      {0x8137BD30, 0x8137C430, {0x8137BF38, 0x8137C334, 0x8137C336}}, {0x8137C434, 0x8137C434, {}},
      {0x8137C436, 0x8137C631, {0x8137C533, 0x8137C534}}, {0x8137CA36, 0x8137CA36, {}},
      {0x8137CB30, 0x8137CE38, {0x8137CD34}}, {0x8139A336, 0x8139A537, {}}, {0x8139A634, 0x8139A634, {}},
      {0x8139A731, 0x8139A732, {}}, {0x8139A739, 0x8139A739, {}}, {0x8431A236, 0x8431A332, {}},
      {0x81308433, 0x81308633, {0x81308439, 0x81308532, 0x81308535, 0x81308536, 0x81308538}},
      {0x84319B38, 0x84319B38, {}}, {0x84319B39, 0x84319B39, {}}};
  const std::vector<Listed> cjk_utf8 = {{0x4E00, 0x9FCB, {}}, {0x3400, 0x4DBF, {}}, {0x20000, 0x2A6D6, {}}};
  const std::vector<Listed> cjk_gb4 = {{0x8139EE39, 0x82358738, {}}, {0x95328236, 0x9835F336, {}}};
  const std::vector<Listed> korean_gb4 = {
      {0x81339D36, 0x8133B635, {}}, {0x8139A933, 0x8139B734, {}}, {0x8237CF35, 0x8336BE36, {}}};
  auto with = [](int (*fn)(const char*, int), int codetype) {
    return [fn, codetype](const char* s) { return fn(s, codetype); };
  };
  auto lang = [](int charlen, int langtype, int codetype) {
    return [=](const char* s) { return ul_ccode_is_lang(s, charlen, langtype, codetype); };
  };
  const ClassList lists[] = {
      {"punct gb", punct_gb, kGbk, with(ul_ccode_ispunct, kGb), {}},
      {"punct utf8", punct_utf8, kUtf8, with(ul_ccode_ispunct, kUtf8), {}},
      {"mark utf8", mark_utf8, kUtf8, with(ul_ccode_is_mark, kUtf8), punct_utf8},
      {"mark gb", mark_gb, kGbk, with(ul_ccode_is_mark, kGbk), {}},
      {"mark gb four", mark_gb4, kGb, with(ul_ccode_is_mark, kGb), {}},
      {"katakana utf8", {{0x30A0, 0x30F6, {}}}, kUtf8, with(ul_ccode_is_pajm, kUtf8), {}},
      {"katakana gb", {{0xA5A1, 0xA5F6, {}}}, kGbk, with(ul_ccode_is_pajm, kGbk), {}},
      {"hiragana utf8", {{0x3041, 0x309F, {0x3097, 0x3098}}}, kUtf8, with(ul_ccode_is_pijm, kUtf8), {}},
      {"hiragana gb", {{0xA4A1, 0xA4F3, {}}}, kGbk, with(ul_ccode_is_pijm, kGb), {}},
      {"cn char utf8", cjk_utf8, kUtf8, with(ul_ccode_is_single_cnchar, kUtf8), {}},
      {"cn char gb four", cjk_gb4, kGb, with(ul_ccode_is_single_cnchar, kGb), {}},
      {"simplified gb four", cjk_gb4, kGb, lang(4, 1, kGb), {}},
      {"korean gb four", korean_gb4, kGb, lang(4, 4, kGb), {}},
      {"hangul utf8", {{0xAC00, 0xD7AF, {}}, {0x1100, 0x11FF, {}}, {0x3130, 0x318F, {}}, {0xFF00, 0xFFEF, {}}},
       kUtf8, lang(3, 4, kUtf8), {}},
  };
  for (const ClassList& c : lists) CheckEnds(c);
}

}  // namespace
