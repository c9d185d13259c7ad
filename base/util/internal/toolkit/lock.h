// A scoped lock for the process's pthread mutexes (those that live in
// records shared with C code or initialised statically), so every path out of
// a critical section unlocks exactly once. std::mutex users take
// std::lock_guard / std::unique_lock instead.
#ifndef UL_TOOLKIT_LOCK_H_
#define UL_TOOLKIT_LOCK_H_

#include <pthread.h>

namespace toolkit {

class MutexLock {
 public:
  explicit MutexLock(pthread_mutex_t* mu) : mu_(mu) { pthread_mutex_lock(mu_); }
  ~MutexLock() {
    if (mu_ != nullptr) pthread_mutex_unlock(mu_);
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;
  // Unlocks before scope end; the destructor then does nothing.
  void Unlock() {
    if (mu_ != nullptr) pthread_mutex_unlock(mu_);
    mu_ = nullptr;
  }

 private:
  pthread_mutex_t* mu_;
};

// The same for a reader/writer lock, taken for reading or for writing.
class ReadLock {
 public:
  explicit ReadLock(pthread_rwlock_t* lk) : lk_(lk) { pthread_rwlock_rdlock(lk_); }
  ~ReadLock() { pthread_rwlock_unlock(lk_); }
  ReadLock(const ReadLock&) = delete;
  ReadLock& operator=(const ReadLock&) = delete;

 private:
  pthread_rwlock_t* lk_;
};

class WriteLock {
 public:
  explicit WriteLock(pthread_rwlock_t* lk) : lk_(lk) { pthread_rwlock_wrlock(lk_); }
  ~WriteLock() { pthread_rwlock_unlock(lk_); }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

 private:
  pthread_rwlock_t* lk_;
};

}  // namespace toolkit

#endif  // UL_TOOLKIT_LOCK_H_
