// The compact copies of the page detection's tables answer as the tables
// do, and follow them through loads, failed loads and ul_ccode_del.
#include "ul_ccode_pagetables.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "ccode_test_data.h"
#include "support/support.h"
#include "ul_ccode_load.h"

namespace {

std::vector<uint32_t> Keys(const CcodeKeySet& set, const std::vector<uint32_t>& probe) {
  std::vector<uint32_t> in;
  for (uint32_t k : probe) {
    if (set.Contains(k)) in.push_back(k);
  }
  return in;
}

TEST(CcodeKeySet, HoldsExactlyItsKeys) {
  CcodeKeySet empty;
  EXPECT_FALSE(empty.Contains(0));
  EXPECT_FALSE(empty.Contains(1));

  // Key 0 (the free-slot mark) and repeats; keys that share a slot.
  const std::vector<uint32_t> small = {0, 7, 7, 0xFFFFFFFFu, 1u << 31, 1u << 30};
  CcodeKeySet set;
  set.Assign(small.begin(), small.end());
  EXPECT_EQ(Keys(set, {0, 7, 8, 0xFFFFFFFFu, 0xFFFFFFFEu, 1u << 31, 1u << 30, 3u << 30}),
            (std::vector<uint32_t>{0, 7, 0xFFFFFFFFu, 1u << 31, 1u << 30}));
  const std::vector<uint32_t> no_zero = {5};
  set.Assign(no_zero.begin(), no_zero.end());
  EXPECT_FALSE(set.Contains(0));  // a new content forgets the old
  EXPECT_FALSE(set.Contains(7));
  EXPECT_TRUE(set.Contains(5));

  // Many keys: every member found, no other key.
  std::mt19937 rng(5);
  std::unordered_set<uint32_t> reference;
  while (reference.size() < 20000) reference.insert(rng());
  set.Assign(reference.begin(), reference.end());
  for (uint32_t k : reference) ASSERT_TRUE(set.Contains(k)) << k;
  int others = 0;
  for (int i = 0; i < 200000; ++i) {
    const uint32_t k = rng();
    if (reference.count(k) == 0) {
      ASSERT_FALSE(set.Contains(k)) << k;
      ++others;
    }
  }
  EXPECT_GT(others, 190000);
}

class PageTables : public ::testing::Test {
 protected:
  void SetUp() override { ul_ccode_del(); }
  void TearDown() override { ul_ccode_del(); }
  static void Load(const char* path, int expect) {
    std::string log;
    EXPECT_EQ(ccodetest::Load(path, 0, &log), expect) << log;
  }
};

// Every word of the loaded models: the index gives the global bits and each
// model's value.
TEST_F(PageTables, WordIndexAnswersAsTheModels) {
  Load(ul_ccode_default_path(), 0);
  const CcodeWordIndex& index = ccode_word_index();
  size_t words = 0;
  for (auto it = l_globalWord.begin(); it != l_globalWord.end(); ++it, ++words) {
    CcodeWordIndex::Word w;
    ASSERT_TRUE(index.Find(it->first, &w)) << it->first;
    EXPECT_TRUE(w.global);
    EXPECT_EQ(w.global_bits, it->second & 0x7FFFu) << it->first;
    for (int k = 0; k < kUnigramSlots; ++k) {
      double v = 0;
      const bool held = l_mapWord[k].get(it->first, &v) == ccode::CCODE_HASH_EXIST;
      ASSERT_EQ(w.InModel(k), held) << it->first << " " << k;
      if (held) {
        EXPECT_EQ(w.Value(k), v) << it->first << " " << k;
      }
    }
  }
  EXPECT_EQ(index.size(), words);  // no model holds a word the global table lacks
  CcodeWordIndex::Word w;
  EXPECT_FALSE(index.Find("", &w));
  EXPECT_FALSE(index.Find("zzzz-no-such-word", &w));
  EXPECT_FALSE(index.Find(std::string("the\0", 4), &w));
  EXPECT_TRUE(index.Find("the", &w));

  // The copies of the sets hold their keys; another set has no copy.
  for (const ccode_bigramset_t* s : {&l_setWords, &l_setSjis, &l_setEucjp}) {
    const CcodeKeySet* copy = ccode_bigram_copy(*s);
    ASSERT_NE(copy, nullptr);
    for (uint32_t k : *s) ASSERT_TRUE(copy->Contains(k));
  }
  ccode_bigramset_t other = {1};
  EXPECT_EQ(ccode_bigram_copy(other), nullptr);
  const CcodePairBits* simp = ccode_pair_copy(l_setGbkSimp);
  ASSERT_NE(simp, nullptr);
  EXPECT_EQ(simp->count(), l_setGbkSimp.size());
  for (uint16_t k : l_setGbkSimp) EXPECT_TRUE((*simp)[k]);
  EXPECT_EQ(ccode_pair_copy(l_setHanzi), nullptr);  // read only by the older check

  // Dropped with the tables.
  ul_ccode_del();
  EXPECT_EQ(index.size(), 0u);
  EXPECT_FALSE(index.Find("the", &w));
  EXPECT_EQ(ccode_bigram_copy(l_setWords), nullptr);
  EXPECT_EQ(ccode_pair_copy(l_setGbkSimp), nullptr);
}

// Words at the longest length the index keeps and one past it; a word only
// a model holds, and one only the global table holds.
TEST_F(PageTables, WordsAtTheLengthLimit) {
  ccodetest::DataCopy data;
  const std::string longest(65535, 'x'), past(65536, 'y');
  data.Write("unigram/3.unigram", "hola\t-2.0\n" + longest + "\t-4.0\n" + past + "\t-4.5\n");
  Load(data.path(), 0);
  ASSERT_EQ(l_mapWord[3].size(), 3u);
  ASSERT_EQ(l_mapWord[0].set("onlymodel", -3.5, 0), ccode::CCODE_HASH_INSERT_SEC);
  ASSERT_EQ(l_globalWord.set("onlyglobal", 1u << 4, 0), ccode::CCODE_HASH_INSERT_SEC);
  ASSERT_EQ(ccode_page_tables_build(), 0);
  const CcodeWordIndex& index = ccode_word_index();
  CcodeWordIndex::Word w;
  ASSERT_TRUE(index.Find(longest, &w));
  EXPECT_TRUE(w.InModel(3));
  EXPECT_EQ(w.Value(3), -4.0);
  EXPECT_EQ(w.global_bits, 1u << 3);
  EXPECT_FALSE(index.Find(past, &w));
  ASSERT_TRUE(index.Find("onlymodel", &w));
  EXPECT_FALSE(w.global);
  EXPECT_EQ(w.model_bits, 1u);
  EXPECT_EQ(w.Value(0), -3.5);
  ASSERT_TRUE(index.Find("onlyglobal", &w));
  EXPECT_TRUE(w.global);
  EXPECT_EQ(w.global_bits, 1u << 4);
  EXPECT_EQ(w.model_bits, 0u);
}

// A load that fails half-way leaves copies of what it did read.
TEST_F(PageTables, FailedLoadLeavesCopiesOfWhatItRead) {
  ccodetest::DataCopy data;
  std::filesystem::remove(std::string(data.path()) + "/code/unigram/5.unigram");
  Load(data.path(), -1);
  CcodeWordIndex::Word w;
  ASSERT_TRUE(ccode_word_index().Find("the", &w));  // slot 0 was read
  EXPECT_TRUE(w.InModel(0));
  EXPECT_EQ(l_mapWord[5].size(), 0u);
  const CcodeKeySet* words = ccode_bigram_copy(l_setWords);
  ASSERT_NE(words, nullptr);
  for (uint32_t k : l_setWords) ASSERT_TRUE(words->Contains(k));
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Copies that do not fit in memory are none at all: the lookups then go to
// the tables, and the load says it failed.
TEST_F(PageTables, CopiesThatDoNotFitAreNoneAtAll) {
  Load(ul_ccode_default_path(), 0);
  ASSERT_GT(ccode_word_index().size(), 0u);
  EXPECT_EQ(0, testsupport::RunInChild([] {
    // Little more address space than the process has now, and all of it
    // taken by blocks ever smaller: making the index anew then needs far
    // more than the old one frees.
    long pages = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm == nullptr || fscanf(statm, "%ld", &pages) != 1) return 10;
    fclose(statm);
    const rlim_t now = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (16 << 20);
    const struct rlimit rl = {now, now};
    if (setrlimit(RLIMIT_AS, &rl) != 0) return 11;
    size_t taken = 0;
    for (size_t block = 1 << 20; block >= 64; block /= 4) {
      for (void* volatile p = malloc(block); p != nullptr; p = malloc(block)) taken += block;
    }
    if (taken < (16u << 20)) return 12;
    if (ccode_page_tables_build() != -1) return 1;
    CcodeWordIndex::Word w;
    if (ccode_word_index().size() != 0 || ccode_word_index().Find("the", &w)) return 2;
    if (ccode_bigram_copy(l_setWords) != nullptr || ccode_pair_copy(l_setGbkSimp) != nullptr) return 3;
    return 0;
  }));
}
#endif

}  // namespace
