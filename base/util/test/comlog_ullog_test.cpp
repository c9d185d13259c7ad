// The three-file appender (ULLOG): a main file for NOTICE, TRACE and DEBUG,
// ".wf" for FATAL and WARNING, ".sf" for the device's self-defined levels.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "comlog/appender/ullogappender.h"
#include "comlog/namemg.h"
#include "comlog_test_util.h"
#include "ul_log.h"

namespace {

using comlogtest::InChild;
using comlogtest::Lines;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::TempDir;

// Opens the framework with one ULLOG device of dir/x/log.
int OpenUllog(const TempDir& dir, const std::string& extra) {
  testsupport::WriteFile(dir.file("log.conf"),
                         "COMLOG_PROCNAME : p\nCOMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : U\nU_TYPE : ULLOG\n"
                         "U_PATH : " + dir.file("x") + "\nU_NAME : log\nU_LAYOUT : %L %R\n" + extra);
  return com_loadlog(dir.path().c_str(), "log.conf");
}

// The lines of a file without the framework's banners.
std::vector<std::string> Messages(const std::string& path) {
  std::vector<std::string> out;
  for (const std::string& line : Lines(ReadFile(path))) {
    if (line.find("-------") == std::string::npos) out.push_back(line);
  }
  return out;
}

void WriteEveryLevel() {
  com_writelog(UL_LOG_FATAL, "f");
  com_writelog(UL_LOG_WARNING, "w");
  com_writelog(UL_LOG_NOTICE, "n");
  com_writelog(UL_LOG_TRACE, "t");
  com_writelog(UL_LOG_DEBUG, "d");
}

TEST(UlLogAppender, LevelsSplitOverThreeFiles) {
  InChild([] {
    TempDir dir;
    ASSERT_EQ(OpenUllog(dir, "U_SYSLEVEL : 16\n"), 0);
    WriteEveryLevel();
    EXPECT_EQ(com_closelog(0), 0);
    EXPECT_EQ(Messages(dir.file("x/log")), (std::vector<std::string>{"NOTICE n", "TRACE t", "DEBUG d"}));
    EXPECT_EQ(Messages(dir.file("x/log.wf")), (std::vector<std::string>{"FATAL f", "WARNING w"}));
    EXPECT_NE(ReadFile(dir.file("x/log")).find("NOTICE ---"), std::string::npos);  // the open banner
    EXPECT_NE(ReadFile(dir.file("x/log.wf")).find("WARNING ---"), std::string::npos);
    EXPECT_FALSE(FileExists(dir.file("x/log.sf")));

    // The device's own levels come first: SYSLEVEL 4 drops TRACE and DEBUG.
    TempDir low;
    ASSERT_EQ(OpenUllog(low, "U_SYSLEVEL : 4\n"), 0);
    WriteEveryLevel();
    EXPECT_EQ(com_closelog(0), 0);
    EXPECT_EQ(Messages(low.file("x/log")), std::vector<std::string>{"NOTICE n"});
    EXPECT_EQ(Messages(low.file("x/log.wf")), (std::vector<std::string>{"FATAL f", "WARNING w"}));
  });
}

TEST(UlLogAppender, SelfDefinedLevelsOnlyWhenTheDeviceHasThem) {
  InChild([] {
    TempDir dir;
    ASSERT_EQ(OpenUllog(dir, "U_SYSLEVEL : 16\nU_SELFLEVEL : AUDIT\n"), 0);
    ASSERT_GE(comspace::createSelfLog("OTHER"), 32);  // known to the framework, not to the device
    EXPECT_EQ(com_writelog("AUDIT", "a"), 0);
    EXPECT_EQ(com_writelog("OTHER", "o"), 0);
    com_writelog(UL_LOG_NOTICE, "n");
    com_writelog(UL_LOG_WARNING, "w");
    EXPECT_EQ(com_closelog(0), 0);
    EXPECT_EQ(ReadFile(dir.file("x/log.sf")), "AUDIT a\n");
    EXPECT_EQ(Messages(dir.file("x/log")), std::vector<std::string>{"NOTICE n"});
    EXPECT_EQ(Messages(dir.file("x/log.wf")), std::vector<std::string>{"WARNING w"});
  });
}

// A full disk (a file-size cap) under the three files: each line lands whole
// in its file or is visibly cut there, and answers -1 when it did not go in
// whole; every line answered 0 is in its file.
TEST(UlLogAppender, FullDiskKeepsLinesWholeAndReportsTheLostOnes) {
  InChild([] {
    TempDir dir;
    ASSERT_EQ(OpenUllog(dir, "U_SYSLEVEL : 16\n"), 0);
    auto level_of = [](int n) { return n % 3 == 0 ? UL_LOG_WARNING : UL_LOG_NOTICE; };
    testsupport::CaptureFd quiet(2);
    const std::map<int, int> answers = comlogtest::WriteAcrossAFullDisk(level_of);
    EXPECT_EQ(com_closelog(0), 0);
    quiet.Stop();
    for (const int level : {UL_LOG_NOTICE, UL_LOG_WARNING}) {
      std::map<int, int> mine;
      for (const auto& kv : answers) {
        if (level_of(kv.first) == level) mine.insert(kv);
      }
      const std::string name = level == UL_LOG_NOTICE ? "NOTICE " : "WARNING ";
      comlogtest::ExpectWholeOrCut(Messages(dir.file(level == UL_LOG_NOTICE ? "x/log" : "x/log.wf")), mine,
                                   [&](int n) { return name + comlogtest::FullDiskLine(n); }, name);
    }
  });
}

// A FIFO at the path of a ULLOG device's main file never blocks a call:
// lines the pipe cannot take at once are lost with -1; the close keeps its
// bound; the ".wf" file is written as ever.
TEST(UlLogAppender, AFifoAtTheLogPathNeverBlocks) {
  InChild([] {
    comlogtest::HangGuard();
    using comlogtest::WithinBound;
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("x").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(dir.file("x/log").c_str(), 0600), 0);
    ASSERT_EQ(WithinBound("open", [&] { return OpenUllog(dir, "U_SYSLEVEL : 16\n"); }), 0);
    const std::string line(1000, 'l');
    int lost = 0;
    testsupport::CaptureFd quiet(2);
    for (int i = 0; i < 200; ++i) {
      lost += WithinBound("write", [&] { return com_writelog(UL_LOG_NOTICE, "%s", line.c_str()); }) != 0;
    }
    EXPECT_GT(lost, 0);  // 200 KiB do not fit a pipe
    EXPECT_EQ(WithinBound("warning", [] { return com_writelog(UL_LOG_WARNING, "w"); }), 0);
    EXPECT_EQ(WithinBound("close", [] { return com_closelog(0); }), 0);
    quiet.Stop();
    EXPECT_EQ(Messages(dir.file("x/log.wf")), std::vector<std::string>{"WARNING w"});
  });
}

// One ULLOG device yields one appender (also under another spelling of its
// folder); its outputs are the FILE appenders of the three files, shared
// with FILE devices of those files.
TEST(UlLogAppender, OneAppenderWhoseOutputsAreFileAppenders) {
  InChild([] {
    ASSERT_EQ(comspace::comlog_get_nameMg()->create(), 0);
    TempDir dir;
    comspace::com_device_t dev;
    snprintf(dev.type, sizeof(dev.type), "ULLOG");
    snprintf(dev.host, sizeof(dev.host), "%s", dir.path().c_str());
    snprintf(dev.file, sizeof(dev.file), "log");
    dev.log_mask = comspace::COMLOG_SYSLEVEL_MASK | (uint64_t{1} << 40);
    auto* app = dynamic_cast<comspace::UlLogAppender*>(comspace::AppenderFactory::getAppender(dev));
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(comspace::AppenderFactory::getAppender(dev), app);
    EXPECT_EQ(comspace::AppenderFactory::tryAppender(dev), app);
    // Another spelling of the folder names the same files: the same one.
    comspace::com_device_t slash = dev;
    snprintf(slash.host, sizeof(slash.host), "%s/", dir.path().c_str());
    EXPECT_EQ(comspace::AppenderFactory::getAppender(slash), app);
    struct Row {
      const char* file;
      comspace::Appender* sub;
      uint64_t mask;
    } rows[] = {{"log", app->_ntapp, 0x10110}, {"log.wf", app->_wfapp, 0x6}, {"log.sf", app->_sfapp, uint64_t{1} << 40}};
    for (const Row& r : rows) {
      comspace::com_device_t f = dev;
      snprintf(f.type, sizeof(f.type), "FILE");
      snprintf(f.file, sizeof(f.file), "%s", r.file);
      EXPECT_EQ(comspace::AppenderFactory::tryAppender(f), r.sub) << r.file;
      ASSERT_NE(r.sub, nullptr);
      EXPECT_EQ(r.sub->_mask, r.mask) << r.file;
    }
    // binprint puts the bytes into every file.
    EXPECT_EQ(app->binprint(const_cast<char*>("raw\n"), 4), 0);
    for (const char* f : {"log", "log.wf", "log.sf"}) EXPECT_EQ(ReadFile(dir.file(f)), "raw\n") << f;

    // A NAME whose ".wf" name would be cut gives no appender (252 characters
    // fit, 253 do not).
    for (const size_t len : {size_t{252}, size_t{253}}) {
      comspace::com_device_t l = dev;
      snprintf(l.file, sizeof(l.file), "%s", std::string(len, 'n').c_str());
      testsupport::CaptureFd err(2);
      comspace::Appender* got = comspace::AppenderFactory::getAppender(l);
      const std::string text = err.Stop();
      EXPECT_EQ(got != nullptr, len == 252) << len << text;
      if (len == 253) {
        EXPECT_NE(text.find("]get wfapp error"), std::string::npos) << text;
      }
    }
    comspace::comlog_get_nameMg()->destroy();
  });
}

}  // namespace
