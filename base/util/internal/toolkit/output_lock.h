// A lock that keeps two writers (processes, or threads of one process) from
// replacing the same output at once. It is an exclusive flock(2) on a lock
// file beside the output, taken without waiting: the second writer is told
// at once that the output is busy, rather than queueing behind the first
// and then replacing its result. The lock file is removed when the lock is
// released; one left by a killed writer is simply taken over by the next.
//
// Part of the shared toolkit ("toolkit/*.h", in ul, never installed): pieces
// more than one library needs; nothing in it logs. A helper that one source
// file alone needs stays file-local in that file (the rule is written down
// in cmake/PbdictTargets.cmake).
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
  // Removes the lock file and releases the lock (nothing when not held).
  void Unlock();
  bool held() const { return fd_ >= 0; }

  // The name of the lock file of an output.
  static std::string LockPath(const std::string& path) { return path + ".lock"; }

 private:
  std::string lock_path_;
  int fd_ = -1;
};

}  // namespace toolkit

#endif  // UL_TOOLKIT_OUTPUT_LOCK_H_
