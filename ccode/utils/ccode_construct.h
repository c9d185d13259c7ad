// Destroying values in place.
#ifndef CCODE_UTILS_CCODE_CONSTRUCT_H_
#define CCODE_UTILS_CCODE_CONSTRUCT_H_

namespace ccode {

template <class T>
inline void ccode_destruct(T* p) {
  p->~T();
}

// Every value of [first, last).
template <class Iterator>
inline void __ccode_destroy_aux(Iterator first, Iterator last) {
  for (; first != last; ++first) ccode_destruct(&*first);
}

}  // namespace ccode

#endif  // CCODE_UTILS_CCODE_CONSTRUCT_H_
