// Hash functors of the hash containers.
#ifndef CCODE_UTILS_CCODE_HASH_FUN_H_
#define CCODE_UTILS_CCODE_HASH_FUN_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace ccode {

// h = h * 5 + byte (as a signed char) over a NUL-terminated string, in
// wrapping 64-bit arithmetic; 0 for null.
// One step of that hash, so that callers can hash a string's prefixes in
// one pass: the hash of s + c is __ccode_hash_step(hash of s, c).
inline uint64_t __ccode_hash_step(uint64_t h, char c) {
  return h * 5 + static_cast<uint64_t>(static_cast<int64_t>(static_cast<signed char>(c)));
}

inline size_t __ccode_hash_string(const char* s) {
  if (s == nullptr) return 0;
  uint64_t h = 0;
  for (; *s != '\0'; ++s) h = __ccode_hash_step(h, *s);
  return static_cast<size_t>(h);
}

template <class Key>
struct xhash;

// Stops at the first NUL, as the string functions do; equality still
// compares the whole key.
template <>
struct xhash<std::string> {
  size_t operator()(const std::string& s) const { return __ccode_hash_string(s.c_str()); }
};

template <>
struct xhash<unsigned int> {
  size_t operator()(unsigned int v) const { return v; }
};

}  // namespace ccode

#endif  // CCODE_UTILS_CCODE_HASH_FUN_H_
