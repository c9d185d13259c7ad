// Build-side dictionary: operation semantics, block growth, rehashing,
// renewal, listing, and a randomized run against std::unordered_map.
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "db_internal.h"
#include "dict_test_util.h"
#include "gtest/gtest.h"
#include "support/support.h"
#include "ul_dict.h"
#include "ul_func.h"

namespace {

using namespace dicttest;

void FreeCluster(Spagecluster* pc) {
  ul_free(pc->index2);
  ul_free(pc->rept);
}

// Caps the address space (in a child) at limit bytes; false on failure.
bool LimitAddressSpace(rlim_t limit, rlim_t* saved = nullptr) {
  struct rlimit rl;
  getrlimit(RLIMIT_AS, &rl);
  if (saved != nullptr) *saved = rl.rlim_cur;
  rl.rlim_cur = limit;
  return setrlimit(RLIMIT_AS, &rl) == 0;
}

TEST(DbBuild, CreationAndAddHandOutCodesAndCountFrequency) {
  EXPECT_EQ(nullptr, db_creat(0, 0));  // no bucket
  EXPECT_EQ(nullptr, db_creat(-5, 0));
  DictPtr one(db_creat(1, 100));
  ASSERT_NE(nullptr, one);
  EXPECT_EQ(100, one->cur_code);
  EXPECT_EQ(DICT_BLOCK_NODES, one->node_avail);
  // Codes wrap past INT_MAX instead of overflowing.
  DictPtr w(db_creat(3, INT_MAX));
  EXPECT_EQ(INT_MAX, Op(w.get(), ADD, 1, 2).code);
  EXPECT_EQ(INT_MIN, w->cur_code);

  DictPtr d(db_creat(7, 10));
  EXPECT_EQ(CodeOther(10, 1), CO(Op(d.get(), ADD, 1, 2)));
  EXPECT_EQ(CodeOther(10, 2), CO(Op(d.get(), ADD, 1, 2)));
  EXPECT_EQ(CodeOther(10, 7), CO(Op(d.get(), ADD, 1, 2, -1, 5)));  // frequency 5 adds 5
  // A weight with no frequency: the new key gets the weight and frequency 1.
  EXPECT_EQ(CodeOther(11, (3u << 25) | 1), CO(Op(d.get(), ADD, 3, 4, -1, 3u << 25)));
  // A given code is kept, cur_code unchanged, other 0 stays 0.
  EXPECT_EQ(7, Op(d.get(), ADD, 5, 6, 7, 0).code);
  EXPECT_EQ(CodeOther(7, 0), Seek(d.get(), 5, 6));
  EXPECT_EQ(12, d->cur_code);
  EXPECT_EQ(3, d->node_num);
  // The add runs over the whole word: frequency carries into the weight.
  Op(d.get(), ADD, 8, 9, 3, 0x01FFFFFF);
  EXPECT_EQ(0x02000000u, Op(d.get(), ADD, 8, 9, -1, 1).other);
}

TEST(DbBuild, ModifyDeleteAndSeek) {
  DictPtr d(db_creat(3, 0));
  Op(d.get(), ADD, 10, 20);
  // Every operation but ADD/CLUSTER on an absent key: 0 and code -1.
  for (Eop_method op : {MOD, SEEK, DEL, MODF, MODW, MODC}) {
    EXPECT_EQ(-1, Op(d.get(), op, 11, 20, 5, 5, 0).code) << op;
  }
  const struct {
    Eop_method op;
    Sdict_snode in;
    CodeOther want;
  } steps[] = {
      {MOD, {10, 20, 42, (5u << 25) | 77}, {42, (5u << 25) | 77}},
      {MODF, {10, 20, 0, (9u << 25) | 3}, {42, (5u << 25) | 3}},
      {MODW, {10, 20, 0, (9u << 25) | 3}, {42, (9u << 25) | 3}},
      {MODC, {10, 20, 43, 0}, {43, (9u << 25) | 3}},
  };
  for (const auto& s : steps) {
    Op(d.get(), s.op, 10, 20, s.in.code, s.in.other);
    EXPECT_EQ(s.want, Seek(d.get(), 10, 20)) << s.op;
  }
  // Delete, then add again: a second node with a new code.
  EXPECT_EQ(43, Op(d.get(), DEL, 10, 20).code);
  EXPECT_EQ(0, d->node_num);
  EXPECT_EQ(-1, Seek(d.get(), 10, 20).first);
  EXPECT_EQ(1, Op(d.get(), ADD, 10, 20).code);
  EXPECT_EQ(1, d->node_num);
  CaptureFd err(2);
  Op(d.get(), SEEKP, 10, 20, -1, 0, -1);
  Op(d.get(), static_cast<Eop_method>(9), 10, 20, -1, 0, -1);
  EXPECT_EQ(2, CountOf(err.Stop(), "[db_op] op_method error"));
  EXPECT_EQ(1, Seek(d.get(), 10, 20).first);
}

// The first of a key keeps its code; each call adds 1 to the weight; a
// higher frequency replaces code and frequency; the weight stops at 127.
TEST(DbBuild, ClusterCountsWeightAndKeepsTheHighestFrequency) {
  DictPtr d(db_creat(5, 0));
  EXPECT_EQ(0x0200000Au, Op(d.get(), CLUSTER, 1, 1, 5, 10).other);
  for (int i = 0; i < 2; ++i) Op(d.get(), CLUSTER, 1, 1, 5, 10);
  EXPECT_EQ(CodeOther(5, 0x0600000A), Seek(d.get(), 1, 1));
  Op(d.get(), CLUSTER, 1, 1, 6, 11);
  EXPECT_EQ(CodeOther(6, (4u << 25) | 11), Seek(d.get(), 1, 1));
  for (int i = 0; i < 130; ++i) Op(d.get(), CLUSTER, 1, 1, 7, 1);
  EXPECT_EQ(CodeOther(6, (127u << 25) | 11), Seek(d.get(), 1, 1));
}

TEST(DbBuild, OpnAppliesInOrder) {
  DictPtr d(db_creat(11, 0));
  std::vector<Sdict_snode> v = {{1, 1, -1, 0}, {2, 2, -1, 0}, {1, 1, -1, 0}};
  EXPECT_EQ(3, db_opn(d.get(), v.data(), 3, ADD));
  EXPECT_EQ((std::vector<CodeOther>{{0, 1}, {1, 1}, {0, 2}}), COs(v));
  std::vector<Sdict_snode> s = {{2, 2, 50, 0}, {3, 3, 50, 0}, {1, 1, 50, 0}};
  EXPECT_EQ(3, db_opn(d.get(), s.data(), 3, SEEK));
  EXPECT_EQ((std::vector<CodeOther>{{1, 1}, {-1, 0}, {0, 2}}), COs(s));
  Sdict_snode del{1, 1, 50, 0};
  EXPECT_EQ(1, db_opn(d.get(), &del, 1, DEL));
  EXPECT_EQ(50, del.code);  // not written back
  EXPECT_EQ(1, d->node_num);
  EXPECT_EQ(0, db_opn(d.get(), nullptr, 0, MODF));
  CaptureFd err(2);
  EXPECT_EQ(-1, db_opn(d.get(), s.data(), 3, MODF));
  EXPECT_EQ(1, CountOf(err.Stop(), "[db_op] op_method error"));
}

// The 262,144th insertion fills the first block and allocates the next at
// once; the 262,145th lands in it. Rehash over both, then renew to one block.
TEST(DbBuild, SecondBlockAtTheBoundary) {
  DictPtr d(db_creat(100003, 0));
  auto s1 = [](int i) { return static_cast<u_int>(i) * 2654435761u; };
  for (int i = 0; i <= DICT_BLOCK_NODES; ++i) {
    ASSERT_EQ(i, Op(d.get(), ADD, s1(i), i).code);
    if (i == DICT_BLOCK_NODES - 1) {
      EXPECT_NE(d->nblock, d->cur_nblock);
      EXPECT_EQ(DICT_BLOCK_NODES, d->node_avail);
    }
  }
  EXPECT_EQ(DICT_BLOCK_NODES + 1, d->node_num);
  for (int i : {0, DICT_BLOCK_NODES - 1, DICT_BLOCK_NODES}) EXPECT_EQ(i, Seek(d.get(), s1(i), i).first);
  ASSERT_EQ(0, db_adjust(d.get()));
  EXPECT_EQ(131073, d->hash_num);
  EXPECT_EQ(DICT_BLOCK_NODES, Seek(d.get(), s1(DICT_BLOCK_NODES), DICT_BLOCK_NODES).first);
  EXPECT_EQ(1, db_renew_fast(d.get()));
  EXPECT_EQ(nullptr, d->nblock->next);
  EXPECT_EQ(0, d->node_num);
  EXPECT_EQ(-1, Seek(d.get(), 0, 0).first);
  EXPECT_EQ(-1, Seek(d.get(), s1(DICT_BLOCK_NODES), DICT_BLOCK_NODES).first);
}

// Whether every page of [from, to) is mapped.
bool Mapped(uintptr_t from, uintptr_t to) {
  std::vector<unsigned char> in((to - from + 4095) / 4096);
  return mincore(reinterpret_cast<void*>(from), to - from, in.data()) == 0;
}

// A block added to a dictionary lies on a 2 MiB boundary; a first block's
// small-page part ends on one, and its mapping runs on to the next boundary
// past its end. Every block is zero-filled, writable to its last byte, and
// unmapped whole.
TEST(DbBuild, MappedBlocks) {
  constexpr uintptr_t kHuge = 2u << 20;
  for (bool added : {false, true}) {
    SCOPED_TRACE(added ? "added" : "first");
    const size_t size = sizeof(Sdict_bnode_block);
    auto* b = static_cast<unsigned char*>(dict_internal::MapBlock(size, added));
    ASSERT_NE(nullptr, b);
    const uintptr_t at = reinterpret_cast<uintptr_t>(b);
    EXPECT_EQ(0u, (at + (added ? 0 : dict_internal::kSmallDictionary)) % kHuge);
    const uintptr_t end = added ? at + (size + 4095) / 4096 * 4096 : (at + size + kHuge - 1) / kHuge * kHuge;
    EXPECT_TRUE(Mapped(at, end));
    EXPECT_EQ(0, b[0] | b[size / 2] | b[size - 1]);
    b[size - 1] = 1;
    dict_internal::UnmapBlock(b, size);
    for (uintptr_t page = at; page < end; page += 4096) ASSERT_FALSE(Mapped(page, page + 4096)) << page - at;
  }
}

TEST(DbBuild, AdjustRehashesLiveAndDeletedNodes) {
  for (auto [keys, buckets] : {std::pair{10, 5}, {12, 7}, {0, 1}}) {
    DictPtr d(db_creat(3, 0));
    for (int i = 0; i < keys; ++i) Op(d.get(), ADD, i, 1000 + i);
    ASSERT_EQ(0, db_adjust(d.get()));
    EXPECT_EQ(buckets, d->hash_num) << keys << " keys";
  }
  DictPtr d(db_creat(2, 0));
  for (int i = 0; i < 40; ++i) Op(d.get(), ADD, i, 7 * i);
  for (int i = 0; i < 40; i += 3) Op(d.get(), DEL, i, 7 * i);
  ASSERT_EQ(0, db_adjust(d.get()));
  EXPECT_EQ(13, d->hash_num);  // 26 live keys
  for (int i = 0; i < 40; ++i) EXPECT_EQ(i % 3 == 0 ? -1 : i, Seek(d.get(), i, 7 * i).first) << i;
  EXPECT_EQ(40, Op(d.get(), ADD, 3, 21).code);  // a deleted key comes back as a new node
}

// Address-space limits do not mix with sanitizer shadow memory.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SKIP_UNDER_SANITIZER() GTEST_SKIP() << "address-space limit under a sanitizer"
#else
#define SKIP_UNDER_SANITIZER() (void)0
#endif

// The new bucket array cannot be allocated: -2, the dictionary as it was.
TEST(DbBuild, FailedAdjustLeavesTheDictionaryUsable) {
  SKIP_UNDER_SANITIZER();
  EXPECT_EQ(0, testsupport::RunInChild([] {
    DictPtr d(db_creat(5, 0));
    Sdict_snode n;
    auto op = [&](u_int s1, Eop_method m) { return n = {s1, s1, -1, 0}, db_op1(d.get(), &n, m); };
    for (u_int i = 0; i < 100; ++i) op(i, ADD);
    if (!LimitAddressSpace(1ull << 30)) return 10;  // the request below needs 4 GiB
    const int saved = d->node_num;
    d->node_num = 1 << 30;
    if (db_adjust(d.get()) != -2) return 1;
    d->node_num = saved;
    if (d->hash_num != 5 || d->hash == nullptr) return 2;
    for (int i = 0; i < 100; ++i) {
      if (op(i, SEEK) != 1 || n.code != i) return 3;
    }
    return op(500, ADD) != 1 || n.code != 100 ? 4 : 0;
  }));
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
  SKIP_UNDER_SANITIZER();
  EXPECT_EQ(0, testsupport::RunInChild([] {
    DictPtr d(db_creat(1009, 0));
    const u_int last = DICT_BLOCK_NODES - 1;
    Sdict_snode n;
    auto op = [&](u_int s1, Eop_method m) { return n = {s1, 1, -1, 0}, db_op1(d.get(), &n, m); };
    for (u_int i = 0; i < last; ++i) {
      if (op(i, ADD) != 1) return 1;
    }
    rlim_t saved;
    if (!LimitAddressSpace(AddressSpaceInUse() + (1u << 20), &saved)) return 10;  // a block needs 6 MiB
    if (op(last, ADD) != -2 || d->node_num != static_cast<int>(last)) return 2;
    if (op(last, SEEK) != 1 || n.code != static_cast<int>(last)) return 3;
    if (op(1u << 30, ADD) != -2) return 4;
    if (op(1u << 30, SEEK) != 0) return 5;
    if (!LimitAddressSpace(saved)) return 11;
    if (op(1u << 30, ADD) != 1 || d->node_num != DICT_BLOCK_NODES) return 6;
    if (d->cur_nblock == d->nblock || d->node_avail != DICT_BLOCK_NODES - 1) return 7;
    return op(1u << 30, SEEK) != 1 ? 8 : 0;
  }));
}

TEST(DbBuild, RenewEmptiesAndReusesTheFirstNode) {
  DictPtr d(db_creat(101, 5));
  for (u_int i = 1; i <= 3; ++i) Op(d.get(), ADD, i, i);
  EXPECT_EQ(1, db_renew_fast(d.get()));
  EXPECT_EQ(0, d->cur_code);
  EXPECT_EQ(0, d->node_num);
  for (u_int i = 1; i <= 3; ++i) EXPECT_EQ(-1, Seek(d.get(), i, i).first);
  EXPECT_EQ(0, Op(d.get(), ADD, 9, 9).code);
  EXPECT_EQ(9u, d->nblock->nodes[0].sign1);
  EXPECT_EQ(1, db_renew(d.get()));
  EXPECT_EQ(-1, Seek(d.get(), 9, 9).first);
  EXPECT_EQ(0u, d->nblock->nodes[0].sign1);
}

TEST(DbBuild, KeylistAndCluster) {
  DictPtr d(db_creat(4, 0));
  for (u_int i = 0; i < 5; ++i) Op(d.get(), ADD, i, 100, -1, (i << 25) | (i + 1));
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
  FreeCluster(&pc);

  // A deleted node is still in its chain: the walk counts it and refuses,
  // writing no more than num entries (ASan checks the bound).
  Op(d.get(), DEL, 0, 100);
  CaptureFd err(2);
  EXPECT_EQ(-1, db_cluster(d.get(), &pc));
  EXPECT_EQ(1, CountOf(err.Stop(), "[db_cluster] creat key list num error"));
  FreeCluster(&pc);
}

TEST(DbBuild, PageClusterGroupsBySignature) {
  std::vector<Sdict_snode> recs = {
      {1, 1, 10, 3}, {2, 2, 20, 1}, {1, 1, 11, 9}, {1, 1, 12, 9}, {2, 2, 21, 0}};
  Spagecluster pc{};
  ASSERT_EQ(2, page_cluster(recs.data(), static_cast<int>(recs.size()), &pc));
  const auto* pairs = static_cast<const u_int*>(pc.index2);
  for (int k = 0; k < 2; ++k) {
    // {frequency, code, weight}: the first highest frequency, and the count.
    const bool first = pairs[2 * k + 1] == 11;
    EXPECT_EQ(first ? 9u : 1u, pairs[2 * k]);
    EXPECT_EQ(first ? 11u : 20u, pairs[2 * k + 1]);
    EXPECT_EQ(first ? 3 : 2, pc.rept[k]);
  }
  FreeCluster(&pc);
  // No records: one empty group list, not a refused working dictionary.
  Spagecluster none{-1, nullptr, nullptr};
  EXPECT_EQ(0, page_cluster(recs.data(), 0, &none));
  EXPECT_EQ(0, none.num);
  FreeCluster(&none);
}

// One million random operations against a model; small bucket count and a
// key space with many shared buckets, one rehash half-way.
TEST(DbBuild, RandomOperationsMatchAModel) {
  std::unordered_map<uint64_t, CodeOther> model;
  DictPtr d(db_creat(997, 0));
  std::mt19937_64 rng(12345);
  int cur_code = 0;
  const int kOps = 1000000;
  for (int step = 0; step < kOps; ++step) {
    if (step == kOps / 2) { ASSERT_EQ(0, db_adjust(d.get())); }
    const u_int s1 = static_cast<u_int>(rng() % 40000), s2 = static_cast<u_int>(rng() % 3);
    const uint64_t key = (uint64_t{s1} << 32) | s2;
    const int kind = static_cast<int>(rng() % 100);
    const u_int rnd_other = static_cast<u_int>(rng()) & ((rng() & 1) ? 0xFFFFFFFFu : 0xFE000000u);
    auto it = model.find(key);
    const bool found = it != model.end();
    Sdict_snode n{s1, s2, -1, rnd_other};
    if (kind < 40) {  // ADD, mostly with new codes; the model first
      if (kind < 5) n.code = static_cast<int>(rng() % 1000);
      const u_int f = n.other & DICT_FREQ_MASK;
      if (found) {
        it->second.second += f ? f : 1;
      } else {
        it = model.emplace(key, n.code >= 0 ? CO(n) : CodeOther(cur_code++, f ? n.other : n.other + 1)).first;
      }
      ASSERT_EQ(1, db_op1(d.get(), &n, ADD));
      ASSERT_EQ(it->second, CO(n));
    } else if (kind < 70) {  // SEEK
      ASSERT_EQ(found ? 1 : 0, db_op1(d.get(), &n, SEEK));
      if (found) {
        ASSERT_EQ(it->second, CO(n));
      } else {
        ASSERT_EQ(-1, n.code);
      }
    } else if (kind < 82) {  // DEL
      ASSERT_EQ(found ? 1 : 0, db_op1(d.get(), &n, DEL));
      if (found) {
        ASSERT_EQ(it->second.first, n.code);
        model.erase(it);
      }
    } else {  // MOD, MODF, MODW, MODC with a non-negative code
      static const Eop_method kMods[] = {MOD, MODF, MODW, MODC};
      const Eop_method op = kMods[kind % 4];
      n.code = static_cast<int>(rng() % 5000);
      ASSERT_EQ(found ? 1 : 0, db_op1(d.get(), &n, op));
      if (found) {
        auto& [code, other] = it->second;
        if (op == MOD) std::tie(code, other) = CO(n);
        if (op == MODF) other = (other & DICT_WEIGHT_MASK) | (n.other & DICT_FREQ_MASK);
        if (op == MODW) other = (n.other & DICT_WEIGHT_MASK) | (other & DICT_FREQ_MASK);
        if (op == MODC) code = n.code;
      }
    }
    ASSERT_EQ(static_cast<int>(model.size()), d->node_num);
    ASSERT_EQ(cur_code, d->cur_code);
  }
  for (const auto& [key, v] : model) {
    ASSERT_EQ(v, Seek(d.get(), static_cast<u_int>(key >> 32), static_cast<u_int>(key)));
  }
}

}  // namespace
