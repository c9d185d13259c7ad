// The network appender and its log sender against a log server on loopback:
// the open request and data frames byte for byte, batches, ordering, the
// local back-up file while the server is down, recovery, a server that ends
// or resets the connection (at once, after a few frames, after bytes nobody
// asked for), closing against a server that stops reading (queued lines
// kept in the back-up file), against servers that drop connection attempts
// and while senders open their remote files, and resetting or closing while
// the checker runs.
#include <gtest/gtest.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "comlog/appender/netappender.h"
#include "comlog/layout.h"
#include "comlog/sendsvr/loghead.h"
#include "comlog/sendsvr/netappendersvr.h"
#include "comlog/sendsvr/sendsvr.h"
#include "comlog_net_server.h"
#include "comlog_test_util.h"
#include "net_fixtures.h"

namespace {

using comlogtest::FakeLogServer;
using comlogtest::Lines;
using namespace comspace;

constexpr int kNotice = 4;
constexpr int kWarning = 2;
constexpr int kSkip = 77;

// Runs body in a forked child under UTC, in a temporary working folder
// (back-up files of relative server paths land there and are removed with
// it); the body returns kSkip when what it needs is not there.
void InChildOrSkip(const std::function<int()>& body,
                   const char* needs = "the FILE appender (the back-up of NET devices)") {
  int status = testsupport::RunInChild([&] {
    setenv("TZ", "UTC0", 1);
    tzset();
    int rc = 1;
    {
      testsupport::TempDir cwd;
      char old[4096];
      if (getcwd(old, sizeof(old)) != nullptr && chdir(cwd.path().c_str()) == 0) {
        rc = body();
        if (chdir(old) != 0) rc = 1;
      }
    }
    std::exit(rc == kSkip ? kSkip : (rc != 0 || ::testing::Test::HasFailure() ? 1 : 0));
    return 0;
  });
  if (status == kSkip) GTEST_SKIP() << "needs " << needs;
  EXPECT_EQ(status, 0);
}

com_device_t NetDevice(const std::string& list, const char* file, const char* type = "NET") {
  com_device_t d;
  snprintf(d.host, sizeof(d.host), "%s", list.c_str());
  snprintf(d.file, sizeof(d.file), "%s", file);
  snprintf(d.auth, sizeof(d.auth), "%s", "secret");
  snprintf(d.type, sizeof(d.type), "%s", type);
  snprintf(d.name, sizeof(d.name), "%s", "NETDEV");
  d.log_mask = COMLOG_SYSLEVEL_MASK;
  return d;
}

std::string List(int port, const std::string& path) { return "127.0.0.1:" + std::to_string(port) + "/" + path; }

// A server that stops reading, with a small receive buffer: its sender's
// queue does not drain.
FakeLogServer::Options StopsReading() {
  FakeLogServer::Options o;
  o.read_data = false;
  o.rcvbuf = 4096;
  return o;
}

// Opens the framework at srv's "logs/app.log" and queues 12 MB of lines,
// far more than a stalled socket takes.
void OpenAndFillTheQueue(const FakeLogServer& srv) {
  com_device_t dev = NetDevice(List(srv.port(), "logs"), "app.log");
  EXPECT_EQ(com_openlog("nettest", &dev, 1, nullptr), 0);
  const std::string filler(1000, 'x');
  for (int i = 0; i < 12000; ++i) com_writelog(kNotice, "%s %d", filler.c_str(), i);
}

// A port nothing listens on (bound once, then released).
int FreePort() {
  FakeLogServer probe;
  return probe.port();
}

// Whether the open device's NET appender has its local back-up; when not,
// the framework is closed and the capture, if any, ended (the case is
// skipped).
bool BackUpOrClose(com_device_t& dev, testsupport::CaptureFd* err) {
  auto* app = NetAppender::tryAppender(dev);
  EXPECT_NE(app, nullptr);
  if (app != nullptr && app->_bkappender != nullptr) return true;
  com_closelog(0);
  if (err != nullptr) err->Stop();
  return false;
}

bool Ends(const std::string& line, const std::string& tail) {
  return line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
}

uint32_t HandleOf(FakeLogServer& srv, const std::string& filename) {
  for (const auto& o : srv.opens()) {
    if (o.filename == filename) return o.handle;
  }
  return 0xffffffffu;
}

// What the server received, for failure messages.
std::string Dump(FakeLogServer& srv) {
  std::string out = "opens:";
  for (const auto& o : srv.opens()) out += " " + o.filename + "=" + std::to_string(o.handle);
  for (const auto& f : srv.frames()) {
    for (const auto& it : f.items) out += "\n[" + std::to_string(it.handle) + "] " + it.text.substr(0, 200);
  }
  return out;
}

// The test's messages "<tag> <n>" among the rendered lines, in order.
std::vector<std::string> Tagged(const std::vector<std::string>& lines, const std::string& tag) {
  std::vector<std::string> out;
  for (const auto& l : lines) {
    const size_t sp = l.rfind(' ');
    if (sp == std::string::npos || sp + 1 == l.size()) continue;
    if (l.find_first_not_of("0123456789", sp + 1) != std::string::npos) continue;
    if (!Ends(l.substr(0, sp), " " + tag)) continue;
    out.push_back(l.substr(sp - tag.size()));
  }
  return out;
}

std::vector<std::string> Expected(const std::string& tag, int n) {
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.push_back(tag + " " + std::to_string(i));
  return out;
}

TEST(NetAppender, OpenRequestAndDataFramesByteForByte) {
  InChildOrSkip([] {
    FakeLogServer srv;
    EXPECT_TRUE(srv.ok());
    // A server path longer than the request's 32-byte field.
    const std::string path = "server/side/directory/longer/than/the/field";
    com_device_t dev = NetDevice(List(srv.port(), path), "app.log");
    dev.compress = 1;
    const long t0 = time(nullptr);
    EXPECT_EQ(com_openlog("nettest", &dev, 1, nullptr), 0);
    for (int i = 0; i < 5; ++i) com_writelog(kNotice, "line %d", i);
    EXPECT_EQ(com_closelog(2000), 0);
    const long t1 = time(nullptr);
    EXPECT_TRUE(FakeLogServer::WaitFor([&] { return Tagged(srv.LinesOf(7), "line").size() == 5; }, 5000));

    const auto opens = srv.opens();
    EXPECT_EQ(opens.size(), 1u);
    if (opens.empty()) return 0;
    std::string want(148, '\0');
    const uint32_t open_head[] = {0, 123, 0, 0, 0, 0, LOGHEAD_MAGICNUM, 1, 112};
    memcpy(&want[0], open_head, sizeof(open_head));
    memcpy(&want[36], path.data(), 31);  // cut to 31 bytes and a NUL
    memcpy(&want[68], "app.log", 7);
    memcpy(&want[100], "secret", 6);
    want[136] = 1;  // compress; handle (132) and reserved (140) stay zero
    EXPECT_EQ(opens[0].raw, want);

    std::vector<std::string> lines;
    for (const auto& f : srv.frames()) {
      EXPECT_EQ(f.raw.size(), 36u + f.head.body_len);
      EXPECT_EQ(f.raw.substr(0, 24), std::string(24, '\0'));  // id, version, log_id 0, provider
      EXPECT_EQ(f.head.magic_num, LOGHEAD_MAGICNUM);
      EXPECT_EQ(f.head.reserved, 6u);
      size_t body = 0;
      for (const auto& it : f.items) {
        EXPECT_EQ(it.handle, 7u);
        EXPECT_GE(static_cast<long>(it.time), t0);
        EXPECT_LE(static_cast<long>(it.time), t1);
        body += 12 + it.text.size();
        EXPECT_EQ(it.text.back(), '\n');
        for (const auto& l : Lines(it.text)) lines.push_back(l);
      }
      EXPECT_EQ(body, f.head.body_len);
    }
    // The open banners and the lines, rendered by the default layout.
    EXPECT_EQ(lines.size(), 7u);
    if (lines.size() != 7u) return 0;
    EXPECT_EQ(lines[0].rfind("NOTICE: ", 0), 0u);
    EXPECT_TRUE(Ends(lines[0], "open log ------------"));
    EXPECT_EQ(lines[1].rfind("WARNING: ", 0), 0u);
    EXPECT_TRUE(Ends(lines[6], "line 4"));
    return 0;
  });
}

// Two devices on one server list share a sender: one connection, two remote
// files, and a batch carries one run of lines per file. An answer held back
// by the server lets lines pile up, so the batches come out full.
TEST(NetAppender, SharedSenderBatchesAndSameSecondOrder) {
  InChildOrSkip([] {
    FakeLogServer::Options o;
    o.open_delay_ms = 300;
    FakeLogServer srv(o);
    const std::string list = List(srv.port(), "logs");
    com_device_t devs[2] = {NetDevice(list, "a.log"), NetDevice(list, "b.log")};
    EXPECT_EQ(com_openlog("nettest", devs, 2, nullptr), 0);
    constexpr int kLines = 1000;
    for (int i = 0; i < kLines; ++i) com_writelog(kNotice, "seq %d", i);
    EXPECT_EQ(com_closelog(10000), 0);
    EXPECT_TRUE(FakeLogServer::WaitFor(
        [&] {
          return Tagged(srv.LinesOf(HandleOf(srv, "a.log")), "seq").size() == kLines &&
                 Tagged(srv.LinesOf(HandleOf(srv, "b.log")), "seq").size() == kLines;
        },
        10000));
    EXPECT_EQ(srv.connections(), 1);
    EXPECT_EQ(srv.opens().size(), 2u);
    EXPECT_NE(HandleOf(srv, "a.log"), HandleOf(srv, "b.log"));
    // Every line of each file in the order written (most of them within the
    // same second).
    EXPECT_EQ(Tagged(srv.LinesOf(HandleOf(srv, "a.log")), "seq"), Expected("seq", kLines));
    EXPECT_EQ(Tagged(srv.LinesOf(HandleOf(srv, "b.log")), "seq"), Expected("seq", kLines));

    size_t most = 0;
    bool two_runs = false;
    for (const auto& f : srv.frames()) {
      size_t records = 0;
      std::vector<uint32_t> handles;
      for (const auto& it : f.items) {
        records += Lines(it.text).size();
        for (uint32_t h : handles) EXPECT_NE(h, it.handle);  // one run per file
        handles.push_back(it.handle);
      }
      EXPECT_LE(records, static_cast<size_t>(SENDSVR_BATCH));
      most = std::max(most, records);
      two_runs = two_runs || handles.size() == 2;
    }
    EXPECT_EQ(most, static_cast<size_t>(SENDSVR_BATCH));
    EXPECT_TRUE(two_runs);
    return 0;
  });
}

// A device added after the sender chose its server opens its remote file on
// that server before its first line goes out.
TEST(NetAppender, DeviceAddedLaterGetsItsHandle) {
  InChildOrSkip([] {
    FakeLogServer srv;
    const std::string list = List(srv.port(), "logs");
    com_device_t a = NetDevice(list, "a.log");
    EXPECT_EQ(com_openlog("nettest", &a, 1, nullptr), 0);
    com_writelog(kNotice, "first 0");
    EXPECT_TRUE(FakeLogServer::WaitFor([&] { return Tagged(srv.LinesOf(7), "first").size() == 1; }, 8000));
    testsupport::CaptureFd err(2);
    com_device_t b = NetDevice(list, "b.log");
    EXPECT_EQ(com_setdevices(&b, 1, nullptr), 0);
    com_writelog(kNotice, "second 0");
    EXPECT_TRUE(FakeLogServer::WaitFor([&] { return Tagged(srv.LinesOf(8), "second").size() == 1; }, 8000));
    EXPECT_EQ(com_closelog(2000), 0);
    EXPECT_EQ(err.Stop().find("debug- faint"), std::string::npos);
    EXPECT_EQ(HandleOf(srv, "b.log"), 8u);
    EXPECT_EQ(srv.connections(), 1);
    return 0;
  });
}

// A server that stops reading cannot hold closing: the queue never drains,
// closing waits its 1000 ms, and the stopped sender gives up its batch at
// once instead of waiting for the socket.
TEST(NetAppender, ServerThatStopsReadingCannotHangClose) {
  InChildOrSkip([] {
    FakeLogServer srv(StopsReading());
    testsupport::CaptureFd err(2);
    OpenAndFillTheQueue(srv);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(com_closelog(1000), 0);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    const std::string text = err.Stop();
    EXPECT_GE(ms, 1000);
    EXPECT_LT(ms, 8000);  // a sender waiting for the socket would take 10 s more
    // The batch in hand was given up (while waiting for the socket, or
    // half sent).
    EXPECT_TRUE(text.find("send err") != std::string::npos || text.find("invalid sock") != std::string::npos)
        << text.substr(0, 3000);
    return 0;
  });
}

// A close without bound waits for the queue of a server that stops reading;
// meanwhile a thread writes its first line. The close refuses new holders
// from its start, so the line is refused; it is refused at once, without
// waiting for the drain (the thread takes no lock the drain holds).
TEST(NetAppender, AFirstWriteWhileACloseDrainsTheQueueIsRefusedAtOnce) {
  InChildOrSkip([] {
    comlogtest::HangGuard();
    FakeLogServer srv(StopsReading());
    testsupport::CaptureFd err(2);
    OpenAndFillTheQueue(srv);
    std::thread closer([] { EXPECT_EQ(com_closelog(-1), 0); });
    // The close has begun once com_openlog_r is refused.
    std::thread([] {
      while (com_openlog_r() == 0) {
        com_closelog_r();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }).join();
    std::atomic<bool> returned{false};
    int rc = 0;
    std::thread writer([&] {
      rc = com_writelog(kNotice, "first line");
      returned = true;
    });
    const bool in_time = FakeLogServer::WaitFor([&] { return returned.load(); }, 5000);
    srv.Resume();  // the drain ends
    writer.join();
    closer.join();
    err.Stop();
    EXPECT_TRUE(in_time) << "the first write waited for the drain";
    EXPECT_EQ(rc, -1);
    return 0;
  });
}

// 8 threads write 2,000 lines each, then the framework closes while the
// server takes nothing in (it never reads, or it stalls after the open and
// reads what was sent only after the close). Every line reported as written
// is, whole, in what the server got or in the back-up file, where each
// thread's lines keep their order; the close keeps its bound, since the
// back-up is a local file.
constexpr int kLoadThreads = 8;
constexpr int kLoadLines = 2000;
// Past what the queue and one batch hold: the lines that do not fit go to
// the back-up at once (ahead of those queued, so not in order).
constexpr int kOverflowLines = (SENDSVR_QUEUE_SIZE + SENDSVR_BATCH) / kLoadThreads + 100;

std::string LoadMessage(int t, int i) {
  return "load t=" + std::to_string(t) + " i=" + std::to_string(i) + " |" +
         std::string(static_cast<size_t>(900 + i % 100), static_cast<char>('a' + t)) + "|";
}

// The (thread, line) of every load message among lines, in order; each
// must be whole and end its line (else it is reported in bad).
std::vector<std::pair<int, int>> LoadOf(const std::vector<std::string>& lines, int per_thread, std::string* bad) {
  std::vector<std::pair<int, int>> out;
  for (const auto& l : lines) {
    const size_t at = l.find("load t=");
    if (at == std::string::npos) continue;
    int t = -1;
    int i = -1;
    if (sscanf(l.c_str() + at, "load t=%d i=%d", &t, &i) != 2 || t < 0 || t >= kLoadThreads || i < 0 ||
        i >= per_thread || l.compare(at, std::string::npos, LoadMessage(t, i)) != 0) {
      *bad += l.substr(0, 300) + "\n";
      continue;
    }
    out.emplace_back(t, i);
  }
  return out;
}

void LoadThenClose(FakeLogServer::Options o, bool resume, int per_thread = kLoadLines, bool ordered = true) {
  InChildOrSkip([&] {
    testsupport::TempDir dir;
    FakeLogServer srv(o);
    com_device_t dev = NetDevice(List(srv.port(), dir.path()), "app.log");
    testsupport::CaptureFd err(2);
    EXPECT_EQ(com_openlog("nettest", &dev, 1, nullptr), 0);
    if (!BackUpOrClose(dev, &err)) return kSkip;
    std::atomic<int> failed{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < kLoadThreads; ++t) {
      writers.emplace_back([t, per_thread, &failed] {
        if (com_openlog_r() != 0) ++failed;
        for (int i = 0; i < per_thread; ++i) {
          if (com_writelog(kNotice, "%s", LoadMessage(t, i).c_str()) != 0) ++failed;
        }
        if (com_closelog_r() != 0) ++failed;
      });
    }
    for (auto& w : writers) w.join();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(com_closelog(1000), 0);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    err.Stop();
    EXPECT_EQ(failed.load(), 0);
    // A hang bound: 1.2 to 2.1 s on a quiet machine (an open the sender has
    // begun takes its time-out); one batch sent at the socket's pace would
    // take 10 s.
    EXPECT_LT(ms, 15000);
    if (resume) {
      srv.Resume();
      EXPECT_TRUE(FakeLogServer::WaitFor([&] { return srv.ended() == srv.connections(); }, 10000));
    }
    srv.Stop();

    std::string bad;
    const auto got = LoadOf(srv.AllLines(), per_thread, &bad);
    const auto backed = LoadOf(Lines(testsupport::ReadFile(dir.file("app.log"))), per_thread, &bad);
    EXPECT_EQ(bad, "");
    std::vector<std::vector<bool>> seen(kLoadThreads, std::vector<bool>(static_cast<size_t>(per_thread), false));
    for (const auto& ti : got) seen[ti.first][ti.second] = true;
    std::vector<int> last(kLoadThreads, -1);
    int out_of_order = 0;
    for (const auto& ti : backed) {
      seen[ti.first][ti.second] = true;
      if (ti.second <= last[ti.first]) ++out_of_order;
      last[ti.first] = ti.second;
    }
    int missing = 0;
    for (const auto& row : seen) missing += static_cast<int>(std::count(row.begin(), row.end(), false));
    EXPECT_EQ(missing, 0) << "server " << got.size() << ", back-up " << backed.size();
    EXPECT_TRUE(!ordered || out_of_order == 0) << out_of_order;
    return 0;
  });
}

TEST(NetAppender, CloseKeepsQueuedLinesOfAServerThatNeverReads) {
  FakeLogServer::Options o;
  o.read_opens = false;
  LoadThenClose(o, false);
}

TEST(NetAppender, CloseKeepsQueuedLinesOfAServerThatStalls) {
  LoadThenClose(StopsReading(), true);
}

TEST(NetAppender, LinesPastAFullQueueGoToTheBackUp) {
  FakeLogServer::Options o;
  o.read_opens = false;
  LoadThenClose(o, false, kOverflowLines, false);
}

// Resetting or closing deletes the senders while the checker thread keeps
// checking them (here without a pause between rounds): the checker lets go
// of each sender before it is freed (AddressSanitizer would report the use,
// ThreadSanitizer a race).
void EndWhileTheCheckerChecks(const std::function<int()>& end) {
  InChildOrSkip([&] {
    CheckSvr* checker = SendSvr::comlog_get_gcheckSvr();
    checker->_sleeptime = 0;
    const int port = FreePort();
    testsupport::CaptureFd err(2);
    for (int round = 0; round < 5; ++round) {
      com_device_t dev = NetDevice(List(port, ""), "app.log");
      EXPECT_EQ(com_openlog("nettest", &dev, 1, nullptr), 0);
      EXPECT_EQ(checker->size(), 1);
      com_writelog(kNotice, "round %d", round);
      // Ended once the checker has reported on this round's sender.
      const size_t before = err.Peek().size();
      EXPECT_TRUE(FakeLogServer::WaitFor(
          [&] { return err.Peek().find("server invalid", before) != std::string::npos; }, 5000));
      EXPECT_EQ(end(), 0);
      EXPECT_EQ(checker->size(), 0);
    }
    const std::string text = err.Stop();
    EXPECT_NE(text.find("server invalid"), std::string::npos);  // the checker did run
    return 0;
  });
}

TEST(NetAppender, ResetNeverFreesASenderTheCheckerUses) { EndWhileTheCheckerChecks(com_resetlog); }

// The checker reports a server list it cannot reach, and no other: a
// connected server gives no report however often it is checked (here
// without a pause between rounds, for 300 ms).
TEST(NetAppender, TheCheckerReportsNoConnectedServer) {
  InChildOrSkip([] {
    FakeLogServer srv;
    SendSvr::comlog_get_gcheckSvr()->_sleeptime = 0;
    testsupport::CaptureFd err(2);
    com_device_t dev = NetDevice(List(srv.port(), "logs"), "app.log");
    EXPECT_EQ(com_openlog("nettest", &dev, 1, nullptr), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(com_closelog(1000), 0);
    const std::string text = err.Stop();
    EXPECT_EQ(text.find("server invalid"), std::string::npos) << text.substr(0, 2000);
    return 0;
  });
}

TEST(NetAppender, CloseNeverFreesASenderTheCheckerUses) {
  EndWhileTheCheckerChecks([] { return com_closelog(0); });
}

// The checker takes 32 senders: an opening with NET devices on 32 server
// lists registers a sender for each; one with 33 fails (the 33rd device
// gets no sender) and leaves none registered.
TEST(NetAppender, TheCheckerTakesAtMost32Senders) {
  InChildOrSkip([] {
    CheckSvr* checker = SendSvr::comlog_get_gcheckSvr();
    std::set<int> ports;
    while (ports.size() <= static_cast<size_t>(SENDSVR_MAX_SERVERS)) ports.insert(FreePort());
    std::vector<com_device_t> devs;
    for (int port : ports) {
      devs.push_back(NetDevice(List(port, ""), ("f" + std::to_string(port)).c_str()));
      devs.back().log_mask = uint64_t{1} << 16;
    }
    testsupport::CaptureFd err(2);
    EXPECT_EQ(com_openlog("nettest", devs.data(), SENDSVR_MAX_SERVERS, nullptr), 0);
    EXPECT_EQ(checker->size(), SENDSVR_MAX_SERVERS);
    EXPECT_EQ(com_closelog(0), 0);
    EXPECT_EQ(checker->size(), 0);
    EXPECT_EQ(com_openlog("nettest", devs.data(), SENDSVR_MAX_SERVERS + 1, nullptr), -1);
    EXPECT_EQ(checker->size(), 0);
    err.Stop();
    return 0;
  });
}

// While the server is down every line lands in the local back-up file (NAME
// under the first server's path); once it is back, lines go to it again.
TEST(NetAppender, FallbackToTheLocalFileAndRecovery) {
  InChildOrSkip([] {
    testsupport::TempDir dir;
    const int port = FreePort();
    const std::string backup_dir = dir.path() + "/bk";
    com_device_t dev = NetDevice(List(port, backup_dir), "app.log");
    testsupport::CaptureFd err(2);
    EXPECT_EQ(com_openlog("nettest", &dev, 1, nullptr), 0);
    if (!BackUpOrClose(dev, &err)) return kSkip;
    const std::string backup = backup_dir + "/app.log";
    for (int i = 0; i < 10; ++i) com_writelog(kNotice, "down %d", i);
    EXPECT_TRUE(FakeLogServer::WaitFor(
        [&] { return Tagged(Lines(testsupport::ReadFile(backup)), "down").size() == 10; }, 8000));

    FakeLogServer srv(FakeLogServer::Options(), port);
    EXPECT_TRUE(srv.ok());
    for (int i = 0; i < 10; ++i) com_writelog(kNotice, "up %d", i);
    EXPECT_TRUE(FakeLogServer::WaitFor([&] { return Tagged(srv.LinesOf(7), "up").size() == 10; }, 8000));
    EXPECT_EQ(com_closelog(2000), 0);
    EXPECT_EQ(err.Stop().find("lines lost"), std::string::npos);  // the back-up took every line
    EXPECT_EQ(Tagged(Lines(testsupport::ReadFile(backup)), "down"), Expected("down", 10));
    EXPECT_EQ(Tagged(Lines(testsupport::ReadFile(backup)), "up").size(), 0u);
    EXPECT_EQ(Tagged(srv.LinesOf(7), "up"), Expected("up", 10));
    return 0;
  });
}

// Every server down, and the back-up file's disk full (a cap on file sizes)
// for 1.5 s while lines are written: each line of the back-up file is whole
// or visibly cut (no later line glued to a cut one), and the lines it did
// not take are reported lost with their number: every line answered 0 is
// in the file, whole and once, or among those counted.
TEST(NetAppender, TheBackUpAtAFullDiskKeepsLinesWholeAndReportsTheLostOnes) {
  InChildOrSkip([] {
    signal(SIGXFSZ, SIG_IGN);
    testsupport::TempDir dir;
    com_device_t dev = NetDevice(List(FreePort(), dir.path()), "app.log");
    dev.log_mask = uint64_t{1} << 16;  // DEBUG only: no banners
    auto* layout = new Layout();       // owned by the registry once opened
    layout->setPattern("%R");
    dev.layout = layout;
    testsupport::CapturePipe err(2);  // a file would be capped too
    EXPECT_EQ(com_openlog("nettest", &dev, 1, nullptr), 0);
    if (!BackUpOrClose(dev, nullptr)) return kSkip;
    const std::string backup = dir.file("app.log");
    auto size = [&] {
      struct stat st;
      return stat(backup.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1L;
    };
    std::map<int, int> answers;
    std::atomic<bool> done{false};  // the writer stops
    std::thread writer([&] {
      for (int n = 0; !done.load(); ++n) {
        answers[n] = com_writelog(16, "%s", comlogtest::FullDiskLine(n).c_str());
        if (n % 4 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    EXPECT_TRUE(FakeLogServer::WaitFor([&] { return size() > 0; }, 8000));
    comlogtest::CapFileSize(static_cast<rlim_t>(size() + 8192));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    comlogtest::CapFileSize(RLIM_INFINITY);
    const long resumed = size();
    EXPECT_TRUE(FakeLogServer::WaitFor([&] { return size() > resumed + 8192; }, 8000));
    done = true;
    writer.join();
    EXPECT_EQ(com_closelog(2000), 0);
    const std::string text = err.Stop();
    long lost = 0;
    const std::regex report(R"(\](\d+) of \d+ lines lost)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), report); it != std::sregex_iterator(); ++it) {
      lost += std::stol((*it)[1]);
    }
    EXPECT_GT(lost, 0);
    comlogtest::ExpectWholeOrCut(Lines(testsupport::ReadFile(backup)), answers, comlogtest::FullDiskLine, "back-up",
                                 lost);
    return 0;
  });
}

// A server that refuses to open the remote file: the lines go to the back-up.
TEST(NetAppender, RefusedOpenFallsBackToTheLocalFile) {
  InChildOrSkip([] {
    testsupport::TempDir dir;
    FakeLogServer::Options o;
    o.open_error = 3;
    FakeLogServer srv(o);
    com_device_t dev = NetDevice(List(srv.port(), dir.path()), "app.log");
    testsupport::CaptureFd err(2);
    EXPECT_EQ(com_openlog("nettest", &dev, 1, nullptr), 0);
    if (!BackUpOrClose(dev, &err)) return kSkip;
    for (int i = 0; i < 3; ++i) com_writelog(kWarning, "refused %d", i);
    const std::string backup = dir.file("app.log");
    EXPECT_TRUE(FakeLogServer::WaitFor(
        [&] { return Tagged(Lines(testsupport::ReadFile(backup)), "refused").size() == 3; }, 8000));
    EXPECT_EQ(com_closelog(1000), 0);
    EXPECT_NE(err.Stop().find("open log err[secret app.log] errno[3]"), std::string::npos);
    EXPECT_EQ(srv.frames().size(), 0u);
    return 0;
  });
}

// An open answer must hold the error code and the handle (8 bytes); the
// count after them may be missing. A shorter answer opens nothing and the
// lines go to the back-up.
TEST(NetAppender, ShortOpenAnswers) {
  InChildOrSkip([] {
    for (uint32_t len : {8u, 7u}) {
      testsupport::TempDir dir;
      FakeLogServer::Options o;
      o.answer_body_len = len;
      FakeLogServer srv(o);
      com_device_t dev = NetDevice(List(srv.port(), dir.path()), "app.log");
      testsupport::CaptureFd err(2);
      EXPECT_EQ(com_openlog("nettest", &dev, 1, nullptr), 0);
      if (!BackUpOrClose(dev, &err)) return kSkip;
      com_writelog(kNotice, "short 0");
      const std::string backup = dir.file("app.log");
      if (len == 8) {
        EXPECT_TRUE(FakeLogServer::WaitFor([&] { return Tagged(srv.LinesOf(7), "short").size() == 1; }, 8000));
      } else {
        EXPECT_TRUE(FakeLogServer::WaitFor(
            [&] { return Tagged(Lines(testsupport::ReadFile(backup)), "short").size() == 1; }, 8000));
      }
      EXPECT_EQ(com_closelog(1000), 0);
      const std::string text = err.Stop();
      EXPECT_EQ(text.find("open:read netappend") != std::string::npos, len == 7) << len;
      EXPECT_EQ(Tagged(srv.LinesOf(7), "short").size(), len == 8 ? 1u : 0u) << len;
    }
    return 0;
  });
}

// ULNET: the three outputs of one device are three remote files (NAME,
// NAME.wf, NAME.sf) opened through one shared sender on one connection.
TEST(NetAppender, UlnetThreeRemoteFilesThroughOneSender) {
  InChildOrSkip([] {
    FakeLogServer srv;
    com_device_t dev = NetDevice(List(srv.port(), "logs"), "u", "ULNET");
    dev.log_mask = COMLOG_SYSLEVEL_MASK | (uint64_t{1} << 40);
    testsupport::CaptureFd err(2);
    if (com_openlog("nettest", &dev, 1, nullptr) != 0) {
      err.Stop();
      return kSkip;
    }
    com_writelog(kNotice, "main 0");
    com_writelog(kWarning, "wf 0");
    EXPECT_TRUE(FakeLogServer::WaitFor(
        [&] {
          return Tagged(srv.LinesOf(HandleOf(srv, "u")), "main").size() == 1 &&
                 Tagged(srv.LinesOf(HandleOf(srv, "u.wf")), "wf").size() == 1;
        },
        8000))
        << Dump(srv);
    EXPECT_EQ(com_closelog(2000), 0);
    const std::string text = err.Stop();
    EXPECT_EQ(text.find("debug- faint"), std::string::npos) << text;
    std::vector<std::string> names;
    for (const auto& op : srv.opens()) names.push_back(op.filename);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"u", "u.sf", "u.wf"}));
    EXPECT_EQ(srv.connections(), 1);
    EXPECT_EQ(Tagged(srv.LinesOf(HandleOf(srv, "u")), "wf").size(), 0u);
    EXPECT_EQ(Tagged(srv.LinesOf(HandleOf(srv, "u.wf")), "main").size(), 0u);
    return 0;
  }, "the ULNET appender");
}

// The lines "gone <n>" among lines, by number.
std::vector<bool> Seen(const std::vector<std::string>& lines, int n, std::vector<bool> seen) {
  for (const auto& l : Tagged(lines, "gone")) {
    const int i = atoi(l.c_str() + 5);
    if (i >= 0 && i < n) seen[static_cast<size_t>(i)] = true;
  }
  return seen;
}

// The sum of the "<n> of <m> lines lost" reports in text.
long LostReported(const std::string& text) {
  long lost = 0;
  const std::regex report(R"(\](\d+) of \d+ lines lost)");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), report); it != std::sregex_iterator(); ++it) {
    lost += std::stol((*it)[1]);
  }
  return lost;
}

// Writes n lines "gone <i>" at DEBUG (the device takes no banners) to a
// server that ends its connections as o says, then closes. Every line
// answered 0 must be at the server or in the back-up file, or counted in a
// report of lost lines. With pace, each line is written once the one before
// it has arrived (or waited 1 s), so that the sender finds each connection
// as the server left it between two lines. at_server lines must have
// reached the server, and the sender must have given a connection up for
// the reason given (the text of its error).
void EveryLineIsKept(FakeLogServer::Options o, int n, bool pace, size_t at_server, const std::string& reason) {
  InChildOrSkip([&] {
    testsupport::TempDir dir;
    FakeLogServer srv(o);
    com_device_t dev = NetDevice(List(srv.port(), dir.path()), "app.log");
    dev.log_mask = uint64_t{1} << 16;
    testsupport::CaptureFd err(2);
    EXPECT_EQ(com_openlog("nettest", &dev, 1, nullptr), 0);
    if (!BackUpOrClose(dev, &err)) return kSkip;
    const std::string backup = dir.file("app.log");
    auto arrived = [&](int i) {
      const std::vector<bool> none(static_cast<size_t>(n), false);
      return Seen(srv.AllLines(), n, none)[static_cast<size_t>(i)] ||
             Seen(Lines(testsupport::ReadFile(backup)), n, none)[static_cast<size_t>(i)];
    };
    std::vector<int> answers;
    for (int i = 0; i < n; ++i) {
      answers.push_back(com_writelog(16, "gone %d", i));
      if (pace) FakeLogServer::WaitFor([&] { return arrived(i); }, 1000);
      if (!pace && i % 20 == 19) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(com_closelog(2000), 0);
    const std::string text = err.Stop();
    srv.Stop();
    std::vector<bool> seen = Seen(srv.AllLines(), n, std::vector<bool>(static_cast<size_t>(n), false));
    EXPECT_EQ(static_cast<size_t>(std::count(seen.begin(), seen.end(), true)), at_server);
    seen = Seen(Lines(testsupport::ReadFile(backup)), n, seen);
    long missing = 0;
    for (int i = 0; i < n; ++i) missing += answers[static_cast<size_t>(i)] == 0 && !seen[static_cast<size_t>(i)];
    EXPECT_LE(missing, LostReported(text))
        << missing << " of " << n << " lines answered 0 are nowhere";
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(invalid sock\[\d+\]( or reopen err)? )" + reason)))
        << text.substr(0, 2000);
    return 0;
  });
}

// A server that answers the open and closes the connection at once (with
// or without bytes nobody asked for before its end): the sender finds the
// end before it hands a batch over, and the lines go to the back-up.
TEST(NetAppender, EveryLineIsKeptWhenTheServerClosesAfterTheOpen) {
  for (const char* unasked : {"", "junk"}) {
    SCOPED_TRACE(std::string("unasked bytes: \"") + unasked + "\"");
    FakeLogServer::Options o;
    o.close_after_frames = 0;
    o.after_open = unasked;
    o.max_connections = 256;
    EveryLineIsKept(o, 2000, false, 0, *unasked != '\0' ? "Protocol error" : "Broken pipe");
  }
}

// A server that closes (or resets) each connection after 3 frames and
// serves the next one (a restart, an idle cut): the sender finds the end
// and sends the line on a new connection, so every line reaches the server.
TEST(NetAppender, EveryLineIsKeptWhenTheServerRestartsBetweenBatches) {
  for (bool reset : {false, true}) {
    SCOPED_TRACE(reset ? "reset" : "ended");
    FakeLogServer::Options o;
    o.close_after_frames = 3;
    o.reset = reset;
    o.max_connections = 64;
    EveryLineIsKept(o, 30, true, 30, reset ? "Connection reset by peer" : "Broken pipe");
  }
}

// A port on 127.0.0.1 that drops connection attempts once Fill () has
// filled its queue: a listener that never accepts, its queue of one taken
// (by a connection of its own when nothing else took it), so that the
// kernel drops further SYNs and a connect waits out its time.
class DropsConnects {
 public:
  DropsConnects() : listener_(0) {}
  int port() const { return listener_.port; }
  // False when the queue did not fill within 1 s.
  bool Fill() {
    if (Full()) return true;
    const sockaddr_in to = listener_.addr();
    filler_ = nettest::UniqueFd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    connect(filler_.get(), reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    return FakeLogServer::WaitFor([&] { return Full(); }, 1000);
  }

 private:
  // For a listener the kernel gives the queue's length and its limit.
  bool Full() const {
    tcp_info ti;
    socklen_t len = sizeof(ti);
    return getsockopt(listener_.fd.get(), IPPROTO_TCP, TCP_INFO, &ti, &len) == 0 && ti.tcpi_unacked > ti.tcpi_sacked;
  }

  nettest::Listener listener_;
  nettest::UniqueFd filler_;
};

struct DeadServers {
  int lists;         // server lists (one device and one sender each)
  int per_list;      // servers of each list
  bool dead_at_open; // else they take the sender's first connection and drop the next
  bool reset;        // com_resetlog instead of com_closelog (100)
};

// Ends the framework against servers that drop connection attempts while
// the checker (with no pause between rounds) and the senders try them one
// after another, 1 s each: a close of 100 ms returns within its bound plus
// the one attempt in flight (or the open answer a sender waits for), a
// reset within that attempt, and the line queued meanwhile is in every
// back-up file.
void EndAgainstServersThatDropConnects(const DeadServers& row) {
  SCOPED_TRACE(std::to_string(row.lists) + " x " + std::to_string(row.per_list) +
               (row.dead_at_open ? " dead at the opening" : " dead after it") + (row.reset ? ", reset" : ""));
  InChildOrSkip([&] {
    testsupport::TempDir dir;
    std::vector<std::unique_ptr<DropsConnects>> dead;
    std::vector<com_device_t> devs;
    for (int l = 0; l < row.lists; ++l) {
      std::string list;
      for (int i = 0; i < row.per_list; ++i) {
        dead.emplace_back(new DropsConnects());
        if (row.dead_at_open && !dead.back()->Fill()) return kSkip;
        list += i == 0 ? List(dead.back()->port(), dir.path()) : " 127.0.0.1:" + std::to_string(dead.back()->port());
      }
      devs.push_back(NetDevice(list, ("f" + std::to_string(l)).c_str()));
      devs.back().log_mask = uint64_t{1} << 16;
    }
    SendSvr::comlog_get_gcheckSvr()->_sleeptime = 0;
    testsupport::CaptureFd err(2);
    EXPECT_EQ(com_openlog("nettest", devs.data(), row.lists, nullptr), 0);
    if (!BackUpOrClose(devs[0], &err)) return kSkip;
    for (auto& d : dead) {
      if (!d->Fill()) {
        com_closelog(0);
        err.Stop();
        return kSkip;
      }
    }
    EXPECT_EQ(com_writelog(16, "queued 0"), 0);
    // Every sender has taken the line and tries its servers (the checker's
    // round began with the opening); on servers dead after the opening,
    // once the open on its first connection has gone unanswered.
    for (auto& dev : devs) {
      SendSvr* sender = static_cast<NetAppender*>(NetAppender::tryAppender(dev))->_sendsvr.load();
      EXPECT_TRUE(FakeLogServer::WaitFor([&] { return sender->queued() == 0; }, 5000));
    }
    auto count = [&](const std::string& text, const std::string& what) {
      int n = 0;
      for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
      return n;
    };
    EXPECT_TRUE(row.dead_at_open ||
                FakeLogServer::WaitFor([&] { return count(err.Peek(), "or reopen err") == row.lists; }, 5000));
    const size_t before = err.Peek().size();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(row.reset ? com_resetlog() : com_closelog(100), 0);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    const std::string text = err.Stop();
    // 1 s on a quiet machine; one attempt after another takes a second for
    // each server (of the list, or of each list in turn).
    EXPECT_LT(ms, 6000);
    // A round the close cut short says nothing of the servers.
    EXPECT_EQ(text.find("server invalid", before), std::string::npos) << text.substr(before, 2000);
    for (int l = 0; l < row.lists; ++l) {
      EXPECT_EQ(Tagged(Lines(testsupport::ReadFile(dir.file("f" + std::to_string(l)))), "queued"),
                Expected("queued", 1))
          << l;
    }
    return 0;
  });
}

TEST(NetAppender, ACloseKeepsItsBoundAgainstServersThatDropConnects) {
  // Dead at the opening, the checker's round tries them; dead after it,
  // the senders' own reconnection.
  for (const DeadServers& row : {DeadServers{1, 8, true, false}, DeadServers{1, SENDSVR_MAX_SERVERS, false, false},
                                 DeadServers{16, 16, false, false}}) {
    EndAgainstServersThatDropConnects(row);
  }
}

TEST(NetAppender, AResetIsNotHeldByServersThatDropConnects) {
  for (const DeadServers& row : {DeadServers{1, 8, true, true}, DeadServers{16, 16, false, true}}) {
    EndAgainstServersThatDropConnects(row);
  }
}

struct SlowOpens {
  int lists;       // server lists (one server, one sender each)
  int devices;     // devices of each list
  int open_ms;     // each open's answer comes after this
  int wait_ms;     // the close's bound; -2: com_resetlog instead
  bool at_server;  // the bound leaves time for every open: the lines are sent
};

// Servers that take row.open_ms to answer each open, and row.devices devices
// on each of row.lists lists: each sender opens its remote files one after
// another when it takes its connection, holding the batch of queued lines.
// A close whose bound leaves time waits for that batch (it is no longer
// queued) and the queued line of every device is at its server; a close of
// 100 ms (or 0) or a reset waits for the one open in flight of each sender,
// all at once (not one sender after another), and the line of every device
// is in its back-up file.
void EndWhileSendersOpenRemoteFiles(const SlowOpens& row) {
  SCOPED_TRACE(std::to_string(row.lists) + " x " + std::to_string(row.devices) + " opens of " +
               std::to_string(row.open_ms) + " ms" +
               (row.wait_ms == -2 ? ", reset" : ", close " + std::to_string(row.wait_ms)));
  InChildOrSkip([&] {
    comlogtest::HangGuard();
    testsupport::TempDir dir;
    FakeLogServer::Options o;
    o.open_delay_ms = row.open_ms;
    std::vector<std::unique_ptr<FakeLogServer>> srvs;
    std::vector<com_device_t> devs;
    auto name = [&](int l, int i) { return "f" + std::to_string(l) + "_" + std::to_string(i); };
    for (int l = 0; l < row.lists; ++l) {
      srvs.emplace_back(new FakeLogServer(o));
      for (int i = 0; i < row.devices; ++i) {
        devs.push_back(NetDevice(List(srvs.back()->port(), dir.path()), name(l, i).c_str()));
        devs.back().log_mask = uint64_t{1} << 16;
      }
    }
    testsupport::CaptureFd err(2);
    EXPECT_EQ(com_openlog("nettest", devs.data(), static_cast<int>(devs.size()), nullptr), 0);
    if (!BackUpOrClose(devs[0], &err)) return kSkip;
    EXPECT_EQ(com_writelog(16, "queued 0"), 0);
    for (auto& srv : srvs) EXPECT_TRUE(FakeLogServer::WaitFor([&] { return srv->opens().size() == 1; }, 5000));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(row.wait_ms == -2 ? com_resetlog() : com_closelog(row.wait_ms), 0);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    err.Stop();
    // 0.2 to 1 s on a quiet machine; one sender after another takes up to
    // 0.8 s for each.
    EXPECT_LT(ms, 6000);
    const std::vector<std::string> one = Expected("queued", 1);
    const std::vector<std::string> none;
    for (int l = 0; l < row.lists; ++l) {
      FakeLogServer& srv = *srvs[static_cast<size_t>(l)];
      for (int i = 0; i < row.devices; ++i) {
        EXPECT_EQ(Tagged(srv.LinesOf(HandleOf(srv, name(l, i))), "queued"), row.at_server ? one : none)
            << name(l, i);
        EXPECT_EQ(Tagged(Lines(testsupport::ReadFile(dir.file(name(l, i)))), "queued"), row.at_server ? none : one)
            << name(l, i);
      }
    }
    return 0;
  });
}

TEST(NetAppender, ACloseKeepsItsBoundWhileTheSenderOpensRemoteFiles) {
  EndWhileSendersOpenRemoteFiles(SlowOpens{1, 12, 800, 100, false});
}

TEST(NetAppender, ACloseWaitsForTheBatchTheSenderHolds) {
  EndWhileSendersOpenRemoteFiles(SlowOpens{1, 3, 300, 10000, true});
}

TEST(NetAppender, AnEndKeepsItsBoundWhileSeveralSendersOpenRemoteFiles) {
  for (const SlowOpens& row : {SlowOpens{12, 12, 800, 100, false}, SlowOpens{12, 12, 800, 0, false},
                               SlowOpens{12, 12, 800, -2, false}}) {
    EndWhileSendersOpenRemoteFiles(row);
  }
}

}  // namespace
