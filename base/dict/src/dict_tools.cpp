// Index tools: batch functions that load a saved dictionary, recompute the
// other word of every record (a weight in the high 7 bits over a frequency
// in the low 25) and save the result under a new name, and the frequency
// filter that samples the most frequent keys into a new dictionary.
//
// The weight of a key found in f of U documents is the difference of their
// octal lengths plus 1: rare keys weigh more.
#include <fcntl.h>
#include <stdlib.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "db_internal.h"
#include "dep_file.h"
#include "dict_file.h"
#include "toolkit/file.h"
#include "toolkit/path.h"
#include "ul_conf.h"
#include "ul_dict.h"
#include "ul_func.h"
#include "ul_log.h"

namespace {

constexpr u_int kFreqMask = DICT_FREQ_MASK;
constexpr int kClasses = 10000;  // frequency classes of creat_stand_dict

struct SearchDeleter {
  void operator()(Sdict_search* sd) const { ds_del(sd); }
};
using SearchPtr = std::unique_ptr<Sdict_search, SearchDeleter>;

using dict_internal::UlArray;
using dict_internal::Zeroed;

// Codes of the dictionary: the number of per-code entries its tools read.
int CodeCount(const Sdict_search* sd) { return sd->cur_code > 0 ? sd->cur_code : 0; }

// An entry of a per-code array, 0 for a code outside it.
template <typename T>
T ByCode(const T* array, int count, int code) {
  return code >= 0 && code < count ? array[code] : T{};
}

int ReadStatus(const char* path, const char* file, const char* key) {
  int v = 0;
  if (ul_readnum_oneint(path, file, key, &v) != 1) v = 0;
  return v;
}

int InverseWeight(int log8_docs, u_int freq) { return log8_docs - get_log8(freq) + 1; }

// The weight bits over the frequency bits.
u_int Pack(int weight, u_int freq) {
  return ((static_cast<u_int>(weight) & 0x7F) << DICT_WEIGHT_SHIFT) | (freq & kFreqMask);
}

SearchPtr LoadSearch(const char* path, const char* name) {
  return SearchPtr(ds_load(path, name));
}

// Saves the rewritten dictionary; 1, or -1 when that fails.
int SaveSearch(Sdict_search* sd, const char* path, const char* out, const char* what) {
  ul_writelog(UL_LOG_NOTICE, "%s", what);
  return ds_save(sd, path, out) == 1 ? 1 : -1;
}

// Adds the generations "<prefix>.0" .. "<prefix>.<G-1>" (G from the status
// file) to total, showing progress. Each file adds only the counts it holds.
void AddGenerations(const char* path, const char* status_file, const char* key,
                    const char* label, const char* prefix, u_int* total, u_int* scratch,
                    int count) {
  const int gens = ReadStatus(path, status_file, key);
  int g = 0;
  for (; g < gens; ++g) {
    ul_showgocmp(label, gens, g);
    char file[256];
    if (!toolkit::JoinPath(file, path, prefix, "." + std::to_string(g))) continue;
    toolkit::UniqueFd fd = dict_internal::OpenRead(file);
    if (!fd.ok()) continue;
    const ssize_t got =
        toolkit::ReadFull(fd.get(), scratch, static_cast<size_t>(count) * sizeof(u_int), ul_read);
    const int entries = got > 0 ? static_cast<int>(got / static_cast<ssize_t>(sizeof(u_int))) : 0;
    for (int i = 0; i < entries; ++i) total[i] += scratch[i];
  }
  ul_showgoend(label, gens, g);
}

// Reads n bytes of a per-code file into a zeroed array; false when it cannot
// be read (ul_readfile logs why).
bool ReadCodeFile(const char* path, const char* file, void* buf, int64_t bytes) {
  if (bytes > INT_MAX) return false;
  return ul_readfile(path, file, buf, static_cast<int>(bytes)) >= 0;
}

}  // namespace

int get_log8(unsigned int v) {
  int digits = 0;
  for (; v != 0; v >>= 3) ++digits;
  return digits;
}

int pre_creat_search_dict(const char* path, const char* name, const char* out,
                          const char* dbfreq_prefix, const char* dsfreq_prefix) {
  ul_writelog(UL_LOG_NOTICE, "loading dict...");
  SearchPtr sd = LoadSearch(path, name);
  if (!sd) return -1;
  const int count = CodeCount(sd.get());
  UlArray<u_int> total = Zeroed<u_int>(count);
  UlArray<u_int> scratch = Zeroed<u_int>(count);
  if (!total || !scratch) return -2;
  AddGenerations(path, "status/dbfreq.cur", "cur_dbfreq", "dbfreq", dbfreq_prefix, total.get(),
                 scratch.get(), count);
  AddGenerations(path, "status/dsfreq.cur", "cur_dsfreq", "dsfreq", dsfreq_prefix, total.get(),
                 scratch.get(), count);
  const int log8_docs = get_log8(static_cast<u_int>(ReadStatus(path, "status/url", "url_num")));
  for (int i = 0; i < sd->node_num; ++i) {
    Sdict_snode& n = sd->node[i];
    const u_int f = ByCode(total.get(), count, n.code);
    const int w = InverseWeight(log8_docs, f);
    // The weight is stored unclamped: only its low 7 bits fit.
    if (w > 10 || w < 0) ul_writelog(UL_LOG_WARNING, "[creat_search_dict] itf < 0");
    n.other = Pack(w, f);
  }
  return SaveSearch(sd.get(), path, out, "save dict for searching...");
}

int creat_search_dict(const char* path, const char* name, const char* out, const char* freq_file) {
  ul_writelog(UL_LOG_NOTICE, "loading dict...");
  SearchPtr sd = LoadSearch(path, name);
  if (!sd) return -1;
  const int count = CodeCount(sd.get());
  UlArray<u_int> freq = Zeroed<u_int>(count);
  if (!freq) return -2;
  if (!ReadCodeFile(path, freq_file, freq.get(), int64_t{count} * 4)) return -1;
  const int log8_docs = get_log8(static_cast<u_int>(ReadStatus(path, "status/url", "url_num")));
  for (int i = 0; i < sd->node_num; ++i) {
    Sdict_snode& n = sd->node[i];
    const u_int f = ByCode(freq.get(), count, n.code);
    int w = InverseWeight(log8_docs, f);
    if (w >= 11 || w < 1) {
      ul_writelog(UL_LOG_WARNING, "[creat_search_dict] itf <= 0");
      w = w >= 11 ? 10 : 1;
    }
    n.other = Pack(w, f);
  }
  return SaveSearch(sd.get(), path, out, "save dict for searching...");
}

int creat_vice_dict(const char* path, const char* main_name, const char* vice_name,
                    const char* out, const char* freq_file) {
  if (ul_fexist(path, "raw/term.n") != 1) ul_writelog(UL_LOG_WARNING, "have no the dict of gi");
  if (ul_fexist(path, "raw/url.n") != 1) ul_writelog(UL_LOG_WARNING, "have no the url.n of gi");
  SearchPtr main_sd = LoadSearch(path, main_name);
  if (!main_sd) return -1;
  SearchPtr vice = LoadSearch(path, vice_name);
  if (!vice) return -1;
  const int count = CodeCount(vice.get());
  UlArray<u_int> freq = Zeroed<u_int>(count);
  if (!freq) return -2;
  if (!ReadCodeFile(path, freq_file, freq.get(), int64_t{count} * 4)) return -1;
  const int docs = ReadStatus(path, "raw/url", "cur_code");
  std::printf("[creat_vice_dict] gi url_num (%d)\n", docs);
  std::fflush(stdout);
  const int log8_docs = get_log8(static_cast<u_int>(docs));
  for (int i = 0; i < vice->node_num; ++i) {
    Sdict_snode& n = vice->node[i];
    const u_int f = ByCode(freq.get(), count, n.code);
    Sdict_snode key{n.sign1, n.sign2, 0, 0};
    if (ds_op1(main_sd.get(), &key, SEEK) == 1) {
      n.other = (key.other & DICT_WEIGHT_MASK) | (f & kFreqMask);
      continue;
    }
    int w = InverseWeight(log8_docs, f);
    if (w <= 0) {
      ul_writelog(UL_LOG_WARNING, "[creat_vice_dict] idf(%d)<=0, num(%d)", w, static_cast<int>(f));
      w = 1;
    } else if (w > 10) {
      ul_writelog(UL_LOG_WARNING, "[creat_vice_dict] idf(%d)>10, num(%d)", w, static_cast<int>(f));
      w = 10;
    }
    n.other = Pack(w, f);
  }
  return SaveSearch(vice.get(), path, out, "save dict for searching...");
}

int creat_parser_dict(const char* path, const char* name, const char* out, const char* weight_file) {
  ul_writelog(UL_LOG_NOTICE, "loading dict...");
  SearchPtr sd = LoadSearch(path, name);
  if (!sd) return -1;
  const int count = CodeCount(sd.get());
  UlArray<signed char> weight = Zeroed<signed char>(count);
  if (!weight) return -2;
  if (!ReadCodeFile(path, weight_file, weight.get(), count)) return -3;
  for (int i = 0; i < sd->node_num; ++i) {
    Sdict_snode& n = sd->node[i];
    n.other = Pack(ByCode(weight.get(), count, n.code), 0);
  }
  return SaveSearch(sd.get(), path, out, "save dict for parsing...");
}

int creat_stand_dict(const char* path, const char* name, const char* out, int lw) {
  if (lw < 0) {
    ul_writelog(UL_LOG_WARNING, "[creat_stand_dict] lw (%d) < 0", lw);
    return -1;
  }
  SearchPtr sd = LoadSearch(path, name);
  if (!sd) return -1;
  auto cls = [](const Sdict_snode& n) {
    const u_int f = n.other & kFreqMask;
    return f < kClasses - 1 ? static_cast<int>(f) : kClasses - 1;
  };
  UlArray<int> hist = Zeroed<int>(kClasses);
  if (!hist) return -2;
  for (int i = 0; i < sd->node_num; ++i) ++hist[cls(sd->node[i])];
  // From the most frequent class down: the class where the sum reaches lw
  // keeps only what is missing, the classes below it nothing.
  int cut = 0;
  int64_t above = 0;
  for (int c = kClasses - 1; c >= 1; --c) {
    if (above + hist[c] >= lw) {
      cut = c;
      hist[c] = static_cast<int>(lw - above);
      for (int k = c - 1; k >= 0; --k) hist[k] = 0;
      if (c == kClasses - 1) ul_writelog(UL_LOG_WARNING, "[creat_stand_dict] MMM_WEIGHT too small");
      break;
    }
    above += hist[c];
  }
  int64_t total = 0;
  for (int c = 0; c < kClasses; ++c) total += hist[c];
  // Frequency 0 is never cut: when the other classes hold fewer than lw
  // keys, every key stays, possibly more than lw.
  if (total > lw) ul_writelog(UL_LOG_WARNING, "[creat_stand_dict] num error");
  UlArray<Sdict_snode> taken = Zeroed<Sdict_snode>(total);
  if (!taken) return -2;
  int ntaken = 0;
  // The class counts add up to total, so exactly total records are taken.
  for (int i = 0; i < sd->node_num && ntaken < total; ++i) {
    const Sdict_snode& n = sd->node[i];
    int& left = hist[cls(n)];
    if (left <= 0) continue;
    --left;
    taken[ntaken++] = Sdict_snode{n.sign1, n.sign2, -1, n.other & kFreqMask};
  }
  ul_writelog(UL_LOG_NOTICE, "[crear_stad_dict] (%d)->(%d) lw (%d)", sd->cur_code,
              static_cast<int>(total), lw);
  sd.reset();
  // The bucket count only serves the additions: db_adjust sets the saved one.
  Sdict_build* db = db_creat(ntaken + 1, 0);
  if (db == nullptr) return -2;
  int r = ntaken > 0 ? db_opn(db, taken.get(), ntaken, ADD) : 0;
  if (r >= 0) r = db_adjust(db);
  if (r >= 0) r = db_save(db, path, out) == 1 ? 0 : -1;
  db_del(db);
  return r < 0 ? r : cut;
}

Sdict_build* ds_filter(Sdict_search* sd, int n) {
  if (n < 0 || n > sd->node_num) return nullptr;
  if (n == 0) {
    Sdict_build* empty = db_creat(1, 0);
    if (empty == nullptr) ul_writelog(UL_LOG_FATAL, "db_creat failed");
    return empty;
  }
  if (dict_internal::IsMapped(sd)) {
    ul_writelog(UL_LOG_WARNING, "[ds_filter] mapped dictionary is read-only");
    return nullptr;
  }
  UlArray<int> ostat = Zeroed<int>(n);
  UlArray<int> picked = Zeroed<int>(n);
  if (!ostat || !picked) {
    ul_writelog(UL_LOG_FATAL, "ds_filter(): ul_calloc ostat failed");
    return nullptr;
  }
  u_int top = 0;
  for (int i = 0; i < sd->node_num; ++i) {
    const u_int f = sd->node[i].other & kFreqMask;
    if (f > top) top = f;
  }
  ul_writelog(UL_LOG_TRACE, "maximum 'freq' field: %d", static_cast<int>(top));
  // Classes 0..n-1 of equal width over 0..top.
  const u_int width = top / static_cast<u_int>(n) + 1;
  auto cls = [&](int i) { return static_cast<int>((sd->node[i].other & kFreqMask) / width); };
  for (int i = 0; i < sd->node_num; ++i) ++ostat[cls(i)];
  // The highest class whose tail holds n records.
  int threshold = 0;
  int64_t tail = 0;
  for (int c = n - 1; c >= 0; --c) {
    tail += ostat[c];
    if (tail >= n) {
      threshold = c;
      break;
    }
  }
  int taken = 0;
  for (int i = 0; i < sd->node_num && taken < n; ++i) {
    if (cls(i) >= threshold) picked[taken++] = i;
  }
  for (int i = 0; i < n; ++i) {
    const int j = static_cast<int>(random() % n);
    if (i != j) std::swap(picked[i], picked[j]);
  }
  Sdict_build* db = db_creat(n + 1, 0);
  if (db == nullptr) {
    ul_writelog(UL_LOG_FATAL, "db_creat failed");
    return nullptr;
  }
  u_int low = kFreqMask, high = 0;
  for (int i = 0; i < n; ++i) {
    Sdict_snode& rec = sd->node[picked[i]];
    const u_int f = rec.other & kFreqMask;
    if (f < low) low = f;
    if (f > high) high = f;
    // The record itself is the operand: it takes the new code and frequency.
    rec.code = -1;
    rec.other = 0;
    if (db_op1(db, &rec, ADD) < 0) {
      db_del(db);
      return nullptr;
    }
  }
  ul_writelog(UL_LOG_TRACE, "minimum 'freq' field in new dict: %d", static_cast<int>(low));
  ul_writelog(UL_LOG_TRACE, "maximum 'freq' field in new dict: %d", static_cast<int>(high));
  return db;
}
