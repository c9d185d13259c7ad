#include "comlog/namemg.h"

#include <stdio.h>
#include <string.h>

#include <atomic>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "comlog/appender/appender.h"
#include "comlog/category.h"
#include "comlog/layout.h"
#include "comlog/logstat.h"
#include "comlog/xutils.h"
#include "comlog/sendsvr/sendsvr.h"
#include "comlog/xsync.h"

namespace comspace {

namespace {

constexpr int kBuckets = 10241;

unsigned int KeyHash(const uint64_t& key) {
  return static_cast<unsigned int>(key) + static_cast<unsigned int>(key >> 32);
}

int KeyEqual(const uint64_t& a, const uint64_t& b) { return a == b ? 0 : 1; }

std::mutex g_namemg_mutex;
std::atomic<NameMg*> g_namemg{nullptr};

}  // namespace

int NameMg::create() {
  RegistryBusy busy;
  xAutoLock lock(&_lock);
  return _hash.create(kBuckets, KeyHash, KeyEqual);
}

uint64_t NameMg::getKey(int type, const char* name) {
  char text[2048];
  snprintf(text, sizeof(text), "%d:%s", type, name != nullptr ? name : "");
  unsigned int sign1 = 0;
  unsigned int sign2 = 0;
  x_creat_sign_f64(text, static_cast<int>(strlen(text)), &sign1, &sign2);
  return static_cast<uint64_t>(sign1) + (static_cast<uint64_t>(sign2) << 32);
}

void* NameMg::get(int type, const char* name) {
  const uint64_t key = getKey(type, name);
  node_t node;
  xAutoLock lock(&_lock);
  return _hash.get(key, &node) == 0 ? node.ptr : nullptr;
}

int NameMg::set(int type, const char* name, void* ptr) {
  const uint64_t key = getKey(type, name);
  RegistryBusy busy;
  xAutoLock lock(&_lock);
  return _hash.set(key, node_t{type, ptr}, 0);
}

template <class Fn>
void NameMg::ForEachOfType(int type, Fn fn) {
  std::vector<void*> found;
  {
    xAutoLock lock(&_lock);
    _hash.list(
        [type, &found](const node_t& node, void*) {
          if (node.type == type) found.push_back(node.ptr);
        },
        nullptr);
  }
  for (void* p : found) fn(p);
}

int NameMg::closeAppender() {
  ForEachOfType(TYPE_APPENDER, [](void* p) { static_cast<Appender*>(p)->stop(); });
  return 0;
}

int NameMg::resetAppender() {
  ForEachOfType(TYPE_APPENDER, [](void* p) { static_cast<Appender*>(p)->reset(); });
  return 0;
}

void NameMg::forEachAppender(void (*fn)(Appender*, void*), void* arg) {
  ForEachOfType(TYPE_APPENDER, [fn, arg](void* p) { fn(static_cast<Appender*>(p), arg); });
}

int NameMg::destroy() {
  std::unordered_set<void*> deleted;
  auto once = [&deleted](void* p) { return p != nullptr && deleted.insert(p).second; };
  ForEachOfType(TYPE_SENDSVR, [&](void* p) {
    if (once(p)) delete static_cast<SendSvr*>(p);
  });
  // A category a thread was handed stays until that thread lets it go too.
  ForEachOfType(TYPE_CATEGORY, [&](void* p) {
    if (once(p)) static_cast<Category*>(p)->release();
  });
  ForEachOfType(TYPE_APPENDER, [&](void* p) {
    if (once(p)) delete static_cast<Appender*>(p);
  });
  ForEachOfType(TYPE_LAYOUT, [&](void* p) {
    if (once(p)) delete static_cast<Layout*>(p);
  });
  ForEachOfType(TYPE_LOGSTAT, [&](void* p) {
    if (once(p)) delete static_cast<LogStat*>(p);
  });
  xAutoLock lock(&_lock);
  _hash.clear();
  return 0;
}

NameMg* comlog_get_nameMg() {
  NameMg* mg = g_namemg.load(std::memory_order_acquire);
  if (mg != nullptr) return mg;
  std::lock_guard<std::mutex> lock(g_namemg_mutex);
  mg = g_namemg.load(std::memory_order_relaxed);
  if (mg == nullptr) {
    mg = new (std::nothrow) NameMg();
    g_namemg.store(mg, std::memory_order_release);
  }
  return mg;
}

void comlog_del_nameMg() { delete comlog_detach_nameMg(); }

NameMg* comlog_detach_nameMg() {
  std::lock_guard<std::mutex> lock(g_namemg_mutex);
  return g_namemg.exchange(nullptr, std::memory_order_acq_rel);
}

}  // namespace comspace
