// Small functors shared by the hash containers.
#ifndef CCODE_UTILS_CCODE_UTILS_H_
#define CCODE_UTILS_CCODE_UTILS_H_

namespace ccode {

// The key of a stored pair.
template <class Pair>
struct pair_first {
  const typename Pair::first_type& operator()(const Pair& p) const { return p.first; }
};

}  // namespace ccode

#endif  // CCODE_UTILS_CCODE_UTILS_H_
