// Plain allocator on malloc and free (bucket arrays and node blocks).
#ifndef CCODE_UTILS_CCODE_ALLOC_H_
#define CCODE_UTILS_CCODE_ALLOC_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace ccode {

template <class T>
class ccode_alloc {
 public:
  typedef T value_type;
  typedef T* pointer;
  typedef const T* const_pointer;
  typedef size_t size_type;

  template <class U>
  struct rebind {
    typedef ccode_alloc<U> other;
  };

  int create() { return 0; }
  int destroy() { return 0; }

  // n elements, or null (also when n elements exceed the largest object).
  pointer allocate(size_type n, const void* hint = nullptr) {
    if (n > static_cast<size_type>(PTRDIFF_MAX) / sizeof(T)) return nullptr;
    return static_cast<pointer>(std::malloc(n * sizeof(T)));
  }
  void deallocate(pointer p, size_type n) { std::free(p); }
};

}  // namespace ccode

#endif  // CCODE_UTILS_CCODE_ALLOC_H_
