// Closing and reopening the framework while other threads write through it:
// nothing they can reach is freed, every line a call reports as written is
// in the output once and whole, and a thread stuck in an appender delays a
// close by the bounded wait at most.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comlog/appender/appenderfactory.h"
#include "comlog/comlog_internal.h"
#include "comlog/diag.h"
#include "comlog/namemg.h"
#include "comlog/write_gate.h"
#include "comlog/xsync.h"
#include "comlog_test_util.h"
#include "ul_log.h"

namespace {

using comlogtest::InChild;
using comlogtest::Lines;
using comspace::com_device_t;
using Clock = std::chrono::steady_clock;

const std::string kDash(63, '-');

// Points standard error at a file of dir for the scope.
class StderrToFile {
 public:
  explicit StderrToFile(const std::string& path) : path_(path) {
    fflush(stderr);
    saved_ = dup(2);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
    dup2(fd, 2);
    close(fd);
  }
  ~StderrToFile() { Restore(); }
  std::string Restore() {
    if (saved_ < 0) return "";
    fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
    return testsupport::ReadFile(path_);
  }

 private:
  std::string path_;
  int saved_ = -1;
};

// The key of a whole test line "NOTICE: ... tNN-NNNNNx <pad>|" whose tag x
// is one of tags, else "".
std::string KeyOf(const std::string& line, const std::string& pad, const std::string& tags) {
  constexpr size_t kKey = 10;  // "tNN-NNNNNx"
  const std::string tail = " " + pad + "|";
  if (line.compare(0, 8, "NOTICE: ") != 0 || line.size() < 8 + kKey + 1 + tail.size() ||
      line.compare(line.size() - tail.size(), tail.size(), tail) != 0) {
    return "";
  }
  const size_t at = line.size() - tail.size() - kKey;
  const std::string key = line.substr(at, kKey);
  if (line[at - 1] != ' ' || key[0] != 't' || key[3] != '-' || tags.find(key[9]) == std::string::npos) return "";
  for (size_t i : {1, 2, 4, 5, 6, 7, 8}) {
    if (!isdigit(static_cast<unsigned char>(key[i]))) return "";
  }
  return key;
}

// Checks the output of writers whose keys carry one of tags: every line is
// a whole test line, a banner or a framework diagnostic; every key in
// written (the lines a call reported as written) is there exactly once.
// Returns how many keys written holds.
size_t ExpectWholeAndOnce(const std::string& text, const std::string& pad, const std::string& tags,
                          const std::vector<std::vector<std::string>>& written) {
  std::map<std::string, int> seen;
  int broken = 0;
  for (const std::string& line : Lines(text)) {
    const std::string key = KeyOf(line, pad, tags);
    if (!key.empty()) {
      ++seen[key];
    } else if (line.find(kDash) == std::string::npos && line.find("[comlog.cpp:") == std::string::npos &&
               ++broken <= 5) {
      ADD_FAILURE() << "broken line: " << line;
    }
  }
  EXPECT_EQ(broken, 0);
  size_t total = 0, missing = 0, twice = 0;
  for (const auto& lines : written) {
    total += lines.size();
    for (const std::string& key : lines) {
      auto it = seen.find(key);
      if (it == seen.end()) {
        if (++missing <= 5) ADD_FAILURE() << "reported as written, not in the output: " << key;
      } else if (it->second != 1 && ++twice <= 5) {
        ADD_FAILURE() << key << " is in the output " << it->second << " times";
      }
    }
  }
  EXPECT_EQ(missing, 0u);
  EXPECT_EQ(twice, 0u);
  return total;
}

TEST(ComlogClose, SixteenThreadsWriteWhileTheFrameworkClosesAndReopens) {
  testsupport::TempDir dir;
  InChild([&] {
    constexpr int kThreads = 16;
    constexpr int kRounds = 200;
    constexpr int kPerRound = 10;  // a thread's lines per round, at most
    const std::string pad(80, '.');
    StderrToFile out(dir.file("err"));
    com_device_t dev;
    ASSERT_EQ(com_openlog("mt", &dev, 0, nullptr), 0);

    std::atomic<bool> done{false};
    std::atomic<int> rounds_done{0};
    std::vector<std::vector<std::string>> written(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([t, &pad, &done, &rounds_done, &written] {
        for (int i = 0; !done.load(); ++i) {
          // Keeps pace with the closes: the lines spread over every round.
          // A thread that waits gives back its hold first, so the close it
          // waits for does not wait for it.
          if (i >= (rounds_done.load() + 1) * kPerRound) com_closelog_r();
          while (i >= (rounds_done.load() + 1) * kPerRound && !done.load()) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
          }
          char key[32];
          // Even lines through the thread's category (by level name, which
          // opens lazily), odd ones through the process log's call.
          snprintf(key, sizeof(key), "t%02d-%05d%c", t, i, i % 2 == 0 ? 'c' : 'u');
          const int rc = i % 2 == 0 ? com_writelog("NOTICE", "%s %s|", key, pad.c_str())
                                    : ul_writelog(UL_LOG_NOTICE, "%s %s|", key, pad.c_str());
          if (rc == 0) written[t].push_back(key);
          // Gives back the hold the lazy opening took, so closes need not
          // wait for this thread.
          if (i % 4 == 3) com_closelog_r();
          std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        com_closelog_r();
      });
    }
    Clock::duration longest{0};
    int reopened_after_lazy = 0;
    for (int round = 0; round < kRounds; ++round) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      const auto start = Clock::now();
      EXPECT_EQ(com_closelog(0), 0);
      longest = std::max(longest, Clock::now() - start);
      // A writer may open the framework lazily between the close and this
      // open, which then refuses ("Log is open...."): close that one too.
      int tries = 0;
      while (com_openlog("mt", &dev, 0, nullptr) != 0 && ++tries < 1000) {
        ++reopened_after_lazy;
        com_closelog(0);
      }
      ASSERT_LT(tries, 1000);
      ++rounds_done;
    }
    done = true;
    for (auto& th : threads) th.join();
    EXPECT_EQ(com_closelog(0), 0);
    const std::string text = out.Restore();
    EXPECT_LT(longest, std::chrono::seconds(10));

    const size_t total = ExpectWholeAndOnce(text, pad, "cu", written);
    EXPECT_GT(total, static_cast<size_t>(kThreads * kRounds / 4)) << "too few lines to mean anything";
    RecordProperty("lines", static_cast<int>(total));
    RecordProperty("lazy_reopens", reopened_after_lazy);
  });
}

// Closes and reopens the framework rounds times (every tenth time resetting
// it instead); returns the longest close.
Clock::duration CloseAndReopen(int rounds, com_device_t* dev) {
  Clock::duration longest{0};
  for (int round = 0; round < rounds; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto start = Clock::now();
    EXPECT_EQ(round % 10 == 9 ? com_resetlog() : com_closelog(0), 0);
    longest = std::max(longest, Clock::now() - start);
    int tries = 0;
    while (com_openlog("mt", dev, 0, nullptr) != 0 && ++tries < 1000) com_closelog(0);
    EXPECT_LT(tries, 1000);
  }
  return longest;
}

// A stream line is built over several calls, and a thread may keep the
// category, Event and record it was handed for as long as it likes: closes,
// resets and reopens in between free nothing it holds, and the line is
// written whole or not at all.
TEST(ComlogClose, StreamLinesAndHandedOutRecordsOutliveClosesResetsAndReopens) {
  testsupport::TempDir dir;
  InChild([&] {
    constexpr int kStreamers = 4;
    constexpr int kHolders = 4;
    constexpr int kRounds = 200;
    const std::string pad(60, '.');
    StderrToFile out(dir.file("err"));
    com_device_t dev;
    ASSERT_EQ(com_openlog("mt", &dev, 0, nullptr), 0);

    std::atomic<bool> done{false};
    std::vector<std::vector<std::string>> written(kStreamers + kHolders);
    std::vector<std::thread> threads;
    for (int t = 0; t < kStreamers; ++t) {
      threads.emplace_back([t, &pad, &done, &written] {
        for (int i = 0; !done.load(); ++i) {
          comspace::Category* c = com_writelog_stream(UL_LOG_NOTICE);
          if (c != nullptr) {
            char key[16];
            snprintf(key, sizeof(key), "t%02d-%05ds", t, i % 100000);
            *c << key;
            std::this_thread::yield();  // a close may come between the pieces
            if (i % 2 == 1) {
              // The line goes on through the category a second call hands
              // out, which may open lazily (writing banners meanwhile).
              if (comspace::Category* again = com_writelog_stream(UL_LOG_NOTICE)) c = again;
            }
            *c << ' ' << pad.substr(0, 30).c_str();
            std::this_thread::yield();
            *c << pad.substr(30).c_str() << '|';
            if (c->flush() == 0) written[t].push_back(key);
          }
          com_closelog_r();  // gives back the hold the lazy opening took
          std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
      });
    }
    for (int t = kStreamers; t < kStreamers + kHolders; ++t) {
      threads.emplace_back([t, &pad, &done, &written] {
        // Each is NULL while a close is under way (a thread cannot open then).
        comspace::Category* c = nullptr;
        comspace::Event* ev = nullptr;
        comspace::com_thread_data_t* td = nullptr;
        while ((c == nullptr || ev == nullptr || td == nullptr) && !done.load()) {
          c = com_getcategory();
          ev = com_getevent();
          td = com_getthreaddata();
          com_closelog_r();
        }
        if (done.load()) return;
        ASSERT_EQ(td->event, ev);
        for (int i = 0; !done.load(); ++i) {
          char key[16];
          snprintf(key, sizeof(key), "t%02d-%05dh", t, i % 100000);
          int rc;
          if (i % 2 == 0) {
            rc = c->print(UL_LOG_NOTICE, "%s %s|", key, pad.c_str());
          } else {
            *c->setLogInfo(UL_LOG_NOTICE) << key << ' ' << pad.c_str() << '|';
            rc = c->flush();
          }
          if (rc == 0) written[t].push_back(key);
          if (i % 8 == 7) {
            // Asked again: the thread's records are the ones it holds, taken
            // into the current opening.
            comspace::Category* again = com_getcategory();
            comspace::Event* ev_again = com_getevent();
            comspace::com_thread_data_t* td_again = com_getthreaddata();
            EXPECT_TRUE(again == nullptr || again == c);
            EXPECT_TRUE(ev_again == nullptr || ev_again == ev);
            EXPECT_TRUE(td_again == nullptr || td_again == td);
            com_closelog_r();
          }
          std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
      });
    }
    const Clock::duration longest = CloseAndReopen(kRounds, &dev);
    done = true;
    for (auto& th : threads) th.join();
    EXPECT_EQ(com_closelog(0), 0);
    const std::string text = out.Restore();
    EXPECT_LT(longest, std::chrono::seconds(12));  // the close's own bound is 10 s

    size_t streamed = 0;
    for (int t = 0; t < kStreamers; ++t) streamed += written[t].size();
    const size_t total = ExpectWholeAndOnce(text, pad, "sh", written);
    EXPECT_GT(streamed, static_cast<size_t>(kRounds)) << "too few stream lines to mean anything";
    EXPECT_GT(total - streamed, static_cast<size_t>(kRounds)) << "too few lines by held categories";
    RecordProperty("stream_lines", static_cast<int>(streamed));
    RecordProperty("held_lines", static_cast<int>(total - streamed));
  });
}

// The same, step by step in one thread: after a close the category it holds
// writes nothing; its next call takes the same category, Event and record
// into the new opening, and a line begun before goes on whole.
TEST(ComlogClose, HeldRecordsDropLinesAfterACloseAndServeTheNextOpening) {
  InChild([] {
    testsupport::CaptureFd err(2);
    com_device_t dev;
    ASSERT_EQ(com_openlog("p", &dev, 0, nullptr), 0);
    comspace::Category* c = com_getcategory();
    comspace::Event* ev = com_getevent();
    comspace::com_thread_data_t* td = com_getthreaddata();
    ASSERT_NE(c, nullptr);
    *com_writelog_stream(UL_LOG_NOTICE) << "cut by the close";
    EXPECT_EQ(com_closelog(0), 0);
    *c << " dropped";
    EXPECT_EQ(c->flush(), -1);
    EXPECT_EQ(c->print(UL_LOG_NOTICE, "not written"), -1);
    EXPECT_EQ(c->addAppenderMask("TTY"), -1);
    *c->setLogInfo(UL_LOG_NOTICE) << "dropped too";
    EXPECT_EQ(c->flush(), -1);

    // Begun while closed, ended after an opening: one whole line. The Event
    // keeps its buffers while it holds the line.
    const int size = ev->_msgbuf_size;
    comspace::Event::setMaxLogLength(2 * size);
    *c->setLogInfo(UL_LOG_NOTICE) << "begun while closed";
    ASSERT_EQ(com_openlog("p", &dev, 0, nullptr), 0);
    EXPECT_EQ(com_getcategory(), c);
    EXPECT_EQ(ev->_msgbuf_size, size);
    *c << ", ended open";
    EXPECT_EQ(c->flush(), 0);

    // Begun open, and ended through a lazy opening that writes its banners
    // meanwhile.
    *com_writelog_stream(UL_LOG_NOTICE) << "begun open";
    EXPECT_EQ(com_closelog(0), 0);
    comspace::Category* again = com_writelog_stream(UL_LOG_NOTICE);
    EXPECT_EQ(again, c);
    *again << ", ended after a lazy opening";
    EXPECT_EQ(again->flush(), 0);
    EXPECT_EQ(com_getevent(), ev);
    EXPECT_EQ(com_getthreaddata(), td);
    EXPECT_EQ(com_closelog(0), 0);
    // Holding no line, it takes the size new Events get.
    EXPECT_EQ(com_writelog("NOTICE", "lazily"), 0);
    EXPECT_EQ(com_getevent(), ev);
    EXPECT_EQ(ev->_msgbuf_size, 2 * size);
    EXPECT_EQ(ev->_render_msgbuf_size, 2 * size);
    EXPECT_EQ(com_closelog(0), 0);

    const std::string text = err.Stop();
    EXPECT_EQ(text.find("cut by the close"), std::string::npos) << text;
    EXPECT_EQ(text.find("dropped"), std::string::npos) << text;
    EXPECT_EQ(text.find("not written"), std::string::npos) << text;
    EXPECT_NE(text.find(" begun while closed, ended open\n"), std::string::npos) << text;
    const size_t banner = text.find(" open log_r.");
    const size_t line = text.find(" begun open, ended after a lazy opening\n");
    EXPECT_NE(line, std::string::npos) << text;
    EXPECT_LT(banner, line) << text;
  });
}

// An appender whose print of a line holding "stuck" blocks until released;
// it marks its deletion.
std::mutex g_stuck_mu;
std::condition_variable g_stuck_cv;
bool g_stuck_inside = false;
bool g_stuck_released = false;
std::atomic<bool> g_stuck_deleted{false};

class StuckAppender : public comspace::Appender {
 public:
  ~StuckAppender() override { g_stuck_deleted = true; }
  int open(void*) override { return 0; }
  int close(void*) override { return 0; }
  int print(comspace::Event* evt) override {
    if (strstr(evt->_msgbuf, "stuck") == nullptr) return 0;
    std::unique_lock<std::mutex> lock(g_stuck_mu);
    g_stuck_inside = true;
    g_stuck_cv.notify_all();
    g_stuck_cv.wait(lock, [] { return g_stuck_released; });
    return 0;
  }
  int binprint(void*, int) override { return 0; }
};

comspace::Appender* StuckKind(com_device_t& dev) {
  auto* app = new StuckAppender();
  app->setDeviceInfo(dev);
  comspace::comlog_get_nameMg()->set(dev.file, static_cast<comspace::Appender*>(app));
  return app;
}

TEST(ComlogClose, CloseReturnsWithinItsWaitWhileAWriterIsStuckInAnAppender) {
  testsupport::TempDir dir;
  InChild([&] {
    ASSERT_EQ(com_registappender("STUCK", StuckKind, nullptr), 0);
    com_device_t dev;
    strcpy(dev.type, "STUCK");
    strcpy(dev.file, "stuck");
    dev.log_mask = comspace::COMLOG_SYSLEVEL_MASK;
    StderrToFile err(dir.file("err"));
    ASSERT_EQ(com_openlog("p", &dev, 1, nullptr), 0);
    int rc = -1;
    std::thread writer([&rc] {
      // The thread gives back its hold first: only the stuck write delays
      // the close.
      com_writelog(UL_LOG_NOTICE, "first");
      com_closelog_r();
      rc = com_writelog(UL_LOG_NOTICE, "stuck");
    });
    {
      std::unique_lock<std::mutex> lock(g_stuck_mu);
      g_stuck_cv.wait(lock, [] { return g_stuck_inside; });
    }
    const auto start = Clock::now();
    EXPECT_EQ(com_closelog(0), 0);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(9500));
    EXPECT_LT(took, std::chrono::milliseconds(11000));
    EXPECT_EQ(com_logstatus(), 0);
    EXPECT_FALSE(g_stuck_deleted);  // the stuck thread still reaches it

    // Others write on meanwhile: the framework opens again on new objects.
    com_device_t tty;
    ASSERT_EQ(com_openlog("p", &tty, 0, nullptr), 0);
    EXPECT_EQ(com_writelog(UL_LOG_NOTICE, "after the close"), 0);

    {
      std::lock_guard<std::mutex> lock(g_stuck_mu);
      g_stuck_released = true;
    }
    g_stuck_cv.notify_all();
    writer.join();
    EXPECT_EQ(rc, 0);  // completed on the old objects
    EXPECT_TRUE(g_stuck_deleted);  // deleted once the last writer left
    EXPECT_EQ(com_closelog(0), 0);
    const std::string text = err.Restore();
    EXPECT_NE(text.find("after the close"), std::string::npos) << text;
  });
}

// A writer is stuck in an appender past a close's wait at the gate, and the
// close (without bound) retires the registry with an AFILE whose file, a
// FIFO nobody reads, does not take the lines it holds. The stuck writer,
// the last to leave the gate, deletes the retired appenders: AFILE tries
// its lines once there and reports the rest lost, instead of keeping that
// thread for the close's bound (here none).
TEST(ComlogClose, ARetiredAsyncFileTriesItsLinesOnceOnTheThreadThatLeavesLast) {
  testsupport::TempDir dir;
  InChild([&] {
    comlogtest::HangGuard();
    ASSERT_EQ(com_registappender("STUCK", StuckKind, nullptr), 0);
    const std::string fifo = dir.file("log");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    com_device_t devs[2];
    strcpy(devs[0].type, "STUCK");
    strcpy(devs[0].file, "stuck");
    devs[0].log_mask = comspace::COMLOG_SYSLEVEL_MASK;
    strcpy(devs[1].type, "AFILE");
    snprintf(devs[1].host, sizeof(devs[1].host), "%s", dir.path().c_str());
    strcpy(devs[1].file, "log");
    devs[1].log_mask = comspace::COMLOG_SYSLEVEL_MASK;
    testsupport::CaptureFd err(2);
    ASSERT_EQ(com_openlog("p", devs, 2, nullptr), 0);
    {
      // AFILE's writer waits meanwhile: every line is taken, 1 MB for a
      // pipe of 64 KiB.
      comspace::xAutoLock hold(&comspace::AppenderFactory::tryAppender(devs[1])->_lock);
      const std::string pad(1000, 'p');
      for (int i = 0; i < 1000; ++i) ASSERT_EQ(com_writelog(UL_LOG_NOTICE, "%04d %s", i, pad.c_str()), 0);
    }
    std::atomic<bool> left{false};
    int rc = -1;
    std::thread writer([&rc, &left] {
      com_writelog(UL_LOG_NOTICE, "first");
      com_closelog_r();  // only the stuck write delays the close
      rc = com_writelog(UL_LOG_NOTICE, "stuck");
      left = true;
    });
    {
      std::unique_lock<std::mutex> lock(g_stuck_mu);
      g_stuck_cv.wait(lock, [] { return g_stuck_inside; });
    }
    EXPECT_EQ(com_closelog(-1), 0);  // retires the registry after the gate's 10 s
    EXPECT_FALSE(g_stuck_deleted);
    {
      std::lock_guard<std::mutex> lock(g_stuck_mu);
      g_stuck_released = true;
    }
    g_stuck_cv.notify_all();
    // The bound of a call that must not block; past it the FIFO is read, so
    // that a writer that keeps trying ends too.
    bool in_time = false;
    for (int i = 0; i < 5000 && !(in_time = left.load()); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    char buf[65536];
    while (!left.load()) {
      if (read(reader, buf, sizeof(buf)) <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    writer.join();
    close(reader);
    EXPECT_TRUE(in_time) << "the thread that left last kept trying the retired AFILE's lines";
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(g_stuck_deleted);
    const std::string text = err.Stop();
    EXPECT_NE(text.find(" lines lost: "), std::string::npos) << text.substr(0, 2000);
    ASSERT_EQ(unlink(fifo.c_str()), 0);
  });
}

// A thread that ended holds the framework open no longer, however it opened
// (lazily by writing, or by com_openlog_r without com_closelog_r): closing
// waits only for the threads alive that hold it.
TEST(ComlogClose, ThreadsThatEndedHoldNothing) {
  InChild([] {
    testsupport::CaptureFd err(2);
    com_device_t dev;
    auto ended_writers = [] {
      std::vector<std::thread> threads;
      for (int t = 0; t < 3; ++t) threads.emplace_back([] { com_writelog("NOTICE", "lazily opened"); });
      for (auto& th : threads) th.join();
      std::thread([] { EXPECT_EQ(com_openlog_r(), 0); }).join();  // open now, by either way
    };
    auto timed_close = [] {
      const auto start = Clock::now();
      EXPECT_EQ(com_closelog(0), 0);
      return Clock::now() - start;
    };
    // Opened by com_openlog, then by the writers themselves, twice each.
    for (int round = 0; round < 4; ++round) {
      if (round % 2 == 0) {
        ASSERT_EQ(com_openlog("p", &dev, 0, nullptr), 0);
      }
      ended_writers();
      EXPECT_LT(timed_close(), std::chrono::seconds(2)) << "round " << round;
    }

    // A live holder still delays the close, until it gives its hold back.
    ASSERT_EQ(com_openlog("p", &dev, 0, nullptr), 0);
    std::atomic<int> step{0};
    Clock::time_point giving_back;
    std::thread holder([&] {
      EXPECT_EQ(com_openlog_r(), 0);
      step = 1;
      while (step != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(200));  // while the close waits
      giving_back = Clock::now();
      EXPECT_EQ(com_closelog_r(), 0);
      while (step != 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (step != 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    step = 2;
    const auto start = Clock::now();
    EXPECT_EQ(com_closelog(0), 0);
    const auto end = Clock::now();
    EXPECT_GT(end, giving_back);
    EXPECT_LT(end - start, std::chrono::seconds(3));
    step = 3;
    holder.join();
  });
}

// The test lines in the files of dir other than those named in skip (the
// process log's thread files, where a thread's lines go while the framework
// is off), one per line.
std::string ProcessLogLines(const testsupport::TempDir& dir, const std::vector<std::string>& skip) {
  std::string out;
  for (const std::string& name : testsupport::FilesStartingWith(dir.path(), "")) {
    if (std::find(skip.begin(), skip.end(), name) != skip.end()) continue;
    for (const std::string& line : Lines(testsupport::ReadFile(dir.file(name)))) {
      if (line.compare(0, 8, "NOTICE: ") == 0) out += line + "\n";
    }
  }
  return out;
}

// The main thread resets the framework and opens it again from a
// configuration file, cycles times (every fourth time closing instead),
// while openers threads loop com_openlog_r, a line and com_closelog_r. No
// interleaving may hang (the case's alarm ends a hang), and every line
// answered 0 is written once and whole, in the framework's output or, while
// it is off, in the process log's.
void ResetAndReopenAgainstOpeners(int openers) {
  testsupport::TempDir dir;
  InChild([&] {
    comlogtest::HangGuard();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);  // the process log's thread files go here
    constexpr int kCycles = 200;
    const std::string pad(40, '.');
    testsupport::WriteFile(dir.file("log.conf"), "COMLOG_PROCNAME : mt\nCOMLOG_DEVICE_NUM : 0\n");
    StderrToFile out(dir.file("err"));
    ASSERT_EQ(com_loadlog(dir.path().c_str(), "log.conf"), 0);

    std::atomic<bool> done{false};
    std::atomic<int> cycles_done{0};
    std::vector<std::vector<std::string>> written(static_cast<size_t>(openers));
    std::vector<std::thread> threads;
    for (int t = 0; t < openers; ++t) {
      threads.emplace_back([t, &pad, &done, &cycles_done, &written] {
        for (int i = 0; !done.load() && i < 99999; ++i) {
          // Keeps pace with the cycles, so that every cycle meets openers.
          while (i >= (cycles_done.load() + 1) * 20 && !done.load()) std::this_thread::yield();
          com_openlog_r();
          char key[16];
          snprintf(key, sizeof(key), "t%02d-%05do", t, i);
          if (com_writelog(UL_LOG_NOTICE, "%s %s|", key, pad.c_str()) == 0) written[t].push_back(key);
          com_closelog_r();
        }
      });
    }
    for (int cycle = 0; cycle < kCycles; ++cycle) {
      EXPECT_EQ(cycle % 4 == 3 ? com_closelog(0) : com_resetlog(), 0);
      EXPECT_EQ(com_loadlog(dir.path().c_str(), "log.conf"), 0) << "cycle " << cycle;
      ++cycles_done;
    }
    done = true;
    for (auto& th : threads) th.join();
    EXPECT_EQ(com_closelog(0), 0);
    // While the framework is off, com_openlog_r is the process log's, which
    // refuses with two notes as long as that log was never opened.
    std::string text;
    for (const std::string& line : Lines(out.Restore())) {
      if (line.compare(0, 13, "in ul_log.cpp") != 0) text += line + "\n";
    }
    text += ProcessLogLines(dir, {"err", "log.conf"});

    const size_t total = ExpectWholeAndOnce(text, pad, "o", written);
    size_t framework = 0;  // lines in the framework's shape ("<process> * <thread>")
    for (const std::string& line : Lines(text)) framework += line.find(" mt * ") != std::string::npos;
    EXPECT_GT(framework, static_cast<size_t>(kCycles)) << "too few lines through the framework to mean anything";
    ::testing::Test::RecordProperty("lines", static_cast<int>(total));
    ::testing::Test::RecordProperty("framework_lines", static_cast<int>(framework));
  });
}

TEST(ComlogClose, ResetAndReopenAgainstOneThreadOpeningItself) { ResetAndReopenAgainstOpeners(1); }

TEST(ComlogClose, ResetAndReopenAgainstFourThreadsOpeningThemselves) { ResetAndReopenAgainstOpeners(4); }

// A thread reloads the registered level settings (from a file that is not
// there, which the configuration reader reports through the log) while the
// framework closes and reopens: no interleaving hangs.
TEST(ComlogClose, ReloadingLevelsWhileTheFrameworkClosesAndReopens) {
  testsupport::TempDir dir;
  InChild([&] {
    comlogtest::HangGuard();
    StderrToFile out(dir.file("err"));
    com_device_t dev;
    ASSERT_EQ(com_openlog("mt", &dev, 0, nullptr), 0);
    ASSERT_EQ(com_reglogstat(dir.path().c_str(), "missing.conf"), 0);
    std::atomic<bool> done{false};
    std::atomic<int> reloads{0};
    std::thread reloader([&] {
      while (!done.load()) {
        com_changelogstat();
        com_closelog_r();  // gives back the hold its report's lazy opening took
        ++reloads;
      }
    });
    for (int cycle = 0; cycle < 200; ++cycle) {
      const int before = reloads.load();
      while (reloads.load() == before) std::this_thread::yield();  // one reload per cycle at least
      EXPECT_EQ(cycle % 4 == 3 ? com_resetlog() : com_closelog(0), 0);
      int tries = 0;
      while (com_openlog("mt", &dev, 0, nullptr) != 0 && ++tries < 1000) com_closelog(0);
      ASSERT_LT(tries, 1000);
      com_reglogstat(dir.path().c_str(), "missing.conf");
    }
    done = true;
    reloader.join();
    EXPECT_EQ(com_closelog(0), 0);
    EXPECT_NE(out.Restore().find("missing.conf"), std::string::npos);
  });
}

// Holds the thread that reaches a seam until released: the framework's
// set-up (an opening with its registry made and its default level filter
// not yet), or com_loadlog with its layouts registered and its opening not
// begun. Each seam holds the first thread that reaches it.
std::mutex g_pause_mu;
std::condition_variable g_pause_cv;
bool g_paused = false;
bool g_pause_released = false;

void HoldUntilReleased() {
  std::unique_lock<std::mutex> lock(g_pause_mu);
  g_paused = true;
  g_pause_cv.notify_all();
  g_pause_cv.wait(lock, [] { return g_pause_released; });
}

void PauseSetUp() {
  comspace::comlog_setup_pause = nullptr;
  HoldUntilReleased();
}

void PauseLoad() {
  comspace::comlog_load_pause = nullptr;
  HoldUntilReleased();
}

void WaitUntilPaused() {
  std::unique_lock<std::mutex> lock(g_pause_mu);
  g_pause_cv.wait(lock, [] { return g_paused; });
}

void ReleasePause() {
  {
    std::lock_guard<std::mutex> lock(g_pause_mu);
    g_pause_released = true;
  }
  g_pause_cv.notify_all();
}

// com_openlog is held in its set-up while a lazy opening waits for it
// inside the gate, and a close shuts the gate meanwhile: both openings
// finish and leave the gate within the close's wait (com_openlog must not
// wait at the gate while it holds what the lazy opening waits for).
TEST(ComlogClose, AnOpeningAndALazyOpeningFinishWhileACloseWaitsAtTheGate) {
  InChild([] {
    comlogtest::HangGuard();
    testsupport::CaptureFd err(2);
    comspace::comlog_setup_pause = PauseSetUp;
    std::thread opener([] {
      com_device_t dev;
      EXPECT_EQ(com_openlog("p", &dev, 0, nullptr), 0);
    });
    WaitUntilPaused();
    std::atomic<bool> inside{false};
    std::thread lazy([&inside] {
      comspace::GateScope gate;
      inside = true;
      EXPECT_EQ(com_writelog("NOTICE", "lazy|"), 0);
    });
    while (!inside.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto& gate = comspace::comlog_write_gate();
    std::atomic<bool> shut{false};
    bool drained = false;
    std::thread closer([&] {
      gate.Shut(Clock::now());  // shut from now on, whoever is inside
      shut = true;
      drained = gate.Shut(Clock::now() + std::chrono::seconds(5));
      gate.Open();
      gate.Open();
    });
    while (!shut.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ReleasePause();
    closer.join();
    opener.join();
    lazy.join();
    EXPECT_TRUE(drained) << "the openings were still in the gate after 5 s";
    EXPECT_EQ(com_closelog(0), 0);
    EXPECT_NE(err.Stop().find(" lazy|\n"), std::string::npos);
  });
}

// com_openlog fails on a device of a kind that does not exist while another
// thread, inside the gate, waits for the opening to finish (its write by
// level name opens lazily). That thread cannot reach what the failed opening
// made, so the opening closes it without waiting at the gate for the thread
// (which waits for the opening): it returns at once, and the thread's line
// is then written through its own lazy opening.
TEST(ComlogClose, AFailedOpeningDoesNotWaitForAThreadThatWaitsForIt) {
  InChild([] {
    comlogtest::HangGuard();
    testsupport::CaptureFd err(2);
    comspace::comlog_setup_pause = PauseSetUp;
    int opened = 0;
    Clock::time_point returned;
    std::thread opener([&opened, &returned] {
      com_device_t dev;
      strcpy(dev.type, "NOSUCH");
      opened = com_openlog("p", &dev, 1, nullptr);
      returned = Clock::now();
    });
    WaitUntilPaused();
    std::atomic<bool> inside{false};
    int written = -1;
    std::thread writer([&inside, &written] {
      comspace::GateScope gate;
      inside = true;
      written = com_writelog("NOTICE", "waiting writer|");
    });
    while (!inside.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto released = Clock::now();
    ReleasePause();
    opener.join();
    writer.join();
    EXPECT_EQ(opened, -1);
    // The bound of a call that must not block (the gate's wait is 10 s).
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(returned - released).count(), 5000)
        << "the failed opening waited at the gate";
    EXPECT_EQ(written, 0);
    EXPECT_EQ(com_logstatus(), 1);  // opened by the writer
    EXPECT_EQ(com_closelog(0), 0);
    const std::string text = err.Stop();
    EXPECT_NE(text.find(" waiting writer|\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Closelog: Waiting"), std::string::npos) << text;
  });
}

// com_loadlog hands the devices' own layouts to the registry, setting the
// framework up for it, before it opens: it is inside the gate from then on,
// so that a close or reset from another thread deletes nothing under it.
TEST(ComlogClose, LoadingAConfigurationRegistersItsLayoutsInsideTheGate) {
  testsupport::TempDir dir;
  InChild([&] {
    comlogtest::HangGuard();
    testsupport::WriteFile(dir.file("log.conf"),
                           "COMLOG_PROCNAME : p\nCOMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : D\nD_TYPE : TTY\n"
                           "D_LAYOUT : %R\n");
    testsupport::CaptureFd err(2);
    comspace::comlog_setup_pause = PauseSetUp;
    int loaded = -1, written = -1;
    std::thread loader([&] {
      loaded = com_loadlog(dir.path().c_str(), "log.conf");
      written = com_writelog(UL_LOG_NOTICE, "in its own layout|");
    });
    WaitUntilPaused();  // in the set-up for the layouts
    auto& gate = comspace::comlog_write_gate();
    const bool empty = gate.Shut(Clock::now());
    gate.Open();
    ReleasePause();
    loader.join();
    EXPECT_FALSE(empty) << "the layouts were registered outside the gate";
    EXPECT_EQ(loaded, 0);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(com_closelog(0), 0);
    EXPECT_NE(err.Stop().find("\nin its own layout|\n"), std::string::npos);
  });
}

// How an opening beside a good com_loadlog fails: a second com_loadlog
// whose FILE device's folder cannot be made, or com_openlog with a device
// of a kind that does not exist.
enum class Failing { kLoadWithoutItsFolder, kOpenOfAnUnknownKind };

// The files of a good loader (a terminal device in a layout of its own,
// "own|%R") and of a loader whose FILE folder cannot be made (its parent is
// missing), with a layout of its own too.
void WriteLoaderFiles(const testsupport::TempDir& dir) {
  testsupport::WriteFile(dir.file("good.conf"),
                         "COMLOG_PROCNAME : good\nCOMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : G\nG_TYPE : TTY\n"
                         "G_LAYOUT : own|%R\n");
  testsupport::WriteFile(dir.file("bad.conf"), "COMLOG_PROCNAME : bad\nCOMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : B\n"
                                               "B_TYPE : FILE\nB_PATH : " +
                                                   dir.file("missing/sub") + "\nB_NAME : n\nB_LAYOUT : bad|%R\n");
}

int FailingOpening(const testsupport::TempDir& dir, Failing how) {
  if (how == Failing::kLoadWithoutItsFolder) return com_loadlog(dir.path().c_str(), "bad.conf");
  com_device_t dev;
  strcpy(dev.type, "NOSUCH");
  return com_openlog("bad", &dev, 1, nullptr);
}

// Runs body in a child beside the loaders' files, its standard error
// captured (body may stop the capture) and a hang ended.
void WithLoaderFiles(const std::function<void(const testsupport::TempDir&, testsupport::CaptureFd*)>& body) {
  testsupport::TempDir dir;
  WriteLoaderFiles(dir);
  InChild([&] {
    comlogtest::HangGuard();
    testsupport::CaptureFd err(2);
    body(dir, &err);
  });
}

// Runs a and b on two threads that start together, and waits for both.
void RunTogether(const std::function<void()>& a, const std::function<void()>& b) {
  std::atomic<int> ready{0};
  auto together = [&ready](const std::function<void()>* fn) {
    ++ready;
    while (ready.load() < 2) std::this_thread::yield();
    (*fn)();
  };
  std::thread first(together, &a);
  std::thread second(together, &b);
  first.join();
  second.join();
}

long Ms(Clock::duration d) { return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count()); }

// A good com_loadlog is held with its layouts registered, before its
// opening, while another thread's opening fails (or waits for the loader's
// and is then refused). Nothing the loader holds is freed: it opens, and
// its lines come out in its own layout (a freed layout would be used, and
// freed again by the close).
TEST(ComlogClose, AFailedOpeningFreesNothingOfALoaderHeldBeforeItsOpening) {
  for (const Failing how : {Failing::kLoadWithoutItsFolder, Failing::kOpenOfAnUnknownKind}) {
    SCOPED_TRACE(how == Failing::kLoadWithoutItsFolder ? "a load whose folder cannot be made" : "an unknown kind");
    WithLoaderFiles([&](const testsupport::TempDir& dir, testsupport::CaptureFd* err) {
      comspace::comlog_load_pause = PauseLoad;
      int loaded = -1, written = -1;
      std::thread loader([&] {
        loaded = com_loadlog(dir.path().c_str(), "good.conf");
        written = com_writelog(UL_LOG_NOTICE, "in its own layout|");
      });
      WaitUntilPaused();
      std::atomic<bool> failing_done{false};
      int failed = 0;
      std::thread failing([&] {
        failed = FailingOpening(dir, how);
        failing_done = true;
      });
      // Time for the failing opening to run its whole close meanwhile,
      // unless it waits for the loader.
      const auto until = Clock::now() + std::chrono::milliseconds(500);
      while (!failing_done.load() && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      ReleasePause();
      loader.join();
      failing.join();
      EXPECT_EQ(loaded, 0);
      EXPECT_EQ(written, 0);
      EXPECT_EQ(failed, -1);
      std::thread([] { EXPECT_EQ(com_writelog(UL_LOG_NOTICE, "and after|"), 0); }).join();
      EXPECT_EQ(com_closelog(0), 0);
      const std::string text = err->Stop();
      EXPECT_NE(text.find("\nown|in its own layout|\n"), std::string::npos) << text;
      EXPECT_NE(text.find("\nown|and after|\n"), std::string::npos) << text;
    });
  }
}

// A good com_loadlog and a failing opening start together, many times over
// (the two ways of failing in turn): the loader opens every time, and its
// line comes out once, in its own layout.
TEST(ComlogClose, TwoOpeningsAtOnceOneFailingFreeNothingOfTheOther) {
  WithLoaderFiles([](const testsupport::TempDir& dir, testsupport::CaptureFd* err) {
    constexpr int kRounds = 200;
    int opened = 0;
    for (int round = 0; round < kRounds; ++round) {
      int loaded = -1, written = -1, failed = 0;
      RunTogether(
          [&] {
            loaded = com_loadlog(dir.path().c_str(), "good.conf");
            if (loaded == 0) written = com_writelog(UL_LOG_NOTICE, "L%03d|", round);
          },
          [&] {
            failed =
                FailingOpening(dir, round % 2 == 0 ? Failing::kLoadWithoutItsFolder : Failing::kOpenOfAnUnknownKind);
          });
      EXPECT_EQ(failed, -1) << "round " << round;
      EXPECT_EQ(written, 0) << "round " << round;
      opened += loaded == 0;
      EXPECT_EQ(com_closelog(0), 0);
    }
    EXPECT_EQ(opened, kRounds);
    const std::vector<std::string> lines = Lines(err->Stop());
    int missing = 0;
    for (int round = 0; round < kRounds; ++round) {
      char line[16];
      snprintf(line, sizeof(line), "own|L%03d|", round);
      missing += std::count(lines.begin(), lines.end(), line) != 1;
    }
    EXPECT_EQ(missing, 0);
  });
}

// A thread calls com_closelog over and over while another loads a
// configuration file, many times over: whichever comes first, the framework
// ends open, or closed with nothing of the opening left (a close that
// switched the process log off after the opening switched the framework on
// left it off with its registry and hold alive: the next opening reused
// them, and its close waited its ten rounds for a hold no one had). No
// close runs past its bound.
TEST(ComlogClose, ACloseBesideALoadLeavesTheFrameworkOpenOrClosed) {
  WithLoaderFiles([](const testsupport::TempDir& dir, testsupport::CaptureFd*) {
    constexpr int kRounds = 200;
    int left_behind = 0;
    Clock::duration longest{0};
    for (int round = 0; round < kRounds; ++round) {
      std::atomic<bool> loaded{false};
      std::thread loader([&] {
        EXPECT_EQ(com_loadlog(dir.path().c_str(), "good.conf"), 0) << "round " << round;
        loaded = true;
      });
      Clock::duration closer_longest{0};
      std::thread closer([&] {
        while (!loaded.load()) {
          const auto start = Clock::now();
          com_closelog(0);
          closer_longest = std::max(closer_longest, Clock::now() - start);
        }
      });
      loader.join();
      closer.join();
      longest = std::max(longest, closer_longest);
      if (com_logstatus() == 0 && comspace::is_init_log() == 1) {
        // The first time, the next opening's close below shows the wait for
        // the hold left behind; later, what was left goes without it.
        com_device_t dev;
        EXPECT_EQ(com_openlog("p", &dev, 0, nullptr), 0);
        if (++left_behind > 1) {
          EXPECT_EQ(com_resetlog(), 0);
        }
      }
      const auto start = Clock::now();
      com_closelog(0);  // -1 when the closer closed the opening
      longest = std::max(longest, Clock::now() - start);
    }
    EXPECT_EQ(left_behind, 0) << "of " << kRounds << " rounds";
    EXPECT_LT(Ms(longest), 5000) << "ms, the longest close";
  });
}

// Two threads close the framework at once (two closes, a close and a reset,
// two resets), many times over: one closes it and the other finds it
// closed; neither uses what the other frees (the second stopped appenders
// the first had deleted, or deleted them twice), and neither runs past its
// bound.
TEST(ComlogClose, TwoClosesAtOnceFreeNothingTheOtherUses) {
  enum class Pair { kTwoCloses, kACloseAndAReset, kTwoResets };
  for (const Pair pair : {Pair::kTwoCloses, Pair::kACloseAndAReset, Pair::kTwoResets}) {
    SCOPED_TRACE(pair == Pair::kTwoCloses        ? "two closes"
                 : pair == Pair::kACloseAndAReset ? "a close and a reset"
                                                  : "two resets");
    WithLoaderFiles([pair](const testsupport::TempDir& dir, testsupport::CaptureFd*) {
      constexpr int kRounds = 200;
      Clock::duration longest{0};
      Clock::duration took[2];
      auto close = [&took](int i, bool reset) {
        const auto start = Clock::now();
        if (reset) {
          com_resetlog();
        } else {
          com_closelog(0);
        }
        took[i] = Clock::now() - start;
      };
      for (int round = 0; round < kRounds; ++round) {
        ASSERT_EQ(com_loadlog(dir.path().c_str(), "good.conf"), 0) << "round " << round;
        RunTogether([&] { close(0, pair == Pair::kTwoResets); }, [&] { close(1, pair != Pair::kTwoCloses); });
        longest = std::max({longest, took[0], took[1]});
        EXPECT_EQ(com_logstatus(), 0) << "round " << round;
        EXPECT_EQ(comspace::is_init_log(), 0) << "round " << round;
      }
      EXPECT_LT(Ms(longest), 5000) << "ms, the longest";
    });
  }
}

// The framework's own threads (senders, checker) never wait at the write
// gate: a close stops them while it holds the gate shut, and waits for them
// to end. A line such a thread writes through the process log goes to
// standard error at once, whatever the gate.
TEST(ComlogClose, TheFrameworksOwnThreadsPassAShutGate) {
  InChild([] {
    comlogtest::HangGuard();
    com_device_t dev;
    testsupport::CaptureFd err(2);
    ASSERT_EQ(com_openlog("p", &dev, 0, nullptr), 0);
    auto& gate = comspace::comlog_write_gate();
    ASSERT_TRUE(gate.Shut(Clock::now() + std::chrono::seconds(5)));  // as a close does
    std::mutex mu;
    std::condition_variable cv;
    bool written = false;
    std::thread own([&] {
      comspace::com_mark_own_thread();
      ul_writelog(UL_LOG_WARNING, "from a sender");
      std::lock_guard<std::mutex> lock(mu);
      written = true;
      cv.notify_all();
    });
    bool in_time;
    {
      std::unique_lock<std::mutex> lock(mu);
      in_time = cv.wait_for(lock, std::chrono::seconds(5), [&] { return written; });
    }
    gate.Open();
    own.join();
    EXPECT_TRUE(in_time) << "the thread waited at the shut gate";
    EXPECT_EQ(com_closelog(0), 0);
    EXPECT_NE(err.Stop().find("from a sender"), std::string::npos);
  });
}

// A thread opening lazily is held inside its set-up while another thread
// takes com_openlog_r and writes: that thread never uses the framework half
// made, and every line answered 0 (its banners, its lines, a stream line)
// is written.
TEST(ComlogClose, AHalfMadeLazyOpeningIsNotUsedByAnotherThread) {
  testsupport::TempDir dir;
  InChild([&] {
    comlogtest::HangGuard();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);  // the process log's thread files go here
    testsupport::CaptureFd err(2);
    comspace::comlog_setup_pause = PauseSetUp;
    std::thread opener([] { EXPECT_EQ(com_writelog("NOTICE", "opener|"), 0); });
    WaitUntilPaused();
    // The lines of the thread that meets it: com_openlog_r and five lines
    // while the opener is held; a stream line, which may wait for the
    // opening, once it is let go.
    std::vector<int> answers;
    std::atomic<bool> lines_done{false};
    auto write_lines = [&answers, &lines_done](int from) {
      // While the opener is held the framework is not on yet, or waits for
      // the opening: com_openlog_r is the process log's then.
      const int opened = com_openlog_r();
      if (from > 0) {
        EXPECT_EQ(opened, 0);
      }
      for (int i = from; i < from + 5; ++i) answers.push_back(com_writelog(UL_LOG_NOTICE, "x%02d|", i));
      lines_done = true;
      comspace::Category* c = com_writelog_stream(UL_LOG_NOTICE);
      if (c != nullptr) {
        *c << "s" << from << "|";
        answers.push_back(c->flush());
      } else {
        answers.push_back(-1);
      }
      com_closelog_r();
    };
    std::thread meeting([&] { write_lines(0); });
    while (!lines_done.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ReleasePause();
    meeting.join();
    opener.join();
    std::thread([&] { write_lines(10); }).join();  // once the opening is done
    EXPECT_EQ(com_closelog(0), 0);
    const std::string text = err.Stop() + ProcessLogLines(dir, {});

    EXPECT_NE(text.find("opener|\n"), std::string::npos) << text;
    ASSERT_EQ(answers.size(), 12u);
    for (size_t k = 0; k < answers.size(); ++k) {
      const int n = static_cast<int>(k % 6) + (k < 6 ? 0 : 10);
      char line[16];
      if (k % 6 == 5) {
        snprintf(line, sizeof(line), " s%d|\n", n - 5);
      } else {
        snprintf(line, sizeof(line), " x%02d|\n", n);
      }
      if (answers[k] == 0) {
        EXPECT_NE(text.find(line), std::string::npos) << "answered 0, written nowhere:" << line << text;
      }
    }
    EXPECT_EQ(std::count(answers.begin(), answers.end(), 0), 12) << text;
  });
}

// A lazy opening held inside its set-up while the process log is opened
// leaves the framework off, and its line goes to the process log.
TEST(ComlogClose, ALazyOpeningThatMeetsTheProcessLogOpenedLeavesTheFrameworkOff) {
  testsupport::TempDir dir;
  InChild([&] {
    comlogtest::HangGuard();
    testsupport::CaptureFd err(2);
    comspace::comlog_setup_pause = PauseSetUp;
    int rc = -1;
    std::thread opener([&rc] { rc = com_writelog("NOTICE", "lazy line|"); });
    WaitUntilPaused();
    ul_logstat_t st = {UL_LOG_DEBUG, 0, 0};
    const int opened = ul_openlog(dir.path().c_str(), "proc", &st, 1, nullptr);
    ReleasePause();
    opener.join();
    ASSERT_EQ(opened, 0);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(com_logstatus(), 2);  // the process log's
    EXPECT_EQ(ul_closelog(0), 0);
    // In the process log's shape (its process name, no thread id): the
    // opener has no file of its own there, so the line is on standard error.
    const std::string text = err.Stop();
    EXPECT_NE(text.find("  proc * 0 lazy line|\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("open log_r"), std::string::npos) << text;
  });
}

// A thread W opens the framework lazily and gives its hold back, by ending
// or by com_closelog_r while it lives on, or lives on holding it; X then
// holds the framework by com_openlog_r and writes a line every 10 ms for a
// second. A close 100 ms in gives back no hold but one it took: it waits
// for X, and every line of X's is written through the framework. W's hold
// is the process's (the framework was opened by W): the close waits for it
// no more than for a process hold, and asks for no com_closelog_r.
TEST(ComlogClose, ACloseAfterALazyOpenerGaveBackItsHoldWaitsForALiveHolder) {
  enum class Lazy { kEnds, kGivesBackAndLives, kLivesHolding };
  for (const Lazy lazy_opener : {Lazy::kEnds, Lazy::kGivesBackAndLives, Lazy::kLivesHolding}) {
    SCOPED_TRACE(lazy_opener == Lazy::kEnds               ? "the lazy opener ended"
                 : lazy_opener == Lazy::kGivesBackAndLives ? "the lazy opener gave back its hold and lives on"
                                                           : "the lazy opener lives on holding");
    const bool lazy_ends = lazy_opener == Lazy::kEnds;
    InChild([lazy_opener, lazy_ends] {
      comlogtest::HangGuard();
      testsupport::CaptureFd err(2);
      std::atomic<int> step{0};
      std::thread lazy([&step, lazy_opener] {
        EXPECT_EQ(com_writelog("NOTICE", "lazily opened"), 0);
        if (lazy_opener == Lazy::kEnds) return;
        if (lazy_opener == Lazy::kGivesBackAndLives) {
          EXPECT_EQ(com_closelog_r(), 0);
        }
        step = 1;
        while (step != 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      });
      if (lazy_ends) lazy.join();
      while (!lazy_ends && step != 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      constexpr int kLines = 100;
      std::vector<int> answers;
      long tid = 0;
      Clock::time_point giving_back;
      std::thread holder([&] {
        tid = static_cast<long>(syscall(SYS_gettid));
        EXPECT_EQ(com_openlog_r(), 0);
        step = 2;
        for (int i = 0; i < kLines; ++i) {
          answers.push_back(com_writelog(UL_LOG_NOTICE, "x%03d|", i));
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        giving_back = Clock::now();
        EXPECT_EQ(com_closelog_r(), 0);
      });
      while (step != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      EXPECT_EQ(com_closelog(0), 0);
      const auto end = Clock::now();
      holder.join();
      step = 3;
      if (lazy.joinable()) lazy.join();
      EXPECT_GT(end, giving_back) << "the close did not wait for the holder";
      const std::string text = err.Stop();
      EXPECT_EQ(text.find("Did you forget"), std::string::npos) << "the close waited for the lazy opener";

      int answered = 0, inside = 0;
      for (int i = 0; i < kLines; ++i) {
        if (answers[static_cast<size_t>(i)] != 0) continue;
        ++answered;
        char line[64];
        snprintf(line, sizeof(line), " * %ld x%03d|\n", tid, i);  // the framework's shape
        inside += text.find(line) != std::string::npos;
      }
      EXPECT_EQ(answered, kLines);
      EXPECT_EQ(inside, answered) << text.substr(0, 2000);
    });
  }
}

}  // namespace
