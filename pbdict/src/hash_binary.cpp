// The "ht" file: the binary form of the key table.
//
//   capacity, size, str_size            (uint32 each)
//   for every bucket: count (uint32), then per node value and key offset
//   the key area: every key with its NUL, in node order
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "file_reader.h"
#include "hash.h"
#include "hash_binary.h"
#include "hash_built.h"
#include "load_parts.h"
#include "toolkit/file.h"
#include "toolkit/replace.h"

namespace kavo {
namespace pbdict {

namespace {

using toolkit::StreamWrite;
// Every number of the file is a uint32.
constexpr auto Put32 = toolkit::StreamWriteValue<uint32_t>;

struct BinaryTableDeleter {
  void operator()(hash_table_t* ht) const { hash_binary_release(ht); }
};

// Keys checked per part of a load, and the most parts.
constexpr size_t kKeysPerPart = 1 << 16;
constexpr int kMostParts = 8;

// Where the keys of a range of buckets lie in the key area.
struct KeySpan {
  bool has_keys = false;
  uint64_t start = 0;  // offset of the range's first key
  uint64_t end = 0;    // offset just past its last key's NUL
};

// Checks the keys of buckets [first, end): each starts where the one before
// it ended, is no longer than a key can be, and hashes to its bucket. Their
// span goes to *span.
bool CheckKeys(const hash_table_t* ht, uint32_t first, uint32_t end, KeySpan* span) {
  const uint32_t capacity = static_cast<uint32_t>(ht->capacity);
  const uint64_t str_size = static_cast<uint32_t>(ht->str_size);
  uint64_t next = 0;
  for (uint32_t b = first; b < end; ++b) {
    for (const hash_node_t* node = ht->table[b]; node != nullptr; node = node->next) {
      const uint64_t at = static_cast<uint64_t>(node->str - ht->str_all);
      if (!span->has_keys) {
        span->has_keys = true;
        span->start = next = at;
      }
      if (at != next) return false;
      const size_t len = strnlen(node->str, str_size - next);
      size_t hashed = 0;
      if (len > static_cast<size_t>(kMaxKeyLength) ||
          hash_key_hash(node->str, &hashed) % capacity != b || hashed != len) {
        return false;
      }
      next += len + 1;
    }
  }
  span->end = next;
  return true;
}

}  // namespace

int hash_binary_write(const hash_table_t* ht, FILE* raw) {
  if (ht == nullptr || raw == nullptr || ht->table == nullptr || ht->capacity <= 0) return -1;
  const uint32_t capacity = static_cast<uint32_t>(ht->capacity);
  // One walk of the chains gathers the nodes in file order; the bucket
  // counts, the node records and the keys are written from it.
  std::vector<uint32_t> counts;
  std::vector<const hash_node_t*> order;
  try {
    counts.resize(capacity);
    order.reserve(ht->size > 0 ? static_cast<size_t>(ht->size) : 0);
    // The chains lie all over memory: their heads are fetched a few
    // buckets ahead.
    constexpr uint32_t kAhead = 8;
    for (uint32_t b = 0; b < capacity; ++b) {
      if (b + kAhead < capacity && ht->table[b + kAhead] != nullptr) {
        PrefetchLine(ht->table[b + kAhead]);
      }
      const size_t before = order.size();
      for (const hash_node_t* node = ht->table[b]; node != nullptr; node = node->next) {
        order.push_back(node);
      }
      counts[b] = static_cast<uint32_t>(order.size() - before);
    }
  } catch (const std::bad_alloc&) {
    return kHashOutOfMemory;
  }
  const uint64_t nodes = order.size();
  if (nodes > UINT32_MAX) return -1;
  std::vector<uint32_t> lengths;
  try {
    lengths.resize(order.size());
  } catch (const std::bad_alloc&) {
    return kHashOutOfMemory;
  }
  bool ok = Put32(raw, capacity) && Put32(raw, static_cast<uint32_t>(nodes)) &&
            Put32(raw, static_cast<uint32_t>(ht->str_size < 0 ? 0 : ht->str_size));
  uint64_t offset = 0;
  size_t k = 0;
  for (uint32_t b = 0; ok && b < capacity; ++b) {
    ok = Put32(raw, counts[b]);
    for (uint32_t i = 0; ok && i < counts[b]; ++i, ++k) {
      const hash_node_t* node = order[k];
      ok = offset <= UINT32_MAX && Put32(raw, node->value) &&
           Put32(raw, static_cast<uint32_t>(offset));
      lengths[k] = static_cast<uint32_t>(std::strlen(node->str));
      offset += lengths[k] + 1;
    }
  }
  ok = ok && offset <= UINT32_MAX;
  for (size_t i = 0; ok && i < order.size(); ++i) {
    ok = StreamWrite(raw, order[i]->str, lengths[i] + 1);
  }
  ok = ok && std::fseek(raw, 8, SEEK_SET) == 0 && Put32(raw, static_cast<uint32_t>(offset)) &&
       std::fseek(raw, 0, SEEK_END) == 0;
  return ok ? 0 : -1;
}

int hash_binary_dump(const hash_table_t* ht, const char* path) {
  if (ht == nullptr || path == nullptr || ht->table == nullptr || ht->capacity <= 0) return -1;
  // The old file stays whole until the new one is complete and on disk.
  toolkit::FileReplacement out;
  if (!out.Open(path, 0666) || out.Stream() == nullptr) return -1;
  std::setvbuf(out.Stream(), nullptr, _IOFBF, 1 << 20);
  if (hash_binary_write(ht, out.Stream()) != 0) return -1;
  return out.Commit() ? 0 : -1;
}

hash_table_t* hash_binary_load(const char* path) {
  if (path == nullptr) return nullptr;
  FileReader reader;
  if (!reader.Open(path)) return nullptr;
  return hash_binary_read(&reader, UsableCores());
}

hash_table_t* hash_binary_read(FileReader* reader, int parts, bool* out_of_memory) {
  bool no_memory = false;
  if (out_of_memory == nullptr) out_of_memory = &no_memory;
  *out_of_memory = false;
  if (reader == nullptr) return nullptr;
  uint32_t capacity = 0, size = 0, str_size = 0;
  if (!reader->Read(&capacity, 4) || !reader->Read(&size, 4) || !reader->Read(&str_size, 4)) {
    return nullptr;
  }
  // The bucket array made for a list capacity holds exactly its buckets; the
  // counts must fit int; and the file must be long enough for every bucket
  // count, every node and the key area before anything is allocated.
  if (!is_list_capacity(capacity) || size == 0 || str_size == 0 || size > INT32_MAX ||
      str_size > INT32_MAX) {
    return nullptr;
  }
  uint64_t need = 4ull * capacity + 8ull * size + str_size;
  if (need > reader->Remaining()) return nullptr;

  std::unique_ptr<hash_table_t, BinaryTableDeleter> ht(
      hash_init_table(static_cast<int>(capacity - 1)));
  if (!ht) {
    *out_of_memory = true;
    return nullptr;
  }
  if (static_cast<uint32_t>(ht->capacity) != capacity) return nullptr;
  ht->size = static_cast<int>(size);
  ht->str_size = static_cast<int>(str_size);
  ht->nodes = static_cast<hash_node_t*>(std::calloc(size, sizeof(hash_node_t)));
  ht->str_all = static_cast<char*>(std::calloc(str_size, 1));
  if (ht->nodes == nullptr || ht->str_all == nullptr) {
    *out_of_memory = true;
    return nullptr;
  }
  // The bucket array, the nodes and the keys are written once, right now.
  AdviseLargePages(ht->table, capacity * sizeof(hash_node_t*));
  AdviseLargePages(ht->nodes, size * sizeof(hash_node_t));
  AdviseLargePages(ht->str_all, str_size);

  uint32_t used = 0;
  for (uint32_t b = 0; b < capacity; ++b) {
    uint32_t count = 0;
    if (!reader->Read(&count, 4) || count > size - used) return nullptr;
    if (count == 0) continue;
    hash_node_t* run = ht->nodes + used;
    ht->table[b] = run;
    for (uint32_t k = 0; k < count; ++k) {
      uint32_t rec[2];
      if (!reader->Read(rec, sizeof(rec)) || rec[1] >= str_size) return nullptr;
      // The keys lie in the area in node order, one after the other: each
      // offset must be where the key before it ends (checked below).
      run[k].value = rec[0];
      run[k].str = ht->str_all + rec[1];
      run[k].next = k + 1 < count ? &run[k + 1] : nullptr;
    }
    used += count;
  }
  if (used != size) return nullptr;
  // The area must end with a NUL, so that every key ends inside it.
  if (!reader->Read(ht->str_all, str_size) || ht->str_all[str_size - 1] != '\0') return nullptr;
  // Nothing follows the key area.
  if (reader->Remaining() != 0) return nullptr;
  // Every key starts where the one before it ended, is no longer than a key
  // can be, and sits in the bucket its hash names: a damaged key or offset
  // would otherwise answer for a key that was never written. Ranges of
  // buckets are checked at once, each from where its first key lies; the
  // ranges must then join up from the start of the area to its end.
  parts = PartsFor(size, kKeysPerPart, parts < kMostParts ? parts : kMostParts);
  KeySpan spans[kMostParts];
  const hash_table_t* table = ht.get();
  const bool ok = RunParts(parts, [table, parts, &spans](int p) {
    const uint64_t cap = static_cast<uint32_t>(table->capacity);
    return CheckKeys(table, static_cast<uint32_t>(cap * p / parts),
                     static_cast<uint32_t>(cap * (p + 1) / parts), &spans[p]);
  });
  if (!ok) return nullptr;
  uint64_t next = 0;
  for (int p = 0; p < parts; ++p) {
    if (!spans[p].has_keys) continue;
    if (spans[p].start != next) return nullptr;
    next = spans[p].end;
  }
  if (next != str_size) return nullptr;
  return ht.release();
}

}  // namespace pbdict
}  // namespace kavo
