// Fuzzes the package frame readers of sockets (ul_pack_reado_ms and the
// blocking ul_pack_read) over a stream that holds the input and then ends.
//
// Input layout: one byte giving the body room (x 4 bytes), one byte whose
// low bit picks the blocking reader, then the stream. Frames are read until
// the reader reports the end (-2); every call must consume input, and every
// accepted frame must fit the room and read back the same.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "dep_pack.h"
#include "pack_checks.h"
#include "support/scratch_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  packfuzz::QuietLog(testsupport::ProcessScratchDir().c_str());
  if (size < 2 || size > (64 << 10)) return 0;
  const int room = packfuzz::Room(data[0]);
  const bool blocking = (data[1] & 1) != 0;
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) abort();
  int big = 1 << 20;
  setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &big, sizeof(big));
  const size_t len = size - 2;
  if (len > 0 && write(fds[0], data + 2, len) != static_cast<ssize_t>(len)) abort();
  close(fds[0]);

  packfuzz::Package pack(0, room);
  // A frame takes at least 25 bytes and a skip at least 5: the stream ends
  // after at most len / 5 + 1 calls.
  for (size_t calls = 0;; ++calls) {
    if (calls > len / 5 + 1) abort();
    pack.Reset();
    const int r = blocking ? ul_pack_read(fds[1], pack.p) : ul_pack_reado_ms(fds[1], pack.p, 1000);
    if (r == -2) break;
    if (r < -2 || r > room) abort();
    if (r >= 0) {
      if (pack.p->bufsize != room) abort();  // a socket read keeps the room
      packfuzz::CheckPairs(pack.p);
      packfuzz::CheckRoundTrip(pack.p, r);
    }
  }
  close(fds[1]);
  return 0;
}
