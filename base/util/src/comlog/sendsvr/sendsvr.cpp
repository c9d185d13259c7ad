#include "comlog/sendsvr/sendsvr.h"

#include <ctype.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <mutex>

#include "comlog/diag.h"
#include "comlog/xsync.h"
#include "comlog/xutils.h"
#include "ul_net.h"

namespace comspace {

namespace {

constexpr int kMaxHost = 1023;
constexpr int kMaxPath = 255;
constexpr int kMaxPort = 65535;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The framework's background threads write to sockets whose peer may have
// gone: a write must fail with EPIPE there, not end the process.
void BlockSigpipe() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

}  // namespace

int xparserSvrConf(const char* list, server_t* out, int max) {
  if (list == nullptr || out == nullptr || max <= 0) return 0;
  const char* p = list;
  int n = 0;
  while (*p != '\0' && n < max) {
    while (IsBlank(*p)) ++p;
    if (*p == '\0') break;
    const char* host = p;
    while (*p != '\0' && *p != ':') ++p;
    const long host_len = p - host;
    if (host_len > kMaxHost) {
      COMLOG_DIAG("host len is too long[%ld]", host_len);
      return 0;
    }
    if (*p != ':') {
      COMLOG_DIAG("parser port err");
      return 0;
    }
    ++p;
    // The digits are summed with a cap, so a long run cannot overflow.
    int port = 0;
    while (isdigit(static_cast<unsigned char>(*p))) {
      if (port <= kMaxPort) port = port * 10 + (*p - '0');
      ++p;
    }
    if (port < 1 || port > kMaxPort) {
      COMLOG_DIAG("invalid port[%d]", port);
      return 0;
    }
    server_t& s = out[n];
    memcpy(s.host, host, static_cast<size_t>(host_len));
    s.host[host_len] = '\0';
    s.path[0] = '\0';
    s.port = port;
    s.sock = -1;
    s.isvalid = false;
    if (*p == '/') {
      const char* path = ++p;
      while (*p != '\0' && !IsBlank(*p)) ++p;
      const long path_len = p - path;
      if (path_len > kMaxPath) {
        COMLOG_DIAG("path lenth is too long[%ld]", path_len);
        return 0;
      }
      memcpy(s.path, path, static_cast<size_t>(path_len));
      s.path[path_len] = '\0';
    }
    ++n;
    if (*p == '\0') return n;
    ++p;
  }
  return n;
}

// ---------------------------------------------------------------------------
// SendSvr

SendSvr::SendSvr() {
  memset(_readbuf, 0, sizeof(_readbuf));
  memset(_inappender, 0, sizeof(_inappender));
  memset(_sendbuf, 0, sizeof(_sendbuf));
  for (server_t& s : _svrs) {
    s.host[0] = '\0';
    s.path[0] = '\0';
    s.port = 0;
    s.sock = -1;
    s.isvalid = false;
  }
}

SendSvr::~SendSvr() {
  // A derived sender stops its thread first (the thread calls its run);
  // both steps are idempotent. Stopped first, the sender makes the checker's
  // connect loop on it end, which the unregistering waits for.
  stop();
  if (_registered) comlog_get_gcheckSvr()->unregisterServer(this);
  {
    xAutoLock lock(&_lock);
    for (int i = 0; i < _svrsiz; ++i) close_safe(i);
  }
  int n;
  while ((n = _queue.drain(_readbuf, SENDSVR_BATCH)) > 0) erasedata(n);
}

int SendSvr::createServer(const char* list, bool check) {
  if (list == nullptr) return -1;
  if (initServer(list) != 0) return -1;
  if (check) {
    if (checkalive(_coto) != 0) COMLOG_DIAG("can't find valid server");
    if (comlog_get_gcheckSvr()->registerServer(this) != 0) return -1;
    _registered = true;
  }
  if (_queue.create(SENDSVR_QUEUE_SIZE) != 0) {
    COMLOG_DIAG("create queue error");
    return -1;
  }
  _run.store(1, std::memory_order_release);
  if (!_thread.Start([this](const toolkit::StopToken& token) { ThreadBody(token); })) {
    _run.store(0, std::memory_order_release);
    COMLOG_DIAG("Failed to create new thread for SendSvr [%s]", _name);
    return -1;
  }
  return 0;
}

void SendSvr::ThreadBody(const toolkit::StopToken& token) {
  com_mark_own_thread();
  BlockSigpipe();
  while (isRun() && !token.stop_requested()) run();
}

int SendSvr::erasedata(int n) {
  for (int i = 0; i < n && i < SENDSVR_BATCH; ++i) {
    free(_readbuf[i]);
    _readbuf[i] = nullptr;
  }
  return 0;
}

int SendSvr::stop() {
  stop_connecting();
  if (_run.exchange(0, std::memory_order_acq_rel) != 0) _queue.stop_working();
  _thread.Stop();
  return 0;
}

int SendSvr::registAppender(Appender* app) {
  if (app == nullptr) return -1;
  xAutoLock lock(&_lock);
  const int n = _inappsize.load(std::memory_order_relaxed);
  for (int i = 0; i < n; ++i) {
    if (_inappender[i] == app) return 0;
  }
  if (n >= SENDSVR_MAX_APPENDERS) return -1;
  _inappender[n] = app;
  _inappsize.store(n + 1, std::memory_order_relaxed);
  return 0;
}

int SendSvr::unregistAppender(Appender* app) {
  xAutoLock lock(&_lock);
  const int n = _inappsize.load(std::memory_order_relaxed);
  for (int i = 0; i < n; ++i) {
    if (_inappender[i] != app) continue;
    memmove(&_inappender[i], &_inappender[i + 1], sizeof(Appender*) * static_cast<size_t>(n - i - 1));
    _inappsize.store(n - 1, std::memory_order_relaxed);
    return 0;
  }
  return -1;
}

int SendSvr::checkalive(int ms) {
  xAutoLock lock(&_lock);
  return _checkalive(ms);
}

int SendSvr::_checkalive(int ms) {
  for (int i = 0; i < _svrsiz; ++i) {
    server_t& s = _svrs[i];
    if (s.isvalid) return 0;
    if (!connecting()) return -1;
    close_safe(i);
    const int fd = ul_tcpconnecto_ms(s.host, s.port, ms);
    if (fd > 0) {
      s.sock = fd;
      s.isvalid = true;
      return 0;
    }
    COMLOG_DIAG("connect[%d] %s:%d err[%m]", i, s.host, s.port);
  }
  return -1;
}

int SendSvr::tryalive(int ms) {
  for (int i = 0; i < _svrsiz; ++i) {
    if (_svrs[i].isvalid) return 0;
  }
  return _checkalive(ms);
}

int SendSvr::close_safe(int i) {
  if (i < 0 || i >= _svrsiz) return -1;
  server_t& s = _svrs[i];
  if (s.sock > 0) ul_sclose(s.sock);
  s.sock = -1;
  s.isvalid = false;
  return 0;
}

// ---------------------------------------------------------------------------
// CheckSvr

namespace {

std::mutex g_checker_mutex;
std::atomic<CheckSvr*> g_checker{nullptr};

}  // namespace

CheckSvr* SendSvr::comlog_get_gcheckSvr() {
  CheckSvr* c = g_checker.load(std::memory_order_acquire);
  if (c != nullptr) return c;
  std::lock_guard<std::mutex> lock(g_checker_mutex);
  c = g_checker.load(std::memory_order_relaxed);
  if (c == nullptr) {
    // Never deleted at exit: its thread runs for the life of the process.
    c = new CheckSvr();
    g_checker.store(c, std::memory_order_release);
  }
  return c;
}

void SendSvr::comlog_del_gcheckSvr() {
  std::lock_guard<std::mutex> lock(g_checker_mutex);
  delete g_checker.exchange(nullptr, std::memory_order_acq_rel);
}

CheckSvr::CheckSvr() { memset(_servers, 0, sizeof(_servers)); }

CheckSvr::~CheckSvr() { _thread.Stop(); }

int CheckSvr::registerServer(SendSvr* s) {
  if (s == nullptr) return -1;
  xAutoLock lock(&_lock);
  if (_size >= SENDSVR_MAX_SERVERS) return -1;
  _servers[_size++] = s;
  if (!_thread.running() && !_thread.Start([this](const toolkit::StopToken& token) { Loop(token); })) {
    COMLOG_DIAG("cannot start thread: %m");
  }
  return 0;
}

int CheckSvr::unregisterServer(SendSvr* s) {
  xAutoLock lock(&_lock);
  for (int i = 0; i < _size; ++i) {
    if (_servers[i] != s) continue;
    memmove(&_servers[i], &_servers[i + 1], sizeof(SendSvr*) * static_cast<size_t>(_size - i - 1));
    --_size;
    break;
  }
  while (_checking == s) pthread_cond_wait(&_checked, &_lock);
  return 0;
}

void CheckSvr::Loop(const toolkit::StopToken& token) {
  com_mark_own_thread();
  BlockSigpipe();
  do {
    check();
    // A sleep time of 0 still yields between rounds, so that the senders
    // and closing get the lock.
  } while (!token.WaitFor(_sleeptime > 0 ? std::chrono::milliseconds(_sleeptime * 1000LL)
                                         : std::chrono::milliseconds(1)));
}

int CheckSvr::check() {
  xAutoLock lock(&_lock);
  for (int i = 0; i < _size; ++i) {
    SendSvr* s = _servers[i];
    // A sender busy with a batch is looking after its servers itself; its
    // lock may be held for a whole send, which a check must not wait for.
    if (pthread_mutex_trylock(s->get_sendsvr_lock()) != 0) continue;
    // The attempts (up to 1 s for each dead server) run without the
    // checker's lock, which closing takes (checkOver, clear); a sender
    // being deleted waits until the check lets go of it.
    _checking = s;
    pthread_mutex_unlock(&_lock);
    const int rc = s->_checkalive(1000);
    pthread_mutex_unlock(s->get_sendsvr_lock());
    if (rc != 0 && s->connecting()) COMLOG_DIAG("[%d][%s]server invalid", i, s->name());
    pthread_mutex_lock(&_lock);
    _checking = nullptr;
    pthread_cond_broadcast(&_checked);
  }
  return 0;
}

int CheckSvr::checkOver(int ms) {
  xAutoLock lock(&_lock);
  if (_size == 0) return 0;
  if (ms < 0) ms = INT_MAX;
  constexpr int kStep = 100;
  // Measured on the clock, so that late wake-ups do not stretch the bound.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < deadline) {
    bool drained = true;
    // A batch the sender has taken is no longer queued: it counts until
    // it is sent, so that a close does not stop a sender in the middle of
    // it (its opens, its write) while its bound leaves time.
    for (int i = 0; i < _size && drained; ++i) drained = _servers[i]->pending() == 0;
    if (drained) break;
    safe_msleep(kStep);
  }
  safe_msleep(kStep);
  return 0;
}

int CheckSvr::clear() {
  xAutoLock lock(&_lock);
  for (int i = 0; i < _size; ++i) _servers[i]->stop_connecting();
  _size = 0;
  return 0;
}

int CheckSvr::size() {
  xAutoLock lock(&_lock);
  return _size;
}

}  // namespace comspace
