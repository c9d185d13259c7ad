// A read-only set of 32-bit keys in one open-addressing table.
//
// The bigram sets of the page code-type vote are std::unordered_set<uint32_t>:
// a test of a key divides by the bucket count and walks a chain of nodes
// spread over the heap. This copy keeps the keys in one array of a power of
// two slots, at most half of them used, found by a multiplicative hash: a
// test is one or two probes into an array that stays in cache.
#ifndef CCODE_SRC_UL_CCODE_KEYSET_H_
#define CCODE_SRC_UL_CCODE_KEYSET_H_

#include <stddef.h>
#include <stdint.h>

#include <vector>

class CcodeKeySet {
 public:
  // Makes the set hold exactly the keys of [first, last) (repeats allowed).
  // Throws std::bad_alloc when memory runs out.
  template <class It>
  void Assign(It first, It last) {
    size_t n = 0;
    for (It it = first; it != last; ++it) ++n;
    Reset(n);
    for (It it = first; it != last; ++it) Insert(static_cast<uint32_t>(*it));
  }

  bool Contains(uint32_t key) const {
    if (key == 0) return has_zero_;
    for (size_t i = Slot(key);; i = (i + 1) & mask_) {
      const uint32_t k = slots_[i];
      if (k == key) return true;
      if (k == 0) return false;
    }
  }

 private:
  size_t Slot(uint32_t key) const {
    return static_cast<size_t>((static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ull) >> shift_) & mask_;
  }
  void Reset(size_t n);
  void Insert(uint32_t key);

  std::vector<uint32_t> slots_ = std::vector<uint32_t>(1, 0);  // 0: a free slot
  size_t mask_ = 0;
  int shift_ = 63;
  bool has_zero_ = false;
};

#endif  // CCODE_SRC_UL_CCODE_KEYSET_H_
