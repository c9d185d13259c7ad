// The binary loader's building blocks: work split into parts, and value
// strings made in place.
#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "load_parts.h"
#include "value_blocks.h"

namespace kavo {
namespace pbdict {
namespace {

TEST(LoadParts, PartsFor) {
  const struct {
    size_t units, per_part;
    int most, parts;
  } cases[] = {
      {0, 10, 4, 1},   {19, 10, 4, 1},  {20, 10, 4, 2},  {39, 10, 4, 3},
      {40, 10, 4, 4},  {50, 10, 4, 4},  {1000, 10, 1, 1}, {1000, 10, 0, 1},
      {1000, 0, 4, 1}, {~size_t{0}, 1, 8, 8},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.parts, PartsFor(c.units, c.per_part, c.most))
        << c.units << " units, " << c.per_part << " per part, at most " << c.most;
  }
}

TEST(LoadParts, EveryPartRunsOnceWhateverTheOthersReturn) {
  for (int parts : {0, 1, 2, 7}) {
    for (int failing = -1; failing < parts; ++failing) {
      std::vector<std::atomic<int>> runs(static_cast<size_t>(parts));
      const std::thread::id caller = std::this_thread::get_id();
      std::atomic<bool> part0_here{false};
      const bool ok = RunParts(parts, [&](int p) {
        ++runs[static_cast<size_t>(p)];
        if (p == 0) part0_here = std::this_thread::get_id() == caller;
        return p != failing;
      });
      EXPECT_EQ(failing < 0, ok) << parts << " parts, part " << failing << " failing";
      for (int p = 0; p < parts; ++p) EXPECT_EQ(1, runs[static_cast<size_t>(p)].load()) << p;
      if (parts > 0) {
        EXPECT_TRUE(part0_here.load());
      }
    }
  }
}

TEST(LoadParts, UsableCoresAndLargePageHints) {
  EXPECT_GE(UsableCores(), 1);
  // Hints on blocks smaller than a large page, unaligned or null change
  // nothing; on a large block the memory stays usable.
  std::vector<char> small(100, 'x'), large(5 << 20, 'y');
  AdviseLargePages(nullptr, 1 << 22);
  AdviseLargePages(small.data() + 1, small.size() - 1);
  AdviseLargePages(large.data() + 1, large.size() - 1);
  EXPECT_EQ(std::string(100, 'x'), std::string(small.begin(), small.end()));
  EXPECT_EQ('y', large[large.size() / 2]);
}

TEST(ValueBlocks, StringsMadeInPlaceLiveBesideTheOthers) {
  ValueBlocks blocks;
  std::string* first = blocks.New();
  ASSERT_NE(nullptr, first);
  *first = std::string(100, 'a');
  for (size_t n : {size_t{0}, size_t{1}, size_t{3}}) {
    std::string* made = blocks.Unconstructed(n);
    ASSERT_NE(nullptr, made);
    // Long strings own memory that the release must free (checked by the
    // address sanitizer).
    for (size_t i = 0; i < n; ++i) new (&made[i]) std::string(50 + i, static_cast<char>('b' + i));
    std::string* after = blocks.New();
    ASSERT_NE(nullptr, after);
    EXPECT_TRUE(after->empty());
    for (size_t i = 0; i < n; ++i) {
      EXPECT_NE(&made[i], after);
      EXPECT_EQ(std::string(50 + i, static_cast<char>('b' + i)), made[i]);
    }
  }
  EXPECT_EQ(std::string(100, 'a'), *first);
  blocks.Release();
  std::string* again = blocks.New();
  ASSERT_NE(nullptr, again);
  EXPECT_TRUE(again->empty());
}

}  // namespace
}  // namespace pbdict
}  // namespace kavo
