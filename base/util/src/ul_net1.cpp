// Sockets: logged wrappers of the socket calls, socket options, listening
// and connecting with time-outs over IPv4, IPv6 and local-domain stream
// sockets, accepting against the client access list, and host and service
// look-ups.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <string_view>

#include "toolkit/file.h"
#include "ul_log.h"
#include "ul_net.h"
#include "ul_net_internal.h"

char ul_ipaccess_grant[UL_IPACCESS_GRANT_SIZE + 1] = "";

namespace {

const char kDefaultGrant[] = "127.0.0.1;192.168.1.*";

// The family, port and address fields of an address as they are stored
// (network order), for the connect and bind lines; zeros when the record is
// too short to hold them.
struct AddrFields {
  int family = 0;
  int port = 0;
  unsigned int addr = 0;
};

AddrFields Fields(const sockaddr* sa, socklen_t len) {
  AddrFields f;
  if (sa == nullptr) return f;
  if (len >= static_cast<socklen_t>(sizeof(sa_family_t))) f.family = sa->sa_family;
  if (len >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
    sockaddr_in in;
    memcpy(&in, sa, sizeof(in));
    f.port = in.sin_port;
    f.addr = in.sin_addr.s_addr;
  }
  return f;
}

void WarnConnect(int sockfd, const sockaddr* sa, socklen_t addrlen) {
  const AddrFields f = Fields(sa, addrlen);
  UL_WARN_ERRNO("connect(%d,<%d,%d,%u>,%d) call failed.error[%d] info is %s.", sockfd, f.family,
                f.port, f.addr, static_cast<int>(addrlen));
}

}  // namespace

// ---------------------------------------------------------------------------
// Logged wrappers

int ul_socket(int family, int type, int protocol) {
  const int r = socket(family, type, protocol);
  if (r < 0) {
    UL_WARN_ERRNO("socket(%d,%d,%d) call failed.error[%d] info is %s.", family, type, protocol);
  }
  return r;
}

int ul_connect(int sockfd, const struct sockaddr* sa, socklen_t addrlen) {
  const int r = connect(sockfd, sa, addrlen);
  if (r < 0) WarnConnect(sockfd, sa, addrlen);
  return r;
}

int ul_bind(int sockfd, const struct sockaddr* myaddr, socklen_t addrlen) {
  const int r = bind(sockfd, myaddr, addrlen);
  if (r < 0) {
    const AddrFields f = Fields(myaddr, addrlen);
    UL_WARN_ERRNO("bind(%d,<%d,%d,%u>,%d) call failed.error[%d] info is %s.", sockfd, f.family,
                  f.port, f.addr, static_cast<int>(addrlen));
  }
  return r;
}

int ul_listen(int sockfd, int backlog) {
  const int r = listen(sockfd, backlog);
  if (r < 0) UL_WARN_ERRNO("listen(%d,%d) call failed.error[%d] info is %s.", sockfd, backlog);
  return r;
}

int ul_getsockname(int sockfd, struct sockaddr* localaddr, socklen_t* addrlen) {
  const int r = getsockname(sockfd, localaddr, addrlen);
  if (r < 0) UL_WARN_ERRNO("getsockname(%d) call failed.error[%d] info is %s.", sockfd);
  return r;
}

int ul_getpeername(int sockfd, struct sockaddr* peeraddr, socklen_t* addrlen) {
  const int r = getpeername(sockfd, peeraddr, addrlen);
  if (r < 0) UL_WARN_ERRNO("getpeername(%d) call failed.error[%d] info is %s.\n", sockfd);
  return r;
}

int ul_setsockopt(int sockfd, int level, int optname, const void* optval, socklen_t optlen) {
  const int r = setsockopt(sockfd, level, optname, optval, optlen);
  if (r < 0) {
    UL_WARN_ERRNO("setsockopt(%d,%d,%d) call failed.error[%d] info is %s.", sockfd, level,
                  optname);
  }
  return r;
}

int ul_getsockopt(int sockfd, int level, int optname, void* optval, socklen_t* optlen) {
  const int r = getsockopt(sockfd, level, optname, optval, optlen);
  if (r < 0) {
    UL_WARN_ERRNO("getsockopt(%d,%d,%d) call failed.error[%d] info is %s.", sockfd, level,
                  optname);
  }
  return r;
}

ssize_t ul_recv(int sockfd, void* buf, size_t len, int flags) {
  const ssize_t r = recv(sockfd, buf, len, flags);
  if (r < 0) {
    UL_WARN_ERRNO("recv(%d,%ld,%d) call failed.error[%d] info is %s.", sockfd,
                  static_cast<long>(len), flags);
  }
  return r;
}

ssize_t ul_send(int sockfd, const void* buf, size_t len, int flags) {
  const ssize_t r = send(sockfd, buf, len, flags);
  if (r < 0) {
    UL_WARN_ERRNO("send(%d,%ld,%d) call failed.error[%d] info is %s.", sockfd,
                  static_cast<long>(len), flags);
  }
  return r;
}

int ul_shutdown(int sockid, int howto) {
  const int r = shutdown(sockid, howto);
  if (r < 0) UL_WARN_ERRNO("shutdown(%d,%d) call failed.error[%d] info is %s.", sockid, howto);
  return r;
}

int ul_gethostname(char* name, size_t len) {
  const int r = gethostname(name, len);
  if (r < 0) {
    UL_WARN_ERRNO("gethostname(%ld) call failed.error[%d] info is %s.", static_cast<long>(len));
  }
  return r;
}

int ul_getservbyname_r(const char* name, const char* proto, struct servent* result_buf, char* buf,
                       size_t buflen, struct servent** result) {
  const int r = getservbyname_r(name, proto, result_buf, buf, buflen, result);
  if (r != 0) {
    errno = r;
    UL_WARN_ERRNO("getservbyname_r(%s,%s) call failed.error[%d] info is %s.",
                  name != nullptr ? name : "(null)", proto != nullptr ? proto : "(null)");
  }
  return r;
}

int ul_getservbyport_r(int port, const char* proto, struct servent* result_buf, char* buf,
                       size_t buflen, struct servent** result) {
  const int r = getservbyport_r(port, proto, result_buf, buf, buflen, result);
  if (r != 0) {
    errno = r;
    UL_WARN_ERRNO("getservbyport_r(%d,%s) call failed.error[%d] info is %s.", port,
                  proto != nullptr ? proto : "(null)");
  }
  return r;
}

int ul_sclose(int fd) { return close(fd); }

// ---------------------------------------------------------------------------
// Socket options

namespace {

template <class T>
int OpSockOpt(int sockfd, int optname, T* val, int mode) {
  if (sockfd < 1 || (mode != 0 && mode != 1) || val == nullptr) return -1;
  if (mode == 0) return ul_setsockopt(sockfd, SOL_SOCKET, optname, val, sizeof(T));
  socklen_t len = sizeof(T);
  return ul_getsockopt(sockfd, SOL_SOCKET, optname, val, &len);
}

}  // namespace

int ul_opsockopt_rcvbuf(int sockfd, int* val, int mode) {
  return OpSockOpt(sockfd, SO_RCVBUF, val, mode);
}
int ul_opsockopt_sndbuf(int sockfd, int* val, int mode) {
  return OpSockOpt(sockfd, SO_SNDBUF, val, mode);
}
int ul_opsockopt_ruseaddr(int sockfd, int* val, int mode) {
  return OpSockOpt(sockfd, SO_REUSEADDR, val, mode);
}
int ul_opsockopt_keepalive(int sockfd, int* val, int mode) {
  return OpSockOpt(sockfd, SO_KEEPALIVE, val, mode);
}
int ul_opsockopt_rcvtimeo(int sockfd, struct timeval* tv, int mode) {
  return OpSockOpt(sockfd, SO_RCVTIMEO, tv, mode);
}
int ul_opsockopt_sndtimeo(int sockfd, struct timeval* tv, int mode) {
  return OpSockOpt(sockfd, SO_SNDTIMEO, tv, mode);
}

// ---------------------------------------------------------------------------
// Listening and connecting

namespace {

// Binds a new stream socket of the address's family and listens; the socket
// or -1 (closed again).
int ListenOn(const sockaddr* sa, socklen_t len, int queue, bool reuse) {
  toolkit::UniqueFd fd(ul_socket(sa->sa_family, SOCK_STREAM, 0), toolkit::CloseKeepingErrno);
  if (!fd.ok()) return -1;
  const int on = 1;
  if ((reuse && ul_setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) < 0) ||
      ul_bind(fd.get(), sa, len) < 0 || ul_listen(fd.get(), queue < 1 ? 5 : queue) < 0) {
    return -1;
  }
  return fd.release();
}

// A local-domain address for path; false when the path is empty or does not
// fit (with its NUL) into the address.
bool UnixAddress(const char* path, sockaddr_un* un) {
  if (path == nullptr || path[0] == '\0') return false;
  memset(un, 0, sizeof(*un));
  const size_t n = strlen(path);
  if (n >= sizeof(un->sun_path)) {
    errno = ENAMETOOLONG;
    return false;
  }
  un->sun_family = AF_UNIX;
  memcpy(un->sun_path, path, n);
  return true;
}

}  // namespace

int ul_tcplisten(int port, int queue) {
  sockaddr_in in;
  memset(&in, 0, sizeof(in));
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(INADDR_ANY);
  in.sin_port = htons(static_cast<uint16_t>(port));
  return ListenOn(reinterpret_cast<sockaddr*>(&in), sizeof(in), queue, true);
}

int ul_tcplisten(int port, int queue, int isv6) {
  if (!isv6) return ul_tcplisten(port, queue);
  sockaddr_in6 in6;
  memset(&in6, 0, sizeof(in6));
  in6.sin6_family = AF_INET6;
  in6.sin6_addr = in6addr_any;
  in6.sin6_port = htons(static_cast<uint16_t>(port));
  return ListenOn(reinterpret_cast<sockaddr*>(&in6), sizeof(in6), queue, true);
}

int ul_tcpdomainlisten(const char* path, int queue) {
  sockaddr_un un;
  if (!UnixAddress(path, &un)) return -1;
  unlink(path);
  return ListenOn(reinterpret_cast<sockaddr*>(&un), sizeof(un), queue, false);
}

int ul_tcpdomainconnect(const char* path) {
  sockaddr_un un;
  if (!UnixAddress(path, &un)) return -1;
  toolkit::UniqueFd fd(ul_socket(AF_UNIX, SOCK_STREAM, 0), toolkit::CloseKeepingErrno);
  if (!fd.ok()) return -1;
  if (ul_connect(fd.get(), reinterpret_cast<sockaddr*>(&un), sizeof(un)) < 0) return -1;
  return fd.release();
}

int ul_tcpconnect2(const struct sockaddr_in* psin) {
  if (psin == nullptr) return -1;
  toolkit::UniqueFd fd(ul_socket(AF_INET, SOCK_STREAM, 0), toolkit::CloseKeepingErrno);
  if (!fd.ok()) return -1;
  if (ul_connect(fd.get(), reinterpret_cast<const sockaddr*>(psin), sizeof(*psin)) < 0) return -1;
  return fd.release();
}

int ul_fillsa4(struct sockaddr_in* soin, const char* ip, int port) {
  if (soin == nullptr) return -1;
  memset(soin, 0, sizeof(*soin));
  soin->sin_family = AF_INET;
  if (ip == nullptr) {
    soin->sin_addr.s_addr = htonl(INADDR_ANY);
  } else {
    const in_addr_t a = inet_addr(ip);
    if (a == INADDR_NONE) return -1;
    soin->sin_addr.s_addr = a;
  }
  soin->sin_port = htons(static_cast<uint16_t>(port));
  return 0;
}

int ul_issocket(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return -1;
  return S_ISSOCK(st.st_mode) ? 1 : 0;
}

int ul_gethostbyteorder() {
  const uint32_t probe = 0x01020304;
  unsigned char b[4];
  memcpy(b, &probe, sizeof(b));
  if (b[0] == 4 && b[3] == 1) return 1234;
  if (b[0] == 1 && b[3] == 4) return 4321;
  return -1;
}

int ul_xconnecto_tv(int sockfd, const struct sockaddr* saptr, socklen_t socklen, struct timeval* tv,
                    int isclose) {
  if (sockfd < 1) return -1;
  if (saptr == nullptr) {
    close(sockfd);
    return -1;
  }
  auto fail = [&](bool always_close) {
    toolkit::ErrnoKeeper keep;
    if (always_close || isclose) close(sockfd);
    return -1;
  };
  const int flags = ul_getsockflag(sockfd);
  if (flags < 0) return fail(false);
  const bool was_blocking = (flags & O_NONBLOCK) == 0;
  if (was_blocking && ulnet::SetFileFlags(sockfd, flags | O_NONBLOCK) < 0) return fail(false);
  auto restore = [&] {
    toolkit::ErrnoKeeper keep;
    return !was_blocking || ulnet::SetFileFlags(sockfd, flags) == 0;
  };
  if (connect(sockfd, saptr, socklen) == 0) return restore() ? 0 : fail(false);
  if (errno != EINPROGRESS && errno != EINTR) {
    WarnConnect(sockfd, saptr, socklen);
    restore();
    return fail(false);
  }
  pollfd p = {sockfd, POLLIN | POLLOUT, 0};
  const int64_t t0 = ulnet::NowUs();
  const int w = ul_poll(&p, 1, ulnet::BudgetToPollMs(tv));
  ulnet::SpendBudget(tv, ulnet::NowUs() - t0);
  if (w == 0) {
    errno = ETIMEDOUT;
    return fail(true);
  }
  if (w < 0 || (p.revents & (POLLIN | POLLOUT | POLLERR | POLLHUP)) == 0) return fail(false);
  int err = 0;
  socklen_t len = sizeof(err);
  if (ul_getsockopt(sockfd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) return fail(false);
  const bool restored = restore();
  if (err != 0) {
    errno = err;
    return fail(true);
  }
  return restored ? 0 : fail(false);
}

int ulnet::ConnectWithin(int sockfd, const sockaddr* saptr, socklen_t socklen, int msecs,
                         int isclose) {
  timeval budget;
  timeval* tv = nullptr;
  if (msecs > 0) {
    cnvt_ms_timeval(msecs, &budget);
    tv = &budget;
  }
  return ul_xconnecto_tv(sockfd, saptr, socklen, tv, isclose);
}

int ul_connecto_sclose_ms(int sockfd, const struct sockaddr* saptr, socklen_t socklen, int msecs) {
  return ulnet::ConnectWithin(sockfd, saptr, socklen, msecs, 1);
}

int ul_connecto_ms_ex(int sockfd, const struct sockaddr* saptr, socklen_t socklen, int msecs) {
  return ulnet::ConnectWithin(sockfd, saptr, socklen, msecs, 0);
}

bool ulnet::HostAddress(const char* host, int port, sockaddr_in* out) {
  if (host == nullptr) return false;
  memset(out, 0, sizeof(*out));
  out->sin_family = AF_INET;
  out->sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, host, &out->sin_addr) == 1) return true;
  hostent he;
  hostent* found = nullptr;
  char buf[8192];
  int h_err = 0;
  if (ul_gethostbyname_r(host, &he, buf, sizeof(buf), &found, &h_err) != 0) return false;
  if (found->h_addrtype != AF_INET || found->h_addr_list[0] == nullptr) return false;
  memcpy(&out->sin_addr, found->h_addr_list[0], sizeof(out->sin_addr));
  return true;
}

int ul_tcpconnecto_ms(const char* host, int port, int msecs) {
  sockaddr_in in;
  if (!ulnet::HostAddress(host, port, &in)) return -1;
  const int fd = ul_socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  if (ul_connecto_sclose_ms(fd, reinterpret_cast<sockaddr*>(&in), sizeof(in), msecs) < 0) return -1;
  return fd;
}

// ---------------------------------------------------------------------------
// Access list

namespace {

// Parses the decimal number at p (no sign); false when there is no digit or
// the number is too large to be an address part.
bool ParseNumber(const char*& p, long* out) {
  if (*p < '0' || *p > '9') return false;
  long v = 0;
  while (*p >= '0' && *p <= '9') {
    v = v * 10 + (*p - '0');
    if (v > 99999999) return false;
    ++p;
  }
  *out = v;
  return true;
}

bool EndsPart(char c) { return c == '.' || c == '\0'; }

// The text after the n-th '.' of s (n 0: s itself); NULL when s has fewer
// dots.
const char* Part(const char* s, int n) {
  for (; n > 0; --n) {
    s = strchr(s, '.');
    if (s == nullptr) return nullptr;
    ++s;
  }
  return s;
}

}  // namespace

int is_onepart_fit(const char* fromip, const char* part) {
  if (fromip == nullptr || part == nullptr) return -1;
  const char* b = part;
  while (*b == ' ' || *b == '\t') ++b;  // blanks after a ';' in the list
  if (*b == '*') return 1;
  long value, low, high;
  const char* a = fromip;
  if (!ParseNumber(a, &value) || !EndsPart(*a)) return -1;
  if (!ParseNumber(b, &low)) return -1;
  high = low;
  if (*b == '-') {
    ++b;
    if (!ParseNumber(b, &high) || !EndsPart(*b)) return -1;
  } else if (!EndsPart(*b)) {
    return -1;
  }
  return (value >= low && value <= high) ? 1 : 0;
}

int is_in_subnet(const char* ip, const char* subnet) {
  if (ip == nullptr || subnet == nullptr) return -1;
  for (int i = 0; i < 4; ++i) {
    const char* a = Part(ip, i);
    const char* b = Part(subnet, i);
    if (a == nullptr || b == nullptr) return -1;
    const int fit = is_onepart_fit(a, b);
    if (fit != 1) return fit;
  }
  return 1;
}

int is_ip_allowed(const char* ip, const char* pattern) {
  if (pattern == nullptr || pattern[0] == '\0') return 1;
  if (ip == nullptr) return 0;
  std::string_view rest(pattern);
  while (!rest.empty()) {
    const size_t cut = rest.find(';');
    const std::string_view one = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    if (one.size() >= 256) continue;
    char buf[256];
    memcpy(buf, one.data(), one.size());
    buf[one.size()] = '\0';
    if (is_in_subnet(ip, buf) == 1) return 1;
  }
  return 0;
}

int ul_read_ipaccess_grant(const Ul_confdata* pd_conf) {
  ul_ipaccess_grant[0] = '\0';
  if (pd_conf != nullptr &&
      ul_getconfnstr(pd_conf, "ip-access-grant", ul_ipaccess_grant, sizeof(ul_ipaccess_grant)) != 1) {
    ul_ipaccess_grant[0] = '\0';
  }
  if (ul_ipaccess_grant[0] == '\0') {
    memcpy(ul_ipaccess_grant, kDefaultGrant, sizeof(kDefaultGrant));
  }
  return 0;
}

namespace {

// The peer's IPv4 address as dotted text: that of an IPv4 peer, or the
// embedded one of a v4-mapped IPv6 peer. Any other peer has no IPv4 address:
// its own text (IPv6) or an empty one (local domain), which no pattern matches.
void PeerText(const sockaddr_storage& ss, char* out, size_t size) {
  out[0] = '\0';
  if (ss.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&ss);
    inet_ntop(AF_INET, &in->sin_addr, out, static_cast<socklen_t>(size));
  } else if (ss.ss_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&ss);
    if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
      inet_ntop(AF_INET, &in6->sin6_addr.s6_addr[12], out, static_cast<socklen_t>(size));
    } else {
      inet_ntop(AF_INET6, &in6->sin6_addr, out, static_cast<socklen_t>(size));
    }
  }
}

int PortOf(const sockaddr_storage& ss) {
  if (ss.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&ss)->sin_port);
  if (ss.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&ss)->sin6_port);
  return 0;
}

}  // namespace

int ul_accept(int sockfd, struct sockaddr* sa, socklen_t* addrlen) {
  int fd;
  for (;;) {
    fd = accept(sockfd, sa, addrlen);
    if (fd >= 0) break;
    if (errno == EPROTO || errno == ECONNABORTED) continue;
    UL_WARN_ERRNO("accept(%d) call failed.error[%d] info is %s.", sockfd);
    return -1;
  }
  if (ul_ipaccess_grant[0] == '\0') return fd;

  // The peer is checked against the access list; a refused or unknown peer's
  // connection is closed.
  toolkit::UniqueFd owned(fd, toolkit::CloseKeepingErrno);
  sockaddr_storage peer, local;
  socklen_t peer_len = sizeof(peer), local_len = sizeof(local);
  memset(&peer, 0, sizeof(peer));
  memset(&local, 0, sizeof(local));
  if (ul_getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_len) < 0) return -1;
  ul_getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_len);
  char ip[INET6_ADDRSTRLEN];
  PeerText(peer, ip, sizeof(ip));
  if (ip[0] != '\0' && is_ip_allowed(ip, ul_ipaccess_grant) == 1) return owned.release();
  owned.Close();
  ul_writelog(UL_LOG_WARNING, "When server listened on port %d a client from ip %s try to connect.",
              PortOf(local), ip);
  return -1;
}

// ---------------------------------------------------------------------------
// Name and service look-ups

int ul_gethostbyname_r(const char* hostname, struct hostent* result_buf, char* buf, size_t buflen,
                       struct hostent** result, int* h_err) {
  errno = 0;
  if (result != nullptr) *result = nullptr;
  if (hostname == nullptr || result_buf == nullptr || buf == nullptr || result == nullptr ||
      h_err == nullptr) {
    return -1;
  }
  *h_err = 0;
  const int r = gethostbyname_r(hostname, result_buf, buf, buflen, result, h_err);
  if (r == 0 && *result != nullptr) return 0;
  *result = nullptr;
  UL_WARN_KEEP_ERRNO("gethostbyname_r(%s) call failed.return value is %d,error[%d] info is %s", hostname, r,
                     *h_err, hstrerror(*h_err));
  return -1;
}

namespace {

int LookUpHost(const char* hostname, sockaddr_in* soin, int mode, char* asc_str, sip_group* sip) {
  if (hostname == nullptr || hostname[0] == '\0') return -1;
  if ((mode != 0 && soin == nullptr) || (mode == 0 && asc_str == nullptr)) return -1;
  hostent he;
  hostent* found = nullptr;
  char buf[8192];
  int h_err = 0;
  if (ul_gethostbyname_r(hostname, &he, buf, sizeof(buf), &found, &h_err) != 0) {
    h_errno = h_err;
    return -2;
  }
  const char* first = found->h_addr_list[0];
  if (first == nullptr) {
    h_errno = NO_ADDRESS;
    return -2;
  }
  if (mode != 0) {
    memset(soin, 0, sizeof(*soin));
    memcpy(&soin->sin_addr, first, found->h_length < 4 ? found->h_length : 4);
  } else {
    const socklen_t size = found->h_addrtype == AF_INET6 ? INET6_ADDRSTRLEN : INET_ADDRSTRLEN;
    if (inet_ntop(found->h_addrtype, first, asc_str, size) == nullptr) asc_str[0] = '\0';
  }
  if (sip != nullptr) {
    memset(sip, 0, sizeof(*sip));
    sip->addrtype = found->h_addrtype;
    const int n = found->h_length < 4 ? found->h_length : 4;
    for (int i = 0; i < 10 && found->h_addr_list[i] != nullptr; ++i) {
      memcpy(&sip->ip[i], found->h_addr_list[i], n);
    }
  }
  return 0;
}

}  // namespace

int ul_gethostipbyname_r(const char* hostname, struct sockaddr_in* soin, int mode, char* asc_str) {
  return LookUpHost(hostname, soin, mode, asc_str, nullptr);
}

int ul_gethostallipbyname_r(const char* hostname, struct sockaddr_in* soin, int mode, char* asc_str,
                            sip_group* sip) {
  if (sip == nullptr) return -1;
  return LookUpHost(hostname, soin, mode, asc_str, sip);
}

int ul_getportbyserv(const char* name, const char* proto, int* port) {
  if (name == nullptr || name[0] == '\0' || proto == nullptr || proto[0] == '\0' || port == nullptr) {
    return -1;
  }
  servent se;
  servent* found = nullptr;
  char buf[4096];
  if (ul_getservbyname_r(name, proto, &se, buf, sizeof(buf), &found) != 0 || found == nullptr) {
    return -1;
  }
  *port = found->s_port;
  return *port;
}
