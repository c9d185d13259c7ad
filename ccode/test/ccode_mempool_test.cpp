#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <random>
#include <type_traits>
#include <vector>

#include "utils/ccode_xcompool.h"
#include "utils/ccode_xmempool.h"

namespace {

using ccode::xcompool;
using ccode::xmempool;

// Pools own their chunks: a copy would hand the same memory out twice.
static_assert(!std::is_copy_constructible_v<xmempool> && !std::is_copy_assignable_v<xmempool>);
static_assert(!std::is_copy_constructible_v<xcompool> && !std::is_copy_assignable_v<xcompool>);

std::vector<long> ClassSizes(const xmempool& pool) {
  std::vector<long> sizes;
  for (int i = 0; i < pool.classnum(); ++i) sizes.push_back(pool.classes()[i].size);
  return sizes;
}

char* Take(ccode::mempool& pool, size_t size) { return static_cast<char*>(pool.malloc(size)); }

class XmempoolTest : public ::testing::Test {
 protected:
  std::vector<char> buf = std::vector<char>(1 << 16);
  xmempool pool;
};

// Every table: its sizes where given, 4 or more apart up to the maximum (also
// for rates barely above 1), placed at the buffer's end, and getidx agreeing
// with a scan of it for every size, on both sides of the small-size memo.
TEST_F(XmempoolTest, ClassTablesAndGetidx) {
  struct Row { size_t min, max; float rate; std::vector<long> want; };
  const std::vector<long> doubling = {8,    16,   32,    64,    128,   256,    512,    1024,  2048,
                                      4096, 8192, 16384, 32768, 65536, 131072, 262144, 524288};
  for (const Row& r : {Row{10, 100, 1.5f, {12, 20, 32, 48, 72, 108}}, Row{16, 16, 2.0f, {16}},
                       Row{2, 0x80000, 2.0f, doubling}, Row{8, 3000, 1.01f, {}}, Row{600, 700, 1.1f, {}},
                       Row{8, 8, 2.0f, {}}, Row{1000, 5000, 1.3f, {}}, Row{8, 0x80000, 1.01f, {}},
                       Row{8, 0x80000, 1.05f, {}}, Row{8, 0x80000, 1.1f, {}}, Row{8, 0x80000, 1.124f, {}}}) {
    SCOPED_TRACE(testing::Message() << "min " << r.min << " max " << r.max << " rate " << r.rate);
    ASSERT_EQ(pool.create(buf.data(), buf.size(), r.min, r.max, r.rate), 0);
    const std::vector<long> sizes = ClassSizes(pool);
    if (!r.want.empty()) {
      EXPECT_EQ(sizes, r.want);
    }
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(pool.minsize(), static_cast<size_t>(sizes.front()));
    EXPECT_EQ(pool.maxsize(), static_cast<size_t>(sizes.back()));
    EXPECT_GE(pool.maxsize(), r.max);
    for (size_t i = 1; i < sizes.size(); ++i) ASSERT_GE(sizes[i], sizes[i - 1] + 4);
    const size_t table = sizes.size() * sizeof(xmempool::classinfo_t);
    EXPECT_EQ(reinterpret_cast<const char*>(pool.classes()), buf.data() + buf.size() - table);
    EXPECT_EQ(pool.remain(), buf.size() - table);
    for (size_t n = 0; n <= std::min<size_t>(pool.maxsize() + 8, 0x2000); ++n) {
      const auto it = std::find_if(sizes.begin(), sizes.end(), [n](long s) { return static_cast<size_t>(s) >= n; });
      ASSERT_EQ(pool.getidx(n), it == sizes.end() ? -1 : static_cast<int>(it - sizes.begin())) << "size " << n;
    }
  }
}

TEST_F(XmempoolTest, CreateRefusals) {
  // Rates below 1.01 or not a number, a maximum below the minimum (raised to
  // 8), class sizes beyond 31 bits, the last class above the maximum too
  // (0x7FFFFFFD rounds to 2^31).
  struct Bad { size_t min, max; float rate; };
  for (Bad r : {Bad{8, 64, 1.0f}, Bad{8, 64, 1.009f}, Bad{8, 64, std::nanf("")}, Bad{8, 64, INFINITY}, Bad{2, 4, 2.0f},
                Bad{8, 0x80000000u, 2.0f}, Bad{0x7FFFFFFDu, 0x7FFFFFFDu, 2.0f}, Bad{8, 0x7FFFFFF0u, 3.0f}}) {
    EXPECT_EQ(pool.create(buf.data(), buf.size(), r.min, r.max, r.rate), -1) << r.min << " " << r.max << " " << r.rate;
  }
  EXPECT_EQ(pool.create(nullptr, buf.size(), 8, 64, 2.0f), -1);
  EXPECT_EQ(pool.create(buf.data(), 0, 8, 64, 2.0f), -1);
  EXPECT_EQ(pool.classnum(), 0);  // refused parameters change nothing
  ASSERT_EQ(pool.create(buf.data(), buf.size(), 8, 0x40000000u, 2.0f), 0);
  EXPECT_EQ(pool.maxsize(), 0x40000000u);

  // A buffer too small for its class table: no classes, every malloc null.
  EXPECT_EQ(pool.create(buf.data(), 64, 2, 0x80000, 2.0f), -1);
  EXPECT_EQ(pool.classes(), nullptr);
  EXPECT_EQ(pool.malloc(8), nullptr);
  EXPECT_EQ(pool.getidx(8), -1);
  pool.free(buf.data(), 8);  // ignored
}

TEST_F(XmempoolTest, CarvingAndReuse) {
  EXPECT_EQ(pool.malloc(8), nullptr);  // never created
  ASSERT_EQ(pool.create(buf.data(), 4096, 10, 100, 1.5f), 0);
  const size_t top = pool.remain();
  char* a = Take(pool, 0);  // smallest class, from the top
  char* b = Take(pool, 30);
  char* c = Take(pool, 32);
  EXPECT_EQ(a, buf.data() + top - 12);
  EXPECT_EQ(b, a - 32);
  pool.free(b, 30);
  pool.free(c, 25);
  EXPECT_EQ(pool.malloc(32), c);  // last freed, first reused
  EXPECT_EQ(pool.malloc(21), b);
  EXPECT_EQ(pool.malloc(109), nullptr);
  pool.free(a, 200);  // above the largest class: dropped
  EXPECT_NE(pool.malloc(12), a);

  ASSERT_EQ(pool.clear(), 0);  // rebuilds the table: carving restarts at the top
  EXPECT_EQ(pool.malloc(1), a);
  while (pool.malloc(108) != nullptr) continue;
  EXPECT_LT(pool.remain(), 108u);
  pool.destroy();
  EXPECT_EQ(pool.malloc(8), nullptr);
  EXPECT_EQ(pool.clear(), -1);
}

TEST_F(XmempoolTest, AddbufCutsTheRestIntoFreeChunks) {
  std::vector<char> second(1000);
  char* first = buf.data();
  ASSERT_EQ(pool.create(first, 1000, 10, 100, 1.5f), 0);
  // 1000 - 96 (table) = 904 left: 8 x 108 = 864, then 40 -> 32, then 8 lost.
  EXPECT_EQ(pool.addbuf(second.data(), second.size()), first);
  EXPECT_EQ(pool.remain(), second.size());
  // The last carved (lowest) chunk is the head of the list.
  for (int i = 0; i < 8; ++i) EXPECT_EQ(pool.malloc(100), first + 8 + 32 + 108 * i) << i;
  EXPECT_EQ(pool.malloc(30), first + 8);
  // Classes 12 and 20 had nothing left: they carve from the new buffer.
  EXPECT_EQ(pool.malloc(12), second.data() + second.size() - 12);
  EXPECT_EQ(pool.malloc(100), second.data() + second.size() - 12 - 108);
}

// The per-thread parameters: a request the first block cannot serve takes a
// second block, and oversized chunks come from the system until free, clear,
// destroy or the destructor releases them.
TEST(XcompoolTest, PerThreadParametersBlocksAndOversizedChunks) {
  xcompool pool;
  ASSERT_EQ(pool.create(0x80000, 2, 0x80000, 2.0f), 0);
  EXPECT_EQ(pool.blocksize(), 0x80000u);
  char* p1 = Take(pool, 16);
  char* big = Take(pool, 0x80000);
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(pool.bigcount(), 1u);  // a second block, used whole
  std::memset(big, 0x5A, 0x80000);
  // The first block's rest 0x7FEE0 went to the free lists, largest first.
  const xmempool::classinfo_t* cls = pool.pool().classes();
  EXPECT_EQ(cls[0].head, nullptr);  // 8
  EXPECT_EQ(cls[1].head, nullptr);  // 16
  EXPECT_NE(cls[2].head, nullptr);  // 32
  EXPECT_EQ(cls[5].head, nullptr);  // 256
  EXPECT_EQ(Take(pool, 0x40000) + 0x40000, p1);
  pool.free(big, 0x80000);
  EXPECT_EQ(pool.malloc(0x80000), big);
  EXPECT_EQ(pool.bigcount(), 1u);

  void* o1 = pool.malloc(0x80001);
  ASSERT_NE(o1, nullptr);
  EXPECT_EQ(pool.bigcount(), 2u);
  pool.free(o1, 0x80001);
  EXPECT_EQ(pool.bigcount(), 1u);
  ASSERT_NE(pool.malloc(0x80001), nullptr);  // released by clear
  for (int i = 0; i < 4; ++i) ASSERT_NE(pool.malloc(0x40000), nullptr);  // further blocks
  EXPECT_GE(pool.bigcount(), 4u);
  pool.clear();
  EXPECT_EQ(pool.bigcount(), 0u);
  EXPECT_EQ(pool.malloc(16), p1);  // carved from the top of the first block again
  ASSERT_NE(pool.malloc(0x100000), nullptr);  // released by destroy
  pool.destroy();
  EXPECT_EQ(pool.bigcount(), 0u);
  ASSERT_NE(pool.malloc(0x100000), nullptr);  // released by the destructor
}

TEST(XcompoolTest, UncreatedPoolUsesTheSystem) {
  xcompool pool;
  EXPECT_EQ(pool.malloc(0), nullptr);
  void* p = pool.malloc(10);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(pool.bigcount(), 1u);
  pool.free(p, 10);
  EXPECT_EQ(pool.bigcount(), 0u);
  char foreign[16];
  pool.free(foreign, sizeof(foreign));  // never taken from the system: left alone
  pool.malloc(20);  // left for the destructor
  EXPECT_EQ(pool.create(0x1000, 64, 8, 2.0f), -1);  // max < min
  EXPECT_EQ(pool.bigcount(), 0u);
  EXPECT_EQ(pool.pool().classes(), nullptr);
}

// Random requests against a model of the live chunks: no two overlap and
// none is overwritten while live.
TEST(XcompoolTest, RandomizedAgainstModel) {
  xcompool pool;
  ASSERT_EQ(pool.create(4096, 8, 1024, 1.5f), 0);
  std::mt19937 rng(12345);
  struct Live { size_t size; unsigned char tag; };
  std::map<uintptr_t, Live> live;
  auto intact = [](uintptr_t a, const Live& l) {
    auto* p = reinterpret_cast<const unsigned char*>(a);
    return std::all_of(p, p + l.size, [&](unsigned char c) { return c == l.tag; });
  };
  for (int step = 0; step < 200000; ++step) {
    const unsigned op = rng() % 100;
    if (op < 55 || live.empty()) {
      const size_t size = (rng() % 8 == 0) ? rng() % 3000 : rng() % 200;
      auto* p = static_cast<unsigned char*>(pool.malloc(size));
      ASSERT_NE(p, nullptr);
      const uintptr_t a = reinterpret_cast<uintptr_t>(p);
      const auto next = live.lower_bound(a);
      ASSERT_TRUE(next == live.end() || a + size <= next->first) << "overlaps the next chunk";
      ASSERT_TRUE(next == live.begin() || std::prev(next)->first + std::prev(next)->second.size <= a) << "overlaps";
      const Live l{size, static_cast<unsigned char>(rng())};
      std::memset(p, l.tag, size);
      if (size > 0) live[a] = l;
    } else if (op < 99) {
      auto it = std::next(live.begin(), static_cast<long>(rng() % live.size()));
      ASSERT_TRUE(intact(it->first, it->second));
      pool.free(reinterpret_cast<void*>(it->first), it->second.size);
      live.erase(it);
    } else {
      for (const auto& [a, l] : live) ASSERT_TRUE(intact(a, l));
      pool.clear();
      live.clear();
      EXPECT_EQ(pool.bigcount(), 0u);
    }
  }
}

}  // namespace
