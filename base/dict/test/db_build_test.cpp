// Build-side dictionary: operation semantics, block growth, rehashing,
// renewal, listing, and a randomized run against std::unordered_map.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "dict_test_util.h"
#include "gtest/gtest.h"
#include "support/support.h"
#include "ul_dict.h"
#include "ul_func.h"

namespace {

using dicttest::CountOf;
using dicttest::DictPtr;

Sdict_snode Node(u_int s1, u_int s2, int code = -1, u_int other = 0) {
  return Sdict_snode{s1, s2, code, other};
}

int Seek(Sdict_build* d, u_int s1, u_int s2, u_int* other = nullptr) {
  Sdict_snode n = Node(s1, s2, 99, 99);
  const int r = db_op1(d, &n, SEEK);
  if (r == 0) {
    EXPECT_EQ(-1, n.code);
  }
  if (other != nullptr) *other = n.other;
  return r == 1 ? n.code : -1;
}

TEST(DbBuild, CreationRefusesEmptyBucketArray) {
  EXPECT_EQ(nullptr, db_creat(0, 0));
  EXPECT_EQ(nullptr, db_creat(-5, 0));
  DictPtr d(db_creat(1, 100));
  ASSERT_NE(nullptr, d);
  EXPECT_EQ(100, d->cur_code);
  EXPECT_EQ(DICT_BLOCK_NODES, d->node_avail);
}

TEST(DbBuild, AddHandsOutCodesAndCountsFrequency) {
  DictPtr d(db_creat(7, 10));
  Sdict_snode n = Node(1, 2);
  EXPECT_EQ(1, db_op1(d.get(), &n, ADD));
  EXPECT_EQ(10, n.code);
  EXPECT_EQ(1u, n.other);
  n = Node(1, 2);
  EXPECT_EQ(1, db_op1(d.get(), &n, ADD));
  EXPECT_EQ(10, n.code);
  EXPECT_EQ(2u, n.other);
  n = Node(1, 2, -1, 5);  // frequency 5 adds 5
  db_op1(d.get(), &n, ADD);
  EXPECT_EQ(7u, n.other);

  // A weight with no frequency: the new key gets the weight and frequency 1.
  n = Node(3, 4, -1, 3u << 25);
  db_op1(d.get(), &n, ADD);
  EXPECT_EQ(11, n.code);
  EXPECT_EQ((3u << 25) | 1, n.other);

  // A given code is kept, cur_code unchanged, other 0 stays 0.
  n = Node(5, 6, 7, 0);
  EXPECT_EQ(1, db_op1(d.get(), &n, ADD));
  EXPECT_EQ(7, n.code);
  EXPECT_EQ(12, d->cur_code);
  u_int other = 9;
  EXPECT_EQ(7, Seek(d.get(), 5, 6, &other));
  EXPECT_EQ(0u, other);
  EXPECT_EQ(3, d->node_num);

  // The add runs over the whole word: frequency carries into the weight.
  n = Node(8, 9, 3, 0x01FFFFFF);
  db_op1(d.get(), &n, ADD);
  n = Node(8, 9, -1, 1);
  db_op1(d.get(), &n, ADD);
  EXPECT_EQ(0x02000000u, n.other);
}

TEST(DbBuild, ModifyDeleteAndSeek) {
  DictPtr d(db_creat(3, 0));
  Sdict_snode n = Node(10, 20);
  db_op1(d.get(), &n, ADD);
  // Every operation but ADD/CLUSTER on an absent key: 0 and code -1.
  for (Eop_method op : {MOD, SEEK, DEL, MODF, MODW, MODC}) {
    Sdict_snode a = Node(11, 20, 5, 5);
    EXPECT_EQ(0, db_op1(d.get(), &a, op)) << op;
    EXPECT_EQ(-1, a.code);
  }
  n = Node(10, 20, 42, (5u << 25) | 77);
  EXPECT_EQ(1, db_op1(d.get(), &n, MOD));
  u_int other;
  EXPECT_EQ(42, Seek(d.get(), 10, 20, &other));
  EXPECT_EQ((5u << 25) | 77, other);
  n = Node(10, 20, 0, (9u << 25) | 3);
  db_op1(d.get(), &n, MODF);
  Seek(d.get(), 10, 20, &other);
  EXPECT_EQ((5u << 25) | 3, other);
  db_op1(d.get(), &n, MODW);
  Seek(d.get(), 10, 20, &other);
  EXPECT_EQ((9u << 25) | 3, other);
  n = Node(10, 20, 43, 0);
  db_op1(d.get(), &n, MODC);
  EXPECT_EQ(43, Seek(d.get(), 10, 20, &other));
  EXPECT_EQ((9u << 25) | 3, other);

  // Delete, then add again: a second node with a new code.
  n = Node(10, 20);
  EXPECT_EQ(1, db_op1(d.get(), &n, DEL));
  EXPECT_EQ(43, n.code);
  EXPECT_EQ(0, d->node_num);
  EXPECT_EQ(-1, Seek(d.get(), 10, 20));
  n = Node(10, 20);
  db_op1(d.get(), &n, ADD);
  EXPECT_EQ(1, n.code);
  EXPECT_EQ(1, d->node_num);
  EXPECT_EQ(1, Seek(d.get(), 10, 20));

  testsupport::CaptureFd err(2);
  EXPECT_EQ(-1, db_op1(d.get(), &n, SEEKP));
  EXPECT_EQ(-1, db_op1(d.get(), &n, static_cast<Eop_method>(9)));
  EXPECT_EQ(2, CountOf(err.Stop(), "[db_op] op_method error"));
  EXPECT_EQ(1, Seek(d.get(), 10, 20));
}

TEST(DbBuild, ClusterCountsWeightAndKeepsTheHighestFrequency) {
  DictPtr d(db_creat(5, 0));
  for (int i = 0; i < 3; ++i) {
    Sdict_snode n = Node(1, 1, 5, 10);
    EXPECT_EQ(1, db_op1(d.get(), &n, CLUSTER));
    if (i == 0) {
      EXPECT_EQ(0x0200000Au, n.other);
    }
  }
  u_int other;
  EXPECT_EQ(5, Seek(d.get(), 1, 1, &other));
  EXPECT_EQ(0x0600000Au, other);
  Sdict_snode hi = Node(1, 1, 6, 11);
  db_op1(d.get(), &hi, CLUSTER);
  EXPECT_EQ(6, Seek(d.get(), 1, 1, &other));
  EXPECT_EQ((4u << 25) | 11, other);
  for (int i = 0; i < 130; ++i) {
    Sdict_snode n = Node(1, 1, 7, 1);
    db_op1(d.get(), &n, CLUSTER);
  }
  EXPECT_EQ(6, Seek(d.get(), 1, 1, &other));
  EXPECT_EQ((127u << 25) | 11, other);
}

TEST(DbBuild, OpnAppliesInOrder) {
  DictPtr d(db_creat(11, 0));
  std::vector<Sdict_snode> v = {Node(1, 1), Node(2, 2), Node(1, 1)};
  EXPECT_EQ(3, db_opn(d.get(), v.data(), 3, ADD));
  EXPECT_EQ(0, v[0].code);
  EXPECT_EQ(1, v[1].code);
  EXPECT_EQ(2u, v[2].other);
  std::vector<Sdict_snode> s = {Node(2, 2, 50), Node(3, 3, 50), Node(1, 1, 50)};
  EXPECT_EQ(3, db_opn(d.get(), s.data(), 3, SEEK));
  EXPECT_EQ(1, s[0].code);
  EXPECT_EQ(-1, s[1].code);
  EXPECT_EQ(0, s[2].code);
  std::vector<Sdict_snode> del = {Node(1, 1, 50)};
  EXPECT_EQ(1, db_opn(d.get(), del.data(), 1, DEL));
  EXPECT_EQ(50, del[0].code);  // not written back
  EXPECT_EQ(1, d->node_num);
  EXPECT_EQ(0, db_opn(d.get(), nullptr, 0, MODF));
  testsupport::CaptureFd err(2);
  EXPECT_EQ(-1, db_opn(d.get(), s.data(), 3, MODF));
  EXPECT_EQ(1, CountOf(err.Stop(), "[db_op] op_method error"));
}

TEST(DbBuild, SecondBlockAtTheBoundary) {
  DictPtr d(db_creat(100003, 0));
  const int total = DICT_BLOCK_NODES + 1;
  for (int i = 0; i < total; ++i) {
    Sdict_snode n = Node(static_cast<u_int>(i) * 2654435761u, static_cast<u_int>(i));
    ASSERT_EQ(1, db_op1(d.get(), &n, ADD));
    if (i == DICT_BLOCK_NODES - 1) {
      // The filling insertion allocates the next block at once.
      EXPECT_NE(d->nblock, d->cur_nblock);
      EXPECT_EQ(DICT_BLOCK_NODES, d->node_avail);
    }
  }
  EXPECT_EQ(total, d->node_num);
  for (int i : {0, DICT_BLOCK_NODES - 1, DICT_BLOCK_NODES}) {
    EXPECT_EQ(i, Seek(d.get(), static_cast<u_int>(i) * 2654435761u, static_cast<u_int>(i)));
  }
  // Rehash over both blocks, then renew back to one empty block.
  ASSERT_EQ(0, db_adjust(d.get()));
  EXPECT_EQ(131073, d->hash_num);
  EXPECT_EQ(DICT_BLOCK_NODES, Seek(d.get(), DICT_BLOCK_NODES * 2654435761u, DICT_BLOCK_NODES));
  EXPECT_EQ(1, db_renew_fast(d.get()));
  EXPECT_EQ(nullptr, d->nblock->next);
  EXPECT_EQ(0, d->node_num);
  EXPECT_EQ(-1, Seek(d.get(), 0, 0));
  EXPECT_EQ(-1, Seek(d.get(), DICT_BLOCK_NODES * 2654435761u, DICT_BLOCK_NODES));
}

TEST(DbBuild, AdjustRehashesLiveAndDeletedNodes) {
  for (auto [keys, buckets] : {std::pair{10, 5}, {12, 7}, {0, 1}}) {
    DictPtr d(db_creat(3, 0));
    for (int i = 0; i < keys; ++i) {
      Sdict_snode n = Node(i, 1000 + i);
      db_op1(d.get(), &n, ADD);
    }
    ASSERT_EQ(0, db_adjust(d.get()));
    EXPECT_EQ(buckets, d->hash_num);
  }
  DictPtr d(db_creat(2, 0));
  for (int i = 0; i < 40; ++i) {
    Sdict_snode n = Node(i, 7 * i);
    db_op1(d.get(), &n, ADD);
  }
  for (int i = 0; i < 40; i += 3) {
    Sdict_snode n = Node(i, 7 * i);
    db_op1(d.get(), &n, DEL);
  }
  ASSERT_EQ(0, db_adjust(d.get()));
  EXPECT_EQ(13, d->hash_num);  // 26 live keys
  for (int i = 0; i < 40; ++i) EXPECT_EQ(i % 3 == 0 ? -1 : i, Seek(d.get(), i, 7 * i)) << i;
  Sdict_snode n = Node(3, 21);  // deleted key comes back as a new node
  db_op1(d.get(), &n, ADD);
  EXPECT_EQ(40, n.code);
}

// Runs in a child with a small address-space limit so the new bucket array
// cannot be allocated; the dictionary must stay as it was.
TEST(DbBuild, FailedAdjustLeavesTheDictionaryUsable) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "address-space limits do not mix with sanitizer shadow memory";
#endif
  const int status = testsupport::RunInChild([] {
    Sdict_build* d = db_creat(5, 0);
    for (int i = 0; i < 100; ++i) {
      Sdict_snode n = Node(i, i);
      db_op1(d, &n, ADD);
    }
    struct rlimit rl;
    getrlimit(RLIMIT_AS, &rl);
    rl.rlim_cur = 1ull << 30;  // the request below needs 4 GiB
    if (setrlimit(RLIMIT_AS, &rl) != 0) return 10;
    const int saved = d->node_num;
    d->node_num = 1 << 30;
    if (db_adjust(d) != -2) return 1;
    d->node_num = saved;
    if (d->hash_num != 5 || d->hash == nullptr) return 2;
    for (int i = 0; i < 100; ++i) {
      Sdict_snode n = Node(i, i);
      if (db_op1(d, &n, SEEK) != 1 || n.code != i) return 3;
    }
    Sdict_snode n = Node(500, 1);
    if (db_op1(d, &n, ADD) != 1 || n.code != 100) return 4;
    db_del(d);
    return 0;
  });
  EXPECT_EQ(0, status);
}

// Bytes of address space the process holds now.
rlim_t AddressSpaceInUse() {
  unsigned long pages = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0;
  if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
  std::fclose(f);
  return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

// The block after a full one cannot be had: the filling insertion reports -2
// with its node findable but uncounted, the next insertion refuses without
// writing past the block, and insertion works again once memory is back.
TEST(DbBuild, FailedBlockAllocationIsRetried) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "address-space limits do not mix with sanitizer shadow memory";
#endif
  const int status = testsupport::RunInChild([] {
    Sdict_build* d = db_creat(1009, 0);
    const u_int last = DICT_BLOCK_NODES - 1;
    for (u_int i = 0; i < last; ++i) {
      Sdict_snode n = Node(i, 1);
      if (db_op1(d, &n, ADD) != 1) return 1;
    }
    struct rlimit rl;
    getrlimit(RLIMIT_AS, &rl);
    const rlim_t saved = rl.rlim_cur;
    rl.rlim_cur = AddressSpaceInUse() + (1u << 20);  // a block needs 6 MiB
    if (setrlimit(RLIMIT_AS, &rl) != 0) return 10;
    Sdict_snode n = Node(last, 1);
    if (db_op1(d, &n, ADD) != -2 || d->node_num != static_cast<int>(last)) return 2;
    n = Node(last, 1);
    if (db_op1(d, &n, SEEK) != 1 || n.code != static_cast<int>(last)) return 3;
    n = Node(1u << 30, 1);
    if (db_op1(d, &n, ADD) != -2) return 4;
    n = Node(1u << 30, 1);
    if (db_op1(d, &n, SEEK) != 0) return 5;
    rl.rlim_cur = saved;
    if (setrlimit(RLIMIT_AS, &rl) != 0) return 11;
    n = Node(1u << 30, 1);
    if (db_op1(d, &n, ADD) != 1 || d->node_num != DICT_BLOCK_NODES) return 6;
    if (d->cur_nblock == d->nblock || d->node_avail != DICT_BLOCK_NODES - 1) return 7;
    n = Node(1u << 30, 1);
    if (db_op1(d, &n, SEEK) != 1) return 8;
    db_del(d);
    return 0;
  });
  EXPECT_EQ(0, status);
}

TEST(DbBuild, RenewFastEmptiesAndReusesTheFirstNode) {
  DictPtr d(db_creat(101, 5));
  for (u_int i = 1; i <= 3; ++i) {
    Sdict_snode n = Node(i, i);
    db_op1(d.get(), &n, ADD);
  }
  EXPECT_EQ(1, db_renew_fast(d.get()));
  EXPECT_EQ(0, d->cur_code);
  EXPECT_EQ(0, d->node_num);
  for (u_int i = 1; i <= 3; ++i) EXPECT_EQ(-1, Seek(d.get(), i, i));
  Sdict_snode n = Node(9, 9);
  db_op1(d.get(), &n, ADD);
  EXPECT_EQ(0, n.code);
  EXPECT_EQ(9u, d->nblock->nodes[0].sign1);
  EXPECT_EQ(1, db_renew(d.get()));
  EXPECT_EQ(-1, Seek(d.get(), 9, 9));
  EXPECT_EQ(0u, d->nblock->nodes[0].sign1);
}

TEST(DbBuild, KeylistAndCluster) {
  DictPtr d(db_creat(4, 0));
  for (u_int i = 0; i < 5; ++i) {
    Sdict_snode n = Node(i, 100, -1, (i << 25) | (i + 1));
    db_op1(d.get(), &n, ADD);
  }
  Skeyweight keys[8];
  EXPECT_EQ(3, db_keylist(d.get(), keys, 3));
  EXPECT_EQ(2u, keys[2].sign1);
  EXPECT_EQ(static_cast<int>((2u << 25) | 3), keys[2].weight);
  EXPECT_EQ(5, db_keylist(d.get(), keys, 8));
  EXPECT_EQ(0, db_keylist(d.get(), keys, 0));

  Spagecluster pc{};
  ASSERT_EQ(5, db_cluster(d.get(), &pc));
  const auto* pairs = static_cast<const u_int*>(pc.index2);
  int sum_codes = 0, sum_w = 0;
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(pairs[2 * k + 1] + 1, pairs[2 * k]);  // frequency = code + 1 here
    sum_codes += static_cast<int>(pairs[2 * k + 1]);
    sum_w += pc.rept[k];
  }
  EXPECT_EQ(10, sum_codes);
  EXPECT_EQ(10, sum_w);
  ul_free(pc.index2);
  ul_free(pc.rept);

  // A deleted node is still in its chain: the walk counts it and refuses,
  // writing no more than num entries (ASan checks the bound).
  Sdict_snode n = Node(0, 100);
  db_op1(d.get(), &n, DEL);
  testsupport::CaptureFd err(2);
  EXPECT_EQ(-1, db_cluster(d.get(), &pc));
  EXPECT_EQ(1, CountOf(err.Stop(), "[db_cluster] creat key list num error"));
  ul_free(pc.index2);
  ul_free(pc.rept);
}

TEST(DbBuild, PageClusterGroupsBySignature) {
  std::vector<Sdict_snode> recs = {Node(1, 1, 10, 3), Node(2, 2, 20, 1), Node(1, 1, 11, 9),
                                   Node(1, 1, 12, 9), Node(2, 2, 21, 0)};
  Spagecluster pc{};
  ASSERT_EQ(2, page_cluster(recs.data(), static_cast<int>(recs.size()), &pc));
  const auto* pairs = static_cast<const u_int*>(pc.index2);
  for (int k = 0; k < 2; ++k) {
    if (pairs[2 * k + 1] == 11) {
      EXPECT_EQ(9u, pairs[2 * k]);
      EXPECT_EQ(3, pc.rept[k]);
    } else {
      EXPECT_EQ(20u, pairs[2 * k + 1]);
      EXPECT_EQ(1u, pairs[2 * k]);
      EXPECT_EQ(2, pc.rept[k]);
    }
  }
  ul_free(pc.index2);
  ul_free(pc.rept);

  // No records: one empty group list, not a refused working dictionary.
  Spagecluster none{-1, nullptr, nullptr};
  EXPECT_EQ(0, page_cluster(recs.data(), 0, &none));
  EXPECT_EQ(0, none.num);
  ul_free(none.index2);
  ul_free(none.rept);
}

TEST(DbBuild, CodesWrapPastIntMax) {
  DictPtr d(db_creat(3, INT_MAX));
  Sdict_snode n = Node(1, 2);
  ASSERT_EQ(1, db_op1(d.get(), &n, ADD));
  EXPECT_EQ(INT_MAX, n.code);
  EXPECT_EQ(INT_MIN, d->cur_code);
}

// One million random operations against a model; small bucket count and a
// key space with many shared buckets, one rehash half-way.
TEST(DbBuild, RandomOperationsMatchAModel) {
  struct Val {
    int code;
    u_int other;
  };
  std::unordered_map<uint64_t, Val> model;
  DictPtr d(db_creat(997, 0));
  std::mt19937_64 rng(12345);
  int cur_code = 0;
  const int kOps = 1000000;
  for (int step = 0; step < kOps; ++step) {
    if (step == kOps / 2) {
      ASSERT_EQ(0, db_adjust(d.get()));
    }
    const u_int s1 = static_cast<u_int>(rng() % 40000);
    const u_int s2 = static_cast<u_int>(rng() % 3);
    const uint64_t key = (uint64_t{s1} << 32) | s2;
    const int kind = static_cast<int>(rng() % 100);
    const u_int rnd_other = static_cast<u_int>(rng()) & ((rng() & 1) ? 0xFFFFFFFFu : 0xFE000000u);
    auto it = model.find(key);
    Sdict_snode n = Node(s1, s2, -1, rnd_other);
    if (kind < 40) {  // ADD, mostly with new codes
      if (kind < 5) {
        n.code = static_cast<int>(rng() % 1000);
      }
      Sdict_snode before = n;
      ASSERT_EQ(1, db_op1(d.get(), &n, ADD));
      if (it == model.end()) {
        Val v{before.code, before.other};
        if (v.code < 0) {
          v.code = cur_code++;
          if ((v.other & DICT_FREQ_MASK) == 0) v.other = (v.other & DICT_WEIGHT_MASK) + 1;
        }
        model[key] = v;
      } else {
        const u_int f = before.other & DICT_FREQ_MASK;
        it->second.other += f ? f : 1;
      }
      ASSERT_EQ(model[key].code, n.code);
      ASSERT_EQ(model[key].other, n.other);
    } else if (kind < 70) {  // SEEK
      const int r = db_op1(d.get(), &n, SEEK);
      ASSERT_EQ(it != model.end() ? 1 : 0, r);
      ASSERT_EQ(it != model.end() ? it->second.code : -1, n.code);
      if (r == 1) {
        ASSERT_EQ(it->second.other, n.other);
      }
    } else if (kind < 82) {  // DEL
      const int r = db_op1(d.get(), &n, DEL);
      ASSERT_EQ(it != model.end() ? 1 : 0, r);
      if (it != model.end()) {
        ASSERT_EQ(it->second.code, n.code);
        model.erase(it);
      }
    } else {  // MOD, MODF, MODW, MODC with a non-negative code
      const Eop_method ops[] = {MOD, MODF, MODW, MODC};
      const Eop_method op = ops[kind % 4];
      n.code = static_cast<int>(rng() % 5000);
      ASSERT_EQ(it != model.end() ? 1 : 0, db_op1(d.get(), &n, op));
      if (it != model.end()) {
        Val& v = it->second;
        if (op == MOD) v = Val{n.code, n.other};
        if (op == MODF) v.other = (v.other & DICT_WEIGHT_MASK) | (n.other & DICT_FREQ_MASK);
        if (op == MODW) v.other = (n.other & DICT_WEIGHT_MASK) | (v.other & DICT_FREQ_MASK);
        if (op == MODC) v.code = n.code;
      }
    }
    ASSERT_EQ(static_cast<int>(model.size()), d->node_num);
    ASSERT_EQ(cur_code, d->cur_code);
  }
  for (const auto& [key, v] : model) {
    u_int other;
    ASSERT_EQ(v.code, Seek(d.get(), static_cast<u_int>(key >> 32), static_cast<u_int>(key), &other));
    ASSERT_EQ(v.other, other);
  }
}

}  // namespace
