// String hash table: the built form, the search and the release of both forms.
#include "hash.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "hash_built.h"
#include "load_parts.h"
#include "pbdict_results.h"

namespace kavo {
namespace pbdict {

const uint32_t _prime_list[kPrimeListSize] = {
    53,     97,     193,    389,     769,     1543,    3079,    6151,     12289,    24593,
    49175,  98317,  196613, 393241,  786433,  1572869, 3145739, 6291469,  12582917, 25165843};

namespace {

// Jenkins' one-at-a-time hash: the step per byte and the final mix.
// h += c; h += h << 10 is (h + c) * 1025. The factor is hidden from the
// compiler, which would otherwise write the product as a copy, a shift and
// an add: one multiplication is fewer instructions, and a search, whose
// hash waits on the key it was handed, overlaps more searches in flight
// when each has fewer.
inline uint32_t Mix(uint32_t h, unsigned char c) {
  uint32_t factor = 1025;
  asm("" : "+r"(factor));
  h = (h + c) * factor;
  return h ^ (h >> 6);
}
inline uint32_t Finish(uint32_t h) {
  h += h << 3;
  h ^= h >> 11;
  return h + (h << 15);
}

// The hash of the first len bytes of a key, eight bytes a round.
inline uint32_t OneAtATime(const char* key, size_t len) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(key);
  uint32_t h = 0;
  size_t i = 0;
  for (; i + 8 <= len; i += 8) {
    h = Mix(h, p[i]);
    h = Mix(h, p[i + 1]);
    h = Mix(h, p[i + 2]);
    h = Mix(h, p[i + 3]);
    h = Mix(h, p[i + 4]);
    h = Mix(h, p[i + 5]);
    h = Mix(h, p[i + 6]);
    h = Mix(h, p[i + 7]);
  }
  for (; i < len; ++i) h = Mix(h, p[i]);
  return Finish(h);
}

// The same of a NUL-terminated key.
inline uint32_t OneAtATime(const char* key) { return OneAtATime(key, std::strlen(key)); }

// The length of a NUL-terminated key when it is at most `most` bytes, else
// some value above `most`. The key is read 16 aligned bytes at a time: an
// aligned block never crosses a page, so the bytes read past the NUL are
// never outside memory the key's own page maps (the technique of the C
// library's string functions). Those bytes may lie outside the key's
// allocation (or be written by another thread), hence no address or race
// checking here; nothing depends on them.
#if defined(__SSE2__)
__attribute__((no_sanitize("address", "thread")))
inline size_t KeyLength(const char* key, size_t most) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(key);
  const __m128i* block = reinterpret_cast<const __m128i*>(at & ~static_cast<uintptr_t>(15));
  const __m128i zero = _mm_setzero_si128();
  // Bits of the NULs in the first block, from the key's first byte on.
  uint32_t nuls = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(*block, zero))) >>
                  (at & 15);
  size_t len = 0;
  for (size_t seen = 16 - (at & 15); nuls == 0; seen += 16) {
    if (seen > most) return seen;
    len = seen;
    ++block;
    nuls = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(*block, zero)));
  }
  return len + static_cast<size_t>(__builtin_ctz(nuls));
}
#else
inline size_t KeyLength(const char* key, size_t most) { return strnlen(key, most + 1); }
#endif

// true when the n bytes at a and at b are equal; both must hold n bytes.
// Keys are short: whole words are compared inline, without a call.
inline bool SameBytes(const char* a, const char* b, size_t n) {
  if (n >= 8) {
    uint64_t x, y;
    for (size_t i = 0; i + 8 < n; i += 8) {
      std::memcpy(&x, a + i, 8);
      std::memcpy(&y, b + i, 8);
      if (x != y) return false;
    }
    // The last word overlaps the one before it.
    std::memcpy(&x, a + n - 8, 8);
    std::memcpy(&y, b + n - 8, 8);
    return x == y;
  }
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// The built form keeps its nodes in blocks: each key takes one record,
//   hash_node_t | uint64 tag (full hash, key length) | key bytes and NUL
// cut from the newest block, and the release frees the blocks whole. The
// stored hash spares a growth the rehashing of every key; with the length
// it settles a search's mismatches without touching the key, and the key's
// place follows from the node's, so both are fetched at once.
struct NodeBlock {
  NodeBlock* prev;  // the block filled before this one
  size_t used;
  size_t capacity;
  // The records follow, 8-byte aligned.
};

constexpr size_t kFirstBlock = 4096;
constexpr size_t kLargestBlock = 16 << 20;

// A zeroed bucket array of `capacity` heads, or null. Large arrays, like
// large node blocks, are asked for large pages: a search reads a bucket and
// a node at random places of arrays far larger than the caches, and with
// 4 KB pages each read would also miss the address translation cache.
hash_node_t** NewBuckets(uint32_t capacity) {
  hash_node_t** table = static_cast<hash_node_t**>(std::calloc(capacity, sizeof(hash_node_t*)));
  AdviseLargePages(table, static_cast<size_t>(capacity) * sizeof(hash_node_t*));
  return table;
}

// A table made by hash_init_table: the public record first, then the blocks
// of its nodes (null until the first key) and the bucket of a hash for the
// current capacity without a division.
struct BuiltTable {
  hash_table_t table;
  NodeBlock* blocks;
  BucketDivisor divisor;
};

BuiltTable* AsBuilt(hash_table_t* ht) { return reinterpret_cast<BuiltTable*>(ht); }
const BuiltTable* AsBuilt(const hash_table_t* ht) {
  return reinterpret_cast<const BuiltTable*>(ht);
}

char* BlockData(NodeBlock* b) { return reinterpret_cast<char*>(b + 1); }

// Bytes skipped so that a record of `bytes` bytes (at most a cache line)
// starting at `at` does not cross a cache line: a search then reads its
// node, tag and key in one line.
constexpr uintptr_t kLine = 64;
size_t LinePadding(const char* at, size_t bytes) {
  const uintptr_t offset = reinterpret_cast<uintptr_t>(at) & (kLine - 1);
  return bytes <= kLine && offset + bytes > kLine ? kLine - offset : 0;
}

// A record of `bytes` bytes from the table's blocks, or null when memory
// runs out.
char* AllocateRecord(BuiltTable* bt, size_t bytes) {
  bytes = (bytes + 7) & ~static_cast<size_t>(7);
  NodeBlock* b = bt->blocks;
  size_t pad = b == nullptr ? 0 : LinePadding(BlockData(b) + b->used, bytes);
  if (b == nullptr || b->capacity - b->used < pad + bytes) {
    size_t capacity = b == nullptr ? kFirstBlock : b->capacity * 2;
    if (capacity > kLargestBlock) capacity = kLargestBlock;
    if (capacity < bytes) capacity = bytes;
    NodeBlock* fresh = static_cast<NodeBlock*>(std::malloc(sizeof(NodeBlock) + capacity));
    if (fresh == nullptr) return nullptr;
    AdviseLargePages(fresh, sizeof(NodeBlock) + capacity);
    fresh->prev = b;
    fresh->used = 0;
    fresh->capacity = capacity;
    bt->blocks = fresh;
    b = fresh;
    // Only a record of a line or less is padded, and a block holds more.
    pad = LinePadding(BlockData(b), bytes);
  }
  char* record = BlockData(b) + b->used + pad;
  b->used += pad + bytes;
  return record;
}

void FreeBlocks(BuiltTable* bt) {
  NodeBlock* b = bt->blocks;
  while (b != nullptr) {
    NodeBlock* prev = b->prev;
    std::free(b);
    b = prev;
  }
  bt->blocks = nullptr;
}

// Behind a node of the built form: its tag, the key's full hash in the low
// half and its length in the high half (compared in one step), then the key.
constexpr size_t kRecordHead = sizeof(hash_node_t) + sizeof(uint64_t);
inline uint64_t Tag(uint32_t full, size_t len) { return static_cast<uint64_t>(len) << 32 | full; }
inline uint64_t StoredTag(const hash_node_t* node) {
  uint64_t tag;
  std::memcpy(&tag, reinterpret_cast<const char*>(node) + sizeof(hash_node_t), sizeof(tag));
  return tag;
}
inline uint32_t StoredHash(const hash_node_t* node) {
  return static_cast<uint32_t>(StoredTag(node));
}
inline const char* StoredKey(const hash_node_t* node) {
  return reinterpret_cast<const char*>(node) + kRecordHead;
}

}  // namespace

uint32_t hash(const char* key, uint32_t modulus) {
  if (key == nullptr || modulus == 0) return 0;
  return OneAtATime(key) % modulus;
}

uint32_t next_prime(uint32_t n) {
  for (int i = 0; i < kPrimeListSize - 1; ++i) {
    if (_prime_list[i] > n) return _prime_list[i];
  }
  return _prime_list[kPrimeListSize - 1];
}

bool is_list_capacity(uint32_t capacity) {
  for (uint32_t p : _prime_list) {
    if (p == capacity) return true;
  }
  return false;
}

hash_table_t* hash_init_table(int n) {
  uint32_t capacity = next_prime(n < 0 ? 0u : static_cast<uint32_t>(n));
  BuiltTable* bt = static_cast<BuiltTable*>(std::calloc(1, sizeof(BuiltTable)));
  if (bt == nullptr) return nullptr;
  hash_table_t* ht = &bt->table;
  ht->table = NewBuckets(capacity);
  if (ht->table == nullptr) {
    std::free(bt);
    return nullptr;
  }
  ht->capacity = static_cast<int>(capacity);
  bt->divisor = BucketDivisor(capacity);
  return ht;
}

int resize_hash_table(hash_table_t* ht) {
  if (ht == nullptr || ht->table == nullptr) return -1;
  // At most one key per bucket on average.
  if (static_cast<int64_t>(ht->size) + 1 <= ht->capacity) return 0;
  uint32_t old_capacity = static_cast<uint32_t>(ht->capacity);
  uint32_t new_capacity = next_prime(old_capacity + 1);
  // At the last capacity the table simply fills beyond one key per bucket.
  if (new_capacity == old_capacity) return 0;
  hash_node_t** table = NewBuckets(new_capacity);
  if (table == nullptr) return -1;
  // Each node is pushed on the head of its new bucket. Nodes of the built
  // form carry their hash; those of the binary form are hashed again.
  const bool built = ht->nodes == nullptr;
  for (uint32_t b = 0; b < old_capacity; ++b) {
    hash_node_t* node = ht->table[b];
    while (node != nullptr) {
      hash_node_t* next = node->next;
      uint32_t nb = (built ? StoredHash(node) : OneAtATime(node->str)) % new_capacity;
      node->next = table[nb];
      table[nb] = node;
      node = next;
    }
  }
  std::free(ht->table);
  ht->table = table;
  ht->capacity = static_cast<int>(new_capacity);
  AsBuilt(ht)->divisor = BucketDivisor(new_capacity);
  return 0;
}

uint32_t hash_key_hash(const char* key, size_t* len) {
  *len = strnlen(key, kMaxKeyLength);
  return OneAtATime(key, *len);
}

int hash_insert_node(hash_table_t* ht, const char* key, uint32_t value) {
  if (ht == nullptr || key == nullptr || ht->table == nullptr) return -1;
  // Keys are kept cut to the longest key length.
  size_t len = 0;
  const uint32_t full = hash_key_hash(key, &len);
  return hash_insert_hashed(ht, key, len, full, value);
}

int hash_insert_hashed(hash_table_t* ht, const char* key, size_t len, uint32_t full,
                       uint32_t value) {
  if (ht == nullptr || key == nullptr || ht->table == nullptr) return -1;
  // Only the built form takes new keys: a binary table's nodes live in one
  // block that its release frees whole.
  if (ht->nodes != nullptr || ht->size == INT_MAX) return -1;
  // Growth comes before the duplicate test, so a present key can still grow
  // the table.
  if (resize_hash_table(ht) != 0) return -1;
  hash_node_t** link = &ht->table[full % static_cast<uint32_t>(ht->capacity)];
  for (; *link != nullptr; link = &(*link)->next) {
    const hash_node_t* other = *link;
    if (StoredTag(other) == Tag(full, len) && SameBytes(StoredKey(other), key, len)) {
      return kHashKeyPresent;
    }
  }
  char* record = AllocateRecord(AsBuilt(ht), kRecordHead + len + 1);
  if (record == nullptr) return -1;
  hash_node_t* node = reinterpret_cast<hash_node_t*>(record);
  const uint64_t tag = Tag(full, len);
  std::memcpy(record + sizeof(hash_node_t), &tag, sizeof(tag));
  char* copy = record + kRecordHead;
  std::memcpy(copy, key, len);
  copy[len] = '\0';
  node->str = copy;
  node->value = value;
  node->next = nullptr;
  *link = node;
  ++ht->size;
  return 0;
}

int hash_search(const hash_table_t* ht, const char* key, uint32_t* value) {
  const hash_node_t* node = nullptr;
  // No key of either form is longer than the longest stored length.
  const size_t len = ht == nullptr || key == nullptr ? 0 : KeyLength(key, kMaxKeyLength);
  if (ht != nullptr && key != nullptr && ht->table != nullptr && ht->capacity > 0 &&
      len <= static_cast<size_t>(kMaxKeyLength)) {
    const uint32_t full = OneAtATime(key, len);
    const uint32_t capacity = static_cast<uint32_t>(ht->capacity);
    const BucketDivisor& divisor = AsBuilt(ht)->divisor;
    node = ht->table[divisor.divisor() == capacity ? divisor.Remainder(full) : full % capacity];
    if (ht->nodes == nullptr) {
      // Built form: the tag passes over other keys without reading them.
      const uint64_t tag = Tag(full, len);
      while (node != nullptr && (StoredTag(node) != tag || !SameBytes(StoredKey(node), key, len))) {
        node = node->next;
      }
    } else {
      // Binary form: the key and its NUL are compared where the key area
      // holds that many bytes from the node's key on; a shorter rest cannot
      // match.
      const char* end = ht->str_all + (ht->str_size < 0 ? 0 : ht->str_size);
      // The area holds the keys in node order. When they all have one
      // length, as keys that are numbers or signatures do, the n-th node's
      // key starts at n times that length plus one: it is then fetched
      // beside its node instead of after it.
      if (node != nullptr && ht->size >= 2) {
        const uint64_t stride = static_cast<uint64_t>(ht->nodes[1].str - ht->nodes[0].str);
        if (stride * static_cast<uint64_t>(ht->size) == static_cast<uint64_t>(end - ht->str_all)) {
          const char* at = ht->str_all + static_cast<uint64_t>(node - ht->nodes) * stride;
          PrefetchLine(at);
          PrefetchLine(at + stride - 1);
        }
      }
      while (node != nullptr &&
             (static_cast<size_t>(end - node->str) <= len || !SameBytes(node->str, key, len + 1))) {
        node = node->next;
      }
    }
  }
  if (value != nullptr) *value = node != nullptr ? node->value : 0;
  return node != nullptr ? 1 : 0;
}

int hash_release(hash_table_t* ht) {
  if (ht == nullptr) return 0;
  FreeBlocks(AsBuilt(ht));
  std::free(ht->table);
  std::free(ht);
  return 0;
}

int hash_binary_release(hash_table_t* ht) {
  if (ht == nullptr) return 0;
  FreeBlocks(AsBuilt(ht));
  std::free(ht->str_all);
  std::free(ht->table);
  std::free(ht->nodes);
  std::free(ht);
  return 0;
}

int hash_is_equal(const hash_table_t* a, const hash_table_t* b) {
  if (a == nullptr || b == nullptr || a->table == nullptr || b->table == nullptr) return 0;
  if (a->capacity != b->capacity || a->size != b->size) return 0;
  for (int i = 0; i < a->capacity; ++i) {
    const hash_node_t* x = a->table[i];
    const hash_node_t* y = b->table[i];
    for (; x != nullptr && y != nullptr; x = x->next, y = y->next) {
      if (x->value != y->value || std::strcmp(x->str, y->str) != 0) return 0;
    }
    if (x != nullptr || y != nullptr) return 0;
  }
  return 1;
}

}  // namespace pbdict
}  // namespace kavo
