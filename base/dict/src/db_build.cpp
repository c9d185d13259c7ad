// Build-side signature dictionary: a chained hash table whose nodes come from
// zero-filled blocks of DICT_BLOCK_NODES, so insertion never allocates per
// node and block order is insertion order.
#include <cstring>

#include "db_internal.h"
#include "ul_dict.h"
#include "ul_func.h"
#include "ul_log.h"

using dict_internal::Bucket;

namespace {

inline u_int Freq(u_int other) { return other & DICT_FREQ_MASK; }
inline u_int Weight(u_int other) { return other & DICT_WEIGHT_MASK; }

Sdict_bnode* Find(const Sdict_build* pdb, u_int sign1, u_int sign2) {
  for (Sdict_bnode* p = pdb->hash[Bucket(sign1, sign2, pdb->hash_num)].pnode; p != nullptr;
       p = p->next) {
    if (p->sign1 == sign1 && p->sign2 == sign2 && p->code >= 0) return p;
  }
  return nullptr;
}

// Takes the next free node, links it at the head of its chain and counts it
// (the block rule of db_internal.h).
int Insert(Sdict_build* pdb, u_int sign1, u_int sign2, int code, u_int other) {
  Sdict_bnode* n = dict_internal::FreeNode(pdb);
  if (n == nullptr) return -2;
  n->sign1 = sign1;
  n->sign2 = sign2;
  n->code = code;
  n->other = other;
  Sdict_bhash& head = pdb->hash[Bucket(sign1, sign2, pdb->hash_num)];
  n->next = head.pnode;
  head.pnode = n;
  return dict_internal::NodeTaken(pdb);
}

// ADD: a new key gets cur_code when its code is negative (frequency 1 when
// the operand carries none); a present key counts up its whole other word.
int OpAdd(Sdict_build* pdb, Sdict_snode* op, Sdict_bnode* found) {
  if (found != nullptr) {
    const u_int f = Freq(op->other);
    found->other += f != 0 ? f : 1;
    op->code = found->code;
    op->other = found->other;
    return 1;
  }
  if (op->code < 0) {
    op->code = pdb->cur_code;
    // A cur_code read from a file may stand at INT_MAX: wrap, never UB.
    pdb->cur_code = static_cast<int>(static_cast<u_int>(pdb->cur_code) + 1u);
    if (Freq(op->other) == 0) op->other = Weight(op->other) + 1;
  }
  return Insert(pdb, op->sign1, op->sign2, op->code, op->other);
}

// CLUSTER: a new key enters with weight 1; a present key gains weight (at
// most 127) and takes the operand's code and frequency when its whole other
// word exceeds the stored frequency.
int OpCluster(Sdict_build* pdb, Sdict_snode* op, Sdict_bnode* found) {
  if (found == nullptr) {
    op->other = Freq(op->other) | (1u << DICT_WEIGHT_SHIFT);
    return Insert(pdb, op->sign1, op->sign2, op->code, op->other);
  }
  u_int w = found->other >> DICT_WEIGHT_SHIFT;
  if (w < 127) ++w;
  u_int f = Freq(found->other);
  if (op->other > f) {
    found->code = op->code;
    f = Freq(op->other);
  }
  found->other = (w << DICT_WEIGHT_SHIFT) | f;
  return 1;
}

bool ValidOp(int op) { return op >= ADD && op <= MODC && op != SEEKP; }

}  // namespace

Sdict_build* db_creat(int hash_num, int now_code) {
  if (hash_num < 1) {
    ul_writelog(UL_LOG_WARNING, "[db_creat] hash_num (%d) must be at least 1", hash_num);
    return nullptr;
  }
  auto* pdb = static_cast<Sdict_build*>(ul_malloc(sizeof(Sdict_build)));
  if (pdb == nullptr) return nullptr;
  std::memset(pdb, 0, sizeof(*pdb));
  pdb->hash = static_cast<Sdict_bhash*>(ul_calloc(static_cast<size_t>(hash_num), sizeof(Sdict_bhash)));
  pdb->nblock = pdb->hash != nullptr ? dict_internal::NewBlock<Sdict_bnode_block>() : nullptr;
  if (pdb->nblock == nullptr) {
    ul_free(pdb->hash);
    ul_free(pdb);
    return nullptr;
  }
  pdb->hash_num = hash_num;
  pdb->cur_nblock = pdb->nblock;
  pdb->cur_node = pdb->nblock->nodes;
  pdb->node_avail = DICT_BLOCK_NODES;
  pdb->node_num = 0;
  pdb->cur_code = now_code;
  return pdb;
}

int db_op1(Sdict_build* pdb, Sdict_snode* op, Eop_method method) {
  if (!ValidOp(method)) {
    ul_writelog(UL_LOG_WARNING, "[db_op] op_method error");
    return -1;
  }
  if (method != SEEK) dict_internal::DropLinkState(pdb);
  Sdict_bnode* found = Find(pdb, op->sign1, op->sign2);
  switch (method) {
    case ADD:
      return OpAdd(pdb, op, found);
    case CLUSTER:
      return OpCluster(pdb, op, found);
    default:
      break;
  }
  if (found == nullptr) {
    op->code = -1;
    return 0;
  }
  switch (method) {
    case MOD:
      found->code = op->code;
      found->other = op->other;
      break;
    case SEEK:
      op->code = found->code;
      op->other = found->other;
      break;
    case DEL:
      op->code = found->code;
      found->code = -1;
      --pdb->node_num;
      break;
    case MODF:
      found->other = Weight(found->other) | Freq(op->other);
      break;
    case MODW:
      found->other = Weight(op->other) | Freq(found->other);
      break;
    case MODC:
      found->code = op->code;
      break;
    default:
      break;
  }
  return 1;
}

int db_opn(Sdict_build* pdb, Sdict_snode* nodes, int n, Eop_method method) {
  if (n < 1) return n;
  if (method != ADD && method != CLUSTER && method != MOD && method != SEEK && method != DEL) {
    ul_writelog(UL_LOG_WARNING, "[db_op] op_method error");
    return -1;
  }
  if (method != SEEK) dict_internal::DropLinkState(pdb);
  for (int i = 0; i < n; ++i) {
    Sdict_snode* op = &nodes[i];
    Sdict_bnode* found = Find(pdb, op->sign1, op->sign2);
    int r = 1;
    if (method == ADD) {
      r = OpAdd(pdb, op, found);
    } else if (method == CLUSTER) {
      r = OpCluster(pdb, op, found);
    } else if (found == nullptr) {
      op->code = -1;
    } else if (method == MOD) {
      found->code = op->code;
      found->other = op->other;
    } else if (method == SEEK) {
      op->code = found->code;
      op->other = found->other;
    } else {  // DEL
      found->code = -1;
      --pdb->node_num;
    }
    if (r == -2) return -2;
  }
  return n;
}

int db_del(Sdict_build* pdb) {
  if (pdb == nullptr) return 1;
  dict_internal::DropLinkState(pdb);
  dict_internal::FreeBlocks(pdb->nblock);
  ul_free(pdb->hash);
  ul_free(pdb);
  return 1;
}

namespace {

// Used nodes of the first block (all of them when further blocks exist).
int FirstBlockUsed(const Sdict_build* pdb) {
  if (pdb->nblock->next != nullptr || pdb->cur_nblock != pdb->nblock) return DICT_BLOCK_NODES;
  return DICT_BLOCK_NODES - pdb->node_avail;
}

// Frees further blocks and points the fill position at the first block.
void ResetBlocks(Sdict_build* pdb) {
  dict_internal::DropLinkState(pdb);
  dict_internal::FreeBlocks(pdb->nblock->next);
  pdb->nblock->next = nullptr;
  pdb->cur_nblock = pdb->nblock;
  pdb->cur_node = pdb->nblock->nodes;
  pdb->node_avail = DICT_BLOCK_NODES;
  pdb->node_num = 0;
  pdb->cur_code = 0;
}

}  // namespace

int db_renew(Sdict_build* pdb) {
  std::memset(pdb->hash, 0, sizeof(Sdict_bhash) * static_cast<size_t>(pdb->hash_num));
  std::memset(pdb->nblock->nodes, 0, sizeof(Sdict_bnode) * static_cast<size_t>(FirstBlockUsed(pdb)));
  ResetBlocks(pdb);
  return 1;
}

int db_renew_fast(Sdict_build* pdb) {
  if (pdb->nblock->next != nullptr) return db_renew(pdb);
  const int used = FirstBlockUsed(pdb);
  for (int i = 0; i < used; ++i) {
    const Sdict_bnode& n = pdb->nblock->nodes[i];
    pdb->hash[Bucket(n.sign1, n.sign2, pdb->hash_num)].pnode = nullptr;
  }
  std::memset(pdb->nblock->nodes, 0, sizeof(Sdict_bnode) * static_cast<size_t>(used));
  ResetBlocks(pdb);
  return 1;
}

int db_adjust(Sdict_build* pdb) {
  dict_internal::DropLinkState(pdb);  // the chains are rebuilt
  return dict_internal::Rehash(pdb);
}

int db_keylist(Sdict_build* pdb, Skeyweight* keys, int n) {
  int count = pdb->node_num;
  if (count > DICT_BLOCK_NODES) count = DICT_BLOCK_NODES;
  if (count > n) count = n;
  for (int i = 0; i < count; ++i) {
    const Sdict_bnode& node = pdb->nblock->nodes[i];
    keys[i].sign1 = node.sign1;
    keys[i].sign2 = node.sign2;
    keys[i].weight = static_cast<int>(node.other);
  }
  return count;
}

int db_cluster(Sdict_build* pdb, Spagecluster* pc) {
  const int num = pdb->node_num;
  pc->num = num;
  const size_t slots = num > 0 ? static_cast<size_t>(num) : 1;
  auto* pairs = static_cast<u_int*>(ul_malloc(slots * 2 * sizeof(u_int)));
  auto* rept = static_cast<int*>(ul_malloc(slots * sizeof(int)));
  if (pairs == nullptr || rept == nullptr) {
    ul_free(pairs);
    ul_free(rept);
    pc->index2 = nullptr;
    pc->rept = nullptr;
    return -2;
  }
  pc->index2 = pairs;
  pc->rept = rept;
  if (pdb->hash_num < 1) {
    if (num == 0) return 0;
    ul_writelog(UL_LOG_WARNING, "[db_cluster] creat key list num error");
    return -1;
  }
  int k = 0;
  for (int b = 0; b < pdb->hash_num; ++b) {
    for (const Sdict_bnode* p = pdb->hash[b].pnode; p != nullptr; p = p->next, ++k) {
      if (k >= num) continue;  // count on, never write past the arrays
      pairs[2 * k] = Freq(p->other);
      pairs[2 * k + 1] = static_cast<u_int>(p->code);
      rept[k] = static_cast<int>(p->other >> DICT_WEIGHT_SHIFT);
    }
  }
  if (k != num) {
    ul_writelog(UL_LOG_WARNING, "[db_cluster] creat key list num error");
    return -1;
  }
  return num;
}

// With no records the working dictionary still gets one bucket, so that the
// listing yields an empty cluster (num 0) rather than a refused creation.
int page_cluster(Sdict_snode* nodes, int n, Spagecluster* pc) {
  Sdict_build* pdb = db_creat(n > 0 ? n : 1, 0);
  if (pdb == nullptr) return -2;
  int r = n > 0 ? db_opn(pdb, nodes, n, CLUSTER) : 0;
  if (r >= 0) r = db_cluster(pdb, pc);
  db_del(pdb);
  return r < 0 ? r : pc->num;
}
