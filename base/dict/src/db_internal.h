// Helpers shared by the build-side and search-side dictionaries, and the
// node-block rule shared by every build-side dictionary kind.
#ifndef DICT_SRC_DB_INTERNAL_H_
#define DICT_SRC_DB_INTERNAL_H_

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "ul_dict.h"
#include "ul_func.h"

namespace dict_internal {

// Bucket of a signature: (sign1 + sign2) with 32-bit wrap, modulo the count.
inline u_int Bucket(u_int sign1, u_int sign2, int hash_num) {
  return (sign1 + sign2) % static_cast<u_int>(hash_num);
}

// Forgets what db_add_link noted of the posting lists (after any other change
// of the nodes): the next db_add_link of a term walks its list to find its
// end again, and the lists are weighted and saved by walking them.
void DropLinkState(Sdict_build* pdb);

// Notes a change of the nodes that keeps what db_add_link noted of the lists
// (frequencies cleared): the posting words db_stand_link gathered no longer
// stand for the lists, and the savers gather or walk them again.
void LinkNodesChanged(Sdict_build* pdb);

// True for a search dictionary made by ds_load_mmap: its pages are
// read-only, so nothing may write its records.
bool IsMapped(const Sdict_search* sd);

// Arrays from ul_calloc, released with ul_free.
struct FreeDeleter {
  void operator()(void* p) const { ul_free(p); }
};
template <typename T>
using UlArray = std::unique_ptr<T[], FreeDeleter>;

// n zeroed entries (at least one, so that an empty array is no failure);
// empty when memory runs out.
template <typename T>
UlArray<T> Zeroed(int64_t n) {
  const size_t count = n > 0 ? static_cast<size_t>(n) : 1;
  return UlArray<T>(static_cast<T*>(ul_calloc(count, sizeof(T))));
}

// Memory of a large node block (size bytes, zero-filled), mapped on its own
// so that it goes back to the system whole when freed, with huge pages asked
// for: nodes are taken from a block in order and passes go over whole
// blocks, and on small pages most of the time of filling and walking a large
// dictionary goes to page faults and TLB misses. A block added to a
// dictionary that filled one (added) is 2 MiB-aligned and huge throughout;
// the first block of a dictionary past its first kSmallDictionary bytes,
// which end on a 2 MiB boundary: a small dictionary stays on small pages and
// takes no more address space than its block, a larger one pays for no more
// than those few small pages. nullptr (logged) when it cannot be mapped.
void* MapBlock(size_t size, bool added);
void UnmapBlock(void* block, size_t size);

// The part of a first mapped block on small pages.
constexpr size_t kSmallDictionary = size_t{256} << 10;

// Blocks of at least this size are mapped; smaller ones come from ul_calloc.
constexpr size_t kMappedBlock = size_t{4} << 20;

// A zero-filled block of the given type, or nullptr.
template <typename Block>
Block* NewBlock(bool added = false) {
  if (sizeof(Block) >= kMappedBlock) return static_cast<Block*>(MapBlock(sizeof(Block), added));
  return static_cast<Block*>(ul_calloc(1, sizeof(Block)));
}

// Frees a chain of blocks linked through next.
template <typename Block>
void FreeBlocks(Block* b) {
  while (b != nullptr) {
    Block* next = b->next;
    if (sizeof(Block) >= kMappedBlock) {
      UnmapBlock(b, sizeof(Block));
    } else {
      ul_free(b);
    }
    b = next;
  }
}

// The block rule of the build-side dictionaries (fields nblock, cur_nblock,
// cur_node, node_avail, node_num): nodes are taken in order from zero-filled
// blocks, and the next block is allocated as soon as one fills.
//
// Makes cur_node usable after a failed block allocation left the last block
// full. Returns false when memory is still short.
template <typename Dict>
bool EnsureRoom(Dict* d) {
  if (d->node_avail > 0) return true;
  using Block = std::remove_pointer_t<decltype(d->cur_nblock)>;
  Block* b = NewBlock<Block>(true);
  if (b == nullptr) return false;
  d->cur_nblock->next = b;
  d->cur_nblock = b;
  d->cur_node = b->nodes;
  d->node_avail = static_cast<int>(sizeof(b->nodes) / sizeof(b->nodes[0]));
  return true;
}

// The next free node, for the caller to fill and link before NodeTaken;
// nullptr when no block can be allocated.
template <typename Dict>
auto FreeNode(Dict* d) -> decltype(d->cur_node) {
  return EnsureRoom(d) ? d->cur_node : nullptr;
}

// Counts the node FreeNode gave once it is linked. When it filled its block
// the next block is allocated at once; if that fails the node stays linked
// (findable) but uncounted and -2 is returned. Otherwise 1.
template <typename Dict>
int NodeTaken(Dict* d) {
  --d->node_avail;
  if (d->node_avail > 0) {
    ++d->cur_node;
  } else {
    d->cur_node = nullptr;
    if (!EnsureRoom(d)) return -2;
  }
  ++d->node_num;
  return 1;
}

// Calls fn(node) for every node taken from the blocks, in block (insertion)
// order, deleted ones included.
template <typename Dict, typename Fn>
void ForEachUsedNode(Dict* d, Fn fn) {
  for (auto* b = d->nblock; b != nullptr; b = b->next) {
    const int per_block = static_cast<int>(sizeof(b->nodes) / sizeof(b->nodes[0]));
    const int used = b == d->cur_nblock ? per_block - d->node_avail : per_block;
    for (int i = 0; i < used; ++i) fn(b->nodes[i]);
  }
}

// ForEachUsedNode that also calls ahead(node) for the node `distance` places
// further on in the same block, before fn of the node: room to ask for what
// fn of that node will touch before it is needed.
template <typename Dict, typename Ahead, typename Fn>
void ForEachUsedNodeLookingAhead(Dict* d, int distance, Ahead ahead, Fn fn) {
  for (auto* b = d->nblock; b != nullptr; b = b->next) {
    const int per_block = static_cast<int>(sizeof(b->nodes) / sizeof(b->nodes[0]));
    const int used = b == d->cur_nblock ? per_block - d->node_avail : per_block;
    int i = 0;
    for (; i < used - distance; ++i) {
      ahead(b->nodes[i + distance]);
      fn(b->nodes[i]);
    }
    for (; i < used; ++i) fn(b->nodes[i]);
  }
}

// Nodes taken from the blocks, deleted ones included.
template <typename Dict>
int64_t UsedNodes(const Dict* d) {
  int64_t used = 0;
  for (auto* b = d->nblock; b != nullptr; b = b->next) {
    const int per_block = static_cast<int>(sizeof(b->nodes) / sizeof(b->nodes[0]));
    used += b == d->cur_nblock ? per_block - d->node_avail : per_block;
  }
  return used;
}

// Rehashes every node into node_num / 2 buckets, plus 1 when that is even.
// The new array is allocated before the old one is let go, so a failure (-2)
// leaves the dictionary as it was; 0 otherwise.
template <typename Dict>
int Rehash(Dict* d) {
  int hash_num = d->node_num / 2;
  if (hash_num % 2 == 0) ++hash_num;
  using Head = std::remove_pointer_t<decltype(d->hash)>;
  auto* hash = static_cast<Head*>(ul_calloc(static_cast<size_t>(hash_num), sizeof(Head)));
  if (hash == nullptr) return -2;
  ForEachUsedNode(d, [&](auto& n) {
    Head& head = hash[Bucket(n.sign1, n.sign2, hash_num)];
    n.next = head.pnode;
    head.pnode = &n;
  });
  ul_free(d->hash);
  d->hash = hash;
  d->hash_num = hash_num;
  return 0;
}

}  // namespace dict_internal

#endif  // DICT_SRC_DB_INTERNAL_H_
