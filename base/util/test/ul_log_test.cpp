#include "ul_log.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "rename_seam.h"
#include "support/support.h"

namespace {

using testsupport::CaptureFd;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::TempDir;

// The log's state is process-wide: every case runs in a forked child, whose
// gtest failures make it exit non-zero. The child ends through exit() so that
// the sanitizers' exit checks (races, leaks) also decide its status.
void InChild(const std::function<void()>& body) {
  int status = testsupport::RunInChild([&] {
    body();
    std::exit(::testing::Test::HasFailure() ? 1 : 0);
    return 0;
  });
  EXPECT_EQ(status, 0);
}

const char kTime[] = R"(\d\d-\d\d \d\d:\d\d:\d\d)";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
  }
  return names;
}

unsigned long Tid() { return static_cast<unsigned long>(syscall(SYS_gettid)); }

TEST(UlLog, StandardErrorFallbackBeforeAnyOpen) {
  InChild([] {
    CaptureFd err(2);
    EXPECT_EQ(ul_writelog(UL_LOG_DEBUG, "hello %d", 5), 0);
    EXPECT_EQ(ul_writelog(256, "self"), -3);
    EXPECT_EQ(ul_writelog(UL_LOG_WARNING, "%s", std::string(3000, 'x').c_str()), 0);
    EXPECT_EQ(ul_log_enabled(UL_LOG_DEBUG), 1);
    EXPECT_EQ(ul_log_enabled(256), 0);
    EXPECT_EQ(ul_closelog_r(0), -1);
    auto lines = Lines(err.Stop());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(std::string("DEBUG: ") + kTime + ":   \\* 0 hello 5")))
        << lines[0];
    EXPECT_EQ(lines[1].size(), 2047u);
    EXPECT_EQ(lines[1].compare(0, 9, "WARNING: "), 0);
  });
}

TEST(UlLog, ProcessLogLinesLevelsAndBanners) {
  TempDir dir;
  InChild([&] {
    ul_logstat_t st = {UL_LOG_NOTICE, 0, UL_LOGTTY};
    CaptureFd err(2);
    ASSERT_EQ(ul_openlog(dir.path().c_str(), "abc_def", &st, 1, NULL), 0);
    const std::string tid = std::to_string(Tid());
    EXPECT_EQ(ul_writelog(UL_LOG_WARNING, "warn %s", "w"), 0);
    EXPECT_EQ(ul_writelog(UL_LOG_NOTICE, "note %d", 1), 0);
    EXPECT_EQ(ul_writelog(UL_LOG_TRACE, "trace"), -3);
    EXPECT_EQ(ul_writelog(3, "plain"), 0);
    EXPECT_EQ(ul_log_enabled(UL_LOG_TRACE), 0);
    EXPECT_EQ(ul_openlog(dir.path().c_str(), "again", &st, 1, NULL), -1);
    EXPECT_EQ(ul_closelog(0), 0);
    std::string errs = err.Stop();

    const std::string head = std::string(kTime) + ":  abc \\* " + tid + " ";
    auto normal = Lines(ReadFile(dir.file("abclog")));
    auto wf = Lines(ReadFile(dir.file("abclog.wf")));
    ASSERT_EQ(normal.size(), 6u);
    EXPECT_TRUE(std::regex_match(normal[0], std::regex(head + "\\* Open process log by----abc_def")));
    EXPECT_EQ(normal[1], std::string(49, '='));
    EXPECT_TRUE(std::regex_match(normal[2], std::regex("NOTICE: " + head + "note 1"))) << normal[2];
    EXPECT_TRUE(std::regex_match(normal[3], std::regex(head + "plain")));
    EXPECT_TRUE(std::regex_match(normal[4], std::regex(head + "< - > Normally end process")));
    EXPECT_EQ(normal[5], std::string(48, '='));
    ASSERT_EQ(wf.size(), 5u);
    EXPECT_TRUE(std::regex_match(wf[0], std::regex(head + "\\* Open process log by----abc_def for wf")));
    EXPECT_EQ(wf[1], std::string(56, '='));
    EXPECT_TRUE(std::regex_match(wf[2], std::regex("WARNING: " + head + "warn w")));

    // The echo on standard error carries the same lines, and the notes.
    EXPECT_NE(errs.find("Open log file abc_deflog success!\n"), std::string::npos);
    EXPECT_NE(errs.find("[ul_openlog]Log is already open...."), std::string::npos);
    EXPECT_NE(errs.find("note 1\n"), std::string::npos);
    EXPECT_NE(errs.find("Close log successed.\n"), std::string::npos);

    // Closed: a new open succeeds.
    ul_logstat_t quiet = {UL_LOG_DEBUG, 0, 0};
    EXPECT_EQ(ul_openlog(dir.path().c_str(), "abc", &quiet, 1, NULL), 0);
    EXPECT_EQ(ul_closelog(1), 0);
    auto again = Lines(ReadFile(dir.file("abclog")));
    EXPECT_TRUE(std::regex_match(again[again.size() - 2], std::regex(".*< ! > Abnormally end process")));
  });
}

TEST(UlLog, NamesSelfDefinedLogsAndThreadFiles) {
  TempDir dir;
  InChild([&] {
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    ul_logstat_t st = {UL_LOG_DEBUG, 0, 0};
    Ul_log_self bad = {};
    bad.log_number = 9;
    CaptureFd err(2);
    EXPECT_EQ(ul_openlog("", "p", &st, 1, &bad), -1);
    bad.log_number = 1;
    bad.flags[0] = 1;  // selected but nameless
    EXPECT_EQ(ul_openlog("", "p", &st, 1, &bad), -1);
    EXPECT_EQ(err.Stop(),
              "in ul_log.cpp :self define log_number error!log_number = 9\n"
              "in ul_log.cpp:open error!\n"
              "in ul_log.cpp :self define log error![0]\n"
              "in ul_log.cpp:open error!\n");
    EXPECT_TRUE(ListDir(".").empty());

    Ul_log_self self = {};
    self.log_number = 2;
    snprintf(self.name[0], sizeof(self.name[0]), "audit");
    self.flags[0] = 1;
    snprintf(self.name[1], sizeof(self.name[1]), "unused");  // flag 0: not opened
    ASSERT_EQ(ul_openlog(NULL, NULL, &st, 1, &self), 0);  // "." and "null"
    EXPECT_EQ(ul_writelog(256, "[%d]", 7), 0);
    EXPECT_EQ(ul_writelog(257, "no file"), -3);
    EXPECT_EQ(ul_log_enabled(256), 1);
    auto sdf = Lines(ReadFile("nullaudit.sdf.log"));
    ASSERT_EQ(sdf.size(), 1u);
    EXPECT_TRUE(std::regex_match(sdf[0], std::regex(std::string("SDF_LOG: LEVEL:0 ") + kTime +
                                                    ": null \\* " + std::to_string(Tid()) + "\\[7\\]")))
        << sdf[0];
    EXPECT_FALSE(FileExists("nullunused.sdf.log"));

    // A thread asking for files of its own gets them under its name and id.
    std::string thread_file;
    std::thread([&] {
      ul_logstat_t own = {UL_LOG_DEBUG, 0, UL_LOGNEWFILE};
      ASSERT_EQ(ul_openlog_r("worker", &own, NULL), 0);
      thread_file = "null_worker_" + std::to_string(Tid()) + "_log";
      EXPECT_EQ(ul_writelog(UL_LOG_NOTICE, "from worker"), 0);
      EXPECT_EQ(ul_closelog_r(0), 0);
      EXPECT_EQ(ul_closelog_r(0), -1);
    }).join();
    std::string text = ReadFile(thread_file);
    EXPECT_NE(text.find("* Open thread log by----null:worker\n" + std::string(48, '=')), std::string::npos);
    EXPECT_NE(text.find("from worker"), std::string::npos);
    EXPECT_EQ(ReadFile("nulllog").find("from worker"), std::string::npos);

    // A removed file is created again by the next line.
    ASSERT_EQ(unlink("nulllog"), 0);
    EXPECT_EQ(ul_writelog(UL_LOG_NOTICE, "after unlink"), 0);
    EXPECT_NE(ReadFile("nulllog").find("after unlink"), std::string::npos);
    EXPECT_EQ(ul_closelog(0), 0);
  });
}

// While the log's folder is moved away the file cannot be reopened and lines
// are dropped; once it is back, lines are written again.
TEST(UlLog, FileThatCouldNotBeReopenedIsTriedAgain) {
  TempDir base;
  const std::string dir = base.file("logs"), away = base.file("away");
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  InChild([&] {
    ul_logstat_t st = {UL_LOG_DEBUG, 0, 0};
    ASSERT_EQ(ul_openlog(dir.c_str(), "p", &st, 1, NULL), 0);
    ASSERT_EQ(rename(dir.c_str(), away.c_str()), 0);
    EXPECT_EQ(ul_writelog(UL_LOG_NOTICE, "lost"), 0);
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    EXPECT_EQ(ul_writelog(UL_LOG_NOTICE, "back"), 0);
    EXPECT_EQ(ul_closelog(0), 0);
  });
  const std::string text = ReadFile(dir + "/plog");
  EXPECT_EQ(text.find("lost"), std::string::npos);
  EXPECT_NE(text.find("NOTICE: "), std::string::npos);
  EXPECT_NE(text.find("back"), std::string::npos);
}

// A FIFO at a log file's path never blocks a call (each returns within 5 s,
// far above its time on a quiet machine; an alarm ends a child that hangs):
// without a reader the open is refused; with a reader that never reads, the
// lines the pipe cannot take at once are dropped.
TEST(UlLog, AFifoAtTheLogPathNeverBlocks) {
  InChild([] {
    alarm(60);
    auto within_bound = [](const char* what, const std::function<int()>& call) {
      const auto start = std::chrono::steady_clock::now();
      const int rc = call();
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << what;
      return rc;
    };
    TempDir dir;
    const std::string fifo = dir.file("plog");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ul_logstat_t st = {UL_LOG_DEBUG, 0, 0};
    EXPECT_EQ(within_bound("open without a reader", [&] { return ul_openlog(dir.path().c_str(), "p", &st, 1, NULL); }),
              -1);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // never reads
    ASSERT_GE(reader, 0);
    ASSERT_EQ(within_bound("open with a reader", [&] { return ul_openlog(dir.path().c_str(), "p", &st, 1, NULL); }),
              0);
    const std::string line(1000, 'l');
    for (int i = 0; i < 200; ++i) {
      within_bound("write", [&] { return ul_writelog(UL_LOG_NOTICE, "%s", line.c_str()); });
    }
    EXPECT_EQ(within_bound("close", [] { return ul_closelog(0); }), 0);
    close(reader);
  });
}

TEST(UlLog, ThreadLogBeforeProcessLogFailsCleanly) {
  InChild([] {
    CaptureFd err(2);
    EXPECT_EQ(ul_openlog_r("t", NULL, NULL), -1);
    EXPECT_EQ(err.Stop(), "in ul_log.cpp :no space!\nin ul_log.cpp:open error!\n");
    EXPECT_EQ(ul_writelog(UL_LOG_NOTICE, "still fine"), 0);
  });
}

// A second open on the same thread replaces its unit: the files of the first
// are released (not left open for good), and an open that fails keeps the
// unit the thread had.
TEST(UlLog, ReopeningOnOneThreadReleasesOrKeepsTheEarlierUnit) {
  TempDir dir;
  InChild([&] {
    ul_logstat_t st = {UL_LOG_DEBUG, 0, 0};
    ASSERT_EQ(ul_openlog(dir.path().c_str(), "p", &st, 1, NULL), 0);
    const size_t fds = ListDir("/proc/self/fd").size();
    std::string first, second;
    std::thread([&] {
      ul_logstat_t own = {UL_LOG_DEBUG, 0, UL_LOGNEWFILE};
      const std::string tid = std::to_string(Tid());
      first = dir.file("p_a_" + tid + "_log");
      second = dir.file("p_b_" + tid + "_log");
      ASSERT_EQ(ul_openlog_r("a", &own, NULL), 0);
      ASSERT_EQ(ul_openlog_r("b", &own, NULL), 0);
      EXPECT_EQ(ListDir("/proc/self/fd").size(), fds + 2);  // only b's two files
      EXPECT_EQ(ul_openlog_r("no/such/dir", &own, NULL), -1);
      EXPECT_EQ(ul_writelog(UL_LOG_NOTICE, "still b"), 0);
      EXPECT_EQ(ul_closelog_r(0), 0);
      EXPECT_EQ(ul_closelog_r(0), -1);
    }).join();
    EXPECT_EQ(ListDir("/proc/self/fd").size(), fds);
    EXPECT_EQ(ReadFile(first).find("still b"), std::string::npos);
    EXPECT_NE(ReadFile(second).find("still b"), std::string::npos);
    EXPECT_EQ(ul_closelog(0), 0);
  });
}

// Writes lines of about 1000 bytes until the 1 MiB file has rotated.
void WriteOneMiB(const char* tag) {
  std::string pad(1000, 'p');
  for (int i = 0; i < 1100; ++i) ASSERT_EQ(ul_writelog(UL_LOG_NOTICE, "%s %d %s", tag, i, pad.c_str()), 0);
}

TEST(UlLog, RotationPlainAndTimeStamped) {
  TempDir plain, stamped;
  InChild([&] {
    ul_logstat_t st = {UL_LOG_DEBUG, 0, 0};
    ASSERT_EQ(ul_openlog(plain.path().c_str(), "r", &st, 1, NULL), 0);
    WriteOneMiB("plain");
    EXPECT_EQ(ul_closelog(0), 0);
    auto names = ListDir(plain.path());
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), (std::set<std::string>{"rlog", "rlog.wf"}));
    std::string text = ReadFile(plain.file("rlog"));
    EXPECT_LT(text.size(), 1u << 20);
    EXPECT_NE(text.find("plain 1099 "), std::string::npos);
  });
  InChild([&] {
    ul_logstat_t st = {UL_LOG_DEBUG, 0, UL_LOGSIZESPLIT};
    ASSERT_EQ(ul_openlog(stamped.path().c_str(), "r", &st, 1, NULL), 0);
    WriteOneMiB("a");
    WriteOneMiB("b");  // a second rotation, usually within the same second
    EXPECT_EQ(ul_closelog(0), 0);
  });
  std::string all;
  int rotated = 0;
  for (const auto& n : ListDir(stamped.path())) {
    if (n == "rlog.wf") continue;
    if (n != "rlog") {
      EXPECT_TRUE(std::regex_match(n, std::regex(R"(rlog\.\d{14}(\.\d+)?)"))) << n;
      ++rotated;
    }
    all += ReadFile(stamped.file(n));
  }
  EXPECT_EQ(rotated, 2);
  for (const char* tag : {"a", "b"}) {
    for (int i = 0; i < 1100; ++i) {
      ASSERT_NE(all.find(std::string(tag) + " " + std::to_string(i) + " "), std::string::npos) << tag << i;
    }
  }
}

TEST(UlLog, EightThreadsRotateWithoutLostOrTornLines) {
  TempDir dir;
  constexpr int kThreads = 8, kLines = 2000;
  InChild([&] {
    ul_logstat_t st = {UL_LOG_DEBUG, 0, UL_LOGSIZESPLIT};
    ASSERT_EQ(ul_openlog(dir.path().c_str(), "mt", &st, 1, NULL), 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([t, &st] {
        ASSERT_EQ(ul_openlog_r("w", &st, NULL), 0);  // shares the process files
        std::string pad(150, static_cast<char>('a' + t));
        for (int i = 0; i < kLines; ++i) ul_writelog(UL_LOG_TRACE, "t%d n%d %s end", t, i, pad.c_str());
        ul_closelog_r(0);
      });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(ul_closelog(0), 0);
  });
  std::set<std::string> seen;
  int files = 0;
  const std::regex line(std::string("TRACE: ") + kTime + R"(:  mt \* \d+ (t(\d) n\d+) ([a-h])\3{149} end)");
  for (const auto& n : ListDir(dir.path())) {
    if (n.compare(0, 4, "mtlo") != 0 || n == "mtlog.wf") continue;
    ++files;
    for (const auto& l : Lines(ReadFile(dir.file(n)))) {
      std::smatch m;
      if (l.compare(0, 6, "TRACE:") != 0) continue;  // banners
      ASSERT_TRUE(std::regex_match(l, m, line)) << n << ": " << l;
      EXPECT_EQ(m[3].str()[0] - 'a', m[2].str()[0] - '0');
      EXPECT_TRUE(seen.insert(m[1].str()).second) << "twice: " << m[1];
    }
  }
  EXPECT_GE(files, 3);
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
}

// Eight processes log under one name with time-stamped rotation (long lines,
// so the file can pass its limit between one check and the next): when one has
// rotated the file away, the other's rename finds nothing to move; it must
// follow the new file, not take the log as full and drop its lines.
TEST(UlLog, ProcessesRotatingOneLogKeepEveryLine) {
  TempDir dir;
  constexpr int kLines = 2000, kProcs = 8;
  std::vector<pid_t> kids;
  std::fflush(nullptr);
  for (int p = 0; p < kProcs; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ul_logstat_t st = {UL_LOG_DEBUG, 0, UL_LOGSIZESPLIT};
      if (ul_openlog(dir.path().c_str(), "two", &st, 1, NULL) != 0) _exit(2);
      const std::string pad(1900, static_cast<char>('a' + p));
      for (int i = 0; i < kLines; ++i) ul_writelog(UL_LOG_NOTICE, "p%d n%d %s end", p, i, pad.c_str());
      ul_closelog(0);
      _exit(0);
    }
    kids.push_back(pid);
  }
  for (pid_t pid : kids) {
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::set<std::string> seen;
  const std::regex line(R"(.* (p\d n\d+) [a-h]{1900} end)");
  for (const auto& n : ListDir(dir.path())) {
    if (n.compare(0, 6, "twolog") != 0 || n == "twolog.wf") continue;
    for (const auto& l : Lines(ReadFile(dir.file(n)))) {
      std::smatch m;
      if (std::regex_match(l, m, line)) seen.insert(m[1].str());
    }
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kProcs * kLines));
}

// A time-stamped rotation never replaces a file that took its name in the
// instant before the rename, whether the file system refuses to replace by
// itself or cannot (EINVAL): the log goes to the next number.
TEST(UlLog, RotationNeverReplacesAFileMadeMeanwhile) {
  for (const int err : {0, EINVAL}) {
    TempDir dir;
    InChild([&] {
      renameseam::InPlace seam;
      renameseam::errno_value = err;
      renameseam::take = "theirs\n";
      ul_logstat_t st = {UL_LOG_DEBUG, 0, UL_LOGSIZESPLIT};
      ASSERT_EQ(ul_openlog(dir.path().c_str(), "r", &st, 1, NULL), 0);
      WriteOneMiB("x");
      EXPECT_EQ(ul_closelog(0), 0);
      EXPECT_TRUE(renameseam::take.empty());  // the rotation met it
    });
    std::string all;
    int theirs = 0;
    for (const auto& n : ListDir(dir.path())) {
      if (n == "rlog.wf") continue;
      const std::string text = ReadFile(dir.file(n));
      if (text == "theirs\n") {
        EXPECT_TRUE(std::regex_match(n, std::regex(R"(rlog\.\d{14})"))) << n;
        ++theirs;
      }
      all += text;
    }
    EXPECT_EQ(theirs, 1) << err;
    for (int i = 0; i < 1100; ++i) ASSERT_NE(all.find("x " + std::to_string(i) + " "), std::string::npos) << i;
  }
}

// A rotated name longer than 255 bytes must not be cut to the name of some
// other file: the victim keeps its content and the log keeps its lines.
TEST(UlLog, LongRotatedNameDoesNotClobberAnotherFile) {
  for (int spec : {0, UL_LOGSIZESPLIT}) {
    TempDir base;
    const size_t dir_len = spec ? 245 : 250;
    std::string dir = base.path();
    while (dir.size() < dir_len) dir += "/" + std::string(std::min<size_t>(100, dir_len - 1 - dir.size()), 'd');
    ASSERT_EQ(dir.size(), dir_len);
    ASSERT_EQ(system(("mkdir -p " + dir).c_str()), 0);
    const std::string file = dir + "/rlog";
    // What a 255-byte cut of the rotated name would be: "<file>.<year>" or
    // "<dir>/.rlo".
    time_t now = time(NULL);
    struct tm tm;
    localtime_r(&now, &tm);
    const std::string victim = spec ? (file + "." + std::to_string(tm.tm_year + 1900)).substr(0, 255)
                                    : (dir + "/.rlog.tmp").substr(0, 255);
    ASSERT_EQ(victim.size(), 255u);
    testsupport::WriteFile(victim, "victim\n");
    InChild([&] {
      ul_logstat_t st = {UL_LOG_DEBUG, 0, spec};
      ASSERT_EQ(ul_openlog(dir.c_str(), "r", &st, 1, NULL), 0);
      WriteOneMiB("x");
      EXPECT_EQ(ul_closelog(0), 0);
    });
    EXPECT_EQ(ReadFile(victim), "victim\n") << spec;
    EXPECT_LT(ReadFile(file).size(), 1u << 20);
    if (spec) {
      std::string all = ReadFile(file);
      for (const auto& n : ListDir(dir)) {
        if (std::regex_match(n, std::regex(R"(rlog\.\d{14})"))) all += ReadFile(dir + "/" + n);
      }
      EXPECT_NE(all.find("x 0 "), std::string::npos);
      EXPECT_NE(all.find("x 1099 "), std::string::npos);
    } else {
      EXPECT_FALSE(FileExists(dir + "/.rlog.tmp"));
    }
  }
}

}  // namespace
