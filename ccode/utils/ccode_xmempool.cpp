#include "ccode_xmempool.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace ccode {

namespace {

constexpr size_t kMaxClassSize = 0x7FFFFFFF;

size_t ceil4(size_t x) { return (x + 3) & ~static_cast<size_t>(3); }

// The class after `s`: ceil4(trunc(s * rate)) in single precision. A rate so
// close to 1 that the product does not grow still advances by 4 bytes, so
// the class sequence always reaches its maximum. False when the next class
// would not fit the table's 31-bit sizes.
bool next_size(size_t s, float rate, size_t* out) {
  const float product = static_cast<float>(s) * rate;
  if (!(product < 2147483648.0f)) return false;
  size_t n = ceil4(static_cast<size_t>(product));
  if (n < s + 4) n = s + 4;
  if (n > kMaxClassSize) return false;
  *out = n;
  return true;
}

}  // namespace

xmempool::~xmempool() { destroy(); }

void xmempool::set_buffer(void* buffer, size_t size) {
  _nofree._buffer = static_cast<char*>(buffer);
  _nofree._bufsize = size;
  _nofree._remain = size;
  _nofree._freed = 0;
}

int xmempool::create(void* buffer, size_t size, size_t minsize, size_t maxsize, float rate) {
  // Sizes beyond 31 bits are refused before rounding can wrap them.
  if (maxsize > kMaxClassSize || minsize > kMaxClassSize) return -1;
  const size_t max = ceil4(maxsize);
  size_t min = ceil4(minsize);
  if (max > kMaxClassSize || min > kMaxClassSize) return -1;
  if (min < 8) min = 8;
  if (max < min || buffer == nullptr || size == 0) return -1;
  if (!(rate >= 1.01f)) return -1;  // also refuses NaN

  int count = 1;
  if (max > min) {
    size_t s = min;
    do {
      // Rates of at least 1.01 give fewer than 2000 classes below 2^31;
      // the bound keeps class indices within 16 bits whatever happens.
      if (!next_size(s, rate, &s) || count == 32767) return -1;
      ++count;
    } while (s < max);
  }

  _rate = rate;
  set_buffer(buffer, size);
  _classnum = count;
  _minsize = min;
  _memo_ready = false;  // new classes: the memo is rebuilt by clear
  return clear(buffer, size);
}

int xmempool::clear(void* buffer, size_t size) {
  set_buffer(buffer, size);
  _classes = nullptr;
  _maxsize = 0;
  if (buffer == nullptr || _classnum <= 0) return -1;

  // The table goes at the very end of the buffer, aligned down for its words.
  const size_t table_bytes = static_cast<size_t>(_classnum) * sizeof(classinfo_t);
  if (size < table_bytes) return -1;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(buffer);
  const uintptr_t start = (begin + size - table_bytes) & ~(uintptr_t{alignof(classinfo_t)} - 1);
  if (start < begin) return -1;

  classinfo_t* table = reinterpret_cast<classinfo_t*>(start);
  size_t s = _minsize;
  for (int i = 0; i < _classnum; ++i) {
    if (i > 0 && !next_size(s, _rate, &s)) return -1;
    new (&table[i]) classinfo_t{nullptr, static_cast<long>(s)};
  }
  _classes = table;
  _nofree._remain = start - begin;
  _maxsize = s;
  // The classes only change with create, so the memo of a pool that is
  // cleared again and again (the per-thread pool after every call) stays.
  if (!_memo_ready) {
    for (size_t k = 0; k <= kSmallLimit / 4; ++k) _smallidx[k] = static_cast<int16_t>(search(4 * k));
    _memo_ready = true;
  }
  return 0;
}

int xmempool::clear() { return clear(_nofree._buffer, _nofree._bufsize); }

void* xmempool::addbuf(void* buffer, size_t size) {
  void* previous = _nofree._buffer;
  if (_classes != nullptr) {
    for (int i = _classnum - 1; i >= 0; --i) {
      classinfo_t& c = _classes[i];
      const size_t cs = static_cast<size_t>(c.size);
      while (_nofree._remain >= cs) {
        _nofree._remain -= cs;
        void* chunk = _nofree._buffer + _nofree._remain;
        store_link(chunk, c.head);
        c.head = chunk;
      }
    }
  }
  set_buffer(buffer, size);
  return previous;
}

int xmempool::destroy() {
  _classes = nullptr;
  _classnum = 0;
  _memo_ready = false;
  set_buffer(nullptr, 0);
  _minsize = 0;
  _maxsize = 0;
  _rate = 0;
  return 0;
}

}  // namespace ccode
