// Older socket interface, over the newer functions of ul_net.h.
#include "dep_net.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "ul_log.h"
#include "toolkit/file.h"
#include "ul_net_internal.h"

using ulnet::SecondsToMs;

ssize_t ul_sreado(int fd, void* ptr1, size_t nbytes, int secs) {
  return ul_sreado_ms(fd, ptr1, nbytes, SecondsToMs(secs));
}

ssize_t ul_sreado_ex(int fd, void* ptr1, size_t nbytes, int secs) {
  return ul_sreado_ms_ex(fd, ptr1, nbytes, SecondsToMs(secs));
}

ssize_t ul_swriteo(int fd, const void* ptr, size_t nbytes, int seconds) {
  return ul_swriteo_ms(fd, ptr, nbytes, SecondsToMs(seconds));
}

ssize_t ul_swriteo_ex(int fd, const void* ptr, size_t nbytes, int seconds) {
  return ul_swriteo_ms_ex(fd, ptr, nbytes, SecondsToMs(seconds));
}

ssize_t ul_reado(int fd, void* ptr, size_t nbytes, int seconds) {
  return ul_reado_ms(fd, ptr, nbytes, SecondsToMs(seconds));
}

ssize_t ul_writeo(int fd, const void* ptr, size_t nbytes, int seconds) {
  return ul_writeo_ms(fd, ptr, nbytes, SecondsToMs(seconds));
}

int ul_sreadable(int fd, int seconds) { return ul_sreadable_ms(fd, SecondsToMs(seconds)); }

int ul_swriteable(int fd, int seconds) { return ul_swriteable_ms(fd, SecondsToMs(seconds)); }

ssize_t ul_sread(int fd, void* ptr1, size_t nbytes) {
  const ssize_t r = toolkit::ReadFull(fd, ptr1, nbytes);
  if (r < 0) {
    UL_WARN_ERRNO("read from socket(%d,%ld) failed.error[%d] info is %s.", fd, static_cast<long>(nbytes));
  }
  return r;
}

ssize_t ul_swrite(int fd, const void* ptr1, size_t nbytes) {
  const char* p = static_cast<const char*>(ptr1);
  size_t done = 0;
  while (done < nbytes) {
    errno = 0;
    const ssize_t r = write(fd, p + done, nbytes - done);
    if (r > 0) {
      done += static_cast<size_t>(r);
    } else if (errno != EINTR) {
      UL_WARN_ERRNO("write to socket(%d,%ld) failed.error[%d] info is %s.", fd,
                    static_cast<long>(nbytes));
      return r;
    }
  }
  return static_cast<ssize_t>(nbytes);
}

ssize_t ul_sreado_ms(int fd, void* ptr1, size_t nbytes, int msecs) {
  return toolkit::ReadWhole(ptr1, nbytes,
                          [&](char* p, size_t n) { return ul_reado_ms(fd, p, n, msecs); });
}

ssize_t ul_swriteo_ms(int fd, const void* ptr, size_t nbytes, int mseconds) {
  const int w = ul_swriteable_ms(fd, mseconds);
  if (w <= 0) return w;
  return ul_swrite(fd, ptr, nbytes);
}

ssize_t ul_writeo_ms(int fd, const void* ptr, size_t nbytes, int mseconds) {
  const int w = ul_swriteable_ms(fd, mseconds);
  if (w <= 0) return w;
  return write(fd, ptr, nbytes);
}

int ul_connecto_sclose(int sockfd, const struct sockaddr* saptr, socklen_t socklen, int secs) {
  return ulnet::ConnectWithin(sockfd, saptr, socklen, SecondsToMs(secs), 1);
}

int ul_connecto(int sockfd, const struct sockaddr* saptr, socklen_t socklen, int secs) {
  return ulnet::ConnectWithin(sockfd, saptr, socklen, SecondsToMs(secs), 0);
}

int ul_tcpconnect(const char* host, int port) {
  sockaddr_in in;
  if (!ulnet::HostAddress(host, port, &in)) return -1;
  toolkit::UniqueFd fd(ul_socket(AF_INET, SOCK_STREAM, 0), toolkit::CloseKeepingErrno);
  if (!fd.ok()) return -1;
  if (ul_connect(fd.get(), reinterpret_cast<sockaddr*>(&in), sizeof(in)) < 0) return -1;
  return fd.release();
}

int ul_tcpconnecto(const char* host, int port, int secs) {
  if (host == nullptr) return -1;
  addrinfo hints;
  memset(&hints, 0, sizeof(hints));
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  char service[16];
  snprintf(service, sizeof(service), "%d", port);
  addrinfo* list = nullptr;
  const int rc = getaddrinfo(host, service, &hints, &list);
  if (rc != 0) {
    ul_writelog(UL_LOG_FATAL, "getaddrinfo: %s", gai_strerror(rc));
    return -1;
  }
  if (list == nullptr) {
    ul_writelog(UL_LOG_FATAL, "host %s, port %d get 0 addr", host, port);
    return -1;
  }
  int connected = -1;
  for (addrinfo* ai = list; ai != nullptr && connected < 0; ai = ai->ai_next) {
    const int fd = ul_socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    if (fd < 0) continue;
    if (ul_connecto_sclose(fd, ai->ai_addr, ai->ai_addrlen, secs) == 0) connected = fd;
  }
  freeaddrinfo(list);
  return connected;
}

int ul_gethostipbyname(const char* hostname, struct sockaddr_in* sin) {
  if (hostname == nullptr || hostname[0] == '\0' || sin == nullptr) return -1;
  const hostent* he = gethostbyname(hostname);
  if (he == nullptr || he->h_addr_list[0] == nullptr) {
    ul_writelog(UL_LOG_WARNING, "gethostbyname(%s) call failed.error is %s.", hostname,
                hstrerror(h_errno));
    return -2;
  }
  memcpy(&sin->sin_addr, he->h_addr_list[0], he->h_length < 4 ? he->h_length : 4);
  return 0;
}

ssize_t ul_readline(int fd, void* vptr, size_t maxlen) {
  return ulnet::ReadLine(vptr, maxlen, [&](char* c) { return read(fd, c, 1); });
}

int ul_myread(int fd, char* ptr, Rline* rlin, int sec) {
  return ulnet::RlineNext(ptr, rlin, [&](char* buf, size_t n) {
    return sec == 0 ? read(fd, buf, n) : ul_reado(fd, buf, n, sec);
  });
}

ssize_t ul_readline_speed(int fd, void* vptr, size_t maxlen, Rline* rlin) {
  return ulnet::ReadLine(vptr, maxlen, [&](char* c) { return ul_myread(fd, c, rlin, 0); });
}

ssize_t ul_readline_speedo(int fd, void* vptr, size_t maxlen, Rline* rlin, int secs) {
  if (secs < 0) secs = 0;
  return ulnet::ReadLine(vptr, maxlen, [&](char* c) { return ul_myread(fd, c, rlin, secs); });
}
