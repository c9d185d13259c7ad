// The answers of hash_search and of the dictionary look-up, pinned for the
// built form and the binary form of the key table: every key found with its
// own value, and near misses (one byte more, one less, one changed, another
// case) answered alike by both forms and by a reference map.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "hash.h"
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
