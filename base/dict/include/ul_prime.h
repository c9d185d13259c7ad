// Prime-modulus weight tables and the weighted byte sums built on them.
//
// The tables hold 256^k modulo the three largest primes below 2^24; the sums
// weight byte i with entry i mod 256. They are the long-string half of the
// dictionary signature (ul_sign.h), so their values are part of every saved
// dictionary.
#ifndef UL_PRIME_H_
#define UL_PRIME_H_

#include <sys/types.h>

extern const u_int Mod_Prime_List_1[256];
extern const u_int Mod_Prime_List_2[256];
extern const u_int Mod_Prime_List_3[256];  // part of the set; nothing reads it

// Sum of byte[i] * Mod_Prime_List_k[i % 256] over slen bytes (unsigned
// bytes, 32-bit wrap-around). A count below 1 gives 0.
u_int getsigns_24_1(const char* psrc, int slen);
u_int getsigns_24_2(const char* psrc, int slen);

// The same sums over a NUL-terminated string.
u_int getsign_24_1(const char* psrc);
u_int getsign_24_2(const char* psrc);

#endif  // UL_PRIME_H_
