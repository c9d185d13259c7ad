// Fuzzes the multi-byte string utilities: the input's first three bytes pick
// a function, a code type and an output capacity; the rest is cut at its
// first NUL into two strings (the text and the pattern, set or second text).
// "n" forms read inputs copied into blocks of exactly their length, without
// a NUL. Checks: a result fits its capacity with its NUL; the thread's
// scratch memory is empty after every call; a call in place gives what it
// gives out of place; the searches agree with a plain walk.
#include <stdlib.h>
#include <string.h>

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ul_ccode_edit.h"
#include "ul_ccode_memo.h"
#include "ul_ccode_next.h"
#include "ul_ccode_replace.h"
#include "ul_ccode_search.h"

namespace {

const int kTypes[] = {1, 2, 3, 9, 13, 0, 6, 7, 11, 12, 28, 30};

struct Setup {
  Setup() {
    if (ul_ccode_memo_init() != 0 || ul_ccode_memo_alloc() != 0) abort();
  }
};

void Check(bool ok) {
  if (!ok) abort();
}

void CheckScratch() { Check(ul_ccode_memo_hash()->size() == 0 && ul_ccode_memo_pool()->bigcount() == 0); }

// The searches as their rules read, one boundary at a time.
const char* PlainFind(const char* s, const char* p, int ct) {
  if (ct == 3 || ct == 9) return strstr(s, p);
  if (ct != 1 && ct != 13) return nullptr;
  const size_t n = strlen(p);
  for (;;) {
    if (strncmp(s, p, n) == 0) return s;
    if (*s == '\0') return nullptr;
    const int len = ul_ccode_next(s, ct);
    if (len == 0) return nullptr;
    s += len;
  }
}

const char* PlainFindn(const char* s, int sz, const char* p, int psz, int ct) {
  if (ct != 1 && ct != 3 && ct != 9 && ct != 13) return nullptr;
  const int n = get_exact_len(p, psz);
  for (int off = 0;; ) {
    const int left = sz - off;
    if (left < n || left < 1 || s[off] == '\0') return nullptr;
    const int len = ul_ccode_nextn(s + off, left, ct);
    if (len == 0) return nullptr;
    if (memcmp(s + off, p, static_cast<size_t>(n)) == 0) return s + off;
    off += len;
  }
}

// A function that writes a string: its result (pointer results as 0/1) for
// an input and an output of cap bytes.
typedef std::function<long(const char* in, int szIn, char* out, int cap)> Writer;

int DropAscii(char* c, int) { return static_cast<unsigned char>(c[0]) < 0x80; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  if (size < 3) return 0;
  const int fn = data[0], ct = kTypes[data[1] % (sizeof(kTypes) / sizeof(kTypes[0]))], cap = data[2] + 1;
  const std::string rest(reinterpret_cast<const char*>(data + 3), size - 3);
  const size_t cut = rest.find('\0');
  const std::string a = rest.substr(0, cut), b = cut == std::string::npos ? "" : rest.substr(cut + 1).c_str();
  const int na = static_cast<int>(a.size()) + (a.empty() ? 1 : 0), nb = static_cast<int>(b.size()) + (b.empty() ? 1 : 0);
  // Exactly sized copies for the "n" forms.
  const std::vector<char> ea(a.empty() ? std::vector<char>{'\0'} : std::vector<char>(a.begin(), a.end()));
  const std::vector<char> eb(b.empty() ? std::vector<char>{'\0'} : std::vector<char>(b.begin(), b.end()));
  const char* A = ea.data();
  const char* B = eb.data();
  auto P = [](const char* r, const char* out) -> long { return r == nullptr ? 0 : r == out ? 1 : 2; };

  const size_t grow = a.size() * (b.size() + 4) + 16;  // room for the forms without a capacity
  const Writer writers[] = {
      [&](const char* in, int n, char* o, int m) { return P(ul_ccode_trimn(in, n, o, m, ct), o); },
      [&](const char* in, int n, char* o, int m) { return P(ul_ccode_rmblankn(in, n, o, m, ct), o); },
      [&](const char* in, int n, char* o, int m) { return P(ul_ccode_chompn(in, n, o, m, ct), o); },
      [&](const char* in, int n, char* o, int m) { return P(ul_ccode_removen(in, n, o, m, DropAscii, ct), o); },
      [&](const char* in, int n, char* o, int m) { return P(ul_ccode_substr(in, n, o, m, nb % 5, nb % 7, ct), o); },
      [&](const char* in, int n, char* o, int m) { return P(ul_ccode_tolower(in, n, o, m), o); },
      [&](const char* in, int n, char* o, int m) { return P(ul_ccode_tohalf(in, n, o, m, ct), o); },
      [&](const char* in, int n, char* o, int m) { return P(ul_ccode_half_lower(in, n, o, m, ct), o); },
      [&](const char* in, int n, char* o, int m) { return P(ul_ccode_convurl(in, n, o, m), o); },
      [&](const char* in, int n, char* o, int m) { return static_cast<long>(ul_ccode_replacen(in, n, o, m, b.c_str(), "xy", ct)); },
      [&](const char* in, int n, char* o, int m) { return static_cast<long>(ul_ccode_replacen_word(in, n, o, m, b.c_str(), "<>", ct)); },
      [&](const char* in, int n, char* o, int m) { return static_cast<long>(ul_ccode_convword(in, n, o, m, b.c_str(), "\xE4\xB8\xAD" "ab", ct)); },
      [&](const char*, int, char* o, int) { return P(ul_ccode_trim(a.c_str(), o, ct), o); },
      [&](const char*, int, char* o, int) { return P(ul_ccode_rmblank(a.c_str(), o, ct), o); },
      [&](const char*, int, char* o, int) { return P(ul_ccode_chomp(a.c_str(), o, ct), o); },
      [&](const char*, int, char* o, int) { return P(ul_ccode_remove(a.c_str(), o, DropAscii, ct), o); },
      [&](const char*, int, char* o, int) { return static_cast<long>(ul_ccode_replace(a.c_str(), o, b.c_str(), "xyz", ct)); },
      [&](const char*, int, char* o, int) { return static_cast<long>(ul_ccode_replace_word(a.c_str(), o, b.c_str(), "x", ct)); },
  };
  const size_t nwriters = sizeof(writers) / sizeof(writers[0]);
  const size_t choice = static_cast<size_t>(fn) % (nwriters + 3);
  if (choice < nwriters) {
    const bool bounded = choice < 12;
    const int room = bounded ? cap : static_cast<int>(grow);
    std::vector<char> out(static_cast<size_t>(room), '#');
    const long r = writers[choice](A, na, out.data(), room);
    CheckScratch();
    if (r <= 0) return 0;
    const size_t len = strnlen(out.data(), out.size());
    Check(len < out.size());
    // In place: the input at the start of a buffer of the same capacity
    // (the forms without one read the text itself; they get a copy here).
    std::vector<char> buf(std::max<size_t>(static_cast<size_t>(room), a.size() + 1), '\0');
    memcpy(buf.data(), a.data(), a.size());
    const long r2 = bounded ? writers[choice](buf.data(), na, buf.data(), room) : r;
    CheckScratch();
    if (bounded) Check(r2 == r && strcmp(buf.data(), out.data()) == 0);
    return 0;
  }
  switch (choice - nwriters) {
    case 0:
      Check(ul_ccode_find(a.c_str(), b.c_str(), ct) == PlainFind(a.c_str(), b.c_str(), ct));
      Check(ul_ccode_findn(A, na, B, nb, ct) == PlainFindn(A, na, B, nb, ct));
      ul_ccode_ifind(a.c_str(), b.c_str(), ct);
      if (const char* last = ul_ccode_ifindn(A, na, B, nb, ct)) Check(last + get_exact_len(B, nb) <= A + na);
      break;
    case 1: {
      const int inset = ul_ccode_count_inset(A, na, B, nb, ct), overlap = ul_ccode_count_overlap(A, na, B, nb, ct);
      Check(inset <= na && overlap <= na && overlap <= nb);
      Check(ul_ccode_include(A, na, B, nb, ct) == (inset > 0 ? 1 : 0));
      std::vector<char> common(static_cast<size_t>(cap), '#');
      const int lcs = ul_ccode_longest_common_substr(A, na, B, nb, common.data(), cap, ct);
      if (lcs >= 0) Check(strnlen(common.data(), common.size()) < common.size() && lcs <= overlap);
      ul_ccode_include_same_alphaset(A, na, B, nb);
      ul_ccode_only_diff_space(A, na, B, nb);
      ul_ccode_strcmp_reverse(A, na, B, nb);
      ul_ccode_str2uint(A, na);
      break;
    }
    default: {
      std::string text = a;
      std::vector<char> dest(static_cast<size_t>(cap), '\0');
      memcpy(dest.data(), b.data(), std::min(b.size(), dest.size() - 1));
      const std::string before(dest.data());
      if (ul_ccode_join(dest.data(), cap, A, na) == nullptr) Check(before == dest.data());
      std::vector<char*> pieces(static_cast<size_t>(cap % 8 + 1));
      const int n = ul_ccode_split(&text[0], pieces.data(), static_cast<int>(pieces.size()), b.c_str(), ct);
      Check(n <= static_cast<int>(pieces.size()));
      break;
    }
  }
  CheckScratch();
  return 0;
}
