#include "ul_error.h"

#include <pthread.h>

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(UlError, TextTable) {
  EXPECT_STREQ("CALL SUCCESS", ul_geterrstr(0));
  EXPECT_STREQ("ALLOC MEMORY FAIL", ul_geterrstr(2));
  EXPECT_STREQ("MEMORY SEGMENT", ul_geterrstr(3));
  EXPECT_STREQ("READ ERR", ul_geterrstr(4));
  EXPECT_STREQ("WRITE ERR", ul_geterrstr(5));
  EXPECT_STREQ("INVALID FILE[NET] HANDLE", ul_geterrstr(6));
  EXPECT_STREQ("NET CONNECT FAIL", ul_geterrstr(7));
  EXPECT_STREQ("INVALID INPUT PARAM", ul_geterrstr(8));
  EXPECT_STREQ("OPEN FILE ERR", ul_geterrstr(9));
  EXPECT_STREQ("INVALID ERRNO", ul_geterrstr(10));
  EXPECT_STREQ("INVALID ERRNO", ul_geterrstr(-1));
  // Number 1 is the thread's own text.
  ASSERT_EQ(0, ul_seterrbuf("detail %d", 7));
  EXPECT_STREQ("detail 7", ul_geterrstr(1));
  EXPECT_EQ(ul_geterrbuf(), ul_geterrstr(1));
}

TEST(UlError, LongTextIsCut) {
  std::string big(2000, 'x');
  ASSERT_EQ(0, ul_seterrbuf("%s", big.c_str()));
  EXPECT_EQ(std::string(UL_ERRSTR_BUFSIZE - 1, 'x'), ul_geterrbuf());
}

TEST(UlError, ValuesArePerThread) {
  ASSERT_EQ(0, ul_seterrno(5));
  ASSERT_EQ(0, ul_seterrbuf("main"));
  int seen_no = -1;
  std::string seen_buf = "unset";
  std::thread t([&] {
    seen_no = ul_geterrno();
    seen_buf = ul_geterrbuf();
    ul_seterrno(9);
    ul_seterrbuf("worker");
  });
  t.join();
  EXPECT_EQ(0, seen_no);
  EXPECT_EQ("", seen_buf);
  EXPECT_EQ(5, ul_geterrno());
  EXPECT_STREQ("main", ul_geterrbuf());
}

// Run under the asan preset, LeakSanitizer reports any value a thread's
// destructor failed to free (and the main thread's, at exit).
TEST(UlError, ShortLivedThreadsReleaseTheirState) {
  for (int round = 0; round < 10; ++round) {
    std::vector<std::thread> threads;
    for (int i = 0; i < 100; ++i) {
      threads.emplace_back([i] {
        ul_seterrno(i % 10);
        ul_seterrbuf("thread %d", i);
        EXPECT_EQ(i % 10, ul_geterrno());
      });
    }
    for (auto& t : threads) t.join();
  }
}

}  // namespace
