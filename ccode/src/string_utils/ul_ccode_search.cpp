// Search and comparison over multi-byte text.
#include "ul_ccode_search.h"

#include <errno.h>
#include <stdint.h>
#include <string.h>

#include "ul_ccode_memo.h"
#include "ul_ccode_next.h"
#include "ul_ccode_type.h"
#include "ul_log.h"

namespace {

inline bool In(unsigned b, unsigned lo, unsigned hi) { return b >= lo && b <= hi; }
inline bool Cont(unsigned b) { return In(b, 0x80, 0xBF); }

// Character lengths of the four code types the searches step, as
// ul_ccode_nextn gives them, inlined for the search loops: avail bytes may be
// read (SIZE_MAX for NUL-terminated text: each test fails at a NUL before
// the next byte is read). 0 for an invalid character.
inline int StepGbk(const unsigned char* p, size_t avail, bool gb18030) {
  const unsigned b0 = p[0];
  if (b0 < 0x80) return 1;
  if (b0 == 0x80 || b0 == 0xFF || avail < 2) return 0;
  const unsigned b1 = p[1];
  if (In(b1, 0x40, 0xFE) && b1 != 0x7F) return 2;
  if (gb18030 && In(b1, '0', '9') && avail >= 4 && In(p[2], 0x81, 0xFE) && In(p[3], '0', '9')) return 4;
  return 0;
}

inline int StepUtf8(const unsigned char* p, size_t avail) {
  const unsigned b0 = p[0];
  if (b0 < 0x80) return 1;
  int n;
  unsigned min1 = 0x80;
  if (In(b0, 0xC2, 0xDF)) {
    n = 2;
  } else if (In(b0, 0xE0, 0xEF)) {
    n = 3;
    if (b0 == 0xE0) min1 = 0xA0;
  } else if (In(b0, 0xF0, 0xF4)) {
    n = 4;
    if (b0 == 0xF0) min1 = 0x90;
  } else {
    return 0;
  }
  if (avail < static_cast<size_t>(n) || !In(p[1], min1, 0xBF)) return 0;
  for (int i = 2; i < n; ++i) {
    if (!Cont(p[i])) return 0;
  }
  return n;
}

// The stepping rules of the search code types, as function objects that
// the search loops inline. kPairBlocks: eight bytes of 81..FE that start at a
// boundary are four valid pairs.
struct GbkStep {
  bool gb18030;
  static constexpr bool kPairBlocks = true;
  int operator()(const unsigned char* p, size_t avail) const { return StepGbk(p, avail, gb18030); }
};
struct Utf8Step {
  static constexpr bool kPairBlocks = false;
  int operator()(const unsigned char* p, size_t avail) const { return StepUtf8(p, avail); }
};
struct AsciiStep {
  static constexpr bool kPairBlocks = false;
  int operator()(const unsigned char* p, size_t) const { return p[0] < 0x80 ? 1 : 0; }
};

inline const unsigned char* U(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
inline bool HasZeroByte(uint64_t v) { return ((v - kOnes) & ~v & kHighs) != 0; }
inline bool AllAscii(uint64_t w) { return (w & kHighs) == 0; }
// Every byte in 81..FE: high, and none 80 or FF.
inline bool AllPairBytes(uint64_t w) { return (w & kHighs) == kHighs && !HasZeroByte(w ^ kHighs) && !HasZeroByte(~w); }

// Walks characters from the boundary p up to target: the first boundary at
// or after target, or NULL at an invalid character before it. end bounds the
// readable bytes (NULL: NUL-terminated); the bytes before target hold no
// NUL. Blocks of eight ASCII bytes (or of pair bytes, where they are four
// pairs) are stepped over whole.
template <class Step>
const char* WalkTo(const char* p, const char* target, const char* end, const Step& step) {
  while (p < target) {
    if (target - p >= 8) {
      uint64_t w;
      memcpy(&w, p, 8);
      if (AllAscii(w) || (Step::kPairBlocks && AllPairBytes(w))) {
        p += 8;
        continue;
      }
    }
    // A mixed block: its characters one by one.
    for (const char* stop = target - p > 8 ? p + 8 : target; p < stop;) {
      const int n = step(U(p), end == nullptr ? SIZE_MAX : static_cast<size_t>(end - p));
      if (n == 0) return nullptr;
      p += n;
    }
  }
  return p;
}

// The characters of text within sz bytes (up to a NUL or an invalid one).
template <class Fn>
void ForEachChar(const char* text, int sz, int codetype, Fn fn) {
  for (int off = 0; off < sz && text[off] != '\0';) {
    const int n = ul_ccode_nextn(text + off, sz - off, codetype);
    if (n == 0) return;
    if (!fn(text + off, n)) return;
    off += n;
  }
}

// White space of the C locale.
inline bool IsSpace(unsigned char c) { return c == ' ' || In(c, '\t', '\r'); }

}  // namespace

char* ul_ccode_find(const char* str1, const char* str2, int codetype) {
  if (str1 == nullptr || str2 == nullptr) {
    errno = EINVAL;
    ul_writelog(UL_LOG_FATAL, "invalid parameter in ul_ccode_find");
    return nullptr;
  }
  if (codetype == CODETYPE_UTF8 || codetype == CODETYPE_ASCII) return const_cast<char*>(strstr(str1, str2));
  if (codetype != CODETYPE_GB && codetype != CODETYPE_GBK) return nullptr;
  if (str2[0] == '\0') return const_cast<char*>(str1);
  const bool gb18030 = codetype == CODETYPE_GB;
  // A byte match is a match when a character starts there: walk the
  // characters up to each candidate, and search on from the first boundary
  // after one that falls inside a character.
  for (const char* from = str1;;) {
    const char* candidate = strstr(from, str2);
    if (candidate == nullptr) return nullptr;
    const char* p = WalkTo(from, candidate, nullptr, GbkStep{gb18030});
    if (p == nullptr) return nullptr;
    if (p == candidate) return const_cast<char*>(candidate);
    from = p;
  }
}

namespace {

template <class Step>
char* FindN(const char* str1, int szStr1, const char* str2, size_t n, const Step& step) {
  const char* end = str1 + szStr1;
  // At a boundary, an invalid character ends the search before a match.
  auto valid_at = [&](const char* p) { return step(U(p), static_cast<size_t>(end - p)) != 0; };
  if (n == 0) return str1[0] != '\0' && valid_at(str1) ? const_cast<char*>(str1) : nullptr;
  for (const char* from = str1;;) {
    const char* candidate = static_cast<const char*>(memmem(from, static_cast<size_t>(end - from), str2, n));
    // The text ends at its NUL: a match at or after it is none. (Only the
    // bytes up to the match are looked at, so a search for one occurrence
    // after another stays linear.)
    if (candidate == nullptr || memchr(from, '\0', static_cast<size_t>(candidate - from) + n) != nullptr) {
      return nullptr;
    }
    const char* p = WalkTo(from, candidate, end, step);
    if (p == nullptr) return nullptr;
    if (p == candidate) return valid_at(p) ? const_cast<char*>(p) : nullptr;
    from = p;
  }
}

}  // namespace

char* ul_ccode_findn(const char* str1, int szStr1, const char* str2, int szStr2, int codetype) {
  if (str1 == nullptr || str2 == nullptr) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in ul_ccode_findn");
    return nullptr;
  }
  if (szStr1 < 1) return nullptr;
  const size_t n = static_cast<size_t>(get_exact_len(str2, szStr2));
  switch (codetype) {
    case CODETYPE_GB:
    case CODETYPE_GBK:
      return FindN(str1, szStr1, str2, n, GbkStep{codetype == CODETYPE_GB});
    case CODETYPE_UTF8:
      return FindN(str1, szStr1, str2, n, Utf8Step{});
    case CODETYPE_ASCII:
      return FindN(str1, szStr1, str2, n, AsciiStep{});
    default:
      return nullptr;
  }
}

namespace {

// The last position among the character starts of text[0, len) (stepped by
// next) where the n bytes of pattern match within len bytes. Scratch memory
// holds the characters' lengths. *failed is set for a missing buffer or an
// invalid character when invalid_fails.
template <class Next>
const char* FindLast(const char* text, size_t len, const char* pattern, size_t n, bool invalid_fails, Next next,
                     bool* failed) {
  ScratchScope scratch;
  if (!scratch.has_pool()) {
    *failed = true;
    return nullptr;
  }
  if (len == 0) return nullptr;
  unsigned char* lengths = static_cast<unsigned char*>(scratch.Alloc(len));
  if (lengths == nullptr) {
    errno = EAGAIN;
    *failed = true;
    return nullptr;
  }
  size_t count = 0;
  for (size_t off = 0; off < len;) {
    const int c = next(text + off, len - off);
    if (c == 0) {
      if (invalid_fails) return nullptr;
      break;
    }
    lengths[count++] = static_cast<unsigned char>(c);
    off += static_cast<size_t>(c);
  }
  size_t off = 0;
  for (size_t i = 0; i < count; ++i) off += lengths[i];
  for (size_t i = count; i-- > 0;) {
    off -= lengths[i];
    if (len - off >= n && memcmp(text + off, pattern, n) == 0) return text + off;
  }
  return nullptr;
}

}  // namespace

char* ul_ccode_ifind(const char* str1, const char* str2, int codetype) {
  if (str1 == nullptr || str2 == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  bool failed = false;
  // ul_ccode_next never steps over the NUL except in the code types that do
  // not look at the bytes (UCS-2, UTF-16, UTF-32); the walk stops at the end
  // of the text all the same.
  return const_cast<char*>(FindLast(
      str1, strlen(str1), str2, strlen(str2), true,
      [codetype](const char* p, size_t left) {
        const int c = ul_ccode_next(p, codetype);
        return static_cast<size_t>(c) <= left ? c : 0;
      },
      &failed));
}

char* ul_ccode_ifindn(const char* str1, int szStr1, const char* str2, int szStr2, int codetype) {
  if (str1 == nullptr || str2 == nullptr || szStr1 < 1 || szStr2 < 1) {
    errno = EINVAL;
    return nullptr;
  }
  bool failed = false;
  return const_cast<char*>(FindLast(
      str1, static_cast<size_t>(get_exact_len(str1, szStr1)), str2, static_cast<size_t>(get_exact_len(str2, szStr2)),
      false, [codetype](const char* p, size_t left) { return ul_ccode_nextn(p, static_cast<int>(left), codetype); },
      &failed));
}

namespace {

// Shared walk of the three set tests: calls found(bool) per character of
// str1 until it answers false; -1 (EINVAL) for bad arguments.
template <class Fn>
int InsetWalk(const char* str1, int szStr1, const char* str2, int szStr2, int codetype, Fn found) {
  if (str1 == nullptr || str2 == nullptr || szStr1 < 1 || szStr2 < 1) {
    errno = EINVAL;
    return -1;
  }
  ForEachChar(str1, szStr1, codetype, [&](const char* c, int n) {
    return found(ul_ccode_findn(str2, szStr2, c, n, codetype) != nullptr);
  });
  return 0;
}

}  // namespace

int ul_ccode_count_inset(const char* str1, int szStr1, const char* str2, int szStr2, int codetype) {
  int count = 0;
  const int r = InsetWalk(str1, szStr1, str2, szStr2, codetype, [&](bool found) {
    count += found;
    return true;
  });
  return r < 0 ? r : count;
}

int ul_ccode_include(const char* str1, int szStr1, const char* str2, int szStr2, int codetype) {
  int any = 0;
  const int r = InsetWalk(str1, szStr1, str2, szStr2, codetype, [&](bool found) {
    any = found;
    return !found;
  });
  return r < 0 ? r : any;
}

int ul_ccode_only_include(const char* str1, int szStr1, const char* str2, int szStr2, int codetype) {
  int all = 1;
  const int r = InsetWalk(str1, szStr1, str2, szStr2, codetype, [&](bool found) {
    all = found;
    return found;
  });
  return r < 0 ? r : all;
}

int ul_ccode_count_overlap(const char* str1, int szStr1, const char* str2, int szStr2, int codetype) {
  if (str1 == nullptr || str2 == nullptr) return -1;
  ScratchScope scratch;
  if (!scratch.has_pool() || !scratch.has_map()) return -1;
  unsigned char* bits = scratch.Bitmap();
  // 32-bit counts: a character repeated 65,536 times still counts.
  uint32_t* counts = static_cast<uint32_t*>(scratch.Alloc(0x10000 * sizeof(uint32_t)));
  if (bits == nullptr || counts == nullptr) {
    errno = EAGAIN;
    return -1;
  }
  ccode_scratch_map_t* map = nullptr;
  bool ok = true;
  ForEachChar(str1, szStr1, codetype, [&](const char* c, int n) {
    const unsigned int v = ccode_char_number(c, n, codetype);
    if (v < 0x10000) {
      const unsigned char bit = static_cast<unsigned char>(1u << (v & 7));
      if (bits[v >> 3] & bit) {
        ++counts[v];
      } else {
        bits[v >> 3] |= bit;
        counts[v] = 1;
      }
      return true;
    }
    if (map == nullptr) map = scratch.Map();
    unsigned int count = 0;
    map->get(v, &count);
    ok = map->set(v, count + 1, 1) != -1;
    return ok;
  });
  if (!ok) return -1;
  int overlap = 0;
  ForEachChar(str2, szStr2, codetype, [&](const char* c, int n) {
    const unsigned int v = ccode_char_number(c, n, codetype);
    if (v < 0x10000) {
      if (((bits[v >> 3] >> (v & 7)) & 1) != 0 && counts[v] > 0) {
        --counts[v];
        ++overlap;
      }
    } else if (map != nullptr) {
      unsigned int count = 0;
      if (map->get(v, &count) == ccode::CCODE_HASH_EXIST && count > 0) {
        map->set(v, count - 1, 1);
        ++overlap;
      }
    }
    return true;
  });
  return overlap;
}

int ul_ccode_longest_common_substr(const char* str1, int szStr1, const char* str2, int szStr2, char* common,
                                   int szCommon, int codetype) {
  if (str1 == nullptr || str2 == nullptr || common == nullptr || szStr1 < 1 || szStr2 < 1 || szCommon < 1) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in ccode_longest_common_substr");
    return -1;
  }
  ScratchScope scratch;
  if (!scratch.has_pool()) {
    ul_writelog(UL_LOG_FATAL, "pthread get error in ccode_longest_common_substr");
    return -1;
  }
  // S is the shorter string in bytes (str1 on a tie), T the other.
  const int len1 = get_exact_len(str1, szStr1), len2 = get_exact_len(str2, szStr2);
  const char* s = len1 <= len2 ? str1 : str2;
  const char* t = len1 <= len2 ? str2 : str1;
  const int slen = len1 <= len2 ? len1 : len2, tlen = len1 <= len2 ? len2 : len1;
  // Character offsets of each, with one more entry for the end.
  int* soff = static_cast<int*>(scratch.Alloc((static_cast<size_t>(slen) + 1) * sizeof(int)));
  int* toff = static_cast<int*>(scratch.Alloc((static_cast<size_t>(tlen) + 1) * sizeof(int)));
  if (soff == nullptr || toff == nullptr) {
    errno = EAGAIN;
    return -1;
  }
  size_t n = 0, m = 0;
  int end = 0;
  ForEachChar(s, slen, codetype, [&](const char* c, int len) {
    soff[n++] = static_cast<int>(c - s);
    end = static_cast<int>(c - s) + len;
    return true;
  });
  soff[n] = end;
  end = 0;
  ForEachChar(t, tlen, codetype, [&](const char* c, int len) {
    toff[m++] = static_cast<int>(c - t);
    end = static_cast<int>(c - t) + len;
    return true;
  });
  toff[m] = end;
  // The table of (m + 1) rows of (n + 1) counts, sized without overflow.
  const size_t cols = n + 1, rows = m + 1;
  if (rows > SIZE_MAX / sizeof(int) / cols) {
    errno = EAGAIN;
    return -1;
  }
  int* table = static_cast<int*>(scratch.Alloc(rows * cols * sizeof(int)));
  if (table == nullptr) {
    errno = EAGAIN;
    return -1;
  }
  auto at = [&](size_t j, size_t i) -> int& { return table[j * cols + i]; };
  for (size_t i = 0; i < cols; ++i) at(0, i) = 0;
  for (size_t j = 1; j < rows; ++j) {
    at(j, 0) = 0;
    const char* tc = t + toff[j - 1];
    const int tn = toff[j] - toff[j - 1];
    for (size_t i = 1; i < cols; ++i) {
      const int sn = soff[i] - soff[i - 1];
      if (sn == tn && memcmp(s + soff[i - 1], tc, static_cast<size_t>(tn)) == 0) {
        at(j, i) = at(j - 1, i - 1) + 1;
      } else {
        at(j, i) = at(j, i - 1) > at(j - 1, i) ? at(j, i - 1) : at(j - 1, i);
      }
    }
  }
  // Trace back: up, else left, else the character of S is taken.
  unsigned char* taken = static_cast<unsigned char*>(scratch.Alloc(cols));
  if (taken == nullptr) {
    errno = EAGAIN;
    return -1;
  }
  memset(taken, 0, cols);
  size_t bytes = 0;
  for (size_t j = m, i = n; j > 0 && i > 0;) {
    if (at(j, i) == at(j - 1, i)) {
      --j;
    } else if (at(j, i) == at(j, i - 1)) {
      --i;
    } else {
      taken[i] = 1;
      bytes += static_cast<size_t>(soff[i] - soff[i - 1]);
      --i;
      --j;
    }
  }
  if (bytes >= static_cast<size_t>(szCommon)) return -1;
  char* out = common;
  for (size_t i = 1; i < cols; ++i) {
    if (taken[i] == 0) continue;
    const size_t len = static_cast<size_t>(soff[i] - soff[i - 1]);
    memcpy(out, s + soff[i - 1], len);
    out += len;
  }
  *out = '\0';
  return at(m, n);
}

int ul_ccode_include_same_alphaset(const char* str1, int szStr1, const char* str2, int szStr2) {
  if (str1 == nullptr || str2 == nullptr || szStr1 < 1 || szStr2 < 1) {
    errno = EINVAL;
    return -1;
  }
  bool seen[2][128] = {};
  const char* strs[2] = {str1, str2};
  const int sizes[2] = {szStr1, szStr2};
  for (int k = 0; k < 2; ++k) {
    for (int i = 0; i < sizes[k] && strs[k][i] != '\0'; ++i) {
      const unsigned char c = static_cast<unsigned char>(strs[k][i]);
      if (c < 0x80) seen[k][c] = true;
    }
  }
  return memcmp(seen[0], seen[1], sizeof(seen[0])) == 0 ? 1 : 0;
}

int ul_ccode_only_diff_space(const char* str1, int szStr1, const char* str2, int szStr2) {
  if (str1 == nullptr || str2 == nullptr || szStr1 < 1 || szStr2 < 1) {
    errno = EINVAL;
    return -1;
  }
  const int len1 = get_exact_len(str1, szStr1), len2 = get_exact_len(str2, szStr2);
  int i = 0, j = 0;
  for (;;) {
    while (i < len1 && IsSpace(static_cast<unsigned char>(str1[i]))) ++i;
    while (j < len2 && IsSpace(static_cast<unsigned char>(str2[j]))) ++j;
    if (i == len1 || j == len2) return i == len1 && j == len2 ? 1 : 0;
    if (str1[i++] != str2[j++]) return 0;
  }
}

int ul_ccode_strcmp_reverse(const char* str1, int szStr1, const char* str2, int szStr2) {
  if (str1 == nullptr || str2 == nullptr || szStr1 < 1 || szStr2 < 1) {
    errno = EINVAL;
    return -2;
  }
  int i = get_exact_len(str1, szStr1), j = get_exact_len(str2, szStr2);
  while (i > 0 && j > 0) {
    const signed char a = static_cast<signed char>(str1[--i]), b = static_cast<signed char>(str2[--j]);
    if (a != b) return a > b ? 1 : -1;
  }
  if (i > 0) return 1;
  return j > 0 ? -1 : 0;
}
