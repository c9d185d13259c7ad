// The log monitor lives under fixed System V keys shared by the whole
// machine. Every case runs only while no monitor exists (a real one is left
// alone), removes the segment and the semaphore it created, and matches
// processes by name, since programs that open a log while a case runs
// register too. ctest runs the cases of this program one at a time.
#include "dep_log.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "support/support.h"
#include "ul_log.h"

namespace {

using testsupport::CaptureFd;
using testsupport::TempDir;

// Runs body in a forked child; its gtest failures make it exit non-zero.
void InChild(const std::function<void()>& body) {
  const int status = testsupport::RunInChild([&] {
    body();
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(status, 0);
}

bool Has(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

class LogMonitor : public ::testing::Test {
 protected:
  void SetUp() override {
    if (shmget(UL_LOG_SHM_KEY, 0, 0) >= 0 || semget(UL_LOG_SEM_KEY, 0, 0) >= 0) {
      GTEST_SKIP() << "a log monitor exists on this machine";
    }
  }

  void TearDown() override {
    ul_log_deattachshm();
    ul_set_namenum(100);
    if (shmid_ >= 0) shmctl(shmid_, IPC_RMID, nullptr);
    if (semid_ >= 0) semctl(semid_, 0, IPC_RMID);
  }

  // Creates and cleans the monitor; false when another program was first.
  bool Create() {
    if (ul_log_createshm() != 0) return false;
    shmid_ = shmget(UL_LOG_SHM_KEY, 0, 0);
    semid_ = semget(UL_LOG_SEM_KEY, 0, 0);
    return ul_log_cleanshm(nullptr, nullptr, false) == 0;
  }

  // Opens the process log under name in a child, runs body, and leaves
  // without closing the log unless close is set.
  void Registered(const std::string& name, bool close, const std::function<void()>& body) {
    InChild([&] {
      ul_logstat_t st = {UL_LOG_FATAL, 0, 0};
      ASSERT_EQ(ul_openlog(dir_.path().c_str(), name.c_str(), &st, 1), 0);
      body();
      if (close) ul_closelog(0);
    });
  }

  // Names and process ids of the registered slots, listed from the start.
  std::vector<std::pair<std::string, int>> List() {
    std::vector<std::pair<std::string, int>> out;
    ul_log_listproc(nullptr, nullptr);
    ul_log_ctrl c;
    while (ul_log_listproc(nullptr, &c) == 1) out.emplace_back(c.processname, c.processid);
    return out;
  }

  int PidOf(const std::string& name) {
    for (const auto& e : List()) {
      if (e.first == name) return e.second;
    }
    return 0;
  }

  const std::string name_ = "montest_" + std::to_string(getpid());
  TempDir dir_;
  int shmid_ = -1;
  int semid_ = -1;
};

char* C(std::string& s) { return &s[0]; }

TEST_F(LogMonitor, WithoutAMonitorTheLogOpensAndCountersAreRefused) {
  Registered(name_, true, [] {
    CaptureFd err(2);
    std::string c = "c";
    EXPECT_EQ(ul_log_assign(C(c), 1), -1);
    EXPECT_EQ(ul_log_setval(0, 1), -1);
    EXPECT_EQ(ul_log_addval(100, 1), -1);
    EXPECT_EQ(ul_log_getid(C(c)), -1);
    EXPECT_EQ(err.Stop(),
              "in log :maybe no apply block from shm\n"
              "in log : maybe no apply block from shm\n"
              "in log :rel_loc is uneffective 100 \n"
              "in log : there is no c in data block\n");
  });
  CaptureFd err(2);
  EXPECT_EQ(ul_log_attachshm(), -1);
  EXPECT_EQ(err.Stop(), "in ul_log_attachshm: attach share memory error No such file or directory\n");
  const int status = testsupport::RunInChild([] {
    std::string n = "x";
    // ul_log_monproc ends the process, so a capture file would stay behind:
    // its message goes to /dev/null instead.
    const int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd < 0 || dup2(null_fd, 2) < 0) return 2;
    ul_log_monproc(C(n));
    return 0;
  });
  EXPECT_EQ(status, 1);
}

TEST_F(LogMonitor, ProcessesRegisterThroughTheLogAndTheMonitorReadsThem) {
  ASSERT_TRUE(Create()) << "another program created a monitor";
  EXPECT_EQ(ul_log_createshm(), -1);  // exists
  Registered(name_, false, [] {
    std::string c1 = "c1", c2 = "c2", n31(31, 'n'), n32(32, 'n');
    EXPECT_EQ(ul_log_assign(C(c1), 5), 0);
    EXPECT_EQ(ul_log_assign(C(c2), 0), 0);
    EXPECT_EQ(ul_log_setval(0, 7), 0);
    EXPECT_EQ(ul_log_addval(1, 3), 0);
    EXPECT_EQ(ul_log_addval(1, 3), 0);
    EXPECT_EQ(ul_log_getid(C(c2)), 1);
    EXPECT_EQ(ul_log_assign(C(n31), 0), 0);
    CaptureFd err(2);
    EXPECT_EQ(ul_log_assign(C(n32), 0), -1);
    EXPECT_EQ(ul_log_assign(nullptr, 0), -1);
    for (int i = 3; i < 100; ++i) ASSERT_EQ(ul_log_assign(C(c1), i), 0);  // same name: new item
    EXPECT_EQ(ul_log_assign(C(c1), 0), -1);
    EXPECT_EQ(ul_log_setval(100, 0), -1);
    EXPECT_EQ(ul_log_setval(-1, 0), -1);
    EXPECT_EQ(err.Stop(), "in log : name is tooo long " + n32 +
                              "\nin log :name is NULL\n"
                              "in log : no space for new name,for cur_loc is  100\n"
                              "in log :rel_loc is uneffective 100 \n"
                              "in log :rel_loc is uneffective -1 \n");
  });
  const int pid = PidOf(name_);
  EXPECT_GT(pid, 0);
  EXPECT_NE(pid, getpid());

  std::string name = name_, c1 = "c1", c2 = "c2", none = "none";
  int v = 0;
  char text[64];
  {
    CaptureFd err(2);
    EXPECT_EQ(ul_log_monproc(C(none)), -1);
    EXPECT_EQ(err.Stop(), "in log : no item of process : none\n");
  }
  ASSERT_EQ(ul_log_monproc(C(name)), 0);
  EXPECT_EQ(ul_log_getval(C(c1), &v), 0);
  EXPECT_EQ(v, 7);
  EXPECT_EQ(ul_log_getval(C(c2), &v), 0);
  EXPECT_EQ(v, 6);
  EXPECT_EQ(ul_log_getbuf(text, sizeof(text)), 0);
  EXPECT_STREQ(text, "@NULL@");
  EXPECT_EQ(ul_log_getbuf(text, 4), 0);
  EXPECT_STREQ(text, "@NU");

  // The counters one by one, then none; the text area is empty.
  Ul_log_item item;
  int items = 0;
  EXPECT_EQ(ul_log_listitem(nullptr, &item, nullptr, 0), -1);  // no process chosen
  while (ul_log_listitem(C(name), &item, nullptr, 0) == 1) ++items;
  EXPECT_EQ(items, 100);
  ul_log_listitem(nullptr, nullptr, nullptr, 0);
  ASSERT_EQ(ul_log_listitem(C(name), &item, text, sizeof(text)), 0);
  char untouched = '#';
  EXPECT_EQ(ul_log_listitem(C(name), nullptr, &untouched, 0), 0);  // no room: nothing written
  EXPECT_EQ(untouched, '#');
  ul_log_listitem(nullptr, nullptr, nullptr, 0);
  ASSERT_EQ(ul_log_listitem(C(name), &item, nullptr, 0), 1);
  EXPECT_STREQ(item.name, "c1");
  EXPECT_EQ(item.value, 7);

  // Clearing one counter, the text area, an unknown counter.
  EXPECT_EQ(ul_log_cleanshm(C(name), C(c1), false), 0);
  EXPECT_EQ(ul_log_getval(C(c1), &v), 0);  // the next "c1"
  EXPECT_EQ(v, 3);
  EXPECT_EQ(ul_log_cleanshm(C(name), nullptr, true), 0);
  EXPECT_EQ(ul_log_cleanshm(C(name), C(none), false), -1);
  EXPECT_EQ(ul_log_cleanshm(C(none), nullptr, false), -1);

  // The same name again takes the same slot, its counters reset; closing
  // frees it.
  Registered(name_, true, [] {
    std::string d = "d";
    EXPECT_EQ(ul_log_assign(C(d), 1), 0);
    EXPECT_EQ(ul_log_getid(C(d)), 0);
  });
  CaptureFd err(2);
  EXPECT_EQ(ul_log_getval(C(c2), &v), -1);
  EXPECT_EQ(PidOf(name_), 0);
  // A program that opened its log meanwhile (other tests run beside this
  // one) may already hold the freed slot: then the counter is missing there.
  const std::string out = err.Stop();
  EXPECT_TRUE(Has(out, "in log : the process has closed\n") ||
              Has(out, "in log:there is no c2 in data block\n"))
      << out;
}

TEST_F(LogMonitor, ListingReturnsEachSlotOnceUntilRewound) {
  ASSERT_TRUE(Create());
  for (const char* suffix : {"a", "b"}) Registered(name_ + suffix, false, [] {});
  ul_log_ctrl c;
  std::string a = name_ + "a";
  ul_log_listproc(nullptr, nullptr);
  EXPECT_EQ(ul_log_listproc(C(a), &c), 1);
  EXPECT_EQ(ul_log_listproc(C(a), &c), 0);
  EXPECT_EQ(ul_log_listproc(C(a), &c), 0);
  EXPECT_EQ(ul_log_listproc(nullptr, nullptr), 0);
  EXPECT_EQ(ul_log_listproc(C(a), &c), 1);
  EXPECT_EQ(PidOf(name_ + "a") > 0 && PidOf(name_ + "b") > 0, true);
  EXPECT_EQ(ul_log_cleanshm(C(a), nullptr, false), 0);
  EXPECT_EQ(PidOf(name_ + "a"), 0);
  EXPECT_GT(PidOf(name_ + "b"), 0);
  ul_log_deattachshm();
  EXPECT_EQ(ul_log_listproc(nullptr, &c), -1);
  EXPECT_EQ(ul_log_cleanshm(nullptr, nullptr, false), -1);
  EXPECT_EQ(ul_log_attachshm(), 0);
  EXPECT_GT(PidOf(name_ + "b"), 0);
}

TEST_F(LogMonitor, ProcessesOfAnotherItemCountStayOutside) {
  EXPECT_EQ(ul_set_namenum(50), 100);
  EXPECT_EQ(ul_set_namenum(150), 150);
  ASSERT_TRUE(Create());
  shmid_ds ds;
  ASSERT_EQ(shmctl(shmid_, IPC_STAT, &ds), 0);
  EXPECT_EQ(ds.shm_segsz, 1000u * (4528 + 36 * 50));
  Registered(name_ + "wide", false, [] {
    std::string c = "c";
    for (int i = 0; i < 150; ++i) ASSERT_EQ(ul_log_assign(C(c), i), 0);
    CaptureFd err(2);
    EXPECT_EQ(ul_log_assign(C(c), 0), -1);
    EXPECT_EQ(err.Stop(), "in log : no space for new name,for cur_loc is  150\n");
    EXPECT_EQ(ul_log_setval(149, 1), 0);
  });
  InChild([&] {
    ul_set_namenum(100);  // would put its block past the others'
    ul_logstat_t st = {UL_LOG_FATAL, 0, 0};
    ASSERT_EQ(ul_openlog(dir_.path().c_str(), (name_ + "narrow").c_str(), &st, 1), 0);
    std::string c = "c";
    CaptureFd err(2);
    EXPECT_EQ(ul_log_assign(C(c), 0), -1);
    err.Stop();
  });
  EXPECT_GT(PidOf(name_ + "wide"), 0);
  EXPECT_EQ(PidOf(name_ + "narrow"), 0);
  ul_set_namenum(100);
  CaptureFd err(2);
  EXPECT_EQ(ul_log_attachshm(), -1);
  std::string wide = name_ + "wide";
  EXPECT_EQ(ul_log_monproc(C(wide)), -1);
  EXPECT_TRUE(Has(err.Stop(), "in ul_log_attachshm: attach share memory error Invalid argument\n"));
}

TEST_F(LogMonitor, ClosingFreesOnlyTheSlotTheProcessStillHolds) {
  ASSERT_TRUE(Create());
  Registered(name_ + "old", true, [&] {
    // The monitor clears every slot, and another process (which closes the
    // log it was born with first) takes this one.
    ASSERT_EQ(ul_log_attachshm(), 0);
    ASSERT_EQ(ul_log_cleanshm(nullptr, nullptr, false), 0);
    InChild([&] {
      ul_closelog(0);
      ul_logstat_t st = {UL_LOG_FATAL, 0, 0};
      ASSERT_EQ(ul_openlog(dir_.path().c_str(), (name_ + "new").c_str(), &st, 1), 0);
    });
    EXPECT_GT(PidOf(name_ + "new"), 0);
  });
  EXPECT_GT(PidOf(name_ + "new"), 0);
}

}  // namespace
