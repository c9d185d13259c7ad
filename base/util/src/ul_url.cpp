// Splitting URLs into site, port and path, the getters built on it, the
// static part, host and port normalisation and the normal form of a URL in
// its three size tiers.
#include "ul_url.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "ul_log.h"
#include "ul_url_internal.h"

namespace ulurl {

bool HasHttpPrefix(const char* s) { return strncasecmp(s, "http://", 7) == 0; }

void PreconditionFailed(const char* expression, const char* function) {
  fprintf(stderr, "%s: Assertion `%s' failed.\n", function, expression);
  abort();
}

const char* WalkHost(const char* r, char* w, bool any_label_end, char** w_end) {
  if (!UL_LET_DIG_HY[U(*r)]) return nullptr;
  const ByteTable& label_end = any_label_end ? UL_LET_DIG_HY : UL_LET_DIGIT;
  bool dotted = false;
  for (;;) {
    unsigned char last = 0;
    for (;;) {
      unsigned char c = U(*r);
      if (UL_LET_DIG_HY[c]) {
        ++r;
      } else if (c == '%' && IsHexDigit(r[1]) && IsHexDigit(r[2])) {
        c = U(ul_to_char(r + 1));
        if (!UL_LET_DIG_HY[c]) return nullptr;
        r += 3;
      } else {
        break;
      }
      if (UL_URL_UP_LET[c]) c = static_cast<unsigned char>(c - 'A' + 'a');
      *w++ = static_cast<char>(c);
      last = c;
    }
    if (last == 0 || !label_end[last]) return nullptr;  // empty label, or bad last byte
    if (*r != '.') break;
    *w++ = '.';
    ++r;
    dotted = true;
  }
  if (!dotted) return nullptr;
  *w_end = w;
  return r;
}

char* PrepareUrl(const SplitTier& tier, const char* input, char* work) {
  size_t len = strnlen(input, tier.url_limit);
  if (len >= tier.url_limit) {
    ul_writelog(UL_LOG_DEBUG, "%s: url is too long", tier.name);
    return nullptr;
  }
  memcpy(work, input, len + 1);
  ul_delete_inter(work);
  return HasHttpPrefix(work) ? work + 7 : work;
}

namespace {

// atoi with the value clamped to int (no overflow on long digit runs).
int PortValue(const char* text) {
  long v = strtol(text, nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int>(v);
}

}  // namespace

int SplitUrl(const SplitTier& tier, const char* input, char* s, char* site, size_t site_size,
             char* port, size_t port_size, char* path, size_t path_size) {
  // Path: from the first '/', or "/" and the query when a '?' comes first.
  char* cut = s + strcspn(s, "/?");
  if (path != nullptr) {
    size_t rest = strlen(cut);
    if (*cut == '?') {
      if (path_size < 2 || rest >= path_size - 1) return 0;
      path[0] = '/';
      memcpy(path + 1, cut, rest + 1);
    } else if (*cut == '/') {
      if (rest >= path_size) return 0;
      memcpy(path, cut, rest + 1);
    } else {
      if (path_size < 2) return 0;
      path[0] = '/';
      path[1] = '\0';
    }
  }
  *cut = '\0';

  // Port: after the first ':' (behind a bracketed IPv6 host where allowed).
  char* from = s;
  if (tier.ipv6_host) {
    int v6 = ul_check_url_ipv6(s);
    if (v6 > 0) from = s + v6;
  }
  char* colon = strchr(from, ':');
  const char* port_text = "";
  if (colon != nullptr) {
    *colon = '\0';
    port_text = colon + 1;
  }
  if (port != nullptr) {
    size_t plen = strlen(port_text);
    if (plen >= port_size) return 0;
    if (colon != nullptr && PortValue(port_text) < 1) return 0;
    if (strcmp(port_text, "80") == 0) plen = 0;
    memcpy(port, port_text, plen);
    port[plen] = '\0';
  }

  size_t slen = strlen(s);
  if (slen == 0 || slen >= site_size) {
    ul_writelog(UL_LOG_DEBUG, "%s: site name too long or empty url[%s]", tier.name, input);
    return 0;
  }
  if (site != nullptr) memcpy(site, s, slen + 1);
  return 1;
}

}  // namespace ulurl

using namespace ulurl;

namespace {

constexpr SplitTier kBase = {"ul_parse_url", 256, false};
constexpr SplitTier kEx = {"ul_parse_url_ex", 1024, false};
constexpr SplitTier kEx2 = {"ul_parse_url_ex2", 2048, true};

// Base-tier sizes of the split parts, with their NUL.
constexpr size_t kBaseSite = 48;
constexpr size_t kBasePort = 6;
constexpr size_t kBasePath = 203;

int ParseTier(const SplitTier& tier, const char* input, char* site, size_t site_size, char* port,
              size_t port_size, char* path, size_t path_size) {
  if (input == nullptr) return 0;
  char work[2048];  // the largest tier
  char* s = PrepareUrl(tier, input, work);
  if (s == nullptr) return 0;
  return SplitUrl(tier, input, s, site, site_size, port, port_size, path, path_size);
}

// The larger tiers check the site's size only against a given buffer.
size_t SiteLimit(const char* site, size_t site_size) { return site != nullptr ? site_size : SIZE_MAX; }

int PortOrDefault(int parsed, const char* port, int* pport) {
  if (!parsed) return 0;
  int value = port[0] == '\0' ? 80 : PortValue(port);
  if (pport != nullptr) *pport = value;
  return value;
}

int StaticPart(const char* url, char* out, size_t out_size, size_t limit, const char* expression,
               const char* function) {
  if (url == nullptr || out == nullptr) return 0;
  if (strnlen(url, limit) >= limit) PreconditionFailed(expression, function);
  if (out_size == 0) return 0;
  size_t n = strcspn(url, "?;");
  if (n >= out_size) n = out_size - 1;
  memcpy(out, url, n);
  out[n] = '\0';
  return 1;
}

enum class Tier { kBase, kEx, kEx2 };

// Site, port and path of one normal form, on the stack at the largest tier.
struct NormalParts {
  char site[256];
  char port[8];
  char path[1600];
};

// Dot segments over the path without its fragment: a "../" or "//" inside a
// kept fragment must not reach into the path or drop the '#'.
void DotsBeforeFragment(char* path, void (*dots)(char*)) {
  char* hash = strchr(path, '#');
  if (hash == nullptr) {
    dots(path);
    return;
  }
  *hash = '\0';
  dots(path);
  size_t kept = strlen(path);
  path[kept] = '#';
  memmove(path + kept + 1, hash + 1, strlen(hash + 1) + 1);
}

int Normalize(Tier tier, const char* url, char* buf, size_t buf_size, int save_fragment,
              bool special) {
  if (url == nullptr || buf == nullptr || buf_size == 0) return 0;
  NormalParts p;
  int ok = 0;
  switch (tier) {
    case Tier::kBase: ok = ul_parse_url(url, p.site, p.port, p.path); break;
    case Tier::kEx: ok = ul_parse_url_ex(url, p.site, 128, p.port, 7, p.path, 800); break;
    case Tier::kEx2: ok = ul_parse_url_ex2(url, p.site, 256, p.port, 7, p.path, 1600); break;
  }
  if (!ok) return 0;
  ok = special ? ul_normalize_site_special_for_ps_20101026(p.site) : ul_normalize_site(p.site);
  if (!ok || !ul_normalize_port(p.port)) return 0;
  switch (tier) {
    case Tier::kBase:
      if (!ul_single_path_nointer(p.path, save_fragment)) return 0;
      DotsBeforeFragment(p.path, ul_normalize_path);
      break;
    case Tier::kEx:
      if (!ul_single_path_ex_nointer(p.path, 800, save_fragment)) return 0;
      DotsBeforeFragment(p.path, ul_normalize_path_ex);
      break;
    case Tier::kEx2:
      ok = special ? ul_single_path_ex2_nointer_special_for_ps_20110221(p.path, 1600)
                   : ul_single_path_ex2_nointer(p.path, 1600, save_fragment);
      if (!ok) return 0;
      DotsBeforeFragment(p.path, ul_normalize_path_ex2);
      break;
  }
  // "site:port/path" or "site/path"; a form that does not fit fails.
  size_t site_len = strlen(p.site), port_len = strlen(p.port), path_len = strlen(p.path);
  size_t total = site_len + (port_len > 0 ? port_len + 1 : 0) + path_len;
  if (total >= buf_size) return 0;
  char* w = buf;
  memcpy(w, p.site, site_len);
  w += site_len;
  if (port_len > 0) {
    *w++ = ':';
    memcpy(w, p.port, port_len);
    w += port_len;
  }
  memcpy(w, p.path, path_len + 1);
  return 1;
}

}  // namespace

int ul_delete_inter(char* str) {
  if (str == nullptr) return 0;
  char* w = str + strcspn(str, "\r\n");
  for (const char* r = w; *r != '\0'; ++r) {
    if (!UL_LFCR[U(*r)]) *w++ = *r;
  }
  *w = '\0';
  return static_cast<int>(w - str);
}

char ul_to_char(const char* hex) {
  if (hex == nullptr || !IsHexDigit(hex[0]) || !IsHexDigit(hex[1])) return 0;
  return static_cast<char>(UL_TO_CHAR[U(hex[0])] * 16 + UL_TO_CHAR[U(hex[1])]);
}

int ul_parse_url(const char* input, char* site, char* port, char* path) {
  return ParseTier(kBase, input, site, kBaseSite, port, kBasePort, path, kBasePath);
}

int ul_parse_url(char* input, char* site, char* port, char* path) {
  return ul_parse_url(static_cast<const char*>(input), site, port, path);
}

int ul_parse_url_ex(const char* input, char* site, size_t site_size, char* port, size_t port_size,
                    char* path, size_t max_path_size) {
  return ParseTier(kEx, input, site, SiteLimit(site, site_size), port, port_size, path,
                         max_path_size);
}

int ul_parse_url_ex2(const char* input, char* site, size_t site_size, char* port,
                     size_t port_size, char* path, size_t max_path_size) {
  return ParseTier(kEx2, input, site, SiteLimit(site, site_size), port, port_size, path,
                         max_path_size);
}

char* ul_get_site(const char* url, char* site) {
  return site != nullptr && ul_parse_url(url, site, nullptr, nullptr) ? site : nullptr;
}

char* ul_get_site_ex(const char* url, char* site, size_t site_size) {
  return site != nullptr && ul_parse_url_ex(url, site, site_size, nullptr, 0, nullptr, 0) ? site
                                                                                         : nullptr;
}

char* ul_get_site_ex2(const char* url, char* site, size_t site_size) {
  return site != nullptr && ul_parse_url_ex2(url, site, site_size, nullptr, 0, nullptr, 0)
             ? site
             : nullptr;
}

char* ul_get_path(const char* url, char* path) {
  return path != nullptr && ul_parse_url(url, nullptr, nullptr, path) ? path : nullptr;
}

char* ul_get_path_ex(const char* url, char* path, size_t path_size) {
  return path != nullptr && ul_parse_url_ex(url, nullptr, 0, nullptr, 0, path, path_size)
             ? path
             : nullptr;
}

char* ul_get_path_ex2(const char* url, char* path, size_t path_size) {
  return path != nullptr && ul_parse_url_ex2(url, nullptr, 0, nullptr, 0, path, path_size)
             ? path
             : nullptr;
}

int ul_get_port(const char* url, int* pport) {
  char port[kBasePort];
  return PortOrDefault(ul_parse_url(url, nullptr, port, nullptr), port, pport);
}

int ul_get_port_ex(const char* url, int* pport) {
  char port[7];
  return PortOrDefault(ul_parse_url_ex(url, nullptr, 0, port, sizeof(port), nullptr, 0), port,
                       pport);
}

int ul_get_port_ex2(const char* url, int* pport) {
  char port[7];
  return PortOrDefault(ul_parse_url_ex2(url, nullptr, 0, port, sizeof(port), nullptr, 0), port,
                       pport);
}

int ul_get_static_part(const char* url, char* staticurl) {
  return StaticPart(url, staticurl, 256, 256, "strlen(url) < 256", "ul_get_static_part");
}

int ul_get_static_part_ex(const char* url, char* staticurl, size_t staticurl_size) {
  return StaticPart(url, staticurl, staticurl_size, 1024, "strlen(url) < 1024",
                    "ul_get_static_part_ex");
}

int ul_get_static_part_ex2(const char* url, char* staticurl, size_t staticurl_size) {
  return StaticPart(url, staticurl, staticurl_size, 2048, "strlen(url) < 2048",
                    "ul_get_static_part_ex2");
}

int ul_isdyn(const char* str) {
  if (str == nullptr) return 0;
  while (ul_dyn_char_table[U(*str)]) ++str;
  return U(*str);
}

int ul_normalize_site(char* site) {
  char* end = nullptr;
  const char* next = site != nullptr ? WalkHost(site, site, false, &end) : nullptr;
  if (next == nullptr || *next != '\0') return 0;
  *end = '\0';
  return 1;
}

int ul_normalize_site_special_for_ps_20101026(char* site) {
  char* end = nullptr;
  const char* next = site != nullptr ? WalkHost(site, site, true, &end) : nullptr;
  if (next == nullptr || *next != '\0') return 0;
  *end = '\0';
  return 1;
}

int ul_normalize_port(char* port) {
  if (port == nullptr) return 0;
  size_t n = strnlen(port, 6);
  if (n == 0) return 1;
  if (n > 5) return 0;
  int value = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!UL_URL_DIGIT[U(port[i])]) return 0;
    value = value * 10 + (port[i] - '0');
  }
  if (value < 1 || value > 65535) return 0;
  if (value == 80) {
    port[0] = '\0';
  } else {
    snprintf(port, n + 1, "%d", value);
  }
  return 1;
}

int ul_normalize_url(const char* url, char* buf) { return Normalize(Tier::kBase, url, buf, 256, 0, false); }

int ul_normalize_url_save_fragment(const char* url, char* buf) {
  return Normalize(Tier::kBase, url, buf, 256, 1, false);
}

int ul_normalize_url_ex(const char* url, char* buf, size_t buf_size) {
  return Normalize(Tier::kEx, url, buf, buf_size, 0, false);
}

int ul_normalize_url_ex_save_fragment(const char* url, char* buf, size_t buf_size) {
  return Normalize(Tier::kEx, url, buf, buf_size, 1, false);
}

int ul_normalize_url_ex2(const char* url, char* buf, size_t buf_size) {
  return Normalize(Tier::kEx2, url, buf, buf_size, 0, false);
}

int ul_normalize_url_ex2_save_fragment(const char* url, char* buf, size_t buf_size) {
  return Normalize(Tier::kEx2, url, buf, buf_size, 1, false);
}

int ul_normalize_url_ex2_special_for_ps_20110221(const char* url, char* buf, size_t buf_size) {
  return Normalize(Tier::kEx2, url, buf, buf_size, 1, true);
}
