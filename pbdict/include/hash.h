// String hash table: maps NUL-terminated keys to unsigned 32-bit values (the
// entry index of a key in a dictionary).
//
// The table exists in two forms that share one record and one search:
//  - the built form, filled key by key with hash_insert_node(); every node and
//    every key is a separate allocation; release it with hash_release();
//  - the binary form, read in one piece by hash_binary_load(); nodes live in
//    one block (`nodes`), keys in one area (`str_all`), and each bucket's chain
//    is a run of consecutive nodes; release it with hash_binary_release().
// The owner records which form it holds.
#ifndef PBDICT_HASH_H_
#define PBDICT_HASH_H_

#include <cstdint>

namespace kavo {
namespace pbdict {

typedef struct _HashNode {
  char* str;         // the key, NUL-terminated
  uint32_t value;    // the entry index
  _HashNode* next;   // next node of the chain, null at the end
} hash_node_t;

typedef struct _HashTable {
  int capacity;        // number of buckets, always a value of the prime list
  int size;            // number of keys held
  int str_size;        // bytes of the key area (binary form; 0 when built)
  char* str_all;       // key area of the binary form; null when built
  hash_node_t* nodes;  // node block of the binary form; null when built
  hash_node_t** table; // `capacity` bucket heads; an empty bucket is null
} hash_table_t;

// Number of capacities in the prime list.
const int kPrimeListSize = 20;

// The capacities a table may have, in increasing order. The eleventh value,
// 49175, is not prime; it stays, since "ht" files store these values.
extern const uint32_t _prime_list[kPrimeListSize];

// Keys longer than this are stored cut to this many bytes.
const int kMaxKeyLength = 10000;

// Jenkins' one-at-a-time hash of the key, modulo `modulus`.
uint32_t hash(const char* key, uint32_t modulus);

// The first capacity of the list above n (the last one when none is).
uint32_t next_prime(uint32_t n);

// true when `capacity` is a value of the prime list.
bool is_list_capacity(uint32_t capacity);

// A new empty table of capacity next_prime(n), or null when memory runs out.
hash_table_t* hash_init_table(int n);

// Grows the bucket array when one more key would exceed one key per bucket.
// 0, or -1 when memory runs out (the table is unchanged then).
int resize_hash_table(hash_table_t* ht);

// 0 inserted, 1 key already present (nothing changes), -1 null argument or
// memory exhausted.
int hash_insert_node(hash_table_t* ht, const char* key, uint32_t value);

// 1 found (value stored in *value when given), 0 not found (*value set to 0),
// also for a null table or key.
int hash_search(const hash_table_t* ht, const char* key, uint32_t* value = nullptr);

// Release of the built form / the binary form; both accept null and return 0.
int hash_release(hash_table_t* ht);
int hash_binary_release(hash_table_t* ht);

// 1 when both tables have the same capacity, size and, bucket by bucket,
// chains of the same length with equal values and keys; 0 otherwise.
int hash_is_equal(const hash_table_t* a, const hash_table_t* b);

// Writes the table as an "ht" file, replacing the file whole (a temporary
// file beside it, synced, then renamed over it). 0, or -1 on a null argument,
// a failed allocation, open or write (the old file then stays). Logs
// nothing.
int hash_binary_dump(const hash_table_t* ht, const char* path);

// Reads an "ht" file into a table of the binary form, or null when the file
// cannot be read or does not fit the format. Logs nothing.
hash_table_t* hash_binary_load(const char* path);

}  // namespace pbdict
}  // namespace kavo

#endif  // PBDICT_HASH_H_
