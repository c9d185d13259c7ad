// String hash table: the built form, the search and the release of both forms.
#include "hash.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "hash_built.h"
#include "pbdict_results.h"

namespace kavo {
namespace pbdict {

const uint32_t _prime_list[kPrimeListSize] = {
    53,     97,     193,    389,     769,     1543,    3079,    6151,     12289,    24593,
    49175,  98317,  196613, 393241,  786433,  1572869, 3145739, 6291469,  12582917, 25165843};

namespace {

// Jenkins' one-at-a-time hash: the step per byte and the final mix.
inline uint32_t Mix(uint32_t h, unsigned char c) {
  h += c;
  h += h << 10;
  return h ^ (h >> 6);
}
inline uint32_t Finish(uint32_t h) {
  h += h << 3;
  h ^= h >> 11;
  return h + (h << 15);
}

// The hash of the first len bytes of a key.
inline uint32_t OneAtATime(const char* key, size_t len) {
  uint32_t h = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(key);
  for (size_t i = 0; i < len; ++i) h = Mix(h, p[i]);
  return Finish(h);
}

// The same of a NUL-terminated key, in one pass.
inline uint32_t OneAtATime(const char* key) {
  uint32_t h = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(key); *p != 0; ++p) {
    h = Mix(h, *p);
  }
  return Finish(h);
}

// The built form keeps its nodes in blocks: each key takes one record,
//   hash_node_t | uint32 full hash | key bytes and NUL
// cut from the newest block, and the release frees the blocks whole. The
// stored hash spares a growth the rehashing of every key.
struct NodeBlock {
  NodeBlock* prev;  // the block filled before this one
  size_t used;
  size_t capacity;
  // The records follow, 8-byte aligned.
};

constexpr size_t kFirstBlock = 4096;
constexpr size_t kLargestBlock = 1 << 20;

// A table made by hash_init_table: the public record first, then the blocks
// of its nodes (null until the first key).
struct BuiltTable {
  hash_table_t table;
  NodeBlock* blocks;
};

BuiltTable* AsBuilt(hash_table_t* ht) { return reinterpret_cast<BuiltTable*>(ht); }

char* BlockData(NodeBlock* b) { return reinterpret_cast<char*>(b + 1); }

// A record of `bytes` bytes from the table's blocks, or null when memory
// runs out.
char* AllocateRecord(BuiltTable* bt, size_t bytes) {
  bytes = (bytes + 7) & ~static_cast<size_t>(7);
  NodeBlock* b = bt->blocks;
  if (b == nullptr || b->capacity - b->used < bytes) {
    size_t capacity = b == nullptr ? kFirstBlock : b->capacity * 2;
    if (capacity > kLargestBlock) capacity = kLargestBlock;
    if (capacity < bytes) capacity = bytes;
    NodeBlock* fresh = static_cast<NodeBlock*>(std::malloc(sizeof(NodeBlock) + capacity));
    if (fresh == nullptr) return nullptr;
    fresh->prev = b;
    fresh->used = 0;
    fresh->capacity = capacity;
    bt->blocks = fresh;
    b = fresh;
  }
  char* record = BlockData(b) + b->used;
  b->used += bytes;
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

// The full hash stored behind a node of the built form.
inline uint32_t StoredHash(const hash_node_t* node) {
  uint32_t h;
  std::memcpy(&h, reinterpret_cast<const char*>(node) + sizeof(hash_node_t), sizeof(h));
  return h;
}

constexpr size_t kRecordHead = sizeof(hash_node_t) + sizeof(uint32_t);

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
  ht->table = static_cast<hash_node_t**>(std::calloc(capacity, sizeof(hash_node_t*)));
  if (ht->table == nullptr) {
    std::free(bt);
    return nullptr;
  }
  ht->capacity = static_cast<int>(capacity);
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
  hash_node_t** table = static_cast<hash_node_t**>(std::calloc(new_capacity, sizeof(hash_node_t*)));
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
    if (StoredHash(other) == full && std::strncmp(other->str, key, len) == 0 &&
        other->str[len] == '\0') {
      return kHashKeyPresent;
    }
  }
  char* record = AllocateRecord(AsBuilt(ht), kRecordHead + len + 1);
  if (record == nullptr) return -1;
  hash_node_t* node = reinterpret_cast<hash_node_t*>(record);
  std::memcpy(record + sizeof(hash_node_t), &full, sizeof(full));
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
  if (ht == nullptr || key == nullptr || ht->table == nullptr || ht->capacity <= 0) {
    if (value != nullptr) *value = 0;
    return 0;
  }
  const uint32_t bucket = OneAtATime(key) % static_cast<uint32_t>(ht->capacity);
  for (const hash_node_t* node = ht->table[bucket]; node != nullptr; node = node->next) {
    // The first byte settles most mismatches without a call.
    if (node->str[0] == key[0] && std::strcmp(node->str, key) == 0) {
      if (value != nullptr) *value = node->value;
      return 1;
    }
  }
  if (value != nullptr) *value = 0;
  return 0;
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
