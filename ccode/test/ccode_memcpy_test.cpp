#include "utils/ccode_memcpy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

// Stands in slot n while it lives, counting the copies it is handed.
struct SlotSpy : ccode::xmembase {
  explicit SlotSpy(size_t slot) : n(slot), saved(ccode::g_base[slot]) { ccode::g_base[slot] = this; }
  ~SlotSpy() { ccode::g_base[n] = saved; }
  void* copy(void* dst, const void* src) override {
    ++calls;
    return std::memmove(dst, src, n);
  }
  size_t n;
  ccode::xmembase* saved;
  int calls = 0;
};

size_t EmptySlots() { return std::count(std::begin(ccode::g_base), std::end(ccode::g_base), nullptr); }

void ExpectSameAsMemcpyEverywhere() {
  std::vector<unsigned char> src(216);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<unsigned char>(i * 37 + 11);
  for (size_t n = 0; n <= 200; ++n) {
    for (size_t sa = 0; sa < 8; ++sa) {
      for (size_t da = 0; da < 8; ++da) {
        std::vector<unsigned char> want(216, 0xAB), got(216, 0xAB);
        std::memcpy(want.data() + da, src.data() + sa, n);
        ASSERT_EQ(ccode::xmemcpy(got.data() + da, src.data() + sa, n), got.data() + da) << "n=" << n;
        ASSERT_EQ(want, got) << "n=" << n << " src+" << sa << " dst+" << da;
      }
    }
  }
}

TEST(XmemcpyTest, MatchesMemcpyForEveryLengthAndMisalignment) { ExpectSameAsMemcpyEverywhere(); }

// Copy objects serve lengths below 120 on disjoint ranges only: adjacent
// ones included, and n = 0 even on the same pointer.
TEST(XmemcpyTest, CopyObjectsServeShortDisjointRangesOnly) {
  char buf[256];
  for (int i = 0; i < 256; ++i) buf[i] = static_cast<char>(i);
  {
    SlotSpy zero(0), top(119);
    EXPECT_EQ(ccode::xmemcpy(buf, buf, 0), buf);
    EXPECT_EQ(ccode::xmemcpy(buf + 128, buf, 119), buf + 128);
    EXPECT_EQ(zero.calls, 1);
    EXPECT_EQ(top.calls, 1);
  }
  ccode::xmemcpy(buf + 130, buf, 120);  // no slot at all, still copied
  EXPECT_EQ(std::memcmp(buf + 130, buf, 120), 0);
  SlotSpy spy(16);
  ccode::xmemcpy(buf + 16, buf, 16);  // destination right after the source
  ccode::xmemcpy(buf, buf + 16, 16);  // source right after the destination
  EXPECT_EQ(spy.calls, 2);
  ccode::xmemcpy(buf + 1, buf, 16);
  ccode::xmemcpy(buf, buf + 15, 16);
  EXPECT_EQ(spy.calls, 2);
}

TEST(XmemcpyTest, OverlappingRangesCopyAsMemmove) {
  for (size_t n : {1u, 3u, 8u, 15u, 64u, 119u, 120u, 200u}) {
    for (size_t shift : {1u, 3u, 7u, 8u}) {
      for (size_t to : {shift, size_t{0}}) {  // forward, then backward
        if (shift >= n) continue;
        std::vector<char> a(n + shift), b(n + shift);
        for (size_t i = 0; i < a.size(); ++i) a[i] = b[i] = static_cast<char>(i * 7);
        std::memmove(a.data() + to, a.data() + shift - to, n);
        ccode::xmemcpy(b.data() + to, b.data() + shift - to, n);
        EXPECT_EQ(a, b) << "n=" << n << " shift=" << shift << (to ? " forward" : " backward");
      }
    }
  }
}

// The table is filled before main; emptied, copies still come out right, and
// init fills the empty slots again while keeping those that hold an object.
TEST(XmemcpyTest, TableFilledBeforeMainEmptiedAndRefilled) {
  ASSERT_EQ(EmptySlots(), 0u);
  (void)ccode::xmem_monitor{};  // a monitor's destructor empties the table
  ASSERT_EQ(EmptySlots(), ccode::kXmemSlots);
  ExpectSameAsMemcpyEverywhere();
  ccode::init<119>();
  EXPECT_EQ(EmptySlots(), 0u);
  SlotSpy spy(5);
  ccode::init<119>();
  char a[5] = "abcd", b[5];
  ccode::xmemcpy(b, a, 5);
  EXPECT_EQ(spy.calls, 1);
}

}  // namespace
