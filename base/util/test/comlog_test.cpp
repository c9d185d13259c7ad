// The framework's interface: opening, writing, lazy opening, closing and the
// hand-over with the process log.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "comlog/levels.h"
#include "comlog/namemg.h"
#include "comlog_test_util.h"
#include "ul_log.h"

namespace {

using comlogtest::CaptureAppender;
using comlogtest::InChild;
using comlogtest::Lines;
using comspace::com_device_t;
using testsupport::CaptureFd;
using testsupport::ReadFile;
using testsupport::TempDir;

const std::string kDash(63, '-');
const char kHead[] = R"(\d\d-\d\d \d\d:\d\d:\d\d:  )";

std::string Tid() { return std::to_string(syscall(SYS_gettid)); }

// "LEVEL: time:  proc * tid text" of the default layout.
bool IsLine(const std::string& line, const std::string& level, const std::string& proc,
            const std::string& tid, const std::string& text) {
  return std::regex_match(line, std::regex(level + ": " + kHead + proc + " \\* " + tid + " " + text));
}

com_device_t Tty() {
  com_device_t d;
  strcpy(d.type, "TTY");
  d.log_mask = comspace::COMLOG_SYSLEVEL_MASK;
  return d;
}

TEST(Comlog, OpenWriteCloseOnTheTerminal) {
  InChild([] {
    com_device_t dev;
    EXPECT_EQ(com_logstatus(), 0);
    EXPECT_EQ(com_openlog("p", nullptr, 0, nullptr), -1);
    EXPECT_EQ(com_openlog("p", &dev, -1, nullptr), -1);
    CaptureFd err(2);
    ASSERT_EQ(com_openlog("p", &dev, 0, nullptr), 0);
    EXPECT_EQ(com_logstatus(), 1);
    EXPECT_EQ(com_openlog("p", &dev, 0, nullptr), -1);
    ul_logstat_t st = {UL_LOG_DEBUG, 0, 0};
    EXPECT_EQ(ul_openlog("/nonexistent", "q", &st, 1, nullptr), -1);
    EXPECT_EQ(com_writelog(UL_LOG_NOTICE, "x%d", 7), 0);
    EXPECT_EQ(ul_writelog(UL_LOG_WARNING, "from %s", "ul"), 0);  // forwarded
    EXPECT_EQ(com_writelog("TRACE", "by name"), 0);
    EXPECT_EQ(com_writelog("NOSUCH", "x"), -1);
    EXPECT_EQ(com_writelog(40, "not in the filter"), 0);
    EXPECT_EQ(ul_log_enabled(UL_LOG_DEBUG), 1);
    EXPECT_EQ(com_log_enabled(40), 0);
    EXPECT_EQ(com_log_enabled("NOSUCH"), 0);
    comspace::Category* c = com_writelog_stream(UL_LOG_NOTICE);
    ASSERT_NE(c, nullptr);
    *c << "stream " << 5;
    c->flush();
    EXPECT_EQ(com_closelog(0), 0);
    EXPECT_EQ(com_logstatus(), 0);
    std::string text = err.Stop();
    const std::string refused = "[ul_openlog]Log is already open....";  // has no newline
    ASSERT_NE(text.find(refused), std::string::npos);
    text.erase(text.find(refused), refused.size());
    auto lines = Lines(text);
    const std::string tid = Tid();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_TRUE(IsLine(lines[0], "NOTICE", "p", tid, kDash + " open log -{12}")) << lines[0];
    EXPECT_TRUE(IsLine(lines[1], "WARNING", "p", tid, kDash + " open log.wf -{12}")) << lines[1];
    EXPECT_NE(lines[2].find("]Log is open...."), std::string::npos) << lines[2];
    EXPECT_TRUE(IsLine(lines[3], "NOTICE", "p", tid, "x7")) << lines[3];
    EXPECT_TRUE(IsLine(lines[4], "WARNING", "p", tid, "from ul")) << lines[4];
    EXPECT_TRUE(IsLine(lines[5], "TRACE", "p", tid, "by name")) << lines[5];
    EXPECT_TRUE(std::regex_match(lines[6], std::regex(R"(\[\d+\]\[\d+\]\[comlog\.cpp:\d+\]get logiderr\[NOSUCH\])")))
        << lines[6];
    EXPECT_TRUE(IsLine(lines[7], "NOTICE", "p", tid, "stream 5")) << lines[7];
  });
}

TEST(Comlog, HandOverWithTheProcessLog) {
  TempDir dir;
  InChild([&] {
    // Nothing open: the level-number calls use the process log's standard
    // error line and leave the switcher alone.
    CaptureFd err(2);
    EXPECT_EQ(com_writelog(UL_LOG_DEBUG, "y"), 0);
    EXPECT_EQ(com_writelog_ex(UL_LOG_DEBUG, 3, "t", "ex"), 0);
    EXPECT_EQ(com_logstatus(), 0);
    EXPECT_EQ(com_closelog_r(), -1);

    // The process log open: the framework's calls land in its files.
    ul_logstat_t st = {UL_LOG_DEBUG, 0, 0};
    ASSERT_EQ(ul_openlog(dir.path().c_str(), "proc", &st, 1, nullptr), 0);
    EXPECT_EQ(com_logstatus(), 2);
    EXPECT_EQ(com_writelog(UL_LOG_NOTICE, "to the process log"), 0);
    EXPECT_EQ(com_writelog("NOTICE", "by name too"), 0);
    EXPECT_EQ(com_getcategory(), nullptr);
    comspace::com_logstat_t levels;
    EXPECT_EQ(com_changelogstat(&levels), -1);  // no level filter to change
    com_device_t dev;
    EXPECT_EQ(com_openlog("p", &dev, 0, nullptr), -1);
    EXPECT_EQ(com_log_enabled(UL_LOG_DEBUG), 1);
    std::thread([] {
      EXPECT_EQ(com_openlog_r(), 0);  // the process log's thread log
      EXPECT_EQ(com_closelog_r(), 0);
    }).join();
    EXPECT_EQ(com_closelog(0), 0);  // closes the process log
    EXPECT_EQ(com_logstatus(), 0);

    // The framework open: process log lines reach its appenders; closed,
    // they reach the process log again.
    ASSERT_EQ(com_openlog("fw", &dev, 0, nullptr), 0);
    EXPECT_EQ(ul_writelog(UL_LOG_NOTICE, "through the framework"), 0);
    EXPECT_EQ(ul_closelog(0), 0);  // closes the framework
    EXPECT_EQ(ul_writelog(UL_LOG_NOTICE, "process log again"), 0);
    auto lines = Lines(err.Stop());
    auto file = Lines(ReadFile(dir.file("proclog")));

    const std::string tid = Tid();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(std::string("DEBUG: ") + kHead + R"( \* 0 y)"))) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(std::string("DEBUG: ") + kHead + R"( \* 0 ex)"))) << lines[1];
    EXPECT_NE(lines[2].find("]Error: Using ullog now...."), std::string::npos) << lines[2];
    EXPECT_TRUE(IsLine(lines[lines.size() - 2], "NOTICE", "fw", tid, "through the framework"));
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex(std::string("NOTICE: ") + kHead + R"(proc \* 0 process log again)")))
        << lines.back();
    std::string joined;
    for (auto& l : file) joined += l + "\n";
    EXPECT_NE(joined.find("* " + tid + " to the process log"), std::string::npos) << joined;
    EXPECT_NE(joined.find("* " + tid + " by name too"), std::string::npos) << joined;
  });
}

TEST(Comlog, LazyOpenByNameAndExtendedLines) {
  InChild([] {
    CaptureFd err(2);
    EXPECT_EQ(com_writelog("DEBUG", "lazy"), 0);  // opens the framework
    EXPECT_EQ(com_logstatus(), 1);
    com_device_t dev;
    EXPECT_EQ(com_openlog("p", &dev, 0, nullptr), -1);
    EXPECT_EQ(com_writelog_ex(UL_LOG_NOTICE, -1, "t", "no"), -1);
    EXPECT_EQ(com_writelog_ex(UL_LOG_NOTICE, 3, "", "no"), -1);
    EXPECT_EQ(com_writelog_ex("NOTICE", 3, nullptr, "no"), -1);
    EXPECT_EQ(com_writelog_ex(UL_LOG_NOTICE, 3, "t", "m%d", 1), 0);
    EXPECT_EQ(com_writelog_ex(UL_LOG_NOTICE, 0, "t", "v0"), 0);  // the lowest version
    comspace::com_logstat_t ls;
    ls.sysevents = UL_LOG_NOTICE;
    EXPECT_EQ(com_changelogstat(&ls), 0);
    EXPECT_EQ(com_changelogstat(nullptr), -1);
    EXPECT_EQ(comlog_get_log_level(), UL_LOG_NOTICE);
    EXPECT_EQ(com_log_enabled(UL_LOG_DEBUG), 0);
    EXPECT_EQ(com_log_enabled("NOTICE"), 1);
    EXPECT_EQ(com_writelog_ex("DEBUG", 4, "u", "refused"), 0);
    EXPECT_EQ(com_writelog(UL_LOG_NOTICE, "plain"), 0);  // no stale "4 u " in front
    EXPECT_EQ(com_writelog_ex("WARNING", 5, "v", "named"), 0);
    EXPECT_EQ(com_closelog_r(), 0);
    EXPECT_EQ(com_closelog(0), 0);
    auto lines = Lines(err.Stop());
    const std::string self = "\\d+";  // the banners carry pthread_self's low bits
    const std::string tid = Tid();
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_TRUE(IsLine(lines[0], "NOTICE", "Default", tid, kDash + " open log_r\\." + self + " -{12}")) << lines[0];
    EXPECT_TRUE(IsLine(lines[1], "WARNING", "Default", tid, kDash + " open log_r\\." + self + "\\.wf -{12}"));
    EXPECT_TRUE(IsLine(lines[2], "DEBUG", "Default", tid, "lazy")) << lines[2];
    EXPECT_NE(lines[4].find("]log version=-1 should >= 0"), std::string::npos);
    EXPECT_NE(lines[5].find("]log type should not be NULL"), std::string::npos);
    EXPECT_TRUE(std::regex_match(lines[7], std::regex(std::string("3 t NOTICE: ") + kHead + "Default \\* " + tid + " m1")))
        << lines[7];
    EXPECT_TRUE(std::regex_match(lines[8], std::regex(std::string("0 t NOTICE: ") + kHead + "Default \\* " + tid + " v0")))
        << lines[8];
    EXPECT_TRUE(IsLine(lines[9], "NOTICE", "Default", tid, "plain")) << lines[9];
    EXPECT_TRUE(std::regex_match(lines[10], std::regex("5 v WARNING: .* named"))) << lines[10];
    EXPECT_TRUE(IsLine(lines[11], "NOTICE", "Default", tid, kDash + " close log_r\\." + self + " -{12}"));
  });
}

// Two threads taking turns: Wait (n) until turn n, Give () passes it on.
struct Turns {
  void Wait(int n) {
    std::unique_lock<std::mutex> lock(mu);
    cv.wait(lock, [&] { return turn == n; });
  }
  void Give() {
    std::lock_guard<std::mutex> lock(mu);
    ++turn;
    cv.notify_all();
  }
  std::mutex mu;
  std::condition_variable cv;
  int turn = 0;
};

comspace::Appender* CaptureKind(com_device_t& dev) {
  auto* app = new CaptureAppender();
  app->setDeviceInfo(dev);
  comspace::comlog_get_nameMg()->set(dev.file, static_cast<comspace::Appender*>(app));
  return app;
}

TEST(Comlog, ThreadsAcrossCloseReopenAndReset) {
  InChild([] {
    ASSERT_EQ(com_registappender("CAPT", CaptureKind, nullptr), 0);
    com_device_t capt;
    strcpy(capt.type, "CAPT");
    strcpy(capt.file, "one");
    capt.log_mask = comspace::COMLOG_SYSLEVEL_MASK;
    // One thread lives across two openings and a reset (odd turns).
    Turns turns;
    std::thread worker([&turns] {
      for (int round = 0; round < 2; ++round) {
        turns.Wait(2 * round + 1);
        EXPECT_EQ(com_writelog(UL_LOG_NOTICE, "from the worker"), 0);  // its own category
        EXPECT_EQ(com_openlog_r(), -1);  // already holds one
        EXPECT_EQ(com_closelog_r(), 0);
        turns.Give();
      }
      turns.Wait(5);
      EXPECT_EQ(com_writelog("NOTICE", "lazy after reset"), 0);
      EXPECT_EQ(com_closelog_r(), 0);
      turns.Give();
    });
    CaptureFd err(2);
    for (int round = 0; round < 2; ++round) {
      EXPECT_EQ(com_openlog("p", &capt, 1, nullptr), 0);
      auto* app = static_cast<CaptureAppender*>(
          static_cast<comspace::Appender*>(comspace::comlog_get_nameMg()->get(2, "one")));
      turns.Give();
      turns.Wait(2 * round + 2);
      EXPECT_EQ(app->lines.size(), 7u);  // two open banners, the worker's five lines
      EXPECT_EQ(com_closelog(0), 0);
    }
    err.Stop();

    // A device of an unknown kind: nothing stays open; then a plain open works.
    com_device_t bad;
    strcpy(bad.type, "NOSUCH");
    strcpy(bad.host, "h");
    strcpy(bad.file, "f");
    CaptureFd err2(2);
    EXPECT_EQ(com_openlog("p", &bad, 1, nullptr), -1);
    EXPECT_EQ(com_logstatus(), 0);
    com_device_t dev;
    ASSERT_EQ(com_openlog("p", &dev, 0, nullptr), 0);
    EXPECT_EQ(com_resetlog(), 0);
    EXPECT_EQ(com_logstatus(), 0);
    EXPECT_EQ(com_resetlog(), 0);
    turns.Give();
    turns.Wait(6);
    worker.join();
    EXPECT_EQ(com_closelog(0), 0);
    std::string text = err2.Stop();
    EXPECT_NE(text.find("]create appender h:f err"), std::string::npos) << text;
    EXPECT_NE(text.find("lazy after reset"), std::string::npos);
  });
}

TEST(Comlog, DevicesMasksAndStatusCalls) {
  InChild([] {
    char audit[] = "AUDIT";
    char tty[] = "TTY";
    EXPECT_EQ(com_setappendermask(nullptr), 0);
    CaptureFd err(2);
    EXPECT_EQ(com_setappendermask(tty), -1);
    EXPECT_EQ(com_setdevices(nullptr, 1, nullptr), -1);
    com_device_t dev;
    comspace::com_logstat_t ls;  // no self-defined names: all of them pass
    ASSERT_EQ(com_openlog("p", &dev, 0, &ls), 0);
    com_device_t more[3] = {Tty(), Tty(), Tty()};
    strcpy(more[1].type, "NOSUCH");  // skipped
    more[0].layout = new comspace::Layout();
    more[0].layout->setPattern("own %L %R");
    more[2].layout = new comspace::Layout();  // past n: not taken
    more[2].layout->setPattern("third %R");
    EXPECT_EQ(com_setdevices(more, 2, audit), 0);
    EXPECT_EQ(com_getlogid(audit), 32);
    EXPECT_EQ(com_writelog("AUDIT", "audited"), 0);  // the new appender only
    EXPECT_EQ(com_setappendermask(tty), 0);  // no back-up appenders: nothing printed
    EXPECT_EQ(com_writelog(UL_LOG_NOTICE, "masked"), 0);
    EXPECT_NE(com_getthreaddata(), nullptr);
    EXPECT_EQ(com_getevent(), com_getthreaddata()->event);
    // A device naming the last self-defined level there is room for is
    // added; one naming a level past it is refused.
    for (int id = 33; id < 63; ++id) ASSERT_EQ(comspace::createSelfLog(("L" + std::to_string(id)).c_str()), id);
    char last[] = "LAST";
    char past[] = "PAST";
    com_device_t one = Tty();
    EXPECT_EQ(com_setdevices(&one, 1, last), 0);
    EXPECT_EQ(com_getlogid(last), 63);
    EXPECT_EQ(com_setdevices(&one, 1, past), -1);
    EXPECT_EQ(com_closelog(0), 0);
    std::string text = err.Stop();
    EXPECT_NE(text.find("]create selflog PAST err"), std::string::npos) << text;
    EXPECT_NE(text.find("]com_openlog not called!"), std::string::npos);
    EXPECT_NE(text.find("\nown AUDIT audited\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("masked"), std::string::npos) << text;
    EXPECT_EQ(text.find("third"), std::string::npos) << text;
    delete more[2].layout;

    struct Row {
      int t;
      uint64_t mask;
    } rows[] = {{0, 0}, {1, 0x2}, {3, 0x6}, {4, 0x16}, {16, 0x10116}, {100, 0x10116}};
    for (const Row& r : rows) EXPECT_EQ(comspace::comlog_get_lower_syslevel(r.t), r.mask) << r.t;
  });
}

TEST(Comlog, SixteenThreadsThroughTheTerminalToAPipe) {
  InChild([] {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string out;
    std::thread reader([&] {
      char buf[65536];
      for (ssize_t n; (n = read(fds[0], buf, sizeof(buf))) > 0;) out.append(buf, static_cast<size_t>(n));
    });
    fflush(stderr);
    int saved = dup(2);
    dup2(fds[1], 2);
    close(fds[1]);
    com_device_t dev;
    comspace::com_logstat_t ls;
    ls.localtime_nolock = 1;
    ASSERT_EQ(com_openlog("mt", &dev, 0, &ls), 0);
    constexpr int kThreads = 16;
    constexpr int kLines = 400;
    const std::string pad(150, '.');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([t, &pad] {
        for (int i = 0; i < kLines; ++i) com_writelog(UL_LOG_NOTICE, "t%02d-%04d %s|", t, i, pad.c_str());
        com_closelog_r();
      });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(com_closelog(0), 0);
    dup2(saved, 2);
    close(saved);
    reader.join();
    close(fds[0]);

    std::map<std::string, int> seen;
    const std::regex shape(std::string("NOTICE: ") + kHead + R"(mt \* \d+ (t\d\d-\d\d\d\d) \.{150}\|)");
    int banners = 0;
    for (const std::string& line : Lines(out)) {
      std::smatch m;
      if (std::regex_match(line, m, shape)) {
        ++seen[m[1]];
      } else if (line.find(" log") != std::string::npos && line.find(kDash) != std::string::npos) {
        ++banners;
      } else {
        ADD_FAILURE() << "broken line: " << line;
      }
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
    for (const auto& kv : seen) EXPECT_EQ(kv.second, 1) << kv.first;
    EXPECT_EQ(banners, 2 + kThreads * 4);
  });
}

// Closing waits 10 s for a live thread that never closes its log (slow: run
// with PBDICT_SLOW_TESTS=1).
TEST(Comlog, CloseWaitsForThreadsThatForgetToClose) {
  if (getenv("PBDICT_SLOW_TESTS") == nullptr) GTEST_SKIP() << "slow; set PBDICT_SLOW_TESTS=1";
  InChild([] {
    com_device_t dev;
    ASSERT_EQ(com_openlog("p", &dev, 0, nullptr), 0);
    std::atomic<int> step{0};
    std::thread forgets([&step] {
      com_writelog(UL_LOG_NOTICE, "opens and forgets");
      step = 1;
      while (step != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (step != 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    CaptureFd err(2);
    EXPECT_EQ(com_closelog(0), 0);
    std::string text = err.Stop();
    step = 2;
    forgets.join();
    size_t waits = 0;
    for (size_t at = text.find("Closelog: Waiting for other thread......"); at != std::string::npos;
         at = text.find("Closelog: Waiting", at + 1)) {
      ++waits;
    }
    EXPECT_EQ(waits, 10u);
    EXPECT_NE(text.find("Did you forget to call com_closelog_r in some threads?....."), std::string::npos);
  });
}

}  // namespace
