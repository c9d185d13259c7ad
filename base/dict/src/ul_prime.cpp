// Prime-weighted byte sums (the tables are generated: ul_sign_tables.cpp).
#include "ul_prime.h"

#include "sign_sums.h"

namespace {

u_int WeightedSum(const u_int* table, const char* psrc, int slen) {
  const auto* p = reinterpret_cast<const unsigned char*>(psrc);
  u_int sum = 0;
  for (int i = 0; i < slen; ++i) sum += static_cast<u_int>(p[i]) * table[i & 0xFF];
  return sum;
}

u_int WeightedSumToNul(const u_int* table, const char* psrc) {
  const auto* p = reinterpret_cast<const unsigned char*>(psrc);
  u_int sum = 0;
  for (unsigned i = 0; p[i] != 0; ++i) sum += static_cast<u_int>(p[i]) * table[i & 0xFF];
  return sum;
}

}  // namespace

u_int getsigns_24_1(const char* psrc, int slen) { return WeightedSum(Mod_Prime_List_1, psrc, slen); }
u_int getsigns_24_2(const char* psrc, int slen) { return WeightedSum(Mod_Prime_List_2, psrc, slen); }
u_int getsign_24_1(const char* psrc) { return WeightedSumToNul(Mod_Prime_List_1, psrc); }
u_int getsign_24_2(const char* psrc) { return WeightedSumToNul(Mod_Prime_List_2, psrc); }
