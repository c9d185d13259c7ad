// Replacement and translation over multi-byte text.
#include "ul_ccode_replace.h"

#include <errno.h>
#include <stdint.h>
#include <string.h>

#include "ul_ccode_memo.h"
#include "ul_ccode_next.h"
#include "ul_ccode_search.h"
#include "ul_ccode_walk.h"
#include "ul_log.h"

namespace {

void LogNoPool(const char* fn) { ul_writelog(UL_LOG_FATAL, "get g_pool_key error in %s", fn); }
void LogNoMap(const char* fn) { ul_writelog(UL_LOG_FATAL, "get g_hash_key error in %s", fn); }

int Fail(int err) {
  errno = err;
  return -1;
}

// A copy of the len bytes at text with a NUL, in scratch memory (NULL when
// none can be had).
const char* ScratchCopy(ScratchScope* scratch, const char* text, size_t len) {
  char* copy = static_cast<char*>(scratch->Alloc(len + 1));
  if (copy == nullptr) return nullptr;
  memcpy(copy, text, len);
  copy[len] = '\0';
  return copy;
}

// The substring replacement of both forms: find(at, left) answers the next
// occurrence in the len bytes of in from at.
template <class Find>
int Replace(const char* in, size_t len, CcodeOutput* out, const char* replaceWord, const char* newWord, Find find) {
  const size_t rlen = strlen(replaceWord), nlen = strlen(newWord);
  int count = 0;
  size_t at = 0;
  while (rlen > 0 && len - at >= rlen) {
    const char* found = find(in + at, len - at, replaceWord, rlen);
    if (found == nullptr) break;
    const size_t gap = static_cast<size_t>(found - (in + at));
    if (!out->Put(in + at, gap) || !out->Put(newWord, nlen)) return Fail(EINVAL);
    ++count;
    at += gap + rlen;
  }
  if (!out->Put(in + at, len - at)) return Fail(EINVAL);
  out->Terminate();
  return count;
}

}  // namespace

int ul_ccode_replace(const char* strIn, char* strOut, const char* replaceWord, const char* newWord, int codetype) {
  if (strIn == nullptr || strOut == nullptr || replaceWord == nullptr || newWord == nullptr) return Fail(EINVAL);
  ScratchScope scratch;
  if (!scratch.has_pool()) {
    LogNoPool("ul_ccode_replace");
    return -1;
  }
  const size_t len = strlen(strIn);
  // A longer newWord written over its own input would overtake the reading.
  if (strIn == strOut && strlen(newWord) > strlen(replaceWord)) {
    strIn = ScratchCopy(&scratch, strIn, len);
    if (strIn == nullptr) return Fail(EAGAIN);
  }
  CcodeOutput out(strOut, kCcodeNoLimit);
  return Replace(strIn, len, &out, replaceWord, newWord,
                 [codetype](const char* at, size_t, const char* word, size_t) { return ul_ccode_find(at, word, codetype); });
}

int ul_ccode_replacen(const char* strIn, int szIn, char* strOut, int szOut, const char* replaceWord,
                      const char* newWord, int codetype) {
  if (strIn == nullptr || strOut == nullptr || replaceWord == nullptr || newWord == nullptr || szIn < 1 ||
      szOut < 1) {
    return Fail(EINVAL);
  }
  ScratchScope scratch;
  if (!scratch.has_pool()) {
    LogNoPool("ul_ccode_replacen");
    return -1;
  }
  const size_t len = static_cast<size_t>(get_exact_len(strIn, szIn));
  if (strIn == strOut && strlen(newWord) > strlen(replaceWord)) {
    strIn = ScratchCopy(&scratch, strIn, len);
    if (strIn == nullptr) return Fail(EAGAIN);
  }
  CcodeOutput out(strOut, static_cast<size_t>(szOut));
  return Replace(strIn, len, &out, replaceWord, newWord,
                 [codetype](const char* at, size_t left, const char* word, size_t n) {
                   return ul_ccode_findn(at, static_cast<int>(left), word, static_cast<int>(n), codetype);
                 });
}

namespace {

// The character-set replacement of both forms; fn names the function in
// messages, bounded tells the "n" form.
int ReplaceWord(const char* fn, const CcodeInput& input, char* strOut, size_t cap, const char* replaceWord,
                const char* newWord, bool bounded) {
  ScratchScope scratch;
  if (!scratch.has_pool()) {
    LogNoPool(fn);
    return -1;
  }
  if (!scratch.has_map()) {
    LogNoMap(fn);
    return -1;
  }
  unsigned char* bits = scratch.Bitmap();
  if (bits == nullptr) {
    if (!bounded) ul_writelog(UL_LOG_FATAL, "mask memory alloc error in %s", fn);
    return -1;
  }
  CcodeInput in = input;
  // In place the output may grow past the reading: read from a copy.
  if (in.s == strOut) {
    const size_t len = bounded ? static_cast<size_t>(get_exact_len(in.s, static_cast<int>(in.sz))) : strlen(in.s);
    in.s = ScratchCopy(&scratch, in.s, len);
    if (in.s == nullptr) {
      if (!bounded) ul_writelog(UL_LOG_FATAL, "buf memory alloc error in %s", fn);
      return Fail(EAGAIN);
    }
    if (bounded) in.sz = len;
  }
  ccode_scratch_map_t* map = nullptr;
  ScratchCharSet set(bits, nullptr);
  bool ok = true;
  CcodeInput::Text(replaceWord, in.codetype).ForEach([&](const char* c, int n) {
    const unsigned int v = ccode_char_number(c, n, in.codetype);
    if (v >= 0x10000 && map == nullptr) {
      map = scratch.Map();
      set = ScratchCharSet(bits, map);
    }
    ok = set.Add(v);
    return ok;
  });
  if (!ok) return -1;
  CcodeOutput out(strOut, cap);
  const size_t nlen = strlen(newWord);
  int count = 0;
  ok = true;
  in.ForEach([&](const char* c, int n) {
    const unsigned int v = ccode_char_number(c, n, in.codetype);
    const bool hit = (v < 0x10000 || map != nullptr) && set.Has(v);
    ok = hit ? out.Put(newWord, nlen) : out.Put(c, static_cast<size_t>(n));
    count += hit;
    return ok;
  });
  if (!ok) return Fail(EINVAL);
  out.Terminate();
  return count;
}

}  // namespace

int ul_ccode_replace_word(const char* strIn, char* strOut, const char* replaceWord, const char* newWord,
                          int codetype) {
  if (strIn == nullptr || strOut == nullptr || replaceWord == nullptr || newWord == nullptr) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in function 'ul_ccode_replace_word'");
    return Fail(EINVAL);
  }
  return ReplaceWord("ul_ccode_replace_word", CcodeInput::Text(strIn, codetype), strOut, kCcodeNoLimit, replaceWord,
                     newWord, false);
}

int ul_ccode_replacen_word(const char* strIn, int szIn, char* strOut, int szOut, const char* replaceWord,
                           const char* newWord, int codetype) {
  if (strIn == nullptr || strOut == nullptr || replaceWord == nullptr || newWord == nullptr || szIn < 1 ||
      szOut < 1) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in function 'ul_ccode_replacen_word'");
    return Fail(EINVAL);
  }
  return ReplaceWord("ul_ccode_replacen_word", CcodeInput::Bytes(strIn, szIn, codetype), strOut,
                     static_cast<size_t>(szOut), replaceWord, newWord, true);
}

int ul_ccode_convword(const char* strIn, int szIn, char* strOut, int szOut, const char* replaceWord,
                      const char* newWord, int codetype) {
  if (strIn == nullptr || strOut == nullptr || replaceWord == nullptr || newWord == nullptr || szIn < 1 ||
      szOut < 1) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in function 'ul_ccode_convword'");
    return Fail(EINVAL);
  }
  ScratchScope scratch;
  if (!scratch.has_map()) {
    LogNoMap("ul_ccode_convword");
    return -1;
  }
  unsigned char* bits = scratch.Bitmap();
  unsigned int* to = static_cast<unsigned int*>(scratch.Alloc(0x10000 * sizeof(unsigned int)));
  if (bits == nullptr || to == nullptr) return -1;
  CcodeInput in = CcodeInput::Bytes(strIn, szIn, codetype);
  if (strIn == strOut) {
    const size_t len = static_cast<size_t>(get_exact_len(strIn, szIn));
    in.s = ScratchCopy(&scratch, strIn, len);
    if (in.s == nullptr) return -1;
    in.sz = len;
  }
  // The pairs: from-character number -> to-character bytes folded.
  ccode_scratch_map_t* map = nullptr;
  ScratchCharSet set(bits, nullptr);
  const CcodeInput from = CcodeInput::Text(replaceWord, codetype), into = CcodeInput::Text(newWord, codetype);
  bool ok = true;
  for (size_t f = 0, t = 0; ok && !from.AtEnd(f) && !into.AtEnd(t);) {
    const int fn = from.Step(f), tn = into.Step(t);
    if (fn == 0 || tn == 0) break;
    const unsigned int v = ccode_char_number(replaceWord + f, fn, codetype);
    const unsigned int value = get_uint(newWord + t, tn);
    if (v < 0x10000) {
      set.Add(v);
      to[v] = value;
    } else {
      if (map == nullptr) map = scratch.Map();
      ok = map->set(v, value, 1) != -1;
    }
    f += static_cast<size_t>(fn);
    t += static_cast<size_t>(tn);
  }
  if (!ok) return -1;
  CcodeOutput out(strOut, static_cast<size_t>(szOut));
  int count = 0;
  in.ForEach([&](const char* c, int n) {
    const unsigned int v = ccode_char_number(c, n, codetype);
    unsigned int value = 0;
    bool hit;
    if (v < 0x10000) {
      hit = set.Has(v);
      if (hit) value = to[v];  // the table is read only where the bitmap says it was written
    } else {
      hit = map != nullptr && map->get(v, &value) == ccode::CCODE_HASH_EXIST;
    }
    if (!hit) return ok = out.Put(c, static_cast<size_t>(n));
    // The to-character's bytes, most significant non-zero byte first.
    char bytes[4];
    size_t len = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
      const char b = static_cast<char>(value >> shift);
      if (len > 0 || b != '\0') bytes[len++] = b;
    }
    ++count;
    return ok = out.Put(bytes, len);
  });
  if (!ok) return Fail(EINVAL);
  out.Terminate();
  return count;
}

namespace {

inline bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
inline bool IsUnreserved(char c) {
  return c == '-' || c == '.' || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
         (c >= 'a' && c <= 'z');
}

}  // namespace

char* ul_ccode_convurl(const char* src, int szSrc, char* dest, int szDest) {
  if (src == nullptr || dest == nullptr || szSrc < 1 || szDest < 1) {
    errno = EINVAL;
    return nullptr;
  }
  ScratchScope scratch;
  if (!scratch.has_pool()) {
    LogNoPool("ul_ccode_convurl");
    return nullptr;
  }
  const size_t len = static_cast<size_t>(get_exact_len(src, szSrc));
  if (src == dest) {
    src = ScratchCopy(&scratch, src, len);
    if (src == nullptr) {
      ul_writelog(UL_LOG_FATAL, "malloc fail");
      return nullptr;
    }
  }
  static const char kHex[] = "0123456789ABCDEF";
  CcodeOutput out(dest, static_cast<size_t>(szDest));
  for (size_t i = 0; i < len;) {
    const char c = src[i];
    bool ok;
    if (c == ' ') {
      ok = out.Put('+');
      i += 1;
    } else if (c == '%' && len - i >= 3 && IsUpperHex(src[i + 1]) && IsUpperHex(src[i + 2])) {
      ok = out.Put(src + i, 3);
      i += 3;
    } else if (IsUnreserved(c)) {
      ok = out.Put(c);
      i += 1;
    } else {
      const unsigned char b = static_cast<unsigned char>(c);
      const char escape[3] = {'%', kHex[b >> 4], kHex[b & 15]};
      ok = out.Put(escape, 3);
      i += 1;
    }
    // A cut escape would change the URL: the whole result fits, or none.
    if (!ok) {
      errno = EINVAL;
      return nullptr;
    }
  }
  out.Terminate();
  return dest;
}
