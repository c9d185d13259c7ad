// Fuzz target for the index tools over hostile frequency, weight and status
// values: fixed dictionaries, the files and counts from the input.
//
// Input: [1 byte lw][1 byte filter n][4 bytes url_num][4 bytes raw cur_code]
//        [1 byte db generations][1 byte ds generations]
//        [2 bytes len][frequency file][2 bytes len][weight file]
//        then sections [2 bytes len][generation file] for freq/db.0, .1, ...
//        and freq/ds.0, ... as long as the input lasts.
// Weights of creat_search_dict stay in 1..10, creat_stand_dict keeps at most
// lw keys (or all of them), ds_filter draws a permutation.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dict_fuzz.h"
#include "ul_conf.h"
#include "ul_dict.h"

namespace {

constexpr int kKeys = 40;

// "d": kKeys keys (sign1 1..kKeys) with codes 0..kKeys-1 (one past cur_code)
// and frequencies 0..; "main": every third of them with weight 9.
bool MakeDictionaries() {
  const char* dir = dictfuzz::Dir().c_str();
  for (const char* d : {"status", "raw", "freq"}) mkdir((dictfuzz::Dir() + "/" + d).c_str(), 0755);
  Sdict_build* d = db_creat(7, kKeys - 1);
  Sdict_build* m = db_creat(5, kKeys);
  for (int i = 0; i < kKeys; ++i) {
    Sdict_snode n{static_cast<u_int>(i + 1), 0, i, static_cast<u_int>(i * i % 23)};
    db_op1(d, &n, ADD);
    n.other = 9u << 25;
    if (i % 3 == 0) db_op1(m, &n, ADD);
  }
  const bool ok = db_save(d, dir, "d") == 1 && db_save(m, dir, "main") == 1;
  db_del(d);
  db_del(m);
  return ok;
}

void Status(const char* file, const char* key, int value) {
  const char* dir = dictfuzz::Dir().c_str();
  ul_writenum_init(dir, file);
  ul_writenum_oneint(dir, file, key, value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = dictfuzz::Quiet() && MakeDictionaries();
  if (!ready) __builtin_trap();
  dictfuzz::Reader in(data, size);
  const int lw = static_cast<int>(in.Num(1)) - 8;  // a few negative values too
  const int n = static_cast<int>(in.Num(1) % 64) - 4;
  Status("status/url", "url_num", static_cast<int>(in.Num(4)));
  Status("raw/url", "cur_code", static_cast<int>(in.Num(4)));
  const int db_gens = static_cast<int>(in.Num(1) % 8), ds_gens = static_cast<int>(in.Num(1) % 8);
  Status("status/dbfreq.cur", "cur_dbfreq", db_gens);
  Status("status/dsfreq.cur", "cur_dsfreq", ds_gens);
  dictfuzz::Put("freq/f", in.Section(2));
  dictfuzz::Put("freq/w", in.Section(2));
  for (int g = 0; g < db_gens + ds_gens; ++g) {
    const std::string name = g < db_gens ? "freq/db." + std::to_string(g) : "freq/ds." + std::to_string(g - db_gens);
    unlink((dictfuzz::Dir() + "/" + name).c_str());
    if (g % 3 != 2) dictfuzz::Put(name, in.Section(2));  // every third one missing
  }
  const char* dir = dictfuzz::Dir().c_str();
  if (pre_creat_search_dict(dir, "d", "o1", "freq/db", "freq/ds") != 1) __builtin_trap();
  if (creat_vice_dict(dir, "main", "d", "o2", "freq/f") != 1) __builtin_trap();
  if (creat_parser_dict(dir, "d", "o3", "freq/w") != 1) __builtin_trap();
  if (creat_search_dict(dir, "d", "o4", "freq/f") != 1) __builtin_trap();
  Sdict_search* sd = ds_load(dir, "o4");
  if (sd == nullptr) __builtin_trap();
  for (int i = 0; i < sd->node_num; ++i) {
    const u_int w = sd->node[i].other >> 25;
    if (w < 1 || w > 10) __builtin_trap();
  }
  const int cut = creat_stand_dict(dir, "d", "o5", lw);
  if ((lw < 0) != (cut < 0)) __builtin_trap();
  if (cut >= 0) {
    Sdict_search* kept = ds_load(dir, "o5");
    // Frequency 0 is never cut: when the other classes hold fewer than lw
    // keys, every key is kept (and "num error" logged).
    if (kept == nullptr || (kept->node_num > lw && kept->node_num != kKeys)) __builtin_trap();
    ds_del(kept);
  }
  Sdict_build* filtered = ds_filter(sd, n);
  if ((filtered == nullptr) != (n < 0 || n > sd->node_num)) __builtin_trap();
  if (filtered != nullptr) {
    std::vector<int> seen(static_cast<size_t>(n), 0);
    for (int i = 0; i < sd->node_num; ++i) {
      const int c = sd->node[i].code;
      if (sd->node[i].other == 1 && c >= 0 && c < n) ++seen[static_cast<size_t>(c)];
    }
    for (int s : seen) {
      if (s != 1) __builtin_trap();
    }
    if (filtered->node_num != n) __builtin_trap();
    db_del(filtered);
  }
  ds_del(sd);
  return 0;
}
