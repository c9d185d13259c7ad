// Synonym dictionary files: NAME.n ("hash_num", "node_num", "word_buf",
// "cur_buf"), NAME.ind1 (bucket starts, then bucket counts, u32 each),
// NAME.ind2 (16-byte pair records bucket by bucket in chain order), NAME.word
// (the word store's blocks, dict_internal::kSynBufSize bytes each) and the word
// dictionary saved as NAME.word.{n,ind1,ind2}. Little-endian, no header.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "db_internal.h"
#include "dict_file.h"
#include "dict_out.h"
#include "syn_internal.h"
#include "toolkit/file.h"
#include "toolkit/path.h"
#include "ul_conf.h"
#include "ul_dict.h"
#include "ul_func.h"
#include "ul_log.h"

static_assert(sizeof(Sdict_syn_snode) == 16, "Sdict_syn_snode is the 16-byte pair record");

namespace {

constexpr int kCrowdedBucket = 125;
constexpr size_t kPiece = 4096;  // records per write and per 64 KB read

}  // namespace

namespace dict_internal {

bool ReadSynNumbers(const char* path, const char* name, bool want_hash, bool want_cur_buf,
                    SynNumbers* out) {
  if ((want_hash && ul_readnum_oneint(path, name, "hash_num", &out->hash_num) != 1) ||
      ul_readnum_oneint(path, name, "node_num", &out->node_num) != 1 ||
      ul_readnum_oneint(path, name, "word_buf", &out->word_buf) != 1 ||
      (want_cur_buf && ul_readnum_oneint(path, name, "cur_buf", &out->cur_buf) != 1)) {
    ul_writelog(UL_LOG_WARNING, "[syn_load] read numbers of %s/%s.n failed", path, name);
    return false;
  }
  // A location keeps the block number in 13 bits.
  if (out->hash_num < 1 || out->node_num < 0 || out->word_buf < 1 || out->word_buf > (1 << 13) ||
      out->cur_buf < 0 || out->cur_buf > dict_internal::kSynBufSize) {
    ul_writelog(UL_LOG_WARNING, "[syn_load] numbers of %s/%s.n out of range", path, name);
    return false;
  }
  return true;
}

toolkit::UniqueFd OpenWordStore(const char* path, const char* name, int word_buf) {
  char file[256];
  toolkit::UniqueFd fd = toolkit::JoinPath(file, path, name, ".word") ? dict_internal::OpenRead(file) : toolkit::UniqueFd();
  struct stat st;
  if (fd.ok() && fstat(fd.get(), &st) == 0 && st.st_size >= static_cast<off_t>(word_buf) * dict_internal::kSynBufSize) {
    return fd;
  }
  if (fd.ok()) {
    ul_writelog(UL_LOG_WARNING, "[syn_load] %s holds less than %d blocks", file, word_buf);
  }
  return toolkit::UniqueFd();
}

bool WordsInStore(const Sdict_snode* words, int n, int word_buf) {
  for (int i = 0; i < n; ++i) {
    const u_int block = words[i].other >> 19;
    const u_int off = words[i].other & (dict_internal::kSynBufSize - 1);
    if (words[i].code < 0 || block >= static_cast<u_int>(word_buf) ||
        off + static_cast<u_int>(words[i].code) >= dict_internal::kSynBufSize) {
      return false;
    }
  }
  return true;
}

}  // namespace dict_internal

namespace {

// The word store of a build-side dictionary, checked against its words.
bool WordsOfBuildInStore(Sdict_build* words, int word_buf) {
  bool ok = true;
  dict_internal::ForEachUsedNode(words, [&](const Sdict_bnode& n) {
    const Sdict_snode s{n.sign1, n.sign2, n.code, n.other};
    if (n.code >= 0 && !dict_internal::WordsInStore(&s, 1, word_buf)) ok = false;
  });
  return ok;
}

struct SynDeleter {
  void operator()(Sdict_build_syn* s) const { db_syn_del(s); }
};

}  // namespace

int db_syn_save(Sdict_build_syn* syn, const char* path, const char* name) {
  const size_t hn = static_cast<size_t>(syn->hash_num);
  std::vector<u_int> starts, counts;
  try {
    starts.assign(hn, 0);
    counts.assign(hn, 0);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (!dict_internal::WriteNumbers(path, name, {{"hash_num", syn->hash_num},
                                                {"node_num", syn->node_num},
                                                {"word_buf", syn->nrbufblock},
                                                {"cur_buf", syn->cur_buf}})) {
    return -3;
  }
  const std::string word_name = std::string(name) + ".word";
  db_adjust(syn->pdword);
  if (db_save(syn->pdword, path, word_name.c_str()) != 1) return -3;
  char file[256];
  dict_internal::OutFile words;
  if (!toolkit::JoinPath(file, path, word_name) || !words.Create(file)) return -3;
  for (const Sdict_syn_buf_block* b = syn->bufblock; b != nullptr; b = b->next) {
    words.Write(b->buf, dict_internal::kSynBufSize);
  }
  if (!words.Commit()) return -3;

  dict_internal::OutFile ind2;
  if (!toolkit::JoinPath(file, path, name, ".ind2") || !ind2.Create(file)) return -3;
  Sdict_syn_snode buf[kPiece];
  size_t used = 0;
  u_int written = 0;
  for (size_t b = 0; b < hn; ++b) {
    starts[b] = written;
    for (const Sdict_syn_bnode* p = syn->hash[b].pnode; p != nullptr; p = p->next) {
      buf[used++] = Sdict_syn_snode{p->sign1, p->sign2, p->sign3, p->sign4};
      if (used == kPiece) {
        ind2.Write(buf, sizeof(buf));
        used = 0;
      }
      ++written;
      if (++counts[b] > kCrowdedBucket) {
        ul_writelog(UL_LOG_WARNING, "[db_save] too many items in one hash entry");
      }
    }
  }
  ind2.Write(buf, used * sizeof(buf[0]));
  if (!ind2.Commit()) return -3;
  dict_internal::OutFile ind1;
  if (!toolkit::JoinPath(file, path, name, ".ind1") || !ind1.Create(file) ||
      !ind1.Write(starts.data(), hn * sizeof(u_int)) ||
      !ind1.Write(counts.data(), hn * sizeof(u_int)) || !ind1.Commit()) {
    return -3;
  }
  if (written != static_cast<u_int>(syn->node_num)) {
    ul_writelog(UL_LOG_WARNING, "[db_syn_save] node_num error");
    return -1;
  }
  return 1;
}

Sdict_build_syn* db_syn_load(const char* path, const char* name, int hash_num) {
  dict_internal::SynNumbers nums;
  nums.hash_num = hash_num;
  if (!dict_internal::ReadSynNumbers(path, name, hash_num < 1, true, &nums)) return nullptr;
  toolkit::UniqueFd store = dict_internal::OpenWordStore(path, name, nums.word_buf);
  char file[256];
  toolkit::UniqueFd pairs = toolkit::JoinPath(file, path, name, ".ind2") ? dict_internal::OpenRead(file) : toolkit::UniqueFd();
  if (!store.ok() || !pairs.ok()) return nullptr;
  const std::string word_name = std::string(name) + ".word";
  Sdict_build* words = db_load(path, word_name.c_str(), 0);
  if (words == nullptr) return nullptr;
  std::unique_ptr<Sdict_build_syn, SynDeleter> syn(db_syn_creat(nums.hash_num));
  if (!syn) {
    db_del(words);
    return nullptr;
  }
  db_del(syn->pdword);
  syn->pdword = words;
  syn->words = words->node_num;
  if (!WordsOfBuildInStore(words, nums.word_buf)) {
    ul_writelog(UL_LOG_WARNING, "[db_syn_load] words of %s/%s lie outside its word store", path, name);
    return nullptr;
  }
  // The first block exists already; the others follow it.
  for (int i = 0; i < nums.word_buf; ++i) {
    if (i > 0) {
      auto* b = dict_internal::NewBlock<Sdict_syn_buf_block>();
      if (b == nullptr) return nullptr;
      syn->cur_bufblock->next = b;
      syn->cur_bufblock = b;
    }
    if (!toolkit::ReadExact(store.get(), syn->cur_bufblock->buf, dict_internal::kSynBufSize, ul_read)) return nullptr;
  }
  syn->nrbufblock = nums.word_buf;
  syn->cur_buf = nums.cur_buf;
  // Records are added from the last to the first, so that every chain comes
  // back in its saved order (additions go to the chain head).
  struct stat st;
  if (fstat(pairs.get(), &st) != 0) return nullptr;
  const int64_t records = st.st_size / static_cast<off_t>(sizeof(Sdict_syn_snode));
  std::vector<Sdict_syn_snode> buf(kPiece);
  for (int64_t end = records; end > 0;) {
    const int64_t begin = end > static_cast<int64_t>(kPiece) ? end - static_cast<int64_t>(kPiece) : 0;
    const size_t n = static_cast<size_t>(end - begin);
    if (!toolkit::PreadExact(pairs.get(), buf.data(), n * sizeof(Sdict_syn_snode),
                             static_cast<off_t>(begin * 16))) {
      return nullptr;
    }
    for (size_t i = n; i-- > 0;) {
      if (db_syn_add_snode(syn.get(), &buf[i]) == -2) return nullptr;
    }
    end = begin;
  }
  if (records != nums.node_num) ul_writelog(UL_LOG_WARNING, "[db_syn_load] node_num error");
  return syn.release();
}
