#include "comlog/event.h"

#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "comlog/comlog_internal.h"
#include "comlog/xutils.h"
#include "toolkit/thread_slot.h"

namespace comspace {

namespace {

std::atomic<int> g_max_msgsize{COMLOG_DEFAULT_BUF};
std::atomic<int> g_max_render_msgsize{COMLOG_DEFAULT_BUF};

// The key of every thread's Event; made on first use, made again by
// reset_event_key.
std::mutex g_key_mutex;
toolkit::ThreadSlot<Event> g_event_key;

void FreeEvent(void* p) { delete static_cast<Event*>(p); }

bool EnsureEventKey() {
  if (g_event_key.created()) return true;
  std::lock_guard<std::mutex> lock(g_key_mutex);
  return g_event_key.Create(FreeEvent) == 0;
}

}  // namespace

Event* Event::Create() {
  Event* e = new (std::nothrow) Event();
  if (e == nullptr) return nullptr;
  e->_msgbuf_size = g_max_msgsize.load(std::memory_order_relaxed);
  e->_render_msgbuf_size = g_max_render_msgsize.load(std::memory_order_relaxed);
  e->_msgbuf = static_cast<char*>(malloc(static_cast<size_t>(e->_msgbuf_size)));
  e->_render_msgbuf = static_cast<char*>(malloc(static_cast<size_t>(e->_render_msgbuf_size)));
  if (e->_msgbuf == nullptr || e->_render_msgbuf == nullptr) {
    delete e;
    return nullptr;
  }
  e->reset();
  e->_thread_id = static_cast<pthread_t>(syscall(SYS_gettid));
  return e;
}

Event* Event::getEvent() {
  if (!EnsureEventKey()) return nullptr;
  Event* e = g_event_key.Get();
  if (e != nullptr) return e;
  e = Create();
  if (e != nullptr && g_event_key.Set(e) != 0) {
    delete e;
    e = nullptr;
  }
  return e;
}

Event::~Event() {
  free(_msgbuf);
  free(_render_msgbuf);
}

int Event::push(const char* key, const char* value) {
  if (_ndc_num >= COMLOG_NDC_NUM) return -1;
  xstrcpy(_ndcs[_ndc_num].key, COMLOG_NDC_LEN, key);
  xstrcpy(_ndcs[_ndc_num].value, COMLOG_NDC_LEN, value);
  ++_ndc_num;
  return 0;
}

void Event::reset() {
  _ndc_num = 0;
  _msgbuf_len = 0;
  _render_msgbuf_len = 0;
  _msgbuf[0] = '\0';
  _render_msgbuf[0] = '\0';
  _nowapp = nullptr;
  _log_version = -1;
  _log_type[0] = '\0';
  _stream_refused = false;
}

int Event::resize() {
  if (_msgbuf_size > COMLOG_MAX_BUF / 2 || _render_msgbuf_size > COMLOG_MAX_BUF / 2) return -1;
  const int msg_size = _msgbuf_size * 2;
  const int render_size = _render_msgbuf_size * 2;
  char* msg = static_cast<char*>(malloc(static_cast<size_t>(msg_size)));
  char* render = static_cast<char*>(malloc(static_cast<size_t>(render_size)));
  if (msg == nullptr || render == nullptr) {
    free(msg);
    free(render);
    return -2;
  }
  memcpy(msg, _msgbuf, static_cast<size_t>(_msgbuf_size));
  memcpy(render, _render_msgbuf, static_cast<size_t>(_render_msgbuf_size));
  free(_msgbuf);
  free(_render_msgbuf);
  _msgbuf = msg;
  _render_msgbuf = render;
  _msgbuf_size = msg_size;
  _render_msgbuf_size = render_size;
  return 0;
}

int Event::setLogVersion(int version) {
  _log_version = version;
  return 0;
}

int Event::setLogType(const char* type) {
  xstrcpy(_log_type, sizeof(_log_type), type);
  return 0;
}

int Event::setMaxLogLength(int n) {
  // Never past the largest size a resize makes: a configured length must not
  // cost every thread gigabytes.
  const int size = n > 8 ? (n < COMLOG_MAX_BUF ? n : COMLOG_MAX_BUF) : COMLOG_DEFAULT_BUF;
  g_max_msgsize.store(size, std::memory_order_relaxed);
  g_max_render_msgsize.store(size, std::memory_order_relaxed);
  return size;
}

void Event::reset_event_key() {
  std::lock_guard<std::mutex> lock(g_key_mutex);
  // The calling thread's Event stays its own (its record may hold it, as a
  // pointer com_getevent handed out may): it moves into the new key, and is
  // never freed while a record may point to it.
  Event* mine = g_event_key.Get();
  g_event_key.Set(nullptr);
  g_event_key.Delete();
  if (mine != nullptr && g_event_key.Create(FreeEvent) == 0) g_event_key.Set(mine);
}

}  // namespace comspace

namespace comspace {

void comlog_refit_event(Event* e) {
  const int msg_size = g_max_msgsize.load(std::memory_order_relaxed);
  const int render_size = g_max_render_msgsize.load(std::memory_order_relaxed);
  if (e->_msgbuf_len != 0 || e->_stream_refused ||
      (e->_msgbuf_size == msg_size && e->_render_msgbuf_size == render_size)) {
    return;
  }
  char* msg = static_cast<char*>(malloc(static_cast<size_t>(msg_size)));
  char* render = static_cast<char*>(malloc(static_cast<size_t>(render_size)));
  if (msg == nullptr || render == nullptr) {
    free(msg);
    free(render);
    return;
  }
  free(e->_msgbuf);
  free(e->_render_msgbuf);
  e->_msgbuf = msg;
  e->_render_msgbuf = render;
  e->_msgbuf_size = msg_size;
  e->_render_msgbuf_size = render_size;
  e->_msgbuf[0] = '\0';
  e->_render_msgbuf[0] = '\0';
  e->_render_msgbuf_len = 0;
}

}  // namespace comspace
