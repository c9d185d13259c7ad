// Chinese phrase dictionary: GB2312 phrases from a file sorted in byte
// order, bucketed by their first one and a half characters, with a surname
// table for three-character personal names.
#include <fcntl.h>
#include <sys/stat.h>

#include <climits>
#include <cstring>

#include "dict_file.h"
#include "dict_gb.h"
#include "toolkit/file.h"
#include "toolkit/path.h"
#include "ul_dict.h"
#include "ul_func.h"
#include "ul_log.h"

using dict_internal::AppendUnit;
using dict_internal::IsGbLead;
using dict_internal::IsGbTrail;

namespace {

constexpr int kCphraseHashNum = 72 * 94 * 72;

// Bucket of the three bytes at p, or -1 when they lie outside the GB2312
// ranges (then they have none). Stops at the text's NUL.
inline int CphraseBucket(const char* p) {
  if (!IsGbLead(p[0]) || !IsGbTrail(p[1]) || !IsGbLead(p[2])) return -1;
  const int b0 = static_cast<unsigned char>(p[0]) - 0xB0;
  const int b1 = static_cast<unsigned char>(p[1]) - 0xA1;
  const int b2 = static_cast<unsigned char>(p[2]) - 0xB0;
  return (b0 * 94 + b1) * 72 + b2;
}

// Walks the bucket of the text at t (which has a bucket): fn(phrase, length)
// for every phrase whose bytes after the first three equal the text's, until
// a phrase sorts after the text.
template <typename Fn>
void ScanBucket(const Sdict_cphrase* cp, int bucket, const char* t, Fn fn) {
  const Shash_cphrase& b = cp->hash[bucket];
  const char* s = reinterpret_cast<const char*>(cp->phrase) + b.off;
  for (int k = 0; k < b.num; ++k) {
    const size_t n = std::strlen(s);
    // Only an unsorted file puts a short line inside a bucket.
    if (n >= 3) {
      const int cmp = std::strncmp(s + 3, t + 3, n - 3);
      if (cmp > 0) break;
      if (cmp == 0) fn(s, n);
    }
    s += n + 1;
  }
}

}  // namespace

Sdict_cphrase* dcp_load(const char* path, const char* phrase_file, const char* surname_file) {
  char file[256];
  struct stat st;
  if (!toolkit::JoinPath(file, path, phrase_file) || ul_stat(file, &st) != 0) {
    ul_writelog(UL_LOG_WARNING, "[dcp_load] stat error");
    return nullptr;
  }
  if (st.st_size >= INT_MAX) {
    ul_writelog(UL_LOG_WARNING, "[dcp_load] read phrase error");
    return nullptr;
  }
  const size_t size = static_cast<size_t>(st.st_size);
  auto* cp = static_cast<Sdict_cphrase*>(ul_calloc(1, sizeof(Sdict_cphrase)));
  if (cp == nullptr) return nullptr;
  cp->hash = static_cast<Shash_cphrase*>(ul_calloc(kCphraseHashNum, sizeof(Shash_cphrase)));
  cp->phrase = static_cast<unsigned char*>(ul_malloc(size + 1));
  if (cp->hash == nullptr || cp->phrase == nullptr) {
    dcp_del(cp);
    return nullptr;
  }
  {
    toolkit::UniqueFd fd = dict_internal::OpenRead(file);
    if (!fd.ok() || !toolkit::ReadExact(fd.get(), cp->phrase, size, ul_read)) {
      ul_writelog(UL_LOG_WARNING, "[dcp_load] read phrase error");
      dcp_del(cp);
      return nullptr;
    }
  }
  char* text = reinterpret_cast<char*>(cp->phrase);
  text[size] = '\0';
  for (size_t i = 0; i < size; ++i) {
    if (text[i] == '\n') text[i] = '\0';
  }
  // Every phrase counts in its bucket, whose start is its first phrase.
  for (size_t off = 0; off < size;) {
    const char* s = text + off;
    const size_t n = std::strlen(s);
    const int b = n >= 3 ? CphraseBucket(s) : -1;
    if (b < 0) {
      ul_writelog(UL_LOG_WARNING, "[dcp_load] phrase(%s) in(%s) is not GB2312, skipped", s,
                  phrase_file);
    } else {
      Shash_cphrase& h = cp->hash[b];
      if (h.num++ == 0) h.off = static_cast<int>(off);
    }
    off += n + 1;
  }
  cp->surname = dsur_load(path, surname_file);
  // Without a surname file no character is a surname.
  if (cp->surname == nullptr) cp->surname = static_cast<char*>(ul_calloc(dict_internal::kSurnameTableSize, 1));
  if (cp->surname == nullptr) {
    dcp_del(cp);
    return nullptr;
  }
  return cp;
}

int dcp_del(Sdict_cphrase* cp) {
  if (cp == nullptr) return 1;
  ul_free(cp->hash);
  ul_free(cp->phrase);
  ul_free(cp->surname);
  ul_free(cp);
  return 1;
}

int dcp_seek(Sdict_cphrase* cp, const char* text, char* out) {
  char* o = out;
  int count = 0;
  const size_t len = std::strlen(text);
  for (size_t p = 0; p + 4 <= len; p += 2) {
    const char* t = text + p;
    bool name = false;
    if (cp->surname[dict_internal::SurnameIndex(t)] != 0 && p + 6 <= len) {
      o = AppendUnit(o, t, 6);
      ++count;
      name = true;
    }
    const int b = CphraseBucket(t);
    if (b < 0) continue;
    ScanBucket(cp, b, t, [&](const char* s, size_t n) {
      if (name && n == 6) return;
      o = AppendUnit(o, s, n);
      ++count;
    });
  }
  *o = '\0';
  return count;
}

int dcp_search(Sdict_cphrase* cp, const char* text, char* out) {
  const size_t len = std::strlen(text);
  if (len < 5) {
    *AppendUnit(out, text, len) = '\0';
    return 1;
  }
  char* o = out;
  int count = 0;
  for (size_t p = 0; p + 4 <= len;) {
    const char* t = text + p;
    const char* unit = nullptr;
    size_t n = 0;
    const int b = CphraseBucket(t);
    if (b >= 0) {
      ScanBucket(cp, b, t, [&](const char* s, size_t sn) {
        unit = s;
        n = sn;
      });
    }
    if (unit == nullptr && cp->surname[dict_internal::SurnameIndex(t)] != 0 && p + 6 <= len) {
      unit = t;
      n = 6;
    }
    if (unit == nullptr) {
      unit = t;
      n = 4;
    }
    o = AppendUnit(o, unit, n);
    ++count;
    // The next unit starts at this one's last character, at least one
    // character on, so the walk keeps to character starts.
    const size_t step = (n - 1) / 2 * 2;
    p += step >= 2 ? step : 2;
  }
  *o = '\0';
  return count;
}
