// Host names: validity, dotted IPv4 and bracketed IPv6 hosts, the trunk and
// main domain of a host by a fixed list of labels to skip, and NAT64
// conversions under the prefix "64:ff9b::".
#include <arpa/inet.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>

#include "ul_url.h"
#include "ul_url_internal.h"

using namespace ulurl;

namespace {

// One label to skip, with its '.'; length counts the '.'.
struct ul_ilist {
  char name[36];
  int length;
};

// Sorted by name, for the binary search.
const ul_ilist ul_ignore_list[] = {
    {"ac.", 3},  {"ah.", 3},  {"bj.", 3},  {"co.", 3},  {"com.", 4}, {"cq.", 3},  {"ed.", 3},
    {"edu.", 4}, {"fj.", 3},  {"gd.", 3},  {"go.", 3},  {"gov.", 4}, {"gs.", 3},  {"gx.", 3},
    {"gz.", 3},  {"ha.", 3},  {"hb.", 3},  {"he.", 3},  {"hi.", 3},  {"hk.", 3},  {"hl.", 3},
    {"hn.", 3},  {"jl.", 3},  {"js.", 3},  {"jx.", 3},  {"ln.", 3},  {"mo.", 3},  {"ne.", 3},
    {"net.", 4}, {"nm.", 3},  {"nx.", 3},  {"or.", 3},  {"org.", 4}, {"pe.", 3},  {"qh.", 3},
    {"sc.", 3},  {"sd.", 3},  {"sh.", 3},  {"sn.", 3},  {"sx.", 3},  {"tj.", 3},  {"tw.", 3},
    {"www.", 4}, {"xj.", 3},  {"xz.", 3},  {"yn.", 3},  {"zj.", 3},
};
constexpr int kIgnoreCount = static_cast<int>(sizeof(ul_ignore_list) / sizeof(ul_ignore_list[0]));
static_assert(kIgnoreCount == 47, "47 labels to skip");

constexpr char kNat64Prefix[] = "64:ff9b::";
constexpr size_t kNat64PrefixLen = sizeof(kNat64Prefix) - 1;

bool IsAddressHost(const char* site) { return ul_is_dotip(site) != 0 || ul_check_url_ipv6(site) > 0; }

// The trunk label of site: 1 with its start and length; 0 for an address
// host (the whole host stands); -3 without '.'; -2 when every candidate is
// skipped. The top label is never a candidate.
int FindTrunk(const char* site, const char** label, size_t* len) {
  if (IsAddressHost(site)) return 0;
  const char* end = strrchr(site, '.');
  if (end == nullptr) return -3;
  for (;;) {
    const char* begin = end;
    while (begin > site && begin[-1] != '.') --begin;
    if (!ul_is_ignore(begin)) {
      *label = begin;
      *len = static_cast<size_t>(end - begin);
      return 1;
    }
    if (begin == site) return -2;
    end = begin - 1;
  }
}

// Copies n bytes of src, cut to size - 1, and terminates (size > 0).
void CopyCut(char* dst, const char* src, size_t n, size_t size) {
  if (n >= size) n = size - 1;
  memcpy(dst, src, n);
  dst[n] = '\0';
}

}  // namespace

int check_hostname(const char* host_name) {
  if (host_name == nullptr) return 0;
  const char* p = host_name;
  for (;;) {
    const char* label = p;
    while (UL_LET_DIG_HY[U(*p)]) ++p;
    if (p == label || !UL_LET_DIGIT[U(p[-1])]) return 0;
    if (*p != '.') break;
    ++p;
  }
  return *p == '\0' ? 1 : 0;
}

int ul_is_dotip(const char* sitename) {
  if (sitename == nullptr) return 0;
  struct in_addr addr;
  return inet_aton(sitename, &addr);
}

int ul_is_ipv6_format(const char* addr) {
  if (addr == nullptr) return 0;
  struct in6_addr a;
  return inet_pton(AF_INET6, addr, &a);
}

int ul_check_url_ipv6(const char* pin) {
  if (pin == nullptr || pin[0] != '[') return 0;
  int close = 0;
  for (int i = 1; i < 42 && pin[i] != '\0'; ++i) {
    if (pin[i] == ']') {
      close = i;
      break;
    }
  }
  if (close == 0) return 0;
  char text[42];
  memcpy(text, pin + 1, close - 1);
  text[close - 1] = '\0';
  struct in6_addr a;
  return inet_pton(AF_INET6, text, &a) == 1 ? close + 1 : 0;
}

int ul_is_ignore(const char* str) {
  if (str == nullptr) return 0;
  int lo = 0, hi = kIgnoreCount - 1;
  while (lo <= hi) {
    int mid = lo + (hi - lo) / 2;
    const ul_ilist& e = ul_ignore_list[mid];
    int c = strncmp(str, e.name, static_cast<size_t>(e.length));
    if (c == 0) return 1;
    if (c < 0) {
      hi = mid - 1;
    } else {
      lo = mid + 1;
    }
  }
  return 0;
}

int ul_fetch_trunk(const char* site, char* trunk, size_t size) {
  if (site == nullptr || trunk == nullptr || size == 0) return -1;
  const char* label = nullptr;
  size_t len = 0;
  int rc = FindTrunk(site, &label, &len);
  if (rc == 0) {
    CopyCut(trunk, site, strlen(site), size);
    return 1;
  }
  if (rc == 1) CopyCut(trunk, label, len, size);
  return rc;
}

const char* ul_fetch_maindomain(const char* site, char* domain, size_t size) {
  if (site == nullptr || domain == nullptr || size == 0) return nullptr;
  const char* label = nullptr;
  size_t len = 0;
  if (FindTrunk(site, &label, &len) == 1) {
    CopyCut(domain, label, len, size);
    return label;
  }
  CopyCut(domain, site, strlen(site), size);
  return site;
}

int ipv6_to_ipv4(const struct in6_addr* ipv6_addr, struct in_addr* ipv4_addr) {
  if (ipv6_addr == nullptr || ipv4_addr == nullptr) return 0;
  memcpy(&ipv4_addr->s_addr, ipv6_addr->s6_addr + 12, 4);
  char text[INET6_ADDRSTRLEN];
  if (inet_ntop(AF_INET6, ipv6_addr, text, sizeof(text)) == nullptr) return 0;
  return strncmp(text, kNat64Prefix, kNat64PrefixLen) == 0 ? 1 : 0;
}

int ipv6_to_uint32(const struct in6_addr* ipv6_addr, unsigned int* ipv4_addr_n) {
  if (ipv4_addr_n == nullptr) return 0;
  struct in_addr v4;
  int rc = ipv6_to_ipv4(ipv6_addr, &v4);
  if (rc == 1) *ipv4_addr_n = ntohl(v4.s_addr);
  return rc;
}

int uint32_to_ipv6(unsigned int ipv4_addr_n, struct in6_addr* ipv6_addr) {
  if (ipv6_addr == nullptr) return 0;
  char text[64];
  snprintf(text, sizeof(text), "%s%u.%u.%u.%u", kNat64Prefix, (ipv4_addr_n >> 24) & 255,
           (ipv4_addr_n >> 16) & 255, (ipv4_addr_n >> 8) & 255, ipv4_addr_n & 255);
  return inet_pton(AF_INET6, text, ipv6_addr) == 1 ? 1 : 0;
}

int ipv4_to_ipv6_str(const char* ipv4_str, char* ipv6_str, size_t ipv6_str_len) {
  if (ipv4_str == nullptr || ipv6_str == nullptr) return 0;
  char text[kNat64PrefixLen + 16];
  snprintf(text, sizeof(text), "%s%.15s", kNat64Prefix, ipv4_str);
  struct in6_addr a;
  if (inet_pton(AF_INET6, text, &a) != 1) return 0;
  return inet_ntop(AF_INET6, &a, ipv6_str, static_cast<socklen_t>(ipv6_str_len)) != nullptr ? 1 : 0;
}

int ipv6_to_ipv4_str(const char* ipv6_str, char* ipv4_str, size_t ipv4_str_len) {
  if (ipv6_str == nullptr || ipv4_str == nullptr) return 0;
  struct in6_addr a;
  if (inet_pton(AF_INET6, ipv6_str, &a) != 1) return 0;
  struct in_addr v4;
  if (ipv6_to_ipv4(&a, &v4) != 1) return 0;
  return inet_ntop(AF_INET, &v4, ipv4_str, static_cast<socklen_t>(ipv4_str_len)) != nullptr ? 1 : 0;
}
