#include "ccode_hashmap.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <new>
#include <random>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "support/support.h"

namespace {

using StrMap = ccode::hashmap<std::string, int>;

// The end iterator points at its table and the nodes belong to one block
// list: copies would dangle or free twice.
static_assert(!std::is_copy_constructible_v<StrMap> && !std::is_copy_assignable_v<StrMap>);
static_assert(!std::is_copy_constructible_v<StrMap::hash_type>);
static_assert(!std::is_copy_constructible_v<ccode::ccode_sample_alloc<ccode::ccode_alloc<int>, 256>>);

// Runs fn with standard output captured and answers what it printed.
template <class Fn>
std::string Stdout(Fn fn) {
  std::fflush(stdout);
  testsupport::CaptureFd capture(1);
  fn();
  std::fflush(stdout);
  return capture.Stop();
}

bool g_refuse = false;

// The plain allocator, refusing every request while g_refuse is set.
template <class T>
struct RefusingAlloc : ccode::ccode_alloc<T> {
  template <class U>
  struct rebind {
    typedef RefusingAlloc<U> other;
  };
  T* allocate(size_t n, const void* hint = nullptr) {
    return g_refuse ? nullptr : ccode::ccode_alloc<T>::allocate(n, hint);
  }
};

// Copies of a value made with `fail` set run out of memory.
struct ThrowingCopy {
  explicit ThrowingCopy(bool f) : fail(f) {}
  ThrowingCopy(const ThrowingCopy& other) : fail(other.fail) {
    if (fail) throw std::bad_alloc();
  }
  ThrowingCopy& operator=(const ThrowingCopy&) = default;
  bool fail;
};

using RefusingMap = ccode::hashmap<std::string, int, ccode::xhash<std::string>, std::equal_to<std::string>,
                                   ccode::ccode_sample_alloc<RefusingAlloc<std::string>, 256>>;

TEST(HashmapTest, HashFunction) {
  EXPECT_EQ(ccode::__ccode_hash_string(nullptr), 0u);
  EXPECT_EQ(ccode::__ccode_hash_string("ab"), 97u * 5 + 98);
  // Bytes of 0x80 and above count as negative.
  EXPECT_EQ(ccode::__ccode_hash_string("\xff"), static_cast<size_t>(-1));
  EXPECT_EQ(ccode::xhash<unsigned int>()(77u), 77u);
}

TEST(HashmapTest, ReturnCodes) {
  StrMap m;
  int v = 0;
  EXPECT_EQ(m.set("a", 1, 0), -1);  // not created
  EXPECT_EQ(m.get("a", &v), 0x10000);
  EXPECT_EQ(m.find("a"), nullptr);
  ASSERT_EQ(m.create(7), 0);
  EXPECT_EQ(m.set("a", 1, 0), 0x10002);
  EXPECT_EQ(m.set("a", 2, 0), 0xFFFF);
  EXPECT_EQ(m.get("a", &v), 0xFFFF);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(m.set("a", 3, 1), 0x10001);
  EXPECT_EQ(m.get("a", &v), 0xFFFF);
  EXPECT_EQ(v, 3);
  v = 99;
  EXPECT_EQ(m.get("a", nullptr), 0xFFFF);
  EXPECT_EQ(m.get("b", &v), 0x10000);
  EXPECT_EQ(v, 99);
  EXPECT_EQ(m.size(), 1u);

  ccode::hashmap<std::string, std::string> words;
  ASSERT_EQ(words.create(3), 0);
  EXPECT_EQ(words.set("k", std::string(100, 'x'), 0), 0x10002);
  std::string out = "old";
  EXPECT_EQ(words.get("k", &out), 0xFFFF);
  EXPECT_EQ(out, std::string(100, 'x'));

  EXPECT_EQ(m.destroy(), 0);
  EXPECT_EQ(m.destroy(), 0);
  EXPECT_EQ(m.set("a", 1, 0), -1);
  EXPECT_EQ(m.get("a", &v), 0x10000);
  EXPECT_EQ(m.size(), 0u);
}

TEST(HashmapTest, ChainOrderAndNodeReuse) {
  StrMap m;
  ASSERT_EQ(m.create(1), 0);
  m.set("A", 1, 0);
  m.set("B", 2, 0);
  m.set("C", 3, 0);
  std::string order;
  for (auto it = m.begin(); it != m.end(); ++it) order += (*it).first;
  EXPECT_EQ(order, "CBA");
  const void* slot_a = m.find("A");
  EXPECT_EQ(m.clear(), 0);
  EXPECT_EQ(m.size(), 0u);
  EXPECT_TRUE(!(m.begin() != m.end()));
  EXPECT_EQ(m.set("D", 4, 0), 0x10002);
  EXPECT_EQ(static_cast<const void*>(m.find("D")), slot_a);

  // Buckets ascending: keys 0..5 in 4 buckets come as 4 0 5 1 2 3.
  ccode::hashmap<unsigned int, unsigned int> u;
  ASSERT_EQ(u.create(4), 0);
  for (unsigned k = 0; k < 6; ++k) u.set(k, k * 10, 0);
  std::vector<unsigned> keys;
  for (auto it = u.begin(); it != u.end(); ++it) keys.push_back(it->first);
  EXPECT_EQ(keys, (std::vector<unsigned>{4, 0, 5, 1, 2, 3}));
}

TEST(HashmapTest, KeysWithEmbeddedNul) {
  StrMap m;
  ASSERT_EQ(m.create(101), 0);
  const std::string k1("a\0b", 3), k2("a\0c", 3);
  EXPECT_EQ(ccode::xhash<std::string>()(k1), ccode::xhash<std::string>()(k2));
  EXPECT_EQ(m.set(k1, 1, 0), 0x10002);
  EXPECT_EQ(m.set(k2, 2, 0), 0x10002);
  EXPECT_EQ(m.set("a", 3, 0), 0x10002);
  EXPECT_EQ(m.size(), 3u);
  int v = 0;
  EXPECT_EQ(m.get(k2, &v), 0xFFFF);
  EXPECT_EQ(v, 2);
}

TEST(HashmapTest, CreateChecksPrintTheirLines) {
  StrMap m;
  ASSERT_EQ(m.create(5), 0);
  m.set("kept", 1, 0);
  int r = 0;
  EXPECT_EQ(Stdout([&] { r = m.create(0); }), "[error][utils/ccode_hashtable.h:404]bitems == 0\n");
  EXPECT_EQ(r, -1);
  EXPECT_EQ(Stdout([&] { r = m.create(0x1FFFFFFFFFFFFFFFUL); }),
            "[error][utils/ccode_hashtable.h:399]too large bitems, overflower\n");
  EXPECT_EQ(r, -1);
  EXPECT_EQ(m.size(), 1u);  // refused counts leave the content
  EXPECT_EQ(m.get("kept", nullptr), 0xFFFF);
  // Passes the size check; the bucket array cannot be had.
  EXPECT_EQ(Stdout([&] { r = m.create(0x1FFFFFFFFFFFFFFEUL); }),
            "[error][utils/ccode_hashtable.h:413]recreate error when create hash bitems[2305843009213693950]\n");
  EXPECT_EQ(r, -1);
  EXPECT_EQ(m.size(), 0u);
  EXPECT_EQ(Stdout([&] { r = m.create(3); }), "");
  EXPECT_EQ(r, 0);
}

TEST(HashmapTest, AllocationFailures) {
  RefusingMap m;
  g_refuse = true;
  int r = 0;
  EXPECT_EQ(Stdout([&] { r = m.create(10); }),
            "[error][utils/ccode_hashtable.h:413]recreate error when create hash bitems[10]\n");
  EXPECT_EQ(r, -1);
  g_refuse = false;
  ASSERT_EQ(m.create(10), 0);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(m.set(std::to_string(i), i, 0), 0x10002);
  g_refuse = true;  // the first block is used up
  EXPECT_EQ(m.set("one more", 1, 0), -1);
  EXPECT_EQ(m.set("7", 70, 1), 0x10001);  // existing keys need no node
  g_refuse = false;
  EXPECT_EQ(m.size(), 256u);
  EXPECT_EQ(m.set("one more", 1, 0), 0x10002);

  // A value whose copy runs out of memory: set answers -1, keeps the map as
  // it was and gives the node back (the next key takes the same slot).
  ccode::hashmap<unsigned int, ThrowingCopy> t;
  ASSERT_EQ(t.create(1), 0);
  ASSERT_EQ(t.set(1, ThrowingCopy{false}, 0), 0x10002);
  EXPECT_EQ(t.set(2, ThrowingCopy{true}, 0), -1);
  EXPECT_EQ(t.size(), 1u);
  EXPECT_EQ(t.find(2), nullptr);
  ASSERT_EQ(t.set(3, ThrowingCopy{false}, 0), 0x10002);
  const char* first = reinterpret_cast<const char*>(t.find(1));
  const char* third = reinterpret_cast<const char*>(t.find(3));
  EXPECT_EQ(first - third, static_cast<ptrdiff_t>(sizeof(ccode::ccode_hashtable_node_t<decltype(t)::value_type>)));
}

TEST(HashmapTest, NullIteratorThrows) {
  StrMap::iterator it;
  try {
    ++it;
    FAIL() << "no exception";
  } catch (const ccode::NullPointerException& e) {
    EXPECT_STREQ(e.what(), "can not increase a null interator.");
    EXPECT_STREQ(e.arg()._file, "utils/ccode_hashtable.h");
    EXPECT_EQ(e.arg()._line, 131);
    EXPECT_NE(std::string(e.arg()._function).find("operator++"), std::string::npos);
  }
  try {
    (void)*it;
    FAIL() << "no exception";
  } catch (const ccode::NullPointerException& e) {
    EXPECT_STREQ(e.what(), "can not dereference a null interator.");
    EXPECT_EQ(e.arg()._line, 108);
    EXPECT_EQ(e.level(), ccode::EXCEPTION_LEVEL_DEBUG);
  }
}

// A million random operations against std::unordered_map.
TEST(HashmapTest, RandomizedAgainstUnorderedMap) {
  StrMap m;
  ASSERT_EQ(m.create(1009), 0);
  std::unordered_map<std::string, int> model;
  std::mt19937 rng(2024);
  std::vector<std::string> keys;
  for (int i = 0; i < 5000; ++i) {
    std::string k;
    const int len = static_cast<int>(rng() % 12);
    for (int j = 0; j < len; ++j) k.push_back(static_cast<char>(rng() % 256));
    keys.push_back(k);
  }
  for (int step = 0; step < 1000000; ++step) {
    const std::string& k = keys[rng() % keys.size()];
    const unsigned op = rng() % 1000;
    if (op < 450) {
      const int v = static_cast<int>(rng());
      const int flag = static_cast<int>(rng() % 2);
      auto it = model.find(k);
      const int want = it == model.end() ? 0x10002 : (flag ? 0x10001 : 0xFFFF);
      if (it == model.end()) {
        model.emplace(k, v);
      } else if (flag) {
        it->second = v;
      }
      ASSERT_EQ(m.set(k, v, flag), want);
    } else if (op < 999) {
      int v = 0;
      auto it = model.find(k);
      ASSERT_EQ(m.get(k, &v), it == model.end() ? 0x10000 : 0xFFFF);
      if (it != model.end()) {
        ASSERT_EQ(v, it->second);
      }
    } else {
      ASSERT_EQ(m.clear(), 0);
      model.clear();
    }
    ASSERT_EQ(m.size(), model.size());
  }
  size_t seen = 0;
  for (auto it = m.begin(); it != m.end(); ++it, ++seen) {
    auto found = model.find(it->first);
    ASSERT_NE(found, model.end());
    ASSERT_EQ(found->second, it->second);
  }
  EXPECT_EQ(seen, model.size());
}

}  // namespace
