#include "comlog/layout.h"

#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "comlog/event.h"
#include "comlog/levels.h"
#include "comlog/xutils.h"

namespace comspace {

char comlog_time_format[128] = "";

namespace {

const char kDefaultPattern[] = "%L: %D:  %P * %T %R";
const char kDefaultNdcPattern[] = "%K:%V,";

std::mutex g_def_layout_mutex;
std::atomic<Layout*> g_def_layout{nullptr};

// Local time of the last second this thread formatted: lines of one second
// share one conversion.
struct TimeCache {
  time_t sec = -1;
  struct tm tm;
};
thread_local TimeCache t_time_cache;

const struct tm& LocalTime(time_t sec) {
  TimeCache& c = t_time_cache;
  if (c.sec != sec) {
    if (comlog_localtime(&sec, &c.tm) == nullptr) memset(&c.tm, 0, sizeof(c.tm));
    c.sec = sec;
  }
  return c.tm;
}

// Writes the rendered line into [p, end): pieces are copied while they fit;
// the first that does not is cut at end and stops the walk.
class LineWriter {
 public:
  LineWriter(char* buf, int limit) : p_(buf), begin_(buf), end_(buf + limit) {}
  bool full() const { return full_; }
  char* pos() const { return p_; }
  int room() const { return static_cast<int>(end_ - p_); }
  size_t length() const { return static_cast<size_t>(p_ - begin_); }
  void Advance(int n) { p_ += n; }
  void MarkFull() { full_ = true; }

  void Put(const char* s, size_t n) {
    size_t r = static_cast<size_t>(end_ - p_);
    if (n > r) {
      n = r;
      full_ = true;
    }
    memcpy(p_, s, n);
    p_ += n;
  }
  void Put(const char* s) { Put(s, strlen(s)); }
  void PutChar(char c) {
    if (p_ == end_) {
      full_ = true;
      return;
    }
    *p_++ = c;
  }
  void PutUnsigned(unsigned long v) {
    char tmp[24];
    char* q = tmp + sizeof(tmp);
    do {
      *--q = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    Put(q, static_cast<size_t>(tmp + sizeof(tmp) - q));
  }
  // "%02d" of v (0..99), as the time fields print.
  void Put2(int v) {
    char two[2] = {static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10)};
    Put(two, 2);
  }

 private:
  char* p_;
  char* begin_;
  char* end_;
  bool full_ = false;
};

// "MM-DD hh:mm:ss" ("%02d-%02d %02d:%02d:%02d") of a broken-down time, whose
// fields are two-digit numbers.
void PutDate(LineWriter* w, const struct tm& tm) {
  char s[14] = {0, 0, '-', 0, 0, ' ', 0, 0, ':', 0, 0, ':', 0, 0};
  const int f[5] = {tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  for (int i = 0; i < 5; ++i) {
    s[i * 3] = static_cast<char>('0' + f[i] / 10 % 10);
    s[i * 3 + 1] = static_cast<char>('0' + f[i] % 10);
  }
  w->Put(s, sizeof(s));
}

}  // namespace

Layout::Layout() {
  xstrcpy(_pattern, sizeof(_pattern), kDefaultPattern);
  xstrcpy(_ndc_pattern, sizeof(_ndc_pattern), kDefaultNdcPattern);
}

Layout::~Layout() = default;

int Layout::setPattern(const char* pattern, const char* ndc_pattern) {
  setPattern(pattern);
  return setNdcPattern(ndc_pattern);
}

int Layout::setPattern(const char* pattern) {
  xstrcpy(_pattern, sizeof(_pattern), pattern);
  return 0;
}

int Layout::setNdcPattern(const char* ndc_pattern) {
  xstrcpy(_ndc_pattern, sizeof(_ndc_pattern), ndc_pattern);
  return 0;
}

int Layout::setTimeFormat(const char* format) {
  xstrcpy(comlog_time_format, sizeof(comlog_time_format), format);
  return 0;
}

int Layout::format(Event* evt) {
  const int size = evt->_render_msgbuf_size;
  if (size < 2) return -1;
  // Text fills at most size - 1 bytes; the newline and the NUL follow.
  LineWriter w(evt->_render_msgbuf, size - 1);
  if (evt->_log_version >= 0 && evt->_log_type[0] != '\0') {
    w.PutUnsigned(static_cast<unsigned long>(evt->_log_version));
    w.PutChar(' ');
    w.Put(evt->_log_type);
    w.PutChar(' ');
  }
  for (const char* p = _pattern; *p != '\0' && !w.full(); ++p) {
    if (*p != '%') {
      w.PutChar(*p);
      continue;
    }
    const char code = *++p;
    if (code == '\0') break;
    switch (code) {
      case 'A': {
        PutDate(&w, LocalTime(evt->_print_time.tv_sec));
        char ms[4] = {':', 0, 0, 0};
        const long v = evt->_print_time.tv_usec / 1000 % 1000;
        ms[1] = static_cast<char>('0' + v / 100);
        ms[2] = static_cast<char>('0' + v / 10 % 10);
        ms[3] = static_cast<char>('0' + v % 10);
        w.Put(ms, sizeof(ms));
        break;
      }
      case 'D':
        PutDate(&w, LocalTime(evt->_print_time.tv_sec));
        break;
      case 'H': {
        char host[128];
        if (gethostname(host, sizeof(host)) != 0) host[0] = '\0';
        host[sizeof(host) - 1] = '\0';
        w.Put(host);
        break;
      }
      case 'L':
        w.Put(getLogName(evt->_log_level));
        break;
      case 'N': {
        const int room = w.room();
        const int n = fmtpattern(evt, w.pos(), room + 1);
        if (n > 0) w.Advance(n > room ? room : n);
        if (n >= room) w.MarkFull();
        break;
      }
      case 'P':
        w.Put(evt->_proc_name);
        break;
      case 'R':
        w.Put(evt->_msgbuf, static_cast<size_t>(evt->_msgbuf_len));
        break;
      case 'T':
        w.PutUnsigned(static_cast<unsigned int>(evt->_thread_id));
        break;
      case 'U':
        w.PutUnsigned(static_cast<unsigned long>(evt->_print_time.tv_usec / 1000));
        break;
      case 'Y': {
        char text[1024];
        const size_t n = strftime(text, sizeof(text), comlog_time_format,
                                  &LocalTime(evt->_print_time.tv_sec));
        w.Put(text, n);
        break;
      }
      default:
        break;
    }
  }
  size_t len = w.length();
  if (len >= static_cast<size_t>(size - 1)) len = static_cast<size_t>(size - 2);
  evt->_render_msgbuf[len++] = '\n';
  evt->_render_msgbuf[len] = '\0';
  evt->_render_msgbuf_len = static_cast<int>(len);
  return 0;
}

int Layout::fmtpattern(Event* evt, char* buf, int size) {
  if (size < 1) return 0;
  const int limit = size - 1;
  int pos = 0;
  // A key, a value or "%" that does not fit is cut and ends the text.
  auto put = [&](const char* s) {
    const int n = static_cast<int>(strlen(s));
    if (n > limit - pos) {
      memcpy(buf + pos, s, static_cast<size_t>(limit - pos));
      buf[limit] = '\0';
      return false;
    }
    memcpy(buf + pos, s, static_cast<size_t>(n));
    pos += n;
    return true;
  };
  for (int i = 0; i < evt->_ndc_num; ++i) {
    for (const char* p = _ndc_pattern; *p != '\0'; ++p) {
      if (*p != '%') {
        if (pos >= limit) {
          buf[limit] = '\0';
          return 0;
        }
        buf[pos++] = *p;
        continue;
      }
      const char code = *++p;
      if (code == '\0') break;
      const char* piece = code == 'K'   ? evt->_ndcs[i].key
                          : code == 'V' ? evt->_ndcs[i].value
                          : code == '%' ? "%"
                                        : "";
      if (!put(piece)) return limit;
    }
  }
  buf[pos] = '\0';
  return pos;
}

Layout* comlog_get_def_layout() {
  Layout* l = g_def_layout.load(std::memory_order_acquire);
  if (l != nullptr) return l;
  std::lock_guard<std::mutex> lock(g_def_layout_mutex);
  l = g_def_layout.load(std::memory_order_relaxed);
  if (l == nullptr) {
    l = new (std::nothrow) Layout();
    g_def_layout.store(l, std::memory_order_release);
  }
  return l;
}

void comlog_del_def_layout() {
  std::lock_guard<std::mutex> lock(g_def_layout_mutex);
  delete g_def_layout.exchange(nullptr, std::memory_order_acq_rel);
}

}  // namespace comspace
