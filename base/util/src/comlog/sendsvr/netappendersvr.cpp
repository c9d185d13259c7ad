#include "comlog/sendsvr/netappendersvr.h"

#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <new>
#include <string>

#include "comlog/appender/appender.h"
#include "comlog/appender/asyncfileappender.h"
#include "comlog/appender/fileappender.h"
#include "comlog/diag.h"
#include "comlog/event.h"
#include "comlog/namemg.h"
#include "comlog/xsync.h"
#include "ul_net.h"

namespace comspace {

namespace {

constexpr int kIdleWaitSeconds = 5;
constexpr int kWritableMs = 10000;
constexpr int kReconnectMs = 1000;
constexpr int kStepMs = 100;

pthread_mutex_t g_sendsvr_mutex = PTHREAD_MUTEX_INITIALIZER;

// The handle of an appender's remote file; the sender thread sets it while
// writers read it.
int RemoteHandle(const Appender* app) { return __atomic_load_n(&app->_id, __ATOMIC_ACQUIRE); }

// Lines of one appender together, and within one appender by time; lines of
// the same second keep the order in which they were queued.
bool Before(const void* a, const void* b) {
  const auto* x = static_cast<const netdata_t*>(a);
  const auto* y = static_cast<const netdata_t*>(b);
  if (x->appender != y->appender) return std::less<const Appender*>()(x->appender, y->appender);
  return x->item.time < y->item.time;
}

// Writes one line to a back-up appender: a rendered line (it ends with a
// line end) as a file appender writes its own lines, so that one a full disk
// cut short stays visibly cut; anything else as raw bytes. 0, or -1.
int WriteBackUp(Appender* bk, char* text, int size) {
  if (size > 0 && text[size - 1] == '\n') {
    if (auto* f = dynamic_cast<FileAppender*>(bk)) return f->print_line(text, size);
    if (auto* a = dynamic_cast<AsyncFileAppender*>(bk)) return a->print_line(text, size);
  }
  return bk->binprint(text, size);
}

// Whether the server is still there to take a batch on fd. The server sends
// nothing unasked outside the answer to an open, so a socket with something
// to read has either been closed by the server (0 bytes), been reset, or
// carries bytes that are no part of the exchange (the stream can no longer
// be trusted, and an end may follow them). A batch handed to such a socket
// would be taken by the kernel and lost without a word. False (errno EPIPE,
// EPROTO or the error met) when it is not.
bool PeerStillThere(int fd) {
  pollfd p = {fd, POLLIN, 0};
  int rc;
  do {
    rc = poll(&p, 1, 0);
  } while (rc < 0 && errno == EINTR);
  if (rc == 0) return true;
  if (rc < 0) return false;
  char c;
  ssize_t got;
  do {
    got = recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
  } while (got < 0 && errno == EINTR);
  if (got == 0) {
    errno = EPIPE;
    return false;
  }
  if (got > 0) {
    errno = EPROTO;
    return false;
  }
  return errno == EAGAIN || errno == EWOULDBLOCK;
}

}  // namespace

SendSvr* NetAppenderSvr::getServer(const char* list) {
  xAutoLock lock(&g_sendsvr_mutex);
  std::unique_ptr<server_t[]> svrs(new (std::nothrow) server_t[SENDSVR_MAX_SERVERS]);
  if (!svrs) return nullptr;
  const int n = xparserSvrConf(list, svrs.get(), SENDSVR_MAX_SERVERS);
  if (n == 0) {
    COMLOG_DIAG("parser %s err", list != nullptr ? list : "");
    return nullptr;
  }
  std::string name;
  for (int i = 0; i < n; ++i) name += std::string(svrs[i].host) + ":" + std::to_string(svrs[i].port);
  if (name.size() > 1023) name.resize(1023);
  NameMg* mg = comlog_get_nameMg();
  if (mg == nullptr) return nullptr;
  if (auto* found = static_cast<SendSvr*>(mg->get(NameMg::TYPE_SENDSVR, name.c_str()))) return found;
  NetAppenderSvr* s = new (std::nothrow) NetAppenderSvr();
  if (s == nullptr) return nullptr;
  if (s->createServer(list, true) != 0) {
    delete s;
    COMLOG_DIAG("crete server err[%s]", list);
    return nullptr;
  }
  if (mg->set(name.c_str(), static_cast<SendSvr*>(s)) != 0) {
    delete s;
    COMLOG_DIAG("set server err[%s]", list);
    return nullptr;
  }
  return s;
}

NetAppenderSvr::NetAppenderSvr() {
  memset(_iovecs, 0, sizeof(_iovecs));
  memset(_ownsize, 0, sizeof(_ownsize));
}

NetAppenderSvr::~NetAppenderSvr() {
  // The checker and the thread both use this object: both let go of it
  // before any part of it is destroyed. Stopped first, the sender makes
  // the checker's connect loop on it end, which the unregistering waits for.
  stop();
  if (_registered) comlog_get_gcheckSvr()->unregisterServer(this);
  _registered = false;
  // Lines still queued are not sent (the servers had their time while
  // closing waited); they go to the local back-up files in the order they
  // were queued, after the batch the thread gave up.
  int n;
  while ((n = _queue.drain(_readbuf, SENDSVR_BATCH)) > 0) {
    backup(n);
    erasedata(n);
  }
}

int NetAppenderSvr::initServer(const char* list) {
  const int n = xparserSvrConf(list, _svrs, SENDSVR_MAX_SERVERS);
  if (n == 0) {
    COMLOG_DIAG("parser %s err", list != nullptr ? list : "");
    return -1;
  }
  _svrsiz = n;
  snprintf(_name, sizeof(_name), "%s", list);
  return 0;
}

int NetAppenderSvr::push(Event* evt) {
  if (evt == nullptr || evt->_nowapp == nullptr || evt->_render_msgbuf == nullptr) return -1;
  const size_t len = evt->_render_msgbuf_len > 0 ? static_cast<size_t>(evt->_render_msgbuf_len) : 0;
  auto* d = static_cast<netdata_t*>(malloc(sizeof(netdata_t) + len));
  if (d == nullptr) return -1;
  d->appender = evt->_nowapp;
  d->item.handle = static_cast<uint32_t>(RemoteHandle(evt->_nowapp));
  d->item.time = static_cast<uint32_t>(evt->_print_time.tv_sec);
  d->item.size = static_cast<uint32_t>(len);
  memcpy(netdata_text(d), evt->_render_msgbuf, len);
  // Counted before it is queued, so that no line is in the queue or in the
  // thread's batch uncounted.
  _pending.fetch_add(1, std::memory_order_acq_rel);
  if (_queue.push_front(d) != 0) {
    _pending.fetch_sub(1, std::memory_order_acq_rel);
    free(d);
    return -1;
  }
  return 0;
}

int NetAppenderSvr::run() {
  const int n = _queue.pop_backs(_readbuf, SENDSVR_BATCH, kIdleWaitSeconds);
  if (n <= 0) return 0;
  std::stable_sort(_readbuf, _readbuf + n, Before);
  bool sent = false;
  {
    xAutoLock lock(&_lock);
    if (synchandle(n) == 0) {
      sent = senddata(n) == 0;
      if (!sent) clearsock(_now);
    }
  }
  if (!sent) backup(n);
  erasedata(n);
  _pending.fetch_sub(n, std::memory_order_acq_rel);
  return 0;
}

void NetAppenderSvr::backup(int n) {
  int lost = 0;
  for (int i = 0; i < n; ++i) {
    auto* d = static_cast<netdata_t*>(_readbuf[i]);
    Appender* bk = d->appender->_bkappender;
    if (bk == nullptr || WriteBackUp(bk, netdata_text(d), static_cast<int>(d->item.size)) != 0) ++lost;
  }
  if (lost > 0) COMLOG_DIAG("%d of %d lines lost: no back-up file took them", lost, n);
}

int NetAppenderSvr::WaitWritable(int fd, int ms) {
  // Measured on the clock, so that late wake-ups do not stretch the bound.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    const int rc = ul_swriteable_ms(fd, static_cast<int>(std::min<long long>(left, kStepMs)));
    if (rc != 0) return rc;
    if (!isRun()) break;
  }
  errno = ETIMEDOUT;
  return 0;
}

int NetAppenderSvr::synchandle(int /*n*/) {
  int i = 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (i = 0; i < _svrsiz; ++i) {
      server_t& s = _svrs[i];
      if (!s.isvalid) continue;
      if (i == _now) {
        // Appenders registered since the server was chosen open their
        // files now, so that no line goes out without a handle. A server
        // that has ended the connection (a restart, an idle cut) is given
        // up here, before the batch, which another connection then takes.
        if (WaitWritable(s.sock, kWritableMs) > 0 && reopens(i, true) == 0 && PeerStillThere(s.sock)) return 0;
        COMLOG_DIAG("invalid sock[%d] %m", s.sock);
        clearsock(i);
        continue;
      }
      // Checked again after the opens: a server may answer them and close.
      if (WaitWritable(s.sock, kWritableMs) > 0 && reopens(i) == 0 && PeerStillThere(s.sock)) {
        if (_now >= 0) close_safe(_now);
        _now = i;
        return 0;
      }
      COMLOG_DIAG("invalid sock[%d] or reopen err %m", s.sock);
      close_safe(i);
    }
    // A stopping sender does not connect again: its batch goes to the
    // back-up files at once.
    if (pass == 0 && (!isRun() || tryalive(kReconnectMs) != 0)) break;
  }
  COMLOG_DIAG("can't find valid sd _now[%d] i[%d]", _now, i);
  return -1;
}

int NetAppenderSvr::reopens(int server, bool missing_only) {
  const int n = _inappsize.load(std::memory_order_relaxed);
  for (int i = 0; i < n; ++i) {
    Appender* app = _inappender[i];
    if (missing_only && RemoteHandle(app) != -1) continue;
    // A stopping sender, or one a close or reset has told to stop
    // connecting, begins no more opens (each may take its time-out): the
    // end waits for the one under way at most, of every sender at once
    // rather than one sender after another.
    if (!isRun() || !connecting()) return -1;
    if (app->open(&_svrs[server]) != 0) {
      COMLOG_DIAG("can't open %s server", _name);
      return -1;
    }
  }
  return 0;
}

int NetAppenderSvr::clearsock(int i) {
  if (close_safe(i) != 0) return -1;
  if (i == _now) _now = -1;
  return 0;
}

long NetAppenderSvr::WriteAll(int fd, int count, size_t total, int ms) {
  iovec* iov = _iovecs;
  size_t done = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (done < total && count > 0) {
    msghdr msg;
    memset(&msg, 0, sizeof(msg));
    msg.msg_iov = iov;
    msg.msg_iovlen = static_cast<size_t>(count);
    const ssize_t rc = sendmsg(fd, &msg, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (rc > 0) {
      done += static_cast<size_t>(rc);
      size_t skip = static_cast<size_t>(rc);
      while (count > 0 && skip >= iov->iov_len) {
        skip -= iov->iov_len;
        ++iov;
        --count;
      }
      if (count > 0) {
        iov->iov_base = static_cast<char*>(iov->iov_base) + skip;
        iov->iov_len -= skip;
      }
      continue;
    }
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A server that stops reading holds the batch at most ms, and a stop
      // ends the wait within one step.
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0 || !isRun()) {
        errno = ETIMEDOUT;
        break;
      }
      pollfd p = {fd, POLLOUT, 0};
      poll(&p, 1, static_cast<int>(std::min<long>(left, kStepMs)));
      continue;
    }
    break;
  }
  return done > 0 ? static_cast<long>(done) : -1;
}

int NetAppenderSvr::senddata(int n) {
  if (_now < 0 || _now >= _svrsiz) return -1;
  server_t& svr = _svrs[_now];
  auto* head = reinterpret_cast<loghead_t*>(_sendbuf);
  memset(head, 0, sizeof(loghead_t));
  head->magic_num = LOGHEAD_MAGICNUM;
  head->log_id = LOGHEAD_DATA_LOGID;
  head->reserved = LOGHEAD_DATA_RESERVED;
  _iovecs[0].iov_base = _sendbuf;
  _iovecs[0].iov_len = sizeof(loghead_t);
  int count = 1;
  size_t body = 0;
  netdata_t* run_head = nullptr;
  for (int i = 0; i < n; ++i) {
    auto* d = static_cast<netdata_t*>(_readbuf[i]);
    const int id = RemoteHandle(d->appender);
    if (id == -1) {
      COMLOG_DIAG("debug- faint _id=%d handle=%d when senddata at i[%d]", id, static_cast<int>(d->item.handle), i);
    }
    d->item.handle = static_cast<uint32_t>(id);
    _ownsize[i] = d->item.size;
    if (run_head != nullptr && run_head->appender == d->appender) {
      _iovecs[count].iov_base = netdata_text(d);
      _iovecs[count].iov_len = d->item.size;
      run_head->item.size += d->item.size;
      body += d->item.size;
    } else {
      _iovecs[count].iov_base = &d->item;
      _iovecs[count].iov_len = sizeof(logitem_t) + d->item.size;
      run_head = d;
      body += sizeof(logitem_t) + d->item.size;
    }
    ++count;
  }
  head->body_len = static_cast<uint32_t>(body);
  const size_t total = sizeof(loghead_t) + body;
  const long rc = WriteAll(svr.sock, count, total, kWritableMs);
  // Each line gets its own size back: a batch that failed is written to the
  // back-up files line by line.
  for (int i = 0; i < n; ++i) static_cast<netdata_t*>(_readbuf[i])->item.size = _ownsize[i];
  if (rc < static_cast<long>(total)) {
    COMLOG_DIAG("send err %m sock[%d] now[%d] svr{[%d][%d]}, ret[%ld]", svr.sock, _now, svr.sock,
                svr.isvalid ? 1 : 0, rc);
    return -1;
  }
  return 0;
}

}  // namespace comspace
