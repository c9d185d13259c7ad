// Fuzz target for the synonym builders over arbitrary source texts, then
// save and both loaders.
//
// Input: [1 byte: builder and mode][the rest: the source file]
// Every item of the source that a look-up finds must come back the same,
// in the same order, from the built dictionary, db_syn_load and ds_syn_load.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dict_fuzz.h"
#include "ul_dict.h"

namespace {

std::vector<std::string> Seek(Sdict_build_syn* b, Sdict_search_syn* s, const std::string& w) {
  static char out[1 << 16];
  const int n = b != nullptr ? db_syn_seek(b, w.c_str(), out, sizeof(out))
                             : ds_syn_seek(s, w.c_str(), out, sizeof(out));
  std::vector<std::string> r;
  if (n < 0) __builtin_trap();  // every location was checked on load
  for (size_t pos = 0; static_cast<int>(r.size()) < n; pos += r.back().size() + 1) r.emplace_back(out + pos);
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = dictfuzz::Quiet();
  (void)ready;
  dictfuzz::Reader in(data, size);
  const uint32_t how = in.Num(1);
  const std::string src = in.Rest();
  dictfuzz::Put("syn.txt", src);
  const std::string file = dictfuzz::Dir() + "/syn.txt";
  const int mode = static_cast<int>(how >> 1) % 3;  // 2: a mode that adds nothing
  Sdict_build_syn* syn = how & 1 ? db_syn_construct_unidirect(file.c_str(), 1 + (how >> 3), mode)
                                 : db_syn_construct(file.c_str(), 1 + (how >> 3), mode);
  if (syn == nullptr) __builtin_trap();
  const char* dir = dictfuzz::Dir().c_str();
  if (db_syn_save(syn, dir, "s") != 1) __builtin_trap();
  Sdict_build_syn* back = db_syn_load(dir, "s", 0);
  Sdict_search_syn* search = ds_syn_load(dir, "s");
  if (back == nullptr || search == nullptr) __builtin_trap();
  // Items as the builders split them (up to the line's end at CR, LF or NUL).
  size_t start = 0;
  for (size_t i = 0; i <= src.size(); ++i) {
    const char c = i < src.size() ? src[i] : '\n';
    if (c != '|' && c != '\n' && c != '\r' && c != '\0') continue;
    const std::string item(src.data() + start, i - start);
    start = i + 1;
    if (item.size() > 255 || item.find('\0') != std::string::npos) continue;
    const std::vector<std::string> want = Seek(syn, nullptr, item);
    if (Seek(back, nullptr, item) != want || Seek(nullptr, search, item) != want) __builtin_trap();
  }
  db_syn_del(syn);
  db_syn_del(back);
  ds_syn_del(search);
  return 0;
}
