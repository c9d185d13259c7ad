// Posting lists of generated indexes, pinned by digest: the lists after
// db_add_link (chain order, counts and sign1), the weights after
// db_stand_link and the bytes of both savers, for documents added in
// increasing order (as an indexer adds them) and in random order. Both
// orders must give the same lists and the same files.
#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "dict_test_util.h"
#include "support/digest.h"
#include "gtest/gtest.h"
#include "ul_dict.h"

namespace {

using namespace dicttest;

using testsupport::Digest;

struct Shape {
  const char* name;
  int terms;
  int docs;
  int terms_per_doc;  // drawn with repeats: a repeat counts up
  uint64_t lists;     // digest of the lists before db_stand_link
  uint64_t saved;     // digest of the weighted lists and both savers' files
};

// (term, document) pairs, documents ascending. sign1 and other follow from
// the pair, so that the first insert of a posting carries the same fields
// whichever order the pairs come in.
std::vector<std::pair<u_int, int>> Generate(const Shape& s) {
  std::mt19937 rng(27);
  std::vector<std::pair<u_int, int>> out;
  for (int doc = 0; doc < s.docs; ++doc) {
    for (int k = 0; k < s.terms_per_doc; ++k) out.emplace_back(rng() % static_cast<u_int>(s.terms), doc);
  }
  return out;
}

void AddAll(Sdict_build* d, const std::vector<std::pair<u_int, int>>& postings) {
  for (const auto& [term, doc] : postings) {
    Sdict_snode r{term * 31u + static_cast<u_int>(doc), term, doc, static_cast<u_int>(doc % 7)};
    ASSERT_EQ(1, db_add_link(d, &r));
  }
}

uint64_t ListsDigest(const Sdict_build* d) {
  Digest h;
  for (int t = 0; t < d->hash_num; ++t) {
    h.Word(0xFFFFFFFFu);  // term separator
    for (const Sdict_bnode* p = d->hash[t].pnode; p != nullptr; p = p->next) {
      h.Word(p->sign1);
      h.Word(p->sign2);
      h.Word(static_cast<uint32_t>(p->code));
      h.Word(p->other);
    }
  }
  h.Word(static_cast<uint32_t>(d->node_num));
  return h.value();
}

uint64_t SavedDigest(Sdict_build* d) {
  TempDir dir;
  const char* p = dir.path().c_str();
  EXPECT_EQ(1, db_stand_link(d));
  EXPECT_EQ(1, db_save_link(d, p, "l"));
  EXPECT_EQ(1, db_save_link_search(d, p, "s"));
  Digest h;
  h.Word(static_cast<uint32_t>(ListsDigest(d)));
  for (const char* f : {"l.n", "l.ind1", "l.ind2", "s.n", "s.ind1", "s.ind2.0"}) h.Bytes(ReadFile(dir.file(f)));
  return h.value();
}

// About 10, 100 and 1,000 postings a term, and one term past the 4,096
// postings db_save_link keeps.
const Shape kShapes[] = {
    {"10 a term", 3000, 3000, 10, 0x6c0624c997bdb0ccull, 0xb25a57b661371250ull},
    {"100 a term", 300, 3000, 10, 0x6dce68703dabfcb6ull, 0xbc0dd36aea731fe6ull},
    {"1,000 a term", 30, 3000, 10, 0x36cddf167c1e04b5ull, 0x7acb7f35c9a2e446ull},
    {"past the cap", 1, 5000, 2, 0x71323000e250fcf7ull, 0xba32c7c6659e6059ull},
};

TEST(DbLinkPin, IncreasingAndRandomOrderGiveThePinnedLists) {
  for (const Shape& s : kShapes) {
    SCOPED_TRACE(s.name);
    std::vector<std::pair<u_int, int>> postings = Generate(s);
    DictPtr inc(db_creat(s.terms, 0));
    AddAll(inc.get(), postings);
    const uint64_t lists = ListsDigest(inc.get());
    EXPECT_EQ(s.lists, lists) << std::hex << "0x" << lists;

    std::mt19937 rng(5);
    for (size_t i = postings.size() - 1; i > 0; --i) std::swap(postings[i], postings[rng() % (i + 1)]);
    DictPtr rnd(db_creat(s.terms, 0));
    AddAll(rnd.get(), postings);
    EXPECT_EQ(lists, ListsDigest(rnd.get()));

    const uint64_t saved = SavedDigest(inc.get());
    EXPECT_EQ(s.saved, saved) << std::hex << "0x" << saved;
    EXPECT_EQ(saved, SavedDigest(rnd.get()));
  }
}

// Clearing or rebuilding the chains forgets every list's noted end: adding
// on afterwards walks the list as it now stands (empty after a renewal, the
// rehashed postings after db_adjust) and appends behind its last posting.
TEST(DbLinkPin, ClearedOrRebuiltChainsAreWalkedAgain) {
  auto chain = [](const Sdict_build* d) {
    std::vector<std::pair<int, u_int>> list;
    for (const Sdict_bnode* p = d->hash[0].pnode; p != nullptr; p = p->next) list.emplace_back(p->code, p->other);
    return list;
  };
  for (int (*clear)(Sdict_build*) : {db_renew, db_renew_fast, db_adjust}) {
    DictPtr d(db_creat(3, 0));
    for (int doc : {5, 6}) {
      Sdict_snode r{0, 0, doc, 0};
      ASSERT_EQ(1, db_add_link(d.get(), &r));
    }
    ASSERT_GE(clear(d.get()), 0);
    std::vector<std::pair<int, u_int>> want = chain(d.get());
    EXPECT_EQ(clear == db_adjust ? 2u : 0u, want.size());
    want.insert(want.end(), {{7, 0}, {8, 1}});
    for (int doc : {7, 8, 8}) {
      Sdict_snode r{0, 0, doc, 0};
      ASSERT_EQ(1, db_add_link(d.get(), &r));
    }
    EXPECT_EQ(want, chain(d.get()));
  }
}

// Saving gathers a posting file's index records before writing them: when
// that memory cannot be had (4,000,000 terms, 32 MB of records, the address
// space held to what the child uses plus 4 MiB) the save is -2 and leaves no
// file behind, never a crash.
TEST(DbLinkPin, SaveWithoutMemoryForTheIndexIsMinusTwo) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "address-space limit under a sanitizer";
#endif
  TempDir dir;
  DictPtr d(db_creat(4000000, 0));
  ASSERT_NE(nullptr, d);
  Sdict_snode r{0, 3999999, 1, 0};
  ASSERT_EQ(1, db_add_link(d.get(), &r));
  ASSERT_EQ(1, db_stand_link(d.get()));
  CaptureFd err(2);
  EXPECT_EQ(0, testsupport::RunInChild([&] {
    if (!CapAddressSpace(4u << 20)) return 11;
    return db_save_link(d.get(), dir.path().c_str(), "l") == -2 ? 0 : 1;
  }));
  err.Stop();
  for (const char* f : {"l.ind1", "l.ind2"}) EXPECT_FALSE(testsupport::FileExists(dir.file(f))) << f;
}

}  // namespace
