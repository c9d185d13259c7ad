// The appender factory. Its kinds live in a list made on first use, with the
// six built-in kinds registered by the factory's constructor: a registration
// by a static object in each kind's file would be dropped by the linker from
// a static library, so this file names every built-in kind itself.
#include "comlog/appender/appenderfactory.h"

#include <stdio.h>
#include <string.h>

#include <mutex>
#include <new>

#include "comlog/appender/appender.h"
#include "comlog/appender/asyncfileappender.h"
#include "comlog/appender/fileappender.h"
#include "comlog/appender/netappender.h"
#include "comlog/appender/ttyappender.h"
#include "comlog/appender/ullogappender.h"
#include "comlog/layout.h"
#include "comlog/namemg.h"

namespace comspace {

namespace {

constexpr size_t kNameSize = sizeof(AppenderFactory::AppenderList::name);

// Guards the list (registration and look-up).
std::mutex g_list_mutex;
AppenderFactory::AppenderList* g_app_list = nullptr;
AppenderFactory::AppenderList* g_app_tail = nullptr;
// Serialises getAppender and tryAppender, so one device yields one appender.
std::recursive_mutex g_factory_mutex;

// The factory itself: made on first use, alive for the whole process (never
// destroyed, so that a thread logging during exit still finds its kinds).
void EnsureFactory() {
  static AppenderFactory* factory = new AppenderFactory();
  (void)factory;
}

AppenderFactory::AppenderList* FindLocked(const char* name) {
  for (auto* p = g_app_list; p != nullptr; p = p->next) {
    if (strcmp(p->name, name) == 0) return p;
  }
  return nullptr;
}

void AppendLocked(AppenderFactory::AppenderList* node) {
  node->next = nullptr;
  if (g_app_tail != nullptr) {
    g_app_tail->next = node;
  } else {
    g_app_list = node;
  }
  g_app_tail = node;
}

int RegisterLocked(const char* name, appender_fn_t getter, appender_fn_t tryer) {
  if (name == nullptr || strnlen(name, kNameSize) >= kNameSize) return -1;
  if (FindLocked(name) != nullptr) return -1;
  auto* node = new (std::nothrow) AppenderFactory::AppenderList();
  if (node == nullptr) return -1;
  memcpy(node->name, name, strlen(name) + 1);
  node->getAppender = getter;
  node->tryAppender = tryer;
  AppendLocked(node);
  return 0;
}

// Sets the last byte of a text field to NUL.
template <size_t N>
void Terminate(char (&field)[N]) {
  field[N - 1] = '\0';
}

}  // namespace

AppenderFactory::AppenderFactory() {
  std::lock_guard<std::mutex> lock(g_list_mutex);
  RegisterLocked("FILE", FileAppender::getAppender, FileAppender::tryAppender);
  RegisterLocked("AFILE", AsyncFileAppender::getAppender, AsyncFileAppender::tryAppender);
  RegisterLocked("NET", NetAppender::getAppender, NetAppender::tryAppender);
  RegisterLocked("TTY", TtyAppender::getAppender, TtyAppender::tryAppender);
  RegisterLocked("ULLOG", UlLogAppender::getAppender, UlLogAppender::tryAppender);
  RegisterLocked("ULNET", UlLogAppender::getAppender, UlLogAppender::tryAppender);
}

AppenderFactory::~AppenderFactory() {
  std::lock_guard<std::mutex> lock(g_list_mutex);
  while (g_app_list != nullptr) {
    AppenderList* next = g_app_list->next;
    delete g_app_list;
    g_app_list = next;
  }
  g_app_tail = nullptr;
}

int AppenderFactory::registAppender(const char* name, appender_fn_t getter, appender_fn_t tryer) {
  EnsureFactory();
  std::lock_guard<std::mutex> lock(g_list_mutex);
  return RegisterLocked(name, getter, tryer);
}

bool AppenderFactory::isAppender(const char* name) {
  return searchAppender(name) != nullptr;  // names of 16 characters or more are never registered
}

AppenderFactory::AppenderList* AppenderFactory::searchAppender(const char* name) {
  if (name == nullptr) return nullptr;
  EnsureFactory();
  std::lock_guard<std::mutex> lock(g_list_mutex);
  return FindLocked(name);
}

int AppenderFactory::insertAppender(AppenderList* node) {
  if (node == nullptr) return -1;
  EnsureFactory();
  std::lock_guard<std::mutex> lock(g_list_mutex);
  AppendLocked(node);
  return 0;
}

Appender* AppenderFactory::getAppender(com_device_t& dev) {
  std::lock_guard<std::recursive_mutex> lock(g_factory_mutex);
  if (dev.log_size < 1) dev.log_size = 2018;
  if (dev.cuttime < 0 || dev.cuttime > 10000000) dev.cuttime = 10000000;
  Terminate(dev.host);
  Terminate(dev.file);
  Terminate(dev.auth);
  Terminate(dev.type);
  Terminate(dev.reserved1);
  Terminate(dev.reserved2);
  Terminate(dev.reserved3);
  Terminate(dev.reserved4);

  AppenderList* kind = searchAppender(dev.type);
  if (kind == nullptr || kind->getAppender == nullptr) return nullptr;
  Appender* app = kind->getAppender(dev);
  if (app == nullptr) return nullptr;

  app->setLayout(dev.layout);
  // A layout of the device's own is owned by the registry from now on (the
  // first layout registered under a device name stays).
  if (dev.layout != nullptr && dev.layout != comlog_get_def_layout()) {
    if (NameMg* mg = comlog_get_nameMg()) {
      Terminate(dev.name);
      mg->set(dev.name, dev.layout);
    }
  }
  app->_open.store(dev.open, std::memory_order_relaxed);
  return app;
}

Appender* AppenderFactory::tryAppender(com_device_t& dev) {
  std::lock_guard<std::recursive_mutex> lock(g_factory_mutex);
  Terminate(dev.type);
  AppenderList* kind = searchAppender(dev.type);
  if (kind == nullptr || kind->tryAppender == nullptr) return nullptr;
  return kind->tryAppender(dev);
}

AppenderFactory::AppenderList* AppenderFactory::get_static_appList() {
  EnsureFactory();
  std::lock_guard<std::mutex> lock(g_list_mutex);
  return g_app_list;
}

void AppenderFactory::set_static_appList(AppenderList* list) {
  EnsureFactory();
  std::lock_guard<std::mutex> lock(g_list_mutex);
  g_app_list = list;
  g_app_tail = list;
  while (g_app_tail != nullptr && g_app_tail->next != nullptr) g_app_tail = g_app_tail->next;
}

}  // namespace comspace
