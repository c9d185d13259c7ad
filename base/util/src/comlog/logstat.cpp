#include "comlog/logstat.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/time.h>

#include <atomic>
#include <memory>
#include <new>

#include "comlog/levels.h"
#include "comlog/xutils.h"
#include "comlog/namemg.h"

namespace comspace {

namespace {

constexpr int kMaxNames = 32;

std::atomic<LogStat*> g_def_logstat{nullptr};

}  // namespace

int LogStat::setLevel(uint32_t mask, const char* names) {
  uint64_t level = mask;
  std::unique_ptr<char[][1024]> list(new (std::nothrow) char[kMaxNames][1024]);
  int n = list ? xparserSelfLog(names, list.get(), kMaxNames) : 0;
  for (int i = 0; i < n; ++i) {
    int id = createSelfLog(list[i]);
    if (id > 31) level |= uint64_t{1} << id;
  }
  if (n == 0) level |= 0xFFFFFFFF00000000ULL;
  _level.store(level, std::memory_order_relaxed);
  return 0;
}

LogStat* LogStat::createLogStat() {
  NameMg* mg = comlog_get_nameMg();
  if (mg == nullptr) return nullptr;
  LogStat* ls = new (std::nothrow) LogStat();
  if (ls == nullptr) return nullptr;
  for (;;) {
    timeval tv;
    gettimeofday(&tv, nullptr);
    char name[64];
    snprintf(name, sizeof(name), "%ld%ld%d", static_cast<long>(tv.tv_sec),
             static_cast<long>(tv.tv_usec), rand());
    int rc = mg->set(name, ls);
    if (rc == 0) return ls;
    if (rc != 1) break;  // no table or no memory; a taken name is drawn again
  }
  delete ls;
  return nullptr;
}

LogStat* comlog_get_def_logstat() { return g_def_logstat.load(std::memory_order_acquire); }

void comlog_set_def_logstat(LogStat* ls) { g_def_logstat.store(ls, std::memory_order_release); }

}  // namespace comspace
