// Sockets: logged wrappers of the socket calls, listening and connecting
// (IPv4, IPv6 and local-domain stream sockets) with time-outs, the client
// access list, host and service look-ups, and reading and writing with
// time-outs.
//
// Time-outs: an argument named msecs/mseconds is in milliseconds, where a
// negative value means no limit unless the function says otherwise. A
// `struct timeval*` argument is a budget: NULL means no limit, and the time a
// call spends is taken off the caller's timeval (never below zero), so one
// budget can be handed to several calls in a row.
//
// Errors: every function leaves errno as the failing system call set it;
// every time-out sets ETIMEDOUT. Failures are logged through ul_writelog at
// WARNING level (never higher).
#ifndef UL_NET_H_
#define UL_NET_H_

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <stddef.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/uio.h>

#include "ul_conf.h"

// ---------------------------------------------------------------------------
// Records

// Read-ahead state of one connection for the buffered line readers. The
// caller zero-fills it before first use and keeps it for the connection;
// bytes read ahead stay here for the next call.
#define UL_RLINE_BUF_SIZE 1240
typedef struct Rline {
  int read_fd;
  char* read_ptr;      // next unread byte in rl_buf
  size_t read_maxlen;
  int rl_cnt;          // bytes left in rl_buf
  char* rl_bufptr;
  char rl_buf[UL_RLINE_BUF_SIZE];
} Rline;

// Up to ten IPv4 addresses of one host, in network byte order; unused
// entries are 0.
typedef struct sip_group {
  int addrtype;
  unsigned int ip[10];
} sip_group;

// The client access list used by ul_accept: patterns separated by ';', each
// of four dot-separated parts that are "*", a number n or a range a-b
// ("127.0.0.1;192.168.1.*;10.0-3.*.*"). Empty: every client is accepted.
// Process state, filled once at start-up by ul_read_ipaccess_grant.
#define UL_IPACCESS_GRANT_SIZE 256
extern char ul_ipaccess_grant[UL_IPACCESS_GRANT_SIZE + 1];

// ---------------------------------------------------------------------------
// Logged wrappers: one system call; on failure one WARNING line naming the
// call and its arguments; the system result is returned unchanged.

int ul_socket(int family, int type, int protocol);
int ul_connect(int sockfd, const struct sockaddr* sa, socklen_t addrlen);
int ul_bind(int sockfd, const struct sockaddr* myaddr, socklen_t addrlen);
int ul_listen(int sockfd, int backlog);
int ul_getsockname(int sockfd, struct sockaddr* localaddr, socklen_t* addrlen);
int ul_getpeername(int sockfd, struct sockaddr* peeraddr, socklen_t* addrlen);
int ul_setsockopt(int sockfd, int level, int optname, const void* optval, socklen_t optlen);
int ul_getsockopt(int sockfd, int level, int optname, void* optval, socklen_t* optlen);
ssize_t ul_recv(int sockfd, void* buf, size_t len, int flags);
ssize_t ul_send(int sockfd, const void* buf, size_t len, int flags);
int ul_shutdown(int sockid, int howto);
int ul_gethostname(char* name, size_t len);
// The look-up's error number is also put into errno. A name that is not
// found is no failure here: 0 with *result NULL.
int ul_getservbyname_r(const char* name, const char* proto, struct servent* result_buf, char* buf,
                       size_t buflen, struct servent** result);
int ul_getservbyport_r(int port, const char* proto, struct servent* result_buf, char* buf,
                       size_t buflen, struct servent** result);
// close(), not logged.
int ul_sclose(int fd);

// Socket options at SOL_SOCKET. mode 0 sets *val, mode 1 reads into it.
// -1 for a socket below 1, another mode or a NULL value; else the result of
// the set or get call.
int ul_opsockopt_rcvbuf(int sockfd, int* val, int mode);
int ul_opsockopt_sndbuf(int sockfd, int* val, int mode);
int ul_opsockopt_ruseaddr(int sockfd, int* val, int mode);
int ul_opsockopt_keepalive(int sockfd, int* val, int mode);
int ul_opsockopt_rcvtimeo(int sockfd, struct timeval* tv, int mode);
int ul_opsockopt_sndtimeo(int sockfd, struct timeval* tv, int mode);

// ---------------------------------------------------------------------------
// Listening, accepting, connecting

// A TCP socket with SO_REUSEADDR, bound to the any-address and port and
// listening with a backlog of queue (5 when queue < 1). With isv6 the socket
// is IPv6 (it also takes IPv4 clients, as v4-mapped addresses). The socket,
// or -1 (nothing left open).
int ul_tcplisten(int port, int queue);
int ul_tcplisten(int port, int queue, int isv6);
// A local-domain stream socket bound to path (an existing file of that name
// is removed first) and listening (queue < 1: 5). -1 for a NULL or empty path
// or one too long for a socket address (107 bytes at most).
int ul_tcpdomainlisten(const char* path, int queue);
// A local-domain stream socket connected to path; -1 on failure or a path
// too long for a socket address.
int ul_tcpdomainconnect(const char* path);
// An IPv4 TCP socket connected to *psin without time-out; -1 on failure.
int ul_tcpconnect2(const struct sockaddr_in* psin);

// Accepts a client. accept() failing with EPROTO or ECONNABORTED is tried
// again. With a non-empty ul_ipaccess_grant, the client's address must match
// it: an IPv4 client (or an IPv4 client of an IPv6 listener, as a v4-mapped
// address) is matched by its dotted address; every other client (IPv6, local
// domain) has no IPv4 address and is refused. A refused client is closed and
// logged as "When server listened on port %d a client from ip %s try to
// connect.". Returns the new socket, or -1.
int ul_accept(int sockfd, struct sockaddr* sa, socklen_t* addrlen);
// Empties ul_ipaccess_grant, reads the key "ip-access-grant" (at most 256
// bytes) from pd_conf when given, and sets "127.0.0.1;192.168.1.*" when the
// list is still empty. Returns 0.
int ul_read_ipaccess_grant(const Ul_confdata* pd_conf);
// 1 when ip matches one of the ';'-separated patterns (an empty or NULL
// pattern list admits everything), else 0. Patterns of 256 bytes or more are
// skipped.
int is_ip_allowed(const char* ip, const char* pattern);
// 1 when all four parts of ip fit those of subnet, 0 when one does not, -1
// when either text is malformed (a missing part, a part that is not a number).
int is_in_subnet(const char* ip, const char* subnet);
// Tests one part: fromip and part point at the start of a part (the text up
// to the next '.' or the end). part "*..." fits anything; "n" fits n; "a-b"
// fits a..b. 1 fits, 0 does not, -1 malformed.
int is_onepart_fit(const char* fromip, const char* part);

// Connects sockfd to saptr within the budget tv (NULL: no limit). The socket
// is made non-blocking for the attempt and its flags are restored on success
// and on an immediate refusal. Returns 0, or -1:
//  - socket below 1; no address (the socket is closed);
//  - time-out: the socket is closed whatever isclose says, errno ETIMEDOUT;
//  - refusal or another error reported by the connection (SO_ERROR): the
//    socket is closed whatever isclose says, errno is that error;
//  - any other failure: the socket is closed only when isclose is not 0.
int ul_xconnecto_tv(int sockfd, const struct sockaddr* saptr, socklen_t socklen, struct timeval* tv,
                    int isclose);
// ul_xconnecto_tv with a budget of msecs (0 or less: no limit); the first
// closes the socket on every failure, the second as isclose 0.
int ul_connecto_sclose_ms(int sockfd, const struct sockaddr* saptr, socklen_t socklen, int msecs);
int ul_connecto_ms_ex(int sockfd, const struct sockaddr* saptr, socklen_t socklen, int msecs);
// A connected IPv4 TCP socket to host (a dotted address, else a name looked
// up with ul_gethostbyname_r) and port within msecs (0 or less: no limit);
// -1 on failure.
int ul_tcpconnecto_ms(const char* host, int port, int msecs);

// Fills an IPv4 address: zeroed, AF_INET, ip (dotted text; NULL: any address)
// and port (host order, stored in network order). 0, or -1 for a NULL record
// or an ip that does not parse.
int ul_fillsa4(struct sockaddr_in* soin, const char* ip, int port);
// 1 when fd is a socket, 0 when not, -1 when fstat fails.
int ul_issocket(int fd);
// 1234 on a little-endian machine, 4321 on a big-endian one, -1 otherwise.
int ul_gethostbyteorder();

// ---------------------------------------------------------------------------
// Name and service look-ups

// gethostbyname_r with logging: 0 when it found the host (*result set), else
// -1 (*result NULL, *h_err the resolver's error).
int ul_gethostbyname_r(const char* hostname, struct hostent* result_buf, char* buf, size_t buflen,
                       struct hostent** result, int* h_err);
// Looks up hostname. mode != 0: its first address into soin->sin_addr (the
// record zeroed first, only the address set). mode 0: the address as text into
// asc_str (16 bytes for IPv4, 46 for IPv6). 0, -1 for a NULL or empty name or
// a missing output, -2 when the look-up fails (h_errno set).
int ul_gethostipbyname_r(const char* hostname, struct sockaddr_in* soin, int mode, char* asc_str);
// ul_gethostipbyname_r, and sip receives the address type and the first 4
// bytes of each of up to 10 addresses (the rest 0).
int ul_gethostallipbyname_r(const char* hostname, struct sockaddr_in* soin, int mode, char* asc_str,
                            sip_group* sip);
// The port of a service, in network byte order as the service database holds
// it; stored into *port and returned. -1 for NULL or empty arguments or an
// unknown service.
int ul_getportbyserv(const char* name, const char* proto, int* port);

// ---------------------------------------------------------------------------
// Time budgets

void cnvt_ms_timeval(int msec, struct timeval* ptv);
// Milliseconds of *ptv (at most INT_MAX); -1 for NULL.
int cnvt_timeval_ms(const struct timeval* ptv);
// Lowers *tv by after - before, not below zero.
void ul_sub_timeval(struct timeval* tv, const struct timeval* before, const struct timeval* after);

// ---------------------------------------------------------------------------
// Waiting

// poll() resumed after EINTR with the time-out lowered by the time already
// waited. 0 with errno ETIMEDOUT on time-out; a failure is logged.
int ul_poll(struct pollfd* fdarray, nfds_t nfds, int timeout);
// select() resumed after EINTR (with the same time-out). 0 with ETIMEDOUT on
// time-out; a failure is logged.
int ul_select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds,
              struct timeval* timeout);
// Waits until fd is readable / writable: > 0 ready, 0 time-out (ETIMEDOUT),
// -1 failure.
int ul_sreadable_ms(int fd, int mseconds);
int ul_swriteable_ms(int fd, int mseconds);
int ul_sreadable_tv(int fd, struct timeval* tv);
int ul_swriteable_tv(int fd, struct timeval* tv);

// ---------------------------------------------------------------------------
// Reading and writing with time-outs

// One read after waiting until fd is readable: the read's result, -2 on
// time-out (ETIMEDOUT), -3 when the wait failed.
ssize_t ul_reado_ms(int fd, void* ptr, size_t nbytes, int msecs);
ssize_t ul_reado_tv(int fd, void* ptr, size_t nbytes, struct timeval* tv);
// One write after waiting until fd is writable: the write's result, -2 on
// time-out (ETIMEDOUT), -1 when the wait failed.
ssize_t ul_writeo_tv(int fd, const void* ptr, size_t nbytes, struct timeval* tv);

// Reads exactly nbytes within one budget of msecs for the whole call (0: only
// what is waiting now; negative: no limit). Returns nbytes, fewer when the
// stream ends first, or -1: ETIMEDOUT on time-out, EIO when a wait failed,
// else the read's error.
ssize_t ul_sreado_ms_ex(int fd, void* ptr1, size_t nbytes, int msecs);
// Writes all nbytes within one budget of msecs. A blocking socket is made
// non-blocking for the call and blocking again before every return. Returns
// nbytes, or -1 (ETIMEDOUT on time-out).
ssize_t ul_swriteo_ms_ex(int fd, const void* ptr1, size_t nbytes, int msecs);

// Line readers. They store bytes into vptr until a '\n' (stored) or until
// maxlen - 1 bytes are stored, and always NUL-terminate. Result: the number
// of bytes stored when the line ended with '\n'; one more than the bytes
// stored when it ended at the size limit or at the end of the stream; 0 when
// the stream ended before the first byte; a negative value on failure
// (-1 with EINVAL for maxlen < 1, nothing written).
//
// Byte by byte, each byte waiting at most msecs (readlineo: seconds); a
// failure returns the byte read's failure (-1, errno ETIMEDOUT or EIO).
ssize_t ul_readlineo_ms(int fd, void* vptr, size_t maxlen, int msecs);
ssize_t ul_readlineo(int fd, void* vptr, size_t maxlen, int secs);
// Through the read-ahead buffer rlin, within one budget of msecs for the
// whole line (0 or less: no limit); failure -1.
ssize_t ul_readline_speedo_ms_ex(int fd, void* vptr, size_t maxlen, Rline* rlin, int msecs);
// Hands out the next byte of rlin, refilling it with one read of up to 1240
// bytes within the budget tv when it is empty: 1 one byte, 0 end of stream,
// -1 failure.
int ul_myread_tv(int fd, char* ptr, Rline* rlin, struct timeval* tv);

// File status flags (fcntl F_GETFL), or -1 (logged).
int ul_getsockflag(int sd);
// Clear / set O_NONBLOCK (nothing to do when already so): 0, or -1 (logged).
int ul_setsocktoblock(int sd);
int ul_setsocktonoblock(int sd);
// Bytes waiting to be read (at most 65535), or -1.
int ul_getrecvqueuesize(int sd);

// Two-phase transfers: one non-blocking call first (a transfer that fits
// costs one system call), then blocking passes with the kernel's socket
// time-out (SO_RCVTIMEO / SO_SNDTIMEO). The socket's blocking mode and
// kernel time-out are restored before returning (-1 when restoring fails).
// msecs 0: only the first call (ETIMEDOUT, -1 when it did not complete);
// negative: 2147483647 ms.
//
// Reading: every pass may wait msecs; a short pass that took the whole
// time-out ends with ETIMEDOUT, -1. Returns nbytes, fewer at the end of the
// stream, or -1.
ssize_t ul_sreado_ms_ex2(int sock, void* ptr, size_t nbytes, int msecs);
// Writing: one budget of msecs for all passes. Returns nbytes or -1.
ssize_t ul_swriteo_ms_ex2(int sock, const void* ptr, size_t nbytes, int msecs);
// Scatter/gather forms of the same, over count (1..1023, else EINVAL) entries
// of ve, which is left unchanged; msecs 0 fails with ETIMEDOUT before any
// transfer. One budget of msecs for the whole call. Returns the bytes
// transferred (the total, fewer at the end of the stream) or -1.
ssize_t ul_sreadv_ms(int sock, const struct iovec* ve, int count, int msecs);
ssize_t ul_swritev_ms(int sock, const struct iovec* ve, int count, int msecs);
// Skips offset bytes of the vector ve of *count entries: whole entries are
// skipped and *count lowered, a partly used entry gets its base moved and its
// length reduced. Returns the first entry left (*count 0 when all is used).
struct iovec* iovec_offset(struct iovec* ve, int* count, size_t offset);

#endif  // UL_NET_H_
