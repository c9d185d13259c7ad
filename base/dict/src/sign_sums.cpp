// The prime-weighted sums of the signatures, built twice: for the baseline
// x86-64 instruction set and for AVX2, chosen once by what the processor has.
// (A plain branch rather than an ifunc, so that it also works in sanitizer
// builds, whose runtime is not ready when ifunc resolvers run.)
#include "sign_sums.h"

namespace dict_internal {

namespace {

__attribute__((always_inline)) inline void SumsLoop(const unsigned char* p, int n, u_int* s1,
                                                    u_int* s2) {
  u_int a = 0, b = 0;
  while (n > 0) {
    const int run = n < 256 ? n : 256;
    for (int k = 0; k < run; ++k) {
      a += static_cast<u_int>(p[k]) * Mod_Prime_List_1[k];
      b += static_cast<u_int>(p[k]) * Mod_Prime_List_2[k];
    }
    p += run;
    n -= run;
  }
  *s1 = a;
  *s2 = b;
}

void SumsBaseline(const unsigned char* p, int n, u_int* s1, u_int* s2) { SumsLoop(p, n, s1, s2); }

#if defined(__x86_64__)
__attribute__((target("avx2"))) void SumsAvx2(const unsigned char* p, int n, u_int* s1, u_int* s2) {
  SumsLoop(p, n, s1, s2);
}

bool HasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}
#endif

}  // namespace

void PrimeSums(const unsigned char* p, int n, u_int* s1, u_int* s2) {
#if defined(__x86_64__)
  static const bool avx2 = HasAvx2();
  if (avx2) {
    SumsAvx2(p, n, s1, s2);
    return;
  }
#endif
  SumsBaseline(p, n, s1, s2);
}

}  // namespace dict_internal
