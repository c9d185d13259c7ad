#include "comlog/event.h"

#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "comlog/xutils.h"

namespace comspace {

namespace {

std::atomic<int> g_max_msgsize{COMLOG_DEFAULT_BUF};
std::atomic<int> g_max_render_msgsize{COMLOG_DEFAULT_BUF};

// The key of every thread's Event; made on first use, made again by
// reset_event_key.
std::mutex g_key_mutex;
pthread_key_t g_event_key;
std::atomic<bool> g_key_ready{false};

void FreeEvent(void* p) { delete static_cast<Event*>(p); }

bool EventKey(pthread_key_t* key) {
  if (!g_key_ready.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> lock(g_key_mutex);
    if (!g_key_ready.load(std::memory_order_relaxed)) {
      if (pthread_key_create(&g_event_key, FreeEvent) != 0) return false;
      g_key_ready.store(true, std::memory_order_release);
    }
  }
  *key = g_event_key;
  return true;
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
  pthread_key_t key;
  if (!EventKey(&key)) return nullptr;
  Event* e = static_cast<Event*>(pthread_getspecific(key));
  if (e != nullptr) return e;
  e = Create();
  if (e != nullptr && pthread_setspecific(key, e) != 0) {
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
  if (!g_key_ready.load(std::memory_order_relaxed)) return;
  delete static_cast<Event*>(pthread_getspecific(g_event_key));
  pthread_setspecific(g_event_key, nullptr);
  pthread_key_delete(g_event_key);
  g_key_ready.store(false, std::memory_order_release);
}

}  // namespace comspace

namespace comspace {

void comlog_free_thread_event() {
  pthread_key_t key;
  if (!g_key_ready.load(std::memory_order_acquire) || !EventKey(&key)) return;
  delete static_cast<Event*>(pthread_getspecific(key));
  pthread_setspecific(key, nullptr);
}

}  // namespace comspace
