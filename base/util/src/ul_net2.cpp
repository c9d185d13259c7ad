// Reading and writing on stream sockets with time-outs: readiness waits,
// single transfers after a wait, exact-length transfers under one budget,
// line readers, and two-phase transfers (a non-blocking call first, then
// blocking passes bounded by the kernel's socket time-out), also for
// scatter/gather vectors.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <sys/select.h>
#include <unistd.h>

#include <vector>

#include "ul_log.h"
#include "ul_net.h"
#include "ul_net_internal.h"

using ulnet::NowUs;

// ---------------------------------------------------------------------------
// Time budgets

void cnvt_ms_timeval(int msec, struct timeval* ptv) {
  if (ptv == nullptr) return;
  ptv->tv_sec = msec / 1000;
  ptv->tv_usec = (msec % 1000) * 1000;
}

int cnvt_timeval_ms(const struct timeval* ptv) {
  if (ptv == nullptr) return -1;
  const int64_t ms = static_cast<int64_t>(ptv->tv_sec) * 1000 + ptv->tv_usec / 1000;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

void ul_sub_timeval(struct timeval* tv, const struct timeval* before, const struct timeval* after) {
  if (tv == nullptr || before == nullptr || after == nullptr) return;
  const int64_t spent = (static_cast<int64_t>(after->tv_sec) - before->tv_sec) * 1000000 +
                        (after->tv_usec - before->tv_usec);
  ulnet::SpendBudget(tv, spent);
}

// ---------------------------------------------------------------------------
// Waiting

int ul_poll(struct pollfd* fdarray, nfds_t nfds, int timeout) {
  const int64_t start = ulnet::NowMs();
  int wait = timeout < 0 ? -1 : timeout;
  for (;;) {
    const int r = poll(fdarray, nfds, wait);
    if (r > 0) return r;
    if (r == 0) {
      errno = ETIMEDOUT;
      return 0;
    }
    if (errno != EINTR) {
      UL_WARN_ERRNO("poll() call error.error[%d] info is %s");
      return r;
    }
    if (wait >= 0) {
      const int64_t left = timeout - (ulnet::NowMs() - start);
      if (left <= 0) {
        errno = ETIMEDOUT;
        return 0;
      }
      wait = static_cast<int>(left);
    }
  }
}

int ul_select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds,
              struct timeval* timeout) {
  for (;;) {
    const int r = select(nfds, readfds, writefds, exceptfds, timeout);
    if (r > 0) return r;
    if (r == 0) {
      errno = ETIMEDOUT;
      return 0;
    }
    if (errno != EINTR) {
      UL_WARN_ERRNO("select() call error.error[%d] info is %s");
      return r;
    }
  }
}

namespace {

int WaitFor(int fd, short events, int ms) {
  pollfd p = {fd, events, 0};
  return ul_poll(&p, 1, ms < 0 ? -1 : ms);
}

int WaitForTv(int fd, short events, timeval* tv) {
  const int64_t t0 = NowUs();
  const int r = WaitFor(fd, events, ulnet::BudgetToPollMs(tv));
  ulnet::SpendBudget(tv, NowUs() - t0);
  return r;
}

}  // namespace

int ul_sreadable_ms(int fd, int mseconds) { return WaitFor(fd, POLLIN, mseconds); }
int ul_swriteable_ms(int fd, int mseconds) { return WaitFor(fd, POLLOUT, mseconds); }
int ul_sreadable_tv(int fd, struct timeval* tv) { return WaitForTv(fd, POLLIN, tv); }
int ul_swriteable_tv(int fd, struct timeval* tv) { return WaitForTv(fd, POLLOUT, tv); }

// ---------------------------------------------------------------------------
// Single transfers

ssize_t ul_reado_ms(int fd, void* ptr, size_t nbytes, int msecs) {
  const int w = ul_sreadable_ms(fd, msecs);
  if (w == 0) return -2;
  if (w < 0) return -3;
  return read(fd, ptr, nbytes);
}

ssize_t ul_reado_tv(int fd, void* ptr, size_t nbytes, struct timeval* tv) {
  const int w = ul_sreadable_tv(fd, tv);
  if (w == 0) return -2;
  if (w < 0) return -3;
  return read(fd, ptr, nbytes);
}

ssize_t ul_writeo_tv(int fd, const void* ptr, size_t nbytes, struct timeval* tv) {
  const int w = ul_swriteable_tv(fd, tv);
  if (w == 0) return -2;
  if (w < 0) return -1;
  return write(fd, ptr, nbytes);
}

// ---------------------------------------------------------------------------
// Exact-length transfers

ssize_t ul_sreado_ms_ex(int fd, void* ptr1, size_t nbytes, int msecs) {
  timeval budget;
  timeval* tv = nullptr;
  if (msecs >= 0) {
    cnvt_ms_timeval(msecs, &budget);
    tv = &budget;
  }
  return toolkit::ReadWhole(ptr1, nbytes,
                          [&](char* p, size_t n) { return ul_reado_tv(fd, p, n, tv); });
}

int ul_getsockflag(int sd) {
  const int r = toolkit::RetryOnEintr([&] { return fcntl(sd, F_GETFL); });
  if (r < 0) UL_WARN_ERRNO("fcntl(%d,F_GETFL) call failed.error[%d] info is %s.", sd);
  return r;
}

int ulnet::SetFileFlags(int sd, int flags) {
  const int r = toolkit::RetryOnEintr([&] { return fcntl(sd, F_SETFL, flags); });
  if (r < 0) UL_WARN_ERRNO("fcntl(%d,F_SETFL,%d) call failed.error[%d] info is %s.", sd, flags);
  return r < 0 ? -1 : 0;
}

namespace {

using ulnet::SetFileFlags;

int SetBlocking(int sd, bool blocking) {
  const int flags = ul_getsockflag(sd);
  if (flags < 0) return -1;
  const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return wanted == flags ? 0 : SetFileFlags(sd, wanted);
}

}  // namespace

int ul_setsocktoblock(int sd) { return SetBlocking(sd, true); }
int ul_setsocktonoblock(int sd) { return SetBlocking(sd, false); }

ssize_t ul_swriteo_ms_ex(int fd, const void* ptr1, size_t nbytes, int msecs) {
  const int flags = ul_getsockflag(fd);
  if (flags < 0) return -1;
  const bool was_blocking = (flags & O_NONBLOCK) == 0;
  if (was_blocking && SetFileFlags(fd, flags | O_NONBLOCK) != 0) return -1;
  timeval budget;
  timeval* tv = nullptr;
  if (msecs >= 0) {
    cnvt_ms_timeval(msecs, &budget);
    tv = &budget;
  }
  // Everything within the budget, on the descriptor made non-blocking.
  const ssize_t r = toolkit::WriteWhole(ptr1, nbytes, [&](const char* p, size_t n) {
    return ul_writeo_tv(fd, p, n, tv);
  });
  if (was_blocking) {
    toolkit::ErrnoKeeper keep;
    if (SetFileFlags(fd, flags) != 0) return -1;
  }
  return r;
}

int ul_getrecvqueuesize(int sd) {
  std::vector<char> scratch(65535);
  const ssize_t r =
      toolkit::RetryOnEintr([&] { return recv(sd, scratch.data(), scratch.size(), MSG_PEEK | MSG_DONTWAIT); });
  if (r < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
  return static_cast<int>(r);
}

// ---------------------------------------------------------------------------
// Line reading

ssize_t ul_readlineo_ms(int fd, void* vptr, size_t maxlen, int msecs) {
  return ulnet::ReadLine(vptr, maxlen, [&](char* c) { return ul_sreado_ms_ex(fd, c, 1, msecs); });
}

ssize_t ul_readlineo(int fd, void* vptr, size_t maxlen, int secs) {
  return ul_readlineo_ms(fd, vptr, maxlen, ulnet::SecondsToMs(secs));
}

int ul_myread_tv(int fd, char* ptr, Rline* rlin, struct timeval* tv) {
  return ulnet::RlineNext(ptr, rlin,
                          [&](char* buf, size_t n) { return ul_reado_tv(fd, buf, n, tv); });
}

ssize_t ul_readline_speedo_ms_ex(int fd, void* vptr, size_t maxlen, Rline* rlin, int msecs) {
  timeval budget;
  timeval* tv = nullptr;
  if (msecs > 0) {
    cnvt_ms_timeval(msecs, &budget);
    tv = &budget;
  }
  return ulnet::ReadLine(vptr, maxlen, [&](char* c) { return ul_myread_tv(fd, c, rlin, tv); });
}

// ---------------------------------------------------------------------------
// Two-phase and vector transfers

namespace {

bool WouldBlock(int err) { return err == EAGAIN || err == EWOULDBLOCK; }

// Switches a socket to blocking passes bounded by one of its kernel
// time-outs (SO_RCVTIMEO or SO_SNDTIMEO), and puts back the time-out and the
// file flags it found.
class BlockingPasses {
 public:
  BlockingPasses(int sock, int opt) : sock_(sock), opt_(opt) {}
  ~BlockingPasses() {
    if (started_) Restore();
  }
  BlockingPasses(const BlockingPasses&) = delete;
  BlockingPasses& operator=(const BlockingPasses&) = delete;

  // Saves the time-out and the flags and clears O_NONBLOCK; false (nothing
  // changed) on failure.
  bool Start() {
    socklen_t len = sizeof(saved_tv_);
    if (ul_getsockopt(sock_, SOL_SOCKET, opt_, &saved_tv_, &len) != 0) return false;
    flags_ = ul_getsockflag(sock_);
    if (flags_ < 0) return false;
    if ((flags_ & O_NONBLOCK) != 0 && SetFileFlags(sock_, flags_ & ~O_NONBLOCK) != 0) return false;
    started_ = true;
    return true;
  }

  bool SetTimeoutUs(int64_t us) {
    if (us < 1) us = 1;  // a zero time-out would mean "no limit" to the kernel
    timeval tv;
    tv.tv_sec = static_cast<time_t>(us / 1000000);
    tv.tv_usec = static_cast<suseconds_t>(us % 1000000);
    return ul_setsockopt(sock_, SOL_SOCKET, opt_, &tv, sizeof(tv)) == 0;
  }

  // Puts back the time-out and the flags; false when either fails. errno
  // is kept when both succeed.
  bool Restore() {
    started_ = false;
    toolkit::ErrnoKeeper keep;
    bool ok = ul_setsockopt(sock_, SOL_SOCKET, opt_, &saved_tv_, sizeof(saved_tv_)) == 0;
    if ((flags_ & O_NONBLOCK) != 0) ok = SetFileFlags(sock_, flags_) == 0 && ok;
    return ok;
  }

 private:
  int sock_;
  int opt_;
  int flags_ = 0;
  timeval saved_tv_ = {0, 0};
  bool started_ = false;
};

// What differs between the two-phase transfers.
struct TwoPhaseRule {
  bool sending;
  int opt;              // SO_RCVTIMEO or SO_SNDTIMEO
  int pass_flags;       // MSG_WAITALL (blocking passes) or MSG_DONTWAIT
  bool per_pass;        // every pass may take the whole time-out (else one budget)
};

ssize_t MsgOnce(int sock, iovec* iov, int count, int flags, bool sending) {
  msghdr msg;
  memset(&msg, 0, sizeof(msg));
  msg.msg_iov = iov;
  msg.msg_iovlen = static_cast<size_t>(count);
  return sending ? sendmsg(sock, &msg, flags) : recvmsg(sock, &msg, flags);
}

// One send, tried again after EINTR, and after EAGAIN following a sleep of a
// quarter of the time left (at most 10 ms), at most (left / sleep) - 1 times
// and never past the time left.
ssize_t SendWithPatience(int sock, iovec* iov, int count, int flags, int64_t left_us) {
  const int64_t t0 = NowUs();
  int64_t sleep_us = left_us / 4;
  if (sleep_us > 10000) sleep_us = 10000;
  if (sleep_us < 1) sleep_us = 1;
  int64_t tries = left_us / sleep_us - 1;
  for (;;) {
    const ssize_t k = MsgOnce(sock, iov, count, flags, true);
    if (k >= 0) return k;
    if (errno == EINTR) continue;
    if (!WouldBlock(errno) || tries-- <= 0 || NowUs() - t0 + sleep_us > left_us) return -1;
    timeval nap = {static_cast<time_t>(sleep_us / 1000000),
                   static_cast<suseconds_t>(sleep_us % 1000000)};
    select(0, nullptr, nullptr, nullptr, &nap);
  }
}

// The blocking passes after a first non-blocking call moved `done` of
// `total` bytes; iov/count already skip what was moved.
ssize_t Passes(int sock, iovec* iov, int count, size_t done, size_t total, int msecs,
               const TwoPhaseRule& rule) {
  BlockingPasses passes(sock, rule.opt);
  if (!passes.Start()) return -1;
  const int64_t limit_us = static_cast<int64_t>(msecs) * 1000;
  int64_t left_us = limit_us;
  ssize_t result = -1;
  for (;;) {
    if (!passes.SetTimeoutUs(left_us)) break;
    const int64_t t0 = NowUs();
    ssize_t k;
    if (rule.sending) {
      k = SendWithPatience(sock, iov, count, rule.pass_flags, left_us);
    } else {
      k = toolkit::RetryOnEintr([&] { return MsgOnce(sock, iov, count, rule.pass_flags, false); });
    }
    const int64_t spent = NowUs() - t0;
    if (k < 0) {
      if (WouldBlock(errno)) errno = ETIMEDOUT;
      break;
    }
    if (k == 0) {
      result = static_cast<ssize_t>(done);
      break;
    }
    done += static_cast<size_t>(k);
    if (done >= total) {
      result = static_cast<ssize_t>(done);
      break;
    }
    if (rule.per_pass) {
      if (spent >= limit_us) {
        errno = ETIMEDOUT;
        break;
      }
    } else {
      left_us -= spent;
      if (left_us <= 0) {
        errno = ETIMEDOUT;
        break;
      }
    }
    iov = iovec_offset(iov, &count, static_cast<size_t>(k));
  }
  if (!passes.Restore()) return -1;
  return result;
}

// The first, non-blocking call: the bytes moved (0 when none could be), or
// -1 on a failure other than EAGAIN and EINTR.
ssize_t FirstCall(int sock, iovec* iov, int count, bool sending) {
  const ssize_t r = MsgOnce(sock, iov, count, MSG_DONTWAIT, sending);
  if (r >= 0) return r;
  return (WouldBlock(errno) || errno == EINTR) ? 0 : -1;
}

ssize_t TwoPhaseBuffer(int sock, void* ptr, size_t nbytes, int msecs, const TwoPhaseRule& rule) {
  iovec one = {ptr, nbytes};
  const ssize_t first = FirstCall(sock, &one, 1, rule.sending);
  if (first < 0 || static_cast<size_t>(first) == nbytes) return first;
  if (msecs == 0) {
    errno = ETIMEDOUT;
    return -1;
  }
  if (msecs < 0) msecs = INT_MAX;
  int count = 1;
  iovec* rest = iovec_offset(&one, &count, static_cast<size_t>(first));
  return Passes(sock, rest, count, static_cast<size_t>(first), nbytes, msecs, rule);
}

ssize_t TwoPhaseVector(int sock, const iovec* ve, int count, int msecs, const TwoPhaseRule& rule) {
  if (ve == nullptr || count < 1 || count > 1023) {
    errno = EINVAL;
    return -1;
  }
  if (msecs == 0) {
    errno = ETIMEDOUT;
    return -1;
  }
  if (msecs < 0) msecs = INT_MAX;
  iovec work[1023];
  size_t total = 0;
  for (int i = 0; i < count; ++i) {
    if (ve[i].iov_len > static_cast<size_t>(SSIZE_MAX) - total) {
      errno = EINVAL;
      return -1;
    }
    total += ve[i].iov_len;
    work[i] = ve[i];
  }
  const ssize_t first = FirstCall(sock, work, count, rule.sending);
  if (first < 0 || static_cast<size_t>(first) == total) return first;
  iovec* rest = iovec_offset(work, &count, static_cast<size_t>(first));
  return Passes(sock, rest, count, static_cast<size_t>(first), total, msecs, rule);
}

const TwoPhaseRule kReadEx2 = {false, SO_RCVTIMEO, MSG_WAITALL, true};
const TwoPhaseRule kWriteEx2 = {true, SO_SNDTIMEO, MSG_WAITALL, false};
const TwoPhaseRule kReadV = {false, SO_RCVTIMEO, MSG_WAITALL, false};
const TwoPhaseRule kWriteV = {true, SO_SNDTIMEO, MSG_DONTWAIT, false};

}  // namespace

ssize_t ul_sreado_ms_ex2(int sock, void* ptr, size_t nbytes, int msecs) {
  return TwoPhaseBuffer(sock, ptr, nbytes, msecs, kReadEx2);
}

ssize_t ul_swriteo_ms_ex2(int sock, const void* ptr, size_t nbytes, int msecs) {
  return TwoPhaseBuffer(sock, const_cast<void*>(ptr), nbytes, msecs, kWriteEx2);
}

ssize_t ul_sreadv_ms(int sock, const struct iovec* ve, int count, int msecs) {
  return TwoPhaseVector(sock, ve, count, msecs, kReadV);
}

ssize_t ul_swritev_ms(int sock, const struct iovec* ve, int count, int msecs) {
  return TwoPhaseVector(sock, ve, count, msecs, kWriteV);
}

struct iovec* iovec_offset(struct iovec* ve, int* count, size_t offset) {
  if (ve == nullptr || count == nullptr) return ve;
  while (*count > 0 && ve->iov_len <= offset) {
    offset -= ve->iov_len;
    ++ve;
    --*count;
  }
  if (*count > 0) {
    ve->iov_base = static_cast<char*>(ve->iov_base) + offset;
    ve->iov_len -= offset;
  }
  return ve;
}
