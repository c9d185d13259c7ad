// The path half of URL normalisation, in place: the single-path pass
// (escapes, part classes, fragment), blank escaping, and dot segments.
#include <stdint.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

#include "ul_url.h"
#include "ul_url_internal.h"

using namespace ulurl;

namespace {

// Largest text the blank escapers rebuild: 1024 bytes for the base forms,
// 2048 for the _ex2 forms; larger limits count as these.
constexpr size_t kEscapeWork = 1024;
constexpr size_t kEscapeWorkEx2 = 2048;

// Blank limits of the single-path passes.
constexpr size_t kBlankBase = 203;
constexpr size_t kBlankEx = 800;
constexpr size_t kBlankEx2 = 1600;

// Writes behind the read position of an in-place pass, never at or past cap
// bytes from the start; a byte that does not fit marks the pass as failed.
class PathWriter {
 public:
  PathWriter(char* base, size_t cap) : base_(base), w_(base), cap_(cap) {}
  void Put(char c) {
    if (length() >= cap_) {
      full_ = true;
      return;
    }
    *w_++ = c;
  }
  size_t length() const { return static_cast<size_t>(w_ - base_); }
  bool full() const { return full_; }

 private:
  char* base_;
  char* w_;
  size_t cap_;
  bool full_ = false;
};

// Copies the bytes of class cls from r: an escape whose byte is in cls and
// not reserved is written decoded, any other escape as received; '%' without
// two hex digits (or "%00") is an ordinary byte.
void PassPart(const char*& r, PathWriter& out, const ByteTable& cls, bool& blank) {
  while (cls[U(*r)]) {
    if (*r == '%' && r[1] != '\0' && r[2] != '\0') {
      unsigned char v = U(ul_to_char(r + 1));
      if (v != 0) {
        if (cls[v] && !UL_RESERVED[v]) {
          out.Put(static_cast<char>(v));
          blank |= v == ' ';
        } else {
          out.Put(r[0]);
          out.Put(r[1]);
          out.Put(r[2]);
        }
        r += 3;
        continue;
      }
    }
    blank |= *r == ' ';
    out.Put(*r++);
  }
}

// One single-path pass. The result may not be longer than result_limit and
// is never written at or past cap bytes (the terminator included); blanks are
// then escaped within blank_limit.
int SinglePath(char* path, bool save_fragment, size_t result_limit, size_t cap, size_t blank_limit,
               bool ex2) {
  if (path == nullptr) return 0;
  const char* r = path;
  PathWriter out(path, cap);
  bool blank = false;
  PassPart(r, out, UL_PCHAR, blank);  // the text before any '/'
  while (*r == '/') {
    out.Put(*r++);
    PassPart(r, out, UL_PCHAR, blank);
  }
  while (*r == ';') {
    out.Put(*r++);
    PassPart(r, out, UL_PARAM, blank);
  }
  while (*r == '?') {
    out.Put(*r++);
    PassPart(r, out, UL_UCH_RES, blank);
  }
  if (*r != '\0' && *r != '#') return 0;
  while (*r != '\0' && save_fragment) out.Put(*r++);
  if (out.length() > result_limit) return 0;
  out.Put('\0');
  if (out.full()) return 0;
  if (!blank) return 1;
  return ex2 ? ul_space_escape_path_ex2(path, blank_limit) : ul_space_escape_path(path, blank_limit);
}

// Rewrites s (len bytes, blanks of them) with every blank as "%20", back to
// front, in place; the buffer holds len + 2 * blanks + 1 bytes.
void ExpandBlanks(char* s, size_t len, size_t blanks) {
  char* w = s + len + 2 * blanks;
  *w = '\0';
  for (const char* r = s + len; r > s && w > r;) {
    char c = *--r;
    if (c == ' ') {
      *--w = '0';
      *--w = '2';
      *--w = '%';
    } else {
      *--w = c;
    }
  }
}

size_t CountBlanks(const char* begin, const char* end) {
  size_t n = 0;
  for (const char* p = begin; p < end; ++p) n += *p == ' ';
  return n;
}

int SpaceEscapePath(char* path, size_t max_path_len, size_t work) {
  if (path == nullptr) return 0;
  if (max_path_len > work) max_path_len = work;
  size_t len = strlen(path);
  size_t blanks = CountBlanks(path, path + len);
  if (len + 2 * blanks >= max_path_len) return 0;
  ExpandBlanks(path, len, blanks);
  return 1;
}

int SpaceEscape(char* url, size_t max_url_len, size_t max_site_len, size_t max_path_len,
                size_t work) {
  if (url == nullptr) return 0;
  if (max_url_len > work) max_url_len = work;
  size_t len = strlen(url);
  const char* end = url + len;
  size_t blanks = CountBlanks(url, end);
  if (len + 2 * blanks >= max_url_len) return 0;
  // The checks see the escaped text: each blank before a point moves it by 2.
  const char* host = url + (strncmp(url, "http://", 7) == 0 ? 7 : 0);
  if (*host == '/' || *host == ':') return 0;
  const char* slash = strchr(host, '/');
  if (slash != nullptr && (end - slash) + 2 * CountBlanks(slash, end) >= max_path_len) return 0;
  const char* host_end = host + strcspn(host, ":/");
  size_t host_len = static_cast<size_t>(host_end - host) + 2 * CountBlanks(host, host_end);
  if (*host_end != '\0' ? host_len > max_site_len : host_len >= max_site_len) return 0;
  ExpandBlanks(url, len, blanks);
  return 1;
}

// Drops the last written segment: w moves back behind the '/' before it, but
// never below floor.
char* PopSegment(char* w, const char* floor) {
  if (w <= floor) return w;
  --w;
  while (w > floor && w[-1] != '/') --w;
  return w;
}

// End of the part that dot segments and back slashes apply to: the first
// '?', else the first ';', else the end.
char* SlashRegionEnd(char* path) {
  char* stop = strchr(path, '?');
  if (stop == nullptr) stop = strchr(path, ';');
  return stop != nullptr ? stop : path + strlen(path);
}

void ReplaceSlashBefore(char* path, const char* stop) {
  for (char* p = path; p < stop; ++p) {
    if (*p == '\\') *p = '/';
  }
}

void NormalizeDots(char* path, bool vhplink) {
  char* stop = SlashRegionEnd(path);
  ReplaceSlashBefore(path, stop);
  char* const root = path + 1;
  char* floor = root;
  char* w = root;
  const char* r = root;
  while (r < stop) {
    if (w[-1] == '/') {
      size_t left = static_cast<size_t>(stop - r);
      if (left >= 2 && r[0] == '.' && r[1] == '/') {
        r += 2;
        continue;
      }
      if (left >= 3 && r[0] == '.' && r[1] == '.' && r[2] == '/') {
        r += 3;
        w = PopSegment(w, floor);
        continue;
      }
      if (r[0] == '/') {
        // The "//" of an embedded "http://" stays and becomes the floor.
        if (vhplink && w - path >= 6 && strncasecmp(w - 6, "http:/", 6) == 0) {
          *w++ = *r++;
          floor = w;
        } else {
          ++r;
        }
        continue;
      }
      if (left == 1 && r[0] == '.') {
        ++r;
        continue;
      }
      if (left == 2 && r[0] == '.' && r[1] == '.') {
        r += 2;
        w = PopSegment(w, root);
        continue;
      }
    }
    *w++ = *r++;
  }
  memmove(w, stop, strlen(stop) + 1);
}

void NormalizePath(char* path, size_t limit, const char* limit_text, const char* function) {
  if (path == nullptr) return;
  if (*path != '/') PreconditionFailed("*path == '/'", function);
  if (limit != 0 && strnlen(path, limit) >= limit) PreconditionFailed(limit_text, function);
  NormalizeDots(path, false);
}

}  // namespace

int ul_single_path(char* path) {
  ul_delete_inter(path);
  return SinglePath(path, false, 256, SIZE_MAX, kBlankBase, false);
}

int ul_single_path_nointer(char* path, int save_fragment) {
  return SinglePath(path, save_fragment != 0, 256, SIZE_MAX, kBlankBase, false);
}

int ul_single_path_ex(char* path) {
  size_t len = static_cast<size_t>(ul_delete_inter(path));
  return SinglePath(path, false, len, SIZE_MAX, kBlankEx, false);
}

int ul_single_path_ex2(char* path) {
  size_t len = static_cast<size_t>(ul_delete_inter(path));
  return SinglePath(path, false, len, SIZE_MAX, kBlankEx2, true);
}

int ul_single_path_ex_nointer(char* path, size_t len, int save_fragment) {
  return SinglePath(path, save_fragment != 0, len, SIZE_MAX, kBlankEx, false);
}

int ul_single_path_ex2_nointer(char* path, size_t len, int save_fragment) {
  return SinglePath(path, save_fragment != 0, len, SIZE_MAX, kBlankEx2, true);
}

int ul_single_path_ex2_nointer_special_for_ps_20110221(char* path, size_t len) {
  return SinglePath(path, true, len, len, std::min(len, kBlankEx2), true);
}

int ul_space_escape_path(char* path, size_t max_path_len) {
  return SpaceEscapePath(path, max_path_len, kEscapeWork);
}

int ul_space_escape_path_ex2(char* path, size_t max_path_len) {
  return SpaceEscapePath(path, max_path_len, kEscapeWorkEx2);
}

int ul_space_escape(char* url, size_t max_url_len, size_t max_site_len, size_t max_path_len) {
  return SpaceEscape(url, max_url_len, max_site_len, max_path_len, kEscapeWork);
}

int ul_space_escape_ex2(char* url, size_t max_url_len, size_t max_site_len, size_t max_path_len) {
  return SpaceEscape(url, max_url_len, max_site_len, max_path_len, kEscapeWorkEx2);
}

void ul_normalize_path(char* path) { NormalizePath(path, 0, nullptr, "ul_normalize_path"); }

void ul_normalize_path_ex(char* path) {
  NormalizePath(path, 1024, "len < 1024", "ul_normalize_path_ex");
}

void ul_normalize_path_ex2(char* path) {
  NormalizePath(path, 2048, "len < 2048", "ul_normalize_path_ex2");
}

void ul_normalize_path_vhplink(char* path) {
  if (path == nullptr) return;
  if (*path != '/') PreconditionFailed("*path == '/'", "ul_normalize_path_vhplink");
  NormalizeDots(path, true);
}

void replace_slash(char* path) {
  if (path != nullptr) ReplaceSlashBefore(path, SlashRegionEnd(path));
}
