// GBK <-> UCS-2 <-> UTF-8 through the compiled-in tables.
#include "ul_gbk.h"

#include <string.h>

#include <cstddef>

#include "ul_gbk_table.h"

namespace {

// Eight bytes of ASCII (no high bit set) at p.
inline bool AllAscii8(const unsigned char* p) {
  uint64_t v;
  memcpy(&v, p, sizeof(v));
  return (v & 0x8080808080808080ULL) == 0;
}

// The code point of the GBK character at s (avail > 0 bytes readable) and
// its length in *len. A pair is read only when both bytes are there and its
// lead is 0x81..0xFE; ASCII and 0x80 are always single bytes, so a NUL after
// them is never swallowed.
inline uint16_t ReadGbk(const unsigned char* s, size_t avail, int* len) {
  if (s[0] >= 0x81 && avail >= 2) {
    uint16_t cp = ObvLookup(static_cast<uint16_t>(s[0] | (s[1] << 8)));
    if (cp != kGbkNoMapping) {
      *len = 2;
      return cp;
    }
  }
  *len = 1;
  return ObvLookup(s[0]);
}

// UTF-8 of a 16-bit unit (1 to 3 bytes) at d; no NUL.
inline int PutUtf8(unsigned char* d, uint16_t u) {
  if (u < 0x80) {
    d[0] = static_cast<unsigned char>(u);
    return 1;
  }
  if (u < 0x800) {
    d[0] = static_cast<unsigned char>(0xC0 | (u >> 6));
    d[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
    return 2;
  }
  d[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
  d[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
  d[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
  return 3;
}

inline int Utf8Len(uint16_t u) { return u < 0x80 ? 1 : u < 0x800 ? 2 : 3; }

// GBK bytes of a table value at d: 1 or 2 (low byte first).
inline int PutGbk(unsigned char* d, uint16_t v) {
  d[0] = static_cast<unsigned char>(v & 0xFF);
  if (v <= 0xFF) return 1;
  d[1] = static_cast<unsigned char>(v >> 8);
  return 2;
}

// Length of the UTF-8 sequence a lead byte starts, 0 for a byte that is
// skipped alone (80..BF, FE, FF).
inline int Utf8SeqLen(unsigned char b) {
  if (b < 0x80) return 1;
  if (b < 0xC0) return 0;
  if (b < 0xE0) return 2;
  if (b < 0xF0) return 3;
  if (b < 0xF8) return 4;
  if (b < 0xFC) return 5;
  if (b < 0xFE) return 6;
  return 0;
}

// The UTF-8 of every mapped GBK pair, by (lead - 0x81) << 8 | trail: its
// bytes in memory order in the low three bytes (as a little-endian word) and
// its length in the high byte; 0 for a pair without a mapping. Built from
// Obvmap on first use.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "cells are stored as little-endian words");
struct Utf8OfPairs {
  uint32_t cell[126 << 8];
  Utf8OfPairs() : cell() {
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        const uint16_t cp = ObvLookup(static_cast<uint16_t>(lead | trail << 8));
        if (trail == 0x7F || cp == kGbkNoMapping) continue;
        unsigned char bytes[4] = {0, 0, 0, 0};
        const int n = PutUtf8(bytes, cp);
        cell[(lead - 0x81) << 8 | trail] = static_cast<uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16) |
                                           static_cast<uint32_t>(n) << 24;
      }
    }
  }
};

const Utf8OfPairs& PairsAsUtf8() {
  static const Utf8OfPairs pairs;
  return pairs;
}

}  // namespace

int gbk_to_unicode(uint16_t* dst, int dstsize, const char* src, int len) {
  if (src == nullptr || len <= 0) return 0;
  const bool count_only = dst == nullptr || dstsize <= 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  size_t n = static_cast<size_t>(len);
  int units = 0;
  for (size_t i = 0; i < n;) {
    if (!count_only && units >= dstsize) break;
    int step;
    uint16_t cp = ReadGbk(s + i, n - i, &step);
    if (!count_only) dst[units] = cp;
    ++units;
    i += static_cast<size_t>(step);
  }
  return units;
}

int unicode_to_gbk(char* dst, int dstsize, const uint16_t* src, int count, uint16_t replacement) {
  if (src == nullptr || count <= 0) return 0;
  const bool count_only = dst == nullptr || dstsize <= 0;
  unsigned char* d = reinterpret_cast<unsigned char*>(dst);
  int written = 0;
  for (int i = 0; i < count; ++i) {
    uint16_t v = RevLookup(src[i]);
    if (v == kGbkNoMapping) v = replacement;
    int n = v > 0xFF ? 2 : 1;
    if (count_only) {
      written += n;
      continue;
    }
    if (n > dstsize - written) break;
    written += PutGbk(d + written, v);
  }
  return written;
}

int unicode_to_gbk_word(char* dst, uint16_t unit) {
  if (dst == nullptr) return 0;
  uint16_t v = RevLookup(unit);
  if (v == kGbkNoMapping) v = ' ';
  int n = PutGbk(reinterpret_cast<unsigned char*>(dst), v);
  dst[n] = '\0';
  return n;
}

int to_utf8_word(char* dst, uint16_t unit) {
  if (dst == nullptr) return 0;
  if (unit == 0) {
    dst[0] = '\0';
    return 0;
  }
  int n = PutUtf8(reinterpret_cast<unsigned char*>(dst), unit);
  dst[n] = '\0';
  return n;
}

int unicode_to_utf8(char* dst, int size, const uint16_t* src, int count) {
  if (src == nullptr || count <= 0) {
    if (dst != nullptr && size > 0) dst[0] = '\0';
    return 0;
  }
  if (dst == nullptr) {
    int total = 0;
    for (int i = 0; i < count; ++i) total += Utf8Len(src[i]);
    return total;
  }
  if (size <= 0) return 0;
  unsigned char* d = reinterpret_cast<unsigned char*>(dst);
  int w = 0;
  for (int i = 0; i < count; ++i) {
    if (Utf8Len(src[i]) > size - 1 - w) break;
    w += PutUtf8(d + w, src[i]);
  }
  d[w] = '\0';
  return w;
}

int ul_gbk_to_utf8(char* dst, int size, const char* src) {
  if (dst == nullptr || src == nullptr || size < 1) return -1;
  const size_t len = strlen(src);
  if (static_cast<size_t>(size) < (len / 2) * 3 + 1) return -1;
  const Utf8OfPairs& pairs = PairsAsUtf8();
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  unsigned char* d = reinterpret_cast<unsigned char*>(dst);
  const size_t room = static_cast<size_t>(size) - 1;  // bytes before the NUL
  size_t i = 0, w = 0;
  while (i < len) {
    const unsigned char b0 = s[i];
    if (b0 < 0x80) {
      if (i + 8 <= len && w + 8 <= room && AllAscii8(s + i)) {
        memcpy(d + w, s + i, 8);
        i += 8;
        w += 8;
        continue;
      }
      if (w >= room) break;
      d[w++] = b0;
      ++i;
      continue;
    }
    // A mapped pair, with room to store its four-byte cell whole.
    if (b0 >= 0x81 && b0 <= 0xFE && i + 1 < len && room - w >= 4) {
      const uint32_t cell = pairs.cell[(b0 - 0x81) << 8 | s[i + 1]];
      if (cell != 0) {
        memcpy(d + w, &cell, 4);
        w += cell >> 24;
        i += 2;
        continue;
      }
    }
    int step;
    uint16_t cp = ReadGbk(s + i, len - i, &step);
    if (static_cast<size_t>(Utf8Len(cp)) > room - w) break;
    w += static_cast<size_t>(PutUtf8(d + w, cp));
    i += static_cast<size_t>(step);
  }
  d[w] = '\0';
  return static_cast<int>(w);
}

int ul_utf8_to_gbk(char* dst, int size, const char* src) {
  if (dst == nullptr || src == nullptr || size < 1) return -1;
  const size_t len = strlen(src);
  if (static_cast<size_t>(size) < len + 1) return -1;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  unsigned char* d = reinterpret_cast<unsigned char*>(dst);
  const size_t room = static_cast<size_t>(size) - 1;
  size_t i = 0, w = 0;
  if (len >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF) i = 3;
  while (i < len) {
    if (i + 8 <= len && w + 8 <= room && AllAscii8(s + i)) {
      memcpy(d + w, s + i, 8);
      i += 8;
      w += 8;
      continue;
    }
    int n = Utf8SeqLen(s[i]);
    if (n == 0) {
      ++i;
      continue;
    }
    // A lead byte not followed by its continuation bytes (10xxxxxx) is one
    // blank, and the bytes after it are read on their own.
    const size_t have = static_cast<size_t>(n) <= len - i ? static_cast<size_t>(n) : len - i;
    size_t k = 1;
    while (k < have && (s[i + k] & 0xC0u) == 0x80u) ++k;
    uint16_t v = kGbkNoMapping;
    if (k < have) {
      n = 1;
    } else {
      if (have < static_cast<size_t>(n)) break;  // cut by the end of the text
      uint32_t cp = n == 1 ? s[i] : s[i] & (0x7Fu >> n);
      for (int c = 1; c < n; ++c) cp = (cp << 6) | (s[i + c] & 0x3Fu);
      // Only the low 16 bits are kept; when they are 0 (U+10000, an overlong
      // NUL) the character has no GBK code, so no NUL lands inside the text.
      const uint16_t unit = static_cast<uint16_t>(cp);
      if (unit != 0) v = RevLookup(unit);
    }
    if (v == kGbkNoMapping) v = ' ';
    if ((v > 0xFF ? 2u : 1u) > room - w) break;
    w += static_cast<size_t>(PutGbk(d + w, v));
    i += static_cast<size_t>(n);
  }
  d[w] = '\0';
  return static_cast<int>(w);
}
