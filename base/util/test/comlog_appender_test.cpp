// Appenders, the appender factory and the terminal appender.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comlog/namemg.h"
#include "comlog_test_util.h"

namespace {

using comlogtest::CaptureAppender;
using comlogtest::InChild;
using comspace::Appender;
using comspace::AppenderFactory;
using comspace::com_device_t;
using comspace::NameMg;

// A kind that keeps the last device it was asked for and makes one appender
// per device name.
com_device_t* g_last_device = nullptr;
Appender* CaptureGetter(com_device_t& dev) {
  *g_last_device = dev;
  NameMg* mg = comspace::comlog_get_nameMg();
  if (auto* found = static_cast<Appender*>(mg->get(NameMg::TYPE_APPENDER, dev.file))) return found;
  auto* app = new CaptureAppender();
  app->setDeviceInfo(dev);
  mg->set(dev.file, static_cast<Appender*>(app));
  return app;
}
Appender* CaptureTryer(com_device_t& dev) {
  return static_cast<Appender*>(comspace::comlog_get_nameMg()->get(NameMg::TYPE_APPENDER, dev.file));
}

com_device_t Device(const char* type, const char* file = "f") {
  com_device_t d;
  snprintf(d.type, sizeof(d.type), "%s", type);
  snprintf(d.file, sizeof(d.file), "%s", file);
  snprintf(d.name, sizeof(d.name), "DEV_%s", file);
  return d;
}

TEST(AppenderFactory, KindsAndRegistration) {
  InChild([] {
    std::vector<std::string> kinds;
    for (auto* p = AppenderFactory::get_static_appList(); p != nullptr; p = p->next) kinds.push_back(p->name);
    EXPECT_EQ(kinds, (std::vector<std::string>{"FILE", "AFILE", "NET", "TTY", "ULLOG", "ULNET"}));

    EXPECT_EQ(AppenderFactory::registAppender("FILE", CaptureGetter, CaptureTryer), -1);
    EXPECT_EQ(AppenderFactory::registAppender(nullptr, CaptureGetter, CaptureTryer), -1);
    EXPECT_EQ(AppenderFactory::registAppender("SIXTEEN_CHARS_XX", CaptureGetter, CaptureTryer), -1);
    EXPECT_FALSE(AppenderFactory::isAppender("FIFTEEN_CHARS_X"));
    EXPECT_EQ(AppenderFactory::registAppender("FIFTEEN_CHARS_X", CaptureGetter, CaptureTryer), 0);
    EXPECT_TRUE(AppenderFactory::isAppender("FIFTEEN_CHARS_X"));
    EXPECT_FALSE(AppenderFactory::isAppender("SIXTEEN_CHARS_XX"));
    EXPECT_FALSE(AppenderFactory::isAppender(nullptr));
    EXPECT_EQ(AppenderFactory::searchAppender("TT"), nullptr);

    // A node inserted by hand, a list put back as it was: later kinds are
    // still appended at its end.
    EXPECT_EQ(AppenderFactory::insertAppender(nullptr), -1);
    auto* node = new AppenderFactory::AppenderList{"INS", CaptureTryer, CaptureGetter, nullptr};
    EXPECT_EQ(AppenderFactory::insertAppender(node), 0);
    EXPECT_EQ(AppenderFactory::searchAppender("INS"), node);
    AppenderFactory::set_static_appList(AppenderFactory::get_static_appList());
    EXPECT_EQ(AppenderFactory::registAppender("AFTER", CaptureGetter, CaptureTryer), 0);
    kinds.clear();
    for (auto* p = AppenderFactory::get_static_appList(); p != nullptr; p = p->next) kinds.push_back(p->name);
    EXPECT_EQ(kinds.size(), 9u);
    EXPECT_EQ(kinds.back(), "AFTER");
  });
}

TEST(AppenderFactory, GetNormalisesAndReuses) {
  InChild([] {
    ASSERT_EQ(comspace::comlog_get_nameMg()->create(), 0);
    com_device_t seen;
    g_last_device = &seen;
    ASSERT_EQ(AppenderFactory::registAppender("CAPT", CaptureGetter, CaptureTryer), 0);

    // Kinds that are not built yet, and unknown kinds, yield nothing.
    for (const char* type : {"NET", "ULNET", "NOSUCH"}) {
      com_device_t d = Device(type);
      EXPECT_EQ(AppenderFactory::getAppender(d), nullptr) << type;
      EXPECT_EQ(AppenderFactory::tryAppender(d), nullptr) << type;
    }

    com_device_t d = Device("CAPT");
    d.log_size = 0;
    d.cuttime = -5;
    d.log_mask = 0x6;
    d.open = 0;
    memset(d.host, 'h', sizeof(d.host));  // unterminated text gets its NUL
    EXPECT_EQ(AppenderFactory::tryAppender(d), nullptr);
    Appender* app = AppenderFactory::getAppender(d);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(seen.log_size, 2018);
    EXPECT_EQ(seen.cuttime, 10000000);
    EXPECT_EQ(strlen(seen.host), sizeof(seen.host) - 1);
    EXPECT_EQ(app->_open, 0);
    EXPECT_EQ(app->_mask, 0x6u);
    EXPECT_EQ(AppenderFactory::tryAppender(d), app);
    struct Row {
      int in, out;
    } cuts[] = {{0, 0}, {10000000, 10000000}, {10000001, 10000000}, {-1, 10000000}};
    for (const Row& r : cuts) {
      com_device_t c = Device("CAPT", "cut");
      c.cuttime = r.in;
      c.log_size = 1;  // kept
      AppenderFactory::getAppender(c);
      EXPECT_EQ(seen.cuttime, r.out) << r.in;
      EXPECT_EQ(seen.log_size, 1);
    }

    // The same device again: the appender keeps its record and mask but takes
    // the new layout (then owned by the registry) and open flag.
    com_device_t again = Device("CAPT");
    again.log_mask = 0xFF;
    again.layout = new comspace::Layout();
    EXPECT_EQ(AppenderFactory::getAppender(again), app);
    EXPECT_EQ(app->_mask, 0x6u);
    EXPECT_EQ(app->_open, 1);
    EXPECT_EQ(app->_layout, again.layout);
    EXPECT_EQ(comspace::comlog_get_nameMg()->get(NameMg::TYPE_LAYOUT, "DEV_f"), again.layout);
    app->setLayout(nullptr);
    EXPECT_EQ(app->_layout, comspace::comlog_get_def_layout());

    app->emptyMask();
    EXPECT_TRUE(app->unInMask(1));
    app->addMask(64 + 3);
    EXPECT_FALSE(app->unInMask(3));
    app->delMask(3);
    EXPECT_TRUE(app->unInMask(3));
    app->resetMask();
    EXPECT_EQ(app->_mask, comspace::COMLOG_SYSLEVEL_MASK);
    comspace::comlog_get_nameMg()->destroy();  // frees the appenders and the layout
  });
}

TEST(TtyAppender, SharedPerLayoutWritesStandardError) {
  InChild([] {
    ASSERT_EQ(comspace::comlog_get_nameMg()->create(), 0);
    com_device_t a = Device("TTY");
    a.log_mask = 0x16;
    com_device_t b = Device("TTY", "other");
    b.layout = nullptr;  // no layout: the default one
    Appender* tty = AppenderFactory::getAppender(a);
    ASSERT_NE(tty, nullptr);
    EXPECT_EQ(AppenderFactory::getAppender(b), tty);
    EXPECT_EQ(tty->_mask, 0x16u);  // the first device's
    com_device_t c = Device("TTY");
    c.layout = new comspace::Layout();
    c.layout->setPattern("%L|%R");
    c.log_mask = comspace::COMLOG_SYSLEVEL_MASK;
    Appender* own = AppenderFactory::getAppender(c);
    EXPECT_NE(own, tty);
    com_device_t silent = Device("TTY");
    silent.layout = new comspace::Layout();
    snprintf(silent.name, sizeof(silent.name), "SILENT");
    Appender* none = AppenderFactory::getAppender(silent);  // log_mask 0: writes nothing

    comspace::Event* e = comspace::Event::getEvent();
    testsupport::CaptureFd err(2);
    for (unsigned level : {4u, 8u}) {
      e->reset();
      e->_log_level = level;
      e->_msgbuf_len = snprintf(e->_msgbuf, 64, "m%u", level);
      tty->print(e);
      own->print(e);
      none->print(e);
    }
    char bytes[] = "raw";
    tty->binprint(bytes, 3);
    std::string text = err.Stop();
    EXPECT_EQ(comlogtest::Lines(text).size(), 4u) << text;
    EXPECT_NE(text.find("NOTICE: "), std::string::npos);
    EXPECT_NE(text.find("m4\nNOTICE|m4\n"), std::string::npos) << text;
    EXPECT_NE(text.find("TRACE|m8\nraw"), std::string::npos) << text;
    comspace::comlog_get_nameMg()->destroy();
  });
}

}  // namespace
