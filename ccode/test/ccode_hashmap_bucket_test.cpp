// Look-ups by a caller-computed bucket: the prefix hash step, get_in with a
// string_view key, and buckets at and past the table's end.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "utils/ccode_hashmap.h"

namespace {

using StrMap = ccode::hashmap<std::string, int>;

// Stepping byte by byte gives the string hash of every prefix, bytes of
// 0x80 and above counting as negative.
TEST(HashmapBucket, HashStepGivesEveryPrefixHash) {
  const std::string s = "ab\xE6\x96\x87\xFF" "z";
  uint64_t h = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    h = ccode::__ccode_hash_step(h, s[i]);
    EXPECT_EQ(ccode::__ccode_hash_string(s.substr(0, i + 1).c_str()), h) << i;
  }
}

TEST(HashmapBucket, GetInFindsKeysInTheirBucketOnly) {
  StrMap m;
  ASSERT_EQ(0, m.create(7));
  ASSERT_EQ(7u, m.bucket_count());
  const std::string keys[] = {"a", "bb", "\xE6\x96\x87", "long key past the short-string buffer"};
  for (int i = 0; i < 4; ++i) m.set(keys[i], i + 10, 0);
  const std::string text = "xx" + keys[3] + "yy";
  for (int i = 0; i < 4; ++i) {
    const size_t b = ccode::xhash<std::string>()(keys[i]) % m.bucket_count();
    int v = -1;
    EXPECT_EQ(ccode::CCODE_HASH_EXIST, m.get_in(b, std::string_view(keys[i]), &v)) << i;
    EXPECT_EQ(i + 10, v);
    m.prefetch_bucket(b);
  }
  // A key inside a longer text, and a prefix of a stored key.
  const size_t b3 = ccode::xhash<std::string>()(keys[3]) % 7;
  EXPECT_EQ(ccode::CCODE_HASH_EXIST, m.get_in(b3, std::string_view(text).substr(2, keys[3].size()), nullptr));
  EXPECT_EQ(ccode::CCODE_HASH_NOEXIST, m.get_in(b3, std::string_view(keys[3]).substr(0, 8), nullptr));
  // The last bucket is searched; one past the end is refused, not read.
  std::string in_last = "k";
  while (ccode::xhash<std::string>()(in_last) % 7 != 6) in_last += 'k';
  m.set(in_last, 1, 0);
  EXPECT_EQ(ccode::CCODE_HASH_EXIST, m.get_in(6, std::string_view(in_last), nullptr));
  EXPECT_EQ(ccode::CCODE_HASH_NOEXIST, m.get_in(7, std::string_view("a"), nullptr));
  m.prefetch_bucket(7);
  // A map never created has no buckets.
  StrMap empty;
  EXPECT_EQ(0u, empty.bucket_count());
  EXPECT_EQ(ccode::CCODE_HASH_NOEXIST, empty.get_in(0, std::string_view("a"), nullptr));
  empty.prefetch_bucket(0);
}

}  // namespace
