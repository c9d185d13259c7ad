// MurmurHash64A signatures.
#include <cstdint>
#include <cstring>

#include "dict_check.h"
#include "ul_sign.h"

namespace {

uint64_t Murmur64A(const unsigned char* p, int len, uint64_t seed) {
  const uint64_t m = 0xc6a4a7935bd1e995ULL;
  const int r = 47;
  uint64_t h = seed ^ (static_cast<uint64_t>(len) * m);
  const int blocks = len / 8;
  for (int i = 0; i < blocks; ++i) {
    uint64_t k;
    std::memcpy(&k, p + 8 * i, 8);
    k *= m;
    k ^= k >> r;
    k *= m;
    h ^= k;
    h *= m;
  }
  const unsigned char* tail = p + 8 * blocks;
  const int rest = len & 7;
  if (rest != 0) {
    for (int j = rest - 1; j >= 0; --j) h ^= static_cast<uint64_t>(tail[j]) << (8 * j);
    h *= m;
  }
  h ^= h >> r;
  h *= m;
  h ^= h >> r;
  return h;
}

void MurmurSign(const char* psrc, int slen, u_int* sign1, u_int* sign2, u_int seed) {
  const uint64_t h = Murmur64A(reinterpret_cast<const unsigned char*>(psrc), slen, seed);
  *sign1 = static_cast<u_int>(h >> 32);
  *sign2 = static_cast<u_int>(h);
}

}  // namespace

int creat_sign_murmur64(const char* psrc, int slen, u_int* sign1, u_int* sign2, u_int seed) {
  *sign1 = *sign2 = 0;
  if (slen < 0) slen = 0;
  DICT_CHECK(psrc[slen] == 0, "psrc[slen]==0");
  MurmurSign(psrc, slen, sign1, sign2, seed);
  return 1;
}

int creat_sign_murmurs64(const char* psrc, int slen, u_int* sign1, u_int* sign2, u_int seed) {
  *sign1 = *sign2 = 0;
  if (slen < 0) slen = 0;
  MurmurSign(psrc, slen, sign1, sign2, seed);
  return 1;
}
