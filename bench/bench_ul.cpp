// Base utility library benchmarks.
//
// Process log: one ul_writelog line to a file (time stamp, size check by
// stat, locked write and flush) against its anchor, a plain fprintf + fflush
// of a line of the same shape to a file in the same folder.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

#include "ul_log.h"

namespace {

// A scratch folder for the benchmark's files, removed at exit.
const std::string& BenchDir() {
  static const std::string dir = [] {
    const char* t = getenv("TMPDIR");
    std::string tmpl = std::string(t != nullptr && *t != '\0' ? t : "/tmp") + "/bench-ul-XXXXXX";
    if (mkdtemp(&tmpl[0]) == nullptr) abort();
    atexit([] {
      std::string cmd = "rm -rf '" + BenchDir() + "'";
      if (system(cmd.c_str()) != 0) fprintf(stderr, "cannot remove %s\n", BenchDir().c_str());
    });
    return tmpl;
  }();
  return dir;
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

void BM_FprintfFflushAnchor(benchmark::State& state) {
  FILE* fp = fopen((BenchDir() + "/anchor.log").c_str(), "a");
  if (fp == nullptr) {
    state.SkipWithError("fopen failed");
    return;
  }
  const unsigned long tid = static_cast<unsigned long>(syscall(SYS_gettid));
  int i = 0;
  for (auto _ : state) {
    fprintf(fp, "NOTICE: %s:  %s * %lu line %d %s\n", "12-06 21:40:00", "bench", tid, ++i, kPayload);
    fflush(fp);
  }
  fclose(fp);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FprintfFflushAnchor);

}  // namespace

BENCHMARK_MAIN();
