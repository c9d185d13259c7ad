// GB18030 character classes and the table conversions of GB18030 text to
// and from BIG5 and GBI.
#include "ul_gb18030.h"

#include <stdint.h>
#include <string.h>

#include "ul_big5_gbk.h"
#include "ul_ccode_load.h"
#include "ul_gb18030_bounded.h"
#include "ul_grid_cell.h"
#include "ul_log.h"
#include "ul_special_word.h"

namespace {

// Class of the character at p (readable up to its NUL): 1, 2, 4 or 0.
inline int GbClass(const unsigned char* p) {
  if (p[0] < 0x80) return 1;
  if (p[0] < 0x81 || p[0] > 0xFE) return 0;
  if (p[1] >= 0x40 && p[1] <= 0xFE && p[1] != 0x7F) return 2;
  if (p[1] >= '0' && p[1] <= '9' && p[2] >= 0x81 && p[2] <= 0xFE && p[3] >= '0' && p[3] <= '9') return 4;
  return 0;
}

inline bool IsGbPair(const unsigned char* p) { return IsGbkPair(p); }

inline bool IsGbFour(const unsigned char* p) {
  return p[0] >= 0x81 && p[0] <= 0xFE && p[1] >= '0' && p[1] <= '9' && p[2] >= 0x81 && p[2] <= 0xFE &&
         p[3] >= '0' && p[3] <= '9';
}

// Length of the walk: len, or the text's length for len < 1.
inline int WalkLength(const unsigned char* src, int len) {
  return len >= 1 ? len : static_cast<int>(strlen(reinterpret_cast<const char*>(src)));
}

bool CheckArgs(const void* src, const void* dst, const char* name) {
  if (src != nullptr && dst != nullptr) return true;
  ul_writelog(UL_LOG_FATAL, "invalid parameter in function '%s'.\n", name);
  return false;
}

bool CheckGrid(const unsigned char* grid, const char* grid_name) {
  if (grid != nullptr) return true;
  ul_writelog(UL_LOG_FATAL, "have not load the maping table: %s\n", grid_name);
  return false;
}

// Copies a byte above 0x80 with the byte after it (when that is within n
// and not NUL), else the byte alone; the bytes consumed.
inline int CopyRest(const unsigned char* src, int i, int n, unsigned char* dst, int* o) {
  if (src[i] > 0x80 && i + 1 < n && src[i + 1] != 0) {
    dst[(*o)++] = src[i];
    dst[(*o)++] = src[i + 1];
    return 2;
  }
  dst[(*o)++] = src[i];
  return 1;
}

// Bytes the BIG5 <-> GB18030 walks write for the unit at p (left bytes
// within the walk): 2 for a pair, a four-byte sequence or a byte above 0x80
// with a byte after it, else 1.
inline size_t WalkOutput(const unsigned char* p, int left, bool from_big5) {
  if (left >= 2 && (IsGbPair(p) || (p[0] > 0x80 && p[1] != 0))) return 2;
  if (!from_big5 && left >= 4 && IsGbFour(p)) return 2;
  return 1;
}

// Converts the GBK pair at p alone through a GBK-layout grid (its rules,
// special words included, apply to the pair by itself) into d[0..1].
inline void ConvertPairAlone(const unsigned char* grid, const unsigned char* p, unsigned char* d) {
  const unsigned char pair[3] = {p[0], p[1], 0};
  unsigned char out[3];
  gbk_to_str(grid, pair, out, 2);
  d[0] = out[0];
  d[1] = out[1];
}

}  // namespace

int ccode_gb18030_big5_bounded(const unsigned char* src, unsigned char* dst, int len, size_t room, int* consumed,
                               const char* name) {
  if (!CheckArgs(src, dst, name) || !CheckGrid(gbk_big5_map, "gbk_big5_map")) return -1;
  const int n = WalkLength(src, len);
  int i = 0, o = 0, blanked = 0;
  while (i < n) {
    const unsigned char* p = src + i;
    if (static_cast<size_t>(o) + WalkOutput(p, n - i, false) > room) break;
    if (n - i >= 2 && is_gb18030_euro(p)) {
      dst[o++] = 0xA3;
      dst[o++] = 0xE1;
      i += 2;
    } else if (n - i >= 2 && IsGbPair(p)) {
      ConvertPairAlone(gbk_big5_map, p, dst + o);
      o += 2;
      i += 2;
    } else if (n - i >= 4 && IsGbFour(p)) {
      dst[o++] = ' ';
      dst[o++] = ' ';
      blanked += 4;
      i += 4;
    } else {
      i += CopyRest(src, i, n, dst, &o);
    }
  }
  dst[o] = 0;
  if (consumed != nullptr) *consumed = i;
  return blanked;
}

int ccode_big5_gb18030_bounded(const unsigned char* src, unsigned char* dst, int len, size_t room, int* consumed,
                               const char* name) {
  if (!CheckArgs(src, dst, name) || !CheckGrid(big5_gbk_map, "big5_gbk_map")) return -1;
  const int n = WalkLength(src, len);
  int i = 0, o = 0, blanked = 0;
  while (i < n) {
    const unsigned char* p = src + i;
    if (static_cast<size_t>(o) + WalkOutput(p, n - i, true) > room) break;
    if (n - i >= 2 && is_big5_euro(p)) {
      dst[o++] = 0xA2;
      dst[o++] = 0xE3;
      i += 2;
    } else if (n - i >= 2 && IsBig5Pair(p)) {
      const unsigned char* cell = big5_gbk_map + 2 * Big5Cell(p);
      // A cell without a mapping would put zero bytes into the text.
      const bool mapped = cell[0] != 0 && cell[1] != 0;
      dst[o++] = mapped ? cell[0] : ' ';
      dst[o++] = mapped ? cell[1] : ' ';
      i += 2;
    } else if (n - i >= 2 && p[0] > 0x9F && p[1] > 0x3F) {
      dst[o++] = ' ';
      dst[o++] = ' ';
      blanked += 2;
      i += 2;
    } else {
      i += CopyRest(src, i, n, dst, &o);
    }
  }
  dst[o] = 0;
  if (consumed != nullptr) *consumed = i;
  return blanked;
}

namespace {

// GB18030 <-> GBI: the euro sign and four-byte sequences copied; to GBI a
// pair goes through the grid, a zero cell decided by the special words in
// the context of the whole text; from GBI a pair is converted alone.
int Gb18030Gbi(const unsigned char* src, unsigned char* dst, int len, bool to_gbi) {
  const char* name = to_gbi ? "ul_gb18030_gbi_str" : "ul_gbi_gb18030_str";
  const unsigned char* grid = to_gbi ? gbk_gbi_map : gbi_gbk_map;
  if (!CheckArgs(src, dst, name) || !CheckGrid(grid, to_gbi ? "gbk_gbi_map" : "gbi_gbk_map")) return -1;
  const int n = WalkLength(src, len);
  int i = 0, o = 0;
  while (i < n) {
    const unsigned char* p = src + i;
    if (n - i >= 2 && is_gb18030_euro(p)) {
      dst[o++] = p[0];
      dst[o++] = p[1];
      i += 2;
    } else if (n - i >= 2 && IsGbPair(p)) {
      if (!to_gbi) {
        ConvertPairAlone(grid, p, dst + o);
      } else {
        const int cell = GbkCell(p);
        const unsigned char* c = grid + 2 * cell;
        if (c[0] != 0 && c[1] != 0) {
          dst[o] = c[0];
          dst[o + 1] = c[1];
        } else {
          trans_special_word(src, dst, i, o, n, g_gbk_hash_table ? &g_gbk_hash_table[cell] : nullptr, nullptr);
        }
      }
      o += 2;
      i += 2;
    } else if (n - i >= 4 && IsGbFour(p)) {
      memcpy(dst + o, p, 4);
      o += 4;
      i += 4;
    } else {
      i += CopyRest(src, i, n, dst, &o);
    }
  }
  dst[o] = 0;
  return 1;
}

}  // namespace

int ul_next_gb18030(const char* s) {
  if (s == nullptr || s[0] == '\0') return 0;
  const int n = GbClass(reinterpret_cast<const unsigned char*>(s));
  return n == 0 ? -1 : n;
}

int ul_gb18030_len(const char* s) {
  if (s == nullptr) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
  int chars = 0;
  while (*p != 0) {
    const int n = GbClass(p);
    if (n == 0) {
      ++p;
    } else {
      ++chars;
      p += n;
    }
  }
  return chars;
}

int ul_ccode_is_next_gb(const char* s) {
  if (s == nullptr || s[0] == '\0') return 0;
  return GbClass(reinterpret_cast<const unsigned char*>(s));
}

int is_gb18030_euro(const unsigned char* pair) { return pair != nullptr && pair[0] == 0xA2 && pair[1] == 0xE3; }
int is_big5_euro(const unsigned char* pair) { return pair != nullptr && pair[0] == 0xA3 && pair[1] == 0xE1; }
bool is_ascii(unsigned char byte) { return byte < 0x80; }
int is_gb_byte1(const unsigned char* p) { return p != nullptr && p[0] < 0x80; }
int is_gb_byte2(const unsigned char* p) { return p != nullptr && IsGbPair(p); }
int is_gb_byte4(const unsigned char* p) { return p != nullptr && IsGbFour(p); }

int ul_gb18030_big5_str(const unsigned char* src, unsigned char* dst, int len) {
  return ccode_gb18030_big5_bounded(src, dst, len, SIZE_MAX, nullptr, "ul_gb18030_big5_str") < 0 ? -1 : 1;
}
int ul_gb18030_big5(const unsigned char* src, unsigned char* dst, int len) {
  return ccode_gb18030_big5_bounded(src, dst, len, SIZE_MAX, nullptr, "ul_gb18030_big5");
}
int ul_big5_gb18030_str(const unsigned char* src, unsigned char* dst, int len) {
  return ccode_big5_gb18030_bounded(src, dst, len, SIZE_MAX, nullptr, "ul_big5_gb18030_str") < 0 ? -1 : 1;
}
int ul_big5_gb18030(const unsigned char* src, unsigned char* dst, int len) {
  return ccode_big5_gb18030_bounded(src, dst, len, SIZE_MAX, nullptr, "ul_big5_gb18030");
}
int ul_gb18030_gbi_str(const unsigned char* src, unsigned char* dst, int len) { return Gb18030Gbi(src, dst, len, true); }
int ul_gbi_gb18030_str(const unsigned char* src, unsigned char* dst, int len) {
  return Gb18030Gbi(src, dst, len, false);
}
