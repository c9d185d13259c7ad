#include "ccode_memcpy.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Counts the copies it is handed, then copies like the real object.
class SpyCopy : public ccode::xmembase {
 public:
  explicit SpyCopy(size_t n) : n_(n) {}
  void* copy(void* dst, const void* src) override {
    ++calls;
    return std::memmove(dst, src, n_);
  }
  int calls = 0;

 private:
  size_t n_;
};

// Puts a spy in slot n for the scope of the object.
class SlotSpy {
 public:
  explicit SlotSpy(size_t n) : n_(n), spy_(n), saved_(ccode::g_base[n]) { ccode::g_base[n] = &spy_; }
  ~SlotSpy() { ccode::g_base[n_] = saved_; }
  int calls() const { return spy_.calls; }

 private:
  size_t n_;
  SpyCopy spy_;
  ccode::xmembase* saved_;
};

void ExpectSameAsMemcpyEverywhere() {
  std::vector<unsigned char> src(200 + 16), want(200 + 16), got(200 + 16);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<unsigned char>(i * 37 + 11);
  for (size_t n = 0; n <= 200; ++n) {
    for (size_t sa = 0; sa < 8; ++sa) {
      for (size_t da = 0; da < 8; ++da) {
        std::fill(want.begin(), want.end(), 0xAB);
        std::fill(got.begin(), got.end(), 0xAB);
        std::memcpy(want.data() + da, src.data() + sa, n);
        void* r = ccode::xmemcpy(got.data() + da, src.data() + sa, n);
        ASSERT_EQ(r, got.data() + da) << "n=" << n;
        ASSERT_EQ(want, got) << "n=" << n << " src+" << sa << " dst+" << da;
      }
    }
  }
}

TEST(XmemcpyTest, TableIsFilledBeforeMain) {
  for (size_t i = 0; i < ccode::kXmemSlots; ++i) EXPECT_NE(ccode::g_base[i], nullptr) << i;
}

TEST(XmemcpyTest, MatchesMemcpyForEveryLengthAndMisalignment) { ExpectSameAsMemcpyEverywhere(); }

// Which copies reach a copy object: lengths below 120 on disjoint ranges
// (adjacent ones included, and n = 0 even on the same pointer).
TEST(XmemcpyTest, CopyObjectsServeShortDisjointRangesOnly) {
  char buf[256];
  for (int i = 0; i < 256; ++i) buf[i] = static_cast<char>(i);
  {
    SlotSpy spy(0);
    EXPECT_EQ(ccode::xmemcpy(buf, buf, 0), buf);
    EXPECT_EQ(spy.calls(), 1);
  }
  {
    SlotSpy spy(119);
    EXPECT_EQ(ccode::xmemcpy(buf + 128, buf, 119), buf + 128);
    EXPECT_EQ(spy.calls(), 1);
  }
  // 120 has no slot at all; it must still be copied.
  ccode::xmemcpy(buf + 130, buf, 120);
  EXPECT_EQ(std::memcmp(buf + 130, buf, 120), 0);

  SlotSpy spy(16);
  ccode::xmemcpy(buf + 16, buf, 16);  // destination right after the source
  ccode::xmemcpy(buf, buf + 16, 16);  // source right after the destination
  EXPECT_EQ(spy.calls(), 2);
  ccode::xmemcpy(buf + 1, buf, 16);
  ccode::xmemcpy(buf, buf + 15, 16);
  EXPECT_EQ(spy.calls(), 2);
}

TEST(XmemcpyTest, OverlappingRangesCopyAsMemmove) {
  for (size_t n : {1u, 3u, 8u, 15u, 64u, 119u, 120u, 200u}) {
    for (size_t shift : {1u, 3u, 7u, 8u}) {
      if (shift >= n) continue;
      std::vector<char> a(n + shift), b(n + shift);
      for (size_t i = 0; i < a.size(); ++i) a[i] = b[i] = static_cast<char>(i * 7);
      std::memmove(a.data() + shift, a.data(), n);
      ccode::xmemcpy(b.data() + shift, b.data(), n);
      EXPECT_EQ(a, b) << "forward n=" << n << " shift=" << shift;
      for (size_t i = 0; i < a.size(); ++i) a[i] = b[i] = static_cast<char>(i * 5);
      std::memmove(a.data(), a.data() + shift, n);
      ccode::xmemcpy(b.data(), b.data() + shift, n);
      EXPECT_EQ(a, b) << "backward n=" << n << " shift=" << shift;
    }
  }
}

TEST(XmemcpyTest, EmptyTableStillCopiesAndInitRefills) {
  {
    ccode::xmem_monitor monitor;  // its destructor empties the table
  }
  for (size_t i = 0; i < ccode::kXmemSlots; ++i) ASSERT_EQ(ccode::g_base[i], nullptr);
  ExpectSameAsMemcpyEverywhere();
  ccode::init<119>();
  for (size_t i = 0; i < ccode::kXmemSlots; ++i) EXPECT_NE(ccode::g_base[i], nullptr) << i;
  // A slot that holds an object keeps it.
  SlotSpy spy(5);
  ccode::init<119>();
  char a[5] = "abcd", b[5];
  ccode::xmemcpy(b, a, 5);
  EXPECT_EQ(spy.calls(), 1);
}

}  // namespace
