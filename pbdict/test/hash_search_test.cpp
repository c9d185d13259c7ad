// The answers of hash_search and of the dictionary look-up, pinned for the
// built form and the binary form of the key table: every key found with its
// own value, and near misses (one byte more, one less, one changed, another
// case) answered alike by both forms and by a reference map.
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "hash.h"
#include "hash_built.h"
#include "pbdict.h"
#include "schema_fixture.h"
#include "support/digest.h"
#include "support/support.h"

namespace kavo {
namespace pbdict {
namespace {

struct TableDeleter {
  void operator()(hash_table_t* ht) const { hash_release(ht); }
};
struct BinaryTableDeleter {
  void operator()(hash_table_t* ht) const { hash_binary_release(ht); }
};

// The keys and, for each, the probes that must miss unless they happen to
// be keys too: one byte more, one byte less, the last byte changed, the
// first letter's case flipped.
std::vector<std::string> Probes(const std::vector<std::string>& keys) {
  std::vector<std::string> probes;
  for (const std::string& k : keys) {
    probes.push_back(k);
    probes.push_back(k + "x");
    if (!k.empty()) {
      probes.push_back(k.substr(0, k.size() - 1));
      // Neither change makes a NUL, which would end the probe early.
      std::string changed = k;
      const unsigned char last = static_cast<unsigned char>(changed.back());
      changed.back() = static_cast<char>(last == 0xff ? 1 : last + 1);
      probes.push_back(changed);
      if (k[0] != ' ') {
        std::string flipped = k;
        flipped[0] = static_cast<char>(flipped[0] ^ 0x20);
        probes.push_back(flipped);
      }
    }
  }
  return probes;
}

// Random keys of 0 to 40 bytes (any byte but NUL), short keys that collide
// often, and keys at the longest stored length, one byte below and one
// past it (stored cut).
std::vector<std::string> TableKeys() {
  std::mt19937 rng(2718);
  std::uniform_int_distribution<int> len(0, 40), byte(1, 255);
  std::vector<std::string> keys;
  for (int i = 0; i < 30000; ++i) {
    std::string k(static_cast<size_t>(i % 5 == 0 ? 1 + i % 3 : len(rng)), 'a');
    for (char& c : k) c = static_cast<char>(i % 5 == 0 ? 'a' + byte(rng) % 6 : byte(rng));
    keys.push_back(k);
  }
  for (size_t n : {kMaxKeyLength - 1, kMaxKeyLength, kMaxKeyLength + 1}) {
    keys.push_back(std::string(n, static_cast<char>('L' + n % 3)));
  }
  return keys;
}

TEST(HashSearch, AnswersPinnedInBothForms) {
  const std::vector<std::string> keys = TableKeys();
  std::unique_ptr<hash_table_t, TableDeleter> built(hash_init_table(0));
  std::unordered_map<std::string, uint32_t> ref;
  for (uint32_t i = 0; i < keys.size(); ++i) {
    const std::string stored = keys[i].substr(0, kMaxKeyLength);
    ASSERT_EQ(ref.emplace(stored, i).second ? 0 : 1, hash_insert_node(built.get(), keys[i].c_str(), i));
  }
  testsupport::TempDir dir;
  ASSERT_EQ(0, hash_binary_dump(built.get(), dir.file("k.ht").c_str()));
  std::unique_ptr<hash_table_t, BinaryTableDeleter> binary(hash_binary_load(dir.file("k.ht").c_str()));
  ASSERT_NE(nullptr, binary);

  testsupport::Digest digest;
  int found = 0;
  for (const std::string& p : Probes(keys)) {
    auto it = ref.find(p);
    const int expect = it != ref.end() ? 1 : 0;
    uint32_t v = 12345, w = 12345;
    ASSERT_EQ(expect, hash_search(built.get(), p.c_str(), &v)) << p.size();
    ASSERT_EQ(expect, hash_search(binary.get(), p.c_str(), &w)) << p.size();
    ASSERT_EQ(expect == 1 ? it->second : 0u, v);
    ASSERT_EQ(v, w);
    found += expect;
    digest.Int(expect);
    digest.Word(v);
  }
  // The key one past the longest length is found by its cut form only.
  EXPECT_EQ(0, hash_search(built.get(), keys.back().c_str()));
  EXPECT_EQ(1, hash_search(binary.get(), keys.back().substr(0, kMaxKeyLength).c_str()));
  EXPECT_EQ(45462, found);
  EXPECT_EQ(0x428b2e9c2037890cull, digest.value());
}

// Writes the table as an "ht" file and reads it back in the binary form.
std::unique_ptr<hash_table_t, BinaryTableDeleter> BinaryCopy(const hash_table_t* built,
                                                             const testsupport::TempDir& dir) {
  EXPECT_EQ(0, hash_binary_dump(built, dir.file("c.ht").c_str()));
  return std::unique_ptr<hash_table_t, BinaryTableDeleter>(hash_binary_load(dir.file("c.ht").c_str()));
}

// Keys whose full hashes are equal, of the same length and of different
// lengths: each is its own key, in both forms.
// The search reads a key's length in aligned blocks: a key is found, or
// missed, alike wherever it starts within a block and wherever its NUL
// falls, up to the longest length and one past it.
TEST(HashSearch, KeyFoundAtEveryPlaceInItsBlock) {
  std::vector<std::string> keys;
  for (size_t n = 0; n <= 40; ++n) keys.push_back(std::string(n, static_cast<char>('a' + n % 26)));
  keys.push_back(std::string(kMaxKeyLength, 'M'));
  std::unique_ptr<hash_table_t, TableDeleter> built(hash_init_table(0));
  for (uint32_t i = 0; i < keys.size(); ++i) {
    ASSERT_EQ(0, hash_insert_node(built.get(), keys[i].c_str(), i));
  }
  testsupport::TempDir dir;
  auto binary = BinaryCopy(built.get(), dir);
  ASSERT_NE(nullptr, binary);
  keys.push_back(std::string(kMaxKeyLength + 1, 'M'));  // one past: never found
  alignas(16) static char buf[16 + kMaxKeyLength + 2];
  for (uint32_t i = 0; i < keys.size(); ++i) {
    for (size_t at = 0; at < 16; ++at) {
      std::memcpy(buf + at, keys[i].c_str(), keys[i].size() + 1);
      const int expect = i + 1 < keys.size() ? 1 : 0;
      for (const hash_table_t* ht : {built.get(), binary.get()}) {
        uint32_t v = 12345;
        ASSERT_EQ(expect, hash_search(ht, buf + at, &v)) << keys[i].size() << " at " << at;
        ASSERT_EQ(expect == 1 ? i : 0u, v);
      }
    }
  }
}

// A key whose NUL is the last readable byte before an unmapped page is read
// without touching that page.
TEST(HashSearch, KeyEndingAtAnUnmappedPage) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t pages = (kMaxKeyLength + 1) / page + 1;
  char* map = static_cast<char*>(mmap(nullptr, (pages + 1) * page, PROT_READ | PROT_WRITE,
                                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(MAP_FAILED, map);
  ASSERT_EQ(0, mprotect(map + pages * page, page, PROT_NONE));
  char* end = map + pages * page;  // the first byte of the unmapped page
  std::unique_ptr<hash_table_t, TableDeleter> built(hash_init_table(0));
  for (size_t n : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17},
                   static_cast<size_t>(kMaxKeyLength)}) {
    const std::string key(n, 'p');
    ASSERT_EQ(0, hash_insert_node(built.get(), key.c_str(), static_cast<uint32_t>(n)));
    std::memcpy(end - n - 1, key.c_str(), n + 1);
    uint32_t v = 0;
    EXPECT_EQ(1, hash_search(built.get(), end - n - 1, &v)) << n;
    EXPECT_EQ(n, v);
  }
  std::memset(map, 'p', pages * page - 1);
  end[-1] = '\0';  // a key of every byte up to the page: longer than any key
  EXPECT_EQ(0, hash_search(built.get(), map));
  munmap(map, (pages + 1) * page);
}

TEST(HashSearch, KeysOfEqualFullHash) {
  const char* const pairs[][2] = {{"k11311", "k19529"}, {"k160083", "key190432x"}};
  std::unique_ptr<hash_table_t, TableDeleter> built(hash_init_table(0));
  uint32_t value = 0;
  for (const auto& pair : pairs) {
    size_t n0 = 0, n1 = 0;
    ASSERT_EQ(hash_key_hash(pair[0], &n0), hash_key_hash(pair[1], &n1)) << pair[0];
    ASSERT_EQ(0, hash_insert_node(built.get(), pair[0], value++));
    ASSERT_EQ(0, hash_insert_node(built.get(), pair[1], value++));
    EXPECT_EQ(1, hash_insert_node(built.get(), pair[1], 99));
  }
  testsupport::TempDir dir;
  auto binary = BinaryCopy(built.get(), dir);
  ASSERT_NE(nullptr, binary);
  for (const hash_table_t* t : {built.get(), binary.get()}) {
    uint32_t expect = 0;
    for (const auto& pair : pairs) {
      for (const char* key : pair) {
        EXPECT_EQ(1, hash_search(t, key, &value)) << key;
        EXPECT_EQ(expect++, value) << key;
      }
    }
    EXPECT_EQ(0, hash_search(t, "k1131"));
    EXPECT_EQ(0, hash_search(t, "key190432"));
  }
}

// A probe in the bucket of the key area's last key compares no byte past
// the area: probes one byte shorter than the key, as long, and one to ten
// bytes longer than the rest of the area answer 0 (the sanitizer builds
// report any read beyond it).
TEST(HashSearch, BinaryFormReadsNoFurtherThanTheKeyArea) {
  std::unique_ptr<hash_table_t, TableDeleter> built(hash_init_table(0));
  ASSERT_EQ(0, hash_insert_node(built.get(), "kk", 5));
  testsupport::TempDir dir;
  auto binary = BinaryCopy(built.get(), dir);
  ASSERT_NE(nullptr, binary);
  ASSERT_EQ(3, binary->str_size);
  const uint32_t bucket = hash("kk", static_cast<uint32_t>(binary->capacity));
  int tried = 0;
  for (size_t len = 1; len <= 12; ++len) {
    // The first probe of this length that falls in the key's bucket: its
    // bytes count up from 1 to 255, the first one fastest.
    for (uint32_t i = 0; i < 1000000; ++i) {
      std::string probe(len, 'z');
      for (size_t j = 0, n = i; j < len && j < 4; ++j, n /= 255) probe[j] = static_cast<char>(1 + n % 255);
      if (probe == "kk" || hash(probe.c_str(), static_cast<uint32_t>(binary->capacity)) != bucket) {
        continue;
      }
      uint32_t v = 1;
      EXPECT_EQ(0, hash_search(binary.get(), probe.c_str(), &v)) << len;
      EXPECT_EQ(0u, v);
      EXPECT_EQ(0, hash_search(built.get(), probe.c_str())) << len;
      ++tried;
      break;
    }
  }
  EXPECT_EQ(12, tried);
  uint32_t v = 0;
  EXPECT_EQ(1, hash_search(binary.get(), "kk", &v));
  EXPECT_EQ(5u, v);
}

// A table of the binary form takes no new key: its nodes live in one block
// that its release frees whole.
TEST(HashSearch, BinaryFormRefusesNewKeys) {
  std::unique_ptr<hash_table_t, TableDeleter> built(hash_init_table(0));
  ASSERT_EQ(0, hash_insert_node(built.get(), "kk", 5));
  testsupport::TempDir dir;
  auto binary = BinaryCopy(built.get(), dir);
  ASSERT_NE(nullptr, binary);
  EXPECT_EQ(-1, hash_insert_node(binary.get(), "new", 6));
  EXPECT_EQ(1, binary->size);
  EXPECT_EQ(0, hash_search(binary.get(), "new"));
  EXPECT_EQ(1, hash_is_equal(built.get(), binary.get()));
}

TEST(HashSearch, BinaryFormGrowsByRehashingItsKeys) {
  std::unique_ptr<hash_table_t, TableDeleter> built(hash_init_table(0));
  for (uint32_t i = 0; i < 53; ++i) {
    ASSERT_EQ(0, hash_insert_node(built.get(), ("k" + std::to_string(i)).c_str(), i));
  }
  ASSERT_EQ(53, built->capacity);
  testsupport::TempDir dir;
  auto binary = BinaryCopy(built.get(), dir);
  ASSERT_NE(nullptr, binary);
  ASSERT_EQ(0, resize_hash_table(binary.get()));
  EXPECT_EQ(97, binary->capacity);
  for (uint32_t i = 0; i < 53; ++i) {
    uint32_t v = 99;
    EXPECT_EQ(1, hash_search(binary.get(), ("k" + std::to_string(i)).c_str(), &v)) << i;
    EXPECT_EQ(i, v);
  }
  EXPECT_EQ(0, hash_binary_release(binary.release()));

  // A table whose capacity a caller set to 0 (or below) answers 0 without
  // dividing by it.
  const int capacity = built->capacity;
  built->capacity = 0;
  uint32_t v = 7;
  EXPECT_EQ(0, hash_search(built.get(), "k1", &v));
  EXPECT_EQ(0u, v);
  built->capacity = capacity;
  EXPECT_EQ(1, hash_search(built.get(), "k1"));
}

// Keys all of one length (the search then fetches a key from its node's
// place in the area): every key found with its value, the same keys with
// their last byte changed absent, in the binary form as in the built one.
TEST(HashSearch, KeysOfOneLength) {
  std::unique_ptr<hash_table_t, TableDeleter> built(hash_init_table(0));
  std::vector<std::string> keys;
  for (uint32_t i = 0; i < 5000; ++i) {
    char key[16];
    std::snprintf(key, sizeof(key), "%011u", i * 2654435761u);
    keys.push_back(key);
    ASSERT_EQ(0, hash_insert_node(built.get(), key, i));
  }
  testsupport::TempDir dir;
  auto binary = BinaryCopy(built.get(), dir);
  ASSERT_NE(nullptr, binary);
  ASSERT_EQ(5000 * 12, binary->str_size);
  for (const hash_table_t* t : {built.get(), binary.get()}) {
    for (uint32_t i = 0; i < keys.size(); ++i) {
      uint32_t v = 0;
      ASSERT_EQ(1, hash_search(t, keys[i].c_str(), &v)) << keys[i];
      ASSERT_EQ(i, v);
      std::string absent = keys[i];
      absent.back() = 'x';
      ASSERT_EQ(0, hash_search(t, absent.c_str())) << absent;
    }
  }
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// When memory runs out, an insertion answers -1 and the table keeps every
// key it held (run in a child whose address space is capped; the
// sanitizers need more address space than the cap leaves).
TEST(HashSearch, InsertionWithoutMemoryFailsAndKeepsTheTable) {
  const int status = testsupport::RunInChild([] {
    std::unique_ptr<hash_table_t, TableDeleter> t(hash_init_table(0));
    std::string key(kMaxKeyLength, 'k');
    struct rlimit rl;
    getrlimit(RLIMIT_AS, &rl);
    std::string statm = testsupport::ReadFile("/proc/self/statm");
    rl.rlim_cur = std::stoull(statm) * 4096 + (64u << 20);
    if (setrlimit(RLIMIT_AS, &rl) != 0) return 10;
    int rc = 0, inserted = 0;
    for (; inserted < 100000; ++inserted) {
      std::snprintf(&key[0], 16, "%09d", inserted);
      key[9] = 'k';
      if ((rc = hash_insert_node(t.get(), key.c_str(), static_cast<uint32_t>(inserted))) != 0) break;
    }
    if (rc != -1 || t->size != inserted || inserted < 100) return 11;
    for (int i = 0; i < inserted; ++i) {
      std::snprintf(&key[0], 16, "%09d", i);
      key[9] = 'k';
      uint32_t v = 0;
      if (hash_search(t.get(), key.c_str(), &v) != 1 || v != static_cast<uint32_t>(i)) return 12;
    }
    return 0;
  });
  EXPECT_EQ(0, status);
}
#endif

// A built record (node, tag, key and NUL) of at most a cache line lies in
// one line, so a search reads one line per node: keys of 0 to 31 bytes make
// records of 40 to 64 bytes; 32 bytes and more make longer ones, which may
// cross.
TEST(HashSearch, ShortRecordsStayInOneCacheLine) {
  std::unique_ptr<hash_table_t, TableDeleter> built(hash_init_table(0));
  std::vector<std::string> keys;
  for (int i = 0; i < 3000; ++i) {
    std::string k = std::to_string(i);
    k.resize(static_cast<size_t>(i % 40), '.');
    if (hash_insert_node(built.get(), k.c_str(), static_cast<uint32_t>(i)) == 0) keys.push_back(k);
  }
  int in_one_line = 0, crossing = 0;
  for (int b = 0; b < built->capacity; ++b) {
    for (const hash_node_t* n = built->table[b]; n != nullptr; n = n->next) {
      const uintptr_t first = reinterpret_cast<uintptr_t>(n) / 64;
      const uintptr_t last = (reinterpret_cast<uintptr_t>(n->str) + std::strlen(n->str)) / 64;
      if (std::strlen(n->str) <= 31) {
        EXPECT_EQ(first, last) << n->str;
        ++in_one_line;
      } else if (first != last) {
        ++crossing;
      }
    }
  }
  EXPECT_GT(in_one_line, 2000);
  EXPECT_GT(crossing, 0);
  for (const std::string& k : keys) EXPECT_EQ(1, hash_search(built.get(), k.c_str())) << k;
}

// The remainder without a division equals the division's at every list
// capacity and at the ends of the divisor's range, for hashes just below,
// at and past each multiple and at the ends of their range.
TEST(HashSearch, BucketRemainderEqualsTheDivision) {
  std::vector<uint32_t> divisors(_prime_list, _prime_list + kPrimeListSize);
  for (uint32_t d : {1u, 2u, 3u, 0x7fffffffu, 0x80000000u, 0xfffffffeu, 0xffffffffu}) {
    divisors.push_back(d);
  }
  std::mt19937 rng(5);
  for (uint32_t d : divisors) {
    const BucketDivisor divisor(d);
    ASSERT_EQ(d, divisor.divisor());
    std::vector<uint32_t> hashes = {0, 1, d - 1, d, 0xfffffffeu, 0xffffffffu};
    if (d <= 0x7fffffffu) {
      for (uint32_t n : {d + 1, 2 * d - 1, 2 * d, 2 * d + 1}) hashes.push_back(n);
      const uint32_t top = 0xffffffffu / d * d;  // the last multiple
      for (uint32_t n : {top - 1, top}) hashes.push_back(n);
    }
    for (int i = 0; i < 1000; ++i) hashes.push_back(rng());
    for (uint32_t n : hashes) ASSERT_EQ(n % d, divisor.Remainder(n)) << n << " % " << d;
  }
}

// A dictionary that folds keys to lower case answers every case of a key,
// loaded from text and from its binary files alike.
class HashSearchFolded : public pbdict_test::DictTest {};

TEST_F(HashSearchFolded, AnswersPinnedInBothForms) {
  std::mt19937 rng(31);
  const char alphabet[] = "aBcDeFgHiJkLmNoPqRsTuVwXyZ0123456789-_.\xb0\xa1";
  std::uniform_int_distribution<int> len(1, 24), pick(0, sizeof(alphabet) - 2);
  std::vector<std::string> keys;
  std::string text;
  for (int i = 0; i < 4000; ++i) {
    std::string k(static_cast<size_t>(len(rng)), 'a');
    for (char& c : k) c = alphabet[pick(rng)];
    keys.push_back(k);
    text += k + "\t{\"n\":" + std::to_string(i) + "}\n";
  }
  testsupport::WriteFile(dir_.file("d.txt"), text);
  dset_parameter_t param;
  param.tolower = 1;
  testsupport::CaptureFd err(2);
  PbDict loaded(schema_.Prototype("t.V"), &param);
  ASSERT_EQ(0, loaded.load(dir_.file("d.txt").c_str()));
  ASSERT_EQ(0, loaded.binary_dump(dir_.path().c_str(), "f"));
  PbDict read(schema_.Prototype("t.V"), nullptr);
  ASSERT_EQ(0, read.binary_load(dir_.path().c_str(), "f"));
  ASSERT_EQ(1, read.parameter.tolower);

  testsupport::Digest digest;
  int found = 0;
  for (const std::string& p : Probes(keys)) {
    const int line = find_line(&loaded, p.c_str());
    ASSERT_EQ(line, find_line(&read, p.c_str())) << p;
    found += line >= 0 ? 1 : 0;
    digest.Int(line);
  }
  EXPECT_EQ(6873, found);
  EXPECT_EQ(0x794d8c322538da33ull, digest.value());
}

}  // namespace
}  // namespace pbdict
}  // namespace kavo
