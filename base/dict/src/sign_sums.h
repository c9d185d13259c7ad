// Shared inner loops of the signature functions.
#ifndef DICT_SRC_SIGN_SUMS_H_
#define DICT_SRC_SIGN_SUMS_H_

#include <sys/types.h>

#include <cstring>

#include "ul_prime.h"

namespace dict_internal {

// Little-endian number of the first n (0..4) bytes, high bytes 0.
inline u_int LoadPartial(const unsigned char* p, int n) {
  u_int v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

inline u_int LoadWord(const unsigned char* p) {
  u_int v;
  std::memcpy(&v, p, 4);  // x86-64 is little-endian, as the files are
  return v;
}

// Both prime-weighted sums in one pass: byte i weighs entry i % 256.
// Runs the AVX2 build of the loop where the processor has it (its 8-lane
// 32-bit multiply takes most of the work), the baseline build elsewhere.
void PrimeSums(const unsigned char* p, int n, u_int* s1, u_int* s2);

}  // namespace dict_internal

#endif  // DICT_SRC_SIGN_SUMS_H_
