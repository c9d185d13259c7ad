// Phrase dictionary: byte-string phrases bucketed by their first three
// bytes, found at every position of a text (dp_seek) or as the longest one
// that starts it (dp_search).
//
// Files of NAME: NAME.ind1 holds 100001 {u32 off, u32 num} records
// (little-endian); NAME.ind2 holds the phrases, each followed by '\n', bucket
// after bucket.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db_internal.h"
#include "dict_file.h"
#include "dict_gb.h"
#include "dict_out.h"
#include "toolkit/file.h"
#include "toolkit/path.h"
#include "ul_dict.h"
#include "ul_file.h"
#include "ul_func.h"
#include "ul_log.h"

static_assert(sizeof(Shash_phrase) == 8, "Shash_phrase is the 8-byte record of NAME.ind1");

namespace {

constexpr int kPhraseHashNum = 100001;
constexpr int kMaxPhrase = 2047;
constexpr size_t kIndexBytes = sizeof(Shash_phrase) * kPhraseHashNum;  // 800008

template <typename T>
using UlPtr = std::unique_ptr<T, dict_internal::FreeDeleter>;

inline unsigned char Byte(const char* p) { return static_cast<unsigned char>(*p); }

// Bucket of the three bytes at p.
inline u_int PhraseBucket(const char* p) {
  return (Byte(p) + 256u * Byte(p + 1) + 65536u * Byte(p + 2)) % kPhraseHashNum;
}

// The token separators of a phrase source.
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// White space of the word-boundary rule (the C locale's isspace).
inline bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Calls fn(token) for every blank-separated token of text.
template <typename Fn>
void ForEachToken(std::string_view text, Fn fn) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    const size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i > start) fn(text.substr(start, i - start));
  }
}

// Length of the phrase when it matches the text at t, else 0: its bytes
// equal (matching stops at the text's NUL) and, when its last byte is ASCII,
// the text byte after it is NUL, white space or a byte of 0x80 or above.
// *end receives the phrase's terminating NUL.
inline size_t MatchAt(const char* phrase, const char* t, const char** end) {
  size_t i = 0;
  while (phrase[i] != '\0' && phrase[i] == t[i]) ++i;
  if (phrase[i] != '\0' || i == 0) {
    const char* e = phrase + i;
    while (*e != '\0') ++e;
    *end = e;
    return 0;
  }
  *end = phrase + i;
  if (Byte(phrase + i - 1) < 0x80) {
    const unsigned char after = Byte(t + i);
    if (after != 0 && after < 0x80 && !IsSpace(after)) return 0;
  }
  return i;
}

// Checks every bucket against the phrase buffer (len bytes and a NUL): the
// num phrases a bucket claims from off must all end inside it, that is, at
// least num NULs lie at or after off. A bucket that fails is emptied.
// Returns false when any failed.
bool CheckBuckets(Shash_phrase* hash, const char* phrase, size_t len) {
  std::vector<size_t> nuls;
  for (size_t i = 0; i <= len; ++i) {
    if (phrase[i] == '\0') nuls.push_back(i);
  }
  bool ok = true;
  for (int b = 0; b < kPhraseHashNum; ++b) {
    Shash_phrase& h = hash[b];
    if (h.num == 0) continue;
    bool good = h.num > 0 && h.off >= 0 && static_cast<size_t>(h.off) <= len;
    if (good) {
      const auto first = std::lower_bound(nuls.begin(), nuls.end(), static_cast<size_t>(h.off));
      good = static_cast<size_t>(nuls.end() - first) >= static_cast<size_t>(h.num);
    }
    if (!good) {
      h.num = 0;
      h.off = 0;
      ok = false;
    }
  }
  return ok;
}

// Reads the whole file into a new buffer with a NUL after it; *len receives
// its size. nullptr when it cannot be read.
char* ReadWhole(const char* file, size_t* len) {
  toolkit::UniqueFd fd = dict_internal::OpenRead(file);
  if (!fd.ok()) return nullptr;
  struct stat st;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size >= INT_MAX) return nullptr;
  const size_t size = static_cast<size_t>(st.st_size);
  auto* buf = static_cast<char*>(ul_malloc(size + 1));
  if (buf == nullptr) return nullptr;
  if (!toolkit::ReadExact(fd.get(), buf, size, ul_read)) {
    ul_free(buf);
    return nullptr;
  }
  buf[size] = '\0';
  *len = size;
  return buf;
}

}  // namespace

int dp_build(const char* path, const char* src, const char* name) {
  const off_t size = ul_fsize(path, src);
  if (size < 1) {
    ul_writelog(UL_LOG_WARNING, "[dp_build] have no phrase");
    if (size < 0) return -1;
  }
  if (size >= INT_MAX) return -2;
  char file[256];
  if (!toolkit::JoinPath(file, path, src)) return -1;
  UlPtr<char> source(static_cast<char*>(ul_malloc(static_cast<size_t>(size) + 1)));
  UlPtr<char> phrases(static_cast<char*>(ul_malloc(static_cast<size_t>(size) + 1)));
  UlPtr<Shash_phrase> hash(static_cast<Shash_phrase*>(ul_calloc(kPhraseHashNum, sizeof(Shash_phrase))));
  if (!source || !phrases || !hash) return -2;
  {
    toolkit::UniqueFd fd = dict_internal::OpenRead(file);
    if (!fd.ok() || !toolkit::ReadExact(fd.get(), source.get(), static_cast<size_t>(size), ul_read)) {
      return -1;
    }
  }
  source.get()[size] = '\0';
  // The source is text: it ends at its first NUL.
  const std::string_view text(source.get());
  Shash_phrase* h = hash.get();

  // First pass: sizes (length + 1 each) and counts per bucket. A token is
  // measured where it lies, never copied, so any length is safe.
  ForEachToken(text, [&](std::string_view tok) {
    if (tok.size() < 3) {
      ul_writelog(UL_LOG_WARNING, "[dp_build] phrase(%s) length <3", std::string(tok).c_str());
      return;
    }
    if (tok.size() > kMaxPhrase) {
      ul_writelog(UL_LOG_WARNING, "[dp_build] phrase (%s) length > %d", std::string(tok).c_str(),
                  kMaxPhrase);
      std::exit(-1);
    }
    Shash_phrase& b = h[PhraseBucket(tok.data())];
    b.off += static_cast<int>(tok.size()) + 1;
    ++b.num;
  });
  // Bucket starts are the running sums of the sizes; off then serves as each
  // bucket's fill position in the second pass.
  int start = 0;
  for (int b = 0; b < kPhraseHashNum; ++b) {
    const int bytes = h[b].off;
    h[b].off = start;
    start += bytes;
  }
  const size_t total = static_cast<size_t>(start);
  ForEachToken(text, [&](std::string_view tok) {
    if (tok.size() < 3) return;
    Shash_phrase& b = h[PhraseBucket(tok.data())];
    std::memcpy(phrases.get() + b.off, tok.data(), tok.size());
    phrases.get()[b.off + tok.size()] = '\n';
    b.off += static_cast<int>(tok.size()) + 1;
  });
  // Back from fill positions (each bucket's end) to starts.
  for (int b = kPhraseHashNum - 1; b >= 0; --b) h[b].off = b > 0 ? h[b - 1].off : 0;

  char ind[256];
  dict_internal::OutFile out2, out1;
  if (!toolkit::JoinPath(ind, path, name, ".ind2") || !out2.Create(ind, 0666) ||
      !out2.Write(phrases.get(), total) || !out2.Commit()) {
    return -3;
  }
  if (!toolkit::JoinPath(ind, path, name, ".ind1") || !out1.Create(ind, 0666) ||
      !out1.Write(h, kIndexBytes) || !out1.Commit()) {
    return -3;
  }
  return 0;
}

Sdict_phrase* dp_load(const char* path, const char* name) {
  UlPtr<Sdict_phrase> dp(static_cast<Sdict_phrase*>(ul_calloc(1, sizeof(Sdict_phrase))));
  if (!dp) return nullptr;
  dp->hash = static_cast<Shash_phrase*>(ul_calloc(kPhraseHashNum, sizeof(Shash_phrase)));
  if (dp->hash == nullptr) return nullptr;
  char file[256];
  {
    toolkit::UniqueFd fd = toolkit::JoinPath(file, path, name, ".ind1") ? dict_internal::OpenRead(file) : toolkit::UniqueFd();
    struct stat st;
    const bool sized = fd.ok() && fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) &&
                       st.st_size == static_cast<off_t>(kIndexBytes);
    if (!sized) ul_writelog(UL_LOG_WARNING, "[dp_load] hash file num error");
    if (!fd.ok()) {
      ul_writelog(UL_LOG_WARNING, "[dp_load] open hash file error");
    } else if (sized && !toolkit::ReadExact(fd.get(), dp->hash, kIndexBytes, ul_read)) {
      std::memset(dp->hash, 0, kIndexBytes);
    }
  }
  size_t len = 0;
  if (toolkit::JoinPath(file, path, name, ".ind2")) dp->phrase = ReadWhole(file, &len);
  if (dp->phrase == nullptr) {
    ul_writelog(UL_LOG_WARNING, "[dp_load] open phrase file error");
    dp->phrase = static_cast<char*>(ul_calloc(1, 1));
    if (dp->phrase == nullptr) {
      ul_free(dp->hash);
      return nullptr;
    }
    len = 0;
  }
  for (size_t i = 0; i < len; ++i) {
    if (dp->phrase[i] == '\n') dp->phrase[i] = '\0';
  }
  if (!CheckBuckets(dp->hash, dp->phrase, len)) {
    ul_writelog(UL_LOG_WARNING, "[dp_load] hash file does not match the phrase file");
  }
  return dp.release();
}

int dp_del(Sdict_phrase* dp) {
  if (dp == nullptr) return 0;
  ul_free(dp->hash);
  ul_free(dp->phrase);
  ul_free(dp);
  return 0;
}

int dp_seek(Sdict_phrase* dp, const char* text, char* out) {
  char* o = out;
  int count = 0;
  const size_t len = std::strlen(text);
  for (size_t p = 0; p + 3 <= len; p += Byte(text + p) >= 0x80 ? 2 : 1) {
    const Shash_phrase& b = dp->hash[PhraseBucket(text + p)];
    const char* s = dp->phrase + b.off;
    for (int k = 0; k < b.num; ++k) {
      const char* end;
      const size_t n = MatchAt(s, text + p, &end);
      if (n > 0) {
        o = dict_internal::AppendUnit(o, s, n);
        ++count;
      }
      s = end + 1;
    }
  }
  *o = '\0';
  return count;
}

int dp_search(Sdict_phrase* dp, const char* text, char* out) {
  out[0] = '\0';
  if (text[0] == '\0' || text[1] == '\0' || text[2] == '\0') return 0;
  const Shash_phrase& b = dp->hash[PhraseBucket(text)];
  const char* s = dp->phrase + b.off;
  const char* best = nullptr;
  size_t best_len = 0;
  for (int k = 0; k < b.num; ++k) {
    const char* end;
    const size_t n = MatchAt(s, text, &end);
    if (n > best_len) {
      best = s;
      best_len = n;
    }
    s = end + 1;
  }
  if (best == nullptr) return 0;
  std::memcpy(out, best, best_len);
  out[best_len] = '\0';
  return 1;
}
