// A lock that keeps two writers (processes, or threads of one process) from
// replacing the same output at once. It is an exclusive flock(2) on a lock
// file beside the output, taken without waiting: the second writer is told
// at once that the output is busy, rather than queueing behind the first
// and then replacing its result. A lock file the lock made is removed when
// the lock is released. A file that stands at the lock's name already (one
// a killed writer left, or anyone's: even the writer's own input) is locked
// as it is and left in place, never written to or removed.
//
// The lock file is made locked before it has its name (an unnamed file,
// linked to the name), so that no other writer can lock it first. In a
// folder that cannot make unnamed files it is made under its name and then
// locked: a second writer that locks it in between holds it as a file that
// stood there, and the file then stays when both are done.
#ifndef UL_TOOLKIT_OUTPUT_LOCK_H_
#define UL_TOOLKIT_OUTPUT_LOCK_H_

#include <string>

namespace toolkit {

class OutputLock {
 public:
  OutputLock() = default;
  ~OutputLock() { Unlock(); }
  OutputLock(const OutputLock&) = delete;
  OutputLock& operator=(const OutputLock&) = delete;

  // Takes the lock of the output at path (the lock file is LockPath(path)).
  // False with errno EWOULDBLOCK when another writer holds it, or with the
  // failing call's errno when the lock file cannot be made.
  bool TryLock(const std::string& path);
  // Releases the lock, removing the lock file when TryLock made it
  // (nothing when not held).
  void Unlock();
  bool held() const { return fd_ >= 0; }

  // The name of the lock file of an output.
  static std::string LockPath(const std::string& path) { return path + ".lock"; }

 private:
  std::string lock_path_;
  int fd_ = -1;
  bool made_ = false;  // TryLock made the lock file: removed at Unlock
};

// For tests: when set, TryLock makes the lock file as it does in a folder
// that cannot make unnamed files (under its name, then locked) and calls
// this between the making and the locking, so that a test can take the lock
// there. nullptr otherwise.
extern void (*output_lock_named_pause)();

}  // namespace toolkit

#endif  // UL_TOOLKIT_OUTPUT_LOCK_H_
