// Byte-string helpers. Every table is indexed by the unsigned byte value.
#include "ul_string.h"

#include <string.h>

namespace {

constexpr unsigned char Lower(int c) {
  return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

inline unsigned char Byte(const char* p) { return static_cast<unsigned char>(*p); }

inline bool IsWordByte(const char* charset, const char* p) {
  return *p != '\0' && charset[Byte(p)] != 0;
}

// A GBK double-byte character: lead 0xB0..0xF7, trail 0xA1..0xFE. The trail
// byte is read only after a non-NUL lead, so never past the terminator.
inline bool IsGbkPair(const char* p) {
  unsigned char a = Byte(p);
  if (a < 0xB0 || a > 0xF7) return false;
  unsigned char b = Byte(p + 1);
  return b >= 0xA1 && b <= 0xFE;
}

char* SkipSeparators(char* p, const char* charset, bool gbk_stop) {
  while (*p != '\0' && charset[Byte(p)] == 0) {
    if (gbk_stop && IsGbkPair(p)) break;
    ++p;
  }
  return p;
}

}  // namespace

const unsigned char UL_CHAR_ALPHA_LOW[256] = {
#define R16(b)                                                                             \
  Lower(b + 0), Lower(b + 1), Lower(b + 2), Lower(b + 3), Lower(b + 4), Lower(b + 5),     \
      Lower(b + 6), Lower(b + 7), Lower(b + 8), Lower(b + 9), Lower(b + 10), Lower(b + 11), \
      Lower(b + 12), Lower(b + 13), Lower(b + 14), Lower(b + 15)
    R16(0x00), R16(0x10), R16(0x20), R16(0x30), R16(0x40), R16(0x50), R16(0x60), R16(0x70),
    R16(0x80), R16(0x90), R16(0xA0), R16(0xB0), R16(0xC0), R16(0xD0), R16(0xE0), R16(0xF0),
};
const unsigned char G_MAP[256] = {
    R16(0x00), R16(0x10), R16(0x20), R16(0x30), R16(0x40), R16(0x50), R16(0x60), R16(0x70),
    R16(0x80), R16(0x90), R16(0xA0), R16(0xB0), R16(0xC0), R16(0xD0), R16(0xE0), R16(0xF0),
#undef R16
};

char* ul_sgetw(char* src, char* word, const char* charset) {
  word[0] = '\0';
  char* p = SkipSeparators(src, charset, false);
  char* w = word;
  while (IsWordByte(charset, p)) *w++ = *p++;
  *w = '\0';
  return SkipSeparators(p, charset, false);
}

char* ul_sgetw_ana(char* src, char* word, const char* charset) {
  word[0] = '\0';
  if (*src == '\0') return src;
  char* p = SkipSeparators(src, charset, true);
  char* w = word;
  if (Byte(p) >= 0x80) {
    // A double-byte character; a lone high byte before the NUL is taken alone.
    *w++ = *p++;
    if (*p != '\0') *w++ = *p++;
  } else {
    while (IsWordByte(charset, p)) *w++ = *p++;
  }
  *w = '\0';
  return SkipSeparators(p, charset, true);
}

int ul_strncasecmp(const char* a, const char* b, size_t n) {
  // Reads exactly n bytes of each buffer.
  for (size_t i = 0; i < n; ++i) {
    if (G_MAP[Byte(a + i)] != G_MAP[Byte(b + i)]) return static_cast<int>(n - i);
  }
  return 0;
}

int ul_tolower(int c) { return UL_CHAR_ALPHA_LOW[c & 255]; }

int ul_tolowerstr(char* dst, const char* src) {
  if (dst == nullptr || src == nullptr) return 0;
  while ((*dst++ = static_cast<char>(UL_CHAR_ALPHA_LOW[Byte(src)])) != '\0') ++src;
  return 1;
}

int ul_tolowerstr_singlebuf(char* s) {
  if (s == nullptr) return 0;
  for (; *s != '\0'; ++s) *s = static_cast<char>(UL_CHAR_ALPHA_LOW[Byte(s)]);
  return 1;
}

size_t ul_strlcpy(char* dst, const char* src, size_t size) {
  size_t len = strlen(src);
  if (size > 0) {
    size_t n = len < size - 1 ? len : size - 1;
    memcpy(dst, src, n);
    dst[n] = '\0';
  }
  return len;
}

size_t ul_strlcat(char* dst, const char* src, size_t size) {
  size_t dlen = strnlen(dst, size);
  size_t slen = strlen(src);
  if (dlen == size) return size + slen;  // no terminator within size: nothing written
  size_t room = size - dlen - 1;
  size_t n = slen < room ? slen : room;
  memcpy(dst + dlen, src, n);
  dst[dlen + n] = '\0';
  return dlen + slen;
}
