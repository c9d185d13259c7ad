#include "hash.h"

#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "support/support.h"

namespace kavo {
namespace pbdict {
namespace {

struct TableDeleter {
  void operator()(hash_table_t* ht) const { hash_release(ht); }
};
using Table = std::unique_ptr<hash_table_t, TableDeleter>;
struct BinaryTableDeleter {
  void operator()(hash_table_t* ht) const { hash_binary_release(ht); }
};
using BinaryTable = std::unique_ptr<hash_table_t, BinaryTableDeleter>;

// Every node of every chain sits in the bucket of its key.
bool ChainsConsistent(const hash_table_t* ht) {
  int count = 0;
  for (int b = 0; b < ht->capacity; ++b) {
    for (const hash_node_t* n = ht->table[b]; n != nullptr; n = n->next, ++count) {
      if (hash(n->str, static_cast<uint32_t>(ht->capacity)) != static_cast<uint32_t>(b)) return false;
    }
  }
  return count == ht->size;
}

TEST(Hash, ValuesAndCapacities) {
  EXPECT_EQ(0xca2e9442u, hash("a", 0xffffffffu));
  EXPECT_EQ(0x519e91f5u, hash("The quick brown fox jumps over the lazy dog", 0xffffffffu));
  EXPECT_EQ(0u, hash("", 53));
  EXPECT_EQ(0xca2e9442u % 1543u, hash("a", 1543));
  // Bytes above 0x7f count as unsigned values.
  EXPECT_NE(hash("\xb0\xa1", 0xffffffffu), hash("\x30\x21", 0xffffffffu));

  EXPECT_EQ(49175u, _prime_list[10]);
  EXPECT_TRUE(is_list_capacity(49175));
  EXPECT_FALSE(is_list_capacity(49157));
  const std::pair<uint32_t, uint32_t> primes[] = {{0, 53}, {53, 97}, {1024, 1543}, {12582917, 25165843},
                                                  {25165843, 25165843}, {0xffffffffu, 25165843}};
  for (const auto& c : primes) EXPECT_EQ(c.second, next_prime(c.first)) << c.first;

  // A new table: the capacity at 0, 1024 and the top of the list, empty.
  const std::pair<int, int> tables[] = {{0, 53}, {1024, 1543}, {25165843, 25165843}, {30000000, 25165843}};
  for (const auto& c : tables) {
    SCOPED_TRACE(c.first);
    Table t(hash_init_table(c.first));
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(c.second, t->capacity);
    EXPECT_EQ(0, t->size);
    EXPECT_EQ(0, t->str_size);
    EXPECT_EQ(nullptr, t->str_all);
    EXPECT_EQ(nullptr, t->nodes);
    for (int b = 0; b < t->capacity; b += 997) EXPECT_EQ(nullptr, t->table[b]);
  }
}

TEST(HashTable, GrowsAtOneKeyPerBucket) {
  Table t(hash_init_table(1024));
  for (int i = 0; i < 1543; ++i) {
    ASSERT_EQ(0, hash_insert_node(t.get(), ("key" + std::to_string(i)).c_str(), i));
  }
  EXPECT_EQ(1543, t->capacity);
  ASSERT_EQ(0, hash_insert_node(t.get(), "key1543", 1543));
  EXPECT_EQ(3079, t->capacity);
  EXPECT_EQ(1544, t->size);
  EXPECT_TRUE(ChainsConsistent(t.get()));
  for (int i = 0; i < 1544; ++i) {
    uint32_t v = 99999;
    ASSERT_EQ(1, hash_search(t.get(), ("key" + std::to_string(i)).c_str(), &v));
    EXPECT_EQ(static_cast<uint32_t>(i), v);
  }
}

TEST(HashTable, DuplicatesAndLongKeys) {
  Table t(hash_init_table(0));
  ASSERT_EQ(0, hash_insert_node(t.get(), "k", 7));
  EXPECT_EQ(1, hash_insert_node(t.get(), "k", 8));
  EXPECT_EQ(1, t->size);
  uint32_t v = 0;
  EXPECT_EQ(1, hash_search(t.get(), "k", &v));
  EXPECT_EQ(7u, v);
  // Growth runs before the duplicate test: a full table grows even when the
  // key is already there.
  for (int i = 1; i < 53; ++i) ASSERT_EQ(0, hash_insert_node(t.get(), std::to_string(i).c_str(), i));
  EXPECT_EQ(53, t->capacity);
  EXPECT_EQ(1, hash_insert_node(t.get(), "k", 9));
  EXPECT_EQ(97, t->capacity);
  EXPECT_EQ(53, t->size);
  EXPECT_TRUE(ChainsConsistent(t.get()));

  // Keys are cut at 10,000 bytes: a longer key is found by its first 10,000
  // bytes only, and another key with the same start is the same key.
  Table l(hash_init_table(0));
  std::string longkey(12000, 'x');
  longkey[9999] = 'y';
  const std::string cut = longkey.substr(0, 10000);
  ASSERT_EQ(0, hash_insert_node(l.get(), longkey.c_str(), 5));
  v = 1;
  EXPECT_EQ(0, hash_search(l.get(), longkey.c_str(), &v));
  EXPECT_EQ(0u, v);
  EXPECT_EQ(1, hash_search(l.get(), cut.c_str(), &v));
  EXPECT_EQ(5u, v);
  EXPECT_EQ(1, hash_insert_node(l.get(), (cut + "zzz").c_str(), 6));
  EXPECT_EQ(10000u, std::strlen(l->table[hash(cut.c_str(), l->capacity)]->str));
}

TEST(HashTable, NullArgumentsEmptyKeyAndEquality) {
  Table t(hash_init_table(0));
  uint32_t v = 3;
  EXPECT_EQ(-1, hash_insert_node(nullptr, "a", 1));
  EXPECT_EQ(-1, hash_insert_node(t.get(), nullptr, 1));
  EXPECT_EQ(0, hash_search(nullptr, "a", &v));
  EXPECT_EQ(0u, v);
  EXPECT_EQ(0, hash_search(t.get(), nullptr));
  EXPECT_EQ(0, hash_search(t.get(), ""));
  EXPECT_EQ(0, hash_insert_node(t.get(), "", 4));
  EXPECT_EQ(1, hash_search(t.get(), ""));
  EXPECT_NE(nullptr, t->table[0]);
  EXPECT_EQ(0, hash_release(nullptr));
  EXPECT_EQ(0, hash_binary_release(nullptr));

  Table a(hash_init_table(0)), b(hash_init_table(0));
  for (int i = 0; i < 300; ++i) {
    std::string k = "k" + std::to_string(i);
    hash_insert_node(a.get(), k.c_str(), i);
    hash_insert_node(b.get(), k.c_str(), i);
  }
  EXPECT_EQ(1, hash_is_equal(a.get(), b.get()));
  EXPECT_EQ(0, hash_is_equal(a.get(), nullptr));
  hash_insert_node(b.get(), "extra", 1);
  EXPECT_EQ(0, hash_is_equal(a.get(), b.get()));
  hash_insert_node(a.get(), "extra", 2);  // same keys, one value differs
  EXPECT_EQ(0, hash_is_equal(a.get(), b.get()));
}

// The "ht" file is replaced whole: a failed write (no folder, a file-size
// limit) leaves the old file, and what was written reads back equal (an
// empty key included).
TEST(HashTable, BinaryDumpReplacesTheFileWhole) {
  testsupport::TempDir dir;
  const std::string path = dir.file("t.ht");
  Table t(hash_init_table(0));
  for (int i = 0; i < 3000; ++i) hash_insert_node(t.get(), ("k" + std::to_string(i)).c_str(), i);
  hash_insert_node(t.get(), "", 7);
  EXPECT_EQ(-1, hash_binary_dump(nullptr, path.c_str()));
  EXPECT_EQ(-1, hash_binary_dump(t.get(), nullptr));
  EXPECT_EQ(-1, hash_binary_dump(t.get(), dir.file("none/t.ht").c_str()));
  ASSERT_EQ(0, hash_binary_dump(t.get(), path.c_str()));
  BinaryTable back(hash_binary_load(path.c_str()));
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(1, hash_is_equal(t.get(), back.get()));
  const std::string before = testsupport::ReadFile(path);
  Table small(hash_init_table(0));
  hash_insert_node(small.get(), "only", 1);
  const int status = testsupport::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {4096, 4096};
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) return 10;
    return hash_binary_dump(t.get(), path.c_str()) == -1 ? 0 : 1;
  });
  EXPECT_EQ(0, status);
  EXPECT_EQ(before, testsupport::ReadFile(path));
  ASSERT_EQ(0, hash_binary_dump(small.get(), path.c_str()));
  BinaryTable one(hash_binary_load(path.c_str()));
  ASSERT_NE(nullptr, one);
  EXPECT_EQ(1, hash_is_equal(small.get(), one.get()));
}

TEST(HashTable, RandomAgainstUnorderedMap) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> len(0, 24), byte(1, 255);
  std::uniform_int_distribution<int> small(0, 40);  // makes duplicates frequent among short keys
  Table t(hash_init_table(1024));
  std::unordered_map<std::string, uint32_t> ref;
  std::vector<std::string> keys;
  for (uint32_t i = 0; i < 200000; ++i) {
    std::string k;
    int n = (i % 4 == 0) ? 1 + small(rng) % 2 : len(rng);
    for (int j = 0; j < n; ++j) k.push_back(static_cast<char>(i % 4 == 0 ? 'a' + small(rng) % 8 : byte(rng)));
    bool fresh = ref.emplace(k, i).second;
    ASSERT_EQ(fresh ? 0 : 1, hash_insert_node(t.get(), k.c_str(), i));
    keys.push_back(std::move(k));
  }
  ASSERT_EQ(static_cast<int>(ref.size()), t->size);
  EXPECT_TRUE(ChainsConsistent(t.get()));
  EXPECT_GE(t->capacity, t->size);
  for (const auto& k : keys) {
    uint32_t v = 0;
    ASSERT_EQ(1, hash_search(t.get(), k.c_str(), &v));
    ASSERT_EQ(ref[k], v);
  }
  for (int i = 0; i < 20000; ++i) {
    std::string k = "absent-" + std::to_string(i);
    ASSERT_EQ(ref.count(k) ? 1 : 0, hash_search(t.get(), k.c_str()));
  }
}

}  // namespace
}  // namespace pbdict
}  // namespace kavo
