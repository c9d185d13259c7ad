// Older word-sum signatures: sums of little-endian 4-byte words rotated by
// the word count, plus the bytes after the last whole word.
#include <cstring>

#include "dict_check.h"
#include "sign_sums.h"
#include "ul_dict.h"
#include "ul_log.h"

using dict_internal::LoadPartial;
using dict_internal::LoadWord;

namespace {

inline u_int Rotl(u_int x, unsigned n) {
  n &= 31;
  return n == 0 ? x : (x << n) | (x >> (32 - n));
}

inline u_int Rotr8(u_int x) { return (x >> 8) | (x << 24); }

// Up to n bytes, stopping at a NUL, as a little-endian number.
inline u_int LoadPartialToNul(const unsigned char* p, int n) {
  int k = 0;
  while (k < n && p[k] != 0) ++k;
  return LoadPartial(p, k);
}

// Sums of the words at even (B) and odd (A) indices of n words.
inline void SplitSums(const unsigned char* p, size_t n, u_int* even, u_int* odd) {
  u_int a = 0, b = 0;
  for (size_t i = 0; i < n; ++i) {
    const u_int w = LoadWord(p + 4 * i);
    if (i & 1) a += w; else b += w;
  }
  *even = b;
  *odd = a;
}

// The four 16-bit term accumulators of creat_sign_t64, folded into two words.
void TermSums(const void* terms, int size, const char* caller, u_int* lo, u_int* hi) {
  if (size % 4 != 0) ul_writelog(UL_LOG_WARNING, "%s", caller);
  const int n = size / 4;
  const auto* p = static_cast<const unsigned char*>(terms);
  u_int h[4] = {0, 0, 0, 0};
  for (int i = 0; i < n; ++i) {
    const u_int m = 65547u + 10u * static_cast<u_int>(i);
    h[i & 3] = (h[i & 3] + Rotr8(LoadWord(p + 4 * i)) % m) & 0xFFFFu;
  }
  *lo = h[0] + h[1] * 65536u;
  *hi = h[2] + h[3] * 65536u;
}

}  // namespace

u_int creat_sign32(const char* str) {
  DICT_CHECK(str != nullptr, "str_src");
  const auto* p = reinterpret_cast<const unsigned char*>(str);
  const size_t len = std::strlen(str);
  const size_t n = len / 4;
  u_int sum = 0;
  for (size_t i = 0; i < n; ++i) sum += LoadWord(p + 4 * i);
  return LoadPartial(p + 4 * n, static_cast<int>(len - 4 * n)) + Rotl(sum, static_cast<unsigned>(n));
}

int creat_sign64(const char* str, u_int* sign1, u_int* sign2) {
  *sign1 = *sign2 = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(str);
  const size_t len = std::strlen(str);
  if (len <= 8) {
    *sign1 = LoadPartial(p, len < 4 ? static_cast<int>(len) : 4);
    *sign2 = len > 4 ? LoadPartial(p + 4, static_cast<int>(len - 4)) : 0;
    return 1;
  }
  const size_t n = len / 4;
  u_int even, odd;
  SplitSums(p, n, &even, &odd);
  const u_int tail = LoadPartial(p + 4 * n, static_cast<int>(len - 4 * n));
  *sign1 = Rotl(odd, static_cast<unsigned>(n)) + tail;
  *sign2 = Rotl(even, static_cast<unsigned>(n)) + tail;
  return 1;
}

int creat_sign_t64(const void* terms, int size, const char* str, u_int* sign1, u_int* sign2) {
  u_int lo, hi;
  TermSums(terms, size, "[creat_sign_t64] size must = 4*n ", &lo, &hi);
  creat_sign64(str, sign1, sign2);
  *sign1 += lo;
  *sign2 += hi;
  return 1;
}

int creat_sign_nt64(const void* terms, int size, const char* str, u_int* sign1, u_int* sign2) {
  u_int lo, hi;
  TermSums(terms, size, "[creat_sign_nt64] size must = 4*n ", &lo, &hi);
  creat_sign64(str, sign1, sign2);
  *sign1 += lo;
  *sign2 += hi + static_cast<u_int>(std::strlen(str));
  return 1;
}

int a_creat_sign_t64(const void* src, int len, u_int* sign1, u_int* sign2) {
  *sign1 = *sign2 = 0;
  if (len < 0) len = 0;
  const auto* p = static_cast<const unsigned char*>(src);
  const int n = len / 4;
  if (n < 1) {
    *sign1 = *sign2 = LoadPartialToNul(p, len);
    return 1;
  }
  u_int even, odd;
  SplitSums(p, static_cast<size_t>(n), &even, &odd);
  const u_int tail = LoadPartialToNul(p + 4 * n, len - 4 * n);
  *sign1 = Rotl(odd, static_cast<unsigned>(n)) + tail;
  *sign2 = Rotl(even, static_cast<unsigned>(n)) + tail;
  return 1;
}

u_int creat_term_sign(const char* str) {
  const auto* p = reinterpret_cast<const unsigned char*>(str);
  const size_t len = std::strlen(str);
  if (len == 4) return LoadWord(p);
  const size_t n = len / 4;
  u_int sum = 0;
  for (size_t i = 0; i < n; ++i) sum += LoadWord(p + 4 * i);
  const u_int v = LoadPartial(p + 4 * n, static_cast<int>(len - 4 * n)) + Rotl(sum, static_cast<unsigned>(n));
  if (p[0] >= 0x80) return (v & 0x7F7FFFFFu) | 0x80000000u;
  return v & 0x7FFFFFFFu;
}
