// Synonym dictionary, search form: the saved bucket index and pair records
// as they are, the word dictionary in its search form and the word store in
// one buffer, so that a location indexes it directly. The loader checks every
// count against the files and every word location against the store, so a
// look-up needs no further checks.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "db_internal.h"
#include "dict_file.h"
#include "syn_internal.h"
#include "toolkit/file.h"
#include "toolkit/path.h"
#include "ul_dict.h"
#include "ul_func.h"
#include "ul_log.h"

namespace {

// Reads exactly bytes of path/NAME<suffix> into a new array; nullptr when
// the file is missing, of another size, or memory runs out.
template <typename T>
T* ReadArrayFile(const char* path, const char* name, const char* suffix, size_t bytes) {
  char file[256];
  if (!toolkit::JoinPath(file, path, name, suffix)) return nullptr;
  toolkit::UniqueFd fd = dict_internal::OpenRead(file);
  struct stat st;
  if (!fd.ok() || fstat(fd.get(), &st) != 0) return nullptr;
  if (st.st_size != static_cast<off_t>(bytes)) {
    ul_writelog(UL_LOG_WARNING, "[ds_syn_load] %s holds %lld bytes, not %zu", file,
                static_cast<long long>(st.st_size), bytes);
    return nullptr;
  }
  auto* array = static_cast<T*>(ul_malloc(bytes > 0 ? bytes : 1));
  if (array != nullptr && !toolkit::ReadExact(fd.get(), array, bytes, ul_read)) {
    ul_free(array);
    return nullptr;
  }
  return array;
}

}  // namespace

Sdict_search_syn* ds_syn_load(const char* path, const char* name) {
  dict_internal::SynNumbers nums;
  if (!dict_internal::ReadSynNumbers(path, name, true, false, &nums)) return nullptr;
  auto* syn = static_cast<Sdict_search_syn*>(ul_calloc(1, sizeof(Sdict_search_syn)));
  if (syn == nullptr) return nullptr;
  syn->hash_num = nums.hash_num;
  syn->node_num = nums.node_num;
  const size_t hn = static_cast<size_t>(nums.hash_num);
  auto* index = ReadArrayFile<unsigned int>(path, name, ".ind1", 8 * hn);
  if (index != nullptr) {
    syn->hash = index;
    syn->num = static_cast<unsigned int*>(ul_malloc(4 * hn));
    if (syn->num != nullptr) std::memcpy(syn->num, index + hn, 4 * hn);
  }
  syn->node = ReadArrayFile<Sdict_syn_snode>(path, name, ".ind2",
                                             sizeof(Sdict_syn_snode) * static_cast<size_t>(nums.node_num));
  if (syn->hash == nullptr || syn->num == nullptr || syn->node == nullptr) {
    ds_syn_del(syn);
    return nullptr;
  }
  if (!dict_internal::IndexConsistent(syn->hash, syn->num, syn->hash_num, syn->node_num)) {
    ul_writelog(UL_LOG_WARNING, "[ds_syn_load] bucket index of %s/%s does not match its pairs", path,
                name);
    ds_syn_del(syn);
    return nullptr;
  }
  const std::string word_name = std::string(name) + ".word";
  syn->pdword = ds_load(path, word_name.c_str());
  if (syn->pdword == nullptr) {
    ds_syn_del(syn);
    return nullptr;
  }
  if (!dict_internal::WordsInStore(syn->pdword->node, syn->pdword->node_num, nums.word_buf)) {
    ul_writelog(UL_LOG_WARNING, "[ds_syn_load] words of %s/%s lie outside its word store", path,
                name);
    ds_syn_del(syn);
    return nullptr;
  }
  toolkit::UniqueFd store = dict_internal::OpenWordStore(path, name, nums.word_buf);
  const size_t bytes = static_cast<size_t>(nums.word_buf) * dict_internal::kSynBufSize;
  if (store.ok()) syn->wordbuffer = static_cast<char*>(ul_malloc(bytes));
  if (syn->wordbuffer == nullptr ||
      !toolkit::ReadExact(store.get(), syn->wordbuffer, bytes, ul_read)) {
    ds_syn_del(syn);
    return nullptr;
  }
  return syn;
}

int ds_syn_del(Sdict_search_syn* syn) {
  if (syn == nullptr) return 0;
  ul_free(syn->hash);
  ul_free(syn->num);
  ul_free(syn->node);
  ul_free(syn->wordbuffer);
  ds_del(syn->pdword);
  ul_free(syn);
  return 0;
}

int ds_syn_seek(Sdict_search_syn* syn, const char* word, char* out, int size) {
  u_int s1, s2;
  dict_internal::SynSign(word, std::strlen(word), &s1, &s2);
  const u_int b = dict_internal::Bucket(s1, s2, syn->hash_num);
  dict_internal::SynOut sink(out, size);
  const Sdict_syn_snode* p = syn->node + syn->hash[b];
  for (const Sdict_syn_snode* end = p + syn->num[b]; p != end; ++p) {
    if (p->sign1 != s1 || p->sign2 != s2) continue;
    Sdict_snode w{p->sign3, p->sign4, -1, 0};
    // Locations were checked against the store when it was loaded.
    if (ds_op1(syn->pdword, &w, SEEK) != 1) continue;
    if (!sink.Add(syn->wordbuffer + w.other, static_cast<size_t>(w.code))) break;
  }
  return sink.count();
}
