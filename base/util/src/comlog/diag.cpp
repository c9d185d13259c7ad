#include "comlog/diag.h"

#include <errno.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "toolkit/errno_keeper.h"
#include "ul_log.h"

namespace comspace {

namespace {

thread_local int t_registry_busy = 0;
thread_local bool t_own_thread = false;

}  // namespace

// The part of a source path below the framework's folder ("comlog.cpp",
// "appender/ttyappender.cpp"); the whole path when the folder is not in it.
const char* com_source_name(const char* file) {
  static const char kRoot[] = "comlog/";
  const char* best = nullptr;
  for (const char* p = strstr(file, kRoot); p != nullptr; p = strstr(p + 1, kRoot)) best = p;
  return best != nullptr ? best + sizeof(kRoot) - 1 : file;
}

void com_mark_own_thread() { t_own_thread = true; }
bool com_is_own_thread() { return t_own_thread; }

RegistryBusy::RegistryBusy() { ++t_registry_busy; }
RegistryBusy::~RegistryBusy() { --t_registry_busy; }

void com_warning(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  if (t_registry_busy == 0) {
    ul_writelog_args(UL_LOG_WARNING, fmt, ap);
  } else {
    char buf[2048];
    vsnprintf(buf, sizeof(buf), fmt, ap);
    fprintf(stderr, "WARNING: %s\n", buf);
    fflush(stderr);
  }
  va_end(ap);
}

void com_diag(const char* file, int line, const char* fmt, ...) {
  toolkit::ErrnoKeeper keep;  // for "%m" in fmt, and for the caller
  char buf[4096];
  int n = snprintf(buf, sizeof(buf), "[%ld][%ld][%s:%d]", static_cast<long>(getpid()),
                   static_cast<long>(pthread_self()), com_source_name(file), line);
  if (n < 0) n = 0;
  if (n < static_cast<int>(sizeof(buf))) {
    va_list ap;
    va_start(ap, fmt);
    errno = keep.no();
    int m = vsnprintf(buf + n, sizeof(buf) - n, fmt, ap);
    va_end(ap);
    if (m > 0) n += m;
  }
  if (n > static_cast<int>(sizeof(buf)) - 2) n = static_cast<int>(sizeof(buf)) - 2;
  buf[n++] = '\n';
  buf[n] = '\0';
  fwrite(buf, 1, static_cast<size_t>(n), stderr);
  fflush(stderr);
}

}  // namespace comspace
