#include "ccode_autobuffer.h"

#include <cstdio>
#include <cstdlib>
#include <limits>

#include "ccode_memcpy.h"

namespace ccode {

AutoBuffer::AutoBuffer(size_t capacity) { init(capacity); }

AutoBuffer::AutoBuffer(mempool& pool, size_t capacity) : _mempool(&pool) { init(capacity); }

void AutoBuffer::init(size_t capacity) {
  if (capacity == 0 || capacity == std::numeric_limits<size_t>::max()) return;
  _str = allocate(capacity + 1);
  if (_str != nullptr) {
    _str[0] = '\0';
    _capacity = capacity;
  }
}

AutoBuffer::~AutoBuffer() { release(); }

char* AutoBuffer::allocate(size_t bytes) {
  void* p = _mempool != nullptr ? _mempool->malloc(bytes) : std::malloc(bytes);
  return static_cast<char*>(p);
}

void AutoBuffer::release() {
  if (_str == nullptr) return;
  if (_mempool != nullptr) {
    _mempool->free(_str, _capacity + 1);
  } else {
    std::free(_str);
  }
  _str = nullptr;
}

AutoBuffer& AutoBuffer::transfer_from(AutoBuffer& other) {
  if (&other == this) return *this;
  release();
  _size = other._size;
  _capacity = other._capacity;
  _truncated = other._truncated;
  _str = other._str;
  _mempool = other._mempool;
  other._size = 0;
  other._capacity = 0;
  other._truncated = false;
  other._str = nullptr;
  return *this;
}

size_t AutoBuffer::grown_capacity(size_t extra) const {
  constexpr size_t kMax = std::numeric_limits<size_t>::max() - 1;  // room for the NUL
  if (extra > kMax - _size) return 0;
  const size_t need = _size + extra;
  const size_t doubled = _capacity > kMax / 2 ? kMax : 2 * _capacity;
  return doubled > need ? doubled : need;
}

char* AutoBuffer::allocate_copy(size_t capacity) {
  char* p = allocate(capacity + 1);
  if (p == nullptr) return nullptr;
  if (_str != nullptr) {
    xmemcpy(p, _str, _size + 1);
  } else {
    p[0] = '\0';
  }
  return p;
}

void AutoBuffer::adopt(char* storage, size_t capacity) {
  release();
  _str = storage;
  _capacity = capacity;
}

bool AutoBuffer::reserve(size_t capacity) {
  if (_str != nullptr && capacity <= _capacity) return true;
  const size_t grown = grown_capacity(capacity > _size ? capacity - _size : 0);
  char* p = grown != 0 ? allocate_copy(grown) : nullptr;
  if (p == nullptr) return false;
  adopt(p, grown);
  return true;
}

AutoBuffer& AutoBuffer::push(const char* data, size_t n) {
  if (data == nullptr || n == 0) return *this;
  if (_str == nullptr || n > _capacity - _size) {
    const size_t grown = grown_capacity(n);
    char* p = grown != 0 ? allocate_copy(grown) : nullptr;
    if (p == nullptr) {
      // Keep what fits.
      if (_str != nullptr && _capacity > _size) {
        xmemcpy(_str + _size, data, _capacity - _size);
        _size = _capacity;
        _str[_size] = '\0';
      }
      _truncated = true;
      return *this;
    }
    // The old storage goes only after the copy: `data` may point into it.
    xmemcpy(p + _size, data, n);
    adopt(p, grown);
  } else {
    xmemcpy(_str + _size, data, n);
  }
  _size += n;
  _str[_size] = '\0';
  _truncated = false;
  return *this;
}

AutoBuffer& AutoBuffer::pushf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vpushf(format, args);
  va_end(args);
  return *this;
}

AutoBuffer& AutoBuffer::vpushf(const char* format, va_list args) {
  if (format == nullptr) return *this;
  // The list is formatted up to twice; each pass gets its own copy.
  va_list pass;
  int r;
  va_copy(pass, args);
  if (_str != nullptr) {
    r = std::vsnprintf(_str + _size, _capacity + 1 - _size, format, pass);
  } else {
    r = std::vsnprintf(nullptr, 0, format, pass);
  }
  va_end(pass);
  if (r < 0) return *this;
  const size_t n = static_cast<size_t>(r);
  if (_str != nullptr && n <= _capacity - _size) {
    // Also an empty result: it fits, so the flag is cleared.
    _size += n;
    _truncated = false;
    return *this;
  }
  if (n == 0) return *this;

  const size_t grown = grown_capacity(n);
  char* p = grown != 0 ? allocate_copy(grown) : nullptr;
  if (p == nullptr) {
    // What the first pass wrote stays, cut at the capacity.
    _size = _capacity;
    _truncated = true;
    return *this;
  }
  // Format before the old storage goes: an argument may point into it.
  va_copy(pass, args);
  std::vsnprintf(p + _size, grown + 1 - _size, format, pass);
  va_end(pass);
  adopt(p, grown);
  _size += n;
  _truncated = false;
  return *this;
}

}  // namespace ccode
