#include "utils/ccode_autobuffer.h"

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
struct BudgetPool : ccode::mempool {
  explicit BudgetPool(int n) : budget(n) {}
  void* malloc(size_t size) override { return budget-- > 0 ? std::malloc(size) : nullptr; }
  void free(void* ptr, size_t size) override {
    freed.push_back(size);
    std::free(ptr);
  }
  int budget;
  std::vector<size_t> freed;
};

// "text size/capacity", and " cut" while the truncated flag is up.
std::string State(const ccode::AutoBuffer& b) {
  return b.c_str() + (" " + std::to_string(b.size())) + "/" + std::to_string(b.capacity()) +
         (b.truncated() ? " cut" : "");
}

TEST(AutoBufferTest, GrowsToTwiceCapacityOrWhatIsNeeded) {
  ccode::AutoBuffer buf(4);
  buf.push("ab").push("0123456789", 10);
  EXPECT_EQ(State(buf), "ab0123456789 12/12");  // max(2 * 4, 2 + 10)
  buf.push("x", 1);
  EXPECT_EQ(State(buf), "ab0123456789x 13/24");

  ccode::AutoBuffer none(0);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(State(none), " 0/0");
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
    buf.push("hello").push("0123456789", 10);
    EXPECT_EQ(State(buf), "hello012 8/8 cut");
    buf.push(nullptr);  // only clears the flag
    EXPECT_EQ(State(buf), "hello012 8/8");
    buf.pushf("%d", 5);
    EXPECT_EQ(State(buf), "hello012 8/8 cut");
    buf.pushf("%s", "");  // an empty result fits: the flag is cleared
    EXPECT_EQ(State(buf), "hello012 8/8");
  }
  EXPECT_EQ(pool.freed, (std::vector<size_t>{9}));  // capacity + 1

  // A formatted append whose growth fails keeps the first pass, cut at the capacity.
  BudgetPool one(1);
  ccode::AutoBuffer cut(one, 6);
  cut.pushf("%s", "abcdefghij");
  EXPECT_EQ(State(cut), "abcdef 6/6 cut");
}

TEST(AutoBufferTest, PushfMatchesSnprintf) {
  char want[256];
  std::snprintf(want, sizeof(want), "pre%s-%d-%05.1f|%s", "a long argument string", 12345, 3.14159, "tail");
  for (size_t capacity : {4, 0}) {
    ccode::AutoBuffer buf(capacity);
    buf.push("pre").pushf("%s-%d-%05.1f|%s", "a long argument string", 12345, 3.14159, "tail");
    EXPECT_STREQ(buf.c_str(), want) << capacity;
    buf.pushf(nullptr).pushf("%s", "");
    EXPECT_STREQ(buf.c_str(), want) << capacity;
  }
}

TEST(AutoBufferTest, TransferFrom) {
  BudgetPool pool(4);
  ccode::AutoBuffer a(pool, 16), b(8);
  a.push("text");
  b.push("old");
  b.transfer_from(a);
  EXPECT_EQ(State(b), "text 4/16");
  EXPECT_EQ(State(a), " 0/0");
  b.transfer_from(b);
  EXPECT_EQ(State(b), "text 4/16");
  a.push("again");  // a keeps its pool
  EXPECT_STREQ(a.c_str(), "again");
  EXPECT_EQ(pool.budget, 2);
}

}  // namespace
