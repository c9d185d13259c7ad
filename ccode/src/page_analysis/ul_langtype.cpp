// Multi-language values and language sets.
#include "ul_langtype.h"

#include "ul_log.h"

namespace {

constexpr int kMaxCarried = 85;  // languages 0..84 can be carried in a value

// The pair (language, confidence) at byte position 2 * pos of value, or
// false when it ends the list.
bool Pair(long long value, int pos, int* lang, int* conf) {
  const unsigned long long v = static_cast<unsigned long long>(value);
  *lang = static_cast<int>((v >> (16 * pos)) & 0xFF);
  *conf = static_cast<int>((v >> (16 * pos + 8)) & 0xFF);
  return *conf >= 1 && *conf <= 100 && *lang < kMaxCarried;
}

bool Has(const _LangType* set, int lang) {
  return lang < 64 ? (set->langmark >> lang) & 1 : (set->langmark_high >> (lang - 64)) & 1;
}

void Put(_LangType* set, int lang, bool on) {
  uint64_t& word = lang < 64 ? set->langmark : set->langmark_high;
  const uint64_t bit = uint64_t{1} << (lang < 64 ? lang : lang - 64);
  word = on ? (word | bit) : (word & ~bit);
}

int Illegal(const char* fn) {
  ul_writelog(UL_LOG_FATAL, "input illegal in %s", fn);
  return -1;
}

bool InSet(int lang) { return lang >= 0 && lang < LANGTYPE_END; }

}  // namespace

int ul_ccode_langtype_v2(long long value, int* langs, int* confs, int n, int which) {
  if (value < -1 || langs == nullptr || n < 1 || which < V2_MAINLANG || which > V2_ALL ||
      (which == V2_ALL && n < 4)) {
    ul_writelog(UL_LOG_WARNING, "invalid param in %s", "ul_ccode_langtype_v2");
    return -1;
  }
  for (int i = 0; i < n; ++i) {
    langs[i] = -1;
    if (confs != nullptr) confs[i] = 0;
  }
  if (value == -1) return 1;
  int count = 0;
  for (int pos = 0; pos < 4; ++pos) {
    if (which != V2_ALL && which != pos + 1) continue;
    int lang, conf;
    if (pos == 0 && value < kMaxCarried) {
      lang = static_cast<int>(value);
      conf = 0;
    } else if (pos == 0 && value <= 0xFF) {
      return -1;
    } else if (!Pair(value, pos, &lang, &conf)) {
      return count;
    }
    langs[count] = lang;
    if (confs != nullptr) confs[count] = conf;
    ++count;
  }
  return count;
}

int ul_langtype_clean(_LangType* set) {
  if (set == nullptr) return Illegal("ul_langtype_clean");
  set->langmark = set->langmark_high = 0;
  return 0;
}

int ul_langtype_isclean(const _LangType* set) {
  if (set == nullptr) return Illegal("ul_langtype_isclean");
  return set->langmark == 0 && set->langmark_high == 0 ? 1 : 0;
}

int ul_langtype_set(_LangType* set, int lang) {
  if (set == nullptr || lang < -1 || lang >= LANGTYPE_END) return Illegal("ul_langtype_set");
  set->langmark = set->langmark_high = 0;
  if (lang >= 0) Put(set, lang, true);
  return 0;
}

int ul_langtype_add(_LangType* set, int lang) {
  if (set == nullptr || !InSet(lang)) return Illegal("ul_langtype_add");
  Put(set, lang, true);
  return 0;
}

int ul_langtype_unset(_LangType* set, int lang) {
  if (set == nullptr || !InSet(lang)) return Illegal("ul_langtype_unset");
  Put(set, lang, false);
  return 0;
}

int ul_langtype_set(_LangType* set, const char* name) {
  if (set == nullptr || name == nullptr) return Illegal("ul_langtype_set");
  return ul_langtype_set(set, ul_getlangtype(name));
}

int ul_langtype_add(_LangType* set, const char* name) {
  if (set == nullptr || name == nullptr) return Illegal("ul_langtype_add");
  return ul_langtype_add(set, ul_getlangtype(name));
}

int ul_langtype_unset(_LangType* set, const char* name) {
  if (set == nullptr || name == nullptr) return Illegal("ul_langtype_unset");
  return ul_langtype_unset(set, ul_getlangtype(name));
}

int ul_langtype_get(const _LangType* set, int* out, int n) {
  if (set == nullptr || out == nullptr || n < 0) return Illegal("ul_langtype_get");
  int count = 0;
  for (int lang = 0; lang < LANGTYPE_END && count < n; ++lang) {
    if (Has(set, lang)) out[count++] = lang;
  }
  return count;
}

int ul_langtype_equal(const _LangType* a, const _LangType* b) {
  if (a == nullptr || b == nullptr) return Illegal("ul_langtype_equal");
  return a->langmark == b->langmark && a->langmark_high == b->langmark_high ? 1 : 0;
}

int ul_langtype_compatible(const _LangType* set, int lang) {
  if (set == nullptr || !InSet(lang)) return Illegal("ul_langtype_compatible");
  return Has(set, LANGTYPE_GLOBAL) || Has(set, lang) ? 1 : 0;
}

int ul_langtype_compatible(const _LangType* set, const int* langs, int n) {
  if (set == nullptr || langs == nullptr || n < 0) return Illegal("ul_langtype_compatible");
  if (Has(set, LANGTYPE_GLOBAL)) return 1;
  for (int i = 0; i < n; ++i) {
    if (!InSet(langs[i]) || !Has(set, langs[i])) return 0;
  }
  return 1;
}

int ul_langtype_compatible(const _LangType* set, const _LangType* other) {
  if (set == nullptr || other == nullptr) return Illegal("ul_langtype_compatible");
  if (Has(set, LANGTYPE_GLOBAL)) return 1;
  return (other->langmark & ~set->langmark) == 0 && (other->langmark_high & ~set->langmark_high) == 0 ? 1 : 0;
}

int ul_langtype_num(const _LangType* set) {
  if (set == nullptr) return Illegal("ul_langtype_num");
  return __builtin_popcountll(set->langmark) + __builtin_popcountll(set->langmark_high);
}
