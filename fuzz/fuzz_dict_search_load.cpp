// Fuzz target for the search-side loaders (and the build-side loader) over
// arbitrary bytes of the three dictionary files.
//
// Input: [1 byte: length of NAME.n][NAME.n][2 bytes LE: length of NAME.ind1]
//        [NAME.ind1][the rest: NAME.ind2]
// Whatever the bytes, no loader may crash or read past a file; when the
// in-memory loader accepts a set, the mapped and on-disk forms accept it too,
// every look-up agrees among the three, and the mapped form never changes.
// An accepted set saved again (the in-memory form, while the mapped one
// stays in use) gives the same index files and reads back with the same
// answers.
// The build-side loaders and the frequency reader get the same bytes.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "support/scratch_dir.h"
#include "ul_dict.h"
#include "ul_log.h"

namespace {

const std::string& Dir() { return testsupport::ProcessScratchDir(); }

void Setup() {
  // A log threshold of 0 keeps the loaders' refusals off standard error.
  ul_logstat_t st = {0, 0, 0};
  ul_openlog(Dir().c_str(), "fuzz", &st, 1);
}

void Write(const char* name, const uint8_t* p, size_t n) {
  if (!testsupport::WriteBytes(Dir() + "/" + name, p, n)) std::abort();
}

void Agree(Sdict_search* mem, Sdict_search* map, Sdict_search_hd* hd, u_int s1, u_int s2) {
  Sdict_snode a{s1, s2, 0, 0}, b = a, c = a;
  const int ra = ds_op1(mem, &a, SEEK);
  const int rb = ds_op1(map, &b, SEEK);
  ds_seek_hd(hd, &c);
  if (ra != rb || a.code != b.code || a.code != c.code) __builtin_trap();
  if (ra == 1 && (a.other != b.other || a.other != c.other)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (Dir().empty()) Setup();
  size_t pos = 0;
  const size_t nlen = size > 0 ? data[0] : 0;
  pos = size > 0 ? 1 : 0;
  const size_t n_take = nlen < size - pos ? nlen : size - pos;
  Write("d.n", data + pos, n_take);
  pos += n_take;
  size_t ilen = 0;
  if (size - pos >= 2) {
    ilen = data[pos] | (static_cast<size_t>(data[pos + 1]) << 8);
    pos += 2;
  }
  const size_t i_take = ilen < size - pos ? ilen : size - pos;
  Write("d.ind1", data + pos, i_take);
  pos += i_take;
  Write("d.ind2", data + pos, size - pos);

  const char* dir = Dir().c_str();
  Sdict_search* mem = ds_load(dir, "d");
  Sdict_search* map = ds_load_mmap(dir, "d");
  Sdict_search_hd* hd = ds_load_hd(dir, "d");
  if ((mem == nullptr) != (map == nullptr) || (mem == nullptr) != (hd == nullptr)) __builtin_trap();
  if (mem != nullptr) {
    const int limit = mem->node_num < 512 ? mem->node_num : 512;
    for (int i = 0; i < limit; ++i) {
      Agree(mem, map, hd, mem->node[i].sign1, mem->node[i].sign2);
      Agree(mem, map, hd, mem->node[i].sign1 + 1, mem->node[i].sign2);
    }
    Agree(mem, map, hd, 0, 0);
    Agree(mem, map, hd, 0xFFFFFFFFu, 1);
    if (mem->node_num > 0) {
      Sdict_snode n{mem->node[0].sign1, mem->node[0].sign2, 0, 0};
      if (ds_op1(map, &n, MODC) == 1) __builtin_trap();  // 0 when misfiled
    }
    // Saved again under another name, the set reads back alike, its index
    // files byte for byte.
    if (ds_save(mem, dir, "e") != 1) __builtin_trap();
    for (const char* ext : {".ind1", ".ind2"}) {
      if (testsupport::ReadBytes(Dir() + "/d" + ext) != testsupport::ReadBytes(Dir() + "/e" + ext)) {
        __builtin_trap();
      }
    }
    Sdict_search* back = ds_load(dir, "e");
    if (back == nullptr || back->node_num != mem->node_num || back->hash_num != mem->hash_num ||
        back->cur_code != mem->cur_code) {
      __builtin_trap();
    }
    for (int i = 0; i < limit; ++i) Agree(mem, back, hd, mem->node[i].sign1, mem->node[i].sign2);
    ds_del(back);
    // Arbitrary bytes as a frequency file (its numbers file is missing).
    ds_load_freq(mem, dir, "d.ind2");
  }
  ds_del(mem);
  ds_del_mmap(map);
  ds_del_hd(hd);

  for (int hash_num : {0, 7}) {
    if (Sdict_build* b = db_load(dir, "d", hash_num)) {
      Sdict_snode n{0, 0, -1, 0};
      db_op1(b, &n, SEEK);
      db_del(b);
    }
  }
  db_del(db_load_0(dir, "d", 0));
  return 0;
}
