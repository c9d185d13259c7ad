#include "ccode_xcompool.h"

#include <cstdlib>
#include <new>

namespace ccode {

xcompool::~xcompool() { destroy(); }

int xcompool::create(size_t blocksize, size_t minsize, size_t maxsize, float rate) {
  destroy();
  _firstbuf = std::malloc(blocksize);
  if (_firstbuf == nullptr) return -1;
  _firstsize = blocksize;
  if (_pool.create(_firstbuf, blocksize, minsize, maxsize, rate) != 0) {
    destroy();
    return -1;
  }
  _blocksize = blocksize > _pool.maxsize() ? blocksize : _pool.maxsize();
  return 0;
}

// Takes memory from the system and records it; null when either fails.
void* xcompool::malloc_big(size_t size) {
  void* p = std::malloc(size);
  if (p == nullptr) return nullptr;
  try {
    _bigset.insert(p);
  } catch (const std::bad_alloc&) {
    std::free(p);
    return nullptr;
  }
  return p;
}

// The current block is exhausted for this class: hand its rest to the free
// lists and continue in a fresh block.
void* xcompool::malloc_block(size_t size) {
  if (_pool.classes() == nullptr) return nullptr;  // never created
  void* block = malloc_big(_blocksize);
  if (block == nullptr) return nullptr;
  _pool.addbuf(block, _blocksize);
  return _pool.malloc(size);
}

// Only memory this pool took from the system goes back to it.
void xcompool::free_big(void* ptr) {
  if (ptr != nullptr && _bigset.erase(ptr) != 0) std::free(ptr);
}

void xcompool::clear() {
  if (_firstbuf != nullptr) _pool.clear(_firstbuf, _firstsize);
  for (void* p : _bigset) std::free(p);
  _bigset.clear();
}

void xcompool::destroy() {
  _pool.destroy();
  for (void* p : _bigset) std::free(p);
  _bigset.clear();
  std::free(_firstbuf);
  _firstbuf = nullptr;
  _firstsize = 0;
  _blocksize = 0;
}

}  // namespace ccode
