// A growable NUL-terminated character buffer that never fails loudly: when
// memory runs out it keeps what fits and raises its truncated flag.
#ifndef CCODE_UTILS_CCODE_AUTOBUFFER_H_
#define CCODE_UTILS_CCODE_AUTOBUFFER_H_

#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <string>

#include "ccode_mempool.h"

namespace ccode {

class AutoBuffer {
 public:
  static constexpr const char* TRUE_LITERAL = "true";
  static constexpr size_t TRUE_LITERAL_LEN = 4;
  static constexpr const char* FALSE_LITERAL = "false";
  static constexpr size_t FALSE_LITERAL_LEN = 5;
  static constexpr size_t DEFAULT_CAPACITY = 64;

  // Storage of capacity + 1 bytes from the system; a failed allocation
  // leaves the buffer with capacity 0 and no storage.
  explicit AutoBuffer(size_t capacity = DEFAULT_CAPACITY);
  // The same with storage taken from `pool` (released with size capacity + 1).
  AutoBuffer(mempool& pool, size_t capacity);
  ~AutoBuffer();

  // Owns its storage: copying would free it twice. Use transfer_from.
  AutoBuffer(const AutoBuffer&) = delete;
  AutoBuffer& operator=(const AutoBuffer&) = delete;

  // Releases own storage and takes other's; other is left empty (its pool
  // pointer unchanged).
  AutoBuffer& transfer_from(AutoBuffer& other);

  size_t size() const { return _size; }
  size_t capacity() const { return _capacity; }
  bool empty() const { return _size == 0; }
  bool truncated() const { return _truncated; }
  const char* c_str() const { return _str != nullptr ? _str : ""; }

  // Makes room for at least `capacity` characters (growing to the larger of
  // that and twice the current capacity); false when memory ran out.
  bool reserve(size_t capacity);

  // Appends n bytes; `data` may point into this buffer's own text.
  AutoBuffer& push(const char* data, size_t n);
  AutoBuffer& push(const char* s) {
    if (s == nullptr) {
      _truncated = false;
      return *this;
    }
    return push(s, std::strlen(s));
  }
  // Formatted append. As with snprintf, no argument may point into this
  // buffer's own text: the text is written where such an argument's NUL lies.
  AutoBuffer& pushf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  AutoBuffer& vpushf(const char* format, va_list args) __attribute__((format(printf, 2, 0)));

  AutoBuffer& operator<<(const char* s) { return push(s); }
  AutoBuffer& operator<<(const std::string& s) { return push(s.data(), s.size()); }
  AutoBuffer& operator<<(char c) { return push(&c, 1); }
  AutoBuffer& operator<<(bool b) {
    return b ? push(TRUE_LITERAL, TRUE_LITERAL_LEN) : push(FALSE_LITERAL, FALSE_LITERAL_LEN);
  }
  AutoBuffer& operator<<(int v) { return pushf("%d", v); }
  AutoBuffer& operator<<(unsigned int v) { return pushf("%u", v); }
  AutoBuffer& operator<<(long v) { return pushf("%ld", v); }
  AutoBuffer& operator<<(unsigned long v) { return pushf("%lu", v); }
  AutoBuffer& operator<<(long long v) { return pushf("%lld", v); }
  AutoBuffer& operator<<(unsigned long long v) { return pushf("%llu", v); }
  AutoBuffer& operator<<(double v) { return pushf("%lg", v); }
  AutoBuffer& operator<<(const void* p) { return pushf("%p", p); }

 private:
  void init(size_t capacity);
  char* allocate(size_t bytes);
  void release();
  // New storage of `capacity` + 1 bytes holding a copy of the text, or null.
  char* allocate_copy(size_t capacity);
  // Releases the old storage and takes `storage`.
  void adopt(char* storage, size_t capacity);
  // The capacity that makes room for `extra` more characters, or 0 when the
  // sum does not fit size_t.
  size_t grown_capacity(size_t extra) const;

  size_t _size = 0;
  size_t _capacity = 0;
  bool _truncated = false;
  char* _str = nullptr;
  mempool* _mempool = nullptr;
};

}  // namespace ccode

#endif  // CCODE_UTILS_CCODE_AUTOBUFFER_H_
