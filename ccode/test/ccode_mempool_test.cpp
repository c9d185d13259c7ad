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

#include "ccode_xcompool.h"
#include "ccode_xmempool.h"

namespace {

// Pools own their chunks: a copy would hand the same memory out twice.
static_assert(!std::is_copy_constructible_v<ccode::xmempool> && !std::is_copy_assignable_v<ccode::xmempool>);
static_assert(!std::is_copy_constructible_v<ccode::xcompool> && !std::is_copy_assignable_v<ccode::xcompool>);

std::vector<long> ClassSizes(const ccode::xmempool& pool) {
  std::vector<long> sizes;
  for (int i = 0; i < pool.classnum(); ++i) sizes.push_back(pool.classes()[i].size);
  return sizes;
}

TEST(XmempoolTest, ClassTables) {
  std::vector<char> buf(4096);
  ccode::xmempool pool;
  ASSERT_EQ(pool.create(buf.data(), buf.size(), 10, 100, 1.5f), 0);
  EXPECT_EQ(ClassSizes(pool), (std::vector<long>{12, 20, 32, 48, 72, 108}));
  EXPECT_EQ(pool.maxsize(), 108u);
  EXPECT_EQ(pool.minsize(), 12u);
  // The table sits at the end of the buffer.
  EXPECT_EQ(reinterpret_cast<const char*>(pool.classes()) + 6 * sizeof(ccode::xmempool::classinfo_t),
            buf.data() + buf.size());
  EXPECT_EQ(pool.remain(), buf.size() - 6 * sizeof(ccode::xmempool::classinfo_t));

  ASSERT_EQ(pool.create(buf.data(), buf.size(), 2, 0x80000, 2.0f), 0);
  std::vector<long> want;
  for (long s = 8; s <= 0x80000; s *= 2) want.push_back(s);
  EXPECT_EQ(want.size(), 17u);
  EXPECT_EQ(ClassSizes(pool), want);

  ASSERT_EQ(pool.create(buf.data(), buf.size(), 16, 16, 2.0f), 0);
  EXPECT_EQ(ClassSizes(pool), (std::vector<long>{16}));
}

TEST(XmempoolTest, CreateRefusals) {
  std::vector<char> buf(1 << 16);
  ccode::xmempool pool;
  EXPECT_EQ(pool.create(buf.data(), buf.size(), 2, 4, 2.0f), -1);  // minimum is raised to 8
  EXPECT_EQ(pool.create(buf.data(), buf.size(), 8, 64, 1.0f), -1);
  EXPECT_EQ(pool.create(buf.data(), buf.size(), 8, 64, 1.009f), -1);
  EXPECT_EQ(pool.create(buf.data(), buf.size(), 8, 64, std::nanf("")), -1);
  EXPECT_EQ(pool.create(nullptr, buf.size(), 8, 64, 2.0f), -1);
  EXPECT_EQ(pool.create(buf.data(), 0, 8, 64, 2.0f), -1);
  EXPECT_EQ(pool.classnum(), 0);  // refused parameters change nothing
  // Class sizes must fit 31 bits, also the last class above the maximum.
  EXPECT_EQ(pool.create(buf.data(), buf.size(), 8, 0x80000000u, 2.0f), -1);
  EXPECT_EQ(pool.create(buf.data(), buf.size(), 0x7FFFFFFDu, 0x7FFFFFFDu, 2.0f), -1);  // rounds to 2^31
  EXPECT_EQ(pool.create(buf.data(), buf.size(), 8, 0x7FFFFFF0u, 3.0f), -1);
  EXPECT_EQ(pool.create(buf.data(), buf.size(), 8, 64, INFINITY), -1);
  ASSERT_EQ(pool.create(buf.data(), buf.size(), 8, 0x40000000u, 2.0f), 0);
  EXPECT_EQ(pool.maxsize(), 0x40000000u);

  // A buffer too small for its class table: no classes, every malloc null.
  char small[64];
  EXPECT_EQ(pool.create(small, sizeof(small), 2, 0x80000, 2.0f), -1);
  EXPECT_EQ(pool.classes(), nullptr);
  EXPECT_EQ(pool.malloc(8), nullptr);
  EXPECT_EQ(pool.getidx(8), -1);
  pool.free(small, 8);  // ignored
}

TEST(XmempoolTest, RatesBarelyAboveOneStillEnd) {
  std::vector<char> buf(1 << 16);
  ccode::xmempool pool;
  for (float rate : {1.01f, 1.05f, 1.1f, 1.124f}) {
    ASSERT_EQ(pool.create(buf.data(), buf.size(), 8, 0x80000, rate), 0) << rate;
    std::vector<long> sizes = ClassSizes(pool);
    for (size_t i = 1; i < sizes.size(); ++i) ASSERT_GE(sizes[i], sizes[i - 1] + 4);
    EXPECT_GE(sizes.back(), 0x80000);
  }
}

// getidx must agree with a plain scan for every size, on both sides of the
// small-size memo and for tables of every shape.
TEST(XmempoolTest, GetidxAgreesWithScan) {
  std::vector<char> buf(1 << 16);
  ccode::xmempool pool;
  struct Params {
    size_t min, max;
    float rate;
  };
  for (Params p : {Params{2, 0x80000, 2.0f}, Params{10, 100, 1.5f}, Params{8, 3000, 1.01f}, Params{600, 700, 1.1f},
                   Params{8, 8, 2.0f}, Params{1000, 5000, 1.3f}}) {
    ASSERT_EQ(pool.create(buf.data(), buf.size(), p.min, p.max, p.rate), 0);
    const std::vector<long> sizes = ClassSizes(pool);
    const size_t limit = std::min<size_t>(pool.maxsize() + 8, 0x2000);
    for (size_t n = 0; n <= limit; ++n) {
      int want = -1;
      for (size_t i = 0; i < sizes.size(); ++i) {
        if (static_cast<size_t>(sizes[i]) >= n) {
          want = static_cast<int>(i);
          break;
        }
      }
      ASSERT_EQ(pool.getidx(n), want) << "size " << n << " min " << p.min << " rate " << p.rate;
    }
  }
}

TEST(XmempoolTest, CarvingAndReuse) {
  std::vector<char> buf(4096);
  ccode::xmempool pool;
  EXPECT_EQ(pool.malloc(8), nullptr);  // never created
  ASSERT_EQ(pool.create(buf.data(), buf.size(), 10, 100, 1.5f), 0);

  const size_t top = pool.remain();
  char* a = static_cast<char*>(pool.malloc(0));  // smallest class, from the top
  EXPECT_EQ(a, buf.data() + top - 12);
  char* b = static_cast<char*>(pool.malloc(30));
  EXPECT_EQ(b, a - 32);
  char* c = static_cast<char*>(pool.malloc(32));
  pool.free(b, 30);
  pool.free(c, 25);
  EXPECT_EQ(pool.malloc(32), c);  // last freed, first reused
  EXPECT_EQ(pool.malloc(21), b);
  EXPECT_EQ(pool.malloc(109), nullptr);
  pool.free(a, 200);  // above the largest class: dropped
  EXPECT_NE(pool.malloc(12), a);

  // clear() rebuilds the table: carving restarts at the top.
  ASSERT_EQ(pool.clear(), 0);
  EXPECT_EQ(pool.malloc(1), a);

  // Out of space.
  while (pool.malloc(108) != nullptr) {
  }
  EXPECT_LT(pool.remain(), 108u);
  pool.destroy();
  EXPECT_EQ(pool.malloc(8), nullptr);
  EXPECT_EQ(pool.clear(), -1);
}

TEST(XmempoolTest, AddbufCutsTheRestIntoFreeChunks) {
  std::vector<char> first(1000), second(1000);
  ccode::xmempool pool;
  ASSERT_EQ(pool.create(first.data(), first.size(), 10, 100, 1.5f), 0);
  // 1000 - 96 (table) = 904 left: 8 x 108 = 864, then 40 -> 32, then 8 lost.
  EXPECT_EQ(pool.addbuf(second.data(), second.size()), first.data());
  EXPECT_EQ(pool.remain(), second.size());
  std::vector<char*> big;
  for (int i = 0; i < 8; ++i) big.push_back(static_cast<char*>(pool.malloc(100)));
  for (int i = 0; i < 8; ++i) {
    // The last carved (lowest) chunk is the head of the list.
    EXPECT_EQ(big[i], first.data() + 8 + 32 + 108 * i) << i;
  }
  EXPECT_EQ(pool.malloc(30), first.data() + 8);
  // Classes 12 and 20 had nothing left: they carve from the new buffer.
  EXPECT_EQ(pool.malloc(12), second.data() + second.size() - 12);
  EXPECT_EQ(pool.malloc(100), second.data() + second.size() - 12 - 108);
}

TEST(XcompoolTest, PerThreadParametersSecondBlock) {
  ccode::xcompool pool;
  ASSERT_EQ(pool.create(0x80000, 2, 0x80000, 2.0f), 0);
  EXPECT_EQ(pool.blocksize(), 0x80000u);
  char* p1 = static_cast<char*>(pool.malloc(16));
  char* big = static_cast<char*>(pool.malloc(0x80000));
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(pool.bigcount(), 1u);  // a second block, used whole
  std::memset(big, 0x5A, 0x80000);
  // The first block's rest 0x7FEE0 went to the free lists, largest first.
  const ccode::xmempool::classinfo_t* cls = pool.pool().classes();
  EXPECT_EQ(cls[0].head, nullptr);  // 8
  EXPECT_EQ(cls[1].head, nullptr);  // 16
  EXPECT_NE(cls[2].head, nullptr);  // 32
  EXPECT_EQ(cls[5].head, nullptr);  // 256
  EXPECT_EQ(static_cast<char*>(pool.malloc(0x40000)) + 0x40000, p1);
  pool.free(big, 0x80000);
  EXPECT_EQ(pool.malloc(0x80000), big);
  EXPECT_EQ(pool.bigcount(), 1u);
}

TEST(XcompoolTest, OversizedChunksAndClear) {
  ccode::xcompool pool;
  ASSERT_EQ(pool.create(0x80000, 2, 0x80000, 2.0f), 0);
  char* first = static_cast<char*>(pool.malloc(16));
  void* o1 = pool.malloc(0x80001);
  ASSERT_NE(o1, nullptr);
  EXPECT_EQ(pool.bigcount(), 1u);
  pool.free(o1, 0x80001);
  EXPECT_EQ(pool.bigcount(), 0u);
  ASSERT_NE(pool.malloc(0x80001), nullptr);  // released by clear
  for (int i = 0; i < 4; ++i) ASSERT_NE(pool.malloc(0x40000), nullptr);  // a further block
  EXPECT_GE(pool.bigcount(), 2u);
  pool.clear();
  EXPECT_EQ(pool.bigcount(), 0u);
  EXPECT_EQ(pool.malloc(16), first);  // carved from the top of the first block again
  ASSERT_NE(pool.malloc(0x100000), nullptr);  // released by destroy
  pool.destroy();
  EXPECT_EQ(pool.bigcount(), 0u);
  ASSERT_NE(pool.malloc(0x100000), nullptr);  // released by the destructor
}

TEST(XcompoolTest, UncreatedPoolUsesTheSystem) {
  ccode::xcompool pool;
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
  ccode::xcompool pool;
  ASSERT_EQ(pool.create(4096, 8, 1024, 1.5f), 0);
  std::mt19937 rng(12345);
  struct Live {
    size_t size;
    unsigned char tag;
  };
  std::map<uintptr_t, Live> live;
  auto check_fill = [&](unsigned char* p, const Live& l) {
    for (size_t i = 0; i < l.size; ++i) {
      if (p[i] != l.tag) return false;
    }
    return true;
  };
  for (int step = 0; step < 200000; ++step) {
    const unsigned op = rng() % 100;
    if (op < 55 || live.empty()) {
      size_t size = (rng() % 8 == 0) ? rng() % 3000 : rng() % 200;
      auto* p = static_cast<unsigned char*>(pool.malloc(size));
      ASSERT_NE(p, nullptr);
      const uintptr_t a = reinterpret_cast<uintptr_t>(p);
      auto next = live.lower_bound(a);
      if (next != live.end()) {
        ASSERT_LE(a + size, next->first) << "overlaps the next chunk";
      }
      if (next != live.begin()) {
        auto prev = std::prev(next);
        ASSERT_LE(prev->first + prev->second.size, a) << "overlaps the previous chunk";
      }
      Live l{size, static_cast<unsigned char>(rng())};
      std::memset(p, l.tag, size);
      if (size > 0) live[a] = l;
    } else if (op < 99) {
      auto it = live.begin();
      std::advance(it, rng() % live.size());
      auto* p = reinterpret_cast<unsigned char*>(it->first);
      ASSERT_TRUE(check_fill(p, it->second));
      pool.free(p, it->second.size);
      live.erase(it);
    } else {
      for (auto& [a, l] : live) ASSERT_TRUE(check_fill(reinterpret_cast<unsigned char*>(a), l));
      pool.clear();
      live.clear();
      EXPECT_EQ(pool.bigcount(), 0u);
    }
  }
}

}  // namespace
