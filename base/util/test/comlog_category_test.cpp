// Level names, level filters, events, layouts and categories.
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "comlog/namemg.h"
#include "comlog_test_util.h"

namespace {

using comlogtest::CaptureAppender;
using comlogtest::InChild;
using comspace::Category;
using comspace::Event;
using comspace::Layout;
using comspace::LogStat;

// The registry and the default filter, as an opening makes them.
void Init() {
  ASSERT_EQ(comspace::comlog_get_nameMg()->create(), 0);
  comspace::comlog_set_def_logstat(LogStat::createLogStat());
  ASSERT_NE(comspace::comlog_get_def_logstat(), nullptr);
}

// The calling thread's Event with a fixed message: NOTICE "hello" from
// process "proc", thread 1234, at 2000-02-29 13:02:03.007999 UTC.
Event* FixedEvent(const std::string& msg = "hello") {
  Event* e = Event::getEvent();
  e->reset();
  e->_log_level = 4;
  e->_print_time = {951825600 + 3723, 7999};
  snprintf(e->_proc_name, sizeof(e->_proc_name), "proc");
  e->_thread_id = 1234;
  snprintf(e->_msgbuf, static_cast<size_t>(e->_msgbuf_size), "%s", msg.c_str());
  e->_msgbuf_len = static_cast<int>(msg.size());
  return e;
}

std::string Render(Layout* l, Event* e) {
  EXPECT_EQ(l->format(e), 0);
  return std::string(e->_render_msgbuf, static_cast<size_t>(e->_render_msgbuf_len));
}

TEST(Layout, EveryPatternElement) {
  InChild([] {
    char host[128] = "";
    gethostname(host, sizeof(host));
    Layout::setTimeFormat("%Y%m%d");
    struct Row {
      const char* pattern;
      std::string line;
    } rows[] = {
        {"%L: %D:  %P * %T %R", "NOTICE: 02-29 13:02:03:  proc * 1234 hello\n"},
        {"%A|%U|%Y", "02-29 13:02:03:007|7|20000229\n"},
        {"<%H>", std::string("<") + host + ">\n"},
        {"[%L]%%%Z|%N", "[NOTICE]|a=1;b=2;\n"},  // "%%" and unknown codes emit nothing
        {"x%", "x\n"},                           // a trailing '%' ends the pattern
    };
    Layout l;
    l.setNdcPattern("%K=%V;");
    for (const Row& r : rows) {
      Event* e = FixedEvent();
      e->push("a", "1");
      e->push("b", "2");
      l.setPattern(r.pattern);
      EXPECT_EQ(Render(&l, e), r.line) << r.pattern;
    }
    // The default layout, with a version and a type in front.
    Event* e = FixedEvent();
    e->setLogVersion(3);
    EXPECT_EQ(e->setLogType("t"), 0);
    EXPECT_EQ(Render(comspace::comlog_get_def_layout(), e), "3 t NOTICE: 02-29 13:02:03:  proc * 1234 hello\n");
    e->setLogVersion(0);
    l.setPattern("%R");
    EXPECT_EQ(Render(&l, e), "0 t hello\n");
    e->setLogType("");
    EXPECT_EQ(Render(comspace::comlog_get_def_layout(), e), "NOTICE: 02-29 13:02:03:  proc * 1234 hello\n");
    // The default NDC pattern.
    e = FixedEvent();
    e->push("a", "x");
    e->push("b", "y");
    Layout plain;
    plain.setPattern("%N");
    EXPECT_EQ(Render(&plain, e), "a:x,b:y,\n");
    EXPECT_EQ(plain.setPattern("%N", "%K%%=%Z%V|"), 0);  // "%%" gives '%', an unknown code nothing
    EXPECT_EQ(Render(&plain, e), "a%=x|b%=y|\n");
  });
}

TEST(Layout, LinesAreCutToTheBuffer) {
  InChild([] {
    comspace::Event::setMaxLogLength(16);  // this child's Event: 16-byte buffers
    Layout l;
    l.setPattern("%R");
    struct Row {
      std::string msg;
      std::string line;
    } rows[] = {
        {std::string(13, 'm'), std::string(13, 'm') + "\n"},
        {std::string(14, 'm'), std::string(14, 'm') + "\n"},
        {std::string(15, 'm'), std::string(14, 'm') + "\n"},  // reaches S - 1: cut to S - 2
    };
    for (const Row& r : rows) {
      Event* e = FixedEvent(r.msg);
      ASSERT_EQ(e->_render_msgbuf_size, 16);
      EXPECT_EQ(Render(&l, e), r.line);
    }
    l.setPattern("%P%P%P%P%Pxyz");  // a cut piece ends the walk
    EXPECT_EQ(Render(&l, FixedEvent()), "procprocprocpr\n");
    Event* e = FixedEvent();
    e->_render_msgbuf_size = 1;
    EXPECT_EQ(l.format(e), -1);
    e->_render_msgbuf_size = 16;

    // The NDC text by buffer size: exact, cut inside a piece (size - 1), or
    // out of room before an ordinary character (0).
    e->push("ab", "x");
    struct NdcRow {
      int size;
      int rc;
      const char* text;
    } ndc[] = {{6, 5, "ab:x,"}, {5, 0, nullptr}, {4, 3, "ab:"}, {3, 0, nullptr}, {2, 1, "a"}, {1, 0, ""},
               {0, 0, nullptr}};
    for (const NdcRow& r : ndc) {
      char buf[8] = "zzzzzzz";
      EXPECT_EQ(l.fmtpattern(e, buf, r.size), r.rc) << r.size;
      if (r.text != nullptr) {
        EXPECT_STREQ(buf, r.text) << r.size;
      }
    }
    e = FixedEvent();
    e->push("abcdefghijklm", "n");  // the NDC text fills the line exactly
    l.setPattern("%N");
    l.setNdcPattern("%K%V");
    EXPECT_EQ(Render(&l, e), "abcdefghijklmn\n");
  });
}

TEST(Levels, SelfDefinedNamesAndFilters) {
  InChild([] {
    EXPECT_EQ(comspace::getLogId("NOTICE"), 4);
    EXPECT_EQ(comspace::getLogId("nosuch"), 0);
    EXPECT_EQ(comspace::getLogId(nullptr), 0);
    EXPECT_STREQ(comspace::getLogName(64 + 16), "DEBUG");
    EXPECT_EQ(comspace::createSelfLog("AUDIT"), 32);
    EXPECT_EQ(comspace::createSelfLog("AUDIT"), 32);
    EXPECT_EQ(comspace::createSelfLog("NOTICE"), 4);
    EXPECT_EQ(comspace::getLogId("AUDIT"), 32);

    EXPECT_EQ(LogStat::createLogStat(), nullptr);  // no registry table yet
    LogStat ls;
    EXPECT_EQ(ls.level(), comspace::COMLOG_SYSLEVEL_MASK);
    ls.setLevel(0x16, nullptr);  // no names: every self-defined level
    for (unsigned id : {1u, 2u, 4u, 40u, 63u}) EXPECT_EQ(ls.unAccept(id), 0) << id;
    for (unsigned id : {8u, 16u, 0u}) EXPECT_EQ(ls.unAccept(id), 1) << id;
    EXPECT_EQ(ls.setLevel(0x2, "AUDIT, KEEP"), 0);  // replaces, with the named levels only
    EXPECT_EQ(ls.level(), 0x2ULL | (1ULL << 32) | (1ULL << 33));

    for (int i = 34; i < 64; ++i) EXPECT_EQ(comspace::createSelfLog(("L" + std::to_string(i)).c_str()), i);
    EXPECT_EQ(comspace::createSelfLog("ONE_TOO_MANY"), 0);
    comspace::com_device_t dev;
    EXPECT_EQ(comspace::set_comdevice_selflog(&dev, "ONE_TOO_MANY AUDIT"), 0);
    EXPECT_EQ(dev.log_mask, 1ULL << 32);  // no id for the new name, no bit 0
    EXPECT_EQ(comspace::createSelfLog(""), 0);
  });
}

TEST(Event, ContextResizeAndLength) {
  InChild([] {
    Event* e = Event::getEvent();
    EXPECT_EQ(Event::getEvent(), e);
    EXPECT_EQ(e->_msgbuf_size, 2048);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(e->push("k", std::string(100, 'v').c_str()), 0);
    EXPECT_EQ(e->push("k", "v"), -1);
    EXPECT_EQ(strlen(e->_ndcs[0].value), 63u);
    e->reset();
    EXPECT_EQ(e->_ndc_num, 0);
    EXPECT_EQ(e->_log_version, -1);

    snprintf(e->_msgbuf, 8, "keep");
    int sizes = 0;
    while (e->resize() == 0) ++sizes;
    EXPECT_EQ(sizes, 9);  // 2048 doubled up to 1 MiB
    EXPECT_EQ(e->_msgbuf_size, 1048576);
    EXPECT_STREQ(e->_msgbuf, "keep");
    EXPECT_EQ(Event::setMaxLogLength(8), 2048);
    EXPECT_EQ(Event::setMaxLogLength(9), 9);
    EXPECT_EQ(Event::setMaxLogLength(1048577), 1048576);
  });
}

int g_callback_calls = 0;
int ConsumingCallback(int level, const char* fmt, va_list args, void* param) {
  char buf[64];
  vsnprintf(buf, sizeof(buf), fmt, args);  // uses up its copy of the arguments
  ++g_callback_calls;
  *static_cast<int*>(param) = level;
  return 0;
}

TEST(Category, HierarchyFilterCallbackAndAppenders) {
  InChild([] {
    Init();
    EXPECT_EQ(Category::getInstance(".x"), nullptr);
    EXPECT_EQ(Category::getInstance(nullptr), nullptr);
    Category* a = Category::getInstance("a");
    auto* cap = new CaptureAppender();
    auto* backup = new CaptureAppender();
    cap->_bkappender = backup;
    cap->setLayout(new Layout());  // owned below by the test
    cap->_layout.load()->setPattern("%L %R");
    backup->_layout.load()->setPattern("%R");
    EXPECT_EQ(a->addAppender(cap), 0);
    EXPECT_EQ(a->addAppender(cap), 0);
    EXPECT_EQ(a->addAppender(nullptr), -1);
    EXPECT_EQ(a->appender_num(), 1);
    Category* abc = Category::getInstance("a.b.c");
    ASSERT_NE(abc, nullptr);
    EXPECT_EQ(abc->_parent, Category::getInstance("a.b"));
    EXPECT_EQ(abc->_parent->_parent, a);
    EXPECT_EQ(abc->appender_num(), 1);  // copied from the parents
    EXPECT_EQ(abc->logstat(), comspace::comlog_get_def_logstat());
    LogStat own;
    abc->setLogStat(&own);
    EXPECT_EQ(abc->logstat(), &own);
    abc->setLogStat(nullptr);
    EXPECT_EQ(abc->logstat(), comspace::comlog_get_def_logstat());

    int seen_level = 0;
    Category::_g_callback = ConsumingCallback;
    Category::_g_callback_param = &seen_level;
    EXPECT_EQ(abc->print(4, "n=%d s=%s", 7, "x"), 0);
    EXPECT_EQ(abc->print(40, "filtered"), 0);  // 40 is not in the default filter
    Category::_g_callback = nullptr;
    EXPECT_EQ(g_callback_calls, 1);
    EXPECT_EQ(seen_level, 4);
    EXPECT_EQ(abc->print(2, "%s", std::string(3000, 'z').c_str()), 0);
    EXPECT_EQ(abc->print(4, "%ls", L"\xD800"), 0);  // no multibyte form: vsnprintf fails

    cap->_open = 0;  // switched off: skipped
    abc->print(4, "off");
    cap->_open = 1;
    EXPECT_EQ(abc->addAppenderMask("CAPT"), 0);  // no appender of that type
    strcpy(cap->_device.type, "CAPT");
    EXPECT_EQ(abc->addAppenderMask("CAPT"), 0);  // only the first call acts
    abc->print(4, "still main");
    EXPECT_EQ(a->addAppenderMask("CAPT"), 0);
    a->print(4, "to backup");

    ASSERT_EQ(cap->lines.size(), 4u);
    EXPECT_EQ(cap->lines[0], "NOTICE n=7 s=x\n");
    EXPECT_EQ(cap->messages[1].size(), 2047u);
    EXPECT_EQ(cap->lines[1].size(), 2047u);  // message cut to 2047, line to 2046 + "\n"
    EXPECT_EQ(cap->lines[1].substr(0, 9), "WARNING z");
    EXPECT_EQ(cap->lines[2], "NOTICE comlog: one message was lost because vsnprintf failed\n");
    EXPECT_EQ(cap->lines[3], "NOTICE still main\n");
    EXPECT_EQ(backup->lines, std::vector<std::string>{"to backup\n"});

    auto* second = new CaptureAppender();
    EXPECT_EQ(a->addAppender(second), 0);
    EXPECT_EQ(a->removeAppender(cap), 0);
    EXPECT_EQ(a->removeAppender(cap), -1);
    EXPECT_EQ(a->_appenders[0], second);
    for (int i = a->appender_num(); i < comspace::COMLOG_MAX_APPENDER; ++i) {
      a->_appenders[a->_appnum++] = second + 0;  // fill the list
    }
    EXPECT_EQ(a->addAppender(cap), -1);
    a->clearAppender();
    EXPECT_EQ(a->appender_num(), 0);
    delete cap->_layout.load();
    delete cap;
    delete backup;
    delete second;
  });
}

// An appender whose every write fails (a level its mask refuses is not a
// write).
class FailingAppender : public CaptureAppender {
 public:
  int print(Event* evt) override {
    if (unInMask(static_cast<int>(evt->_log_level))) return 0;
    CaptureAppender::print(evt);
    return -1;
  }
};

// A line fails (-1) only when every appender it was handed to failed: an
// appender switched off, one whose mask refuses the level and a back-up
// route without a back-up appender are not handed the line; a level the
// filter refuses is not a failure. Printing and stream output alike.
TEST(Category, LineFailsOnlyWhenEveryAppenderItReachedFailed) {
  InChild([] {
    Init();
    enum Kind { kOk, kBad, kOkRefusing, kBadRefusing, kOkOff, kBadOff, kToOkBackup, kToBadBackup, kToNoBackup };
    struct Row {
      std::vector<Kind> appenders;
      unsigned int level;
      int result;
    } rows[] = {
        {{}, 4, 0},
        {{kOk}, 4, 0},
        {{kBad}, 4, -1},
        {{kBad, kOk}, 4, 0},
        {{kOk, kBad}, 4, 0},
        {{kBad, kBad}, 4, -1},
        {{kBad, kOkRefusing}, 4, -1},
        {{kBadRefusing}, 4, 0},
        {{kBadRefusing, kOk}, 4, 0},
        {{kBad, kOkOff}, 4, -1},
        {{kBadOff}, 4, 0},
        {{kBad}, 40, 0},  // refused by the filter
        {{kToOkBackup}, 4, 0},
        {{kToBadBackup}, 4, -1},
        {{kToBadBackup, kOk}, 4, 0},
        {{kBad, kToNoBackup}, 4, -1},
        {{kToNoBackup}, 4, 0},
    };
    std::vector<CaptureAppender*> made;
    auto make = [&](CaptureAppender* a) {
      made.push_back(a);
      return a;
    };
    int n = 0;
    for (const Row& r : rows) {
      Category* c = Category::getInstance(("row" + std::to_string(n++)).c_str());
      ASSERT_NE(c, nullptr);
      for (Kind k : r.appenders) {
        const bool bad = k == kBad || k == kBadRefusing || k == kBadOff || k == kToBadBackup;
        CaptureAppender* a = make(bad && k != kToBadBackup ? new FailingAppender() : new CaptureAppender());
        if (k == kOkRefusing || k == kBadRefusing) a->delMask(static_cast<int>(r.level));
        if (k == kOkOff || k == kBadOff) a->_open = 0;
        if (k == kToOkBackup || k == kToBadBackup || k == kToNoBackup) {
          strcpy(a->_device.type, "BK");
          if (k == kToOkBackup) a->_bkappender = make(new CaptureAppender());
          if (k == kToBadBackup) a->_bkappender = make(new FailingAppender());
        }
        ASSERT_EQ(c->addAppender(a), 0);
      }
      c->addAppenderMask("BK");
      EXPECT_EQ(c->print(r.level, "line"), r.result) << "row " << n - 1;
      *c->setLogInfo(r.level) << "stream";
      EXPECT_EQ(c->flush(), r.result) << "row " << n - 1;
      c->clearAppender();
    }
    for (CaptureAppender* a : made) delete a;
  });
}

TEST(Category, StreamOutputAndContext) {
  InChild([] {
    Init();
    comspace::comlog_get_def_logstat()->setLevel(0x16, "NONE");
    Category* c = Category::getInstance("s");
    auto* cap = new CaptureAppender();
    cap->_layout.load()->setPattern("%L %R|%N");
    c->addAppender(cap);

    void* null_ptr = nullptr;
    const char* null_text = nullptr;
    *c->setLogInfo(4) << "t" << null_text << null_ptr << ' ' << static_cast<unsigned char>(200)
                      << static_cast<short>(-3) << static_cast<unsigned short>(4) << -5 << 6u << -7L
                      << 8UL << -9LL << 10ULL << 1.5f << 2.5 << 3.5L;
    c->flush();
    c->push("k", "%d", 42)("j", "%s", std::string(100, 'v').c_str())(4, "pushed");
    *c->setLogInfo(4) << std::string(3000, 'a').c_str();
    c->flush();
    *c->setLogInfo(4) << std::string(2048, 'c').c_str();  // one more than the free space
    c->flush();
    *c->setLogInfo(4) << std::string(2 * 1048576, 'b').c_str();  // over 1 MiB: dropped
    c->flush();
    *c->setLogInfo(16) << "refused";  // DEBUG is filtered: the line is dropped
    c->flush();
    *c->setLogInfo(2) << "after";
    c->flush();

    ASSERT_EQ(cap->lines.size(), 6u);
    EXPECT_EQ(cap->lines[0], "NOTICE t(null) 200-34-56-78-910" "1.5000002.5000003.500000|\n");
    EXPECT_EQ(cap->lines[1], "NOTICE pushed|k:42,j:" + std::string(63, 'v') + ",\n");
    EXPECT_EQ(cap->lines[2], "NOTICE " + std::string(3000, 'a') + "|\n");
    EXPECT_EQ(cap->messages[3], std::string(2048, 'c'));
    EXPECT_EQ(cap->lines[4], "NOTICE |\n");
    EXPECT_EQ(cap->lines[5], "WARNING after|\n");

    // A category's own filter decides, not the default one.
    LogStat* own = LogStat::createLogStat();
    ASSERT_NE(own, nullptr);
    own->setLevel(0x2, "NONE");  // WARNING only
    c->setLogStat(own);
    *c->setLogInfo(4) << "refused by its own filter";
    c->flush();
    EXPECT_EQ(cap->lines.size(), 6u);
    delete cap;
  });
}

}  // namespace
