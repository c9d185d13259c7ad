// Benchmarks of the configuration reader: reading a file of 100,000 items
// against a bare fgets pass over the same file (the anchor), and ul_getconfint
// look-ups, which scan the table in file order, at its start, middle and end;
// and ul_readnum_oneint over a small numbers file, as a dictionary load does.
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "ul_conf.h"

namespace {

const int kItems = 100000;

// A temporary file "conf" of kItems lines "key_<i> : <i>".
struct ConfFile {
  std::string dir;
  ConfFile() {
    const char* tmp = getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/bench_ul_conf.XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) abort();
    dir = pattern;
    FILE* fp = fopen(path().c_str(), "w");
    if (fp == nullptr) abort();
    for (int i = 0; i < kItems; ++i) fprintf(fp, "key_%d : %d\n", i, i);
    fclose(fp);
  }
  ~ConfFile() {
    unlink(path().c_str());
    rmdir(dir.c_str());
  }
  std::string path() const { return dir + "/conf"; }
};

const ConfFile& File() {
  static ConfFile file;
  return file;
}

void BM_FgetsAnchor(benchmark::State& state) {
  const std::string path = File().path();
  char line[4095];
  state.SetLabel("lower bound: reads lines, parses and keeps nothing");
  for (auto _ : state) {
    FILE* fp = fopen(path.c_str(), "r");
    long n = 0;
    while (fgets(line, sizeof(line), fp) != nullptr) ++n;
    fclose(fp);
    benchmark::DoNotOptimize(n);
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_FgetsAnchor)->Unit(benchmark::kMillisecond);

void BM_ReadConf(benchmark::State& state) {
  const ConfFile& f = File();
  Ul_confdata* conf = ul_initconf(kItems);
  for (auto _ : state) {
    if (ul_readconf(f.dir.c_str(), "conf", conf) != 1) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(conf->num);
  }
  ul_freeconf(conf);
  state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_ReadConf)->Unit(benchmark::kMillisecond);

// Look-up of the item at position state.range(0) of the table.
void BM_GetConfInt(benchmark::State& state) {
  const ConfFile& f = File();
  Ul_confdata* conf = ul_initconf(kItems);
  if (ul_readconf(f.dir.c_str(), "conf", conf) != 1) state.SkipWithError("read failed");
  const std::string name = "key_" + std::to_string(state.range(0));
  for (auto _ : state) {
    int v = 0;
    benchmark::DoNotOptimize(ul_getconfint(static_cast<const Ul_confdata*>(conf), name.c_str(), &v));
    benchmark::DoNotOptimize(v);
  }
  ul_freeconf(conf);
}
BENCHMARK(BM_GetConfInt)->Arg(0)->Arg(kItems / 2)->Arg(kItems - 1)->Unit(benchmark::kMicrosecond);

// One value from a numbers file of five lines.
void BM_ReadNumOneInt(benchmark::State& state) {
  const ConfFile& f = File();
  if (ul_writenum_init(f.dir.c_str(), "dict") != 1) state.SkipWithError("init failed");
  for (const char* name : {"hash_num", "node_num", "block", "step", "flags"}) {
    ul_writenum_oneint(f.dir.c_str(), "dict", name, 4096);
  }
  for (auto _ : state) {
    int v = 0;
    if (ul_readnum_oneint(f.dir.c_str(), "dict", "flags", &v) != 1) state.SkipWithError("no value");
    benchmark::DoNotOptimize(v);
  }
  unlink((f.dir + "/dict.n").c_str());
}
BENCHMARK(BM_ReadNumOneInt)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
