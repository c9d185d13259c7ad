// A pool that owns its memory: an xmempool fed with blocks from malloc, and
// requests above the largest class passed straight to malloc.
#ifndef CCODE_UTILS_CCODE_XCOMPOOL_H_
#define CCODE_UTILS_CCODE_XCOMPOOL_H_

#include <cstddef>
#include <set>

#include "ccode_xmempool.h"

namespace ccode {

class xcompool : public mempool {
 public:
  xcompool() = default;
  ~xcompool() override;

  // Takes a first block of `blocksize` bytes and builds the classes over it;
  // a used pool is destroyed first. 0 or -1 (the pool is then empty).
  int create(size_t blocksize, size_t minsize, size_t maxsize, float rate);

  // Above the largest class: from the system (recorded for release).
  // Otherwise a free or carved chunk, taking a new block when needed.
  void* malloc(size_t size) override {
    if (size > _pool.maxsize()) return malloc_big(size);
    void* p = _pool.malloc(size);
    return p != nullptr ? p : malloc_block(size);
  }

  void free(void* ptr, size_t size) override {
    if (size > _pool.maxsize()) {
      free_big(ptr);
    } else {
      _pool.free(ptr, size);
    }
  }

  // Frees every further block and oversized chunk and makes the whole first
  // block available again.
  void clear();
  // Releases everything.
  void destroy();

  size_t blocksize() const { return _blocksize; }
  const xmempool& pool() const { return _pool; }
  // Further blocks and oversized chunks currently held from the system.
  size_t bigcount() const { return _bigset.size(); }

 private:
  void* malloc_big(size_t size);
  void* malloc_block(size_t size);
  void free_big(void* ptr);

  size_t _blocksize = 0;
  void* _firstbuf = nullptr;
  size_t _firstsize = 0;
  xmempool _pool;
  std::set<void*> _bigset;
};

}  // namespace ccode

#endif  // CCODE_UTILS_CCODE_XCOMPOOL_H_
