#include "comlog/appender/ullogappender.h"

#include <stdio.h>
#include <string.h>

#include <new>
#include <string>

#include "comlog/appender/fileappender.h"
#include "comlog/appender/netappender.h"
#include "comlog/diag.h"
#include "comlog/event.h"
#include "comlog/namemg.h"
#include "toolkit/path.h"

namespace comspace {

namespace {

constexpr uint64_t kMainMask = (uint64_t{1} << 4) | (uint64_t{1} << 8) | (uint64_t{1} << 16);  // 0x10110
constexpr uint64_t kWfMask = (uint64_t{1} << 1) | (uint64_t{1} << 2);                          // 0x6
constexpr uint64_t kSelfMask = 0xFFFFFFFF00000000ULL;                                           // ids 32..63

// A ULLOG device's files have one name per file, as a FILE device's have
// (toolkit::LexicalPath), so that two spellings of its folder give one
// appender and not two that each write every line; a ULNET device's PATH
// is a list of servers, kept as it is.
std::string RegistryName(const com_device_t& dev) {
  std::string where = std::string(dev.host) + "/" + dev.file;
  if (strcmp(dev.type, "ULLOG") == 0) where = toolkit::LexicalPath(where);
  return std::string("ULLOG[") + dev.type + "]:" + where;
}

// The FILE (for ULLOG) or NET output of a copy of the device with its own
// name suffix and levels; NULL when the name with its suffix does not fit
// (cut, it could name the main file and take its levels).
Appender* SubAppender(const com_device_t& dev, const char* suffix, uint64_t mask) {
  com_device_t sub = dev;
  const int n = snprintf(sub.file, sizeof(sub.file), "%s%s", dev.file, suffix);
  if (n < 0 || static_cast<size_t>(n) >= sizeof(sub.file)) return nullptr;
  sub.log_mask = mask;
  Appender* app = strcmp(dev.type, "ULLOG") == 0 ? FileAppender::getAppender(sub) : NetAppender::getAppender(sub);
  if (app != nullptr) app->setLayout(dev.layout);
  return app;
}

}  // namespace

int UlLogAppender::open(void* /*arg*/) { return 0; }
int UlLogAppender::close(void* /*arg*/) { return 0; }
int UlLogAppender::syncid(void* /*arg*/) { return 0; }

int UlLogAppender::print(Event* evt) {
  if (evt == nullptr) return -1;
  if (unInMask(static_cast<int>(evt->_log_level))) return 0;
  // Every output gets its copy, whatever another one did.
  int rc = 0;
  for (Appender* app : {_ntapp, _wfapp, _sfapp}) {
    if (app != nullptr && app->print(evt) != 0) rc = -1;
  }
  return rc;
}

int UlLogAppender::binprint(void* buf, int len) {
  int rc = 0;
  for (Appender* app : {_ntapp, _wfapp, _sfapp}) {
    if (app != nullptr && app->binprint(buf, len) != 0) rc = -1;
  }
  return rc;
}

Appender* UlLogAppender::getAppender(com_device_t& dev) {
  NameMg* mg = comlog_get_nameMg();
  if (mg == nullptr) return nullptr;
  const std::string name = RegistryName(dev);
  if (auto* found = static_cast<Appender*>(mg->get(NameMg::TYPE_APPENDER, name.c_str()))) return found;
  auto* app = new (std::nothrow) UlLogAppender();
  if (app == nullptr) return nullptr;
  app->setDeviceInfo(dev);
  app->_ntapp = SubAppender(dev, "", kMainMask);
  if (app->_ntapp == nullptr) {
    COMLOG_DIAG("get ntapp err");
    delete app;
    return nullptr;
  }
  app->_wfapp = SubAppender(dev, ".wf", kWfMask);
  if (app->_wfapp == nullptr) {
    COMLOG_DIAG("get wfapp error");
    delete app;
    return nullptr;
  }
  if ((dev.log_mask & kSelfMask) != 0) {
    app->_sfapp = SubAppender(dev, ".sf", dev.log_mask & kSelfMask);
    if (app->_sfapp == nullptr) {
      COMLOG_DIAG("get sfapp error");
      delete app;
      return nullptr;
    }
  }
  const int rc = mg->set(name.c_str(), static_cast<Appender*>(app));
  if (rc == 0) return app;
  delete app;
  return rc == 1 ? static_cast<Appender*>(mg->get(NameMg::TYPE_APPENDER, name.c_str())) : nullptr;
}

Appender* UlLogAppender::tryAppender(com_device_t& dev) {
  NameMg* mg = comlog_get_nameMg();
  if (mg == nullptr) return nullptr;
  return static_cast<Appender*>(mg->get(NameMg::TYPE_APPENDER, RegistryName(dev).c_str()));
}

}  // namespace comspace
