// Fuzzes the log-server frame reader (loghead_read, both forms) over a
// stream that holds the input and then ends, and writes every accepted frame
// back with loghead_write to check that it reproduces the bytes read.
//
// Input layout: one byte of flags (bit 0 requires the magic number, bit 1
// checks the parameters, bit 2 picks the one-buffer form), one byte giving
// the request size, one byte giving the body room (x 4 bytes), then the
// stream. Frames are read until the reader fails (the stream ends); every
// accepted frame must fit the caller's buffers exactly.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "comlog/sendsvr/loghead.h"

using namespace comspace;

namespace {

void WriteAllOrDie(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w <= 0) abort();
    p += w;
    n -= static_cast<size_t>(w);
  }
}

// Writes the frame back and checks the bytes that come out.
void CheckRewrite(const loghead_t& head, const uint8_t* req, size_t req_size, const uint8_t* rest,
                  size_t rest_size, unsigned flags) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) abort();
  int big = 1 << 20;
  setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &big, sizeof(big));
  setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &big, sizeof(big));
  loghead_t copy = head;
  const int rc = loghead_write(fds[0], &copy, const_cast<uint8_t*>(req), req_size, const_cast<uint8_t*>(rest),
                               1000, flags & LOGHEAD_CHECK_MAGICNUM);
  if (rc != LOGHEAD_RET_SUCCESS) abort();
  close(fds[0]);
  std::vector<uint8_t> out;
  uint8_t chunk[4096];
  for (ssize_t r; (r = read(fds[1], chunk, sizeof(chunk))) > 0;) out.insert(out.end(), chunk, chunk + r);
  close(fds[1]);
  if (out.size() != sizeof(loghead_t) + req_size + rest_size) abort();
  if (memcmp(out.data(), &head, sizeof(loghead_t)) != 0) abort();
  if (req_size > 0 && memcmp(out.data() + sizeof(loghead_t), req, req_size) != 0) abort();
  if (rest_size > 0 && memcmp(out.data() + sizeof(loghead_t) + req_size, rest, rest_size) != 0) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > (64 << 10)) return 0;
  const unsigned flags = data[0] & (LOGHEAD_CHECK_MAGICNUM | LOGHEAD_CHECK_PARAM);
  const bool one_buffer = (data[0] & 4) != 0;
  const size_t req_size = data[1];
  const size_t room = static_cast<size_t>(data[2]) * 4;
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) abort();
  int big = 1 << 20;
  setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &big, sizeof(big));
  const size_t len = size - 3;
  if (len > 0) WriteAllOrDie(fds[0], data + 3, len);
  close(fds[0]);

  // Exact-size heap buffers, so that any byte written past them is caught.
  for (size_t calls = 0;; ++calls) {
    if (calls > len / sizeof(loghead_t) + 1) abort();  // each accepted frame takes 36 bytes
    int rc;
    if (one_buffer) {
      const size_t total = sizeof(loghead_t) + room;
      auto* frame = static_cast<loghead_t*>(malloc(total));
      rc = loghead_read(fds[1], frame, total, 1000, flags);
      if (rc == LOGHEAD_RET_SUCCESS) {
        if (frame->body_len > room) abort();
        if ((flags & LOGHEAD_CHECK_MAGICNUM) && frame->magic_num != LOGHEAD_MAGICNUM) abort();
        CheckRewrite(*frame, nullptr, 0, reinterpret_cast<uint8_t*>(frame + 1), frame->body_len, flags);
      }
      free(frame);
    } else {
      loghead_t head;
      auto* req = static_cast<uint8_t*>(malloc(req_size > 0 ? req_size : 1));
      auto* buf = static_cast<uint8_t*>(malloc(room > 0 ? room : 1));
      rc = loghead_read(fds[1], &head, req_size > 0 ? req : nullptr, req_size, buf, room, 1000, flags);
      if (rc == LOGHEAD_RET_SUCCESS) {
        if (head.body_len < req_size || head.body_len - req_size > room) abort();
        if ((flags & LOGHEAD_CHECK_MAGICNUM) && head.magic_num != LOGHEAD_MAGICNUM) abort();
        CheckRewrite(head, req, req_size, buf, head.body_len - req_size, flags);
      }
      free(req);
      free(buf);
    }
    if (rc < LOGHEAD_RET_UNKNOWN || rc > LOGHEAD_RET_SUCCESS) abort();
    // Time-outs cannot happen on a stream that has ended.
    if (rc == LOGHEAD_RET_ETIMEDOUT) abort();
    if (rc != LOGHEAD_RET_SUCCESS) break;
  }
  close(fds[1]);
  return 0;
}
