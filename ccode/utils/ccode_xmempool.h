// Pools over caller-supplied buffers: xnofreepool carves chunks downwards and
// never reuses them; xmempool sorts requests into size classes, each with a
// last-in first-out free list, and carves new chunks from the buffer's top.
#ifndef CCODE_UTILS_CCODE_XMEMPOOL_H_
#define CCODE_UTILS_CCODE_XMEMPOOL_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ccode_mempool.h"

namespace ccode {

class xmempool;

// Carves from the top of one buffer: the free part is always
// [_buffer, _buffer + _remain). Its fields are set by its owner.
class xnofreepool : public mempool {
 public:
  xnofreepool() = default;
  void* malloc(size_t size) override {
    if (_remain < size) return nullptr;
    _remain -= size;
    return _buffer + _remain;
  }
  void free(void* ptr, size_t size) override { _freed += size; }
  ~xnofreepool() override = default;

 private:
  friend class xmempool;
  char* _buffer = nullptr;
  size_t _bufsize = 0;
  size_t _remain = 0;
  size_t _freed = 0;
};

class xmempool : public mempool {
 public:
  // One size class; the size is a 32-bit signed value widened to a word.
  struct classinfo_t {
    void* head;  // first free chunk; its first word links to the next
    long size;
  };

  xmempool() = default;
  ~xmempool() override;

  // 0, or -1 for max < min, a null buffer, size 0, a rate below 1.01, a
  // class size that would not fit 31 bits, or a buffer too small for the
  // class table (the table lives at the buffer's end).
  int create(void* buffer, size_t size, size_t minsize, size_t maxsize, float rate);

  void* malloc(size_t size) override {
    const int i = getidx(size);
    if (i < 0) return nullptr;
    classinfo_t& c = _classes[i];
    if (c.head != nullptr) {
      void* chunk = c.head;
      c.head = load_link(chunk);
      return chunk;
    }
    return _nofree.malloc(static_cast<size_t>(c.size));
  }

  // A null pointer, or a size above the largest class, is ignored.
  void free(void* ptr, size_t size) override {
    if (ptr == nullptr) return;
    const int i = getidx(size);
    if (i < 0) return;
    classinfo_t& c = _classes[i];
    store_link(ptr, c.head);
    c.head = ptr;
  }

  // Index of the smallest class holding `size`, or -1. Small sizes are
  // answered from a memo of the search built with the table; larger ones by
  // a lower bound over the ascending table.
  int getidx(size_t size) const {
    if (_classes == nullptr) return -1;
    if (size <= kSmallLimit) return _smallidx[(size + 3) / 4];
    return search(size);
  }

  // Cuts the rest of the current buffer into free chunks (largest class
  // first) and continues carving in `buffer`; answers the previous buffer.
  void* addbuf(void* buffer, size_t size);

  // Rebuild the class table (empty free lists) over a buffer; 0 or -1.
  int clear(void* buffer, size_t size);
  int clear();

  // Forgets buffer and classes; never frees the caller's buffers.
  int destroy();

  size_t minsize() const { return _minsize; }
  size_t maxsize() const { return _maxsize; }
  int classnum() const { return _classnum; }
  const classinfo_t* classes() const { return _classes; }
  size_t remain() const { return _nofree._remain; }

 private:
  // Requests up to this size map to their class through _smallidx.
  static constexpr size_t kSmallLimit = 1024;

  // The lower bound itself, without branches in the loop.
  int search(size_t size) const {
    if (_classnum <= 0 || size > static_cast<size_t>(_classes[_classnum - 1].size)) return -1;
    const classinfo_t* base = _classes;
    size_t n = static_cast<size_t>(_classnum);
    while (n > 1) {
      const size_t half = n / 2;
      base = static_cast<size_t>(base[half].size) < size ? base + half : base;
      n -= half;
    }
    return static_cast<int>(base - _classes) + (static_cast<size_t>(base->size) < size ? 1 : 0);
  }

  // A free chunk links to the next in its first word; chunks may be only
  // 4-byte aligned, so the link is moved bytewise.
  static void* load_link(const void* chunk) {
    void* next;
    std::memcpy(&next, chunk, sizeof(next));
    return next;
  }
  static void store_link(void* chunk, void* next) { std::memcpy(chunk, &next, sizeof(next)); }

  void set_buffer(void* buffer, size_t size);

  classinfo_t* _classes = nullptr;
  int _classnum = 0;
  xnofreepool _nofree;
  size_t _minsize = 0;
  size_t _maxsize = 0;
  float _rate = 0;
  // Class index of every size 4k - 3 .. 4k up to kSmallLimit (class sizes
  // are multiples of 4), -1 above the largest class; valid with _classes.
  int16_t _smallidx[kSmallLimit / 4 + 1] = {};
  // _smallidx matches the classes of the last create.
  bool _memo_ready = false;
};

}  // namespace ccode

#endif  // CCODE_UTILS_CCODE_XMEMPOOL_H_
