// Per-thread scratch memory of the string utilities.
#include "ul_ccode_memo.h"

#include <string.h>

#include <new>

#include "toolkit/thread_slot.h"
#include "ul_ccode_next.h"
#include "ul_ccode_type.h"
#include "ul_log.h"

namespace {

// The thread's pool and map (freed by ul_ccode_pool_free, ul_ccode_hash_free).
toolkit::ThreadSlot<ccode::xcompool> g_pool_slot;
toolkit::ThreadSlot<ccode_scratch_map_t> g_hash_slot;

// Pool: blocks of 0x80000 bytes, chunk classes from 2 to 0x80000 bytes
// doubling; map: 16384 buckets.
constexpr size_t kPoolBlock = 0x80000;
constexpr size_t kPoolMinItem = 2;
constexpr size_t kPoolMaxItem = 0x80000;
constexpr float kPoolRate = 2.0f;
constexpr size_t kMapBuckets = 16384;
constexpr size_t kBitmapBytes = 0x10000 / 8;

}  // namespace

void ul_ccode_pool_free(void* pool) {
  ccode::xcompool* p = static_cast<ccode::xcompool*>(pool);
  if (p == nullptr) return;
  p->destroy();
  delete p;
}

void ul_ccode_hash_free(void* map) {
  ccode_scratch_map_t* m = static_cast<ccode_scratch_map_t*>(map);
  if (m == nullptr) return;
  m->destroy();
  delete m;
}

int ul_ccode_memo_init() {
  if (g_pool_slot.Create(ul_ccode_pool_free) != 0 || g_hash_slot.Create(ul_ccode_hash_free) != 0) {
    ul_writelog(UL_LOG_FATAL, "pthread create key error!");
    return -1;
  }
  return 0;
}

int ul_ccode_memo_alloc() {
  if (ul_ccode_memo_pool() != nullptr || ul_ccode_memo_hash() != nullptr) return 0;
  ccode::xcompool* pool = new (std::nothrow) ccode::xcompool();
  ccode_scratch_map_t* map = new (std::nothrow) ccode_scratch_map_t();
  const char* error = nullptr;
  if (pool == nullptr || map == nullptr) {
    error = "alloc error!";
  } else if (pool->create(kPoolBlock, kPoolMinItem, kPoolMaxItem, kPoolRate) != 0) {
    error = "mempool create error!";
  } else if (map->create(kMapBuckets) != 0) {
    error = "hash create error!";
  } else if (g_pool_slot.Set(pool) != 0 || g_hash_slot.Set(map) != 0) {
    // A thread whose values could not be stored has no scratch memory: say
    // so rather than leak the pool and map behind a success.
    error = "pthread set specific error!";
    g_pool_slot.Set(nullptr);
    g_hash_slot.Set(nullptr);
  }
  if (error == nullptr) return 0;
  ul_writelog(UL_LOG_FATAL, "%s", error);
  ul_ccode_pool_free(pool);
  ul_ccode_hash_free(map);
  return -1;
}

int ul_ccode_memo_free() {
  g_pool_slot.Reset();
  g_hash_slot.Reset();
  return 0;
}

void ul_ccode_memo_del() {
  g_pool_slot.Delete();
  g_hash_slot.Delete();
}

ccode::xcompool* ul_ccode_memo_pool() { return g_pool_slot.Get(); }

ccode_scratch_map_t* ul_ccode_memo_hash() { return g_hash_slot.Get(); }

unsigned int ccode_char_number(const char* c, int len, int codetype) {
  if (codetype == CODETYPE_UTF8 && len == 3) return get_unicode(c);
  if (codetype == CODETYPE_UTF8 && len == 2) {
    // By code point, as three-byte characters are: bytes folded would make
    // C3 A9 (U+00E9) the same number as U+C3A9.
    return (static_cast<unsigned char>(c[0]) & 0x1Fu) << 6 | (static_cast<unsigned char>(c[1]) & 0x3Fu);
  }
  return get_uint(c, len);
}

unsigned char* ScratchScope::Bitmap() {
  unsigned char* bits = static_cast<unsigned char*>(Alloc(kBitmapBytes));
  if (bits != nullptr) memset(bits, 0, kBitmapBytes);
  return bits;
}
