#include "comlog/xutils.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "comlog/com_device.h"

namespace comspace {

namespace {

// The weight tables: one running value v = 1, each entry v = v * 256 mod p,
// the first table modulo 16777213, the second, continuing, modulo 16777199.
struct PrimeTables {
  unsigned int first[256];
  unsigned int second[256];
};

constexpr PrimeTables MakePrimeTables() {
  PrimeTables t{};
  unsigned long long v = 1;
  for (int i = 0; i < 256; ++i) {
    v = v * 256 % 16777213ULL;
    t.first[i] = static_cast<unsigned int>(v);
  }
  for (int i = 0; i < 256; ++i) {
    v = v * 256 % 16777199ULL;
    t.second[i] = static_cast<unsigned int>(v);
  }
  return t;
}

constexpr PrimeTables kPrimeTables = MakePrimeTables();

unsigned int WeightedSum(const unsigned int* table, const unsigned char* p) {
  unsigned int sum = 0;
  for (unsigned i = 0; p[i] != 0; ++i) sum += static_cast<unsigned int>(p[i]) * table[i & 0xFF];
  return sum;
}

// Little-endian number of the first n (0..4) bytes.
unsigned int LoadLittle(const unsigned char* p, int n) {
  unsigned int v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// The lock-free local time: its switch, and the daylight flag of the
// process's start-up time (the time is taken before main, the flag only when
// the mode is switched on, so that nothing reads the zone files early).
const time_t g_start_time = time(nullptr);
std::atomic<bool> g_nolock_localtime{false};
std::atomic<int> g_start_dst{0};

std::mutex g_tz_mutex;
std::atomic<bool> g_tz_ready{false};
int g_tz_offset = 0;

bool IsLeap(long year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

}  // namespace

const unsigned int (&x_Mod_Prime_List_1)[256] = kPrimeTables.first;
const unsigned int (&x_Mod_Prime_List_2)[256] = kPrimeTables.second;

unsigned int x_getsign_24_1(const char* s) {
  return WeightedSum(kPrimeTables.first, reinterpret_cast<const unsigned char*>(s));
}

unsigned int x_getsign_24_2(const char* s) {
  return WeightedSum(kPrimeTables.second, reinterpret_cast<const unsigned char*>(s));
}

int x_creat_sign_f64(const char* s, int len, unsigned int* sign1, unsigned int* sign2) {
  if (len < 0 || strlen(s) != static_cast<size_t>(len)) {
    fprintf(stderr, "x_creat_sign_f64: length %d differs from the string's\n", len);
    abort();
  }
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  if (len < 5) {
    *sign1 = LoadLittle(p, len);
    *sign2 = 0;
  } else if (len < 9) {
    *sign1 = LoadLittle(p, 4);
    *sign2 = LoadLittle(p + 4, len - 4);
  } else {
    *sign1 = WeightedSum(kPrimeTables.first, p);
    *sign2 = WeightedSum(kPrimeTables.second, p);
  }
  return 1;
}

struct tm* comlog_localtime(const time_t* t, struct tm* out) {
  if (g_nolock_localtime.load(std::memory_order_acquire)) return localtime_nolock(t, out);
  return localtime_r(t, out);
}

void comlog_enable_nolock_localtime() {
  tzset();
  struct tm start;
  if (localtime_r(&g_start_time, &start) != nullptr) {
    g_start_dst.store(start.tm_isdst > 0 ? 1 : 0, std::memory_order_relaxed);
  }
  g_nolock_localtime.store(true, std::memory_order_release);
}

struct tm* localtime_nolock(const time_t* t, struct tm* out) {
  nolocks_localtime(out, *t, timezone, g_start_dst.load(std::memory_order_relaxed));
  return out;
}

void nolocks_localtime(struct tm* out, time_t t, long tz, int dst) {
  long long s = static_cast<long long>(t) - tz + dst * 3600LL;
  if (s < 0) s = 0;
  long long days = s / 86400;
  long long secs = s % 86400;
  out->tm_isdst = dst;
  out->tm_hour = static_cast<int>(secs / 3600);
  out->tm_min = static_cast<int>(secs % 3600 / 60);
  out->tm_sec = static_cast<int>(secs % 60);
  out->tm_wday = static_cast<int>((days + 4) % 7);
  long year = 1970;
  for (;;) {
    int len = IsLeap(year) ? 366 : 365;
    if (days < len) break;
    days -= len;
    ++year;
  }
  out->tm_yday = static_cast<int>(days);
  static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int mon = 0;
  for (; mon < 11; ++mon) {
    int len = kMonthDays[mon] + (mon == 1 && IsLeap(year) ? 1 : 0);
    if (days < len) break;
    days -= len;
  }
  out->tm_mon = mon;
  out->tm_mday = static_cast<int>(days) + 1;
  out->tm_year = static_cast<int>(year - 1900);
}

int xfmtime(char* buf, int size, const timeval& tv) {
  struct tm tm;
  time_t t = tv.tv_sec;
  comlog_localtime(&t, &tm);
  return snprintf(buf, static_cast<size_t>(std::max(size, 0)), "%02d-%02d %02d:%02d:%02d:%03d",
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(tv.tv_usec / 1000));
}

int xfmtime(char* buf, int size, time_t t) {
  struct tm tm;
  comlog_localtime(&t, &tm);
  return snprintf(buf, static_cast<size_t>(std::max(size, 0)), "%02d-%02d %02d:%02d:%02d",
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

int xtimezoneoffset() {
  if (!g_tz_ready.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> lock(g_tz_mutex);
    if (!g_tz_ready.load(std::memory_order_relaxed)) {
      // The signed offset of the zone at time 0, minutes included (a zone
      // west of UTC is behind it, not a day ahead).
      time_t zero = 0;
      struct tm tm;
      g_tz_offset = localtime_r(&zero, &tm) != nullptr ? static_cast<int>(tm.tm_gmtoff) : 0;
      g_tz_ready.store(true, std::memory_order_release);
    }
  }
  return g_tz_offset;
}

time_t xroundtime(const com_device_t& dev, time_t t) {
  if (t == 0) t = time(nullptr) + xtimezoneoffset();
  if (dev.cronocut == 0 || dev.cuttime <= 0) return t;
  const time_t period = static_cast<time_t>(dev.cuttime) * 60;
  return t - t % period;
}

int xstrcpy(char* dst, int size, const char* src, int len) {
  if (dst == nullptr || size < 1) return 0;
  int n = (src == nullptr || len < 0) ? 0 : std::min(len, size - 1);
  if (n > 0) memcpy(dst, src, static_cast<size_t>(n));
  dst[n] = '\0';
  return n;
}

int xstrcpy(char* dst, int size, const char* src) {
  if (size < 1) return 0;
  size_t len = src == nullptr ? 0 : strnlen(src, static_cast<size_t>(size - 1));
  return xstrcpy(dst, size, src, static_cast<int>(len));
}

int xparserSelfLog(const char* list, char names[][1024], int max) {
  if (list == nullptr || names == nullptr) return 0;
  int count = 0;
  const char* p = list;
  while (count < max) {
    while (*p == ' ' || *p == ',') ++p;
    if (*p == '\0') break;
    int n = 0;
    while (*p != '\0' && *p != ' ' && *p != ',' && n < 1023) names[count][n++] = *p++;
    names[count][n] = '\0';
    ++count;
  }
  return count;
}

sighandler_t xsignal(int sig, sighandler_t handler) {
  struct sigaction act;
  struct sigaction old;
  memset(&act, 0, sizeof(act));
  act.sa_handler = handler;
  sigemptyset(&act.sa_mask);
  if (sig == SIGALRM) {
#ifdef SA_INTERRUPT
    act.sa_flags |= SA_INTERRUPT;
#endif
  } else {
    act.sa_flags |= SA_RESTART;
  }
  if (sigaction(sig, &act, &old) < 0) return SIG_ERR;
  return old.sa_handler;
}

void safe_msleep(int ms) {
  if (ms <= 0) return;
  struct timespec ts = {ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

}  // namespace comspace
