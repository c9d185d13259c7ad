// Posting lists: order and counts, the weight table, weights and posting
// words, exact saved bytes, the per-term cap and the posting-file split.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "dict_test_util.h"
#include "gtest/gtest.h"
#include "link_internal.h"
#include "support/support.h"
#include "ul_dict.h"

namespace {

using namespace dicttest;

int Add(Sdict_build* d, u_int term, int doc, u_int count = 0, u_int sign1 = 0) {
  Sdict_snode r{sign1, term, doc, count};
  return db_add_link(d, &r);
}

// {code, other} of a term's postings in chain order.
std::vector<CodeOther> Postings(const Sdict_build* d, int term) {
  std::vector<CodeOther> r;
  for (const Sdict_bnode* p = d->hash[term].pnode; p != nullptr; p = p->next) r.push_back({p->code, p->other});
  return r;
}

// Permission bits of a file, -1 when it is missing.
int Mode(const std::string& file) {
  struct stat st;
  return stat(file.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
}

TEST(DbLink, PostingsAreSortedAndRepeatsCount) {
  DictPtr d(db_creat(4, 0));
  for (int doc : {9, 3, 5, 3, 3}) EXPECT_EQ(1, Add(d.get(), 2, doc, 10, 77));
  EXPECT_EQ((std::vector<CodeOther>{{3, 12}, {5, 10}, {9, 10}}), Postings(d.get(), 2));
  EXPECT_EQ(77u, d->hash[2].pnode->sign1);
  EXPECT_EQ(2u, d->hash[2].pnode->sign2);
  EXPECT_EQ(1, Add(d.get(), 3, 0));  // the last term
  EXPECT_EQ(4, d->node_num);
  CaptureFd err(2);
  EXPECT_EQ(-1, Add(d.get(), 4, 1));
  EXPECT_EQ(-1, Add(d.get(), 0xFFFFFFFFu, 1));  // unsigned: far above
  const std::string log = err.Stop();
  EXPECT_EQ(1, CountOf(log, "[db_add_link] term_code(4 ) > max_code (4)"));
  EXPECT_EQ(1, CountOf(log, "[db_add_link] term_code(-1 ) > max_code (4)"));
  EXPECT_EQ(4, d->node_num);
}

// Each way a document reaches a list that already has a posting, from one
// just above the last code (appended) to the last code itself (counted) and
// one below it (walked in): every field of the node, the link from the
// previous last posting, the node counts, and a large count appended after
// the first posting still making its list's top when weighed.
TEST(DbLink, DocumentsJoiningAListKeepEveryField) {
  struct Case {
    const char* what;
    int doc;
    std::vector<CodeOther> list;      // term 1 after the add
    std::vector<CodeOther> weighted;  // and after weighing
    int nodes;
  };
  const Case cases[] = {
      {"one above the last", 11, {{5, 0}, {10, 0}, {11, 5000}}, {{5, 1}, {10, 1}, {11, 126}}, 3},
      {"the last", 10, {{5, 0}, {10, 1}}, {{5, 4}, {10, 4}}, 2},
      {"one below the last", 9, {{5, 0}, {9, 5000}, {10, 0}}, {{5, 1}, {9, 126}, {10, 1}}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DictPtr d(db_creat(3, 0));
    ASSERT_EQ(1, Add(d.get(), 1, 5, 0, 70));
    ASSERT_EQ(1, Add(d.get(), 1, 10, 0, 71));
    ASSERT_EQ(1, Add(d.get(), 1, c.doc, 5000, 72));
    EXPECT_EQ(c.list, Postings(d.get(), 1));
    EXPECT_EQ(c.nodes, d->node_num);
    EXPECT_EQ(DICT_BLOCK_NODES - c.nodes, d->node_avail);
    EXPECT_EQ(d->nblock->nodes + c.nodes, d->cur_node);
    for (const Sdict_bnode* p = d->hash[1].pnode; p != nullptr; p = p->next) {
      EXPECT_EQ(1u, p->sign2);
      EXPECT_EQ(p->code == 5 ? 70u : p->code == 10 ? 71u : 72u, p->sign1) << p->code;
    }
    EXPECT_EQ(nullptr, d->hash[0].pnode);
    ASSERT_EQ(1, db_stand_link(d.get()));
    EXPECT_EQ(c.weighted, Postings(d.get(), 1));
  }
}

// T[j] reaches the cube root of 625 j from below one step at a time: it is
// j while j^3 < 625 j, then the least t with t^3 >= 625 j.
TEST(DbLink, WeightTableFollowsTheCubeRoot) {
  const u_int* t = dict_internal::LinkWeightTable();
  uint64_t root = 0;
  for (uint64_t j = 0; j < dict_internal::kLinkTableSize; ++j) {
    while (root * root * root < 625 * j) ++root;
    ASSERT_EQ(j < root ? j : root, t[j]) << j;
  }
  EXPECT_EQ(29u, t[36]);
  EXPECT_EQ(86u, t[1000]);
  EXPECT_EQ(397u, t[100000]);
  EXPECT_EQ(630u, t[399999]);
}

TEST(DbLink, StandLinkTurnsCountsIntoWeights) {
  DictPtr d(db_creat(4, 0));
  Add(d.get(), 0, 7, 5000);  // index 501: 68, the list's top
  Add(d.get(), 0, 8, 0);     // index 1: 1
  Add(d.get(), 1, 1, 0);     // small counts: divided by T[36] = 29
  Add(d.get(), 1, 2, 100);   // index 11: 11
  Add(d.get(), 2, 1, 3999980);  // index 399999: no clamp
  Add(d.get(), 3, 1, 3999990);  // index 400000: clamped
  Add(d.get(), 3, 2, 4000000000u);
  CaptureFd err(2);
  EXPECT_EQ(1, db_stand_link(d.get()));
  EXPECT_EQ(2, CountOf(err.Stop(), "Enlarge MAX_SQRT_MAX (400000)"));
  EXPECT_EQ((std::vector<CodeOther>{{7, 126}, {8, 1}}), Postings(d.get(), 0));
  EXPECT_EQ((std::vector<CodeOther>{{1, 4}, {2, 47}}), Postings(d.get(), 1));
  EXPECT_EQ((std::vector<CodeOther>{{1, 126}}), Postings(d.get(), 2));
  EXPECT_EQ((std::vector<CodeOther>{{1, 126}, {2, 126}}), Postings(d.get(), 3));
}

// The same lists through both savers: one posting file, or one per 100,000
// terms; an empty term points at the current offset; a code keeps 25 bits.
TEST(DbLink, SavedBytesOfASmallDictionary) {
  TempDir dir;
  DictPtr d(db_creat(3, 0));
  Add(d.get(), 0, 8, 0);
  Add(d.get(), 0, 7, 5000);
  Add(d.get(), 2, 0x2000005, 0);  // alone and small: weight 126 / 29
  db_stand_link(d.get());
  const char* p = dir.path().c_str();
  ASSERT_EQ(1, db_save_link(d.get(), p, "l"));
  ASSERT_EQ(1, db_save_link_search(d.get(), p, "s"));
  const std::string words = Le32({0xFC000007, 0x02000008, 0x08000005});
  EXPECT_EQ("term_num : 3\n", ReadFile(dir.file("l.n")));
  EXPECT_EQ(Le32({0, 2, 2, 0, 2, 1}), ReadFile(dir.file("l.ind1")));
  EXPECT_EQ(words, ReadFile(dir.file("l.ind2")));
  EXPECT_EQ("term_num : 3\nfile_num : 1\n", ReadFile(dir.file("s.n")));
  EXPECT_EQ(Le32({0, 2, 2, 0, 2, 1}), ReadFile(dir.file("s.ind1")));
  EXPECT_EQ(words, ReadFile(dir.file("s.ind2.0")));
  for (const char* f : {"l.ind1", "l.ind2", "s.ind1", "s.ind2.0"}) EXPECT_EQ(0644, Mode(dir.file(f))) << f;
  EXPECT_FALSE(testsupport::FileExists(dir.file("s.ind2.1")));

  CaptureFd err(2);
  EXPECT_EQ(-2, db_save_link(d.get(), dir.file("missing").c_str(), "l"));
  EXPECT_EQ(-2, db_save_link_search(d.get(), dir.file("missing").c_str(), "s"));
  // A write that fails (400 bytes of postings, files limited to 64) is a
  // failure, and the files saved before stay whole.
  DictPtr big(db_creat(3, 0));
  for (int doc = 0; doc < 100; ++doc) Add(big.get(), 0, doc);
  EXPECT_EQ(0, testsupport::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl = {64, 64};
    if (setrlimit(RLIMIT_FSIZE, &rl) != 0) return 10;
    return db_save_link(big.get(), p, "l") == -2 && db_save_link_search(big.get(), p, "s") == -2 ? 0 : 1;
  }));
  // A posting file that cannot be created (no descriptor left once the
  // index file is open) is a failure as well.
  EXPECT_EQ(0, testsupport::RunInChild([&] {
    const int lowest = dup(0);
    if (lowest < 0) return 10;
    close(lowest);
    struct rlimit rl = {static_cast<rlim_t>(lowest) + 1, static_cast<rlim_t>(lowest) + 1};
    if (setrlimit(RLIMIT_NOFILE, &rl) != 0) return 11;
    return db_save_link(big.get(), p, "l") == -2 && db_save_link_search(big.get(), p, "s") == -2 ? 0 : 1;
  }));
  err.Stop();
  EXPECT_EQ(words, ReadFile(dir.file("l.ind2")));
  EXPECT_EQ(Le32({0, 2, 2, 0, 2, 1}), ReadFile(dir.file("s.ind1")));
}

// Documents added in increasing order (each list saved in node order) and in
// decreasing order (each list walked) keep the same first 4,096.
TEST(DbLink, SearchFormKeepsEveryPostingPastTheCap) {
  for (bool increasing : {true, false}) {
    SCOPED_TRACE(increasing ? "increasing" : "decreasing");
    TempDir dir;
    DictPtr d(db_creat(3, 0));
    Add(d.get(), 2, 1);  // before the long lists, whose postings past the cap must not reach it
    for (int i = 0; i < 4096; ++i) Add(d.get(), 0, increasing ? i : 4095 - i);
    for (int i = 0; i < 4097; ++i) Add(d.get(), 1, increasing ? i : 4096 - i);
    const char* p = dir.path().c_str();
    ASSERT_EQ(1, db_save_link(d.get(), p, "l"));
    ASSERT_EQ(1, db_save_link_search(d.get(), p, "s"));
    EXPECT_EQ(Le32({0, 4096, 4096, 4096, 8192, 1}), ReadFile(dir.file("l.ind1")));
    const std::string capped = ReadFile(dir.file("l.ind2"));
    ASSERT_EQ(4 * 8193u, capped.size());
    EXPECT_EQ(Le32({4095, 1}), capped.substr(4 * 8191, 8));  // term 1 ends at 4095, then term 2
    EXPECT_EQ(Le32({0, 4096, 4096, 4097, 8193, 1}), ReadFile(dir.file("s.ind1")));
    const std::string all = ReadFile(dir.file("s.ind2.0"));
    ASSERT_EQ(4 * 8194u, all.size());
    EXPECT_EQ(Le32({4096}), all.substr(4 * 8192, 4));  // term 1's last posting
  }
}

// 100,000 terms fill one posting file; one more term starts a second, whose
// offsets start again at 0.
TEST(DbLink, PostingFilesSplitEvery100000Terms) {
  TempDir dir;
  for (int terms : {100000, 100001}) {
    DictPtr d(db_creat(terms, 0));
    for (auto [term, doc] : {std::pair<int, int>{0, 5}, {99999, 6}, {terms - 1, 7}, {terms - 1, 8}}) Add(d.get(), term, doc);
    const std::string name = "t" + std::to_string(terms);
    ASSERT_EQ(1, db_save_link_search(d.get(), dir.path().c_str(), name.c_str()));
    const bool one = terms == 100000;
    EXPECT_EQ("term_num : " + std::to_string(terms) + "\nfile_num : " + (one ? "1" : "2") + "\n",
              ReadFile(dir.file(name + ".n")));
    const std::string ind1 = ReadFile(dir.file(name + ".ind1"));
    ASSERT_EQ(8u * terms, ind1.size());
    EXPECT_EQ(one ? Le32({1, 3}) : Le32({1, 1}), ind1.substr(8 * 99999, 8));
    EXPECT_EQ(one ? Le32({5, 6, 7, 8}) : Le32({5, 6}), ReadFile(dir.file(name + ".ind2.0")));
    EXPECT_EQ(one ? "" : Le32({0, 2}), ind1.substr(8 * 100000));
    EXPECT_EQ(one ? "" : Le32({7, 8}), ReadFile(dir.file(name + ".ind2.1")));
    EXPECT_FALSE(testsupport::FileExists(dir.file(name + ".ind2." + (one ? "1" : "2"))));
  }
}

// db_save_link's two files for the lists given.
struct SavedFiles {
  std::string ind1, ind2;
  void AddList(const std::vector<CodeOther>& list) {
    ind1 += Le32({static_cast<uint32_t>(ind2.size() / 4), static_cast<uint32_t>(std::min<size_t>(list.size(), 4096))});
    for (size_t i = 0; i < list.size() && i < 4096; ++i) {
      ind2 += Le32({(static_cast<uint32_t>(list[i].first) & 0x1FFFFFFu) | list[i].second << 25});
    }
  }
};

// What db_save_link must write for the chains as they stand.
SavedFiles SavedAsTheyStand(const Sdict_build* d) {
  SavedFiles f;
  for (int t = 0; t < d->hash_num; ++t) f.AddList(Postings(d, t));
  return f;
}

// The lists as their chains stand, and what weighting and saving them must
// give, worked out from the chains alone.
struct FromChains : SavedFiles {
  std::vector<std::vector<CodeOther>> weighted;
  explicit FromChains(const Sdict_build* d) {
    const u_int* table = dict_internal::LinkWeightTable();
    for (int t = 0; t < d->hash_num; ++t) {
      std::vector<CodeOther> list = Postings(d, t);
      u_int top = table[36];
      for (CodeOther& p : list) top = std::max(top, p.second = table[std::min(p.second / 10 + 1, 399999u)]);
      for (CodeOther& p : list) p.second = p.second * 126 / top;
      AddList(list);
      weighted.push_back(list);
    }
  }
};

// Checks both savers' files against the lists as they stand (none cut by
// the cap).
void ExpectSavedAsTheyStand(Sdict_build* d, const std::string& when) {
  SCOPED_TRACE(when);
  const SavedFiles want = SavedAsTheyStand(d);
  TempDir dir;
  const char* p = dir.path().c_str();
  ASSERT_EQ(1, db_save_link(d, p, "l"));
  ASSERT_EQ(1, db_save_link_search(d, p, "s"));
  EXPECT_EQ(want.ind1, ReadFile(dir.file("l.ind1")));
  EXPECT_EQ(want.ind2, ReadFile(dir.file("l.ind2")));
  EXPECT_EQ(want.ind1, ReadFile(dir.file("s.ind1")));
  EXPECT_EQ(want.ind2, ReadFile(dir.file("s.ind2.0")));
}

// The savers write words gathered before (by db_stand_link, or by an earlier
// save) only while nothing changed the nodes since: after any change they
// write the lists as they then stand. Each case saves, changes the nodes and
// saves again, over lists weighed in one pass (small counts) or through each
// list's top (a count of 400), or not weighed at all.
TEST(DbLink, SavesAfterAChangeWriteTheListsAsTheyStand) {
  const struct {
    const char* name;
    bool weigh;
    void (*change)(Sdict_build*);
  } kCases[] = {
      {"nothing", true, [](Sdict_build*) {}},
      {"weighed again", true, [](Sdict_build* d) { EXPECT_EQ(1, db_stand_link(d)); }},
      {"a document appended", true, [](Sdict_build* d) { Add(d, 1, 20); }},
      {"the last posting counted up", true, [](Sdict_build* d) { Add(d, 1, 9); }},
      {"a posting inside its list counted up", true, [](Sdict_build* d) { Add(d, 1, 6); }},
      {"an earlier document", true, [](Sdict_build* d) { Add(d, 1, 1); }},
      {"a posting deleted", true, [](Sdict_build* d) { Op(d, DEL, 4, 1); }},
      {"a posting recoded", true, [](Sdict_build* d) { Op(d, MODC, 4, 1, 7); }},
      {"frequencies cleared",
       true,
       [](Sdict_build* d) {
         TempDir dir;
         CaptureFd err(2);  // fewer codes than cur_code: logged
         EXPECT_EQ(100, db_save_freq(d, dir.path().c_str(), "f"));
         EXPECT_EQ(1, CountOf(err.Stop(), "[db_save_freq] node num error"));
       }},
      {"never weighed, a document appended", false, [](Sdict_build* d) { Add(d, 1, 20); }},
      {"never weighed, the last posting counted up", false, [](Sdict_build* d) { Add(d, 1, 9); }},
  };
  for (u_int big : {50u, 400u}) {
    for (const auto& c : kCases) {
      SCOPED_TRACE(std::string(c.name) + ", count " + std::to_string(big));
      DictPtr d(db_creat(4, 100));  // codes below 100 have their frequencies cleared
      Add(d.get(), 0, 3, 30);
      Add(d.get(), 1, 2, 20);
      Add(d.get(), 1, 6, 0, 4);  // sign1 4: db_op1 finds it in bucket 1
      Add(d.get(), 1, 9, 10);
      Add(d.get(), 2, 6, big);
      if (c.weigh) {
        ASSERT_EQ(1, db_stand_link(d.get()));
      }
      ExpectSavedAsTheyStand(d.get(), "before");
      c.change(d.get());
      ExpectSavedAsTheyStand(d.get(), "after");
    }
  }
}

// An index without postings, weighed or not, saves empty lists.
TEST(DbLink, EmptyIndexSavesEmptyLists) {
  for (bool weigh : {false, true}) {
    SCOPED_TRACE(weigh);
    DictPtr d(db_creat(3, 0));
    if (weigh) {
      EXPECT_EQ(1, db_stand_link(d.get()));
    }
    ExpectSavedAsTheyStand(d.get(), "empty");
    EXPECT_EQ(Le32({0, 0, 0, 0, 0, 0}), SavedAsTheyStand(d.get()).ind1);
  }
}

// Whatever else changed the nodes, db_stand_link and db_save_link work on
// the lists as they stand: a node another operation put into the blocks, a
// posting deleted or recoded, a document added out of order. A posting
// deleted or recoded at the end of its list is not mistaken for that list's
// last document afterwards.
TEST(DbLink, OtherChangesOfTheNodesLeaveTheListsRight) {
  const struct {
    const char* name;
    void (*change)(Sdict_build*);
    std::vector<CodeOther> term1;  // its list after the change and the adds that follow
  } kCases[] = {
      {"adds only", [](Sdict_build*) {}, {{2, 0}, {6, 1}, {9, 0}}},
      {"an earlier document", [](Sdict_build* d) { Add(d, 1, 1); }, {{1, 0}, {2, 0}, {6, 1}, {9, 0}}},
      {"a key added into another list",
       [](Sdict_build* d) { Op(d, ADD, 2, 2, 40, 9000); },  // bucket 0, sign2 2
       {{2, 0}, {6, 1}, {9, 0}}},
      {"keys added as a batch",
       [](Sdict_build* d) {
         Sdict_snode n[] = {{3, 0, 41, 9000}, {0, 3, 42, 5}};  // both in bucket 3
         EXPECT_EQ(2, db_opn(d, n, 2, ADD));
       },
       {{2, 0}, {6, 1}, {9, 0}}},
      {"the last posting deleted", [](Sdict_build* d) { Op(d, DEL, 4, 1); }, {{2, 0}, {-1, 0}, {6, 0}, {9, 0}}},
      {"the last posting recoded", [](Sdict_build* d) { Op(d, MODC, 4, 1, 1); }, {{2, 0}, {1, 0}, {6, 0}, {9, 0}}},
      {"the last posting recoded by a cluster",
       [](Sdict_build* d) { Op(d, CLUSTER, 4, 1, 7, 3); },
       {{2, 0}, {6, 0}, {7, (1u << 25) | 3}, {9, 0}}},
      {"a look-up", [](Sdict_build* d) { Op(d, SEEK, 4, 1); }, {{2, 0}, {6, 1}, {9, 0}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    DictPtr d(db_creat(4, 0));
    Add(d.get(), 0, 3, 30);
    Add(d.get(), 1, 2);
    Add(d.get(), 1, 6, 0, 4);  // sign1 4: db_op1 finds it in bucket 1
    Add(d.get(), 2, 6, 50);
    c.change(d.get());
    for (int doc : {6, 9}) Add(d.get(), 1, doc);
    EXPECT_EQ(c.term1, Postings(d.get(), 1));
    const FromChains want(d.get());
    CaptureFd err(2);  // a count past the table is logged
    ASSERT_EQ(1, db_stand_link(d.get()));
    err.Stop();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(want.weighted[t], Postings(d.get(), t)) << t;
    TempDir dir;
    ASSERT_EQ(1, db_save_link(d.get(), dir.path().c_str(), "l"));
    EXPECT_EQ(want.ind1, ReadFile(dir.file("l.ind1")));
    EXPECT_EQ(want.ind2, ReadFile(dir.file("l.ind2")));
  }
}

// While no count passes 359 every list divides by T[36] = 29, and one pass
// over the nodes weighs them; a count reached by repeats counts as well,
// whether the repeated posting is the last of its list or not. From 390 on
// T[40] = 30 tops a list. Weighting again weighs the weights.
TEST(DbLink, WeightsWhereListsStopSharingADivisor) {
  const struct {
    u_int first;   // the count posting 2 of term 0 enters with
    int repeats;   // then added again this often
    bool later;    // a later posting is added before the repeats
  } kCases[] = {{359, 0, false}, {360, 0, false}, {359, 31, false}, {359, 31, true}, {399, 0, true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.first) + " + " + std::to_string(c.repeats) + (c.later ? " later" : ""));
    DictPtr d(db_creat(2, 0));
    Add(d.get(), 0, 1, 50);  // T[6] = 6: weight 26 under 29, 25 under 30
    Add(d.get(), 0, 2, c.first);
    if (c.later) Add(d.get(), 0, 3);
    for (int i = 0; i < c.repeats; ++i) Add(d.get(), 0, 2);
    Add(d.get(), 1, 1, 50);
    for (int round = 0; round < 2; ++round) {
      const FromChains want(d.get());
      ASSERT_EQ(1, db_stand_link(d.get()));
      for (int t = 0; t < 2; ++t) EXPECT_EQ(want.weighted[t], Postings(d.get(), t)) << round << " " << t;
    }
  }
}

// Gathering the saved words looks 32 nodes ahead in a block: a block holding
// fewer, exactly that many and one more still gathers every word once.
TEST(DbLink, ListsAroundTheGatherLookAhead) {
  for (int postings : {31, 32, 33}) {
    SCOPED_TRACE(postings);
    DictPtr d(db_creat(5, 0));
    for (int i = 0; i < postings; ++i) ASSERT_EQ(1, Add(d.get(), static_cast<u_int>(i * 3 % 5), i, i * 40));
    const FromChains want(d.get());
    ASSERT_EQ(1, db_stand_link(d.get()));
    TempDir dir;
    ASSERT_EQ(1, db_save_link(d.get(), dir.path().c_str(), "l"));
    EXPECT_EQ(want.ind1, ReadFile(dir.file("l.ind1")));
    EXPECT_EQ(want.ind2, ReadFile(dir.file("l.ind2")));
  }
}

// Passes over the nodes cross from block to block: the postings fill the
// first block exactly (the next one is then allocated and empty), or reach
// one into the next.
TEST(DbLink, ListsAcrossNodeBlocks) {
  for (int postings : {DICT_BLOCK_NODES, DICT_BLOCK_NODES + 1}) {
    SCOPED_TRACE(postings);
    DictPtr d(db_creat(1000, 0));
    for (int i = 0; i < postings; ++i) ASSERT_EQ(1, Add(d.get(), static_cast<u_int>(i) * 7919 % 1000, i, i % 400));
    EXPECT_EQ(postings, d->node_num);
    EXPECT_EQ(2 * DICT_BLOCK_NODES - postings, d->node_avail);
    EXPECT_EQ(d->cur_nblock->nodes + (postings - DICT_BLOCK_NODES), d->cur_node);
    const FromChains want(d.get());
    ASSERT_EQ(1, db_stand_link(d.get()));
    for (int t : {0, 999}) EXPECT_EQ(want.weighted[t], Postings(d.get(), t)) << t;
    TempDir dir;
    ASSERT_EQ(1, db_save_link(d.get(), dir.path().c_str(), "l"));
    EXPECT_EQ(want.ind1, ReadFile(dir.file("l.ind1")));
    EXPECT_EQ(want.ind2, ReadFile(dir.file("l.ind2")));
  }
}

// Weighing over the nodes needs a table of each list's top; without memory
// for it (4,000,000 terms, 16 MB, the address space held to what the child
// uses plus 4 MiB) the lists are walked instead and weighed all the same.
TEST(DbLink, WeighingWithoutMemoryForTheTopsWalksTheLists) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "address-space limit under a sanitizer";
#endif
  DictPtr d(db_creat(4000000, 0));
  ASSERT_NE(nullptr, d);
  Add(d.get(), 3999999, 1, 5000);
  Add(d.get(), 3999999, 2);
  EXPECT_EQ(0, testsupport::RunInChild([&] {
    if (!CapAddressSpace(4u << 20)) return 11;
    if (db_stand_link(d.get()) != 1) return 1;
    return Postings(d.get(), 3999999) == std::vector<CodeOther>{{1, 126}, {2, 1}} ? 0 : 2;
  }));
}

}  // namespace
