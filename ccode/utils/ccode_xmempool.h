// Pools over caller-supplied buffers: xnofreepool carves chunks downwards and
// never reuses them; xmempool sorts requests into size classes, each with a
// last-in first-out free list, and carves new chunks from the buffer's top.
#ifndef CCODE_UTILS_CCODE_XMEMPOOL_H_
#define CCODE_UTILS_CCODE_XMEMPOOL_H_

#include <cstddef>

#include "ccode_mempool.h"

namespace ccode {

class xmempool;

// Carves from the top of one buffer: the free part is always
// [_buffer, _buffer + _remain). Its fields are set by its owner.
class xnofreepool : public mempool {
 public:
  xnofreepool() = default;
  void* malloc(size_t size) override;
  void free(void* ptr, size_t size) override;
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

  void* malloc(size_t size) override;
  void free(void* ptr, size_t size) override;

  // Index of the smallest class holding `size`, or -1.
  int getidx(size_t size) const;

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
  void set_buffer(void* buffer, size_t size);

  classinfo_t* _classes = nullptr;
  int _classnum = 0;
  xnofreepool _nofree;
  size_t _minsize = 0;
  size_t _maxsize = 0;
  float _rate = 0;
};

}  // namespace ccode

#endif  // CCODE_UTILS_CCODE_XMEMPOOL_H_
