#include "utils/ccode_hashmap.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <new>
#include <random>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "support/support.h"

namespace {

using StrMap = ccode::hashmap<std::string, int>;
using Got = std::pair<int, int>;
using Printed = std::pair<int, std::string>;

// The end iterator points at its table and the nodes belong to one block
// list: copies would dangle or free twice.
static_assert(!std::is_copy_constructible_v<StrMap> && !std::is_copy_assignable_v<StrMap>);
static_assert(!std::is_copy_constructible_v<StrMap::hash_type>);
static_assert(!std::is_copy_constructible_v<ccode::ccode_sample_alloc<ccode::ccode_alloc<int>, 256>>);

// get's code and the value it copied out (-7 when it copied none).
template <class Map>
Got Get(const Map& m, const std::string& key) {
  int v = -7;
  const int r = m.get(key, &v);
  return {r, v};
}

// create's code and what it printed on standard output.
template <class Map>
Printed Create(Map& m, size_t bitems) {
  std::fflush(stdout);
  testsupport::CaptureFd capture(1);
  const int r = m.create(bitems);
  std::fflush(stdout);
  return {r, capture.Stop()};
}

bool g_refuse = false;

// The plain allocator, refusing every request while g_refuse is set.
template <class T>
struct RefusingAlloc : ccode::ccode_alloc<T> {
  template <class U> struct rebind { typedef RefusingAlloc<U> other; };
  T* allocate(size_t n, const void* hint = nullptr) {
    return g_refuse ? nullptr : ccode::ccode_alloc<T>::allocate(n, hint);
  }
};
using RefusingMap = ccode::hashmap<std::string, int, ccode::xhash<std::string>, std::equal_to<std::string>,
                                   ccode::ccode_sample_alloc<RefusingAlloc<std::string>, 256>>;

// Copies of a value made with `fail` set run out of memory.
struct ThrowingCopy {
  explicit ThrowingCopy(bool f) : fail(f) {}
  ThrowingCopy(const ThrowingCopy& other) : fail(other.fail) { if (fail) throw std::bad_alloc(); }
  ThrowingCopy& operator=(const ThrowingCopy&) = default;
  bool fail;
};

TEST(HashmapTest, ReturnCodesAndKeysWithEmbeddedNul) {
  EXPECT_EQ(ccode::__ccode_hash_string(nullptr), 0u);
  EXPECT_EQ(ccode::__ccode_hash_string("ab"), 97u * 5 + 98);
  EXPECT_EQ(ccode::__ccode_hash_string("\xff"), static_cast<size_t>(-1));  // bytes above 0x7F count as negative
  EXPECT_EQ(ccode::xhash<unsigned int>()(77u), 77u);
  StrMap m;
  EXPECT_EQ(m.set("a", 1, 0), -1);  // not created
  EXPECT_EQ(Get(m, "a"), Got(0x10000, -7));
  EXPECT_EQ(m.find("a"), nullptr);
  ASSERT_EQ(m.create(7), 0);
  EXPECT_EQ(m.set("a", 1, 0), 0x10002);
  EXPECT_EQ(m.set("a", 2, 0), 0xFFFF);  // flag 0 keeps the first value
  EXPECT_EQ(Get(m, "a"), Got(0xFFFF, 1));
  EXPECT_EQ(m.set("a", 3, 1), 0x10001);
  EXPECT_EQ(Get(m, "a"), Got(0xFFFF, 3));
  EXPECT_EQ(m.get("a", nullptr), 0xFFFF);
  EXPECT_EQ(Get(m, "b"), Got(0x10000, -7));
  EXPECT_EQ(m.size(), 1u);
  EXPECT_EQ(m.destroy(), 0);
  EXPECT_EQ(m.destroy(), 0);
  EXPECT_EQ(m.set("a", 1, 0), -1);
  EXPECT_EQ(Get(m, "a"), Got(0x10000, -7));
  EXPECT_EQ(m.size(), 0u);

  // The hash stops at a NUL, so keys differing after one share a chain.
  ASSERT_EQ(m.create(101), 0);
  const std::string k1("a\0b", 3), k2("a\0c", 3);
  EXPECT_EQ(ccode::xhash<std::string>()(k1), ccode::xhash<std::string>()(k2));
  EXPECT_EQ(m.set(k1, 1, 0), 0x10002);
  EXPECT_EQ(m.set(k2, 2, 0), 0x10002);
  EXPECT_EQ(m.set("a", 3, 0), 0x10002);
  EXPECT_EQ(m.size(), 3u);
  EXPECT_EQ(Get(m, k2), Got(0xFFFF, 2));

  ccode::hashmap<std::string, std::string> words;
  ASSERT_EQ(words.create(3), 0);
  EXPECT_EQ(words.set("k", std::string(100, 'x'), 0), 0x10002);
  std::string out = "old";
  EXPECT_EQ(words.get("k", &out), 0xFFFF);
  EXPECT_EQ(out, std::string(100, 'x'));
}

// What fn threw (a copy takes the text over).
template <class Fn>
ccode::NullPointerException Thrown(Fn fn) {
  try {
    fn();
  } catch (const ccode::NullPointerException& e) {
    return e;
  }
  ADD_FAILURE() << "no exception";
  return {};
}

TEST(HashmapTest, IterationOrderNodeReuseAndNullIterators) {
  StrMap m;
  ASSERT_EQ(m.create(1), 0);
  for (const char* k : {"A", "B", "C"}) m.set(k, 1, 0);
  std::string order;
  for (auto it = m.begin(); it != m.end(); ++it) order += (*it).first;
  EXPECT_EQ(order, "CBA");
  const void* slot_a = m.find("A");
  EXPECT_EQ(m.clear(), 0);
  EXPECT_EQ(m.size(), 0u);
  EXPECT_FALSE(m.begin() != m.end());
  EXPECT_EQ(m.set("D", 4, 0), 0x10002);
  EXPECT_EQ(static_cast<const void*>(m.find("D")), slot_a);

  // Buckets ascending: keys 0..5 in 4 buckets come as 4 0 5 1 2 3.
  ccode::hashmap<unsigned int, unsigned int> u;
  ASSERT_EQ(u.create(4), 0);
  for (unsigned k = 0; k < 6; ++k) u.set(k, k * 10, 0);
  std::vector<unsigned> keys;
  for (auto it = u.begin(); it != u.end(); ++it) keys.push_back(it->first);
  EXPECT_EQ(keys, (std::vector<unsigned>{4, 0, 5, 1, 2, 3}));

  StrMap::iterator null;
  const ccode::NullPointerException inc = Thrown([&] { ++null; });
  EXPECT_STREQ(inc.what(), "can not increase a null interator.");
  EXPECT_STREQ(inc.arg()._file, "utils/ccode_hashtable.h");
  EXPECT_EQ(inc.arg()._line, 131);
  EXPECT_NE(std::string(inc.arg()._function).find("operator++"), std::string::npos);
  const ccode::NullPointerException deref = Thrown([&] { (void)*null; });
  EXPECT_STREQ(deref.what(), "can not dereference a null interator.");
  EXPECT_EQ(deref.arg()._line, 108);
  EXPECT_EQ(deref.level(), ccode::EXCEPTION_LEVEL_DEBUG);
}

// Refused counts print a line and leave the content; a failed bucket array
// or node allocation answers -1.
TEST(HashmapTest, CreateChecksAndAllocationFailures) {
  const std::string at = "[error][utils/ccode_hashtable.h:";
  RefusingMap m;
  g_refuse = true;
  EXPECT_EQ(Create(m, 10), Printed(-1, at + "413]recreate error when create hash bitems[10]\n"));
  g_refuse = false;
  ASSERT_EQ(m.create(5), 0);
  m.set("kept", 1, 0);
  EXPECT_EQ(Create(m, 0), Printed(-1, at + "404]bitems == 0\n"));
  EXPECT_EQ(Create(m, 0x1FFFFFFFFFFFFFFFUL), Printed(-1, at + "399]too large bitems, overflower\n"));
  EXPECT_EQ(m.size(), 1u);
  EXPECT_EQ(Get(m, "kept"), Got(0xFFFF, 1));
  // Passes the size check; the bucket array cannot be had.
  EXPECT_EQ(Create(m, 0x1FFFFFFFFFFFFFFEUL),
            Printed(-1, at + "413]recreate error when create hash bitems[2305843009213693950]\n"));
  EXPECT_EQ(m.size(), 0u);
  EXPECT_EQ(Create(m, 10), Printed(0, ""));

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

// A million random operations against std::unordered_map.
TEST(HashmapTest, RandomizedAgainstUnorderedMap) {
  StrMap m;
  ASSERT_EQ(m.create(1009), 0);
  std::unordered_map<std::string, int> model;
  std::mt19937 rng(2024);
  std::vector<std::string> keys(5000);
  for (std::string& k : keys) {
    for (size_t len = rng() % 12; len > 0; --len) k.push_back(static_cast<char>(rng() % 256));
  }
  for (int step = 0; step < 1000000; ++step) {
    const std::string& k = keys[rng() % keys.size()];
    const unsigned op = rng() % 1000;
    const auto it = model.find(k);
    if (op < 450) {
      const int v = static_cast<int>(rng()), flag = static_cast<int>(rng() % 2);
      ASSERT_EQ(m.set(k, v, flag), it == model.end() ? 0x10002 : (flag ? 0x10001 : 0xFFFF));
      if (it == model.end() || flag) model[k] = v;
    } else if (op < 999) {
      ASSERT_EQ(Get(m, k), it == model.end() ? Got(0x10000, -7) : Got(0xFFFF, it->second));
    } else {
      ASSERT_EQ(m.clear(), 0);
      model.clear();
    }
    ASSERT_EQ(m.size(), model.size());
  }
  std::unordered_map<std::string, int> seen;
  for (auto it = m.begin(); it != m.end(); ++it) ASSERT_TRUE(seen.emplace(it->first, it->second).second) << "twice";
  EXPECT_EQ(seen, model);
}

}  // namespace
