#include "comlog/appender/ttyappender.h"

#include <stdio.h>

#include <new>

#include "comlog/event.h"
#include "comlog/layout.h"
#include "comlog/namemg.h"

namespace comspace {

namespace {

// "tty:tty.%lx" of the layout's address.
void RegistryName(com_device_t& dev, char* out, size_t size) {
  if (dev.layout == nullptr) dev.layout = comlog_get_def_layout();
  snprintf(out, size, "tty:tty.%lx", reinterpret_cast<unsigned long>(dev.layout));
}

}  // namespace

int TtyAppender::open(void* /*arg*/) { return 0; }

int TtyAppender::close(void* /*arg*/) { return 0; }

int TtyAppender::print(Event* evt) {
  if (unInMask(static_cast<int>(evt->_log_level))) return 0;
  _layout.load(std::memory_order_acquire)->format(evt);
  fputs(evt->_render_msgbuf, stderr);
  return 0;
}

int TtyAppender::binprint(void* buf, int len) {
  if (buf != nullptr && len > 0) fwrite(buf, 1, static_cast<size_t>(len), stderr);
  return 0;
}

Appender* TtyAppender::getAppender(com_device_t& dev) {
  NameMg* mg = comlog_get_nameMg();
  if (mg == nullptr) return nullptr;
  char name[64];
  RegistryName(dev, name, sizeof(name));
  if (auto* found = static_cast<Appender*>(mg->get(NameMg::TYPE_APPENDER, name))) return found;
  TtyAppender* app = new (std::nothrow) TtyAppender();
  if (app == nullptr) return nullptr;
  app->setDeviceInfo(dev);
  const int rc = mg->set(name, static_cast<Appender*>(app));
  if (rc == 0) return app;
  delete app;
  return rc == 1 ? static_cast<Appender*>(mg->get(NameMg::TYPE_APPENDER, name)) : nullptr;
}

Appender* TtyAppender::tryAppender(com_device_t& dev) {
  NameMg* mg = comlog_get_nameMg();
  if (mg == nullptr) return nullptr;
  char name[64];
  RegistryName(dev, name, sizeof(name));
  return static_cast<Appender*>(mg->get(NameMg::TYPE_APPENDER, name));
}

}  // namespace comspace
