// Helpers of the logging framework's tests.
#ifndef UL_TEST_COMLOG_TEST_UTIL_H_
#define UL_TEST_COMLOG_TEST_UTIL_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
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

// Checks a log written while lines could fail (a full disk). answers maps
// each line number meant for this file to what the writing call returned;
// whole(n) is line n as written (without its newline). Every line of the
// text must be a whole line answered 0, or a visible cut: the beginning of
// a line answered -1, with nothing of another line after it. Every line
// answered 0 must be there exactly once.
inline void ExpectWholeOrCut(const std::vector<std::string>& lines, const std::map<int, int>& answers,
                             const std::function<std::string(int)>& whole, const std::string& what) {
  std::map<std::string, int> number_of;
  std::set<std::string> failed;  // whole lines answered -1, sorted: a cut one sorts just before its line
  for (const auto& kv : answers) {
    number_of[whole(kv.first)] = kv.first;
    if (kv.second != 0) failed.insert(whole(kv.first));
  }
  std::map<int, int> seen;
  int broken = 0, false_loss = 0, missing = 0;
  std::string first_broken;
  for (const std::string& line : lines) {
    auto it = number_of.find(line);
    if (it != number_of.end()) {
      false_loss += answers.at(it->second) != 0;
      ++seen[it->second];
      continue;
    }
    auto next = failed.lower_bound(line);
    if (line.empty() || next == failed.end() || next->compare(0, line.size(), line) != 0) {
      if (broken++ == 0) first_broken = line.substr(0, 200);
    }
  }
  int first_missing = -1;
  for (const auto& kv : answers) {
    if (kv.second == 0 && seen[kv.first] != 1) {
      if (missing++ == 0) first_missing = kv.first;
    }
  }
  EXPECT_EQ(broken, 0) << what << ": lines neither whole nor visibly cut, the first: " << first_broken;
  EXPECT_EQ(false_loss, 0) << what << ": whole lines answered -1";
  EXPECT_EQ(missing, 0) << what << ": lines answered 0 not there once, the first: " << first_missing;
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
