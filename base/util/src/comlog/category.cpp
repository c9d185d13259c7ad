#include "comlog/category.h"

#include <stdio.h>
#include <string.h>
#include <sys/time.h>

#include <new>
#include <string>

#include "comlog/appender/appender.h"
#include "comlog/comlog_internal.h"
#include "comlog/event.h"
#include "comlog/logstat.h"
#include "comlog/xutils.h"
#include "comlog/diag.h"
#include "comlog/namemg.h"
#include "comlog/write_gate.h"

namespace comspace {

comlog_callback_t Category::_g_callback = nullptr;
void* Category::_g_callback_param = nullptr;

namespace {

const char kLostMessage[] = "comlog: one message was lost because vsnprintf failed";

}  // namespace

Category::~Category() = default;

Category* Category::getInstance(const char* name) { return getInstance(name, nullptr); }

Category* Category::getInstance(const char* name, Category* reuse) {
  if (name == nullptr || name[0] == '.') return nullptr;
  NameMg* mg = comlog_get_nameMg();
  if (mg == nullptr) return nullptr;
  if (auto* found = static_cast<Category*>(mg->get(NameMg::TYPE_CATEGORY, name))) return found;

  // The parent is the name before the last '.', when there is one past the
  // first character; it is made first.
  Category* parent = nullptr;
  const char* dot = strrchr(name, '.');
  if (dot != nullptr && dot != name) {
    const std::string parent_name(name, static_cast<size_t>(dot - name));
    parent = getInstance(parent_name.c_str());
    if (parent == nullptr) {
      COMLOG_DIAG("get father err [%s] with father[%s]", name, parent_name.c_str());
      return nullptr;
    }
  }

  Category* c = reuse != nullptr ? reuse : new (std::nothrow) Category();
  if (c == nullptr) return nullptr;
  c->Init(parent);
  const int rc = mg->set(name, c);
  if (rc == 0) {
    if (c == reuse) c->hold();  // the registry's hold (a new one starts with it)
    return c;
  }
  if (c == reuse) {
    reuse->_opening = 0;  // of no opening: its thread's record keeps it
  } else {
    delete c;
  }
  // Another thread registered the name first: that one is the category.
  return rc == 1 ? static_cast<Category*>(mg->get(NameMg::TYPE_CATEGORY, name)) : nullptr;
}

void Category::Init(Category* parent) {
  _parent = parent;
  _event = nullptr;
  if (parent != nullptr) {
    _logstat = parent->_logstat;
    _appnum = parent->_appnum;
    memcpy(_appenders, parent->_appenders, sizeof(Appender*) * static_cast<size_t>(parent->_appnum));
  } else {
    _logstat = comlog_get_def_logstat();
    _appnum = 0;
  }
  memset(_appender_mask, 0, sizeof(_appender_mask));
  _mask_flag = 0;
  _opening = comlog_opening();
}

void Category::hold() { _holds.fetch_add(1, std::memory_order_relaxed); }

void Category::release() {
  if (_holds.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

bool Category::isCurrent() const { return _opening == comlog_opening(); }

int Category::setLogStat(LogStat* ls) {
  _logstat = ls != nullptr ? ls : comlog_get_def_logstat();
  return 0;
}

int Category::addAppender(Appender* app) {
  if (app == nullptr) return -1;
  for (int i = 0; i < _appnum; ++i) {
    if (_appenders[i] == app) return 0;
  }
  if (_appnum >= COMLOG_MAX_APPENDER) return -1;
  _appender_mask[_appnum] = 0;
  _appenders[_appnum++] = app;
  return 0;
}

int Category::removeAppender(Appender* app) {
  for (int i = 0; i < _appnum; ++i) {
    if (_appenders[i] != app) continue;
    for (int j = i + 1; j < _appnum; ++j) {
      _appenders[j - 1] = _appenders[j];
      _appender_mask[j - 1] = _appender_mask[j];
    }
    --_appnum;
    return 0;
  }
  return -1;
}

int Category::clearAppender() {
  _appnum = 0;
  return 0;
}

int Category::addAppenderMask(const char* type) {
  GateScope gate;
  if (!isCurrent()) return -1;  // its appenders are gone
  if (_mask_flag != 0) return 0;
  for (int i = 0; i < _appnum; ++i) {
    if (type != nullptr && strcmp(_appenders[i]->_device.type, type) == 0) _appender_mask[i] = 1;
  }
  _mask_flag = 1;
  return 0;
}

Event* Category::CurrentEvent() { return _event != nullptr ? _event : Event::getEvent(); }

int Category::Dispatch(Event* evt) {
  const int level = static_cast<int>(evt->_log_level);
  int handed = 0;
  int failed = 0;
  for (int i = 0; i < _appnum; ++i) {
    Appender* app = _appenders[i];
    if (app->_open.load(std::memory_order_relaxed) == 0) continue;
    if (_appender_mask[i] != 0) app = app->_bkappender;
    if (app == nullptr) continue;
    // Every appender is called, as it always was (it filters by its mask);
    // one whose mask refuses the level is not counted as written to.
    const bool counted = !app->unInMask(level);
    const int rc = app->print(evt);
    if (!counted) continue;
    ++handed;
    if (rc != 0) ++failed;
  }
  return handed > 0 && failed == handed ? -1 : 0;
}

int Category::print(unsigned int level, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int rc = print(level, fmt, ap);
  va_end(ap);
  return rc;
}

int Category::print(unsigned int level, const char* fmt, va_list args) {
  GateScope gate;
  if (!isCurrent()) return -1;  // its filter and appenders are gone
  if (_logstat == nullptr) _logstat = comlog_get_def_logstat();
  if (_logstat == nullptr || _logstat->unAccept(level)) return 0;
  if (_g_callback != nullptr) {
    va_list copy;
    va_copy(copy, args);
    _g_callback(static_cast<int>(level), fmt, copy, _g_callback_param);
    va_end(copy);
  }
  Event* evt = CurrentEvent();
  if (evt == nullptr) return -1;
  gettimeofday(&evt->_print_time, nullptr);
  evt->_log_level = level;
  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(evt->_msgbuf, static_cast<size_t>(evt->_msgbuf_size), fmt, copy);
  va_end(copy);
  if (n < 0) n = xstrcpy(evt->_msgbuf, evt->_msgbuf_size, kLostMessage);
  if (n >= evt->_msgbuf_size) n = evt->_msgbuf_size - 1;
  evt->_msgbuf_len = n;
  const int rc = Dispatch(evt);
  evt->reset();
  return rc;
}

Category* Category::setLogInfo(unsigned int level) {
  GateScope gate;
  const bool current = isCurrent();
  if (current && _logstat == nullptr) _logstat = comlog_get_def_logstat();
  if (_event == nullptr) _event = Event::getEvent();
  if (_event == nullptr) return this;
  if (current && (_logstat == nullptr || _logstat->unAccept(level))) {
    // A refused line: what is appended until its flush is dropped.
    if (_event->_msgbuf_len == 0) _event->_stream_refused = true;
    return this;
  }
  if (_event->_msgbuf_len == 0) {
    _event->_stream_refused = false;
    gettimeofday(&_event->_print_time, nullptr);
    _event->_log_level = level;
  }
  return this;
}

Category& Category::Append(const char* fmt, ...) {
  Event* evt = _event;
  if (evt == nullptr || evt->_stream_refused) return *this;
  for (;;) {
    const int room = evt->_msgbuf_size - evt->_msgbuf_len;
    va_list ap;
    va_start(ap, fmt);
    const int n = vsnprintf(evt->_msgbuf + evt->_msgbuf_len, static_cast<size_t>(room), fmt, ap);
    va_end(ap);
    if (n < 0) {
      evt->_msgbuf[evt->_msgbuf_len] = '\0';
      return *this;
    }
    if (n < room) {
      evt->_msgbuf_len += n;
      return *this;
    }
    if (evt->resize() != 0) {
      evt->_msgbuf[evt->_msgbuf_len] = '\0';
      return *this;
    }
  }
}

int Category::flush() {
  GateScope gate;
  Event* evt = _event;
  if (evt == nullptr) return -1;
  if (!isCurrent()) {
    evt->reset();
    return -1;
  }
  // Appends keep the text below the buffer size.
  const int rc = evt->_stream_refused ? 0 : Dispatch(evt);
  evt->reset();
  return rc;
}

Category& Category::operator<<(const char* v) { return v != nullptr ? Append("%s", v) : *this; }
Category& Category::operator<<(const unsigned char* v) {
  return v != nullptr ? Append("%s", reinterpret_cast<const char*>(v)) : *this;
}
Category& Category::operator<<(const void* v) { return v != nullptr ? Append("%p", v) : Append("(null)"); }
Category& Category::operator<<(unsigned char v) { return Append("%hhu", v); }
Category& Category::operator<<(char v) { return Append("%c", v); }
Category& Category::operator<<(unsigned short v) { return Append("%hu", v); }
Category& Category::operator<<(short v) { return Append("%hd", v); }
Category& Category::operator<<(unsigned int v) { return Append("%u", v); }
Category& Category::operator<<(int v) { return Append("%d", v); }
Category& Category::operator<<(unsigned long v) { return Append("%lu", v); }
Category& Category::operator<<(long v) { return Append("%ld", v); }
Category& Category::operator<<(unsigned long long v) { return Append("%llu", v); }
Category& Category::operator<<(long long v) { return Append("%lld", v); }
Category& Category::operator<<(float v) { return Append("%f", static_cast<double>(v)); }
Category& Category::operator<<(double v) { return Append("%lf", v); }
Category& Category::operator<<(long double v) { return Append("%Lf", v); }

Category::Push& Category::Push::operator()(const char* key, const char* fmt, ...) {
  char value[COMLOG_NDC_LEN];
  va_list ap;
  va_start(ap, fmt);
  if (vsnprintf(value, sizeof(value), fmt, ap) < 0) value[0] = '\0';
  va_end(ap);
  Event* evt = _cate->CurrentEvent();
  if (evt != nullptr) evt->push(key, value);
  return *this;
}

Category::Push& Category::Push::operator()(int level, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  _cate->print(static_cast<unsigned int>(level), fmt, ap);
  va_end(ap);
  return *this;
}

}  // namespace comspace
