#include "ul_string.h"

#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dep_file.h"
#include "support/support.h"

namespace {

std::vector<char> LettersTable() {
  std::vector<char> t(256, 0);
  for (int c = 'a'; c <= 'z'; ++c) t[c] = 1;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = 1;
  return t;
}

TEST(UlString, SgetwWalksWords) {
  auto table = LettersTable();
  char line[] = "  ab  cd";
  char word[sizeof(line)];
  char* p = ul_sgetw(line, word, table.data());
  EXPECT_STREQ("ab", word);
  p = ul_sgetw(p, word, table.data());
  EXPECT_STREQ("cd", word);
  EXPECT_EQ('\0', *p);
  p = ul_sgetw(p, word, table.data());
  EXPECT_STREQ("", word);
  EXPECT_EQ(line + strlen(line), p);

  // High bytes index the table as unsigned values.
  std::vector<char> high(256, 0);
  for (int c = 0x80; c < 256; ++c) high[c] = 1;
  char utf8[] = "\xE4\xB8\xAD x";
  char w2[sizeof(utf8)];
  ul_sgetw(utf8, w2, high.data());
  EXPECT_STREQ("\xE4\xB8\xAD", w2);
}

TEST(UlString, SgetwAnaSplitsDoubleByteCharacters) {
  auto table = LettersTable();
  char line[] = "ab\xB0\xA1" "cd";
  char word[sizeof(line)];
  char* p = ul_sgetw_ana(line, word, table.data());
  EXPECT_STREQ("ab", word);
  p = ul_sgetw_ana(p, word, table.data());
  EXPECT_STREQ("\xB0\xA1", word);
  p = ul_sgetw_ana(p, word, table.data());
  EXPECT_STREQ("cd", word);
  EXPECT_EQ('\0', *p);

  // A lone high byte that the table marks as a word byte, right before the
  // terminator, is taken alone (exact-size heap copy, so ASan sees any read
  // past the NUL).
  auto high = LettersTable();
  high[0xC0] = 1;
  std::vector<char> lone = {'a', ' ', '\xC0', '\0'};
  std::vector<char> w(lone.size());
  p = ul_sgetw_ana(lone.data(), w.data(), high.data());
  EXPECT_STREQ("a", w.data());
  p = ul_sgetw_ana(p, w.data(), high.data());
  EXPECT_STREQ("\xC0", w.data());
  EXPECT_EQ(lone.data() + 3, p);
  // Unmarked, it is a separator like any other.
  p = ul_sgetw_ana(lone.data(), w.data(), table.data());
  EXPECT_EQ(lone.data() + 3, p);
}

TEST(UlString, StrncasecmpCountsFromTheFirstDifference) {
  EXPECT_EQ(0, ul_strncasecmp("ABC", "abd", 2));
  EXPECT_EQ(1, ul_strncasecmp("ABC", "abd", 3));
  EXPECT_EQ(3, ul_strncasecmp("xAB", "yab", 3));
  EXPECT_NE(0, ul_strncasecmp("\xC1", "\xE1", 1));
  // NUL is an ordinary byte, and exactly n bytes are read.
  std::vector<char> a = {'a', '\0', 'b'}, b = {'A', '\0', 'B'}, c = {'a', '\0', 'c'};
  EXPECT_EQ(0, ul_strncasecmp(a.data(), b.data(), 3));
  EXPECT_EQ(1, ul_strncasecmp(a.data(), c.data(), 3));
}

TEST(UlString, CaseFolding) {
  EXPECT_EQ('a', ul_tolower('A'));
  EXPECT_EQ(0xC1, ul_tolower(0xC1));
  EXPECT_EQ('z', ul_tolower('Z' + 256));
  char dst[16];
  EXPECT_EQ(1, ul_tolowerstr(dst, "AbC\xC1"));
  EXPECT_STREQ("abc\xC1", dst);
  EXPECT_EQ(0, ul_tolowerstr(nullptr, "x"));
  char s[] = "HeLLo";
  EXPECT_EQ(1, ul_tolowerstr_singlebuf(s));
  EXPECT_STREQ("hello", s);
  EXPECT_EQ(0, ul_tolowerstr_singlebuf(nullptr));
  for (int i = 0; i < 256; ++i) EXPECT_EQ(UL_CHAR_ALPHA_LOW[i], G_MAP[i]);
}

TEST(UlString, BoundedCopyAndConcatenation) {
  char buf[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(6u, ul_strlcpy(buf, "abcdef", sizeof(buf)));
  EXPECT_STREQ("abc", buf);
  char untouched = 'q';
  EXPECT_EQ(6u, ul_strlcpy(&untouched, "abcdef", 0));
  EXPECT_EQ('q', untouched);

  char cat[5] = "ab";
  EXPECT_EQ(6u, ul_strlcat(cat, "cdef", sizeof(cat)));
  EXPECT_STREQ("abcd", cat);
  char full[3] = {'a', 'b', 'c'};  // no terminator within size
  EXPECT_EQ(3u + 2u, ul_strlcat(full, "de", sizeof(full)));
  EXPECT_EQ('c', full[2]);
}

TEST(UlString, ProgressLine) {
  const std::string bs(70, '\b');
  testsupport::CaptureFd out(1);
  ul_showgocmp("x", 10, 3);
  ul_showgocmp("x", -1, 3);
  ul_showgo("n", 5);
  EXPECT_EQ(0, ul_showgoend("y", 2, 2));
  EXPECT_EQ(bs + "x : 3/10" + bs + "x : 3/unknown" + bs + "n : 5" + bs + "y : 2/2\n", out.Stop());
}

}  // namespace
