#include "comlog/appender/asyncfileappender.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <utility>

#include "comlog/appender/logcut.h"
#include "comlog/appender/quotachecker.h"
#include "comlog/diag.h"
#include "comlog/event.h"
#include "comlog/layout.h"
#include "comlog/xsync.h"
#include "comlog/xutils.h"

namespace comspace {

namespace {

// Writes every byte of iov[0..cnt), resuming after short writes and EINTR;
// returns the bytes written (fewer than the total after an error).
int64_t WritevAll(int fd, struct iovec* iov, int cnt) {
  int64_t done = 0;
  int i = 0;
  while (i < cnt) {
    const ssize_t n = writev(fd, iov + i, cnt - i);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
    size_t left = static_cast<size_t>(n);
    while (i < cnt && left >= iov[i].iov_len) left -= iov[i++].iov_len;
    if (i < cnt && left > 0) {
      iov[i].iov_base = static_cast<char*>(iov[i].iov_base) + left;
      iov[i].iov_len -= left;
    }
  }
  return done;
}

}  // namespace

AsyncFileAppender::AsyncFileAppender() { memset(&_stat, 0, sizeof(_stat)); }

AsyncFileAppender::~AsyncFileAppender() {
  _queue.stop_working();
  if (_writer_started) _async_thread.join();
  for (int n; (n = _queue.drain(_readbuf, kBatch)) > 0;) {
    WriteOut(n);
    erasedata(n);
  }
  _queue.destroy();
  if (_current_buffer != nullptr && _current_buffer->length() > 0) {
    _readbuf[0] = _current_buffer;
    WriteOut(1);
  }
  delete _current_buffer;
  for (Buffer* b : _free_buffer_array) delete b;
  close(nullptr);
  delete _qc;
}

int AsyncFileAppender::open(void* /*arg*/) {
  close(nullptr);
  const int fd = open_log_file(_device, _file, sizeof(_file));
  if (fd < 0) return -1;
  _id = fd;
  return fstat(fd, &_stat);
}

int AsyncFileAppender::close(void* /*arg*/) {
  if (_id < 0) return 0;
  ::close(_id);
  _id = -1;
  return 0;
}

int AsyncFileAppender::SyncLocked(std::string* removal) {
  struct stat st;
  if (_id < 0 || stat(_file, &st) != 0 || st.st_ino != _stat.st_ino) return open(nullptr);
  CutOutcome outcome = cut_log_if_due(_device, _file, st, &_lastcutime, _qc, false);
  if (!outcome.reopen) return 0;
  *removal = std::move(outcome.removal);
  return open(nullptr);
}

int AsyncFileAppender::syncid(void* /*arg*/) {
  std::string removal;
  int rc;
  {
    xAutoLock lock(&_lock);
    rc = SyncLocked(&removal);
  }
  if (!removal.empty() && _qc != nullptr) _qc->schedule_file_removal(std::move(removal));
  return rc;
}

AsyncFileAppender::Buffer* AsyncFileAppender::TakeSpareLocked() {
  Buffer* b;
  if (!_free_buffer_array.empty()) {
    b = _free_buffer_array.back();
    _free_buffer_array.pop_back();
  } else {
    b = new (std::nothrow) Buffer();
    if (b == nullptr) return nullptr;
  }
  b->reset();
  return b;
}

int AsyncFileAppender::print(Event* evt) {
  if (evt == nullptr || evt->_render_msgbuf == nullptr) return -1;
  if (unInMask(static_cast<int>(evt->_log_level))) return 0;
  evt->_nowapp = this;
  _layout.load(std::memory_order_acquire)->format(evt);
  const char* line = evt->_render_msgbuf;
  const size_t len = static_cast<size_t>(evt->_render_msgbuf_len);

  std::lock_guard<std::mutex> lock(_buf_mutex);
  if (_current_buffer != nullptr && _current_buffer->append(line, len) == 0) return 0;
  Buffer* fresh = TakeSpareLocked();
  if (fresh == nullptr) return -1;
  if (fresh->append(line, len) != 0) {
    _free_buffer_array.push_back(fresh);
    return -1;
  }
  // The full buffer goes to the writer (which the push wakes); when the
  // queue is full the line is lost and the buffer stays current.
  if (_current_buffer != nullptr && _queue.push_front(_current_buffer) != 0) {
    if (_free_buffer_array.size() < kPoolSize) {
      fresh->reset();
      _free_buffer_array.push_back(fresh);
    } else {
      delete fresh;
    }
    return -1;
  }
  _current_buffer = fresh;
  return 0;
}

int AsyncFileAppender::binprint(void* buf, int len) {
  if (buf == nullptr || len < 0) return -1;
  std::string removal;
  int rc = -1;
  {
    xAutoLock lock(&_lock);
    SyncLocked(&removal);
    ssize_t n = -1;
    if (_id >= 0) {
      do {
        n = ::write(_id, buf, static_cast<size_t>(len));
      } while (n < 0 && errno == EINTR);
    }
    if (n == len) rc = 0;
  }
  if (!removal.empty() && _qc != nullptr) _qc->schedule_file_removal(std::move(removal));
  return rc;
}

int AsyncFileAppender::init() {
  _lastcutime = xroundtime(_device, 0);
  if (_queue.create(kQueueSize) != 0) return -1;
  int rc = syncid(nullptr);
  if (rc != 0) {
    COMLOG_DIAG("syncid log err: %m");
    return rc;
  }
  _qc = new (std::nothrow) QuotaChecker(this);
  if (_qc == nullptr) {
    COMLOG_DIAG("new _qc error ");
    return -1;
  }
  rc = _qc->check_quota(nullptr);
  if (rc != 0) return rc;
  // The writer starts last: everything it reads is set by now.
  rc = _async_thread.start(&AsyncFileAppender::WriterRound, this);
  if (rc != 0) {
    COMLOG_DIAG("cannot create async routine thread, err: %m");
    return rc;
  }
  _writer_started = true;
  return 0;
}

void AsyncFileAppender::WriteOut(int n) {
  std::string removal;
  {
    xAutoLock lock(&_lock);
    if (SyncLocked(&removal) != 0) {
      COMLOG_DIAG("In [AsyncFileAppender::writeData]:syncid failed.");
      close(nullptr);
    } else {
      int64_t total = 0;
      for (int i = 0; i < n; ++i) {
        auto* b = static_cast<Buffer*>(_readbuf[i]);
        afio[i].iov_base = const_cast<char*>(b->data());
        afio[i].iov_len = b->length();
        total += static_cast<int64_t>(b->length());
      }
      const int64_t written = WritevAll(_id, afio, n);
      if (written != total) {
        COMLOG_DIAG("writev(fd:%d, length:%lld) = %lld", _id, static_cast<long long>(total),
                    static_cast<long long>(written));
      }
    }
  }
  if (!removal.empty() && _qc != nullptr) _qc->schedule_file_removal(std::move(removal));
}

void AsyncFileAppender::erasedata(int n) {
  std::lock_guard<std::mutex> lock(_buf_mutex);
  for (int i = 0; i < n; ++i) {
    auto* b = static_cast<Buffer*>(_readbuf[i]);
    _readbuf[i] = nullptr;
    if (_free_buffer_array.size() < kPoolSize) {
      b->reset();
      _free_buffer_array.push_back(b);
    } else {
      delete b;
    }
  }
}

int AsyncFileAppender::writeData() {
  timespec deadline;
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_nsec += 1000000;
  if (deadline.tv_nsec >= 1000000000) {
    deadline.tv_nsec -= 1000000000;
    ++deadline.tv_sec;
  }
  int n = _queue.pop_backs(_readbuf, kBatch, deadline);
  if (n == XQUEUE_NOT_WORKING) return XTHREAD_STOP;
  if (n <= 0) {
    // Nothing full came: take the lines of the current buffer. Under the
    // buffer mutex no buffer can be queued meanwhile, so an empty queue here
    // means the current buffer holds the oldest lines.
    std::lock_guard<std::mutex> lock(_buf_mutex);
    n = _queue.drain(_readbuf, kBatch);
    if (n == 0 && _current_buffer != nullptr && _current_buffer->length() > 0) {
      if (Buffer* fresh = TakeSpareLocked()) {
        _readbuf[0] = _current_buffer;
        _current_buffer = fresh;
        n = 1;
      }
    }
  }
  if (n <= 0) return 0;
  WriteOut(n);
  erasedata(n);
  return 0;
}

int AsyncFileAppender::WriterRound(void* self) { return static_cast<AsyncFileAppender*>(self)->writeData(); }

Appender* AsyncFileAppender::getAppender(com_device_t& dev) {
  return get_file_appender(dev, [] { return static_cast<Appender*>(new (std::nothrow) AsyncFileAppender()); });
}

Appender* AsyncFileAppender::tryAppender(com_device_t& dev) { return try_file_appender(dev); }

}  // namespace comspace
