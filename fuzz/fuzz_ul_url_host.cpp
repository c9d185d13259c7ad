// Fuzzes host functions: trunk and main domain with exactly sized outputs
// (the main domain lies inside the host and starts with the trunk label),
// host checks against host normalisation, address recognition, and NAT64
// round trips over the input's bytes.
#include <arpa/inet.h>
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "ul_url.h"
#include "ul_url_fuzz.h"

using urlfuzz::Buf;
using urlfuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t sel = data[0];
  const std::string site = urlfuzz::Text(data + 1, size - 1);
  const char* s = site.c_str();

  const size_t small = 1 + sel % 40;
  Buf full(site.size() + 1), cut(small), domain(small);
  const int rc = ul_fetch_trunk(s, full, full.size());
  Check(rc == 1 || rc == -2 || rc == -3);
  Check(ul_fetch_trunk(s, cut, small) == rc);
  const char* main = ul_fetch_maindomain(s, domain, small);
  Check(main >= s && main <= s + site.size());
  if (rc == 1) {
    Check(strncmp(cut, full, small - 1) == 0 && strncmp(domain, full, small - 1) == 0);
    Check(main == s ? strncmp(s, full, strlen(full)) == 0
                    : main[-1] == '.' && strncmp(main, full, strlen(full)) == 0);
  } else {
    Check(main == s && strncmp(domain, s, small - 1) == 0);
  }

  // A valid host name with a '.' and no capitals is its own normal form.
  const bool host = check_hostname(s) == 1;
  Buf norm(site.size() + 1, site);
  if (ul_normalize_site(norm) == 1) Check(check_hostname(norm) == 1);
  Buf again(site.size() + 1, site);
  const bool lower = strpbrk(s, "ABCDEFGHIJKLMNOPQRSTUVWXYZ") == nullptr;
  if (host && lower && strchr(s, '.') != nullptr && s[0] != '\0') {
    Check(ul_normalize_site(again) == 1 && again.str() == site);
  }
  Buf special(site.size() + 1, site);
  ul_normalize_site_special_for_ps_20101026(special);

  const int v6 = ul_check_url_ipv6(s);
  Check(v6 == 0 || (v6 >= 4 && v6 <= 42 && s[v6 - 1] == ']'));
  ul_is_dotip(s);
  ul_is_ipv6_format(s);
  ul_is_ignore(s);

  // NAT64 round trips.
  if (size >= 17) {
    struct in6_addr a;
    memcpy(&a, data + 1, 16);
    struct in_addr v4;
    unsigned int n = 0, back = 0;
    const int in_prefix = ipv6_to_ipv4(&a, &v4);
    Check(memcmp(&v4, a.s6_addr + 12, 4) == 0);
    Check(ipv6_to_uint32(&a, &n) == in_prefix);
    if (in_prefix == 1) {
      struct in6_addr b;
      Check(uint32_to_ipv6(n, &b) == 1 && ipv6_to_uint32(&b, &back) == 1 && back == n);
    }
  }
  Buf v6text(small), v4text(small);
  // A dotted IPv4 address goes to NAT64 text and back.
  struct in_addr plain;
  const bool dotted = inet_pton(AF_INET, s, &plain) == 1;
  if (ipv4_to_ipv6_str(s, v6text, small) == 1 && dotted) {
    Buf back(16);
    Check(ipv6_to_ipv4_str(v6text, back, back.size()) == 1 && back.str() == site);
  }
  ipv6_to_ipv4_str(s, v4text, small);
  return 0;
}
