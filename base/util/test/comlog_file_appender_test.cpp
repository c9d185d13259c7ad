// The file appenders (FILE and AFILE): backup names, cutting by size and by
// time with the backup quota, reopening a moved or removed file, and many
// threads writing across cuts.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "comlog/appender/asyncfileappender.h"
#include "comlog/appender/fileappender.h"
#include "comlog/namemg.h"
#include "comlog/xsync.h"
#include "comlog/xutils.h"
#include "comlog_test_util.h"
#include "rename_seam.h"
#include "ul_log.h"

namespace {

using comlogtest::InChild;
using comlogtest::Lines;
using comspace::Appender;
using comspace::AppenderFactory;
using comspace::com_device_t;
using testsupport::CaptureFd;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::TempDir;

// A device of the file dir/name whose lines are the bare messages.
com_device_t FileDevice(const std::string& dir, const std::string& type, int splite, int log_size,
                        uint64_t mask = comspace::COMLOG_SYSLEVEL_MASK) {
  com_device_t d;
  snprintf(d.type, sizeof(d.type), "%s", type.c_str());
  snprintf(d.host, sizeof(d.host), "%s", dir.c_str());
  snprintf(d.file, sizeof(d.file), "log");
  snprintf(d.name, sizeof(d.name), "D");
  d.splite_type = static_cast<char>(splite);
  d.log_size = log_size;
  d.log_mask = mask;
  auto* layout = new comspace::Layout();  // owned by the registry once opened
  layout->setPattern("%R");
  d.layout = layout;
  return d;
}

void AddItem(com_device_t* d, const std::string& key, int value) {
  Ul_confitem& item = d->reservedext[d->reserved_num++];
  snprintf(item.name, sizeof(item.name), "D_%s", key.c_str());
  snprintf(item.value, sizeof(item.value), "%d", value);
  d->set_reservedconf();
}

// The names in dir that begin with "log." (the backups), sorted.
std::vector<std::string> Backups(const std::string& dir) {
  std::vector<std::string> out = testsupport::FilesStartingWith(dir, "log.");
  std::sort(out.begin(), out.end());
  return out;
}

off_t SizeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 300; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

// Writes "probe" lines until AFILE refuses one (its writer met a failure
// and holds what it could not write), adding those taken to *taken. Whether
// one was refused (bounded as WaitFor).
bool ProbesUntilRefused(std::string* taken) {
  return WaitFor([&] {
    if (com_writelog(UL_LOG_DEBUG, "probe") != 0) return true;
    *taken += "probe\n";
    return false;
  });
}

// The message lines of a file, without the framework's banners.
std::vector<std::string> Messages(const std::string& path) {
  std::vector<std::string> out;
  for (const std::string& line : Lines(ReadFile(path))) {
    if (line.find("-------") == std::string::npos) out.push_back(line);
  }
  return out;
}

// The times text holds what.
int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

int OpenWith(com_device_t* dev) {
  comspace::com_logstat_t ls;
  return com_openlog("t", dev, 1, &ls);
}

// Sets the start of the appender's cutting period (under its lock).
void SetLastCut(Appender* app, time_t t) {
  comspace::xAutoLock lock(&app->_lock);
  if (auto* f = dynamic_cast<comspace::FileAppender*>(app)) f->_lastcutime = t;
  if (auto* a = dynamic_cast<comspace::AsyncFileAppender*>(app)) a->_lastcutime = t;
}

constexpr uint64_t kDebugOnly = uint64_t{1} << UL_LOG_DEBUG;  // no banners

time_t LocalNow() { return time(nullptr) + comspace::xtimezoneoffset(); }

TEST(SaveBackup, NamesCountersAndFailures) {
  InChild([] {
    TempDir dir;
    const std::string log = dir.file("log");
    const time_t t = 1767323045;  // 2026-01-02 03:04:05 (UTC0)
    char out[comspace::COMLOG_BACKUP_NAME_SIZE];
    struct Row {
      const char* suffix;
      const char* name;
    } rows[] = {
        {"", "log.20260102030405"},   {"", "log.20260102030405.1"}, {"", "log.20260102030405.2"},
        {"%Y%m%d", "log.20260102"},   {"%Y%m%d", "log.20260102.1"}, {"bak", "log.bak"},
    };
    for (const Row& r : rows) {
      testsupport::WriteFile(log, r.name);
      ASSERT_EQ(comspace::save_backup(log.c_str(), out, sizeof(out), r.suffix, t, true), 0) << r.name;
      EXPECT_EQ(std::string(out), dir.file(r.name));
      EXPECT_EQ(ReadFile(dir.file(r.name)), r.name);
      EXPECT_FALSE(FileExists(log));
    }
    // A name that does not fit the output (with its counter) is not made.
    testsupport::WriteFile(log, "x");
    const std::string taken = dir.file("log.bak");  // exists: ".1" is needed
    char small[512];
    ASSERT_LT(taken.size() + 2, sizeof(small));
    EXPECT_EQ(comspace::save_backup(log.c_str(), small, static_cast<int>(taken.size() + 3), "bak", t, false), 0);
    EXPECT_EQ(std::string(small), taken + ".1");
    testsupport::WriteFile(log, "x");
    {
      CaptureFd quiet(2);
      EXPECT_EQ(comspace::save_backup(log.c_str(), small, static_cast<int>(taken.size() + 2), "bak", t, false), -1);
      EXPECT_EQ(comspace::save_backup(nullptr, small, sizeof(small), "", t, false), -1);
      EXPECT_EQ(comspace::save_backup(log.c_str(), small, 1, "", t, false), -1);
    }
    EXPECT_TRUE(FileExists(log));
    ASSERT_EQ(unlink(log.c_str()), 0);

    // A '%' of the path is kept as it is.
    const std::string odd = dir.file("a%dlog");
    testsupport::WriteFile(odd, "x");
    ASSERT_EQ(comspace::save_backup(odd.c_str(), out, sizeof(out), "%Y", t, false), 0);
    EXPECT_EQ(std::string(out), odd + ".2026");

    // A rename that fails is reported, and the retry under the default name
    // is reported too.
    CaptureFd err(2);
    EXPECT_EQ(comspace::save_backup(log.c_str(), out, sizeof(out), "x", t, true), -1);
    EXPECT_EQ(comspace::save_backup(log.c_str(), out, sizeof(out), "", t, false), -1);
    const std::vector<std::string> lines = Lines(err.Stop());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_NE(lines[0].find("]Unable to rename file [" + log + "] to [" + log + ".x]"), std::string::npos);
    EXPECT_NE(lines[1].find("]Try to rename [" + log + "] to default format."), std::string::npos);
    EXPECT_NE(lines[2].find("]Unable to rename file [" + log + "] to [" + log + ".20260102030405.3]"),
              std::string::npos);
    EXPECT_NE(lines[3].find("]Faint! Comlog rename error, and I can do nothing more (-__-)!..."), std::string::npos);
    EXPECT_NE(lines[4].find("]Unable to rename file"), std::string::npos);
    EXPECT_NE(lines[5].find("]Faint!"), std::string::npos);
  });
}

// A backup made under the name in the instant before the rename stays: the
// cut goes to the next number, whether the file system refuses to replace
// by itself or cannot (EINVAL).
TEST(SaveBackup, NeverReplacesABackupMadeMeanwhile) {
  InChild([] {
    TempDir dir;
    const std::string log = dir.file("log");
    char out[comspace::COMLOG_BACKUP_NAME_SIZE];
    renameseam::InPlace seam;
    for (const int err : {0, EINVAL}) {
      renameseam::errno_value = err;
      renameseam::take = "theirs";
      testsupport::WriteFile(log, "ours");
      ASSERT_EQ(comspace::save_backup(log.c_str(), out, sizeof(out), "bak", 0, false), 0) << err;
      EXPECT_EQ(std::string(out), log + ".bak.1");
      EXPECT_EQ(ReadFile(log + ".bak"), "theirs");
      EXPECT_EQ(ReadFile(log + ".bak.1"), "ours");
      for (const char* name : {"log.bak", "log.bak.1"}) ASSERT_EQ(unlink(dir.file(name).c_str()), 0);
    }
  });
}

class FileKinds : public ::testing::TestWithParam<std::string> {};

INSTANTIATE_TEST_SUITE_P(Kinds, FileKinds, ::testing::Values("FILE", "AFILE"));

// The size limit is SIZE MiB in 64 bits: a file of 2048 MiB less one byte
// (sparse) is not cut, one of exactly 2048 MiB is.
TEST_P(FileKinds, SizeLimitOf2048MiB) {
  const std::string kind = GetParam();
  InChild([&] {
    for (const off_t size : {(off_t{2048} << 20) - 1, off_t{2048} << 20}) {
      TempDir dir;
      const int fd = ::open(dir.file("log").c_str(), O_WRONLY | O_CREAT, 0644);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(ftruncate(fd, size), 0);
      ::close(fd);
      com_device_t dev = FileDevice(dir.path(), kind, comspace::COMLOG_SIZECUT, 2048, kDebugOnly);
      ASSERT_EQ(OpenWith(&dev), 0);
      com_writelog(UL_LOG_DEBUG, "one");
      EXPECT_EQ(com_closelog(0), 0);
      const std::vector<std::string> backups = Backups(dir.path());
      if (size < (off_t{2048} << 20)) {
        EXPECT_TRUE(backups.empty()) << backups.size();
        EXPECT_EQ(SizeOf(dir.file("log")), size + 4);
      } else {
        ASSERT_EQ(backups.size(), 1u);
        EXPECT_EQ(SizeOf(dir.file(backups[0])), size);
        EXPECT_EQ(ReadFile(dir.file("log")), "one\n");
      }
    }
  });
}

// SIZE 1: the line after the file reached 1 MiB starts a new file; the
// backup is named by the local time; no line is lost or doubled. A TRUNCT
// device removes the backup again.
TEST_P(FileKinds, SizeCutAndTrunct) {
  const std::string kind = GetParam();
  InChild([&] {
    for (const int splite : {comspace::COMLOG_SIZECUT, comspace::COMLOG_TRUNCT}) {
      TempDir dir;
      com_device_t dev = FileDevice(dir.path(), kind, splite, 1, kDebugOnly);
      ASSERT_EQ(OpenWith(&dev), 0);
      const std::string pad(1000, 'x');
      // 1042 lines of 1007 bytes reach 1 MiB with the last one; the next
      // line cuts.
      int n = 0;
      for (; n < 1042; ++n) com_writelog(UL_LOG_DEBUG, "%05d %s", n, pad.c_str());
      EXPECT_TRUE(WaitFor([&] { return SizeOf(dir.file("log")) == 1042 * 1007; }));
      EXPECT_TRUE(Backups(dir.path()).empty());
      com_writelog(UL_LOG_DEBUG, "%05d %s", n++, pad.c_str());
      EXPECT_TRUE(WaitFor([&] { return SizeOf(dir.file("log")) > 0 && SizeOf(dir.file("log")) < 2000; }));
      std::vector<std::string> backups = Backups(dir.path());
      if (splite == comspace::COMLOG_TRUNCT) {
        EXPECT_TRUE(WaitFor([&] { return Backups(dir.path()).empty(); }));
        EXPECT_EQ(com_closelog(0), 0);
        EXPECT_EQ(Messages(dir.file("log")).size(), 1u);
        continue;
      }
      EXPECT_EQ(com_closelog(0), 0);
      ASSERT_EQ(backups.size(), 1u);
      EXPECT_TRUE(std::regex_match(backups[0], std::regex(R"(log\.20\d{12})"))) << backups[0];
      std::vector<std::string> all = Messages(dir.file(backups[0]));
      EXPECT_EQ(all.size(), 1042u);
      for (const std::string& line : Messages(dir.file("log"))) all.push_back(line);
      ASSERT_EQ(all.size(), static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) {
        char head[16];
        snprintf(head, sizeof(head), "%05d", i);
        EXPECT_EQ(all[static_cast<size_t>(i)].substr(0, 5), head);
      }
    }
  });
}

// DATECUT with a 60-minute period rounded to the hour: a line written once
// the period is over cuts the file, whose backup is named after the start of
// that period in the device's own stamp (RESERVED1); a period of 0 never
// cuts.
TEST_P(FileKinds, DateCut) {
  const std::string kind = GetParam();
  InChild([&] {
    TempDir dir;
    com_device_t dev = FileDevice(dir.path(), kind, comspace::COMLOG_DATECUT, 2048);
    dev.cronocut = 1;
    dev.cuttime = 60;
    snprintf(dev.reserved1, sizeof(dev.reserved1), "%%Y%%m%%d%%H_cut");
    ASSERT_EQ(OpenWith(&dev), 0);
    Appender* app = AppenderFactory::tryAppender(dev);
    ASSERT_NE(app, nullptr);
    const time_t hour = LocalNow() / 3600 * 3600;
    com_writelog(UL_LOG_NOTICE, "before");
    SetLastCut(app, LocalNow() - 3600 + 30);  // 30 s of the period left
    com_writelog(UL_LOG_NOTICE, "still");
    EXPECT_TRUE(WaitFor([&] { return Messages(dir.file("log")).size() == 2; }));
    EXPECT_TRUE(Backups(dir.path()).empty());
    SetLastCut(app, hour - 3600);
    com_writelog(UL_LOG_NOTICE, "after");
    EXPECT_TRUE(WaitFor([&] { return Backups(dir.path()).size() == 1; }));
    EXPECT_EQ(com_closelog(0), 0);
    char name[64];
    const time_t prev = hour - 3600;
    struct tm tm;
    gmtime_r(&prev, &tm);
    strftime(name, sizeof(name), "log.%Y%m%d%H_cut", &tm);
    ASSERT_EQ(Backups(dir.path()), std::vector<std::string>{name});
    EXPECT_EQ(Messages(dir.file(name)), (std::vector<std::string>{"before", "still"}));
    EXPECT_EQ(Messages(dir.file("log")), std::vector<std::string>{"after"});

    TempDir zero;
    com_device_t z = FileDevice(zero.path(), kind, comspace::COMLOG_DATECUT, 2048);
    z.cuttime = 0;
    ASSERT_EQ(OpenWith(&z), 0);
    for (int i = 0; i < 3; ++i) {
      SetLastCut(AppenderFactory::tryAppender(z), 0);
      com_writelog(UL_LOG_NOTICE, "line %d", i);
    }
    EXPECT_EQ(com_closelog(0), 0);
    EXPECT_TRUE(Backups(zero.path()).empty());
    EXPECT_EQ(Messages(zero.file("log")).size(), 3u);
  });
}

// Backups beyond the quota go, the oldest first: those found at the start
// (made by the test, back-dated) and those the cuts make.
TEST_P(FileKinds, CutsKeepTheQuota) {
  const std::string kind = GetParam();
  InChild([&] {
    TempDir dir;
    // Backups an earlier run left, named as the cutting names them.
    auto old = [](int i) { return "log.2020010" + std::to_string(i + 1) + "000000"; };
    for (int i = 0; i < 5; ++i) {
      const std::string path = dir.file(old(i));
      testsupport::WriteFile(path, "old\n");
      timeval tv[2];
      gettimeofday(&tv[0], nullptr);
      tv[0].tv_sec -= 86400 * (i + 1);  // old(4) is the oldest
      tv[1] = tv[0];
      ASSERT_EQ(utimes(path.c_str(), tv), 0);
    }
    com_device_t dev = FileDevice(dir.path(), kind, comspace::COMLOG_DATECUT, 2048);
    dev.cuttime = 60;
    AddItem(&dev, "QUOTA_HOUR", 3);  // 3 backups
    ASSERT_EQ(OpenWith(&dev), 0);
    EXPECT_TRUE(WaitFor([&] { return Backups(dir.path()).size() == 3; }));
    EXPECT_EQ(Backups(dir.path()), (std::vector<std::string>{old(0), old(1), old(2)}));
    Appender* app = AppenderFactory::tryAppender(dev);
    for (int cut = 0; cut < 4; ++cut) {
      SetLastCut(app, LocalNow() - 3601);
      com_writelog(UL_LOG_NOTICE, "cut %d", cut);
      // The oldest kept goes: old(2), old(1), old(0), then the first new backup.
      if (cut < 3) {
        EXPECT_TRUE(WaitFor([&] { return !FileExists(dir.file(old(2 - cut))); })) << cut;
      }
    }
    EXPECT_EQ(com_closelog(0), 0);
    EXPECT_TRUE(WaitFor([&] { return Backups(dir.path()).size() == 3; }));
    for (const std::string& b : Backups(dir.path())) EXPECT_NE(b.rfind("log.2020", 0), 0u) << b;
  });
}

// A log moved away or removed is opened again under its name.
TEST_P(FileKinds, ReopensAMovedOrRemovedFile) {
  const std::string kind = GetParam();
  InChild([&] {
    TempDir dir;
    com_device_t dev = FileDevice(dir.path(), kind, comspace::COMLOG_SIZECUT, 2048);
    ASSERT_EQ(OpenWith(&dev), 0);
    com_writelog(UL_LOG_NOTICE, "first");
    EXPECT_TRUE(WaitFor([&] { return Messages(dir.file("log")).size() == 1; }));
    ASSERT_EQ(rename(dir.file("log").c_str(), dir.file("moved").c_str()), 0);
    com_writelog(UL_LOG_NOTICE, "second");
    EXPECT_TRUE(WaitFor([&] { return Messages(dir.file("log")).size() == 1; }));
    ASSERT_EQ(unlink(dir.file("log").c_str()), 0);
    com_writelog(UL_LOG_NOTICE, "third");
    EXPECT_EQ(com_closelog(0), 0);
    EXPECT_EQ(Messages(dir.file("moved")), std::vector<std::string>{"first"});
    EXPECT_EQ(Messages(dir.file("log")), std::vector<std::string>{"third"});
  });
}

// A file that cannot be opened again: FILE shows the line on standard
// error, AFILE keeps it (and refuses lines meanwhile); both kinds write
// again once the folder is back, AFILE the line it kept first. binprint
// writes raw bytes.
TEST_P(FileKinds, OpenFailureAndRawBytes) {
  const std::string kind = GetParam();
  InChild([&] {
    TempDir dir;
    const std::string folder = dir.file("x");
    com_device_t dev = FileDevice(folder, kind, comspace::COMLOG_SIZECUT, 2048, kDebugOnly);
    ASSERT_EQ(OpenWith(&dev), 0);
    Appender* app = AppenderFactory::tryAppender(dev);
    EXPECT_EQ(app->binprint(const_cast<char*>("raw\n"), 4), 0);
    EXPECT_EQ(app->binprint(const_cast<char*>("raw\n"), 0), 0);
    EXPECT_EQ(app->binprint(const_cast<char*>("raw\n"), -1), -1);
    EXPECT_EQ(ReadFile(folder + "/log"), "raw\n");
    EXPECT_EQ(app->print(nullptr), -1);
    // An event printed straight to the appender: 0 when written or held.
    comspace::Event* evt = comspace::Event::getEvent();
    ASSERT_NE(evt, nullptr);
    evt->_log_level = UL_LOG_DEBUG;
    evt->_msgbuf_len = snprintf(evt->_msgbuf, static_cast<size_t>(evt->_msgbuf_size), "direct");
    EXPECT_EQ(app->print(evt), 0);
    evt->_log_level = UL_LOG_NOTICE;  // not in the mask
    EXPECT_EQ(app->print(evt), 0);
    evt->reset();
    EXPECT_TRUE(WaitFor([&] { return ReadFile(folder + "/log") == "raw\ndirect\n"; }));
    ASSERT_EQ(unlink((folder + "/log").c_str()), 0);
    ASSERT_EQ(rmdir(folder.c_str()), 0);
    testsupport::WriteFile(folder, "");  // the folder is now a file
    CaptureFd err(2);
    EXPECT_EQ(app->binprint(const_cast<char*>("raw\n"), 4), -1);
    com_writelog(UL_LOG_DEBUG, "lost line");
    if (kind == "AFILE") {  // the writer thread reports the failure
      EXPECT_TRUE(WaitFor([&] { return err.Peek().find("syncid failed.") != std::string::npos; }));
    }
    const std::string text = err.Stop();
    EXPECT_NE(text.find("]can't open " + folder + "/log"), std::string::npos) << text;
    if (kind == "FILE") {
      EXPECT_NE(text.find("]lost line\n"), std::string::npos) << text;
      EXPECT_EQ(text.find("lost line\n\n"), std::string::npos) << text;
    } else {
      // Each once, although the raw write met the failure first and the
      // writer tries again and again.
      EXPECT_EQ(Count(text, "]can't open "), 1) << text;
      EXPECT_EQ(Count(text, "]In [AsyncFileAppender::writeData]:syncid failed."), 1) << text;
    }
    ASSERT_EQ(unlink(folder.c_str()), 0);
    EXPECT_TRUE(WaitFor([] { return com_writelog(UL_LOG_DEBUG, "back") == 0; }));
    EXPECT_EQ(com_closelog(0), 0);
    EXPECT_EQ(ReadFile(folder + "/log"), kind == "AFILE" ? "lost line\nback\n" : "back\n");
  });
}

// DATECUT with a 1-minute period rounded to the minute, in real time: the
// first line after the minute turns cuts (AFILE: a second later), and the backup is named after the
// minute before, seconds 00 (slow: up to a minute; PBDICT_SLOW_TESTS=1).
TEST_P(FileKinds, DateCutAtTheMinuteInRealTime) {
  if (getenv("PBDICT_SLOW_TESTS") == nullptr) GTEST_SKIP() << "slow; set PBDICT_SLOW_TESTS=1";
  const std::string kind = GetParam();
  InChild([&] {
    TempDir dir;
    com_device_t dev = FileDevice(dir.path(), kind, comspace::COMLOG_DATECUT, 2048, kDebugOnly);
    dev.cuttime = 1;
    dev.cronocut = 1;
    // Opened in a minute's first 50 s: the open, the minute read below and
    // "before" then fall in one minute on a slow machine too.
    while (LocalNow() % 60 >= 50) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(OpenWith(&dev), 0);
    const time_t minute = LocalNow() / 60 * 60;
    com_writelog(UL_LOG_DEBUG, "before");
    // FILE cuts once the period is over, AFILE one second later.
    const time_t cut = minute + (kind == "FILE" ? 60 : 61);
    while (LocalNow() < cut) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    com_writelog(UL_LOG_DEBUG, "after");
    EXPECT_EQ(com_closelog(0), 0);
    char name[64];
    struct tm tm;
    gmtime_r(&minute, &tm);
    strftime(name, sizeof(name), "log.%Y%m%d%H%M00", &tm);
    EXPECT_EQ(Backups(dir.path()), std::vector<std::string>{name});
    EXPECT_EQ(ReadFile(dir.file(name)), "before\n");
    EXPECT_EQ(ReadFile(dir.file("log")), "after\n");
  });
}

// Eight threads write across many size cuts: every line lands exactly once,
// whole, and each thread's lines keep their order within a file.
TEST_P(FileKinds, EightThreadsAcrossCuts) {
  const std::string kind = GetParam();
  InChild([&] {
    TempDir dir;
    com_device_t dev = FileDevice(dir.path(), kind, comspace::COMLOG_SIZECUT, 1);
    ASSERT_EQ(OpenWith(&dev), 0);
    constexpr int kThreads = 8;
    constexpr int kLines = 3000;
    const std::string pad(200, '.');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([t, &pad] {
        for (int i = 0; i < kLines; ++i) com_writelog(UL_LOG_NOTICE, "t%d %05d %s|", t, i, pad.c_str());
        com_closelog_r();
      });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(com_closelog(0), 0);
    std::vector<std::string> files = Backups(dir.path());
    // AFILE cuts before a batch, which may hold several MiB.
    EXPECT_GE(files.size(), kind == "FILE" ? 3u : 1u);
    files.push_back("log");
    const std::regex shape(R"(t(\d) (\d{5}) \.{200}\|)");
    std::map<std::string, int> seen;
    for (const std::string& f : files) {
      std::vector<int> last(kThreads, -1);
      for (const std::string& line : Messages(dir.file(f))) {
        std::smatch m;
        if (!std::regex_match(line, m, shape)) {
          ADD_FAILURE() << "broken line in " << f << ": " << line.substr(0, 80);
          continue;
        }
        const int t = std::stoi(m[1]);
        const int i = std::stoi(m[2]);
        EXPECT_GT(i, last[static_cast<size_t>(t)]) << f;
        last[static_cast<size_t>(t)] = i;
        ++seen[line.substr(0, 8)];
      }
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
    for (const auto& kv : seen) EXPECT_EQ(kv.second, 1) << kv.first;
  });
}

// A line of a run that several writers (processes, threads) share: the
// writer's number, the line's and letters up to about 100 bytes.
std::string SharedLine(int writer, int n) {
  char head[32];
  snprintf(head, sizeof(head), "w%d n%06d ", writer, n);
  return head + std::string(88, static_cast<char>('a' + writer % 26)) + "|";
}

// How many times each line is in the log of dir and its backups ("log"
// and the names that begin with "log.").
std::map<std::string, int> LinesOfLogAndBackups(const std::string& dir) {
  std::vector<std::string> files = Backups(dir);
  files.push_back("log");
  std::map<std::string, int> seen;
  for (const std::string& f : files) {
    for (const std::string& line : Messages(dir + "/" + f)) ++seen[line];
  }
  return seen;
}

// Ends the calling process (status 3) once the files in dir hold more than
// 256 MB, looking every 10 ms while it lives: a writer gone wild (one that
// writes the same lines again and again, cutting as it goes) must not fill
// the disk. The folder's owner outside the process removes what is there.
class DiskGuard {
 public:
  explicit DiskGuard(const std::string& dir)
      : _watch([this, dir] {
          while (!_stop.load()) {
            off_t total = 0;
            for (const std::string& f : testsupport::FilesStartingWith(dir, "")) {
              total += std::max<off_t>(SizeOf(dir + "/" + f), 0);
            }
            if (total > (off_t{256} << 20)) _exit(3);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
        }) {}
  ~DiskGuard() {
    _stop = true;
    _watch.join();
  }
  DiskGuard(const DiskGuard&) = delete;
  DiskGuard& operator=(const DiskGuard&) = delete;

 private:
  std::atomic<bool> _stop{false};
  std::thread _watch;
};

// Checks that every line answered 0 (answers[writer][n]) is there `copies`
// times, and that nothing else is.
void ExpectEveryLine(const std::map<std::string, int>& seen, const std::vector<std::vector<int>>& answers,
                     int copies, const std::string& what) {
  int missing = 0, wrong = 0, written = 0;
  std::string first_missing;
  std::map<std::string, int> rest = seen;
  for (size_t w = 0; w < answers.size(); ++w) {
    for (size_t n = 0; n < answers[w].size(); ++n) {
      const std::string line = SharedLine(static_cast<int>(w), static_cast<int>(n));
      auto it = rest.find(line);
      const int times = it == rest.end() ? 0 : it->second;
      if (it != rest.end()) rest.erase(it);
      if (answers[w][n] != 0) continue;
      ++written;
      if (times == 0 && missing++ == 0) first_missing = line.substr(0, 12);
      if (times != 0 && times != copies) ++wrong;
    }
  }
  EXPECT_EQ(missing, 0) << what << ": of " << written << " lines answered 0, missing; the first: " << first_missing;
  EXPECT_EQ(wrong, 0) << what << ": lines there another number of times than " << copies;
  EXPECT_TRUE(rest.empty()) << what << ": " << rest.size() << " lines not written, the first: "
                            << (rest.empty() ? "" : rest.begin()->first.substr(0, 80));
}

// Two processes write one log with the same size limit (SIZE 1) and cut it
// at once, again and again, often within one second: no cut replaces a
// backup the other made, so every line answered 0 is in the log or a
// backup, once.
TEST_P(FileKinds, TwoProcessesCuttingOneLogLoseNoLine) {
  const std::string kind = GetParam();
  TempDir dir, answers_dir;
  constexpr int kProcs = 2;
  constexpr int kLines = 60000;  // 6 MB each: about 12 cuts
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::fflush(nullptr);
  std::vector<pid_t> kids;
  for (int p = 0; p < kProcs; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      comlogtest::HangGuard();
      ::close(go[1]);
      com_device_t dev = FileDevice(dir.path(), kind, comspace::COMLOG_SIZECUT, 1, kDebugOnly);
      if (OpenWith(&dev) != 0) _exit(2);
      DiskGuard guard(dir.path());
      char c;
      if (read(go[0], &c, 1) != 0) _exit(3);  // both start when the pipe closes
      std::string refused;
      for (int n = 0; n < kLines; ++n) {
        if (com_writelog(UL_LOG_DEBUG, "%s", SharedLine(p, n).c_str()) != 0) refused += std::to_string(n) + "\n";
      }
      if (com_closelog(5000) != 0) _exit(4);
      testsupport::WriteFile(answers_dir.file(std::to_string(p)), refused);
      _exit(0);
    }
    kids.push_back(pid);
  }
  ::close(go[0]);
  ::close(go[1]);
  for (pid_t pid : kids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);  // bounded by the child's alarm
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  std::vector<std::vector<int>> answers(kProcs, std::vector<int>(kLines, 0));
  for (int p = 0; p < kProcs; ++p) {
    for (const std::string& n : Lines(ReadFile(answers_dir.file(std::to_string(p))))) {
      answers[static_cast<size_t>(p)][static_cast<size_t>(std::stoi(n))] = -1;
    }
  }
  // AFILE cuts before a batch, which may hold several MiB.
  EXPECT_GE(Backups(dir.path()).size(), kind == "FILE" ? 4u : 1u);
  ExpectEveryLine(LinesOfLogAndBackups(dir.path()), answers, 1, kind);
}

// Two devices name one folder in two spellings: those that name the same
// folder whatever the file system holds (a slash at the end, slashes
// doubled, "." as a step) give one appender, which writes each line once
// and cuts alone; a step ".." (which a symbolic link can send elsewhere)
// keeps two appenders, which write each line twice and cut one file
// between them. Four threads write across size cuts (SIZE 1): every line
// answered 0 is there as many times as there are appenders.
TEST_P(FileKinds, TwoSpellingsOfOneFolderLoseNoLine) {
  const std::string kind = GetParam();
  struct Row {
    const char* first;
    const char* second;
    bool one;
  } rows[] = {
      {"d", "d/", true},  {"d", "d//", true}, {"d", "./d", true}, {"d", "d/.", true},
      {"d", "d/../d", false},
  };
  for (const Row& r : rows) {
    TempDir top;  // removed here, whatever ends the child
    InChild([&] {
      comlogtest::HangGuard();
      ASSERT_EQ(chdir(top.path().c_str()), 0);
      ASSERT_EQ(mkdir("d", 0755), 0);
      DiskGuard guard("d");
      com_device_t devs[2] = {FileDevice(r.first, kind, comspace::COMLOG_SIZECUT, 1, kDebugOnly),
                              FileDevice(r.second, kind, comspace::COMLOG_SIZECUT, 1, kDebugOnly)};
      delete devs[1].layout;  // one layout for both, owned by the registry
      devs[1].layout = devs[0].layout;
      comspace::com_logstat_t ls;
      ASSERT_EQ(com_openlog("t", devs, 2, &ls), 0);
      Appender* a = AppenderFactory::tryAppender(devs[0]);
      Appender* b = AppenderFactory::tryAppender(devs[1]);
      ASSERT_TRUE(a != nullptr && b != nullptr);
      EXPECT_EQ(a == b, r.one) << r.second;
      constexpr int kThreads = 4;
      constexpr int kLines = 8000;  // 3.2 MB a copy
      std::vector<std::vector<int>> answers(kThreads, std::vector<int>(kLines, 0));
      std::vector<std::thread> threads;
      for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &answers] {
          for (int n = 0; n < kLines; ++n) {
            answers[static_cast<size_t>(t)][static_cast<size_t>(n)] =
                com_writelog(UL_LOG_DEBUG, "%s", SharedLine(t, n).c_str());
          }
          com_closelog_r();
        });
      }
      for (auto& th : threads) th.join();
      EXPECT_EQ(com_closelog(5000), 0);
      EXPECT_GE(Backups("d").size(), kind == "FILE" ? 2u : 1u);
      ExpectEveryLine(LinesOfLogAndBackups("d"), answers, r.one ? 1 : 2, kind + " " + r.second);
    });
  }
}

// A full disk (a file-size cap): a line that did not reach the file answers
// -1, and one cut short by the cap stays visibly cut: the next line written
// once there is space again starts a line of its own. Every line answered 0
// is in the files, whole; also when the log is moved away once full (a line
// AFILE still held a part of goes whole into the new file).
TEST_P(FileKinds, FullDiskKeepsLinesWholeAndReportsTheLostOnes) {
  const std::string kind = GetParam();
  InChild([&] {
    for (const bool move : {false, true}) {
      TempDir dir;
      com_device_t dev = FileDevice(dir.path(), kind, comspace::COMLOG_SIZECUT, 2048, kDebugOnly);
      ASSERT_EQ(OpenWith(&dev), 0);
      CaptureFd quiet(2);
      const std::map<int, int> answers = comlogtest::WriteAcrossAFullDisk([](int) { return UL_LOG_DEBUG; }, [&] {
        if (move) {
          ASSERT_EQ(rename(dir.file("log").c_str(), dir.file("moved").c_str()), 0);
        }
      });
      EXPECT_EQ(com_closelog(0), 0);
      quiet.Stop();
      std::vector<std::string> lines = Lines(ReadFile(dir.file("moved")));
      for (const std::string& line : Lines(ReadFile(dir.file("log")))) lines.push_back(line);
      comlogtest::ExpectWholeOrCut(lines, answers, comlogtest::FullDiskLine, kind + (move ? " moved" : ""));
    }
  });
}

// The log's folder blocked (swapped with a file, so that the log can
// neither be opened nor made again) and back: lines that did not reach the
// file answer -1 meanwhile, and every line answered 0 is in the file, whole
// and once (AFILE keeps what its writer holds until the file opens again).
// AFILE reports the failure once, not at every try.
TEST_P(FileKinds, AFolderBlockedAndBackLosesNoLineAnsweredWritten) {
  const std::string kind = GetParam();
  InChild([&] {
    TempDir dir;
    const std::string folder = dir.file("x");
    const std::string block = dir.file("block");
    com_device_t dev = FileDevice(folder, kind, comspace::COMLOG_SIZECUT, 2048, kDebugOnly);
    ASSERT_EQ(OpenWith(&dev), 0);
    testsupport::WriteFile(block, "");
    auto swap = [&] {
      ASSERT_EQ(renameat2(AT_FDCWD, folder.c_str(), AT_FDCWD, block.c_str(), RENAME_EXCHANGE), 0);
    };
    CaptureFd err(2);
    const std::map<int, int> answers = comlogtest::WriteAcrossAnOutage([](int) { return UL_LOG_DEBUG; }, swap, swap);
    EXPECT_EQ(com_closelog(0), 0);
    const std::string text = err.Stop();
    comlogtest::ExpectWholeOrCut(Lines(ReadFile(folder + "/log")), answers, comlogtest::FullDiskLine, kind);
    if (kind == "AFILE") {
      EXPECT_EQ(Count(text, "]can't open " + folder + "/log"), 1) << text.substr(0, 2000);
      EXPECT_EQ(Count(text, "]In [AsyncFileAppender::writeData]:syncid failed."), 1) << text.substr(0, 2000);
    }
  });
}

// A full disk that takes a line's text but not its line end: the line is
// written (answered 0) and is in the log once, whether the next line goes to
// the same file (it starts with the line end) or, the log moved away
// meanwhile, to a new one (the text is not repeated there).
TEST_P(FileKinds, AFullDiskTakingAllButTheLineEndKeepsTheLineOnce) {
  const std::string kind = GetParam();
  InChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    for (const bool move : {false, true}) {
      TempDir dir;
      com_device_t dev = FileDevice(dir.path(), kind, comspace::COMLOG_SIZECUT, 2048, kDebugOnly);
      ASSERT_EQ(OpenWith(&dev), 0);
      CaptureFd quiet(2);
      ASSERT_EQ(com_writelog(UL_LOG_DEBUG, "first"), 0);
      ASSERT_TRUE(WaitFor([&] { return SizeOf(dir.file("log")) == 6; }));
      comlogtest::CapFileSize(6 + 6);
      EXPECT_EQ(com_writelog(UL_LOG_DEBUG, "second"), 0);
      ASSERT_TRUE(WaitFor([&] { return SizeOf(dir.file("log")) == 12; }));
      std::string taken;  // probes taken before AFILE's writer met the cap
      if (kind == "AFILE") {
        // Its writer meets the cap at the line end and then holds only it;
        // from then on it refuses lines.
        ASSERT_TRUE(ProbesUntilRefused(&taken));
      }
      {
        // AFILE's writer looks at the path only once both are done (else
        // it may find the log in place and write into it once moved).
        comspace::xAutoLock hold(&AppenderFactory::tryAppender(dev)->_lock);
        if (move) {
          ASSERT_EQ(rename(dir.file("log").c_str(), dir.file("moved").c_str()), 0);
        }
        comlogtest::CapFileSize(RLIM_INFINITY);
      }
      // AFILE takes lines again once its writer wrote what it held.
      EXPECT_TRUE(WaitFor([] { return com_writelog(UL_LOG_DEBUG, "third") == 0; }));
      EXPECT_EQ(com_closelog(0), 0);
      quiet.Stop();
      if (move) {
        EXPECT_EQ(ReadFile(dir.file("moved")), "first\nsecond") << kind;
        EXPECT_EQ(ReadFile(dir.file("log")), taken + "third\n") << kind;
      } else {
        EXPECT_EQ(ReadFile(dir.file("log")), "first\nsecond\n" + taken + "third\n") << kind;
      }
    }
  });
}

// Read a descriptor's device and inode as fstat does, but give every file
// the inode number 1: on one device (a number given again to a new file),
// or each on a device of its own (numbered by its real inode).
int NumberOneOnOneDevice(int fd, struct stat* st) {
  const int rc = fstat(fd, st);
  st->st_ino = 1;
  return rc;
}
int NumberOneOnItsOwnDevice(int fd, struct stat* st) {
  const int rc = fstat(fd, st);
  st->st_dev = static_cast<dev_t>(st->st_ino);
  st->st_ino = 1;
  return rc;
}

// Writes "first", then, with the file capped 3 bytes after it, "second":
// "sec" goes into the log, which ends mid-line. FILE answers -1 for the
// line; AFILE holds its rest, and the probes it took before its writer met
// the cap go to *taken. at_the_cap, if given, runs just before the cap.
void CutTheSecondLineShort(const std::string& kind, const std::string& log, std::string* taken,
                           const std::function<void()>& at_the_cap = nullptr) {
  ASSERT_EQ(com_writelog(UL_LOG_DEBUG, "first"), 0);
  ASSERT_TRUE(WaitFor([&] { return SizeOf(log) == 6; }));
  if (at_the_cap) at_the_cap();
  comlogtest::CapFileSize(6 + 3);
  EXPECT_EQ(com_writelog(UL_LOG_DEBUG, "second"), kind == "FILE" ? -1 : 0);
  ASSERT_TRUE(WaitFor([&] { return SizeOf(log) == 9; }));
  if (kind == "AFILE") {
    ASSERT_TRUE(ProbesUntilRefused(taken));
  }
}

// A log left mid-line by a full disk and then removed, or moved away with
// the new log on another device: the new log starts clean even when it has
// the same inode number (stood in through the identity check). FILE's next
// line has no line end before it; AFILE writes the line it held the rest of
// whole there. (The appenders ask by the number they know their file by,
// which the stand-in does not change; TornFile.AnswersByTheInodeNumberFirst
// stands in that number too.)
TEST_P(FileKinds, ANewLogWithAnOldInodeNumberStartsClean) {
  const std::string kind = GetParam();
  InChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    for (const bool remove : {true, false}) {
      TempDir dir;
      com_device_t dev = FileDevice(dir.path(), kind, comspace::COMLOG_SIZECUT, 2048, kDebugOnly);
      ASSERT_EQ(OpenWith(&dev), 0);
      Appender* app = AppenderFactory::tryAppender(dev);
      comspace::TornFile::StatFn stand_in = remove ? &NumberOneOnOneDevice : &NumberOneOnItsOwnDevice;
      if (auto* f = dynamic_cast<comspace::FileAppender*>(app)) f->torn_file().set_stat_fn(stand_in);
      if (auto* a = dynamic_cast<comspace::AsyncFileAppender*>(app)) a->torn_file().set_stat_fn(stand_in);
      CaptureFd quiet(2);
      std::string taken;
      ASSERT_NO_FATAL_FAILURE(CutTheSecondLineShort(kind, dir.file("log"), &taken));
      {
        // AFILE's writer looks at the path only once both are done (else
        // it may find the log in place and write into it once moved).
        comspace::xAutoLock hold(&app->_lock);
        if (remove) {
          ASSERT_EQ(unlink(dir.file("log").c_str()), 0);
        } else {
          ASSERT_EQ(rename(dir.file("log").c_str(), dir.file("moved").c_str()), 0);
        }
        comlogtest::CapFileSize(RLIM_INFINITY);
      }
      EXPECT_TRUE(WaitFor([] { return com_writelog(UL_LOG_DEBUG, "third") == 0; }));
      EXPECT_EQ(com_closelog(0), 0);
      quiet.Stop();
      EXPECT_EQ(ReadFile(dir.file("log")), (kind == "FILE" ? "" : "second\n" + taken) + "third\n") << remove;
      if (!remove) {
        EXPECT_EQ(ReadFile(dir.file("moved")), "first\nsec");
      }
    }
  });
}

// A line cut short by a full disk while the process had no descriptor to
// spare (at its limit), so that the file left mid-line could not be held
// open and is known by device and inode only: no later file is taken for
// certain to be that one. Written again into that very file, the line
// after the cut starts after a line end (AFILE: the line held goes whole
// there, the cut stays visible); into a new log made after the old was
// removed (ext4 gives it the old inode number again), nothing of the cut
// line's rest begins it: a line end at most, then the line held whole.
TEST_P(FileKinds, ACutLineWithNoSpareDescriptorGoesWhole) {
  const std::string kind = GetParam();
  InChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    for (const bool remove : {false, true}) {
      TempDir dir;
      com_device_t dev = FileDevice(dir.path(), kind, comspace::COMLOG_SIZECUT, 2048, kDebugOnly);
      ASSERT_EQ(OpenWith(&dev), 0);
      Appender* app = AppenderFactory::tryAppender(dev);
      CaptureFd quiet(2);
      struct stat old_log;
      struct rlimit files;
      ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
      std::string taken;
      CutTheSecondLineShort(kind, dir.file("log"), &taken, [&] {
        ASSERT_EQ(stat(dir.file("log").c_str(), &old_log), 0);
        // No descriptor to spare: the limit is the lowest one free.
        const int lowest = ::open("/dev/null", O_RDONLY);
        ASSERT_GE(lowest, 0);
        ::close(lowest);
        struct rlimit full = files;
        full.rlim_cur = static_cast<rlim_t>(lowest);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &full), 0);
      });
      // First: the sanitizers' checks may need a descriptor.
      ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &files), 0);
      ASSERT_FALSE(HasFatalFailure());
      {
        // AFILE's writer looks at the path only once all is done.
        comspace::xAutoLock hold(&app->_lock);
        if (remove) {
          ASSERT_EQ(unlink(dir.file("log").c_str()), 0);
        }
        comlogtest::CapFileSize(RLIM_INFINITY);
      }
      EXPECT_TRUE(WaitFor([] { return com_writelog(UL_LOG_DEBUG, "third") == 0; }));
      EXPECT_EQ(com_closelog(0), 0);
      quiet.Stop();
      const std::string held = kind == "FILE" ? "" : "second\n" + taken;
      if (!remove) {
        EXPECT_EQ(ReadFile(dir.file("log")), "first\nsec\n" + held + "third\n");
        continue;
      }
      struct stat new_log;
      ASSERT_EQ(stat(dir.file("log").c_str(), &new_log), 0);
      const bool same_number = new_log.st_ino == old_log.st_ino && new_log.st_dev == old_log.st_dev;
      EXPECT_EQ(ReadFile(dir.file("log")), (same_number ? "\n" : "") + held + "third\n") << same_number;
    }
  });
}

// Writes a rendered line through the file appender app, as it is.
int PrintLine(Appender* app, const std::string& text) {
  const int len = static_cast<int>(text.size());
  if (auto* f = dynamic_cast<comspace::FileAppender*>(app)) return f->print_line(text.c_str(), len);
  return dynamic_cast<comspace::AsyncFileAppender*>(app)->print_line(text.c_str(), len);
}

// Reads a descriptor's status as fstat does, counting the looks.
std::atomic<int> g_looks{0};
int CountedFstat(int fd, struct stat* st) {
  g_looks.fetch_add(1);
  return fstat(fd, st);
}

// Whether the process holds a descriptor of the file path had once it was
// removed.
bool HoldsRemoved(const std::string& path) {
  bool held = false;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (struct dirent* ent = readdir(d)) {
      char target[PATH_MAX];
      const std::string link = std::string("/proc/self/fd/") + ent->d_name;
      const ssize_t n = readlink(link.c_str(), target, sizeof(target) - 1);
      if (n > 0 && std::string(target, static_cast<size_t>(n)) == path + " (deleted)") held = true;
    }
    closedir(d);
  }
  return held;
}

// A log left mid-line, then moved away as a backup (which keeps its cut
// line as it is): the lines written to the new log start clean and cost no
// look at their descriptor (the memory of the cut line answers by the inode
// number the appender knows the new log by). Once the backup is removed,
// the descriptor kept of it is closed while lines go on, so that it does
// not keep its disk space.
TEST_P(FileKinds, ABackupLeftMidLineCostsNoLookPerLineAndIsLetGoOnceRemoved) {
  const std::string kind = GetParam();
  InChild([&] {
    TempDir dir;
    com_device_t dev = FileDevice(dir.path(), kind, comspace::COMLOG_SIZECUT, 2048, kDebugOnly);
    ASSERT_EQ(OpenWith(&dev), 0);
    Appender* app = AppenderFactory::tryAppender(dev);
    if (auto* f = dynamic_cast<comspace::FileAppender*>(app)) f->torn_file().set_stat_fn(&CountedFstat);
    if (auto* a = dynamic_cast<comspace::AsyncFileAppender*>(app)) a->torn_file().set_stat_fn(&CountedFstat);
    EXPECT_EQ(PrintLine(app, "cut"), 0);
    ASSERT_TRUE(WaitFor([&] { return SizeOf(dir.file("log")) == 3; }));
    const std::string backup = dir.file("log.1");
    ASSERT_EQ(rename(dir.file("log").c_str(), backup.c_str()), 0);
    g_looks = 0;
    const auto start = std::chrono::steady_clock::now();
    std::string taken;
    for (int i = 0; i < 100; ++i) {  // each in the file before the next (AFILE: a round each)
      ASSERT_EQ(com_writelog(UL_LOG_DEBUG, "line %d", i), 0);
      taken += "line " + std::to_string(i) + "\n";
      ASSERT_TRUE(WaitFor([&] { return SizeOf(dir.file("log")) == static_cast<off_t>(taken.size()); }));
    }
    // The kept descriptor is looked at once in a second of the clock at
    // most; the new log's descriptors never.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    EXPECT_LE(g_looks.load(), 2 + seconds.count());
    EXPECT_EQ(ReadFile(dir.file("log")), taken);
    EXPECT_EQ(ReadFile(backup), "cut");
    ASSERT_EQ(unlink(backup.c_str()), 0);
    EXPECT_TRUE(HoldsRemoved(backup));
    // Bounded: 6,000 lines a millisecond apart (the look comes within a
    // second).
    bool let_go = false;
    for (int i = 0; i < 6000 && !let_go; ++i) {
      EXPECT_EQ(com_writelog(UL_LOG_DEBUG, "more"), 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      let_go = !HoldsRemoved(backup);
    }
    EXPECT_TRUE(let_go);
    EXPECT_EQ(com_closelog(0), 0);
  });
}

// A line without its line end (written as it is, not by a layout) leaves
// the file mid-line: the next line starts on a line of its own.
TEST_P(FileKinds, ALineWithoutItsLineEndIsEndedBeforeTheNextLine) {
  const std::string kind = GetParam();
  InChild([&] {
    TempDir dir;
    com_device_t dev = FileDevice(dir.path(), kind, comspace::COMLOG_SIZECUT, 2048, kDebugOnly);
    ASSERT_EQ(OpenWith(&dev), 0);
    Appender* app = AppenderFactory::tryAppender(dev);
    EXPECT_EQ(PrintLine(app, "abc"), 0);
    ASSERT_TRUE(WaitFor([&] { return SizeOf(dir.file("log")) == 3; }));
    EXPECT_EQ(PrintLine(app, "def\n"), 0);
    EXPECT_EQ(com_closelog(0), 0);
    EXPECT_EQ(ReadFile(dir.file("log")), "abc\ndef\n");
  });
}

// The memory of a file left mid-line knows the file through any descriptor
// of it and no other; a descriptor it cannot read is not the file. A file
// whose last name is gone is forgotten, and the descriptor kept for it
// closed, also when that descriptor is 0 (which holds the file for certain,
// as any other does: a process that closed its standard input keeps it so).
TEST(TornFile, KnowsItsFileUntilForgottenOrRemoved) {
  InChild([] {
    TempDir dir;
    const std::string a = dir.file("a");
    const std::string b = dir.file("b");
    testsupport::WriteFile(a, "a");
    testsupport::WriteFile(b, "b");
    const int fa = ::open(a.c_str(), O_RDONLY);
    const int fa2 = ::open(a.c_str(), O_RDONLY);
    const int fb = ::open(b.c_str(), O_RDONLY);
    ASSERT_TRUE(fa >= 0 && fa2 >= 0 && fb >= 0);
    comspace::TornFile torn;
    EXPECT_FALSE(torn.Is(fa));
    torn.Remember(-1);
    EXPECT_FALSE(torn.remembered());
    torn.Remember(fa);
    EXPECT_TRUE(torn.Is(fa));
    EXPECT_TRUE(torn.Is(fa2));
    EXPECT_FALSE(torn.Is(fb));
    EXPECT_FALSE(torn.Is(-1));
    torn.Remember(fb);  // in place of a
    EXPECT_FALSE(torn.Is(fa));
    EXPECT_TRUE(torn.Is(fb));
    torn.Forget();
    EXPECT_FALSE(torn.Is(fb));

    ASSERT_EQ(::close(0), 0);  // the descriptor kept next is 0
    torn.Remember(fa);
    EXPECT_EQ(fcntl(0, F_GETFD), FD_CLOEXEC);
    EXPECT_TRUE(torn.certain());  // held by descriptor 0 as by any other
    EXPECT_TRUE(torn.Is(fa2));
    ASSERT_EQ(unlink(a.c_str()), 0);
    EXPECT_FALSE(torn.Is(fa));
    EXPECT_FALSE(torn.remembered());
    EXPECT_EQ(fcntl(0, F_GETFD), -1);
    for (int fd : {fa, fa2, fb}) ::close(fd);
  });
}

// Asked with the inode number its caller knows a descriptor by, the memory
// answers false for another number without a look at the descriptor, and
// for its own number as the identity check does. A new file given the
// number of the remembered one (stood in through the identity check) is not
// the remembered file once that one was removed, nor when it lies on
// another device. A file remembered without a descriptor is known by its
// device and inode alone, not for certain, until it is remembered again
// with a descriptor to be had. Answers by another number look at the kept
// descriptor once in a second of the clock at most, and let a removed file
// go.
TEST(TornFile, AnswersByTheInodeNumberFirst) {
  InChild([] {
    TempDir dir;
    const std::string a = dir.file("a");
    const std::string b = dir.file("b");
    const std::string c = dir.file("c");
    for (const std::string& path : {a, b, c}) testsupport::WriteFile(path, "x");
    const int fa = ::open(a.c_str(), O_RDONLY);
    const int fa2 = ::open(a.c_str(), O_RDONLY);
    const int fb = ::open(b.c_str(), O_RDONLY);
    const int fc = ::open(c.c_str(), O_RDONLY);
    ASSERT_TRUE(fa >= 0 && fa2 >= 0 && fb >= 0 && fc >= 0);
    struct stat sa, sb;
    ASSERT_TRUE(fstat(fa, &sa) == 0 && fstat(fb, &sb) == 0);
    comspace::TornFile torn;
    torn.set_stat_fn(&CountedFstat);
    EXPECT_FALSE(torn.Is(fa, sa.st_ino));  // nothing remembered
    torn.Remember(fa);
    g_looks = 0;
    EXPECT_TRUE(torn.Is(fa2, sa.st_ino));
    EXPECT_FALSE(torn.Is(fb, sa.st_ino));  // the number, but another file
    EXPECT_EQ(g_looks.load(), 4);          // the kept descriptor and fd, each time
    g_looks = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000; ++i) EXPECT_FALSE(torn.Is(fb, sb.st_ino));
    EXPECT_FALSE(torn.Is(fa2, sb.st_ino));  // a number not the file's is another file
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    EXPECT_LE(g_looks.load(), 2 + seconds.count());
    EXPECT_TRUE(torn.remembered());

    // Every file has the number 1: each on a device of its own, then all
    // on one (the number given again).
    torn.set_stat_fn(&NumberOneOnItsOwnDevice);
    torn.Remember(fa);
    EXPECT_TRUE(torn.Is(fa2, 1));
    EXPECT_FALSE(torn.Is(fb, 1));
    torn.set_stat_fn(&NumberOneOnOneDevice);
    torn.Remember(fa);
    EXPECT_TRUE(torn.Is(fa2, 1));
    ASSERT_EQ(unlink(a.c_str()), 0);
    EXPECT_FALSE(torn.Is(fb, 1));
    EXPECT_FALSE(torn.remembered());

    // Remembered without a descriptor (none can be had): by its device and
    // inode alone.
    torn.set_stat_fn(&::fstat);
    struct rlimit files;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
    struct rlimit none = files;
    none.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    torn.Remember(fb);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &files), 0);
    EXPECT_TRUE(torn.Is(fb));
    EXPECT_TRUE(torn.Is(fb, sb.st_ino));
    EXPECT_FALSE(torn.Is(fa2, sa.st_ino));
    EXPECT_TRUE(torn.remembered());
    EXPECT_FALSE(torn.certain());  // the numbers may be a new file's
    torn.Remember(fb);             // a descriptor can be had now: held
    EXPECT_TRUE(torn.certain());
    EXPECT_TRUE(torn.Is(fb, sb.st_ino));

    // A removed file is let go by the answers by another number, also when
    // the descriptor kept is 0 (within a second; bounded: 6,000 answers a
    // millisecond apart).
    ASSERT_EQ(::close(0), 0);
    torn.Remember(fc);
    EXPECT_EQ(fcntl(0, F_GETFD), FD_CLOEXEC);
    ASSERT_EQ(unlink(c.c_str()), 0);
    for (int i = 0; i < 6000 && torn.remembered(); ++i) {
      EXPECT_FALSE(torn.Is(fb, sb.st_ino));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(torn.remembered());
    EXPECT_EQ(fcntl(0, F_GETFD), -1);
    ::close(fc);
    EXPECT_FALSE(HoldsRemoved(c));
    for (int fd : {fa, fa2, fb}) ::close(fd);
  });
}

// A FIFO at the log's path never blocks a call, whether it is there at the
// open or takes the place of the open log, and whoever reads it: lines the
// pipe cannot take at once are lost (FILE answers -1 for them), and the
// close keeps its bound. A reader finds the lines answered 0, whole.
TEST_P(FileKinds, AFifoAtTheLogPathNeverBlocks) {
  const std::string kind = GetParam();
  InChild([&] {
    comlogtest::HangGuard();
    using comlogtest::WithinBound;
    TempDir dir;
    const std::string fifo = dir.file("log");
    const std::string pad(1000, 'p');
    auto line = [&](int i) {
      char head[8];
      snprintf(head, sizeof(head), "%03d", i);
      return head + pad;
    };
    CaptureFd err(2);
    for (const bool at_open : {true, false}) {
      if (at_open) {
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
      }
      com_device_t dev = FileDevice(dir.path(), kind, comspace::COMLOG_SIZECUT, 2048, kDebugOnly);
      ASSERT_EQ(WithinBound("open", [&] { return OpenWith(&dev); }), 0);
      int reader = -1;
      if (!at_open) {
        com_writelog(UL_LOG_DEBUG, "into the file");
        ASSERT_EQ(unlink(fifo.c_str()), 0);
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // never reads until the close
        ASSERT_GE(reader, 0);
      }
      std::string taken;
      int lost = 0;
      for (int i = 0; i < 200; ++i) {
        const int rc = WithinBound("write " + std::to_string(i),
                                   [&] { return com_writelog(UL_LOG_DEBUG, "%s", line(i).c_str()); });
        if (rc == 0) taken += line(i) + "\n";
        lost += rc != 0;
      }
      EXPECT_EQ(WithinBound("close", [] { return com_closelog(0); }), 0);
      if (kind == "FILE") {
        EXPECT_GT(lost, 0) << at_open;  // 200 KiB do not fit a pipe
      }
      if (reader >= 0) {
        std::string piped(256 * 1024, '\0');
        const ssize_t got = read(reader, &piped[0], piped.size());
        ::close(reader);
        piped.resize(got > 0 ? static_cast<size_t>(got) : 0);
        // A line of 1 KiB goes into a pipe whole or not at all.
        if (kind == "FILE") {
          EXPECT_EQ(piped, taken);
        }
      }
      ASSERT_EQ(unlink(fifo.c_str()), 0);
    }
    err.Stop();
  });
}

// AFILE holds the lines of the last millisecond in memory; closing writes
// every one of them, in order.
TEST(AsyncFileAppender, CloseWritesEveryHeldLine) {
  InChild([] {
    TempDir dir;
    com_device_t dev = FileDevice(dir.path(), "AFILE", comspace::COMLOG_SIZECUT, 2048);
    ASSERT_EQ(OpenWith(&dev), 0);
    constexpr int kLines = 100000;
    for (int i = 0; i < kLines; ++i) com_writelog(UL_LOG_NOTICE, "%d", i);
    EXPECT_EQ(com_closelog(0), 0);
    const std::vector<std::string> lines = Messages(dir.file("log"));
    ASSERT_EQ(lines.size(), static_cast<size_t>(kLines));
    for (int i = 0; i < kLines; ++i) ASSERT_EQ(lines[static_cast<size_t>(i)], std::to_string(i));
  });
}

// AFILE at a FIFO whose reader is slower than the writers: the close keeps
// trying the lines the writer holds within its wait. With a reader taking
// 2,000 kB/s and a close without bound every line answered 0 is read,
// whole; with one that reads only after a close of 200 ms, the close gives
// up at the end of its wait and reports how many lines were lost: exactly
// those the reader misses (one of them may arrive cut).
TEST(AsyncFileAppender, TheCloseTriesHeldLinesWithinItsWait) {
  InChild([] {
    comlogtest::HangGuard();
    TempDir dir;
    const std::string fifo = dir.file("log");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string pad(1000, 'p');
    auto line = [&](int i) {
      char head[16];
      snprintf(head, sizeof(head), "%05d", i);
      return head + pad;
    };
    for (const bool slow_reader : {true, false}) {
      const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
      ASSERT_GE(reader, 0);
      com_device_t dev = FileDevice(dir.path(), "AFILE", comspace::COMLOG_SIZECUT, 2048, kDebugOnly);
      ASSERT_EQ(OpenWith(&dev), 0);
      // Reads until the appender is gone (the pipe then has no writer),
      // paced at 20,000 bytes every 10 ms.
      std::string piped;
      auto read_all = [&](bool paced) {
        char buf[20000];
        for (;;) {
          const ssize_t n = read(reader, buf, sizeof(buf));
          if (n == 0 || (n < 0 && errno != EAGAIN)) break;
          if (n > 0) piped.append(buf, static_cast<size_t>(n));
          if (paced || n < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
      };
      std::thread slow;
      if (slow_reader) slow = std::thread(read_all, true);
      CaptureFd err(2);
      std::map<int, int> answers;
      {
        // The writer waits meanwhile: every line is taken, 3 MiB for a pipe
        // of 64 KiB.
        comspace::xAutoLock hold(&AppenderFactory::tryAppender(dev)->_lock);
        for (int i = 0; i < 3000; ++i) {
          answers[i] = com_writelog(UL_LOG_DEBUG, "%s", line(i).c_str());
          ASSERT_EQ(answers[i], 0) << i;
        }
      }
      // Without bound (-1) for the slow reader (the hang guard bounds the
      // case); 200 ms for the other.
      EXPECT_EQ(slow_reader ? com_closelog(-1) : comlogtest::WithinBound("close", [] { return com_closelog(200); }), 0);
      const std::string text = err.Stop();
      if (slow_reader) {
        slow.join();
      } else {
        read_all(false);
      }
      ::close(reader);
      std::smatch m;
      const bool reported = std::regex_search(text, m, std::regex(R"(\](\d+) lines lost)"));
      EXPECT_EQ(reported, !slow_reader) << text.substr(0, 2000);
      comlogtest::ExpectWholeOrCut(Lines(piped), answers, line, slow_reader ? "slow reader" : "late reader",
                                   reported ? std::stol(m[1]) : 0);
    }
    ASSERT_EQ(unlink(fifo.c_str()), 0);
  });
}

// The close's wait counts from its call, for AFILE's held lines as for the
// network queues: when a holder of com_openlog_r keeps a close of 200 ms
// waiting past its wait, the held lines get one try and no more. A FIFO
// whose reader starts only then gets exactly the lines not reported lost.
TEST(AsyncFileAppender, TheCloseWaitForHeldLinesCountsFromTheCall) {
  InChild([] {
    comlogtest::HangGuard();
    TempDir dir;
    const std::string fifo = dir.file("log");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    com_device_t dev = FileDevice(dir.path(), "AFILE", comspace::COMLOG_SIZECUT, 2048, kDebugOnly);
    ASSERT_EQ(OpenWith(&dev), 0);
    CaptureFd err(2);
    std::atomic<int> step{0};
    std::thread holder([&step] {
      EXPECT_EQ(com_openlog_r(), 0);
      step = 1;
      while (step != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      EXPECT_EQ(com_closelog_r(), 0);
    });
    while (step != 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::string pad(1000, 'p');
    auto line = [&](int i) {
      char head[16];
      snprintf(head, sizeof(head), "%05d", i);
      return head + pad;
    };
    std::map<int, int> answers;
    {
      // The writer waits meanwhile: every line is taken, 3 MB for a pipe of
      // 64 KiB.
      comspace::xAutoLock hold(&AppenderFactory::tryAppender(dev)->_lock);
      for (int i = 0; i < 3000; ++i) {
        answers[i] = com_writelog(UL_LOG_DEBUG, "%s", line(i).c_str());
        ASSERT_EQ(answers[i], 0) << i;
      }
    }
    std::thread closer([] { EXPECT_EQ(com_closelog(200), 0); });
    // The close has begun once com_openlog_r is refused; its wait is over
    // 200 ms later.
    std::thread([] {
      while (com_openlog_r() == 0) {
        com_closelog_r();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }).join();
    std::this_thread::sleep_until(std::chrono::steady_clock::now() + std::chrono::milliseconds(200));
    step = 2;
    // Reads until the appender is gone (the pipe then has no writer).
    std::string piped;
    char buf[20000];
    for (;;) {
      const ssize_t n = read(reader, buf, sizeof(buf));
      if (n == 0 || (n < 0 && errno != EAGAIN)) break;
      if (n > 0) piped.append(buf, static_cast<size_t>(n));
      if (n < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    closer.join();
    holder.join();
    ::close(reader);
    const std::string text = err.Stop();
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text, m, std::regex(R"(\](\d+) lines lost)"))) << text.substr(0, 2000);
    EXPECT_GT(std::stol(m[1]), 0);
    comlogtest::ExpectWholeOrCut(Lines(piped), answers, line, "reader after the close's wait", std::stol(m[1]));
    ASSERT_EQ(unlink(fifo.c_str()), 0);
  });
}

// AFILE at a full disk that took a line's text but not its line end, and a
// close whose wait is over at once: that line is written (its text ends the
// file), and the close reports as lost exactly the lines after it.
TEST(AsyncFileAppender, TheCloseReportsAsLostOnlyTheLinesNotInTheFile) {
  InChild([] {
    signal(SIGXFSZ, SIG_IGN);
    TempDir dir;
    com_device_t dev = FileDevice(dir.path(), "AFILE", comspace::COMLOG_SIZECUT, 2048, kDebugOnly);
    ASSERT_EQ(OpenWith(&dev), 0);
    testsupport::CapturePipe err(2);  // a file would be capped too
    ASSERT_EQ(com_writelog(UL_LOG_DEBUG, "first"), 0);
    ASSERT_TRUE(WaitFor([&] { return SizeOf(dir.file("log")) == 6; }));
    comlogtest::CapFileSize(6 + 6);
    constexpr int kAfter = 5;
    {
      // The writer waits meanwhile: it meets the cap with every line held.
      comspace::xAutoLock hold(&AppenderFactory::tryAppender(dev)->_lock);
      ASSERT_EQ(com_writelog(UL_LOG_DEBUG, "second"), 0);
      for (int i = 0; i < kAfter; ++i) ASSERT_EQ(com_writelog(UL_LOG_DEBUG, "after %d", i), 0);
    }
    ASSERT_TRUE(WaitFor([&] { return SizeOf(dir.file("log")) == 12; }));
    EXPECT_EQ(com_closelog(0), 0);
    const std::string text = err.Stop();
    EXPECT_EQ(ReadFile(dir.file("log")), "first\nsecond");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text, m, std::regex(R"(\](\d+) lines lost: )"))) << text.substr(0, 2000);
    EXPECT_EQ(std::stoi(m[1]), kAfter);
  });
}

// AFILE's writer cut short inside a line whose file then cannot be opened
// for a while (moved away, and no descriptor to be had): it keeps the rest
// of the line, and once the same file is back the rest goes right after the
// line's beginning, the lines after it on lines of their own.
TEST(AsyncFileAppender, TheRestOfACutLineWaitsForItsFileToOpenAgain) {
  InChild([] {
    signal(SIGXFSZ, SIG_IGN);
    TempDir dir;
    com_device_t dev = FileDevice(dir.path(), "AFILE", comspace::COMLOG_SIZECUT, 2048, kDebugOnly);
    ASSERT_EQ(OpenWith(&dev), 0);
    // Through a pipe: the cap on file sizes below would cut a file.
    testsupport::CapturePipe err(2);
    ASSERT_EQ(com_writelog(UL_LOG_DEBUG, "first"), 0);
    ASSERT_TRUE(WaitFor([&] { return SizeOf(dir.file("log")) == 6; }));
    comlogtest::CapFileSize(6 + 3);
    ASSERT_EQ(com_writelog(UL_LOG_DEBUG, "second"), 0);
    // Stalled: the file holds "sec" and the writer the rest.
    std::string taken;  // probes taken before the writer met the cap
    ASSERT_TRUE(ProbesUntilRefused(&taken));
    struct rlimit files;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
    struct rlimit none = files;
    none.rlim_cur = 0;  // no open succeeds; open descriptors stay
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    ASSERT_EQ(rename(dir.file("log").c_str(), dir.file("moved").c_str()), 0);
    // The writer tries to open a new log, fails (reported once) and keeps
    // what it holds.
    EXPECT_TRUE(WaitFor([&] { return err.Peek().find("]can't open ") != std::string::npos; })) << err.Peek();
    EXPECT_NE(com_writelog(UL_LOG_DEBUG, "refused"), 0);
    ASSERT_EQ(rename(dir.file("moved").c_str(), dir.file("log").c_str()), 0);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &files), 0);
    comlogtest::CapFileSize(RLIM_INFINITY);
    EXPECT_TRUE(WaitFor([] { return com_writelog(UL_LOG_DEBUG, "third") == 0; }));
    EXPECT_EQ(com_closelog(0), 0);
    const std::string text = err.Stop();
    EXPECT_EQ(Count(text, "]can't open "), 1) << text.substr(0, 2000);
    EXPECT_EQ(ReadFile(dir.file("log")), "first\nsecond\n" + taken + "third\n");
  });
}

// The descriptors the process has open.
int OpenDescriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

// A FILE appender deleted while the threads that wrote through it live:
// their descriptors close at once, what each thread kept for it goes when
// the thread ends (the child's exit finds no leak under LeakSanitizer), and
// the threads write on through a new appender meanwhile.
TEST(FileAppender, DeletedWhileItsWritersLive) {
  InChild([] {
    TempDir dir;
    com_device_t dev = FileDevice(dir.path(), "FILE", comspace::COMLOG_SIZECUT, 2048);
    const int fds_before = OpenDescriptors();
    auto make = [&] {
      auto* app = new comspace::FileAppender();
      app->setDeviceInfo(dev);
      app->setLayout(dev.layout);
      EXPECT_EQ(app->init(), 0);
      return app;
    };
    constexpr int kThreads = 8;
    std::atomic<comspace::FileAppender*> app{make()};
    std::atomic<int> written{0}, phase{0};
    auto wait_for = [](const std::function<bool()>& cond) {
      while (!cond()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    auto print = [](comspace::FileAppender* to, const std::string& text) {
      comspace::Event* evt = comspace::Event::getEvent();
      evt->_log_level = UL_LOG_NOTICE;
      evt->_msgbuf_len = snprintf(evt->_msgbuf, static_cast<size_t>(evt->_msgbuf_size), "%s", text.c_str());
      EXPECT_EQ(to->print(evt), 0);
      evt->reset();
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (int round = 0; round < 2; ++round) {
          print(app.load(), "r" + std::to_string(round) + " t" + std::to_string(t));
          ++written;
          wait_for([&] { return phase.load() > round; });
        }
      });
    }
    for (int round = 0; round < 2; ++round) {
      wait_for([&] { return written.load() == kThreads * (round + 1); });
      delete app.load();  // its writers live on
      EXPECT_EQ(OpenDescriptors(), fds_before) << round;
      if (round == 0) app = make();
      ++phase;
    }
    for (auto& th : threads) th.join();

    // A thread that ends closes its descriptors of every appender it wrote
    // through, and of appenders still alive.
    comspace::FileAppender* first = make();
    comspace::FileAppender* second = make();
    const int fds_alive = OpenDescriptors();
    std::thread([&] {
      print(first, "s0");
      print(second, "s1");
    }).join();
    EXPECT_EQ(OpenDescriptors(), fds_alive);
    delete first;
    delete second;

    std::vector<std::string> lines = Messages(dir.file("log"));
    std::sort(lines.begin(), lines.end());
    ASSERT_EQ(lines.size(), 2u * kThreads + 2);
    EXPECT_EQ(lines.front(), "r0 t0");
    EXPECT_EQ(lines[2 * kThreads - 1], "r1 t7");
    EXPECT_EQ(lines.back(), "s1");
    delete dev.layout;
  });
}

// FILE and AFILE devices of one file share the appender of the kind asked
// first; a file that cannot be opened gives no appender.
TEST(FileAppender, SharedPerFileAndOpenFailure) {
  InChild([] {
    ASSERT_EQ(comspace::comlog_get_nameMg()->create(), 0);
    TempDir dir;
    com_device_t a = FileDevice(dir.path(), "AFILE", comspace::COMLOG_SIZECUT, 2048);
    com_device_t f = FileDevice(dir.path(), "FILE", comspace::COMLOG_SIZECUT, 2048);
    delete f.layout;  // one layout for both devices, owned by the registry
    f.layout = a.layout;
    EXPECT_EQ(AppenderFactory::tryAppender(f), nullptr);
    Appender* app = AppenderFactory::getAppender(a);
    ASSERT_NE(dynamic_cast<comspace::AsyncFileAppender*>(app), nullptr);
    EXPECT_EQ(AppenderFactory::getAppender(f), app);
    EXPECT_EQ(AppenderFactory::tryAppender(f), app);

    com_device_t bad = FileDevice(dir.path() + "/no/such", "FILE", comspace::COMLOG_SIZECUT, 2048);
    CaptureFd err(2);
    EXPECT_EQ(AppenderFactory::getAppender(bad), nullptr);
    const std::string text = err.Stop();
    EXPECT_NE(text.find("]can't open " + dir.path() + "/no/such/log"), std::string::npos) << text;
    EXPECT_NE(text.find("]init log[FILE:" + dir.path() + "/no/such/log] err"), std::string::npos) << text;
    delete bad.layout;
    comspace::comlog_get_nameMg()->destroy();
  });
}

}  // namespace
