#include "base/string_printf.h"

#include <gtest/gtest.h>
#include <locale.h>
#include <printf.h>
#include <stdarg.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

TEST(StringPrintf, AppendsAndReplaces) {
  std::string s = "a";
  EXPECT_EQ(base::string_appendf(&s, "%d", 12), 0);
  EXPECT_EQ(s, "a12");
  EXPECT_EQ(base::string_printf(&s, "%s-%d", "x", 7), 0);
  EXPECT_EQ(s, "x-7");
  EXPECT_EQ(base::string_printf("%05.1f|%c", 3.14159, 'z'), "003.1|z");
  EXPECT_EQ(base::string_printf("%s", ""), "");
}

TEST(StringPrintf, TextOfExactlyTheSpareRoomComesOutWhole) {
  // Texts a byte shorter than the string's spare room, as long as it and a
  // byte longer come out whole, and so does one longer than a first pass
  // holds: the room a string has spare does not change what is appended.
  for (int delta = -1; delta <= 1; ++delta) {
    std::string s = "abcd";
    s.reserve(16);
    std::string add(s.capacity() - s.size() + delta, 'x');
    std::string want = s + add;
    ASSERT_EQ(base::string_appendf(&s, "%s", add.c_str()), 0);
    ASSERT_EQ(s, want) << delta;
  }
  std::string big(5000, 'q');
  std::string s = "a";
  ASSERT_EQ(base::string_appendf(&s, "%s", big.c_str()), 0);
  EXPECT_EQ(s, "a" + big);
  EXPECT_EQ(base::string_printf("%s", big.c_str()), big);
}

// Texts of every length up to well past a first pass's room, onto an
// empty string, a short one and one with room to spare: each form gives the
// text whole, whether it is formatted once or twice.
TEST(StringPrintf, TextsOfEveryLengthComeOutWhole) {
  const std::string all(2200, 'v');
  for (size_t len = 0; len <= all.size(); ++len) {
    const std::string text = all.substr(0, len);
    for (const size_t room : {size_t{0}, size_t{4096}}) {
      std::string s = "ab";
      s.reserve(room);
      ASSERT_EQ(0, base::string_appendf(&s, "%s|%d", text.c_str(), 7)) << len;
      ASSERT_EQ("ab" + text + "|7", s) << len << " " << room;
      ASSERT_EQ(0, base::string_printf(&s, "%s", text.c_str())) << len;
      ASSERT_EQ(text, s) << len << " " << room;
    }
    ASSERT_EQ(text + "!", base::string_printf("%s!", text.c_str())) << len;
  }
}

// CPU time of the calling thread, in nanoseconds.
double ThreadCpuNs() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e9 + ts.tv_nsec;
}

// An append costs what it appends, whatever room the string has spare: a
// thousand appends onto a string with 4 MiB reserved take about as long as
// onto an empty string (each clearing the whole spare room made them
// thousands of times slower). The best of five rounds; the bound is a ratio.
TEST(StringPrintf, AppendingCostsWhatIsAppended) {
  auto appends = [](size_t reserved) {
    double best = 1e300;
    for (int round = 0; round < 5; ++round) {
      std::string s;
      s.reserve(reserved);
      const double start = ThreadCpuNs();
      for (int i = 0; i < 1000; ++i) base::string_appendf(&s, "%d,", i);
      best = std::min(best, ThreadCpuNs() - start);
      EXPECT_EQ("0,1,2,", s.substr(0, 6));
    }
    return best;
  };
  const double roomy = appends(4 << 20), plain = appends(0);
  std::printf("1000 appends: %.0f us onto 4 MiB of spare room, %.0f us onto an empty string\n",
              roomy / 1e3, plain / 1e3);
  EXPECT_LT(roomy, 10 * plain + 1e5);
}

TEST(StringPrintf, FailedFormatRestoresOrEmpties) {
  // A wide character outside ASCII cannot be converted in the C locale.
  setlocale(LC_ALL, "C");
  const wchar_t wide[] = {0x4E2D, 0};
  std::string s = "old";
  EXPECT_EQ(base::string_appendf(&s, "%ls", wide), -1);
  EXPECT_EQ(s, "old");
  EXPECT_EQ(base::string_printf(&s, "%ls", wide), -1);
  EXPECT_EQ(s, "");
  EXPECT_EQ(base::string_printf("x%ls", wide), "");
}

// A conversion (%W, by the C library's printf extension) whose text is a
// byte longer at each use: the second format of a long text then differs
// from the first.
int g_growing_uses = 0;
int PrintGrowing(FILE* stream, const struct printf_info*, const void* const*) {
  const int len = 1100 + g_growing_uses++;
  for (int i = 0; i < len; ++i) fputc('w', stream);
  return len;
}
int GrowingTakesNoArgument(const struct printf_info*, size_t, int*, int*) { return 0; }

// The forms that take an argument list, called with a format the compiler
// does not check.
int Append(std::string* s, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int rc = base::string_vappendf(s, format, ap);
  va_end(ap);
  return rc;
}
int Replace(std::string* s, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int rc = base::string_vprintf(s, format, ap);
  va_end(ap);
  return rc;
}

// A second format whose length differs from the first fails: the appending
// form keeps the old text, the replacing form leaves the string empty.
TEST(StringPrintf, SecondFormatOfAnotherLengthFails) {
  g_growing_uses = 0;  // counted from this test's start, whatever ran before
  ASSERT_EQ(0, register_printf_specifier('W', PrintGrowing, GrowingTakesNoArgument));
  std::string s = "old";
  EXPECT_EQ(-1, Append(&s, "%W", 0));
  EXPECT_EQ("old", s);
  EXPECT_EQ(-1, Replace(&s, "%W", 0));
  EXPECT_EQ("", s);
  EXPECT_EQ(4, g_growing_uses);
}

}  // namespace
