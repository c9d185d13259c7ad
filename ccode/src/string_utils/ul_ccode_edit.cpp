// String editing and width conversion over multi-byte text.
#include "ul_ccode_edit.h"

#include <errno.h>
#include <stdint.h>
#include <string.h>

#include <initializer_list>
#include <utility>

#include "ul_ccode_class.h"
#include "ul_ccode_next.h"
#include "ul_ccode_search.h"
#include "ul_ccode_type.h"
#include "ul_ccode_walk.h"

namespace {

constexpr size_t kNoLimit = kCcodeNoLimit;
typedef CcodeInput Input;
typedef CcodeOutput Output;

Input Unbounded(const char* s, int codetype) { return Input::Text(s, codetype); }
Input Bounded(const char* s, int sz, int codetype) { return Input::Bytes(s, sz, codetype); }

enum class Result { kDone, kInvalid, kFull };

// Copies the characters for which keep(c, n) is true. Writing never passes
// reading, so in and out may be the same buffer.
template <class Keep>
Result Filter(const Input& in, Output* out, Keep keep) {
  for (size_t off = 0; !in.AtEnd(off);) {
    const int n = in.Step(off);
    if (n == 0) return Result::kInvalid;
    if (keep(in.s + off, n) && !out->Put(in.s + off, static_cast<size_t>(n))) return Result::kFull;
    off += static_cast<size_t>(n);
  }
  out->Terminate();
  return Result::kDone;
}

// The result of a filter: out, or NULL with errno EINVAL for a full output
// and, when invalid_errno, for an invalid character.
char* Finish(Result r, char* out, bool invalid_errno) {
  if (r == Result::kDone) return out;
  if (r == Result::kFull || invalid_errno) errno = EINVAL;
  return nullptr;
}

char* Trim(const Input& in, char* strOut, size_t cap) {
  size_t first = kNoLimit, last = 0;
  for (size_t off = 0; !in.AtEnd(off);) {
    const int n = in.Step(off);
    if (n == 0) return nullptr;
    if (!ul_ccode_isspace(in.s + off, in.codetype)) {
      if (first == kNoLimit) first = off;
      last = off + static_cast<size_t>(n);
    }
    off += static_cast<size_t>(n);
  }
  Output out(strOut, cap);
  if (first != kNoLimit && !out.Put(in.s + first, last - first)) {
    errno = EINVAL;
    return nullptr;
  }
  out.Terminate();
  return strOut;
}

bool BadN(const void* a, int szIn, const void* b, int szOut) {
  return a == nullptr || b == nullptr || szIn < 1 || szOut < 1;
}

}  // namespace

char* ul_ccode_trim(const char* strIn, char* strOut, int codetype) {
  if (strIn == nullptr || strOut == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  return Trim(Unbounded(strIn, codetype), strOut, kNoLimit);
}

char* ul_ccode_trimn(const char* strIn, int szIn, char* strOut, int szOut, int codetype) {
  if (BadN(strIn, szIn, strOut, szOut)) {
    errno = EINVAL;
    return nullptr;
  }
  return Trim(Bounded(strIn, szIn, codetype), strOut, static_cast<size_t>(szOut));
}

namespace {

char* RmBlank(const Input& in, char* strOut, size_t cap) {
  Output out(strOut, cap);
  return Finish(Filter(in, &out, [&](const char* c, int) { return !ul_ccode_isspace(c, in.codetype); }), strOut,
                false);
}

char* Chomp(const Input& in, char* strOut, size_t cap) {
  Output out(strOut, cap);
  return Finish(Filter(in, &out, [](const char* c, int) { return c[0] != '\n'; }), strOut, false);
}

char* Remove(const Input& in, char* strOut, size_t cap, int (*inCharSet)(char*, int)) {
  Output out(strOut, cap);
  return Finish(Filter(in, &out,
                       [&](const char* c, int n) {
                         char one[8] = {};
                         memcpy(one, c, static_cast<size_t>(n));
                         return inCharSet(one, in.codetype) == 0;
                       }),
                strOut, true);
}

}  // namespace

char* ul_ccode_rmblank(const char* strIn, char* strOut, int codetype) {
  if (strIn == nullptr || strOut == nullptr) return nullptr;
  return RmBlank(Unbounded(strIn, codetype), strOut, kNoLimit);
}

char* ul_ccode_rmblankn(const char* strIn, int szIn, char* strOut, int szOut, int codetype) {
  if (BadN(strIn, szIn, strOut, szOut)) return nullptr;
  return RmBlank(Bounded(strIn, szIn, codetype), strOut, static_cast<size_t>(szOut));
}

char* ul_ccode_chomp(const char* strIn, char* strOut, int codetype) {
  if (strIn == nullptr || strOut == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  return Chomp(Unbounded(strIn, codetype), strOut, kNoLimit);
}

char* ul_ccode_chompn(const char* strIn, int szIn, char* strOut, int szOut, int codetype) {
  if (BadN(strIn, szIn, strOut, szOut)) {
    errno = EINVAL;
    return nullptr;
  }
  return Chomp(Bounded(strIn, szIn, codetype), strOut, static_cast<size_t>(szOut));
}

char* ul_ccode_remove(const char* strIn, char* strOut, int (*inCharSet)(char*, int), int codetype) {
  if (strIn == nullptr || strOut == nullptr) return nullptr;
  if (inCharSet == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  return Remove(Unbounded(strIn, codetype), strOut, kNoLimit, inCharSet);
}

char* ul_ccode_removen(const char* strIn, int szIn, char* strOut, int szOut, int (*inCharSet)(char*, int),
                       int codetype) {
  if (BadN(strIn, szIn, strOut, szOut) || inCharSet == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  return Remove(Bounded(strIn, szIn, codetype), strOut, static_cast<size_t>(szOut), inCharSet);
}

int ul_ccode_split(char* strIn, char** strOut, int maxStr, const char* splitWord, int codetype) {
  if (strIn == nullptr || strOut == nullptr || splitWord == nullptr || maxStr < 1) {
    errno = EINVAL;
    return 0;
  }
  const Input in = Unbounded(strIn, codetype);
  int count = 1;
  strOut[0] = strIn;
  for (size_t off = 0; !in.AtEnd(off);) {
    const int n = in.Step(off);
    if (n == 0) {
      errno = EINVAL;
      return -1;
    }
    char one[8] = {};
    memcpy(one, strIn + off, static_cast<size_t>(n));
    if (ul_ccode_find(splitWord, one, codetype) != nullptr) {
      if (count == maxStr) break;
      strIn[off] = '\0';
      strOut[count++] = strIn + off + n;
    }
    off += static_cast<size_t>(n);
  }
  return count;
}

char* ul_ccode_join(char* dest, int szDest, const char* src, int szSrc) {
  if (dest == nullptr || src == nullptr || szDest < 1 || szSrc < 1) {
    errno = EINVAL;
    return nullptr;
  }
  const size_t have = static_cast<size_t>(get_exact_len(dest, szDest));
  const size_t add = static_cast<size_t>(get_exact_len(src, szSrc));
  // All or nothing: a dest left without its NUL would be overrun by the
  // caller's next string operation.
  if (have + add >= static_cast<size_t>(szDest)) {
    errno = EINVAL;
    return nullptr;
  }
  memmove(dest + have, src, add);
  dest[have + add] = '\0';
  return dest;
}

char* ul_ccode_substr(const char* strIn, int szStrIn, char* strOut, int szStrOut, int start, int length,
                      int codetype) {
  if (BadN(strIn, szStrIn, strOut, szStrOut)) {
    errno = EINVAL;
    return nullptr;
  }
  const Input in = Bounded(strIn, szStrIn, codetype);
  size_t off = 0;
  for (int skipped = 0; skipped < start; ++skipped) {
    const int n = in.AtEnd(off) ? 0 : in.Step(off);
    if (n == 0) {
      errno = EINVAL;
      return nullptr;
    }
    off += static_cast<size_t>(n);
  }
  Output out(strOut, static_cast<size_t>(szStrOut));
  int taken = 0;
  while (taken < length && !in.AtEnd(off)) {
    const int n = in.Step(off);
    if (n == 0 || !out.Put(in.s + off, static_cast<size_t>(n))) break;
    off += static_cast<size_t>(n);
    ++taken;
  }
  out.Terminate();
  if (taken < length) {
    errno = EINVAL;
    return nullptr;
  }
  return strOut;
}

namespace {

char* MapBytes(const char* src, int szSrc, char* dest, int szDest, char from, char to) {
  if (BadN(src, szSrc, dest, szDest)) return nullptr;
  const size_t len = static_cast<size_t>(get_exact_len(src, szSrc));
  if (len >= static_cast<size_t>(szDest)) {
    errno = EINVAL;
    return nullptr;
  }
  for (size_t i = 0; i < len; ++i) {
    const char c = src[i];
    dest[i] = c >= from && c <= from + 25 ? static_cast<char>(c - from + to) : c;
  }
  dest[len] = '\0';
  return dest;
}

// Half-width forms of the full-width punctuation in three Unicode rows (by
// the low byte of the code point) and in GB row A1 (by trail - 0xA0): an
// entry equal to its index changes nothing.
struct HalfTable {
  unsigned char v[256];
  constexpr HalfTable(std::initializer_list<std::pair<int, char>> changes) : v() {
    for (int i = 0; i < 256; ++i) v[i] = static_cast<unsigned char>(i);
    for (const auto& c : changes) v[c.first] = static_cast<unsigned char>(c.second);
  }
};

constexpr HalfTable tohalf_20({{0x18, '\''}, {0x19, '\''}, {0x1C, '"'}, {0x1D, '"'}});
constexpr HalfTable tohalf_30({{0x00, ' '}, {0x01, ','}, {0x02, '.'}});
constexpr HalfTable tohalf_FF({{0x04, '$'}, {0xE3, '~'}});
constexpr HalfTable tohalf_A1({{0x01, ' '}, {0x02, ','}, {0x03, '.'}, {0x0E, '\''}, {0x0F, '\''}, {0x10, '"'},
                               {0x11, '"'}, {0x23, ':'}, {0x47, '$'}});

// The half-width byte of the character c of n bytes, or 0 to copy it.
unsigned char HalfUtf8(const unsigned char* c, int n) {
  if (n != 3) return 0;
  const unsigned cp = get_unicode(reinterpret_cast<const char*>(c));
  if (cp >= 0xFF01 && cp <= 0xFF5D) return static_cast<unsigned char>(cp - 0xFEE0);
  const unsigned low = cp & 0xFF;
  const HalfTable* t = nullptr;
  switch (cp >> 8) {
    case 0x20:
      t = &tohalf_20;
      break;
    case 0x30:
      t = &tohalf_30;
      break;
    case 0xFF:
      t = &tohalf_FF;
      break;
    default:
      return 0;
  }
  return t->v[low] != low ? t->v[low] : 0;
}

unsigned char HalfGb(const unsigned char* c, int n) {
  if (n != 2) return 0;
  // A3A4 is the full-width yen, not a dollar sign: kept.
  if (c[0] == 0xA3 && c[1] >= 0xA0 && c[1] != 0xA4) return static_cast<unsigned char>(c[1] - 0x80);
  if (c[0] == 0xA1 && c[1] >= 0xA0) {
    const unsigned i = c[1] - 0xA0u;
    return tohalf_A1.v[i] != i ? tohalf_A1.v[i] : 0;
  }
  return 0;
}

char* ToHalf(const char* srcIn, int szSrc, char* dest, int szDest, int codetype, bool lower) {
  if (BadN(srcIn, szSrc, dest, szDest)) return nullptr;
  const bool utf8 = codetype == CODETYPE_UTF8;
  const bool gb = codetype == CODETYPE_GB || codetype == CODETYPE_GBK || (lower && codetype == CODETYPE_ASCII);
  if (!utf8 && !gb) return nullptr;
  const Input in = Bounded(srcIn, szSrc, utf8 ? CODETYPE_UTF8 : CODETYPE_GB);
  Output out(dest, static_cast<size_t>(szDest));
  for (size_t off = 0; !in.AtEnd(off);) {
    const int n = in.Step(off);
    if (n == 0) break;
    const unsigned char* c = reinterpret_cast<const unsigned char*>(srcIn + off);
    unsigned char half = utf8 ? HalfUtf8(c, n) : HalfGb(c, n);
    if (half == 0 && n == 1) half = c[0];
    if (lower && half >= 'A' && half <= 'Z') half = static_cast<unsigned char>(half - 'A' + 'a');
    const bool fits = half != 0 ? out.Put(static_cast<char>(half)) : out.Put(srcIn + off, static_cast<size_t>(n));
    if (!fits) {
      errno = EINVAL;
      return nullptr;
    }
    off += static_cast<size_t>(n);
  }
  out.Terminate();
  return dest;
}

}  // namespace

char* ul_ccode_tolower(const char* src, int szSrc, char* dest, int szDest) {
  return MapBytes(src, szSrc, dest, szDest, 'A', 'a');
}

char* ul_ccode_toupper(const char* src, int szSrc, char* dest, int szDest) {
  return MapBytes(src, szSrc, dest, szDest, 'a', 'A');
}

char* ul_ccode_tohalf(const char* srcIn, int szSrc, char* dest, int szDest, int codetype) {
  return ToHalf(srcIn, szSrc, dest, szDest, codetype, false);
}

char* ul_ccode_half_lower(const char* srcIn, int szSrc, char* dest, int szDest, int codetype) {
  return ToHalf(srcIn, szSrc, dest, szDest, codetype, true);
}

unsigned int ul_ccode_str2uint(const char* strIn, int szStr) {
  if (strIn == nullptr || szStr < 1) {
    errno = EFAULT;
    return 0xFFFFFFFFu;
  }
  const int len = get_exact_len(strIn, szStr);
  int i = 0;
  while (i < len && (strIn[i] < '0' || strIn[i] > '9')) ++i;
  unsigned int value = 0;
  for (; i < len && strIn[i] >= '0' && strIn[i] <= '9'; ++i) {
    if (value > 429496729u || (value == 429496729u && strIn[i] > '5')) {
      errno = ERANGE;
      return 0xFFFFFFFFu;
    }
    value = value * 10 + static_cast<unsigned int>(strIn[i] - '0');
  }
  return value;
}
