#include "toolkit/output_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace toolkit {

bool OutputLock::TryLock(const std::string& path) {
  Unlock();
  const std::string lock_path = LockPath(path);
  // A holder removes the lock file before it lets go: a writer that locked
  // the removed file must start again on the file now at the name, or two
  // writers would each hold a lock on a different file.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int e = errno;
      ::close(fd);
      errno = e == EINTR ? EWOULDBLOCK : e;
      return false;
    }
    struct stat held, named;
    if (::fstat(fd, &held) == 0 && ::stat(lock_path.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      fd_ = fd;
      lock_path_ = lock_path;
      return true;
    }
    ::close(fd);
  }
  errno = EWOULDBLOCK;
  return false;
}

void OutputLock::Unlock() {
  if (fd_ < 0) return;
  ::unlink(lock_path_.c_str());
  ::close(fd_);
  fd_ = -1;
  lock_path_.clear();
}

}  // namespace toolkit
