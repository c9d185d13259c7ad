// Benchmarks of the dictionary module, each beside its anchor:
//  - hash_search against std::unordered_map<std::string, uint32_t>::find on
//    the same 1,000,000 keys (built and binary forms of the table), all
//    present and all absent;
//  - dset_load (text) in lines per second;
//  - dset_binary_load, on every core and on one, against a bare read() of
//    the same two files;
//  - dset_search_item per look-up.
// The text dictionary (1,000,000 lines, 16-byte keys, values of an 8-field
// message) is generated into $PBDICT_BENCH_DIR when set (and kept there, for
// timing pbdict-build on it), else into a temporary folder.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <ftw.h>
#include <malloc.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include <google/protobuf/compiler/importer.h>
#include <google/protobuf/dynamic_message.h>

#include "hash.h"
#include "pbdict.h"
#include "pbdict_corpus.h"

namespace {

using namespace kavo::pbdict;

using pbdict_bench::kKeys;

// kKeys distinct 16-byte keys, the same keys in a shuffled look-up order,
// and as many absent 16-byte keys (a probe with its last hex digit made an
// 'x').
struct KeySet {
  std::vector<std::string> keys;
  std::vector<std::string> probes;
  std::vector<std::string> absent;
  KeySet() {
    std::mt19937_64 rng(42);
    keys = pbdict_bench::MakeKeys(&rng);
    probes = keys;
    std::shuffle(probes.begin(), probes.end(), rng);
    absent = probes;
    for (std::string& k : absent) k.back() = 'x';
  }
};

const KeySet& Keys() {
  static const KeySet* set = new KeySet();
  return *set;
}

// The fastest of the repetitions: the machine is shared, and the minimum is
// the figure least disturbed by other work.
double Min(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

// The generated text dictionary, its schema and the dictionaries built from it.
struct Corpus {
  std::string dir;
  bool temporary = false;
  google::protobuf::compiler::DiskSourceTree tree;
  std::unique_ptr<google::protobuf::compiler::Importer> importer;
  google::protobuf::DynamicMessageFactory factory;
  const google::protobuf::Message* prototype = nullptr;
  std::string text_path;
  // Exactly max_line lines: keep them all rather than fail with result 2.
  dset_parameter_t param;

  Corpus() {
    param.err_if_overflow_maxline = 0;
    const char* env = std::getenv("PBDICT_BENCH_DIR");
    if (env != nullptr && *env != '\0') {
      dir = env;
    } else {
      char tmpl[] = "/tmp/bench-pbdict-XXXXXX";
      dir = mkdtemp(tmpl);
      temporary = true;
    }
    WriteText(dir + "/rec.proto", pbdict_bench::kSchema);
    tree.MapPath("", dir);
    importer.reset(new google::protobuf::compiler::Importer(&tree, nullptr));
    importer->Import("rec.proto");
    prototype = factory.GetPrototype(importer->pool()->FindMessageTypeByName("bench.Rec"));
    text_path = dir + "/dict.txt";
    WriteDictionary();
  }
  ~Corpus() {
    if (temporary) nftw(dir.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  }

  static void WriteText(const std::string& path, const std::string& text) {
    pbdict_bench::WriteText(path, text);
  }

  void WriteDictionary() { pbdict_bench::WriteDictionary(text_path, Keys().keys); }
};

// Destroyed at exit, which removes a temporary folder of several hundred MB.
Corpus& TheCorpus() {
  static Corpus c;
  return c;
}

// The text dictionary (loaded once) and its binary files "<dir>/dict.pbd|ht".
PbDict& TextDict() {
  static PbDict* d = [] {
    Corpus& c = TheCorpus();
    PbDict* dict = new PbDict(c.prototype, &c.param);
    if (dict->load(c.text_path.c_str()) != 0 || dict->binary_dump(c.dir.c_str(), "dict") != 0) {
      std::fprintf(stderr, "cannot build the benchmark dictionary\n");
      std::abort();
    }
    return dict;
  }();
  return *d;
}

PbDict& BinaryDict() {
  static PbDict* d = [] {
    TextDict();
    PbDict* dict = new PbDict(TheCorpus().prototype, nullptr);
    if (dict->binary_load(TheCorpus().dir.c_str(), "dict") != 0) std::abort();
    return dict;
  }();
  return *d;
}

// --- hash_search against unordered_map::find ------------------------------

// The keys in a table of the built form and in an unordered_map, made once.
const hash_table_t* BuiltTable() {
  static const hash_table_t* table = [] {
    hash_table_t* ht = hash_init_table(1024);
    for (int i = 0; i < kKeys; ++i) hash_insert_node(ht, Keys().keys[i].c_str(), i);
    return ht;
  }();
  return table;
}

const std::unordered_map<std::string, uint32_t>& StdMap() {
  static const auto* map = [] {
    auto* m = new std::unordered_map<std::string, uint32_t>();
    for (int i = 0; i < kKeys; ++i) m->emplace(Keys().keys[i], i);
    return m;
  }();
  return *map;
}

// Both sides look up the same 16-byte keys, held as std::string, in the
// same order: hash_search gets c_str(), find() the string itself (hashed by
// std::hash<std::string>), so neither side builds anything per call. The
// tables hold the same kKeys keys; every probe hits, or in the "absent" rows
// every probe misses. Each repetition of a row is one pass over all kKeys
// probes from the first, so every row makes the same look-ups in the same
// order, and the time per iteration is the time per look-up. The machine is
// shared: compare rows of one run, with
// --benchmark_enable_random_interleaving=true.
//
// The three searched structures are made together, in one order, by the
// first of these rows to run, each from a heap handed back to the system
// first: where each one's memory lies then does not depend on which row
// happens to run first.
void SameHeapState();

void MakeSearchedTables() {
  static const bool made = [] {
    TextDict();
    SameHeapState();
    BuiltTable();
    SameHeapState();
    StdMap();
    SameHeapState();
    BinaryDict();
    return true;
  }();
  benchmark::DoNotOptimize(made);
}

// Looks the probes up in the table, one per iteration.
void SearchTable(benchmark::State& state, const hash_table_t* ht,
                 const std::vector<std::string>& probes) {
  MakeSearchedTables();
  const std::string* const probe = probes.data();
  const size_t count = probes.size();
  size_t i = 0;
  uint64_t sum = 0;
  for (auto _ : state) {
    uint32_t v = 0;
    hash_search(ht, probe[i].c_str(), &v);
    sum += v;
    if (++i == count) i = 0;
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
}

void FindInMap(benchmark::State& state, const std::vector<std::string>& probes) {
  MakeSearchedTables();
  const auto& map = StdMap();
  const std::string* const probe = probes.data();
  const size_t count = probes.size();
  size_t i = 0;
  uint64_t sum = 0;
  for (auto _ : state) {
    auto it = map.find(probe[i]);
    if (it != map.end()) sum += it->second;
    if (++i == count) i = 0;
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
}

// Nine repetitions of one pass over the probes each.
void SearchRow(benchmark::internal::Benchmark* b) {
  b->Iterations(kKeys)->Repetitions(9)->ComputeStatistics("min", Min)->ReportAggregatesOnly(true);
}

void BM_hash_search(benchmark::State& state) { SearchTable(state, BuiltTable(), Keys().probes); }
BENCHMARK(BM_hash_search)->Apply(SearchRow);

void BM_hash_search_binary_form(benchmark::State& state) {
  SearchTable(state, BinaryDict().pht, Keys().probes);
}
BENCHMARK(BM_hash_search_binary_form)->Apply(SearchRow);

void BM_unordered_map_find(benchmark::State& state) { FindInMap(state, Keys().probes); }
BENCHMARK(BM_unordered_map_find)->Apply(SearchRow);

void BM_hash_search_absent(benchmark::State& state) {
  SearchTable(state, BuiltTable(), Keys().absent);
}
BENCHMARK(BM_hash_search_absent)->Apply(SearchRow);

void BM_hash_search_binary_form_absent(benchmark::State& state) {
  SearchTable(state, BinaryDict().pht, Keys().absent);
}
BENCHMARK(BM_hash_search_binary_form_absent)->Apply(SearchRow);

void BM_unordered_map_find_absent(benchmark::State& state) { FindInMap(state, Keys().absent); }
BENCHMARK(BM_unordered_map_find_absent)->Apply(SearchRow);

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

// --- dictionary loads -------------------------------------------------------

void BM_dset_load(benchmark::State& state) {
  Corpus& c = TheCorpus();
  for (auto _ : state) {
    std::unique_ptr<PbDict> dict(new PbDict(c.prototype, &c.param));
    if (dict->load(c.text_path.c_str()) != 0) state.SkipWithError("load failed");
    state.PauseTiming();  // the release is not part of the load
    dict.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_dset_load)->Unit(benchmark::kMillisecond)->Iterations(2);

// The load and its anchor below each start every iteration from the same
// allocator state, whatever ran before: a fixed mmap threshold (glibc raises
// it after large blocks are freed, so that what earlier benchmarks freed
// decides whether a large buffer is fresh mapped memory or reused heap) and
// the heap's free memory handed back to the system.
void SameHeapState() {
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  malloc_trim(0);
}

// The load on every core the process may use (values in parts, the key
// table beside them), and on the one core the benchmark runs on. Both report
// wall time, and the CPU time of the whole process.
void BinaryLoad(benchmark::State& state) {
  TextDict();
  Corpus& c = TheCorpus();
  SameHeapState();
  for (auto _ : state) {
    std::unique_ptr<PbDict> dict(new PbDict(c.prototype, nullptr));
    if (dict->binary_load(c.dir.c_str(), "dict") != 0) state.SkipWithError("load failed");
    state.PauseTiming();
    dict.reset();
    SameHeapState();
    state.ResumeTiming();
  }
}

void LoadRow(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)
      ->Repetitions(9)
      ->ComputeStatistics("min", Min)
      ->ReportAggregatesOnly(true)
      ->UseRealTime()
      ->MeasureProcessCPUTime();
}

void BM_dset_binary_load(benchmark::State& state) { BinaryLoad(state); }
BENCHMARK(BM_dset_binary_load)->Apply(LoadRow);

// The loader counts the cores of the calling thread's affinity mask.
void BM_dset_binary_load_one_core(benchmark::State& state) {
  cpu_set_t all, one;
  CPU_ZERO(&all);
  CPU_ZERO(&one);
  const int cpu = sched_getcpu();
  if (sched_getaffinity(0, sizeof(all), &all) != 0 || cpu < 0) {
    state.SkipWithError("no affinity mask");
    return;
  }
  CPU_SET(cpu, &one);
  if (sched_setaffinity(0, sizeof(one), &one) != 0) {
    state.SkipWithError("cannot pin to one core");
    return;
  }
  BinaryLoad(state);
  sched_setaffinity(0, sizeof(all), &all);
}
BENCHMARK(BM_dset_binary_load_one_core)->Apply(LoadRow);

// Anchor: reading the same two files whole with read(2) into fresh memory,
// as any loader must. (A buffer kept from one iteration to the next would
// spare the anchor the page faults that the load pays whenever the allocator
// has handed its freed memory back, and make the ratio depend on what ran
// before.)
void BM_read_binary_files(benchmark::State& state) {
  TextDict();
  Corpus& c = TheCorpus();
  const std::string files[2] = {c.dir + "/dict.pbd", c.dir + "/dict.ht"};
  SameHeapState();
  for (auto _ : state) {
    std::unique_ptr<char[]> whole[2];
    for (int i = 0; i < 2; ++i) {
      int fd = ::open(files[i].c_str(), O_RDONLY);
      off_t size = ::lseek(fd, 0, SEEK_END);
      ::lseek(fd, 0, SEEK_SET);
      whole[i].reset(new char[static_cast<size_t>(size)]);
      size_t total = 0;
      ssize_t n;
      while ((n = ::read(fd, whole[i].get() + total, static_cast<size_t>(size) - total)) > 0) {
        total += static_cast<size_t>(n);
      }
      ::close(fd);
    }
    benchmark::DoNotOptimize(whole[0].get());
    benchmark::DoNotOptimize(whole[1].get());
    state.PauseTiming();  // as for the load, the release is not timed
    whole[0].reset();
    whole[1].reset();
    SameHeapState();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_read_binary_files)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ComputeStatistics("min", Min)
    ->ReportAggregatesOnly(true);

// --- look-ups ---------------------------------------------------------------

void BM_dset_search_item(benchmark::State& state) {
  const KeySet& ks = Keys();
  PbDict& dict = BinaryDict();
  std::unique_ptr<google::protobuf::Message> m(dict.message_type->New());
  size_t i = 0;
  for (auto _ : state) {
    if (dset_search_item(&dict, ks.probes[i].c_str(), m.get()) != 1) {
      state.SkipWithError("key not found");
    }
    if (++i == ks.probes.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_dset_search_item)
    ->Repetitions(9)
    ->ComputeStatistics("min", Min)
    ->ReportAggregatesOnly(true);

// find_line alone: the key look-up of dset_search_item without the parse.
void BM_find_line(benchmark::State& state) {
  const KeySet& ks = Keys();
  PbDict& dict = BinaryDict();
  size_t i = 0;
  int64_t sum = 0;
  for (auto _ : state) {
    sum += find_line(&dict, ks.probes[i].c_str());
    if (++i == ks.probes.size()) i = 0;
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_find_line)
    ->Repetitions(9)
    ->ComputeStatistics("min", Min)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
