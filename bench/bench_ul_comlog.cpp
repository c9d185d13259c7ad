// Logging framework benchmarks: lines per second through the framework's
// terminal appender (category filter, message formatting, default layout
// "%L: %D:  %P * %T %R", one fputs to standard error) against the anchor,
// spdlog's standard-error sink with the same line shape. Standard error is
// /dev/null while they run, so both measure the logger, not a terminal.
// The Threads variants run 4 writers at once.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>
#include <stdio.h>
#include <unistd.h>

#include <memory>

#include "comlog/comlog.h"

namespace {

const char kPayload[] = "key=value other=12345 some more text to make a typical line";

// Points standard error at /dev/null for its lifetime.
class QuietStderr {
 public:
  QuietStderr() {
    fflush(stderr);
    saved_ = dup(2);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    close(null);
  }
  ~QuietStderr() {
    fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
  }

 private:
  int saved_;
};

bool OpenFramework() {
  static const bool opened = [] {
    QuietStderr quiet;
    comspace::com_device_t dev;
    return com_openlog("bench", &dev, 0, nullptr) == 0;
  }();
  return opened;
}

void BM_ComlogTty(benchmark::State& state) {
  if (!OpenFramework()) {
    state.SkipWithError("com_openlog failed");
    return;
  }
  QuietStderr quiet;
  int i = 0;
  for (auto _ : state) com_writelog(4, "line %d %s", ++i, kPayload);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ComlogTty);
BENCHMARK(BM_ComlogTty)->Name("BM_ComlogTtyThreads")->Threads(4)->UseRealTime();

std::shared_ptr<spdlog::logger> SpdLogger() {
  static auto logger = [] {
    auto l = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::stderr_sink_mt>());
    l->set_pattern("NOTICE: %m-%d %H:%M:%S:  bench * %t %v");
    return l;
  }();
  return logger;
}

void BM_SpdlogStderrAnchor(benchmark::State& state) {
  auto logger = SpdLogger();
  QuietStderr quiet;
  int i = 0;
  for (auto _ : state) logger->info("line {} {}", ++i, kPayload);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SpdlogStderrAnchor);
BENCHMARK(BM_SpdlogStderrAnchor)->Name("BM_SpdlogStderrAnchorThreads")->Threads(4)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
