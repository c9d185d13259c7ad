#include "toolkit/file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace toolkit {

UniqueFd& UniqueFd::operator=(UniqueFd&& o) noexcept {
  if (this != &o) {
    Close();
    close_fn_ = o.close_fn_;
    fd_ = o.release();
  }
  return *this;
}

bool UniqueFd::Close(CloseFn close_fn) {
  if (fd_ < 0) return true;
  if (close_fn == nullptr) close_fn = close_fn_ != nullptr ? close_fn_ : ::close;
  return close_fn(release()) == 0;
}

UniqueFile& UniqueFile::operator=(UniqueFile&& o) noexcept {
  if (this != &o) {
    Close();
    close_fn_ = o.close_fn_;
    fp_ = o.release();
  }
  return *this;
}

bool UniqueFile::Close(CloseFn close_fn) {
  if (fp_ == nullptr) return true;
  if (close_fn == nullptr) close_fn = close_fn_ != nullptr ? close_fn_ : ::fclose;
  return close_fn(release()) == 0;
}

namespace {

int PlainOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

// Closes fd, leaving errno at err (the failure that made the caller give up).
UniqueFd Refuse(UniqueFd fd, int err) {
  fd.Close();
  errno = err;
  return fd;
}

// Opens path with flags | O_NONBLOCK | O_NOCTTY, an open that never waits,
// and puts the file's type (S_IFMT bits) in *type unless type is null; a
// regular file is made blocking again, any other keeps O_NONBLOCK. An empty
// owner on failure, with errno set.
UniqueFd OpenWithoutWaiting(const char* path, int flags, mode_t mode, OpenFn open_fn,
                            UniqueFd::CloseFn close_fn, mode_t* type) {
  if (path == nullptr) {
    errno = EINVAL;
    return UniqueFd();
  }
  if (open_fn == nullptr) open_fn = PlainOpen;
  UniqueFd fd(open_fn(path, flags | O_NONBLOCK | O_NOCTTY, mode), close_fn);
  if (!fd.ok()) return fd;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return Refuse(std::move(fd), errno);
  if (type != nullptr) *type = st.st_mode & S_IFMT;
  if (!S_ISREG(st.st_mode)) return fd;
  const int fl = ::fcntl(fd.get(), F_GETFL);
  if (fl < 0 || ::fcntl(fd.get(), F_SETFL, fl & ~O_NONBLOCK) != 0) return Refuse(std::move(fd), errno);
  return fd;
}

}  // namespace

UniqueFd OpenForReading(const char* path, OpenFn open_fn, UniqueFd::CloseFn close_fn) {
  mode_t type = 0;
  UniqueFd fd = OpenWithoutWaiting(path, O_RDONLY | O_CLOEXEC, 0, open_fn, close_fn, &type);
  if (fd.ok() && !S_ISREG(type)) return Refuse(std::move(fd), S_ISDIR(type) ? EISDIR : EINVAL);
  return fd;
}

UniqueFile OpenStreamForReading(const char* path, OpenFn open_fn, UniqueFile::CloseFn close_fn) {
  UniqueFd fd = OpenForReading(path, open_fn);
  if (!fd.ok()) return UniqueFile();
  FILE* fp = ::fdopen(fd.get(), "r");
  if (fp == nullptr) return UniqueFile();
  fd.release();  // the stream owns it now
  return UniqueFile(fp, close_fn);
}

UniqueFd OpenForAppending(const char* path, mode_t mode, int access) {
  if (access != O_WRONLY && access != O_RDWR) {
    errno = EINVAL;
    return UniqueFd();
  }
  return OpenWithoutWaiting(path, access | O_CREAT | O_APPEND, mode, nullptr, nullptr, nullptr);
}

UniqueFile OpenStreamForAppending(const char* path, mode_t mode) {
  UniqueFd fd = OpenForAppending(path, mode);
  if (!fd.ok()) return UniqueFile();
  FILE* fp = ::fdopen(fd.get(), "a");
  if (fp == nullptr) return UniqueFile();
  fd.release();  // the stream owns it now
  return UniqueFile(fp);
}

bool WriteAll(int fd, const void* buf, size_t n, WriteFn write_fn, size_t piece) {
  if (write_fn == nullptr) write_fn = ::write;
  if (piece == 0) piece = n;
  const char* p = static_cast<const char*>(buf);
  while (n > 0) {
    const ssize_t w = write_fn(fd, p, n < piece ? n : piece);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) {
      errno = EIO;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

ssize_t ReadFull(int fd, void* buf, size_t n, ReadFn read_fn, size_t piece) {
  if (read_fn == nullptr) read_fn = ::read;
  if (piece == 0) piece = n;
  char* p = static_cast<char*>(buf);
  size_t done = 0;
  while (done < n) {
    const size_t want = n - done < piece ? n - done : piece;
    const ssize_t r = read_fn(fd, p + done, want);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  return static_cast<ssize_t>(done);
}

bool ReadExact(int fd, void* buf, size_t n, ReadFn read_fn, size_t piece) {
  const ssize_t r = ReadFull(fd, buf, n, read_fn, piece);
  if (r < 0) return false;
  if (static_cast<size_t>(r) != n) {
    errno = 0;
    return false;
  }
  return true;
}

bool PreadExact(int fd, void* buf, size_t n, off_t off) {
  char* p = static_cast<char*>(buf);
  while (n > 0) {
    const ssize_t r = ::pread(fd, p, n, off);
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) {
      errno = 0;
      return false;
    }
    p += r;
    off += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

bool StreamWrite(FILE* fp, const void* data, size_t n) {
  return n == 0 || fwrite_unlocked(data, 1, n, fp) == n;
}

int (*rename_noreplace_call)(const char* from, const char* to) = nullptr;

int RenameNoReplace(const char* from, const char* to) {
  if (from == nullptr || to == nullptr) {
    errno = EINVAL;
    return -1;
  }
  const int rc = rename_noreplace_call != nullptr ? rename_noreplace_call(from, to)
                                                  : ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
  // EINVAL: the file system cannot refuse; ENOSYS: the kernel has no such
  // call; EPERM: a sandbox's filter of system calls may answer so for a call
  // it does not know (where the rename itself is refused, the rename below
  // is refused the same way).
  if (rc == 0 || (errno != EINVAL && errno != ENOSYS && errno != EPERM)) return rc;
  // The name is taken with a file of our own, then from goes over it.
  UniqueFd own(::open(to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!own.ok()) return -1;
  struct stat made;
  const bool known = ::fstat(own.get(), &made) == 0;
  own.Close();
  if (known && ::rename(from, to) == 0) return 0;
  const int err = errno;
  // Removed while the name is still that file (none but its maker renames
  // over a name taken so).
  struct stat now;
  if (!known || (::lstat(to, &now) == 0 && now.st_dev == made.st_dev && now.st_ino == made.st_ino)) ::unlink(to);
  errno = err;
  return -1;
}

}  // namespace toolkit
