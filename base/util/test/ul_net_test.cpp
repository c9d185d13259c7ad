#include "ul_net.h"

#include <gtest/gtest.h>
#include <sys/time.h>
#include <sys/un.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "dep_net.h"
#include "net_fixtures.h"
#include "support/support.h"

namespace {

using nettest::IsOpen;
using nettest::Stopwatch;
using nettest::UniqueFd;
using testsupport::CaptureFd;

bool Has(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

sockaddr* Sa(sockaddr_in* in) { return reinterpret_cast<sockaddr*>(in); }

// ---------------------------------------------------------------------------
// Time budgets, small helpers

TEST(UlNet, TimeBudgets) {
  timeval tv;
  cnvt_ms_timeval(1500, &tv);
  EXPECT_EQ(tv.tv_sec, 1);
  EXPECT_EQ(tv.tv_usec, 500000);
  EXPECT_EQ(cnvt_timeval_ms(nullptr), -1);
  tv = {2, 999999};
  EXPECT_EQ(cnvt_timeval_ms(&tv), 2999);
  const timeval before = {10, 900000}, after = {11, 100000};  // 200 ms
  tv = {1, 0};
  ul_sub_timeval(&tv, &before, &after);
  EXPECT_EQ(tv.tv_sec, 0);
  EXPECT_EQ(tv.tv_usec, 800000);
  tv = {0, 100000};
  ul_sub_timeval(&tv, &before, &after);
  EXPECT_EQ(tv.tv_sec, 0);
  EXPECT_EQ(tv.tv_usec, 0);
}

TEST(UlNet, AddressesSocketsAndLookUps) {
  sockaddr_in in;
  EXPECT_EQ(ul_fillsa4(&in, "10.1.2.3", 80), 0);
  EXPECT_EQ(in.sin_port, htons(80));
  EXPECT_EQ(in.sin_addr.s_addr, inet_addr("10.1.2.3"));
  EXPECT_EQ(ul_fillsa4(&in, nullptr, 65535), 0);
  EXPECT_EQ(in.sin_port, htons(65535));
  EXPECT_EQ(in.sin_addr.s_addr, htonl(INADDR_ANY));
  EXPECT_EQ(ul_fillsa4(&in, "no.such", 1), -1);
  EXPECT_EQ(ul_fillsa4(&in, "255.255.255.255", 1), -1);
  EXPECT_EQ(ul_gethostbyteorder(), 1234);

  nettest::Pair p = nettest::UnixPair();
  int pipefd[2];
  ASSERT_EQ(pipe(pipefd), 0);
  EXPECT_EQ(ul_issocket(p.a.get()), 1);
  EXPECT_EQ(ul_issocket(pipefd[0]), 0);
  close(pipefd[0]);
  close(pipefd[1]);
  EXPECT_EQ(ul_issocket(-1), -1);

  char text[46] = "";
  EXPECT_EQ(ul_gethostipbyname_r("localhost", nullptr, 0, text), 0);
  EXPECT_STREQ(text, "127.0.0.1");
  EXPECT_EQ(ul_gethostipbyname_r("localhost", &in, 1, nullptr), 0);
  EXPECT_EQ(in.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  sip_group sip;
  memset(&sip, 0xff, sizeof(sip));
  EXPECT_EQ(ul_gethostallipbyname_r("localhost", &in, 1, nullptr, &sip), 0);
  EXPECT_EQ(sip.addrtype, AF_INET);
  EXPECT_EQ(sip.ip[0], htonl(INADDR_LOOPBACK));
  EXPECT_EQ(sip.ip[9], 0u);
  EXPECT_EQ(ul_gethostipbyname_r("", &in, 1, nullptr), -1);
  EXPECT_EQ(ul_gethostipbyname_r(nullptr, &in, 1, nullptr), -1);

  int port = 0;
  if (testsupport::FileExists("/etc/services")) {
    EXPECT_EQ(ul_getportbyserv("http", "tcp", &port), htons(80));
    EXPECT_EQ(port, htons(80));
    EXPECT_EQ(ul_getportbyserv("no-such-service", "tcp", &port), -1);
  }
  EXPECT_EQ(ul_getportbyserv("", "tcp", &port), -1);
  EXPECT_EQ(ul_getportbyserv("http", nullptr, &port), -1);
}

TEST(UlNet, WrappersLogTheCallTheErrorAndItsText) {
  nettest::Listener used;
  UniqueFd s(socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in to = used.addr();
  CaptureFd err(2);
  EXPECT_EQ(ul_listen(-1, 5), -1);
  EXPECT_EQ(errno, EBADF);
  sockaddr_storage peer;
  socklen_t peer_len = sizeof(peer);
  EXPECT_EQ(ul_getpeername(s.get(), reinterpret_cast<sockaddr*>(&peer), &peer_len), -1);
  EXPECT_EQ(ul_bind(s.get(), Sa(&to), sizeof(to)), -1);
  char host[256];
  EXPECT_EQ(ul_gethostname(host, sizeof(host)), 0);  // success: no line
  char c;
  EXPECT_EQ(ul_recv(-1, &c, 1, 0), -1);
  EXPECT_EQ(ul_send(-1, &c, 1, 0), -1);
  EXPECT_EQ(ul_shutdown(-1, SHUT_RD), -1);
  EXPECT_EQ(ul_socket(-1, SOCK_STREAM, 0), -1);
  const std::string log = err.Stop();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 8) << log;
  for (const char* line : {"recv(-1,1,0) call failed.error[9]", "send(-1,1,0) call failed.error[9]",
                           "shutdown(-1,0) call failed.error[9]",
                           "socket(-1,1,0) call failed.error[97] info is Address family not supported"}) {
    EXPECT_TRUE(Has(log, line)) << line;
  }
  EXPECT_TRUE(Has(log, "listen(-1,5) call failed.error[9] info is Bad file descriptor.\n")) << log;
  // Its text ends in ".\n", so the line has an empty one after it.
  EXPECT_TRUE(Has(log, "getpeername(" + std::to_string(s.get()) +
                           ") call failed.error[107] info is Transport endpoint is not connected.\n\n"));
  EXPECT_TRUE(Has(log, "bind(" + std::to_string(s.get()) + ",<2," + std::to_string(htons(used.port)) +
                           "," + std::to_string(inet_addr("127.0.0.1")) +
                           ">,16) call failed.error[98] info is Address already in use."));
}

TEST(UlNet, SocketOptions) {
  nettest::Pair p = nettest::TcpPair();
  int v = 1;
  EXPECT_EQ(ul_opsockopt_keepalive(0, &v, 0), -1);
  EXPECT_EQ(ul_opsockopt_keepalive(p.a.get(), &v, 2), -1);
  EXPECT_EQ(ul_opsockopt_keepalive(p.a.get(), nullptr, 0), -1);
  EXPECT_EQ(ul_opsockopt_keepalive(p.a.get(), &v, 0), 0);
  v = 0;
  EXPECT_EQ(ul_opsockopt_keepalive(p.a.get(), &v, 1), 0);
  EXPECT_EQ(v, 1);
  timeval tv = {3, 0}, got = {0, 0};
  EXPECT_EQ(ul_opsockopt_rcvtimeo(p.a.get(), &tv, 0), 0);
  EXPECT_EQ(ul_opsockopt_rcvtimeo(p.a.get(), &got, 1), 0);
  EXPECT_EQ(got.tv_sec, 3);
}

// ---------------------------------------------------------------------------
// Access list

TEST(UlNet, AccessListPatterns) {
  const std::string pad_255 = "127.0.0." + std::string(246, '0') + "1";
  struct Row {
    const char* ip;
    std::string pattern;
    int allowed;
  } rows[] = {
      {"192.168.1.77", "127.0.0.1;192.168.1.*", 1},
      {"192.168.10.1", "192.168.1.*", 0},  // not a text prefix
      {"192.168.2.1", "127.0.0.1;192.168.1.*", 0},
      {"10.2.9.9", "10.0-3.*.*", 1},
      {"10.0.9.9", "10.0-3.*.*", 1},
      {"10.3.9.9", "10.0-3.*.*", 1},
      {"10.4.0.1", "10.0-3.*.*", 0},
      {"1.2.3.4", "1.2.3", 0},  // three parts admit nothing
      {"1.2.3.4", "1.2.3.x", 0},
      {"1.2.3.4", "1.2.3.4-", 0},
      {"1.2.3.4", "", 1},
      {"127.0.0.1", "9.9.9.9;127.0.0.1", 1},
      {"127.0.0.1", "9.9.9.9; 127.0.0.1", 1},
      {"127.0.0.1", pad_255, 1},             // a pattern of 255 bytes is tried
      {"127.0.0.1", pad_255 + "0", 0},       // one of 256 is skipped
      {"::1", "127.0.0.1;*.*.*.*", 0},
      {"", "*.*.*.*", 0},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(is_ip_allowed(r.ip, r.pattern.c_str()), r.allowed) << r.ip << " / " << r.pattern;
  }
  EXPECT_EQ(pad_255.size(), 255u);
  EXPECT_EQ(is_in_subnet("1.2.3", "1.2.3.4"), -1);
  EXPECT_EQ(is_onepart_fit("5", "4-6"), 1);
  EXPECT_EQ(is_onepart_fit("7.1", "4-6.1"), 0);
  EXPECT_EQ(is_onepart_fit("x", "5"), -1);
  EXPECT_EQ(is_onepart_fit("99999999", "0-99999999"), 1);  // the largest part number
  EXPECT_EQ(is_onepart_fit("5", "0-100000000"), -1);
}

TEST(UlNet, ReadsTheAccessListFromAConfigurationOrSetsTheDefault) {
  Ul_confdata* conf = ul_initconf(1);
  conf->num = 1;
  strcpy(conf->item[0].name, "ip-access-grant");
  for (size_t len : {256u, 257u}) {
    snprintf(conf->item[0].value, sizeof(conf->item[0].value), "%s", std::string(len, '1').c_str());
    EXPECT_EQ(ul_read_ipaccess_grant(conf), 0);
    EXPECT_EQ(strlen(ul_ipaccess_grant), 256u);
  }
  conf->item[0].value[0] = '\0';
  EXPECT_EQ(ul_read_ipaccess_grant(conf), 0);
  EXPECT_STREQ(ul_ipaccess_grant, "127.0.0.1;192.168.1.*");
  strcpy(conf->item[0].value, "10.0.0.1");
  ul_read_ipaccess_grant(conf);
  EXPECT_STREQ(ul_ipaccess_grant, "10.0.0.1");
  EXPECT_EQ(ul_read_ipaccess_grant(nullptr), 0);
  EXPECT_STREQ(ul_ipaccess_grant, "127.0.0.1;192.168.1.*");
  ul_freeconf(conf);
  ul_ipaccess_grant[0] = '\0';
}

// Accepts one client connected from `from` (or over IPv6 ::1 when from is
// NULL) with the given list; returns whether it was admitted and the log.
std::pair<bool, std::string> AcceptFrom(int listen_fd, const char* from, const char* list) {
  snprintf(ul_ipaccess_grant, sizeof(ul_ipaccess_grant), "%s", list);
  const int port = nettest::LocalPort(listen_fd);
  UniqueFd client;
  if (from != nullptr) {
    client = nettest::ClientFrom(from, port);
  } else {
    client = UniqueFd(socket(AF_INET6, SOCK_STREAM, 0));
    sockaddr_in6 in6{};
    in6.sin6_family = AF_INET6;
    in6.sin6_addr = in6addr_loopback;
    in6.sin6_port = htons(static_cast<uint16_t>(port));
    connect(client.get(), reinterpret_cast<sockaddr*>(&in6), sizeof(in6));
  }
  CaptureFd err(2);
  UniqueFd got(ul_accept(listen_fd, nullptr, nullptr));
  ul_ipaccess_grant[0] = '\0';
  return {got.ok(), err.Stop()};
}

TEST(UlNet, AcceptAdmitsAndRefusesByTheList) {
  UniqueFd l(ul_tcplisten(0, 0));
  ASSERT_TRUE(l.ok());
  const std::string port = std::to_string(nettest::LocalPort(l.get()));
  EXPECT_TRUE(AcceptFrom(l.get(), "127.0.0.2", "").first);
  EXPECT_TRUE(AcceptFrom(l.get(), "127.0.0.1", "127.0.0.1").first);
  EXPECT_TRUE(AcceptFrom(l.get(), "127.0.0.2", "127.0.0.1-2").first);
  auto refused = AcceptFrom(l.get(), "127.0.0.2", "127.0.0.1");
  EXPECT_FALSE(refused.first);
  EXPECT_TRUE(Has(refused.second, "When server listened on port " + port +
                                      " a client from ip 127.0.0.2 try to connect."))
      << refused.second;
}

TEST(UlNet, AnIPv6ListenerMatchesIPv4ClientsByTheirAddressAndRefusesIPv6Ones) {
  UniqueFd l(ul_tcplisten(0, 5, 1));
  if (!l.ok()) GTEST_SKIP() << "no IPv6 on this machine";
  EXPECT_TRUE(AcceptFrom(l.get(), "127.0.0.1", "127.0.0.1").first);
  EXPECT_FALSE(AcceptFrom(l.get(), "127.0.0.2", "127.0.0.1").first);
  auto v6 = AcceptFrom(l.get(), nullptr, "127.0.0.1;*.*.*.*");
  EXPECT_FALSE(v6.first);
  EXPECT_TRUE(Has(v6.second, "a client from ip ::1 try")) << v6.second;
  EXPECT_TRUE(AcceptFrom(l.get(), nullptr, "").first);
}

TEST(UlNet, LocalDomainSockets) {
  testsupport::TempDir dir;
  const std::string path = dir.file("sock");
  testsupport::WriteFile(path, "left over");
  UniqueFd l(ul_tcpdomainlisten(path.c_str(), 0));
  ASSERT_TRUE(l.ok());
  UniqueFd c(ul_tcpdomainconnect(path.c_str()));
  EXPECT_TRUE(c.ok());
  snprintf(ul_ipaccess_grant, sizeof(ul_ipaccess_grant), "*.*.*.*");
  CaptureFd err(2);
  EXPECT_EQ(ul_accept(l.get(), nullptr, nullptr), -1);  // no IPv4 address to match
  err.Stop();
  ul_ipaccess_grant[0] = '\0';
  EXPECT_EQ(ul_tcpdomainlisten(nullptr, 5), -1);
  EXPECT_EQ(ul_tcpdomainlisten("", 5), -1);
  // The longest path an address holds is 107 bytes.
  const size_t room = sizeof(sockaddr_un::sun_path) - 1;
  std::string longest = dir.path() + "/";
  if (longest.size() >= room) GTEST_SKIP() << "temporary folder name too long";
  longest += std::string(room - longest.size(), 'p');
  UniqueFd l2(ul_tcpdomainlisten(longest.c_str(), 5));
  EXPECT_TRUE(l2.ok());
  EXPECT_TRUE(UniqueFd(ul_tcpdomainconnect(longest.c_str())).ok());
  const std::string too_long = longest + "p";
  EXPECT_EQ(ul_tcpdomainlisten(too_long.c_str(), 5), -1);
  EXPECT_EQ(ul_tcpdomainconnect(too_long.c_str()), -1);
}

// ---------------------------------------------------------------------------
// Connecting with a time-out

TEST(UlNet, ConnectToAListenerThatNeverAcceptsTimesOutAndCloses) {
  nettest::Listener l(1);
  sockaddr_in to = l.addr();
  std::vector<UniqueFd> filled;  // connects the backlog took
  bool timed_out = false;
  for (int i = 0; i < 8 && !timed_out; ++i) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    Stopwatch w;
    if (ul_connecto_ms_ex(s, Sa(&to), sizeof(to), 150) == 0) {
      EXPECT_TRUE(nettest::Blocking(s));
      filled.emplace_back(s);
      continue;
    }
    timed_out = true;
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_GE(w.ms(), 140);
    EXPECT_LT(w.ms(), 1500);
    EXPECT_FALSE(IsOpen(s));  // closed although isclose was 0
  }
  ASSERT_TRUE(timed_out) << "every connect completed";
  // Without a limit the connect waits until the listener goes away and the
  // refusal arrives through SO_ERROR.
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  std::thread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    l.fd.Close();
  });
  EXPECT_EQ(ul_connecto_ms_ex(s, Sa(&to), sizeof(to), 0), -1);
  EXPECT_EQ(errno, ECONNREFUSED);
  EXPECT_FALSE(IsOpen(s));
  closer.join();
}

TEST(UlNet, RefusedConnectionsCloseBySoErrorOrKeepTheSocketOnImmediateFailure) {
  // A bound port that does not listen: the refusal comes through SO_ERROR.
  UniqueFd bound(socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in any = nettest::Loopback(0);
  bind(bound.get(), Sa(&any), sizeof(any));
  sockaddr_in to = nettest::Loopback(nettest::LocalPort(bound.get()));
  int s = socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_EQ(ul_connecto_ms_ex(s, Sa(&to), sizeof(to), 1000), -1);
  EXPECT_EQ(errno, ECONNREFUSED);
  EXPECT_FALSE(IsOpen(s));
  EXPECT_EQ(ul_tcpconnecto_ms("127.0.0.1", nettest::LocalPort(bound.get()), 1000), -1);

  // A local-domain connect to a missing path fails at once.
  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  strcpy(un.sun_path, "/nonexistent/sock");
  auto* sa = reinterpret_cast<sockaddr*>(&un);
  s = socket(AF_UNIX, SOCK_STREAM, 0);
  CaptureFd err(2);
  EXPECT_EQ(ul_connecto_ms_ex(s, sa, sizeof(un), 0), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(IsOpen(s));
  EXPECT_TRUE(nettest::Blocking(s));
  EXPECT_EQ(ul_connecto_sclose_ms(s, sa, sizeof(un), 100), -1);
  EXPECT_FALSE(IsOpen(s));
  EXPECT_TRUE(Has(err.Stop(), "connect(" + std::to_string(s) + ",<1,"));
  EXPECT_EQ(ul_xconnecto_tv(0, sa, sizeof(un), nullptr, 1), -1);
}

TEST(UlNet, ConnectsByAddressAndByName) {
  nettest::Listener l;
  for (const char* host : {"127.0.0.1", "localhost"}) {
    UniqueFd c(ul_tcpconnecto_ms(host, l.port, 1000));
    ASSERT_TRUE(c.ok()) << host;
    EXPECT_TRUE(nettest::Blocking(c.get()));
    UniqueFd served(accept(l.fd.get(), nullptr, nullptr));
    EXPECT_TRUE(served.ok());
  }
  sockaddr_in to = l.addr();
  UniqueFd c(ul_tcpconnect2(&to));
  EXPECT_TRUE(c.ok());
}

// ---------------------------------------------------------------------------
// Waiting and single transfers

TEST(UlNet, WaitsTimeOutAndSpendTheBudget) {
  nettest::Pair p = nettest::UnixPair();
  char c;
  EXPECT_EQ(ul_sreadable_ms(p.a.get(), 30), 0);
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_GT(ul_swriteable_ms(p.a.get(), 30), 0);
  timeval tv = {0, 60000};
  EXPECT_EQ(ul_reado_tv(p.a.get(), &c, 1, &tv), -2);
  EXPECT_EQ(tv.tv_sec, 0);
  EXPECT_EQ(tv.tv_usec, 0);
  EXPECT_EQ(ul_reado_ms(p.a.get(), &c, 1, 0), -2);
  ASSERT_EQ(write(p.b.get(), "x", 1), 1);
  EXPECT_EQ(ul_reado_ms(p.a.get(), &c, 1, 30), 1);
  EXPECT_EQ(ul_reado_ms(1000, &c, 1, 30), -1);  // not open: ready at once, the read fails
  EXPECT_EQ(errno, EBADF);
  timeval select_tv = {0, 20000};
  EXPECT_EQ(ul_select(0, nullptr, nullptr, nullptr, &select_tv), 0);
  EXPECT_EQ(errno, ETIMEDOUT);
}

TEST(UlNet, PollResumesAfterSignalsWithTheTimeLeft) {
  struct sigaction sa = {}, old;
  sa.sa_handler = [](int) {};
  sigaction(SIGALRM, &sa, &old);  // no SA_RESTART: poll fails with EINTR
  itimerval every = {{0, 30000}, {0, 30000}}, off = {};
  setitimer(ITIMER_REAL, &every, nullptr);
  nettest::Pair p = nettest::UnixPair();
  pollfd pf = {p.a.get(), POLLIN, 0};
  Stopwatch w;
  EXPECT_EQ(ul_poll(&pf, 1, 150), 0);  // a poll restarted in full never ends
  EXPECT_EQ(errno, ETIMEDOUT);
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &old, nullptr);
  EXPECT_GE(w.ms(), 140);
  EXPECT_LT(w.ms(), 1000);
}

// ---------------------------------------------------------------------------
// Exact-length transfers

TEST(UlNet, ExactReadReturnsWhatArrivedBeforeTheEndOrTimesOut) {
  nettest::Pair p = nettest::TcpPair();
  char buf[10];
  {
    Stopwatch w;
    EXPECT_EQ(ul_sreado_ms_ex(p.a.get(), buf, sizeof(buf), 100), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_GE(w.ms(), 90);
  }
  nettest::Sender s(p.b.get(), {"abc", "de"}, 20, true);
  EXPECT_EQ(ul_sreado_ms_ex(p.a.get(), buf, sizeof(buf), 1000), 5);
  EXPECT_EQ(std::string(buf, 5), "abcde");
}

TEST(UlNet, ExactWriteTimesOutAndLeavesABlockingSocketBlocking) {
  nettest::Pair p = nettest::UnixPair();
  nettest::SmallBuffers(p.a.get(), p.b.get());
  const std::string big(4 << 20, 'x');
  Stopwatch w;
  EXPECT_EQ(ul_swriteo_ms_ex(p.a.get(), big.data(), big.size(), 100), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_LT(w.ms(), 1000);
  EXPECT_TRUE(nettest::Blocking(p.a.get()));
  EXPECT_EQ(ul_swriteo_ms_ex(p.a.get(), "x", 1, 0), -1);  // 0: no wait at all
  EXPECT_EQ(errno, ETIMEDOUT);

  nettest::Pair q = nettest::UnixPair();
  const std::string data(256 << 10, 'y');
  std::string got;
  std::thread reader([&] {
    char buf[4096];
    ssize_t n;
    while ((n = read(q.b.get(), buf, sizeof(buf))) > 0) got.append(buf, static_cast<size_t>(n));
  });
  EXPECT_EQ(ul_swriteo_ms_ex(q.a.get(), data.data(), data.size(), 2000),
            static_cast<ssize_t>(data.size()));
  EXPECT_TRUE(nettest::Blocking(q.a.get()));
  shutdown(q.a.get(), SHUT_WR);
  reader.join();
  EXPECT_EQ(got, data);
}

// ---------------------------------------------------------------------------
// Line readers

struct LineReader {
  const char* name;
  std::function<ssize_t(int, char*, size_t, Rline*)> read;
};

const LineReader kLineReaders[] = {
    {"ul_readlineo_ms", [](int fd, char* b, size_t n, Rline*) { return ul_readlineo_ms(fd, b, n, 500); }},
    {"ul_readlineo", [](int fd, char* b, size_t n, Rline*) { return ul_readlineo(fd, b, n, 1); }},
    {"ul_readline_speedo_ms_ex",
     [](int fd, char* b, size_t n, Rline* r) { return ul_readline_speedo_ms_ex(fd, b, n, r, 500); }},
    {"ul_readline", [](int fd, char* b, size_t n, Rline*) { return ul_readline(fd, b, n); }},
    {"ul_readline_speed", [](int fd, char* b, size_t n, Rline* r) { return ul_readline_speed(fd, b, n, r); }},
    {"ul_readline_speedo",
     [](int fd, char* b, size_t n, Rline* r) { return ul_readline_speedo(fd, b, n, r, -5); }},
};

TEST(UlNet, LineReadersStopAtNewlineLimitOrEndAndCountAlike) {
  struct Row {
    std::string input;  // followed by the end of the stream
    size_t maxlen;
    ssize_t result;
    std::string line;
  } rows[] = {
      {"ab\n", 10, 3, "ab\n"}, {"ab", 10, 3, "ab"},  {"abcd\n", 3, 3, "ab"},
      {"abc\n", 4, 4, "abc"},  {"abc\n", 5, 4, "abc\n"}, {"", 10, 0, ""},
      {"x\n", 1, 1, ""},
  };
  for (const LineReader& reader : kLineReaders) {
    for (const Row& r : rows) {
      nettest::Pair p = nettest::UnixPair();
      ASSERT_EQ(write(p.b.get(), r.input.data(), r.input.size()), static_cast<ssize_t>(r.input.size()));
      shutdown(p.b.get(), SHUT_WR);
      Rline rl = {};
      char buf[16];
      memset(buf, '#', sizeof(buf));
      EXPECT_EQ(reader.read(p.a.get(), buf, r.maxlen, &rl), r.result) << reader.name << " " << r.input;
      EXPECT_EQ(std::string(buf), r.line) << reader.name << " " << r.input;
    }
    char untouched = '#';
    nettest::Pair p = nettest::UnixPair();
    EXPECT_EQ(reader.read(p.a.get(), &untouched, 0, nullptr), -1) << reader.name;
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(untouched, '#');
  }
}

TEST(UlNet, BufferedLineReadersKeepTheReadAheadAndTimeOut) {
  nettest::Pair p = nettest::UnixPair();
  ASSERT_EQ(write(p.b.get(), "l1\nl2\n", 6), 6);
  Rline rl = {};
  char buf[16];
  EXPECT_EQ(ul_readline_speedo_ms_ex(p.a.get(), buf, sizeof(buf), &rl, 200), 3);
  EXPECT_STREQ(buf, "l1\n");
  EXPECT_EQ(ul_getrecvqueuesize(p.a.get()), 0);  // the second line is in rl
  EXPECT_EQ(ul_readline_speedo_ms_ex(p.a.get(), buf, sizeof(buf), &rl, 200), 3);
  EXPECT_STREQ(buf, "l2\n");
  Stopwatch w;
  EXPECT_EQ(ul_readline_speedo_ms_ex(p.a.get(), buf, sizeof(buf), &rl, 60), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_EQ(ul_readlineo_ms(p.a.get(), buf, sizeof(buf), 60), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_GE(w.ms(), 110);
  // Data that comes after a while is read without a time-out (0 or less).
  nettest::Sender s(p.b.get(), {"late\n", "later\n"}, 100);
  EXPECT_EQ(ul_readline_speedo_ms_ex(p.a.get(), buf, sizeof(buf), &rl, 0), 5);
  EXPECT_EQ(ul_readline_speedo(p.a.get(), buf, sizeof(buf), &rl, -5), 6);
}

TEST(UlNet, FlagsAndQueueSize) {
  nettest::Pair p = nettest::UnixPair();
  EXPECT_EQ(ul_setsocktonoblock(p.a.get()), 0);
  EXPECT_FALSE(nettest::Blocking(p.a.get()));
  EXPECT_EQ(ul_setsocktonoblock(p.a.get()), 0);
  EXPECT_EQ(ul_setsocktoblock(p.a.get()), 0);
  EXPECT_TRUE(nettest::Blocking(p.a.get()));
  EXPECT_EQ(ul_getrecvqueuesize(p.a.get()), 0);
  ASSERT_EQ(write(p.b.get(), "1234567", 7), 7);
  EXPECT_EQ(ul_getrecvqueuesize(p.a.get()), 7);
  CaptureFd err(2);
  EXPECT_EQ(ul_getsockflag(-1), -1);
  EXPECT_EQ(ul_setsocktoblock(-1), -1);
  EXPECT_TRUE(Has(err.Stop(), "fcntl(-1,F_GETFL) call failed.error[9] info is Bad file descriptor."));
}

// ---------------------------------------------------------------------------
// Two-phase and vector transfers

TEST(UlNet, TwoPhaseReadRestoresTheSocketAndTimesOutPerPass) {
  nettest::Pair p = nettest::TcpPair();
  const timeval three = {3, 0};
  setsockopt(p.a.get(), SOL_SOCKET, SO_RCVTIMEO, &three, sizeof(three));
  ul_setsocktonoblock(p.a.get());
  char buf[8];
  ASSERT_EQ(write(p.b.get(), "abcd", 4), 4);
  ASSERT_TRUE(nettest::WaitQueued(p.a.get(), 4));
  EXPECT_EQ(ul_sreado_ms_ex2(p.a.get(), buf, 4, 0), 4);  // all there: no wait needed
  ASSERT_EQ(write(p.b.get(), "ab", 2), 2);
  ASSERT_TRUE(nettest::WaitQueued(p.a.get(), 2));
  EXPECT_EQ(ul_sreado_ms_ex2(p.a.get(), buf, 4, 0), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  {
    nettest::Sender s(p.b.get(), {"ab", "cd"}, 30);
    EXPECT_EQ(ul_sreado_ms_ex2(p.a.get(), buf, 4, 500), 4);
    EXPECT_EQ(std::string(buf, 4), "abcd");
  }
  {
    // Bytes trickle in (one every 60 ms): a pass of 100 ms ends short.
    nettest::Sender s(p.b.get(), {"a", "b", "c"}, 60);
    Stopwatch w;
    EXPECT_EQ(ul_sreado_ms_ex2(p.a.get(), buf, 8, 100), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_LT(w.ms(), 1000);
  }
  timeval after = {0, 0};
  socklen_t len = sizeof(after);
  getsockopt(p.a.get(), SOL_SOCKET, SO_RCVTIMEO, &after, &len);
  EXPECT_EQ(after.tv_sec, 3);
  EXPECT_FALSE(nettest::Blocking(p.a.get()));
  shutdown(p.b.get(), SHUT_WR);
  char rest[8];
  ul_sreado_ms_ex(p.a.get(), rest, sizeof(rest), 200);  // drain what the senders left
  EXPECT_EQ(ul_sreado_ms_ex2(p.a.get(), buf, 4, 100), 0);  // end of stream
}

TEST(UlNet, TwoPhaseAndVectorWritesStopWithinTheirBudget) {
  nettest::Pair p = nettest::UnixPair();
  nettest::SmallBuffers(p.a.get(), p.b.get());
  const std::string big(4 << 20, 'x');
  iovec parts[3] = {{const_cast<char*>(big.data()), 1 << 20},
                    {const_cast<char*>(big.data()), 1},
                    {const_cast<char*>(big.data()), 2 << 20}};
  {
    Stopwatch w;
    EXPECT_EQ(ul_swriteo_ms_ex2(p.a.get(), big.data(), big.size(), 100), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_LT(w.ms(), 1000);
  }
  {
    Stopwatch w;
    EXPECT_EQ(ul_swritev_ms(p.a.get(), parts, 3, 100), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_LT(w.ms(), 1000);
  }
  EXPECT_TRUE(nettest::Blocking(p.a.get()));
  EXPECT_EQ(parts[0].iov_len, 1u << 20);  // the caller's vector is unchanged
  EXPECT_EQ(ul_swriteo_ms_ex2(p.a.get(), big.data(), 1, 0), -1);  // full: no room at once
  EXPECT_EQ(errno, ETIMEDOUT);
}

TEST(UlNet, VectorTransfersPutEveryByteInPlace) {
  nettest::Pair p = nettest::TcpPair();
  char a[4], b[1], c[7];
  iovec ve[3] = {{a, sizeof(a)}, {b, sizeof(b)}, {c, sizeof(c)}};
  ASSERT_EQ(write(p.b.get(), "ab", 2), 2);
  EXPECT_EQ(ul_sreadv_ms(p.a.get(), ve, 1024, 100), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(ul_sreadv_ms(p.a.get(), ve, 0, 100), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(ul_sreadv_ms(p.a.get(), ve, 3, 0), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_TRUE(nettest::WaitQueued(p.a.get(), 2));
  EXPECT_EQ(ul_getrecvqueuesize(p.a.get()), 2);  // nothing was read
  {
    nettest::Sender s(p.b.get(), {"cdef", "ghijkl"}, 30);
    EXPECT_EQ(ul_sreadv_ms(p.a.get(), ve, 3, 1000), 12);
  }
  EXPECT_EQ(std::string(a, 4) + "|" + std::string(b, 1) + "|" + std::string(c, 7),
            "abcd|e|fghijkl");

  // The writer's vector, larger than the socket buffers, drained by a reader.
  nettest::Pair q = nettest::UnixPair();
  const std::string x(300000, 'x'), y(1, 'y'), z(500000, 'z');
  iovec out[3] = {{const_cast<char*>(x.data()), x.size()},
                  {const_cast<char*>(y.data()), y.size()},
                  {const_cast<char*>(z.data()), z.size()}};
  std::string got;
  std::thread reader([&] {
    char buf[8192];
    ssize_t n;
    while (got.size() < x.size() + 1 + z.size() && (n = read(q.a.get(), buf, sizeof(buf))) > 0) {
      got.append(buf, static_cast<size_t>(n));
    }
  });
  EXPECT_EQ(ul_swritev_ms(q.b.get(), out, 3, 5000), static_cast<ssize_t>(x.size() + 1 + z.size()));
  reader.join();
  EXPECT_EQ(got, x + y + z);
}

TEST(UlNet, IovecOffsetSkipsWholeAndPartEntries) {
  char buf[12];
  struct Row {
    size_t offset;
    int count;       // entries left
    size_t first;    // index of the first entry left
    size_t skipped;  // bytes cut from its front
  } rows[] = {{0, 3, 0, 0}, {3, 3, 0, 3}, {4, 2, 1, 0}, {5, 1, 2, 0},
              {6, 1, 2, 1}, {12, 0, 3, 0}, {13, 0, 3, 0}};
  const size_t lens[3] = {4, 1, 7}, starts[3] = {0, 4, 5};
  for (const Row& r : rows) {
    // An empty entry lies behind the three counted ones: it is never looked at.
    iovec ve[4] = {{buf, 4}, {buf + 4, 1}, {buf + 5, 7}, {buf, 0}};
    int count = 3;
    iovec* first = iovec_offset(ve, &count, r.offset);
    EXPECT_EQ(count, r.count) << r.offset;
    EXPECT_EQ(first, ve + r.first) << r.offset;
    if (r.count > 0) {
      EXPECT_EQ(first->iov_len, lens[r.first] - r.skipped) << r.offset;
      EXPECT_EQ(static_cast<char*>(first->iov_base), buf + starts[r.first] + r.skipped);
    }
  }
}

}  // namespace
