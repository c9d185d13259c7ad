// The binary loader's building blocks: work split into parts, and value
// strings made in place.
#include <sched.h>
#include <sys/mman.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <new>
#include <string>
#include <thread>
#include <utility>
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
  for (int parts : {0, 1, 2, 7, kMostPartThreads + 1, kMostPartThreads + 3}) {
    for (int failing = -1; failing < parts; ++failing) {
      std::vector<int> runs(static_cast<size_t>(parts));
      std::vector<std::thread::id> where(static_cast<size_t>(parts));
      const bool ok = RunParts(parts, [&](int p) {
        ++runs[static_cast<size_t>(p)];
        where[static_cast<size_t>(p)] = std::this_thread::get_id();
        return p != failing;
      });
      EXPECT_EQ(failing < 0, ok) << parts << " parts, part " << failing << " failing";
      for (int p = 0; p < parts; ++p) {
        EXPECT_EQ(1, runs[static_cast<size_t>(p)]) << p;
        // The first part and the parts beyond the threads run on the caller.
        EXPECT_EQ(p == 0 || p > kMostPartThreads,
                  where[static_cast<size_t>(p)] == std::this_thread::get_id())
            << p;
      }
    }
  }
}

// The address ranges of this process that carry the large-page hint.
std::vector<std::pair<uintptr_t, uintptr_t>> HintedRanges() {
  std::vector<std::pair<uintptr_t, uintptr_t>> out;
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  uintptr_t start = 0, end = 0;
  while (std::getline(smaps, line)) {
    unsigned long long a = 0, b = 0;
    if (std::sscanf(line.c_str(), "%llx-%llx ", &a, &b) == 2 && line.find(':') > line.find(' ')) {
      start = static_cast<uintptr_t>(a);
      end = static_cast<uintptr_t>(b);
    } else if (line.compare(0, 8, "VmFlags:") == 0 && line.find(" hg") != std::string::npos) {
      out.emplace_back(start, end);
    }
  }
  return out;
}

TEST(LoadParts, LargePageHintCoversTheWholeLargePagesInside) {
  const size_t kLarge = size_t{1} << 21;
  const struct {
    size_t from, bytes;  // the block, from the first large page boundary
    size_t first, last;  // the hinted large pages; first == last: none
  } cases[] = {
      {0, kLarge, 0, kLarge},                          // exactly one page
      {1, 3 * kLarge - 1, kLarge, 3 * kLarge},         // ends on a boundary
      {1, 3 * kLarge - 2, kLarge, 2 * kLarge},         // one byte short of it
      {kLarge - 1, kLarge + 1, kLarge, 2 * kLarge},    // starts one byte before one
      {kLarge + 1, kLarge + 1, 0, 0},                  // no whole page inside
  };
  // Whether the kernel takes the hint at all.
  void* probe = mmap(nullptr, 2 * kLarge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(MAP_FAILED, probe);
  const uintptr_t aligned = (reinterpret_cast<uintptr_t>(probe) + kLarge - 1) & ~(kLarge - 1);
  const bool hints = madvise(reinterpret_cast<void*>(aligned), kLarge, MADV_HUGEPAGE) == 0;
  munmap(probe, 2 * kLarge);
  if (!hints) GTEST_SKIP() << "the kernel takes no large-page hints";
  for (const auto& c : cases) {
    void* map = mmap(nullptr, 5 * kLarge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, map);
    const uintptr_t base = (reinterpret_cast<uintptr_t>(map) + kLarge - 1) & ~(kLarge - 1);
    EXPECT_EQ(c.first != c.last, AdviseLargePages(reinterpret_cast<char*>(base + c.from), c.bytes))
        << c.from;
    std::vector<std::pair<uintptr_t, uintptr_t>> inside;
    for (const auto& r : HintedRanges()) {
      if (r.first < base + 4 * kLarge && r.second > base) inside.push_back(r);
    }
    munmap(map, 5 * kLarge);
    if (c.first == c.last) {
      EXPECT_TRUE(inside.empty()) << c.from;
    } else {
      ASSERT_EQ(1u, inside.size()) << c.from;
      EXPECT_EQ(base + c.first, inside[0].first) << c.from;
      EXPECT_EQ(base + c.last, inside[0].second) << c.from;
    }
  }
  EXPECT_FALSE(AdviseLargePages(nullptr, 4 * kLarge));
}

TEST(LoadParts, UsableCoresFollowsTheAffinityMask) {
  cpu_set_t all, one;
  ASSERT_EQ(0, sched_getaffinity(0, sizeof(all), &all));
  EXPECT_EQ(CPU_COUNT(&all), UsableCores());
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu(), &one);
  ASSERT_EQ(0, sched_setaffinity(0, sizeof(one), &one));
  EXPECT_EQ(1, UsableCores());
  ASSERT_EQ(0, sched_setaffinity(0, sizeof(all), &all));
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
  // Room for more strings than memory can address is refused before any
  // allocation (whose size would wrap); the blocks stay as they were.
  const size_t most = ~size_t{0} / sizeof(std::string);
  EXPECT_EQ(nullptr, blocks.Unconstructed(most + 1));
  EXPECT_EQ(nullptr, blocks.Unconstructed(~size_t{0}));
  EXPECT_EQ(std::string(100, 'a'), *first);
  blocks.Release();
  std::string* again = blocks.New();
  ASSERT_NE(nullptr, again);
  EXPECT_TRUE(again->empty());
}

TEST(ValueBlocks, StringsHandedOutOneByOneStayWhereTheyAre) {
  // Past the first block (256 strings) and past the largest (65,536).
  ValueBlocks blocks;
  std::vector<std::string*> made;
  for (size_t i = 0; i < 65536 + 257; ++i) {
    made.push_back(blocks.New());
    ASSERT_NE(nullptr, made.back());
    *made.back() = std::to_string(i);
  }
  for (size_t i = 0; i < made.size(); ++i) ASSERT_EQ(std::to_string(i), *made[i]) << i;
}

}  // namespace
}  // namespace pbdict
}  // namespace kavo
