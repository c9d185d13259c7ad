#include "comlog/levels.h"

#include <string.h>

#include <atomic>

#include "comlog/comlog_internal.h"
#include "comlog/xutils.h"

namespace comspace {

namespace {

constexpr int kNameSize = 1024;

// Names are written once, under g_seflog_lock, before g_seflog moves past
// them; readers see only ids below g_seflog, so they read without the lock.
char g_levelName[COMLOG_LEVEL_NUM][kNameSize] = {
    "", "FATAL", "WARNING", "", "NOTICE", "", "", "", "TRACE", "", "", "", "", "", "", "", "DEBUG",
};
std::atomic<int> g_seflog{COMLOG_SELF_FIRST};

}  // namespace

pthread_mutex_t g_seflog_lock = PTHREAD_MUTEX_INITIALIZER;

const char* getLogName(unsigned int id) { return g_levelName[id & (COMLOG_LEVEL_NUM - 1)]; }

int getLogId(const char* name) {
  if (name == nullptr) return 0;
  const int end = g_seflog.load(std::memory_order_acquire);
  for (int id = 0; id < end; ++id) {
    if (g_levelName[id][0] != '\0' && strcmp(g_levelName[id], name) == 0) return id;
  }
  return 0;
}

int createSelfLog(const char* name) {
  if (name == nullptr || name[0] == '\0') return 0;
  xAutoLock lock(&g_seflog_lock);
  int id = getLogId(name);
  if (id != 0) return id;
  const int next = g_seflog.load(std::memory_order_relaxed);
  if (next >= COMLOG_LEVEL_NUM) return 0;
  xstrcpy(g_levelName[next], kNameSize, name);
  g_seflog.store(next + 1, std::memory_order_release);
  return next;
}

}  // namespace comspace
