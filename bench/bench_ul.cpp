// Base utility library benchmarks.
//
// Process log: one ul_writelog line to a file (time stamp, size check by
// stat, locked write and flush) against its anchors, a plain fprintf + fflush
// of a line of the same shape to a file in the same folder, without and with
// a stat of the file's name before each line.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

#include "ul_log.h"

namespace {

// A scratch folder for the benchmark's files, removed at exit. The name lives
// on the heap and is never destroyed: the exit handler runs after the static
// objects constructed before it were destroyed.
const std::string& BenchDir() {
  static const std::string* dir = [] {
    const char* t = getenv("TMPDIR");
    std::string tmpl = std::string(t != nullptr && *t != '\0' ? t : "/tmp") + "/bench-ul-XXXXXX";
    if (mkdtemp(&tmpl[0]) == nullptr) abort();
    return new std::string(tmpl);
  }();
  static const bool cleanup = [] {
    return atexit([] {
      std::string cmd = "rm -rf '" + BenchDir() + "'";
      if (system(cmd.c_str()) != 0) fprintf(stderr, "cannot remove %s\n", BenchDir().c_str());
    }) == 0;
  }();
  (void)cleanup;
  return *dir;
}

const char kPayload[] = "key=value other=12345 some more text to make a typical line";

void BM_UlWritelogToFile(benchmark::State& state) {
  // The process log opens once per process; later runs reuse it.
  static const bool opened = [] {
    ul_logstat_t st = {UL_LOG_NOTICE, 0, 0};
    return ul_openlog(BenchDir().c_str(), "bench", &st, 0, NULL) == 0;
  }();
  if (!opened) {
    state.SkipWithError("ul_openlog failed");
    return;
  }
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ul_writelog(UL_LOG_NOTICE, "line %d %s", ++i, kPayload));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UlWritelogToFile);

// Anchors: a line of the same shape written with fprintf + fflush, alone and
// with the one stat of the file's name that the size check needs per line.
void FprintfFflush(benchmark::State& state, bool with_stat) {
  const std::string name = BenchDir() + (with_stat ? "/anchor-stat.log" : "/anchor.log");
  FILE* fp = fopen(name.c_str(), "a");
  if (fp == nullptr) {
    state.SkipWithError("fopen failed");
    return;
  }
  const unsigned long tid = static_cast<unsigned long>(syscall(SYS_gettid));
  int i = 0;
  struct stat st;
  for (auto _ : state) {
    if (with_stat && stat(name.c_str(), &st) != 0) state.SkipWithError("stat failed");
    fprintf(fp, "NOTICE: %s:  %s * %lu line %d %s\n", "12-06 21:40:00", "bench", tid, ++i, kPayload);
    fflush(fp);
  }
  fclose(fp);
  state.SetItemsProcessed(state.iterations());
}

void BM_FprintfFflushAnchor(benchmark::State& state) { FprintfFflush(state, false); }
BENCHMARK(BM_FprintfFflushAnchor);

void BM_StatFprintfFflushAnchor(benchmark::State& state) { FprintfFflush(state, true); }
BENCHMARK(BM_StatFprintfFflushAnchor);

}  // namespace

BENCHMARK_MAIN();
