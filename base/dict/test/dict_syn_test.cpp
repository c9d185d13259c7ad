// Synonym dictionary: pairs of each construction mode, source-line limits,
// duplicates, the word store's block boundary, the look-up size limit, exact
// saved bytes, and both loaders agreeing with the built dictionary.

#include <random>
#include <string>
#include <vector>

#include "dict_test_util.h"
#include "gtest/gtest.h"
#include "support/support.h"
#include "ul_dict.h"

namespace {

using namespace dicttest;

struct SynDeleter {
  void operator()(Sdict_build_syn* s) const { db_syn_del(s); }
  void operator()(Sdict_search_syn* s) const { ds_syn_del(s); }
};
using SynPtr = std::unique_ptr<Sdict_build_syn, SynDeleter>;
using SearchSynPtr = std::unique_ptr<Sdict_search_syn, SynDeleter>;

// The synonyms a look-up writes, or {"<r>"} for a result r below 0.
template <typename Syn>
std::vector<std::string> Synonyms(int (*seek)(Syn*, const char*, char*, int), Syn* syn,
                                  const std::string& word, int size = 4096) {
  std::string out(static_cast<size_t>(size), '#');
  const int n = seek(syn, word.c_str(), &out[0], size);
  if (n < 0) return {"<" + std::to_string(n) + ">"};
  std::vector<std::string> r;
  for (size_t pos = 0; static_cast<int>(r.size()) < n; pos += r.back().size() + 1) r.emplace_back(out.c_str() + pos);
  return r;
}
using Words = std::vector<std::string>;

// Location of a stored word (other of the word dictionary), -1 when absent.
long long Location(Sdict_build_syn* syn, const std::string& w) {
  Sdict_snode n{0, 0, -1, 0};
  creat_sign_fs64(w.data(), static_cast<int>(w.size()), &n.sign1, &n.sign2);
  return db_op1(syn->pdword, &n, SEEK) == 1 ? static_cast<long long>(n.other) : -1;
}

TEST(DictSyn, ConstructionModesGiveTheirPairs) {
  TempDir dir;
  const std::string file = dir.file("src");
  using Build = Sdict_build_syn* (*)(const char*, int, int);
  struct Row {
    Build build;
    int mode, pairs;
    Words of_a, of_b;
  };
  const std::vector<Row> rows = {
      {db_syn_construct, 0, 6, {"c", "b"}, {"c", "a"}},
      {db_syn_construct, 1, 4, {"c", "b"}, {"a"}},
      {db_syn_construct, 2, 0, {}, {}},
      {db_syn_construct_unidirect, 0, 2, {"b"}, {"c"}},
      {db_syn_construct_unidirect, 1, 2, {"c", "b"}, {}},
      {db_syn_construct_unidirect, 2, 0, {}, {}},
  };
  WriteFile(file, "a|b|c\n");
  for (const Row& r : rows) {
    SynPtr syn(r.build(file.c_str(), 13, r.mode));
    ASSERT_NE(nullptr, syn);
    EXPECT_EQ(r.pairs, syn->node_num) << r.mode;
    EXPECT_EQ(r.of_a, Synonyms(db_syn_seek, syn.get(), "a")) << r.mode;
    EXPECT_EQ(r.of_b, Synonyms(db_syn_seek, syn.get(), "b")) << r.mode;
  }
  // An empty item between separators counts, a trailing one adds none; CR
  // ends a line.
  WriteFile(file, "a||b|\nx|y\rz\n|\n");
  SynPtr syn(db_syn_construct(file.c_str(), 13, 0));
  EXPECT_EQ(8, syn->node_num);
  EXPECT_EQ(5, syn->words);
  EXPECT_EQ((Words{"b", "a"}), Synonyms(db_syn_seek, syn.get(), ""));
  EXPECT_EQ((Words{}), Synonyms(db_syn_seek, syn.get(), "z"));

  CaptureFd err(2);
  EXPECT_EQ(nullptr, db_syn_construct(dir.file("none").c_str(), 13, 0));
  EXPECT_EQ(nullptr, db_syn_construct_unidirect(file.c_str(), 0, 0));
  const std::string log = err.Stop();
  EXPECT_EQ(1, CountOf(log, "open " + dir.file("none") + " failed"));
  EXPECT_EQ(1, CountOf(log, "create synonym dict failed"));
}

// Memory runs out when the words need a second store block: the builder
// gives no half-built dictionary.
TEST(DictSyn, ConstructionOutOfMemoryGivesNothing) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "address-space limit under a sanitizer";
#endif
  TempDir dir;
  std::string src;
  for (int i = 0; i < 2100; ++i) src += std::to_string(i) + std::string(250, 'w') + "|x\n";  // 530 KB of words
  WriteFile(dir.file("src"), src);
  CaptureFd err(2);
  EXPECT_EQ(0, testsupport::RunInChild([&] {
    // Room for the first blocks (pairs, words, store) and less than a block more.
    if (!CapAddressSpace(sizeof(Sdict_syn_bnode_block) + sizeof(Sdict_bnode_block) + sizeof(Sdict_syn_buf_block) +
                         (384 << 10))) {
      return 11;
    }
    Sdict_build_syn* syn = db_syn_construct(dir.file("src").c_str(), 13, 0);
    return syn == nullptr ? 0 : 1;
  }));
  EXPECT_EQ(1, CountOf(err.Stop(), "create synonym dict failed"));
}

TEST(DictSyn, SourceLinesKeepTheirLimits) {
  TempDir dir;
  const std::string file = dir.file("src");
  // 1024 separators are all taken; at the 1025th splitting stops.
  // Two-byte items keep the line inside one 4098-byte read.
  const std::string letters = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  auto item = [&](int i) { return std::string{letters[i / 62], letters[i % 62]}; };
  for (int seps : {1024, 1025}) {
    std::string line = item(0);
    for (int i = 1; i <= seps; ++i) line += "|" + item(i);
    WriteFile(file, line + "\n");
    CaptureFd err(2);
    SynPtr syn(db_syn_construct_unidirect(file.c_str(), 101, 1));
    EXPECT_EQ(seps == 1025 ? 1 : 0, CountOf(err.Stop(), "number of synonyms > 1024"));
    EXPECT_EQ(1024, syn->node_num) << seps;
    EXPECT_EQ(1025, syn->words) << seps;
  }
  // Items of 255 bytes are kept, of 256 skipped.
  WriteFile(file, "a|" + std::string(255, 'x') + "|" + std::string(256, 'y') + "\n");
  CaptureFd err(2);
  SynPtr syn(db_syn_construct(file.c_str(), 13, 0));
  EXPECT_EQ(1, CountOf(err.Stop(), "skipped"));
  EXPECT_EQ((Words{std::string(255, 'x')}), Synonyms(db_syn_seek, syn.get(), "a"));
  EXPECT_EQ(2, syn->node_num);
}

TEST(DictSyn, PairsAndWordsAreStoredOnce) {
  SynPtr syn(db_syn_creat(7));
  EXPECT_EQ(0, db_syn_add(syn.get(), "a", "bb"));
  EXPECT_EQ(1, db_syn_add(syn.get(), "a", "bb"));
  EXPECT_EQ(0, db_syn_add(syn.get(), "a", "c"));
  EXPECT_EQ(0, db_syn_add(syn.get(), "bb", "a"));
  EXPECT_EQ(3, syn->node_num);
  EXPECT_EQ(3, syn->words);
  EXPECT_EQ(1, db_syn_add_word(syn.get(), "c"));
  EXPECT_EQ(0, db_syn_add_word(syn.get(), "d"));
  Sdict_syn_snode pair{1, 2, 3, 4};
  EXPECT_EQ(0, db_syn_add_snode(syn.get(), &pair));
  EXPECT_EQ(1, db_syn_add_snode(syn.get(), &pair));
  // A synonym and its NUL must fit the output: "c" needs 2 bytes, then "bb" 3.
  const std::vector<std::pair<int, Words>> rows = {
      {0, {}}, {1, {}}, {2, {"c"}}, {4, {"c"}}, {5, {"c", "bb"}}};
  for (const auto& [size, want] : rows) EXPECT_EQ(want, Synonyms(db_syn_seek, syn.get(), "a", size)) << size;
  EXPECT_EQ((Words{}), Synonyms(db_syn_seek, syn.get(), "unknown"));
  // The search side keeps the same limit.
  TempDir dir;
  ASSERT_EQ(1, db_syn_save(syn.get(), dir.path().c_str(), "s"));
  SearchSynPtr search(ds_syn_load(dir.path().c_str(), "s"));
  ASSERT_NE(nullptr, search);
  for (const auto& [size, want] : rows) EXPECT_EQ(want, Synonyms(ds_syn_seek, search.get(), "a", size)) << size;
}

// A word starts a new block when cur_buf + length reaches 524287.
TEST(DictSyn, WordStoreStartsANewBlockAtItsEnd) {
  for (size_t len : {24285u, 24286u}) {
    SynPtr syn(db_syn_creat(11));
    const std::string first(500000, 'a'), second(len, 'b');
    ASSERT_EQ(0, db_syn_add(syn.get(), first.c_str(), second.c_str()));
    EXPECT_EQ(0, Location(syn.get(), first));
    EXPECT_EQ(len == 24285u ? 500001 : 524288, Location(syn.get(), second)) << len;
    EXPECT_EQ(len == 24285u ? 1 : 2, syn->nrbufblock);
    EXPECT_EQ((Words{second}), Synonyms(db_syn_seek, syn.get(), first, 1 << 16));
  }
  SynPtr syn(db_syn_creat(11));
  CaptureFd err(2);
  EXPECT_EQ(-1, db_syn_add_word(syn.get(), std::string(524287, 'z').c_str()));
  err.Stop();
  EXPECT_EQ(0, db_syn_add_word(syn.get(), std::string(524286, 'z').c_str()));
  EXPECT_EQ(0, Location(syn.get(), std::string(524286, 'z')));  // fits an empty block
}

TEST(DictSyn, SavedBytesOfASmallDictionary) {
  TempDir dir;
  SynPtr syn(db_syn_creat(3));
  ASSERT_EQ(0, db_syn_add(syn.get(), "a", "b"));  // signatures (0x61, 0) and (0x62, 0): bucket 1
  ASSERT_EQ(1, db_syn_save(syn.get(), dir.path().c_str(), "s"));
  EXPECT_EQ("hash_num : 3\nnode_num : 1\nword_buf : 1\ncur_buf : 4\n", ReadFile(dir.file("s.n")));
  EXPECT_EQ(Le32({0, 0, 1, 0, 1, 0}), ReadFile(dir.file("s.ind1")));
  EXPECT_EQ(Le32({0x61, 0, 0x62, 0}), ReadFile(dir.file("s.ind2")));
  EXPECT_EQ(std::string("a\0b\0", 4) + std::string(524284, '\0'), ReadFile(dir.file("s.word")));
  EXPECT_EQ("hash_num : 1\nnode_num : 2\ncur_code : 0\n", ReadFile(dir.file("s.word.n")));
  EXPECT_EQ(-3, db_syn_save(syn.get(), dir.file("none").c_str(), "s"));

  SynPtr crowded(db_syn_creat(1));
  for (int i = 0; i < 127; ++i) db_syn_add(crowded.get(), "w", ("s" + std::to_string(i)).c_str());
  CaptureFd err(2);
  EXPECT_EQ(1, db_syn_save(crowded.get(), dir.path().c_str(), "c"));
  EXPECT_EQ(2, CountOf(err.Stop(), "[db_save] too many items in one hash entry\n"));
}

// 100,000 random pairs over 20,000 words, a store of several blocks: the
// built dictionary, both loaders and a reload into another bucket count give
// the same synonyms in the same order.
TEST(DictSyn, BothLoadersGiveTheSameSynonyms) {
  TempDir dir;
  std::mt19937 rng(5);
  std::vector<std::string> pool;
  for (int i = 0; i < 20000; ++i) pool.push_back(std::string(1 + rng() % 60, static_cast<char>('a' + i % 26)) + std::to_string(i));
  SynPtr syn(db_syn_creat(50021));
  for (int i = 0; i < 100000; ++i) {
    ASSERT_GE(db_syn_add(syn.get(), pool[rng() % pool.size()].c_str(), pool[rng() % pool.size()].c_str()), 0);
  }
  ASSERT_GT(syn->nrbufblock, 1);
  ASSERT_EQ(1, db_syn_save(syn.get(), dir.path().c_str(), "s"));
  SynPtr same(db_syn_load(dir.path().c_str(), "s", 0));
  SynPtr other(db_syn_load(dir.path().c_str(), "s", 7777));
  SearchSynPtr search(ds_syn_load(dir.path().c_str(), "s"));
  ASSERT_TRUE(same && other && search);
  EXPECT_EQ(syn->node_num, same->node_num);
  EXPECT_EQ(syn->words, same->words);
  EXPECT_EQ(7777, other->hash_num);
  size_t found = 0;
  for (const std::string& w : pool) {
    const Words want = Synonyms(db_syn_seek, syn.get(), w);
    found += want.size();
    ASSERT_EQ(want, Synonyms(db_syn_seek, same.get(), w)) << w;
    ASSERT_EQ(want, Synonyms(db_syn_seek, other.get(), w)) << w;
    ASSERT_EQ(want, Synonyms(ds_syn_seek, search.get(), w)) << w;
  }
  EXPECT_EQ(static_cast<size_t>(syn->node_num), found);
  EXPECT_EQ(0, ds_syn_del(search.release()));
  // A reloaded dictionary goes on growing where the saved one stopped.
  EXPECT_EQ(0, db_syn_add(same.get(), "new", pool[0].c_str()));
  EXPECT_EQ((Words{pool[0]}), Synonyms(db_syn_seek, same.get(), "new"));
}

TEST(DictSyn, LoadersRefuseFilesThatBreakTheirNumbers) {
  TempDir dir;
  const char* p = dir.path().c_str();
  SynPtr syn(db_syn_creat(3));
  db_syn_add(syn.get(), "a", "b");
  ASSERT_EQ(1, db_syn_save(syn.get(), p, "s"));
  const std::string word = ReadFile(dir.file("s.word")), ind2 = ReadFile(dir.file("s.ind2"));
  const std::string words2 = ReadFile(dir.file("s.word.ind2"));
  CaptureFd err(2);
  WriteFile(dir.file("s.word"), word.substr(1));  // shorter than one block
  EXPECT_EQ(nullptr, db_syn_load(p, "s", 0));
  EXPECT_EQ(nullptr, ds_syn_load(p, "s"));
  WriteFile(dir.file("s.word"), word);
  // A word whose text would end past the store.
  std::string bad = words2;
  bad.replace(12, 4, Le32({524287}));
  WriteFile(dir.file("s.word.ind2"), bad);
  EXPECT_EQ(nullptr, db_syn_load(p, "s", 0));
  EXPECT_EQ(nullptr, ds_syn_load(p, "s"));
  WriteFile(dir.file("s.word.ind2"), words2);
  // One pair more than the numbers say: the build side loads and warns.
  WriteFile(dir.file("s.ind2"), ind2 + Le32({7, 7, 0x61, 0}));
  SynPtr loaded(db_syn_load(p, "s", 0));
  EXPECT_EQ(nullptr, ds_syn_load(p, "s"));
  WriteFile(dir.file("s.ind2"), ind2);
  WriteFile(dir.file("s.ind1"), Le32({0, 5, 0, 0, 1, 0}));  // a bucket past the pairs
  EXPECT_EQ(nullptr, ds_syn_load(p, "s"));
  WriteFile(dir.file("s.ind1"), Le32({0, 0, 1, 0, 1, 0}));
  WriteFile(dir.file("s.n"), "hash_num : 3\nnode_num : 1\nword_buf : 1\ncur_buf : 524289\n");
  EXPECT_EQ(nullptr, db_syn_load(p, "s", 0));
  // A number missing from the numbers file.
  WriteFile(dir.file("s.n"), "hash_num : 3\nword_buf : 1\ncur_buf : 4\n");
  EXPECT_EQ(nullptr, db_syn_load(p, "s", 0));
  EXPECT_EQ(nullptr, ds_syn_load(p, "s"));
  WriteFile(dir.file("s.n"), "hash_num : 3\nnode_num : 1\nword_buf : 1\n");
  EXPECT_EQ(nullptr, db_syn_load(p, "s", 0));
  // The empty word's location is checked like any other's.
  SynPtr empty(db_syn_creat(3));
  ASSERT_EQ(0, db_syn_add(empty.get(), "", ""));
  ASSERT_EQ(1, db_syn_save(empty.get(), p, "e"));
  std::string ewords = ReadFile(dir.file("e.word.ind2"));
  ASSERT_EQ(16u, ewords.size());
  ewords.replace(12, 4, Le32({1u << 19}));  // block 1 of a one-block store
  WriteFile(dir.file("e.word.ind2"), ewords);
  EXPECT_EQ(nullptr, db_syn_load(p, "e", 0));
  EXPECT_EQ(nullptr, ds_syn_load(p, "e"));
  const std::string log = err.Stop();
  EXPECT_EQ(1, CountOf(log, "[db_syn_load] node_num error"));
  ASSERT_NE(nullptr, loaded);
  EXPECT_EQ(2, loaded->node_num);
}

}  // namespace
