// Block copy with memcpy's contract. Copies of 0..119 bytes go through a
// table of copy objects, one per length, each a straight run of unaligned
// word moves; longer copies and overlapping ranges take the general path.
#ifndef CCODE_UTILS_CCODE_MEMCPY_H_
#define CCODE_UTILS_CCODE_MEMCPY_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace ccode {

// One copy routine of a fixed length.
class xmembase {
 public:
  virtual void* copy(void* dst, const void* src) = 0;
};

namespace memcpy_detail {

template <size_t... I>
inline void copy_words(char* d, const char* s, std::index_sequence<I...>) {
  // Fixed-size memcpy compiles to one unaligned 8-byte move each.
  (std::memcpy(d + I * 8, s + I * 8, 8), ...);
}

template <size_t Base, size_t... I>
inline void copy_tail_bytes(char* d, const char* s, std::index_sequence<I...>) {
  // Highest offset first.
  constexpr size_t kCount = sizeof...(I);
  ((d[Base + kCount - 1 - I] = s[Base + kCount - 1 - I]), ...);
}

}  // namespace memcpy_detail

// Copies exactly N bytes: N/8 eight-byte words ascending, one four-byte word
// when N%8 >= 4, then the last N%4 bytes from the highest offset down.
template <size_t N>
class xmemcopy : public xmembase {
 public:
  void* copy(void* dst, const void* src) override {
    char* d = static_cast<char*>(dst);
    const char* s = static_cast<const char*>(src);
    constexpr size_t kWords = N / 8;
    memcpy_detail::copy_words(d, s, std::make_index_sequence<kWords>());
    if constexpr (N % 8 >= 4) {
      std::memcpy(d + kWords * 8, s + kWords * 8, 4);
    }
    constexpr size_t kTail = N % 4;
    memcpy_detail::copy_tail_bytes<N - kTail>(d, s, std::make_index_sequence<kTail>());
    return dst;
  }
};

constexpr size_t kXmemSlots = 120;

// The copy objects by length; null slots send the copy to the general path.
// Filled before main and emptied at exit; read without locks in between.
extern xmembase* g_base[kXmemSlots];

// Fills the still-empty slots N, N-1, ..., 0.
template <size_t N>
void init() {
  static_assert(N < kXmemSlots, "no copy slot beyond 119");
  // The objects are stateless and live in static storage, so a slot can be
  // emptied at exit without freeing anything a late copy might still call.
  static xmemcopy<N> object;
  if (g_base[N] == nullptr) g_base[N] = &object;
  if constexpr (N > 0) init<N - 1>();
}

// Empties the table when destroyed (the module's static instance does so at
// process exit).
class xmem_monitor {
 public:
  xmem_monitor() = default;
  ~xmem_monitor();
  xmem_monitor(const xmem_monitor&) = delete;
  xmem_monitor& operator=(const xmem_monitor&) = delete;
};

// memcpy's contract; overlapping ranges are copied as memmove would.
void* xmemcpy(void* dst, const void* src, size_t n);

}  // namespace ccode

#endif  // CCODE_UTILS_CCODE_MEMCPY_H_
