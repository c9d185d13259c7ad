// The framework's work queues: XQueue, a fixed-capacity first-in first-out
// queue with the framework's result codes, and XSigQu, the same queue shared
// between producer threads and one consumer thread, with timed batch pops and
// a stop. Both are thin fronts over the toolkit's BlockingQueue (one ring,
// one mutex and condition), so the framework holds no queue of its own.
#ifndef COMLOG_XQUEUE_H_
#define COMLOG_XQUEUE_H_

#include <sys/time.h>
#include <time.h>

#include <chrono>
#include <memory>
#include <new>

#include "toolkit/queue.h"

namespace comspace {

enum XQueuePushError {
  XQUEUE_FULL = -1,
  XQUEUE_NOT_WORKING = -2,
};

// A fixed-capacity FIFO: the first item pushed is the first popped. Meant for
// one thread at a time (XSigQu adds the waiting and the stop).
template <class T>
class XQueue {
 public:
  XQueue() = default;
  XQueue(const XQueue&) = delete;
  XQueue& operator=(const XQueue&) = delete;

  // Makes an empty queue of n items (n >= 2). 0, or -1 for a smaller n or no
  // memory. A queue made before is dropped with its items.
  int create(int n) {
    if (n < 2) return -1;
    _q.reset(new (std::nothrow) toolkit::BlockingQueue<T>(static_cast<size_t>(n)));
    return _q ? 0 : -1;
  }
  // Drops every item.
  void clear() {
    if (_q) _q->Clear();
  }
  // 0, or XQUEUE_FULL when the queue holds its capacity (or was never made).
  int push_front(const T& v) {
    if (!_q) return XQUEUE_FULL;
    return _q->TryPush(v) == toolkit::QueueStatus::kOk ? 0 : XQUEUE_FULL;
  }
  // The oldest item into *v: 0, or -1 when the queue is empty.
  int pop_back(T* v) { return pop_backs(v, 1) == 1 ? 0 : -1; }
  // Pops up to n items, oldest first, into array[0..n); returns their count.
  int pop_backs(T* array, int n) {
    if (!_q || n <= 0) return 0;
    return static_cast<int>(_q->TryPopBatch(array, static_cast<size_t>(n)));
  }
  bool empty() const { return size() == 0; }
  bool full() const { return _q && _q->size() == _q->capacity(); }
  int size() const { return _q ? static_cast<int>(_q->size()) : 0; }
  // Frees the storage; the queue then has capacity 0.
  void destroy() { _q.reset(); }

 private:
  template <class>
  friend class XSigQu;
  std::unique_ptr<toolkit::BlockingQueue<T>> _q;
};

// XQueue shared between threads: producers push from any thread, one consumer
// pops batches with a bounded wait. stop_working() ends both sides: pushes
// answer XQUEUE_NOT_WORKING and a waiting consumer wakes and gets it too.
// Items left behind can still be taken with drain() (for a final flush).
template <class T>
class XSigQu {
 public:
  XSigQu() = default;
  ~XSigQu() { destroy(); }
  XSigQu(const XSigQu&) = delete;
  XSigQu& operator=(const XSigQu&) = delete;

  // -1 when already made; else the result of XQueue::create (n).
  int create(int n) {
    if (_created) return -1;
    _created = true;
    return _queue.create(n);
  }
  // 0, XQUEUE_FULL, or XQUEUE_NOT_WORKING once stopped (or never made). A
  // waiting consumer is woken.
  int push_front(const T& v) {
    if (!_queue._q) return XQUEUE_NOT_WORKING;
    switch (_queue._q->TryPush(v)) {
      case toolkit::QueueStatus::kOk:
        return 0;
      case toolkit::QueueStatus::kFull:
        return XQUEUE_FULL;
      case toolkit::QueueStatus::kClosed:
        break;
    }
    return XQUEUE_NOT_WORKING;
  }
  // Pops up to n items; when the queue is empty and seconds > 0, first waits
  // up to that long for one. Returns the count (0 on time-out), or
  // XQUEUE_NOT_WORKING once stopped.
  int pop_backs(T* array, int n, int seconds) {
    auto now = toolkit::BlockingQueue<T>::Clock::now();
    return PopUntil(array, n, seconds > 0 ? now + std::chrono::seconds(seconds) : now);
  }
  // The same with an absolute deadline on the system clock (CLOCK_REALTIME);
  // waits whenever the queue is empty and the deadline lies ahead.
  int pop_backs(T* array, int n, const timespec& deadline) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    auto left = std::chrono::seconds(deadline.tv_sec - now.tv_sec) +
                std::chrono::nanoseconds(deadline.tv_nsec - now.tv_nsec);
    if (left.count() < 0) left = left.zero();
    return PopUntil(array, n, toolkit::BlockingQueue<T>::Clock::now() + left);
  }
  // Stops the queue and wakes every waiter.
  void stop_working() {
    if (_queue._q) _queue._q->Close();
  }
  // Pops up to n items without waiting, also after stop_working.
  int drain(T* array, int n) { return _queue.pop_backs(array, n); }
  int size() const { return _queue.size(); }
  bool working() const { return _queue._q && !_queue._q->closed(); }
  // Drops the queue and its items; create() may run again.
  void destroy() {
    if (!_created) return;
    _created = false;
    _queue.destroy();
  }

 private:
  int PopUntil(T* array, int n, typename toolkit::BlockingQueue<T>::Clock::time_point deadline) {
    if (!working()) return XQUEUE_NOT_WORKING;
    if (n <= 0) return 0;
    size_t got = _queue._q->PopBatchUntil(array, static_cast<size_t>(n), deadline);
    if (got == 0 && _queue._q->closed()) return XQUEUE_NOT_WORKING;
    return static_cast<int>(got);
  }

  XQueue<T> _queue;
  bool _created = false;
};

}  // namespace comspace

#endif  // COMLOG_XQUEUE_H_
