// Pieces shared by the socket sources (newer and older interface): time
// arithmetic and the two line-reading loops.
#ifndef UL_NET_INTERNAL_H_
#define UL_NET_INTERNAL_H_

#include <errno.h>
#include <limits.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <stdint.h>
#include <sys/time.h>
#include <sys/types.h>
#include <string.h>
#include <time.h>

#include "toolkit/socket_io.h"
#include "ul_log.h"
#include "ul_log_errno.h"
#include "ul_net.h"

namespace ulnet {

// fcntl F_SETFL resumed after EINTR; 0, or -1 (logged).
int SetFileFlags(int sd, int flags);

// ul_xconnecto_tv with a budget of msecs (0 or less: no limit).
int ConnectWithin(int sockfd, const sockaddr* saptr, socklen_t socklen, int msecs, int isclose);

// The IPv4 address of host (dotted text, else a name looked up through
// ul_gethostbyname_r) and port; false when there is none.
bool HostAddress(const char* host, int port, sockaddr_in* out);

// Milliseconds on a clock that never jumps.
inline int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Microseconds on the same clock.
inline int64_t NowUs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// Seconds to milliseconds for the second-based forms, saturating instead of
// overflowing; a negative value stays negative.
inline int SecondsToMs(int secs) {
  if (secs > INT_MAX / 1000) return INT_MAX;
  if (secs < INT_MIN / 1000) return INT_MIN;
  return secs * 1000;
}

// A budget's remaining time as a poll() time-out: -1 for no budget, the
// milliseconds rounded up (so that a budget of a fraction of a millisecond
// still waits).
inline int BudgetToPollMs(const timeval* tv) {
  if (tv == nullptr) return -1;
  if (tv->tv_sec < 0 || (tv->tv_sec == 0 && tv->tv_usec <= 0)) return 0;
  const int64_t ms = static_cast<int64_t>(tv->tv_sec) * 1000 + (tv->tv_usec + 999) / 1000;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

// Takes elapsed_us off the budget, not below zero.
inline void SpendBudget(timeval* tv, int64_t elapsed_us) {
  if (tv == nullptr || elapsed_us <= 0) return;
  int64_t left = static_cast<int64_t>(tv->tv_sec) * 1000000 + tv->tv_usec - elapsed_us;
  if (left < 0) left = 0;
  tv->tv_sec = static_cast<time_t>(left / 1000000);
  tv->tv_usec = static_cast<suseconds_t>(left % 1000000);
}

// The line-reading loop shared by every line reader: get(&c) gives 1 (one
// byte), 0 (end of stream) or a negative failure; a failure with EINTR is
// tried again, any other ends the call with that value. See ul_readlineo_ms
// for the result.
template <class GetByte>
ssize_t ReadLine(void* vptr, size_t maxlen, GetByte get) {
  if (vptr == nullptr || maxlen < 1) {
    errno = EINVAL;
    return -1;
  }
  char* p = static_cast<char*>(vptr);
  size_t n = 1;
  for (; n < maxlen; ++n) {
    char c;
    ssize_t r;
    do {
      r = get(&c);
    } while (r < 0 && errno == EINTR);
    if (r == 1) {
      *p++ = c;
      if (c == '\n') break;
    } else if (r == 0) {
      if (n == 1) {
        *p = '\0';
        return 0;
      }
      break;
    } else {
      *p = '\0';
      return r;
    }
  }
  *p = '\0';
  return static_cast<ssize_t>(n);
}

// Hands out the next byte of the read-ahead buffer, refilling it first with
// refill(buf, size) (> 0 bytes, 0 end of stream, < 0 failure; EINTR is tried
// again) when it is empty. A record whose cursor does not point into its own
// buffer is taken as empty.
template <class Refill>
int RlineNext(char* ptr, Rline* rl, Refill refill) {
  if (ptr == nullptr || rl == nullptr) {
    errno = EINVAL;
    return -1;
  }
  const uintptr_t cur = reinterpret_cast<uintptr_t>(rl->read_ptr);
  const uintptr_t start = reinterpret_cast<uintptr_t>(rl->rl_buf);
  if (rl->rl_cnt <= 0 || rl->rl_cnt > UL_RLINE_BUF_SIZE || cur < start ||
      cur - start + static_cast<uintptr_t>(rl->rl_cnt) > UL_RLINE_BUF_SIZE) {
    rl->rl_cnt = 0;
    ssize_t r;
    do {
      r = refill(rl->rl_buf, sizeof(rl->rl_buf));
    } while (r < 0 && errno == EINTR);
    if (r < 0) return -1;
    if (r == 0) return 0;
    rl->rl_cnt = static_cast<int>(r);
    rl->read_ptr = rl->rl_buf;
  }
  --rl->rl_cnt;
  *ptr = *rl->read_ptr++;
  return 1;
}

}  // namespace ulnet

#endif  // UL_NET_INTERNAL_H_
