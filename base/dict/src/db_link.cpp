// Posting-list dictionary: a build-side dictionary whose bucket t is term t
// and whose chain is the term's posting list in ascending document code.
// Counts become weights through a cube-root table; the savers write the
// lists as little-endian words (document code in the low 25 bits, weight in
// the high 7) with an index of one Sindex1 per term.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "db_internal.h"
#include "dict_out.h"
#include "link_internal.h"
#include "toolkit/path.h"
#include "ul_dict.h"
#include "ul_log.h"

using dict_internal::OutFile;

static_assert(sizeof(Sindex1) == 8, "Sindex1 is the 8-byte record of NAME.ind1");

namespace {

constexpr int kMaxSaved = 4096;        // postings per term of db_save_link
constexpr int kTermsPerFile = 100000;  // terms per posting file of db_save_link_search
constexpr int kSqrtMax = dict_internal::kLinkTableSize;
constexpr int kMinTop = 36;        // T[36] is the smallest divisor of a list
constexpr u_int kMaxWeight = 126;
constexpr size_t kWordsPerWrite = 4096;  // 16384-byte writes
constexpr u_int kCodeMask = 0x1FFFFFFu;
constexpr int kInStep = 16;  // lists walked side by side
constexpr int kGatherAhead = 32;  // nodes between a word's prefetch and its store

}  // namespace

// The saved words of every list in list order, gathered in one pass over the
// blocks while they held the lists in list order: term t's words are
// words[start[t], start[t + 1]). They stand for the lists only while the
// state's generation and node count are the ones noted here.
struct GatheredWords {
  dict_internal::UlArray<u_int> start;  // hash_num + 1 entries
  std::unique_ptr<u_int[]> words;
  uint64_t generation;
  int64_t nodes;
};

// What db_add_link notes of the lists it builds. Every node it makes goes
// into the list of its sign2, and nothing else adds, links or recodes a node
// while the state lives (every operation that could drops it). So while
// nodes equals the nodes taken from the blocks, the blocks hold exactly the
// lists' postings; when besides every node went to the end of its list, each
// list's postings lie in the blocks in list order.
struct ss_dict_link_state {
  struct Term {
    Sdict_bnode* last;  // the list's last posting, NULL when not known
    int last_code;      // its code, so that appending needs no load of it
    int count;          // nodes made for the term
  };
  dict_internal::UlArray<Term> terms;  // hash_num entries
  int64_t nodes = 0;                   // nodes made
  bool appended = true;                // every node made went to the end of its list
  // No node's other is above it: db_add_link raises it with the counts,
  // db_stand_link sets it to the largest weight, and what else may change an
  // other with the state alive (db_save_freq) only lowers it.
  u_int most = 0;
  // Counts the changes of the nodes made while the state lives that neither
  // make a node (nodes counts those) nor weigh the lists (db_stand_link
  // gathers anew): a count raised, frequencies cleared. With nodes, it tells
  // words gathered before a change from words gathered after it.
  uint64_t generation = 0;
  std::unique_ptr<GatheredWords> gathered;  // NULL when none was gathered
};

void dict_internal::DropLinkState(Sdict_build* pdb) {
  delete pdb->link_state;
  pdb->link_state = nullptr;
}

void dict_internal::LinkNodesChanged(Sdict_build* pdb) {
  if (pdb->link_state != nullptr) ++pdb->link_state->generation;
}

namespace {

using LinkState = ss_dict_link_state;

// The state of pdb, made on first use; NULL when memory is short (every
// list is then walked).
LinkState* StateOf(Sdict_build* pdb) {
  if (pdb->link_state != nullptr) return pdb->link_state;
  auto s = std::unique_ptr<LinkState>(new (std::nothrow) LinkState);
  if (s == nullptr) return nullptr;
  s->terms = dict_internal::Zeroed<LinkState::Term>(pdb->hash_num);
  if (s->terms == nullptr) return nullptr;
  pdb->link_state = s.release();
  return pdb->link_state;
}

// True when the blocks hold exactly the postings of the lists (see
// ss_dict_link_state), so that a pass over the blocks in order visits every
// posting once; with in_list_order, each list's postings in list order too.
bool BlocksHoldTheLists(const Sdict_build* pdb, bool in_list_order) {
  const LinkState* s = pdb->link_state;
  return s != nullptr && s->nodes == dict_internal::UsedNodes(pdb) && (s->appended || !in_list_order);
}

// Walks the lists of buckets[0, n) (n at most kInStep) side by side, one node
// of each live list in turn, calling visit(g, node) for the nodes of list g
// in chain order until it returns false or the list ends. A postings list is
// scattered over the node blocks in the order its documents came in, so one
// list alone waits on every load; walking several at once lets those loads
// overlap.
template <typename Visit>
void WalkInStep(const Sdict_bhash* buckets, int n, Visit visit) {
  Sdict_bnode* cur[kInStep];
  int list[kInStep];
  int live = 0;
  for (int g = 0; g < n; ++g) {
    if (buckets[g].pnode == nullptr) continue;
    cur[live] = buckets[g].pnode;
    list[live++] = g;
  }
  while (live > 0) {
    for (int i = 0; i < live;) {
      Sdict_bnode* p = cur[i];
      if (visit(list[i], p) && p->next != nullptr) {
        cur[i++] = p->next;
      } else {
        --live;
        cur[i] = cur[live];
        list[i] = list[live];
      }
    }
  }
}

// Gathers posting words and writes them kWordsPerWrite at a time; counts the
// words of the current file.
class PostingWriter {
 public:
  explicit PostingWriter(OutFile* out) : out_(out) {}
  void Add(u_int word) {
    buf_[used_++] = word;
    ++count_;
    if (used_ == kWordsPerWrite) Flush();
  }
  void Flush() {
    out_->Write(buf_, used_ * sizeof(u_int));
    used_ = 0;
  }
  int count() const { return count_; }

 private:
  OutFile* out_;
  u_int buf_[kWordsPerWrite];
  size_t used_ = 0;
  int count_ = 0;
};

u_int Word(const Sdict_bnode& n) { return (static_cast<u_int>(n.code) & kCodeMask) | (n.other << 25); }

// Gathers word_of(node) of every node into the saved order of the lists, in
// one pass over the blocks, which must hold the lists in list order
// (BlocksHoldTheLists(pdb, true)); word_of may change the node as well. The
// words are stamped with the state's generation and node count. NULL, with
// word_of not called, when memory is short.
template <typename WordOf>
std::unique_ptr<GatheredWords> GatherInNodeOrder(Sdict_build* pdb, WordOf word_of) {
  const LinkState& s = *pdb->link_state;
  if (s.nodes > static_cast<int64_t>(UINT32_MAX)) return nullptr;
  std::unique_ptr<GatheredWords> g(new (std::nothrow) GatheredWords);
  if (g == nullptr) return nullptr;
  g->start = dict_internal::Zeroed<u_int>(int64_t{pdb->hash_num} + 1);
  g->words.reset(new (std::nothrow) u_int[s.nodes > 0 ? static_cast<size_t>(s.nodes) : 1]);
  if (g->start == nullptr || g->words == nullptr) return nullptr;
  g->generation = s.generation;
  g->nodes = s.nodes;
  // next[t + 1] is where term t's next word goes: the term's start at
  // first, its end (the start of term t + 1) once every node is placed.
  u_int* next = g->start.get();
  u_int total = 0;
  for (int t = 0; t < pdb->hash_num; ++t) {
    next[t + 1] = total;
    total += static_cast<u_int>(s.terms[t].count);
  }
  u_int* words = g->words.get();
  // The words of a few lists lie in one line of words, so nearly every store
  // goes to a line not in the first-level cache; the line a node kGatherAhead
  // places on will store to is asked for first.
  dict_internal::ForEachUsedNodeLookingAhead(
      pdb, kGatherAhead, [&](const Sdict_bnode& n) { __builtin_prefetch(words + next[n.sign2 + 1], 1); },
      [&](Sdict_bnode& n) { words[next[n.sign2 + 1]++] = word_of(n); });
  return g;
}

// The saved words of the lists as they stand: those gathered by
// db_stand_link or an earlier save when nothing changed the nodes since,
// else gathered now (and kept for the next save) when the blocks hold the
// lists in list order. NULL when the lists must be walked.
const GatheredWords* CurrentWords(Sdict_build* pdb) {
  LinkState* s = pdb->link_state;
  if (s == nullptr) return nullptr;
  if (s->gathered != nullptr && s->gathered->generation == s->generation && s->gathered->nodes == s->nodes) {
    return s->gathered.get();
  }
  s->gathered.reset();
  if (BlocksHoldTheLists(pdb, true)) {
    s->gathered = GatherInNodeOrder(pdb, [](const Sdict_bnode& n) { return Word(n); });
  }
  return s->gathered.get();
}

// Writes the postings of terms [first, last) to one posting file, at most
// limit per term (limit < 0: all), then their index records (offsets from
// the start of that file) to index in one write once the posting file is in
// place. The words come from gathered when given, else from walking the
// lists. False when a file cannot be written or memory runs out (the
// unfinished posting file is then dropped).
bool WritePostingsOrThrow(const Sdict_build* pdb, int first, int last, int limit,
                          const GatheredWords* gathered, const char* file, OutFile* index) {
  OutFile out;
  if (!out.Create(file)) return false;
  std::vector<Sindex1> records;
  records.reserve(static_cast<size_t>(last - first));
  if (gathered != nullptr) {
    const u_int* start = gathered->start.get();
    const u_int* words = gathered->words.get();
    // Terms whose kept words lie back to back go out in one write: all of
    // them unless a list is cut at the limit.
    u_int run = start[first];
    u_int run_end = run;
    int off = 0;
    for (int t = first; t < last; ++t) {
      const u_int at = start[t];
      const u_int all = start[t + 1] - at;
      const u_int n = limit < 0 ? all : std::min(all, static_cast<u_int>(limit));
      records.push_back({off, static_cast<int>(n)});
      off += static_cast<int>(n);
      if (at != run_end) {
        out.Write(words + run, (run_end - run) * sizeof(u_int));
        run = at;
      }
      run_end = at + n;
    }
    if (run_end > run) out.Write(words + run, (run_end - run) * sizeof(u_int));
  } else {
    PostingWriter postings(&out);
    std::vector<u_int> words[kInStep];  // the step's lists, written in term order
    for (int t = first; t < last; t += kInStep) {
      const int n = std::min(kInStep, last - t);
      WalkInStep(pdb->hash + t, n, [&](int g, const Sdict_bnode* p) {
        words[g].push_back(Word(*p));
        return static_cast<int>(words[g].size()) != limit;
      });
      for (int g = 0; g < n; ++g) {
        const Sindex1 rec{postings.count(), static_cast<int>(words[g].size())};
        for (u_int w : words[g]) postings.Add(w);
        records.push_back(rec);
        words[g].clear();
      }
    }
    postings.Flush();
  }
  // The posting file is complete before the index that points into it.
  return out.Commit() && index->Write(records.data(), records.size() * sizeof(Sindex1));
}

bool WritePostings(const Sdict_build* pdb, int first, int last, int limit, const GatheredWords* gathered,
                   const char* file, OutFile* index) {
  try {
    return WritePostingsOrThrow(pdb, first, last, limit, gathered, file, index);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// The list index of a count in the weight table, logged when the table is
// too short for it.
u_int TableIndex(u_int count, bool log) {
  const u_int i = count / 10 + 1;
  if (i <= kSqrtMax - 1) return i;
  if (log) ul_writelog(UL_LOG_NOTICE, "Enlarge MAX_SQRT_MAX (%d)", kSqrtMax);
  return kSqrtMax - 1;
}

// Applies weigh to every node in one pass over the blocks; when they hold
// the lists in list order, the weighed lists' saved words are gathered on the
// way, for the savers.
template <typename Weigh>
void WeighInNodeOrder(Sdict_build* pdb, Weigh weigh) {
  LinkState* s = pdb->link_state;
  if (BlocksHoldTheLists(pdb, true)) {
    s->gathered = GatherInNodeOrder(pdb, [&](Sdict_bnode& n) {
      weigh(n);
      return Word(n);
    });
    if (s->gathered != nullptr) return;
  }
  dict_internal::ForEachUsedNode(pdb, weigh);
}

// db_stand_link over the blocks, which hold exactly the lists' postings. When
// no count reaches past T[kMinTop], every list divides by T[kMinTop] and one
// pass does; otherwise each list's largest table value is found first. False
// (nothing changed) when memory is short.
bool StandInNodeOrder(Sdict_build* pdb, const u_int* table) {
  if (pdb->link_state->most / 10 + 1 <= kMinTop) {
    u_int weight[kMinTop + 1];
    for (int i = 0; i <= kMinTop; ++i) weight[i] = table[i] * kMaxWeight / table[kMinTop];
    WeighInNodeOrder(pdb, [&](Sdict_bnode& n) {
      n.other = weight[std::min<u_int>(n.other / 10 + 1, kMinTop)];  // within the table whatever the count
    });
    return true;
  }
  std::vector<u_int> top;
  try {
    top.assign(static_cast<size_t>(pdb->hash_num), table[kMinTop]);
  } catch (const std::bad_alloc&) {
    return false;
  }
  dict_internal::ForEachUsedNode(pdb, [&](const Sdict_bnode& n) {
    top[n.sign2] = std::max(top[n.sign2], table[TableIndex(n.other, true)]);
  });
  WeighInNodeOrder(pdb, [&](Sdict_bnode& n) {
    n.other = table[TableIndex(n.other, false)] * kMaxWeight / top[n.sign2];
  });
  return true;
}

// db_stand_link by walking 16 lists side by side.
void StandByWalking(Sdict_build* pdb, const u_int* table) {
  u_int top[kInStep];
  for (int t = 0; t < pdb->hash_num; t += kInStep) {
    const int n = std::min(kInStep, pdb->hash_num - t);
    std::fill(top, top + n, table[kMinTop]);
    WalkInStep(pdb->hash + t, n, [&](int g, Sdict_bnode* p) {
      p->other = table[TableIndex(p->other, true)];
      if (p->other > top[g]) top[g] = p->other;
      return true;
    });
    WalkInStep(pdb->hash + t, n, [&](int g, Sdict_bnode* p) {
      p->other = p->other * kMaxWeight / top[g];
      return true;
    });
  }
}

}  // namespace

const u_int* dict_internal::LinkWeightTable() {
  static const std::vector<u_int> table = [] {
    std::vector<u_int> t(kSqrtMax);
    t[0] = 0;
    for (int j = 0; j + 1 < kSqrtMax; ++j) {
      const uint64_t v = t[j];
      t[j + 1] = v * v * v < 625ull * static_cast<uint64_t>(j + 1) ? t[j] + 1 : t[j];
    }
    return t;
  }();
  return table.data();
}

namespace {

// db_add_link in every case but the one db_add_link handles itself.
__attribute__((noinline)) int AddLinkSlow(Sdict_build* pdb, Sdict_snode* rec) {
  const u_int term = rec->sign2;
  if (term >= static_cast<u_int>(pdb->hash_num)) {
    ul_writelog(UL_LOG_WARNING, "[db_add_link] term_code(%d ) > max_code (%d)",
                static_cast<int>(term), pdb->hash_num);
    return -1;
  }
  LinkState* state = StateOf(pdb);
  LinkState::Term* noted = state != nullptr ? &state->terms[term] : nullptr;
  // The first posting whose code is not below the document's, and the link
  // to it. Appending reads nothing of the last posting: its next is NULL.
  Sdict_bnode** link;
  Sdict_bnode* next = nullptr;
  if (noted != nullptr && noted->last != nullptr && noted->last_code <= rec->code) {
    if (noted->last_code == rec->code) {
      ++state->generation;
      state->most = std::max(state->most, ++noted->last->other);
      return 1;
    }
    link = &noted->last->next;
  } else {
    link = &pdb->hash[term].pnode;
    while (*link != nullptr && (*link)->code < rec->code) link = &(*link)->next;
    next = *link;
    if (next != nullptr && next->code == rec->code) {
      ++next->other;
      if (state != nullptr) {
        ++state->generation;
        state->most = std::max(state->most, next->other);
      }
      return 1;
    }
  }
  Sdict_bnode* n = dict_internal::FreeNode(pdb);
  if (n == nullptr) return -2;
  n->sign1 = rec->sign1;
  n->sign2 = term;
  n->code = rec->code;
  n->other = rec->other;
  // A node never taken is all zero (blocks come zero-filled and renewal
  // zeroes the nodes it frees), so an appended node's next is NULL already.
  if (next != nullptr) n->next = next;
  *link = n;
  if (state != nullptr) {
    ++state->nodes;
    ++noted->count;
    state->most = std::max(state->most, n->other);
    if (next != nullptr) {
      state->appended = false;
    } else {
      noted->last = n;
      noted->last_code = n->code;
    }
  }
  return dict_internal::NodeTaken(pdb);
}

}  // namespace

// The term's list is kept in ascending code with its last posting noted, so
// that a document above every code already listed (the usual case: an
// indexer adds documents in increasing order) is appended in constant time;
// any other document walks the list from its head. Without the state
// (memory short), every insert walks.
//
// Appending to a list whose last posting is noted, with a free node left in
// the block after this one, is done here with no call and few registers (it
// is nearly every posting an indexer adds); everything else, including the
// block rule, is AddLinkSlow's.
int db_add_link(Sdict_build* pdb, Sdict_snode* rec) {
  LinkState* state = pdb->link_state;
  const u_int term = rec->sign2;
  if (state == nullptr || term >= static_cast<u_int>(pdb->hash_num) || pdb->node_avail <= 1) {
    return AddLinkSlow(pdb, rec);
  }
  LinkState::Term& noted = state->terms[term];
  Sdict_bnode* last = noted.last;
  const int code = rec->code;
  if (last == nullptr || noted.last_code >= code) return AddLinkSlow(pdb, rec);
  // The record is read field by field: callers fill it field by field just
  // before the call, and a load spanning two of those stores cannot take its
  // bytes from them; it waits until both are written to the cache. (Without
  // the empty asm the compiler reads sign1 and sign2 as one 8-byte word.)
  u_int sign1 = rec->sign1;
  asm("" : "+r"(sign1));
  const u_int other = rec->other;
  Sdict_bnode* n = pdb->cur_node;
  n->sign1 = sign1;
  n->sign2 = term;
  n->code = code;
  n->other = other;
  // A node never taken is all zero, so its next is NULL already.
  last->next = n;
  noted.last = n;
  noted.last_code = code;
  ++noted.count;
  ++state->nodes;
  state->most = std::max(state->most, other);
  --pdb->node_avail;
  ++pdb->cur_node;
  ++pdb->node_num;
  return 1;
}

int db_stand_link(Sdict_build* pdb) {
  const u_int* table = dict_internal::LinkWeightTable();
  // Words gathered before stand for the counts: dropped, and gathered again
  // as the nodes are weighed when they can be.
  if (pdb->link_state != nullptr) pdb->link_state->gathered.reset();
  if (!BlocksHoldTheLists(pdb, false) || !StandInNodeOrder(pdb, table)) StandByWalking(pdb, table);
  // Every other is a weight now.
  if (pdb->link_state != nullptr) pdb->link_state->most = kMaxWeight;
  return 1;
}


int db_save_link(Sdict_build* pdb, const char* path, const char* fname) {
  char ind1[256], ind2[256];
  if (!toolkit::JoinPath(ind1, path, fname, ".ind1") ||
      !toolkit::JoinPath(ind2, path, fname, ".ind2") ||
      !dict_internal::WriteNumbers(path, fname, {{"term_num", pdb->hash_num}})) {
    return -2;
  }
  const GatheredWords* gathered = CurrentWords(pdb);
  OutFile index;
  if (!index.Create(ind1) ||
      !WritePostings(pdb, 0, pdb->hash_num, kMaxSaved, gathered, ind2, &index) ||
      !index.Commit()) {
    return -2;
  }
  return 1;
}

int db_save_link_search(Sdict_build* pdb, const char* path, const char* fname) {
  const int terms = pdb->hash_num;  // at least 1
  const int files = (terms - 1) / kTermsPerFile + 1;
  char ind1[256];
  if (!toolkit::JoinPath(ind1, path, fname, ".ind1") ||
      !dict_internal::WriteNumbers(path, fname, {{"term_num", terms}, {"file_num", files}})) {
    return -2;
  }
  const GatheredWords* gathered = CurrentWords(pdb);
  OutFile index;
  if (!index.Create(ind1)) return -2;
  for (int f = 0; f < files; ++f) {
    char file[256];
    const int first = f * kTermsPerFile;
    const int last = std::min(first + kTermsPerFile, terms);
    if (!toolkit::JoinPath(file, path, fname, ".ind2." + std::to_string(f)) ||
        !WritePostings(pdb, first, last, -1, gathered, file, &index)) {
      return -2;
    }
  }
  return index.Commit() ? 1 : -2;
}
