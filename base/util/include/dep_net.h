// Older socket interface: blocking exact-length transfers, time-outs in whole
// seconds, connecting by host name, and line reading. Most are thin forms over
// ul_net.h; where they differ from the newer functions, it is said here.
#ifndef DEP_NET_H_
#define DEP_NET_H_

#include <netinet/in.h>
#include <stddef.h>
#include <sys/socket.h>
#include <sys/types.h>

#include "ul_net.h"

// Second-based forms: the seconds x 1000 handed to the millisecond function
// (negative: no limit).
ssize_t ul_sreado(int fd, void* ptr1, size_t nbytes, int secs);      // ul_sreado_ms
ssize_t ul_sreado_ex(int fd, void* ptr1, size_t nbytes, int secs);   // ul_sreado_ms_ex
ssize_t ul_swriteo(int fd, const void* ptr, size_t nbytes, int seconds);     // ul_swriteo_ms
ssize_t ul_swriteo_ex(int fd, const void* ptr, size_t nbytes, int seconds);  // ul_swriteo_ms_ex
ssize_t ul_reado(int fd, void* ptr, size_t nbytes, int seconds);             // ul_reado_ms
ssize_t ul_writeo(int fd, const void* ptr, size_t nbytes, int seconds);      // ul_writeo_ms
int ul_sreadable(int fd, int seconds);   // ul_sreadable_ms
int ul_swriteable(int fd, int seconds);  // ul_swriteable_ms

// Blocking exact-length read, resumed after EINTR: nbytes, fewer at the end
// of the stream, or -1 (logged).
ssize_t ul_sread(int fd, void* ptr1, size_t nbytes);
// Blocking write of everything, resumed after EINTR: nbytes, or the failing
// write's result (0 or -1, logged).
ssize_t ul_swrite(int fd, const void* ptr1, size_t nbytes);
// Exact-length read where every single read may wait the whole msecs (no
// shared budget): nbytes, fewer at the end of the stream, or -1 (ETIMEDOUT on
// time-out, EIO on a failed wait).
ssize_t ul_sreado_ms(int fd, void* ptr1, size_t nbytes, int msecs);
// Wait until writable (-1 failure, 0 time-out), then write everything without
// further time-out (ul_swrite).
ssize_t ul_swriteo_ms(int fd, const void* ptr, size_t nbytes, int mseconds);
// Wait until writable (-1 failure, 0 time-out), then one write.
ssize_t ul_writeo_ms(int fd, const void* ptr, size_t nbytes, int mseconds);

// Connect within secs seconds (negative becomes 0; 0: no limit), as
// ul_xconnecto_tv. ul_connecto_sclose closes the socket on every failure;
// ul_connecto only after a time-out or an error reported by the connection,
// leaving it open (possibly non-blocking) otherwise.
int ul_connecto_sclose(int sockfd, const struct sockaddr* saptr, socklen_t socklen, int secs);
int ul_connecto(int sockfd, const struct sockaddr* saptr, socklen_t socklen, int secs);
// A blocking-connected IPv4 TCP socket to host (dotted or looked up) and
// port, or -1 (nothing left open).
int ul_tcpconnect(const char* host, int port);
// A TCP socket connected within secs to the first address of host and port
// (any family) that answers, or -1. A failed look-up is logged at FATAL
// ("getaddrinfo: %s", "host %s, port %d get 0 addr").
int ul_tcpconnecto(const char* host, int port, int secs);
// The first IPv4 address of hostname into sin->sin_addr, with the
// non-re-entrant gethostbyname: 0, -1 for NULL or empty arguments, -2 when
// the look-up fails (logged).
int ul_gethostipbyname(const char* hostname, struct sockaddr_in* sin);

// Line readers with the stopping rules and result of ul_readlineo_ms: a
// blocking byte-by-byte reader, and readers over the read-ahead buffer rlin.
ssize_t ul_readline(int fd, void* vptr, size_t maxlen);
// The next byte of rlin; a refill waits at most sec seconds (0: a plain
// blocking read). 1, 0 end of stream, -1 failure.
int ul_myread(int fd, char* ptr, Rline* rlin, int sec);
ssize_t ul_readline_speed(int fd, void* vptr, size_t maxlen, Rline* rlin);
// secs is the wait of each refill; negative becomes 0 (no limit).
ssize_t ul_readline_speedo(int fd, void* vptr, size_t maxlen, Rline* rlin, int secs);

#endif  // DEP_NET_H_
