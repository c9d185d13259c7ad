// Network appender benchmark: lines per second delivered to a log server on
// loopback through a NET device (rendering, the queue, the sender thread's
// batches and framed writes) against the anchor, spdlog's TCP sink with the
// same line shape to the same kind of server. Each iteration writes a block
// of lines and waits until the server has read all of them, so both
// measure delivery, not queuing.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <spdlog/sinks/tcp_sink.h>
#include <spdlog/spdlog.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "comlog/comlog.h"
#include "comlog/sendsvr/loghead.h"
#include "support/poll_read.h"

namespace {

const char kPayload[] = "key=value other=12345 some more text to make a typical line";
constexpr int kBlock = 10000;  // lines per iteration (below the sender's queue of 20480)

// A server on 127.0.0.1 that counts the lines it reads. Framed: it answers
// open requests with a handle and counts the newlines of data frames.
// Plain: it counts the newlines of the stream.
class SinkServer {
 public:
  explicit SinkServer(bool framed) : framed_(framed) {
    lfd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a;
    memset(&a, 0, sizeof(a));
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    if (bind(lfd_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || listen(lfd_, 4) != 0 ||
        getsockname(lfd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      return;
    }
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Loop(); });
  }
  ~SinkServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    close(lfd_);
  }
  int port() const { return port_; }
  long lines() const { return lines_.load(std::memory_order_acquire); }
  // Waits (at most 10 s) until n lines have arrived.
  bool WaitLines(long n) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (lines() < n) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::yield();
    }
    return true;
  }

 private:
  bool Read(int fd, char* p, size_t n) { return testsupport::PollReadExact(fd, p, n, stop_); }
  void Loop() {
    int fd = -1;
    while (!stop_ && fd < 0) {
      pollfd pf = {lfd_, POLLIN, 0};
      if (poll(&pf, 1, 20) > 0) fd = accept(lfd_, nullptr, nullptr);
    }
    std::vector<char> buf(1 << 20);
    while (fd >= 0 && !stop_) {
      size_t n = 0;
      if (framed_) {
        comspace::loghead_t head;
        if (!Read(fd, reinterpret_cast<char*>(&head), sizeof(head))) break;
        if (head.body_len > buf.size()) buf.resize(head.body_len);
        if (!Read(fd, buf.data(), head.body_len)) break;
        if (head.log_id == comspace::LOGHEAD_OPEN_LOGID) {
          struct {
            comspace::loghead_t head;
            comspace::logsvr_res_t res;
          } answer;
          memset(&answer, 0, sizeof(answer));
          answer.head.magic_num = LOGHEAD_MAGICNUM;
          answer.head.body_len = sizeof(answer.res);
          answer.res.handle = 1;
          if (write(fd, &answer, sizeof(answer)) != static_cast<ssize_t>(sizeof(answer))) break;
          continue;
        }
        n = head.body_len;
      } else {
        pollfd pf = {fd, POLLIN, 0};
        if (poll(&pf, 1, 20) <= 0) continue;
        ssize_t r = read(fd, buf.data(), buf.size());
        if (r <= 0) break;
        n = static_cast<size_t>(r);
      }
      lines_.fetch_add(std::count(buf.data(), buf.data() + n, '\n'), std::memory_order_release);
    }
    if (fd >= 0) close(fd);
  }

  bool framed_;
  int lfd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<long> lines_{0};
  std::thread thread_;
};

void BM_ComlogNet(benchmark::State& state) {
  static SinkServer server(true);
  static const bool opened = [] {
    // The device's local back-up file is made in a scratch folder, which is
    // removed again at once (the back-up stays unused while the server reads).
    char dir[] = "/tmp/bench-comlog-net-XXXXXX";
    if (mkdtemp(dir) == nullptr) return false;
    comspace::com_device_t dev;
    snprintf(dev.host, sizeof(dev.host), "127.0.0.1:%d/%s", server.port(), dir);
    snprintf(dev.file, sizeof(dev.file), "%s", "bench.log");
    snprintf(dev.type, sizeof(dev.type), "%s", "NET");
    dev.log_mask = uint64_t{1} << 4;  // NOTICE only: the open banner at WARNING stays out
    const bool ok = com_openlog("bench", &dev, 1, nullptr) == 0;
    unlink((std::string(dir) + "/bench.log").c_str());
    rmdir(dir);
    return ok;
  }();
  if (!opened) {
    state.SkipWithError("com_openlog failed");
    return;
  }
  int i = 0;
  for (auto _ : state) {
    const long want = server.lines() + kBlock;
    for (int k = 0; k < kBlock; ++k) com_writelog(4, "line %d %s", ++i, kPayload);
    if (!server.WaitLines(want)) {
      state.SkipWithError("lines lost");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_ComlogNet)->UseRealTime();

void BM_SpdlogTcpAnchor(benchmark::State& state) {
  static SinkServer server(false);
  static auto logger = [] {
    spdlog::sinks::tcp_sink_config conf("127.0.0.1", server.port());
    auto l = std::make_shared<spdlog::logger>("bench-tcp", std::make_shared<spdlog::sinks::tcp_sink_mt>(conf));
    l->set_pattern("NOTICE: %m-%d %H:%M:%S:  bench * %t %v");
    return l;
  }();
  int i = 0;
  for (auto _ : state) {
    const long want = server.lines() + kBlock;
    for (int k = 0; k < kBlock; ++k) logger->info("line {} {}", ++i, kPayload);
    if (!server.WaitLines(want)) {
      state.SkipWithError("lines lost");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_SpdlogTcpAnchor)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
