// Synonym dictionary, build side: pairs (word, synonym) keyed by the word's
// signature in a chained hash table whose nodes come from blocks, as in the
// build-side signature dictionary; the texts live once each in a store of
// dict_internal::kSynBufSize-byte blocks, found through a dictionary of words (code =
// length, other = location = (block << 19) + offset).
#include <cstdio>
#include <cstring>

#include "db_internal.h"
#include "syn_internal.h"
#include "toolkit/file.h"
#include "ul_dict.h"
#include "ul_func.h"
#include "ul_log.h"

using dict_internal::Bucket;

namespace {

constexpr int kLineSize = 4098;  // fgets buffer of a source line

// Stores word unless present and gives its signature. 1 present, 0 stored,
// -1 longer than a block takes, -2 out of memory.
int AddWord(Sdict_build_syn* syn, const char* word, u_int* sign1, u_int* sign2) {
  const size_t len = std::strlen(word);
  dict_internal::SynSign(word, len, sign1, sign2);
  // A word and its NUL never cross a block end; one that cannot fit even an
  // empty block is refused.
  if (len >= dict_internal::kSynBufSize - 1) {
    ul_writelog(UL_LOG_WARNING, "[db_syn_add_word] word length (%zu) >= %d", len, dict_internal::kSynBufSize - 1);
    return -1;
  }
  Sdict_snode n{*sign1, *sign2, -1, 0};
  if (db_op1(syn->pdword, &n, SEEK) == 1) return 1;
  if (static_cast<size_t>(syn->cur_buf) + len >= dict_internal::kSynBufSize - 1) {
    auto* b = dict_internal::NewBlock<Sdict_syn_buf_block>();
    if (b == nullptr) return -2;
    syn->cur_bufblock->next = b;
    syn->cur_bufblock = b;
    ++syn->nrbufblock;
    syn->cur_buf = 0;
  }
  std::memcpy(syn->cur_bufblock->buf + syn->cur_buf, word, len + 1);
  n.code = static_cast<int>(len);
  n.other = static_cast<u_int>(syn->cur_buf) + (static_cast<u_int>(syn->nrbufblock - 1) << 19);
  if (db_op1(syn->pdword, &n, ADD) < 0) return -2;
  syn->cur_buf += static_cast<int>(len) + 1;
  ++syn->words;
  return 0;
}

// Splits a source line in place into items separated by '|' (the line ends
// at LF, CR or NUL); returns their number. An empty item between separators
// counts; a trailing '|' adds none; splitting stops at the separator after
// dict_internal::kSynMaxSeparators. Items longer than dict_internal::kSynMaxItem bytes are dropped.
int SplitLine(char* line, char** items) {
  int n = 0, seps = 0;
  char* start = line;
  char* p = line;
  bool cut = false;
  auto take = [&](char* end) {
    *end = '\0';
    const size_t len = static_cast<size_t>(end - start);
    if (len > dict_internal::kSynMaxItem) {
      ul_writelog(UL_LOG_WARNING, "[db_syn_construct] synonym length (%zu) > %d, skipped", len,
                  dict_internal::kSynMaxItem);
    } else {
      items[n++] = start;
    }
  };
  for (; *p != '\0' && *p != '\n' && *p != '\r'; ++p) {
    if (*p != '|') continue;
    if (seps == dict_internal::kSynMaxSeparators) {
      ul_writelog(UL_LOG_WARNING, "number of synonyms > 1024");
      cut = true;
      break;
    }
    take(p);
    ++seps;
    start = p + 1;
  }
  if (cut || p > start) take(p);
  return n;
}

// Which pairs a group of items gives.
enum class Pairs { kAll, kStar, kChain, kStarOneWay };

// Adds the pairs of one group; false when memory runs out.
bool AddGroup(Sdict_build_syn* syn, char** items, int n, Pairs pairs) {
  auto add = [&](int a, int b) { return db_syn_add(syn, items[a], items[b]) != -2; };
  switch (pairs) {
    case Pairs::kAll:
      for (int a = 0; a < n; ++a) {
        for (int b = a + 1; b < n; ++b) {
          if (!add(a, b) || !add(b, a)) return false;
        }
      }
      break;
    case Pairs::kStar:
      for (int k = 1; k < n; ++k) {
        if (!add(0, k) || !add(k, 0)) return false;
      }
      break;
    case Pairs::kChain:
      for (int k = 0; k + 1 < n; ++k) {
        if (!add(k, k + 1)) return false;
      }
      break;
    case Pairs::kStarOneWay:
      for (int k = 1; k < n; ++k) {
        if (!add(0, k)) return false;
      }
      break;
  }
  return true;
}

Sdict_build_syn* Construct(const char* file, int hash_num, bool known_mode, Pairs pairs) {
  Sdict_build_syn* syn = db_syn_creat(hash_num);
  if (syn == nullptr) {
    ul_writelog(UL_LOG_FATAL, "create synonym dict failed");
    return nullptr;
  }
  toolkit::UniqueFile fp = toolkit::OpenStreamForReading(file);
  if (!fp.ok()) {
    ul_writelog(UL_LOG_FATAL, "open %s failed", file);
    db_syn_del(syn);
    return nullptr;
  }
  if (!known_mode) return syn;
  char line[kLineSize];
  char* items[dict_internal::kSynMaxSeparators + 1];
  while (std::fgets(line, sizeof(line), fp.get()) != nullptr) {
    if (!AddGroup(syn, items, SplitLine(line, items), pairs)) {
      ul_writelog(UL_LOG_FATAL, "create synonym dict failed");
      db_syn_del(syn);
      return nullptr;
    }
  }
  return syn;
}

}  // namespace

Sdict_build_syn* db_syn_creat(int hash_num) {
  if (hash_num < 1) return nullptr;
  auto* syn = static_cast<Sdict_build_syn*>(ul_calloc(1, sizeof(Sdict_build_syn)));
  if (syn == nullptr) return nullptr;
  syn->hash = static_cast<Sdict_syn_bhash*>(
      ul_calloc(static_cast<size_t>(hash_num), sizeof(Sdict_syn_bhash)));
  syn->pdword = db_creat(hash_num, 0);
  syn->nblock = dict_internal::NewBlock<Sdict_syn_bnode_block>();
  syn->bufblock = dict_internal::NewBlock<Sdict_syn_buf_block>();
  if (syn->hash == nullptr || syn->pdword == nullptr || syn->nblock == nullptr ||
      syn->bufblock == nullptr) {
    db_syn_del(syn);
    return nullptr;
  }
  syn->hash_num = hash_num;
  syn->cur_nblock = syn->nblock;
  syn->cur_node = syn->nblock->nodes;
  syn->node_avail = dict_internal::kSynBlockNodes;
  syn->cur_bufblock = syn->bufblock;
  syn->nrbufblock = 1;
  syn->cur_buf = 0;
  return syn;
}

int db_syn_del(Sdict_build_syn* syn) {
  if (syn == nullptr) return 1;
  dict_internal::FreeBlocks(syn->nblock);
  dict_internal::FreeBlocks(syn->bufblock);
  db_del(syn->pdword);
  ul_free(syn->hash);
  ul_free(syn);
  return 1;
}

int db_syn_adjust(Sdict_build_syn* syn) { return dict_internal::Rehash(syn); }

int db_syn_add_word(Sdict_build_syn* syn, const char* word) {
  u_int s1, s2;
  return AddWord(syn, word, &s1, &s2);
}

int db_syn_add(Sdict_build_syn* syn, const char* word, const char* synonym) {
  Sdict_syn_snode pair;
  int r = AddWord(syn, word, &pair.sign1, &pair.sign2);
  if (r >= 0) r = AddWord(syn, synonym, &pair.sign3, &pair.sign4);
  if (r < 0) return r;
  return db_syn_add_snode(syn, &pair);
}

int db_syn_add_snode(Sdict_build_syn* syn, Sdict_syn_snode* pair) {
  Sdict_syn_bhash& head = syn->hash[Bucket(pair->sign1, pair->sign2, syn->hash_num)];
  for (const Sdict_syn_bnode* p = head.pnode; p != nullptr; p = p->next) {
    if (p->sign1 == pair->sign1 && p->sign2 == pair->sign2 && p->sign3 == pair->sign3 &&
        p->sign4 == pair->sign4) {
      return 1;
    }
  }
  Sdict_syn_bnode* n = dict_internal::FreeNode(syn);
  if (n == nullptr) return -2;
  n->sign1 = pair->sign1;
  n->sign2 = pair->sign2;
  n->sign3 = pair->sign3;
  n->sign4 = pair->sign4;
  n->next = head.pnode;
  head.pnode = n;
  return dict_internal::NodeTaken(syn) < 0 ? -2 : 0;
}

Sdict_build_syn* db_syn_construct(const char* file, int hash_num, int mode) {
  return Construct(file, hash_num, mode == 0 || mode == 1, mode == 0 ? Pairs::kAll : Pairs::kStar);
}

Sdict_build_syn* db_syn_construct_unidirect(const char* file, int hash_num, int mode) {
  return Construct(file, hash_num, mode == 0 || mode == 1,
                   mode == 0 ? Pairs::kChain : Pairs::kStarOneWay);
}

int db_syn_seek(Sdict_build_syn* syn, const char* word, char* out, int size) {
  u_int s1, s2;
  dict_internal::SynSign(word, std::strlen(word), &s1, &s2);
  dict_internal::SynOut sink(out, size);
  for (const Sdict_syn_bnode* p = syn->hash[Bucket(s1, s2, syn->hash_num)].pnode; p != nullptr;
       p = p->next) {
    if (p->sign1 != s1 || p->sign2 != s2) continue;
    Sdict_snode w{p->sign3, p->sign4, -1, 0};
    if (db_op1(syn->pdword, &w, SEEK) != 1) continue;
    const u_int block = w.other >> 19;
    const u_int off = w.other & (dict_internal::kSynBufSize - 1);
    const Sdict_syn_buf_block* b = syn->bufblock;
    for (u_int i = 0; b != nullptr && i < block; ++i) b = b->next;
    if (b == nullptr || w.code < 0 || off + static_cast<u_int>(w.code) >= dict_internal::kSynBufSize) return -1;
    if (!sink.Add(b->buf + off, static_cast<size_t>(w.code))) break;
  }
  return sink.count();
}
