// Logging framework benchmarks, each against its anchor in spdlog with the
// same line shape ("%L: %D:  %P * %T %R" of the framework's default layout):
//
// - the terminal appender (category filter, message formatting, one fputs
//   to standard error) against spdlog's standard-error sink; standard error
//   is /dev/null while they run, so both measure the logger, not a terminal;
// - the file appender (FILE: one write per line) against spdlog's basic
//   file sink flushed after every line (one write per line too);
// - the asynchronous file appender (AFILE: lines copied into buffers that a
//   writer thread writes) against spdlog's asynchronous logger over a basic
//   file sink (a queue and a worker thread, file written through stdio).
//
// A file round opens the logger, writes kRound lines and closes it, so every
// line is in the file when the round ends (for the asynchronous kinds the
// time includes the writer's drain). Files go to a scratch folder removed at
// exit. The Threads variants run 4 writers at once.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spdlog/async.h>
#include <spdlog/async_logger.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>
#include <stdio.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "comlog/comlog.h"
#include "support/scratch_dir.h"

namespace {

const char kPayload[] = "key=value other=12345 some more text to make a typical line";
const char kSpdPattern[] = "NOTICE: %m-%d %H:%M:%S:  bench * %t %v";
constexpr int kRound = 100000;  // lines per file round

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

std::string ScratchFile(const char* name) { return testsupport::ProcessScratchDir() + "/" + name; }

// Opens the framework with one device: the terminal (type NULL) or a file
// of the scratch folder, with the default layout.
bool OpenFramework(const char* type, const char* name) {
  QuietStderr quiet;
  comspace::com_device_t dev;
  if (type == nullptr) return com_openlog("bench", &dev, 0, nullptr) == 0;
  snprintf(dev.type, sizeof(dev.type), "%s", type);
  snprintf(dev.host, sizeof(dev.host), "%s", testsupport::ProcessScratchDir().c_str());
  snprintf(dev.file, sizeof(dev.file), "%s", name);
  snprintf(dev.name, sizeof(dev.name), "BENCH");
  dev.splite_type = comspace::COMLOG_SIZECUT;  // the default 2048 MiB: no cut during a round
  dev.log_mask = comspace::COMLOG_SYSLEVEL_MASK;
  return com_openlog("bench", &dev, 1, nullptr) == 0;
}

void CloseFramework() {
  QuietStderr quiet;
  com_closelog(0);
}

// Standard error stays quiet from a run's setup to its teardown, so that
// the lines (and each writer thread's closing lines) of the terminal
// benchmarks go nowhere.
QuietStderr* g_quiet = nullptr;

void SetupTty(const benchmark::State&) {
  OpenFramework(nullptr, nullptr);
  g_quiet = new QuietStderr();
}
void SetupFile(const benchmark::State&) { OpenFramework("FILE", "threads.log"); }
void Teardown(const benchmark::State&) {
  CloseFramework();
  delete g_quiet;
  g_quiet = nullptr;
  unlink(ScratchFile("threads.log").c_str());
}

void BM_ComlogTty(benchmark::State& state) {
  if (com_logstatus() != 1) {
    state.SkipWithError("com_openlog failed");
    return;
  }
  int i = 0;
  for (auto _ : state) com_writelog(4, "line %d %s", ++i, kPayload);
  com_closelog_r();  // a writer thread ends its own logging
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ComlogTty)->Setup(SetupTty)->Teardown(Teardown);
BENCHMARK(BM_ComlogTty)->Name("BM_ComlogTtyThreads")->Threads(4)->UseRealTime()->Setup(SetupTty)->Teardown(Teardown);

std::shared_ptr<spdlog::logger> SpdLogger() {
  static auto logger = [] {
    auto l = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::stderr_sink_mt>());
    l->set_pattern(kSpdPattern);
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

// One file round per iteration through the framework: open, kRound lines,
// close.
void ComlogFileRounds(benchmark::State& state, const char* type) {
  const std::string path = ScratchFile("comlog.log");
  for (auto _ : state) {
    if (!OpenFramework(type, "comlog.log")) {
      state.SkipWithError("com_openlog failed");
      return;
    }
    for (int i = 0; i < kRound; ++i) com_writelog(4, "line %d %s", i, kPayload);
    CloseFramework();
    state.PauseTiming();
    unlink(path.c_str());
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRound);
}

void BM_ComlogFile(benchmark::State& state) { ComlogFileRounds(state, "FILE"); }
void BM_ComlogAsyncFile(benchmark::State& state) { ComlogFileRounds(state, "AFILE"); }
BENCHMARK(BM_ComlogFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComlogAsyncFile)->Unit(benchmark::kMillisecond);

// The same rounds through spdlog: a basic file sink flushed after every
// line, or an asynchronous logger (its own queue and worker) over one.
void SpdlogFileRounds(benchmark::State& state, bool async) {
  const std::string path = ScratchFile("spdlog.log");
  for (auto _ : state) {
    {
      auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(path);
      std::shared_ptr<spdlog::details::thread_pool> pool;
      std::shared_ptr<spdlog::logger> logger;
      if (async) {
        pool = std::make_shared<spdlog::details::thread_pool>(8192, 1);
        logger = std::make_shared<spdlog::async_logger>("bench", sink, pool);
      } else {
        logger = std::make_shared<spdlog::logger>("bench", sink);
        logger->flush_on(spdlog::level::trace);
      }
      logger->set_pattern(kSpdPattern);
      for (int i = 0; i < kRound; ++i) logger->info("line {} {}", i, kPayload);
      logger.reset();
      pool.reset();  // drains the queue and joins the worker
    }
    state.PauseTiming();
    unlink(path.c_str());
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRound);
}

void BM_SpdlogFileAnchor(benchmark::State& state) { SpdlogFileRounds(state, false); }
void BM_SpdlogAsyncFileAnchor(benchmark::State& state) { SpdlogFileRounds(state, true); }
BENCHMARK(BM_SpdlogFileAnchor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpdlogAsyncFileAnchor)->Unit(benchmark::kMillisecond);

// Four threads writing one file at once (one write per line each).
void BM_ComlogFileThreads(benchmark::State& state) {
  if (com_logstatus() != 1) {
    state.SkipWithError("com_openlog failed");
    return;
  }
  int i = 0;
  for (auto _ : state) com_writelog(4, "line %d %s", ++i, kPayload);
  com_closelog_r();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ComlogFileThreads)->Threads(4)->UseRealTime()->Setup(SetupFile)->Teardown(Teardown);

std::shared_ptr<spdlog::logger> g_spd_file;
void SetupSpdFile(const benchmark::State&) {
  g_spd_file = std::make_shared<spdlog::logger>(
      "bench", std::make_shared<spdlog::sinks::basic_file_sink_mt>(ScratchFile("spdlog-threads.log")));
  g_spd_file->set_pattern(kSpdPattern);
  g_spd_file->flush_on(spdlog::level::trace);
}
void TeardownSpdFile(const benchmark::State&) {
  g_spd_file.reset();
  unlink(ScratchFile("spdlog-threads.log").c_str());
}

void BM_SpdlogFileAnchorThreads(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) g_spd_file->info("line {} {}", ++i, kPayload);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SpdlogFileAnchorThreads)->Threads(4)->UseRealTime()->Setup(SetupSpdFile)->Teardown(TeardownSpdFile);

}  // namespace

BENCHMARK_MAIN();
