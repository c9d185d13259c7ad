// The framework's registry, its hash map and its small utilities.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "comlog/appender/appender.h"
#include "comlog/com_device.h"
#include "comlog/layout.h"
#include "comlog/namemg.h"
#include "comlog/sendsvr/sendsvr.h"
#include "comlog/xhashmap.h"
#include "comlog/xutils.h"
#include "support/support.h"

namespace {

using comspace::hash_map;
using comspace::NameMg;
using testsupport::CaptureFd;

unsigned int Low(const int& k) { return static_cast<unsigned int>(k); }
unsigned int Zero(const int&) { return 0; }
int Same(const int& a, const int& b) { return a == b ? 0 : 1; }

TEST(HashMap, CodesBlocksAndListOrder) {
  hash_map<int, int> m;
  int v = 0;
  EXPECT_EQ(m.get(1, &v), -1);
  EXPECT_EQ(m.set(1, 1, 0), -1);
  {
    CaptureFd err(2);
    EXPECT_EQ(m.create(0, Low, Same), -1);
    EXPECT_EQ(m.create(8, nullptr, Same), -1);
    std::string text = err.Stop();
    EXPECT_NE(text.find("WARNING: "), std::string::npos);
    EXPECT_NE(text.find("[0][xhashmap.h:"), std::string::npos) << text;
    EXPECT_NE(text.find("]invalid input hn[0] <=0"), std::string::npos);
    EXPECT_NE(text.find("]unvalid hash_num[8] or unvalid hash or compare function"), std::string::npos);
  }
  ASSERT_EQ(m.create(7, Low, Same), 0);
  EXPECT_EQ(m.set(3, 30, 0), 0);
  EXPECT_EQ(m.set(3, 31, 0), 1);
  EXPECT_EQ(m.get(3, &v), 0);
  EXPECT_EQ(v, 30);
  EXPECT_EQ(m.set(3, 32, 1), 0);
  EXPECT_EQ(m.get(3, nullptr), 0);
  EXPECT_EQ(m.get(3, &v), 0);
  EXPECT_EQ(v, 32);
  EXPECT_EQ(m.get(4, &v), 2);
  EXPECT_EQ(m.getHashKey(10), 3u);

  // One bucket: 1025 keys need a second node block and list in insertion order.
  ASSERT_EQ(m.create(1, Zero, Same), 0);
  for (int k = 0; k < 1025; ++k) ASSERT_EQ(m.set(k, k * 2, 0), 0);
  EXPECT_EQ(m.size(), 1025);
  for (int k = 0; k < 1025; ++k) {
    ASSERT_EQ(m.get(k, &v), 0);
    ASSERT_EQ(v, k * 2);
  }
  std::vector<int> seen;
  m.list([](const int& value, void* arg) { static_cast<std::vector<int>*>(arg)->push_back(value); }, &seen);
  ASSERT_EQ(seen.size(), 1025u);
  for (int k = 0; k < 1025; ++k) ASSERT_EQ(seen[k], k * 2);
}

// Objects that record their deletion.
std::vector<std::string> g_deleted;
struct NoteLayout : comspace::Layout {
  ~NoteLayout() override { g_deleted.push_back("layout"); }
};
struct NoteAppender : comspace::Appender {
  int open(void*) override { return 0; }
  int close(void*) override { return 0; }
  int print(comspace::Event*) override { return 0; }
  int binprint(void*, int) override { return 0; }
  int stop() override { return ++stops; }
  int reset() override { return ++resets; }
  ~NoteAppender() override { g_deleted.push_back("appender"); }
  int stops = 0;
  int resets = 0;
};
struct NoteSender : comspace::SendSvr {
  ~NoteSender() override { g_deleted.push_back("sender"); }
  int push(comspace::Event*) override { return 0; }
  int run() override { return 0; }
  int initServer(const char*) override { return 0; }
};

TEST(NameMg, KeysOwnershipAndDestroyOrder) {
  NameMg mg;
  EXPECT_EQ(mg.set(NameMg::TYPE_LAYOUT, "x", nullptr), -1);  // no table yet
  ASSERT_EQ(mg.create(), 0);
  // The key is the signature of "type:name", sign2 in the high half.
  unsigned int s1 = 0;
  unsigned int s2 = 0;
  comspace::x_creat_sign_f64("2:a-long-name", 13, &s1, &s2);
  EXPECT_EQ(NameMg::getKey(2, "a-long-name"), s1 + (static_cast<uint64_t>(s2) << 32));
  EXPECT_NE(NameMg::getKey(1, "n"), NameMg::getKey(2, "n"));

  auto* app = new NoteAppender();
  auto* layout = new NoteLayout();
  EXPECT_EQ(mg.set("n", static_cast<comspace::Appender*>(app)), 0);
  EXPECT_EQ(mg.set("n", static_cast<comspace::Appender*>(nullptr)), 1);  // first kept
  EXPECT_EQ(mg.get(NameMg::TYPE_APPENDER, "n"), app);
  EXPECT_EQ(mg.get(NameMg::TYPE_CATEGORY, "n"), nullptr);
  // One layout under two names is deleted once.
  EXPECT_EQ(mg.set("dev1", static_cast<comspace::Layout*>(layout)), 0);
  EXPECT_EQ(mg.set("dev2", static_cast<comspace::Layout*>(layout)), 0);
  EXPECT_EQ(mg.set("s", static_cast<comspace::SendSvr*>(new NoteSender())), 0);

  EXPECT_EQ(mg.closeAppender(), 0);
  EXPECT_EQ(mg.resetAppender(), 0);
  EXPECT_EQ(app->stops, 1);
  EXPECT_EQ(app->resets, 1);
  g_deleted.clear();
  EXPECT_EQ(mg.destroy(), 0);
  EXPECT_EQ(g_deleted, (std::vector<std::string>{"sender", "appender", "layout"}));
  EXPECT_EQ(mg.get(NameMg::TYPE_APPENDER, "n"), nullptr);
}

TEST(XUtils, SignatureRuleAndTables) {
  EXPECT_EQ(comspace::x_Mod_Prime_List_1[0], 256u);
  EXPECT_EQ(comspace::x_Mod_Prime_List_1[2], 3u);
  EXPECT_EQ(comspace::x_Mod_Prime_List_1[5], 9u);
  struct Row {
    const char* s;
    unsigned int sign1, sign2;
  } rows[] = {
      {"", 0, 0},
      {"abcd", 0x64636261u, 0},
      {"abcde", 0x64636261u, 0x65u},
      {"abcdefgh", 0x64636261u, 0x68676665u},
      {"abcdefghi", 0x053E3BD2u, 0xB44A021Fu},  // nine bytes: the weighted sums
      {"abcdefghij", 0x054969D2u, 0xB5048E05u},
  };
  for (const Row& r : rows) {
    unsigned int s1 = 1;
    unsigned int s2 = 1;
    EXPECT_EQ(comspace::x_creat_sign_f64(r.s, static_cast<int>(strlen(r.s)), &s1, &s2), 1);
    EXPECT_EQ(s1, r.sign1) << r.s;
    EXPECT_EQ(s2, r.sign2) << r.s;
  }
  EXPECT_EQ(comspace::x_getsign_24_1("abcdefghij"), 0x054969D2u);
  unsigned int a = 0;
  unsigned int b = 0;
  EXPECT_DEATH(comspace::x_creat_sign_f64("abc", 2, &a, &b), "differs");
}

TEST(XUtils, LockFreeLocalTimeMatchesGmtime) {
  for (time_t t = 0; t < 2145916800; t += 86400 * 7 + 3607) {
    struct tm want;
    struct tm got;
    gmtime_r(&t, &want);
    comspace::nolocks_localtime(&got, t, 0, 0);
    ASSERT_EQ(got.tm_year, want.tm_year) << t;
    ASSERT_EQ(got.tm_yday, want.tm_yday) << t;
    ASSERT_EQ(got.tm_mon, want.tm_mon) << t;
    ASSERT_EQ(got.tm_mday, want.tm_mday) << t;
    ASSERT_EQ(got.tm_wday, want.tm_wday) << t;
    ASSERT_EQ(got.tm_hour * 3600 + got.tm_min * 60 + got.tm_sec,
              want.tm_hour * 3600 + want.tm_min * 60 + want.tm_sec)
        << t;
  }
  struct tm leap;
  comspace::nolocks_localtime(&leap, 951825600, 0, 0);  // 2000-02-29 12:00 UTC
  EXPECT_EQ(leap.tm_mon, 1);
  EXPECT_EQ(leap.tm_mday, 29);
  EXPECT_EQ(leap.tm_year, 100);
  EXPECT_EQ(leap.tm_yday, 59);
  EXPECT_EQ(leap.tm_wday, 2);
  comspace::nolocks_localtime(&leap, 951825600, -28800, 1);  // UTC+8, daylight flag
  EXPECT_EQ(leap.tm_hour, 21);
  EXPECT_EQ(leap.tm_isdst, 1);
  comspace::nolocks_localtime(&leap, 1000, 18000, 0);  // before 1970: the epoch
  EXPECT_EQ(leap.tm_year, 70);
  EXPECT_EQ(leap.tm_hour, 0);
}

// Runs body under a time zone in a child (the zone offset is kept once).
void InZone(const char* tz, const std::function<void()>& body) {
  int status = testsupport::RunInChild([&] {
    setenv("TZ", tz, 1);
    tzset();
    body();
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(status, 0) << tz;
}

TEST(XUtils, ZoneOffsetTimesAndRounding) {
  InZone("CST-8", [] { EXPECT_EQ(comspace::xtimezoneoffset(), 28800); });
  InZone("EST5", [] { EXPECT_EQ(comspace::xtimezoneoffset(), -18000); });
  InZone("UTC0", [] {
    EXPECT_EQ(comspace::xtimezoneoffset(), 0);
    timeval tv = {951825600 + 3723, 7999};
    char buf[64];
    EXPECT_EQ(comspace::xfmtime(buf, sizeof(buf), tv), 18);
    EXPECT_STREQ(buf, "02-29 13:02:03:007");
    comspace::xfmtime(buf, sizeof(buf), static_cast<time_t>(951825600));
    EXPECT_STREQ(buf, "02-29 12:00:00");
    comspace::comlog_enable_nolock_localtime();
    comspace::xfmtime(buf, sizeof(buf), tv);
    EXPECT_STREQ(buf, "02-29 13:02:03:007");
  });

  comspace::com_device_t dev;
  const time_t t = 951825600 + 10 * 3600 + 59 * 60 + 59;  // 10:59:59
  EXPECT_EQ(comspace::xroundtime(dev, t), t);               // no cronocut
  dev.cronocut = 1;
  EXPECT_EQ(comspace::xroundtime(dev, t), 951825600 + 10 * 3600);
  dev.cuttime = 0;
  EXPECT_EQ(comspace::xroundtime(dev, t), t);
  dev.cuttime = 1;
  const time_t now = comspace::xroundtime(dev, 0);
  EXPECT_EQ(now % 60, 0);
  EXPECT_LE(std::labs(now - (time(nullptr) + comspace::xtimezoneoffset())), 61);
}

TEST(XUtils, CopiesAndNameLists) {
  char buf[8] = "zzzzzzz";
  EXPECT_EQ(comspace::xstrcpy(buf, 0, "abc"), 0);
  EXPECT_EQ(buf[0], 'z');
  EXPECT_EQ(comspace::xstrcpy(buf, 1, "abc"), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(comspace::xstrcpy(buf, 4, "abcdef"), 3);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(comspace::xstrcpy(buf, 8, "abcdef", 2), 2);
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(comspace::xstrcpy(buf, 4, "abcdef", 6), 3);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(comspace::xstrcpy(buf, 8, nullptr, 3), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(comspace::xstrcpy(buf, 8, "abc", -1), 0);
  EXPECT_EQ(comspace::xstrcpy(nullptr, 8, "abc"), 0);

  static char names[3][1024];
  EXPECT_EQ(comspace::xparserSelfLog(" a,,b  c", names, 2), 2);
  EXPECT_STREQ(names[0], "a");
  EXPECT_STREQ(names[1], "b");
  EXPECT_EQ(comspace::xparserSelfLog(" ,, ", names, 3), 0);
  const std::string longname(1500, 'x');
  EXPECT_EQ(comspace::xparserSelfLog(longname.c_str(), names, 3), 2);
  EXPECT_EQ(strlen(names[0]), 1023u);
  EXPECT_EQ(strlen(names[1]), 477u);
}

void Nothing(int) {}

TEST(XUtils, SignalAndSleep) {
  EXPECT_EQ(comspace::xsignal(SIGUSR1, Nothing), SIG_DFL);
  EXPECT_EQ(comspace::xsignal(SIGUSR1, SIG_DFL), &Nothing);
  EXPECT_EQ(comspace::xsignal(-1, Nothing), SIG_ERR);
  struct sigaction usr;
  struct sigaction alrm;
  comspace::xsignal(SIGALRM, Nothing);
  sigaction(SIGUSR1, nullptr, &usr);
  sigaction(SIGALRM, nullptr, &alrm);
  EXPECT_NE(usr.sa_flags & SA_RESTART, 0);
  EXPECT_EQ(alrm.sa_flags & SA_RESTART, 0);  // interrupts its calls
  comspace::xsignal(SIGALRM, SIG_DFL);
  auto t0 = std::chrono::steady_clock::now();
  comspace::safe_msleep(1050);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1050));
}

}  // namespace
