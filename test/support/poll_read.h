// Reads exactly n bytes from a socket in short polled steps, so that a
// test's or benchmark's server thread notices its stop flag while a peer is
// silent. False when the peer closes, a read fails or stop is set.
#ifndef PBDICT_TEST_SUPPORT_POLL_READ_H_
#define PBDICT_TEST_SUPPORT_POLL_READ_H_

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>

namespace testsupport {

inline bool PollReadExact(int fd, char* buf, size_t n, const std::atomic<bool>& stop) {
  while (n > 0) {
    if (stop) return false;
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    ssize_t r = read(fd, buf, n);
    if (r <= 0) return false;
    buf += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

}  // namespace testsupport

#endif  // PBDICT_TEST_SUPPORT_POLL_READ_H_
