// Benchmarks of the dictionary module: key look-up in the string hash table
// against std::unordered_map on the same keys.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "hash.h"

namespace {

using namespace kavo::pbdict;

const int kKeys = 1000000;

// kKeys distinct 16-byte keys, and the same keys in a shuffled look-up order.
struct KeySet {
  std::vector<std::string> keys;
  std::vector<std::string> probes;
  KeySet() {
    std::mt19937_64 rng(42);
    keys.reserve(kKeys);
    for (int i = 0; i < kKeys; ++i) {
      char buf[17];
      std::snprintf(buf, sizeof(buf), "%016llx", static_cast<unsigned long long>(rng()));
      keys.emplace_back(buf, 16);
    }
    probes = keys;
    std::shuffle(probes.begin(), probes.end(), rng);
  }
};

const KeySet& Keys() {
  static const KeySet* set = new KeySet();
  return *set;
}

void BM_hash_search(benchmark::State& state) {
  const KeySet& ks = Keys();
  hash_table_t* ht = hash_init_table(1024);
  for (int i = 0; i < kKeys; ++i) hash_insert_node(ht, ks.keys[i].c_str(), i);
  size_t i = 0;
  uint64_t sum = 0;
  for (auto _ : state) {
    uint32_t v = 0;
    hash_search(ht, ks.probes[i].c_str(), &v);
    sum += v;
    if (++i == ks.probes.size()) i = 0;
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
  hash_release(ht);
}
BENCHMARK(BM_hash_search);

void BM_unordered_map_find(benchmark::State& state) {
  const KeySet& ks = Keys();
  std::unordered_map<std::string, uint32_t> map;
  for (int i = 0; i < kKeys; ++i) map.emplace(ks.keys[i], i);
  size_t i = 0;
  uint64_t sum = 0;
  for (auto _ : state) {
    auto it = map.find(ks.probes[i]);
    if (it != map.end()) sum += it->second;
    if (++i == ks.probes.size()) i = 0;
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_unordered_map_find);

void BM_hash_insert(benchmark::State& state) {
  const KeySet& ks = Keys();
  for (auto _ : state) {
    hash_table_t* ht = hash_init_table(1024);
    for (int i = 0; i < kKeys; ++i) hash_insert_node(ht, ks.keys[i].c_str(), i);
    hash_release(ht);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_hash_insert)->Unit(benchmark::kMillisecond);

void BM_unordered_map_insert(benchmark::State& state) {
  const KeySet& ks = Keys();
  for (auto _ : state) {
    std::unordered_map<std::string, uint32_t> map;
    for (int i = 0; i < kKeys; ++i) map.emplace(ks.keys[i], i);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_unordered_map_insert)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
