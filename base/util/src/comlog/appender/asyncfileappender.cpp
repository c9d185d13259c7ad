#include "comlog/appender/asyncfileappender.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>
#include <utility>

#include "comlog/appender/logcut.h"
#include "comlog/appender/quotachecker.h"
#include "comlog/diag.h"
#include "comlog/event.h"
#include "comlog/layout.h"
#include "comlog/namemg.h"
#include "comlog/xsync.h"
#include "comlog/xutils.h"

namespace comspace {

namespace {

// Writes every byte of iov[0..cnt), resuming after short writes and EINTR;
// returns the bytes written (fewer than the total after an error) and sets
// *last to the last byte written, if any.
int64_t WritevAll(int fd, struct iovec* iov, int cnt, char* last) {
  int64_t done = 0;
  int i = 0;
  while (i < cnt) {
    const ssize_t n = writev(fd, iov + i, cnt - i);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
    size_t left = static_cast<size_t>(n);
    while (i < cnt && left >= iov[i].iov_len) {
      left -= iov[i].iov_len;
      if (left == 0 && iov[i].iov_len > 0) *last = static_cast<char*>(iov[i].iov_base)[iov[i].iov_len - 1];
      ++i;
    }
    if (i < cnt && left > 0) {
      *last = static_cast<char*>(iov[i].iov_base)[left - 1];
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
  const Clock::time_point deadline{Clock::duration(_close_deadline.load(std::memory_order_relaxed))};
  for (;;) {
    HoldTheRest();
    if (_held == 0) break;
    if (FlushOnce()) continue;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) break;
    std::this_thread::sleep_for(std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(1)));
  }
  long long lost = 0;
  for (HoldTheRest(); _held > 0; HoldTheRest()) {
    lost += HeldLines();
    DropHeld(SIZE_MAX);
  }
  if (lost > 0) COMLOG_DIAG("%lld lines lost: %s did not take them before the close ended", lost, _file);
  _queue.destroy();
  delete _current_buffer;
  for (Buffer* b : _free_buffer_array) delete b;
  close(nullptr);
  delete _qc;
}

void AsyncFileAppender::HoldTheRest() {
  if (_held >= kBatch) return;
  const int room = kBatch - _held;
  const int n = _queue.drain(_readbuf + _held, room);
  if (n > 0) _held += n;
  if (n < room && _current_buffer != nullptr && _current_buffer->length() > 0) {
    _readbuf[_held++] = _current_buffer;
    _current_buffer = nullptr;
  }
}

long long AsyncFileAppender::HeldLines() const {
  long long n = 0;
  for (int i = 0; i < _held; ++i) {
    const auto* b = static_cast<const Buffer*>(_readbuf[i]);
    const char* p = b->data() + (i == 0 ? _held_off : 0);
    const char* end = b->data() + b->length();
    // A lone line end left of a line whose text went in: that line is
    // written (WriteHeld does not write its text again).
    if (i == 0 && _held_rest && p != end && *p == '\n') ++p;
    if (p == end) continue;
    n += std::count(p, end, '\n');
    if (end[-1] != '\n') ++n;
  }
  return n;
}

int AsyncFileAppender::open(void* /*arg*/) {
  close(nullptr);
  // While the file cannot be opened the writer tries again every round:
  // the failure is reported at the first try only.
  const int fd = open_log_file(_device, _file, sizeof(_file), !_open_failed);
  _open_failed = fd < 0;
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
  // The file does not take what the writer holds: the line is lost now
  // rather than after its caller was told it was written.
  if (_stalled.load(std::memory_order_relaxed)) return -1;
  evt->_nowapp = this;
  _layout.load(std::memory_order_acquire)->format(evt);
  return print_line(evt->_render_msgbuf, evt->_render_msgbuf_len);
}

int AsyncFileAppender::print_line(const char* line, int size) {
  if (line == nullptr || size < 0) return -1;
  if (_stalled.load(std::memory_order_relaxed)) return -1;
  const size_t len = static_cast<size_t>(size);
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

bool AsyncFileAppender::WriteHeld(int fd) {
  // The rest of a cut line belongs after its beginning only: another file
  // (cut, moved or removed meanwhile), or one that may be another (the file
  // cut is known by device and inode alone), gets the whole line again. A
  // line never spans buffers, so its beginning is still held. When only the
  // line end is left, the text is whole where it went (it ends that file)
  // and is not written twice.
  const bool same = _torn.Is(fd, _stat.st_ino);
  if (_held_rest && !(same && _torn.certain())) {
    const char* data = static_cast<Buffer*>(_readbuf[0])->data();
    if (data[_held_off] == '\n') {
      DropHeld(1);
    } else {
      while (_held_off > 0 && data[_held_off - 1] != '\n') --_held_off;
    }
    _held_rest = false;
  }
  const bool line_end_first = !_held_rest && same;
  int cnt = 0;
  int64_t total = 0;
  if (line_end_first) afio[cnt++] = {const_cast<char*>("\n"), 1};
  for (int i = 0; i < _held && cnt < kBatch; ++i) {
    auto* b = static_cast<Buffer*>(_readbuf[i]);
    const size_t skip = i == 0 ? _held_off : 0;
    afio[cnt].iov_base = const_cast<char*>(b->data()) + skip;
    afio[cnt].iov_len = b->length() - skip;
    total += static_cast<int64_t>(afio[cnt].iov_len);
    ++cnt;
  }
  const int64_t held_total = total;
  if (line_end_first) total += 1;
  char last = '\n';
  const int64_t written = WritevAll(fd, afio, cnt, &last);
  if (written > 0) {
    if (last != '\n') {
      _torn.Remember(fd);
    } else if (same) {
      _torn.Forget();
    }
    DropHeld(static_cast<size_t>(written - (line_end_first ? 1 : 0)));
    _held_rest = last != '\n' && _held > 0;
  }
  if (written == total) return true;
  // Reported once, not at every try while the file refuses.
  if (!_stalled.load(std::memory_order_relaxed)) {
    COMLOG_DIAG("writev(fd:%d, length:%lld) = %lld", fd, static_cast<long long>(held_total),
                static_cast<long long>(written));
  }
  return false;
}

void AsyncFileAppender::DropHeld(size_t bytes) {
  int done = 0;  // buffers wholly gone (none is empty)
  while (done < _held) {
    const size_t left = static_cast<Buffer*>(_readbuf[done])->length() - _held_off;
    if (bytes < left) {
      _held_off += bytes;
      break;
    }
    bytes -= left;
    _held_off = 0;
    ++done;
  }
  if (done == 0) return;
  erasedata(done);
  for (int i = done; i < _held; ++i) _readbuf[i - done] = _readbuf[i];
  _held -= done;
}

bool AsyncFileAppender::FlushOnce() {
  std::string removal;
  bool ok = false;
  {
    xAutoLock lock(&_lock);
    if (SyncLocked(&removal) != 0) {
      // Like a write the file refused: the held lines stay for the next
      // try, and new lines are refused meanwhile.
      if (!_sync_failed) COMLOG_DIAG("In [AsyncFileAppender::writeData]:syncid failed.");
      _sync_failed = true;
      close(nullptr);
    } else {
      _sync_failed = false;
      ok = WriteHeld(_id);
    }
  }
  _stalled.store(!ok && _held > 0, std::memory_order_relaxed);
  if (!removal.empty() && _qc != nullptr) _qc->schedule_file_removal(std::move(removal));
  return ok;
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
  // Buffers join those still held (which the file did not take yet: they
  // are tried again first, so the lines keep their order).
  if (_held < kBatch) {
    int n = _queue.pop_backs(_readbuf + _held, kBatch - _held, deadline);
    if (n == XQUEUE_NOT_WORKING) return XTHREAD_STOP;
    if (n <= 0) {
      // Nothing full came: take the lines of the current buffer. Under the
      // buffer mutex no buffer can be queued meanwhile, so an empty queue
      // here means the current buffer holds the oldest lines.
      std::lock_guard<std::mutex> lock(_buf_mutex);
      n = _queue.drain(_readbuf + _held, kBatch - _held);
      if (n == 0 && _current_buffer != nullptr && _current_buffer->length() > 0) {
        if (Buffer* fresh = TakeSpareLocked()) {
          _readbuf[_held] = _current_buffer;
          _current_buffer = fresh;
          n = 1;
        }
      }
    }
    _held += n > 0 ? n : 0;
  } else {
    if (!_queue.working()) return XTHREAD_STOP;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (_held > 0) FlushOnce();
  return 0;
}

int AsyncFileAppender::WriterRound(void* self) { return static_cast<AsyncFileAppender*>(self)->writeData(); }

void comlog_hand_close_wait(AsyncFileAppender::Clock::time_point end) {
  NameMg* mg = comlog_get_nameMg();
  if (mg == nullptr) return;
  mg->forEachAppender(
      [](Appender* app, void* arg) {
        if (auto* a = dynamic_cast<AsyncFileAppender*>(app)) {
          a->set_close_deadline(*static_cast<AsyncFileAppender::Clock::time_point*>(arg));
        }
      },
      &end);
}

Appender* AsyncFileAppender::getAppender(com_device_t& dev) {
  return get_file_appender(dev, [] { return static_cast<Appender*>(new (std::nothrow) AsyncFileAppender()); });
}

Appender* AsyncFileAppender::tryAppender(com_device_t& dev) { return try_file_appender(dev); }

}  // namespace comspace
