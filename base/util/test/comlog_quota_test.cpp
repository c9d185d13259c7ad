// The backup quota checker: the limit read from a device's extra items, the
// first scan of the log folder (which names count as backups; other files
// beside the log are left alone) and the ring of kept backups.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "comlog/appender/logcut.h"
#include "comlog/appender/quotachecker.h"
#include "comlog/xutils.h"
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

// A backup name the cutting makes, in the default form (a stamp of k
// seconds past a fixed minute).
std::string Stamped(int k) {
  char buf[64];
  snprintf(buf, sizeof(buf), "log.202401020304%02d", k);
  return buf;
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
  for (int i = 0; i < 30; ++i) Backdated(dir.file(Stamped(i)), 1000 + 10 * i);
  for (int i = 0; i < 3; ++i) Backdated(dir.file("log.wf.2024010203040" + std::to_string(i)), 100000);
  Backdated(dir.file("log.sf.20240102030400"), 100000);
  Backdated(dir.file("log"), 100000);
  Backdated(dir.file("logx.1"), 100000);
  CaptureAppender app;
  SetDevice(&app, dir.path(), comspace::COMLOG_DATECUT, 2048, 60, {{"QUOTA_DAY", 1}});
  {
    QuotaChecker qc(&app);
    ASSERT_EQ(qc.check_quota(nullptr), 0);
    ASSERT_EQ(qc.quota_filenum(), 24);
    // The six oldest (i = 24 to 29) go.
    EXPECT_TRUE(WaitFor([&] { return !FileExists(dir.file(Stamped(24))) && !FileExists(dir.file(Stamped(29))); }));
    for (int i = 0; i < 30; ++i) {
      EXPECT_EQ(FileExists(dir.file(Stamped(i))), i < 24) << i;
    }
    // The 25th cut after the start removes the oldest kept one, i = 23.
    testsupport::WriteFile(dir.file("log.new"), "x\n");
    EXPECT_EQ(qc.check_quota(dir.file("log.new").c_str()), 0);
    EXPECT_TRUE(WaitFor([&] { return !FileExists(dir.file(Stamped(23))); }));
    EXPECT_TRUE(FileExists(dir.file(Stamped(22))));
  }
  for (const char* kept : {"log.wf.20240102030400", "log.wf.20240102030402", "log.sf.20240102030400", "log",
                           "logx.1", "log.new"}) {
    EXPECT_TRUE(FileExists(dir.file(kept))) << kept;
  }
}

// Only the names the cutting makes count as backups at the start: NAME, a
// dot and the stamp (RESERVED1's form, or the default one that a failed
// rename falls back to), with the ".1", ".2", ... of a repeated cut. An old
// file of any other name beside a newer backup, with a limit of 1, stays.
TEST(QuotaChecker, OnlyNamesTheCuttingMakesCount) {
  struct Row {
    const char* reserved1;
    const char* name;
    bool counted;
  } rows[] = {
      {"", "log.20240102030405", true},
      {"", "log.20240102030405.12", true},
      {"", "log.20240102030405.0", false},   // counters start at 1
      {"", "log.20240102030405.01", false},
      {"", "log.20240102030405.2147483646", true},   // the largest counter a cut writes
      {"", "log.20240102030405.2147483647", false},
      {"", "log.20240102030405.20240615120000", false},  // a copy its user stamped again
      {"", "log.2024010203040", false},      // one digit short
      {"", "log.202401020304050", false},    // one digit over
      {"", "log.20240102030405.gz", false},
      {"", "log.20240102", false},           // a day stamp without RESERVED1
      {"", "log.keep", false},
      {"", "log.", false},
      {"", "log.access.20240102030405", false},  // a backup of the device "log.access"
      {"%Y%m%d", "log.20240102", true},
      {"%Y%m%d", "log.20240102.3", true},
      {"%Y%m%d", "log.20240102030405", true},  // the fallback form
      {"%Y%m%d", "log.2024010", false},
      {"%Y-%m-%d_%H", "log.2024-01-02_03", true},
      {"%Y-%m-%d_%H", "log.2024-01-02_3", false},
      {"%b%d", "log.Jan02", true},
      {"%b%d", "log.jan02", false},
      {"bak", "log.bak", true},               // a suffix without a time
      {"bak", "log.bakk", false},
      // A stamp counts only when it is a real time: the fields strptime
      // accepts but no clock shows are a user's names.
      {"", "log.20240229120000", true},      // a leap day
      {"", "log.20230229120000", false},     // not a leap year
      {"", "log.20240231120000", false},
      {"", "log.20240430120000", true},
      {"", "log.20240431120000", false},
      {"", "log.20240101120059", true},
      {"", "log.20240101120060", false},     // a leap second the cutting never writes
      {"%m%d", "log.0229", true},            // without a year: some year has it
      {"%m%d", "log.0230", false},
      {"%Y%j", "log.2024366", true},
      {"%Y%j", "log.2023366", false},
      {"%j", "log.366", true},
      {"%Y%m%d%a", "log.20240101Mon", true},
      {"%Y%m%d%a", "log.20240101Tue", false},  // 2024-01-01 was a Monday
      {"%a%H", "log.Tue03", true},             // no date: any weekday
      {"%Y%m%d%z", "log.20240101+0000", true},  // stamps show local time as UTC
      {"%Y%m%d%z", "log.20240101+0100", false},
      {"%Y%m%d%Z", "log.20240101GMT", true},
      {"%Y%m%d%Z", "log.20240101CET", false},
      {"%Y%m%d%Z", "log.20240101GMT.2", true},  // a zone name is read up to the next blank
      {"", "log.20230229120000.1", false},
      // A zone name before more fields is the cutting's "GMT" alone.
      {"%Z_%Y%m%d%H%M%S", "log.GMT_20240615120000", true},
      {"%Z_%Y%m%d%H%M%S", "log.CET_20240615120000", false},
      // am and pm as strftime writes them, in their case.
      {"%p", "log.PM", true},
      {"%p", "log.pm", false},
      {"%P", "log.pm", true},
      {"%P", "log.PM", false},
      {"%I%P", "log.12am", true},
      {"%I%P", "log.00am", false},
      {"%I%P", "log.13pm", false},
      // A blank-padded hour before the minutes is two characters wide; a
      // blank in the form is read as a blank.
      {"%k%M", "log. 230", true},
      {"%k%M", "log.0230", false},
      {"%Y %m", "log.2024 06", true},
      {"%e%H %b", "log. 203 Jun", true},  // a blank before a letter stays one
      {"%Q%Y", "log.%Q2024", true},  // a code strftime copies as it stands
      {"%Q%Y", "log.Q2024", false},
      // Numbers no cut since 2000 writes as a year or as seconds.
      {"%Y", "log.2024", true},
      {"%Y", "log.1", false},
      {"%Y", "log.10.1", false},
      {"%s", "log.1718452800", true},
      {"%s", "log.0", false},
      {"%s", "log.1.2", false},
      {"%C%y", "log.1999", false},
      {"%Y%m%d%H_%s", "log.x_1718452800", false},  // the fields before the seconds
      {"", "log_20240102030405", false},
      {"", "lag.20240102030405", false},
  };
  for (const Row& r : rows) {
    TempDir dir;
    Backdated(dir.file(r.name), 100000);
    Backdated(dir.file("log.20250101000000"), 10);
    CaptureAppender app;
    SetDevice(&app, dir.path(), comspace::COMLOG_SIZECUT, 100, 60, {{"QUOTA_SIZE", 101}});
    snprintf(app._device.reserved1, sizeof(app._device.reserved1), "%s", r.reserved1);
    {
      QuotaChecker qc(&app);
      ASSERT_EQ(qc.check_quota(nullptr), 0);
      ASSERT_EQ(qc.quota_filenum(), 1);
    }  // every queued removal is done once the checker is gone
    EXPECT_EQ(FileExists(dir.file(r.name)), !r.counted) << r.reserved1 << " " << r.name;
    EXPECT_TRUE(FileExists(dir.file("log.20250101000000"))) << r.name;
  }
  EXPECT_FALSE(comspace::is_backup_name(nullptr, "log", ""));
  EXPECT_FALSE(comspace::is_backup_name("log.20240102030405", nullptr, ""));
}

// Every name save_backup gives, for stamps of many kinds over many times and
// with the counters of repeated cuts, is one the first scan counts.
TEST(QuotaChecker, EveryNameTheCuttingGivesCounts) {
  TempDir dir;
  const std::string log = dir.file("log");
  char out[comspace::COMLOG_BACKUP_NAME_SIZE];
  std::vector<time_t> times;
  for (int k = 0; k < 20; ++k) times.push_back(946684800 + static_cast<time_t>(k) * (86400 * 37 + 3671));
  times.push_back(951825600);   // 2000-02-29 12:00:00
  times.push_back(1709251199);  // 2024-02-29 23:59:59
  times.push_back(1703980800);  // 2023-12-31 00:00:00, day 365
  for (const char* suffix : {"", "%Y%m%d", "%Y-%m-%d_%H", "%b%d", "%e.%H", "%s", "%j", "%a%H%M", "bak", "%m%d",
                             "%Y%j%a%z", "%Y%m%d%Z", "%U%a"}) {
    for (const time_t t : times) {
      for (int repeat = 0; repeat < 2; ++repeat) {  // the second gets ".1"
        testsupport::WriteFile(log, "x\n");
        ASSERT_EQ(comspace::save_backup(log.c_str(), out, sizeof(out), suffix, t, false), 0);
        const char* name = strrchr(out, '/') + 1;
        EXPECT_TRUE(comspace::is_backup_name(name, "log", suffix)) << suffix << " " << name;
      }
    }
  }
}

// A user's files beside the log, older than every backup, keep their bytes,
// while the backups past the quota go: those an earlier run left (in both
// forms) and, cut by cut, those made since.
TEST(QuotaChecker, ForeignFilesKeepTheirBytes) {
  TempDir dir;
  const std::vector<std::string> foreign = {"log.keep", "log.old", "log.20240102030405.gz", "log.2024-01-02",
                                            "log.20230229"};
  for (const std::string& f : foreign) {
    testsupport::WriteFile(dir.file(f), "mine: " + f + "\n");
    timeval tv[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimes(dir.file(f).c_str(), tv), 0);
  }
  // Oldest first.
  const std::vector<std::string> left = {"log.20240101", "log.20240101.1", "log.20240101030405", "log.20240102",
                                         "log.20240102.2"};
  for (size_t i = 0; i < left.size(); ++i) Backdated(dir.file(left[i]), 5000 - 1000 * static_cast<int>(i));
  CaptureAppender app;
  SetDevice(&app, dir.path(), comspace::COMLOG_SIZECUT, 1, 60, {{"QUOTA_SIZE", 3}});
  snprintf(app._device.reserved1, sizeof(app._device.reserved1), "%%Y%%m%%d");
  {
    QuotaChecker qc(&app);
    ASSERT_EQ(qc.check_quota(nullptr), 0);
    ASSERT_EQ(qc.quota_filenum(), 3);
    EXPECT_TRUE(WaitFor([&] { return !FileExists(dir.file(left[0])) && !FileExists(dir.file(left[1])); }));
    for (int cut = 0; cut < 3; ++cut) {
      const std::string made = dir.file("log.20240103.") + std::to_string(cut + 1);
      testsupport::WriteFile(made, "x\n");
      ASSERT_EQ(qc.check_quota(made.c_str()), 0);
    }
    EXPECT_TRUE(WaitFor([&] {
      return !FileExists(dir.file(left[2])) && !FileExists(dir.file(left[3])) && !FileExists(dir.file(left[4]));
    }));
  }
  for (const std::string& f : foreign) EXPECT_EQ(testsupport::ReadFile(dir.file(f)), "mine: " + f + "\n") << f;
  for (int cut = 1; cut <= 3; ++cut) EXPECT_TRUE(FileExists(dir.file("log.20240103." + std::to_string(cut))));
}

// Makes a backup of the log (a file written for it) through save_backup at
// t local-time seconds; its name without the folder.
std::string Cut(const TempDir& dir, const char* suffix, time_t t) {
  const std::string log = dir.file("log");
  testsupport::WriteFile(log, "x\n");
  char out[comspace::COMLOG_BACKUP_NAME_SIZE];
  if (comspace::save_backup(log.c_str(), out, sizeof(out), suffix, t, false) != 0) return "";
  return strrchr(out, '/') + 1;
}

void SetTime(const std::string& path, time_t t) {
  timeval tv[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(utimes(path.c_str(), tv), 0) << path;
}

// A user's numbered files beside the log (log.0, log.1, log.2, log.10) read
// as year 1 or second 1 of 1970 under the stamps "%Y" and "%s", which no
// cut made: older than every backup, they stay, while the backups past the
// quota go, at the start and cut by cut.
TEST(QuotaChecker, NumberedFilesOfAUserStay) {
  const std::vector<std::string> users = {"log.0", "log.1", "log.2", "log.10"};
  for (const char* suffix : {"%Y", "%s"}) {
    TempDir dir;
    for (const std::string& f : users) {
      testsupport::WriteFile(dir.file(f), "mine: " + f + "\n");
      SetTime(dir.file(f), 1000000000);
    }
    // Backups a year and a day apart from 2018 on, oldest first: five of
    // earlier runs, then two cuts after the start.
    std::vector<std::string> made;
    auto cut = [&](int k) {
      made.push_back(Cut(dir, suffix, 1514764800 + static_cast<time_t>(k) * 86400 * 366));
      ASSERT_FALSE(made.back().empty()) << suffix << " " << k;
      SetTime(dir.file(made.back()), 1600000000 + k * 1000);
    };
    for (int k = 0; k < 5; ++k) cut(k);
    CaptureAppender app;
    SetDevice(&app, dir.path(), comspace::COMLOG_SIZECUT, 1, 60, {{"QUOTA_SIZE", 3}});
    snprintf(app._device.reserved1, sizeof(app._device.reserved1), "%s", suffix);
    {
      QuotaChecker qc(&app);
      ASSERT_EQ(qc.check_quota(nullptr), 0);
      ASSERT_EQ(qc.quota_filenum(), 3);
      for (int k = 5; k < 7; ++k) {
        cut(k);
        ASSERT_EQ(qc.check_quota(dir.file(made[k]).c_str()), 0);
      }
    }  // every queued removal is done once the checker is gone
    int lost = 0;
    for (const std::string& f : users) lost += testsupport::ReadFile(dir.file(f)) == "mine: " + f + "\n" ? 0 : 1;
    EXPECT_EQ(lost, 0) << suffix << ": " << lost << " of " << users.size() << " files of the user removed";
    for (size_t k = 0; k < made.size(); ++k) EXPECT_EQ(FileExists(dir.file(made[k])), k >= 4) << suffix << " " << made[k];
  }
}

// A stamp counts from the first second of 2000 (the cutting's local time)
// to a day past the time of the check; a stamp without the second gives the
// first second it can stand for. Each limit is tried at itself and one
// second past it, with the counter of a repeated cut too.
TEST(QuotaChecker, StampsCountFromTheYear2000ToADayAhead) {
  constexpr time_t kFloor = 946684800;  // 2000-01-01 00:00:00
  constexpr time_t kLimit = 1767225600;  // 2026-01-01 00:00:00
  // The clock at which kLimit is a day ahead of the cutting's time.
  const time_t at_limit = kLimit - comspace::xtimezoneoffset() - 86400;
  const time_t now = at_limit;
  struct Row {
    const char* suffix;
    time_t t;      // the time of the cut
    time_t now;    // the clock of the check
    bool repeat;   // the name a second cut in that second gets
    bool counted;
  } rows[] = {
      {"", kFloor, now, false, true},
      {"", kFloor - 1, now, false, false},
      {"", kFloor, now, true, true},
      {"", kFloor - 1, now, true, false},
      {"%s", kFloor, now, false, true},
      {"%s", kFloor - 1, now, false, false},
      {"%Y", kFloor, now, false, true},  // "2000"
      {"%Y", kFloor - 1, now, false, false},
      {"%Y", kFloor - 1, now, true, false},
      {"", kLimit, at_limit, false, true},
      {"", kLimit + 1, at_limit, false, false},
      {"", kLimit + 1, at_limit, true, false},
      {"%s", kLimit, at_limit, false, true},
      {"%s", kLimit + 1, at_limit, false, false},
      {"%Y", kLimit, at_limit, false, true},  // "2026" from its first second on
      {"%Y", kLimit, at_limit - 1, false, false},
      // A two-digit year of 69 to 99 is read a century after strptime's
      // 1969 to 1999.
      {"%y", 4085078400, 4085078400, false, true},  // 2099-06-13: "99"
      {"%y", 4085078400, at_limit, false, false},
  };
  for (const Row& r : rows) {
    TempDir dir;
    std::string name = Cut(dir, r.suffix, r.t);
    if (r.repeat) name = Cut(dir, r.suffix, r.t);
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(comspace::is_backup_name(name.c_str(), "log", r.suffix, r.now), r.counted)
        << r.suffix << " " << name << " at " << r.now;
  }
}

// A stamp is read whole up to the longest file name, with or without a
// counter after it; a longer one is no backup (and no byte past the buffers
// of the reading is touched).
TEST(QuotaChecker, StampsAreReadUpToTheLongestFileName) {
  for (const size_t width : {size_t{NAME_MAX}, size_t{NAME_MAX} + 1}) {
    const std::string suffix = "%_" + std::to_string(width) + "Y";
    const std::string name = "log." + std::string(width - 4, ' ') + "2024";
    for (const char* counter : {"", ".1"}) {
      EXPECT_EQ(comspace::is_backup_name((name + counter).c_str(), "log", suffix.c_str(), 1767225600),
                width == NAME_MAX)
          << width << counter;
    }
  }
}

// The instants of 2024 at which the zone's offset changes (the zones
// tried change on a quarter of an hour).
std::vector<time_t> OffsetChangesOf2024() {
  std::vector<time_t> out;
  long before = 0;
  for (time_t u = 1704067200; u < 1735689600; u += 900) {
    struct tm tm;
    localtime_r(&u, &tm);
    if (u > 1704067200 && tm.tm_gmtoff != before) out.push_back(u);
    before = tm.tm_gmtoff;
  }
  return out;
}

// Every name save_backup gives counts, read the way the cutting wrote it,
// in zones without summer time, with it (of an hour in both hemispheres, of
// half an hour), with offsets of half and three quarters of an hour, and
// whose offset in 1970, which the cutting adds to the clock, is not today's
// (London then kept summer time all year; Lord Howe was at +10:00). The
// cuts run over 2024 and at the hour before, the second before, the second
// of and the hour after each change of the zone's offset; every fourth is
// made twice for the counter ".1". A stamp whose seconds and fields
// disagree by an hour is made by no cut.
TEST(QuotaChecker, CuttingNamesCountInEveryZone) {
  const char* const zones[] = {"UTC", "America/New_York", "Europe/London", "Europe/Berlin",
                               "Australia/Lord_Howe", "Asia/Kolkata", "Pacific/Chatham", "America/Sao_Paulo"};
  const char* const forms[] = {
      // Forms of every kind before.
      "", "%Y%m%d", "%Y-%m-%d_%H", "%b%d", "%e.%H", "%s", "%j", "%a%H%M", "bak", "%m%d", "%Y%j%a%z",
      "%Y%m%d%Z",
      // A zone name before more fields, am and pm, seconds beside a date.
      "%Z_%Y%m%d%H%M%S", "%p", "%P", "%I%P", "%Y%m%d%H_%s",
      // Nearby: codes whose text never changes (zone offset and name with
      // flags, blanks, a percent sign, a code strftime copies as it stands),
      // seconds before more digits, two-digit years, blank-padded hours,
      // composite and locale forms, flags and modifiers.
      "%Y%m%d%H%M%S%z", "%#Z%Y", "%Y%n%H", "%t%d", "%%%Y%m%d", "%Q%Y", "%s%M", "%C%y%m%d", "%y%m%d", "%k%M",
      "%l%P", "%c", "%X", "%F_%T", "%r", "%R", "%h%e", "%^a%#b", "%Ey%OH"};
  for (const char* zone : zones) {
    const int status = testsupport::RunInChild([&] {
      setenv("TZ", zone, 1);
      tzset();
      const time_t zero = 0;
      struct tm tm0;
      localtime_r(&zero, &tm0);
      // The cutting's clock: the time plus the zone's offset in 1970.
      std::vector<time_t> times;
      for (time_t u = 1704067200; u < 1735689600; u += 61 * 3600 + 17 * 60 + 13) times.push_back(u + tm0.tm_gmtoff);
      const std::vector<time_t> changes = OffsetChangesOf2024();
      for (const time_t c : changes) {
        for (const time_t d : {-3600, -1, 0, 3600}) times.push_back(c + d + tm0.tm_gmtoff);
      }
      TempDir dir;
      for (const char* form : forms) {
        int missed = 0;
        int total = 0;
        std::string example;
        auto check = [&](const std::string& name) {
          ++total;
          if (comspace::is_backup_name(name.c_str(), "log", form)) return;
          if (++missed == 1) example = name;
        };
        for (size_t i = 0; i < times.size(); ++i) {
          const std::string name = Cut(dir, form, times[i]);
          EXPECT_FALSE(name.empty()) << zone << " " << form;
          check(name);
          if (i % 4 == 0) {
            const std::string again = Cut(dir, form, times[i]);
            EXPECT_EQ(again, name + ".1");
            check(again);
            unlink(dir.file(again).c_str());
          }
          unlink(dir.file(name).c_str());
          if (strcmp(form, "%Y%m%d%H_%s") == 0) {
            const size_t bar = name.find('_');
            const long long secs = strtoll(name.c_str() + bar + 1, nullptr, 10);
            for (const long long d : {-3600LL, 3600LL}) {
              const std::string other = name.substr(0, bar + 1) + std::to_string(secs + d);
              EXPECT_FALSE(comspace::is_backup_name(other.c_str(), "log", form)) << zone << " " << other;
            }
          }
        }
        EXPECT_EQ(missed, 0) << zone << " \"" << form << "\": " << missed << " of " << total
                             << " names not counted, e.g. \"" << example << "\"";
      }
      EXPECT_EQ(changes.size(), (strcmp(zone, "UTC") == 0 || strcmp(zone, "Asia/Kolkata") == 0 ||
                                 strcmp(zone, "America/Sao_Paulo") == 0)
                                    ? 0u
                                    : 2u)
          << zone;
      return ::testing::Test::HasFailure() ? 1 : 0;
    });
    EXPECT_EQ(status, 0) << zone;
  }
}

TEST(QuotaChecker, RingFillsBeforeItRemoves) {
  TempDir dir;
  for (int i = 0; i < 3; ++i) Backdated(dir.file(Stamped(i)), 100 * (i + 1));  // Stamped(2) oldest
  CaptureAppender app;
  SetDevice(&app, dir.path(), comspace::COMLOG_SIZECUT, 1, 60, {{"QUOTA_SIZE", 5}});
  QuotaChecker qc(&app);
  ASSERT_EQ(qc.check_quota(nullptr), 0);
  ASSERT_EQ(qc.quota_filenum(), 5);
  // Cut k removes: nothing, nothing, the three found oldest first, then new1.
  const std::vector<std::string> gone = {"", "", Stamped(2), Stamped(1), Stamped(0), "log.new1"};
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
