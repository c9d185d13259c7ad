// Character-code library utilities against their standard anchors:
// ccode::hashmap vs std::unordered_map on the same 1,000,000 string keys, and
// ccode::xcompool vs the system's malloc/free on the same request pattern.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "utils/ccode_hashmap.h"
#include "utils/ccode_xcompool.h"

namespace {

constexpr size_t kKeys = 1000000;
constexpr size_t kBuckets = 0x100000;

// Distinct keys of 6 to 24 letters and digits, like dictionary words.
const std::vector<std::string>& Keys() {
  static const std::vector<std::string> keys = [] {
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::mt19937_64 rng(42);
    std::unordered_set<std::string> seen;
    std::vector<std::string> out;
    out.reserve(kKeys);
    while (out.size() < kKeys) {
      std::string k(6 + rng() % 19, ' ');
      for (char& c : k) c = kAlphabet[rng() % 36];
      if (seen.insert(k).second) out.push_back(std::move(k));
    }
    return out;
  }();
  return keys;
}

// The same keys in another order, for look-ups.
const std::vector<const std::string*>& Probes() {
  static const std::vector<const std::string*> probes = [] {
    std::vector<const std::string*> out;
    for (const std::string& k : Keys()) out.push_back(&k);
    std::shuffle(out.begin(), out.end(), std::mt19937_64(7));
    return out;
  }();
  return probes;
}

constexpr size_t kSizeCount = 4096;  // a power of two: indices wrap by mask

// The pool benchmarks run first: the hash benchmarks leave the system
// allocator's bins full of freed strings, which would slow its anchor.

// Request sizes of scratch buffers: mostly small, some up to 4 KB.
const std::vector<size_t>& Sizes() {
  static const std::vector<size_t> sizes = [] {
    std::mt19937 rng(3);
    std::vector<size_t> out(kSizeCount);
    for (size_t& s : out) s = (rng() % 8 == 0) ? 16 + rng() % 4080 : 8 + rng() % 248;
    return out;
  }();
  return sizes;
}

constexpr size_t kBatch = 64;

// Allocates a batch of kBatch chunks, then frees them newest first.
template <class Malloc, class Free>
void RunPattern(benchmark::State& state, Malloc do_malloc, Free do_free) {
  const size_t* sizes = Sizes().data();
  void* live[kBatch];
  size_t pos = 0;
  for (auto _ : state) {
    const size_t* batch = sizes + pos;
    for (size_t i = 0; i < kBatch; ++i) {
      live[i] = do_malloc(batch[i]);
      benchmark::DoNotOptimize(live[i]);
    }
    for (size_t i = kBatch; i-- > 0;) do_free(live[i], batch[i]);
    pos = (pos + kBatch) & (kSizeCount - 1);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
}

void BM_XcompoolMallocFree(benchmark::State& state) {
  ccode::xcompool pool;
  pool.create(0x80000, 2, 0x80000, 2.0f);
  RunPattern(state, [&](size_t n) { return pool.malloc(n); }, [&](void* p, size_t n) { pool.free(p, n); });
}
BENCHMARK(BM_XcompoolMallocFree);

// One call of a string utility on the per-thread pool: a few scratch
// chunks, then the pool is cleared before the call returns.
void BM_XcompoolCallAndClear(benchmark::State& state) {
  ccode::xcompool pool;
  pool.create(0x80000, 2, 0x80000, 2.0f);
  const size_t* sizes = Sizes().data();
  size_t pos = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < 4; ++i) benchmark::DoNotOptimize(pool.malloc(sizes[pos + i]));
    pool.clear();
    pos = (pos + 4) & (kSizeCount - 1);
  }
}
BENCHMARK(BM_XcompoolCallAndClear);

void BM_SystemMallocFree(benchmark::State& state) {
  RunPattern(state, [](size_t n) { return std::malloc(n); }, [](void* p, size_t) { std::free(p); });
}
BENCHMARK(BM_SystemMallocFree);

void BM_HashmapSet(benchmark::State& state) {
  const auto& keys = Keys();
  ccode::hashmap<std::string, int> map;
  map.create(kBuckets);
  for (auto _ : state) {
    map.clear();
    int i = 0;
    for (const std::string& k : keys) benchmark::DoNotOptimize(map.set(k, i++, 0));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * keys.size()));
}
BENCHMARK(BM_HashmapSet)->Unit(benchmark::kMillisecond);

void BM_UnorderedMapSet(benchmark::State& state) {
  const auto& keys = Keys();
  std::unordered_map<std::string, int> map;
  map.reserve(kBuckets);
  for (auto _ : state) {
    map.clear();
    int i = 0;
    for (const std::string& k : keys) benchmark::DoNotOptimize(map.emplace(k, i++));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * keys.size()));
}
BENCHMARK(BM_UnorderedMapSet)->Unit(benchmark::kMillisecond);

void BM_HashmapGet(benchmark::State& state) {
  ccode::hashmap<std::string, int> map;
  map.create(kBuckets);
  int i = 0;
  for (const std::string& k : Keys()) map.set(k, i++, 0);
  const auto& probes = Probes();
  for (auto _ : state) {
    long sum = 0;
    for (const std::string* k : probes) {
      int v = 0;
      map.get(*k, &v);
      sum += v;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * probes.size()));
}
BENCHMARK(BM_HashmapGet)->Unit(benchmark::kMillisecond);

void BM_UnorderedMapGet(benchmark::State& state) {
  std::unordered_map<std::string, int> map;
  map.reserve(kBuckets);
  int i = 0;
  for (const std::string& k : Keys()) map.emplace(k, i++);
  const auto& probes = Probes();
  for (auto _ : state) {
    long sum = 0;
    for (const std::string* k : probes) {
      auto it = map.find(*k);
      if (it != map.end()) sum += it->second;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * probes.size()));
}
BENCHMARK(BM_UnorderedMapGet)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
