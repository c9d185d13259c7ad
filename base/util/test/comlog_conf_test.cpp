// Opening the framework from configuration files, and reloading its levels.
#include <gtest/gtest.h>

#include <string.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "comlog/layout.h"
#include "comlog/namemg.h"
#include "comlog_test_util.h"
#include "ul_conf.h"
#include "ul_log.h"

namespace {

using comlogtest::CaptureAppender;
using comlogtest::InChild;
using comspace::com_device_t;
using testsupport::CaptureFd;
using testsupport::TempDir;
using testsupport::WriteFile;

// A kind that keeps a copy of every device it makes an appender for.
std::vector<com_device_t>* g_devices = nullptr;
comspace::Appender* Keep(com_device_t& dev) {
  g_devices->push_back(dev);
  auto* app = new CaptureAppender();
  app->setDeviceInfo(dev);
  char name[64];
  snprintf(name, sizeof(name), "capt%zu", g_devices->size());
  comspace::comlog_get_nameMg()->set(name, static_cast<comspace::Appender*>(app));
  return app;
}

// Loads text as a configuration file; com_loadlog_ex's result, with the
// diagnostics in *err.
int Load(const TempDir& dir, const std::string& text, std::string* err, int pid = 0) {
  WriteFile(dir.file("log.conf"), text);
  CaptureFd capture(2);
  int rc = com_loadlog_ex(dir.path().c_str(), "log.conf", pid);
  *err = capture.Stop();
  return rc;
}

TEST(ComlogConf, EveryKeyReachesItsDevice) {
  TempDir dir;
  InChild([&] {
    std::vector<com_device_t> devices;
    g_devices = &devices;
    ASSERT_EQ(com_registappender("CAPT", Keep, nullptr), 0);
    std::string conf =
        "COMLOG_PROCNAME : myproc\n"
        "COMLOG_LEVEL : 4\n"
        "COMLOG_SELFDEFINE : AUDIT\n"
        "COMLOG_TIME_FORMAT : %Y\n"
        "COMLOG_LOGLENGTH : 4096\n"
        "COMLOG_LOCALTIME : 1\n"
        "COMLOG_DEVICE_NUM : 3\n"
        "COMLOG_DEVICE0 : D0\n"
        "D0_TYPE : CAPT\nD0_PATH : ./logs\nD0_NAME : app\n"
        "D0_RESERVED1 : %Y%m%d\nD0_RESERVED2 : r2\nD0_RESERVED3 : r3\nD0_RESERVED4 : " +
        std::string(40, 'x') +
        "\nD0_SPLITE_TYPE : DATECUT\nD0_SIZE : 100\nD0_COMPRESS : 1\n"
        "D0_DATA_CRONOCUT : 1\nD0_DATA_CUTTIME : 30\nD0_SYSLEVEL : 4\nD0_SELFLEVEL : AUDIT, SPY\n"
        "D0_AUTH : secret\nD0_LAYOUT : %L|%Y|%P|%R\nD0_LAYOUT_NDC : %K=%V\nD0_QUOTA_SIZE : 1000\n"
        "COMLOG_DFS_HOST : dfs\nD00_NOT_MINE : x\n"
        "COMLOG_DEVICE1 : D1\nD1_TYPE : TTY\nD1_SPLITE_TYPE : 1\n"
        "COMLOG_DEVICE2 : D2\nD2_TYPE : CAPT\nD2_PATH : p\nD2_NAME : n\nD2_LAYOUT_NDC : [%K]\n"
        "D2_SYSLEVEL : 31\nD2_OPEN : 0\nD2_DATA_CUTTIME : 0\n";
    std::string err;
    ASSERT_EQ(Load(dir, conf, &err), 0) << err;
    ASSERT_EQ(devices.size(), 2u);
    const com_device_t& d = devices[0];
    EXPECT_STREQ(d.host, "./logs");
    EXPECT_STREQ(d.file, "app");
    EXPECT_STREQ(d.type, "CAPT");
    EXPECT_STREQ(d.name, "D0");
    EXPECT_STREQ(d.reserved1, "%Y%m%d");
    EXPECT_STREQ(d.reserved3, "r3");
    EXPECT_EQ(std::string(d.reserved4), std::string(31, 'x'));
    EXPECT_EQ(d.open, 1);
    EXPECT_EQ(devices[1].open, 0);
    EXPECT_EQ(devices[1].cuttime, 60);  // DATA_CUTTIME 0 is not taken
    EXPECT_EQ(d.splite_type, comspace::COMLOG_DATECUT);
    EXPECT_EQ(d.log_size, 100);
    EXPECT_EQ(d.compress, 1);
    EXPECT_EQ(d.cronocut, 1);
    EXPECT_EQ(d.cuttime, 30);
    EXPECT_STREQ(d.auth, "secret");
    EXPECT_EQ(d.log_mask, 0x1eULL | (1ULL << 32) | (1ULL << 33));  // SYSLEVEL 4 + AUDIT, SPY
    EXPECT_EQ(devices[1].log_mask, 0xfffffffeULL);                 // SYSLEVEL 31
    ASSERT_NE(d.layout, comspace::comlog_get_def_layout());
    EXPECT_STREQ(d.layout->_pattern, "%L|%Y|%P|%R");
    EXPECT_STREQ(d.layout->_ndc_pattern, "%K=%V");
    EXPECT_STREQ(devices[1].layout->_pattern, "%L: %D:  %P * %T %R");  // NDC only: a new layout
    EXPECT_STREQ(devices[1].layout->_ndc_pattern, "[%K]");
    // Its items in file order: every "D0_" item, then COMLOG_DFS items.
    int quota = 0;
    EXPECT_EQ(ul_getconfint(&d.reservedconf, "D0_QUOTA_SIZE", &quota), 1);
    EXPECT_EQ(quota, 1000);
    char dfs[16];
    EXPECT_EQ(ul_getconfnstr(&d.reservedconf, "COMLOG_DFS_HOST", dfs, sizeof(dfs)), 1);
    EXPECT_EQ(ul_getconfnstr(&d.reservedconf, "D00_NOT_MINE", dfs, sizeof(dfs)), 0);
    EXPECT_EQ(d.reserved_num, 19u);

    EXPECT_EQ(com_getevent()->_msgbuf_size, 4096);
    EXPECT_STREQ(com_getevent()->_proc_name, "myproc");
    EXPECT_EQ(comlog_get_log_level(), 4);
    EXPECT_EQ(com_log_enabled(8), 0);
    EXPECT_EQ(com_log_enabled("AUDIT"), 1);
    EXPECT_EQ(com_log_enabled("SPY"), 0);  // not in COMLOG_SELFDEFINE
    std::thread([] {  // a thread that has written nothing yet, so has no category
      EXPECT_EQ(com_log_enabled(8), 0);
      EXPECT_EQ(com_log_enabled("AUDIT"), 1);
    }).join();
    auto* capt = static_cast<CaptureAppender*>(
        static_cast<comspace::Appender*>(comspace::comlog_get_nameMg()->get(2, "capt1")));
    ASSERT_NE(capt, nullptr);
    com_writelog("AUDIT", "a");
    ASSERT_FALSE(capt->lines.empty());
    EXPECT_TRUE(std::regex_match(capt->lines.back(), std::regex("AUDIT\\|\\d{4}\\|myproc\\|a\n")))
        << capt->lines.back();
    EXPECT_EQ(com_closelog(0), 0);
  });
}

TEST(ComlogConf, BadFilesAndValues) {
  TempDir dir;
  InChild([&] {
    std::vector<com_device_t> devices;
    g_devices = &devices;
    ASSERT_EQ(com_registappender("CAPT", Keep, nullptr), 0);
    ASSERT_EQ(com_registappender("MERULKA", Keep, nullptr), 0);
    const std::string capt = "COMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : D\nD_TYPE : CAPT\nD_PATH : p\nD_NAME : n\n";
    struct Row {
      std::string conf;
      int rc;
      std::string diag;  // a text the diagnostics must hold
      int pid;
    } rows[] = {
        {"", 0, "", 0},                               // no devices: the terminal
        {"COMLOG_DEVICE_NUM : abc\n", 0, "", 0},      // not a number: 0
        {"COMLOG_DEVICE_NUM : -1\n", -1, "", 0},
        {"COMLOG_DEVICE_NUM : 2\nCOMLOG_DEVICE0 : D\nD_TYPE : TTY\nD_LAYOUT : %R\n", -1,
         "can't get flag[COMLOG_DEVICE1]", 0},
        {"COMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : D\n", -1, "can't get flag[D_TYPE]", 0},
        {"COMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : D\nD_TYPE : XX\n", -1, "Unkown device type[XX] at flag[D_TYPE]", 0},
        {"COMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : D\nD_TYPE : FILE\nD_PATH : p\n", -1, "can't get flag[D_NAME]", 0},
        {"COMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : D\nD_TYPE : FILE\nD_NAME : n\n", -1, "can't get flag[D_PATH]", 0},
        // A file whose folder cannot be made (its parent is missing).
        {"COMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : D\nD_TYPE : FILE\nD_PATH : /nonexistent-comlog/p\nD_NAME : n\n", -1,
         "create appender /nonexistent-comlog/p:n err", 0},
        {capt, -1, "Illegal para pid = -1", -1},
        {capt + "D_SPLITE_TYPE : 2\nD_SYSLEVEL : 32\nD_SELFLEVEL : AUDIT\n", 0, "invalid D = 32", 0},
        {capt + "D_SPLITE_TYPE : 7\n", 0, "Error config for comlog: D_SPLITE_TYPE : 7", 0},
        {capt + "D_SPLITE_TYPE : SIZE\n", 0, "Error config for comlog: D_SPLITE_TYPE : SIZE", 0},
    };
    for (const Row& r : rows) {
      devices.clear();
      std::string err;
      EXPECT_EQ(Load(dir, r.conf, &err, r.pid), r.rc) << r.conf << err;
      EXPECT_NE(err.find(r.diag), std::string::npos) << r.conf << err;
      if (r.diag.find("create appender") == std::string::npos) {
        EXPECT_EQ(err.find("create appender"), std::string::npos) << "a file refused while read began an opening";
      }
      EXPECT_EQ(com_logstatus(), r.rc == 0 ? 1 : 0) << r.conf;
      if (r.rc == 0) {
        EXPECT_EQ(com_closelog(0), 0);
      }
    }
    std::string err;
    devices.clear();
    EXPECT_EQ(Load(dir, capt + "D_SPLITE_TYPE : 2\nD_SYSLEVEL : 32\nD_SELFLEVEL : AUDIT\n", &err), 0);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].splite_type, comspace::COMLOG_DATECUT);
    EXPECT_EQ(devices[0].log_mask, 1ULL << 32);  // SYSLEVEL refused, SELFLEVEL kept
    EXPECT_EQ(com_closelog(0), 0);

    CaptureFd quiet(2);
    EXPECT_EQ(com_loadlog(dir.path().c_str(), "missing.conf"), -1);
    std::string missing = quiet.Stop();
    EXPECT_NE(missing.find("]read conf err"), std::string::npos) << missing;

    // 70 items of one device: 64 kept; a MERULKA device gets DISKLOG_PATH_ID
    // only while there is room.
    std::string many;
    for (int i = 0; i < 70; ++i) many += "M_X" + std::to_string(i) + " : " + std::to_string(i) + "\n";
    const std::string merulka = "COMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : M\nM_TYPE : MERULKA\nM_PATH : p\nM_NAME : n\n";
    for (const std::string& extra : {many, std::string()}) {
      devices.clear();
      ASSERT_EQ(Load(dir, merulka + extra, &err, 7), 0) << err;
      ASSERT_EQ(devices.size(), 1u);
      char v[16] = "";
      const bool full = !extra.empty();
      EXPECT_EQ(devices[0].reserved_num, full ? 64u : 4u);
      EXPECT_EQ(ul_getconfnstr(&devices[0].reservedconf, "M_X60", v, sizeof(v)), full ? 1 : 0);
      EXPECT_EQ(ul_getconfnstr(&devices[0].reservedconf, "M_X61", v, sizeof(v)), 0);
      EXPECT_EQ(ul_getconfnstr(&devices[0].reservedconf, "M_DISKLOG_PATH_ID", v, sizeof(v)), full ? 0 : 1);
      if (!full) {
        EXPECT_STREQ(v, "7");
      }
      EXPECT_EQ(com_closelog(0), 0);
    }
  });
}

// Two devices of one name have one layout, the first's: the terminal's
// appender, found by its layout, is one, and a line comes out once in it.
TEST(ComlogConf, TwoDevicesOfOneNameShareTheFirstsLayout) {
  TempDir dir;
  InChild([&] {
    std::string err;
    ASSERT_EQ(Load(dir,
                   "COMLOG_DEVICE_NUM : 2\nCOMLOG_DEVICE0 : D\nCOMLOG_DEVICE1 : D\nD_TYPE : TTY\n"
                   "D_LAYOUT : own|%R\n",
                   &err),
              0)
        << err;
    CaptureFd out(2);
    com_writelog(UL_LOG_NOTICE, "once|");
    const std::string text = out.Stop();
    EXPECT_EQ(text, "own|once|\n");
    EXPECT_EQ(com_closelog(0), 0);
  });
}

// Every process-wide setting a file can give beside its devices, each
// unlike the framework's own.
const char kOtherSettings[] =
    "COMLOG_PROCNAME : other\nCOMLOG_LEVEL : 1\nCOMLOG_SELFDEFINE : OTHERSELF\n"
    "COMLOG_TIME_FORMAT : other%Y\nCOMLOG_LOGLENGTH : 64\nCOMLOG_LOCALTIME : 1\n";

// A long message: whole with the framework's message length, cut with the
// other file's.
const std::string kLong(200, 'x');

// A load refused because the framework is open leaves it exactly as it was:
// its lines keep its time format and process name, a new thread's line its
// message length; no level is changed, no self-defined level made.
TEST(ComlogConf, ARefusedLoadChangesNothing) {
  TempDir dir;
  InChild([&] {
    const int ul_level = ul_get_log_level();
    std::string err;
    ASSERT_EQ(Load(dir,
                   "COMLOG_PROCNAME : mine\nCOMLOG_TIME_FORMAT : mine%Y\nCOMLOG_DEVICE_NUM : 1\n"
                   "COMLOG_DEVICE0 : T\nT_TYPE : TTY\nT_LAYOUT : %Y|%P|%R\n",
                   &err),
              0)
        << err;
    CaptureFd out(2);
    WriteFile(dir.file("other.conf"), std::string(kOtherSettings) +
                                          "COMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : O\nO_TYPE : TTY\n"
                                          "O_SELFLEVEL : OTHERLEVEL\nO_LAYOUT : other|%R\n");
    EXPECT_EQ(com_loadlog(dir.path().c_str(), "other.conf"), -1);
    for (int i = 0; i < 10; ++i) com_writelog(UL_LOG_NOTICE, "m%d|", i);
    std::thread([] { com_writelog(UL_LOG_NOTICE, "%s|", kLong.c_str()); }).join();
    const std::string text = out.Stop();
    EXPECT_NE(text.find("Log is open...."), std::string::npos) << text;
    int mine = 0;
    for (const std::string& line : comlogtest::Lines(text)) {
      mine += std::regex_match(line, std::regex("mine\\d{4}\\|mine\\|m\\d\\|"));
    }
    EXPECT_EQ(mine, 10) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex("\nmine\\d{4}\\|mine\\|" + kLong + "\\|\n"))) << text;
    EXPECT_EQ(com_getlogid(const_cast<char*>("OTHERLEVEL")), 0);
    EXPECT_EQ(com_getlogid(const_cast<char*>("OTHERSELF")), 0);
    EXPECT_EQ(comlog_get_log_level(), 16);
    EXPECT_EQ(ul_get_log_level(), ul_level);
    EXPECT_EQ(com_closelog(0), 0);
  });
}

// An opening that fails (a load whose FILE folder cannot be made,
// com_openlog with a device of an unknown kind) leaves the settings as they
// were: a lazy opening after it writes with the process name, message
// length and levels of before, and no self-defined level or time format of
// the failed one.
TEST(ComlogConf, AFailedOpeningChangesNoSetting) {
  for (const bool load : {true, false}) {
    SCOPED_TRACE(load ? "a load whose folder cannot be made" : "com_openlog of an unknown kind");
    TempDir dir;
    InChild([&] {
      const int ul_level = ul_get_log_level();
      CaptureFd out(2);
      if (load) {
        WriteFile(dir.file("other.conf"), std::string(kOtherSettings) +
                                              "COMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : F\nF_TYPE : FILE\nF_PATH : " +
                                              dir.file("missing/sub") + "\nF_NAME : n\n");
        EXPECT_EQ(com_loadlog(dir.path().c_str(), "other.conf"), -1);
      } else {
        com_device_t dev;
        strcpy(dev.type, "NOSUCH");
        comspace::com_logstat_t ls;
        ls.sysevents = 1;
        strcpy(ls.userevents, "OTHERSELF");
        ls.localtime_nolock = 1;
        EXPECT_EQ(com_openlog("other", &dev, 1, &ls), -1);
      }
      EXPECT_EQ(com_logstatus(), 0);
      EXPECT_EQ(com_writelog("NOTICE", "%s|", kLong.c_str()), 0);  // opens lazily
      const std::string text = out.Stop();
      EXPECT_TRUE(std::regex_search(text, std::regex(":  Default \\* \\d+ " + kLong + "\\|\n"))) << text;
      EXPECT_STREQ(comspace::comlog_time_format, "");
      EXPECT_EQ(com_getlogid(const_cast<char*>("OTHERSELF")), 0);
      EXPECT_EQ(comlog_get_log_level(), 16);
      EXPECT_EQ(ul_get_log_level(), ul_level);
      EXPECT_EQ(com_closelog(0), 0);
    });
  }
}

TEST(ComlogConf, ReloadChangesLevelsAtRunTime) {
  TempDir dir;
  InChild([&] {
    const std::string tty = "COMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : T\nT_TYPE : TTY\n";
    std::string err;
    ASSERT_EQ(Load(dir, tty + "COMLOG_LEVEL : 16\n", &err), 0) << err;
    ASSERT_EQ(com_reglogstat(dir.path().c_str(), "log.conf"), 0);
    comspace::com_logstat_t ls;
    EXPECT_EQ(comspace::_def_loadconf_(nullptr, "x", "y"), -1);
    EXPECT_EQ(comspace::_def_loadconf_(&ls, dir.path().c_str(), "missing"), -1);

    auto round = [&](const std::string& conf) {
      WriteFile(dir.file("log.conf"), conf);
      CaptureFd capture(2);
      EXPECT_EQ(com_changelogstat(), 0);
      com_writelog(UL_LOG_NOTICE, "notice");
      com_writelog(UL_LOG_WARNING, "warning");
      return capture.Stop();
    };
    std::string before = round(tty + "COMLOG_LEVEL : 16\n");
    std::string level2 = round(tty + "COMLOG_LEVEL : 2\n");
    std::string nodevs = round("COMLOG_LEVEL : 16\n");  // no devices: levels unchanged
    std::string closed = round(tty + "COMLOG_LEVEL : 16\nT_OPEN : 0\n");
    EXPECT_NE(before.find("notice"), std::string::npos);
    EXPECT_EQ(level2.find("notice"), std::string::npos) << level2;
    EXPECT_NE(level2.find("warning"), std::string::npos);
    EXPECT_EQ(nodevs.find("notice"), std::string::npos) << nodevs;
    EXPECT_NE(nodevs.find("warning"), std::string::npos);
    EXPECT_EQ(closed.find("warning"), std::string::npos) << closed;
    EXPECT_EQ(comlog_get_log_level(), 16);
    EXPECT_EQ(com_closelog(0), 0);
    EXPECT_EQ(com_changelogstat(), 0);  // the registry was emptied by the close
  });
}

int g_reloads = 0;
int CountReload(comspace::com_logstat_t* ls, const char*, const char*) {
  ++g_reloads;
  ls->sysevents = 16;
  return 0;
}

// A reload reaches the filter of the registering thread's category (not the
// default one); a reload file's devices must be whole; the registry takes
// 1024 entries.
TEST(ComlogConf, ReloadFilterDevicesAndRegistryLimit) {
  TempDir dir;
  InChild([&] {
    std::string err;
    ASSERT_EQ(Load(dir, "COMLOG_LEVEL : 16\n", &err), 0) << err;
    comspace::Category* c = com_getcategory();
    ASSERT_NE(c, nullptr);
    comspace::LogStat* own = comspace::LogStat::createLogStat();
    ASSERT_NE(own, nullptr);
    c->setLogStat(own);
    const uint64_t def_level = comspace::comlog_get_def_logstat()->level();
    const std::string tty = "COMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : T\nT_TYPE : TTY\n";
    WriteFile(dir.file("r.conf"), tty + "COMLOG_LEVEL : 2\n");
    ASSERT_EQ(com_reglogstat(dir.path().c_str(), "r.conf"), 0);
    EXPECT_EQ(com_log_enabled(UL_LOG_NOTICE), 1);
    EXPECT_EQ(com_changelogstat(), 0);
    EXPECT_EQ(com_log_enabled(UL_LOG_NOTICE), 0);
    EXPECT_EQ(com_log_enabled(UL_LOG_WARNING), 1);
    EXPECT_EQ(comspace::comlog_get_def_logstat()->level(), def_level);

    struct Row {
      std::string conf;
      int rc;
    } rows[] = {
        {"COMLOG_LEVEL : 2\n", -1},                                            // no devices
        {"COMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : T\nCOMLOG_LEVEL : 2\n", -1},  // no TYPE
        {"COMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : T\nT_TYPE : FILE\nT_PATH : p\nCOMLOG_LEVEL : 2\n", -1},  // no NAME
        {"COMLOG_DEVICE_NUM : 1\nCOMLOG_DEVICE0 : T\nT_TYPE : XX\nT_PATH : p\nT_NAME : n\nCOMLOG_LEVEL : 2\n",
         -1},  // a kind that does not exist
        {tty + "COMLOG_LEVEL : 2\n", 0},  // a terminal needs no PATH or NAME
    };
    for (const Row& r : rows) {
      WriteFile(dir.file("r.conf"), r.conf);
      comspace::com_logstat_t ls;
      CaptureFd quiet(2);
      EXPECT_EQ(comspace::_def_loadconf_(&ls, dir.path().c_str(), "r.conf"), r.rc) << r.conf;
      quiet.Stop();
      EXPECT_EQ(ls.sysevents, 2) << r.conf;
    }
    EXPECT_EQ(com_closelog(0), 0);  // empties the registry

    for (int i = 0; i < 1024; ++i) ASSERT_EQ(comspace::reg_logstat(nullptr, CountReload, "p", "f"), 0) << i;
    EXPECT_EQ(comspace::reg_logstat(nullptr, CountReload, "p", "f"), -1);
    EXPECT_EQ(com_changelogstat(), 0);
    EXPECT_EQ(g_reloads, 1024);
  });
}

}  // namespace
