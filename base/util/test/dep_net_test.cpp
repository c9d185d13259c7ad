#include "dep_net.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/un.h>

#include <cstring>
#include <string>
#include <vector>

#include "net_fixtures.h"
#include "support/support.h"

namespace {

using nettest::IsOpen;
using nettest::UniqueFd;
using testsupport::CaptureFd;

bool Has(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

TEST(DepNet, EveryReadOfTheOlderExactReadWaitsTheWholeTimeOut) {
  // Sixteen bytes 40 ms apart under a 400 ms time-out: each read waits a
  // tenth of it, the whole read more than all of it.
  char buf[16];
  nettest::Pair p = nettest::UnixPair();
  {
    nettest::Sender s(p.b.get(), std::vector<std::string>(16, "x"), 40);
    EXPECT_EQ(ul_sreado_ms(p.a.get(), buf, 16, 400), 16);
  }
  // A read that times out loses what it took; the next reads on from there.
  nettest::Pair q = nettest::UnixPair();
  EXPECT_EQ(ul_sreado_ex(q.a.get(), buf, 3, 0), -1);  // 0 s: only what is there
  ASSERT_EQ(write(q.b.get(), "a", 1), 1);
  EXPECT_EQ(ul_sreado_ms_ex(q.a.get(), buf, 3, 150), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  nettest::Sender s(q.b.get(), {"b", "c"}, 80, true);
  EXPECT_EQ(ul_sreado(q.a.get(), buf, 3, 1), 2);  // what is left, then the end
  EXPECT_EQ(std::string(buf, 2), "bc");
}

TEST(DepNet, BlockingTransfersAndTheirFailures) {
  nettest::Pair p = nettest::UnixPair();
  char buf[8];
  ASSERT_EQ(write(p.b.get(), "hello", 5), 5);
  shutdown(p.b.get(), SHUT_WR);
  EXPECT_EQ(ul_sread(p.a.get(), buf, sizeof(buf)), 5);
  EXPECT_EQ(ul_swrite(p.b.get(), "x", 0), 0);
  p.a.Close();
  CaptureFd err(2);
  EXPECT_EQ(ul_sread(-1, buf, 1), -1);
  EXPECT_EQ(ul_swrite(p.b.get(), "xyz", 3), -1);  // the peer is gone
  const std::string log = err.Stop();
  EXPECT_TRUE(Has(log, "read from socket(-1,1) failed.error[9] info is Bad file descriptor.")) << log;
  EXPECT_TRUE(Has(log, "write to socket(" + std::to_string(p.b.get()) + ",3) failed.error[32]"));
}

TEST(DepNet, WaitingWritesAnswerZeroOnTimeOut) {
  nettest::Pair p = nettest::UnixPair();
  nettest::SmallBuffers(p.a.get(), p.b.get());
  EXPECT_EQ(ul_swriteo_ms(p.a.get(), "abc", 3, 100), 3);
  EXPECT_EQ(ul_writeo(p.a.get(), "abc", 3, 1), 3);
  const std::string fill(1 << 20, 'f');
  ul_swriteo_ms_ex(p.a.get(), fill.data(), fill.size(), 50);  // fills the buffers
  EXPECT_EQ(ul_swriteo_ms(p.a.get(), "abc", 3, 50), 0);
  EXPECT_EQ(ul_writeo_ms(p.a.get(), "abc", 3, 50), 0);
  EXPECT_EQ(ul_swriteable(p.a.get(), 0), 0);
  EXPECT_EQ(ul_sreadable(p.b.get(), 0), 1);
}

TEST(DepNet, ConnectCloseRules) {
  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  strcpy(un.sun_path, "/nonexistent/sock");
  auto* sa = reinterpret_cast<sockaddr*>(&un);
  CaptureFd err(2);
  int s = socket(AF_UNIX, SOCK_STREAM, 0);
  EXPECT_EQ(ul_connecto(s, sa, sizeof(un), 1), -1);  // refused at once: kept
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(IsOpen(s));
  EXPECT_EQ(ul_connecto_sclose(s, sa, sizeof(un), -3), -1);
  EXPECT_FALSE(IsOpen(s));

  UniqueFd bound(socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in any = nettest::Loopback(0);
  bind(bound.get(), reinterpret_cast<sockaddr*>(&any), sizeof(any));
  const int closed_port = nettest::LocalPort(bound.get());
  sockaddr_in to = nettest::Loopback(closed_port);
  s = socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_EQ(ul_connecto(s, reinterpret_cast<sockaddr*>(&to), sizeof(to), 2), -1);
  EXPECT_EQ(errno, ECONNREFUSED);
  EXPECT_FALSE(IsOpen(s));  // refused while pending: closed
  EXPECT_EQ(ul_tcpconnecto("127.0.0.1", closed_port, 1), -1);
  EXPECT_EQ(ul_tcpconnect("127.0.0.1", closed_port), -1);
  err.Stop();

  nettest::Listener l;
  for (const char* host : {"127.0.0.1", "localhost"}) {
    EXPECT_TRUE(UniqueFd(ul_tcpconnecto(host, l.port, 1)).ok()) << host;
    EXPECT_TRUE(UniqueFd(ul_tcpconnect(host, l.port)).ok()) << host;
  }
  sockaddr_in in{};
  EXPECT_EQ(ul_gethostipbyname("localhost", &in), 0);
  EXPECT_EQ(in.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(ul_gethostipbyname("", &in), -1);
}

TEST(DepNet, AFailedLookUpIsFatal) {
  // In a network namespace of its own no name query can leave the machine.
  const int status = testsupport::RunInChild([] {
    if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) return 77;
    CaptureFd err(2);
    const int r = ul_tcpconnecto("no-such-host.invalid", 80, 1);
    const std::string log = err.Stop();
    const bool others = ul_tcpconnect("no-such-host.invalid", 80) == -1 &&
                        ul_tcpconnecto_ms("no-such-host.invalid", 80, 100) == -1;
    return r == -1 && others && Has(log, "FATAL: ") && Has(log, "getaddrinfo: ") ? 0 : 1;
  });
  if (status == 77) GTEST_SKIP() << "no network namespace";
  EXPECT_EQ(status, 0);
}

TEST(DepNet, ByteReaderRefillsFromTheSocket) {
  nettest::Pair p = nettest::UnixPair();
  Rline rl = {};
  char c = 0;
  ASSERT_EQ(write(p.b.get(), "xy", 2), 2);
  EXPECT_EQ(ul_myread(p.a.get(), &c, &rl, 0), 1);  // plain blocking refill
  EXPECT_EQ(c, 'x');
  EXPECT_EQ(rl.rl_cnt, 1);
  EXPECT_EQ(ul_myread(p.a.get(), &c, &rl, 1), 1);
  EXPECT_EQ(c, 'y');
  ASSERT_EQ(write(p.b.get(), "z", 1), 1);
  EXPECT_EQ(ul_myread(p.a.get(), &c, &rl, 1), 1);  // refill with a wait
  EXPECT_EQ(c, 'z');
  shutdown(p.b.get(), SHUT_WR);
  EXPECT_EQ(ul_myread(p.a.get(), &c, &rl, 1), 0);
}

}  // namespace
