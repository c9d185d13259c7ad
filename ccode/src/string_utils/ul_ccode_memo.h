// Per-thread scratch memory of the string utilities: a memory pool and a
// hash map per thread, reached through two thread keys that the per-thread
// state (ul_ccode_conv.h) creates, fills and deletes alongside its own.
//
// A utility takes what it needs for one call and leaves the pool (and the
// map, when it used it) empty when it returns, failures included: use a
// ScratchScope for that. A utility must not be re-entered on the same thread
// while it holds scratch memory.
#ifndef CCODE_SRC_UL_CCODE_MEMO_H_
#define CCODE_SRC_UL_CCODE_MEMO_H_

#include <stddef.h>

#include "utils/ccode_hashmap.h"
#include "utils/ccode_xcompool.h"

typedef ccode::hashmap<unsigned int, unsigned int> ccode_scratch_map_t;

// Creates the two keys once (destructors ul_ccode_pool_free and
// ul_ccode_hash_free); 0, or -1 after "pthread create key error!".
int ul_ccode_memo_init();
// Gives the calling thread its pool and map; 0 at once when it has either.
// -1 with nothing left behind after "alloc error!", "mempool create error!",
// "hash create error!" or "pthread set specific error!" (also when the keys
// do not exist).
int ul_ccode_memo_alloc();
// Destroys the calling thread's pool and map and clears both values; 0.
int ul_ccode_memo_free();
// Deletes the keys that exist.
void ul_ccode_memo_del();
// Key destructors: destroy and delete a thread's pool or map.
void ul_ccode_pool_free(void* pool);
void ul_ccode_hash_free(void* map);

// The calling thread's pool and map, NULL when it has none.
ccode::xcompool* ul_ccode_memo_pool();
ccode_scratch_map_t* ul_ccode_memo_hash();

// The number of a character of len bytes at c in a code type: a UTF-8
// character of two or three bytes by its code point, any other by its bytes
// folded big-endian. Numbers below 0x10000 go into a bitmap, the others into
// the scratch map.
unsigned int ccode_char_number(const char* c, int len, int codetype);

// One call's hold on the thread's scratch memory: clears the pool, and the
// map when the call used it, on every return.
class ScratchScope {
 public:
  ScratchScope() : pool_(ul_ccode_memo_pool()), map_(ul_ccode_memo_hash()) {}
  ~ScratchScope() {
    if (map_used_) map_->clear();
    if (pool_ != nullptr) pool_->clear();
  }
  ScratchScope(const ScratchScope&) = delete;
  ScratchScope& operator=(const ScratchScope&) = delete;

  bool has_pool() const { return pool_ != nullptr; }
  bool has_map() const { return map_ != nullptr; }
  // size bytes from the pool (NULL without a pool, for 0 bytes or when the
  // pool cannot grow).
  void* Alloc(size_t size) { return pool_ == nullptr || size == 0 ? nullptr : pool_->malloc(size); }
  // A zeroed bitmap of one bit per number below 0x10000 (NULL as Alloc).
  unsigned char* Bitmap();
  // The map, marked for clearing.
  ccode_scratch_map_t* Map() {
    map_used_ = true;
    return map_;
  }

 private:
  ccode::xcompool* pool_;
  ccode_scratch_map_t* map_;
  bool map_used_ = false;
};

// A set of character numbers over a scratch bitmap and the scratch map.
class ScratchCharSet {
 public:
  ScratchCharSet(unsigned char* bits, ccode_scratch_map_t* map) : bits_(bits), map_(map) {}
  // false when the map fails.
  bool Add(unsigned int n) {
    if (n < 0x10000) {
      bits_[n >> 3] |= static_cast<unsigned char>(1u << (n & 7));
      return true;
    }
    return map_->set(n, 1, 1) != -1;
  }
  bool Has(unsigned int n) const {
    if (n < 0x10000) return (bits_[n >> 3] >> (n & 7)) & 1;
    return map_->get(n, nullptr) == ccode::CCODE_HASH_EXIST;
  }

 private:
  unsigned char* bits_;
  ccode_scratch_map_t* map_;
};

#endif  // CCODE_SRC_UL_CCODE_MEMO_H_
