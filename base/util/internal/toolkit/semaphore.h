// System V semaphores: one operation resumed after EINTR, and a scoped holder
// that takes a set's semaphore 0 and gives it back on every path out, so a
// critical section shared between processes is left exactly once.
#ifndef UL_TOOLKIT_SEMAPHORE_H_
#define UL_TOOLKIT_SEMAPHORE_H_

#include <errno.h>
#include <sys/sem.h>

namespace toolkit {

// Adds delta to semaphore 0 of semid with flags (SEM_UNDO, IPC_NOWAIT),
// waiting as semop does; false on a failure (errno set).
inline bool SemAdd(int semid, short delta, short flags) {
  sembuf op = {0, delta, flags};
  while (semop(semid, &op, 1) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Takes semaphore 0 of semid (undone by the kernel should the process die
// holding it) at construction, gives it back at destruction or Give().
class SemHolder {
 public:
  explicit SemHolder(int semid) : semid_(semid), held_(semid >= 0 && SemAdd(semid, -1, SEM_UNDO)) {}
  ~SemHolder() { Give(); }
  SemHolder(const SemHolder&) = delete;
  SemHolder& operator=(const SemHolder&) = delete;

  // False when the set does not exist or taking failed.
  bool held() const { return held_; }
  // Gives the semaphore back now; true when it was not held or the give
  // succeeded.
  bool Give() {
    if (!held_) return true;
    held_ = false;
    return SemAdd(semid_, 1, SEM_UNDO);
  }

 private:
  int semid_;
  bool held_;
};

}  // namespace toolkit

#endif  // UL_TOOLKIT_SEMAPHORE_H_
