// 64-bit string signatures: the keys of the signature dictionaries.
//
// A signature is two unsigned 32-bit halves written through sign1/sign2.
// Every function zeroes both halves first and returns 1, except where noted.
// Bytes are taken as unsigned; a half filled from bytes is their little-endian
// number. Dictionaries saved to disk hold these values, so the rules never
// change. A negative slen is taken as 0.
#ifndef UL_SIGN_H_
#define UL_SIGN_H_

#include <sys/types.h>

// Tables of creat_sign_t256: remain256_k[i] = 256^i mod q_k, and two fixed
// permutations of 0..255.
extern const u_int remain256_0[256];
extern const u_int remain256_1[256];
extern const u_int remain256_2[256];
extern const unsigned char rearr256_1[256];
extern const unsigned char rearr256_2[256];

// The dictionary key rule: up to 4 bytes copied into sign1, 5..8 bytes split
// 4 + rest, 9 or more the two prime-weighted sums (ul_prime.h).
int creat_sign_fs64(const char* psrc, int slen, u_int* sign1, u_int* sign2);
// The same rule over a NUL-terminated string whose length is slen (checked).
int creat_sign_f64(const char* psrc, int slen, u_int* sign1, u_int* sign2);
// The same rule with 8-byte strings already summed and sign2 kept to 24 bits.
int creat_sign_7_host(const char* psrc, int slen, u_int* sign1, u_int* sign2);

// MD5 of the bytes, folded: sign1 = w0 + w1, sign2 = w2 + w3 (LE words).
// creat_sign_md64 requires psrc[slen] == 0 (checked).
int creat_sign_md64(const char* psrc, int slen, u_int* sign1, u_int* sign2);
int creat_sign_mds64(const char* psrc, int slen, u_int* sign1, u_int* sign2);

// MurmurHash64A (seed widened to 64 bits); sign1 = high half, sign2 = low.
// creat_sign_murmur64 requires psrc[slen] == 0 (checked).
int creat_sign_murmur64(const char* psrc, int slen, u_int* sign1, u_int* sign2, u_int seed);
int creat_sign_murmurs64(const char* psrc, int slen, u_int* sign1, u_int* sign2, u_int seed);

// Three reduced sums over the bytes and two permuted copies, for strings of
// at most 256 bytes. Returns 0 for an empty string; -1 (both halves
// 0xFFFFFFFF, one WARNING) for a length outside 0..256.
int creat_sign_t256(const char* psrc, int slen, u_int* sign1, u_int* sign2);

#endif  // UL_SIGN_H_
