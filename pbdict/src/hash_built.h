// The built form's insertion in two halves, for a loader that hashes keys
// on other threads and inserts them on one: the key's hash alone, and the
// insertion of a key whose hash is known. A look-ahead hint lets the
// inserting thread fetch a bucket before it needs it.
#ifndef PBDICT_HASH_BUILT_H_
#define PBDICT_HASH_BUILT_H_

#include <cstddef>
#include <cstdint>

#include "hash.h"

namespace kavo {
namespace pbdict {

// The full hash of a key as the table stores it: the first
// min(strlen(key), kMaxKeyLength) bytes; *len gets that length.
uint32_t hash_key_hash(const char* key, size_t* len);

// hash_insert_node() for a key of len bytes (at most kMaxKeyLength, no NUL
// among them) whose full hash is `full`. Same results.
int hash_insert_hashed(hash_table_t* ht, const char* key, size_t len, uint32_t full,
                       uint32_t value);

// The remainder of a 32-bit hash by a fixed divisor through two
// multiplications instead of a division (Lemire, Kaser and Kurz, "Faster
// remainder by direct computation", 2019): exact for every 32-bit hash and
// every divisor from 1 on. A default one has divisor 0 and must not be used.
class BucketDivisor {
 public:
  BucketDivisor() = default;
  explicit BucketDivisor(uint32_t divisor)
      : divisor_(divisor), magic_(divisor == 0 ? 0 : UINT64_MAX / divisor + 1) {}

  uint32_t divisor() const { return divisor_; }
  uint32_t Remainder(uint32_t n) const {
    const uint64_t low = magic_ * n;
    return static_cast<uint32_t>((static_cast<unsigned __int128>(low) * divisor_) >> 64);
  }

 private:
  uint32_t divisor_ = 0;
  uint64_t magic_ = 0;
};

// A hint to fetch the cache line at p. The compiler drops a plain
// __builtin_prefetch whose result nothing reads once inlined, so on x86-64
// the instruction is written out.
inline void PrefetchLine(const void* p) {
#if defined(__x86_64__)
  asm volatile("prefetcht0 (%0)" : : "r"(p));
#else
  __builtin_prefetch(p, 0, 3);
#endif
}

// Asks the processor for the bucket of the hash and, when the bucket is
// already at hand, for the first node of its chain. Changes nothing.
inline void hash_prefetch(const hash_table_t* ht, uint32_t full, bool chain) {
  const hash_node_t* const* slot = &ht->table[full % static_cast<uint32_t>(ht->capacity)];
  if (chain) {
    if (*slot != nullptr) PrefetchLine(*slot);
  } else {
    PrefetchLine(slot);
  }
}

}  // namespace pbdict
}  // namespace kavo

#endif  // PBDICT_HASH_BUILT_H_
