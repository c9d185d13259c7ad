// A bounded first-in first-out queue between threads: producers push from
// any thread, consumers pop one item or a batch, waiting up to a deadline.
// Close() is the stop: it refuses new items and wakes every waiter at once;
// items already in the queue can still be popped, so a consumer decides
// whether to drain them or drop them.
#ifndef UL_TOOLKIT_QUEUE_H_
#define UL_TOOLKIT_QUEUE_H_

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <utility>
#include <vector>

namespace toolkit {

enum class QueueStatus { kOk, kFull, kClosed };

template <class T>
class BlockingQueue {
 public:
  using Clock = std::chrono::steady_clock;

  // Holds at most capacity items (at least 1).
  explicit BlockingQueue(size_t capacity) : ring_(capacity > 0 ? capacity : 1) {}
  BlockingQueue(const BlockingQueue&) = delete;
  BlockingQueue& operator=(const BlockingQueue&) = delete;

  // Adds an item without waiting: kFull when there is no room.
  QueueStatus TryPush(T item) {
    std::lock_guard<std::mutex> lock(mu_);
    if (closed_) return QueueStatus::kClosed;
    if (size_ == ring_.size()) return QueueStatus::kFull;
    PutLocked(std::move(item));
    return QueueStatus::kOk;
  }

  // Adds an item, waiting while the queue is full; kClosed when the queue is
  // closed before there is room (the item is dropped).
  QueueStatus Push(T item) {
    std::unique_lock<std::mutex> lock(mu_);
    not_full_.wait(lock, [this] { return closed_ || size_ < ring_.size(); });
    if (closed_) return QueueStatus::kClosed;
    PutLocked(std::move(item));
    return QueueStatus::kOk;
  }

  // Pops one item, waiting while the queue is empty and open. False when the
  // queue is closed and empty.
  bool Pop(T* out) {
    std::unique_lock<std::mutex> lock(mu_);
    not_empty_.wait(lock, [this] { return closed_ || size_ > 0; });
    if (size_ == 0) return false;
    *out = TakeLocked();
    return true;
  }

  // Appends up to max items to out, first waiting until the deadline while
  // the queue is empty and open. Returns the number appended (0 on time-out
  // or when closed and empty).
  size_t PopBatchUntil(std::vector<T>* out, size_t max, Clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mu_);
    not_empty_.wait_until(lock, deadline, [this] { return closed_ || size_ > 0; });
    return TakeBatchLocked(out, max);
  }

  template <class Rep, class Period>
  size_t PopBatchFor(std::vector<T>* out, size_t max, std::chrono::duration<Rep, Period> wait) {
    return PopBatchUntil(out, max, Clock::now() + wait);
  }

  // Appends up to max items without waiting.
  size_t TryPopBatch(std::vector<T>* out, size_t max) {
    std::lock_guard<std::mutex> lock(mu_);
    return TakeBatchLocked(out, max);
  }

  // The same two pops into a caller's array out[0..max) (no allocation, for
  // consumers that reuse one array per round).
  size_t PopBatchUntil(T* out, size_t max, Clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mu_);
    not_empty_.wait_until(lock, deadline, [this] { return closed_ || size_ > 0; });
    return TakeBatchLocked(out, max);
  }
  size_t TryPopBatch(T* out, size_t max) {
    std::lock_guard<std::mutex> lock(mu_);
    return TakeBatchLocked(out, max);
  }

  // Drops every item (the queue stays open or closed as it was).
  void Clear() {
    std::lock_guard<std::mutex> lock(mu_);
    while (size_ > 0) TakeLocked();
  }

  // Refuses new items and wakes every waiting producer and consumer.
  void Close() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      closed_ = true;
    }
    not_empty_.notify_all();
    not_full_.notify_all();
  }

  // Opens a closed queue again (its remaining items stay).
  void Reopen() {
    std::lock_guard<std::mutex> lock(mu_);
    closed_ = false;
  }

  bool closed() const {
    std::lock_guard<std::mutex> lock(mu_);
    return closed_;
  }
  size_t size() const {
    std::lock_guard<std::mutex> lock(mu_);
    return size_;
  }
  size_t capacity() const { return ring_.size(); }

 private:
  void PutLocked(T&& item) {
    ring_[(head_ + size_) % ring_.size()] = std::move(item);
    ++size_;
    not_empty_.notify_one();
  }
  T TakeLocked() {
    T item = std::move(ring_[head_]);
    ring_[head_] = T();
    head_ = (head_ + 1) % ring_.size();
    --size_;
    not_full_.notify_one();
    return item;
  }
  size_t TakeBatchLocked(std::vector<T>* out, size_t max) {
    size_t n = 0;
    while (n < max && size_ > 0) {
      out->push_back(TakeLocked());
      ++n;
    }
    return n;
  }
  size_t TakeBatchLocked(T* out, size_t max) {
    size_t n = 0;
    while (n < max && size_ > 0) out[n++] = TakeLocked();
    return n;
  }

  mutable std::mutex mu_;
  std::condition_variable not_empty_;
  std::condition_variable not_full_;
  std::vector<T> ring_;
  size_t head_ = 0;
  size_t size_ = 0;
  bool closed_ = false;
};

}  // namespace toolkit

#endif  // UL_TOOLKIT_QUEUE_H_
