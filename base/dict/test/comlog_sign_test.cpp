// The logging framework keys its registry with its own copy of the string
// signature: it must give what the dictionary's creat_sign_f64 gives.
#include <cstring>
#include <string>

#include "comlog/xutils.h"
#include "gtest/gtest.h"
#include "ul_prime.h"
#include "ul_sign.h"

namespace {

TEST(ComlogSignature, EqualsTheDictionarySignature) {
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(comspace::x_Mod_Prime_List_1[i], Mod_Prime_List_1[i]) << i;
    ASSERT_EQ(comspace::x_Mod_Prime_List_2[i], Mod_Prime_List_2[i]) << i;
  }
  // Every length class (copied, split, summed), bytes above 0x7F, and
  // strings long enough to wrap the tables and the 32-bit sums.
  for (int len : {0, 1, 4, 5, 8, 9, 255, 256, 257, 300, 5000}) {
    std::string s;
    for (int i = 0; i < len; ++i) s.push_back(static_cast<char>(1 + (i * 37 + len) % 255));
    u_int a1 = 0, a2 = 0, b1 = 1, b2 = 1;
    creat_sign_f64(s.c_str(), len, &a1, &a2);
    comspace::x_creat_sign_f64(s.c_str(), len, &b1, &b2);
    EXPECT_EQ(b1, a1) << len;
    EXPECT_EQ(b2, a2) << len;
  }
}

}  // namespace
