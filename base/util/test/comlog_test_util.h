// Helpers of the logging framework's tests.
#ifndef UL_TEST_COMLOG_TEST_UTIL_H_
#define UL_TEST_COMLOG_TEST_UTIL_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
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
