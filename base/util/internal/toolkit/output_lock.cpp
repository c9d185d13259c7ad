#include "toolkit/output_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "toolkit/file.h"
#include "toolkit/path.h"

namespace toolkit {

void (*output_lock_named_pause)() = nullptr;

namespace {

// Makes the lock file locked before it has its name: an unnamed file in the
// folder, locked, then linked to the name, so that no other writer can take
// a lock file between its making and its maker's lock, and its maker alone
// removes it. The descriptor, or -1 with errno set (EEXIST: a file stands at
// the name; another value: the folder, or the system, cannot make an
// unnamed file this way).
int MakeLocked(const std::string& lock_path) {
  if (output_lock_named_pause != nullptr) {  // a test's folder without unnamed files
    errno = EOPNOTSUPP;
    return -1;
  }
  const std::string dir(FolderOf(SplitPath(lock_path)));
  UniqueFd fd(::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
  if (!fd.ok() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return -1;
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd.get());
  if (::linkat(AT_FDCWD, self, AT_FDCWD, lock_path.c_str(), AT_SYMLINK_FOLLOW) != 0) return -1;
  return fd.release();
}

}  // namespace

bool OutputLock::TryLock(const std::string& path) {
  Unlock();
  const std::string lock_path = LockPath(path);
  // A holder that made the lock file removes it before it lets go: a writer
  // that locked the removed file must start again on the file now at the
  // name, or two writers would each hold a lock on a different file. A file
  // that stands at the name already (one a killed writer left, or anyone's)
  // is locked as it is and never removed.
  for (int attempt = 0; attempt < 100; ++attempt) {
    int fd = MakeLocked(lock_path);
    if (fd >= 0) {
      fd_ = fd;
      lock_path_ = lock_path;
      made_ = true;
      return true;
    }
    bool made = false;
    if (errno != EEXIST) {
      // Made with its name, then locked: another writer may take it in
      // between, and it then stays when both are done.
      fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      made = fd >= 0;
      if (made && output_lock_named_pause != nullptr) output_lock_named_pause();
    }
    if (fd < 0 && errno == EEXIST) {
      fd = ::open(lock_path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0 && errno == ENOENT) continue;  // removed meanwhile: make it
    }
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
      made_ = made;
      return true;
    }
    ::close(fd);
  }
  errno = EWOULDBLOCK;
  return false;
}

void OutputLock::Unlock() {
  if (fd_ < 0) return;
  if (made_) ::unlink(lock_path_.c_str());
  ::close(fd_);
  fd_ = -1;
  made_ = false;
  lock_path_.clear();
}

}  // namespace toolkit
