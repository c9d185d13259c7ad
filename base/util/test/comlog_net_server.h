// A log server on 127.0.0.1 for the network appender's tests: it answers
// open requests with handles (or an error), keeps every open request and
// data frame it receives byte for byte, and can delay its answers, stall
// after the opens (until resumed), read nothing at all, send bytes nobody
// asked for, or close each connection after a number of frames (and serve
// the next one). Every wait is bounded; Stop (or the destructor) closes
// every socket and joins every thread it started.
#ifndef UL_TEST_COMLOG_NET_SERVER_H_
#define UL_TEST_COMLOG_NET_SERVER_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comlog/sendsvr/loghead.h"
#include "support/poll_read.h"

namespace comlogtest {

struct FakeLogServerOptions {
  int open_error = 0;     // error_code of every open answer
  int open_delay_ms = 0;  // wait before answering an open
  bool read_data = true;  // false: after answering opens, read nothing more until Resume
  bool read_opens = true; // false: read nothing at all, not even open requests
  int rcvbuf = 0;         // receive buffer of accepted sockets (0: system's)
  uint32_t answer_body_len = 12;  // body_len of open answers (12: the whole record)
  // Each connection is closed after this many data frames (-1: never). 0
  // closes it right after the first open answer, which goes out in one
  // segment with the connection's end; n > 0 closes it once the n-th frame
  // is read, before the frame is kept (a test that sees the frame knows the
  // end was sent).
  int close_after_frames = -1;
  bool reset = false;      // a close after n > 0 frames resets the connection instead
  std::string after_open;  // bytes sent unasked with every open answer
  int max_connections = 16;  // connections served; later ones are closed unserved
};

class FakeLogServer {
 public:
  using Options = FakeLogServerOptions;
  struct Open {
    std::string raw;  // header and body as received
    std::string path, filename, auth;
    int compress = 0;
    uint32_t handle = 0;
  };
  struct Item {
    uint32_t handle = 0, time = 0;
    std::string text;
  };
  struct Frame {
    std::string raw;
    comspace::loghead_t head;
    std::vector<Item> items;
  };

  // Listens on 127.0.0.1:port (0: a free port).
  explicit FakeLogServer(Options o = Options(), int port = 0) : opt_(o) {
    lfd_ = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(lfd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    if (opt_.rcvbuf > 0) setsockopt(lfd_, SOL_SOCKET, SO_RCVBUF, &opt_.rcvbuf, sizeof(opt_.rcvbuf));
    sockaddr_in a;
    memset(&a, 0, sizeof(a));
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t len = sizeof(a);
    if (bind(lfd_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || listen(lfd_, 8) != 0 ||
        getsockname(lfd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      close(lfd_);
      lfd_ = -1;
      return;
    }
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }
  ~FakeLogServer() { Stop(); }
  FakeLogServer(const FakeLogServer&) = delete;
  FakeLogServer& operator=(const FakeLogServer&) = delete;

  bool ok() const { return lfd_ >= 0; }
  int port() const { return port_; }

  void Stop() {
    stop_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    std::vector<std::thread> conns;
    {
      std::lock_guard<std::mutex> l(mu_);
      conns.swap(conns_);
    }
    for (auto& t : conns) t.join();
    if (lfd_ >= 0) close(lfd_);
    lfd_ = -1;
  }

  // Polls pred every 10 ms for at most ms; its last answer.
  static bool WaitFor(const std::function<bool()>& pred, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }

  std::vector<Open> opens() {
    std::lock_guard<std::mutex> l(mu_);
    return opens_;
  }
  std::vector<Frame> frames() {
    std::lock_guard<std::mutex> l(mu_);
    return frames_;
  }
  int connections() {
    std::lock_guard<std::mutex> l(mu_);
    return static_cast<int>(conns_.size());
  }
  // Connections whose serving has ended (the peer closed, or a bad frame).
  int ended() const { return ended_.load(); }
  // A server stalled after the opens reads again, up to the end of each
  // connection.
  void Resume() { resumed_ = true; }
  // The text of every item of a handle, split into lines (without '\n').
  std::vector<std::string> LinesOf(uint32_t handle) {
    return LinesWhere([handle](const Item& it) { return it.handle == handle; });
  }
  // The lines of every item received, in order.
  std::vector<std::string> AllLines() {
    return LinesWhere([](const Item&) { return true; });
  }

 private:
  std::vector<std::string> LinesWhere(const std::function<bool(const Item&)>& keep) {
    std::vector<std::string> out;
    for (const Frame& f : frames()) {
      for (const Item& it : f.items) {
        if (!keep(it)) continue;
        size_t start = 0;
        for (size_t nl; (nl = it.text.find('\n', start)) != std::string::npos; start = nl + 1) {
          out.push_back(it.text.substr(start, nl - start));
        }
      }
    }
    return out;
  }

  void AcceptLoop() {
    while (!stop_) {
      pollfd p = {lfd_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      int fd = accept(lfd_, nullptr, nullptr);
      if (fd < 0) continue;
      if (opt_.rcvbuf > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &opt_.rcvbuf, sizeof(opt_.rcvbuf));
      std::lock_guard<std::mutex> l(mu_);
      if (conns_.size() >= static_cast<size_t>(opt_.max_connections)) {  // bounded
        close(fd);
        continue;
      }
      conns_.emplace_back([this, fd] { Serve(fd); });
    }
  }

  bool ReadExact(int fd, char* buf, size_t n) { return testsupport::PollReadExact(fd, buf, n, stop_); }

  void Serve(int fd) {
    uint32_t next_handle = 7;
    bool opened = false;
    int data_frames = 0;
    for (;;) {
      if (!opt_.read_opens || (opened && !opt_.read_data)) {
        while (!stop_ && !(opt_.read_opens && resumed_)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (stop_) break;
      }
      comspace::loghead_t head;
      if (!ReadExact(fd, reinterpret_cast<char*>(&head), sizeof(head))) break;
      if (head.body_len > (64u << 20)) break;
      std::string body(head.body_len, '\0');
      if (!ReadExact(fd, &body[0], body.size())) break;
      std::string raw(reinterpret_cast<char*>(&head), sizeof(head));
      raw += body;
      if (head.log_id == comspace::LOGHEAD_OPEN_LOGID && head.reserved == comspace::LOGHEAD_OPEN_RESERVED &&
          body.size() == sizeof(comspace::logsvr_req_t)) {
        comspace::logsvr_req_t req;
        memcpy(&req, body.data(), sizeof(req));
        Open o;
        o.raw = raw;
        o.path.assign(req.path, strnlen(req.path, sizeof(req.path)));
        o.filename.assign(req.filename, strnlen(req.filename, sizeof(req.filename)));
        o.auth.assign(req.auth, strnlen(req.auth, sizeof(req.auth)));
        o.compress = req.compress;
        o.handle = next_handle++;
        if (opt_.open_delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(opt_.open_delay_ms));
        struct {
          comspace::loghead_t head;
          comspace::logsvr_res_t res;
        } answer;
        memset(&answer, 0, sizeof(answer));
        answer.head.magic_num = LOGHEAD_MAGICNUM;
        answer.head.body_len = opt_.answer_body_len;
        answer.res.error_code = opt_.open_error;
        answer.res.handle = o.handle;
        {
          std::lock_guard<std::mutex> l(mu_);
          opens_.push_back(o);
        }
        const size_t answer_len = sizeof(answer.head) + std::min<size_t>(opt_.answer_body_len, sizeof(answer.res));
        std::string out(reinterpret_cast<const char*>(&answer), answer_len);
        out += opt_.after_open;
        // Held back until the end is sent too, so that both arrive at once.
        const int cork = opt_.close_after_frames == 0 ? 1 : 0;
        if (cork) setsockopt(fd, IPPROTO_TCP, TCP_CORK, &cork, sizeof(cork));
        if (write(fd, out.data(), out.size()) != static_cast<ssize_t>(out.size())) break;
        if (cork) {
          shutdown(fd, SHUT_WR);
          break;
        }
        opened = true;
        continue;
      }
      Frame f;
      f.raw = raw;
      f.head = head;
      for (size_t off = 0; off + sizeof(comspace::logitem_t) <= body.size();) {
        comspace::logitem_t it;
        memcpy(&it, body.data() + off, sizeof(it));
        off += sizeof(it);
        Item item;
        item.handle = it.handle;
        item.time = it.time;
        item.text = body.substr(off, it.size);
        off += it.size;
        f.items.push_back(item);
      }
      const bool last = ++data_frames == opt_.close_after_frames;
      if (last) {
        if (opt_.reset) {
          linger l = {1, 0};
          setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof(l));
        }
        close(fd);
        fd = -1;
      }
      {
        std::lock_guard<std::mutex> l(mu_);
        frames_.push_back(f);
      }
      if (last) break;
    }
    if (fd >= 0) close(fd);
    ++ended_;
  }

  Options opt_;
  int lfd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> resumed_{false};
  std::atomic<int> ended_{0};
  std::thread acceptor_;
  std::mutex mu_;
  std::vector<std::thread> conns_;
  std::vector<Open> opens_;
  std::vector<Frame> frames_;
};

}  // namespace comlogtest

#endif  // UL_TEST_COMLOG_NET_SERVER_H_
