// Byte-copy and prime-sum signatures (creat_sign_fs64 and relatives) and the
// three-sum signature of strings up to 256 bytes (creat_sign_t256).
#include "ul_sign.h"

#include <cstring>

#include "dict_check.h"
#include "sign_sums.h"
#include "ul_log.h"

using dict_internal::LoadPartial;
using dict_internal::PrimeSums;

namespace {

// Rule shared by fs64, f64 and 7_host. long_from: first length that takes the
// sums (9, or 8 for host names); sign2_mask applies to the summed sign2 only.
inline void SignBytes(const char* psrc, int slen, int long_from, u_int sign2_mask,
                      u_int* sign1, u_int* sign2) {
  const auto* p = reinterpret_cast<const unsigned char*>(psrc);
  if (slen < 0) slen = 0;
  if (slen < 5) {
    *sign1 = LoadPartial(p, slen);
    *sign2 = 0;
  } else if (slen < long_from) {
    *sign1 = LoadPartial(p, 4);
    *sign2 = LoadPartial(p + 4, slen - 4);
  } else {
    PrimeSums(p, slen, sign1, sign2);
    *sign2 &= sign2_mask;
  }
}

// One reduced weighted sum of creat_sign_t256: each step adds
// (byte * weight) mod q and subtracts q once when the sum reached q.
inline u_int ReducedSum(const unsigned char* bytes, int n, const u_int* weights, u_int q) {
  u_int s = 0;
  for (int i = 0; i < n; ++i) {
    s += static_cast<u_int>((static_cast<unsigned long long>(bytes[i]) * weights[i]) % q);
    if (s >= q) s -= q;
  }
  return s;
}

// Copy of the string in the order of the entries of perm that are below n.
inline void Permute(const unsigned char* src, int n, const unsigned char* perm,
                    unsigned char* out) {
  int k = 0;
  for (int i = 0; i < 256 && k < n; ++i) {
    if (perm[i] < n) out[k++] = src[perm[i]];
  }
}

}  // namespace

int creat_sign_fs64(const char* psrc, int slen, u_int* sign1, u_int* sign2) {
  SignBytes(psrc, slen, 9, 0xFFFFFFFFu, sign1, sign2);
  return 1;
}

int creat_sign_f64(const char* psrc, int slen, u_int* sign1, u_int* sign2) {
  *sign1 = *sign2 = 0;
  DICT_CHECK(std::strlen(psrc) == (unsigned int)slen, "strlen(psrc) == (unsigned int) slen");
  SignBytes(psrc, slen, 9, 0xFFFFFFFFu, sign1, sign2);
  return 1;
}

int creat_sign_7_host(const char* psrc, int slen, u_int* sign1, u_int* sign2) {
  *sign1 = *sign2 = 0;
  DICT_CHECK(std::strlen(psrc) == (unsigned int)slen, "strlen(psrc) == (unsigned int) slen");
  SignBytes(psrc, slen, 8, 0xFFFFFFu, sign1, sign2);
  return 1;
}

int creat_sign_t256(const char* psrc, int slen, u_int* sign1, u_int* sign2) {
  *sign1 = *sign2 = 0;
  if (slen < 0 || slen > 256) {
    ul_writelog(UL_LOG_WARNING, "string too long (%d > 256 )\n", slen);
    *sign1 = *sign2 = 0xFFFFFFFFu;
    return -1;
  }
  if (slen == 0) return 0;
  if (slen < 9) {
    SignBytes(psrc, slen, 9, 0xFFFFFFFFu, sign1, sign2);
    return 1;
  }
  const auto* p = reinterpret_cast<const unsigned char*>(psrc);
  unsigned char copy1[256];
  unsigned char copy2[256];
  Permute(p, slen, rearr256_1, copy1);
  Permute(p, slen, rearr256_2, copy2);
  const u_int s1 = ReducedSum(p, slen, remain256_0, 16777213u);
  const u_int s2 = ReducedSum(copy1, slen, remain256_1, 13999981u);
  const u_int s3 = ReducedSum(copy2, slen, remain256_2, 11999989u);
  *sign1 = (s3 << 20) ^ s1;
  *sign2 = ((s3 << 8) & 0xFFF00000u) ^ s2;
  return 1;
}
