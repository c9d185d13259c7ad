// Whole transfers on sockets and pipes, each over a step the caller gives (a
// plain read or write, or one made after a timed wait), and the close of a
// socket whose set-up failed. The one place where the socket and package
// code loops over short and interrupted transfers; nothing here logs.
#ifndef UL_TOOLKIT_SOCKET_IO_H_
#define UL_TOOLKIT_SOCKET_IO_H_

#include <errno.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>

#include "toolkit/errno_keeper.h"

namespace toolkit {

// What a timed step answers besides a byte count (> 0), the end of the
// stream (0) and a failed call (-1, errno set): the wait ran out, or the
// wait itself failed.
constexpr ssize_t kStepTimedOut = -2;
constexpr ssize_t kStepWaitFailed = -3;

// Closes fd keeping errno as it was: the close function of a
// toolkit::UniqueFd that owns a socket during its set-up, so that a failed
// set-up returns with the errno of the call that failed.
inline int CloseKeepingErrno(int fd) {
  ErrnoKeeper keep;
  return close(fd);
}

// Reads exactly nbytes through read_some(p, n), one step at a time. Returns
// nbytes, fewer when the stream ends first, or -1: ETIMEDOUT when a step
// timed out, EIO when its wait failed, else the failed call's errno. EINTR
// and EAGAIN (readiness reported, but another reader took the bytes) go on.
template <class ReadSome>
ssize_t ReadWhole(void* ptr, size_t nbytes, ReadSome read_some) {
  char* p = static_cast<char*>(ptr);
  size_t got = 0;
  while (got < nbytes) {
    const ssize_t r = read_some(p + got, nbytes - got);
    if (r > 0) {
      got += static_cast<size_t>(r);
    } else if (r == 0) {
      break;
    } else if (r == kStepTimedOut) {
      errno = ETIMEDOUT;
      return -1;
    } else if (r == kStepWaitFailed) {
      errno = EIO;
      return -1;
    } else if (errno != EINTR && errno != EAGAIN) {
      return -1;
    }
  }
  return static_cast<ssize_t>(got);
}

// Writes all nbytes through write_some(p, n), one timed step at a time.
// Returns nbytes, or -1: ETIMEDOUT when a step timed out, else the failed
// call's errno (a step that wrote nothing fails too). EINTR and EAGAIN go on.
template <class WriteSome>
ssize_t WriteWhole(const void* ptr, size_t nbytes, WriteSome write_some) {
  const char* p = static_cast<const char*>(ptr);
  size_t done = 0;
  while (done < nbytes) {
    const ssize_t r = write_some(p + done, nbytes - done);
    if (r > 0) {
      done += static_cast<size_t>(r);
    } else if (r == kStepTimedOut) {
      errno = ETIMEDOUT;
      return -1;
    } else if (r == 0 || (errno != EINTR && errno != EAGAIN)) {
      return -1;
    }
  }
  return static_cast<ssize_t>(nbytes);
}

// Calls f until it answers anything but a failure with EINTR.
template <class F>
auto RetryOnEintr(F f) -> decltype(f()) {
  decltype(f()) r;
  do {
    r = f();
  } while (r < 0 && errno == EINTR);
  return r;
}

}  // namespace toolkit

#endif  // UL_TOOLKIT_SOCKET_IO_H_
