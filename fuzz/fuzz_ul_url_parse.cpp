// Fuzzes URL splitting: the three tiers with exactly sized outputs (sizes
// from the first byte), the getters, the split with fragment, the static
// part and the small helpers. The base split and the _ex split with the base
// sizes must agree; every part stays within its size.
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "ul_url.h"
#include "ul_url_fuzz.h"

using urlfuzz::Buf;
using urlfuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  urlfuzz::QuietLog();
  if (size == 0) return 0;
  const uint8_t sel = data[0];
  const std::string url = urlfuzz::Text(data + 1, size - 1);
  const char* u = url.c_str();

  Buf site(48), port(6), path(203);
  if (ul_parse_url(u, site, port, path) == 1) {
    Check(strlen(site) >= 1 && strlen(site) <= 47 && strlen(port) <= 5);
    Check(path[0] == '/' && strlen(path) <= 202);
    Buf s2(48), p2(6), q2(203);
    Check(ul_parse_url_ex(u, s2, 48, p2, 6, q2, 203) == 1);
    Check(site.str() == s2.str() && port.str() == p2.str() && path.str() == q2.str());
  }

  // Small outputs for the larger tiers.
  const size_t site_size = 1 + (sel & 15) * 9, port_size = 1 + ((sel >> 4) & 7);
  const size_t path_size = 1 + (sel >> 1) * 7;
  Buf s(site_size), p(port_size), q(path_size);
  if (ul_parse_url_ex(u, s, site_size, p, port_size, q, path_size) == 1) {
    Check(strlen(s) < site_size && strlen(p) < port_size && strlen(q) < path_size);
  }
  Buf s3(site_size), p3(port_size), q3(path_size);
  ul_parse_url_ex2(u, s3, site_size, p3, port_size, q3, path_size);
  ul_parse_url_ex2(u, nullptr, 0, nullptr, 0, nullptr, 0);
  ul_parse_url(u, nullptr, nullptr, nullptr);

  Buf gs(site_size), gp(path_size);
  ul_get_site_ex2(u, gs, site_size);
  ul_get_path_ex(u, gp, path_size);
  int port_number = -1;
  const int got = ul_get_port(u, &port_number);
  Check(got == 0 || got == port_number);
  ul_get_port_ex2(u, nullptr);

  Buf vs(48), vp(6), vq(203), vf(203);
  if (ul_parse_url_vhplink(u, vs, vp, vq, vf) == 1) {
    Check(strchr(vq, '#') == nullptr && (vf[0] == '\0' || vf[0] == '#'));
  }

  if (url.size() < 256) {
    Buf st(256);
    Check(ul_get_static_part(u, st) == 1 && strcspn(st, "?;") == strlen(st));
  }
  if (url.size() < 2048) {
    Buf st(1 + sel);
    ul_get_static_part_ex2(u, st, st.size());
  }

  const int dyn = ul_isdyn(u);
  Check(dyn == 0 || strchr("&*;=?", dyn) != nullptr);
  std::string copy = url;
  const int n = ul_delete_inter(&copy[0]);
  Check(static_cast<size_t>(n) == strlen(copy.c_str()) && strpbrk(copy.c_str(), "\r\n") == nullptr);
  if (url.size() >= 2) ul_to_char(u);
  return 0;
}
