// Fuzz target for db_syn_load and ds_syn_load over hostile synonym file sets.
//
// Input: [1 byte len][NAME.n][2 bytes len][NAME.ind1][2 bytes len][NAME.ind2]
//        [1 byte len][NAME.word.n][2 bytes len][NAME.word.ind1]
//        [2 bytes len][NAME.word.ind2][1 byte blocks][the rest: NAME.word]
// NAME.word is the rest padded with zeros to blocks % 3 blocks (none: as it
// stands). Whatever the files hold, no loader or look-up may read outside
// them; every word of a loaded store is looked up in both forms.
#include <cstdint>
#include <cstring>
#include <string>

#include "dict_fuzz.h"
#include "ul_dict.h"

namespace {

constexpr size_t kBlock = 524288;  // bytes of a word-store block

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = dictfuzz::Quiet();
  (void)ready;
  dictfuzz::Reader in(data, size);
  dictfuzz::Put("s.n", in.Section(1));
  dictfuzz::Put("s.ind1", in.Section(2));
  dictfuzz::Put("s.ind2", in.Section(2));
  dictfuzz::Put("s.word.n", in.Section(1));
  dictfuzz::Put("s.word.ind1", in.Section(2));
  dictfuzz::Put("s.word.ind2", in.Section(2));
  const uint32_t blocks = in.Num(1) % 3;
  std::string word = in.Rest();
  if (blocks > 0 && word.size() < blocks * kBlock) word.resize(blocks * kBlock);
  dictfuzz::Put("s.word", word);
  const char* dir = dictfuzz::Dir().c_str();
  static char out[1 << 12];
  for (int hash_num : {0, 5}) {
    Sdict_build_syn* b = db_syn_load(dir, "s", hash_num);
    if (b == nullptr) continue;
    db_syn_seek(b, "a", out, sizeof(out));
    db_syn_add(b, "a", "bc");
    db_syn_seek(b, "a", out, sizeof(out));
    db_syn_del(b);
  }
  Sdict_search_syn* s = ds_syn_load(dir, "s");
  if (s != nullptr) {
    // The words of the store, as the word dictionary locates them.
    Sdict_build_syn* b = db_syn_load(dir, "s", 0);
    for (int i = 0; i < s->pdword->node_num && i < 256; ++i) {
      const Sdict_snode& w = s->pdword->node[i];
      const std::string text(s->wordbuffer + w.other, static_cast<size_t>(w.code));
      if (ds_syn_seek(s, text.c_str(), out, sizeof(out)) < 0) __builtin_trap();
      if (b != nullptr) db_syn_seek(b, text.c_str(), out, sizeof(out));
    }
    db_syn_del(b);
    ds_syn_del(s);
  }
  return 0;
}
