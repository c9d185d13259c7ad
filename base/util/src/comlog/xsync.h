// The framework's scoped lock and its counter under a mutex.
#ifndef COMLOG_XSYNC_H_
#define COMLOG_XSYNC_H_

#include <pthread.h>

#include "toolkit/lock.h"

namespace comspace {

// Holds a pthread mutex for the lifetime of a scope.
using xAutoLock = toolkit::MutexLock;

// A counter whose every step takes its own mutex; callers may also hold the
// mutex across a longer step of their own (mutex()).
class xAtomic {
 public:
  xAtomic() = default;
  xAtomic(const xAtomic&) = delete;
  xAtomic& operator=(const xAtomic&) = delete;

  int add() {
    xAutoLock lock(&_lock);
    return ++_cnt;
  }
  int sub() {
    xAutoLock lock(&_lock);
    return --_cnt;
  }
  int cnt() {
    xAutoLock lock(&_lock);
    return _cnt;
  }
  void reset(int value) {
    xAutoLock lock(&_lock);
    _cnt = value;
  }
  // The steps for a caller that holds mutex() already.
  int cnt_locked() const { return _cnt; }
  int add_locked() { return ++_cnt; }
  int sub_locked() { return --_cnt; }
  void reset_locked(int value) { _cnt = value; }
  pthread_mutex_t* mutex() { return &_lock; }

 private:
  pthread_mutex_t _lock = PTHREAD_MUTEX_INITIALIZER;
  int _cnt = 0;
};

}  // namespace comspace

#endif  // COMLOG_XSYNC_H_
