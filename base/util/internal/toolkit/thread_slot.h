// A per-thread slot: one pthread key holding a T* for each thread, with the
// function that frees a value (run by the thread library when a thread ends
// holding one, and by Reset). The key is created once (Create) and may be
// deleted again (Delete); every call on a slot whose key does not exist
// answers "no value", because an uncreated pthread_key_t may be another
// library's live key. Create and Delete are not synchronised with each
// other: a library calls them from its own init and shutdown, or under
// pthread_once; a thread that sees the slot created also sees its key.
#ifndef UL_TOOLKIT_THREAD_SLOT_H_
#define UL_TOOLKIT_THREAD_SLOT_H_

#include <pthread.h>

#include <atomic>

namespace toolkit {

template <class T>
class ThreadSlot {
 public:
  using FreeFn = void (*)(void*);

  ThreadSlot() = default;
  ThreadSlot(const ThreadSlot&) = delete;
  ThreadSlot& operator=(const ThreadSlot&) = delete;

  // Creates the key (once) with free_fn as the values' destructor: 0, or -1
  // when the thread library refuses.
  int Create(FreeFn free_fn) {
    if (created()) return 0;
    if (pthread_key_create(&key_, free_fn) != 0) return -1;
    free_fn_ = free_fn;
    created_.store(true, std::memory_order_release);
    return 0;
  }
  // Deletes the key; the threads' values are not freed (as with
  // pthread_key_delete).
  void Delete() {
    if (!created()) return;
    created_.store(false, std::memory_order_release);
    pthread_key_delete(key_);
  }
  bool created() const { return created_.load(std::memory_order_acquire); }

  T* Get() const { return created() ? static_cast<T*>(pthread_getspecific(key_)) : nullptr; }
  // 0, or -1 when the key does not exist or the value cannot be stored.
  int Set(T* value) const { return created() && pthread_setspecific(key_, value) == 0 ? 0 : -1; }
  // Frees the calling thread's value (if any) and clears the slot.
  void Reset() const {
    T* value = Get();
    if (value == nullptr) return;
    Set(nullptr);
    if (free_fn_ != nullptr) free_fn_(value);
  }

 private:
  pthread_key_t key_;
  FreeFn free_fn_ = nullptr;
  std::atomic<bool> created_{false};
};

}  // namespace toolkit

#endif  // UL_TOOLKIT_THREAD_SLOT_H_
