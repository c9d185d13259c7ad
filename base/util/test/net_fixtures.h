// Loopback fixtures for the socket and package tests: connected pairs, a
// TCP listener on 127.0.0.1, a connection left pending, a peer that sends on
// a schedule, and a stopwatch. Everything is bounded in time and count.
#ifndef UL_TEST_NET_FIXTURES_H_
#define UL_TEST_NET_FIXTURES_H_

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "toolkit/file.h"
#include "ul_net.h"

namespace nettest {

using toolkit::UniqueFd;

// Writers to a closed peer get EPIPE instead of ending the test program.
inline const bool kIgnoreSigpipe = (signal(SIGPIPE, SIG_IGN), true);

struct Pair {
  UniqueFd a;
  UniqueFd b;
};

inline Pair UnixPair() {
  int fds[2] = {-1, -1};
  socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
  return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

inline sockaddr_in Loopback(int port, const char* ip = "127.0.0.1") {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, ip, &in.sin_addr);
  return in;
}

inline int LocalPort(int fd) {
  sockaddr_storage ss{};
  socklen_t len = sizeof(ss);
  getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len);
  if (ss.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
  return ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
}

// A listening TCP socket on 127.0.0.1 with an ephemeral port.
struct Listener {
  UniqueFd fd;
  int port = 0;
  explicit Listener(int backlog = 16) {
    fd = UniqueFd(socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in in = Loopback(0);
    bind(fd.get(), reinterpret_cast<sockaddr*>(&in), sizeof(in));
    listen(fd.get(), backlog);
    port = LocalPort(fd.get());
  }
  sockaddr_in addr() const { return Loopback(port); }
};

// A connected TCP pair over 127.0.0.1 (a: client, b: server side).
inline Pair TcpPair() {
  Listener l;
  UniqueFd c(socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in in = l.addr();
  connect(c.get(), reinterpret_cast<sockaddr*>(&in), sizeof(in));
  return {std::move(c), UniqueFd(accept(l.fd.get(), nullptr, nullptr))};
}

// A TCP client socket bound to ip (any 127.0.0.0/8 address) connected to port.
inline UniqueFd ClientFrom(const char* ip, int port) {
  UniqueFd c(socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in from = Loopback(0, ip);
  bind(c.get(), reinterpret_cast<sockaddr*>(&from), sizeof(from));
  sockaddr_in to = Loopback(port);
  connect(c.get(), reinterpret_cast<sockaddr*>(&to), sizeof(to));
  return c;
}

inline bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

inline bool Blocking(int fd) { return (fcntl(fd, F_GETFL) & O_NONBLOCK) == 0; }

// Shrinks both buffers so that a writer fills them quickly.
inline void SmallBuffers(int writer, int reader) {
  int small = 4096;
  setsockopt(writer, SOL_SOCKET, SO_SNDBUF, &small, sizeof(small));
  setsockopt(reader, SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
}

// Waits (at most 5 s) until fd's receive queue holds n bytes: loopback TCP
// may hand written bytes over to the peer after the write returns.
inline bool WaitQueued(int fd, int n) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    int queued = 0;
    if (ioctl(fd, FIONREAD, &queued) == 0 && queued >= n) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

class Stopwatch {
 public:
  long ms() const {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start_)
                                 .count());
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Sends each piece after a pause, then optionally closes its end; joined at
// scope end.
class Sender {
 public:
  Sender(int fd, std::vector<std::string> pieces, int pause_ms, bool close_after = false)
      : thread_([=] {
          for (const std::string& p : pieces) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
            if (write(fd, p.data(), p.size()) < 0) return;
          }
          if (close_after) shutdown(fd, SHUT_WR);
        }) {}
  ~Sender() { thread_.join(); }

 private:
  std::thread thread_;
};

}  // namespace nettest

#endif  // UL_TEST_NET_FIXTURES_H_
