// Whole-URL checks in place (plain and with fragments), the split that
// separates the fragment, and the test for an already normal URL.
#include <string.h>

#include "ul_string.h"
#include "ul_url.h"
#include "ul_url_internal.h"

using namespace ulurl;

namespace ulurl {

const char* ScanPathShape(const char* p, bool fragments, bool* blank) {
  bool seen = false;
  auto run = [&](const ByteTable& cls) {
    while (cls[U(*p)]) seen |= *p++ == ' ';
  };
  while (*p == '/') {
    ++p;
    run(UL_URL_PCHAR);
  }
  while (*p == ';') {
    ++p;
    run(UL_URL_PARAM);
  }
  while (*p == '?') {
    ++p;
    run(UL_URL_UCH_RES);
  }
  while (fragments && *p == '#') {
    ++p;
    run(UL_URL_UCH_RES);
  }
  *blank = seen;
  return p;
}

}  // namespace ulurl

namespace {

// Limits of one whole-URL check: the result must be shorter than url_limit;
// blanks are escaped with (max_url, max_site, max_path).
struct CheckLimits {
  size_t url_limit;
  size_t max_url;
  size_t max_site;
  size_t max_path;
  bool ipv6_host;  // a bracketed IPv6 host is kept as it stands
  bool vhplink;    // query or fragment right after the host; '#' sections
};

constexpr CheckLimits kCheckBase = {256, 256, 48, 203, false, false};
constexpr CheckLimits kCheckEx = {1024, 1024, 128, 800, false, false};
constexpr CheckLimits kCheckEx2 = {2048, 2048, 256, 1600, true, false};
constexpr size_t kVhplinkWork = 2048;

bool IsDigit(char c) { return UL_URL_DIGIT[U(c)] != 0; }

bool EndsPort(char c, bool vhplink) { return c == '/' || (vhplink && (c == '?' || c == '#')); }

int CheckUrl(char* url, const CheckLimits& lim) {
  if (url == nullptr) return 0;
  size_t len = static_cast<size_t>(ul_delete_inter(url));
  char* host = url + (HasHttpPrefix(url) ? 7 : 0);

  // Host, rewritten over itself.
  char* w = nullptr;
  const char* r = nullptr;
  int v6 = lim.ipv6_host ? ul_check_url_ipv6(host) : 0;
  if (v6 > 0) {
    w = host + v6;
    r = w;
  } else {
    r = WalkHost(host, host, false, &w);
    if (r == nullptr) return 0;
  }

  // ":/" loses the ':'; a port of 1..5 digits needs a path (or, with
  // fragments, a query or fragment) behind it; ":80" goes.
  if (*r == ':') {
    const char* digits = r + 1;
    if (*digits == '/') {
      r = digits;
    } else {
      size_t n = 0;
      while (IsDigit(digits[n])) ++n;
      if (n < 1 || n > 5 || !EndsPort(digits[n], lim.vhplink)) return 0;
      if (!(n == 2 && digits[0] == '8' && digits[1] == '0')) {
        memmove(w, r, n + 1);
        w += n + 1;
      }
      r = digits + n;
    }
  } else if (*r != '\0' && !EndsPort(*r, lim.vhplink)) {
    return 0;
  }

  // Path, checked by class and copied as it stands.
  bool blank = false;
  const char* end = ScanPathShape(r, lim.vhplink, &blank);
  if (*end != '\0') return 0;
  size_t path_len = static_cast<size_t>(end - r);
  memmove(w, r, path_len);
  w += path_len;
  *w = '\0';
  size_t result = static_cast<size_t>(w - url);
  if (result > len || result >= lim.url_limit) return 0;
  if (!blank) return 1;
  return lim.max_url > 1024 ? ul_space_escape_ex2(url, lim.max_url, lim.max_site, lim.max_path)
                            : ul_space_escape(url, lim.max_url, lim.max_site, lim.max_path);
}

// Checks a copy of url in a buffer of kSize bytes; a URL that does not fit
// is too long for the tier and invalid.
template <size_t kSize>
int CheckCopy(const char* url, size_t max_site, size_t max_path) {
  if (url == nullptr) return 0;
  char copy[kSize];
  if (ul_strlcpy(copy, url, kSize) >= kSize) return 0;
  return ul_check_url_vhplink_modify_url(copy, kSize, max_site, max_path);
}

size_t NormalLimit(UrlType type) {
  switch (type) {
    case URL_TYPE_EX: return 1023;
    case URL_TYPE_EX2: return 2047;
    default: return 255;
  }
}

}  // namespace

int ul_check_url(char* url) { return CheckUrl(url, kCheckBase); }
int ul_check_url_ex(char* url) { return CheckUrl(url, kCheckEx); }
int ul_check_url_ex2(char* url) { return CheckUrl(url, kCheckEx2); }
int check_URL(char* url) { return ul_check_url(url); }

int ul_check_url_vhplink_modify_url(char* url, size_t max_url_len, size_t max_site_len,
                                    size_t max_path_len) {
  size_t limit = max_url_len < kVhplinkWork ? max_url_len : kVhplinkWork;
  CheckLimits lim = {limit, limit, max_site_len, max_path_len, false, true};
  return CheckUrl(url, lim);
}

int ul_check_url_vhplink(const char* url) { return CheckCopy<256>(url, 48, 203); }
int ul_check_url_ex_vhplink(const char* url) { return CheckCopy<1024>(url, 128, 800); }
int ul_check_url_ex2_vhplink(const char* url) { return CheckCopy<2048>(url, 256, 1600); }

int ul_parse_url_vhplink(const char* input, char* site, char* port, char* path, char* frag) {
  if (input == nullptr) return 0;
  constexpr SplitTier kTier = {"ul_parse_url", 256, false};
  char work[258];  // room for the inserted '/'
  char* s = PrepareUrl(kTier, input, work);
  if (s == nullptr) return 0;
  // A query or fragment before any '/' gets a '/' in front of it.
  char* first = s + strcspn(s, "/?#");
  if (*first == '?' || *first == '#') {
    memmove(first + 1, first, strlen(first) + 1);
    *first = '/';
  }
  if (!SplitUrl(kTier, input, s, site, 48, port, 6, path, 203)) return 0;
  if (path != nullptr && frag != nullptr) {
    char* hash = strchr(path, '#');
    if (hash == nullptr) {
      frag[0] = '\0';
    } else {
      size_t n = strlen(hash);
      if (n > 202) return 0;
      memcpy(frag, hash, n + 1);
      *hash = '\0';
    }
  }
  return 1;
}

int ul_isnormalized_url_with_fragment_flag(const char* url_content, int save_fragment,
                                           UrlType type) {
  if (url_content == nullptr) return 0;
  size_t limit = NormalLimit(type);
  if (strnlen(url_content, limit + 1) > limit) return 0;
  if (HasHttpPrefix(url_content)) return 0;

  // Host: lower-case labels ending in a letter or digit, at least one '.'.
  const char* p = url_content;
  bool dotted = false;
  for (;;) {
    const char* label = p;
    while (UL_URL_LET_DIG_HY[U(*p)]) {
      if (UL_URL_UP_LET[U(*p)]) return 0;
      ++p;
    }
    if (p == label || !UL_URL_LET_DIGIT[U(p[-1])]) return 0;
    if (*p != '.') break;
    dotted = true;
    ++p;
  }
  if (!dotted) return 0;

  // Port: 1..5 digits, value 1..65535 but not 80, then '/'.
  if (*p == ':') {
    ++p;
    size_t n = 0;
    long value = 0;
    while (n <= 5 && IsDigit(p[n])) value = value * 10 + (p[n++] - '0');
    if (n < 1 || n > 5 || p[n] != '/' || value == 0 || value >= 65536 || value == 80) return 0;
    p += n;
  }
  if (*p != '/') return 0;
  bool blank = false;
  return *ScanPathShape(p, save_fragment != 0, &blank) == '\0' ? 1 : 0;
}

int ul_isnormalized_url(const char* url) {
  return ul_isnormalized_url_with_fragment_flag(url, 0, URL_TYPE_DEFAULT);
}
int ul_isnormalized_url_save_fragment(const char* url) {
  return ul_isnormalized_url_with_fragment_flag(url, 1, URL_TYPE_DEFAULT);
}
int ul_isnormalized_url_ex(const char* url) {
  return ul_isnormalized_url_with_fragment_flag(url, 0, URL_TYPE_EX);
}
int ul_isnormalized_url_ex_save_fragment(const char* url) {
  return ul_isnormalized_url_with_fragment_flag(url, 1, URL_TYPE_EX);
}
int ul_isnormalized_url_ex2(const char* url) {
  return ul_isnormalized_url_with_fragment_flag(url, 0, URL_TYPE_EX2);
}
int ul_isnormalized_url_ex2_save_fragment(const char* url) {
  return ul_isnormalized_url_with_fragment_flag(url, 1, URL_TYPE_EX2);
}
