// Pooled node allocator: slots come BLOCK to a block from the inner
// allocator and go back to a last-in first-out free list; blocks are
// returned to the inner allocator only by destroy().
#ifndef CCODE_UTILS_CCODE_SAMPLE_ALLOC_H_
#define CCODE_UTILS_CCODE_SAMPLE_ALLOC_H_

#include <cstddef>

namespace ccode {

template <class Alloc, size_t BLOCK = 256>
class ccode_sample_alloc {
 public:
  typedef Alloc inner_alloc_type;
  typedef typename Alloc::value_type value_type;
  typedef value_type* pointer;
  typedef size_t size_type;

  template <class U>
  struct rebind {
    typedef ccode_sample_alloc<typename Alloc::template rebind<U>::other, BLOCK> other;
  };

  // A slot holds a value or, while free, the link to the next free slot.
  union node_type {
    alignas(value_type) unsigned char storage[sizeof(value_type)];
    node_type* next;
  };
  struct large_type {
    large_type* next;  // the block obtained before this one
    node_type data[BLOCK];
  };
  typedef typename Alloc::template rebind<large_type>::other large_alloc;

  ccode_sample_alloc() = default;
  ~ccode_sample_alloc() { destroy(); }
  ccode_sample_alloc(const ccode_sample_alloc&) = delete;
  ccode_sample_alloc& operator=(const ccode_sample_alloc&) = delete;

  // Starts empty (any earlier blocks are released).
  int create() { return destroy(); }

  // Frees every block, newest first.
  int destroy() {
    while (_lg != nullptr) {
      large_type* next = _lg->next;
      _alloc.deallocate(_lg, 1);
      _lg = next;
    }
    _freelst = nullptr;
    _blknum = 0;
    return 0;
  }

  // One uninitialised slot (the table asks for one at a time), or null.
  pointer allocate(size_type n = 1, const void* hint = nullptr) {
    if (n != 1) return nullptr;
    if (_freelst != nullptr) {
      node_type* slot = _freelst;
      _freelst = slot->next;
      return reinterpret_cast<pointer>(slot->storage);
    }
    if (_lg == nullptr || _blknum == 0) {
      large_type* block = _alloc.allocate(1);
      if (block == nullptr) return nullptr;
      block->next = _lg;
      _lg = block;
      _blknum = BLOCK;
    }
    --_blknum;
    return reinterpret_cast<pointer>(_lg->data[_blknum].storage);
  }

  void deallocate(pointer p, size_type n = 1) {
    if (p == nullptr) return;
    node_type* slot = reinterpret_cast<node_type*>(p);
    slot->next = _freelst;
    _freelst = slot;
  }

  // The handle is the slot's address.
  pointer getp(pointer handle) const { return handle; }

 private:
  large_alloc _alloc;
  large_type* _lg = nullptr;
  node_type* _freelst = nullptr;
  size_type _blknum = 0;
};

}  // namespace ccode

#endif  // CCODE_UTILS_CCODE_SAMPLE_ALLOC_H_
