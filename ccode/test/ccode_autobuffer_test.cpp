#include "ccode_autobuffer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// A copy would free the same storage twice.
static_assert(!std::is_copy_constructible_v<ccode::AutoBuffer> && !std::is_copy_assignable_v<ccode::AutoBuffer>);

// Serves `budget` allocations from the system, then refuses; records the
// sizes it is given back.
class BudgetPool : public ccode::mempool {
 public:
  explicit BudgetPool(int budget) : budget_(budget) {}
  void* malloc(size_t size) override { return budget_-- > 0 ? std::malloc(size) : nullptr; }
  void free(void* ptr, size_t size) override {
    freed.push_back(size);
    std::free(ptr);
  }
  std::vector<size_t> freed;

 private:
  int budget_;
};

TEST(AutoBufferTest, GrowsToTwiceCapacityOrWhatIsNeeded) {
  ccode::AutoBuffer buf(4);
  buf.push("ab");
  buf.push("0123456789", 10);
  EXPECT_EQ(buf.capacity(), 12u);  // max(2 * 4, 2 + 10)
  EXPECT_STREQ(buf.c_str(), "ab0123456789");
  buf.push("x", 1);
  EXPECT_EQ(buf.capacity(), 24u);
  EXPECT_EQ(buf.size(), 13u);
  EXPECT_FALSE(buf.truncated());

  ccode::AutoBuffer none(0);
  EXPECT_STREQ(none.c_str(), "");
  EXPECT_TRUE(none.empty());
  none << "abc" << 42 << ' ' << true << false << -7L << 2.5;
  EXPECT_STREQ(none.c_str(), "abc42 truefalse-72.5");

  // Its own text, appended while the storage moves.
  ccode::AutoBuffer self(5);
  self.push("abcde");
  self.push(self.c_str(), self.size());
  EXPECT_STREQ(self.c_str(), "abcdeabcde");
}

TEST(AutoBufferTest, FailedPoolKeepsWhatFits) {
  BudgetPool pool(1);
  {
    ccode::AutoBuffer buf(pool, 8);
    buf.push("hello");
    buf.push("0123456789", 10);
    EXPECT_EQ(buf.size(), 8u);
    EXPECT_EQ(buf.capacity(), 8u);
    EXPECT_TRUE(buf.truncated());
    EXPECT_STREQ(buf.c_str(), "hello012");
    buf.push(nullptr);  // only clears the flag
    EXPECT_FALSE(buf.truncated());
    buf.pushf("%d", 5);
    EXPECT_TRUE(buf.truncated());
    EXPECT_STREQ(buf.c_str(), "hello012");
    buf.pushf("%s", "");  // an empty result fits: the flag is cleared
    EXPECT_FALSE(buf.truncated());
  }
  EXPECT_EQ(pool.freed, (std::vector<size_t>{9}));  // capacity + 1

  // A formatted append whose growth fails keeps the first pass, cut at the capacity.
  BudgetPool one(1);
  ccode::AutoBuffer cut(one, 6);
  cut.pushf("%s", "abcdefghij");
  EXPECT_STREQ(cut.c_str(), "abcdef");
  EXPECT_TRUE(cut.truncated());
}

TEST(AutoBufferTest, PushfMatchesSnprintf) {
  char want[256];
  std::snprintf(want, sizeof(want), "pre%s-%d-%05.1f|%s", "a long argument string", 12345, 3.14159, "tail");
  for (size_t capacity : {4, 0}) {
    ccode::AutoBuffer buf(capacity);
    buf.push("pre");
    buf.pushf("%s-%d-%05.1f|%s", "a long argument string", 12345, 3.14159, "tail");
    EXPECT_STREQ(buf.c_str(), want) << capacity;
    buf.pushf(nullptr);
    buf.pushf("%s", "");
    EXPECT_STREQ(buf.c_str(), want) << capacity;
  }
}

TEST(AutoBufferTest, TransferFrom) {
  BudgetPool pool(4);
  ccode::AutoBuffer a(pool, 16);
  a.push("text");
  ccode::AutoBuffer b(8);
  b.push("old");
  b.transfer_from(a);
  EXPECT_STREQ(b.c_str(), "text");
  EXPECT_EQ(b.capacity(), 16u);
  EXPECT_STREQ(a.c_str(), "");
  EXPECT_EQ(a.capacity(), 0u);
  b.transfer_from(b);
  EXPECT_STREQ(b.c_str(), "text");
  a.push("again");  // a keeps its pool
  EXPECT_STREQ(a.c_str(), "again");
}

}  // namespace
