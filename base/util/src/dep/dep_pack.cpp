// Older package interface: blocking and second-based frame forms, the
// exact-length transfers and the skip to the trailer that the frame reader
// and writers use, and non-const overloads.
#include "dep_pack.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include "dep_net.h"
#include "ul_log.h"
#include "toolkit/file.h"
#include "ul_net_internal.h"
#include "ul_pack_frame.h"

int ul_pack_read(int sockfd, ul_package* ppack) { return ulpack::ReadFrame(sockfd, ppack, false, -1); }

int ul_pack_write(int sockfd, ul_package* ppack) {
  return ulpack::WriteFrame(sockfd, ppack, false, -1);
}

int ul_pack_write_m(int sockfd, ul_package* ppack) {
  return ulpack::WriteOneBuffer(sockfd, ppack, false, -1);
}

int ul_pack_reado(int sockfd, ul_package* ppack, int sec) {
  return ul_pack_reado_ms(sockfd, ppack, ulnet::SecondsToMs(sec));
}

int ul_pack_writeo(int sockfd, ul_package* ppack, int sec) {
  return ul_pack_writeo_ms(sockfd, static_cast<const ul_package*>(ppack), ulnet::SecondsToMs(sec));
}

int ul_pack_write_mo(int sockfd, ul_package* ppack, int sec) {
  return ul_pack_write_mo_ms(sockfd, ppack, ulnet::SecondsToMs(sec));
}

// ---------------------------------------------------------------------------
// Exact-length transfers

namespace {

// The failure line of the exact-length reads.
ssize_t ReadResult(int fd, size_t nbytes, ssize_t r) {
  if (r < 0) UL_WARN_ERRNO("read from socket(%d,%zu) failed.error[%d] info is %s.", fd, nbytes);
  return r;
}

int WriteAllResult(int sockfd, int n, ssize_t r) {
  if (r == n) return n;
  UL_WARN_ERRNO("ul_pack_writeall: write socket[%d] error.errno[%d] is %s.", sockfd);
  return -1;
}

}  // namespace

ssize_t ul_pack_readall(int fd, void* ptr1, size_t nbytes) {
  return ReadResult(fd, nbytes, toolkit::ReadWhole(ptr1, nbytes, [&](char* p, size_t n) {
                      return read(fd, p, n);
                    }));
}

ssize_t ul_pack_readallo_ms(int fd, void* ptr1, size_t nbytes, int msec) {
  return ReadResult(fd, nbytes, toolkit::ReadWhole(ptr1, nbytes, [&](char* p, size_t n) {
                      return ul_reado_ms(fd, p, n, msec);
                    }));
}

int ul_pack_writeall(int sockfd, const char* buf, int n) {
  if (n < 0 || (buf == nullptr && n > 0)) return -1;
  return toolkit::WriteAll(sockfd, buf, static_cast<size_t>(n)) ? n : WriteAllResult(sockfd, n, -1);
}

int ul_pack_writeallo_ms(int sockfd, const char* buf, int n, int msec) {
  if (n < 0 || (buf == nullptr && n > 0)) return -1;
  return WriteAllResult(sockfd, n, ul_swriteo_ms_ex(sockfd, buf, static_cast<size_t>(n), msec));
}

int ul_pack_writeallo(int sockfd, const char* buf, int n, int sec) {
  if (n < 0 || (buf == nullptr && n > 0)) return -1;
  return WriteAllResult(sockfd, n, ul_swriteo_ex(sockfd, buf, static_cast<size_t>(n), sec));
}

// ---------------------------------------------------------------------------
// Skipping to the trailer

namespace {

// Reads byte by byte with read_one (1 byte, 0 end of stream, < 0 failure)
// until "~EOF!" has gone by. A '~' always starts a new match, so "~~EOF!"
// and "~E~EOF!" end the skip too.
template <class ReadOne>
int SkipToTrailer(ReadOne read_one) {
  char match[ulpack::kTrailerSize];
  int have = 0;
  for (;;) {
    char c;
    const ssize_t r = read_one(&c);
    if (r == 0) return -1;
    if (r < 0) {
      if (r == -1 && errno == EINTR) continue;
      UL_WARN_ERRNO("ul_pack_readend: read socket error.errno[%d] is %s.");
      return -1;
    }
    if (c == '~') {
      have = 0;
    } else if (have == 0) {
      continue;
    }
    match[have++] = c;
    if (have == ulpack::kTrailerSize) {
      if (memcmp(match, ulpack::kTrailer, ulpack::kTrailerSize) == 0) return 0;
      have = 0;
    }
  }
}

}  // namespace

int ul_pack_readend(int sockfd) {
  return SkipToTrailer([&](char* c) { return read(sockfd, c, 1); });
}

int ul_pack_readendo_ms(int sockfd, int msec) {
  return SkipToTrailer([&](char* c) { return ul_reado_ms(sockfd, c, 1, msec); });
}

// ---------------------------------------------------------------------------
// Older record calls

int ul_pack_getvalue(ul_package* ppack, char* pname, char* pvalue) {
  return ul_pack_getvalue_ex(ppack, pname, pvalue, UL_PACK_ITEMSIZE);
}

int ul_pack_writeo_ms(int sockfd, ul_package* ppack, int msec) {
  return ul_pack_writeo_ms(sockfd, static_cast<const ul_package*>(ppack), msec);
}

int ul_pack_putvalue(ul_package* ppack, char* pname, char* pvalue) {
  return ul_pack_putvalue(ppack, static_cast<const char*>(pname), static_cast<const char*>(pvalue));
}

char* ul_pack_getbuf(ul_package* ppack) {
  return ul_pack_getbuf(static_cast<const ul_package*>(ppack));
}
