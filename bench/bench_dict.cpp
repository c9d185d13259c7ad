// Signature dictionary benchmarks, each against its anchor in the same run:
//  - creat_sign_fs64 and creat_sign_murmur64 against XXH64 over 8-byte,
//    32-byte and 1 KiB strings (bytes/s);
//  - db_op1 SEEK and the search-side look-up (in memory and mapped) against
//    std::unordered_map<uint64_t, ...>::find on the same 1,000,000 keys
//    (items/s = look-ups).
#include <xxhash.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "benchmark/benchmark.h"
#include "ul_dict.h"

namespace {

std::string RandomBytes(size_t n) {
  std::mt19937 rng(static_cast<unsigned>(n));
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(1 + rng() % 255);  // no NUL: murmur64 checks the end
  return s;
}

void BM_SignFs64(benchmark::State& state) {
  const std::string s = RandomBytes(static_cast<size_t>(state.range(0)));
  u_int a, b;
  for (auto _ : state) {
    creat_sign_fs64(s.data(), static_cast<int>(s.size()), &a, &b);
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

void BM_SignMurmur64(benchmark::State& state) {
  const std::string s = RandomBytes(static_cast<size_t>(state.range(0)));
  u_int a, b;
  for (auto _ : state) {
    creat_sign_murmur64(s.c_str(), static_cast<int>(s.size()), &a, &b, 0);
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

void BM_Anchor_XXH64(benchmark::State& state) {
  const std::string s = RandomBytes(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(XXH64(s.data(), s.size(), 0));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

BENCHMARK(BM_SignFs64)->Arg(8)->Arg(32)->Arg(1024);
BENCHMARK(BM_SignMurmur64)->Arg(8)->Arg(32)->Arg(1024);
BENCHMARK(BM_Anchor_XXH64)->Arg(8)->Arg(32)->Arg(1024);

// One million keys, saved once and loaded in every form; look-ups go over the
// keys in a shuffled order.
constexpr int kKeys = 1000000;

struct Fixture {
  std::vector<Sdict_snode> keys;  // look-up order
  Sdict_build* build = nullptr;
  Sdict_search* mem = nullptr;
  Sdict_search* map = nullptr;
  std::unordered_map<uint64_t, std::pair<int, u_int>> anchor;
  std::string dir;

  Fixture() {
    std::mt19937_64 rng(42);
    build = db_creat(kKeys / 2 + 1, 0);
    for (int i = 0; i < kKeys; ++i) {
      const uint64_t k = rng();
      Sdict_snode n{static_cast<u_int>(k >> 32), static_cast<u_int>(k), -1, 0};
      db_op1(build, &n, ADD);
      keys.push_back(n);
      anchor.emplace(k, std::make_pair(n.code, n.other));
    }
    char tmpl[] = "/tmp/bench_dict_XXXXXX";
    if (mkdtemp(tmpl) == nullptr) std::abort();
    dir = tmpl;
    if (db_save(build, dir.c_str(), "d") != 1) std::abort();
    mem = ds_load(dir.c_str(), "d");
    map = ds_load_mmap(dir.c_str(), "d");
    if (mem == nullptr || map == nullptr) std::abort();
    std::shuffle(keys.begin(), keys.end(), rng);
  }
  ~Fixture() {
    db_del(build);
    ds_del(mem);
    ds_del_mmap(map);
    for (const char* f : {"d.n", "d.ind1", "d.ind2"}) std::remove((dir + "/" + f).c_str());
    std::remove(dir.c_str());
  }
};

Fixture& F() {
  static Fixture f;
  return f;
}

template <typename Lookup>
void RunLookups(benchmark::State& state, Lookup lookup) {
  const std::vector<Sdict_snode>& keys = F().keys;
  size_t i = 0;
  for (auto _ : state) {
    Sdict_snode n = keys[i];
    benchmark::DoNotOptimize(lookup(&n));
    benchmark::DoNotOptimize(n.code);
    if (++i == keys.size()) i = 0;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_DbOp1Seek(benchmark::State& state) {
  RunLookups(state, [](Sdict_snode* n) { return db_op1(F().build, n, SEEK); });
}

void BM_DsOp1Seek(benchmark::State& state) {
  RunLookups(state, [](Sdict_snode* n) { return ds_op1(F().mem, n, SEEK); });
}

void BM_DsOp1SeekMapped(benchmark::State& state) {
  RunLookups(state, [](Sdict_snode* n) { return ds_op1(F().map, n, SEEK); });
}

void BM_Anchor_UnorderedMapFind(benchmark::State& state) {
  RunLookups(state, [](Sdict_snode* n) {
    auto it = F().anchor.find((uint64_t{n->sign1} << 32) | n->sign2);
    if (it == F().anchor.end()) return 0;
    n->code = it->second.first;
    n->other = it->second.second;
    return 1;
  });
}

BENCHMARK(BM_DbOp1Seek);
BENCHMARK(BM_DsOp1Seek);
BENCHMARK(BM_DsOp1SeekMapped);
BENCHMARK(BM_Anchor_UnorderedMapFind);

}  // namespace

BENCHMARK_MAIN();
