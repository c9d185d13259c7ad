// The backup quota checker: the limit read from a device's extra items, the
// first scan of the log folder and the ring of kept backups.
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "comlog/appender/quotachecker.h"
#include "comlog_test_util.h"

namespace {

using comlogtest::CaptureAppender;
using comspace::QuotaChecker;
using testsupport::FileExists;
using testsupport::TempDir;

// A device of the folder with the quota items given as "KEY : value" lines.
void SetDevice(CaptureAppender* app, const std::string& dir, int splite, int log_size, int cuttime,
               const std::vector<std::pair<std::string, int>>& items) {
  comspace::com_device_t& d = app->_device;
  snprintf(d.host, sizeof(d.host), "%s", dir.c_str());
  snprintf(d.file, sizeof(d.file), "log");
  snprintf(d.name, sizeof(d.name), "D");
  d.splite_type = static_cast<char>(splite);
  d.log_size = log_size;
  d.cuttime = cuttime;
  d.reserved_num = 0;
  for (const auto& kv : items) {
    Ul_confitem& item = d.reservedext[d.reserved_num++];
    snprintf(item.name, sizeof(item.name), "D_%s", kv.first.c_str());
    snprintf(item.value, sizeof(item.value), "%d", kv.second);
  }
  d.set_reservedconf();
}

// Makes dir/name with its modification time `age` seconds ago.
void Backdated(const std::string& path, int age) {
  testsupport::WriteFile(path, "x\n");
  timeval tv[2];
  gettimeofday(&tv[0], nullptr);
  tv[0].tv_sec -= age;
  tv[1] = tv[0];
  ASSERT_EQ(utimes(path.c_str(), tv), 0);
}

bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 300; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

TEST(QuotaChecker, LimitFromTheDeviceItems) {
  TempDir dir;
  struct Row {
    int splite, log_size, cuttime;
    std::vector<std::pair<std::string, int>> items;
    int limit;
  } rows[] = {
      {comspace::COMLOG_SIZECUT, 100, 60, {{"QUOTA_SIZE", 1000}}, 10},
      {comspace::COMLOG_SIZECUT, 100, 60, {{"QUOTA_SIZE", 100}}, 0},  // not above SIZE: no limit
      {comspace::COMLOG_SIZECUT, 100, 60, {{"QUOTA_SIZE", 101}}, 1},
      {comspace::COMLOG_SIZECUT, 0, 60, {{"QUOTA_SIZE", 101}}, 0},    // no size: no limit
      {comspace::COMLOG_SIZECUT, 100, 60, {{"QUOTA_DAY", 1}}, 0},     // time quota of a size device
      {comspace::COMLOG_DATECUT, 2048, 60, {{"QUOTA_DAY", 1}}, 24},
      {comspace::COMLOG_DATECUT, 2048, 45, {{"QUOTA_HOUR", 1}, {"QUOTA_MIN", 30}}, 2},
      {comspace::COMLOG_DATECUT, 2048, 0, {{"QUOTA_DAY", 1}}, 0},     // no period: no division by zero
      {comspace::COMLOG_DATECUT, 2048, 60, {{"QUOTA_MIN", -5}}, 0},
      {comspace::COMLOG_DATECUT, 2048, 1, {{"QUOTA_DAY", 2000000}}, INT_MAX},  // 2.88e9 backups: capped
      {comspace::COMLOG_TRUNCT, 1, 60, {{"QUOTA_SIZE", 1000}}, 0},
  };
  for (const Row& r : rows) {
    CaptureAppender app;
    SetDevice(&app, dir.path(), r.splite, r.log_size, r.cuttime, r.items);
    QuotaChecker qc(&app);
    EXPECT_EQ(qc.check_quota(nullptr), 0);
    EXPECT_EQ(qc.quota_filenum(), r.limit) << r.splite << " " << r.log_size << " " << r.cuttime;
  }
}

TEST(QuotaChecker, FirstScanKeepsTheNewestByTime) {
  TempDir dir;
  // 30 backups whose names run against their ages, older ".wf" backups, the
  // log itself and a file of another name.
  for (int i = 0; i < 30; ++i) Backdated(dir.file("log." + std::to_string(100 + i)), 1000 + 10 * i);
  for (int i = 0; i < 3; ++i) Backdated(dir.file("log.wf." + std::to_string(i)), 100000);
  Backdated(dir.file("log.sf.0"), 100000);
  Backdated(dir.file("log"), 100000);
  Backdated(dir.file("logx.1"), 100000);
  CaptureAppender app;
  SetDevice(&app, dir.path(), comspace::COMLOG_DATECUT, 2048, 60, {{"QUOTA_DAY", 1}});
  {
    QuotaChecker qc(&app);
    ASSERT_EQ(qc.check_quota(nullptr), 0);
    ASSERT_EQ(qc.quota_filenum(), 24);
    // The six oldest (log.124 to log.129) go.
    EXPECT_TRUE(WaitFor([&] { return !FileExists(dir.file("log.124")) && !FileExists(dir.file("log.129")); }));
    for (int i = 0; i < 30; ++i) {
      EXPECT_EQ(FileExists(dir.file("log." + std::to_string(100 + i))), i < 24) << i;
    }
    // The 25th cut after the start removes the oldest kept one, log.123.
    testsupport::WriteFile(dir.file("log.new"), "x\n");
    EXPECT_EQ(qc.check_quota(dir.file("log.new").c_str()), 0);
    EXPECT_TRUE(WaitFor([&] { return !FileExists(dir.file("log.123")); }));
    EXPECT_TRUE(FileExists(dir.file("log.122")));
  }
  for (const char* kept : {"log.wf.0", "log.wf.2", "log.sf.0", "log", "logx.1", "log.new"}) {
    EXPECT_TRUE(FileExists(dir.file(kept))) << kept;
  }
}

TEST(QuotaChecker, RingFillsBeforeItRemoves) {
  TempDir dir;
  for (int i = 0; i < 3; ++i) Backdated(dir.file("log.old" + std::to_string(i)), 100 * (i + 1));  // old2 oldest
  CaptureAppender app;
  SetDevice(&app, dir.path(), comspace::COMLOG_SIZECUT, 1, 60, {{"QUOTA_SIZE", 5}});
  QuotaChecker qc(&app);
  ASSERT_EQ(qc.check_quota(nullptr), 0);
  ASSERT_EQ(qc.quota_filenum(), 5);
  // Cut k removes: nothing, nothing, old2, old1, old0, then new1.
  const std::vector<std::string> gone = {"", "", "log.old2", "log.old1", "log.old0", "log.new1"};
  for (size_t k = 0; k < gone.size(); ++k) {
    const std::string path = dir.file("log.new" + std::to_string(k + 1));
    testsupport::WriteFile(path, "x\n");
    ASSERT_EQ(qc.check_quota(path.c_str()), 0);
    if (!gone[k].empty()) {
      EXPECT_TRUE(WaitFor([&] { return !FileExists(dir.file(gone[k])); })) << k;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  for (const char* kept : {"log.new2", "log.new3", "log.new4", "log.new5", "log.new6"}) {
    EXPECT_TRUE(FileExists(dir.file(kept))) << kept;
  }
}

TEST(QuotaChecker, RemovalsAndFailures) {
  TempDir dir;
  CaptureAppender app;
  // Without a limit nothing is scanned or counted; a queued removal is done
  // by the time the checker is gone, even right after it was queued.
  SetDevice(&app, dir.path() + "/missing", comspace::COMLOG_TRUNCT, 1, 60, {});
  {
    QuotaChecker qc(&app);
    EXPECT_EQ(qc.check_quota(nullptr), 0);
    EXPECT_EQ(qc.check_quota(dir.file("log.1").c_str()), 0);
    testsupport::WriteFile(dir.file("log.2"), "x\n");
    qc.schedule_file_removal(dir.file("log.2"));
  }
  EXPECT_FALSE(FileExists(dir.file("log.2")));

  // With a limit, a folder that cannot be read fails the first check.
  SetDevice(&app, dir.path() + "/missing", comspace::COMLOG_SIZECUT, 1, 60, {{"QUOTA_SIZE", 5}});
  testsupport::CaptureFd err(2);
  QuotaChecker qc(&app);
  EXPECT_EQ(qc.check_quota(nullptr), -1);
  const std::string text = err.Stop();
  EXPECT_NE(text.find("]open dir[" + dir.path() + "/missing] failed in check quota"), std::string::npos) << text;
  EXPECT_NE(text.find("]check quota first failed"), std::string::npos) << text;
}

}  // namespace
