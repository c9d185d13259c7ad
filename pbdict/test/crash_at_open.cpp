// Preloaded (LD_PRELOAD) into a program under test: counts the program's
// file opens and renames and kills the process with SIGKILL just before the
// one whose number (from 1) PBDICT_KILL_AT_OPEN gives, so a test can stop a
// writer at every open and every rename it makes, without a line of the
// program changed. Unset or 0: nothing is killed. Opens made inside the C
// library (by fopen, for one) are counted once, at the call the program
// made. PBDICT_REFUSE_RENAMES lists renames, by their numbers among the
// program's renames (from 1, separated by commas), that fail with EPERM
// instead, as a sticky folder refuses to replace a file of another user.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/types.h>

#include <atomic>

namespace {

std::atomic<long> g_opens{0};
std::atomic<long> g_renames{0};

long KillAt() {
  static const long at = [] {
    const char* e = getenv("PBDICT_KILL_AT_OPEN");
    return e != nullptr ? atol(e) : 0L;
  }();
  return at;
}

void CountOpen() {
  if (++g_opens == KillAt()) raise(SIGKILL);
}

// Whether the rename numbered at is listed in PBDICT_REFUSE_RENAMES.
bool Refused(long at) {
  const char* e = getenv("PBDICT_REFUSE_RENAMES");
  while (e != nullptr && *e != '\0') {
    char* end = nullptr;
    if (strtol(e, &end, 10) == at) return true;
    e = *end == ',' ? end + 1 : nullptr;
  }
  return false;
}

template <class Fn>
Fn Next(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

mode_t ModeOf(int flags, va_list ap) {
  return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(ap, int)) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = ModeOf(flags, ap);
  va_end(ap);
  CountOpen();
  static const auto real = Next<int (*)(const char*, int, ...)>("open");
  return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = ModeOf(flags, ap);
  va_end(ap);
  CountOpen();
  static const auto real = Next<int (*)(const char*, int, ...)>("open64");
  return real(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = ModeOf(flags, ap);
  va_end(ap);
  CountOpen();
  static const auto real = Next<int (*)(int, const char*, int, ...)>("openat");
  return real(dir, path, flags, mode);
}

FILE* fopen(const char* path, const char* how) {
  CountOpen();
  static const auto real = Next<FILE* (*)(const char*, const char*)>("fopen");
  return real(path, how);
}

FILE* fopen64(const char* path, const char* how) {
  CountOpen();
  static const auto real = Next<FILE* (*)(const char*, const char*)>("fopen64");
  return real(path, how);
}

int rename(const char* from, const char* to) {
  CountOpen();
  if (Refused(++g_renames)) {
    errno = EPERM;
    return -1;
  }
  static const auto real = Next<int (*)(const char*, const char*)>("rename");
  return real(from, to);
}

}  // extern "C"
