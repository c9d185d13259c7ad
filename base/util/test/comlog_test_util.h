// Helpers of the logging framework's tests.
#ifndef UL_TEST_COMLOG_TEST_UTIL_H_
#define UL_TEST_COMLOG_TEST_UTIL_H_

#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "comlog/comlog.h"
#include "support/support.h"

namespace comlogtest {

// The framework's state is process-wide: each case runs in a forked child
// (under a fixed time zone), whose gtest failures make it exit non-zero. The
// child ends through exit() so that the sanitizers' exit checks decide too.
inline void InChild(const std::function<void()>& body) {
  int status = testsupport::RunInChild([&] {
    setenv("TZ", "UTC0", 1);
    tzset();
    body();
    std::exit(::testing::Test::HasFailure() ? 1 : 0);
    return 0;
  });
  EXPECT_EQ(status, 0);
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Runs call and checks that it returned within 5 s: the bound of a call
// that must not block (far above its time on a quiet machine). Its result.
template <class Call>
auto WithinBound(const std::string& what, Call call) {
  const auto start = std::chrono::steady_clock::now();
  auto result = call();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << what;
  return result;
}

// A case whose calls might block forever ends its child with SIGALRM after
// a minute, so that a hang fails the case instead of holding up the run.
inline void HangGuard() { alarm(60); }

// Line n of a full-disk run: its number and 10 to 159 letters, so that lines
// of many lengths meet the limit.
inline std::string FullDiskLine(int n) {
  char head[16];
  snprintf(head, sizeof(head), "L%06d ", n);
  return head + std::string(static_cast<size_t>(10 + n * 37 % 150), static_cast<char>('a' + n % 26)) + "|";
}

// Caps the size of every file the process writes (a write past the cap
// fails with EFBIG once SIGXFSZ is ignored); RLIM_INFINITY lifts the cap
// back to the hard limit.
inline void CapFileSize(rlim_t bytes) {
  struct rlimit rl;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &rl), 0);
  rl.rlim_cur = bytes == RLIM_INFINITY ? rl.rlim_max : bytes;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &rl), 0);
}

// Four threads write lines of a full-disk run, line n at level level_of (n)
// (thread t numbers its lines from t * 100000): after fail () until some
// line was reported lost (AFILE: once its writer met the failure) and 800
// more were written; then, after recover (), until 800 more were written
// (AFILE: once its writer wrote what it held). Each answer goes to
// answers[number]. A little pause every 16 lines lets the writer of AFILE
// run meanwhile. when_full, if given, runs once the first loss was seen.
inline std::map<int, int> WriteAcrossAnOutage(const std::function<int(int)>& level_of,
                                              const std::function<void()>& fail,
                                              const std::function<void()>& recover,
                                              const std::function<void()>& when_full = nullptr) {
  constexpr int kThreads = 4;
  std::atomic<int> lost{0}, done{0}, written{0};
  std::vector<std::map<int, int>> answers(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int n = t * 100000; done.load() == 0 && n < (t + 1) * 100000; ++n) {
        const int rc = com_writelog(level_of(n), "%s", FullDiskLine(n).c_str());
        answers[static_cast<size_t>(t)][n] = rc;
        (rc == 0 ? written : lost).fetch_add(1);
        if (n % 16 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      com_closelog_r();
    });
  }
  const auto start = std::chrono::steady_clock::now();
  auto wait_for = [&](const std::function<bool()>& cond) {
    while (!cond() && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return cond();
  };
  fail();
  EXPECT_TRUE(wait_for([&] { return lost.load() > 0; })) << "no line was reported lost";
  if (when_full) when_full();
  const int lost_before = lost.load();
  EXPECT_TRUE(wait_for([&] { return lost.load() >= lost_before + 800; }));
  recover();
  const int written_before = written.load();
  EXPECT_TRUE(wait_for([&] { return written.load() >= written_before + 800; }));
  done = 1;
  for (auto& th : threads) th.join();
  std::map<int, int> all;
  for (const auto& m : answers) all.insert(m.begin(), m.end());
  return all;
}

// WriteAcrossAnOutage with the outage a full disk: every file the process
// writes capped at 16 KiB, then the cap lifted.
inline std::map<int, int> WriteAcrossAFullDisk(const std::function<int(int)>& level_of,
                                               const std::function<void()>& when_full = nullptr) {
  signal(SIGXFSZ, SIG_IGN);
  return WriteAcrossAnOutage(
      level_of, [] { CapFileSize(16384); }, [] { CapFileSize(RLIM_INFINITY); }, when_full);
}

// Checks a log written while lines could fail (a full disk). answers maps
// each line number meant for this file to what the writing call returned;
// whole(n) is line n as written (without its newline). Every line of the
// text must be a whole line answered 0, or a visible cut: the beginning of
// a line, with nothing of another line after it. Every line answered 0 must
// be there whole exactly once, but for reported_lost of them: as many as
// the appender reported lost must be missing, no more and no fewer.
inline void ExpectWholeOrCut(const std::vector<std::string>& lines, const std::map<int, int>& answers,
                             const std::function<std::string(int)>& whole, const std::string& what,
                             long reported_lost = 0) {
  std::map<std::string, int> number_of;  // sorted: a cut line sorts just before its whole line
  for (const auto& kv : answers) number_of[whole(kv.first)] = kv.first;
  std::map<int, int> seen;
  int broken = 0, false_loss = 0, missing = 0, doubled = 0;
  std::string first_broken;
  for (const std::string& line : lines) {
    auto it = number_of.find(line);
    if (it != number_of.end()) {
      false_loss += answers.at(it->second) != 0;
      ++seen[it->second];
      continue;
    }
    auto next = number_of.lower_bound(line);
    if (line.empty() || next == number_of.end() || next->first.compare(0, line.size(), line) != 0) {
      if (broken++ == 0) first_broken = line.substr(0, 200);
    }
  }
  int first_missing = -1, first_doubled = -1;
  for (const auto& kv : answers) {
    if (kv.second != 0) continue;
    const int times = seen[kv.first];
    if (times == 0 && missing++ == 0) first_missing = kv.first;
    if (times > 1 && doubled++ == 0) first_doubled = kv.first;
  }
  EXPECT_EQ(broken, 0) << what << ": lines neither whole nor visibly cut, the first: " << first_broken;
  EXPECT_EQ(false_loss, 0) << what << ": whole lines answered -1";
  EXPECT_EQ(missing, reported_lost) << what << ": lines answered 0 not there (against those reported lost), the first: "
                                    << first_missing;
  EXPECT_EQ(doubled, 0) << what << ": lines answered 0 there more than once, the first: " << first_doubled;
}

// An appender that keeps the lines it renders.
class CaptureAppender : public comspace::Appender {
 public:
  int open(void*) override { return 0; }
  int close(void*) override { return 0; }
  int print(comspace::Event* evt) override {
    if (unInMask(static_cast<int>(evt->_log_level))) return 0;
    _layout.load()->format(evt);
    lines.emplace_back(evt->_render_msgbuf, static_cast<size_t>(evt->_render_msgbuf_len));
    messages.emplace_back(evt->_msgbuf, static_cast<size_t>(evt->_msgbuf_len));
    return 0;
  }
  int binprint(void* buf, int len) override {
    lines.emplace_back(static_cast<char*>(buf), static_cast<size_t>(len));
    return 0;
  }
  std::vector<std::string> lines;
  std::vector<std::string> messages;
};

}  // namespace comlogtest

#endif  // UL_TEST_COMLOG_TEST_UTIL_H_
