#include "base/string_printf.h"

#include <gtest/gtest.h>
#include <locale.h>

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
  // The NUL needs a byte of its own: n == spare room must take the second pass.
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

}  // namespace
